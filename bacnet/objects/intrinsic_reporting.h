// The reporting timers of the local objects: for each Analog, Binary and Multi-state Input,
// Output and Value object the event-state evaluation with limits, time delay and enables,
// the event notifications of committed transitions, the acknowledgment notifications, the
// status flags, the COV notifications and the count-down of subscription lifetimes; and the
// Event Enrollment's algorithms over a monitored property. Stack thread only, inside the
// object behaviour; must not keep a record pointer past the run.
#pragma once

#include <cstdint>

struct ObjectRecord;

// The tick flag is 1 for the once-a-second run and 0 for the extra run after a write or an
// acknowledgment; only tick runs count time (time delays, lifetimes, elapsed active time).
void object_AnalogInputTimer(uint32_t owner, int tick_flag, ObjectRecord* object);
void object_AnalogOutputTimer(uint32_t owner, int tick_flag, ObjectRecord* object);
void object_AnalogValueTimer(uint32_t owner, int tick_flag, ObjectRecord* object);
void object_BinaryInputTimer(uint32_t owner, int tick_flag, ObjectRecord* object);
void object_BinaryOutputTimer(uint32_t owner, int tick_flag, ObjectRecord* object);
void object_BinaryValueTimer(uint32_t owner, int tick_flag, ObjectRecord* object);
void object_MultiStateInputTimer(uint32_t owner, int tick_flag, ObjectRecord* object);
void object_MultiStateOutputTimer(uint32_t owner, int tick_flag, ObjectRecord* object);
void object_MultiStateValueTimer(uint32_t owner, int tick_flag, ObjectRecord* object);
// Tick runs and extra runs are the same for an Event Enrollment.
void object_EventEnrollmentTimer(uint32_t owner, ObjectRecord* object);
