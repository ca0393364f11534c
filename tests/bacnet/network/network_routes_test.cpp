#include "network_fixture.h"

#include "bacnet/foundation/os_wrappers.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Out {
  int port;
  std::string npdu;
  bool operator==(const Out&) const = default;
};

std::vector<std::string> g_trace;

// Our own APDU to `mac` on `network`.
int request(uint32_t network, uint8_t mac)
{
  const uint8_t apdu[] = {0x10, 0x08};
  return network_unit_data_request(address(network, {mac}), apdu, 0, false, -1);
}

// Two ports, networks 1 and 2, on a clock that moves only when told.
class Router : public NetworkLayer {
protected:
  Router() { os_set_clock(&clock_); }
  ~Router() override { os_set_clock(nullptr); }
  void start_router()
  {
    add_port(1, 1);
    add_port(2, 1);
    start();
  }
  // Delivers one NPDU from `from`, runs one poll and returns what went out.
  std::vector<Out> receive(const BACnetAddress& from, const std::string& npdu)
  {
    network_receive(from, from, bytes(npdu), 0, 0);
    return poll();
  }
  // Runs one poll: what went out; `delivered_` counts the APDUs that went up.
  std::vector<Out> poll()
  {
    delivered_ = up().size();
    std::vector<Out> out;
    for (const Sent& s : g_sent)
      out.push_back({s.port, s.npdu});
    g_sent.clear();
    return out;
  }
  const NetworkRoute* route(int port, uint32_t network)
  {
    for (const NetworkRoute& r : network_port_at(std::size_t(port))->routes)
      if (r.network == network)
        return &r;
    return nullptr;
  }

  ManualClock clock_;
  std::size_t delivered_ = 0;
  const BACnetAddress router_on_1_ = address(1, {10, 111, 1, 9, 0xBA, 0xC0});
  const BACnetAddress router_on_2_ = address(2, {10, 111, 2, 9, 0xBA, 0xC0});
};

TEST_F(Router, PortsAnnounceNoRouteToEachOthersNetworksAtStart)
{
  add_port(1, 1);
  add_port(2, 1);
  add_port(3, 1, link_down);
  network_init(capture, nullptr, nullptr, nullptr);
  EXPECT_EQ(poll(), std::vector<Out>{});  // we pass nothing on: peers must not send through us
}

TEST_F(Router, NothingButARejectIsPassedOnAndOurOwnApdusGoThroughTheLearntRouter)
{
  start_router();
  ASSERT_EQ(receive(router_on_2_, "01800100" "07"), std::vector<Out>{});  // learns network 7 on port 1's side
  const std::string from_1 = "0001060a6f0102bac0";  // SNET 1 and the sender's address
  const std::tuple<std::string, std::vector<Out>, std::size_t> cases[] = {
      // For a node on network 2, for all of network 2, for network 7 behind a known router: dropped.
      {"01240002060a6f0202bac0ff1008", {}, 0},
      {"0120000200ff1008", {}, 0},
      {"012000070121ff1008", {}, 0},
      // A global broadcast comes up to us and goes no further.
      {"0120ffff00051008", {}, 1},
      // Who-Is-Router-To-Network, for network 2 and for every network: not answered.
      {"0180000002", {}, 0},
      {"018000", {}, 0},
      // A Reject-Message-To-Network for everyone goes on with one hop less, naming its sender.
      {"01a0ffff0005" "03" "000007", {{1, "01a8ffff00" + from_1 + "04" "03" "000007"}}, 0},
      {"01a0ffff0000" "03" "000007", {}, 0},
      {"01a000070121ff" "03" "000007", {}, 0},
  };
  for (const auto& [npdu, out, delivered] : cases) {
    EXPECT_EQ(receive(peer_, npdu), out) << npdu;
    EXPECT_EQ(delivered_, delivered) << npdu;
  }

  // Our own APDUs to network 7 go through its router, on the port the router was heard on.
  ASSERT_EQ(request(7, 0x21), 0);
  ASSERT_EQ(g_sent.size(), 1u);
  EXPECT_EQ((std::tuple(g_sent[0].port, g_sent[0].destination, g_sent[0].npdu)),
            std::tuple(1, router_on_2_, "012000070121ff1008"));
  // So does an unconfirmed request to one device there, once, whatever the number of ports.
  g_sent.clear();
  const uint8_t apdu[] = {0x10, 0x08};
  ASSERT_EQ(network_unit_data_request_port(-1, address(7, {0x21}), apdu, false), 0);
  EXPECT_EQ(poll(), (std::vector<Out>{{1, "012000070121ff1008"}}));
}

TEST_F(Router, AnUnknownNetworkIsLocatedAndAFullListTakesNewOnesOnceRequestsAreSpent)
{
  start_router();
  EXPECT_EQ(request(200, 0x21), 0);
  EXPECT_EQ(poll(), (std::vector<Out>{{0, "01800000c8"}, {1, "01800000c8"}}));
  for (uint32_t n = 1000; n < 1127; ++n)
    ASSERT_EQ(network_add_locate_network(n), 0);
  EXPECT_EQ(request(201, 0x21), -1);  // the list holds 128
  EXPECT_EQ(network_add_locate_network(0), -1);
  // Nobody answers: each entry is freed one step after its 25th request.
  for (int step = 0; step < 26; ++step) {
    clock_.advance_ms(80000);
    poll();
  }
  EXPECT_EQ(request(201, 0x21), 0);
}

TEST_F(Router, LocatingBacksOffAndEndsAfter25Requests)
{
  add_port(1, 1);
  start();
  ASSERT_EQ(request(9, 5), 0);
  std::vector<int> sent_at;
  for (int second = 0; second <= 1700; ++second) {
    if (!poll().empty())
      sent_at.push_back(second);
    clock_.advance_ms(1000);
  }
  ASSERT_EQ(sent_at.size(), 25u);
  EXPECT_EQ(std::vector<int>(sent_at.begin(), sent_at.begin() + 8), (std::vector<int>{0, 5, 15, 35, 75, 155, 235, 315}));
  EXPECT_EQ(sent_at.back(), 75 + 20 * 80);
  EXPECT_EQ(request(9, 5), -1);
  // One step after the last request the network is forgotten and may be asked for again.
  clock_.advance_ms((1675 + 80 - 1701) * 1000);
  poll();
  EXPECT_EQ(request(9, 5), 0);

  // A route learnt for a network ends its locating; no request goes out while communication is off.
  ASSERT_EQ(network_add_locate_network(10), 0);
  receive(router_on_1_, "01800100" "0a");
  EXPECT_FALSE(network_locate_entry(10, nullptr));
  network_set_communication_state_function(communication_state);
  g_communication_state = 2;
  ASSERT_EQ(network_add_locate_network(11), 0);
  EXPECT_EQ(poll(), std::vector<Out>{});
}

TEST_F(Router, ReceivedRouterMessagesKeepTheRouteLists)
{
  start_router();
  ASSERT_EQ(network_add_locate_network(7), 0);
  receive(router_on_1_, "01800100070001" "0002");
  EXPECT_FALSE(network_locate_entry(7, nullptr));
  for (int port : {0, 1}) {
    ASSERT_NE(route(port, 7), nullptr);
    EXPECT_EQ(route(port, 7)->router, router_on_1_);
    EXPECT_EQ(route(port, 7)->status, 1u);
  }
  // Our own networks stay ours: direct, and never on the port that serves them.
  EXPECT_EQ(route(0, 1), nullptr);
  EXPECT_EQ(route(0, 2)->router.mac_len, 0);

  // NPDU (none: only a poll), milliseconds the clock moves on first, port, network, status.
  const std::tuple<const char*, int, int, uint32_t, uint32_t> steps[] = {
      {"018004", 0, 0, 7, 0},            // Router-Busy, empty list: every route through the sender
      {"018004", 0, 1, 7, 1},            //   ... of the receiving port only
      {"", 29999, 0, 7, 0},              // busy for 30 s
      {"", 1, 0, 7, 1},                  //   ... then available again without a word
      {"0180040007", 0, 0, 7, 0},        // Router-Busy for network 7
      {"0180050007", 0, 0, 7, 1},        // Router-Available for network 7
      {"018003010007", 0, 0, 7, 0},      // Reject-Message-To-Network, no route to 7
      {"0180020008" "0a", 0, 1, 8, 0},   // I-Could-Be-Router-To-Network: a route not connected
      {"0180040008", 0, 0, 8, 0},        // Router-Busy for it
      {"", 30000, 0, 8, 0},              //   ... whose end leaves it as it was: not connected
  };
  for (const auto& [npdu, wait_ms, port, network, status] : steps) {
    clock_.advance_ms(wait_ms);
    if (*npdu)
      receive(router_on_1_, npdu);
    else
      poll();
    ASSERT_NE(route(port, network), nullptr) << npdu;
    EXPECT_EQ(route(port, network)->status, status) << npdu;
  }
  // What the port hears from itself teaches nothing.
  receive(network_port_at(0)->address, "01800100" "0b");
  EXPECT_EQ(route(1, 11), nullptr);
}

TEST_F(Router, AStackWithOnePortNeitherAnswersWhoIsRouterNorPassesOnButRejectsUnknownMessages)
{
  add_port(1, 1);
  start();
  EXPECT_EQ(receive(peer_, "018000"), std::vector<Out>{});
  EXPECT_EQ(receive(peer_, "01200002060a6f0202bac0ff1008"), std::vector<Out>{});
  // A message type nobody knows: Reject-Message-To-Network reason 3.
  EXPECT_EQ(receive(peer_, "01800c"), (std::vector<Out>{{0, "018003030000"}}));
}

TEST_F(Router, AFullRingSendsRouterBusyOnceAndAvailableAfterTheNextPoll)
{
  g_trace.clear();
  DriverContext context;
  context.log = [](int, const char* text) { g_trace.push_back(text); };
  context.options[kNetworkTraceOption] = 1;
  add_port(1, 1);
  add_port(2, 1);
  network_init(capture, &context, nullptr, nullptr);
  g_sent.clear();
  for (int i = 0; i < 258; ++i)
    network_receive(peer_, peer_, bytes("01001008"), 0, 0);
  EXPECT_TRUE(g_sent.empty());  // the port thread only marks the congestion
  const std::string busy = "01a0ffff00ff04", available = "01a0ffff00ff05";
  EXPECT_EQ(poll(), (std::vector<Out>{{0, busy}, {1, busy}, {0, available}, {1, available}}));
  EXPECT_NE(std::find(g_trace.begin(), g_trace.end(), "Network Layer Reset Congestion Control"), g_trace.end());
  EXPECT_EQ(poll(), std::vector<Out>{});
}

TEST_F(Router, AConnectionIsEstablishedUsedAndEndedByItsIdleTime)
{
  add_port(1, 1);
  start();
  network_set_connection_idle_time(3);
  ASSERT_EQ(network_add_route(0, 9, &router_on_1_, 0, true), 0);
  ASSERT_EQ(request(9, 5), 0);
  EXPECT_EQ(poll(), (std::vector<Out>{{0, "018008000900"}}));
  EXPECT_TRUE(network_connection().active);
  receive(router_on_1_, "0180050009");  // the router has connected: route available
  receive(router_on_1_, "0180040009");  // busy: nothing goes, not even a request to connect
  EXPECT_EQ(request(9, 5), -1);
  EXPECT_EQ(poll(), std::vector<Out>{});
  receive(router_on_1_, "0180050009");
  clock_.advance_ms(2000);
  poll();
  ASSERT_EQ(request(9, 5), 0);
  EXPECT_EQ(network_connection().countdown, 3u);  // used: the idle time starts again
  for (int i = 0; i < 2; ++i) {
    clock_.advance_ms(1000);
    EXPECT_EQ(poll().size(), i == 0 ? 1u : 0u);  // the APDU itself went out on the first poll
  }
  clock_.advance_ms(1000);
  EXPECT_EQ(poll(), (std::vector<Out>{{0, "0180090009"}}));
  EXPECT_FALSE(network_connection().active);
  EXPECT_EQ(route(0, 9)->status, 0u);

  // Without an idle time an established connection is never ended.
  network_set_connection_idle_time(0);
  ASSERT_EQ(request(9, 5), 0);
  poll();
  clock_.advance_ms(100000);
  EXPECT_EQ(poll(), std::vector<Out>{});
  EXPECT_TRUE(network_connection().active);
}

}  // namespace
