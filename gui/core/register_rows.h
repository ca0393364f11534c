// The unit's registers and bits as the configuration window shows them: one table per kind,
// row i for register or bit i, with its captions, the kind of control, its frame, the up/down
// limits and steps, the key class, the factory value, the scaling between value files and
// display, and its unit label. The window builds its controls from these rows, its handlers
// read them, and the tests check against them. Plain data; no widget and no state.
//
// The counts of registers and bits are the lengths of the tables, and every size and loop of
// the program takes them from here: a register is added by one row at the end of its table,
// and by what its page shows.
#pragma once

#include "gui/core/register_row_types.h"

#include <cstddef>
#include <iterator>
#include <span>

namespace rows::table {

using F = Field;
using K = KeyClass;
using S = Scaling;

constexpr ConfigRegisterRow C(int i, const char* de, const char* en, Field f, const char* frame, double lo, double hi,
                              double click, double repeat, KeyClass k, double factory, Scaling s = S::None,
                              int sw = -1, int unit = -1)
{
  return ConfigRegisterRow{i, de, en, f, frame, lo, hi, click, repeat, k, factory, s, sw, unit};
}

// Text and choice rows have no up/down pair: limits and steps stay 0.
constexpr ConfigRegisterRow T(int i, const char* de, const char* en, Field f, const char* frame, KeyClass k,
                              double factory)
{
  return C(i, de, en, f, frame, 0, 0, 0, 0, k, factory);
}

// One set point's four rows share the captions and differ in limits, units and switch.
#define SETPOINT(first, frame, sw, u0, u1, u2, u3, repeat)                                                         \
  C(first, "Verstellbereich oben:", "Upper adjustment range:", F::Spin, frame, -100, 100, 0.1, repeat, K::Signed, 3, \
    S::GroupTenths, sw, u0),                                                                                         \
    C(first + 1, "Verstellbereich unten:", "Lower adjustment range:", F::Spin, frame, -100, 100, 0.1, repeat,        \
      K::Signed, -3, S::GroupTenths, sw, u1),                                                                        \
    C(first + 2, "Auflösung:", "Resolution:", F::Spin, frame, 0, 100, 0.1, repeat, K::Decimal, 0.5, S::GroupTenths,  \
      sw, u2),                                                                                                       \
    C(first + 3, "Basis-Sollwert nach Reset:", "Base set point after reset:", F::Spin, frame, -100, 100, 0.1, repeat, \
      K::Signed, 22, S::GroupTenths, sw, u3)

#define PLAIN_SETPOINT(first, frame)                                                                          \
  C(first, "Verstellbereich oben:", "Upper adjustment range:", F::Spin, frame, -999, 999, 1, 1, K::Signed, 0),  \
    C(first + 1, "Verstellbereich unten:", "Lower adjustment range:", F::Spin, frame, -999, 999, 1, 1,          \
      K::Signed, 0),                                                                                            \
    C(first + 2, "Auflösung:", "Resolution:", F::Spin, frame, 0, 999, 1, 1, K::Decimal, 0),                     \
    C(first + 3, "Basis-Sollwert nach Reset:", "Base set point after reset:", F::Spin, frame, -999, 999, 1, 1, \
      K::Signed, 0)

#define BUTTON(i, name, frame) T(i, name, nullptr, F::Choice, frame, K::Whole, 0)
#define LED(i, name, frame) T(i, name, nullptr, F::Choice, frame, K::Whole, 1)

inline constexpr ConfigRegisterRow kConfig[] = {
    T(0, "Gerätecodierung:", "Device coding:", F::Text, "frm_allg_1", K::Whole, 1),
    T(1, "Firmwareversion:", "Firmware version:", F::Text, "frm_allg_1", K::Whole, 1),
    T(2, "Bedientasten:", "Operating buttons:", F::Choice, "frm_allg_1", K::Whole, 12),
    C(3, "Geräteadresse:", "Device address:", F::Spin, "frm_allg_1", 0, 65535, 1, 1, K::Whole, 0),
    C(4, "Display gedimmt:", "Display dimmed:", F::Spin, "frm_allg_2", 0, 100, 1, 1, K::Whole, 10, S::Percent),
    C(5, "Display aktiv:", "Display active:", F::Spin, "frm_allg_2", 0, 100, 1, 1, K::Whole, 80, S::Percent),
    C(6, "Tasten-LED gedimmt:", "Button LED dimmed:", F::Spin, "frm_allg_2", 0, 100, 1, 1, K::Whole, 10, S::Percent),
    C(7, "Tasten-LED aktiv:", "Button LED active:", F::Spin, "frm_allg_2", 0, 100, 1, 1, K::Whole, 80, S::Percent),
    BUTTON(8, "T1:", "frm_12T"),
    BUTTON(9, "T2:", "frm_12T"),
    BUTTON(10, "T3:", "frm_12T"),
    BUTTON(11, "T4:", "frm_12T"),
    BUTTON(12, "T5:", "frm_button_0"),
    BUTTON(13, "T6:", "frm_button_0"),
    BUTTON(14, "T7:", "frm_4T_0"),
    BUTTON(15, "T8:", "frm_4T_0"),
    BUTTON(16, "T9:", "frm_8T_0"),
    BUTTON(17, "T10:", "frm_8T_0"),
    BUTTON(18, "T11:", "frm_8T_0"),
    BUTTON(19, "T12:", "frm_8T_0"),
    LED(20, "T5-LED:", "frm_button_0"),
    LED(21, "T6-LED:", "frm_button_0"),
    LED(22, "T7-LED:", "frm_4T_0"),
    LED(23, "T8-LED:", "frm_4T_0"),
    LED(24, "T9-LED:", "frm_8T_0"),
    LED(25, "T10-LED:", "frm_8T_0"),
    LED(26, "T11-LED:", "frm_8T_0"),
    LED(27, "T12-LED:", "frm_8T_0"),
    T(28, "Wochentag:", "Weekday:", F::Choice, "frm_allg_0", K::Whole, 0),
    T(29, "Datum:", "Date:", F::Choice, "frm_allg_0", K::Whole, 0),
    T(30, "Uhrzeit:", "Time:", F::Choice, "frm_allg_0", K::Whole, 0),
    T(31, "Uhrzeit-Modus:", "Clock mode:", F::Choice, "frm_allg_0", K::Whole, 0),
    C(32, "Rücksprungzeit [s]:", "Return time [s]:", F::Spin, "frm_Anzeige_0", 0, 255, 1, 1, K::Whole, 10),
    C(33, "Min-Response-Time [s]:", nullptr, F::Spin, "frm_allg_1", 0, 3000, 1, 1, K::Whole, 10),
    C(34, "Temperatur-Korrektur:", "Temperature correction:", F::Spin, "frm_allg_1", -10, 10, 0.1, 0.1, K::Signed, 0,
      S::Tenths, -1, 0),
    SETPOINT(35, "frm_soll_1", 61, 51, 52, 53, 54, 0.1),
    SETPOINT(39, "frm_soll_2", 62, 55, 56, 57, 58, 0.1),
    SETPOINT(43, "frm_soll_4", 63, 32, 75, 74, 66, 1),
    SETPOINT(47, "frm_soll_5", 64, 79, 78, 77, 76, 1),
    PLAIN_SETPOINT(51, "frm_soll_7"),
    PLAIN_SETPOINT(55, "frm_soll_8"),
    T(59, "Anzahl Lüfterstufen:", "Number of fan stages:", F::Choice, "frm_allg_1", K::Decimal, 3),
    C(60, "BUS-Überwachung:", "Bus monitoring:", F::Spin, "frm_allg_1", -10, 10, 1, 1, K::Decimal, 200),
    T(61, "Einheit:", "Unit :", F::Choice, "frm_soll_1", K::Decimal, 1),
    T(62, "Einheit:", "Unit :", F::Choice, "frm_soll_2", K::Decimal, 1),
    T(63, "Einheit:", "Unit :", F::Choice, "frm_soll_4", K::Decimal, 1),
    T(64, "Einheit:", "Unit :", F::Choice, "frm_soll_5", K::Decimal, 1),
    T(65, "Einheit Ext. Wert1:", "Unit external value:", F::Choice, "frm_extern_2", K::Decimal, 1),
    T(66, "Einheit Ext. Wert2:", "Unit external value:", F::Choice, "frm_extern_2", K::Decimal, 1),
    T(67, "Einheit Ext. Wert3:", "Unit external value:", F::Choice, "frm_extern_2", K::Decimal, 1),
    T(68, "Einheit Ext. Wert4:", "Unit external value:", F::Choice, "frm_extern_2", K::Decimal, 1),
    C(69, "COV Temperatur:", "COV temperature:", F::Spin, "frm_allg_3", 0, 10, 0.1, 1, K::Whole, 0.5, S::Tenths, -1,
      15),
    C(70, "COV Sollwert:", "COV set point:", F::Spin, "frm_allg_3", 0, 10, 0.1, 1, K::Whole, 1, S::Tenths, -1, 72),
    C(71, "COV externe Werte:", "COV external values:", F::Spin, "frm_allg_3", 0, 10, 0.1, 1, K::Whole, 1, S::Tenths),
    C(72, "Display sperren:", "Lock display:", F::Spin, "Frame1", 0, 255, 1, 1, K::Decimal, 5),
};

#undef SETPOINT
#undef PLAIN_SETPOINT
#undef BUTTON
#undef LED

constexpr InputRegisterRow I(int i, const char* de, const char* en, Field f, const char* frame, KeyClass k,
                             Scaling s = S::None, int unit_switch = -1, int group = -1, int unit = -1)
{
  return InputRegisterRow{i, de, en, f, frame, k, unit_switch, s, group, unit};
}

inline constexpr InputRegisterRow kInput[] = {
    // The clock fields carry the date and time headings of their frame instead of captions.
    I(0, nullptr, nullptr, F::Text, "frm_allg_0", K::Whole, S::ClockDigits),
    I(1, nullptr, nullptr, F::Text, "frm_allg_0", K::Whole, S::ClockDigits),
    I(2, nullptr, nullptr, F::Text, "frm_allg_0", K::Whole, S::ClockDigits),
    I(3, nullptr, nullptr, F::Text, "frm_allg_0", K::Whole, S::ClockDigits),
    I(4, nullptr, nullptr, F::Text, "frm_allg_0", K::Whole, S::ClockDigits),
    I(5, nullptr, nullptr, F::Text, "frm_allg_0", K::Whole, S::ClockDigits),
    I(6, nullptr, nullptr, F::Text, "frm_allg_0", K::Whole),
    I(7, "Aussentemperatur - [AV1520]:", "Outdoor temperature:", F::Text, "frm_extern_2", K::Signed, S::Tenths, -1, -1,
      33),
    I(8, "Externer Wert1 - [AV1521]:", "External value 1:", F::Text, "frm_extern_2", K::ByUnit, S::GroupTenths, 65,
      65, 34),
    I(9, "Externer Wert2 - [AV1522]:", "External value 2:", F::Text, "frm_extern_2", K::ByUnit, S::GroupTenths, 66,
      66, 36),
    I(10, "Externer Wert3 - [AV1523]:", "External value 3:", F::Text, "frm_extern_2", K::ByUnit, S::GroupTenths, 67,
      67, 41),
    I(11, "Externer Wert4 - [AV1524]:", "External value 4:", F::Text, "frm_extern_2", K::ByUnit, S::GroupTenths, 68,
      68, 42),
    I(12, "Externer Wert5:", "External value 5:", F::Text, "frm_extern_2", K::Signed),
    I(13, "Externer Wert6:", "External value 6:", F::Text, "frm_extern_2", K::Signed),
    I(14, "Sollwert-Offset:", "Set point offset:", F::Text, "frm_soll_1", K::ByUnit, S::GroupTenths, 61, 61, 61),
    I(15, "Sollwert-Offset:", "Set point offset:", F::Text, "frm_soll_2", K::ByUnit, S::GroupTenths, 62, 62, 59),
    I(16, "Sollwert-Offset:", "Set point offset:", F::Text, "frm_soll_4", K::ByUnit, S::GroupTenths, 63, 63, 43),
    I(17, "Sollwert-Offset:", "Set point offset:", F::Text, "frm_soll_5", K::ByUnit, S::GroupTenths, 64, 64, 45),
    I(18, "Sollwert-Offset:", "Set point offset:", F::Text, "frm_soll_7", K::Signed),
    I(19, "Sollwert-Offset:", "Set point offset:", F::Text, "frm_soll_8", K::Signed),
    I(20, "Basis-Sollwert:", "Base set point:", F::Text, "frm_soll_1", K::ByUnit, S::GroupTenths, 61, 61, 37),
    I(21, "Basis-Sollwert:", "Base set point:", F::Text, "frm_soll_2", K::ByUnit, S::GroupTenths, 62, 62, 38),
    I(22, "Basis-Sollwert:", "Base set point:", F::Text, "frm_soll_4", K::ByUnit, S::GroupTenths, 63, 63, 44),
    I(23, "Basis-Sollwert:", "Base set point:", F::Text, "frm_soll_5", K::ByUnit, S::GroupTenths, 64, 64, 46),
    I(24, "Basis-Sollwert:", "Base set point:", F::Text, "frm_soll_7", K::Signed),
    I(25, "Basis-Sollwert:", "Base set point:", F::Text, "frm_soll_8", K::Signed),
    I(26, "Lüfterstufe - [MV1539]:", "Fan stage:", F::Choice, "frm_fancoil", K::Signed, S::FanStage),
    I(27, "Raumbelegung - [BV1540]:", "Room occupancy:", F::Choice, "frm_fancoil", K::Signed),
};

constexpr OutputRegisterRow O(int i, const char* de, const char* en, const char* frame, Scaling s = S::None,
                              int group = -1, int unit = -1)
{
  return OutputRegisterRow{i, de, en, frame, s, group, unit};
}

inline constexpr OutputRegisterRow kOutput[] = {
    O(0, "Tastenstatus:", nullptr, "Frame2"),
    O(1, "LED-Status:", nullptr, "Frame2"),
    O(2, "Temperatur - [AI1259]:", "Temperature:", "frm_val_1", S::Tenths, -1, 35),
    O(3, "Sollwert-Offset 1:", "Set point offset 1:", "frm_val_1", S::GroupTenths, 61, 62),
    O(4, "Effektiver Sollwert 1:", "Effective set point 1:", "frm_val_1", S::GroupTenths, 61, 40),
    O(5, "Sollwert-Offset 2:", "Set point offset 2:", "frm_val_1", S::GroupTenths, 62, 60),
    O(6, "Effektiver Sollwert 2:", "Effective set point 2:", "frm_val_1", S::GroupTenths, 62, 39),
    O(7, "Sollwert-Offset 3:", "Set point offset 3:", "frm_val_1", S::GroupTenths, 63, 49),
    O(8, "Effektiver Sollwert 3:", "Effective set point 3:", "frm_val_1", S::GroupTenths, 63, 50),
    O(9, "Sollwert-Offset 4:", "Set point offset 4:", "frm_val_1", S::GroupTenths, 64, 47),
    O(10, "Effektiver Sollwert 4:", "Effective set point 4:", "frm_val_1", S::GroupTenths, 64, 48),
    O(11, "Sollwert-Offset 5:", "Set point offset 5:", "frm_val_1"),
    O(12, "Effektiver Sollwert 5:", "Effective set point 5:", "frm_val_1"),
    O(13, "Sollwert-Offset 6:", "Set point offset 6:", "frm_val_1"),
    O(14, "Effektiver Sollwert 6:", "Effective set point 6:", "frm_val_1"),
    O(15, "Lüfterstufe:", "Fan stage:", "frm_val_1", S::FanStage),
    O(16, "Raumbelegung:", "Room occupancy:", "frm_val_1"),
};

constexpr BitRow B(int i, const char* de, const char* en, const char* frame, bool choice = false, int factory = 0)
{
  return BitRow{i, de, en, frame, choice, factory};
}

inline constexpr BitRow kConfigBits[] = {
    B(0, "Raumtemperatur:", "Room temperature (internal):", "frm_Anzeige_1", false, 1),
    B(1, "Aussentemperatur:", "Outdoor temperature:", "frm_Anzeige_1"),
    B(2, "Externer Wert1:", "External value 1:", "frm_Anzeige_1"),
    B(3, "Externer Wert2:", "External value 2:", "frm_Anzeige_1"),
    B(4, "Externer Wert3:", "External value 3:", "frm_Anzeige_1"),
    B(5, "Externer Wert4:", "External value 4:", "frm_Anzeige_1"),
    B(6, "Externer Wert5:", "External value 5:", "frm_Anzeige_1"),
    B(7, "Externer Wert6:", "External value 6:", "frm_Anzeige_1"),
    B(8, "Sollwert 1 Offset:", "Set point 1 offset:", "frm_Anzeige_2"),
    B(9, "Sollwert 1 effektiv:", "Set point 1 effective:", "frm_Anzeige_2"),
    B(10, "Sollwert 2 Offset:", "Set point 2 offset:", "frm_Anzeige_2"),
    B(11, "Sollwert 2 effektiv:", "Set point 2 effective:", "frm_Anzeige_2"),
    B(12, "Sollwert 3 Offset:", "Set point 3 offset:", "frm_Anzeige_2"),
    B(13, "Sollwert 3 effektiv:", "Set point 3 effective:", "frm_Anzeige_2"),
    B(14, "Sollwert 4 Offset:", "Set point 4 offset:", "frm_Anzeige_2"),
    B(15, "Sollwert 4 effektiv:", "Set point 4 effective:", "frm_Anzeige_2"),
    B(16, "Sollwert 5 Offset:", "Set point 5 offset:", "frm_Anzeige_2"),
    B(17, "Sollwert 5 effektiv:", "Set point 5 effective:", "frm_Anzeige_2"),
    B(18, "Sollwert 6 Offset:", "Set point 6 offset:", "frm_Anzeige_2"),
    B(19, "Sollwert 6 effektiv:", "Set point 6 effective:", "frm_Anzeige_2"),
    B(20, "Uhrzeit anzeigen:", "Show time:", "frm_Anzeige_0", false, 1),
    B(21, "Lüfterstufe anzeigen:", "Show fan stage:", "frm_Anzeige_0", false, 1),
    B(22, "Raumbelegung anzeigen:", "Show room occupancy:", "frm_Anzeige_0", false, 1),
    B(23, "Reserviert:", "reserved:", nullptr),
    B(24, "Maßeinheit Temperatur:", "Temperature unit:", "frm_Anzeige_0", true, 1),
    B(25, "Anzeige Temperatur:", "Temperature display:", "frm_Anzeige_0", true, 1),
    B(26, "Anzeige Wert ohne Einheit:", "Display of values without unit:", "frm_Anzeige_0", true, 1),
    B(27, "Bei Sollwertverstellung:", "While the set point is adjusted:", "frm_soll_1", true),
    B(28, "Bei Sollwertverstellung:", "While the set point is adjusted:", "frm_soll_2", true),
    B(29, "Bei Sollwertverstellung:", "While the set point is adjusted:", "frm_soll_4", true),
    B(30, "Bei Sollwertverstellung:", "While the set point is adjusted:", "frm_soll_5", true),
    B(31, "Reserviert:", "reserved:", nullptr),
};

// Bits 0..7 switch the LEDs of the buttons T12 down to T5, each in the small frame that the
// button layout shows or hides.
inline constexpr BitRow kInputBits[] = {
    B(0, "T12-LED:", nullptr, "frm_8T_4"),
    B(1, "T11-LED:", nullptr, "frm_8T_3"),
    B(2, "T10-LED:", nullptr, "frm_8T_2"),
    B(3, "T9-LED:", nullptr, "frm_8T_1"),
    B(4, "T8-LED:", nullptr, "frm_4T_2"),
    B(5, "T7-LED:", nullptr, "frm_4T_1"),
    B(6, "T6-LED:", nullptr, "frm_2T_1"),
    B(7, "T5-LED:", nullptr, "frm_2T_0"),
    B(8, "Störung:", "Fault:", "frm_extern_1"),
    B(9, "Heizen:", "Heating:", "frm_extern_1"),
    B(10, "Kühlen:", "Cooling:", "frm_extern_1"),
    B(11, "Fenster:", "Window:", "frm_extern_1"),
    B(12, "Tasten:", "Buttons:", "frm_extern_1"),
    B(13, "Belegung:", "Occupancy:", "frm_extern_1"),
    B(14, "Lüfter:", "Fan speed:", "frm_extern_1"),
    B(15, "Sollwert:", "Set point:", "frm_extern_1"),
};

}  // namespace rows::table

inline constexpr int ConfigRegisterCount = int(std::size(rows::table::kConfig));
inline constexpr int OutputRegisterCount = int(std::size(rows::table::kOutput));
inline constexpr int InputRegisterTableSize = int(std::size(rows::table::kInput));
inline constexpr int ConfigBitCount = int(std::size(rows::table::kConfigBits));
inline constexpr int InputBitCount = int(std::size(rows::table::kInputBits));

namespace rows {

// Rows out of order would put a register's caption beside another register's field.
template <typename Row, std::size_t N>
constexpr bool rows_in_order(const Row (&table)[N])
{
  for (std::size_t i = 0; i < N; ++i)
    if (table[i].index != int(i))
      return false;
  return true;
}
static_assert(rows_in_order(table::kConfig) && rows_in_order(table::kInput) && rows_in_order(table::kOutput) &&
              rows_in_order(table::kConfigBits) && rows_in_order(table::kInputBits));

// Row i has index i.
inline constexpr std::span<const ConfigRegisterRow> ConfigRegisters() { return table::kConfig; }
inline constexpr std::span<const InputRegisterRow> InputRegisters() { return table::kInput; }
inline constexpr std::span<const OutputRegisterRow> OutputRegisters() { return table::kOutput; }
inline constexpr std::span<const BitRow> ConfigBits() { return table::kConfigBits; }
inline constexpr std::span<const BitRow> InputBits() { return table::kInputBits; }

}  // namespace rows
