#include "database_snapshot.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "bacnet/objects/object_behaviour.h"
#include "bacnet/objects/object_database.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"
#include "bacnet/value/value_fields.h"

namespace {

// ---- Equality, octet for octet ------------------------------------------------------------

// The compares run for every field after every input. memcmp and strcmp would go through the
// address sanitizer's checks of both sides, which cost more than the compares themselves; these
// loops are not turned back into those calls.
#if defined(__clang__)
#define SNAPSHOT_OWN_LOOPS __attribute__((no_builtin("memcmp", "bcmp", "strcmp", "strlen")))
#else
#define SNAPSHOT_OWN_LOOPS
#endif

SNAPSHOT_OWN_LOOPS bool same_bytes(const void* a, const void* b, std::size_t n)
{
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  for (; n >= sizeof(uint64_t); n -= sizeof(uint64_t), x += sizeof(uint64_t), y += sizeof(uint64_t)) {
    uint64_t u, v;
    __builtin_memcpy(&u, x, sizeof u);
    __builtin_memcpy(&v, y, sizeof v);
    if (u != v)
      return false;
  }
  for (; n > 0; --n)
    if (*x++ != *y++)
      return false;
  return true;
}

SNAPSHOT_OWN_LOOPS bool equal_text(const char* a, const char* b)
{
  if (!a || !b)
    return a == b;
  while (*a && *a == *b)
    ++a, ++b;
  return *a == *b;
}

bool equal(const BACnetValue& a, const BACnetValue& b);

bool equal(const OctetString& a, const OctetString& b)
{
  if (!a.data || !b.data)
    return !a.data && !b.data && a.length == b.length;
  return a.length == b.length && same_bytes(a.data, b.data, a.length);
}

bool equal(const BitString& a, const BitString& b)
{
  if (a.capacity != b.capacity || a.count != b.count || !a.bits != !b.bits)
    return false;
  return !a.bits || same_bytes(a.bits, b.bits, a.capacity);
}

// Every field of every alternative, whatever the choice holds: a copy that left another
// alternative's parts behind must not pass.
class Equal : public FieldVisitor<Equal, true> {
public:
  Equal(const void* a, const void* b) : a_(static_cast<const char*>(a)), b_(static_cast<const char*>(b)) {}

  template <class T>
  void visit(const char*, Role, T& f)
  {
    if (!same_)
      return;
    const T& g = peer(f);
    if constexpr (DescribedRecord<T>) {
      Equal nested(&f, &g);
      fields(nested, const_cast<T&>(f));
      same_ = nested.same_;
    } else if constexpr (std::is_same_v<T, OctetString> || std::is_same_v<T, BitString> ||
                         std::is_same_v<T, BACnetValue>) {
      same_ = equal(f, g);
    } else if constexpr (kIsInlineList<T>) {
      same_ = f.count == g.count;
      for (uint32_t i = 0; same_ && i < f.count; ++i)
        same_ = record_equal(i == 0 ? f.first : f.overflow[i], i == 0 ? g.first : g.overflow[i]);
    } else {
      static_assert(std::is_trivially_copyable_v<T> && !std::is_pointer_v<T>, "a field that owns memory");
      same_ = same_bytes(&f, &g, sizeof f);
    }
  }

  template <class R>
  static bool record_equal(const R& a, const R& b)
  {
    Equal v(&a, &b);
    fields(v, const_cast<R&>(a));
    return v.same_;
  }

private:
  template <class T>
  const T& peer(const T& f) const
  {
    return *reinterpret_cast<const T*>(b_ + (reinterpret_cast<const char*>(&f) - a_));
  }

  const char* a_;
  const char* b_;
  bool same_ = true;
};

// Whether the tag has a record; if so, `same` tells whether the two are equal.
bool compare_records(uint32_t tag, const void* a, const void* b, bool* same)
{
  auto compare = [&](auto type) {
    using R = typename decltype(type)::type;
    if (!a || !b)
      *same = a == b;
    else
      *same = Equal::record_equal(*static_cast<const R*>(a), *static_cast<const R*>(b));
  };
  return value_fields_detail::with_record_type(tag, compare, static_cast<ValueRecords*>(nullptr));
}

bool equal_records(uint32_t tag, const void* a, const void* b)
{
  bool same = false;
  return compare_records(tag, a, b, &same) && same;
}

bool equal_lists(const BACnetValueArray* x, const BACnetValueArray* y)
{
  if (!x || !y)
    return x == y;
  if (x->used != y->used || x->count != y->count)
    return false;
  for (uint32_t i = 0; i < x->used; ++i)
    if (!equal(x->elements[i], y->elements[i]))
      return false;
  return true;
}

bool equal(const BACnetValue& a, const BACnetValue& b)
{
  if (a.tag != b.tag)
    return false;
  const BACnetValue::Payload& p = a.payload;
  const BACnetValue::Payload& q = b.payload;
  switch (a.tag) {
  case TAG_NULL: return true;
  case TAG_BOOLEAN: return p.boolean == q.boolean;
  case TAG_UNSIGNED:
  case TAG_SIGNED:
  case TAG_REAL:
  case TAG_ENUMERATED:
  case TAG_DATE:
  case TAG_TIME: return same_bytes(&p, &q, 4);
  case TAG_DOUBLE:
  case TAG_OBJECT_ID: return same_bytes(&p, &q, 8);
  case TAG_OCTET_STRING: return equal(p.octets, q.octets);
  case TAG_CHARACTER_STRING: return equal_text(p.text, q.text);
  case TAG_BIT_STRING: return equal(p.bits, q.bits);
  default: break;
  }
  // Records first: most compared values are the priority arrays' elements.
  bool same = false;
  if (compare_records(a.tag, p.record, q.record, &same))
    return same;
  return value_tag_is_list(a.tag) && equal_lists(p.array, q.array);
}

// ---- Fields of a record -------------------------------------------------------------------

// A record-kind field seen as a value of its tag, for the value library's copy.
BACnetValue alias(uint32_t tag, void* record)
{
  BACnetValue v{};
  v.tag = tag;
  v.payload.record = record;
  return v;
}

std::byte* at(ObjectRecord* record, const SnapshotField& f) { return reinterpret_cast<std::byte*>(record) + f.offset; }

bool equal_field(const SnapshotField& f, ObjectRecord* a, ObjectRecord* b)
{
  std::byte* x = at(a, f);
  std::byte* y = at(b, f);
  switch (f.kind) {
  case FieldKind::BitString: return equal(*reinterpret_cast<BitString*>(x), *reinterpret_cast<BitString*>(y));
  case FieldKind::Value: return equal(*reinterpret_cast<BACnetValue*>(x), *reinterpret_cast<BACnetValue*>(y));
  case FieldKind::EventParameter: return equal_records(TAG_EVENT_PARAMETER, x, y);
  case FieldKind::Recipient: return equal_records(TAG_RECIPIENT, x, y);
  default: return same_bytes(x, y, f.size);
  }
}

// Writes the field of `from` into `to` with the value library's copies; the caller compares
// the result.
void copy_field(const SnapshotField& f, ObjectRecord* to, ObjectRecord* from)
{
  std::byte* x = at(to, f);
  std::byte* y = at(from, f);
  switch (f.kind) {
  case FieldKind::BitString: {
    auto* bits = reinterpret_cast<BitString*>(x);
    const auto* source = reinterpret_cast<const BitString*>(y);
    bitstring_set(bits, source->bits, source->bits ? source->capacity : 0);
    bits->count = source->count;
    break;
  }
  case FieldKind::Value: {
    auto* value = reinterpret_cast<BACnetValue*>(x);
    value_free(value);
    value_assign(value, reinterpret_cast<const BACnetValue*>(y), -1);
    break;
  }
  case FieldKind::EventParameter:
  case FieldKind::Recipient: {
    uint32_t tag = f.kind == FieldKind::Recipient ? TAG_RECIPIENT : TAG_EVENT_PARAMETER;
    BACnetValue destination = alias(tag, x);
    BACnetValue source = alias(tag, y);
    value_copy(&destination, &source);
    break;
  }
  default: std::memcpy(x, y, f.size); break;
  }
}

// Where a record of this type keeps each stored field.
std::vector<SnapshotField> fields_of(ObjectRecord* record)
{
  std::vector<SnapshotField> plan;
  for (const FieldSpec& f : record->spec->fields)
    if (void* field = object_field(record, f))
      plan.push_back(
          {f.kind, static_cast<std::byte*>(field) - reinterpret_cast<std::byte*>(record), object_field_size(f)});
  return plan;
}

// The head and every field that differs from the copy are written back; false when one still
// differs.
bool put_back_record(ObjectRecord* record, ObjectRecord* copy, const std::vector<SnapshotField>& plan)
{
  if (record->spec != copy->spec)
    return false;
  record->type = copy->type;
  record->id = copy->id;
  if (!equal(record->name, copy->name)) {
    value_free(&record->name);
    value_assign(&record->name, &copy->name, -1);
    if (!equal(record->name, copy->name))
      return false;
  }
  for (const SnapshotField& f : plan) {
    if (equal_field(f, record, copy))
      continue;
    copy_field(f, record, copy);
    if (!equal_field(f, record, copy))
      return false;
  }
  return true;
}

ObjectRecord* copy_record(uint32_t owner, ObjectRecord* record, const std::vector<SnapshotField>& plan)
{
  ObjectRecord* copy = object_NewRecord(owner, record->type, record->id.instance);
  if (!copy || !put_back_record(copy, record, plan)) {
    std::fprintf(stderr, "database snapshot: record (%u, %u) cannot be copied exactly\n", record->type,
                 record->id.instance);
    std::abort();
  }
  return copy;
}

// ---- The memory the live records reach -------------------------------------------------------

void reach_value(SnapshotImage& image, const BACnetValue& v);

// Adds what a record's fields point to; the record's own octets are in the enclosing block.
// Every alternative, as the compare walks them.
class Reach : public FieldVisitor<Reach, true> {
public:
  explicit Reach(SnapshotImage& image) : image_(image) {}

  template <class T>
  void visit(const char*, Role, T& f)
  {
    if constexpr (DescribedRecord<T>) {
      fields(*this, f);
    } else if constexpr (std::is_same_v<T, OctetString>) {
      if (f.data)
        image_.add(f.data, f.length);
    } else if constexpr (std::is_same_v<T, BitString>) {
      if (f.bits)
        image_.add(f.bits, f.capacity);
    } else if constexpr (std::is_same_v<T, BACnetValue>) {
      reach_value(image_, f);
    } else if constexpr (kIsInlineList<T>) {
      fields(*this, f.first);
      if (f.count > 1) {
        image_.add(f.overflow + 1, (f.count - 1) * sizeof f.overflow[0]);
        for (uint32_t i = 1; i < f.count; ++i)
          fields(*this, f.overflow[i]);
      }
    }
  }

private:
  SnapshotImage& image_;
};

SNAPSHOT_OWN_LOOPS std::size_t text_size(const char* text)
{
  std::size_t n = 0;
  while (text[n])
    ++n;
  return n + 1;
}

void reach_record(SnapshotImage& image, uint32_t tag, void* record, bool own_block)
{
  auto reach = [&](auto type) {
    using R = typename decltype(type)::type;
    if (own_block)
      image.add(record, sizeof(R));
    Reach nested(image);
    fields(nested, *static_cast<R*>(record));
  };
  if (record)
    value_fields_detail::with_record_type(tag, reach, static_cast<ValueRecords*>(nullptr));
}

void reach_value(SnapshotImage& image, const BACnetValue& v)
{
  const BACnetValue::Payload& p = v.payload;
  switch (v.tag) {
  case TAG_OCTET_STRING:
    if (p.octets.data)
      image.add(p.octets.data, p.octets.length);
    return;
  case TAG_CHARACTER_STRING:
    if (p.text)
      image.add(p.text, text_size(p.text));
    return;
  case TAG_BIT_STRING:
    if (p.bits.bits)
      image.add(p.bits.bits, p.bits.capacity);
    return;
  default: break;
  }
  if (value_tag_is_list(v.tag)) {
    if (const BACnetValueArray* list = p.array) {
      image.add(list, sizeof *list);
      if (list->used > 0) {
        image.add(list->elements, list->used * sizeof list->elements[0]);
        for (uint32_t i = 0; i < list->used; ++i)
          reach_value(image, list->elements[i]);
      }
    }
    return;
  }
  reach_record(image, v.tag, p.record, true);
}

// The record's block (its head and stored fields), then what its head and fields point to.
void reach(SnapshotImage& image, ObjectRecord* record, const std::vector<SnapshotField>& plan)
{
  std::size_t end = sizeof *record;
  for (const SnapshotField& f : plan)
    end = std::max(end, std::size_t(f.offset) + f.size);
  image.add(record, end);
  reach_value(image, record->name);
  for (const SnapshotField& f : plan) {
    std::byte* field = at(record, f);
    switch (f.kind) {
    case FieldKind::BitString: {
      const auto* bits = reinterpret_cast<const BitString*>(field);
      if (bits->bits)
        image.add(bits->bits, bits->capacity);
      break;
    }
    case FieldKind::Value: reach_value(image, *reinterpret_cast<const BACnetValue*>(field)); break;
    case FieldKind::EventParameter: reach_record(image, TAG_EVENT_PARAMETER, field, false); break;
    case FieldKind::Recipient: reach_record(image, TAG_RECIPIENT, field, false); break;
    default: break;
    }
  }
}

ObjectRecord* device()
{
  uint32_t instance = object_LocalInstance();
  return object_Find(instance, OBJECT_DEVICE, instance);
}

uint32_t segmentation()
{
  OwnedValue v;
  ObjectRecord* d = device();
  if (!d || object_PropertyFunction(-1, d->id.instance, d, PROP_SEGMENTATION_SUPPORTED, -1, PROPERTY_READ, v.get(), 0))
    return ~0u;
  return v->payload.enumerated;
}

void set_segmentation(uint32_t value)
{
  ObjectRecord* d = device();
  OwnedValue v;
  value_set_enumerated(&value, v.get());
  if (d)
    object_PropertyFunction(-1, d->id.instance, d, PROP_SEGMENTATION_SUPPORTED, -1, PROPERTY_WRITE, v.get(), 0);
}

}  // namespace

void SnapshotImage::clear()
{
  blocks_.clear();
  octets_.clear();
}

void SnapshotImage::add(const void* at, std::size_t size)
{
  blocks_.push_back({at, size, octets_.size()});
  const auto* bytes = static_cast<const unsigned char*>(at);
  octets_.insert(octets_.end(), bytes, bytes + size);
}

bool SnapshotImage::unchanged() const
{
  for (const Block& b : blocks_)
    if (!same_bytes(b.at, octets_.data() + b.offset, b.size))
      return false;
  return true;
}

void DatabaseSnapshot::release()
{
  for (Entry& e : entries_)
    object_FreeObject(e.copy);
  entries_.clear();
}

void DatabaseSnapshot::take()
{
  release();
  objtable_layout(&layout_);
  for (const auto& [slot, entry] : layout_.entries) {
    std::vector<SnapshotField> plan = fields_of(entry->object);
    ObjectRecord* copy = copy_record(entry->owner, entry->object, plan);
    entries_.push_back({entry->owner, entry->key, copy, std::move(plan), nullptr, {}});
  }
  // A database that starts has written nothing; one taken has no outcomes to keep either.
  behaviour_forget_local_writes();
  state_ = {object_IsChanged(), object_GetErrorClass(), object_LoopEventSwitch(), segmentation()};
  layout_matches();
  take_image();
}

void DatabaseSnapshot::take_image()
{
  for (std::size_t i = 0; i < entries_.size(); ++i)
    take_image(entries_[i], now_.entries[i].second->object);
}

void DatabaseSnapshot::take_image(Entry& e, ObjectRecord* live)
{
  e.live = live;
  e.image.clear();
  reach(e.image, live, e.fields);
}

// Whether the table holds the records whose memory was kept; only then may it be read.
bool DatabaseSnapshot::same_records()
{
  if (!layout_matches())
    return false;
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (now_.entries[i].second->object != entries_[i].live)
      return false;
  return true;
}

bool DatabaseSnapshot::layout_matches()
{
  objtable_layout(&now_);
  if (now_.slots != layout_.slots || now_.removed != 0 || now_.entries.size() != entries_.size())
    return false;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const auto& [slot, entry] = now_.entries[i];
    if (slot != layout_.entries[i].first || entry->owner != entries_[i].owner || entries_[i].key != entry->key)
      return false;
  }
  return true;
}

// Objects created since go, objects deleted since come back as copies of what was taken.
bool DatabaseSnapshot::put_back_objects()
{
  objtable_layout(&now_);
  for (const auto& [slot, entry] : now_.entries) {
    bool known = false;
    for (const Entry& e : entries_)
      known = known || e.key == entry->key;
    if (!known)
      objtable_remove(std::string(entry->key).c_str());
  }
  for (const Entry& e : entries_) {
    if (objtable_find(e.key.c_str()))
      continue;
    ObjectRecord* copy = object_NewRecord(e.owner, e.copy->type, e.copy->id.instance);
    if (!copy || !put_back_record(copy, e.copy, e.fields) || objtable_insert(e.owner, e.key.c_str(), copy) != copy) {
      object_FreeObject(copy);
      return false;
    }
  }
  return layout_matches();
}

bool DatabaseSnapshot::restore()
{
  bool kept = same_records();
  if (!kept && !layout_matches() && !put_back_objects())
    return false;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    Entry& e = entries_[i];
    if (kept && e.image.unchanged())
      continue;
    ObjectRecord* live = now_.entries[i].second->object;
    if (!put_back_record(live, e.copy, e.fields))
      return false;
    take_image(e, live);
  }
  behaviour_forget_local_writes();
  if (state_.changed)
    object_SetChanged();
  else
    object_ClearChanged();
  object_SetErrorClass(state_.error_class);
  object_SetLoopEventSwitch(state_.loop_switch);
  if (segmentation() == state_.segmentation)
    return true;
  set_segmentation(state_.segmentation);
  return segmentation() == state_.segmentation;
}
