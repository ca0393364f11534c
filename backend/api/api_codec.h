// The wire format of the TCP API: the frame (8 ASCII digits of payload length, then the
// payload), the 11-octet header of binary messages, and the integer, blob and string codec
// of their fields. Pure functions over buffers; any thread. Must not: trust a length read from
// the wire before checking it against what is there (or, for a frame, against the limit).
#pragma once

#include "bacnet/codec/pdu_buffer.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr uint32_t kApiFrameHeaderLength = 8;
// A frame claiming more is a broken connection; nothing of that size is ever allocated.
inline constexpr uint32_t kApiMaxPayload = 16u * 1024u * 1024u;
inline constexpr uint32_t kApiMessageHeaderLength = 11;

// Binary message flags: requests and replies 0, error replies and events 255.
inline constexpr uint8_t kApiFlagReply = 0;
inline constexpr uint8_t kApiFlagErrorOrEvent = 255;
// The code of an error reply; its payload is one of the error numbers.
inline constexpr uint32_t kApiErrorReplyCode = 1;
inline constexpr uint32_t kApiErrorBadRequest = 0;  // payload unreadable, or the action could not start
inline constexpr uint32_t kApiErrorUnknownCommand = 3;

// ---- Framing -------------------------------------------------------------------------------
// The low 8 decimal digits of the length, most significant first, padded with "0".
void api_frame_header(uint32_t length, char header[kApiFrameHeaderLength]);
// 0 with the length of a header of 8 ASCII digits; -1 for anything else or a length above
// kApiMaxPayload.
int api_frame_length(const uint8_t header[kApiFrameHeaderLength], uint32_t* length);

// ---- Numbers in request texts ---------------------------------------------------------------
// A number of decimal digits alone, up to 4294967295: a blank, a sign or anything after the
// digits makes the text no number, so that a request never acts on a number it only began with.
bool api_decimal(std::string_view text, uint32_t* value);

// ---- Writers: append to an owned message buffer; 0, or -1 when it cannot grow ---------------
// Selects the byte order of the codec: big-endian, the only one in use.
void api_codec_reset();
// Grows the buffer when its free room is not larger than `n`, by the larger of `n` and 256,
// zeroing the new part. On failure the buffer is emptied (size 0) and -1 returned.
int api_buffer_reserve(pdu_buffer* buffer, uint32_t n);
int api_put_u8(pdu_buffer* buffer, uint8_t value);
int api_put_u32(pdu_buffer* buffer, uint32_t value);
int api_put_bytes(pdu_buffer* buffer, const void* data, uint32_t length);
// A 32-bit length, then the bytes.
int api_put_blob(pdu_buffer* buffer, const void* data, uint32_t length);
// A 32-bit length, then the characters without terminator; null is written as length 0.
int api_put_string(pdu_buffer* buffer, const char* text);

// ---- Readers: over a received payload; each advances the position on success --------------
struct ApiReader {
  std::span<const uint8_t> data;
  uint32_t pos = 0;

  uint32_t left() const { return uint32_t(data.size()) - pos; }
  std::span<const uint8_t> rest() const { return data.subspan(pos); }
};

// 0, or -1 when fewer bytes remain than needed (and for blobs and strings when the length is
// negative as a signed number or longer than what remains).
int api_get_u8(ApiReader* reader, uint8_t* value);
int api_get_u32(ApiReader* reader, uint32_t* value);
int api_get_blob(ApiReader* reader, std::vector<uint8_t>* blob);
int api_get_string(ApiReader* reader, std::string* text);
// A view of the next `length` bytes; -1 when fewer remain.
int api_get_view(ApiReader* reader, uint32_t length, std::span<const uint8_t>* view);

// ---- Binary messages -----------------------------------------------------------------------
// A new message buffer: the 11-octet header (0, flag, 0, request id, code) and the payload.
// 0, or -1 (the buffer is left empty).
int api_encode_message(pdu_buffer* message, uint8_t flag, uint32_t code, uint32_t request_id,
                       std::span<const uint8_t> payload);
