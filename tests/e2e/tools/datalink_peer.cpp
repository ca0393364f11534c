// A stack reduced to its ports and network layer, for the end-to-end tests: opens one port per
// connect string given on the command line, prints every APDU that arrives as a JSON line and
// sends APDUs on command (one command per line on standard input). Only ever started inside
// the tests' network namespaces; it refuses to start where it sees any interface but
// loopback and the lab's veths.
//
// With two or more connect strings it has several ports; it routes between none of them.
//
//   datalink_peer [--manual-clock] [--trace] CONNECT...
//   datalink_peer --list-nics          the capture devices as the NIC key counts them, then ends
//   send <network> <mac hex> <apdu hex> [expecting-reply]   unicast through the network layer
//   broadcast <apdu hex>                                     global broadcast on every port
//   tick <n>        (manual clock) n one-second ticks of every BACnet/IP port, one by one
//   advance <ms>    (manual clock) moves the clock on, then runs one network-layer poll
//   status          registration flag and tick count of every BACnet/IP port
//   ethernet        dropped-frame count of every Ethernet port
//   routes          the route list of every port
//   quit
#include "node_io.h"
#include "bacnet/datalink/bacnetethernet.h"
#include "bacnet/datalink/bacnetip.h"
#include "bacnet/datalink/datalink_port.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/network/network_main.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string address_json(const char* prefix, const BACnetAddress& a)
{
  return std::string("\"") + prefix + "_net\":" + std::to_string(a.network) + ",\"" + prefix + "_mac\":\"" +
         hex(std::span<const uint8_t>(a.mac, a.mac_len)) + "\"";
}

int on_apdu(uint8_t port, const BACnetAddress& source, const BACnetAddress& destination, const NpduHeader& header)
{
  emit("{\"event\":\"rx\",\"port\":" + std::to_string(port) + "," + address_json("src", source) + "," +
       address_json("dst", destination) + ",\"dnet\":" + (header.dnet_present ? std::to_string(header.dnet) : "-1") +
       ",\"snet\":" + (header.snet_present ? std::to_string(header.snet) : "-1") + ",\"sadr\":\"" +
       hex(std::span<const uint8_t>(header.sadr, header.slen)) + "\"" +
       ",\"expecting_reply\":" + std::to_string(header.expecting_reply) + ",\"apdu\":\"" +
       hex(std::span<const uint8_t>(header.apdu, header.apdu_length)) + "\"}");
  return 0;
}

std::vector<BacnetIpLink*> ip_links()
{
  std::vector<BacnetIpLink*> links;
  for (std::size_t i = 0; i < datalink_port_count(); ++i)
    if (BacnetIpLink* link = bacnetip_link(datalink_port_at(i)))
      links.push_back(link);
  return links;
}

// One tick at a time, each awaited, so that no second is lost between two passes.
bool tick(ManualClock* clock, int n)
{
  for (int i = 0; i < n; ++i) {
    std::vector<uint32_t> before;
    for (BacnetIpLink* link : ip_links())
      before.push_back(link->ticks);
    clock->advance_ms(1000);
    for (std::size_t k = 0; k < before.size(); ++k) {
      int waited = 0;
      while (ip_links()[k]->ticks == before[k]) {
        if (++waited > 5000)
          return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
  }
  return true;
}

bool run_command(const std::string& line, ManualClock* clock)
{
  std::istringstream in(line);
  std::string verb;
  in >> verb;
  if (verb == "quit")
    return false;
  if (verb == "send") {
    unsigned network = 0;
    std::string mac_text, apdu_text;
    int expecting = 0;
    in >> network >> mac_text >> apdu_text >> expecting;
    std::vector<uint8_t> mac, apdu;
    BACnetAddress to;
    to.network = network;
    if (!parse_hex(mac_text, &mac) || mac.size() > 6 || !parse_hex(apdu_text, &apdu)) {
      emit("{\"event\":\"error\",\"text\":\"bad send\"}");
      return true;
    }
    std::copy(mac.begin(), mac.end(), to.mac);
    to.mac_len = uint8_t(mac.size());
    int r = network_unit_data_request(to, apdu, uint8_t(expecting), false, -1);
    emit("{\"event\":\"sent\",\"result\":" + std::to_string(r) + "}");
  } else if (verb == "broadcast") {
    std::string apdu_text;
    in >> apdu_text;
    std::vector<uint8_t> apdu;
    if (!parse_hex(apdu_text, &apdu)) {
      emit("{\"event\":\"error\",\"text\":\"bad broadcast\"}");
      return true;
    }
    BACnetAddress all;
    all.network = kGlobalBroadcastNetwork;
    int r = network_unit_data_request_port(-1, all, apdu, true);
    emit("{\"event\":\"sent\",\"result\":" + std::to_string(r) + "}");
  } else if (verb == "tick") {
    int n = 0;
    in >> n;
    bool ok = clock && tick(clock, n);
    emit("{\"event\":\"ticked\",\"ok\":" + std::string(ok ? "true" : "false") + "}");
  } else if (verb == "status") {
    std::string ports;
    for (BacnetIpLink* link : ip_links())
      ports += std::string(ports.empty() ? "" : ",") + "{\"registered\":" + std::to_string(link->registered) +
               ",\"ticks\":" + std::to_string(link->ticks) + "}";
    emit("{\"event\":\"status\",\"ports\":[" + ports + "]}");
  } else if (verb == "advance") {
    int64_t ms = 0;
    in >> ms;
    if (clock)
      clock->advance_ms(ms);
    network_poll();
    emit("{\"event\":\"advanced\",\"ok\":" + std::string(clock ? "true" : "false") + "}");
  } else if (verb == "ethernet") {
    std::string ports;
    for (std::size_t i = 0; i < datalink_port_count(); ++i)
      if (BacnetEthernetLink* link = bacnetethernet_link(datalink_port_at(i)))
        ports += std::string(ports.empty() ? "" : ",") + "{\"dropped\":" + std::to_string(link->dropped) + "}";
    emit("{\"event\":\"ethernet\",\"ports\":[" + ports + "]}");
  } else if (verb == "routes") {
    std::string routes;
    for (std::size_t i = 0; i < network_port_count(); ++i)
      for (const NetworkRoute& r : network_port_at(i)->routes)
        if (r.network)
          routes += std::string(routes.empty() ? "" : ",") + "{\"port\":" + std::to_string(i) +
                    ",\"network\":" + std::to_string(r.network) + "," + address_json("router", r.router) +
                    ",\"status\":" + std::to_string(r.status) + "}";
    emit("{\"event\":\"routes\",\"routes\":[" + routes + "]}");
  } else if (!verb.empty()) {
    emit("{\"event\":\"error\",\"text\":\"unknown command\"}");
  }
  return true;
}

// The capture devices in the order that the NIC key of an Ethernet connect string counts.
int list_nics()
{
  std::vector<EthernetAdapter> adapters;
  if (bacnetethernet_list_adapters(&adapters) != 0) {
    emit("{\"event\":\"error\",\"text\":\"cannot list the capture devices\"}");
    return 1;
  }
  std::string names;
  for (const EthernetAdapter& a : adapters)
    names += std::string(names.empty() ? "\"" : ",\"") + a.name + "\"";
  emit("{\"event\":\"nics\",\"names\":[" + names + "]}");
  return 0;
}

}  // namespace

int main(int argc, char** argv)
{
  if (outside_lab())
    return 2;
  if (argc == 2 && std::strcmp(argv[1], "--list-nics") == 0)
    return list_nics();
  bool manual = false;
  bool trace = false;
  ConnectStringTable table;
  table.max_apdu_code = 5;
  int records = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--manual-clock") == 0)
      manual = true;
    else if (std::strcmp(argv[i], "--trace") == 0)
      trace = true;
    else if (records < kConnectStringRecords)
      std::snprintf(table.records[records++].connect, kConnectStringLength, "%s", argv[i]);
  }

  ManualClock clock;
  if (manual) {
    OsTime now;
    os_get_time(&now);
    clock.set_wall(now.seconds, now.microseconds);
    os_set_clock(&clock);
  }
  DriverContext context;
  uint8_t options[24] = {};
  if (trace) {
    options[kNetworkTraceOption] = options[kBacnetIpTraceOption] = options[kDatalinkTraceOption] = 1;
    options[kEthernetTraceOption] = 1;
    driver_set_log_callback(print_log);
  }
  driver_context_init(context, nullptr, options);

  int loaded = datalink_load_ports(&context, &table);
  for (int i = 0; i < records; ++i)
    if (table.records[i].status == 0xFF)
      emit("{\"event\":\"error\",\"record\":" + std::to_string(i) + ",\"text\":\"" + table.records[i].error + "\"}");
  network_init(on_apdu, &context, driver_lock, driver_unlock);
  for (std::size_t i = 0; i < network_port_count(); ++i) {
    BACnetAddress own;
    network_get_port(int(i), &own);
    emit("{\"event\":\"ready\",\"port\":" + std::to_string(i) + "," + address_json("own", own) + "}");
  }
  if (loaded != 0 && network_port_count() == 0) {
    network_destroy();
    driver_context_free(context);
    return 1;
  }

  // The stack thread's part: the network layer's poll, commands between passes.
  run_commands([&](const std::string& line) { return run_command(line, manual ? &clock : nullptr); }, network_poll);

  datalink_close_all();
  network_destroy();
  driver_context_free(context);
  emit("{\"event\":\"stopped\"}");
  os_set_clock(nullptr);
  return 0;
}
