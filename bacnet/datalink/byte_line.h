// What the state machines of a serial datalink see of their line: one octet at a time with a
// time-out, whole frames out, and a wait that ends early when work was queued. The port
// thread gives them PortByteLine (the serial device together with the port's wake-up); tests
// give them a scripted line on virtual time. Used only by the thread that runs the machine.
// Also the open and the close of the line that both serial datalinks share.
#pragma once

#include "bacnet/datalink/serial_port.h"
#include "bacnet/foundation/driver.h"

#include <cstdint>
#include <span>

struct DatalinkPort;

class ByteLine {
public:
  enum Result { kOctet, kTimeout, kFailed, kStopped };

  virtual ~ByteLine() = default;
  // One octet within `timeout_ms` (0: only one that is already there).
  virtual Result read(uint8_t* octet, int timeout_ms) = 0;
  // True when every octet went out within `timeout_ms`.
  virtual bool write(std::span<const uint8_t> octets, int timeout_ms) = 0;
  // Waits up to `timeout_ms`, less when work was queued; false once the port is to stop.
  virtual bool wait(int timeout_ms) = 0;
  virtual bool stopping() = 0;
  // Keeps quiet for the whole `milliseconds` on the stack's clock, whatever ends a wait
  // early; false once the line is to stop.
  bool hold(int milliseconds);
};

// The open serial line of a datalink port. Reads wait on the device and the port's wake-up at
// once, so a stop ends them at once and queued frames are seen without delay. With
// `wake_ends_read` a wake-up also ends the read (as a time-out): for a machine that may send
// whenever it likes and measures its silences on the clock. Octets that cannot be written are
// counted on the port and traced with `trace` (null: not traced) at `trace_level`.
class PortByteLine : public ByteLine {
public:
  PortByteLine(DatalinkPort* port, SerialLine* line, bool wake_ends_read = false, DriverLogFunction trace = nullptr,
               int trace_level = 0)
      : port_(port), line_(line), wake_ends_read_(wake_ends_read), trace_(trace), trace_level_(trace_level)
  {
  }

  Result read(uint8_t* octet, int timeout_ms) override;
  bool write(std::span<const uint8_t> octets, int timeout_ms) override;
  bool wait(int timeout_ms) override;
  bool stopping() override;

private:
  DatalinkPort* port_;
  SerialLine* line_;
  bool wake_ends_read_;
  DriverLogFunction trace_;
  int trace_level_;
};

// The silence that abandons a half-received serial frame: 100 ms, or 60 bit times when the
// line is so slow that those are longer.
int serial_frame_abort_ms(uint32_t baud_rate);

// The serial datalinks' open of their line: the settings from the port's connect string
// (PORT or DEVICE, BAUDRATE, DATABITS, STOPBITS, HANDSHAKING), then the line opened afresh.
// 0, or the open's result with "Error Opening Com port" set on the port.
int serial_link_open_line(DatalinkPort* port, SerialLine* line);

// The serial datalinks' close: the line closed, then the NPDUs still queued for it dropped
// under the lock, since senders on other threads put into the same queues.
template <class... Queues>
void serial_link_close_line(SerialLine* line, Queues&... queues)
{
  serial_port_close(line);
  DRIVER_LOCK_SCOPE();
  (queues.clear(), ...);
}
