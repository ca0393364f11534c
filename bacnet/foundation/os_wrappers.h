// Thin wrappers over the operating system: semaphores, the clock, local time and the two
// file helpers of the log writer. The clock goes through a replaceable source so that tests
// drive every timer of the stack without sleeping or touching the host clock.
#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>

// Counting semaphore, initial count 0, maximum 2056.
struct OsSemaphore;
using OsSemaphoreHandle = OsSemaphore*;

int os_semaphore_create(OsSemaphoreHandle* handle);
int os_semaphore_wait(OsSemaphoreHandle* handle);
// Waits at most `milliseconds`; 0 when signalled, -1 on time-out.
int os_semaphore_wait_for(OsSemaphoreHandle* handle, int64_t milliseconds);
int os_semaphore_release(OsSemaphoreHandle* handle);
int os_semaphore_close(OsSemaphoreHandle* handle);

// Wall-clock reading: seconds since 1970 and the microseconds within that second.
struct OsTime {
  uint32_t seconds = 0;
  uint32_t microseconds = 0;
};
int os_get_time(OsTime* time);
// The wall clock's whole seconds since 1970, as os_get_time gives them.
uint32_t os_wall_seconds();

// Local broken-down time of now, in one record that every call overwrites (read it under the lock).
const std::tm* os_local_time();

// Monotonic milliseconds for transaction and interval timers; never jumps with the wall clock.
int64_t os_monotonic_ms();

// The time source behind os_get_time, os_local_time and os_monotonic_ms.
class OsClock {
public:
  virtual ~OsClock() = default;
  virtual OsTime wall() = 0;
  virtual int64_t monotonic_ms() = 0;
};
// Installs a clock (tests); null restores the system clock. The caller keeps ownership.
void os_set_clock(OsClock* clock);

// A clock that moves only when told to.
class ManualClock : public OsClock {
public:
  OsTime wall() override;
  int64_t monotonic_ms() override;
  void set_wall(uint32_t seconds, uint32_t microseconds = 0);
  void advance_ms(int64_t ms);

private:
  // A test moves the clock on its own thread while blocking calls and the stack read it on
  // theirs; the global lock is no help there, as the readers may hold it.
  std::mutex mutex_;
  OsTime now_{};
  int64_t monotonic_ = 0;
};

// Keeps the end of a growing text file: once it is larger than `max`, only the lines that
// begin in its last (max - keep) bytes stay. 0 done or nothing to do, 1 refused or failed.
int file_cut_head(const char* path, int32_t keep, int32_t max, const char* temp_path);
// Sets the file's length; 0, or -1 when it cannot be opened.
int file_change_size(const char* path, int64_t length);
