#include "gui/core/local_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace net {
namespace {

std::function<QString()>& source()
{
  static std::function<QString()> s;
  return s;
}

QString host_address()
{
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0)
    return QStringLiteral("0.0.0.0");
  QString found = QStringLiteral("0.0.0.0");
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET)
      continue;
    if (!(a->ifa_flags & IFF_UP) || (a->ifa_flags & IFF_LOOPBACK))
      continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) {
      found = QString::fromLatin1(text);
      break;
    }
  }
  freeifaddrs(list);
  return found;
}

}  // namespace

QString LocalIpAddress() { return source() ? source()() : host_address(); }

void SetLocalIpSource(std::function<QString()> s) { source() = std::move(s); }

}  // namespace net
