// The BACnet/IP virtual link layer frame: the four-octet header every datagram carries, the
// B/IP address (IPv4 address and UDP port as six octets) and the builders of the frames this
// stack sends. Pure functions on buffers, used by the BACnet/IP port thread and the fuzz
// target; they never read outside the given buffer and keep no state.
#pragma once

#include "bacnet/network/bacnet_address.h"

#include <cstdint>
#include <span>
#include <vector>

inline constexpr uint8_t kBvllType = 0x81;
inline constexpr std::size_t kBvlcHeaderLength = 4;
inline constexpr std::size_t kBvlcMaxFrameLength = 65535;

enum BvlcFunction : uint8_t {
  kBvlcResult = 0x00,
  kBvlcWriteBdt = 0x01,
  kBvlcReadBdt = 0x02,
  kBvlcReadBdtAck = 0x03,
  kBvlcForwardedNpdu = 0x04,
  kBvlcRegisterForeignDevice = 0x05,
  kBvlcReadFdt = 0x06,
  kBvlcReadFdtAck = 0x07,
  kBvlcDeleteFdtEntry = 0x08,
  kBvlcDistributeBroadcast = 0x09,
  kBvlcOriginalUnicast = 0x0A,
  kBvlcOriginalBroadcast = 0x0B,
};

enum BvlcResultCode : uint16_t {
  kBvlcSuccess = 0x0000,
  kBvlcWriteBdtNak = 0x0010,
  kBvlcReadBdtNak = 0x0020,
  kBvlcRegisterForeignDeviceNak = 0x0030,
  kBvlcReadFdtNak = 0x0040,
  kBvlcDeleteFdtEntryNak = 0x0050,
  kBvlcDistributeBroadcastNak = 0x0060,
};

// An IPv4 address and UDP port, both in host byte order.
struct BipAddress {
  uint32_t ip = 0;
  uint16_t port = 0;
  friend bool operator==(const BipAddress&, const BipAddress&) = default;
};
inline constexpr std::size_t kBipAddressLength = 6;

// Six octets: the address, then the port, both big-endian.
void bip_encode(const BipAddress& address, uint8_t* out);
BipAddress bip_decode(const uint8_t* in);
BACnetAddress bip_to_bacnet_address(uint32_t network, const BipAddress& address);

struct BvlcFrame {
  uint8_t function = 0;
  std::span<const uint8_t> data;  // the octets behind the header
};

// 0, or 8 for a datagram that is shorter than the header, of another type, or whose length
// field differs from its received length.
int bvlc_decode(std::span<const uint8_t> datagram, BvlcFrame* frame);

// Header and data; empty when the frame would not fit the 16-bit length field.
std::vector<uint8_t> bvlc_encode(uint8_t function, std::span<const uint8_t> data);
std::vector<uint8_t> bvlc_encode_result(uint16_t code);
std::vector<uint8_t> bvlc_encode_register(uint16_t time_to_live);
std::vector<uint8_t> bvlc_encode_forwarded(const BipAddress& origin, std::span<const uint8_t> npdu);

inline uint16_t bvlc_get16(const uint8_t* in) { return uint16_t(in[0] << 8 | in[1]); }
inline void bvlc_put16(uint8_t* out, uint16_t v)
{
  out[0] = uint8_t(v >> 8);
  out[1] = uint8_t(v);
}
