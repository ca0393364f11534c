// The object API over the real object database queues: the test plays the stack thread by
// calling object_Poll, and records what the host callbacks and the broadcasts are told.
#include "reporting_test_util.h"

#include "bacnet/client/device_discovery.h"
#include "bacnet/objects/object_api.h"
#include "bacnet/objects/object_database.h"
#include "bacnet/objects/object_hooks.h"

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using namespace objtest;

namespace {

constexpr uint32_t kBinaryInput = 3;

// (who, client, handle, owner, type, instance, REAL value or -1, priority)
using Told = std::tuple<std::string, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, float, uint32_t>;
std::vector<Told> g_told;

// Each callback records under its name: the host's two and the remote API's events 703 and 706.
constexpr char kHostChange[] = "host change", kHostEvent[] = "host event", k703[] = "703", k706[] = "706";
template <const char* Who>
void told_change(uint32_t c, uint32_t h, uint32_t o, uint32_t t, uint32_t i, const BACnetValue* v, uint32_t p)
{
  g_told.emplace_back(Who, c, h, o, t, i, v && v->tag == TAG_REAL ? v->payload.real : -1.0f, p);
}
template <const char* Who>
void told_event(uint32_t c, uint32_t h, uint32_t o, uint32_t t, uint32_t i)
{
  g_told.emplace_back(Who, c, h, o, t, i, -1.0f, 0);
}

class ObjectApi : public ObjectsTest {
protected:
  void SetUp() override
  {
    ObjectsTest::SetUp();
    g_told.clear();
    address_binding_init(nullptr, kOwner);
    BACnetAddress own{1, {10, 111, 1, 1, 0xBA, 0xC0}, 6};
    address_binding_add_local_port(5, -1, &own);
    ObjectHooks hooks;
    hooks.notify_change = object_api_notify_change;
    hooks.notify_event = object_api_notify_event;
    object_set_hooks(&hooks);
    object_api_set_broadcasters(told_change<k703>, told_event<k706>);
    ASSERT_EQ(object_api_init(nullptr, told_change<kHostChange>, told_event<kHostEvent>), 0);
  }
  void TearDown() override
  {
    object_api_destroy();
    object_api_set_broadcasters(nullptr, nullptr);
    object_api_set_handle_gone_hook(nullptr);
    object_Poll();  // what is still queued
    address_binding_clear();
    ObjectsTest::TearDown();
  }

  uint32_t client()
  {
    uint32_t id = 0;
    EXPECT_EQ(object_api_register_client(&id), 0);
    return id;
  }

  // Fills whatever room the analog registration queue has.
  static void fill_analog_queue()
  {
    ObjectRegistration filler;
    filler.owner = kOwner;
    while (object_QueueAnalogUpdate(&filler) == 0) {
    }
  }

  // put_object_ex with a handle made by the system.
  uint32_t put_ex(uint32_t client_id, uint32_t type, uint32_t instance, const char* name)
  {
    uint32_t handle = 0;
    EXPECT_EQ(object_api_put_object_call(&handle, kOwner, {type, instance}, name, client_id), 0);
    return handle;
  }
};

}  // namespace

TEST_F(ObjectApi, PutsAndWritesWaitInTheirQueuesAndAReadWithoutAnAnswerFails)
{
  uint32_t id = client();
  ASSERT_EQ(object_api_put_object(kOwner, {OBJECT_ANALOG_INPUT, 2}, "Fühler", id, 77), 0);
  EXPECT_EQ(object_api_put_object(kOwner, {kBinaryInput, 4}, nullptr, id, 78), 0);
  // The binary queue has room for its 64 while the analog one holds the other put.
  ObjectRegistration probe;
  probe.owner = kOwner;
  probe.type = kBinaryInput;
  for (int i = 1; i < 64; ++i)
    ASSERT_EQ(object_QueueBinaryUpdate(&probe), 0) << i;
  EXPECT_EQ(object_QueueBinaryUpdate(&probe), -1);
  BACnetValue v = real_value(23.5f);
  ASSERT_EQ(object_api_write_object(id, 77, 0, &v), 0);
  EXPECT_EQ(object_api_write_object(id, 79, 0, &v), -1);  // unknown handle
  EXPECT_EQ(object_Find(kOwner, OBJECT_ANALOG_INPUT, 2), nullptr);  // made by the stack thread, later
  object_Poll();  // the registration first, then the write
  ObjectRecord* ai = object_Find(kOwner, OBJECT_ANALOG_INPUT, 2);
  ASSERT_NE(ai, nullptr);
  EXPECT_NE(object_Find(kOwner, kBinaryInput, 4), nullptr);
  EXPECT_EQ(*object_real(ai, PROP_PRESENT_VALUE), 23.5f);
  ASSERT_EQ(object_api_write_object(id, 77, 3, &v), 0);  // a reliability, the value ignored
  object_Poll();
  EXPECT_EQ(*object_word(ai, PROP_RELIABILITY), 3u);
  EXPECT_EQ(*object_real(ai, PROP_PRESENT_VALUE), 23.5f);
  // No client layer runs: a read's ReadProperty cannot go out.
  uint32_t status = 0;
  EXPECT_EQ(object_api_read_object(id, 77, &v, &status), 1);
  EXPECT_EQ(status, 1u);
}

TEST_F(ObjectApi, ChangesAndReadsAreToldToTheFirstValueRegistration)
{
  uint32_t a = client(), b = client();
  uint32_t handle = put_ex(a, OBJECT_ANALOG_OUTPUT, 1, "Sollwert");
  uint32_t other = 5;
  EXPECT_EQ(object_api_put_object_ex("Sollwert", {OBJECT_ANALOG_OUTPUT, 1}, kOwner, &other, 0, b), -1);
  EXPECT_EQ(other, 5u);
  object_Poll();
  // A read is told only once the client asked.
  object_api_notify_event(kOwner, {OBJECT_ANALOG_OUTPUT, 1});
  EXPECT_TRUE(g_told.empty());
  EXPECT_EQ(object_api_set_notify(a, handle + 1, 1), -1);
  EXPECT_EQ(object_api_set_notify(a, handle, 1), 0);
  object_api_notify_event(kOwner, {OBJECT_ANALOG_OUTPUT, 1});
  BACnetValue v = real_value(30.0f);
  object_api_notify_change(kOwner, {OBJECT_ANALOG_OUTPUT, 1}, &v, 8);
  // An object without a registration is told to the host only, with zeros.
  object_api_notify_change(kOwner, {OBJECT_ANALOG_OUTPUT, 2}, &v, 0);
  EXPECT_EQ(g_told, (std::vector<Told>{{"706", a, handle, kOwner, 1, 1, -1.0f, 0},
                                        {"host event", a, handle, kOwner, 1, 1, -1.0f, 0},
                                        {"host change", a, handle, kOwner, 1, 1, 30.0f, 8},
                                        {"703", a, handle, kOwner, 1, 1, 30.0f, 8},
                                        {"host change", 0, 0, kOwner, 1, 2, 30.0f, 0}}));
}

// The remote API is told of each value registration that ends, and of no other handle.
TEST_F(ObjectApi, DeleteAndUnregisterEndRegistrationsButKeepTheObjects)
{
  static std::vector<std::pair<uint32_t, uint32_t>> gone;
  gone.clear();
  object_api_set_handle_gone_hook([](uint32_t c, uint32_t h) { gone.emplace_back(c, h); });
  uint32_t a = client(), b = client();
  uint32_t handle = put_ex(a, OBJECT_ANALOG_VALUE, 1, "A");
  uint32_t second = put_ex(a, OBJECT_ANALOG_VALUE, 2, "B");
  ASSERT_EQ(object_api_put_object(kOwner, {OBJECT_ANALOG_VALUE, 1}, "A", b, 9), 0);
  object_Poll();
  EXPECT_EQ(object_api_registration_count(), 4u);  // two clients, two value registrations
  // b's handle to a's object does not end a's registration.
  EXPECT_EQ(object_api_delete_object(b, 9), 0);
  EXPECT_EQ(object_api_set_notify(a, handle, 1), 0);
  EXPECT_EQ(object_api_delete_object(a, handle), 0);
  EXPECT_EQ(object_api_set_notify(a, handle, 1), -1);
  EXPECT_EQ(object_api_registration_count(), 3u);
  EXPECT_EQ(object_api_unregister_client(a), 0);
  EXPECT_EQ(object_api_registration_count(), 1u);  // b alone
  EXPECT_EQ(object_api_entry_count(), 1u);         // no handle of a is left behind
  EXPECT_NE(object_Find(kOwner, OBJECT_ANALOG_VALUE, 2), nullptr);
  EXPECT_EQ(gone, (std::vector<std::pair<uint32_t, uint32_t>>{{a, handle}, {a, second}}));
  // An id that never registered as a client ends its registrations all the same, once.
  uint32_t stray = b + 1000;
  put_ex(stray, OBJECT_ANALOG_VALUE, 3, "C");
  EXPECT_EQ(object_api_unregister_client(stray), 0);
  EXPECT_EQ(object_api_unregister_client(stray), -1);
  EXPECT_EQ(object_api_registration_count(), 1u);
  EXPECT_EQ(object_api_entry_count(), 1u);
}

TEST_F(ObjectApi, RegistrationsStopAboveTenThousand)
{
  for (std::size_t i = 0; i <= kObjectApiRegistrationLimit; ++i)
    client();
  uint32_t id = 0;
  EXPECT_EQ(object_api_register_client(&id), -1);
  EXPECT_EQ(object_api_registration_count(), kObjectApiRegistrationLimit + 1);
}

TEST_F(ObjectApi, WaitsForRoomEndWhenTheStackStops)
{
  fill_analog_queue();
  uint32_t id = client();
  auto first = std::async(std::launch::async, [id] {
    return object_api_put_object(kOwner, {OBJECT_ANALOG_INPUT, 5}, "wartet", id, 1);
  });
  EXPECT_EQ(first.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  object_Poll();  // room again: the waiting put goes in
  EXPECT_EQ(first.get(), 0);
  // The poll may have taken the put's entry too: fill whatever room there is.
  fill_analog_queue();
  auto second = std::async(std::launch::async, [id] {
    return object_api_put_object(kOwner, {OBJECT_ANALOG_INPUT, 6}, "wartet", id, 2);
  });
  EXPECT_EQ(second.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  object_api_stop_waits();
  ASSERT_EQ(second.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_EQ(second.get(), -1);
}

TEST_F(ObjectApi, APutIsRefusedWhenAnotherDeviceAtItsStationHoldsTheObject)
{
  // 5000 and 5001 share the own device's station on network 1, 6000 the one on network 2.
  for (auto [device, network] : {std::pair{5000, 1u}, {5001, 1u}, {6000, 2u}}) {
    BACnetAddress no_mac{};
    no_mac.network = network;
    ASSERT_EQ(address_binding_add_local_port(3, device, &no_mac), 0);
  }
  struct Row {
    uint32_t device;
    BACnetObjectId object;
    int result;
  } rows[] = {
      {kOwner, {OBJECT_ANALOG_VALUE, 1}, 0},  {5000, {OBJECT_ANALOG_VALUE, 1}, -1},  // the own device holds it
      {5000, {OBJECT_ANALOG_VALUE, 2}, 0},    {5000, {OBJECT_ANALOG_VALUE, 2}, 0},   // its own, again
      {5001, {OBJECT_ANALOG_VALUE, 2}, -1},   {6000, {OBJECT_ANALOG_VALUE, 2}, 0},   // another network
      {5001, {OBJECT_ANALOG_VALUE, 4}, 0},    {5000, {OBJECT_ANALOG_VALUE, 4}, -1},  // a later device holds it
      {kOwner, {OBJECT_ANALOG_VALUE, 4}, -1}, {kOwner, {OBJECT_ANALOG_VALUE, 2}, -1},
      {6000, {kBinaryInput, 2}, 0},           {5000, {kBinaryInput, 2}, 0},
  };
  uint32_t id = client(), handle = 0;
  for (const Row& row : rows) {
    ++handle;
    // The put waits for the stack thread's verdict, which this thread plays.
    auto put = std::async(std::launch::async,
                          [&] { return object_api_put_object(row.device, row.object, "x", id, handle); });
    while (put.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
      object_Poll();
    EXPECT_EQ(put.get(), row.result) << row.device << " " << row.object.instance;
    // A refused put binds no handle and makes no object.
    EXPECT_EQ(object_api_delete_object(id, handle), row.result);
    EXPECT_EQ(object_Find(row.device, row.object.type, row.object.instance) != nullptr, row.result == 0);
  }
}

TEST_F(ObjectApi, APutThatAnswersZeroHasMadeItsObject)
{
  // The own device's put waits for room behind 5000's entry of the same identifier, and 5000 is
  // set up at its station only once the put has found the queue full.
  ObjectRegistration first;
  first.owner = 5000;
  first.type = OBJECT_ANALOG_VALUE;
  first.instance = 3;
  ASSERT_EQ(object_QueueAnalogUpdate(&first), 0);
  fill_analog_queue();
  uint32_t id = client();
  std::size_t full = object_api_full_queue_finds();
  auto put = std::async(std::launch::async, [id] {
    return object_api_put_object(kOwner, {OBJECT_ANALOG_VALUE, 3}, "own", id, 1);
  });
  while (object_api_full_queue_finds() == full)
    std::this_thread::yield();
  BACnetAddress no_mac{};
  no_mac.network = 1;
  EXPECT_EQ(address_binding_add_local_port(3, 5000, &no_mac), 0);
  while (put.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
    object_Poll();
  EXPECT_EQ(put.get(), -1);
  EXPECT_EQ(object_Find(kOwner, OBJECT_ANALOG_VALUE, 3), nullptr);
  EXPECT_EQ(object_api_delete_object(id, 1), -1);
}
