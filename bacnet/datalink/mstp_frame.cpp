#include "bacnet/datalink/mstp_frame.h"

#include "bacnet/datalink/frame_crc.h"

#include <algorithm>
#include <cstdio>

namespace {

void append(std::string& text, const char* format, unsigned a, unsigned b = 0)
{
  char part[64];
  std::snprintf(part, sizeof part, format, a, b);
  text += part;
}

}  // namespace

int mstp_encode_frame(uint8_t type, uint8_t destination, uint8_t source, std::span<const uint8_t> data,
                      std::vector<uint8_t>* frame)
{
  if (!frame || data.size() > kMstpMaxData)
    return -1;
  const uint8_t header[] = {type, destination, source, uint8_t(data.size() >> 8), uint8_t(data.size())};
  // Written in place at its final size: no growing step by step.
  frame->resize(kMstpHeaderLength + data.size() + (data.empty() ? 0 : kMstpDataCrcLength));
  uint8_t* out = frame->data();
  *out++ = kMstpPreamble1;
  *out++ = kMstpPreamble2;
  out = std::copy(std::begin(header), std::end(header), out);
  *out++ = header_crc(header);
  if (!data.empty()) {
    out = std::copy(data.begin(), data.end(), out);
    const uint16_t crc = data_crc(data);
    *out++ = uint8_t(crc);
    *out = uint8_t(crc >> 8);
  }
  return 0;
}

std::string mstp_trace_text(bool sent, std::span<const uint8_t> frame)
{
  if (frame.size() < kMstpHeaderLength)
    return {};
  const uint8_t type = frame[2];
  if (type != kMstpDataExpectingReply && type != kMstpDataNotExpectingReply)
    return {};
  const std::size_t length = std::size_t(frame[5]) << 8 | frame[6];
  if (length == 0 || frame.size() < kMstpHeaderLength + length + kMstpDataCrcLength)
    return {};

  std::string text = sent ? "MSTP Packet Sent " : "MSTP Packet Received ";
  text += "55 : Preamble FF : Preamble ";
  append(text, type == kMstpDataExpectingReply ? "%02X : Frame Type Data Expecting Reply "
                                               : "%02X : Frame Type Data Not expecting Reply ",
         type);
  append(text, "%02X : Destination ", frame[3]);
  append(text, "%02X : Source ", frame[4]);
  append(text, "%02X %02X : Data Length ", frame[5], frame[6]);
  append(text, "%02X : Header CRC Data : ", frame[7]);
  for (std::size_t i = 0; i < length; ++i)
    append(text, "%02X ", frame[kMstpHeaderLength + i]);
  append(text, " %02X %02X : Data CRC ", frame[kMstpHeaderLength + length], frame[kMstpHeaderLength + length + 1]);
  return text;
}
