#include "bacnet/value/value_time.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/value/tagged_value.h"

namespace {

struct Now {
  time_t seconds;
  uint32_t milliseconds;
};

Now clock_now()
{
  OsTime t{};
  os_get_time(&t);
  return {static_cast<time_t>(t.seconds), t.microseconds / 1000};
}

BACnetDate date_of(const std::tm& tm)
{
  BACnetDate d{};
  d.year = static_cast<uint8_t>(tm.tm_year);
  d.month = static_cast<uint8_t>(tm.tm_mon + 1);
  d.day = static_cast<uint8_t>(tm.tm_mday);
  d.weekday = static_cast<uint8_t>(tm.tm_wday == 0 ? 7 : tm.tm_wday);
  return d;
}

BACnetTime time_of(const std::tm& tm, uint32_t hundredths)
{
  BACnetTime t{};
  t.hour = static_cast<uint8_t>(tm.tm_hour);
  t.minute = static_cast<uint8_t>(tm.tm_min);
  t.second = static_cast<uint8_t>(tm.tm_sec);
  t.hundredths = static_cast<uint8_t>(hundredths > 99 ? 99 : hundredths);
  return t;
}

std::tm local(time_t when)
{
  std::tm tm{};
  localtime_r(&when, &tm);
  return tm;
}

std::tm utc(time_t when)
{
  std::tm tm{};
  gmtime_r(&when, &tm);
  return tm;
}

}  // namespace

int time_now_local(BACnetTime* time)
{
  if (!time)
    return VALUE_BAD_ARGUMENT;
  Now now = clock_now();
  *time = time_of(local(now.seconds), now.milliseconds / 10);
  return VALUE_OK;
}

int date_now_local(BACnetDate* date)
{
  if (!date)
    return VALUE_BAD_ARGUMENT;
  *date = date_of(local(clock_now().seconds));
  return VALUE_OK;
}

int time_now_to_bacnet(BACnetDateTime* datetime)
{
  if (!datetime)
    return VALUE_BAD_ARGUMENT;
  Now now = clock_now();
  std::tm tm = local(now.seconds);
  datetime->date = date_of(tm);
  datetime->time = time_of(tm, now.milliseconds / 10);
  return VALUE_OK;
}

int time_utc_now_to_bacnet(BACnetDateTime* datetime)
{
  if (!datetime)
    return VALUE_BAD_ARGUMENT;
  Now now = clock_now();
  std::tm tm = utc(now.seconds);
  datetime->date = date_of(tm);
  datetime->time = time_of(tm, now.milliseconds / 10);
  return VALUE_OK;
}

int time_t_to_bacnet_date(BACnetDate* date, time_t when)
{
  if (!date)
    return VALUE_BAD_ARGUMENT;
  *date = date_of(local(when));
  return VALUE_OK;
}

int time_t_to_bacnet_time(BACnetTime* time, time_t when)
{
  if (!time)
    return VALUE_BAD_ARGUMENT;
  *time = time_of(local(when), 0);
  return VALUE_OK;
}

int time_t_to_bacnet_datetime(BACnetDateTime* datetime, const ClockStamp* stamp)
{
  if (!datetime || !stamp)
    return VALUE_BAD_ARGUMENT;
  std::tm tm = local(static_cast<time_t>(stamp->seconds));
  datetime->date = date_of(tm);
  datetime->time = time_of(tm, stamp->milliseconds / 10u);
  return VALUE_OK;
}

int time_t_to_weeknday(BACnetWeekNDay* weeknday, time_t when)
{
  if (!weeknday)
    return VALUE_BAD_ARGUMENT;
  BACnetDate d = date_of(local(when));
  weeknday->month = d.month;
  weeknday->week = static_cast<uint8_t>((d.day - 1) / 7 + 1);
  weeknday->weekday = d.weekday;
  return VALUE_OK;
}

int datetime_to_timestamp(const BACnetDateTime* datetime, ClockStamp* stamp)
{
  if (!datetime || !stamp)
    return VALUE_BAD_ARGUMENT;
  std::tm tm{};
  tm.tm_year = datetime->date.year;
  tm.tm_mon = datetime->date.month - 1;
  tm.tm_mday = datetime->date.day;
  tm.tm_hour = datetime->time.hour;
  tm.tm_min = datetime->time.minute;
  tm.tm_sec = datetime->time.second;
  tm.tm_isdst = 0;
  stamp->seconds = static_cast<int32_t>(mktime(&tm));
  stamp->milliseconds = static_cast<uint16_t>(datetime->time.hundredths * 10);
  return VALUE_OK;
}

int time_set_any(BACnetTime* time)
{
  if (!time)
    return VALUE_BAD_ARGUMENT;
  std::memset(time, VALUE_ANY, sizeof *time);
  return VALUE_OK;
}

int time_set_unspecified(BACnetDateTime* datetime)
{
  if (!datetime)
    return VALUE_BAD_ARGUMENT;
  std::memset(&datetime->date, VALUE_ANY, sizeof datetime->date);
  std::memset(&datetime->time, VALUE_ANY, sizeof datetime->time);
  return VALUE_OK;
}

int64_t file_get_length(const char* path)
{
  if (!path)
    return -1;
  std::FILE* f = std::fopen(path, "rb");
  if (!f)
    return -1;
  int64_t length = -1;
  if (std::fseek(f, 0, SEEK_END) == 0)
    length = ftello(f);
  std::fclose(f);
  return length;
}

int file_get_modification_date(const char* path, BACnetDateTime* datetime)
{
  if (!datetime)
    return -1;
  struct stat st {};
  if (!path || stat(path, &st) != 0)
    return VALUE_BAD_ARGUMENT;
  time_t_to_bacnet_date(&datetime->date, st.st_mtime);
  time_t_to_bacnet_time(&datetime->time, st.st_mtime);
  return VALUE_OK;
}
