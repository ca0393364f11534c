// The fixed-size first-in-first-out ring behind every queue of the stack: the datalinks'
// send queues, the network layer's receive ring and the application layer's request ring.
// The ring takes no lock itself: its owners put and get under the process-wide lock (the
// layers through RingLock), because the same critical section usually checks more than the ring.
#pragma once

#include <array>
#include <cstddef>
#include <utility>

template <typename T, std::size_t N>
class Ring {
public:
  static constexpr std::size_t kCapacity = N;

  std::size_t capacity() const { return N; }
  std::size_t count() const { return count_; }
  bool empty() const { return count_ == 0; }
  bool full() const { return count_ == N; }

  // False when the ring is full; the entry is then left with the caller.
  bool put(T&& entry)
  {
    if (full())
      return false;
    entries_[(oldest_ + count_) % N] = std::move(entry);
    ++count_;
    return true;
  }

  // Takes the oldest entry; false when the ring is empty.
  bool get(T& out)
  {
    if (empty())
      return false;
    out = std::move(entries_[oldest_]);
    entries_[oldest_] = T{};
    oldest_ = (oldest_ + 1) % N;
    --count_;
    return true;
  }

  // Takes the oldest entry that `match` accepts; the entries behind it move up and keep their
  // order. False when no entry matches.
  template <typename Match>
  bool take_first(Match match, T& out)
  {
    for (std::size_t i = 0; i < count_; ++i) {
      if (!match(entries_[(oldest_ + i) % N]))
        continue;
      out = std::move(entries_[(oldest_ + i) % N]);
      for (std::size_t j = i; j + 1 < count_; ++j)
        entries_[(oldest_ + j) % N] = std::move(entries_[(oldest_ + j + 1) % N]);
      entries_[(oldest_ + count_ - 1) % N] = T{};
      --count_;
      return true;
    }
    return false;
  }

  // Drops every entry, releasing what the entries own. Only the live slots are reset: put,
  // get and take_first leave every other slot empty already.
  void clear()
  {
    for (std::size_t i = 0; i < count_; ++i)
      entries_[(oldest_ + i) % N] = T{};
    oldest_ = 0;
    count_ = 0;
  }

private:
  std::array<T, N> entries_{};
  std::size_t oldest_ = 0;
  std::size_t count_ = 0;
};

// Holds, for one scope, the lock a ring's owner was handed at init: the process-wide lock, or
// a test's own. The lock's failure texts name the place that took it (the defaults give the
// caller's; std::source_location is not there in every compiler the stack builds with).
class RingLock {
public:
  using Function = void (*)(const char* file, int line);

  RingLock(Function lock, Function unlock, const char* file = __builtin_FILE(), int line = __builtin_LINE())
      : unlock_(unlock), file_(file), line_(line)
  {
    lock(file_, line_);
  }
  ~RingLock() { unlock_(file_, line_); }
  RingLock(const RingLock&) = delete;
  RingLock& operator=(const RingLock&) = delete;

private:
  Function unlock_;
  const char* file_;
  int line_;
};
