#include "bacnet/codec/codec_property_values.h"
#include "bacnet/value/value.h"
#include "codec_test_util.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace codectest;

namespace {

// Decodes an enclosed property value ([3]{ ... }) and checks that all octets were used.
int decode_property(const std::string& hex, BACnetValue* value, uint32_t property, int32_t index = -1)
{
  Received r(hex);
  int result = pdu_decode_property_value(&r.buffer, value, 3, property, index);
  if (result == 0 && !r.at_end())
    return -100;
  return result;
}

TEST(PrimitiveValues, EveryDecoderRefusesAnEmptyRest)
{
  for (uint32_t tag = 0; tag <= 12; ++tag) {
    Received r("21 00");
    r.buffer.pos = r.buffer.size;
    Value v = tagged(tag);
    EXPECT_EQ(pdu_decode_value(&r.buffer, v.get(), -1), PDU_MALFORMED) << tag;
  }
  using Decoder = int (*)(pdu_buffer*, BACnetValue*);
  Decoder decoders[] = {pdu_decode_null, pdu_decode_boolean, pdu_decode_unsigned, pdu_decode_signed,
                        pdu_decode_real, pdu_decode_double, pdu_decode_octetstring, pdu_decode_charstring,
                        pdu_decode_bitstring, pdu_decode_enumerated, pdu_decode_date, pdu_decode_time,
                        pdu_decode_object_id};
  for (Decoder decode : decoders) {
    Received r("");
    Value v;
    EXPECT_EQ(decode(&r.buffer, v.get()), PDU_MALFORMED);
  }
}

TEST(PrimitiveValues, ContextTagsTakeTheDatatypeThePreparedValueHolds)
{
  Received r("3C 00 00 00 01 4C 42 91 00 00");
  Value id = tagged(TAG_OBJECT_ID);
  ASSERT_EQ(pdu_decode_value(&r.buffer, id.get(), 3), 0);
  EXPECT_EQ(id->payload.object_id.instance, 1u);
  Value wrong;
  EXPECT_EQ(pdu_decode_context_value(&r.buffer, wrong.get(), TAG_REAL, 5), PDU_MALFORMED);
  EXPECT_EQ(r.buffer.pos, 5u) << "a wrong context tag is not consumed";
  ASSERT_EQ(pdu_decode_context_value(&r.buffer, wrong.get(), TAG_REAL, 4), 0);
  EXPECT_FLOAT_EQ(wrong->payload.real, 72.5f);
}

TEST(PrimitiveValues, CharacterSetOctetIsIgnoredAndBitStringLimitsHold)
{
  Value text;
  Received utf8("75 05 04 C3 A4 62 63");
  ASSERT_EQ(pdu_decode_value(&utf8.buffer, text.get(), -1), 0);
  EXPECT_EQ(text->tag, TAG_CHARACTER_STRING);
  EXPECT_STREQ(text->payload.text, "\xC3\xA4" "bc");

  Value bits;
  Received eight_unused("82 08 FF");
  EXPECT_EQ(pdu_decode_value(&eight_unused.buffer, bits.get(), -1), PDU_MALFORMED);
  Received only_unused("81 07");
  ASSERT_EQ(pdu_decode_value(&only_unused.buffer, bits.get(), -1), 0);
  EXPECT_EQ(bits->payload.bits.count, 0u);
  Received no_content("80");
  ASSERT_EQ(pdu_decode_value(&no_content.buffer, bits.get(), -1), 0);
  EXPECT_EQ(bits->payload.bits.count, 0u);
  Received seven("82 01 82");
  ASSERT_EQ(pdu_decode_value(&seven.buffer, bits.get(), -1), 0);
  ASSERT_EQ(bits->payload.bits.count, 7u);
  EXPECT_EQ(bits->payload.bits.bits[0], 1);
  EXPECT_EQ(bits->payload.bits.bits[6], 1);
  EXPECT_EQ(encode_hex(bits.get()), "82 01 82");
}

TEST(PrimitiveValues, EmptyTextGoesOutAsCharacterSetAlone)
{
  Value empty = tagged(TAG_CHARACTER_STRING);
  EXPECT_EQ(encode_hex(empty.get()), "71 00");
  EXPECT_EQ(encode_hex(empty.get(), 2), "29 00");
}

TEST(ConstructedValues, OptionalFieldsFollowTheirAbsentMarkers)
{
  Value ref = tagged(TAG_OBJECT_PROPERTY_REFERENCE);
  auto* r = value_record<BACnetObjectPropertyReference>(&*ref);
  r->object = {0, 1};
  r->property = 85;
  EXPECT_EQ(encode_hex(ref.get()), "0C 00 00 00 01 19 55");
  r->array_index = 0;
  EXPECT_EQ(encode_hex(ref.get()), "0C 00 00 00 01 19 55 29 00");

  Value device_ref = tagged(TAG_DEVICE_OBJECT_PROPERTY_REFERENCE);
  auto* d = value_record<BACnetDeviceObjectPropertyReference>(&*device_ref);
  d->object = {0, 1};
  d->property = 85;
  d->device = {999, 0};
  EXPECT_EQ(encode_hex(device_ref.get()), "0C 00 00 00 01 19 55");
  BACnetDeviceObjectPropertyReference back{};
  Received in("0C 00 00 00 01 19 55");
  ASSERT_EQ(pdu_decode_device_object_property_reference(&in.buffer, &back), 0);
  EXPECT_EQ(back.device.type, 999u);
  EXPECT_EQ(back.array_index, -1);

  Value pv = tagged(TAG_PROPERTY_VALUE);
  auto* p = value_record<BACnetPropertyValue>(&*pv);
  p->property = 85;
  p->value.tag = TAG_REAL;
  p->value.payload.real = 1.0f;
  EXPECT_EQ(encode_hex(pv.get()), "09 55 2E 44 3F 80 00 00 2F") << "priority 0 carries no [3]";
}

TEST(ConstructedValues, TimeStampOfDateAndTime)
{
  Value stamp = tagged(TAG_TIMESTAMP);
  auto* s = value_record<BACnetTimeStamp>(&*stamp);
  s->choice = 2;
  s->datetime = {{124, 5, 10, 5}, {10, 30, 0, 0}};
  EXPECT_EQ(encode_hex(stamp.get()), "2E A4 7C 05 0A 05 B4 0A 1E 00 00 2F");
  BACnetTimeStamp back{};
  Received in(encode_hex(stamp.get()));
  ASSERT_EQ(pdu_decode_timestamp(&in.buffer, &back), 0);
  EXPECT_EQ(back.choice, 2u);
  EXPECT_EQ(back.datetime.time.minute, 30);
}

TEST(ConstructedValues, ListsWriteApplicationTagsWithoutEnclosingTag)
{
  Value list = tagged(TAG_OBJECT_ID_LIST);
  for (uint32_t i = 1; i <= 2; ++i) {
    BACnetValue id{};
    id.tag = TAG_OBJECT_ID;
    id.payload.object_id = {10, i};
    ASSERT_EQ(value_array_append(value_array(&*list), &id), 0);
  }
  EXPECT_EQ(encode_hex(list.get(), 3), "C4 02 80 00 01 C4 02 80 00 02");
}

TEST(ConstructedValues, TagsWithoutEncodingFail)
{
  for (uint32_t tag : {13u, 20u, 86u, 94u}) {
    BACnetValue v{};
    v.tag = tag;
    Encoded e;
    EXPECT_EQ(pdu_encode_value(&e.buffer, &v, -1), PDU_ENCODE_FAILED) << tag;
  }
}

TEST(ConstructedValues, PriorityValueChoosesByFirstOctet)
{
  BACnetPriorityValue pv{};
  Received constructed("0E 44 42 91 00 00 0F");
  ASSERT_EQ(pdu_decode_priority_value(&constructed.buffer, &pv), 0);
  EXPECT_EQ(pv.choice, 4u);
  EXPECT_EQ(pv.value.tag, TAG_REAL);
  value_free(&pv.value);
  Received null("00");
  ASSERT_EQ(pdu_decode_priority_value(&null.buffer, &pv), 0);
  EXPECT_EQ(pv.choice, 0u);
  Received binary("91 01");
  ASSERT_EQ(pdu_decode_priority_value(&binary.buffer, &pv), 0);
  EXPECT_EQ(pv.choice, 2u);
  EXPECT_EQ(pv.enumerated, 1u);
}

TEST(ConstructedValues, LogDatumPrimitiveAndWrappedReadTheSame)
{
  const char* forms[] = {
      "0E A4 7C 05 0A 05 B4 0A 1E 00 00 0F 1E 2C 42 91 00 00 1F",
      "0E A4 7C 05 0A 05 B4 0A 1E 00 00 0F 1E 2E 44 42 91 00 00 2F 1F",
  };
  for (const char* hex : forms) {
    Value record = tagged(TAG_LOG_RECORD);
    Received in(hex);
    ASSERT_EQ(pdu_decode_log_record(&in.buffer, value_record<BACnetLogRecord>(&*record)), 0) << hex;
    EXPECT_TRUE(in.at_end());
    EXPECT_EQ(value_record<BACnetLogRecord>(&*record)->choice, 2u);
    EXPECT_FLOAT_EQ(value_record<BACnetLogRecord>(&*record)->datum.real, 72.5f);
  }
}

TEST(PropertyValues, ObjectListWholeLengthAndElement)
{
  const std::string whole = "3E C4 02 00 04 D2 C4 02 80 00 01 C4 02 80 00 02 3F";
  Value v;
  ASSERT_EQ(decode_property(whole, v.get(), 76), 0);
  ASSERT_EQ(v->tag, TAG_OBJECT_ID_LIST);
  ASSERT_EQ(value_array(&*v)->used, 3u);
  EXPECT_EQ(value_array(&*v)->elements[2].payload.object_id.instance, 2u);

  ASSERT_EQ(decode_property("3E 21 03 3F", v.get(), 76, 0), 0);
  EXPECT_EQ(v->tag, TAG_UNSIGNED);
  EXPECT_EQ(v->payload.unsigned_value, 3u);

  ASSERT_EQ(decode_property("3E C4 02 80 00 02 3F", v.get(), 76, 3), 0);
  EXPECT_EQ(v->tag, TAG_OBJECT_ID);
  EXPECT_EQ(v->payload.object_id.instance, 2u);
}

TEST(PropertyValues, PriorityArrayNullElement)
{
  Value v;
  ASSERT_EQ(decode_property("3E 00 44 42 91 00 00 3F", v.get(), 87), 0);
  ASSERT_EQ(v->tag, TAG_PRIORITY_ARRAY);
  ASSERT_EQ(value_array(&*v)->used, 2u);
  auto* first = value_record<BACnetPriorityValue>(&value_array(&*v)->elements[0]);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->choice, 0u);
}

TEST(PropertyValues, FailingSpecificDecoderFallsBackToGeneric)
{
  Value v;
  ASSERT_EQ(decode_property("3E 21 01 91 02 3F", v.get(), 7), 0) << "alarm-values with an Enumerated";
  ASSERT_EQ(v->tag, TAG_ANY_VALUE_LIST);
  ASSERT_EQ(value_array(&*v)->used, 2u);
  auto* second = value_record<AnyValue>(&value_array(&*v)->elements[1]);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->value.tag, TAG_ENUMERATED);

  // Change-of-bitstring parameters that carry their bit-string values too.
  ASSERT_EQ(decode_property("3E 0E 09 05 1A 06 80 2A 06 40 0F 3F", v.get(), 83), 0);
  EXPECT_EQ(v->tag, TAG_TAGGED_DATA);
}

TEST(PropertyValues, UnlistedPropertyIsReadGenerically)
{
  Value v;
  ASSERT_EQ(decode_property("3E 44 42 91 00 00 3F", v.get(), 85), 0);
  EXPECT_EQ(v->tag, TAG_REAL);
  ASSERT_EQ(decode_property("3E 44 42 91 00 00 91 01 3F", v.get(), 85), 0);
  ASSERT_EQ(v->tag, TAG_ANY_VALUE_LIST);
  EXPECT_EQ(value_array(&*v)->used, 2u);
  EXPECT_EQ(encode_hex(v.get()), "44 42 91 00 00 91 01") << "generic values encode back unchanged";
}

TEST(PropertyValues, ContextTaggedContentBecomesTaggedData)
{
  Value v;
  ASSERT_EQ(decode_property("3E 0E 19 05 0F 3F", v.get(), 85), 0);
  ASSERT_EQ(v->tag, TAG_TAGGED_DATA);
  EXPECT_EQ(value_record<TaggedData>(&*v)->tag_number, 0);
  EXPECT_EQ(encode_hex(v.get()), "0E 19 05 0F");
}

TEST(PropertyValues, MalformedEnclosuresFail)
{
  Value v;
  EXPECT_EQ(decode_property("3E 44 42 91 00 00", v.get(), 85), PDU_MALFORMED) << "no closing tag";
  EXPECT_EQ(decode_property("2E 44 42 91 00 00 2F", v.get(), 85), PDU_MALFORMED) << "wrong opening tag";
  EXPECT_EQ(decode_property("3E 44 42 91 3F", v.get(), 85), PDU_MALFORMED) << "content cut inside";
  EXPECT_EQ(decode_property("3E 3F", v.get(), 76, -2), PDU_MALFORMED) << "index below -1";
}

TEST(PropertyValues, SpecificDecoderStoppingEarlyDoesNotMisalign)
{
  // A modification-date whose date-time is followed by a stray element.
  Received r("3E A4 7C 05 0A 05 B4 0A 1E 00 00 21 01 3F 49 07");
  Value v;
  ASSERT_EQ(pdu_decode_property_value(&r.buffer, v.get(), 3, 71, -1), 0);
  EXPECT_EQ(v->tag, TAG_DATETIME);
  EXPECT_EQ(r.buffer.data[r.buffer.pos], 0x49);
}

}  // namespace
