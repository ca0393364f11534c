// Captured frames through an Ethernet port on a capture library that sends nowhere, then their
// NPDUs through the network layer. The first input octet says whether the frame comes in as
// captured (from the MAC addresses on) or by the port's own receive path (from the length field
// on, as the port's own broadcasts take it); the rest is the frame.
#include "bacnet/datalink/bacnetethernet.h"
#include "bacnet/datalink/netif.h"
#include "bacnet/network/network_main.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

class NowhereCapture : public EthernetCapture {
public:
  int list_adapters(std::vector<EthernetAdapter>* adapters, std::string*) override
  {
    adapters->push_back({"z17eth", ""});
    return 0;
  }
  int open(const std::string&, std::string*) override { return 0; }
  int link_type() override { return 1; }  // Ethernet
  int set_filter(const char*, std::string*) override { return 0; }
  int selectable_fd() override { return -1; }
  int next(std::span<const uint8_t>*, std::string*) override { return 0; }
  int send(std::span<const uint8_t> frame, std::string*) override
  {
    volatile uint8_t sum = 0;
    for (uint8_t b : frame)
      sum = uint8_t(sum + b);
    return 0;
  }
};

std::unique_ptr<EthernetCapture> make_nowhere() { return std::make_unique<NowhereCapture>(); }

class LabAdapter : public NetifSource {
public:
  std::vector<NetifAddress> ipv4_addresses() override { return {}; }
  bool hardware_address(const char*, uint8_t mac[6]) override
  {
    static const uint8_t own[6] = {0x02, 0x00, 0x5E, 0x00, 0x00, 0x01};
    std::memcpy(mac, own, 6);
    return true;
  }
  bool ethernet_adapter(const char*) override { return true; }
};

int consume_apdu(uint8_t, const BACnetAddress&, const BACnetAddress&, const NpduHeader& header)
{
  volatile uint8_t sum = 0;
  for (uint32_t i = 0; i < header.apdu_length; ++i)
    sum = uint8_t(sum + header.apdu[i]);
  return 0;
}

DatalinkPort* make_port()
{
  static LabAdapter lab;
  static DatalinkPort port;
  netif_set_source(&lab);
  bacnetethernet_set_capture_factory(make_nowhere);
  port.link_type = kLinkEthernet;
  port.net.handle = &port;
  port.net.address.network = 2;
  port.connect_string = "TYPE=BACNETETHERNET;NETWORK=2;NIC=0;";
  port.has_connect_string = true;
  port.link_data = bacnetethernet_make_link_data();
  if (bacnetethernet_open(&port) != 0)
    __builtin_trap();
  network_init_port(&port.net);
  network_init(consume_apdu, nullptr, nullptr, nullptr);
  return &port;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static DatalinkPort* port = make_port();
  if (size < 1)
    return 0;
  std::span<const uint8_t> frame(data + 1, size - 1);
  if (data[0] & 1)
    bacnetethernet_log_frame(port, port->net.address, frame, frame.size() + 12);
  else
    bacnetethernet_handle_frame(port, frame);
  network_poll();
  // What the network layer answered goes through the transmit path of the port; the wake-up
  // keeps the pass from waiting for frames that never come.
  datalink_wake(port);
  bacnetethernet_run_pass(port);
  return 0;
}
