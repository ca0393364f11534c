// Module Wandeln: bytes to two upper-case hex digits and back, for the Modbus frames and
// the value files. Never raises an error: unknown characters count as digit 0.
#pragma once

#include <QString>
#include <cstdint>

namespace Wandeln {

QString ByteToHex(uint8_t value);
// The answer handling's entry point; the same conversion as ByteToHex.
QString ByteToHexText(uint8_t value);
// Looks only at the first two characters; "0".."9" and "A".."F" count, anything else is 0.
uint8_t HexToByte(const QString& text);

}  // namespace Wandeln
