// The network layer's test bench: ports whose send function records every NPDU, an upper
// layer that records every APDU, and a fixture that registers ports and starts the layer.
#pragma once

#include "bacnet/network/network_main.h"
#include "bacnet/network/network_routes.h"
#include "../datalink/test_bytes.h"

#include <gtest/gtest.h>

#include <array>

namespace {

struct Sent {
  int port;
  BACnetAddress destination;
  std::string npdu;
};
std::vector<Sent> g_sent;
std::array<DatalinkPort*, 4> g_handles = {reinterpret_cast<DatalinkPort*>(0x1000), reinterpret_cast<DatalinkPort*>(0x2000),
                                          reinterpret_cast<DatalinkPort*>(0x3000), reinterpret_cast<DatalinkPort*>(0x4000)};

int fake_send(DatalinkPort* port, const BACnetAddress&, const BACnetAddress& destination, std::span<const uint8_t> npdu,
              uint8_t, uint8_t)
{
  int index = 0;
  while (g_handles[std::size_t(index)] != port)
    ++index;
  g_sent.push_back({index, destination, hex(npdu)});
  return 0;
}

int link_down(DatalinkPort*) { return 0; }

struct Delivered {
  uint8_t port;
  BACnetAddress source;
  std::string apdu;
  NpduHeader header;
};
std::vector<Delivered> g_up;

int capture(uint8_t port, const BACnetAddress& source, const BACnetAddress&, const NpduHeader& header)
{
  g_up.push_back({port, source, hex(std::span<const uint8_t>(header.apdu, header.apdu_length)), header});
  return 0;
}

int g_communication_state = 0;
int communication_state() { return g_communication_state; }

class NetworkLayer : public testing::Test {
protected:
  void SetUp() override
  {
    g_sent.clear();
    g_up.clear();
    g_communication_state = 0;
  }
  void TearDown() override
  {
    network_destroy();
    network_set_communication_state_function(nullptr);
  }
  void add_port(uint32_t network, uint8_t mac_tail, NetworkLinkStateFunction link_state = nullptr)
  {
    NetworkPort port;
    port.handle = g_handles[network_port_count()];
    port.address = address(network, {10, 111, uint8_t(network), mac_tail, 0xBA, 0xC0});
    port.send = fake_send;
    port.link_state = link_state;
    ASSERT_EQ(network_init_port(&port), 0);
  }
  // Starts the layer and forgets anything it sent on its own.
  void start()
  {
    network_init(capture, nullptr, nullptr, nullptr);
    g_sent.clear();
  }
  std::vector<Delivered> up()
  {
    network_poll();
    auto d = std::move(g_up);
    g_up.clear();
    return d;
  }
  const BACnetAddress peer_ = address(1, {10, 111, 1, 2, 0xBA, 0xC0});
};

}  // namespace
