// Pacing of the BACnet monitor: the poll cycle as a timer interval, and the guard that
// keeps two monitor cycles from running at once (they share the job file, the log and the
// value files). User-interface thread only.
#pragma once

#include <cstdint>

namespace monitor {

// Milliseconds between two cycles, computed in 32 bits so that the dialog's 100 s fit; a
// cycle below one second counts as one second, so a timer never spins.
int32_t PollIntervalMs(int16_t pollCycleSeconds);

// One cycle at a time: Begin fails while a cycle runs, and the tick that asked is skipped.
class CycleGuard {
public:
  bool Begin()
  {
    if (running_)
      return false;
    running_ = true;
    return true;
  }
  void End() { running_ = false; }
  bool Running() const { return running_; }

private:
  bool running_ = false;
};

}  // namespace monitor
