// The typed layer over tagged values: setters, getters and the two-way accessors that the
// object database's property code uses (direction 0 stores plain data into the value, any
// other reads it out), plus the copy helpers behind value_copy. Same thread rules and
// results as the tagged values. Texts handed out are malloc'ed; release them with free().
#pragma once

#include "bacnet/value/value_types.h"

// ---- Setters (data, value): release the value, set the tag, store a copy of the data.
// 1 when data is null (the value is left alone) or a record cannot be allocated (the tag
// is set all the same); 0 otherwise.
int value_set_boolean(const uint8_t* data, BACnetValue* value);
int value_set_unsigned(const uint32_t* data, BACnetValue* value);
int value_set_signed(const int32_t* data, BACnetValue* value);
int value_set_real(const float* data, BACnetValue* value);
int value_set_octetstring(const OctetString* data, BACnetValue* value);
// A null text gives a value without text (0); 1 when the copy fails.
int value_set_charstring(const char* text, BACnetValue* value);
int value_set_bitstring(const BitString* data, BACnetValue* value);
int value_set_enumerated(const uint32_t* data, BACnetValue* value);
int value_set_date(const BACnetDate* data, BACnetValue* value);
int value_set_time(const BACnetTime* data, BACnetValue* value);
int value_set_objectid(const BACnetObjectId* data, BACnetValue* value);
int value_set_address(const BACnetAddressValue* data, BACnetValue* value);
int value_set_datetime(const BACnetDateTime* data, BACnetValue* value);
int value_set_daterange(const BACnetDateRange* data, BACnetValue* value);
int value_set_timestamp(const BACnetTimeStamp* data, BACnetValue* value);
int value_set_recipient(const BACnetRecipient* data, BACnetValue* value);
int value_set_tag36(const BACnetDeviceObjectPropertyReference* data, BACnetValue* value);
int value_set_event_parameter(const BACnetEventParameter* data, BACnetValue* value);

// The read side of the Device object's local time and date: a non-zero low byte of
// write_flag gives 1 and leaves the value alone; else the value becomes the current local
// TIME (tag 11) or DATE (tag 10).
int value_set_local_time(BACnetValue* value, uint32_t write_flag);
int value_set_local_date(BACnetValue* value, uint32_t write_flag);

// ---- Getters (out, value): copy the payload out when the value has the getter's tag.
// Unsigned, Signed, Enumerated, REAL, DATE, TIME, object identifier and Octet String: another
// tag gives 0 and leaves `out` alone. Boolean and Bit String: another tag gives 1. A null
// argument gives 1.
int value_get_boolean(uint8_t* out, const BACnetValue* value);
int value_get_unsigned(uint32_t* out, const BACnetValue* value);
int value_get_signed(int32_t* out, const BACnetValue* value);
int value_get_real(float* out, const BACnetValue* value);
int value_get_enumerated(uint32_t* out, const BACnetValue* value);
int value_get_date(BACnetDate* out, const BACnetValue* value);
int value_get_time(BACnetTime* out, const BACnetValue* value);
int value_get_objectid(BACnetObjectId* out, const BACnetValue* value);
int value_get_octetstring(OctetString* out, const BACnetValue* value);  // octets copied
int value_get_bitstring(BitString* out, const BACnetValue* value);      // bits copied

// ---- Two-way accessors (plain data, value, direction): 0 stores as the setter, any other
// reads as the getter. Reading another tag gives 0 and copies nothing, except Boolean and
// Bit String (1). Record accessors reading a value without a record give 1.
int value_put_bitstring(BitString* data, BACnetValue* value, uint8_t direction);
int value_put_boolean(uint8_t* data, BACnetValue* value, uint8_t direction);
// Store takes *text; read releases the caller's *text (free) and stores a malloc'ed duplicate
// (null when the value holds none).
int value_put_charstring(char** text, BACnetValue* value, uint8_t direction);
int value_put_objectid(BACnetObjectId* data, BACnetValue* value, uint8_t direction);
int value_put_enumerated(uint32_t* data, BACnetValue* value, uint8_t direction);
int value_put_unsigned(uint32_t* data, BACnetValue* value, uint8_t direction);
// Read only (one word); storing releases the value, leaves it NULL and gives 1.
int value_put_tag20(uint32_t* data, BACnetValue* value, uint8_t direction);
int value_put_real(float* data, BACnetValue* value, uint8_t direction);
int value_put_tag22(BACnetDateTime* data, BACnetValue* value, uint8_t direction);
int value_put_tag24(BACnetDateRange* data, BACnetValue* value, uint8_t direction);
// Reading releases the caller's old MAC octets and stores a copy.
int value_put_tag21(BACnetAddressValue* data, BACnetValue* value, uint8_t direction);
int value_put_tag27(BACnetTimeStamp* data, BACnetValue* value, uint8_t direction);
// Reading deep-copies into the caller's record (its old contents released first).
int value_put_tag30(BACnetRecipient* data, BACnetValue* value, uint8_t direction);
int value_put_tag51(BACnetEventParameter* data, BACnetValue* value, uint8_t direction);
int value_put_tag36(BACnetDeviceObjectPropertyReference* data, BACnetValue* value, uint8_t direction);

// Direction 0 assigns first into second (value_assign(second, first, index)), any other
// second into first. An index below -1 gives 1.
int value_transfer(BACnetValue* first, BACnetValue* second, int32_t index, uint8_t direction);

// ---- Copy helpers ------------------------------------------------------------------------
// Deep copy of notification parameters: the destination's old contents are released, the
// words are taken over and the bits and values the source's event type uses duplicated.
// 0, 1 (null) or 1001.
int value_copy_choice(BACnetNotificationParameters* destination, const BACnetNotificationParameters* source);
void value_copy_pair(BACnetDateTime* destination, const BACnetDateTime* source);
void value_copy_pair(BACnetDateRange* destination, const BACnetDateRange* source);
void value_copy_pair(BACnetPropertyReference* destination, const BACnetPropertyReference* source);
void value_copy_pair(BACnetPropertyStates* destination, const BACnetPropertyStates* source);
void value_copy_pair(BACnetCOVIncrement* destination, const BACnetCOVIncrement* source);
void value_copy_triple(BACnetTimeStamp* destination, const BACnetTimeStamp* source);
void value_copy_tag36(BACnetDeviceObjectPropertyReference* destination,
                      const BACnetDeviceObjectPropertyReference* source);
void value_copy_objectid(BACnetObjectId* destination, const BACnetObjectId* source);
// Deep copy by the source's choice (0 device, 1 address with new MAC octets); the
// destination's old address is released first. 0, 1 (null) or 1001.
int value_copy_recipient(BACnetRecipient* destination, const BACnetRecipient* source);
