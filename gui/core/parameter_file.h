// Parameter text files: one parameter set of the unit as 119 CR LF lines of single-byte text,
// 14 header lines, one line per configuration register ("Register 34 ;Min-Response-Time
// [s]:;5") and one per configuration bit ("Konfigurationsbit 1 ;Raumtemperatur:; 1 "). Only
// the third field of the register lines 3..73 and of the bit lines is read back. A file of
// any other shape is refused whole, so that a load never changes half the fields.
// Pure functions, no widget; the configuration window moves the values to its fields.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace params {

inline constexpr int kLineCount = 119;
inline constexpr int kHeaderLines = 14;
inline constexpr int kRegisterCount = 73;
inline constexpr int kBitCount = 32;
// Registers 0 and 1 (device coding, firmware version) are written but never read back.
inline constexpr int kFirstLoadedRegister = 2;

// What the header tells the reader of the file.
struct Header {
  bool modbus = false;  // the device type the window runs with
  QString version;  // the program's version from the machine settings, may be empty
  QDateTime moment;
  QString baud_rate, mode_text, parity, modbus_address;  // Modbus only
  int32_t destination = 0;  // BACnet only
  // The language's texts of the shared table: 10 separator note, 11 "Konfigurationsbit",
  // 12 "Baudrate: ", 13 "Modus: ", 14 "Parität: ", 15 "Adresse: ".
  std::array<QString, 16> texts;
};

struct ParameterSet {
  std::array<QString, kRegisterCount> register_captions;
  std::array<QString, kRegisterCount> register_texts;  // as the fields show them
  std::array<QString, kBitCount> bit_captions;
  std::array<int, kBitCount> bit_values{};  // 0, 1, or 2 for the grey state
};

QByteArray Write(const Header& header, const ParameterSet& set);

// The values a file gives back: register_texts 2..72 and all bit values (the captions and
// registers 0 and 1 stay empty).
struct ReadResult {
  std::optional<ParameterSet> values;
  QString error;  // why the file was refused, for the user
};
ReadResult Read(const QByteArray& contents);

// A number item of the file: one blank (or the minus sign) before, one blank after.
QByteArray NumberItem(int64_t value);

}  // namespace params
