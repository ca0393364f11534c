#include "objects_test_util.h"

#include <algorithm>

#include "bacnet/objects/object_summaries.h"

using namespace objtest;

namespace {

std::vector<BACnetValue*> entries(BACnetValue& result, uint32_t single_tag)
{
  if (result.tag == single_tag)
    return {&result};
  std::vector<BACnetValue*> out;
  if (const BACnetValueArray* a = value_array(&result))
    for (uint32_t i = 0; i < a->used; ++i)
      out.push_back(&a->elements[i]);
  return out;
}

void set_bits_field(ObjectRecord* r, uint32_t property, std::vector<uint8_t> bits)
{
  bitstring_set(object_bits(r, property), bits.data(), static_cast<uint32_t>(bits.size()));
}

BACnetValue destination(uint32_t device, uint32_t process, uint32_t lifetime = 0)
{
  BACnetValue v{};
  value_init(&v, TAG_DESTINATION);
  auto* d = value_record<BACnetDestination>(&v);
  d->recipient.choice = 0;
  d->recipient.device = {OBJECT_DEVICE, device};
  d->process_id = process;
  d->issue_confirmed = 1;
  d->lifetime = lifetime;
  return v;
}

}  // namespace

class ObjectWalksTest : public ObjectsTest {
protected:
  void set_name(ObjectRecord* r, const char* name) { value_set_charstring(name, &r->name); }
  // A Notification Class of the owner with priorities (to-offnormal, to-fault, to-normal).
  ObjectRecord* notification_class(uint32_t instance, uint32_t p1, uint32_t p2, uint32_t p3, uint32_t owner = kOwner)
  {
    ObjectRecord* nc = create(OBJECT_NOTIFICATION_CLASS, instance, owner);
    const BACnetValueArray& a = array_of(*object_value(nc, PROP_PRIORITY));
    a.elements[0].payload.unsigned_value = p1;
    a.elements[1].payload.unsigned_value = p2;
    a.elements[2].payload.unsigned_value = p3;
    return nc;
  }
  ObjectRecord* in_state(uint32_t type, uint32_t instance, uint32_t state, uint32_t nc = 10)
  {
    ObjectRecord* r = create(type, instance);
    *object_word(r, PROP_EVENT_STATE) = state;
    *object_word(r, PROP_NOTIFICATION_CLASS) = nc;
    return r;
  }
  std::vector<std::pair<uint32_t, uint32_t>> enrolled(const EnrollmentFilter& filter)
  {
    Value result;
    EXPECT_EQ(objtable_enrollment_summary(filter, result.get()), 0);
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (BACnetValue* e : entries(*result, TAG_ENROLLMENT_SUMMARY)) {
      auto* s = value_record<EnrollmentSummaryEntry>(e);
      out.push_back({s->object.type, s->object.instance});
    }
    std::sort(out.begin(), out.end());
    return out;
  }
};

TEST_F(ObjectWalksTest, LowestFreeInstanceIsPerOwnerAndType)
{
  EXPECT_EQ(objtable_free_instance(kOwner, OBJECT_CALENDAR), 0u);
  for (uint32_t i : {0u, 1u, 3u})
    create(OBJECT_CALENDAR, i);
  create(OBJECT_SCHEDULE, 2);
  EXPECT_EQ(objtable_free_instance(kOwner, OBJECT_CALENDAR), 2u);
  // Another local device's calendar 2 does not take the instance from this one ...
  create(OBJECT_CALENDAR, 2, kOwner + 1);
  EXPECT_EQ(objtable_free_instance(kOwner, OBJECT_CALENDAR), 2u);
  // ... and this device's calendars do not fill up the other's.
  EXPECT_EQ(objtable_free_instance(kOwner + 1, OBJECT_CALENDAR), 0u);
  create(OBJECT_CALENDAR, 2);
  EXPECT_EQ(objtable_free_instance(kOwner, OBJECT_CALENDAR), 4u);
}

TEST_F(ObjectWalksTest, InsertKeepsTheFirstObjectUnderAKey)
{
  ObjectRecord* first = object_NewRecord(kOwner, OBJECT_GROUP, 1);
  ObjectRecord* second = object_NewRecord(kOwner, OBJECT_GROUP, 1);
  char key[OBJECT_KEY_SIZE];
  object_MakeKey(key, kOwner, OBJECT_GROUP, 1);
  EXPECT_EQ(objtable_insert(kOwner, key, first), first);
  EXPECT_EQ(objtable_insert(kOwner, key, second), first);
  EXPECT_EQ(objtable_find(key), first);
  EXPECT_EQ(objtable_count(), 1u);
  object_FreeObject(second);
  EXPECT_EQ(objtable_find(nullptr), nullptr);
  EXPECT_EQ(objtable_insert(kOwner, nullptr, first), nullptr);
  // Many objects: the table grows and finds every one again.
  for (uint32_t i = 0; i < 500; ++i)
    create(OBJECT_ANALOG_VALUE, i);
  for (uint32_t i = 0; i < 500; ++i)
    ASSERT_NE(object_Find(kOwner, OBJECT_ANALOG_VALUE, i), nullptr) << i;
  EXPECT_EQ(objtable_count(), 501u);
}

TEST_F(ObjectWalksTest, LayoutGivesEachEntrysSlotInWalkOrderAndTheMarksRemovalsLeave)
{
  for (uint32_t i = 1; i <= 3; ++i)
    create(OBJECT_ANALOG_VALUE, i);
  std::vector<const ObjectTableEntry*> walked;
  objtable_walk([&](const ObjectTableEntry& e) {
    walked.push_back(&e);
    return true;
  });
  ObjectTableLayout layout;
  objtable_layout(&layout);
  ASSERT_EQ(layout.entries.size(), walked.size());
  for (std::size_t i = 0; i < walked.size(); ++i)
    EXPECT_EQ(layout.entries[i].second, walked[i]) << i;
  EXPECT_EQ(layout.removed, 0u);
  const std::size_t slots = layout.slots;
  char key[OBJECT_KEY_SIZE];
  object_MakeKey(key, kOwner, OBJECT_ANALOG_VALUE, 2);
  objtable_remove(key);
  objtable_layout(&layout);
  EXPECT_EQ(layout.slots, slots);
  EXPECT_EQ(layout.removed, 1u);
  EXPECT_EQ(layout.entries.size(), walked.size() - 1);
}

TEST_F(ObjectWalksTest, WhoHasAnswersOncePerDeviceAndMatchesNamesExactly)
{
  set_name(create(OBJECT_ANALOG_INPUT, 1, 100), "Room temperature");
  set_name(create(OBJECT_ANALOG_INPUT, 2, 100), "Room temperature");
  set_name(create(OBJECT_ANALOG_VALUE, 1, 200), "Room temperature");
  set_name(create(OBJECT_ANALOG_VALUE, 2, 300), "Room temperature");
  Value name;
  set_text(name, "Room temperature");
  std::vector<WhoHasMatch> matches;
  objtable_who_has(0, 250, WHO_HAS_BY_NAME, nullptr, name.get(), matches);
  ASSERT_EQ(matches.size(), 2u);
  std::sort(matches.begin(), matches.end(), [](auto& a, auto& b) { return a.owner < b.owner; });
  EXPECT_EQ(matches[0].owner, 100u);
  EXPECT_EQ(matches[0].object.type, OBJECT_ANALOG_INPUT);
  EXPECT_EQ(matches[0].name, "Room temperature");
  EXPECT_EQ(matches[1].owner, 200u);

  matches.clear();
  set_text(name, "ROOM TEMPERATURE");
  objtable_who_has(0, 4194303, WHO_HAS_BY_NAME, nullptr, name.get(), matches);
  EXPECT_TRUE(matches.empty());
  set_text(name, "Room");
  objtable_who_has(0, 4194303, WHO_HAS_BY_NAME, nullptr, name.get(), matches);
  EXPECT_TRUE(matches.empty());

  BACnetObjectId id{OBJECT_ANALOG_VALUE, 2};
  objtable_who_has(0, 4194303, WHO_HAS_BY_IDENTIFIER, &id, nullptr, matches);
  ASSERT_EQ(matches.size(), 1u);
  EXPECT_EQ(matches[0].owner, 300u);
  matches.clear();
  objtable_who_has(301, 4194303, WHO_HAS_BY_IDENTIFIER, &id, nullptr, matches);
  EXPECT_TRUE(matches.empty());
}

TEST_F(ObjectWalksTest, AlarmSummaryListsAlarmsOnly)
{
  ObjectRecord* high = in_state(OBJECT_ANALOG_INPUT, 1, 3);
  set_bits_field(high, PROP_ACKED_TRANSITIONS, {0, 1, 1});
  ObjectRecord* event_only = in_state(OBJECT_ANALOG_INPUT, 2, 3);
  *object_word(event_only, PROP_NOTIFY_TYPE) = 1;
  in_state(OBJECT_ANALOG_INPUT, 3, 0);
  ObjectRecord* off = in_state(OBJECT_BINARY_INPUT, 1, 2);
  *object_word(off, FIELD_REPORTING_SWITCH) = 0;
  in_state(OBJECT_EVENT_ENROLLMENT, 1, 1);
  in_state(OBJECT_TREND_LOG, 1, 2);  // not a type of the alarm summary

  Value result;
  ASSERT_EQ(objtable_alarm_summary(result.get()), 0);
  std::vector<std::pair<uint32_t, uint32_t>> found;
  for (BACnetValue* e : entries(*result, TAG_ALARM_SUMMARY)) {
    auto* a = value_record<AlarmSummaryEntry>(e);
    found.push_back({a->object.type, a->alarm_state});
    if (a->object.type == OBJECT_ANALOG_INPUT) {
      EXPECT_EQ(std::vector<uint8_t>(a->acked_transitions.bits, a->acked_transitions.bits + 3),
                (std::vector<uint8_t>{0, 1, 1}));
    }
  }
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::pair<uint32_t, uint32_t>>{{OBJECT_ANALOG_INPUT, 3}, {OBJECT_EVENT_ENROLLMENT, 1}}));
  EXPECT_EQ(result->tag, TAG_ALARM_SUMMARY_LIST);
}

TEST_F(ObjectWalksTest, EventInformationPagesThroughTheWalk)
{
  notification_class(10, 5, 6, 7);
  for (uint32_t i = 0; i < 5; ++i)
    in_state(OBJECT_ANALOG_VALUE, i, 3);
  ObjectRecord* quiet = in_state(OBJECT_ANALOG_VALUE, 5, 0);  // all acked and normal
  (void)quiet;
  ObjectRecord* orphan = in_state(OBJECT_BINARY_VALUE, 1, 2, 99);  // its class does not exist
  (void)orphan;

  Value page;
  bool more = false;
  ASSERT_EQ(objtable_event_information(nullptr, 2, page.get(), &more), 0);
  EXPECT_TRUE(more);
  std::vector<BACnetValue*> first = entries(*page, TAG_EVENT_SUMMARY);
  ASSERT_EQ(first.size(), 2u);
  auto* second = value_record<EventSummaryEntry>(first[1]);
  EXPECT_EQ(second->event_state, 3u);
  EXPECT_EQ(array_of(second->priorities).used, 3u);
  EXPECT_EQ(array_of(second->priorities).elements[2].payload.unsigned_value, 7u);
  EXPECT_EQ(array_of(second->timestamps).used, 3u);

  // Following up after the second object continues with the rest in walk order.
  std::vector<uint32_t> seen{value_record<EventSummaryEntry>(first[0])->object.instance, second->object.instance};
  BACnetObjectId last = second->object;
  Value rest;
  ASSERT_EQ(objtable_event_information(&last, 100, rest.get(), &more), 0);
  EXPECT_FALSE(more);
  for (BACnetValue* e : entries(*rest, TAG_EVENT_SUMMARY)) {
    auto* s = value_record<EventSummaryEntry>(e);
    EXPECT_EQ(s->object.type, OBJECT_ANALOG_VALUE);
    seen.push_back(s->object.instance);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<uint32_t>{0, 1, 2, 3, 4}));

  BACnetObjectId none{999, 0};
  Value all;
  ASSERT_EQ(objtable_event_information(&none, 100, all.get(), &more), 0);
  EXPECT_EQ(entries(*all, TAG_EVENT_SUMMARY).size(), 5u);
}

TEST_F(ObjectWalksTest, EnrollmentSummaryFilters)
{
  notification_class(10, 50, 150, 250);
  ObjectRecord* ai = in_state(OBJECT_ANALOG_INPUT, 1, 3);
  set_bits_field(ai, PROP_EVENT_ENABLE, {1, 0, 0});
  set_bits_field(ai, PROP_LIMIT_ENABLE, {0, 1});
  set_bits_field(ai, PROP_ACKED_TRANSITIONS, {0, 1, 1});
  ObjectRecord* bi = in_state(OBJECT_BINARY_INPUT, 1, 0);
  set_bits_field(bi, PROP_EVENT_ENABLE, {0, 0, 1});
  ObjectRecord* ee_low = in_state(OBJECT_EVENT_ENROLLMENT, 1, 3, 77);  // its class does not exist
  *object_word(ee_low, PROP_EVENT_TYPE) = 5;
  *object_word(ee_low, PROP_PRIORITY) = 50;
  ObjectRecord* ee_high = in_state(OBJECT_EVENT_ENROLLMENT, 2, 0, 77);
  *object_word(ee_high, PROP_PRIORITY) = 200;
  in_state(OBJECT_ANALOG_OUTPUT, 1, 1, 99);  // never: no Notification Class
  create(OBJECT_CALENDAR, 1);

  using Ids = std::vector<std::pair<uint32_t, uint32_t>>;
  EnrollmentFilter all;
  EXPECT_EQ(enrolled(all), (Ids{{0, 1}, {3, 1}, {9, 1}, {9, 2}}));

  EnrollmentFilter unacked_active;
  unacked_active.acknowledgment = 2;
  unacked_active.event_state = 4;
  EXPECT_EQ(enrolled(unacked_active), (Ids{{0, 1}}));

  EnrollmentFilter out_of_range;
  out_of_range.event_type = 5;
  EXPECT_EQ(enrolled(out_of_range), (Ids{{0, 1}, {9, 1}}));

  EnrollmentFilter priority;
  priority.priority_min = 1;
  priority.priority_max = 100;
  // The AI's enabled to-offnormal priority is 50; the BI's to-normal priority 250.
  EXPECT_EQ(enrolled(priority), (Ids{{0, 1}, {9, 1}}));

  // With both limits off the AI cannot go offnormal: type and class filters drop it.
  set_bits_field(ai, PROP_LIMIT_ENABLE, {0, 0});
  EXPECT_EQ(enrolled(out_of_range), (Ids{{9, 1}}));
  EnrollmentFilter by_class;
  by_class.notification_class = 10;
  EXPECT_EQ(enrolled(by_class), (Ids{{3, 1}}));
  EXPECT_EQ(enrolled(all), (Ids{{0, 1}, {3, 1}, {9, 1}, {9, 2}}));

  // Fewer than three acked bits fail even the "all" acknowledgment filter.
  set_bits_field(bi, PROP_ACKED_TRANSITIONS, {1, 1});
  EXPECT_EQ(enrolled(all), (Ids{{0, 1}, {9, 1}, {9, 2}}));
}

TEST_F(ObjectWalksTest, EnrollmentSummaryMatchesRecipientsAndPicksPriorities)
{
  ObjectRecord* nc = notification_class(10, 50, 150, 250);
  Value recipients;
  make_list(recipients, TAG_DESTINATION_LIST, {destination(900, 7)});
  value_assign(object_value(nc, PROP_RECIPIENT_LIST), recipients.get(), -1);
  in_state(OBJECT_ANALOG_INPUT, 1, 3);
  in_state(OBJECT_ANALOG_INPUT, 2, 0);
  ObjectRecord* ee = in_state(OBJECT_EVENT_ENROLLMENT, 1, 0);
  object_recipient(ee, PROP_RECIPIENT)->choice = 0;
  object_recipient(ee, PROP_RECIPIENT)->device = {OBJECT_DEVICE, 901};
  *object_word(ee, PROP_PROCESS_IDENTIFIER) = 7;

  EnrollmentFilter filter;
  filter.enrollment.not_empty = 1;
  filter.enrollment.recipient.choice = 0;
  filter.enrollment.recipient.device = {OBJECT_DEVICE, 900};
  filter.enrollment.process_id = 7;
  Value result;
  ASSERT_EQ(objtable_enrollment_summary(filter, result.get()), 0);
  std::vector<std::pair<uint32_t, uint32_t>> priorities;
  for (BACnetValue* e : entries(*result, TAG_ENROLLMENT_SUMMARY)) {
    auto* s = value_record<EnrollmentSummaryEntry>(e);
    EXPECT_EQ(s->object.type, OBJECT_ANALOG_INPUT);
    EXPECT_EQ(s->event_type, 5u);
    EXPECT_EQ(s->notification_class, 10u);
    priorities.push_back({s->object.instance, s->priority});
  }
  std::sort(priorities.begin(), priorities.end());
  // High limit takes the to-offnormal priority, normal the to-normal one.
  EXPECT_EQ(priorities, (std::vector<std::pair<uint32_t, uint32_t>>{{1, 50}, {2, 250}}));

  // The Event Enrollment answers for its own recipient.
  filter.enrollment.recipient.device.instance = 901;
  ASSERT_EQ(objtable_enrollment_summary(filter, result.get()), 0);
  std::vector<BACnetValue*> own = entries(*result, TAG_ENROLLMENT_SUMMARY);
  ASSERT_EQ(own.size(), 1u);
  EXPECT_EQ(value_record<EnrollmentSummaryEntry>(own[0])->object.type, OBJECT_EVENT_ENROLLMENT);
  filter.enrollment.process_id = 8;
  ASSERT_EQ(objtable_enrollment_summary(filter, result.get()), 0);
  EXPECT_EQ(result->tag, TAG_NULL);

  // A to-normal priority that is no UNSIGNED gives way to the to-fault one.
  BACnetValue& to_normal = array_of(*object_value(nc, PROP_PRIORITY)).elements[2];
  value_free(&to_normal);
  EnrollmentFilter all;
  ASSERT_EQ(objtable_enrollment_summary(all, result.get()), 0);
  for (BACnetValue* e : entries(*result, TAG_ENROLLMENT_SUMMARY)) {
    auto* s = value_record<EnrollmentSummaryEntry>(e);
    if (s->object.type == OBJECT_ANALOG_INPUT && s->object.instance == 2) {
      EXPECT_EQ(s->priority, 150u);
    }
  }
}

TEST_F(ObjectWalksTest, ActiveCovSubscriptionsCoverEveryObject)
{
  ObjectRecord* ai = create(OBJECT_ANALOG_INPUT, 4);
  *object_real(ai, PROP_COV_INCREMENT) = 0.5f;
  Value subscribers;
  make_list(subscribers, TAG_DESTINATION_LIST, {destination(900, 1, 300), destination(901, 2, 0)});
  value_assign(object_value(ai, PROP_COV_SUBSCRIBERS), subscribers.get(), -1);
  ObjectRecord* bv = create(OBJECT_BINARY_VALUE, 2);
  make_list(subscribers, TAG_DESTINATION_LIST, {destination(902, 3, 60)});
  value_assign(object_value(bv, PROP_COV_SUBSCRIBERS), subscribers.get(), -1);
  create(OBJECT_ANALOG_VALUE, 1);  // no subscribers

  Value list;
  ASSERT_EQ(objtable_cov_subscriptions(kOwner, list.get()), 0);
  ASSERT_EQ(list->tag, TAG_COV_SUBSCRIPTION_LIST);
  ASSERT_EQ(array_of(*list).used, 3u);
  std::vector<std::tuple<uint32_t, uint32_t, uint32_t, float>> found;
  for (uint32_t i = 0; i < 3; ++i) {
    auto* s = value_record<CovSubscription>(&array_of(*list).elements[i]);
    EXPECT_EQ(s->monitored.property, 85u);
    EXPECT_EQ(s->monitored.array_index, -1);
    EXPECT_EQ(s->issue_confirmed, 1u);
    found.push_back({s->recipient.recipient.device.instance, s->monitored.object.type, s->time_remaining,
                     s->cov_increment});
  }
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::tuple<uint32_t, uint32_t, uint32_t, float>>{
                       {900, 0, 300, 0.5f}, {901, 0, 0, 0.5f}, {902, 5, 60, 0.0f}}));

  // The Device answers the same list through property 152.
  create(OBJECT_DEVICE, kOwner);
  Value through_device;
  ASSERT_EQ(read(kOwner, OBJECT_DEVICE, kOwner, PROP_ACTIVE_COV_SUBSCRIPTIONS, through_device), 0);
  EXPECT_EQ(array_of(*through_device).used, 3u);
}
