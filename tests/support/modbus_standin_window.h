// The configuration window as the Modbus master sees it, without a widget: the register fields
// as texts, the bits, the change marks, and a record of what the master had the window show.
// No change handling runs here: a field the test edits is marked as the window's change
// handling marks a field that differs from the unit, and a text the master writes is taken as
// it is. For the master's tests on the scripted line and on the simulated unit.
#pragma once

#include "gui/core/modbus_master.h"
#include "gui/core/pc_clock.h"
#include "gui/core/program_state.h"

#include <QStringList>
#include <array>
#include <set>
#include <utility>

struct StandInWindow : modbus::MasterControls {
  using Mark = modbus::Mark;

  std::array<QString, ConfigRegisterCount> config;
  std::array<QString, OutputRegisterCount> output;
  std::array<QString, InputRegisterTableSize> input;
  std::array<int, ConfigBitCount> config_bits{};
  std::array<int, InputBitCount> input_bits{};
  std::array<int, ConfigBitCount> bit_choices{};
  std::array<bool, 12> buttons{};
  QString temperature;
  std::set<std::pair<Mark, int>> marked;
  QString address = "1";
  bool address_editable = true;
  bool link_open = false;
  bool problem_shown = false;
  bool layout_choice_black = false;
  int port_choice_resets = 0;
  int status_windows = 0;
  QStringList losses;  // "lost" and "reported", in the order the master said them

  bool is_marked(Mark control, int index) const { return marked.count({control, index}) > 0; }
  bool any_marked(Mark control) const
  {
    for (const auto& m : marked)
      if (m.first == control)
        return true;
    return false;
  }

  // The user's edits.
  void edit_config(int index, const QString& text)
  {
    config[size_t(index)] = text;
    marked.insert({Mark::ConfigText, index});
  }
  void edit_input(int index, const QString& text)
  {
    input[size_t(index)] = text;
    marked.insert({Mark::InputText, index});
  }
  void check_config(int index)
  {
    config_bits[size_t(index)] = 1;
    marked.insert({Mark::ConfigBit, index});
  }
  void check_input(int index)
  {
    input_bits[size_t(index)] = 1;
    marked.insert({Mark::InputBit, index});
  }
  // The clock fields as the window shows them from its start: the PC's time, differing from
  // the unit's.
  void show_pc_clock()
  {
    const std::array<QString, 6> texts = pc_clock::ClockFieldTexts(pc_clock::Now());
    for (int i = 0; i < 6; ++i)
      edit_input(i, texts[size_t(i)]);
  }

  QString ConfigText(int i) const override { return config[size_t(i)]; }
  void SetConfigText(int i, const QString& text) override { config[size_t(i)] = text; }
  QString OutputText(int i) const override { return output[size_t(i)]; }
  void SetOutputText(int i, const QString& text) override { output[size_t(i)] = text; }
  QString InputText(int i) const override { return input[size_t(i)]; }
  void SetInputText(int i, const QString& text) override { input[size_t(i)] = text; }
  int ConfigBit(int i) const override { return config_bits[size_t(i)]; }
  void SetConfigBit(int i, int value) override { config_bits[size_t(i)] = value; }
  void chk_cfg_Click(int) override {}
  void SetBitComboIndex(int i, int listIndex) override { bit_choices[size_t(i)] = listIndex; }
  int InputBit(int i) const override { return input_bits[size_t(i)]; }
  void SetInputBit(int i, int value) override { input_bits[size_t(i)] = value; }
  void SetButtonLabel(int i, bool set) override { buttons[size_t(i)] = set; }
  void SetTemperatureCaption(const QString& text) override { temperature = text; }
  int FanStageListIndex() const override { return 0; }
  void SetLampGreen() override {}
  void reset_red_field(bool conf, bool reg) override
  {
    std::erase_if(marked, [conf, reg](const std::pair<Mark, int>& m) {
      const bool of_conf = m.first == Mark::ConfigText || m.first == Mark::ConfigChoice || m.first == Mark::ConfigBit ||
                           m.first == Mark::BitChoice;
      return of_conf ? conf : reg;
    });
  }
  void func_red_field() override {}

  QString SlaveAddressText() const override { return address; }
  void SetAddressEditable(bool editable) override { address_editable = editable; }
  bool IsMarked(Mark control, int index) const override { return is_marked(control, index); }
  void SetMarked(Mark control, int index, bool changed) override
  {
    if (changed)
      marked.insert({control, index});
    else
      marked.erase({control, index});
  }
  void SetLayoutChoiceBlack() override { layout_choice_black = true; }
  void ShowMsgWindow() override { ++status_windows; }
  void ShowLinkOpen() override { link_open = true; }
  void ShowLinkClosed() override { link_open = false; }
  void ShowPortChoiceClosed() override { ++port_choice_resets; }
  void ShowCommunicationProblem(bool shown) override { problem_shown = shown; }
  void LinkLost() override { losses << "lost"; }
  void LinkLossReported() override { losses << "reported"; }
};
