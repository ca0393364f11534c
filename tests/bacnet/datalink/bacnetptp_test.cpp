// The point-to-point and Annex H ports as the port manager runs them: a point-to-point port on
// a pseudo-terminal with the test as its peer, its queue's limits, and the tunnel handing
// NPDUs back to the network layer.
#include "bacnet/datalink/anex_h.h"
#include "bacnet/datalink/bacnetmstp.h"
#include "bacnet/datalink/bacnetptp.h"
#include "bacnet/network/network_main.h"
#include "pty_pair.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <mutex>

namespace {

std::vector<uint8_t> frame(uint8_t type, const std::string& data = "")
{
  std::vector<uint8_t> out;
  ptp_encode_frame(type, bytes(data), &out);
  return out;
}

std::mutex g_mutex;
std::vector<std::string> g_log, g_delivered;

void capture_log(int level, const char* text)
{
  std::lock_guard<std::mutex> held(g_mutex);
  g_log.push_back(std::to_string(level) + " " + text);
}

int capture_apdu(uint8_t port, const BACnetAddress& source, const BACnetAddress& destination, const NpduHeader& h)
{
  std::lock_guard<std::mutex> held(g_mutex);
  g_delivered.push_back(std::to_string(port) + " " + std::to_string(source.network) + "/" + hex({source.mac, source.mac_len}) +
                        ">" + hex({destination.mac, destination.mac_len}) + ":" + hex({h.apdu, h.apdu_length}));
  return 0;
}

BACnetAddress address(uint32_t network, std::vector<uint8_t> mac)
{
  BACnetAddress a{};
  a.network = network;
  std::copy(mac.begin(), mac.end(), a.mac);
  a.mac_len = uint8_t(mac.size());
  return a;
}

class TunnelAndPtpPorts : public testing::Test {
protected:
  void SetUp() override
  {
    g_log.clear();
    g_delivered.clear();
    context_.log = capture_log;
    context_.options[kDatalinkTraceOption] = context_.options[kPtpTraceOption] = context_.options[kAnexHTraceOption] = 1;
    table_.max_apdu_code = 5;
  }
  void TearDown() override
  {
    datalink_close_all();
    network_destroy();
  }
  DatalinkPort* load(const std::string& connect, uint32_t network)
  {
    std::snprintf(table_.records[0].connect, kConnectStringLength, "%s", connect.c_str());
    EXPECT_EQ(datalink_load_ports(&context_, &table_), 0) << table_.records[0].error;
    network_init(capture_apdu, nullptr, nullptr, nullptr);
    return datalink_find_port_by_network(network);
  }
  std::vector<std::string> delivered(std::size_t count)
  {
    for (int i = 0; i < 2000; ++i) {
      network_poll();
      std::lock_guard<std::mutex> held(g_mutex);
      if (g_delivered.size() >= count)
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::lock_guard<std::mutex> held(g_mutex);
    return g_delivered;
  }
  bool logged(const std::string& line)
  {
    std::lock_guard<std::mutex> held(g_mutex);
    return std::find(g_log.begin(), g_log.end(), line) != g_log.end();
  }

  DriverContext context_;
  ConnectStringTable table_;
};

TEST_F(TunnelAndPtpPorts, APointToPointPortCallsConnectsCarriesNpdusAndHangsUp)
{
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  DatalinkPort* port = load("TYPE=BACNETPTP;NETWORK=6;DEVICE=" + pty.path() + ";CONNECT=1;PASSWORD=pw;", 6);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->net.address, address(6, {0}));
  EXPECT_EQ(port->net.max_apdu_code, 3);
  EXPECT_EQ(hex(pty.receive(8, 2000)), hex(std::vector<uint8_t>{'B', 'A', 'C', 'n', 'e', 't', '\r', 0}));
  EXPECT_EQ(port->net.link_state(port), 1);
  EXPECT_EQ(port->net.send(port, port->net.address, address(6, {1}), bytes("01001008"), 0, 0), -1);

  pty.send(frame(kPtpConnectRequest));
  const std::vector<uint8_t> response = frame(kPtpConnectResponse, hex(std::vector<uint8_t>{'p', 'w'}));
  const std::vector<uint8_t> heartbeat = frame(kPtpHeartbeatXon);
  std::vector<uint8_t> expected = response;
  expected.insert(expected.end(), heartbeat.begin(), heartbeat.end());
  EXPECT_EQ(hex(pty.receive(expected.size(), 2000)), hex(expected));
  EXPECT_EQ(port->net.link_state(port), kNetworkLinkUp);

  // A queued NPDU goes out at once; a data frame comes up from MAC 1 and is acknowledged.
  ASSERT_EQ(port->net.send(port, port->net.address, address(6, {1}), bytes("01001008"), 0, 0), 0);
  EXPECT_EQ(hex(pty.receive(frame(kPtpData0, "01001008").size(), 2000)), hex(frame(kPtpData0, "01001008")));
  pty.send(frame(kPtpDataAck0Xon));
  pty.send(frame(kPtpData0, "0100100800"));
  EXPECT_EQ(delivered(1), (std::vector<std::string>{"0 6/01>00:100800"}));
  EXPECT_EQ(hex(pty.receive(6, 2000)), hex(frame(kPtpDataAck0Xon)));

  datalink_close_all();
  // Hung up on request, it does not call again.
  EXPECT_EQ(hex(pty.receive(6 + 8, 500)), hex(frame(kPtpDisconnectRequest)));
  EXPECT_TRUE(logged("5 PTP 6 Sent      55 FF 02 00 04 20 01 00 10 90 08 BC F9"));
  EXPECT_TRUE(logged("13 Preparing to stop BACnetPTP Datalink layer"));
}

TEST(PtpSend, OnlyAnUpLinkTakesNpdusAndAtMostThirtyTwo)
{
  DatalinkPort port, mstp;
  port.link_data = bacnetptp_make_link_data();
  mstp.link_data = bacnetmstp_make_link_data();
  auto send = [](DatalinkPort* p, std::size_t size) { return bacnetptp_send(p, {}, {}, std::vector<uint8_t>(size, 1), 0, 0); };
  EXPECT_EQ(send(&port, 10), -1);
  bacnetptp_link(&port)->shared.link_state = kPtpConnected;
  EXPECT_EQ(send(&port, kPtpMaxData), 0);
  EXPECT_EQ(send(&port, kPtpMaxData + 1), -1);
  EXPECT_EQ(send(&port, 0), -1);
  EXPECT_EQ(send(&mstp, 10), -1);
  for (std::size_t i = 1; i < kPtpQueueSize; ++i)
    ASSERT_EQ(send(&port, 10), 0);
  EXPECT_EQ(send(&port, 10), -1);
}

TEST_F(TunnelAndPtpPorts, AnAnnexHPortHandsBackAllButGlobalBroadcasts)
{
  DatalinkPort* port = load("TYPE=BACNETANEXH;NETWORK=5;", 5);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->net.address, address(5, {0}));
  EXPECT_EQ(port->net.max_apdu_code, 3);

  const std::vector<uint8_t> apdu = bytes("1008");
  ASSERT_EQ(network_unit_data_request(address(kGlobalBroadcastNetwork, {}), apdu, 0, true, -1), 0);
  ASSERT_EQ(network_unit_data_request(address(5, {7}), apdu, 0, false, -1), 0);
  EXPECT_EQ(delivered(1), (std::vector<std::string>{"0 5/00>07:1008"}));
  EXPECT_TRUE(logged("12 Port 00 To   07 00 00 00 00 00 :- 01 00 10 08 "));
  EXPECT_TRUE(logged("12 Port 00 From 07 00 00 00 00 00 :- 01 00 10 08 "));

  std::vector<uint8_t> npdu(kAnexHMaxNpdu, 0);
  EXPECT_EQ(anex_h_enqueue_frame(port, {}, address(5, {7}), npdu, 0, 0), 0);
  npdu.push_back(0);
  EXPECT_EQ(anex_h_enqueue_frame(port, {}, address(5, {7}), npdu, 0, 0), -1);
  EXPECT_EQ(anex_h_enqueue_frame(port, {}, address(5, {7}), {}, 0, 0), -1);
}

}  // namespace
