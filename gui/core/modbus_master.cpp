#include "gui/core/modbus_master.h"

#include "gui/core/field_rules.h"
#include "gui/core/message_box.h"
#include "gui/core/modbus_decode.h"
#include "gui/core/modbus_frame.h"
#include "gui/core/modbus_request.h"
#include "gui/core/modbus_timing.h"
#include "gui/core/program_state.h"
#include "gui/core/registry.h"
#include "gui/core/timer_switch.h"

#include <QTimer>

#include <algorithm>
#include <utility>

using fields::ReadNumber;
using timers::EnableTimer;

namespace modbus {
namespace {

// The device of COMn as the machine's settings name it ("Ports" key, value "COMn").
QString stored_port_path(int number)
{
  return CRegistry().MachineSetting(QString::fromLatin1(ProgramRegistryKey) + "Ports",
                                    QStringLiteral("COM%1").arg(number));
}

mscomm::SerialLine* with_port(std::unique_ptr<mscomm::SerialLine>& line)
{
  if (!line)
    line = std::make_unique<mscomm::MSComm>(stored_port_path);
  return line.get();
}

// Register addresses of the unit's map.
constexpr int kAnswerDelayRegister = 0x0021;
constexpr int kOutputRegisterStart = 0x0100;
constexpr int kInputRegisterStart = 0x0200;
constexpr int kInputRegisterEnd = 0x021C;  // one past input register 27
constexpr int kInputRegisterReadStart = 0x0207;
constexpr int kInputBitStart = 0x0100;
constexpr int kConfigWriteEnd = 60;  // registers 0..59 are written

int16_t to_int16(double value) { return int16_t(std::clamp(fields::RoundHalfEven(value), -32768.0, 32767.0)); }

}  // namespace

Master::Master(MasterControls& controls, std::unique_ptr<mscomm::SerialLine> line, QObject* parent)
    : QObject(parent), MSComm1(with_port(line)), controls_(controls), line_(std::move(line))
{
  auto timer = [this](const char* name, int interval, void (Master::*tick)()) {
    auto* t = new QTimer(this);
    t->setObjectName(name);
    t->setInterval(interval);
    connect(t, &QTimer::timeout, this, tick);
    return t;
  };
  Timer1 = timer("Timer1", 400, &Master::Timer1_Timer);
  Timer2 = timer("Timer2", 200, &Master::Timer2_Timer);
  Timer4 = timer("Timer4", 50, &Master::Timer4_Timer);
  Timer5 = timer("Timer5", kAnswerTimeoutMs, &Master::Timer5_Timer);
  Timer6 = timer("Timer6", 200, &Master::Timer6_Timer);
  Timer7 = timer("Timer7", 200, &Master::Timer7_Timer);
  MSComm1->SetLostHandler([this](int error) { port_lost(error); });
}

Master::~Master() { MSComm1->SetLostHandler(nullptr); }

// ---------------------------------------------------------------------------------------
// Serial link

void Master::PrepareLine()
{
  const ModbusSettingsT& m = global::ModbusSettings;
  MSComm1->SetInputMode(m.ModeFlag);
  MSComm1->SetSettings(m.BaudRate + ',' + m.Parity + ',' + m.DataBits + ',' + m.StopBits);
  MSComm1->SetCommPort(m.ComPortNumber);
}

void Master::SelectPort(int listIndex)
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
  controls_.SetAddressEditable(!m.PortOpenWish);

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
    EnableTimer(Timer4);
    global::SequenceStep = 6;
    controls_.ShowLinkOpen();
    port_message_shown_ = false;
    const QString address = slave_field();
    if (!address.isEmpty()) {
      global::StartRegister = 33;
      global::RequestHex = read_request(address, kReadHoldingRegisters, kAnswerDelayRegister, 1);
      send();
      global::ReadyFlag = false;
    }
  } else {
    link_closed();
  }
  collector_.Reset();
}

void Master::close_port_after_error(int error)
{
  global::ModbusSettings.PortOpenWish = false;
  if (MSComm1->PortOpen())
    MSComm1->SetPortOpen(false);
  controls_.ShowPortChoiceClosed();
  controls_.SetAddressEditable(true);
  link_closed();
  collector_.Reset();
  const QString reason = mscomm::error_reason(error);
  MsgBox(QStringLiteral("COM-Port not available,  %1").arg(error) + (reason.isEmpty() ? QString() : "\r\n" + reason));
}

void Master::port_lost(int error)
{
  // Nothing goes on sending into a line that is gone, nor waits for its answer.
  StopRequestTimers();
  Timer5->stop();
  controls_.LinkLost();
  close_port_after_error(error);
  controls_.LinkLossReported();
}

void Master::link_closed()
{
  Timer4->stop();
  controls_.ShowLinkClosed();
  awaiting_answer_ = false;
}

QString Master::slave_field() const
{
  const QString text = controls_.SlaveAddressText().trimmed();
  return text.isEmpty() ? QString() : address_field(text);
}

bool Master::may_send() const { return global::ReadyFlag && !slave_field().isEmpty(); }

void Master::send()
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
    frame = ascii_frame(global::RequestHex);
  else if (mode == "RTU")
    frame = rtu_frame(global::RequestHex);
  else
    return;
  // Address 0 would write into every unit on the line, and no unit answers above 247: such a
  // request stays off the line and goes unanswered like one the line refuses, so the time-out
  // reports both.
  if (slave_address(controls_.SlaveAddressText()))
    MSComm1->Output(frame);
  awaiting_answer_ = true;
  EnableTimer(Timer5);
}

void Master::Timer4_Timer()
{
  if (MSComm1->InBufferCount() >= 1)
    func_receive_answer();
}

void Master::Timer5_Timer()
{
  answer_timed_out_ = true;
  controls_.ShowCommunicationProblem(true);
}

void Master::StopRequestTimers()
{
  Timer1->stop();
  Timer2->stop();
  Timer6->stop();
}

void Master::StopTimers()
{
  for (QTimer* t : {Timer1, Timer2, Timer4, Timer5, Timer6, Timer7})
    t->stop();
}

bool Master::SequenceBusy() const
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

void Master::func_read_out_parameter()
{
  port_message_shown_ = false;
  global::SequenceStep = 1;
  global::ReadyFlag = true;
  global::StartRegister = 0;
  EnableTimer(Timer6);
  controls_.ShowMsgWindow();
}

void Master::StartWrite()
{
  port_message_shown_ = false;
  InputRegsChanged = false;
  bool configuration_changed = false;
  for (int i = 0; i < ConfigRegisterCount; ++i) {
    if (!controls_.IsMarked(Mark::ConfigText, i))
      continue;
    configuration_changed = true;
    // The clock display settings go with the clock registers, which are written after them.
    if (i >= 28 && i <= 31)
      for (int k = 0; k <= 5; ++k)
        controls_.SetMarked(Mark::InputText, k, true);
  }
  for (int k = 0; k < ConfigBitCount; ++k)
    configuration_changed |= controls_.IsMarked(Mark::ConfigBit, k);
  if (configuration_changed) {
    global::SequenceStep = 2;
    global::StartRegister = 0;
    EnableTimer(Timer1);
    controls_.ShowMsgWindow();
  }
  for (int i = 0; i < InputRegisterTableSize; ++i)
    InputRegsChanged |= controls_.IsMarked(Mark::InputText, i);
  for (int k = 0; k < InputBitCount; ++k)
    if (controls_.IsMarked(Mark::InputBit, k))
      InputBitsChanged = true;
  if (!configuration_changed && InputRegsChanged) {
    global::SequenceStep = 5;
    global::StartRegister = kInputRegisterStart;
    EnableTimer(Timer2);
    controls_.ShowMsgWindow();
  } else if (!configuration_changed && !InputRegsChanged && InputBitsChanged) {
    func_write_input_bits();
    controls_.ShowMsgWindow();
  }
}

void Master::StartMonitor()
{
  port_message_shown_ = false;
  EnableTimer(Timer7);
}

void Master::StopMonitor() { Timer7->stop(); }

void Master::Timer6_Timer()
{
  if (!may_send())
    return;
  global::RequestHex = read_request(slave_field(), kReadHoldingRegisters, global::StartRegister, kConfigBlockSize);
  send();
  global::ReadyFlag = false;
}

void Master::Timer7_Timer()
{
  global::SequenceStep = 1;
  global::ReadyFlag = true;
  global::StartRegister = kOutputRegisterStart;
  if (!may_send())
    return;
  global::RequestHex = read_request(slave_field(), kReadHoldingRegisters, kOutputRegisterStart, OutputRegisterCount);
  send();
  global::ReadyFlag = false;
}

void Master::Timer1_Timer()
{
  if (!may_send())
    return;
  std::vector<QString> values;
  for (int k = global::StartRegister; k < global::StartRegister + kConfigBlockSize; ++k) {
    double v = 0;
    if (k >= 0 && k < ConfigRegisterCount)
      v = ReadNumber(controls_.ConfigText(k)).value_or(global::ConfigRegisters[size_t(k)]);
    // These registers are shown with one decimal and travel in tenths.
    if (k >= 34 && k <= 42)
      v *= 10;
    values.push_back(register_hex(int64_t(fields::RoundHalfEven(std::clamp(v, -1e15, 1e15)))));
  }
  global::RequestHex = write_registers_request(slave_field(), global::StartRegister, values);
  send();
  global::ReadyFlag = false;
}

void Master::Timer2_Timer()
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
  if (!controls_.IsMarked(Mark::InputText, i)) {
    global::StartRegister = int16_t(global::StartRegister + 1);
    if (global::StartRegister >= kInputRegisterEnd)
      input_register_write_done();
    return;
  }
  controls_.SetMarked(Mark::InputText, i, false);
  const QString text = controls_.InputText(i);
  QString value;
  if (i <= 6) {
    // The clock registers hold their digits as they are shown.
    value = hex_field(text);
  } else {
    double v = ReadNumber(text).value_or(global::InputRegisters[size_t(i)]);
    if (input_in_tenths(i))
      v *= 10;
    value = register_hex(int64_t(fields::RoundHalfEven(std::clamp(v, -1e15, 1e15))));
  }
  global::RequestHex = write_registers_request(slave_field(), global::StartRegister, {value});
  send();
  global::ReadyFlag = false;
}

void Master::func_read_cfg_bits()
{
  global::SequenceStep = 3;
  global::StartRegister = 0;
  global::ReadyFlag = true;
  if (!may_send())
    return;
  global::RequestHex = read_request(slave_field(), kReadCoils, 0, ConfigBitCount);
  send();
  global::ReadyFlag = false;
}

void Master::func_write_cfg_bits()
{
  global::ReadyFlag = true;
  global::SequenceStep = 4;
  if (!may_send())
    return;
  std::vector<int> bits;
  for (int k = 0; k < ConfigBitCount; ++k)
    bits.push_back(controls_.ConfigBit(k));
  global::RequestHex = write_coils_request(slave_field(), 0, bits);
  send();
  global::ReadyFlag = false;
}

void Master::func_write_input_bits()
{
  global::ReadyFlag = true;
  global::SequenceStep = 8;
  if (!may_send())
    return;
  std::vector<int> bits;
  for (int k = 0; k < InputBitCount; ++k)
    bits.push_back(controls_.InputBit(k));
  global::RequestHex = write_coils_request(slave_field(), kInputBitStart, bits);
  send();
  global::ReadyFlag = false;
}

void Master::func_read_input_registers()
{
  global::SequenceStep = 7;
  if (!may_send())
    return;
  global::RequestHex = read_request(slave_field(), kReadHoldingRegisters, kInputRegisterReadStart,
                                    InputRegisterTableSize - 7);
  send();
  global::ReadyFlag = false;
}

void Master::func_read_input_bits()
{
  global::SequenceStep = 9;
  if (!may_send())
    return;
  global::RequestHex = read_request(slave_field(), kReadCoils, kInputBitStart, InputBitCount);
  send();
  global::ReadyFlag = false;
}

// ---------------------------------------------------------------------------------------
// Answers

void Master::func_receive_answer()
{
  const QString& mode = global::ModbusSettings.ModeText;
  if (mode != "RTU" && mode != "ASCII")
    return;
  collector_.SetAddress(slave_address(controls_.SlaveAddressText()));
  const QByteArray data = MSComm1->Input();
  const Intake intake = mode == "RTU" ? collector_.TakeRtu(data) : collector_.TakeAscii(data);
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

void Master::undo_timeout_display()
{
  Timer5->stop();
  answer_timed_out_ = false;
  controls_.ShowCommunicationProblem(false);
}

void Master::dispatch_answer()
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
  case 2: end_config_write(); break;
  case 3:
    decode_config_bits();
    func_read_input_registers();
    global::ReadyFlag = true;
    break;
  case 4: end_config_bits_write(); break;
  case 5: end_input_register_write(); break;
  case 6: end_connection_test(); break;
  case 7:
    decode_input_registers();
    global::AnswerHex.clear();
    func_read_input_bits();
    global::ReadyFlag = true;
    break;
  case 8: end_input_bits_write(); break;
  case 9:
    decode_input_bits();
    global::ReadyFlag = true;
    break;
  default: global::ReadyFlag = true; break;
  }
}

void Master::decode_config_block()
{
  for (const RegisterValue& rv : config_block(global::AnswerHex, global::StartRegister)) {
    const int r = rv.index;
    controls_.SetConfigText(r, fields::NumberText(rv.value));
    // What the field shows after its change handling (register 33 below 1 becomes 5).
    global::ConfigRegisters[size_t(r)] = ReadNumber(controls_.ConfigText(r)).value_or(rv.value);
    controls_.SetMarked(Mark::ConfigText, r, false);
    if (r == 2)
      controls_.SetLayoutChoiceBlack();
    else if ((r >= 8 && r <= 31) || r == 59)
      controls_.SetMarked(Mark::ConfigChoice, r, false);
  }
}

void Master::decode_output_registers()
{
  const std::array<double, OutputRegisterCount> values = output_registers(global::AnswerHex);
  for (int n = 0; n < OutputRegisterCount; ++n)
    controls_.SetOutputText(n, fields::NumberText(values[size_t(n)]));
  controls_.SetTemperatureCaption(controls_.OutputText(2));
  const std::array<bool, 12> lit = button_indicators(int64_t(values[0]));
  for (int j = 0; j < 12; ++j)
    controls_.SetButtonLabel(j, lit[size_t(j)]);
}

void Master::decode_input_registers()
{
  for (const RegisterValue& rv : input_registers(global::AnswerHex)) {
    controls_.SetInputText(rv.index, fields::NumberText(rv.value));
    controls_.SetMarked(Mark::InputText, rv.index, false);
    global::InputRegisters[size_t(rv.index)] = ReadNumber(controls_.InputText(rv.index)).value_or(rv.value);
  }
  controls_.SetMarked(Mark::InputChoice, 26, false);
  controls_.SetMarked(Mark::InputChoice, 27, false);
}

void Master::decode_config_bits()
{
  const std::vector<int> bits = coil_bits(global::AnswerHex, ConfigBitCount);
  for (int m = 0; m < ConfigBitCount / 8; ++m) {
    for (int j = 0; j < 8; ++j) {
      const int k = 8 * m + 7 - j;
      const int bit = bits[size_t(k)];
      // The image first, so the box's click handling finds it unchanged.
      global::ConfigBits[size_t(k)] = int16_t(bit);
      controls_.SetConfigBit(k, bit);
      if (bit == 0 && k >= 24 && k <= 29)
        controls_.SetBitComboIndex(k, controls_.ConfigBit(k));
      if (k >= 24 && k <= 29)
        controls_.SetMarked(Mark::BitChoice, k, false);
      controls_.SetMarked(Mark::ConfigBit, k, false);
      global::ConfigBits[size_t(k)] = int16_t(controls_.ConfigBit(k));
    }
  }
}

void Master::decode_input_bits()
{
  const std::vector<int> bits = coil_bits(global::AnswerHex, InputBitCount);
  for (int m = 0; m < InputBitCount / 8; ++m) {
    for (int j = 0; j < 8; ++j) {
      const int k = 8 * m + 7 - j;
      global::InputBits[size_t(k)] = int16_t(bits[size_t(k)]);
      controls_.SetInputBit(k, bits[size_t(k)]);
      controls_.SetMarked(Mark::InputBit, k, false);
      global::InputBits[size_t(k)] = int16_t(controls_.InputBit(k));
    }
  }
}

// ---------------------------------------------------------------------------------------
// End actions of the steps

void Master::end_config_block()
{
  global::StartRegister = int16_t(global::StartRegister + kConfigBlockSize);
  if (global::StartRegister >= ConfigRegisterCount) {
    global::StartRegister = 0;
    Timer6->stop();
    func_read_cfg_bits();
    Timer1->stop();
  }
}

void Master::end_config_write()
{
  global::ReadyFlag = true;
  global::StartRegister = int16_t(global::StartRegister + kConfigBlockSize);
  if (global::StartRegister != kConfigWriteEnd)
    return;
  for (int i = 0; i < kConfigWriteEnd; ++i)
    controls_.SetMarked(Mark::ConfigText, i, false);
  for (int i = 9; i <= 31; ++i)
    controls_.SetMarked(Mark::ConfigChoice, i, false);
  controls_.SetMarked(Mark::ConfigChoice, 2, false);
  controls_.SetMarked(Mark::ConfigChoice, 59, false);
  if (AnswerDelayChanged) {
    global::AnswerDelay = to_int16(ReadNumber(controls_.ConfigText(33)).value_or(global::AnswerDelay));
    retime_request_timers(kBaseAfterWrite);
    AnswerDelayChanged = false;
  }
  Timer1->stop();
  func_write_cfg_bits();
}

void Master::end_config_bits_write()
{
  for (int i = 0; i <= 30; ++i)
    controls_.SetMarked(Mark::ConfigBit, i, false);
  for (int i = 24; i <= 29; ++i)
    controls_.SetMarked(Mark::BitChoice, i, false);
  if (InputRegsChanged) {
    global::SequenceStep = 5;
    global::StartRegister = kInputRegisterStart;
    EnableTimer(Timer2);
  } else if (InputBitsChanged) {
    func_write_input_bits();
  }
  global::ReadyFlag = true;
}

void Master::end_input_register_write()
{
  global::ReadyFlag = true;
  global::StartRegister = int16_t(global::StartRegister + 1);
  if (global::StartRegister == kInputRegisterEnd)
    input_register_write_done();
}

void Master::input_register_write_done()
{
  Timer2->stop();
  for (int i = 0; i < InputRegisterTableSize; ++i) {
    controls_.SetMarked(Mark::InputText, i, false);
    global::InputRegisters[size_t(i)] = ReadNumber(controls_.InputText(i)).value_or(global::InputRegisters[size_t(i)]);
  }
  controls_.SetMarked(Mark::InputChoice, 26, false);
  controls_.SetMarked(Mark::InputChoice, 27, false);
  if (InputBitsChanged)
    func_write_input_bits();
}

void Master::end_input_bits_write()
{
  for (int k = 0; k < InputBitCount; ++k)
    controls_.SetMarked(Mark::InputBit, k, false);
  InputBitsChanged = false;
  global::ReadyFlag = true;
}

void Master::end_connection_test()
{
  global::SequenceStep = 1;
  global::AnswerDelay = int16_t(answer_register(global::AnswerHex, 0));
  global::ReadyFlag = true;
  global::StartRegister = 0;
  retime_request_timers(kBaseAfterConnectionTest);
  EnableTimer(Timer6);
  controls_.ShowMsgWindow();
}

void Master::retime_request_timers(int base)
{
  const int block = block_interval_ms(global::AnswerDelay, base);
  Timer1->setInterval(block);
  Timer2->setInterval(block);
  Timer6->setInterval(block);
  Timer7->setInterval(monitor_interval_ms(global::AnswerDelay, base));
}

}  // namespace modbus
