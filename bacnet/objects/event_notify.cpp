#include "bacnet/objects/event_notify.h"

#include "bacnet/binding/address_binding.h"
#include "bacnet/client/client_request.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace {

constexpr uint32_t kAckNotification = 2;

int client_event(bool confirmed, int32_t device, const BACnetAddress* address, const EventNotificationRequest* n)
{
  if (confirmed)
    return client_confirmed_event_notification(nullptr, nullptr, device, address, n);
  return client_unconfirmed_event_notification(-1, -1, address ? -1 : device, address, n);
}

int client_cov(bool confirmed, int32_t device, const BACnetAddress* address, const CovNotificationRequest* n)
{
  if (confirmed)
    return client_confirmed_cov_notification(nullptr, nullptr, device, address, n);
  return client_unconfirmed_cov_notification(-1, -1, address ? -1 : device, address, n);
}

const NotificationSender kClientSender{client_event, client_cov};
NotificationSender g_sender = kClientSender;

using OwnedEvent = Owned<EventNotificationRequest, pdu_free_event_notification_request>;

// The Notification Class's priority for a transition kind (0 when it holds none).
uint32_t class_priority(ObjectRecord* nc, uint32_t transition)
{
  const BACnetValueArray* array = value_array(object_value(nc, PROP_PRIORITY));
  if (!array || array->used <= transition || array->elements[transition].tag != TAG_UNSIGNED)
    return 0;
  return array->elements[transition].payload.unsigned_value;
}

// An Event Enrollment that sends to its own recipient instead of a Notification Class.
const BACnetRecipient* own_recipient(ObjectRecord* object)
{
  if (object->type != OBJECT_EVENT_ENROLLMENT)
    return nullptr;
  const BACnetRecipient* r = object_recipient(object, PROP_RECIPIENT);
  return r && (r->choice == 0 || r->choice == 1) ? r : nullptr;
}

bool transition_bit(const BACnetDestination& d, uint32_t transition)
{
  return d.transitions.count == 3 && bitstring_get_bit(&d.transitions, transition);
}

// The fields every notification of an object carries.
void fill_common(EventNotificationRequest& n, uint32_t owner, ObjectRecord* object, uint32_t notify_type)
{
  n.device = {OBJECT_DEVICE, owner};
  n.object = object->id;
  n.timestamp.choice = 2;
  time_now_to_bacnet(&n.timestamp.datetime);
  n.notification_class = object_word_value(object, PROP_NOTIFICATION_CLASS);
  n.event_type = event_type_of_object(object);
  value_assign(&n.message, &object->name, -1);
  n.notify_type = notify_type;
}

// Sends to an Event Enrollment's own recipient.
void send_to_own(ObjectRecord* object, const BACnetRecipient& own, EventNotificationRequest& n)
{
  const uint8_t* confirmed = object_boolean(object, PROP_ISSUE_CONFIRMED_NOTIFICATIONS);
  uint32_t process = object_word_value(object, PROP_PROCESS_IDENTIFIER);
  event_send_to_recipient(confirmed && *confirmed, &n, &own, process);
}

// Sends to every open Destination of the Notification Class (with `by_transition`, only
// those that take the transition).
void send_to_class(ObjectRecord* nc, EventNotificationRequest& n, uint32_t transition, bool by_transition)
{
  const BACnetValueArray* list = value_array(object_value(nc, PROP_RECIPIENT_LIST));
  for (uint32_t i = 0; list && i < list->used; ++i) {
    const auto* d = value_record<BACnetDestination>(&list->elements[i]);
    if (!d || !event_destination_open(*d) || (by_transition && !transition_bit(*d, transition)))
      continue;
    event_send_to_recipient(d->issue_confirmed != 0, &n, &d->recipient, d->process_id);
  }
}

// The to-state an acknowledgment notification names: the state the acknowledgment recorded;
// an Event Enrollment keeps none and names the state its kind stands for.
uint32_t acknowledged_state(ObjectRecord* object, uint32_t transition)
{
  if (ObjectEngineState* engine = object_engine(object))
    return engine->recorded_state[transition];
  if (transition == TRANSITION_TO_NORMAL)
    return EVENT_STATE_NORMAL;
  if (transition == TRANSITION_TO_FAULT)
    return EVENT_STATE_FAULT;
  uint32_t state = object_word_value(object, PROP_EVENT_STATE);
  return state >= EVENT_STATE_OFFNORMAL ? state : uint32_t(EVENT_STATE_OFFNORMAL);
}

}  // namespace

void event_set_sender(const NotificationSender* sender)
{
  g_sender = sender ? *sender : kClientSender;
}

uint32_t event_transition_of(uint32_t to_state)
{
  if (to_state == EVENT_STATE_NORMAL)
    return TRANSITION_TO_NORMAL;
  return to_state == EVENT_STATE_FAULT ? TRANSITION_TO_FAULT : TRANSITION_TO_OFFNORMAL;
}

uint32_t event_type_of_object(ObjectRecord* object)
{
  switch (object->type) {
  case OBJECT_ANALOG_INPUT:
  case OBJECT_ANALOG_OUTPUT:
  case OBJECT_ANALOG_VALUE: return EVENT_TYPE_OUT_OF_RANGE;
  case OBJECT_BINARY_OUTPUT:
  case OBJECT_MULTI_STATE_OUTPUT: return EVENT_TYPE_COMMAND_FAILURE;
  case OBJECT_TREND_LOG: return EVENT_TYPE_BUFFER_READY;
  case OBJECT_EVENT_ENROLLMENT: return object_word_value(object, PROP_EVENT_TYPE);
  default: return EVENT_TYPE_CHANGE_OF_STATE;
  }
}

bool event_destination_open(const BACnetDestination& d)
{
  BACnetDate today{};
  BACnetTime now{};
  date_now_local(&today);
  time_now_local(&now);
  if (today.weekday < 1 || today.weekday > 7 || !bitstring_get_bit(&d.valid_days, today.weekday - 1u))
    return false;
  return value_compare_time(&d.from, &now) <= 0 && value_compare_time(&now, &d.to) <= 0;
}

int event_generate(uint32_t owner, uint32_t, ObjectRecord* object, uint32_t from_state, uint32_t to_state,
                   BACnetValue* values, uint32_t notify_type)
{
  if (!object)
    return -1;
  uint32_t transition = event_transition_of(to_state);
  OwnedEvent event;
  EventNotificationRequest& n = *event;
  fill_common(n, owner, object, notify_type);
  n.from_state = from_state;
  n.to_state = to_state;
  if (values) {
    n.parameters = *values;
    value_clear(values);
  }

  BitString* acked = object_bits(object, PROP_ACKED_TRANSITIONS);
  bitstring_set_bit(acked, transition, 0);
  if (auto* stamps = value_array(object_value(object, PROP_EVENT_TIME_STAMPS)); stamps && stamps->used > transition)
    if (auto* stamp = value_record<BACnetTimeStamp>(&stamps->elements[transition]))
      *stamp = n.timestamp;

  if (const BACnetRecipient* own = own_recipient(object)) {
    // Its own road: no Notification Class decides; the acknowledgment is awaited.
    n.priority = object_word_value(object, PROP_PRIORITY);
    n.ack_required = true;
    send_to_own(object, *own, n);
    return 0;
  }
  ObjectRecord* nc = object_notification_class(owner, object);
  if (!nc)
    return -1;
  n.priority = class_priority(nc, transition);
  n.ack_required = bitstring_get_bit(object_bits(nc, PROP_ACK_REQUIRED), transition) != 0;
  if (!n.ack_required)
    bitstring_set_bit(acked, transition, 1);
  send_to_class(nc, n, transition, true);
  return 0;
}

int event_process_transition(uint32_t transition, ObjectRecord* object, uint32_t owner)
{
  if (!object || transition > TRANSITION_TO_NORMAL)
    return -1;
  OwnedEvent event;
  EventNotificationRequest& n = *event;
  fill_common(n, owner, object, kAckNotification);
  n.to_state = acknowledged_state(object, transition);
  uint32_t kind = event_transition_of(n.to_state);
  if (const BACnetRecipient* own = own_recipient(object)) {
    n.priority = object_word_value(object, PROP_PRIORITY);
    send_to_own(object, *own, n);
    return 0;
  }
  ObjectRecord* nc = object_notification_class(owner, object);
  if (!nc)
    return -1;
  n.priority = class_priority(nc, kind);
  // An Event Enrollment marks its acknowledgments like its transitions; the other objects
  // tell every open Destination.
  send_to_class(nc, n, kind, object->type == OBJECT_EVENT_ENROLLMENT);
  return 0;
}

int event_process_transition_bits(uint32_t owner, ObjectRecord* object)
{
  if (!object)
    return -1;
  if (ObjectEngineState* engine = object_engine(object)) {
    uint32_t bits = engine->pending_ack;
    engine->pending_ack = 0;
    for (uint32_t t = 0; t < 3; ++t)
      if (bits & (1u << t))
        event_process_transition(t, object, owner);
    return 0;
  }
  BitString* pending = object_bits(object, PROP_PENDING_ACKNOWLEDGMENTS);
  for (uint32_t t = 0; pending && t < 3; ++t) {
    if (!bitstring_get_bit(pending, t))
      continue;
    event_process_transition(t, object, owner);
    bitstring_set_bit(pending, t, 0);
  }
  return 0;
}

void event_settle_acknowledgments(uint32_t owner, ObjectRecord* object)
{
  event_process_transition_bits(owner, object);
  const BitString* enable = object_bits(object, PROP_EVENT_ENABLE);
  BitString* acked = object_bits(object, PROP_ACKED_TRANSITIONS);
  for (uint32_t t = TRANSITION_TO_OFFNORMAL; t <= TRANSITION_TO_NORMAL; ++t)
    if (!bitstring_get_bit(enable, t))
      bitstring_set_bit(acked, t, 1);
}

int event_send_to_recipient(bool issue_confirmed, EventNotificationRequest* notification,
                            const BACnetRecipient* recipient, uint32_t process_id)
{
  if (!notification || !recipient || !g_sender.event)
    return -1;
  notification->process_id = process_id;
  if (recipient->choice == 0)
    return g_sender.event(issue_confirmed, int32_t(recipient->device.instance), nullptr, notification);
  if (recipient->choice == 1) {
    BACnetAddress address = address_binding_from_value(recipient->address);
    return g_sender.event(issue_confirmed, -1, &address, notification);
  }
  return -1;
}

int cov_send_to_destination(const BACnetValue* values, const BACnetObjectId& object,
                            const BACnetDestination* destination, uint32_t owner)
{
  if (!values || !destination || !g_sender.cov)
    return -1;
  CovNotificationRequest n;
  n.process_id = destination->process_id;
  n.device = {OBJECT_DEVICE, owner};
  n.object = object;
  n.time_remaining = 0;
  // Borrowed for the send; the caller keeps the values.
  n.values = *values;
  const BACnetRecipient& r = destination->recipient;
  bool confirmed = destination->issue_confirmed != 0;
  if (r.choice == 0)
    return g_sender.cov(confirmed, int32_t(r.device.instance), nullptr, &n);
  if (r.choice == 1) {
    BACnetAddress address = address_binding_from_value(r.address);
    return g_sender.cov(confirmed, -1, &address, &n);
  }
  return -1;
}

int cov_notify_destinations(uint32_t owner, const BACnetObjectId& object, const BACnetValue* values,
                            const BACnetValue* subscriptions)
{
  if (!subscriptions)
    return 0;
  value_each_record<BACnetDestination>(*subscriptions, TAG_DESTINATION_LIST, [&](const BACnetDestination& d) {
    cov_send_to_destination(values, object, &d, owner);
    return true;
  });
  return 0;
}
