#include "gui/core/settings_fields.h"

#include <limits>

namespace settings_fields {
namespace {

// Digits with an optional sign; values beyond 64 bits saturate so that they still compare
// as too high or too low.
std::optional<int64_t> read(const QString& text)
{
  const QString t = text.trimmed();
  if (t.isEmpty())
    return std::nullopt;
  int i = 0;
  bool negative = false;
  if (t[0] == '-' || t[0] == '+') {
    negative = t[0] == '-';
    i = 1;
  }
  if (i >= t.size())
    return std::nullopt;
  int64_t value = 0;
  for (; i < t.size(); ++i) {
    const QChar c = t[i];
    if (c < '0' || c > '9')
      return std::nullopt;
    if (value > (std::numeric_limits<int64_t>::max() - 9) / 10)
      return negative ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    value = value * 10 + (c.unicode() - '0');
  }
  return negative ? -value : value;
}

}  // namespace

std::optional<Correction> Check(const QString& text, int64_t lower, int64_t upper)
{
  const std::optional<int64_t> v = read(text);
  if (!v)
    return Correction{QString::number(lower), nullptr};
  if (*v < lower)
    return Correction{QString::number(lower), "Wert zu niedrig"};
  if (*v > upper)
    return Correction{QString::number(upper), "Wert zu hoch"};
  return std::nullopt;
}

int64_t Value(const QString& text, int64_t lower) { return read(text).value_or(lower); }

std::optional<QString> StepUp(const QString& text, int64_t, int64_t upper)
{
  const std::optional<int64_t> v = read(text);
  if (!v)
    return std::nullopt;
  return QString::number(*v < upper ? *v + 1 : upper);
}

std::optional<QString> StepDown(const QString& text, int64_t lower, int64_t)
{
  const std::optional<int64_t> v = read(text);
  if (!v)
    return std::nullopt;
  return QString::number(*v < lower + 1 ? lower : *v - 1);
}

bool KeyAllowed(int key) { return (key >= '0' && key <= '9') || key == 8 || key == 127; }

}  // namespace settings_fields
