// Conversions between the system clock and BACnet DATE, TIME, DateTime and WeekNDay (local
// time and UTC), and the two file facts the File object reports. "Now" comes from the
// clock seam (os_get_time), so tests set it with ManualClock. Any thread; no state.
#pragma once

#include <cstdint>
#include <ctime>

#include "bacnet/value/value_compare.h"
#include "bacnet/value/value_types.h"

// Results 0, or 1 for a null argument.
int time_now_local(BACnetTime* time);
int date_now_local(BACnetDate* date);
int time_now_to_bacnet(BACnetDateTime* datetime);
int time_utc_now_to_bacnet(BACnetDateTime* datetime);
int time_t_to_bacnet_date(BACnetDate* date, time_t when);
int time_t_to_bacnet_time(BACnetTime* time, time_t when);  // hundredths 0
int time_t_to_bacnet_datetime(BACnetDateTime* datetime, const ClockStamp* stamp);
// Week of month = (day - 1) / 7 + 1, so 1 to 5.
int time_t_to_weeknday(BACnetWeekNDay* weeknday, time_t when);
// Local seconds of the date and time (daylight saving taken as not in effect) and the
// hundredths as milliseconds; the day of week is not used.
int datetime_to_timestamp(const BACnetDateTime* datetime, ClockStamp* stamp);
int time_set_any(BACnetTime* time);                 // every field 255
int time_set_unspecified(BACnetDateTime* datetime); // every field of both words 255

// Length in bytes, or -1 when the file cannot be opened for reading.
int64_t file_get_length(const char* path);
// 0; 1 when the file's status cannot be read; -1 when datetime is null.
int file_get_modification_date(const char* path, BACnetDateTime* datetime);
