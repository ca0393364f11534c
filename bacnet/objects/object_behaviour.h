// The once-a-second object behaviour: the tick takes the time and walks the object table,
// and object_Timer runs one object's timer by its type from a table of per-type timers
// (the reporting timers today; calendars, schedules, trend logs and the Device join it as
// rows). Stack thread only; a timer must return quickly and never block.
#pragma once

#include <cstdint>
#include <ctime>

struct ObjectRecord;

// Runs the timer of the object's type; types without one do nothing. The tick flag is 1
// from the table walk and 0 when a write or an acknowledgment runs it out of turn.
void object_Timer(uint32_t owner, ObjectRecord* object, int tick_flag);

// Called by the stack thread whenever the wall-clock second changes: stores the tick time
// and runs every object's timer with the tick flag 1.
void object_second_tick();

// The system time in whole seconds taken at the start of the last tick (0 before the first).
time_t object_tick_time();
