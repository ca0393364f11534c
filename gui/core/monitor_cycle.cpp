#include "gui/core/monitor_cycle.h"

namespace monitor {

int32_t PollIntervalMs(int16_t pollCycleSeconds)
{
  const int32_t seconds = pollCycleSeconds < 1 ? 1 : pollCycleSeconds;
  return seconds * 1000;
}

}  // namespace monitor
