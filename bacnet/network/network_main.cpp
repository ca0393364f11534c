#include "bacnet/network/network_main.h"

#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/foundation/ring.h"
#include "bacnet/foundation/stack_wake.h"
#include "bacnet/network/datalink_queue.h"
#include "bacnet/network/network_routes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr uint8_t kHopCountStart = 255;
constexpr uint32_t kMaxApduLengths[] = {50, 128, 206, 480, 1024, 1476};
constexpr uint8_t kLargestMaxApduCode = 5;

struct NetworkState {
  NetworkApduCallback upper = nullptr;
  DriverLogFunction log = nullptr;
  // Port threads may deliver before the layer is initialised: the process lock guards the
  // ring from the start.
  NetworkLockFunction lock = driver_lock;
  NetworkLockFunction unlock = driver_unlock;
  NetworkCommunicationStateFunction communication_state = nullptr;
  DatalinkQueue ring;
  std::vector<NetworkPort> ports;
};

NetworkState g;

void trace(int level, const char* text)
{
  if (g.log)
    g.log(level, text);
}

void append_hex(std::string& text, const uint8_t* data, std::size_t n)
{
  char octet[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(octet, sizeof octet, " %02X", data[i]);
    text += octet;
  }
}

void trace_npdu(const char* format, uint32_t network, const uint8_t* mac, std::size_t mac_len,
                std::span<const uint8_t> npdu)
{
  if (!g.log)
    return;
  char head[32];
  std::snprintf(head, sizeof head, format, unsigned(network));
  std::string text = head;
  append_hex(text, mac, mac_len);
  text += " NPDU";
  append_hex(text, npdu.data(), npdu.size());
  g.log(0, text.c_str());
}

bool apdu_length_ok(std::span<const uint8_t> apdu) { return !apdu.empty() && apdu.size() <= kNpduMaxLength; }

}  // namespace

void network_init(NetworkApduCallback upper, const DriverContext* context, NetworkLockFunction lock,
                  NetworkLockFunction unlock)
{
  g.upper = upper;
  g.log = (context && context->options[kNetworkTraceOption]) ? context->log : nullptr;
  g.lock = lock ? lock : driver_lock;
  g.unlock = unlock ? unlock : driver_unlock;
  {
    RingLock held(g.lock, g.unlock);
    g.ring.clear();
  }
  network_routes_reset();
  trace(1, "network_init");

  // Ports that are always up reach each other's networks directly. They announce no route: we
  // pass nothing on, and a peer that took us for its router would send into the void.
  for (NetworkPort& p : g.ports) {
    if (p.link_state)
      continue;
    for (const NetworkPort& other : g.ports)
      if (&other != &p)
        network_add_route(p.index, other.address.network, nullptr, other.link_state ? 0 : 1, true);
  }
}

void network_destroy()
{
  {
    RingLock held(g.lock, g.unlock);
    g.ring.clear();
  }
  g.ports.clear();
  g.upper = nullptr;
  network_routes_reset();
}

uint32_t datalink_max_apdu_length(uint8_t code) { return kMaxApduLengths[std::min(code, kLargestMaxApduCode)]; }

uint8_t datalink_max_apdu_code(uint32_t length)
{
  for (uint8_t code = 0; code < kLargestMaxApduCode; ++code)
    if (kMaxApduLengths[code] >= length)
      return code;
  return kLargestMaxApduCode;
}

int network_init_port(NetworkPort* port)
{
  if (!port || g.ports.size() >= kNetworkMaxPorts)
    return -1;
  port->index = uint8_t(g.ports.size());
  g.ports.push_back(*port);
  g.ports.back().routes.clear();
  return 0;
}

int network_get_port(int index, BACnetAddress* address)
{
  if (index < 0 || std::size_t(index) >= g.ports.size() || !address)
    return -1;
  *address = g.ports[std::size_t(index)].address;
  return 0;
}

int network_find_port(uint32_t network, NetworkPort* port)
{
  NetworkPort* p = network_port_by_network(network);
  if (!p || !port)
    return -1;
  *port = *p;
  return 0;
}

int network_receive(const BACnetAddress& source, const BACnetAddress& destination, std::span<const uint8_t> npdu,
                    uint8_t expecting_reply, uint8_t priority)
{
  if (!apdu_length_ok(npdu))
    return -1;
  DatalinkQueueEntry entry{source, destination, std::vector<uint8_t>(npdu.begin(), npdu.end()), expecting_reply,
                           priority};
  // Traced before the lock: the log writer takes the lock itself.
  trace_npdu("Net %05u From ", source.network, source.mac, source.mac_len, npdu);
  bool queued;
  {
    RingLock held(g.lock, g.unlock);
    queued = g.ring.put(std::move(entry));
  }
  if (!queued) {
    network_send_RouterBusyToNetwork();
    return -1;
  }
  stack_wake();
  return 0;
}

int network_send(const NetworkPort& port, const BACnetAddress& source, const BACnetAddress& destination,
                 std::span<const uint8_t> npdu, uint8_t expecting_reply, uint8_t priority)
{
  if (destination.network == kGlobalBroadcastNetwork) {
    static const uint8_t all_ff[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    trace_npdu("Net %05u To   ", source.network, all_ff, source.mac_len, npdu);
  } else {
    trace_npdu("Net %05u To   ", destination.network, destination.mac, destination.mac_len, npdu);
  }
  if (destination == port.address)
    return network_receive(source, destination, npdu, expecting_reply, priority);
  if (!port.send)
    return -1;
  return port.send(port.handle, source, destination, npdu, expecting_reply, priority);
}

int network_unit_data_request(const BACnetAddress& destination, std::span<const uint8_t> apdu,
                              uint8_t expecting_reply, bool global_broadcast, int message_type)
{
  trace(1, "network_unit_data_request");
  if (g.ports.empty())
    return -1;
  BACnetAddress target = destination;
  if (target.network == 0 || target.network == kGlobalBroadcastNetwork)
    target.network = g.ports.front().address.network;
  if (!apdu_length_ok(apdu) || target.network < 1 || target.network > 65535)
    return -1;

  NpduHeader header;
  header.expecting_reply = expecting_reply ? 1 : 0;
  if (message_type != -1) {
    header.network_message = 1;
    header.message_type = uint8_t(message_type);
  }

  if (NetworkPort* port = network_port_by_network(target.network)) {
    if (global_broadcast) {
      header.dnet_present = 1;
      header.dnet = kGlobalBroadcastNetwork;
      header.hop_count = kHopCountStart;
      BACnetAddress broadcast{};
      broadcast.network = kGlobalBroadcastNetwork;
      return network_send_npdu(*port, broadcast, header, apdu);
    }
    return network_send_npdu(*port, target, header, apdu);
  }

  for (const NetworkPort& p : g.ports) {
    if (p.address.network == target.network)
      continue;
    for (const NetworkRoute& route : p.routes) {
      if (route.network != target.network)
        continue;
      if (route.status == 0) {
        // Only a dial-up router is asked to connect; any other route that is down, or a router
        // that said it is busy, leaves the APDU unsent, and the caller must know.
        if (!route.dial_up || route.busy)
          return -1;
        return network_establish_connection(route);
      }
      network_touch_connection(target.network);
      NetworkPort* out = network_route_port(route);
      if (!out)
        out = network_port_at(route.port_index);
      if (!out)
        return -1;
      header.dnet_present = 1;
      header.dnet = target.network;
      header.dlen = target.mac_len;
      std::memcpy(header.dadr, target.mac, sizeof header.dadr);
      header.hop_count = kHopCountStart;
      BACnetAddress router = route.router;
      router.network = out->address.network;
      return network_send_npdu(*out, router, header, apdu);
    }
  }
  return network_add_locate_network(target.network);
}

int network_unit_data_request_port(int port_index, const BACnetAddress& destination, std::span<const uint8_t> apdu,
                                   bool global_broadcast)
{
  if (g.communication_state && g.communication_state() == 1)
    return -1;
  if (!apdu_length_ok(apdu))
    return -1;
  // A broadcast (network 0 or 65535) belongs to the network of the port it goes out on.
  auto send_on = [&](const NetworkPort& port) {
    BACnetAddress target = destination;
    if (target.network == 0 || target.network == kGlobalBroadcastNetwork)
      target.network = port.address.network;
    network_unit_data_request(target, apdu, 0, global_broadcast, -1);
  };
  if (port_index == -1) {
    // One device, or all of one network, is reached through one port: the network's own or
    // its route's. Sent once per port it would arrive as often as there are ports.
    if (destination.mac_len > 0 || (destination.network != 0 && destination.network != kGlobalBroadcastNetwork))
      return network_unit_data_request(destination, apdu, 0, global_broadcast, -1);
    // Copied: a send may not change the table, but the loop must not depend on that.
    std::vector<NetworkPort> ports = g.ports;
    for (const NetworkPort& p : ports)
      send_on(p);
    return 0;
  }
  if (port_index < 0 || std::size_t(port_index) >= g.ports.size())
    return -1;
  send_on(g.ports[std::size_t(port_index)]);
  return 0;
}

int network_send_on_port(int port_index, const BACnetAddress* own, const BACnetAddress& datalink_source,
                         bool snet_present, const BACnetAddress& request_source, std::span<const uint8_t> apdu,
                         uint8_t priority)
{
  if (port_index < 0 || std::size_t(port_index) >= g.ports.size())
    return -1;
  const NetworkPort& port = g.ports[std::size_t(port_index)];
  NpduHeader header;
  header.priority = priority & 0x03;
  BACnetAddress target = datalink_source;
  if (snet_present && request_source.network != datalink_source.network) {
    // The request came through a router: answer through it.
    header.dnet_present = 1;
    header.dnet = request_source.network;
    header.dlen = request_source.mac_len;
    std::memcpy(header.dadr, request_source.mac, sizeof header.dadr);
    header.hop_count = kHopCountStart;
  } else if (snet_present) {
    target = request_source;
  }
  std::vector<uint8_t> npdu;
  if (npdu_encode(header, apdu, &npdu) != 0)
    return -1;
  return network_send(port, own ? *own : port.address, target, npdu, 0, header.priority);
}

void network_poll()
{
  network_send_pending_busy();
  network_connection_timer();
  network_locate_timer();
  network_busy_timer();
  for (;;) {
    DatalinkQueueEntry entry;
    {
      RingLock held(g.lock, g.unlock);
      if (!g.ring.get(entry))
        break;
    }
    network_handle_packet(entry.source, entry.destination, entry.frame);
  }
  network_reset_congestion();
}

void network_handle_packet(const BACnetAddress& source, const BACnetAddress& destination,
                           std::span<const uint8_t> npdu)
{
  trace(1, "network_handle_packet");
  NpduHeader header;
  if (npdu_decode(npdu, &header) != 0)
    return;
  NetworkPort* port = network_port_by_network(source.network);
  // We route for nobody: an NPDU for a specific other network is not ours.
  if (header.dnet_present && header.dnet != kGlobalBroadcastNetwork) {
    bool for_us = port && header.dnet == port->address.network && header.dlen == port->address.mac_len &&
                  std::memcmp(header.dadr, port->address.mac, header.dlen) == 0;
    if (!for_us)
      return;
  }
  if (header.network_message) {
    network_handle_message(source, header);
    return;
  }
  if (!port || !g.upper)
    return;
  g.upper(port->index, source, destination, header);
}

void network_set_communication_state_function(NetworkCommunicationStateFunction function)
{
  g.communication_state = function;
}

int network_communication_state() { return g.communication_state ? g.communication_state() : 0; }

std::size_t network_port_count() { return g.ports.size(); }

std::size_t network_port_queued(int index)
{
  NetworkPort* port = index >= 0 ? network_port_at(std::size_t(index)) : nullptr;
  return port && port->queued ? port->queued(port->handle) : 0;
}

NetworkPort* network_port_at(std::size_t index) { return index < g.ports.size() ? &g.ports[index] : nullptr; }

NetworkPort* network_port_by_network(uint32_t network)
{
  for (NetworkPort& p : g.ports)
    if (p.address.network == network)
      return &p;
  return nullptr;
}

int network_send_npdu(const NetworkPort& port, const BACnetAddress& target, const NpduHeader& header,
                      std::span<const uint8_t> data)
{
  std::vector<uint8_t> npdu;
  if (npdu_encode(header, data, &npdu) != 0)
    return -1;
  return network_send(port, port.address, target, npdu, header.expecting_reply, header.priority);
}

DriverLogFunction network_log_function() { return g.log; }
