// The Ethernet port one pass at a time on a fake capture library and a fake interface list: no
// frame leaves the process. Two real ports on a veth pair are the end-to-end test's.
#include "bacnet/datalink/bacnetethernet.h"
#include "bacnet/datalink/netif.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <set>

namespace {

constexpr int kDltEn10mb = 1;
const std::string kOwnMac = "02005e000001";
const std::string kPeerMac = "02005e000002";

// What the fake library and interface list give, and what the port handed them.
struct FakeHost {
  std::vector<EthernetAdapter> list = {{"any", "Pseudo-device that captures on all interfaces"}, {"z17eth", ""}};
  std::map<std::string, std::string> macs = {{"z17eth", kOwnMac}, {"any", "000000000000"}};
  std::set<std::string> ethernet = {"z17eth"};
  int list_result = 0, open_result = 0, link_type = kDltEn10mb, send_result = 0;
  std::string opened, filter;
  std::deque<std::vector<uint8_t>> inbox;
  bool read_fails = false;
  std::vector<std::string> sent;
};
FakeHost* g_host = nullptr;

class FakeCapture : public EthernetCapture {
public:
  int list_adapters(std::vector<EthernetAdapter>* adapters, std::string* error) override
  {
    *adapters = g_host->list;
    *error = "no permission";
    return g_host->list_result;
  }
  int open(const std::string& adapter, std::string*) override
  {
    g_host->opened = adapter;
    return g_host->open_result;
  }
  int link_type() override { return g_host->link_type; }
  int set_filter(const char* expression, std::string*) override
  {
    g_host->filter = expression;
    return 0;
  }
  int selectable_fd() override { return -1; }
  int next(std::span<const uint8_t>* frame, std::string* error) override
  {
    if (g_host->read_fails) {
      *error = "the adapter went away";
      return -1;
    }
    if (g_host->inbox.empty())
      return 0;
    current_ = std::move(g_host->inbox.front());
    g_host->inbox.pop_front();
    *frame = current_;
    return 1;
  }
  int send(std::span<const uint8_t> frame, std::string* error) override
  {
    if (g_host->send_result != 0) {
      *error = "network is down";
      return g_host->send_result;
    }
    g_host->sent.push_back(hex(frame));
    return 0;
  }

private:
  std::vector<uint8_t> current_;
};

class FakeMacs : public NetifSource {
public:
  std::vector<NetifAddress> ipv4_addresses() override { return {}; }
  bool hardware_address(const char* adapter, uint8_t mac[6]) override
  {
    auto found = g_host->macs.find(adapter);
    if (found == g_host->macs.end())
      return false;
    std::vector<uint8_t> octets = bytes(found->second);
    std::copy(octets.begin(), octets.end(), mac);
    return true;
  }
  bool ethernet_adapter(const char* adapter) override { return g_host->ethernet.count(adapter) > 0; }
};

std::vector<std::string> g_up, g_log;
int capture_apdu(uint8_t, const BACnetAddress& source, const BACnetAddress&, const NpduHeader& header)
{
  g_up.push_back(hex({source.mac, source.mac_len}) + " " + hex({header.apdu, header.apdu_length}));
  return 0;
}
void keep_log(int level, const char* text) { g_log.push_back(std::to_string(level) + " " + text); }

class Ethernet : public testing::Test {
protected:
  void SetUp() override
  {
    g_host = &host_;
    bacnetethernet_set_capture_factory([]() -> std::unique_ptr<EthernetCapture> { return std::make_unique<FakeCapture>(); });
    netif_set_source(&macs_);
    g_up.clear();
    g_log.clear();
    DriverContext context;
    context.log = keep_log;
    context.options[kEthernetTraceOption] = 1;
    bacnetethernet_set_log_callback(context);
  }
  void TearDown() override
  {
    if (port_)
      bacnetethernet_clear_queue(port_.get());
    network_destroy();
    bacnetethernet_set_capture_factory(nullptr);
    netif_set_source(nullptr);
    bacnetethernet_set_log_callback(DriverContext{});
  }

  int open(const std::string& keys)
  {
    port_ = std::make_unique<DatalinkPort>();
    port_->link_type = kLinkEthernet;
    port_->net.handle = port_.get();
    port_->net.address.network = 4;
    port_->net.max_apdu_code = 5;
    port_->connect_string = "TYPE=BACNETETHERNET;NETWORK=4;" + keys;
    port_->has_connect_string = true;
    port_->link_data = bacnetethernet_make_link_data();
    int r = bacnetethernet_open(port_.get());
    if (r == 0) {
      network_init_port(&port_->net);
      network_init(capture_apdu, nullptr, nullptr, nullptr);
    }
    port_->running = 0xFF;
    port_->state = kPortRunning;
    return r;
  }
  BacnetEthernetLink* link() { return bacnetethernet_link(port_.get()); }
  int send(const std::string& mac, std::size_t length, uint32_t network = 4)
  {
    BACnetAddress to;
    to.network = network;
    std::vector<uint8_t> octets = bytes(mac);
    std::copy(octets.begin(), octets.end(), to.mac);
    to.mac_len = uint8_t(octets.size());
    return bacnetethernet_send(port_.get(), port_->net.address, to, std::vector<uint8_t>(length, 0x01), 0, 0);
  }
  std::vector<std::string> up()
  {
    network_poll();
    return std::exchange(g_up, {});
  }
  static bool logged(const std::string& line) { return std::find(g_log.begin(), g_log.end(), line) != g_log.end(); }

  FakeHost host_;
  FakeMacs macs_;
  std::unique_ptr<DatalinkPort> port_;
};

TEST_F(Ethernet, OpenTakesTheNthAdapterWithItsOwnMacAndTheLlcFilter)
{
  ASSERT_EQ(open("NIC=1;"), 0);
  EXPECT_EQ(host_.opened, "z17eth");
  EXPECT_EQ(host_.filter, kEthernetFilter);
  EXPECT_EQ(hex({port_->net.address.mac, port_->net.address.mac_len}), kOwnMac);
  EXPECT_EQ(port_->net.max_apdu_code, 3);
  EXPECT_TRUE(logged("7 NIC 1. any (Pseudo-device that captures on all interfaces)"));
  EXPECT_TRUE(logged("7 NIC 2. z17eth (No description available)"));
}

TEST_F(Ethernet, EachOpenFailureHasItsText)
{
  struct Case {
    std::function<void(FakeHost&)> setup;
    const char* keys;
    const char* error;
    const char* log;
  } cases[] = {
      {[](FakeHost&) {}, "NIC=2;", "Error Binding to Socket", "7 Could not find NIC 2"},
      {[](FakeHost& h) { h.list.clear(); }, "", "Error Binding to Socket",
       "7 No interfaces found! Make sure WinPcap is installed.\n"},
      {[](FakeHost& h) { h.list_result = -1; }, "", "Error Binding to Socket",
       "7 Error in pcap_findalldevs: no permission\n"},
      {[](FakeHost&) {}, "NIC=0;", "Error creating link layer", "7 Adapter any is no Ethernet adapter"},
      {[](FakeHost& h) { h.list.push_back({"lo", ""}); }, "NIC=2;", "Error creating link layer",
       "7 Adapter lo is no Ethernet adapter"},
      {[](FakeHost& h) { h.macs["z17eth"] = "000000000000"; }, "NIC=1;", "Error getting MAC Address", nullptr},
      {[](FakeHost& h) { h.macs.clear(); }, "NIC=1;", "Error getting MAC Address", nullptr},
      {[](FakeHost& h) { h.open_result = -1; }, "NIC=1;", "Error Binding to Socket", "7 Unable to open the adapter.\n"},
      {[](FakeHost& h) { h.link_type = 113; }, "NIC=1;", "Error Binding to Socket",
       "7 Adapter z17eth is no Ethernet adapter"},
  };
  for (const Case& c : cases) {
    host_ = FakeHost{};
    g_log.clear();
    c.setup(host_);
    EXPECT_NE(open(c.keys), 0) << c.error;
    EXPECT_EQ(port_->error_text, c.error) << c.keys;
    if (c.log) {
      EXPECT_TRUE(logged(c.log)) << c.log;
    }
    EXPECT_EQ(link()->capture, nullptr);
  }
}

TEST_F(Ethernet, FramesCarryBothMacsLengthAndLlcAndAreAtLeastMinimumSize)
{
  ASSERT_EQ(open("NIC=1;"), 0);
  ASSERT_EQ(send(kPeerMac, 3), 0);
  ASSERT_EQ(send("", 2, kGlobalBroadcastNetwork), 0);
  ASSERT_EQ(send(kPeerMac, 2035), 0);  // a queued frame of 2040 octets still goes
  ASSERT_EQ(send(kPeerMac, 2036), 0);  // one octet more does not
  ASSERT_EQ(send(kPeerMac, kEthernetMaxNpdu), 0);
  EXPECT_EQ(send(kPeerMac, kEthernetMaxNpdu + 1), -1);
  EXPECT_EQ(send(kPeerMac, 0), -1);
  bacnetethernet_run_pass(port_.get());
  ASSERT_EQ(host_.sent.size(), 3u);
  EXPECT_EQ(host_.sent[0], kPeerMac + kOwnMac + "0006828203010101" + std::string(2 * 40, '0'));
  EXPECT_EQ(host_.sent[1], "ffffffffffff" + kOwnMac + "00058282030101" + std::string(2 * 41, '0'));
  EXPECT_EQ(host_.sent[2].size(), 2u * (12 + 2040));
  EXPECT_EQ(host_.sent[2].substr(24, 10), "07f6828203");
  // The broadcast came back to us once, by the port's own receive path.
  EXPECT_EQ(up(), std::vector<std::string>{kOwnMac + " "});
  EXPECT_TRUE(logged("7 Port 00 To   FF FF FF FF FF FF :- 00 05 82 82 03 01 01 "));
  for (std::size_t i = 0; i < kDatalinkQueueSize; ++i)
    ASSERT_EQ(send(kPeerMac, 2), 0);
  EXPECT_EQ(send(kPeerMac, 2), -1);
}

// Wrong tags, lengths and trailers that the end-to-end run sends are not repeated here.
TEST_F(Ethernet, ReceivedFramesAreCheckedBeforeTheyGoUp)
{
  ASSERT_EQ(open("NIC=1;"), 0);
  const std::string to_us = kOwnMac + kPeerMac;
  struct Case {
    std::string frame;
    bool up;
    uint32_t dropped;
  } cases[] = {
      {to_us + "0007828203" + "01001008", true, 0},
      {to_us + "0007828203" + "01001008" + std::string(2 * 39, '0'), true, 0},   // padded to 60 octets
      {to_us + "0007828203" + "01001008" + std::string(2 * 40, '0'), false, 1},  // 61: more than padding
      {to_us + "0007828303" + "01001008", false, 1},                             // SSAP 0x83
      {to_us + "00048282", false, 1},                                            // 16 octets captured
      {kPeerMac + kOwnMac + "0007828203" + "01001008", false, 0},                // our own frame
      {"02005e000003" + kPeerMac + "0007828203" + "01001008", false, 0},         // for another station
      {"ffffffffffff" + kPeerMac + "0007828203" + "01001008", true, 0},          // broadcast
      {"0180c2000001" + kPeerMac + "0007828203" + "01001008", true, 0},          // multicast
  };
  for (const Case& c : cases) {
    uint32_t before = link()->dropped;
    bacnetethernet_handle_frame(port_.get(), bytes(c.frame));
    EXPECT_EQ(up(), c.up ? std::vector<std::string>{kPeerMac + " 1008"} : std::vector<std::string>{}) << c.frame;
    EXPECT_EQ(link()->dropped - before, c.dropped) << c.frame;
  }
  EXPECT_TRUE(logged("7 Port 00 From 02 00 5E 00 00 02 :- 01 00 10 08 "));
}

TEST_F(Ethernet, AFrameTheAdapterRefusesIsCountedAndTraced)
{
  ASSERT_EQ(open("NIC=1;"), 0);
  host_.send_result = -1;
  ASSERT_EQ(send(kPeerMac, 2), 0);
  bacnetethernet_run_pass(port_.get());
  EXPECT_EQ(port_->send_failures, 1u);
  EXPECT_TRUE(logged("7 Port 00 Send failed to 02 00 5E 00 00 02, frame dropped"));
}

TEST_F(Ethernet, AReadErrorReopensAndAStopEndsThePass)
{
  ASSERT_EQ(open("NIC=1;"), 0);
  host_.inbox.push_back(bytes(kOwnMac + kPeerMac + "0007828203" + "01001008"));
  bacnetethernet_run_pass(port_.get());
  EXPECT_EQ(up().size(), 1u);
  EXPECT_EQ(port_->state, uint32_t(kPortRunning));
  host_.read_fails = true;
  bacnetethernet_run_pass(port_.get());
  EXPECT_EQ(port_->state, uint32_t(kPortReopen));
  EXPECT_EQ(link()->capture, nullptr);
  EXPECT_TRUE(logged("7 Error reading the adapter: the adapter went away"));

  host_.read_fails = false;
  network_destroy();
  ASSERT_EQ(open("NIC=1;"), 0);
  port_->running = 0;
  EXPECT_EQ(bacnetethernet_run(port_.get()), uint32_t(kPortStopped));
  EXPECT_EQ(link()->capture, nullptr);
}

}  // namespace
