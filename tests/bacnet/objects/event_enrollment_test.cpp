#include "reporting_test_util.h"

using namespace objtest;

namespace {

constexpr uint32_t kRecipient = 77;

class EventEnrollment : public ReportingTest {
protected:
  void SetUp() override
  {
    ReportingTest::SetUp();
    notification_class(10, {1, 2, 3}, {1, 1, 1}, {destination(kRecipient, 5, false)});
    monitored = create(OBJECT_ANALOG_VALUE, 1);
    setpoint = create(OBJECT_ANALOG_VALUE, 2);
    ee = create(OBJECT_EVENT_ENROLLMENT, 1);
    *object_word(ee, PROP_NOTIFICATION_CLASS) = 10;
    *object_reference(ee, PROP_OBJECT_PROPERTY_REFERENCE) = {
        {OBJECT_ANALOG_VALUE, 1}, PROP_PRESENT_VALUE, -1, {999, 0}};
  }
  // The event type and its parameters (the parameters' choice follows the type unless given).
  BACnetEventParameter& parameters(uint32_t type, uint32_t time_delay, uint32_t choice = 0)
  {
    *object_word(ee, PROP_EVENT_TYPE) = type;
    BACnetEventParameter& p = *object_event_parameter(ee, PROP_EVENT_PARAMETERS);
    p.choice = choice ? choice : type;
    p.time_delay = time_delay;
    return p;
  }
  uint32_t state() { return *object_word(ee, PROP_EVENT_STATE); }
  void value(float v) { *object_real(monitored, PROP_RELINQUISH_DEFAULT) = v; }

  ObjectRecord* monitored = nullptr;
  ObjectRecord* setpoint = nullptr;
  ObjectRecord* ee = nullptr;
};

TEST_F(EventEnrollment, FloatingLimitFollowsTheSetpointWithItsDeadband)
{
  BACnetEventParameter& p = parameters(4, 0);
  p.reference = {{OBJECT_ANALOG_VALUE, 2}, PROP_PRESENT_VALUE, -1, {999, 0}};
  p.low_limit = 5;
  p.high_limit = 5;
  p.deadband = 1;
  *object_real(setpoint, PROP_RELINQUISH_DEFAULT) = 20;
  const std::vector<std::pair<float, uint32_t>> steps = {{26, 3}, {24.5f, 3}, {23.9f, 0}, {14.9f, 4}, {15.5f, 4},
                                                         {16.1f, 0}};
  for (const auto& [v, expected] : steps) {
    value(v);
    tick();
    EXPECT_EQ(state(), expected) << v;
  }
  std::vector<Sent> e = events();
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ((std::vector<uint32_t>{e[0].event_type, e[0].choice, e[0].to, e[3].from}), (std::vector<uint32_t>{4, 4, 3, 4}));
  EXPECT_EQ((std::vector<float>{e[0].reals[0], e[0].reals[1], e[0].reals[2]}), (std::vector<float>{26, 20, 5}));
  EXPECT_EQ(e[0].status, (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(e[1].status, (std::vector<uint8_t>{0, 0, 0, 0}));
  // Event-enable is all false and still every transition was notified.
  EXPECT_EQ(bits_vector(*object_bits(ee, PROP_EVENT_ENABLE)), (std::vector<uint8_t>{0, 0, 0}));
}

TEST_F(EventEnrollment, OutOfRangeWaitsTheTimeDelayFromTheLastQuietRun)
{
  BACnetEventParameter& p = parameters(5, 10);
  p.low_limit = 0;
  p.high_limit = 100;
  p.deadband = 5;
  // Seconds 1-4 quiet, then 101; back at 99 at second 8; 101 from second 9 on.
  std::vector<float> values = {50, 50, 50, 50, 101, 101, 101, 99, 101};
  for (float v : values) {
    value(v);
    tick();
  }
  EXPECT_EQ(state(), 0u);
  for (int s = 0; s < 8; ++s) {
    tick();
    EXPECT_EQ(state(), 0u) << s;
  }
  tick();  // ten seconds after second 8, the last run that saw at most 100
  EXPECT_EQ(state(), 3u);
  value(94);
  tick(9);
  EXPECT_EQ(state(), 3u);
  tick();
  EXPECT_EQ(state(), 0u);
  ASSERT_EQ(events().size(), 2u);
  EXPECT_FLOAT_EQ(events()[1].reals[2], 100.0f);
}

TEST_F(EventEnrollment, ChangeOfStateAndCommandFailureCompareTheirValues)
{
  // Change of state on a Binary Value: active is offnormal.
  ObjectRecord* bv = create(OBJECT_BINARY_VALUE, 1);
  *object_reference(ee, PROP_OBJECT_PROPERTY_REFERENCE) = {{OBJECT_BINARY_VALUE, 1}, PROP_PRESENT_VALUE, -1, {999, 0}};
  BACnetEventParameter& p = parameters(1, 0);
  value_init(&p.values, TAG_PROPERTY_STATES);
  *value_record<BACnetPropertyStates>(&p.values) = {1, 1};
  const std::vector<std::pair<uint32_t, uint32_t>> steps = {{1, 2}, {1, 2}, {0, 0}};
  for (const auto& [pv, expected] : steps) {
    *object_word(bv, PROP_RELINQUISH_DEFAULT) = pv;
    tick();
    EXPECT_EQ(state(), expected);
  }
  ASSERT_EQ(events().size(), 2u);
  EXPECT_EQ((std::vector<uint32_t>{events()[0].choice, events()[0].new_state.choice, events()[0].new_state.value}),
            (std::vector<uint32_t>{1, 1, 1}));

  // Command failure: the Binary Value against the feedback of another.
  sent().clear();
  create(OBJECT_BINARY_VALUE, 2);
  BACnetEventParameter& c = parameters(3, 0);
  c.reference = {{OBJECT_BINARY_VALUE, 2}, PROP_PRESENT_VALUE, -1, {999, 0}};
  *object_word(bv, PROP_RELINQUISH_DEFAULT) = 1;
  tick();
  EXPECT_EQ(state(), 2u);
  ASSERT_EQ(events().size(), 1u);
  EXPECT_EQ(events()[0].choice, 3u);
}

TEST_F(EventEnrollment, NothingChangesWithoutAValueToJudge)
{
  struct Case {
    const char* name;
    uint32_t type, choice;
    BACnetDeviceObjectPropertyReference reference;
  };
  const std::vector<Case> cases = {
      {"parameters of another event type", 5, 4, {{OBJECT_ANALOG_VALUE, 1}, PROP_PRESENT_VALUE, -1, {999, 0}}},
      {"a value that is no REAL", 5, 5, {{OBJECT_ANALOG_VALUE, 1}, PROP_OBJECT_NAME, -1, {999, 0}}},
      // A remote device that happens to have instance 999 is not the local one.
      {"a remote device 999", 5, 5, {{OBJECT_ANALOG_VALUE, 1}, PROP_PRESENT_VALUE, -1, {OBJECT_DEVICE, 999}}},
  };
  for (const Case& c : cases) {
    BACnetEventParameter& p = parameters(c.type, 0, c.choice);
    p.high_limit = 10;
    *object_reference(ee, PROP_OBJECT_PROPERTY_REFERENCE) = c.reference;
    value(50);
    tick(2);
    EXPECT_EQ(state(), 0u) << c.name;
    EXPECT_TRUE(events().empty()) << c.name;
  }
  // The same reference on the local device itself commits.
  *object_reference(ee, PROP_OBJECT_PROPERTY_REFERENCE) = {{OBJECT_ANALOG_VALUE, 1}, PROP_PRESENT_VALUE, -1,
                                                           {OBJECT_DEVICE, kOwner}};
  tick();
  EXPECT_EQ(state(), 3u);
}

TEST_F(EventEnrollment, AnOwnRecipientTakesTheNotificationInsteadOfTheClass)
{
  BACnetEventParameter& p = parameters(5, 0);
  p.high_limit = 10;
  BACnetRecipient* own = object_recipient(ee, PROP_RECIPIENT);
  own->choice = 0;
  own->device = {OBJECT_DEVICE, 4242};
  *object_word(ee, PROP_PROCESS_IDENTIFIER) = 9;
  *object_word(ee, PROP_PRIORITY) = 44;
  value(50);
  tick();
  std::vector<Sent> e = events();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].device, 4242);
  EXPECT_EQ((std::vector<uint32_t>{e[0].process, e[0].priority, e[0].initiating.instance, e[0].object.type}),
            (std::vector<uint32_t>{9, 44, kOwner, OBJECT_EVENT_ENROLLMENT}));
  EXPECT_EQ(e[0].message, text_of(ee->name));
  EXPECT_EQ(e[0].stamp.choice, 2u);
  EXPECT_EQ(bits_vector(*object_bits(ee, PROP_ACKED_TRANSITIONS)), (std::vector<uint8_t>{0, 1, 1}));
}

TEST_F(EventEnrollment, ANewEnrollmentOwesNoAcknowledgmentNotifications)
{
  parameters(5, 0).high_limit = 100;
  tick(3);
  EXPECT_TRUE(events().empty());
  // An acknowledged to-offnormal transition is notified once, by the transition's rules.
  bitstring_set_bit(object_bits(ee, PROP_PENDING_ACKNOWLEDGMENTS), 0, 1);
  tick();
  ASSERT_EQ(events().size(), 1u);
  EXPECT_EQ((std::vector<uint32_t>{events()[0].notify, events()[0].to, events()[0].priority}),
            (std::vector<uint32_t>{2, 2, 1}));
  tick();
  EXPECT_EQ(events().size(), 1u);
}

}  // namespace
