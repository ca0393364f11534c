// The values in the unit's read answers as the configuration window shows them: register n
// of an answer is the four hex digits from character 7 + 4n (counting from 1), coil byte m
// the two from 7 + 2m, in RTU and ASCII answer texts alike. Scaling of each register group
// and the twelve button indicators of output register 0. Pure functions; a short answer
// yields the digits that are there, and nothing at all counts as 0.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace modbus {

// Register n as a 16-bit two's-complement number.
int answer_register(const QString& answer_hex, int n);
// Register n as an unsigned number.
int answer_register_unsigned(const QString& answer_hex, int n);
// Data byte m of a coil answer.
int answer_byte(const QString& answer_hex, int m);

inline constexpr int kConfigBlockSize = 10;

// One decoded value for the register `index` of a table.
struct RegisterValue {
  int index;
  double value;
};

// A block of configuration registers from `start`: registers 34..42 in tenths; positions
// beyond the last configuration register are left out.
std::vector<RegisterValue> config_block(const QString& answer_hex, int start);

// The 17 output registers: 0 and 1 unsigned, 2..6 in tenths, the rest as they are.
std::array<double, 17> output_registers(const QString& answer_hex);

// Input registers 7..27 from the answer to a read from 0x0207; 7, 8, 9, 12, 13, 14, 15,
// 20 and 21 in tenths.
std::vector<RegisterValue> input_registers(const QString& answer_hex);
// Input registers that travel in tenths.
bool input_in_tenths(int index);

// Coils 0..count-1 of a coil answer: bit k mod 8 of byte k div 8.
std::vector<int> coil_bits(const QString& answer_hex, int count);

// The twelve button indicators of output register 0: indicator j shows bit 11 - j when the
// register's high four bits are all set (0xF000 and up); below that every indicator is off.
std::array<bool, 12> button_indicators(int64_t output_register0);

}  // namespace modbus
