// One connection of the TCP API: its record (socket, thread, wake-up, out-queue, the events
// owed per handle, the frame being written, client state, reap flag and event subscriptions)
// and the out-queue operations. The connection thread owns the socket; any thread queues
// messages for it under the global lock. Must not: send on the socket from any thread but the
// connection's own, queue more than 129 messages, lose the latest event of a handle, send a
// handle's events out of their order, or keep what is owed for a handle that is gone.
#pragma once

#include "backend/api/api_codec.h"
#include "bacnet/codec/pdu_buffer.h"
#include "bacnet/foundation/os_wake.h"
#include "bacnet/foundation/os_wrappers.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <thread>
#include <tuple>

// A queue refuses a message while more than this many wait, so it holds at most 129.
inline constexpr std::size_t kApiQueueRefuseAbove = 128;
inline constexpr int kApiEventKinds = 6;  // events 701 to 706
inline constexpr uint32_t kApiFirstEvent = 701;

// Client states, set by commands 501 and 502; they decide how long a silent record is kept.
enum ApiClientState : uint8_t {
  kApiClientNew = 0,
  kApiClientKept = 1,
  kApiClientDone = 2,
};

// A frame on its way into the socket: the length digits, then the message's octets.
struct ApiFrameOut {
  pdu_buffer message{};
  char header[kApiFrameHeaderLength] = {};
  uint32_t sent = 0;  // of header and message together
  bool busy = false;
};

// The handle an event tells the state of: the event code, the client id and the handle
// (event 0: a message that tells no handle's state).
struct ApiHandleKey {
  uint32_t event = 0;
  uint32_t client_id = 0;
  uint32_t handle = 0;
  bool operator<(const ApiHandleKey& other) const
  {
    return std::tie(event, client_id, handle) < std::tie(other.event, other.client_id, other.handle);
  }
  bool operator==(const ApiHandleKey& other) const = default;
};

// A message in the out-queue, with the handle whose state it tells.
struct ApiQueuedMessage {
  pdu_buffer message{};
  ApiHandleKey key{};
};

// The latest event of each handle that found the out-queue full and none of its states in it,
// kept until the queue has sent what was before it: a client must learn every handle's last
// value and status, while a handle that changes again only replaces what it is owed. A handle
// that goes takes what it is owed with it.
struct ApiOwedEvents {
  std::map<ApiHandleKey, pdu_buffer> latest;
  std::deque<ApiHandleKey> order;  // each owed handle once, in the order it first changed
  // The queue and the owed take turns while both hold something, so that a monitor stream
  // that keeps the queue full cannot hold the owed states back for good.
  bool owed_turn = false;
};

struct ApiClient {
  ApiClient() = default;
  ApiClient(const ApiClient&) = delete;
  ApiClient& operator=(const ApiClient&) = delete;
  ~ApiClient();  // frees what is still queued

  std::thread thread;
  OsSemaphoreHandle semaphore = nullptr;  // released when the thread has started and when it ends
  std::atomic<uint8_t> running{0};        // 255 while the thread is to run
  int socket = -1;
  // Ends the connection thread's wait: a message was queued, or the thread is to stop.
  OsWake wake;
  // Guarded by the global lock. New messages go in front, the oldest leaves from the back.
  std::deque<ApiQueuedMessage> out_queue;
  // Guarded by the global lock. Sent once the out-queue is empty.
  ApiOwedEvents owed;
  // Touched by the connection thread alone, the socket's one writer: a text answer written
  // directly finishes a queued frame begun before it, so frames never interleave without a lock.
  ApiFrameOut sending;
  std::atomic<uint32_t> last_request{0};  // wall-clock seconds of the last complete frame
  std::atomic<uint8_t> state{kApiClientNew};
  std::atomic<uint8_t> reap{0};    // the record may be removed (silence or a closed socket)
  std::atomic<uint8_t> broken{0};  // the peer broke the framing: removed at the next reaping
  std::atomic<uint8_t> subscriptions[kApiEventKinds] = {};
  // Names the connection for answers that come later (command 102); never reused.
  uint64_t serial = 0;
};

// The caller holds the global lock. Takes the message (the buffer is emptied) and wakes the
// connection thread; -1 without a client or while more than 128 wait (the caller keeps it).
int api_client_queue_push(ApiClient* client, pdu_buffer* message);
// The caller holds the global lock. Takes the message telling a handle's state (the buffer is
// emptied): it is queued while the queue has room and nothing is owed; else it takes the place
// of the handle's newest state still queued, or is owed and replaces what the handle was owed.
// -1 only without a client or memory (the caller keeps it).
int api_client_queue_push_state(ApiClient* client, const ApiHandleKey& key, pdu_buffer* message);
// The caller holds the global lock. The handle is gone: what the client is owed for it goes.
void api_client_forget_handle(ApiClient* client, const ApiHandleKey& key);
// The caller holds the global lock. The oldest queued message and the first owed one, in
// turns while both wait; -1 when nothing waits.
int api_client_queue_pop(ApiClient* client, pdu_buffer* message);
// The caller holds the global lock. Something is queued or owed.
bool api_client_queue_waiting(const ApiClient* client);
// Frees every queued and owed message; takes the lock.
void api_client_queue_clear(ApiClient* client);
