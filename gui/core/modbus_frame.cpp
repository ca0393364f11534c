#include "gui/core/modbus_frame.h"

#include "gui/core/wandeln.h"

namespace modbus {

int32_t func_shift_right(int32_t value) { return ((value & ~1) / 2) & 0x7FFF; }

void func_crc16_byte(int32_t& crc, uint8_t byte)
{
  crc ^= byte;
  for (int i = 0; i < 8; ++i)
    crc = (crc & 1) == 0 ? func_shift_right(crc) : (func_shift_right(crc) ^ 0xA001);
}

QString func_crc16(const QByteArray& bytes)
{
  int32_t crc = 0xFFFF;
  for (char c : bytes)
    func_crc16_byte(crc, uint8_t(c));
  return QString("%1").arg(crc & 0xFFFF, 4, 16, QChar('0')).toUpper();
}

QByteArray request_bytes(const QString& request_hex)
{
  QByteArray out;
  for (qsizetype i = 0; i + 1 < request_hex.size(); i += 2)
    out.append(char(Wandeln::HexToByte(request_hex.mid(i, 2))));
  return out;
}

uint8_t lrc(const QByteArray& bytes)
{
  uint8_t sum = 0;
  for (char c : bytes)
    sum = uint8_t(sum + uint8_t(c));
  return uint8_t(-sum);
}

QByteArray rtu_frame(const QString& request_hex)
{
  QByteArray frame = request_bytes(request_hex);
  QString crc = func_crc16(frame);
  frame.append(char(Wandeln::HexToByte(crc.mid(2, 2))));
  frame.append(char(Wandeln::HexToByte(crc.mid(0, 2))));
  return frame;
}

QByteArray ascii_frame(const QString& request_hex)
{
  QString text = ":" + request_hex + Wandeln::ByteToHex(lrc(request_bytes(request_hex))) + "\r\n";
  return text.toLatin1();
}

QString address_field(const QString& decimal_text)
{
  QString hex = QString::number(decimal_text.toLongLong(), 16).toUpper();
  return hex.size() < 2 ? "0" + hex : hex;
}

}  // namespace modbus
