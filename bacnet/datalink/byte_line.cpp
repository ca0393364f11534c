#include "bacnet/datalink/byte_line.h"

#include "bacnet/datalink/datalink_port.h"
#include "bacnet/foundation/os_wrappers.h"

#include <algorithm>
#include <string>

ByteLine::Result PortByteLine::read(uint8_t* octet, int timeout_ms)
{
  const int64_t deadline = os_monotonic_ms() + timeout_ms;
  for (;;) {
    if (stopping())
      return kStopped;
    switch (serial_port_read(line_, octet, 0)) {
    case kSerialLineOk:
      return kOctet;
    case kSerialLineTimeout:
      break;
    default:
      return kFailed;
    }
    const int64_t left = deadline - os_monotonic_ms();
    if (left <= 0)
      return kTimeout;
    // For a token-passing machine a wake-up (a frame queued for sending) only ends this wait;
    // the read goes on until its time-out, since it cannot use the token it does not hold.
    const OsWake::Result woke = datalink_wait_readable(port_, line_->port->fd(), int(left));
    if (woke == OsWake::kFailed)
      return kFailed;
    if (woke == OsWake::kSignalled && wake_ends_read_)
      return kTimeout;
  }
}

bool PortByteLine::write(std::span<const uint8_t> octets, int timeout_ms)
{
  if (serial_port_write(line_, octets.data(), uint32_t(octets.size()), timeout_ms) == kSerialLineOk)
    return true;
  const std::string device = line_->device.empty() ? serial_port_device_path(line_->com_port) : line_->device;
  datalink_send_failed(port_, trace_, trace_level_, device, "frame");
  return false;
}

bool PortByteLine::wait(int timeout_ms)
{
  if (stopping())
    return false;
  if (timeout_ms > 0)
    datalink_wait_readable(port_, -1, timeout_ms);
  return !stopping();
}

bool PortByteLine::stopping() { return port_->stop_requested || port_->running == 0; }

int serial_frame_abort_ms(uint32_t baud_rate)
{
  constexpr int kFrameAbortMs = 100;
  constexpr uint32_t kFrameAbortBits = 60;
  if (baud_rate == 0)
    return kFrameAbortMs;
  int bits_ms = int((kFrameAbortBits * 1000 + baud_rate - 1) / baud_rate);
  return std::max(kFrameAbortMs, bits_ms);
}

bool ByteLine::hold(int milliseconds)
{
  const int64_t end = os_monotonic_ms() + milliseconds;
  for (int64_t left = milliseconds; left > 0; left = end - os_monotonic_ms())
    if (!wait(int(left)))
      return false;
  return true;
}

int serial_link_open_line(DatalinkPort* port, SerialLine* line)
{
  serial_port_close(line);
  line->com_port = int(datalink_param_number(port, "PORT", 1));
  line->baud_rate = uint32_t(datalink_param_number(port, "BAUDRATE", 9600));
  line->data_bits = uint8_t(datalink_param_number(port, "DATABITS", 8));
  line->parity = 0;
  line->stop_bits = uint8_t(datalink_param_number(port, "STOPBITS", 0));
  line->handshaking = uint32_t(datalink_param_number(port, "HANDSHAKING", kHandshakeNone));
  if (!datalink_param(port, "DEVICE", &line->device))
    line->device.clear();
  int result = serial_port_open(line);
  if (result != 0)
    datalink_set_error(port, "Error Opening Com port");
  return result;
}
