#include "gui/core/scan_result.h"

#include <QStringDecoder>
#include <QStringList>

namespace scan {
namespace {

QString decode(const QByteArray& bytes)
{
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError())
    return text;
  return QString::fromLatin1(bytes);
}

// Lines end at CR LF, LF or CR; a last line without its end still counts.
std::vector<QString> split_lines(const QString& text)
{
  std::vector<QString> lines;
  QString current;
  bool pending = false;
  for (int i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(current);
      current.clear();
      pending = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
        ++i;
    } else {
      current += c;
      pending = true;
    }
  }
  if (pending)
    lines.push_back(current);
  return lines;
}

// The header's second field starts with a blank; the backend names its own device.
bool skipped(const QString& name)
{
  const QString head = name.left(12);
  return head == QLatin1String(" Device Name") || head == QLatin1String("ZOR17-Server");
}

}  // namespace

std::vector<Device> ReadScanResult(const QByteArray& bytes)
{
  std::vector<Device> devices;
  for (const QString& line : split_lines(decode(bytes))) {
    const QStringList fields = line.split(';');
    if (fields.size() < 2)
      break;
    if (!skipped(fields[1])) {
      Device d;
      d.index = QString::number(devices.size());
      d.device_id = fields[0];
      d.name = fields[1];
      if (fields.size() >= 3)
        d.version = fields[2];
      devices.push_back(d);
    }
    if (fields.size() < 3)
      break;
  }
  return devices;
}

std::optional<int32_t> DeviceInstance(const QString& cell)
{
  const QString t = cell.trimmed();
  if (t.isEmpty() || t.size() > 7)
    return std::nullopt;
  for (QChar c : t)
    if (c < '0' || c > '9')
      return std::nullopt;
  const int32_t v = t.toInt();
  if (v > 4194302)
    return std::nullopt;
  return v;
}

}  // namespace scan
