#include "bacnet/codec/codec_primitives.h"
#include "codec_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using codectest::Encoded;
using codectest::Received;

namespace {

TEST(PrimitiveWriters, UnsignedUsesFewestOctets)
{
  Encoded zero, big, max;
  ASSERT_EQ(pdu_write_unsigned(&zero, -1, 0), 0);
  ASSERT_EQ(pdu_write_unsigned(&big, -1, 256), 0);
  ASSERT_EQ(pdu_write_unsigned(&max, -1, 4294967295u), 0);
  EXPECT_EQ(zero.hex(), "21 00");
  EXPECT_EQ(big.hex(), "22 01 00");
  EXPECT_EQ(max.hex(), "24 FF FF FF FF");
}

TEST(PrimitiveWriters, SignedKeepsTheSign)
{
  struct Case { int32_t value; const char* hex; } cases[] = {
      {127, "31 7F"}, {128, "32 00 80"}, {-1, "31 FF"}, {-129, "32 FF 7F"}, {-2147483647 - 1, "34 80 00 00 00"}};
  for (const auto& c : cases) {
    Encoded e;
    ASSERT_EQ(pdu_write_signed(&e, -1, c.value), 0);
    EXPECT_EQ(e.hex(), c.hex) << c.value;
    Received r(e.bytes());
    int32_t back = 0;
    ASSERT_EQ(pdu_read_signed(&r, -1, &back), 0);
    EXPECT_EQ(back, c.value);
  }
  Received one_octet("31 80");
  int32_t value = 0;
  ASSERT_EQ(pdu_read_signed(&one_octet, -1, &value), 0);
  EXPECT_EQ(value, -128);
}

TEST(PrimitiveWriters, BooleanForms)
{
  Encoded app, context;
  ASSERT_EQ(pdu_write_boolean(&app, -1, true), 0);
  ASSERT_EQ(pdu_write_boolean(&context, 2, true), 0);
  EXPECT_EQ(app.hex(), "11");
  EXPECT_EQ(context.hex(), "29 01");
}

TEST(PrimitiveWriters, CharacterStrings)
{
  Encoded abc, empty, absent;
  ASSERT_EQ(pdu_write_charstring(&abc, -1, "abc"), 0);
  ASSERT_EQ(pdu_write_charstring(&empty, -1, ""), 0);
  ASSERT_EQ(pdu_write_charstring(&absent, 3, nullptr), 0);
  EXPECT_EQ(abc.hex(), "74 00 61 62 63");
  EXPECT_EQ(empty.hex(), "71 00") << "the character-set octet alone";
  EXPECT_EQ(absent.hex(), "39 00");
}

TEST(PrimitiveWriters, OctetStringLengthForms)
{
  struct Case { uint32_t n; const char* header; } cases[] = {
      {4, "64"}, {5, "65 05"}, {253, "65 FD"}, {254, "65 FE 00 FE"}, {65535, "65 FE FF FF"}, {65536, "65 FF 00 01 00 00"}};
  for (const auto& c : cases) {
    std::vector<uint8_t> data(c.n, 0xA5);
    Encoded e;
    ASSERT_EQ(pdu_write_octets(&e, -1, data.data(), c.n), 0);
    std::string header = c.header;
    EXPECT_EQ(e.hex().substr(0, header.size()), header) << c.n;
    EXPECT_EQ(e.buffer.pos, c.n + (header.size() + 1) / 3);
    Received r(e.bytes());
    const uint8_t* back = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(pdu_read_octets(&r, -1, &back, &length), 0);
    EXPECT_EQ(length, c.n);
    EXPECT_TRUE(r.at_end());
  }
}

TEST(PrimitiveWriters, BitStrings)
{
  const uint8_t seven[7] = {1, 0, 0, 0, 0, 0, 1};
  Encoded e, none;
  ASSERT_EQ(pdu_write_bits(&e, -1, seven, 7), 0);
  ASSERT_EQ(pdu_write_bits(&none, -1, nullptr, 0), 0);
  EXPECT_EQ(e.hex(), "82 01 82");
  EXPECT_EQ(none.hex(), "81 00");
  std::vector<uint8_t> too_many(PDU_MAX_BITS + 1, 1);
  Encoded refused;
  EXPECT_EQ(pdu_write_bits(&refused, -1, too_many.data(), uint32_t(too_many.size())), PDU_ENCODE_FAILED);
}

TEST(PrimitiveWriters, ObjectIdentifierAndReal)
{
  Encoded id, real;
  ASSERT_EQ(pdu_write_object_id(&id, -1, 8, 1234), 0);
  ASSERT_EQ(pdu_write_real(&real, 4, 72.5f), 0);
  EXPECT_EQ(id.hex(), "C4 02 00 04 D2");
  EXPECT_EQ(real.hex(), "4C 42 91 00 00");
  Received r(id.bytes());
  uint32_t type = 0, instance = 0;
  ASSERT_EQ(pdu_read_object_id(&r, -1, &type, &instance), 0);
  EXPECT_EQ(type, 8u);
  EXPECT_EQ(instance, 1234u);
}

TEST(PrimitiveReaders, DoubleRoundTripsItsEightOctets)
{
  Received r("55 08 40 09 21 FB 54 44 2D 18");
  BACnetValue read{};
  ASSERT_EQ(pdu_decode_double(&r, &read), 0);
  double value = read.payload.double_value;
  EXPECT_DOUBLE_EQ(value, 3.141592653589793);
  Encoded e;
  ASSERT_EQ(pdu_write_double(&e, -1, value), 0);
  EXPECT_EQ(e.hex(), "55 08 40 09 21 FB 54 44 2D 18");
}

TEST(PrimitiveReaders, WrongTagOrClassIsMalformedAndNotConsumed)
{
  Received context_one("19 05");
  uint32_t value = 0;
  EXPECT_EQ(pdu_read_unsigned(&context_one, 0, &value), PDU_MALFORMED);
  EXPECT_EQ(context_one.buffer.pos, 0u);
  EXPECT_EQ(pdu_read_unsigned(&context_one, -1, &value), PDU_MALFORMED) << "context where application is needed";
  EXPECT_EQ(pdu_read_unsigned(&context_one, 1, &value), 0);
  EXPECT_EQ(value, 5u);
  Received too_long("25 05 01 02 03 04 05");
  EXPECT_EQ(pdu_read_unsigned(&too_long, -1, &value), PDU_MALFORMED);
}

TEST(PrimitiveReaders, TruncatedElementsAreMalformed)
{
  const char* cut[] = {"C4 02 00 04", "44 42 91", "22 01", "65 05 01 02", "75 FE 00", "A4 7C 05"};
  for (const char* hex : cut) {
    Received r(hex);
    uint32_t a = 0, b = 0;
    float f = 0;
    const uint8_t* p = nullptr;
    uint8_t date[4];
    EXPECT_NE(pdu_read_object_id(&r, -1, &a, &b), 0) << hex;
    EXPECT_NE(pdu_read_real(&r, -1, &f), 0) << hex;
    EXPECT_NE(pdu_read_unsigned(&r, -1, &a), 0) << hex;
    EXPECT_NE(pdu_read_octets(&r, -1, &p, &a), 0) << hex;
    EXPECT_NE(pdu_read_charstring(&r, -1, &p, &a), 0) << hex;
    EXPECT_NE(pdu_read_date(&r, -1, date), 0) << hex;
    EXPECT_EQ(r.buffer.pos, 0u) << hex;
  }
}

TEST(PrimitiveReaders, NullForms)
{
  Received context_null("78");
  EXPECT_EQ(pdu_read_null(&context_null, 7), 0);
  Received with_content("79 00");
  EXPECT_EQ(pdu_read_null(&with_content, 7), PDU_MALFORMED);
}

}  // namespace
