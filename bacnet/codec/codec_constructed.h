// The constructed datatypes on the wire: each encoder next to its decoder, field by field
// with its context tags, the dispatch of pdu_encode_value over the constructed and list
// tags, and the readers of values whose datatype is unknown. Any thread; no state.
// Must not: read outside the buffer, write a choice it does not know as if it were one (the
// encoder fails), or leave a record it fails on unreleasable (the caller frees records and
// values after a failure, whatever was filled in).
#pragma once

#include "bacnet/codec/codec_primitives.h"
#include "bacnet/value/value_types.h"

// An error class and code, as Error PDUs and failed property reads carry them.
struct BACnetError {
  uint32_t error_class = 0;
  uint32_t error_code = 0;
};

// Writes a value of a constructed or list tag (pdu_encode_value dispatches here).
int pdu_encode_constructed_datatype(pdu_buffer* buffer, const BACnetValue* value, int tag);

// Error: Enumerated class, Enumerated code, application-tagged.
int pdu_encode_bacnet_error(pdu_buffer* buffer, const BACnetError* error);
int pdu_decode_bacnet_error(pdu_buffer* buffer, BACnetError* error);

// Application-tagged object identifier (DeleteObject, CreateObject-ACK).
int pdu_encode_object_identifier(pdu_buffer* buffer, const BACnetObjectId* object);

int pdu_encode_address(pdu_buffer* buffer, const BACnetAddressValue* address);
int pdu_decode_address(pdu_buffer* buffer, BACnetAddressValue* address);
int pdu_encode_datetime(pdu_buffer* buffer, const BACnetDateTime* datetime);
int pdu_decode_datetime(pdu_buffer* buffer, BACnetDateTime* datetime);
int pdu_encode_date_range(pdu_buffer* buffer, const BACnetDateRange* range);
int pdu_decode_date_range(pdu_buffer* buffer, BACnetDateRange* range);
int pdu_encode_weeknday(pdu_buffer* buffer, const BACnetWeekNDay* weeknday);
int pdu_encode_calendar_entry(pdu_buffer* buffer, const BACnetCalendarEntry* entry);
int pdu_decode_calendar_entry(pdu_buffer* buffer, BACnetCalendarEntry* entry);
int pdu_encode_time_value(pdu_buffer* buffer, const BACnetTimeValue* time_value);
int pdu_decode_time_value(pdu_buffer* buffer, BACnetTimeValue* time_value);
int pdu_encode_timestamp(pdu_buffer* buffer, const BACnetTimeStamp* stamp);
int pdu_decode_timestamp(pdu_buffer* buffer, BACnetTimeStamp* stamp);
int pdu_encode_recipient(pdu_buffer* buffer, const BACnetRecipient* recipient);
int pdu_decode_recipient(pdu_buffer* buffer, BACnetRecipient* recipient);
int pdu_encode_address_binding(pdu_buffer* buffer, const BACnetAddressBinding* binding);
int pdu_decode_address_binding(pdu_buffer* buffer, BACnetAddressBinding* binding);
int pdu_encode_object_property_reference(pdu_buffer* buffer, const BACnetObjectPropertyReference* reference);
int pdu_decode_object_property_reference(pdu_buffer* buffer, BACnetObjectPropertyReference* reference);
int pdu_encode_device_object_property_reference(pdu_buffer* buffer, const BACnetDeviceObjectPropertyReference* reference);
int pdu_decode_device_object_property_reference(pdu_buffer* buffer, BACnetDeviceObjectPropertyReference* reference);
int pdu_encode_property_reference(pdu_buffer* buffer, const BACnetPropertyReference* reference);
int pdu_decode_property_reference(pdu_buffer* buffer, BACnetPropertyReference* reference);
int pdu_encode_read_access_specification(pdu_buffer* buffer, const ReadAccessSpecification* specification);
int pdu_decode_read_access_specification(pdu_buffer* buffer, ReadAccessSpecification* specification);
int pdu_encode_read_access_result_element(pdu_buffer* buffer, const ReadAccessResultElement* element);
int pdu_decode_read_access_result_element(pdu_buffer* buffer, ReadAccessResultElement* element);
int pdu_encode_read_access_result(pdu_buffer* buffer, const ReadAccessResult* result);
int pdu_decode_read_access_result(pdu_buffer* buffer, ReadAccessResult* result);
int pdu_encode_property_value(pdu_buffer* buffer, const BACnetPropertyValue* property_value);
// [0] property, [1] index (opt), [2]{ value by property }, [3] priority (opt); a priority
// outside 1 to 16 is malformed.
int pdu_decode_property_value_field(pdu_buffer* buffer, BACnetPropertyValue* property_value);
int pdu_encode_priority_value(pdu_buffer* buffer, const BACnetPriorityValue* priority_value);
int pdu_decode_priority_value(pdu_buffer* buffer, BACnetPriorityValue* priority_value);
int pdu_encode_property_states(pdu_buffer* buffer, const BACnetPropertyStates* states);
int pdu_decode_property_states(pdu_buffer* buffer, BACnetPropertyStates* states);
int pdu_encode_client_cov(pdu_buffer* buffer, const BACnetCOVIncrement* increment);
int pdu_decode_client_cov(pdu_buffer* buffer, BACnetCOVIncrement* increment);
int pdu_encode_log_record(pdu_buffer* buffer, const BACnetLogRecord* record);
int pdu_decode_log_record(pdu_buffer* buffer, BACnetLogRecord* record);
int pdu_encode_action_command(pdu_buffer* buffer, const BACnetActionCommand* command);
int pdu_decode_action_command(pdu_buffer* buffer, BACnetActionCommand* command);
// [0]{ BACnetActionCommand ... } into a list of action commands (tag 63).
int pdu_decode_action_list(pdu_buffer* buffer, BACnetValue* list);
int pdu_encode_destination(pdu_buffer* buffer, const BACnetDestination* destination);
int pdu_decode_destination(pdu_buffer* buffer, BACnetDestination* destination);
int pdu_encode_daily_schedule(pdu_buffer* buffer, const BACnetDailySchedule* schedule);
int pdu_decode_daily_schedule(pdu_buffer* buffer, BACnetDailySchedule* schedule);
int pdu_encode_special_event(pdu_buffer* buffer, const BACnetSpecialEvent* event);
int pdu_decode_special_event(pdu_buffer* buffer, BACnetSpecialEvent* event);
int pdu_encode_session_key(pdu_buffer* buffer, const BACnetSessionKey* key);
// [0]{ BACnetRecipient }, [1] process identifier; a decoded one is marked not empty.
int pdu_encode_recipient_process(pdu_buffer* buffer, const BACnetRecipientProcess* process);
int pdu_decode_recipient_process(pdu_buffer* buffer, BACnetRecipientProcess* process);
int pdu_encode_cov_subscription(pdu_buffer* buffer, const CovSubscription* subscription);
// [0] object, [1]{ one PropertyValue or a PropertyValue list }; any other list fails.
int pdu_encode_write_access_specification(pdu_buffer* buffer, const WriteAccessSpecification* specification);
int pdu_decode_write_access_specification(pdu_buffer* buffer, WriteAccessSpecification* specification);
// One selection criterion of ReadPropertyConditional.
int pdu_encode_selection_criterion(pdu_buffer* buffer, const PropertyCondition* criterion);
int pdu_encode_object_property_value(pdu_buffer* buffer, const BACnetObjectPropertyValue* value);
int pdu_encode_tagged_data(pdu_buffer* buffer, const TaggedData* data);
int pdu_decode_tagged_data(pdu_buffer* buffer, BACnetValue* value);

// A value of unknown datatype: an application-tagged primitive as itself, a context-tagged
// element as tagged data (primitive content as an Octet String, constructed content read
// the same way, element by element).
int pdu_decode_any_element(pdu_buffer* buffer, BACnetValue* value);
// The `length` octets from pos: one element alone is that element; otherwise a list of
// any-value entries (tag 95), one per element.
int pdu_decode_any_sequence(pdu_buffer* buffer, BACnetValue* value, uint32_t length);
