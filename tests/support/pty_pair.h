// A pseudo-terminal for the serial tests: the test holds the master side and plays the far
// end of the line; the code under test opens the slave by its path like any serial device.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

// At least `count` octets read from `fd`, or all that came while each wait lasted at most
// `timeout_ms`: a line that stays silent ends the read, never the test run.
inline std::vector<uint8_t> receive_from(int fd, std::size_t count, int timeout_ms)
{
  std::vector<uint8_t> out;
  while (out.size() < count) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0)
      break;
    uint8_t buffer[512];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0)
      break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

class PtyPair {
public:
  PtyPair()
  {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0)
      path_ = ptsname(master_);
    // Raw until the code under test sets its own mode: nothing is echoed back meanwhile.
    int slave = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
    if (slave >= 0) {
      termios t{};
      tcgetattr(slave, &t);
      cfmakeraw(&t);
      tcsetattr(slave, TCSANOW, &t);
      ::close(slave);
    }
  }
  ~PtyPair() { close_master(); }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& path() const { return path_; }
  bool ok() const { return master_ >= 0 && !path_.empty(); }

  void send(const std::vector<uint8_t>& octets) const
  {
    [[maybe_unused]] ssize_t n = ::write(master_, octets.data(), octets.size());
  }
  // What the far end receives within `timeout_ms`: at least `count` octets or all there was.
  std::vector<uint8_t> receive(std::size_t count, int timeout_ms) const
  {
    return receive_from(master_, count, timeout_ms);
  }
  // Hangs the line up: the slave side then fails every read.
  void close_master()
  {
    if (master_ >= 0)
      ::close(master_);
    master_ = -1;
  }

private:
  int master_ = -1;
  std::string path_;
};
