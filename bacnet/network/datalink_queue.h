// One queued frame as the datalinks' send queues and the network layer's receive ring hold
// it, and the ring of 256 of them. Filled and drained under the process-wide lock by the
// queue's two threads (stack thread and port thread).
#pragma once

#include "bacnet/foundation/ring.h"
#include "bacnet/network/bacnet_address.h"

#include <cstdint>
#include <vector>

struct DatalinkQueueEntry {
  BACnetAddress source{};
  BACnetAddress destination{};
  std::vector<uint8_t> frame;  // the whole frame (or NPDU in the receive ring); its size is the length
  uint8_t expecting_reply = 0;
  uint8_t priority = 0;
};

inline constexpr std::size_t kDatalinkQueueSize = 256;
using DatalinkQueue = Ring<DatalinkQueueEntry, kDatalinkQueueSize>;
