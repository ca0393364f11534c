#include "bacnet/objects/object_types.h"

#include <array>
#include <initializer_list>

#include "bacnet/value/value_types.h"

namespace {

// ---- Row builders ------------------------------------------------------------------------

constexpr uint8_t REQ = FIELD_REQUIRED;
constexpr uint8_t OPT = FIELD_OPTIONAL;
constexpr uint8_t EVT = FIELD_EVENT;

constexpr FieldSpec row(uint32_t property, FieldKind kind, uint8_t flags)
{
  FieldSpec f;
  f.property = property;
  f.kind = kind;
  f.flags = flags;
  return f;
}

// A field the network neither reads nor writes.
constexpr FieldSpec hidden(uint32_t property, FieldKind kind)
{
  return row(property, kind, 0).with(WriteRule{WriteKind::Unknown});
}
constexpr FieldSpec spare(uint32_t n) { return hidden(FIELD_SPARE + n, FieldKind::Word); }
constexpr FieldSpec spare_bytes(uint32_t n, uint16_t bytes)
{
  FieldSpec f = hidden(FIELD_SPARE + n, FieldKind::Bytes);
  f.size = bytes;
  return f;
}
constexpr FieldSpec engine(uint16_t words)
{
  FieldSpec f = hidden(FIELD_ENGINE, FieldKind::Engine);
  f.size = words;
  return f;
}
constexpr FieldSpec computed(uint32_t property, uint8_t flags, Handler handler)
{
  return row(property, FieldKind::Computed, flags).with(handler);
}

constexpr FieldDefault word(uint32_t w) { return {DefaultKind::Word, w}; }
constexpr FieldDefault real(float r) { return {DefaultKind::Real, 0, r}; }
constexpr FieldDefault bits(uint32_t n, bool set) { return {DefaultKind::Bits, n, set ? 1.0f : 0.0f}; }
constexpr FieldDefault text(const char* t) { return {DefaultKind::Text, 0, 0, t}; }
constexpr FieldDefault list(uint32_t tag) { return {DefaultKind::List, tag}; }
constexpr FieldDefault make(DefaultKind kind) { return {kind}; }

constexpr WriteRule read_only() { return {WriteKind::ReadOnly}; }
constexpr WriteRule tag(uint32_t t) { return {WriteKind::Tag, t}; }
constexpr WriteRule unsigned_max(uint32_t high) { return {WriteKind::UnsignedMax, TAG_UNSIGNED, 0, high}; }
constexpr WriteRule unsigned_range(uint32_t low, uint32_t high) { return {WriteKind::UnsignedRange, TAG_UNSIGNED, low, high}; }
constexpr WriteRule bit_count(uint32_t n, uint32_t refusal) { return {WriteKind::Bits, TAG_BIT_STRING, n, refusal}; }
constexpr WriteRule rule(WriteKind kind, uint32_t t = 0) { return {kind, t}; }
constexpr WriteRule custom(uint32_t checker) { return {WriteKind::Custom, 0, checker}; }

// ---- Rows shared by many types -----------------------------------------------------------

constexpr FieldSpec kType = row(PROP_OBJECT_TYPE, FieldKind::HeadType, REQ);
constexpr FieldSpec kId = row(PROP_OBJECT_IDENTIFIER, FieldKind::HeadId, REQ);
constexpr FieldSpec kName = row(PROP_OBJECT_NAME, FieldKind::HeadName, REQ);
constexpr FieldSpec kNameWritable = kName.with(tag(TAG_CHARACTER_STRING));

constexpr FieldSpec kCovSubscribers = hidden(PROP_COV_SUBSCRIBERS, FieldKind::Value);
constexpr FieldSpec kDescription = row(PROP_DESCRIPTION, FieldKind::Value, OPT).with(text(""));
constexpr FieldSpec kDescriptionWritable = kDescription.with(tag(TAG_CHARACTER_STRING));
constexpr FieldSpec kDeviceType = row(PROP_DEVICE_TYPE, FieldKind::Value, OPT).with(text(""));
constexpr FieldSpec kStatusFlags = row(PROP_STATUS_FLAGS, FieldKind::BitString, REQ).with(bits(4, false));
constexpr FieldSpec kEventState = row(PROP_EVENT_STATE, FieldKind::Enumerated, REQ);
constexpr FieldSpec reliability(uint32_t initial)
{
  return row(PROP_RELIABILITY, FieldKind::Enumerated, OPT).with(word(initial)).with(rule(WriteKind::Reliability));
}
constexpr FieldSpec kOutOfService = row(PROP_OUT_OF_SERVICE, FieldKind::Boolean, REQ).with(tag(TAG_BOOLEAN));
constexpr FieldSpec kUnits = row(PROP_UNITS, FieldKind::Enumerated, REQ).with(word(95));
// A negative increment, or one that is not a number, would report every run as a change.
constexpr FieldSpec kCovIncrement =
    row(PROP_COV_INCREMENT, FieldKind::Real, OPT).with(real(0.1f)).with(rule(WriteKind::RealNotNegative));
constexpr FieldSpec kTimeDelay = row(PROP_TIME_DELAY, FieldKind::Unsigned, EVT).with(word(10)).with(tag(TAG_UNSIGNED));
constexpr FieldSpec kNotificationClass =
    row(PROP_NOTIFICATION_CLASS, FieldKind::Unsigned, EVT).with(word(10)).with(unsigned_max(4194303));
constexpr FieldSpec kHighLimit = row(PROP_HIGH_LIMIT, FieldKind::Real, EVT).with(real(1000.0f)).with(rule(WriteKind::Real));
constexpr FieldSpec kLowLimit = row(PROP_LOW_LIMIT, FieldKind::Real, EVT).with(rule(WriteKind::Real));
constexpr FieldSpec kDeadband = row(PROP_DEADBAND, FieldKind::Real, EVT).with(real(1.0f)).with(rule(WriteKind::RealNotNegative));
constexpr FieldSpec kLimitEnable = row(PROP_LIMIT_ENABLE, FieldKind::BitString, EVT).with(bits(2, false)).with(bit_count(2, 38));
constexpr FieldSpec kEventEnable = row(PROP_EVENT_ENABLE, FieldKind::BitString, EVT).with(bits(3, false)).with(bit_count(3, 38));
constexpr FieldSpec kAckedTransitions = row(PROP_ACKED_TRANSITIONS, FieldKind::BitString, EVT).with(bits(3, true));
constexpr FieldSpec kNotifyType = row(PROP_NOTIFY_TYPE, FieldKind::Enumerated, EVT).with(rule(WriteKind::EnumeratedBinary));
constexpr FieldSpec kTimeStamps = row(PROP_EVENT_TIME_STAMPS, FieldKind::Value, EVT).with(make(DefaultKind::TimeStamps));
constexpr FieldSpec kSwitch = hidden(FIELD_REPORTING_SWITCH, FieldKind::Word).with(word(1));
constexpr FieldSpec kPriorityArray = row(PROP_PRIORITY_ARRAY, FieldKind::Value, REQ).with(make(DefaultKind::PriorityArray));
constexpr FieldSpec kPolarity = row(PROP_POLARITY, FieldKind::Enumerated, REQ);
constexpr FieldSpec kChangeOfStateTime = row(PROP_CHANGE_OF_STATE_TIME, FieldKind::DateTime, OPT);
constexpr FieldSpec kChangeOfStateCount =
    row(PROP_CHANGE_OF_STATE_COUNT, FieldKind::Unsigned, OPT).with(tag(TAG_UNSIGNED)).with(Handler::StampStateCount);
constexpr FieldSpec kStateCountReset = row(PROP_TIME_OF_STATE_COUNT_RESET, FieldKind::DateTime, OPT);
constexpr FieldSpec kElapsedActiveTime =
    row(PROP_ELAPSED_ACTIVE_TIME, FieldKind::Unsigned, OPT).with(tag(TAG_UNSIGNED)).with(Handler::StampActiveTime);
constexpr FieldSpec kActiveTimeReset = row(PROP_TIME_OF_ACTIVE_TIME_RESET, FieldKind::DateTime, OPT);
constexpr FieldSpec kMinimumOffTime = hidden(PROP_MINIMUM_OFF_TIME, FieldKind::Unsigned).with(tag(TAG_UNSIGNED));
constexpr FieldSpec kMinimumOnTime = hidden(PROP_MINIMUM_ON_TIME, FieldKind::Unsigned).with(tag(TAG_UNSIGNED));
constexpr FieldSpec kNumberOfStates = row(PROP_NUMBER_OF_STATES, FieldKind::Unsigned, REQ);
constexpr FieldSpec kStateText = row(PROP_STATE_TEXT, FieldKind::Value, OPT).with(list(TAG_CHARACTER_STRING_LIST));
constexpr FieldSpec kAlarmValues = row(PROP_ALARM_VALUES, FieldKind::Value, EVT)
                                       .with(list(TAG_UNSIGNED_LIST)).with(rule(WriteKind::StateList, TAG_UNSIGNED_LIST));
constexpr FieldSpec kFaultValues = row(PROP_FAULT_VALUES, FieldKind::Value, EVT)
                                       .with(list(TAG_UNSIGNED_LIST)).with(rule(WriteKind::StateList, TAG_UNSIGNED_LIST));
constexpr FieldSpec text_row(uint32_t property, uint8_t flags) { return row(property, FieldKind::Value, flags).with(text("")); }

// Checkers of the property module, selected by WriteRule::low of a Custom rule.
enum Checker : uint32_t {
  CHECK_DATE_LIST = 1,
  CHECK_NC_PRIORITY,
  CHECK_RECIPIENT_LIST,
  CHECK_EFFECTIVE_PERIOD,
  CHECK_EXCEPTION_SCHEDULE,
  CHECK_REFERENCE_LIST,
  CHECK_WEEKLY_SCHEDULE,
  CHECK_SCHEDULE_VALUE,
  CHECK_LOG_REFERENCE,
  CHECK_DATETIME,
  CHECK_SYNC_RECIPIENTS,
};
static_assert(CHECK_SYNC_RECIPIENTS == 11, "checker numbers are shared with property_checks.cpp");

// ---- The types ---------------------------------------------------------------------------

constexpr FieldSpec kAnalogInput[] = {
    kType, kId, kName,
    row(PROP_PRESENT_VALUE, FieldKind::Real, REQ).with(rule(WriteKind::InputValue, TAG_REAL)),
    kCovSubscribers, kDescription, kDeviceType, kStatusFlags, kEventState, reliability(1), kOutOfService,
    row(PROP_UPDATE_INTERVAL, FieldKind::Unsigned, OPT).with(word(100)),
    kUnits,
    row(PROP_MIN_PRES_VALUE, FieldKind::Real, OPT),
    row(PROP_MAX_PRES_VALUE, FieldKind::Real, OPT).with(real(1000.0f)),
    row(PROP_RESOLUTION, FieldKind::Real, OPT).with(real(0.1f)),
    kCovIncrement, kTimeDelay, kNotificationClass, kHighLimit, kLowLimit, kDeadband, kLimitEnable,
    kEventEnable, kAckedTransitions, kNotifyType, kTimeStamps, engine(19), kSwitch,
};

constexpr FieldSpec kAnalogOutput[] = {
    kType, kId, kName,
    computed(PROP_PRESENT_VALUE, REQ, Handler::CommandValue).with(rule(WriteKind::CommandValue, TAG_REAL)),
    kCovSubscribers, kDescription, kDeviceType, kStatusFlags, kEventState, reliability(1), kOutOfService,
    spare(1), kUnits,
    row(PROP_MIN_PRES_VALUE, FieldKind::Real, OPT),
    row(PROP_MAX_PRES_VALUE, FieldKind::Real, OPT).with(real(100.0f)),
    row(PROP_RESOLUTION, FieldKind::Real, OPT).with(real(0.1f)),
    kPriorityArray,
    row(PROP_RELINQUISH_DEFAULT, FieldKind::Real, REQ),
    kCovIncrement, kTimeDelay, kNotificationClass, kHighLimit, kLowLimit, kDeadband, kLimitEnable,
    kEventEnable, kAckedTransitions, kNotifyType, kTimeStamps, engine(20), kSwitch,
};

constexpr FieldSpec kAnalogValue[] = {
    kType, kId, kName,
    computed(PROP_PRESENT_VALUE, REQ, Handler::CommandValue).with(rule(WriteKind::CommandValue, TAG_REAL)),
    kCovSubscribers, kDescription, kStatusFlags, kEventState, reliability(0), kOutOfService, kUnits,
    kPriorityArray,
    row(PROP_RELINQUISH_DEFAULT, FieldKind::Real, REQ),
    kCovIncrement, kTimeDelay, kNotificationClass, kHighLimit, kLowLimit, kDeadband, kLimitEnable,
    kEventEnable, kAckedTransitions, kNotifyType, kTimeStamps, engine(20), kSwitch,
};

constexpr FieldSpec kBinaryInput[] = {
    kType, kId, kName,
    row(PROP_PRESENT_VALUE, FieldKind::Enumerated, REQ).with(rule(WriteKind::InputValue, TAG_ENUMERATED)),
    kCovSubscribers, kDescription, kDeviceType, kStatusFlags, kEventState, reliability(1), kOutOfService,
    kPolarity,
    row(PROP_INACTIVE_TEXT, FieldKind::Value, OPT).with(text("Off")),
    row(PROP_ACTIVE_TEXT, FieldKind::Value, OPT).with(text("On")),
    kChangeOfStateTime, kChangeOfStateCount, kStateCountReset, kElapsedActiveTime, kActiveTimeReset,
    kTimeDelay, kNotificationClass,
    row(PROP_ALARM_VALUE, FieldKind::Enumerated, EVT).with(rule(WriteKind::EnumeratedBinary)),
    kEventEnable, kAckedTransitions, kNotifyType, kTimeStamps, engine(19), kSwitch,
};

constexpr FieldSpec kBinaryOutput[] = {
    kType, kId, kName,
    computed(PROP_PRESENT_VALUE, REQ, Handler::CommandValue).with(rule(WriteKind::CommandValue, TAG_ENUMERATED)),
    kCovSubscribers, kDescription, kDeviceType, kStatusFlags, kEventState, reliability(1), kOutOfService,
    kPolarity,
    row(PROP_INACTIVE_TEXT, FieldKind::Value, OPT).with(text("Off")),
    row(PROP_ACTIVE_TEXT, FieldKind::Value, OPT).with(text("On")),
    kChangeOfStateTime, kChangeOfStateCount, kStateCountReset, kElapsedActiveTime, kActiveTimeReset,
    kMinimumOffTime, kMinimumOnTime, kPriorityArray,
    row(PROP_RELINQUISH_DEFAULT, FieldKind::Enumerated, REQ),
    kTimeDelay, kNotificationClass,
    row(PROP_FEEDBACK_VALUE, FieldKind::Enumerated, EVT).with(rule(WriteKind::EnumeratedBinary)),
    kEventEnable, kAckedTransitions, kNotifyType, kTimeStamps, engine(20), kSwitch,
};

constexpr FieldSpec kBinaryValue[] = {
    kType, kId, kNameWritable,
    computed(PROP_PRESENT_VALUE, REQ, Handler::CommandValue).with(rule(WriteKind::CommandValue, TAG_ENUMERATED)),
    kCovSubscribers, kDescriptionWritable, kStatusFlags, kEventState, reliability(0), kOutOfService,
    row(PROP_INACTIVE_TEXT, FieldKind::Value, OPT).with(text("Off")).with(tag(TAG_CHARACTER_STRING)),
    row(PROP_ACTIVE_TEXT, FieldKind::Value, OPT).with(text("On")).with(tag(TAG_CHARACTER_STRING)),
    kChangeOfStateTime, kChangeOfStateCount, kStateCountReset, kElapsedActiveTime, kActiveTimeReset,
    kMinimumOffTime, kMinimumOnTime, kPriorityArray,
    row(PROP_RELINQUISH_DEFAULT, FieldKind::Enumerated, REQ).with(tag(TAG_ENUMERATED)),
    kTimeDelay, kNotificationClass,
    row(PROP_ALARM_VALUE, FieldKind::Enumerated, EVT).with(rule(WriteKind::EnumeratedBinary)),
    kEventEnable, kAckedTransitions, kNotifyType, kTimeStamps, engine(20), kSwitch,
};

constexpr FieldSpec kCalendar[] = {
    kType, kId, kName, kDescription,
    row(PROP_PRESENT_VALUE, FieldKind::Boolean, REQ),
    row(PROP_DATE_LIST, FieldKind::Value, REQ).with(list(TAG_CALENDAR_ENTRY_LIST)).with(custom(CHECK_DATE_LIST)),
    spare_bytes(1, 47),
};

constexpr FieldSpec kCommand[] = {
    kType, kId, kNameWritable, kDescriptionWritable,
    row(PROP_PRESENT_VALUE, FieldKind::Unsigned, REQ),
    row(PROP_IN_PROCESS, FieldKind::Boolean, REQ),
    row(PROP_ALL_WRITES_SUCCESSFUL, FieldKind::Boolean, REQ),
    row(PROP_ACTION, FieldKind::Value, REQ).with(list(TAG_ACTION_LIST_LIST)),
    row(PROP_ACTION_TEXT, FieldKind::Value, OPT).with(list(TAG_CHARACTER_STRING_LIST)),
};

// Properties 96 and 97 carry the bit strings set at start-up by their numbers: 96 the one
// of 25 bits, 97 the one of 40. The record keeps 97 first.
constexpr FieldSpec kDevice[] = {
    kType, kId, kName,
    row(PROP_SYSTEM_STATUS, FieldKind::Enumerated, REQ),
    text_row(PROP_VENDOR_NAME, REQ),
    row(PROP_VENDOR_IDENTIFIER, FieldKind::Unsigned, REQ),
    text_row(PROP_MODEL_NAME, REQ),
    text_row(PROP_FIRMWARE_REVISION, REQ),
    text_row(PROP_APPLICATION_SOFTWARE_VERSION, REQ),
    text_row(PROP_LOCATION, OPT),
    kDescription,
    row(PROP_PROTOCOL_VERSION, FieldKind::Unsigned, REQ).with(word(1)),
    row(PROP_PROTOCOL_REVISION, FieldKind::Unsigned, REQ),
    hidden(PROP_PROTOCOL_CONFORMANCE_CLASS, FieldKind::Unsigned).with(word(6)).with(read_only()),
    row(PROP_PROTOCOL_SERVICES_SUPPORTED, FieldKind::BitString, REQ),
    row(PROP_PROTOCOL_OBJECT_TYPES_SUPPORTED, FieldKind::BitString, REQ),
    hidden(PROP_VT_CLASSES_SUPPORTED, FieldKind::Value).with(list(67)),
    hidden(PROP_ACTIVE_VT_SESSIONS, FieldKind::Value).with(list(68)),
    row(PROP_DATABASE_REVISION, FieldKind::Unsigned, REQ),
    row(PROP_CONFIGURATION_FILES, FieldKind::Value, OPT).with(make(DefaultKind::ConfigurationFiles)),
    row(PROP_LAST_RESTORE_TIME, FieldKind::TimeStamp, OPT).with(make(DefaultKind::CreationStamp)),
    row(PROP_BACKUP_FAILURE_TIMEOUT, FieldKind::Unsigned, OPT).with(word(15)).with(unsigned_max(65535)),
    hidden(FIELD_BACKUP_COUNTDOWN, FieldKind::Word),
    spare_bytes(1, 16),
    hidden(PROP_LIST_OF_SESSION_KEYS, FieldKind::Value).with(list(TAG_SESSION_KEY_LIST)).with(read_only()),
    hidden(PROP_TIME_SYNCHRONIZATION_RECIPIENTS, FieldKind::Value)
        .with(list(TAG_RECIPIENT_LIST)).with(custom(CHECK_SYNC_RECIPIENTS)),
    spare(2),
    computed(PROP_OBJECT_LIST, REQ, Handler::DeviceObjectList).with(read_only()),
    computed(PROP_MAX_APDU_LENGTH_ACCEPTED, REQ, Handler::DeviceMaxApdu).with(read_only()),
    computed(PROP_SEGMENTATION_SUPPORTED, REQ, Handler::DeviceSegmentation).with(read_only()),
    computed(PROP_APDU_TIMEOUT, REQ, Handler::DeviceApduTimeout).with(read_only()),
    computed(PROP_NUMBER_OF_APDU_RETRIES, REQ, Handler::DeviceApduRetries).with(read_only()),
    computed(PROP_DEVICE_ADDRESS_BINDING, REQ, Handler::DeviceAddressBinding).with(read_only()),
    computed(PROP_APDU_SEGMENT_TIMEOUT, OPT, Handler::DeviceApduTimeout).with(read_only()),
    computed(PROP_LOCAL_DATE, OPT, Handler::DeviceLocalDate).with(read_only()),
    computed(PROP_LOCAL_TIME, OPT, Handler::DeviceLocalTime).with(read_only()),
    computed(PROP_UTC_OFFSET, OPT, Handler::DeviceUtcOffset).with(read_only()),
    computed(PROP_DAYLIGHT_SAVINGS_STATUS, OPT, Handler::DeviceDaylightSaving).with(read_only()),
    computed(PROP_ACTIVE_COV_SUBSCRIPTIONS, OPT, Handler::DeviceCovSubscriptions).with(read_only()),
    computed(PROP_MAX_SEGMENTS_ACCEPTED, OPT, Handler::DeviceMaxSegments).with(read_only()),
    computed(PROP_MAX_INFO_FRAMES, OPT, Handler::DeviceMstpSetting).with(read_only()),
    computed(PROP_MAX_MASTER, OPT, Handler::DeviceMstpSetting).with(read_only()),
    computed(PROP_DEVICE_SCAN_CONTROL, OPT, Handler::DeviceScanControl).with(read_only()),
    computed(PROP_LOCAL_INSTANCE, OPT, Handler::DeviceLocalInstance).with(read_only()),
    computed(PROP_DEVICE_SCAN_STATUS, OPT, Handler::DeviceScanStatus).with(read_only()),
};

constexpr FieldSpec kEventEnrollment[] = {
    kType, kId, kNameWritable, kDescriptionWritable,
    row(PROP_EVENT_TYPE, FieldKind::Enumerated, REQ).with(word(1)).with(tag(TAG_ENUMERATED)),
    row(PROP_NOTIFY_TYPE, FieldKind::Enumerated, REQ).with(rule(WriteKind::EnumeratedBinary)),
    row(PROP_EVENT_PARAMETERS, FieldKind::EventParameter, REQ)
        .with(make(DefaultKind::ChangeOfState)).with(tag(TAG_EVENT_PARAMETER)),
    row(PROP_OBJECT_PROPERTY_REFERENCE, FieldKind::Reference, REQ)
        .with(make(DefaultKind::ReferenceNone)).with(tag(TAG_DEVICE_OBJECT_PROPERTY_REFERENCE)),
    kEventState,
    row(PROP_EVENT_ENABLE, FieldKind::BitString, REQ).with(bits(3, false)).with(bit_count(3, 10)),
    row(PROP_ACKED_TRANSITIONS, FieldKind::BitString, REQ).with(bits(3, true)).with(bit_count(3, 10)),
    row(PROP_NOTIFICATION_CLASS, FieldKind::Unsigned, REQ).with(unsigned_max(4194303)),
    row(PROP_RECIPIENT, FieldKind::Recipient, OPT)
        .with(make(DefaultKind::NoRecipient)).with(rule(WriteKind::RecipientOrNull)).with(Handler::RecipientOrNull),
    row(PROP_PROCESS_IDENTIFIER, FieldKind::Unsigned, OPT).with(tag(TAG_UNSIGNED)),
    row(PROP_PRIORITY, FieldKind::Unsigned, OPT).with(tag(TAG_UNSIGNED)),
    row(PROP_ISSUE_CONFIRMED_NOTIFICATIONS, FieldKind::Boolean, OPT).with(tag(TAG_BOOLEAN)),
    row(PROP_EVENT_TIME_STAMPS, FieldKind::Value, REQ).with(make(DefaultKind::TimeStamps)),
    // Nothing is owed at creation: set bits would each send an acknowledgment notification.
    row(PROP_PENDING_ACKNOWLEDGMENTS, FieldKind::BitString, OPT).with(bits(3, false)),
    row(PROP_CONDITION_TIME, FieldKind::Unsigned, OPT).with(make(DefaultKind::CreationSeconds)),
};

constexpr FieldSpec kFile[] = {
    kType, kId, kName, kDescription,
    text_row(PROP_FILE_TYPE, REQ),
    computed(PROP_FILE_SIZE, REQ, Handler::FileSize),
    computed(PROP_MODIFICATION_DATE, REQ, Handler::FileModified),
    row(PROP_ARCHIVE, FieldKind::Boolean, REQ).with(tag(TAG_BOOLEAN)),
    row(PROP_READ_ONLY, FieldKind::Boolean, REQ),
    row(PROP_FILE_ACCESS_METHOD, FieldKind::Enumerated, REQ).with(word(1)),
    row(PROP_FILE_NAME, FieldKind::Value, OPT).with(make(DefaultKind::NoText)),
};

constexpr FieldSpec kGroup[] = {kType, kId, kNameWritable, kDescriptionWritable};

constexpr FieldSpec kLoop[] = {
    kType, kId, kNameWritable,
    row(PROP_PRESENT_VALUE, FieldKind::Real, REQ),
    kStatusFlags, kEventState, kOutOfService.with(read_only()),
    row(PROP_RELIABILITY, FieldKind::Enumerated, OPT),
    kDescriptionWritable,
    row(PROP_UPDATE_INTERVAL, FieldKind::Unsigned, OPT),
    row(PROP_UNITS, FieldKind::Enumerated, REQ),
    row(PROP_MANIPULATED_VARIABLE_REFERENCE, FieldKind::Value, REQ).with(make(DefaultKind::ObjectReference)),
    row(PROP_CONTROLLED_VARIABLE_REFERENCE, FieldKind::Value, REQ).with(make(DefaultKind::ObjectReference)),
    row(PROP_CONTROLLED_VARIABLE_VALUE, FieldKind::Real, REQ),
    row(PROP_CONTROLLED_VARIABLE_UNITS, FieldKind::Enumerated, REQ),
    row(PROP_SETPOINT, FieldKind::Real, REQ),
    row(PROP_ACTION, FieldKind::Enumerated, REQ),
    row(PROP_PRIORITY_FOR_WRITING, FieldKind::Unsigned, REQ),
    row(PROP_PROPORTIONAL_CONSTANT, FieldKind::Real, OPT),
    row(PROP_INTEGRAL_CONSTANT, FieldKind::Real, OPT),
    row(PROP_INTEGRAL_CONSTANT_UNITS, FieldKind::Enumerated, OPT),
    row(PROP_DERIVATIVE_CONSTANT, FieldKind::Real, OPT),
    row(PROP_DERIVATIVE_CONSTANT_UNITS, FieldKind::Enumerated, OPT),
    row(PROP_BIAS, FieldKind::Real, OPT),
    row(PROP_MAXIMUM_OUTPUT, FieldKind::Real, OPT),
    row(PROP_COV_INCREMENT, FieldKind::Real, OPT),
    row(PROP_ERROR_LIMIT, FieldKind::Real, EVT),
    row(PROP_TIME_DELAY, FieldKind::Unsigned, EVT),
    row(PROP_NOTIFICATION_CLASS, FieldKind::Unsigned, EVT),
    row(PROP_EVENT_ENABLE, FieldKind::BitString, EVT).with(bits(3, false)),
    row(PROP_ACKED_TRANSITIONS, FieldKind::BitString, EVT).with(bits(3, false)),
    row(PROP_NOTIFY_TYPE, FieldKind::Enumerated, EVT),
    kTimeStamps,
};

constexpr FieldSpec kMultiStateInput[] = {
    kType, kId, kName, kCovSubscribers,
    row(PROP_PRESENT_VALUE, FieldKind::Unsigned, REQ).with(rule(WriteKind::InputValue, TAG_UNSIGNED)),
    kDescription, kDeviceType, kStatusFlags, kEventState, reliability(1), kOutOfService,
    kNumberOfStates, kStateText, kTimeDelay, kNotificationClass, kAlarmValues, kFaultValues,
    kEventEnable, kAckedTransitions, kNotifyType, kTimeStamps, engine(20), kSwitch,
};

constexpr FieldSpec kMultiStateOutput[] = {
    kType, kId, kName, kCovSubscribers,
    row(PROP_PRESENT_VALUE, FieldKind::Unsigned, REQ)
        .with(Handler::CommandValue).with(rule(WriteKind::CommandValue, TAG_UNSIGNED)),
    kDescription, kDeviceType, kStatusFlags, kEventState, reliability(1), kOutOfService,
    kNumberOfStates, kStateText, kPriorityArray,
    row(PROP_RELINQUISH_DEFAULT, FieldKind::Unsigned, REQ),
    kTimeDelay, kNotificationClass,
    row(PROP_FEEDBACK_VALUE, FieldKind::Unsigned, EVT).with(rule(WriteKind::State, TAG_UNSIGNED)),
    kEventEnable, kAckedTransitions, kNotifyType, kTimeStamps, engine(21), kSwitch,
};

constexpr FieldSpec kNotificationClassObject[] = {
    kType, kId, kName, kDescription,
    row(PROP_NOTIFICATION_CLASS, FieldKind::Unsigned, REQ).with(make(DefaultKind::Instance)),
    row(PROP_PRIORITY, FieldKind::Value, REQ).with(make(DefaultKind::UnsignedArray3)).with(custom(CHECK_NC_PRIORITY)),
    row(PROP_ACK_REQUIRED, FieldKind::BitString, REQ).with(bits(3, false)).with(bit_count(3, 38)),
    row(PROP_RECIPIENT_LIST, FieldKind::Value, REQ).with(list(TAG_DESTINATION_LIST)).with(custom(CHECK_RECIPIENT_LIST)),
};

constexpr FieldSpec kProgram[] = {
    kType, kId, kNameWritable, kDescriptionWritable,
    row(PROP_PROGRAM_STATE, FieldKind::Enumerated, REQ),
    row(PROP_PROGRAM_CHANGE, FieldKind::Enumerated, REQ).with(tag(TAG_ENUMERATED)),
    row(PROP_REASON_FOR_HALT, FieldKind::Enumerated, OPT),
    text_row(PROP_DESCRIPTION_OF_HALT, OPT),
    text_row(PROP_PROGRAM_LOCATION, OPT).with(tag(TAG_CHARACTER_STRING)),
    text_row(PROP_INSTANCE_OF, OPT).with(tag(TAG_CHARACTER_STRING)),
    kStatusFlags,
    row(PROP_RELIABILITY, FieldKind::Enumerated, OPT),
    row(PROP_OUT_OF_SERVICE, FieldKind::Boolean, REQ),
};

constexpr FieldSpec kSchedule[] = {
    kType, kId, kName,
    row(PROP_PRESENT_VALUE, FieldKind::Value, REQ).with(rule(WriteKind::OutOfServiceOnly)),
    kDescription,
    row(PROP_EFFECTIVE_PERIOD, FieldKind::DateRange, REQ)
        .with(make(DefaultKind::Unspecified)).with(custom(CHECK_EFFECTIVE_PERIOD)),
    row(PROP_WEEKLY_SCHEDULE, FieldKind::Value, OPT)
        .with(make(DefaultKind::WeeklySchedule)).with(custom(CHECK_WEEKLY_SCHEDULE)),
    row(PROP_EXCEPTION_SCHEDULE, FieldKind::Value, OPT)
        .with(list(TAG_SPECIAL_EVENT_LIST)).with(custom(CHECK_EXCEPTION_SCHEDULE)),
    row(PROP_LIST_OF_OBJECT_PROPERTY_REFERENCES, FieldKind::Value, REQ)
        .with(list(TAG_REFERENCE_LIST)).with(custom(CHECK_REFERENCE_LIST)),
    row(PROP_PRIORITY_FOR_WRITING, FieldKind::Unsigned, REQ).with(word(16)).with(unsigned_range(1, 16)),
    spare(1),
    row(PROP_SCHEDULE_DEFAULT, FieldKind::Value, REQ)
        .with(make(DefaultKind::EnumeratedZero)).with(custom(CHECK_SCHEDULE_VALUE)),
    kStatusFlags,
    row(PROP_RELIABILITY, FieldKind::Enumerated, REQ).with(rule(WriteKind::Reliability)),
    kOutOfService,
    hidden(FIELD_SCHEDULE_LOCK, FieldKind::Word),
    hidden(FIELD_SCHEDULE_WRITTEN, FieldKind::Value),
    hidden(FIELD_SCHEDULE_WRITTEN_AT, FieldKind::Word),
    engine(9),
};

constexpr FieldSpec kAveraging[] = {
    kType, kId, kNameWritable, kDescriptionWritable,
    row(PROP_ATTEMPTED_SAMPLES, FieldKind::Unsigned, REQ).with(rule(WriteKind::RealZero)).with(Handler::ResetSamples),
    row(PROP_AVERAGE_VALUE, FieldKind::Real, REQ),
    row(PROP_MAXIMUM_VALUE, FieldKind::Real, REQ),
    row(PROP_MINIMUM_VALUE, FieldKind::Real, REQ),
    row(PROP_VALID_SAMPLES, FieldKind::Unsigned, REQ),
    row(PROP_WINDOW_INTERVAL, FieldKind::Unsigned, REQ).with(tag(TAG_UNSIGNED)),
    row(PROP_WINDOW_SAMPLES, FieldKind::Unsigned, REQ).with(tag(TAG_UNSIGNED)),
    row(PROP_MAXIMUM_VALUE_TIMESTAMP, FieldKind::DateTime, OPT),
    row(PROP_MINIMUM_VALUE_TIMESTAMP, FieldKind::DateTime, OPT),
    row(PROP_VARIANCE_VALUE, FieldKind::Real, OPT),
    row(PROP_OBJECT_PROPERTY_REFERENCE, FieldKind::Reference, REQ)
        .with(make(DefaultKind::ReferenceNone)).with(tag(TAG_DEVICE_OBJECT_PROPERTY_REFERENCE)),
    computed(PROP_LOG_BUFFER, OPT, Handler::ReadDenied),
};

constexpr FieldSpec kMultiStateValue[] = {
    kType, kId, kName, kCovSubscribers,
    row(PROP_PRESENT_VALUE, FieldKind::Unsigned, REQ)
        .with(Handler::CommandValue).with(rule(WriteKind::CommandValue, TAG_UNSIGNED)),
    kDescription, kStatusFlags, kEventState, reliability(0), kOutOfService,
    kNumberOfStates, kStateText, kPriorityArray,
    row(PROP_RELINQUISH_DEFAULT, FieldKind::Unsigned, REQ),
    kTimeDelay, kNotificationClass, kAlarmValues, kFaultValues,
    kEventEnable, kAckedTransitions, kNotifyType, kTimeStamps, engine(21), kSwitch,
};

constexpr FieldSpec kTrendLog[] = {
    kType, kId, kNameWritable, kDescriptionWritable,
    row(PROP_LOG_ENABLE, FieldKind::Boolean, REQ).with(tag(TAG_BOOLEAN)).with(Handler::TrendLogEnable),
    row(PROP_START_TIME, FieldKind::DateTime, OPT).with(make(DefaultKind::Unspecified)).with(custom(CHECK_DATETIME)),
    row(PROP_STOP_TIME, FieldKind::DateTime, OPT).with(make(DefaultKind::Unspecified)).with(custom(CHECK_DATETIME)),
    row(PROP_LOG_DEVICE_OBJECT_PROPERTY, FieldKind::Reference, OPT)
        .with(make(DefaultKind::TrendLogReference)).with(custom(CHECK_LOG_REFERENCE)).with(Handler::TrendLogReference),
    row(PROP_LOG_INTERVAL, FieldKind::Unsigned, OPT).with(word(100)).with(unsigned_range(100, 65536)),
    spare(1), spare(2), spare(3),
    row(PROP_STOP_WHEN_FULL, FieldKind::Boolean, REQ).with(tag(TAG_BOOLEAN)),
    row(PROP_BUFFER_SIZE, FieldKind::Unsigned, REQ).with(word(10)).with(unsigned_max(1000)).with(Handler::TrendLogBufferSize),
    row(PROP_LOG_BUFFER, FieldKind::Value, REQ).with(list(TAG_LOG_BUFFER)).with(Handler::ReadDenied),
    spare(4), hidden(FIELD_LOG_LAST_SECONDS, FieldKind::Word),
    row(PROP_TOTAL_RECORD_COUNT, FieldKind::Unsigned, REQ),
    row(PROP_NOTIFICATION_THRESHOLD, FieldKind::Unsigned, OPT).with(word(100)).with(tag(TAG_UNSIGNED)),
    row(PROP_RECORDS_SINCE_NOTIFICATION, FieldKind::Unsigned, OPT),
    row(PROP_LAST_NOTIFY_RECORD, FieldKind::Unsigned, OPT),
    row(PROP_EVENT_STATE, FieldKind::Enumerated, OPT),
    row(PROP_NOTIFICATION_CLASS, FieldKind::Unsigned, OPT).with(unsigned_max(4194303)),
    row(PROP_EVENT_ENABLE, FieldKind::BitString, OPT).with(bits(3, false)).with(bit_count(3, 38)),
    row(PROP_ACKED_TRANSITIONS, FieldKind::BitString, OPT).with(bits(3, true)),
    row(PROP_NOTIFY_TYPE, FieldKind::Enumerated, OPT).with(rule(WriteKind::EnumeratedBinary)),
    row(PROP_EVENT_TIME_STAMPS, FieldKind::Value, OPT).with(make(DefaultKind::TimeStamps)),
    hidden(FIELD_LOG_NOTIFIED_COUNT, FieldKind::Word), hidden(FIELD_LOG_LAST_MILLISECONDS, FieldKind::Word),
    spare(8),
    // Acknowledgments owed (AcknowledgeAlarm sets, the timer sends), as an Event Enrollment keeps them.
    hidden(PROP_PENDING_ACKNOWLEDGMENTS, FieldKind::BitString).with(bits(3, false)),
    spare(12),
    computed(PROP_RECORD_COUNT, REQ, Handler::TrendLogRecordCount).with(unsigned_range(0, 0)),
};

constexpr FieldSpec kMeter[] = {
    kType, kId, kNameWritable,
    row(PROP_PRESENT_VALUE, FieldKind::Unsigned, REQ).with(Handler::MeterValue),
    kCovSubscribers, kDescriptionWritable, kDeviceType, kStatusFlags, kEventState, reliability(1).with(read_only()),
    kOutOfService.with(read_only()), kUnits, spare(1),
};

constexpr uint32_t reliabilities(std::initializer_list<uint32_t> values)
{
  uint32_t set = 0;
  for (uint32_t v : values)
    set |= 1u << v;
  return set;
}

constexpr ObjectTypeSpec kSpecs[] = {
    {OBJECT_ANALOG_INPUT, "AI %u", kAnalogInput, EventGate::RecordSwitch, 0, reliabilities({0, 1, 2, 3, 4, 5, 7}), true},
    {OBJECT_ANALOG_OUTPUT, "AO %u", kAnalogOutput, EventGate::RecordSwitch, 1, reliabilities({0, 4, 5, 6, 7}), true},
    {OBJECT_ANALOG_VALUE, "AV %u", kAnalogValue, EventGate::RecordSwitch, 1, reliabilities({0, 2, 3, 7}), true},
    {OBJECT_BINARY_INPUT, "BI %u", kBinaryInput, EventGate::RecordSwitch, 0, reliabilities({0, 1, 4, 5, 7}), true},
    {OBJECT_BINARY_OUTPUT, "BO %u", kBinaryOutput, EventGate::RecordSwitch, 2, reliabilities({0, 4, 5, 6, 7}), true},
    {OBJECT_BINARY_VALUE, "BV %u", kBinaryValue, EventGate::RecordSwitch, 2, reliabilities({0, 7}), true},
    {OBJECT_CALENDAR, "Calendar %u", kCalendar, EventGate::None, 0, 0, true},
    {OBJECT_COMMAND, "Command %u", kCommand, EventGate::None, 0, 0, false},
    {OBJECT_DEVICE, "Device %u", kDevice, EventGate::None, 0, 0, true},
    {OBJECT_EVENT_ENROLLMENT, "Event Enrolment %u", kEventEnrollment, EventGate::None, 0, 0, true},
    {OBJECT_FILE, "File %u", kFile, EventGate::None, 0, 0, false},
    {OBJECT_GROUP, "Group %u", kGroup, EventGate::None, 0, 0, false},
    {OBJECT_LOOP, "Loop %u", kLoop, EventGate::LoopSwitch, 0, 0, false},
    {OBJECT_MULTI_STATE_INPUT, "MI %u", kMultiStateInput, EventGate::RecordSwitch, 0, reliabilities({0, 1, 2, 3, 4, 5, 7, 9}), true},
    {OBJECT_MULTI_STATE_OUTPUT, "MO %u", kMultiStateOutput, EventGate::RecordSwitch, 3, reliabilities({0, 4, 5, 6, 7}), true},
    {OBJECT_NOTIFICATION_CLASS, "Notification Class %u", kNotificationClassObject, EventGate::None, 0, 0, true},
    {OBJECT_PROGRAM, "Program %u", kProgram, EventGate::None, 0, 0, false},
    {OBJECT_SCHEDULE, "Schedule %u", kSchedule, EventGate::None, 0, reliabilities({0, 7, 10}), true},
    {OBJECT_AVERAGING, "Averaging %u", kAveraging, EventGate::None, 0, 0, false},
    {OBJECT_MULTI_STATE_VALUE, "MV %u", kMultiStateValue, EventGate::RecordSwitch, 3, reliabilities({0, 7, 9}), true},
    {OBJECT_TREND_LOG, "Trend Log %u", kTrendLog, EventGate::None, 0, 0, true},
    {OBJECT_METER, "Meter %u", kMeter, EventGate::None, 0, 0, true},
};

constexpr auto kSpecList = [] {
  std::array<const ObjectTypeSpec*, std::size(kSpecs)> list{};
  for (size_t i = 0; i < std::size(kSpecs); ++i)
    list[i] = &kSpecs[i];
  return list;
}();

constexpr uint32_t kArrayProperties[] = {38, 76, 86, 87, 110, 123, 130, 154, 169, 172};
constexpr uint32_t kListProperties[] = {2, 3, 5, 7, 23, 30, 39, 53, 54, 55, 102, 116, 122, 131, 152, 159, 165, 166, 170, 171, 175};

template <size_t N>
constexpr bool contains(const uint32_t (&set)[N], uint32_t value)
{
  for (uint32_t v : set)
    if (v == value)
      return true;
  return false;
}

}  // namespace

const ObjectTypeSpec* object_type_spec(uint32_t type)
{
  if (type <= OBJECT_TREND_LOG)
    return &kSpecs[type];
  if (type == OBJECT_METER)
    return &kSpecs[std::size(kSpecs) - 1];
  return nullptr;
}

bool object_type_supported(uint32_t type) { return object_type_spec(type) != nullptr; }

std::span<const ObjectTypeSpec* const> object_type_specs() { return kSpecList; }

const FieldSpec* object_field_spec(const ObjectTypeSpec& spec, uint32_t property)
{
  for (const FieldSpec& f : spec.fields)
    if (f.property == property)
      return &f;
  return nullptr;
}

const FieldSpec* object_field_spec(uint32_t type, uint32_t property)
{
  const ObjectTypeSpec* spec = object_type_spec(type);
  return spec ? object_field_spec(*spec, property) : nullptr;
}

bool object_IsArrayProperty(uint32_t property) { return contains(kArrayProperties, property); }
bool object_IsListProperty(uint32_t property) { return contains(kListProperties, property); }

// ---- Record image ------------------------------------------------------------------------
// Value, DateTime, BOOLEAN and spare bytes follow the field before them directly; every
// other field starts at the next multiple of four bytes.

bool object_image_aligned(FieldKind kind)
{
  switch (kind) {
  case FieldKind::HeadName:
  case FieldKind::Value:
  case FieldKind::DateTime:
  case FieldKind::Boolean:
  case FieldKind::Bytes:
  case FieldKind::Computed:
    return false;
  default:
    return true;
  }
}

uint32_t object_image_width(const FieldSpec& field)
{
  switch (field.kind) {
  case FieldKind::HeadType: return 4;
  case FieldKind::HeadId: return 8;
  case FieldKind::HeadName: return 16;
  case FieldKind::Unsigned:
  case FieldKind::Enumerated:
  case FieldKind::Real:
  case FieldKind::Word: return 4;
  case FieldKind::Boolean: return 1;
  case FieldKind::BitString: return 12;
  case FieldKind::Value: return 16;
  case FieldKind::DateTime:
  case FieldKind::DateRange: return 8;
  case FieldKind::Reference: return 24;
  case FieldKind::TimeStamp: return 12;
  case FieldKind::EventParameter: return 44;
  case FieldKind::Recipient: return 16;
  case FieldKind::Bytes: return field.size;
  case FieldKind::Engine: return 4u * field.size;
  case FieldKind::Computed: return 0;
  }
  return 0;
}

namespace {

uint32_t align4(uint32_t offset) { return (offset + 3) & ~3u; }

}  // namespace

uint32_t object_image_place(const FieldSpec& field, uint32_t* end)
{
  const uint32_t offset = object_image_aligned(field.kind) ? align4(*end) : *end;
  *end = offset + object_image_width(field);
  return offset;
}

namespace {

// Walks the image up to `property` (or to the end); -1 when the property is not there.
int32_t image_walk(uint32_t type, const uint32_t* property)
{
  const ObjectTypeSpec* spec = object_type_spec(type);
  if (!spec)
    return -1;
  uint32_t end = 0;
  for (const FieldSpec& f : spec->fields) {
    if (f.kind == FieldKind::Computed)
      continue;
    const uint32_t offset = object_image_place(f, &end);
    if (property && f.property == *property)
      return static_cast<int32_t>(offset);
  }
  return property ? -1 : static_cast<int32_t>(align4(end));
}

}  // namespace

int32_t object_image_offset(uint32_t type, uint32_t property) { return image_walk(type, &property); }
int32_t object_image_size(uint32_t type) { return image_walk(type, nullptr); }
