#include "reporting_test_util.h"

#include "bacnet/objects/object_lists.h"

using namespace objtest;

namespace {

BACnetValue calendar_date(uint8_t day)
{
  BACnetValue v = element(TAG_CALENDAR_ENTRY);
  *value_record<BACnetCalendarEntry>(&v) = {0, {126, 12, day, 255}, {}, {}};
  return v;
}

// A day schedule of one time value.
BACnetValue daily(uint8_t hour)
{
  BACnetValue v = element(TAG_DAILY_SCHEDULE);
  replace(&value_record<BACnetDailySchedule>(&v)->day_schedule, time_value(hour, 1.0f));
  return v;
}

BACnetValue christmas() { return special_event(5, {}, {126, 12, 24, 255}); }

// A time value that switches to a text, which no schedule writes.
BACnetValue text_at(uint8_t hour)
{
  BACnetValue v = time_value(hour, 0.0f);
  value_set_charstring("an", &value_record<BACnetTimeValue>(&v)->value);
  return v;
}

BACnetValue log_record(uint32_t choice, uint32_t datum, uint8_t second)
{
  BACnetValue v = element(TAG_LOG_RECORD);
  auto* r = value_record<BACnetLogRecord>(&v);
  r->timestamp = {{126, 1, 5, 1}, {12, 0, second, 0}};
  r->choice = choice;
  r->datum.unsigned_value = datum;
  return v;
}

class ObjectLists : public ReportingTest {
protected:
  void SetUp() override
  {
    ReportingTest::SetUp();
    for (uint32_t type : {OBJECT_CALENDAR, OBJECT_MULTI_STATE_VALUE, OBJECT_NOTIFICATION_CLASS, OBJECT_SCHEDULE,
                          OBJECT_ANALOG_VALUE, OBJECT_TREND_LOG, OBJECT_DEVICE})
      create(type, 1);
  }
  uint32_t count(uint32_t type, uint32_t property)
  {
    Value v;
    object_GetObjectProperty(-1, kOwner, type, 1, property, -1, v.get());
    const BACnetValueArray* a = value_array(v.get());
    return a ? a->used : 0;
  }
};

TEST_F(ObjectLists, AddListElementChecksAndKeepsEachListInItsOrder)
{
  struct Case {
    const char* name;
    uint32_t type, instance, property;
    int32_t index;
    BACnetValue element;
    int result;
    uint32_t error_class;
  };
  const std::vector<Case> cases = {
      {"not a list", OBJECT_ANALOG_VALUE, 1, PROP_PRESENT_VALUE, -1, unsigned_element(1), 23, 2},
      {"unknown type", 21, 1, PROP_DATE_LIST, -1, unsigned_element(1), 32, 2},
      {"a list of another type", OBJECT_ANALOG_VALUE, 1, PROP_DATE_LIST, -1, unsigned_element(1), 33, 2},
      {"a read-only list", OBJECT_DEVICE, 1, PROP_ACTIVE_COV_SUBSCRIPTIONS, -1, unsigned_element(1), 41, 2},
      {"a date", OBJECT_CALENDAR, 1, PROP_DATE_LIST, -1, calendar_date(24), 0, 2},
      {"the same date again", OBJECT_CALENDAR, 1, PROP_DATE_LIST, -1, calendar_date(24), 1, 2},
      {"no date", OBJECT_CALENDAR, 1, PROP_DATE_LIST, -1, unsigned_element(1), 10, 2},
      {"an alarm value", OBJECT_MULTI_STATE_VALUE, 1, PROP_ALARM_VALUES, -1, unsigned_element(3), 0, 2},
      {"a REAL alarm value", OBJECT_MULTI_STATE_VALUE, 1, PROP_ALARM_VALUES, -1, real_value(1.5f), 10, 2},
      {"a recipient", OBJECT_NOTIFICATION_CLASS, 1, PROP_RECIPIENT_LIST, -1, destination(9, 1, false), 0, 2},
      {"the recipient renewed", OBJECT_NOTIFICATION_CLASS, 1, PROP_RECIPIENT_LIST, -1, destination(9, 1, true), 0, 2},
      {"an exception without a day", OBJECT_SCHEDULE, 1, PROP_EXCEPTION_SCHEDULE, -1, christmas(), 43, 2},
      {"an exception at priority 17", OBJECT_SCHEDULE, 1, PROP_EXCEPTION_SCHEDULE, 1, special_event(17, {}), 38, 2},
      {"an exception to a text", OBJECT_SCHEDULE, 1, PROP_EXCEPTION_SCHEDULE, 1, special_event(5, {text_at(6)}), 48, 2},
      {"an exception on Christmas Eve", OBJECT_SCHEDULE, 1, PROP_EXCEPTION_SCHEDULE, 3, christmas(), 0, 2},
      {"a day past Sunday", OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, 8, daily(6), 43, 2},
      {"Tuesday at six", OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, 2, daily(6), 0, 2},
      {"Tuesday at six again", OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, 2, daily(6), 1, 2},
      {"a missing calendar", OBJECT_CALENDAR, 9, PROP_DATE_LIST, -1, calendar_date(1), 32, 1},
      // The network reaches neither the log buffer nor the subscriptions.
      {"a log record", OBJECT_TREND_LOG, 1, PROP_LOG_BUFFER, -1, log_record(2, 0, 9), 41, 2},
      {"a subscription", OBJECT_ANALOG_VALUE, 1, PROP_COV_SUBSCRIBERS, -1, destination(9, 1, false), 23, 2},
  };
  for (Case c : cases) {
    OwnedValue element(c.element);  // each row's own
    EXPECT_EQ(object_AddListElement(kOwner, c.type, c.instance, c.property, c.index, 0, element.get()), c.result)
        << c.name;
    EXPECT_EQ(object_GetErrorClass(), c.error_class) << c.name;
  }
  EXPECT_EQ(count(OBJECT_CALENDAR, PROP_DATE_LIST), 1u);
  EXPECT_EQ(count(OBJECT_NOTIFICATION_CLASS, PROP_RECIPIENT_LIST), 1u);
  Value recipients;
  object_GetObjectProperty(-1, kOwner, OBJECT_NOTIFICATION_CLASS, 1, PROP_RECIPIENT_LIST, 1, recipients.get());
  EXPECT_EQ(value_record<BACnetDestination>(recipients.get())->issue_confirmed, 1);  // the newer one
  // The stack's own door appends to it without an index, after the one the network added.
  OwnedValue exception(christmas());
  EXPECT_EQ(object_AddListElements(kOwner, OBJECT_SCHEDULE, 1, PROP_EXCEPTION_SCHEDULE, -1, 0, exception.get()), 0);
  EXPECT_EQ(object_AddListElements(kOwner, OBJECT_SCHEDULE, 1, PROP_EXCEPTION_SCHEDULE, -1, 0, exception.get()), 0);
  EXPECT_EQ(count(OBJECT_SCHEDULE, PROP_EXCEPTION_SCHEDULE), 3u);
  Value tuesday;
  object_GetObjectProperty(-1, kOwner, OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, 2, tuesday.get());
  EXPECT_EQ(array_of(value_record<BACnetDailySchedule>(tuesday.get())->day_schedule).used, 1u);
}

TEST_F(ObjectLists, ElementsAreKeptSortedAndSubscriptionListsMadeOnDemand)
{
  for (uint32_t v : {7, 2, 5}) {
    BACnetValue e = unsigned_element(v);
    ASSERT_EQ(object_AddListElement(kOwner, OBJECT_MULTI_STATE_VALUE, 1, PROP_FAULT_VALUES, -1, 0, &e), 0);
  }
  Value list;
  ASSERT_EQ(read(kOwner, OBJECT_MULTI_STATE_VALUE, 1, PROP_FAULT_VALUES, list), 0);
  std::vector<uint32_t> values;
  for (uint32_t i = 0; i < array_of(*list).used; ++i)
    values.push_back(array_of(*list).elements[i].payload.unsigned_value);
  EXPECT_EQ(values, (std::vector<uint32_t>{2, 5, 7}));
  // A subscription list is made on its first element, for the types that have one.
  OwnedValue d(destination(9, 1, false));
  EXPECT_EQ(object_AddListElements(kOwner, OBJECT_ANALOG_VALUE, 1, PROP_COV_SUBSCRIBERS, -1, 0, d.get()), 0);
  EXPECT_EQ(object_AddListElements(kOwner, OBJECT_CALENDAR, 1, PROP_COV_SUBSCRIBERS, -1, 0, d.get()), 1);
  EXPECT_EQ(object_AddListElements(kOwner, OBJECT_ANALOG_VALUE, 5, PROP_COV_SUBSCRIBERS, -1, 0, d.get()), 1);
  EXPECT_EQ(object_value(object_Find(kOwner, OBJECT_ANALOG_VALUE, 1), PROP_COV_SUBSCRIBERS)->tag, TAG_DESTINATION_LIST);
}

TEST_F(ObjectLists, TheLogBufferTakesRecordsWholeOrAsARing)
{
  ObjectRecord* log = object_Find(kOwner, OBJECT_TREND_LOG, 1);
  const uint32_t total_before = *object_word(log, PROP_TOTAL_RECORD_COUNT);
  struct Step {
    uint32_t choice, datum;
    uint8_t ring;
  };
  const std::vector<Step> steps = {{2, 0x41AC0000 /* 21.5 */, 0}, {3, 4, 0}, {4, 9, 0}, {5, 0xFFFFFFFE, 1}};
  uint8_t second = 0;
  for (const Step& s : steps) {
    OwnedValue r(log_record(s.choice, s.datum, second++));
    ASSERT_EQ(object_AddListElements(kOwner, OBJECT_TREND_LOG, 1, PROP_LOG_BUFFER, -1, s.ring, r.get()), 0);
  }
  const BACnetValueArray& buffer = array_of(*object_value(log, PROP_LOG_BUFFER));
  ASSERT_EQ(buffer.used, 3u);  // the ring insertion dropped the oldest
  for (uint32_t i = 0; i < 3; ++i) {
    auto* r = value_record<BACnetLogRecord>(&buffer.elements[i]);
    EXPECT_EQ(r->choice, steps[i + 1].choice);
    EXPECT_EQ(r->datum.unsigned_value, steps[i + 1].datum);  // every datum survives the copy
  }
  EXPECT_EQ(*object_word(log, PROP_TOTAL_RECORD_COUNT), total_before + 4);
  EXPECT_EQ(*object_word(log, PROP_RECORDS_SINCE_NOTIFICATION), 4u);
}

}  // namespace
