#include "bacnet/datalink/frame_crc.h"

uint8_t header_crc_step(uint8_t octet, uint8_t crc)
{
  // The polynomial x^8 + x^7 + 1, one octet at a time.
  uint16_t c = uint16_t(crc ^ octet);
  c = uint16_t(c ^ (c << 1) ^ (c << 2) ^ (c << 3) ^ (c << 4) ^ (c << 5) ^ (c << 6) ^ (c << 7));
  return uint8_t((c & 0xFE) ^ ((c >> 8) & 1));
}

uint16_t data_crc_step(uint8_t octet, uint16_t crc)
{
  // CRC-CCITT (x^16 + x^12 + x^5 + 1), least significant bit first.
  uint8_t low = uint8_t((crc & 0xFF) ^ octet);
  low = uint8_t(low ^ (low << 4));
  return uint16_t((crc >> 8) ^ (uint16_t(low) << 8) ^ (uint16_t(low) << 3) ^ (low >> 4));
}

uint8_t header_crc(std::span<const uint8_t> header)
{
  uint8_t crc = kHeaderCrcStart;
  for (uint8_t octet : header)
    crc = header_crc_step(octet, crc);
  return uint8_t(~crc);
}

uint16_t data_crc(std::span<const uint8_t> data)
{
  uint16_t crc = kDataCrcStart;
  for (uint8_t octet : data)
    crc = data_crc_step(octet, crc);
  return uint16_t(~crc);
}
