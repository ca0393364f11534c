// Small helpers of the codec tests: hex text of an encoded buffer and decoding views.
#pragma once

#include "bacnet/codec/codec_primitives.h"

#include <cstdint>
#include <string>
#include <vector>

namespace codectest {

inline std::vector<uint8_t> bytes_of(const std::string& hex)
{
  std::vector<uint8_t> out;
  int high = -1;
  for (char c : hex) {
    int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
    if (v < 0)
      continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(uint8_t(high * 16 + v));
      high = -1;
    }
  }
  return out;
}

inline std::string hex_of(const uint8_t* data, size_t n)
{
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    if (i)
      out += ' ';
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
  return out;
}

inline std::string hex_of(const std::vector<uint8_t>& v) { return hex_of(v.data(), v.size()); }

// Owns an encoding buffer and shows what was written.
struct Encoded {
  pdu_buffer buffer;
  Encoded() = default;
  Encoded(const Encoded&) = delete;
  Encoded& operator=(const Encoded&) = delete;
  ~Encoded() { pdu_buffer_free(&buffer); }
  pdu_buffer* operator&() { return &buffer; }
  std::vector<uint8_t> bytes() const { return std::vector<uint8_t>(buffer.data, buffer.data + buffer.pos); }
  std::string hex() const { return hex_of(buffer.data, buffer.pos); }
};

// A decoding view over owned octets.
struct Received {
  std::vector<uint8_t> octets;
  pdu_buffer buffer;
  explicit Received(const std::string& hex) : octets(bytes_of(hex)), buffer(pdu_buffer_view(octets.data(), uint32_t(octets.size()))) {}
  explicit Received(std::vector<uint8_t> v) : octets(std::move(v)), buffer(pdu_buffer_view(octets.data(), uint32_t(octets.size()))) {}
  pdu_buffer* operator&() { return &buffer; }
  bool at_end() const { return buffer.pos == buffer.size; }
};

}  // namespace codectest

#include "bacnet/value/owned.h"
#include "bacnet/value/tagged_value.h"

namespace codectest {

using Value = OwnedValue;

// A value prepared for `tag`.
inline OwnedValue tagged(uint32_t tag)
{
  OwnedValue value;
  value_init(value.get(), tag);
  return value;
}

inline std::string encode_hex(const BACnetValue* value, int tag = -1)
{
  Encoded e;
  if (pdu_encode_value(&e.buffer, value, tag) != 0)
    return "failed";
  return e.hex();
}

}  // namespace codectest
