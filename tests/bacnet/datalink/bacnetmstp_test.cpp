// The MS/TP datalink: its queues and what goes where, and a whole port run by the port manager
// on a pseudo-terminal, with the test playing the other station on the line.
#include "bacnet/datalink/bacnetmstp.h"
#include "bacnet/network/network_main.h"
#include "support/pty_pair.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>

namespace {

std::vector<uint8_t> frame(uint8_t type, uint8_t destination, uint8_t source, const std::string& data = "")
{
  std::vector<uint8_t> out;
  mstp_encode_frame(type, destination, source, bytes(data), &out);
  return out;
}

BACnetAddress station(uint8_t mac) { return address(3, {mac}); }

TEST(MstpNpdu, RequestsAreToldFromEverythingElse)
{
  const std::pair<const char*, bool> cases[] = {
      {"0104000501", true},                // confirmed request
      {"01001008", true},                  // unconfirmed request
      {"0120ffff00ff1008", true},          // global broadcast with hop count
      {"010800030103100800", true},        // with a source network
      {"012800030105000401021008", true},  // both
      {"0100300a0c", false},               // ComplexACK
      {"0100200a0f", false},               // SimpleACK
      {"01800100 05", false},              // network-layer message
      {"0120ffff", false},                 // cut short
      {"0200 1008", false},                // another version
      {"01401008", false},                 // reserved control bit
      {"01", false},
  };
  for (const auto& [npdu, request] : cases)
    EXPECT_EQ(mstp_npdu_is_request(bytes(npdu)), request) << npdu;
}

TEST(MstpSend, RequestsWaitForTheTokenAnswersForTheirRequesterAndNoFrameTooLongIsQueued)
{
  DatalinkPort port;
  port.link_type = kLinkMstp;
  port.net.address = station(7);
  port.link_data = bacnetmstp_make_link_data();
  MstpQueues& queues = bacnetmstp_link(&port)->queues;
  auto send = [&](const BACnetAddress& to, const std::vector<uint8_t>& npdu) {
    return bacnetmstp_send(&port, port.net.address, to, npdu, 1, 0);
  };
  std::vector<uint8_t> longest(kMstpMaxData, 0);
  longest[0] = 1;
  BACnetAddress ethernet = station(9);
  ethernet.mac_len = 6;
  EXPECT_EQ(send(BACnetAddress{kGlobalBroadcastNetwork, {}, 0}, bytes("01001008")), 0);
  EXPECT_EQ(send(station(9), bytes("0104000501")), 0);
  EXPECT_EQ(send(station(9), bytes("0100300a0c")), 0);
  EXPECT_EQ(send(station(9), longest), 0);
  longest.push_back(0);
  EXPECT_EQ(send(station(9), longest), -1);
  EXPECT_EQ(send(station(9), {}), -1);
  EXPECT_EQ(send(ethernet, bytes("01001008")), -1);
  EXPECT_EQ(queues.token.count(), 3u);
  EXPECT_EQ(queues.reply.count(), 1u);
  DatalinkQueueEntry first;
  ASSERT_TRUE(queues.token.get(first));
  EXPECT_EQ(hex(first.frame), "01001008");
  EXPECT_EQ(mstp_destination_station(first.destination), kMstpBroadcast);
  EXPECT_EQ(first.source, port.net.address);
  for (std::size_t i = 1; i < kDatalinkQueueSize; ++i)
    ASSERT_EQ(send(station(9), bytes("0100300a0c")), 0);
  EXPECT_EQ(send(station(9), bytes("0100300a0c")), -1);
}

std::mutex g_log_mutex;  // the port thread and the port manager both log
std::vector<std::string> g_log;
void capture_log(int level, const char* text)
{
  std::lock_guard<std::mutex> held(g_log_mutex);
  g_log.push_back(std::to_string(level) + " " + text);
}

std::vector<std::string> g_delivered;
int capture_apdu(uint8_t, const BACnetAddress& source, const BACnetAddress&, const NpduHeader& header)
{
  g_delivered.push_back(std::to_string(source.network) + "/" + std::to_string(source.mac[0]) + ":" +
                        hex({header.apdu, header.apdu_length}));
  return 0;
}

BACnetAddress g_local_port{};
int capture_local_port(uint8_t, int32_t, const BACnetAddress& address)
{
  g_local_port = address;
  return 0;
}

class MstpPortTest : public testing::Test {
protected:
  void SetUp() override
  {
    g_log.clear();
    g_delivered.clear();
    datalink_set_local_port_hook(capture_local_port);
    context_.log = capture_log;
    context_.options[kDatalinkTraceOption] = 1;
    context_.options[kMstpTraceOption] = 1;
    table_.max_apdu_code = 5;
  }
  void TearDown() override
  {
    datalink_close_all();
    network_destroy();
    datalink_set_local_port_hook(nullptr);
    bacnetmstp_set_trace(DriverContext{});
    ::unsetenv("ZOR17_COM9");
  }
  void set(int index, const std::string& connect)
  {
    std::snprintf(table_.records[index].connect, kConnectStringLength, "%s", connect.c_str());
  }

  DriverContext context_;
  ConnectStringTable table_;
};

// The next frame of `type` the port writes, past its polls of empty stations; empty when none
// comes within a few seconds.
std::vector<uint8_t> next_frame(const PtyPair& pty, uint8_t type)
{
  std::vector<uint8_t> wire;
  auto fill = [&](std::size_t size) {
    std::vector<uint8_t> more = pty.receive(size - std::min(size, wire.size()), 2000);
    wire.insert(wire.end(), more.begin(), more.end());
    return wire.size() >= size;
  };
  for (int i = 0; i < 50 && fill(kMstpHeaderLength); ++i) {
    std::size_t length = std::size_t(wire[5]) << 8 | wire[6];
    std::size_t size = kMstpHeaderLength + (length ? length + kMstpDataCrcLength : 0);
    if (!fill(size))
      break;
    std::vector<uint8_t> f(wire.begin(), wire.begin() + std::ptrdiff_t(size));
    wire.erase(wire.begin(), wire.begin() + std::ptrdiff_t(size));
    if (f[2] == type)
      return f;
  }
  return {};
}

TEST_F(MstpPortTest, APortOnItsLineHoldsItPassesFramesUpAndSendsWithTheToken)
{
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  set(0, "TYPE=BACNETMSTP;NETWORK=3;DEVICE=" + pty.path() + ";TS=12;MAX_MASTER=20;BAUDRATE=38400;");
  network_init(capture_apdu, nullptr, nullptr, nullptr);  // before the port thread hands anything up
  BACnetValue value{};
  EXPECT_EQ(bacnetmstp_read_device_property(PROP_MAX_MASTER, &value, 0), 1);  // no MS/TP port yet
  ASSERT_EQ(datalink_load_ports(&context_, &table_), 0) << table_.records[0].error;
  // The Device object's station settings are the port's.
  for (const auto& [property, setting] : {std::pair{PROP_MAX_MASTER, 20u}, {PROP_MAX_INFO_FRAMES, 50u}}) {
    ASSERT_EQ(bacnetmstp_read_device_property(property, &value, 0), 0) << property;
    EXPECT_EQ(value.tag, TAG_UNSIGNED);
    EXPECT_EQ(value.payload.unsigned_value, setting) << property;
  }
  EXPECT_EQ(bacnetmstp_read_device_property(PROP_MAX_MASTER, &value, 1), -1);
  DatalinkPort* port = datalink_find_port_by_network(3);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->net.address, station(12));
  EXPECT_EQ(port->net.max_apdu_code, 3);
  EXPECT_EQ(g_local_port, station(12));
  EXPECT_EQ(SerialPort::ProbePort(pty.path().c_str()), 2);

  // Both before the station's slot to claim the token comes, while it listens.
  pty.send(frame(kMstpDataNotExpectingReply, 12, 3, "0100100800"));
  for (int i = 0; i < 2000 && g_delivered.empty(); ++i) {
    network_poll();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(g_delivered, (std::vector<std::string>{"3/3:100800"}));
  BACnetAddress broadcast{kGlobalBroadcastNetwork, {}, 0};
  ASSERT_EQ(port->net.send(port, port->net.address, broadcast, bytes("01001008"), 0, 0), 0);
  pty.send(frame(kMstpToken, 12, 3));
  EXPECT_EQ(hex(next_frame(pty, kMstpDataNotExpectingReply)),
            hex(frame(kMstpDataNotExpectingReply, kMstpBroadcast, 12, "01001008")));

  datalink_close_all();
  for (const std::string prefix :
       {"9 Port 00 To   FF :- 01 00 10 08 ", "9 Port 00 From 03 :- 01 00 10 08 00 ",
        "9 MSTP Packet Sent 55 : Preamble FF : Preamble 06 : Frame Type Data Not expecting",
        "9 MSTP Packet Received 55 : Preamble FF : Preamble 06 : Frame Type Data Not",
        "13 Preparing to stop BACnetMSTP Datalink layer"})
    EXPECT_TRUE(std::any_of(g_log.begin(), g_log.end(), [&](const std::string& l) { return l.starts_with(prefix); }))
        << prefix;
  EXPECT_EQ(SerialPort::ProbePort(pty.path().c_str()), 0);
}

TEST_F(MstpPortTest, TheLineComesFromPortOrDeviceAndAFailureIsReported)
{
  PtyPair first, second;
  ::setenv("ZOR17_COM9", first.path().c_str(), 1);
  set(0, "TYPE=BACNETMSTP;NETWORK=4;PORT=9;TS=1;");
  set(1, "TYPE=BACNETMSTP;NETWORK=5;DEVICE=/dev/zor17-no-such-line;");
  set(2, "TYPE=BACNETMSTP;NETWORK=6;DEVICE=" + first.path() + ";TS=2;");  // held by network 4
  set(3, "TYPE=BACNETMSTP;NETWORK=7;PORT=9;DEVICE=" + second.path() + ";TS=3;");
  EXPECT_EQ(datalink_load_ports(&context_, &table_), -1);
  EXPECT_EQ(table_.records[0].status, 0);
  EXPECT_STREQ(table_.records[1].error, "Error Opening Com port");
  EXPECT_STREQ(table_.records[2].error, "Error Opening Com port");
  EXPECT_EQ(table_.records[3].status, 0);
  EXPECT_EQ(SerialPort::ProbePort(second.path().c_str()), 2);
}

}  // namespace
