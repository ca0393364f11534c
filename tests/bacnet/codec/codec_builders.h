// Value builders of the codec tests: each returns a value that owns what it holds; putting
// it into a record or a list hands it over.
#pragma once

#include "bacnet/value/value.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace codectest {

BACnetValue v_null();
BACnetValue v_bool(bool b);
BACnetValue v_unsigned(uint32_t u);
BACnetValue v_signed(int32_t s);
BACnetValue v_real(float f);
BACnetValue v_double(double d);
BACnetValue v_octets(std::initializer_list<uint8_t> octets);
BACnetValue v_text(const char* text);
BACnetValue v_bits(std::initializer_list<uint8_t> bits);
BACnetValue v_enum(uint32_t e);
BACnetValue v_date(uint8_t year, uint8_t month, uint8_t day, uint8_t weekday);
BACnetValue v_time(uint8_t hour, uint8_t minute, uint8_t second, uint8_t hundredths);
BACnetValue v_object(uint32_t type, uint32_t instance);
// A list of `list_tag` holding the elements.
BACnetValue v_list(uint32_t list_tag, std::vector<BACnetValue> elements);
// A list of any-value entries (tag 95), one per value.
BACnetValue v_any(std::vector<BACnetValue> values);

// A value of a record's tag, filled by `fill`.
template <class Record, class Fill>
BACnetValue v_record(Fill fill)
{
  BACnetValue v{};
  value_init(&v, Record::kTag);
  fill(*value_record<Record>(&v));
  return v;
}

// Owned containers for record fields.
BitString bits_of(std::initializer_list<uint8_t> bits);
OctetString octets_of(std::initializer_list<uint8_t> octets);
BACnetAddressValue address_of(uint32_t network, std::initializer_list<uint8_t> mac);
BACnetDateTime datetime_of(uint8_t year, uint8_t month, uint8_t day, uint8_t weekday, uint8_t hour, uint8_t minute);
BACnetTimeStamp stamp_sequence(uint32_t sequence);
BACnetTimeStamp stamp_time(uint8_t hour, uint8_t minute, uint8_t second, uint8_t hundredths);
BACnetTimeStamp stamp_datetime(const BACnetDateTime& datetime);
// A PropertyValue (tag 49).
BACnetValue v_property_value(uint32_t property, BACnetValue value, int32_t index = -1, uint32_t priority = 0);

}  // namespace codectest
