#include "gui/core/ini_file.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <optional>

namespace {

constexpr int kReadBufferSize = 32;

// Lines are looked at in place: their parts are views into them.
QByteArrayView trim_blanks(QByteArrayView text)
{
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
    ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
    --end;
  return text.sliced(begin, end - begin);
}

// A name as the file's names are compared with it: single-byte text without its blanks.
// Made once per look-up, not once per line.
QString wanted_name(const QString& text) { return QString::fromLatin1(trim_blanks(text.toLatin1())); }

bool same_name(QByteArrayView stored, const QString& wanted)
{
  return wanted.compare(QLatin1String(stored.data(), stored.size()), Qt::CaseInsensitive) == 0;
}

// The section name of a "[name]" line; no value for any other line.
std::optional<QByteArrayView> section_name(QByteArrayView line)
{
  QByteArrayView text = trim_blanks(line);
  if (!text.startsWith('['))
    return std::nullopt;
  qsizetype close = text.indexOf(']');
  return trim_blanks(text.sliced(1, (close < 0 ? text.size() : close) - 1));
}

struct KeyLine {
  QByteArrayView key;
  QByteArrayView value;
};

std::optional<KeyLine> key_line(QByteArrayView line)
{
  QByteArrayView text = trim_blanks(line);
  if (text.isEmpty() || text.startsWith('['))
    return std::nullopt;
  qsizetype eq = text.indexOf('=');
  if (eq < 0)
    return KeyLine{text, QByteArrayView()};
  return KeyLine{trim_blanks(text.first(eq)), trim_blanks(text.sliced(eq + 1))};
}

QByteArrayView unquote(QByteArrayView value)
{
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return value.sliced(1, value.size() - 2);
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
  ini.lines_.reserve(size_t(bytes.count('\r') + bytes.count('\n') + 1));
  qsizetype start = 0;
  const qsizetype size = bytes.size();
  // The next CR and the next LF at or after `start` (the size when there is none), each
  // searched for again only once passed.
  auto next = [&](char c, qsizetype from) {
    const qsizetype at = bytes.indexOf(c, from);
    return at < 0 ? size : at;
  };
  qsizetype cr = -1, lf = -1;
  while (start < size) {
    if (cr < start)
      cr = next('\r', start);
    if (lf < start)
      lf = next('\n', start);
    qsizetype end = std::min(cr, lf);
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
  const QString wanted_section = wanted_name(section);
  const QString wanted_key = wanted_name(key);
  bool in_section = false;
  for (const QByteArray& line : lines_) {
    if (auto name = section_name(line)) {
      // The first section of that name is the one that counts.
      if (in_section)
        break;
      in_section = same_name(*name, wanted_section);
      continue;
    }
    if (!in_section)
      continue;
    auto entry = key_line(line);
    if (entry && same_name(entry->key, wanted_key))
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
  const QString name = wanted_name(key);
  return !section.contains(']') && !name.isEmpty() && !name.contains('=') && !name.startsWith('[');
}

bool IniFile::SetString(const QString& section, const QString& key, const QString& value)
{
  if (!Writable(section, key, value))
    return false;
  const QByteArray new_line = trim_blanks(key.toLatin1()).toByteArray() + '=' + value.toLatin1();
  const QString wanted_section = wanted_name(section);
  const QString wanted_key = wanted_name(key);

  qsizetype section_line = -1;
  qsizetype last_entry = -1;  // last non-empty line of the section
  for (qsizetype i = 0; i < qsizetype(lines_.size()); ++i) {
    if (auto name = section_name(lines_[i])) {
      if (section_line >= 0)
        break;
      if (same_name(*name, wanted_section)) {
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
    if (same_name(entry->key, wanted_key)) {
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
  lines_.push_back('[' + trim_blanks(section.toLatin1()).toByteArray() + ']');
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
