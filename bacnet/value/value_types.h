// The tagged value every BACnet datum of the stack lives in, its containers and the records
// behind the constructed tags. Plain data only: the operations are in tagged_value.h,
// value_containers.h, value_compare.h, value_time.h and value_access.h.
// A value owns what its payload points to; it is never reference-counted and its memory is
// never written to a file as it stands (pointers sit at their natural size).
#pragma once

#include <cstddef>
#include <cstdint>

// Results of the value library.
inline constexpr int VALUE_OK = 0;
inline constexpr int VALUE_BAD_ARGUMENT = 1;
inline constexpr int VALUE_NO_MEMORY = 1001;
// Results of assignment and validation: the BACnet error code plus one.
inline constexpr int VALUE_INCONSISTENT_PARAMETERS = 8;
inline constexpr int VALUE_INVALID_DATA_TYPE = 10;
inline constexpr int VALUE_OUT_OF_RANGE = 38;
inline constexpr int VALUE_INVALID_ARRAY_INDEX = 43;

// A date or time field of 255 means "any".
inline constexpr uint8_t VALUE_ANY = 255;

// Tag numbers. 0-12 are the BACnet application tags and hold their datum inline; the
// constructed tags point to a record; the list tags point to a BACnetValueArray.
enum ValueTag : uint32_t {
  TAG_NULL = 0,
  TAG_BOOLEAN = 1,
  TAG_UNSIGNED = 2,
  TAG_SIGNED = 3,
  TAG_REAL = 4,
  TAG_DOUBLE = 5,
  TAG_OCTET_STRING = 6,
  TAG_CHARACTER_STRING = 7,
  TAG_BIT_STRING = 8,
  TAG_ENUMERATED = 9,
  TAG_DATE = 10,
  TAG_TIME = 11,
  TAG_OBJECT_ID = 12,

  TAG_ADDRESS = 21,
  TAG_DATETIME = 22,
  TAG_CALENDAR_ENTRY = 23,
  TAG_DATE_RANGE = 24,
  TAG_WEEKNDAY = 25,
  TAG_TIME_VALUE = 26,
  TAG_TIMESTAMP = 27,
  TAG_ACTION_COMMAND = 28,
  TAG_SESSION_KEY = 29,
  TAG_RECIPIENT = 30,
  TAG_RECIPIENT_PROCESS = 31,
  TAG_ADDRESS_BINDING = 32,
  TAG_OBJECT_PROPERTY_REFERENCE = 33,
  TAG_DEVICE_OBJECT_PROPERTY_REFERENCE = 36,
  TAG_LOG_RECORD = 37,
  TAG_READ_ACCESS_SPECIFICATION = 38,
  TAG_WRITE_ACCESS_SPECIFICATION = 39,
  TAG_ALARM_SUMMARY = 40,
  TAG_ENROLLMENT_SUMMARY = 41,
  TAG_READ_ACCESS_RESULT = 42,
  TAG_READ_ACCESS_RESULT_ELEMENT = 43,
  TAG_PROPERTY_REFERENCE = 44,
  TAG_DESTINATION = 45,
  TAG_DAILY_SCHEDULE = 46,
  TAG_SPECIAL_EVENT = 47,
  TAG_PRIORITY_VALUE = 48,
  TAG_PROPERTY_VALUE = 49,
  TAG_PROPERTY_STATES = 50,
  TAG_EVENT_PARAMETER = 51,
  TAG_NOTIFICATION_PARAMETERS = 52,
  TAG_PROPERTY_CONDITION = 53,
  TAG_COV_INCREMENT = 54,
  TAG_OBJECT_PROPERTY_VALUE = 55,
  TAG_ANY_VALUE = 56,

  // Lists (element tag in brackets where the library knows it).
  TAG_LIST = 57,                      // any elements
  TAG_PRIORITY_ARRAY = 58,            // [48]
  TAG_ACTION_LIST = 59,               // element of 62; not creatable
  TAG_LOG_BUFFER = 60,                // [37]
  TAG_CALENDAR_ENTRY_LIST = 61,       // [23]
  TAG_ACTION_LIST_LIST = 62,          // [59]
  TAG_ACTION_COMMAND_LIST = 63,       // [28]
  TAG_CHARACTER_STRING_LIST = 64,     // [7]
  TAG_OBJECT_ID_LIST = 65,            // [12]
  TAG_SESSION_KEY_LIST = 69,          // [29]
  TAG_RECIPIENT_LIST = 70,            // [30]
  TAG_ADDRESS_BINDING_LIST = 71,      // [32]
  TAG_READ_ACCESS_SPECIFICATION_LIST = 72,  // [38]
  TAG_READ_ACCESS_RESULT_LIST = 73,   // [42]
  TAG_RESULT_ELEMENT_LIST = 74,       // [43]
  TAG_UNSIGNED_LIST = 75,             // [2]
  TAG_DESTINATION_LIST = 76,          // [45]
  TAG_DAILY_SCHEDULE_LIST = 77,       // [46]
  TAG_SPECIAL_EVENT_LIST = 78,        // [47]
  TAG_REFERENCE_LIST = 79,            // [36]
  TAG_TIME_VALUE_LIST = 80,           // [26]
  TAG_BIT_STRING_LIST = 81,           // [8]
  TAG_PROPERTY_STATES_LIST = 82,      // [50]
  TAG_OBJECT_PROPERTY_VALUE_LIST = 83,  // [55]
  TAG_TIMESTAMP_LIST = 84,            // [27]
  // Collections of results without a fixed element tag (85-96): a few have names.
  TAG_COV_SUBSCRIPTION_LIST = 85,     // of 110
  TAG_PROPERTY_VALUE_LIST = 87,       // of 49
  TAG_WRITE_ACCESS_SPECIFICATION_LIST = 88,  // of 39
  TAG_SELECTION_CRITERIA_LIST = 92,   // of 53
  TAG_ALARM_SUMMARY_LIST = 93,        // of 40
  TAG_ENROLLMENT_SUMMARY_LIST = 94,   // of 41
  TAG_ANY_VALUE_LIST = 95,            // of 56
  TAG_TAGGED_DATA = 97,
  TAG_TAGGED_DATA_LIST = 98,          // [97]
  TAG_COV_SUBSCRIPTION = 110,
  TAG_EVENT_SUMMARY = 112,
  TAG_EVENT_SUMMARY_LIST = 113,       // of 112
};

// DATE: year minus 1900, month 1-12 (13 odd, 14 even months in patterns), day 1-31
// (32 last day), day of week 1 Monday .. 7 Sunday; 255 in any field = any.
struct BACnetDate {
  uint8_t year;
  uint8_t month;
  uint8_t day;
  uint8_t weekday;
};

// TIME: hour, minute, second, hundredths; 255 in any field = any.
struct BACnetTime {
  uint8_t hour;
  uint8_t minute;
  uint8_t second;
  uint8_t hundredths;
};

struct BACnetObjectId {
  uint32_t type;  // 999 = no identifier
  uint32_t instance;
};

// Octets; data is an owned block of `length` octets, null when empty.
struct OctetString {
  uint32_t length;
  uint8_t* data;
};

// Bits stored one byte per bit (0 or 1), numbered as in the BACnet bit string. Valid bit
// indexes are below `capacity`; `count` bits are held.
struct BitString {
  uint32_t capacity;
  uint32_t count;
  uint8_t* bits;
};

// A byte container that grows (octetstring_grow).
struct ByteBuffer {
  uint32_t capacity;
  uint32_t used;
  uint8_t* data;
};

struct BACnetValueArray;

// The tagged value: 24 bytes, a 16-byte payload. All zero is NULL and owns nothing.
struct BACnetValue {
  uint32_t tag;
  union Payload {
    uint8_t boolean;           // 1
    uint32_t unsigned_value;   // 2
    int32_t signed_value;      // 3
    float real;                // 4
    double double_value;       // 5
    OctetString octets;        // 6
    char* text;                // 7, null = empty string
    BitString bits;            // 8
    uint32_t enumerated;       // 9
    BACnetDate date;           // 10
    BACnetTime time;           // 11
    BACnetObjectId object_id;  // 12
    void* record;              // constructed tags
    BACnetValueArray* array;   // list tags
    uint64_t words[2];
  } payload;
};
static_assert(sizeof(BACnetValue) == 24, "tagged value keeps a 16-byte payload");

// Element storage of every list tag. `count` is a running counter (raised by append,
// lowered by removal) that whole-array walks also use as the index they have reached;
// `used` elements are held in slots 0..used-1; slots from `used` on are zero.
struct BACnetValueArray {
  uint32_t capacity;
  uint32_t count;
  uint32_t used;
  BACnetValue* elements;
};

// Small list whose first entry sits inline. Position 0 is `first`; positions 1..count-1
// live in `overflow` at their own position (slot 0 of the overflow is never used). The
// overflow, once present, has room for the next multiple of 16 at or above `count`.
template <class Entry>
struct InlineList {
  Entry first;
  Entry* overflow;
  uint32_t count;  // below 65536
};

// ---- Records of the constructed tags (field order as the datatypes define them) --------

// 21: network number (65535 = global broadcast) and MAC octets.
struct BACnetAddressValue {
  static constexpr uint32_t kTag = TAG_ADDRESS;
  uint32_t network;
  OctetString mac;
};

// 22
struct BACnetDateTime {
  static constexpr uint32_t kTag = TAG_DATETIME;
  BACnetDate date;
  BACnetTime time;
};

// 24
struct BACnetDateRange {
  static constexpr uint32_t kTag = TAG_DATE_RANGE;
  BACnetDate start;
  BACnetDate end;
};

// 25: month 1-12, 13 odd, 14 even, 255 any; week of month 1-5, 6 last seven days, 255 any;
// day of week 1-7, 255 any.
struct BACnetWeekNDay {
  static constexpr uint32_t kTag = TAG_WEEKNDAY;
  uint8_t month;
  uint8_t week;
  uint8_t weekday;
};

// 23: each alternative has its own field.
struct BACnetCalendarEntry {
  static constexpr uint32_t kTag = TAG_CALENDAR_ENTRY;
  uint32_t choice;  // 0 date, 1 date range, 2 week-n-day
  BACnetDate date;
  BACnetDateRange range;
  BACnetWeekNDay weeknday;
};

// 26
struct BACnetTimeValue {
  static constexpr uint32_t kTag = TAG_TIME_VALUE;
  BACnetTime time;
  BACnetValue value;
};

// 27
struct BACnetTimeStamp {
  static constexpr uint32_t kTag = TAG_TIMESTAMP;
  uint32_t choice;  // 0 time, 1 sequence number, 2 date-time
  BACnetTime time;
  uint32_t sequence;
  BACnetDateTime datetime;
};

// 28
struct BACnetActionCommand {
  static constexpr uint32_t kTag = TAG_ACTION_COMMAND;
  BACnetObjectId device;
  BACnetObjectId object;
  uint32_t property;
  int32_t array_index;  // -1 none
  BACnetValue value;
  uint32_t priority;    // 0 none
  uint32_t post_delay;
  uint8_t quit_on_failure;
  uint8_t write_successful;
};

// 29
struct BACnetSessionKey {
  static constexpr uint32_t kTag = TAG_SESSION_KEY;
  OctetString key;
  BACnetAddressValue peer;
};

// 30: the device (choice 0) or the address (choice 1); each alternative has its own field.
struct BACnetRecipient {
  static constexpr uint32_t kTag = TAG_RECIPIENT;
  int32_t choice;  // -1 none, 0 device, 1 address
  BACnetObjectId device;
  BACnetAddressValue address;
};

// 31
struct BACnetRecipientProcess {
  static constexpr uint32_t kTag = TAG_RECIPIENT_PROCESS;
  uint32_t not_empty;
  BACnetRecipient recipient;
  uint32_t process_id;
};

// 32
struct BACnetAddressBinding {
  static constexpr uint32_t kTag = TAG_ADDRESS_BINDING;
  BACnetObjectId device;
  BACnetAddressValue address;
};

// 33
struct BACnetObjectPropertyReference {
  static constexpr uint32_t kTag = TAG_OBJECT_PROPERTY_REFERENCE;
  BACnetObjectId object;
  uint32_t property;
  int32_t array_index;  // -1 none
};

// 36
struct BACnetDeviceObjectPropertyReference {
  static constexpr uint32_t kTag = TAG_DEVICE_OBJECT_PROPERTY_REFERENCE;
  BACnetObjectId object;
  uint32_t property;
  int32_t array_index;    // -1 none
  BACnetObjectId device;  // type 999 = no device
};

// 37: the datum by choice: 0 log status and 6 bit string in `bits`; 1-5 and 9 in `datum`;
// 7 nothing; 8 the error pair; 10 `any`.
struct BACnetLogRecord {
  static constexpr uint32_t kTag = TAG_LOG_RECORD;
  BACnetDateTime timestamp;
  uint32_t choice;
  BitString bits;
  union Datum {
    uint8_t boolean;          // 1
    float real;               // 2
    uint32_t enumerated;      // 3
    uint32_t unsigned_value;  // 4
    int32_t signed_value;     // 5
    float time_change;        // 9
  } datum;
  uint32_t error_class;  // 8
  uint32_t error_code;
  BACnetValue any;       // 10
  BitString status_flags;
};

// 44, also the entry of a read-access specification's reference list.
struct BACnetPropertyReference {
  static constexpr uint32_t kTag = TAG_PROPERTY_REFERENCE;
  uint32_t property;
  int32_t array_index;  // -1 none
};
using PropertyReferenceList = InlineList<BACnetPropertyReference>;

// 38
struct ReadAccessSpecification {
  static constexpr uint32_t kTag = TAG_READ_ACCESS_SPECIFICATION;
  BACnetObjectId object;
  PropertyReferenceList references;
};
using ReadAccessSpecificationList = InlineList<ReadAccessSpecification>;

// 39: one PropertyValue (49) or a list of them (87).
struct WriteAccessSpecification {
  static constexpr uint32_t kTag = TAG_WRITE_ACCESS_SPECIFICATION;
  BACnetObjectId object;
  BACnetValue properties;
};

// 40
struct AlarmSummaryEntry {
  static constexpr uint32_t kTag = TAG_ALARM_SUMMARY;
  BACnetObjectId object;
  uint32_t alarm_state;
  BitString acked_transitions;
};

// 41
struct EnrollmentSummaryEntry {
  static constexpr uint32_t kTag = TAG_ENROLLMENT_SUMMARY;
  BACnetObjectId object;
  uint32_t event_type;
  uint32_t event_state;
  uint32_t priority;
  uint32_t notification_class;
};

// 43: the property value (choice 0) or the error pair (choice 1).
struct ReadAccessResultElement {
  static constexpr uint32_t kTag = TAG_READ_ACCESS_RESULT_ELEMENT;
  uint32_t property;
  int32_t array_index;  // -1 none
  uint32_t choice;
  BACnetValue value;
  uint32_t error_class;
  uint32_t error_code;
};
using ResultElementList = InlineList<ReadAccessResultElement>;

// 42
struct ReadAccessResult {
  static constexpr uint32_t kTag = TAG_READ_ACCESS_RESULT;
  BACnetObjectId object;
  ResultElementList results;
};
using ReadAccessResultList = InlineList<ReadAccessResult>;

// 45
struct BACnetDestination {
  static constexpr uint32_t kTag = TAG_DESTINATION;
  BitString valid_days;  // 7 bits
  BACnetTime from;
  BACnetTime to;
  BACnetRecipient recipient;
  uint32_t process_id;
  uint8_t issue_confirmed;
  BitString transitions;  // 3 bits
  uint32_t lifetime;
  uint32_t stamp;  // system time in seconds
};

// 46: a list of TimeValues (80).
struct BACnetDailySchedule {
  static constexpr uint32_t kTag = TAG_DAILY_SCHEDULE;
  BACnetValue day_schedule;
};

// 47
struct BACnetSpecialEvent {
  static constexpr uint32_t kTag = TAG_SPECIAL_EVENT;
  uint32_t period_choice;  // 0 calendar entry, 1 calendar reference
  BACnetCalendarEntry calendar_entry;
  BACnetObjectId calendar_reference;
  BACnetValue time_values;  // one TimeValue (26) or a list of them (80)
  uint32_t priority;
};

// 48
struct BACnetPriorityValue {
  static constexpr uint32_t kTag = TAG_PRIORITY_VALUE;
  uint32_t choice;  // 0 NULL, 1 REAL, 2 binary (Enumerated), 3 Unsigned, 4 constructed
  union {
    float real;
    uint32_t enumerated;
    uint32_t unsigned_value;
  };
  BACnetValue value;  // choice 4
};

// 49
struct BACnetPropertyValue {
  static constexpr uint32_t kTag = TAG_PROPERTY_VALUE;
  uint32_t property;
  int32_t array_index;  // -1 none
  BACnetValue value;
  uint32_t priority;    // 0 none
};

// 50: choice 0 boolean, 1 binary value, 2 event type, 3 polarity, 4 program change,
// 5 program state, 6 reason for halt, 7 reliability, 8 state, 9 system status, 10 units,
// 11 unsigned value.
struct BACnetPropertyStates {
  static constexpr uint32_t kTag = TAG_PROPERTY_STATES;
  uint32_t choice;
  uint32_t value;
};

inline constexpr uint32_t EVENT_PARAMETER_NONE = 999;

// 51: by choice 0 change of bitstring (bitmask, values: bit strings), 1 change of state
// (values), 2 change of value (increment_choice: 0 bitmask, 1 increment), 3 command failure
// (reference = feedback), 4 floating limit (reference = setpoint; low and high diff limits,
// deadband), 5 out of range (low, high limit, deadband), 10 buffer ready (threshold,
// previous count). The time delay serves choices 0-5.
struct BACnetEventParameter {
  static constexpr uint32_t kTag = TAG_EVENT_PARAMETER;
  uint32_t choice;  // EVENT_PARAMETER_NONE when empty
  uint32_t time_delay;
  BitString bitmask;
  BACnetValue values;
  uint32_t increment_choice;
  float increment;
  BACnetDeviceObjectPropertyReference reference;
  float low_limit;
  float high_limit;
  float deadband;
  uint32_t notification_threshold;
  uint32_t previous_count;
};

// 52: status flags for choices 0-5; by choice 0 referenced bits (`bits`), 1 new state,
// 2 changed bits (`bits`, changed_choice 0) or changed value (1), 3 command and feedback
// values, 4 reference value, setpoint value, error limit, 5 exceeding value, deadband,
// exceeded limit (the three REALs), 6 property values, 10 buffer property and the two
// notification numbers.
struct BACnetNotificationParameters {
  static constexpr uint32_t kTag = TAG_NOTIFICATION_PARAMETERS;
  uint32_t choice;
  BitString status_flags;
  BitString bits;
  BACnetPropertyStates new_state;
  uint32_t changed_choice;
  float changed_value;
  BACnetValue command_value;
  BACnetValue feedback_value;
  float reals[3];
  BACnetValue property_values;
  BACnetDeviceObjectPropertyReference buffer_property;
  uint32_t previous_notification;
  uint32_t current_notification;
};

// 53: one selection criterion.
struct PropertyCondition {
  static constexpr uint32_t kTag = TAG_PROPERTY_CONDITION;
  uint32_t property;
  int32_t array_index;  // -1 none
  uint32_t relation;
  BACnetValue comparison;
};

// 54
struct BACnetCOVIncrement {
  static constexpr uint32_t kTag = TAG_COV_INCREMENT;
  uint32_t choice;  // 0 real increment, 1 default increment
  float real;
};

// 55
struct BACnetObjectPropertyValue {
  static constexpr uint32_t kTag = TAG_OBJECT_PROPERTY_VALUE;
  BACnetObjectId object;
  uint32_t property;
  int32_t array_index;  // -1 none
  BACnetValue value;
  uint32_t priority;
  uint32_t extra[2];
};

// 56
struct AnyValue {
  static constexpr uint32_t kTag = TAG_ANY_VALUE;
  BACnetValue value;
};

// 97: a context tag number and its content (an Octet String as the codec reads it).
struct TaggedData {
  static constexpr uint32_t kTag = TAG_TAGGED_DATA;
  int32_t tag_number;  // -1 none
  BACnetValue value;
};

// 110
struct CovSubscription {
  static constexpr uint32_t kTag = TAG_COV_SUBSCRIPTION;
  BACnetRecipientProcess recipient;
  BACnetObjectPropertyReference monitored;
  uint32_t issue_confirmed;
  uint32_t time_remaining;
  float cov_increment;
};

// 112
struct EventSummaryEntry {
  static constexpr uint32_t kTag = TAG_EVENT_SUMMARY;
  BACnetObjectId object;
  uint32_t event_state;
  BitString acked_transitions;
  BACnetValue timestamps;  // list of TimeStamps
  uint32_t notify_type;
  BitString event_enable;
  BACnetValue priorities;  // list of Unsigned
};

// The record of a constructed value, or null when the value is missing, has another tag
// or holds no record: `if (auto* r = value_record<BACnetDateTime>(&v)) ...`.
template <class Record>
inline Record* value_record(const BACnetValue* value)
{
  if (!value || value->tag != Record::kTag)
    return nullptr;
  return static_cast<Record*>(value->payload.record);
}

// Element array of a list value, or null.
BACnetValueArray* value_array(const BACnetValue* value);

// Walks a "one or a list" value: a single record of Record's tag, or a list of `list_tag`
// whose elements are such records; anything else holds none. `visit` returns false to stop;
// the result is false when a visit stopped the walk.
template <class Record, class Visit>
bool value_each_record(const BACnetValue& value, uint32_t list_tag, Visit visit)
{
  if (Record* single = value_record<Record>(&value))
    return visit(*single);
  if (value.tag != list_tag)
    return true;
  const BACnetValueArray* list = value_array(&value);
  for (uint32_t i = 0; list && i < list->used; ++i)
    if (Record* element = value_record<Record>(&list->elements[i]); element && !visit(*element))
      return false;
  return true;
}
