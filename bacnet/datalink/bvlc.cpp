#include "bacnet/datalink/bvlc.h"

namespace {
constexpr int kMalformed = 8;
}

void bip_encode(const BipAddress& address, uint8_t* out)
{
  out[0] = uint8_t(address.ip >> 24);
  out[1] = uint8_t(address.ip >> 16);
  out[2] = uint8_t(address.ip >> 8);
  out[3] = uint8_t(address.ip);
  bvlc_put16(out + 4, address.port);
}

BipAddress bip_decode(const uint8_t* in)
{
  BipAddress address;
  address.ip = uint32_t(in[0]) << 24 | uint32_t(in[1]) << 16 | uint32_t(in[2]) << 8 | in[3];
  address.port = bvlc_get16(in + 4);
  return address;
}

BACnetAddress bip_to_bacnet_address(uint32_t network, const BipAddress& address)
{
  BACnetAddress result;
  result.network = network;
  bip_encode(address, result.mac);
  result.mac_len = kBipAddressLength;
  return result;
}

int bvlc_decode(std::span<const uint8_t> datagram, BvlcFrame* frame)
{
  if (datagram.size() < kBvlcHeaderLength || datagram[0] != kBvllType)
    return kMalformed;
  if (bvlc_get16(datagram.data() + 2) != datagram.size())
    return kMalformed;
  if (frame) {
    frame->function = datagram[1];
    frame->data = datagram.subspan(kBvlcHeaderLength);
  }
  return 0;
}

std::vector<uint8_t> bvlc_encode(uint8_t function, std::span<const uint8_t> data)
{
  std::vector<uint8_t> frame;
  std::size_t length = kBvlcHeaderLength + data.size();
  if (length > kBvlcMaxFrameLength)
    return frame;
  frame.resize(kBvlcHeaderLength);
  frame[0] = kBvllType;
  frame[1] = function;
  bvlc_put16(frame.data() + 2, uint16_t(length));
  frame.insert(frame.end(), data.begin(), data.end());
  return frame;
}

std::vector<uint8_t> bvlc_encode_result(uint16_t code)
{
  uint8_t data[2];
  bvlc_put16(data, code);
  return bvlc_encode(kBvlcResult, data);
}

std::vector<uint8_t> bvlc_encode_register(uint16_t time_to_live)
{
  uint8_t data[2];
  bvlc_put16(data, time_to_live);
  return bvlc_encode(kBvlcRegisterForeignDevice, data);
}

std::vector<uint8_t> bvlc_encode_forwarded(const BipAddress& origin, std::span<const uint8_t> npdu)
{
  std::vector<uint8_t> data(kBipAddressLength);
  bip_encode(origin, data.data());
  data.insert(data.end(), npdu.begin(), npdu.end());
  return bvlc_encode(kBvlcForwardedNpdu, data);
}
