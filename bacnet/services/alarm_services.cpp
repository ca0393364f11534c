#include "bacnet/services/alarm_services.h"

#include "bacnet/codec/codec_alarm_services.h"
#include "bacnet/codec/codec_cov_services.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/objects/event_notify.h"
#include "bacnet/objects/object_behaviour.h"
#include "bacnet/objects/object_database.h"
#include "bacnet/objects/object_lists.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_summaries.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/services/service_answers.h"
#include "bacnet/services/service_dispatch.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr std::size_t kHookConfirmedEventNotification = 11;
constexpr uint32_t kForceAcknowledged = 1;
constexpr int kSubscribeLogLevel = 1;

// Summaries per answer by max-APDU code; a segmented answer carries that many per segment.
constexpr std::array<uint32_t, 6> kSummariesPerApdu = {0, 1, 3, 7, 15, 21};

using OwnedAcknowledge = Owned<AcknowledgeAlarmRequest, pdu_free_acknowledge_alarm_request>;
using OwnedEvent = Owned<EventNotificationRequest, pdu_free_event_notification_request>;
using OwnedEnrollment = Owned<GetEnrollmentSummaryRequest, pdu_free_get_enrollment_summary_request>;

// The objects whose alarms can be acknowledged.
bool acknowledgeable(uint32_t type)
{
  return type <= OBJECT_BINARY_VALUE || type == OBJECT_EVENT_ENROLLMENT || type == OBJECT_MULTI_STATE_INPUT ||
         type == OBJECT_MULTI_STATE_OUTPUT || type == OBJECT_MULTI_STATE_VALUE || type == OBJECT_TREND_LOG;
}

bool same_stamp(const BACnetTimeStamp& a, const BACnetTimeStamp& b)
{
  if (a.choice != b.choice)
    return false;
  switch (a.choice) {
  case 0: return value_compare_time(&a.time, &b.time) == 0;
  case 1: return a.sequence == b.sequence;
  case 2: return value_compare_datetime(&a.datetime, &b.datetime) == 0;
  default: return false;
  }
}

const BACnetTimeStamp* event_stamp(ObjectRecord* object, uint32_t transition)
{
  const BACnetValueArray* stamps = value_array(object_value(object, PROP_EVENT_TIME_STAMPS));
  return stamps && stamps->used > transition ? value_record<BACnetTimeStamp>(&stamps->elements[transition]) : nullptr;
}

// The subscriber's address as a subscription keeps it.
int address_value(const BACnetAddress& from, BACnetAddressValue* out)
{
  out->network = from.network;
  return octetstring_set(&out->mac, from.mac, std::min<uint8_t>(from.mac_len, sizeof from.mac));
}

int build_subscription(const SubscribeCovRequest& r, const BACnetAddress& subscriber, BACnetValue* out)
{
  if (value_init(out, TAG_DESTINATION) != VALUE_OK)
    return -1;
  auto* d = value_record<BACnetDestination>(out);
  const uint8_t days[7] = {1, 1, 1, 1, 1, 1, 1};
  const uint8_t transitions[3] = {1, 1, 1};
  d->from = {0, 0, 0, 0};
  d->to = {0, 0, 0, 0};
  d->recipient.choice = 1;
  d->process_id = r.process_id;
  d->issue_confirmed = r.issue_confirmed ? 1 : 0;
  d->lifetime = uint32_t(r.lifetime);
  d->stamp = os_wall_seconds();
  if (bitstring_set(&d->valid_days, days, 7) != VALUE_OK || bitstring_set(&d->transitions, transitions, 3) != VALUE_OK ||
      address_value(subscriber, &d->recipient.address) != VALUE_OK)
    return -1;
  return 0;
}

int refuse_subscription(ServiceAnswer* answer, const SubscribeCovRequest& r, uint32_t code)
{
  char text[48];
  std::snprintf(text, sizeof text, "ERROR Sub %d %d", int(r.object.type), int(r.object.instance));
  driver_log(kSubscribeLogLevel, text);
  return services_answer_error(answer, SERVICE_SUBSCRIBE_COV, kErrorClassServices, code);
}

// The summaries answer for the station the request came to.
SummaryStation station_of(const BACnetAddress& local, const ServiceRequest& request)
{
  return {services_access_origin(request), services_request_owner(local)};
}

}  // namespace

uint32_t services_event_summary_limit(const ServiceRequest& request)
{
  uint32_t apdu_code = request.max_segments_apdu & 0x0F;
  uint32_t limit = apdu_code < kSummariesPerApdu.size() ? kSummariesPerApdu[apdu_code] : 0;
  if (request.segmented_response_accepted)
    limit *= server_tsm_accepted_segments(request.max_segments_apdu);
  return limit;
}

int services_acknowledge_alarm(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer, bool,
                               const BACnetAddress&)
{
  auto refuse = [&](uint32_t error_class, uint32_t code) {
    return services_answer_error(answer, SERVICE_ACKNOWLEDGE_ALARM, error_class, code);
  };
  OwnedAcknowledge ack;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_acknowledge_alarm_request(&view, ack.get()), view))
    return refuse(kErrorClassObject, kErrorUnspecified);
  const AcknowledgeAlarmRequest& r = *ack;
  ObjectTarget target = object_ResolveTarget(services_access_origin(request), services_request_owner(local),
                                             r.event_object.type, r.event_object.instance);
  uint32_t owner = target.owner;
  ObjectRecord* object = object_Find(owner, r.event_object.type, target.instance);
  if (!object)
    return refuse(kErrorClassServices, kErrorInconsistentParameters);
  if (!acknowledgeable(object->type))
    return refuse(kErrorClassObject, kErrorOther);
  if (r.event_state > EVENT_STATE_LOW_LIMIT)
    return refuse(kErrorClassServices, kErrorInconsistentParameters);
  uint32_t transition = event_transition_of(r.event_state);
  BitString* acked = object_bits(object, PROP_ACKED_TRANSITIONS);
  if (!acked || bitstring_get_bit(acked, transition))
    return refuse(kErrorClassServices, kErrorInconsistentParameters);
  const BACnetTimeStamp* stamp = event_stamp(object, transition);
  if (!stamp || !same_stamp(r.timestamp, *stamp))
    return refuse(kErrorClassServices, kErrorInvalidTimeStamp);

  bitstring_set_bit(acked, transition, 1);
  if (ObjectEngineState* engine = object_engine(object)) {
    engine->recorded_state[transition] = r.event_state;
    engine->pending_ack |= 1u << transition;
    engine->force_flags |= kForceAcknowledged;
  } else {
    bitstring_set_bit(object_bits(object, PROP_PENDING_ACKNOWLEDGMENTS), transition, 1);
  }
  int rc = services_answer_simple_ack(answer);
  // The acknowledgment notification is queued before the answer leaves.
  object_Timer(owner, object, 0);
  return rc;
}

int services_confirmed_event_notification(const BACnetAddress&, const ServiceRequest& request, ServiceAnswer* answer,
                                          bool, const BACnetAddress&)
{
  OwnedEvent event;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_event_notification_request(&view, event.get()), view))
    return services_answer_error(answer, SERVICE_CONFIRMED_EVENT_NOTIFICATION, kErrorClassObject, kErrorUnspecified);
  services_call_confirmed_hook(kHookConfirmedEventNotification, event.get());
  return services_answer_simple_ack(answer);
}

int services_get_alarm_summary(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer, bool,
                               const BACnetAddress&)
{
  if (!request.data.empty())
    return services_answer_error(answer, SERVICE_GET_ALARM_SUMMARY, kErrorClassObject, kErrorUnspecified);
  Owned<GetAlarmSummaryAck, pdu_free_get_alarm_summary_ack> ack;
  SummaryStation station = station_of(local, request);
  objtable_alarm_summary(&ack->summaries, &station);
  pdu_buffer encoded{};
  if (pdu_encode_get_alarm_summary_ack(&encoded, ack.get()) != 0) {
    pdu_buffer_free(&encoded);
    return services_answer_error(answer, SERVICE_GET_ALARM_SUMMARY, kErrorClassObject, kErrorUnspecified);
  }
  return services_answer_encoded(answer, &encoded, SERVICE_GET_ALARM_SUMMARY);
}

int services_get_enrollment_summary(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                                    bool, const BACnetAddress&)
{
  auto refuse = [&] {
    return services_answer_error(answer, SERVICE_GET_ENROLLMENT_SUMMARY, kErrorClassObject, kErrorUnspecified);
  };
  OwnedEnrollment enrollment;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_get_enrollment_summary_request(&view, enrollment.get()), view))
    return refuse();
  const GetEnrollmentSummaryRequest& r = *enrollment;
  EnrollmentFilter filter;
  filter.acknowledgment = r.acknowledgment_filter;
  filter.enrollment = r.enrollment_filter;  // borrowed while the request lives
  filter.event_state = r.event_state_filter;
  filter.event_type = r.event_type_filter;
  if (r.min_priority >= 0 && r.max_priority >= 0) {
    filter.priority_min = uint32_t(r.min_priority);
    filter.priority_max = uint32_t(r.max_priority);
  }
  if (r.notification_class >= 0)
    filter.notification_class = uint32_t(r.notification_class);
  Owned<GetEnrollmentSummaryAck, pdu_free_get_enrollment_summary_ack> ack;
  SummaryStation station = station_of(local, request);
  objtable_enrollment_summary(filter, &ack->summaries, &station);
  pdu_buffer encoded{};
  if (pdu_encode_get_enrollment_summary_ack(&encoded, ack.get()) != 0) {
    pdu_buffer_free(&encoded);
    return refuse();
  }
  return services_answer_encoded(answer, &encoded, SERVICE_GET_ENROLLMENT_SUMMARY);
}

int services_get_event_information(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                                   bool, const BACnetAddress&)
{
  auto refuse = [&] {
    return services_answer_error(answer, SERVICE_GET_EVENT_INFORMATION, kErrorClassServices, kErrorUnspecified);
  };
  GetEventInformationRequest r;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_get_event_information_request(&view, &r), view))
    return refuse();
  Owned<GetEventInformationAck, pdu_free_get_event_information_ack> ack;
  SummaryStation station = station_of(local, request);
  objtable_event_information(&r.last_received, services_event_summary_limit(request), &ack->summaries,
                             &ack->more_events, &station);
  pdu_buffer encoded{};
  if (pdu_encode_get_event_information_ack(&encoded, ack.get()) != 0) {
    pdu_buffer_free(&encoded);
    return refuse();
  }
  return services_answer_encoded(answer, &encoded, SERVICE_GET_EVENT_INFORMATION);
}

int services_subscribe_cov(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                           bool snet_present, const BACnetAddress& routed_source)
{
  SubscribeCovRequest r;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_subscribe_cov_request(&view, &r), view))
    return refuse_subscription(answer, r, kErrorInconsistentParameters);
  ObjectTarget target = object_ResolveTarget(services_access_origin(request), services_request_owner(local),
                                             r.object.type, r.object.instance);
  uint32_t owner = target.owner, instance = target.instance;
  OwnedValue subscription;
  if (build_subscription(r, snet_present ? routed_source : request.source, subscription.get()) != 0)
    return refuse_subscription(answer, r, kErrorCovSubscriptionFailed);
  if (r.lifetime == -1) {
    // A cancellation is acknowledged whether or not there was such a subscription.
    object_RemoveListElements(owner, r.object.type, instance, PROP_COV_SUBSCRIBERS, -1, subscription.get());
    return services_answer_simple_ack(answer);
  }
  if (object_AddListElements(owner, r.object.type, instance, PROP_COV_SUBSCRIBERS, -1, 0, subscription.get()) != 0)
    return refuse_subscription(answer, r, kErrorCovSubscriptionFailed);
  // The next timer run sends the first notification.
  object_SetEventFlag(owner, r.object.type, instance);
  return services_answer_simple_ack(answer);
}
