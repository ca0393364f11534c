#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bacnet/codec/codec_acks.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace {

// A record whose release is seen: it notes the number it held.
struct Probe {
  int number = 0;
};
std::vector<int> released;
void release_probe(Probe* probe)
{
  if (probe->number)
    released.push_back(probe->number);
  probe->number = 0;
}
using OwnedProbe = Owned<Probe, release_probe>;

void fill(Probe* out, int number) { out->number = number; }

struct Row {
  std::string name;
  std::function<void()> steps;
  std::vector<int> released;  // in order, once every owner has left its scope
};

TEST(Owned, ReleasesExactlyOnceWhateverHandsItOver)
{
  const std::vector<Row> rows = {
      {"the scope ends", [] { OwnedProbe a(Probe{1}); }, {1}},
      {"moved into a new owner",
       [] {
         OwnedProbe a(Probe{1});
         OwnedProbe b(std::move(a));
         EXPECT_EQ(a->number, 0);
         EXPECT_EQ(b->number, 1);
       },
       {1}},
      {"moved over an owner that holds one",
       [] {
         OwnedProbe a(Probe{1});
         OwnedProbe b(Probe{2});
         b = std::move(a);
         EXPECT_EQ(released, std::vector<int>{2});
       },
       {2, 1}},
      {"released to the caller",
       [] {
         OwnedProbe a(Probe{1});
         Probe taken = a.release();
         EXPECT_EQ(taken.number, 1);
         EXPECT_EQ(a->number, 0);
       },
       {}},
      {"reset to another",
       [] {
         OwnedProbe a(Probe{1});
         a.reset(Probe{2});
         EXPECT_EQ(released, std::vector<int>{1});
       },
       {1, 2}},
      {"reset to nothing",
       [] {
         OwnedProbe a(Probe{1});
         a.reset();
         EXPECT_EQ((*a).number, 0);
       },
       {1}},
      {"filled as an out-parameter",
       [] {
         OwnedProbe a;
         fill(a.get(), 3);
       },
       {3}},
  };
  for (const Row& row : rows) {
    released.clear();
    row.steps();
    EXPECT_EQ(released, row.released) << row.name;
  }
}

// The value library's and the codec's own release functions: the leak check of the asan
// build sees anything they leave behind.
TEST(Owned, HoldsValuesAndCodecRecords)
{
  OwnedValue text;
  ASSERT_EQ(value_set_charstring("Halle 3", text.get()), VALUE_OK);
  OwnedValue moved(std::move(text));
  EXPECT_STREQ(moved->payload.text, "Halle 3");

  Owned<ReadPropertyAck, pdu_free_read_property_ack> ack;
  ASSERT_EQ(value_set_charstring("Halle 3", &ack->value), VALUE_OK);
  ack.reset();
  EXPECT_EQ(ack->object.type, 999u);  // a fresh record again
  EXPECT_EQ(ack->value.tag, uint32_t(TAG_NULL));
  ASSERT_EQ(value_set_charstring("Halle 4", &ack->value), VALUE_OK);
}

}  // namespace
