#include "bacnet/codec/codec_property_values.h"

#include "bacnet/codec/codec_events.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

namespace {

using ElementDecoder = int (*)(pdu_buffer*, BACnetValue*);

template <class Record, int (*Decode)(pdu_buffer*, Record*)>
int record_element(pdu_buffer* buffer, BACnetValue* value)
{
  Record* record = value_record<Record>(value);
  return record ? Decode(buffer, record) : VALUE_NO_MEMORY;
}

// A primitive element of the list's own datatype, application-tagged.
template <uint32_t Datatype>
int primitive_element(pdu_buffer* buffer, BACnetValue* value)
{
  if (!pdu_has_data(buffer))
    return PDU_MALFORMED;
  uint8_t header = buffer->data[buffer->pos];
  if (pdu_is_context(header) || pdu_tag_number(header) != Datatype)
    return PDU_MALFORMED;
  return pdu_decode_value(buffer, value, -1);
}

struct ListShape {
  uint32_t list_tag;
  uint32_t element_tag;
  ElementDecoder decode;
};

// Action lists are read into lists of action commands.
constexpr ListShape kActions{TAG_ACTION_LIST_LIST, TAG_ACTION_COMMAND_LIST, pdu_decode_action_list};
constexpr ListShape kTexts{TAG_CHARACTER_STRING_LIST, TAG_CHARACTER_STRING, primitive_element<PDU_CHARACTER_STRING>};
constexpr ListShape kUnsigneds{TAG_UNSIGNED_LIST, TAG_UNSIGNED, primitive_element<PDU_UNSIGNED>};
constexpr ListShape kDates{TAG_CALENDAR_ENTRY_LIST, TAG_CALENDAR_ENTRY,
                           record_element<BACnetCalendarEntry, pdu_decode_calendar_entry>};
constexpr ListShape kBindings{TAG_ADDRESS_BINDING_LIST, TAG_ADDRESS_BINDING,
                              record_element<BACnetAddressBinding, pdu_decode_address_binding>};
constexpr ListShape kExceptions{TAG_SPECIAL_EVENT_LIST, TAG_SPECIAL_EVENT,
                                record_element<BACnetSpecialEvent, pdu_decode_special_event>};
constexpr ListShape kReferences{
    TAG_REFERENCE_LIST, TAG_DEVICE_OBJECT_PROPERTY_REFERENCE,
    record_element<BACnetDeviceObjectPropertyReference, pdu_decode_device_object_property_reference>};
constexpr ListShape kIdentifiers{TAG_OBJECT_ID_LIST, TAG_OBJECT_ID, primitive_element<PDU_OBJECT_IDENTIFIER>};
constexpr ListShape kPriorities{TAG_PRIORITY_ARRAY, TAG_PRIORITY_VALUE,
                                record_element<BACnetPriorityValue, pdu_decode_priority_value>};
constexpr ListShape kDestinations{TAG_DESTINATION_LIST, TAG_DESTINATION,
                                  record_element<BACnetDestination, pdu_decode_destination>};
constexpr ListShape kRecipients{TAG_RECIPIENT_LIST, TAG_RECIPIENT, record_element<BACnetRecipient, pdu_decode_recipient>};
constexpr ListShape kWeek{TAG_DAILY_SCHEDULE_LIST, TAG_DAILY_SCHEDULE,
                          record_element<BACnetDailySchedule, pdu_decode_daily_schedule>};
constexpr ListShape kStamps{TAG_TIMESTAMP_LIST, TAG_TIMESTAMP, record_element<BACnetTimeStamp, pdu_decode_timestamp>};
constexpr ListShape kLog{TAG_LOG_BUFFER, TAG_LOG_RECORD, record_element<BACnetLogRecord, pdu_decode_log_record>};
constexpr ListShape kActionCommands{TAG_ACTION_COMMAND_LIST, TAG_ACTION_COMMAND,
                                    record_element<BACnetActionCommand, pdu_decode_action_command>};

// One element into `element`, prepared for the element tag first.
int decode_element(const ListShape& shape, pdu_buffer* buffer, BACnetValue* element)
{
  int result = value_init(element, shape.element_tag);
  if (result != 0)
    return result;
  uint32_t start = buffer->pos;
  result = shape.decode(buffer, element);
  // An element that reads nothing would never let the list end.
  if (result == 0 && buffer->pos == start)
    return PDU_MALFORMED;
  return result;
}

int decode_list(const ListShape& shape, int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending)
{
  if (!value || !buffer || array_index < -1)
    return PDU_MALFORMED;
  value_free(value);
  BACnetValue element{};
  int result = 0;
  if (array_index == -1) {
    if ((result = value_init(value, shape.list_tag)) != 0)
      return result;
    while (pdu_has_data(buffer) && !pdu_next_is(buffer, ending)) {
      if ((result = decode_element(shape, buffer, &element)) != 0)
        break;
      if ((result = value_array_append(value_array(value), &element)) != 0)
        break;
    }
  } else if (array_index == 0) {
    // The array length.
    if ((result = primitive_element<PDU_UNSIGNED>(buffer, &element)) == 0) {
      *value = element;
      value_clear(&element);
    }
  } else if ((result = decode_element(shape, buffer, &element)) == 0) {
    *value = element;
    value_clear(&element);
  }
  value_free(&element);
  return result;
}

using ListDecoder = int (*)(int32_t, BACnetValue*, pdu_buffer*, uint8_t);

struct ListProperty {
  uint32_t property;
  ListDecoder decode;
};

constexpr ListProperty kListProperties[] = {
    {PROP_ACTION, pdu_decode_action_property},
    {PROP_ACTION_TEXT, pdu_decode_text_array},
    {PROP_STATE_TEXT, pdu_decode_text_array},
    {PROP_ALARM_VALUES, pdu_decode_unsigned_list},
    {PROP_FAULT_VALUES, pdu_decode_unsigned_list},
    {PROP_PRIORITY, pdu_decode_unsigned_list},
    {PROP_DATE_LIST, pdu_decode_date_list},
    {PROP_DEVICE_ADDRESS_BINDING, pdu_decode_address_binding_list},
    {PROP_EXCEPTION_SCHEDULE, pdu_decode_exception_schedule},
    {PROP_LIST_OF_OBJECT_PROPERTY_REFERENCES, pdu_decode_reference_list},
    {PROP_OBJECT_LIST, pdu_decode_identifier_list},
    {PROP_CONFIGURATION_FILES, pdu_decode_identifier_list},
    {PROP_PRIORITY_ARRAY, pdu_decode_priority_array},
    {PROP_RECIPIENT_LIST, pdu_decode_recipient_list},
    {PROP_TIME_SYNCHRONIZATION_RECIPIENTS, pdu_decode_recipient_array},
    {PROP_WEEKLY_SCHEDULE, pdu_decode_weekly_schedule},
    {PROP_EVENT_TIME_STAMPS, pdu_decode_timestamp_array},
    {PROP_LOG_BUFFER, pdu_decode_log_buffer},
};

struct SingleProperty {
  uint32_t property;
  uint32_t tag;
  ElementDecoder decode;
};

constexpr ElementDecoder kDateTime = record_element<BACnetDateTime, pdu_decode_datetime>;
constexpr ElementDecoder kReference =
    record_element<BACnetDeviceObjectPropertyReference, pdu_decode_device_object_property_reference>;

constexpr SingleProperty kSingleProperties[] = {
    {PROP_CHANGE_OF_STATE_TIME, TAG_DATETIME, kDateTime},
    {PROP_MODIFICATION_DATE, TAG_DATETIME, kDateTime},
    {PROP_TIME_OF_ACTIVE_TIME_RESET, TAG_DATETIME, kDateTime},
    {PROP_TIME_OF_STATE_COUNT_RESET, TAG_DATETIME, kDateTime},
    {PROP_CURRENT_NOTIFY_TIME, TAG_DATETIME, kDateTime},
    {PROP_PREVIOUS_NOTIFY_TIME, TAG_DATETIME, kDateTime},
    {PROP_START_TIME, TAG_DATETIME, kDateTime},
    {PROP_STOP_TIME, TAG_DATETIME, kDateTime},
    {PROP_EFFECTIVE_PERIOD, TAG_DATE_RANGE, record_element<BACnetDateRange, pdu_decode_date_range>},
    {PROP_OBJECT_PROPERTY_REFERENCE, TAG_DEVICE_OBJECT_PROPERTY_REFERENCE, kReference},
    {PROP_LOG_DEVICE_OBJECT_PROPERTY, TAG_DEVICE_OBJECT_PROPERTY_REFERENCE, kReference},
    {PROP_EVENT_PARAMETERS, TAG_EVENT_PARAMETER, record_element<BACnetEventParameter, pdu_decode_event_parameter>},
    {PROP_RECIPIENT, TAG_RECIPIENT, record_element<BACnetRecipient, pdu_decode_recipient>},
    {PROP_CLIENT_COV_INCREMENT, TAG_COV_INCREMENT, record_element<BACnetCOVIncrement, pdu_decode_client_cov>},
    {PROP_LAST_RESTORE_TIME, TAG_TIMESTAMP, record_element<BACnetTimeStamp, pdu_decode_timestamp>},
    {PROP_NETWORK_ADDRESS, TAG_ADDRESS, record_element<BACnetAddressValue, pdu_decode_address>},
};

}  // namespace

int pdu_decode_action_property(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kActions, i, v, b, e); }
int pdu_decode_text_array(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kTexts, i, v, b, e); }
int pdu_decode_unsigned_list(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kUnsigneds, i, v, b, e); }
int pdu_decode_date_list(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kDates, i, v, b, e); }
int pdu_decode_address_binding_list(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kBindings, i, v, b, e); }
int pdu_decode_exception_schedule(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kExceptions, i, v, b, e); }
int pdu_decode_reference_list(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kReferences, i, v, b, e); }
int pdu_decode_identifier_list(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kIdentifiers, i, v, b, e); }
int pdu_decode_priority_array(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kPriorities, i, v, b, e); }
int pdu_decode_recipient_list(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kDestinations, i, v, b, e); }
int pdu_decode_recipient_array(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kRecipients, i, v, b, e); }
int pdu_decode_weekly_schedule(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kWeek, i, v, b, e); }
int pdu_decode_timestamp_array(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kStamps, i, v, b, e); }
int pdu_decode_log_buffer(int32_t i, BACnetValue* v, pdu_buffer* b, uint8_t e) { return decode_list(kLog, i, v, b, e); }

namespace {

// A property without a decoder of its own is read generically.
constexpr int kGeneric = PDU_MALFORMED;

// The content by the decoder the property and the array index choose.
int decode_by_property(pdu_buffer* content, BACnetValue* value, uint8_t ending, uint32_t property, int32_t array_index)
{
  for (const ListProperty& entry : kListProperties)
    if (entry.property == property)
      return entry.decode(array_index, value, content, ending);
  for (const SingleProperty& entry : kSingleProperties) {
    if (entry.property == property) {
      value_free(value);
      int result = value_init(value, entry.tag);
      return result != 0 ? result : entry.decode(content, value);
    }
  }
  return kGeneric;
}

// The value between opening and closing tag n, read by `specific` over the enclosed content
// alone, and generically when that fails.
template <class Specific>
int decode_enclosed(pdu_buffer* buffer, BACnetValue* value, uint8_t n, Specific specific)
{
  if (!buffer || !value)
    return PDU_MALFORMED;
  int total = pdu_element_length_at(buffer);
  if (total < 2)
    return PDU_MALFORMED;
  uint32_t start = buffer->pos;
  uint32_t closing = start + uint32_t(total) - 1;
  value_free(value);
  if (pdu_decode_opening_tag(buffer, n) != 0)
    return PDU_MALFORMED;

  // The decoders see only the enclosed content.
  pdu_buffer content{buffer->data, start + 1, closing};
  if (specific(&content) != 0) {
    content.pos = start + 1;
    value_free(value);
    if (int result = pdu_decode_any_sequence(&content, value, closing - (start + 1)))
      return result;
  }
  // Whatever the decoder consumed, the parameters go on after the enclosed value.
  buffer->pos = closing;
  return pdu_decode_closing_tag(buffer, n);
}

// Arrays whose elements are lists of their own: a list request under an array index carries
// elements of that list, as many as it likes (an action list takes action commands; a day of
// the exception or weekly schedule takes events or daily schedules).
const ListShape* indexed_elements(uint32_t property)
{
  switch (property) {
  case PROP_ACTION: return &kActionCommands;
  case PROP_EXCEPTION_SCHEDULE: return &kExceptions;
  case PROP_WEEKLY_SCHEDULE: return &kWeek;
  default: return nullptr;
  }
}

}  // namespace

int pdu_decode_property_value(pdu_buffer* buffer, BACnetValue* value, uint8_t n, uint32_t property, int32_t array_index)
{
  if (array_index < -1)
    return PDU_MALFORMED;
  return decode_enclosed(buffer, value, n, [&](pdu_buffer* content) {
    return decode_by_property(content, value, pdu_closing_tag(n), property, array_index);
  });
}

int pdu_decode_list_elements(pdu_buffer* buffer, BACnetValue* value, uint8_t n, uint32_t property, int32_t array_index)
{
  const ListShape* elements = indexed_elements(property);
  if (!elements || array_index < 1)
    return pdu_decode_property_value(buffer, value, n, property, array_index);
  return decode_enclosed(buffer, value, n, [&](pdu_buffer* content) {
    return decode_list(*elements, -1, value, content, pdu_closing_tag(n));
  });
}
