// The configuration window, the program's main window: the parameter pages built from the
// register rows, the device type's communication frame, the actions, menus and timers. Every
// value written into a register control runs its change handling. BACnet actions go through
// the backend; for a Modbus unit the window drives the Modbus master it owns, and the master
// reaches the window's controls through MasterControls. One instance, created on first use;
// user-interface thread only; controls public for the forms.
#pragma once

#include "gui/core/modbus_master.h"
#include "gui/core/monitor_cycle.h"
#include "gui/core/window_design.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class LampShape;
class QAction;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;
class UpDownControl;

class frm_config : public QMainWindow, public modbus::MasterControls {
  Q_OBJECT
public:
  // The one window; created (and loaded) on first use.
  static frm_config* Instance();
  // The window if it is loaded, else null.
  static frm_config* Existing();
  ~frm_config() override;

  // The designed size, 15750 x 10500 twips.
  QSize sizeHint() const override;

  // English captions and list entries, applied once after the load.
  void SetEnglishTexts();

  // Register controls: element i of each array stands for register or bit i; indexes that do
  // not exist hold null.
  std::vector<QLineEdit*> txt_data_cfg, txt_data_in, txt_data_out;
  std::vector<QLabel*> lbl_cfg, lbl_data_in, lbl_read_out, lbl_read_cfg_bit, lbl_read_in_bit;
  std::vector<QComboBox*> cmb_cfg, cmb_bit_cfg, cmb_in;
  std::vector<UpDownControl*> UpD_txt_cfg;
  std::vector<QCheckBox*> chk_cfg, chk_input;
  std::vector<QLabel*> lbl_in_val, lbl_cfg_val, Lbl_button, lbl_temp, Label1, lbl_desc;
  // Image2T, Image4T, Image8T, Image12T, each for the pages k = 0, 1, 2.
  std::array<std::array<QLabel*, 3>, 4> Images{};
  std::map<QString, QGroupBox*> frames;  // every frame of the pages by object name
  QTabWidget* SSTab1 = nullptr;

  // Communication frames.
  QGroupBox *frm_bacnet = nullptr, *frm_modbus = nullptr, *frm_ip = nullptr, *frm_mstp = nullptr;
  QPushButton *cmd_netzwerkScan = nullptr, *cmd_zielWaehlen = nullptr;
  QLineEdit *txt_destDevice = nullptr, *txt_link = nullptr;
  QLineEdit *txt_bacDeviceID = nullptr, *txt_bacPort = nullptr, *txt_bacIp = nullptr;
  QLineEdit *txt_bacComPort = nullptr, *txt_bacBaudrate = nullptr, *txt_bacMac = nullptr;
  QLineEdit *txt_modbComPort = nullptr, *txt_modbBaud = nullptr, *txt_modbMode = nullptr, *txt_modbAddr = nullptr;
  QComboBox* cmb_modbPort = nullptr;
  QLabel *lbl_modbAddr = nullptr, *lbl_link = nullptr, *lbl_destDevice = nullptr, *lbl_ip = nullptr,
         *lbl_bacMac = nullptr;

  // Action frame.
  QGroupBox* Frm_read = nullptr;
  QPushButton *cmd_auslesen = nullptr, *cmd_paramSchreiben = nullptr, *cmd_objektSchreiben = nullptr,
              *cmd_abbrechen = nullptr;
  QCheckBox* chk_monitor = nullptr;
  LampShape* Shape1 = nullptr;
  QProgressBar* prgB_dummy = nullptr;

  // Menus: MenueMain 1..5 and their items (index 0 unused).
  std::array<QAction*, 6> MenueMain{};
  std::array<QAction*, 6> ParMenueMain{};
  QAction* ModbMenuMain1 = nullptr;
  QAction* BacMenuMain1 = nullptr;

  // Timers as designed that are not the Modbus master's; both start switched off.
  QTimer *Timer = nullptr, *tmr_bacMonitor = nullptr;

  // The Modbus master, with its timers and the serial-port control MSComm1.
  modbus::Master& Modbus() { return *modbus_; }
  // Makes the serial line of windows created from now on; without one they get an MSComm.
  using SerialLineFactory = std::function<std::unique_ptr<mscomm::SerialLine>()>;
  static void SetSerialLineFactory(SerialLineFactory factory);

  // Form variables.
  double RepeatIndex = 0;
  bool RepeatUp = false;

  // RegisterControls: the register movers reach the window through these.
  QString ConfigText(int index) const override;
  void SetConfigText(int index, const QString& text) override;
  QString OutputText(int index) const override;
  void SetOutputText(int index, const QString& text) override;
  QString InputText(int index) const override;
  void SetInputText(int index, const QString& text) override;
  int ConfigBit(int index) const override;
  void SetConfigBit(int index, int value) override;
  void chk_cfg_Click(int index) override;
  void SetBitComboIndex(int index, int listIndex) override;
  int InputBit(int index) const override;
  void SetInputBit(int index, int value) override;
  void SetButtonLabel(int index, bool set) override;
  void SetTemperatureCaption(const QString& text) override;
  int FanStageListIndex() const override;
  void SetLampGreen() override;
  void reset_red_field(bool conf, bool reg) override;
  void func_red_field() override;

  // Change handling of the register controls.
  void txt_data_cfg_Change(int index);
  void txt_data_in_Change(int index);
  void txt_data_out_Change(int index);
  void chk_input_Click(int index);
  // Selection rules of the choice boxes.
  void cmb_cfg_Click(int index);
  void cmb_bit_cfg_Click(int index);
  void cmb_in_Click(int index);
  // Key filters (the key code is passed back; 0 discards it) and range checks on leaving.
  void txt_data_cfg_KeyPress(int index, int& keyAscii);
  void txt_data_in_KeyPress(int index, int& keyAscii);
  void txt_data_cfg_LostFocus(int index);
  void txt_data_in_LostFocus(int index);
  // Up/down stepping and its auto-repeat.
  void UpD_txt_cfg_UpClick(int index);
  void UpD_txt_cfg_DownClick(int index);
  void UpD_txt_cfg_MouseDown(int index, double x, double y);
  void UpD_txt_cfg_MouseMove(int index, double x, double y);
  void UpD_txt_cfg_MouseUp(int index);
  void Timer_Timer();
  // Factory values and the PC's clock.
  void func_clear_values();
  void func_set_date_time();

  // Actions.
  void cmd_auslesen_Click();
  void cmd_paramSchreiben_Click();
  void cmd_objektSchreiben_Click();
  void cmd_netzwerkScan_Click();
  void cmd_zielWaehlen_Click();
  void chk_monitor_Click();
  void tmr_bacMonitor_Timer();
  // Parameter text files.
  void func_save_parameters();
  void func_load_parameters();
  // Menus.
  void MenueMain_Click(int index);
  void ParMenueMain_Click(int index);
  void ModbMenuMain_Click(int index);
  void BacMenuMain_Click(int index);
  // The status window of a Modbus transfer, this window disabled meanwhile.
  void ShowMsgWindow() override;

  // Modbus: the port selector, the address field, the read-out and the cancel button.
  void cmb_modbPort_Click(int listIndex);
  void txt_modbAddr_KeyPress(int& keyAscii);
  void func_read_out_parameter();
  void cmd_abbrechen_Click();
  // True once the close box was used during a Modbus write chain: the program ends when the
  // chain's status window closes, or, when the line is lost or the unit falls silent, once the
  // user has been told.
  bool EndsAfterWrite() const { return end_after_write_; }

  // True while a BACnet monitor cycle waits for the backend.
  bool MonitorCycleRunning() const { return monitor_cycle_.Running(); }

protected:
  frm_config();
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void Form_Load();
  void set_menu_enabled(int index, bool enabled);
  // Page building from the row and design tables.
  void build_window();
  QWidget* build_pages();
  QGroupBox* build_frame(const QString& name);
  void add_line(QGroupBox* frame, QGridLayout* grid, int row, const design::Entry& line, bool paired);
  void build_frame2(QGroupBox* frame);
  QWidget* build_picture_set(int k, QWidget* parent);
  QWidget* build_side_panel();
  void build_menus();
  void build_timers();
  void connect_fields();

  // Selection-rule helpers.
  void apply_button_layout(int position);
  void align_led_frames();
  void apply_setpoint_unit(int choice, int position);
  void apply_external_unit(int choice, int position);
  int choice_position(int index) const;
  void show_frame(const char* name, bool visible);
  void select_entry(QComboBox* box, int position);

  // BACnet actions.
  void set_action_buttons(bool enabled);
  void set_fields_locked(bool locked);
  void bacnet_write(bool conf, bool reg, const char* caption);
  bool run_wait_window(bool conf, bool reg, const char* caption);
  // One monitor cycle's job (both blocks with `conf`, else the register block) run with the
  // progress bar; true when the backend finished it and its log reports success.
  bool run_monitor_job(bool conf);
  void close_other_forms();
  // Every timer of the window and of the Modbus master.
  void stop_timers();

  // The Modbus master and what it reaches of the window.
  void attach_modbus_master();
  QString SlaveAddressText() const override;
  void SetAddressEditable(bool editable) override;
  QWidget* marked_control(modbus::Mark control, int index) const;
  bool IsMarked(modbus::Mark control, int index) const override;
  void SetMarked(modbus::Mark control, int index, bool changed) override;
  void SetLayoutChoiceBlack() override;
  void ShowLinkOpen() override;
  void ShowLinkClosed() override;
  void ShowPortChoiceClosed() override;
  void ShowCommunicationProblem(bool shown) override;
  void LinkLost() override;
  void LinkLossReported() override;
  // The write chain the close box waits for has stopped (the line lost, the unit silent): the
  // status window is cancelled and the end waits until the user has been told why. Each hold is
  // released by one end_after_report; reports may nest, and the end comes with the last.
  void hold_end_for_report();
  void end_after_report();

  monitor::CycleGuard monitor_cycle_;
  std::unique_ptr<modbus::Master> modbus_;
  bool port_choice_changed_ = false;
  bool lamp_shows_lost_port_ = false;
  bool end_after_write_ = false;
  bool end_after_report_ = false;
  int open_reports_ = 0;  // messages between hold_end_for_report and end_after_report
  std::vector<QLabel*> clock_separators_;
  std::array<design::Rect, 12> button_twips_{};  // Lbl_button geometry in design units
};
