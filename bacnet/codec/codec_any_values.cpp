// Tagged data and the values whose datatype is unknown.
#include "bacnet/codec/codec_constructed.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

using namespace pdu_fields;

// ---- Tagged data and values of unknown datatype ------------------------------------------

int pdu_encode_tagged_data(pdu_buffer* buffer, const TaggedData* data)
{
  if (data->tag_number < 0 || data->tag_number > 14)
    return PDU_ENCODE_FAILED;
  uint8_t n = uint8_t(data->tag_number);
  if (data->value.tag == TAG_OCTET_STRING) {
    const OctetString& octets = data->value.payload.octets;
    return encoded(all([&] { return pdu_write_tag(buffer, n, true, octets.length); },
                       [&] { return octets.length ? pdu_buffer_append_bytes(buffer, octets.data, octets.length) : 0; }));
  }
  // Constructed content was read element by element; it goes back between its tags.
  return encoded(pdu_encode_constructed_value(buffer, &data->value, n));
}

int pdu_decode_tagged_data(pdu_buffer* buffer, BACnetValue* value)
{
  if (!pdu_has_data(buffer) || !pdu_is_context(buffer->data[buffer->pos]))
    return PDU_MALFORMED;
  uint8_t header = buffer->data[buffer->pos];
  uint8_t n = pdu_tag_number(header);
  if (n == 15 || pdu_lvt(header) == PDU_LVT_CLOSING)
    return PDU_MALFORMED;
  value_free(value);
  int result = value_init(value, TAG_TAGGED_DATA);
  if (result != 0)
    return result;
  TaggedData* data = value_record<TaggedData>(value);
  if (!data)
    return VALUE_NO_MEMORY;
  data->tag_number = n;
  if (pdu_lvt(header) == PDU_LVT_OPENING) {
    int total = pdu_element_length_at(buffer);
    if (total < 2)
      return PDU_MALFORMED;
    uint32_t end = buffer->pos + uint32_t(total);
    pdu_buffer inner{buffer->data, buffer->pos + 1, end - 1};
    if ((result = pdu_decode_any_sequence(&inner, &data->value, uint32_t(total - 2))) != 0)
      return result;
    buffer->pos = end;
    return 0;
  }
  PduElement element;
  if (pdu_peek_element(buffer, &element) != 0)
    return PDU_MALFORMED;
  data->value.tag = TAG_OCTET_STRING;
  if ((result = octetstring_set(&data->value.payload.octets, element.content, element.content_length)) != 0)
    return result;
  buffer->pos += element.header_length + element.content_length;
  return 0;
}

int pdu_decode_any_element(pdu_buffer* buffer, BACnetValue* value)
{
  if (!pdu_has_data(buffer) || !value)
    return PDU_MALFORMED;
  uint8_t header = buffer->data[buffer->pos];
  if (pdu_is_context(header))
    return pdu_decode_tagged_data(buffer, value);
  if (pdu_tag_number(header) > PDU_OBJECT_IDENTIFIER)
    return PDU_MALFORMED;
  return pdu_decode_value(buffer, value, -1);
}

int pdu_decode_any_sequence(pdu_buffer* buffer, BACnetValue* value, uint32_t length)
{
  if (!buffer || !value || buffer->pos > buffer->size || length > buffer->size - buffer->pos)
    return PDU_MALFORMED;
  pdu_buffer content{buffer->data, buffer->pos, buffer->pos + length};
  value_free(value);
  int result = 0;
  if (length && pdu_element_length_at(&content) == int(length)) {
    result = pdu_decode_any_element(&content, value);
  } else if ((result = value_init(value, TAG_ANY_VALUE_LIST)) == 0) {
    while (pdu_has_data(&content)) {
      OwnedValue entry;
      if ((result = value_init(entry.get(), TAG_ANY_VALUE)) != 0)
        break;
      AnyValue* any = value_record<AnyValue>(entry.get());
      if (!any) {
        result = VALUE_NO_MEMORY;
        break;
      }
      if ((result = pdu_decode_any_element(&content, &any->value)) != 0)
        break;
      if ((result = value_array_append(value_array(value), entry.get())) != 0)
        break;
    }
  }
  buffer->pos = content.pos;
  return result;
}
