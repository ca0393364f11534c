#include "bacnet/objects/object_behaviour.h"

#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/objects/intrinsic_reporting.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"

namespace {

time_t g_tick_time = 0;

using ObjectTimer = void (*)(uint32_t owner, ObjectRecord* object, int tick_flag);

struct TimerRow {
  uint32_t type;
  ObjectTimer run;
};

void event_enrollment(uint32_t owner, ObjectRecord* object, int) { object_EventEnrollmentTimer(owner, object); }

template <void (*Timer)(uint32_t, int, ObjectRecord*)>
void reporting(uint32_t owner, ObjectRecord* object, int tick_flag)
{
  Timer(owner, tick_flag, object);
}

// One row per type that has a timer.
constexpr TimerRow kTimers[] = {
    {OBJECT_ANALOG_INPUT, reporting<object_AnalogInputTimer>},
    {OBJECT_ANALOG_OUTPUT, reporting<object_AnalogOutputTimer>},
    {OBJECT_ANALOG_VALUE, reporting<object_AnalogValueTimer>},
    {OBJECT_BINARY_INPUT, reporting<object_BinaryInputTimer>},
    {OBJECT_BINARY_OUTPUT, reporting<object_BinaryOutputTimer>},
    {OBJECT_BINARY_VALUE, reporting<object_BinaryValueTimer>},
    {OBJECT_EVENT_ENROLLMENT, event_enrollment},
    {OBJECT_MULTI_STATE_INPUT, reporting<object_MultiStateInputTimer>},
    {OBJECT_MULTI_STATE_OUTPUT, reporting<object_MultiStateOutputTimer>},
    {OBJECT_MULTI_STATE_VALUE, reporting<object_MultiStateValueTimer>},
};

}  // namespace

void object_Timer(uint32_t owner, ObjectRecord* object, int tick_flag)
{
  if (!object)
    return;
  for (const TimerRow& row : kTimers)
    if (row.type == object->type) {
      row.run(owner, object, tick_flag);
      return;
    }
}

void object_second_tick()
{
  OsTime now;
  os_get_time(&now);
  g_tick_time = time_t(now.seconds);
  objtable_walk([](const ObjectTableEntry& e) {
    object_Timer(e.owner, e.object, 1);
    return true;
  });
}

time_t object_tick_time() { return g_tick_time; }
