// A stack reduced to its ports, network layer and application layer, for the end-to-end
// tests: it answers confirmed requests with a test server of its own and sends confirmed
// requests on command, printing every event as a JSON line. Only ever started inside the
// tests' network namespaces; it refuses to start where it sees any interface but loopback and
// the lab's veths.
//
//   apdu_node [--trace] [--timeouts SEGMENT,APDU,RETRIES] CONNECT...
//   request <tag> <network> <mac hex> <invoke id> <max-APDU code> <service> <data hex>
//   answer <n>      ReadProperty and ReadPropertyMultiple answers carry a name of n characters
//   quit            ends every open request (done events) and stops
//
// The test server answers ReadProperty (12) with the request's object and property and a
// CharacterString value, ReadPropertyMultiple (14) with that value for property 77 of the
// requested object, everything else with a SimpleACK.
#include "node_io.h"
#include "bacnet/application/application_layer.h"
#include "bacnet/datalink/bacnetip.h"
#include "bacnet/datalink/datalink_port.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/network/network_main.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uint8_t kReadProperty = 12;
constexpr uint8_t kReadPropertyMultiple = 14;
constexpr uint8_t kCharacterStringTag = 7;

std::size_t answer_size = 100;

std::string address_json(const char* prefix, const BACnetAddress& a)
{
  return std::string("\"") + prefix + "_net\":" + std::to_string(a.network) + ",\"" + prefix + "_mac\":\"" +
         hex(std::span<const uint8_t>(a.mac, a.mac_len)) + "\"";
}

// An application-tagged CharacterString (ANSI X3.4) of `n` letters a..z over and over.
void put_name(std::vector<uint8_t>* out, std::size_t n)
{
  std::size_t length = n + 1;  // the character set octet
  if (length <= 4) {
    out->push_back(uint8_t(kCharacterStringTag << 4 | length));
  } else {
    out->push_back(uint8_t(kCharacterStringTag << 4 | 5));
    if (length <= 253) {
      out->push_back(uint8_t(length));
    } else if (length <= 65535) {
      out->insert(out->end(), {254, uint8_t(length >> 8), uint8_t(length)});
    } else {
      out->insert(out->end(), {255, uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length)});
    }
  }
  out->push_back(0);
  for (std::size_t i = 0; i < n; ++i)
    out->push_back(uint8_t('a' + i % 26));
}

int serve(const BACnetAddress&, const ServiceRequest& request, ServiceAnswer* answer, bool snet_present,
          const BACnetAddress&)
{
  emit("{\"event\":\"request\",\"service\":" + std::to_string(request.service_choice) + ",\"invoke\":" +
       std::to_string(request.invoke_id) + ",\"segmented\":" + std::to_string(request.segmented) +
       ",\"size\":" + std::to_string(request.data.size()) + ",\"routed\":" + std::to_string(snet_present) + "," +
       address_json("src", request.source) + ",\"data\":\"" + hex(request.data) + "\"}");
  answer->service_choice = request.service_choice;
  if (request.service_choice == kReadProperty) {
    // The object and property of the request, then the value between opening and closing tag 3.
    answer->kind = kAnswerComplexAck;
    answer->data.assign(request.data.begin(), request.data.end());
    answer->data.push_back(0x3E);
    put_name(&answer->data, answer_size);
    answer->data.push_back(0x3F);
    return 0;
  }
  if (request.service_choice == kReadPropertyMultiple && request.data.size() >= 5) {
    answer->kind = kAnswerComplexAck;
    answer->data.assign(request.data.begin(), request.data.begin() + 5);  // the object identifier
    answer->data.insert(answer->data.end(), {0x1E, 0x29, 0x4D, 0x4E});
    put_name(&answer->data, answer_size);
    answer->data.insert(answer->data.end(), {0x4F, 0x1F});
    return 0;
  }
  answer->kind = kAnswerSimpleAck;
  return 0;
}

int unconfirmed(uint8_t port, bool, const BACnetAddress&, const ServiceRequest& request)
{
  emit("{\"event\":\"unconfirmed\",\"port\":" + std::to_string(port) + ",\"service\":" +
       std::to_string(request.service_choice) + "," + address_json("src", request.source) + "}");
  return 0;
}

void done(void* user_data, int success, const BACnetAddress& destination, const ClientResult& result)
{
  emit("{\"event\":\"done\",\"tag\":" + std::to_string(reinterpret_cast<intptr_t>(user_data)) +
       ",\"success\":" + std::to_string(success) + ",\"present\":" + std::to_string(result.present ? 1 : 0) +
       ",\"type\":" + std::to_string(result.type) + ",\"invoke\":" + std::to_string(result.invoke_id) +
       ",\"service\":" + std::to_string(result.service_choice) + "," + address_json("dst", destination) +
       ",\"data\":\"" + hex(result.data) + "\"}");
}


bool run_command(const std::string& line)
{
  std::istringstream in(line);
  std::string verb;
  in >> verb;
  if (verb == "quit")
    return false;
  if (verb == "request") {
    long tag = 0;
    unsigned network = 0, invoke = 0, code = 0, service = 0;
    std::string mac_text, data_text;
    in >> tag >> network >> mac_text >> invoke >> code >> service >> data_text;
    std::vector<uint8_t> mac, data;
    if (!parse_hex(mac_text, &mac) || mac.size() > 6 || !parse_hex(data_text == "-" ? "" : data_text, &data)) {
      emit("{\"event\":\"error\",\"text\":\"bad request\"}");
      return true;
    }
    ApduRequest r;
    r.destination.network = network;
    std::copy(mac.begin(), mac.end(), r.destination.mac);
    r.destination.mac_len = uint8_t(mac.size());
    r.invoke_id = uint8_t(invoke);
    r.max_apdu_code = uint8_t(code);
    r.service_choice = uint8_t(service);
    r.data = data;
    int result = application_layer_send_request(-1, done, reinterpret_cast<void*>(intptr_t(tag)), r);
    emit("{\"event\":\"queued\",\"tag\":" + std::to_string(tag) + ",\"result\":" + std::to_string(result) + "}");
  } else if (verb == "answer") {
    in >> answer_size;
    emit("{\"event\":\"answer\",\"size\":" + std::to_string(answer_size) + "}");
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
  int segment_timeout = 3000, apdu_timeout = 3000, retries = 3;
  ConnectStringTable table;
  table.max_apdu_code = 5;
  int records = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--trace") == 0)
      trace = true;
    else if (std::strcmp(argv[i], "--timeouts") == 0 && i + 1 < argc)
      std::sscanf(argv[++i], "%d,%d,%d", &segment_timeout, &apdu_timeout, &retries);
    else if (records < kConnectStringRecords)
      std::snprintf(table.records[records++].connect, kConnectStringLength, "%s", argv[i]);
  }

  DriverContext context;
  uint8_t options[24] = {};
  if (trace) {
    options[kClientTsmTraceOption] = options[kServerTsmTraceOption] = options[kApplicationTraceOption] = 1;
    driver_set_log_callback(print_log);
  }
  driver_context_init(context, nullptr, options);

  int loaded = datalink_load_ports(&context, &table);
  for (int i = 0; i < records; ++i)
    if (table.records[i].status == 0xFF)
      emit("{\"event\":\"error\",\"record\":" + std::to_string(i) + ",\"text\":\"" + table.records[i].error + "\"}");
  application_layer_init(serve, unconfirmed, &context, nullptr, driver_lock, driver_unlock, segment_timeout,
                         apdu_timeout, retries);
  for (std::size_t i = 0; i < network_port_count(); ++i) {
    BACnetAddress own;
    network_get_port(int(i), &own);
    emit("{\"event\":\"ready\",\"port\":" + std::to_string(i) + "," + address_json("own", own) + "}");
  }
  if (loaded != 0 && network_port_count() == 0) {
    application_layer_destroy();
    driver_context_free(context);
    return 1;
  }

  run_commands(run_command, application_layer_periodic);

  datalink_close_all();
  application_layer_destroy();
  driver_context_free(context);
  emit("{\"event\":\"stopped\"}");
  return 0;
}
