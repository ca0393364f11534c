// Every read and write of a local object's property. The network door (object_Read/
// WriteProperty and their key-building wrappers) applies BACnet's rules: which properties
// exist, which may be written, datatypes, ranges, array indexes and priorities. The inner
// door (object_Get/SetProperty) goes straight to the type's property function for the
// stack's own use. Results: 0, or the BACnet error code plus one (see object_GetErrorClass).
// Stack thread only; no locks. Must not be reached from another thread but through the
// request queues of the object database.
#pragma once

#include <cstdint>

#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/value/value_types.h"

struct ObjectRecord;

// Results of property access (the BACnet error code plus one) that callers test for.
inline constexpr int PROPERTY_OTHER = kErrorOther + 1;
inline constexpr int PROPERTY_INCONSISTENT_PARAMETERS = kErrorInconsistentParameters + 1;
inline constexpr int PROPERTY_INVALID_DATA_TYPE = kErrorInvalidDataType + 1;
inline constexpr int PROPERTY_NO_OBJECTS_OF_TYPE = kErrorNoObjectsOfSpecifiedType + 1;
inline constexpr int PROPERTY_NO_SPACE_FOR_OBJECT = kErrorNoSpaceForObject + 1;
inline constexpr int PROPERTY_READ_ACCESS_DENIED = kErrorReadAccessDenied + 1;
inline constexpr int PROPERTY_UNKNOWN_OBJECT = kErrorUnknownObject + 1;
inline constexpr int PROPERTY_UNKNOWN_PROPERTY = kErrorUnknownProperty + 1;
inline constexpr int PROPERTY_VALUE_OUT_OF_RANGE = kErrorValueOutOfRange + 1;
inline constexpr int PROPERTY_WRITE_ACCESS_DENIED = kErrorWriteAccessDenied + 1;
inline constexpr int PROPERTY_INVALID_ARRAY_INDEX = kErrorInvalidArrayIndex + 1;
inline constexpr int PROPERTY_DATATYPE_NOT_SUPPORTED = kErrorDatatypeNotSupported + 1;
inline constexpr int PROPERTY_NOT_AN_ARRAY = kErrorPropertyIsNotAnArray + 1;

// The Device instance that stands for the local device in a network request.
inline constexpr uint32_t DEVICE_WILDCARD_INSTANCE = 4194303;
// The largest instance a local object or device may take: 4194303 is the wildcard, and larger
// numbers would be cut down to an alias of another object.
inline constexpr uint32_t OBJECT_LARGEST_INSTANCE = DEVICE_WILDCARD_INSTANCE - 1;

// The object a network request names, as the database keeps it.
struct ObjectTarget {
  uint32_t owner = 0;
  uint32_t instance = 0;
};
// Devices set up on a port's network share the port's station on that network with the own
// device, so the address alone cannot tell which of them a request is for; the identifier can.
// `network` is the network the request came in on (-1, the stack's own access: any station of
// the owner), and a station is one network.
// For a Device identifier: the wildcard instance stands for the own device; and a Device object
// that the addressed device does not hold belongs to the local device of that instance when
// the two share the station (for the stack's own access, wherever that device is). Any other
// object that the addressed device does not hold belongs to the device whose object answers
// there: the own device's, else the one of the device that came to that network first (where
// the stack's own access sees several stations, the first station that has one). Resolving a
// resolved target changes nothing.
ObjectTarget object_ResolveTarget(int32_t network, uint32_t owner, uint32_t type, uint32_t instance);

// Error class of the last network read or write: 1 when the object was not found, else 2.
uint32_t object_GetErrorClass();
// Sets it for the database's own network operations (the list-element services).
void object_SetErrorClass(uint32_t error_class);

// ---- Network door ------------------------------------------------------------------------
// `network` is the requester's network number (-1 for the stack itself); `owner` the local
// device the request was addressed to. For reads the value is released and filled.
int object_ReadObjectProperty(int32_t network, uint32_t owner, uint32_t type, uint32_t instance, uint32_t property,
                              int32_t index, BACnetValue* value);
// A successful write sets the database's change flag. Priority 0 means 16.
int object_WriteObjectProperty(int32_t network, uint32_t owner, uint32_t type, uint32_t instance, uint32_t property,
                               int32_t index, BACnetValue* value, uint32_t priority);
int object_ReadProperty(int32_t network, uint32_t owner, ObjectRecord* record, uint32_t type, uint32_t property,
                        int32_t index, BACnetValue* value);
int object_WriteProperty(int32_t network, uint32_t owner, ObjectRecord* record, uint32_t type, uint32_t property,
                         int32_t index, BACnetValue* value, uint32_t priority);

// ---- Inner door --------------------------------------------------------------------------
// A missing object gives 1.
int object_GetObjectProperty(int32_t network, uint32_t owner, uint32_t type, uint32_t instance, uint32_t property,
                             int32_t index, BACnetValue* value);
// A missing object is created first; when that fails nothing is written and the result is
// 32 (unsupported type) or 19 (no room for the object).
int object_SetObjectProperty(int32_t network, uint32_t owner, uint32_t type, uint32_t instance, uint32_t property,
                             int32_t index, BACnetValue* value, uint32_t priority);
// Answers also the property lists 8 (all), 80 (optional) and 105 (required).
int object_GetProperty(ObjectRecord* record, int32_t network, uint32_t owner, uint32_t type, uint32_t property,
                       int32_t index, BACnetValue* value);
int object_SetProperty(int32_t network, uint32_t owner, ObjectRecord* record, uint32_t type, uint32_t property,
                       int32_t index, BACnetValue* value, uint32_t priority);

// Typed setters for the stack's own use (network -1, index -1, priority 0, through
// object_SetObjectProperty).
int object_SetNumber(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, uint32_t number);
int object_SetBitString(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, const BitString* bits);
int object_SetString(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, const char* text);

// ---- The property function ---------------------------------------------------------------
inline constexpr uint8_t PROPERTY_READ = 0;
inline constexpr uint8_t PROPERTY_WRITE = 0xFF;
// Reads (direction 0) a property of the record into the value, or writes (0xFF) it from the
// value at the priority, without any of the network's checks.
int object_PropertyFunction(int32_t network, uint32_t owner, ObjectRecord* record, uint32_t property, int32_t index,
                            uint8_t direction, BACnetValue* value, uint32_t priority);

// The property list 8, 80 or 105 of a record: a list (tag 57) of ENUMERATED identifiers.
int object_PropertyList(ObjectRecord* record, uint32_t which, BACnetValue* result);

// Present value of a commandable object from its priority array (or relinquish default).
int object_EvaluatePresentValue(ObjectRecord* record, BACnetValue* value);
