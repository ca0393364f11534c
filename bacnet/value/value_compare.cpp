#include "bacnet/value/value_compare.h"

#include <cmath>
#include <cstring>
#include <tuple>

#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"
#include "bacnet/value/value_fields.h"

// One set of rules serves two comparisons. The wildcard comparison (value_compare) lets a
// 255 in a date or time equal anything and answers -1 for anything it cannot order; that
// makes it right for "does this match" and wrong for sorting. The strict comparison
// (value_order) walks the same fields in the same order but takes every byte literally,
// orders tags, missing parts and NaN, and so is a total order fit for std::sort.

namespace {

enum class Mode { wildcard, strict };

template <class T>
int three_way(T a, T b)
{
  return a < b ? -1 : (b < a ? 1 : 0);
}

int as_signed(uint32_t a, uint32_t b)
{
  return three_way(static_cast<int32_t>(a), static_cast<int32_t>(b));
}

// Answer for a pair the wildcard comparison has no rule for.
int no_rule(Mode mode)
{
  return mode == Mode::wildcard ? -1 : 0;
}

// Missing parts: the wildcard comparison gives up, the strict one puts missing first.
// Returns 2 when both parts are present and the caller goes on.
constexpr int kBothPresent = 2;
int presence(const void* a, const void* b, Mode mode)
{
  if (a && b)
    return kBothPresent;
  if (mode == Mode::wildcard)
    return -1;
  return three_way(a != nullptr, b != nullptr);
}

template <class T>
int compare_float(T a, T b, Mode mode)
{
  if (mode == Mode::strict) {
    bool na = std::isnan(a);
    bool nb = std::isnan(b);
    if (na || nb)
      return three_way(na, nb);
  }
  return three_way(a, b);
}

int compare_field(uint8_t a, uint8_t b, Mode mode)
{
  if (mode == Mode::wildcard && (a == VALUE_ANY || b == VALUE_ANY))
    return 0;
  return three_way(a, b);
}

int compare_date(const BACnetDate& a, const BACnetDate& b, Mode mode)
{
  if (int r = compare_field(a.year, b.year, mode))
    return r;
  if (int r = compare_field(a.month, b.month, mode))
    return r;
  return compare_field(a.day, b.day, mode);
}

int compare_time(const BACnetTime& a, const BACnetTime& b, Mode mode)
{
  if (int r = compare_field(a.hour, b.hour, mode))
    return r;
  if (int r = compare_field(a.minute, b.minute, mode))
    return r;
  if (int r = compare_field(a.second, b.second, mode))
    return r;
  return compare_field(a.hundredths, b.hundredths, mode);
}

int compare_datetime(const BACnetDateTime& a, const BACnetDateTime& b, Mode mode)
{
  if (int r = compare_date(a.date, b.date, mode))
    return r;
  return compare_time(a.time, b.time, mode);
}

int compare_object_id(const BACnetObjectId& a, const BACnetObjectId& b)
{
  if (int r = as_signed(a.type, b.type))
    return r;
  return as_signed(a.instance, b.instance);
}

int compare_octets(const OctetString& a, const OctetString& b)
{
  uint32_t la = a.data ? a.length : 0;
  uint32_t lb = b.data ? b.length : 0;
  if (int r = three_way(la, lb))
    return r;
  if (la == 0)
    return 0;
  int r = std::memcmp(a.data, b.data, la);
  return three_way(r, 0);
}

// Bit count first, then the bit bytes. The shorter storage ends the walk (a longer one is
// larger when all shared slots are equal), so neither side is read past its end.
int compare_bits(const BitString& a, const BitString& b)
{
  if (int r = three_way(a.count, b.count))
    return r;
  uint32_t ca = a.bits ? a.capacity : 0;
  uint32_t cb = b.bits ? b.capacity : 0;
  uint32_t shared = ca < cb ? ca : cb;
  for (uint32_t i = 0; i < shared; ++i)
    if (int r = three_way(a.bits[i], b.bits[i]))
      return r;
  return three_way(ca, cb);
}

int compare_text(const char* a, const char* b, Mode mode)
{
  if (!a || !b)
    return mode == Mode::wildcard ? -1 : three_way(a != nullptr, b != nullptr);
  return three_way(std::strcmp(a, b), 0);  // strcmp orders the bytes as unsigned
}

int days_in_month(int year, int month)
{
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12)
    return 31;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// The pattern a against b; the week-6 test needs the full date when there is one.
int weeknday_rule(const BACnetWeekNDay& a, const BACnetWeekNDay& b, const BACnetDate* date)
{
  if (a.month < 13) {
    if (a.month != b.month)
      return -1;
  } else if (a.month == 13) {
    if (b.month % 2 == 0)
      return -1;
  } else if (a.month == 14) {
    if (b.month % 2 != 0)
      return -1;
  }
  if (a.week < 6) {
    if (a.week != b.week)
      return -1;
  } else if (a.week == 6) {
    if (date) {
      int length = days_in_month(1900 + date->year, date->month);
      if (date->day <= length - 7)
        return -1;
    } else if (b.week != 6) {
      return -1;
    }
  }
  if (a.weekday <= 7 && a.weekday != b.weekday)
    return -1;
  return 0;
}

int compare_value(const BACnetValue* a, const BACnetValue* b, Mode mode);

// ---- Fields, by type ---------------------------------------------------------------------

// A word that a rule orders as signed.
struct Signed {
  uint32_t word;
};

template <class T>
int rule(const T& a, const T& b, Mode mode);

template <class T>
int order(const T& a, const T& b, Mode mode)
{
  if constexpr (std::is_same_v<T, float>)
    return compare_float(a, b, mode);
  else if constexpr (std::is_same_v<T, BACnetDate>)
    return compare_date(a, b, mode);
  else if constexpr (std::is_same_v<T, BACnetTime>)
    return compare_time(a, b, mode);
  else if constexpr (std::is_same_v<T, BACnetObjectId>)
    return compare_object_id(a, b);
  else if constexpr (std::is_same_v<T, OctetString>)
    return compare_octets(a, b);
  else if constexpr (std::is_same_v<T, BitString>)
    return compare_bits(a, b);
  else if constexpr (std::is_same_v<T, BACnetValue>)
    return compare_value(&a, &b, mode);
  else if constexpr (std::is_same_v<T, Signed>)
    return as_signed(a.word, b.word);
  else if constexpr (DescribedRecord<T>)
    return rule(a, b, mode);
  else
    return three_way(a, b);
}

// The keys a rule picks from a record: fields by reference, words a rule makes (Signed{...})
// by value. A tuple of copies would copy nested records, values and all, on every comparison.
template <class... K>
std::tuple<K...> key_refs(K&&... keys)
{
  return std::tuple<K...>(std::forward<K>(keys)...);
}

// The first difference between the keys `key` picks from a and from b, in its order.
template <class R, class Key>
int keys(const R& a, const R& b, Mode mode, Key key)
{
  return std::apply(
      [&](const auto&... ka) {
        return std::apply(
            [&](const auto&... kb) {
              int r = 0;
              ((r = r ? r : order(ka, kb, mode)), ...);
              return r;
            },
            key(b));
      },
      key(a));
}

// The fields of a's alternative in the order of the description; the first difference
// decides, and a choice that holds no alternative the record knows has no order.
class CompareFields : public FieldVisitor<CompareFields> {
public:
  CompareFields(const void* a, const void* b, Mode mode)
      : a_(static_cast<const char*>(a)), b_(static_cast<const char*>(b)), mode_(mode)
  {
  }

  template <class T>
  void visit(const char*, Role role, T& f)
  {
    if (result_)
      return;
    result_ = order(f, peer(f), mode_);
    choice_.met(role);
  }
  template <class C>
  bool holds(C& choice, int n)
  {
    return choice_.holds(choice, n);
  }
  int result() const { return result_ ? result_ : (choice_.known() ? 0 : no_rule(mode_)); }

private:
  template <class T>
  const T& peer(const T& f) const
  {
    return *reinterpret_cast<const T*>(b_ + (reinterpret_cast<const char*>(&f) - a_));
  }

  const char* a_;
  const char* b_;
  Mode mode_;
  int result_ = 0;
  HeldChoice choice_;
};

// ---- Rules of the constructed tags -------------------------------------------------------

// Records whose rule is their description.
template <class T>
int rule(const T& a, const T& b, Mode mode)
{
  CompareFields v(&a, &b, mode);
  fields(v, const_cast<T&>(a));
  return v.result();
}

// Records whose rule picks and orders its own keys, or reads them its own way.
template <>
int rule(const BACnetWeekNDay& a, const BACnetWeekNDay& b, Mode mode)
{
  if (mode == Mode::wildcard)
    return weeknday_rule(a, b, nullptr);
  return keys(a, b, mode, [](auto& r) { return key_refs(r.month, r.week, r.weekday); });
}
template <>
int rule(const BACnetCalendarEntry& a, const BACnetCalendarEntry& b, Mode mode)
{
  if (int r = as_signed(a.choice, b.choice))
    return r;
  switch (a.choice) {
  case 0: return compare_date(a.date, b.date, mode);
  case 1: return rule(a.range, b.range, mode);
  case 2: return rule(a.weeknday, b.weeknday, mode);
  default: return no_rule(mode);
  }
}
template <>
int rule(const BACnetTimeValue& a, const BACnetTimeValue& b, Mode m)
{
  return keys(a, b, m, [](auto& r) { return key_refs(r.time); });
}
template <>
int rule(const BACnetTimeStamp& a, const BACnetTimeStamp& b, Mode m)
{
  if (int r = as_signed(a.choice, b.choice))
    return r;
  switch (a.choice) {
  case 0: return compare_time(a.time, b.time, m);
  case 1: return three_way(a.sequence, b.sequence);
  case 2: return rule(a.datetime, b.datetime, m);
  default: return no_rule(m);
  }
}
template <>
int rule(const BACnetActionCommand& a, const BACnetActionCommand& b, Mode m)
{
  return keys(a, b, m, [](auto& r) { return key_refs(r.device, r.object, Signed{r.property}); });
}
template <>
int rule(const BACnetRecipientProcess& a, const BACnetRecipientProcess& b, Mode m)
{
  return keys(a, b, m, [](auto& r) { return key_refs(uint8_t(r.not_empty), r.process_id, r.recipient); });
}
template <>
int rule(const BACnetAddressBinding& a, const BACnetAddressBinding& b, Mode m)
{
  return keys(a, b, m, [](auto& r) { return key_refs(Signed{r.device.instance}); });
}
template <>
int rule(const BACnetObjectPropertyReference& a, const BACnetObjectPropertyReference& b, Mode m)
{
  return keys(a, b, m, [](auto& r) { return key_refs(r.object, Signed{r.property}, r.array_index); });
}
template <>
int rule(const BACnetDeviceObjectPropertyReference& a, const BACnetDeviceObjectPropertyReference& b, Mode m)
{
  return keys(a, b, m, [](auto& r) { return key_refs(r.device, r.object, Signed{r.property}); });
}
template <>
int rule(const BACnetLogRecord& a, const BACnetLogRecord& b, Mode m)
{
  return keys(a, b, m, [](auto& r) { return key_refs(r.timestamp); });
}
template <>
int rule(const BACnetDestination& a, const BACnetDestination& b, Mode m)
{
  return keys(a, b, m, [](auto& r) { return key_refs(r.recipient, r.process_id); });
}
template <>
int rule(const BACnetSpecialEvent& a, const BACnetSpecialEvent& b, Mode m)
{
  if (m == Mode::strict)
    if (int r = three_way(a.period_choice, b.period_choice))
      return r;
  if (a.period_choice == 0)
    return rule(a.calendar_entry, b.calendar_entry, m);
  if (a.period_choice == 1)
    return compare_object_id(a.calendar_reference, b.calendar_reference);
  return no_rule(m);
}
template <>
int rule(const BACnetPropertyValue& a, const BACnetPropertyValue& b, Mode m)
{
  return keys(a, b, m, [](auto& r) { return key_refs(r.priority, r.array_index, r.property, r.value); });
}
// The two words as eight bytes in memory order.
template <>
int rule(const BACnetPropertyStates& a, const BACnetPropertyStates& b, Mode)
{
  unsigned char ba[8];
  unsigned char bb[8];
  std::memcpy(ba, &a.choice, 4);
  std::memcpy(ba + 4, &a.value, 4);
  std::memcpy(bb, &b.choice, 4);
  std::memcpy(bb + 4, &b.value, 4);
  return three_way(std::memcmp(ba, bb, 8), 0);
}
template <>
int rule(const BACnetEventParameter& a, const BACnetEventParameter& b, Mode m)
{
  if (int r = three_way(a.choice, b.choice))
    return r;
  switch (a.choice) {
  case 0: return keys(a, b, m, [](auto& r) { return key_refs(r.bitmask, r.time_delay, r.values); });
  case 1: return keys(a, b, m, [](auto& r) { return key_refs(r.time_delay, r.values); });
  case 2:
    if (int r = keys(a, b, m, [](auto& r) { return key_refs(r.increment_choice, r.time_delay); }))
      return r;
    return a.increment_choice == 0 ? compare_bits(a.bitmask, b.bitmask) : compare_float(a.increment, b.increment, m);
  case 3: return rule(a.reference, b.reference, m);
  case 4: return keys(a, b, m, [](auto& r) { return key_refs(r.low_limit, r.high_limit, r.deadband, r.reference); });
  case 5: return keys(a, b, m, [](auto& r) { return key_refs(r.low_limit, r.high_limit, r.deadband); });
  default: return no_rule(m);
  }
}
template <>
int rule(const BACnetNotificationParameters& a, const BACnetNotificationParameters& b, Mode m)
{
  if (int r = three_way(a.choice, b.choice))
    return r;
  switch (a.choice) {
  case 0: return compare_bits(a.bits, b.bits);
  case 1: return rule(a.new_state, b.new_state, m);
  case 2: {
    int r = three_way(a.changed_choice, b.changed_choice);
    if (!r)
      r = a.changed_choice == 0 ? compare_bits(a.bits, b.bits) : compare_float(a.changed_value, b.changed_value, m);
    return r ? r : compare_bits(a.status_flags, b.status_flags);
  }
  case 3: return keys(a, b, m, [](auto& r) { return key_refs(r.command_value, r.feedback_value); });
  case 4:
  case 5: return keys(a, b, m, [](auto& r) { return key_refs(r.reals[0], r.reals[1], r.reals[2], r.status_flags); });
  case 6: return compare_value(&a.property_values, &b.property_values, m);
  case 10:
    return keys(a, b, m,
                [](auto& r) { return key_refs(r.buffer_property, r.previous_notification, r.current_notification); });
  default: return no_rule(m);
  }
}
// The default increment orders by the word that would hold the REAL.
template <>
int rule(const BACnetCOVIncrement& a, const BACnetCOVIncrement& b, Mode m)
{
  if (int r = three_way(a.choice, b.choice))
    return r;
  if (a.choice == 0)
    return compare_float(a.real, b.real, m);
  uint32_t wa;
  uint32_t wb;
  std::memcpy(&wa, &a.real, 4);
  std::memcpy(&wb, &b.real, 4);
  return three_way(wa, wb);
}
template <>
int rule(const BACnetObjectPropertyValue& a, const BACnetObjectPropertyValue& b, Mode m)
{
  return keys(a, b, m, [](auto& r) { return key_refs(r.object, Signed{r.property}, r.array_index); });
}
template <>
int rule(const TaggedData& a, const TaggedData& b, Mode m)
{
  return keys(a, b, m, [](auto& r) { return key_refs(uint32_t(r.tag_number), r.value); });
}

template <class R>
int record_rule(const BACnetValue* a, const BACnetValue* b, Mode mode)
{
  const auto* ra = static_cast<const R*>(a->payload.record);
  const auto* rb = static_cast<const R*>(b->payload.record);
  int p = presence(ra, rb, mode);
  if (p != kBothPresent)
    return p;
  return rule(*ra, *rb, mode);
}

int list_rule(const BACnetValue* a, const BACnetValue* b, Mode mode)
{
  const BACnetValueArray* la = a->payload.array;
  const BACnetValueArray* lb = b->payload.array;
  int p = presence(la, lb, mode);
  if (p != kBothPresent)
    return p;
  if (int r = three_way(la->used, lb->used))
    return r;
  for (uint32_t i = 0; i < la->used; ++i)
    if (int r = compare_value(&la->elements[i], &lb->elements[i], mode))
      return r;
  return 0;
}

int primitive_rule(const BACnetValue& a, const BACnetValue& b, Mode m)
{
  const BACnetValue::Payload& pa = a.payload;
  const BACnetValue::Payload& pb = b.payload;
  switch (a.tag) {
  case TAG_BOOLEAN: return order(pa.boolean, pb.boolean, m);
  case TAG_UNSIGNED:
  case TAG_ENUMERATED: return order(pa.unsigned_value, pb.unsigned_value, m);
  case TAG_SIGNED: return order(pa.signed_value, pb.signed_value, m);
  case TAG_REAL: return order(pa.real, pb.real, m);
  case TAG_DOUBLE: return compare_float(pa.double_value, pb.double_value, m);
  case TAG_OCTET_STRING: return order(pa.octets, pb.octets, m);
  case TAG_CHARACTER_STRING: return compare_text(pa.text, pb.text, m);
  case TAG_BIT_STRING: return order(pa.bits, pb.bits, m);
  case TAG_DATE: return order(pa.date, pb.date, m);
  case TAG_TIME: return order(pa.time, pb.time, m);
  case TAG_OBJECT_ID: return order(pa.object_id, pb.object_id, m);
  default: return 0;  // NULL
  }
}

// Tags above this have no order, and neither have a few records below it.
constexpr uint32_t kLastRuleTag = 98;
constexpr bool ordered_record(uint32_t tag)
{
  return tag <= kLastRuleTag && tag != TAG_SESSION_KEY &&
         !(tag >= TAG_READ_ACCESS_SPECIFICATION && tag <= TAG_PROPERTY_REFERENCE);
}

int compare_value(const BACnetValue* a, const BACnetValue* b, Mode mode)
{
  if (mode == Mode::wildcard) {
    if (!a)
      return 1;
    if (!b || a->tag != b->tag)
      return -1;
  } else {
    if (!a || !b)
      return three_way(a != nullptr, b != nullptr);
    if (int r = three_way(a->tag, b->tag))
      return r;
  }
  uint32_t tag = a->tag;
  if (value_tag_is_primitive(tag))
    return primitive_rule(*a, *b, mode);
  if (tag > kLastRuleTag)
    return no_rule(mode);
  if (value_tag_is_list(tag))
    return list_rule(a, b, mode);
  int r = no_rule(mode);
  with_record_type(tag, [&]<class R>(std::type_identity<R>) {
    if constexpr (ordered_record(R::kTag))
      r = record_rule<R>(a, b, mode);
  });
  return r;
}

}  // namespace

int value_compare(const BACnetValue* a, const BACnetValue* b)
{
  return compare_value(a, b, Mode::wildcard);
}

int value_order(const BACnetValue* a, const BACnetValue* b)
{
  return compare_value(a, b, Mode::strict);
}

bool value_less(const BACnetValue& a, const BACnetValue& b)
{
  return compare_value(&a, &b, Mode::strict) < 0;
}

int value_compare_date(const BACnetDate* a, const BACnetDate* b)
{
  return a && b ? compare_date(*a, *b, Mode::wildcard) : -1;
}

int value_compare_time(const BACnetTime* a, const BACnetTime* b)
{
  return a && b ? compare_time(*a, *b, Mode::wildcard) : -1;
}

int value_compare_datetime(const BACnetDateTime* a, const BACnetDateTime* b)
{
  return a && b ? compare_datetime(*a, *b, Mode::wildcard) : -1;
}

int weeknday_matches_date(const BACnetWeekNDay* pattern, const BACnetDate* date)
{
  if (!pattern || !date)
    return -1;
  BACnetWeekNDay day{};
  day.month = date->month;
  day.week = static_cast<uint8_t>((date->day - 1) / 7 + 1);
  day.weekday = date->weekday;
  return weeknday_rule(*pattern, day, date);
}

// ---- Matching ----------------------------------------------------------------------------

namespace {

bool same_day(const BACnetDate& a, const BACnetDate& b)
{
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

bool same_time(const BACnetTime& a, const BACnetTime& b)
{
  return std::memcmp(&a, &b, sizeof a) == 0;
}

bool same_weeknday(const BACnetWeekNDay& a, const BACnetWeekNDay& b)
{
  return a.month == b.month && a.week == b.week && a.weekday == b.weekday;
}

bool same_recipient(const BACnetRecipient& a, const BACnetRecipient& b)
{
  if (a.choice != b.choice)
    return false;
  if (a.choice == 0)
    return a.device.type == b.device.type && a.device.instance == b.device.instance;
  if (a.choice == 1)
    return a.address.network == b.address.network && compare_octets(a.address.mac, b.address.mac) == 0;
  return false;
}

template <class R, class Match>
int match_records(const BACnetValue* a, const BACnetValue* b, Match match)
{
  const auto* ra = static_cast<const R*>(a->payload.record);
  const auto* rb = static_cast<const R*>(b->payload.record);
  return ra && rb && match(*ra, *rb) ? 1 : 0;
}

}  // namespace

int value_matches_condition(const BACnetValue* a, const BACnetValue* b)
{
  if (!a || !b || a->tag != b->tag)
    return 0;
  const BACnetValue::Payload& pa = a->payload;
  const BACnetValue::Payload& pb = b->payload;
  switch (a->tag) {
  case TAG_NULL:
    return 1;
  case TAG_UNSIGNED:
  case TAG_SIGNED:
  case TAG_ENUMERATED:
    return pa.unsigned_value == pb.unsigned_value;
  case TAG_BOOLEAN:
    return pa.boolean == pb.boolean;
  case TAG_REAL:
    return pa.real == pb.real;  // false for NaN
  case TAG_DOUBLE:
    return pa.double_value == pb.double_value;
  case TAG_DATE:
    return same_day(pa.date, pb.date);
  case TAG_TIME:
    return same_time(pa.time, pb.time);
  case TAG_OBJECT_ID:
    return pa.object_id.type == pb.object_id.type && pa.object_id.instance == pb.object_id.instance;
  case TAG_DATETIME:
    return match_records<BACnetDateTime>(a, b, [](const BACnetDateTime& x, const BACnetDateTime& y) {
      return same_day(x.date, y.date) && same_time(x.time, y.time);
    });
  case TAG_CALENDAR_ENTRY:
    return match_records<BACnetCalendarEntry>(a, b, [](const BACnetCalendarEntry& x, const BACnetCalendarEntry& y) {
      return same_day(x.date, y.date) && same_day(x.range.start, y.range.start) &&
             same_day(x.range.end, y.range.end) && same_weeknday(x.weeknday, y.weeknday);
    });
  case TAG_DATE_RANGE:
    return match_records<BACnetDateRange>(a, b, [](const BACnetDateRange& x, const BACnetDateRange& y) {
      return same_day(x.start, y.start) && same_day(x.end, y.end);
    });
  case TAG_WEEKNDAY:
    return match_records<BACnetWeekNDay>(a, b, same_weeknday);
  case TAG_DESTINATION:
    return match_records<BACnetDestination>(a, b, [](const BACnetDestination& x, const BACnetDestination& y) {
      return same_recipient(x.recipient, y.recipient) && x.process_id == y.process_id;
    });
  case TAG_SPECIAL_EVENT:
    return match_records<BACnetSpecialEvent>(a, b, [](const BACnetSpecialEvent& x, const BACnetSpecialEvent& y) {
      return x.period_choice == y.period_choice;
    });
  default:
    break;
  }
  uint32_t t = a->tag;
  bool never = (t >= 6 && t <= 8) || t == 21 || (t >= 26 && t <= 30 && t != 27) || t == 32 || t == 33 ||
               t == 36 || (t >= 38 && t <= 44) || t == 46 || t == 48 || t == 49 || (t >= 51 && t <= 58) ||
               (t >= 60 && t <= 65) || (t >= 67 && t <= 98);
  return never ? 0 : 1;
}

int value_matches_property_states(const BACnetValue* reference, const BACnetValue* monitored,
                                  BACnetPropertyStates* state)
{
  if (!reference || !monitored)
    return 0;
  if (reference->tag == TAG_PROPERTY_STATES_LIST) {
    const BACnetValueArray* list = reference->payload.array;
    if (!list)
      return 0;
    for (uint32_t i = 0; i < list->used; ++i)
      if (value_matches_property_states(&list->elements[i], monitored, state) == 1)
        return 1;
    return 0;
  }
  const auto* element = value_record<BACnetPropertyStates>(reference);
  if (!element)
    return 0;
  BACnetPropertyStates scratch{};
  BACnetPropertyStates& out = state ? *state : scratch;
  out.choice = element->choice;
  uint32_t needed;
  if (element->choice == 0)
    needed = TAG_BOOLEAN;
  else if (element->choice <= 10)
    needed = TAG_ENUMERATED;
  else if (element->choice == 11)
    needed = TAG_UNSIGNED;
  else
    return 0;
  if (monitored->tag != needed)
    return 0;
  out.value = needed == TAG_BOOLEAN ? monitored->payload.boolean : monitored->payload.unsigned_value;
  return out.value == element->value ? 1 : 0;
}
