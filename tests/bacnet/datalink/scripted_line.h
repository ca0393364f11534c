// A serial line on virtual time for the tests of the serial datalinks' state machines: octets
// arrive at set times of a ManualClock, reads that find nothing move the clock by their
// time-out, every write is kept with its time, and scheduled actions (an answer of the stack,
// a peer's reply to a frame) run when the clock reaches them, ending a wait early as a wake-up.
#pragma once

#include "bacnet/datalink/byte_line.h"
#include "bacnet/foundation/os_wrappers.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

class ScriptedLine : public ByteLine {
public:
  explicit ScriptedLine(ManualClock& clock) : clock_(clock) {}

  int64_t now() const { return clock_.monotonic_ms(); }

  // Octets that arrive `delay_ms` from now, after everything already scripted.
  void arrive(int64_t delay_ms, const std::vector<uint8_t>& octets)
  {
    int64_t at = std::max(now() + delay_ms, incoming_.empty() ? 0 : incoming_.back().first);
    for (uint8_t o : octets)
      incoming_.emplace_back(at, o);
  }
  // Octets in bursts, as the fuzz targets script them: each 0xF0 ends a burst, and the next
  // one arrives `gap_ms` after the one before. Returns when the last burst arrives, from now.
  int64_t arrive_in_bursts(std::span<const uint8_t> octets, int64_t gap_ms)
  {
    std::vector<uint8_t> burst;
    int64_t at = 0;
    for (uint8_t o : octets) {
      burst.push_back(o);
      if (o == 0xF0) {
        arrive(at, burst);
        burst.clear();
        at += gap_ms;
      }
    }
    arrive(at, burst);
    return at;
  }
  // Runs `action` once the clock reaches `delay_ms` from now.
  void schedule(int64_t delay_ms, std::function<void()> action) { actions_.emplace(now() + delay_ms, action); }
  // Called with every frame written, at the time of the write (e.g. a peer that answers).
  std::function<void(const std::vector<uint8_t>&)> on_write;
  // Every read fails (a line that is gone).
  bool failing = false;
  // The line reports a stop once the clock reaches this time.
  int64_t stop_at = INT64_MAX;

  struct Written {
    int64_t at;
    std::vector<uint8_t> octets;
  };
  std::vector<Written> written;
  int reads = 0;

  Result read(uint8_t* octet, int timeout_ms) override
  {
    if (stopping())
      return kStopped;
    ++reads;
    if (failing)
      return kFailed;
    const int64_t end = now() + timeout_ms;
    for (;;) {
      const int64_t next_octet = incoming_.empty() ? INT64_MAX : incoming_.front().first;
      const int64_t next_action = actions_.empty() ? INT64_MAX : actions_.begin()->first;
      if (next_octet <= end && next_octet <= next_action) {
        advance_to(next_octet);
        *octet = incoming_.front().second;
        incoming_.pop_front();
        return kOctet;
      }
      if (next_action <= end) {
        advance_to(next_action);
        run_due();
        continue;
      }
      // A stop ends the wait at once, as the port's wake-up does.
      if (stop_at <= end) {
        advance_to(stop_at);
        return kStopped;
      }
      advance_to(end);
      return kTimeout;
    }
  }

  bool write(std::span<const uint8_t> octets, int) override
  {
    written.push_back({now(), {octets.begin(), octets.end()}});
    if (on_write)
      on_write(written.back().octets);
    return true;
  }

  bool wait(int timeout_ms) override
  {
    if (stopping())
      return false;
    const int64_t end = now() + timeout_ms;
    if (!actions_.empty() && actions_.begin()->first <= end) {
      advance_to(actions_.begin()->first);
      run_due();
    } else {
      advance_to(std::min(end, stop_at));
    }
    return !stopping();
  }

  bool stopping() override { return now() >= stop_at; }

private:
  void advance_to(int64_t at)
  {
    if (at > now())
      clock_.advance_ms(at - now());
  }
  void run_due()
  {
    while (!actions_.empty() && actions_.begin()->first <= now()) {
      auto action = actions_.begin()->second;
      actions_.erase(actions_.begin());
      action();
    }
  }

  ManualClock& clock_;
  std::deque<std::pair<int64_t, uint8_t>> incoming_;
  std::multimap<int64_t, std::function<void()>> actions_;
};
