#include "bacnet/value/value_compare.h"

int value_compare(const BACnetValue* /*a*/, const BACnetValue* /*b*/) { return 1; }
int value_order(const BACnetValue* /*a*/, const BACnetValue* /*b*/) { return 1; }
bool value_less(const BACnetValue& /*a*/, const BACnetValue& /*b*/) { return false; }
int value_compare_date(const BACnetDate* /*a*/, const BACnetDate* /*b*/) { return 1; }
int value_compare_time(const BACnetTime* /*a*/, const BACnetTime* /*b*/) { return 1; }
int value_compare_datetime(const BACnetDateTime* /*a*/, const BACnetDateTime* /*b*/) { return 1; }
int value_compare_weeknday(const BACnetWeekNDay* /*a*/, const BACnetWeekNDay* /*b*/) { return 1; }
int weeknday_matches_date(const BACnetWeekNDay* /*pattern*/, const BACnetDate* /*date*/) { return 1; }
int value_matches_condition(const BACnetValue* /*a*/, const BACnetValue* /*b*/) { return 1; }
int value_matches_property_states(const BACnetValue* /*reference*/, const BACnetValue* /*monitored*/, BACnetPropertyStates* /*state*/) { return 1; }
int calendar_entry_matches(const BACnetCalendarEntry* /*entry*/, time_t /*when*/) { return 1; }
int calendar_matches_today(const BACnetValue* /*list*/, time_t /*when*/) { return 1; }
int date_validate(const BACnetDate* /*date*/) { return 1; }
int time_validate(const BACnetTime* /*time*/) { return 1; }
int datetime_validate(const BACnetDateTime* /*datetime*/) { return 1; }
int daterange_validate(const BACnetDateRange* /*range*/) { return 1; }
int weeknday_validate(const BACnetWeekNDay* /*weeknday*/) { return 1; }
int calendar_entry_validate(const BACnetCalendarEntry* /*entry*/) { return 1; }
int timelist_validate(const BACnetValue* /*value*/) { return 1; }
int special_event_validate(const BACnetSpecialEvent* /*event*/) { return 1; }
int destination_validate(const BACnetDestination* /*destination*/) { return 1; }
int timestamp_is_due(const ClockStamp* /*now*/, const ClockStamp* /*stamp*/, uint32_t /*period_ms*/) { return 1; }
int timestamp_elapsed(ClockStamp* /*stamp*/, uint32_t /*period_ms*/) { return 1; }
int value_compare_time_stamp(const BACnetDateTime* /*a*/, const BACnetDateTime* /*b*/) { return 1; }
