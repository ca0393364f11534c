#include "gui/core/field_rules.h"

#include "gui/core/program_state.h"

#include <QLocale>
#include <cmath>

namespace fields {
namespace {

bool in_group_of(int index, int first) { return index >= first && index < first + 4; }

// The set point (0..3) whose four configuration registers hold index, else -1.
int setpoint_group(int index)
{
  for (int k = 0; k < 4; ++k)
    if (in_group_of(index, 35 + 4 * k))
      return k;
  return -1;
}

QString replaced_by_stored(double stored) { return NumberText(stored); }

}  // namespace

QChar Separator()
{
  if (!global::DecimalSeparator.isEmpty())
    return global::DecimalSeparator.at(0);
  return QLocale().decimalPoint().at(0);
}

std::optional<double> ReadNumber(const QString& text)
{
  const QString t = text.trimmed();
  const QChar sep = Separator();
  qsizetype i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+'))
    ++i;
  int digits = 0;
  qsizetype sep_at = -1;
  for (; i < t.size(); ++i) {
    const QChar c = t[i];
    if (c >= '0' && c <= '9')
      ++digits;
    else if (c == sep && sep_at < 0)
      sep_at = i;
    else
      return std::nullopt;
  }
  if (digits == 0)
    return std::nullopt;
  // The number as the C locale writes it: the text itself, with a point for the separator.
  QString plain = t;
  if (sep_at >= 0 && sep != '.')
    plain[sep_at] = '.';
  bool ok = false;
  const double v = plain.toDouble(&ok);
  if (!ok || !std::isfinite(v))
    return std::nullopt;
  return v;
}

QString NumberText(double value)
{
  if (value == 0 || !std::isfinite(value))
    return QStringLiteral("0");
  QString text = QString::number(value, 'g', 15);
  text.replace('.', Separator());
  return text;
}

double RoundHalfEven(double value) { return std::nearbyint(value); }

int FilterKey(rows::KeyClass keys, int key, const QString& text)
{
  if ((key >= '0' && key <= '9') || key == KeyBackspace || key == KeyDelete127)
    return key;
  if (keys == rows::KeyClass::Whole)
    return 0;
  const QChar sep = Separator();
  if (key == sep.unicode())
    return text.contains(sep) ? 0 : key;
  if (keys == rows::KeyClass::Signed && key == KeyMinus)
    return text.contains('-') ? 0 : key;
  return 0;
}

rows::KeyClass ConfigKeyClass(int index)
{
  const auto all = rows::ConfigRegisters();
  return index >= 0 && index < int(all.size()) ? all[size_t(index)].keys : rows::KeyClass::Whole;
}

std::optional<rows::KeyClass> InputKeyClass(int index, int unitPosition)
{
  const auto all = rows::InputRegisters();
  if (index < 0 || index >= int(all.size()))
    return rows::KeyClass::Whole;
  const rows::InputRegisterRow& row = all[size_t(index)];
  if (row.keys != rows::KeyClass::ByUnit)
    return row.keys;
  if (unitPosition == 2)
    return rows::KeyClass::Whole;
  if (unitPosition == 0 || unitPosition == 1)
    return rows::KeyClass::Signed;
  return std::nullopt;
}

std::optional<QString> ConfigLostFocus(int index, const QString& text, const SetpointUnitPositions& units,
                                       double stored)
{
  const int group = setpoint_group(index);
  const std::optional<double> v = ReadNumber(text);
  if (group >= 0 && units[size_t(group)] == 0) {
    if (!v)
      return replaced_by_stored(stored);
    if (*v > 9999 || *v < -9999)
      return QStringLiteral("0");
    return std::nullopt;
  }
  if (text.isEmpty())
    return QStringLiteral("0");
  if (!v)
    return replaced_by_stored(stored);
  if (index >= 4 && index <= 7) {
    if (*v > 100)
      return QStringLiteral("100");
    if (*v < 0)
      return QStringLiteral("0");
    return std::nullopt;
  }
  if (*v > 255 || *v < -255)
    return QStringLiteral("0");
  return std::nullopt;
}

std::optional<QString> InputLostFocus(int index, const QString& text, const SetpointUnitPositions& units,
                                      double stored)
{
  std::optional<QString> result;
  QString current = text;
  if (current.isEmpty()) {
    current = QStringLiteral("0");
    result = current;
  }
  const std::optional<double> v = ReadNumber(current);
  if (!v)
    return replaced_by_stored(stored);

  bool wide = index >= 8 && index <= 11;
  for (int k = 0; k < 4; ++k)
    if ((index == 14 + k || index == 20 + k) && units[size_t(k)] == 0)
      wide = true;
  if (wide) {
    if (*v > 9999 || *v < -9999)
      result = QStringLiteral("0");
  } else if (index < 0 || index > 5) {
    if (*v > 100 || *v < -100)
      result = QStringLiteral("0");
  }
  return result;
}

std::optional<QString> StepUp(const QString& text, double upper, double step)
{
  const std::optional<double> v = ReadNumber(text);
  if (!v)
    return std::nullopt;
  return *v <= upper - step ? NumberText(*v + step) : NumberText(upper);
}

std::optional<QString> StepDown(const QString& text, double lower, double step)
{
  const std::optional<double> v = ReadNumber(text);
  if (!v)
    return std::nullopt;
  return *v >= lower + step ? NumberText(*v - step) : NumberText(lower);
}

std::optional<int32_t> LampStateAfterMarks(bool changed, int32_t lampState)
{
  if (changed)
    return 1;
  if (lampState == 1)
    return 2;
  return std::nullopt;
}

}  // namespace fields
