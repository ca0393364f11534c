// The configuration window's load, menus, closing, language and the register movers'
// access to its controls. Pages: frm_config_pages.cpp; field handling:
// frm_config_fields.cpp; actions and monitor: frm_config_actions.cpp; the window's side of
// the Modbus master (gui/core/modbus_master): frm_config_modbus.cpp.
#include "gui/forms/frm_config.h"

#include "gui/core/backend_runner.h"
#include "gui/core/bacnet_ini.h"
#include "gui/core/field_rules.h"
#include "gui/core/language_texts.h"
#include "gui/core/local_address.h"
#include "gui/core/program_state.h"
#include "gui/core/register_rows.h"
#include "gui/core/window_design.h"
#include "gui/forms/fAbout.h"
#include "gui/forms/file_dialogs.h"
#include "gui/forms/form_support.h"
#include "gui/forms/frm_UserMng.h"
#include "gui/forms/frm_status.h"
#include "gui/forms/program_exit.h"
#include "gui/forms/window_controls.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

namespace {

QPointer<frm_config>& instance()
{
  static QPointer<frm_config> window;
  return window;
}

QString u8(const char* text) { return QString::fromUtf8(text); }

// Steps of the Modbus write chain: configuration registers, configuration bits, input
// registers, input bits.
bool writes_unit(int32_t step) { return step == 2 || step == 4 || step == 5 || step == 8; }

}  // namespace

frm_config* frm_config::Instance()
{
  if (!instance())
    instance() = new frm_config;
  return instance();
}

frm_config* frm_config::Existing() { return instance(); }

frm_config::frm_config()
{
  setObjectName("frm_config");
  setAttribute(Qt::WA_DeleteOnClose);
  attach_modbus_master();
  build_window();
  Form_Load();
}

frm_config::~frm_config() { delete frmState::Existing(); }

void frm_config::Form_Load()
{
  global::BacnetSettings.LocalIp = net::LocalIpAddress();
  func_clear_values();
  // Centred at its designed size; the window is larger than a form's content would ask for.
  resize(sizeHint());
  if (QScreen* screen = this->screen()) {
    const QRect area = screen->geometry();
    move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
  }
  global::StartRegister = 0;
  cmd_auslesen->setEnabled(false);
  cmd_paramSchreiben->setEnabled(false);
  cmd_objektSchreiben->setEnabled(false);
  chk_monitor->setEnabled(false);

  if (global::DeviceType == 0) {
    const ModbusSettingsT& m = global::ModbusSettings;
    frm_modbus->setVisible(true);
    frm_bacnet->setVisible(false);
    modbus_->PrepareLine();
    lbl_modbAddr->setText("Modbus Adresse");
    txt_modbAddr->setText("1");
    if (m.ComPortNumber >= 1 && m.ComPortNumber <= 12)
      txt_modbComPort->setText(QStringLiteral("COM%1").arg(m.ComPortNumber));
    if (m.ModeFlag == 1)
      txt_modbMode->setText("RTU");
    else if (m.ModeFlag == 0)
      txt_modbMode->setText("ASCII");
    txt_modbBaud->setText(m.BaudRate);
    cmb_modbPort->setItemText(0, "close");
    cmb_modbPort->setItemText(1, "open");
    cmb_modbPort->setCurrentIndex(m.PortOpenWish ? 1 : 0);
    set_menu_enabled(3, false);
    frames["frm_allg_3"]->setVisible(false);
  } else if (global::DeviceType == 1) {
    global::LoadBacnetIni();
    for (int i = 0; i <= 5; ++i)
      txt_data_in[size_t(i)]->setEnabled(true);
    for (int d : {67, 69, 70, 4, 6})
      lbl_desc[size_t(d)]->setVisible(true);
    for (QLabel* extra : clock_separators_)
      extra->setVisible(true);
    for (int i = 0; i <= 5; ++i)
      txt_data_in[size_t(i)]->setVisible(true);
    lbl_desc[16]->setVisible(false);
    lbl_desc[17]->setVisible(false);
    for (int i = 11; i <= 14; ++i) {
      lbl_read_out[size_t(i)]->setVisible(false);
      txt_data_out[size_t(i)]->setVisible(false);
    }
    for (int i : {33, 60}) {
      lbl_cfg[size_t(i)]->setVisible(false);
      txt_data_cfg[size_t(i)]->setVisible(false);
      UpD_txt_cfg[size_t(i)]->setVisible(false);
    }
    Shape1->SetFillColor(QColor(255, 0, 0));
    frm_modbus->setVisible(false);
    frm_bacnet->setVisible(true);
    set_menu_enabled(2, false);
    const BacnetSettingsT& b = global::BacnetSettings;
    txt_bacIp->setText(b.LocalIp);
    txt_bacPort->setText(QString::number(b.UdpPort));
    txt_bacDeviceID->setText(QString::number(b.LocalDeviceId));
    if (b.Link == "BACnet/IP") {
      frm_mstp->setVisible(false);
      frm_ip->setVisible(true);
    } else if (b.Link == "MS/TP") {
      frm_ip->setVisible(false);
      frm_mstp->setVisible(true);
    }
    txt_link->setText(b.Link);
  }

  for (int i = 0; i < global::InputRegisterCount && i < InputRegisterTableSize; ++i) {
    // The leading number of the text with "." as decimal point, 0 when there is none.
    const QString text = txt_data_in[size_t(i)]->text().trimmed();
    int end = 0;
    while (end < text.size() && (text[end].isDigit() || text[end] == '.' || (end == 0 && text[end] == '-')))
      ++end;
    bool ok = false;
    const double value = text.left(end).toDouble(&ok);
    global::InputRegisters[size_t(i)] = ok ? value : 0;
    if (i == 26 || i == 27)
      cmb_in[size_t(i)]->setCurrentIndex(int(global::InputRegisters[size_t(i)]));
  }
  func_set_date_time();
}

// ---------------------------------------------------------------------------------------
// Menus

void frm_config::set_menu_enabled(int index, bool enabled)
{
  // A submenu follows its window's enabled state; switched off on its own, it stays off when
  // the window is enabled again after a status window.
  if (QMenu* menu = MenueMain[size_t(index)]->menu())
    menu->setEnabled(enabled);
  MenueMain[size_t(index)]->setEnabled(enabled);
}

void frm_config::MenueMain_Click(int index)
{
  if (global::AdminFlag != 1) {
    ParMenueMain[2]->setEnabled(false);
    ParMenueMain[3]->setEnabled(false);
  }
  if (index == 4) {
    fAbout about(this);
    about.exec();
  } else if (index == 5) {
    const QString file = forms::OpenFileName(this, "PDF (*.pdf)");
    if (!file.isEmpty())
      QDesktopServices::openUrl(QUrl::fromLocalFile(file));
  }
}

void frm_config::ParMenueMain_Click(int index)
{
  switch (index) {
  case 1:
    func_load_parameters();
    break;
  case 2:
    if (global::AdminFlag != 1)
      ParMenueMain[2]->setEnabled(false);
    else
      func_save_parameters();
    break;
  case 3:
    // Only an administrator manages users, however the item was reached.
    if (global::AdminFlag == 1) {
      frm_UserMng users(this);
      users.exec();
    }
    break;
  case 5:
    stop_timers();
    forms::EndProgram();
    break;
  default:
    break;
  }
}

// ---------------------------------------------------------------------------------------
// Closing

void frm_config::stop_timers()
{
  Timer->stop();
  modbus_->StopTimers();
  tmr_bacMonitor->stop();
}

void frm_config::close_other_forms()
{
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != this && w->isVisible())
      w->close();
}

void frm_config::closeEvent(QCloseEvent* event)
{
  // A Modbus write chain is let finish, so that the unit is never left half-written; its
  // status window says so and ends the program when it closes. A read-out or the monitor
  // stops at once.
  frmState* state = frmState::Existing();
  if (global::DeviceType == 0 && !forms::ProgramEnding() && state && state->Loaded() &&
      writes_unit(global::SequenceStep)) {
    event->ignore();
    end_after_write_ = true;
    state->AnnounceProgramEnd();
    return;
  }
  stop_timers();
  // Closing the main window ends the program; a running job is dealt with first.
  if (shell::IsRunning()) {
    event->ignore();
    forms::EndProgram();
    return;
  }
  close_other_forms();
  QMainWindow::closeEvent(event);
}

// ---------------------------------------------------------------------------------------
// English texts

void frm_config::SetEnglishTexts()
{
  static const forms::Caption kEnglish[] = {
      {"", "ZOR17_RS485 Configuration"},
      {"cmd_netzwerkScan", "Scan network"},
      {"cmd_abbrechen", "Cancel"},
      {"cmd_paramSchreiben", "Parameter Upload"},
      {"cmd_objektSchreiben", "Objects Upload"},
      {"cmd_auslesen", "Parameter Download"},
      {"txt_destDevice", "Choose a device!"},
      {"lbl_link", "Link"},
      {"lbl_destDevice", "Device-ID-Dest."},
      {"lbl_ip", "IP-address"},
      {"lbl_modbAddr", "Modbus address"},
      {"lbl_bacMac", "Mac address"},
      {"frm_ip", "Local parameter"},
      {"frm_mstp", "Local parameter"},
  };
  forms::ApplyCaptions(this, kEnglish);
  cmd_zielWaehlen->setText("Choose Dest.");

  static const char* const menus[] = {nullptr, "File", "Modbus", "BACnet", "About", "Help"};
  for (int i = 1; i <= 5; ++i)
    MenueMain[size_t(i)]->setText(menus[i]);
  static const char* const file_items[] = {nullptr, "Load parameters", "Save parameters", "User", nullptr, "Exit"};
  for (int i : {1, 2, 3, 5})
    ParMenueMain[size_t(i)]->setText(file_items[i]);
  ModbMenuMain1->setText("Settings");
  BacMenuMain1->setText("Settings");
  for (int t = 0; t < design::TabCount; ++t)
    SSTab1->setTabText(t, design::TabCaption(t, true));

  for (const design::FrameDesign& f : design::Frames())
    if (f.caption_en)
      frames[QString::fromLatin1(f.name)]->setTitle(u8(f.caption_en));

  for (const auto& r : rows::ConfigRegisters())
    if (r.caption_en)
      lbl_cfg[size_t(r.index)]->setText(u8(r.caption_en));
  for (const auto& r : rows::OutputRegisters())
    if (r.caption_en)
      lbl_read_out[size_t(r.index)]->setText(u8(r.caption_en));
  for (const auto& r : rows::InputRegisters())
    if (r.caption_en && lbl_data_in[size_t(r.index)])
      lbl_data_in[size_t(r.index)]->setText(u8(r.caption_en));
  for (const auto& r : rows::ConfigBits())
    if (r.caption_en)
      lbl_read_cfg_bit[size_t(r.index)]->setText(u8(r.caption_en));
  for (const auto& r : rows::InputBits())
    if (r.caption_en)
      lbl_read_in_bit[size_t(r.index)]->setText(u8(r.caption_en));
  for (const auto& d : design::DescLabels())
    if (d.text_en)
      lbl_desc[size_t(d.index)]->setText(u8(d.text_en));

  // List entries by index; the selections stay where they are.
  auto replace = [](QComboBox* box, const QStringList& entries) {
    for (int i = 0; i < entries.size() && i < box->count(); ++i)
      box->setItemText(i, entries[i]);
  };
  for (int i = 8; i <= 31; ++i)
    replace(cmb_cfg[size_t(i)], design::ConfigChoices(i, true));
  for (int i = 61; i <= 68; ++i)
    replace(cmb_cfg[size_t(i)], design::ConfigChoices(i, true));
  replace(cmb_in[26], design::InputChoices(26, true));
  replace(cmb_in[27], design::InputChoices(27, true));
  for (int i = 25; i <= 30; ++i)
    replace(cmb_bit_cfg[size_t(i)], design::BitChoices(i, true));
}

// ---------------------------------------------------------------------------------------
// What the register movers need

QString frm_config::ConfigText(int i) const { return txt_data_cfg[size_t(i)]->text(); }
void frm_config::SetConfigText(int i, const QString& text) { txt_data_cfg[size_t(i)]->setText(text); }
QString frm_config::OutputText(int i) const { return txt_data_out[size_t(i)]->text(); }
void frm_config::SetOutputText(int i, const QString& text) { txt_data_out[size_t(i)]->setText(text); }
QString frm_config::InputText(int i) const { return txt_data_in[size_t(i)]->text(); }
void frm_config::SetInputText(int i, const QString& text) { txt_data_in[size_t(i)]->setText(text); }

namespace {

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

void set_check_value(QCheckBox* box, int value)
{
  box->setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

}  // namespace

int frm_config::ConfigBit(int i) const { return check_value(chk_cfg[size_t(i)]); }
void frm_config::SetConfigBit(int i, int value) { set_check_value(chk_cfg[size_t(i)], value); }
int frm_config::InputBit(int i) const { return check_value(chk_input[size_t(i)]); }
void frm_config::SetInputBit(int i, int value) { set_check_value(chk_input[size_t(i)], value); }

void frm_config::SetBitComboIndex(int i, int listIndex)
{
  if (QComboBox* box = cmb_bit_cfg[size_t(i)])
    select_entry(box, listIndex);
}

void frm_config::SetButtonLabel(int i, bool set)
{
  QLabel* label = Lbl_button[size_t(i)];
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, set ? marks::Red : marks::ButtonFace());
  label->setPalette(palette);
}

void frm_config::SetTemperatureCaption(const QString& text) { lbl_temp[0]->setText(text); }
int frm_config::FanStageListIndex() const { return cmb_cfg[59]->currentIndex(); }
void frm_config::SetLampGreen() { Shape1->SetFillColor(QColor(0, 255, 0)); }
