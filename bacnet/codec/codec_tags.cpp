#include "bacnet/codec/codec_tags.h"

namespace {

// Real parameter lists nest a handful of levels; the bound keeps a hostile frame of nested
// opening tags from exhausting the stack in the recursive walk and in the decoders above it.
constexpr int kMaxNesting = 32;

// Content length of a primitive element with header length h, or -1.
int64_t content_length(const uint8_t* p, int32_t limit, int* header)
{
  uint8_t first = p[0];
  if (pdu_tag_number(first) == 15)
    return -1;
  uint8_t lvt = pdu_lvt(first);
  if (lvt == PDU_LVT_OPENING || lvt == PDU_LVT_CLOSING)
    return -1;
  // An application-tagged BOOLEAN carries its value in L and has no content.
  if (!pdu_is_context(first) && pdu_tag_number(first) == 1) {
    *header = 1;
    return 0;
  }
  if (lvt < PDU_LVT_EXTENDED) {
    *header = 1;
    return lvt;
  }
  if (lvt != PDU_LVT_EXTENDED || limit < 2)
    return -1;
  uint8_t n = p[1];
  if (n < 5)
    return -1;
  if (n < 254) {
    *header = 2;
    return n;
  }
  if (n == 254) {
    if (limit < 4)
      return -1;
    *header = 4;
    return (uint32_t(p[2]) << 8) | p[3];
  }
  if (limit < 6)
    return -1;
  *header = 6;
  return (int64_t(p[2]) << 24) | (uint32_t(p[3]) << 16) | (uint32_t(p[4]) << 8) | p[5];
}

int element_length(const uint8_t* p, int32_t limit, int depth)
{
  if (!p || limit < 1)
    return -1;
  uint8_t first = p[0];
  uint8_t lvt = pdu_lvt(first);
  if (pdu_is_context(first) && (lvt == PDU_LVT_OPENING || lvt == PDU_LVT_CLOSING)) {
    // A closing tag where an element is expected is malformed.
    if (lvt == PDU_LVT_CLOSING || pdu_tag_number(first) == 15 || depth >= kMaxNesting)
      return -1;
    uint8_t closing = pdu_closing_tag(pdu_tag_number(first));
    int32_t i = 1;
    while (i < limit && p[i] != closing) {
      int inner = element_length(p + i, limit - i, depth + 1);
      if (inner < 0)
        return -1;
      i += inner;
    }
    if (i >= limit)
      return -1;
    return i + 1;
  }
  int total = pdu_primitive_length(p, limit);
  if (total < 0 || total > limit)
    return -1;
  return total;
}

}  // namespace

int pdu_read_byte(pdu_buffer* buffer, uint8_t* octet)
{
  if (!buffer || !buffer->data || buffer->pos >= buffer->size)
    return PDU_MALFORMED;
  uint8_t value = buffer->data[buffer->pos++];
  if (octet)
    *octet = value;
  return 0;
}

int pdu_decode_opening_tag(pdu_buffer* buffer, uint8_t n)
{
  uint8_t octet = 0;
  if (pdu_read_byte(buffer, &octet) != 0)
    return PDU_MALFORMED;
  return octet == pdu_opening_tag(n) ? 0 : PDU_MALFORMED;
}

int pdu_decode_closing_tag(pdu_buffer* buffer, uint8_t n)
{
  uint8_t octet = 0;
  if (pdu_read_byte(buffer, &octet) != 0)
    return PDU_MALFORMED;
  return octet == pdu_closing_tag(n) ? 0 : PDU_MALFORMED;
}

bool pdu_has_data(const pdu_buffer* buffer)
{
  return buffer && buffer->data && buffer->pos < buffer->size;
}

bool pdu_next_is(const pdu_buffer* buffer, uint8_t octet)
{
  return pdu_has_data(buffer) && buffer->data[buffer->pos] == octet;
}

bool pdu_next_is_context(const pdu_buffer* buffer, uint8_t n)
{
  if (!pdu_has_data(buffer))
    return false;
  uint8_t octet = buffer->data[buffer->pos];
  return pdu_tag_number(octet) == n && pdu_is_context(octet) && pdu_lvt(octet) <= PDU_LVT_EXTENDED;
}

int pdu_tag_header_length(const uint8_t* p, int32_t limit)
{
  if (!p || limit < 1)
    return -1;
  uint8_t lvt = pdu_lvt(p[0]);
  if (lvt < PDU_LVT_EXTENDED)
    return 1;
  if (lvt != PDU_LVT_EXTENDED)
    return -1;
  if (limit < 2)
    return -1;
  int length = p[1] < 254 ? 2 : p[1] == 254 ? 4 : 6;
  return length <= limit ? length : -1;
}

int pdu_primitive_length(const uint8_t* p, int32_t limit)
{
  if (!p || limit < 1)
    return -1;
  int header = 0;
  int64_t content = content_length(p, limit, &header);
  if (content < 0 || content > limit)
    return -1;
  int64_t total = header + content;
  return total <= INT32_MAX ? int(total) : -1;
}

int pdu_element_length(const uint8_t* p, int32_t limit)
{
  return element_length(p, limit, 0);
}

int pdu_element_length_at(const pdu_buffer* buffer)
{
  if (!pdu_has_data(buffer))
    return -1;
  uint32_t left = buffer->size - buffer->pos;
  return pdu_element_length(buffer->data + buffer->pos, left > INT32_MAX ? INT32_MAX : int32_t(left));
}
