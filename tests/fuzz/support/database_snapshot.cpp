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
// loops are not turned back into those calls. The memory images are compared unchecked as well:
// they are the largest part, and a block is read only after the block that points to it showed
// the same pointer and length.
#if defined(__clang__)
#define SNAPSHOT_OWN_LOOPS __attribute__((no_builtin("memcmp", "bcmp", "strcmp", "strlen")))
#define SNAPSHOT_UNCHECKED __attribute__((no_sanitize("address")))
#else
#define SNAPSHOT_OWN_LOOPS
#define SNAPSHOT_UNCHECKED
#endif

SNAPSHOT_OWN_LOOPS SNAPSHOT_UNCHECKED bool same_bytes(const void* a, const void* b, std::size_t n)
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

template <DescribedRecord R>
bool equal(const R& a, const R& b);

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
    if constexpr (DescribedRecord<T> || std::is_same_v<T, OctetString> || std::is_same_v<T, BitString> ||
                  std::is_same_v<T, BACnetValue>) {
      same_ = equal(f, g);
    } else if constexpr (kIsInlineList<T>) {
      same_ = f.count == g.count;
      for (uint32_t i = 0; same_ && i < f.count; ++i)
        same_ = equal(i == 0 ? f.first : f.overflow[i], i == 0 ? g.first : g.overflow[i]);
    } else {
      static_assert(std::is_trivially_copyable_v<T> && !std::is_pointer_v<T>, "a field that owns memory");
      same_ = same_bytes(&f, &g, sizeof f);
    }
  }

  bool same() const { return same_; }

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

template <DescribedRecord R>
bool equal(const R& a, const R& b)
{
  Equal v(&a, &b);
  fields(v, const_cast<R&>(a));
  return v.same();
}

// Whether the tag has a record; if so, `same` tells whether the two are equal.
bool compare_records(uint32_t tag, const void* a, const void* b, bool* same)
{
  return with_record_type(tag, [&](auto type) {
    using R = typename decltype(type)::type;
    *same = !a || !b ? a == b : equal(*static_cast<const R*>(a), *static_cast<const R*>(b));
  });
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

std::byte* at(ObjectRecord* record, const SnapshotField& f) { return reinterpret_cast<std::byte*>(record) + f.offset; }

// Calls `visit` with a field that owns memory as its own type; false for a plain field.
template <class Visit>
bool with_owning_field(const SnapshotField& f, ObjectRecord* record, Visit&& visit)
{
  std::byte* field = at(record, f);
  switch (f.kind) {
  case FieldKind::BitString: visit(*reinterpret_cast<BitString*>(field)); return true;
  case FieldKind::Value: visit(*reinterpret_cast<BACnetValue*>(field)); return true;
  case FieldKind::EventParameter: visit(*reinterpret_cast<BACnetEventParameter*>(field)); return true;
  case FieldKind::Recipient: visit(*reinterpret_cast<BACnetRecipient*>(field)); return true;
  default: return false;
  }
}

// The same field in another record of the type.
template <class T>
T& same_field(const T& field, ObjectRecord* from, ObjectRecord* to)
{
  return *reinterpret_cast<T*>(reinterpret_cast<std::byte*>(to) +
                               (reinterpret_cast<const std::byte*>(&field) - reinterpret_cast<std::byte*>(from)));
}

bool equal_field(const SnapshotField& f, ObjectRecord* a, ObjectRecord* b)
{
  bool same = false;
  if (!with_owning_field(f, a, [&](auto& x) { same = equal(x, same_field(x, a, b)); }))
    return same_bytes(at(a, f), at(b, f), f.size);
  return same;
}

// Writes the field of `from` into `to` with the value library's copies; the caller compares
// the result.
void copy_field(const SnapshotField& f, ObjectRecord* to, ObjectRecord* from)
{
  auto copy = [&](auto& x) {
    using T = std::remove_reference_t<decltype(x)>;
    T& source = same_field(x, to, from);
    if constexpr (std::is_same_v<T, BitString>) {
      bitstring_set(&x, source.bits, source.bits ? source.capacity : 0);
      x.count = source.count;
    } else if constexpr (std::is_same_v<T, BACnetValue>) {
      value_free(&x);
      value_assign(&x, &source, -1);
    } else {
      // The record seen as a value of its tag, for the value library's copy.
      BACnetValue destination{}, origin{};
      destination.tag = origin.tag = T::kTag;
      destination.payload.record = &x;
      origin.payload.record = &source;
      value_copy(&destination, &origin);
    }
  };
  if (!with_owning_field(f, to, copy))
    std::memcpy(at(to, f), at(from, f), f.size);
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

SNAPSHOT_OWN_LOOPS std::size_t text_size(const char* text)
{
  std::size_t n = 0;
  while (text[n])
    ++n;
  return n + 1;
}

// Adds what a field points to; the field's own octets are in the enclosing block. Every
// alternative, as the compare walks them.
class Reach : public FieldVisitor<Reach, true> {
public:
  explicit Reach(SnapshotImage& image) : image_(image) {}

  template <class T>
  void visit(const char*, Role, T& f)
  {
    add(f);
  }

  template <class T>
  void add(T& f)
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
      add_value(f);
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
  void add_value(BACnetValue& v)
  {
    BACnetValue::Payload& p = v.payload;
    switch (v.tag) {
    case TAG_OCTET_STRING: add(p.octets); return;
    case TAG_BIT_STRING: add(p.bits); return;
    case TAG_CHARACTER_STRING:
      if (p.text)
        image_.add(p.text, text_size(p.text));
      return;
    default: break;
    }
    if (value_tag_is_list(v.tag)) {
      if (BACnetValueArray* list = p.array) {
        image_.add(list, sizeof *list);
        if (list->used > 0) {
          image_.add(list->elements, list->used * sizeof list->elements[0]);
          for (uint32_t i = 0; i < list->used; ++i)
            add_value(list->elements[i]);
        }
      }
      return;
    }
    if (p.record)
      with_record_type(v.tag, [&](auto type) {
        using R = typename decltype(type)::type;
        image_.add(p.record, sizeof(R));
        add(*static_cast<R*>(p.record));
      });
  }

  SnapshotImage& image_;
};

// The record's block (its head and stored fields), then what its head and fields point to.
void reach(SnapshotImage& image, ObjectRecord* record, const std::vector<SnapshotField>& plan)
{
  std::size_t end = sizeof *record;
  for (const SnapshotField& f : plan)
    end = std::max(end, std::size_t(f.offset) + f.size);
  image.add(record, end);
  Reach reached(image);
  reached.add(record->name);
  for (const SnapshotField& f : plan)
    with_owning_field(f, record, [&](auto& field) { reached.add(field); });
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
  objtable_layout(&now_);
  for (const auto& [slot, entry] : now_.entries) {
    std::vector<SnapshotField> plan = fields_of(entry->object);
    ObjectRecord* copy = copy_record(entry->owner, entry->object, plan);
    entries_.push_back({entry->owner, entry->key, copy, std::move(plan), nullptr, {}});
  }
  // The table as a refill lays it out is the one kept, so that a refill always comes back to it.
  insertion_order_.resize(entries_.size());
  for (std::size_t i = 0; i < entries_.size(); ++i)
    insertion_order_[i] = i;
  if (!refill_table())
    std::abort();
  objtable_layout(&layout_);
  std::vector<Entry> in_walk_order;
  for (const auto& [slot, entry] : layout_.entries)
    for (std::size_t i = 0; i < entries_.size(); ++i)
      if (entries_[i].key == entry->key) {
        insertion_order_[i] = in_walk_order.size();
        in_walk_order.push_back(std::move(entries_[i]));
      }
  entries_ = std::move(in_walk_order);
  // A database that starts has written nothing; one taken has no outcomes to keep either.
  behaviour_forget_local_writes();
  state_ = {object_IsChanged(), object_GetErrorClass(), object_LoopEventSwitch(), segmentation()};
  layout_matches();
  take_image();
}

// A new table with the same records, inserted in the order the snapshot first met them: the
// same insertions into an empty table give the same slots every time, and leave none of the
// marks that removals leave. The old table lets go of the records first (its entries are its
// own memory, and a null record is released as nothing); one it no longer holds is made from
// its copy, and those of objects created since go with the old table.
bool DatabaseSnapshot::refill_table()
{
  objtable_layout(&now_);
  std::vector<ObjectRecord*> records(entries_.size(), nullptr);
  for (const auto& [slot, entry] : now_.entries)
    for (std::size_t i = 0; i < entries_.size(); ++i)
      if (entries_[i].key == entry->key) {
        records[i] = entry->object;
        const_cast<ObjectTableEntry*>(entry)->object = nullptr;
      }
  objtable_destroy();
  bool filled = objtable_create() == 0;
  for (std::size_t i : insertion_order_) {
    const Entry& e = entries_[i];
    ObjectRecord*& record = records[i];
    if (filled && !record) {
      record = object_NewRecord(e.owner, e.copy->type, e.copy->id.instance);
      filled = record && put_back_record(record, e.copy, e.fields);
    }
    filled = filled && objtable_insert(e.owner, e.key.c_str(), record) == record;
    if (filled)
      record = nullptr;  // the table's now
  }
  for (ObjectRecord* left : records)
    object_FreeObject(left);
  return filled;
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

bool DatabaseSnapshot::restore()
{
  bool kept = same_records();
  if (!kept && !layout_matches() && !(refill_table() && layout_matches()))
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
