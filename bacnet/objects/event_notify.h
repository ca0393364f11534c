// The notifications of the local objects: the event notification of one committed
// transition (to a Notification Class's recipients or an Event Enrollment's own recipient),
// the acknowledgment notifications after an AcknowledgeAlarm, and the change-of-value
// notifications to an object's subscribers. Stack thread only (the behaviour engine and the
// alarm services call it); a send only queues a request in the client layer. Must not change
// an object beyond its acked-transitions, event time stamps and pending acknowledgments.
#pragma once

#include <cstdint>

#include "bacnet/codec/codec_alarm_services.h"
#include "bacnet/codec/codec_cov_services.h"
#include "bacnet/network/bacnet_address.h"
#include "bacnet/value/value_types.h"

struct ObjectRecord;

// Where notifications leave: to a device instance (address null) or to an address. The
// default is the client layer; tests record instead.
struct NotificationSender {
  int (*event)(bool confirmed, int32_t device, const BACnetAddress* address,
               const EventNotificationRequest* notification) = nullptr;
  int (*cov)(bool confirmed, int32_t device, const BACnetAddress* address,
             const CovNotificationRequest* notification) = nullptr;
};
// Installs a sender (copied); null restores the client layer.
void event_set_sender(const NotificationSender* sender);

// Event states and the three transition kinds (bit numbers of acked-transitions,
// event-enable and a Destination's transitions; element - 1 of the event time stamps).
enum EventState : uint32_t {
  EVENT_STATE_NORMAL = 0,
  EVENT_STATE_FAULT = 1,
  EVENT_STATE_OFFNORMAL = 2,
  EVENT_STATE_HIGH_LIMIT = 3,
  EVENT_STATE_LOW_LIMIT = 4,
};
enum TransitionKind : uint32_t {
  TRANSITION_TO_OFFNORMAL = 0,
  TRANSITION_TO_FAULT = 1,
  TRANSITION_TO_NORMAL = 2,
};
uint32_t event_transition_of(uint32_t to_state);

// The event types the local objects report with.
enum EventType : uint32_t {
  EVENT_TYPE_CHANGE_OF_STATE = 1,
  EVENT_TYPE_COMMAND_FAILURE = 3,
  EVENT_TYPE_FLOATING_LIMIT = 4,
  EVENT_TYPE_OUT_OF_RANGE = 5,
  EVENT_TYPE_BUFFER_READY = 10,
};

// The event type an object reports with: out-of-range for the analog types, command-failure
// for the binary and multi-state outputs, buffer-ready for the Trend Log, the configured one
// of an Event Enrollment, change-of-state for the rest.
uint32_t event_type_of_object(ObjectRecord* object);

// Sends the notification of one committed transition. `values` is the event values (tag 52),
// taken over by the notification (left NULL). Clears the transition's acked bit and stamps its event time stamp first; with a
// Notification Class whose ack-required bit is off, the acked bit is set again. 0; -1 when the
// object has no Notification Class (and no own recipient) to send to.
int event_generate(uint32_t owner, uint32_t object_type, ObjectRecord* object, uint32_t from_state, uint32_t to_state,
                   BACnetValue* values, uint32_t notify_type);

// Acknowledgment notifications: one for each raised pending-acknowledgment bit (1
// to-offnormal, 2 to-fault, 4 to-normal) of the object, in that order; the bits are cleared.
int event_process_transition_bits(uint32_t owner, ObjectRecord* object);
// The start of a reporting object's run: the acknowledgment notifications owed go out and
// every transition that is not enabled counts as acknowledged.
void event_settle_acknowledgments(uint32_t owner, ObjectRecord* object);
// One acknowledgment notification for transition kind `transition`.
int event_process_transition(uint32_t transition, ObjectRecord* object, uint32_t owner);

// Sends the notification to one recipient (choice 0 a device instance, 1 an address of at
// most six MAC octets) with the process identifier filled in. 0, or -1 when nothing was sent.
int event_send_to_recipient(bool issue_confirmed, EventNotificationRequest* notification,
                            const BACnetRecipient* recipient, uint32_t process_id);

// COV notifications with the values (one PropertyValue or a list, tag 87) to every
// subscription: one Destination (tag 45) or a list of them (tag 76). Time remaining is 0.
int cov_notify_destinations(uint32_t owner, const BACnetObjectId& object, const BACnetValue* values,
                            const BACnetValue* subscriptions);
int cov_send_to_destination(const BACnetValue* values, const BACnetObjectId& object,
                            const BACnetDestination* destination, uint32_t owner);

// Whether a Destination takes notifications now: today's weekday among its valid days and
// now within its time window (unspecified fields match anything).
bool event_destination_open(const BACnetDestination& destination);
