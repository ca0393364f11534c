#include "server_fixture.h"

#include "bacnet/objects/object_lists.h"
#include "bacnet/value/owned.h"

#include <gmock/gmock.h>

using namespace servertest;
using ::testing::ElementsAre;

namespace {

const std::string kCalendar0 = "01 80 00 00";
const std::string kDevice = "02 00 12 67";
// Three dates of a Calendar's date list: 2026-12-24, -25 and -26.
const std::string kThreeDates = "0C 7E 0C 18 FF 0C 7E 0C 19 FF 0C 7E 0C 1A FF";

// The list operations of the object database, played by the test: every call is noted, and
// the call numbered `fail_at` (from 1) fails with `failure`.
struct ListFake {
  std::vector<std::string> calls;
  int fail_at = 0;
  int failure = 0;
  std::vector<uint32_t> saved;
} g_fake;

std::string describe(const char* op, const BACnetValue* element)
{
  std::string out = op;
  if (const auto* entry = value_record<BACnetCalendarEntry>(element))
    out += " " + std::to_string(entry->date.day);
  else
    out += " tag " + std::to_string(element->tag);
  return out;
}

int outcome(uint32_t owner)
{
  if (int(g_fake.calls.size()) != g_fake.fail_at)
    return 0;
  // The object database sets its error class with every access; property here.
  OwnedValue name;
  object_ReadObjectProperty(-1, owner, 6, 0, 77, -1, name.get());
  return g_fake.failure;
}

int fake_add(uint32_t owner, uint32_t, uint32_t, uint32_t, int32_t, uint8_t, BACnetValue* element)
{
  g_fake.calls.push_back(describe("add", element));
  return outcome(owner);
}

int fake_remove(uint32_t owner, uint32_t, uint32_t, uint32_t, int32_t, BACnetValue* element)
{
  g_fake.calls.push_back(describe("remove", element));
  return outcome(owner);
}

int fake_save(uint32_t owner)
{
  g_fake.saved.push_back(owner);
  return 0;
}

class ObjectServices : public Server {
protected:
  void SetUp() override
  {
    g_fake = ListFake{};
    seams.add_list_element = fake_add;
    seams.remove_list_element = fake_remove;
    seams.save_device = fake_save;
    Server::SetUp();
    for (uint32_t instance : {0, 1, 3})
      ASSERT_NE(object_CreateObject(kOwn, 17, instance), nullptr);
    ASSERT_NE(object_CreateObject(kOwn, 6, 0), nullptr);
  }
};

TEST_F(ObjectServices, AddListElementAppliesEveryElement)
{
  EXPECT_EQ(ask(8, "0C " + kCalendar0 + " 19 17 3E " + kThreeDates + " 3F"), answer("20", "08"));
  EXPECT_THAT(g_fake.calls, ElementsAre("add 24", "add 25", "add 26"));
}

// The list itself is put back whole (see ListServices below); no element is undone alone.
TEST_F(ObjectServices, AFailingElementEndsTheRequestAndIsNamed)
{
  g_fake.fail_at = 3;
  g_fake.failure = 20;  // no-space-to-add-list-element
  EXPECT_EQ(ask(8, "0C " + kCalendar0 + " 19 17 3E " + kThreeDates + " 3F"), answer("50", "08 0E 91 02 91 13 0F 19 03"));
  EXPECT_THAT(g_fake.calls, ElementsAre("add 24", "add 25", "add 26"));

  g_fake.calls.clear();
  g_fake.fail_at = 2;
  g_fake.failure = 2;  // other
  EXPECT_EQ(ask(9, "0C " + kCalendar0 + " 19 17 3E " + kThreeDates + " 3F"), answer("50", "09 0E 91 02 91 01 0F 19 02"));
  EXPECT_THAT(g_fake.calls, ElementsAre("remove 24", "remove 25"));

  // A failure that carries no BACnet error code goes out as other.
  g_fake.calls.clear();
  g_fake.fail_at = 1;
  g_fake.failure = -1;
  EXPECT_EQ(ask(8, "0C " + kCalendar0 + " 19 17 3E " + kThreeDates + " 3F"), answer("50", "08 0E 91 02 91 00 0F 19 01"));
}

TEST_F(ObjectServices, AValueThatIsNoListIsOneElement)
{
  g_fake.fail_at = 1;
  g_fake.failure = 23;  // property-is-not-a-list
  EXPECT_EQ(ask(8, "0C 00 80 00 01 19 55 3E 44 41 48 00 00 3F"), answer("50", "08 0E 91 02 91 16 0F 19 01"));
  EXPECT_THAT(g_fake.calls, ElementsAre("add tag 4"));
}

TEST_F(ObjectServices, ListRequestsThatDoNotDecodeNameTheFirstElement)
{
  EXPECT_EQ(ask(8, "0C " + kCalendar0 + " 19 17"), answer("50", "08 0E 91 05 91 FF 0F 19 01"));
  EXPECT_EQ(ask(9, "0C " + kCalendar0), answer("50", "09 0E 91 05 91 FF 0F 19 01"));
  EXPECT_TRUE(g_fake.calls.empty());
}

TEST_F(ObjectServices, WithoutTheListOperationsTheListServicesAreUnrecognised)
{
  ConfirmedServicesSeams none;
  services_register_confirmed_handlers(&none);
  EXPECT_EQ(ask(8, "0C " + kCalendar0 + " 19 17 3E " + kThreeDates + " 3F"), answer("60", "09"));
  EXPECT_EQ(ask(9, "0C " + kCalendar0 + " 19 17 3E " + kThreeDates + " 3F"), answer("60", "09"));
}

TEST_F(ObjectServices, CreateObjectByTypeTakesTheLowestFreeInstance)
{
  EXPECT_EQ(ask(10, "0E 09 11 0F"), answer("30", "0A C4 04 40 00 02"));
  EXPECT_NE(object_Find(kOwn, 17, 2), nullptr);
  EXPECT_EQ(ask(10, "0E 09 14 0F"), answer("30", "0A C4 05 00 00 00"));  // Trend Log 0
  EXPECT_THAT(g_fake.saved, ElementsAre(kOwn, kOwn));
}

TEST_F(ObjectServices, CreateObjectWritesItsInitialValuesOrCreatesNothing)
{
  // Calendar 5 with one date and an object name, which a Calendar does not take: the second
  // value fails (property, write-access-denied) and no Calendar 5 is left.
  const std::string date = "09 17 2E 0C 7E 0C 18 FF 2F";
  EXPECT_EQ(ask(10, "0E 1C 01 80 00 05 0F 1E " + date + " 09 4D 2E 75 07 00 " + text_hex("Ferien") + " 2F 1F"),
            answer("50", "0A 0E 91 02 91 28 0F 19 02"));
  EXPECT_EQ(object_Find(kOwn, 6, 5), nullptr);
  EXPECT_TRUE(g_fake.saved.empty());

  EXPECT_EQ(ask(10, "0E 1C 01 80 00 05 0F 1E " + date + " 1F"), answer("30", "0A C4 01 80 00 05"));
  OwnedValue v;
  ASSERT_EQ(read(6, 5, 23, v.get()), 0);
  ASSERT_NE(value_array(v.get()), nullptr);
  EXPECT_EQ(value_array(v.get())->used, 1u);
  EXPECT_THAT(g_fake.saved, ElementsAre(kOwn));
}

TEST_F(ObjectServices, CreateObjectRefusals)
{
  EXPECT_EQ(ask(10, "0E 1C " + kCalendar0 + " 0F"), answer("50", "0A 0E 91 01 91 18 0F 19 00"));  // exists
  EXPECT_EQ(ask(10, "0E 09 02 0F"), answer("50", "0A 0E 91 01 91 04 0F 19 00"));                // Analog Value
  EXPECT_EQ(ask(10, "0E 1C " + kDevice + " 0F"), answer("50", "0A 0E 91 01 91 04 0F 19 00"));
  EXPECT_EQ(ask(10, "0E 09 80 0F"), answer("50", "0A 0E 91 01 91 04 0F 19 00"));                // Meter
  EXPECT_EQ(ask(10, "0E 0A 03 E9 0F"), answer("50", "0A 0E 91 01 91 04 0F 19 00"));             // remote device
  EXPECT_EQ(ask(10, "0E 09 19 0F"), answer("50", "0A 0E 91 01 91 1F 0F 19 00"));                // type 25
  EXPECT_EQ(ask(10, "0E 09 11"), answer("50", "0A 0E 91 01 91 FF 0F 19 00"));
  EXPECT_TRUE(g_fake.saved.empty());
}

TEST_F(ObjectServices, DeleteObjectRemovesCreatableObjectsOnly)
{
  EXPECT_EQ(ask(11, "C4 " + kCalendar0), answer("20", "0B"));
  EXPECT_EQ(object_Find(kOwn, 6, 0), nullptr);
  EXPECT_THAT(g_fake.saved, ElementsAre(kOwn));
  EXPECT_EQ(ask(11, "C4 " + kCalendar0), answer("50", "0B 91 01 91 11"));
  EXPECT_EQ(ask(11, "C4 " + kDevice), answer("50", "0B 91 01 91 17"));
  EXPECT_EQ(ask(11, "C4 00 80 00 01"), answer("50", "0B 91 01 91 17"));
  EXPECT_EQ(ask(11, "C4 06 40 00 00"), answer("50", "0B 91 01 91 1F"));  // type 25
  EXPECT_EQ(ask(11, "C4 01 80"), answer("50", "0B 91 01 91 FF"));
  EXPECT_NE(object_Find(kOwn, 8, kOwn), nullptr);
  EXPECT_EQ(g_fake.saved.size(), 1u);
}

// The list services over the object database itself.
class ListServices : public Server {
protected:
  void SetUp() override
  {
    seams.add_list_element = object_AddListElement;
    seams.remove_list_element = object_RemoveListElement;
    Server::SetUp();
    for (uint32_t type : {6u, 15u, 17u, 19u})
      ASSERT_NE(object_CreateObject(kOwn, type, type == 6 ? 0 : 1), nullptr);
  }
};

// A Destination of the recipient list: every day, all day, to the device, process 1,
// unconfirmed, every transition. `days` are the valid days as a bit string.
std::string destination(const std::string& device, const std::string& days = "82 01 FE")
{
  return days + " B4 00 00 00 00 B4 17 3B 3B 63 0C " + device + " 21 01 10 82 05 E0";
}

TEST_F(ListServices, AFailedRequestLeavesTheListAsItWas)
{
  const std::string kClass1 = "0C 03 C0 00 01 19 66 ", kCalendar = "0C " + kCalendar0 + " 19 17 ",
                    kAlarmValues = "0C 04 C0 00 01 19 27 ", kExceptions = "0C 04 40 00 01 19 26 ",
                    kTuesday = "0C 04 40 00 01 19 7B 29 02 ";
  const std::string device100 = "02 00 00 64", device200 = "02 00 00 C8";
  // Christmas Eve from six at 21.5, priority 5; New Year without time values.
  const std::string christmas = "0E 0C 7E 0C 18 FF 0F 2E B4 06 00 00 00 44 41 AC 00 00 2F 39 05",
                    new_year = "0E 0C 7F 01 01 FF 0F 2E 2F 39 05";
  const std::string christmas_at_4 = christmas.substr(0, christmas.size() - 2) + "04",
                    new_year_at_0 = new_year.substr(0, new_year.size() - 2) + "00",
                    seven = "0E B4 07 00 00 00 44 41 AC 00 00 0F";
  // What each list holds before: device 100 the only recipient of the class, one date, one
  // alarm value, one exception.
  EXPECT_EQ(ask(8, kClass1 + "3E " + destination(device100) + " 3F"), answer("20", "08"));
  EXPECT_EQ(ask(8, kCalendar + "3E 0C 7E 0C 18 FF 3F"), answer("20", "08"));
  EXPECT_EQ(ask(8, kAlarmValues + "3E 21 03 3F"), answer("20", "08"));
  EXPECT_EQ(ask(8, kExceptions + "29 01 3E " + christmas + " 3F"), answer("20", "08"));
  struct Case {
    const char* name;
    uint8_t choice;
    std::string request, answer;
    uint32_t type, instance, property;
  };
  const std::vector<Case> cases = {
      // The recipient there already and one whose valid days are six: without the undo
      // removing it, device 100 keeps its alarms.
      {"a recipient again and a bad one", 8, kClass1 + "3E " + destination(device100) + " " +
                                                 destination(device200, "82 02 FC") + " 3F",
       "08 0E 91 02 91 25 0F 19 02", 15, 1, 102},
      {"a recipient and one never there", 9, kClass1 + "3E " + destination(device100) + " " + destination(device200) +
                                                 " 3F",
       "09 0E 91 02 91 00 0F 19 02", 15, 1, 102},
      {"a new date and the one there", 8, kCalendar + "3E 0C 7E 0C 19 FF 0C 7E 0C 18 FF 3F",
       "08 0E 91 02 91 00 0F 19 02", 6, 0, 23},
      {"the alarm value there and a REAL", 8, kAlarmValues + "3E 21 03 44 40 00 00 00 3F", "08 0E 91 02 91 09 0F 19 02",
       19, 1, 39},
      {"an exception never there", 9, kExceptions + "29 01 3E " + new_year + " 3F", "09 0E 91 02 91 00 0F 19 01", 17, 1,
       38},
      // The exception on that day differs from the one there in its priority alone.
      {"an exception like the one there", 9, kExceptions + "29 01 3E " + christmas_at_4 + " 3F",
       "09 0E 91 02 91 00 0F 19 01", 17, 1, 38},
      // Under an index every element counts, not only the first.
      {"the exception there and one never there", 9, kExceptions + "29 01 3E " + christmas + " " + new_year + " 3F",
       "09 0E 91 02 91 00 0F 19 02", 17, 1, 38},
      {"a new exception and one at priority 0", 8, kExceptions + "29 01 3E " + new_year + " " + new_year_at_0 + " 3F",
       "08 0E 91 02 91 25 0F 19 02", 17, 1, 38},
      {"Tuesday at seven twice", 8, kTuesday + "3E " + seven + " " + seven + " 3F", "08 0E 91 02 91 00 0F 19 02", 17,
       1, 123},
  };
  for (const Case& c : cases) {
    OwnedValue before, after;
    ASSERT_EQ(object_GetObjectProperty(-1, kOwn, c.type, c.instance, c.property, -1, before.get()), 0) << c.name;
    EXPECT_EQ(ask(c.choice, c.request), answer("50", c.answer)) << c.name;
    ASSERT_EQ(object_GetObjectProperty(-1, kOwn, c.type, c.instance, c.property, -1, after.get()), 0) << c.name;
    ASSERT_NE(value_array(after.get()), nullptr) << c.name;
    EXPECT_EQ(value_array(after.get())->used, c.property == 123 ? 7u : 1u) << c.name;  // the week's days
    EXPECT_EQ(value_compare(before.get(), after.get()), 0) << c.name;
  }
  // Under an index, two events in one request are both stored.
  const std::string new_year_at_6 = new_year.substr(0, new_year.size() - 2) + "06";
  EXPECT_EQ(ask(8, kExceptions + "29 01 3E " + new_year + " " + new_year_at_6 + " 3F"), answer("20", "08"));
  OwnedValue exceptions;
  ASSERT_EQ(object_GetObjectProperty(-1, kOwn, 17, 1, 38, -1, exceptions.get()), 0);
  EXPECT_EQ(value_array(exceptions.get())->used, 3u);
}

}  // namespace
