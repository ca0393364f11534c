// The behaviour engine under test: a fresh object table on a manual clock (Monday 2026-01-05,
// 12:00 in Berlin) with a recording notification sender, and builders of Notification
// Classes, Destinations and the record and list values the objects hold.
#pragma once

#include "objects_test_util.h"

#include <optional>

#include "bacnet/objects/event_notify.h"
#include "bacnet/objects/object_behaviour.h"
#include "bacnet/objects/object_lists.h"

namespace objtest {

inline constexpr uint32_t kMondayNoon = 1767610800;  // 2026-01-05 12:00 in Berlin
inline constexpr uint32_t kSaturdayNoon = 1767438000;

// One notification as the client layer would have been handed it.
struct Sent {
  bool event = false;  // else COV
  bool confirmed = false;
  int32_t device = -1;
  std::optional<BACnetAddress> address;
  uint32_t process = 0;
  BACnetObjectId initiating{}, object{};
  uint32_t from = 0, to = 0, notify = 0, event_type = 0, priority = 0;
  bool ack_required = false;
  std::string message{};
  BACnetTimeStamp stamp{};
  uint32_t choice = 999;  // of the event values
  float reals[3] = {};
  std::vector<uint8_t> status{};
  BACnetPropertyStates new_state{};
  uint32_t time_remaining = 99;
  BACnetValue present{};  // plain copy of a primitive present value
  std::vector<uint8_t> cov_flags{};
  BACnetDeviceObjectPropertyReference buffer{};  // buffer-ready: the log and the two counts
  uint32_t previous = 0, current = 0;
};

inline std::vector<Sent>& sent()
{
  static std::vector<Sent> all;
  return all;
}

inline std::vector<uint8_t> bits_vector(const BitString& b) { return std::vector<uint8_t>(b.bits, b.bits + b.count); }

inline Sent& note(bool event, bool confirmed, int32_t device, const BACnetAddress* address, uint32_t process,
                  BACnetObjectId initiating, BACnetObjectId object)
{
  Sent s{event, confirmed, device, address ? std::optional<BACnetAddress>(*address) : std::nullopt, process,
         initiating, object};
  sent().push_back(s);
  return sent().back();
}

inline int record_event(bool confirmed, int32_t device, const BACnetAddress* address, const EventNotificationRequest* n)
{
  Sent& s = note(true, confirmed, device, address, n->process_id, n->device, n->object);
  s.from = n->from_state;
  s.to = n->to_state;
  s.notify = n->notify_type;
  s.event_type = n->event_type;
  s.priority = n->priority;
  s.ack_required = n->ack_required;
  s.message = text_of(n->message);
  s.stamp = n->timestamp;
  if (auto* p = value_record<BACnetNotificationParameters>(&n->parameters)) {
    s.choice = p->choice;
    std::copy(p->reals, p->reals + 3, s.reals);
    s.status = bits_vector(p->status_flags);
    s.new_state = p->new_state;
    s.buffer = p->buffer_property;
    s.previous = p->previous_notification;
    s.current = p->current_notification;
  }
  return 0;
}

inline int record_cov(bool confirmed, int32_t device, const BACnetAddress* address, const CovNotificationRequest* n)
{
  Sent& s = note(false, confirmed, device, address, n->process_id, n->device, n->object);
  s.time_remaining = n->time_remaining;
  const BACnetValueArray* list = value_array(&n->values);
  for (uint32_t i = 0; list && i < list->used; ++i) {
    auto* pv = value_record<BACnetPropertyValue>(&list->elements[i]);
    if (pv && pv->property == PROP_PRESENT_VALUE)
      s.present = pv->value;  // primitive: nothing owned
    if (pv && pv->property == PROP_STATUS_FLAGS)
      s.cov_flags = bits_of(pv->value);
  }
  return 0;
}

inline std::vector<Sent> of_kind(bool event)
{
  std::vector<Sent> out;
  for (const Sent& s : sent())
    if (s.event == event)
      out.push_back(s);
  return out;
}
inline std::vector<Sent> events() { return of_kind(true); }
inline std::vector<Sent> covs() { return of_kind(false); }

// ---- Builders of record and list values (the caller owns the result) ----------------------

inline BACnetValue element(uint32_t tag)
{
  BACnetValue v{};
  value_init(&v, tag);
  return v;
}
inline BACnetValue list_of(uint32_t tag, std::vector<BACnetValue> elements)
{
  BACnetValue v = element(tag);
  for (BACnetValue& e : elements)
    value_array_append(v.payload.array, &e);
  return v;
}
// Releases what the field held and moves `v` in.
inline void replace(BACnetValue* field, BACnetValue v)
{
  value_free(field);
  *field = v;
}
inline BACnetValue real_value(float f)
{
  BACnetValue v{};
  value_set_real(&f, &v);
  return v;
}
inline BACnetValue time_value(uint8_t hour, float f)
{
  BACnetValue v = element(TAG_TIME_VALUE);
  value_record<BACnetTimeValue>(&v)->time = {hour, 0, 0, 0};
  value_set_real(&f, &value_record<BACnetTimeValue>(&v)->value);
  return v;
}
// A special event for one date (Monday 2026-01-05 unless given) with its time values.
inline BACnetValue special_event(uint32_t priority, std::vector<BACnetValue> times, BACnetDate date = {126, 1, 5, 255})
{
  BACnetValue v = element(TAG_SPECIAL_EVENT);
  auto* e = value_record<BACnetSpecialEvent>(&v);
  e->priority = priority;
  e->period_choice = 0;
  e->calendar_entry.choice = 0;
  e->calendar_entry.date = date;
  replace(&e->time_values, list_of(TAG_TIME_VALUE_LIST, std::move(times)));
  return v;
}

// A Destination for a device recipient; days Monday first, times all "any" unless given.
inline BACnetValue destination(uint32_t device, uint32_t process, bool confirmed,
                               std::vector<uint8_t> days = {1, 1, 1, 1, 1, 1, 1},
                               std::vector<uint8_t> transitions = {1, 1, 1}, BACnetTime from = {255, 255, 255, 255},
                               BACnetTime to = {255, 255, 255, 255})
{
  BACnetValue v = element(TAG_DESTINATION);
  auto* d = value_record<BACnetDestination>(&v);
  bitstring_set(&d->valid_days, days.data(), uint32_t(days.size()));
  bitstring_set(&d->transitions, transitions.data(), uint32_t(transitions.size()));
  d->from = from;
  d->to = to;
  d->recipient.choice = 0;
  d->recipient.device = {OBJECT_DEVICE, device};
  d->process_id = process;
  d->issue_confirmed = confirmed ? 1 : 0;
  return v;
}

class ReportingTest : public ObjectsTest {
protected:
  void SetUp() override
  {
    ObjectsTest::SetUp();
    clock.set_wall(kMondayNoon);
    os_set_clock(&clock);
    sent().clear();
    NotificationSender sender{record_event, record_cov};
    event_set_sender(&sender);
  }
  void TearDown() override
  {
    event_set_sender(nullptr);
    ObjectsTest::TearDown();
  }

  // An empty object table and no notification sent yet.
  void fresh_table()
  {
    objtable_destroy();
    objtable_create();
    sent().clear();
  }

  // One second passes and every object's timer runs.
  void tick(int seconds = 1)
  {
    for (int i = 0; i < seconds; ++i) {
      clock.set_wall(clock.wall().seconds + 1);
      object_second_tick();
    }
  }

  // A Notification Class with priorities (to-offnormal, to-fault, to-normal), ack-required
  // bits and its recipients.
  ObjectRecord* notification_class(uint32_t instance, std::vector<uint32_t> priorities, std::vector<uint8_t> ack,
                                   std::vector<BACnetValue> recipients)
  {
    ObjectRecord* nc = create(OBJECT_NOTIFICATION_CLASS, instance);
    const BACnetValueArray& p = array_of(*object_value(nc, PROP_PRIORITY));
    for (uint32_t i = 0; i < 3; ++i)
      p.elements[i].payload.unsigned_value = priorities[i];
    bitstring_set(object_bits(nc, PROP_ACK_REQUIRED), ack.data(), 3);
    for (BACnetValue& r : recipients) {
      OwnedValue recipient(r);
      EXPECT_EQ(object_InsertListElements(nc, kOwner, OBJECT_NOTIFICATION_CLASS, instance, PROP_RECIPIENT_LIST, -1, 0,
                                          recipient.get()),
                0);
    }
    return nc;
  }

  static void set_bits_field(ObjectRecord* r, uint32_t property, std::vector<uint8_t> bits)
  {
    bitstring_set(object_bits(r, property), bits.data(), uint32_t(bits.size()));
  }

  ManualClock clock;
};

}  // namespace objtest
