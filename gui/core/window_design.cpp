#include "gui/core/window_design.h"

#include <array>

namespace design {
namespace {

constexpr Entry Cfg(int i) { return {Item::Cfg, i, nullptr}; }
constexpr Entry In(int i) { return {Item::In, i, nullptr}; }
constexpr Entry Out(int i) { return {Item::Out, i, nullptr}; }
constexpr Entry CfgBit(int i) { return {Item::CfgBit, i, nullptr}; }
constexpr Entry InBit(int i) { return {Item::InBit, i, nullptr}; }
constexpr Entry Desc(int i) { return {Item::Desc, i, nullptr}; }
constexpr Entry Sub(const char* name) { return {Item::Frame, 0, name}; }
constexpr Entry Picture(int k) { return {Item::Picture, k, nullptr}; }
constexpr Entry PictureBeside(int k, int lines) { return {Item::Picture, k, nullptr, -1, 0, lines}; }
constexpr Entry Right(Entry e)
{
  e.column = 1;
  return e;
}

const std::array<const char*, TabCount * 2> kTabs = {
    "Allgemein", "General",  //
    "Anzeige", "Display",  //
    "Tasten", "Buttons",  //
    "COV-Einstellungen", "COV settings",  //
    "LED / Symbole", "LED / Symbols",  //
    "Extern Vorgaben", "External values",  //
    "Sollwert 1/2", "Setpoint 1/2",  //
    "Sollwert 3/4", "Setpoint 3/4",  //
    "Monitor", "Monitor",
};

// Tab 0: general settings, date and time, backlight.
const Entry kAllg1[] = {Cfg(0), Cfg(1), Cfg(2), Cfg(59), Cfg(3), Cfg(33), Cfg(34), Cfg(60)};
const Entry kAllg0[] = {Desc(71), Cfg(28), Cfg(29), Cfg(30), Cfg(31), Desc(67), {Item::ClockDate, 0, nullptr},
                        {Item::ClockTime, 0, nullptr}, {Item::In, 6, nullptr, 68}};
const Entry kAllg2[] = {Desc(3), Cfg(4), Cfg(5), Cfg(6), Cfg(7)};
// Tab 1: what the display shows.
const Entry kAnzeige0[] = {Cfg(32), CfgBit(20), CfgBit(21), CfgBit(22), CfgBit(24), CfgBit(25), CfgBit(26)};
const Entry kAnzeige1[] = {CfgBit(0), CfgBit(1), CfgBit(2), CfgBit(3), CfgBit(4), CfgBit(5), CfgBit(6), CfgBit(7)};
const Entry kAnzeige2[] = {CfgBit(8), CfgBit(9), CfgBit(10), CfgBit(11), CfgBit(12), CfgBit(13),
                           CfgBit(14), CfgBit(15), CfgBit(16), CfgBit(17), CfgBit(18), CfgBit(19)};
const Entry kReservedBits[] = {CfgBit(23), CfgBit(31)};
// Tab 2: button functions, grouped by the button count that has them; two functions to a
// row and the wide LED lists one to a row, so that the page fits the window.
const Entry kButton0[] = {Desc(1),  Desc(31), Sub("frm_12T"), PictureBeside(1, 5), Cfg(12),        Cfg(13),
                          Desc(2),  Cfg(20),  Cfg(21),        Sub("frm_4T_0"),     Sub("frm_8T_0")};
const Entry k12T[] = {Cfg(8), Right(Cfg(9)), Cfg(10), Right(Cfg(11))};
const Entry k4T0[] = {Cfg(14), Right(Cfg(15)), Cfg(22), Cfg(23)};
const Entry k8T0[] = {Cfg(16), Right(Cfg(17)), Cfg(18), Right(Cfg(19)), Cfg(24), Cfg(25), Cfg(26), Cfg(27)};
// Tab 3: change-of-value increments and the two set points without unit.
const Entry kAllg3[] = {Desc(14), Cfg(69), Cfg(70), Cfg(71)};
const Entry kSoll7[] = {Desc(8), Cfg(51), Cfg(52), Cfg(53), Cfg(54), Desc(28), In(18), In(24), Desc(63)};
const Entry kSoll8[] = {Desc(9), Cfg(55), Cfg(56), Cfg(57), Cfg(58), Desc(29), In(19), In(25), Desc(64)};
// Tab 4: LEDs switched through the input bits, and the display symbols.
const Entry kExtern0[] = {Picture(2), Desc(12), Sub("frm_2T_0"), Sub("frm_2T_1"), Sub("frm_4T_1"), Sub("frm_4T_2"),
                          Sub("frm_8T_1"), Sub("frm_8T_2"), Sub("frm_8T_3"), Sub("frm_8T_4"), Desc(5)};
const Entry k2T0[] = {InBit(7)};
const Entry k2T1[] = {InBit(6)};
const Entry k4T1[] = {InBit(5)};
const Entry k4T2[] = {InBit(4)};
const Entry k8T1[] = {InBit(3)};
const Entry k8T2[] = {InBit(2)};
const Entry k8T3[] = {InBit(1)};
const Entry k8T4[] = {InBit(0)};
const Entry kExtern1[] = {Desc(13), InBit(8), InBit(9), InBit(10), InBit(11),
                          InBit(12), InBit(13), InBit(14), InBit(15)};
// Tab 5: external values, fan coil, display lock.
const Entry kExtern2[] = {Desc(73), In(7), In(8), In(9), In(10), In(11), In(12), In(13),
                          Desc(23), Cfg(65), Cfg(66), Cfg(67), Cfg(68), Desc(65)};
const Entry kFancoil[] = {In(26), In(27)};
const Entry kFrame1[] = {Desc(22), Cfg(72)};
// Tabs 6 and 7: the four set points.
const Entry kSoll1[] = {Desc(24), Cfg(61), Cfg(35), Cfg(36), Cfg(37), Cfg(38), CfgBit(27), Desc(18), In(14), In(20)};
const Entry kSoll2[] = {Desc(25), Cfg(62), Cfg(39), Cfg(40), Cfg(41), Cfg(42), CfgBit(28), Desc(19), In(15), In(21)};
const Entry kSoll4[] = {Desc(26), Cfg(63), Cfg(43), Cfg(44), Cfg(45), Cfg(46), CfgBit(29), Desc(20), In(16), In(22)};
const Entry kSoll5[] = {Desc(27), Cfg(64), Cfg(47), Cfg(48), Cfg(49), Cfg(50), CfgBit(30), Desc(21), In(17), In(23)};
// Tab 8: the monitor.
const Entry kVal1[] = {Desc(11), Out(2), Out(3), Out(4), Out(5), Out(6), Out(7), Out(8), Out(9), Out(10),
                       Desc(16), Out(11), Out(12), Desc(17), Out(13), Out(14), Out(15), Out(16)};
const Entry kVal0[] = {Desc(10), Sub("Frame2")};
const Entry kFrame2[] = {Out(0), Out(1), Picture(0)};

const FrameDesign kFrames[] = {
    {"frm_allg_1", 0, 0, "Allgemeine Einstellungen", "General settings", kAllg1},
    {"frm_allg_0", 0, 1, "Anzeige Datum und Uhrzeit", "Display date and time", kAllg0},
    {"frm_allg_2", 0, 0, "Intensität Hintergrundbeleuchtung", "Intensity background illumination", kAllg2},
    {"frm_Anzeige_0", 1, 0, "Parameter", "Parameter", kAnzeige0},
    {"frm_Anzeige_1", 1, 0, "Externe Messwerte anzeigen", "External values", kAnzeige1},
    {"frm_Anzeige_2", 1, 1, "Sollwerte anzeigen", "Setpoints", kAnzeige2},
    {"reserved_bits", 1, 1, nullptr, nullptr, kReservedBits},
    {"frm_button_0", 2, 0, "Konfiguration der Tasten", "Button configuration", kButton0},
    {"frm_allg_3", 3, 0, "COV Einstellungen", "COV settings", kAllg3},
    {"frm_soll_7", 3, 0, "Sollwert Wert ohne Einheit 1", "Setpoint value without unit 1", kSoll7},
    {"frm_soll_8", 3, 1, "Sollwert Wert ohne Einheit 2", "Setpoint value without unit 2", kSoll8},
    {"frm_extern_0", 4, 0, "Tasten-LED", "LED", kExtern0},
    {"frm_extern_1", 4, 1, "Symbole", "Symbols", kExtern1},
    {"frm_extern_2", 5, 0, "Eingaberegister - Externe Werte", "Input register - External values", kExtern2},
    {"frm_fancoil", 5, 1, "Lüfterstufen / Belegung", "FAN coil / Occupancy", kFancoil},
    {"Frame1", 5, 1, "Konfiguration", nullptr, kFrame1},
    {"frm_soll_1", 6, 0, "Sollwert 1", "Setpoint 1", kSoll1},
    {"frm_soll_2", 6, 1, "Sollwert 2", "Setpoint 2", kSoll2},
    {"frm_soll_4", 7, 0, "Sollwert 3", "Setpoint 3", kSoll4},
    {"frm_soll_5", 7, 1, "Sollwert 4", "Setpoint 4", kSoll5},
    {"frm_val_1", 8, 0, "Messwerte", "Values", kVal1},
    {"frm_val_0", 8, 1, "Tasten", "Buttons", kVal0},
    {"frm_12T", -1, 0, "T1 - T4", nullptr, k12T},
    {"frm_4T_0", -1, 0, "T7 - T8", nullptr, k4T0},
    {"frm_8T_0", -1, 0, "T9 - T12", nullptr, k8T0},
    {"frm_2T_0", -1, 0, "T5", nullptr, k2T0},
    {"frm_2T_1", -1, 0, "T6", nullptr, k2T1},
    {"frm_4T_1", -1, 0, "T7", nullptr, k4T1},
    {"frm_4T_2", -1, 0, "T8", nullptr, k4T2},
    {"frm_8T_1", -1, 0, "T9", nullptr, k8T1},
    {"frm_8T_2", -1, 0, "T10", nullptr, k8T2},
    {"frm_8T_3", -1, 0, "T11", nullptr, k8T3},
    {"frm_8T_4", -1, 0, "T12", nullptr, k8T4},
    {"Frame2", -1, 0, "Tasten", "Buttons", kFrame2},
};

const std::array<DescLabel, 80> kDesc = {{
    {0, "K", nullptr, true},
    {1, "Tasten- und LED-Funktionen", "Button and LED functions", true},
    {2, "LED-Funktion:", "LED function:", true},
    {3, "Helligkeit in Prozent", "Brightness in percent", true},
    {4, ":", nullptr, false},
    {5,
     "Die Tasten-LEDs können nur bei entsprechender Konfiguration angesteuert werden: Im Reiter 'Tasten' muss die "
     "'Funktion der Tasten-LED auf den Wert 'ohne Sonderfunktion' eingestellt werden.",
     "The button LEDs can only be controlled with a corresponding configuration: In the rider 'Button', the "
     "'function of the button LED' must be set to the value 'without special function'!",
     true},
    {6, ".", nullptr, false},
    {7, "Kommunikationsprobleme, bitte Einstellungen überprüfen!",
     "Communication problems, please check your settings!", false},
    {8, "Konfigurationsregister:", "Configuration registers:", true},
    {9, "Konfigurationsregister:", "Configuration registers:", true},
    {10, "Zustand der Tasten", "State of the buttons", true},
    {11, "Messwerte des Gerätes", "Values of the unit", true},
    {12, "LEDs über das Bit-Register schalten:", "Switch the LEDs through the bit register:", true},
    {13, "Symbole einblenden:", "Show symbols:", true},
    {14, "Änderung, ab der ein Wert gemeldet wird:", "Change at which a value is reported:", true},
    {15, "K", nullptr, true},
    {16, "Sollwert 5:", "Set point 5:", true},
    {17, "Sollwert 6:", "Set point 6:", true},
    {18, "Eingaberegister:", "Input registers:", true},
    {19, "Eingaberegister:", "Input registers:", true},
    {20, "Eingaberegister:", "Input registers:", true},
    {21, "Eingaberegister:", "Input registers:", true},
    {22, "Sperre", "Lock", true},
    {23, "Konfigurationsregister:", "Configuration registers:", true},
    {24, "Konfigurationsregister:", "Configuration registers:", true},
    {25, "Konfigurationsregister:", "Configuration registers:", true},
    {26, "Konfigurationsregister:", "Configuration registers:", true},
    {27, "Konfigurationsregister:", "Configuration registers:", true},
    {28, "Eingaberegister:", "Input registers:", true},
    {29, "Eingaberegister:", "Input registers:", true},
    {30, "Monitor", "Monitor:", true},
    {31, "Funktion:", "Function:", true},
    {32, "K", nullptr, true},
    {33, "°C", nullptr, true},
    {34, "°C", nullptr, true},
    {35, "°C", nullptr, true},
    {36, "°C", nullptr, true},
    {37, "°C", nullptr, true},
    {38, "°C", nullptr, true},
    {39, "°C", nullptr, true},
    {40, "°C", nullptr, true},
    {41, "°C", nullptr, true},
    {42, "°C", nullptr, true},
    {43, "K", nullptr, true},
    {44, "°C", nullptr, true},
    {45, "K", nullptr, true},
    {46, "°C", nullptr, true},
    {47, "K", nullptr, true},
    {48, "°C", nullptr, true},
    {49, "K", nullptr, true},
    {50, "°C", nullptr, true},
    {51, "K", nullptr, true},
    {52, "K", nullptr, true},
    {53, "K", nullptr, true},
    {54, "°C", nullptr, true},
    {55, "K", nullptr, true},
    {56, "K", nullptr, true},
    {57, "K", nullptr, true},
    {58, "°C", nullptr, true},
    {59, "K", nullptr, true},
    {60, "K", nullptr, true},
    {61, "K", nullptr, true},
    {62, "K", nullptr, true},
    {63, "Werte ohne Einheit werden ohne Komma übertragen!",
     "Values without unit are transferred without decimal point!", true},
    {64, "Werte ohne Einheit werden ohne Komma übertragen!",
     "Values without unit are transferred without decimal point!", true},
    {65, "Werte ohne Einheit werden ohne Komma übertragen!",
     "Values without unit are transferred without decimal point!", true},
    {66, "°C", nullptr, true},
    {67, "Eingaberegister", "Input registers", false},
    {68, "Wochentag:", "Weekday:", true},
    {69, "Datum (TT.MM.JJ):", "Date (DD.MM.YY):", false},
    {70, "Uhrzeit (hh:mm:ss):", "Time (hh:mm:ss):", false},
    {71, "Konfigurationsregister", "Configuration registers", true},
    {72, "K", nullptr, true},
    {73, "Eingaberegister:", "Input registers:", true},
    {74, "K", nullptr, true},
    {75, "K", nullptr, true},
    {76, "°C", nullptr, true},
    {77, "K", nullptr, true},
    {78, "K", nullptr, true},
    {79, "K", nullptr, true},
}};

QStringList list(std::initializer_list<const char*> texts)
{
  QStringList out;
  for (const char* t : texts)
    out << QString::fromUtf8(t);
  return out;
}

QStringList button_functions(bool english)
{
  if (english)
    return list({"0x00, Without special function", "0x01, Setpoint 1 Plus", "0x02, Setpoint 1 Minus",
                 "0x03, Setpoint 2 Plus", "0x04, Setpoint 2 Minus", "0x05, Setpoint 3 Plus", "0x06, Setpoint 3 Minus",
                 "0x07, Setpoint 4 Plus", "0x08, Setpoint 4 Minus", "0x09, reserved", "0x0A, reserved",
                 "0x0B, reserved", "0x0C, reserved", "0x0D, Fan stage Plus with 'AUTO'",
                 "0x0E, Fan stage Minus with 'AUTO'", "0x0F, Fan stage Plus without 'AUTO'",
                 "0x10, Fan stage Minus without 'AUTO'", "0x11, Fan stage only 'AUTO'", "0x12, Room unoccupied",
                 "0x13, Room occupied"});
  return list({"0x00, ohne Sonderfunktion", "0x01, Sollwert 1 Plus", "0x02, Sollwert 1 Minus", "0x03, Sollwert 2 Plus",
               "0x04, Sollwert 2 Minus", "0x05, Sollwert 3 Plus", "0x06, Sollwert 3 Minus", "0x07, Sollwert 4 Plus",
               "0x08, Sollwert 4 Minus", "0x09, reserviert", "0x0A, reserviert", "0x0B, reserviert",
               "0x0C, reserviert", "0x0D, Lüfterstufe Plus mit \"AUTO\"", "0x0E, Lüfterstufe Minus mit \"AUTO\"",
               "0x0F, Lüfterstufe Plus ohne \"AUTO\"", "0x10, Lüfterstufe Minus ohne \"AUTO\"",
               "0x11, Lüfterstufe nur \"AUTO\"", "0x12, Raum nicht belegt", "0x13, Raum belegt"});
}

}  // namespace

QString TabCaption(int tab, bool english)
{
  if (tab < 0 || tab >= TabCount)
    return {};
  return QString::fromUtf8(kTabs[size_t(tab * 2 + (english ? 1 : 0))]);
}

std::span<const FrameDesign> Frames() { return kFrames; }

const FrameDesign* FindFrame(const QString& name)
{
  for (const FrameDesign& f : Frames())
    if (name == QLatin1String(f.name))
      return &f;
  return nullptr;
}

std::span<const DescLabel> DescLabels() { return kDesc; }

bool HasConfigChoice(int i) { return i == 2 || (i >= 8 && i <= 31) || i == 59 || (i >= 61 && i <= 68); }
bool HasBitChoice(int i) { return i >= 24 && i <= 30; }
bool HasConfigSpin(int i) { return (i >= 3 && i <= 7) || (i >= 32 && i <= 58) || i == 60 || (i >= 69 && i <= 72); }

QStringList ConfigChoices(int i, bool english)
{
  if (i == 2)
    return list({"2T", "4T", "8T", "12T"});
  if (i >= 8 && i <= 19)
    return button_functions(english);
  if (i >= 20 && i <= 27)
    return english ? list({"0x00, without special function / via Bit-Register",
                           "0x01, ON button pressed / OFF button not pressed"})
                   : list({"0x00, ohne Sonderfunktion / über Bit-Register ansteuerbar",
                           "0x01, EIN Taste gedrückt / AUS Taste nicht gedrückt"});
  if (i == 28)
    return english ? list({"0x00, Fade out", "0x01, English", "0x02, German"})
                   : list({"0x00, ausblenden", "0x01, englisch", "0x02, deutsch"});
  if (i == 29)
    return english ? list({"0x00, Fade out", "0x01, Englisch (YY.MM.DD)", "0x02, German (DD.MM.YY)"})
                   : list({"0x00, ausblenden", "0x01, englisch (JJ.MM.TT)", "0x02, deutsch (TT.MM.JJ)"});
  if (i == 30)
    return english ? list({"0x00 , Fade out", "0x01, With second", "0x02, Without second"})
                   : list({"0x00, ausblenden", "0x01, mit Sekunde", "0x02, ohne Sekunde"});
  if (i == 31)
    return english ? list({"24-hours-mode", "12-hours-mode"}) : list({"24-Stunden-Modus", "12-Stunden-Modus"});
  if (i == 59)
    return list({"1", "2", "3"});
  if (i >= 61 && i <= 68)
    return english ? list({"none", "Temp", "%"}) : list({"keine", "Temp", "%"});
  return {};
}

// The English entries keep the meaning of the German entry at the same position: the stored
// bit is the position, so a list in another order would show the opposite setting.
QStringList BitChoices(int i, bool english)
{
  if (i == 24)
    return list({"°F", "°C"});
  if (i == 25)
    return english ? list({"Without decimal point", "With decimal point"})
                   : list({"Ohne zehntel-Stelle", "Mit zehntel-Stelle"});
  if (i == 26)
    return english ? list({"Fade out decimal point", "Fade in decimal point"})
                   : list({"Komma ausblenden", "Komma einblenden"});
  if (i >= 27 && i <= 30)
    return english ? list({"Setpoint offset", "Setpoint effective"}) : list({"Sollwert offset", "Sollwert effektiv"});
  return {};
}

QStringList InputChoices(int i, bool english)
{
  if (i == 26)
    return english ? list({"0x0000, Off", "0x0001, Stage 1", "0x0002, Stage 2", "0x0003, Stage 3", "0xFF00, Auto Off",
                           "0xFF01, Auto Stage 1", "0xFF02, Auto Stage 2", "0xFF03, Auto Stage 3"})
                   : list({"0x0000, Aus", "0x0001, 1. Stufe", "0x0002, 2. Stufe", "0x0003, 3. Stufe",
                           "0xFF00, Auto Aus", "0xFF01, Auto 1. Stufe", "0xFF02, Auto 2. Stufe",
                           "0xFF03, Auto 3. Stufe"});
  if (i == 27)
    return english ? list({"0x00, Room unoccupied", "0x01, Room occupied"})
                   : list({"0x00, Raum nicht belegt", "0x01, Raum belegt"});
  return {};
}

QStringList FanStageTexts(int stages)
{
  switch (stages) {
  case 1:
    return list({"Aus", "not used", "not used", "Stufe 1", "Auto Aus", "not used", "not used", "Auto Stufe 1"});
  case 2:
    return list({"Aus", "Stufe 1", "not used", "Stufe 2", "Auto Aus", "Auto Stufe 1", "not used", "Auto Stufe 2"});
  case 3:
    return list({"Aus", "Stufe 1", "Stufe 2", "Stufe 3", "Auto Aus", "Auto Stufe 1", "Auto Stufe 2", "Auto Stufe 3"});
  default:
    return {};
  }
}

const char* PictureName(int position)
{
  static const char* const names[4] = {"Image2T", "Image4T", "Image8T", "Image12T"};
  return position >= 0 && position < 4 ? names[position] : nullptr;
}

Rect ButtonIndicatorDesign(int index)
{
  // Indicators 0..3 are flat bars above two columns of upright bars, one pair per row.
  static const int bar_lefts[4] = {1020, 1320, 1680, 1980};
  static const int row_tops[4] = {2480, 2850, 3210, 3590};
  if (index >= 0 && index < 4)
    return {bar_lefts[index], 2100, 255, 105};
  if (index >= 4 && index < 12)
    return {index % 2 == 0 ? 950 : 2225, row_tops[(index - 4) / 2], 105, 285};
  return {0, 0, 0, 0};
}

// Smaller layouts stretch the upper rows over the rows they leave empty.
Rect ButtonIndicatorUnderLayout(int position, int index, Rect r)
{
  switch (position) {
  case 0:
    if (index == 4 || index == 5)
      r.height = 1400;
    break;
  case 1:
    if (index >= 4 && index <= 7)
      r.height = 680;
    if (index == 6 || index == 7)
      r.top = 3210;
    break;
  case 2:
  case 3:
    if (index >= 4 && index <= 7)
      r.height = 285;
    if (index == 6 || index == 7)
      r.top = 2850;
    break;
  default:
    break;
  }
  return r;
}

bool ButtonIndicatorVisible(int position, int index)
{
  if (index == 4 || index == 5)
    return true;
  switch (position) {
  case 0:
    return false;
  case 1:
    return index >= 4 && index <= 7;
  case 2:
    return index >= 4;
  default:
    return true;
  }
}

const SetpointUnits& Setpoint(int k)
{
  static const SetpointUnits table[4] = {
      {61, {51, 52, 53, 61, 62}, {54, 37, 40}, {35, 36, 37, 38}, 37},
      {62, {55, 56, 57, 59, 60}, {58, 38, 39}, {39, 40, 41, 42}, 41},
      {63, {32, 75, 74, 43, 49}, {66, 44, 50}, {43, 44, 45, 46}, 45},
      {64, {79, 78, 77, 45, 47}, {76, 46, 48}, {47, 48, 49, 50}, 49},
  };
  return table[(k >= 1 && k <= 4 ? k : 1) - 1];
}

int ExternalUnitLabel(int choice)
{
  static const int labels[4] = {34, 36, 41, 42};
  return choice >= 65 && choice <= 68 ? labels[choice - 65] : -1;
}

const char* LedFrame(int choice)
{
  static const char* const frames[8] = {"frm_2T_0", "frm_2T_1", "frm_4T_1", "frm_4T_2",
                                        "frm_8T_1", "frm_8T_2", "frm_8T_3", "frm_8T_4"};
  return choice >= 20 && choice <= 27 ? frames[choice - 20] : nullptr;
}

}  // namespace design
