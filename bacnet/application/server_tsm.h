// Server transactions: one confirmed request from another device carried to this device's
// answer. Collects a segmented request, hands the complete request to the service handlers
// and sends what they answered (SimpleACK, ComplexACK whole or in windows, Error, Reject or
// Abort), repeating a response window on time-out.
// Stack thread only; timers run on the monotonic clock. Must not call the handlers twice for
// one request, nor keep a transaction that has nothing left to do.
#pragma once

#include "bacnet/application/apdu.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/network/bacnet_address.h"

#include <cstdint>
#include <span>
#include <vector>

// The option byte of the driver context that switches on the server transactions' trace.
inline constexpr int kServerTsmTraceOption = 3;
inline constexpr int kServerTsmLogLevel = 3;

// A received request as the service handlers see it: the requester's datalink source, the
// header fields (type 0 confirmed, 1 unconfirmed) and the complete service data.
struct ServiceRequest : ApduFields {
  BACnetAddress source{};
  std::span<const uint8_t> data;
};

// Kinds of answer the handlers give.
enum ServiceAnswerKind : uint32_t {
  kAnswerNone = 0,
  kAnswerSimpleAck = 2,
  kAnswerComplexAck = 3,
  kAnswerError = 5,
  kAnswerReject = 6,
};

// What the handlers fill for a confirmed request; any kind but 2, 3, 5 and 6 (an answer left
// unfilled included) is answered with an Abort.
struct ServiceAnswer {
  uint32_t kind = kAnswerNone;
  uint8_t reject_reason = 0;
  uint8_t abort_reason = 0;
  uint8_t service_choice = 0;  // the PDUs carry the request's service choice
  std::vector<uint8_t> data;   // ComplexACK parameters, or the Error's class and code
};

// The handlers' entry for a complete confirmed request. `local` is the address the request
// was sent to; `routed_source` (the request's SNET/SADR/SLEN) is valid when `snet_present`.
// 0 when the request was taken and the answer filled, non-zero to refuse it.
using ServerRequestCallback = int (*)(const BACnetAddress& local, const ServiceRequest& request,
                                      ServiceAnswer* answer, bool snet_present, const BACnetAddress& routed_source);

enum ServerState : uint32_t {
  kServerIdle = 0,
  kServerSegmentedRequest = 1,
  kServerAwaitResponse = 4,
  kServerSegmentedResponse = 5,
};

struct ServerTransaction {
  uint32_t in_use = 0;
  uint32_t port_index = 0;
  uint8_t snet_present = 0;
  BACnetAddress routed_source{};
  BACnetAddress destination{};
  // The request: the requester's datalink source, its header fields, the (reassembled) data.
  BACnetAddress source{};
  ApduFields request{};
  std::vector<uint8_t> request_data;
  ServiceAnswer answer;
  // Response segments: the next one to send and the first of the current window.
  uint32_t segment_counter = 0;
  uint32_t window_base = 0;
  ServerState state = kServerIdle;
  uint32_t retry_count = 0;
  uint8_t sent_all = 0;
  uint8_t last_sequence = 0;
  uint8_t initial_sequence = 0;
  uint8_t window_count = 0;
  uint8_t proposed_window = 0;
  int64_t segment_timer = 0;
  int32_t segment_timeout = 0;
  int32_t apdu_timeout = 0;
  int32_t retries = 0;
};

void server_tsm_init(ServerRequestCallback callback, const DriverContext* context, int32_t segment_timeout,
                     int32_t apdu_timeout, int32_t retries);

// New timeouts and retries for transactions created from now on.
void server_tsm_set_timing(int32_t segment_timeout, int32_t apdu_timeout, int32_t retries);

// Fills a free entry from the first PDU of a request and runs it. 0 while it runs, -1 when it
// ended (entry cleared).
int server_tsm_create(ServerTransaction* t, uint32_t port_index, bool snet_present, const BACnetAddress& routed_source,
                      const BACnetAddress& destination, const ServiceRequest& request);
// A PDU for the transaction, or none for a timer step. 0 while it runs, -1 when it ended.
int server_tsm_execute(ServerTransaction* t, const ApduPdu* pdu);
int server_tsm_execute_timer(ServerTransaction* t);
void server_tsm_destroy(ServerTransaction* t);
// Appends a request segment's data; -1 when the request would grow beyond its limit.
int server_tsm_append_segment(ServerTransaction* t, const ApduPdu& segment);

// The answer data of one ComplexACK segment for the requester's max-segments/max-APDU octet.
uint32_t server_tsm_segment_size(uint8_t max_segments_apdu);
// The segments a requester takes by the same octet, for sizing an answer; an unspecified
// number counts as one, more than 64 as 64.
uint32_t server_tsm_accepted_segments(uint8_t max_segments_apdu);

// The state functions: 0 done, -1 failed (the transaction then ends with a Reject).
int server_tsm_execute_idle_state(ServerTransaction* t, const ApduPdu* pdu);
int server_tsm_execute_segmented_request_state(ServerTransaction* t, const ApduPdu* pdu);
int server_tsm_execute_await_response_state(ServerTransaction* t, const ApduPdu* pdu);
int server_tsm_execute_segmented_response_state(ServerTransaction* t, const ApduPdu* pdu);

// The PDUs a server transaction sends; 0 sent, -1 refused.
int server_tsm_send_simple_ack(ServerTransaction* t);
int server_tsm_send_segment(ServerTransaction* t, uint32_t index, bool* more);
int server_tsm_send_window(ServerTransaction* t);
int server_tsm_send_error(ServerTransaction* t);
int server_tsm_send_reject(ServerTransaction* t, uint8_t reason);
int server_tsm_send_abort(ServerTransaction* t, uint8_t reason);
int server_tsm_send_segment_ack(ServerTransaction* t, bool negative, uint8_t sequence_number);
