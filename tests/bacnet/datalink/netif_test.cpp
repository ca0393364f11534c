#include "bacnet/datalink/netif.h"

#include <gtest/gtest.h>

namespace {

class FixedInterfaces : public NetifSource {
public:
  std::vector<NetifAddress> list;
  std::vector<NetifAddress> ipv4_addresses() override { return list; }
};

class AdapterDiscovery : public testing::Test {
protected:
  void SetUp() override { netif_set_source(&interfaces_); }
  void TearDown() override { netif_set_source(nullptr); }

  struct Found {
    int result;
    uint32_t address, mask, broadcast;
  };
  Found query(uint32_t configured)
  {
    Found f{};
    f.result = netif_query_interfaces(configured, &f.address, &f.mask, &f.broadcast);
    return f;
  }
  FixedInterfaces interfaces_;
};

TEST_F(AdapterDiscovery, TheConfiguredAddressWins)
{
  interfaces_.list = {{0xC0A80005, 0xFFFFFF00}, {0x7F000001, 0xFF000000}, {0x0A000002, 0xFF000000}};
  Found f = query(0x0A000002);
  ASSERT_EQ(f.result, 0);
  EXPECT_EQ(f.address, 0x0A000002u);
  EXPECT_EQ(f.mask, 0xFF000000u);
  EXPECT_EQ(f.broadcast, 0x0AFFFFFFu);
}

TEST_F(AdapterDiscovery, OtherwiseTheHighestAddressInTheWalkStays)
{
  interfaces_.list = {{0xC0A80005, 0xFFFFFF00}, {0x0A000002, 0xFF000000}, {0x7F000001, 0xFF000000}};
  Found f = query(0x01020304);
  ASSERT_EQ(f.result, 0);
  EXPECT_EQ(f.address, 0xC0A80005u);
  EXPECT_EQ(f.broadcast, 0xC0A800FFu);
}

TEST_F(AdapterDiscovery, LoopbackAndTheEmptyAddressAreNeverUsed)
{
  interfaces_.list = {{0x7F000001, 0xFF000000}, {0, 0}};
  EXPECT_EQ(query(0x7F000001).result, -1);
  interfaces_.list.clear();
  EXPECT_EQ(query(0).result, -1);
}

TEST_F(AdapterDiscovery, OnlyTheFirstFiftyAddressesAreWalked)
{
  for (uint32_t i = 0; i < 60; ++i)
    interfaces_.list.push_back({0x0A000001 + i, 0xFFFFFF00});
  EXPECT_EQ(query(0x0A000032).address, 0x0A000032u);  // the 50th
  EXPECT_EQ(query(0x0A000033).address, 0x0A000032u);  // the 51st is never reached
}

// The host's own interface list: nothing is sent.
TEST(HostAdapters, LoopbackAndTheCapturePseudoDeviceAreNoEthernetAdapters)
{
  EXPECT_FALSE(netif_is_ethernet_adapter("lo"));
  EXPECT_FALSE(netif_is_ethernet_adapter("any"));
  EXPECT_FALSE(netif_is_ethernet_adapter(nullptr));
}

}  // namespace
