// The serial line of the serial datalinks' fuzz targets. It keeps the rules of the unit tests'
// ScriptedLine for what the targets use (the input's octets arrive in bursts, each 0xF0 ending
// one and the next arriving `gap_ms` later; a read that finds nothing moves the clock by its
// time-out; the line stops at `stop_at`), but reads the octets from the input itself and runs
// on a clock without a lock: the queue of octets and the locked clock cost more than the
// machines' own work.
#pragma once

#include "bacnet/datalink/byte_line.h"
#include "bacnet/foundation/os_wrappers.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

// The line and its clock are not the code under test: their compares would only feed the
// fuzzer's coverage with noise, and they run for every octet and every pass.
#if defined(__clang__)
#define FUZZ_LINE_UNTRACED __attribute__((no_sanitize("coverage")))
#else
#define FUZZ_LINE_UNTRACED
#endif

// The line's virtual time as the stack reads it: both readings start at zero and move
// together, as a fresh ManualClock's do.
class FuzzClock : public OsClock {
public:
  explicit FuzzClock(const int64_t& now_ms) : now_ms_(now_ms) {}
  FUZZ_LINE_UNTRACED OsTime wall() override { return {uint32_t(now_ms_ / 1000), uint32_t(now_ms_ % 1000 * 1000)}; }
  FUZZ_LINE_UNTRACED int64_t monotonic_ms() override { return now_ms_; }

private:
  const int64_t& now_ms_;
};

class FuzzLine : public ByteLine {
public:
  FuzzLine(std::span<const uint8_t> octets, int64_t gap_ms) : octets_(octets), gap_ms_(gap_ms) {}

  // Every octet of the input has been read.
  FUZZ_LINE_UNTRACED bool drained() const { return next_ == octets_.size(); }

  // When the last burst arrives.
  FUZZ_LINE_UNTRACED int64_t last_burst() const
  {
    return arrival_ + gap_ms_ * std::count(octets_.begin() + next_, octets_.end(), uint8_t(0xF0));
  }

  FUZZ_LINE_UNTRACED Result read(uint8_t* octet, int timeout_ms) override
  {
    if (stopping())
      return kStopped;
    const int64_t end = now_ms + timeout_ms;
    if (next_ < octets_.size() && arrival_ <= end) {
      advance_to(arrival_);
      *octet = octets_[next_++];
      if (*octet == 0xF0)
        arrival_ += gap_ms_;
      return kOctet;
    }
    // A stop ends the wait at once, as the port's wake-up does.
    if (stop_at <= end) {
      advance_to(stop_at);
      return kStopped;
    }
    advance_to(end);
    return kTimeout;
  }

  FUZZ_LINE_UNTRACED bool write(std::span<const uint8_t> octets, int) override
  {
    longest_write = std::max(longest_write, octets.size());
    return true;
  }

  FUZZ_LINE_UNTRACED bool wait(int timeout_ms) override
  {
    if (stopping())
      return false;
    advance_to(std::min(now_ms + timeout_ms, stop_at));
    return !stopping();
  }

  FUZZ_LINE_UNTRACED bool stopping() override { return now_ms >= stop_at; }

  // Virtual time, moved only by the line; hand it to a FuzzClock for the stack.
  int64_t now_ms = 0;
  int64_t stop_at = INT64_MAX;
  std::size_t longest_write = 0;

private:
  FUZZ_LINE_UNTRACED void advance_to(int64_t at) { now_ms = std::max(now_ms, at); }

  std::span<const uint8_t> octets_;
  int64_t gap_ms_;
  std::size_t next_ = 0;
  int64_t arrival_ = 0;
};
