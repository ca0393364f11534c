// Object and list services: AddListElement and RemoveListElement, CreateObject,
// DeleteObject, WritePropertyMultiple, ReadPropertyConditional and ReadRange, each request
// next to its acknowledgement. Any thread; no state. The buffer of a decoder holds exactly
// the service data. Must not: read outside it.
#pragma once

#include "bacnet/codec/codec_acks.h"

// ---- AddListElement (confirmed 8), RemoveListElement (9) ---------------------------------

// The elements are owned by the record: release with pdu_free_list_element_request.
struct ListElementRequest {
  BACnetObjectId object{999, 0};
  uint32_t property = 0;
  int32_t array_index = -1;
  // Written with application tags inside [3]{ }: an any-value entry (tag 56) as its nested
  // value, a list element by element, NULL as an empty list. Decoded by the property.
  BACnetValue elements{};
};
int pdu_encode_list_element_request(pdu_buffer* buffer, const ListElementRequest* request);
int pdu_decode_list_element_request(pdu_buffer* buffer, ListElementRequest* request);
void pdu_free_list_element_request(ListElementRequest* request);

// ---- CreateObject (confirmed 10) ---------------------------------------------------------

// The initial values are owned by the record: release with pdu_free_create_object_request.
struct CreateObjectRequest {
  int32_t choice = -1;  // 0 by object type, 1 by object identifier
  uint32_t object_type = 0;
  BACnetObjectId object{999, 0};
  BACnetValue initial_values{};  // NULL none, one PropertyValue (tag 49) or a list (tag 87)
};
int pdu_encode_create_object_request(pdu_buffer* buffer, const CreateObjectRequest* request);
// Without initial values in the request the field keeps what the caller prepared.
int pdu_decode_create_object_request(pdu_buffer* buffer, CreateObjectRequest* request);
void pdu_free_create_object_request(CreateObjectRequest* request);

// The acknowledgement is written with pdu_encode_object_identifier; the decoder also takes
// the identifier under context tag 0.
int pdu_decode_create_object_ack(pdu_buffer* buffer, BACnetObjectId* object);

// ---- DeleteObject (confirmed 11): written with pdu_encode_object_identifier ----------------

int pdu_decode_delete_object_request(pdu_buffer* buffer, BACnetObjectId* object);

// ---- WritePropertyMultiple (confirmed 16) ------------------------------------------------

// Owned by the record: release with pdu_free_write_property_multiple_request.
struct WritePropertyMultipleRequest {
  BACnetValue specifications{};  // one WriteAccessSpecification (tag 39) or a list (tag 88)
};
int pdu_encode_write_property_multiple_request(pdu_buffer* buffer, const WritePropertyMultipleRequest* request);
int pdu_decode_write_property_multiple_request(pdu_buffer* buffer, WritePropertyMultipleRequest* request);
void pdu_free_write_property_multiple_request(WritePropertyMultipleRequest* request);

// ---- ReadPropertyConditional (confirmed 13; the local device only asks) ------------------

// Owned by the record: release with pdu_free_read_property_conditional_request.
struct ReadPropertyConditionalRequest {
  uint32_t selection_logic = 0;
  BACnetValue criteria{};  // one criterion (tag 53), a list (tag 92) or NULL for none
  PropertyReferenceList references{};
};
int pdu_encode_read_property_conditional_request(pdu_buffer* buffer, const ReadPropertyConditionalRequest* request);
void pdu_free_read_property_conditional_request(ReadPropertyConditionalRequest* request);

// The acknowledgement is a list of ReadAccessResults as for ReadPropertyMultiple (written
// with pdu_encode_read_property_multiple_ack); an empty one is accepted.
using ReadPropertyConditionalAck = ReadPropertyMultipleAck;
int pdu_decode_read_property_conditional_ack(pdu_buffer* buffer, ReadPropertyConditionalAck* ack);

// ---- ReadRange (confirmed 26) ------------------------------------------------------------

enum PduReadRange : uint32_t {
  RANGE_NONE = 0,
  RANGE_BY_POSITION = 1,      // [3]{ reference index, count }
  RANGE_BY_TIME_TAG4 = 2,     // [4]{ reference time, count }, the older form
  RANGE_TIME_RANGE = 3,       // [5]{ beginning time, ending time }
  RANGE_BY_SEQUENCE = 4,      // [6]{ reference sequence number, count }
  RANGE_BY_TIME = 5,          // [7]{ reference time, count }
};

struct ReadRangeRequest {
  BACnetObjectId object{999, 0};
  uint32_t property = 0;
  int32_t array_index = -1;
  uint32_t range = RANGE_NONE;
  uint32_t reference = 0;  // index or sequence number
  BACnetDateTime time{};   // reference or beginning time
  BACnetDateTime end_time{};
  int32_t count = 0;
};
int pdu_encode_read_range_request(pdu_buffer* buffer, const ReadRangeRequest* request);
// A missing or unknown range gives RANGE_NONE and success.
int pdu_decode_read_range_request(pdu_buffer* buffer, ReadRangeRequest* request);

// The items are owned by the record: release with pdu_free_read_range_ack.
struct ReadRangeAck {
  BACnetObjectId object{999, 0};
  uint32_t property = 0;
  int32_t array_index = -1;
  std::vector<uint8_t> result_flags;  // first-item, last-item, more-items; one byte per bit
  uint32_t item_count = 0;
  BACnetValue items{};  // read back as log records (a list of tag 60); NULL writes none
  uint32_t first_sequence = 0;  // written only with items and when non-zero
};
int pdu_encode_read_range_ack(pdu_buffer* buffer, const ReadRangeAck* ack);
int pdu_decode_read_range_ack(pdu_buffer* buffer, ReadRangeAck* ack);
void pdu_free_read_range_ack(ReadRangeAck* ack);
