// Every property with a decoder of its own: the enclosed octets decode into that decoder's
// datatype (not the generic fallback) and encode back to the same octets.
#include "bacnet/codec/codec_property_values.h"
#include "bacnet/value/value.h"
#include "codec_test_util.h"

#include <gtest/gtest.h>

using namespace codectest;

namespace {

struct RoundTrip {
  uint32_t property;
  uint32_t tag;  // the value tag the property's own decoder gives
  const char* content;
};

const RoundTrip kRoundTrips[] = {
    {PROP_ACTION, TAG_ACTION_LIST_LIST,
     "0E 0C 02 00 04 D2 1C 00 80 00 03 29 55 4E 44 42 91 00 00 4F 59 08 69 05 79 00 89 01 0F"},
    {PROP_STATE_TEXT, TAG_CHARACTER_STRING_LIST, "73 00 41 75 73 00 45 69"},
    {PROP_ALARM_VALUES, TAG_UNSIGNED_LIST, "21 01 21 03"},
    {PROP_DATE_LIST, TAG_CALENDAR_ENTRY_LIST, "0C 7C 05 0A 05 1E A4 7C 01 01 01 A4 7C 0C 1F 04 1F 2B 05 FF 07"},
    {PROP_DEVICE_ADDRESS_BINDING, TAG_ADDRESS_BINDING_LIST, "C4 02 00 04 D2 21 00 65 06 0A 6F 00 02 BA C0"},
    {PROP_EXCEPTION_SCHEDULE, TAG_SPECIAL_EVENT_LIST,
     "0E 0C 7C 0C 19 FF 0F 2E B4 08 00 00 00 44 41 A0 00 00 2F 39 10 1C 01 80 00 01 2E 2F 39 05"},
    {PROP_LIST_OF_OBJECT_PROPERTY_REFERENCES, TAG_REFERENCE_LIST,
     "0C 00 00 00 01 19 55 0C 00 80 00 02 19 55 29 03 3C 02 00 04 D2"},
    {PROP_OBJECT_LIST, TAG_OBJECT_ID_LIST, "C4 02 00 04 D2 C4 02 80 00 01"},
    {PROP_PRIORITY_ARRAY, TAG_PRIORITY_ARRAY, "00 44 42 91 00 00 91 01 21 05 0E 31 FF 0F"},
    {PROP_RECIPIENT_LIST, TAG_DESTINATION_LIST,
     "82 01 FE B4 00 00 00 00 B4 17 3B 3B 63 0C 02 00 04 D2 21 01 10 82 05 E0 "
     "82 01 FE B4 00 00 00 00 B4 17 3B 3B 63 1E 21 00 65 06 0A 6F 00 01 BA C0 1F 21 01 11 82 05 E0"},
    {PROP_TIME_SYNCHRONIZATION_RECIPIENTS, TAG_RECIPIENT_LIST, "0C 02 00 04 D2 1E 22 FF FF 60 1F"},
    {PROP_WEEKLY_SCHEDULE, TAG_DAILY_SCHEDULE_LIST, "0E B4 08 00 00 00 91 01 B4 11 00 00 00 91 00 0F 0E 0F"},
    {PROP_EVENT_TIME_STAMPS, TAG_TIMESTAMP_LIST, "0C 0A 1E 00 00 19 07 2E A4 7C 05 0A 05 B4 0A 1E 00 00 2F"},
    {PROP_LOG_BUFFER, TAG_LOG_BUFFER,
     "0E A4 7C 05 0A 05 B4 0A 1E 00 00 0F 1E 2C 42 91 00 00 1F 2A 04 00 "
     "0E A4 7C 05 0A 05 B4 0A 1F 00 00 0F 1E 8E 91 02 91 20 8F 1F "
     "0E A4 7C 05 0A 05 B4 0A 20 00 00 0F 1E AE 44 42 91 00 00 AF 1F"},
    {PROP_MODIFICATION_DATE, TAG_DATETIME, "A4 7C 05 0A 05 B4 0A 1E 00 00"},
    {PROP_EFFECTIVE_PERIOD, TAG_DATE_RANGE, "A4 7C 01 01 01 A4 7C 0C 1F 02"},
    {PROP_OBJECT_PROPERTY_REFERENCE, TAG_DEVICE_OBJECT_PROPERTY_REFERENCE, "0C 00 00 00 01 19 55"},
    {PROP_EVENT_PARAMETERS, TAG_EVENT_PARAMETER,
     "4E 09 05 1E 0C 00 00 00 01 19 55 1F 2C 00 00 00 00 3C 41 20 00 00 4C 3F 80 00 00 4F"},
    {PROP_RECIPIENT, TAG_RECIPIENT, "0C 02 00 04 D2"},
    {PROP_CLIENT_COV_INCREMENT, TAG_COV_INCREMENT, "44 3F 00 00 00"},
    {PROP_LAST_RESTORE_TIME, TAG_TIMESTAMP, "19 2A"},
    {PROP_NETWORK_ADDRESS, TAG_ADDRESS, "22 03 E8 61 05"},
};

TEST(PropertyRoundTrip, OwnDecodersReadAndWriteTheSameOctets)
{
  for (const RoundTrip& trip : kRoundTrips) {
    SCOPED_TRACE("property " + std::to_string(trip.property));
    Received in("3E " + std::string(trip.content) + " 3F");
    Value v;
    ASSERT_EQ(pdu_decode_property_value(&in.buffer, v.get(), 3, trip.property, -1), 0);
    EXPECT_TRUE(in.at_end());
    EXPECT_EQ(v->tag, trip.tag);
    EXPECT_EQ(encode_hex(v.get()), hex_of(bytes_of(trip.content)));
  }
}

TEST(PropertyRoundTrip, EventParameterChoicesRoundTrip)
{
  const char* choices[] = {
      "0E 09 05 1A 06 C0 2E 82 06 80 82 06 40 2F 0F",          // change of bitstring
      "1E 09 05 1E 09 01 19 01 1F 1F",                         // change of state
      "2E 09 05 1E 1C 3F 00 00 00 1F 2F",                      // change of value, increment
      "3E 09 05 1E 0C 00 40 00 01 19 55 1F 3F",                // command failure
      "5E 09 05 1C 00 00 00 00 2C 41 20 00 00 3C 3F 80 00 00 5F",  // out of range
      "7E 09 0A 19 02 7F",                                     // buffer ready
  };
  for (const char* content : choices) {
    SCOPED_TRACE(content);
    Received in("3E " + std::string(content) + " 3F");
    Value v;
    ASSERT_EQ(pdu_decode_property_value(&in.buffer, v.get(), 3, PROP_EVENT_PARAMETERS, -1), 0);
    EXPECT_EQ(v->tag, TAG_EVENT_PARAMETER);
    EXPECT_EQ(encode_hex(v.get()), hex_of(bytes_of(content)));
  }
}

TEST(PropertyRoundTrip, EventTimeStampWithoutATimeStampDoesNotLoop)
{
  Received in("3E 49 00 3F");
  Value v;
  ASSERT_EQ(pdu_decode_property_value(&in.buffer, v.get(), 3, PROP_EVENT_TIME_STAMPS, -1), 0);
  EXPECT_EQ(v->tag, TAG_TAGGED_DATA) << "the generic reader takes over";
}

}  // namespace
