// Alarm and event services: AcknowledgeAlarm, the event notifications, GetAlarmSummary,
// GetEnrollmentSummary and GetEventInformation, each request next to its acknowledgement,
// with the summary datatypes they carry. Any thread; no state. The buffer of a decoder
// holds exactly the service data. Must not: read outside it.
#pragma once

#include "bacnet/codec/codec_requests.h"

// ---- AcknowledgeAlarm (confirmed 0) -------------------------------------------------------

// The source is owned by the record: release with pdu_free_acknowledge_alarm_request.
struct AcknowledgeAlarmRequest {
  uint32_t process_id = 0;
  BACnetObjectId event_object{999, 0};
  uint32_t event_state = 0;
  BACnetTimeStamp timestamp{};
  BACnetValue source{};  // a Character String; a source of any other datatype is left out
  BACnetTimeStamp ack_timestamp{};
};
// The decoder requires all six parameters.
int pdu_encode_acknowledge_alarm_request(pdu_buffer* buffer, const AcknowledgeAlarmRequest* request);
int pdu_decode_acknowledge_alarm_request(pdu_buffer* buffer, AcknowledgeAlarmRequest* request);
void pdu_free_acknowledge_alarm_request(AcknowledgeAlarmRequest* request);

// ---- ConfirmedEventNotification (2), UnconfirmedEventNotification (unconfirmed 3) ---------

inline constexpr uint32_t NOTIFY_ACK_NOTIFICATION = 2;

// Message and parameters are owned by the record: release with
// pdu_free_event_notification_request.
struct EventNotificationRequest {
  uint32_t process_id = 0;
  BACnetObjectId device{8, 0};
  BACnetObjectId object{999, 0};
  BACnetTimeStamp timestamp{};
  uint32_t notification_class = 0;
  uint32_t priority = 0;
  uint32_t event_type = 0;
  BACnetValue message{};  // [7] only when a Character String
  uint32_t notify_type = 0;
  bool ack_required = false;  // [9], [10] and [12] are left out of an ack-notification
  uint32_t from_state = 0;
  uint32_t to_state = 0;
  BACnetValue parameters{};  // BACnetNotificationParameters (tag 52), or NULL for none
};
int pdu_encode_event_notification_request(pdu_buffer* buffer, const EventNotificationRequest* request);
int pdu_decode_event_notification_request(pdu_buffer* buffer, EventNotificationRequest* request);
void pdu_free_event_notification_request(EventNotificationRequest* request);

// ---- GetAlarmSummary (confirmed 3; the request has no parameters) -------------------------

int pdu_encode_alarm_summary(pdu_buffer* buffer, const AlarmSummaryEntry* entry);
int pdu_decode_alarm_summary(pdu_buffer* buffer, AlarmSummaryEntry* entry);

// One summary (tag 40), a list of them (tag 93) or NULL for none.
struct GetAlarmSummaryAck {
  BACnetValue summaries{};
};
int pdu_encode_get_alarm_summary_ack(pdu_buffer* buffer, const GetAlarmSummaryAck* ack);
int pdu_decode_get_alarm_summary_ack(pdu_buffer* buffer, GetAlarmSummaryAck* ack);
void pdu_free_get_alarm_summary_ack(GetAlarmSummaryAck* ack);

// ---- GetEnrollmentSummary (confirmed 4) --------------------------------------------------

inline constexpr uint32_t EVENT_STATE_FILTER_ALL = 3;
inline constexpr uint32_t EVENT_TYPE_FILTER_NONE = 999;

// Every filter but the acknowledgment filter is optional; absent ones carry their marker
// and are left out of the request. The recipient's address is owned by the record: release
// with pdu_free_get_enrollment_summary_request.
struct GetEnrollmentSummaryRequest {
  uint32_t acknowledgment_filter = 0;
  BACnetRecipientProcess enrollment_filter{0, {-1, {999, 0}, {}}, 0};  // not_empty 0: absent
  uint32_t event_state_filter = EVENT_STATE_FILTER_ALL;
  uint32_t event_type_filter = EVENT_TYPE_FILTER_NONE;
  int32_t min_priority = -1;  // the priority filter needs both
  int32_t max_priority = -1;
  int32_t notification_class = -1;
};
int pdu_encode_get_enrollment_summary_request(pdu_buffer* buffer, const GetEnrollmentSummaryRequest* request);
int pdu_decode_get_enrollment_summary_request(pdu_buffer* buffer, GetEnrollmentSummaryRequest* request);
void pdu_free_get_enrollment_summary_request(GetEnrollmentSummaryRequest* request);

int pdu_encode_enrollment_summary(pdu_buffer* buffer, const EnrollmentSummaryEntry* entry);
int pdu_decode_enrollment_summary(pdu_buffer* buffer, EnrollmentSummaryEntry* entry);

// One summary (tag 41), a list of them (tag 94) or NULL for none.
struct GetEnrollmentSummaryAck {
  BACnetValue summaries{};
};
int pdu_encode_get_enrollment_summary_ack(pdu_buffer* buffer, const GetEnrollmentSummaryAck* ack);
// No data leaves the record as it was.
int pdu_decode_get_enrollment_summary_ack(pdu_buffer* buffer, GetEnrollmentSummaryAck* ack);
void pdu_free_get_enrollment_summary_ack(GetEnrollmentSummaryAck* ack);

// ---- GetEventInformation (confirmed 29) --------------------------------------------------

struct GetEventInformationRequest {
  BACnetObjectId last_received{999, 0};  // 999: start at the first object
};
int pdu_encode_get_event_information_request(pdu_buffer* buffer, const GetEventInformationRequest* request);
int pdu_decode_get_event_information_request(pdu_buffer* buffer, GetEventInformationRequest* request);

// Time stamps: a TimeStamp list (tag 84); priorities: an Unsigned list (tag 75).
int pdu_encode_event_summary(pdu_buffer* buffer, const EventSummaryEntry* entry);
int pdu_decode_event_summary(pdu_buffer* buffer, EventSummaryEntry* entry);

// One summary (tag 112), a list of them (tag 113) or NULL for none.
struct GetEventInformationAck {
  BACnetValue summaries{};
  bool more_events = false;
};
int pdu_encode_get_event_information_ack(pdu_buffer* buffer, const GetEventInformationAck* ack);
int pdu_decode_get_event_information_ack(pdu_buffer* buffer, GetEventInformationAck* ack);
void pdu_free_get_event_information_ack(GetEventInformationAck* ack);
