// Acknowledgements of the main-road services (ReadProperty, ReadPropertyMultiple and the
// file services); the other acknowledgements stand beside their requests, the error forms
// in codec_errors.h. Encoder and decoder of each answer side by
// side. Any thread; no state. The buffer of a decoder holds exactly the parameters behind
// the APDU header. Must not: read outside it.
#pragma once

#include "bacnet/codec/codec_errors.h"
#include "bacnet/codec/codec_requests.h"

// The value is owned by the record: release with pdu_free_read_property_ack.
struct ReadPropertyAck {
  BACnetObjectId object{999, 0};
  uint32_t property = 0;
  int32_t array_index = -1;
  BACnetValue value{};
};
int pdu_encode_read_property_ack(pdu_buffer* buffer, const ReadPropertyAck* ack);
int pdu_decode_read_property_ack(pdu_buffer* buffer, ReadPropertyAck* ack);
void pdu_free_read_property_ack(ReadPropertyAck* ack);

// The results are owned by the record: release with pdu_free_read_property_multiple_ack.
// A failed decoding keeps the results read so far.
struct ReadPropertyMultipleAck {
  ReadAccessResultList results{};
};
int pdu_encode_read_property_multiple_ack(pdu_buffer* buffer, const ReadPropertyMultipleAck* ack);
int pdu_decode_read_property_multiple_ack(pdu_buffer* buffer, ReadPropertyMultipleAck* ack);
void pdu_free_read_property_multiple_ack(ReadPropertyMultipleAck* ack);

struct AtomicReadFileAck {
  bool end_of_file = false;
  uint32_t access = FILE_ACCESS_STREAM;
  int32_t start = 0;
  uint32_t record_count = 0;  // record access only; the data is one record
  std::vector<uint8_t> data;
};
int pdu_encode_atomic_read_file_ack(pdu_buffer* buffer, const AtomicReadFileAck* ack);
// An access choice other than stream or record is malformed.
int pdu_decode_atomic_read_file_ack(pdu_buffer* buffer, AtomicReadFileAck* ack);

struct AtomicWriteFileAck {
  uint32_t access = FILE_ACCESS_STREAM;
  int32_t start = 0;
};
int pdu_encode_atomic_write_file_ack(pdu_buffer* buffer, const AtomicWriteFileAck* ack);
int pdu_decode_atomic_write_file_ack(pdu_buffer* buffer, AtomicWriteFileAck* ack);
