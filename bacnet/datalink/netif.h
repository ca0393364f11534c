// Adapter discovery: which IPv4 interface the BACnet/IP port uses, with its network mask and
// broadcast address, and the MAC address of the adapter an Ethernet port opened. The host's
// interface data comes from a replaceable source, so tests fill it instead of reading the
// machine's interfaces.
// Called while a port opens (stack thread or the port's own thread on a re-open); it keeps
// no state besides the installed source and must not send anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Addresses in host byte order.
struct NetifAddress {
  uint32_t address = 0;
  uint32_t mask = 0;
};

class NetifSource {
public:
  virtual ~NetifSource() = default;
  // Every IPv4 address of the host with its mask, in any order.
  virtual std::vector<NetifAddress> ipv4_addresses() = 0;
  // The hardware address of the adapter with that name; false when it has none of 6 octets.
  virtual bool hardware_address(const char* /*adapter*/, uint8_t /*mac*/[6]) { return false; }
  // True when the adapter with that name is an Ethernet interface of the host: not loopback,
  // not a capture pseudo-device such as "any", not another link type.
  virtual bool ethernet_adapter(const char* /*adapter*/) { return false; }
};

// Installs a source (tests); null restores the host's own list. The caller keeps ownership.
void netif_set_source(NetifSource* source);

inline constexpr std::size_t kNetifMaxAddresses = 50;

// Walks the addresses in ascending order (at most 50), skipping 127.0.0.1 and 0.0.0.0: each
// becomes the candidate, and the walk stops at the configured address. 0 with the candidate's
// address, mask and broadcast address (address OR NOT mask), -1 when no address is usable.
// All in host byte order.
int netif_query_interfaces(uint32_t configured, uint32_t* address, uint32_t* mask, uint32_t* broadcast);

// The MAC address of the adapter named `adapter` (as the capture library names it). 0 when it
// has a 6-octet address that is not all zero, -1 otherwise.
int netif_get_mac_address(uint8_t mac[6], const char* adapter);

// True when the capture device named `adapter` is an Ethernet adapter (see NetifSource).
bool netif_is_ethernet_adapter(const char* adapter);
