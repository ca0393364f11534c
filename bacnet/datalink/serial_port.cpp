#include "bacnet/datalink/serial_port.h"

#include "bacnet/datalink/serial_speed.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kOpenEventMask = kSerialEventReceived | kSerialEventBreak | kSerialEventLineError;
constexpr uint32_t kDefaultBaud = 9600;
constexpr std::size_t kPendingLimit = 65536;
constexpr uint32_t kSerialQueueSize = 2048;

using Clock = std::chrono::steady_clock;

int milliseconds_left(Clock::time_point deadline)
{
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? int(left) : 0;
}

Clock::time_point deadline_after(int timeout_ms)
{
  return Clock::now() + std::chrono::milliseconds(timeout_ms > 0 ? timeout_ms : 0);
}

// A modem line or direction control that the device does not have is no failure: pseudo-
// terminals and many adapters have none.
bool missing_line_control(int error) { return error == ENOTTY || error == EINVAL; }

int set_modem_line(int fd, int line, bool on)
{
  int bits = line;
  if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 || missing_line_control(errno))
    return 0;
  return errno;
}

// The RS-485 driver switches the transmitter on for each frame (RTS toggle).
int set_rs485_toggle(int fd, bool on)
{
  serial_rs485 rs485{};
  if (ioctl(fd, TIOCGRS485, &rs485) != 0)
    return errno == ENOTTY ? 0 : errno;
  bool enabled = rs485.flags & SER_RS485_ENABLED;
  if (enabled == on)
    return 0;
  if (on)
    rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
  else
    rs485.flags &= ~uint32_t(SER_RS485_ENABLED);
  return ioctl(fd, TIOCSRS485, &rs485) == 0 || errno == ENOTTY ? 0 : errno;
}

uint32_t open_error(int error)
{
  switch (error) {
  case ENOENT:
  case ENODEV:
  case ENXIO:
  case ENOTDIR:
    return kSerialNotFound;
  case EACCES:
  case EPERM:
  case EBUSY:
    return kSerialAccessDenied;
  default:
    return kSerialSystemError | uint32_t(error);
  }
}

// What an Open's result says to one who only asks whether the device can be had.
int probe_result(uint32_t open_result)
{
  switch (open_result) {
  case kSerialOk:
    return 0;
  case kSerialNotFound:
    return 1;
  case kSerialAccessDenied:
    return 2;
  default:
    return -1;
  }
}

}  // namespace

SerialPort::~SerialPort()
{
  if (fd_ >= 0)
    ::close(fd_);
}

uint32_t SerialPort::system_error(int error) { return set(kSerialSystemError | uint32_t(error)); }

uint32_t SerialPort::Open(const char* device, uint32_t, uint32_t)
{
  if (fd_ >= 0)
    return set(kSerialAlreadyOpen);
  if (!device)
    return set(kSerialInvalidArgument);
  int fd = ::open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return set(open_error(errno));
  // Exclusive against every other opener that locks, also against root (which TIOCEXCL is not).
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ::close(fd);
    return set(error == EWOULDBLOCK ? kSerialAccessDenied : kSerialSystemError | uint32_t(error));
  }
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) {
    int error = errno;
    ::close(fd);
    return system_error(error);
  }
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &settings) != 0) {
    int error = errno;
    ::close(fd);
    return system_error(error);
  }
  fd_ = fd;
  pending_.clear();
  control_ = Control{};
  uint32_t result = SetEventMask(kOpenEventMask);
  if (result == 0)
    result = SetLine(kDefaultBaud, 8, 0, 0);
  if (result == 0)
    result = SetReadTimeouts(1);
  if (result == 0)
    result = SetHandshaking(kHandshakeNone);
  if (result != 0) {
    Close();
    return set(result);
  }
  return set(kSerialOk);
}

uint32_t SerialPort::Close()
{
  if (fd_ < 0)
    return set(kSerialInvalidHandle);
  ::close(fd_);
  fd_ = -1;
  pending_.clear();
  return set(kSerialOk);
}

uint32_t SerialPort::SetLine(uint32_t baud_rate, uint8_t data_bits, uint8_t parity, uint8_t stop_bits)
{
  if (fd_ < 0)
    return set(kSerialInvalidHandle);
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  if (baud_rate == 0 || data_bits < 5 || data_bits > 8 || parity > 4 || stop_bits > 2)
    return set(kSerialInvalidArgument);
  termios settings{};
  if (tcgetattr(fd_, &settings) != 0)
    return system_error(errno);
  settings.c_cflag = (settings.c_cflag & ~CSIZE) | kSizes[data_bits - 5];
  settings.c_cflag &= ~tcflag_t(PARENB | PARODD | CMSPAR | CSTOPB);
  static const tcflag_t kParity[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR, PARENB | CMSPAR};
  settings.c_cflag |= kParity[parity];
  if (parity != 0)
    settings.c_iflag |= INPCK;
  else
    settings.c_iflag &= ~tcflag_t(INPCK);
  if (stop_bits != 0)
    settings.c_cflag |= CSTOPB;
  if (tcsetattr(fd_, TCSANOW, &settings) != 0)
    return system_error(errno);
  if (int error = serial_speed_set(fd_, baud_rate))
    return system_error(error);
  stop_bits_ = stop_bits;
  return set(kSerialOk);
}

uint32_t SerialPort::SetEventChar(uint8_t character, bool enable)
{
  if (fd_ < 0)
    return set(kSerialInvalidHandle);
  event_char_ = character;
  if (enable)
    event_mask_ |= kSerialEventCharacter;
  return set(kSerialOk);
}

uint32_t SerialPort::SetEventMask(uint32_t mask)
{
  if (fd_ < 0)
    return set(kSerialInvalidHandle);
  event_mask_ = mask;
  return set(kSerialOk);
}

bool SerialPort::fill_pending()
{
  char buffer[4096];
  while (pending_.size() < kPendingLimit) {
    ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      pending_.append(buffer, std::size_t(n));
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    return n == 0 || errno == EAGAIN;
  }
  return true;
}

uint32_t SerialPort::WaitEvent(int timeout_ms)
{
  if (fd_ < 0)
    return set(kSerialInvalidHandle);
  const auto deadline = deadline_after(timeout_ms);
  for (;;) {
    const int left = milliseconds_left(deadline);
    pollfd p{fd_, POLLIN, 0};
    int n = pending_.empty() ? ::poll(&p, 1, left) : 0;
    if (n < 0 && errno != EINTR)
      return system_error(errno);
    uint32_t seen = 0;
    if (p.revents & (POLLERR | POLLHUP))
      seen |= kSerialEventLineError;
    if ((p.revents & POLLIN) || !pending_.empty()) {
      seen |= kSerialEventReceived;
      if ((event_mask_ & kSerialEventCharacter) && fill_pending() &&
          pending_.find(char(event_char_)) != std::string::npos)
        seen |= kSerialEventCharacter;
    }
    seen &= event_mask_;
    if (seen) {
      events_ = seen;
      return set(kSerialOk);
    }
    if (left == 0)
      return set(kSerialTimeout);
    if (p.revents || !pending_.empty()) {
      // Something the mask does not ask for is waiting: sit out the time-out instead of spinning.
      ::poll(nullptr, 0, left);
      return set(kSerialTimeout);
    }
  }
}

uint32_t SerialPort::apply_control(const Control& control)
{
  termios settings{};
  if (tcgetattr(fd_, &settings) != 0)
    return system_error(errno);
  settings.c_cflag &= ~tcflag_t(CRTSCTS);
  settings.c_iflag &= ~tcflag_t(IXON | IXOFF);
  if (control.cts_flow)
    settings.c_cflag |= CRTSCTS;
  if (control.xon_out)
    settings.c_iflag |= IXON;
  if (control.xon_in)
    settings.c_iflag |= IXOFF;
  if (tcsetattr(fd_, TCSANOW, &settings) != 0)
    return system_error(errno);
  if (int error = set_modem_line(fd_, TIOCM_DTR, control.dtr != Dtr::kDisable))
    return system_error(error);
  if (int error = set_rs485_toggle(fd_, control.rts == Rts::kToggle))
    return system_error(error);
  if (control.rts == Rts::kEnable || control.rts == Rts::kDisable)
    if (int error = set_modem_line(fd_, TIOCM_RTS, control.rts == Rts::kEnable))
      return system_error(error);
  control_ = control;
  return set(kSerialOk);
}

uint32_t SerialPort::SetHandshaking(uint32_t mode)
{
  if (fd_ < 0)
    return set(kSerialInvalidHandle);
  Control c = control_;
  switch (mode) {
  case kHandshakeNone:
    c.cts_flow = c.dsr_flow = false;
    c.dtr = Dtr::kDisable;
    c.xon_out = c.xon_in = false;
    c.rts = Rts::kToggle;
    break;
  case kHandshakeHardware:
    c.cts_flow = c.dsr_flow = true;
    c.dtr = Dtr::kHandshake;
    c.continue_on_xoff = true;
    c.xon_out = c.xon_in = false;
    c.rts = Rts::kToggle;
    break;
  case kHandshakeXonXoff:
    c.cts_flow = c.dsr_flow = false;
    c.dtr = Dtr::kDisable;
    c.rts = Rts::kDisable;
    c.xon_out = c.xon_in = true;
    break;
  default:
    return set(kSerialInvalidArgument);
  }
  return apply_control(c);
}

uint32_t SerialPort::SetRts(bool on)
{
  if (fd_ < 0)
    return set(kSerialInvalidHandle);
  Control c = control_;
  c.rts = on ? Rts::kEnable : Rts::kDisable;
  return apply_control(c);
}

uint32_t SerialPort::SetReadTimeouts(uint32_t mode)
{
  if (fd_ < 0)
    return set(kSerialInvalidHandle);
  if (mode > 1)
    return set(kSerialInvalidArgument);
  read_mode_ = mode;
  return set(kSerialOk);
}

int32_t SerialPort::GetBaud()
{
  uint32_t baud = 0;
  if (fd_ < 0) {
    set(kSerialInvalidHandle);
    return -1;
  }
  if (int error = serial_speed_get(fd_, &baud)) {
    system_error(error);
    return -1;
  }
  set(kSerialOk);
  return int32_t(baud);
}

bool SerialPort::get_settings(termios* settings)
{
  if (fd_ < 0) {
    set(kSerialInvalidHandle);
    return false;
  }
  if (tcgetattr(fd_, settings) != 0) {
    system_error(errno);
    return false;
  }
  set(kSerialOk);
  return true;
}

int32_t SerialPort::GetDataBits()
{
  termios settings{};
  if (!get_settings(&settings))
    return -1;
  switch (settings.c_cflag & CSIZE) {
  case CS5:
    return 5;
  case CS6:
    return 6;
  case CS7:
    return 7;
  default:
    return 8;
  }
}

int32_t SerialPort::GetParity()
{
  termios settings{};
  if (!get_settings(&settings))
    return -1;
  if (!(settings.c_iflag & INPCK) || !(settings.c_cflag & PARENB))
    return 0;
  bool odd = settings.c_cflag & PARODD;
  if (settings.c_cflag & CMSPAR)
    return odd ? 3 : 4;
  return odd ? 1 : 2;
}

int32_t SerialPort::GetStopBits()
{
  termios settings{};
  if (!get_settings(&settings))
    return -1;
  if (!(settings.c_cflag & CSTOPB))
    return 0;
  return stop_bits_ == 1 ? 1 : 2;
}

int32_t SerialPort::GetHandshaking()
{
  if (fd_ < 0) {
    set(kSerialInvalidHandle);
    return -1;
  }
  set(kSerialOk);
  if (control_.dtr == Dtr::kHandshake && control_.rts == Rts::kHandshake)
    return kHandshakeHardware;
  if (control_.xon_out && control_.xon_in)
    return kHandshakeXonXoff;
  return kHandshakeNone;
}

uint32_t SerialPort::GetEventMask()
{
  if (fd_ < 0) {
    set(kSerialInvalidHandle);
    return 0;
  }
  set(kSerialOk);
  return event_mask_;
}

uint8_t SerialPort::GetEventChar()
{
  if (fd_ < 0) {
    set(kSerialInvalidHandle);
    return 0;
  }
  set(kSerialOk);
  return event_char_;
}

uint32_t SerialPort::WriteString(const char* text, uint32_t* count, int timeout_ms)
{
  if (!text)
    return set(kSerialInvalidArgument);
  return Write(reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)), count, timeout_ms);
}

uint32_t SerialPort::Write(const uint8_t* buffer, uint32_t length, uint32_t* count, int timeout_ms)
{
  if (count)
    *count = 0;
  if (fd_ < 0)
    return set(kSerialInvalidHandle);
  if (!buffer && length > 0)
    return set(kSerialInvalidArgument);
  const auto deadline = deadline_after(timeout_ms);
  uint32_t done = 0;
  while (done < length) {
    ssize_t n = ::write(fd_, buffer + done, length - done);
    if (n > 0) {
      done += uint32_t(n);
      if (count)
        *count = done;
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && errno != EAGAIN)
      return system_error(errno);
    const int left = milliseconds_left(deadline);
    if (left == 0)
      return set(kSerialTimeout);
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, left) < 0 && errno != EINTR)
      return system_error(errno);
    if ((p.revents & (POLLERR | POLLHUP)) && !(p.revents & POLLOUT))
      return system_error(EIO);
  }
  return set(kSerialOk);
}

uint32_t SerialPort::Read(uint8_t* buffer, uint32_t length, uint32_t* count, int timeout_ms)
{
  if (count)
    *count = 0;
  if (fd_ < 0)
    return set(kSerialInvalidHandle);
  if (!buffer && length > 0)
    return set(kSerialInvalidArgument);
  uint32_t done = uint32_t(std::min<std::size_t>(pending_.size(), length));
  if (done > 0) {
    std::memcpy(buffer, pending_.data(), done);
    pending_.erase(0, done);
  }
  if (count)
    *count = done;
  const auto deadline = deadline_after(timeout_ms);
  bool hung_up = false;
  while (done < length) {
    ssize_t n = ::read(fd_, buffer + done, length - done);
    if (n > 0) {
      done += uint32_t(n);
      if (count)
        *count = done;
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && errno != EAGAIN)
      return system_error(errno);
    // A hung-up line polls as ready and then reads nothing, for ever: that is a failure.
    if (hung_up)
      return system_error(EIO);
    const int left = read_mode_ == 0 ? 0 : milliseconds_left(deadline);
    pollfd p{fd_, POLLIN, 0};
    int ready = ::poll(&p, 1, left);
    if (ready < 0 && errno != EINTR)
      return system_error(errno);
    if (p.revents & (POLLERR | POLLHUP)) {
      hung_up = true;  // one more read takes what arrived before the hang-up
      continue;
    }
    if (ready == 0 && read_mode_ == 0)
      break;
    if (ready == 0 && left == 0)
      return set(kSerialTimeout);
  }
  return set(kSerialOk);
}

int SerialPort::ProbePort(const char* device)
{
  SerialPort port;
  uint32_t result = port.Open(device, kSerialQueueSize, kSerialQueueSize);
  port.Close();
  return probe_result(result);
}

std::string serial_port_device_path(int com_port)
{
  char name[32];
  std::snprintf(name, sizeof name, "ZOR17_COM%d", com_port);
  const char* configured = std::getenv(name);
  if (configured && *configured)
    return configured;
  std::snprintf(name, sizeof name, "/dev/ttyS%d", com_port - 1);
  return name;
}

int serial_port_open(SerialLine* line)
{
  if (!line)
    return -1;
  line->port.reset();
  const std::string path = line->device.empty() ? serial_port_device_path(line->com_port) : line->device;
  auto port = std::make_unique<SerialPort>();
  uint32_t result = port->Open(path.c_str(), kSerialQueueSize, kSerialQueueSize);
  if (result != 0)
    return probe_result(result);
  result = port->SetLine(line->baud_rate, line->data_bits, line->parity, line->stop_bits);
  if (result == 0)
    result = port->SetHandshaking(line->handshaking);
  if (result != 0)
    return int(result);
  line->port = std::move(port);
  return 0;
}

int serial_port_close(SerialLine* line)
{
  if (!line || !line->port)
    return -1;
  int result = int(line->port->Close());
  line->port.reset();
  return result;
}

int serial_port_read(SerialLine* line, uint8_t* octet, int timeout_ms)
{
  if (!line || !line->port)
    return -1;
  uint32_t count = 0;
  uint32_t result = line->port->Read(octet, 1, &count, timeout_ms);
  if (result == kSerialTimeout)
    return kSerialLineTimeout;
  return result == 0 && count == 1 ? kSerialLineOk : kSerialLineFailed;
}

int serial_port_write(SerialLine* line, const uint8_t* buffer, uint32_t length, int timeout_ms)
{
  if (!line || !line->port)
    return -1;
  uint32_t count = 0;
  uint32_t result = line->port->Write(buffer, length, &count, timeout_ms);
  if (result == kSerialTimeout)
    return kSerialLineTimeout;
  return result == 0 && count == length ? kSerialLineOk : kSerialLineFailed;
}
