#include "backend/api/xml_methods.h"

#include "backend/api/api_calls.h"
#include "backend/api/xml_values.h"
#include "bacnet/codec/codec_object_services.h"
#include "bacnet/codec/codec_primitives.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

#include <cstring>
#include <string_view>

namespace {

using Out = std::string;

bool device_field(XmlFields& f, uint32_t* device)
{
  return f.u32("DEVICE", device) && *device <= PDU_MAX_INSTANCE;
}

// DEVICE, OBJECTIDENTIFIER, PROPERTY and an optional ARRAYINDEX, with which the property
// services begin.
template <class Request>
bool property_fields(XmlFields& f, uint32_t* device, Request* request)
{
  return device_field(f, device) && f.object_id("OBJECTIDENTIFIER", &request->object) &&
         f.u32("PROPERTY", &request->property) && f.optional_index("ARRAYINDEX", &request->array_index);
}

bool failed(const ClientCallError& error) { return error.status != -1; }

// "<ERROR><SERVICE>" what `body` writes "</SERVICE></ERROR>".
template <class Body>
void error_answer(Out* out, const char* service, Body body)
{
  xml_open(out, "ERROR");
  xml_open(out, service);
  body();
  xml_close(out, service);
  xml_close(out, "ERROR");
}

void plain_error(Out* out, const char* service, const ClientCallError& error)
{
  error_answer(out, service, [&] { xml_put_error_pair(out, error.error_class, error.error_code); });
}

void error_type(Out* out, const ClientCallError& error)
{
  xml_open(out, "ERRORTYPE");
  xml_put_error_pair(out, error.error_class, error.error_code);
  xml_close(out, "ERRORTYPE");
}

// "<ACK>", the device and the property the answer is about; the caller goes on and closes it.
template <class Ack>
void property_ack_head(Out* out, uint32_t device, const Ack& ack)
{
  xml_open(out, "ACK");
  xml_put_u32(out, "DEVICE", device);
  xml_put_object_id(out, "OBJECTIDENTIFIER", ack.object);
  xml_put_u32(out, "PROPERTY", ack.property);
  xml_put_index(out, "ARRAYINDEX", ack.array_index);
}

void acknowledged_answer(Out* out, uint32_t device, const ClientCallRecord& record)
{
  xml_open(out, "ACK");
  xml_put_u32(out, "DEVICE", device);
  xml_put_u32(out, "ACKNOWLEDGE", record.acknowledged);
  xml_close(out, "ACK");
}

// A record of `tag` read from `content` and collected into `target` (one record, or a list of
// `list_tag` once there are more).
bool collect(BACnetValue* target, uint32_t tag, uint32_t list_tag, XmlFields& content)
{
  OwnedValue element;
  return value_init(element.get(), tag) == 0 && xml_decode_record(tag, element->payload.record, content) == 0 &&
         value_append_element(target, list_tag, element.get()) == 0;
}

// ---- Methods -----------------------------------------------------------------------------

int xml_read_property_multiple(XmlFields& f, Out* out)
{
  uint32_t device = 0;
  Owned<ReadPropertyMultipleRequest, pdu_free_read_property_multiple_request> request;
  Owned<ReadPropertyMultipleAck, pdu_free_read_property_multiple_ack> ack;
  auto spec = [&](XmlFields& c) {
    ReadAccessSpecification* s = inline_list_add(&request->specifications, nullptr);
    return s && xml_decode_record(TAG_READ_ACCESS_SPECIFICATION, s, c) == 0;
  };
  XmlFields list;
  if (!device_field(f, &device) || !f.take("LISTOFSPECS", &list) || !list.each("SPEC", spec) ||
      request->specifications.count == 0)
    return -1;
  ClientCallError error;
  ClientCallRecord record = api_call_record(int32_t(device), request.get(), ack.get(), &error);
  if (api_calls().read_property_multiple(&record) != 0)
    return -1;
  if (failed(error)) {
    plain_error(out, "READPROPERTYMULTIPLE", error);
    return 0;
  }
  xml_open(out, "ACK");
  xml_put_u32(out, "DEVICE", device);
  xml_open(out, "LISTOFRESULTS");
  for (uint32_t i = 0; i < ack->results.count; ++i) {
    xml_open(out, "RESULT");
    if (xml_encode_record(out, TAG_READ_ACCESS_RESULT, inline_list_get(&ack->results, i)) != 0)
      return -1;
    xml_close(out, "RESULT");
  }
  xml_close(out, "LISTOFRESULTS");
  xml_close(out, "ACK");
  return 0;
}

int xml_read_property(XmlFields& f, Out* out)
{
  uint32_t device = 0;
  ReadPropertyRequest request;
  Owned<ReadPropertyAck, pdu_free_read_property_ack> ack;
  if (!property_fields(f, &device, &request))
    return -1;
  ClientCallError error;
  ClientCallRecord record = api_call_record(int32_t(device), &request, ack.get(), &error);
  if (api_calls().read_property(&record) != 0)
    return -1;
  if (failed(error)) {
    plain_error(out, "READPROPERTY", error);
    return 0;
  }
  property_ack_head(out, device, *ack);
  if (xml_encode_value_field(out, "VALUE", &ack->value) != 0)
    return -1;
  xml_close(out, "ACK");
  return 0;
}

int xml_write_property_multiple(XmlFields& f, Out* out)
{
  uint32_t device = 0;
  Owned<WritePropertyMultipleRequest, pdu_free_write_property_multiple_request> request;
  auto spec = [&](XmlFields& c) {
    return collect(&request->specifications, TAG_WRITE_ACCESS_SPECIFICATION, TAG_WRITE_ACCESS_SPECIFICATION_LIST, c);
  };
  XmlFields list;
  if (!device_field(f, &device) || !f.take("LISTOFSPECS", &list) || !list.each("SPEC", spec) ||
      request->specifications.tag == TAG_NULL)
    return -1;
  ClientCallError error;
  ClientCallRecord record = api_call_record(int32_t(device), request.get(), nullptr, &error);
  if (api_calls().write_property_multiple(&record) != 0)
    return -1;
  if (!failed(error)) {
    acknowledged_answer(out, device, record);
    return 0;
  }
  error_answer(out, "WRITEPROPERTYMULTIPLE", [&] {
    error_type(out, error);
    xml_open(out, "FIRSTFAILEDELEMENT");
    xml_encode_record(out, TAG_OBJECT_PROPERTY_REFERENCE, &error.failed_write);
    xml_close(out, "FIRSTFAILEDELEMENT");
  });
  return 0;
}

int xml_write_property(XmlFields& f, Out* out)
{
  uint32_t device = 0;
  Owned<WritePropertyRequest, pdu_free_write_property_request> request;
  if (!property_fields(f, &device, request.get()) || xml_decode_value_field(&request->value, &f, "VALUE") != 0 ||
      !f.priority("PRIORITY", &request->priority))
    return -1;
  ClientCallError error;
  ClientCallRecord record = api_call_record(int32_t(device), request.get(), nullptr, &error);
  if (api_calls().write_property(&record) != 0)
    return -1;
  if (failed(error))
    plain_error(out, "WRITEPROPERTY", error);
  else
    acknowledged_answer(out, device, record);
  return 0;
}

int list_element(XmlFields& f, Out* out, int (*call)(ClientCallRecord*), const char* service)
{
  uint32_t device = 0;
  Owned<ListElementRequest, pdu_free_list_element_request> request;
  auto element = [&](XmlFields& c) {
    OwnedValue value;
    return xml_decode_value(value.get(), &c) == 0 &&
           value_array_append(request->elements.payload.array, value.get()) == 0;
  };
  XmlFields list;
  if (!property_fields(f, &device, request.get()) || value_list_create(&request->elements, 1) != 0 ||
      !f.take("LISTOFELEMENTS", &list) || !list.each("ELEMENT", element))
    return -1;
  ClientCallError error;
  ClientCallRecord record = api_call_record(int32_t(device), request.get(), nullptr, &error);
  if (call(&record) != 0)
    return -1;
  if (!failed(error)) {
    acknowledged_answer(out, device, record);
    return 0;
  }
  error_answer(out, service, [&] {
    error_type(out, error);
    xml_put_u32(out, "FIRSTFAILEDELEMENT", error.first_failed_element);
  });
  return 0;
}

int xml_add_list_element(XmlFields& f, Out* out)
{
  return list_element(f, out, api_calls().add_list_element, "ADDLISTELEMENT");
}

int xml_remove_list_element(XmlFields& f, Out* out)
{
  return list_element(f, out, api_calls().remove_list_element, "REMOVELISTELEMENT");
}

int xml_create_object(XmlFields& f, Out* out)
{
  uint32_t device = 0;
  Owned<CreateObjectRequest, pdu_free_create_object_request> request;
  std::string next;
  if (!device_field(f, &device) || !f.next_name(&next))
    return -1;
  bool by_type = next == "OBJECTTYPE";
  request->choice = by_type ? 0 : 1;
  bool object = by_type ? f.u32("OBJECTTYPE", &request->object_type)
                        : f.object_id("OBJECTIDENTIFIER", &request->object);
  auto initial = [&](XmlFields& c) {
    return collect(&request->initial_values, TAG_PROPERTY_VALUE, TAG_PROPERTY_VALUE_LIST, c);
  };
  XmlFields list;
  if (!object || !f.take("LISTOFINITIALVALUES", &list) || !list.each("PROPERTY", initial))
    return -1;
  BACnetObjectId created{999, 0};
  ClientCallError error;
  ClientCallRecord record = api_call_record(int32_t(device), request.get(), &created, &error);
  if (api_calls().create_object(&record) != 0 || failed(error))
    return -1;
  xml_open(out, "ACK");
  xml_put_u32(out, "DEVICE", device);
  xml_put_object_id(out, "OBJECTIDENTIFIER", created);
  xml_close(out, "ACK");
  return 0;
}

int xml_delete_object(XmlFields& f, Out* out)
{
  uint32_t device = 0;
  BACnetObjectId object{999, 0};
  if (!device_field(f, &device) || !f.object_id("OBJECTIDENTIFIER", &object))
    return -1;
  ClientCallError error;
  ClientCallRecord record = api_call_record(int32_t(device), &object, nullptr, &error);
  if (api_calls().delete_object(&record) != 0 || failed(error))
    return -1;
  acknowledged_answer(out, device, record);
  return 0;
}

bool datetime_field(XmlFields& f, const char* name, BACnetDateTime* datetime)
{
  XmlFields c;
  return f.take(name, &c) && xml_decode_record(TAG_DATETIME, datetime, c) == 0;
}

bool read_range_choice(XmlFields& f, ReadRangeRequest* request)
{
  std::string next;
  if (!f.next_name(&next)) {
    request->range = RANGE_NONE;
    return true;
  }
  if (next == "REFERENCEDINDEX") {
    request->range = RANGE_BY_POSITION;
    return f.u32("REFERENCEDINDEX", &request->reference) && f.i32("COUNT", &request->count);
  }
  if (next == "REFERENCEDTIME") {
    request->range = RANGE_BY_TIME;
    return datetime_field(f, "REFERENCEDTIME", &request->time) && f.i32("COUNT", &request->count);
  }
  if (next == "BEGINNINGTIME") {
    request->range = RANGE_TIME_RANGE;
    return datetime_field(f, "BEGINNINGTIME", &request->time) && datetime_field(f, "ENDINGTIME", &request->end_time);
  }
  return false;
}

int xml_read_range(XmlFields& f, Out* out)
{
  uint32_t device = 0;
  ReadRangeRequest request;
  Owned<ReadRangeAck, pdu_free_read_range_ack> ack;
  if (!property_fields(f, &device, &request) || !read_range_choice(f, &request))
    return -1;
  ClientCallError error;
  ClientCallRecord record = api_call_record(int32_t(device), &request, ack.get(), &error);
  if (api_calls().read_range(&record) != 0)
    return -1;
  if (failed(error)) {
    plain_error(out, "READRANGE", error);
    return 0;
  }
  property_ack_head(out, device, *ack);
  xml_put_u32(out, "ITEMCOUNT", ack->item_count);
  xml_open(out, "RESULTFLAGS");
  for (uint8_t flag : ack->result_flags)
    out->push_back(flag ? '1' : '0');
  xml_close(out, "RESULTFLAGS");
  if (xml_encode_value_field(out, "ITEMDATA", &ack->items) != 0)
    return -1;
  xml_close(out, "ACK");
  return 0;
}

int xml_who_is(XmlFields& f, Out* out)
{
  WhoIsRequest request;
  if (!f.i32("LOWLIMIT", &request.low_limit) || !f.i32("HIGHLIMIT", &request.high_limit))
    return -1;
  // The answer does not wait for I-Ams: whoever answers is bound by the stack.
  api_calls().who_is(&request);
  out->append("<ACK><NETWORK>0</NETWORK></ACK>");
  return 0;
}

struct Method {
  const char* name;
  int (*run)(XmlFields& request, Out* out);
};

// Longer names first: a name is matched against the start of the text.
constexpr Method kMethods[] = {
    {"readPropertyMultiple", xml_read_property_multiple},
    {"readProperty", xml_read_property},
    {"writePropertyMultiple", xml_write_property_multiple},
    {"writeProperty", xml_write_property},
    {"addListElement", xml_add_list_element},
    {"removeListElement", xml_remove_list_element},
    {"createObject", xml_create_object},
    {"deleteObject", xml_delete_object},
    {"readRange", xml_read_range},
    {"whoIs", xml_who_is},
};

}  // namespace

int xml_execute(const char* request, std::size_t length, std::string* answer)
{
  if (!request || !answer)
    return -1;
  std::string_view text(request, length);
  if (text.starts_with("getRecordset"))
    return -1;
  if (text.starts_with("executeQuery")) {
    *answer = "success";
    return 0;
  }
  for (const Method& method : kMethods) {
    if (!text.starts_with(method.name))
      continue;
    std::size_t skip = std::strlen(method.name);
    char name[kXmlNameCapacity] = "REQUEST";
    const char* content = xml_find_start_tag(request + skip, length - skip, name);
    if (!content)
      return -1;
    std::size_t rest = length - std::size_t(content - request);
    const char* end = xml_find_end_tag(content, rest, "REQUEST");
    if (!end)
      return -1;
    XmlFields fields(content, std::size_t(end - content) - std::strlen("</REQUEST>"));
    std::string out;
    if (method.run(fields, &out) != 0)
      return -1;
    *answer = std::move(out);
    return 0;
  }
  return -1;
}
