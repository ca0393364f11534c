#include "bacnet/foundation/ring.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Entries that own something, so that a slot left holding one shows in the count of owners.
using Ring4 = Ring<std::shared_ptr<int>, 4>;

std::vector<int> drain(Ring4& ring)
{
  std::vector<int> out;
  std::shared_ptr<int> e;
  while (ring.get(e))
    out.push_back(*e);
  return out;
}

}  // namespace

// Taken, found and cleared entries leave no slot holding what they owned, wherever the
// oldest entry stands when the ring is cleared.
TEST(Ring, ClearReleasesEveryEntryWhereverTheRingStands)
{
  for (int taken = 0; taken <= 4; ++taken) {
    SCOPED_TRACE(taken);
    auto owned = std::make_shared<int>(0);
    Ring4 ring;
    for (int i = 0; i < 4; ++i)
      ring.put(std::shared_ptr<int>(owned));
    std::shared_ptr<int> e;
    for (int i = 0; i < taken; ++i)
      ring.get(e);
    for (int i = 0; i < taken; ++i)
      ring.put(std::shared_ptr<int>(owned));
    ring.take_first([](const std::shared_ptr<int>&) { return true; }, e);
    e.reset();
    ring.clear();
    EXPECT_EQ(owned.use_count(), 1);
    EXPECT_TRUE(ring.empty());
    for (int i = 1; i <= 4; ++i)
      ring.put(std::make_shared<int>(i));
    EXPECT_EQ(drain(ring), (std::vector<int>{1, 2, 3, 4}));
  }
}
