#include "bacnet/datalink/netif.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kLoopback = 0x7F000001;  // 127.0.0.1

class HostInterfaces : public NetifSource {
public:
  std::vector<NetifAddress> ipv4_addresses() override
  {
    std::vector<NetifAddress> list;
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0)
      return list;
    for (ifaddrs* i = all; i; i = i->ifa_next) {
      if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_netmask)
        continue;
      NetifAddress entry;
      entry.address = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
      entry.mask = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr);
      list.push_back(entry);
    }
    freeifaddrs(all);
    return list;
  }

  bool hardware_address(const char* adapter, uint8_t mac[6]) override
  {
    return with_link_entry(adapter, [mac](const ifaddrs&, const sockaddr_ll& link) {
      if (link.sll_halen != 6)
        return false;
      std::memcpy(mac, link.sll_addr, 6);
      return true;
    });
  }

  bool ethernet_adapter(const char* adapter) override
  {
    return with_link_entry(adapter, [](const ifaddrs& entry, const sockaddr_ll& link) {
      return link.sll_hatype == ARPHRD_ETHER && !(entry.ifa_flags & IFF_LOOPBACK);
    });
  }

private:
  // `use` on the link-layer entry of the interface named `adapter`; false without one.
  template <typename Use>
  static bool with_link_entry(const char* adapter, Use use)
  {
    ifaddrs* all = nullptr;
    if (!adapter || getifaddrs(&all) != 0)
      return false;
    bool result = false;
    for (ifaddrs* i = all; i; i = i->ifa_next) {
      if (!i->ifa_addr || i->ifa_addr->sa_family != AF_PACKET || !i->ifa_name || std::strcmp(i->ifa_name, adapter))
        continue;
      result = use(*i, *reinterpret_cast<const sockaddr_ll*>(i->ifa_addr));
      break;
    }
    freeifaddrs(all);
    return result;
  }
};

HostInterfaces g_host;
NetifSource* g_source = &g_host;

}  // namespace

void netif_set_source(NetifSource* source) { g_source = source ? source : &g_host; }

int netif_query_interfaces(uint32_t configured, uint32_t* address, uint32_t* mask, uint32_t* broadcast)
{
  std::vector<NetifAddress> list = g_source->ipv4_addresses();
  std::sort(list.begin(), list.end(), [](const NetifAddress& a, const NetifAddress& b) { return a.address < b.address; });
  if (list.size() > kNetifMaxAddresses)
    list.resize(kNetifMaxAddresses);

  const NetifAddress* chosen = nullptr;
  for (const NetifAddress& entry : list) {
    if (entry.address == kLoopback || entry.address == 0)
      continue;
    chosen = &entry;
    if (entry.address == configured)
      break;
  }
  if (!chosen)
    return -1;
  if (address)
    *address = chosen->address;
  if (mask)
    *mask = chosen->mask;
  if (broadcast)
    *broadcast = chosen->address | ~chosen->mask;
  return 0;
}

int netif_get_mac_address(uint8_t mac[6], const char* adapter)
{
  uint8_t found[6] = {};
  if (!mac || !g_source->hardware_address(adapter, found))
    return -1;
  static const uint8_t kNone[6] = {};
  if (std::memcmp(found, kNone, sizeof found) == 0)
    return -1;
  std::memcpy(mac, found, sizeof found);
  return 0;
}

bool netif_is_ethernet_adapter(const char* adapter) { return adapter && g_source->ethernet_adapter(adapter); }
