#include "gui/core/ini_file.h"

#include "gui/core/user_file.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <optional>

namespace {

constexpr int kReadBufferSize = 32;

// Lines are looked at in place: their parts are views into them.
bool blank(char c) { return c == ' ' || c == '\t'; }

QByteArrayView trim_blanks(QByteArrayView text)
{
  const char* begin = text.begin();
  const char* end = text.end();
  while (begin < end && blank(*begin))
    ++begin;
  while (end > begin && blank(end[-1]))
    --end;
  return QByteArrayView(begin, end);
}

// A name as the file's names are compared with it: single-byte text without its blanks.
// Made once per look-up, not once per line; a name that is that already is taken as it is.
QString wanted_name(const QString& text)
{
  const bool single_byte = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
  if (single_byte && (text.isEmpty() || (!blank(char(text.front().unicode())) && !blank(char(text.back().unicode())))))
    return text;
  return QString::fromLatin1(trim_blanks(text.toLatin1()));
}

bool same_name(QByteArrayView stored, const QString& wanted)
{
  return wanted.compare(QLatin1String(stored.data(), stored.size()), Qt::CaseInsensitive) == 0;
}

// The section name of a "[name]" line; no value for any other line.
std::optional<QByteArrayView> section_name(QByteArrayView line)
{
  // Most lines are no section: the first character that is no blank tells.
  const char* first = std::find_if_not(line.begin(), line.end(), blank);
  if (first == line.end() || *first != '[')
    return std::nullopt;
  QByteArrayView text = trim_blanks(line);
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
  TxtOps::LineReader lines(bytes);
  for (QByteArrayView line; lines.Next(line);)
    ini.lines_.push_back(line.toByteArray());
  return ini;
}

QByteArray IniFile::ToBytes() const
{
  qsizetype size = 0;
  for (const QByteArray& line : lines_)
    size += line.size() + 2;
  QByteArray bytes;
  bytes.reserve(size);
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
