// The application layer: the ring of outgoing requests that any thread may fill, the tables
// of client and server transactions, and the dispatch of every received APDU by PDU type to
// the transactions or to the service handlers. Owns the device's APDU timeout, segment
// timeout and retry count.
// The stack thread runs everything but application_layer_send_request (any thread, under the
// process lock). Must not leave a confirmed request without an end: each one queued here
// ends through its completion callback.
#pragma once

#include "bacnet/application/apdu.h"
#include "bacnet/application/client_tsm.h"
#include "bacnet/application/server_tsm.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/network/bacnet_address.h"
#include "bacnet/network/npdu.h"

#include <cstdint>
#include <span>

inline constexpr std::size_t kApduRequestRingSize = 256;
inline constexpr std::size_t kTransactionTableSize = 128;
// The option byte of the driver context that switches on the application layer's trace.
inline constexpr int kApplicationTraceOption = 0;

// The service handlers' entry for a received unconfirmed request; `routed_source` (SNET/SADR/
// SLEN of the NPDU) is valid when `snet_present`.
using UnconfirmedRequestCallback = int (*)(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source,
                                           const ServiceRequest& request);
using ApplicationLockFunction = void (*)(const char* file, int line);
// The client layer's communication state: 0 enabled, 1 disabled, 2 initiation disabled.
using CommunicationStateFunction = int (*)();

// Start-up, after the datalinks registered their ports: stores the callbacks (each may be
// null), clamps the timeouts into 3000..30000 ms and the retries into 0..10, initialises both
// transaction modules and the network layer.
void application_layer_init(ServerRequestCallback server_request, UnconfirmedRequestCallback unconfirmed,
                            const DriverContext* context, ClientCompletionCallback completion,
                            ApplicationLockFunction lock, ApplicationLockFunction unlock, int32_t segment_timeout,
                            int32_t apdu_timeout, int32_t retries);
// Shut-down: ends every queued confirmed request and every client transaction through its
// completion callback (success 0), drops the server transactions and destroys the network
// layer. Later requests are refused until the next init.
void application_layer_destroy();

// Queues a request for the stack thread; any thread. 0, or -1 when 256 are queued or the
// layer is not running (no callback follows a refusal).
int application_layer_send_request(int port_index, ClientRequestCallback callback, void* user_data,
                                   const ApduRequest& request);
// The stack thread's step: queued requests, the network layer's received NPDUs, the timers.
void application_layer_periodic();

// The network layer's upper-layer callback: dispatches one received APDU by PDU type.
int application_layer_receive_apdu(uint8_t port_index, const BACnetAddress& source, const BACnetAddress& destination,
                                   const NpduHeader& header);
int application_layer_confirmed_indication(uint8_t port_index, const BACnetAddress& source,
                                           const BACnetAddress& destination, const NpduHeader& header,
                                           std::span<const uint8_t> apdu);
int application_layer_unconfirmed_indication(uint8_t port_index, const BACnetAddress& source,
                                             const NpduHeader& header, std::span<const uint8_t> apdu);

// {0x10, service choice, data}, sent on `port_index` (-1: every port). 0 or -1.
int application_layer_send_unconfirmed(std::span<const uint8_t> data, int port_index, const BACnetAddress& destination,
                                       uint8_t service_choice, bool global_broadcast);
// {0x60, invoke id, reason} back to the sender of a request.
int application_layer_send_reject(int port_index, const BACnetAddress& datalink_source, bool snet_present,
                                  const BACnetAddress& request_source, uint8_t invoke_id, uint8_t reason);

int32_t application_layer_get_apdu_timeout();
// 0, or -1 (unchanged) outside 3000..30000.
int application_layer_set_apdu_timeout(int32_t milliseconds);
int32_t application_layer_get_segment_timeout();
int32_t application_layer_get_apdu_retries();
// 0, or -1 (unchanged) outside 0..10.
int application_layer_set_apdu_retries(int32_t retries);

// Installs the client layer's communication state (for the network layer too); null: always
// enabled.
void application_layer_set_communication_state_function(CommunicationStateFunction function);
// Installs what the client layer queues at the start of every step, before the ring is
// drained: the requests that waited for room (a free transaction, a port's send queue). Null:
// nothing waits.
using RoomFunction = void (*)();
void application_layer_set_room_function(RoomFunction function);

// The transaction tables, kept sorted: client transactions in use first, then by peer
// network, MAC, MAC length and invoke id; server transactions likewise by requester.
ClientTransaction* application_layer_find_client(const BACnetAddress& peer, uint8_t invoke_id);
ServerTransaction* application_layer_find_server(const BACnetAddress& source, uint8_t invoke_id);
std::size_t application_layer_client_count();  // entries in use
std::size_t application_layer_server_count();
std::size_t application_layer_queued_requests();
