// Arbitrary profile files through the reader and the key writer: reading never fails, a
// written file reads back the same, a key just written reads back its value, and a value
// with a line break is refused without a change.
#include "gui/core/ini_file.h"

#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// The first `count` words of the text, a word being what lies between "[", "]", "=", CR and
// LF. Only these are used: splitting the whole text with an expression cost more than the
// reader; so did turning the whole text into characters.
QStringList first_words(QByteArrayView text, qsizetype count)
{
  QStringList words;
  qsizetype start = 0;
  for (qsizetype i = 0; i <= text.size() && words.size() < count; ++i) {
    if (i < text.size() && !std::memchr("[]=\r\n", text.data()[i], 5))
      continue;
    if (i > start)
      words.append(QString::fromLatin1(text.sliced(start, i - start)));
    start = i + 1;
  }
  return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
  IniFile ini = IniFile::Parse(input);

  // Names and values taken from the input itself, so the fuzzer can aim at existing lines.
  const QStringList words = first_words(input, 9);
  for (qsizetype i = 0; i + 1 < words.size() && i < 8; ++i)
    ini.GetString(words[i], words[i + 1], words[i], int(i) * 7);

  const QByteArray written = ini.ToBytes();
  if (IniFile::Parse(written).ToBytes() != written)
    __builtin_trap();

  QString value;
  for (QChar c : QString::fromLatin1(input.left(40)))
    if (c.isLetterOrNumber() && c.unicode() < 0x80)
      value += c;
  const QString section = words.isEmpty() ? QString("MS/TP") : words.front().trimmed();
  if (section.isEmpty())
    return 0;
  const QString raw = QString::fromLatin1(input.left(40));
  if (raw.contains('\r') || raw.contains('\n')) {
    if (ini.SetString(section, "LOCAL IP", raw) || ini.ToBytes() != written)
      __builtin_trap();
  }
  if (!ini.SetString(section, "LOCAL IP", value))
    __builtin_trap();
  IniFile back = IniFile::Parse(ini.ToBytes());
  if (back.GetString(section, "local ip", "missing", 1024) != value)
    __builtin_trap();
  return 0;
}
