// The whole stack as the backend starts it (the stack host with its start-up record), for the
// end-to-end tests of the TCP API: the connect strings come from the command line, so a test
// names a BACnet/IP port and an API port. Standard input takes "quit"; JSON lines on standard
// output tell the start, the host callbacks of the object API, and the stop. Only ever started
// inside the tests' network namespaces; it refuses to start where it sees any interface but
// loopback and the lab's veths.
//
//   api_host [--device N] [--trace] CONNECT...
//   --trace  the API port's and the host's messages go to the log (and so to event 701)
#include "backend/api/api_server.h"
#include "backend/stack_host.h"
#include "backend/stack_identity.h"
#include "bacnet/value/value.h"
#include "lab_guard.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>

namespace {

std::mutex emit_mutex;
StackConfig config;

void emit(const std::string& json)
{
  std::lock_guard<std::mutex> held(emit_mutex);
  std::printf("%s\n", json.c_str());
  std::fflush(stdout);
}

std::string numbers(uint32_t client, uint32_t handle, uint32_t owner, uint32_t type, uint32_t instance)
{
  return "\"client\":" + std::to_string(client) + ",\"handle\":" + std::to_string(handle) + ",\"owner\":" +
         std::to_string(owner) + ",\"type\":" + std::to_string(type) + ",\"instance\":" + std::to_string(instance);
}

void on_value_change(uint32_t client, uint32_t handle, uint32_t owner, uint32_t type, uint32_t instance,
                     const BACnetValue* value, uint32_t priority)
{
  std::string v = "null";
  if (value && value->tag == TAG_REAL)
    v = std::to_string(double(value->payload.real));
  else if (value && (value->tag == TAG_UNSIGNED || value->tag == TAG_ENUMERATED))
    v = std::to_string(value->payload.unsigned_value);
  emit("{\"event\":\"value_change\"," + numbers(client, handle, owner, type, instance) + ",\"value\":" + v +
       ",\"priority\":" + std::to_string(priority) + "}");
}

void on_object_event(uint32_t client, uint32_t handle, uint32_t owner, uint32_t type, uint32_t instance)
{
  emit("{\"event\":\"object_event\"," + numbers(client, handle, owner, type, instance) + "}");
}

}  // namespace

int main(int argc, char** argv)
{
  std::string stranger;
  if (!inside_lab(&stranger)) {
    emit("{\"event\":\"error\",\"text\":\"interface " + stranger + " is not the test lab's; refusing to start\"}");
    return 2;
  }
  config.device_instance = 4711;
  config.identity.model_name = "ZOR17_BACnet";
  config.identity.object_name = "api host";
  config.identity.vendor_identifier = stack_identity::kVendorIdentifier;
  config.identity.apdu_timeout = 3000;
  config.identity.apdu_retries = 1;
  config.application_apdu_timeout = 3000;
  config.application_segment_timeout = 3000;
  config.application_retries = 1;
  config.ports.max_apdu_code = 5;
  config.object_value_change = on_value_change;
  config.object_event = on_object_event;
  int records = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--trace") == 0) {
      config.options[kApiTraceOption] = 1;
      config.options[14] = 1;
      config.log_callback = print_log;
    } else if (std::strcmp(argv[i], "--device") == 0 && i + 1 < argc) {
      config.device_instance = std::atoi(argv[++i]);
    } else if (records < kConnectStringRecords) {
      std::snprintf(config.ports.records[records++].connect, kConnectStringLength, "%s", argv[i]);
    }
  }
  int started = BACnet_Driver_Start(&config);
  std::string errors;
  for (int i = 0; i < records; ++i)
    if (config.ports.records[i].status == 0xFF)
      errors += std::string(errors.empty() ? "" : ",") + "\"" + config.ports.records[i].error + "\"";
  emit("{\"event\":\"ready\",\"device\":" + std::to_string(config.device_instance) + ",\"start\":" +
       std::to_string(started) + ",\"errors\":[" + errors + "]}");

  std::string line;
  while (std::getline(std::cin, line) && line != "quit") {
  }
  BACnet_Driver_Stop();
  emit("{\"event\":\"stopped\"}");
  return 0;
}
