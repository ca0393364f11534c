// The stack thread's wake-up: whoever hands the stack thread work (a port thread's received
// NPDU, a request put into the application layer's ring, an entry of the object database's
// queues, a stop) signals it, and the stack thread's wait between two passes ends at once.
// Any thread signals; only the stack thread waits. Must not stand in for a queue: the work
// itself travels through the rings, this only says that there is some.
#pragma once

#include "bacnet/foundation/os_wake.h"

void stack_wake();
// Waits up to `milliseconds` for a wake-up or, when `other_fd` is not -1, for that descriptor
// to become readable (a tool's command input). A wake-up is consumed.
OsWake::Result stack_wait(int milliseconds, int other_fd = -1);
