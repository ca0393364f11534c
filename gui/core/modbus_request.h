// The request texts of the Modbus master: slave address, function code, start address,
// quantity and, for writes, byte count and data, as upper-case hex digit pairs without
// check sum (the framing adds it). Also the slave addresses a request may go to and the
// register values as four hex digits. Pure functions; the Modbus master (modbus_master)
// decides what to send and when.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace modbus {

enum Function : int {
  kReadCoils = 0x01,
  kReadHoldingRegisters = 0x03,
  kWriteMultipleCoils = 0x0F,
  kWriteMultipleRegisters = 0x10,
};

// Unit addresses that a master may ask: 1..247 (0 is broadcast, 248..255 reserved).
std::optional<int> slave_address(const QString& decimal_text);

// A register value as four hex digits: its 16-bit two's complement (-5 gives FFFB,
// 0x11170 gives 1170).
QString register_hex(int64_t value);

// A field whose text already holds hex digits (the clock registers): upper case, padded
// with "0" to four digits; of a longer text the last four digits.
QString hex_field(const QString& text);

// Read request: address, function, start, quantity.
QString read_request(const QString& address, int function, int start, int quantity);

// Write of holding registers; every value is four hex digits.
QString write_registers_request(const QString& address, int start, const std::vector<QString>& values);

// Write of coils: bit k goes into bit k mod 8 of byte k div 8; only a value of 1 counts as
// set.
QString write_coils_request(const QString& address, int start, const std::vector<int>& bits);

}  // namespace modbus
