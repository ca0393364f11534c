#include "value_samples.h"

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <type_traits>

#include "bacnet/value/value_fields.h"
#include "bacnet/value/value_memory.h"

namespace valuetest {

namespace {

void add_bits(BitString& b, std::initializer_list<uint8_t> bits)
{
  for (uint8_t bit : bits)
    bitstring_append_bit(&b, bit);
}

void add_octets(OctetString& s, std::initializer_list<uint8_t> octets)
{
  std::vector<uint8_t> v(octets);
  octetstring_set(&s, v.data(), static_cast<uint32_t>(v.size()));
}

void set_address(BACnetAddressValue& a, int variant)
{
  a.network = 1000 + variant;
  add_octets(a.mac, {10, 0, 0, static_cast<uint8_t>(variant + 1), 0xBA, 0xC0});
}

BACnetValue list_of(uint32_t list_tag, std::vector<BACnetValue> elements)
{
  BACnetValue list{};
  value_init(&list, list_tag);
  for (BACnetValue& e : elements)
    value_array_append(list.payload.array, &e);
  return list;
}

template <class R>
R& rec(BACnetValue& v)
{
  return *static_cast<R*>(v.payload.record);
}

void fill(BACnetValue& v, int k)
{
  uint8_t b = static_cast<uint8_t>(k);
  switch (v.tag) {
  case TAG_NULL:
    return;
  case TAG_BOOLEAN:
    v.payload.boolean = k & 1;
    return;
  case TAG_UNSIGNED:
  case TAG_ENUMERATED:
    v.payload.unsigned_value = 4000000000u + k;
    return;
  case TAG_SIGNED:
    v.payload.signed_value = -5 - k;
    return;
  case TAG_REAL:
    v.payload.real = 21.5f + k;
    return;
  case TAG_DOUBLE:
    v.payload.double_value = -1.25e10 + k;
    return;
  case TAG_OCTET_STRING:
    add_octets(v.payload.octets, {1, 2, 3, b});
    return;
  case TAG_CHARACTER_STRING:
    v.payload.text = value_mem_strdup(k ? "Fühler Süd" : "Raum 101");
    return;
  case TAG_BIT_STRING:
    add_bits(v.payload.bits, {1, 0, 1, static_cast<uint8_t>(k & 1)});
    return;
  case TAG_DATE:
    v.payload.date = {124, 2, static_cast<uint8_t>(20 + k), 2};
    return;
  case TAG_TIME:
    v.payload.time = {12, static_cast<uint8_t>(30 + k), 15, 50};
    return;
  case TAG_OBJECT_ID:
    v.payload.object_id = {2, 17u + k};
    return;
  default:
    break;
  }
  if (!v.payload.record)
    return;
  switch (v.tag) {
  case TAG_ADDRESS:
    set_address(rec<BACnetAddressValue>(v), k);
    break;
  case TAG_DATETIME:
    rec<BACnetDateTime>(v) = {{124, 1, 31, 3}, {12, 0, b, 50}};
    break;
  case TAG_CALENDAR_ENTRY: {
    auto& r = rec<BACnetCalendarEntry>(v);
    r.choice = 1;
    r.date = {124, 5, 1, 255};
    r.range = {{124, 6, 1, 255}, {124, 6, static_cast<uint8_t>(10 + k), 255}};
    r.weeknday = {255, 6, 7};
    break;
  }
  case TAG_DATE_RANGE:
    rec<BACnetDateRange>(v) = {{124, 1, 1, 255}, {124, 12, static_cast<uint8_t>(30 - k), 255}};
    break;
  case TAG_WEEKNDAY:
    rec<BACnetWeekNDay>(v) = {13, 2, static_cast<uint8_t>(1 + k)};
    break;
  case TAG_TIME_VALUE: {
    auto& r = rec<BACnetTimeValue>(v);
    r.time = {7, 30, 0, 0};
    r.value = text_value(k ? "aus" : "ein");
    break;
  }
  case TAG_TIMESTAMP: {
    auto& r = rec<BACnetTimeStamp>(v);
    r.choice = 2;
    r.datetime = {{124, 3, 4, 1}, {5, 6, 7, b}};
    break;
  }
  case TAG_ACTION_COMMAND: {
    auto& r = rec<BACnetActionCommand>(v);
    r.device = {8, 100};
    r.object = {1, 3u + k};
    r.property = 85;
    r.array_index = 2;
    r.value = text_value("Sollwert");
    r.priority = 8;
    r.post_delay = 30;
    r.quit_on_failure = 1;
    r.write_successful = 1;
    break;
  }
  case TAG_SESSION_KEY: {
    auto& r = rec<BACnetSessionKey>(v);
    add_octets(r.key, {0xDE, 0xAD, b});
    set_address(r.peer, k);
    break;
  }
  case TAG_RECIPIENT: {
    auto& r = rec<BACnetRecipient>(v);
    r.choice = 1;
    set_address(r.address, k);
    break;
  }
  case TAG_ADDRESS_BINDING: {
    auto& r = rec<BACnetAddressBinding>(v);
    r.device = {8, 1234u + k};
    set_address(r.address, k);
    break;
  }
  case TAG_OBJECT_PROPERTY_REFERENCE:
    rec<BACnetObjectPropertyReference>(v) = {{0, 5u + k}, 85, 3};
    break;
  case TAG_DEVICE_OBJECT_PROPERTY_REFERENCE:
    rec<BACnetDeviceObjectPropertyReference>(v) = {{0, 5u + k}, 85, -1, {8, 99}};
    break;
  case TAG_LOG_RECORD: {
    auto& r = rec<BACnetLogRecord>(v);
    r.timestamp = {{124, 4, 5, 5}, {23, 59, 59, b}};
    r.choice = 10;
    r.any = real_value(3.5f + k);
    add_bits(r.status_flags, {0, 1, 0, 0});
    break;
  }
  case TAG_READ_ACCESS_SPECIFICATION: {
    auto& r = rec<ReadAccessSpecification>(v);
    r.object = {2, 1u + k};
    for (uint32_t i = 0; i < 20; ++i) {
      BACnetPropertyReference ref{75 + i, static_cast<int32_t>(i) - 1};
      inline_list_add(&r.references, &ref);
    }
    break;
  }
  case TAG_WRITE_ACCESS_SPECIFICATION: {
    auto& r = rec<WriteAccessSpecification>(v);
    r.object = {2, 1u + k};
    r.properties = make_sample(TAG_PROPERTY_VALUE, k);
    break;
  }
  case TAG_ALARM_SUMMARY: {
    auto& r = rec<AlarmSummaryEntry>(v);
    r.object = {0, 7u + k};
    r.alarm_state = 3;
    add_bits(r.acked_transitions, {1, 0, 1});
    break;
  }
  case TAG_ENROLLMENT_SUMMARY:
    rec<EnrollmentSummaryEntry>(v) = {{0, 7u + k}, 5, 1, 100, 4};
    break;
  case TAG_READ_ACCESS_RESULT: {
    auto& r = rec<ReadAccessResult>(v);
    r.object = {3, 9u + k};
    for (uint32_t i = 0; i < 18; ++i) {
      ReadAccessResultElement e{};
      e.property = 85 + i;
      e.array_index = -1;
      e.choice = i % 3 == 2 ? 1 : 0;
      if (e.choice == 0)
        e.value = text_value(i % 2 ? "ungerade" : "gerade");
      else
        e.error_class = 2, e.error_code = 32;
      inline_list_add(&r.results, &e);
    }
    break;
  }
  case TAG_READ_ACCESS_RESULT_ELEMENT: {
    auto& r = rec<ReadAccessResultElement>(v);
    r.property = 77;
    r.choice = 0;
    r.value = text_value(k ? "B" : "A");
    break;
  }
  case TAG_PROPERTY_REFERENCE:
    rec<BACnetPropertyReference>(v) = {85u + k, 4};
    break;
  case TAG_DESTINATION: {
    auto& r = rec<BACnetDestination>(v);
    add_bits(r.valid_days, {1, 1, 1, 1, 1, 0, 0});
    r.from = {6, 0, 0, 0};
    r.to = {18, 0, 0, 0};
    r.recipient.choice = 1;
    set_address(r.recipient.address, k);
    r.process_id = 42u + k;
    r.issue_confirmed = 1;
    add_bits(r.transitions, {1, 1, 0});
    r.lifetime = 3600;
    r.stamp = 1700000000;
    break;
  }
  case TAG_DAILY_SCHEDULE: {
    auto& r = rec<BACnetDailySchedule>(v);
    r.day_schedule = list_of(TAG_TIME_VALUE_LIST, {make_sample(TAG_TIME_VALUE, k), make_sample(TAG_TIME_VALUE, 1)});
    break;
  }
  case TAG_SPECIAL_EVENT: {
    auto& r = rec<BACnetSpecialEvent>(v);
    r.period_choice = 0;
    r.calendar_entry = {};
    r.calendar_entry.choice = 0;
    r.calendar_entry.date = {124, 12, static_cast<uint8_t>(24 + k), 255};
    r.time_values = list_of(TAG_TIME_VALUE_LIST, {make_sample(TAG_TIME_VALUE, k)});
    r.priority = 16;
    break;
  }
  case TAG_PRIORITY_VALUE: {
    auto& r = rec<BACnetPriorityValue>(v);
    r.choice = 4;
    r.value = make_sample(TAG_DATETIME, k);
    break;
  }
  case TAG_PROPERTY_VALUE: {
    auto& r = rec<BACnetPropertyValue>(v);
    r.property = 85;
    r.array_index = -1;
    r.value = text_value(k ? "zwei" : "eins");
    r.priority = 9;
    break;
  }
  case TAG_PROPERTY_STATES:
    rec<BACnetPropertyStates>(v) = {1, 1u + k};
    break;
  case TAG_EVENT_PARAMETER: {
    auto& r = rec<BACnetEventParameter>(v);
    r.choice = 0;
    r.time_delay = 10u + k;
    add_bits(r.bitmask, {1, 1, 0, 1});
    r.values = list_of(TAG_BIT_STRING_LIST, {make_sample(TAG_BIT_STRING, k)});
    break;
  }
  case TAG_NOTIFICATION_PARAMETERS: {
    auto& r = rec<BACnetNotificationParameters>(v);
    r.choice = 3;
    add_bits(r.status_flags, {1, 0, 0, static_cast<uint8_t>(k & 1)});
    r.command_value = text_value("Befehl");
    r.feedback_value = make_sample(TAG_PROPERTY_VALUE, k);
    break;
  }
  case TAG_PROPERTY_CONDITION: {
    auto& r = rec<PropertyCondition>(v);
    r.property = 85;
    r.relation = 2;
    r.comparison = text_value(k ? "y" : "x");
    break;
  }
  case TAG_COV_INCREMENT:
    rec<BACnetCOVIncrement>(v) = {0, 0.5f + k};
    break;
  case TAG_OBJECT_PROPERTY_VALUE: {
    auto& r = rec<BACnetObjectPropertyValue>(v);
    r.object = {1, 2u + k};
    r.property = 85;
    r.array_index = 1;
    r.value = make_sample(TAG_OCTET_STRING, k);
    r.priority = 5;
    r.extra[0] = 7;
    r.extra[1] = 8;
    break;
  }
  case TAG_ANY_VALUE:
    rec<AnyValue>(v).value = make_sample(TAG_LOG_RECORD, k);
    break;
  case TAG_TAGGED_DATA: {
    auto& r = rec<TaggedData>(v);
    r.tag_number = 3;
    r.value = make_sample(TAG_OCTET_STRING, k);
    break;
  }
  case TAG_COV_SUBSCRIPTION: {
    auto& r = rec<CovSubscription>(v);
    r.recipient.not_empty = 1;
    r.recipient.recipient.choice = 1;
    set_address(r.recipient.recipient.address, k);
    r.recipient.process_id = 77;
    r.monitored = {{0, 1u + k}, 85, -1};
    r.issue_confirmed = 1;
    r.time_remaining = 300;
    r.cov_increment = 0.25f;
    break;
  }
  case TAG_EVENT_SUMMARY: {
    auto& r = rec<EventSummaryEntry>(v);
    r.object = {0, 11u + k};
    r.event_state = 2;
    add_bits(r.acked_transitions, {1, 1, 0});
    r.timestamps = list_of(TAG_TIMESTAMP_LIST, {make_sample(TAG_TIMESTAMP, k), make_sample(TAG_TIMESTAMP, 1)});
    r.notify_type = 0;
    add_bits(r.event_enable, {1, 0, 1});
    r.priorities = list_of(TAG_UNSIGNED_LIST, {unsigned_value(3), unsigned_value(200u + k)});
    break;
  }
  default:
    break;
  }
}

// A sample element for each list tag, by element tag or a fitting choice.
uint32_t sample_element_tag(uint32_t list_tag)
{
  if (uint32_t e = value_list_element_tag(list_tag); e && value_tag_is_creatable(e))
    return e;
  switch (list_tag) {
  case TAG_COV_SUBSCRIPTION_LIST:
    return TAG_COV_SUBSCRIPTION;
  case TAG_PROPERTY_VALUE_LIST:
    return TAG_PROPERTY_VALUE;
  case TAG_WRITE_ACCESS_SPECIFICATION_LIST:
    return TAG_WRITE_ACCESS_SPECIFICATION;
  case TAG_ALARM_SUMMARY_LIST:
    return TAG_ALARM_SUMMARY;
  case TAG_ENROLLMENT_SUMMARY_LIST:
    return TAG_ENROLLMENT_SUMMARY;
  case TAG_EVENT_SUMMARY_LIST:
    return TAG_EVENT_SUMMARY;
  default:
    return TAG_CHARACTER_STRING;
  }
}

std::string hex(const void* p, size_t n)
{
  std::ostringstream o;
  o << std::hex;
  for (size_t i = 0; i < n; ++i)
    o << int(static_cast<const uint8_t*>(p)[i]) << '.';
  return o.str();
}

std::string d(const OctetString& s)
{
  return "oct[" + std::to_string(s.length) + ":" + (s.data ? hex(s.data, s.length) : "-") + "]";
}
std::string d(const BitString& s)
{
  return "bits[" + std::to_string(s.capacity) + "/" + std::to_string(s.count) + ":" +
         (s.bits ? hex(s.bits, s.capacity) : "-") + "]";
}
std::string d(const BACnetObjectId& x) { return "O" + std::to_string(x.type) + ":" + std::to_string(x.instance); }

// Every field of every alternative of a record, by its description: its name and its bytes,
// or what it owns.
class Describe : public FieldVisitor<Describe, true> {
public:
  std::string text;

  template <class T>
  void visit(const char* name, Role, T& f)
  {
    text += std::string(name) + "=";
    if constexpr (std::is_same_v<T, OctetString> || std::is_same_v<T, BitString> || std::is_same_v<T, BACnetObjectId>) {
      text += d(f);
    } else if constexpr (std::is_same_v<T, BACnetValue>) {
      text += describe(f);
    } else if constexpr (kIsInlineList<T>) {
      text += "L" + std::to_string(f.count) + "{";
      for (uint32_t i = 0; i < f.count; ++i)
        visit("", Role::plain, *inline_list_get(&f, i));
      text += "}";
    } else if constexpr (DescribedRecord<T>) {
      text += "{";
      fields(*this, f);
      text += "}";
    } else {
      text += hex(&f, sizeof f);
    }
    text += ",";
  }
};

void blocks(const BACnetValue& v, std::set<const void*>& out);

// The heap blocks a record owns, in every alternative.
class Blocks : public FieldVisitor<Blocks, true> {
public:
  explicit Blocks(std::set<const void*>& out) : out_(out) {}

  template <class T>
  void visit(const char*, Role, T& f)
  {
    if constexpr (std::is_same_v<T, OctetString>) {
      add(f.data);
    } else if constexpr (std::is_same_v<T, BitString>) {
      add(f.bits);
    } else if constexpr (std::is_same_v<T, BACnetValue>) {
      blocks(f, out_);
    } else if constexpr (kIsInlineList<T>) {
      add(f.overflow);
      for (uint32_t i = 0; i < f.count; ++i)
        fields(*this, *inline_list_get(&f, i));
    } else if constexpr (DescribedRecord<T>) {
      fields(*this, f);
    }
  }

private:
  void add(const void* block)
  {
    if (block)
      out_.insert(block);
  }
  std::set<const void*>& out_;
};

// The description of the field of one name.
class FindField : public FieldVisitor<FindField, true> {
public:
  explicit FindField(const char* name) : name_(name) {}
  std::string text;

  template <class T>
  void visit(const char* field, Role role, T& f)
  {
    if (text.empty() && std::strcmp(field, name_) == 0) {
      Describe one;
      one.visit(field, role, f);
      text = one.text;
    }
  }

private:
  const char* name_;
};

std::string describe_record(const BACnetValue& v)
{
  std::string text = "?";
  with_record_type(v.tag, [&]<class R>(std::type_identity<R>) {
    Describe walk;
    fields(walk, *static_cast<R*>(v.payload.record));
    text = walk.text;
  });
  return text;
}

void blocks(const BACnetValue& v, std::set<const void*>& out)
{
  switch (v.tag) {
  case TAG_OCTET_STRING:
    if (v.payload.octets.data)
      out.insert(v.payload.octets.data);
    return;
  case TAG_CHARACTER_STRING:
    if (v.payload.text)
      out.insert(v.payload.text);
    return;
  case TAG_BIT_STRING:
    if (v.payload.bits.bits)
      out.insert(v.payload.bits.bits);
    return;
  default:
    break;
  }
  if (value_tag_is_list(v.tag) && v.payload.array) {
    out.insert(v.payload.array);
    if (v.payload.array->elements)
      out.insert(v.payload.array->elements);
    for (uint32_t i = 0; i < v.payload.array->used; ++i)
      blocks(v.payload.array->elements[i], out);
  } else if (value_tag_is_record(v.tag) && v.payload.record) {
    out.insert(v.payload.record);
    with_record_type(v.tag, [&]<class R>(std::type_identity<R>) {
      Blocks walk(out);
      fields(walk, *static_cast<R*>(v.payload.record));
    });
  }
}

}  // namespace

std::vector<uint32_t> creatable_tags()
{
  std::vector<uint32_t> tags;
  for (uint32_t t = 0; t < 200; ++t)
    if (value_tag_is_creatable(t))
      tags.push_back(t);
  return tags;
}

BACnetValue make_sample(uint32_t tag, int variant)
{
  BACnetValue v{};
  value_init(&v, tag);
  if (value_tag_is_list(tag)) {
    uint32_t e = sample_element_tag(tag);
    for (int i = 0; i < 3; ++i) {
      BACnetValue element = make_sample(e, (variant + i) % 2);
      value_array_append(v.payload.array, &element);
    }
    return v;
  }
  fill(v, variant);
  return v;
}

std::string describe(const BACnetValue& v)
{
  std::string s = "<" + std::to_string(v.tag) + ":";
  switch (v.tag) {
  case TAG_NULL:
    break;
  case TAG_BOOLEAN: s += std::to_string(v.payload.boolean); break;
  case TAG_UNSIGNED:
  case TAG_SIGNED:
  case TAG_ENUMERATED:
  case TAG_REAL: s += std::to_string(v.payload.unsigned_value); break;
  case TAG_DOUBLE:
    s += std::to_string(v.payload.double_value);
    break;
  case TAG_OCTET_STRING:
    s += d(v.payload.octets);
    break;
  case TAG_CHARACTER_STRING:
    s += v.payload.text ? std::string("'") + v.payload.text + "'" : std::string("(null)");
    break;
  case TAG_BIT_STRING:
    s += d(v.payload.bits);
    break;
  case TAG_DATE:
  case TAG_TIME: s += hex(&v.payload.date, 4); break;
  case TAG_OBJECT_ID:
    s += d(v.payload.object_id);
    break;
  default:
    if (value_tag_is_list(v.tag)) {
      const BACnetValueArray* a = v.payload.array;
      if (!a) {
        s += "no array";
        break;
      }
      s += "[" + std::to_string(a->used) + "]";
      for (uint32_t i = 0; i < a->used; ++i)
        s += describe(a->elements[i]);
    } else if (v.payload.record) {
      s += describe_record(v);
    } else {
      s += "no record";
    }
  }
  return s + ">";
}

std::string field_text(const BACnetValue& value, const char* name)
{
  std::string text;
  if (value_tag_is_record(value.tag) && value.payload.record)
    with_record_type(value.tag, [&]<class R>(std::type_identity<R>) {
      FindField find(name);
      fields(find, *static_cast<R*>(value.payload.record));
      text = find.text;
    });
  return text;
}

std::vector<FieldCase> field_cases()
{
  return {
      {"flag byte", TAG_ACTION_COMMAND, "QUITONFAILURE",
       [](BACnetValue& v) { rec<BACnetActionCommand>(v).quit_on_failure = 0; }},
      {"word", TAG_ADDRESS, "NETWORK", [](BACnetValue& v) { rec<BACnetAddressValue>(v).network = 65534; }},
      {"enumerated word", TAG_PROPERTY_REFERENCE, "PROPERTYIDENTIFIER",
       [](BACnetValue& v) { rec<BACnetPropertyReference>(v).property = 70000; }},
      {"optional word", TAG_ACTION_COMMAND, "PRIORITY",
       [](BACnetValue& v) { rec<BACnetActionCommand>(v).priority = 16; }},
      {"optional word left out", TAG_ACTION_COMMAND, "POSTDELAY",
       [](BACnetValue& v) { rec<BACnetActionCommand>(v).post_delay = 0; }},
      {"signed word", TAG_TAGGED_DATA, "TAG", [](BACnetValue& v) { rec<TaggedData>(v).tag_number = 14; }},
      {"array index", TAG_PROPERTY_REFERENCE, "ARRAYINDEX",
       [](BACnetValue& v) { rec<BACnetPropertyReference>(v).array_index = 300; }},
      {"array index left out", TAG_PROPERTY_REFERENCE, "ARRAYINDEX",
       [](BACnetValue& v) { rec<BACnetPropertyReference>(v).array_index = -1; }},
      {"REAL", TAG_PRIORITY_VALUE, "REAL",
       [](BACnetValue& v) {
         auto& r = rec<BACnetPriorityValue>(v);
         value_free(&r.value);
         r.choice = 1;
         r.real = -2.5f;
       }},
      // The XML form carries no day of week.
      {"date", TAG_DATE_RANGE, "ENDDATE",
       [](BACnetValue& v) {
         rec<BACnetDateRange>(v).end = {124, 2, 29, VALUE_ANY};
       }},
      {"time", TAG_TIME_VALUE, "TIME",
       [](BACnetValue& v) {
         rec<BACnetTimeValue>(v).time = {23, 59, 59, 99};
       }},
      {"object identifier", TAG_OBJECT_PROPERTY_REFERENCE, "OBJECTIDENTIFIER",
       [](BACnetValue& v) {
         rec<BACnetObjectPropertyReference>(v).object = {1023, 4194303};
       }},
      {"device", TAG_DEVICE_OBJECT_PROPERTY_REFERENCE, "DEVICEIDENTIFIER",
       [](BACnetValue& v) {
         rec<BACnetDeviceObjectPropertyReference>(v).device = {8, 4194302};
       }},
      {"device left out", TAG_DEVICE_OBJECT_PROPERTY_REFERENCE, "DEVICEIDENTIFIER",
       [](BACnetValue& v) {
         rec<BACnetDeviceObjectPropertyReference>(v).device = {999, 0};
       }},
      {"octets", TAG_ADDRESS, "MACADDRESS", [](BACnetValue& v) { add_octets(rec<BACnetAddressValue>(v).mac, {0xFF}); }},
      {"bits", TAG_DESTINATION, "TRANSITIONS",
       [](BACnetValue& v) {
         auto& r = rec<BACnetDestination>(v);
         bitstring_free(&r.transitions);
         add_bits(r.transitions, {0, 1, 0});
       }},
      {"value", TAG_TIME_VALUE, "VALUE",
       [](BACnetValue& v) {
         auto& r = rec<BACnetTimeValue>(v);
         value_free(&r.value);
         r.value = make_sample(TAG_OBJECT_ID, 1);
       }},
      {"record", TAG_DESTINATION, "RECIPIENT",
       [](BACnetValue& v) {
         auto& r = rec<BACnetDestination>(v);
         recipient_free(&r.recipient);
         r.recipient = {0, {8, 77}, {}};
       }},
      {"list", TAG_READ_ACCESS_SPECIFICATION, "PROPERTYREFERENCES",
       [](BACnetValue& v) { inline_list_get(&rec<ReadAccessSpecification>(v).references, 3)->array_index = 9; }},
      {"alternative: time", TAG_TIMESTAMP, "TIME",
       [](BACnetValue& v) {
         auto& r = rec<BACnetTimeStamp>(v);
         r = {};
         r.time = {1, 2, 3, 4};
       }},
      {"alternative: sequence number", TAG_TIMESTAMP, "SEQUENCENUMBER",
       [](BACnetValue& v) {
         auto& r = rec<BACnetTimeStamp>(v);
         r = {};
         r.choice = 1;
         r.sequence = 65536;
       }},
      {"alternative: address", TAG_RECIPIENT, "ADDRESS",
       [](BACnetValue& v) { add_octets(rec<BACnetRecipient>(v).address.mac, {7}); }},
      {"kept in memory only", TAG_DESTINATION, "STAMP", [](BACnetValue& v) { rec<BACnetDestination>(v).stamp = 1234; }},
  };
}

std::set<const void*> owned_blocks(const BACnetValue& value)
{
  std::set<const void*> out;
  blocks(value, out);
  return out;
}

BACnetValue unsigned_value(uint32_t n)
{
  BACnetValue v{};
  value_set_unsigned(&n, &v);
  return v;
}

BACnetValue real_value(float f)
{
  BACnetValue v{};
  value_set_real(&f, &v);
  return v;
}

BACnetValue text_value(const char* text)
{
  BACnetValue v{};
  value_set_charstring(text, &v);
  return v;
}

BACnetValue date_value(uint8_t year, uint8_t month, uint8_t day, uint8_t weekday)
{
  BACnetDate date{year, month, day, weekday};
  BACnetValue v{};
  value_set_date(&date, &v);
  return v;
}

BACnetValue time_value(uint8_t h, uint8_t m, uint8_t s, uint8_t hundredths)
{
  BACnetTime time{h, m, s, hundredths};
  BACnetValue v{};
  value_set_time(&time, &v);
  return v;
}

BitString bits_of(std::initializer_list<uint8_t> bits)
{
  BitString b{};
  add_bits(b, bits);
  return b;
}

}  // namespace valuetest
