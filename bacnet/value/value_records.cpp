#include "bacnet/value/value_records.h"

#include <array>
#include <cstring>

#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_access.h"
#include "bacnet/value/value_containers.h"

// Every copy below first releases the destination's owned parts, then takes the plain
// fields over and finally duplicates each owned part. A duplicate that fails leaves the
// parts not yet copied empty, so the destination can always be released on its own and
// never shares memory with the source.

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

int first_failure(std::initializer_list<int> results)
{
  for (int rc : results)
    if (rc != VALUE_OK)
      return rc;
  return VALUE_OK;
}

int copy_bits(BitString& destination, const BitString& source)
{
  bitstring_free(&destination);
  if (!source.bits || source.capacity == 0)
    return VALUE_OK;
  return bitstring_set(&destination, source.bits, source.capacity);
}

int copy_octets(OctetString& destination, const OctetString& source)
{
  return octetstring_set(&destination, source.data, source.data ? source.length : 0);
}

void release_address(BACnetAddressValue& a)
{
  octetstring_free(&a.mac);
}

int copy_address(BACnetAddressValue& d, const BACnetAddressValue& s)
{
  d.network = s.network;
  return copy_octets(d.mac, s.mac);
}

void release_recipient(BACnetRecipient& r)
{
  release_address(r.address);
}

// Only the chosen alternative is taken over; the other stays empty.
int copy_recipient(BACnetRecipient& d, const BACnetRecipient& s)
{
  release_recipient(d);
  d.choice = s.choice;
  d.device = {};
  d.address.network = 0;
  if (s.choice == 0) {
    d.device = s.device;
    return VALUE_OK;
  }
  if (s.choice == 1)
    return copy_address(d.address, s.address);
  return VALUE_OK;
}

// ---- Records without owned memory --------------------------------------------------------
template <class R>
void release_nothing(R&)
{
}

template <class R>
int copy_plain(R& d, const R& s)
{
  d = s;
  return VALUE_OK;
}

// ---- Per-record operations ---------------------------------------------------------------
void init_record(BACnetAddressValue&) {}
void release(BACnetAddressValue& r) { release_address(r); }
int copy(BACnetAddressValue& d, const BACnetAddressValue& s) { return copy_address(d, s); }

void init_record(BACnetDateTime&) {}
void release(BACnetDateTime& r) { release_nothing(r); }
int copy(BACnetDateTime& d, const BACnetDateTime& s) { return copy_plain(d, s); }

void init_record(BACnetCalendarEntry&) {}
void release(BACnetCalendarEntry& r) { release_nothing(r); }
int copy(BACnetCalendarEntry& d, const BACnetCalendarEntry& s) { return copy_plain(d, s); }

void init_record(BACnetDateRange&) {}
void release(BACnetDateRange& r) { release_nothing(r); }
int copy(BACnetDateRange& d, const BACnetDateRange& s) { return copy_plain(d, s); }

void init_record(BACnetWeekNDay&) {}
void release(BACnetWeekNDay& r) { release_nothing(r); }
int copy(BACnetWeekNDay& d, const BACnetWeekNDay& s) { return copy_plain(d, s); }

void init_record(BACnetTimeValue&) {}
void release(BACnetTimeValue& r) { value_free(&r.value); }
int copy(BACnetTimeValue& d, const BACnetTimeValue& s)
{
  release(d);
  d.time = s.time;
  return value_copy_fresh(&d.value, &s.value);
}

void init_record(BACnetTimeStamp&) {}
void release(BACnetTimeStamp& r) { release_nothing(r); }
int copy(BACnetTimeStamp& d, const BACnetTimeStamp& s) { return copy_plain(d, s); }

void init_record(BACnetActionCommand& r) { r.array_index = -1; }
void release(BACnetActionCommand& r) { value_free(&r.value); }
int copy(BACnetActionCommand& d, const BACnetActionCommand& s)
{
  release(d);
  d.device = s.device;
  d.object = s.object;
  d.property = s.property;
  d.array_index = s.array_index;
  d.priority = s.priority;
  d.post_delay = s.post_delay;
  d.quit_on_failure = s.quit_on_failure;
  d.write_successful = s.write_successful;
  return value_copy_fresh(&d.value, &s.value);
}

void init_record(BACnetSessionKey&) {}
void release(BACnetSessionKey& r)
{
  octetstring_free(&r.key);
  release_address(r.peer);
}
int copy(BACnetSessionKey& d, const BACnetSessionKey& s)
{
  release(d);
  return first_failure({copy_octets(d.key, s.key), copy_address(d.peer, s.peer)});
}

void init_record(BACnetRecipient& r) { r.choice = -1; }
void release(BACnetRecipient& r) { release_recipient(r); }
int copy(BACnetRecipient& d, const BACnetRecipient& s) { return copy_recipient(d, s); }

void init_record(BACnetRecipientProcess& r) { r.recipient.choice = -1; }
void release(BACnetRecipientProcess& r) { release_recipient(r.recipient); }
int copy(BACnetRecipientProcess& d, const BACnetRecipientProcess& s)
{
  d.not_empty = s.not_empty;
  d.process_id = s.process_id;
  return copy_recipient(d.recipient, s.recipient);
}

void init_record(BACnetAddressBinding&) {}
void release(BACnetAddressBinding& r) { release_address(r.address); }
int copy(BACnetAddressBinding& d, const BACnetAddressBinding& s)
{
  d.device = s.device;
  return copy_address(d.address, s.address);
}

void init_record(BACnetObjectPropertyReference& r) { r.array_index = -1; }
void release(BACnetObjectPropertyReference& r) { release_nothing(r); }
int copy(BACnetObjectPropertyReference& d, const BACnetObjectPropertyReference& s) { return copy_plain(d, s); }

void init_record(BACnetDeviceObjectPropertyReference& r) { r.array_index = -1; }
void release(BACnetDeviceObjectPropertyReference& r) { release_nothing(r); }
int copy(BACnetDeviceObjectPropertyReference& d, const BACnetDeviceObjectPropertyReference& s)
{
  return copy_plain(d, s);
}

void init_record(BACnetLogRecord&) {}
void release(BACnetLogRecord& r)
{
  bitstring_free(&r.bits);
  value_free(&r.any);
  bitstring_free(&r.status_flags);
}
// Every datum choice survives the copy, the any-value (10) and bit strings (0, 6) deeply.
int copy(BACnetLogRecord& d, const BACnetLogRecord& s)
{
  release(d);
  d.timestamp = s.timestamp;
  d.choice = s.choice;
  d.datum = s.datum;
  d.error_class = s.error_class;
  d.error_code = s.error_code;
  return first_failure({copy_bits(d.bits, s.bits), value_copy_fresh(&d.any, &s.any),
                        copy_bits(d.status_flags, s.status_flags)});
}

void init_record(BACnetPropertyReference& r) { r.array_index = -1; }
void release(BACnetPropertyReference& r) { release_nothing(r); }
int copy(BACnetPropertyReference& d, const BACnetPropertyReference& s) { return copy_plain(d, s); }

void init_record(ReadAccessSpecification&) {}
void release(ReadAccessSpecification& r) { inline_list_free(&r.references); }
int copy(ReadAccessSpecification& d, const ReadAccessSpecification& s)
{
  d.object = s.object;
  return inline_list_copy(&d.references, &s.references) == VALUE_OK ? VALUE_OK : VALUE_NO_MEMORY;
}

void init_record(WriteAccessSpecification&) {}
void release(WriteAccessSpecification& r) { value_free(&r.properties); }
int copy(WriteAccessSpecification& d, const WriteAccessSpecification& s)
{
  d.object = s.object;
  return value_copy_fresh(&d.properties, &s.properties);
}

void init_record(AlarmSummaryEntry&) {}
void release(AlarmSummaryEntry& r) { bitstring_free(&r.acked_transitions); }
int copy(AlarmSummaryEntry& d, const AlarmSummaryEntry& s)
{
  d.object = s.object;
  d.alarm_state = s.alarm_state;
  return copy_bits(d.acked_transitions, s.acked_transitions);
}

void init_record(EnrollmentSummaryEntry&) {}
void release(EnrollmentSummaryEntry& r) { release_nothing(r); }
int copy(EnrollmentSummaryEntry& d, const EnrollmentSummaryEntry& s) { return copy_plain(d, s); }

void init_record(ReadAccessResultElement& r) { r.array_index = -1; }
void release(ReadAccessResultElement& r) { value_free(&r.value); }
int copy(ReadAccessResultElement& d, const ReadAccessResultElement& s)
{
  release(d);
  d.property = s.property;
  d.array_index = s.array_index;
  d.choice = s.choice;
  d.error_class = s.error_class;
  d.error_code = s.error_code;
  return value_copy_fresh(&d.value, &s.value);
}

void init_record(ReadAccessResult&) {}
void release(ReadAccessResult& r) { inline_list_free(&r.results); }
int copy(ReadAccessResult& d, const ReadAccessResult& s)
{
  d.object = s.object;
  return inline_list_copy(&d.results, &s.results) == VALUE_OK ? VALUE_OK : VALUE_NO_MEMORY;
}

void init_record(BACnetDestination&) {}
void release(BACnetDestination& r)
{
  bitstring_free(&r.valid_days);
  release_recipient(r.recipient);
  bitstring_free(&r.transitions);
}
int copy(BACnetDestination& d, const BACnetDestination& s)
{
  release(d);
  d.from = s.from;
  d.to = s.to;
  d.process_id = s.process_id;
  d.issue_confirmed = s.issue_confirmed;
  d.lifetime = s.lifetime;
  d.stamp = s.stamp;
  return first_failure({copy_bits(d.valid_days, s.valid_days), copy_recipient(d.recipient, s.recipient),
                        copy_bits(d.transitions, s.transitions)});
}

void init_record(BACnetDailySchedule&) {}
void release(BACnetDailySchedule& r) { value_free(&r.day_schedule); }
int copy(BACnetDailySchedule& d, const BACnetDailySchedule& s)
{
  return value_copy_fresh(&d.day_schedule, &s.day_schedule);
}

void init_record(BACnetSpecialEvent&) {}
void release(BACnetSpecialEvent& r) { value_free(&r.time_values); }
int copy(BACnetSpecialEvent& d, const BACnetSpecialEvent& s)
{
  release(d);
  d.priority = s.priority;
  d.period_choice = s.period_choice;
  d.calendar_entry = {};
  d.calendar_reference = {};
  int rc = value_copy_fresh(&d.time_values, &s.time_values);
  if (rc != VALUE_OK)
    return rc;
  if (s.period_choice == 0)
    d.calendar_entry = s.calendar_entry;
  else if (s.period_choice == 1)
    d.calendar_reference = s.calendar_reference;
  else
    return VALUE_BAD_ARGUMENT;
  return VALUE_OK;
}

void init_record(BACnetPriorityValue&) {}
void release(BACnetPriorityValue& r) { value_free(&r.value); }
int copy(BACnetPriorityValue& d, const BACnetPriorityValue& s)
{
  release(d);
  d.choice = s.choice;
  d.unsigned_value = 0;
  if (s.choice <= 3) {
    d.unsigned_value = s.unsigned_value;  // the REAL, Enumerated or Unsigned word alike
    return VALUE_OK;
  }
  if (s.choice == 4)
    return value_copy_fresh(&d.value, &s.value);
  return VALUE_BAD_ARGUMENT;
}

void init_record(BACnetPropertyValue& r) { r.array_index = -1; }
void release(BACnetPropertyValue& r) { value_free(&r.value); }
int copy(BACnetPropertyValue& d, const BACnetPropertyValue& s)
{
  release(d);
  d.property = s.property;
  d.array_index = s.array_index;
  d.priority = s.priority;
  return value_copy_fresh(&d.value, &s.value);
}

void init_record(BACnetPropertyStates&) {}
void release(BACnetPropertyStates& r) { release_nothing(r); }
int copy(BACnetPropertyStates& d, const BACnetPropertyStates& s) { return copy_plain(d, s); }

void init_record(BACnetEventParameter& r) { r.choice = EVENT_PARAMETER_NONE; }
void release(BACnetEventParameter& r) { value_free_tag51(&r); }
// Only what the chosen event type uses is taken over.
int copy(BACnetEventParameter& d, const BACnetEventParameter& s)
{
  value_free_tag51(&d);
  d.choice = s.choice;
  switch (s.choice) {
  case 0:
    d.time_delay = s.time_delay;
    return first_failure({copy_bits(d.bitmask, s.bitmask), value_copy_fresh(&d.values, &s.values)});
  case 1:
    d.time_delay = s.time_delay;
    return value_copy_fresh(&d.values, &s.values);
  case 2:
    d.time_delay = s.time_delay;
    d.increment_choice = s.increment_choice;
    if (s.increment_choice == 0)
      return copy_bits(d.bitmask, s.bitmask);
    if (s.increment_choice == 1) {
      d.increment = s.increment;
      return VALUE_OK;
    }
    return VALUE_BAD_ARGUMENT;
  case 3:
    d.time_delay = s.time_delay;
    d.reference = s.reference;
    return VALUE_OK;
  case 4:
    d.time_delay = s.time_delay;
    d.reference = s.reference;
    d.low_limit = s.low_limit;
    d.high_limit = s.high_limit;
    d.deadband = s.deadband;
    return VALUE_OK;
  case 5:
    d.time_delay = s.time_delay;
    d.low_limit = s.low_limit;
    d.high_limit = s.high_limit;
    d.deadband = s.deadband;
    return VALUE_OK;
  case 10:
    d.notification_threshold = s.notification_threshold;
    d.previous_count = s.previous_count;
    return VALUE_OK;
  default:
    return VALUE_BAD_ARGUMENT;
  }
}

void init_record(BACnetNotificationParameters&) {}
void release(BACnetNotificationParameters& r)
{
  // Every owned part, whatever the choice says, so that nothing can leak.
  bitstring_free(&r.status_flags);
  bitstring_free(&r.bits);
  value_free(&r.command_value);
  value_free(&r.feedback_value);
  value_free(&r.property_values);
}
int copy(BACnetNotificationParameters& d, const BACnetNotificationParameters& s)
{
  return value_copy_choice(&d, &s);
}

void init_record(PropertyCondition& r) { r.array_index = -1; }
void release(PropertyCondition& r) { value_free(&r.comparison); }
int copy(PropertyCondition& d, const PropertyCondition& s)
{
  release(d);
  d.property = s.property;
  d.array_index = s.array_index;
  d.relation = s.relation;
  return value_copy_fresh(&d.comparison, &s.comparison);
}

void init_record(BACnetCOVIncrement&) {}
void release(BACnetCOVIncrement& r) { release_nothing(r); }
int copy(BACnetCOVIncrement& d, const BACnetCOVIncrement& s) { return copy_plain(d, s); }

void init_record(BACnetObjectPropertyValue& r) { r.array_index = -1; }
void release(BACnetObjectPropertyValue& r) { value_free(&r.value); }
int copy(BACnetObjectPropertyValue& d, const BACnetObjectPropertyValue& s)
{
  release(d);
  d.object = s.object;
  d.property = s.property;
  d.array_index = s.array_index;
  d.priority = s.priority;
  d.extra[0] = s.extra[0];
  d.extra[1] = s.extra[1];
  return value_copy_fresh(&d.value, &s.value);
}

void init_record(AnyValue&) {}
void release(AnyValue& r) { value_free(&r.value); }
int copy(AnyValue& d, const AnyValue& s) { return value_copy_fresh(&d.value, &s.value); }

void init_record(TaggedData& r) { r.tag_number = -1; }
void release(TaggedData& r) { value_free(&r.value); }
int copy(TaggedData& d, const TaggedData& s)
{
  d.tag_number = s.tag_number;
  return value_copy_fresh(&d.value, &s.value);
}

void init_record(CovSubscription& r) { r.recipient.recipient.choice = -1; }
void release(CovSubscription& r) { release_recipient(r.recipient.recipient); }
int copy(CovSubscription& d, const CovSubscription& s)
{
  d.recipient.not_empty = s.recipient.not_empty;
  d.recipient.process_id = s.recipient.process_id;
  d.monitored = s.monitored;
  d.issue_confirmed = s.issue_confirmed;
  d.time_remaining = s.time_remaining;
  d.cov_increment = s.cov_increment;
  return copy_recipient(d.recipient.recipient, s.recipient.recipient);
}

void init_record(EventSummaryEntry&) {}
void release(EventSummaryEntry& r)
{
  bitstring_free(&r.acked_transitions);
  value_free(&r.timestamps);
  bitstring_free(&r.event_enable);
  value_free(&r.priorities);
}
int copy(EventSummaryEntry& d, const EventSummaryEntry& s)
{
  release(d);
  d.object = s.object;
  d.event_state = s.event_state;
  d.notify_type = s.notify_type;
  return first_failure({copy_bits(d.acked_transitions, s.acked_transitions),
                        value_copy_fresh(&d.timestamps, &s.timestamps),
                        copy_bits(d.event_enable, s.event_enable),
                        value_copy_fresh(&d.priorities, &s.priorities)});
}

// ---- The table ---------------------------------------------------------------------------
template <class R>
void init_thunk(void* p)
{
  init_record(*static_cast<R*>(p));
}
template <class R>
void release_thunk(void* p)
{
  release(*static_cast<R*>(p));
}
template <class R>
int copy_thunk(void* d, const void* s)
{
  return copy(*static_cast<R*>(d), *static_cast<const R*>(s));
}
template <class R>
constexpr RecordKind kind()
{
  return {R::kTag, sizeof(R), &init_thunk<R>, &release_thunk<R>, &copy_thunk<R>};
}

constexpr RecordKind kRecordKinds[] = {
    kind<BACnetAddressValue>(),
    kind<BACnetDateTime>(),
    kind<BACnetCalendarEntry>(),
    kind<BACnetDateRange>(),
    kind<BACnetWeekNDay>(),
    kind<BACnetTimeValue>(),
    kind<BACnetTimeStamp>(),
    kind<BACnetActionCommand>(),
    kind<BACnetSessionKey>(),
    kind<BACnetRecipient>(),
    kind<BACnetRecipientProcess>(),
    kind<BACnetAddressBinding>(),
    kind<BACnetObjectPropertyReference>(),
    kind<BACnetDeviceObjectPropertyReference>(),
    kind<BACnetLogRecord>(),
    kind<ReadAccessSpecification>(),
    kind<WriteAccessSpecification>(),
    kind<AlarmSummaryEntry>(),
    kind<EnrollmentSummaryEntry>(),
    kind<ReadAccessResult>(),
    kind<ReadAccessResultElement>(),
    kind<BACnetPropertyReference>(),
    kind<BACnetDestination>(),
    kind<BACnetDailySchedule>(),
    kind<BACnetSpecialEvent>(),
    kind<BACnetPriorityValue>(),
    kind<BACnetPropertyValue>(),
    kind<BACnetPropertyStates>(),
    kind<BACnetEventParameter>(),
    kind<BACnetNotificationParameters>(),
    kind<PropertyCondition>(),
    kind<BACnetCOVIncrement>(),
    kind<BACnetObjectPropertyValue>(),
    kind<AnyValue>(),
    kind<TaggedData>(),
    kind<CovSubscription>(),
    kind<EventSummaryEntry>(),
};

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
    release_recipient(*recipient);
  return VALUE_OK;
}

int value_free_tag51(BACnetEventParameter* parameter)
{
  if (!parameter)
    return VALUE_OK;
  bitstring_free(&parameter->bitmask);
  value_free(&parameter->values);
  *parameter = BACnetEventParameter{};
  parameter->choice = EVENT_PARAMETER_NONE;
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
  if (destination == source)
    return VALUE_OK;
  return copy_recipient(*destination, *source);
}
