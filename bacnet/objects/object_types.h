// The object types of the local device, described once: for every type its fields in record
// order (kind, property, value at creation), which properties the network may read and list,
// and how a network write of each is checked. Records, property functions, property lists,
// the searches and the objects file all read these tables; adding a property is one row.
// Constant data and pure lookups: any thread, no state, no locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// BACnet property identifiers the database serves (the standard's numbering).
enum Property : uint32_t {
  PROP_ACKED_TRANSITIONS = 0,
  PROP_ACK_REQUIRED = 1,
  PROP_ACTION = 2,
  PROP_ACTION_TEXT = 3,
  PROP_ACTIVE_TEXT = 4,
  PROP_ACTIVE_VT_SESSIONS = 5,
  PROP_ALARM_VALUE = 6,
  PROP_ALARM_VALUES = 7,
  PROP_ALL = 8,
  PROP_ALL_WRITES_SUCCESSFUL = 9,
  PROP_APDU_SEGMENT_TIMEOUT = 10,
  PROP_APDU_TIMEOUT = 11,
  PROP_APPLICATION_SOFTWARE_VERSION = 12,
  PROP_ARCHIVE = 13,
  PROP_BIAS = 14,
  PROP_CHANGE_OF_STATE_COUNT = 15,
  PROP_CHANGE_OF_STATE_TIME = 16,
  PROP_NOTIFICATION_CLASS = 17,
  PROP_CONTROLLED_VARIABLE_REFERENCE = 19,
  PROP_CONTROLLED_VARIABLE_UNITS = 20,
  PROP_CONTROLLED_VARIABLE_VALUE = 21,
  PROP_COV_INCREMENT = 22,
  PROP_DATE_LIST = 23,
  PROP_DAYLIGHT_SAVINGS_STATUS = 24,
  PROP_DEADBAND = 25,
  PROP_DERIVATIVE_CONSTANT = 26,
  PROP_DERIVATIVE_CONSTANT_UNITS = 27,
  PROP_DESCRIPTION = 28,
  PROP_DESCRIPTION_OF_HALT = 29,
  PROP_DEVICE_ADDRESS_BINDING = 30,
  PROP_DEVICE_TYPE = 31,
  PROP_EFFECTIVE_PERIOD = 32,
  PROP_ELAPSED_ACTIVE_TIME = 33,
  PROP_ERROR_LIMIT = 34,
  PROP_EVENT_ENABLE = 35,
  PROP_EVENT_STATE = 36,
  PROP_EVENT_TYPE = 37,
  PROP_EXCEPTION_SCHEDULE = 38,
  PROP_FAULT_VALUES = 39,
  PROP_FEEDBACK_VALUE = 40,
  PROP_FILE_ACCESS_METHOD = 41,
  PROP_FILE_SIZE = 42,
  PROP_FILE_TYPE = 43,
  PROP_FIRMWARE_REVISION = 44,
  PROP_HIGH_LIMIT = 45,
  PROP_INACTIVE_TEXT = 46,
  PROP_IN_PROCESS = 47,
  PROP_INSTANCE_OF = 48,
  PROP_INTEGRAL_CONSTANT = 49,
  PROP_INTEGRAL_CONSTANT_UNITS = 50,
  PROP_ISSUE_CONFIRMED_NOTIFICATIONS = 51,
  PROP_LIMIT_ENABLE = 52,
  PROP_LIST_OF_OBJECT_PROPERTY_REFERENCES = 54,
  PROP_LIST_OF_SESSION_KEYS = 55,
  PROP_LOCAL_DATE = 56,
  PROP_LOCAL_TIME = 57,
  PROP_LOCATION = 58,
  PROP_LOW_LIMIT = 59,
  PROP_MANIPULATED_VARIABLE_REFERENCE = 60,
  PROP_MAXIMUM_OUTPUT = 61,
  PROP_MAX_APDU_LENGTH_ACCEPTED = 62,
  PROP_MAX_INFO_FRAMES = 63,
  PROP_MAX_MASTER = 64,
  PROP_MAX_PRES_VALUE = 65,
  PROP_MINIMUM_OFF_TIME = 66,
  PROP_MINIMUM_ON_TIME = 67,
  PROP_MIN_PRES_VALUE = 69,
  PROP_MODEL_NAME = 70,
  PROP_MODIFICATION_DATE = 71,
  PROP_NOTIFY_TYPE = 72,
  PROP_NUMBER_OF_APDU_RETRIES = 73,
  PROP_NUMBER_OF_STATES = 74,
  PROP_OBJECT_IDENTIFIER = 75,
  PROP_OBJECT_LIST = 76,
  PROP_OBJECT_NAME = 77,
  PROP_OBJECT_PROPERTY_REFERENCE = 78,
  PROP_OBJECT_TYPE = 79,
  PROP_OPTIONAL = 80,
  PROP_OUT_OF_SERVICE = 81,
  PROP_EVENT_PARAMETERS = 83,
  PROP_POLARITY = 84,
  PROP_PRESENT_VALUE = 85,
  PROP_PRIORITY = 86,
  PROP_PRIORITY_ARRAY = 87,
  PROP_PRIORITY_FOR_WRITING = 88,
  PROP_PROCESS_IDENTIFIER = 89,
  PROP_PROGRAM_CHANGE = 90,
  PROP_PROGRAM_LOCATION = 91,
  PROP_PROGRAM_STATE = 92,
  PROP_PROPORTIONAL_CONSTANT = 93,
  PROP_PROTOCOL_CONFORMANCE_CLASS = 95,
  PROP_PROTOCOL_OBJECT_TYPES_SUPPORTED = 96,
  PROP_PROTOCOL_SERVICES_SUPPORTED = 97,
  PROP_PROTOCOL_VERSION = 98,
  PROP_READ_ONLY = 99,
  PROP_REASON_FOR_HALT = 100,
  PROP_RECIPIENT = 101,
  PROP_RECIPIENT_LIST = 102,
  PROP_RELIABILITY = 103,
  PROP_RELINQUISH_DEFAULT = 104,
  PROP_REQUIRED = 105,
  PROP_RESOLUTION = 106,
  PROP_SEGMENTATION_SUPPORTED = 107,
  PROP_SETPOINT = 108,
  PROP_STATE_TEXT = 110,
  PROP_STATUS_FLAGS = 111,
  PROP_SYSTEM_STATUS = 112,
  PROP_TIME_DELAY = 113,
  PROP_TIME_OF_ACTIVE_TIME_RESET = 114,
  PROP_TIME_OF_STATE_COUNT_RESET = 115,
  PROP_TIME_SYNCHRONIZATION_RECIPIENTS = 116,
  PROP_UNITS = 117,
  PROP_UPDATE_INTERVAL = 118,
  PROP_UTC_OFFSET = 119,
  PROP_VENDOR_IDENTIFIER = 120,
  PROP_VENDOR_NAME = 121,
  PROP_VT_CLASSES_SUPPORTED = 122,
  PROP_WEEKLY_SCHEDULE = 123,
  PROP_ATTEMPTED_SAMPLES = 124,
  PROP_AVERAGE_VALUE = 125,
  PROP_BUFFER_SIZE = 126,
  PROP_EVENT_TIME_STAMPS = 130,
  PROP_LOG_BUFFER = 131,
  PROP_LOG_DEVICE_OBJECT_PROPERTY = 132,
  PROP_LOG_ENABLE = 133,
  PROP_LOG_INTERVAL = 134,
  PROP_MAXIMUM_VALUE = 135,
  PROP_MINIMUM_VALUE = 136,
  PROP_NOTIFICATION_THRESHOLD = 137,
  PROP_PROTOCOL_REVISION = 139,
  PROP_RECORDS_SINCE_NOTIFICATION = 140,
  PROP_RECORD_COUNT = 141,
  PROP_START_TIME = 142,
  PROP_STOP_TIME = 143,
  PROP_STOP_WHEN_FULL = 144,
  PROP_TOTAL_RECORD_COUNT = 145,
  PROP_VALID_SAMPLES = 146,
  PROP_WINDOW_INTERVAL = 147,
  PROP_WINDOW_SAMPLES = 148,
  PROP_MAXIMUM_VALUE_TIMESTAMP = 149,
  PROP_MINIMUM_VALUE_TIMESTAMP = 150,
  PROP_VARIANCE_VALUE = 151,
  PROP_ACTIVE_COV_SUBSCRIPTIONS = 152,
  PROP_BACKUP_FAILURE_TIMEOUT = 153,
  PROP_CONFIGURATION_FILES = 154,
  PROP_DATABASE_REVISION = 155,
  PROP_LAST_RESTORE_TIME = 157,
  PROP_MAX_SEGMENTS_ACCEPTED = 167,
  PROP_LAST_NOTIFY_RECORD = 173,
  PROP_SCHEDULE_DEFAULT = 174,
  // Proprietary properties of this stack.
  PROP_CONDITION_TIME = 551,         // Event Enrollment: system seconds of the last quiet run
  PROP_COV_SUBSCRIBERS = 552,        // the COV subscription destinations of an object
  PROP_PENDING_ACKNOWLEDGMENTS = 554,  // Event Enrollment: second copy of the acked bits
  PROP_FILE_NAME = 555,              // File: the local file behind the object
  PROP_DEVICE_SCAN_CONTROL = 562,
  PROP_LOCAL_INSTANCE = 563,
  PROP_DEVICE_SCAN_STATUS = 570,
};

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

// Object types that exist locally.
enum ObjectType : uint32_t {
  OBJECT_ANALOG_INPUT = 0,
  OBJECT_ANALOG_OUTPUT = 1,
  OBJECT_ANALOG_VALUE = 2,
  OBJECT_BINARY_INPUT = 3,
  OBJECT_BINARY_OUTPUT = 4,
  OBJECT_BINARY_VALUE = 5,
  OBJECT_CALENDAR = 6,
  OBJECT_COMMAND = 7,
  OBJECT_DEVICE = 8,
  OBJECT_EVENT_ENROLLMENT = 9,
  OBJECT_FILE = 10,
  OBJECT_GROUP = 11,
  OBJECT_LOOP = 12,
  OBJECT_MULTI_STATE_INPUT = 13,
  OBJECT_MULTI_STATE_OUTPUT = 14,
  OBJECT_NOTIFICATION_CLASS = 15,
  OBJECT_PROGRAM = 16,
  OBJECT_SCHEDULE = 17,
  OBJECT_AVERAGING = 18,
  OBJECT_MULTI_STATE_VALUE = 19,
  OBJECT_TREND_LOG = 20,
  OBJECT_METER = 128,          // proprietary
  OBJECT_REMOTE_DEVICE = 1001, // a remote device served by address binding, not a record
};

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
