// The times derived from the unit's answer delay, and their limits.
#include "gui/core/modbus_timing.h"

#include <gtest/gtest.h>

using namespace modbus;

TEST(ModbusTiming, RequestTimersFollowTheAnswerDelay)
{
  EXPECT_EQ(block_interval_ms(5, kBaseAfterConnectionTest), 210);
  EXPECT_EQ(monitor_interval_ms(5, kBaseAfterConnectionTest), 205);
  EXPECT_EQ(block_interval_ms(5, kBaseAfterWrite), 160);
  EXPECT_EQ(monitor_interval_ms(5, kBaseAfterWrite), 155);
  // Delays that no 16-bit sum holds, and negative ones, stay within a timer's range.
  EXPECT_EQ(block_interval_ms(32767, kBaseAfterConnectionTest), kMaxRequestInterval);
  EXPECT_EQ(block_interval_ms(16400, kBaseAfterWrite), 32950);
  EXPECT_EQ(block_interval_ms(-32768, kBaseAfterConnectionTest), kMinInterval);
  EXPECT_EQ(monitor_interval_ms(-200, kBaseAfterConnectionTest), kMinInterval);
}

TEST(ModbusTiming, StatusWindowDurations)
{
  EXPECT_EQ(status_duration_ms(1, 5), 2100);
  EXPECT_EQ(status_tick_ms(2100), 210);
  EXPECT_EQ(status_duration_ms(2, 5), 7350);
  EXPECT_EQ(status_tick_ms(7350), 735);
  EXPECT_EQ(status_duration_ms(5, 5), 7350);
  EXPECT_EQ(status_duration_ms(8, 5), 210);
  EXPECT_EQ(status_tick_ms(210), 21);
  EXPECT_EQ(status_duration_ms(8, 3), 206);
  EXPECT_EQ(status_tick_ms(206), 21);
  // Beyond 16 bits: a delay of 3000 (the field's upper limit) runs 217 s for a write.
  EXPECT_EQ(status_duration_ms(2, 3000), 217000);
  EXPECT_EQ(status_duration_ms(1, 1600), 34000);
  EXPECT_EQ(status_duration_ms(1, -32768), kMinInterval);
  EXPECT_EQ(status_tick_ms(1), kMinInterval);
}
