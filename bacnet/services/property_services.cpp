#include "bacnet/services/property_services.h"

#include "bacnet/codec/codec_acks.h"
#include "bacnet/codec/codec_object_services.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_types.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/services/service_answers.h"
#include "bacnet/services/service_dispatch.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <cstdio>

namespace {

// A failure of the whole ReadPropertyMultiple that has no result of its own (no memory for
// a result, an answer that does not encode) goes out as code 0, other.
constexpr int kWholeRequestFailed = 1;

bool is_property_list(uint32_t property)
{
  return property == PROP_ALL || property == PROP_REQUIRED || property == PROP_OPTIONAL;
}

// Appends one element to a result; false when the list cannot take it (what the element owns
// is then released here).
bool append(ReadAccessResult& result, ReadAccessResultElement& element)
{
  if (inline_list_add(&result.results, &element))
    return true;
  value_free(&element.value);
  return false;
}

bool append_value(ReadAccessResult& result, uint32_t property, int32_t index, BACnetValue& value)
{
  ReadAccessResultElement element{};
  element.property = property;
  element.array_index = index;
  element.choice = 0;
  element.value = value;
  value = BACnetValue{};
  return append(result, element);
}

bool append_error(ReadAccessResult& result, uint32_t property, int32_t index, uint32_t error_class, uint32_t code)
{
  ReadAccessResultElement element{};
  element.property = property;
  element.array_index = index;
  element.choice = 1;
  element.error_class = error_class;
  element.error_code = code;
  return append(result, element);
}

// Every property of one of the lists all, required or optional, each read on its own. 0, or
// the failure value of the whole request.
int read_property_list(int32_t origin, uint32_t owner, const BACnetObjectId& object, const BACnetPropertyReference& ref,
                       ReadAccessResult& result)
{
  if (!object_Find(owner, object.type, object.instance))
    return append_error(result, ref.property, ref.array_index, kErrorClassObject, kErrorUnknownObject)
               ? 0
               : kWholeRequestFailed;
  OwnedValue list;
  int rc = object_GetObjectProperty(origin, owner, object.type, object.instance, ref.property, -1, list.get());
  if (rc != 0)
    return rc;
  const BACnetValueArray* identifiers = value_tag_is_list(list->tag) ? value_array(list.get()) : nullptr;
  if (!identifiers)
    return kWholeRequestFailed;
  for (uint32_t i = 0; i < identifiers->used; ++i) {
    uint32_t property = identifiers->elements[i].payload.enumerated;
    OwnedValue value;
    rc = object_ReadObjectProperty(origin, owner, object.type, object.instance, property, -1, value.get());
    bool kept = rc == 0 ? append_value(result, property, -1, *value)
                        : append_error(result, property, -1, kErrorClassProperty, services_error_code(rc));
    if (!kept)
      return kWholeRequestFailed;
  }
  return 0;
}

int read_reference(int32_t origin, uint32_t owner, const BACnetObjectId& object, const BACnetPropertyReference& ref,
                   ReadAccessResult& result)
{
  if (is_property_list(ref.property))
    return read_property_list(origin, owner, object, ref, result);
  OwnedValue value;
  int rc = object_ReadObjectProperty(origin, owner, object.type, object.instance, ref.property, ref.array_index,
                                     value.get());
  bool kept = rc == 0 ? append_value(result, ref.property, ref.array_index, *value)
                      : append_error(result, ref.property, ref.array_index, object_GetErrorClass(),
                                     services_error_code(rc));
  return kept ? 0 : kWholeRequestFailed;
}

// The results of every specification in order. 0, or the failure value of the whole request.
int read_specifications(int32_t origin, uint32_t owner, const ReadAccessSpecificationList& specifications,
                        ReadPropertyMultipleAck& ack)
{
  for (uint32_t s = 0; s < specifications.count; ++s) {
    const ReadAccessSpecification* specification = inline_list_get(&specifications, s);
    BACnetObjectId object = specification->object;
    ObjectTarget target = object_ResolveTarget(origin, owner, object.type, object.instance);
    object.instance = target.instance;
    ReadAccessResult entry{};
    entry.object = object;
    ReadAccessResult* result = inline_list_add(&ack.results, &entry);
    if (!result)
      return kWholeRequestFailed;
    for (uint32_t r = 0; r < specification->references.count; ++r)
      if (int rc = read_reference(origin, target.owner, object, *inline_list_get(&specification->references, r),
                                  *result))
        return rc;
  }
  return 0;
}

// The first failed write of a WritePropertyMultiple, kept for the error and for the module.
void remember_failed_write(const BACnetObjectId& object, const BACnetPropertyValue& value, ErrorParameters* error)
{
  FailedWrite& failed = services_failed_write();
  failed = FailedWrite{object.type, object.instance, value.property, value.array_index};
  error->failed_write = BACnetObjectPropertyReference{object, value.property, value.array_index};
}

void trace_write(const WritePropertyRequest& request)
{
  DriverLogFunction log = services_trace();
  if (!log)
    return;
  if (request.property == PROP_EVENT_TYPE)
    log(kServicesLogLevel, "got it");
  char text[128];
  std::snprintf(text, sizeof text, "Write Property Request : - ObjectType=%u Instance=%u Property=%u Index=%d",
                request.object.type, request.object.instance, request.property, request.array_index);
  log(kServicesLogLevel, text);
}

}  // namespace

int services_read_property(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer, bool,
                           const BACnetAddress&)
{
  ReadPropertyRequest rp;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_read_property_request(&view, &rp), view))
    return services_answer_reject(answer, kRejectInvalidTag);

  Owned<ReadPropertyAck, pdu_free_read_property_ack> ack;
  uint32_t owner = services_request_owner(local);
  int32_t origin = services_access_origin(request);
  int rc = object_ReadObjectProperty(origin, owner, rp.object.type, rp.object.instance, rp.property, rp.array_index,
                                     &ack->value);
  if (rc != 0)
    return services_answer_property_error(answer, SERVICE_READ_PROPERTY, rc);
  // The answer names the object read, the device itself in place of the wildcard.
  ack->object = {rp.object.type, object_ResolveTarget(origin, owner, rp.object.type, rp.object.instance).instance};
  ack->property = rp.property;
  ack->array_index = rp.array_index;
  pdu_buffer encoded{};
  if (pdu_encode_read_property_ack(&encoded, ack.get()) != 0) {
    pdu_buffer_free(&encoded);
    return services_answer_error(answer, SERVICE_READ_PROPERTY, kErrorClassServices, kErrorOther);
  }
  return services_answer_encoded(answer, &encoded, SERVICE_READ_PROPERTY);
}

int services_read_property_multiple(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                                    bool, const BACnetAddress&)
{
  Owned<ReadPropertyMultipleRequest, pdu_free_read_property_multiple_request> rpm;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_read_property_multiple_request(&view, rpm.get()), view))
    return services_answer_error(answer, SERVICE_READ_PROPERTY_MULTIPLE, kErrorClassObject, kErrorUnspecified);

  Owned<ReadPropertyMultipleAck, pdu_free_read_property_multiple_ack> ack;
  int rc = read_specifications(services_access_origin(request), services_request_owner(local), rpm->specifications,
                               *ack);
  pdu_buffer encoded{};
  if (rc == 0 && pdu_encode_read_property_multiple_ack(&encoded, ack.get()) != 0)
    rc = kWholeRequestFailed;
  if (rc != 0) {
    pdu_buffer_free(&encoded);
    return services_answer_error(answer, SERVICE_READ_PROPERTY_MULTIPLE, kErrorClassObject, services_error_code(rc));
  }
  return services_answer_encoded(answer, &encoded, SERVICE_READ_PROPERTY_MULTIPLE);
}

int services_write_property(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer, bool,
                            const BACnetAddress&)
{
  Owned<WritePropertyRequest, pdu_free_write_property_request> wp;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_write_property_request(&view, wp.get()), view))
    return services_answer_error(answer, SERVICE_WRITE_PROPERTY, kErrorClassServices, kErrorInconsistentParameters);
  trace_write(*wp);
  const WritePropertyRequest& w = *wp;
  int rc = object_WriteObjectProperty(services_access_origin(request), services_request_owner(local), w.object.type,
                                      w.object.instance, w.property, w.array_index, &wp->value, w.priority);
  if (rc != 0)
    return services_answer_property_error(answer, SERVICE_WRITE_PROPERTY, rc);
  return services_answer_simple_ack(answer);
}

int services_write_property_multiple(const BACnetAddress& local, const ServiceRequest& request,
                                     ServiceAnswer* answer, bool, const BACnetAddress&)
{
  Owned<WritePropertyMultipleRequest, pdu_free_write_property_multiple_request> wpm;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_write_property_multiple_request(&view, wpm.get()), view))
    return services_answer_reject(answer, kRejectInvalidTag);

  int32_t origin = services_access_origin(request);
  uint32_t owner = services_request_owner(local);
  ErrorParameters error(SERVICE_WRITE_PROPERTY_MULTIPLE);
  bool all_written = value_each_record<WriteAccessSpecification>(
      wpm->specifications, TAG_WRITE_ACCESS_SPECIFICATION_LIST, [&](WriteAccessSpecification& specification) {
        return value_each_record<BACnetPropertyValue>(
            specification.properties, TAG_PROPERTY_VALUE_LIST, [&](BACnetPropertyValue& value) {
              const BACnetObjectId& object = specification.object;
              int rc = object_WriteObjectProperty(origin, owner, object.type, object.instance, value.property,
                                                  value.array_index, &value.value, value.priority);
              if (rc == 0)
                return true;
              error.error = BACnetError{object_GetErrorClass(), services_error_code(rc)};
              remember_failed_write(object, value, &error);
              return false;
            });
      });
  if (all_written)
    return services_answer_simple_ack(answer);
  return services_answer_error_parameters(answer, error);
}
