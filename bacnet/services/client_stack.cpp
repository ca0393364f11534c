#include "bacnet/services/client_stack.h"

#include "bacnet/application/application_layer.h"
#include "bacnet/client/client_request.h"
#include "bacnet/client/device_discovery.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/os_wrappers.h"

namespace {

constexpr uint32_t kAnnouncedMaxApdu = 480;
constexpr uint32_t kSegmentedBoth = 0;

uint32_t g_last_second = 0;

}  // namespace

int client_stack_start(const ClientStackConfig& config)
{
  services_init(config.context, &config.hooks);
  client_init(config.context, config.client_retries, config.client_timeout);
  address_binding_init(config.context, config.device_instance);
  datalink_set_local_port_hook(address_binding_local_port_hook);
  int loaded = config.ports ? datalink_load_ports(config.context, config.ports) : 0;
  application_layer_init(services_confirmed_indication, services_unconfirmed_indication, config.context,
                         address_binding_heard_from, driver_lock, driver_unlock, config.segment_timeout,
                         config.apdu_timeout, config.apdu_retries);
  g_last_second = os_wall_seconds();
  client_broadcast_i_am(BACnetObjectId{OBJECT_DEVICE, uint32_t(config.device_instance)}, kAnnouncedMaxApdu,
                        kSegmentedBoth);
  return loaded;
}

void client_stack_pass()
{
  // A change of the second, not a count of passes: a clock set back still runs the tasks.
  uint32_t second = os_wall_seconds();
  if (second != g_last_second) {
    g_last_second = second;
    client_stack_second();
  }
  application_layer_periodic();
}

void client_stack_second()
{
  address_binding_periodic();
  client_pending_tick();
}

void client_stack_stop()
{
  datalink_close_all();
  application_layer_destroy();
  client_fail_parked();
  address_binding_clear();
  datalink_set_local_port_hook(nullptr);
}
