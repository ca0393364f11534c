// The binary protocol on a connection record without a socket: each request goes straight to
// the handler and the test reads the record's out-queue.
#include "api_test_util.h"

#include "backend/api/api_binary.h"
#include "backend/api/api_codec.h"
#include "backend/api/api_dispatch.h"
#include "backend/api/api_messages.h"
#include "backend/api/api_pending.h"
#include "backend/api/api_server.h"
#include "bacnet/client/device_discovery.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <tuple>
#include <vector>

using namespace api_test;

namespace {

// DeviceObjectPropertyReference of Analog Value 1's present value on device 1234.
const std::vector<uint8_t> kReference = {0x0C, 0x00, 0x80, 0x00, 0x01, 0x19, 0x55, 0x3C, 0x02, 0x00, 0x04, 0xD2};
// REAL 10.0 in context tag 0.
const std::vector<uint8_t> kRealValue = {0x0E, 0x44, 0x41, 0x20, 0x00, 0x00, 0x0F};

std::vector<Message> handle(ApiClient& client, const std::vector<uint8_t>& payload)
{
  api_handle_binary_message(&client, payload);
  return drain(client);
}

void expect_error(const std::vector<Message>& replies, uint32_t id, uint32_t number, const char* name)
{
  ASSERT_EQ(replies.size(), 1u) << name;
  EXPECT_EQ((std::tuple{replies[0].flag, replies[0].id, replies[0].code, replies[0].payload}),
            (std::tuple{uint8_t(255), id, 1u, Bytes{}.u32(number).data}))
      << name;
}

}  // namespace

// A header, code or payload that cannot be read is answered with an error message: 3 for an
// unknown code, 0 when a field is missing, a reference or value does not decode, or a
// confirmed request cannot go out.
TEST(ApiBinary, RequestsThatCannotBeReadGetTheirErrorNumber)
{
  ApiClient client;
  EXPECT_TRUE(handle(client, {0, 0}).empty());  // fewer than 3 octets: no reply
  expect_error(handle(client, {0, 0, 0, 0, 0, 0, 9}), 9, 0, "no code");  // request id only
  expect_error(handle(client, {0, 0, 0}), 0, 0, "no request id");
  expect_error(handle(client, request(6, 704)), 6, 3, "between the subscriptions and nothing");

  Bytes mode0_short_mac = Bytes{}.u8(0).u32(1).u8(6).u8(1).u8(2).u8(3).u8(4).u8(5);
  Bytes seven_minus_one = Bytes{}.u32(1).u32(2).str("a").str("b").str("c").str("d").str("e").str("f");
  // No application layer runs: a request by address cannot be queued.
  Bytes by_address = Bytes{}.u8(0).u32(1).u8(6).raw({10, 111, 1, 2, 0xBA, 0xC0}).u8(12).u32(2).u8(0x0C).u8(0x02);
  struct Case {
    const char* name;
    uint32_t code;
    Bytes payload;
  } cases[] = {
      {"101 without its bytes", 101, Bytes{}.u8(8).u32(4).u8(1)},
      {"101 without a count", 101, Bytes{}.u8(8)},
      {"102 without a mode", 102, Bytes{}},
      {"102 mode 1 without a device", 102, Bytes{}.u8(1).u8(0)},
      {"102 mode 0 with 5 MAC octets", 102, mode0_short_mac},
      {"102 MAC length above 6", 102, Bytes{}.u8(0).u32(1).u8(7).raw({1, 2, 3, 4, 5, 6}).u8(12).u32(0)},
      {"102 without its bytes", 102, Bytes{}.u8(1).u32(5).u8(12).u32(3).u8(0)},
      {"102 that cannot be queued", 102, by_address},
      {"201 without a handle", 201, Bytes{}.blob(kReference).u32(1)},
      {"201 reference that does not decode", 201, Bytes{}.blob({0x0C, 0x00}).u32(1).u32(2)},
      {"201 empty reference", 201, Bytes{}.blob({}).u32(1).u32(2)},
      {"202 without a handle", 202, Bytes{}.u32(1)},
      {"204 without a priority", 204, Bytes{}.blob(kRealValue).u32(1).u32(2).u8(1)},
      {"204 value that does not decode", 204, Bytes{}.blob({0x0E, 0x44}).u32(1).u32(2).u8(1).u8(0)},
      {"206 without a client", 206, Bytes{}},
      {"207 without an option", 207, Bytes{}.u32(1).blob(kReference).u8(0)},
      {"207 reference that does not decode", 207, Bytes{}.u32(1).blob({0x19, 0x55}).u8(0).u8(0)},
      {"301 with six texts", 301, seven_minus_one},
      {"302 without a handle", 302, Bytes{}.u32(1).u32(2).u32(3).str("n").u32(4)},
      {"303 without a handle", 303, Bytes{}.u32(1)},
      {"304 without its octet", 304, Bytes{}.u32(1).u32(2)},
      {"305 without a value", 305, Bytes{}.u32(1).u32(2).u32(0)},
      {"305 value that does not decode", 305, Bytes{}.u32(1).u32(2).u32(0).blob({0x0E, 0x44, 0x41})},
      {"307 without a client", 307, Bytes{}},
      {"308 without a client", 308, Bytes{}.u32(1).u32(2).u32(3).str("n")},
      {"308 name longer than the payload", 308, Bytes{}.u32(1).u32(2).u32(3).u32(50).u8('n')},
      {"309 without a flag", 309, Bytes{}.u32(1).u32(2)},
      {"601 without a flag", 601, Bytes{}},
      {"606 without a flag", 606, Bytes{}},
  };
  address_binding_init(nullptr, 4711);
  for (const Case& c : cases)
    expect_error(handle(client, request(42, c.code, c.payload)), 42, 0, c.name);
  address_binding_clear();
  EXPECT_EQ(api_pending_count(), 0u);  // no refused 102 keeps its entry
  api_handle_binary_message(&client, request(7, 502));
  EXPECT_EQ(client.state, kApiClientDone);
}

// Events reach a client only while it subscribes to their kind; their payloads are checked
// end to end.
TEST(ApiBinary, EventsFollowTheSubscriptionsFlagByte)
{
  ApiClient client;
  for (uint32_t code = 601; code <= 606; ++code) {
    auto replies = handle(client, request(code, code, Bytes{}.u8(1)));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].code, code);
    EXPECT_TRUE(replies[0].payload.empty());
  }
  for (int i = 0; i < kApiEventKinds; ++i)
    EXPECT_EQ(client.subscriptions[i], 1) << i;
  handle(client, request(1, 603, Bytes{}.u8(0)));
  EXPECT_EQ(client.subscriptions[2], 0);
  const uint8_t event[] = {1, 2};
  {
    DRIVER_LOCK_SCOPE();
    EXPECT_EQ(api_queue_event(&client, kApiEventObjectValue, event), -1);
    client.subscriptions[2] = 1;
    EXPECT_EQ(api_queue_event(&client, kApiEventObjectValue, event), 0);
  }
  auto events = drain(client);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ((std::tuple{events[0].flag, events[0].id, events[0].code, events[0].payload}),
            (std::tuple{uint8_t(255), 0u, 703u, std::vector<uint8_t>{1, 2}}));
}

// A full queue drops replies and events. A text answer passes it on the socket, as one frame
// after the rest of a queued frame the socket had taken part of.
TEST(ApiBinary, QueueHoldsAtMost129MessagesAndTextAnswersPassIt)
{
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  ApiClient client;
  client.socket = pair[0];
  for (int i = 0; i < 129; ++i)
    ASSERT_EQ(api_reply_value(&client, uint32_t(i), 401, 0), 0) << i;
  EXPECT_EQ(api_reply_value(&client, 129, 401, 0), -1);
  client.subscriptions[0] = 1;
  {
    DRIVER_LOCK_SCOPE();
    EXPECT_EQ(api_queue_event(&client, kApiEventLog, {}), -1);
  }
  ASSERT_EQ(api_put_bytes(&client.sending.message, "abc", 3), 0);
  api_frame_header(3, client.sending.header);
  client.sending.sent = 5;
  client.sending.busy = true;
  const std::string text = "pdu:0100";
  api_dispatch_payload(&client, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  char got[64] = {};
  EXPECT_EQ(recv(pair[1], got, sizeof got, MSG_DONTWAIT), 37);
  EXPECT_STREQ(got, "003abc00000023Error : Unknown Command");
  EXPECT_EQ(drain(client).size(), 129u);
  close(pair[0]);
  close(pair[1]);
}

// A full queue drops log events but no handle's state: each handle is owed its latest event,
// sent in the order the handles changed once what was queued before has gone, replies first.
TEST(ApiBinary, AFullQueueOwesEveryHandleItsLatestState)
{
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  ApiClient* client = api_add_client_connection(pair[0]);
  ASSERT_NE(client, nullptr);
  for (uint32_t event : {kApiEventLog, kApiEventObjectValue, kApiEventCache})
    client->subscriptions[event - kApiFirstEvent] = 1;
  for (uint32_t i = 0; i < 129; ++i)
    api_reply_value(client, i, 401, 0);
  const CacheReference reference = cache_reference(1234, 2, 1, 85);
  const BACnetValue value{TAG_REAL, {.real = 10.0f}};
  auto cache = [&](int error, uint32_t handle) { api_broadcast_cache_event(&reference, &value, error, 9, handle); };
  cache(0, 1);
  cache(0, 2);
  api_broadcast_object_value_event(9, 1, 4711, 2, 1, &value, 0);
  cache(31, 1);
  api_broadcast_log_event(1, "dropped");
  pdu_buffer oldest;
  {
    DRIVER_LOCK_SCOPE();
    ASSERT_EQ(api_client_queue_pop(client, &oldest), 0);  // room again, but handle 1 is owed from before
  }
  pdu_buffer_free(&oldest);
  api_reply_value(client, 500, 402, 0);
  cache(31, 2);
  auto all = drain(*client);
  ASSERT_EQ(all.size(), 132u);
  // The replies keep their order, and so do the owed states, which take turns with them.
  std::vector<uint32_t> replies;
  std::vector<decltype(all)::value_type> m;
  for (const auto& message : all)
    if (message.code == 705 || message.code == 703)
      m.push_back(message);
    else
      replies.push_back(message.id);
  EXPECT_EQ(replies.size(), 129u);
  EXPECT_TRUE(std::is_sorted(replies.begin(), replies.end()));
  EXPECT_EQ(replies.back(), 500u);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ((std::tuple{all[0].code, m[0].code, m[1].code, m[2].code}), (std::tuple{705u, 705u, 705u, 703u}));
  auto tail = [&](std::size_t i) { return std::vector<uint8_t>(m[i].payload.end() - 12, m[i].payload.end()); };
  EXPECT_EQ(tail(0), Bytes{}.u32(31).u32(9).u32(1).data);
  EXPECT_EQ(tail(1), Bytes{}.u32(31).u32(9).u32(2).data);
  EXPECT_EQ(std::vector<uint8_t>(m[2].payload.begin(), m[2].payload.begin() + 8), Bytes{}.u32(9).u32(1).data);
  api_destroy_all_clients();
  close(pair[1]);
}

// A handle's newer state takes the place of its older one still queued, so the older can
// never go out after it (the owed take turns with the queue).
TEST(ApiBinary, ANewerStateNeverGoesOutBeforeAnOlderOneStillQueued)
{
  ApiClient client;
  client.subscriptions[kApiEventCache - kApiFirstEvent] = 1;
  for (uint32_t i = 0; i < 128; ++i)
    api_reply_value(&client, i, 401, 0);
  {
    DRIVER_LOCK_SCOPE();
    for (uint8_t state : {1, 2})  // the first fills the queue
      ASSERT_EQ(api_queue_handle_event(&client, kApiEventCache, 9, 1, std::vector<uint8_t>{state}), 0);
  }
  auto states = drain(client);
  std::erase_if(states, [](const Message& m) { return m.code != kApiEventCache; });
  ASSERT_EQ(states.size(), 1u);
  EXPECT_EQ(states[0].payload, std::vector<uint8_t>{2});
}

// What a connection is owed of a cache handle goes with the handle, and with its client.
TEST(ApiBinary, OwedStatesGoWithTheirHandles)
{
  cache_set_event_broadcaster(api_broadcast_cache_event);
  cache_set_handle_gone_hook(api_cache_handle_gone);
  ASSERT_EQ(cache_init(nullptr, nullptr), 0);
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  ApiClient* stalled = api_add_client_connection(pair[0]);
  ASSERT_NE(stalled, nullptr);
  stalled->subscriptions[kApiEventCache - kApiFirstEvent] = 1;
  for (uint32_t i = 0; i < 129; ++i)
    api_reply_value(stalled, i, 401, 0);
  uint32_t id = 0;
  ASSERT_EQ(cache_register_client(&id), 0);
  const CacheReference reference = cache_reference(1234, 2, 1, 85);
  for (uint32_t handle = 1; handle <= 3; ++handle)
    cache_add_property_default(&reference, id, handle);
  const BACnetValue value{TAG_REAL, {.real = 1.0f}};
  cache_update_property(0, &reference, &value);
  auto owed = [&] { return std::tuple{stalled->owed.latest.size(), stalled->owed.order.size()}; };
  EXPECT_EQ(owed(), (std::tuple{3u, 3u}));
  cache_remove_handle(id, 2);
  EXPECT_EQ(owed(), (std::tuple{2u, 2u}));
  cache_unregister_client(id);
  EXPECT_EQ(owed(), (std::tuple{0u, 0u}));
  api_destroy_all_clients();
  close(pair[1]);
  cache_destroy();
  cache_set_handle_gone_hook(nullptr);
  cache_set_event_broadcaster(nullptr);
}

// The answer of a forwarded request finds its client through the table; once the client is
// gone, or its entry was given up, the answer is dropped.
TEST(ApiBinary, ForwardedAnswersReachOnlyClientsStillThere)
{
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  ApiClient* client = api_add_client_connection(pair[0]);
  ASSERT_NE(client, nullptr);
  auto forward = [](uint64_t token, uint32_t type, std::vector<uint8_t> data) {
    ClientResult result;
    result.present = type != 0;
    result.type = type;
    result.service_choice = 12;
    result.data = std::move(data);
    api_forward_answer(reinterpret_cast<void*>(uintptr_t(token)), type == 3, BACnetAddress{}, result);
  };
  struct Case {
    uint32_t type;
    std::vector<uint8_t> data;
    std::vector<uint8_t> payload;
  } cases[] = {
      {2, {}, Bytes{}.u32(2).u8(12).data},
      {6, {9}, Bytes{}.u32(6).data},
      {0, {}, Bytes{}.u32(0).data},  // ended without an answer
  };
  for (const Case& c : cases) {
    uint64_t token = api_pending_take(client->serial, 100 + c.type);
    forward(token, c.type, c.data);
    auto replies = drain(*client);
    ASSERT_EQ(replies.size(), 1u) << c.type;
    EXPECT_EQ(replies[0].code, 102u);
    EXPECT_EQ(replies[0].id, 100 + c.type);
    EXPECT_EQ(replies[0].payload, c.payload) << c.type;
    forward(token, c.type, c.data);  // a second completion of the same token finds nothing
    EXPECT_TRUE(drain(*client).empty());
  }

  ManualClock clock;
  os_set_clock(&clock);
  uint64_t overdue = api_pending_take(client->serial, 7);
  clock.advance_ms(api_pending_timeout_ms());
  api_reap_clients();
  EXPECT_EQ(api_pending_count(), 0u);
  forward(overdue, 3, {1});
  EXPECT_TRUE(drain(*client).empty());

  uint64_t orphan = api_pending_take(client->serial, 8);
  api_destroy_all_clients();  // the client goes with its entries
  EXPECT_EQ(api_pending_count(), 0u);
  forward(orphan, 3, {1});
  os_set_clock(nullptr);
  close(pair[1]);
}
