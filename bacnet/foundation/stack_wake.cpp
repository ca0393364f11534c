#include "bacnet/foundation/stack_wake.h"

namespace {

OsWake& wake()
{
  static OsWake instance;
  return instance;
}

}  // namespace

void stack_wake() { wake().signal(); }

OsWake::Result stack_wait(int milliseconds, int other_fd) { return wake().wait(milliseconds, other_fd); }
