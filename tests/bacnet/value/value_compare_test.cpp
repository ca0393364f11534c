#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/value/value.h"
#include "bacnet/value/value_memory.h"
#include "value_samples.h"

using namespace valuetest;

namespace {

// Local noon of a day in the pinned zone.
time_t local_noon(int year, int month, int day)
{
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  return mktime(&tm);
}

BACnetValue weeknday_value(uint8_t month, uint8_t week, uint8_t weekday)
{
  BACnetValue v{};
  value_init(&v, TAG_WEEKNDAY);
  *static_cast<BACnetWeekNDay*>(v.payload.record) = {month, week, weekday};
  return v;
}

BACnetValue list_of(uint32_t tag, std::vector<BACnetValue> elements)
{
  BACnetValue list{};
  value_init(&list, tag);
  for (BACnetValue& e : elements)
    value_array_append(list.payload.array, &e);
  return list;
}

TEST(ValueCompare, DateAndTimeWildcardsEqualAnything)
{
  Holder any_month(date_value(124, 255, 10));
  Holder may(date_value(124, 5, 10));
  EXPECT_EQ(value_compare(any_month.get(), may.get()), 0);
  EXPECT_EQ(value_compare(may.get(), any_month.get()), 0);
  Holder any_minute(time_value(10, 255, 0, 0));
  Holder half_past(time_value(10, 30, 0, 0));
  EXPECT_EQ(value_compare(any_minute.get(), half_past.get()), 0);

  Holder earlier(date_value(124, 5, 9, 4));
  Holder later_year(date_value(125, 1, 1, 3));
  EXPECT_EQ(value_compare(earlier.get(), may.get()), -1);
  EXPECT_EQ(value_compare(later_year.get(), may.get()), 1);
  Holder other_weekday(date_value(124, 5, 10, 1));
  EXPECT_EQ(value_compare(other_weekday.get(), may.get()), 0);  // weekday not compared
}

TEST(ValueCompare, TagsNullsAndTextsFollowTheirRules)
{
  Holder a(unsigned_value(1));
  Holder b(real_value(1.0f));
  EXPECT_EQ(value_compare(a.get(), b.get()), -1);
  EXPECT_EQ(value_compare(b.get(), a.get()), -1);
  EXPECT_EQ(value_compare(nullptr, a.get()), 1);

  Holder none1(text_value(nullptr));
  Holder none2(text_value(nullptr));
  EXPECT_EQ(value_compare(none1.get(), none2.get()), -1);
  Holder abc(text_value("abc"));
  Holder abd(text_value("abd"));
  Holder umlaut(text_value("\xC3\xA4"));
  EXPECT_EQ(value_compare(abc.get(), abd.get()), -1);
  EXPECT_EQ(value_compare(abd.get(), abc.get()), 1);
  EXPECT_EQ(value_compare(umlaut.get(), abc.get()), 1);  // bytes unsigned

  int32_t minus = -1;
  int32_t plus = 1;
  Holder s1, s2;
  value_set_signed(&minus, s1.get());
  value_set_signed(&plus, s2.get());
  EXPECT_EQ(value_compare(s1.get(), s2.get()), -1);
  Holder big(unsigned_value(0xFFFFFFFF));
  EXPECT_EQ(value_compare(big.get(), a.get()), 1);  // Unsigned is not signed
}

TEST(ValueCompare, ListsCompareByCountThenFirstDifferingElement)
{
  Holder a(list_of(TAG_UNSIGNED_LIST, {unsigned_value(1), unsigned_value(5)}));
  Holder b(list_of(TAG_UNSIGNED_LIST, {unsigned_value(2), unsigned_value(0)}));
  Holder c(list_of(TAG_UNSIGNED_LIST, {unsigned_value(9)}));
  EXPECT_EQ(value_compare(a.get(), b.get()), -1);
  EXPECT_EQ(value_compare(b.get(), a.get()), 1);
  EXPECT_EQ(value_compare(c.get(), a.get()), -1);
  Holder a2(list_of(TAG_UNSIGNED_LIST, {unsigned_value(1), unsigned_value(5)}));
  EXPECT_EQ(value_compare(a.get(), a2.get()), 0);
}

TEST(ValueCompare, BitStringsOfDifferentStorageNeverReadPastTheShorter)
{
  // Same bit count, one with a wide spare storage: only shared slots are read.
  Holder narrow, wide;
  Owned<BitString, bitstring_free> n(bits_of({1, 0, 1}));
  value_set_bitstring(n.get(), narrow.get());
  value_init(wide.get(), TAG_BIT_STRING);
  std::vector<uint8_t> zeros(64, 0);
  bitstring_set(&wide->payload.bits, zeros.data(), 64);
  wide->payload.bits.bits[0] = 1;
  wide->payload.bits.bits[2] = 1;
  wide->payload.bits.count = 3;
  EXPECT_EQ(value_compare(wide.get(), narrow.get()), 1);
  EXPECT_EQ(value_compare(narrow.get(), wide.get()), -1);

  Holder more(make_sample(TAG_BIT_STRING));  // four bits
  EXPECT_EQ(value_compare(narrow.get(), more.get()), -1);
}

TEST(ValueCompare, RecordsCompareByTheirKeyFields)
{
  Holder b1(make_sample(TAG_ADDRESS_BINDING, 0));
  Holder b2(make_sample(TAG_ADDRESS_BINDING, 1));
  EXPECT_EQ(value_compare(b1.get(), b2.get()), -1);  // by device instance only
  Holder empty;
  value_init(empty.get(), TAG_ADDRESS_BINDING);
  empty.reset();
  empty->tag = TAG_ADDRESS_BINDING;  // a record that is missing
  EXPECT_EQ(value_compare(empty.get(), b1.get()), -1);
  EXPECT_EQ(value_compare(b1.get(), empty.get()), -1);

  Holder pv1(make_sample(TAG_PROPERTY_VALUE, 0));
  Holder pv2(make_sample(TAG_PROPERTY_VALUE, 1));
  EXPECT_EQ(value_compare(pv1.get(), pv2.get()), -1);  // "eins" < "zwei"
  Holder summary(make_sample(TAG_EVENT_SUMMARY));
  EXPECT_EQ(value_compare(summary.get(), summary.get()), -1);  // no rule
}

TEST(ValueCompare, WeekNDayPatternMatchesOddMonthsAndWildcards)
{
  Holder odd(weeknday_value(13, 255, 255));
  Holder march(weeknday_value(3, 2, 4));
  Holder april(weeknday_value(4, 2, 4));
  EXPECT_EQ(value_compare(odd.get(), march.get()), 0);
  EXPECT_EQ(value_compare(odd.get(), april.get()), -1);
  Holder even(weeknday_value(14, 2, 4));
  EXPECT_EQ(value_compare(even.get(), april.get()), 0);
  Holder second_thursday(weeknday_value(255, 2, 4));
  Holder third_thursday(weeknday_value(4, 3, 4));
  EXPECT_EQ(value_compare(second_thursday.get(), april.get()), 0);
  EXPECT_EQ(value_compare(second_thursday.get(), third_thursday.get()), -1);
  Holder last_week(weeknday_value(255, 6, 255));
  EXPECT_EQ(value_compare(last_week.get(), april.get()), -1);  // no day to test
}

// The order handed to sorts must be a strict weak ordering over everything a list may
// hold, wildcards, NaN and missing texts included.
TEST(ValueOrder, IsAStrictWeakOrderingWhereCompareIsNot)
{
  std::vector<BACnetValue> values;
  values.push_back(date_value(124, 255, 10));
  values.push_back(date_value(124, 5, 10));
  values.push_back(date_value(124, 6, 10));
  values.push_back(date_value(255, 5, 11));
  values.push_back(time_value(10, 255, 0));
  values.push_back(time_value(10, 30, 0));
  values.push_back(time_value(9, 45, 0));
  values.push_back(real_value(std::numeric_limits<float>::quiet_NaN()));
  values.push_back(real_value(1.0f));
  values.push_back(real_value(-2.0f));
  values.push_back(text_value(nullptr));
  values.push_back(text_value(nullptr));
  values.push_back(text_value("b"));
  values.push_back(text_value("a"));
  values.push_back(unsigned_value(7));
  values.push_back(unsigned_value(3));
  for (uint32_t tag : {TAG_WEEKNDAY, TAG_CALENDAR_ENTRY, TAG_EVENT_SUMMARY, TAG_SESSION_KEY, TAG_LOG_RECORD,
                       TAG_DESTINATION, TAG_UNSIGNED_LIST, TAG_PRIORITY_VALUE})
    for (int k = 0; k < 2; ++k)
      values.push_back(make_sample(tag, k));
  BACnetValue missing{TAG_DATETIME, {}};
  values.push_back(missing);

  // The wildcard comparison calls a=b and b=c while a<c: no ordering.
  EXPECT_EQ(value_compare(&values[1], &values[0]), 0);
  EXPECT_EQ(value_compare(&values[0], &values[2]), 0);
  EXPECT_EQ(value_compare(&values[1], &values[2]), -1);

  size_t n = values.size();
  for (size_t i = 0; i < n; ++i) {
    EXPECT_FALSE(value_less(values[i], values[i])) << i;
    for (size_t j = 0; j < n; ++j) {
      EXPECT_EQ(value_order(&values[i], &values[j]), -value_order(&values[j], &values[i])) << i << "," << j;
      for (size_t k = 0; k < n; ++k) {
        bool ij = value_less(values[i], values[j]);
        bool jk = value_less(values[j], values[k]);
        if (ij && jk) {
          EXPECT_TRUE(value_less(values[i], values[k])) << i << "," << j << "," << k;
        }
        bool eq_ij = !ij && !value_less(values[j], values[i]);
        bool eq_jk = !jk && !value_less(values[k], values[j]);
        if (eq_ij && eq_jk) {
          EXPECT_EQ(value_order(&values[i], &values[k]), 0) << i << "," << j << "," << k;
        }
      }
    }
  }
  std::mt19937 random(17);
  std::shuffle(values.begin(), values.end(), random);
  std::sort(values.begin(), values.end(), value_less);
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end(), value_less));
  for (BACnetValue& v : values)
    value_free(&v);
}

TEST(ValueOrder, AgreesWithCompareWhereThatIsAnOrder)
{
  std::mt19937 random(5);
  std::uniform_int_distribution<int> byte(0, 30);
  for (int i = 0; i < 500; ++i) {
    Holder a(date_value(byte(random) + 100, byte(random) % 12 + 1, byte(random) + 1));
    Holder b(date_value(byte(random) + 100, byte(random) % 12 + 1, byte(random) + 1));
    EXPECT_EQ(value_order(a.get(), b.get()), value_compare(a.get(), b.get()));
    Holder x(unsigned_value(random()));
    Holder y(unsigned_value(random()));
    EXPECT_EQ(value_order(x.get(), y.get()), value_compare(x.get(), y.get()));
  }
}

TEST(ValueMatchesCondition, FollowsTheEqualityTable)
{
  Holder t1(text_value("gleich"));
  Holder t2(text_value("gleich"));
  EXPECT_EQ(value_matches_condition(t1.get(), t2.get()), 0);  // never for strings
  Holder s1(make_sample(TAG_TIMESTAMP));
  Holder s2(make_sample(TAG_TIMESTAMP, 1));
  EXPECT_EQ(value_matches_condition(s1.get(), s2.get()), 1);  // always
  Holder nan1(real_value(std::nanf("")));
  EXPECT_EQ(value_matches_condition(nan1.get(), nan1.get()), 0);
  Holder r1(real_value(2.5f));
  Holder r2(real_value(2.5f));
  EXPECT_EQ(value_matches_condition(r1.get(), r2.get()), 1);
  Holder d1(date_value(124, 5, 10, 5));
  Holder d2(date_value(124, 5, 10, 1));
  Holder d3(date_value(124, 255, 10, 5));
  EXPECT_EQ(value_matches_condition(d1.get(), d2.get()), 1);  // weekday ignored
  EXPECT_EQ(value_matches_condition(d1.get(), d3.get()), 0);  // no wildcards here
  Holder u(unsigned_value(1));
  Holder e;
  uint32_t one = 1;
  value_set_enumerated(&one, e.get());
  EXPECT_EQ(value_matches_condition(u.get(), e.get()), 0);
  EXPECT_EQ(value_matches_condition(nullptr, e.get()), 0);

  Holder dest1(make_sample(TAG_DESTINATION, 0));
  Holder dest2(make_sample(TAG_DESTINATION, 0));
  Holder dest3(make_sample(TAG_DESTINATION, 1));
  EXPECT_EQ(value_matches_condition(dest1.get(), dest2.get()), 1);
  EXPECT_EQ(value_matches_condition(dest1.get(), dest3.get()), 0);
}

TEST(ValueMatchesPropertyStates, TriesEveryStateOfAList)
{
  BACnetValue active{};
  value_init(&active, TAG_PROPERTY_STATES);
  *value_record<BACnetPropertyStates>(&active) = {1, 1};
  BACnetValue fault{};
  value_init(&fault, TAG_PROPERTY_STATES);
  *value_record<BACnetPropertyStates>(&fault) = {7, 3};
  Holder states(list_of(TAG_PROPERTY_STATES_LIST, {active, fault}));

  Holder monitored;
  uint32_t three = 3;
  value_set_enumerated(&three, monitored.get());
  BACnetPropertyStates out{};
  EXPECT_EQ(value_matches_property_states(states.get(), monitored.get(), &out), 1);
  EXPECT_EQ(out.choice, 7u);
  EXPECT_EQ(out.value, 3u);

  Holder wrong_type(unsigned_value(3));
  EXPECT_EQ(value_matches_property_states(states.get(), wrong_type.get(), &out), 0);
  Holder empty;
  value_init(empty.get(), TAG_PROPERTY_STATES_LIST);
  EXPECT_EQ(value_matches_property_states(empty.get(), monitored.get(), &out), 0);

  Holder boolean_state;
  value_init(boolean_state.get(), TAG_PROPERTY_STATES);
  *value_record<BACnetPropertyStates>(boolean_state.get()) = {0, 1};
  Holder on;
  uint8_t yes = 1;
  value_set_boolean(&yes, on.get());
  EXPECT_EQ(value_matches_property_states(boolean_state.get(), on.get(), &out), 1);
  *value_record<BACnetPropertyStates>(boolean_state.get()) = {12, 1};
  EXPECT_EQ(value_matches_property_states(boolean_state.get(), on.get(), &out), 0);
}

// The last-seven-days rule looks at the tested date, whatever today is.
TEST(CalendarEntryMatches, LastWeekOfTheMonthTestsTheGivenDateAndKnowsLeapYears)
{
  ManualClock clock;
  clock.set_wall(static_cast<uint32_t>(local_noon(2021, 1, 31)));  // "today": a last day
  os_set_clock(&clock);
  BACnetCalendarEntry last_week{};
  last_week.choice = 2;
  last_week.weeknday = {255, 6, 255};
  EXPECT_EQ(calendar_entry_matches(&last_week, local_noon(2024, 2, 22)), 1);
  EXPECT_EQ(calendar_entry_matches(&last_week, local_noon(2024, 2, 23)), 0);
  EXPECT_EQ(calendar_entry_matches(&last_week, local_noon(2024, 2, 29)), 0);
  EXPECT_EQ(calendar_entry_matches(&last_week, local_noon(2023, 2, 21)), 1);
  EXPECT_EQ(calendar_entry_matches(&last_week, local_noon(2023, 2, 22)), 0);
  EXPECT_EQ(calendar_entry_matches(&last_week, local_noon(2024, 3, 24)), 1);
  EXPECT_EQ(calendar_entry_matches(&last_week, local_noon(2024, 3, 25)), 0);

  clock.set_wall(static_cast<uint32_t>(local_noon(2021, 1, 3)));  // "today": early in a month
  EXPECT_EQ(calendar_entry_matches(&last_week, local_noon(2024, 2, 29)), 0);
  EXPECT_EQ(calendar_entry_matches(&last_week, local_noon(2024, 2, 1)), 1);
  os_set_clock(nullptr);
}

TEST(CalendarEntryMatches, DatesRangesAndWeekNDays)
{
  BACnetCalendarEntry christmas{};
  christmas.choice = 0;
  christmas.date = {255, 12, 24, 255};
  EXPECT_EQ(calendar_entry_matches(&christmas, local_noon(2030, 12, 24)), 0);
  EXPECT_EQ(calendar_entry_matches(&christmas, local_noon(2030, 12, 25)), 1);

  BACnetCalendarEntry holidays{};
  holidays.choice = 1;
  holidays.range = {{124, 7, 15, 255}, {124, 8, 2, 255}};
  EXPECT_EQ(calendar_entry_matches(&holidays, local_noon(2024, 7, 15)), 0);
  EXPECT_EQ(calendar_entry_matches(&holidays, local_noon(2024, 8, 2)), 0);
  EXPECT_EQ(calendar_entry_matches(&holidays, local_noon(2024, 8, 3)), 1);
  EXPECT_EQ(calendar_entry_matches(&holidays, local_noon(2024, 7, 14)), 1);

  BACnetCalendarEntry first_monday_odd{};
  first_monday_odd.choice = 2;
  first_monday_odd.weeknday = {13, 1, 1};
  EXPECT_EQ(calendar_entry_matches(&first_monday_odd, local_noon(2024, 7, 1)), 0);  // Monday 1 July
  EXPECT_EQ(calendar_entry_matches(&first_monday_odd, local_noon(2024, 7, 8)), 1);  // second week
  EXPECT_EQ(calendar_entry_matches(&first_monday_odd, local_noon(2024, 4, 1)), 1);  // even month
  EXPECT_EQ(calendar_entry_matches(nullptr, 0), -1);

  BACnetValue entry{};
  value_init(&entry, TAG_CALENDAR_ENTRY);
  *value_record<BACnetCalendarEntry>(&entry) = christmas;
  Holder list(list_of(TAG_CALENDAR_ENTRY_LIST, {entry}));
  EXPECT_EQ(calendar_matches_today(list.get(), local_noon(2024, 12, 24)), 0);
  EXPECT_EQ(calendar_matches_today(list.get(), local_noon(2024, 12, 23)), -1);
  Holder empty;
  value_init(empty.get(), TAG_CALENDAR_ENTRY_LIST);
  EXPECT_EQ(calendar_matches_today(empty.get(), local_noon(2024, 12, 24)), -1);
  Holder other(make_sample(TAG_CALENDAR_ENTRY));
  EXPECT_EQ(calendar_matches_today(other.get(), local_noon(2024, 12, 24)), -1);
}

TEST(Validate, DatesKnowMonthLengthsLeapYearsAndWeekdays)
{
  BACnetDate leap_day{124, 2, 29, 255};
  BACnetDate no_leap_day{123, 2, 29, 255};
  BACnetDate april_31{124, 4, 31, 255};
  BACnetDate any_feb_29{255, 2, 29, 255};
  BACnetDate thursday{124, 2, 29, 4};
  BACnetDate not_friday{124, 2, 29, 5};
  BACnetDate wildcards{255, 255, 255, 255};
  EXPECT_EQ(date_validate(&leap_day), 0);
  EXPECT_EQ(date_validate(&no_leap_day), 38);
  EXPECT_EQ(date_validate(&april_31), 38);
  EXPECT_EQ(date_validate(&any_feb_29), 0);
  EXPECT_EQ(date_validate(&thursday), 0);
  EXPECT_EQ(date_validate(&not_friday), 38);
  EXPECT_EQ(date_validate(&wildcards), 0);
  BACnetDate year_1900{0, 2, 29, 255};  // 1900 was no leap year
  EXPECT_EQ(date_validate(&year_1900), 38);
  BACnetDate last_day{124, 14, 32, 7};  // even months, last day, Sundays
  EXPECT_EQ(date_validate(&last_day), 0);
  BACnetDate month_15{124, 15, 1, 255};
  BACnetDate year_2037{137, 1, 1, 255};
  EXPECT_EQ(date_validate(&month_15), 38);
  EXPECT_EQ(date_validate(&year_2037), 38);
  EXPECT_EQ(date_validate(nullptr), 8);
}

TEST(Validate, TimesWeekNDaysEntriesAndSchedules)
{
  BACnetTime ok{23, 59, 59, 99};
  BACnetTime hour_24{24, 0, 0, 0};
  BACnetTime any{255, 255, 255, 255};
  EXPECT_EQ(time_validate(&ok), 0);
  EXPECT_EQ(time_validate(&hour_24), 38);
  EXPECT_EQ(time_validate(&any), 0);
  BACnetDateTime dt{{124, 2, 30, 255}, ok};
  EXPECT_EQ(datetime_validate(&dt), 38);
  BACnetWeekNDay week_7{1, 7, 1};
  EXPECT_EQ(weeknday_validate(&week_7), 38);
  BACnetCalendarEntry odd{};
  odd.choice = 3;
  EXPECT_EQ(calendar_entry_validate(&odd), 8);

  Holder times(make_sample(TAG_TIME_VALUE_LIST));
  EXPECT_EQ(timelist_validate(times.get()), 0);
  BACnetValue stray = unsigned_value(1);
  value_array_append(value_array(times.get()), &stray);
  EXPECT_EQ(timelist_validate(times.get()), 10);
  EXPECT_EQ(timelist_validate(nullptr), 1);

  Holder event(make_sample(TAG_SPECIAL_EVENT));
  auto* e = value_record<BACnetSpecialEvent>(event.get());
  EXPECT_EQ(special_event_validate(e), 0);
  e->priority = 17;
  EXPECT_EQ(special_event_validate(e), 38);
  e->priority = 1;
  e->period_choice = 1;
  e->calendar_reference = {5, 1};
  EXPECT_EQ(special_event_validate(e), 38);
  e->calendar_reference = {6, 1};
  EXPECT_EQ(special_event_validate(e), 0);
  e->period_choice = 2;
  EXPECT_EQ(special_event_validate(e), 8);
}

TEST(Validate, DestinationsNeedSevenDaysThreeTransitionsAndADevice)
{
  Holder holder(make_sample(TAG_DESTINATION));
  auto* d = value_record<BACnetDestination>(holder.get());
  EXPECT_EQ(destination_validate(d), 0);
  bitstring_free(&d->valid_days);
  d->valid_days = bits_of({1, 1, 1, 1, 1, 1});
  EXPECT_EQ(destination_validate(d), 38);
  bitstring_append_bit(&d->valid_days, 0);
  recipient_free(&d->recipient);
  d->recipient.choice = 0;
  d->recipient.device = {2, 1};
  EXPECT_EQ(destination_validate(d), 38);
  d->recipient.device = {8, 1};
  EXPECT_EQ(destination_validate(d), 0);
  d->recipient.choice = 2;
  EXPECT_EQ(destination_validate(d), 8);
  EXPECT_EQ(destination_validate(nullptr), 8);
}

TEST(TimeStamps, DueAfterThePeriodWithMillisecondCarry)
{
  ClockStamp stamp{10, 600};
  ClockStamp before{12, 99};
  ClockStamp at{12, 100};
  ClockStamp went_back{9, 0};
  EXPECT_EQ(timestamp_is_due(&before, &stamp, 1500), 0);
  EXPECT_EQ(timestamp_is_due(&at, &stamp, 1500), 1);
  EXPECT_EQ(timestamp_is_due(&went_back, &stamp, 1500), 1);

  ManualClock clock;
  clock.set_wall(100, 250000);
  os_set_clock(&clock);
  ClockStamp timer{98, 0};
  timestamp_elapsed(&timer, 200);  // 98.200 is far behind: restarts at now
  EXPECT_EQ(timer.seconds, 100);
  EXPECT_EQ(timer.milliseconds, 250);
  ClockStamp on_time{99, 900};
  timestamp_elapsed(&on_time, 200);  // 100.100 was just due: keeps the cadence
  EXPECT_EQ(on_time.seconds, 100);
  EXPECT_EQ(on_time.milliseconds, 100);
  os_set_clock(nullptr);

  BACnetDateTime a{{124, 1, 31, 255}, {12, 0, 0, 51}};
  BACnetDateTime b{{124, 1, 31, 255}, {12, 0, 0, 50}};
  EXPECT_EQ(value_compare_time_stamp(&a, &b), 1);
  EXPECT_EQ(value_compare_time_stamp(&b, &a), 0);
  EXPECT_EQ(value_compare_time_stamp(&a, &a), 0);
  BACnetDateTime y2038{{138, 1, 20, 255}, {}}, y2037{{137, 12, 31, 255}, {}}, any_year{{255, 1, 20, 255}, {}};
  EXPECT_EQ(value_compare_time_stamp(&y2038, &y2037), 1);  // past the clock's 32-bit seconds
  EXPECT_EQ(value_compare_time_stamp(&y2037, &y2038), 0);
  EXPECT_EQ(value_compare_time_stamp(&any_year, &y2038) + value_compare_time_stamp(&y2038, &any_year), 0);
}

}  // namespace
