#include "bacnet/foundation/stack_wake.h"

namespace {

constexpr int kBusySpinUs = 100;

OsWake& wake()
{
  static OsWake instance;
  return instance;
}

}  // namespace

void stack_wake() { wake().signal(); }

OsWake::Result stack_wait(int milliseconds, int other_fd)
{
  // Work that came by wake-up is often followed by more (the next request of a busy client):
  // a busy stack thread looks a moment longer before it sleeps.
  thread_local bool busy = false;
  OsWake::Result result = wake().wait(milliseconds, other_fd, busy ? kBusySpinUs : 0);
  busy = result == OsWake::kSignalled;
  return result;
}
