#include "gui/core/modbus_request.h"

#include "gui/core/wandeln.h"

namespace modbus {
namespace {

QString hex4(int value) { return QStringLiteral("%1").arg(value & 0xFFFF, 4, 16, QChar('0')).toUpper(); }
QString hex2(int value) { return Wandeln::ByteToHex(uint8_t(value)); }

}  // namespace

std::optional<int> slave_address(const QString& decimal_text)
{
  bool ok = false;
  const int value = decimal_text.trimmed().toInt(&ok);
  if (!ok || value < 1 || value > 247)
    return std::nullopt;
  return value;
}

QString register_hex(int64_t value) { return hex4(int(value & 0xFFFF)); }

QString hex_field(const QString& text)
{
  QString digits = text.trimmed().toUpper();
  if (digits.size() > 4)
    digits = digits.right(4);
  // A character that is no hex digit counts as 0, in the ASCII frame as in the RTU bytes.
  for (QChar& c : digits)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
      c = '0';
  return digits.rightJustified(4, QChar('0'));
}

QString read_request(const QString& address, int function, int start, int quantity)
{
  return address + hex2(function) + hex4(start) + hex4(quantity);
}

QString write_registers_request(const QString& address, int start, const std::vector<QString>& values)
{
  QString text = address + hex2(kWriteMultipleRegisters) + hex4(start) + hex4(int(values.size())) +
                 hex2(int(values.size() * 2));
  for (const QString& v : values)
    text += v;
  return text;
}

QString write_coils_request(const QString& address, int start, const std::vector<int>& bits)
{
  const int bytes = int((bits.size() + 7) / 8);
  QString text = address + hex2(kWriteMultipleCoils) + hex4(start) + hex4(int(bits.size())) + hex2(bytes);
  for (int n = 0; n < bytes; ++n) {
    int byte = 0;
    for (int j = 0; j < 8; ++j) {
      const size_t k = size_t(8 * n + j);
      if (k < bits.size() && bits[k] == 1)
        byte |= 1 << j;
    }
    text += hex2(byte);
  }
  return text;
}

}  // namespace modbus
