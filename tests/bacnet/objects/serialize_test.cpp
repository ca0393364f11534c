// The objects file: its exact bytes, what a load gives back to each type, and files that end
// early or lie about their contents.
#include "reporting_test_util.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "bacnet/codec/codec_test_util.h"
#include "bacnet/objects/object_database.h"
#include "bacnet/objects/serialize.h"
#include "bacnet/value/value_samples.h"

using namespace objtest;

namespace {

std::vector<std::string> g_log;
void record_log(int level, const char* text)
{
  if (level == kSerializeLogLevel)
    g_log.push_back(text);
}

std::string hex(const std::vector<uint8_t>& bytes, size_t from = 0, size_t to = SIZE_MAX)
{
  std::string out;
  char two[3];
  for (size_t i = from; i < std::min(to, bytes.size()); ++i) {
    std::snprintf(two, sizeof two, "%02x", bytes[i]);
    out += two;
  }
  return out;
}

constexpr char kEmptyFile[] = "312e322e3200d2040000"
                              "000000000000000000000000000000000000000000000000"
                              "000000000000000000000000000000000000000000000000"
                              "0700000000000000";

// ---- Distinct values for every kind of field ------------------------------------------------

void tweak_value(ObjectRecord* r, uint32_t property)
{
  BACnetValue* v = object_value(r, property);
  switch (property) {
  case PROP_DATE_LIST: {
    BACnetValue e = element(TAG_CALENDAR_ENTRY);
    *value_record<BACnetCalendarEntry>(&e) = {2, {}, {}, {255, 255, 1}};
    return replace(v, list_of(TAG_CALENDAR_ENTRY_LIST, {e}));
  }
  case PROP_PRIORITY:
    return replace(v, list_of(TAG_UNSIGNED_LIST, {unsigned_element(7), unsigned_element(8), unsigned_element(9)}));
  case PROP_RECIPIENT_LIST: {
    BACnetValue e = destination(0, 77, true, {1, 1, 1, 1, 1, 0, 0}, {1, 1, 1}, {6, 0, 0, 0}, {18, 30, 0, 0});
    auto* d = value_record<BACnetDestination>(&e);
    d->recipient.choice = 1;
    d->recipient.address.network = 5;
    const uint8_t mac[6] = {10, 111, 1, 2, 0xBA, 0xC0};
    octetstring_set(&d->recipient.address.mac, mac, 6);
    d->lifetime = 300;
    return replace(v, list_of(TAG_DESTINATION_LIST, {e}));
  }
  case PROP_WEEKLY_SCHEDULE:
    return replace(&value_record<BACnetDailySchedule>(&value_array(v)->elements[0])->day_schedule,
                   list_of(TAG_TIME_VALUE_LIST, {time_value(8, 21.5f), time_value(18, 17.0f)}));
  case PROP_EXCEPTION_SCHEDULE:
    return replace(v, list_of(TAG_SPECIAL_EVENT_LIST, {special_event(3, {time_value(6, 19.0f)})}));
  case PROP_LIST_OF_OBJECT_PROPERTY_REFERENCES: {
    BACnetValue e = element(TAG_DEVICE_OBJECT_PROPERTY_REFERENCE);
    *value_record<BACnetDeviceObjectPropertyReference>(&e) = {{2, 1}, 85, -1, {8, 4711}};
    return replace(v, list_of(TAG_REFERENCE_LIST, {e}));
  }
  case PROP_SCHEDULE_DEFAULT: return replace(v, real_value(21.5f));
  case PROP_LOG_BUFFER: {
    BACnetValue real = element(TAG_LOG_RECORD);
    auto* log = value_record<BACnetLogRecord>(&real);
    log->timestamp = {{126, 1, 5, 1}, {12, 0, 1, 50}};
    log->choice = 2;
    log->datum.real = 3.5f;
    const uint8_t flags[4] = {0, 1, 0, 0};
    bitstring_set(&log->status_flags, flags, 4);
    BACnetValue any = element(TAG_LOG_RECORD);
    value_record<BACnetLogRecord>(&any)->choice = 10;
    value_set_charstring("Lüftung", &value_record<BACnetLogRecord>(&any)->any);
    return replace(v, list_of(TAG_LOG_BUFFER, {real, any}));
  }
  case PROP_ALARM_VALUES:
  case PROP_FAULT_VALUES: return replace(v, list_of(TAG_UNSIGNED_LIST, {unsigned_element(2), unsigned_element(3)}));
  default: value_set_charstring("tweaked", v);
  }
}

// Gives the field a value no type starts with.
void tweak(ObjectRecord* r, uint32_t property)
{
  const FieldSpec& f = *object_field_spec(*r->spec, property);
  void* field = object_field(r, f);
  switch (f.kind) {
  case FieldKind::Unsigned:
  case FieldKind::Enumerated:
  case FieldKind::Word: *static_cast<uint32_t*>(field) = 1000 + property; break;
  case FieldKind::Real: *static_cast<float*>(field) = float(property) + 0.5f; break;
  case FieldKind::Boolean: *static_cast<uint8_t*>(field) = 1; break;
  case FieldKind::BitString: {
    auto* b = static_cast<BitString*>(field);
    for (uint32_t i = 0; i < b->capacity; ++i)
      b->bits[i] = !b->bits[i];
    break;
  }
  case FieldKind::DateTime: *static_cast<BACnetDateTime*>(field) = {{126, 3, 4, 3}, {5, 6, 7, 8}}; break;
  case FieldKind::DateRange: *static_cast<BACnetDateRange*>(field) = {{126, 1, 1, 255}, {126, 12, 31, 255}}; break;
  case FieldKind::Reference:
    *static_cast<BACnetDeviceObjectPropertyReference*>(field) = {{0, 7}, 85, 3, {8, 99}};
    break;
  case FieldKind::TimeStamp: {
    auto* s = static_cast<BACnetTimeStamp*>(field);
    s->choice = 2;
    s->datetime = {{126, 2, 3, 2}, {4, 5, 6, 7}};
    break;
  }
  default: tweak_value(r, property);
  }
}

// What a load gives back, type by type.
struct Restored {
  uint32_t type;
  std::vector<uint32_t> fields;
  bool created;  // made from the file when missing
};
const std::vector<Restored> kRestored = {
    {0, {22, 113, 45, 59, 25, 17, 72, 52, 35}, false},
    {1, {22, 113, 45, 59, 25, 17, 72, 52, 35}, false},
    {2, {22, 113, 45, 59, 25, 17, 72, 52, 35}, false},
    {3, {113, 6, 17, 15, 33, 72, 35, 16, 115, 114}, false},
    {4, {113, 40, 17, 15, 33, 72, 35, 16, 115, 114}, false},
    {5, {113, 6, 17, 15, 33, 72, 35, 16, 115, 114}, false},
    {6, {23}, true},
    {8, {155, 157, 153}, false},
    {9, {}, false},
    {13, {113, 17, 72, 35, 7, 39}, false},
    {14, {113, 17, 72, 40, 35}, false},
    {15, {86, 102, 1}, true},
    {17, {88, 32, 123, 38, 54, 174}, true},
    {19, {113, 17, 72, 35, 7, 39}, false},
    {20,
     {144, 133, 134, 173, 140, 17, 126, 145, 36, 72, 137, FIELD_LOG_LAST_SECONDS, 142, 143, FIELD_LOG_NOTIFIED_COUNT,
      FIELD_LOG_LAST_MILLISECONDS, 132, 131, 35},
     true},
    {128, {}, false},
};

class ObjectsFile : public ObjectsTest {
protected:
  void SetUp() override
  {
    ObjectsTest::SetUp();
    // Objects keep their creation second; a real clock may tick between two tables.
    clock_.set_wall(1796825025);
    os_set_clock(&clock_);
    char pattern[] = "/tmp/zor17-objects-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    file = dir + "/bacobj.bbu";
    g_log.clear();
    DriverContext context;
    context.log = record_log;
    context.options[kSerializeLogOption] = 1;
    serialize_Init(&context, file.c_str());
    object_Init(kOwner, nullptr, nullptr);
  }
  void TearDown() override
  {
    serialize_Exit();
    std::filesystem::remove_all(dir);
    ObjectsTest::TearDown();
  }

  static uint32_t instance_of(uint32_t type) { return type == OBJECT_DEVICE ? kOwner : 3; }

  ObjectRecord* live(uint32_t type) { return object_Find(kOwner, type, instance_of(type)); }

  // Every stored type with its restored fields and its description changed.
  void build_table()
  {
    for (const Restored& row : kRestored) {
      ObjectRecord* r = row.type != OBJECT_DEVICE ? create(row.type, instance_of(row.type)) : live(row.type);
      for (uint32_t property : row.fields)
        tweak(r, property);
      tweak(r, PROP_DESCRIPTION);
    }
  }

  // A fresh database with every type at its defaults, except those the file creates.
  void fresh_table()
  {
    objtable_destroy();
    objtable_create();
    object_InitDevice(kOwner, nullptr);
    for (const Restored& row : kRestored)
      if (!row.created && row.type != OBJECT_DEVICE)
        create(row.type, instance_of(row.type));
  }

  std::vector<uint8_t> bytes(const std::string& path)
  {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::string dir;
  std::string file;
  ManualClock clock_;
};

TEST_F(ObjectsFile, TheHeaderComesFirstThenEachObjectsImageAndValueRecords)
{
  objtable_destroy();
  objtable_create();
  serialize_SaveDevice();
  EXPECT_EQ(hex(bytes(file)), kEmptyFile);
  EXPECT_THAT(g_log, ::testing::ElementsAre("Saving Bacnet Objects File"));
  EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
  create(OBJECT_ANALOG_INPUT, 1);
  serialize_SaveDevice();
  std::vector<uint8_t> b = bytes(file);
  const size_t object = 66, image = object + 8, tail = image + 284;
  EXPECT_EQ(hex(b, 0, object), kEmptyFile);
  EXPECT_EQ(hex(b, object, image), "d204000000000000");
  EXPECT_EQ(hex(b, image, image + 16), "00000000000000000100000007000000");
  EXPECT_EQ(hex(b, image + 108, image + 112), "5f000000");          // units 95
  EXPECT_EQ(hex(b, image + 124, image + 128), "cdcccc3d");          // COV increment 0.1
  EXPECT_EQ(hex(b, image + 132, image + 140), "0a00000000007a44");  // notification class 10, high limit 1000
  EXPECT_EQ(hex(b, tail),
            "07000000040000004149203107000000000000000700000000000000"
            "5400000003000000"
            "1b00000002000000ffffffffffffffff1b00000002000000ffffffffffffffff1b00000002000000ffffffffffffffff"
            "020000000000030000000101010300000000000004000000"
            "00000000");
}

TEST_F(ObjectsFile, ALoadRestoresEveryStoredSettingAndNothingElse)
{
  build_table();
  serialize_SaveDevice();
  // The file's order of the objects a load creates: the expected table inserts them alike.
  std::vector<uint32_t> created;
  objtable_walk([&](const ObjectTableEntry& e) {
    for (const Restored& row : kRestored)
      if (row.created && row.type == e.object->type)
        created.push_back(e.object->type);
    return true;
  });
  fresh_table();
  // The restore hook names every object the load found, not those it made.
  using Object = std::tuple<uint32_t, uint32_t, uint32_t>;
  static std::vector<Object> found;
  found.clear();
  serialize_SetRestoreHook(
      [](uint32_t owner, uint32_t type, uint32_t instance) { found.emplace_back(owner, type, instance); });
  testing::internal::CaptureStdout();
  EXPECT_EQ(serialize_Open(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "READ bacobj.bbu OK\n");
  serialize_SetRestoreHook(nullptr);
  std::vector<Object> existing;
  for (const Restored& row : kRestored)
    if (!row.created)
      existing.emplace_back(kOwner, row.type, instance_of(row.type));
  EXPECT_THAT(found, ::testing::UnorderedElementsAreArray(existing));
  serialize_SaveDevice();
  const std::string loaded = hex(bytes(file));
  // The same table with the restored fields set directly; an object made from the file has
  // its description too.
  fresh_table();
  for (uint32_t type : created)
    create(type, instance_of(type));
  for (const Restored& row : kRestored) {
    for (uint32_t property : row.fields)
      tweak(live(row.type), property);
    if (row.created)
      tweak(live(row.type), PROP_DESCRIPTION);
  }
  serialize_SaveDevice();
  EXPECT_EQ(loaded, hex(bytes(file)));
}

TEST_F(ObjectsFile, ASaveThatFailsLeavesThePreviousFile)
{
  EXPECT_EQ(serialize_MakeBackupName("bacobj.bbu"), "bacobj.bak");
  EXPECT_EQ(serialize_MakeBackupName("objects.dat"), "objects.dat.bak");
  EXPECT_EQ(serialize_MakeBackupName("a.bbu/b.bbu"), "a.bak/b.bbu");
  EXPECT_EQ(serialize_SaveDevice(), 0);
  std::vector<uint8_t> first = bytes(file);
  ObjectRecord* ai = create(OBJECT_ANALOG_INPUT, 1);
  EXPECT_EQ(serialize_SaveDevice(), 0);
  EXPECT_EQ(bytes(dir + "/bacobj.bak"), first);  // the previous file became the backup
  std::vector<uint8_t> second = bytes(file);
  value_free(object_value(ai, PROP_DESCRIPTION));
  value_init(object_value(ai, PROP_DESCRIPTION), TAG_ANY_VALUE);  // no record holds it
  g_log.clear();
  EXPECT_EQ(serialize_SaveDevice(), -1);
  EXPECT_EQ(bytes(file), second);
  EXPECT_EQ(bytes(dir + "/bacobj.bak"), first);
  EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
  EXPECT_THAT(g_log, ::testing::ElementsAre("Saving Bacnet Objects File", "Error in serialize_SaveDevice"));
  // A saved object that is gone by the load is passed over.
  object_DeleteObject(kOwner, OBJECT_ANALOG_INPUT, 1);
  EXPECT_EQ(serialize_Open(), 0);
  EXPECT_EQ(object_Find(kOwner, OBJECT_ANALOG_INPUT, 1), nullptr);
}

TEST_F(ObjectsFile, AFileCutShortFailsAtEveryCutButTheRecordEnds)
{
  build_table();
  serialize_SaveDevice();
  std::vector<uint8_t> b = bytes(file);
  size_t whole = 0;
  for (size_t length = 0; length <= b.size(); ++length) {
    fresh_table();
    if (serialize_LoadBytes(b.data(), length) == 0)
      ++whole;
  }
  // The header alone and the end of each object record.
  EXPECT_EQ(whole, 1 + kRestored.size());
}

TEST_F(ObjectsFile, TheReaderBelievesNoCountOrLength)
{
  const std::string header = std::string(kEmptyFile).substr(0, 20);
  const std::string reserved11 = std::string(88, '0');
  const std::string guard = "0700000000000000";
  // A value in place of the last reserved value, then the guard.
  auto with_reserved = [&](const std::string& value) { return header + reserved11 + value + guard; };
  std::string nested = "00000000";
  for (int depth = 0; depth < 16; ++depth)
    nested = "2e000000" + nested;  // a daily schedule holding the value before
  const struct {
    std::string name, file;
    int result;
    std::string message;
  } cases[] = {
      {"empty", "", -1, "Error in serialize_Open - unable to read software version"},
      {"too old", "312e302e3500" + std::string(kEmptyFile).substr(12), -1, "Error in serialize_Open - version too old"},
      {"1.0.7 skips 8 bytes", "312e302e3700" "0000000000000000" + reserved11 + "00000000" + guard, 0, ""},
      {"1.1.0 cut in its 14 bytes", "312e312e3000" "00000000", -1, "Error in serialize_Open - fseek 3"},
      {"a guard of another configuration", header + reserved11 + "00000000" "070000000100000058", -1, ""},
      {"a guard that is no text", header + reserved11 + "00000000" "0200000001000000", -1, ""},
      {"a list longer than the file", with_reserved("39000000ffffffff"), -1, ""},
      {"a text longer than the file", with_reserved("0700000010000000414243"), -1, ""},
      {"a MAC of 9 octets", with_reserved("1500000001000000" "09000000" "010203040506070809"), -1, ""},
      {"a MAC of 8 octets", with_reserved("1500000001000000" "08000000" "0102030405060708"), 0, ""},
      {"nesting as deep as the writer goes", with_reserved(nested.substr(8)), 0, ""},
      {"nesting deeper", with_reserved("2e000000" + nested.substr(8)), -1, ""},
      {"a tag no record holds", with_reserved("34000000"), -1, ""},
      {"an unknown time stamp choice", with_reserved("1b00000003000000"), -1, ""},
      {"a type the file never holds is passed over", std::string(kEmptyFile) + "d204000007000000", 0, ""},
      {"an owner cut short", std::string(kEmptyFile) + "d204", -1, ""},
      {"no type behind the owner", std::string(kEmptyFile) + "d2040000", -1, "Error in serialize_Open - Object Type"},
      {"an image cut short", std::string(kEmptyFile) + "d204000000000000" + std::string(200, '0'), -1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_log.clear();
    std::vector<uint8_t> b = codectest::bytes_of(c.file);
    EXPECT_EQ(serialize_LoadBytes(b.data(), b.size()), c.result);
    if (!c.message.empty()) {
      EXPECT_THAT(g_log, ::testing::ElementsAre(c.message));
    }
  }
}

// Each kind of field comes back from its value record; a destination's stamp is not kept.
TEST(ValueRecords, EveryKindOfFieldComesBack)
{
  for (const valuetest::FieldCase& c : valuetest::field_cases()) {
    SCOPED_TRACE(c.kind);
    valuetest::Holder sample(valuetest::make_sample(c.tag));
    c.set(*sample);
    std::vector<uint8_t> out;
    bool kept = c.tag != TAG_READ_ACCESS_SPECIFICATION;  // the file keeps no read-access records
    ASSERT_EQ(serialize_WriteValue(out, sample.get()), kept);
    if (!kept)
      continue;
    SerializeReader reader{out.data(), out.size()};
    valuetest::Holder back, fresh;
    ASSERT_EQ(serialize_ReadValue(reader, back.get()), 0);
    EXPECT_EQ(reader.pos, out.size());
    value_init(fresh.get(), c.tag);
    bool stored = std::string(c.name) != "STAMP";
    EXPECT_EQ(valuetest::field_text(*back, c.name), valuetest::field_text(stored ? *sample : *fresh, c.name));
  }
}

// Records whose fields the file keeps in an order of its own.
TEST(ValueRecords, KeepTheFilesOwnFieldOrder)
{
  valuetest::Holder value, reference, event;
  value_init(value.get(), TAG_PROPERTY_VALUE);
  *value_record<BACnetPropertyValue>(value.get()) = {85, 2, valuetest::unsigned_value(9), 8};
  value_init(reference.get(), TAG_DEVICE_OBJECT_PROPERTY_REFERENCE);
  *value_record<BACnetDeviceObjectPropertyReference>(reference.get()) = {{0, 5}, 85, -1, {8, 1234}};
  value_init(event.get(), TAG_SPECIAL_EVENT);
  *value_record<BACnetSpecialEvent>(event.get()) = {1, {}, {6, 3}, {}, 16};
  const struct {
    const BACnetValue* value;
    const char* bytes;
  } cases[] = {
      {value.get(), "310000000800000002000000550000000200000009000000"},
      {reference.get(), "2400000008000000d2040000000000000500000055000000ffffffff"},
      {event.get(), "2f0000001000000000000000010000000600000003000000"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out;
    ASSERT_TRUE(serialize_WriteValue(out, c.value));
    EXPECT_EQ(hex(out), c.bytes) << c.value->tag;
  }
}

TEST_F(ObjectsFile, AMissingFileIsNoError)
{
  testing::internal::CaptureStdout();
  EXPECT_EQ(serialize_Open(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_THAT(g_log, ::testing::ElementsAre("Error in serialize_Open - unable to open file"));
  std::ofstream(file, std::ios::binary).write("1.0.5", 6);  // a version too old
  testing::internal::CaptureStdout();
  EXPECT_EQ(serialize_Open(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "READ bacobj.bbu ERROR\n");
  // At start such a file steps aside, under a name of its own while an earlier one is kept.
  std::ofstream(dir + "/bacobj.bad") << "earlier";
  EXPECT_EQ(serialize_OpenAtStart(), -1);
  EXPECT_EQ(serialize_SaveDevice(), 0);
  EXPECT_EQ(bytes(dir + "/bacobj.bad.1"), std::vector<uint8_t>({'1', '.', '0', '.', '5', 0}));
  EXPECT_EQ(bytes(dir + "/bacobj.bad").size(), 7u);
  EXPECT_EQ(serialize_OpenAtStart(), 0);
}

TEST_F(ObjectsFile, TheStartReadsTheLastWholeFileAndTheSavesKeepIt)
{
  // Files whose Analog Input tells which one was read by its COV increment (0.1 by default).
  fresh_table();
  auto saved_with = [&](float cov) {
    *object_real(live(OBJECT_ANALOG_INPUT), PROP_COV_INCREMENT) = cov;
    serialize_SaveDevice();
    return bytes(file);
  };
  const std::vector<uint8_t> none, folder, good = saved_with(1.0f), newer = saved_with(2.0f);
  std::vector<uint8_t> head = newer, tail = newer;
  std::fill_n(head.begin(), 40, 0);
  tail.insert(tail.end(), {0xd2, 0x04, 0, 0});  // damaged behind the records
  const struct {
    const char* name;
    const std::vector<uint8_t>&file, &backup;
    int result;
    float cov;
    std::vector<std::string> names;  // after the start, beside a leftover bacobj.bbu.tmp
  } cases[] = {
      {"a save cut off between its renames", none, good, 0, 1.0f, {"bacobj.bak"}},
      {"damaged at its head beside a good backup", head, good, 0, 1.0f, {"bacobj.bad", "bacobj.bak"}},
      {"damaged part-way beside a good backup", tail, good, 0, 1.0f, {"bacobj.bad", "bacobj.bak"}},
      {"damaged part-way without a backup", tail, none, -1, 2.0f, {"bacobj.bad"}},
      {"missing, its backup damaged part-way", none, tail, -1, 2.0f, {"bacobj.bad"}},
      {"both damaged", head, head, -1, 0.1f, {"bacobj.bad", "bacobj.bad.1"}},
      {"a good file", newer, good, 0, 2.0f, {"bacobj.bak", "bacobj.bbu"}},
      {"a good file, a folder in its backup's place", newer, folder, 0, 2.0f, {"bacobj.bak", "bacobj.bbu"}},
  };
  auto cov_read = [&] { return *object_real(live(OBJECT_ANALOG_INPUT), PROP_COV_INCREMENT); };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directory(dir);
    for (const auto& [name, content] : {std::pair{file, &c.file}, {dir + "/bacobj.bak", &c.backup}})
      if (!content->empty())
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(content->data()), content->size());
    if (&c.backup == &folder)
      std::filesystem::create_directory(dir + "/bacobj.bak");
    std::ofstream(file + ".tmp") << "cut";
    fresh_table();
    g_log.clear();
    EXPECT_EQ(serialize_OpenAtStart(), c.result);
    EXPECT_EQ(cov_read(), c.cov);
    const bool from_backup = c.result == 0 && &c.file != &newer;
    EXPECT_EQ(std::count(g_log.begin(), g_log.end(),
                         "Objects file " + file + " not read: started from its backup " + dir + "/bacobj.bak"),
              from_backup);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      if (entry.path().filename() != "bacobj.bbu.tmp")
        names.push_back(entry.path().filename());
    EXPECT_THAT(names, ::testing::UnorderedElementsAreArray(c.names));
    // The first save keeps the backup, the next one makes the first its backup.
    serialize_SaveDevice();
    *object_real(live(OBJECT_ANALOG_INPUT), PROP_COV_INCREMENT) = 9.0f;
    serialize_SaveDevice();
    EXPECT_FALSE(std::filesystem::exists(dir + "/bacobj.bak.tmp"));
    for (const auto& [name, cov] : {std::pair{dir + "/bacobj.bak", c.cov}, {file, 9.0f}}) {
      if (std::filesystem::is_directory(name))
        continue;  // the saves went on without a backup
      std::vector<uint8_t> b = bytes(name);
      EXPECT_EQ(serialize_LoadBytes(b.data(), b.size()), 0);
      EXPECT_EQ(cov_read(), cov);
    }
  }
}

}  // namespace
