#include "bacnet/value/tagged_value.h"

int value_clear(BACnetValue* /*value*/) { return 1; }
int value_init(BACnetValue* /*value*/, uint32_t /*tag*/) { return 1; }
int value_free(BACnetValue* /*value*/) { return 1; }
int value_release(BACnetValue* /*value*/) { return 1; }
int value_free_alias(BACnetValue* /*value*/) { return 1; }
int value_copy(BACnetValue* /*destination*/, const BACnetValue* /*source*/) { return 1; }
int value_assign(BACnetValue* /*destination*/, const BACnetValue* /*source*/, int32_t /*index*/) { return 1; }
int value_get_element(BACnetValue* /*destination*/, const BACnetValue* /*source*/, int32_t /*index*/) { return 1; }
int value_append_element(BACnetValue* /*target*/, uint32_t /*list_tag*/, BACnetValue* /*element*/) { return 1; }
int value_set_log_callback(const DriverContext* /*context*/) { return 1; }
void value_log(const char* /*text*/) {  }
int recipient_free(BACnetRecipient* /*recipient*/) { return 1; }
int value_free_tag51(BACnetEventParameter* /*parameter*/) { return 1; }
int notification_parameters_free(BACnetNotificationParameters* /*parameters*/) { return 1; }
int value_nop() { return 1; }
bool value_tag_is_primitive(uint32_t /*tag*/) { return false; }
bool value_tag_is_record(uint32_t /*tag*/) { return false; }
bool value_tag_is_list(uint32_t /*tag*/) { return false; }
bool value_tag_is_creatable(uint32_t /*tag*/) { return false; }
uint32_t value_list_element_tag(uint32_t /*list_tag*/) { return 0; }
BACnetValueArray* value_array(const BACnetValue* /*value*/) { return nullptr; }
