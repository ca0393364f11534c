#include "gui/core/pc_clock.h"

namespace pc_clock {
namespace {

std::function<QDateTime()>& clock()
{
  static std::function<QDateTime()> c;
  return c;
}

}  // namespace

QDateTime Now() { return clock() ? clock()() : QDateTime::currentDateTime(); }

void SetClock(std::function<QDateTime()> c) { clock() = std::move(c); }

std::array<QString, 6> ClockFieldTexts(const QDateTime& moment)
{
  const QDate d = moment.date();
  const QTime t = moment.time();
  return {QString::number(t.second()), QString::number(t.minute()), QString::number(t.hour()),
          QString::number(d.day()),    QString::number(d.month()),  QString::number(d.year() - 2000)};
}

}  // namespace pc_clock
