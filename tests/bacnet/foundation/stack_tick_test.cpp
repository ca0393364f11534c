#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/foundation/stack_tick.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class CentisecondClock : public testing::Test {
protected:
  void SetUp() override
  {
    clock_reset();
    os_set_clock(&clock_);
  }
  void TearDown() override
  {
    os_set_clock(nullptr);
    clock_reset();
  }
  uint32_t tick_at(uint32_t centiseconds)
  {
    clock_.set_wall(centiseconds / 100, (centiseconds % 100) * 10000 + 9999);
    clock_update();
    return clock_get_tick();
  }
  ManualClock clock_;
};

TEST_F(CentisecondClock, AbsorbsTheFirstReadingJumpsAndBackwardSteps)
{
  std::vector<uint32_t> ticks;
  for (uint32_t reading : {5000u, 5050u, 6051u, 6000u, 6100u})
    ticks.push_back(tick_at(reading));
  EXPECT_EQ(ticks, (std::vector<uint32_t>{0, 50, 50, 50, 150}));
}

TEST_F(CentisecondClock, AStepOfExactlyTenSecondsCounts)
{
  tick_at(100000);
  EXPECT_EQ(tick_at(101000), 1000u);
  EXPECT_EQ(tick_at(102001), 1000u);
}

TEST_F(CentisecondClock, FollowsTheWallClockAcrossTheWrapOf32Bits)
{
  // 42949672 s is just below the wrap of the centisecond reading.
  tick_at(4294967000u);
  EXPECT_EQ(tick_at(4294967290u), 290u);
  clock_.set_wall(42949673, 0);  // reading 4294967300 wraps to 4
  clock_update();
  EXPECT_EQ(clock_get_tick(), 300u);
}

}  // namespace
