#include "bacnet/codec/codec_constructed.h"

#include "bacnet/codec/codec_events.h"
#include "bacnet/codec/codec_fields.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

using namespace pdu_fields;

namespace {

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
