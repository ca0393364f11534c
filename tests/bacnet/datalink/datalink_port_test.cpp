#include "bacnet/datalink/datalink_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex g_log_mutex;
std::vector<std::string> g_log;

void capture_log(int level, const char* text)
{
  std::lock_guard<std::mutex> held(g_log_mutex);
  g_log.push_back(std::to_string(level) + " " + text);
}

std::atomic<int> g_opens{0};
std::atomic<int> g_runs{0};
std::atomic<int> g_closes{0};
std::atomic<bool> g_reopen_once{false};

struct FakeLink : DatalinkLinkData {};

int fake_send(DatalinkPort*, const BACnetAddress&, const BACnetAddress&, std::span<const uint8_t>, uint8_t, uint8_t)
{
  return 0;
}

int fake_open(DatalinkPort* port)
{
  ++g_opens;
  std::string fail;
  if (datalink_param(port, "FAIL", &fail)) {
    if (fail != "SILENT")
      datalink_set_error(port, fail == "EMPTY" ? "" : fail.c_str());
    return -1;
  }
  port->state = kPortOpened;
  port->net.send = fake_send;
  port->net.address.mac_len = 1;
  port->net.address.mac[0] = 0x42;
  return 0;
}

uint32_t fake_run(DatalinkPort* port)
{
  int run = ++g_runs;
  if (run == 1 && g_reopen_once)
    return kPortReopenAfterSocketFailure;
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return port->running ? kPortRunning : kPortStopped;
}

void fake_close(DatalinkPort*) { ++g_closes; }

std::unique_ptr<DatalinkLinkData> fake_data() { return std::make_unique<FakeLink>(); }

// Link type 7 stands in for a datalink: the port manager runs it like any other.
class PortManager : public testing::Test {
protected:
  void SetUp() override
  {
    DatalinkLinkOps ops = *datalink_link_ops(kLinkAnexH);
    ops.make_link_data = fake_data;
    ops.open = fake_open;
    ops.run = fake_run;
    ops.close = fake_close;
    saved_ = datalink_set_link_ops(kLinkAnexH, ops);
    g_opens = g_runs = g_closes = 0;
    g_reopen_once = false;
    g_log.clear();
    context_.log = capture_log;
    context_.options[kDatalinkTraceOption] = 1;
  }
  void TearDown() override
  {
    datalink_close_all();
    network_destroy();
    datalink_set_link_ops(kLinkAnexH, saved_);
  }

  void set(int index, const char* connect) { std::snprintf(table_.records[index].connect, kConnectStringLength, "%s", connect); }
  const ConnectStringRecord& record(int index) const { return table_.records[index]; }
  bool logged(const std::string& line)
  {
    std::lock_guard<std::mutex> held(g_log_mutex);
    for (const auto& l : g_log)
      if (l == line)
        return true;
    return false;
  }

  DriverContext context_;
  ConnectStringTable table_;
  DatalinkLinkOps saved_;
};

TEST_F(PortManager, EveryCreationFailureLeavesItsTextAndTheOthersRun)
{
  set(1, "TYPE=BACNETIP;");
  set(2, "TYPE=bacnetip;NETWORK=1;");
  set(3, "NETWORK=1;");
  set(4, "TYPE=BACNETLON;NETWORK=4;");
  set(5, "TYPE=BACNETPTP;NETWORK=6;DEVICE=/dev/zor17-no-such-line;");
  set(6, "TYPE=BACNETANEXH;NETWORK=5;");
  set(7, "TYPE=BACNETANEXH;NETWORK=5;");
  set(8, "TYPE=BACNETANEXH;NETWORK=8;FAIL=Cannot open the fake link;");
  set(9, "TYPE=BACNETANEXH;NETWORK=9;FAIL=EMPTY;");
  set(10, "TYPE=BACNETANEXH;NETWORK=10;FAIL=SILENT;");
  set(11, "TYPE=BACNETANEXH;NETWORK=eleven;");
  set(12, "TYPE=BACNETANEXH;NETWORK=65535;");
  set(13, "TYPE=BACNETANEXH;NETWORK=0;");
  table_.max_apdu_code = 5;

  EXPECT_EQ(datalink_load_ports(&context_, &table_), -1);

  EXPECT_STREQ(record(1).error, "No Network Number");
  EXPECT_STREQ(record(2).error, "Invalid Link Layer Type");
  EXPECT_STREQ(record(3).error, "No Link Layer Type Specified");
  EXPECT_STREQ(record(4).error, "Memory Error");
  EXPECT_STREQ(record(5).error, "Error Opening Com port");
  EXPECT_STREQ(record(6).error, "");
  EXPECT_STREQ(record(7).error, "Network Number already assigned");
  EXPECT_STREQ(record(8).error, "Cannot open the fake link");
  EXPECT_STREQ(record(9).error, "unspecified error");
  EXPECT_STREQ(record(10).error, "Error creating link layer");
  EXPECT_STREQ(record(11).error, "Error creating link layer");
  EXPECT_STREQ(record(12).error, "Error creating link layer");
  EXPECT_STREQ(record(13).error, "Error creating link layer");
  for (int i : {1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13})
    EXPECT_EQ(record(i).status, 0xFF) << i;
  EXPECT_EQ(record(0).status, 0);
  EXPECT_EQ(record(6).status, 0);

  EXPECT_TRUE(logged("13 Loading Port 6 Connect String :- TYPE=BACNETANEXH;NETWORK=5;"));
  EXPECT_TRUE(logged("13 Failed to create link layer"));
  EXPECT_FALSE(logged("13 Loading Port 0 Connect String :- "));

  // The one good port runs and is known to the network layer; failed records were reused.
  DatalinkPort* port = datalink_find_port_by_network(5);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->running, 0xFF);
  EXPECT_EQ(port->net.max_apdu_code, 5);
  EXPECT_EQ(datalink_port_count(), 2u);
  ASSERT_EQ(network_port_count(), 1u);
  BACnetAddress own;
  ASSERT_EQ(network_get_port(0, &own), 0);
  EXPECT_EQ(own.network, 5u);
  EXPECT_EQ(own.mac[0], 0x42);

  datalink_close_all();
  EXPECT_EQ(g_closes, 1);
  EXPECT_EQ(datalink_port_count(), 0u);
  EXPECT_TRUE(logged("13 Preparing to stop Anex H Datalink layer"));
  EXPECT_TRUE(logged("13 Datalink layer stopped"));
}

TEST_F(PortManager, AnEmptyRecordIsNoConnectString)
{
  ConnectStringRecord empty;
  EXPECT_EQ(datalink_create_port(&empty, 3), -1);
  EXPECT_STREQ(empty.error, "No connect string");
  EXPECT_EQ(empty.status, 0xFF);
}

TEST_F(PortManager, ARunAskingForReopenHasThePortOpenedAgain)
{
  g_reopen_once = true;
  set(0, "TYPE=BACNETANEXH;NETWORK=3;");
  ASSERT_EQ(datalink_load_ports(&context_, &table_), 0);
  for (int i = 0; i < 5000 && g_runs < 3; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_GE(g_runs, 3);
  EXPECT_EQ(g_opens, 2);
  DatalinkPort* port = datalink_find_port_by_network(3);
  ASSERT_NE(port, nullptr);
  datalink_stop_port(port);
  EXPECT_EQ(port->link_type, uint32_t(kLinkFree));
  EXPECT_EQ(port->state, uint32_t(kPortStopped));
  EXPECT_EQ(g_closes, 1);
  EXPECT_EQ(datalink_find_port_by_network(3), nullptr);
}

TEST_F(PortManager, SetErrorCutsLongTexts)
{
  DatalinkPort port;
  datalink_set_error(&port, std::string(300, 'x').c_str());
  EXPECT_EQ(port.error_flag, -1);
  EXPECT_EQ(port.error_text.size(), 255u);
  datalink_set_error(&port, nullptr);
  EXPECT_EQ(port.error_text, "unspecified error");
}

TEST_F(PortManager, MaxApduIsServedPerNetwork)
{
  set(0, "TYPE=BACNETANEXH;NETWORK=7;");
  table_.max_apdu_code = 3;
  ASSERT_EQ(datalink_load_ports(&context_, &table_), 0);
  uint32_t length = 0;
  EXPECT_EQ(datalink_get_max_apdu(7, &length), 0);
  EXPECT_EQ(length, 480u);
  EXPECT_EQ(datalink_set_max_apdu(7, 1000), 0);
  EXPECT_EQ(datalink_get_max_apdu(7, &length), 0);
  EXPECT_EQ(length, 1024u);
  NetworkPort registered;
  ASSERT_EQ(network_find_port(7, &registered), 0);
  EXPECT_EQ(registered.max_apdu_code, 4);
  EXPECT_EQ(datalink_get_max_apdu(8, &length), 1);
  EXPECT_EQ(datalink_set_max_apdu(8, 480), 1);
}

TEST_F(PortManager, MaxApduAsTheDevicePropertyServesIt)
{
  set(0, "TYPE=BACNETANEXH;NETWORK=7;");
  table_.max_apdu_code = 3;
  ASSERT_EQ(datalink_load_ports(&context_, &table_), 0);
  BACnetValue value{};
  ASSERT_EQ(datalink_read_max_apdu(7, &value, 0), 0);
  EXPECT_EQ(value.tag, TAG_UNSIGNED);
  EXPECT_EQ(value.payload.unsigned_value, 480u);
  value.payload.unsigned_value = 1476;
  EXPECT_EQ(datalink_read_max_apdu(7, &value, 1), 0);
  uint32_t length = 0;
  ASSERT_EQ(datalink_get_max_apdu(7, &length), 0);
  EXPECT_EQ(length, 1476u);
  value.tag = TAG_REAL;
  EXPECT_EQ(datalink_read_max_apdu(7, &value, 1), 1);  // not an UNSIGNED
  EXPECT_EQ(datalink_read_max_apdu(8, &value, 0), 1);  // no port on network 8
}

}  // namespace
