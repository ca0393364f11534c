// The stack's centisecond tick: follows the wall clock in steps of up to ten seconds and
// stands still across a backward step or a larger forward jump, so timers built on it never
// see time run backwards or leap. Updated by the stack thread on every pass; read by the
// cache and the MS/TP timers. Must not be driven from any other thread.
#pragma once

#include <cstdint>

void clock_update();
uint32_t clock_get_tick();
// Back to the initial state (all words 0); the next update starts the tick at 0.
void clock_reset();
