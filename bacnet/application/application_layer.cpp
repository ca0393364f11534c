#include "bacnet/application/application_layer.h"

#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/ring.h"
#include "bacnet/foundation/stack_wake.h"
#include "bacnet/network/network_main.h"
#include "bacnet/network/network_routes.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t kTimeoutMin = 3000;
constexpr int32_t kTimeoutMax = 30000;
constexpr int32_t kRetriesMax = 10;
constexpr int kCommunicationDisabled = 1;
constexpr int kInitiationDisabled = 2;

struct QueuedRequest {
  int port_index = -1;
  ClientRequestCallback callback = nullptr;
  void* user_data = nullptr;
  BACnetAddress destination{};
  uint32_t kind = kRequestConfirmed;
  uint8_t service_choice = 0;
  uint8_t max_apdu_code = 0;
  uint8_t invoke_id = 0;
  std::vector<uint8_t> data;
};

struct ApplicationState {
  ServerRequestCallback server_request = nullptr;
  UnconfirmedRequestCallback unconfirmed = nullptr;
  DriverLogFunction log = nullptr;
  ApplicationLockFunction lock = driver_lock;
  ApplicationLockFunction unlock = driver_unlock;
  CommunicationStateFunction communication_state = nullptr;
  RoomFunction room = nullptr;
  // Guarded by the lock, like the ring: other threads ask it before they queue.
  bool running = false;
  Ring<QueuedRequest, kApduRequestRingSize> ring;
  // Written on the stack thread (a Device property write), read by blocking callers to
  // size their waits: atomic, so that a caller never reads a torn or stale value.
  std::atomic<int32_t> segment_timeout{kTimeoutMin};
  std::atomic<int32_t> apdu_timeout{kTimeoutMin};
  std::atomic<int32_t> retries{0};
  std::vector<ClientTransaction> clients;
  std::vector<ServerTransaction> servers;
};

ApplicationState g;

void trace(const char* text)
{
  if (g.log)
    g.log(kClientTsmLogLevel, text);
}

int communication_state() { return g.communication_state ? g.communication_state() : 0; }

// Addresses as transaction keys: MAC octets behind the MAC length carry no meaning.
BACnetAddress key_address(const BACnetAddress& a)
{
  BACnetAddress k = a;
  if (k.mac_len < sizeof k.mac)
    std::memset(k.mac + k.mac_len, 0, sizeof k.mac - k.mac_len);
  return k;
}

int compare_key(const BACnetAddress& a, uint8_t a_invoke, const BACnetAddress& b, uint8_t b_invoke)
{
  if (a.network != b.network)
    return a.network < b.network ? -1 : 1;
  if (int c = std::memcmp(a.mac, b.mac, sizeof a.mac))
    return c;
  if (a.mac_len != b.mac_len)
    return a.mac_len < b.mac_len ? -1 : 1;
  if (a_invoke != b_invoke)
    return a_invoke < b_invoke ? -1 : 1;
  return 0;
}

// In-use entries first, ordered by key; free entries are all equivalent behind them.
bool client_less(const ClientTransaction& a, const ClientTransaction& b)
{
  if (a.in_use != b.in_use)
    return a.in_use > b.in_use;
  return a.in_use && compare_key(a.destination, a.invoke_id, b.destination, b.invoke_id) < 0;
}

bool server_less(const ServerTransaction& a, const ServerTransaction& b)
{
  if (a.in_use != b.in_use)
    return a.in_use > b.in_use;
  return a.in_use && compare_key(a.source, a.request.invoke_id, b.source, b.request.invoke_id) < 0;
}

// Sorts a table and keeps at most one free entry at its end. A step puts few entries out of
// place, if any: only those move, each into its place among the ones before it (a sort would
// move every entry, and the entries are large).
template <typename T, typename Less>
void tidy(std::vector<T>& table, Less less)
{
  for (auto it = table.begin(); it != table.end(); ++it) {
    if (it == table.begin() || !less(*it, *(it - 1)))
      continue;
    const auto place = std::upper_bound(table.begin(), it, *it, less);
    T entry = std::move(*it);
    std::move_backward(place, it, it + 1);
    *place = std::move(entry);
  }
  auto first_free = std::find_if(table.begin(), table.end(), [](const T& t) { return !t.in_use; });
  if (first_free != table.end())
    table.erase(first_free + 1, table.end());
}

template <typename T, typename KeyOf>
T* find_in(std::vector<T>& table, const BACnetAddress& address, uint8_t invoke_id, KeyOf key_of)
{
  BACnetAddress key = key_address(address);
  auto in_use_end = std::partition_point(table.begin(), table.end(), [](const T& t) { return t.in_use != 0; });
  auto it = std::lower_bound(table.begin(), in_use_end, 0, [&](const T& t, int) {
    auto [addr, invoke] = key_of(t);
    return compare_key(addr, invoke, key, invoke_id) < 0;
  });
  if (it == in_use_end)
    return nullptr;
  auto [addr, invoke] = key_of(*it);
  return compare_key(addr, invoke, key, invoke_id) == 0 ? &*it : nullptr;
}

// A free entry of a table, or a new one while fewer than 128 exist; null when all are taken.
template <typename T>
T* free_entry(std::vector<T>& table)
{
  auto it = std::find_if(table.begin(), table.end(), [](const T& t) { return !t.in_use; });
  if (it != table.end())
    return &*it;
  if (table.size() >= kTransactionTableSize)
    return nullptr;
  return &table.emplace_back();
}

void fail_request(const QueuedRequest& r)
{
  if (r.callback)
    r.callback(r.user_data, 0, r.destination, ClientResult{});
}

// A confirmed request from the ring: its transaction, or its end through the callback.
void start_client_transaction(QueuedRequest& r)
{
  // The network layer sends network 0 on the first port; the answer names that port's network.
  if (r.destination.network == 0) {
    BACnetAddress first;
    if (network_get_port(0, &first) == 0)
      r.destination.network = first.network;
  }
  r.destination = key_address(r.destination);
  if (application_layer_find_client(r.destination, r.invoke_id)) {
    trace("Confirmed request dropped: its invoke id is busy");
    fail_request(r);
    return;
  }
  ClientTransaction* t = free_entry(g.clients);
  if (!t) {
    trace("Confirmed request dropped: all client transactions are taken");
    fail_request(r);
    return;
  }
  ApduRequest request;
  request.destination = r.destination;
  request.kind = r.kind;
  request.service_choice = r.service_choice;
  request.max_apdu_code = r.max_apdu_code;
  request.invoke_id = r.invoke_id;
  request.data = r.data;
  client_tsm_create(t, r.callback, r.user_data, request);
  tidy(g.clients, client_less);
}

BACnetAddress routed_source(const NpduHeader& header)
{
  BACnetAddress a{};
  if (header.snet_present) {
    a.network = header.snet;
    a.mac_len = std::min<uint8_t>(header.slen, sizeof a.mac);
    std::memcpy(a.mac, header.sadr, a.mac_len);
  }
  return a;
}

// Answers come from the device the request went to: its routed address when a router put
// one in, else the datalink source.
BACnetAddress peer_address(const BACnetAddress& source, const NpduHeader& header)
{
  return header.snet_present ? routed_source(header) : key_address(source);
}

int to_client(const BACnetAddress& peer, const ApduPdu& pdu)
{
  ClientTransaction* t = application_layer_find_client(peer, pdu.invoke_id);
  if (!t)
    return -1;
  if (client_tsm_execute_indication(t, pdu) != 0)
    tidy(g.clients, client_less);
  return 0;
}

int to_server(ServerTransaction* t, const ApduPdu& pdu)
{
  if (server_tsm_execute(t, &pdu) != 0)
    tidy(g.servers, server_less);
  return 0;
}

int receive_confirmed(uint8_t port, const BACnetAddress& source, const BACnetAddress& destination,
                      const NpduHeader& header, std::span<const uint8_t> apdu)
{
  return application_layer_confirmed_indication(port, source, destination, header, apdu);
}

int receive_unconfirmed(uint8_t port, const BACnetAddress& source, const BACnetAddress&, const NpduHeader& header,
                        std::span<const uint8_t> apdu)
{
  return application_layer_unconfirmed_indication(port, source, header, apdu);
}

int receive_answer(uint8_t, const BACnetAddress& source, const BACnetAddress&, const NpduHeader& header,
                   std::span<const uint8_t> apdu)
{
  ApduPdu pdu;
  if (apdu_decode(apdu, &pdu) != 0)
    return -1;
  // An Abort from a requester concerns the transaction that serves it.
  if (pdu.type == kApduAbort && !pdu.server)
    if (ServerTransaction* t = application_layer_find_server(source, pdu.invoke_id))
      return to_server(t, pdu);
  return to_client(peer_address(source, header), pdu);
}

int receive_segment_ack(uint8_t, const BACnetAddress& source, const BACnetAddress&, const NpduHeader& header,
                        std::span<const uint8_t> apdu)
{
  ApduPdu pdu;
  if (apdu_decode(apdu, &pdu) != 0)
    return -1;
  if (pdu.server)
    return to_client(peer_address(source, header), pdu);
  ServerTransaction* t = application_layer_find_server(source, pdu.invoke_id);
  return t ? to_server(t, pdu) : -1;
}

using ApduHandler = int (*)(uint8_t port, const BACnetAddress& source, const BACnetAddress& destination,
                            const NpduHeader& header, std::span<const uint8_t> apdu);
constexpr std::array<ApduHandler, 8> kHandlers = {
    receive_confirmed,    // Confirmed-Request
    receive_unconfirmed,  // Unconfirmed-Request
    receive_answer,       // SimpleACK
    receive_answer,       // ComplexACK
    receive_segment_ack,  // SegmentACK
    receive_answer,       // Error
    receive_answer,       // Reject
    receive_answer,       // Abort
};

int32_t clamp_timeout(int32_t ms) { return std::clamp(ms, kTimeoutMin, kTimeoutMax); }

void refresh_timing()
{
  client_tsm_set_timing(g.segment_timeout, g.apdu_timeout, g.retries);
  server_tsm_set_timing(g.segment_timeout, g.apdu_timeout, g.retries);
}

}  // namespace

void application_layer_init(ServerRequestCallback server_request, UnconfirmedRequestCallback unconfirmed,
                            const DriverContext* context, ClientCompletionCallback completion,
                            ApplicationLockFunction lock, ApplicationLockFunction unlock, int32_t segment_timeout,
                            int32_t apdu_timeout, int32_t retries)
{
  g.server_request = server_request;
  g.unconfirmed = unconfirmed;
  g.log = (context && context->options[kApplicationTraceOption]) ? context->log : nullptr;
  g.lock = lock ? lock : driver_lock;
  g.unlock = unlock ? unlock : driver_unlock;
  {
    RingLock held(g.lock, g.unlock);
    g.ring.clear();
    g.running = true;
  }
  g.segment_timeout = clamp_timeout(segment_timeout);
  g.apdu_timeout = clamp_timeout(apdu_timeout);
  g.retries = std::clamp(retries, 0, kRetriesMax);
  g.clients.clear();
  g.servers.clear();
  g.clients.reserve(kTransactionTableSize);
  g.servers.reserve(kTransactionTableSize);
  server_tsm_init(server_request, context, g.segment_timeout, g.apdu_timeout, g.retries);
  client_tsm_init(completion, context, g.segment_timeout, g.apdu_timeout, g.retries);
  network_init(application_layer_receive_apdu, context, g.lock, g.unlock);
}

void application_layer_destroy()
{
  std::vector<QueuedRequest> left;
  {
    RingLock held(g.lock, g.unlock);
    g.running = false;
    QueuedRequest r;
    while (g.ring.get(r))
      left.push_back(std::move(r));
  }
  for (const QueuedRequest& r : left)
    if (r.kind == kRequestConfirmed)
      fail_request(r);
  network_destroy();
  for (ClientTransaction& t : g.clients)
    client_tsm_destroy(&t);
  for (ServerTransaction& t : g.servers)
    server_tsm_destroy(&t);
  g.clients.clear();
  g.servers.clear();
}

int application_layer_send_request(int port_index, ClientRequestCallback callback, void* user_data,
                                   const ApduRequest& request)
{
  QueuedRequest r;
  r.port_index = port_index;
  r.callback = callback;
  r.user_data = user_data;
  r.destination = request.destination;
  r.kind = request.kind;
  r.service_choice = request.service_choice;
  r.max_apdu_code = request.max_apdu_code;
  r.invoke_id = request.invoke_id;
  r.data.assign(request.data.begin(), request.data.end());
  {
    RingLock held(g.lock, g.unlock);
    if (!g.running || !g.ring.put(std::move(r)))
      return -1;
  }
  stack_wake();
  return 0;
}

void application_layer_periodic()
{
  if (g.room)
    g.room();
  // Only what was queued before this step: a callback that queues again waits for the next.
  std::size_t waiting;
  {
    RingLock held(g.lock, g.unlock);
    waiting = g.ring.count();
  }
  for (; waiting > 0; --waiting) {
    QueuedRequest r;
    {
      RingLock held(g.lock, g.unlock);
      if (!g.ring.get(r))
        break;
    }
    if (r.kind == kRequestConfirmed)
      start_client_transaction(r);
    else
      application_layer_send_unconfirmed(r.data, r.port_index, r.destination, r.service_choice,
                                         r.destination.mac_len == 0);
  }

  network_poll();

  for (ClientTransaction& t : g.clients)
    client_tsm_execute_timer(&t);
  tidy(g.clients, client_less);
  for (ServerTransaction& t : g.servers)
    server_tsm_execute_timer(&t);
  tidy(g.servers, server_less);
}

int application_layer_receive_apdu(uint8_t port_index, const BACnetAddress& source, const BACnetAddress& destination,
                                   const NpduHeader& header)
{
  if (!header.apdu || header.apdu_length == 0)
    return -1;
  std::span<const uint8_t> apdu(header.apdu, header.apdu_length);
  uint32_t type = apdu[0] >> 4;
  if (type >= kHandlers.size())
    return -1;
  return kHandlers[type](port_index, source, destination, header, apdu);
}

int application_layer_confirmed_indication(uint8_t port_index, const BACnetAddress& source,
                                           const BACnetAddress& destination, const NpduHeader& header,
                                           std::span<const uint8_t> apdu)
{
  BACnetAddress routed = routed_source(header);
  bool snet = header.snet_present != 0;
  // Nothing of a request is read before its header is known to be whole.
  ApduPdu pdu;
  if (apdu_decode(apdu, &pdu) != 0) {
    uint8_t invoke_id = apdu.size() > 2 ? apdu[2] : 0;
    application_layer_send_reject(port_index, source, snet, routed, invoke_id, kRejectMalformedRequest);
    return -1;
  }
  // As for an unconfirmed request: the requester's network is reachable through the router
  // that passed the request on, so that answers, COV and event notifications to it go there at
  // once instead of waiting for a router to be found.
  if (snet)
    network_add_network(source, header.snet);
  if (communication_state() == kCommunicationDisabled && pdu.service_choice != SERVICE_DEVICE_COMMUNICATION_CONTROL &&
      pdu.service_choice != SERVICE_REINITIALIZE_DEVICE)
    return -1;
  if (ServerTransaction* t = application_layer_find_server(source, pdu.invoke_id))
    return to_server(t, pdu);

  BACnetAddress local = destination;
  if (header.dnet_present) {
    local = BACnetAddress{};
    local.network = header.dnet;
    local.mac_len = std::min<uint8_t>(header.dlen, sizeof local.mac);
    std::memcpy(local.mac, header.dadr, local.mac_len);
  }
  ServerTransaction* t = free_entry(g.servers);
  if (!t)
    return -1;
  ServiceRequest request;
  static_cast<ApduFields&>(request) = pdu;
  request.source = key_address(source);
  request.data = pdu.data;
  int result = server_tsm_create(t, port_index, snet, routed, local, request);
  tidy(g.servers, server_less);
  return result;
}

int application_layer_unconfirmed_indication(uint8_t port_index, const BACnetAddress& source,
                                             const NpduHeader& header, std::span<const uint8_t> apdu)
{
  ApduPdu pdu;
  if (!g.unconfirmed || apdu_decode(apdu, &pdu) != 0)
    return -1;
  BACnetAddress routed = routed_source(header);
  // The sender's network is reachable through the router that passed the request on.
  if (header.snet_present)
    network_add_network(source, header.snet);
  int state = communication_state();
  if (state == kCommunicationDisabled || (state == kInitiationDisabled && pdu.service_choice != SERVICE_WHO_IS))
    return -1;
  ServiceRequest request;
  static_cast<ApduFields&>(request) = pdu;
  request.source = source;
  request.data = pdu.data;
  return g.unconfirmed(port_index, header.snet_present != 0, routed, request);
}

int application_layer_send_unconfirmed(std::span<const uint8_t> data, int port_index, const BACnetAddress& destination,
                                       uint8_t service_choice, bool global_broadcast)
{
  if (data.size() + 2 > kApduMaxLength)
    return -1;
  std::vector<uint8_t> apdu;
  apdu_encode_unconfirmed_request(service_choice, data, &apdu);
  return network_unit_data_request_port(port_index, destination, apdu, global_broadcast);
}

int application_layer_send_reject(int port_index, const BACnetAddress& datalink_source, bool snet_present,
                                  const BACnetAddress& request_source, uint8_t invoke_id, uint8_t reason)
{
  std::vector<uint8_t> apdu;
  apdu_encode_reject(invoke_id, reason, &apdu);
  return network_send_on_port(port_index, nullptr, datalink_source, snet_present, request_source, apdu, 0);
}

int32_t application_layer_get_apdu_timeout() { return g.apdu_timeout; }

int application_layer_set_apdu_timeout(int32_t milliseconds)
{
  if (milliseconds < kTimeoutMin || milliseconds > kTimeoutMax)
    return -1;
  g.apdu_timeout = milliseconds;
  refresh_timing();
  return 0;
}

int32_t application_layer_get_segment_timeout() { return g.segment_timeout; }

int32_t application_layer_get_apdu_retries() { return g.retries; }

int application_layer_set_apdu_retries(int32_t retries)
{
  if (retries < 0 || retries > kRetriesMax)
    return -1;
  g.retries = retries;
  refresh_timing();
  return 0;
}

void application_layer_set_communication_state_function(CommunicationStateFunction function)
{
  g.communication_state = function;
  network_set_communication_state_function(function);
}

void application_layer_set_room_function(RoomFunction function) { g.room = function; }

ClientTransaction* application_layer_find_client(const BACnetAddress& peer, uint8_t invoke_id)
{
  return find_in(g.clients, peer, invoke_id,
                 [](const ClientTransaction& t) { return std::pair{t.destination, t.invoke_id}; });
}

ServerTransaction* application_layer_find_server(const BACnetAddress& source, uint8_t invoke_id)
{
  return find_in(g.servers, source, invoke_id,
                 [](const ServerTransaction& t) { return std::pair{t.source, t.request.invoke_id}; });
}

std::size_t application_layer_client_count()
{
  return std::size_t(std::count_if(g.clients.begin(), g.clients.end(), [](const auto& t) { return t.in_use != 0; }));
}

std::size_t application_layer_server_count()
{
  return std::size_t(std::count_if(g.servers.begin(), g.servers.end(), [](const auto& t) { return t.in_use != 0; }));
}

std::size_t application_layer_queued_requests()
{
  RingLock held(g.lock, g.unlock);
  return g.ring.count();
}
