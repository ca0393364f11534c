// The backend's scan result tmp/result.csv as the device list shows it: one device per line,
// fields split at ";" without quoting (instance, object name, software version), the header
// line and the backend's own device left out. The file comes from outside the program, so
// the reader takes any bytes and never fails; it stops at the first line it cannot use.
// No widget, no state.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace scan {

struct Device {
  QString index;  // running number from "0", in file order
  QString device_id;  // the first field as written
  QString name;
  QString version;  // empty when the line has only two fields
};

// Reading stops at the first line with fewer than three fields; a line of two fields is
// still listed without a version. Text is UTF-8 where it is valid, Latin-1 otherwise.
std::vector<Device> ReadScanResult(const QByteArray& bytes);

// The device instance a Device-ID cell names: a decimal number from 0 to 4194302, blanks
// around it allowed; nothing for any other text.
std::optional<int32_t> DeviceInstance(const QString& cell);

}  // namespace scan
