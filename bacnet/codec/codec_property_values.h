// Property values by property identifier: an enclosed value whose datatype the octets do
// not tell is read by the decoder the property's identifier and array index choose, with
// the generic reader taking over whenever that decoder fails. Any thread; no state.
// Must not: leave pos anywhere but after the closing tag on success.
#pragma once

#include "bacnet/codec/codec_constructed.h"

// Property identifiers the codec reads with a decoder of their own.
namespace pdu_property {
inline constexpr uint32_t ACTION = 2;
inline constexpr uint32_t ACTION_TEXT = 3;
inline constexpr uint32_t ALARM_VALUES = 7;
inline constexpr uint32_t CHANGE_OF_STATE_TIME = 16;
inline constexpr uint32_t DATE_LIST = 23;
inline constexpr uint32_t DEVICE_ADDRESS_BINDING = 30;
inline constexpr uint32_t EFFECTIVE_PERIOD = 32;
inline constexpr uint32_t EXCEPTION_SCHEDULE = 38;
inline constexpr uint32_t FAULT_VALUES = 39;
inline constexpr uint32_t LIST_OF_OBJECT_PROPERTY_REFERENCES = 54;
inline constexpr uint32_t MODIFICATION_DATE = 71;
inline constexpr uint32_t OBJECT_LIST = 76;
inline constexpr uint32_t OBJECT_PROPERTY_REFERENCE = 78;
inline constexpr uint32_t EVENT_PARAMETERS = 83;
inline constexpr uint32_t PRESENT_VALUE = 85;
inline constexpr uint32_t PRIORITY = 86;
inline constexpr uint32_t PRIORITY_ARRAY = 87;
inline constexpr uint32_t RECIPIENT = 101;
inline constexpr uint32_t RECIPIENT_LIST = 102;
inline constexpr uint32_t STATE_TEXT = 110;
inline constexpr uint32_t TIME_OF_ACTIVE_TIME_RESET = 114;
inline constexpr uint32_t TIME_OF_STATE_COUNT_RESET = 115;
inline constexpr uint32_t TIME_SYNCHRONIZATION_RECIPIENTS = 116;
inline constexpr uint32_t WEEKLY_SCHEDULE = 123;
inline constexpr uint32_t CLIENT_COV_INCREMENT = 127;
inline constexpr uint32_t CURRENT_NOTIFY_TIME = 129;
inline constexpr uint32_t EVENT_TIME_STAMPS = 130;
inline constexpr uint32_t LOG_BUFFER = 131;
inline constexpr uint32_t LOG_DEVICE_OBJECT_PROPERTY = 132;
inline constexpr uint32_t PREVIOUS_NOTIFY_TIME = 138;
inline constexpr uint32_t START_TIME = 142;
inline constexpr uint32_t STOP_TIME = 143;
inline constexpr uint32_t CONFIGURATION_FILES = 154;
inline constexpr uint32_t LAST_RESTORE_TIME = 157;
// Proprietary property of the local device that holds a network address.
inline constexpr uint32_t NETWORK_ADDRESS = 571;
}  // namespace pdu_property

// The buffer stands at opening tag n. Array index -1 is the whole property, 0 the array
// length, n >= 1 element n; below -1 is malformed. On success pos stands after closing
// tag n. 0, 8, 1 or 1001.
int pdu_decode_property_value(pdu_buffer* buffer, BACnetValue* value, uint8_t n, uint32_t property,
                              int32_t array_index);

// The list and array readers of the properties with list values. Each reads, up to the
// octet `ending` or the end of the data, the whole list (index -1), the array length
// (index 0) or one element (index >= 1).
int pdu_decode_action_property(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
int pdu_decode_text_array(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
int pdu_decode_unsigned_list(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
int pdu_decode_date_list(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
int pdu_decode_address_binding_list(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
int pdu_decode_exception_schedule(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
int pdu_decode_reference_list(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
int pdu_decode_identifier_list(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
int pdu_decode_priority_array(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
int pdu_decode_recipient_list(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
int pdu_decode_recipient_array(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
int pdu_decode_weekly_schedule(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
int pdu_decode_timestamp_array(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
int pdu_decode_log_buffer(int32_t array_index, BACnetValue* value, pdu_buffer* buffer, uint8_t ending);
