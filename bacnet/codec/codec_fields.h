// Field helpers the codec's own modules share: optional array indexes, object identifiers
// and step sequences that stop at the first failure. Not for use outside bacnet/codec.
#pragma once

#include "bacnet/codec/codec_primitives.h"
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

}  // namespace pdu_fields
