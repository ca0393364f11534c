// Comparison, matching and validation of values, and the small time-stamp arithmetic of
// the timers. Pure functions over values (the calendar rules read the local time zone);
// no state, no locks. value_compare treats 255 in dates and times as "any" and is therefore
// no ordering: sort and search with value_order / value_less.
#pragma once

#include <ctime>

#include "bacnet/value/value_types.h"

// Three-way comparison with BACnet's wildcards: -1, 0 or 1. -1 when the tags differ, the
// tag has no rule or a record is missing; 1 when a is null.
int value_compare(const BACnetValue* a, const BACnetValue* b);
// A total order that agrees with value_compare wherever that one is an order: tags first,
// then the same fields, with 255 taken as a plain number, NaN above every number, and a
// missing text or record below every present one. -1, 0 or 1.
int value_order(const BACnetValue* a, const BACnetValue* b);
// Strict weak ordering for std::sort and friends.
bool value_less(const BACnetValue& a, const BACnetValue& b);

// Per-type comparisons (wildcards apply); -1 when either is null.
int value_compare_date(const BACnetDate* a, const BACnetDate* b);
int value_compare_time(const BACnetTime* a, const BACnetTime* b);
int value_compare_datetime(const BACnetDateTime* a, const BACnetDateTime* b);
// The pattern against a full date: week 6 is tested on the date's own month and year.
int weeknday_matches_date(const BACnetWeekNDay* pattern, const BACnetDate* date);

// Equality for event enrollment: 1 match, 0 none.
int value_matches_condition(const BACnetValue* a, const BACnetValue* b);
// Does the monitored value equal the property state (tag 50) or one of a list (tag 82)?
// 1 or 0; `state` receives the tried choice and the monitored payload.
int value_matches_property_states(const BACnetValue* reference, const BACnetValue* monitored,
                                  BACnetPropertyStates* state);

// 0 when the entry covers the local day of `when`, 1 when it does not, -1 on null.
int calendar_entry_matches(const BACnetCalendarEntry* entry, time_t when);
// 0 when some entry of a CalendarEntry list (61) covers the day, else -1.
int calendar_matches_today(const BACnetValue* list, time_t when);

// Validators: 0 valid, else the BACnet error code plus one (8 null or unknown choice,
// 10 wrong datatype, 38 out of range).
int date_validate(const BACnetDate* date);
int time_validate(const BACnetTime* time);
int datetime_validate(const BACnetDateTime* datetime);
int daterange_validate(const BACnetDateRange* range);
int weeknday_validate(const BACnetWeekNDay* weeknday);
int calendar_entry_validate(const BACnetCalendarEntry* entry);
int timelist_validate(const BACnetValue* value);  // null gives 1
int special_event_validate(const BACnetSpecialEvent* event);
int destination_validate(const BACnetDestination* destination);

// A reading of the system's millisecond clock.
struct ClockStamp {
  int32_t seconds;
  uint16_t milliseconds;
};
// 1 when stamp + period (ms) is at or before now, or when now is before stamp (the clock
// went back); else 0.
int timestamp_is_due(const ClockStamp* now, const ClockStamp* stamp, uint32_t period_ms);
// Advances the stamp by the period; when that is still due, restarts it at now. 0.
int timestamp_elapsed(ClockStamp* stamp, uint32_t period_ms);
// 1 when a is later than b (local time, to the hundredth; a 255 field equals anything), else 0.
int value_compare_time_stamp(const BACnetDateTime* a, const BACnetDateTime* b);
