// The PC's local IPv4 address as the BACnet settings take it: the first address of an
// interface that is up and not the loopback, "0.0.0.0" when there is none. Tests replace
// the source so that no test depends on the host's interfaces. User-interface thread only.
#pragma once

#include <QString>
#include <functional>

namespace net {

QString LocalIpAddress();

// Replaces where the address comes from; an empty function restores the host's.
void SetLocalIpSource(std::function<QString()> source);

}  // namespace net
