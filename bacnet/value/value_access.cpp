#include "bacnet/value/value_access.h"

#include <cstdlib>
#include <cstring>

#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"
#include "bacnet/value/value_memory.h"
#include "bacnet/value/value_records.h"
#include "bacnet/value/value_time.h"

namespace {

// Releases the value and gives it a bare tag (primitive tags).
void reset_to(BACnetValue* value, uint32_t tag)
{
  value_free(value);
  value->tag = tag;
}

template <class T>
int set_word(const T* data, BACnetValue* value, uint32_t tag, T BACnetValue::Payload::*member)
{
  if (!data || !value)
    return VALUE_BAD_ARGUMENT;
  reset_to(value, tag);
  value->payload.*member = *data;
  return VALUE_OK;
}

// Getters whose other-tag answer is "nothing to do" (0).
template <class T>
int get_word(T* out, const BACnetValue* value, uint32_t tag, T BACnetValue::Payload::*member)
{
  if (!out || !value)
    return VALUE_BAD_ARGUMENT;
  if (value->tag == tag)
    *out = value->payload.*member;
  return VALUE_OK;
}

// Setters of records: a fresh record of the tag receives a deep copy of the data.
template <class R>
int set_record(const R* data, BACnetValue* value)
{
  if (!data || !value)
    return VALUE_BAD_ARGUMENT;
  // Built aside first: the data may live inside the value being replaced.
  BACnetValue fresh{};
  int rc = value_init(&fresh, R::kTag);
  if (rc == VALUE_OK)
    rc = record_kind(R::kTag)->copy(fresh.payload.record, data);
  value_free(value);
  *value = fresh;
  return rc == VALUE_OK ? VALUE_OK : VALUE_BAD_ARGUMENT;
}

// Reads a record out into the caller's record (deeply; its old contents are released).
template <class R>
int get_record(R* data, const BACnetValue* value)
{
  if (!data || !value)
    return VALUE_BAD_ARGUMENT;
  if (value->tag != R::kTag)
    return VALUE_OK;
  const R* record = value_record<R>(value);
  if (!record)
    return VALUE_BAD_ARGUMENT;
  return record_kind(R::kTag)->copy(data, record) == VALUE_OK ? VALUE_OK : VALUE_BAD_ARGUMENT;
}

template <class T, class Set, class Get>
int two_way(T* data, BACnetValue* value, uint8_t direction, Set set, Get get)
{
  if (!data || !value)
    return VALUE_BAD_ARGUMENT;
  return direction == 0 ? set(data, value) : get(data, value);
}

}  // namespace

// ---- Setters -----------------------------------------------------------------------------

int value_set_boolean(const uint8_t* data, BACnetValue* value)
{
  return set_word(data, value, TAG_BOOLEAN, &BACnetValue::Payload::boolean);
}
int value_set_unsigned(const uint32_t* data, BACnetValue* value)
{
  return set_word(data, value, TAG_UNSIGNED, &BACnetValue::Payload::unsigned_value);
}
int value_set_signed(const int32_t* data, BACnetValue* value)
{
  return set_word(data, value, TAG_SIGNED, &BACnetValue::Payload::signed_value);
}
int value_set_real(const float* data, BACnetValue* value)
{
  return set_word(data, value, TAG_REAL, &BACnetValue::Payload::real);
}
int value_set_enumerated(const uint32_t* data, BACnetValue* value)
{
  return set_word(data, value, TAG_ENUMERATED, &BACnetValue::Payload::enumerated);
}
int value_set_date(const BACnetDate* data, BACnetValue* value)
{
  return set_word(data, value, TAG_DATE, &BACnetValue::Payload::date);
}
int value_set_time(const BACnetTime* data, BACnetValue* value)
{
  return set_word(data, value, TAG_TIME, &BACnetValue::Payload::time);
}
int value_set_objectid(const BACnetObjectId* data, BACnetValue* value)
{
  return set_word(data, value, TAG_OBJECT_ID, &BACnetValue::Payload::object_id);
}

int value_set_octetstring(const OctetString* data, BACnetValue* value)
{
  if (!data || !value)
    return VALUE_BAD_ARGUMENT;
  // Copied aside first: the data may be the value's own octets.
  OctetString copy{};
  if (octetstring_set(&copy, data->data, data->data ? data->length : 0) != VALUE_OK) {
    reset_to(value, TAG_OCTET_STRING);
    return VALUE_BAD_ARGUMENT;
  }
  reset_to(value, TAG_OCTET_STRING);
  value->payload.octets = copy;
  return VALUE_OK;
}

int value_set_charstring(const char* text, BACnetValue* value)
{
  if (!value)
    return VALUE_BAD_ARGUMENT;
  char* copy = nullptr;
  if (text && !(copy = value_mem_strdup(text))) {
    reset_to(value, TAG_CHARACTER_STRING);
    return VALUE_BAD_ARGUMENT;
  }
  reset_to(value, TAG_CHARACTER_STRING);
  value->payload.text = copy;
  return VALUE_OK;
}

int value_set_bitstring(const BitString* data, BACnetValue* value)
{
  if (!data || !value)
    return VALUE_BAD_ARGUMENT;
  BitString copy{};
  if (bitstring_copy(&copy, data) != VALUE_OK) {
    reset_to(value, TAG_BIT_STRING);
    return VALUE_BAD_ARGUMENT;
  }
  reset_to(value, TAG_BIT_STRING);
  value->payload.bits = copy;
  return VALUE_OK;
}

int value_set_address(const BACnetAddressValue* data, BACnetValue* value) { return set_record(data, value); }
int value_set_datetime(const BACnetDateTime* data, BACnetValue* value) { return set_record(data, value); }
int value_set_daterange(const BACnetDateRange* data, BACnetValue* value) { return set_record(data, value); }
int value_set_timestamp(const BACnetTimeStamp* data, BACnetValue* value) { return set_record(data, value); }
int value_set_recipient(const BACnetRecipient* data, BACnetValue* value) { return set_record(data, value); }
int value_set_tag36(const BACnetDeviceObjectPropertyReference* data, BACnetValue* value)
{
  return set_record(data, value);
}
int value_set_event_parameter(const BACnetEventParameter* data, BACnetValue* value)
{
  return set_record(data, value);
}

int value_set_local_time(BACnetValue* value, uint32_t write_flag)
{
  if (!value || (write_flag & 0xFF) != 0)
    return VALUE_BAD_ARGUMENT;
  reset_to(value, TAG_TIME);
  return time_now_local(&value->payload.time);
}

int value_set_local_date(BACnetValue* value, uint32_t write_flag)
{
  if (!value || (write_flag & 0xFF) != 0)
    return VALUE_BAD_ARGUMENT;
  reset_to(value, TAG_DATE);
  return date_now_local(&value->payload.date);
}

// ---- Getters -----------------------------------------------------------------------------

int value_get_boolean(uint8_t* out, const BACnetValue* value)
{
  if (!out || !value || value->tag != TAG_BOOLEAN)
    return VALUE_BAD_ARGUMENT;
  *out = value->payload.boolean;
  return VALUE_OK;
}
int value_get_unsigned(uint32_t* out, const BACnetValue* value)
{
  return get_word(out, value, TAG_UNSIGNED, &BACnetValue::Payload::unsigned_value);
}
int value_get_signed(int32_t* out, const BACnetValue* value)
{
  return get_word(out, value, TAG_SIGNED, &BACnetValue::Payload::signed_value);
}
int value_get_real(float* out, const BACnetValue* value)
{
  return get_word(out, value, TAG_REAL, &BACnetValue::Payload::real);
}
int value_get_enumerated(uint32_t* out, const BACnetValue* value)
{
  return get_word(out, value, TAG_ENUMERATED, &BACnetValue::Payload::enumerated);
}
int value_get_date(BACnetDate* out, const BACnetValue* value)
{
  return get_word(out, value, TAG_DATE, &BACnetValue::Payload::date);
}
int value_get_time(BACnetTime* out, const BACnetValue* value)
{
  return get_word(out, value, TAG_TIME, &BACnetValue::Payload::time);
}
int value_get_objectid(BACnetObjectId* out, const BACnetValue* value)
{
  return get_word(out, value, TAG_OBJECT_ID, &BACnetValue::Payload::object_id);
}

int value_get_octetstring(OctetString* out, const BACnetValue* value)
{
  if (!out || !value)
    return VALUE_BAD_ARGUMENT;
  if (value->tag != TAG_OCTET_STRING)
    return VALUE_OK;
  const OctetString& s = value->payload.octets;
  return octetstring_set(out, s.data, s.data ? s.length : 0);
}

int value_get_bitstring(BitString* out, const BACnetValue* value)
{
  if (!out || !value || value->tag != TAG_BIT_STRING)
    return VALUE_BAD_ARGUMENT;
  const BitString& b = value->payload.bits;
  return bitstring_set(out, b.bits, b.bits ? b.capacity : 0);
}

// ---- Two-way accessors -------------------------------------------------------------------

int value_put_bitstring(BitString* data, BACnetValue* value, uint8_t direction)
{
  return two_way(data, value, direction, value_set_bitstring, value_get_bitstring);
}
int value_put_boolean(uint8_t* data, BACnetValue* value, uint8_t direction)
{
  return two_way(data, value, direction, value_set_boolean, value_get_boolean);
}
int value_put_charstring(char** text, BACnetValue* value, uint8_t direction)
{
  if (!text || !value)
    return VALUE_BAD_ARGUMENT;
  if (direction == 0)
    return value_set_charstring(*text, value);
  if (value->tag != TAG_CHARACTER_STRING)
    return VALUE_OK;
  char* copy = nullptr;
  if (value->payload.text && !(copy = value_mem_strdup(value->payload.text)))
    return VALUE_NO_MEMORY;
  std::free(*text);
  *text = copy;
  return VALUE_OK;
}
int value_put_objectid(BACnetObjectId* data, BACnetValue* value, uint8_t direction)
{
  return two_way(data, value, direction, value_set_objectid, value_get_objectid);
}
int value_put_enumerated(uint32_t* data, BACnetValue* value, uint8_t direction)
{
  return two_way(data, value, direction, value_set_enumerated, value_get_enumerated);
}
int value_put_unsigned(uint32_t* data, BACnetValue* value, uint8_t direction)
{
  return two_way(data, value, direction, value_set_unsigned, value_get_unsigned);
}
int value_put_real(float* data, BACnetValue* value, uint8_t direction)
{
  return two_way(data, value, direction, value_set_real, value_get_real);
}

int value_put_tag20(uint32_t* data, BACnetValue* value, uint8_t direction)
{
  if (!data || !value)
    return VALUE_BAD_ARGUMENT;
  if (direction == 0) {
    value_free(value);
    return VALUE_BAD_ARGUMENT;
  }
  if (value->tag == 20)
    *data = value->payload.unsigned_value;
  return VALUE_OK;
}

int value_put_tag22(BACnetDateTime* data, BACnetValue* value, uint8_t direction)
{
  return two_way(data, value, direction, set_record<BACnetDateTime>, get_record<BACnetDateTime>);
}
int value_put_tag24(BACnetDateRange* data, BACnetValue* value, uint8_t direction)
{
  return two_way(data, value, direction, set_record<BACnetDateRange>, get_record<BACnetDateRange>);
}
int value_put_tag21(BACnetAddressValue* data, BACnetValue* value, uint8_t direction)
{
  return two_way(data, value, direction, set_record<BACnetAddressValue>, get_record<BACnetAddressValue>);
}
int value_put_tag27(BACnetTimeStamp* data, BACnetValue* value, uint8_t direction)
{
  return two_way(data, value, direction, set_record<BACnetTimeStamp>, get_record<BACnetTimeStamp>);
}
int value_put_tag30(BACnetRecipient* data, BACnetValue* value, uint8_t direction)
{
  return two_way(data, value, direction, set_record<BACnetRecipient>, get_record<BACnetRecipient>);
}
int value_put_tag51(BACnetEventParameter* data, BACnetValue* value, uint8_t direction)
{
  return two_way(data, value, direction, set_record<BACnetEventParameter>, get_record<BACnetEventParameter>);
}
int value_put_tag36(BACnetDeviceObjectPropertyReference* data, BACnetValue* value, uint8_t direction)
{
  return two_way(data, value, direction, set_record<BACnetDeviceObjectPropertyReference>,
                 get_record<BACnetDeviceObjectPropertyReference>);
}

int value_transfer(BACnetValue* first, BACnetValue* second, int32_t index, uint8_t direction)
{
  if (index < -1)
    return VALUE_BAD_ARGUMENT;
  return direction == 0 ? value_assign(second, first, index) : value_assign(first, second, index);
}

// ---- Copy helpers ------------------------------------------------------------------------

void value_copy_pair(BACnetDateTime* d, const BACnetDateTime* s)
{
  if (d && s)
    *d = *s;
}
void value_copy_pair(BACnetDateRange* d, const BACnetDateRange* s)
{
  if (d && s)
    *d = *s;
}
void value_copy_pair(BACnetPropertyReference* d, const BACnetPropertyReference* s)
{
  if (d && s)
    *d = *s;
}
void value_copy_pair(BACnetPropertyStates* d, const BACnetPropertyStates* s)
{
  if (d && s)
    *d = *s;
}
void value_copy_pair(BACnetCOVIncrement* d, const BACnetCOVIncrement* s)
{
  if (d && s)
    *d = *s;
}
void value_copy_triple(BACnetTimeStamp* d, const BACnetTimeStamp* s)
{
  if (d && s)
    *d = *s;
}
void value_copy_tag36(BACnetDeviceObjectPropertyReference* d, const BACnetDeviceObjectPropertyReference* s)
{
  if (d && s)
    *d = *s;
}
void value_copy_objectid(BACnetObjectId* d, const BACnetObjectId* s)
{
  if (d && s)
    *d = *s;
}
