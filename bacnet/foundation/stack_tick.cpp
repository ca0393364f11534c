#include "bacnet/foundation/stack_tick.h"

#include "bacnet/foundation/os_wrappers.h"

#include <atomic>

namespace {

constexpr int32_t kLargestStep = 1000;  // ten seconds in centiseconds

// All three words wrap at 32 bits; steps are their signed differences.
uint32_t g_last = 0;
uint32_t g_offset = 0;
// Read by the cache's callers on API threads too.
std::atomic<uint32_t> g_tick{0};

}  // namespace

void clock_update()
{
  OsTime now;
  os_get_time(&now);
  uint32_t reading = now.seconds * 100u + now.microseconds / 10000u;
  int32_t step = int32_t(reading - g_last);
  if (step < 0 || step > kLargestStep)
    g_offset += uint32_t(step);
  g_last = reading;
  g_tick = reading - g_offset;
}

uint32_t clock_get_tick() { return g_tick; }

void clock_reset()
{
  g_last = 0;
  g_offset = 0;
  g_tick = 0;
}
