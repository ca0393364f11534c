#include "bacnet/foundation/os_wrappers.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <semaphore>

struct OsSemaphore {
  static constexpr int kMax = 2056;
  std::counting_semaphore<kMax> semaphore{0};
  std::atomic<int> count{0};
};

int os_semaphore_create(OsSemaphoreHandle* handle)
{
  if (!handle)
    return -1;
  *handle = new OsSemaphore;
  return 0;
}

int os_semaphore_wait(OsSemaphoreHandle* handle)
{
  if (!handle || !*handle)
    return -1;
  (*handle)->semaphore.acquire();
  --(*handle)->count;
  return 0;
}

int os_semaphore_wait_for(OsSemaphoreHandle* handle, int64_t milliseconds)
{
  if (!handle || !*handle)
    return -1;
  if (!(*handle)->semaphore.try_acquire_for(std::chrono::milliseconds(milliseconds)))
    return -1;
  --(*handle)->count;
  return 0;
}

int os_semaphore_release(OsSemaphoreHandle* handle)
{
  if (!handle || !*handle)
    return -1;
  OsSemaphore& s = **handle;
  // Refuse beyond the maximum, as the system semaphore does, instead of overflowing.
  int before = s.count.load();
  do {
    if (before >= OsSemaphore::kMax)
      return -1;
  } while (!s.count.compare_exchange_weak(before, before + 1));
  s.semaphore.release();
  return 0;
}

int os_semaphore_close(OsSemaphoreHandle* handle)
{
  if (!handle || !*handle)
    return -1;
  delete *handle;
  *handle = nullptr;
  return 0;
}

namespace {

class SystemClock : public OsClock {
public:
  OsTime wall() override
  {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return {static_cast<uint32_t>(tv.tv_sec), static_cast<uint32_t>(tv.tv_usec)};
  }
  int64_t monotonic_ms() override
  {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
};

SystemClock g_system_clock;
std::atomic<OsClock*> g_clock{&g_system_clock};
std::tm g_local_time{};

}  // namespace

void os_set_clock(OsClock* clock) { g_clock = clock ? clock : &g_system_clock; }

OsTime ManualClock::wall()
{
  std::lock_guard<std::mutex> held(mutex_);
  return now_;
}

int64_t ManualClock::monotonic_ms()
{
  std::lock_guard<std::mutex> held(mutex_);
  return monotonic_;
}

void ManualClock::set_wall(uint32_t seconds, uint32_t microseconds)
{
  std::lock_guard<std::mutex> held(mutex_);
  now_ = {seconds, microseconds};
}

void ManualClock::advance_ms(int64_t ms)
{
  std::lock_guard<std::mutex> held(mutex_);
  monotonic_ += ms;
  uint64_t micro = uint64_t(now_.microseconds) + uint64_t(ms) * 1000;
  now_.seconds += uint32_t(micro / 1000000);
  now_.microseconds = uint32_t(micro % 1000000);
}

int os_get_time(OsTime* time)
{
  if (time)
    *time = g_clock.load()->wall();
  return 0;
}

uint32_t os_wall_seconds() { return g_clock.load()->wall().seconds; }

const std::tm* os_local_time()
{
  std::time_t seconds = g_clock.load()->wall().seconds;
  localtime_r(&seconds, &g_local_time);
  return &g_local_time;
}

int64_t os_monotonic_ms() { return g_clock.load()->monotonic_ms(); }

int file_change_size(const char* path, int64_t length)
{
  int fd = open(path, O_RDWR | O_CREAT, 0666);
  if (fd < 0)
    return -1;
  int rc = ftruncate(fd, length);
  close(fd);
  return rc == 0 ? 0 : -1;
}

int file_cut_head(const char* path, int32_t keep, int32_t max, const char* temp_path)
{
  if (!path || keep < 1 || max < 1 || keep > max)
    return 1;
  FILE* in = std::fopen(path, "rb");
  if (!in)
    return 1;
  std::fseek(in, 0, SEEK_END);
  long size = std::ftell(in);
  if (size <= max) {
    std::fclose(in);
    return 0;
  }
  FILE* out = temp_path ? std::fopen(temp_path, "wb") : std::fopen(path, "r+b");
  if (!out) {
    std::fclose(in);
    return 1;
  }

  long start = size - max + keep;
  if (start < 0)
    start = 0;
  std::fseek(in, start, SEEK_SET);
  int c;
  while ((c = std::fgetc(in)) != EOF && c != '\n') {
  }
  long tail_start = std::ftell(in);
  long tail = size - tail_start;
  if (tail < 0) {
    std::fclose(in);
    std::fclose(out);
    return 1;
  }

  long read_pos = tail_start;
  long write_pos = 0;
  char chunk[1024];
  for (long left = tail; left > 0;) {
    size_t n = left < long(sizeof chunk) ? size_t(left) : sizeof chunk;
    std::fseek(in, read_pos, SEEK_SET);
    if (std::fread(chunk, 1, n, in) != n) {
      std::fclose(in);
      std::fclose(out);
      return 1;
    }
    std::fseek(out, write_pos, SEEK_SET);
    if (std::fwrite(chunk, 1, n, out) != n) {
      std::fclose(in);
      std::fclose(out);
      return 1;
    }
    std::fflush(out);
    read_pos += long(n);
    write_pos += long(n);
    left -= long(n);
  }
  std::fclose(in);
  std::fclose(out);

  if (!temp_path)
    return file_change_size(path, tail) != 0 ? 1 : 0;
  return std::rename(temp_path, path) != 0 ? 1 : 0;
}
