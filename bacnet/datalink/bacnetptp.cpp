#include "bacnet/datalink/bacnetptp.h"

#include "bacnet/datalink/byte_line.h"
#include "bacnet/network/network_main.h"

#include <algorithm>
#include <string>

namespace {

constexpr uint8_t kLargestPtpMaxApduCode = 3;  // 480 octets
// This side and the peer on the link's own network.
constexpr uint8_t kOwnMac = 0;
constexpr uint8_t kPeerMac = 1;

DriverLogFunction g_log = nullptr;

void read_settings(const DatalinkPort* port, PtpLink& link)
{
  PtpSettings& s = link.settings;
  s = PtpSettings{};
  // PASSWORDBUFFER only sized a buffer that grows to fit the password: nothing to read.
  std::string value;
  if (datalink_param(port, "PASSWORD", &value))
    s.password = value;
  if (datalink_param(port, "DIALSTRING", &value))
    s.dial_command = value + "\r";
  s.guard_ms = int(std::max(0L, datalink_param_number(port, "GUARDTIME", s.guard_ms)));
  s.baud_rate = link.line.baud_rate;
  s.network = port->net.address.network;
}

}  // namespace

void bacnetptp_set_trace(const DriverContext& context)
{
  g_log = context.options[kPtpTraceOption] ? context.log : nullptr;
}

std::unique_ptr<DatalinkLinkData> bacnetptp_make_link_data() { return std::make_unique<PtpLink>(); }

PtpLink* bacnetptp_link(DatalinkPort* port)
{
  return port ? dynamic_cast<PtpLink*>(port->link_data.get()) : nullptr;
}

int bacnetptp_open(DatalinkPort* port)
{
  PtpLink* link = bacnetptp_link(port);
  if (!link)
    return -1;
  if (!port->has_connect_string) {
    datalink_set_error(port, "No connect string");
    return -1;
  }
  if (int result = serial_link_open_line(port, &link->line); result != 0)
    return result;
  read_settings(port, *link);
  {
    DRIVER_LOCK_SCOPE();
    port->net.send = bacnetptp_send;
    port->net.queued = [](DatalinkPort* p) -> std::size_t {
      DRIVER_LOCK_SCOPE();
      PtpLink* l = bacnetptp_link(p);
      return l ? l->shared.queue.count() : 0;
    };
    port->net.link_state = bacnetptp_get_connection_state;
    // A MAC of its own keeps a broadcast on this link from looking addressed to this port.
    port->net.address.mac_len = 1;
    port->net.address.mac[0] = kOwnMac;
    link->shared.connect_request = datalink_param_number(port, "CONNECT", 0) != 0;
  }
  port->state = kPortOpened;
  datalink_register_opened(port, kLargestPtpMaxApduCode);
  return 0;
}

uint32_t bacnetptp_run(DatalinkPort* port)
{
  PtpLink* link = bacnetptp_link(port);
  if (!link)
    return kPortStopped;
  auto deliver = [port](std::span<const uint8_t> npdu) {
    BACnetAddress from{};
    from.network = port->net.address.network;
    from.mac[0] = kPeerMac;
    from.mac_len = 1;
    network_receive(from, port->net.address, npdu, 0, 0);
  };
  PtpMachine::Trace trace;
  if (DriverLogFunction log = g_log)
    trace = [log](const std::string& text) { log(kPtpLogLevel, text.c_str()); };
  PortByteLine line(port, &link->line, true, g_log, kPtpLogLevel);
  PtpMachine machine(link->settings, line, link->shared, deliver, trace);
  machine.run();
  return kPortStopped;
}

int bacnetptp_send(DatalinkPort* port, const BACnetAddress&, const BACnetAddress&, std::span<const uint8_t> npdu,
                   uint8_t, uint8_t)
{
  PtpLink* link = bacnetptp_link(port);
  if (!link || npdu.empty() || npdu.size() > kPtpMaxData)
    return -1;
  {
    DRIVER_LOCK_SCOPE();
    if (link->shared.link_state != kPtpConnected || !link->shared.queue.put(std::vector<uint8_t>(npdu.begin(), npdu.end())))
      return -1;
  }
  datalink_wake(port);
  return 0;
}

void bacnetptp_close(DatalinkPort* port)
{
  PtpLink* link = bacnetptp_link(port);
  if (!link)
    return;
  serial_link_close_line(&link->line, link->shared.queue);
}

int bacnetptp_get_connection_state(DatalinkPort* port)
{
  PtpLink* link = bacnetptp_link(port);
  if (!link)
    return -1;
  DRIVER_LOCK_SCOPE();
  return ptp_connection_state(link->shared.link_state);
}

void bacnetptp_request_disconnect(DatalinkPort* port)
{
  PtpLink* link = bacnetptp_link(port);
  if (!link)
    return;
  {
    DRIVER_LOCK_SCOPE();
    link->shared.disconnect_request = true;
    // A link that was asked to hang up does not call again.
    link->shared.connect_request = false;
  }
  datalink_wake(port);
}

bool bacnetptp_link_closed(DatalinkPort* port) { return bacnetptp_get_connection_state(port) <= 0; }
