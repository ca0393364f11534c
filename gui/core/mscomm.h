// The serial-port control of the configuration window: port number, settings text
// ("38400,N,8,1"), text or binary input, open state, output and the received bytes.
// SerialLine is the seam the Modbus master talks to; MSComm is its QSerialPort form.
// Errors are reported as the control's error numbers, never thrown.
#pragma once

#include <QByteArray>
#include <QSerialPort>
#include <QString>
#include <functional>
#include <optional>

namespace mscomm {

// Error numbers of the serial-port control.
enum Error {
  kNoError = 0,
  kPermissionDenied = 70,  // the user may not open the device (the runtime's "Permission denied")
  kInvalidPropertyValue = 380,
  kInvalidPortNumber = 8002,
  kPortAlreadyOpen = 8005,
  kDeviceUnavailable = 8010,
  kPortNotOpen = 8018,
  kLineFailed = 8020,  // the open device failed: gone (adapter unplugged), or a read or write error
};

struct LineSettings {
  int baud_rate = 38400;
  char parity = 'N';  // N, E, O, M, S
  int data_bits = 8;  // 5..8
  int stop_bits = 1;  // 1 or 2
};

// Parses "38400,N,8,1" (letters of either case); nullopt for anything malformed.
std::optional<LineSettings> parse_settings(const QString& text);

// The device path of COMn: environment ZOR17_COMn, else the settings store's entry, else
// /dev/ttyS(n-1).
QString device_path(int port_number, const std::function<QString(int)>& settings_lookup = {});

class SerialLine {
public:
  virtual ~SerialLine() = default;
  virtual int CommPort() const = 0;
  virtual int SetCommPort(int number) = 0;  // error number
  virtual QString Settings() const = 0;
  virtual int SetSettings(const QString& text) = 0;
  virtual int InputMode() const = 0;  // 0 text, 1 binary
  virtual void SetInputMode(int mode) = 0;
  virtual bool PortOpen() const = 0;
  virtual int SetPortOpen(bool open) = 0;
  virtual int Output(const QByteArray& bytes) = 0;
  virtual int InBufferCount() = 0;
  virtual QByteArray Input() = 0;  // takes everything received so far
  // Called, with the error number, after the line closed itself because its device failed.
  virtual void SetLostHandler(std::function<void(int error)> handler) { (void)handler; }
};

class MSComm : public SerialLine {
public:
  explicit MSComm(std::function<QString(int)> settings_lookup = {});
  int CommPort() const override { return port_number_; }
  int SetCommPort(int number) override;
  QString Settings() const override { return settings_text_; }
  int SetSettings(const QString& text) override;
  int InputMode() const override { return input_mode_; }
  void SetInputMode(int mode) override { input_mode_ = mode; }
  bool PortOpen() const override { return port_.isOpen(); }
  int SetPortOpen(bool open) override;
  int Output(const QByteArray& bytes) override;
  int InBufferCount() override;
  QByteArray Input() override;
  void SetLostHandler(std::function<void(int error)> handler) override { lost_ = std::move(handler); }

  // What the port runs with after opening (a pty falls back to 8N1).
  LineSettings effective_settings() const { return effective_; }

private:
  int apply_settings();
  void port_error(QSerialPort::SerialPortError error);

  QSerialPort port_;
  std::function<QString(int)> settings_lookup_;
  int port_number_ = 1;
  QString settings_text_ = "9600,N,8,1";
  LineSettings settings_{9600, 'N', 8, 1};
  LineSettings effective_{9600, 'N', 8, 1};
  int input_mode_ = 0;
  std::function<void(int)> lost_;
  bool closing_after_error_ = false;
};

// The error number of a failed open: a device the user may not read and write is a missing
// permission; one that refuses although the user may is in use by someone else.
int open_error(QSerialPort::SerialPortError error, bool user_may_read_and_write);

// True for the errors after which the open device is of no more use: a device that went away
// keeps waking the port's reader, so such a port is closed.
bool ends_the_line(QSerialPort::SerialPortError error);

// A line of explanation for the user, empty where the number says enough.
QString error_reason(int error);

// Pseudo-terminals accept neither 7 data bits nor parity; test lines on a pty run 8N1.
LineSettings settings_for_device(const LineSettings& wanted, bool is_pseudo_terminal);

}  // namespace mscomm
