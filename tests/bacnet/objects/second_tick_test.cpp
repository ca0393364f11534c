// The second tick's own timers on a manual clock: calendars, schedules writing through the
// cache, trend logs, the Device's backup countdown and the midnight time synchronisation.
#include "reporting_test_util.h"

#include <gmock/gmock.h>

#include <map>

#include "bacnet/objects/object_database.h"
#include "bacnet/objects/trend_log.h"

using namespace objtest;

namespace {

constexpr uint32_t kRemote = 99;  // a device that only the cache reaches

struct Write {
  uint32_t device;
  float value;
  uint8_t priority;
};
std::vector<Write> g_writes;
int g_time_syncs = 0;

class SecondTick : public ReportingTest {
protected:
  void SetUp() override
  {
    ReportingTest::SetUp();
    g_writes.clear();
    g_time_syncs = 0;
    BehaviourSeams seams;
    seams.set_value = [](const BACnetDeviceObjectPropertyReference* r, const BACnetValue* v, uint8_t priority) {
      g_writes.push_back({r->device.instance, v->tag == TAG_REAL ? v->payload.real : -1.0f, priority});
      return 0;
    };
    seams.get_write_status = [](const BACnetDeviceObjectPropertyReference*) { return 0; };
    seams.utc_time_synchronization = [](const BACnetDateTime*) { return ++g_time_syncs, 0; };
    object_set_behaviour_seams(&seams);
    object_Init(kOwner, nullptr, nullptr);
  }
  void TearDown() override
  {
    object_set_behaviour_seams(nullptr);
    ReportingTest::TearDown();
  }

  // A schedule with default 5.0 writing to AV 1 of a remote device (kRemote for the first) at
  // priority 10.
  ObjectRecord* schedule(uint32_t instance = 1)
  {
    ObjectRecord* s = create(OBJECT_SCHEDULE, instance);
    replace(object_value(s, PROP_SCHEDULE_DEFAULT), real_value(5.0f));
    BACnetValue target = element(TAG_DEVICE_OBJECT_PROPERTY_REFERENCE);
    *value_record<BACnetDeviceObjectPropertyReference>(&target) = {
        {2, 1}, PROP_PRESENT_VALUE, -1, {8, kRemote + instance - 1}};
    replace(object_value(s, PROP_LIST_OF_OBJECT_PROPERTY_REFERENCES), list_of(TAG_REFERENCE_LIST, {target}));
    *object_word(s, PROP_PRIORITY_FOR_WRITING) = 10;
    return s;
  }

  ObjectRecord* trend_log(uint32_t interval, uint32_t buffer_size)
  {
    create(OBJECT_ANALOG_VALUE, 1);
    ObjectRecord* log = create(OBJECT_TREND_LOG, 1);
    *object_word(log, PROP_LOG_INTERVAL) = interval;
    *object_word(log, PROP_BUFFER_SIZE) = buffer_size;
    *object_boolean(log, PROP_LOG_ENABLE) = 1;
    return log;
  }
  static const BACnetValueArray& buffer(ObjectRecord* log) { return *value_array(object_value(log, PROP_LOG_BUFFER)); }
};

TEST_F(SecondTick, ACalendarFollowsItsDateList)
{
  const struct {
    const char* name;
    uint32_t choice;  // 1 a date range, 2 a week-n-day
    BACnetDateRange range;
    bool monday, tuesday;
  } cases[] = {
      {"every Monday", 2, {}, true, false},
      {"a range ending today", 1, {{126, 1, 1, 255}, {126, 1, 5, 255}}, true, false},
      {"a range starting tomorrow", 1, {{126, 1, 6, 255}, {126, 1, 9, 255}}, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BACnetValue entry = element(TAG_CALENDAR_ENTRY);
    *value_record<BACnetCalendarEntry>(&entry) = {c.choice, {}, c.range, {255, 255, 1}};
    clock.set_wall(kMondayNoon - 1);
    ObjectRecord* cal = create(OBJECT_CALENDAR, 1);
    replace(object_value(cal, PROP_DATE_LIST), list_of(TAG_CALENDAR_ENTRY_LIST, {entry}));
    tick();
    EXPECT_EQ(*object_boolean(cal, PROP_PRESENT_VALUE), c.monday);
    clock.set_wall(kMondayNoon + 86400 - 1);
    tick();
    EXPECT_EQ(*object_boolean(cal, PROP_PRESENT_VALUE), c.tuesday);
    object_DeleteObject(kOwner, OBJECT_CALENDAR, 1);
  }
}

TEST_F(SecondTick, AScheduleTakesItsValueFromExceptionsWeekOrDefault)
{
  using Times = std::vector<std::pair<uint8_t, float>>;  // hour, value
  constexpr BACnetDateRange kAlways{{255, 255, 255, 255}, {255, 255, 255, 255}};
  const struct {
    const char* name;
    BACnetDateRange period;
    Times monday;
    std::vector<std::pair<uint32_t, Times>> exceptions;  // priority, its times (today)
    float value;
    bool written;
  } cases[] = {
      {"Monday's value in force at noon", kAlways, {{18, 17.0f}, {8, 21.5f}}, {}, 21.5f, true},
      {"outside the effective period", {{125, 1, 1, 255}, {125, 12, 31, 255}}, {{8, 21.5f}}, {}, 5.0f, false},
      {"no time value before now", kAlways, {{18, 17.0f}}, {}, 5.0f, true},
      {"priority 3 beats priority 10", {{126, 1, 1, 255}, {126, 1, 31, 255}}, {{8, 21.5f}},
       {{10, {{6, 25.0f}}}, {3, {{7, 19.0f}}}}, 19.0f, true},
      {"priority 20 counts as 16 and comes first", kAlways, {}, {{20, {{6, 25.0f}}}, {16, {{7, 19.0f}}}}, 25.0f, true},
      {"an exception of today without a time before now keeps the week out", kAlways, {{8, 21.5f}},
       {{3, {{20, 19.0f}}}}, 5.0f, true},
  };
  auto values = [](const Times& times) {
    std::vector<BACnetValue> out;
    for (const auto& [hour, value] : times)
      out.push_back(time_value(hour, value));
    return out;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_writes.clear();
    ObjectRecord* s = schedule();
    *object_daterange(s, PROP_EFFECTIVE_PERIOD) = c.period;
    BACnetValue& monday = value_array(object_value(s, PROP_WEEKLY_SCHEDULE))->elements[0];
    replace(&value_record<BACnetDailySchedule>(&monday)->day_schedule, list_of(TAG_TIME_VALUE_LIST, values(c.monday)));
    std::vector<BACnetValue> exceptions;
    for (const auto& [priority, times] : c.exceptions)
      exceptions.push_back(special_event(priority, values(times)));
    replace(object_value(s, PROP_EXCEPTION_SCHEDULE), list_of(TAG_SPECIAL_EVENT_LIST, exceptions));
    tick(3);
    EXPECT_EQ(object_value(s, PROP_PRESENT_VALUE)->payload.real, c.value);
    // Written once, when the value first differs from the one written last.
    ASSERT_EQ(g_writes.size(), c.written ? 1u : 0u);
    if (c.written) {
      EXPECT_EQ((std::tuple{g_writes[0].device, g_writes[0].value, g_writes[0].priority}),
                (std::tuple{kRemote, c.value, uint8_t(10)}));
    }
    object_DeleteObject(kOwner, OBJECT_SCHEDULE, 1);
  }
}

TEST_F(SecondTick, AScheduleSeesItsCalendarForTheTickDateAcrossMidnight)
{
  // Sunday 77, Monday 11, and an exception of 66 on the Calendar's days. Fourteen schedules,
  // so that the walk reaches some of them before the Calendar.
  const struct {
    const char* name;
    BACnetDate calendar_day;
    std::vector<float> written;  // Sunday 23:59:58 to Monday 00:00:01
  } cases[] = {
      {"a Calendar holding Monday", {126, 1, 5, 255}, {77.0f, 66.0f}},
      {"a Calendar holding only Sunday", {126, 1, 4, 255}, {66.0f, 11.0f}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh_table();
    g_writes.clear();
    clock.set_wall(kMondayNoon - 12 * 3600 - 3);
    BACnetValue day = element(TAG_CALENDAR_ENTRY);
    *value_record<BACnetCalendarEntry>(&day) = {0, c.calendar_day, {}, {}};
    replace(object_value(create(OBJECT_CALENDAR, 1), PROP_DATE_LIST), list_of(TAG_CALENDAR_ENTRY_LIST, {day}));
    for (uint32_t instance = 1; instance <= 14; ++instance) {
      ObjectRecord* s = schedule(instance);
      BACnetValueArray& week = *value_array(object_value(s, PROP_WEEKLY_SCHEDULE));
      for (auto [weekday, value] : {std::pair{0, 11.0f}, std::pair{6, 77.0f}})
        replace(&value_record<BACnetDailySchedule>(&week.elements[weekday])->day_schedule,
                list_of(TAG_TIME_VALUE_LIST, {time_value(0, value)}));
      BACnetValue event = special_event(10, {time_value(0, 66.0f)});
      value_record<BACnetSpecialEvent>(&event)->period_choice = 1;
      value_record<BACnetSpecialEvent>(&event)->calendar_reference = {OBJECT_CALENDAR, 1};
      replace(object_value(s, PROP_EXCEPTION_SCHEDULE), list_of(TAG_SPECIAL_EVENT_LIST, {event}));
    }
    tick(4);
    std::map<uint32_t, std::vector<float>> by_schedule;
    for (const Write& w : g_writes)
      by_schedule[w.device].push_back(w.value);
    ASSERT_EQ(by_schedule.size(), 14u);
    for (const auto& [device, values] : by_schedule)
      EXPECT_EQ(values, c.written) << "schedule " << device;
  }
}

TEST_F(SecondTick, AFailedLocalWriteIsForgottenWhenTheDatabaseStartsAgain)
{
  constexpr uint32_t kConfigurationError = 10;
  // A schedule writing to an object of the own device that does not exist.
  auto schedule_of_a_missing_object = [this] {
    ObjectRecord* s = schedule();
    BACnetValue target = element(TAG_DEVICE_OBJECT_PROPERTY_REFERENCE);
    *value_record<BACnetDeviceObjectPropertyReference>(&target) = {{2, 7}, PROP_PRESENT_VALUE, -1, {8, kOwner}};
    replace(object_value(s, PROP_LIST_OF_OBJECT_PROPERTY_REFERENCES), list_of(TAG_REFERENCE_LIST, {target}));
    return s;
  };
  ObjectRecord* s = schedule_of_a_missing_object();
  tick();
  EXPECT_EQ(*object_word(s, PROP_RELIABILITY), kConfigurationError);
  object_Shutdown();
  object_Init(kOwner, nullptr, nullptr);
  // Outside its effective period the new schedule writes nothing: nothing has failed since the start.
  s = schedule_of_a_missing_object();
  *object_daterange(s, PROP_EFFECTIVE_PERIOD) = {{125, 1, 1, 255}, {125, 12, 31, 255}};
  tick();
  EXPECT_EQ(*object_word(s, PROP_RELIABILITY), 0u);
}

TEST_F(SecondTick, ATrendLogRecordsAtItsInterval)
{
  ObjectRecord* log = trend_log(500, 10);
  tick(11);
  // The buffer's first record tells that it was empty; then one REAL every five seconds.
  std::vector<uint32_t> choices;
  for (uint32_t i = 0; i < buffer(log).used; ++i)
    choices.push_back(value_record<BACnetLogRecord>(&buffer(log).elements[i])->choice);
  EXPECT_THAT(choices, ::testing::ElementsAre(0u, 2u, 2u, 2u));
  EXPECT_EQ(*object_word(log, PROP_TOTAL_RECORD_COUNT), 4u);
  // Outside its window it records nothing.
  object_datetime(log, PROP_START_TIME)->date = {127, 1, 1, 255};
  tick(10);
  EXPECT_EQ(buffer(log).used, 4u);
}

TEST_F(SecondTick, ATrendLogRecordsOncePerIntervalWhateverTheTicksPhase)
{
  for (uint32_t seconds : {1u, 5u}) {
    ObjectRecord* log = trend_log(seconds * 100, 1000);
    // 90 ticks, each a few milliseconds into its second, earlier or later than the one before.
    for (uint32_t i = 1, start = clock.wall().seconds; i <= 90; ++i) {
      clock.set_wall(start + i, (i * 7 % 19) * 1000);
      object_second_tick();
    }
    auto second = [&](uint32_t i) {
      return value_record<BACnetLogRecord>(&buffer(log).elements[i])->timestamp.time.second;
    };
    std::vector<uint32_t> apart;  // the seconds from each record to the next
    for (uint32_t i = 2; i < buffer(log).used; ++i)
      apart.push_back((second(i) + 60u - second(i - 1)) % 60);
    EXPECT_EQ(apart, std::vector<uint32_t>(90 / seconds - 1, seconds)) << seconds;
    object_DeleteObject(kOwner, OBJECT_TREND_LOG, 1);
    object_DeleteObject(kOwner, OBJECT_ANALOG_VALUE, 1);
  }
}

TEST_F(SecondTick, ATrendLogThatStopsWhenFullStops)
{
  const struct {
    uint32_t size;
    int runs;          // runs until log-enable is FALSE
    uint32_t records;  // then in the buffer
  } cases[] = {{4, 3, 4}, {1, 1, 1}, {0, 1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE("buffer size " + std::to_string(c.size));
    ObjectRecord* log = trend_log(100, c.size);
    *object_boolean(log, PROP_STOP_WHEN_FULL) = 1;
    tick(c.runs - 1);
    EXPECT_TRUE(*object_boolean(log, PROP_LOG_ENABLE));
    tick();
    EXPECT_FALSE(*object_boolean(log, PROP_LOG_ENABLE));
    tick(3);
    EXPECT_EQ(buffer(log).used, c.records);
    object_DeleteObject(kOwner, OBJECT_TREND_LOG, 1);
    object_DeleteObject(kOwner, OBJECT_ANALOG_VALUE, 1);
  }
}

TEST_F(SecondTick, ATrendLogTellsWhenItsBufferIsReady)
{
  // Threshold 0 would notify on every run, records or not: it notifies never.
  const struct {
    bool to_normal;
    uint32_t threshold;
  } cases[] = {{true, 10}, {false, 10}, {true, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.to_normal) + " " + std::to_string(c.threshold));
    fresh_table();
    object_Init(kOwner, nullptr, nullptr);
    notification_class(10, {1, 2, 3}, {0, 0, 0}, {destination(77, 5, false)});
    ObjectRecord* log = trend_log(100, 50);
    *object_word(log, PROP_NOTIFICATION_THRESHOLD) = c.threshold;
    *object_word(log, PROP_NOTIFICATION_CLASS) = 10;
    set_bits_field(log, PROP_EVENT_ENABLE, {0, 0, uint8_t(c.to_normal)});
    tick(8);  // the empty-buffer record and 8 values: 9 records
    EXPECT_TRUE(events().empty());
    tick();
    if (!c.to_normal || c.threshold == 0) {
      EXPECT_TRUE(events().empty());
    } else {
      ASSERT_EQ(events().size(), 1u);
      const Sent e = events()[0];
      EXPECT_EQ((std::vector<uint32_t>{e.event_type, e.from, e.to, e.previous, e.current, e.buffer.object.type,
                                       e.buffer.property, e.buffer.device.instance}),
                (std::vector<uint32_t>{10, 0, 0, 0, 10, OBJECT_TREND_LOG, PROP_LOG_BUFFER, kOwner}));
      EXPECT_EQ(*object_word(log, PROP_LAST_NOTIFY_RECORD), 10u);
      EXPECT_EQ(*object_word(log, PROP_RECORDS_SINCE_NOTIFICATION), 0u);
      tick(9);
      EXPECT_EQ(events().size(), 1u);
      tick();
      ASSERT_EQ(events().size(), 2u);
      EXPECT_EQ((std::pair{events()[1].previous, events()[1].current}), (std::pair{10u, 20u}));
      // An acknowledged buffer-ready is owed an acknowledgment notification on the next run.
      bitstring_set_bit(object_bits(log, PROP_PENDING_ACKNOWLEDGMENTS), TRANSITION_TO_NORMAL, 1);
      tick();
      ASSERT_EQ(events().size(), 3u);
      EXPECT_EQ(events()[2].notify, 2u);
    }
  }
}

TEST_F(SecondTick, RecordsSinceTheLastNotificationCountAcrossTheWrap)
{
  const struct {
    uint32_t total, notified, since;
  } cases[] = {{3, 4294967290u, 43}, {5, 30, 9}, {25, 10, 15}, {7, 7, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(trendlog_records_since_notified(c.total, c.notified), c.since) << c.total << " " << c.notified;
}

TEST_F(SecondTick, TheBackupCountdownReturnsTheDeviceToOperational)
{
  ObjectRecord* device = object_Find(kOwner, OBJECT_DEVICE, kOwner);
  *object_word(device, PROP_SYSTEM_STATUS) = 5;
  *object_word(device, FIELD_BACKUP_COUNTDOWN) = 10;
  testing::internal::CaptureStdout();
  tick(9);
  EXPECT_EQ(*object_word(device, PROP_SYSTEM_STATUS), 5u);
  object_Timer(kOwner, device, 0);  // out of turn: no second passes
  tick();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(*object_word(device, PROP_SYSTEM_STATUS), 0u);
  EXPECT_EQ(out.substr(0, 36), "BackupTimeLeft: 9\nBackupTimeLeft: 8\n");
  EXPECT_EQ(out.substr(out.size() - 36), "BackupTimeLeft: 1\nBackupTimeLeft: 0\n");
  testing::internal::CaptureStdout();
  tick();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(SecondTick, OneTimeSynchronisationGoesOutAtLocalMidnight)
{
  // Recipients as (choice, network): a device, then an address.
  auto recipients = [](uint32_t network) {
    std::vector<BACnetValue> out;
    for (int32_t choice : {0, 1}) {
      out.push_back(element(TAG_RECIPIENT));
      auto* r = value_record<BACnetRecipient>(&out.back());
      r->choice = choice;
      r->device = {OBJECT_DEVICE, 5};
      r->address.network = choice ? network : 0;
    }
    return list_of(TAG_RECIPIENT_LIST, out);
  };
  auto set_recipients = [&](uint32_t network) {
    ObjectRecord* device = object_Find(kOwner, OBJECT_DEVICE, kOwner);
    replace(object_value(device, PROP_TIME_SYNCHRONIZATION_RECIPIENTS), recipients(network));
  };
  constexpr uint32_t kMidnight = kMondayNoon + 12 * 3600;
  // An address on network 65535 is a broadcast; one on network 5 is not.
  for (const auto& [network, syncs] : {std::pair{65535u, 1}, std::pair{5u, 0}}) {
    SCOPED_TRACE(network);
    g_time_syncs = 0;
    set_recipients(network);
    clock.set_wall(kMidnight - 3);
    tick(5);
    EXPECT_EQ(g_time_syncs, syncs);
  }
  // A tick that skips midnight skips the day's synchronisation.
  g_time_syncs = 0;
  set_recipients(65535);
  clock.set_wall(kMidnight + 86400 - 1);
  tick(2);
  EXPECT_EQ(g_time_syncs, 1);
  g_time_syncs = 0;
  clock.set_wall(kMidnight + 2 * 86400 - 2);
  tick();
  clock.set_wall(kMidnight + 2 * 86400 + 1);
  object_second_tick();
  EXPECT_EQ(g_time_syncs, 0);
}

}  // namespace
