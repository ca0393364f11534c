#include "bacnet/codec/codec_alarm_services.h"

#include "bacnet/codec/codec_events.h"
#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_records.h"

using namespace pdu_fields;

namespace {

constexpr uint32_t kAllBits = 0xFFFFFFFFu;

int write_timestamp_in(pdu_buffer* buffer, uint8_t n, const BACnetTimeStamp& stamp)
{
  return enclosed_write(buffer, n, [&] { return pdu_encode_timestamp(buffer, &stamp); });
}

int read_timestamp_in(pdu_buffer* buffer, uint8_t n, BACnetTimeStamp* stamp)
{
  return enclosed_read(buffer, n, [&] { return pdu_decode_timestamp(buffer, stamp); });
}

// An application-tagged Unsigned follows.
bool next_is_unsigned(const pdu_buffer* buffer)
{
  return pdu_has_data(buffer) && (buffer->data[buffer->pos] & 0xF8) == PDU_UNSIGNED << 4;
}

int read_enumerated_if(pdu_buffer* buffer, uint8_t tag, uint32_t* value)
{
  return pdu_next_is_context(buffer, tag) ? pdu_read_enumerated(buffer, tag, value) : 0;
}

}  // namespace

// ---- AcknowledgeAlarm --------------------------------------------------------------------

int pdu_encode_acknowledge_alarm_request(pdu_buffer* buffer, const AcknowledgeAlarmRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return pdu_write_unsigned(buffer, 0, request->process_id); },
                     [&] { return write_object(buffer, 1, request->event_object); },
                     [&] { return pdu_write_enumerated(buffer, 2, request->event_state); },
                     [&] { return write_timestamp_in(buffer, 3, request->timestamp); },
                     [&] { return write_optional_text(buffer, 4, request->source); },
                     [&] { return write_timestamp_in(buffer, 5, request->ack_timestamp); }));
}

int pdu_decode_acknowledge_alarm_request(pdu_buffer* buffer, AcknowledgeAlarmRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  return all([&] { return pdu_read_unsigned(buffer, 0, &request->process_id); },
             [&] { return read_object(buffer, 1, &request->event_object); },
             [&] { return pdu_read_enumerated(buffer, 2, &request->event_state); },
             [&] { return read_timestamp_in(buffer, 3, &request->timestamp); },
             [&] { return read_text_value(buffer, 4, &request->source); },
             [&] { return read_timestamp_in(buffer, 5, &request->ack_timestamp); });
}

void pdu_free_acknowledge_alarm_request(AcknowledgeAlarmRequest* request)
{
  if (request)
    value_free(&request->source);
}

// ---- Event notifications -----------------------------------------------------------------

int pdu_encode_event_notification_request(pdu_buffer* buffer, const EventNotificationRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  bool acknowledgment = request->notify_type == NOTIFY_ACK_NOTIFICATION;
  const BACnetValue& parameters = request->parameters;
  if (parameters.tag != TAG_NULL && parameters.tag != TAG_NOTIFICATION_PARAMETERS)
    return PDU_ENCODE_FAILED;
  return encoded(all(
      [&] { return pdu_write_unsigned(buffer, 0, request->process_id); },
      [&] { return write_object(buffer, 1, request->device); },
      [&] { return write_object(buffer, 2, request->object); },
      [&] { return write_timestamp_in(buffer, 3, request->timestamp); },
      [&] { return pdu_write_unsigned(buffer, 4, request->notification_class); },
      [&] { return pdu_write_unsigned(buffer, 5, request->priority); },
      [&] { return pdu_write_enumerated(buffer, 6, request->event_type); },
      [&] { return write_optional_text(buffer, 7, request->message); },
      [&] { return pdu_write_enumerated(buffer, 8, request->notify_type); },
      [&] { return acknowledgment ? 0 : pdu_write_boolean(buffer, 9, request->ack_required); },
      [&] { return acknowledgment ? 0 : pdu_write_enumerated(buffer, 10, request->from_state); },
      [&] { return pdu_write_enumerated(buffer, 11, request->to_state); },
      [&] {
        if (acknowledgment || parameters.tag == TAG_NULL)
          return 0;
        return enclosed_write(buffer, 12, [&] { return pdu_encode_value(buffer, &parameters, -1); });
      }));
}

int pdu_decode_event_notification_request(pdu_buffer* buffer, EventNotificationRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  value_free(&request->message);
  value_free(&request->parameters);
  request->ack_required = false;
  request->from_state = 0;
  request->to_state = 0;
  return all(
      [&] { return pdu_read_unsigned(buffer, 0, &request->process_id); },
      [&] { return read_object(buffer, 1, &request->device); },
      [&] { return read_object(buffer, 2, &request->object); },
      [&] { return read_timestamp_in(buffer, 3, &request->timestamp); },
      [&] { return pdu_read_unsigned(buffer, 4, &request->notification_class); },
      [&] { return pdu_read_unsigned(buffer, 5, &request->priority); },
      [&] { return pdu_read_enumerated(buffer, 6, &request->event_type); },
      [&] { return read_optional_text(buffer, 7, &request->message); },
      [&] { return pdu_read_enumerated(buffer, 8, &request->notify_type); },
      [&] { return pdu_next_is_context(buffer, 9) ? pdu_read_boolean(buffer, 9, &request->ack_required) : 0; },
      [&] { return read_enumerated_if(buffer, 10, &request->from_state); },
      [&] { return read_enumerated_if(buffer, 11, &request->to_state); },
      [&] {
        if (!pdu_has_data(buffer) || pdu_tag_number(buffer->data[buffer->pos]) != 12)
          return 0;
        return enclosed_read(buffer, 12, [&] {
          int result = value_init(&request->parameters, TAG_NOTIFICATION_PARAMETERS);
          return result != 0 ? result
                             : decode_record<BACnetNotificationParameters>(buffer, &request->parameters,
                                                                           pdu_decode_notification_parameters);
        });
      });
}

void pdu_free_event_notification_request(EventNotificationRequest* request)
{
  if (!request)
    return;
  value_free(&request->message);
  value_free(&request->parameters);
}

// ---- GetAlarmSummary ---------------------------------------------------------------------

int pdu_encode_alarm_summary(pdu_buffer* b, const AlarmSummaryEntry* r) { return write_record(b, *r); }
int pdu_decode_alarm_summary(pdu_buffer* b, AlarmSummaryEntry* r) { return read_record(b, *r); }

int pdu_encode_get_alarm_summary_ack(pdu_buffer* buffer, const GetAlarmSummaryAck* ack)
{
  if (!buffer || !ack)
    return PDU_ENCODE_FAILED;
  return encoded(write_records(buffer, ack->summaries, TAG_ALARM_SUMMARY_LIST, pdu_encode_alarm_summary));
}

int pdu_decode_get_alarm_summary_ack(pdu_buffer* buffer, GetAlarmSummaryAck* ack)
{
  if (!buffer || !ack)
    return PDU_MALFORMED;
  value_free(&ack->summaries);
  return collect_rest<AlarmSummaryEntry>(buffer, &ack->summaries, TAG_ALARM_SUMMARY, TAG_ALARM_SUMMARY_LIST,
                                         pdu_decode_alarm_summary);
}

void pdu_free_get_alarm_summary_ack(GetAlarmSummaryAck* ack)
{
  if (ack)
    value_free(&ack->summaries);
}

// ---- GetEnrollmentSummary ----------------------------------------------------------------

int pdu_encode_get_enrollment_summary_request(pdu_buffer* buffer, const GetEnrollmentSummaryRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  bool priorities = request->min_priority >= 0 && request->max_priority >= 0;
  return encoded(all(
      [&] { return pdu_write_enumerated(buffer, 0, request->acknowledgment_filter); },
      [&] {
        if (!request->enrollment_filter.not_empty)
          return 0;
        return enclosed_write(buffer, 1, [&] { return pdu_encode_recipient_process(buffer, &request->enrollment_filter); });
      },
      [&] {
        return request->event_state_filter == EVENT_STATE_FILTER_ALL ? 0
                                                                     : pdu_write_enumerated(buffer, 2, request->event_state_filter);
      },
      [&] {
        return request->event_type_filter == EVENT_TYPE_FILTER_NONE ? 0
                                                                    : pdu_write_enumerated(buffer, 3, request->event_type_filter);
      },
      [&] {
        if (!priorities)
          return 0;
        return enclosed_write(buffer, 4, [&] { return pdu_write_unsigned(buffer, 0, uint32_t(request->min_priority)); },
                              [&] { return pdu_write_unsigned(buffer, 1, uint32_t(request->max_priority)); });
      },
      [&] {
        return request->notification_class < 0 ? 0 : pdu_write_unsigned(buffer, 5, uint32_t(request->notification_class));
      }));
}

int pdu_decode_get_enrollment_summary_request(pdu_buffer* buffer, GetEnrollmentSummaryRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  request->event_state_filter = EVENT_STATE_FILTER_ALL;
  request->event_type_filter = EVENT_TYPE_FILTER_NONE;
  request->min_priority = -1;
  request->max_priority = -1;
  request->notification_class = -1;
  uint32_t min = 0;
  uint32_t max = 0;
  uint32_t notification_class = 0;
  int result = all(
      [&] { return pdu_read_enumerated(buffer, 0, &request->acknowledgment_filter); },
      [&] {
        if (!pdu_has_data(buffer) || pdu_tag_number(buffer->data[buffer->pos]) != 1)
          return 0;
        return enclosed_read(buffer, 1, [&] { return pdu_decode_recipient_process(buffer, &request->enrollment_filter); });
      },
      [&] { return read_enumerated_if(buffer, 2, &request->event_state_filter); },
      [&] { return read_enumerated_if(buffer, 3, &request->event_type_filter); },
      [&] {
        if (!pdu_next_is(buffer, pdu_opening_tag(4)))
          return 0;
        int status = enclosed_read(buffer, 4, [&] { return pdu_read_unsigned(buffer, 0, &min); },
                                   [&] { return pdu_read_unsigned(buffer, 1, &max); });
        if (status == 0) {
          request->min_priority = int32_t(min);
          request->max_priority = int32_t(max);
        }
        return status;
      },
      [&] {
        if (!pdu_next_is_context(buffer, 5))
          return 0;
        int status = pdu_read_unsigned(buffer, 5, &notification_class);
        if (status == 0)
          request->notification_class = int32_t(notification_class);
        return status;
      });
  // A filter sent with every bit set stands for no filter.
  if (request->event_state_filter == kAllBits)
    request->event_state_filter = EVENT_STATE_FILTER_ALL;
  if (request->event_type_filter == kAllBits)
    request->event_type_filter = EVENT_TYPE_FILTER_NONE;
  return result;
}

void pdu_free_get_enrollment_summary_request(GetEnrollmentSummaryRequest* request)
{
  if (request)
    recipient_free(&request->enrollment_filter.recipient);
}

int pdu_encode_enrollment_summary(pdu_buffer* b, const EnrollmentSummaryEntry* r) { return write_record(b, *r); }
int pdu_decode_enrollment_summary(pdu_buffer* buffer, EnrollmentSummaryEntry* entry)
{
  return all([&] { return read_object(buffer, -1, &entry->object); },
             [&] { return pdu_read_enumerated(buffer, -1, &entry->event_type); },
             [&] { return pdu_read_enumerated(buffer, -1, &entry->event_state); },
             [&] { return pdu_read_unsigned(buffer, -1, &entry->priority); },
             [&] { return next_is_unsigned(buffer) ? pdu_read_unsigned(buffer, -1, &entry->notification_class) : 0; });
}

int pdu_encode_get_enrollment_summary_ack(pdu_buffer* buffer, const GetEnrollmentSummaryAck* ack)
{
  if (!buffer || !ack)
    return PDU_ENCODE_FAILED;
  return encoded(write_records(buffer, ack->summaries, TAG_ENROLLMENT_SUMMARY_LIST, pdu_encode_enrollment_summary));
}

int pdu_decode_get_enrollment_summary_ack(pdu_buffer* buffer, GetEnrollmentSummaryAck* ack)
{
  if (!buffer || !ack)
    return PDU_MALFORMED;
  if (!pdu_has_data(buffer))
    return 0;
  value_free(&ack->summaries);
  return collect_rest<EnrollmentSummaryEntry>(buffer, &ack->summaries, TAG_ENROLLMENT_SUMMARY,
                                              TAG_ENROLLMENT_SUMMARY_LIST, pdu_decode_enrollment_summary);
}

void pdu_free_get_enrollment_summary_ack(GetEnrollmentSummaryAck* ack)
{
  if (ack)
    value_free(&ack->summaries);
}

// ---- GetEventInformation -----------------------------------------------------------------

int pdu_encode_get_event_information_request(pdu_buffer* buffer, const GetEventInformationRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return request->last_received.type == 999 ? 0 : encoded(write_object(buffer, 0, request->last_received));
}

int pdu_decode_get_event_information_request(pdu_buffer* buffer, GetEventInformationRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  request->last_received = BACnetObjectId{999, 0};
  return pdu_next_is_context(buffer, 0) ? read_object(buffer, 0, &request->last_received) : 0;
}

int pdu_encode_event_summary(pdu_buffer* buffer, const EventSummaryEntry* entry)
{
  return encoded(all(
      [&] { return write_object(buffer, 0, entry->object); },
      [&] { return pdu_write_enumerated(buffer, 1, entry->event_state); },
      [&] { return write_bits(buffer, 2, entry->acked_transitions); },
      [&] {
        return enclosed_write(buffer, 3, [&] {
          return write_one_or_list(buffer, entry->timestamps, TAG_TIMESTAMP, TAG_TIMESTAMP_LIST);
        });
      },
      [&] { return pdu_write_enumerated(buffer, 4, entry->notify_type); },
      [&] { return write_bits(buffer, 5, entry->event_enable); },
      [&] {
        return enclosed_write(buffer, 6, [&] {
          return write_one_or_list(buffer, entry->priorities, TAG_UNSIGNED, TAG_UNSIGNED_LIST);
        });
      }));
}

int pdu_decode_event_summary(pdu_buffer* buffer, EventSummaryEntry* entry)
{
  auto stamp = [&](BACnetValue* element) {
    int result = value_init(element, TAG_TIMESTAMP);
    return result != 0 ? result : decode_record<BACnetTimeStamp>(buffer, element, pdu_decode_timestamp);
  };
  auto priority = [&](BACnetValue* element) {
    return next_is_unsigned(buffer) ? pdu_decode_value(buffer, element, -1) : PDU_MALFORMED;
  };
  return all(
      [&] { return read_object(buffer, 0, &entry->object); },
      [&] { return pdu_read_enumerated(buffer, 1, &entry->event_state); },
      [&] { return read_bits(buffer, 2, &entry->acked_transitions); },
      [&] { return enclosed_read(buffer, 3, [&] { return read_list_until(buffer, 3, &entry->timestamps, TAG_TIMESTAMP_LIST, stamp); }); },
      [&] { return pdu_read_enumerated(buffer, 4, &entry->notify_type); },
      [&] { return read_bits(buffer, 5, &entry->event_enable); },
      [&] { return enclosed_read(buffer, 6, [&] { return read_list_until(buffer, 6, &entry->priorities, TAG_UNSIGNED_LIST, priority); }); });
}

int pdu_encode_get_event_information_ack(pdu_buffer* buffer, const GetEventInformationAck* ack)
{
  if (!buffer || !ack)
    return PDU_ENCODE_FAILED;
  return encoded(all(
      [&] {
        return enclosed_write(buffer, 0, [&] {
          return write_records(buffer, ack->summaries, TAG_EVENT_SUMMARY_LIST, pdu_encode_event_summary);
        });
      },
      [&] { return pdu_write_boolean(buffer, 1, ack->more_events); }));
}

int pdu_decode_get_event_information_ack(pdu_buffer* buffer, GetEventInformationAck* ack)
{
  if (!buffer || !ack)
    return PDU_MALFORMED;
  value_free(&ack->summaries);
  return all(
      [&] {
        return enclosed_read(buffer, 0, [&] {
          return collect_until<EventSummaryEntry>(buffer, pdu_closing_tag(0), &ack->summaries, TAG_EVENT_SUMMARY,
                                                  TAG_EVENT_SUMMARY_LIST, pdu_decode_event_summary);
        });
      },
      [&] { return pdu_read_boolean(buffer, 1, &ack->more_events); });
}

void pdu_free_get_event_information_ack(GetEventInformationAck* ack)
{
  if (ack)
    value_free(&ack->summaries);
}
