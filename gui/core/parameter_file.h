// Parameter text files: one parameter set of the unit as CR LF lines of single-byte text, 14
// header lines, one line per configuration register ("Register 34 ;Min-Response-Time
// [s]:;5") and one per configuration bit ("Konfigurationsbit 1 ;Raumtemperatur:; 1 "). Only
// the third field of the register lines from register 2 on and of the bit lines is read back.
// A file of any other shape is refused whole, so that a load never changes half the fields; a
// single value that is no number only keeps its own field as it is.
// Pure functions, no widget; the configuration window moves the values to its fields.
#pragma once

#include "gui/core/register_rows.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace params {

inline constexpr int kHeaderLines = 14;
inline constexpr int kBitCount = 32;
inline constexpr int kLineCount = kHeaderLines + ConfigRegisterCount + kBitCount;
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
  std::array<QString, ConfigRegisterCount> register_captions;
  std::array<QString, ConfigRegisterCount> register_texts;  // as the fields show them
  std::array<QString, kBitCount> bit_captions;
  std::array<int, kBitCount> bit_values{};  // 0, 1, or 2 for the grey state
};

QByteArray Write(const Header& header, const ParameterSet& set);

// The values a file gives back: the texts of registers from 2 on, each with the user's decimal
// separator, and the bit values. A value that is neither (text, or a bit outside 0..2) is
// left out, so that its field keeps what it shows, and the message names its line.
struct LoadedSet {
  std::array<std::optional<QString>, ConfigRegisterCount> register_texts;
  std::array<std::optional<int>, kBitCount> bit_values;
};
struct ReadResult {
  std::optional<LoadedSet> values;  // none: the file was refused whole
  QString message;  // for the user: why the file was refused, or which values were left out
};
ReadResult Read(const QByteArray& contents);

// A register value of the file with the user's decimal separator in place of the other one;
// no value when it is not a number.
std::optional<QString> FieldNumber(const QString& text);

// A number item of the file: one blank (or the minus sign) before, one blank after.
QByteArray NumberItem(int64_t value);

}  // namespace params
