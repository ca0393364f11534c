#include "bacnet/objects/object_record.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"
#include "bacnet/value/value_memory.h"

namespace {

bool g_changed = false;
DriverLogFunction g_log = nullptr;
uint8_t g_loop_event_switch = 1;

constexpr int kObjectLogLevel = 17;
constexpr size_t kFieldAlignment = alignof(std::max_align_t);
constexpr uint32_t kPseudoProperty = 0x80000000;

// ---- Native layout of the field storage, computed once per type ---------------------------

struct NativeLayout {
  std::vector<int32_t> offset;  // per row; -1 for the head and computed rows
  size_t size = 0;
  // Row of each property (its first), by number: standard properties in `row`, the
  // pseudo properties above 0x80000000 in `pseudo_row`; -1 where the type has none.
  std::vector<int16_t> row;
  std::vector<int16_t> pseudo_row;
};

struct KindStorage {
  size_t size;
  size_t alignment;
};

KindStorage storage_of(const FieldSpec& f)
{
  switch (f.kind) {
  case FieldKind::Unsigned:
  case FieldKind::Enumerated:
  case FieldKind::Word: return {sizeof(uint32_t), alignof(uint32_t)};
  case FieldKind::Real: return {sizeof(float), alignof(float)};
  case FieldKind::Boolean: return {1, 1};
  case FieldKind::BitString: return {sizeof(BitString), alignof(BitString)};
  case FieldKind::Value: return {sizeof(BACnetValue), alignof(BACnetValue)};
  case FieldKind::DateTime: return {sizeof(BACnetDateTime), alignof(BACnetDateTime)};
  case FieldKind::DateRange: return {sizeof(BACnetDateRange), alignof(BACnetDateRange)};
  case FieldKind::Reference:
    return {sizeof(BACnetDeviceObjectPropertyReference), alignof(BACnetDeviceObjectPropertyReference)};
  case FieldKind::TimeStamp: return {sizeof(BACnetTimeStamp), alignof(BACnetTimeStamp)};
  case FieldKind::EventParameter: return {sizeof(BACnetEventParameter), alignof(BACnetEventParameter)};
  case FieldKind::Recipient: return {sizeof(BACnetRecipient), alignof(BACnetRecipient)};
  case FieldKind::Bytes: return {f.size, 1};
  case FieldKind::Engine: return {sizeof(ObjectEngineState), alignof(ObjectEngineState)};
  default: return {0, 1};
  }
}

NativeLayout layout_of(const ObjectTypeSpec& spec)
{
  NativeLayout layout;
  size_t offset = 0;
  for (const FieldSpec& f : spec.fields) {
    KindStorage s = storage_of(f);
    if (s.size == 0) {
      layout.offset.push_back(-1);
      continue;
    }
    offset = (offset + s.alignment - 1) / s.alignment * s.alignment;
    layout.offset.push_back(static_cast<int32_t>(offset));
    offset += s.size;
  }
  for (size_t i = spec.fields.size(); i-- > 0;) {
    const uint32_t property = spec.fields[i].property;
    auto& rows = property & kPseudoProperty ? layout.pseudo_row : layout.row;
    const uint32_t number = property & ~kPseudoProperty;
    if (number >= rows.size())
      rows.resize(number + 1, -1);
    rows[number] = static_cast<int16_t>(i);
  }
  layout.size = offset;
  return layout;
}

// Every field access comes through here: the layouts are kept by type, and the type table's
// address confirms the match, so no search of the type list is needed.
const NativeLayout& layout(const ObjectTypeSpec& spec)
{
  struct TypeLayout {
    const ObjectTypeSpec* spec = nullptr;
    NativeLayout layout;
  };
  static const auto by_type = [] {
    std::vector<TypeLayout> all;
    for (const ObjectTypeSpec* s : object_type_specs()) {
      if (s->type >= all.size())
        all.resize(s->type + 1);
      all[s->type] = {s, layout_of(*s)};
    }
    return all;
  }();
  if (spec.type < by_type.size() && by_type[spec.type].spec == &spec)
    return by_type[spec.type].layout;
  static const NativeLayout empty;
  return empty;
}

size_t header_size()
{
  return (sizeof(ObjectRecord) + kFieldAlignment - 1) / kFieldAlignment * kFieldAlignment;
}

// ---- Values at creation ------------------------------------------------------------------

int make_list(BACnetValue* value, uint32_t tag) { return value_init(value, tag); }

int append(BACnetValue* list, OwnedValue& element) { return value_array_append(list->payload.array, element.get()); }

int unsigned_array3(BACnetValue* value)
{
  int rc = make_list(value, TAG_UNSIGNED_LIST);
  for (int i = 0; rc == VALUE_OK && i < 3; ++i) {
    OwnedValue element;
    uint32_t zero = 0;
    value_set_unsigned(&zero, element.get());
    rc = append(value, element);
  }
  return rc;
}

int weekly_schedule(BACnetValue* value)
{
  int rc = make_list(value, TAG_DAILY_SCHEDULE_LIST);
  for (int i = 0; rc == VALUE_OK && i < 7; ++i) {
    OwnedValue day;
    rc = value_init(day.get(), TAG_DAILY_SCHEDULE);
    if (rc == VALUE_OK)
      rc = make_list(&value_record<BACnetDailySchedule>(day.get())->day_schedule, TAG_TIME_VALUE_LIST);
    if (rc == VALUE_OK)
      rc = append(value, day);
  }
  return rc;
}

int configuration_files(BACnetValue* value, uint32_t instance)
{
  int rc = make_list(value, TAG_OBJECT_ID_LIST);
  if (rc != VALUE_OK)
    return rc;
  OwnedValue file;
  BACnetObjectId id{OBJECT_FILE, instance};
  value_set_objectid(&id, file.get());
  return append(value, file);
}

int bit_default(BitString* bits, uint32_t n, bool set)
{
  uint8_t buffer[32];
  std::memset(buffer, set ? 1 : 0, sizeof buffer);
  return bitstring_set(bits, buffer, n);
}

int apply_default(ObjectRecord* record, const FieldSpec& f, void* field, uint32_t owner)
{
  const FieldDefault& d = f.initial;
  auto* word = static_cast<uint32_t*>(field);
  auto* value = static_cast<BACnetValue*>(field);
  switch (d.kind) {
  case DefaultKind::Zero:
    return VALUE_OK;
  case DefaultKind::Word:
    if (f.kind == FieldKind::Boolean)
      *static_cast<uint8_t*>(field) = static_cast<uint8_t>(d.word);
    else
      *word = d.word;
    return VALUE_OK;
  case DefaultKind::Real:
    *static_cast<float*>(field) = d.real;
    return VALUE_OK;
  case DefaultKind::Bits:
    return bit_default(static_cast<BitString*>(field), d.word, d.real != 0);
  case DefaultKind::Text:
    return value_set_charstring(d.text, value) == VALUE_OK ? VALUE_OK : VALUE_NO_MEMORY;
  case DefaultKind::NoText:
    return value_init(value, TAG_CHARACTER_STRING);
  case DefaultKind::List:
    return make_list(value, d.word);
  case DefaultKind::PriorityArray:
    return object_InitPriorityArray(value);
  case DefaultKind::TimeStamps:
    return object_InitTimeStamps(value);
  case DefaultKind::UnsignedArray3:
    return unsigned_array3(value);
  case DefaultKind::WeeklySchedule:
    return weekly_schedule(value);
  case DefaultKind::ConfigurationFiles:
    return configuration_files(value, record->id.instance);
  case DefaultKind::Instance:
    *word = record->id.instance;
    return VALUE_OK;
  case DefaultKind::CreationStamp: {
    auto* stamp = static_cast<BACnetTimeStamp*>(field);
    stamp->choice = 2;
    return time_now_to_bacnet(&stamp->datetime);
  }
  case DefaultKind::CreationSeconds: {
    *word = os_wall_seconds();
    return VALUE_OK;
  }
  case DefaultKind::Unspecified:
    std::memset(field, VALUE_ANY, f.kind == FieldKind::DateRange ? sizeof(BACnetDateRange) : sizeof(BACnetDateTime));
    return VALUE_OK;
  case DefaultKind::EnumeratedZero: {
    uint32_t zero = 0;
    return value_set_enumerated(&zero, value);
  }
  case DefaultKind::ReferenceNone: {
    auto* ref = static_cast<BACnetDeviceObjectPropertyReference*>(field);
    ref->array_index = -1;
    ref->device.type = 999;
    return VALUE_OK;
  }
  case DefaultKind::TrendLogReference: {
    auto* ref = static_cast<BACnetDeviceObjectPropertyReference*>(field);
    *ref = {{OBJECT_ANALOG_VALUE, 1}, PROP_PRESENT_VALUE, -1, {OBJECT_DEVICE, owner}};
    return VALUE_OK;
  }
  case DefaultKind::ObjectReference:
    return value_init(value, TAG_OBJECT_PROPERTY_REFERENCE);
  case DefaultKind::ChangeOfState: {
    auto* parameter = static_cast<BACnetEventParameter*>(field);
    parameter->choice = 1;
    parameter->time_delay = 10;
    return VALUE_OK;
  }
  case DefaultKind::NoRecipient:
    static_cast<BACnetRecipient*>(field)->choice = -1;
    return VALUE_OK;
  }
  return VALUE_OK;
}

// ---- Field access ------------------------------------------------------------------------

int row_index(const NativeLayout& native, uint32_t property)
{
  const auto& rows = property & kPseudoProperty ? native.pseudo_row : native.row;
  const uint32_t number = property & ~kPseudoProperty;
  return number < rows.size() ? rows[number] : -1;
}

void* field_at(ObjectRecord* record, const NativeLayout& native, size_t row)
{
  int32_t offset = native.offset[row];
  return offset < 0 ? nullptr : record->fields + offset;
}

void* field_at(ObjectRecord* record, size_t row) { return field_at(record, layout(*record->spec), row); }

// The behaviour engine reaches fields by the thousand every second: one look-up of the
// layout per access.
template <class T>
T* typed_field(ObjectRecord* record, uint32_t property, std::initializer_list<FieldKind> kinds)
{
  if (!record || !record->spec)
    return nullptr;
  const NativeLayout& native = layout(*record->spec);
  int row = row_index(native, property);
  if (row < 0)
    return nullptr;
  FieldKind kind = record->spec->fields[row].kind;
  for (FieldKind k : kinds)
    if (k == kind)
      return static_cast<T*>(field_at(record, native, row));
  return nullptr;
}

void release_field(const FieldSpec& f, void* field)
{
  switch (f.kind) {
  case FieldKind::BitString:
    bitstring_free(static_cast<BitString*>(field));
    break;
  case FieldKind::Value:
    value_free(static_cast<BACnetValue*>(field));
    break;
  case FieldKind::EventParameter:
    value_free_tag51(static_cast<BACnetEventParameter*>(field));
    break;
  case FieldKind::Recipient: {
    auto* recipient = static_cast<BACnetRecipient*>(field);
    int32_t choice = recipient->choice;
    recipient_free(recipient);
    recipient->choice = choice;
    break;
  }
  default:
    break;
  }
}

}  // namespace

// ---- Keys --------------------------------------------------------------------------------

namespace {

// At least four digits of `value` in `base`, upper case, as printf's "%04X" and "%04d" write
// them; returns the end.
char* put_digits(char* out, uint32_t value, uint32_t base)
{
  char reversed[10];
  int n = 0;
  do {
    reversed[n++] = "0123456789ABCDEF"[value % base];
    value /= base;
  } while (value);
  for (int pad = n; pad < 4; ++pad)
    *out++ = '0';
  while (n)
    *out++ = reversed[--n];
  return out;
}

}  // namespace

void object_MakeKey(char* key, uint32_t owner, uint32_t type, uint32_t instance)
{
  // Every request looks an object up by this key: built by hand, not through printf.
  if (static_cast<int>(type) < 0) {
    std::snprintf(key, OBJECT_KEY_SIZE, "%04X%04d%04X", owner, static_cast<int>(type), instance);
    return;
  }
  char* end = put_digits(key, owner, 16);
  end = put_digits(end, type, 10);
  end = put_digits(end, instance, 16);
  *end = '\0';
}

// ---- Life of a record --------------------------------------------------------------------

ObjectRecord* object_NewRecord(uint32_t owner, uint32_t type, uint32_t instance)
{
  const ObjectTypeSpec* spec = object_type_spec(type);
  if (!spec)
    return nullptr;
  const NativeLayout& native = layout(*spec);
  void* block = value_mem_calloc(1, header_size() + native.size);
  if (!block)
    return nullptr;
  auto* record = new (block) ObjectRecord{};
  record->type = type;
  record->id = {type, instance};
  record->spec = spec;
  record->fields = static_cast<std::byte*>(block) + header_size();

  char name[64];
  std::snprintf(name, sizeof name, spec->name_format, instance);
  bool ok = value_set_charstring(name, &record->name) == VALUE_OK;
  for (size_t i = 0; ok && i < spec->fields.size(); ++i) {
    void* field = field_at(record, native, i);
    if (field)
      ok = apply_default(record, spec->fields[i], field, owner) == VALUE_OK;
  }
  if (!ok) {
    object_FreeObject(record);
    return nullptr;
  }
  return record;
}

void object_DestroyObject(uint32_t type, ObjectRecord* record)
{
  if (!record)
    return;
  const ObjectTypeSpec* spec = object_type_spec(type);
  if (!spec || spec != record->spec) {
    object_log(kObjectLogLevel, "Object not supported");
    return;
  }
  value_free(&record->name);
  const NativeLayout& native = layout(*spec);
  for (size_t i = 0; i < spec->fields.size(); ++i)
    if (void* field = field_at(record, native, i))
      release_field(spec->fields[i], field);
}

void object_FreeObject(ObjectRecord* record)
{
  if (!record)
    return;
  object_DestroyObject(record->type, record);
  record->~ObjectRecord();
  value_mem_free(record);
}

ObjectRecord* object_Find(uint32_t owner, uint32_t type, uint32_t instance)
{
  char key[OBJECT_KEY_SIZE];
  object_MakeKey(key, owner, type, instance);
  return objtable_find(key);
}

ObjectRecord* object_CreateObject(uint32_t owner, uint32_t type, uint32_t instance)
{
  if (!object_type_supported(type)) {
    object_log(kObjectLogLevel, "Object not supported");
    return nullptr;
  }
  char key[OBJECT_KEY_SIZE];
  object_MakeKey(key, owner, type, instance);
  ObjectRecord* record = object_NewRecord(owner, type, instance);
  if (!record)
    return nullptr;
  if (objtable_insert(owner, key, record) != record) {
    object_FreeObject(record);
    return nullptr;
  }
  object_SetChanged();
  return record;
}

ObjectRecord* object_InsertObject(ObjectRecord* record, uint32_t owner, uint32_t type, uint32_t instance)
{
  if (!record || !object_type_supported(type))
    return nullptr;
  char key[OBJECT_KEY_SIZE];
  object_MakeKey(key, owner, type, instance);
  if (objtable_insert(owner, key, record) != record) {
    object_FreeObject(record);
    return nullptr;
  }
  return record;
}

int object_DeleteObject(uint32_t owner, uint32_t type, uint32_t instance)
{
  char key[OBJECT_KEY_SIZE];
  object_MakeKey(key, owner, type, instance);
  if (!objtable_find(key))
    return 18;
  objtable_remove(key);
  object_SetChanged();
  return 0;
}

// ---- Value builders ----------------------------------------------------------------------

int object_InitPriorityArray(BACnetValue* value)
{
  if (!value)
    return VALUE_BAD_ARGUMENT;
  int rc = make_list(value, TAG_PRIORITY_ARRAY);
  for (int i = 0; rc == VALUE_OK && i < 16; ++i) {
    OwnedValue element;
    rc = value_init(element.get(), TAG_PRIORITY_VALUE);
    if (rc == VALUE_OK)
      rc = append(value, element);
  }
  return rc;
}

int object_InitTimeStamps(BACnetValue* value)
{
  if (!value)
    return VALUE_BAD_ARGUMENT;
  int rc = make_list(value, TAG_TIMESTAMP_LIST);
  for (int i = 0; rc == VALUE_OK && i < 3; ++i) {
    OwnedValue element;
    rc = value_init(element.get(), TAG_TIMESTAMP);
    if (rc == VALUE_OK) {
      auto* stamp = value_record<BACnetTimeStamp>(element.get());
      stamp->choice = 2;
      time_set_unspecified(&stamp->datetime);
      rc = append(value, element);
    }
  }
  return rc;
}

int object_InitStatusFlags(BitString* bits) { return bits ? bit_default(bits, 4, false) : VALUE_BAD_ARGUMENT; }
int object_InitLimitEnable(BitString* bits) { return bits ? bit_default(bits, 2, false) : VALUE_BAD_ARGUMENT; }
int object_InitEventEnable(BitString* bits) { return bits ? bit_default(bits, 3, false) : VALUE_BAD_ARGUMENT; }
int object_InitAckedTransitions(BitString* bits) { return bits ? bit_default(bits, 3, true) : VALUE_BAD_ARGUMENT; }

// ---- Field access ------------------------------------------------------------------------

uint32_t* object_word(ObjectRecord* record, uint32_t property)
{
  return typed_field<uint32_t>(record, property, {FieldKind::Unsigned, FieldKind::Enumerated, FieldKind::Word});
}
uint32_t object_word_value(ObjectRecord* record, uint32_t property)
{
  const uint32_t* w = object_word(record, property);
  return w ? *w : 0;
}
ObjectRecord* object_notification_class(uint32_t owner, ObjectRecord* record)
{
  return object_Find(owner, OBJECT_NOTIFICATION_CLASS, object_word_value(record, PROP_NOTIFICATION_CLASS));
}
float* object_real(ObjectRecord* record, uint32_t property)
{
  return typed_field<float>(record, property, {FieldKind::Real});
}
uint8_t* object_boolean(ObjectRecord* record, uint32_t property)
{
  return typed_field<uint8_t>(record, property, {FieldKind::Boolean});
}
BitString* object_bits(ObjectRecord* record, uint32_t property)
{
  return typed_field<BitString>(record, property, {FieldKind::BitString});
}
BACnetValue* object_value(ObjectRecord* record, uint32_t property)
{
  if (record && property == PROP_OBJECT_NAME)
    return &record->name;
  return typed_field<BACnetValue>(record, property, {FieldKind::Value});
}
BACnetDateTime* object_datetime(ObjectRecord* record, uint32_t property)
{
  return typed_field<BACnetDateTime>(record, property, {FieldKind::DateTime});
}
BACnetDateRange* object_daterange(ObjectRecord* record, uint32_t property)
{
  return typed_field<BACnetDateRange>(record, property, {FieldKind::DateRange});
}
BACnetDeviceObjectPropertyReference* object_reference(ObjectRecord* record, uint32_t property)
{
  return typed_field<BACnetDeviceObjectPropertyReference>(record, property, {FieldKind::Reference});
}
BACnetTimeStamp* object_timestamp(ObjectRecord* record, uint32_t property)
{
  return typed_field<BACnetTimeStamp>(record, property, {FieldKind::TimeStamp});
}
BACnetEventParameter* object_event_parameter(ObjectRecord* record, uint32_t property)
{
  return typed_field<BACnetEventParameter>(record, property, {FieldKind::EventParameter});
}
BACnetRecipient* object_recipient(ObjectRecord* record, uint32_t property)
{
  return typed_field<BACnetRecipient>(record, property, {FieldKind::Recipient});
}
ObjectEngineState* object_engine(ObjectRecord* record)
{
  return typed_field<ObjectEngineState>(record, FIELD_ENGINE, {FieldKind::Engine});
}

void* object_field(ObjectRecord* record, const FieldSpec& field)
{
  if (!record || !record->spec)
    return nullptr;
  const FieldSpec* first = record->spec->fields.data();
  if (&field < first || &field >= first + record->spec->fields.size())
    return nullptr;
  return field_at(record, static_cast<size_t>(&field - first));
}

std::size_t object_field_size(const FieldSpec& field) { return storage_of(field).size; }

bool object_reporting_on(ObjectRecord* record)
{
  uint32_t* on = object_word(record, FIELD_REPORTING_SWITCH);
  return !on || *on != 0;
}

uint32_t object_ReferenceOwner(const BACnetDeviceObjectPropertyReference* reference, uint32_t local_instance)
{
  if (!reference || reference->device.type == 999)
    return local_instance;
  return reference->device.instance;
}

// ---- Shared state ------------------------------------------------------------------------

void object_SetChanged() { g_changed = true; }
void object_ClearChanged() { g_changed = false; }
bool object_IsChanged() { return g_changed; }

void object_set_log(DriverLogFunction log) { g_log = log; }
void object_log(int level, const char* text)
{
  if (g_log)
    g_log(level, text);
}

void object_SetLoopEventSwitch(uint8_t on) { g_loop_event_switch = on; }
uint8_t object_LoopEventSwitch() { return g_loop_event_switch; }
