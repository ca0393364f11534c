// Arbitrary text through the hex-digit reader of the Modbus frames and value files.
#include "gui/core/wandeln.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
  uint8_t byte = Wandeln::HexToByte(text);
  if (Wandeln::HexToByte(Wandeln::ByteToHex(byte)) != byte)
    __builtin_trap();
  return 0;
}
