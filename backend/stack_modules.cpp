#include "backend/stack_modules.h"

#include "backend/api/api_server.h"
#include "bacnet/application/application_layer.h"
#include "bacnet/cache/cache.h"
#include "bacnet/client/client_request.h"
#include "bacnet/client/device_discovery.h"
#include "bacnet/codec/pdu_buffer.h"
#include "bacnet/datalink/bacnetmstp.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/foundation/stack_tick.h"
#include "bacnet/objects/device_object.h"
#include "bacnet/objects/object_api.h"
#include "bacnet/objects/object_behaviour.h"
#include "bacnet/objects/object_database.h"
#include "bacnet/objects/object_hooks.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/serialize.h"
#include "bacnet/services/confirmed_services.h"
#include "bacnet/services/unconfirmed_services.h"

const ServicesSeams kProgramServicesSeams{api_broadcast_pdu_event, services_object_table_who_has,
                                          services_system_clock_setter};

namespace {

constexpr uint32_t kAnnouncedMaxApdu = 480;
constexpr uint32_t kSegmentedBoth = 0;

struct StartArguments {
  StackConfig& config;
  const DriverContext* context;
  const ServicesSeams* seams;
  void (*add_objects)();
};

// ---- Start-up, in order. A step's result becomes the start result when `decides` is set.

int start_codec(const StartArguments& a) { return pdu_init(a.context); }

int start_objects_file(const StartArguments& a)
{
  object_set_save_function(serialize_SaveOwner);
  return serialize_Init(a.context, a.config.identity.objects_file);
}

int start_objects(const StartArguments& a)
{
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
  hooks.send_i_am = address_binding_announce_device;
  hooks.object_timer = object_Timer;
  hooks.notify_change = object_api_notify_change;
  hooks.notify_event = object_api_notify_event;
  object_set_hooks(&hooks);
  int rc = object_Init(uint32_t(a.config.device_instance), a.context, &a.config.identity);
  if (a.add_objects)
    a.add_objects();
  // The stored settings go into the objects before any request can reach them, and before the
  // first save could write the defaults over the file.
  serialize_OpenAtStart();
  return rc;
}

int start_services(const StartArguments& a)
{
  services_set_seams(a.seams);
  return services_init(a.context, &a.config.service_hooks);
}

int start_confirmed_handlers(const StartArguments&) { return services_register_confirmed_handlers(); }

int start_client(const StartArguments& a)
{
  return client_init(a.context, int32_t(a.config.identity.apdu_retries), int32_t(a.config.identity.apdu_timeout));
}

int start_binding(const StartArguments& a)
{
  datalink_set_local_port_hook(address_binding_local_port_hook);
  return address_binding_init(a.context, a.config.device_instance);
}

int start_ports(const StartArguments& a)
{
  api_install_link_type();
  return datalink_load_ports(a.context, &a.config.ports);
}

int start_application(const StartArguments& a)
{
  const StackConfig& config = a.config;
  application_layer_init(services_confirmed_indication, services_unconfirmed_indication, a.context,
                         address_binding_heard_from, driver_lock, driver_unlock, config.application_segment_timeout,
                         config.application_apdu_timeout, config.application_retries);
  application_layer_set_communication_state_function(client_get_communication_state);
  return 0;
}

int start_object_api(const StartArguments& a)
{
  object_api_set_broadcasters(api_broadcast_object_value_event, api_broadcast_object_event);
  object_api_set_handle_gone_hook(api_object_handle_gone);
  return object_api_init(a.context, a.config.object_value_change, a.config.object_event);
}

int start_cache(const StartArguments& a)
{
  cache_set_event_broadcaster(api_broadcast_cache_event);
  cache_set_handle_gone_hook(api_cache_handle_gone);
  return cache_init(a.context, a.config.cache_event);
}

struct StartStep {
  StackModules module;
  int (*start)(const StartArguments&);  // null: the module is not part of this program
  bool decides;                         // its result is the start result
};

// The value library's log has its place in this order but no module in this program.
const StartStep kStartOrder[] = {
    {kModuleCodec, start_codec, false},
    {kModuleObjectsFile, start_objects_file, false},
    {kModuleObjects, start_objects, false},
    {kModuleServices, start_services, false},
    {kModuleConfirmedHandlers, start_confirmed_handlers, false},
    {kModuleClient, start_client, false},
    {kModuleBinding, start_binding, false},
    {kModulePorts, start_ports, true},
    {kModuleApplication, start_application, false},
    {kModuleObjectApi, start_object_api, false},
    {0, nullptr, false},  // the value library's log
    {kModuleCache, start_cache, false},
};

// ---- Periodic work and shut-down, each in its order.

struct Step {
  StackModules module;
  void (*run)();
};

const Step kEveryPass[] = {
    {kModuleCache, clock_update},
    {kModuleObjects, [] { object_Poll(); }},
    {kModuleCache, cache_execute},
    {kModuleApplication, application_layer_periodic},
};

const Step kEverySecond[] = {
    {kModuleObjects, object_second_tick},
    {kModuleBinding, [] { address_binding_periodic(); }},
    {kModuleClient, [] { client_pending_tick(); }},
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

void stop_binding()
{
  address_binding_clear();
  datalink_set_local_port_hook(nullptr);
}

const Step kShutdownOrder[] = {
    {kModulePorts, datalink_close_all},
    {kModuleObjects, stop_objects},
    {kModuleApplication, application_layer_destroy},
    {kModuleClient, client_fail_parked},
    {kModuleBinding, stop_binding},
    {kModuleServices, [] { services_set_seams(nullptr); }},
    {kModuleObjectApi, [] { object_api_destroy(); }},
    {kModuleCache, cache_destroy},
    {kModuleObjectsFile, stop_objects_file},
};

template <std::size_t N>
void run_steps(const Step (&steps)[N], StackModules modules)
{
  for (const Step& step : steps)
    if (step.module & modules)
      step.run();
}

}  // namespace

int stack_modules_start(StackConfig& config, const DriverContext* context, StackModules modules,
                        const ServicesSeams* seams, void (*add_objects)())
{
  const StartArguments arguments{config, context, seams, add_objects};
  int result = 0;
  for (const StartStep& step : kStartOrder) {
    if (!step.start || !(step.module & modules))
      continue;
    int rc = step.start(arguments);
    if (step.decides)
      result = rc;
  }
  client_broadcast_i_am(BACnetObjectId{OBJECT_DEVICE, uint32_t(config.device_instance)}, kAnnouncedMaxApdu,
                        kSegmentedBoth);
  return result;
}

void stack_modules_pass(StackModules modules, uint32_t& noted_second)
{
  // A change of the second, not a count of passes: a clock set back still runs the tasks.
  uint32_t now = os_wall_seconds();
  if (now != noted_second) {
    stack_modules_second(modules);
    noted_second = now;
  }
  run_steps(kEveryPass, modules);
}

void stack_modules_second(StackModules modules) { run_steps(kEverySecond, modules); }

void stack_modules_stop(StackModules modules) { run_steps(kShutdownOrder, modules); }
