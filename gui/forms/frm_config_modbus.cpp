// The configuration window's side of the Modbus master: the port selector and the address
// field, the buttons that start a read-out, the status window, and what the window shows of
// the link (the lamp, the action buttons, the communication-problem label). The master itself
// (gui/core/modbus_master) sends, receives and chains the requests; it reaches the window's
// controls through the MasterControls the window implements here.
#include "gui/core/field_rules.h"
#include "gui/core/message_box.h"
#include "gui/core/program_state.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_modbusConfig.h"
#include "gui/forms/frm_status.h"
#include "gui/forms/program_exit.h"
#include "gui/forms/window_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <utility>

namespace {

frm_config::SerialLineFactory& line_factory()
{
  static frm_config::SerialLineFactory factory;
  return factory;
}

}  // namespace

void frm_config::SetSerialLineFactory(SerialLineFactory factory) { line_factory() = std::move(factory); }

void frm_config::attach_modbus_master()
{
  modbus_ = std::make_unique<modbus::Master>(*this, line_factory() ? line_factory()() : nullptr, this);
}

// ---------------------------------------------------------------------------------------
// Serial link

void frm_config::cmb_modbPort_Click(int listIndex) { modbus_->SelectPort(listIndex); }

void frm_config::txt_modbAddr_KeyPress(int& keyAscii)
{
  if ((keyAscii >= '0' && keyAscii <= '9') || keyAscii == fields::KeyBackspace)
    return;
  keyAscii = 0;
}

QString frm_config::SlaveAddressText() const { return txt_modbAddr->text(); }

void frm_config::SetAddressEditable(bool editable) { txt_modbAddr->setEnabled(editable); }

void frm_config::ShowLinkOpen()
{
  if (std::exchange(lamp_shows_lost_port_, false))
    Shape1->SetFillColor(QColor(255, 255, 0));
  chk_monitor->setEnabled(true);
  func_red_field();
  cmd_abbrechen->setEnabled(true);
  lbl_desc[30]->setEnabled(true);
}

void frm_config::ShowLinkClosed()
{
  for (QWidget* w : std::initializer_list<QWidget*>{cmd_abbrechen, cmd_paramSchreiben, cmd_objektSchreiben,
                                                   cmd_auslesen, chk_monitor})
    w->setEnabled(false);
  chk_monitor->setChecked(false);
  lbl_desc[30]->setEnabled(false);
}

void frm_config::ShowPortChoiceClosed()
{
  const QSignalBlocker quiet(cmb_modbPort);
  cmb_modbPort->setCurrentIndex(0);
}

void frm_config::ShowCommunicationProblem(bool shown)
{
  lbl_desc[7]->setVisible(shown);
  if (shown) {
    for (QWidget* w : std::initializer_list<QWidget*>{chk_monitor, cmd_abbrechen, cmd_paramSchreiben,
                                                      cmd_objektSchreiben, cmd_auslesen})
      w->setEnabled(false);
    // The label would go with the window: a write the close box waits for is given up, and the
    // user reads the label's text before the end.
    if (end_after_write_) {
      hold_end_for_report();
      MsgBox(lbl_desc[7]->text());
      end_after_report();
    }
    return;
  }
  chk_monitor->setEnabled(true);
  if (!chk_monitor->isChecked()) {
    cmd_abbrechen->setEnabled(true);
    func_red_field();
  }
}

void frm_config::LinkLost()
{
  hold_end_for_report();
  Shape1->SetFillColor(QColor(255, 0, 0));
  lamp_shows_lost_port_ = true;
}

void frm_config::LinkLossReported() { end_after_report(); }

void frm_config::hold_end_for_report()
{
  // An end the close box asked for waits until the user has read why the write stopped: the
  // status window's closing must not end the program under the message. A second failure can
  // be reported while the first one's message is open (the adapter pulled under the silent
  // unit's message); the end stays held and comes after the last of them.
  end_after_report_ |= std::exchange(end_after_write_, false);
  ++open_reports_;
  if (frmState* state = frmState::Existing(); state && state->Loaded())
    state->Abbruch_Click();
}

void frm_config::end_after_report()
{
  if (--open_reports_ == 0 && std::exchange(end_after_report_, false))
    forms::EndProgram();
}

// ---------------------------------------------------------------------------------------
// Request sequences

void frm_config::func_read_out_parameter() { modbus_->func_read_out_parameter(); }

void frm_config::cmd_abbrechen_Click()
{
  if (global::DeviceType != 0)
    global::ShowRegisterTables(true, true, *this);
  else
    func_read_out_parameter();
}

void frm_config::ShowMsgWindow()
{
  setEnabled(false);
  frmState* state = frmState::Instance();
  state->ShowMsg();
  frmState::Instance()->show();
}

// ---------------------------------------------------------------------------------------
// Change marks and the answers' colours

QWidget* frm_config::marked_control(modbus::Mark control, int i) const
{
  const auto at = [i](const auto& array) -> QWidget* {
    return i >= 0 && size_t(i) < array.size() ? array[size_t(i)] : nullptr;
  };
  switch (control) {
  case modbus::Mark::ConfigText: return at(txt_data_cfg);
  case modbus::Mark::ConfigChoice: return at(cmb_cfg);
  case modbus::Mark::ConfigBit: return at(chk_cfg);
  case modbus::Mark::BitChoice: return at(cmb_bit_cfg);
  case modbus::Mark::InputText: return at(txt_data_in);
  case modbus::Mark::InputChoice: return at(cmb_in);
  case modbus::Mark::InputBit: return at(chk_input);
  }
  return nullptr;
}

bool frm_config::IsMarked(modbus::Mark control, int index) const
{
  return marks::IsSet(marked_control(control, index));
}

void frm_config::SetMarked(modbus::Mark control, int index, bool changed)
{
  marks::Set(marked_control(control, index), changed);
}

void frm_config::SetLayoutChoiceBlack()
{
  QPalette palette = cmb_cfg[2]->palette();
  for (QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
    palette.setColor(role, Qt::black);
  cmb_cfg[2]->setPalette(palette);
}

// ---------------------------------------------------------------------------------------
// Modbus menu

void frm_config::ModbMenuMain_Click(int index)
{
  if (index != 1)
    return;
  frm_modbConfig dialog(this);
  dialog.exec();
}
