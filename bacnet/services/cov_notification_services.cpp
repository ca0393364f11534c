#include "bacnet/services/cov_notification_services.h"

#include "bacnet/cache/cache.h"
#include "bacnet/codec/codec_requests.h"
#include "bacnet/services/service_answers.h"
#include "bacnet/services/service_dispatch.h"
#include "bacnet/value/owned.h"

#include <cstdio>

namespace {

enum HookSlot : std::size_t {
  kHookUnconfirmedCovNotification = 2,
  kHookConfirmedCovNotification = 10,
};

using OwnedNotification = Owned<CovNotificationRequest, pdu_free_cov_notification_request>;

void trace_value(DriverLogFunction trace, const CovNotificationRequest& n, const BACnetPropertyValue& value)
{
  char text[160];
  int used = std::snprintf(text, sizeof text, "unconfirmedCOVNotification Device: %d ObjectTyp: %d Instance %d Property %d",
                           int32_t(n.device.instance), int32_t(n.object.type), int32_t(n.object.instance),
                           int32_t(value.property));
  std::size_t at = used > 0 ? std::size_t(used) : 0;
  const BACnetValue& v = value.value;
  if (v.tag == TAG_REAL)
    std::snprintf(text + at, sizeof text - at, " Value: %f", double(v.payload.real));
  else if (v.tag == TAG_UNSIGNED || v.tag == TAG_ENUMERATED)
    std::snprintf(text + at, sizeof text - at, " Value: %d", int32_t(v.payload.unsigned_value));
  else
    std::snprintf(text + at, sizeof text - at, " Unused Datatype");
  trace(kServicesLogLevel, text);
}

}  // namespace

int services_cov_notification_to_cache(const CovNotificationRequest& notification, DriverLogFunction trace)
{
  if (notification.values.tag == TAG_PROPERTY_VALUE_LIST && !value_array(&notification.values))
    return -1;
  value_each_record<BACnetPropertyValue>(notification.values, TAG_PROPERTY_VALUE_LIST,
                                         [&](const BACnetPropertyValue& value) {
                                           CacheReference reference = cache_reference(
                                               notification.device.instance, notification.object.type,
                                               notification.object.instance, value.property, value.array_index);
                                           // Error 0: the cache keeps the notified value.
                                           cache_update_property(0, &reference, &value.value);
                                           if (trace)
                                             trace_value(trace, notification, value);
                                           return true;
                                         });
  return 0;
}

int services_unconfirmed_cov_notification_received(uint8_t port_index, const ServiceRequest& request)
{
  OwnedNotification n;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_cov_notification_request(&view, n.get()), view))
    return -1;
  services_call_hook(kHookUnconfirmedCovNotification, port_index, n.get());
  return services_cov_notification_to_cache(*n, port_index == 0 ? services_trace() : nullptr);
}

int services_confirmed_cov_notification(const BACnetAddress&, const ServiceRequest& request, ServiceAnswer* answer, bool,
                                        const BACnetAddress&)
{
  OwnedNotification n;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_cov_notification_request(&view, n.get()), view))
    return services_answer_error(answer, SERVICE_CONFIRMED_COV_NOTIFICATION, kErrorClassObject, kErrorUnspecified);
  services_call_confirmed_hook(kHookConfirmedCovNotification, n.get());
  if (services_cov_notification_to_cache(*n, nullptr) != 0)
    return services_answer_error(answer, SERVICE_CONFIRMED_COV_NOTIFICATION, kErrorClassObject, kErrorUnspecified);
  return services_answer_simple_ack(answer);
}
