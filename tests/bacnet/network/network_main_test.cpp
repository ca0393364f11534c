#include "network_fixture.h"

#include <utility>

namespace {

TEST_F(NetworkLayer, ReceiveTakesOneTo2056Octets)
{
  add_port(1, 1);
  start();
  EXPECT_EQ(network_receive(peer_, peer_, std::vector<uint8_t>(2057, 1), 0, 0), -1);
  EXPECT_EQ(network_receive(peer_, peer_, {}, 0, 0), -1);
  std::vector<uint8_t> largest = bytes("0100");
  largest.resize(2056, 0x10);
  EXPECT_EQ(network_receive(peer_, peer_, largest, 0, 0), 0);
  auto d = up();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].header.apdu_length, 2054u);
}

TEST_F(NetworkLayer, ARingOf256RefusesTheNext)
{
  add_port(1, 1);
  start();
  for (int i = 0; i < 256; ++i)
    ASSERT_EQ(network_receive(peer_, peer_, bytes("01001008"), 0, 0), 0);
  EXPECT_EQ(network_receive(peer_, peer_, bytes("01001008"), 0, 0), -1);
  EXPECT_EQ(up().size(), 256u);
  EXPECT_EQ(network_receive(peer_, peer_, bytes("01001008"), 0, 0), 0);
}

TEST_F(NetworkLayer, OnlyApdusForUsOrEveryoneGoUp)
{
  add_port(1, 1);
  start();
  const BACnetAddress& own = network_port_at(0)->address;
  const char* for_us[] = {"01001008", "0120ffff00ff1008", "01200001060a6f0101bac0ff1008", "0108000901211008"};
  const char* not_for_us[] = {"0120000500ff1008", "01200001060a6f0109bac0ff1008", "02001008", "01401008",
                              "01101008", "0120000507010203040506070000", "0180010002"};
  for (const char* npdu : for_us)
    network_receive(peer_, own, bytes(npdu), 0, 0);
  for (const char* npdu : not_for_us)
    network_receive(peer_, own, bytes(npdu), 0, 0);
  network_receive(address(9, {1}), own, bytes("01001008"), 0, 0);  // no port on network 9
  auto d = up();
  ASSERT_EQ(d.size(), 4u);
  for (const auto& e : d) {
    EXPECT_EQ(e.port, 0);
    EXPECT_EQ(e.apdu, "1008");
    EXPECT_EQ(e.source, peer_);
  }
  EXPECT_EQ(d[3].header.snet, 9u);
}

TEST_F(NetworkLayer, UnitDataRequestPicksThePortByNetwork)
{
  add_port(1, 1);
  add_port(2, 1);
  start();
  const uint8_t apdu[] = {0x10, 0x08};
  ASSERT_EQ(network_unit_data_request(address(0, {10, 111, 1, 2, 0xBA, 0xC0}), apdu, 1, false, -1), 0);
  ASSERT_EQ(network_unit_data_request(address(2, {10, 111, 2, 2, 0xBA, 0xC0}), apdu, 0, false, -1), 0);
  ASSERT_EQ(network_unit_data_request(address(65535, {}), apdu, 0, true, -1), 0);
  ASSERT_EQ(g_sent.size(), 3u);
  EXPECT_EQ(g_sent[0].port, 0);
  EXPECT_EQ(g_sent[0].npdu, "01041008");
  EXPECT_EQ(g_sent[0].destination, peer_);
  EXPECT_EQ(g_sent[1].port, 1);
  EXPECT_EQ(g_sent[1].npdu, "01001008");
  EXPECT_EQ(g_sent[2].port, 0);
  EXPECT_EQ(g_sent[2].npdu, "0120ffff00ff1008");
  EXPECT_EQ(g_sent[2].destination.network, 65535u);

  EXPECT_EQ(network_unit_data_request(address(70000, {}), apdu, 0, false, -1), -1);
  EXPECT_EQ(network_unit_data_request(peer_, {}, 0, false, -1), -1);
  // No route to network 9: it is being located, and the APDU itself is not sent.
  EXPECT_EQ(network_unit_data_request(address(9, {5}), apdu, 0, false, -1), 0);
  EXPECT_EQ(g_sent.size(), 3u);
}

TEST_F(NetworkLayer, ALearntRouteSendsThroughItsRouter)
{
  add_port(1, 1);
  start();
  BACnetAddress router = address(1, {10, 111, 1, 9, 0xBA, 0xC0});
  ASSERT_EQ(network_add_route(0, 9, &router, 1, true), 0);
  EXPECT_EQ(network_add_route(0, 1, &router, 1, true), -1);  // never to its own network
  const uint8_t apdu[] = {0x10, 0x08};
  ASSERT_EQ(network_unit_data_request(address(9, {0x21}), apdu, 0, false, -1), 0);
  ASSERT_EQ(g_sent.size(), 1u);
  EXPECT_EQ(g_sent[0].port, 0);
  EXPECT_EQ(g_sent[0].destination, router);
  EXPECT_EQ(g_sent[0].npdu, "012000090121ff1008");
  // A route that is down and no dial-up leaves the APDU unsent, and says so.
  ASSERT_EQ(network_add_route(0, 9, nullptr, 0, false), 0);
  ASSERT_EQ(network_port_at(0)->routes.size(), 1u);
  g_sent.clear();
  EXPECT_EQ(network_unit_data_request(address(9, {0x21}), apdu, 0, false, -1), -1);
  EXPECT_TRUE(g_sent.empty());
}

TEST_F(NetworkLayer, AlwaysUpPortsReachEachOthersNetworks)
{
  add_port(1, 1);
  add_port(2, 1);
  add_port(3, 1, link_down);
  start();
  ASSERT_EQ(network_port_at(0)->routes.size(), 2u);
  EXPECT_EQ(network_port_at(0)->routes[0].network, 2u);
  EXPECT_EQ(network_port_at(0)->routes[0].status, 1u);
  EXPECT_EQ(network_port_at(0)->routes[1].network, 3u);
  EXPECT_EQ(network_port_at(0)->routes[1].status, 0u);
  EXPECT_TRUE(network_port_at(2)->routes.empty());
}

TEST_F(NetworkLayer, AnswersGoBackTheWayTheRequestCame)
{
  add_port(1, 1);
  start();
  const uint8_t apdu[] = {0x20, 0x01, 0x0F};
  BACnetAddress router = address(1, {10, 111, 1, 9, 0xBA, 0xC0});
  BACnetAddress far = address(9, {0x21});
  ASSERT_EQ(network_send_on_port(0, nullptr, router, true, far, apdu, 0), 0);
  ASSERT_EQ(network_send_on_port(0, nullptr, peer_, true, peer_, apdu, 1), 0);
  ASSERT_EQ(network_send_on_port(0, nullptr, peer_, false, far, apdu, 0), 0);
  ASSERT_EQ(g_sent.size(), 3u);
  EXPECT_EQ(g_sent[0].destination, router);
  EXPECT_EQ(g_sent[0].npdu, "012000090121ff20010f");
  EXPECT_EQ(g_sent[1].destination, peer_);
  EXPECT_EQ(g_sent[1].npdu, "010120010f");
  EXPECT_EQ(g_sent[2].destination, peer_);
  EXPECT_EQ(g_sent[2].npdu, "010020010f");
  EXPECT_EQ(network_send_on_port(1, nullptr, peer_, false, far, apdu, 0), -1);
}

TEST_F(NetworkLayer, ASendToTheOwnAddressComesBackUp)
{
  add_port(1, 1);
  start();
  NetworkPort port;
  ASSERT_EQ(network_find_port(1, &port), 0);
  ASSERT_EQ(network_send(port, port.address, port.address, bytes("01001008"), 0, 0), 0);
  EXPECT_TRUE(g_sent.empty());
  auto d = up();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].source, port.address);
}

TEST_F(NetworkLayer, UnconfirmedRequestsGoOutOnEveryPortUnlessCommunicationIsOff)
{
  add_port(1, 1);
  add_port(2, 1);
  start();
  const uint8_t apdu[] = {0x10, 0x08};
  ASSERT_EQ(network_unit_data_request_port(-1, address(65535, {}), apdu, true), 0);
  ASSERT_EQ(g_sent.size(), 2u);
  EXPECT_EQ(g_sent[0].port, 0);
  EXPECT_EQ(g_sent[1].port, 1);
  EXPECT_EQ(network_unit_data_request_port(2, address(65535, {}), apdu, true), -1);
  ASSERT_EQ(network_unit_data_request_port(1, address(0, {10, 111, 2, 2, 0xBA, 0xC0}), apdu, false), 0);
  EXPECT_EQ(g_sent.back().port, 1);
  EXPECT_EQ(g_sent.back().npdu, "01001008");
  // One device, or all of one network, hears it once, from the port of its network.
  for (const BACnetAddress& one : {address(2, {10, 111, 2, 2, 0xBA, 0xC0}), address(2, {})}) {
    g_sent.clear();
    ASSERT_EQ(network_unit_data_request_port(-1, one, apdu, false), 0);
    ASSERT_EQ(g_sent.size(), 1u);
    EXPECT_EQ((std::pair(g_sent[0].port, g_sent[0].destination)), std::pair(1, one));
  }
  network_set_communication_state_function(communication_state);
  g_communication_state = 1;
  EXPECT_EQ(network_unit_data_request_port(-1, address(65535, {}), apdu, true), -1);
  EXPECT_EQ(g_sent.size(), 1u);
}

TEST_F(NetworkLayer, The257thPortIsRefused)
{
  NetworkPort port;
  for (int i = 0; i < 256; ++i) {
    port.address.network = uint32_t(i + 1);
    ASSERT_EQ(network_init_port(&port), 0);
    EXPECT_EQ(port.index, uint8_t(i));
  }
  EXPECT_EQ(network_init_port(&port), -1);
  BACnetAddress a;
  EXPECT_EQ(network_get_port(255, &a), 0);
  EXPECT_EQ(a.network, 256u);
  EXPECT_EQ(network_get_port(256, &a), -1);
}

TEST(MaxApdu, CodesAreTheSmallestLengthThatHolds)
{
  const std::pair<uint32_t, int> codes[] = {{50, 0}, {51, 1}, {480, 3}, {481, 4}, {1024, 4}, {1025, 5}, {2000, 5}};
  for (const auto& [length, code] : codes)
    EXPECT_EQ(datalink_max_apdu_code(length), code) << length;
  const uint32_t lengths[] = {50, 128, 206, 480, 1024, 1476};
  for (uint8_t code = 0; code < 6; ++code)
    EXPECT_EQ(datalink_max_apdu_length(code), lengths[code]);
}

}  // namespace
