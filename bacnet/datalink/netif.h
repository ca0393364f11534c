// Adapter discovery for the BACnet/IP port: which IPv4 interface the port uses, with its
// network mask and broadcast address. The host's address list comes from a replaceable
// source, so tests fill it instead of reading the machine's interfaces.
// Called while a port opens (stack thread or the port's own thread on a re-open); it keeps
// no state besides the installed source and must not send anything.
#pragma once

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
};

// Installs a source (tests); null restores the host's own list. The caller keeps ownership.
void netif_set_source(NetifSource* source);

inline constexpr std::size_t kNetifMaxAddresses = 50;

// Walks the addresses in ascending order (at most 50), skipping 127.0.0.1 and 0.0.0.0: each
// becomes the candidate, and the walk stops at the configured address. 0 with the candidate's
// address, mask and broadcast address (address OR NOT mask), -1 when no address is usable.
// All in host byte order.
int netif_query_interfaces(uint32_t configured, uint32_t* address, uint32_t* mask, uint32_t* broadcast);
