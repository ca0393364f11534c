// Received datagrams through a BACnet/IP port that is both a BBMD and a foreign device, then
// their NPDUs through the network layer, with that port (network 1) and a second one (network 2)
// that sends nowhere: network-layer messages, routes, locating and the pass-on of rejects. The first input octet picks the sender (a peer, the port itself, its BBMD),
// whether a second tick runs first, and in its upper five bits how many 5-second steps the
// clock moves on before (the locate and connection timers); the rest is the datagram.
#include "bacnet/datalink/bacnetip.h"
#include "bacnet/datalink/netif.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/network/network_main.h"

#include <cstddef>
#include <cstdint>

namespace {

class NowhereTransport : public BacnetIpTransport {
public:
  int open(uint16_t) override { return 0; }
  OsWake::Result wait_readable(DatalinkPort*, int, int) override { return OsWake::kTimeout; }
  int receive(uint8_t*, std::size_t, BipAddress*, uint32_t*) override { return -1; }
  int send(const BipAddress&, std::span<const uint8_t> datagram, bool) override
  {
    // Touch every octet so that the sanitizer sees any frame built from freed or short data.
    volatile uint8_t sum = 0;
    for (uint8_t b : datagram)
      sum = uint8_t(sum + b);
    return 0;
  }
};

std::unique_ptr<BacnetIpTransport> make_nowhere() { return std::make_unique<NowhereTransport>(); }

class LabInterface : public NetifSource {
public:
  std::vector<NetifAddress> ipv4_addresses() override { return {{0x0A6F0101, 0xFFFFFF00}}; }
};

int consume_apdu(uint8_t, const BACnetAddress&, const BACnetAddress&, const NpduHeader& header)
{
  volatile uint8_t sum = 0;
  for (uint32_t i = 0; i < header.apdu_length; ++i)
    sum = uint8_t(sum + header.apdu[i]);
  return 0;
}

int sink_send(DatalinkPort*, const BACnetAddress&, const BACnetAddress&, std::span<const uint8_t> npdu, uint8_t,
              uint8_t)
{
  volatile uint8_t sum = 0;
  for (uint8_t b : npdu)
    sum = uint8_t(sum + b);
  return 0;
}

ManualClock g_clock;

DatalinkPort* make_port()
{
  static LabInterface lab;
  static DatalinkPort port;
  static DatalinkPort second;
  os_set_clock(&g_clock);
  netif_set_source(&lab);
  bacnetip_set_transport_factory(make_nowhere);
  port.link_type = kLinkBacnetIp;
  port.net.handle = &port;
  port.net.address.network = 1;
  port.connect_string =
      "TYPE=BACNETIP;NETWORK=1;IPADDRESS=10.111.1.1;BBMDMAXFOREIGNDEVICES=4;BBMDIPADDRESS=10.111.2.1;";
  port.has_connect_string = true;
  port.link_data = bacnetip_make_link_data();
  bacnetip_link(&port)->bdt_path = "/dev/null";
  if (bacnetip_open(&port) != 0)
    __builtin_trap();
  bacnetip_link(&port)->registered = 1;
  bacnetip_link(&port)->bdt.push_back({0x0A6F0201, 47808, 0xFFFFFFFF});  // the BBMD sender, a peer too
  network_init_port(&port.net);
  second.net.handle = &second;
  second.net.address = {2, {0x02, 0x00, 0x5E, 0x00, 0x00, 0x01}, 6};
  second.net.send = sink_send;
  network_init_port(&second.net);
  network_init(consume_apdu, nullptr, nullptr, nullptr);
  return &port;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static DatalinkPort* port = make_port();
  if (size < 1)
    return 0;
  static const BipAddress senders[] = {{0x0A6F0102, 47808}, {0x0A6F0101, 47808}, {0x0A6F0201, 47808},
                                       {0x0A6F0301, 47809}};
  const BipAddress& sender = senders[data[0] & 3];
  if (data[0] & 4)
    bacnetip_second_tick(port);
  g_clock.advance_ms(int64_t(data[0] >> 3) * 5000);
  std::span<const uint8_t> datagram(data + 1, size - 1);
  bacnetip_handle_frame(port, bip_to_bacnet_address(1, sender), datagram, false);
  network_poll();
  {
    // Nothing transmits the port's queue here: forget what the network layer sent.
    DRIVER_LOCK_SCOPE();
    bacnetip_link(port)->queue.clear();
  }

  // The NPDU decoder alone, on the same octets.
  NpduHeader header;
  if (npdu_decode(datagram, &header) == 0 && header.apdu + header.apdu_length != datagram.data() + datagram.size())
    __builtin_trap();
  return 0;
}
