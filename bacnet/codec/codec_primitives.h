// The thirteen primitive datatypes on the wire: writing and reading single elements with an
// application tag or a context tag, and the value-level dispatch over a BACnetValue that the
// constructed and service codecs are built on. Any thread; no state of its own.
// Must not: read outside [pos, size) of a decoding buffer, or leave a decoding buffer's pos
// inside an element after a failed read of that element.
#pragma once

#include "bacnet/codec/codec_tags.h"

#include <cstdint>

// Datatype numbers of the application tags.
enum PduDatatype : uint8_t {
  PDU_NULL = 0,
  PDU_BOOLEAN = 1,
  PDU_UNSIGNED = 2,
  PDU_SIGNED = 3,
  PDU_REAL = 4,
  PDU_DOUBLE = 5,
  PDU_OCTET_STRING = 6,
  PDU_CHARACTER_STRING = 7,
  PDU_BIT_STRING = 8,
  PDU_ENUMERATED = 9,
  PDU_DATE = 10,
  PDU_TIME = 11,
  PDU_OBJECT_IDENTIFIER = 12,
};

// The largest bit string the codec writes.
constexpr uint32_t PDU_MAX_BITS = 2056;
// The largest object type and instance an identifier holds.
constexpr uint32_t PDU_MAX_OBJECT_TYPE = 1023;
constexpr uint32_t PDU_MAX_INSTANCE = 4194303;

// Raw writers. `tag` -1 writes the datatype's application tag, 0..14 that context tag.
int pdu_write_tag(pdu_buffer* buffer, uint8_t tag_number, bool context, uint32_t length);
int pdu_write_opening_tag(pdu_buffer* buffer, uint8_t n);
int pdu_write_closing_tag(pdu_buffer* buffer, uint8_t n);
int pdu_write_null(pdu_buffer* buffer, int tag);
int pdu_write_boolean(pdu_buffer* buffer, int tag, bool value);
int pdu_write_unsigned(pdu_buffer* buffer, int tag, uint32_t value);
int pdu_write_signed(pdu_buffer* buffer, int tag, int32_t value);
int pdu_write_real(pdu_buffer* buffer, int tag, float value);
int pdu_write_double(pdu_buffer* buffer, int tag, double value);
int pdu_write_octets(pdu_buffer* buffer, int tag, const uint8_t* data, uint32_t length);
// Character set 0 and the text; an empty or absent text is the character-set octet alone.
int pdu_write_charstring(pdu_buffer* buffer, int tag, const char* text, uint32_t length);
int pdu_write_charstring(pdu_buffer* buffer, int tag, const char* text);
// One byte per bit, non-zero meaning 1; more than PDU_MAX_BITS bits fail.
int pdu_write_bits(pdu_buffer* buffer, int tag, const uint8_t* bits, uint32_t count);
int pdu_write_enumerated(pdu_buffer* buffer, int tag, uint32_t value);
int pdu_write_date(pdu_buffer* buffer, int tag, const uint8_t date[4]);
int pdu_write_time(pdu_buffer* buffer, int tag, const uint8_t time[4]);
int pdu_write_object_id(pdu_buffer* buffer, int tag, uint32_t type, uint32_t instance);

// One primitive element as it stands in the buffer.
struct PduElement {
  uint8_t tag_number = 0;
  bool context = false;
  uint8_t lvt = 0;
  uint32_t header_length = 0;
  uint32_t content_length = 0;
  const uint8_t* content = nullptr;
};
// Measures the primitive element at pos without consuming it; 8 when there is none or it
// does not fit the data.
int pdu_peek_element(const pdu_buffer* buffer, PduElement* element);

// Strict raw readers: `tag` -1 requires the datatype's application tag, 0..14 that context
// tag. On success pos moves past the element; on failure it stays at the element.
int pdu_read_null(pdu_buffer* buffer, int tag);
int pdu_read_boolean(pdu_buffer* buffer, int tag, bool* value);
int pdu_read_unsigned(pdu_buffer* buffer, int tag, uint32_t* value);
int pdu_read_signed(pdu_buffer* buffer, int tag, int32_t* value);
int pdu_read_real(pdu_buffer* buffer, int tag, float* value);
int pdu_read_enumerated(pdu_buffer* buffer, int tag, uint32_t* value);
// Views into the decoding buffer; they live as long as the received octets.
int pdu_read_octets(pdu_buffer* buffer, int tag, const uint8_t** data, uint32_t* length);
// The text without its character-set octet.
int pdu_read_charstring(pdu_buffer* buffer, int tag, const uint8_t** text, uint32_t* length);
int pdu_read_date(pdu_buffer* buffer, int tag, uint8_t date[4]);
int pdu_read_time(pdu_buffer* buffer, int tag, uint8_t time[4]);
int pdu_read_object_id(pdu_buffer* buffer, int tag, uint32_t* type, uint32_t* instance);

// Content interpreters shared by the strict readers and the value decoders.
uint32_t pdu_content_unsigned(const uint8_t* content, uint32_t length);
int32_t pdu_content_signed(const uint8_t* content, uint32_t length);

// ---- Values ------------------------------------------------------------------------------
struct BACnetValue;

// Writes a value: primitive tags with their application tag (tag -1) or context tag
// `tag`; constructed and list tags as their datatype, the tag argument ignored. -1 for a
// tag without an encoding.
int pdu_encode_value(pdu_buffer* buffer, const BACnetValue* value, int tag);
// Opening tag n, the value with application tags, closing tag n.
int pdu_encode_constructed_value(pdu_buffer* buffer, const BACnetValue* value, uint8_t n);
// Every element of a list value in index order with application tags.
int pdu_encode_list(pdu_buffer* buffer, const BACnetValue* list);

// Reads the primitive element at pos: an application tag gives its own datatype; a context
// tag must be n and the datatype is the tag the value already holds. 0, 8, 1 or 1001.
int pdu_decode_value(pdu_buffer* buffer, BACnetValue* value, int n);
// Releases the value, prepares it for `datatype` and reads it with context tag n; any other
// element at pos is malformed and leaves the value as it was.
int pdu_decode_context_value(pdu_buffer* buffer, BACnetValue* value, uint32_t datatype, int n);

// Per-type readers behind pdu_decode_value; each starts at the header octet, whichever its
// class, and replaces what the value held.
int pdu_decode_null(pdu_buffer* buffer, BACnetValue* value);
int pdu_decode_boolean(pdu_buffer* buffer, BACnetValue* value);
int pdu_decode_unsigned(pdu_buffer* buffer, BACnetValue* value);
int pdu_decode_signed(pdu_buffer* buffer, BACnetValue* value);
int pdu_decode_real(pdu_buffer* buffer, BACnetValue* value);
int pdu_decode_double(pdu_buffer* buffer, BACnetValue* value);
int pdu_decode_octetstring(pdu_buffer* buffer, BACnetValue* value);
int pdu_decode_charstring(pdu_buffer* buffer, BACnetValue* value);
int pdu_decode_bitstring(pdu_buffer* buffer, BACnetValue* value);
int pdu_decode_enumerated(pdu_buffer* buffer, BACnetValue* value);
int pdu_decode_date(pdu_buffer* buffer, BACnetValue* value);
int pdu_decode_time(pdu_buffer* buffer, BACnetValue* value);
int pdu_decode_object_id(pdu_buffer* buffer, BACnetValue* value);
