// The remote-property cache on the client side of the stack, for the end-to-end tests: the
// stack starts, runs and stops through the stack host's own tables, so the stack thread runs the
// clock, the cache's refresh cycle and the application layer on every pass as the program does;
// COV notifications go through the service handlers into the cache. Commands come on standard input, events (every cache event of every subscription
// among them) go out as JSON lines. Only ever started inside the tests' network namespaces;
// it refuses to start where it sees any interface but loopback and the lab's veths.
//
//   cache_node [--device N] [--trace] CONNECT...
//   whois <low> <high>                               a Who-Is
//   subscribe <device> <type> <instance> <property>  a handle of this node's client
//   get <device> <type> <instance> <property>        the cached value now
//   read <handle>                                    the handle's next value (waits on a thread)
//   write <handle> <real> <priority>                 a waited write through the handle
//   status <device> <type> <instance> <property>     the last write's outcome
//   quit
#include "backend/stack_modules.h"
#include "bacnet/binding/address_binding.h"
#include "bacnet/cache/cache.h"
#include "bacnet/client/client_request.h"
#include "bacnet/datalink/datalink_port.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/services/service_dispatch.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"
#include "node_io.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

int32_t own_instance = 4711;
uint32_t own_client = 0;
std::vector<std::thread> calls;

std::string value_json(const BACnetValue& v)
{
  char text[64];
  if (v.tag == TAG_REAL)
    std::snprintf(text, sizeof text, "%.9g", double(v.payload.real));
  else if (v.tag == TAG_UNSIGNED || v.tag == TAG_ENUMERATED)
    std::snprintf(text, sizeof text, "%u", v.payload.unsigned_value);
  else
    std::snprintf(text, sizeof text, "{\"tag\":%u}", v.tag);
  return text;
}

std::string reference_json(const CacheReference& r)
{
  return "\"device\":" + std::to_string(r.device.instance) + ",\"type\":" + std::to_string(r.object.type) +
         ",\"instance\":" + std::to_string(r.object.instance) + ",\"property\":" + std::to_string(r.property);
}

void on_cache_event(const CacheReference* reference, const BACnetValue* value, int error, uint32_t client,
                    uint32_t handle)
{
  emit("{\"event\":\"cache\"," + reference_json(*reference) + ",\"error\":" + std::to_string(error) + ",\"client\":" +
       std::to_string(client) + ",\"handle\":" + std::to_string(handle) + ",\"value\":" + value_json(*value) + "}");
}

int on_i_am(const void* request)
{
  const auto* iam = static_cast<const IAmRequest*>(request);
  emit("{\"event\":\"iam\",\"device\":" + std::to_string(iam->device.instance) + "}");
  return 0;
}

CacheReference read_reference(std::istringstream& in)
{
  uint32_t device = 0, type = 0, instance = 0, property = 0;
  in >> device >> type >> instance >> property;
  return cache_reference(device, type, instance, property);
}

bool run_command(const std::string& line)
{
  std::istringstream in(line);
  std::string verb;
  in >> verb;
  if (verb == "quit")
    return false;
  if (verb == "whois") {
    WhoIsRequest r;
    in >> r.low_limit >> r.high_limit;
    int rc = client_send_unconfirmed(-1, -1, -1, nullptr, SERVICE_WHO_IS, &r);
    emit("{\"event\":\"whois\",\"result\":" + std::to_string(rc) + "}");
  } else if (verb == "subscribe") {
    CacheReference r = read_reference(in);
    uint32_t handle = 0;
    int rc = cache_add_property(&handle, &r, 0, own_client);
    emit("{\"event\":\"subscribed\",\"result\":" + std::to_string(rc) + ",\"handle\":" + std::to_string(handle) + "}");
  } else if (verb == "get") {
    CacheReference r = read_reference(in);
    OwnedValue v;
    int rc = cache_get_value(&r, v.get());
    emit("{\"event\":\"value\",\"result\":" + std::to_string(rc) + ",\"value\":" + value_json(*v) + "}");
  } else if (verb == "read") {
    uint32_t handle = 0;
    in >> handle;
    calls.emplace_back([handle] {
      OwnedValue v;
      CacheReadResult r;
      int rc = cache_read_by_handle(own_client, handle, 0, v.get(), &r);
      emit("{\"event\":\"read\",\"result\":" + std::to_string(rc) + ",\"get\":" + std::to_string(r.result) +
           ",\"value\":" + value_json(*v) + "}");
    });
  } else if (verb == "write") {
    uint32_t handle = 0, priority = 0;
    float real = 0;
    in >> handle >> real >> priority;
    calls.emplace_back([handle, real, priority] {
      OwnedValue v;
      value_set_real(&real, v.get());
      int rc = cache_write_by_handle(own_client, handle, 0, v.get(), uint8_t(priority));
      emit("{\"event\":\"written\",\"result\":" + std::to_string(rc) + "}");
    });
  } else if (verb == "status") {
    CacheReference r = read_reference(in);
    emit("{\"event\":\"status\",\"result\":" + std::to_string(cache_get_write_status(&r)) + "}");
  } else if (!verb.empty()) {
    emit("{\"event\":\"error\",\"text\":\"unknown command\"}");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv)
{
  if (outside_lab())
    return 2;
  bool trace = false;
  // The stack host's modules without the object database, its file and its API.
  constexpr StackModules kModules = kCommunicationModules | kModuleConfirmedHandlers | kModuleCache;
  StackConfig config;
  config.identity.apdu_retries = 3;  // the client layer's
  config.application_segment_timeout = 3000;
  config.application_apdu_timeout = 3000;
  config.application_retries = 1;
  config.ports.max_apdu_code = 5;
  int records = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--trace") == 0)
      trace = true;
    else if (std::strcmp(argv[i], "--device") == 0 && i + 1 < argc)
      own_instance = std::atoi(argv[++i]);
    else if (records < kConnectStringRecords)
      std::snprintf(config.ports.records[records++].connect, kConnectStringLength, "%s", argv[i]);
  }

  DriverContext context;
  uint8_t options[24] = {};
  if (trace) {
    for (int option : {kClientTraceOption, kBindingTraceOption, kCacheTraceOption})
      options[option] = 1;
    driver_set_log_callback(print_log);
  }
  driver_context_init(context, nullptr, options);

  config.device_instance = own_instance;
  config.service_hooks.slots[0] = on_i_am;
  config.cache_event = on_cache_event;
  int loaded = stack_modules_start(config, &context, kModules, nullptr);
  cache_register_client(&own_client);
  for (int i = 0; i < records; ++i)
    if (config.ports.records[i].status == 0xFF)
      emit("{\"event\":\"error\",\"record\":" + std::to_string(i) + "}");
  emit("{\"event\":\"ready\",\"device\":" + std::to_string(own_instance) + ",\"loaded\":" + std::to_string(loaded) +
       ",\"client\":" + std::to_string(own_client) + "}");

  uint32_t noted_second = os_wall_seconds();
  run_commands(run_command, [&noted_second] { stack_modules_pass(kModules, noted_second); });

  // The ports, the application layer (which ends every request in flight), then the cache,
  // which ends every waiting helper.
  stack_modules_stop(kModules);
  for (std::thread& t : calls)
    t.join();
  for (int choice = 0; choice < 32; ++choice)
    services_set_confirmed_handler(uint8_t(choice), nullptr);
  driver_context_free(context);
  emit("{\"event\":\"stopped\"}");
  return 0;
}
