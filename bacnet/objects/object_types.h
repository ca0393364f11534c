// The object types of the local device, described once: for every type its fields in record
// order (kind, property, value at creation), which properties the network may read and list,
// and how a network write of each is checked. Records, property functions, property lists,
// the searches and the objects file all read these tables; adding a property is one row.
// Constant data and pure lookups: any thread, no state, no locks.
#pragma once

#include "bacnet/foundation/bacnet_numbers.h"

#include <cstddef>
#include <cstdint>
#include <span>

// Fields that no property serves carry identifiers no BACnet property uses.
inline constexpr uint32_t FIELD_REPORTING_SWITCH = 0x80000001;  // intrinsic reporting on/off
inline constexpr uint32_t FIELD_ENGINE = 0x80000002;            // behaviour-engine state
inline constexpr uint32_t FIELD_SCHEDULE_LOCK = 0x80000003;     // schedule write lock
inline constexpr uint32_t FIELD_BACKUP_COUNTDOWN = 0x80000004;   // Device: seconds of backup left
inline constexpr uint32_t FIELD_SCHEDULE_WRITTEN = 0x80000005;   // Schedule: the value last written out
inline constexpr uint32_t FIELD_SCHEDULE_WRITTEN_AT = 0x80000006;  // and the system seconds it was
inline constexpr uint32_t FIELD_SPARE = 0x80000100;             // + n: n-th spare of a type
// Working words of the Trend Log (spares of its record): the time of the last record
// (seconds and milliseconds) and the total-record-count at the last buffer-ready notification.
inline constexpr uint32_t FIELD_LOG_LAST_SECONDS = FIELD_SPARE + 5;
inline constexpr uint32_t FIELD_LOG_NOTIFIED_COUNT = FIELD_SPARE + 6;
inline constexpr uint32_t FIELD_LOG_LAST_MILLISECONDS = FIELD_SPARE + 7;

// How a field is held in the record (and, for the objects file, in the record image).
enum class FieldKind : uint8_t {
  HeadType,        // the record head: object type (79)
  HeadId,          //                  object identifier (75)
  HeadName,        //                  object name (77)
  Unsigned,        // u32, read as UNSIGNED
  Enumerated,      // u32, read as ENUMERATED
  Real,            // float
  Boolean,         // one byte
  BitString,
  Value,           // a BACnetValue (texts, lists, arrays)
  DateTime,
  DateRange,       // two DATE words
  Reference,       // DeviceObjectPropertyReference
  TimeStamp,
  EventParameter,
  Recipient,
  Word,            // u32 that no property serves
  Bytes,           // `size` bytes that no property serves
  Engine,          // behaviour-engine state; `size` words in the record image
  Computed,        // no storage: answered by a handler
};

// Row flags: how the network sees a property. A row with none of the first three is not
// readable over the network and not listed.
enum FieldFlag : uint8_t {
  FIELD_REQUIRED = 1,   // listed in 105 and 8
  FIELD_OPTIONAL = 2,   // listed in 80 and 8
  FIELD_EVENT = 4,      // listed after the others, gated by the type's event switch
};

// Value at creation.
enum class DefaultKind : uint8_t {
  Zero,
  Word,             // u32 `word`
  Real,             // float `real`
  Bits,             // `word` bits, each `real` != 0
  Text,             // CHARACTER STRING `text`
  NoText,           // CHARACTER STRING without text
  List,             // empty list of tag `word`
  PriorityArray,    // 16 NULL PriorityValues
  TimeStamps,       // 3 unspecified DateTime time stamps
  UnsignedArray3,   // 3 UNSIGNED 0
  WeeklySchedule,   // 7 empty DailySchedules
  ConfigurationFiles,  // one element: the File object (10, instance)
  Instance,         // the object's instance
  CreationStamp,    // TimeStamp: local date and time of creation
  CreationSeconds,  // system seconds of creation
  Unspecified,      // DateTime or DateRange with every octet 255
  EnumeratedZero,   // an ENUMERATED 0 value
  ReferenceNone,    // object property reference without index or device
  TrendLogReference,  // (2, 1) property 85, no index, device (8, owner)
  ObjectReference,  // an ObjectPropertyReference value without index
  ChangeOfState,    // event parameters: change of state, time delay 10
  NoRecipient,      // recipient choice -1
};

struct FieldDefault {
  DefaultKind kind = DefaultKind::Zero;
  uint32_t word = 0;
  float real = 0;
  const char* text = nullptr;
};

// Network write rule of a property.
enum class WriteKind : uint8_t {
  Unknown,        // 33: the network does not know the property
  ReadOnly,       // 41
  Tag,            // value of tag `tag`, else 10
  UnsignedMax,    // UNSIGNED (10) at most `high` (38)
  UnsignedRange,  // UNSIGNED (10) within low..high (38)
  Real,           // REAL (10)
  RealNotNegative,  // REAL (10) >= 0 (38)
  RealZero,       // REAL (10) equal to 0 (38)
  Bits,           // BIT STRING (10) of exactly `low` bits, else `high` (38 or 10)
  EnumeratedBinary,  // ENUMERATED (10) 0 or 1 (38)
  Reliability,    // out of service (41), ENUMERATED (10), in the type's set (38)
  InputValue,     // out of service (41), then the type's value rule
  CommandValue,   // NULL or the type's value rule
  State,          // UNSIGNED (10) within 1..number of states (38)
  StateList,      // list of UNSIGNED (10) each within 1..number of states (38)
  RecipientOrNull,  // NULL or Recipient, else 10
  OutOfServiceOnly, // any value, only out of service (41)
  Custom,         // a checker of the property module (`low` selects it)
};

struct WriteRule {
  WriteKind kind = WriteKind::ReadOnly;
  uint32_t tag = 0;
  uint32_t low = 0;
  uint32_t high = 0;
};

// Behaviour that is more than moving a field (see property_function.cpp for each).
enum class Handler : uint8_t {
  None,
  CommandValue,       // 85 of commandable objects: priority array and relinquish default
  MeterValue,         // 85 of the meter: answered by its reliability
  StampStateCount,    // 15: also stamps 115
  StampActiveTime,    // 33: also stamps 114
  RecipientOrNull,    // 101: choice -1 reads as NULL
  ResetSamples,       // 124: a write restarts the count
  ReadDenied,         // 131: 28
  FileSize,
  FileModified,
  TrendLogEnable,
  TrendLogBufferSize,
  TrendLogReference,
  TrendLogRecordCount,
  DeviceApduTimeout,
  DeviceApduRetries,
  DeviceDaylightSaving,
  DeviceUtcOffset,
  DeviceLocalDate,
  DeviceLocalTime,
  DeviceAddressBinding,
  DeviceMaxApdu,
  DeviceMstpSetting,  // 63, 64: from the MS/TP port, else 1
  DeviceObjectList,
  DeviceCovSubscriptions,
  DeviceSegmentation,
  DeviceMaxSegments,
  DeviceScanControl,
  DeviceLocalInstance,
  DeviceScanStatus,
  Count
};

struct FieldSpec {
  uint32_t property = 0;
  FieldKind kind = FieldKind::Word;
  uint8_t flags = 0;
  uint16_t size = 0;  // Bytes: bytes; Engine: words of the record image
  Handler handler = Handler::None;
  FieldDefault initial{};
  WriteRule write{};

  // Builders for the tables.
  constexpr FieldSpec with(FieldDefault d) const { FieldSpec f = *this; f.initial = d; return f; }
  constexpr FieldSpec with(WriteRule w) const { FieldSpec f = *this; f.write = w; return f; }
  constexpr FieldSpec with(Handler h) const { FieldSpec f = *this; f.handler = h; return f; }
};

// Which switch gates the event properties (FIELD_EVENT rows).
enum class EventGate : uint8_t {
  None,          // always readable and listed
  RecordSwitch,  // the record's intrinsic-reporting switch gates reads and lists
  LoopSwitch,    // the process-wide Loop switch gates the lists only
};

struct ObjectTypeSpec {
  uint32_t type = 0;
  const char* name_format = "";  // object name at creation, from the instance
  std::span<const FieldSpec> fields;
  EventGate gate = EventGate::None;
  uint8_t command_choice = 0;    // PriorityValue choice of a commandable type, else 0
  uint32_t reliability_set = 0;  // bit n: reliability n may be written
  bool saved = false;            // the objects file writes the type
};

// The description of a type, or null for a type that does not exist locally.
const ObjectTypeSpec* object_type_spec(uint32_t type);
bool object_type_supported(uint32_t type);
// Every supported type, in type order.
std::span<const ObjectTypeSpec* const> object_type_specs();
// The row of a property (or pseudo property) of a type, or null.
const FieldSpec* object_field_spec(const ObjectTypeSpec& spec, uint32_t property);
const FieldSpec* object_field_spec(uint32_t type, uint32_t property);

// Properties that take a BACnet array index, and properties that are lists.
bool object_IsArrayProperty(uint32_t property);
bool object_IsListProperty(uint32_t property);

// Layout of a type's record image in the objects file: offset of a field's first byte,
// and the image size (-1 for an unknown type or property).
int32_t object_image_offset(uint32_t type, uint32_t property);
int32_t object_image_size(uint32_t type);
// File width and alignment of a field kind (Bytes and Engine use the row's size).
uint32_t object_image_width(const FieldSpec& field);
bool object_image_aligned(FieldKind kind);
// The offset of a stored field in the image, given where the stored fields before it end
// (`end`, moved past the field): a walk over a type's fields in order places each in one step.
uint32_t object_image_place(const FieldSpec& field, uint32_t* end);
