#include "bacnet/application/client_tsm.h"

#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/network/network_main.h"

#include <algorithm>

namespace {

// A segmented Confirmed-Request spends six octets on its header: type, max segments and
// APDU, invoke id, sequence number, window size and service choice.
constexpr uint32_t kSegmentedRequestHeader = 6;
constexpr uint8_t kMaxProposedWindow = 5;

struct ClientSettings {
  ClientCompletionCallback completion = nullptr;
  DriverLogFunction log = nullptr;
  int32_t segment_timeout = 3000;
  int32_t apdu_timeout = 3000;
  int32_t retries = 0;
};

ClientSettings settings;

void trace(const char* text)
{
  if (settings.log)
    settings.log(kClientTsmLogLevel, text);
}

// The transaction ends by coming back to IDLE; its caller then destroys it.
void end(ClientTransaction* t) { t->state = kClientIdle; }

void end_without_result(ClientTransaction* t)
{
  t->result = ClientResult{};
  end(t);
}

void end_timed_out(ClientTransaction* t)
{
  t->timed_out = 1;
  end_without_result(t);
}

void keep_result(ClientTransaction* t, const ApduPdu& pdu)
{
  static_cast<ApduFields&>(t->result) = pdu;
  t->result.present = true;
  t->result.data.assign(pdu.data.begin(), pdu.data.end());
}

int send(ClientTransaction* t, const std::vector<uint8_t>& apdu, bool expecting_reply)
{
  return network_unit_data_request(t->destination, apdu, expecting_reply ? 1 : 0, false, -1);
}

uint32_t segment_size(const ClientTransaction* t) { return client_tsm_segment_size(t->max_apdu_code); }

uint32_t total_segments(const ClientTransaction* t)
{
  uint32_t size = segment_size(t);
  return uint32_t((t->service_data.size() + size - 1) / size);
}

int send_unsegmented(ClientTransaction* t)
{
  std::vector<uint8_t> apdu;
  apdu_encode_confirmed_request(kApduSegmentedResponseAccepted, kApduMaxSegments16 | (t->max_apdu_code & 0x0F),
                                t->invoke_id, 0, 0, t->service_choice, t->service_data, &apdu);
  return send(t, apdu, true);
}

// Sends request segment `index`; `more` tells whether data follows it.
int send_segment(ClientTransaction* t, uint32_t index, bool* more)
{
  std::size_t size = segment_size(t);
  std::size_t offset = std::size_t(index) * size;
  std::size_t length = std::min(size, t->service_data.size() - offset);
  *more = offset + length < t->service_data.size();
  uint8_t flags = kApduSegmentedResponseAccepted | kApduSegmented | (*more ? kApduMoreFollows : 0);
  std::vector<uint8_t> apdu;
  apdu_encode_confirmed_request(flags, kApduMaxSegments16 | (t->max_apdu_code & 0x0F), t->invoke_id,
                                uint8_t(index), t->proposed_window, t->service_choice,
                                std::span<const uint8_t>(t->service_data).subspan(offset, length), &apdu);
  return send(t, apdu, true);
}

// Sends the segments of the current window from the segment counter on.
int send_window(ClientTransaction* t)
{
  uint32_t total = total_segments(t);
  for (uint32_t i = 0; i < t->window_count && t->segment_counter < total; ++i) {
    bool more = false;
    if (send_segment(t, t->segment_counter, &more) != 0)
      return -1;
    ++t->segment_counter;
    if (!more) {
      t->sent_all = 1;
      break;
    }
  }
  return 0;
}

int send_segment_ack(ClientTransaction* t, bool negative, uint8_t sequence_number)
{
  std::vector<uint8_t> apdu;
  apdu_encode_segment_ack(negative, false, t->invoke_id, sequence_number, t->window_count, &apdu);
  return send(t, apdu, false);
}

// A PDU that does not belong here: the server learns that we gave up, the requester gets
// the PDU.
void abort_unexpected(ClientTransaction* t, const ApduPdu& pdu)
{
  keep_result(t, pdu);
  std::vector<uint8_t> apdu;
  apdu_encode_abort(false, t->invoke_id, kAbortOther, &apdu);
  send(t, apdu, true);
  end(t);
}

void start_segmented_confirmation(ClientTransaction* t, const ApduPdu& pdu)
{
  int64_t now = os_monotonic_ms();
  t->segment_timer = now;
  t->request_timer = now;
  t->last_sequence = 0;
  t->initial_sequence = 0;
  t->window_count = apdu_window_size(pdu.window_size);
  keep_result(t, pdu);
  if (send_segment_ack(t, false, 0) != 0) {
    end_without_result(t);
    return;
  }
  if (!pdu.more_follows) {
    // A segmented answer whose first segment is its last is already complete.
    t->success = 1;
    end(t);
    return;
  }
  t->state = kClientSegmentedConfirmation;
}

// The final answers that AWAIT_CONFIRMATION and SEGMENTED_REQUEST share once the whole request
// is out. True when the PDU was one of them.
bool take_final_answer(ClientTransaction* t, const ApduPdu& pdu)
{
  if (!t->sent_all)
    return false;
  switch (pdu.type) {
  case kApduSimpleAck:
    keep_result(t, pdu);
    t->success = 1;
    end(t);
    return true;
  case kApduComplexAck:
    if (!pdu.segmented) {
      keep_result(t, pdu);
      t->success = 1;
      end(t);
      return true;
    }
    if (pdu.sequence_number == 0) {
      start_segmented_confirmation(t, pdu);
      return true;
    }
    return false;
  case kApduError:
  case kApduReject:
    keep_result(t, pdu);
    end(t);
    return true;
  default:
    return false;
  }
}

}  // namespace

uint32_t client_tsm_segment_size(uint8_t max_apdu_code)
{
  return apdu_max_length(max_apdu_code) - kSegmentedRequestHeader;
}

void client_tsm_init(ClientCompletionCallback completion, const DriverContext* context, int32_t segment_timeout,
                     int32_t apdu_timeout, int32_t retries)
{
  settings.completion = completion;
  settings.log = (context && context->options[kClientTsmTraceOption]) ? context->log : nullptr;
  settings.segment_timeout = segment_timeout;
  settings.apdu_timeout = apdu_timeout;
  settings.retries = retries;
}

void client_tsm_set_timing(int32_t segment_timeout, int32_t apdu_timeout, int32_t retries)
{
  settings.segment_timeout = segment_timeout;
  settings.apdu_timeout = apdu_timeout;
  settings.retries = retries;
}

int client_tsm_create(ClientTransaction* t, ClientRequestCallback callback, void* user_data,
                      const ApduRequest& request)
{
  trace("client_tsm_create");
  *t = ClientTransaction{};
  t->callback = callback;
  t->user_data = user_data;
  t->destination = request.destination;
  t->service_choice = request.service_choice;
  t->max_apdu_code = request.max_apdu_code;
  t->invoke_id = request.invoke_id;
  t->service_data.assign(request.data.begin(), request.data.end());
  t->segment_timeout = settings.segment_timeout;
  t->apdu_timeout = settings.apdu_timeout;
  t->retries = settings.retries;
  t->in_use = 1;
  t->state = kClientIdle;
  client_tsm_execute_idle_state(t);
  if (t->state == kClientIdle) {
    client_tsm_destroy(t);
    return -1;
  }
  return 0;
}

int client_tsm_execute_indication(ClientTransaction* t, const ApduPdu& pdu)
{
  if (!t->in_use)
    return 0;
  t->heard = 1;
  switch (t->state) {
  case kClientSegmentedRequest:
    client_tsm_execute_segmented_request_state(t, &pdu);
    break;
  case kClientAwaitConfirmation:
    client_tsm_execute_await_confirmation_state(t, &pdu);
    break;
  case kClientSegmentedConfirmation:
    client_tsm_execute_segmented_confirmation_state(t, &pdu);
    break;
  default:
    end_without_result(t);
    break;
  }
  if (t->state == kClientIdle) {
    client_tsm_destroy(t);
    return -1;
  }
  return 0;
}

int client_tsm_execute_timer(ClientTransaction* t)
{
  if (!t->in_use)
    return 0;
  switch (t->state) {
  case kClientSegmentedRequest:
    client_tsm_execute_segmented_request_state(t, nullptr);
    break;
  case kClientAwaitConfirmation:
    client_tsm_execute_await_confirmation_state(t, nullptr);
    break;
  case kClientSegmentedConfirmation:
    client_tsm_execute_segmented_confirmation_state(t, nullptr);
    break;
  default:
    end_without_result(t);
    break;
  }
  if (t->state == kClientIdle) {
    client_tsm_destroy(t);
    return -1;
  }
  return 0;
}

void client_tsm_destroy(ClientTransaction* t)
{
  trace("client_tsm_destroy");
  if (t->in_use) {
    // Cleared before the callbacks run, so that nothing they do can find it still in use.
    ClientTransaction ended = std::move(*t);
    *t = ClientTransaction{};
    // Any answer shows the peer alive, an Error or Abort as much as an acknowledgement.
    if (settings.completion && (ended.heard || ended.timed_out))
      settings.completion(ended.heard, ended.destination);
    if (ended.callback)
      ended.callback(ended.user_data, int(ended.success), ended.destination, ended.result);
    return;
  }
  *t = ClientTransaction{};
}

void client_tsm_execute_idle_state(ClientTransaction* t)
{
  trace("client_tsm_execute_idle_state");
  int64_t now = os_monotonic_ms();
  if (t->service_data.size() < segment_size(t)) {
    t->sent_all = 1;
    t->retry_count = 0;
    t->request_timer = now;
    if (send_unsegmented(t) != 0)
      return end_without_result(t);
    t->state = kClientAwaitConfirmation;
    return;
  }
  t->segment_counter = 0;
  t->window_base = 0;
  t->retry_count = 0;
  t->segment_retry_count = 0;
  t->sent_all = 0;
  t->initial_sequence = 0;
  t->proposed_window =
      uint8_t(std::clamp<std::size_t>(t->service_data.size() / segment_size(t), 1, kMaxProposedWindow));
  t->window_count = 1;
  t->segment_timer = now;
  t->request_timer = now;
  if (send_window(t) != 0)
    return end_without_result(t);
  t->state = kClientSegmentedRequest;
}

void client_tsm_execute_segmented_request_state(ClientTransaction* t, const ApduPdu* pdu)
{
  trace("client_tsm_execute_segmented_request_state");
  int64_t now = os_monotonic_ms();
  if (!pdu) {
    if (now - t->segment_timer < t->apdu_timeout)
      return;
    if (t->segment_retry_count >= uint32_t(t->retries))
      return end_timed_out(t);
    ++t->segment_retry_count;
    t->segment_timer = now;
    t->segment_counter = t->window_base;
    if (send_window(t) != 0)
      end_without_result(t);
    return;
  }

  if (pdu->type == kApduSegmentAck) {
    uint8_t distance = uint8_t(pdu->sequence_number - t->initial_sequence);
    if (distance >= t->segment_counter - t->window_base) {
      t->segment_timer = now;  // a duplicate
      return;
    }
    uint32_t acknowledged = t->window_base + distance;
    if (acknowledged + 1 < total_segments(t)) {
      // Also after a negative acknowledgement: the window goes on behind the last good one.
      t->initial_sequence = uint8_t(pdu->sequence_number + 1);
      t->window_base = acknowledged + 1;
      t->segment_counter = t->window_base;
      t->window_count = apdu_window_size(pdu->window_size);
      t->segment_retry_count = 0;
      t->segment_timer = now;
      if (send_window(t) != 0)
        end_without_result(t);
      return;
    }
    t->segment_timer = now;
    t->request_timer = now;
    t->state = kClientAwaitConfirmation;
    return;
  }
  if (take_final_answer(t, *pdu))
    return;
  if (pdu->type == kApduAbort) {
    keep_result(t, *pdu);
    return end(t);
  }
  abort_unexpected(t, *pdu);
}

void client_tsm_execute_await_confirmation_state(ClientTransaction* t, const ApduPdu* pdu)
{
  trace("client_tsm_execute_await_confirmation_state");
  int64_t now = os_monotonic_ms();
  if (!pdu) {
    if (now - t->request_timer < t->apdu_timeout)
      return;
    if (t->retry_count >= uint32_t(t->retries))
      return end_timed_out(t);
    ++t->retry_count;
    t->request_timer = now;
    t->segment_timer = now;
    if (t->service_data.size() < segment_size(t)) {
      if (send_unsegmented(t) != 0)
        end_without_result(t);
      return;
    }
    // The server may have lost the whole request: it goes again from its first segment.
    t->segment_counter = 0;
    t->window_base = 0;
    t->initial_sequence = 0;
    t->window_count = 1;
    t->segment_retry_count = 0;
    t->state = kClientSegmentedRequest;
    if (send_window(t) != 0)
      end_without_result(t);
    return;
  }
  // A late SegmentACK for a request that is already complete changes nothing.
  if (pdu->type == kApduSegmentAck)
    return;
  if (take_final_answer(t, *pdu))
    return;
  keep_result(t, *pdu);
  end(t);
}

void client_tsm_execute_segmented_confirmation_state(ClientTransaction* t, const ApduPdu* pdu)
{
  trace("client_tsm_execute_segmented_confirmation_state");
  int64_t now = os_monotonic_ms();
  if (!pdu) {
    if (now - t->segment_timer >= int64_t(4) * t->segment_timeout)
      end_timed_out(t);
    return;
  }
  switch (pdu->type) {
  case kApduComplexAck:
    break;
  case kApduAbort:
    keep_result(t, *pdu);
    return end(t);
  case kApduError:
  case kApduReject:
  case kApduSimpleAck:
    return end_without_result(t);
  default:
    return;  // a late SegmentACK
  }
  if (!pdu->segmented || !t->sent_all)
    return abort_unexpected(t, *pdu);
  if (pdu->sequence_number != uint8_t(t->last_sequence + 1)) {
    send_segment_ack(t, true, t->last_sequence);
    return;
  }
  if (t->result.data.size() + pdu->data.size() > kApduReassemblyLimit) {
    std::vector<uint8_t> apdu;
    apdu_encode_abort(false, t->invoke_id, kAbortBufferOverflow, &apdu);
    send(t, apdu, true);
    return end_without_result(t);
  }
  t->result.data.insert(t->result.data.end(), pdu->data.begin(), pdu->data.end());
  if (!pdu->more_follows) {
    send_segment_ack(t, false, pdu->sequence_number);
    t->success = 1;
    return end(t);
  }
  t->last_sequence = pdu->sequence_number;
  t->segment_timer = now;
  if (pdu->sequence_number == uint8_t(t->initial_sequence + t->window_count)) {
    if (send_segment_ack(t, false, pdu->sequence_number) != 0)
      return end_without_result(t);
    t->initial_sequence = pdu->sequence_number;
  }
}
