#include "bacnet/objects/property_access.h"

#include "bacnet/foundation/driver.h"
#include "bacnet/objects/object_hooks.h"
#include "bacnet/objects/property_internal.h"
#include "bacnet/objects/station_index.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"


namespace {

uint32_t g_error_class = kErrorClassProperty;
constexpr int kObjectLogLevel = 17;

// Properties of a remote device (type 1001) that the network may read.
bool remote_readable(uint32_t property)
{
  switch (property) {
  case PROP_OBJECT_IDENTIFIER:
  case PROP_OBJECT_NAME:
  case PROP_OBJECT_TYPE:
  case PROP_SEGMENTATION_SUPPORTED:
  case PROP_SYSTEM_STATUS:
  case PROP_VENDOR_IDENTIFIER:
  case 571:
  case 573:
  case 574: return true;
  default: return false;
  }
}

int remote_device(uint32_t instance, uint32_t property, int32_t index, uint8_t write_flag, BACnetValue* value)
{
  auto hook = object_hooks().read_device_property;
  if (!hook)
    return PROPERTY_UNKNOWN_OBJECT;
  return hook(instance, property, index, write_flag, value, 0);
}

// The event properties of a reporting object exist only while its switch is on.
bool hidden_by_switch(ObjectRecord* record, const FieldSpec& field)
{
  return (field.flags & FIELD_EVENT) && record->spec->gate == EventGate::RecordSwitch && !object_reporting_on(record);
}

bool network_visible(const FieldSpec& field)
{
  return field.flags & (FIELD_REQUIRED | FIELD_OPTIONAL | FIELD_EVENT);
}

bool is_commandable(ObjectRecord* record) { return record->spec->command_choice != 0; }

bool out_of_service(ObjectRecord* record)
{
  uint8_t* oos = object_boolean(record, PROP_OUT_OF_SERVICE);
  return oos && *oos;
}

}  // namespace

uint32_t object_GetErrorClass() { return g_error_class; }
void object_SetErrorClass(uint32_t error_class) { g_error_class = error_class; }

ObjectTarget object_ResolveTarget(int32_t network, uint32_t owner, uint32_t type, uint32_t instance)
{
  if (type != OBJECT_DEVICE) {
    if (!object_Find(owner, type, instance))
      if (int64_t holder = station_index_holder(network, owner, type, instance); holder >= 0)
        return {uint32_t(holder), instance};
    return {owner, instance};
  }
  if (instance == DEVICE_WILDCARD_INSTANCE) {
    auto local = object_hooks().get_local_instance;
    int32_t own = local ? local(nullptr) : int32_t(owner);
    if (own < 0)
      return {owner, instance};
    instance = uint32_t(own);
  }
  // Every local device's Device object is kept under its own instance; a request from a
  // network reaches another's only at a station the two share.
  if (instance != owner && !object_Find(owner, OBJECT_DEVICE, instance) &&
      object_Find(instance, OBJECT_DEVICE, instance) && (network < 0 || station_index_share(network, owner, instance)))
    owner = instance;
  return {owner, instance};
}

// ---- Network door ------------------------------------------------------------------------

int object_ReadProperty(int32_t network, uint32_t owner, ObjectRecord* record, uint32_t type, uint32_t property,
                        int32_t index, BACnetValue* value)
{
  g_error_class = kErrorClassProperty;
  if (index >= 0 && !object_IsArrayProperty(property))
    return PROPERTY_NOT_AN_ARRAY;
  const ObjectTypeSpec* spec = object_type_spec(type);
  if (!spec || !record || record->spec != spec || !value)
    return PROPERTY_UNKNOWN_OBJECT;
  const FieldSpec* field = object_field_spec(*spec, property);
  if (!field || !network_visible(*field) || hidden_by_switch(record, *field))
    return PROPERTY_UNKNOWN_PROPERTY;
  if (field->handler == Handler::ReadDenied)
    return PROPERTY_READ_ACCESS_DENIED;
  value_free(value);
  return object_PropertyFunction(network, owner, record, property, index, PROPERTY_READ, value, 0);
}

int object_WriteProperty(int32_t network, uint32_t owner, ObjectRecord* record, uint32_t type, uint32_t property,
                         int32_t index, BACnetValue* value, uint32_t priority)
{
  if (priority == 0)
    priority = 16;
  g_error_class = kErrorClassProperty;
  if (index >= 0 && !object_IsArrayProperty(property))
    return PROPERTY_NOT_AN_ARRAY;
  const ObjectTypeSpec* spec = object_type_spec(type);
  if (!spec || !record || record->spec != spec)
    return PROPERTY_UNKNOWN_OBJECT;
  if (!value)
    return PROPERTY_OTHER;
  const FieldSpec* field = object_field_spec(*spec, property);
  if (!field || hidden_by_switch(record, *field))
    return PROPERTY_UNKNOWN_PROPERTY;
  if (int rc = property_check_write(record, *field, index, value))
    return rc;
  if (int rc = driver_write_hook())
    return rc;
  int rc = object_PropertyFunction(network, owner, record, property, index, PROPERTY_WRITE, value, priority);
  if (rc == 0 && property == PROP_PRESENT_VALUE && is_commandable(record) && !out_of_service(record))
    rc = driver_write_hook();
  return rc;
}

int object_ReadObjectProperty(int32_t network, uint32_t owner, uint32_t type, uint32_t instance, uint32_t property,
                              int32_t index, BACnetValue* value)
{
  if (type == OBJECT_REMOTE_DEVICE) {
    g_error_class = kErrorClassProperty;
    if (index >= 0 && !object_IsArrayProperty(property))
      return PROPERTY_NOT_AN_ARRAY;
    if (!remote_readable(property))
      return PROPERTY_UNKNOWN_PROPERTY;
    value_free(value);
    return remote_device(instance, property, index, PROPERTY_READ, value);
  }
  ObjectTarget target = object_ResolveTarget(network, owner, type, instance);
  ObjectRecord* record = object_Find(target.owner, type, target.instance);
  if (!record) {
    g_error_class = kErrorClassObject;
    return PROPERTY_UNKNOWN_OBJECT;
  }
  return object_ReadProperty(network, target.owner, record, type, property, index, value);
}

int object_WriteObjectProperty(int32_t network, uint32_t owner, uint32_t type, uint32_t instance, uint32_t property,
                               int32_t index, BACnetValue* value, uint32_t priority)
{
  int rc;
  if (type == OBJECT_REMOTE_DEVICE) {
    g_error_class = kErrorClassProperty;
    if (index >= 0 && !object_IsArrayProperty(property))
      return PROPERTY_NOT_AN_ARRAY;
    if (!value)
      return PROPERTY_OTHER;
    rc = property_check_remote_write(property, value);
    if (rc == 0)
      rc = remote_device(instance, property, index, PROPERTY_WRITE, value);
  } else {
    ObjectTarget target = object_ResolveTarget(network, owner, type, instance);
    ObjectRecord* record = object_Find(target.owner, type, target.instance);
    if (!record) {
      g_error_class = kErrorClassObject;
      return PROPERTY_UNKNOWN_OBJECT;
    }
    rc = object_WriteProperty(network, target.owner, record, type, property, index, value, priority);
  }
  if (rc == 0)
    object_SetChanged();
  return rc;
}

// ---- Inner door --------------------------------------------------------------------------

int object_GetProperty(ObjectRecord* record, int32_t network, uint32_t owner, uint32_t type, uint32_t property,
                       int32_t index, BACnetValue* value)
{
  if (!object_type_supported(type) || !record || !value) {
    object_log(kObjectLogLevel, "object_GetProperty - Object not found");
    return 1;
  }
  value_free(value);
  return object_PropertyFunction(network, owner, record, property, index, PROPERTY_READ, value, 0);
}

int object_SetProperty(int32_t network, uint32_t owner, ObjectRecord* record, uint32_t type, uint32_t property,
                       int32_t index, BACnetValue* value, uint32_t priority)
{
  if (!object_type_supported(type) || !record || !value) {
    object_log(kObjectLogLevel, "object_SetProperty - Object not found");
    return 1;
  }
  return object_PropertyFunction(network, owner, record, property, index, PROPERTY_WRITE, value, priority);
}

int object_GetObjectProperty(int32_t network, uint32_t owner, uint32_t type, uint32_t instance, uint32_t property,
                             int32_t index, BACnetValue* value)
{
  if (type == OBJECT_REMOTE_DEVICE) {
    value_free(value);
    return remote_device(instance, property, index, PROPERTY_READ, value);
  }
  ObjectRecord* record = object_Find(owner, type, instance);
  if (!record)
    return 1;
  return object_GetProperty(record, network, owner, type, property, index, value);
}

int object_SetObjectProperty(int32_t network, uint32_t owner, uint32_t type, uint32_t instance, uint32_t property,
                             int32_t index, BACnetValue* value, uint32_t priority)
{
  if (type == OBJECT_REMOTE_DEVICE)
    return remote_device(instance, property, index, PROPERTY_WRITE, value);
  ObjectRecord* record = object_Find(owner, type, instance);
  if (!record) {
    record = object_CreateObject(owner, type, instance);
    // A failed creation is a failure, not a write that succeeded.
    if (!record)
      return object_type_supported(type) ? PROPERTY_NO_SPACE_FOR_OBJECT : PROPERTY_UNKNOWN_OBJECT;
  }
  return object_SetProperty(network, owner, record, type, property, index, value, priority);
}

int object_SetNumber(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, uint32_t number)
{
  OwnedValue v;
  value_set_unsigned(&number, v.get());
  return object_SetObjectProperty(-1, owner, type, instance, property, -1, v.get(), 0);
}

int object_SetBitString(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, const BitString* bits)
{
  OwnedValue v;
  int rc = value_set_bitstring(bits, v.get());
  if (rc == 0)
    rc = object_SetObjectProperty(-1, owner, type, instance, property, -1, v.get(), 0);
  return rc;
}

int object_SetString(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, const char* text)
{
  OwnedValue v;
  int rc = value_set_charstring(text, v.get());
  if (rc == 0)
    rc = object_SetObjectProperty(-1, owner, type, instance, property, -1, v.get(), 0);
  return rc;
}
