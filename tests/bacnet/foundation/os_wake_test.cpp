#include "bacnet/foundation/os_wake.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

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

// Asleep or still spinning (for up to a minute), the waiter sees the signal or the readable
// descriptor at once.
TEST(OsWake, ASignalOrADatagramFromAnotherThreadEndsAMinuteLongWait)
{
  OsWake wake;
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  for (int spin_us : {0, 60000000}) {
    for (bool by_descriptor : {false, true}) {
      auto waited = std::async(std::launch::async, [&] { return wake.wait(60000, pipe_fds[0], spin_us); });
      if (by_descriptor)
        ASSERT_EQ(write(pipe_fds[1], "x", 1), 1);
      else
        wake.signal();
      ASSERT_EQ(waited.wait_for(std::chrono::seconds(10)), std::future_status::ready) << spin_us;
      EXPECT_EQ(waited.get(), by_descriptor ? OsWake::kReadable : OsWake::kSignalled) << spin_us;
      char drained;
      if (by_descriptor) {
        ASSERT_EQ(read(pipe_fds[0], &drained, 1), 1);
      }
    }
  }
  close(pipe_fds[0]);
  close(pipe_fds[1]);
}

// Looks on a clock of the test's: a turn the test's "other thread" holds moves it on 2 ms.
std::chrono::steady_clock::time_point g_look_clock{};
const OsLookSeams kQuickTurns{[] {}, [] { return g_look_clock; }};
const OsLookSeams kTurnsHeldByAnother{[] { g_look_clock += std::chrono::milliseconds(2); },
                                      [] { return g_look_clock; }};

int turns_of_a_look(int microseconds, const OsLookSeams& seams)
{
  int turns = 0;
  for (OsLook look(microseconds, &seams); look.next_turn() && turns < 3;)
    ++turns;
  return turns;
}

// A turn that another thread held for longer than the whole look ends the look. A thread that
// loses a look now and then goes on looking; one that loses them often pauses its looks, while
// other threads still look.
TEST(OsLook, ThreadsThatLoseTheirTurnsOftenPauseTheirLooks)
{
  std::async(std::launch::async, [] {
    EXPECT_EQ(turns_of_a_look(100, kTurnsHeldByAnother), 1);
    EXPECT_EQ(turns_of_a_look(100, kQuickTurns), 3);
    for (int lost = 0; lost < 2; ++lost)
      EXPECT_EQ(turns_of_a_look(100, kTurnsHeldByAnother), 1);
    EXPECT_EQ(turns_of_a_look(100, kQuickTurns), 0);
    g_look_clock += std::chrono::milliseconds(5);
    EXPECT_EQ(turns_of_a_look(100, kQuickTurns), 3);
  }).get();
  EXPECT_EQ(turns_of_a_look(100, kTurnsHeldByAnother), 1);
  EXPECT_EQ(turns_of_a_look(100, kQuickTurns), 3);
}
