// The router side of the network layer: route lists of the registered ports, received
// network-layer messages, the messages the layer sends on its own (I-Am-Router at start-up,
// Router-Busy/Available around a full receive ring, locating unknown networks) and the one
// dial-up connection record. network_main calls these at the points where they act.
// Stack thread only, except network_send_RouterBusyToNetwork (called from a port thread, lock
// not held). It must not take over forwarding: the stack is no general router.
#pragma once

#include "bacnet/network/network_main.h"

#include <cstdint>

// Enters (or, with `create` false, only updates) the route to `network` in the route list of
// port `port_index`. -1 for the port's own network or an unknown port.
int network_add_route(uint8_t port_index, uint32_t network, const BACnetAddress* router, uint32_t status,
                      bool create);

// Announces the networks reachable through this port (start-up, ports that are always up).
int network_send_IamRouterToNetwork(uint8_t port_index);
// A received network-layer message (the header says which); `source` is the datalink source.
void network_handle_message(const BACnetAddress& source, const NpduHeader& header);
// Starts locating an unknown network. 0 located or being located (the APDU is not sent),
// -1 refused.
int network_add_locate_network(uint32_t network);
// A route with status 0 was chosen: sets up the connection; the APDU itself is not sent.
int network_establish_connection(const NetworkRoute& route);
// A route with status 1 was used: restarts the idle countdown of an active connection to it.
void network_touch_connection(uint32_t network);
// Once a second: the idle countdown of the connection record.
void network_connection_second();
// Every poll: the locate timer of each network being located.
void network_locate_timer();
// The receive ring overflowed; sent at most once until network_reset_congestion.
void network_send_RouterBusyToNetwork();
// End of every poll: Router-Available after a Router-Busy.
void network_reset_congestion();
