// The rules of the configuration window's register fields that need no widget: reading the
// number in a field, which keys a field lets through, what a field's text becomes when it is
// left, stepping by the up/down pairs, and the change mark's effect on the status lamp.
// Numbers are written and read with the user's decimal separator. Pure functions; the
// window applies their results to its controls.
#pragma once

#include "gui/core/register_rows.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace fields {

// The user's decimal separator: global::DecimalSeparator, else the locale's.
QChar Separator();

// A decimal number with an optional sign and at most one separator; nothing for an empty
// text, a lone sign or separator, or any other character. Blanks around it are allowed.
std::optional<double> ReadNumber(const QString& text);

// Number to text the way the fields show it: no leading blank, the user's separator.
QString NumberText(double value);

// Whole number nearest to value, halves to the even neighbour.
double RoundHalfEven(double value);

// Key codes as the fields see them.
inline constexpr int KeyBackspace = 8;
inline constexpr int KeyDelete127 = 127;
inline constexpr int KeyMinus = 45;

// The key to let through (0 discards it) for a field of the given class holding text.
int FilterKey(rows::KeyClass keys, int key, const QString& text);

// The class of a configuration register's field (never ByUnit).
rows::KeyClass ConfigKeyClass(int index);
// The class of an input register's field under the unit selection position given for its
// group; nothing when the field lets every key through (no unit selected).
std::optional<rows::KeyClass> InputKeyClass(int index, int unitPosition);

// Positions of the set-point unit selections cmb_cfg(61..64).
using SetpointUnitPositions = std::array<int, 4>;

// What a field's text becomes when it loses the focus; nothing when it stays. stored is the
// register image's value, given back for a text that cannot be read.
std::optional<QString> ConfigLostFocus(int index, const QString& text, const SetpointUnitPositions& units,
                                       double stored);
std::optional<QString> InputLostFocus(int index, const QString& text, const SetpointUnitPositions& units,
                                      double stored);

// One step of an up/down pair: never beyond the limit, a value beyond it is brought back to
// it. Nothing when the text holds no number.
std::optional<QString> StepUp(const QString& text, double upper, double step);
std::optional<QString> StepDown(const QString& text, double lower, double step);

// The new lamp state after all marks were looked at (BACnet only): 1 while something is
// marked, 2 when the last mark went away while the state was 1, else unchanged.
std::optional<int32_t> LampStateAfterMarks(bool changed, int32_t lampState);

}  // namespace fields
