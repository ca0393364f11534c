#include "bacnet/application/apdu.h"

#include "bacnet/network/network_main.h"

#include <array>

namespace {

// Header lengths per PDU type: unsegmented and segmented (only the two requests/acks that
// can be segmented differ).
struct HeaderLengths {
  uint8_t plain;
  uint8_t segmented;
};
constexpr std::array<HeaderLengths, 8> kHeaderLengths = {{
    {4, 6},  // Confirmed-Request: type, max segments/APDU, invoke id, (sequence, window), choice
    {2, 2},  // Unconfirmed-Request: type, choice
    {3, 3},  // SimpleACK: type, invoke id, choice
    {3, 5},  // ComplexACK: type, invoke id, (sequence, window), choice
    {4, 4},  // SegmentACK: type, invoke id, sequence, window
    {3, 3},  // Error: type, invoke id, choice
    {2, 2},  // Reject: type, invoke id (the reason follows as data)
    {2, 2},  // Abort: type, invoke id (the reason follows as data)
}};

bool segmentable(uint32_t type)
{
  return type == kApduConfirmedRequest || type == kApduComplexAck;
}

}  // namespace

uint32_t apdu_max_length(uint8_t code) { return datalink_max_apdu_length(code); }

uint8_t apdu_window_size(uint8_t octet)
{
  uint8_t size = octet & 0x7F;
  return size == 0 ? 1 : size;
}

std::size_t apdu_min_length(std::span<const uint8_t> apdu)
{
  if (apdu.empty())
    return 1;
  uint32_t type = apdu[0] >> 4;
  if (type >= kHeaderLengths.size())
    return SIZE_MAX;
  bool segmented = segmentable(type) && (apdu[0] & kApduSegmented);
  return segmented ? kHeaderLengths[type].segmented : kHeaderLengths[type].plain;
}

int apdu_decode(std::span<const uint8_t> apdu, ApduPdu* pdu)
{
  if (apdu.size() < apdu_min_length(apdu))
    return 8;
  *pdu = ApduPdu{};
  const uint8_t first = apdu[0];
  pdu->type = first >> 4;
  std::size_t at = 1;
  auto next = [&] { return apdu[at++]; };
  switch (pdu->type) {
  case kApduConfirmedRequest:
    pdu->segmented = (first & kApduSegmented) ? 1 : 0;
    pdu->more_follows = (first & kApduMoreFollows) ? 1 : 0;
    pdu->segmented_response_accepted = (first & kApduSegmentedResponseAccepted) ? 1 : 0;
    pdu->max_segments_apdu = next();
    pdu->invoke_id = next();
    if (pdu->segmented) {
      pdu->sequence_number = next();
      pdu->window_size = next();
    }
    pdu->service_choice = next();
    break;
  case kApduUnconfirmedRequest:
    pdu->service_choice = next();
    break;
  case kApduSimpleAck:
  case kApduError:
    pdu->invoke_id = next();
    pdu->service_choice = next();
    break;
  case kApduComplexAck:
    pdu->segmented = (first & kApduSegmented) ? 1 : 0;
    pdu->more_follows = (first & kApduMoreFollows) ? 1 : 0;
    pdu->invoke_id = next();
    if (pdu->segmented) {
      pdu->sequence_number = next();
      pdu->window_size = next();
    }
    pdu->service_choice = next();
    break;
  case kApduSegmentAck:
    pdu->negative_ack = (first & kApduNegativeAck) ? 1 : 0;
    pdu->server = (first & kApduFromServer) ? 1 : 0;
    pdu->invoke_id = next();
    pdu->sequence_number = next();
    pdu->window_size = next();
    break;
  case kApduReject:
    pdu->invoke_id = next();
    break;
  case kApduAbort:
    pdu->server = (first & kApduFromServer) ? 1 : 0;
    pdu->invoke_id = next();
    break;
  default:
    return 8;
  }
  pdu->data = apdu.subspan(at);
  return 0;
}

// The longest header in front of an APDU's service data: room reserved with it, so that an
// APDU is written without growing step by step.
constexpr std::size_t kApduLongestHeader = 6;

void apdu_encode_confirmed_request(uint8_t flags, uint8_t max_segments_apdu, uint8_t invoke_id,
                                   uint8_t sequence_number, uint8_t window_size, uint8_t service_choice,
                                   std::span<const uint8_t> data, std::vector<uint8_t>* out)
{
  out->reserve(out->size() + kApduLongestHeader + data.size());
  out->push_back(uint8_t(kApduConfirmedRequest << 4) | (flags & 0x0E));
  out->push_back(max_segments_apdu);
  out->push_back(invoke_id);
  if (flags & kApduSegmented) {
    out->push_back(sequence_number);
    out->push_back(window_size);
  }
  out->push_back(service_choice);
  out->insert(out->end(), data.begin(), data.end());
}

void apdu_encode_unconfirmed_request(uint8_t service_choice, std::span<const uint8_t> data,
                                     std::vector<uint8_t>* out)
{
  out->reserve(out->size() + kApduLongestHeader + data.size());
  out->push_back(uint8_t(kApduUnconfirmedRequest << 4));
  out->push_back(service_choice);
  out->insert(out->end(), data.begin(), data.end());
}

void apdu_encode_simple_ack(uint8_t invoke_id, uint8_t service_choice, std::vector<uint8_t>* out)
{
  out->insert(out->end(), {uint8_t(kApduSimpleAck << 4), invoke_id, service_choice});
}

void apdu_encode_complex_ack(uint8_t flags, uint8_t invoke_id, uint8_t sequence_number, uint8_t window_size,
                             uint8_t service_choice, std::span<const uint8_t> data, std::vector<uint8_t>* out)
{
  out->reserve(out->size() + kApduLongestHeader + data.size());
  out->push_back(uint8_t(kApduComplexAck << 4) | (flags & (kApduSegmented | kApduMoreFollows)));
  out->push_back(invoke_id);
  if (flags & kApduSegmented) {
    out->push_back(sequence_number);
    out->push_back(window_size);
  }
  out->push_back(service_choice);
  out->insert(out->end(), data.begin(), data.end());
}

void apdu_encode_segment_ack(bool negative, bool server, uint8_t invoke_id, uint8_t sequence_number,
                             uint8_t window_size, std::vector<uint8_t>* out)
{
  uint8_t first = uint8_t(kApduSegmentAck << 4) | (negative ? kApduNegativeAck : 0) | (server ? kApduFromServer : 0);
  out->insert(out->end(), {first, invoke_id, sequence_number, window_size});
}

void apdu_encode_error(uint8_t invoke_id, uint8_t service_choice, std::span<const uint8_t> data,
                       std::vector<uint8_t>* out)
{
  out->insert(out->end(), {uint8_t(kApduError << 4), invoke_id, service_choice});
  out->insert(out->end(), data.begin(), data.end());
}

void apdu_encode_reject(uint8_t invoke_id, uint8_t reason, std::vector<uint8_t>* out)
{
  out->insert(out->end(), {uint8_t(kApduReject << 4), invoke_id, reason});
}

void apdu_encode_abort(bool server, uint8_t invoke_id, uint8_t reason, std::vector<uint8_t>* out)
{
  out->insert(out->end(), {uint8_t((kApduAbort << 4) | (server ? kApduFromServer : 0)), invoke_id, reason});
}
