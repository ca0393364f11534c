#include "gui/core/ini_file.h"

#include <QFile>
#include <QSaveFile>
#include <optional>

namespace {

constexpr int kReadBufferSize = 32;

QByteArray trim_blanks(const QByteArray& text)
{
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
    ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
    --end;
  return text.mid(begin, end - begin);
}

QString trim_blanks(const QString& text)
{
  return QString::fromLatin1(trim_blanks(text.toLatin1()));
}

bool same_name(const QByteArray& stored, const QString& wanted)
{
  return QString::fromLatin1(stored).compare(trim_blanks(wanted), Qt::CaseInsensitive) == 0;
}

// The section name of a "[name]" line; no value for any other line.
std::optional<QByteArray> section_name(const QByteArray& line)
{
  QByteArray text = trim_blanks(line);
  if (!text.startsWith('['))
    return std::nullopt;
  qsizetype close = text.indexOf(']');
  return trim_blanks(text.mid(1, close < 0 ? -1 : close - 1));
}

struct KeyLine {
  QByteArray key;
  QByteArray value;
};

std::optional<KeyLine> key_line(const QByteArray& line)
{
  QByteArray text = trim_blanks(line);
  if (text.isEmpty() || text.startsWith('['))
    return std::nullopt;
  qsizetype eq = text.indexOf('=');
  if (eq < 0)
    return KeyLine{text, QByteArray()};
  return KeyLine{trim_blanks(text.left(eq)), trim_blanks(text.mid(eq + 1))};
}

QByteArray unquote(const QByteArray& value)
{
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return value.mid(1, value.size() - 2);
  return value;
}

QString cut(const QString& text, int bufferSize)
{
  if (bufferSize <= 1)
    return QString();
  return text.left(bufferSize - 1);
}

}  // namespace

IniFile IniFile::Load(const QString& path)
{
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return IniFile();
  return Parse(file.readAll());
}

IniFile IniFile::Parse(const QByteArray& bytes)
{
  IniFile ini;
  qsizetype start = 0;
  const qsizetype size = bytes.size();
  while (start < size) {
    qsizetype end = start;
    while (end < size && bytes[end] != '\r' && bytes[end] != '\n')
      ++end;
    ini.lines_.push_back(bytes.mid(start, end - start));
    if (end < size && bytes[end] == '\r' && end + 1 < size && bytes[end + 1] == '\n')
      ++end;
    start = end + 1;
  }
  return ini;
}

QByteArray IniFile::ToBytes() const
{
  QByteArray bytes;
  for (const QByteArray& line : lines_) {
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}

bool IniFile::Save(const QString& path) const
{
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    return false;
  file.write(ToBytes());
  return file.commit();
}

QString IniFile::GetString(const QString& section, const QString& key, const QString& defaultValue,
                           int bufferSize) const
{
  bool in_section = false;
  for (const QByteArray& line : lines_) {
    if (auto name = section_name(line)) {
      // The first section of that name is the one that counts.
      if (in_section)
        break;
      in_section = same_name(*name, section);
      continue;
    }
    if (!in_section)
      continue;
    auto entry = key_line(line);
    if (entry && same_name(entry->key, key))
      return cut(QString::fromLatin1(unquote(entry->value)), bufferSize);
  }
  QString fallback = defaultValue;
  while (fallback.endsWith(' '))
    fallback.chop(1);
  return cut(fallback, bufferSize);
}

bool IniFile::Writable(const QString& section, const QString& key, const QString& value)
{
  auto breaks = [](const QString& text) { return text.contains('\r') || text.contains('\n'); };
  if (breaks(section) || breaks(key) || breaks(value))
    return false;
  // A section name with "]" or a key with "=" or a leading "[" would be read back differently.
  const QString name = trim_blanks(key);
  return !section.contains(']') && !name.isEmpty() && !name.contains('=') && !name.startsWith('[');
}

bool IniFile::SetString(const QString& section, const QString& key, const QString& value)
{
  if (!Writable(section, key, value))
    return false;
  const QByteArray new_line = trim_blanks(key.toLatin1()) + '=' + value.toLatin1();

  qsizetype section_line = -1;
  qsizetype last_entry = -1;  // last non-empty line of the section
  for (qsizetype i = 0; i < qsizetype(lines_.size()); ++i) {
    if (auto name = section_name(lines_[i])) {
      if (section_line >= 0)
        break;
      if (same_name(*name, section)) {
        section_line = i;
        last_entry = i;
      }
      continue;
    }
    if (section_line < 0)
      continue;
    auto entry = key_line(lines_[i]);
    if (!entry)
      continue;
    if (same_name(entry->key, key)) {
      lines_[i] = new_line;
      return true;
    }
    last_entry = i;
  }

  if (section_line >= 0) {
    lines_.insert(lines_.begin() + last_entry + 1, new_line);
    return true;
  }
  // Sections stand apart by one empty line.
  if (!lines_.empty() && !trim_blanks(lines_.back()).isEmpty())
    lines_.emplace_back();
  lines_.push_back('[' + trim_blanks(section.toLatin1()) + ']');
  lines_.push_back(new_line);
  return true;
}

namespace makeIni {

bool WriteIniValue(const QString& file, const QString& section, const QString& key, const QString& value)
{
  IniFile ini = IniFile::Load(file);
  return ini.SetString(section, key, value) && ini.Save(file);
}

QString ReadIniValue(const QString& file, const QString& section, const QString& key)
{
  return IniFile::Load(file).GetString(section, key, QString(), kReadBufferSize);
}

}  // namespace makeIni
