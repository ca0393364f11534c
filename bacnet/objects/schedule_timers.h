// The timers of the Calendar and Schedule objects: a calendar's present value follows its
// date list; a schedule takes its value from the exception and weekly schedules (or its
// default), shows it as present value and writes it to the properties it references when it
// changes. Stack thread only, inside the object behaviour's tick.
#pragma once

#include <cstdint>

struct ObjectRecord;

// present-value := any entry of date-list covers the tick's local date.
void object_CalendarTimer(uint32_t owner, ObjectRecord* object);
// One evaluation at the tick time; writes go out only while the schedule is in effect and
// only when the value differs from the one last written out.
void object_ScheduleTimer(uint32_t owner, ObjectRecord* object);
