#include "bacnet/foundation/os_wake.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

OsWake::OsWake() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

OsWake::~OsWake()
{
  if (fd_ >= 0)
    close(fd_);
}

void OsWake::signal()
{
  if (fd_ < 0 || pending_.exchange(true, std::memory_order_acq_rel))
    return;
  uint64_t one = 1;
  // A full counter (EAGAIN) is a signal already pending: nothing is lost.
  [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
}

void OsWake::clear()
{
  if (fd_ < 0)
    return;
  uint64_t count;
  [[maybe_unused]] ssize_t n = read(fd_, &count, sizeof count);
  // After the read: a signal between the two found the flag set and wrote nothing, and this
  // exchange makes what it published visible to the waiter, which is about to look for work.
  pending_.exchange(false, std::memory_order_acq_rel);
}

void OsWake::spin(int microseconds, int other_fd)
{
  using std::chrono::steady_clock;
  const auto until = steady_clock::now() + std::chrono::microseconds(microseconds);
  do {
    if (pending_.load(std::memory_order_acquire))
      return;
    if (other_fd >= 0) {
      pollfd other{other_fd, POLLIN, 0};
      if (poll(&other, 1, 0) != 0)
        return;
    }
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  } while (steady_clock::now() < until);
}

OsWake::Result OsWake::wait(int milliseconds, int other_fd, int spin_us)
{
  if (spin_us > 0 && milliseconds != 0)
    spin(spin_us, other_fd);
  // A signal already pending needs no poll when there is no descriptor to look at as well.
  if (other_fd < 0 && pending_.load(std::memory_order_acquire)) {
    clear();
    return kSignalled;
  }
  pollfd fds[2];
  nfds_t n = 0;
  if (other_fd >= 0)
    fds[n++] = {other_fd, POLLIN, 0};
  const nfds_t wake_index = n;
  if (fd_ >= 0)
    fds[n++] = {fd_, POLLIN, 0};
  int rc;
  do {
    rc = poll(fds, n, milliseconds);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0)
    return kFailed;
  if (rc == 0)
    return kTimeout;
  bool signalled = fd_ >= 0 && (fds[wake_index].revents & POLLIN);
  if (signalled)
    clear();
  if (other_fd >= 0 && fds[0].revents)
    return kReadable;  // also POLLERR/POLLHUP: the reader finds out what happened
  return signalled ? kSignalled : kTimeout;
}
