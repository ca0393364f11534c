// Decoding of the read answers by position, with each register group's scaling, and the
// button indicators of output register 0.
#include "gui/core/modbus_decode.h"

#include <gtest/gtest.h>

using namespace modbus;

namespace {

// A read answer text: address, function, byte count, then the given register digits.
QString answer(const QString& registers)
{
  return QStringLiteral("0103%1").arg(registers.size() / 2, 2, 16, QChar('0')).toUpper() + registers + "ABCD";
}

}  // namespace

TEST(ModbusDecode, RegistersAreSignedByPosition)
{
  const QString a = answer("FFCE00D780007FFF");
  EXPECT_EQ(answer_register(a, 0), -50);
  EXPECT_EQ(answer_register(a, 1), 215);
  EXPECT_EQ(answer_register(a, 2), -32768);
  EXPECT_EQ(answer_register(a, 3), 32767);
  EXPECT_EQ(answer_register_unsigned(a, 2), 0x8000);
  // Past the data come the check-sum digits, then nothing.
  EXPECT_EQ(answer_register(a, 4), 0xABCD - 0x10000);
  EXPECT_EQ(answer_register(a, 5), 0);
  EXPECT_EQ(answer_register("0103020F", 0), 0x0F);  // fewer digits carry no sign
  EXPECT_EQ(answer_byte("01010401000080", 3), 0x80);
}

TEST(ModbusDecode, ConfigurationBlockInTenthsFrom34To42)
{
  QString regs;
  for (int v : {1, 2, 3, 4, 215, -50, 6, 7, 8, 9})
    regs += QStringLiteral("%1").arg(v & 0xFFFF, 4, 16, QChar('0')).toUpper();
  const std::vector<RegisterValue> block = config_block(answer(regs), 30);
  ASSERT_EQ(block.size(), 10u);
  EXPECT_EQ(block[0].index, 30);
  EXPECT_EQ(block[3].value, 4);  // 33 plain
  EXPECT_EQ(block[4].value, 21.5);  // 34
  EXPECT_EQ(block[5].value, -5);  // 35
  EXPECT_EQ(block[9].value, 0.9);  // 39

  const std::vector<RegisterValue> plain = config_block(answer("00D7"), 20);
  EXPECT_EQ(plain[0].value, 215);
  // The block at 70 ends with register 72.
  const std::vector<RegisterValue> last = config_block(answer("000100020003000400050006000700080009000A"), 70);
  ASSERT_EQ(last.size(), 3u);
  EXPECT_EQ(last.back().index, 72);
  EXPECT_EQ(config_block(answer("8000"), 10)[0].value, -32768);
}

TEST(ModbusDecode, OutputRegisters)
{
  QString regs = "FFFFFFFF00E1";  // 0, 1 unsigned; 2 in tenths
  for (int n = 3; n <= 6; ++n)
    regs += "FF9C";  // -100: tenths
  for (int n = 7; n <= 16; ++n)
    regs += "FFFF";
  const std::array<double, 17> v = output_registers(answer(regs));
  EXPECT_EQ(v[0], 65535);
  EXPECT_EQ(v[1], 65535);
  EXPECT_EQ(v[2], 22.5);
  EXPECT_EQ(v[6], -10);
  EXPECT_EQ(v[7], -1);
  EXPECT_EQ(v[16], -1);
}

TEST(ModbusDecode, InputRegistersSevenTo27)
{
  QString regs;
  for (int i = 7; i <= 27; ++i)
    regs += i == 9 ? "FF9C" : i == 10 ? "0190" : QStringLiteral("%1").arg(i * 10, 4, 16, QChar('0')).toUpper();
  const std::vector<RegisterValue> v = input_registers(answer(regs));
  ASSERT_EQ(v.size(), 21u);
  auto at = [&v](int i) { return v[size_t(i - 7)].value; };
  EXPECT_EQ(at(7), 7);
  EXPECT_EQ(at(9), -10);
  EXPECT_EQ(at(10), 400);
  EXPECT_EQ(at(11), 110);
  EXPECT_EQ(at(12), 12);  // tenths, written back times ten
  EXPECT_EQ(at(13), 13);
  for (int i : {7, 8, 9, 12, 13, 14, 15, 20, 21})
    EXPECT_TRUE(input_in_tenths(i)) << i;
  for (int i : {10, 11, 16, 17, 18, 19, 22, 23, 24, 25, 26, 27})
    EXPECT_FALSE(input_in_tenths(i)) << i;
  EXPECT_EQ(at(26), 260);
  EXPECT_EQ(at(27), 270);
}

TEST(ModbusDecode, CoilsLeastSignificantFirst)
{
  const std::vector<int> bits = coil_bits("01010401000080FB8D", 32);
  for (int k = 0; k < 32; ++k)
    EXPECT_EQ(bits[size_t(k)], k == 0 || k == 31 ? 1 : 0) << k;
  const std::vector<int> inputs = coil_bits("010102A005", 16);
  EXPECT_EQ(inputs[5], 1);
  EXPECT_EQ(inputs[7], 1);
  EXPECT_EQ(inputs[8], 1);
  EXPECT_EQ(inputs[10], 1);
  EXPECT_EQ(inputs[0], 0);
}

TEST(ModbusDecode, ButtonIndicators)
{
  const std::array<bool, 12> lit = button_indicators(0xF005);
  for (int j = 0; j < 12; ++j)
    EXPECT_EQ(lit[size_t(j)], j == 9 || j == 11) << j;
  const std::array<bool, 12> all = button_indicators(0xFFFF);
  for (bool b : all)
    EXPECT_TRUE(b);
  // Without the high four bits set every indicator is off, down to 0.
  for (int64_t v : {0xEFFF, 0x7000, 0x6FFF, 0x0005, 0x0000})
    for (bool b : button_indicators(v))
      EXPECT_FALSE(b) << v;
}
