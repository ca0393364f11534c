#include "bacnet/objects/serialize.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <utility>

#include "bacnet/objects/object_database.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace {

struct SerializeState {
  std::string file_name;  // empty: no objects file
  // A file found at start that could not be read nor set aside: no save may write over it.
  bool saves_refused = false;
  DriverLogFunction log = nullptr;
  void (*restore_hook)(uint32_t owner, uint32_t type, uint32_t instance) = nullptr;
};
SerializeState g;

void log(const char* text)
{
  if (g.log)
    g.log(kSerializeLogLevel, text);
}

// ---- What each type stores -----------------------------------------------------------------

// A type's file layout and what a load gives back to the live object. `stored` names the
// fields written behind the record image in file order: value fields as value records,
// bit strings as bit-string records, the Event Enrollment's parameter and recipient as
// their contents. `restored` names the fields a load copies into the live object.
struct FileType {
  uint32_t type;
  std::span<const uint32_t> stored;
  std::span<const uint32_t> restored;
  // A stored object that does not exist is created from the file: the types a peer creates
  // (Calendar, Schedule, Trend Log) and the Notification Classes.
  bool insert_missing;
};

constexpr uint32_t kAiStored[] = {77, 28, 31, 130, 52, 0, 35, 111};
constexpr uint32_t kAoStored[] = {77, 28, 31, 130, 87, 52, 0, 35, 111};
constexpr uint32_t kAvStored[] = {77, 28, 130, 87, 52, 0, 35, 111};
constexpr uint32_t kAnalogRestored[] = {22, 113, 45, 59, 25, 17, 72, 52, 35};
constexpr uint32_t kBiStored[] = {77, 28, 31, 130, 0, 35, 111, 46, 4};
constexpr uint32_t kBoStored[] = {77, 28, 31, 130, 87, 0, 35, 111, 46, 4};
constexpr uint32_t kBvStored[] = {77, 28, 130, 87, 0, 35, 111, 46, 4};
constexpr uint32_t kBiRestored[] = {113, 6, 17, 15, 33, 72, 35, 16, 115, 114};
constexpr uint32_t kBoRestored[] = {113, 40, 17, 15, 33, 72, 35, 16, 115, 114};
constexpr uint32_t kCalendarStored[] = {77, 28, 23};
constexpr uint32_t kCalendarRestored[] = {23};
constexpr uint32_t kDeviceStored[] = {77, 28, 58, 12};
constexpr uint32_t kDeviceRestored[] = {155, 157, 153};
constexpr uint32_t kEnrollmentStored[] = {77, 28, 83, 35, 0, 101, 130};
constexpr uint32_t kMiStored[] = {77, 28, 130, 0, 35, 111, 110, 7, 39};
constexpr uint32_t kMoStored[] = {77, 28, 130, 87, 0, 35, 111, 110};
constexpr uint32_t kMvStored[] = {77, 28, 130, 87, 0, 35, 111, 110, 7, 39};
constexpr uint32_t kMultiStateRestored[] = {113, 17, 72, 35, 7, 39};
constexpr uint32_t kMoRestored[] = {113, 17, 72, 40, 35};
constexpr uint32_t kClassStored[] = {77, 28, 86, 1, 102};
constexpr uint32_t kClassRestored[] = {86, 102, 1};
constexpr uint32_t kScheduleStored[] = {77, 28, 38, 54, 123, 174};
constexpr uint32_t kScheduleRestored[] = {88, 32, 123, 38, 54, 174};
constexpr uint32_t kTrendLogStored[] = {77, 28, 35, 0, 130, 131};
constexpr uint32_t kTrendLogRestored[] = {
    144, 133, 134, 173, 140, 17, 126, 145, 36, 72, 137, FIELD_LOG_LAST_SECONDS, 142, 143, FIELD_LOG_NOTIFIED_COUNT,
    FIELD_LOG_LAST_MILLISECONDS, FIELD_SPARE + 8, 132, 131, 35};
constexpr uint32_t kMeterStored[] = {77, 28, 31, 111};

constexpr FileType kFileTypes[] = {
    {OBJECT_ANALOG_INPUT, kAiStored, kAnalogRestored, false},
    {OBJECT_ANALOG_OUTPUT, kAoStored, kAnalogRestored, false},
    {OBJECT_ANALOG_VALUE, kAvStored, kAnalogRestored, false},
    {OBJECT_BINARY_INPUT, kBiStored, kBiRestored, false},
    {OBJECT_BINARY_OUTPUT, kBoStored, kBoRestored, false},
    {OBJECT_BINARY_VALUE, kBvStored, kBiRestored, false},
    {OBJECT_CALENDAR, kCalendarStored, kCalendarRestored, true},
    {OBJECT_DEVICE, kDeviceStored, kDeviceRestored, false},
    {OBJECT_EVENT_ENROLLMENT, kEnrollmentStored, {}, false},
    {OBJECT_MULTI_STATE_INPUT, kMiStored, kMultiStateRestored, false},
    {OBJECT_MULTI_STATE_OUTPUT, kMoStored, kMoRestored, false},
    {OBJECT_NOTIFICATION_CLASS, kClassStored, kClassRestored, true},
    {OBJECT_SCHEDULE, kScheduleStored, kScheduleRestored, true},
    {OBJECT_MULTI_STATE_VALUE, kMvStored, kMultiStateRestored, false},
    {OBJECT_TREND_LOG, kTrendLogStored, kTrendLogRestored, true},
    {OBJECT_METER, kMeterStored, {}, false},
};

const FileType* file_type(uint32_t type)
{
  for (const FileType& t : kFileTypes)
    if (t.type == type)
      return &t;
  return nullptr;
}

// ---- Versions ----------------------------------------------------------------------------

using VersionText = char[6];
constexpr VersionText kCurrentVersion = "1.2.2";
constexpr uint32_t kReservedValues = 12;

int compare_version(const char* a, const char* b) { return std::memcmp(a, b, sizeof(VersionText)); }

// Image sizes of earlier files; every other type is as it is now.
int32_t image_size(uint32_t type, const char* version)
{
  if (type == OBJECT_DEVICE && compare_version(version, "1.1.0") < 0)
    return 284;
  if (type == OBJECT_DEVICE && compare_version(version, "1.1.0") == 0)
    return 480;
  if (type == OBJECT_SCHEDULE && compare_version(version, kCurrentVersion) < 0)
    return 184;
  if (type == OBJECT_CALENDAR && compare_version(version, kCurrentVersion) < 0)
    return 104;
  return object_image_size(type);
}

// ---- Record image ------------------------------------------------------------------------

void put_bytes(std::vector<uint8_t>& out, const void* p, size_t n)
{
  out.insert(out.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
}

void put_datetime(std::vector<uint8_t>& out, const BACnetDateTime& dt)
{
  put_bytes(out, &dt.date, 4);
  put_bytes(out, &dt.time, 4);
}

// The field's bytes in the image. Values, bit strings and the Event Enrollment's records
// stand there only as the words that describe them; their contents follow the image.
void put_field(std::vector<uint8_t>& out, ObjectRecord* record, const FieldSpec& f)
{
  const void* field = object_field(record, f);
  size_t start = out.size();
  switch (f.kind) {
  case FieldKind::HeadType: serialize_put_word(out, record->type); break;
  case FieldKind::HeadId:
    serialize_put_word(out, record->id.type);
    serialize_put_word(out, record->id.instance);
    break;
  case FieldKind::HeadName: serialize_put_word(out, record->name.tag); break;
  case FieldKind::Value: serialize_put_word(out, static_cast<const BACnetValue*>(field)->tag); break;
  case FieldKind::BitString: {
    auto* b = static_cast<const BitString*>(field);
    serialize_put_word(out, b->capacity);
    serialize_put_word(out, b->count);
    break;
  }
  case FieldKind::Unsigned:
  case FieldKind::Enumerated:
  case FieldKind::Word:
  case FieldKind::Real: {
    uint32_t w;
    std::memcpy(&w, field, 4);
    serialize_put_word(out, w);
    break;
  }
  case FieldKind::Boolean: out.push_back(*static_cast<const uint8_t*>(field)); break;
  case FieldKind::DateTime: put_datetime(out, *static_cast<const BACnetDateTime*>(field)); break;
  case FieldKind::DateRange: {
    auto* r = static_cast<const BACnetDateRange*>(field);
    put_bytes(out, &r->start, 4);
    put_bytes(out, &r->end, 4);
    break;
  }
  case FieldKind::Reference: {
    auto* r = static_cast<const BACnetDeviceObjectPropertyReference*>(field);
    for (uint32_t w : {r->object.type, r->object.instance, r->property, uint32_t(r->array_index), r->device.type,
                       r->device.instance})
      serialize_put_word(out, w);
    break;
  }
  case FieldKind::TimeStamp: {
    auto* s = static_cast<const BACnetTimeStamp*>(field);
    serialize_put_word(out, s->choice);
    if (s->choice == 0)
      put_bytes(out, &s->time, 4);
    else if (s->choice == 1)
      serialize_put_word(out, s->sequence);
    else
      put_datetime(out, s->datetime);
    break;
  }
  case FieldKind::EventParameter: serialize_put_word(out, static_cast<const BACnetEventParameter*>(field)->choice); break;
  case FieldKind::Recipient:
    serialize_put_word(out, uint32_t(static_cast<const BACnetRecipient*>(field)->choice));
    break;
  case FieldKind::Bytes: put_bytes(out, field, f.size); break;
  default: break;  // the engine's words carry nothing the file keeps
  }
  out.resize(start + object_image_width(f), 0);
}

void put_image(std::vector<uint8_t>& out, ObjectRecord* record)
{
  size_t start = out.size();
  for (const FieldSpec& f : record->spec->fields) {
    if (f.kind == FieldKind::Computed)
      continue;
    if (object_image_aligned(f.kind))
      out.resize(start + ((out.size() - start + 3) & ~size_t(3)), 0);
    put_field(out, record, f);
  }
  out.resize(start + size_t(object_image_size(record->type)), 0);
}

uint32_t word_at(const uint8_t* p)
{
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void get_datetime(const uint8_t* p, BACnetDateTime& dt)
{
  std::memcpy(&dt.date, p, 4);
  std::memcpy(&dt.time, p + 4, 4);
}

// Takes the scalar fields that lie within the image from it, placing the fields in one walk
// (a look-up per field walked the type's fields again for each).
void take_scalars(ObjectRecord* record, const uint8_t* image, size_t size)
{
  uint32_t end = 0;
  for (const FieldSpec& f : record->spec->fields) {
    if (f.kind == FieldKind::Computed)
      continue;
    const uint32_t offset = object_image_place(f, &end);
    if (size_t(offset) + object_image_width(f) > size)
      continue;
    const uint8_t* p = image + offset;
    void* field = object_field(record, f);
    switch (f.kind) {
    case FieldKind::Unsigned:
    case FieldKind::Enumerated:
    case FieldKind::Word:
    case FieldKind::Real: {
      uint32_t w = word_at(p);
      std::memcpy(field, &w, 4);
      break;
    }
    case FieldKind::Boolean: *static_cast<uint8_t*>(field) = *p; break;
    case FieldKind::DateTime: get_datetime(p, *static_cast<BACnetDateTime*>(field)); break;
    case FieldKind::DateRange: {
      auto* r = static_cast<BACnetDateRange*>(field);
      std::memcpy(&r->start, p, 4);
      std::memcpy(&r->end, p + 4, 4);
      break;
    }
    case FieldKind::Reference: {
      auto* r = static_cast<BACnetDeviceObjectPropertyReference*>(field);
      *r = {{word_at(p), word_at(p + 4)}, word_at(p + 8), int32_t(word_at(p + 12)), {word_at(p + 16), word_at(p + 20)}};
      break;
    }
    case FieldKind::TimeStamp: {
      auto* s = static_cast<BACnetTimeStamp*>(field);
      s->choice = word_at(p);
      if (s->choice == 0)
        std::memcpy(&s->time, p + 4, 4);
      else if (s->choice == 1)
        s->sequence = word_at(p + 4);
      else
        get_datetime(p + 4, s->datetime);
      break;
    }
    case FieldKind::Bytes: std::memcpy(field, p, f.size); break;
    default: break;
    }
  }
}

// ---- Contents behind the image -------------------------------------------------------------

bool put_contents(std::vector<uint8_t>& out, ObjectRecord* record, const FileType& type)
{
  bool ok = true;
  for (uint32_t property : type.stored) {
    const FieldSpec* f = object_field_spec(*record->spec, property);
    switch (f->kind) {
    case FieldKind::HeadName:
    case FieldKind::Value: ok = serialize_WriteValue(out, object_value(record, property)) && ok; break;
    case FieldKind::BitString: ok = serialize_WriteBitString(out, object_bits(record, property)) && ok; break;
    case FieldKind::EventParameter:
      ok = serialize_WriteEventParameter(out, object_event_parameter(record, property)) && ok;
      break;
    case FieldKind::Recipient: ok = serialize_WriteRecipient(out, object_recipient(record, property)) && ok; break;
    default: ok = false;
    }
  }
  return ok;
}

int get_contents(SerializeReader& in, ObjectRecord* record, const FileType& type)
{
  for (uint32_t property : type.stored) {
    const FieldSpec* f = object_field_spec(*record->spec, property);
    int rc = 1;
    switch (f->kind) {
    case FieldKind::HeadName:
    case FieldKind::Value: rc = serialize_ReadValue(in, object_value(record, property)); break;
    case FieldKind::BitString: rc = serialize_ReadBitString(in, object_bits(record, property)); break;
    case FieldKind::EventParameter: rc = serialize_ReadEventParameter(in, object_event_parameter(record, property)); break;
    case FieldKind::Recipient: rc = serialize_ReadRecipient(in, object_recipient(record, property)); break;
    default: break;
    }
    if (rc != 0)
      return rc;
  }
  return 0;
}

size_t scalar_size(FieldKind kind)
{
  switch (kind) {
  case FieldKind::Boolean: return 1;
  case FieldKind::DateTime: return sizeof(BACnetDateTime);
  case FieldKind::DateRange: return sizeof(BACnetDateRange);
  case FieldKind::Reference: return sizeof(BACnetDeviceObjectPropertyReference);
  case FieldKind::TimeStamp: return sizeof(BACnetTimeStamp);
  default: return 4;
  }
}

// Copies the restored fields of the object read from the file into the live one.
void restore(ObjectRecord* live, ObjectRecord* stored, const FileType& type)
{
  for (uint32_t property : type.restored) {
    const FieldSpec* f = object_field_spec(*live->spec, property);
    void* to = object_field(live, *f);
    const void* from = object_field(stored, *f);
    if (f->kind == FieldKind::Value) {
      value_free(static_cast<BACnetValue*>(to));
      value_assign(static_cast<BACnetValue*>(to), static_cast<const BACnetValue*>(from), -1);
    } else if (f->kind == FieldKind::BitString) {
      bitstring_copy(static_cast<BitString*>(to), static_cast<const BitString*>(from));
    } else if (f->kind == FieldKind::Bytes) {
      std::memcpy(to, from, f->size);
    } else {
      std::memcpy(to, from, scalar_size(f->kind));
    }
  }
}

// ---- Writing -------------------------------------------------------------------------------

struct SaveTarget {
  std::vector<uint8_t> bytes;
  bool ok = true;
};

void put_header(std::vector<uint8_t>& out, uint32_t instance)
{
  put_bytes(out, kCurrentVersion, sizeof(VersionText));
  serialize_put_word(out, instance);
  for (uint32_t i = 0; i < kReservedValues; ++i)
    serialize_put_word(out, TAG_NULL);
  // The guard: the text that would tie the file to a configuration; this program writes none.
  OwnedValue guard;
  value_set_charstring(nullptr, guard.get());
  serialize_WriteValue(out, guard.get());
}

// 0 written, -1 a value no record can hold, 1 a type the file does not keep.
int write_object(uint32_t owner, ObjectRecord* record, void* target)
{
  auto* save = static_cast<SaveTarget*>(target);
  const FileType* type = record ? file_type(record->type) : nullptr;
  if (!type)
    return 1;
  serialize_put_word(save->bytes, owner);
  serialize_put_word(save->bytes, record->type);
  put_image(save->bytes, record);
  if (put_contents(save->bytes, record, *type))
    return 0;
  save->ok = false;
  return -1;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes)
{
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f)
    return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0 &&
            ::fsync(fileno(f)) == 0;
  return std::fclose(f) == 0 && ok;
}

// ---- Reading -------------------------------------------------------------------------------

bool skip(SerializeReader& in, size_t n)
{
  if (in.left() < n)
    return false;
  in.pos += n;
  return true;
}

// Only files that carry no guard text are this program's.
bool guard_matches(const BACnetValue& stored)
{
  return stored.tag == TAG_CHARACTER_STRING && (!stored.payload.text || !*stored.payload.text);
}

// The bytes behind the version: 0 when they were passed over, else the failure message.
const char* skip_after_version(SerializeReader& in, const char* version)
{
  if (compare_version(version, "1.0.6") == 0)
    return skip(in, 4) ? nullptr : "Error in serialize_Open - fseek 1";
  if (compare_version(version, "1.0.7") == 0)
    return skip(in, 8) ? nullptr : "Error in serialize_Open - fseek 2";
  if (compare_version(version, "1.1.0") == 0)
    return skip(in, 14) ? nullptr : "Error in serialize_Open - fseek 3";
  if (compare_version(version, "1.1.0") > 0)
    return skip(in, 4) ? nullptr : "Error in serialize_Open - fseek 2";
  return nullptr;
}

// One object record behind its owner and type; 0 or -1. A check reads it whole and restores
// nothing.
int load_object(SerializeReader& in, uint32_t owner, const FileType& type, const char* version, bool restoring)
{
  size_t size = size_t(image_size(type.type, version));
  if (in.left() < size)
    return -1;
  const uint8_t* image = in.data + in.pos;
  in.pos += size;
  uint32_t instance = word_at(image + 8);
  ObjectRecord* stored = object_NewRecord(owner, type.type, instance);
  if (!stored)
    return -1;
  int rc = get_contents(in, stored, type);
  if (rc == 0 && type.type == OBJECT_DEVICE && compare_version(version, "1.1.0") == 0) {
    OwnedValue extra;
    rc = serialize_ReadValue(in, extra.get());
  }
  if (rc != 0 || !restoring) {
    object_FreeObject(stored);
    return rc != 0 ? -1 : 0;
  }
  take_scalars(stored, image, size);
  if (ObjectRecord* live = object_Find(owner, type.type, instance)) {
    restore(live, stored, type);
    if (g.restore_hook)
      g.restore_hook(owner, type.type, instance);
  } else if (type.insert_missing) {
    object_InsertObject(stored, owner, type.type, instance);
    return 0;
  }
  object_FreeObject(stored);
  return 0;
}

int load(SerializeReader& in, bool restoring)
{
  char version[sizeof(VersionText)];
  if (in.left() < sizeof version) {
    log("Error in serialize_Open - unable to read software version");
    return -1;
  }
  std::memcpy(version, in.data, sizeof version);
  in.pos += sizeof version;
  if (compare_version(version, "1.0.6") < 0) {
    log("Error in serialize_Open - version too old");
    return -1;
  }
  if (const char* failure = skip_after_version(in, version)) {
    log(failure);
    return -1;
  }
  OwnedValue value;
  bool ok = true;
  for (uint32_t i = 0; ok && i <= kReservedValues; ++i)
    ok = serialize_ReadValue(in, value.get()) == 0;
  // The last value read is the guard.
  ok = ok && guard_matches(*value);
  if (!ok)
    return -1;
  while (in.left() > 0) {
    uint32_t owner = 0;
    uint32_t type = 0;
    if (!serialize_get_word(in, &owner))
      return -1;
    if (!serialize_get_word(in, &type)) {
      log("Error in serialize_Open - Object Type");
      return -1;
    }
    const FileType* known = type <= OBJECT_METER ? file_type(type) : nullptr;
    if (known && load_object(in, owner, *known, version, restoring) != 0)
      return -1;
  }
  return 0;
}

// The file name with its first ".bbu" replaced by the suffix, or the suffix appended.
std::string with_suffix(const std::string& file_name, const char* suffix)
{
  std::string name = file_name;
  size_t at = name.find(".bbu");
  if (at == std::string::npos)
    return name + suffix;
  return name.replace(at, 4, suffix);
}

// Outcomes of reading a file, beside the load's 0 and -1.
constexpr int kNoFile = 1;
constexpr int kUnopened = 2;  // there, but it cannot be opened for reading

// The file's bytes: 0, kNoFile, kUnopened, or -1 when reading failed part-way.
int read_bytes(const std::string& path, std::vector<uint8_t>& bytes)
{
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f)
    return errno == ENOENT ? kNoFile : kUnopened;
  uint8_t chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + n);
  bool read_error = std::ferror(f) != 0;
  std::fclose(f);
  return read_error ? -1 : 0;
}

// Reads a file and loads it (restoring, or only checking it to its end), printing the outcome.
int read_file(const std::string& path, bool restoring, std::vector<uint8_t>& bytes)
{
  int rc = read_bytes(path, bytes);
  if (rc == kNoFile || rc == kUnopened)
    return rc;
  if (rc == 0) {
    SerializeReader in{bytes.data(), bytes.size()};
    rc = load(in, restoring);
  }
  std::fputs(rc == 0 ? "READ bacobj.bbu OK\n" : "READ bacobj.bbu ERROR\n", stdout);
  std::fflush(stdout);
  return rc;
}

// Where a file that cannot be read is kept: its name with ".bad" as the backup takes ".bak",
// numbered when an earlier one is kept there; empty when every name is taken.
std::string aside_name()
{
  const std::string base = with_suffix(g.file_name, ".bad");
  for (int n = 0; n < 100; ++n) {
    std::string name = n == 0 ? base : base + "." + std::to_string(n);
    if (::access(name.c_str(), F_OK) != 0 && errno == ENOENT)
      return name;
  }
  return {};
}

// Moves a file that cannot be read out of the saves' way, so that none writes over what may
// be the only copy of some settings; when it cannot be moved, no save of this run writes.
void set_aside(const std::string& path)
{
  std::string aside = aside_name();
  if (aside.empty() || std::rename(path.c_str(), aside.c_str()) != 0) {
    g.saves_refused = true;
    log(("Objects file " + path + " cannot be read nor set aside: it is not saved").c_str());
    return;
  }
  log(("Objects file " + path + " cannot be read: kept as " + aside).c_str());
}

// The current file's copy under the backup name; true also without a current file (none yet,
// or one set aside at start), whose backup then stays: it may hold the last settings that
// could be read. A copy and no second link: a restore writes the file in place. The copy is
// complete beside the backup before a rename puts it in its place, so that the backup too is
// whole or the previous one, and a backup the stack may not write is replaced all the same.
bool copy_to_backup(const std::string& backup)
{
  std::vector<uint8_t> current;
  int rc = read_bytes(g.file_name, current);
  if (rc == kNoFile)
    return true;
  const std::string temporary = backup + ".tmp";
  if (rc == 0 && write_file(temporary, current) && std::rename(temporary.c_str(), backup.c_str()) == 0)
    return true;
  std::remove(temporary.c_str());
  return false;
}

// The save's rename reaches the disk with the folder's entries.
void sync_folder()
{
  std::string folder = std::filesystem::path(g.file_name).parent_path().string();
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

}  // namespace

int serialize_Init(const DriverContext* context, const char* file_name)
{
  g.log = context && context->options[kSerializeLogOption] ? context->log : nullptr;
  g.file_name = file_name ? file_name : "";
  g.saves_refused = false;
  return 0;
}

void serialize_Exit()
{
  g.file_name.clear();
}

void serialize_SetRestoreHook(void (*hook)(uint32_t owner, uint32_t type, uint32_t instance))
{
  g.restore_hook = hook;
}

std::string serialize_MakeBackupName(const std::string& file_name) { return with_suffix(file_name, ".bak"); }

int serialize_SaveDevice()
{
  log("Saving Bacnet Objects File");
  if (g.file_name.empty())
    return 0;
  if (g.saves_refused) {
    log("Error in serialize_SaveDevice");
    return -1;
  }
  SaveTarget save;
  put_header(save.bytes, object_LocalInstance());
  objtable_save_all(&save, write_object);
  std::string temporary = g.file_name + ".tmp";
  if (!save.ok || !write_file(temporary, save.bytes)) {
    log("Error in serialize_SaveDevice");
    std::remove(temporary.c_str());
    return -1;
  }
  // The name holds a complete file at every moment: the new file is complete on disk, the
  // current one is copied to the backup, and one rename puts the new one in its place. A
  // backup that cannot be written costs only the backup, never the settings just changed.
  const std::string backup = serialize_MakeBackupName(g.file_name);
  if (!copy_to_backup(backup))
    log(("Objects file " + g.file_name + " saved without a backup: " + backup + " cannot be written").c_str());
  if (std::rename(temporary.c_str(), g.file_name.c_str()) != 0) {
    log("Error in serialize_SaveDevice");
    std::remove(temporary.c_str());
    return -1;
  }
  sync_folder();
  return 0;
}

int serialize_SaveOwner(uint32_t) { return serialize_SaveDevice(); }

int serialize_LoadBytes(const uint8_t* data, size_t size)
{
  SerializeReader in{data, data ? size : 0};
  return load(in, true);
}

int serialize_Open()
{
  if (g.file_name.empty())
    return 0;
  std::vector<uint8_t> bytes;
  int rc = read_file(g.file_name, true, bytes);
  if (rc == kNoFile || rc == kUnopened)
    log("Error in serialize_Open - unable to open file");
  return rc == -1 ? -1 : 0;
}

int serialize_OpenAtStart()
{
  if (g.file_name.empty())
    return 0;
  // Each file is checked to its end before anything of it is restored.
  std::vector<uint8_t> file;
  const int file_rc = read_file(g.file_name, false, file);
  if (file_rc == 0)
    return serialize_LoadBytes(file.data(), file.size());
  if (file_rc == kNoFile || file_rc == kUnopened)
    log("Error in serialize_Open - unable to open file");
  if (file_rc != kNoFile)
    set_aside(g.file_name);
  // A save cut off or a damaged file: the backup holds the last settings saved whole.
  const std::string backup = serialize_MakeBackupName(g.file_name);
  std::vector<uint8_t> saved;
  const int backup_rc = read_file(backup, false, saved);
  if (backup_rc == 0) {
    log(("Objects file " + g.file_name + " not read: started from its backup " + backup).c_str());
    return serialize_LoadBytes(saved.data(), saved.size());
  }
  if (backup_rc != kNoFile)
    set_aside(backup);
  if (file_rc == kNoFile && backup_rc == kNoFile)
    return 0;
  // Nothing whole: the records before the damage are restored, of the file when it could be
  // read, else of the backup. The failure was logged when the file was checked.
  const std::vector<uint8_t>& damaged = file_rc == -1 ? file : saved;
  DriverLogFunction logged = std::exchange(g.log, nullptr);
  serialize_LoadBytes(damaged.data(), damaged.size());
  g.log = logged;
  return -1;
}

int serialize_OpenOwner(uint32_t) { return serialize_Open(); }
