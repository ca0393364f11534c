// Requests of every step as texts and as RTU and ASCII frames, byte for byte. The expected
// frames were computed with an independent CRC and LRC (pymodbus' utilities).
#include "gui/core/modbus_frame.h"
#include "gui/core/modbus_request.h"

#include <gtest/gtest.h>

using namespace modbus;

namespace {

struct StepFrame {
  const char* what;
  QString text;
  const char* rtu_hex;
  const char* ascii;
};

}  // namespace

namespace {

// 32 coils with the given ones checked.
std::vector<int> thirty_two(std::initializer_list<int> set)
{
  std::vector<int> bits(32, 0);
  for (int k : set)
    bits[size_t(k)] = 1;
  return bits;
}

}  // namespace

TEST(ModbusRequests, EveryStepInBothFramings)
{
  const QString a = address_field("1");
  const StepFrame frames[] = {
      {"connection test", read_request(a, kReadHoldingRegisters, 0x21, 1), "010300210001D400", ":010300210001DA\r\n"},
      {"configuration block 0", read_request(a, kReadHoldingRegisters, 0, 10), "01030000000AC5CD", ":01030000000AF2\r\n"},
      {"configuration block 10", read_request(a, kReadHoldingRegisters, 10, 10), "0103000A000AE5CF",
       ":0103000A000AE8\r\n"},
      {"configuration block 70", read_request(a, kReadHoldingRegisters, 70, 10), "01030046000A2418",
       ":01030046000AAC\r\n"},
      {"monitor", read_request(a, kReadHoldingRegisters, 0x100, 17), "010301000011843A", ":010301000011EA\r\n"},
      {"configuration bits", read_request(a, kReadCoils, 0, 32), "0101000000203DD2", ":010100000020DE\r\n"},
      {"input registers", read_request(a, kReadHoldingRegisters, 0x207, 21), "010302070015347C",
       ":010302070015DE\r\n"},
      {"input bits", read_request(a, kReadCoils, 0x100, 16), "0101010000103C3A", ":010101000010ED\r\n"},
      {"write configuration bits", write_coils_request(a, 0, thirty_two({0, 9})), "010F00000020040102000064B4",
       ":010F000000200401020000C9\r\n"},
      {"write input bits", write_coils_request(a, 0x100, {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1}),
       "010F010000100205A0F1C8", ":010F010000100205A038\r\n"},
      {"write input register 3", write_registers_request(a, 0x203, {hex_field("12")}), "01100203000102001205AE",
       ":011002030001020012D5\r\n"},
      {"write configuration block 30",
       write_registers_request(a, 30, {register_hex(30), register_hex(31), register_hex(32), register_hex(33),
                                       register_hex(215), register_hex(215), register_hex(215), register_hex(215),
                                       register_hex(215), register_hex(215)}),
       "0110001E000A14001E001F0020002100D700D700D700D700D700D770E0",
       ":0110001E000A14001E001F0020002100D700D700D700D700D700D72B\r\n"},
  };
  for (const StepFrame& f : frames) {
    EXPECT_EQ(rtu_frame(f.text).toHex().toUpper(), QByteArray(f.rtu_hex)) << f.what;
    EXPECT_EQ(ascii_frame(f.text), QByteArray(f.ascii)) << f.what;
  }
}

TEST(ModbusRequests, OnlyACheckedBoxCountsAsSet)
{
  std::vector<int> bits = thirty_two({0, 9});
  bits[20] = 2;  // a grey box
  EXPECT_EQ(write_coils_request("01", 0, bits), "010F000000200401020000");
}

TEST(ModbusRequests, RegisterValuesAsFourHexDigits)
{
  EXPECT_EQ(register_hex(215), "00D7");
  EXPECT_EQ(register_hex(-1), "FFFF");
  EXPECT_EQ(register_hex(-5), "FFFB");
  EXPECT_EQ(register_hex(0x11170), "1170");
  EXPECT_EQ(register_hex(7), "0007");
  // Clock digits are sent as they stand; a longer text keeps its last four digits.
  EXPECT_EQ(hex_field("7"), "0007");
  EXPECT_EQ(hex_field("26"), "0026");
  EXPECT_EQ(hex_field("12345"), "2345");
  EXPECT_EQ(hex_field("ab"), "00AB");
  EXPECT_EQ(hex_field("1,5"), "0105");
}

TEST(ModbusRequests, OnlyAddressesOneTo247AreAsked)
{
  EXPECT_EQ(slave_address("1"), 1);
  EXPECT_EQ(slave_address("247"), 247);
  for (const char* bad : {"", "0", "248", "255", "256", "-1", "x", "1.5"})
    EXPECT_FALSE(slave_address(bad)) << bad;
  EXPECT_EQ(rtu_frame(read_request(address_field("200"), kReadHoldingRegisters, 0x21, 1)).toHex().toUpper(),
            "C80300210001C599");
  EXPECT_EQ(ascii_frame(read_request(address_field("200"), kReadHoldingRegisters, 0x21, 1)),
            ":C8030021000113\r\n");
}
