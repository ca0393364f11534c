#include "bacnet/objects/schedule_timers.h"

#include <algorithm>

#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/objects/object_behaviour.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace {

constexpr uint32_t kReliabilityUnreliableOther = 7;
constexpr uint32_t kReliabilityConfigurationError = 10;
constexpr uint32_t kLowestPriority = 16;
constexpr uint32_t kDaysOfWeek = 7;

// A TIME as one number, so that times sort and compare plainly.
uint32_t time_key(const BACnetTime& t)
{
  return uint32_t(t.hour) << 24 | uint32_t(t.minute) << 16 | uint32_t(t.second) << 8 | t.hundredths;
}

// The value of the last TimeValue not later than now (one TimeValue or a list of them,
// taken in time order; of equal times the one listed last); null when there is none. One
// pass without sorting: it runs for every schedule on every tick.
const BACnetValue* value_at(const BACnetValue& time_values, const BACnetTime& now)
{
  const uint32_t now_key = time_key(now);
  const BACnetValue* found = nullptr;
  uint32_t found_key = 0;
  value_each_record<BACnetTimeValue>(time_values, TAG_TIME_VALUE_LIST, [&](const BACnetTimeValue& tv) {
    uint32_t key = time_key(tv.time);
    if (key <= now_key && (!found || key >= found_key)) {
      found = &tv.value;
      found_key = key;
    }
    return true;
  });
  return found;
}

// The Calendar's present value for the tick: its date list judged for the tick date, as its
// own timer sets it in this tick. Its stored value may still be the previous day's, since
// the walk reaches objects in no set order.
bool calendar_is_true(uint32_t owner, const BACnetObjectId& calendar, time_t tick)
{
  ObjectRecord* record = object_Find(owner, calendar.type, calendar.instance);
  return record && record->type == OBJECT_CALENDAR &&
         calendar_matches_today(object_value(record, PROP_DATE_LIST), tick) == 0;
}

struct Today {
  time_t tick;
  BACnetDate date;
  BACnetTime time;
};

// The exception schedule's value of the best priority; `applies` tells whether any special
// event applies today at all.
const BACnetValue* exception_value(uint32_t owner, ObjectRecord* schedule, const Today& today, bool* applies)
{
  const BACnetValue* by_priority[kLowestPriority + 1] = {};
  *applies = false;
  const BACnetValue* events = object_value(schedule, PROP_EXCEPTION_SCHEDULE);
  const BACnetValueArray* list = events && events->tag == TAG_SPECIAL_EVENT_LIST ? value_array(events) : nullptr;
  for (uint32_t i = 0; list && i < list->used; ++i) {
    const auto* event = value_record<BACnetSpecialEvent>(&list->elements[i]);
    if (!event)
      continue;
    bool covered = event->period_choice == 0
                       ? calendar_entry_matches(&event->calendar_entry, today.tick) == 0
                       : event->period_choice == 1 && calendar_is_true(owner, event->calendar_reference, today.tick);
    if (!covered)
      continue;
    *applies = true;
    uint32_t priority = std::clamp<uint32_t>(event->priority, 1, kLowestPriority);
    if (!by_priority[priority])
      by_priority[priority] = value_at(event->time_values, today.time);
  }
  for (const BACnetValue* value : by_priority)
    if (value)
      return value;
  return nullptr;
}

const BACnetValue* weekly_value(ObjectRecord* schedule, const Today& today)
{
  const BACnetValue* weekly = object_value(schedule, PROP_WEEKLY_SCHEDULE);
  const BACnetValueArray* days = weekly && weekly->tag == TAG_DAILY_SCHEDULE_LIST ? value_array(weekly) : nullptr;
  if (!days || days->used != kDaysOfWeek || today.date.weekday < 1 || today.date.weekday > kDaysOfWeek)
    return nullptr;
  const auto* day = value_record<BACnetDailySchedule>(&days->elements[today.date.weekday - 1]);
  return day ? value_at(day->day_schedule, today.time) : nullptr;
}

// Writes the value to every referenced property (one reference or a list of them).
void write_references(uint32_t owner, ObjectRecord* schedule, const BACnetValue& value)
{
  const BACnetValue* refs = object_value(schedule, PROP_LIST_OF_OBJECT_PROPERTY_REFERENCES);
  uint8_t priority = uint8_t(*object_word(schedule, PROP_PRIORITY_FOR_WRITING));
  if (refs)
    value_each_record<BACnetDeviceObjectPropertyReference>(
        *refs, TAG_REFERENCE_LIST, [&](const BACnetDeviceObjectPropertyReference& ref) {
          behaviour_write_reference(owner, ref, &value, priority);
          return true;
        });
}

uint32_t reliability_of(uint32_t owner, ObjectRecord* schedule)
{
  const BACnetValue* refs = object_value(schedule, PROP_LIST_OF_OBJECT_PROPERTY_REFERENCES);
  if (const auto* single = value_record<BACnetDeviceObjectPropertyReference>(refs))
    return single->object.type == 999 ? kReliabilityUnreliableOther : 0;
  const BACnetValueArray* list = refs && refs->tag == TAG_REFERENCE_LIST ? value_array(refs) : nullptr;
  if (!list)
    return kReliabilityUnreliableOther;
  for (uint32_t i = 0; i < list->used; ++i)
    if (const auto* ref = value_record<BACnetDeviceObjectPropertyReference>(&list->elements[i]))
      if (behaviour_write_failed(owner, *ref))
        return kReliabilityConfigurationError;
  return 0;
}

void write_field(uint32_t owner, ObjectRecord* record, uint32_t property, BACnetValue* value)
{
  object_PropertyFunction(-1, owner, record, property, -1, PROPERTY_WRITE, value, 0);
}

}  // namespace

void object_CalendarTimer(uint32_t owner, ObjectRecord* object)
{
  uint8_t covered = calendar_matches_today(object_value(object, PROP_DATE_LIST), object_tick_time()) == 0 ? 1 : 0;
  BACnetValue pv{};
  value_set_boolean(&covered, &pv);
  write_field(owner, object, PROP_PRESENT_VALUE, &pv);
}

void object_ScheduleTimer(uint32_t owner, ObjectRecord* object)
{
  Today today{object_tick_time(), {}, {}};
  time_t_to_bacnet_date(&today.date, today.tick);
  time_t_to_bacnet_time(&today.time, today.tick);
  const BACnetDateRange* period = object_daterange(object, PROP_EFFECTIVE_PERIOD);
  bool in_effect = period && value_compare_date(&period->start, &today.date) <= 0 &&
                   value_compare_date(&today.date, &period->end) <= 0;
  bool out_of_service = *object_boolean(object, PROP_OUT_OF_SERVICE) != 0;

  const BACnetValue* chosen = out_of_service ? object_value(object, PROP_PRESENT_VALUE)
                                             : object_value(object, PROP_SCHEDULE_DEFAULT);
  if (in_effect && !out_of_service) {
    bool exceptions_apply = false;
    chosen = exception_value(owner, object, today, &exceptions_apply);
    if (!exceptions_apply)
      chosen = weekly_value(object, today);
  }
  if (!chosen || chosen->tag == TAG_NULL)
    chosen = object_value(object, PROP_SCHEDULE_DEFAULT);
  OwnedValue value;
  value_assign(value.get(), chosen, -1);
  write_field(owner, object, PROP_PRESENT_VALUE, value.get());

  BACnetValue* written = object_value(object, FIELD_SCHEDULE_WRITTEN);
  if (in_effect && value_order(value.get(), written) != 0) {
    value_free(written);
    value_assign(written, value.get(), -1);
    *object_word(object, FIELD_SCHEDULE_WRITTEN_AT) = os_wall_seconds();
    write_references(owner, object, *value);
  }

  uint32_t reliability = reliability_of(owner, object);
  *object_word(object, PROP_RELIABILITY) = reliability;
  uint8_t flags[4] = {0, uint8_t(reliability != 0), 0, uint8_t(out_of_service)};
  bitstring_set(object_bits(object, PROP_STATUS_FLAGS), flags, 4);
}
