// Field handling of the configuration window: the change handlers that keep linked
// controls in step and mark fields that differ from the register image, the lamp and the
// buttons that follow the marks, the selection rules of the choice boxes, the key filters,
// the range checks on leaving a field, the up/down stepping with its auto-repeat, the factory
// values and the PC's clock. Handlers nest: a text or selection written here runs the
// handler of that control before the write returns.
#include "gui/core/field_rules.h"
#include "gui/core/pc_clock.h"
#include "gui/core/program_state.h"
#include "gui/core/register_rows.h"
#include "gui/core/timer_switch.h"
#include "gui/core/window_design.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/window_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <optional>

using fields::ReadNumber;

namespace {

QString u8(const char* text) { return QString::fromUtf8(text); }

int check_value(const QCheckBox* box)
{
  switch (box->checkState()) {
  case Qt::Checked:
    return 1;
  case Qt::PartiallyChecked:
    return 2;
  default:
    return 0;
  }
}

// The list position a number stands for; nothing when it is no valid entry (below -1 or not
// below the number of entries).
std::optional<int> position_of(double number, const QComboBox* box)
{
  const double p = fields::RoundHalfEven(number);
  if (p < -1 || p >= box->count())
    return std::nullopt;
  return int(p);
}

}  // namespace

void frm_config::select_entry(QComboBox* box, int position)
{
  if (box && box->currentIndex() != position)
    box->setCurrentIndex(position);
}

int frm_config::choice_position(int index) const
{
  const QComboBox* box = cmb_cfg[size_t(index)];
  return box ? box->currentIndex() : -1;
}

void frm_config::show_frame(const char* name, bool visible)
{
  auto it = frames.find(QString::fromLatin1(name));
  if (it != frames.end())
    it->second->setVisible(visible);
}

// ---------------------------------------------------------------------------------------
// Change handling

void frm_config::txt_data_cfg_Change(int i)
{
  QLineEdit* box = txt_data_cfg[size_t(i)];
  if (i == 0 || i == 1)
    lbl_cfg_val[size_t(i)]->setText(box->text());
  const std::optional<double> number = ReadNumber(box->text());
  if (!number)
    return;
  const double stored = global::ConfigRegisters[size_t(i)];
  if (i == 2) {
    static const std::pair<double, int> layouts[] = {{2, 0}, {4, 1}, {8, 2}, {12, 3}};
    for (auto [count, position] : layouts)
      if (*number == count)
        select_entry(cmb_cfg[2], position);
    marks::Set(cmb_cfg[2], *number != stored);
  } else if ((i >= 8 && i <= 31) || i == 59 || (i >= 61 && i <= 68)) {
    QComboBox* combo = cmb_cfg[size_t(i)];
    const std::optional<int> position = position_of(i == 59 ? *number - 1 : *number, combo);
    if (!position)
      return;
    select_entry(combo, *position);
    marks::Set(combo, *number != stored);
  } else if (i == 33) {
    if (*number < 1) {
      box->setText("5");
      global::AnswerDelay = 5;
    }
    modbus_->AnswerDelayChanged = true;
  }
  // A nested change may have replaced the text; the mark follows what the field shows now.
  const std::optional<double> shown = ReadNumber(box->text());
  marks::Set(box, shown.value_or(*number) != stored);
  func_red_field();
}

void frm_config::txt_data_in_Change(int i)
{
  QLineEdit* box = txt_data_in[size_t(i)];
  const std::optional<double> number = ReadNumber(box->text());
  if (!number)
    return;
  const double stored = global::InputRegisters[size_t(i)];
  if (i == 26 || i == 27) {
    QComboBox* combo = cmb_in[size_t(i)];
    const std::optional<int> position = position_of(*number, combo);
    if (!position)
      return;
    select_entry(combo, *position);
    marks::Set(combo, *number != stored);
  }
  const std::optional<double> shown = ReadNumber(box->text());
  marks::Set(box, shown.value_or(*number) != stored);
  func_red_field();
}

void frm_config::txt_data_out_Change(int i)
{
  if (i != 15 && i != 16)
    return;
  const std::optional<double> number = ReadNumber(txt_data_out[size_t(i)]->text());
  if (!number || *number != fields::RoundHalfEven(*number))
    return;
  const int value = int(*number);
  if (i == 15 && value >= 0 && value <= 7)
    lbl_in_val[15]->setText(global::TextTable[size_t(value)]);
  else if (i == 16 && (value == 0 || value == 1))
    lbl_in_val[16]->setText(global::TextTable[size_t(8 + value)]);
}

void frm_config::chk_cfg_Click(int i)
{
  QCheckBox* box = chk_cfg[size_t(i)];
  const int value = check_value(box);
  if (i >= 24 && i <= 30) {
    QComboBox* combo = cmb_bit_cfg[size_t(i)];
    if (value >= combo->count())
      return;
    select_entry(combo, value);
    const bool changed = combo->currentIndex() != global::ConfigBits[size_t(i)];
    marks::Set(combo, changed);
    marks::Set(box, changed);
  } else {
    marks::Set(box, value != global::ConfigBits[size_t(i)]);
  }
  func_red_field();
}

void frm_config::chk_input_Click(int i)
{
  marks::Set(chk_input[size_t(i)], check_value(chk_input[size_t(i)]) != global::InputBits[size_t(i)]);
  func_red_field();
}

void frm_config::func_red_field()
{
  bool changed = false;
  for (QLineEdit* box : txt_data_cfg)
    changed |= marks::IsSet(box);
  for (QLineEdit* box : txt_data_in)
    changed |= marks::IsSet(box);
  for (QCheckBox* box : chk_input)
    changed |= marks::IsSet(box);
  for (QCheckBox* box : chk_cfg)
    changed |= marks::IsSet(box);

  if (global::DeviceType == 0 && !chk_monitor->isChecked()) {
    // Without an open port there is nobody to read from or write to.
    const bool usable = changed && modbus_->PortOpen();
    cmd_auslesen->setEnabled(usable);
    cmd_paramSchreiben->setEnabled(usable && global::AdminFlag == 1);
    cmd_objektSchreiben->setEnabled(usable && global::AdminFlag == 1);
  } else if (global::DeviceType == 1) {
    if (std::optional<int32_t> state = fields::LampStateAfterMarks(changed, global::LampState)) {
      global::LampState = *state;
      Shape1->SetFillColor(*state == 1 ? QColor(255, 0, 0) : QColor(255, 255, 0));
    }
  }
}

void frm_config::reset_red_field(bool conf, bool reg)
{
  if (conf) {
    for (int i = 0; i < ConfigRegisterCount; ++i) {
      marks::Set(txt_data_cfg[size_t(i)], false);
      if (cmb_cfg[size_t(i)])
        marks::Set(cmb_cfg[size_t(i)], false);
    }
    for (QCheckBox* box : chk_cfg)
      marks::Set(box, false);
  }
  if (reg) {
    for (QLineEdit* box : txt_data_in)
      marks::Set(box, false);
    marks::Set(cmb_in[26], false);
    marks::Set(cmb_in[27], false);
    for (QCheckBox* box : chk_input)
      marks::Set(box, false);
  }
}

// ---------------------------------------------------------------------------------------
// Selection rules

void frm_config::cmb_cfg_Click(int i)
{
  const int position = choice_position(i);
  QLineEdit* partner = txt_data_cfg[size_t(i)];
  if ((i >= 8 && i <= 19) || (i >= 28 && i <= 31)) {
    partner->setText(QString::number(position));
  } else if (i == 2) {
    if (position < 0)
      return;
    partner->setText(QString::number(design::ButtonCounts[position]));
    apply_button_layout(position);
  } else if (i >= 20 && i <= 27) {
    partner->setText(QString::number(position));
    align_led_frames();
  } else if (i == 59) {
    partner->setText(QString::number(position + 1));
    if (position >= 0 && position <= 2) {
      const QStringList texts = design::FanStageTexts(position + 1);
      for (int k = 0; k < texts.size() && k < cmb_in[26]->count(); ++k)
        cmb_in[26]->setItemText(k, texts[k]);
    }
  } else if (i >= 61 && i <= 64) {
    partner->setText(QString::number(position));
    apply_setpoint_unit(i, position);
  } else if (i >= 65 && i <= 68) {
    partner->setText(QString::number(position));
    apply_external_unit(i, position);
  }
}

void frm_config::apply_button_layout(int position)
{
  show_frame("frm_4T_0", position >= 1);
  show_frame("frm_8T_0", position >= 2);
  show_frame("frm_12T", position == 3);
  if (position == 0)
    for (const char* name : {"frm_4T_1", "frm_4T_2", "frm_8T_1", "frm_8T_2", "frm_8T_3", "frm_8T_4"})
      show_frame(name, false);
  else if (position == 1)
    for (const char* name : {"frm_8T_1", "frm_8T_2", "frm_8T_3", "frm_8T_4"})
      show_frame(name, false);
  // LED frames of the buttons the layout has show when their LED is switched by its bit.
  const int last_led = position == 1 ? 23 : position >= 2 ? 27 : 21;
  for (int choice = 22; choice <= last_led; ++choice)
    if (choice_position(choice) == 0)
      show_frame(design::LedFrame(choice), true);
  for (int k = 0; k < 3; ++k)
    for (int p = 0; p < 4; ++p)
      Images[size_t(p)][size_t(k)]->setVisible(p == position);
  for (int b = 0; b < 12; ++b) {
    design::Rect& r = button_twips_[size_t(b)];
    r = design::ButtonIndicatorUnderLayout(position, b, r);
    Lbl_button[size_t(b)]->setGeometry(forms::Px(r.left), forms::Px(r.top), forms::Px(r.width), forms::Px(r.height));
    Lbl_button[size_t(b)]->setVisible(design::ButtonIndicatorVisible(position, b));
  }
}

void frm_config::align_led_frames()
{
  const int layout = choice_position(2);
  int last = 21;
  if (layout >= 1 && layout <= 3)
    last = 23;
  if (layout == 2 || layout == 3)
    last = 27;
  for (int choice = 20; choice <= last; ++choice) {
    const int position = choice_position(choice);
    if (position == 1)
      show_frame(design::LedFrame(choice), false);
    else if (position == 0)
      show_frame(design::LedFrame(choice), true);
  }
}

void frm_config::apply_setpoint_unit(int choice, int position)
{
  const design::SetpointUnits& sp = design::Setpoint(choice - 60);
  auto set_labels = [this, &sp](const QString& relative, const QString& absolute) {
    for (int d : sp.relative)
      lbl_desc[size_t(d)]->setText(relative);
    for (int d : sp.absolute)
      lbl_desc[size_t(d)]->setText(absolute);
  };
  auto set_limits = [this, &sp](double upper, double lower) {
    for (int k = 0; k < 4; ++k) {
      UpDownControl* ud = UpD_txt_cfg[size_t(sp.updowns[k])];
      ud->Max = upper;
      ud->Min = k == 2 ? 0 : lower;
    }
  };
  auto resolution_at_least_one = [this, &sp] {
    QLineEdit* box = txt_data_cfg[size_t(sp.resolution)];
    const std::optional<double> v = ReadNumber(box->text());
    if (v && *v < 1)
      box->setText("1");
  };
  switch (position) {
  case 0:
    set_labels(QString(), QString());
    resolution_at_least_one();
    set_limits(999, -999);
    break;
  case 1:
    set_labels("K", check_value(chk_cfg[24]) == 1 ? u8("°C") : u8("°F"));
    set_limits(100, -100);
    break;
  case 2:
    set_labels("%", "%");
    resolution_at_least_one();
    set_limits(100, -100);
    break;
  default:
    break;
  }
}

void frm_config::apply_external_unit(int choice, int position)
{
  QLabel* label = lbl_desc[size_t(design::ExternalUnitLabel(choice))];
  if (position == 0)
    label->setText(QString());
  else if (position == 1)
    label->setText(check_value(chk_cfg[24]) == 1 ? u8("°C") : u8("°F"));
  else if (position == 2)
    label->setText("%");
}

void frm_config::cmb_bit_cfg_Click(int i)
{
  if (i < 24 || i > 30)
    return;
  const int position = cmb_bit_cfg[size_t(i)]->currentIndex();
  if (position >= 0)
    SetConfigBit(i, position);
  if (i == 24) {
    const QString unit = check_value(chk_cfg[24]) == 1 ? u8("°C") : u8("°F");
    lbl_temp[1]->setText(unit);
    lbl_desc[33]->setText(unit);
    lbl_desc[35]->setText(unit);
    for (int choice = 61; choice <= 68; ++choice)
      cmb_cfg_Click(choice);
  }
}

void frm_config::cmb_in_Click(int i)
{
  if (i == 26 || i == 27)
    txt_data_in[size_t(i)]->setText(QString::number(cmb_in[size_t(i)]->currentIndex()));
}

// ---------------------------------------------------------------------------------------
// Key filters and range checks

void frm_config::txt_data_cfg_KeyPress(int i, int& key)
{
  key = fields::FilterKey(fields::ConfigKeyClass(i), key, txt_data_cfg[size_t(i)]->text());
}

void frm_config::txt_data_in_KeyPress(int i, int& key)
{
  const int unit_switch = rows::InputRegisters()[size_t(i)].unit_switch;
  const std::optional<rows::KeyClass> keys =
      fields::InputKeyClass(i, unit_switch >= 0 ? choice_position(unit_switch) : -1);
  if (keys)
    key = fields::FilterKey(*keys, key, txt_data_in[size_t(i)]->text());
}

namespace {

fields::SetpointUnitPositions setpoint_units(const std::vector<QComboBox*>& cmb_cfg)
{
  return {cmb_cfg[61]->currentIndex(), cmb_cfg[62]->currentIndex(), cmb_cfg[63]->currentIndex(),
          cmb_cfg[64]->currentIndex()};
}

}  // namespace

void frm_config::txt_data_cfg_LostFocus(int i)
{
  QLineEdit* box = txt_data_cfg[size_t(i)];
  if (auto text = fields::ConfigLostFocus(i, box->text(), setpoint_units(cmb_cfg), global::ConfigRegisters[size_t(i)]))
    box->setText(*text);
}

void frm_config::txt_data_in_LostFocus(int i)
{
  QLineEdit* box = txt_data_in[size_t(i)];
  if (auto text = fields::InputLostFocus(i, box->text(), setpoint_units(cmb_cfg), global::InputRegisters[size_t(i)]))
    box->setText(*text);
}

bool frm_config::eventFilter(QObject* watched, QEvent* event)
{
  auto* edit = qobject_cast<QLineEdit*>(watched);
  if (edit && edit == txt_modbAddr && event->type() == QEvent::KeyPress) {
    auto* key_event = static_cast<QKeyEvent*>(event);
    int key = key_event->key() == Qt::Key_Backspace ? fields::KeyBackspace : 0;
    if (key == 0 && !key_event->text().isEmpty())
      key = key_event->text().at(0).unicode();
    if (key == 0)
      return QMainWindow::eventFilter(watched, event);
    txt_modbAddr_KeyPress(key);
    return key == 0;
  }
  if (edit && (event->type() == QEvent::KeyPress || event->type() == QEvent::FocusOut)) {
    const auto cfg = std::find(txt_data_cfg.begin(), txt_data_cfg.end(), edit);
    const auto in = std::find(txt_data_in.begin(), txt_data_in.end(), edit);
    const bool is_cfg = cfg != txt_data_cfg.end();
    const int index = int(is_cfg ? cfg - txt_data_cfg.begin() : in - txt_data_in.begin());
    if (!is_cfg && in == txt_data_in.end())
      return QMainWindow::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut) {
      if (is_cfg)
        txt_data_cfg_LostFocus(index);
      else
        txt_data_in_LostFocus(index);
      return QMainWindow::eventFilter(watched, event);
    }
    // Only typed characters reach the filter; keys without a character (arrows, Delete,
    // Tab) move and edit as usual.
    auto* key_event = static_cast<QKeyEvent*>(event);
    int key = key_event->key() == Qt::Key_Backspace ? fields::KeyBackspace : 0;
    if (key == 0 && !key_event->text().isEmpty())
      key = key_event->text().at(0).unicode();
    if (key == 0)
      return QMainWindow::eventFilter(watched, event);
    if (is_cfg)
      txt_data_cfg_KeyPress(index, key);
    else
      txt_data_in_KeyPress(index, key);
    if (key == 0)
      return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// Up/down stepping

namespace {

double click_step(int i) { return rows::ConfigRegisters()[size_t(i)].click_step; }
double repeat_step(int i) { return rows::ConfigRegisters()[size_t(i)].repeat_step; }

}  // namespace

void frm_config::UpD_txt_cfg_UpClick(int i)
{
  if (auto text = fields::StepUp(txt_data_cfg[size_t(i)]->text(), UpD_txt_cfg[size_t(i)]->Max, click_step(i)))
    txt_data_cfg[size_t(i)]->setText(*text);
}

void frm_config::UpD_txt_cfg_DownClick(int i)
{
  if (auto text = fields::StepDown(txt_data_cfg[size_t(i)]->text(), UpD_txt_cfg[size_t(i)]->Min, click_step(i)))
    txt_data_cfg[size_t(i)]->setText(*text);
}

void frm_config::UpD_txt_cfg_MouseDown(int i, double, double y)
{
  RepeatIndex = i;
  RepeatUp = y < UpD_txt_cfg[size_t(i)]->height() / 2.0;
  timers::EnableTimer(Timer);
}

void frm_config::UpD_txt_cfg_MouseMove(int i, double x, double y)
{
  const UpDownControl* ud = UpD_txt_cfg[size_t(i)];
  if (y > 1.2 * ud->height() || x > 1.2 * ud->width())
    Timer->stop();
}

void frm_config::UpD_txt_cfg_MouseUp(int) { Timer->stop(); }

void frm_config::Timer_Timer()
{
  const int i = int(RepeatIndex);
  if (i < 0 || i >= int(UpD_txt_cfg.size()) || !UpD_txt_cfg[size_t(i)])
    return;
  QLineEdit* box = txt_data_cfg[size_t(i)];
  const UpDownControl* ud = UpD_txt_cfg[size_t(i)];
  const auto text = RepeatUp ? fields::StepUp(box->text(), ud->Max, repeat_step(i))
                             : fields::StepDown(box->text(), ud->Min, repeat_step(i));
  if (text)
    box->setText(*text);
}

// ---------------------------------------------------------------------------------------
// Factory values and clock

void frm_config::func_clear_values()
{
  global::ConfigRegisters.fill(0);
  global::InputRegisters.fill(0);
  global::ConfigBits.fill(0);
  global::InputBits.fill(0);
  global::OutputRegisters.fill(QStringLiteral("0"));
  for (const rows::ConfigRegisterRow& r : rows::ConfigRegisters())
    global::ConfigRegisters[size_t(r.index)] = r.factory;
  for (const rows::BitRow& b : rows::ConfigBits())
    global::ConfigBits[size_t(b.index)] = int16_t(b.factory);
  global::ShowRegisterTables(true, true, *this);
}

void frm_config::func_set_date_time()
{
  const std::array<QString, 6> texts = pc_clock::ClockFieldTexts(pc_clock::Now());
  for (int i : {3, 4, 5, 2, 1, 0})
    txt_data_in[size_t(i)]->setText(texts[size_t(i)]);
}
