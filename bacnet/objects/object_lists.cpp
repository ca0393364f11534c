#include "bacnet/objects/object_lists.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "bacnet/binding/address_binding.h"
#include "bacnet/codec/codec_primitives.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/objects/property_internal.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace {

// How a list keeps its elements.
enum class ListKind : uint8_t {
  Sorted,        // in value order; an equal element replaces the one there
  SortedUnique,  // in value order; an element present already is refused
  Appended,      // in the order added
  ActionList,    // appended to the action list the array index names
  WeekDay,       // the time values of the weekly-schedule day the array index names
  LogBuffer,     // appended, or as a ring that drops its oldest record
  Bindings,      // the address-binding tables, not a field of the record
};

struct ListRule {
  uint32_t type;
  uint32_t property;
  uint32_t element_tag;
  uint32_t list_tag;  // of the list made for a first element
  ListKind kind;
  bool network;       // AddListElement and RemoveListElement reach it
};

constexpr ListRule kRules[] = {
    {OBJECT_CALENDAR, PROP_DATE_LIST, TAG_CALENDAR_ENTRY, TAG_CALENDAR_ENTRY_LIST, ListKind::SortedUnique, true},
    {OBJECT_COMMAND, PROP_ACTION, TAG_ACTION_COMMAND, TAG_ACTION_COMMAND_LIST, ListKind::ActionList, true},
    {OBJECT_DEVICE, PROP_DEVICE_ADDRESS_BINDING, TAG_ADDRESS_BINDING, 0, ListKind::Bindings, true},
    {OBJECT_DEVICE, PROP_TIME_SYNCHRONIZATION_RECIPIENTS, TAG_RECIPIENT, TAG_RECIPIENT_LIST, ListKind::Sorted, true},
    {OBJECT_MULTI_STATE_INPUT, PROP_ALARM_VALUES, TAG_UNSIGNED, TAG_UNSIGNED_LIST, ListKind::Sorted, true},
    {OBJECT_MULTI_STATE_INPUT, PROP_FAULT_VALUES, TAG_UNSIGNED, TAG_UNSIGNED_LIST, ListKind::Sorted, true},
    {OBJECT_MULTI_STATE_VALUE, PROP_ALARM_VALUES, TAG_UNSIGNED, TAG_UNSIGNED_LIST, ListKind::Sorted, true},
    {OBJECT_MULTI_STATE_VALUE, PROP_FAULT_VALUES, TAG_UNSIGNED, TAG_UNSIGNED_LIST, ListKind::Sorted, true},
    {OBJECT_NOTIFICATION_CLASS, PROP_RECIPIENT_LIST, TAG_DESTINATION, TAG_DESTINATION_LIST, ListKind::Sorted, true},
    {OBJECT_SCHEDULE, PROP_EXCEPTION_SCHEDULE, TAG_SPECIAL_EVENT, TAG_SPECIAL_EVENT_LIST, ListKind::Appended, true},
    {OBJECT_SCHEDULE, PROP_LIST_OF_OBJECT_PROPERTY_REFERENCES, TAG_DEVICE_OBJECT_PROPERTY_REFERENCE, TAG_REFERENCE_LIST,
     ListKind::SortedUnique, true},
    {OBJECT_SCHEDULE, PROP_WEEKLY_SCHEDULE, TAG_DAILY_SCHEDULE, 0, ListKind::WeekDay, true},
    {OBJECT_TREND_LOG, PROP_LOG_BUFFER, TAG_LOG_RECORD, TAG_LOG_BUFFER, ListKind::LogBuffer, false},
};

// The COV subscription destinations of every type that has them.
constexpr uint32_t kSubscribedTypes[] = {0, 1, 2, 3, 4, 5, 13, 14, 19, OBJECT_METER};

const ListRule* rule_of(uint32_t type, uint32_t property)
{
  static constexpr ListRule kSubscribers{0, PROP_COV_SUBSCRIBERS, TAG_DESTINATION, TAG_DESTINATION_LIST,
                                         ListKind::Sorted, false};
  for (const ListRule& r : kRules)
    if (r.type == type && r.property == property)
      return &r;
  if (property == PROP_COV_SUBSCRIBERS && std::find(std::begin(kSubscribedTypes), std::end(kSubscribedTypes), type) !=
                                              std::end(kSubscribedTypes))
    return &kSubscribers;
  return nullptr;
}

constexpr int kOk = 0;
constexpr int kPropertyIsNotAList = kErrorPropertyIsNotAList + 1;

bool equal(const BACnetValue& a, const BACnetValue& b) { return value_compare(&a, &b) == 0; }

// Equal in every field, not only in the keys a sorted list orders by: the same octets on the wire.
bool same_octets(const BACnetValue& a, const BACnetValue& b)
{
  Owned<pdu_buffer, pdu_buffer_free> wa, wb;
  return pdu_encode_value(wa.get(), &a, -1) == 0 && pdu_encode_value(wb.get(), &b, -1) == 0 && wa->pos == wb->pos &&
         std::memcmp(wa->data, wb->data, wa->pos) == 0;
}

using Sameness = bool (*)(const BACnetValue&, const BACnetValue&);

int find(const BACnetValueArray* array, const BACnetValue& element, Sameness same = equal)
{
  for (uint32_t i = 0; array && i < array->used; ++i)
    if (same(array->elements[i], element))
      return int(i);
  return -1;
}

int append_copy(BACnetValueArray* array, const BACnetValue& element)
{
  OwnedValue copy;
  int rc = value_assign(copy.get(), &element, -1);
  if (rc == VALUE_OK)
    rc = value_array_append(array, copy.get());
  return rc == VALUE_OK ? kOk : PROPERTY_OTHER;
}

void sort(BACnetValueArray* array) { std::sort(array->elements, array->elements + array->used, value_less); }

// The list the field holds, made for its first element when the field is empty.
BACnetValueArray* list_of(BACnetValue* field, uint32_t list_tag, bool make)
{
  if (!field)
    return nullptr;
  if (field->tag == TAG_NULL && make && list_tag != 0 && value_init(field, list_tag) != VALUE_OK) {
    value_free(field);
    return nullptr;
  }
  return value_array(field);
}

// The time values of one daily schedule, as a list (made from a single one or none).
BACnetValueArray* day_times(BACnetValue* day)
{
  auto* daily = value_record<BACnetDailySchedule>(day);
  if (!daily)
    return nullptr;
  BACnetValue& times = daily->day_schedule;
  if (times.tag == TAG_TIME_VALUE) {
    OwnedValue single(times);
    value_clear(&times);
    if (value_init(&times, TAG_TIME_VALUE_LIST) != VALUE_OK ||
        value_array_append(times.payload.array, single.get()) != VALUE_OK)
      return nullptr;
  }
  return list_of(&times, TAG_TIME_VALUE_LIST, true);
}

std::vector<const BACnetValue*> times_of(const BACnetValue* element)
{
  std::vector<const BACnetValue*> out;
  const auto* daily = value_record<BACnetDailySchedule>(element);
  if (!daily)
    return out;
  if (daily->day_schedule.tag == TAG_TIME_VALUE)
    out.push_back(&daily->day_schedule);
  else if (const BACnetValueArray* a = value_array(&daily->day_schedule))
    for (uint32_t i = 0; i < a->used; ++i)
      out.push_back(&a->elements[i]);
  return out;
}

BACnetValue* weekly_day(ObjectRecord* record, int32_t index)
{
  BACnetValueArray* week = value_array(object_value(record, PROP_WEEKLY_SCHEDULE));
  if (!week || index < 1 || uint32_t(index) > week->used)
    return nullptr;
  return &week->elements[index - 1];
}

// Adds the element's time values to the weekly-schedule day the array index names, or
// removes them; a value already there (adding) or missing (removing) changes nothing.
int change_week_day(ObjectRecord* record, int32_t index, const BACnetValue& element, bool adding)
{
  if (index < 1 || index > 7)
    return PROPERTY_INVALID_ARRAY_INDEX;
  BACnetValueArray* day = day_times(weekly_day(record, index));
  if (!day)
    return PROPERTY_OTHER;
  std::vector<const BACnetValue*> times = times_of(&element);
  for (const BACnetValue* t : times)
    if ((find(day, *t) >= 0) == adding)
      return PROPERTY_OTHER;
  for (const BACnetValue* t : times) {
    if (!adding)
      object_list_erase(day, uint32_t(find(day, *t)));
    else if (int rc = append_copy(day, *t))
      return rc;
  }
  if (adding)
    sort(day);
  return kOk;
}

// The action list that the array index names.
BACnetValueArray* action_list(ObjectRecord* record, int32_t index)
{
  BACnetValueArray* actions = value_array(object_value(record, PROP_ACTION));
  if (!actions || index < 1 || uint32_t(index) > actions->used)
    return nullptr;
  return list_of(&actions->elements[index - 1], TAG_ACTION_COMMAND_LIST, true);
}

int insert_log_record(ObjectRecord* record, BACnetValueArray* buffer, uint8_t ring, const BACnetValue& element)
{
  if (ring && buffer->used > 0)
    object_list_erase(buffer, 0);
  if (int rc = append_copy(buffer, element))
    return rc;
  for (uint32_t counter : {PROP_TOTAL_RECORD_COUNT, PROP_RECORDS_SINCE_NOTIFICATION})
    if (uint32_t* w = object_word(record, counter))
      ++*w;
  return kOk;
}

// ---- The network's checks ----------------------------------------------------------------

// The Schedule's arrays whose elements the network changes as a list's, each element with an
// array index of 1 to 7, a day of the week. The index places a day's time values; an exception
// goes to the end of the exception schedule whatever the index, since the first of the events
// that apply at one priority wins.
bool schedule_array(uint32_t property)
{
  return property == PROP_WEEKLY_SCHEDULE || property == PROP_EXCEPTION_SCHEDULE;
}

int check_element(const ListRule& rule, ObjectRecord* record, int32_t index, const BACnetValue* element)
{
  if (schedule_array(rule.property) && (index < 1 || index > 7))
    return PROPERTY_INVALID_ARRAY_INDEX;
  if (element->tag != rule.element_tag)
    return PROPERTY_INVALID_DATA_TYPE;
  if (const auto* destination = value_record<BACnetDestination>(element))
    return destination_validate(destination);
  if (const auto* event = value_record<BACnetSpecialEvent>(element)) {
    if (event->priority < 1 || event->priority > 16)
      return PROPERTY_VALUE_OUT_OF_RANGE;
    return property_check_time_values(event->time_values);
  }
  if (rule.property == PROP_WEEKLY_SCHEDULE) {
    // The day's time values are checked as a write of that day would be.
    const FieldSpec* day = object_field_spec(OBJECT_SCHEDULE, PROP_WEEKLY_SCHEDULE);
    return record && day ? property_check_write(record, *day, index, element) : kOk;
  }
  return kOk;
}

// 0 with the rule, or the refusal.
int network_check(uint32_t type, uint32_t property, const ListRule** rule)
{
  object_SetErrorClass(kErrorClassProperty);
  if (!object_IsListProperty(property) && !schedule_array(property))
    return kPropertyIsNotAList;
  if (type > OBJECT_METER || !object_type_supported(type))
    return PROPERTY_UNKNOWN_OBJECT;
  *rule = rule_of(type, property);
  if (*rule && (*rule)->network)
    return kOk;
  const FieldSpec* field = object_field_spec(type, property);
  if (!field)
    return PROPERTY_UNKNOWN_PROPERTY;
  return object_IsListProperty(property) ? PROPERTY_WRITE_ACCESS_DENIED : kPropertyIsNotAList;
}

int network_change(bool adding, uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, int32_t index,
                   uint8_t ring, BACnetValue* element)
{
  if (!element)
    return PROPERTY_OTHER;
  const ListRule* rule = nullptr;
  if (int rc = network_check(type, property, &rule))
    return rc;
  ObjectRecord* record = object_Find(owner, type, instance);
  if (!record) {
    object_SetErrorClass(kErrorClassObject);
    return PROPERTY_UNKNOWN_OBJECT;
  }
  if (int rc = check_element(*rule, record, index, element))
    return rc;
  if (adding)
    return object_AddListElements(owner, type, instance, property, index, ring, element);
  return object_RemoveListElements(owner, type, instance, property, index, element);
}

}  // namespace

void object_list_erase(BACnetValueArray* array, uint32_t index)
{
  if (!array || index >= array->used)
    return;
  value_free(&array->elements[index]);
  std::memmove(static_cast<void*>(array->elements + index), array->elements + index + 1,
               (array->used - index - 1) * sizeof(BACnetValue));
  value_clear(&array->elements[array->used - 1]);
  --array->used;
  if (array->count > 0)
    --array->count;
}

int object_InsertListElements(ObjectRecord* record, uint32_t, uint32_t type, uint32_t, uint32_t property,
                              int32_t index, uint8_t ring, BACnetValue* element)
{
  const ListRule* rule = rule_of(type, property);
  if (!record || !element || !rule)
    return PROPERTY_OTHER;
  if (element->tag != rule->element_tag)
    return rule->kind == ListKind::WeekDay ? PROPERTY_INVALID_DATA_TYPE : PROPERTY_OTHER;
  switch (rule->kind) {
  case ListKind::Bindings:
    return address_binding_add_from_binding(value_record<BACnetAddressBinding>(element)) == 0 ? kOk : PROPERTY_OTHER;
  case ListKind::WeekDay:
    return change_week_day(record, index, *element, true);
  case ListKind::ActionList: {
    BACnetValueArray* actions = action_list(record, index);
    return actions ? append_copy(actions, *element) : PROPERTY_OTHER;
  }
  default:
    break;
  }
  BACnetValueArray* list = list_of(object_value(record, property), rule->list_tag, true);
  if (!list)
    return PROPERTY_OTHER;
  if (rule->kind == ListKind::LogBuffer)
    return insert_log_record(record, list, ring, *element);
  if (rule->kind == ListKind::Appended)
    return append_copy(list, *element);
  int at = find(list, *element);
  if (at >= 0 && rule->kind == ListKind::SortedUnique)
    return PROPERTY_OTHER;
  if (at >= 0) {
    OwnedValue copy;
    if (value_assign(copy.get(), element, -1) != VALUE_OK)
      return PROPERTY_OTHER;
    value_free(&list->elements[at]);
    list->elements[at] = copy.release();
  } else if (int rc = append_copy(list, *element)) {
    return rc;
  }
  sort(list);
  return kOk;
}

int object_ExtractListElements(ObjectRecord* record, uint32_t, uint32_t type, uint32_t, uint32_t property,
                               int32_t index, BACnetValue* element)
{
  const ListRule* rule = rule_of(type, property);
  if (!record || !element || !rule)
    return PROPERTY_OTHER;
  if (element->tag != rule->element_tag)
    return rule->kind == ListKind::WeekDay ? PROPERTY_INVALID_DATA_TYPE : PROPERTY_OTHER;
  BACnetValueArray* list = nullptr;
  switch (rule->kind) {
  case ListKind::Bindings:
    return address_binding_remove_device(value_record<BACnetAddressBinding>(element)) == 0 ? kOk : PROPERTY_OTHER;
  case ListKind::WeekDay:
    return change_week_day(record, index, *element, false);
  case ListKind::ActionList:
    list = action_list(record, index);
    break;
  default:
    list = list_of(object_value(record, property), 0, false);
    break;
  }
  // The lists kept in the order added may hold events on one day or commands to one property
  // that differ only beyond those keys; a removal takes the one equal to the element given.
  bool appended = rule->kind == ListKind::Appended || rule->kind == ListKind::ActionList;
  int at = find(list, *element, appended ? same_octets : equal);
  if (at < 0)
    return PROPERTY_OTHER;
  object_list_erase(list, uint32_t(at));
  return kOk;
}

int object_AddListElements(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, int32_t index,
                           uint8_t ring, BACnetValue* element)
{
  ObjectRecord* record = object_Find(owner, type, instance);
  if (!record)
    return PROPERTY_OTHER;
  int rc = object_InsertListElements(record, owner, type, instance, property, index, ring, element);
  if (rc == kOk)
    object_SetChanged();
  return rc;
}

int object_RemoveListElements(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, int32_t index,
                              BACnetValue* element)
{
  ObjectRecord* record = object_Find(owner, type, instance);
  if (!record)
    return PROPERTY_OTHER;
  int rc = object_ExtractListElements(record, owner, type, instance, property, index, element);
  if (rc == kOk)
    object_SetChanged();
  return rc;
}

int object_AddListElement(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, int32_t index,
                          uint8_t ring, BACnetValue* element)
{
  return network_change(true, owner, type, instance, property, index, ring, element);
}

int object_RemoveListElement(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, int32_t index,
                             BACnetValue* element)
{
  return network_change(false, owner, type, instance, property, index, 0, element);
}
