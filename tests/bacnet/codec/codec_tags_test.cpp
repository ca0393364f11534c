#include "bacnet/codec/codec_tags.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int length_of(std::vector<uint8_t> octets)
{
  return pdu_element_length(octets.data(), int32_t(octets.size()));
}

TEST(PduBuffer, GrowsInBlocksAndFreesToEmpty)
{
  pdu_buffer buffer;
  ASSERT_EQ(pdu_buffer_append_byte(&buffer, 0xAB), 0);
  EXPECT_EQ(buffer.pos, 1u);
  EXPECT_EQ(buffer.size, 256u);
  const uint8_t more[3] = {1, 2, 3};
  ASSERT_EQ(pdu_buffer_append_bytes(&buffer, more, 3), 0);
  EXPECT_EQ(buffer.size, 256u);
  EXPECT_EQ(buffer.data[3], 3);
  ASSERT_EQ(pdu_buffer_reserve(&buffer, 300), 0);
  EXPECT_EQ(buffer.size, 556u);
  pdu_buffer_free(&buffer);
  EXPECT_EQ(buffer.data, nullptr);
  EXPECT_EQ(buffer.pos, 0u);
  EXPECT_EQ(buffer.size, 0u);
}

TEST(PduBuffer, AppendingNothingToEmptyBufferWritesNothing)
{
  pdu_buffer buffer;
  EXPECT_EQ(pdu_buffer_append_bytes(&buffer, nullptr, 0), 0);
  EXPECT_EQ(buffer.pos, 0u);
  EXPECT_EQ(buffer.data, nullptr);
}

TEST(PduTags, ReadsAtTheEndFailWithMalformed)
{
  const uint8_t octets[1] = {0x0E};
  pdu_buffer buffer = pdu_buffer_view(octets, 1);
  buffer.pos = 1;
  uint8_t octet = 0;
  EXPECT_EQ(pdu_read_byte(&buffer, &octet), PDU_MALFORMED);
  EXPECT_EQ(pdu_decode_opening_tag(&buffer, 0), PDU_MALFORMED);
  EXPECT_EQ(pdu_decode_closing_tag(&buffer, 0), PDU_MALFORMED);
  buffer.pos = 0;
  EXPECT_EQ(pdu_decode_closing_tag(&buffer, 0), PDU_MALFORMED);
  EXPECT_EQ(buffer.pos, 1u) << "the tag check consumes its octet";
}

TEST(PduTags, HeaderLengthsOfTheExtendedForms)
{
  const uint8_t one[] = {0x64};
  const uint8_t two[] = {0x65, 0x05};
  const uint8_t four[] = {0x65, 0xFE, 0x00, 0xFE};
  const uint8_t six[] = {0x65, 0xFF, 0x00, 0x01, 0x00, 0x00};
  const uint8_t opening[] = {0x3E};
  EXPECT_EQ(pdu_tag_header_length(one, 1), 1);
  EXPECT_EQ(pdu_tag_header_length(two, 2), 2);
  EXPECT_EQ(pdu_tag_header_length(four, 4), 4);
  EXPECT_EQ(pdu_tag_header_length(six, 6), 6);
  EXPECT_EQ(pdu_tag_header_length(six, 5), -1) << "header cut short";
  EXPECT_EQ(pdu_tag_header_length(opening, 1), -1);
}

TEST(PduTags, PrimitiveLengths)
{
  EXPECT_EQ(length_of({0x21, 0x00}), 2);
  EXPECT_EQ(length_of({0x11}), 1) << "application BOOLEAN has no content";
  EXPECT_EQ(length_of({0x29, 0x01}), 2) << "context BOOLEAN has one octet";
  EXPECT_EQ(length_of({0x25, 0x03, 1, 2, 3}), -1) << "extended length below 5";
  EXPECT_EQ(length_of({0x65, 0x05, 1, 2, 3, 4}), -1) << "content runs past the data";
  EXPECT_EQ(length_of({0xF1, 0x00}), -1) << "extended tag numbers are not accepted";
  EXPECT_EQ(length_of({0x1F}), -1) << "closing tag where an element is expected";
  EXPECT_EQ(length_of({0x06}), -1);
  std::vector<uint8_t> long_string = {0x65, 0xFE, 0x01, 0x00};
  long_string.resize(4 + 256);
  EXPECT_EQ(length_of(long_string), 260);
}

TEST(PduTags, ConstructedLengthsCountBothTags)
{
  EXPECT_EQ(length_of({0x3E, 0x44, 0x42, 0x90, 0x00, 0x00, 0x3F}), 7);
  EXPECT_EQ(length_of({0x0E, 0x0E, 0x21, 0x01, 0x0F, 0x0F}), 6) << "inner tag of the same number";
  EXPECT_EQ(length_of({0x1E, 0x1F, 0x00}), 2);
  EXPECT_EQ(length_of({0x3E, 0x21, 0x05, 0x21}), -1) << "no closing tag before the limit";
  EXPECT_EQ(length_of({0x3E, 0x21, 0x05, 0x4F}), -1) << "foreign closing tag inside";
}

TEST(PduTags, DeepNestingIsRefused)
{
  std::vector<uint8_t> octets(200, 0x0E);
  octets.insert(octets.end(), 200, 0x0F);
  EXPECT_EQ(pdu_element_length(octets.data(), int32_t(octets.size())), -1);
  std::vector<uint8_t> shallow(8, 0x0E);
  shallow.insert(shallow.end(), 8, 0x0F);
  EXPECT_EQ(pdu_element_length(shallow.data(), int32_t(shallow.size())), 16);
}

}  // namespace

namespace {

std::vector<std::string> g_trace;
void remember(int level, const char* text)
{
  g_trace.push_back(std::to_string(level) + " " + text);
}

TEST(PduInit, TraceFollowsTheCodecOptionByte)
{
  DriverContext context;
  context.log = remember;
  context.options[20] = 1;  // another module's switch
  g_trace.clear();
  EXPECT_EQ(pdu_init(&context), 0);
  EXPECT_TRUE(g_trace.empty());
  context.options[21] = 1;
  EXPECT_EQ(pdu_init(&context), 0);
  ASSERT_EQ(g_trace.size(), 1u);
  EXPECT_EQ(g_trace[0], "1 pdu_init");
}

}  // namespace
