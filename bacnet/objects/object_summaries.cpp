#include "bacnet/objects/object_summaries.h"

#include <cstring>

#include "bacnet/objects/event_notify.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace {

constexpr uint32_t kAbsent = 0xFFFFFFFF;
constexpr uint32_t kNormal = 0;
constexpr uint32_t kFault = 1;

// Analog, binary and multi-state inputs, outputs and values: the intrinsic-reporting types.
bool reporting_type(uint32_t type)
{
  return type <= OBJECT_BINARY_VALUE || type == OBJECT_MULTI_STATE_INPUT || type == OBJECT_MULTI_STATE_OUTPUT ||
         type == OBJECT_MULTI_STATE_VALUE;
}

bool analog_type(uint32_t type) { return type <= OBJECT_ANALOG_VALUE; }

bool same_id(const BACnetObjectId& a, const BACnetObjectId& b) { return a.type == b.type && a.instance == b.instance; }

bool all_set(const BitString* bits)
{
  if (!bits || bits->count < 3)
    return false;
  return bitstring_get_bit(bits, 0) && bitstring_get_bit(bits, 1) && bitstring_get_bit(bits, 2);
}

// The priority array of a Notification Class, when it holds at least three elements.
const BACnetValueArray* priorities_of(ObjectRecord* nc)
{
  const BACnetValueArray* array = value_array(object_value(nc, PROP_PRIORITY));
  return array && array->used >= 3 ? array : nullptr;
}

bool unsigned_at(const BACnetValueArray* array, uint32_t element, uint32_t* out)
{
  const BACnetValue& v = array->elements[element - 1];
  if (v.tag != TAG_UNSIGNED)
    return false;
  *out = v.payload.unsigned_value;
  return true;
}

// ---- Enrollment tests --------------------------------------------------------------------

bool acknowledgment_passes(uint32_t filter, const BitString* acked)
{
  if (!acked || acked->count < 3)
    return false;
  switch (filter) {
  case 0: return true;
  case 1: return all_set(acked);
  case 2: return !all_set(acked);
  default: return false;
  }
}

bool event_state_passes(uint32_t filter, uint32_t state)
{
  switch (filter) {
  case 0: return state != kNormal && state != kFault;
  case 1: return state == kFault;
  case 2: return state == kNormal;
  case 3: return true;
  case 4: return state != kNormal;
  default: return false;
  }
}

bool recipients_match(const BACnetRecipient& filter, const BACnetRecipient& r)
{
  if (filter.choice == 0)
    return r.choice == 0 && same_id(filter.device, r.device);
  if (filter.choice == 1) {
    const BACnetAddressValue& a = filter.address;
    const BACnetAddressValue& b = r.address;
    return r.choice == 1 && a.network == b.network && a.mac.length == b.mac.length &&
           (a.mac.length == 0 || std::memcmp(a.mac.data, b.mac.data, a.mac.length) == 0);
  }
  return false;
}

bool recipient_passes(const EnrollmentFilter& filter, uint32_t owner, ObjectRecord* object)
{
  const BACnetRecipientProcess& wanted = filter.enrollment;
  if (!wanted.not_empty)
    return true;
  BACnetRecipient* own = object_recipient(object, PROP_RECIPIENT);
  if (own && (own->choice == 0 || own->choice == 1))
    return object_word_value(object, PROP_PROCESS_IDENTIFIER) == wanted.process_id &&
           recipients_match(wanted.recipient, *own);
  ObjectRecord* nc = object_notification_class(owner, object);
  BACnetValue* list = object_value(nc, PROP_RECIPIENT_LIST);
  if (!list || list->tag != TAG_DESTINATION_LIST)
    return false;
  const BACnetValueArray* array = value_array(list);
  for (uint32_t i = 0; array && i < array->used; ++i) {
    auto* d = value_record<BACnetDestination>(&array->elements[i]);
    if (d && d->process_id == wanted.process_id && recipients_match(wanted.recipient, d->recipient))
      return true;
  }
  return false;
}

bool transition_enabled(const uint8_t enable[3], uint32_t count)
{
  return count >= 3 && (enable[0] || enable[1] || enable[2]);
}

bool priority_passes(const EnrollmentFilter& filter, ObjectRecord* nc, const uint8_t enable[3], uint32_t count)
{
  if (filter.priority_min == kAbsent || filter.priority_max == kAbsent)
    return true;
  const BACnetValueArray* array = priorities_of(nc);
  if (!array || count < 3)
    return false;
  uint32_t p[3];
  for (uint32_t i = 0; i < 3; ++i)
    if (!unsigned_at(array, i + 1, &p[i]))
      return true;
  for (uint32_t i = 0; i < 3; ++i)
    if (enable[i] && filter.priority_min <= p[i] && p[i] <= filter.priority_max)
      return true;
  return false;
}

// The Notification Class priority that goes with an event state: to-normal (element 3),
// to-fault (2), to-offnormal (1); an element that is no UNSIGNED gives way to the next.
uint32_t summary_priority(ObjectRecord* nc, uint32_t state)
{
  const BACnetValueArray* array = priorities_of(nc);
  if (!array)
    return 0;
  static constexpr uint32_t kOrder[] = {3, 2, 1};
  size_t start = state == kNormal ? 0 : state == kFault ? 1 : 2;
  for (size_t i = start; i < 3; ++i) {
    uint32_t p;
    if (unsigned_at(array, kOrder[i], &p))
      return p;
  }
  return 0;
}

bool append_enrollment(BACnetValue* result, ObjectRecord* object, uint32_t event_type, uint32_t priority)
{
  OwnedValue entry;
  if (value_init(entry.get(), TAG_ENROLLMENT_SUMMARY) != VALUE_OK)
    return false;
  auto* e = value_record<EnrollmentSummaryEntry>(entry.get());
  e->object = object->id;
  e->event_type = event_type;
  e->event_state = object_word_value(object, PROP_EVENT_STATE);
  e->priority = priority;
  e->notification_class = object_word_value(object, PROP_NOTIFICATION_CLASS);
  return value_append_element(result, TAG_ENROLLMENT_SUMMARY_LIST, entry.get()) == VALUE_OK;
}

void enroll_reporting_object(const EnrollmentFilter& filter, const ObjectTableEntry& e, BACnetValue* result)
{
  ObjectRecord* object = e.object;
  if (!object_reporting_on(object))
    return;
  ObjectRecord* nc = object_notification_class(e.owner, object);
  if (!nc)
    return;
  if (!acknowledgment_passes(filter.acknowledgment, object_bits(object, PROP_ACKED_TRANSITIONS)))
    return;
  if (!recipient_passes(filter, e.owner, object))
    return;
  uint32_t state = object_word_value(object, PROP_EVENT_STATE);
  if (!event_state_passes(filter.event_state, state))
    return;

  // The enable set; an analog object whose two limits are both off cannot go offnormal.
  uint8_t enable[3] = {};
  const BitString* event_enable = object_bits(object, PROP_EVENT_ENABLE);
  uint32_t count = event_enable ? event_enable->count : 0;
  for (uint32_t i = 0; i < 3; ++i)
    enable[i] = bitstring_get_bit(event_enable, i);
  const BitString* limits = object_bits(object, PROP_LIMIT_ENABLE);
  if (analog_type(object->type) && limits && limits->count == 2 && !bitstring_get_bit(limits, 0) &&
      !bitstring_get_bit(limits, 1))
    enable[0] = 0;

  uint32_t event_type = event_type_of_object(object);
  if (filter.event_type != 999 && (filter.event_type != event_type || !transition_enabled(enable, count)))
    return;
  if (!priority_passes(filter, nc, enable, count))
    return;
  if (filter.notification_class != kAbsent &&
      (filter.notification_class != object_word_value(object, PROP_NOTIFICATION_CLASS) ||
       !transition_enabled(enable, count)))
    return;
  append_enrollment(result, object, event_type, summary_priority(nc, state));
}

void enroll_event_enrollment(const EnrollmentFilter& filter, const ObjectTableEntry& e, BACnetValue* result)
{
  ObjectRecord* object = e.object;
  if (!event_state_passes(filter.event_state, object_word_value(object, PROP_EVENT_STATE)))
    return;
  uint32_t event_type = object_word_value(object, PROP_EVENT_TYPE);
  if (filter.event_type != 999 && filter.event_type != event_type)
    return;
  uint32_t priority = object_word_value(object, PROP_PRIORITY);
  if (filter.priority_min != kAbsent && filter.priority_max != kAbsent &&
      (priority < filter.priority_min || priority > filter.priority_max))
    return;
  if (filter.notification_class != kAbsent &&
      filter.notification_class != object_word_value(object, PROP_NOTIFICATION_CLASS))
    return;
  if (!acknowledgment_passes(filter.acknowledgment, object_bits(object, PROP_ACKED_TRANSITIONS)))
    return;
  if (!recipient_passes(filter, e.owner, object))
    return;
  append_enrollment(result, object, event_type, priority);
}

// ---- Event information -------------------------------------------------------------------

bool append_event_summary(BACnetValue* result, ObjectRecord* object, ObjectRecord* nc)
{
  OwnedValue entry;
  bool ok = value_init(entry.get(), TAG_EVENT_SUMMARY) == VALUE_OK;
  if (ok) {
    auto* s = value_record<EventSummaryEntry>(entry.get());
    s->object = object->id;
    s->event_state = object_word_value(object, PROP_EVENT_STATE);
    s->notify_type = object_word_value(object, PROP_NOTIFY_TYPE);
    const BitString* acked = object_bits(object, PROP_ACKED_TRANSITIONS);
    const BitString* enable = object_bits(object, PROP_EVENT_ENABLE);
    ok = (!acked || bitstring_copy(&s->acked_transitions, acked) == VALUE_OK) &&
         (!enable || bitstring_copy(&s->event_enable, enable) == VALUE_OK) &&
         value_assign(&s->timestamps, object_value(object, PROP_EVENT_TIME_STAMPS), -1) == VALUE_OK &&
         value_assign(&s->priorities, object_value(nc, PROP_PRIORITY), -1) == VALUE_OK;
  }
  if (ok)
    ok = value_append_element(result, TAG_EVENT_SUMMARY_LIST, entry.get()) == VALUE_OK;
  return ok;
}

// Whether the station answers a request for the entry's identifier with this very object.
bool answers_at(const SummaryStation* station, const ObjectTableEntry& e)
{
  return !station ||
         object_ResolveTarget(station->network, station->owner, e.object->id.type, e.object->id.instance).owner ==
             e.owner;
}

}  // namespace

int objtable_who_has(uint32_t low, uint32_t high, uint32_t choice, const BACnetObjectId* object,
                     const BACnetValue* name, std::vector<WhoHasMatch>& matches, const SummaryStation* station)
{
  std::vector<uint32_t> answered;
  objtable_walk([&](const ObjectTableEntry& e) {
    if (e.owner < low || e.owner > high)
      return true;
    for (uint32_t owner : answered)
      if (owner == e.owner)
        return true;
    const BACnetValue& own_name = e.object->name;
    bool match = false;
    if (choice == WHO_HAS_BY_IDENTIFIER)
      match = object && same_id(*object, e.object->id);
    else if (choice == WHO_HAS_BY_NAME)
      match = name && name->tag == TAG_CHARACTER_STRING && own_name.tag == TAG_CHARACTER_STRING &&
              std::strcmp(name->payload.text ? name->payload.text : "",
                          own_name.payload.text ? own_name.payload.text : "") == 0;
    if (match && answers_at(station, e)) {
      answered.push_back(e.owner);
      matches.push_back({e.owner, e.object->id, own_name.payload.text ? own_name.payload.text : ""});
    }
    return true;
  });
  return 0;
}

int objtable_alarm_summary(BACnetValue* result, const SummaryStation* station)
{
  if (!result)
    return 1;
  value_free(result);
  objtable_walk([&](const ObjectTableEntry& e) {
    if (!answers_at(station, e))
      return true;
    ObjectRecord* object = e.object;
    bool reporting = reporting_type(object->type);
    if (!reporting && object->type != OBJECT_EVENT_ENROLLMENT)
      return true;
    if (reporting && !object_reporting_on(object))
      return true;
    uint32_t state = object_word_value(object, PROP_EVENT_STATE);
    if (object_word_value(object, PROP_NOTIFY_TYPE) != 0 || state == kNormal)
      return true;
    OwnedValue entry;
    if (value_init(entry.get(), TAG_ALARM_SUMMARY) != VALUE_OK)
      return false;
    auto* a = value_record<AlarmSummaryEntry>(entry.get());
    a->object = object->id;
    a->alarm_state = state;
    const BitString* acked = object_bits(object, PROP_ACKED_TRANSITIONS);
    return (!acked || bitstring_copy(&a->acked_transitions, acked) == VALUE_OK) &&
           value_append_element(result, TAG_ALARM_SUMMARY_LIST, entry.get()) == VALUE_OK;
  });
  return 0;
}

int objtable_event_information(const BACnetObjectId* last_received, uint32_t max_count, BACnetValue* result,
                               bool* more_events, const SummaryStation* station)
{
  if (!result)
    return 1;
  value_free(result);
  bool more = false;
  bool passed = !last_received || last_received->type == 999;
  uint32_t count = 0;
  objtable_walk([&](const ObjectTableEntry& e) {
    if (!answers_at(station, e))
      return true;
    ObjectRecord* object = e.object;
    if (!passed) {
      passed = same_id(object->id, *last_received);
      return true;
    }
    if (!reporting_type(object->type) && object->type != OBJECT_TREND_LOG)
      return true;
    if (!object_reporting_on(object))
      return true;
    if (all_set(object_bits(object, PROP_ACKED_TRANSITIONS)) &&
        object_word_value(object, PROP_EVENT_STATE) == kNormal)
      return true;
    if (count >= max_count) {
      more = true;
      return false;
    }
    ObjectRecord* nc = object_notification_class(e.owner, object);
    if (!nc)
      return true;
    if (append_event_summary(result, object, nc))
      ++count;
    return true;
  });
  if (more_events)
    *more_events = more;
  return 0;
}

int objtable_enrollment_summary(const EnrollmentFilter& filter, BACnetValue* result, const SummaryStation* station)
{
  if (!result)
    return 1;
  value_free(result);
  objtable_walk([&](const ObjectTableEntry& e) {
    if (!answers_at(station, e))
      return true;
    uint32_t type = e.object->type;
    if (reporting_type(type) || type == OBJECT_TREND_LOG)
      enroll_reporting_object(filter, e, result);
    else if (type == OBJECT_EVENT_ENROLLMENT)
      enroll_event_enrollment(filter, e, result);
    return true;
  });
  return 0;
}

int objtable_cov_subscriptions(uint32_t /*owner*/, BACnetValue* result)
{
  if (!result)
    return -1;
  value_free(result);
  if (value_init(result, TAG_COV_SUBSCRIPTION_LIST) != VALUE_OK) {
    value_free(result);
    return -1;
  }
  int rc = 0;
  objtable_walk([&](const ObjectTableEntry& e) {
    ObjectRecord* object = e.object;
    if (!reporting_type(object->type))
      return true;
    BACnetValue* list = object_value(object, PROP_COV_SUBSCRIBERS);
    if (!list || list->tag != TAG_DESTINATION_LIST)
      return true;
    const BACnetValueArray* array = value_array(list);
    float* increment = analog_type(object->type) ? object_real(object, PROP_COV_INCREMENT) : nullptr;
    for (uint32_t i = 0; array && i < array->used; ++i) {
      auto* d = value_record<BACnetDestination>(&array->elements[i]);
      if (!d)
        continue;
      OwnedValue entry;
      bool ok = value_init(entry.get(), TAG_COV_SUBSCRIPTION) == VALUE_OK;
      if (ok) {
        auto* s = value_record<CovSubscription>(entry.get());
        s->recipient.not_empty = 1;
        s->recipient.process_id = d->process_id;
        ok = value_copy_recipient(&s->recipient.recipient, &d->recipient) == VALUE_OK;
        s->monitored = {object->id, PROP_PRESENT_VALUE, -1};
        s->issue_confirmed = d->issue_confirmed;
        s->time_remaining = d->lifetime;
        s->cov_increment = increment ? *increment : 0.0f;
      }
      if (ok)
        ok = value_array_append(result->payload.array, entry.get()) == VALUE_OK;
      if (!ok) {
        rc = -1;
        return false;
      }
    }
    return true;
  });
  return rc;
}
