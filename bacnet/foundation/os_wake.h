// A wake-up that a thread can wait on together with a descriptor of its own (a socket, a
// serial line, a capture handle): any thread signals it, the waiting thread's poll() returns
// at once. Signals do not queue up; one wait consumes all that came before it, and a signal
// while one is pending costs no system call.
// Owned by the thread that waits; signal() is safe from any thread, also during a wait.
#pragma once

#include <atomic>
#include <cstdint>

class OsWake {
public:
  OsWake();
  ~OsWake();
  OsWake(const OsWake&) = delete;
  OsWake& operator=(const OsWake&) = delete;

  void signal();
  // Consumes pending signals without waiting.
  void clear();
  // The descriptor to poll for POLLIN; -1 when it could not be made (waits then only time out).
  int fd() const { return fd_; }

  enum Result { kTimeout = 0, kSignalled = 1, kReadable = 2, kFailed = -1 };
  // Waits up to `milliseconds` (negative: without end) for a signal or, when `other_fd` is not
  // -1, for `other_fd` to become readable. A signal is consumed; readable wins over signalled.
  // With `spin_us`, the thread first stays on its processor that long, looking without
  // sleeping: a thread that expects work soon is spared falling asleep and being woken, which
  // costs more than the work on a virtual machine.
  Result wait(int milliseconds, int other_fd = -1, int spin_us = 0);

private:
  void spin(int microseconds, int other_fd);

  int fd_ = -1;
  // Set by the signal that wrote the descriptor, cleared by the wait that read it: later
  // signals see it set and skip the write.
  std::atomic<bool> pending_{false};
};
