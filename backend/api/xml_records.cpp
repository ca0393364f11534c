// The XML content of every constructed record: the fields in the order of the record's
// description (value_fields.h), or in an order of the form's own, each as an element of its
// name; a choice is named by its one alternative element. The records whose form reads or
// names its fields its own way are written out below the walks.
#include "backend/api/xml_values.h"

#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"
#include "bacnet/value/value_fields.h"

#include <strings.h>

#include <initializer_list>

namespace {

using Out = std::string;

constexpr uint32_t kNoError = 0xFFFFFFFF;  // error class and code of an ObjectPropertyValue with data

// ---- Building blocks ---------------------------------------------------------------------

// An element around what `body` writes. 0 or -1.
template <class Body>
int wrap(Out* out, const char* name, Body body)
{
  xml_open(out, name);
  if (body() != 0)
    return -1;
  xml_close(out, name);
  return 0;
}

// The content of the element `name`, handed to `body`.
template <class Body>
bool inside(XmlFields& f, const char* name, Body body)
{
  XmlFields content;
  return f.take(name, &content) && body(content);
}

// The alternative the next element names, compared without regard to case: its index, -1 when
// it names none of them, -2 when no element follows.
int choose(const XmlFields& f, std::initializer_list<const char*> names)
{
  std::string next;
  if (!f.next_name(&next))
    return -2;
  int i = 0;
  for (const char* name : names) {
    if (strcasecmp(next.c_str(), name) == 0)
      return i;
    ++i;
  }
  return -1;
}

const char* name_of(std::initializer_list<const char*> names, uint32_t choice)
{
  return choice < names.size() ? names.begin()[choice] : nullptr;
}

bool value_field(XmlFields& f, const char* name, BACnetValue* value)
{
  return xml_decode_value_field(value, &f, name) == 0;
}

// ---- Walks over the descriptions ---------------------------------------------------------

// The form puts these fields of a record first, in this order; the others follow in the order
// of the record's description.
constexpr FieldList xml_front(const void*) { return ""; }
constexpr FieldList xml_front(const BACnetActionCommand*)
{
  return "DEVICEIDENTIFIER OBJECTIDENTIFIER POSTDELAY PRIORITY PROPERTYARRAYINDEX PROPERTYIDENTIFIER";
}
constexpr FieldList xml_front(const BACnetSessionKey*) { return "PEERADDRESS"; }
constexpr FieldList xml_front(const BACnetAddressBinding*) { return "DEVICEADDRESS"; }
constexpr FieldList xml_front(const BACnetDeviceObjectPropertyReference*) { return "DEVICEIDENTIFIER"; }
constexpr FieldList xml_front(const BACnetDestination*) { return "TRANSITIONS"; }
constexpr FieldList xml_front(const BACnetSpecialEvent*)
{
  return "CHOICE CALENDARENTRY CALENDARREFERENCE EVENTPRIORITY";
}

// The element of each entry of an inline-first list.
constexpr const char* xml_entry(const BACnetPropertyReference*) { return "PROPERTYREFERENCE"; }
constexpr const char* xml_entry(const ReadAccessResultElement*) { return "PROPERTYVALUE"; }

// Writes each field as its element; stops at the first failure. A choice is not written: its
// alternative element names it, and a choice that holds no alternative fails.
class XmlPut : public FieldVisitor<XmlPut> {
public:
  explicit XmlPut(Out* out) : out_(out) {}

  template <class T>
  void visit(const char* name, Role role, T& f)
  {
    if (failed_ || role == Role::local || !settled())
      return;
    if (is_choice(role)) {
      choice_.met(role);
    } else if constexpr (kIsInlineList<T>) {
      xml_open(out_, name);
      for (uint32_t i = 0; i < f.count && !failed_; ++i)
        visit(xml_entry(&f.first), role, *inline_list_get(&f, i));
      if (!failed_)
        xml_close(out_, name);
    } else if constexpr (DescribedRecord<T>) {
      failed_ = wrap(out_, name, [&] { return xml_encode_record(out_, T::kTag, &f); }) != 0;
    } else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, uint32_t>) {
      xml_put_u32(out_, name, f);
    } else if constexpr (std::is_same_v<T, int32_t>) {
      role == Role::index ? xml_put_index(out_, name, f) : xml_put_i32(out_, name, f);
    } else if constexpr (std::is_same_v<T, float>) {
      xml_put_real(out_, name, f);
    } else if constexpr (std::is_same_v<T, BACnetDate>) {
      xml_put_date(out_, name, f);
    } else if constexpr (std::is_same_v<T, BACnetTime>) {
      xml_put_time(out_, name, f);
    } else if constexpr (std::is_same_v<T, BACnetObjectId>) {
      xml_put_object_id(out_, name, f);
    } else if constexpr (std::is_same_v<T, OctetString>) {
      xml_put_octets(out_, name, f);
    } else if constexpr (std::is_same_v<T, BitString>) {
      xml_put_bits(out_, name, f);
    } else {
      failed_ = xml_encode_value_field(out_, name, &f) != 0;
    }
  }
  template <class C>
  bool holds(C& choice, int n)
  {
    return choice_.holds(choice, n);
  }
  int result() { return failed_ || !settled() ? -1 : 0; }

private:
  // Any field met while the choice holds no alternative is no alternative of it.
  bool settled()
  {
    if (!choice_.known())
      failed_ = true;
    return !failed_;
  }

  Out* out_;
  bool failed_ = false;
  HeldChoice choice_;
};

// Reads each field from its element. A choice takes the alternative whose name the next
// element bears (without regard to case); when it names none, the record keeps what it was
// prepared with and the reading ends there, a failure only for a strict choice.
template <class R>
class XmlGet : public FieldVisitor<XmlGet<R>> {
public:
  explicit XmlGet(XmlFields& f) : f_(f) {}

  template <FieldName field, class T>
  void visit(Named<field> name, Role role, T& f)
  {
    if (!ok_ || ended_ || role == Role::local)
      return;
    if constexpr (std::is_same_v<T, uint32_t> || std::is_same_v<T, int32_t>) {
      if (is_choice(role))
        return choose(kFieldAlternatives<R, field>, f, role);
    }
    if constexpr (kIsInlineList<T>)
      ok_ = inside(f_, name, [&](XmlFields& list) {
        return list.each(xml_entry(&f.first), [&](XmlFields& c) {
          auto* added = inline_list_add(&f, nullptr);
          if (added)
            fields_init(*added);
          return added && xml_decode_record(added->kTag, added, c) == 0;
        });
      });
    else if constexpr (DescribedRecord<T>)
      ok_ = inside(f_, name, [&](XmlFields& c) { return xml_decode_record(T::kTag, &f, c) == 0; });
    else if constexpr (std::is_same_v<T, uint8_t>)
      ok_ = f_.u8(name, &f);
    else if constexpr (std::is_same_v<T, uint32_t> && field.view() == "PRIORITY")
      ok_ = f_.priority(name, &f);
    else if constexpr (std::is_same_v<T, uint32_t>)
      ok_ = f_.u32(name, &f);
    else if constexpr (std::is_same_v<T, int32_t>)
      ok_ = role == Role::index ? f_.optional_index(name, &f) : f_.i32(name, &f);
    else if constexpr (std::is_same_v<T, float>)
      ok_ = f_.real(name, &f);
    else if constexpr (std::is_same_v<T, BACnetDate>)
      ok_ = f_.date(name, &f);
    else if constexpr (std::is_same_v<T, BACnetTime>)
      ok_ = f_.time(name, &f);
    else if constexpr (std::is_same_v<T, BACnetObjectId>)
      ok_ = f_.object_id(name, &f);
    else if constexpr (std::is_same_v<T, OctetString>)
      ok_ = f_.octets(name, &f);
    else if constexpr (std::is_same_v<T, BitString>)
      ok_ = f_.bits(name, &f);
    else
      ok_ = value_field(f_, name, &f);
  }
  bool result() const { return ok_; }

private:
  template <class C>
  void choose(const FieldAlternatives& alternatives, C& choice, Role role)
  {
    std::string next;
    if (!f_.next_name(&next)) {
      ok_ = false;
      return;
    }
    for (int i = 0; i < alternatives.count; ++i) {
      if (strcasecmp(next.c_str(), alternatives.list[i].name) == 0) {
        choice = static_cast<C>(alternatives.list[i].number);
        return;
      }
    }
    ended_ = true;
    ok_ = role != Role::strict_choice;
  }

  XmlFields& f_;
  bool ok_ = true;
  bool ended_ = false;
};

template <class R>
int put(Out* out, const R& r)
{
  XmlPut v(out);
  v.walk<xml_front(static_cast<R*>(nullptr))>(const_cast<R&>(r));
  return v.result();
}

template <class R>
bool get(XmlFields& f, R* r)
{
  XmlGet<R> v(f);
  v.template walk<xml_front(static_cast<R*>(nullptr))>(*r);
  return v.result();
}

// ---- Records whose form reads or names its fields its own way ----------------------------

const std::initializer_list<const char*> kLogData = {"LOGSTATUS", "BOOLEANVALUE", "REALVALUE", "ENUMERATED",
                                                     "UNSIGNED",  "SIGNED",       "BITSTRING", "NULL",
                                                     "FAILURE",   "TIMECHANGE",   "ANYVALUE"};

int put(Out* out, const BACnetLogRecord& r)
{
  const char* name = name_of(kLogData, r.choice);
  if (!name)
    return -1;
  xml_put_bits(out, "STATUSFLAGS", r.status_flags);
  wrap(out, "TIMESTAMP", [&] { return put(out, r.timestamp); });
  switch (r.choice) {
    case 0:
    case 6: xml_put_bits(out, name, r.bits); return 0;
    case 1: xml_put_u32(out, name, r.datum.boolean); return 0;
    case 2: xml_put_real(out, name, r.datum.real); return 0;
    case 3: xml_put_u32(out, name, r.datum.enumerated); return 0;
    case 4: xml_put_u32(out, name, r.datum.unsigned_value); return 0;
    case 5: xml_put_i32(out, name, r.datum.signed_value); return 0;
    case 7: xml_put_u32(out, name, 0); return 0;
    case 8: return wrap(out, name, [&] { return xml_put_error_pair(out, r.error_class, r.error_code), 0; });
    case 9: xml_put_real(out, name, r.datum.time_change); return 0;
    default: return xml_encode_value_field(out, name, &r.any);
  }
}

bool get(XmlFields& f, BACnetLogRecord* r)
{
  if (!f.bits("STATUSFLAGS", &r->status_flags) ||
      !inside(f, "TIMESTAMP", [&](XmlFields& c) { return get(c, &r->timestamp); }))
    return false;
  int choice = choose(f, kLogData);
  if (choice < 0)
    return choice == -1;
  r->choice = uint32_t(choice);
  const char* name = name_of(kLogData, r->choice);
  uint32_t ignored = 0;
  switch (choice) {
    case 0:
    case 6: return f.bits(name, &r->bits);
    case 1: return f.u8(name, &r->datum.boolean);
    case 2: return f.real(name, &r->datum.real);
    case 3: return f.u32(name, &r->datum.enumerated);
    case 4: return f.u32(name, &r->datum.unsigned_value);
    case 5: return f.i32(name, &r->datum.signed_value);
    case 7: return f.u32(name, &ignored);
    case 8: return inside(f, name, [&](XmlFields& c) { return c.error_pair(&r->error_class, &r->error_code); });
    case 9: return f.real(name, &r->datum.time_change);
    default: return value_field(f, name, &r->any);
  }
}

int put(Out* out, const WriteAccessSpecification& r)
{
  xml_put_object_id(out, "OBJECTIDENTIFIER", r.object);
  xml_open(out, "PROPERTIES");
  auto one = [&](const BACnetValue& v) {
    const auto* p = value_record<BACnetPropertyValue>(&v);
    return p ? wrap(out, "PROPERTY", [&] { return put(out, *p); }) : -1;
  };
  if (r.properties.tag == TAG_PROPERTY_VALUE) {
    if (one(r.properties) != 0)
      return -1;
  } else if (const BACnetValueArray* array = value_array(&r.properties)) {
    for (uint32_t i = 0; i < array->used; ++i)
      if (one(array->elements[i]) != 0)
        return -1;
  } else if (r.properties.tag != TAG_NULL) {
    return -1;
  }
  xml_close(out, "PROPERTIES");
  return 0;
}

bool get(XmlFields& f, WriteAccessSpecification* r)
{
  return f.object_id("OBJECTIDENTIFIER", &r->object) && inside(f, "PROPERTIES", [&](XmlFields& list) {
           return list.each("PROPERTY", [&](XmlFields& c) {
             BACnetValue element{};
             bool ok = value_init(&element, TAG_PROPERTY_VALUE) == 0 && element.payload.record &&
                       get(c, static_cast<BACnetPropertyValue*>(element.payload.record)) &&
                       value_append_element(&r->properties, TAG_PROPERTY_VALUE_LIST, &element) == 0;
             value_free(&element);
             return ok;
           });
         });
}

int put(Out* out, const ReadAccessResultElement& r)
{
  xml_put_u32(out, "PROPERTYIDENTIFIER", r.property);
  xml_put_index(out, "ARRAYINDEX", r.array_index);
  switch (r.choice) {
    case 0: return xml_encode_value_field(out, "PROPERTYVALUE", &r.value);
    case 1: return wrap(out, "PROPERTYACCESSERROR", [&] { return xml_put_error_pair(out, r.error_class, r.error_code), 0; });
    default: return -1;
  }
}

bool get(XmlFields& f, ReadAccessResultElement* r)
{
  if (!f.u32("PROPERTYIDENTIFIER", &r->property) || !f.optional_index("ARRAYINDEX", &r->array_index))
    return false;
  int choice = choose(f, {"PROPERTYVALUE", "PROPERTYACCESSERROR"});
  if (choice < 0)
    return choice == -1;
  r->choice = uint32_t(choice);
  if (choice == 0)
    return value_field(f, "PROPERTYVALUE", &r->value);
  return inside(f, "PROPERTYACCESSERROR", [&](XmlFields& c) { return c.error_pair(&r->error_class, &r->error_code); });
}

int put(Out* out, const BACnetPriorityValue& r)
{
  switch (r.choice) {
    case 0: xml_open(out, "NULL"); xml_close(out, "NULL"); return 0;
    case 1: xml_put_real(out, "REAL", r.real); return 0;
    case 2: xml_put_u32(out, "BINARY", r.enumerated); return 0;
    case 3: xml_put_u32(out, "UNSIGNEDINTEGER", r.unsigned_value); return 0;
    case 4: return xml_encode_value_field(out, "REAL", &r.value);
    default: return -1;
  }
}

bool get(XmlFields& f, BACnetPriorityValue* r)
{
  int choice = choose(f, {"NULL", "REAL", "BINARY", "UNSIGNEDINTEGER"});
  if (choice < 0)
    return choice == -1;
  XmlFields c;
  switch (choice) {
    case 0: r->choice = 0; return f.take("NULL", &c);
    case 1:
      // A REAL element that holds a typed value carries a constructed value.
      if (!f.take("REAL", &c))
        return false;
      if (c.begins_with("TYPE")) {
        r->choice = 4;
        return xml_decode_value(&r->value, &c) == 0;
      }
      r->choice = 1;
      return c.as_real(&r->real);
    case 2: r->choice = 2; return f.u32("BINARY", &r->enumerated);
    default: r->choice = 3; return f.u32("UNSIGNEDINTEGER", &r->unsigned_value);
  }
}

const std::initializer_list<const char*> kPropertyStates = {
    "BOOLEAN",       "BINARYVALUE", "EVENTTYPE",   "POLARITY", "PROGRAMCHANGE", "PROGRAMSTATE",
    "REASONFORHALT", "RELIABILITY", "STATE",       "SYSTEMSTATUS", "UNITS",     "UNSIGNEDINTEGER"};

int put(Out* out, const BACnetPropertyStates& r)
{
  const char* name = name_of(kPropertyStates, r.choice);
  if (!name)
    return -1;
  xml_put_u32(out, name, r.value);
  return 0;
}

bool get(XmlFields& f, BACnetPropertyStates* r)
{
  int choice = choose(f, kPropertyStates);
  if (choice < 0)
    return choice == -1;
  r->choice = uint32_t(choice);
  return f.u32(name_of(kPropertyStates, r->choice), &r->value);
}

// Event parameters name their choice by the first field of each alternative.
constexpr uint32_t kBufferReady = 10;

int put(Out* out, const BACnetEventParameter& r)
{
  auto reference = [&](const char* name) { return wrap(out, name, [&] { return put(out, r.reference); }); };
  auto limits = [&] {
    xml_put_real(out, "DEADBAND", r.deadband);
    xml_put_real(out, "HIGHDIFFLIMIT", r.high_limit);
    xml_put_real(out, "LODIFFLIMIT", r.low_limit);
    xml_put_u32(out, "TIMEDELAY", r.time_delay);
    return 0;
  };
  switch (r.choice) {
    case 0:
      if (xml_encode_value_field(out, "BITSTRINGS", &r.values) != 0)
        return -1;
      xml_put_bits(out, "BITMASK", r.bitmask);
      xml_put_u32(out, "TIMEDELAY", r.time_delay);
      return 0;
    case 1:
      if (xml_encode_value_field(out, "VALUES", &r.values) != 0)
        return -1;
      xml_put_u32(out, "TIMEDELAY", r.time_delay);
      return 0;
    case 2:
      if (r.increment_choice == 0)
        xml_put_bits(out, "BITMASK", r.bitmask);
      else if (r.increment_choice == 1)
        xml_put_real(out, "REFERENCEDPROPERTYINCREMENT", r.increment);
      else
        return -1;
      return 0;
    case 3:
      reference("FEEDBACKPROPERTYREFERENCE");
      xml_put_u32(out, "TIMEDELAY", r.time_delay);
      return 0;
    case 4: reference("SETPOINTREFERENCE"); return limits();
    case 5: return limits();
    case kBufferReady:
      xml_put_u32(out, "NOTIFICATIONTHRESHOLD", r.notification_threshold);
      xml_put_u32(out, "PREVIOUSNOTIFICATIONCOUNT", r.previous_count);
      return 0;
    default: return -1;
  }
}

bool get(XmlFields& f, BACnetEventParameter* r)
{
  int first = choose(f, {"BITSTRINGS", "VALUES", "BITMASK", "REFERENCEDPROPERTYINCREMENT", "FEEDBACKPROPERTYREFERENCE",
                         "SETPOINTREFERENCE", "DEADBAND", "NOTIFICATIONTHRESHOLD"});
  if (first < 0)
    return first == -1;
  auto reference = [&](const char* name) {
    return inside(f, name, [&](XmlFields& c) { return get(c, &r->reference); });
  };
  auto limits = [&] {
    return f.real("DEADBAND", &r->deadband) && f.real("HIGHDIFFLIMIT", &r->high_limit) &&
           f.real("LODIFFLIMIT", &r->low_limit) && f.u32("TIMEDELAY", &r->time_delay);
  };
  switch (first) {
    case 0:
      r->choice = 0;
      return value_field(f, "BITSTRINGS", &r->values) && f.bits("BITMASK", &r->bitmask) &&
             f.u32("TIMEDELAY", &r->time_delay);
    case 1: r->choice = 1; return value_field(f, "VALUES", &r->values) && f.u32("TIMEDELAY", &r->time_delay);
    case 2: r->choice = 2; r->increment_choice = 0; return f.bits("BITMASK", &r->bitmask);
    case 3: r->choice = 2; r->increment_choice = 1; return f.real("REFERENCEDPROPERTYINCREMENT", &r->increment);
    case 4: r->choice = 3; return reference("FEEDBACKPROPERTYREFERENCE") && f.u32("TIMEDELAY", &r->time_delay);
    case 5: r->choice = 4; return reference("SETPOINTREFERENCE") && limits();
    case 6: r->choice = 5; return limits();
    default:
      r->choice = kBufferReady;
      return f.u32("NOTIFICATIONTHRESHOLD", &r->notification_threshold) &&
             f.u32("PREVIOUSNOTIFICATIONCOUNT", &r->previous_count);
  }
}

int put(Out* out, const BACnetNotificationParameters& r)
{
  xml_put_u32(out, "TYPE", r.choice);
  auto status = [&] { return xml_put_bits(out, "STATUSFLAGS", r.status_flags), 0; };
  switch (r.choice) {
    case 0: xml_put_bits(out, "REFERENCEDBITSTRING", r.bits); return status();
    case 1:
      if (wrap(out, "NEWSTATE", [&] { return put(out, r.new_state); }) != 0)
        return -1;
      return status();
    case 2:
      xml_put_u32(out, "NEWVALUE", r.changed_choice);
      if (r.changed_choice == 0)
        xml_put_bits(out, "CHANGEDBITS", r.bits);
      else if (r.changed_choice == 1)
        xml_put_real(out, "CHANGEDVALUE", r.changed_value);
      else
        return -1;
      return status();
    case 3:
      if (xml_encode_value_field(out, "COMMANDVALUE", &r.command_value) != 0 ||
          xml_encode_value_field(out, "FEEDBACKVALUE", &r.feedback_value) != 0)
        return -1;
      return status();
    case 4:
      // reals: reference value, setpoint value, error limit
      xml_put_real(out, "ERRORLIMIT", r.reals[2]);
      xml_put_real(out, "REFERENCEVALUE", r.reals[0]);
      xml_put_real(out, "SETPOINTVALUE", r.reals[1]);
      return status();
    case 5:
      // reals: exceeding value, deadband, exceeded limit
      xml_put_real(out, "DEADBAND", r.reals[1]);
      xml_put_real(out, "EXCEEDINGLIMIT", r.reals[2]);
      xml_put_real(out, "EXCEEDINGVALUE", r.reals[0]);
      return status();
    case kBufferReady:
      wrap(out, "BUFFERPROPERTY", [&] { return put(out, r.buffer_property); });
      xml_put_u32(out, "PREVIOUSNOTIFICATION", r.previous_notification);
      xml_put_u32(out, "CURRENTNOTIFICATION", r.current_notification);
      return 0;
    default: return -1;
  }
}

bool get(XmlFields& f, BACnetNotificationParameters* r)
{
  if (!f.u32("TYPE", &r->choice))
    return false;
  auto status = [&] { return f.bits("STATUSFLAGS", &r->status_flags); };
  switch (r->choice) {
    case 0: return f.bits("REFERENCEDBITSTRING", &r->bits) && status();
    case 1: return inside(f, "NEWSTATE", [&](XmlFields& c) { return get(c, &r->new_state); }) && status();
    case 2:
      if (!f.u32("NEWVALUE", &r->changed_choice))
        return false;
      if (r->changed_choice == 0)
        return f.bits("CHANGEDBITS", &r->bits) && status();
      return r->changed_choice == 1 && f.real("CHANGEDVALUE", &r->changed_value) && status();
    case 3:
      return value_field(f, "COMMANDVALUE", &r->command_value) && value_field(f, "FEEDBACKVALUE", &r->feedback_value) &&
             status();
    case 4:
      return f.real("ERRORLIMIT", &r->reals[2]) && f.real("REFERENCEVALUE", &r->reals[0]) &&
             f.real("SETPOINTVALUE", &r->reals[1]) && status();
    case 5:
      return f.real("DEADBAND", &r->reals[1]) && f.real("EXCEEDINGLIMIT", &r->reals[2]) &&
             f.real("EXCEEDINGVALUE", &r->reals[0]) && status();
    case kBufferReady:
      return inside(f, "BUFFERPROPERTY", [&](XmlFields& c) { return get(c, &r->buffer_property); }) &&
             f.u32("PREVIOUSNOTIFICATION", &r->previous_notification) &&
             f.u32("CURRENTNOTIFICATION", &r->current_notification);
    default: return false;
  }
}

int put(Out* out, const BACnetCOVIncrement& r)
{
  switch (r.choice) {
    case 0: xml_put_real(out, "REALINCREMENT", r.real); return 0;
    case 1: xml_put_u32(out, "DEFAULTINCREMENT", 0); return 0;  // the default has no number of its own
    default: return -1;
  }
}

bool get(XmlFields& f, BACnetCOVIncrement* r)
{
  int choice = choose(f, {"REALINCREMENT", "DEFAULTINCREMENT"});
  if (choice < 0)
    return choice == -1;
  r->choice = uint32_t(choice);
  uint32_t ignored = 0;
  return choice == 0 ? f.real("REALINCREMENT", &r->real) : f.u32("DEFAULTINCREMENT", &ignored);
}

// The two further words of an ObjectPropertyValue are its error class and code.
int put(Out* out, const BACnetObjectPropertyValue& r)
{
  if (r.extra[0] == kNoError && r.extra[1] == kNoError) {
    xml_put_object_id(out, "OBJECTIDENTIFIER", r.object);
    xml_put_u32(out, "PROPERTYIDENTIFIER", r.property);
    if (xml_encode_value_field(out, "VALUE", &r.value) != 0)
      return -1;
    xml_put_u32(out, "PRIORITY", r.priority);
    return 0;
  }
  xml_put_error_pair(out, r.extra[0], r.extra[1]);
  return 0;
}

bool get(XmlFields& f, BACnetObjectPropertyValue* r)
{
  int choice = choose(f, {"OBJECTIDENTIFIER", "ERRORCLASS"});
  if (choice == 0) {
    r->extra[0] = r->extra[1] = kNoError;
    return f.object_id("OBJECTIDENTIFIER", &r->object) && f.u32("PROPERTYIDENTIFIER", &r->property) &&
           value_field(f, "VALUE", &r->value) && f.priority("PRIORITY", &r->priority);
  }
  if (choice != 1)
    return choice == -1;
  // Side by side as written, or both inside the ERRORCLASS element.
  XmlFields inner;
  if (!f.take("ERRORCLASS", &inner))
    return false;
  if (inner.begins_with("ERRORCLASS"))
    return inner.error_pair(&r->extra[0], &r->extra[1]);
  return inner.as_u32(&r->extra[0]) && f.u32("ERRORCODE", &r->extra[1]);
}

int put(Out* out, const AnyValue& r) { return xml_encode_value(out, &r.value); }
bool get(XmlFields& f, AnyValue* r) { return xml_decode_value(&r->value, &f) == 0; }

// Records without a form: the summaries and subscriptions of the alarm and COV services.
constexpr bool has_form(uint32_t tag)
{
  return tag != TAG_ALARM_SUMMARY && tag != TAG_ENROLLMENT_SUMMARY && tag != TAG_COV_SUBSCRIPTION &&
         tag != TAG_EVENT_SUMMARY;
}

}  // namespace

bool xml_record_has_form(uint32_t tag)
{
  bool form = false;
  with_record_type(tag, [&]<class R>(std::type_identity<R>) { form = has_form(R::kTag); });
  return form;
}

int xml_encode_record(std::string* out, uint32_t tag, const void* record)
{
  int rc = -1;
  if (out && record)
    with_record_type(tag, [&]<class R>(std::type_identity<R>) {
      if constexpr (has_form(R::kTag))
        rc = put(out, *static_cast<const R*>(record));
    });
  return rc;
}

int xml_decode_record(uint32_t tag, void* record, XmlFields content)
{
  bool ok = false;
  if (record)
    with_record_type(tag, [&]<class R>(std::type_identity<R>) {
      if constexpr (has_form(R::kTag))
        ok = get(content, static_cast<R*>(record));
    });
  return ok ? 0 : -1;
}
