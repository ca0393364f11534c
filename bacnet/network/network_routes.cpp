#include "bacnet/network/network_routes.h"

#include "bacnet/foundation/os_wrappers.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace {

constexpr uint8_t kHopCountStart = 255;
constexpr int64_t kLocateStepMs = 5000;
// Wait before the next Who-Is-Router, in steps of 5 s, by the number of requests sent so far;
// from the sixth request on the last step holds.
constexpr uint32_t kLocateSteps[] = {0, 1, 2, 4, 8, 16};
constexpr std::size_t kLocateStepCount = sizeof kLocateSteps / sizeof kLocateSteps[0];

// A full receive ring is seen on a port thread, while the port table belongs to the stack
// thread: the port thread only asks, and the stack thread sends Router-Busy at its next poll.
enum Congestion : int { kCalm = 0, kBusyAsked = 1, kBusySent = 2 };

struct RoutesState {
  std::vector<NetworkLocateEntry> locate;
  NetworkConnection connection;
  int64_t last_second = -1;
  std::atomic<int> congestion{kCalm};
};

RoutesState r;

void trace(const char* name)
{
  if (DriverLogFunction log = network_log_function())
    log(1, name);
}

bool port_up(const NetworkPort& port) { return !port.link_state || port.link_state(port.handle) == kNetworkLinkUp; }

BACnetAddress link_broadcast()
{
  BACnetAddress a;
  a.network = kGlobalBroadcastNetwork;
  return a;
}

const BACnetAddress kGlobalDnet = link_broadcast();

void put16(std::vector<uint8_t>& out, uint32_t v)
{
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}

uint32_t get16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }

std::span<const uint8_t> message_data(const NpduHeader& h) { return {h.apdu, h.apdu_length}; }

bool same_mac(const BACnetAddress& a, const BACnetAddress& b)
{
  return a.mac_len == b.mac_len && std::memcmp(a.mac, b.mac, a.mac_len) == 0;
}

void forget_locate(uint32_t network)
{
  for (NetworkLocateEntry& e : r.locate)
    if (e.network == network)
      e = NetworkLocateEntry{};
}

// Sends the same message on every port that is up.
void send_on_every_port(uint8_t type, std::span<const uint8_t> data, const BACnetAddress* dnet)
{
  for (std::size_t i = 0; i < network_port_count(); ++i) {
    NetworkPort* p = network_port_at(i);
    if (port_up(*p) && p->send)
      network_send_message(*p, link_broadcast(), type, data, dnet);
  }
}

// The router says it is busy (or cannot deliver): the route is down for a hold time at most.
void hold_route(NetworkRoute& route)
{
  if (!route.busy)
    route.status_before_busy = route.status;
  route.status = 0;
  route.busy = true;
  route.busy_since_ms = os_monotonic_ms();
}

// The router is ready again. A dial-up route it had not connected stays one to connect first.
void release_route(NetworkRoute& route)
{
  route.status = route.busy ? route.status_before_busy : 1;
  route.busy = false;
}

void hold_route(NetworkPort& port, uint32_t network)
{
  for (NetworkRoute& route : port.routes)
    if (route.network == network)
      hold_route(route);
}

// SNET and SADR: the NPDU names `source` as its origin.
void set_source(NpduHeader& h, const BACnetAddress& source)
{
  h.snet_present = 1;
  h.snet = source.network;
  h.slen = source.mac_len;
  std::memcpy(h.sadr, source.mac, sizeof h.sadr);
}

}  // namespace

NetworkPort* network_route_port(const NetworkRoute& route)
{
  // A learnt router sits on the network of the port it was heard on.
  return route.router.mac_len ? network_port_by_network(route.router.network) : nullptr;
}

int network_add_route(uint8_t port_index, uint32_t network, const BACnetAddress* router, uint32_t status,
                      bool create)
{
  NetworkPort* port = network_port_at(port_index);
  if (!port || network == 0 || port->address.network == network)
    return -1;
  // A network of our own ports is reached directly; no router's word changes that.
  if (router && network_port_by_network(network))
    return -1;
  // A router's word on the route ends any busy hold. One that offers a route it has not
  // connected (I-Could-Be-Router-To-Network) connects on request.
  auto set = [&](NetworkRoute& route) {
    if (router)
      route.router = *router;
    route.status = status;
    route.busy = false;
    if (router && status == 0)
      route.dial_up = true;
  };
  NetworkRoute* free_entry = nullptr;
  for (NetworkRoute& route : port->routes) {
    if (route.network == network) {
      set(route);
      return 0;
    }
    if (route.network == 0 && !free_entry)
      free_entry = &route;
  }
  if (!create)
    return 0;
  NetworkRoute route;
  route.port_index = port_index;
  route.network = network;
  set(route);
  if (free_entry)
    *free_entry = route;
  else
    port->routes.push_back(route);
  return 0;
}

void network_add_routes(const BACnetAddress& router, uint8_t port_index, std::span<const uint8_t> list,
                        uint32_t status, bool create)
{
  for (std::size_t i = 0; i + 1 < list.size(); i += 2) {
    uint32_t network = get16(list.data() + i);
    network_add_route(port_index, network, &router, status, create);
    forget_locate(network);
  }
}

void network_add_network(const BACnetAddress& router, uint32_t network)
{
  for (std::size_t i = 0; i < network_port_count(); ++i)
    if (NetworkPort* p = network_port_at(i); !(p->address == router))
      network_add_route(p->index, network, &router, 1, true);
  forget_locate(network);
}

int network_add_locate_network(uint32_t network)
{
  if (network == 0)
    return -1;
  NetworkLocateEntry* free_entry = nullptr;
  for (NetworkLocateEntry& e : r.locate) {
    if (e.network == network)
      return e.retries < kLocateRetries ? 0 : -1;
    if (e.network == 0 && !free_entry)
      free_entry = &e;
  }
  if (!free_entry) {
    if (r.locate.size() >= kLocateListSize)
      return -1;
    free_entry = &r.locate.emplace_back();
  }
  *free_entry = NetworkLocateEntry{network, 0, os_monotonic_ms()};
  return 0;
}

int network_send_message(const NetworkPort& port, const BACnetAddress& destination, uint8_t message_type,
                         std::span<const uint8_t> data, const BACnetAddress* dnet, const BACnetAddress* snet)
{
  if (!port.send)
    return -1;
  NpduHeader h;
  h.network_message = 1;
  h.message_type = message_type;
  if (dnet) {
    h.dnet_present = 1;
    h.dnet = dnet->network;
    h.dlen = dnet->network == kGlobalBroadcastNetwork ? 0 : dnet->mac_len;
    std::memcpy(h.dadr, dnet->mac, h.dlen);
    h.hop_count = kHopCountStart;
  }
  if (snet)
    set_source(h, *snet);
  return network_send_npdu(port, destination, h, data);
}

void network_send_WhoIsRouterToNetwork(uint32_t network)
{
  int state = network_communication_state();
  if (state == 1 || state == 2)
    return;
  std::vector<uint8_t> data;
  put16(data, network);
  send_on_every_port(kWhoIsRouterToNetwork, data, nullptr);
}

int network_send_RejectMessageToNetwork(const NetworkPort& port, const BACnetAddress& to, uint8_t reason,
                                        uint32_t dnet, const NpduHeader& rejected)
{
  std::vector<uint8_t> data{reason};
  put16(data, dnet);
  if (!rejected.snet_present)
    return network_send_message(port, to, kRejectMessageToNetwork, data);
  BACnetAddress origin;
  origin.network = rejected.snet;
  origin.mac_len = rejected.slen;
  std::memcpy(origin.mac, rejected.sadr, sizeof origin.mac);
  return network_send_message(port, to, kRejectMessageToNetwork, data, &origin);
}

void network_send_RouterBusyToNetwork()
{
  int calm = kCalm;
  r.congestion.compare_exchange_strong(calm, kBusyAsked);
}

void network_send_pending_busy()
{
  int asked = kBusyAsked;
  if (r.congestion.compare_exchange_strong(asked, kBusySent))
    send_on_every_port(kRouterBusyToNetwork, {}, &kGlobalDnet);
}

void network_reset_congestion()
{
  int sent = kBusySent;
  if (!r.congestion.compare_exchange_strong(sent, kCalm))
    return;
  trace("Network Layer Reset Congestion Control");
  send_on_every_port(kRouterAvailableToNetwork, {}, &kGlobalDnet);
}

int network_send_EstablishConnectionToNetwork(const BACnetAddress& router, uint32_t network,
                                              uint8_t termination_time)
{
  std::vector<uint8_t> data;
  put16(data, network);
  data.push_back(termination_time);
  return network_unit_data_request(router, data, 0, false, kEstablishConnectionToNetwork);
}

int network_send_DisconnectConnectionToNetwork(const BACnetAddress& router, uint32_t network)
{
  for (std::size_t i = 0; i < network_port_count(); ++i) {
    NetworkPort* p = network_port_at(i);
    if (p->address.network == network)
      continue;
    auto route = std::find_if(p->routes.begin(), p->routes.end(),
                              [&](const NetworkRoute& x) { return x.network == network && x.status > 0; });
    if (route != p->routes.end()) {
      route->status = 0;
      break;
    }
  }
  std::vector<uint8_t> data;
  put16(data, network);
  return network_unit_data_request(router, data, 0, false, kDisconnectConnectionToNetwork);
}

void network_handle_message(const BACnetAddress& source, const NpduHeader& header)
{
  trace("network_handle_message");
  NetworkPort* port = network_port_by_network(source.network);
  if (!port || source == port->address)
    return;
  switch (header.message_type) {
  case kIAmRouterToNetwork:
    network_handle_IamRouterToNetwork(source, header);
    break;
  case kICouldBeRouterToNetwork:
    network_handle_IcouldRouterToNetwork(source, header);
    break;
  case kRejectMessageToNetwork:
    network_handle_RejectMessageToNetwork(source, header);
    break;
  case kRouterBusyToNetwork:
  case kRouterAvailableToNetwork:
    network_handle_RouterAvailableBusyToNetwork(source, header);
    break;
  case kInitializeRoutingTableAck:
    network_handle_InitializingRoutingTableAck(source, header);
    break;
  case kWhoIsRouterToNetwork:  // we route for nobody
  case kInitializeRoutingTable:
  case kEstablishConnectionToNetwork:
  case kDisconnectConnectionToNetwork:
    break;
  default:
    network_send_RejectMessageToNetwork(*port, source, kNetworkRejectUnknownMessage, header.dnet, header);
    break;
  }
}

void network_handle_IamRouterToNetwork(const BACnetAddress& source, const NpduHeader& header)
{
  trace("network_handle_IamRouterToNetwork");
  NetworkPort* port = network_port_by_network(source.network);
  if (!port || source == port->address)
    return;
  for (std::size_t i = 0; i < network_port_count(); ++i)
    network_add_routes(source, uint8_t(i), message_data(header), 1, true);
}

void network_handle_IcouldRouterToNetwork(const BACnetAddress& source, const NpduHeader& header)
{
  trace("network_handle_IcouldRouterToNetwork");
  NetworkPort* port = network_port_by_network(source.network);
  std::span<const uint8_t> data = message_data(header);
  if (!port || source == port->address || data.size() < 2)
    return;
  // The network, then the router's performance index, which we do not weigh.
  for (std::size_t i = 0; i < network_port_count(); ++i)
    network_add_routes(source, uint8_t(i), data.first(2), 0, true);
}

void network_handle_RejectMessageToNetwork(const BACnetAddress& source, const NpduHeader& header)
{
  trace("network_handle_RejectMessageToNetwork");
  std::span<const uint8_t> data = message_data(header);
  NetworkPort* port = network_port_by_network(source.network);
  if (data.size() != 3 || !port)
    return;
  uint8_t reason = data[0];
  uint32_t dnet = get16(data.data() + 1);
  if (reason == 1 || reason == 2)
    hold_route(*port, dnet);
  // A reject for every network goes on to the networks of our other ports.
  network_handle_remote_traffic(source, header);
}

void network_handle_RouterAvailableBusyToNetwork(const BACnetAddress& source, const NpduHeader& header)
{
  trace("network_handle_RouterAvailableBusyToNetwork");
  NetworkPort* port = network_port_by_network(source.network);
  if (!port)
    return;
  bool busy = header.message_type == kRouterBusyToNetwork;
  auto mark = [&](NetworkRoute& route) {
    if (busy)
      hold_route(route);
    else
      release_route(route);
  };
  std::span<const uint8_t> list = message_data(header);
  if (list.size() >= 2) {
    for (std::size_t i = 0; i + 1 < list.size(); i += 2)
      for (NetworkRoute& route : port->routes)
        if (route.network && route.network == get16(list.data() + i))
          mark(route);
    return;
  }
  for (NetworkRoute& route : port->routes)
    if (route.network && same_mac(route.router, source))
      mark(route);
}

void network_handle_InitializingRoutingTableAck(const BACnetAddress&, const NpduHeader&)
{
  trace("network_handle_InitializingRoutingTableAck");
}

void network_handle_remote_traffic(const BACnetAddress& source, const NpduHeader& header)
{
  trace("network_handle_remote_traffic");
  NetworkPort* in = network_port_by_network(source.network);
  // We route for nobody: only what is for every network travels on. An NPDU for one other
  // network was dropped on receipt, and one for our own network stays here.
  if (!in || source == in->address || !header.dnet_present || header.dnet != kGlobalBroadcastNetwork ||
      header.hop_count == 0)
    return;
  // The NPDU passed on names its original source: added when it had none.
  NpduHeader h = header;
  if (!h.snet_present)
    set_source(h, source);
  h.hop_count = uint8_t(header.hop_count - 1);
  for (std::size_t i = 0; i < network_port_count(); ++i)
    if (NetworkPort* out = network_port_at(i); out != in)
      network_send_npdu(*out, link_broadcast(), h, message_data(header));
}

int network_establish_connection(const NetworkRoute& route)
{
  NetworkConnection& c = r.connection;
  network_send_EstablishConnectionToNetwork(route.router, route.network, c.termination_time);
  c.network = route.network;
  c.router = route.router;
  c.countdown = c.idle_time;
  c.active = true;
  return 0;
}

void network_touch_connection(uint32_t network)
{
  NetworkConnection& c = r.connection;
  if (c.active && c.network == network)
    c.countdown = c.idle_time;
}

void network_connection_timer()
{
  int64_t second = os_monotonic_ms() / 1000;
  if (second == r.last_second)
    return;
  bool first = r.last_second < 0;
  r.last_second = second;
  NetworkConnection& c = r.connection;
  if (first || !c.active || c.countdown == 0)
    return;
  if (--c.countdown == 0) {
    network_send_DisconnectConnectionToNetwork(c.router, c.network);
    c.active = false;
  }
}

void network_locate_timer()
{
  int64_t now = os_monotonic_ms();
  for (NetworkLocateEntry& e : r.locate) {
    if (e.network == 0)
      continue;
    int64_t wait = int64_t(kLocateSteps[std::min<std::size_t>(e.retries, kLocateStepCount - 1)]) * kLocateStepMs;
    if (now - e.stamp_ms < wait)
      continue;
    // Asked often enough: refused until one more step has passed, then forgotten, so that
    // networks nobody serves do not fill the list for good.
    if (e.retries >= kLocateRetries) {
      e = NetworkLocateEntry{};
      continue;
    }
    network_send_WhoIsRouterToNetwork(e.network);
    ++e.retries;
    e.stamp_ms = now;
  }
}

void network_busy_timer()
{
  int64_t now = os_monotonic_ms();
  for (std::size_t i = 0; i < network_port_count(); ++i)
    for (NetworkRoute& route : network_port_at(i)->routes)
      if (route.busy && now - route.busy_since_ms >= kRouteBusyHoldMs)
        release_route(route);
}

void network_routes_reset()
{
  r.locate.clear();
  r.connection = NetworkConnection{};
  r.last_second = -1;
  r.congestion = kCalm;
}

bool network_locate_entry(uint32_t network, NetworkLocateEntry* entry)
{
  for (const NetworkLocateEntry& e : r.locate)
    if (network && e.network == network) {
      if (entry)
        *entry = e;
      return true;
    }
  return false;
}

NetworkConnection network_connection() { return r.connection; }

void network_set_connection_idle_time(uint32_t seconds) { r.connection.idle_time = seconds; }
