#include "backend/api/api_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

TEST(ApiFraming, HeaderIsTheLowEightDecimalDigitsAndReadsBackUpToSixteenMebibytes)
{
  const std::pair<uint32_t, const char*> written[] = {
      {0, "00000000"}, {11, "00000011"}, {16777216, "16777216"}, {123456789, "23456789"}};
  for (const auto& [length, text] : written) {
    char header[8];
    api_frame_header(length, header);
    EXPECT_EQ(std::string(header, 8), text) << length;
  }
  struct Case {
    const char* header;
    int result;
    uint32_t length;
  } cases[] = {
      {"00000011", 0, 11}, {"00000000", 0, 0},  {"16777216", 0, 16777216}, {"16777217", -1, 0},
      {"99999999", -1, 0}, {"0000001a", -1, 0}, {" 0000011", -1, 0},       {"-0000011", -1, 0},
      {"+0000011", -1, 0}, {"0000\x00" "011", -1, 0},
  };
  for (const Case& c : cases) {
    uint32_t length = 0;
    EXPECT_EQ(api_frame_length(reinterpret_cast<const uint8_t*>(c.header), &length), c.result) << c.header;
    EXPECT_EQ(length, c.length) << c.header;
  }
}

// Every reply the end-to-end runs decode shows the writers' layout; a missing text is empty.
TEST(ApiCodec, AMissingTextIsWrittenEmpty)
{
  pdu_buffer b{};
  ASSERT_EQ(api_put_string(&b, nullptr), 0);
  EXPECT_EQ(std::vector<uint8_t>(b.data, b.data + b.pos), (std::vector<uint8_t>{0, 0, 0, 0}));
  pdu_buffer_free(&b);
}

TEST(ApiCodec, ReadersFailWithoutMovingWhenTheBytesAreNotThere)
{
  struct Case {
    std::vector<uint8_t> bytes;
    bool ok;
    std::string text;
    uint32_t pos_after;
  } cases[] = {
      {{0, 0, 0, 2, 'o', 'k', 9}, true, "ok", 6},
      {{0, 0, 0, 0}, true, "", 4},
      {{0, 0, 0, 3, 'o', 'k'}, false, "", 0},    // longer than what remains
      {{0x80, 0, 0, 0, 'o', 'k'}, false, "", 0},  // negative length
      {{0, 0, 0}, false, "", 0},                  // length cut short
  };
  for (const Case& c : cases) {
    ApiReader r{c.bytes, 0};
    std::string text;
    EXPECT_EQ(api_get_string(&r, &text) == 0, c.ok) << &c - cases;
    EXPECT_EQ((std::pair{text, r.pos}), (std::pair{c.text, c.pos_after})) << &c - cases;
  }
  std::vector<uint8_t> three = {1, 2, 3};
  ApiReader r{three, 0};
  uint32_t v = 7;
  EXPECT_EQ(api_get_u32(&r, &v), -1);
  EXPECT_EQ(v, 7u);
  uint8_t octet = 0;
  EXPECT_EQ(api_get_u8(&r, &octet), 0);
  EXPECT_EQ(octet, 1);
}
