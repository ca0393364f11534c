// The BACnet/IP port driven pass by pass on a fake socket and a fake interface list: no
// datagram leaves the process.
#include "bacnet/datalink/bacnetip.h"
#include "bacnet/datalink/netif.h"
#include "bacnet/foundation/os_wrappers.h"
#include "test_bytes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <thread>

namespace {

constexpr uint32_t kOwnIp = 0x0A6F0101;   // 10.111.1.1
constexpr uint32_t kPeerIp = 0x0A6F0102;  // 10.111.1.2
constexpr uint32_t kBbmdIp = 0x0A6F0201;  // 10.111.2.1
const BipAddress kOwn{kOwnIp, 47808};
const BipAddress kPeer{kPeerIp, 47808};
const BipAddress kLocalBroadcast{0x0A6F01FF, 47808};
const char* const kNpdu = "01001008";              // Who-Is, no DNET
const char* const kBroadcastNpdu = "0120ffff00ff1008";

struct Sent {
  BipAddress to;
  std::string frame;
  bool broadcast;
  friend bool operator==(const Sent&, const Sent&) = default;
};
std::ostream& operator<<(std::ostream& os, const Sent& s)
{
  return os << std::hex << s.to.ip << ":" << std::dec << s.to.port << " " << s.frame << (s.broadcast ? " (b)" : "");
}

struct FakeWire {
  std::deque<std::pair<BipAddress, std::vector<uint8_t>>> inbox;
  uint32_t destination = kOwnIp;  // of every datagram in the inbox
  std::vector<Sent> sent;
  int open_result = 0;
  int opens = 0;
  bool receive_fails = false;
  bool send_fails = false;
  std::vector<uint16_t> bound;
  int idle_wait_ms = 0;
  std::atomic<int> idle_waits{0};
  std::atomic<int> sends{0};
  std::function<void()> on_receive;  // runs as a datagram is taken, as the stack thread might
};
FakeWire* g_wire = nullptr;

class FakeTransport : public BacnetIpTransport {
public:
  int open(uint16_t port) override
  {
    ++g_wire->opens;
    g_wire->bound.push_back(port);
    return g_wire->open_result;
  }
  // An empty wire waits on the port's wake-up alone, for `idle_wait_ms` in place of the pass's
  // few milliseconds: a test on the port thread sees whether something ends the wait.
  OsWake::Result wait_readable(DatalinkPort* port, int, int) override
  {
    if (!g_wire->inbox.empty() || g_wire->receive_fails)
      return OsWake::kReadable;
    ++g_wire->idle_waits;
    return datalink_wait_readable(port, -1, g_wire->idle_wait_ms);
  }
  int receive(uint8_t* buffer, std::size_t size, BipAddress* sender, uint32_t* destination) override
  {
    if (g_wire->receive_fails)
      return -1;
    if (g_wire->inbox.empty())
      return kNothingWaiting;
    auto [from, frame] = g_wire->inbox.front();
    g_wire->inbox.pop_front();
    *sender = from;
    *destination = g_wire->destination;
    std::size_t n = std::min(size, frame.size());
    std::copy_n(frame.begin(), n, buffer);
    if (g_wire->on_receive)
      g_wire->on_receive();
    return int(n);
  }
  int send(const BipAddress& target, std::span<const uint8_t> datagram, bool broadcast) override
  {
    if (g_wire->send_fails)
      return -1;
    g_wire->sent.push_back({target, hex(datagram), broadcast});
    ++g_wire->sends;
    return 0;
  }
};
std::unique_ptr<BacnetIpTransport> make_fake() { return std::make_unique<FakeTransport>(); }

class FixedInterfaces : public NetifSource {
public:
  std::vector<NetifAddress> list;
  std::vector<NetifAddress> ipv4_addresses() override { return list; }
};

struct Delivered {
  BACnetAddress source;
  BACnetAddress destination;
  std::string apdu;
};
std::vector<Delivered> g_delivered;

int capture_apdu(uint8_t, const BACnetAddress& source, const BACnetAddress& destination, const NpduHeader& header)
{
  g_delivered.push_back({source, destination, hex(std::span<const uint8_t>(header.apdu, header.apdu_length))});
  return 0;
}

std::vector<BACnetAddress> g_local_ports;
int capture_local_port(uint8_t, int32_t instance, const BACnetAddress& address)
{
  EXPECT_EQ(instance, -1);
  g_local_ports.push_back(address);
  return 0;
}

std::vector<std::string> g_trace;
void capture_trace(int level, const char* text) { g_trace.push_back(std::to_string(level) + " " + text); }

std::string result(uint16_t code) { return hex(bvlc_encode_result(code)); }

class BacnetIp : public testing::Test {
protected:
  void SetUp() override
  {
    g_wire = &wire_;
    bacnetip_set_transport_factory(make_fake);
    interfaces_.list = {{0x7F000001, 0xFF000000}, {kOwnIp, 0xFFFFFF00}, {0x0A6F0901, 0xFFFF0000}};
    netif_set_source(&interfaces_);
    os_set_clock(&clock_);
    datalink_set_local_port_hook(capture_local_port);
    g_delivered.clear();
    g_local_ports.clear();
    auto dir = std::filesystem::temp_directory_path() / ("zor17-bacnetip-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    bdt_path_ = (dir / "bdt.txt").string();
    std::filesystem::remove(bdt_path_);
  }
  void TearDown() override
  {
    if (port_)
      bacnetip_close(port_.get());
    network_destroy();
    datalink_set_local_port_hook(nullptr);
    bacnetip_set_transport_factory(nullptr);
    netif_set_source(nullptr);
    os_set_clock(nullptr);
    DriverContext off;
    bacnetip_set_trace(off);
    std::filesystem::remove_all(std::filesystem::path(bdt_path_).parent_path());
  }

  int open(const std::string& keys)
  {
    port_ = std::make_unique<DatalinkPort>();
    port_->link_type = kLinkBacnetIp;
    port_->net.handle = port_.get();
    port_->net.address.network = 1;
    port_->net.max_apdu_code = 5;
    port_->connect_string = "TYPE=BACNETIP;NETWORK=1;" + keys;
    port_->has_connect_string = true;
    port_->link_data = bacnetip_make_link_data();
    link()->bdt_path = bdt_path_;
    int r = bacnetip_open(port_.get());
    if (r == 0) {
      network_init_port(&port_->net);
      network_init(capture_apdu, nullptr, nullptr, nullptr);
    }
    port_->running = 0xFF;
    port_->state = kPortRunning;
    return r;
  }
  BacnetIpLink* link() { return bacnetip_link(port_.get()); }

  void receive(const BipAddress& from, const std::string& frame)
  {
    bacnetip_handle_frame(port_.get(), bip_to_bacnet_address(1, from), bytes(frame), false);
  }
  std::vector<Sent> sent()
  {
    auto s = std::move(wire_.sent);
    wire_.sent.clear();
    return s;
  }
  std::vector<Delivered> delivered()
  {
    network_poll();
    auto d = std::move(g_delivered);
    g_delivered.clear();
    return d;
  }
  int send_npdu(const BACnetAddress& to, std::size_t length)
  {
    std::vector<uint8_t> npdu(length, 0x01);
    return bacnetip_send(port_.get(), port_->net.address, to, npdu, 0, 0);
  }
  void tick_seconds(int n)
  {
    for (int i = 0; i < n; ++i)
      bacnetip_second_tick(port_.get());
  }
  std::string file_text()
  {
    std::ifstream in(bdt_path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  FakeWire wire_;
  FixedInterfaces interfaces_;
  ManualClock clock_;
  std::unique_ptr<DatalinkPort> port_;
  std::string bdt_path_;
};

TEST_F(BacnetIp, OpenTakesTheConfiguredInterfaceAndCapsTheApduAt480)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;UDPPORT=47809;"), 0);
  EXPECT_EQ(wire_.bound, (std::vector<uint16_t>{47809}));
  EXPECT_EQ(hex(std::span<const uint8_t>(port_->net.address.mac, 6)), "0a6f0101bac1");
  EXPECT_EQ(port_->net.address.mac_len, 6);
  EXPECT_EQ(link()->broadcast_ip, 0x0A6F01FFu);
  EXPECT_EQ(port_->net.max_apdu_code, 3);
  EXPECT_EQ(port_->state, uint32_t(kPortRunning));
  ASSERT_EQ(g_local_ports.size(), 1u);
  EXPECT_EQ(g_local_ports[0], port_->net.address);
  EXPECT_FALSE(link()->is_bbmd());
  EXPECT_FALSE(link()->is_foreign_device());
}

TEST_F(BacnetIp, AnUnknownConfiguredAddressLeavesTheLastInterface)
{
  ASSERT_EQ(open("IPADDRESS=192.168.7.7;"), 0);
  EXPECT_EQ(link()->own_ip, 0x0A6F0901u);
  EXPECT_EQ(link()->broadcast_ip, 0x0A6FFFFFu);
  EXPECT_EQ(link()->udp_port, 47808);
}

TEST_F(BacnetIp, NoUsableInterfaceFailsTheOpen)
{
  interfaces_.list = {{0x7F000001, 0xFF000000}, {0, 0}};
  EXPECT_NE(open("IPADDRESS=10.111.1.1;"), 0);
  EXPECT_EQ(port_->error_text, "Error Binding to Socket");
  EXPECT_EQ(link()->transport, nullptr);
}

TEST_F(BacnetIp, AStopRequestEndsTheBindAttempts)
{
  wire_.open_result = -1;
  port_ = nullptr;
  testing::internal::CaptureStderr();
  auto port = std::make_unique<DatalinkPort>();
  port->link_type = kLinkBacnetIp;
  port->connect_string = "TYPE=BACNETIP;NETWORK=1;";
  port->has_connect_string = true;
  port->link_data = bacnetip_make_link_data();
  port->stop_requested = true;
  EXPECT_NE(bacnetip_open(port.get()), 0);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(wire_.opens, 1);
  EXPECT_EQ(port->error_text, "Error Binding to Socket");
  EXPECT_NE(err.find("error binding to socket\n"), std::string::npos);
}

TEST_F(BacnetIp, SendQueuesNpdusOfUpTo2052Octets)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;"), 0);
  BACnetAddress peer = bip_to_bacnet_address(1, kPeer);
  EXPECT_EQ(send_npdu(peer, 2053), -1);
  EXPECT_EQ(send_npdu(peer, 0), -1);
  ASSERT_EQ(send_npdu(peer, 2052), 0);
  bacnetip_run_pass(port_.get());
  auto out = sent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].frame.size(), 2 * 2056u);
  EXPECT_EQ(out[0].frame.substr(0, 8), "810a0808");
  EXPECT_EQ(out[0].to, kPeer);
  EXPECT_FALSE(out[0].broadcast);
}

TEST_F(BacnetIp, AUnicastWithoutAnIpAddressIsRefusedAtOnce)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;"), 0);
  BACnetAddress nowhere;
  nowhere.network = 1;
  EXPECT_EQ(send_npdu(nowhere, 4), -1);
  EXPECT_EQ(link()->queue.count(), 0u);
}

TEST_F(BacnetIp, ABroadcastGoesToTheInterfacesBroadcastAddress)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;"), 0);
  BACnetAddress all;
  all.network = kGlobalBroadcastNetwork;
  ASSERT_EQ(bacnetip_send(port_.get(), port_->net.address, all, bytes(kBroadcastNpdu), 0, 0), 0);
  bacnetip_run_pass(port_.get());
  EXPECT_EQ(sent(), (std::vector<Sent>{{kLocalBroadcast, "810b000c0120ffff00ff1008", true}}));
}

TEST_F(BacnetIp, APassSendsEveryQueuedFrameOldestFirst)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;"), 0);
  BACnetAddress peer = bip_to_bacnet_address(1, kPeer);
  for (int i = 0; i < 256; ++i)
    ASSERT_EQ(send_npdu(peer, 1 + i), 0);
  EXPECT_EQ(send_npdu(peer, 1), -1);
  bacnetip_run_pass(port_.get());
  auto out = sent();
  ASSERT_EQ(out.size(), 256u);
  EXPECT_EQ(out[0].frame, "810a000501");  // oldest first
  EXPECT_EQ(out[255].frame.size(), 2 * (4 + 256u));
  EXPECT_EQ(link()->queue.count(), 0u);
}

TEST_F(BacnetIp, AFrameQueuedWhileReceivingLeavesBeforeTheNextDatagramIsRead)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;"), 0);
  for (int i = 0; i < 3; ++i)
    wire_.inbox.push_back({kPeer, bytes("810a000801001008")});
  wire_.on_receive = [this] {
    wire_.on_receive = nullptr;
    send_npdu(bip_to_bacnet_address(1, kPeer), 1);
  };
  bacnetip_run_pass(port_.get());
  EXPECT_EQ(wire_.inbox.size(), 2u);
  EXPECT_TRUE(sent().empty());
  bacnetip_run_pass(port_.get());
  EXPECT_EQ(sent(), (std::vector<Sent>{{kPeer, "810a000501", false}}));
  EXPECT_TRUE(wire_.inbox.empty());
  EXPECT_EQ(delivered().size(), 3u);
}

// The port thread's idle wait lasts a minute on this wire: only its wake-up ends the wait in time,
// for a queued frame and then for a stop as the port manager makes it.
TEST_F(BacnetIp, AQueuedFrameAndAStopEndThePortThreadsWaitAtOnce)
{
  auto eventually = [](const std::function<bool()>& done) {
    for (int i = 0; i < 10000 && !done(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
  };
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;"), 0);
  wire_.idle_wait_ms = 60000;
  auto ended = std::async(std::launch::async, [this] { return bacnetip_run(port_.get()); });
  EXPECT_TRUE(eventually([this] { return wire_.idle_waits > 0; }));
  const int waits = wire_.idle_waits;
  EXPECT_EQ(send_npdu(bip_to_bacnet_address(1, kPeer), 4), 0);
  EXPECT_TRUE(eventually([&] { return wire_.sends > 0 && wire_.idle_waits > waits; }));  // asleep again
  port_->stop_requested = true;
  port_->running = 0;
  datalink_wake(port_.get());
  ASSERT_EQ(ended.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(ended.get(), uint32_t(kPortStopped));
  EXPECT_EQ(sent(), (std::vector<Sent>{{kPeer, "810a000801010101", false}}));
  EXPECT_EQ(link()->transport, nullptr);
}

TEST_F(BacnetIp, APortThatIsNoBbmdAnswersManagementFunctionsWithTheirNaks)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;"), 0);
  const std::pair<const char*, uint16_t> cases[] = {
      {"8101000e0a6f0102bac0ffffffff", kBvlcWriteBdtNak},
      {"81020004", kBvlcReadBdtNak},
      {"810500060078", kBvlcRegisterForeignDeviceNak},
      {"81060004", kBvlcReadFdtNak},
      {"8108000a0a6f0102bac0", kBvlcDeleteFdtEntryNak},
      {"8109000801001008", kBvlcDistributeBroadcastNak},
  };
  for (auto [frame, code] : cases) {
    receive(kPeer, frame);
    EXPECT_EQ(sent(), (std::vector<Sent>{{kPeer, result(code), false}})) << frame;
  }
  EXPECT_TRUE(delivered().empty());
}

TEST_F(BacnetIp, AcksUnknownFunctionsAndBadLengthsAreDropped)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;"), 0);
  for (const char* frame : {"81030004", "81070004", "810c0004", "810a000a01001008", "810a0008010010", "8100",
                            "800a000801001008", "81000005ff", "8104000901020304"})
    receive(kPeer, frame);
  EXPECT_TRUE(sent().empty());
  EXPECT_TRUE(delivered().empty());
}

TEST_F(BacnetIp, UnicastsAndBroadcastsGoUpWithTheirSender)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;"), 0);
  receive(kPeer, "810a000801001008");
  receive(kPeer, "810b000c0120ffff00ff1008");
  receive(kOwn, "810b000c0120ffff00ff1008");  // our own broadcast coming back
  auto up = delivered();
  ASSERT_EQ(up.size(), 3u);
  EXPECT_EQ(up[0].source, bip_to_bacnet_address(1, kPeer));
  EXPECT_EQ(up[0].destination, port_->net.address);
  EXPECT_EQ(up[0].apdu, "1008");
  EXPECT_EQ(up[1].source, bip_to_bacnet_address(1, kPeer));
  EXPECT_EQ(up[2].source, port_->net.address);
  EXPECT_TRUE(sent().empty());
}

TEST_F(BacnetIp, ReceivedDatagramsAreTracedAndHandledUpToTenAPass)
{
  DriverContext context;
  context.log = capture_trace;
  context.options[kBacnetIpTraceOption] = 1;
  bacnetip_set_trace(context);
  g_trace.clear();
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;"), 0);
  for (int i = 0; i < 12; ++i)
    wire_.inbox.push_back({kPeer, bytes("810a000801001008")});
  bacnetip_run_pass(port_.get());
  EXPECT_EQ(wire_.inbox.size(), 2u);
  EXPECT_EQ(delivered().size(), 10u);
  ASSERT_FALSE(g_trace.empty());
  EXPECT_EQ(g_trace[0], "8 Port 00 From 10.111.1.2 (BAC0):- 81 0A 00 08 01 00 10 08 ");
  receive(kPeer, "81020004");
  EXPECT_EQ(g_trace.back(), "8 Port 00 To   10.111.1.2 (BAC0):- 81 00 00 06 00 20 ");
}

TEST_F(BacnetIp, ADatagramThatCannotBeSentIsCountedAndTraced)
{
  DriverContext context;
  context.log = capture_trace;
  context.options[kBacnetIpTraceOption] = 1;
  bacnetip_set_trace(context);
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;"), 0);
  wire_.send_fails = true;
  g_trace.clear();
  ASSERT_EQ(send_npdu(bip_to_bacnet_address(1, kPeer), 1), 0);
  bacnetip_run_pass(port_.get());
  EXPECT_EQ(port_->send_failures, 1u);
  EXPECT_EQ(g_trace, (std::vector<std::string>{"8 Port 00 To   10.111.1.2 (BAC0):- 81 0A 00 05 01 ",
                                               "8 Port 00 Send failed to 10.111.1.2 (BAC0), datagram dropped"}));
  wire_.send_fails = false;
  ASSERT_EQ(send_npdu(bip_to_bacnet_address(1, kPeer), 1), 0);
  bacnetip_run_pass(port_.get());
  EXPECT_EQ(port_->send_failures, 1u);
  EXPECT_EQ(sent().size(), 1u);
}

TEST_F(BacnetIp, ValuesThatDoNotParseRefuseTheOpen)
{
  const std::string ip = "IPADDRESS=10.111.1.1;";
  const std::string refused[] = {
      "IPADDRESS=abc;",          "IPADDRESS=10.111.1;",    "IPADDRESS=10.111.1.1.5;",
      "IPADDRESS=10.111.1.256;", "IPADDRESS=10.111.1.1 ;", ip + "UDPPORT=abc;",
      ip + "UDPPORT=0;",         ip + "UDPPORT=65536;",     ip + "UDPPORT=47808x;",
      ip + "UDPPORT=;",          ip + "BBMDIPADDRESS=bbmd;", ip + "BBMDPORTNO=x;",
      ip + "ETH=one;",           ip + "BBMDMAXFOREIGNDEVICES=4 ;", ip + "FOREIGNDEVICEEXPIRYTIME=1e3;",
  };
  for (const std::string& keys : refused) {
    wire_.opens = 0;
    EXPECT_NE(open(keys), 0) << keys;
    EXPECT_EQ(wire_.opens, 0) << keys;
    EXPECT_FALSE(port_->error_flag) << keys;  // the port manager reports its own text
  }
  // Counts and times out of bounds still parse and are clamped.
  ASSERT_EQ(open(ip + "UDPPORT=65535;BBMDMAXFOREIGNDEVICES=-3;FOREIGNDEVICEEXPIRYTIME=+30;"), 0);
  EXPECT_EQ(link()->udp_port, 65535);
  EXPECT_FALSE(link()->is_bbmd());
  EXPECT_EQ(link()->registration_ttl, 60);
}

TEST_F(BacnetIp, AnIdlePassEndsThePortOnceAskedToStop)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;"), 0);
  bacnetip_run_pass(port_.get());
  EXPECT_EQ(port_->state, uint32_t(kPortRunning));
  port_->running = 0;
  EXPECT_EQ(bacnetip_run(port_.get()), uint32_t(kPortStopped));
  EXPECT_EQ(link()->transport, nullptr);
}

TEST_F(BacnetIp, AReceiveErrorAsksForAReopenThatStartsAfresh)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;"), 0);
  BACnetAddress peer = bip_to_bacnet_address(1, kPeer);
  wire_.receive_fails = true;
  EXPECT_EQ(bacnetip_run(port_.get()), uint32_t(kPortReopenAfterSocketFailure));
  EXPECT_EQ(link()->transport, nullptr);
  wire_.receive_fails = false;
  for (int i = 0; i < 8; ++i)
    ASSERT_EQ(send_npdu(peer, 4), 0);
  ASSERT_EQ(bacnetip_open(port_.get()), 0);
  EXPECT_EQ(wire_.opens, 2);
  EXPECT_EQ(link()->queue.count(), 0u);
  EXPECT_NE(link()->transport, nullptr);
}

TEST_F(BacnetIp, TheSecondTickRunsOnTheMonotonicClock)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;BBMDIPADDRESS=10.111.2.1;"), 0);
  clock_.advance_ms(999);
  bacnetip_run_pass(port_.get());
  EXPECT_EQ(link()->ticks, 0u);
  clock_.set_wall(1000000);  // the wall clock has no say
  bacnetip_run_pass(port_.get());
  EXPECT_EQ(link()->ticks, 0u);
  clock_.advance_ms(1);
  bacnetip_run_pass(port_.get());
  EXPECT_EQ(link()->ticks, 1u);
  EXPECT_EQ(sent(), (std::vector<Sent>{{{kBbmdIp, 47808}, "810500060078", false}}));
}

TEST_F(BacnetIp, AForeignDeviceRegistersWithAtLeastSixtySecondsAndRenewsEarly)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;BBMDIPADDRESS=10.111.2.1;BBMDPORTNO=47809;FOREIGNDEVICEEXPIRYTIME=30;"), 0);
  const Sent registration{{kBbmdIp, 47809}, "81050006003c", false};
  tick_seconds(1);
  EXPECT_EQ(sent(), std::vector<Sent>{registration});
  tick_seconds(30);
  EXPECT_TRUE(sent().empty());
  tick_seconds(1);
  EXPECT_EQ(sent(), std::vector<Sent>{registration});
  tick_seconds(31);
  EXPECT_EQ(sent(), std::vector<Sent>{registration});
}

TEST_F(BacnetIp, AForeignDeviceRelaysItsOwnBroadcastOnlyWhileRegistered)
{
  ASSERT_EQ(open("IPADDRESS=10.111.1.1;BBMDIPADDRESS=10.111.2.1;"), 0);
  receive(kOwn, "810b000c0120ffff00ff1008");
  EXPECT_TRUE(sent().empty());
  receive({kBbmdIp, 1}, result(kBvlcSuccess));  // by IP address alone
  EXPECT_EQ(link()->registered, 1);
  receive(kOwn, "810b000c0120ffff00ff1008");
  EXPECT_EQ(sent(), (std::vector<Sent>{{{kBbmdIp, 47808}, "8109000c0120ffff00ff1008", false}}));
  receive(kPeer, result(kBvlcRegisterForeignDeviceNak));  // not our BBMD
  EXPECT_EQ(link()->registered, 1);
  receive({kBbmdIp, 47808}, result(kBvlcRegisterForeignDeviceNak));
  EXPECT_EQ(link()->registered, 0);
  receive(kOwn, "810b000c0120ffff00ff1008");
  EXPECT_TRUE(sent().empty());
  EXPECT_EQ(delivered().size(), 3u);
}

class Bbmd : public BacnetIp {
protected:
  const BipAddress kPeerBbmd{kBbmdIp, 47808};
  const BipAddress kForeign{0x0A6F0301, 47808};
  const BipAddress kForeign2{0x0A6F0302, 47808};

  void open_bbmd()
  {
    std::ofstream(bdt_path_, std::ios::binary) << "0A6F0201BAC0FFFFFFFF\r";
    ASSERT_EQ(open("IPADDRESS=10.111.1.1;BBMDMAXFOREIGNDEVICES=2;"), 0);
  }
};

TEST_F(Bbmd, OpensWithItselfFirstAndThePeersOfBdtTxt)
{
  open_bbmd();
  EXPECT_EQ(link()->bdt, (std::vector<BdtEntry>{{kOwnIp, 47808, 0xFFFFFFFF}, {kBbmdIp, 47808, 0xFFFFFFFF}}));
  receive(kPeer, "81020004");
  EXPECT_EQ(sent(), (std::vector<Sent>{{kPeer, "810300180a6f0101bac0ffffffff0a6f0201bac0ffffffff", false}}));
}

TEST_F(Bbmd, WriteBdtReplacesTheTableAndWritesTheFile)
{
  open_bbmd();
  receive(kPeer, "810100180a6f0101bac0ffffffff0a6f0301bac1ffffff00");
  EXPECT_EQ(sent(), (std::vector<Sent>{{kPeer, result(kBvlcSuccess), false}}));
  EXPECT_EQ(file_text(), "0A6F0101BAC0FFFFFFFF\r0A6F0301BAC1FFFFFF00\r");
  receive(kPeer, "81020004");
  EXPECT_EQ(sent()[0].frame, "810300180a6f0101bac0ffffffff0a6f0301bac1ffffff00");

  for (const char* bad : {"81010004", "8101000d0a6f0101bac0ffffff"}) {
    receive(kPeer, bad);
    EXPECT_EQ(sent(), (std::vector<Sent>{{kPeer, result(kBvlcWriteBdtNak), false}})) << bad;
  }
  EXPECT_EQ(link()->bdt.size(), 2u);
  EXPECT_EQ(file_text(), "0A6F0101BAC0FFFFFFFF\r0A6F0301BAC1FFFFFF00\r");
}

TEST_F(Bbmd, ARegisteredForeignDeviceIsListedUntilItsTimeRunsOut)
{
  open_bbmd();
  receive(kForeign, "810500060064");  // 100 s
  EXPECT_EQ(sent(), (std::vector<Sent>{{kForeign, result(kBvlcSuccess), false}}));
  receive(kPeer, "81060004");
  EXPECT_EQ(sent()[0].frame, "8107000e0a6f0301bac000640082");
  tick_seconds(129);
  receive(kPeer, "81060004");
  EXPECT_EQ(sent()[0].frame, "8107000e0a6f0301bac000640001");
  tick_seconds(1);
  receive(kPeer, "81060004");
  EXPECT_EQ(sent()[0].frame, "81070004");
}

TEST_F(Bbmd, RegisterAndDeleteNeedTheirFullLength)
{
  open_bbmd();
  for (const char* bad : {"8105000500", "81050004", "81050007007800"}) {
    receive(kForeign, bad);
    EXPECT_EQ(sent(), (std::vector<Sent>{{kForeign, result(kBvlcRegisterForeignDeviceNak), false}})) << bad;
  }
  receive(kForeign, "810500060078");
  sent();
  for (const char* bad : {"810800090a6f0301ba", "81080004", "8108000b0a6f0301bac000"}) {
    receive(kPeer, bad);
    EXPECT_EQ(sent(), (std::vector<Sent>{{kPeer, result(kBvlcDeleteFdtEntryNak), false}})) << bad;
  }
  receive(kPeer, "8108000a0a6f0301bac0");
  EXPECT_EQ(sent(), (std::vector<Sent>{{kPeer, result(kBvlcSuccess), false}}));
  receive(kPeer, "8108000a0a6f0301bac0");
  EXPECT_EQ(sent(), (std::vector<Sent>{{kPeer, result(kBvlcDeleteFdtEntryNak), false}}));
}

TEST_F(Bbmd, AFullForeignDeviceTableRefusesTheNextDevice)
{
  open_bbmd();
  receive(kForeign, "81050006003c");
  receive(kForeign2, "81050006003c");
  sent();
  receive({0x0A6F0303, 47808}, "81050006003c");
  EXPECT_EQ(sent()[0].frame, result(kBvlcRegisterForeignDeviceNak));
}

TEST_F(Bbmd, DistributeGoesToTheSubnetThePeersAndTheOtherForeignDevices)
{
  open_bbmd();
  receive(kForeign, "81050006003c");
  receive(kForeign2, "81050006003c");
  sent();
  receive(kForeign, "8109000c0120ffff00ff1008");
  const std::string forwarded = "81040012" "0a6f0301bac0" "0120ffff00ff1008";
  EXPECT_EQ(sent(), (std::vector<Sent>{{kLocalBroadcast, forwarded, true},
                                        {kPeerBbmd, forwarded, false},
                                        {kForeign2, forwarded, false}}));
  EXPECT_TRUE(delivered().empty());
  // The subnet copy comes back from ourselves and goes up once, from the foreign device.
  receive(kOwn, forwarded);
  EXPECT_TRUE(sent().empty());
  auto up = delivered();
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(up[0].source, bip_to_bacnet_address(1, kForeign));
}

TEST_F(Bbmd, ALocalBroadcastGoesToThePeersAndForeignDevicesAndUp)
{
  open_bbmd();
  receive(kForeign, "81050006003c");
  sent();
  receive(kPeer, "810b000c0120ffff00ff1008");
  const std::string forwarded = "81040012" "0a6f0102bac0" "0120ffff00ff1008";
  EXPECT_EQ(sent(), (std::vector<Sent>{{kPeerBbmd, forwarded, false}, {kForeign, forwarded, false}}));
  EXPECT_EQ(delivered().size(), 1u);
}

TEST_F(Bbmd, AForwardFromAPeerIsRebroadcastAndGoesUpWhenItComesBack)
{
  open_bbmd();
  receive(kForeign, "81050006003c");
  sent();
  const std::string forwarded = "81040012" "0a6f0202bac0" "0120ffff00ff1008";
  receive(kPeerBbmd, forwarded);
  EXPECT_EQ(sent(), (std::vector<Sent>{{kLocalBroadcast, forwarded, true}, {kForeign, forwarded, false}}));
  EXPECT_TRUE(delivered().empty());
  receive(kOwn, forwarded);
  EXPECT_TRUE(sent().empty());
  auto up = delivered();
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(up[0].source, bip_to_bacnet_address(1, {0x0A6F0202, 47808}));
}

TEST_F(Bbmd, AForwardThatReachedTheSubnetAlreadyGoesUpAtOnce)
{
  open_bbmd();
  receive(kForeign, "81050006003c");
  receive(kPeer, "810100220a6f0101bac0ffffffff0a6f0201bac0ffffffff0a6f0102bac0ffffffff");
  sent();
  const std::string forwarded = "81040012" "0a6f0202bac0" "0120ffff00ff1008";
  // A peer's forward as a broadcast, a peer's on our own subnet, a stranger's from elsewhere.
  const std::pair<BipAddress, uint32_t> cases[] = {
      {kPeerBbmd, 0x0A6F01FF}, {kPeerBbmd, 0xFFFFFFFF}, {kPeer, kOwnIp}, {{0x0A6F0202, 47808}, kOwnIp}};
  for (auto [from, to] : cases) {
    wire_.inbox.push_back({from, bytes(forwarded)});
    wire_.destination = to;
    bacnetip_run_pass(port_.get());
    EXPECT_EQ(sent(), (std::vector<Sent>{{kForeign, forwarded, false}})) << std::hex << from.ip << " to " << to;
    EXPECT_EQ(delivered().size(), 1u);
  }
}

TEST_F(Bbmd, WithoutAHostMaskForItselfAForwardGoesUpAtOnce)
{
  open_bbmd();
  receive(kPeer, "810100180a6f0101bac0ffffff000a6f0201bac0ffffffff");
  sent();
  receive(kPeerBbmd, "81040012" "0a6f0202bac0" "0120ffff00ff1008");
  EXPECT_TRUE(sent().empty());
  EXPECT_EQ(delivered().size(), 1u);
  // A peer behind a subnet mask gets a directed broadcast.
  receive(kPeer, "810b000c0120ffff00ff1008");
  receive(kPeer, "810100180a6f0101bac0ffffffff0a6f0201bac0ffffff00");
  sent();
  receive(kPeer, "810b000c0120ffff00ff1008");
  auto out = sent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].to, (BipAddress{0x0A6F02FF, 47808}));
  EXPECT_TRUE(out[0].broadcast);
}

}  // namespace
