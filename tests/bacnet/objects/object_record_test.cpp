#include "objects_test_util.h"

#include <cmath>
#include <cstdio>

#include "bacnet/value/value_memory.h"

using namespace objtest;

namespace {

std::vector<std::string> g_log;
void capture(int level, const char* text) { g_log.push_back(std::to_string(level) + " " + text); }

// What one property of a new object reads through the inner door.
struct Expect {
  uint32_t property;
  uint32_t tag;
  double number = 0;           // REAL, UNSIGNED, ENUMERATED, BOOLEAN
  const char* text = nullptr;  // CHARACTER STRING
  std::vector<uint8_t> bits{}; // BIT STRING
  uint32_t elements = 0;       // lists: element count
};

Expect real(uint32_t p, double v) { return {p, TAG_REAL, v}; }
Expect uns(uint32_t p, double v) { return {p, TAG_UNSIGNED, v}; }
Expect enu(uint32_t p, double v) { return {p, TAG_ENUMERATED, v}; }
Expect boolean(uint32_t p, bool v) { return {p, TAG_BOOLEAN, v ? 1.0 : 0.0}; }
Expect text(uint32_t p, const char* t) { return {p, TAG_CHARACTER_STRING, 0, t}; }
Expect bits(uint32_t p, std::vector<uint8_t> b) { return {p, TAG_BIT_STRING, 0, nullptr, std::move(b)}; }
Expect list(uint32_t p, uint32_t tag, uint32_t n) { return {p, tag, 0, nullptr, {}, n}; }

const std::vector<uint8_t> kNone3{0, 0, 0};
const std::vector<uint8_t> kAll3{1, 1, 1};

std::string key_of(uint32_t owner, uint32_t type, uint32_t instance)
{
  char key[OBJECT_KEY_SIZE];
  object_MakeKey(key, owner, type, instance);
  return key;
}

void check(uint32_t type, uint32_t instance, const Expect& e)
{
  SCOPED_TRACE("type " + std::to_string(type) + " property " + std::to_string(e.property));
  Value v;
  ASSERT_EQ(object_GetObjectProperty(-1, 1234, type, instance, e.property, -1, v.get()), 0);
  ASSERT_EQ(v->tag, e.tag);
  switch (e.tag) {
  case TAG_REAL: EXPECT_FLOAT_EQ(v->payload.real, static_cast<float>(e.number)); break;
  case TAG_UNSIGNED:
  case TAG_ENUMERATED: EXPECT_EQ(v->payload.unsigned_value, static_cast<uint32_t>(e.number)); break;
  case TAG_BOOLEAN: EXPECT_EQ(v->payload.boolean, static_cast<uint8_t>(e.number)); break;
  case TAG_CHARACTER_STRING: EXPECT_EQ(text_of(*v), e.text); break;
  case TAG_BIT_STRING: EXPECT_EQ(bits_of(*v), e.bits); break;
  case TAG_NULL: break;
  default: EXPECT_EQ(array_of(*v).used, e.elements);
  }
}

}  // namespace

class ObjectRecordTest : public ObjectsTest {};

TEST_F(ObjectRecordTest, KeysAreHexOwnerDecimalTypeHexInstance)
{
  EXPECT_EQ(key_of(0x1234, 5, 7), "123400050007");
  EXPECT_EQ(key_of(0x1234, 5, 0x12345), "1234000512345");
  EXPECT_EQ(key_of(0x1FFFF, 128, 0xABC), "1FFFF01280ABC");
  EXPECT_EQ(key_of(1, 1001, 2), "000110010002");
}

TEST_F(ObjectRecordTest, KeysAreTheTextPrintfWritesAtEveryDigitCount)
{
  const uint32_t values[] = {0, 9, 10, 15, 16, 999, 1000, 9999, 10000, 0xFFFF, 0x10000, 0x3FFFFF, 0x7FFFFFFF, 0x80000000,
                             0xFFFFFFFF};
  for (uint32_t owner : values)
    for (uint32_t type : values)
      for (uint32_t instance : values) {
        char expected[OBJECT_KEY_SIZE];
        std::snprintf(expected, sizeof expected, "%04X%04d%04X", owner, static_cast<int>(type), instance);
        ASSERT_EQ(key_of(owner, type, instance), expected) << owner << " " << type << " " << instance;
      }
}

TEST_F(ObjectRecordTest, EveryTypeStartsWithItsDefaults)
{
  ManualClock clock;
  clock.set_wall(1700000000);
  os_set_clock(&clock);
  const uint32_t i = 5;
  const struct {
    uint32_t type;
    std::vector<Expect> expect;
  } cases[] = {
      {0, {text(77, "AI 5"), real(85, 0), enu(103, 1), boolean(81, false), uns(118, 100), enu(117, 95), real(69, 0),
           real(65, 1000), real(106, 0.1), real(22, 0.1), uns(113, 10), uns(17, 10), real(45, 1000), real(59, 0),
           real(25, 1), bits(52, {0, 0}), bits(35, kNone3), bits(0, kAll3), enu(72, 0), list(130, 84, 3),
           bits(111, {0, 0, 0, 0}), text(28, ""), text(31, ""), enu(36, 0), uns(FIELD_REPORTING_SWITCH, 1)}},
      {1, {text(77, "AO 5"), enu(103, 1), enu(117, 95), real(65, 100), real(106, 0.1), list(87, 58, 16),
           real(104, 0), real(22, 0.1), uns(113, 10), uns(17, 10), real(45, 1000), real(59, 0), real(25, 1),
           bits(52, {0, 0}), bits(35, kNone3), bits(0, kAll3), list(130, 84, 3), real(85, 0)}},
      {2, {text(77, "AV 5"), enu(103, 0), enu(117, 95), list(87, 58, 16), real(104, 0), real(22, 0.1),
           uns(113, 10), uns(17, 10), real(45, 1000), real(25, 1), bits(0, kAll3)}},
      {3, {text(77, "BI 5"), enu(103, 1), text(46, "Off"), text(4, "On"), uns(113, 10), uns(17, 10),
           bits(35, kNone3), bits(0, kAll3), list(130, 84, 3), enu(85, 0)}},
      {4, {text(77, "BO 5"), enu(103, 1), text(46, "Off"), text(4, "On"), list(87, 58, 16), uns(113, 10),
           uns(17, 10), bits(0, kAll3), enu(85, 0), enu(104, 0)}},
      {5, {text(77, "BV 5"), enu(103, 0), text(46, "Off"), text(4, "On"), list(87, 58, 16), uns(113, 10),
           uns(17, 10), bits(0, kAll3)}},
      {6, {text(77, "Calendar 5"), boolean(85, false), list(23, 61, 0), text(28, "")}},
      {7, {text(77, "Command 5"), text(28, "")}},
      {9, {text(77, "Event Enrolment 5"), enu(37, 1), enu(72, 0), uns(17, 0), bits(35, kNone3), bits(0, kAll3),
           bits(554, kNone3), list(130, 84, 3), uns(551, 1700000000)}},
      {10, {text(77, "File 5"), text(28, ""), text(43, ""), enu(41, 1), boolean(13, false)}},
      {11, {text(77, "Group 5"), text(28, "")}},
      {12, {text(77, "Loop 5"), list(130, 84, 3)}},
      {13, {text(77, "MI 5"), enu(103, 1), uns(74, 0), list(7, 75, 0), list(39, 75, 0), bits(35, kNone3),
            bits(0, kAll3), list(130, 84, 3)}},
      {14, {text(77, "MO 5"), enu(103, 1), uns(74, 0), list(87, 58, 16), bits(0, kAll3), list(130, 84, 3)}},
      {15, {text(77, "Notification Class 5"), uns(17, 5), list(86, 75, 3), bits(1, kNone3), list(102, 76, 0)}},
      {16, {text(77, "Program 5"), text(28, "")}},
      {17, {text(77, "Schedule 5"), {85, TAG_NULL}, list(123, 77, 7), list(38, 78, 0), list(54, 79, 0),
            uns(88, 16), bits(111, {0, 0, 0, 0}), enu(174, 0)}},
      {18, {text(77, "Averaging 5"), text(28, "")}},
      {19, {text(77, "MV 5"), enu(103, 0), uns(74, 0), list(87, 58, 16), bits(0, kAll3)}},
      {20, {text(77, "Trend Log 5"), list(131, 60, 0), uns(134, 100), uns(126, 10), uns(137, 100), uns(17, 0),
            bits(35, kNone3), bits(0, kAll3), list(130, 84, 3), uns(141, 0)}},
      {128, {text(77, "Meter 5"), enu(103, 1), enu(117, 95)}},
  };
  for (const auto& c : cases) {
    ObjectRecord* r = create(c.type, i);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->type, c.type);
    EXPECT_EQ(r->id.type, c.type);
    EXPECT_EQ(r->id.instance, i);
    for (const Expect& e : c.expect)
      check(c.type, i, e);
  }
}

TEST_F(ObjectRecordTest, RecordsHoldTheUnspecifiedAndReferenceDefaults)
{
  ObjectRecord* ai = create(OBJECT_ANALOG_INPUT, 1);
  const BACnetValueArray& stamps = array_of(*object_value(ai, PROP_EVENT_TIME_STAMPS));
  for (uint32_t i = 0; i < 3; ++i) {
    auto* ts = value_record<BACnetTimeStamp>(&stamps.elements[i]);
    ASSERT_NE(ts, nullptr);
    EXPECT_EQ(ts->choice, 2u);
    const uint8_t* octets = reinterpret_cast<const uint8_t*>(&ts->datetime);
    for (size_t k = 0; k < sizeof ts->datetime; ++k)
      EXPECT_EQ(octets[k], 255);
  }
  const BACnetValueArray& priorities = array_of(*object_value(create(OBJECT_ANALOG_OUTPUT, 1), PROP_PRIORITY_ARRAY));
  for (uint32_t i = 0; i < 16; ++i)
    EXPECT_EQ(value_record<BACnetPriorityValue>(&priorities.elements[i])->choice, 0u);

  ObjectRecord* log = create(OBJECT_TREND_LOG, 2, 77);
  BACnetDeviceObjectPropertyReference* ref = object_reference(log, PROP_LOG_DEVICE_OBJECT_PROPERTY);
  EXPECT_EQ(ref->object.type, 2u);
  EXPECT_EQ(ref->object.instance, 1u);
  EXPECT_EQ(ref->property, 85u);
  EXPECT_EQ(ref->array_index, -1);
  EXPECT_EQ(ref->device.type, 8u);
  EXPECT_EQ(ref->device.instance, 77u);
  EXPECT_EQ(object_datetime(log, PROP_START_TIME)->date.year, 255);

  ObjectRecord* schedule = create(OBJECT_SCHEDULE, 1);
  EXPECT_EQ(object_daterange(schedule, PROP_EFFECTIVE_PERIOD)->start.month, 255);
  EXPECT_EQ(object_daterange(schedule, PROP_EFFECTIVE_PERIOD)->end.day, 255);
  ObjectRecord* ee = create(OBJECT_EVENT_ENROLLMENT, 1);
  EXPECT_EQ(object_event_parameter(ee, PROP_EVENT_PARAMETERS)->choice, 1u);
  EXPECT_EQ(object_event_parameter(ee, PROP_EVENT_PARAMETERS)->time_delay, 10u);
  EXPECT_EQ(object_recipient(ee, PROP_RECIPIENT)->choice, -1);
}

TEST_F(ObjectRecordTest, AnExistingKeyIsNeverReplaced)
{
  ObjectRecord* first = create(OBJECT_ANALOG_INPUT, 3);
  Value name;
  set_text(name, "Outside air");
  ASSERT_EQ(object_SetObjectProperty(-1, kOwner, 0, 3, PROP_OBJECT_NAME, -1, name.get(), 0), 0);
  object_ClearChanged();
  EXPECT_EQ(object_CreateObject(kOwner, OBJECT_ANALOG_INPUT, 3), nullptr);
  EXPECT_FALSE(object_IsChanged());
  EXPECT_EQ(object_Find(kOwner, OBJECT_ANALOG_INPUT, 3), first);
  EXPECT_EQ(text_of(first->name), "Outside air");
  EXPECT_EQ(objtable_count(), 1u);
  // Another owner has keys of its own.
  EXPECT_NE(object_CreateObject(kOwner + 1, OBJECT_ANALOG_INPUT, 3), nullptr);
}

TEST_F(ObjectRecordTest, UnsupportedTypesAreRefusedAndLogged)
{
  g_log.clear();
  object_set_log(capture);
  EXPECT_NE(object_CreateObject(kOwner, OBJECT_METER, 1), nullptr);
  EXPECT_EQ(object_CreateObject(kOwner, 21, 1), nullptr);
  EXPECT_EQ(object_CreateObject(kOwner, 127, 1), nullptr);
  EXPECT_EQ(object_CreateObject(kOwner, OBJECT_REMOTE_DEVICE, 1), nullptr);
  EXPECT_EQ(g_log, (std::vector<std::string>{"17 Object not supported", "17 Object not supported",
                                             "17 Object not supported"}));
  EXPECT_EQ(objtable_count(), 1u);
}

TEST_F(ObjectRecordTest, DeleteRemovesTheObjectAndSetsTheChangeFlag)
{
  create(OBJECT_CALENDAR, 4);
  object_ClearChanged();
  EXPECT_EQ(object_DeleteObject(kOwner, OBJECT_CALENDAR, 5), 18);
  EXPECT_FALSE(object_IsChanged());
  EXPECT_EQ(object_DeleteObject(kOwner, OBJECT_CALENDAR, 4), 0);
  EXPECT_TRUE(object_IsChanged());
  EXPECT_EQ(object_Find(kOwner, OBJECT_CALENDAR, 4), nullptr);
  EXPECT_EQ(object_DeleteObject(kOwner, OBJECT_CALENDAR, 4), 18);
}

TEST_F(ObjectRecordTest, InsertTakesARecordBuiltElsewhere)
{
  ObjectRecord* built = object_NewRecord(kOwner, OBJECT_NOTIFICATION_CLASS, 9);
  ASSERT_NE(built, nullptr);
  object_ClearChanged();
  EXPECT_EQ(object_InsertObject(built, kOwner, OBJECT_NOTIFICATION_CLASS, 9), built);
  EXPECT_FALSE(object_IsChanged());
  EXPECT_EQ(object_Find(kOwner, OBJECT_NOTIFICATION_CLASS, 9), built);
  // A duplicate is released by the insert (the sanitizer build would see a leak otherwise).
  EXPECT_EQ(object_InsertObject(object_NewRecord(kOwner, OBJECT_NOTIFICATION_CLASS, 9), kOwner, 15, 9), nullptr);
  ObjectRecord* unsupported = object_NewRecord(kOwner, OBJECT_CALENDAR, 1);
  EXPECT_EQ(object_InsertObject(unsupported, kOwner, 21, 1), nullptr);
  object_FreeObject(unsupported);
}

TEST_F(ObjectRecordTest, CreationWithoutMemoryInsertsNothing)
{
  for (long successes = 0; successes < 40; ++successes) {
    value_mem_fail_after(successes);
    ObjectRecord* r = object_CreateObject(kOwner, OBJECT_SCHEDULE, 1);
    value_mem_fail_after(-1);
    if (r) {
      EXPECT_EQ(object_DeleteObject(kOwner, OBJECT_SCHEDULE, 1), 0);
      continue;
    }
    EXPECT_EQ(objtable_count(), 0u) << successes;
  }
}

TEST_F(ObjectRecordTest, DestroyingTwiceIsHarmless)
{
  ObjectRecord* r = object_NewRecord(kOwner, OBJECT_BINARY_OUTPUT, 1);
  object_DestroyObject(OBJECT_BINARY_OUTPUT, r);
  object_DestroyObject(OBJECT_BINARY_OUTPUT, r);
  object_FreeObject(r);
}

// The record image of the objects file follows from the tables: these are the offsets the
// file format fixes for the types it writes.
TEST_F(ObjectRecordTest, RecordImagesHaveTheObjectsFileLayout)
{
  const struct {
    uint32_t type;
    int32_t size;
    std::vector<std::pair<uint32_t, int32_t>> offsets;
  } images[] = {
      {0, 284, {{77, 12}, {28, 48}, {31, 64}, {130, 188}, {52, 148}, {0, 172}, {35, 160}, {111, 80}, {22, 124},
                {113, 128}, {45, 136}, {59, 140}, {25, 144}, {17, 132}, {72, 184}, {552, 32}}},
      {1, 304, {{28, 44}, {31, 60}, {130, 204}, {87, 120}, {52, 164}, {0, 188}, {35, 176}, {111, 76}, {22, 140},
                {113, 144}, {45, 152}, {59, 156}, {25, 160}, {17, 148}, {72, 200}}},
      {2, 272, {{28, 44}, {130, 172}, {87, 88}, {52, 132}, {0, 156}, {35, 144}, {111, 60}, {22, 108}, {113, 112},
                {45, 120}, {59, 124}, {25, 128}, {17, 116}, {72, 168}}},
      {3, 308, {{28, 48}, {31, 64}, {130, 212}, {0, 196}, {35, 184}, {111, 80}, {46, 108}, {4, 124}, {113, 172},
                {6, 180}, {17, 176}, {15, 148}, {33, 160}, {72, 208}, {16, 140}, {115, 152}, {114, 164}, {552, 32}}},
      {4, 336, {{28, 44}, {31, 60}, {130, 236}, {87, 176}, {0, 220}, {35, 208}, {111, 76}, {46, 104}, {4, 120},
                {113, 196}, {40, 204}, {17, 200}, {15, 144}, {33, 156}, {72, 232}, {16, 136}, {115, 148}}},
      {5, 316, {{28, 44}, {130, 216}, {87, 156}, {0, 200}, {35, 188}, {111, 60}, {46, 81}, {4, 97}, {113, 176},
                {6, 184}, {17, 180}, {15, 124}, {33, 136}, {72, 212}, {16, 113}, {115, 128}, {114, 140}}},
      {6, 108, {{77, 12}, {28, 28}, {23, 45}}},
      {8, 292, {{28, 116}, {58, 100}, {12, 84}, {155, 200}, {157, 220}, {153, 232}}},
      {9, 212, {{28, 28}, {83, 52}, {35, 124}, {0, 136}, {101, 152}, {130, 177}}},
      {13, 292, {{28, 48}, {130, 192}, {0, 176}, {35, 164}, {111, 80}, {110, 108}, {7, 132}, {39, 148}, {113, 124},
                 {17, 128}, {72, 188}}},
      {14, 288, {{28, 48}, {130, 184}, {87, 124}, {0, 168}, {35, 156}, {111, 80}, {110, 108}, {113, 144}, {17, 148},
                 {72, 180}, {40, 152}}},
      {15, 92, {{28, 28}, {86, 48}, {1, 64}, {102, 76}}},
      {17, 220, {{85, 28}, {28, 44}, {38, 84}, {54, 100}, {123, 68}, {174, 124}, {88, 116}, {32, 60}}},
      {19, 300, {{28, 48}, {130, 196}, {87, 108}, {0, 180}, {35, 168}, {111, 64}, {110, 92}, {7, 136}, {39, 152},
                 {113, 128}, {17, 132}, {72, 192}}},
      {20, 232, {{28, 28}, {35, 160}, {0, 172}, {130, 188}, {131, 112}, {144, 104}, {133, 44}, {134, 88},
                 {173, 148}, {140, 144}, {17, 156}, {126, 108}, {145, 136}, {36, 152}, {72, 184}, {142, 45},
                 {132, 64}, {FIELD_SPARE + 5, 132}, {FIELD_SPARE + 6, 204}}},
      {128, 112, {{28, 48}, {31, 64}, {111, 80}, {552, 32}}},
  };
  for (const auto& image : images) {
    SCOPED_TRACE("type " + std::to_string(image.type));
    EXPECT_EQ(object_image_size(image.type), image.size);
    for (auto [property, offset] : image.offsets)
      EXPECT_EQ(object_image_offset(image.type, property), offset) << "property " << property;
  }
  EXPECT_EQ(object_image_size(21), -1);
}

// A reference names the local device by leaving its device identifier out (object type
// 999); a device instance of 999 is just another device.
TEST_F(ObjectRecordTest, ReferenceOwnerFollowsTheAbsentMarker)
{
  BACnetDeviceObjectPropertyReference ref{{0, 1}, 85, -1, {999, 0}};
  EXPECT_EQ(object_ReferenceOwner(&ref, 4711), 4711u);
  ref.device = {8, 999};
  EXPECT_EQ(object_ReferenceOwner(&ref, 4711), 999u);
  ref.device = {8, 12};
  EXPECT_EQ(object_ReferenceOwner(&ref, 4711), 12u);
}
