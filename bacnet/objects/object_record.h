// Local objects one by one: the text key they are stored under, the record that holds a
// type's fields in table order (object_types.h), creation with the type's defaults,
// insertion, deletion and release, typed access to single fields, and the small state
// every object operation shares (change flag, log output, Loop event switch).
// Runs on the stack thread, which owns every record; no locks here. Must not hand a
// record to another thread or keep a pointer to one past its deletion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bacnet/foundation/driver.h"
#include "bacnet/objects/object_types.h"
#include "bacnet/value/value_types.h"

// Working state of the behaviour engine inside every reporting object (the record image
// reserves its words after the type's properties).
struct ObjectEngineState {
  float last_cov_real = 0;        // present value last sent by COV (REAL types)
  uint32_t last_cov_word = 0;     // the same for ENUMERATED and UNSIGNED types
  uint32_t last_status_flags = 0; // status flags at the last run, bit n = flag n
  uint32_t target_state = 0;      // event state the countdown leads to
  int32_t countdown = 0;
  uint32_t recorded_state[3] = {};  // last to-offnormal, to-fault and to-normal states
  uint32_t pending_ack = 0;       // 1 to-offnormal, 2 to-fault, 4 to-normal
  uint32_t force_flags = 0;       // kEngineForceCov: send a COV notification on the next run
  float reported_value = 0;       // present value last reported to the API clients
  uint32_t reserved[6] = {};
};
inline constexpr uint32_t kEngineForceCov = 2;

// One local object. The head is common to every type; the fields follow in the order of
// the type's table (object_types.h), reached through the accessors below.
struct ObjectRecord {
  uint32_t type;
  BACnetObjectId id;
  BACnetValue name;  // CHARACTER STRING
  const ObjectTypeSpec* spec;
  std::byte* fields;  // storage of the type's fields, part of the same allocation
};

inline constexpr uint32_t OBJECT_KEY_SIZE = 32;
// The key "%04X%04d%04X" of (owner, type, instance) into a buffer of OBJECT_KEY_SIZE.
void object_MakeKey(char* key, uint32_t owner, uint32_t type, uint32_t instance);

// A record of `type` with the type's values at creation, not inserted anywhere; null for an
// unsupported type or when memory runs out. Released with object_FreeObject.
ObjectRecord* object_NewRecord(uint32_t owner, uint32_t type, uint32_t instance);

// The record stored under (owner, type, instance), or null.
ObjectRecord* object_Find(uint32_t owner, uint32_t type, uint32_t instance);
// Creates a record with the type's defaults and inserts it; null for an unsupported type
// ("Object not supported" at level 17), out of memory, or a key that exists already (the
// existing object stays as it was). Sets the change flag on success.
ObjectRecord* object_CreateObject(uint32_t owner, uint32_t type, uint32_t instance);
// Inserts a record built elsewhere (objects-file reader). Null for an unsupported type (the
// record stays the caller's) or when the key exists (the record is released). The change
// flag is not touched.
ObjectRecord* object_InsertObject(ObjectRecord* record, uint32_t owner, uint32_t type, uint32_t instance);
// 0, or 18 when no such object exists. Sets the change flag on success.
int object_DeleteObject(uint32_t owner, uint32_t type, uint32_t instance);
// Releases every value and bit string of the record, not the record itself; an unsupported
// type logs "Object not supported" and releases nothing. Safe to repeat.
void object_DestroyObject(uint32_t type, ObjectRecord* record);
// Destroys by the record's own type and frees the record.
void object_FreeObject(ObjectRecord* record);

// Value builders of the create functions: 0, 1 for a missing target, 1001 out of memory.
int object_InitPriorityArray(BACnetValue* value);   // 16 NULL PriorityValues (tag 58)
int object_InitTimeStamps(BACnetValue* value);      // 3 unspecified DateTime stamps (tag 84)
int object_InitStatusFlags(BitString* bits);        // 4 x false
int object_InitLimitEnable(BitString* bits);        // 2 x false
int object_InitEventEnable(BitString* bits);        // 3 x false
int object_InitAckedTransitions(BitString* bits);   // 3 x true

// Typed access to a field by property (or pseudo property); null when the type has no
// such field or holds it in another kind.
uint32_t* object_word(ObjectRecord* record, uint32_t property);      // Unsigned, Enumerated, Word
float* object_real(ObjectRecord* record, uint32_t property);
uint8_t* object_boolean(ObjectRecord* record, uint32_t property);
BitString* object_bits(ObjectRecord* record, uint32_t property);
BACnetValue* object_value(ObjectRecord* record, uint32_t property);  // 77 is the head's name
BACnetDateTime* object_datetime(ObjectRecord* record, uint32_t property);
BACnetDateRange* object_daterange(ObjectRecord* record, uint32_t property);
BACnetDeviceObjectPropertyReference* object_reference(ObjectRecord* record, uint32_t property);
BACnetTimeStamp* object_timestamp(ObjectRecord* record, uint32_t property);
BACnetEventParameter* object_event_parameter(ObjectRecord* record, uint32_t property);
BACnetRecipient* object_recipient(ObjectRecord* record, uint32_t property);
ObjectEngineState* object_engine(ObjectRecord* record);
// The word of a field, 0 when the type has none.
uint32_t object_word_value(ObjectRecord* record, uint32_t property);
// The Notification Class that the object's notification-class property names, or null.
ObjectRecord* object_notification_class(uint32_t owner, ObjectRecord* record);
// Raw storage of a stored field (any kind but Computed and the head), or null.
void* object_field(ObjectRecord* record, const FieldSpec& field);
// Bytes of a field's raw storage (0 for Computed and the head).
std::size_t object_field_size(const FieldSpec& field);
// The intrinsic-reporting switch: true for types without one.
bool object_reporting_on(ObjectRecord* record);

// The device an object property reference points to: the local device when the reference
// carries no device identifier (object type 999), else the referenced device's instance.
uint32_t object_ReferenceOwner(const BACnetDeviceObjectPropertyReference* reference, uint32_t local_instance);

// Change flag: set by creation, deletion, network writes and list changes; a save clears it.
void object_SetChanged();
void object_ClearChanged();
bool object_IsChanged();

// Log output of the object database (messages only while one is set).
void object_set_log(DriverLogFunction log);
void object_log(int level, const char* text);

// Whether Loop objects list their event properties (on by default).
void object_SetLoopEventSwitch(uint8_t on);
uint8_t object_LoopEventSwitch();
