#include "backend/stack_host.h"

#include "backend/api/api_server.h"
#include "backend/stack_identity.h"
#include "bacnet/application/application_layer.h"
#include "bacnet/cache/cache.h"
#include "bacnet/client/client_request.h"
#include "bacnet/client/device_discovery.h"
#include "bacnet/codec/pdu_buffer.h"
#include "bacnet/datalink/bacnetmstp.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/foundation/stack_tick.h"
#include "bacnet/foundation/stack_wake.h"
#include "bacnet/objects/device_object.h"
#include "bacnet/objects/object_api.h"
#include "bacnet/objects/object_behaviour.h"
#include "bacnet/objects/object_database.h"
#include "bacnet/objects/object_hooks.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/serialize.h"
#include "bacnet/services/confirmed_services.h"
#include "bacnet/services/unconfirmed_services.h"

#include <atomic>
#include <thread>

namespace {

constexpr int kHostLogOption = 14;
constexpr int kHostLogLevel = 15;
constexpr uint32_t kAnnouncedMaxApdu = 480;
constexpr uint32_t kSegmentedBoth = 0;
constexpr int kPassIntervalMs = 1;

struct HostState {
  bool loaded = false;
  std::atomic<bool> running{false};
  int start_result = 0;
  bool modules_started = false;  // false for a start refused before any module
  std::thread thread;
  OsSemaphoreHandle start_semaphore = nullptr;
  DriverContext context;
  DriverLogFunction module_log = nullptr;  // the host's own messages, when option 14 is set
};

HostState g_host;

void host_log(const char* text)
{
  if (g_host.module_log)
    g_host.module_log(kHostLogLevel, text);
}

// ---- Start-up, in order. A step's result becomes the start result when `decides` is set.

int start_codec(StackConfig&) { return pdu_init(&g_host.context); }

int start_objects_file(StackConfig& config)
{
  object_set_save_function(serialize_SaveOwner);
  return serialize_Init(&g_host.context, config.objects_file_name);
}

int start_objects(StackConfig& config)
{
  DeviceIdentity identity;
  identity.objects_file = config.objects_file_name;
  identity.application_software_version = config.application_software_version;
  identity.firmware_revision = config.firmware_revision;
  identity.model_name = config.model_name;
  identity.object_name = config.object_name;
  identity.vendor_name = config.vendor_name;
  identity.description = config.description;
  identity.location = config.location;
  identity.vendor_identifier = config.vendor_identifier;
  identity.apdu_timeout = config.apdu_timeout;
  identity.apdu_segment_timeout = config.apdu_segment_timeout;
  identity.apdu_retries = config.apdu_retries;
  identity.loop_event_properties = config.object_option;

  ObjectHooks hooks;
  hooks.get_apdu_timeout = [] { return uint32_t(application_layer_get_apdu_timeout()); };
  hooks.set_apdu_timeout = [](uint32_t ms) { return application_layer_set_apdu_timeout(int32_t(ms)); };
  hooks.get_apdu_retries = [] { return uint32_t(application_layer_get_apdu_retries()); };
  hooks.set_apdu_retries = [](uint32_t retries) { return application_layer_set_apdu_retries(int32_t(retries)); };
  hooks.read_max_apdu = datalink_read_max_apdu;
  hooks.read_mstp_setting = bacnetmstp_read_device_property;
  hooks.get_local_instance = address_binding_get_local_instance_value;
  hooks.encode_binding_list = address_binding_encode_binding_list;
  hooks.scan_control = address_binding_scan_control;
  hooks.scan_status_text = address_binding_get_scan_status_text;
  hooks.read_device_property = address_binding_read_device_property;
  hooks.add_local_port = address_binding_add_local_port_value;
  hooks.send_i_am = client_broadcast_i_am;
  hooks.object_timer = object_Timer;
  hooks.notify_change = object_api_notify_change;
  hooks.notify_event = object_api_notify_event;
  object_set_hooks(&hooks);
  return object_Init(uint32_t(config.device_instance), &g_host.context, &identity);
}

int start_services(StackConfig& config)
{
  static const ServicesSeams seams{api_broadcast_pdu_event, services_object_table_who_has,
                                   services_system_clock_setter};
  services_set_seams(&seams);
  int rc = services_init(&g_host.context, &config.service_hooks);
  services_register_confirmed_handlers();
  return rc;
}

int start_client(StackConfig& config)
{
  return client_init(&g_host.context, int32_t(config.apdu_retries), int32_t(config.apdu_timeout));
}

int start_binding(StackConfig& config)
{
  datalink_set_local_port_hook(address_binding_local_port_hook);
  return address_binding_init(&g_host.context, config.device_instance);
}

int start_ports(StackConfig& config)
{
  api_install_link_type();
  return datalink_load_ports(&g_host.context, &config.ports);
}

int start_application(StackConfig& config)
{
  application_layer_init(services_confirmed_indication, services_unconfirmed_indication, &g_host.context,
                         address_binding_heard_from, driver_lock, driver_unlock, config.application_segment_timeout,
                         config.application_apdu_timeout, config.application_retries);
  application_layer_set_communication_state_function(client_get_communication_state);
  return 0;
}

int start_object_api(StackConfig& config)
{
  object_api_set_broadcasters(api_broadcast_object_value_event, api_broadcast_object_event);
  return object_api_init(&g_host.context, config.object_value_change, config.object_event);
}

int start_cache(StackConfig& config)
{
  cache_set_event_broadcaster(api_broadcast_cache_event);
  return cache_init(&g_host.context, config.cache_event);
}

struct StartStep {
  const char* module;
  int (*start)(StackConfig&);  // null: the module is not part of this program
  bool decides;                // its result is the start result
};

// The value library's log has its place in this order but no module in this program.
const StartStep kStartOrder[] = {
    {"codec", start_codec, false},
    {"objects file", start_objects_file, false},
    {"object database", start_objects, false},
    {"service handlers", start_services, false},
    {"client layer", start_client, false},
    {"address binding", start_binding, false},
    {"datalink ports", start_ports, true},
    {"application layer", start_application, false},
    {"object api", start_object_api, false},
    {"value library log", nullptr, false},
    {"cache", start_cache, false},
};

// ---- Periodic work and shut-down, each in its order.

struct Step {
  const char* module;
  void (*run)();
};

const Step kEveryPass[] = {
    {"clock", clock_update},
    {"object requests", [] { object_Poll(); }},
    {"cache", cache_execute},
    {"application layer", application_layer_periodic},
};

const Step kEverySecond[] = {
    {"object behaviour", object_second_tick},
    {"address binding", [] { address_binding_periodic(); }},
    {"parked requests", [] { client_pending_tick(); }},
};

void stop_objects()
{
  object_Shutdown();
  object_set_hooks(nullptr);
}

void stop_objects_file()
{
  serialize_Exit();
  object_set_save_function(nullptr);
}

void stop_client_side()
{
  client_fail_parked();
  address_binding_clear();
  datalink_set_local_port_hook(nullptr);
  services_set_seams(nullptr);
}

const Step kShutdownOrder[] = {
    {"datalink ports", datalink_close_all},
    {"object database", stop_objects},
    {"application layer", application_layer_destroy},
    {"client side", stop_client_side},
    {"object api", [] { object_api_destroy(); }},
    {"cache", cache_destroy},
    {"objects file", stop_objects_file},
};

template <std::size_t N>
void run_steps(const Step (&steps)[N])
{
  for (const Step& step : steps)
    if (step.run)
      step.run();
}

uint32_t wall_second()
{
  OsTime t;
  os_get_time(&t);
  return t.seconds;
}

int driver_start_stack(StackConfig* config)
{
  for (const char* line : stack_identity::kBanner)
    host_log(line);
  if (config) {
    if (config->ports.max_apdu_code < 3)
      config->ports.max_apdu_code = 3;
    if (config->ports.max_apdu_code > 5)
      config->ports.max_apdu_code = 5;
  }
  if (!config || config->device_instance < 0) {
    g_host.start_result = -1;
    return -1;
  }
  g_host.start_result = 0;
  g_host.modules_started = true;
  for (const StartStep& step : kStartOrder) {
    if (!step.start)
      continue;
    int rc = step.start(*config);
    if (step.decides)
      g_host.start_result = rc;
  }
  client_broadcast_i_am(BACnetObjectId{OBJECT_DEVICE, uint32_t(config->device_instance)}, kAnnouncedMaxApdu,
                        kSegmentedBoth);
  return g_host.start_result;
}

void driver_main_loop()
{
  uint32_t noted = wall_second();
  while (g_host.running) {
    // A change of the second, not a count of passes: a clock set back still runs the tasks.
    uint32_t now = wall_second();
    if (now != noted) {
      run_steps(kEverySecond);
      noted = now;
    }
    run_steps(kEveryPass);
    // Received frames, queued requests and a stop end the wait; idle, a pass every millisecond.
    stack_wait(kPassIntervalMs);
  }
}

void driver_thread(StackConfig* config)
{
  g_host.modules_started = false;
  driver_start_stack(config);
  os_semaphore_release(&g_host.start_semaphore);
  driver_main_loop();
  if (g_host.modules_started)
    run_steps(kShutdownOrder);
  os_semaphore_release(&g_host.start_semaphore);
}

void driver_init(StackConfig* config)
{
  g_host.loaded = true;
  g_host.running = true;
  g_host.module_log = config->options[kHostLogOption] ? driver_log : nullptr;
  driver_context_init(g_host.context, config->log_file_name, config->options);
  driver_set_log_callback(config->log_callback);
  driver_set_log_file(config->log_file_name);
  driver_set_log_broadcast(api_broadcast_log_event);
  os_semaphore_create(&g_host.start_semaphore);
}

void driver_stop_thread()
{
  if (!g_host.loaded)
    return;
  g_host.running = false;
  stack_wake();
  if (g_host.thread.joinable()) {
    os_semaphore_wait(&g_host.start_semaphore);
    g_host.thread.join();
  }
  os_semaphore_close(&g_host.start_semaphore);
}

void driver_unload()
{
  if (!g_host.loaded)
    return;
  host_log("_BACnet_Driver_Unload");
  driver_context_free(g_host.context);
  g_host.context = DriverContext{};
  driver_set_log_file(nullptr);
  driver_set_log_callback(nullptr);
  driver_set_log_broadcast(nullptr);
  g_host.module_log = nullptr;
  g_host.loaded = false;
}

}  // namespace

int BACnet_Driver_Start(StackConfig* config)
{
  if (!config)
    return -1;
  driver_init(config);
  g_host.thread = std::thread(driver_thread, config);
  os_semaphore_wait(&g_host.start_semaphore);
  return g_host.start_result;
}

int BACnet_Driver_Stop()
{
  driver_stop_thread();
  driver_unload();
  return 0;
}

int BACnet_Driver_Request(const WhoIsRange* range)
{
  WhoIsRequest request;
  if (range) {
    request.low_limit = range->low;
    request.high_limit = range->high;
  }
  return client_send_unconfirmed(-1, -1, -1, nullptr, SERVICE_WHO_IS, &request);
}

int driver_forward_1(ClientCallRecord* record) { return client_call_atomic_read_file(record); }
int driver_forward_2(ClientCallRecord* record) { return client_call_atomic_write_file(record); }
int driver_forward_3(ClientCallRecord* record) { return client_call_read_property(record); }
