#include "gui/core/wandeln.h"

#include <gtest/gtest.h>

using namespace Wandeln;

TEST(Wandeln, ByteToHexGivesTwoUpperCaseDigits)
{
  EXPECT_EQ(ByteToHex(0), "00");
  EXPECT_EQ(ByteToHex(10), "0A");
  EXPECT_EQ(ByteToHex(165), "A5");
  EXPECT_EQ(ByteToHex(255), "FF");
  EXPECT_EQ(ByteToHexText(171), "AB");
}

TEST(Wandeln, HexToByteReadsUpperCaseDigitsOnly)
{
  EXPECT_EQ(HexToByte("A5"), 165);
  EXPECT_EQ(HexToByte("0A"), 10);
  EXPECT_EQ(HexToByte("F"), 15);
  EXPECT_EQ(HexToByte("FF"), 255);
  EXPECT_EQ(HexToByte("a5"), 5);
  EXPECT_EQ(HexToByte("ff"), 0);
  EXPECT_EQ(HexToByte("f"), 0);
  EXPECT_EQ(HexToByte("G3"), 3);
  EXPECT_EQ(HexToByte("3G"), 48);
  EXPECT_EQ(HexToByte("123"), 18);
  EXPECT_EQ(HexToByte(""), 0);
}

TEST(Wandeln, EveryByteRoundTrips)
{
  for (int b = 0; b < 256; ++b)
    EXPECT_EQ(HexToByte(ByteToHex(uint8_t(b))), b);
}
