#include "objects_test_util.h"

using namespace objtest;

namespace {

struct Report {
  uint32_t owner;
  BACnetObjectId object;
  uint32_t property;
  int32_t index;
  uint32_t tag;
  uint32_t word;
  uint32_t priority;
};
std::vector<Report> g_changes;
std::vector<BACnetObjectId> g_events;
int g_timer_runs = 0;

void on_change(uint32_t owner, BACnetObjectId object, const BACnetValue* pv, uint32_t priority)
{
  auto* p = value_record<BACnetPropertyValue>(pv);
  g_changes.push_back({owner, object, p->property, p->array_index, p->value.tag, p->value.payload.unsigned_value, priority});
}
void on_event(uint32_t, BACnetObjectId object) { g_events.push_back(object); }
void on_timer(uint32_t, ObjectRecord* record, int flag)
{
  EXPECT_EQ(flag, 0);
  EXPECT_NE(record, nullptr);
  ++g_timer_runs;
}

uint32_t bits_of_real(float f)
{
  uint32_t w;
  std::memcpy(&w, &f, 4);
  return w;
}

}  // namespace

class CommandableTest : public ObjectsTest {
protected:
  void SetUp() override
  {
    ObjectsTest::SetUp();
    g_changes.clear();
    g_events.clear();
    g_timer_runs = 0;
    ObjectHooks hooks;
    hooks.notify_change = on_change;
    hooks.notify_event = on_event;
    hooks.object_timer = on_timer;
    object_set_hooks(&hooks);
  }
  float present_real(uint32_t type, uint32_t instance)
  {
    Value v;
    EXPECT_EQ(read(kOwner, type, instance, PROP_PRESENT_VALUE, v), 0);
    EXPECT_EQ(v->tag, TAG_REAL);
    return v->payload.real;
  }
  const BACnetPriorityValue* slot(ObjectRecord* r, uint32_t priority)
  {
    return value_record<BACnetPriorityValue>(&array_of(*object_value(r, PROP_PRIORITY_ARRAY)).elements[priority - 1]);
  }
};

TEST_F(CommandableTest, HighestPriorityWinsAndRelinquishFallsBack)
{
  ObjectRecord* ao = create(OBJECT_ANALOG_OUTPUT, 1);
  Value v;
  set_real(v, 40);
  ASSERT_EQ(write(kOwner, OBJECT_ANALOG_OUTPUT, 1, PROP_PRESENT_VALUE, v, 0), 0);
  EXPECT_EQ(slot(ao, 16)->choice, 1u);
  EXPECT_FLOAT_EQ(slot(ao, 16)->real, 40);
  EXPECT_FLOAT_EQ(present_real(OBJECT_ANALOG_OUTPUT, 1), 40);

  set_real(v, 10);
  ASSERT_EQ(write(kOwner, OBJECT_ANALOG_OUTPUT, 1, PROP_PRESENT_VALUE, v, 8), 0);
  set_real(v, 70);
  ASSERT_EQ(write(kOwner, OBJECT_ANALOG_OUTPUT, 1, PROP_PRESENT_VALUE, v, 12), 0);
  EXPECT_FLOAT_EQ(present_real(OBJECT_ANALOG_OUTPUT, 1), 10);

  Value null;
  ASSERT_EQ(write(kOwner, OBJECT_ANALOG_OUTPUT, 1, PROP_PRESENT_VALUE, null, 8), 0);
  EXPECT_EQ(slot(ao, 8)->choice, 0u);
  EXPECT_FLOAT_EQ(present_real(OBJECT_ANALOG_OUTPUT, 1), 70);
  ASSERT_EQ(write(kOwner, OBJECT_ANALOG_OUTPUT, 1, PROP_PRESENT_VALUE, null, 12), 0);
  ASSERT_EQ(write(kOwner, OBJECT_ANALOG_OUTPUT, 1, PROP_PRESENT_VALUE, null, 16), 0);
  *object_real(ao, PROP_RELINQUISH_DEFAULT) = 12.5f;
  EXPECT_FLOAT_EQ(present_real(OBJECT_ANALOG_OUTPUT, 1), 12.5f);

  // The array reads by index, element by element.
  ASSERT_EQ(read(kOwner, OBJECT_ANALOG_OUTPUT, 1, PROP_PRIORITY_ARRAY, v, 0), 0);
  EXPECT_EQ(v->payload.unsigned_value, 16u);
  ASSERT_EQ(read(kOwner, OBJECT_ANALOG_OUTPUT, 1, PROP_PRIORITY_ARRAY, v, 16), 0);
  EXPECT_EQ(v->tag, TAG_PRIORITY_VALUE);
  EXPECT_EQ(read(kOwner, OBJECT_ANALOG_OUTPUT, 1, PROP_PRIORITY_ARRAY, v, 17), PROPERTY_INVALID_ARRAY_INDEX);
}

TEST_F(CommandableTest, EachTypeCommandsItsOwnKind)
{
  ObjectRecord* bo = create(OBJECT_BINARY_OUTPUT, 1);
  ObjectRecord* mv = create(OBJECT_MULTI_STATE_VALUE, 1);
  *object_word(mv, PROP_NUMBER_OF_STATES) = 3;
  Value v;
  set_enumerated(v, 1);
  ASSERT_EQ(write(kOwner, OBJECT_BINARY_OUTPUT, 1, PROP_PRESENT_VALUE, v, 3), 0);
  EXPECT_EQ(slot(bo, 3)->choice, 2u);
  ASSERT_EQ(read(kOwner, OBJECT_BINARY_OUTPUT, 1, PROP_PRESENT_VALUE, v), 0);
  EXPECT_EQ(v->tag, TAG_ENUMERATED);
  EXPECT_EQ(v->payload.enumerated, 1u);

  set_unsigned(v, 3);
  ASSERT_EQ(write(kOwner, OBJECT_MULTI_STATE_VALUE, 1, PROP_PRESENT_VALUE, v, 9), 0);
  ASSERT_EQ(read(kOwner, OBJECT_MULTI_STATE_VALUE, 1, PROP_PRESENT_VALUE, v), 0);
  EXPECT_EQ(v->tag, TAG_UNSIGNED);
  EXPECT_EQ(v->payload.unsigned_value, 3u);
  EXPECT_EQ(*object_word(mv, PROP_PRESENT_VALUE), 3u);

  // The stack's own writers may give a multi-state output an ENUMERATED state.
  ObjectRecord* mo = create(OBJECT_MULTI_STATE_OUTPUT, 1);
  set_enumerated(v, 2);
  ASSERT_EQ(object_SetObjectProperty(-1, kOwner, OBJECT_MULTI_STATE_OUTPUT, 1, PROP_PRESENT_VALUE, -1, v.get(), 4), 0);
  EXPECT_EQ(slot(mo, 4)->choice, 3u);
  EXPECT_EQ(slot(mo, 4)->unsigned_value, 2u);
  // ... but a REAL is no state.
  set_real(v, 2);
  EXPECT_EQ(object_SetObjectProperty(-1, kOwner, OBJECT_MULTI_STATE_OUTPUT, 1, PROP_PRESENT_VALUE, -1, v.get(), 4), 1);
}

TEST_F(CommandableTest, AnalogChangesAreReportedBeyondTheCovIncrement)
{
  ObjectRecord* av = create(OBJECT_ANALOG_VALUE, 2);
  *object_word(av, PROP_RELIABILITY) = 0;
  Value v;
  set_real(v, 0.05f);  // within the increment of 0.1 from 0
  ASSERT_EQ(write(kOwner, OBJECT_ANALOG_VALUE, 2, PROP_PRESENT_VALUE, v, 5), 0);
  EXPECT_TRUE(g_changes.empty());
  set_real(v, 0.5f);
  ASSERT_EQ(write(kOwner, OBJECT_ANALOG_VALUE, 2, PROP_PRESENT_VALUE, v, 5), 0);
  ASSERT_EQ(g_changes.size(), 1u);
  EXPECT_EQ(g_changes[0].owner, kOwner);
  EXPECT_EQ(g_changes[0].object.type, OBJECT_ANALOG_VALUE);
  EXPECT_EQ(g_changes[0].object.instance, 2u);
  EXPECT_EQ(g_changes[0].property, PROP_PRESENT_VALUE);
  EXPECT_EQ(g_changes[0].index, -1);
  EXPECT_EQ(g_changes[0].tag, TAG_REAL);
  EXPECT_EQ(g_changes[0].word, bits_of_real(0.5f));
  EXPECT_EQ(g_changes[0].priority, 5u);
  EXPECT_EQ(g_timer_runs, 1);
  set_real(v, 0.55f);  // measured from the value last reported
  ASSERT_EQ(write(kOwner, OBJECT_ANALOG_VALUE, 2, PROP_PRESENT_VALUE, v, 5), 0);
  EXPECT_EQ(g_changes.size(), 1u);
  // A lower priority does not change the present value, so nothing to report.
  set_real(v, 90);
  ASSERT_EQ(write(kOwner, OBJECT_ANALOG_VALUE, 2, PROP_PRESENT_VALUE, v, 9), 0);
  EXPECT_EQ(g_changes.size(), 1u);

  // An unreliable object reports every write.
  *object_word(av, PROP_RELIABILITY) = 7;
  ASSERT_EQ(write(kOwner, OBJECT_ANALOG_VALUE, 2, PROP_PRESENT_VALUE, v, 9), 0);
  EXPECT_EQ(g_changes.size(), 2u);
  // Reading an AV tells nobody.
  present_real(OBJECT_ANALOG_VALUE, 2);
  EXPECT_TRUE(g_events.empty());
}

TEST_F(CommandableTest, MultiStateAndBinaryReportRealChangesOnly)
{
  ObjectRecord* mo = create(OBJECT_MULTI_STATE_OUTPUT, 1);
  *object_word(mo, PROP_NUMBER_OF_STATES) = 4;
  *object_word(mo, PROP_RELIABILITY) = 0;
  Value v;
  set_unsigned(v, 2);
  ASSERT_EQ(write(kOwner, OBJECT_MULTI_STATE_OUTPUT, 1, PROP_PRESENT_VALUE, v, 10), 0);
  EXPECT_EQ(g_changes.size(), 1u);
  ASSERT_EQ(write(kOwner, OBJECT_MULTI_STATE_OUTPUT, 1, PROP_PRESENT_VALUE, v, 11), 0);
  EXPECT_EQ(g_changes.size(), 1u);

  create(OBJECT_BINARY_VALUE, 1);
  set_enumerated(v, 1);
  ASSERT_EQ(write(kOwner, OBJECT_BINARY_VALUE, 1, PROP_PRESENT_VALUE, v, 10), 0);
  EXPECT_EQ(g_changes.size(), 2u);
  EXPECT_EQ(g_changes.back().word, 1u);
  ASSERT_EQ(write(kOwner, OBJECT_BINARY_VALUE, 1, PROP_PRESENT_VALUE, v, 12), 0);
  EXPECT_EQ(g_changes.size(), 2u);
  Value null;
  ASSERT_EQ(write(kOwner, OBJECT_BINARY_VALUE, 1, PROP_PRESENT_VALUE, null, 10), 0);
  EXPECT_EQ(g_changes.size(), 2u);  // priority 12 still holds active
  ASSERT_EQ(write(kOwner, OBJECT_BINARY_VALUE, 1, PROP_PRESENT_VALUE, null, 12), 0);
  EXPECT_EQ(g_changes.size(), 3u);
  EXPECT_EQ(g_changes.back().word, 0u);

  // Reading the present value of an MO tells the API clients; a BV does not.
  g_events.clear();
  ASSERT_EQ(read(kOwner, OBJECT_MULTI_STATE_OUTPUT, 1, PROP_PRESENT_VALUE, v), 0);
  ASSERT_EQ(read(kOwner, OBJECT_BINARY_VALUE, 1, PROP_PRESENT_VALUE, v), 0);
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_EQ(g_events[0].type, OBJECT_MULTI_STATE_OUTPUT);
}

TEST_F(CommandableTest, OutOfServiceStillCommandsThroughTheArray)
{
  ObjectRecord* bo = create(OBJECT_BINARY_OUTPUT, 1);
  *object_boolean(bo, PROP_OUT_OF_SERVICE) = 1;
  Value v;
  set_enumerated(v, 1);
  ASSERT_EQ(write(kOwner, OBJECT_BINARY_OUTPUT, 1, PROP_PRESENT_VALUE, v, 0), 0);
  EXPECT_EQ(slot(bo, 16)->enumerated, 1u);
  // The stored relinquish default of a BO is not writable over the network.
  EXPECT_EQ(write(kOwner, OBJECT_BINARY_OUTPUT, 1, PROP_RELINQUISH_DEFAULT, v), 41);
}
