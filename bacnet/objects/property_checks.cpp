// The network's write checks: each row's WriteRule (object_types.cpp) names the rule; the
// custom checkers below serve the properties whose values are lists or records.
#include "bacnet/objects/property_internal.h"
#include "bacnet/value/value.h"

namespace {

constexpr int kOk = 0;

bool out_of_service(ObjectRecord* record)
{
  uint8_t* oos = object_boolean(record, PROP_OUT_OF_SERVICE);
  return oos && *oos;
}

uint32_t number_of_states(ObjectRecord* record)
{
  uint32_t* n = object_word(record, PROP_NUMBER_OF_STATES);
  return n ? *n : 0;
}

bool state_in_range(ObjectRecord* record, uint32_t state) { return state >= 1 && state <= number_of_states(record); }

// The value rule of a present value by its tag: binary 0 or 1, a state within the object's
// number of states, any REAL.
int present_value_range(ObjectRecord* record, const BACnetValue* value)
{
  if (value->tag == TAG_ENUMERATED && value->payload.enumerated > 1)
    return PROPERTY_VALUE_OUT_OF_RANGE;
  if (value->tag == TAG_UNSIGNED && !state_in_range(record, value->payload.unsigned_value))
    return PROPERTY_VALUE_OUT_OF_RANGE;
  return kOk;
}

const BACnetValueArray* list_of(const BACnetValue* value, uint32_t tag)
{
  return value->tag == tag ? value_array(value) : nullptr;
}

bool schedule_locked(ObjectRecord* record)
{
  uint32_t* lock = object_word(record, FIELD_SCHEDULE_LOCK);
  return lock && *lock != 0;
}

// ---- Custom checkers (numbered as in object_types.cpp) -----------------------------------

int check_date_list(const BACnetValue* value, int32_t index)
{
  if (index == 0)
    return PROPERTY_INVALID_ARRAY_INDEX;
  if (index > 0) {
    auto* entry = value_record<BACnetCalendarEntry>(value);
    return entry ? calendar_entry_validate(entry) : PROPERTY_INVALID_DATA_TYPE;
  }
  const BACnetValueArray* array = list_of(value, TAG_CALENDAR_ENTRY_LIST);
  if (!array)
    return PROPERTY_INVALID_DATA_TYPE;
  for (uint32_t i = 0; i < array->used; ++i) {
    auto* entry = value_record<BACnetCalendarEntry>(&array->elements[i]);
    if (!entry)
      return PROPERTY_INVALID_DATA_TYPE;
    if (int rc = calendar_entry_validate(entry))
      return rc;
  }
  return kOk;
}

int check_small_unsigned(const BACnetValue* v)
{
  if (v->tag != TAG_UNSIGNED)
    return PROPERTY_INVALID_DATA_TYPE;
  return v->payload.unsigned_value > 255 ? PROPERTY_VALUE_OUT_OF_RANGE : kOk;
}

int check_nc_priority(const BACnetValue* value, int32_t index)
{
  if (index >= 0) {
    if (value->tag == TAG_UNSIGNED_LIST)
      return PROPERTY_INCONSISTENT_PARAMETERS;
    if (index < 1 || index > 3)
      return PROPERTY_INVALID_ARRAY_INDEX;
    return check_small_unsigned(value);
  }
  const BACnetValueArray* array = list_of(value, TAG_UNSIGNED_LIST);
  if (!array)
    return PROPERTY_INVALID_DATA_TYPE;
  if (array->used != 3)
    return PROPERTY_VALUE_OUT_OF_RANGE;
  for (uint32_t i = 0; i < 3; ++i)
    if (int rc = check_small_unsigned(&array->elements[i]))
      return rc;
  return kOk;
}

int check_recipient_list(const BACnetValue* value, int32_t index)
{
  if (index > 0) {
    auto* d = value_record<BACnetDestination>(value);
    return d ? destination_validate(d) : PROPERTY_INVALID_DATA_TYPE;
  }
  const BACnetValueArray* array = list_of(value, TAG_DESTINATION_LIST);
  if (!array)
    return PROPERTY_INVALID_DATA_TYPE;
  for (uint32_t i = 0; i < array->used; ++i) {
    auto* d = value_record<BACnetDestination>(&array->elements[i]);
    if (!d)
      return PROPERTY_INVALID_DATA_TYPE;
    if (int rc = destination_validate(d))
      return rc;
  }
  return kOk;
}

int check_special_event(const BACnetValue* value)
{
  auto* event = value_record<BACnetSpecialEvent>(value);
  return event ? special_event_validate(event) : PROPERTY_INVALID_DATA_TYPE;
}

int check_exception_schedule(const BACnetValue* value, int32_t index)
{
  if (index == 0)
    return value->tag == TAG_UNSIGNED ? kOk : PROPERTY_INVALID_DATA_TYPE;
  if (index > 0)
    return check_special_event(value);
  const BACnetValueArray* array = list_of(value, TAG_SPECIAL_EVENT_LIST);
  if (!array)
    return PROPERTY_INVALID_DATA_TYPE;
  for (uint32_t i = 0; i < array->used; ++i)
    if (int rc = check_special_event(&array->elements[i]))
      return rc;
  return kOk;
}

int check_reference_list(const BACnetValue* value, int32_t index)
{
  if (index == 0)
    return PROPERTY_INVALID_DATA_TYPE;
  uint32_t wanted = index > 0 ? TAG_DEVICE_OBJECT_PROPERTY_REFERENCE : TAG_REFERENCE_LIST;
  return value->tag == wanted ? kOk : PROPERTY_INVALID_DATA_TYPE;
}

bool schedule_value_tag(uint32_t tag)
{
  return tag == TAG_NULL || tag == TAG_BOOLEAN || tag == TAG_UNSIGNED || tag == TAG_SIGNED || tag == TAG_REAL ||
         tag == TAG_ENUMERATED;
}

int check_time_value(const BACnetValue* value)
{
  auto* tv = value_record<BACnetTimeValue>(value);
  if (!tv)
    return PROPERTY_INVALID_DATA_TYPE;
  if (int rc = time_validate(&tv->time))
    return rc;
  return schedule_value_tag(tv->value.tag) ? kOk : PROPERTY_DATATYPE_NOT_SUPPORTED;
}

int check_daily_schedule(const BACnetValue* value)
{
  auto* day = value_record<BACnetDailySchedule>(value);
  return day ? property_check_time_values(day->day_schedule) : PROPERTY_INVALID_DATA_TYPE;
}

int check_weekly_schedule(const BACnetValue* value, int32_t index)
{
  if (index == 0 || index > 7)
    return PROPERTY_INVALID_ARRAY_INDEX;
  if (index > 0)
    return check_daily_schedule(value);
  const BACnetValueArray* array = list_of(value, TAG_DAILY_SCHEDULE_LIST);
  if (!array)
    return PROPERTY_INVALID_DATA_TYPE;
  if (array->used != 7)
    return PROPERTY_VALUE_OUT_OF_RANGE;
  for (uint32_t i = 0; i < 7; ++i) {
    if (array->elements[i].tag != TAG_DAILY_SCHEDULE)
      return PROPERTY_INCONSISTENT_PARAMETERS;
    if (int rc = check_daily_schedule(&array->elements[i]))
      return rc;
  }
  return kOk;
}

int check_datetime(const BACnetValue* value)
{
  auto* dt = value_record<BACnetDateTime>(value);
  return dt ? datetime_validate(dt) : PROPERTY_INVALID_DATA_TYPE;
}

int check_sync_recipients(const BACnetValue* value, int32_t index)
{
  if (index == 0)
    return PROPERTY_WRITE_ACCESS_DENIED;
  uint32_t wanted = index > 0 ? TAG_RECIPIENT : TAG_RECIPIENT_LIST;
  return value->tag == wanted ? kOk : PROPERTY_INVALID_DATA_TYPE;
}

int check_custom(ObjectRecord* record, uint32_t checker, int32_t index, const BACnetValue* value)
{
  switch (checker) {
  case 1: return check_date_list(value, index);
  case 2: return check_nc_priority(value, index);
  case 3: return check_recipient_list(value, index);
  case 4:
    if (schedule_locked(record))
      return PROPERTY_WRITE_ACCESS_DENIED;
    return value_record<BACnetDateRange>(value) ? daterange_validate(value_record<BACnetDateRange>(value))
                                                : PROPERTY_INVALID_DATA_TYPE;
  case 5:
    return schedule_locked(record) ? PROPERTY_WRITE_ACCESS_DENIED : check_exception_schedule(value, index);
  case 6:
    return schedule_locked(record) ? PROPERTY_WRITE_ACCESS_DENIED : check_reference_list(value, index);
  case 7:
    if (schedule_locked(record))
      if (int rc = driver_write_hook())
        return rc;
    return check_weekly_schedule(value, index);
  case 8: return schedule_value_tag(value->tag) ? kOk : PROPERTY_DATATYPE_NOT_SUPPORTED;
  case 9: {
    uint8_t* enabled = object_boolean(record, PROP_LOG_ENABLE);
    if (enabled && *enabled)
      return PROPERTY_WRITE_ACCESS_DENIED;
    return value->tag == TAG_DEVICE_OBJECT_PROPERTY_REFERENCE ? kOk : PROPERTY_INVALID_DATA_TYPE;
  }
  case 10: return check_datetime(value);
  case 11: return check_sync_recipients(value, index);
  default: return PROPERTY_OTHER;
  }
}

int check_unsigned_range(const BACnetValue* value, uint32_t low, uint32_t high)
{
  if (value->tag != TAG_UNSIGNED)
    return PROPERTY_INVALID_DATA_TYPE;
  uint32_t n = value->payload.unsigned_value;
  return n < low || n > high ? PROPERTY_VALUE_OUT_OF_RANGE : kOk;
}

}  // namespace

int property_check_time_values(const BACnetValue& times)
{
  if (times.tag == TAG_NULL)
    return kOk;
  if (times.tag == TAG_TIME_VALUE)
    return check_time_value(&times);
  const BACnetValueArray* array = list_of(&times, TAG_TIME_VALUE_LIST);
  if (!array)
    return PROPERTY_INVALID_DATA_TYPE;
  for (uint32_t i = 0; i < array->used; ++i)
    if (int rc = check_time_value(&array->elements[i]))
      return rc;
  return kOk;
}

int property_check_write(ObjectRecord* record, const FieldSpec& field, int32_t index, const BACnetValue* value)
{
  const WriteRule& w = field.write;
  switch (w.kind) {
  case WriteKind::Unknown: return PROPERTY_UNKNOWN_PROPERTY;
  case WriteKind::ReadOnly: return PROPERTY_WRITE_ACCESS_DENIED;
  case WriteKind::Tag: return value->tag == w.tag ? kOk : PROPERTY_INVALID_DATA_TYPE;
  case WriteKind::UnsignedMax: return check_unsigned_range(value, 0, w.high);
  case WriteKind::UnsignedRange: return check_unsigned_range(value, w.low, w.high);
  case WriteKind::Real: return value->tag == TAG_REAL ? kOk : PROPERTY_INVALID_DATA_TYPE;
  case WriteKind::RealNotNegative:
    if (value->tag != TAG_REAL)
      return PROPERTY_INVALID_DATA_TYPE;
    return value->payload.real >= 0.0f ? kOk : PROPERTY_VALUE_OUT_OF_RANGE;
  case WriteKind::RealZero:
    if (value->tag != TAG_REAL)
      return PROPERTY_INVALID_DATA_TYPE;
    return value->payload.real == 0.0f ? kOk : PROPERTY_VALUE_OUT_OF_RANGE;
  case WriteKind::Bits:
    if (value->tag != TAG_BIT_STRING)
      return PROPERTY_INVALID_DATA_TYPE;
    return value->payload.bits.count == w.low ? kOk : static_cast<int>(w.high);
  case WriteKind::EnumeratedBinary:
    if (value->tag != TAG_ENUMERATED)
      return PROPERTY_INVALID_DATA_TYPE;
    return value->payload.enumerated <= 1 ? kOk : PROPERTY_VALUE_OUT_OF_RANGE;
  case WriteKind::Reliability: {
    if (!out_of_service(record))
      return PROPERTY_WRITE_ACCESS_DENIED;
    if (value->tag != TAG_ENUMERATED)
      return PROPERTY_INVALID_DATA_TYPE;
    uint32_t r = value->payload.enumerated;
    return r < 32 && (record->spec->reliability_set >> r & 1) ? kOk : PROPERTY_VALUE_OUT_OF_RANGE;
  }
  case WriteKind::InputValue:
    if (!out_of_service(record))
      return PROPERTY_WRITE_ACCESS_DENIED;
    if (value->tag != w.tag)
      return PROPERTY_INVALID_DATA_TYPE;
    return present_value_range(record, value);
  case WriteKind::CommandValue:
    if (value->tag == TAG_NULL)
      return kOk;
    if (value->tag != w.tag)
      return PROPERTY_INVALID_DATA_TYPE;
    return present_value_range(record, value);
  case WriteKind::State:
    if (value->tag != TAG_UNSIGNED)
      return PROPERTY_INVALID_DATA_TYPE;
    return state_in_range(record, value->payload.unsigned_value) ? kOk : PROPERTY_VALUE_OUT_OF_RANGE;
  case WriteKind::StateList: {
    const BACnetValueArray* array = list_of(value, TAG_UNSIGNED_LIST);
    if (!array)
      return PROPERTY_INVALID_DATA_TYPE;
    for (uint32_t i = 0; i < array->used; ++i) {
      if (array->elements[i].tag != TAG_UNSIGNED)
        return PROPERTY_INVALID_DATA_TYPE;
      if (!state_in_range(record, array->elements[i].payload.unsigned_value))
        return PROPERTY_VALUE_OUT_OF_RANGE;
    }
    return kOk;
  }
  case WriteKind::RecipientOrNull:
    return value->tag == TAG_NULL || value->tag == TAG_RECIPIENT ? kOk : PROPERTY_INVALID_DATA_TYPE;
  case WriteKind::OutOfServiceOnly:
    return out_of_service(record) ? kOk : PROPERTY_WRITE_ACCESS_DENIED;
  case WriteKind::Custom: return check_custom(record, w.low, index, value);
  }
  return PROPERTY_OTHER;
}

int property_check_remote_write(uint32_t property, const BACnetValue* value)
{
  switch (property) {
  case PROP_SEGMENTATION_SUPPORTED:
  case PROP_SYSTEM_STATUS: return value->tag == TAG_ENUMERATED ? kOk : PROPERTY_INVALID_DATA_TYPE;
  case PROP_VENDOR_IDENTIFIER:
  case 573:
  case 574: return value->tag == TAG_UNSIGNED ? kOk : PROPERTY_INVALID_DATA_TYPE;
  case 571: return value->tag == TAG_ADDRESS ? kOk : PROPERTY_INVALID_DATA_TYPE;
  case PROP_OBJECT_IDENTIFIER:
  case PROP_OBJECT_NAME:
  case PROP_OBJECT_TYPE: return PROPERTY_WRITE_ACCESS_DENIED;
  default: return PROPERTY_UNKNOWN_PROPERTY;
  }
}
