// What the end-to-end runs do not reach: the limits of the point-to-point send queue, and the
// Annex H tunnel handing NPDUs back to the network layer.
#include "bacnet/datalink/anex_h.h"
#include "bacnet/datalink/bacnetmstp.h"
#include "bacnet/datalink/bacnetptp.h"
#include "bacnet/network/network_main.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Written by the port thread, read only after it has ended.
std::vector<std::string> g_log;
std::vector<std::string> g_delivered;  // on the test's own thread, from network_poll

void capture_log(int level, const char* text) { g_log.push_back(std::to_string(level) + " " + text); }

int capture_apdu(uint8_t port, const BACnetAddress& source, const BACnetAddress& destination, const NpduHeader& h)
{
  g_delivered.push_back(std::to_string(port) + " " + std::to_string(source.network) + "/" +
                        hex({source.mac, source.mac_len}) + ">" + hex({destination.mac, destination.mac_len}) + ":" +
                        hex({h.apdu, h.apdu_length}));
  return 0;
}

TEST(PtpSend, OnlyAnUpLinkTakesNpdusAndAtMostThirtyTwo)
{
  DatalinkPort port, mstp;
  port.link_data = bacnetptp_make_link_data();
  mstp.link_data = bacnetmstp_make_link_data();
  auto send = [](DatalinkPort* p, std::size_t size) {
    return bacnetptp_send(p, {}, {}, std::vector<uint8_t>(size, 1), 0, 0);
  };
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

TEST(AnexH, ThePortHandsBackAllButGlobalBroadcastsUpToItsSizeLimit)
{
  DriverContext context;
  context.log = capture_log;
  context.options[kAnexHTraceOption] = 1;
  ConnectStringTable table;
  table.max_apdu_code = 5;
  std::snprintf(table.records[0].connect, kConnectStringLength, "TYPE=BACNETANEXH;NETWORK=5;");
  ASSERT_EQ(datalink_load_ports(&context, &table), 0);
  network_init(capture_apdu, nullptr, nullptr, nullptr);
  DatalinkPort* port = datalink_find_port_by_network(5);
  EXPECT_EQ(port->net.address, address(5, {0}));
  EXPECT_EQ(port->net.max_apdu_code, 3);

  // The broadcast goes first: it would come back first.
  const std::vector<uint8_t> apdu = bytes("1008");
  ASSERT_EQ(network_unit_data_request(address(kGlobalBroadcastNetwork, {}), apdu, 0, true, -1), 0);
  ASSERT_EQ(network_unit_data_request(address(5, {7}), apdu, 0, false, -1), 0);
  for (int i = 0; i < 2000 && g_delivered.empty(); ++i) {
    network_poll();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(g_delivered, (std::vector<std::string>{"0 5/00>07:1008"}));

  std::vector<uint8_t> npdu(kAnexHMaxNpdu, 0);
  EXPECT_EQ(anex_h_enqueue_frame(port, {}, address(5, {7}), npdu, 0, 0), 0);
  npdu.push_back(0);
  EXPECT_EQ(anex_h_enqueue_frame(port, {}, address(5, {7}), npdu, 0, 0), -1);
  EXPECT_EQ(anex_h_enqueue_frame(port, {}, address(5, {7}), {}, 0, 0), -1);

  datalink_close_all();
  network_destroy();
  for (const char* line : {"12 Port 00 To   07 00 00 00 00 00 :- 01 00 10 08 ",
                           "12 Port 00 From 07 00 00 00 00 00 :- 01 00 10 08 "})
    EXPECT_NE(std::find(g_log.begin(), g_log.end(), line), g_log.end()) << line;
}

}  // namespace
