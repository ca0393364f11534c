// The codec's byte buffer, its result codes and its start-up. Every encoder appends to a
// pdu_buffer it owns; every decoder borrows received octets through one and never reads
// at or past `size`. Any thread may use the codec; after pdu_init it keeps no shared state
// it changes. Must not: free a decoding buffer (its octets belong to the receiver).
#pragma once

#include "bacnet/foundation/driver.h"

#include <cstdint>

// Encoding: `data` is owned heap memory of `size` bytes, `pos` the next byte to write.
// Decoding: `data` borrows `size` received bytes, `pos` the next byte to read.
struct pdu_buffer {
  uint8_t* data = nullptr;
  uint32_t pos = 0;
  uint32_t size = 0;
};

// Encoders return 0 or PDU_ENCODE_FAILED; decoders return 0, PDU_MALFORMED, or pass on the
// value library's 1 (bad argument) and 1001 (no memory) unchanged.
constexpr int PDU_ENCODE_FAILED = -1;
constexpr int PDU_MALFORMED = 8;

// 0 on a little-endian host: REAL and Double octets are reversed between memory and wire.
extern uint32_t pdu_big_endian_host;

int pdu_buffer_reserve(pdu_buffer* buffer, uint32_t n);
void pdu_buffer_free(pdu_buffer* buffer);
int pdu_buffer_append_bytes(pdu_buffer* buffer, const void* source, uint32_t n);
int pdu_buffer_append_byte(pdu_buffer* buffer, uint8_t octet);

// A decoding view of `size` received octets.
inline pdu_buffer pdu_buffer_view(const uint8_t* data, uint32_t size)
{
  return pdu_buffer{const_cast<uint8_t*>(data), 0, size};
}

// Keeps the context's log function as the codec trace when option byte 21 is set.
int pdu_init(const DriverContext* context);
