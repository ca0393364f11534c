// Modbus framing of the configuration window's requests: the CRC-16 of RTU frames, the LRC
// of ASCII frames, and the frames themselves built from a request text of hex digit pairs
// (slave address, function code, data). Pure functions; the serial port is elsewhere.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace modbus {

// 16-bit logical shift right by one: bit 15 becomes 0 whatever the sign.
int32_t func_shift_right(int32_t value);
// One CRC step for one byte; `crc` is updated in place.
void func_crc16_byte(int32_t& crc, uint8_t byte);
// CRC-16 of the bytes (each character's 8-bit code is one byte): four upper-case hex digits.
QString func_crc16(const QByteArray& bytes);

// The request text's digit pairs as bytes.
QByteArray request_bytes(const QString& request_hex);
// Standard Modbus LRC: two's complement of the 8-bit sum of the encoded bytes.
uint8_t lrc(const QByteArray& bytes);

// RTU: the request bytes, then the CRC's low byte and its high byte.
QByteArray rtu_frame(const QString& request_hex);
// ASCII: ":" request text, LRC as two hex digits, CR LF.
QByteArray ascii_frame(const QString& request_hex);

// The slave address field: decimal text to upper-case hex, "0" in front below 16.
QString address_field(const QString& decimal_text);

}  // namespace modbus
