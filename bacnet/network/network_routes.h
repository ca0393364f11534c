// The router side of the network layer: the route list of every registered port, received
// network-layer messages, the messages the layer sends on its own (Who-Is-Router to locate
// unknown networks, Router-Busy/Available around a full receive ring, Reject-Message-To-Network,
// Establish/Disconnect-Connection), the locate list and the one dial-up connection record. The
// stack routes for nobody, so it announces no route: only a Reject-Message-To-Network for every
// network is passed on.
// Stack thread only, except network_send_RouterBusyToNetwork, which a port thread calls: it
// only marks the congestion, the stack thread's next poll sends the message. Timers run on the
// monotonic clock (os_monotonic_ms), so tests drive them with ManualClock.
#pragma once

#include "bacnet/network/network_main.h"

#include <cstdint>
#include <span>

// Network-layer message types and the reject reasons this layer sends.
enum NetworkMessageType : uint8_t {
  kWhoIsRouterToNetwork = 0,
  kIAmRouterToNetwork = 1,
  kICouldBeRouterToNetwork = 2,
  kRejectMessageToNetwork = 3,
  kRouterBusyToNetwork = 4,
  kRouterAvailableToNetwork = 5,
  kInitializeRoutingTable = 6,
  kInitializeRoutingTableAck = 7,
  kEstablishConnectionToNetwork = 8,
  kDisconnectConnectionToNetwork = 9,
};
enum NetworkRejectReason : uint8_t {
  kNetworkRejectUnknownMessage = 3,
};

inline constexpr std::size_t kLocateListSize = 128;
// A network is asked for this many times; then locating it is refused.
inline constexpr uint32_t kLocateRetries = 25;
// How long a route stays down after its router said it is busy, unless the router says it is
// available again sooner (what routers themselves wait).
inline constexpr int64_t kRouteBusyHoldMs = 30000;

// The port that reaches the learnt router of `route`; null for a direct route.
NetworkPort* network_route_port(const NetworkRoute& route);
// Enters (or, with `create` false, only updates) the route to `network` in the route list of
// port `port_index`. -1 for the port's own network, an unknown port, or a learnt route (router
// given) to a network that one of our own ports serves directly.
int network_add_route(uint8_t port_index, uint32_t network, const BACnetAddress* router, uint32_t status,
                      bool create);
// Every 2-octet network of `list` gets a route through `router` on port `port_index` and
// leaves the locate list.
void network_add_routes(const BACnetAddress& router, uint8_t port_index, std::span<const uint8_t> list,
                        uint32_t status, bool create);
// `network` is reachable through `router` (status 1) on every port whose own address differs
// from it, and leaves the locate list.
void network_add_network(const BACnetAddress& router, uint32_t network);
// Starts locating an unknown network. 0 located or being located (the APDU is not sent), -1
// refused: network 0, a network asked for 25 times already (until its entry is freed, one
// back-off step after the last request), or a full list.
int network_add_locate_network(uint32_t network);

// Builds a network-layer message and sends it on `port` from the port's own address to
// `destination` (network 65535: a broadcast on that link). `dnet` adds DNET/DADR with hop
// count 255, `snet` adds SNET/SADR. -1 when the port has no send function.
int network_send_message(const NetworkPort& port, const BACnetAddress& destination, uint8_t message_type,
                         std::span<const uint8_t> data, const BACnetAddress* dnet = nullptr,
                         const BACnetAddress* snet = nullptr);
void network_send_WhoIsRouterToNetwork(uint32_t network);
// To the datalink source `to` of the rejected NPDU on `port`; through its router (DNET =
// SNET) when the rejected NPDU came from another network.
int network_send_RejectMessageToNetwork(const NetworkPort& port, const BACnetAddress& to, uint8_t reason,
                                        uint32_t dnet, const NpduHeader& rejected);
// The receive ring overflowed: marks the congestion once; any thread.
void network_send_RouterBusyToNetwork();
int network_send_EstablishConnectionToNetwork(const BACnetAddress& router, uint32_t network,
                                              uint8_t termination_time);
int network_send_DisconnectConnectionToNetwork(const BACnetAddress& router, uint32_t network);

// A received network-layer message (the header says which); `source` is the datalink source.
void network_handle_message(const BACnetAddress& source, const NpduHeader& header);
// Passes a received Reject-Message-To-Network for every network (DNET 65535) on to the networks
// of the other ports, with one hop less; anything else goes no further.
void network_handle_remote_traffic(const BACnetAddress& source, const NpduHeader& header);
void network_handle_IamRouterToNetwork(const BACnetAddress& source, const NpduHeader& header);
void network_handle_IcouldRouterToNetwork(const BACnetAddress& source, const NpduHeader& header);
void network_handle_RejectMessageToNetwork(const BACnetAddress& source, const NpduHeader& header);
void network_handle_RouterAvailableBusyToNetwork(const BACnetAddress& source, const NpduHeader& header);
void network_handle_InitializingRoutingTableAck(const BACnetAddress& source, const NpduHeader& header);

// A route with status 0 was chosen: sets up the connection; the APDU itself is not sent.
int network_establish_connection(const NetworkRoute& route);
// A route with status 1 was used: restarts the idle countdown of an active connection to it.
void network_touch_connection(uint32_t network);
// Every poll: at each new second, the idle countdown of the connection record.
void network_connection_timer();
// Every poll: the locate timer of each network being located; frees spent entries.
void network_locate_timer();
// Every poll: busy routes whose hold time is over get back the status they had before.
void network_busy_timer();
// Start of every poll: the Router-Busy that a full ring asked for.
void network_send_pending_busy();
// End of every poll: Router-Available after a Router-Busy.
void network_reset_congestion();
// Forgets the locate list, the connection record and the congestion (init and destroy).
void network_routes_reset();

// For tests: the locate entry of `network` (false when absent) and the connection record.
struct NetworkLocateEntry {
  uint32_t network = 0;  // 0: free entry
  uint32_t retries = 0;
  int64_t stamp_ms = 0;
};
bool network_locate_entry(uint32_t network, NetworkLocateEntry* entry);
struct NetworkConnection {
  BACnetAddress router{};
  uint32_t network = 0;
  uint8_t termination_time = 0;
  uint32_t idle_time = 0;
  bool active = false;
  uint32_t countdown = 0;
};
NetworkConnection network_connection();
// Sets the idle time (seconds) that an established connection may stay unused; 0 never ends it.
void network_set_connection_idle_time(uint32_t seconds);
