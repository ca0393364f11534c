// A wake-up that a thread can wait on together with a descriptor of its own (a socket, a
// serial line, a capture handle): any thread signals it, the waiting thread's poll() returns
// at once. Signals do not queue up; one wait consumes all that came before it, and a signal
// costs a system call only when the waiter actually sleeps.
// Owned by the thread that waits; signal() is safe from any thread, also during a wait.
#pragma once

#include <atomic>
#include <cstdint>
#include <poll.h>

class OsWake {
public:
  OsWake();
  ~OsWake();
  OsWake(const OsWake&) = delete;
  OsWake& operator=(const OsWake&) = delete;

  void signal();

  enum Result { kTimeout = 0, kSignalled = 1, kReadable = 2, kFailed = -1 };
  // Waits up to `milliseconds` (negative: without end) for a signal or, when `other_fd` is not
  // -1, for `other_fd` to become readable. A signal is consumed; readable wins over signalled.
  // Without the system's wake-up descriptor (it could not be made) waits only time out.
  // With `spin_us`, the thread first stays on its processor that long, looking without
  // sleeping: a thread that expects work soon is spared falling asleep and being woken, which
  // costs more than the work on a virtual machine.
  // `events` are the poll() events looked for on `other_fd`; what came is left in `revents`.
  Result wait(int milliseconds, int other_fd = -1, int spin_us = 0, short events = POLLIN,
              short* revents = nullptr);

private:
  void spin(int microseconds, int other_fd, short events);
  void drain();

  int fd_ = -1;
  // The signal itself: set by signal(), taken by the wait that returns it.
  std::atomic<bool> pending_{false};
  // Set while the waiter sleeps in poll(): only then does a signal write the descriptor, so a
  // busy or spinning waiter is signalled without a system call.
  std::atomic<bool> sleeping_{false};
};
