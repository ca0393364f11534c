#include "gui/core/register_image.h"

#include "gui/core/language_texts.h"
#include "gui/core/message_box.h"
#include "gui/core/program_state.h"
#include "gui/core/wandeln.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace global {
namespace {

enum class Unit { Plain, Tenths, Percent, ClockDigits, FanStage };

// A group switch selects the unit of its group: 0 or 1 means tenths, anything else plain.
struct SetpointGroup {
  int switch_register;
  int first_config, last_config;
  int outputs[2];
  int inputs[2];
};
const SetpointGroup kSetpointGroups[] = {
    {61, 35, 38, {3, 4}, {14, 20}},
    {62, 39, 42, {5, 6}, {15, 21}},
    {63, 43, 46, {7, 8}, {16, 22}},
    {64, 47, 50, {9, 10}, {17, 23}},
};
// External values 1..4 (input registers 8..11), one switch each.
const int kExternalSwitchFirst = 65;
const int kExternalInputFirst = 8;
const int kExternalCount = 4;

const int kConfigTenths[] = {34, 69, 70, 71};
const int kConfigPercentFirst = 4, kConfigPercentLast = 7;
const int kOutputTenths = 2;  // the temperature shown in lbl_temp(0)
const int kInputTenths = 7;  // outside temperature
const int kClockInputLast = 5;  // inputs 0..5: second .. year, two decimal digits each
const int kOutputFanStage = 15;
const int kInputFanStage = 26;

constexpr double kPercentFactor = 2.55;

bool switch_says_tenths(int config_register)
{
  double v = ConfigRegisters[config_register];
  return v == 0 || v == 1;
}

Unit config_unit(int i)
{
  for (int r : kConfigTenths)
    if (i == r)
      return Unit::Tenths;
  if (i >= kConfigPercentFirst && i <= kConfigPercentLast)
    return Unit::Percent;
  for (const SetpointGroup& g : kSetpointGroups)
    if (i >= g.first_config && i <= g.last_config)
      return switch_says_tenths(g.switch_register) ? Unit::Tenths : Unit::Plain;
  return Unit::Plain;
}

Unit output_unit(int i)
{
  if (i == kOutputTenths)
    return Unit::Tenths;
  if (i == kOutputFanStage)
    return Unit::FanStage;
  for (const SetpointGroup& g : kSetpointGroups)
    if (i == g.outputs[0] || i == g.outputs[1])
      return switch_says_tenths(g.switch_register) ? Unit::Tenths : Unit::Plain;
  return Unit::Plain;
}

Unit input_unit(int i)
{
  if (i <= kClockInputLast)
    return Unit::ClockDigits;
  if (i == kInputFanStage)
    return Unit::FanStage;
  if (i == kInputTenths)
    return Unit::Tenths;
  for (const SetpointGroup& g : kSetpointGroups)
    if (i == g.inputs[0] || i == g.inputs[1])
      return switch_says_tenths(g.switch_register) ? Unit::Tenths : Unit::Plain;
  if (i >= kExternalInputFirst && i < kExternalInputFirst + kExternalCount)
    return switch_says_tenths(kExternalSwitchFirst + i - kExternalInputFirst) ? Unit::Tenths : Unit::Plain;
  return Unit::Plain;
}

// Rounds half to even, as every whole-number conversion of the program does.
double round_even(double v) { return std::nearbyint(v); }

std::optional<QByteArray> read_value_file(int number)
{
  QFile file(ValueFilePath(number));
  if (!file.open(QIODevice::ReadOnly))
    return std::nullopt;
  return file.readAll();
}

std::vector<int16_t> words_of(const QByteArray& bytes, size_t limit)
{
  std::vector<int16_t> words;
  for (qsizetype i = 0; i + 1 < bytes.size() && words.size() < limit; i += 2)
    words.push_back(int16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8)));
  return words;
}

// Raw fan-stage codes 0xFF00..0xFFFF are the automatic stages, shown from 4 upward.
double fan_stage_display(int16_t raw)
{
  uint16_t u = uint16_t(raw);
  if (u >= 0xFF00)
    return u - 0xFF00 + 4;
  return raw;
}

// The raw value's hexadecimal digits read as a decimal number; none when a digit is A..F.
std::optional<double> clock_display(int16_t raw)
{
  QString digits = QString::number(uint16_t(raw), 16);
  for (QChar c : digits)
    if (!c.isDigit())
      return std::nullopt;
  return digits.toInt();
}

template <size_t N>
void load_bits(std::array<int16_t, N>& bits, const QByteArray& bytes)
{
  for (qsizetype b = 0; b < bytes.size() && size_t(b) * 8 < N; ++b)
    for (int k = 0; k < 8; ++k)
      bits[b * 8 + k] = (uint8_t(bytes[b]) >> k) & 1;
}

template <size_t N>
QByteArray save_bits(const std::array<int16_t, N>& bits)
{
  QByteArray bytes(N / 8, '\0');
  for (size_t i = 0; i < N; ++i)
    if (bits[i] == 1)
      bytes[i / 8] = char(uint8_t(bytes[i / 8]) | (1 << (i % 8)));
  return bytes;
}

// The raw value of a display value, or none when it does not fit 16 bits.
std::optional<int16_t> raw_value(double display, Unit unit, int fanStageListIndex)
{
  double raw = 0;
  switch (unit) {
  case Unit::Tenths: raw = round_even(display * 10); break;
  case Unit::Percent: raw = round_even(display * kPercentFactor); break;
  case Unit::ClockDigits: return int16_t(Wandeln::HexToByte(NumberText(display)));
  case Unit::FanStage:
  case Unit::Plain: raw = round_even(display); break;
  }
  if (!(raw >= -32768 && raw <= 32767))
    return std::nullopt;
  if (unit == Unit::FanStage && display > 3)
    return GetComboValue(int16_t(raw), fanStageListIndex);
  return int16_t(raw);
}

template <size_t N>
std::optional<QByteArray> raw_block(const std::array<double, N>& display, Unit (*unit_of)(int),
                                    int fanStageListIndex, const QString& what)
{
  QByteArray bytes;
  for (size_t i = 0; i < N; ++i) {
    std::optional<int16_t> raw = raw_value(display[i], unit_of(int(i)), fanStageListIndex);
    if (!raw) {
      MsgBox(InLanguage("Der Wert %1 von %2 %3 passt nicht in 16 Bit.\r\nEs wurde keine Datei geschrieben.",
                        "The value %1 of %2 %3 does not fit into 16 bits.\r\nNo file was written.")
                 .arg(NumberText(display[i]), what)
                 .arg(i),
             MsgIcon::Exclamation);
      return std::nullopt;
    }
    bytes.append(char(uint16_t(*raw) & 0xFF));
    bytes.append(char(uint16_t(*raw) >> 8));
  }
  return bytes;
}

bool write_value_file(int number, const QByteArray& bytes)
{
  QSaveFile file(ValueFilePath(number));
  if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
    return true;
  MsgBox(InLanguage("Die Datei %1 kann nicht geschrieben werden.", "The file %1 cannot be written.")
             .arg(ValueFilePath(number)),
         MsgIcon::Exclamation);
  return false;
}

}  // namespace

int16_t GetComboValue(int16_t value, int fanStageListIndex)
{
  static const uint16_t kCodes[] = {0, 1, 3, 4, 0xFF00, 0xFF01, 0xFF02, 0xFF03};
  if (fanStageListIndex < 0 || fanStageListIndex > 2 || value < 0 || value > 7)
    return 0;
  return int16_t(kCodes[value]);
}

void LoadResultFiles(bool conf, bool reg, RegisterControls* controls)
{
  // Files 1 and 4 hold configuration values, 3 and 5 input values, 2 the outputs of both.
  const bool wanted[6] = {false, conf, conf || reg, reg, conf, reg};
  ResultFiles files;
  for (int n = 1; n <= 5; ++n)
    if (wanted[n])
      files[size_t(n)] = read_value_file(n);
  TakeResultFiles(files, conf, reg, controls);
}

void TakeResultFiles(const ResultFiles& files, bool conf, bool reg, RegisterControls* controls)
{
  std::array<bool, ConfigRegisterCount> config_loaded{};
  std::array<bool, OutputRegisterCount> output_loaded{};
  std::array<bool, InputRegisterTableSize> input_loaded{};

  if (conf) {
    if (const std::optional<QByteArray>& bytes = files[1]) {
      std::vector<int16_t> words = words_of(*bytes, ConfigRegisterCount);
      for (size_t i = 0; i < words.size(); ++i) {
        ConfigRegisters[i] = words[i];
        config_loaded[i] = true;
      }
    }
  }
  if (conf || reg) {
    if (const std::optional<QByteArray>& bytes = files[2]) {
      std::vector<int16_t> words = words_of(*bytes, OutputRegisterCount);
      for (size_t i = 0; i < words.size(); ++i) {
        double v = int(i) == kOutputFanStage ? fan_stage_display(words[i]) : words[i];
        OutputRegisters[i] = QString::number(qint64(v));
        output_loaded[i] = true;
      }
    }
  }
  if (reg) {
    if (const std::optional<QByteArray>& bytes = files[3]) {
      std::vector<int16_t> words = words_of(*bytes, InputRegisterTableSize);
      for (size_t i = 0; i < words.size(); ++i) {
        Unit unit = input_unit(int(i));
        if (unit == Unit::ClockDigits) {
          if (auto v = clock_display(words[i]))
            InputRegisters[i] = *v;
          continue;  // already a display value
        }
        InputRegisters[i] = unit == Unit::FanStage ? fan_stage_display(words[i]) : words[i];
        input_loaded[i] = true;
      }
    }
  }
  if (conf)
    if (const std::optional<QByteArray>& bytes = files[4])
      load_bits(ConfigBits, bytes->left(ConfigBitCount / 8));
  if (reg)
    if (const std::optional<QByteArray>& bytes = files[5])
      load_bits(InputBits, bytes->left(InputBitCount / 8));

  // The group switches are read as they stand now: just loaded, or from the last read of
  // the configuration block.
  for (int i = 0; i < ConfigRegisterCount; ++i) {
    if (!config_loaded[i])
      continue;
    Unit unit = config_unit(i);
    if (unit == Unit::Tenths)
      ConfigRegisters[i] /= 10;
    else if (unit == Unit::Percent)
      ConfigRegisters[i] = round_even(ConfigRegisters[i] / kPercentFactor);
  }
  for (int i = 0; i < OutputRegisterCount; ++i)
    if (output_loaded[i] && output_unit(i) == Unit::Tenths)
      OutputRegisters[i] = NumberText(OutputRegisters[i].toDouble() / 10);
  for (int i = 0; i < InputRegisterTableSize; ++i)
    if (input_loaded[i] && input_unit(i) == Unit::Tenths)
      InputRegisters[i] /= 10;

  if (controls)
    controls->reset_red_field(conf, reg);
}

bool SaveSourceFiles(bool conf, bool reg, RegisterControls* controls)
{
  const int fan_list = controls ? controls->FanStageListIndex() : 0;
  std::optional<QByteArray> file1, file3;
  if (conf && !(file1 = raw_block(ConfigRegisters, config_unit, fan_list,
                                     InLanguage("Konfigurationsregister", "configuration register"))))
    return false;
  if (reg && !(file3 = raw_block(InputRegisters, input_unit, fan_list, InLanguage("Eingangsregister", "input register"))))
    return false;

  bool ok = true;
  if (conf)
    ok = write_value_file(1, *file1) && write_value_file(4, save_bits(ConfigBits));
  if (ok && reg)
    ok = write_value_file(3, *file3) && write_value_file(5, save_bits(InputBits));
  if (!ok)
    return false;
  if (controls)
    controls->reset_red_field(conf, reg);
  return true;
}

void CollectRegisterTables(bool conf, bool reg, const RegisterControls& controls)
{
  if (conf)
    for (int i = 0; i < ConfigRegisterCount; ++i)
      ConfigRegisters[i] = TextNumber(controls.ConfigText(i));
  if (conf || reg)
    for (int i = 0; i < OutputRegisterCount; ++i)
      OutputRegisters[i] = controls.OutputText(i);
  if (reg)
    for (int i = 0; i < InputRegisterTableSize; ++i)
      InputRegisters[i] = TextNumber(controls.InputText(i));
  if (conf)
    for (int i = 0; i < ConfigBitCount; ++i)
      ConfigBits[i] = int16_t(controls.ConfigBit(i));
  if (reg)
    for (int i = 0; i < InputBitCount; ++i)
      InputBits[i] = int16_t(controls.InputBit(i));
}

void ShowRegisterTables(bool conf, bool reg, RegisterControls& controls)
{
  if (conf)
    for (int i = 0; i < ConfigRegisterCount; ++i)
      controls.SetConfigText(i, NumberText(ConfigRegisters[i]));
  if (conf || reg) {
    for (int i = 0; i < OutputRegisterCount; ++i) {
      controls.SetOutputText(i, OutputRegisters[i]);
      if (i == 0) {
        // The twelve button labels show the lowest 12 bits, the highest bit first.
        double v = std::clamp(TextNumber(OutputRegisters[0]), -32768.0, 65535.0);
        int bits = int(uint16_t(int32_t(v))) & 0xFFF;
        for (int j = 0; j < 12; ++j)
          controls.SetButtonLabel(j, (bits >> (11 - j)) & 1);
      } else if (i == kOutputTenths) {
        controls.SetTemperatureCaption(OutputRegisters[i]);
      }
    }
  }
  if (reg)
    for (int i = 0; i < InputRegisterTableSize; ++i)
      controls.SetInputText(i, NumberText(InputRegisters[i]));
  if (conf) {
    for (int i = 0; i < ConfigBitCount; ++i) {
      controls.SetConfigBit(i, ConfigBits[i]);
      controls.chk_cfg_Click(i);
      if (i >= 24 && i <= 30)
        controls.SetBitComboIndex(i, ConfigBits[i]);
    }
  }
  if (reg)
    for (int i = 0; i < InputBitCount; ++i)
      controls.SetInputBit(i, InputBits[i]);
}

}  // namespace global
