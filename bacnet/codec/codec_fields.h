// Field helpers the codec's own modules share: optional array indexes, object identifiers
// and step sequences that stop at the first failure. Not for use outside bacnet/codec.
#pragma once

#include <utility>

#include "bacnet/codec/codec_primitives.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"
#include "bacnet/value/value_types.h"

namespace pdu_fields {

// Runs the steps in order and returns the first result that is not 0.
template <class... Steps>
int all(Steps&&... steps)
{
  int result = 0;
  ((result == 0 ? (result = steps()) : 0), ...);
  return result;
}

// Encoders fail with -1 whatever went wrong inside.
inline int encoded(int result)
{
  return result == 0 ? 0 : PDU_ENCODE_FAILED;
}

inline int write_object(pdu_buffer* buffer, int tag, const BACnetObjectId& object)
{
  return pdu_write_object_id(buffer, tag, object.type, object.instance);
}

inline int read_object(pdu_buffer* buffer, int tag, BACnetObjectId* object)
{
  return pdu_read_object_id(buffer, tag, &object->type, &object->instance);
}

// An optional Unsigned array index with context tag `tag`: -1 when absent.
inline int read_index(pdu_buffer* buffer, uint8_t tag, int32_t* index)
{
  *index = -1;
  if (!pdu_next_is_context(buffer, tag))
    return 0;
  uint32_t raw = 0;
  int result = pdu_read_unsigned(buffer, tag, &raw);
  if (result == 0)
    *index = int32_t(raw);
  return result;
}

// Written only when it is 0 or more.
inline int write_index(pdu_buffer* buffer, uint8_t tag, int32_t index)
{
  return index >= 0 ? pdu_write_unsigned(buffer, tag, uint32_t(index)) : 0;
}

// The access choice of the file services: stream [0]{ } or record [1]{ }.
inline constexpr uint32_t kStreamAccess = 1;
inline constexpr uint32_t kRecordAccess = 0;

inline bool valid_access(uint32_t access)
{
  return access == kStreamAccess || access == kRecordAccess;
}

inline uint8_t access_tag(uint32_t access)
{
  return access == kStreamAccess ? 0 : 1;
}

// Consumes the opening octet of the access choice. Anything but stream or record is
// malformed: a request or answer without its access fields carries nothing usable.
inline int read_access(pdu_buffer* buffer, uint32_t* access)
{
  uint8_t octet = 0;
  int result = pdu_read_byte(buffer, &octet);
  if (result != 0)
    return result;
  if (octet == pdu_opening_tag(0))
    *access = kStreamAccess;
  else if (octet == pdu_opening_tag(1))
    *access = kRecordAccess;
  else
    return PDU_MALFORMED;
  return 0;
}

// An object identifier whose type is this is absent.
inline constexpr uint32_t kNoObject = 999;

inline int read_date(pdu_buffer* buffer, int tag, BACnetDate* date)
{
  return pdu_read_date(buffer, tag, &date->year);
}

inline int read_time(pdu_buffer* buffer, int tag, BACnetTime* time)
{
  return pdu_read_time(buffer, tag, &time->hour);
}

// The record of a value prepared for its tag, handed to `Decode`; 1 when the value holds none.
template <class Record, int (*Decode)(pdu_buffer*, Record*)>
inline int decode_into(pdu_buffer* buffer, BACnetValue* value)
{
  Record* record = value_record<Record>(value);
  return record ? Decode(buffer, record) : VALUE_BAD_ARGUMENT;
}

// The record of a value prepared for its tag; 1001 when the value holds none.
template <class Record, class Decode>
int decode_record(pdu_buffer* buffer, BACnetValue* value, Decode decode)
{
  Record* record = value_record<Record>(value);
  return record ? decode(buffer, record) : VALUE_NO_MEMORY;
}

inline int write_bits(pdu_buffer* buffer, int tag, const BitString& bits)
{
  return pdu_write_bits(buffer, tag, bits.bits, bits.count);
}

// A Bit String of the given tag into an owned BitString (the old bits are released).
inline int read_bits(pdu_buffer* buffer, int tag, BitString* bits)
{
  PduElement element;
  if (pdu_peek_element(buffer, &element) != 0)
    return PDU_MALFORMED;
  if (tag < 0 ? (element.context || element.tag_number != PDU_BIT_STRING) : (!element.context || element.tag_number != tag))
    return PDU_MALFORMED;
  BACnetValue scratch{};
  scratch.tag = TAG_BIT_STRING;
  int result = pdu_decode_value(buffer, &scratch, tag);
  if (result != 0) {
    value_free(&scratch);
    return result;
  }
  bitstring_free(bits);
  *bits = scratch.payload.bits;
  return 0;
}

inline bool is_text(const BACnetValue& value)
{
  return value.tag == TAG_CHARACTER_STRING;
}

// An optional Character String field: written only when the value holds one, so an absent
// (NULL) or mistyped field is left out rather than sent with a wrong type.
inline int write_optional_text(pdu_buffer* buffer, int tag, const BACnetValue& value)
{
  return is_text(value) ? pdu_encode_value(buffer, &value, tag) : 0;
}

// A Character String with context tag `tag` into a value.
inline int read_text_value(pdu_buffer* buffer, int tag, BACnetValue* value)
{
  return pdu_decode_context_value(buffer, value, TAG_CHARACTER_STRING, tag);
}

// The same when the next octet starts a primitive with context tag `tag`.
inline int read_optional_text(pdu_buffer* buffer, uint8_t tag, BACnetValue* value)
{
  return pdu_next_is_context(buffer, tag) ? read_text_value(buffer, tag, value) : 0;
}

// One record of `single_tag`, or every element of a list value (each of `single_tag`),
// each handed to `encode_one`. NULL is an empty list; any other datatype, or a list tag
// without its element array, fails.
template <class EncodeOne>
int each_one_or_list(const BACnetValue& value, uint32_t single_tag, uint32_t list_tag, EncodeOne encode_one)
{
  if (value.tag == TAG_NULL)
    return 0;
  if (value.tag == single_tag)
    return encode_one(value);
  if (value.tag != list_tag)
    return PDU_ENCODE_FAILED;
  BACnetValueArray* array = value_array(&value);
  if (!array)
    return PDU_ENCODE_FAILED;
  for (uint32_t i = 0; i < array->used; ++i)
    if (array->elements[i].tag != single_tag || encode_one(array->elements[i]) != 0)
      return PDU_ENCODE_FAILED;
  return 0;
}

// The same with the datatype's own encoding.
inline int write_one_or_list(pdu_buffer* buffer, const BACnetValue& value, uint32_t single_tag, uint32_t list_tag)
{
  return each_one_or_list(value, single_tag, list_tag,
                          [&](const BACnetValue& one) { return pdu_encode_value(buffer, &one, -1); });
}

// Records of a tag that pdu_encode_value does not write (the summaries of the alarm services).
template <class Record>
int write_records(pdu_buffer* buffer, const BACnetValue& value, uint32_t list_tag,
                  int (*encode)(pdu_buffer*, const Record*))
{
  return each_one_or_list(value, Record::kTag, list_tag, [&](const BACnetValue& one) {
    const Record* record = value_record<Record>(&one);
    return record ? encode(buffer, record) : PDU_ENCODE_FAILED;
  });
}

// Decodes one element of `element_tag` and collects it in `target`: the first stays a
// single value, a second turns the target into a list of `list_tag`, further ones are
// appended.
template <class Record, class Decode>
int collect_one(pdu_buffer* buffer, BACnetValue* target, uint32_t element_tag, uint32_t list_tag, Decode decode)
{
  OwnedValue element;
  uint32_t start = buffer->pos;
  int result = value_init(element.get(), element_tag);
  if (result == 0)
    result = decode_record<Record>(buffer, element.get(), decode);
  // An element that reads nothing would never let the list end.
  if (result == 0 && buffer->pos == start)
    result = PDU_MALFORMED;
  if (result == 0)
    result = value_append_element(target, list_tag, element.get());
  return result;
}

// Elements until the octet `ending` (not consumed). The first failure is returned; what
// was collected stays.
template <class Record, class Decode>
int collect_until(pdu_buffer* buffer, uint8_t ending, BACnetValue* target, uint32_t element_tag, uint32_t list_tag,
                  Decode decode)
{
  int result = 0;
  while (result == 0 && !pdu_next_is(buffer, ending))
    result = pdu_has_data(buffer) ? collect_one<Record>(buffer, target, element_tag, list_tag, decode) : PDU_MALFORMED;
  return result;
}

// Elements until the data ends.
template <class Record, class Decode>
int collect_rest(pdu_buffer* buffer, BACnetValue* target, uint32_t element_tag, uint32_t list_tag, Decode decode)
{
  int result = 0;
  while (result == 0 && pdu_has_data(buffer))
    result = collect_one<Record>(buffer, target, element_tag, list_tag, decode);
  return result;
}

// Elements read by `decode_one` (into a fresh scratch value) until the closing tag n, which
// is not consumed, appended to a new list of `list_tag`; the list replaces the target.
template <class DecodeOne>
int read_list_until(pdu_buffer* buffer, uint8_t n, BACnetValue* list, uint32_t list_tag, DecodeOne decode_one)
{
  value_free(list);
  int result = value_init(list, list_tag);
  while (result == 0 && !pdu_next_is(buffer, pdu_closing_tag(n))) {
    if (!pdu_has_data(buffer))
      return PDU_MALFORMED;
    OwnedValue element;
    uint32_t start = buffer->pos;
    result = decode_one(element.get());
    if (result == 0 && buffer->pos == start)
      result = PDU_MALFORMED;
    if (result == 0)
      result = value_array_append(value_array(list), element.get());
  }
  return result;
}

// Opening tag n, the steps, closing tag n.
template <class... Steps>
int enclosed_write(pdu_buffer* buffer, uint8_t n, Steps&&... steps)
{
  return all([&] { return pdu_write_opening_tag(buffer, n); }, std::forward<Steps>(steps)...,
             [&] { return pdu_write_closing_tag(buffer, n); });
}

template <class... Steps>
int enclosed_read(pdu_buffer* buffer, uint8_t n, Steps&&... steps)
{
  return all([&] { return pdu_decode_opening_tag(buffer, n); }, std::forward<Steps>(steps)...,
             [&] { return pdu_decode_closing_tag(buffer, n); });
}

}  // namespace pdu_fields
