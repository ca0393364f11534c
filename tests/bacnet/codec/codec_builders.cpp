#include "codec_builders.h"

namespace codectest {

BACnetValue v_null() { return BACnetValue{}; }

BACnetValue v_bool(bool b)
{
  BACnetValue v{};
  uint8_t byte = b ? 1 : 0;
  value_set_boolean(&byte, &v);
  return v;
}

BACnetValue v_unsigned(uint32_t u)
{
  BACnetValue v{};
  value_set_unsigned(&u, &v);
  return v;
}

BACnetValue v_signed(int32_t s)
{
  BACnetValue v{};
  value_set_signed(&s, &v);
  return v;
}

BACnetValue v_real(float f)
{
  BACnetValue v{};
  value_set_real(&f, &v);
  return v;
}

BACnetValue v_double(double d)
{
  BACnetValue v{};
  v.tag = TAG_DOUBLE;
  v.payload.double_value = d;
  return v;
}

BACnetValue v_octets(std::initializer_list<uint8_t> octets)
{
  BACnetValue v{};
  v.tag = TAG_OCTET_STRING;
  v.payload.octets = octets_of(octets);
  return v;
}

BACnetValue v_text(const char* text)
{
  BACnetValue v{};
  value_set_charstring(text, &v);
  return v;
}

BACnetValue v_bits(std::initializer_list<uint8_t> bits)
{
  BACnetValue v{};
  v.tag = TAG_BIT_STRING;
  v.payload.bits = bits_of(bits);
  return v;
}

BACnetValue v_enum(uint32_t e)
{
  BACnetValue v{};
  value_set_enumerated(&e, &v);
  return v;
}

BACnetValue v_date(uint8_t year, uint8_t month, uint8_t day, uint8_t weekday)
{
  BACnetValue v{};
  BACnetDate d{year, month, day, weekday};
  value_set_date(&d, &v);
  return v;
}

BACnetValue v_time(uint8_t hour, uint8_t minute, uint8_t second, uint8_t hundredths)
{
  BACnetValue v{};
  BACnetTime t{hour, minute, second, hundredths};
  value_set_time(&t, &v);
  return v;
}

BACnetValue v_object(uint32_t type, uint32_t instance)
{
  BACnetValue v{};
  BACnetObjectId id{type, instance};
  value_set_objectid(&id, &v);
  return v;
}

BACnetValue v_list(uint32_t list_tag, std::vector<BACnetValue> elements)
{
  BACnetValue v{};
  value_init(&v, list_tag);
  for (BACnetValue& element : elements)
    value_array_append(value_array(&v), &element);
  return v;
}

BACnetValue v_any(std::vector<BACnetValue> values)
{
  std::vector<BACnetValue> entries;
  for (BACnetValue& value : values)
    entries.push_back(v_record<AnyValue>([&](AnyValue& any) { any.value = value; }));
  return v_list(TAG_ANY_VALUE_LIST, std::move(entries));
}

BitString bits_of(std::initializer_list<uint8_t> bits)
{
  BitString b{};
  bitstring_set(&b, bits.begin(), uint32_t(bits.size()));
  return b;
}

OctetString octets_of(std::initializer_list<uint8_t> octets)
{
  OctetString s{};
  octetstring_set(&s, octets.begin(), uint32_t(octets.size()));
  return s;
}

BACnetAddressValue address_of(uint32_t network, std::initializer_list<uint8_t> mac)
{
  return BACnetAddressValue{network, octets_of(mac)};
}

BACnetDateTime datetime_of(uint8_t year, uint8_t month, uint8_t day, uint8_t weekday, uint8_t hour, uint8_t minute)
{
  return BACnetDateTime{{year, month, day, weekday}, {hour, minute, 0, 0}};
}

BACnetTimeStamp stamp_sequence(uint32_t sequence)
{
  BACnetTimeStamp s{};
  s.choice = 1;
  s.sequence = sequence;
  return s;
}

BACnetTimeStamp stamp_time(uint8_t hour, uint8_t minute, uint8_t second, uint8_t hundredths)
{
  BACnetTimeStamp s{};
  s.choice = 0;
  s.time = {hour, minute, second, hundredths};
  return s;
}

BACnetTimeStamp stamp_datetime(const BACnetDateTime& datetime)
{
  BACnetTimeStamp s{};
  s.choice = 2;
  s.datetime = datetime;
  return s;
}

BACnetValue v_property_value(uint32_t property, BACnetValue value, int32_t index, uint32_t priority)
{
  return v_record<BACnetPropertyValue>([&](BACnetPropertyValue& pv) {
    pv.property = property;
    pv.array_index = index;
    pv.value = value;
    pv.priority = priority;
  });
}

}  // namespace codectest
