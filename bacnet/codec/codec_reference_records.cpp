// Object and property references and the read and write access datatypes on the wire.
#include "bacnet/codec/codec_constructed.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_property_values.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

using namespace pdu_fields;

// ---- References -----------------------------------------------------------

int pdu_encode_object_property_reference(pdu_buffer* buffer, const BACnetObjectPropertyReference* reference)
{
  return encoded(all([&] { return write_object(buffer, 0, reference->object); },
                     [&] { return pdu_write_enumerated(buffer, 1, reference->property); },
                     [&] { return write_index(buffer, 2, reference->array_index); }));
}

int pdu_decode_object_property_reference(pdu_buffer* buffer, BACnetObjectPropertyReference* reference)
{
  return all([&] { return read_object(buffer, 0, &reference->object); },
             [&] { return pdu_read_enumerated(buffer, 1, &reference->property); },
             [&] { return read_index(buffer, 2, &reference->array_index); });
}

int pdu_encode_device_object_property_reference(pdu_buffer* buffer, const BACnetDeviceObjectPropertyReference* reference)
{
  return encoded(all([&] { return write_object(buffer, 0, reference->object); },
                     [&] { return pdu_write_enumerated(buffer, 1, reference->property); },
                     [&] { return write_index(buffer, 2, reference->array_index); },
                     [&] { return reference->device.type == kNoObject ? 0 : write_object(buffer, 3, reference->device); }));
}

int pdu_decode_device_object_property_reference(pdu_buffer* buffer, BACnetDeviceObjectPropertyReference* reference)
{
  reference->device = BACnetObjectId{kNoObject, 0};
  return all([&] { return read_object(buffer, 0, &reference->object); },
             [&] { return pdu_read_enumerated(buffer, 1, &reference->property); },
             [&] { return read_index(buffer, 2, &reference->array_index); },
             [&] { return pdu_next_is_context(buffer, 3) ? read_object(buffer, 3, &reference->device) : 0; });
}

int pdu_encode_property_reference(pdu_buffer* buffer, const BACnetPropertyReference* reference)
{
  return encoded(all([&] { return pdu_write_enumerated(buffer, 0, reference->property); },
                     [&] { return write_index(buffer, 1, reference->array_index); }));
}

int pdu_decode_property_reference(pdu_buffer* buffer, BACnetPropertyReference* reference)
{
  return all([&] { return pdu_read_enumerated(buffer, 0, &reference->property); },
             [&] { return read_index(buffer, 1, &reference->array_index); });
}

// ---- Read access -------------------------------------------------------------------------

int pdu_encode_read_access_specification(pdu_buffer* buffer, const ReadAccessSpecification* specification)
{
  if (write_object(buffer, 0, specification->object) != 0 || pdu_write_opening_tag(buffer, 1) != 0)
    return PDU_ENCODE_FAILED;
  for (uint32_t i = 0; i < specification->references.count; ++i)
    if (pdu_encode_property_reference(buffer, inline_list_get(&specification->references, i)) != 0)
      return PDU_ENCODE_FAILED;
  return encoded(pdu_write_closing_tag(buffer, 1));
}

int pdu_decode_read_access_specification(pdu_buffer* buffer, ReadAccessSpecification* specification)
{
  int result = all([&] { return read_object(buffer, 0, &specification->object); },
                   [&] { return pdu_decode_opening_tag(buffer, 1); });
  if (result != 0)
    return result;
  while (!pdu_next_is(buffer, pdu_closing_tag(1))) {
    if (!pdu_has_data(buffer))
      return PDU_MALFORMED;
    BACnetPropertyReference* reference = inline_list_add(&specification->references, nullptr);
    if (!reference)
      return VALUE_NO_MEMORY;
    reference->array_index = -1;
    if ((result = pdu_decode_property_reference(buffer, reference)) != 0)
      return result;
  }
  return pdu_decode_closing_tag(buffer, 1);
}

int pdu_encode_read_access_result_element(pdu_buffer* buffer, const ReadAccessResultElement* element)
{
  if (pdu_write_enumerated(buffer, 2, element->property) != 0 || write_index(buffer, 3, element->array_index) != 0)
    return PDU_ENCODE_FAILED;
  if (element->choice == 1) {
    BACnetError error{element->error_class, element->error_code};
    return encoded(all([&] { return pdu_write_opening_tag(buffer, 5); },
                       [&] { return pdu_encode_bacnet_error(buffer, &error); },
                       [&] { return pdu_write_closing_tag(buffer, 5); }));
  }
  return encoded(pdu_encode_constructed_value(buffer, &element->value, 4));
}

int pdu_decode_read_access_result_element(pdu_buffer* buffer, ReadAccessResultElement* element)
{
  int result = all([&] { return pdu_read_enumerated(buffer, 2, &element->property); },
                   [&] { return read_index(buffer, 3, &element->array_index); });
  if (result != 0)
    return result;
  if (pdu_next_is(buffer, pdu_opening_tag(4))) {
    element->choice = 0;
    return pdu_decode_property_value(buffer, &element->value, 4, element->property, element->array_index);
  }
  element->choice = 1;
  BACnetError error;
  result = all([&] { return pdu_decode_opening_tag(buffer, 5); },
               [&] { return pdu_decode_bacnet_error(buffer, &error); },
               [&] { return pdu_decode_closing_tag(buffer, 5); });
  element->error_class = error.error_class;
  element->error_code = error.error_code;
  return result;
}

int pdu_encode_read_access_result(pdu_buffer* buffer, const ReadAccessResult* result)
{
  if (write_object(buffer, 0, result->object) != 0 || pdu_write_opening_tag(buffer, 1) != 0)
    return PDU_ENCODE_FAILED;
  for (uint32_t i = 0; i < result->results.count; ++i)
    if (pdu_encode_read_access_result_element(buffer, inline_list_get(&result->results, i)) != 0)
      return PDU_ENCODE_FAILED;
  return encoded(pdu_write_closing_tag(buffer, 1));
}

int pdu_decode_read_access_result(pdu_buffer* buffer, ReadAccessResult* result)
{
  int status = all([&] { return read_object(buffer, 0, &result->object); },
                   [&] { return pdu_decode_opening_tag(buffer, 1); });
  if (status != 0)
    return status;
  while (!pdu_next_is(buffer, pdu_closing_tag(1))) {
    if (!pdu_has_data(buffer))
      return PDU_MALFORMED;
    ReadAccessResultElement* element = inline_list_add(&result->results, nullptr);
    if (!element)
      return VALUE_NO_MEMORY;
    element->array_index = -1;
    if ((status = pdu_decode_read_access_result_element(buffer, element)) != 0)
      return status;
  }
  return pdu_decode_closing_tag(buffer, 1);
}

// ---- Write access, selection criteria and object property values -------------------------

int pdu_encode_write_access_specification(pdu_buffer* buffer, const WriteAccessSpecification* specification)
{
  const BACnetValue& values = specification->properties;
  if (values.tag != TAG_PROPERTY_VALUE && values.tag != TAG_PROPERTY_VALUE_LIST)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return write_object(buffer, 0, specification->object); },
                     [&] {
                       return enclosed_write(buffer, 1, [&] {
                         return write_one_or_list(buffer, values, TAG_PROPERTY_VALUE, TAG_PROPERTY_VALUE_LIST);
                       });
                     }));
}

int pdu_decode_write_access_specification(pdu_buffer* buffer, WriteAccessSpecification* specification)
{
  value_free(&specification->properties);
  return all([&] { return read_object(buffer, 0, &specification->object); },
             [&] { return pdu_decode_opening_tag(buffer, 1); },
             [&] {
               return collect_until<BACnetPropertyValue>(buffer, pdu_closing_tag(1), &specification->properties,
                                                         TAG_PROPERTY_VALUE, TAG_PROPERTY_VALUE_LIST,
                                                         pdu_decode_property_value_field);
             },
             [&] { return pdu_decode_closing_tag(buffer, 1); });
}
