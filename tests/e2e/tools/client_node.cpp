// The client side of the stack (ports, network and application layer, service dispatch, client
// layer, address binding) with a local Device object, started, run and stopped through the
// stack host's own tables, for the end-to-end tests: it
// answers Who-Is, binds what it hears, and runs blocking calls and discovery on command,
// printing every event as a JSON line (the parked requests' wait lines come out as they are).
// Only ever started inside the tests' network namespaces; it refuses to start where it sees any
// interface but loopback and the lab's veths. Time synchronisation only prints: the host clock
// is never set.
//
//   client_node [--device N] [--timeouts SEGMENT,APDU,RETRIES] [--trace] CONNECT...
//   whois <low> <high>                      a Who-Is (low -1: no range) as the stack client sends it
//   read <tag> <device> <type> <instance> <property>   a blocking ReadProperty
//   readfile <tag> <device> <file> <start> <count>     a blocking AtomicReadFile
//   writefile <tag> <device> <file> <start> <hex>      a blocking AtomicWriteFile
//   raw <tag> <device> <hex>                 a raw confirmed call
//   binding <device>                         what address binding knows of the device
//   scan                                     sets the Device object's property 562 to TRUE
//   status                                   reads properties 562 and 570 of the Device object
//   quit
#include "backend/stack_modules.h"
#include "bacnet/client/client_call.h"
#include "bacnet/client/client_request.h"
#include "bacnet/client/device_discovery.h"
#include "bacnet/datalink/datalink_port.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/services/service_dispatch.h"
#include "bacnet/services/unconfirmed_services.h"
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

constexpr uint32_t kDevice = 8;
constexpr uint32_t kScanControl = 562;
constexpr uint32_t kScanStatus = 570;

int32_t own_instance = 4711;
std::vector<std::thread> calls;

std::string error_json(const ClientCallError& e)
{
  return "\"status\":" + std::to_string(e.status) + ",\"class\":" + std::to_string(e.error_class) +
         ",\"code\":" + std::to_string(e.error_code);
}

std::string value_json(const BACnetValue& v)
{
  if (v.tag == TAG_CHARACTER_STRING)
    return quoted(v.payload.text ? v.payload.text : "");
  return "{\"tag\":" + std::to_string(v.tag) + "}";
}

int on_i_am(const void* request)
{
  const auto* iam = static_cast<const IAmRequest*>(request);
  emit("{\"event\":\"iam\",\"device\":" + std::to_string(iam->device.instance) + ",\"max_apdu\":" +
       std::to_string(iam->max_apdu) + ",\"vendor\":" + std::to_string(iam->vendor_id) + "}");
  return 0;
}

// Prints what it would set; the host clock stays as it is.
int print_clock(const BACnetDateTime& t, bool utc)
{
  char text[128];
  std::snprintf(text, sizeof text,
                "{\"event\":\"clock\",\"utc\":%d,\"year\":%d,\"month\":%d,\"day\":%d,\"hour\":%d,\"minute\":%d,"
                "\"second\":%d}",
                utc ? 1 : 0, 1900 + t.date.year, t.date.month, t.date.day, t.time.hour, t.time.minute, t.time.second);
  emit(text);
  return 0;
}


bool parse_data(const std::string& text, std::vector<uint8_t>* out)
{
  return text == "-" ? (out->clear(), true) : client_hex_to_bytes(text.c_str(), out) == 0 && text.size() % 2 == 0;
}

void start_read(long tag, int32_t device, uint32_t type, uint32_t instance, uint32_t property)
{
  calls.emplace_back([=] {
    client_calls::ReadPropertyRequest call;
    call.device_instance = device;
    call.request.object = {type, instance};
    call.request.property = property;
    call.Call();
    emit("{\"event\":\"read\",\"tag\":" + std::to_string(tag) + "," + error_json(call.error) + ",\"value\":" +
         value_json(call.answer.value) + "}");
  });
}

void start_read_file(long tag, int32_t device, uint32_t file, int32_t start, uint32_t count)
{
  calls.emplace_back([=] {
    client_calls::AtomicReadFileRequest call;
    call.device_instance = device;
    call.request.file = {10, file};
    call.request.start = start;
    call.request.count = count;
    call.Call();
    emit("{\"event\":\"readfile\",\"tag\":" + std::to_string(tag) + "," + error_json(call.error) + ",\"hex\":\"" +
         hex(call.answer.data) + "\",\"eof\":" + std::to_string(call.answer.end_of_file ? 1 : 0) + "}");
  });
}

void start_write_file(long tag, int32_t device, uint32_t file, int32_t start, std::vector<uint8_t> data)
{
  calls.emplace_back([=] {
    client_calls::AtomicWriteFileRequest call;
    call.device_instance = device;
    call.request.file = {10, file};
    call.request.start = start;
    call.request.data = data;
    call.Call();
    emit("{\"event\":\"writefile\",\"tag\":" + std::to_string(tag) + "," + error_json(call.error) + ",\"start\":" +
         std::to_string(call.answer.start) + "}");
  });
}

void start_raw(long tag, int32_t device, std::string request)
{
  calls.emplace_back([=] {
    char* answer = nullptr;
    int rc = client_raw_confirmed_hex(device, request.c_str(), &answer);
    emit("{\"event\":\"raw\",\"tag\":" + std::to_string(tag) + ",\"result\":" + std::to_string(rc) + ",\"answer\":" +
         quoted(answer ? answer : "") + "}");
    std::free(answer);
  });
}

void emit_binding(int32_t device)
{
  DeviceBinding d;
  int rc = address_binding_get_device(device, &d);
  emit("{\"event\":\"binding\",\"device\":" + std::to_string(device) + ",\"result\":" + std::to_string(rc) +
       ",\"online\":" + std::to_string(d.online) + ",\"known\":" + std::to_string(d.address_known) +
       ",\"network\":" + std::to_string(d.address.network) + ",\"mac\":\"" +
       hex(std::span<const uint8_t>(d.address.mac, d.address.mac_len)) + "\"}");
}

void write_scan_control()
{
  OwnedValue on;
  uint8_t yes = 1;
  value_set_boolean(&yes, on.get());
  // The stack's own door: the network may not write the scan control.
  int rc = object_SetObjectProperty(-1, uint32_t(own_instance), kDevice, uint32_t(own_instance), kScanControl, -1,
                                    on.get(), 0);
  emit("{\"event\":\"scan\",\"result\":" + std::to_string(rc) + "}");
}

void emit_status()
{
  OwnedValue control, text;
  int rc1 = object_ReadObjectProperty(-1, uint32_t(own_instance), kDevice, uint32_t(own_instance), kScanControl, -1,
                                      control.get());
  int rc2 = object_ReadObjectProperty(-1, uint32_t(own_instance), kDevice, uint32_t(own_instance), kScanStatus, -1,
                                      text.get());
  emit("{\"event\":\"status\",\"results\":[" + std::to_string(rc1) + "," + std::to_string(rc2) +
       "],\"enabled\":" + std::to_string(control->tag == TAG_BOOLEAN ? control->payload.boolean : -1) +
       ",\"text\":" + value_json(*text) + "}");
}

bool run_command(const std::string& line)
{
  std::istringstream in(line);
  std::string verb;
  in >> verb;
  long tag = 0;
  int32_t device = 0;
  if (verb == "quit")
    return false;
  if (verb == "whois") {
    WhoIsRequest r;
    in >> r.low_limit >> r.high_limit;
    int rc = client_send_unconfirmed(-1, -1, -1, nullptr, SERVICE_WHO_IS, &r);
    emit("{\"event\":\"whois\",\"result\":" + std::to_string(rc) + "}");
  } else if (verb == "read") {
    uint32_t type = 0, instance = 0, property = 0;
    in >> tag >> device >> type >> instance >> property;
    start_read(tag, device, type, instance, property);
  } else if (verb == "readfile") {
    uint32_t file = 0, count = 0;
    int32_t start = 0;
    in >> tag >> device >> file >> start >> count;
    start_read_file(tag, device, file, start, count);
  } else if (verb == "writefile") {
    uint32_t file = 0;
    int32_t start = 0;
    std::string text;
    std::vector<uint8_t> data;
    in >> tag >> device >> file >> start >> text;
    if (!parse_data(text, &data)) {
      emit("{\"event\":\"error\",\"text\":\"bad hex\"}");
      return true;
    }
    start_write_file(tag, device, file, start, data);
  } else if (verb == "raw") {
    std::string text;
    in >> tag >> device >> text;
    start_raw(tag, device, text);
  } else if (verb == "binding") {
    in >> device;
    emit_binding(device);
  } else if (verb == "scan") {
    write_scan_control();
  } else if (verb == "status") {
    emit_status();
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
  // The stack host's modules without the objects file, the object API and the cache, and
  // without the confirmed services: a request to this device is refused as unrecognised.
  constexpr StackModules kModules = kCommunicationModules | kModuleObjects;
  StackConfig config;
  config.identity.object_name = "ZOR17-Server";
  config.identity.model_name = "ZOR17-Server";
  config.identity.vendor_name = "Ambrel";
  config.identity.application_software_version = "1.0.0.2";
  config.identity.vendor_identifier = kMakerVendorIdentifier;
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
    else if (std::strcmp(argv[i], "--timeouts") == 0 && i + 1 < argc)
      std::sscanf(argv[++i], "%d,%d,%d", &config.application_segment_timeout, &config.application_apdu_timeout,
                  &config.application_retries);
    else if (records < kConnectStringRecords)
      std::snprintf(config.ports.records[records++].connect, kConnectStringLength, "%s", argv[i]);
  }

  DriverContext context;
  uint8_t options[24] = {};
  if (trace) {
    for (int option : {kClientTraceOption, kBindingTraceOption})
      options[option] = 1;
    driver_set_log_callback(print_log);
  }
  driver_context_init(context, nullptr, options);

  ServicesSeams seams;
  seams.who_has = services_object_table_who_has;
  seams.set_clock = print_clock;
  config.device_instance = own_instance;
  config.service_hooks.slots[0] = on_i_am;
  int loaded = stack_modules_start(config, &context, kModules, &seams);
  for (int i = 0; i < records; ++i)
    if (config.ports.records[i].status == 0xFF)
      emit("{\"event\":\"error\",\"record\":" + std::to_string(i) +
           ",\"text\":" + quoted(config.ports.records[i].error) + "}");
  emit("{\"event\":\"ready\",\"device\":" + std::to_string(own_instance) + ",\"loaded\":" + std::to_string(loaded) +
       "}");

  uint32_t noted_second = os_wall_seconds();
  run_commands(run_command, [&noted_second] { stack_modules_pass(kModules, noted_second); });

  // Shutting down ends every call still waiting.
  stack_modules_stop(kModules);
  for (std::thread& t : calls)
    t.join();
  driver_context_free(context);
  emit("{\"event\":\"stopped\"}");
  return 0;
}
