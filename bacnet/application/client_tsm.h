// Client transactions: one confirmed request of this device carried to its answer. Sends the
// request whole or in windows of segments, collects a segmented ComplexACK, repeats on
// time-out and ends through the completion callbacks, which are the requester's only news.
// Stack thread only (the application layer creates, feeds and times them); timers run on the
// monotonic clock. Must not keep a transaction after it ended or end one without its callbacks.
#pragma once

#include "bacnet/application/apdu.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/network/bacnet_address.h"

#include <cstdint>
#include <span>
#include <vector>

// The option byte of the driver context that switches on the client transactions' trace.
inline constexpr int kClientTsmTraceOption = 2;
inline constexpr int kClientTsmLogLevel = 2;

// Kinds of an outgoing request.
inline constexpr uint32_t kRequestConfirmed = 0;
inline constexpr uint32_t kRequestUnconfirmed = 1;

// One outgoing request as its sender describes it; the application layer copies the data.
struct ApduRequest {
  BACnetAddress destination{};
  uint32_t kind = kRequestConfirmed;
  uint8_t service_choice = 0;
  uint8_t max_apdu_code = 0;  // the largest APDU the destination takes (0..5)
  uint8_t invoke_id = 0;
  std::span<const uint8_t> data;
};

// The PDU that ended a transaction: its header fields and its data (the reassembled service
// data of a segmented ComplexACK; for Reject and Abort the reason comes first). `present` is
// false when the transaction ended without one (time-out, send failure, a dropped request).
struct ClientResult : ApduFields {
  bool present = false;
  std::vector<uint8_t> data;
};

// The requester's callback: success is 1 only for a SimpleACK or a complete ComplexACK.
using ClientRequestCallback = void (*)(void* user_data, int success, const BACnetAddress& destination,
                                       const ClientResult& result);
// Told when a transaction ends with news of the peer (address binding notes who answered):
// replied 1 when any PDU of the peer arrived (an Error, Reject or Abort too), 0 when it timed
// out without one. A transaction ended by a refused send or the shut-down says nothing.
using ClientCompletionCallback = int (*)(uint8_t replied, const BACnetAddress& destination);

enum ClientState : uint32_t {
  kClientIdle = 0,
  kClientSegmentedRequest = 1,
  kClientAwaitConfirmation = 2,
  kClientSegmentedConfirmation = 3,
};

struct ClientTransaction {
  uint32_t in_use = 0;
  ClientRequestCallback callback = nullptr;
  void* user_data = nullptr;
  BACnetAddress destination{};
  uint8_t service_choice = 0;
  uint8_t max_apdu_code = 0;
  uint8_t invoke_id = 0;
  std::vector<uint8_t> service_data;
  ClientResult result;
  uint32_t success = 0;
  uint8_t heard = 0;      // a PDU of the peer arrived
  uint8_t timed_out = 0;  // ended by its timers
  ClientState state = kClientIdle;
  // Request segments: the next one to send and the first of the current window.
  uint32_t segment_counter = 0;
  uint32_t window_base = 0;
  uint32_t retry_count = 0;
  uint32_t segment_retry_count = 0;
  uint8_t sent_all = 0;
  uint8_t last_sequence = 0;
  uint8_t initial_sequence = 0;
  uint8_t window_count = 0;
  uint8_t proposed_window = 0;
  int64_t segment_timer = 0;
  int64_t request_timer = 0;
  int32_t segment_timeout = 0;
  int32_t apdu_timeout = 0;
  int32_t retries = 0;
};

void client_tsm_init(ClientCompletionCallback completion, const DriverContext* context, int32_t segment_timeout,
                     int32_t apdu_timeout, int32_t retries);

// New timeouts and retries for transactions created from now on.
void client_tsm_set_timing(int32_t segment_timeout, int32_t apdu_timeout, int32_t retries);

// Fills a free entry, sends the request (or its first segment) at once. 0 while it runs; -1
// when it ended right away (a failed send), its callbacks then already called.
int client_tsm_create(ClientTransaction* t, ClientRequestCallback callback, void* user_data,
                      const ApduRequest& request);
// A received answer for the transaction. 0 while it runs, -1 when it ended (entry cleared).
int client_tsm_execute_indication(ClientTransaction* t, const ApduPdu& pdu);
// A timer step; a free entry gives 0.
int client_tsm_execute_timer(ClientTransaction* t);
// Calls the completion callbacks of a transaction in use and clears the entry.
void client_tsm_destroy(ClientTransaction* t);

// The service data of one request segment: max-APDU length less the segmented request header.
uint32_t client_tsm_segment_size(uint8_t max_apdu_code);

// The state functions, each one step; they end a transaction by leaving it in IDLE.
void client_tsm_execute_idle_state(ClientTransaction* t);
void client_tsm_execute_segmented_request_state(ClientTransaction* t, const ApduPdu* pdu);
void client_tsm_execute_await_confirmation_state(ClientTransaction* t, const ApduPdu* pdu);
void client_tsm_execute_segmented_confirmation_state(ClientTransaction* t, const ApduPdu* pdu);
