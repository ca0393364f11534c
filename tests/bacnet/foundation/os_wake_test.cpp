#include "bacnet/foundation/os_wake.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

TEST(OsWake, SignalsBeforeAWaitAreOneWakeUp)
{
  OsWake wake;
  EXPECT_EQ(wake.wait(0), OsWake::kTimeout);
  wake.signal();
  wake.signal();
  wake.signal();
  EXPECT_EQ(wake.wait(0), OsWake::kSignalled);
  EXPECT_EQ(wake.wait(0), OsWake::kTimeout);
  // Consumed by the wait, a signal afterwards must reach the descriptor again.
  wake.signal();
  EXPECT_EQ(wake.wait(0), OsWake::kSignalled);
}

TEST(OsWake, ASignalFromAnotherThreadEndsAMinuteLongWait)
{
  OsWake wake;
  for (int round = 0; round < 3; ++round) {
    auto waited = std::async(std::launch::async, [&] { return wake.wait(60000); });
    wake.signal();
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(10)), std::future_status::ready) << round;
    EXPECT_EQ(waited.get(), OsWake::kSignalled);
  }
}
