#include "value_samples.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

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

std::string hex(const uint8_t* p, uint32_t n)
{
  std::ostringstream o;
  o << std::hex;
  for (uint32_t i = 0; i < n; ++i)
    o << int(p[i]) << '.';
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
std::string d(const BACnetDate& x) { return "D" + hex(&x.year, 4); }
std::string d(const BACnetTime& x) { return "T" + hex(&x.hour, 4); }
std::string d(const BACnetObjectId& x) { return "O" + std::to_string(x.type) + ":" + std::to_string(x.instance); }
std::string d(const BACnetAddressValue& a) { return "A" + std::to_string(a.network) + d(a.mac); }
std::string d(const BACnetDateTime& x) { return d(x.date) + d(x.time); }
std::string d(const BACnetRecipient& r)
{
  return "R" + std::to_string(r.choice) + d(r.device) + d(r.address);
}
std::string d(const BACnetDeviceObjectPropertyReference& r)
{
  return "DOPR" + d(r.object) + std::to_string(r.property) + "," + std::to_string(r.array_index) + d(r.device);
}
std::string w(uint32_t x) { return std::to_string(x) + ","; }
std::string f(float x) { return std::to_string(x) + ","; }

template <class List, class Entry>
std::string d_list(const List& l, std::string (*one)(const Entry&))
{
  std::string s = "L" + std::to_string(l.count) + "{";
  for (uint32_t i = 0; i < l.count; ++i)
    s += one(*inline_list_get(&l, i)) + ";";
  return s + "}";
}
std::string d_ref(const BACnetPropertyReference& r) { return w(r.property) + std::to_string(r.array_index); }
std::string d_element(const ReadAccessResultElement& e)
{
  return w(e.property) + w(e.array_index) + w(e.choice) + describe(e.value) + w(e.error_class) + w(e.error_code);
}

std::string describe_record(const BACnetValue& v)
{
  const void* p = v.payload.record;
  switch (v.tag) {
  case TAG_ADDRESS:
    return d(*static_cast<const BACnetAddressValue*>(p));
  case TAG_DATETIME:
    return d(*static_cast<const BACnetDateTime*>(p));
  case TAG_CALENDAR_ENTRY: {
    auto& r = *static_cast<const BACnetCalendarEntry*>(p);
    return w(r.choice) + d(r.date) + d(r.range.start) + d(r.range.end) + hex(&r.weeknday.month, 3);
  }
  case TAG_DATE_RANGE: {
    auto& r = *static_cast<const BACnetDateRange*>(p);
    return d(r.start) + d(r.end);
  }
  case TAG_WEEKNDAY:
    return hex(&static_cast<const BACnetWeekNDay*>(p)->month, 3);
  case TAG_TIME_VALUE: {
    auto& r = *static_cast<const BACnetTimeValue*>(p);
    return d(r.time) + describe(r.value);
  }
  case TAG_TIMESTAMP: {
    auto& r = *static_cast<const BACnetTimeStamp*>(p);
    return w(r.choice) + d(r.time) + w(r.sequence) + d(r.datetime);
  }
  case TAG_ACTION_COMMAND: {
    auto& r = *static_cast<const BACnetActionCommand*>(p);
    return d(r.device) + d(r.object) + w(r.property) + w(r.array_index) + describe(r.value) + w(r.priority) +
           w(r.post_delay) + w(r.quit_on_failure) + w(r.write_successful);
  }
  case TAG_SESSION_KEY: {
    auto& r = *static_cast<const BACnetSessionKey*>(p);
    return d(r.key) + d(r.peer);
  }
  case TAG_RECIPIENT:
    return d(*static_cast<const BACnetRecipient*>(p));
  case TAG_ADDRESS_BINDING: {
    auto& r = *static_cast<const BACnetAddressBinding*>(p);
    return d(r.device) + d(r.address);
  }
  case TAG_OBJECT_PROPERTY_REFERENCE: {
    auto& r = *static_cast<const BACnetObjectPropertyReference*>(p);
    return d(r.object) + w(r.property) + w(r.array_index);
  }
  case TAG_DEVICE_OBJECT_PROPERTY_REFERENCE:
    return d(*static_cast<const BACnetDeviceObjectPropertyReference*>(p));
  case TAG_LOG_RECORD: {
    auto& r = *static_cast<const BACnetLogRecord*>(p);
    uint32_t datum;
    std::memcpy(&datum, &r.datum, 4);
    return d(r.timestamp) + w(r.choice) + d(r.bits) + w(datum) + w(r.error_class) + w(r.error_code) +
           describe(r.any) + d(r.status_flags);
  }
  case TAG_READ_ACCESS_SPECIFICATION: {
    auto& r = *static_cast<const ReadAccessSpecification*>(p);
    return d(r.object) + d_list(r.references, d_ref);
  }
  case TAG_WRITE_ACCESS_SPECIFICATION: {
    auto& r = *static_cast<const WriteAccessSpecification*>(p);
    return d(r.object) + describe(r.properties);
  }
  case TAG_ALARM_SUMMARY: {
    auto& r = *static_cast<const AlarmSummaryEntry*>(p);
    return d(r.object) + w(r.alarm_state) + d(r.acked_transitions);
  }
  case TAG_ENROLLMENT_SUMMARY: {
    auto& r = *static_cast<const EnrollmentSummaryEntry*>(p);
    return d(r.object) + w(r.event_type) + w(r.event_state) + w(r.priority) + w(r.notification_class);
  }
  case TAG_READ_ACCESS_RESULT: {
    auto& r = *static_cast<const ReadAccessResult*>(p);
    return d(r.object) + d_list(r.results, d_element);
  }
  case TAG_READ_ACCESS_RESULT_ELEMENT:
    return d_element(*static_cast<const ReadAccessResultElement*>(p));
  case TAG_PROPERTY_REFERENCE:
    return d_ref(*static_cast<const BACnetPropertyReference*>(p));
  case TAG_DESTINATION: {
    auto& r = *static_cast<const BACnetDestination*>(p);
    return d(r.valid_days) + d(r.from) + d(r.to) + d(r.recipient) + w(r.process_id) + w(r.issue_confirmed) +
           d(r.transitions) + w(r.lifetime) + w(r.stamp);
  }
  case TAG_DAILY_SCHEDULE:
    return describe(static_cast<const BACnetDailySchedule*>(p)->day_schedule);
  case TAG_SPECIAL_EVENT: {
    auto& r = *static_cast<const BACnetSpecialEvent*>(p);
    BACnetValue entry{TAG_CALENDAR_ENTRY, {}};
    entry.payload.record = const_cast<BACnetCalendarEntry*>(&r.calendar_entry);
    return w(r.period_choice) + describe_record(entry) + d(r.calendar_reference) + describe(r.time_values) +
           w(r.priority);
  }
  case TAG_PRIORITY_VALUE: {
    auto& r = *static_cast<const BACnetPriorityValue*>(p);
    return w(r.choice) + w(r.unsigned_value) + describe(r.value);
  }
  case TAG_PROPERTY_VALUE: {
    auto& r = *static_cast<const BACnetPropertyValue*>(p);
    return w(r.property) + w(r.array_index) + describe(r.value) + w(r.priority);
  }
  case TAG_PROPERTY_STATES: {
    auto& r = *static_cast<const BACnetPropertyStates*>(p);
    return w(r.choice) + w(r.value);
  }
  case TAG_EVENT_PARAMETER: {
    auto& r = *static_cast<const BACnetEventParameter*>(p);
    return w(r.choice) + w(r.time_delay) + d(r.bitmask) + describe(r.values) + w(r.increment_choice) +
           f(r.increment) + d(r.reference) + f(r.low_limit) + f(r.high_limit) + f(r.deadband) +
           w(r.notification_threshold) + w(r.previous_count);
  }
  case TAG_NOTIFICATION_PARAMETERS: {
    auto& r = *static_cast<const BACnetNotificationParameters*>(p);
    return w(r.choice) + d(r.status_flags) + d(r.bits) + w(r.new_state.choice) + w(r.new_state.value) +
           w(r.changed_choice) + f(r.changed_value) + describe(r.command_value) + describe(r.feedback_value) +
           f(r.reals[0]) + f(r.reals[1]) + f(r.reals[2]) + describe(r.property_values) + d(r.buffer_property) +
           w(r.previous_notification) + w(r.current_notification);
  }
  case TAG_PROPERTY_CONDITION: {
    auto& r = *static_cast<const PropertyCondition*>(p);
    return w(r.property) + w(r.array_index) + w(r.relation) + describe(r.comparison);
  }
  case TAG_COV_INCREMENT: {
    auto& r = *static_cast<const BACnetCOVIncrement*>(p);
    return w(r.choice) + f(r.real);
  }
  case TAG_OBJECT_PROPERTY_VALUE: {
    auto& r = *static_cast<const BACnetObjectPropertyValue*>(p);
    return d(r.object) + w(r.property) + w(r.array_index) + describe(r.value) + w(r.priority) + w(r.extra[0]) +
           w(r.extra[1]);
  }
  case TAG_ANY_VALUE:
    return describe(static_cast<const AnyValue*>(p)->value);
  case TAG_TAGGED_DATA: {
    auto& r = *static_cast<const TaggedData*>(p);
    return w(r.tag_number) + describe(r.value);
  }
  case TAG_COV_SUBSCRIPTION: {
    auto& r = *static_cast<const CovSubscription*>(p);
    return w(r.recipient.not_empty) + d(r.recipient.recipient) + w(r.recipient.process_id) + d(r.monitored.object) +
           w(r.monitored.property) + w(r.monitored.array_index) + w(r.issue_confirmed) + w(r.time_remaining) +
           f(r.cov_increment);
  }
  case TAG_EVENT_SUMMARY: {
    auto& r = *static_cast<const EventSummaryEntry*>(p);
    return d(r.object) + w(r.event_state) + d(r.acked_transitions) + describe(r.timestamps) + w(r.notify_type) +
           d(r.event_enable) + describe(r.priorities);
  }
  default:
    return "?";
  }
}

void blocks(const BitString& b, std::set<const void*>& out)
{
  if (b.bits)
    out.insert(b.bits);
}
void blocks(const OctetString& s, std::set<const void*>& out)
{
  if (s.data)
    out.insert(s.data);
}
void blocks(const BACnetValue& v, std::set<const void*>& out);
void blocks(const BACnetRecipient& r, std::set<const void*>& out) { blocks(r.address.mac, out); }

void record_blocks(const BACnetValue& v, std::set<const void*>& out)
{
  const void* p = v.payload.record;
  out.insert(p);
  switch (v.tag) {
  case TAG_ADDRESS:
    return blocks(static_cast<const BACnetAddressValue*>(p)->mac, out);
  case TAG_TIME_VALUE:
    return blocks(static_cast<const BACnetTimeValue*>(p)->value, out);
  case TAG_ACTION_COMMAND:
    return blocks(static_cast<const BACnetActionCommand*>(p)->value, out);
  case TAG_SESSION_KEY:
    blocks(static_cast<const BACnetSessionKey*>(p)->key, out);
    return blocks(static_cast<const BACnetSessionKey*>(p)->peer.mac, out);
  case TAG_RECIPIENT:
    return blocks(*static_cast<const BACnetRecipient*>(p), out);
  case TAG_ADDRESS_BINDING:
    return blocks(static_cast<const BACnetAddressBinding*>(p)->address.mac, out);
  case TAG_LOG_RECORD: {
    auto& r = *static_cast<const BACnetLogRecord*>(p);
    blocks(r.bits, out);
    blocks(r.any, out);
    return blocks(r.status_flags, out);
  }
  case TAG_READ_ACCESS_SPECIFICATION: {
    auto& r = *static_cast<const ReadAccessSpecification*>(p);
    if (r.references.overflow)
      out.insert(r.references.overflow);
    return;
  }
  case TAG_WRITE_ACCESS_SPECIFICATION:
    return blocks(static_cast<const WriteAccessSpecification*>(p)->properties, out);
  case TAG_ALARM_SUMMARY:
    return blocks(static_cast<const AlarmSummaryEntry*>(p)->acked_transitions, out);
  case TAG_READ_ACCESS_RESULT: {
    auto& r = *static_cast<const ReadAccessResult*>(p);
    if (r.results.overflow)
      out.insert(r.results.overflow);
    for (uint32_t i = 0; i < r.results.count; ++i)
      blocks(inline_list_get(&r.results, i)->value, out);
    return;
  }
  case TAG_READ_ACCESS_RESULT_ELEMENT:
    return blocks(static_cast<const ReadAccessResultElement*>(p)->value, out);
  case TAG_DESTINATION: {
    auto& r = *static_cast<const BACnetDestination*>(p);
    blocks(r.valid_days, out);
    blocks(r.recipient, out);
    return blocks(r.transitions, out);
  }
  case TAG_DAILY_SCHEDULE:
    return blocks(static_cast<const BACnetDailySchedule*>(p)->day_schedule, out);
  case TAG_SPECIAL_EVENT:
    return blocks(static_cast<const BACnetSpecialEvent*>(p)->time_values, out);
  case TAG_PRIORITY_VALUE:
    return blocks(static_cast<const BACnetPriorityValue*>(p)->value, out);
  case TAG_PROPERTY_VALUE:
    return blocks(static_cast<const BACnetPropertyValue*>(p)->value, out);
  case TAG_EVENT_PARAMETER:
    blocks(static_cast<const BACnetEventParameter*>(p)->bitmask, out);
    return blocks(static_cast<const BACnetEventParameter*>(p)->values, out);
  case TAG_NOTIFICATION_PARAMETERS: {
    auto& r = *static_cast<const BACnetNotificationParameters*>(p);
    blocks(r.status_flags, out);
    blocks(r.bits, out);
    blocks(r.command_value, out);
    blocks(r.feedback_value, out);
    return blocks(r.property_values, out);
  }
  case TAG_PROPERTY_CONDITION:
    return blocks(static_cast<const PropertyCondition*>(p)->comparison, out);
  case TAG_OBJECT_PROPERTY_VALUE:
    return blocks(static_cast<const BACnetObjectPropertyValue*>(p)->value, out);
  case TAG_ANY_VALUE:
    return blocks(static_cast<const AnyValue*>(p)->value, out);
  case TAG_TAGGED_DATA:
    return blocks(static_cast<const TaggedData*>(p)->value, out);
  case TAG_COV_SUBSCRIPTION:
    return blocks(static_cast<const CovSubscription*>(p)->recipient.recipient, out);
  case TAG_EVENT_SUMMARY: {
    auto& r = *static_cast<const EventSummaryEntry*>(p);
    blocks(r.acked_transitions, out);
    blocks(r.timestamps, out);
    blocks(r.event_enable, out);
    return blocks(r.priorities, out);
  }
  default:
    return;
  }
}

void blocks(const BACnetValue& v, std::set<const void*>& out)
{
  switch (v.tag) {
  case TAG_OCTET_STRING:
    return blocks(v.payload.octets, out);
  case TAG_CHARACTER_STRING:
    if (v.payload.text)
      out.insert(v.payload.text);
    return;
  case TAG_BIT_STRING:
    return blocks(v.payload.bits, out);
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
    record_blocks(v, out);
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
  case TAG_BOOLEAN:
    s += w(v.payload.boolean);
    break;
  case TAG_UNSIGNED:
  case TAG_SIGNED:
  case TAG_ENUMERATED:
  case TAG_REAL:
    s += w(v.payload.unsigned_value);
    break;
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
    s += d(v.payload.date);
    break;
  case TAG_TIME:
    s += d(v.payload.time);
    break;
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
