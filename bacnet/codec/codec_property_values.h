// Property values by property identifier: an enclosed value whose datatype the octets do
// not tell is read by the decoder the property's identifier and array index choose, with
// the generic reader taking over whenever that decoder fails. Any thread; no state.
// Must not: leave pos anywhere but after the closing tag on success.
#pragma once

#include "bacnet/codec/codec_constructed.h"
#include "bacnet/foundation/bacnet_numbers.h"

// The buffer stands at opening tag n. Array index -1 is the whole property, 0 the array
// length, n >= 1 element n; below -1 is malformed. On success pos stands after closing
// tag n. 0, 8, 1 or 1001.
int pdu_decode_property_value(pdu_buffer* buffer, BACnetValue* value, uint8_t n, uint32_t property,
                              int32_t array_index);
// The elements of AddListElement and RemoveListElement, as pdu_decode_property_value reads
// them, except under an array index of an array whose elements are lists (the action lists,
// the days of the exception and weekly schedules): then every element up to the closing tag,
// as a list of that list's elements.
int pdu_decode_list_elements(pdu_buffer* buffer, BACnetValue* value, uint8_t n, uint32_t property,
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
