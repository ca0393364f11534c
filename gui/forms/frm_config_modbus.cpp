// The configuration window as Modbus master of the room unit: opening and closing the
// serial port, framing and sending the request of the current step, polling and checking
// the answers, decoding them into the fields and the register image, and the end actions
// that move each read-out and write chain on. One request is outstanding at a time
// (global::ReadyFlag); the request timers send only while it is set. Everything runs on the
// user-interface thread inside timer and button events.
#include "gui/core/field_rules.h"
#include "gui/core/message_box.h"
#include "gui/core/modbus_decode.h"
#include "gui/core/modbus_frame.h"
#include "gui/core/modbus_request.h"
#include "gui/core/modbus_timing.h"
#include "gui/core/program_state.h"
#include "gui/core/registry.h"
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
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

using fields::ReadNumber;

namespace {

frm_config::SerialLineFactory& line_factory()
{
  static frm_config::SerialLineFactory factory;
  return factory;
}

// The device of COMn as the machine's settings name it ("Ports" key, value "COMn").
QString stored_port_path(int number)
{
  return CRegistry().MachineSetting(QString::fromLatin1(ProgramRegistryKey) + "Ports",
                                    QStringLiteral("COM%1").arg(number));
}

// Register addresses of the unit's map.
constexpr int kAnswerDelayRegister = 0x0021;
constexpr int kOutputRegisterStart = 0x0100;
constexpr int kInputRegisterStart = 0x0200;
constexpr int kInputRegisterEnd = 0x021C;  // one past input register 27
constexpr int kInputRegisterReadStart = 0x0207;
constexpr int kInputBitStart = 0x0100;
constexpr int kConfigWriteEnd = 60;  // registers 0..59 are written

int16_t to_int16(double value)
{
  return int16_t(std::clamp(fields::RoundHalfEven(value), -32768.0, 32767.0));
}

void set_text_colour(QWidget* control, const QColor& colour)
{
  QPalette palette = control->palette();
  for (QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
    palette.setColor(role, colour);
  control->setPalette(palette);
}

}  // namespace

void frm_config::SetSerialLineFactory(SerialLineFactory factory) { line_factory() = std::move(factory); }

void frm_config::attach_serial_line()
{
  if (line_factory())
    serial_line_ = line_factory()();
  if (!serial_line_)
    serial_line_ = std::make_unique<mscomm::MSComm>(stored_port_path);
  MSComm1 = serial_line_.get();
  MSComm1->SetLostHandler([this](int error) { port_lost(error); });
}

// ---------------------------------------------------------------------------------------
// Serial link

void frm_config::cmb_modbPort_Click(int listIndex)
{
  ModbusSettingsT& m = global::ModbusSettings;
  m.Parity = "N";
  m.StopBits = "1";
  if (m.ModeFlag == 0) {
    m.ModeText = "ASCII";
    m.DataBits = "7";
    MSComm1->SetInputMode(0);
    Timer4->setInterval(100);
  } else if (m.ModeFlag == 1) {
    m.ModeText = "RTU";
    m.DataBits = "8";
    MSComm1->SetInputMode(1);
    Timer4->setInterval(50);
  }
  if (listIndex >= 0)
    m.PortOpenWish = listIndex != 0;
  txt_modbAddr->setEnabled(!m.PortOpenWish);

  int error = mscomm::kNoError;
  if (MSComm1->CommPort() != m.ComPortNumber) {
    if (MSComm1->PortOpen())
      error = MSComm1->SetPortOpen(false);
    if (error == mscomm::kNoError)
      error = MSComm1->SetCommPort(m.ComPortNumber);
  }
  if (error == mscomm::kNoError)
    error = MSComm1->SetSettings(m.BaudRate + ',' + m.Parity + ',' + m.DataBits + ',' + m.StopBits);
  if (error == mscomm::kNoError && MSComm1->PortOpen() != m.PortOpenWish)
    error = MSComm1->SetPortOpen(m.PortOpenWish);
  if (error != mscomm::kNoError) {
    close_port_after_error(error);
    return;
  }

  if (MSComm1->PortOpen()) {
    if (std::exchange(lamp_shows_lost_port_, false))
      Shape1->SetFillColor(QColor(255, 255, 0));
    forms::EnableTimer(Timer4);
    global::SequenceStep = 6;
    chk_monitor->setEnabled(true);
    func_red_field();
    cmd_abbrechen->setEnabled(true);
    lbl_desc[30]->setEnabled(true);
    port_message_shown_ = false;
    const QString address = slave_field();
    if (!address.isEmpty()) {
      global::StartRegister = 33;
      global::RequestHex = modbus::read_request(address, modbus::kReadHoldingRegisters, kAnswerDelayRegister, 1);
      send();
      global::ReadyFlag = false;
    }
  } else {
    link_closed();
  }
  collector_.Reset();
}

void frm_config::close_port_after_error(int error)
{
  global::ModbusSettings.PortOpenWish = false;
  if (MSComm1->PortOpen())
    MSComm1->SetPortOpen(false);
  {
    const QSignalBlocker quiet(cmb_modbPort);
    cmb_modbPort->setCurrentIndex(0);
  }
  txt_modbAddr->setEnabled(true);
  link_closed();
  collector_.Reset();
  const QString reason = mscomm::error_reason(error);
  MsgBox(QStringLiteral("COM-Port not available,  %1").arg(error) + (reason.isEmpty() ? QString() : "\r\n" + reason));
}

void frm_config::port_lost(int error)
{
  // Nothing goes on sending into a line that is gone, nor waits for its answer.
  StopRequestTimers();
  Timer5->stop();
  // An end the close box asked for waits until the user has read why the write stopped: the
  // status window's closing must not end the program under the message.
  const bool end_program = std::exchange(end_after_write_, false);
  if (frmState* state = frmState::Existing(); state && state->Loaded())
    state->Abbruch_Click();
  Shape1->SetFillColor(QColor(255, 0, 0));
  lamp_shows_lost_port_ = true;
  close_port_after_error(error);
  if (end_program)
    forms::EndProgram();
}

void frm_config::link_closed()
{
  for (QWidget* w : std::initializer_list<QWidget*>{cmd_abbrechen, cmd_paramSchreiben, cmd_objektSchreiben,
                                                   cmd_auslesen, chk_monitor})
    w->setEnabled(false);
  Timer4->stop();
  chk_monitor->setChecked(false);
  lbl_desc[30]->setEnabled(false);
  awaiting_answer_ = false;
}

void frm_config::txt_modbAddr_KeyPress(int& keyAscii)
{
  if ((keyAscii >= '0' && keyAscii <= '9') || keyAscii == fields::KeyBackspace)
    return;
  keyAscii = 0;
}

QString frm_config::slave_field() const
{
  if (!modbus::slave_address(txt_modbAddr->text()))
    return QString();
  return modbus::address_field(txt_modbAddr->text().trimmed());
}

bool frm_config::may_send() const { return global::ReadyFlag && !slave_field().isEmpty(); }

void frm_config::send()
{
  if (!MSComm1->PortOpen()) {
    // Timers go on ticking behind a message box; the user hears of it once per sequence.
    if (!std::exchange(port_message_shown_, true))
      MsgBox("Port ist nicht geöffnet");
    return;
  }
  const QString& mode = global::ModbusSettings.ModeText;
  QByteArray frame;
  if (mode == "ASCII")
    frame = modbus::ascii_frame(global::RequestHex);
  else if (mode == "RTU")
    frame = modbus::rtu_frame(global::RequestHex);
  else
    return;
  // A write the line refuses goes unanswered, and the time-out reports it.
  MSComm1->Output(frame);
  awaiting_answer_ = true;
  forms::EnableTimer(Timer5);
}

void frm_config::Timer4_Timer()
{
  if (MSComm1->InBufferCount() >= 1)
    func_receive_answer();
}

void frm_config::Timer5_Timer()
{
  answer_timed_out_ = true;
  lbl_desc[7]->setVisible(true);
  for (QWidget* w : std::initializer_list<QWidget*>{chk_monitor, cmd_abbrechen, cmd_paramSchreiben,
                                                   cmd_objektSchreiben, cmd_auslesen})
    w->setEnabled(false);
}

void frm_config::StopRequestTimers()
{
  Timer1->stop();
  Timer2->stop();
  Timer6->stop();
}

bool frm_config::ModbusSequenceBusy() const
{
  // A silent unit, a closed port or no address: nothing will move on.
  if (answer_timed_out_ || !MSComm1->PortOpen() || slave_field().isEmpty())
    return false;
  if (awaiting_answer_)
    return global::SequenceStep != 0;
  const bool timer_running = Timer1->isActive() || Timer2->isActive() || Timer6->isActive();
  return timer_running && global::ReadyFlag;
}

// ---------------------------------------------------------------------------------------
// Request sequences

void frm_config::modbus_read_parameters() { func_read_out_parameter(); }

void frm_config::func_read_out_parameter()
{
  port_message_shown_ = false;
  global::SequenceStep = 1;
  global::ReadyFlag = true;
  global::StartRegister = 0;
  forms::EnableTimer(Timer6);
  ShowMsgWindow();
}

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

void frm_config::Timer6_Timer()
{
  if (!may_send())
    return;
  global::RequestHex = modbus::read_request(slave_field(), modbus::kReadHoldingRegisters, global::StartRegister,
                                            modbus::kConfigBlockSize);
  send();
  global::ReadyFlag = false;
}

void frm_config::Timer7_Timer()
{
  global::SequenceStep = 1;
  global::ReadyFlag = true;
  global::StartRegister = kOutputRegisterStart;
  if (!may_send())
    return;
  global::RequestHex = modbus::read_request(slave_field(), modbus::kReadHoldingRegisters, kOutputRegisterStart,
                                            OutputRegisterCount);
  send();
  global::ReadyFlag = false;
}

void frm_config::Timer1_Timer()
{
  if (!may_send())
    return;
  std::vector<QString> values;
  for (int k = global::StartRegister; k < global::StartRegister + modbus::kConfigBlockSize; ++k) {
    double v = 0;
    if (k >= 0 && k < ConfigRegisterCount)
      v = ReadNumber(txt_data_cfg[size_t(k)]->text()).value_or(global::ConfigRegisters[size_t(k)]);
    // These registers are shown with one decimal and travel in tenths.
    if (k >= 34 && k <= 42)
      v *= 10;
    values.push_back(modbus::register_hex(int64_t(fields::RoundHalfEven(std::clamp(v, -1e15, 1e15)))));
  }
  global::RequestHex = modbus::write_registers_request(slave_field(), global::StartRegister, values);
  send();
  global::ReadyFlag = false;
}

void frm_config::Timer2_Timer()
{
  // Also the step over an unchanged register waits while a request is outstanding: its
  // answer moves the counter on, and a second step would pass a changed register by.
  if (!may_send())
    return;
  const int i = global::StartRegister - kInputRegisterStart;
  if (i < 0 || i >= InputRegisterTableSize) {
    Timer2->stop();
    return;
  }
  QLineEdit* box = txt_data_in[size_t(i)];
  if (!marks::IsSet(box)) {
    global::StartRegister = int16_t(global::StartRegister + 1);
    if (global::StartRegister >= kInputRegisterEnd)
      input_register_write_done();
    return;
  }
  marks::Set(box, false);
  QString value;
  if (i <= 6) {
    // The clock registers hold their digits as they are shown.
    value = modbus::hex_field(box->text());
  } else {
    double v = ReadNumber(box->text()).value_or(global::InputRegisters[size_t(i)]);
    if (modbus::input_in_tenths(i))
      v *= 10;
    value = modbus::register_hex(int64_t(fields::RoundHalfEven(std::clamp(v, -1e15, 1e15))));
  }
  global::RequestHex = modbus::write_registers_request(slave_field(), global::StartRegister, {value});
  send();
  global::ReadyFlag = false;
}

void frm_config::func_read_cfg_bits()
{
  global::SequenceStep = 3;
  global::StartRegister = 0;
  global::ReadyFlag = true;
  if (!may_send())
    return;
  global::RequestHex = modbus::read_request(slave_field(), modbus::kReadCoils, 0, ConfigBitCount);
  send();
  global::ReadyFlag = false;
}

void frm_config::func_write_cfg_bits()
{
  global::ReadyFlag = true;
  global::SequenceStep = 4;
  if (!may_send())
    return;
  std::vector<int> bits;
  for (int k = 0; k < ConfigBitCount; ++k)
    bits.push_back(ConfigBit(k));
  global::RequestHex = modbus::write_coils_request(slave_field(), 0, bits);
  send();
  global::ReadyFlag = false;
}

void frm_config::func_write_input_bits()
{
  global::ReadyFlag = true;
  global::SequenceStep = 8;
  if (!may_send())
    return;
  std::vector<int> bits;
  for (int k = 0; k < InputBitCount; ++k)
    bits.push_back(InputBit(k));
  global::RequestHex = modbus::write_coils_request(slave_field(), kInputBitStart, bits);
  send();
  global::ReadyFlag = false;
}

void frm_config::func_read_input_registers()
{
  global::SequenceStep = 7;
  if (!may_send())
    return;
  global::RequestHex = modbus::read_request(slave_field(), modbus::kReadHoldingRegisters, kInputRegisterReadStart,
                                            InputRegisterTableSize - 7);
  send();
  global::ReadyFlag = false;
}

void frm_config::func_read_input_bits()
{
  global::SequenceStep = 9;
  if (!may_send())
    return;
  global::RequestHex = modbus::read_request(slave_field(), modbus::kReadCoils, kInputBitStart, InputBitCount);
  send();
  global::ReadyFlag = false;
}

// ---------------------------------------------------------------------------------------
// Answers

void frm_config::func_receive_answer()
{
  const QString& mode = global::ModbusSettings.ModeText;
  if (mode != "RTU" && mode != "ASCII")
    return;
  collector_.SetAddress(modbus::slave_address(txt_modbAddr->text()));
  const QByteArray data = MSComm1->Input();
  const modbus::Intake intake = mode == "RTU" ? collector_.TakeRtu(data) : collector_.TakeAscii(data);
  // A frame with a bad check sum, or an exception answer, counts as no answer: the request
  // stays outstanding and the time-out reports it.
  if (!intake.complete)
    return;
  awaiting_answer_ = false;
  undo_timeout_display();
  global::AnswerHex = intake.answer_hex;
  global::ReadyFlag = true;
  dispatch_answer();
}

void frm_config::undo_timeout_display()
{
  Timer5->stop();
  answer_timed_out_ = false;
  lbl_desc[7]->setVisible(false);
  chk_monitor->setEnabled(true);
  if (!chk_monitor->isChecked()) {
    cmd_abbrechen->setEnabled(true);
    func_red_field();
  }
}

void frm_config::dispatch_answer()
{
  switch (global::SequenceStep) {
  case 1:
    if (global::StartRegister < kOutputRegisterStart) {
      decode_config_block();
      end_config_block();
    } else {
      decode_output_registers();
      global::StartRegister = int16_t(global::StartRegister + 10);
    }
    break;
  case 2:
    end_config_write();
    break;
  case 3:
    decode_config_bits();
    func_read_input_registers();
    global::ReadyFlag = true;
    break;
  case 4:
    end_config_bits_write();
    break;
  case 5:
    end_input_register_write();
    break;
  case 6:
    end_connection_test();
    break;
  case 7:
    decode_input_registers();
    global::AnswerHex.clear();
    func_read_input_bits();
    global::ReadyFlag = true;
    break;
  case 8:
    end_input_bits_write();
    break;
  case 9:
    decode_input_bits();
    global::ReadyFlag = true;
    break;
  default:
    global::ReadyFlag = true;
    break;
  }
}

void frm_config::decode_config_block()
{
  for (const modbus::RegisterValue& rv : modbus::config_block(global::AnswerHex, global::StartRegister)) {
    const int r = rv.index;
    QLineEdit* box = txt_data_cfg[size_t(r)];
    box->setText(fields::NumberText(rv.value));
    // What the field shows after its change handling (register 33 below 1 becomes 5).
    global::ConfigRegisters[size_t(r)] = ReadNumber(box->text()).value_or(rv.value);
    marks::Set(box, false);
    if (r == 2)
      set_text_colour(cmb_cfg[2], Qt::black);
    else if ((r >= 8 && r <= 31) || r == 59)
      marks::Set(cmb_cfg[size_t(r)], false);
  }
}

void frm_config::decode_output_registers()
{
  const std::array<double, OutputRegisterCount> values = modbus::output_registers(global::AnswerHex);
  for (int n = 0; n < OutputRegisterCount; ++n)
    txt_data_out[size_t(n)]->setText(fields::NumberText(values[size_t(n)]));
  lbl_temp[0]->setText(txt_data_out[2]->text());
  const std::array<bool, 12> lit = modbus::button_indicators(int64_t(values[0]));
  for (int j = 0; j < 12; ++j)
    SetButtonLabel(j, lit[size_t(j)]);
}

void frm_config::decode_input_registers()
{
  for (const modbus::RegisterValue& rv : modbus::input_registers(global::AnswerHex)) {
    QLineEdit* box = txt_data_in[size_t(rv.index)];
    box->setText(fields::NumberText(rv.value));
    marks::Set(box, false);
    global::InputRegisters[size_t(rv.index)] = ReadNumber(box->text()).value_or(rv.value);
  }
  marks::Set(cmb_in[26], false);
  marks::Set(cmb_in[27], false);
}

void frm_config::decode_config_bits()
{
  const std::vector<int> bits = modbus::coil_bits(global::AnswerHex, ConfigBitCount);
  for (int m = 0; m < ConfigBitCount / 8; ++m) {
    for (int j = 0; j < 8; ++j) {
      const int k = 8 * m + 7 - j;
      const int bit = bits[size_t(k)];
      // The image first, so the box's click handling finds it unchanged.
      global::ConfigBits[size_t(k)] = int16_t(bit);
      SetConfigBit(k, bit);
      if (bit == 0 && k >= 24 && k <= 29)
        SetBitComboIndex(k, ConfigBit(k));
      if (k >= 24 && k <= 29)
        marks::Set(cmb_bit_cfg[size_t(k)], false);
      marks::Set(chk_cfg[size_t(k)], false);
      global::ConfigBits[size_t(k)] = int16_t(ConfigBit(k));
    }
  }
}

void frm_config::decode_input_bits()
{
  const std::vector<int> bits = modbus::coil_bits(global::AnswerHex, InputBitCount);
  for (int m = 0; m < InputBitCount / 8; ++m) {
    for (int j = 0; j < 8; ++j) {
      const int k = 8 * m + 7 - j;
      global::InputBits[size_t(k)] = int16_t(bits[size_t(k)]);
      SetInputBit(k, bits[size_t(k)]);
      marks::Set(chk_input[size_t(k)], false);
      global::InputBits[size_t(k)] = int16_t(InputBit(k));
    }
  }
}

// ---------------------------------------------------------------------------------------
// End actions of the steps

void frm_config::end_config_block()
{
  global::StartRegister = int16_t(global::StartRegister + modbus::kConfigBlockSize);
  if (global::StartRegister > modbus::kLastConfigRegister) {
    global::StartRegister = 0;
    Timer6->stop();
    func_read_cfg_bits();
    Timer1->stop();
  }
}

void frm_config::end_config_write()
{
  global::ReadyFlag = true;
  global::StartRegister = int16_t(global::StartRegister + modbus::kConfigBlockSize);
  if (global::StartRegister != kConfigWriteEnd)
    return;
  for (int i = 0; i < kConfigWriteEnd; ++i)
    marks::Set(txt_data_cfg[size_t(i)], false);
  for (int i = 9; i <= 31; ++i)
    marks::Set(cmb_cfg[size_t(i)], false);
  marks::Set(cmb_cfg[2], false);
  marks::Set(cmb_cfg[59], false);
  if (AnswerDelayChanged) {
    global::AnswerDelay = to_int16(ReadNumber(txt_data_cfg[33]->text()).value_or(global::AnswerDelay));
    retime_request_timers(modbus::kBaseAfterWrite);
    AnswerDelayChanged = false;
  }
  Timer1->stop();
  func_write_cfg_bits();
}

void frm_config::end_config_bits_write()
{
  for (int i = 0; i <= 30; ++i)
    marks::Set(chk_cfg[size_t(i)], false);
  for (int i = 24; i <= 29; ++i)
    marks::Set(cmb_bit_cfg[size_t(i)], false);
  if (InputRegsChanged) {
    global::SequenceStep = 5;
    global::StartRegister = kInputRegisterStart;
    forms::EnableTimer(Timer2);
  } else if (InputBitsChanged) {
    func_write_input_bits();
  }
  global::ReadyFlag = true;
}

void frm_config::end_input_register_write()
{
  global::ReadyFlag = true;
  global::StartRegister = int16_t(global::StartRegister + 1);
  if (global::StartRegister == kInputRegisterEnd)
    input_register_write_done();
}

void frm_config::input_register_write_done()
{
  Timer2->stop();
  for (int i = 0; i < InputRegisterTableSize; ++i) {
    QLineEdit* box = txt_data_in[size_t(i)];
    marks::Set(box, false);
    global::InputRegisters[size_t(i)] = ReadNumber(box->text()).value_or(global::InputRegisters[size_t(i)]);
  }
  marks::Set(cmb_in[26], false);
  marks::Set(cmb_in[27], false);
  if (InputBitsChanged)
    func_write_input_bits();
}

void frm_config::end_input_bits_write()
{
  for (QCheckBox* box : chk_input)
    marks::Set(box, false);
  InputBitsChanged = false;
  global::ReadyFlag = true;
}

void frm_config::end_connection_test()
{
  global::SequenceStep = 1;
  global::AnswerDelay = int16_t(modbus::answer_register(global::AnswerHex, 0));
  global::ReadyFlag = true;
  global::StartRegister = 0;
  retime_request_timers(modbus::kBaseAfterConnectionTest);
  forms::EnableTimer(Timer6);
  ShowMsgWindow();
}

void frm_config::retime_request_timers(int base)
{
  const int block = modbus::block_interval_ms(global::AnswerDelay, base);
  Timer1->setInterval(block);
  Timer2->setInterval(block);
  Timer6->setInterval(block);
  Timer7->setInterval(modbus::monitor_interval_ms(global::AnswerDelay, base));
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
