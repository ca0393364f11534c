// The API server port (link type 5, BACNETAPI): a TCP listener run as a datalink port of the
// port manager, a thread per accepted connection, the table of connections (at most 129) and
// the reaper that removes silent and closed ones, and the broadcasts through which the stack
// reaches every subscribed client. The port thread accepts and reaps; each connection thread
// reads frames and is its socket's only writer (its out-queue and its text answers);
// broadcasts come from any thread. Must not: free a connection while its slot is still in
// the table, or hold the lock across a socket call.
#pragma once

#include "backend/api/api_client.h"
#include "bacnet/application/server_tsm.h"
#include "bacnet/cache/cache.h"
#include "bacnet/datalink/datalink_port.h"
#include "bacnet/value/value_types.h"

#include <cstddef>
#include <cstdint>

// The option byte of the driver context that switches on the server's trace (level 11).
inline constexpr int kApiTraceOption = 11;
inline constexpr int kApiLogLevel = 11;
inline constexpr uint16_t kApiDefaultPort = 5003;
inline constexpr int kApiDefaultMaxUsers = 10;
// MAXUSERS above this is refused like a table that cannot be allocated.
inline constexpr int kApiMaxUsersLimit = 100000;
inline constexpr std::size_t kApiClientSlots = 129;
inline constexpr int kApiListenBacklog = 3;
// Seconds without header octets after which a connection may be reaped; seconds a client
// in state 1 is kept after its last request.
inline constexpr int64_t kApiSilenceSeconds = 30;
inline constexpr int64_t kApiKeptSeconds = 120;
inline constexpr int64_t kApiReapIntervalMs = 100;

// The state block of an API port.
struct ApiPortData : DatalinkLinkData {
  uint16_t tcp_port = kApiDefaultPort;
  uint32_t bind_address = 0;  // host order; 0 any local address
  int listen_socket = -1;
  // The user slots sized by MAXUSERS (three words each); nothing reads them.
  std::vector<uint32_t> user_slots;
};

// ---- The port manager's row for link type 5 -------------------------------------------------
// Installs the row (open, run, close, trace) in the port manager. Before datalink_load_ports.
void api_install_link_type();
// Keeps the trace when option byte 11 is set and resets the codec.
void api_set_log_callback(const DriverContext& context);
int api_open(DatalinkPort* port);
uint32_t api_run(DatalinkPort* port);
void api_close(DatalinkPort* port);

int api_read_config(DatalinkPort* port);
int api_open_socket(DatalinkPort* port);
// The TCP port the listener is bound to (useful with PORT=0), 0 when none.
uint16_t api_listening_port(const DatalinkPort* port);

// ---- Connections ----------------------------------------------------------------------------
// A record and a thread for an accepted socket. 0, or -1 (the caller closes the socket).
int api_start_client(int socket);
// A record in the first free slot (the table grows while it has fewer than 129). Null for an
// invalid socket, a full table or no memory.
ApiClient* api_add_client_connection(int socket);
// Stops the connection's thread and frees what the record holds; the caller frees the record.
void BACnetAPI_DestroyClient(ApiClient* client);
void api_destroy_all_clients();
// Removes the connections whose time is up (port thread); also gives up forwarded requests
// whose answers are overdue.
void api_reap_clients();
// The caller holds the lock. The connection with that serial, or null when it is gone.
ApiClient* api_client_by_serial(uint64_t serial);
std::size_t api_client_count();
// On the connection thread: writes the message as one frame now, past the out-queue, waiting
// for room on the socket while the connection runs. Takes the message (the buffer is
// emptied). 0, or -1 when it could not go out whole.
int api_client_send_now(ApiClient* client, pdu_buffer* message);
// The connection thread's body (exposed for tests that drive a record on a socket pair).
void api_client_thread(ApiClient* client);

// ---- Broadcasts: each event to every connection that subscribed to it ------------------------
// Those of a handle's state (703, 705) are called with the lock held, by the hold in which the
// object API or the cache found the handle: no event of a handle follows the handle's end.
void api_broadcast_log_event(int level, const char* text);
void api_broadcast_pdu_event(const ServiceRequest& request);
void api_broadcast_object_value_event(uint32_t client_id, uint32_t handle, uint32_t owner, uint32_t object_type,
                                      uint32_t instance, const BACnetValue* value, uint32_t priority);
void api_broadcast_object_event(uint32_t client_id, uint32_t handle, uint32_t owner, uint32_t object_type,
                                uint32_t instance);
void api_broadcast_cache_event(const CacheReference* reference, const BACnetValue* value, int error,
                               uint32_t client_id, uint32_t handle);
// A cache handle or an object's value registration goes: no connection is owed its state any
// longer. Called with the lock held, by the hold that ends the handle.
void api_cache_handle_gone(uint32_t client_id, uint32_t handle);
void api_object_handle_gone(uint32_t client_id, uint32_t handle);
