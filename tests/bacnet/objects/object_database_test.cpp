#include "reporting_test_util.h"

#include <cstring>
#include <functional>
#include <thread>

#include "bacnet/foundation/stack_wake.h"
#include "bacnet/objects/object_database.h"

using namespace objtest;

namespace {

std::vector<uint32_t> g_saves;
bool g_save_fails = false;
int note_save(uint32_t owner)
{
  g_saves.push_back(owner);
  return g_save_fails ? -1 : 0;
}

class ObjectDatabase : public ReportingTest {
protected:
  void SetUp() override
  {
    ReportingTest::SetUp();
    g_saves.clear();
    object_set_save_function(nullptr);
  }
  void TearDown() override
  {
    object_set_save_function(nullptr);
    object_DeviceSetupShutdown();
    ObjectWriteEntry e;
    while (object_DequeueWrite(&e) == 0)
      value_free(&e.value);
    ReportingTest::TearDown();
  }
};

TEST_F(ObjectDatabase, SixtyFourRegistrationsWaitAndApplyInTheirOrder)
{
  for (uint32_t i = 0; i < 64; ++i) {
    ObjectRegistration r;
    r.owner = kOwner;
    r.type = OBJECT_ANALOG_INPUT;
    r.instance = 7;  // the same object each time: the last name queued wins
    r.name = strdup(("Fühler " + std::to_string(i)).c_str());
    ASSERT_EQ(object_QueueAnalogUpdate(&r), 0);
  }
  ObjectRegistration extra;
  EXPECT_EQ(object_QueueAnalogUpdate(&extra), -1);
  ObjectRegistration binary;
  binary.owner = kOwner;
  binary.type = OBJECT_BINARY_VALUE;
  binary.instance = 2;
  binary.name = strdup("Fenster");
  binary.description = strdup("Kontakt");
  ASSERT_EQ(object_QueueBinaryUpdate(&binary), 0);
  object_Poll();
  EXPECT_EQ(text_of(object_Find(kOwner, OBJECT_ANALOG_INPUT, 7)->name), "Fühler 63");
  ObjectRecord* bv = object_Find(kOwner, OBJECT_BINARY_VALUE, 2);
  ASSERT_NE(bv, nullptr);
  EXPECT_EQ(text_of(bv->name), "Fenster");
  EXPECT_EQ(text_of(*object_value(bv, PROP_DESCRIPTION)), "Kontakt");
  EXPECT_EQ(object_QueueAnalogUpdate(&extra), 0);  // room again
}

TEST_F(ObjectDatabase, UpdatesSetValuesOrReliability)
{
  struct Case {
    uint32_t type;
    uint32_t reliability;
    BACnetValue value;
    uint32_t property;  // where the value lands
    float stored;
    uint32_t reliability_after;
  };
  BACnetValue real = real_value(21.5f), unsigned_two = unsigned_element(2), enumerated_one{};
  uint32_t one = 1;
  value_set_enumerated(&one, &enumerated_one);
  const std::vector<Case> cases = {
      {OBJECT_ANALOG_INPUT, 0, real, PROP_PRESENT_VALUE, 21.5f, 0},
      {OBJECT_ANALOG_OUTPUT, 0, real, PROP_RELINQUISH_DEFAULT, 21.5f, 0},
      {OBJECT_BINARY_VALUE, 0, enumerated_one, PROP_RELINQUISH_DEFAULT, 1, 0},
      {OBJECT_MULTI_STATE_OUTPUT, 0, unsigned_two, PROP_RELINQUISH_DEFAULT, 2, 0},
      {OBJECT_BINARY_VALUE, 0, real, PROP_RELINQUISH_DEFAULT, 0, 7},  // a REAL for a binary object
      {OBJECT_ANALOG_VALUE, 3, real, PROP_RELINQUISH_DEFAULT, 0, 3},  // reliability wins, value untouched
  };
  for (uint32_t i = 0; i < cases.size(); ++i) {
    create(cases[i].type, 10 + i);
    ASSERT_EQ(object_RequestWrite(kOwner, cases[i].type, 10 + i, cases[i].reliability, &cases[i].value), 0);
  }
  ASSERT_EQ(object_RequestWrite(kOwner, OBJECT_ANALOG_INPUT, 99, 0, &real), 0);  // no such object: dropped
  object_Poll();
  for (uint32_t i = 0; i < cases.size(); ++i) {
    ObjectRecord* r = object_Find(kOwner, cases[i].type, 10 + i);
    const float* real_field = object_real(r, cases[i].property);
    EXPECT_EQ(real_field ? *real_field : float(*object_word(r, cases[i].property)), cases[i].stored) << i;
    EXPECT_EQ(*object_word(r, PROP_RELIABILITY), cases[i].reliability_after) << i;
  }
  EXPECT_EQ(object_Find(kOwner, OBJECT_ANALOG_INPUT, 99), nullptr);
  EXPECT_EQ(object_ApplyUpdate(kOwner, OBJECT_CALENDAR, 1, 0, &real), -1);
}

TEST_F(ObjectDatabase, TheWriteRingHoldsSixtyFourAndWrapsAround)
{
  Value text;
  value_set_charstring("Wert", text.get());
  for (uint32_t i = 0; i < 64; ++i)
    ASSERT_EQ(object_RequestWrite(kOwner, 0, i, 0, text.get()), 0);
  EXPECT_EQ(object_RequestWrite(kOwner, 0, 64, 0, text.get()), -1);
  ObjectWriteEntry e;
  ASSERT_EQ(object_DequeueWrite(&e), 0);
  EXPECT_EQ(e.instance, 0u);
  EXPECT_EQ(text_of(e.value), "Wert");  // a copy of its own
  value_free(&e.value);
  EXPECT_EQ(object_RequestWrite(kOwner, 0, 64, 0, text.get()), 0);
  uint32_t last = 0;
  while (object_DequeueWrite(&e) == 0) {
    last = e.instance;
    value_free(&e.value);
  }
  EXPECT_EQ(last, 64u);
}

TEST_F(ObjectDatabase, TheFirstChangeIsSavedAtOnceLaterOnesOnceADay)
{
  object_set_save_function(note_save);
  object_Init(kOwner, nullptr, nullptr);
  const uint32_t start = kMondayNoon;
  struct Step {
    uint32_t at;  // seconds after the start
    bool change;
    std::size_t saves;
    bool fails = false;  // the save of this step
  };
  // A save that fails (a full disk) keeps the change for the next day's save.
  const std::vector<Step> steps = {{0, true, 1}, {3600, true, 1}, {86400, false, 1}, {86401, false, 2},
                                   {86402, false, 2}, {172802, true, 3, true}, {172803, false, 3},
                                   {259203, false, 4}, {259204, false, 4}};
  for (const Step& s : steps) {
    clock.set_wall(start + s.at);
    if (s.change)
      object_SetChanged();
    g_save_fails = s.fails;
    object_Poll();
    EXPECT_EQ(g_saves.size(), s.saves) << s.at;
  }
  g_save_fails = false;
  object_SetChanged();
  object_Shutdown();
  EXPECT_EQ(g_saves.size(), 5u);
  EXPECT_EQ(g_saves.back(), kOwner);
  objtable_create();
}

TEST_F(ObjectDatabase, EveryQueuedEntryWakesTheStackThread)
{
  object_DeviceSetupInit();
  ObjectRegistration analog, binary;
  binary.type = OBJECT_BINARY_VALUE;
  ObjectWriteEntry write;
  DeviceSetupEntry setup;
  setup.instance = 815;
  for (const std::function<int()>& queue : std::vector<std::function<int()>>{
           [&] { return object_QueueAnalogUpdate(&analog); }, [&] { return object_QueueBinaryUpdate(&binary); },
           [&] { return object_QueueWrite(&write); }, [&] { return object_QueueDeviceSetup(&setup); }}) {
    stack_wait(0);  // takes any earlier wake-up
    ASSERT_EQ(queue(), 0);
    EXPECT_EQ(stack_wait(0), OsWake::kSignalled);
  }
  object_Poll();
}

TEST_F(ObjectDatabase, SetUpRequestsNeverWaitPastTheShutDown)
{
  object_Init(kOwner, nullptr, nullptr);
  int result = 2;
  std::thread api([&] { result = object_RequestDeviceSetup(0, 815, nullptr, 0, "2.0", nullptr, nullptr, "Raum", nullptr,
                                                           nullptr, nullptr); });
  // Queued or not yet: the shut-down completes or refuses it.
  object_Shutdown();
  api.join();
  EXPECT_EQ(result, -1);
  EXPECT_EQ(object_RequestDeviceSetup(0, 815, nullptr, 0, nullptr, nullptr, nullptr, "Raum", nullptr, nullptr, nullptr),
            -1);
  objtable_create();
  EXPECT_EQ(object_Find(815, OBJECT_DEVICE, 815), nullptr);
}

}  // namespace
