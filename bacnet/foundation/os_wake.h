// A wake-up that a thread can wait on together with a descriptor of its own (a socket, a
// serial line, a capture handle): any thread signals it, the waiting thread's poll() returns
// at once. Signals do not queue up; one wait consumes all that came before it, and a signal
// costs a system call only when the waiter actually sleeps.
// Owned by the thread that waits; signal() is safe from any thread, also during a wait.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <poll.h>

// How a look gives the processor away and reads the clock: sched_yield() and the steady clock,
// or a test's stand-ins.
struct OsLookSeams {
  void (*offer)();
  std::chrono::steady_clock::time_point (*now)();
};

// A look for work before a thread sleeps, for a thread that expects some soon (the answer to
// what it just handed on): it is spared falling asleep and being woken, which costs more than
// the work on a virtual machine. Every turn gives the processor to any other thread that wants
// it, so the look costs a processor only while one is free and the thread given work runs at
// once. A turn that another thread held for longer than the whole look ends the look; a thread
// that loses its turns often (a busy process shares its processors) pauses its looks and
// sleeps at once, since a sleeper that is woken gets the processor back soon, while a looker
// waits behind that process for its next time slice. Per thread.
class OsLook {
public:
  explicit OsLook(int microseconds, const OsLookSeams* seams = nullptr);
  ~OsLook();  // a look that offered the processor counts, lost or not
  OsLook(const OsLook&) = delete;
  OsLook& operator=(const OsLook&) = delete;
  // The first turn comes at once, every other after the processor was offered; false once the
  // look is over, at once for a thread whose looks stopped.
  bool next_turn();

private:
  const OsLookSeams& seams_;
  std::chrono::steady_clock::duration length_;
  std::chrono::steady_clock::time_point until_;
  bool first_ = true;
  bool over_ = false;
  bool offered_ = false;
  bool lost_ = false;
};

// Looks up to `microseconds` until `found()` is true; whether it was.
template <class Found>
bool os_look_for(int microseconds, Found found)
{
  for (OsLook look(microseconds); look.next_turn();)
    if (found())
      return true;
  return false;
}

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
  // With `spin_us`, the thread first looks that long without sleeping (an OsLook).
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
