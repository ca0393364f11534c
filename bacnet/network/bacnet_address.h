// The address of a BACnet node as every layer of the stack passes it around: a network
// number and the node's MAC on that network (an IPv4 address with UDP port, an Ethernet
// address, an MS/TP station). A plain value type; no thread owns it.
#pragma once

#include <cstdint>
#include <cstring>

inline constexpr uint32_t kGlobalBroadcastNetwork = 65535;

struct BACnetAddress {
  // 65535 is the global broadcast; at the datalink interface a destination with 65535 is a
  // broadcast on that link.
  uint32_t network = 0;
  uint8_t mac[6] = {};
  // 0 with a network other than 65535 is a broadcast on that remote network.
  uint8_t mac_len = 0;

  // All six MAC octets take part, also those beyond mac_len.
  friend bool operator==(const BACnetAddress& a, const BACnetAddress& b)
  {
    return a.network == b.network && a.mac_len == b.mac_len && std::memcmp(a.mac, b.mac, sizeof a.mac) == 0;
  }
};
