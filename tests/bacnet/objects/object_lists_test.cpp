#include "reporting_test_util.h"

#include "bacnet/objects/object_lists.h"

using namespace objtest;

namespace {

BACnetValue calendar_date(uint8_t day)
{
  BACnetValue v{};
  value_init(&v, TAG_CALENDAR_ENTRY);
  auto* e = value_record<BACnetCalendarEntry>(&v);
  e->choice = 0;
  e->date = {126, 12, day, 255};
  return v;
}

BACnetValue daily(uint8_t hour)
{
  BACnetValue v{};
  value_init(&v, TAG_DAILY_SCHEDULE);
  BACnetValue tv{};
  value_init(&tv, TAG_TIME_VALUE);
  auto* t = value_record<BACnetTimeValue>(&tv);
  t->time = {hour, 0, 0, 0};
  uint32_t on = 1;
  value_set_enumerated(&on, &t->value);
  value_record<BACnetDailySchedule>(&v)->day_schedule = tv;
  return v;
}

BACnetValue special_event()
{
  BACnetValue v{};
  value_init(&v, TAG_SPECIAL_EVENT);
  auto* e = value_record<BACnetSpecialEvent>(&v);
  e->period_choice = 0;
  e->calendar_entry.choice = 0;
  e->calendar_entry.date = {126, 12, 24, 255};
  e->priority = 5;
  return v;
}

BACnetValue log_record(uint32_t choice, uint32_t datum, uint8_t second)
{
  BACnetValue v{};
  value_init(&v, TAG_LOG_RECORD);
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
  uint32_t count(uint32_t type, uint32_t property, int32_t index = -1)
  {
    Value v;
    object_GetObjectProperty(-1, kOwner, type, 1, property, index, v.get());
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
  float real = 1.5f;
  BACnetValue a_real{};
  value_set_real(&real, &a_real);
  const std::vector<Case> cases = {
      {"not a list", OBJECT_ANALOG_VALUE, 1, PROP_PRESENT_VALUE, -1, unsigned_element(1), 24, 2},
      {"unknown type", 21, 1, PROP_DATE_LIST, -1, unsigned_element(1), 32, 2},
      {"a list of another type", OBJECT_ANALOG_VALUE, 1, PROP_DATE_LIST, -1, unsigned_element(1), 33, 2},
      {"a read-only list", OBJECT_DEVICE, 1, PROP_ACTIVE_COV_SUBSCRIPTIONS, -1, unsigned_element(1), 41, 2},
      {"a date", OBJECT_CALENDAR, 1, PROP_DATE_LIST, -1, calendar_date(24), 0, 2},
      {"the same date again", OBJECT_CALENDAR, 1, PROP_DATE_LIST, -1, calendar_date(24), 1, 2},
      {"no date", OBJECT_CALENDAR, 1, PROP_DATE_LIST, -1, unsigned_element(1), 10, 2},
      {"an alarm value", OBJECT_MULTI_STATE_VALUE, 1, PROP_ALARM_VALUES, -1, unsigned_element(3), 0, 2},
      {"a REAL alarm value", OBJECT_MULTI_STATE_VALUE, 1, PROP_ALARM_VALUES, -1, a_real, 10, 2},
      {"a recipient", OBJECT_NOTIFICATION_CLASS, 1, PROP_RECIPIENT_LIST, -1, destination(9, 1, false), 0, 2},
      {"the recipient renewed", OBJECT_NOTIFICATION_CLASS, 1, PROP_RECIPIENT_LIST, -1, destination(9, 1, true), 0, 2},
      {"the exception schedule is an array", OBJECT_SCHEDULE, 1, PROP_EXCEPTION_SCHEDULE, 3, special_event(), 24, 2},
      {"a day past Sunday", OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, 8, daily(6), 43, 2},
      {"Tuesday at six", OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, 2, daily(6), 0, 2},
      {"Tuesday at six again", OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, 2, daily(6), 1, 2},
      {"a missing calendar", OBJECT_CALENDAR, 9, PROP_DATE_LIST, -1, calendar_date(1), 32, 1},
  };
  for (Case c : cases) {
    EXPECT_EQ(object_AddListElement(kOwner, c.type, c.instance, c.property, c.index, 0, &c.element), c.result) << c.name;
    EXPECT_EQ(object_GetErrorClass(), c.error_class) << c.name;
    value_free(&c.element);
  }
  EXPECT_EQ(count(OBJECT_CALENDAR, PROP_DATE_LIST), 1u);
  EXPECT_EQ(count(OBJECT_NOTIFICATION_CLASS, PROP_RECIPIENT_LIST), 1u);
  Value recipients;
  object_GetObjectProperty(-1, kOwner, OBJECT_NOTIFICATION_CLASS, 1, PROP_RECIPIENT_LIST, 1, recipients.get());
  EXPECT_EQ(value_record<BACnetDestination>(recipients.get())->issue_confirmed, 1);  // the newer one
  // The stack's own door appends to it.
  BACnetValue exception = special_event();
  EXPECT_EQ(object_AddListElements(kOwner, OBJECT_SCHEDULE, 1, PROP_EXCEPTION_SCHEDULE, -1, 0, &exception), 0);
  EXPECT_EQ(object_AddListElements(kOwner, OBJECT_SCHEDULE, 1, PROP_EXCEPTION_SCHEDULE, -1, 0, &exception), 0);
  value_free(&exception);
  EXPECT_EQ(count(OBJECT_SCHEDULE, PROP_EXCEPTION_SCHEDULE), 2u);
  Value tuesday;
  object_GetObjectProperty(-1, kOwner, OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, 2, tuesday.get());
  EXPECT_EQ(array_of(value_record<BACnetDailySchedule>(tuesday.get())->day_schedule).used, 1u);
}

TEST_F(ObjectLists, ElementsAreKeptSortedAndRemovedByValue)
{
  for (uint32_t v : {7, 2, 5}) {
    BACnetValue e = unsigned_element(v);
    ASSERT_EQ(object_AddListElement(kOwner, OBJECT_MULTI_STATE_VALUE, 1, PROP_FAULT_VALUES, -1, 0, &e), 0);
  }
  BACnetValue five = unsigned_element(5), six = unsigned_element(6);
  EXPECT_EQ(object_RemoveListElement(kOwner, OBJECT_MULTI_STATE_VALUE, 1, PROP_FAULT_VALUES, -1, &five), 0);
  EXPECT_EQ(object_RemoveListElement(kOwner, OBJECT_MULTI_STATE_VALUE, 1, PROP_FAULT_VALUES, -1, &six), 1);
  Value list;
  ASSERT_EQ(read(kOwner, OBJECT_MULTI_STATE_VALUE, 1, PROP_FAULT_VALUES, list), 0);
  const BACnetValueArray& a = array_of(list.v);
  ASSERT_EQ(a.used, 2u);
  EXPECT_EQ(a.elements[0].payload.unsigned_value, 2u);
  EXPECT_EQ(a.elements[1].payload.unsigned_value, 7u);
  // A subscription list is made on its first element, for the types that have one.
  BACnetValue d = destination(9, 1, false);
  EXPECT_EQ(object_AddListElements(kOwner, OBJECT_ANALOG_VALUE, 1, PROP_COV_SUBSCRIBERS, -1, 0, &d), 0);
  EXPECT_EQ(object_AddListElements(kOwner, OBJECT_CALENDAR, 1, PROP_COV_SUBSCRIBERS, -1, 0, &d), 1);
  EXPECT_EQ(object_AddListElements(kOwner, OBJECT_ANALOG_VALUE, 5, PROP_COV_SUBSCRIBERS, -1, 0, &d), 1);
  EXPECT_EQ(object_value(object_Find(kOwner, OBJECT_ANALOG_VALUE, 1), PROP_COV_SUBSCRIBERS)->tag, TAG_DESTINATION_LIST);
  value_free(&d);
}

TEST_F(ObjectLists, TheLogBufferTakesRecordsWholeOrAsARing)
{
  ObjectRecord* log = object_Find(kOwner, OBJECT_TREND_LOG, 1);
  const uint32_t total_before = *object_word(log, PROP_TOTAL_RECORD_COUNT);
  struct Step {
    uint32_t choice, datum;
    uint8_t ring;
  };
  const float real = 21.5f;
  uint32_t real_bits;
  std::memcpy(&real_bits, &real, 4);
  const std::vector<Step> steps = {{2, real_bits, 0}, {3, 4, 0}, {4, 9, 0}, {5, 0xFFFFFFFE, 1}};
  uint8_t second = 0;
  for (const Step& s : steps) {
    BACnetValue r = log_record(s.choice, s.datum, second++);
    ASSERT_EQ(object_AddListElements(kOwner, OBJECT_TREND_LOG, 1, PROP_LOG_BUFFER, -1, s.ring, &r), 0);
    value_free(&r);
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
  // The network reaches neither the log buffer nor the subscriptions.
  BACnetValue r = log_record(2, 0, 9);
  EXPECT_EQ(object_AddListElement(kOwner, OBJECT_TREND_LOG, 1, PROP_LOG_BUFFER, -1, 0, &r), 41);
  value_free(&r);
  BACnetValue d = destination(9, 1, false);
  EXPECT_EQ(object_AddListElement(kOwner, OBJECT_ANALOG_VALUE, 1, PROP_COV_SUBSCRIBERS, -1, 0, &d), 24);
  value_free(&d);
}

}  // namespace
