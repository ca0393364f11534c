#include "backend/api/api_server.h"

#include "backend/api/api_binary.h"
#include "backend/api/api_codec.h"
#include "backend/api/api_dispatch.h"
#include "backend/api/api_messages.h"
#include "backend/api/api_pending.h"
#include "bacnet/client/client_call.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/objects/device_object.h"
#include "bacnet/objects/object_api.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// A connection thread looks at its clock this often while nothing happens.
constexpr int kClientTickMs = 100;
// Received payload octets are taken in pieces of at most this size.
constexpr uint32_t kReceiveChunk = 64 * 1024;

DriverLogFunction g_log = nullptr;
// Guarded by the global lock; filled and emptied on the port thread.
std::vector<ApiClient*> g_slots;
uint64_t g_last_serial = 0;

void trace(const char* text)
{
  if (g_log)
    g_log(kApiLogLevel, text);
}

int64_t now_seconds()
{
  OsTime t;
  os_get_time(&t);
  return t.seconds;
}

ApiPortData* port_data(const DatalinkPort* port)
{
  return port ? dynamic_cast<ApiPortData*>(port->link_data.get()) : nullptr;
}

void close_listener(DatalinkPort* port)
{
  if (ApiPortData* data = port_data(port); data && data->listen_socket >= 0) {
    close(data->listen_socket);
    data->listen_socket = -1;
  }
  port->state = kPortStopped;
}

// ---- One connection's frames ----------------------------------------------------------------

// The frame being received: its 8 header octets, then its payload.
struct Receiver {
  uint8_t header[kApiFrameHeaderLength] = {};
  uint32_t header_got = 0;
  bool in_payload = false;
  uint32_t expected = 0;
  std::vector<uint8_t> payload;

  void reset()
  {
    header_got = 0;
    in_payload = false;
    expected = 0;
    std::vector<uint8_t>().swap(payload);
  }
};

void drop_frame(ApiFrameOut& out)
{
  pdu_buffer_free(&out.message);
  out.busy = false;
  out.sent = 0;
}

// The frame takes the message (the buffer is emptied).
void begin_frame(ApiFrameOut& out, pdu_buffer* message)
{
  out.message = *message;
  *message = pdu_buffer{};
  api_frame_header(out.message.pos, out.header);
  out.sent = 0;
  out.busy = true;
}

// Writes what the socket takes of the frame in flight. False when the rest waits for room;
// a frame whose send fails is dropped (true), and the connection stays.
bool write_frame(int socket, ApiFrameOut& out)
{
  while (out.busy) {
    iovec parts[2];
    int count = 0;
    if (out.sent < kApiFrameHeaderLength)
      parts[count++] = {out.header + out.sent, kApiFrameHeaderLength - out.sent};
    uint32_t body_sent = out.sent > kApiFrameHeaderLength ? out.sent - kApiFrameHeaderLength : 0;
    parts[count++] = {out.message.data + body_sent, out.message.pos - body_sent};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = std::size_t(count);
    ssize_t n = sendmsg(socket, &message, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return false;
      drop_frame(out);
      return true;
    }
    out.sent += uint32_t(n);
    if (out.sent < kApiFrameHeaderLength + out.message.pos)
      return false;  // the socket is full; the rest goes when it is writable again
    drop_frame(out);
  }
  return true;
}

// Writes the frame in flight whole, waiting for room while the connection runs. False when
// the connection stops first: the rest stays for the last look at the socket.
bool finish_frame(ApiClient* client)
{
  while (!write_frame(client->socket, client->sending)) {
    if (!client->running)
      return false;
    // Nothing is read while the peer takes no answer: its silence counts as for the loop.
    if (now_seconds() - int64_t(client->last_request) > kApiSilenceSeconds)
      client->reap = 1;
    short revents = 0;
    client->wake.wait(kClientTickMs, client->socket, 0, POLLOUT, &revents);
  }
  return true;
}

enum class ReadOutcome { kMore, kIdle, kClosed, kBroken };

// Receives what the socket has of the current frame, up to its end; a complete frame is
// dispatched. kClosed: the peer closed or the socket failed; kBroken: the framing is wrong.
ReadOutcome receive_frame(ApiClient* client, Receiver& rx, int64_t* last_header)
{
  if (!rx.in_payload) {
    ssize_t n = recv(client->socket, rx.header + rx.header_got, kApiFrameHeaderLength - rx.header_got, 0);
    if (n == 0)
      return ReadOutcome::kClosed;
    if (n < 0)
      return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? ReadOutcome::kIdle : ReadOutcome::kClosed;
    *last_header = now_seconds();
    rx.header_got += uint32_t(n);
    if (rx.header_got < kApiFrameHeaderLength)
      return ReadOutcome::kMore;
    uint32_t length = 0;
    if (api_frame_length(rx.header, &length) != 0)
      return ReadOutcome::kBroken;
    rx.header_got = 0;
    if (length == 0) {
      client->last_request = uint32_t(now_seconds());
      return ReadOutcome::kMore;
    }
    rx.in_payload = true;
    rx.expected = length;
    return ReadOutcome::kMore;
  }
  // The payload grows with what arrives, never by what the header claims.
  std::size_t had = rx.payload.size();
  uint32_t want = std::min<uint32_t>(rx.expected - uint32_t(had), kReceiveChunk);
  try {
    rx.payload.resize(had + want);
  } catch (const std::bad_alloc&) {
    return ReadOutcome::kBroken;
  }
  ssize_t n = recv(client->socket, rx.payload.data() + had, want, 0);
  rx.payload.resize(had + (n > 0 ? std::size_t(n) : 0));
  if (n == 0)
    return ReadOutcome::kClosed;
  if (n < 0)
    return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? ReadOutcome::kIdle : ReadOutcome::kClosed;
  if (rx.payload.size() < rx.expected)
    return ReadOutcome::kMore;
  client->last_request = uint32_t(now_seconds());
  std::vector<uint8_t> payload;
  payload.swap(rx.payload);
  rx.reset();
  api_dispatch_payload(client, payload);
  return ReadOutcome::kIdle;  // one request a pass: its answer goes out before the next is read
}

// Sends queued messages until the queue is empty or the socket is full.
void send_queued(ApiClient* client)
{
  for (;;) {
    if (!client->sending.busy) {
      DRIVER_LOCK_SCOPE();
      pdu_buffer message;
      if (api_client_queue_pop(client, &message) != 0)
        return;
      begin_frame(client->sending, &message);
    }
    if (!write_frame(client->socket, client->sending))
      return;
  }
}

bool queue_waiting(ApiClient* client)
{
  DRIVER_LOCK_SCOPE();
  return api_client_queue_waiting(client);
}

void api_client_loop(ApiClient* client)
{
  Receiver rx;
  int64_t last_header = now_seconds();
  bool reading = true;
  while (client->running) {
    if (now_seconds() - last_header > kApiSilenceSeconds)
      client->reap = 1;
    bool writing = client->sending.busy || queue_waiting(client);
    // A socket with nothing to read or write is left out: a hung-up one would wake every poll.
    int fd = reading || writing ? client->socket : -1;
    short events = short((reading ? POLLIN : 0) | (writing ? POLLOUT : 0));
    short revents = 0;
    OsWake::Result woken = client->wake.wait(kClientTickMs, fd, 0, events, &revents);
    if (woken == OsWake::kTimeout || woken == OsWake::kFailed)
      continue;
    if (!client->running)
      break;
    if (writing && (revents & (POLLOUT | POLLHUP | POLLERR)))
      send_queued(client);
    if (reading && (revents & (POLLIN | POLLHUP | POLLERR))) {
      ReadOutcome outcome = receive_frame(client, rx, &last_header);
      if (outcome == ReadOutcome::kClosed || outcome == ReadOutcome::kBroken) {
        // The record stays until the reaper takes it; nothing more is read from this socket.
        reading = false;
        rx.reset();
        if (outcome == ReadOutcome::kBroken) {
          client->broken = 1;
          shutdown(client->socket, SHUT_RD);
        }
        client->reap = 1;
      }
    }
  }
  // The frame in flight when the connection stops (the answer of a call the stop ended, cut
  // short by a full socket) and what is queued go out as far as the socket takes it without
  // waiting.
  send_queued(client);
  drop_frame(client->sending);
}

// ---- The connection table -------------------------------------------------------------------

// Empties the slots chosen by `take` under the lock; the records are destroyed after it.
template <typename Take>
void remove_clients(Take take)
{
  std::vector<ApiClient*> removed;
  {
    DRIVER_LOCK_SCOPE();
    for (ApiClient*& slot : g_slots) {
      if (slot && take(*slot)) {
        removed.push_back(slot);
        slot = nullptr;
      }
    }
  }
  for (ApiClient* client : removed) {
    BACnetAPI_DestroyClient(client);
    delete client;
  }
}

bool time_is_up(const ApiClient& client, int64_t now)
{
  if (client.broken)
    return true;
  if (!client.reap)
    return false;
  int64_t last = client.last_request;
  switch (client.state) {
  case kApiClientDone:
    return true;
  case kApiClientNew:
    return now > last;
  case kApiClientKept:
    return now - last > kApiKeptSeconds;
  default:
    return false;
  }
}

// ---- The listener -------------------------------------------------------------------------

// Accepts one waiting connection. False when the listener failed for good.
bool accept_one(DatalinkPort* port, ApiPortData& data)
{
  int socket = accept4(data.listen_socket, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (socket < 0) {
    switch (errno) {
    case EAGAIN:
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
      return true;  // that connection went before it was taken; the next one may come
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
      datalink_wait(port, int(kApiReapIntervalMs));  // out of descriptors: give the reaper a turn
      return true;
    default:
      return false;
    }
  }
  int on = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (api_start_client(socket) != 0)
    close(socket);
  return true;
}

}  // namespace

void api_install_link_type()
{
  DatalinkLinkOps ops = *datalink_link_ops(kLinkApi);
  ops.set_trace = api_set_log_callback;
  ops.make_link_data = []() -> std::unique_ptr<DatalinkLinkData> { return std::make_unique<ApiPortData>(); };
  ops.open = api_open;
  ops.run = api_run;
  ops.close = api_close;
  ops.network_port = false;
  datalink_set_link_ops(kLinkApi, ops);
}

void api_set_log_callback(const DriverContext& context)
{
  g_log = context.options[kApiTraceOption] ? context.log : nullptr;
  api_codec_reset();
}

int api_read_config(DatalinkPort* port)
{
  ApiPortData* data = port_data(port);
  if (!port || port->link_type != kLinkApi || !data)
    return -1;
  api_destroy_all_clients();  // a port opens with an empty table
  std::string text;
  data->tcp_port = datalink_param(port, "PORT", &text) ? uint16_t(std::atoi(text.c_str())) : kApiDefaultPort;
  int users = datalink_param(port, "MAXUSERS", &text) ? std::atoi(text.c_str()) : kApiDefaultMaxUsers;
  data->bind_address = INADDR_ANY;
  if (datalink_param(port, "IPADDRESS", &text)) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1)
      return -1;
    data->bind_address = ntohl(address.s_addr);
  }
  if (users < 0 || users > kApiMaxUsersLimit)
    return -1;
  try {
    DRIVER_LOCK_SCOPE();
    data->user_slots.assign(std::size_t(users) * 3, 0);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  port->state = kPortOpened;
  return 0;
}

int api_open_socket(DatalinkPort* port)
{
  ApiPortData* data = port_data(port);
  if (!data)
    return -1;
  int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s < 0) {
    std::perror("error in socket\n");
    return -1;
  }
  int on = 1;
  if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
    std::perror("setsockopt");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(data->tcp_port);
  address.sin_addr.s_addr = htonl(data->bind_address);
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::perror("error binding to socket\n");
    close(s);
    return -1;
  }
  if (listen(s, kApiListenBacklog) != 0) {
    std::perror("error in listen\n");
    close(s);
    return -1;
  }
  data->listen_socket = s;
  return 0;
}

int api_open(DatalinkPort* port)
{
  if (api_read_config(port) != 0)
    return -1;
  return api_open_socket(port);
}

uint16_t api_listening_port(const DatalinkPort* port)
{
  ApiPortData* data = port_data(port);
  if (!data || data->listen_socket < 0)
    return 0;
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(data->listen_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return 0;
  return ntohs(address.sin_port);
}

uint32_t api_run(DatalinkPort* port)
{
  ApiPortData* data = port_data(port);
  if (!data || data->listen_socket < 0) {
    port->state = kPortStopped;
    return kPortStopped;
  }
  int64_t last_reaping = os_monotonic_ms();
  while (port->state == kPortRunning) {
    int64_t now = os_monotonic_ms();
    // A clock that went back counts as due.
    if (now - last_reaping >= kApiReapIntervalMs || now < last_reaping) {
      api_reap_clients();
      last_reaping = now;
    }
    int64_t left = std::max<int64_t>(0, std::min(kApiReapIntervalMs, kApiReapIntervalMs - (now - last_reaping)));
    OsWake::Result woke = datalink_wait_readable(port, data->listen_socket, int(left));
    if (port->running == 0 || port->stop_requested) {
      close_listener(port);
      return kPortStopped;
    }
    if (woke == OsWake::kReadable && !accept_one(port, *data)) {
      close_listener(port);
      return kPortStopped;
    }
  }
  return port->state;
}

void api_close(DatalinkPort* port)
{
  if (ApiPortData* data = port_data(port)) {
    DRIVER_LOCK_SCOPE();
    std::vector<uint32_t>().swap(data->user_slots);
  }
  // Connection threads waiting for the stack end their waits: the stack runs no more passes.
  client_call_stop_waits();
  object_api_stop_waits();
  cache_stop_waits();
  object_DeviceSetupShutdown();
  api_destroy_all_clients();
  if (port)
    close_listener(port);
}

ApiClient* api_add_client_connection(int socket)
{
  trace("api_add_client_connection");
  if (socket <= 0) {
    trace("unable to add client connection - invalid socket");
    return nullptr;
  }
  ApiClient* client = new (std::nothrow) ApiClient;
  if (!client)
    return nullptr;
  client->socket = socket;
  DRIVER_LOCK_SCOPE();
  client->serial = ++g_last_serial;
  for (ApiClient*& slot : g_slots) {
    if (!slot) {
      slot = client;
      return client;
    }
  }
  if (g_slots.size() < kApiClientSlots) {
    try {
      g_slots.push_back(client);
      return client;
    } catch (const std::bad_alloc&) {
    }
  }
  delete client;
  return nullptr;
}

int api_start_client(int socket)
{
  ApiClient* client = api_add_client_connection(socket);
  if (!client)
    return -1;
  bool started = os_semaphore_create(&client->semaphore) == 0;
  if (started) {
    try {
      client->thread = std::thread(api_client_thread, client);
    } catch (const std::system_error&) {
      started = false;
    }
  }
  if (!started) {
    client->socket = -1;  // the caller closes it
    remove_clients([client](const ApiClient& c) { return &c == client; });
    return -1;
  }
  os_semaphore_wait(&client->semaphore);
  return 0;
}

int api_client_send_now(ApiClient* client, pdu_buffer* message)
{
  if (!client || !message)
    return -1;
  // A queued frame begun before goes out whole first: the peer reads frames, not octets.
  if (!finish_frame(client)) {
    pdu_buffer_free(message);
    return -1;
  }
  begin_frame(client->sending, message);
  return finish_frame(client) ? 0 : -1;
}

void api_client_thread(ApiClient* client)
{
  client->running = 0xFF;
  os_semaphore_release(&client->semaphore);
  api_client_loop(client);
  close(client->socket);
  client->socket = -1;
  os_semaphore_release(&client->semaphore);
}

void BACnetAPI_DestroyClient(ApiClient* client)
{
  if (!client)
    return;
  trace("BACnetAPI_DestroyClient");
  client->running = 0;
  client->wake.signal();
  if (client->thread.joinable()) {
    os_semaphore_wait(&client->semaphore);
    client->thread.join();
  } else if (client->socket >= 0) {
    close(client->socket);  // its thread never ran
    client->socket = -1;
  }
  os_semaphore_close(&client->semaphore);
  api_client_queue_clear(client);
  api_pending_drop_client(client->serial);
}

void api_destroy_all_clients()
{
  remove_clients([](const ApiClient&) { return true; });
  DRIVER_LOCK_SCOPE();
  std::vector<ApiClient*>().swap(g_slots);
}

void api_reap_clients()
{
  int64_t now = now_seconds();
  remove_clients([now](const ApiClient& client) { return time_is_up(client, now); });
  api_pending_expire(os_monotonic_ms(), api_pending_timeout_ms());
}

ApiClient* api_client_by_serial(uint64_t serial)
{
  for (ApiClient* client : g_slots)
    if (client && client->serial == serial)
      return client;
  return nullptr;
}

std::size_t api_client_count()
{
  DRIVER_LOCK_SCOPE();
  std::size_t n = 0;
  for (ApiClient* client : g_slots)
    n += client ? 1 : 0;
  return n;
}

// ---- Broadcasts ------------------------------------------------------------------------------

namespace {

// Queues one payload, built once, to every subscribed connection.
void broadcast(uint32_t event, pdu_buffer& payload, bool built)
{
  if (built) {
    DRIVER_LOCK_SCOPE();
    for (ApiClient* client : g_slots)
      api_queue_event(client, event, {payload.data, payload.pos});
  }
  pdu_buffer_free(&payload);
}

// The same for an event that tells a handle's state, under the lock its caller holds: a full
// queue leaves it owed, not lost.
void broadcast_handle_state(uint32_t event, uint32_t client_id, uint32_t handle, pdu_buffer& payload, bool built)
{
  if (built)
    for (ApiClient* client : g_slots)
      api_queue_handle_event(client, event, client_id, handle, {payload.data, payload.pos});
  pdu_buffer_free(&payload);
}

// The caller holds the lock.
void forget_handle(const ApiHandleKey& key)
{
  for (ApiClient* client : g_slots)
    api_client_forget_handle(client, key);
}

// The caller holds the lock.
bool listens(uint32_t event)
{
  for (ApiClient* client : g_slots)
    if (client && client->subscriptions[event - kApiFirstEvent])
      return true;
  return false;
}

bool anyone_listens(uint32_t event)
{
  DRIVER_LOCK_SCOPE();
  return listens(event);
}

}  // namespace

void api_broadcast_log_event(int level, const char* text)
{
  if (!anyone_listens(kApiEventLog))
    return;
  pdu_buffer payload{};
  broadcast(kApiEventLog, payload, api_event_log_payload(&payload, level, text) == 0);
}

void api_broadcast_pdu_event(const ServiceRequest& request)
{
  if (request.type != kApduConfirmedRequest && request.type != kApduUnconfirmedRequest)
    return;
  if (!anyone_listens(kApiEventPdu))
    return;
  pdu_buffer payload{};
  broadcast(kApiEventPdu, payload,
            api_event_pdu_payload(&payload, request.type, request.service_choice, request.data) == 0);
}

void api_broadcast_object_value_event(uint32_t client_id, uint32_t handle, uint32_t owner, uint32_t object_type,
                                      uint32_t instance, const BACnetValue* value, uint32_t priority)
{
  if (!listens(kApiEventObjectValue))
    return;
  pdu_buffer payload{};
  broadcast_handle_state(
      kApiEventObjectValue, client_id, handle, payload,
      api_event_object_value_payload(&payload, client_id, handle, owner, object_type, instance, value, priority) == 0);
}

void api_broadcast_object_event(uint32_t client_id, uint32_t handle, uint32_t owner, uint32_t object_type,
                                uint32_t instance)
{
  if (!anyone_listens(kApiEventObject))
    return;
  pdu_buffer payload{};
  broadcast(kApiEventObject, payload,
            api_event_object_payload(&payload, client_id, handle, owner, object_type, instance) == 0);
}

void api_broadcast_cache_event(const CacheReference* reference, const BACnetValue* value, int error,
                               uint32_t client_id, uint32_t handle)
{
  if (!listens(kApiEventCache))
    return;
  pdu_buffer payload{};
  broadcast_handle_state(kApiEventCache, client_id, handle, payload,
                         api_event_cache_payload(&payload, reference, value, uint32_t(error), client_id, handle) == 0);
}

void api_cache_handle_gone(uint32_t client_id, uint32_t handle) { forget_handle({kApiEventCache, client_id, handle}); }

void api_object_handle_gone(uint32_t client_id, uint32_t handle)
{
  forget_handle({kApiEventObjectValue, client_id, handle});
}
