// Object and property references and the read and write access datatypes on the wire.
#include "bacnet/codec/codec_constructed.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_property_values.h"
#include "bacnet/codec/codec_records.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

using namespace pdu_fields;

// ---- References --------------------------------------------------------------------------

int pdu_encode_object_property_reference(pdu_buffer* b, const BACnetObjectPropertyReference* r)
{
  return write_record(b, *r);
}
int pdu_decode_object_property_reference(pdu_buffer* b, BACnetObjectPropertyReference* r) { return read_record(b, *r); }

int pdu_encode_device_object_property_reference(pdu_buffer* b, const BACnetDeviceObjectPropertyReference* r)
{
  return write_record(b, *r);
}
int pdu_decode_device_object_property_reference(pdu_buffer* b, BACnetDeviceObjectPropertyReference* r)
{
  return read_record(b, *r);
}

int pdu_encode_property_reference(pdu_buffer* b, const BACnetPropertyReference* r) { return write_record(b, *r); }
int pdu_decode_property_reference(pdu_buffer* b, BACnetPropertyReference* r) { return read_record(b, *r); }

// ---- Read access -------------------------------------------------------------------------

int pdu_encode_read_access_specification(pdu_buffer* b, const ReadAccessSpecification* r)
{
  return write_record(b, *r);
}
int pdu_decode_read_access_specification(pdu_buffer* b, ReadAccessSpecification* r) { return read_record(b, *r); }

// [2] property, [3] index, then the value in [4]{ } or the error pair in [5]{ }.
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

int pdu_encode_read_access_result(pdu_buffer* b, const ReadAccessResult* r) { return write_record(b, *r); }
int pdu_decode_read_access_result(pdu_buffer* b, ReadAccessResult* r) { return read_record(b, *r); }

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
