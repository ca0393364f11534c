#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/value/value.h"
#include "support/scoped_time_zone.h"

namespace {

time_t local_time(int year, int month, int day, int hour, int minute = 0, int second = 0)
{
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return mktime(&tm);
}

class ValueTime : public testing::Test {
protected:
  void SetUp() override { os_set_clock(&clock); }
  void TearDown() override { os_set_clock(nullptr); }
  void now(time_t when, uint32_t microseconds = 0) { clock.set_wall(static_cast<uint32_t>(when), microseconds); }
  ManualClock clock;
  // The summer and winter times of the tests are Berlin's, wherever the tests run.
  ScopedTimeZone berlin_{"Europe/Berlin"};
};

TEST_F(ValueTime, NowReadsTheInjectedClockInLocalTime)
{
  now(local_time(2024, 6, 2, 14, 5, 9), 456789);  // a Sunday in summer time
  BACnetDate date{};
  BACnetTime time{};
  ASSERT_EQ(date_now_local(&date), 0);
  ASSERT_EQ(time_now_local(&time), 0);
  EXPECT_EQ(date.year, 124);
  EXPECT_EQ(date.month, 6);
  EXPECT_EQ(date.day, 2);
  EXPECT_EQ(date.weekday, 7);
  EXPECT_EQ(time.hour, 14);
  EXPECT_EQ(time.minute, 5);
  EXPECT_EQ(time.second, 9);
  EXPECT_EQ(time.hundredths, 45);

  BACnetDateTime local{};
  BACnetDateTime utc{};
  ASSERT_EQ(time_now_to_bacnet(&local), 0);
  ASSERT_EQ(time_utc_now_to_bacnet(&utc), 0);
  EXPECT_EQ(local.time.hour, 14);
  EXPECT_EQ(utc.time.hour, 12);  // Berlin is two hours ahead in summer
  EXPECT_EQ(utc.time.hundredths, 45);
  EXPECT_EQ(date_now_local(nullptr), 1);
}

TEST_F(ValueTime, WeekOfMonthRunsOneToFive)
{
  BACnetWeekNDay w{};
  ASSERT_EQ(time_t_to_weeknday(&w, local_time(2024, 3, 8, 12)), 0);
  EXPECT_EQ(w.month, 3);
  EXPECT_EQ(w.week, 2);
  EXPECT_EQ(w.weekday, 5);
  time_t_to_weeknday(&w, local_time(2024, 3, 29, 12));
  EXPECT_EQ(w.week, 5);
  time_t_to_weeknday(&w, local_time(2024, 3, 7, 12));
  EXPECT_EQ(w.week, 1);
}

TEST_F(ValueTime, DateTimeToSecondsTakesStandardTime)
{
  BACnetDateTime winter{{124, 1, 31, 3}, {12, 0, 0, 50}};
  ClockStamp stamp{};
  ASSERT_EQ(datetime_to_timestamp(&winter, &stamp), 0);
  EXPECT_EQ(stamp.seconds, local_time(2024, 1, 31, 12));
  EXPECT_EQ(stamp.milliseconds, 500);

  BACnetDateTime summer{{124, 7, 1, 255}, {12, 0, 0, 0}};
  datetime_to_timestamp(&summer, &stamp);
  EXPECT_EQ(stamp.seconds, local_time(2024, 7, 1, 12) + 3600);

  BACnetDateTime back{};
  ClockStamp source{static_cast<int32_t>(local_time(2024, 1, 31, 12)), 999};
  ASSERT_EQ(time_t_to_bacnet_datetime(&back, &source), 0);
  EXPECT_EQ(back.date.day, 31);
  EXPECT_EQ(back.time.hour, 12);
  EXPECT_EQ(back.time.hundredths, 99);

  BACnetDate d{};
  BACnetTime t{};
  time_t_to_bacnet_date(&d, local_time(2023, 12, 31, 23, 59, 58));
  time_t_to_bacnet_time(&t, local_time(2023, 12, 31, 23, 59, 58));
  EXPECT_EQ(d.year, 123);
  EXPECT_EQ(d.weekday, 7);
  EXPECT_EQ(t.second, 58);
  EXPECT_EQ(t.hundredths, 0);
}

TEST_F(ValueTime, AnyAndUnspecifiedAreAll255)
{
  BACnetTime t{1, 2, 3, 4};
  time_set_any(&t);
  EXPECT_EQ(t.hour, 255);
  EXPECT_EQ(t.hundredths, 255);
  BACnetDateTime dt{};
  time_set_unspecified(&dt);
  EXPECT_EQ(dt.date.year, 255);
  EXPECT_EQ(dt.date.weekday, 255);
  EXPECT_EQ(dt.time.minute, 255);
  EXPECT_EQ(time_set_any(nullptr), 1);
}

TEST(FileFacts, LengthAndModificationDate)
{
  auto path = std::filesystem::temp_directory_path() / ("zor17-value-" + std::to_string(getpid()) + ".bin");
  EXPECT_EQ(file_get_length(path.c_str()), -1);
  BACnetDateTime dt{};
  EXPECT_EQ(file_get_modification_date(path.c_str(), &dt), 1);
  {
    std::ofstream out(path, std::ios::binary);
    out << std::string(1234, 'x');
  }
  EXPECT_EQ(file_get_length(path.c_str()), 1234);
  time_t stamp = local_time(2023, 11, 5, 17, 45, 30);
  utimbuf times{stamp, stamp};
  ASSERT_EQ(utime(path.c_str(), &times), 0);
  ASSERT_EQ(file_get_modification_date(path.c_str(), &dt), 0);
  EXPECT_EQ(dt.date.year, 123);
  EXPECT_EQ(dt.date.month, 11);
  EXPECT_EQ(dt.date.day, 5);
  EXPECT_EQ(dt.date.weekday, 7);
  EXPECT_EQ(dt.time.hour, 17);
  EXPECT_EQ(dt.time.minute, 45);
  EXPECT_EQ(dt.time.second, 30);
  EXPECT_EQ(dt.time.hundredths, 0);
  EXPECT_EQ(file_get_modification_date(path.c_str(), nullptr), -1);
  std::filesystem::remove(path);
}

}  // namespace
