// The XML content of every constructed record: fields written in their order, read back in
// the same order, choices named by their one alternative element.
#include "backend/api/xml_values.h"

#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

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

// ---- Per record --------------------------------------------------------------------------

const std::initializer_list<const char*> kCalendarChoices = {"DATE", "DATERANGE", "WEEKNDAY"};

int put(Out* out, const BACnetDateRange& r)
{
  xml_put_date(out, "STARTDATE", r.start);
  xml_put_date(out, "ENDDATE", r.end);
  return 0;
}
bool get(XmlFields& f, BACnetDateRange* r) { return f.date("STARTDATE", &r->start) && f.date("ENDDATE", &r->end); }

int put(Out* out, const BACnetWeekNDay& r)
{
  xml_put_u32(out, "MONTH", r.month);
  xml_put_u32(out, "WEEKOFMONTH", r.week);
  xml_put_u32(out, "DAYOFWEEK", r.weekday);
  return 0;
}
bool get(XmlFields& f, BACnetWeekNDay* r)
{
  return f.u8("MONTH", &r->month) && f.u8("WEEKOFMONTH", &r->week) && f.u8("DAYOFWEEK", &r->weekday);
}

int put(Out* out, const BACnetCalendarEntry& r)
{
  switch (r.choice) {
    case 0: xml_put_date(out, "DATE", r.date); return 0;
    case 1: return wrap(out, "DATERANGE", [&] { return put(out, r.range); });
    case 2: return wrap(out, "WEEKNDAY", [&] { return put(out, r.weeknday); });
    default: return -1;
  }
}
bool get(XmlFields& f, BACnetCalendarEntry* r)
{
  int choice = choose(f, kCalendarChoices);
  if (choice < 0)
    return choice == -1;
  r->choice = uint32_t(choice);
  switch (choice) {
    case 0: return f.date("DATE", &r->date);
    case 1: return inside(f, "DATERANGE", [&](XmlFields& c) { return get(c, &r->range); });
    default: return inside(f, "WEEKNDAY", [&](XmlFields& c) { return get(c, &r->weeknday); });
  }
}

int put(Out* out, const BACnetAddressValue& r)
{
  xml_put_u32(out, "NETWORK", r.network);
  xml_put_octets(out, "MACADDRESS", r.mac);
  return 0;
}
bool get(XmlFields& f, BACnetAddressValue* r) { return f.u32("NETWORK", &r->network) && f.octets("MACADDRESS", &r->mac); }

int put(Out* out, const BACnetDateTime& r)
{
  xml_put_date(out, "DATE", r.date);
  xml_put_time(out, "TIME", r.time);
  return 0;
}
bool get(XmlFields& f, BACnetDateTime* r) { return f.date("DATE", &r->date) && f.time("TIME", &r->time); }

int put(Out* out, const BACnetTimeValue& r)
{
  xml_put_time(out, "TIME", r.time);
  return xml_encode_value_field(out, "VALUE", &r.value);
}
bool get(XmlFields& f, BACnetTimeValue* r) { return f.time("TIME", &r->time) && value_field(f, "VALUE", &r->value); }

int put(Out* out, const BACnetTimeStamp& r)
{
  switch (r.choice) {
    case 0: xml_put_time(out, "TIME", r.time); return 0;
    case 1: xml_put_u32(out, "SEQUENCENUMBER", r.sequence); return 0;
    case 2: return wrap(out, "DATETIME", [&] { return put(out, r.datetime); });
    default: return -1;
  }
}
bool get(XmlFields& f, BACnetTimeStamp* r)
{
  int choice = choose(f, {"TIME", "SEQUENCENUMBER", "DATETIME"});
  if (choice < 0)
    return choice == -1;
  r->choice = uint32_t(choice);
  switch (choice) {
    case 0: return f.time("TIME", &r->time);
    case 1: return f.u32("SEQUENCENUMBER", &r->sequence);
    default: return inside(f, "DATETIME", [&](XmlFields& c) { return get(c, &r->datetime); });
  }
}

int put(Out* out, const BACnetActionCommand& r)
{
  xml_put_object_id(out, "DEVICEIDENTIFIER", r.device);
  xml_put_object_id(out, "OBJECTIDENTIFIER", r.object);
  xml_put_u32(out, "POSTDELAY", r.post_delay);
  xml_put_u32(out, "PRIORITY", r.priority);
  xml_put_index(out, "PROPERTYARRAYINDEX", r.array_index);
  xml_put_u32(out, "PROPERTYIDENTIFIER", r.property);
  if (xml_encode_value_field(out, "PROPERTYVALUE", &r.value) != 0)
    return -1;
  xml_put_u32(out, "QUITONFAILURE", r.quit_on_failure);
  xml_put_u32(out, "WRITESUCCESSFUL", r.write_successful);
  return 0;
}
bool get(XmlFields& f, BACnetActionCommand* r)
{
  return f.object_id("DEVICEIDENTIFIER", &r->device) && f.object_id("OBJECTIDENTIFIER", &r->object) &&
         f.u32("POSTDELAY", &r->post_delay) && f.u32("PRIORITY", &r->priority) &&
         f.optional_index("PROPERTYARRAYINDEX", &r->array_index) && f.u32("PROPERTYIDENTIFIER", &r->property) &&
         value_field(f, "PROPERTYVALUE", &r->value) && f.u8("QUITONFAILURE", &r->quit_on_failure) &&
         f.u8("WRITESUCCESSFUL", &r->write_successful);
}

int put(Out* out, const BACnetSessionKey& r)
{
  wrap(out, "PEERADDRESS", [&] { return put(out, r.peer); });
  xml_put_octets(out, "SESSIONKEY", r.key);
  return 0;
}
bool get(XmlFields& f, BACnetSessionKey* r)
{
  return inside(f, "PEERADDRESS", [&](XmlFields& c) { return get(c, &r->peer); }) &&
         f.octets("SESSIONKEY", &r->key);
}

int put(Out* out, const BACnetRecipient& r)
{
  switch (r.choice) {
    case 0: xml_put_object_id(out, "DEVICE", r.device); return 0;
    case 1: return wrap(out, "ADDRESS", [&] { return put(out, r.address); });
    default: return -1;
  }
}
bool get(XmlFields& f, BACnetRecipient* r)
{
  int choice = choose(f, {"DEVICE", "ADDRESS"});
  if (choice < 0)
    return choice == -1;
  r->choice = choice;
  if (choice == 0)
    return f.object_id("DEVICE", &r->device);
  return inside(f, "ADDRESS", [&](XmlFields& c) { return get(c, &r->address); });
}

int put(Out* out, const BACnetRecipientProcess& r)
{
  xml_put_u32(out, "NOTEMPTY", r.not_empty);
  if (wrap(out, "RECIPIENT", [&] { return put(out, r.recipient); }) != 0)
    return -1;
  xml_put_u32(out, "PROCESSIDENTIFIER", r.process_id);
  return 0;
}
bool get(XmlFields& f, BACnetRecipientProcess* r)
{
  return f.u32("NOTEMPTY", &r->not_empty) &&
         inside(f, "RECIPIENT", [&](XmlFields& c) { return get(c, &r->recipient); }) &&
         f.u32("PROCESSIDENTIFIER", &r->process_id);
}

int put(Out* out, const BACnetAddressBinding& r)
{
  wrap(out, "DEVICEADDRESS", [&] { return put(out, r.address); });
  xml_put_object_id(out, "OBJECTIDENTIFIER", r.device);
  return 0;
}
bool get(XmlFields& f, BACnetAddressBinding* r)
{
  return inside(f, "DEVICEADDRESS", [&](XmlFields& c) { return get(c, &r->address); }) &&
         f.object_id("OBJECTIDENTIFIER", &r->device);
}

int put(Out* out, const BACnetObjectPropertyReference& r)
{
  xml_put_object_id(out, "OBJECTIDENTIFIER", r.object);
  xml_put_u32(out, "PROPERTY", r.property);
  xml_put_index(out, "ARRAYINDEX", r.array_index);
  return 0;
}
bool get(XmlFields& f, BACnetObjectPropertyReference* r)
{
  return f.object_id("OBJECTIDENTIFIER", &r->object) && f.u32("PROPERTY", &r->property) &&
         f.optional_index("ARRAYINDEX", &r->array_index);
}

int put(Out* out, const BACnetDeviceObjectPropertyReference& r)
{
  xml_put_object_id(out, "DEVICEIDENTIFIER", r.device);
  xml_put_object_id(out, "OBJECTIDENTIFIER", r.object);
  xml_put_u32(out, "PROPERTY", r.property);
  xml_put_index(out, "ARRAYINDEX", r.array_index);
  return 0;
}
bool get(XmlFields& f, BACnetDeviceObjectPropertyReference* r)
{
  return f.object_id("DEVICEIDENTIFIER", &r->device) && f.object_id("OBJECTIDENTIFIER", &r->object) &&
         f.u32("PROPERTY", &r->property) && f.optional_index("ARRAYINDEX", &r->array_index);
}

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

int put(Out* out, const BACnetPropertyReference& r)
{
  xml_put_u32(out, "PROPERTYIDENTIFIER", r.property);
  xml_put_index(out, "ARRAYINDEX", r.array_index);
  return 0;
}
bool get(XmlFields& f, BACnetPropertyReference* r)
{
  return f.u32("PROPERTYIDENTIFIER", &r->property) && f.optional_index("ARRAYINDEX", &r->array_index);
}

int put(Out* out, const ReadAccessSpecification& r)
{
  xml_put_object_id(out, "OBJECTIDENTIFIER", r.object);
  xml_open(out, "PROPERTYREFERENCES");
  for (uint32_t i = 0; i < r.references.count; ++i)
    wrap(out, "PROPERTYREFERENCE", [&] { return put(out, *inline_list_get(&r.references, i)); });
  xml_close(out, "PROPERTYREFERENCES");
  return 0;
}
bool get(XmlFields& f, ReadAccessSpecification* r)
{
  return f.object_id("OBJECTIDENTIFIER", &r->object) && inside(f, "PROPERTYREFERENCES", [&](XmlFields& list) {
           return list.each("PROPERTYREFERENCE", [&](XmlFields& c) {
             BACnetPropertyReference reference{0, -1};
             return get(c, &reference) && inline_list_add(&r->references, &reference) != nullptr;
           });
         });
}

int put(Out* out, const BACnetPropertyValue& r);
bool get(XmlFields& f, BACnetPropertyValue* r);

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

int put(Out* out, const ReadAccessResult& r)
{
  xml_put_object_id(out, "OBJECTIDENTIFIER", r.object);
  xml_open(out, "RESULTS");
  for (uint32_t i = 0; i < r.results.count; ++i)
    if (wrap(out, "PROPERTYVALUE", [&] { return put(out, *inline_list_get(&r.results, i)); }) != 0)
      return -1;
  xml_close(out, "RESULTS");
  return 0;
}
bool get(XmlFields& f, ReadAccessResult* r)
{
  return f.object_id("OBJECTIDENTIFIER", &r->object) && inside(f, "RESULTS", [&](XmlFields& list) {
           return list.each("PROPERTYVALUE", [&](XmlFields& c) {
             ReadAccessResultElement* element = inline_list_add(&r->results, nullptr);
             if (!element)
               return false;
             element->array_index = -1;
             return get(c, element);
           });
         });
}

int put(Out* out, const BACnetDestination& r)
{
  xml_put_bits(out, "TRANSITIONS", r.transitions);
  xml_put_bits(out, "VALIDDAYS", r.valid_days);
  xml_put_time(out, "FROMTIME", r.from);
  xml_put_time(out, "TOTIME", r.to);
  if (wrap(out, "RECIPIENT", [&] { return put(out, r.recipient); }) != 0)
    return -1;
  xml_put_u32(out, "PROCESSIDENTIFIER", r.process_id);
  xml_put_u32(out, "ISSUECONFIRMEDNOTIFICATIONS", r.issue_confirmed);
  xml_put_u32(out, "LIFETIME", r.lifetime);
  return 0;
}
bool get(XmlFields& f, BACnetDestination* r)
{
  return f.bits("TRANSITIONS", &r->transitions) && f.bits("VALIDDAYS", &r->valid_days) &&
         f.time("FROMTIME", &r->from) && f.time("TOTIME", &r->to) &&
         inside(f, "RECIPIENT", [&](XmlFields& c) { return get(c, &r->recipient); }) &&
         f.u32("PROCESSIDENTIFIER", &r->process_id) && f.u8("ISSUECONFIRMEDNOTIFICATIONS", &r->issue_confirmed) &&
         f.u32("LIFETIME", &r->lifetime);
}

int put(Out* out, const BACnetDailySchedule& r) { return xml_encode_value_field(out, "DAYSCHEDULE", &r.day_schedule); }
bool get(XmlFields& f, BACnetDailySchedule* r) { return value_field(f, "DAYSCHEDULE", &r->day_schedule); }

int put(Out* out, const BACnetSpecialEvent& r)
{
  int rc = -1;
  if (r.period_choice == 0)
    rc = wrap(out, "CALENDARENTRY", [&] { return put(out, r.calendar_entry); });
  else if (r.period_choice == 1)
    rc = (xml_put_object_id(out, "CALENDARREFERENCE", r.calendar_reference), 0);
  if (rc != 0)
    return -1;
  xml_put_u32(out, "EVENTPRIORITY", r.priority);
  return xml_encode_value_field(out, "TIMEVALUES", &r.time_values);
}
bool get(XmlFields& f, BACnetSpecialEvent* r)
{
  int choice = choose(f, {"CALENDARENTRY", "CALENDARREFERENCE"});
  if (choice < 0)
    return false;
  r->period_choice = uint32_t(choice);
  bool period = choice == 0 ? inside(f, "CALENDARENTRY", [&](XmlFields& c) { return get(c, &r->calendar_entry); })
                            : f.object_id("CALENDARREFERENCE", &r->calendar_reference);
  return period && f.u32("EVENTPRIORITY", &r->priority) && value_field(f, "TIMEVALUES", &r->time_values);
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

int put(Out* out, const BACnetPropertyValue& r)
{
  xml_put_u32(out, "PROPERTYIDENTIFIER", r.property);
  xml_put_index(out, "ARRAYINDEX", r.array_index);
  if (xml_encode_value_field(out, "VALUE", &r.value) != 0)
    return -1;
  xml_put_u32(out, "PRIORITY", r.priority);
  return 0;
}
bool get(XmlFields& f, BACnetPropertyValue* r)
{
  return f.u32("PROPERTYIDENTIFIER", &r->property) && f.optional_index("ARRAYINDEX", &r->array_index) &&
         value_field(f, "VALUE", &r->value) && f.u32("PRIORITY", &r->priority);
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

int put(Out* out, const PropertyCondition& r)
{
  xml_put_u32(out, "PROPERTYIDENTIFIER", r.property);
  xml_put_index(out, "ARRAYINDEX", r.array_index);
  xml_put_u32(out, "RELATIONALSPECIFIER", r.relation);
  return xml_encode_value_field(out, "COMPARISONVALUE", &r.comparison);
}
bool get(XmlFields& f, PropertyCondition* r)
{
  return f.u32("PROPERTYIDENTIFIER", &r->property) && f.optional_index("ARRAYINDEX", &r->array_index) &&
         f.u32("RELATIONALSPECIFIER", &r->relation) && value_field(f, "COMPARISONVALUE", &r->comparison);
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
           value_field(f, "VALUE", &r->value) && f.u32("PRIORITY", &r->priority);
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

int put(Out* out, const TaggedData& r)
{
  xml_put_i32(out, "TAG", r.tag_number);
  return xml_encode_value_field(out, "DATA", &r.value);
}
bool get(XmlFields& f, TaggedData* r) { return f.i32("TAG", &r->tag_number) && value_field(f, "DATA", &r->value); }

// ---- Table -------------------------------------------------------------------------------

struct RecordForm {
  uint32_t tag;
  int (*encode)(Out* out, const void* record);
  bool (*decode)(XmlFields& f, void* record);
};

template <class R>
constexpr RecordForm form()
{
  return {R::kTag, [](Out* out, const void* record) { return put(out, *static_cast<const R*>(record)); },
          [](XmlFields& f, void* record) { return get(f, static_cast<R*>(record)); }};
}

constexpr RecordForm kForms[] = {
    form<BACnetAddressValue>(),
    form<BACnetDateTime>(),
    form<BACnetCalendarEntry>(),
    form<BACnetDateRange>(),
    form<BACnetWeekNDay>(),
    form<BACnetTimeValue>(),
    form<BACnetTimeStamp>(),
    form<BACnetActionCommand>(),
    form<BACnetSessionKey>(),
    form<BACnetRecipient>(),
    form<BACnetRecipientProcess>(),
    form<BACnetAddressBinding>(),
    form<BACnetObjectPropertyReference>(),
    form<BACnetDeviceObjectPropertyReference>(),
    form<BACnetLogRecord>(),
    form<ReadAccessSpecification>(),
    form<WriteAccessSpecification>(),
    form<ReadAccessResult>(),
    form<ReadAccessResultElement>(),
    form<BACnetPropertyReference>(),
    form<BACnetDestination>(),
    form<BACnetDailySchedule>(),
    form<BACnetSpecialEvent>(),
    form<BACnetPriorityValue>(),
    form<BACnetPropertyValue>(),
    form<BACnetPropertyStates>(),
    form<BACnetEventParameter>(),
    form<BACnetNotificationParameters>(),
    form<PropertyCondition>(),
    form<BACnetCOVIncrement>(),
    form<BACnetObjectPropertyValue>(),
    form<AnyValue>(),
    form<TaggedData>(),
};

const RecordForm* form_of(uint32_t tag)
{
  for (const RecordForm& f : kForms)
    if (f.tag == tag)
      return &f;
  return nullptr;
}

}  // namespace

bool xml_record_has_form(uint32_t tag) { return form_of(tag) != nullptr; }

int xml_encode_record(std::string* out, uint32_t tag, const void* record)
{
  const RecordForm* f = form_of(tag);
  return f && out && record ? f->encode(out, record) : -1;
}

int xml_decode_record(uint32_t tag, void* record, XmlFields content)
{
  const RecordForm* f = form_of(tag);
  return f && record && f->decode(content, record) ? 0 : -1;
}
