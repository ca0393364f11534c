#include "objects_test_util.h"

#include <cmath>
#include <fstream>

#include "bacnet/value/value_memory.h"

using namespace objtest;

namespace {

// Hooks that answer every outside call, so that every readable property has a value.
uint32_t fake_timeout() { return 5000; }
uint32_t fake_retries() { return 3; }
int fake_value(BACnetValue* value)
{
  uint32_t n = 1;
  return value_set_unsigned(&n, value);
}
int fake_max_apdu(uint32_t, BACnetValue* value, uint8_t) { return fake_value(value); }
int fake_bindings(uint32_t, BACnetValue* value, int32_t, uint8_t) { return fake_value(value); }
int fake_scan(BACnetValue* value, uint8_t) { return fake_value(value); }
int32_t fake_local(const BACnetAddressValue*) { return 1234; }

ObjectHooks answering_hooks()
{
  ObjectHooks h;
  h.get_apdu_timeout = fake_timeout;
  h.get_apdu_retries = fake_retries;
  h.read_max_apdu = fake_max_apdu;
  h.encode_binding_list = fake_bindings;
  h.scan_control = fake_scan;
  h.scan_status_text = fake_scan;
  h.get_local_instance = fake_local;
  return h;
}

std::vector<uint32_t> identifiers(const BACnetValue& list)
{
  std::vector<uint32_t> out;
  const BACnetValueArray& a = array_of(list);
  for (uint32_t i = 0; i < a.used; ++i)
    out.push_back(a.elements[i].payload.enumerated);
  return out;
}

}  // namespace

class PropertyAccessTest : public ObjectsTest {};

// Every property a type lists for the network reads, except those that say otherwise.
TEST_F(PropertyAccessTest, EveryReadablePropertyReads)
{
  ObjectHooks hooks = answering_hooks();
  object_set_hooks(&hooks);
  const std::string path = ::testing::TempDir() + "objects_file.bin";
  std::ofstream(path) << "12345";
  for (const ObjectTypeSpec* spec : object_type_specs()) {
    uint32_t owner = spec->type == OBJECT_DEVICE ? 7 : kOwner;
    ASSERT_NE(object_CreateObject(owner, spec->type, 7), nullptr);
    if (spec->type == OBJECT_FILE) {
      ASSERT_EQ(object_SetString(owner, OBJECT_FILE, 7, PROP_FILE_NAME, path.c_str()), 0);
    }
    for (const FieldSpec& f : spec->fields) {
      if (!(f.flags & (FIELD_REQUIRED | FIELD_OPTIONAL | FIELD_EVENT)))
        continue;
      int expected = 0;
      if (f.property == PROP_LOG_BUFFER)
        expected = PROPERTY_READ_ACCESS_DENIED;
      if (f.property == PROP_MAX_INFO_FRAMES || f.property == PROP_MAX_MASTER)
        expected = 1;  // the Device holds no value for them
      if (spec->type == OBJECT_METER && f.property == PROP_PRESENT_VALUE)
        expected = 1;  // a new meter is unreliable (reliability 1)
      Value v;
      EXPECT_EQ(read(owner, spec->type, 7, f.property, v), expected)
          << "type " << spec->type << " property " << f.property;
      if (expected == 0 && f.property != PROP_PRESENT_VALUE && f.property != PROP_RECIPIENT) {
        EXPECT_NE(v->tag, TAG_NULL) << "type " << spec->type << " property " << f.property;
      }
    }
    // Not in the read tables: the property lists and a proprietary field.
    Value v;
    EXPECT_EQ(read(owner, spec->type, 7, PROP_ALL, v), PROPERTY_UNKNOWN_PROPERTY);
    EXPECT_EQ(read(owner, spec->type, 7, PROP_COV_SUBSCRIBERS, v), PROPERTY_UNKNOWN_PROPERTY);
  }
  Value size;
  ASSERT_EQ(read(kOwner, OBJECT_FILE, 7, PROP_FILE_SIZE, size), 0);
  EXPECT_EQ(size->payload.unsigned_value, 5u);
}

TEST_F(PropertyAccessTest, ErrorClassTellsAMissingObjectFromAMissingProperty)
{
  create(OBJECT_ANALOG_INPUT, 1);
  Value v;
  EXPECT_EQ(read(kOwner, OBJECT_ANALOG_INPUT, 2, PROP_PRESENT_VALUE, v), PROPERTY_UNKNOWN_OBJECT);
  EXPECT_EQ(object_GetErrorClass(), kErrorClassObject);
  EXPECT_EQ(read(kOwner, OBJECT_ANALOG_INPUT, 1, PROP_PRIORITY_ARRAY, v), PROPERTY_UNKNOWN_PROPERTY);
  EXPECT_EQ(object_GetErrorClass(), kErrorClassProperty);
  set_real(v, 1);
  EXPECT_EQ(write(kOwner, OBJECT_ANALOG_INPUT, 9, PROP_PRESENT_VALUE, v), PROPERTY_UNKNOWN_OBJECT);
  EXPECT_EQ(object_GetErrorClass(), kErrorClassObject);
  EXPECT_EQ(object_GetObjectProperty(-1, kOwner, OBJECT_ANALOG_INPUT, 9, PROP_PRESENT_VALUE, -1, v.get()), 1);
}

TEST_F(PropertyAccessTest, ArrayIndexesOnlyOnArrays)
{
  create(OBJECT_ANALOG_INPUT, 1);
  Value v;
  EXPECT_EQ(read(kOwner, 0, 1, PROP_PRESENT_VALUE, v, 0), PROPERTY_NOT_AN_ARRAY);
  ASSERT_EQ(read(kOwner, 0, 1, PROP_EVENT_TIME_STAMPS, v, 0), 0);
  EXPECT_EQ(v->tag, TAG_UNSIGNED);
  EXPECT_EQ(v->payload.unsigned_value, 3u);
  ASSERT_EQ(read(kOwner, 0, 1, PROP_EVENT_TIME_STAMPS, v, 2), 0);
  EXPECT_EQ(v->tag, TAG_TIMESTAMP);
  EXPECT_EQ(read(kOwner, 0, 1, PROP_EVENT_TIME_STAMPS, v, 4), PROPERTY_INVALID_ARRAY_INDEX);
  set_real(v, 2);
  EXPECT_EQ(write(kOwner, 0, 1, PROP_COV_INCREMENT, v, 0, 1), PROPERTY_NOT_AN_ARRAY);

  // Lists are not arrays: the date list takes no index.
  create(OBJECT_CALENDAR, 1);
  EXPECT_EQ(read(kOwner, OBJECT_CALENDAR, 1, PROP_DATE_LIST, v, 1), PROPERTY_NOT_AN_ARRAY);

  ObjectRecord* nc = create(OBJECT_NOTIFICATION_CLASS, 1);
  set_unsigned(v, 200);
  ASSERT_EQ(write(kOwner, OBJECT_NOTIFICATION_CLASS, 1, PROP_PRIORITY, v, 0, 2), 0);
  EXPECT_EQ(array_of(*object_value(nc, PROP_PRIORITY)).elements[1].payload.unsigned_value, 200u);
  ASSERT_EQ(read(kOwner, OBJECT_NOTIFICATION_CLASS, 1, PROP_PRIORITY, v, 2), 0);
  EXPECT_EQ(v->payload.unsigned_value, 200u);
  ASSERT_EQ(read(kOwner, OBJECT_NOTIFICATION_CLASS, 1, PROP_PRIORITY, v, 0), 0);
  EXPECT_EQ(v->payload.unsigned_value, 3u);
}

TEST_F(PropertyAccessTest, PropertyListsComeOnlyThroughTheInnerDoor)
{
  create(OBJECT_ANALOG_INPUT, 1);
  Value v;
  EXPECT_EQ(read(kOwner, 0, 1, PROP_ALL, v), PROPERTY_UNKNOWN_PROPERTY);
  const std::vector<uint32_t> events{113, 17, 45, 59, 25, 52, 35, 0, 72, 130};
  ASSERT_EQ(object_GetObjectProperty(-1, kOwner, 0, 1, PROP_REQUIRED, -1, v.get()), 0);
  EXPECT_EQ(identifiers(*v), (std::vector<uint32_t>{75, 77, 79, 85, 111, 36, 81, 117}));
  ASSERT_EQ(object_GetObjectProperty(-1, kOwner, 0, 1, PROP_OPTIONAL, -1, v.get()), 0);
  std::vector<uint32_t> optional{28, 31, 103, 118, 69, 65, 106, 22};
  optional.insert(optional.end(), events.begin(), events.end());
  EXPECT_EQ(identifiers(*v), optional);
  ASSERT_EQ(object_GetObjectProperty(-1, kOwner, 0, 1, PROP_ALL, -1, v.get()), 0);
  std::vector<uint32_t> all{75, 77, 79, 85, 28, 31, 111, 36, 103, 81, 118, 117, 69, 65, 106, 22};
  all.insert(all.end(), events.begin(), events.end());
  EXPECT_EQ(identifiers(*v), all);
  EXPECT_EQ(v->tag, TAG_LIST);

  create(OBJECT_CALENDAR, 1);
  ASSERT_EQ(object_GetObjectProperty(-1, kOwner, OBJECT_CALENDAR, 1, PROP_ALL, -1, v.get()), 0);
  EXPECT_EQ(identifiers(*v), (std::vector<uint32_t>{75, 77, 79, 28, 85, 23}));

  // Intrinsic reporting off: the event properties are gone for reads, writes and lists.
  ObjectRecord* ai = object_Find(kOwner, 0, 1);
  *object_word(ai, FIELD_REPORTING_SWITCH) = 0;
  ASSERT_EQ(object_GetObjectProperty(-1, kOwner, 0, 1, PROP_ALL, -1, v.get()), 0);
  EXPECT_EQ(identifiers(*v),
            (std::vector<uint32_t>{75, 77, 79, 85, 28, 31, 111, 36, 103, 81, 118, 117, 69, 65, 106, 22}));
  EXPECT_EQ(read(kOwner, 0, 1, PROP_HIGH_LIMIT, v), PROPERTY_UNKNOWN_PROPERTY);
  set_real(v, 3);
  EXPECT_EQ(write(kOwner, 0, 1, PROP_HIGH_LIMIT, v), PROPERTY_UNKNOWN_PROPERTY);

  // The Loop switch only changes what a Loop lists.
  create(OBJECT_LOOP, 1);
  ASSERT_EQ(object_GetObjectProperty(-1, kOwner, OBJECT_LOOP, 1, PROP_ALL, -1, v.get()), 0);
  size_t with_events = array_of(*v).used;
  object_SetLoopEventSwitch(0);
  ASSERT_EQ(object_GetObjectProperty(-1, kOwner, OBJECT_LOOP, 1, PROP_ALL, -1, v.get()), 0);
  EXPECT_EQ(array_of(*v).used, with_events - 7);
  EXPECT_EQ(read(kOwner, OBJECT_LOOP, 1, PROP_ERROR_LIMIT, v), 0);
}

// Each case: a write through the network door and the refusal it must get (0: accepted).
TEST_F(PropertyAccessTest, WriteChecksGiveTheirErrorCodes)
{
  for (uint32_t type : {0u, 1u, 3u, 4u, 5u, 9u, 13u, 14u, 15u, 17u, 20u, 128u, 6u, 10u, 12u, 7u, 16u, 18u})
    create(type, 1);
  ObjectRecord* mi = object_Find(kOwner, 13, 1);
  *object_word(mi, PROP_NUMBER_OF_STATES) = 4;

  auto expect = [&](uint32_t type, uint32_t property, auto fill, int code, uint32_t priority = 0) {
    Value v;
    fill(v);
    EXPECT_EQ(write(kOwner, type, 1, property, v, priority), code) << "type " << type << " property " << property;
  };
  auto u = [](uint32_t n) { return [n](Value& v) { set_unsigned(v, n); }; };
  auto r = [](float f) { return [f](Value& v) { set_real(v, f); }; };
  auto e = [](uint32_t n) { return [n](Value& v) { set_enumerated(v, n); }; };
  auto b = [](bool x) { return [x](Value& v) { set_boolean(v, x); }; };
  auto t = [](const char* s) { return [s](Value& v) { set_text(v, s); }; };
  auto bits = [](std::vector<uint8_t> x) { return [x](Value& v) { set_bits(v, x); }; };

  expect(0, PROP_NOTIFICATION_CLASS, u(4194304), 38);
  expect(0, PROP_NOTIFICATION_CLASS, u(4194303), 0);
  expect(0, PROP_NOTIFICATION_CLASS, r(5), 10);
  expect(0, PROP_COV_INCREMENT, u(1), 10);
  expect(0, PROP_COV_INCREMENT, r(-1), 38);
  expect(0, PROP_COV_INCREMENT, r(std::nanf("")), 38);
  expect(0, PROP_DEADBAND, r(-0.5f), 38);
  expect(0, PROP_DEADBAND, r(0), 0);
  expect(0, PROP_EVENT_ENABLE, bits({1, 0}), 38);
  expect(9, PROP_EVENT_ENABLE, bits({1, 0}), 10);
  expect(9, PROP_ACKED_TRANSITIONS, bits({1, 0, 1, 1}), 10);
  expect(0, PROP_EVENT_ENABLE, bits({1, 0, 1}), 0);
  expect(0, PROP_LIMIT_ENABLE, bits({1, 1, 1}), 38);
  expect(0, PROP_NOTIFY_TYPE, e(2), 38);
  expect(0, PROP_NOTIFY_TYPE, u(1), 10);
  expect(0, PROP_OUT_OF_SERVICE, e(1), 10);
  expect(0, PROP_TIME_DELAY, r(1), 10);
  expect(0, PROP_UNITS, e(62), 41);
  expect(0, PROP_OBJECT_NAME, t("x"), 41);
  expect(0, 9999, u(1), 33);

  // Inputs take a present value and a reliability only out of service.
  expect(0, PROP_PRESENT_VALUE, r(20), 41);
  expect(0, PROP_RELIABILITY, e(0), 41);
  expect(0, PROP_OUT_OF_SERVICE, b(true), 0);
  expect(0, PROP_PRESENT_VALUE, u(20), 10);
  expect(0, PROP_PRESENT_VALUE, r(20), 0);
  expect(0, PROP_RELIABILITY, e(6), 38);
  expect(0, PROP_RELIABILITY, u(7), 10);
  expect(0, PROP_RELIABILITY, e(7), 0);
  expect(3, PROP_OUT_OF_SERVICE, b(true), 0);
  expect(3, PROP_PRESENT_VALUE, e(2), 38);
  expect(3, PROP_PRESENT_VALUE, e(1), 0);
  expect(3, PROP_ALARM_VALUE, e(1), 0);
  expect(3, PROP_POLARITY, e(1), 41);
  expect(13, PROP_OUT_OF_SERVICE, b(true), 0);
  expect(13, PROP_PRESENT_VALUE, u(5), 38);
  expect(13, PROP_PRESENT_VALUE, u(0), 38);
  expect(13, PROP_PRESENT_VALUE, u(4), 0);
  expect(13, PROP_RELIABILITY, e(9), 0);
  expect(13, PROP_ALARM_VALUES, [](Value& v) { make_list(v, TAG_UNSIGNED_LIST, {unsigned_element(2), unsigned_element(5)}); }, 38);
  expect(13, PROP_FAULT_VALUES, [](Value& v) { make_list(v, TAG_UNSIGNED_LIST, {unsigned_element(2), unsigned_element(4)}); }, 0);
  expect(13, PROP_FAULT_VALUES, u(2), 10);

  // Outputs take NULL or their kind at a priority.
  expect(1, PROP_PRESENT_VALUE, u(1), 10);
  expect(1, PROP_PRESENT_VALUE, [](Value&) {}, 0, 5);
  expect(4, PROP_PRESENT_VALUE, e(2), 38);
  expect(4, PROP_FEEDBACK_VALUE, e(1), 0);
  expect(4, PROP_MINIMUM_ON_TIME, u(30), 0);
  expect(4, PROP_MINIMUM_ON_TIME, r(30), 10);
  expect(4, PROP_INACTIVE_TEXT, t("Zu"), 41);
  expect(5, PROP_INACTIVE_TEXT, t("Zu"), 0);
  expect(5, PROP_OBJECT_NAME, t("Pump"), 0);
  expect(5, PROP_RELINQUISH_DEFAULT, e(1), 0);
  expect(5, PROP_RELINQUISH_DEFAULT, u(1), 10);
  expect(14, PROP_PRESENT_VALUE, u(1), 38);  // no states yet
  expect(14, PROP_FEEDBACK_VALUE, u(1), 38);
  expect(128, PROP_PRESENT_VALUE, u(1), 41);
  expect(128, PROP_DESCRIPTION, t("Heat meter"), 0);

  // Types without intrinsic reporting.
  expect(6, PROP_PRESENT_VALUE, b(true), 41);
  expect(6, PROP_DATE_LIST, u(1), 10);
  expect(7, PROP_DESCRIPTION, t("x"), 0);
  expect(7, PROP_IN_PROCESS, b(true), 41);
  expect(9, PROP_RECIPIENT, [](Value&) {}, 0);
  expect(9, PROP_RECIPIENT, u(8), 10);
  expect(9, PROP_EVENT_STATE, e(1), 41);
  expect(9, PROP_EVENT_PARAMETERS, u(1), 10);
  expect(10, PROP_ARCHIVE, b(true), 0);
  expect(10, PROP_READ_ONLY, b(true), 41);
  expect(10, PROP_FILE_SIZE, u(0), 41);
  expect(12, PROP_DESCRIPTION, u(1), 10);
  expect(12, PROP_SETPOINT, r(21), 41);
  expect(15, PROP_ACK_REQUIRED, bits({1, 1}), 38);
  expect(15, PROP_NOTIFICATION_CLASS, u(3), 41);
  expect(15, PROP_PRIORITY, [](Value& v) { make_list(v, TAG_UNSIGNED_LIST, {unsigned_element(1), unsigned_element(2)}); }, 38);
  expect(15, PROP_PRIORITY, [](Value& v) {
    make_list(v, TAG_UNSIGNED_LIST, {unsigned_element(1), unsigned_element(2), unsigned_element(256)});
  }, 38);
  expect(15, PROP_PRIORITY, [](Value& v) {
    make_list(v, TAG_UNSIGNED_LIST, {unsigned_element(1), unsigned_element(2), unsigned_element(255)});
  }, 0);
  expect(16, PROP_PROGRAM_CHANGE, e(1), 0);
  expect(16, PROP_PROGRAM_STATE, e(1), 41);
  expect(17, PROP_PRIORITY_FOR_WRITING, u(17), 38);
  expect(17, PROP_PRIORITY_FOR_WRITING, u(16), 0);
  expect(17, PROP_SCHEDULE_DEFAULT, t("x"), 48);
  expect(17, PROP_SCHEDULE_DEFAULT, r(21.5f), 0);
  expect(17, PROP_PRESENT_VALUE, r(1), 41);
  expect(17, PROP_RELIABILITY, e(10), 41);
  expect(17, PROP_OUT_OF_SERVICE, b(true), 0);
  expect(17, PROP_RELIABILITY, e(10), 0);
  expect(17, PROP_RELIABILITY, e(1), 38);
  expect(17, PROP_STATUS_FLAGS, bits({0, 0, 0, 0}), 41);
  expect(18, PROP_ATTEMPTED_SAMPLES, r(1), 38);
  expect(18, PROP_ATTEMPTED_SAMPLES, r(0), 0);
  expect(18, PROP_AVERAGE_VALUE, r(0), 41);
  expect(20, PROP_BUFFER_SIZE, u(1001), 38);
  expect(20, PROP_LOG_INTERVAL, u(99), 38);
  expect(20, PROP_LOG_INTERVAL, u(65536), 0);
  expect(20, PROP_RECORD_COUNT, u(1), 38);
  expect(20, PROP_TOTAL_RECORD_COUNT, u(0), 41);
  expect(20, PROP_LOG_BUFFER, u(0), 41);
}

TEST_F(PropertyAccessTest, WritesLandInTheRecordAndMarkTheDatabaseChanged)
{
  ObjectRecord* ai = create(OBJECT_ANALOG_INPUT, 1);
  object_ClearChanged();
  Value v;
  set_real(v, 55.5f);
  ASSERT_EQ(write(kOwner, 0, 1, PROP_HIGH_LIMIT, v), 0);
  EXPECT_FLOAT_EQ(*object_real(ai, PROP_HIGH_LIMIT), 55.5f);
  EXPECT_TRUE(object_IsChanged());
  object_ClearChanged();
  set_real(v, -1);
  EXPECT_EQ(write(kOwner, 0, 1, PROP_DEADBAND, v), 38);
  EXPECT_FALSE(object_IsChanged());
  EXPECT_FLOAT_EQ(*object_real(ai, PROP_DEADBAND), 1.0f);

  ObjectRecord* bv = create(OBJECT_BINARY_VALUE, 1);
  set_text(v, "Ventil auf");
  ASSERT_EQ(write(kOwner, OBJECT_BINARY_VALUE, 1, PROP_ACTIVE_TEXT, v), 0);
  EXPECT_EQ(text_of(*object_value(bv, PROP_ACTIVE_TEXT)), "Ventil auf");
  set_text(v, "Ventil");
  ASSERT_EQ(write(kOwner, OBJECT_BINARY_VALUE, 1, PROP_OBJECT_NAME, v), 0);
  EXPECT_EQ(text_of(bv->name), "Ventil");

  // A write of the change-of-state count stamps its reset time.
  ManualClock clock;
  clock.set_wall(1718000000);  // 10 June 2024 06:13:20 UTC, 08:13:20 in Berlin
  os_set_clock(&clock);
  set_unsigned(v, 0);
  ASSERT_EQ(write(kOwner, OBJECT_BINARY_VALUE, 1, PROP_CHANGE_OF_STATE_COUNT, v), 0);
  BACnetDateTime* reset = object_datetime(bv, PROP_TIME_OF_STATE_COUNT_RESET);
  EXPECT_EQ(reset->date.year, 124);
  EXPECT_EQ(reset->date.month, 6);
  EXPECT_EQ(reset->date.day, 10);
  EXPECT_EQ(reset->time.hour, 8);
  EXPECT_EQ(reset->time.minute, 13);
  EXPECT_EQ(object_datetime(bv, PROP_TIME_OF_ACTIVE_TIME_RESET)->date.year, 0);

  // The recipient of an Event Enrollment is set and cleared again with NULL.
  ObjectRecord* ee = create(OBJECT_EVENT_ENROLLMENT, 1);
  Value recipient;
  value_init(recipient.get(), TAG_RECIPIENT);
  auto* rec = value_record<BACnetRecipient>(recipient.get());
  rec->choice = 0;
  rec->device = {8, 99};
  ASSERT_EQ(write(kOwner, OBJECT_EVENT_ENROLLMENT, 1, PROP_RECIPIENT, recipient), 0);
  EXPECT_EQ(object_recipient(ee, PROP_RECIPIENT)->device.instance, 99u);
  ASSERT_EQ(read(kOwner, OBJECT_EVENT_ENROLLMENT, 1, PROP_RECIPIENT, v), 0);
  EXPECT_EQ(v->tag, TAG_RECIPIENT);
  Value null;
  ASSERT_EQ(write(kOwner, OBJECT_EVENT_ENROLLMENT, 1, PROP_RECIPIENT, null), 0);
  EXPECT_EQ(object_recipient(ee, PROP_RECIPIENT)->choice, -1);
  ASSERT_EQ(read(kOwner, OBJECT_EVENT_ENROLLMENT, 1, PROP_RECIPIENT, v), 0);
  EXPECT_EQ(v->tag, TAG_NULL);
}

TEST_F(PropertyAccessTest, CalendarDateListIsCheckedEntryByEntry)
{
  ObjectRecord* cal = create(OBJECT_CALENDAR, 1);
  auto entry = [](uint8_t month, uint8_t day) {
    BACnetValue v{};
    value_init(&v, TAG_CALENDAR_ENTRY);
    auto* e = value_record<BACnetCalendarEntry>(&v);
    e->choice = 0;
    e->date = {124, month, day, 255};
    return v;
  };
  Value list;
  make_list(list, TAG_CALENDAR_ENTRY_LIST, {entry(12, 24), entry(4, 31)});
  EXPECT_EQ(write(kOwner, OBJECT_CALENDAR, 1, PROP_DATE_LIST, list), 38);
  EXPECT_EQ(array_of(*object_value(cal, PROP_DATE_LIST)).used, 0u);
  make_list(list, TAG_CALENDAR_ENTRY_LIST, {entry(12, 24), entry(2, 29)});
  ASSERT_EQ(write(kOwner, OBJECT_CALENDAR, 1, PROP_DATE_LIST, list), 0);
  EXPECT_EQ(array_of(*object_value(cal, PROP_DATE_LIST)).used, 2u);
  make_list(list, TAG_UNSIGNED_LIST, {unsigned_element(1)});
  EXPECT_EQ(write(kOwner, OBJECT_CALENDAR, 1, PROP_DATE_LIST, list), 10);
}

TEST_F(PropertyAccessTest, WeeklyScheduleTakesSevenCheckedDays)
{
  ObjectRecord* sched = create(OBJECT_SCHEDULE, 1);
  auto day = [](BACnetTime at, BACnetValue value) {
    BACnetValue tv{};
    value_init(&tv, TAG_TIME_VALUE);
    value_record<BACnetTimeValue>(&tv)->time = at;
    value_record<BACnetTimeValue>(&tv)->value = value;
    BACnetValue d{};
    value_init(&d, TAG_DAILY_SCHEDULE);
    BACnetValue& times = value_record<BACnetDailySchedule>(&d)->day_schedule;
    value_init(&times, TAG_TIME_VALUE_LIST);
    value_array_append(times.payload.array, &tv);
    return d;
  };
  BACnetValue real21{};
  float f = 21;
  value_set_real(&f, &real21);
  Value week;
  std::vector<BACnetValue> days;
  for (int i = 0; i < 7; ++i)
    days.push_back(day({6, 30, 0, 0}, real21));
  make_list(week, TAG_DAILY_SCHEDULE_LIST, days);
  ASSERT_EQ(write(kOwner, OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, week), 0);
  EXPECT_EQ(array_of(*object_value(sched, PROP_WEEKLY_SCHEDULE)).used, 7u);

  Value one(day({25, 0, 0, 0}, real21));
  EXPECT_EQ(write(kOwner, OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, one, 0, 3), 38);
  EXPECT_EQ(write(kOwner, OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, one, 0, 8), 43);
  BACnetValue text{};
  value_set_charstring("on", &text);
  one.reset(day({7, 0, 0, 0}, text));
  EXPECT_EQ(write(kOwner, OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, one, 0, 3), 48);
  one.reset(day({7, 0, 0, 0}, real21));
  ASSERT_EQ(write(kOwner, OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, one, 0, 3), 0);
  Value back;
  ASSERT_EQ(read(kOwner, OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, back, 3), 0);
  EXPECT_EQ(back->tag, TAG_DAILY_SCHEDULE);
  EXPECT_EQ(read(kOwner, OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, back, 8), 43);

  days.clear();
  for (int i = 0; i < 6; ++i)
    days.push_back(day({6, 30, 0, 0}, real21));
  make_list(week, TAG_DAILY_SCHEDULE_LIST, days);
  EXPECT_EQ(write(kOwner, OBJECT_SCHEDULE, 1, PROP_WEEKLY_SCHEDULE, week), 38);

  // While the schedule is locked its period and lists are not written.
  *object_word(sched, FIELD_SCHEDULE_LOCK) = 1;
  Value period;
  value_init(period.get(), TAG_DATE_RANGE);
  *value_record<BACnetDateRange>(period.get()) = {{124, 1, 1, 255}, {124, 12, 31, 255}};
  EXPECT_EQ(write(kOwner, OBJECT_SCHEDULE, 1, PROP_EFFECTIVE_PERIOD, period), 41);
  *object_word(sched, FIELD_SCHEDULE_LOCK) = 0;
  ASSERT_EQ(write(kOwner, OBJECT_SCHEDULE, 1, PROP_EFFECTIVE_PERIOD, period), 0);
  EXPECT_EQ(object_daterange(sched, PROP_EFFECTIVE_PERIOD)->end.month, 12);
}

TEST_F(PropertyAccessTest, TrendLogWritesKeepTheBufferConsistent)
{
  ObjectRecord* log = create(OBJECT_TREND_LOG, 1);
  Value v;
  set_boolean(v, true);
  ASSERT_EQ(write(kOwner, OBJECT_TREND_LOG, 1, PROP_LOG_ENABLE, v), 0);
  // Enabling logged a status record with the log-disabled bit clear.
  const BACnetValueArray* buffer = &array_of(*object_value(log, PROP_LOG_BUFFER));
  ASSERT_EQ(buffer->used, 1u);
  auto* status = value_record<BACnetLogRecord>(&buffer->elements[0]);
  EXPECT_EQ(status->choice, 0u);
  EXPECT_EQ(bitstring_get_bit(&status->bits, 0), 0);
  EXPECT_EQ(*object_word(log, PROP_TOTAL_RECORD_COUNT), 1u);

  set_unsigned(v, 5);
  EXPECT_EQ(write(kOwner, OBJECT_TREND_LOG, 1, PROP_BUFFER_SIZE, v), 41);
  Value ref;
  value_init(ref.get(), TAG_DEVICE_OBJECT_PROPERTY_REFERENCE);
  EXPECT_EQ(write(kOwner, OBJECT_TREND_LOG, 1, PROP_LOG_DEVICE_OBJECT_PROPERTY, ref), 41);

  set_boolean(v, false);
  ASSERT_EQ(write(kOwner, OBJECT_TREND_LOG, 1, PROP_LOG_ENABLE, v), 0);
  set_unsigned(v, 5);
  ASSERT_EQ(write(kOwner, OBJECT_TREND_LOG, 1, PROP_BUFFER_SIZE, v), 0);
  buffer = &array_of(*object_value(log, PROP_LOG_BUFFER));
  ASSERT_EQ(buffer->used, 1u);
  EXPECT_EQ(bitstring_get_bit(&value_record<BACnetLogRecord>(&buffer->elements[0])->bits, 1), 1);
  EXPECT_EQ(*object_word(log, PROP_TOTAL_RECORD_COUNT), 3u);

  // A full buffer drops its oldest record when logging is switched.
  for (int i = 0; i < 6; ++i) {
    set_boolean(v, i % 2 == 0);
    ASSERT_EQ(write(kOwner, OBJECT_TREND_LOG, 1, PROP_LOG_ENABLE, v), 0);
  }
  EXPECT_EQ(array_of(*object_value(log, PROP_LOG_BUFFER)).used, 5u);
  Value count;
  ASSERT_EQ(read(kOwner, OBJECT_TREND_LOG, 1, PROP_RECORD_COUNT, count), 0);
  EXPECT_EQ(count->payload.unsigned_value, 5u);

  set_unsigned(v, 0);
  ASSERT_EQ(write(kOwner, OBJECT_TREND_LOG, 1, PROP_RECORD_COUNT, v), 0);
  EXPECT_EQ(array_of(*object_value(log, PROP_LOG_BUFFER)).used, 1u);
  EXPECT_EQ(*object_word(log, PROP_RECORDS_SINCE_NOTIFICATION), 1u);
  EXPECT_EQ(read(kOwner, OBJECT_TREND_LOG, 1, PROP_LOG_BUFFER, v), PROPERTY_READ_ACCESS_DENIED);
  EXPECT_EQ(object_GetObjectProperty(-1, kOwner, OBJECT_TREND_LOG, 1, PROP_LOG_BUFFER, -1, v.get()), 0);
  EXPECT_EQ(v->tag, TAG_LOG_BUFFER);
}

TEST_F(PropertyAccessTest, InnerDoorCreatesMissingObjectsAndReportsFailure)
{
  EXPECT_EQ(object_SetNumber(kOwner, OBJECT_NOTIFICATION_CLASS, 3, PROP_NOTIFICATION_CLASS, 3), 0);
  EXPECT_NE(object_Find(kOwner, OBJECT_NOTIFICATION_CLASS, 3), nullptr);
  // A type that cannot be created is a failure, and nothing is left behind.
  EXPECT_EQ(object_SetString(kOwner, 21, 1, PROP_DESCRIPTION, "x"), PROPERTY_UNKNOWN_OBJECT);
  Value text;
  set_text(text, "x");
  value_mem_fail_after(0);
  int rc = object_SetObjectProperty(-1, kOwner, OBJECT_CALENDAR, 1, PROP_DESCRIPTION, -1, text.get(), 0);
  value_mem_fail_after(-1);
  EXPECT_NE(rc, 0);
  EXPECT_EQ(object_Find(kOwner, OBJECT_CALENDAR, 1), nullptr);
  EXPECT_EQ(objtable_count(), 1u);
}

namespace {
std::vector<std::pair<uint32_t, uint32_t>> g_remote_calls;
int remote(uint32_t instance, uint32_t property, int32_t, uint8_t write_flag, BACnetValue* value, uint32_t)
{
  g_remote_calls.push_back({instance, property});
  if (write_flag)
    return 0;
  uint32_t status = 0;
  return value_set_enumerated(&status, value);
}
}  // namespace

TEST_F(PropertyAccessTest, RemoteDevicesGoToAddressBinding)
{
  g_remote_calls.clear();
  ObjectHooks hooks;
  hooks.read_device_property = remote;
  object_set_hooks(&hooks);
  Value v;
  ASSERT_EQ(read(kOwner, OBJECT_REMOTE_DEVICE, 3000, PROP_SYSTEM_STATUS, v), 0);
  EXPECT_EQ(v->tag, TAG_ENUMERATED);
  EXPECT_EQ(read(kOwner, OBJECT_REMOTE_DEVICE, 3000, PROP_DESCRIPTION, v), PROPERTY_UNKNOWN_PROPERTY);
  set_unsigned(v, 1);
  EXPECT_EQ(write(kOwner, OBJECT_REMOTE_DEVICE, 3000, PROP_OBJECT_NAME, v), 41);
  EXPECT_EQ(write(kOwner, OBJECT_REMOTE_DEVICE, 3000, PROP_SYSTEM_STATUS, v), 10);
  EXPECT_EQ(write(kOwner, OBJECT_REMOTE_DEVICE, 3000, 573, v), 0);
  EXPECT_EQ(g_remote_calls, (std::vector<std::pair<uint32_t, uint32_t>>{{3000, 112}, {3000, 573}}));
  // The inner door asks address binding for anything.
  EXPECT_EQ(object_GetObjectProperty(-1, kOwner, OBJECT_REMOTE_DEVICE, 3001, PROP_ALL, -1, v.get()), 0);
  EXPECT_EQ(g_remote_calls.back(), (std::pair<uint32_t, uint32_t>{3001, 8}));
}
