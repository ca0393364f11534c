// Tag headers of the encoded elements: reading single octets, opening and closing tags,
// and measuring an element (also a constructed one between its opening and closing tag)
// without copying. Pure functions over a pdu_buffer or a bounded byte range; any thread.
// Must not: look at an octet at or beyond the limit it was given.
#pragma once

#include "bacnet/codec/pdu_buffer.h"

#include <cstdint>

// The parts of a tag header octet.
constexpr uint8_t PDU_CONTEXT_CLASS = 0x08;
constexpr uint8_t PDU_LVT_EXTENDED = 5;
constexpr uint8_t PDU_LVT_OPENING = 6;
constexpr uint8_t PDU_LVT_CLOSING = 7;
constexpr uint8_t pdu_tag_number(uint8_t header) { return header >> 4; }
constexpr bool pdu_is_context(uint8_t header) { return (header & PDU_CONTEXT_CLASS) != 0; }
constexpr uint8_t pdu_lvt(uint8_t header) { return header & 0x07; }
constexpr uint8_t pdu_opening_tag(uint8_t n) { return uint8_t(n * 16 + 14); }
constexpr uint8_t pdu_closing_tag(uint8_t n) { return uint8_t(n * 16 + 15); }

int pdu_read_byte(pdu_buffer* buffer, uint8_t* octet);
// Consume one octet; 0 when it is the opening (closing) tag n, else 8.
int pdu_decode_opening_tag(pdu_buffer* buffer, uint8_t n);
int pdu_decode_closing_tag(pdu_buffer* buffer, uint8_t n);
// Non-consuming looks at the octet at `pos`.
bool pdu_has_data(const pdu_buffer* buffer);
bool pdu_next_is(const pdu_buffer* buffer, uint8_t octet);
// True when the next octet is the header of a primitive with context tag n (how optional
// fields are recognised); an opening or closing tag n is not one.
bool pdu_next_is_context(const pdu_buffer* buffer, uint8_t n);

// Header length 1, 2, 4 or 6 of the element at p; -1 for opening/closing tags or when the
// header's extended length octets lie at or beyond `limit` octets from p.
int pdu_tag_header_length(const uint8_t* p, int32_t limit);
// Header plus content octets of one primitive element; -1 when malformed or when its
// content length exceeds `limit`.
int pdu_primitive_length(const uint8_t* p, int32_t limit);
// Total octets of the next element (primitive or constructed) within `limit`; -1 when
// malformed, unterminated or longer than `limit`.
int pdu_element_length(const uint8_t* p, int32_t limit);
// Element length of the element at the buffer position over the rest of the data.
int pdu_element_length_at(const pdu_buffer* buffer);
