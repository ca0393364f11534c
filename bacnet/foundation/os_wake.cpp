#include "bacnet/foundation/os_wake.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// A turn that another thread held for longer than the whole look was lost to a busy process:
// it costs a time slice (milliseconds), where a look that finds work spares tens of
// microseconds. A thread that loses a look now and then goes on looking; one that loses more
// than one in four of the looks that offered the processor pauses its looks, and a thread that
// loses again soon after its pause pauses twice as long, up to a second.
constexpr double kLossShareForPause = 1.0 / 4;
constexpr double kLossShareWeight = 1.0 / 8;  // of the newest look in the running share
constexpr auto kShortestPause = std::chrono::milliseconds(5);
constexpr auto kLongestPause = std::chrono::milliseconds(1000);

struct LookRecord {
  double lost_share = 0;
  std::chrono::steady_clock::time_point paused_until{};
  std::chrono::steady_clock::duration pause = kShortestPause;
};
thread_local LookRecord t_looks;

void note_look(bool lost, std::chrono::steady_clock::time_point now)
{
  t_looks.lost_share += ((lost ? 1.0 : 0.0) - t_looks.lost_share) * kLossShareWeight;
  if (!lost || t_looks.lost_share <= kLossShareForPause)
    return;
  const bool lost_soon_again = now - t_looks.paused_until < t_looks.pause;
  t_looks.pause = lost_soon_again ? std::min<std::chrono::steady_clock::duration>(2 * t_looks.pause, kLongestPause)
                                  : std::chrono::steady_clock::duration(kShortestPause);
  t_looks.paused_until = now + t_looks.pause;
}

void offer_the_processor() { sched_yield(); }
std::chrono::steady_clock::time_point steady_now() { return std::chrono::steady_clock::now(); }
constexpr OsLookSeams kSystemSeams{offer_the_processor, steady_now};

}  // namespace

OsLook::~OsLook()
{
  if (offered_)
    note_look(lost_, seams_.now());
}

OsLook::OsLook(int microseconds, const OsLookSeams* seams)
    : seams_(seams ? *seams : kSystemSeams), length_(std::chrono::microseconds(microseconds))
{
  const auto now = seams_.now();
  over_ = microseconds <= 0 || now < t_looks.paused_until;
  until_ = now + length_;
}

bool OsLook::next_turn()
{
  if (over_)
    return false;
  if (first_) {
    first_ = false;
    return true;
  }
  const auto offered = seams_.now();
  seams_.offer();
  const auto back = seams_.now();
  offered_ = true;
  lost_ = over_ = back - offered > length_;
  return !over_ && back < until_;
}

OsWake::OsWake() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

OsWake::~OsWake()
{
  if (fd_ >= 0)
    close(fd_);
}

void OsWake::signal()
{
  // The flag carries the signal; the descriptor only wakes a waiter that sleeps in poll().
  // Both sides use sequential consistency: either the waiter sees the flag before it goes to
  // sleep, or this side sees it asleep and writes.
  if (pending_.exchange(true, std::memory_order_seq_cst))
    return;
  if (fd_ >= 0 && sleeping_.load(std::memory_order_seq_cst)) {
    uint64_t one = 1;
    // A full counter (EAGAIN) is a wake-up already pending: nothing is lost.
    [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
  }
}

void OsWake::drain()
{
  if (fd_ < 0)
    return;
  uint64_t count;
  [[maybe_unused]] ssize_t n = read(fd_, &count, sizeof count);
}

void OsWake::spin(int microseconds, int other_fd, short events)
{
  os_look_for(microseconds, [&] {
    if (pending_.load(std::memory_order_acquire))
      return true;
    pollfd other{other_fd, events, 0};
    return other_fd >= 0 && poll(&other, 1, 0) != 0;
  });
}

OsWake::Result OsWake::wait(int milliseconds, int other_fd, int spin_us, short events, short* revents)
{
  if (revents)
    *revents = 0;
  if (spin_us > 0 && milliseconds != 0)
    spin(spin_us, other_fd, events);
  // A signal already there needs no system call when there is no descriptor to look at too.
  if (other_fd < 0 && pending_.exchange(false, std::memory_order_acq_rel))
    return kSignalled;

  using std::chrono::steady_clock;
  const auto started = milliseconds > 0 ? steady_clock::now() : steady_clock::time_point{};
  pollfd fds[2];
  nfds_t n = 0;
  if (other_fd >= 0)
    fds[n++] = {other_fd, events, 0};
  const nfds_t wake_index = n;
  if (fd_ >= 0)
    fds[n++] = {fd_, POLLIN, 0};
  int rc;
  for (int left = milliseconds;;) {
    sleeping_.store(true, std::memory_order_seq_cst);
    // Looked at after announcing the sleep: a signal before this point is seen here, one after
    // it writes the descriptor.
    int timeout = pending_.load(std::memory_order_seq_cst) ? 0 : left;
    do {
      rc = poll(fds, n, timeout);
    } while (rc < 0 && errno == EINTR);
    sleeping_.store(false, std::memory_order_relaxed);
    if (rc > 0 && fd_ >= 0 && (fds[wake_index].revents & POLLIN))
      drain();
    // Woken by the descriptor alone, with no signal: it was written for a signal that an
    // earlier wait took (that one saw the flag just before it slept). It wakes nobody; the wait
    // goes on for the time it has left.
    if (rc != 1 || fd_ < 0 || !(fds[wake_index].revents & POLLIN) || left == 0 ||
        pending_.load(std::memory_order_seq_cst))
      break;
    if (milliseconds > 0) {
      const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - started);
      left = int(std::max<int64_t>(0, milliseconds - waited.count()));
    }
  }
  bool signalled = pending_.exchange(false, std::memory_order_acq_rel);
  if (rc < 0)
    return kFailed;
  if (rc > 0 && other_fd >= 0 && fds[0].revents) {
    if (revents)
      *revents = fds[0].revents;
    return kReadable;
  }  // also POLLERR/POLLHUP: the reader finds out what happened
  return signalled ? kSignalled : kTimeout;
}
