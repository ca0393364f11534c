#include "bacnet/datalink/anex_h.h"

#include "bacnet/network/network_main.h"

#include <cstdio>
#include <string>

namespace {

constexpr uint8_t kLargestAnexHMaxApduCode = 3;  // 480 octets
// The wait of an empty ring; a queued NPDU or a stop ends it at once.
constexpr int kIdleWaitMs = 1000;

DriverLogFunction g_log = nullptr;

void trace(const char* direction, const DatalinkPort* port, const DatalinkQueueEntry& entry)
{
  if (!g_log)
    return;
  const uint8_t* m = entry.destination.mac;
  char text[64];
  std::snprintf(text, sizeof text, "Port %02d %s %02X %02X %02X %02X %02X %02X :- ", int(port->net.index), direction,
                m[0], m[1], m[2], m[3], m[4], m[5]);
  std::string line = text;
  datalink_append_hex(line, entry.frame);
  g_log(kAnexHLogLevel, line.c_str());
}

}  // namespace

void anex_h_set_log_callback(const DriverContext& context)
{
  g_log = context.options[kAnexHTraceOption] ? context.log : nullptr;
}

std::unique_ptr<DatalinkLinkData> anex_h_make_link_data() { return std::make_unique<AnexHLink>(); }

AnexHLink* anex_h_link(DatalinkPort* port)
{
  return port ? dynamic_cast<AnexHLink*>(port->link_data.get()) : nullptr;
}

int anex_h_open(DatalinkPort* port)
{
  AnexHLink* link = anex_h_link(port);
  if (!link)
    return -1;
  if (!port->has_connect_string) {
    datalink_set_error(port, "No connect string");
    return -1;
  }
  {
    DRIVER_LOCK_SCOPE();
    link->ring.clear();
    port->net.send = anex_h_enqueue_frame;
    port->net.queued = [](DatalinkPort* p) -> std::size_t {
      DRIVER_LOCK_SCOPE();
      AnexHLink* l = anex_h_link(p);
      return l ? l->ring.count() : 0;
    };
    port->net.address.mac_len = 1;
    port->net.address.mac[0] = 0;
  }
  port->state = kPortOpened;
  datalink_register_opened(port, kLargestAnexHMaxApduCode);
  return 0;
}

int anex_h_enqueue_frame(DatalinkPort* port, const BACnetAddress& source, const BACnetAddress& destination,
                         std::span<const uint8_t> npdu, uint8_t expecting_reply, uint8_t priority)
{
  AnexHLink* link = anex_h_link(port);
  // A longer NPDU would only be dropped at its turn: refused now, so that the sender knows.
  if (!link || npdu.empty() || npdu.size() > kAnexHMaxNpdu)
    return -1;
  DatalinkQueueEntry entry{source, destination, {npdu.begin(), npdu.end()}, expecting_reply, priority};
  {
    DRIVER_LOCK_SCOPE();
    if (!link->ring.put(std::move(entry)))
      return -1;
  }
  datalink_wake(port);
  return 0;
}

uint32_t anex_h_run(DatalinkPort* port)
{
  AnexHLink* link = anex_h_link(port);
  if (!link)
    return kPortStopped;
  while (!port->stop_requested && port->running) {
    DatalinkQueueEntry entry;
    bool taken;
    {
      DRIVER_LOCK_SCOPE();
      taken = link->ring.get(entry);
    }
    if (!taken) {
      datalink_wait_readable(port, -1, kIdleWaitMs);
      continue;
    }
    if (entry.destination.network == kGlobalBroadcastNetwork)
      continue;
    trace("To  ", port, entry);
    trace("From", port, entry);
    network_receive(entry.source, entry.destination, entry.frame, entry.expecting_reply, entry.priority);
  }
  return kPortStopped;
}

void anex_h_clear_queue(DatalinkPort* port)
{
  AnexHLink* link = anex_h_link(port);
  if (!link)
    return;
  DRIVER_LOCK_SCOPE();
  link->ring.clear();
}
