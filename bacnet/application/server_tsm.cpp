#include "bacnet/application/server_tsm.h"

#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/network/network_main.h"

#include <algorithm>

namespace {

// A segmented ComplexACK spends five octets on its header: type, invoke id, sequence number,
// window size and service choice.
constexpr uint32_t kSegmentedAnswerHeader = 5;
constexpr uint8_t kMaxProposedWindow = 5;

struct ServerSettings {
  ServerRequestCallback callback = nullptr;
  DriverLogFunction log = nullptr;
  int32_t segment_timeout = 3000;
  int32_t apdu_timeout = 3000;
  int32_t retries = 0;
};

ServerSettings settings;

void trace(const char* text)
{
  if (settings.log)
    settings.log(kServerTsmLogLevel, text);
}

// The transaction ends by coming back to IDLE; server_tsm_execute then destroys it.
int end(ServerTransaction* t)
{
  t->state = kServerIdle;
  return 0;
}

int send(ServerTransaction* t, const std::vector<uint8_t>& apdu)
{
  return network_send_on_port(int(t->port_index), &t->destination, t->source, t->snet_present != 0,
                              t->routed_source, apdu, 0);
}

uint32_t segment_size(const ServerTransaction* t) { return server_tsm_segment_size(t->request.max_segments_apdu); }

uint32_t total_segments(const ServerTransaction* t)
{
  uint32_t size = segment_size(t);
  return uint32_t((t->answer.data.size() + size - 1) / size);
}

// The segments the requester takes: bits 4-6 of its max-segments octet give 2, 4 ... 64;
// 0 (unspecified) and 7 (more than 64) set no limit of their own.
bool requester_takes_all(const ServerTransaction* t)
{
  uint32_t code = (t->request.max_segments_apdu >> 4) & 0x07;
  return code == 0 || code == 7 || total_segments(t) <= (1u << code);
}

// Hands the complete request to the handlers; their refusal fails the state.
int deliver(ServerTransaction* t)
{
  if (!settings.callback)
    return -1;
  ServiceRequest request;
  static_cast<ApduFields&>(request) = t->request;
  request.source = t->source;
  request.data = t->request_data;
  t->answer = ServiceAnswer{};
  if (settings.callback(t->destination, request, &t->answer, t->snet_present != 0, t->routed_source) != 0)
    return -1;
  t->state = kServerAwaitResponse;
  return 0;
}

int send_complex_ack_whole(ServerTransaction* t)
{
  std::vector<uint8_t> apdu;
  apdu_encode_complex_ack(0, t->request.invoke_id, 0, 0, t->request.service_choice, t->answer.data, &apdu);
  return send(t, apdu);
}

int run_state(ServerTransaction* t, const ApduPdu* pdu)
{
  switch (t->state) {
  case kServerIdle:
    return server_tsm_execute_idle_state(t, pdu);
  case kServerSegmentedRequest:
    return server_tsm_execute_segmented_request_state(t, pdu);
  case kServerAwaitResponse:
    return server_tsm_execute_await_response_state(t, pdu);
  case kServerSegmentedResponse:
    return server_tsm_execute_segmented_response_state(t, pdu);
  default:
    return -1;
  }
}

}  // namespace

uint32_t server_tsm_segment_size(uint8_t max_segments_apdu)
{
  return apdu_max_length(max_segments_apdu & 0x0F) - kSegmentedAnswerHeader;
}

uint32_t server_tsm_accepted_segments(uint8_t max_segments_apdu)
{
  static constexpr uint32_t kAccepted[8] = {1, 2, 4, 8, 16, 32, 64, 64};
  return kAccepted[(max_segments_apdu >> 4) & 0x07];
}

void server_tsm_init(ServerRequestCallback callback, const DriverContext* context, int32_t segment_timeout,
                     int32_t apdu_timeout, int32_t retries)
{
  settings.callback = callback;
  settings.log = (context && context->options[kServerTsmTraceOption]) ? context->log : nullptr;
  settings.segment_timeout = segment_timeout;
  settings.apdu_timeout = apdu_timeout;
  settings.retries = retries;
}

void server_tsm_set_timing(int32_t segment_timeout, int32_t apdu_timeout, int32_t retries)
{
  settings.segment_timeout = segment_timeout;
  settings.apdu_timeout = apdu_timeout;
  settings.retries = retries;
}

int server_tsm_create(ServerTransaction* t, uint32_t port_index, bool snet_present, const BACnetAddress& routed_source,
                      const BACnetAddress& destination, const ServiceRequest& request)
{
  trace("server_tsm_create");
  *t = ServerTransaction{};
  t->port_index = port_index;
  t->snet_present = snet_present ? 1 : 0;
  if (snet_present)
    t->routed_source = routed_source;
  t->destination = destination;
  t->source = request.source;
  t->request = request;
  t->request_data.assign(request.data.begin(), request.data.end());
  t->segment_timeout = settings.segment_timeout;
  t->apdu_timeout = settings.apdu_timeout;
  t->retries = settings.retries;
  t->in_use = 1;
  t->state = kServerIdle;
  ApduPdu first;
  static_cast<ApduFields&>(first) = request;
  first.data = request.data;
  return server_tsm_execute(t, &first);
}

int server_tsm_execute(ServerTransaction* t, const ApduPdu* pdu)
{
  trace("server_tsm_execute");
  if (!t->in_use)
    return 0;
  ServerState before = t->state;
  int result = run_state(t, pdu);
  // An answer prepared by the handlers goes out in the same step.
  if (result == 0 && (before == kServerIdle || before == kServerSegmentedRequest) &&
      t->state == kServerAwaitResponse)
    result = server_tsm_execute_await_response_state(t, nullptr);
  if (result != 0) {
    server_tsm_send_reject(t, kRejectOther);
    t->state = kServerIdle;
  }
  if (t->state == kServerIdle) {
    server_tsm_destroy(t);
    return -1;
  }
  return 0;
}

int server_tsm_execute_timer(ServerTransaction* t)
{
  if (!t->in_use)
    return 0;
  return server_tsm_execute(t, nullptr);
}

void server_tsm_destroy(ServerTransaction* t)
{
  trace("server_tsm_destroy");
  *t = ServerTransaction{};
}

int server_tsm_append_segment(ServerTransaction* t, const ApduPdu& segment)
{
  if (t->request_data.size() + segment.data.size() > kApduReassemblyLimit)
    return -1;
  t->request_data.insert(t->request_data.end(), segment.data.begin(), segment.data.end());
  return 0;
}

int server_tsm_execute_idle_state(ServerTransaction* t, const ApduPdu* pdu)
{
  trace("server_tsm_execute_idle_state");
  if (!pdu)
    return end(t);
  if (!pdu->segmented)
    return deliver(t);
  // Only a first segment can open a transaction; a later one belongs to a request we lost.
  if (pdu->sequence_number != 0) {
    server_tsm_send_abort(t, kAbortInvalidApduInThisState);
    return end(t);
  }
  t->segment_timer = os_monotonic_ms();
  t->last_sequence = 0;
  t->initial_sequence = 0;
  t->window_count = apdu_window_size(pdu->window_size);
  if (server_tsm_send_segment_ack(t, false, 0) != 0)
    return end(t);
  // A segmented request whose first segment is its last is already complete.
  if (!pdu->more_follows)
    return deliver(t);
  t->state = kServerSegmentedRequest;
  return 0;
}

int server_tsm_execute_segmented_request_state(ServerTransaction* t, const ApduPdu* pdu)
{
  trace("server_tsm_execute_segmented_request_state");
  int64_t now = os_monotonic_ms();
  if (!pdu) {
    if (now - t->segment_timer >= int64_t(4) * t->segment_timeout)
      return end(t);
    return 0;
  }
  if (pdu->type == kApduAbort)
    return end(t);  // the requester gave up
  if (pdu->type != kApduConfirmedRequest || !pdu->segmented) {
    server_tsm_send_abort(t, kAbortInvalidApduInThisState);
    return end(t);
  }
  if (pdu->sequence_number != uint8_t(t->last_sequence + 1)) {
    server_tsm_send_segment_ack(t, true, t->last_sequence);
    return 0;
  }
  if (server_tsm_append_segment(t, *pdu) != 0) {
    server_tsm_send_abort(t, kAbortBufferOverflow);
    return end(t);
  }
  if (!pdu->more_follows) {
    server_tsm_send_segment_ack(t, false, pdu->sequence_number);
    return deliver(t);
  }
  t->last_sequence = pdu->sequence_number;
  t->segment_timer = now;
  if (pdu->sequence_number == uint8_t(t->initial_sequence + t->window_count)) {
    if (server_tsm_send_segment_ack(t, false, pdu->sequence_number) != 0)
      return end(t);
    t->initial_sequence = pdu->sequence_number;
  }
  return 0;
}

int server_tsm_execute_await_response_state(ServerTransaction* t, const ApduPdu*)
{
  trace("server_tsm_execute_await_response_state");
  switch (t->answer.kind) {
  case kAnswerSimpleAck:
    server_tsm_send_simple_ack(t);
    return end(t);
  case kAnswerComplexAck: {
    std::size_t size = segment_size(t);
    if (t->answer.data.size() < size) {
      send_complex_ack_whole(t);
      return end(t);
    }
    if (!t->request.segmented_response_accepted) {
      server_tsm_send_abort(t, kAbortSegmentationNotSupported);
      return end(t);
    }
    if (!requester_takes_all(t)) {
      server_tsm_send_abort(t, kAbortApduTooLong);
      return end(t);
    }
    t->retry_count = 0;
    t->initial_sequence = 0;
    t->window_base = 0;
    t->segment_counter = 0;
    t->proposed_window = uint8_t(std::clamp<std::size_t>(t->answer.data.size() / size, 1, kMaxProposedWindow));
    t->window_count = 1;
    t->segment_timer = os_monotonic_ms();
    t->state = kServerSegmentedResponse;
    if (server_tsm_send_window(t) != 0)
      return end(t);
    return 0;
  }
  case kAnswerError:
    if (server_tsm_send_error(t) != 0)
      return -1;
    return end(t);
  case kAnswerReject:
    server_tsm_send_reject(t, t->answer.reject_reason);
    return end(t);
  default:
    server_tsm_send_abort(t, t->answer.kind <= kApduAbort ? t->answer.abort_reason : kAbortInvalidApduInThisState);
    return end(t);
  }
}

int server_tsm_execute_segmented_response_state(ServerTransaction* t, const ApduPdu* pdu)
{
  trace("server_tsm_execute_segmented_response_state");
  int64_t now = os_monotonic_ms();
  if (!pdu) {
    if (now - t->segment_timer < t->apdu_timeout)
      return 0;
    if (t->retry_count > uint32_t(t->retries))
      return end(t);
    ++t->retry_count;
    t->segment_timer = now;
    t->segment_counter = t->window_base;
    if (server_tsm_send_window(t) != 0)
      return end(t);
    return 0;
  }
  if (pdu->type == kApduAbort)
    return end(t);
  if (pdu->type != kApduSegmentAck) {
    server_tsm_send_abort(t, kAbortInvalidApduInThisState);
    return end(t);
  }
  uint8_t distance = uint8_t(pdu->sequence_number - t->initial_sequence);
  if (distance >= t->segment_counter - t->window_base) {
    t->segment_timer = now;
    return 0;
  }
  uint32_t acknowledged = t->window_base + distance;
  if (acknowledged + 1 >= total_segments(t))
    return end(t);
  // Also after a negative acknowledgement: the next window starts behind the last good one.
  t->initial_sequence = uint8_t(pdu->sequence_number + 1);
  t->window_base = acknowledged + 1;
  t->segment_counter = t->window_base;
  t->window_count = apdu_window_size(pdu->window_size);
  t->segment_timer = now;
  t->retry_count = 0;
  if (server_tsm_send_window(t) != 0)
    return end(t);
  return 0;
}

int server_tsm_send_simple_ack(ServerTransaction* t)
{
  std::vector<uint8_t> apdu;
  apdu_encode_simple_ack(t->request.invoke_id, t->request.service_choice, &apdu);
  return send(t, apdu);
}

int server_tsm_send_segment(ServerTransaction* t, uint32_t index, bool* more)
{
  std::size_t size = segment_size(t);
  std::size_t offset = std::size_t(index) * size;
  if (offset >= t->answer.data.size())
    return -1;
  std::size_t length = std::min(size, t->answer.data.size() - offset);
  *more = offset + length < t->answer.data.size();
  std::vector<uint8_t> apdu;
  apdu_encode_complex_ack(kApduSegmented | (*more ? kApduMoreFollows : 0), t->request.invoke_id, uint8_t(index),
                          t->proposed_window, t->request.service_choice,
                          std::span<const uint8_t>(t->answer.data).subspan(offset, length), &apdu);
  return send(t, apdu);
}

int server_tsm_send_window(ServerTransaction* t)
{
  uint32_t total = total_segments(t);
  for (uint32_t i = 0; i < t->window_count && t->segment_counter < total; ++i) {
    bool more = false;
    if (server_tsm_send_segment(t, t->segment_counter, &more) != 0)
      return -1;
    ++t->segment_counter;
    if (!more) {
      t->sent_all = 1;
      break;
    }
  }
  return 0;
}

int server_tsm_send_error(ServerTransaction* t)
{
  if (t->answer.data.empty())
    return -1;
  std::vector<uint8_t> apdu;
  apdu_encode_error(t->request.invoke_id, t->request.service_choice, t->answer.data, &apdu);
  return send(t, apdu);
}

int server_tsm_send_reject(ServerTransaction* t, uint8_t reason)
{
  std::vector<uint8_t> apdu;
  apdu_encode_reject(t->request.invoke_id, reason, &apdu);
  return send(t, apdu);
}

int server_tsm_send_abort(ServerTransaction* t, uint8_t reason)
{
  std::vector<uint8_t> apdu;
  apdu_encode_abort(true, t->request.invoke_id, reason, &apdu);
  return send(t, apdu);
}

int server_tsm_send_segment_ack(ServerTransaction* t, bool negative, uint8_t sequence_number)
{
  std::vector<uint8_t> apdu;
  apdu_encode_segment_ack(negative, true, t->request.invoke_id, sequence_number, t->window_count, &apdu);
  return send(t, apdu);
}
