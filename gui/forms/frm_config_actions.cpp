// The configuration window's actions on the unit as a whole: read the parameters, write
// the configuration block or the register block, scan the network, choose the destination,
// open the BACnet settings, and the monitor. For a BACnet unit each action is one backend
// job; no two jobs ever overlap, because they share the job file, the log and the value
// files. A Modbus unit starts no backend: its actions go to the Modbus master.
#include "gui/core/backend_runner.h"
#include "gui/core/job_file.h"
#include "gui/core/message_box.h"
#include "gui/core/monitor_cycle.h"
#include "gui/core/program_state.h"
#include "gui/core/timer_switch.h"
#include "gui/forms/frm_bacConfig.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_deviceList.h"
#include "gui/forms/frm_scan.h"
#include "gui/forms/frm_waitRead.h"
#include "gui/forms/window_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

// A job may start only when no backend runs and no monitor cycle waits for one.
bool backend_free(const frm_config* window) { return !shell::IsRunning() && !window->MonitorCycleRunning(); }

}  // namespace

void frm_config::set_action_buttons(bool enabled)
{
  cmd_auslesen->setEnabled(enabled);
  cmd_paramSchreiben->setEnabled(enabled && global::AdminFlag == 1);
  cmd_objektSchreiben->setEnabled(enabled && global::AdminFlag == 1);
  cmd_abbrechen->setEnabled(enabled);
  chk_monitor->setEnabled(enabled);
}

bool frm_config::run_wait_window(bool conf, bool reg, const char* caption)
{
  QPointer<frm_config> self(this);
  auto* wait = new frm_waitRead;
  wait->setWindowTitle(QString::fromUtf8(caption));
  wait->show();
  const bool done = wait->ShowMsg(conf, reg, *this);
  return self && done;
}

void frm_config::cmd_auslesen_Click()
{
  if (global::DeviceType == 0) {
    func_read_out_parameter();
    return;
  }
  if (!backend_free(this) || !global::WriteReadJobs(true, true))
    return;
  QPointer<frm_config> self(this);
  for (QWidget* w : std::initializer_list<QWidget*>{cmd_auslesen, cmd_paramSchreiben, cmd_objektSchreiben,
                                                    cmd_abbrechen, chk_monitor})
    w->setEnabled(false);
  run_wait_window(true, true, "Daten auslesen");
  if (!self)
    return;
  set_action_buttons(true);
}

void frm_config::cmd_paramSchreiben_Click()
{
  if (global::DeviceType == 0)
    modbus_->StartWrite();
  else
    bacnet_write(true, false, "Parameter schreiben");
}

void frm_config::cmd_objektSchreiben_Click()
{
  if (global::DeviceType == 0)
    modbus_->StartWrite();
  else
    bacnet_write(false, true, "Objekte schreiben");
}

void frm_config::bacnet_write(bool conf, bool reg, const char* caption)
{
  if (!backend_free(this))
    return;
  QPointer<frm_config> self(this);
  if (reg)
    func_set_date_time();
  // What the unit held before, so that a failed write leaves the fields marked.
  const auto config_before = global::ConfigRegisters;
  const auto input_before = global::InputRegisters;
  const auto config_bits_before = global::ConfigBits;
  const auto input_bits_before = global::InputBits;
  const auto output_before = global::OutputRegisters;

  global::CollectRegisterTables(conf, reg, *this);
  const bool ready = global::SaveSourceFiles(conf, reg, this) && global::WriteWriteJobs(conf, reg);
  bool done = false;
  if (ready) {
    for (QWidget* w : std::initializer_list<QWidget*>{cmd_auslesen, cmd_paramSchreiben, cmd_objektSchreiben,
                                                      chk_monitor, cmd_abbrechen})
      w->setEnabled(false);
    done = run_wait_window(conf, reg, caption);
    if (!self)
      return;
  }
  if (!done) {
    global::ConfigRegisters = config_before;
    global::InputRegisters = input_before;
    global::ConfigBits = config_bits_before;
    global::InputBits = input_bits_before;
    global::OutputRegisters = output_before;
    // Every field is compared again with what the unit holds.
    if (conf) {
      for (int i = 0; i < ConfigRegisterCount; ++i)
        txt_data_cfg_Change(i);
      for (int i = 0; i < ConfigBitCount; ++i)
        chk_cfg_Click(i);
    }
    if (reg) {
      for (int i = 0; i < InputRegisterTableSize; ++i)
        txt_data_in_Change(i);
      for (int i = 0; i < InputBitCount; ++i)
        chk_input_Click(i);
    }
  }
  set_action_buttons(true);
}

void frm_config::cmd_netzwerkScan_Click()
{
  if (!backend_free(this))
    return;
  frm_scan dialog(this);
  dialog.exec();
}

void frm_config::cmd_zielWaehlen_Click()
{
  if (!global::FileExists(global::ScanResultPath())) {
    MsgBox(QString::fromUtf8("Es konnte keine Geräteliste gefunden werden. Bitte führen Sie zuerst einen "
                             "Netzwerkscan durch!!"));
    return;
  }
  frm_deviceList dialog(this);
  dialog.exec();
}

void frm_config::BacMenuMain_Click(int index)
{
  if (index != 1)
    return;
  frm_bacConfig dialog(this);
  dialog.exec();
}

void frm_config::set_fields_locked(bool locked)
{
  const bool enabled = !locked;
  for (QLineEdit* box : txt_data_cfg)
    box->setEnabled(enabled);
  for (QLineEdit* box : txt_data_in)
    box->setEnabled(enabled);
  for (QCheckBox* box : chk_cfg)
    box->setEnabled(enabled);
  for (QCheckBox* box : chk_input)
    box->setEnabled(enabled);
  for (QComboBox* box : cmb_cfg)
    if (box)
      box->setEnabled(enabled);
  for (QComboBox* box : cmb_bit_cfg)
    if (box)
      box->setEnabled(enabled);
  cmb_in[26]->setEnabled(enabled);
  cmb_in[27]->setEnabled(enabled);
  if (enabled) {
    for (QLineEdit* box : txt_data_out)
      box->setEnabled(true);
    lbl_in_val[15]->setEnabled(true);
    lbl_in_val[16]->setEnabled(true);
  }
}

void frm_config::chk_monitor_Click()
{
  QPointer<frm_config> self(this);
  if (chk_monitor->isChecked()) {
    const bool bacnet = global::DeviceType != 0;
    if (bacnet) {
      timers::EnableTimer(tmr_bacMonitor);
      tmr_bacMonitor->setInterval(monitor::PollIntervalMs(global::BacnetSettings.PollCycle));
    } else {
      modbus_->StartMonitor();
    }
    for (QWidget* w : std::initializer_list<QWidget*>{cmd_abbrechen, cmd_paramSchreiben, cmd_objektSchreiben,
                                                      cmd_auslesen, cmd_netzwerkScan, cmd_zielWaehlen})
      w->setEnabled(false);
    prgB_dummy->setVisible(true);
    if (bacnet && !shell::IsRunning() && monitor_cycle_.Begin()) {
      // The first cycle reads both blocks and shows the register block.
      const bool good = run_monitor_job(true);
      if (!self)
        return;
      monitor_cycle_.End();
      if (good) {
        global::LoadResultFiles(false, true, this);
        global::ShowRegisterTables(false, true, *this);
        Shape1->SetFillColor(QColor(0, 255, 0));
        global::LampState = 0;
      } else {
        Shape1->SetFillColor(QColor(255, 0, 0));
      }
      // Switched off while the first cycle ran: the switch-off has already unlocked.
      if (!chk_monitor->isChecked())
        return;
    }
    set_fields_locked(true);
    return;
  }

  modbus_->StopMonitor();
  if (global::DeviceType != 0) {
    tmr_bacMonitor->stop();
  } else if (modbus_->PortOpen()) {
    cmd_abbrechen->setEnabled(true);
    func_red_field();
  }
  // A Modbus unit behind a closed port offers no action; the port's opening enables them.
  const bool usable = global::DeviceType != 0 || modbus_->PortOpen();
  cmd_abbrechen->setEnabled(usable);
  cmd_paramSchreiben->setEnabled(usable && global::AdminFlag == 1);
  cmd_objektSchreiben->setEnabled(usable && global::AdminFlag == 1);
  cmd_auslesen->setEnabled(usable);
  prgB_dummy->setVisible(false);
  cmd_netzwerkScan->setEnabled(true);
  cmd_zielWaehlen->setEnabled(true);
  set_fields_locked(false);
}

bool frm_config::run_monitor_job(bool conf)
{
  QPointer<QProgressBar> bar(prgB_dummy);
  return global::WriteReadJobs(conf, true) &&
         shell::RunAndWait(global::JobFilePath(), [bar](int v) {
           if (bar)
             bar->setValue(v);
         }) == shell::RunResult::Finished &&
         global::CheckBackendLog() == 1;
}

void frm_config::tmr_bacMonitor_Timer()
{
  // A tick that falls due while a cycle still waits for the backend is skipped.
  if (global::DeviceType == 0 || shell::IsRunning() || !monitor_cycle_.Begin())
    return;
  QPointer<frm_config> self(this);
  const bool good = run_monitor_job(false);
  if (!self)
    return;
  monitor_cycle_.End();
  if (good) {
    global::LoadResultFiles(false, true, this);
    global::ShowRegisterTables(false, true, *this);
  }
}
