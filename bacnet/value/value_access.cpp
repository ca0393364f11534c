#include "bacnet/value/value_access.h"

int value_set_boolean(const uint8_t* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_unsigned(const uint32_t* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_signed(const int32_t* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_real(const float* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_double(const double* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_octetstring(const OctetString* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_charstring(const char* /*text*/, BACnetValue* /*value*/) { return 1; }
int value_set_bitstring(const BitString* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_enumerated(const uint32_t* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_date(const BACnetDate* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_time(const BACnetTime* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_objectid(const BACnetObjectId* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_address(const BACnetAddressValue* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_datetime(const BACnetDateTime* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_daterange(const BACnetDateRange* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_timestamp(const BACnetTimeStamp* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_recipient(const BACnetRecipient* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_tag36(const BACnetDeviceObjectPropertyReference* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_event_parameter(const BACnetEventParameter* /*data*/, BACnetValue* /*value*/) { return 1; }
int value_set_local_time(BACnetValue* /*value*/, uint32_t /*write_flag*/) { return 1; }
int value_set_local_date(BACnetValue* /*value*/, uint32_t /*write_flag*/) { return 1; }
int value_get_boolean(uint8_t* /*out*/, const BACnetValue* /*value*/) { return 1; }
int value_get_unsigned(uint32_t* /*out*/, const BACnetValue* /*value*/) { return 1; }
int value_get_signed(int32_t* /*out*/, const BACnetValue* /*value*/) { return 1; }
int value_get_real(float* /*out*/, const BACnetValue* /*value*/) { return 1; }
int value_get_double(double* /*out*/, const BACnetValue* /*value*/) { return 1; }
int value_get_enumerated(uint32_t* /*out*/, const BACnetValue* /*value*/) { return 1; }
int value_get_date(BACnetDate* /*out*/, const BACnetValue* /*value*/) { return 1; }
int value_get_time(BACnetTime* /*out*/, const BACnetValue* /*value*/) { return 1; }
int value_get_objectid(BACnetObjectId* /*out*/, const BACnetValue* /*value*/) { return 1; }
int value_get_octetstring(OctetString* /*out*/, const BACnetValue* /*value*/) { return 1; }
int value_get_bitstring(BitString* /*out*/, const BACnetValue* /*value*/) { return 1; }
int value_get_charstring(char** /*out*/, const BACnetValue* /*value*/) { return 1; }
int value_put_bitstring(BitString* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_boolean(uint8_t* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_charstring(char** /*text*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_objectid(BACnetObjectId* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_enumerated(uint32_t* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_unsigned(uint32_t* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_tag20(uint32_t* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_real(float* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_tag22(BACnetDateTime* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_tag24(BACnetDateRange* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_tag21(BACnetAddressValue* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_tag27(BACnetTimeStamp* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_tag30(BACnetRecipient* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_tag51(BACnetEventParameter* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_put_tag36(BACnetDeviceObjectPropertyReference* /*data*/, BACnetValue* /*value*/, uint8_t /*direction*/) { return 1; }
int value_transfer(BACnetValue* /*first*/, BACnetValue* /*second*/, int32_t /*index*/, uint8_t /*direction*/) { return 1; }
int value_copy_choice(BACnetNotificationParameters* /*destination*/, const BACnetNotificationParameters* /*source*/) { return 1; }
void value_copy_pair(BACnetDateTime* /*destination*/, const BACnetDateTime* /*source*/) {  }
void value_copy_pair(BACnetDateRange* /*destination*/, const BACnetDateRange* /*source*/) {  }
void value_copy_pair(BACnetPropertyReference* /*destination*/, const BACnetPropertyReference* /*source*/) {  }
void value_copy_pair(BACnetPropertyStates* /*destination*/, const BACnetPropertyStates* /*source*/) {  }
void value_copy_pair(BACnetCOVIncrement* /*destination*/, const BACnetCOVIncrement* /*source*/) {  }
void value_copy_triple(BACnetTimeStamp* /*destination*/, const BACnetTimeStamp* /*source*/) {  }
void value_copy_tag36(BACnetDeviceObjectPropertyReference* /*destination*/, const BACnetDeviceObjectPropertyReference* /*source*/) {  }
void value_copy_objectid(BACnetObjectId* /*destination*/, const BACnetObjectId* /*source*/) {  }
int value_copy_recipient(BACnetRecipient* /*destination*/, const BACnetRecipient* /*source*/) { return 1; }
int value_copy_address(BACnetAddressValue* /*destination*/, const BACnetAddressValue* /*source*/) { return 1; }
