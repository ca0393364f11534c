// The one owner of value memory outside the value library: a tagged value, a part of a
// record with its own release (bits, octets, a recipient), or a record of a layer above
// whose free function the owner is given (the codec's requests and answers). It releases
// what it holds when it leaves its scope; moving hands that over, copying is not possible.
#pragma once

#include <utility>

#include "bacnet/value/tagged_value.h"

// `Free` releases what a T owns and leaves it releasable again (value_free,
// pdu_free_read_property_ack, ...); its result, if any, is ignored.
template <class T, auto Free>
class Owned {
public:
  Owned() = default;
  // Takes over what `held` owns.
  explicit Owned(T held) : held_(held) {}
  Owned(Owned&& other) noexcept : held_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept
  {
    if (this != &other)
      reset(other.release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { Free(&held_); }

  // Where a function fills or changes what is held (an out-parameter).
  T* get() { return &held_; }
  const T* get() const { return &held_; }
  T& operator*() { return held_; }
  const T& operator*() const { return held_; }
  T* operator->() { return &held_; }
  const T* operator->() const { return &held_; }

  // Hands what is held to the caller, who must release it; the owner is left empty.
  [[nodiscard]] T release() { return std::exchange(held_, T{}); }
  // Releases what is held and takes `held` instead (nothing by default).
  void reset(T held = T{})
  {
    Free(&held_);
    held_ = held;
  }

private:
  T held_{};
};

using OwnedValue = Owned<BACnetValue, value_free>;
