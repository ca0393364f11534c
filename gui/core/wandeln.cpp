#include "gui/core/wandeln.h"

namespace Wandeln {
namespace {

QChar nibble_digit(int nibble)
{
  return QChar(nibble < 10 ? nibble + 48 : nibble + 55);
}

int digit_value(QChar c)
{
  ushort u = c.unicode();
  if (u >= '0' && u <= '9')
    return u - '0';
  if (u >= 'A' && u <= 'F')
    return u - 'A' + 10;
  return 0;
}

}  // namespace

QString ByteToHex(uint8_t value)
{
  return QString(nibble_digit((value & 0xF0) / 16)) + nibble_digit(value & 0x0F);
}

QString ByteToHexText(uint8_t value) { return ByteToHex(value); }

uint8_t HexToByte(const QString& text)
{
  if (text.isEmpty())
    return 0;
  if (text.size() == 1)
    return uint8_t(digit_value(text[0]));
  return uint8_t(16 * digit_value(text[0]) + digit_value(text[1]));
}

}  // namespace Wandeln
