#include "bacnet/codec/codec_constructed.h"

#include "bacnet/codec/codec_events.h"
#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_property_values.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

#include <cstring>
#include <utility>

using namespace pdu_fields;

namespace {

constexpr uint32_t kNoObject = 999;

// ---- Small field helpers -----------------------------------------------------------------

// A primitive field of a known datatype: the datatype's application tag (tag -1) or context
// tag `tag`, nothing else.
int decode_field(pdu_buffer* buffer, int tag, uint32_t datatype, BACnetValue* value)
{
  PduElement element;
  if (pdu_peek_element(buffer, &element) != 0)
    return PDU_MALFORMED;
  if (tag < 0 ? (element.context || element.tag_number != datatype) : (!element.context || element.tag_number != tag))
    return PDU_MALFORMED;
  value_free(value);
  value->tag = datatype;
  return pdu_decode_value(buffer, value, tag);
}

// A primitive with context tag n, or the same datatype application-tagged inside [n]{ }.
int decode_maybe_wrapped(pdu_buffer* buffer, uint8_t n, uint32_t datatype, BACnetValue* value)
{
  if (pdu_next_is(buffer, pdu_opening_tag(n))) {
    buffer->pos++;
    int result = decode_field(buffer, -1, datatype, value);
    if (result != 0)
      return result;
    return pdu_decode_closing_tag(buffer, n);
  }
  return decode_field(buffer, n, datatype, value);
}

int read_date(pdu_buffer* buffer, int tag, BACnetDate* date)
{
  return pdu_read_date(buffer, tag, &date->year);
}

int read_time(pdu_buffer* buffer, int tag, BACnetTime* time)
{
  return pdu_read_time(buffer, tag, &time->hour);
}

// ---- Dispatch of pdu_encode_value over constructed tags ----------------------------------

template <class Record, int (*Encode)(pdu_buffer*, const Record*)>
int encode_record(pdu_buffer* buffer, const BACnetValue* value, int)
{
  const Record* record = value_record<Record>(value);
  return record ? Encode(buffer, record) : PDU_ENCODE_FAILED;
}

int encode_list_value(pdu_buffer* buffer, const BACnetValue* value, int)
{
  return pdu_encode_list(buffer, value);
}

// Each action list of the action property stands in its own [0]{ }.
int encode_action_lists(pdu_buffer* buffer, const BACnetValue* value, int)
{
  BACnetValueArray* array = value_array(value);
  if (!array)
    return PDU_ENCODE_FAILED;
  for (uint32_t i = 0; i < array->used; ++i) {
    if (pdu_write_opening_tag(buffer, 0) != 0 || pdu_encode_value(buffer, &array->elements[i], -1) != 0 ||
        pdu_write_closing_tag(buffer, 0) != 0)
      return PDU_ENCODE_FAILED;
  }
  return 0;
}

int encode_any_value(pdu_buffer* buffer, const BACnetValue* value, int tag)
{
  const AnyValue* record = value_record<AnyValue>(value);
  return record ? pdu_encode_value(buffer, &record->value, tag) : PDU_ENCODE_FAILED;
}

int encode_weeknday_record(pdu_buffer* buffer, const BACnetWeekNDay* weeknday)
{
  return pdu_encode_weeknday(buffer, weeknday);
}

using ValueEncoder = int (*)(pdu_buffer*, const BACnetValue*, int);
struct ConstructedEncoder {
  uint32_t tag;
  ValueEncoder encode;
};

constexpr ConstructedEncoder kEncoders[] = {
    {TAG_ADDRESS, encode_record<BACnetAddressValue, pdu_encode_address>},
    {TAG_DATETIME, encode_record<BACnetDateTime, pdu_encode_datetime>},
    {TAG_CALENDAR_ENTRY, encode_record<BACnetCalendarEntry, pdu_encode_calendar_entry>},
    {TAG_DATE_RANGE, encode_record<BACnetDateRange, pdu_encode_date_range>},
    {TAG_WEEKNDAY, encode_record<BACnetWeekNDay, encode_weeknday_record>},
    {TAG_TIME_VALUE, encode_record<BACnetTimeValue, pdu_encode_time_value>},
    {TAG_TIMESTAMP, encode_record<BACnetTimeStamp, pdu_encode_timestamp>},
    {TAG_ACTION_COMMAND, encode_record<BACnetActionCommand, pdu_encode_action_command>},
    {TAG_SESSION_KEY, encode_record<BACnetSessionKey, pdu_encode_session_key>},
    {TAG_RECIPIENT, encode_record<BACnetRecipient, pdu_encode_recipient>},
    {TAG_RECIPIENT_PROCESS, encode_record<BACnetRecipientProcess, pdu_encode_recipient_process>},
    {TAG_ADDRESS_BINDING, encode_record<BACnetAddressBinding, pdu_encode_address_binding>},
    {TAG_OBJECT_PROPERTY_REFERENCE, encode_record<BACnetObjectPropertyReference, pdu_encode_object_property_reference>},
    {TAG_DEVICE_OBJECT_PROPERTY_REFERENCE,
     encode_record<BACnetDeviceObjectPropertyReference, pdu_encode_device_object_property_reference>},
    {TAG_LOG_RECORD, encode_record<BACnetLogRecord, pdu_encode_log_record>},
    {TAG_READ_ACCESS_SPECIFICATION, encode_record<ReadAccessSpecification, pdu_encode_read_access_specification>},
    {TAG_WRITE_ACCESS_SPECIFICATION, encode_record<WriteAccessSpecification, pdu_encode_write_access_specification>},
    {TAG_READ_ACCESS_RESULT, encode_record<ReadAccessResult, pdu_encode_read_access_result>},
    {TAG_READ_ACCESS_RESULT_ELEMENT, encode_record<ReadAccessResultElement, pdu_encode_read_access_result_element>},
    {TAG_PROPERTY_REFERENCE, encode_record<BACnetPropertyReference, pdu_encode_property_reference>},
    {TAG_DESTINATION, encode_record<BACnetDestination, pdu_encode_destination>},
    {TAG_DAILY_SCHEDULE, encode_record<BACnetDailySchedule, pdu_encode_daily_schedule>},
    {TAG_SPECIAL_EVENT, encode_record<BACnetSpecialEvent, pdu_encode_special_event>},
    {TAG_PRIORITY_VALUE, encode_record<BACnetPriorityValue, pdu_encode_priority_value>},
    {TAG_PROPERTY_VALUE, encode_record<BACnetPropertyValue, pdu_encode_property_value>},
    {TAG_PROPERTY_STATES, encode_record<BACnetPropertyStates, pdu_encode_property_states>},
    {TAG_EVENT_PARAMETER, encode_record<BACnetEventParameter, pdu_encode_event_parameter>},
    {TAG_NOTIFICATION_PARAMETERS, encode_record<BACnetNotificationParameters, pdu_encode_notification_parameters>},
    {TAG_PROPERTY_CONDITION, encode_record<PropertyCondition, pdu_encode_selection_criterion>},
    {TAG_COV_INCREMENT, encode_record<BACnetCOVIncrement, pdu_encode_client_cov>},
    {TAG_OBJECT_PROPERTY_VALUE, encode_record<BACnetObjectPropertyValue, pdu_encode_object_property_value>},
    {TAG_ANY_VALUE, encode_any_value},
    {TAG_TAGGED_DATA, encode_record<TaggedData, pdu_encode_tagged_data>},
    {TAG_ACTION_LIST_LIST, encode_action_lists},
    {TAG_COV_SUBSCRIPTION, encode_record<CovSubscription, pdu_encode_cov_subscription>},
};

bool written_as_list(uint32_t tag)
{
  return tag == TAG_LIST || tag == TAG_PRIORITY_ARRAY || (tag >= 60 && tag <= 65 && tag != TAG_ACTION_LIST_LIST) ||
         (tag >= 67 && tag <= 85) || tag == TAG_ANY_VALUE_LIST || tag == TAG_TAGGED_DATA_LIST;
}

template <class Record, int (*Decode)(pdu_buffer*, Record*)>
int decode_into(pdu_buffer* buffer, BACnetValue* value)
{
  Record* record = value_record<Record>(value);
  return record ? Decode(buffer, record) : VALUE_BAD_ARGUMENT;
}

}  // namespace

int pdu_encode_constructed_datatype(pdu_buffer* buffer, const BACnetValue* value, int tag)
{
  if (!buffer || !value)
    return PDU_ENCODE_FAILED;
  for (const ConstructedEncoder& entry : kEncoders)
    if (entry.tag == value->tag)
      return encoded(entry.encode(buffer, value, tag));
  if (written_as_list(value->tag))
    return encoded(encode_list_value(buffer, value, tag));
  return PDU_ENCODE_FAILED;
}

// ---- Error -------------------------------------------------------------------------------

int pdu_encode_bacnet_error(pdu_buffer* buffer, const BACnetError* error)
{
  if (!error)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return pdu_write_enumerated(buffer, -1, error->error_class); },
                     [&] { return pdu_write_enumerated(buffer, -1, error->error_code); }));
}

int pdu_decode_bacnet_error(pdu_buffer* buffer, BACnetError* error)
{
  if (!error)
    return PDU_MALFORMED;
  return all([&] { return pdu_read_enumerated(buffer, -1, &error->error_class); },
             [&] { return pdu_read_enumerated(buffer, -1, &error->error_code); });
}

int pdu_encode_object_identifier(pdu_buffer* buffer, const BACnetObjectId* object)
{
  return object ? encoded(write_object(buffer, -1, *object)) : PDU_ENCODE_FAILED;
}

// ---- Addresses, dates and times ----------------------------------------------------------

int pdu_encode_address(pdu_buffer* buffer, const BACnetAddressValue* address)
{
  return encoded(all([&] { return pdu_write_unsigned(buffer, -1, address->network); },
                     [&] { return pdu_write_octets(buffer, -1, address->mac.data, address->mac.length); }));
}

int pdu_decode_address(pdu_buffer* buffer, BACnetAddressValue* address)
{
  const uint8_t* mac = nullptr;
  uint32_t length = 0;
  int result = all([&] { return pdu_read_unsigned(buffer, -1, &address->network); },
                   [&] { return pdu_read_octets(buffer, -1, &mac, &length); });
  if (result != 0)
    return result;
  return octetstring_set(&address->mac, mac, length);
}

int pdu_encode_datetime(pdu_buffer* buffer, const BACnetDateTime* datetime)
{
  return encoded(all([&] { return pdu_write_date(buffer, -1, &datetime->date.year); },
                     [&] { return pdu_write_time(buffer, -1, &datetime->time.hour); }));
}

int pdu_decode_datetime(pdu_buffer* buffer, BACnetDateTime* datetime)
{
  if (pdu_has_data(buffer) && pdu_is_context(buffer->data[buffer->pos])) {
    // Some peers send the pair context-tagged; the time follows under the same tag.
    return all([&] { return read_date(buffer, 0, &datetime->date); },
               [&] {
                 return read_time(buffer, pdu_next_is_context(buffer, 1) ? 1 : 0, &datetime->time);
               });
  }
  return all([&] { return read_date(buffer, -1, &datetime->date); },
             [&] { return read_time(buffer, -1, &datetime->time); });
}

int pdu_encode_date_range(pdu_buffer* buffer, const BACnetDateRange* range)
{
  return encoded(all([&] { return pdu_write_date(buffer, -1, &range->start.year); },
                     [&] { return pdu_write_date(buffer, -1, &range->end.year); }));
}

int pdu_decode_date_range(pdu_buffer* buffer, BACnetDateRange* range)
{
  return all([&] { return read_date(buffer, -1, &range->start); },
             [&] { return read_date(buffer, -1, &range->end); });
}

int pdu_encode_weeknday(pdu_buffer* buffer, const BACnetWeekNDay* weeknday)
{
  const uint8_t octets[3] = {weeknday->month, weeknday->week, weeknday->weekday};
  return encoded(pdu_write_octets(buffer, -1, octets, 3));
}

int pdu_encode_calendar_entry(pdu_buffer* buffer, const BACnetCalendarEntry* entry)
{
  switch (entry->choice) {
    case 0:
      return encoded(pdu_write_date(buffer, 0, &entry->date.year));
    case 1:
      return encoded(all([&] { return pdu_write_opening_tag(buffer, 1); },
                         [&] { return pdu_encode_date_range(buffer, &entry->range); },
                         [&] { return pdu_write_closing_tag(buffer, 1); }));
    case 2: {
      const uint8_t octets[3] = {entry->weeknday.month, entry->weeknday.week, entry->weeknday.weekday};
      return encoded(pdu_write_octets(buffer, 2, octets, 3));
    }
    default:
      return PDU_ENCODE_FAILED;  // no entry to write: nothing may go out as if it were one
  }
}

int pdu_decode_calendar_entry(pdu_buffer* buffer, BACnetCalendarEntry* entry)
{
  if (!pdu_has_data(buffer))
    return PDU_MALFORMED;
  if (pdu_next_is(buffer, pdu_opening_tag(1))) {
    entry->choice = 1;
    buffer->pos++;
    return all([&] { return pdu_decode_date_range(buffer, &entry->range); },
               [&] { return pdu_decode_closing_tag(buffer, 1); });
  }
  if (pdu_next_is_context(buffer, 0)) {
    entry->choice = 0;
    return read_date(buffer, 0, &entry->date);
  }
  if (pdu_next_is_context(buffer, 2)) {
    const uint8_t* octets = nullptr;
    uint32_t length = 0;
    uint32_t start = buffer->pos;
    int result = pdu_read_octets(buffer, 2, &octets, &length);
    if (result != 0)
      return result;
    if (length != 3) {
      buffer->pos = start;
      return PDU_MALFORMED;
    }
    entry->choice = 2;
    entry->weeknday = BACnetWeekNDay{octets[0], octets[1], octets[2]};
    return 0;
  }
  return PDU_MALFORMED;
}

int pdu_encode_time_value(pdu_buffer* buffer, const BACnetTimeValue* time_value)
{
  return encoded(all([&] { return pdu_write_time(buffer, -1, &time_value->time.hour); },
                     [&] { return pdu_encode_value(buffer, &time_value->value, -1); }));
}

int pdu_decode_time_value(pdu_buffer* buffer, BACnetTimeValue* time_value)
{
  return all([&] { return read_time(buffer, -1, &time_value->time); },
             [&] {
               // The value carries its own application tag; a context tag is no value here.
               if (!pdu_has_data(buffer) || pdu_is_context(buffer->data[buffer->pos]))
                 return PDU_MALFORMED;
               return pdu_decode_value(buffer, &time_value->value, -1);
             });
}

int pdu_encode_timestamp(pdu_buffer* buffer, const BACnetTimeStamp* stamp)
{
  switch (stamp->choice) {
    case 0:
      return encoded(pdu_write_time(buffer, 0, &stamp->time.hour));
    case 1:
      return encoded(pdu_write_unsigned(buffer, 1, stamp->sequence));
    case 2:
      return encoded(all([&] { return pdu_write_opening_tag(buffer, 2); },
                         [&] { return pdu_encode_datetime(buffer, &stamp->datetime); },
                         [&] { return pdu_write_closing_tag(buffer, 2); }));
    default:
      return PDU_ENCODE_FAILED;
  }
}

int pdu_decode_timestamp(pdu_buffer* buffer, BACnetTimeStamp* stamp)
{
  if (!pdu_has_data(buffer))
    return PDU_MALFORMED;
  switch (pdu_tag_number(buffer->data[buffer->pos])) {
    case 0: {
      int result = read_time(buffer, 0, &stamp->time);
      if (result == 0)
        stamp->choice = 0;
      return result;
    }
    case 1: {
      int result = pdu_read_unsigned(buffer, 1, &stamp->sequence);
      if (result == 0)
        stamp->choice = 1;
      return result;
    }
    case 2: {
      int result = all([&] { return pdu_decode_opening_tag(buffer, 2); },
                       [&] { return pdu_decode_datetime(buffer, &stamp->datetime); },
                       [&] { return pdu_decode_closing_tag(buffer, 2); });
      if (result == 0)
        stamp->choice = 2;
      return result;
    }
    default:
      // No time stamp starts here: nothing is read and the choice stays as it was.
      return 0;
  }
}

// ---- Recipients and references -----------------------------------------------------------

int pdu_encode_recipient(pdu_buffer* buffer, const BACnetRecipient* recipient)
{
  switch (recipient->choice) {
    case 0:
      return encoded(write_object(buffer, 0, recipient->device));
    case 1:
      return encoded(all([&] { return pdu_write_opening_tag(buffer, 1); },
                         [&] { return pdu_encode_address(buffer, &recipient->address); },
                         [&] { return pdu_write_closing_tag(buffer, 1); }));
    default:
      return PDU_ENCODE_FAILED;
  }
}

int pdu_decode_recipient(pdu_buffer* buffer, BACnetRecipient* recipient)
{
  if (!pdu_has_data(buffer))
    return PDU_MALFORMED;
  switch (buffer->data[buffer->pos] & 0xF0) {
    case 0x00: {
      int result = read_object(buffer, 0, &recipient->device);
      if (result == 0)
        recipient->choice = 0;
      return result;
    }
    case 0x10: {
      recipient_free(recipient);
      recipient->choice = 1;
      return all([&] { return pdu_decode_opening_tag(buffer, 1); },
                 [&] { return pdu_decode_address(buffer, &recipient->address); },
                 [&] { return pdu_decode_closing_tag(buffer, 1); });
    }
    default:
      return PDU_MALFORMED;
  }
}

int pdu_encode_address_binding(pdu_buffer* buffer, const BACnetAddressBinding* binding)
{
  return encoded(all([&] { return write_object(buffer, -1, binding->device); },
                     [&] { return pdu_encode_address(buffer, &binding->address); }));
}

int pdu_decode_address_binding(pdu_buffer* buffer, BACnetAddressBinding* binding)
{
  // An empty binding list entry is sent as a NULL.
  if (pdu_next_is(buffer, 0x00)) {
    buffer->pos++;
    return 0;
  }
  return all([&] { return read_object(buffer, -1, &binding->device); },
             [&] { return pdu_decode_address(buffer, &binding->address); });
}

int pdu_encode_object_property_reference(pdu_buffer* buffer, const BACnetObjectPropertyReference* reference)
{
  return encoded(all([&] { return write_object(buffer, 0, reference->object); },
                     [&] { return pdu_write_enumerated(buffer, 1, reference->property); },
                     [&] { return write_index(buffer, 2, reference->array_index); }));
}

int pdu_decode_object_property_reference(pdu_buffer* buffer, BACnetObjectPropertyReference* reference)
{
  return all([&] { return read_object(buffer, 0, &reference->object); },
             [&] { return pdu_read_enumerated(buffer, 1, &reference->property); },
             [&] { return read_index(buffer, 2, &reference->array_index); });
}

int pdu_encode_device_object_property_reference(pdu_buffer* buffer, const BACnetDeviceObjectPropertyReference* reference)
{
  return encoded(all([&] { return write_object(buffer, 0, reference->object); },
                     [&] { return pdu_write_enumerated(buffer, 1, reference->property); },
                     [&] { return write_index(buffer, 2, reference->array_index); },
                     [&] { return reference->device.type == kNoObject ? 0 : write_object(buffer, 3, reference->device); }));
}

int pdu_decode_device_object_property_reference(pdu_buffer* buffer, BACnetDeviceObjectPropertyReference* reference)
{
  reference->device = BACnetObjectId{kNoObject, 0};
  return all([&] { return read_object(buffer, 0, &reference->object); },
             [&] { return pdu_read_enumerated(buffer, 1, &reference->property); },
             [&] { return read_index(buffer, 2, &reference->array_index); },
             [&] { return pdu_next_is_context(buffer, 3) ? read_object(buffer, 3, &reference->device) : 0; });
}

int pdu_encode_property_reference(pdu_buffer* buffer, const BACnetPropertyReference* reference)
{
  return encoded(all([&] { return pdu_write_enumerated(buffer, 0, reference->property); },
                     [&] { return write_index(buffer, 1, reference->array_index); }));
}

int pdu_decode_property_reference(pdu_buffer* buffer, BACnetPropertyReference* reference)
{
  return all([&] { return pdu_read_enumerated(buffer, 0, &reference->property); },
             [&] { return read_index(buffer, 1, &reference->array_index); });
}

// ---- Read access -------------------------------------------------------------------------

int pdu_encode_read_access_specification(pdu_buffer* buffer, const ReadAccessSpecification* specification)
{
  if (write_object(buffer, 0, specification->object) != 0 || pdu_write_opening_tag(buffer, 1) != 0)
    return PDU_ENCODE_FAILED;
  for (uint32_t i = 0; i < specification->references.count; ++i)
    if (pdu_encode_property_reference(buffer, inline_list_get(&specification->references, i)) != 0)
      return PDU_ENCODE_FAILED;
  return encoded(pdu_write_closing_tag(buffer, 1));
}

int pdu_decode_read_access_specification(pdu_buffer* buffer, ReadAccessSpecification* specification)
{
  int result = all([&] { return read_object(buffer, 0, &specification->object); },
                   [&] { return pdu_decode_opening_tag(buffer, 1); });
  if (result != 0)
    return result;
  while (!pdu_next_is(buffer, pdu_closing_tag(1))) {
    if (!pdu_has_data(buffer))
      return PDU_MALFORMED;
    BACnetPropertyReference* reference = inline_list_add(&specification->references, nullptr);
    if (!reference)
      return VALUE_NO_MEMORY;
    reference->array_index = -1;
    if ((result = pdu_decode_property_reference(buffer, reference)) != 0)
      return result;
  }
  return pdu_decode_closing_tag(buffer, 1);
}

int pdu_encode_read_access_result_element(pdu_buffer* buffer, const ReadAccessResultElement* element)
{
  if (pdu_write_enumerated(buffer, 2, element->property) != 0 || write_index(buffer, 3, element->array_index) != 0)
    return PDU_ENCODE_FAILED;
  if (element->choice == 1) {
    BACnetError error{element->error_class, element->error_code};
    return encoded(all([&] { return pdu_write_opening_tag(buffer, 5); },
                       [&] { return pdu_encode_bacnet_error(buffer, &error); },
                       [&] { return pdu_write_closing_tag(buffer, 5); }));
  }
  return encoded(pdu_encode_constructed_value(buffer, &element->value, 4));
}

int pdu_decode_read_access_result_element(pdu_buffer* buffer, ReadAccessResultElement* element)
{
  int result = all([&] { return pdu_read_enumerated(buffer, 2, &element->property); },
                   [&] { return read_index(buffer, 3, &element->array_index); });
  if (result != 0)
    return result;
  if (pdu_next_is(buffer, pdu_opening_tag(4))) {
    element->choice = 0;
    return pdu_decode_property_value(buffer, &element->value, 4, element->property, element->array_index);
  }
  element->choice = 1;
  BACnetError error;
  result = all([&] { return pdu_decode_opening_tag(buffer, 5); },
               [&] { return pdu_decode_bacnet_error(buffer, &error); },
               [&] { return pdu_decode_closing_tag(buffer, 5); });
  element->error_class = error.error_class;
  element->error_code = error.error_code;
  return result;
}

int pdu_encode_read_access_result(pdu_buffer* buffer, const ReadAccessResult* result)
{
  if (write_object(buffer, 0, result->object) != 0 || pdu_write_opening_tag(buffer, 1) != 0)
    return PDU_ENCODE_FAILED;
  for (uint32_t i = 0; i < result->results.count; ++i)
    if (pdu_encode_read_access_result_element(buffer, inline_list_get(&result->results, i)) != 0)
      return PDU_ENCODE_FAILED;
  return encoded(pdu_write_closing_tag(buffer, 1));
}

int pdu_decode_read_access_result(pdu_buffer* buffer, ReadAccessResult* result)
{
  int status = all([&] { return read_object(buffer, 0, &result->object); },
                   [&] { return pdu_decode_opening_tag(buffer, 1); });
  if (status != 0)
    return status;
  while (!pdu_next_is(buffer, pdu_closing_tag(1))) {
    if (!pdu_has_data(buffer))
      return PDU_MALFORMED;
    ReadAccessResultElement* element = inline_list_add(&result->results, nullptr);
    if (!element)
      return VALUE_NO_MEMORY;
    element->array_index = -1;
    if ((status = pdu_decode_read_access_result_element(buffer, element)) != 0)
      return status;
  }
  return pdu_decode_closing_tag(buffer, 1);
}

// ---- Property values ---------------------------------------------------------------------

int pdu_encode_property_value(pdu_buffer* buffer, const BACnetPropertyValue* property_value)
{
  return encoded(all([&] { return pdu_write_enumerated(buffer, 0, property_value->property); },
                     [&] { return write_index(buffer, 1, property_value->array_index); },
                     [&] { return pdu_encode_constructed_value(buffer, &property_value->value, 2); },
                     [&] { return property_value->priority ? pdu_write_unsigned(buffer, 3, property_value->priority) : 0; }));
}

int pdu_decode_property_value_field(pdu_buffer* buffer, BACnetPropertyValue* property_value)
{
  property_value->priority = 0;
  bool has_priority = false;
  int result = all([&] { return pdu_read_enumerated(buffer, 0, &property_value->property); },
                   [&] { return read_index(buffer, 1, &property_value->array_index); },
                   [&] {
                     return pdu_decode_property_value(buffer, &property_value->value, 2, property_value->property,
                                                      property_value->array_index);
                   },
                   [&] {
                     has_priority = pdu_next_is_context(buffer, 3);
                     return has_priority ? pdu_read_unsigned(buffer, 3, &property_value->priority) : 0;
                   });
  // A priority outside 1 to 16 is malformed input like any other.
  if (result == 0 && has_priority && (property_value->priority < 1 || property_value->priority > 16))
    return PDU_MALFORMED;
  return result;
}

int pdu_encode_priority_value(pdu_buffer* buffer, const BACnetPriorityValue* priority_value)
{
  switch (priority_value->choice) {
    case 0: return encoded(pdu_write_null(buffer, -1));
    case 1: return encoded(pdu_write_real(buffer, -1, priority_value->real));
    case 2: return encoded(pdu_write_enumerated(buffer, -1, priority_value->enumerated));
    case 3: return encoded(pdu_write_unsigned(buffer, -1, priority_value->unsigned_value));
    case 4: return encoded(pdu_encode_constructed_value(buffer, &priority_value->value, 0));
    default: return PDU_ENCODE_FAILED;
  }
}

int pdu_decode_priority_value(pdu_buffer* buffer, BACnetPriorityValue* priority_value)
{
  if (!pdu_has_data(buffer))
    return PDU_MALFORMED;
  uint8_t first = buffer->data[buffer->pos];
  if (!pdu_is_context(first)) {
    switch (pdu_tag_number(first)) {
      case PDU_NULL: {
        int result = pdu_read_null(buffer, -1);
        if (result == 0)
          priority_value->choice = 0;
        return result;
      }
      case PDU_REAL: {
        int result = pdu_read_real(buffer, -1, &priority_value->real);
        if (result == 0)
          priority_value->choice = 1;
        return result;
      }
      case PDU_ENUMERATED: {
        int result = pdu_read_enumerated(buffer, -1, &priority_value->enumerated);
        if (result == 0)
          priority_value->choice = 2;
        return result;
      }
      case PDU_UNSIGNED: {
        int result = pdu_read_unsigned(buffer, -1, &priority_value->unsigned_value);
        if (result == 0)
          priority_value->choice = 3;
        return result;
      }
      default:
        break;
    }
  }
  int result = pdu_decode_property_value(buffer, &priority_value->value, 0, PROP_PRESENT_VALUE, -1);
  if (result == 0)
    priority_value->choice = 4;
  return result;
}

int pdu_encode_property_states(pdu_buffer* buffer, const BACnetPropertyStates* states)
{
  if (states->choice == 0)
    return encoded(pdu_write_boolean(buffer, 0, states->value != 0));
  if (states->choice <= 10)
    return encoded(pdu_write_enumerated(buffer, int(states->choice), states->value));
  if (states->choice == 11)
    return encoded(pdu_write_unsigned(buffer, 11, states->value));
  return PDU_ENCODE_FAILED;
}

int pdu_decode_property_states(pdu_buffer* buffer, BACnetPropertyStates* states)
{
  PduElement element;
  if (pdu_peek_element(buffer, &element) != 0 || !element.context || element.tag_number > 11)
    return PDU_MALFORMED;
  int result;
  if (element.tag_number == 0) {
    bool flag = false;
    result = pdu_read_boolean(buffer, 0, &flag);
    states->value = flag ? 1 : 0;
  } else if (element.tag_number == 11) {
    result = pdu_read_unsigned(buffer, 11, &states->value);
  } else {
    result = pdu_read_enumerated(buffer, element.tag_number, &states->value);
  }
  if (result == 0)
    states->choice = element.tag_number;
  return result;
}

int pdu_encode_client_cov(pdu_buffer* buffer, const BACnetCOVIncrement* increment)
{
  if (increment->choice == 0)
    return encoded(pdu_write_real(buffer, -1, increment->real));
  if (increment->choice == 1)
    return encoded(pdu_write_null(buffer, -1));
  return PDU_ENCODE_FAILED;
}

int pdu_decode_client_cov(pdu_buffer* buffer, BACnetCOVIncrement* increment)
{
  if (pdu_next_is(buffer, 0x00)) {
    buffer->pos++;
    increment->choice = 1;
    return 0;
  }
  int result = pdu_read_real(buffer, -1, &increment->real);
  if (result == 0)
    increment->choice = 0;
  return result;
}

// ---- Session keys, recipient processes and subscriptions ---------------------------------

int pdu_encode_session_key(pdu_buffer* buffer, const BACnetSessionKey* key)
{
  return encoded(all([&] { return pdu_write_octets(buffer, -1, key->key.data, key->key.length); },
                     [&] { return pdu_encode_address(buffer, &key->peer); }));
}

int pdu_encode_recipient_process(pdu_buffer* buffer, const BACnetRecipientProcess* process)
{
  return encoded(all([&] { return enclosed_write(buffer, 0, [&] { return pdu_encode_recipient(buffer, &process->recipient); }); },
                     [&] { return pdu_write_unsigned(buffer, 1, process->process_id); }));
}

int pdu_decode_recipient_process(pdu_buffer* buffer, BACnetRecipientProcess* process)
{
  int result = all([&] { return enclosed_read(buffer, 0, [&] { return pdu_decode_recipient(buffer, &process->recipient); }); },
                   [&] { return pdu_read_unsigned(buffer, 1, &process->process_id); });
  if (result == 0)
    process->not_empty = 1;
  return result;
}

int pdu_encode_cov_subscription(pdu_buffer* buffer, const CovSubscription* subscription)
{
  return encoded(all(
      [&] { return enclosed_write(buffer, 0, [&] { return pdu_encode_recipient_process(buffer, &subscription->recipient); }); },
      [&] { return enclosed_write(buffer, 1, [&] { return pdu_encode_object_property_reference(buffer, &subscription->monitored); }); },
      [&] { return pdu_write_boolean(buffer, 2, subscription->issue_confirmed != 0); },
      [&] { return pdu_write_unsigned(buffer, 3, subscription->time_remaining); }));
}

// ---- Write access, selection criteria and object property values -------------------------

int pdu_encode_write_access_specification(pdu_buffer* buffer, const WriteAccessSpecification* specification)
{
  const BACnetValue& values = specification->properties;
  if (values.tag != TAG_PROPERTY_VALUE && values.tag != TAG_PROPERTY_VALUE_LIST)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return write_object(buffer, 0, specification->object); },
                     [&] {
                       return enclosed_write(buffer, 1, [&] {
                         return write_one_or_list(buffer, values, TAG_PROPERTY_VALUE, TAG_PROPERTY_VALUE_LIST);
                       });
                     }));
}

int pdu_decode_write_access_specification(pdu_buffer* buffer, WriteAccessSpecification* specification)
{
  value_free(&specification->properties);
  return all([&] { return read_object(buffer, 0, &specification->object); },
             [&] { return pdu_decode_opening_tag(buffer, 1); },
             [&] {
               return collect_until<BACnetPropertyValue>(buffer, pdu_closing_tag(1), &specification->properties,
                                                         TAG_PROPERTY_VALUE, TAG_PROPERTY_VALUE_LIST,
                                                         pdu_decode_property_value_field);
             },
             [&] { return pdu_decode_closing_tag(buffer, 1); });
}

int pdu_encode_selection_criterion(pdu_buffer* buffer, const PropertyCondition* criterion)
{
  return encoded(all([&] { return pdu_write_enumerated(buffer, 0, criterion->property); },
                     [&] { return write_index(buffer, 1, criterion->array_index); },
                     [&] { return pdu_write_enumerated(buffer, 2, criterion->relation); },
                     [&] { return pdu_encode_constructed_value(buffer, &criterion->comparison, 3); }));
}

int pdu_encode_object_property_value(pdu_buffer* buffer, const BACnetObjectPropertyValue* value)
{
  return encoded(all([&] { return write_object(buffer, 0, value->object); },
                     [&] { return pdu_write_enumerated(buffer, 1, value->property); },
                     [&] { return write_index(buffer, 2, value->array_index); },
                     [&] { return pdu_encode_constructed_value(buffer, &value->value, 3); },
                     [&] { return value->priority ? pdu_write_unsigned(buffer, 4, value->priority) : 0; }));
}

// ---- Log records -------------------------------------------------------------------------

namespace {

// The datatype of each log datum choice that is a single primitive.
constexpr uint32_t kLogDatumType[11] = {
    TAG_BIT_STRING, TAG_BOOLEAN, TAG_REAL, TAG_ENUMERATED, TAG_UNSIGNED, TAG_SIGNED,
    TAG_BIT_STRING, TAG_NULL, 0 /* error */, TAG_REAL, 0 /* any value */,
};

int encode_log_datum(pdu_buffer* buffer, const BACnetLogRecord* record)
{
  int tag = int(record->choice);
  switch (record->choice) {
    case 0:
    case 6: return write_bits(buffer, tag, record->bits);
    case 1: return pdu_write_boolean(buffer, tag, record->datum.boolean != 0);
    case 2: return pdu_write_real(buffer, tag, record->datum.real);
    case 3: return pdu_write_enumerated(buffer, tag, record->datum.enumerated);
    case 4: return pdu_write_unsigned(buffer, tag, record->datum.unsigned_value);
    case 5: return pdu_write_signed(buffer, tag, record->datum.signed_value);
    case 7: return pdu_write_null(buffer, tag);
    case 8: {
      BACnetError error{record->error_class, record->error_code};
      return all([&] { return pdu_write_opening_tag(buffer, 8); },
                 [&] { return pdu_encode_bacnet_error(buffer, &error); },
                 [&] { return pdu_write_closing_tag(buffer, 8); });
    }
    case 9: return pdu_write_real(buffer, tag, record->datum.time_change);
    case 10: return pdu_encode_constructed_value(buffer, &record->any, 10);
    default: return PDU_ENCODE_FAILED;  // an empty datum would read back as a malformed record
  }
}

int decode_log_datum(pdu_buffer* buffer, BACnetLogRecord* record)
{
  if (!pdu_has_data(buffer))
    return PDU_MALFORMED;
  uint8_t choice = pdu_tag_number(buffer->data[buffer->pos]);
  if (!pdu_is_context(buffer->data[buffer->pos]) || choice > 10)
    return PDU_MALFORMED;
  if (choice == 8) {
    BACnetError error;
    int result = all([&] { return pdu_decode_opening_tag(buffer, 8); },
                     [&] { return pdu_decode_bacnet_error(buffer, &error); },
                     [&] { return pdu_decode_closing_tag(buffer, 8); });
    record->error_class = error.error_class;
    record->error_code = error.error_code;
    record->choice = 8;
    return result;
  }
  if (choice == 10) {
    record->choice = 10;
    return pdu_decode_property_value(buffer, &record->any, 10, 0, -1);
  }
  Scratch datum;
  int result = decode_maybe_wrapped(buffer, choice, kLogDatumType[choice], &datum);
  if (result != 0)
    return result;
  record->choice = choice;
  const BACnetValue::Payload& p = datum.value.payload;
  switch (choice) {
    case 0:
    case 6:
      bitstring_free(&record->bits);
      record->bits = p.bits;
      value_clear(&datum);
      break;
    case 1: record->datum.boolean = p.boolean; break;
    case 2: record->datum.real = p.real; break;
    case 3: record->datum.enumerated = p.enumerated; break;
    case 4: record->datum.unsigned_value = p.unsigned_value; break;
    case 5: record->datum.signed_value = p.signed_value; break;
    case 9: record->datum.time_change = p.real; break;
    default: break;
  }
  return 0;
}

}  // namespace

int pdu_encode_log_record(pdu_buffer* buffer, const BACnetLogRecord* record)
{
  return encoded(all([&] { return pdu_write_opening_tag(buffer, 0); },
                     [&] { return pdu_encode_datetime(buffer, &record->timestamp); },
                     [&] { return pdu_write_closing_tag(buffer, 0); },
                     [&] { return pdu_write_opening_tag(buffer, 1); },
                     [&] { return encode_log_datum(buffer, record); },
                     [&] { return pdu_write_closing_tag(buffer, 1); },
                     // Status flags are optional; a record without them sends none.
                     [&] { return record->status_flags.count ? write_bits(buffer, 2, record->status_flags) : 0; }));
}

int pdu_decode_log_record(pdu_buffer* buffer, BACnetLogRecord* record)
{
  return all([&] { return pdu_decode_opening_tag(buffer, 0); },
             [&] { return pdu_decode_datetime(buffer, &record->timestamp); },
             [&] { return pdu_decode_closing_tag(buffer, 0); },
             [&] { return pdu_decode_opening_tag(buffer, 1); },
             [&] { return decode_log_datum(buffer, record); },
             [&] { return pdu_decode_closing_tag(buffer, 1); },
             [&] { return pdu_next_is_context(buffer, 2) ? read_bits(buffer, 2, &record->status_flags) : 0; });
}

// ---- Action commands ---------------------------------------------------------------------

int pdu_encode_action_command(pdu_buffer* buffer, const BACnetActionCommand* command)
{
  // Absent fields stay out: no device (object type 999), no priority, no post delay.
  return encoded(all([&] { return command->device.type == kNoObject ? 0 : write_object(buffer, 0, command->device); },
                     [&] { return write_object(buffer, 1, command->object); },
                     [&] { return pdu_write_enumerated(buffer, 2, command->property); },
                     [&] { return write_index(buffer, 3, command->array_index); },
                     [&] { return pdu_encode_constructed_value(buffer, &command->value, 4); },
                     [&] { return command->priority ? pdu_write_unsigned(buffer, 5, command->priority) : 0; },
                     [&] { return command->post_delay ? pdu_write_unsigned(buffer, 6, command->post_delay) : 0; },
                     [&] { return pdu_write_boolean(buffer, 7, command->quit_on_failure != 0); },
                     [&] { return pdu_write_boolean(buffer, 8, command->write_successful != 0); }));
}

int pdu_decode_action_command(pdu_buffer* buffer, BACnetActionCommand* command)
{
  bool quit = false;
  bool written = false;
  command->device = BACnetObjectId{kNoObject, 0};
  command->priority = 0;
  command->post_delay = 0;
  int result = all(
      [&] { return pdu_next_is_context(buffer, 0) ? read_object(buffer, 0, &command->device) : 0; },
      [&] { return read_object(buffer, 1, &command->object); },
      [&] { return pdu_read_enumerated(buffer, 2, &command->property); },
      [&] { return read_index(buffer, 3, &command->array_index); },
      [&] { return pdu_decode_property_value(buffer, &command->value, 4, command->property, command->array_index); },
      [&] { return pdu_next_is_context(buffer, 5) ? pdu_read_unsigned(buffer, 5, &command->priority) : 0; },
      [&] { return pdu_next_is_context(buffer, 6) ? pdu_read_unsigned(buffer, 6, &command->post_delay) : 0; },
      [&] { return pdu_read_boolean(buffer, 7, &quit); },
      [&] { return pdu_read_boolean(buffer, 8, &written); });
  command->quit_on_failure = quit ? 1 : 0;
  command->write_successful = written ? 1 : 0;
  return result;
}

int pdu_decode_action_list(pdu_buffer* buffer, BACnetValue* list)
{
  int result = pdu_decode_opening_tag(buffer, 0);
  if (result != 0)
    return result;
  value_free(list);
  if ((result = value_init(list, TAG_ACTION_COMMAND_LIST)) != 0)
    return result;
  while (!pdu_next_is(buffer, pdu_closing_tag(0))) {
    if (!pdu_has_data(buffer))
      return PDU_MALFORMED;
    Scratch command;
    if ((result = value_init(&command, TAG_ACTION_COMMAND)) != 0)
      return result;
    if ((result = decode_into<BACnetActionCommand, pdu_decode_action_command>(buffer, &command)) != 0)
      return result;
    if ((result = value_array_append(value_array(list), &command)) != 0)
      return result;
  }
  return pdu_decode_closing_tag(buffer, 0);
}

// ---- Notification class and schedule datatypes -------------------------------------------

int pdu_encode_destination(pdu_buffer* buffer, const BACnetDestination* destination)
{
  return encoded(all([&] { return write_bits(buffer, -1, destination->valid_days); },
                     [&] { return pdu_write_time(buffer, -1, &destination->from.hour); },
                     [&] { return pdu_write_time(buffer, -1, &destination->to.hour); },
                     [&] { return pdu_encode_recipient(buffer, &destination->recipient); },
                     [&] { return pdu_write_unsigned(buffer, -1, destination->process_id); },
                     [&] { return pdu_write_boolean(buffer, -1, destination->issue_confirmed != 0); },
                     [&] { return write_bits(buffer, -1, destination->transitions); }));
}

int pdu_decode_destination(pdu_buffer* buffer, BACnetDestination* destination)
{
  bool confirmed = false;
  int result = all([&] { return read_bits(buffer, -1, &destination->valid_days); },
                   [&] { return read_time(buffer, -1, &destination->from); },
                   [&] { return read_time(buffer, -1, &destination->to); },
                   [&] { return pdu_decode_recipient(buffer, &destination->recipient); },
                   [&] { return pdu_read_unsigned(buffer, -1, &destination->process_id); },
                   [&] { return pdu_read_boolean(buffer, -1, &confirmed); },
                   [&] { return read_bits(buffer, -1, &destination->transitions); });
  destination->issue_confirmed = confirmed ? 1 : 0;
  return result;
}

namespace {

// TimeValues until the closing tag n, into a TimeValue list.
int decode_time_values(pdu_buffer* buffer, uint8_t n, BACnetValue* list)
{
  int result = pdu_decode_opening_tag(buffer, n);
  if (result != 0)
    return result;
  value_free(list);
  if ((result = value_init(list, TAG_TIME_VALUE_LIST)) != 0)
    return result;
  while (!pdu_next_is(buffer, pdu_closing_tag(n))) {
    if (!pdu_has_data(buffer))
      return PDU_MALFORMED;
    Scratch element;
    if ((result = value_init(&element, TAG_TIME_VALUE)) != 0)
      return result;
    if ((result = decode_into<BACnetTimeValue, pdu_decode_time_value>(buffer, &element)) != 0)
      return result;
    if ((result = value_array_append(value_array(list), &element)) != 0)
      return result;
  }
  return pdu_decode_closing_tag(buffer, n);
}

// One TimeValue or every TimeValue of a list, inside [n]{ }.
int encode_time_values(pdu_buffer* buffer, uint8_t n, const BACnetValue* values, bool single_allowed)
{
  if (pdu_write_opening_tag(buffer, n) != 0)
    return PDU_ENCODE_FAILED;
  if (values->tag == TAG_TIME_VALUE && single_allowed) {
    if (pdu_encode_value(buffer, values, -1) != 0)
      return PDU_ENCODE_FAILED;
  } else if (values->tag == TAG_TIME_VALUE_LIST) {
    BACnetValueArray* array = value_array(values);
    if (!array)
      return PDU_ENCODE_FAILED;
    for (uint32_t i = 0; i < array->used; ++i) {
      if (array->elements[i].tag != TAG_TIME_VALUE || pdu_encode_value(buffer, &array->elements[i], -1) != 0)
        return PDU_ENCODE_FAILED;
    }
  } else if (values->tag != TAG_NULL) {
    return PDU_ENCODE_FAILED;
  }
  return pdu_write_closing_tag(buffer, n);
}

}  // namespace

int pdu_encode_daily_schedule(pdu_buffer* buffer, const BACnetDailySchedule* schedule)
{
  return encoded(encode_time_values(buffer, 0, &schedule->day_schedule, false));
}

int pdu_decode_daily_schedule(pdu_buffer* buffer, BACnetDailySchedule* schedule)
{
  return decode_time_values(buffer, 0, &schedule->day_schedule);
}

int pdu_encode_special_event(pdu_buffer* buffer, const BACnetSpecialEvent* event)
{
  int period = PDU_ENCODE_FAILED;
  if (event->period_choice == 0)
    period = all([&] { return pdu_write_opening_tag(buffer, 0); },
                 [&] { return pdu_encode_calendar_entry(buffer, &event->calendar_entry); },
                 [&] { return pdu_write_closing_tag(buffer, 0); });
  else if (event->period_choice == 1)
    period = write_object(buffer, 1, event->calendar_reference);
  return encoded(all([&] { return period; },
                     [&] { return encode_time_values(buffer, 2, &event->time_values, true); },
                     [&] { return pdu_write_unsigned(buffer, 3, event->priority); }));
}

int pdu_decode_special_event(pdu_buffer* buffer, BACnetSpecialEvent* event)
{
  int result;
  if (pdu_next_is(buffer, pdu_opening_tag(0))) {
    event->period_choice = 0;
    result = all([&] { return pdu_decode_opening_tag(buffer, 0); },
                 [&] { return pdu_decode_calendar_entry(buffer, &event->calendar_entry); },
                 [&] { return pdu_decode_closing_tag(buffer, 0); });
  } else {
    event->period_choice = 1;
    result = read_object(buffer, 1, &event->calendar_reference);
  }
  return all([&] { return result; },
             [&] { return decode_time_values(buffer, 2, &event->time_values); },
             [&] { return pdu_read_unsigned(buffer, 3, &event->priority); });
}

// ---- Tagged data and values of unknown datatype ------------------------------------------

int pdu_encode_tagged_data(pdu_buffer* buffer, const TaggedData* data)
{
  if (data->tag_number < 0 || data->tag_number > 14)
    return PDU_ENCODE_FAILED;
  uint8_t n = uint8_t(data->tag_number);
  if (data->value.tag == TAG_OCTET_STRING) {
    const OctetString& octets = data->value.payload.octets;
    return encoded(all([&] { return pdu_write_tag(buffer, n, true, octets.length); },
                       [&] { return octets.length ? pdu_buffer_append_bytes(buffer, octets.data, octets.length) : 0; }));
  }
  // Constructed content was read element by element; it goes back between its tags.
  return encoded(pdu_encode_constructed_value(buffer, &data->value, n));
}

int pdu_decode_tagged_data(pdu_buffer* buffer, BACnetValue* value)
{
  if (!pdu_has_data(buffer) || !pdu_is_context(buffer->data[buffer->pos]))
    return PDU_MALFORMED;
  uint8_t header = buffer->data[buffer->pos];
  uint8_t n = pdu_tag_number(header);
  if (n == 15 || pdu_lvt(header) == PDU_LVT_CLOSING)
    return PDU_MALFORMED;
  value_free(value);
  int result = value_init(value, TAG_TAGGED_DATA);
  if (result != 0)
    return result;
  TaggedData* data = value_record<TaggedData>(value);
  if (!data)
    return VALUE_NO_MEMORY;
  data->tag_number = n;
  if (pdu_lvt(header) == PDU_LVT_OPENING) {
    int total = pdu_element_length_at(buffer);
    if (total < 2)
      return PDU_MALFORMED;
    uint32_t end = buffer->pos + uint32_t(total);
    pdu_buffer inner{buffer->data, buffer->pos + 1, end - 1};
    if ((result = pdu_decode_any_sequence(&inner, &data->value, uint32_t(total - 2))) != 0)
      return result;
    buffer->pos = end;
    return 0;
  }
  PduElement element;
  if (pdu_peek_element(buffer, &element) != 0)
    return PDU_MALFORMED;
  data->value.tag = TAG_OCTET_STRING;
  if ((result = octetstring_set(&data->value.payload.octets, element.content, element.content_length)) != 0)
    return result;
  buffer->pos += element.header_length + element.content_length;
  return 0;
}

int pdu_decode_any_element(pdu_buffer* buffer, BACnetValue* value)
{
  if (!pdu_has_data(buffer) || !value)
    return PDU_MALFORMED;
  uint8_t header = buffer->data[buffer->pos];
  if (pdu_is_context(header))
    return pdu_decode_tagged_data(buffer, value);
  if (pdu_tag_number(header) > PDU_OBJECT_IDENTIFIER)
    return PDU_MALFORMED;
  return pdu_decode_value(buffer, value, -1);
}

int pdu_decode_any_sequence(pdu_buffer* buffer, BACnetValue* value, uint32_t length)
{
  if (!buffer || !value || buffer->pos > buffer->size || length > buffer->size - buffer->pos)
    return PDU_MALFORMED;
  pdu_buffer content{buffer->data, buffer->pos, buffer->pos + length};
  value_free(value);
  int result = 0;
  if (length && pdu_element_length_at(&content) == int(length)) {
    result = pdu_decode_any_element(&content, value);
  } else if ((result = value_init(value, TAG_ANY_VALUE_LIST)) == 0) {
    while (pdu_has_data(&content)) {
      Scratch entry;
      if ((result = value_init(&entry, TAG_ANY_VALUE)) != 0)
        break;
      AnyValue* any = value_record<AnyValue>(&entry.value);
      if (!any) {
        result = VALUE_NO_MEMORY;
        break;
      }
      if ((result = pdu_decode_any_element(&content, &any->value)) != 0)
        break;
      if ((result = value_array_append(value_array(value), &entry)) != 0)
        break;
    }
  }
  buffer->pos = content.pos;
  return result;
}
