// The network-layer header of every BACnet message: decoding a received NPDU into its header
// fields and encoding a header in front of an APDU or a network-message body.
// Pure functions on buffers, called on the stack thread (and by the fuzz target); they keep
// no state and never read outside the given buffer.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

inline constexpr std::size_t kNpduMaxLength = 2056;
inline constexpr uint8_t kNpduVersion = 0x01;

// Control octet bits.
inline constexpr uint8_t kNpduNetworkMessage = 0x80;
inline constexpr uint8_t kNpduDnetPresent = 0x20;
inline constexpr uint8_t kNpduSnetPresent = 0x08;
inline constexpr uint8_t kNpduExpectingReply = 0x04;
inline constexpr uint8_t kNpduReservedBits = 0x50;

struct NpduHeader {
  uint8_t network_message = 0;
  uint8_t message_type = 0;
  uint8_t priority = 0;  // 0..3
  uint8_t dnet_present = 0;
  uint32_t dnet = 0;
  uint8_t dadr[6] = {};
  uint8_t dlen = 0;
  uint32_t snet_present = 0;
  uint32_t snet = 0;
  uint8_t sadr[6] = {};
  uint8_t slen = 0;
  uint8_t expecting_reply = 0;
  uint8_t hop_count = 0;
  uint16_t vendor_id = 0;
  // The octets behind the header, inside the decoded buffer.
  const uint8_t* apdu = nullptr;
  uint32_t apdu_length = 0;
};

// 0, or 8 when the NPDU is malformed: shorter than 2 octets, version other than 1, a reserved
// control bit set, DLEN or SLEN above 6, SNET 65535 or SLEN 0, or a field that runs past the end.
int npdu_decode(std::span<const uint8_t> npdu, NpduHeader* header);

// Appends the header (version, control, DNET/DADR, SNET/SADR, hop count, message type and
// vendor identifier as the flags say) and then `data` to `out`. Reads network_message,
// message_type, vendor_id, priority, expecting_reply, the DNET and SNET fields and hop_count.
// 0, or -1 when DLEN or SLEN is above 6 or the result would exceed 2056 octets (`out` is then
// left as it was).
int npdu_encode(const NpduHeader& header, std::span<const uint8_t> data, std::vector<uint8_t>* out);
