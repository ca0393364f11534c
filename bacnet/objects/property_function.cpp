// The one property function of every type: it moves stored fields by their kind (as the
// type table describes them) and runs the handler of the properties that are more than a
// field.
#include <cmath>
#include <cstring>

#include "bacnet/objects/object_hooks.h"
#include "bacnet/objects/property_internal.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace {

uint8_t accessor_direction(const PropertyCall& call) { return call.reading() ? 0 : 1; }

int move_value(PropertyCall& call, BACnetValue* field)
{
  if (call.reading())
    return value_transfer(field, call.value, call.index, 0);
  if (call.index != -1)
    return value_transfer(field, call.value, call.index, 0xFF);
  // A whole value replaces the field, whatever it held before (a schedule's present value
  // goes from NULL to REAL and back).
  OwnedValue copy;
  int rc = value_assign(copy.get(), call.value, -1);
  if (rc != VALUE_OK)
    return rc;
  value_free(field);
  *field = copy.release();
  return VALUE_OK;
}

// ---- Commandable objects -----------------------------------------------------------------

uint32_t value_tag_of_choice(uint8_t choice)
{
  switch (choice) {
  case 1: return TAG_REAL;
  case 2: return TAG_ENUMERATED;
  default: return TAG_UNSIGNED;
  }
}

bool same_payload(const BACnetValue& a, const BACnetValue& b)
{
  return a.tag == b.tag && std::memcmp(&a.payload.unsigned_value, &b.payload.unsigned_value, 4) == 0;
}

// Tells the behaviour engine and the API clients about a present value just written.
void report_change(PropertyCall& call, const BACnetValue& now)
{
  const ObjectHooks& hooks = object_hooks();
  if (hooks.object_timer)
    hooks.object_timer(call.owner, call.record, 0);
  if (!hooks.notify_change)
    return;
  OwnedValue pv;
  if (value_init(pv.get(), TAG_PROPERTY_VALUE) == VALUE_OK) {
    auto* p = value_record<BACnetPropertyValue>(pv.get());
    p->property = PROP_PRESENT_VALUE;
    p->array_index = call.index;
    p->priority = call.priority;
    if (value_assign(&p->value, &now, -1) == VALUE_OK)
      hooks.notify_change(call.owner, call.record->id, pv.get(), call.priority);
  }
}

int command_read(PropertyCall& call)
{
  int rc = object_EvaluatePresentValue(call.record, call.value);
  if (rc != 0)
    return rc;
  uint32_t type = call.record->type;
  if (type == OBJECT_ANALOG_OUTPUT || type == OBJECT_MULTI_STATE_OUTPUT || type == OBJECT_MULTI_STATE_VALUE) {
    if (auto notify = object_hooks().notify_event)
      notify(call.owner, call.record->id);
  }
  return 0;
}

int command_write(PropertyCall& call)
{
  ObjectRecord* record = call.record;
  uint8_t choice = record->spec->command_choice;
  const BACnetValue* in = call.value;
  OwnedValue entry;
  if (value_init(entry.get(), TAG_PRIORITY_VALUE) != VALUE_OK)
    return VALUE_NO_MEMORY;
  auto* pv = value_record<BACnetPriorityValue>(entry.get());
  if (in->tag == TAG_NULL) {
    pv->choice = 0;
  } else if (choice == 1 && in->tag == TAG_REAL) {
    pv->choice = 1;
    pv->real = in->payload.real;
  } else if (choice == 2 && in->tag == TAG_ENUMERATED) {
    pv->choice = 2;
    pv->enumerated = in->payload.enumerated;
  } else if (choice == 3 && (in->tag == TAG_UNSIGNED || in->tag == TAG_ENUMERATED)) {
    // The stack's own writers may hand a multi-state output an ENUMERATED state.
    pv->choice = 3;
    pv->unsigned_value = in->payload.unsigned_value;
  } else {
    return 1;
  }
  uint32_t slot = call.priority == 0 || call.priority > 16 ? 16 : call.priority;

  uint32_t* stored = object_word(record, PROP_PRESENT_VALUE);
  uint32_t last_stored = stored ? *stored : 0;
  OwnedValue before;
  if (choice == 2)
    object_EvaluatePresentValue(record, before.get());
  int rc = value_assign(object_value(record, PROP_PRIORITY_ARRAY), entry.get(), static_cast<int32_t>(slot));
  if (rc != 0)
    return rc;
  OwnedValue now;
  object_EvaluatePresentValue(record, now.get());

  uint32_t* reliability = object_word(record, PROP_RELIABILITY);
  bool unreliable = reliability && *reliability != 0;
  bool report = false;
  if (choice == 1) {
    ObjectEngineState* engine = object_engine(record);
    float* increment = object_real(record, PROP_COV_INCREMENT);
    report = unreliable || (now->tag == TAG_REAL && engine && increment &&
                            std::fabs(now->payload.real - engine->reported_value) > *increment);
    if (report && engine && now->tag == TAG_REAL)
      engine->reported_value = now->payload.real;
  } else if (choice == 3) {
    report = unreliable || (now->tag == TAG_UNSIGNED && now->payload.unsigned_value != last_stored);
  } else {
    report = before->tag == TAG_ENUMERATED && now->tag == TAG_ENUMERATED && !same_payload(*before, *now);
  }
  if (report)
    report_change(call, *now);
  return 0;
}

int command_value(PropertyCall& call) { return call.reading() ? command_read(call) : command_write(call); }

// ---- Other handlers ----------------------------------------------------------------------

int meter_value(PropertyCall& call)
{
  uint32_t* stored = object_word(call.record, PROP_PRESENT_VALUE);
  if (!call.reading())
    return value_put_unsigned(stored, call.value, 1);
  uint32_t reliability = *object_word(call.record, PROP_RELIABILITY);
  if (reliability >= 1 && reliability <= 10)
    return 1;
  if (reliability == 501)
    return 31;
  if (reliability == 502)
    return 501;
  return value_set_unsigned(stored, call.value);
}

int stamp_after_write(PropertyCall& call, uint32_t stamped)
{
  int rc = property_move_field(call);
  if (rc == 0 && !call.reading())
    time_now_to_bacnet(object_datetime(call.record, stamped));
  return rc;
}

int recipient_or_null(PropertyCall& call)
{
  BACnetRecipient* recipient = object_recipient(call.record, call.property);
  if (call.reading() && recipient->choice == -1) {
    value_free(call.value);
    return 0;
  }
  if (!call.reading() && call.value->tag == TAG_NULL) {
    recipient_free(recipient);
    recipient->choice = -1;
    return 0;
  }
  return property_move_field(call);
}

int reset_samples(PropertyCall& call)
{
  if (call.reading())
    return property_move_field(call);
  *object_word(call.record, call.property) = 0;
  return 0;
}

int read_denied(PropertyCall& call)
{
  if (call.field->kind == FieldKind::Computed)
    return PROPERTY_READ_ACCESS_DENIED;
  return property_move_field(call);
}

const char* file_name_of(ObjectRecord* record)
{
  BACnetValue* name = object_value(record, PROP_FILE_NAME);
  if (!name || name->tag != TAG_CHARACTER_STRING || !name->payload.text || !name->payload.text[0])
    return nullptr;
  return name->payload.text;
}

int file_size(PropertyCall& call)
{
  const char* name = file_name_of(call.record);
  if (!call.reading() || !name)
    return 1;
  int64_t length = file_get_length(name);
  if (length < 0 || length > 0xFFFFFFFFll)
    return 1;
  uint32_t octets = static_cast<uint32_t>(length);
  return value_set_unsigned(&octets, call.value);
}

int file_modified(PropertyCall& call)
{
  if (!call.reading())
    return 1;
  // Without a file there is no date to give: other, as for the size.
  const char* name = file_name_of(call.record);
  if (!name)
    return 1;
  BACnetDateTime when{};
  int rc = file_get_modification_date(name, &when);
  if (rc != 0)
    return rc;
  return value_set_datetime(&when, call.value);
}

// ---- Trend Log ---------------------------------------------------------------------------

constexpr uint32_t kLogDisabledBit = 0;
constexpr uint32_t kBufferPurgedBit = 1;

void empty_log_buffer(ObjectRecord* record)
{
  BACnetValue* buffer = object_value(record, PROP_LOG_BUFFER);
  value_free(buffer);
  value_init(buffer, TAG_LOG_BUFFER);
}

// Adds a record to the log buffer; with `ring` a full buffer drops its oldest record.
// Every added record counts in the total and since the last notification.
int trendlog_add_record(ObjectRecord* record, BACnetValue* log_record, bool ring)
{
  BACnetValue* buffer = object_value(record, PROP_LOG_BUFFER);
  BACnetValueArray* array = value_array(buffer);
  if (!array)
    return 1;
  uint32_t size = *object_word(record, PROP_BUFFER_SIZE);
  if (ring && array->used > 0 && array->used >= size) {
    value_free(&array->elements[0]);
    std::memmove(static_cast<void*>(array->elements), array->elements + 1, (array->used - 1) * sizeof(BACnetValue));
    value_clear(&array->elements[array->used - 1]);
    --array->used;
    --array->count;
  }
  int rc = value_array_append(array, log_record);
  if (rc != VALUE_OK)
    return rc;
  ++*object_word(record, PROP_TOTAL_RECORD_COUNT);
  ++*object_word(record, PROP_RECORDS_SINCE_NOTIFICATION);
  return 0;
}

int add_status_record(ObjectRecord* record, uint32_t bit, uint8_t set, bool ring)
{
  OwnedValue entry;
  int rc = value_init(entry.get(), TAG_LOG_RECORD);
  if (rc == VALUE_OK) {
    auto* log = value_record<BACnetLogRecord>(entry.get());
    time_now_to_bacnet(&log->timestamp);
    log->choice = 0;
    uint8_t status[2] = {0, 0};
    status[bit] = set;
    rc = bitstring_set(&log->bits, status, 2);
  }
  if (rc == VALUE_OK)
    rc = trendlog_add_record(record, entry.get(), ring);
  return rc;
}

int trendlog_enable(PropertyCall& call)
{
  int rc = property_move_field(call);
  if (rc != 0 || call.reading())
    return rc;
  if (*object_word(call.record, PROP_BUFFER_SIZE) != 0)
    add_status_record(call.record, kLogDisabledBit, *object_boolean(call.record, PROP_LOG_ENABLE) ? 0 : 1, true);
  return 0;
}

int trendlog_buffer_size(PropertyCall& call)
{
  if (call.reading())
    return property_move_field(call);
  if (*object_boolean(call.record, PROP_LOG_ENABLE))
    return PROPERTY_WRITE_ACCESS_DENIED;
  int rc = property_move_field(call);
  if (rc != 0)
    return rc;
  empty_log_buffer(call.record);
  if (*object_word(call.record, PROP_BUFFER_SIZE) != 0)
    add_status_record(call.record, kBufferPurgedBit, 1, false);
  return 0;
}

int trendlog_reference(PropertyCall& call)
{
  if (!call.reading())
    empty_log_buffer(call.record);
  return property_move_field(call);
}

int trendlog_record_count(PropertyCall& call)
{
  const BACnetValueArray* array = value_array(object_value(call.record, PROP_LOG_BUFFER));
  if (call.reading()) {
    uint32_t used = array ? array->used : 0;
    return value_set_unsigned(&used, call.value);
  }
  empty_log_buffer(call.record);
  *object_word(call.record, PROP_RECORDS_SINCE_NOTIFICATION) = 0;
  if (*object_word(call.record, PROP_BUFFER_SIZE) != 0)
    add_status_record(call.record, kBufferPurgedBit, 1, false);
  return 0;
}

int run_handler(PropertyCall& call)
{
  switch (call.field->handler) {
  case Handler::CommandValue: return command_value(call);
  case Handler::MeterValue: return meter_value(call);
  case Handler::StampStateCount: return stamp_after_write(call, PROP_TIME_OF_STATE_COUNT_RESET);
  case Handler::StampActiveTime: return stamp_after_write(call, PROP_TIME_OF_ACTIVE_TIME_RESET);
  case Handler::RecipientOrNull: return recipient_or_null(call);
  case Handler::ResetSamples: return reset_samples(call);
  case Handler::ReadDenied: return read_denied(call);
  case Handler::FileSize: return file_size(call);
  case Handler::FileModified: return file_modified(call);
  case Handler::TrendLogEnable: return trendlog_enable(call);
  case Handler::TrendLogBufferSize: return trendlog_buffer_size(call);
  case Handler::TrendLogReference: return trendlog_reference(call);
  case Handler::TrendLogRecordCount: return trendlog_record_count(call);
  case Handler::None: return property_move_field(call);
  default: return device_handler(call.field->handler, call);
  }
}

// ---- Property lists ----------------------------------------------------------------------

bool event_rows_listed(ObjectRecord* record)
{
  switch (record->spec->gate) {
  case EventGate::RecordSwitch: return object_reporting_on(record);
  case EventGate::LoopSwitch: return object_LoopEventSwitch() != 0;
  default: return true;
  }
}

int append_identifier(BACnetValue* list, uint32_t property)
{
  OwnedValue element;
  value_set_enumerated(&property, element.get());
  return value_array_append(list->payload.array, element.get());
}

}  // namespace

// ---- Public ------------------------------------------------------------------------------

int trendlog_add_status_record(ObjectRecord* record, uint32_t bit, uint8_t set, bool ring)
{
  return add_status_record(record, bit, set, ring);
}

int property_move_field(PropertyCall& call)
{
  ObjectRecord* record = call.record;
  const FieldSpec& f = *call.field;
  uint8_t d = accessor_direction(call);
  if (f.kind == FieldKind::HeadType || f.kind == FieldKind::HeadId) {
    if (!call.reading())
      return 1;
    if (f.kind == FieldKind::HeadType)
      return value_set_enumerated(&record->type, call.value);
    return value_set_objectid(&record->id, call.value);
  }
  if (f.kind == FieldKind::HeadName)
    return move_value(call, &record->name);
  void* field = object_field(record, f);
  if (!field)
    return 1;
  switch (f.kind) {
  case FieldKind::Unsigned:
  case FieldKind::Word: return value_put_unsigned(static_cast<uint32_t*>(field), call.value, d);
  case FieldKind::Enumerated: return value_put_enumerated(static_cast<uint32_t*>(field), call.value, d);
  case FieldKind::Real: return value_put_real(static_cast<float*>(field), call.value, d);
  case FieldKind::Boolean: return value_put_boolean(static_cast<uint8_t*>(field), call.value, d);
  case FieldKind::BitString: return value_put_bitstring(static_cast<BitString*>(field), call.value, d);
  case FieldKind::Value: return move_value(call, static_cast<BACnetValue*>(field));
  case FieldKind::DateTime: return value_put_tag22(static_cast<BACnetDateTime*>(field), call.value, d);
  case FieldKind::DateRange: return value_put_tag24(static_cast<BACnetDateRange*>(field), call.value, d);
  case FieldKind::Reference:
    return value_put_tag36(static_cast<BACnetDeviceObjectPropertyReference*>(field), call.value, d);
  case FieldKind::TimeStamp: return value_put_tag27(static_cast<BACnetTimeStamp*>(field), call.value, d);
  case FieldKind::EventParameter: return value_put_tag51(static_cast<BACnetEventParameter*>(field), call.value, d);
  case FieldKind::Recipient: return value_put_tag30(static_cast<BACnetRecipient*>(field), call.value, d);
  default: return 1;
  }
}

int object_PropertyFunction(int32_t network, uint32_t owner, ObjectRecord* record, uint32_t property, int32_t index,
                            uint8_t direction, BACnetValue* value, uint32_t priority)
{
  if (!record || !record->spec || !value)
    return 1;
  if (property == PROP_ALL || property == PROP_OPTIONAL || property == PROP_REQUIRED) {
    if (direction != PROPERTY_READ)
      return 1;
    OwnedValue list;
    int rc = object_PropertyList(record, property, list.get());
    if (rc == 0)
      rc = value_transfer(list.get(), value, index, 0);
    return rc;
  }
  const FieldSpec* field = object_field_spec(*record->spec, property);
  if (!field)
    return PROPERTY_UNKNOWN_PROPERTY;
  PropertyCall call{network, owner, record, field, property, index, direction, value, priority};
  return run_handler(call);
}

int object_PropertyList(ObjectRecord* record, uint32_t which, BACnetValue* result)
{
  if (!record || !record->spec || !result)
    return 1;
  value_free(result);
  int rc = value_init(result, TAG_LIST);
  if (rc != VALUE_OK) {
    value_free(result);
    return rc;
  }
  for (uint32_t head : {PROP_OBJECT_IDENTIFIER, PROP_OBJECT_NAME, PROP_OBJECT_TYPE})
    if (which != PROP_OPTIONAL && rc == VALUE_OK)
      rc = append_identifier(result, head);
  uint8_t wanted = which == PROP_ALL ? (FIELD_REQUIRED | FIELD_OPTIONAL)
                   : which == PROP_REQUIRED ? FIELD_REQUIRED : FIELD_OPTIONAL;
  bool with_events = which != PROP_REQUIRED && event_rows_listed(record);
  for (const FieldSpec& f : record->spec->fields) {
    bool head = f.kind == FieldKind::HeadType || f.kind == FieldKind::HeadId || f.kind == FieldKind::HeadName;
    if (!head && (f.flags & wanted) && !(f.flags & FIELD_EVENT) && rc == VALUE_OK)
      rc = append_identifier(result, f.property);
  }
  for (const FieldSpec& f : record->spec->fields)
    if (with_events && (f.flags & FIELD_EVENT) && rc == VALUE_OK)
      rc = append_identifier(result, f.property);
  return rc;
}

int object_EvaluatePresentValue(ObjectRecord* record, BACnetValue* value)
{
  if (!record || !record->spec || !value || record->spec->command_choice == 0)
    return 1;
  uint8_t choice = record->spec->command_choice;
  uint32_t tag = value_tag_of_choice(choice);
  value_free(value);
  const BACnetValueArray* array = value_array(object_value(record, PROP_PRIORITY_ARRAY));
  for (uint32_t i = 0; array && i < array->used && i < 16; ++i) {
    auto* pv = value_record<BACnetPriorityValue>(&array->elements[i]);
    if (pv && pv->choice == choice) {
      value->tag = tag;
      value->payload.unsigned_value = pv->unsigned_value;
      if (uint32_t* stored = object_word(record, PROP_PRESENT_VALUE))
        *stored = pv->unsigned_value;
      return 0;
    }
  }
  value->tag = tag;
  if (choice == 1)
    value->payload.real = *object_real(record, PROP_RELINQUISH_DEFAULT);
  else
    value->payload.unsigned_value = *object_word(record, PROP_RELINQUISH_DEFAULT);
  if (uint32_t* stored = object_word(record, PROP_PRESENT_VALUE))
    *stored = value->payload.unsigned_value;
  return 0;
}
