// The fields of every constructed record, described once: `fields(v, record)` hands each
// field in its order to the visitor `v`, with its name, what it means where its type does
// not say it, and which alternative of a choice it belongs to. Every operation that walks
// records field by field (prepare, release, copy, compare, and the wire, objects-file and
// XML forms in their layers) is a visitor over these descriptions. Names are the fields'
// element names in the XML form. No state.
#pragma once

#include <initializer_list>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "bacnet/value/value_types.h"

// What a field means where its type does not say it all.
enum class Role : uint8_t {
  plain,          // as its type says: u32 Unsigned, i32 Signed, float REAL, u8 a byte
  enumerated,     // a u32 carried as Enumerated
  index,          // an array index; -1, its initial contents, means none
  optional,       // a u32 that is left out when it is 0
  flag,           // a u32 or u8 carried as BOOLEAN
  device,         // an object identifier that is left out when its type is 999
  choice,         // the number of the alternative the record holds
  strict_choice,  // the same, and a copy refuses an alternative the record does not know
  local,          // kept in memory only; no form carries it
};

// Whether the blank-separated list `names` holds `name`.
constexpr bool field_named(std::string_view names, std::string_view name)
{
  for (std::string_view rest = names; !rest.empty();) {
    std::size_t end = rest.find(' ');
    if (rest.substr(0, end) == name)
      return true;
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
  }
  return false;
}

template <class T>
inline constexpr bool kIsInlineList = false;
template <class E>
inline constexpr bool kIsInlineList<InlineList<E>> = true;

// A visitor is a class derived from FieldVisitor<itself> that defines
//   void visit(const char* name, Role role, T& field)   for every field type T
// (nested records and inline-first lists among them), and may define
//   bool holds(C& choice, int n)   whether the record holds alternative n of the choice.
// A visitor that must see every field (`every`) walks every alternative.
template <class Visitor, bool every = false>
class FieldVisitor {
public:
  // Walks the record. The fields `front` names (blank-separated) come first, in its order;
  // the others follow in the order of the description. A form whose fields stand in an
  // order of their own names them here.
  template <class R>
  void walk(R& r, std::string_view front = {})
  {
    for (std::string_view rest = front; !rest.empty();) {
      std::size_t end = rest.find(' ');
      only_ = rest.substr(0, end);
      fields(self(), r);
      rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    }
    only_ = {};
    front_ = front;
    fields(self(), r);
    front_ = {};
  }

  template <class T>
  void field(const char* name, T& f, Role role = Role::plain)
  {
    if (only_.empty() ? !field_named(front_, name) : name == only_)
      self().visit(name, role, f);
  }
  // The field's contents when its record is prepared, where they are not zero.
  template <class T>
  void initial(T&, int)
  {
  }
  // Whether the record holds alternative `n` (or one of `ns`) of `choice`: the fields that
  // follow belong to it.
  template <class C>
  bool when(C& choice, int n)
  {
    return every || self().holds(choice, n);
  }
  template <class C>
  bool when(C& choice, std::initializer_list<int> ns)
  {
    for (int n : ns)
      if (when(choice, n))
        return true;
    return false;
  }
  template <class C>
  bool holds(C& choice, int n)
  {
    return static_cast<int64_t>(choice) == n;
  }

private:
  Visitor& self() { return static_cast<Visitor&>(*this); }

  std::string_view only_;   // the one field this pass of walk() takes
  std::string_view front_;  // or, when none, the fields it leaves out
};

// ---- The descriptions, one per record, fields in the order of the record ----------------

template <class V>
void fields(V& v, BACnetAddressValue& r)
{
  v.field("NETWORK", r.network);
  v.field("MACADDRESS", r.mac);
}

template <class V>
void fields(V& v, BACnetDateTime& r)
{
  v.field("DATE", r.date);
  v.field("TIME", r.time);
}

template <class V>
void fields(V& v, BACnetDateRange& r)
{
  v.field("STARTDATE", r.start);
  v.field("ENDDATE", r.end);
}

template <class V>
void fields(V& v, BACnetWeekNDay& r)
{
  v.field("MONTH", r.month);
  v.field("WEEKOFMONTH", r.week);
  v.field("DAYOFWEEK", r.weekday);
}

template <class V>
void fields(V& v, BACnetCalendarEntry& r)
{
  v.field("CHOICE", r.choice, Role::choice);
  if (v.when(r.choice, 0))
    v.field("DATE", r.date);
  if (v.when(r.choice, 1))
    v.field("DATERANGE", r.range);
  if (v.when(r.choice, 2))
    v.field("WEEKNDAY", r.weeknday);
}

template <class V>
void fields(V& v, BACnetTimeValue& r)
{
  v.field("TIME", r.time);
  v.field("VALUE", r.value);
}

template <class V>
void fields(V& v, BACnetTimeStamp& r)
{
  v.field("CHOICE", r.choice, Role::choice);
  if (v.when(r.choice, 0))
    v.field("TIME", r.time);
  if (v.when(r.choice, 1))
    v.field("SEQUENCENUMBER", r.sequence);
  if (v.when(r.choice, 2))
    v.field("DATETIME", r.datetime);
}

template <class V>
void fields(V& v, BACnetActionCommand& r)
{
  v.field("DEVICEIDENTIFIER", r.device, Role::device);
  v.field("OBJECTIDENTIFIER", r.object);
  v.field("PROPERTYIDENTIFIER", r.property, Role::enumerated);
  v.field("PROPERTYARRAYINDEX", r.array_index, Role::index);
  v.field("PROPERTYVALUE", r.value);
  v.field("PRIORITY", r.priority, Role::optional);
  v.field("POSTDELAY", r.post_delay, Role::optional);
  v.field("QUITONFAILURE", r.quit_on_failure, Role::flag);
  v.field("WRITESUCCESSFUL", r.write_successful, Role::flag);
}

template <class V>
void fields(V& v, BACnetSessionKey& r)
{
  v.field("SESSIONKEY", r.key);
  v.field("PEERADDRESS", r.peer);
}

template <class V>
void fields(V& v, BACnetRecipient& r)
{
  v.field("CHOICE", r.choice, Role::choice);
  v.initial(r.choice, -1);
  if (v.when(r.choice, 0))
    v.field("DEVICE", r.device);
  if (v.when(r.choice, 1))
    v.field("ADDRESS", r.address);
}

template <class V>
void fields(V& v, BACnetRecipientProcess& r)
{
  v.field("NOTEMPTY", r.not_empty, Role::flag);
  v.field("RECIPIENT", r.recipient);
  v.field("PROCESSIDENTIFIER", r.process_id);
}

template <class V>
void fields(V& v, BACnetAddressBinding& r)
{
  v.field("OBJECTIDENTIFIER", r.device);
  v.field("DEVICEADDRESS", r.address);
}

template <class V>
void fields(V& v, BACnetObjectPropertyReference& r)
{
  v.field("OBJECTIDENTIFIER", r.object);
  v.field("PROPERTY", r.property, Role::enumerated);
  v.field("ARRAYINDEX", r.array_index, Role::index);
}

template <class V>
void fields(V& v, BACnetDeviceObjectPropertyReference& r)
{
  v.field("OBJECTIDENTIFIER", r.object);
  v.field("PROPERTY", r.property, Role::enumerated);
  v.field("ARRAYINDEX", r.array_index, Role::index);
  v.field("DEVICEIDENTIFIER", r.device, Role::device);
}

// The datum is one word whatever its choice; its forms read it by choice.
template <class V>
void fields(V& v, BACnetLogRecord& r)
{
  v.field("TIMESTAMP", r.timestamp);
  v.field("CHOICE", r.choice);
  v.field("BITS", r.bits);
  v.field("DATUM", r.datum.unsigned_value);
  v.field("ERRORCLASS", r.error_class, Role::enumerated);
  v.field("ERRORCODE", r.error_code, Role::enumerated);
  v.field("ANYVALUE", r.any);
  v.field("STATUSFLAGS", r.status_flags);
}

template <class V>
void fields(V& v, BACnetPropertyReference& r)
{
  v.field("PROPERTYIDENTIFIER", r.property, Role::enumerated);
  v.field("ARRAYINDEX", r.array_index, Role::index);
}

template <class V>
void fields(V& v, ReadAccessSpecification& r)
{
  v.field("OBJECTIDENTIFIER", r.object);
  v.field("PROPERTYREFERENCES", r.references);
}

template <class V>
void fields(V& v, WriteAccessSpecification& r)
{
  v.field("OBJECTIDENTIFIER", r.object);
  v.field("PROPERTIES", r.properties);
}

template <class V>
void fields(V& v, AlarmSummaryEntry& r)
{
  v.field("OBJECTIDENTIFIER", r.object);
  v.field("ALARMSTATE", r.alarm_state, Role::enumerated);
  v.field("ACKEDTRANSITIONS", r.acked_transitions);
}

template <class V>
void fields(V& v, EnrollmentSummaryEntry& r)
{
  v.field("OBJECTIDENTIFIER", r.object);
  v.field("EVENTTYPE", r.event_type, Role::enumerated);
  v.field("EVENTSTATE", r.event_state, Role::enumerated);
  v.field("PRIORITY", r.priority);
  v.field("NOTIFICATIONCLASS", r.notification_class);
}

// The value and the error pair are both kept, whatever the choice says.
template <class V>
void fields(V& v, ReadAccessResultElement& r)
{
  v.field("PROPERTYIDENTIFIER", r.property, Role::enumerated);
  v.field("ARRAYINDEX", r.array_index, Role::index);
  v.field("CHOICE", r.choice);
  v.field("PROPERTYVALUE", r.value);
  v.field("ERRORCLASS", r.error_class, Role::enumerated);
  v.field("ERRORCODE", r.error_code, Role::enumerated);
}

template <class V>
void fields(V& v, ReadAccessResult& r)
{
  v.field("OBJECTIDENTIFIER", r.object);
  v.field("RESULTS", r.results);
}

template <class V>
void fields(V& v, BACnetDestination& r)
{
  v.field("VALIDDAYS", r.valid_days);
  v.field("FROMTIME", r.from);
  v.field("TOTIME", r.to);
  v.field("RECIPIENT", r.recipient);
  v.field("PROCESSIDENTIFIER", r.process_id);
  v.field("ISSUECONFIRMEDNOTIFICATIONS", r.issue_confirmed, Role::flag);
  v.field("TRANSITIONS", r.transitions);
  v.field("LIFETIME", r.lifetime);
  v.field("STAMP", r.stamp, Role::local);
}

template <class V>
void fields(V& v, BACnetDailySchedule& r)
{
  v.field("DAYSCHEDULE", r.day_schedule);
}

template <class V>
void fields(V& v, BACnetSpecialEvent& r)
{
  v.field("CHOICE", r.period_choice, Role::strict_choice);
  if (v.when(r.period_choice, 0))
    v.field("CALENDARENTRY", r.calendar_entry);
  if (v.when(r.period_choice, 1))
    v.field("CALENDARREFERENCE", r.calendar_reference);
  v.field("TIMEVALUES", r.time_values);
  v.field("EVENTPRIORITY", r.priority);
}

template <class V>
void fields(V& v, BACnetPriorityValue& r)
{
  v.field("CHOICE", r.choice, Role::strict_choice);
  v.when(r.choice, 0);  // NULL: nothing more
  if (v.when(r.choice, 1))
    v.field("REAL", r.real);
  if (v.when(r.choice, 2))
    v.field("BINARY", r.enumerated, Role::enumerated);
  if (v.when(r.choice, 3))
    v.field("UNSIGNEDINTEGER", r.unsigned_value);
  if (v.when(r.choice, 4))
    v.field("VALUE", r.value);
}

template <class V>
void fields(V& v, BACnetPropertyValue& r)
{
  v.field("PROPERTYIDENTIFIER", r.property, Role::enumerated);
  v.field("ARRAYINDEX", r.array_index, Role::index);
  v.field("VALUE", r.value);
  v.field("PRIORITY", r.priority, Role::optional);
}

// The value's form depends on the choice; its forms read it by choice.
template <class V>
void fields(V& v, BACnetPropertyStates& r)
{
  v.field("CHOICE", r.choice);
  v.field("VALUE", r.value);
}

template <class V>
void fields(V& v, BACnetEventParameter& r)
{
  v.field("EVENTTYPE", r.choice, Role::strict_choice);
  v.initial(r.choice, EVENT_PARAMETER_NONE);
  if (v.when(r.choice, {0, 1, 2, 3, 4, 5}))
    v.field("TIMEDELAY", r.time_delay);
  if (v.when(r.choice, 0) || (v.when(r.choice, 2) && v.when(r.increment_choice, 0)))
    v.field("BITMASK", r.bitmask);
  if (v.when(r.choice, {0, 1}))
    v.field("VALUES", r.values);
  if (v.when(r.choice, 2)) {
    v.field("INCREMENTCHOICE", r.increment_choice, Role::strict_choice);
    if (v.when(r.increment_choice, 1))
      v.field("REFERENCEDPROPERTYINCREMENT", r.increment);
  }
  if (v.when(r.choice, {3, 4}))
    v.field("PROPERTYREFERENCE", r.reference);
  if (v.when(r.choice, {4, 5})) {
    v.field("LOWLIMIT", r.low_limit);
    v.field("HIGHLIMIT", r.high_limit);
    v.field("DEADBAND", r.deadband);
  }
  if (v.when(r.choice, 10)) {
    v.field("NOTIFICATIONTHRESHOLD", r.notification_threshold);
    v.field("PREVIOUSNOTIFICATIONCOUNT", r.previous_count);
  }
}

template <class V>
void fields(V& v, BACnetNotificationParameters& r)
{
  v.field("TYPE", r.choice, Role::choice);
  if (v.when(r.choice, {0, 1, 2, 3, 4, 5}))
    v.field("STATUSFLAGS", r.status_flags);
  if (v.when(r.choice, 0) || (v.when(r.choice, 2) && v.when(r.changed_choice, 0)))
    v.field("BITS", r.bits);
  if (v.when(r.choice, 1))
    v.field("NEWSTATE", r.new_state);
  if (v.when(r.choice, 2)) {
    v.field("NEWVALUE", r.changed_choice, Role::choice);
    if (v.when(r.changed_choice, 1))
      v.field("CHANGEDVALUE", r.changed_value);
  }
  if (v.when(r.choice, 3)) {
    v.field("COMMANDVALUE", r.command_value);
    v.field("FEEDBACKVALUE", r.feedback_value);
  }
  if (v.when(r.choice, {4, 5})) {
    v.field("REAL1", r.reals[0]);
    v.field("REAL2", r.reals[1]);
    v.field("REAL3", r.reals[2]);
  }
  if (v.when(r.choice, 6))
    v.field("PROPERTYVALUES", r.property_values);
  if (v.when(r.choice, 10)) {
    v.field("BUFFERPROPERTY", r.buffer_property);
    v.field("PREVIOUSNOTIFICATION", r.previous_notification);
    v.field("CURRENTNOTIFICATION", r.current_notification);
  }
}

template <class V>
void fields(V& v, PropertyCondition& r)
{
  v.field("PROPERTYIDENTIFIER", r.property, Role::enumerated);
  v.field("ARRAYINDEX", r.array_index, Role::index);
  v.field("RELATIONALSPECIFIER", r.relation, Role::enumerated);
  v.field("COMPARISONVALUE", r.comparison);
}

// The REAL word is kept whatever the choice says; its forms read it by choice.
template <class V>
void fields(V& v, BACnetCOVIncrement& r)
{
  v.field("CHOICE", r.choice);
  v.field("REAL", r.real);
}

// The two further words are the error class and code of a failed read.
template <class V>
void fields(V& v, BACnetObjectPropertyValue& r)
{
  v.field("OBJECTIDENTIFIER", r.object);
  v.field("PROPERTYIDENTIFIER", r.property, Role::enumerated);
  v.field("ARRAYINDEX", r.array_index, Role::index);
  v.field("VALUE", r.value);
  v.field("PRIORITY", r.priority, Role::optional);
  v.field("ERRORCLASS", r.extra[0], Role::local);
  v.field("ERRORCODE", r.extra[1], Role::local);
}

template <class V>
void fields(V& v, AnyValue& r)
{
  v.field("VALUE", r.value);
}

template <class V>
void fields(V& v, TaggedData& r)
{
  v.field("TAG", r.tag_number);
  v.initial(r.tag_number, -1);
  v.field("DATA", r.value);
}

template <class V>
void fields(V& v, CovSubscription& r)
{
  v.field("RECIPIENT", r.recipient);
  v.field("MONITOREDPROPERTYREFERENCE", r.monitored);
  v.field("ISSUECONFIRMEDNOTIFICATIONS", r.issue_confirmed, Role::flag);
  v.field("TIMEREMAINING", r.time_remaining);
  v.field("COVINCREMENT", r.cov_increment);
}

template <class V>
void fields(V& v, EventSummaryEntry& r)
{
  v.field("OBJECTIDENTIFIER", r.object);
  v.field("EVENTSTATE", r.event_state, Role::enumerated);
  v.field("ACKEDTRANSITIONS", r.acked_transitions);
  v.field("EVENTTIMESTAMPS", r.timestamps);
  v.field("NOTIFYTYPE", r.notify_type, Role::enumerated);
  v.field("EVENTENABLE", r.event_enable);
  v.field("EVENTPRIORITIES", r.priorities);
}

// ---- Walking the records of a value ------------------------------------------------------

// A type with a description (a record, also when nested in another).
template <class T>
concept DescribedRecord = requires
{
  T::kTag;
};

// Every record a constructed tag stands for.
using ValueRecords =
    std::tuple<BACnetAddressValue, BACnetDateTime, BACnetCalendarEntry, BACnetDateRange, BACnetWeekNDay,
               BACnetTimeValue, BACnetTimeStamp, BACnetActionCommand, BACnetSessionKey, BACnetRecipient,
               BACnetRecipientProcess, BACnetAddressBinding, BACnetObjectPropertyReference,
               BACnetDeviceObjectPropertyReference, BACnetLogRecord, ReadAccessSpecification, WriteAccessSpecification,
               AlarmSummaryEntry, EnrollmentSummaryEntry, ReadAccessResult, ReadAccessResultElement,
               BACnetPropertyReference, BACnetDestination, BACnetDailySchedule, BACnetSpecialEvent, BACnetPriorityValue,
               BACnetPropertyValue, BACnetPropertyStates, BACnetEventParameter, BACnetNotificationParameters,
               PropertyCondition, BACnetCOVIncrement, BACnetObjectPropertyValue, AnyValue, TaggedData, CovSubscription,
               EventSummaryEntry>;

// One alternative of a choice: its number and the name of the field that holds it.
struct FieldAlternative {
  int number;
  const char* name;
};

namespace value_fields_detail {

// Fields of every alternative: the initial contents of the record's own fields.
class Init : public FieldVisitor<Init, true> {
public:
  template <class T>
  void visit(const char*, Role role, T& f)
  {
    if constexpr (std::is_same_v<T, int32_t>)
      if (role == Role::index)
        f = -1;
  }
  template <class T>
  void initial(T& f, int value)
  {
    f = static_cast<T>(value);
  }
};

// Notes the alternatives of one choice field while walking every alternative.
class AlternativeProbe : public FieldVisitor<AlternativeProbe> {
public:
  AlternativeProbe(const void* choice, FieldAlternative* out, int room) : choice_(choice), out_(out), room_(room) {}

  template <class T>
  void visit(const char* name, Role, T&)
  {
    if (pending_ && count_ < room_)
      out_[count_++] = {number_, name};
    pending_ = false;
  }
  template <class C>
  bool holds(C& choice, int n)
  {
    if (&choice != choice_)
      return false;
    pending_ = true;
    number_ = n;
    return true;
  }
  int count() const { return count_; }

private:
  const void* choice_;
  FieldAlternative* out_;
  int room_;
  int count_ = 0;
  bool pending_ = false;
  int number_ = 0;
};

template <class Visit, class... R>
bool with_record_type(uint32_t tag, Visit& visit, std::tuple<R...>*)
{
  return ((R::kTag == tag && (visit(std::type_identity<R>{}), true)) || ...);
}

}  // namespace value_fields_detail

// Gives a zeroed record its initial contents (array indexes -1, choices their "none").
template <class R>
void fields_init(R& record)
{
  value_fields_detail::Init v;
  fields(v, record);
}

// The alternatives of the choice field `choice` of `record`, in the order of its
// description, into `out`; their count.
template <class R, class C>
int field_alternatives(R& record, const C& choice, FieldAlternative* out, int room)
{
  value_fields_detail::AlternativeProbe probe(&choice, out, room);
  fields(probe, record);
  return probe.count();
}

// Calls `visit(std::type_identity<R>{})` for the record R of `tag`; false when the tag has
// no record.
template <class Visit>
bool with_record_type(uint32_t tag, Visit&& visit)
{
  return value_fields_detail::with_record_type(tag, visit, static_cast<ValueRecords*>(nullptr));
}
