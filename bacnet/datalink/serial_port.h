// One serial device behind the terminal interface: opened exclusively, with line settings,
// handshaking, event waiting and timed reads and writes; results are the error numbers below.
// The four serial_port_* functions keep one open line in a SerialLine record for the serial
// datalinks (MS/TP, point-to-point). An object belongs to one port thread; nothing here takes
// the global lock, and no call blocks beyond its time-out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct termios;

// The error numbers of SerialPort (those of the platform the class was first written for, so
// that every caller and log reads the same numbers).
inline constexpr uint32_t kSerialOk = 0;
inline constexpr uint32_t kSerialNotFound = 2;
inline constexpr uint32_t kSerialAccessDenied = 5;  // also: another program holds the device
inline constexpr uint32_t kSerialInvalidHandle = 6;
inline constexpr uint32_t kSerialAlreadyOpen = 1247;
inline constexpr uint32_t kSerialTimeout = 1460;
inline constexpr uint32_t kSerialInvalidArgument = 0x80070057;
// Any other failure: the system's errno with this bit set.
inline constexpr uint32_t kSerialSystemError = 0x20000000;

// Communication events of SetEventMask and WaitEvent.
inline constexpr uint32_t kSerialEventReceived = 0x01;
inline constexpr uint32_t kSerialEventCharacter = 0x02;
inline constexpr uint32_t kSerialEventBreak = 0x40;
inline constexpr uint32_t kSerialEventLineError = 0x80;

enum SerialHandshaking : uint32_t { kHandshakeNone = 0, kHandshakeHardware = 1, kHandshakeXonXoff = 2 };

class SerialPort {
public:
  SerialPort() = default;
  virtual ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens an existing device for reading and writing and locks it against every other
  // opener; then 9600 baud, 8 data bits, no parity, one stop bit, read mode 1, no handshaking.
  // The queue sizes are the driver's own here and are not changed.
  virtual uint32_t Open(const char* device, uint32_t input_queue, uint32_t output_queue);
  virtual uint32_t Close();
  // Parity 0 none, 1 odd, 2 even, 3 mark, 4 space; stop bits 0 one, 1 one and a half (two on
  // this platform), 2 two.
  virtual uint32_t SetLine(uint32_t baud_rate, uint8_t data_bits, uint8_t parity, uint8_t stop_bits);
  virtual uint32_t SetEventChar(uint8_t character, bool enable);
  virtual uint32_t SetEventMask(uint32_t mask);
  // Waits up to `timeout_ms` for an event of the mask; the events seen are in events().
  virtual uint32_t WaitEvent(int timeout_ms);
  virtual uint32_t SetHandshaking(uint32_t mode);
  virtual uint32_t SetRts(bool on);
  // Mode 0: a read returns at once with what has arrived; mode 1: a read waits for all it
  // asked for, up to its time-out.
  virtual uint32_t SetReadTimeouts(uint32_t mode);
  virtual int32_t GetBaud();
  virtual int32_t GetDataBits();
  virtual int32_t GetParity();
  virtual int32_t GetStopBits();
  // 1 when DTR and RTS are both under handshake control, else 2 with XON/XOFF both ways,
  // else 0.
  virtual int32_t GetHandshaking();
  virtual uint32_t GetEventMask();
  virtual uint8_t GetEventChar();
  virtual uint32_t WriteString(const char* text, uint32_t* count, int timeout_ms);
  // Both transfer up to the time-out; on time-out the result is kSerialTimeout and `count`
  // (when given) holds what was transferred.
  virtual uint32_t Write(const uint8_t* buffer, uint32_t length, uint32_t* count, int timeout_ms);
  virtual uint32_t Read(uint8_t* buffer, uint32_t length, uint32_t* count, int timeout_ms);

  // 0 the device could be opened (and is closed again), 1 it does not exist, 2 it is in use,
  // -1 any other failure.
  static int ProbePort(const char* device);

  uint32_t last_error() const { return last_error_; }
  uint32_t events() const { return events_; }
  // The open device, for waiting on it together with other wake-ups; -1 while closed.
  int fd() const { return fd_; }

private:
  enum class Dtr : uint8_t { kDisable, kEnable, kHandshake };
  enum class Rts : uint8_t { kDisable, kEnable, kHandshake, kToggle };
  // The control state as the handshaking modes describe it; applied to the terminal settings
  // and, where the driver has them, to the modem lines and the RS-485 direction control.
  struct Control {
    bool cts_flow = false;
    bool dsr_flow = false;
    Dtr dtr = Dtr::kEnable;
    Rts rts = Rts::kEnable;
    bool continue_on_xoff = false;
    bool xon_out = false;
    bool xon_in = false;
  };

  uint32_t set(uint32_t error) { return last_error_ = error; }
  uint32_t system_error(int error);
  uint32_t apply_control(const Control& control);
  // The device's terminal settings for the Get functions; false (the error set) when closed
  // or unreadable.
  bool get_settings(termios* settings);
  // Moves what has arrived into `pending_`; false when the read failed.
  bool fill_pending();

  uint32_t last_error_ = 0;
  int fd_ = -1;
  uint32_t events_ = 0xFFFFFFFF;
  uint32_t event_mask_ = 0;
  uint8_t event_char_ = 0;
  uint32_t read_mode_ = 1;
  uint8_t stop_bits_ = 0;
  Control control_;
  // Octets that WaitEvent took from the device to look for the event character; Read hands
  // them out first.
  std::string pending_;
};

// One serial line of a datalink port: its settings and the open device.
struct SerialLine {
  int com_port = 1;
  uint32_t baud_rate = 9600;
  uint8_t data_bits = 8;
  uint8_t parity = 0;
  uint8_t stop_bits = 0;
  uint32_t handshaking = kHandshakeNone;
  // A device path that wins over the port number; empty: the path of COM<com_port>.
  std::string device;
  std::unique_ptr<SerialPort> port;  // null while closed
};

// Results of serial_port_read and serial_port_write.
inline constexpr int kSerialLineOk = 0;
inline constexpr int kSerialLineFailed = 1;
inline constexpr int kSerialLineTimeout = 31;

// The device of COMn: the environment's ZOR17_COMn, else /dev/ttyS(n-1).
std::string serial_port_device_path(int com_port);
// 0 open; as ProbePort says, 1 (no such device), 2 (in use) or -1 when the device cannot be
// opened, also without a record; else the failing error number of the line's settings. A line
// left open from before is closed first.
int serial_port_open(SerialLine* line);
// The result of Close; -1 without a record or an open line.
int serial_port_close(SerialLine* line);
// Exactly one octet within `timeout_ms`: 0, kSerialLineTimeout, kSerialLineFailed; -1
// without an open line.
int serial_port_read(SerialLine* line, uint8_t* octet, int timeout_ms);
// All `length` octets within `timeout_ms`: 0, kSerialLineTimeout, kSerialLineFailed (also a
// short write); -1 without an open line.
int serial_port_write(SerialLine* line, const uint8_t* buffer, uint32_t length, int timeout_ms);
