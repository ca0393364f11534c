#include "reporting_test_util.h"

#include "bacnet/objects/object_database.h"
#include "bacnet/objects/object_lists.h"

using namespace objtest;

namespace {

constexpr uint32_t kRecipient = 77;

class IntrinsicReporting : public ReportingTest {
protected:
  // Analog Input 1 as the scenario has it: high limit 50, low limit 0, deadband 2, time delay
  // 3, both limits and every transition enabled, Notification Class 10 with one recipient.
  ObjectRecord* alarm_input(std::vector<uint8_t> ack = {1, 1, 1}, std::vector<uint8_t> days = {1, 1, 1, 1, 1, 1, 1})
  {
    notification_class(10, {100, 200, 50}, ack, {destination(kRecipient, 5, true, days)});
    ObjectRecord* ai = create(OBJECT_ANALOG_INPUT, 1);
    *object_real(ai, PROP_HIGH_LIMIT) = 50;
    *object_real(ai, PROP_LOW_LIMIT) = 0;
    *object_real(ai, PROP_DEADBAND) = 2;
    *object_word(ai, PROP_TIME_DELAY) = 3;
    *object_word(ai, PROP_RELIABILITY) = 0;
    set_bits_field(ai, PROP_LIMIT_ENABLE, {1, 1});
    set_bits_field(ai, PROP_EVENT_ENABLE, {1, 1, 1});
    return ai;
  }
  static uint32_t state(ObjectRecord* r) { return *object_word(r, PROP_EVENT_STATE); }
  static std::vector<uint8_t> acked(ObjectRecord* r) { return bits_vector(*object_bits(r, PROP_ACKED_TRANSITIONS)); }

  // Runs the steps: the present value, then one tick per expected state.
  void run(ObjectRecord* r, const std::vector<std::pair<float, std::vector<uint32_t>>>& steps)
  {
    for (const auto& [value, states] : steps) {
      *object_real(r, PROP_PRESENT_VALUE) = value;
      for (std::size_t i = 0; i < states.size(); ++i) {
        tick();
        ASSERT_EQ(state(r), states[i]) << "value " << value << ", second " << i + 1;
      }
    }
  }
};

TEST_F(IntrinsicReporting, LimitsAreReportedAfterTheTimeDelayAndLeftBeyondTheDeadband)
{
  ObjectRecord* ai = alarm_input();
  run(ai, {{51.0f, {0, 0, 0, 3}}, {49.0f, {3, 3, 3, 3, 3}}, {47.9f, {3, 3, 3, 0}}});
  std::vector<Sent> e = events();
  ASSERT_EQ(e.size(), 2u);
  // Out of range: the value, the deadband and the limit; back to normal with the limit left.
  EXPECT_EQ((std::vector<float>{e[0].reals[0], e[0].reals[1], e[0].reals[2], e[1].reals[0], e[1].reals[2]}),
            (std::vector<float>{51, 2, 50, 47.9f, 50}));
  EXPECT_EQ((std::vector<uint32_t>{e[0].from, e[0].to, e[0].choice, e[0].priority, e[1].from, e[1].to, e[1].priority}),
            (std::vector<uint32_t>{0, 3, 5, 100, 3, 0, 50}));
  EXPECT_EQ((std::vector<uint32_t>{uint32_t(e[0].device), e[0].process, e[0].confirmed, e[0].ack_required,
                                   e[0].initiating.instance}),
            (std::vector<uint32_t>{kRecipient, 5, 1, 1, kOwner}));
  EXPECT_EQ(e[0].status, (std::vector<uint8_t>{1, 0, 0, 0}));
  // Both transitions wait for their acknowledgment; each stamped its event time stamp.
  EXPECT_EQ(acked(ai), (std::vector<uint8_t>{0, 1, 0}));
  const BACnetValueArray& stamps = array_of(*object_value(ai, PROP_EVENT_TIME_STAMPS));
  EXPECT_EQ(value_record<BACnetTimeStamp>(&stamps.elements[0])->datetime.time.hour, 12);
  EXPECT_EQ(value_record<BACnetTimeStamp>(&stamps.elements[1])->datetime.time.hour, 255);
  // A jump from above the high limit to below the low limit passes through normal.
  *object_real(ai, PROP_LOW_LIMIT) = 20;
  *object_word(ai, PROP_TIME_DELAY) = 0;
  run(ai, {{60.0f, {3}}, {10.0f, {0, 4}}});
  e = events();
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ((std::vector<uint32_t>{e[3].from, e[3].to, e[4].from, e[4].to}), (std::vector<uint32_t>{3, 0, 0, 4}));
  EXPECT_FLOAT_EQ(e[4].reals[2], 20.0f);
}

TEST_F(IntrinsicReporting, TransitionsFollowEnablesLimitsReliabilityAndTheClass)
{
  struct Case {
    const char* name;
    std::vector<uint8_t> limits, ack;
    float value;
    uint32_t reliability;
    std::vector<uint32_t> states;  // after each tick
    std::size_t notifications;
    std::vector<uint8_t> acked;
    std::vector<uint8_t> status;
  };
  const std::vector<Case> cases = {
      {"high limit disabled", {1, 0}, {1, 1, 1}, 60, 0, {0, 0, 0, 3}, 0, {1, 1, 1}, {1, 0, 0, 0}},
      {"fault at once", {1, 1}, {1, 1, 1}, 10, 8, {1}, 1, {1, 0, 1}, {1, 1, 0, 0}},
      {"no ack required", {1, 1}, {0, 0, 0}, 60, 0, {0, 0, 0, 3}, 1, {1, 1, 1}, {1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fresh_table();
    ObjectRecord* ai = alarm_input(c.ack);
    set_bits_field(ai, PROP_LIMIT_ENABLE, c.limits);
    *object_real(ai, PROP_PRESENT_VALUE) = c.value;
    *object_word(ai, PROP_RELIABILITY) = c.reliability;
    for (uint32_t expected : c.states) {
      tick();
      EXPECT_EQ(state(ai), expected);
    }
    EXPECT_EQ(events().size(), c.notifications);
    EXPECT_EQ(acked(ai), c.acked);
    EXPECT_EQ(bits_vector(*object_bits(ai, PROP_STATUS_FLAGS)), c.status);
  }
}

TEST_F(IntrinsicReporting, RecipientsAreFilteredByDayTimeAndTransition)
{
  struct Case {
    uint32_t wall;
    std::vector<uint8_t> days, transitions;
    BACnetTime from, to;
    std::size_t received;
  };
  const BACnetTime any{255, 255, 255, 255};
  const std::vector<Case> cases = {
      {kMondayNoon, {1, 1, 1, 1, 1, 0, 0}, {1, 1, 1}, any, any, 1},
      {kSaturdayNoon, {1, 1, 1, 1, 1, 0, 0}, {1, 1, 1}, any, any, 0},
      {kMondayNoon, {1, 1, 1, 1, 1, 1, 1}, {0, 1, 1}, any, any, 0},
      {kMondayNoon, {1, 1, 1, 1, 1, 1, 1}, {1, 1, 1}, {8, 0, 0, 0}, {17, 0, 0, 0}, 1},
      {kMondayNoon, {1, 1, 1, 1, 1, 1, 1}, {1, 1, 1}, {13, 0, 0, 0}, {17, 0, 0, 0}, 0},
  };
  for (const Case& c : cases) {
    fresh_table();
    clock.set_wall(c.wall);
    notification_class(10, {1, 2, 3}, {1, 1, 1}, {destination(kRecipient, 5, false, c.days, c.transitions, c.from, c.to)});
    ObjectRecord* bv = create(OBJECT_BINARY_VALUE, 1);
    set_bits_field(bv, PROP_EVENT_ENABLE, {1, 1, 1});
    *object_word(bv, PROP_TIME_DELAY) = 0;
    *object_word(bv, PROP_ALARM_VALUE) = 1;
    *object_word(bv, PROP_RELINQUISH_DEFAULT) = 1;
    tick();
    EXPECT_EQ(state(bv), 2u);
    EXPECT_EQ(events().size(), c.received) << "case wall " << c.wall << " from " << int(c.from.hour);
  }
}

TEST_F(IntrinsicReporting, AnAcknowledgmentIsNotifiedToTheOpenDestinationsOnly)
{
  ObjectRecord* ai = alarm_input({1, 1, 1}, {1, 1, 1, 1, 1, 0, 0});
  *object_word(ai, PROP_TIME_DELAY) = 0;
  run(ai, {{60.0f, {3}}});
  ObjectEngineState* engine = object_engine(ai);
  engine->recorded_state[0] = 3;
  engine->pending_ack = 1;
  object_Timer(kOwner, ai, 0);
  std::vector<Sent> e = events();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ((std::vector<uint32_t>{e[1].notify, e[1].to, e[1].priority}), (std::vector<uint32_t>{2, 3, 100}));
  EXPECT_EQ(engine->pending_ack, 0u);
  // On Saturday the Destination takes nothing, acknowledgments neither.
  clock.set_wall(kSaturdayNoon);
  engine->pending_ack = 1;
  object_Timer(kOwner, ai, 0);
  EXPECT_EQ(events().size(), 2u);
}

TEST_F(IntrinsicReporting, ExtraRunsTakeNoTimeOffASubscription)
{
  ObjectRecord* av = create(OBJECT_ANALOG_VALUE, 1);
  OwnedValue two(destination(kRecipient, 3, false));
  value_record<BACnetDestination>(two.get())->lifetime = 2;
  ASSERT_EQ(object_AddListElements(kOwner, OBJECT_ANALOG_VALUE, 1, PROP_COV_SUBSCRIBERS, -1, 0, two.get()), 0);
  for (int i = 0; i < 5; ++i)
    object_Timer(kOwner, av, 0);
  EXPECT_EQ(value_record<BACnetDestination>(&array_of(*object_value(av, PROP_COV_SUBSCRIBERS)).elements[0])->lifetime,
            2u);
  tick(2);
  EXPECT_EQ(array_of(*object_value(av, PROP_COV_SUBSCRIBERS)).used, 0u);
}

TEST_F(IntrinsicReporting, BinaryAndMultiStateObjectsReportTheirOwnEvents)
{
  notification_class(10, {1, 2, 3}, {1, 1, 1}, {destination(kRecipient, 5, false)});
  ObjectRecord* bi = create(OBJECT_BINARY_INPUT, 1);
  ObjectRecord* bo = create(OBJECT_BINARY_OUTPUT, 1);
  ObjectRecord* mi = create(OBJECT_MULTI_STATE_INPUT, 1);
  for (ObjectRecord* r : {bi, bo, mi}) {
    set_bits_field(r, PROP_EVENT_ENABLE, {1, 1, 1});
    *object_word(r, PROP_TIME_DELAY) = 0;
    *object_word(r, PROP_RELIABILITY) = 0;
  }
  *object_word(bi, PROP_ALARM_VALUE) = 1;
  *object_word(bi, PROP_PRESENT_VALUE) = 1;
  *object_word(bo, PROP_FEEDBACK_VALUE) = 1;  // the output is inactive: command failure
  BACnetValue fault = unsigned_element(4);
  ASSERT_EQ(object_AddListElements(kOwner, OBJECT_MULTI_STATE_INPUT, 1, PROP_FAULT_VALUES, -1, 0, &fault), 0);
  *object_word(mi, PROP_PRESENT_VALUE) = 4;
  tick(3);
  EXPECT_EQ(state(bi), 2u);
  EXPECT_EQ(state(bo), 2u);
  EXPECT_EQ(state(mi), 1u);
  EXPECT_EQ(*object_word(bi, PROP_CHANGE_OF_STATE_COUNT), 1u);
  EXPECT_EQ(*object_word(bi, PROP_ELAPSED_ACTIVE_TIME), 3u);
  for (const Sent& e : events()) {
    if (e.object.type == OBJECT_BINARY_INPUT)
      EXPECT_EQ((std::vector<uint32_t>{e.event_type, e.choice, e.new_state.choice, e.new_state.value}),
                (std::vector<uint32_t>{1, 1, 1, 1}));
    else if (e.object.type == OBJECT_BINARY_OUTPUT)
      EXPECT_EQ((std::vector<uint32_t>{e.event_type, e.choice, e.to}), (std::vector<uint32_t>{3, 3, 2}));
    else
      EXPECT_EQ((std::vector<uint32_t>{e.event_type, e.to, e.priority}), (std::vector<uint32_t>{1, 1, 2}));
  }
  EXPECT_EQ(events().size(), 3u);
}

}  // namespace
