#include "gui/core/bacnet_ini.h"

#include "gui/core/ini_file.h"
#include "gui/core/program_state.h"

#include <QString>
#include <limits>
#include <optional>

namespace global {
namespace {

// A whole decimal number, blanks around it allowed, within [lo, hi].
std::optional<long long> read_number(const QString& text, long long lo, long long hi)
{
  const QString t = text.trimmed();
  if (t.isEmpty())
    return std::nullopt;
  for (int i = 0; i < t.size(); ++i) {
    const QChar c = t[i];
    const bool sign = i == 0 && (c == '-' || c == '+') && t.size() > 1;
    if (!sign && (c < '0' || c > '9'))
      return std::nullopt;
  }
  bool ok = false;
  const long long v = t.toLongLong(&ok);
  if (!ok || v < lo || v > hi)
    return std::nullopt;
  return v;
}

template <typename T>
void take_number(const QString& file, const char* section, const char* key, T& field)
{
  const QString text = makeIni::ReadIniValue(file, QString::fromLatin1(section), QString::fromLatin1(key));
  if (auto v = read_number(text, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()))
    field = T(*v);
}

}  // namespace

void SaveBacnetIni()
{
  const QString file = BacnetIniPath();
  const BacnetSettingsT& s = BacnetSettings;
  makeIni::WriteIniValue(file, "BACNET", "LINK", s.Link);
  makeIni::WriteIniValue(file, "BACNET", "SCAN", QString::number(s.ScanTime));
  makeIni::WriteIniValue(file, "BACNET", "POLL", QString::number(s.PollCycle));
  makeIni::WriteIniValue(file, "IP", "LOCAL IP", s.LocalIp);
  makeIni::WriteIniValue(file, "IP", "DEVICE_ID", QString::number(s.LocalDeviceId));
  makeIni::WriteIniValue(file, "IP", "PORT", QString::number(s.UdpPort));
  makeIni::WriteIniValue(file, "MS/TP", "MAC", QString::number(s.MstpMac));
  makeIni::WriteIniValue(file, "MS/TP", "COM-PORT", s.ComPort);
  makeIni::WriteIniValue(file, "MS/TP", "BAUDRATE", s.BaudRate);
}

void LoadBacnetIni()
{
  const QString file = BacnetIniPath();
  if (!FileExists(file))
    return;
  BacnetSettingsT& s = BacnetSettings;
  s.Link = makeIni::ReadIniValue(file, "BACNET", "LINK");
  take_number(file, "BACNET", "SCAN", s.ScanTime);
  take_number(file, "BACNET", "POLL", s.PollCycle);
  s.LocalIp = makeIni::ReadIniValue(file, "IP", "LOCAL IP");
  take_number(file, "IP", "DEVICE_ID", s.LocalDeviceId);
  take_number(file, "IP", "PORT", s.UdpPort);
  take_number(file, "MS/TP", "MAC", s.MstpMac);
  s.ComPort = makeIni::ReadIniValue(file, "MS/TP", "COM-PORT");
  s.BaudRate = makeIni::ReadIniValue(file, "MS/TP", "BAUDRATE");
}

}  // namespace global
