#include "bacnet/codec/codec_primitives.h"

#include "bacnet/codec/codec_constructed.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"
#include "bacnet/value/value_memory.h"

#include <cstring>

namespace {

bool valid_tag(int tag)
{
  return tag >= -1 && tag <= 14;
}

int write_element(pdu_buffer* buffer, uint8_t datatype, int tag, const uint8_t* content, uint32_t length)
{
  if (!valid_tag(tag))
    return PDU_ENCODE_FAILED;
  uint8_t number = tag < 0 ? datatype : uint8_t(tag);
  if (pdu_write_tag(buffer, number, tag >= 0, length) != 0)
    return PDU_ENCODE_FAILED;
  return length ? pdu_buffer_append_bytes(buffer, content, length) : 0;
}

uint32_t unsigned_octets(uint32_t value, uint8_t out[4])
{
  uint32_t n = value > 0xFFFFFF ? 4 : value > 0xFFFF ? 3 : value > 0xFF ? 2 : 1;
  for (uint32_t i = 0; i < n; ++i)
    out[i] = uint8_t(value >> (8 * (n - 1 - i)));
  return n;
}

uint32_t signed_octets(int32_t value, uint8_t out[4])
{
  uint32_t n = (value >= -128 && value <= 127) ? 1
               : (value >= -32768 && value <= 32767) ? 2
               : (value >= -8388608 && value <= 8388607) ? 3 : 4;
  uint32_t bits = uint32_t(value);
  for (uint32_t i = 0; i < n; ++i)
    out[i] = uint8_t(bits >> (8 * (n - 1 - i)));
  return n;
}

// Octets of a float or double between memory and the wire.
void to_wire(const void* memory, uint8_t* wire, uint32_t n)
{
  const uint8_t* from = static_cast<const uint8_t*>(memory);
  for (uint32_t i = 0; i < n; ++i)
    wire[i] = pdu_big_endian_host ? from[i] : from[n - 1 - i];
}

void from_wire(const uint8_t* wire, void* memory, uint32_t n)
{
  uint8_t* to = static_cast<uint8_t*>(memory);
  for (uint32_t i = 0; i < n; ++i)
    to[i] = pdu_big_endian_host ? wire[i] : wire[n - 1 - i];
}

// The element at pos when it carries the datatype's application tag (tag -1) or context tag n.
int take(pdu_buffer* buffer, uint8_t datatype, int tag, PduElement* element)
{
  if (!valid_tag(tag) || pdu_peek_element(buffer, element) != 0)
    return PDU_MALFORMED;
  if (tag < 0) {
    if (element->context || element->tag_number != datatype)
      return PDU_MALFORMED;
  } else if (!element->context || element->tag_number != tag) {
    return PDU_MALFORMED;
  }
  return 0;
}

void consume(pdu_buffer* buffer, const PduElement& element)
{
  buffer->pos += element.header_length + element.content_length;
}

int read_fixed(pdu_buffer* buffer, uint8_t datatype, int tag, uint32_t length, uint8_t* out)
{
  PduElement element;
  if (take(buffer, datatype, tag, &element) != 0 || element.content_length != length)
    return PDU_MALFORMED;
  std::memcpy(out, element.content, length);
  consume(buffer, element);
  return 0;
}

int read_integer(pdu_buffer* buffer, uint8_t datatype, int tag, PduElement* element)
{
  if (take(buffer, datatype, tag, element) != 0)
    return PDU_MALFORMED;
  if (element->content_length < 1 || element->content_length > 4)
    return PDU_MALFORMED;
  consume(buffer, *element);
  return 0;
}

}  // namespace

int pdu_write_tag(pdu_buffer* buffer, uint8_t tag_number, bool context, uint32_t length)
{
  if (tag_number > 14)
    return PDU_ENCODE_FAILED;
  uint8_t header = uint8_t(tag_number << 4) | (context ? PDU_CONTEXT_CLASS : 0);
  uint8_t octets[6];
  uint32_t n = 0;
  if (length <= 4) {
    octets[n++] = header | uint8_t(length);
  } else {
    octets[n++] = header | PDU_LVT_EXTENDED;
    if (length <= 253) {
      octets[n++] = uint8_t(length);
    } else if (length <= 65535) {
      octets[n++] = 254;
      octets[n++] = uint8_t(length >> 8);
      octets[n++] = uint8_t(length);
    } else {
      octets[n++] = 255;
      for (int shift = 24; shift >= 0; shift -= 8)
        octets[n++] = uint8_t(length >> shift);
    }
  }
  return pdu_buffer_append_bytes(buffer, octets, n);
}

int pdu_write_opening_tag(pdu_buffer* buffer, uint8_t n)
{
  return n <= 14 ? pdu_buffer_append_byte(buffer, pdu_opening_tag(n)) : PDU_ENCODE_FAILED;
}

int pdu_write_closing_tag(pdu_buffer* buffer, uint8_t n)
{
  return n <= 14 ? pdu_buffer_append_byte(buffer, pdu_closing_tag(n)) : PDU_ENCODE_FAILED;
}

int pdu_write_null(pdu_buffer* buffer, int tag)
{
  return write_element(buffer, PDU_NULL, tag, nullptr, 0);
}

int pdu_write_boolean(pdu_buffer* buffer, int tag, bool value)
{
  if (!valid_tag(tag))
    return PDU_ENCODE_FAILED;
  // The application form carries the value in the length field and has no content.
  if (tag < 0)
    return pdu_buffer_append_byte(buffer, value ? 0x11 : 0x10);
  uint8_t content = value ? 1 : 0;
  return write_element(buffer, PDU_BOOLEAN, tag, &content, 1);
}

int pdu_write_unsigned(pdu_buffer* buffer, int tag, uint32_t value)
{
  uint8_t content[4];
  return write_element(buffer, PDU_UNSIGNED, tag, content, unsigned_octets(value, content));
}

int pdu_write_signed(pdu_buffer* buffer, int tag, int32_t value)
{
  uint8_t content[4];
  return write_element(buffer, PDU_SIGNED, tag, content, signed_octets(value, content));
}

int pdu_write_real(pdu_buffer* buffer, int tag, float value)
{
  uint8_t content[4];
  to_wire(&value, content, 4);
  return write_element(buffer, PDU_REAL, tag, content, 4);
}

int pdu_write_double(pdu_buffer* buffer, int tag, double value)
{
  uint8_t content[8];
  to_wire(&value, content, 8);
  return write_element(buffer, PDU_DOUBLE, tag, content, 8);
}

int pdu_write_octets(pdu_buffer* buffer, int tag, const uint8_t* data, uint32_t length)
{
  if (length && !data)
    return PDU_ENCODE_FAILED;
  return write_element(buffer, PDU_OCTET_STRING, tag, data, length);
}

int pdu_write_charstring(pdu_buffer* buffer, int tag, const char* text, uint32_t length)
{
  if (!valid_tag(tag) || length == UINT32_MAX || (length && !text))
    return PDU_ENCODE_FAILED;
  uint8_t number = tag < 0 ? uint8_t(PDU_CHARACTER_STRING) : uint8_t(tag);
  if (pdu_write_tag(buffer, number, tag >= 0, length + 1) != 0)
    return PDU_ENCODE_FAILED;
  // Character set 0: ANSI X3.4 (and what passes through it unchanged).
  if (pdu_buffer_append_byte(buffer, 0) != 0)
    return PDU_ENCODE_FAILED;
  return length ? pdu_buffer_append_bytes(buffer, text, length) : 0;
}

int pdu_write_charstring(pdu_buffer* buffer, int tag, const char* text)
{
  size_t length = text ? std::strlen(text) : 0;
  if (length >= UINT32_MAX)
    return PDU_ENCODE_FAILED;
  return pdu_write_charstring(buffer, tag, text, uint32_t(length));
}

int pdu_write_bits(pdu_buffer* buffer, int tag, const uint8_t* bits, uint32_t count)
{
  if (count > PDU_MAX_BITS || (count && !bits))
    return PDU_ENCODE_FAILED;
  uint8_t content[1 + PDU_MAX_BITS / 8 + 1] = {};
  uint32_t length = 1;
  if (count) {
    length = (count - 1) / 8 + 2;
    content[0] = uint8_t(count % 8 ? 8 - count % 8 : 0);
    for (uint32_t i = 0; i < count; ++i)
      if (bits[i])
        content[1 + i / 8] |= uint8_t(0x80 >> (i % 8));
  }
  return write_element(buffer, PDU_BIT_STRING, tag, content, length);
}

int pdu_write_enumerated(pdu_buffer* buffer, int tag, uint32_t value)
{
  uint8_t content[4];
  return write_element(buffer, PDU_ENUMERATED, tag, content, unsigned_octets(value, content));
}

int pdu_write_date(pdu_buffer* buffer, int tag, const uint8_t date[4])
{
  return write_element(buffer, PDU_DATE, tag, date, 4);
}

int pdu_write_time(pdu_buffer* buffer, int tag, const uint8_t time[4])
{
  return write_element(buffer, PDU_TIME, tag, time, 4);
}

int pdu_write_object_id(pdu_buffer* buffer, int tag, uint32_t type, uint32_t instance)
{
  // Types and instances beyond the identifier's 10 and 22 bits keep their low bits only.
  uint8_t content[4] = {
      uint8_t(type >> 2),
      uint8_t(((type << 6) | ((instance >> 16) & 0x3F)) & 0xFF),
      uint8_t(instance >> 8),
      uint8_t(instance),
  };
  return write_element(buffer, PDU_OBJECT_IDENTIFIER, tag, content, 4);
}

int pdu_peek_element(const pdu_buffer* buffer, PduElement* element)
{
  if (!pdu_has_data(buffer) || !element)
    return PDU_MALFORMED;
  const uint8_t* p = buffer->data + buffer->pos;
  uint32_t left = buffer->size - buffer->pos;
  int32_t limit = left > INT32_MAX ? INT32_MAX : int32_t(left);
  int total = pdu_primitive_length(p, limit);
  if (total < 0 || total > limit)
    return PDU_MALFORMED;
  int header = pdu_tag_header_length(p, limit);
  if (!pdu_is_context(p[0]) && pdu_tag_number(p[0]) == PDU_BOOLEAN)
    header = 1;
  if (header < 0 || header > total)
    return PDU_MALFORMED;
  element->tag_number = pdu_tag_number(p[0]);
  element->context = pdu_is_context(p[0]);
  element->lvt = pdu_lvt(p[0]);
  element->header_length = uint32_t(header);
  element->content_length = uint32_t(total - header);
  element->content = p + header;
  return 0;
}

uint32_t pdu_content_unsigned(const uint8_t* content, uint32_t length)
{
  uint32_t value = 0;
  for (uint32_t i = 0; i < length && i < 4; ++i)
    value = (value << 8) | content[i];
  return value;
}

int32_t pdu_content_signed(const uint8_t* content, uint32_t length)
{
  if (length == 0)
    return 0;
  uint32_t value = (content[0] & 0x80) ? UINT32_MAX : 0;
  for (uint32_t i = 0; i < length && i < 4; ++i)
    value = (value << 8) | content[i];
  return int32_t(value);
}

int pdu_read_null(pdu_buffer* buffer, int tag)
{
  PduElement element;
  if (take(buffer, PDU_NULL, tag, &element) != 0 || element.content_length != 0)
    return PDU_MALFORMED;
  consume(buffer, element);
  return 0;
}

int pdu_read_boolean(pdu_buffer* buffer, int tag, bool* value)
{
  PduElement element;
  if (take(buffer, PDU_BOOLEAN, tag, &element) != 0)
    return PDU_MALFORMED;
  if (tag < 0) {
    if (element.lvt > 1)
      return PDU_MALFORMED;
    *value = element.lvt == 1;
  } else {
    if (element.content_length != 1)
      return PDU_MALFORMED;
    *value = element.content[0] == 1;
  }
  consume(buffer, element);
  return 0;
}

int pdu_read_unsigned(pdu_buffer* buffer, int tag, uint32_t* value)
{
  PduElement element;
  if (read_integer(buffer, PDU_UNSIGNED, tag, &element) != 0)
    return PDU_MALFORMED;
  *value = pdu_content_unsigned(element.content, element.content_length);
  return 0;
}

int pdu_read_signed(pdu_buffer* buffer, int tag, int32_t* value)
{
  PduElement element;
  if (read_integer(buffer, PDU_SIGNED, tag, &element) != 0)
    return PDU_MALFORMED;
  *value = pdu_content_signed(element.content, element.content_length);
  return 0;
}

int pdu_read_enumerated(pdu_buffer* buffer, int tag, uint32_t* value)
{
  PduElement element;
  if (read_integer(buffer, PDU_ENUMERATED, tag, &element) != 0)
    return PDU_MALFORMED;
  *value = pdu_content_unsigned(element.content, element.content_length);
  return 0;
}

int pdu_read_real(pdu_buffer* buffer, int tag, float* value)
{
  uint8_t wire[4];
  if (read_fixed(buffer, PDU_REAL, tag, 4, wire) != 0)
    return PDU_MALFORMED;
  from_wire(wire, value, 4);
  return 0;
}

int pdu_read_octets(pdu_buffer* buffer, int tag, const uint8_t** data, uint32_t* length)
{
  PduElement element;
  if (take(buffer, PDU_OCTET_STRING, tag, &element) != 0)
    return PDU_MALFORMED;
  *data = element.content;
  *length = element.content_length;
  consume(buffer, element);
  return 0;
}

int pdu_read_charstring(pdu_buffer* buffer, int tag, const uint8_t** text, uint32_t* length)
{
  PduElement element;
  if (take(buffer, PDU_CHARACTER_STRING, tag, &element) != 0)
    return PDU_MALFORMED;
  // The character-set octet is skipped whatever it says; an element without it is empty.
  *text = element.content_length ? element.content + 1 : element.content;
  *length = element.content_length ? element.content_length - 1 : 0;
  consume(buffer, element);
  return 0;
}

int pdu_read_date(pdu_buffer* buffer, int tag, uint8_t date[4])
{
  return read_fixed(buffer, PDU_DATE, tag, 4, date);
}

int pdu_read_time(pdu_buffer* buffer, int tag, uint8_t time[4])
{
  return read_fixed(buffer, PDU_TIME, tag, 4, time);
}

int pdu_read_object_id(pdu_buffer* buffer, int tag, uint32_t* type, uint32_t* instance)
{
  uint8_t c[4];
  if (read_fixed(buffer, PDU_OBJECT_IDENTIFIER, tag, 4, c) != 0)
    return PDU_MALFORMED;
  *type = ((uint32_t(c[0]) << 8) | c[1]) >> 6;
  *instance = (uint32_t(c[1] & 0x3F) << 16) | (uint32_t(c[2]) << 8) | c[3];
  return 0;
}

// ---- Values ------------------------------------------------------------------------------

namespace {

// The decoders start at the header octet whatever its class; the dispatcher has checked it.
int take_any(pdu_buffer* buffer, PduElement* element)
{
  return pdu_peek_element(buffer, element);
}

// Replaces the value by an empty one of `tag`; the caller fills the payload.
void reset(BACnetValue* value, uint32_t tag)
{
  value_free(value);
  value->tag = tag;
}

int decode_integer(pdu_buffer* buffer, BACnetValue* value, uint32_t tag)
{
  PduElement element;
  if (take_any(buffer, &element) != 0 || element.content_length < 1 || element.content_length > 4)
    return PDU_MALFORMED;
  reset(value, tag);
  if (tag == TAG_SIGNED)
    value->payload.signed_value = pdu_content_signed(element.content, element.content_length);
  else
    value->payload.unsigned_value = pdu_content_unsigned(element.content, element.content_length);
  consume(buffer, element);
  return 0;
}

// Fixed-size content with a one-octet header.
int decode_fixed(pdu_buffer* buffer, uint32_t length, PduElement* element)
{
  if (take_any(buffer, element) != 0 || element->header_length != 1 || element->content_length != length)
    return PDU_MALFORMED;
  return 0;
}

using ValueDecoder = int (*)(pdu_buffer*, BACnetValue*);
constexpr ValueDecoder kDecoders[13] = {
    pdu_decode_null, pdu_decode_boolean, pdu_decode_unsigned, pdu_decode_signed, pdu_decode_real,
    pdu_decode_double, pdu_decode_octetstring, pdu_decode_charstring, pdu_decode_bitstring,
    pdu_decode_enumerated, pdu_decode_date, pdu_decode_time, pdu_decode_object_id,
};

}  // namespace

int pdu_encode_value(pdu_buffer* buffer, const BACnetValue* value, int tag)
{
  if (!buffer || !value || !valid_tag(tag))
    return PDU_ENCODE_FAILED;
  const BACnetValue::Payload& p = value->payload;
  switch (value->tag) {
    case TAG_NULL: return pdu_write_null(buffer, tag);
    case TAG_BOOLEAN: return pdu_write_boolean(buffer, tag, p.boolean != 0);
    case TAG_UNSIGNED: return pdu_write_unsigned(buffer, tag, p.unsigned_value);
    case TAG_SIGNED: return pdu_write_signed(buffer, tag, p.signed_value);
    case TAG_REAL: return pdu_write_real(buffer, tag, p.real);
    case TAG_DOUBLE: return pdu_write_double(buffer, tag, p.double_value);
    case TAG_OCTET_STRING: return pdu_write_octets(buffer, tag, p.octets.data, p.octets.length);
    case TAG_CHARACTER_STRING: return pdu_write_charstring(buffer, tag, p.text);
    case TAG_BIT_STRING: return pdu_write_bits(buffer, tag, p.bits.bits, p.bits.count);
    case TAG_ENUMERATED: return pdu_write_enumerated(buffer, tag, p.enumerated);
    case TAG_DATE: return pdu_write_date(buffer, tag, &p.date.year);
    case TAG_TIME: return pdu_write_time(buffer, tag, &p.time.hour);
    case TAG_OBJECT_ID: return pdu_write_object_id(buffer, tag, p.object_id.type, p.object_id.instance);
    default: return pdu_encode_constructed_datatype(buffer, value, tag);
  }
}

int pdu_encode_constructed_value(pdu_buffer* buffer, const BACnetValue* value, uint8_t n)
{
  if (pdu_write_opening_tag(buffer, n) != 0 || pdu_encode_value(buffer, value, -1) != 0)
    return PDU_ENCODE_FAILED;
  return pdu_write_closing_tag(buffer, n);
}

int pdu_encode_list(pdu_buffer* buffer, const BACnetValue* list)
{
  BACnetValueArray* array = value_array(list);
  if (!array)
    return PDU_ENCODE_FAILED;
  // The walk keeps its place in the array's running counter, as every whole-array walk does.
  for (array->count = 0; array->count < array->used; ++array->count)
    if (pdu_encode_value(buffer, &array->elements[array->count], -1) != 0)
      return PDU_ENCODE_FAILED;
  return 0;
}

int pdu_decode_value(pdu_buffer* buffer, BACnetValue* value, int n)
{
  if (!pdu_has_data(buffer) || !value)
    return PDU_MALFORMED;
  uint8_t header = buffer->data[buffer->pos];
  uint32_t datatype = pdu_tag_number(header);
  if (pdu_is_context(header)) {
    if (int(datatype) != n)
      return PDU_MALFORMED;
    datatype = value->tag;
  }
  if (datatype > TAG_OBJECT_ID)
    return PDU_MALFORMED;
  return kDecoders[datatype](buffer, value);
}

int pdu_decode_context_value(pdu_buffer* buffer, BACnetValue* value, uint32_t datatype, int n)
{
  // The field is context tag n: an application-tagged element of another datatype is no
  // stand-in for it.
  if (!value || n < 0 || n > 0xFF || !pdu_next_is_context(buffer, uint8_t(n)))
    return PDU_MALFORMED;
  value_free(value);
  int result = value_init(value, datatype);
  if (result != 0)
    return result;
  return pdu_decode_value(buffer, value, n);
}

int pdu_decode_null(pdu_buffer* buffer, BACnetValue* value)
{
  PduElement element;
  if (take_any(buffer, &element) != 0 || element.lvt != 0)
    return PDU_MALFORMED;
  reset(value, TAG_NULL);
  consume(buffer, element);
  return 0;
}

int pdu_decode_boolean(pdu_buffer* buffer, BACnetValue* value)
{
  PduElement element;
  if (take_any(buffer, &element) != 0)
    return PDU_MALFORMED;
  uint8_t raw;
  if (element.context) {
    if (element.content_length != 1)
      return PDU_MALFORMED;
    raw = element.content[0];
  } else {
    raw = element.lvt;
  }
  reset(value, TAG_BOOLEAN);
  value->payload.boolean = raw == 1 ? 1 : 0;
  consume(buffer, element);
  return 0;
}

int pdu_decode_unsigned(pdu_buffer* buffer, BACnetValue* value)
{
  return decode_integer(buffer, value, TAG_UNSIGNED);
}

int pdu_decode_signed(pdu_buffer* buffer, BACnetValue* value)
{
  return decode_integer(buffer, value, TAG_SIGNED);
}

int pdu_decode_enumerated(pdu_buffer* buffer, BACnetValue* value)
{
  return decode_integer(buffer, value, TAG_ENUMERATED);
}

int pdu_decode_real(pdu_buffer* buffer, BACnetValue* value)
{
  PduElement element;
  if (decode_fixed(buffer, 4, &element) != 0)
    return PDU_MALFORMED;
  reset(value, TAG_REAL);
  from_wire(element.content, &value->payload.real, 4);
  consume(buffer, element);
  return 0;
}

int pdu_decode_double(pdu_buffer* buffer, BACnetValue* value)
{
  // Eight content octets need the extended length form: the header is two octets.
  PduElement element;
  if (take_any(buffer, &element) != 0 || element.content_length != 8)
    return PDU_MALFORMED;
  reset(value, TAG_DOUBLE);
  from_wire(element.content, &value->payload.double_value, 8);
  consume(buffer, element);
  return 0;
}

int pdu_decode_octetstring(pdu_buffer* buffer, BACnetValue* value)
{
  PduElement element;
  if (take_any(buffer, &element) != 0)
    return PDU_MALFORMED;
  reset(value, TAG_OCTET_STRING);
  if (octetstring_set(&value->payload.octets, element.content, element.content_length) != 0) {
    value_clear(value);
    return VALUE_BAD_ARGUMENT;
  }
  consume(buffer, element);
  return 0;
}

int pdu_decode_charstring(pdu_buffer* buffer, BACnetValue* value)
{
  PduElement element;
  if (take_any(buffer, &element) != 0)
    return PDU_MALFORMED;
  // The character-set octet is skipped whatever it says; its absence reads as an empty text.
  uint32_t length = element.content_length ? element.content_length - 1 : 0;
  char* text = static_cast<char*>(value_mem_alloc(size_t(length) + 1));
  reset(value, TAG_CHARACTER_STRING);
  if (!text) {
    value_clear(value);
    return VALUE_BAD_ARGUMENT;
  }
  if (length)
    std::memcpy(text, element.content + 1, length);
  text[length] = 0;
  value->payload.text = text;
  consume(buffer, element);
  return 0;
}

int pdu_decode_bitstring(pdu_buffer* buffer, BACnetValue* value)
{
  PduElement element;
  if (take_any(buffer, &element) != 0)
    return PDU_MALFORMED;
  uint32_t unused = element.content_length ? element.content[0] : 0;
  if (unused > 7)
    return PDU_MALFORMED;
  uint64_t count = element.content_length < 2 ? 0 : uint64_t(element.content_length - 1) * 8 - unused;
  reset(value, TAG_BIT_STRING);
  bitstring_init(&value->payload.bits);
  if (count) {
    uint8_t* bits = static_cast<uint8_t*>(value_mem_alloc(size_t(count)));
    if (!bits) {
      value_clear(value);
      return VALUE_BAD_ARGUMENT;
    }
    for (uint64_t i = 0; i < count; ++i)
      bits[i] = (element.content[1 + i / 8] & (0x80 >> (i % 8))) ? 1 : 0;
    value->payload.bits.bits = bits;
    value->payload.bits.capacity = uint32_t(count);
    value->payload.bits.count = uint32_t(count);
  }
  consume(buffer, element);
  return 0;
}

int pdu_decode_date(pdu_buffer* buffer, BACnetValue* value)
{
  PduElement element;
  if (decode_fixed(buffer, 4, &element) != 0)
    return PDU_MALFORMED;
  reset(value, TAG_DATE);
  std::memcpy(&value->payload.date, element.content, 4);
  consume(buffer, element);
  return 0;
}

int pdu_decode_time(pdu_buffer* buffer, BACnetValue* value)
{
  PduElement element;
  if (decode_fixed(buffer, 4, &element) != 0)
    return PDU_MALFORMED;
  reset(value, TAG_TIME);
  std::memcpy(&value->payload.time, element.content, 4);
  consume(buffer, element);
  return 0;
}

int pdu_decode_object_id(pdu_buffer* buffer, BACnetValue* value)
{
  PduElement element;
  if (decode_fixed(buffer, 4, &element) != 0)
    return PDU_MALFORMED;
  const uint8_t* c = element.content;
  reset(value, TAG_OBJECT_ID);
  value->payload.object_id.type = ((uint32_t(c[0]) << 8) | c[1]) >> 6;
  value->payload.object_id.instance = (uint32_t(c[1] & 0x3F) << 16) | (uint32_t(c[2]) << 8) | c[3];
  consume(buffer, element);
  return 0;
}
