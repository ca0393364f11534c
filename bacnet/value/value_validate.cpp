// Validators of written dates, times and schedules, calendar matching and the time-stamp
// arithmetic of the timers (declared in value_compare.h).
#include <ctime>

#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_compare.h"
#include "bacnet/value/value_time.h"

namespace {


bool field_ok(uint8_t v, uint8_t low, uint8_t high)
{
  return v == VALUE_ANY || (v >= low && v <= high);
}

bool leap_year(int year)
{
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Monday 1 .. Sunday 7 of a Gregorian date.
int weekday_of(int year, int month, int day)
{
  // Days since 1970-01-01 (a Thursday) by the civil-from-days inverse.
  int y = month <= 2 ? year - 1 : year;
  int era = (y >= 0 ? y : y - 399) / 400;
  int yoe = y - era * 400;
  int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  long days = long(era) * 146097 + doe - 719468;
  long w = (days + 3) % 7;  // 0 Monday
  if (w < 0)
    w += 7;
  return int(w) + 1;
}

}  // namespace

int date_validate(const BACnetDate* date)
{
  if (!date)
    return VALUE_INCONSISTENT_PARAMETERS;
  if (!field_ok(date->month, 1, 14) || !field_ok(date->day, 1, 32) || !field_ok(date->weekday, 1, 7) ||
      !field_ok(date->year, 0, 136))
    return VALUE_OUT_OF_RANGE;
  bool month_given = date->month >= 1 && date->month <= 12;
  bool day_given = date->day >= 1 && date->day <= 31;
  if (month_given && day_given) {
    int limit = 31;
    switch (date->month) {
    case 4:
    case 6:
    case 9:
    case 11:
      limit = 30;
      break;
    case 2:
      limit = date->year == VALUE_ANY || leap_year(1900 + date->year) ? 29 : 28;
      break;
    default:
      break;
    }
    if (date->day > limit)
      return VALUE_OUT_OF_RANGE;
    if (date->year != VALUE_ANY && date->weekday != VALUE_ANY &&
        weekday_of(1900 + date->year, date->month, date->day) != date->weekday)
      return VALUE_OUT_OF_RANGE;
  }
  return VALUE_OK;
}

int time_validate(const BACnetTime* time)
{
  if (!time)
    return VALUE_INCONSISTENT_PARAMETERS;
  if (!field_ok(time->hour, 0, 23) || !field_ok(time->minute, 0, 59) || !field_ok(time->second, 0, 59) ||
      !field_ok(time->hundredths, 0, 99))
    return VALUE_OUT_OF_RANGE;
  return VALUE_OK;
}

int datetime_validate(const BACnetDateTime* datetime)
{
  if (!datetime)
    return VALUE_INCONSISTENT_PARAMETERS;
  if (int r = date_validate(&datetime->date))
    return r;
  return time_validate(&datetime->time);
}

int daterange_validate(const BACnetDateRange* range)
{
  if (!range)
    return VALUE_INCONSISTENT_PARAMETERS;
  if (int r = date_validate(&range->start))
    return r;
  return date_validate(&range->end);
}

int weeknday_validate(const BACnetWeekNDay* weeknday)
{
  if (!weeknday)
    return VALUE_INCONSISTENT_PARAMETERS;
  if (!field_ok(weeknday->month, 1, 14) || !field_ok(weeknday->week, 1, 6) || !field_ok(weeknday->weekday, 1, 7))
    return VALUE_OUT_OF_RANGE;
  return VALUE_OK;
}

int calendar_entry_validate(const BACnetCalendarEntry* entry)
{
  if (!entry)
    return VALUE_INCONSISTENT_PARAMETERS;
  switch (entry->choice) {
  case 0:
    return date_validate(&entry->date);
  case 1:
    return daterange_validate(&entry->range);
  case 2:
    return weeknday_validate(&entry->weeknday);
  default:
    return VALUE_INCONSISTENT_PARAMETERS;
  }
}

int timelist_validate(const BACnetValue* value)
{
  if (!value)
    return VALUE_BAD_ARGUMENT;
  if (value->tag == TAG_TIME_VALUE) {
    const auto* tv = value_record<BACnetTimeValue>(value);
    return tv ? time_validate(&tv->time) : VALUE_INCONSISTENT_PARAMETERS;
  }
  if (value->tag == TAG_TIME_VALUE_LIST) {
    const BACnetValueArray* list = value->payload.array;
    for (uint32_t i = 0; list && i < list->used; ++i) {
      const auto* tv = value_record<BACnetTimeValue>(&list->elements[i]);
      if (!tv)
        return VALUE_INVALID_DATA_TYPE;
      if (int r = time_validate(&tv->time))
        return r;
    }
  }
  return VALUE_OK;
}

int special_event_validate(const BACnetSpecialEvent* event)
{
  if (!event)
    return VALUE_INCONSISTENT_PARAMETERS;
  if (event->priority < 1 || event->priority > 16)
    return VALUE_OUT_OF_RANGE;
  if (event->period_choice == 0) {
    if (int r = calendar_entry_validate(&event->calendar_entry))
      return r;
  } else if (event->period_choice == 1) {
    if (event->calendar_reference.type != OBJECT_CALENDAR)
      return VALUE_OUT_OF_RANGE;
  } else {
    return VALUE_INCONSISTENT_PARAMETERS;
  }
  return timelist_validate(&event->time_values);
}

int destination_validate(const BACnetDestination* destination)
{
  if (!destination)
    return VALUE_INCONSISTENT_PARAMETERS;
  if (int r = time_validate(&destination->from))
    return r;
  if (int r = time_validate(&destination->to))
    return r;
  if (destination->transitions.capacity != 3 || destination->valid_days.capacity != 7)
    return VALUE_OUT_OF_RANGE;
  switch (destination->recipient.choice) {
  case 0:
    return destination->recipient.device.type == OBJECT_DEVICE ? VALUE_OK : VALUE_OUT_OF_RANGE;
  case 1:
    return VALUE_OK;
  default:
    return VALUE_INCONSISTENT_PARAMETERS;
  }
}

// ---- Calendars ---------------------------------------------------------------------------

int calendar_entry_matches(const BACnetCalendarEntry* entry, time_t when)
{
  if (!entry)
    return -1;
  BACnetDate day{};
  time_t_to_bacnet_date(&day, when);
  switch (entry->choice) {
  case 0:
    return value_compare_date(&entry->date, &day) == 0 ? 0 : 1;
  case 1:
    return value_compare_date(&entry->range.start, &day) <= 0 && value_compare_date(&entry->range.end, &day) >= 0
               ? 0
               : 1;
  case 2:
    return weeknday_matches_date(&entry->weeknday, &day) == 0 ? 0 : 1;
  default:
    return 0;
  }
}

int calendar_matches_today(const BACnetValue* list, time_t when)
{
  if (!list || list->tag != TAG_CALENDAR_ENTRY_LIST || !list->payload.array)
    return -1;
  const BACnetValueArray* entries = list->payload.array;
  for (uint32_t i = 0; i < entries->used; ++i) {
    const auto* entry = value_record<BACnetCalendarEntry>(&entries->elements[i]);
    if (entry && calendar_entry_matches(entry, when) == 0)
      return 0;
  }
  return -1;
}

// ---- Time stamps -------------------------------------------------------------------------

namespace {

int64_t in_ms(const ClockStamp& s)
{
  return int64_t(s.seconds) * 1000 + s.milliseconds;
}

ClockStamp advanced(const ClockStamp& s, uint32_t period_ms)
{
  ClockStamp r = s;
  r.seconds += static_cast<int32_t>(period_ms / 1000);
  uint32_t ms = r.milliseconds + period_ms % 1000;
  if (ms >= 1000) {
    ms -= 1000;
    r.seconds += 1;
  }
  r.milliseconds = static_cast<uint16_t>(ms);
  return r;
}

}  // namespace

int timestamp_is_due(const ClockStamp* now, const ClockStamp* stamp, uint32_t period_ms)
{
  if (!now || !stamp)
    return 0;
  if (in_ms(*now) < in_ms(*stamp))
    return 1;  // the clock went back
  return in_ms(advanced(*stamp, period_ms)) <= in_ms(*now) ? 1 : 0;
}

int timestamp_elapsed(ClockStamp* stamp, uint32_t period_ms)
{
  if (!stamp)
    return VALUE_OK;
  OsTime t{};
  os_get_time(&t);
  ClockStamp now{static_cast<int32_t>(t.seconds), static_cast<uint16_t>(t.microseconds / 1000)};
  *stamp = advanced(*stamp, period_ms);
  if (timestamp_is_due(&now, stamp, period_ms))
    *stamp = now;
  return VALUE_OK;
}

int value_compare_time_stamp(const BACnetDateTime* a, const BACnetDateTime* b)
{
  // Field by field, not through the clock's 32-bit seconds: those end in January 2038, and a
  // log read by a time after that would find every record later than it.
  return value_compare_datetime(a, b) == 1 ? 1 : 0;
}
