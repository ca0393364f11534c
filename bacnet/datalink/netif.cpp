#include "bacnet/datalink/netif.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>

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
