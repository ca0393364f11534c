// The API port on 127.0.0.1 (an ephemeral TCP port), opened by the port manager from its
// connect string, with well-behaved and hostile clients on real sockets.
#include "api_test_util.h"

#include "backend/api/api_server.h"
#include "bacnet/datalink/datalink_port.h"
#include "bacnet/foundation/os_wrappers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

using namespace api_test;

namespace {

bool eventually(const std::function<bool()>& done, int timeout_ms = 3000)
{
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

constexpr uint32_t kStart = 1700000000;

class ApiServer : public ::testing::Test {
protected:
  void SetUp() override
  {
    clock.set_wall(kStart);
    os_set_clock(&clock);
    api_install_link_type();
    ConnectStringTable table;
    std::snprintf(table.records[0].connect, sizeof table.records[0].connect, "%s", connect);
    DriverContext context;
    ASSERT_EQ(datalink_load_ports(&context, &table), 0) << table.records[0].error;
    port = datalink_port_at(0);
    tcp_port = api_listening_port(port);
    ASSERT_NE(tcp_port, 0);
  }
  void TearDown() override
  {
    datalink_close_all();
    EXPECT_EQ(api_client_count(), 0u);
    os_set_clock(nullptr);
  }

  // Lets the port thread reap (every 100 ms of its clock) at the wall-clock second `wall`
  // until `n` connections are left.
  bool reaped_down_to(std::size_t n, uint32_t wall, int tries = 600)
  {
    for (int i = 0; i < tries; ++i) {
      if (api_client_count() == n)
        return true;
      clock.advance_ms(kApiReapIntervalMs);
      clock.set_wall(wall);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return api_client_count() == n;
  }

  std::unique_ptr<TcpClient> client()
  {
    auto c = std::make_unique<TcpClient>(tcp_port);
    EXPECT_TRUE(c->connected());
    return c;
  }

  // A client that the server has taken up: it answered a request.
  std::unique_ptr<TcpClient> answered_client()
  {
    auto c = client();
    EXPECT_TRUE(c->send(request(1, 401)));
    EXPECT_TRUE(c->read_message().has_value());
    return c;
  }

  const char* connect = "TYPE=BACNETAPI;NETWORK=9;IPADDRESS=127.0.0.1;PORT=0;";
  ManualClock clock;
  DatalinkPort* port = nullptr;
  uint16_t tcp_port = 0;
};

}  // namespace

TEST(ApiServerConfig, ConnectStringWithoutPortListensOn5003WithTenUsers)
{
  struct Case {
    const char* connect;
    int result;
    uint16_t port;
    std::size_t user_words;
  } cases[] = {
      {"TYPE=BACNETAPI;NETWORK=9;", 0, 5003, 30},
      {"TYPE=BACNETAPI;NETWORK=9;PORT=6000;MAXUSERS=2;", 0, 6000, 6},
      {"TYPE=BACNETAPI;NETWORK=9;MAXUSERS=-1;", -1, 5003, 0},
      {"TYPE=BACNETAPI;NETWORK=9;MAXUSERS=4000000000;", -1, 5003, 0},
      {"TYPE=BACNETAPI;NETWORK=9;IPADDRESS=localhost;", -1, 5003, 0},
  };
  for (const Case& c : cases) {
    DatalinkPort port;
    port.link_type = kLinkApi;
    port.connect_string = c.connect;
    port.has_connect_string = true;
    port.link_data = std::make_unique<ApiPortData>();
    EXPECT_EQ(api_read_config(&port), c.result) << c.connect;
    auto* data = static_cast<ApiPortData*>(port.link_data.get());
    EXPECT_EQ(data->tcp_port, c.port) << c.connect;
    EXPECT_EQ(data->user_slots.size(), c.user_words) << c.connect;
  }
}

// A zero-length frame is skipped; the replies of pipelined requests follow in order.
TEST_F(ApiServer, RepliesComeBackAsFramesInOrder)
{
  auto c = client();
  ASSERT_TRUE(c->send_raw("00000000"));
  for (uint32_t id = 1; id <= 3; ++id)
    ASSERT_TRUE(c->send(request(id, 501)));
  for (uint32_t id = 1; id <= 3; ++id) {
    auto payload = c->read_frame();
    ASSERT_TRUE(payload.has_value());
    EXPECT_EQ(*payload, (Bytes{}.u8(0).u8(0).u8(0).u32(id).u32(501).data));
  }
}

// Closed clients go at the next reaping, except after a keep-client request (501), which
// holds the record until more than 120 s after the last request. Half frames do not stall
// the others and end after thirty silent seconds.
TEST_F(ApiServer, ReapingFollowsTheClientStateAndSilence)
{
  auto kept = client();
  ASSERT_TRUE(kept->send(request(1, 501)));
  ASSERT_TRUE(kept->read_message().has_value());
  auto done = client();
  ASSERT_TRUE(done->send(request(1, 502)));
  ASSERT_TRUE(done->read_message().has_value());
  auto vanishing = client();
  ASSERT_TRUE(vanishing->send_raw(frame(request(1, 401)).substr(0, 12)));
  auto half_header = client();
  ASSERT_TRUE(half_header->send_raw("0000"));
  auto half_payload = client();
  ASSERT_TRUE(half_payload->send_raw("00000100" + std::string(40, '\0')));
  auto good = answered_client();
  ASSERT_TRUE(eventually([] { return api_client_count() == 6; }));
  for (TcpClient* c : {kept.get(), done.get(), vanishing.get()})
    c->hang_up();
  EXPECT_TRUE(reaped_down_to(4, kStart + 1));
  // The silent clients' threads notice the time on their next look (at most 100 ms apart).
  EXPECT_FALSE(reaped_down_to(3, kStart + 30, 60));
  // The good client spoke last 31 s ago as well, so it goes too.
  EXPECT_TRUE(reaped_down_to(1, kStart + 31));
  EXPECT_TRUE(half_header->closed_by_server());
  EXPECT_TRUE(half_payload->closed_by_server());
  EXPECT_FALSE(reaped_down_to(0, kStart + 120, 60));
  EXPECT_TRUE(reaped_down_to(0, kStart + 121));
  auto next = answered_client();
}

TEST_F(ApiServer, The130thConnectionIsClosedAtOnce)
{
  std::vector<std::unique_ptr<TcpClient>> clients;
  // One after the other: the listener's backlog holds only three that wait to be taken.
  for (std::size_t i = 1; i <= 129; ++i) {
    clients.push_back(client());
    ASSERT_TRUE(eventually([i] { return api_client_count() == i; }));
  }
  auto refused = client();
  EXPECT_TRUE(refused->closed_by_server());
  ASSERT_TRUE(clients.back()->send(request(5, 401)));
  EXPECT_TRUE(clients.back()->read_message().has_value());
  // A place that frees up is taken by the next connection.
  clients.front()->hang_up();
  ASSERT_TRUE(reaped_down_to(128, kStart + 1));
  auto next = answered_client();
}

TEST_F(ApiServer, ClientThatNeverReadsKeepsNoOneWaiting)
{
  auto flood = client();
  std::string many;
  for (uint32_t i = 0; i < 2000; ++i)
    many += frame(request(i, 401));
  ASSERT_TRUE(flood->send_raw(many));
  auto good = answered_client();
  // Shut-down with a full queue and unread replies ends promptly too.
}
