// Hex text to octets and back, and addresses, for the datalink and network tests.
#pragma once

#include "bacnet/network/bacnet_address.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

inline std::vector<uint8_t> bytes(const std::string& hex)
{
  std::vector<uint8_t> out;
  std::string digits;
  for (char c : hex)
    if (c != ' ')
      digits += c;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
    out.push_back(uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return out;
}

inline std::string hex(std::span<const uint8_t> data)
{
  std::string out;
  char octet[3];
  for (uint8_t b : data) {
    std::snprintf(octet, sizeof octet, "%02x", b);
    out += octet;
  }
  return out;
}

inline BACnetAddress address(uint32_t network, std::initializer_list<uint8_t> mac)
{
  BACnetAddress a;
  a.network = network;
  std::copy(mac.begin(), mac.end(), a.mac);
  a.mac_len = uint8_t(mac.size());
  return a;
}
