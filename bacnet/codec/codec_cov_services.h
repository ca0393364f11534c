// Change-of-value services: SubscribeCOV and the COV notifications (confirmed and
// unconfirmed write the same parameters). Any thread; no state. The buffer of a decoder
// holds exactly the service data. Must not: read outside it.
#pragma once

#include "bacnet/codec/codec_requests.h"

// ---- SubscribeCOV (confirmed 5) ----------------------------------------------------------

// The lifetime chooses the optional parameters: -1 neither (a cancellation), 0 the
// confirmed flag alone, above 0 the flag and the lifetime.
struct SubscribeCovRequest {
  uint32_t process_id = 0;
  BACnetObjectId object{999, 0};
  bool issue_confirmed = false;
  int32_t lifetime = -1;
};
int pdu_encode_subscribe_cov_request(pdu_buffer* buffer, const SubscribeCovRequest* request);
int pdu_decode_subscribe_cov_request(pdu_buffer* buffer, SubscribeCovRequest* request);

// ---- ConfirmedCOVNotification (1), UnconfirmedCOVNotification (unconfirmed 2) -------------

// The values are owned by the record: release with pdu_free_cov_notification_request.
struct CovNotificationRequest {
  uint32_t process_id = 0;
  BACnetObjectId device{8, 0};
  BACnetObjectId object{999, 0};
  uint32_t time_remaining = 0;
  BACnetValue values{};  // one PropertyValue (tag 49), a list of them (tag 87) or NULL for none
};
int pdu_encode_confirmed_cov_notification_request(pdu_buffer* buffer, const CovNotificationRequest* request);
int pdu_encode_unconfirmed_cov_notification_request(pdu_buffer* buffer, const CovNotificationRequest* request);
int pdu_decode_cov_notification_request(pdu_buffer* buffer, CovNotificationRequest* request);
void pdu_free_cov_notification_request(CovNotificationRequest* request);
