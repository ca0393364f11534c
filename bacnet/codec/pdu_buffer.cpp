#include "bacnet/codec/pdu_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

uint32_t pdu_big_endian_host = 0;

namespace {

constexpr int kCodecOptionByte = 21;
// A buffer grows by at least a block, and by half its size once larger: appending octet by
// octet reallocates rarely.
constexpr uint32_t kGrowthBlock = 256;

DriverLogFunction g_trace = nullptr;

}  // namespace

int pdu_buffer_reserve(pdu_buffer* buffer, uint32_t n)
{
  if (!buffer)
    return PDU_ENCODE_FAILED;
  if (buffer->size >= buffer->pos && buffer->size - buffer->pos >= n)
    return 0;
  uint64_t wanted = uint64_t(buffer->size) + std::max({n, kGrowthBlock, buffer->size / 2});
  void* grown = nullptr;
  if (wanted <= UINT32_MAX)
    grown = buffer->size == 0 ? std::malloc(wanted) : std::realloc(buffer->data, wanted);
  if (!grown) {
    std::free(buffer->size ? buffer->data : nullptr);
    *buffer = pdu_buffer{};
    return PDU_ENCODE_FAILED;
  }
  buffer->data = static_cast<uint8_t*>(grown);
  buffer->size = uint32_t(wanted);
  return 0;
}

void pdu_buffer_free(pdu_buffer* buffer)
{
  if (!buffer)
    return;
  if (buffer->size)
    std::free(buffer->data);
  *buffer = pdu_buffer{};
}

int pdu_buffer_append_bytes(pdu_buffer* buffer, const void* source, uint32_t n)
{
  if (pdu_buffer_reserve(buffer, n) != 0)
    return PDU_ENCODE_FAILED;
  if (!buffer->data || n == 0)
    return 0;
  std::memcpy(buffer->data + buffer->pos, source, n);
  buffer->pos += n;
  return 0;
}

int pdu_buffer_append_byte(pdu_buffer* buffer, uint8_t octet)
{
  if (pdu_buffer_reserve(buffer, 1) != 0)
    return PDU_ENCODE_FAILED;
  buffer->data[buffer->pos++] = octet;
  return 0;
}

int pdu_init(const DriverContext* context)
{
  if (context && context->options[kCodecOptionByte])
    g_trace = context->log;
  if (g_trace)
    g_trace(1, "pdu_init");
  return 0;
}
