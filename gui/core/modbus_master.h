// The Modbus master of the room unit on a serial line: opening and closing the port and its
// errors, the connection test, the request timers and step procedures of the read-out, the
// write and the monitor, the answer poll and time-out, and the decoding and end actions that
// move each chain on. One request is outstanding at a time (global::ReadyFlag); the request
// timers send only while it is set. It reaches the configuration window only through
// MasterControls and knows no widget. User-interface thread only: everything runs inside
// timer events and the window's handlers.
#pragma once

#include "gui/core/modbus_answer.h"
#include "gui/core/mscomm.h"
#include "gui/core/register_image.h"

#include <QObject>
#include <QString>
#include <memory>

class QTimer;

namespace modbus {

// The window's controls whose text colour marks a change, each addressed by the register's
// or bit's number.
enum class Mark { ConfigText, ConfigChoice, ConfigBit, BitChoice, InputText, InputChoice, InputBit };

// What the master needs of the configuration window beside the register controls.
class MasterControls : public RegisterControls {
public:
  virtual QString SlaveAddressText() const = 0;  // txt_modbAddr, decimal
  virtual void SetAddressEditable(bool editable) = 0;
  virtual bool IsMarked(Mark control, int index) const = 0;
  virtual void SetMarked(Mark control, int index, bool changed) = 0;
  // The button layout's choice after a read of register 2: black, whatever it showed.
  virtual void SetLayoutChoiceBlack() = 0;
  // The status window of a transfer, the window itself disabled meanwhile.
  virtual void ShowMsgWindow() = 0;
  // The open link offers the monitor and the cancel button; a closed one offers nothing.
  virtual void ShowLinkOpen() = 0;
  virtual void ShowLinkClosed() = 0;
  // The port selector back on "close" without running its handler.
  virtual void ShowPortChoiceClosed() = 0;
  // The communication-problem label with the buttons it greys, or its end.
  virtual void ShowCommunicationProblem(bool shown) = 0;
  // The device failed under the open port: before the port is closed and the user told,
  // and after.
  virtual void LinkLost() = 0;
  virtual void LinkLossReported() = 0;
};

class Master : public QObject {
  Q_OBJECT
public:
  // Without a line the master makes the MSComm of the port the machine's settings name.
  Master(MasterControls& controls, std::unique_ptr<mscomm::SerialLine> line, QObject* parent = nullptr);
  ~Master() override;

  // Timers as designed, all off at the start: Timer1 writes configuration blocks, Timer2
  // input registers, Timer4 polls the input, Timer5 is the answer time-out, Timer6 reads
  // configuration blocks, Timer7 the monitor's output registers.
  QTimer *Timer1 = nullptr, *Timer2 = nullptr, *Timer4 = nullptr, *Timer5 = nullptr, *Timer6 = nullptr,
         *Timer7 = nullptr;
  // The serial-port control.
  mscomm::SerialLine* const MSComm1;

  // Set by the window's change handling of register 33; retimes the requests after the write.
  bool AnswerDelayChanged = false;
  // What a write goes on with after the configuration block: input registers, input bits.
  bool InputRegsChanged = false;
  bool InputBitsChanged = false;

  // The line as the Modbus settings say; the port is not opened. A setting the line refuses
  // is reported when the port is opened.
  void PrepareLine();
  // The port selector's choice: 0 "close", 1 "open", -1 the wish as it stands. Opening tests
  // the connection, also when the port is open already.
  void SelectPort(int listIndex);
  bool PortOpen() const { return MSComm1->PortOpen(); }

  // Frames global::RequestHex and writes it to the line, unless the address is outside 1..247;
  // either way the answer time-out runs.
  void send();
  void Timer4_Timer();  // receive poll
  void Timer5_Timer();  // answer time-out

  // The request sequences.
  void func_read_out_parameter();
  // The write buttons: the chain starts with the first block whose fields are marked.
  void StartWrite();
  void func_read_cfg_bits();
  void func_write_cfg_bits();
  void func_write_input_bits();
  void func_read_input_registers();
  void func_read_input_bits();
  void Timer1_Timer();  // configuration registers written, a block per tick
  void Timer2_Timer();  // changed input registers written, one per tick
  void Timer6_Timer();  // configuration registers read, a block per tick
  void Timer7_Timer();  // output registers read for the monitor
  void StartMonitor();
  void StopMonitor();

  // The answers.
  void func_receive_answer();
  const AnswerCollector& Collector() const { return collector_; }

  // True while a read-out or write still has a request to send or an answer to wait for,
  // and the unit has not gone silent.
  bool SequenceBusy() const;
  // Stops the timers that send the blocks of the read-out and the writes.
  void StopRequestTimers();
  // Stops every timer of the master.
  void StopTimers();

private:
  void link_closed();
  // The port closed after an error: the selector back on "close", and the user told.
  void close_port_after_error(int error);
  // The device failed under the open port (unplugged, read or write error).
  void port_lost(int error);
  QString slave_field() const;  // the address as two hex digits; empty for an empty field
  bool may_send() const;
  void undo_timeout_display();
  void dispatch_answer();
  void decode_config_block();
  void decode_output_registers();
  void decode_input_registers();
  void decode_config_bits();
  void decode_input_bits();
  void end_config_block();
  void end_config_write();
  void end_config_bits_write();
  void end_input_register_write();
  void input_register_write_done();
  void end_input_bits_write();
  void end_connection_test();
  void retime_request_timers(int base);

  MasterControls& controls_;
  std::unique_ptr<mscomm::SerialLine> line_;
  AnswerCollector collector_;
  bool awaiting_answer_ = false;  // a request went out and no checked answer came yet
  bool answer_timed_out_ = false;
  bool port_message_shown_ = false;  // "Port ist nicht geöffnet" once per sequence
};

}  // namespace modbus
