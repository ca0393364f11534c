// The PC's date and time for the clock fields of the input registers (second, minute, hour,
// day, month, year of the century), so that a write sets the unit's clock. The clock is
// injectable: tests set a fixed moment instead of reading or changing the host's clock.
// User-interface thread only.
#pragma once

#include <QDateTime>
#include <QString>
#include <array>
#include <functional>

namespace pc_clock {

QDateTime Now();

// Replaces the clock; an empty function restores the PC's.
void SetClock(std::function<QDateTime()> clock);

// Texts of the input registers 0..5 for the moment given: whole numbers without leading
// zero, the hour on the 24-hour clock, the year minus 2000.
std::array<QString, 6> ClockFieldTexts(const QDateTime& moment);

}  // namespace pc_clock
