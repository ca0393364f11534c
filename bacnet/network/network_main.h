// The network layer: the table of registered ports with their route lists, the receive ring
// that every port thread fills, NPDU header handling between the datalinks and the
// application layer, and the sends of APDUs down to a port.
// Runs on the stack thread (network_poll and every send); only network_receive is called by
// the port threads. The stack is no router: NPDUs for other networks are dropped. What it does
// know of routers (network messages, learnt routes, locating) lives in network_routes.
#pragma once

#include "bacnet/foundation/driver.h"
#include "bacnet/network/bacnet_address.h"
#include "bacnet/network/npdu.h"

#include <cstdint>
#include <span>
#include <vector>

struct DatalinkPort;

inline constexpr std::size_t kNetworkMaxPorts = 256;
// The option byte of the driver context that switches on the network layer's trace.
inline constexpr int kNetworkTraceOption = 1;

// The send function of a datalink: wraps the NPDU in the link's frame and queues it for the
// port thread. 0 queued, -1 refused.
using NetworkSendFunction = int (*)(DatalinkPort* port, const BACnetAddress& source,
                                    const BACnetAddress& destination, std::span<const uint8_t> npdu,
                                    uint8_t expecting_reply, uint8_t priority);
// 2 while the link is up; a port without one is always up.
using NetworkLinkStateFunction = int (*)(DatalinkPort* port);
inline constexpr int kNetworkLinkUp = 2;
// Frames waiting in the port's send queue; a port without one reports none.
using NetworkQueuedFunction = std::size_t (*)(DatalinkPort* port);

struct NetworkRoute {
  uint8_t port_index = 0;
  uint32_t network = 0;  // 0: free entry
  BACnetAddress router{};  // all zero for a network reached directly through another local port
  uint32_t status = 0;     // 1 available, 0 busy or not connected
  // Learnt from I-Could-Be-Router-To-Network: with status 0 its router is asked to connect.
  bool dial_up = false;
  // Status 0 because the router said it is busy (or rejected): it lasts a hold time at most,
  // and its end gives the route back the status it had before.
  bool busy = false;
  int64_t busy_since_ms = 0;
  uint32_t status_before_busy = 0;
};

// The network part of a datalink port, copied into the layer's table at registration.
struct NetworkPort {
  DatalinkPort* handle = nullptr;
  uint8_t index = 0;
  BACnetAddress address{};  // the port's own address; its network number is the port's network
  std::vector<NetworkRoute> routes;
  NetworkSendFunction send = nullptr;
  uint8_t max_apdu_code = 0;
  NetworkLinkStateFunction link_state = nullptr;
  NetworkQueuedFunction queued = nullptr;
};

// Max-APDU codes 0..5 and their lengths.
uint32_t datalink_max_apdu_length(uint8_t code);
uint8_t datalink_max_apdu_code(uint32_t length);

// Receives every APDU (and nothing else) on the stack thread, without the lock held. The
// header's apdu pointer is valid only during the call.
using NetworkApduCallback = int (*)(uint8_t port_index, const BACnetAddress& source,
                                    const BACnetAddress& destination, const NpduHeader& header);
using NetworkLockFunction = void (*)(const char* file, int line);
// The client layer's communication state: 1 while communication is disabled.
using NetworkCommunicationStateFunction = int (*)();

// Called once after the datalinks registered their ports (by the application layer's init).
void network_init(NetworkApduCallback upper, const DriverContext* context, NetworkLockFunction lock,
                  NetworkLockFunction unlock);
// Frees what the receive ring still holds and forgets every port and route.
void network_destroy();

// Registers a port: copies the record and writes its index back. -1 with 256 ports registered.
int network_init_port(NetworkPort* port);
int network_get_port(int index, BACnetAddress* address);
int network_find_port(uint32_t network, NetworkPort* port);

// The datalinks' entry for every received NPDU; any thread. 0 queued, -1 refused (length
// outside 1..2056 or the ring full).
int network_receive(const BACnetAddress& source, const BACnetAddress& destination, std::span<const uint8_t> npdu,
                    uint8_t expecting_reply, uint8_t priority);

// Sends one encoded NPDU on a port; a destination equal to the port's own address is looped
// back into network_receive.
int network_send(const NetworkPort& port, const BACnetAddress& source, const BACnetAddress& destination,
                 std::span<const uint8_t> npdu, uint8_t expecting_reply, uint8_t priority);

// Sends an APDU (message_type -1) or a network message to a destination; the destination's
// network picks the port (0 and 65535 mean the first port). 0 sent or handed on, -1 refused.
int network_unit_data_request(const BACnetAddress& destination, std::span<const uint8_t> apdu,
                              uint8_t expecting_reply, bool global_broadcast, int message_type);
// Unconfirmed requests: port_index -1 sends a broadcast (network 0 or 65535) once on every
// port, and a request to one address or one network once, on the port its network or route
// belongs to. Refused while the communication state is 1.
int network_unit_data_request_port(int port_index, const BACnetAddress& destination, std::span<const uint8_t> apdu,
                                   bool global_broadcast);
// Answers a received request on the port it came from. `request_source` carries the request's
// SNET/SADR/SLEN (as network, mac, mac_len) when `snet_present`. `own` null: the port's own
// address is the source.
int network_send_on_port(int port_index, const BACnetAddress* own, const BACnetAddress& datalink_source,
                         bool snet_present, const BACnetAddress& request_source, std::span<const uint8_t> apdu,
                         uint8_t priority);

// The stack thread's step: second-driven timers, then every received NPDU.
void network_poll();
// Decodes and delivers one entry of the receive ring.
void network_handle_packet(const BACnetAddress& source, const BACnetAddress& destination,
                           std::span<const uint8_t> npdu);

// Installs the client layer's communication state; null: always enabled.
void network_set_communication_state_function(NetworkCommunicationStateFunction function);

// For the router side (stack thread only).
// The client layer's communication state (0 without a function installed).
int network_communication_state();
std::size_t network_port_count();
// Frames waiting in the send queue of the port at `index` (0 for a port that does not say).
std::size_t network_port_queued(int index);
NetworkPort* network_port_at(std::size_t index);
// The registered port on `network`, or null.
NetworkPort* network_port_by_network(uint32_t network);
// Encodes the NPDU and sends it on `port` from the port's own address to `target`; -1 when it
// does not encode or is not sent.
int network_send_npdu(const NetworkPort& port, const BACnetAddress& target, const NpduHeader& header,
                      std::span<const uint8_t> data);
DriverLogFunction network_log_function();
