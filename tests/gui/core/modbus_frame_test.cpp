#include "gui/core/modbus_frame.h"

#include <gtest/gtest.h>

using namespace modbus;

namespace {

QByteArray bytes(std::initializer_list<uint8_t> list)
{
  QByteArray out;
  for (uint8_t b : list)
    out.append(char(b));
  return out;
}

}  // namespace

TEST(ModbusFrame, ConnectionTestToSlaveOneInRtu)
{
  EXPECT_EQ(func_crc16(request_bytes("010300210001")), "00D4");
  EXPECT_EQ(rtu_frame("010300210001"), bytes({0x01, 0x03, 0x00, 0x21, 0x00, 0x01, 0xD4, 0x00}));
}

TEST(ModbusFrame, CrcMatchesTheStandardCheckValue)
{
  // The Modbus CRC of the ASCII digits "123456789" is 0x4B37.
  EXPECT_EQ(func_crc16("123456789"), "4B37");
  EXPECT_EQ(func_crc16(""), "FFFF");
}

TEST(ModbusFrame, ShiftRightIsLogicalOnSixteenBits)
{
  EXPECT_EQ(func_shift_right(-1), 0x7FFF);
  EXPECT_EQ(func_shift_right(0x8001), 0x4000);
  EXPECT_EQ(func_shift_right(2), 1);
}

TEST(ModbusFrame, AsciiFrameCarriesTheStandardLrc)
{
  EXPECT_EQ(ascii_frame("010300210001"), QByteArray(":010300210001DA\r\n"));
  EXPECT_EQ(lrc(bytes({})), 0);
  EXPECT_EQ(lrc(bytes({0xFF, 0x01})), 0);
}

TEST(ModbusFrame, AddressFieldIsTwoHexDigits)
{
  EXPECT_EQ(address_field("5"), "05");
  EXPECT_EQ(address_field("200"), "C8");
  EXPECT_EQ(address_field("0"), "00");
}
