// The fields of every constructed record, described once: `fields(v, record)` hands each
// field in its order to the visitor `v`, with its name, what it means where its type does
// not say it, and which alternative of a choice it belongs to. Every operation that walks
// records field by field (prepare, release, copy, compare, and the wire, objects-file and
// XML forms in their layers) is a visitor over these descriptions. Names are the fields'
// element names in the XML form; they are fixed when the program is compiled, so that a walk
// that picks or orders fields by name compares no text while it runs. No state.
// Adding a field takes two lines: its member in the record (value_types.h) and its line in the
// record's description below; the walks take it from there, a form written by hand does not.
// A field is Role::local when the walked forms (wire, objects file, XML) leave it out: the
// program's own bookkeeping, such as the second a COV subscription was taken (a destination's
// STAMP), or what only a form written by hand carries (an ObjectPropertyValue's error pair, in
// its XML form). It lives in memory, copied with its record. Only a u32 can be local: the
// objects file leaves out no other type. A field that only the wire leaves out (a destination's
// LIFETIME) is not local but named in its record's wire form, as `off`.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

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
  local,          // kept in memory only; no walked form carries it
};

// The name of a field, as a template argument.
template <std::size_t N>
struct FieldName {
  char text[N];
  consteval FieldName(const char (&name)[N])
  {
    for (std::size_t i = 0; i < N; ++i)
      text[i] = name[i];
  }
  constexpr std::string_view view() const { return {text, N - 1}; }
};

// The name a description hands to its visitor ("DATE"_name): a type of its own, which stands
// for its text where a visitor takes a `const char*`.
template <FieldName name>
struct Named {
  static constexpr std::string_view view() { return name.view(); }
  constexpr operator const char*() const { return name.text; }
};

template <FieldName name>
constexpr Named<name> operator""_name()
{
  return {};
}

// Blank-separated field names, as a template argument: the fields a form puts first, or
// those it leaves out. Read by index, not through std::string_view's searches: compilers
// that check null pointers for the sanitizers refuse those searches over a template
// argument while the program is compiled.
struct FieldList {
  static constexpr std::size_t kRoom = 128;
  char text[kRoom] = {};

  constexpr FieldList() = default;
  template <std::size_t N>
  consteval FieldList(const char (&names)[N])
  {
    static_assert(N <= kRoom, "a longer list of field names than FieldList has room for");
    for (std::size_t i = 0; i < N; ++i)
      text[i] = names[i];
  }
  constexpr bool empty() const { return text[0] == 0; }
  constexpr std::size_t count() const
  {
    std::size_t n = 0;
    for (std::size_t i = 0; text[i] != 0; ++i)
      n += text[i] != ' ' && (i == 0 || text[i - 1] == ' ');
    return n;
  }
  // Whether the `place`-th name of the list (from 0) is `name`.
  constexpr bool names_at(std::size_t place, std::string_view name) const
  {
    std::size_t i = 0;
    for (; place > 0 && text[i] != 0; ++i)
      place -= text[i] == ' ';
    for (std::size_t k = 0; k < name.size(); ++k, ++i)
      if (text[i] != name[k])
        return false;
    return text[i] == ' ' || text[i] == 0;
  }
  constexpr bool has(std::string_view name) const
  {
    for (std::size_t place = 0; place < count(); ++place)
      if (names_at(place, name))
        return true;
    return false;
  }
};

template <class T>
inline constexpr bool kIsInlineList = false;
template <class E>
inline constexpr bool kIsInlineList<InlineList<E>> = true;

// One pass of a walk with lists (FieldVisitor::walk): the `pass`-th field `front` names or,
// after the last of them, every field neither list names. Which fields a pass takes is
// settled when the program is compiled; the choices are asked on every pass, as the visitor
// may follow them.
template <class Visitor, FieldList front, FieldList skip, std::size_t pass>
class FieldPass {
public:
  explicit FieldPass(Visitor& v) : v_(v) {}

  template <FieldName name, class T>
  void field(Named<name> n, T& f, Role role = Role::plain)
  {
    if constexpr (takes(name.view()))
      v_.field(n, f, role);
  }
  template <class T>
  void initial(T& f, int value)
  {
    v_.initial(f, value);
  }
  template <class C>
  bool when(C& choice, int n)
  {
    return v_.when(choice, n);
  }
  template <class C>
  bool when(C& choice, std::initializer_list<int> ns)
  {
    return v_.when(choice, ns);
  }

private:
  static constexpr bool takes(std::string_view name)
  {
    if (pass < front.count())
      return front.names_at(pass, name);
    return !front.has(name) && !skip.has(name);
  }

  Visitor& v_;
};

namespace value_fields_detail {
template <class R>
consteval bool names_fields(const FieldList& names);
}  // namespace value_fields_detail

// A visitor is a class derived from FieldVisitor<itself> that defines
//   void visit(const char* name, Role role, T& field)   for every field type T
// (nested records and inline-first lists among them), or, where it needs the name while the
// program is compiled, visit(Named<name>, Role, T&); and may define
//   bool holds(C& choice, int n)   whether the record holds alternative n of the choice.
// A visitor that must see every field (`every`) walks every alternative.
template <class Visitor, bool every = false>
class FieldVisitor {
public:
  // Walks the record. The fields `front` names (blank-separated) come first, in its order;
  // the others follow in the order of the description, but for those `skip` names. A form
  // whose fields stand in an order of their own names them in `front`.
  template <FieldList front = FieldList{}, FieldList skip = FieldList{}, class R>
  void walk(R& r)
  {
    static_assert(value_fields_detail::names_fields<R>(front) && value_fields_detail::names_fields<R>(skip),
                  "a list names a field the record does not have");
    if constexpr (front.empty() && skip.empty()) {
      fields(self(), r);
    } else {
      [&]<std::size_t... pass>(std::index_sequence<pass...>) {
        (walk_pass<front, skip, pass>(r), ...);
      }(std::make_index_sequence<front.count() + 1>{});
    }
  }

  template <FieldName name, class T>
  constexpr void field(Named<name> n, T& f, Role role = Role::plain)
  {
    self().visit(n, role, f);
  }
  // The field's contents when its record is prepared, where they are not zero.
  template <class T>
  constexpr void initial(T&, int)
  {
  }
  // Whether the record holds alternative `n` (or one of `ns`) of `choice`: the fields that
  // follow belong to it.
  template <class C>
  constexpr bool when(C& choice, int n)
  {
    return every || self().holds(choice, n);
  }
  template <class C>
  constexpr bool when(C& choice, std::initializer_list<int> ns)
  {
    for (int n : ns)
      if (when(choice, n))
        return true;
    return false;
  }
  template <class C>
  constexpr bool holds(C& choice, int n)
  {
    return static_cast<int64_t>(choice) == n;
  }

private:
  constexpr Visitor& self() { return static_cast<Visitor&>(*this); }

  template <FieldList front, FieldList skip, std::size_t pass, class R>
  void walk_pass(R& r)
  {
    FieldPass<Visitor, front, skip, pass> one(self());
    fields(one, r);
  }
};

constexpr bool is_choice(Role role) { return role == Role::choice || role == Role::strict_choice; }

// Whether the choice a walk met holds an alternative its record knows. Alternatives are only
// walked when they are held, so a choice after which none was held holds none it knows.
class HeldChoice {
public:
  constexpr void met(Role role)
  {
    if (is_choice(role)) {
      open_ = true;
      held_ = false;
    }
  }
  template <class C>
  constexpr bool holds(C& choice, int n)
  {
    bool held = static_cast<int64_t>(choice) == n;
    held_ = held_ || held;
    return held;
  }
  constexpr bool known() const { return !open_ || held_; }

private:
  bool open_ = false;
  bool held_ = false;
};

// ---- The descriptions, one per record, fields in the order of the record ----------------
// A field is one line in its record's description; every walk, and the forms' front and skip
// lists (checked when the program is compiled), take it from there. The names are written
// "DATE"_name so that they reach the walks as types, not as text to compare.

template <class V>
constexpr void fields(V& v, BACnetAddressValue& r)
{
  v.field("NETWORK"_name, r.network);
  v.field("MACADDRESS"_name, r.mac);
}

template <class V>
constexpr void fields(V& v, BACnetDateTime& r)
{
  v.field("DATE"_name, r.date);
  v.field("TIME"_name, r.time);
}

template <class V>
constexpr void fields(V& v, BACnetDateRange& r)
{
  v.field("STARTDATE"_name, r.start);
  v.field("ENDDATE"_name, r.end);
}

template <class V>
constexpr void fields(V& v, BACnetWeekNDay& r)
{
  v.field("MONTH"_name, r.month);
  v.field("WEEKOFMONTH"_name, r.week);
  v.field("DAYOFWEEK"_name, r.weekday);
}

template <class V>
constexpr void fields(V& v, BACnetCalendarEntry& r)
{
  v.field("CHOICE"_name, r.choice, Role::choice);
  if (v.when(r.choice, 0))
    v.field("DATE"_name, r.date);
  if (v.when(r.choice, 1))
    v.field("DATERANGE"_name, r.range);
  if (v.when(r.choice, 2))
    v.field("WEEKNDAY"_name, r.weeknday);
}

template <class V>
constexpr void fields(V& v, BACnetTimeValue& r)
{
  v.field("TIME"_name, r.time);
  v.field("VALUE"_name, r.value);
}

template <class V>
constexpr void fields(V& v, BACnetTimeStamp& r)
{
  v.field("CHOICE"_name, r.choice, Role::choice);
  if (v.when(r.choice, 0))
    v.field("TIME"_name, r.time);
  if (v.when(r.choice, 1))
    v.field("SEQUENCENUMBER"_name, r.sequence);
  if (v.when(r.choice, 2))
    v.field("DATETIME"_name, r.datetime);
}

template <class V>
constexpr void fields(V& v, BACnetActionCommand& r)
{
  v.field("DEVICEIDENTIFIER"_name, r.device, Role::device);
  v.field("OBJECTIDENTIFIER"_name, r.object);
  v.field("PROPERTYIDENTIFIER"_name, r.property, Role::enumerated);
  v.field("PROPERTYARRAYINDEX"_name, r.array_index, Role::index);
  v.field("PROPERTYVALUE"_name, r.value);
  v.field("PRIORITY"_name, r.priority, Role::optional);
  v.field("POSTDELAY"_name, r.post_delay, Role::optional);
  v.field("QUITONFAILURE"_name, r.quit_on_failure, Role::flag);
  v.field("WRITESUCCESSFUL"_name, r.write_successful, Role::flag);
}

template <class V>
constexpr void fields(V& v, BACnetSessionKey& r)
{
  v.field("SESSIONKEY"_name, r.key);
  v.field("PEERADDRESS"_name, r.peer);
}

template <class V>
constexpr void fields(V& v, BACnetRecipient& r)
{
  v.field("CHOICE"_name, r.choice, Role::choice);
  v.initial(r.choice, -1);
  if (v.when(r.choice, 0))
    v.field("DEVICE"_name, r.device);
  if (v.when(r.choice, 1))
    v.field("ADDRESS"_name, r.address);
}

template <class V>
constexpr void fields(V& v, BACnetRecipientProcess& r)
{
  v.field("NOTEMPTY"_name, r.not_empty, Role::flag);
  v.field("RECIPIENT"_name, r.recipient);
  v.field("PROCESSIDENTIFIER"_name, r.process_id);
}

template <class V>
constexpr void fields(V& v, BACnetAddressBinding& r)
{
  v.field("OBJECTIDENTIFIER"_name, r.device);
  v.field("DEVICEADDRESS"_name, r.address);
}

template <class V>
constexpr void fields(V& v, BACnetObjectPropertyReference& r)
{
  v.field("OBJECTIDENTIFIER"_name, r.object);
  v.field("PROPERTY"_name, r.property, Role::enumerated);
  v.field("ARRAYINDEX"_name, r.array_index, Role::index);
}

template <class V>
constexpr void fields(V& v, BACnetDeviceObjectPropertyReference& r)
{
  v.field("OBJECTIDENTIFIER"_name, r.object);
  v.field("PROPERTY"_name, r.property, Role::enumerated);
  v.field("ARRAYINDEX"_name, r.array_index, Role::index);
  v.field("DEVICEIDENTIFIER"_name, r.device, Role::device);
}

// The datum is one word whatever its choice; its forms read it by choice.
template <class V>
constexpr void fields(V& v, BACnetLogRecord& r)
{
  v.field("TIMESTAMP"_name, r.timestamp);
  v.field("CHOICE"_name, r.choice);
  v.field("BITS"_name, r.bits);
  v.field("DATUM"_name, r.datum.unsigned_value);
  v.field("ERRORCLASS"_name, r.error_class, Role::enumerated);
  v.field("ERRORCODE"_name, r.error_code, Role::enumerated);
  v.field("ANYVALUE"_name, r.any);
  v.field("STATUSFLAGS"_name, r.status_flags);
}

template <class V>
constexpr void fields(V& v, BACnetPropertyReference& r)
{
  v.field("PROPERTYIDENTIFIER"_name, r.property, Role::enumerated);
  v.field("ARRAYINDEX"_name, r.array_index, Role::index);
}

template <class V>
constexpr void fields(V& v, ReadAccessSpecification& r)
{
  v.field("OBJECTIDENTIFIER"_name, r.object);
  v.field("PROPERTYREFERENCES"_name, r.references);
}

template <class V>
constexpr void fields(V& v, WriteAccessSpecification& r)
{
  v.field("OBJECTIDENTIFIER"_name, r.object);
  v.field("PROPERTIES"_name, r.properties);
}

template <class V>
constexpr void fields(V& v, AlarmSummaryEntry& r)
{
  v.field("OBJECTIDENTIFIER"_name, r.object);
  v.field("ALARMSTATE"_name, r.alarm_state, Role::enumerated);
  v.field("ACKEDTRANSITIONS"_name, r.acked_transitions);
}

template <class V>
constexpr void fields(V& v, EnrollmentSummaryEntry& r)
{
  v.field("OBJECTIDENTIFIER"_name, r.object);
  v.field("EVENTTYPE"_name, r.event_type, Role::enumerated);
  v.field("EVENTSTATE"_name, r.event_state, Role::enumerated);
  v.field("PRIORITY"_name, r.priority);
  v.field("NOTIFICATIONCLASS"_name, r.notification_class);
}

// The value and the error pair are both kept, whatever the choice says.
template <class V>
constexpr void fields(V& v, ReadAccessResultElement& r)
{
  v.field("PROPERTYIDENTIFIER"_name, r.property, Role::enumerated);
  v.field("ARRAYINDEX"_name, r.array_index, Role::index);
  v.field("CHOICE"_name, r.choice);
  v.field("PROPERTYVALUE"_name, r.value);
  v.field("ERRORCLASS"_name, r.error_class, Role::enumerated);
  v.field("ERRORCODE"_name, r.error_code, Role::enumerated);
}

template <class V>
constexpr void fields(V& v, ReadAccessResult& r)
{
  v.field("OBJECTIDENTIFIER"_name, r.object);
  v.field("RESULTS"_name, r.results);
}

template <class V>
constexpr void fields(V& v, BACnetDestination& r)
{
  v.field("VALIDDAYS"_name, r.valid_days);
  v.field("FROMTIME"_name, r.from);
  v.field("TOTIME"_name, r.to);
  v.field("RECIPIENT"_name, r.recipient);
  v.field("PROCESSIDENTIFIER"_name, r.process_id);
  v.field("ISSUECONFIRMEDNOTIFICATIONS"_name, r.issue_confirmed, Role::flag);
  v.field("TRANSITIONS"_name, r.transitions);
  v.field("LIFETIME"_name, r.lifetime);
  v.field("STAMP"_name, r.stamp, Role::local);
}

template <class V>
constexpr void fields(V& v, BACnetDailySchedule& r)
{
  v.field("DAYSCHEDULE"_name, r.day_schedule);
}

template <class V>
constexpr void fields(V& v, BACnetSpecialEvent& r)
{
  v.field("CHOICE"_name, r.period_choice, Role::strict_choice);
  if (v.when(r.period_choice, 0))
    v.field("CALENDARENTRY"_name, r.calendar_entry);
  if (v.when(r.period_choice, 1))
    v.field("CALENDARREFERENCE"_name, r.calendar_reference);
  v.field("TIMEVALUES"_name, r.time_values);
  v.field("EVENTPRIORITY"_name, r.priority);
}

template <class V>
constexpr void fields(V& v, BACnetPriorityValue& r)
{
  v.field("CHOICE"_name, r.choice, Role::strict_choice);
  v.when(r.choice, 0);  // NULL: nothing more
  if (v.when(r.choice, 1))
    v.field("REAL"_name, r.real);
  if (v.when(r.choice, 2))
    v.field("BINARY"_name, r.enumerated, Role::enumerated);
  if (v.when(r.choice, 3))
    v.field("UNSIGNEDINTEGER"_name, r.unsigned_value);
  if (v.when(r.choice, 4))
    v.field("VALUE"_name, r.value);
}

template <class V>
constexpr void fields(V& v, BACnetPropertyValue& r)
{
  v.field("PROPERTYIDENTIFIER"_name, r.property, Role::enumerated);
  v.field("ARRAYINDEX"_name, r.array_index, Role::index);
  v.field("VALUE"_name, r.value);
  v.field("PRIORITY"_name, r.priority, Role::optional);
}

// The value's form depends on the choice; its forms read it by choice.
template <class V>
constexpr void fields(V& v, BACnetPropertyStates& r)
{
  v.field("CHOICE"_name, r.choice);
  v.field("VALUE"_name, r.value);
}

template <class V>
constexpr void fields(V& v, BACnetEventParameter& r)
{
  v.field("EVENTTYPE"_name, r.choice, Role::strict_choice);
  v.initial(r.choice, EVENT_PARAMETER_NONE);
  if (v.when(r.choice, {0, 1, 2, 3, 4, 5}))
    v.field("TIMEDELAY"_name, r.time_delay);
  if (v.when(r.choice, 0) || (v.when(r.choice, 2) && v.when(r.increment_choice, 0)))
    v.field("BITMASK"_name, r.bitmask);
  if (v.when(r.choice, {0, 1}))
    v.field("VALUES"_name, r.values);
  if (v.when(r.choice, 2)) {
    v.field("INCREMENTCHOICE"_name, r.increment_choice, Role::strict_choice);
    if (v.when(r.increment_choice, 1))
      v.field("REFERENCEDPROPERTYINCREMENT"_name, r.increment);
  }
  if (v.when(r.choice, {3, 4}))
    v.field("PROPERTYREFERENCE"_name, r.reference);
  if (v.when(r.choice, {4, 5})) {
    v.field("LOWLIMIT"_name, r.low_limit);
    v.field("HIGHLIMIT"_name, r.high_limit);
    v.field("DEADBAND"_name, r.deadband);
  }
  if (v.when(r.choice, 10)) {
    v.field("NOTIFICATIONTHRESHOLD"_name, r.notification_threshold);
    v.field("PREVIOUSNOTIFICATIONCOUNT"_name, r.previous_count);
  }
}

template <class V>
constexpr void fields(V& v, BACnetNotificationParameters& r)
{
  v.field("TYPE"_name, r.choice, Role::choice);
  if (v.when(r.choice, {0, 1, 2, 3, 4, 5}))
    v.field("STATUSFLAGS"_name, r.status_flags);
  if (v.when(r.choice, 0) || (v.when(r.choice, 2) && v.when(r.changed_choice, 0)))
    v.field("BITS"_name, r.bits);
  if (v.when(r.choice, 1))
    v.field("NEWSTATE"_name, r.new_state);
  if (v.when(r.choice, 2)) {
    v.field("NEWVALUE"_name, r.changed_choice, Role::choice);
    if (v.when(r.changed_choice, 1))
      v.field("CHANGEDVALUE"_name, r.changed_value);
  }
  if (v.when(r.choice, 3)) {
    v.field("COMMANDVALUE"_name, r.command_value);
    v.field("FEEDBACKVALUE"_name, r.feedback_value);
  }
  if (v.when(r.choice, {4, 5})) {
    v.field("REAL1"_name, r.reals[0]);
    v.field("REAL2"_name, r.reals[1]);
    v.field("REAL3"_name, r.reals[2]);
  }
  if (v.when(r.choice, 6))
    v.field("PROPERTYVALUES"_name, r.property_values);
  if (v.when(r.choice, 10)) {
    v.field("BUFFERPROPERTY"_name, r.buffer_property);
    v.field("PREVIOUSNOTIFICATION"_name, r.previous_notification);
    v.field("CURRENTNOTIFICATION"_name, r.current_notification);
  }
}

template <class V>
constexpr void fields(V& v, PropertyCondition& r)
{
  v.field("PROPERTYIDENTIFIER"_name, r.property, Role::enumerated);
  v.field("ARRAYINDEX"_name, r.array_index, Role::index);
  v.field("RELATIONALSPECIFIER"_name, r.relation, Role::enumerated);
  v.field("COMPARISONVALUE"_name, r.comparison);
}

// The REAL word is kept whatever the choice says; its forms read it by choice.
template <class V>
constexpr void fields(V& v, BACnetCOVIncrement& r)
{
  v.field("CHOICE"_name, r.choice);
  v.field("REAL"_name, r.real);
}

// The two further words are the error class and code of a failed read.
template <class V>
constexpr void fields(V& v, BACnetObjectPropertyValue& r)
{
  v.field("OBJECTIDENTIFIER"_name, r.object);
  v.field("PROPERTYIDENTIFIER"_name, r.property, Role::enumerated);
  v.field("ARRAYINDEX"_name, r.array_index, Role::index);
  v.field("VALUE"_name, r.value);
  v.field("PRIORITY"_name, r.priority, Role::optional);
  v.field("ERRORCLASS"_name, r.extra[0], Role::local);
  v.field("ERRORCODE"_name, r.extra[1], Role::local);
}

template <class V>
constexpr void fields(V& v, AnyValue& r)
{
  v.field("VALUE"_name, r.value);
}

template <class V>
constexpr void fields(V& v, TaggedData& r)
{
  v.field("TAG"_name, r.tag_number);
  v.initial(r.tag_number, -1);
  v.field("DATA"_name, r.value);
}

template <class V>
constexpr void fields(V& v, CovSubscription& r)
{
  v.field("RECIPIENT"_name, r.recipient);
  v.field("MONITOREDPROPERTYREFERENCE"_name, r.monitored);
  v.field("ISSUECONFIRMEDNOTIFICATIONS"_name, r.issue_confirmed, Role::flag);
  v.field("TIMEREMAINING"_name, r.time_remaining);
  v.field("COVINCREMENT"_name, r.cov_increment);
}

template <class V>
constexpr void fields(V& v, EventSummaryEntry& r)
{
  v.field("OBJECTIDENTIFIER"_name, r.object);
  v.field("EVENTSTATE"_name, r.event_state, Role::enumerated);
  v.field("ACKEDTRANSITIONS"_name, r.acked_transitions);
  v.field("EVENTTIMESTAMPS"_name, r.timestamps);
  v.field("NOTIFYTYPE"_name, r.notify_type, Role::enumerated);
  v.field("EVENTENABLE"_name, r.event_enable);
  v.field("EVENTPRIORITIES"_name, r.priorities);
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

// The alternatives of one choice, in the order of its description.
struct FieldAlternatives {
  static constexpr int kRoom = 8;
  FieldAlternative list[kRoom] = {};
  int count = 0;

  constexpr bool has(int number) const
  {
    for (int i = 0; i < count; ++i)
      if (list[i].number == number)
        return true;
    return false;
  }
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
  constexpr AlternativeProbe(const void* choice, FieldAlternative* out, int room)
      : choice_(choice), out_(out), room_(room)
  {
  }

  template <class T>
  constexpr void visit(const char* name, Role, T&)
  {
    if (pending_ && count_ < room_)
      out_[count_++] = {number_, name};
    pending_ = false;
  }
  template <class C>
  constexpr bool holds(C& choice, int n)
  {
    if (&choice != choice_)
      return false;
    pending_ = true;
    number_ = n;
    return true;
  }
  constexpr int count() const { return count_; }

private:
  const void* choice_;
  FieldAlternative* out_;
  int room_;
  int count_ = 0;
  bool pending_ = false;
  int number_ = 0;
};

// Finds the field of one name.
template <FieldName wanted>
class FieldFinder : public FieldVisitor<FieldFinder<wanted>, true> {
public:
  const void* found = nullptr;

  template <FieldName name, class T>
  constexpr void visit(Named<name>, Role, T& f)
  {
    if constexpr (name.view() == wanted.view())
      found = &f;
  }
};

// Whether the record has a field of the name a list holds at one place.
class NameCheck : public FieldVisitor<NameCheck, true> {
public:
  constexpr NameCheck(const FieldList& names, std::size_t place) : names_(names), place_(place) {}
  bool found = false;

  template <FieldName name, class T>
  constexpr void visit(Named<name>, Role, T&)
  {
    found = found || names_.names_at(place_, name.view());
  }

private:
  const FieldList& names_;
  std::size_t place_;
};

template <class R>
consteval bool names_fields(const FieldList& names)
{
  for (std::size_t place = 0; place < names.count(); ++place) {
    R record{};
    NameCheck check(names, place);
    fields(check, record);
    if (!check.found)
      return false;
  }
  return true;
}

template <class R, FieldName choice>
consteval FieldAlternatives alternatives_of()
{
  R record{};
  FieldFinder<choice> finder;
  fields(finder, record);
  FieldAlternatives out;
  AlternativeProbe probe(finder.found, out.list, FieldAlternatives::kRoom);
  fields(probe, record);
  out.count = probe.count();
  return out;
}

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

// Calls `visit(std::type_identity<R>{})` for the record R of `tag`; false when the tag has
// no record.
template <class Visit>
bool with_record_type(uint32_t tag, Visit&& visit)
{
  return value_fields_detail::with_record_type(tag, visit, static_cast<ValueRecords*>(nullptr));
}

// The alternatives of the choice field of R named `choice`, in the order of its description,
// settled when the program is compiled: readers look a tag or element name up here instead of
// walking the record for it.
template <class R, FieldName choice>
inline constexpr FieldAlternatives kFieldAlternatives = value_fields_detail::alternatives_of<R, choice>();
