#include "bacnet/datalink/bacnetmstp.h"

#include "bacnet/datalink/byte_line.h"
#include "bacnet/network/network_main.h"
#include "bacnet/value/value_access.h"

#include <cstdio>
#include <string>

namespace {

constexpr uint8_t kLargestMstpMaxApduCode = 3;  // 480 octets

DriverLogFunction g_log = nullptr;
bool g_trace = false;

bool tracing() { return g_log && g_trace; }

void trace_npdu(const char* head, std::span<const uint8_t> npdu)
{
  std::string text = head;
  datalink_append_hex(text, npdu);
  g_log(kMstpLogLevel, text.c_str());
}

void trace_frame(bool sent, std::span<const uint8_t> frame)
{
  std::string text = mstp_trace_text(sent, frame);
  if (!text.empty())
    g_log(kMstpLogLevel, text.c_str());
}

MstpParameters read_parameters(const DatalinkPort* port, uint32_t baud_rate)
{
  auto number = [port](const char* key, long fallback) { return datalink_param_number(port, key, fallback); };
  MstpParameters p;
  p.this_station = uint8_t(number("TS", 0));
  p.slot = uint32_t(number("SLOT", 10));
  p.max_info_frames = uint16_t(number("MAX_INFO_FRAMES", 50));
  p.max_master = uint8_t(number("MAX_MASTER", 100));
  p.min_octets = uint16_t(number("MIN_OCTETS", 4));
  p.no_token = uint32_t(number("NO_TOKEN", 500));
  p.poll = uint16_t(number("POLL", 50));
  p.reply_timeout = uint32_t(number("REPLY_TIMEOUT", 300));
  p.retry_token = uint16_t(number("RETRY_TOKEN", 1));
  p.usage_delay = uint32_t(number("USEAGE_DELAY", 15));
  p.usage_timeout = uint32_t(number("USEAGE_TIMEOUT", 100));
  p.baud_rate = baud_rate;
  return p;
}

}  // namespace

void bacnetmstp_set_trace(const DriverContext& context)
{
  g_log = context.log;
  g_trace = context.options[kMstpTraceOption] != 0;
}

std::unique_ptr<DatalinkLinkData> bacnetmstp_make_link_data() { return std::make_unique<MstpLink>(); }

MstpLink* bacnetmstp_link(DatalinkPort* port)
{
  return port ? dynamic_cast<MstpLink*>(port->link_data.get()) : nullptr;
}

int bacnetmstp_read_device_property(uint32_t property, BACnetValue* value, uint8_t write_flag)
{
  const MstpLink* link = nullptr;
  for (std::size_t i = 0; i < datalink_port_count() && !link; ++i)
    link = bacnetmstp_link(datalink_port_at(i));
  if (!link || !value || (property != PROP_MAX_INFO_FRAMES && property != PROP_MAX_MASTER))
    return 1;
  if (write_flag)
    return -1;
  uint32_t number = property == PROP_MAX_MASTER ? link->parameters.max_master : link->parameters.max_info_frames;
  return value_set_unsigned(&number, value);
}

bool mstp_npdu_is_request(std::span<const uint8_t> npdu)
{
  if (npdu.size() < 2 || npdu[0] != kNpduVersion)
    return false;
  const uint8_t control = npdu[1];
  if (control & kNpduReservedBits)
    return false;
  std::size_t at = 2;
  for (uint8_t present : {kNpduDnetPresent, kNpduSnetPresent}) {
    if (!(control & present))
      continue;
    if (at + 3 > npdu.size())
      return false;
    at += 3 + npdu[at + 2];  // network number, address length, address
  }
  if (control & kNpduDnetPresent)
    ++at;  // hop count
  // A network-layer message carries no APDU: it answers or informs, it asks no device.
  if ((control & kNpduNetworkMessage) || at >= npdu.size())
    return false;
  return (npdu[at] >> 4) <= 1;
}

int bacnetmstp_open(DatalinkPort* port)
{
  MstpLink* link = bacnetmstp_link(port);
  if (!link)
    return -1;
  if (!port->has_connect_string) {
    datalink_set_error(port, "No connect string");
    return -1;
  }
  if (int result = serial_link_open_line(port, &link->line); result != 0)
    return result;
  link->parameters = read_parameters(port, link->line.baud_rate);
  {
    DRIVER_LOCK_SCOPE();
    port->net.send = bacnetmstp_send;
    port->net.queued = [](DatalinkPort* p) -> std::size_t {
      DRIVER_LOCK_SCOPE();
      MstpLink* l = bacnetmstp_link(p);
      return l ? l->queues.token.count() + l->queues.reply.count() : 0;
    };
    port->net.address.mac_len = 1;
    port->net.address.mac[0] = link->parameters.this_station;
  }
  port->state = kPortOpened;
  datalink_register_opened(port, kLargestMstpMaxApduCode);
  return 0;
}

uint32_t bacnetmstp_run(DatalinkPort* port)
{
  MstpLink* link = bacnetmstp_link(port);
  if (!link)
    return kPortStopped;
  auto deliver = [port](uint8_t source, std::span<const uint8_t> npdu) {
    if (tracing()) {
      char head[32];
      std::snprintf(head, sizeof head, "Port %02d From %02X :- ", int(port->net.index), unsigned(source));
      trace_npdu(head, npdu);
    }
    BACnetAddress from{};
    from.network = port->net.address.network;
    from.mac[0] = source;
    from.mac_len = 1;
    network_receive(from, port->net.address, npdu, 0, 0);
  };
  PortByteLine line(port, &link->line, false, tracing() ? g_log : nullptr, kMstpLogLevel);
  MstpMaster master(link->parameters, line, link->queues, deliver,
                    tracing() ? MstpMaster::FrameTrace(trace_frame) : nullptr);
  master.run();
  return kPortStopped;
}

int bacnetmstp_send(DatalinkPort* port, const BACnetAddress&, const BACnetAddress& destination,
                    std::span<const uint8_t> npdu, uint8_t expecting_reply, uint8_t priority)
{
  MstpLink* link = bacnetmstp_link(port);
  // A longer NPDU would never fit a frame: refused now rather than dropped at its turn.
  if (!link || npdu.empty() || npdu.size() > kMstpMaxData)
    return -1;
  const bool broadcast = destination.network == kGlobalBroadcastNetwork || destination.mac_len == 0;
  if (!broadcast && destination.mac_len != 1)
    return -1;
  if (tracing()) {
    char head[32];
    std::snprintf(head, sizeof head, "Port %02d To   %02X :- ", int(port->net.index),
                  unsigned(mstp_destination_station(destination)));
    trace_npdu(head, npdu);
  }
  DatalinkQueueEntry entry;
  entry.destination = destination;
  entry.frame.assign(npdu.begin(), npdu.end());
  entry.expecting_reply = expecting_reply;
  entry.priority = priority;
  const bool request = mstp_npdu_is_request(npdu);
  bool queued;
  {
    DRIVER_LOCK_SCOPE();
    entry.source = port->net.address;
    queued = (request ? link->queues.token : link->queues.reply).put(std::move(entry));
  }
  if (!queued)
    return -1;
  datalink_wake(port);
  return 0;
}

void bacnetmstp_close(DatalinkPort* port)
{
  MstpLink* link = bacnetmstp_link(port);
  if (!link)
    return;
  serial_link_close_line(&link->line, link->queues.token, link->queues.reply);
}
