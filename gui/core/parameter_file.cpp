#include "gui/core/parameter_file.h"

#include "gui/core/field_rules.h"
#include "gui/core/language_texts.h"
#include "gui/core/user_file.h"

#include <QLocale>
#include <QStringList>
#include <cstdio>
#include <initializer_list>
#include <utility>
#include <vector>

namespace params {
namespace {

// Text items never break a line: the file keeps its line count whatever a field holds.
QByteArray item(const QString& text)
{
  QString one_line = text;
  one_line.replace('\r', ' ').replace('\n', ' ');
  return one_line.toLatin1();
}

std::optional<int> bit_value(const QString& text)
{
  bool ok = false;
  const int value = text.trimmed().toInt(&ok);
  if (!ok || value < 0 || value > 2)
    return std::nullopt;
  return value;
}

// The third of the line's fields separated by ";"; none when it has fewer.
std::optional<QByteArrayView> third_field(QByteArrayView line)
{
  const qsizetype first = line.indexOf(';');
  const qsizetype second = first < 0 ? -1 : line.indexOf(';', first + 1);
  if (second < 0)
    return std::nullopt;
  const qsizetype third = line.indexOf(';', second + 1);
  return line.sliced(second + 1, (third < 0 ? line.size() : third) - second - 1);
}

QString refused(const QString& why)
{
  return global::InLanguage("Die Parameterdatei kann nicht geladen werden; kein Wert wurde geändert.\r\n",
                            "The parameter file cannot be loaded; no value was changed.\r\n") +
         why;
}

}  // namespace

namespace {

// A number item in a room of its own, so that a line takes it without a copy on the heap.
class NumberText {
public:
  explicit NumberText(int64_t value)
      : length_(std::snprintf(text_, sizeof text_, value < 0 ? "%lld " : " %lld ", static_cast<long long>(value)))
  {
  }
  operator QByteArrayView() const { return QByteArrayView(text_, length_); }

private:
  char text_[24];
  int length_;
};

}  // namespace

QByteArray NumberItem(int64_t value) { return QByteArrayView(NumberText(value)).toByteArray(); }

QByteArray Write(const Header& header, const ParameterSet& set)
{
  QByteArray file;
  // A line: its items one after the other, then CR LF.
  auto line = [&file](std::initializer_list<QByteArrayView> items = {}) {
    for (QByteArrayView i : items)
      file.append(i);
    file.append("\r\n");
  };
  line({"Morvane"});
  line();
  line({header.modbus ? "ZOR17-RS485-Modbus Configuration Software" : "ZOR17-BACnet Configuration Software"});
  line();
  line({"Version: ", item(header.version)});
  line({item(QLocale().toString(header.moment.date(), QLocale::ShortFormat) + ' ' +
             header.moment.time().toString("hh:mm:ss"))});
  line();
  if (header.modbus) {
    line({item(header.texts[12] + header.baud_rate)});
    line({item(header.texts[13] + header.mode_text)});
    line({item(header.texts[14] + header.parity)});
    line({item(header.texts[15] + header.modbus_address)});
  } else {
    for (int i = 0; i < 3; ++i)
      line();
    line({item(header.texts[15]), NumberText(header.destination)});
  }
  line();
  line({item(header.texts[10])});
  line();
  for (int i = 0; i < ConfigRegisterCount; ++i)
    line({"Register", NumberText(i + 1), ";", item(set.register_captions[size_t(i)]), ";",
          item(set.register_texts[size_t(i)])});
  for (int i = 0; i < kBitCount; ++i)
    line({item(header.texts[11]), NumberText(i + 1), ";", item(set.bit_captions[size_t(i)]), ";",
          NumberText(set.bit_values[size_t(i)])});
  return file;
}

std::optional<QString> FieldNumber(const QString& text)
{
  // A file saved where the other decimal separator is used reads the same here.
  const QChar own = fields::Separator();
  QString converted = text;
  for (QChar other : {QChar('.'), QChar(',')})
    if (other != own)
      converted.replace(other, own);
  if (!fields::ReadNumber(converted))
    return std::nullopt;
  return converted;
}

ReadResult Read(const QByteArray& contents)
{
  // The lines as the text reader splits them; what follows the last loaded line is not read.
  const std::vector<QByteArrayView> lines = TxtOps::SplitLines(contents, kLineCount);
  if (int(lines.size()) < kLineCount)
    return {std::nullopt, refused(global::InLanguage("Sie hat %1 statt %2 Zeilen.", "It has %1 lines instead of %2.")
                                      .arg(lines.size())
                                      .arg(kLineCount))};

  LoadedSet set;
  QStringList left_out;
  for (int line = kHeaderLines + kFirstLoadedRegister + 1; line <= kLineCount; ++line) {
    const std::optional<QByteArrayView> field = third_field(lines[size_t(line - 1)]);
    if (!field)
      return {std::nullopt, refused(global::InLanguage("Zeile %1 hat keine drei durch ; getrennten Felder.",
                                                       "Line %1 does not have three fields separated by ;.")
                                        .arg(line))};
    const QString value = QString::fromLatin1(*field);
    const int index = line - kHeaderLines - 1;
    if (index < ConfigRegisterCount) {
      set.register_texts[size_t(index)] = FieldNumber(value);
      if (!set.register_texts[size_t(index)])
        left_out << global::InLanguage("Zeile %1: \"%2\" ist keine Zahl.", "Line %1: \"%2\" is not a number.")
                        .arg(QString::number(line), value);
    } else {
      set.bit_values[size_t(index - ConfigRegisterCount)] = bit_value(value);
      if (!set.bit_values[size_t(index - ConfigRegisterCount)])
        left_out << global::InLanguage("Zeile %1: \"%2\" ist kein Wert von 0 bis 2.",
                                       "Line %1: \"%2\" is not a value from 0 to 2.")
                        .arg(QString::number(line), value);
    }
  }
  if (left_out.isEmpty())
    return {std::move(set), QString()};
  return {std::move(set),
          global::InLanguage("Diese Werte wurden nicht geladen; ihre Felder bleiben, wie sie waren:\r\n",
                             "These values were not loaded; their fields stay as they were:\r\n") +
              left_out.join("\r\n")};
}

}  // namespace params
