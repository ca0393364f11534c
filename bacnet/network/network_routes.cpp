// Until the router side is built, the stack keeps only the routes between its own ports and
// answers no network-layer message: what cannot be reached directly is refused.
#include "bacnet/network/network_routes.h"

int network_add_route(uint8_t port_index, uint32_t network, const BACnetAddress* router, uint32_t status,
                      bool create)
{
  NetworkPort* port = network_port_at(port_index);
  if (!port || network == 0 || port->address.network == network)
    return -1;
  NetworkRoute* free_entry = nullptr;
  for (NetworkRoute& r : port->routes) {
    if (r.network == network) {
      if (router)
        r.router = *router;
      r.status = status;
      return 0;
    }
    if (r.network == 0 && !free_entry)
      free_entry = &r;
  }
  if (!create)
    return 0;
  NetworkRoute route;
  route.port_index = port_index;
  route.network = network;
  if (router)
    route.router = *router;
  route.status = status;
  if (free_entry)
    *free_entry = route;
  else
    port->routes.push_back(route);
  return 0;
}

int network_send_IamRouterToNetwork(uint8_t) { return 0; }
void network_handle_message(const BACnetAddress&, const NpduHeader&) {}
int network_add_locate_network(uint32_t) { return -1; }
int network_establish_connection(const NetworkRoute&) { return 0; }
void network_touch_connection(uint32_t) {}
void network_connection_second() {}
void network_locate_timer() {}
void network_send_RouterBusyToNetwork() {}
void network_reset_congestion() {}
