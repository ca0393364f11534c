// The records BACnet writes field by field: each kind of field comes back from the wire, and
// the fields a record leaves out take no octets.
#include "bacnet/codec/codec_constructed.h"
#include "bacnet/value/value.h"
#include "codec_test_util.h"
#include "tests/bacnet/value/value_samples.h"

#include <gtest/gtest.h>

using namespace codectest;

namespace {

// The datatype decoder of a record tag.
int decode_record(uint32_t tag, pdu_buffer* buffer, BACnetValue* value)
{
  void* r = value->payload.record;
  switch (tag) {
  case TAG_ADDRESS: return pdu_decode_address(buffer, static_cast<BACnetAddressValue*>(r));
  case TAG_DATE_RANGE: return pdu_decode_date_range(buffer, static_cast<BACnetDateRange*>(r));
  case TAG_TIME_VALUE: return pdu_decode_time_value(buffer, static_cast<BACnetTimeValue*>(r));
  case TAG_TIMESTAMP: return pdu_decode_timestamp(buffer, static_cast<BACnetTimeStamp*>(r));
  case TAG_ACTION_COMMAND: return pdu_decode_action_command(buffer, static_cast<BACnetActionCommand*>(r));
  case TAG_RECIPIENT: return pdu_decode_recipient(buffer, static_cast<BACnetRecipient*>(r));
  case TAG_OBJECT_PROPERTY_REFERENCE:
    return pdu_decode_object_property_reference(buffer, static_cast<BACnetObjectPropertyReference*>(r));
  case TAG_DEVICE_OBJECT_PROPERTY_REFERENCE:
    return pdu_decode_device_object_property_reference(buffer, static_cast<BACnetDeviceObjectPropertyReference*>(r));
  case TAG_READ_ACCESS_SPECIFICATION:
    return pdu_decode_read_access_specification(buffer, static_cast<ReadAccessSpecification*>(r));
  case TAG_PROPERTY_REFERENCE: return pdu_decode_property_reference(buffer, static_cast<BACnetPropertyReference*>(r));
  case TAG_DESTINATION: return pdu_decode_destination(buffer, static_cast<BACnetDestination*>(r));
  case TAG_PRIORITY_VALUE: return pdu_decode_priority_value(buffer, static_cast<BACnetPriorityValue*>(r));
  case TAG_TAGGED_DATA: return pdu_decode_tagged_data(buffer, value);
  default: return -1;
  }
}

TEST(RecordsOnTheWire, EveryKindOfFieldComesBack)
{
  for (const valuetest::FieldCase& c : valuetest::field_cases()) {
    SCOPED_TRACE(c.kind);
    Value sample(valuetest::make_sample(c.tag));
    c.set(*sample);
    Encoded out;
    ASSERT_EQ(pdu_encode_value(&out, sample.get(), -1), 0);
    Received in(out.bytes());
    Value back = tagged(c.tag);
    ASSERT_EQ(decode_record(c.tag, &in, back.get()), 0) << out.hex();
    EXPECT_TRUE(in.at_end());
    // A destination's lifetime and stamp are kept by the stack, not sent.
    Value fresh = tagged(c.tag);
    bool sent = std::string(c.name) != "STAMP";
    EXPECT_EQ(valuetest::field_text(*back, c.name), valuetest::field_text(sent ? *sample : *fresh, c.name));
  }
}

template <class R>
R& record(BACnetValue& v)
{
  return *value_record<R>(&v);
}

// Absent markers write no field, application-tagged records no context tags, an alternative
// its own tag; what BACnet does not carry (a destination's lifetime and stamp, a COV
// subscription's increment) changes no octet.
TEST(RecordsOnTheWire, FieldsLeftOutTakeNoOctets)
{
  struct Case {
    const char* what;
    uint32_t tag;
    void (*set)(BACnetValue&);
    const char* octets;
  };
  const Case cases[] = {
      {"no array index", TAG_PROPERTY_REFERENCE,
       [](BACnetValue& v) {
         record<BACnetPropertyReference>(v) = {85, -1};
       },
       "09 55"},
      {"array index", TAG_PROPERTY_REFERENCE,
       [](BACnetValue& v) {
         record<BACnetPropertyReference>(v) = {85, 3};
       },
       "09 55 19 03"},
      {"no device", TAG_DEVICE_OBJECT_PROPERTY_REFERENCE,
       [](BACnetValue& v) {
         record<BACnetDeviceObjectPropertyReference>(v) = {{0, 5}, 85, -1, {999, 0}};
       },
       "0C 00 00 00 05 19 55"},
      {"device", TAG_DEVICE_OBJECT_PROPERTY_REFERENCE,
       [](BACnetValue& v) {
         record<BACnetDeviceObjectPropertyReference>(v) = {{0, 5}, 85, -1, {8, 1234}};
       },
       "0C 00 00 00 05 19 55 3C 02 00 04 D2"},
      {"no device, priority or post delay", TAG_ACTION_COMMAND,
       [](BACnetValue& v) {
         auto& r = record<BACnetActionCommand>(v);
         r.device = {999, 0};
         r.object = {1, 3};
         r.property = 85;
         r.value = valuetest::real_value(1.0f);
         r.write_successful = 1;
       },
       "1C 00 40 00 03 29 55 4E 44 3F 80 00 00 4F 79 00 89 01"},
      {"application tags", TAG_ADDRESS,
       [](BACnetValue& v) {
         const uint8_t mac[] = {1, 2};
         record<BACnetAddressValue>(v).network = 5;
         octetstring_set(&record<BACnetAddressValue>(v).mac, mac, 2);
       },
       "21 05 62 01 02"},
      {"alternative 1", TAG_TIMESTAMP,
       [](BACnetValue& v) {
         record<BACnetTimeStamp>(v) = {1, {}, 65536, {}};
       },
       "1B 01 00 00"},
      {"week-n-day octets", TAG_CALENDAR_ENTRY,
       [](BACnetValue& v) {
         record<BACnetCalendarEntry>(v) = {2, {}, {}, {255, 6, 7}};
       },
       "2B FF 06 07"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Value v = tagged(c.tag);
    c.set(*v);
    EXPECT_EQ(encode_hex(v.get()), c.octets);
  }

  for (uint32_t tag : {TAG_DESTINATION, TAG_COV_SUBSCRIPTION}) {
    Value v(valuetest::make_sample(tag));
    std::string octets = encode_hex(v.get());
    if (auto* d = value_record<BACnetDestination>(v.get()))
      d->lifetime = d->stamp = 7;
    if (auto* s = value_record<CovSubscription>(v.get()))
      s->cov_increment = 7;
    EXPECT_EQ(encode_hex(v.get()), octets) << tag;
  }
}

}  // namespace
