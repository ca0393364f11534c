#include "bacnet/value/value_records.h"

#include <array>

#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"
#include "bacnet/value/value_fields.h"

// The record operations are walks over the descriptions of value_fields.h. A copy releases
// the destination, takes the source over word for word, forgets every owned part it took
// over that way and then duplicates the owned parts of the alternatives the source holds.
// A duplicate that fails leaves its part empty, so the destination can always be released
// on its own and never shares memory with the source.

int value_copy_fresh(BACnetValue* destination, const BACnetValue* source)
{
  if (!destination || !source)
    return VALUE_BAD_ARGUMENT;
  if (destination == source)
    return VALUE_OK;
  value_free(destination);
  if (source->tag == TAG_NULL)
    return VALUE_OK;
  int rc = value_init(destination, source->tag);
  if (rc != VALUE_OK)
    return rc;
  return value_copy(destination, source);
}

namespace {

// Every owned part, of every alternative, nested records included: released, or only
// forgotten (zeroed) where a word-for-word copy left it shared.
class Owned : public FieldVisitor<Owned, true> {
public:
  explicit Owned(bool release) : release_(release) {}

  template <class T>
  void visit(const char*, Role, T& f)
  {
    if constexpr (DescribedRecord<T>) {
      fields(*this, f);
    } else if constexpr (std::is_same_v<T, OctetString> || std::is_same_v<T, BitString> ||
                         std::is_same_v<T, BACnetValue> || kIsInlineList<T>) {
      if (release_)
        free_part(f);
      f = T{};
    }
  }

private:
  static void free_part(OctetString& s) { octetstring_free(&s); }
  static void free_part(BitString& b) { bitstring_free(&b); }
  static void free_part(BACnetValue& v) { value_free(&v); }
  template <class E>
  static void free_part(InlineList<E>& l)
  {
    inline_list_free(&l);
  }

  bool release_;
};

// Duplicates the owned parts of the alternatives the source holds into the destination,
// whose fields sit at the same places. The first failure is kept; every part is tried.
class Duplicate : public FieldVisitor<Duplicate> {
public:
  Duplicate(void* destination, const void* source)
      : to_(static_cast<char*>(destination)), from_(static_cast<const char*>(source))
  {
  }

  template <class T>
  void visit(const char*, Role role, T& f)
  {
    if constexpr (DescribedRecord<T>) {
      fields(*this, f);
    } else if constexpr (std::is_same_v<T, OctetString>) {
      keep(octetstring_set(&peer(f), f.data, f.data ? f.length : 0));
    } else if constexpr (std::is_same_v<T, BitString>) {
      if (f.bits && f.capacity)
        keep(bitstring_set(&peer(f), f.bits, f.capacity));
    } else if constexpr (std::is_same_v<T, BACnetValue>) {
      keep(value_copy_fresh(&peer(f), &f));
    } else if constexpr (kIsInlineList<T>) {
      keep(inline_list_copy(&peer(f), &f) == VALUE_OK ? VALUE_OK : VALUE_NO_MEMORY);
    } else if (role == Role::strict_choice) {
      strict_[strict_count_++ % kChoices] = &f;
    }
  }
  template <class C>
  bool holds(C& choice, int n)
  {
    bool held = static_cast<int64_t>(choice) == n;
    if (held)
      matched_[matched_count_++ % kChoices] = &choice;
    return held;
  }

  // The first failure, else 1 when a strict choice holds an alternative its record does
  // not know.
  int result() const
  {
    if (rc_ != VALUE_OK)
      return rc_;
    for (int i = 0; i < strict_count_ && i < kChoices; ++i)
      if (!matched(strict_[i]))
        return VALUE_BAD_ARGUMENT;
    return VALUE_OK;
  }

private:
  static constexpr int kChoices = 8;

  template <class T>
  T& peer(const T& f)
  {
    return *reinterpret_cast<T*>(to_ + (reinterpret_cast<const char*>(&f) - from_));
  }
  void keep(int rc)
  {
    if (rc_ == VALUE_OK)
      rc_ = rc;
  }
  bool matched(const void* choice) const
  {
    for (int i = 0; i < matched_count_ && i < kChoices; ++i)
      if (matched_[i] == choice)
        return true;
    return false;
  }

  char* to_;
  const char* from_;
  int rc_ = VALUE_OK;
  const void* strict_[kChoices] = {};
  const void* matched_[kChoices] = {};
  int strict_count_ = 0;
  int matched_count_ = 0;
};

template <class R>
void init(R& r)
{
  fields_init(r);
}

template <class R>
void release(R& r)
{
  Owned v(true);
  fields(v, r);
}

template <class R>
int copy(R& d, const R& s)
{
  if (&d == &s)
    return VALUE_OK;
  release(d);
  d = s;
  Owned forget(false);
  fields(forget, d);
  Duplicate duplicate(&d, &s);
  fields(duplicate, const_cast<R&>(s));
  return duplicate.result();
}

// ---- The table ---------------------------------------------------------------------------

template <class R>
constexpr RecordKind kind()
{
  return {R::kTag, sizeof(R), [](void* r) { init(*static_cast<R*>(r)); }, [](void* r) { release(*static_cast<R*>(r)); },
          [](void* d, const void* s) { return copy(*static_cast<R*>(d), *static_cast<const R*>(s)); }};
}

template <class... R>
constexpr auto make_kinds(std::tuple<R...>*)
{
  return std::array<RecordKind, sizeof...(R)>{kind<R>()...};
}
constexpr auto kRecordKinds = make_kinds(static_cast<ValueRecords*>(nullptr));

constexpr uint32_t kTagLimit = 128;

constexpr std::array<const RecordKind*, kTagLimit> make_index()
{
  std::array<const RecordKind*, kTagLimit> index{};
  for (const RecordKind& k : kRecordKinds)
    index[k.tag] = &k;
  return index;
}
constexpr auto kRecordIndex = make_index();

}  // namespace

const RecordKind* record_kind(uint32_t tag)
{
  return tag < kTagLimit ? kRecordIndex[tag] : nullptr;
}

void record_release(ReadAccessSpecification& record) { release(record); }
void record_release(ReadAccessResultElement& record) { release(record); }
void record_release(ReadAccessResult& record) { release(record); }
int record_copy(ReadAccessSpecification& d, const ReadAccessSpecification& s) { return copy(d, s); }
int record_copy(ReadAccessResultElement& d, const ReadAccessResultElement& s) { return copy(d, s); }
int record_copy(ReadAccessResult& d, const ReadAccessResult& s) { return copy(d, s); }

int recipient_free(BACnetRecipient* recipient)
{
  if (recipient)
    release(*recipient);
  return VALUE_OK;
}

int value_free_tag51(BACnetEventParameter* parameter)
{
  if (!parameter)
    return VALUE_OK;
  release(*parameter);
  *parameter = BACnetEventParameter{};
  init(*parameter);
  return VALUE_OK;
}

int notification_parameters_free(BACnetNotificationParameters* parameters)
{
  if (parameters)
    release(*parameters);
  return VALUE_OK;
}

int value_copy_recipient(BACnetRecipient* destination, const BACnetRecipient* source)
{
  if (!destination || !source)
    return VALUE_BAD_ARGUMENT;
  return copy(*destination, *source);
}

int value_copy_choice(BACnetNotificationParameters* destination, const BACnetNotificationParameters* source)
{
  if (!destination || !source)
    return VALUE_BAD_ARGUMENT;
  return copy(*destination, *source);
}
