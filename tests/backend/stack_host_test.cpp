#include "backend/stack_client.h"
#include "backend/stack_host.h"

#include <gtest/gtest.h>

TEST(StackHost, NegativeDeviceInstanceRefusesTheStartAndStopsCleanly)
{
  StackConfig config;
  config.device_instance = -1;
  EXPECT_EQ(_BACnet_Driver_Start(&config), -1);
  EXPECT_EQ(_BACnet_Driver_Stop(), 0);
  // The refused start opened nothing, so a second round behaves the same.
  EXPECT_EQ(_BACnet_Driver_Start(&config), -1);
  EXPECT_EQ(_BACnet_Driver_Stop(), 0);
}

TEST(StackHost, StopBeforeAnyStartDoesNothing)
{
  EXPECT_EQ(_BACnet_Driver_Stop(), 0);
  EXPECT_EQ(_BACnet_Driver_Stop(), 0);
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
