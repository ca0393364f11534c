#include "backend/stack_client.h"
#include "backend/stack_host.h"
#include "bacnet/binding/address_binding.h"
#include "bacnet/cache/cache.h"
#include "bacnet/foundation/os_wrappers.h"

#include "bacnet/client/client_request.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

TEST(StackHost, NegativeDeviceInstanceRefusesTheStartAndStopsCleanly)
{
  StackConfig config;
  config.device_instance = -1;
  EXPECT_EQ(BACnet_Driver_Start(&config), -1);
  EXPECT_EQ(BACnet_Driver_Stop(), 0);
  // The refused start opened nothing, so a second round behaves the same.
  EXPECT_EQ(BACnet_Driver_Start(&config), -1);
  EXPECT_EQ(BACnet_Driver_Stop(), 0);
}

TEST(StackHost, StopEndsABlockingCallParkedForAnUnknownDevice)
{
  StackConfig config;
  config.device_instance = 4711;
  ASSERT_EQ(BACnet_Driver_Start(&config), 0);  // no port: nobody can ever answer
  client_calls::ReadPropertyRequest call;
  call.device_instance = 999;
  call.request.object = {8, 999};
  call.request.property = 77;
  std::atomic<bool> ended{false};
  std::thread caller([&] {
    call.Call();
    ended = true;
  });
  for (int i = 0; i < 5000 && client_parked_count() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(client_parked_count(), 1u);
  EXPECT_EQ(BACnet_Driver_Stop(), 0);
  // The call ends with the stack, long before its own safety time-out of half a minute.
  for (int i = 0; i < 5000 && !ended; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(ended);
  caller.join();
  EXPECT_EQ(call.error.status, 12);
  EXPECT_EQ(call.error.error_class, 5u);
}

TEST(StackHost, StopBeforeAnyStartDoesNothing)
{
  EXPECT_EQ(BACnet_Driver_Stop(), 0);
  EXPECT_EQ(BACnet_Driver_Stop(), 0);
}

TEST(StackClient, FailedCallsMapToTheirErrorCodeOrToFailure)
{
  EXPECT_EQ(stack_client_error_result(6, 2), 2);    // AtomicReadFile, error code 2
  EXPECT_EQ(stack_client_error_result(12, 31), 31);  // ReadProperty, unknown object
  EXPECT_EQ(stack_client_error_result(26, 5), 5);
  // A local failure (code 0) and services without a code never read as success.
  EXPECT_EQ(stack_client_error_result(6, 0), -1);
  EXPECT_EQ(stack_client_error_result(22, 5), -1);
  EXPECT_EQ(stack_client_error_result(27, 5), -1);
}

TEST(StackClient, ScanWhoseWhoIsCannotBeSentFailsAtOnce)
{
  StackConfig config;
  config.device_instance = 4711;
  // Refused with no stack running, and by a running one whose initiation is disabled.
  for (bool running : {false, true}) {
    if (running) {
      ASSERT_EQ(BACnet_Driver_Start(&config), 0);  // no port
      client_set_communication_state(kCommunicationInitiationDisabled);
    }
    BACnetStackClient client;
    int waits = 0;
    client.sleep = [&](std::chrono::milliseconds) { ++waits; };
    FILE* result = std::tmpfile();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(client.ScanDevices(0, 10, 5, result), -1) << running;
    EXPECT_EQ(waits, 0) << running;             // nobody was asked: nothing to wait for
    EXPECT_EQ(std::ftell(result), 0) << running;  // no list, not even its header
    std::fclose(result);
    if (running) {
      client_set_communication_state(0);
      EXPECT_EQ(BACnet_Driver_Stop(), 0);
    }
  }
}

TEST(StackHost, RemotePropertyCacheLivesFromStartToStopAndRunsOnThePasses)
{
  ManualClock clock;
  clock.set_wall(1700000000);
  os_set_clock(&clock);
  StackConfig config;
  config.device_instance = 4711;
  BACnet_Driver_Start(&config);
  CacheReference r = cache_reference(1234, 2, 1, 85);
  BACnetValue v{};
  EXPECT_EQ(cache_get_value(&r, &v), 501);
  // Seconds later the cycle has taken the entry up and made the device known to address
  // binding, which locates it. The clock moves a second at a time, so the stack's passes see
  // it move however late its first pass comes.
  DeviceBinding d;
  bool known = false;
  for (int i = 0; i < 5000 && !known; ++i) {
    if (i % 100 == 0)
      clock.set_wall(1700000001 + i / 100);
    known = address_binding_get_device(1234, &d) == 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(known);
  EXPECT_EQ(BACnet_Driver_Stop(), 0);
  EXPECT_EQ(cache_get_value(&r, &v), 19);
  os_set_clock(nullptr);
}

TEST(StackHost, TheObjectsFileIsWrittenWhenTheStackStops)
{
  char folder[] = "/tmp/zor17-host-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::string file = std::string(folder) + "/bacobj.bbu";
  StackConfig config;
  config.device_instance = 4711;
  config.identity.objects_file = file.c_str();
  BACnet_Driver_Start(&config);
  EXPECT_EQ(BACnet_Driver_Stop(), 0);
  std::ifstream in(file, std::ios::binary);
  std::string head(10, '\0');
  in.read(head.data(), 10);
  EXPECT_EQ(head, std::string("1.2.2\0\x67\x12\0\0", 10));
  std::filesystem::remove_all(folder);
}
