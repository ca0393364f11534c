#include "backend/api/api_codec.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kMinimumGrowth = 256;
constexpr uint32_t kFrameDigitsModulus = 100000000;

}  // namespace

void api_frame_header(uint32_t length, char header[kApiFrameHeaderLength])
{
  uint32_t rest = length % kFrameDigitsModulus;
  for (int i = int(kApiFrameHeaderLength) - 1; i >= 0; --i) {
    header[i] = char('0' + rest % 10);
    rest /= 10;
  }
}

int api_frame_length(const uint8_t header[kApiFrameHeaderLength], uint32_t* length)
{
  uint32_t value = 0;
  for (uint32_t i = 0; i < kApiFrameHeaderLength; ++i) {
    if (header[i] < '0' || header[i] > '9')
      return -1;
    value = value * 10 + uint32_t(header[i] - '0');
  }
  if (value > kApiMaxPayload)
    return -1;
  *length = value;
  return 0;
}

bool api_decimal(std::string_view text, uint32_t* value)
{
  if (text.empty() || text.size() > 10)
    return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
    v = v * 10 + uint64_t(c - '0');
  }
  if (v > UINT32_MAX)
    return false;
  *value = uint32_t(v);
  return true;
}

void api_codec_reset()
{
  // Every number on the wire is big-endian; the writers and readers below know no other order.
}

int api_buffer_reserve(pdu_buffer* buffer, uint32_t n)
{
  if (!buffer)
    return -1;
  uint32_t room = buffer->size >= buffer->pos ? buffer->size - buffer->pos : 0;
  if (room > n)
    return 0;
  uint32_t growth = n > kMinimumGrowth ? n : kMinimumGrowth;
  uint64_t wanted = uint64_t(buffer->size) + growth;
  void* grown = nullptr;
  if (wanted <= UINT32_MAX)
    grown = buffer->size == 0 ? std::malloc(wanted) : std::realloc(buffer->data, wanted);
  if (!grown) {
    pdu_buffer_free(buffer);
    *buffer = pdu_buffer{};
    return -1;
  }
  std::memset(static_cast<uint8_t*>(grown) + buffer->size, 0, wanted - buffer->size);
  buffer->data = static_cast<uint8_t*>(grown);
  buffer->size = uint32_t(wanted);
  return 0;
}

int api_put_bytes(pdu_buffer* buffer, const void* data, uint32_t length)
{
  if (length == 0)
    return 0;
  if (!data || api_buffer_reserve(buffer, length) != 0)
    return -1;
  std::memcpy(buffer->data + buffer->pos, data, length);
  buffer->pos += length;
  return 0;
}

int api_put_u8(pdu_buffer* buffer, uint8_t value) { return api_put_bytes(buffer, &value, 1); }

int api_put_u32(pdu_buffer* buffer, uint32_t value)
{
  const uint8_t octets[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
  return api_put_bytes(buffer, octets, 4);
}

int api_put_blob(pdu_buffer* buffer, const void* data, uint32_t length)
{
  if (api_put_u32(buffer, length) != 0)
    return -1;
  return api_put_bytes(buffer, data, length);
}

int api_put_string(pdu_buffer* buffer, const char* text)
{
  uint32_t length = text ? uint32_t(std::strlen(text)) : 0;
  return api_put_blob(buffer, text, length);
}

int api_get_view(ApiReader* reader, uint32_t length, std::span<const uint8_t>* view)
{
  if (!reader || reader->pos > reader->data.size() || reader->left() < length)
    return -1;
  if (view)
    *view = reader->data.subspan(reader->pos, length);
  reader->pos += length;
  return 0;
}

int api_get_u8(ApiReader* reader, uint8_t* value)
{
  std::span<const uint8_t> octet;
  if (api_get_view(reader, 1, &octet) != 0)
    return -1;
  *value = octet[0];
  return 0;
}

int api_get_u32(ApiReader* reader, uint32_t* value)
{
  std::span<const uint8_t> o;
  if (api_get_view(reader, 4, &o) != 0)
    return -1;
  *value = uint32_t(o[0]) << 24 | uint32_t(o[1]) << 16 | uint32_t(o[2]) << 8 | uint32_t(o[3]);
  return 0;
}

namespace {

// The length and bytes of a blob or string; the position moves only when both are there.
int get_counted(ApiReader* reader, std::span<const uint8_t>* bytes)
{
  ApiReader probe = *reader;
  uint32_t length = 0;
  if (api_get_u32(&probe, &length) != 0 || int32_t(length) < 0 || api_get_view(&probe, length, bytes) != 0)
    return -1;
  *reader = probe;
  return 0;
}

}  // namespace

int api_get_blob(ApiReader* reader, std::vector<uint8_t>* blob)
{
  std::span<const uint8_t> bytes;
  if (get_counted(reader, &bytes) != 0)
    return -1;
  blob->assign(bytes.begin(), bytes.end());
  return 0;
}

int api_get_string(ApiReader* reader, std::string* text)
{
  std::span<const uint8_t> bytes;
  if (get_counted(reader, &bytes) != 0)
    return -1;
  text->assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return 0;
}

int api_encode_message(pdu_buffer* message, uint8_t flag, uint32_t code, uint32_t request_id,
                       std::span<const uint8_t> payload)
{
  *message = pdu_buffer{};
  if (payload.size() > kApiMaxPayload - kApiMessageHeaderLength)
    return -1;
  if (api_buffer_reserve(message, uint32_t(kApiMessageHeaderLength + payload.size())) != 0 ||
      api_put_u8(message, 0) != 0 || api_put_u8(message, flag) != 0 || api_put_u8(message, 0) != 0 ||
      api_put_u32(message, request_id) != 0 || api_put_u32(message, code) != 0 ||
      api_put_bytes(message, payload.data(), uint32_t(payload.size())) != 0) {
    pdu_buffer_free(message);
    *message = pdu_buffer{};
    return -1;
  }
  return 0;
}
