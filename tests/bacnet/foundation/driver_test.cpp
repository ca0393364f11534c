#include "bacnet/foundation/driver.h"
#include "bacnet/foundation/os_wrappers.h"
#include "support/scoped_time_zone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

std::string read_file(const std::filesystem::path& p)
{
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::filesystem::path temp_file(const std::string& name)
{
  auto dir = std::filesystem::temp_directory_path() / ("zor17-driver-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  auto p = dir / name;
  std::filesystem::remove(p);
  return p;
}

TEST(DriverLock, ReentryIsReportedAndStillHolds)
{
  testing::internal::CaptureStderr();
  driver_lock("outer.cpp", 10);
  driver_lock("inner.cpp", 20);
  EXPECT_EQ(driver_lock_depth(), 2);
  driver_unlock("inner.cpp", 21);
  EXPECT_EQ(driver_lock_depth(), 1);
  driver_unlock("outer.cpp", 11);
  EXPECT_EQ(driver_lock_depth(), 0);
  std::string err = testing::internal::GetCapturedStderr();
  std::string tid = std::to_string(gettid());
  EXPECT_NE(err.find("Lock Reentry Failure (PID:" + tid + "): inner.cpp Line 20: "), std::string::npos) << err;
  EXPECT_NE(err.find("UnLock Reentry Failure (PID:" + tid + "): inner.cpp Line 21: "), std::string::npos) << err;
  EXPECT_EQ(err.find("outer.cpp"), std::string::npos) << err;
}

TEST(DriverLock, ExcludesOtherThreads)
{
  int counter = 0;
  auto work = [&] {
    for (int i = 0; i < 10000; ++i) {
      DRIVER_LOCK_SCOPE();
      ++counter;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 20000);
  EXPECT_EQ(driver_lock_depth(), 0);
}

// The log lines carry Berlin's local time, wherever the tests run.
class DriverLog : public testing::Test {
protected:
  ScopedTimeZone berlin_{"Europe/Berlin"};
};

TEST_F(DriverLog, WritesTheLineFormatAndCallsTheCallback)
{
  ManualClock clock;
  clock.set_wall(1700000000);  // 14.11.2023 23:13:20 in Berlin
  os_set_clock(&clock);
  auto path = temp_file("log.txt");
  static std::string seen;
  static int seen_level = -1;
  seen.clear();
  driver_set_log_callback([](int level, const char* text) {
    seen_level = level;
    seen = text;
    EXPECT_EQ(driver_lock_depth(), 1);  // the callback runs under the lock
  });
  driver_set_log_file(path.c_str());
  driver_log(7, "frame sent");
  driver_set_log_file(nullptr);
  driver_set_log_callback(nullptr);
  os_set_clock(nullptr);
  EXPECT_EQ(read_file(path), "14.11.2023 23:13:20 : frame sent\n");
  EXPECT_EQ(seen, "frame sent");
  EXPECT_EQ(seen_level, 7);
}

TEST_F(DriverLog, UnwritableFileLosesTheMessageQuietly)
{
  driver_set_log_file("/nonexistent-folder/log.txt");
  driver_log(1, "lost");
  driver_set_log_file(nullptr);
  driver_log(1, "nowhere");  // no callback, no file: nothing happens
  EXPECT_EQ(driver_lock_depth(), 0);
}

// A file of `size` bytes: lines of 99 characters and a line feed.
void write_lines(const std::filesystem::path& p, size_t size)
{
  std::string s;
  while (s.size() < size)
    s += (s.size() % 100 == 99) ? '\n' : char('a' + (s.size() / 100) % 26);
  s.resize(size);
  std::ofstream(p, std::ios::binary) << s;
}

TEST(FileCutHead, LeavesAFileAtTheLimitAlone)
{
  auto p = temp_file("limit.txt");
  write_lines(p, 150000);
  EXPECT_EQ(file_cut_head(p.c_str(), 100000, 150000, nullptr), 0);
  EXPECT_EQ(std::filesystem::file_size(p), 150000u);
}

TEST(FileCutHead, OneByteOverKeepsTheLinesAfterTheCutPoint)
{
  auto p = temp_file("over.txt");
  write_lines(p, 150001);
  std::string before = read_file(p);
  EXPECT_EQ(file_cut_head(p.c_str(), 100000, 150000, nullptr), 0);
  // The first line feed at or after offset 100001 stands at 100099.
  EXPECT_EQ(read_file(p), before.substr(100100));
}

TEST(FileCutHead, ThroughATemporaryFile)
{
  auto p = temp_file("viatemp.txt");
  auto t = temp_file("viatemp.tmp");
  write_lines(p, 3000);
  std::string before = read_file(p);
  EXPECT_EQ(file_cut_head(p.c_str(), 500, 1000, t.c_str()), 0);
  EXPECT_EQ(read_file(p), before.substr(2600));
  EXPECT_FALSE(std::filesystem::exists(t));
}

TEST(FileCutHead, TailWithoutLineFeedEmptiesTheFile)
{
  auto p = temp_file("noline.txt");
  std::ofstream(p, std::ios::binary) << std::string(300, 'x');
  EXPECT_EQ(file_cut_head(p.c_str(), 50, 100, nullptr), 0);
  EXPECT_EQ(std::filesystem::file_size(p), 0u);
}

TEST(FileCutHead, RefusesBadArguments)
{
  auto p = temp_file("refused.txt");
  write_lines(p, 3000);
  EXPECT_EQ(file_cut_head(p.c_str(), 200, 100, nullptr), 1);
  EXPECT_EQ(file_cut_head(p.c_str(), 0, 100, nullptr), 1);
  EXPECT_EQ(file_cut_head(nullptr, 1, 100, nullptr), 1);
  EXPECT_EQ(file_cut_head(temp_file("missing.txt").c_str(), 1, 100, nullptr), 1);
  EXPECT_EQ(std::filesystem::file_size(p), 3000u);
}

TEST(OsSemaphore, CountsReleasesAndRefusesBeyondTheMaximum)
{
  OsSemaphoreHandle s = nullptr;
  ASSERT_EQ(os_semaphore_create(&s), 0);
  EXPECT_EQ(os_semaphore_wait_for(&s, 1), -1);
  for (int i = 0; i < 2056; ++i)
    ASSERT_EQ(os_semaphore_release(&s), 0);
  EXPECT_EQ(os_semaphore_release(&s), -1);
  EXPECT_EQ(os_semaphore_wait(&s), 0);
  EXPECT_EQ(os_semaphore_release(&s), 0);
  EXPECT_EQ(os_semaphore_close(&s), 0);
  EXPECT_EQ(s, nullptr);
}

TEST(OsClock, ManualClockDrivesWallAndMonotonicTime)
{
  ManualClock clock;
  clock.set_wall(100, 999500);
  os_set_clock(&clock);
  clock.advance_ms(1);
  OsTime t;
  os_get_time(&t);
  EXPECT_EQ(t.seconds, 101u);
  EXPECT_EQ(t.microseconds, 500u);
  EXPECT_EQ(os_monotonic_ms(), 1);
  os_set_clock(nullptr);
}

}  // namespace
