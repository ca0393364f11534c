#include "bacnet/datalink/byte_line.h"

#include "bacnet/datalink/datalink_port.h"
#include "bacnet/foundation/os_wrappers.h"

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
  return serial_port_write(line_, octets.data(), uint32_t(octets.size()), timeout_ms) == kSerialLineOk;
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
