// The APDU headers of the application layer: reading a received APDU into its header fields
// and writing the PDUs that the application layer and the transactions send.
// Pure functions on buffers (stack thread and the fuzz target); they keep no state, never
// read outside the given buffer and never look into the service data behind the header.
#pragma once

#include "bacnet/foundation/bacnet_numbers.h"

#include <cstdint>
#include <span>
#include <vector>

inline constexpr std::size_t kApduMaxLength = 2056;

// The PDU type in bits 7-4 of the first octet.
enum ApduType : uint32_t {
  kApduConfirmedRequest = 0,
  kApduUnconfirmedRequest = 1,
  kApduSimpleAck = 2,
  kApduComplexAck = 3,
  kApduSegmentAck = 4,
  kApduError = 5,
  kApduReject = 6,
  kApduAbort = 7,
};

// Flag bits of the first octet.
inline constexpr uint8_t kApduSegmented = 0x08;
inline constexpr uint8_t kApduMoreFollows = 0x04;
inline constexpr uint8_t kApduSegmentedResponseAccepted = 0x02;
inline constexpr uint8_t kApduNegativeAck = 0x02;
inline constexpr uint8_t kApduFromServer = 0x01;

// Max segments 16 in bits 6-4 of a request's second octet; the low four bits carry the
// max-APDU code.
inline constexpr uint8_t kApduMaxSegments16 = 0x40;

// The most service data one segmented message may gather; a peer that sends more is aborted
// rather than allowed to grow the buffer without end.
inline constexpr std::size_t kApduReassemblyLimit = std::size_t(1) << 17;

// The largest APDU of a max-APDU code: 50, 128, 206, 480, 1024, 1476 octets for 0..5; the
// reserved codes above 5 count as 1476.
uint32_t apdu_max_length(uint8_t code);

// The header fields of one received PDU. Which fields are filled depends on the type:
// Confirmed-Request: segmented, more_follows, segmented_response_accepted, max_segments_apdu,
//   invoke_id, (sequence_number, window_size when segmented), service_choice;
// Unconfirmed-Request: service_choice; SimpleACK and Error: invoke_id, service_choice;
// ComplexACK: segmented, more_follows, invoke_id, (sequence_number, window_size), service_choice;
// SegmentACK: negative_ack, server, invoke_id, sequence_number, window_size;
// Reject and Abort: invoke_id (Abort also server); their data begins with the reason.
struct ApduFields {
  uint32_t type = 0;
  uint8_t segmented = 0;
  uint8_t more_follows = 0;
  uint8_t segmented_response_accepted = 0;
  uint8_t negative_ack = 0;
  uint8_t server = 0;
  uint8_t max_segments_apdu = 0;
  uint8_t invoke_id = 0;
  uint8_t sequence_number = 0;
  uint8_t window_size = 0;
  uint8_t service_choice = 0;
};

// A received PDU: its header fields and a view of the octets behind the header.
struct ApduPdu : ApduFields {
  std::span<const uint8_t> data;
};

// The shortest APDU of each type that holds its header; a Confirmed-Request needs its service
// choice, so 4 octets, 6 when segmented (the segmented flag is in the first octet).
std::size_t apdu_min_length(std::span<const uint8_t> apdu);

// 0 with the fields filled, 8 when the APDU is empty, of an unknown type or shorter than its
// header.
int apdu_decode(std::span<const uint8_t> apdu, ApduPdu* pdu);

// Writers; each appends one PDU to `out`.
void apdu_encode_confirmed_request(uint8_t flags, uint8_t max_segments_apdu, uint8_t invoke_id,
                                   uint8_t sequence_number, uint8_t window_size, uint8_t service_choice,
                                   std::span<const uint8_t> data, std::vector<uint8_t>* out);
void apdu_encode_unconfirmed_request(uint8_t service_choice, std::span<const uint8_t> data,
                                     std::vector<uint8_t>* out);
void apdu_encode_simple_ack(uint8_t invoke_id, uint8_t service_choice, std::vector<uint8_t>* out);
void apdu_encode_complex_ack(uint8_t flags, uint8_t invoke_id, uint8_t sequence_number, uint8_t window_size,
                             uint8_t service_choice, std::span<const uint8_t> data, std::vector<uint8_t>* out);
void apdu_encode_segment_ack(bool negative, bool server, uint8_t invoke_id, uint8_t sequence_number,
                             uint8_t window_size, std::vector<uint8_t>* out);
void apdu_encode_error(uint8_t invoke_id, uint8_t service_choice, std::span<const uint8_t> data,
                       std::vector<uint8_t>* out);
void apdu_encode_reject(uint8_t invoke_id, uint8_t reason, std::vector<uint8_t>* out);
void apdu_encode_abort(bool server, uint8_t invoke_id, uint8_t reason, std::vector<uint8_t>* out);

// Window sizes travel in 7 bits; 0 would stall a window, so it counts as 1.
uint8_t apdu_window_size(uint8_t octet);
