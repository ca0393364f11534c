#include "bacnet/services/object_services.h"

#include "bacnet/codec/codec_object_services.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/object_types.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/services/confirmed_services.h"
#include "bacnet/services/service_answers.h"
#include "bacnet/services/service_dispatch.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

constexpr int32_t kStackOrigin = -1;
constexpr int32_t kByObjectType = 0;
constexpr int32_t kByObjectIdentifier = 1;

// Types that exist locally but never come or go over the network.
constexpr std::array<uint32_t, 20> kFixedTypes = {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19,
                                                  OBJECT_METER, OBJECT_REMOTE_DEVICE};

bool fixed_type(uint32_t type) { return std::find(kFixedTypes.begin(), kFixedTypes.end(), type) != kFixedTypes.end(); }

// Element lists whose elements are applied one by one; any other value is one element.
bool applied_by_element(uint32_t tag)
{
  return tag == TAG_LIST || tag == TAG_PRIORITY_ARRAY || (tag >= 60 && tag <= 65) || (tag >= 67 && tag <= 84) ||
         tag == TAG_TAGGED_DATA_LIST;
}

using OwnedListRequest = Owned<ListElementRequest, pdu_free_list_element_request>;
using OwnedCreateRequest = Owned<CreateObjectRequest, pdu_free_create_object_request>;

std::vector<BACnetValue*> elements_of(BACnetValue& elements)
{
  std::vector<BACnetValue*> out;
  // Elements that no decoder of the property takes arrive as a list of any values: each is
  // still an element of its own, so that a failure names the one that failed.
  if (elements.tag == TAG_ANY_VALUE_LIST) {
    if (BACnetValueArray* list = value_array(&elements))
      for (uint32_t i = 0; i < list->used; ++i)
        if (AnyValue* any = value_record<AnyValue>(&list->elements[i]))
          out.push_back(&any->value);
    return out;
  }
  if (!applied_by_element(elements.tag)) {
    out.push_back(&elements);
    return out;
  }
  if (BACnetValueArray* list = value_array(&elements))
    for (uint32_t i = 0; i < list->used; ++i)
      out.push_back(&list->elements[i]);
  return out;
}

// The list as it stood before a list request. Undoing element by element cannot tell an
// element the request added from an equal one that was there before (a sorted list takes it
// without change), so a failed request puts this value back.
class ListBefore {
public:
  ListBefore(uint32_t owner, const ListElementRequest& r, uint32_t instance)
      : owner_(owner), type_(r.object.type), instance_(instance), property_(r.property)
  {
    kept_ = object_GetObjectProperty(kStackOrigin, owner_, type_, instance_, property_, -1, before_.get()) == 0;
  }

  // False when the list cannot be written back whole: the device's address bindings, kept
  // outside its record, where an element present already is refused and never doubled.
  bool restore()
  {
    return kept_ &&
           object_SetObjectProperty(kStackOrigin, owner_, type_, instance_, property_, -1, before_.get(), 0) == 0;
  }

private:
  uint32_t owner_, type_, instance_, property_;
  OwnedValue before_;
  bool kept_ = false;
};

int change_list(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer, bool adding)
{
  uint8_t choice = adding ? SERVICE_ADD_LIST_ELEMENT : SERVICE_REMOVE_LIST_ELEMENT;
  const ConfirmedServicesSeams& seams = services_confirmed_seams();
  if (!seams.add_list_element || !seams.remove_list_element)
    return services_answer_reject(answer, kRejectUnrecognizedService);

  OwnedListRequest list;
  pdu_buffer view = services_request_view(request);
  ErrorParameters error(choice, {kErrorClassServices, kErrorUnspecified});
  error.first_failed_element = 1;
  if (!services_decoded(pdu_decode_list_element_request(&view, list.get()), view))
    return services_answer_error_parameters(answer, error);

  const ListElementRequest& r = *list;
  ObjectTarget target = object_ResolveTarget(services_access_origin(request), services_request_owner(local),
                                             r.object.type, r.object.instance);
  uint32_t owner = target.owner, instance = target.instance;
  auto add = [&](BACnetValue* element) {
    return seams.add_list_element(owner, r.object.type, instance, r.property, r.array_index, 0, element);
  };
  auto remove = [&](BACnetValue* element) {
    return seams.remove_list_element(owner, r.object.type, instance, r.property, r.array_index, element);
  };
  ListBefore before(owner, r, instance);
  std::vector<BACnetValue*> elements = elements_of(list->elements);
  for (std::size_t n = 0; n < elements.size(); ++n) {
    int rc = adding ? add(elements[n]) : remove(elements[n]);
    if (rc == 0)
      continue;
    error.error = BACnetError{object_GetErrorClass(), services_error_code(rc)};
    error.first_failed_element = uint32_t(n + 1);
    // A list is changed by all elements or by none.
    if (!before.restore())
      for (std::size_t undo = 0; undo < n; ++undo)
        adding ? remove(elements[undo]) : add(elements[undo]);
    return services_answer_error_parameters(answer, error);
  }
  return services_answer_simple_ack(answer);
}

void save_objects(uint32_t owner)
{
  if (auto save = services_confirmed_seams().save_device; save && object_Find(owner, OBJECT_DEVICE, owner))
    save(owner);
}

// Writes the initial values of a new object in order. 0, or the result of the first value
// the object refuses with that value's number (from 1) in `failed`.
int write_initial_values(uint32_t owner, const BACnetObjectId& object, BACnetValue& values, uint32_t* failed)
{
  int rc = 0;
  uint32_t number = 0;
  value_each_record<BACnetPropertyValue>(values, TAG_PROPERTY_VALUE_LIST, [&](BACnetPropertyValue& v) {
    ++number;
    rc = object_WriteObjectProperty(kStackOrigin, owner, object.type, object.instance, v.property, v.array_index,
                                    &v.value, v.priority);
    return rc == 0;
  });
  *failed = number;
  return rc;
}

}  // namespace

bool services_object_type_creatable(uint32_t type)
{
  return type == OBJECT_CALENDAR || type == OBJECT_SCHEDULE || type == OBJECT_TREND_LOG;
}

int services_add_list_element(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer, bool,
                              const BACnetAddress&)
{
  return change_list(local, request, answer, true);
}

int services_remove_list_element(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                                 bool, const BACnetAddress&)
{
  return change_list(local, request, answer, false);
}

int services_create_object(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer, bool,
                           const BACnetAddress&)
{
  auto refuse = [&](uint32_t code) { return services_answer_error(answer, SERVICE_CREATE_OBJECT, kErrorClassObject, code); };
  OwnedCreateRequest create;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_create_object_request(&view, create.get()), view))
    return refuse(kErrorUnspecified);

  uint32_t owner = services_request_owner(local);
  BACnetObjectId object{};
  if (create->choice == kByObjectType)
    object = {create->object_type, objtable_free_instance(owner, create->object_type)};
  else if (create->choice == kByObjectIdentifier)
    object = create->object;
  else
    return refuse(kErrorNoObjectsOfSpecifiedType);

  if (!services_object_type_creatable(object.type))
    return refuse(fixed_type(object.type) ? kErrorDynamicCreationNotSupported : kErrorUnknownObject);
  if (object_Find(owner, object.type, object.instance))
    return refuse(kErrorObjectIdentifierAlreadyExists);
  if (!object_CreateObject(owner, object.type, object.instance))
    return refuse(kErrorNoSpaceForObject);
  ErrorParameters error(SERVICE_CREATE_OBJECT);
  if (int rc = write_initial_values(owner, object, create->initial_values, &error.first_failed_element)) {
    // An object is created with all its initial values or not at all.
    error.error = BACnetError{object_GetErrorClass(), services_error_code(rc)};
    object_DeleteObject(owner, object.type, object.instance);
    return services_answer_error_parameters(answer, error);
  }
  save_objects(owner);

  pdu_buffer encoded{};
  if (pdu_encode_object_identifier(&encoded, &object) != 0) {
    pdu_buffer_free(&encoded);
    return refuse(kErrorUnspecified);
  }
  return services_answer_encoded(answer, &encoded, SERVICE_CREATE_OBJECT);
}

int services_delete_object(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer, bool,
                           const BACnetAddress&)
{
  auto refuse = [&](uint32_t code) { return services_answer_error(answer, SERVICE_DELETE_OBJECT, kErrorClassObject, code); };
  BACnetObjectId object{};
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_delete_object_request(&view, &object), view))
    return refuse(kErrorUnspecified);
  if (!services_object_type_creatable(object.type))
    return refuse(fixed_type(object.type) ? kErrorObjectDeletionNotPermitted : kErrorUnknownObject);
  uint32_t owner = services_request_owner(local);
  if (int rc = object_DeleteObject(owner, object.type, object.instance))
    return refuse(services_error_code(rc));
  save_objects(owner);
  return services_answer_simple_ack(answer);
}
