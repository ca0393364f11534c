#include "gui/core/modbus_timing.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace modbus {
namespace {

int clamp_interval(int64_t ms, int64_t upper) { return int(std::clamp<int64_t>(ms, kMinInterval, upper)); }

}  // namespace

int block_interval_ms(int16_t answer_delay, int base)
{
  return clamp_interval(2 * int64_t(answer_delay) + base, kMaxRequestInterval);
}

int monitor_interval_ms(int16_t answer_delay, int base)
{
  return clamp_interval(int64_t(answer_delay) + base, kMaxRequestInterval);
}

int status_duration_ms(int32_t step, int16_t answer_delay)
{
  const int64_t basic = 2 * int64_t(answer_delay) + 200;
  int64_t factor = 1;
  if (step == 1)
    factor = 10;
  else if (step == 2 || step == 5)
    factor = 35;
  return clamp_interval(basic * factor, INT_MAX);
}

int status_tick_ms(int duration_ms)
{
  // Halves go to the even neighbour, like every rounding of the program.
  return clamp_interval(int64_t(std::nearbyint(duration_ms / 10.0)), INT_MAX);
}

}  // namespace modbus
