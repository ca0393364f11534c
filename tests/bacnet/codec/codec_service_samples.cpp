// The samples beyond the main road: every other service, acknowledgement and error form, and
// the constructed datatypes carried in ReadProperty acknowledgements.
#include "bacnet/codec/pdu.h"
#include "codec_builders.h"
#include "codec_samples.h"

#include <stdexcept>

namespace codectest {
namespace {

using Bytes = std::vector<uint8_t>;

template <class Record>
struct Codec {
  int (*encode)(pdu_buffer*, const Record*);
  std::function<int(pdu_buffer*, Record*)> decode = nullptr;  // none: the local device only sends it
  void (*release)(Record*) = nullptr;
};

template <class Record>
Bytes encode_bytes(const std::string& name, const Record& record, int (*encode)(pdu_buffer*, const Record*))
{
  pdu_buffer buffer;
  if (encode(&buffer, &record) != 0) {
    pdu_buffer_free(&buffer);
    throw std::runtime_error("sample does not encode: " + name);
  }
  Bytes out(buffer.data, buffer.data + buffer.pos);
  pdu_buffer_free(&buffer);
  return out;
}

// The record is handed over and released once its octets are taken.
template <class Record>
Sample make(std::string name, PduKind kind, uint8_t service, Record record, Codec<Record> codec)
{
  Bytes data = encode_bytes(name, record, codec.encode);
  Sample sample{std::move(name), kind, service, std::move(data)};
  if (codec.release)
    codec.release(&record);
  if (codec.decode) {
    sample.reencode = [codec](const Bytes& in, Bytes* out) {
      Record back{};
      pdu_buffer buffer = pdu_buffer_view(in.data(), uint32_t(in.size()));
      int result = codec.decode(&buffer, &back);
      if (result == 0 && buffer.pos != buffer.size)
        result = -100;
      if (result == 0) {
        pdu_buffer again;
        result = codec.encode(&again, &back);
        out->assign(again.data, again.data + again.pos);
        pdu_buffer_free(&again);
      }
      if (codec.release)
        codec.release(&back);
      return result;
    };
  }
  return sample;
}

const Codec<AcknowledgeAlarmRequest> kAcknowledgeAlarm{pdu_encode_acknowledge_alarm_request,
                                                        pdu_decode_acknowledge_alarm_request,
                                                        pdu_free_acknowledge_alarm_request};
const Codec<CovNotificationRequest> kCovNotification{pdu_encode_confirmed_cov_notification_request,
                                                     pdu_decode_cov_notification_request,
                                                     pdu_free_cov_notification_request};
const Codec<CovNotificationRequest> kUnconfirmedCovNotification{pdu_encode_unconfirmed_cov_notification_request,
                                                                pdu_decode_cov_notification_request,
                                                                pdu_free_cov_notification_request};
const Codec<EventNotificationRequest> kEventNotification{pdu_encode_event_notification_request,
                                                         pdu_decode_event_notification_request,
                                                         pdu_free_event_notification_request};
const Codec<GetEnrollmentSummaryRequest> kEnrollmentSummary{pdu_encode_get_enrollment_summary_request,
                                                            pdu_decode_get_enrollment_summary_request,
                                                            pdu_free_get_enrollment_summary_request};
const Codec<SubscribeCovRequest> kSubscribeCov{pdu_encode_subscribe_cov_request, pdu_decode_subscribe_cov_request};
const Codec<ListElementRequest> kListElement{pdu_encode_list_element_request, pdu_decode_list_element_request,
                                             pdu_free_list_element_request};
const Codec<CreateObjectRequest> kCreateObject{pdu_encode_create_object_request, pdu_decode_create_object_request,
                                               pdu_free_create_object_request};
const Codec<BACnetObjectId> kDeleteObject{pdu_encode_object_identifier, pdu_decode_delete_object_request};
const Codec<ReadPropertyConditionalRequest> kReadConditional{pdu_encode_read_property_conditional_request, nullptr,
                                                             pdu_free_read_property_conditional_request};
const Codec<WritePropertyMultipleRequest> kWriteMultiple{pdu_encode_write_property_multiple_request,
                                                         pdu_decode_write_property_multiple_request,
                                                         pdu_free_write_property_multiple_request};
const Codec<DeviceCommunicationControlRequest> kCommunicationControl{
    pdu_encode_device_communication_control_request, pdu_decode_device_communication_control_request,
    pdu_free_device_communication_control_request};
const Codec<PrivateTransferRequest> kPrivateTransfer{pdu_encode_private_transfer_request, pdu_decode_private_transfer,
                                                     pdu_free_private_transfer};
const Codec<TextMessageRequest> kTextMessage{pdu_encode_text_message_request, pdu_decode_text_message_request,
                                             pdu_free_text_message_request};
const Codec<ReinitializeDeviceRequest> kReinitialize{pdu_encode_reinitialize_device_request,
                                                     pdu_decode_reinitialize_device_request,
                                                     pdu_free_reinitialize_device_request};
const Codec<AuthenticateRequest> kAuthenticate{pdu_encode_authenticate_request, nullptr, pdu_free_authenticate_request};
const Codec<RequestKeyRequest> kRequestKey{pdu_encode_request_key_request, nullptr, pdu_free_request_key_request};
const Codec<ReadRangeRequest> kReadRange{pdu_encode_read_range_request, pdu_decode_read_range_request};
const Codec<GetEventInformationRequest> kEventInformation{pdu_encode_get_event_information_request,
                                                          pdu_decode_get_event_information_request};
const Codec<BACnetDateTime> kTimeSynchronization{pdu_encode_time_synchronization_request,
                                                 pdu_decode_time_synchronization_request};

const Codec<GetAlarmSummaryAck> kAlarmSummaryAck{pdu_encode_get_alarm_summary_ack, pdu_decode_get_alarm_summary_ack,
                                                 pdu_free_get_alarm_summary_ack};
const Codec<GetEnrollmentSummaryAck> kEnrollmentSummaryAck{pdu_encode_get_enrollment_summary_ack,
                                                           pdu_decode_get_enrollment_summary_ack,
                                                           pdu_free_get_enrollment_summary_ack};
const Codec<BACnetObjectId> kCreateObjectAck{pdu_encode_object_identifier, pdu_decode_create_object_ack};
const Codec<ReadPropertyConditionalAck> kReadConditionalAck{pdu_encode_read_property_multiple_ack,
                                                            pdu_decode_read_property_conditional_ack,
                                                            pdu_free_read_property_multiple_ack};
// The local device never answers an Authenticate: the acknowledgement is written here.
int encode_authenticate_ack(pdu_buffer* buffer, const AuthenticateAck* ack)
{
  return pdu_write_unsigned(buffer, -1, ack->modified_random);
}
const Codec<AuthenticateAck> kAuthenticateAck{encode_authenticate_ack, pdu_decode_authenticate_ack};
const Codec<ReadRangeAck> kReadRangeAck{pdu_encode_read_range_ack, pdu_decode_read_range_ack, pdu_free_read_range_ack};
const Codec<GetEventInformationAck> kEventInformationAck{pdu_encode_get_event_information_ack,
                                                         pdu_decode_get_event_information_ack,
                                                         pdu_free_get_event_information_ack};
const Codec<ReadPropertyAck> kReadPropertyAck{pdu_encode_read_property_ack, pdu_decode_read_property_ack,
                                              pdu_free_read_property_ack};

// The error decoder needs the choice of the failed request first.
Codec<ErrorParameters> error_codec(uint8_t choice)
{
  return {pdu_encode_error,
          [choice](pdu_buffer* buffer, ErrorParameters* parameters) {
            parameters->service_choice = choice;
            return pdu_decode_error(buffer, parameters);
          },
          pdu_free_error};
}

const BACnetDateTime kMorning = datetime_of(124, 5, 10, 5, 8, 30);
const BACnetDateTime kEvening = datetime_of(124, 5, 10, 5, 18, 0);

BACnetDeviceObjectPropertyReference reference_of(uint32_t type, uint32_t instance, uint32_t property,
                                                 BACnetObjectId device = {999, 0})
{
  return BACnetDeviceObjectPropertyReference{{type, instance}, property, -1, device};
}

EventNotificationRequest event_notification(uint32_t event_type, BACnetValue parameters)
{
  EventNotificationRequest r;
  r.process_id = 1;
  r.device = {8, 1234};
  r.object = {0, 1};
  r.timestamp = stamp_datetime(kMorning);
  r.notification_class = 7;
  r.priority = 100;
  r.event_type = event_type;
  r.notify_type = 0;  // alarm
  r.ack_required = true;
  r.from_state = 0;
  r.to_state = 3;
  r.parameters = parameters;
  return r;
}

template <class Fill>
BACnetValue notification(uint32_t choice, Fill fill)
{
  return v_record<BACnetNotificationParameters>([&](BACnetNotificationParameters& p) {
    p.choice = choice;
    p.status_flags = bits_of({0, 0, 0, 0});
    fill(p);
  });
}

void add_notifications(std::vector<Sample>& out)
{
  auto add = [&](const char* name, uint32_t event_type, BACnetValue parameters) {
    out.push_back(make(name, PduKind::Confirmed, SERVICE_CONFIRMED_EVENT_NOTIFICATION,
                       event_notification(event_type, parameters), kEventNotification));
  };
  add("event-notification-bitstring", 0,
      notification(0, [](BACnetNotificationParameters& p) { p.bits = bits_of({1, 0}); }));
  add("event-notification-state", 1, notification(1, [](BACnetNotificationParameters& p) { p.new_state = {1, 1}; }));
  add("event-notification-bits-changed", 2, notification(2, [](BACnetNotificationParameters& p) {
        p.changed_choice = 0;
        p.bits = bits_of({0, 1, 1});
      }));
  add("event-notification-value-changed", 2, notification(2, [](BACnetNotificationParameters& p) {
        p.changed_choice = 1;
        p.changed_value = 1.5f;
      }));
  add("event-notification-command-failure", 3, notification(3, [](BACnetNotificationParameters& p) {
        p.command_value = v_enum(1);
        p.feedback_value = v_enum(0);
      }));
  add("event-notification-floating-limit", 4, notification(4, [](BACnetNotificationParameters& p) {
        p.reals[0] = 23.5f;
        p.reals[1] = 21.0f;
        p.reals[2] = 2.0f;
      }));
  add("event-notification-out-of-range", 5, notification(5, [](BACnetNotificationParameters& p) {
        p.reals[0] = 31.5f;
        p.reals[1] = 0.5f;
        p.reals[2] = 30.0f;
      }));
  add("event-notification-complex", 6, notification(6, [](BACnetNotificationParameters& p) {
        p.property_values = v_list(TAG_PROPERTY_VALUE_LIST, {v_property_value(85, v_real(21.5f)),
                                                             v_property_value(103, v_enum(0))});
      }));
  add("event-notification-buffer-ready", 10, notification(10, [](BACnetNotificationParameters& p) {
        p.buffer_property = reference_of(20, 1, 131, {8, 1234});
        p.previous_notification = 10;
        p.current_notification = 20;
      }));

  EventNotificationRequest acknowledgment = event_notification(5, v_null());
  acknowledgment.notify_type = NOTIFY_ACK_NOTIFICATION;
  acknowledgment.message = v_text("Grenzwert");
  out.push_back(make("event-notification-ack", PduKind::Confirmed, SERVICE_CONFIRMED_EVENT_NOTIFICATION,
                     acknowledgment, kEventNotification));
  EventNotificationRequest unconfirmed =
      event_notification(1, notification(1, [](BACnetNotificationParameters& p) { p.new_state = {0, 1}; }));
  unconfirmed.timestamp = stamp_sequence(12);
  unconfirmed.ack_required = false;
  unconfirmed.notify_type = 1;  // event
  out.push_back(make("unconfirmed-event-notification", PduKind::Unconfirmed, SERVICE_UNCONFIRMED_EVENT_NOTIFICATION,
                     unconfirmed, kEventNotification));
}

CovNotificationRequest cov_notification()
{
  CovNotificationRequest r;
  r.process_id = 1;
  r.device = {8, 1234};
  r.object = {0, 1};
  r.time_remaining = 60;
  r.values = v_list(TAG_PROPERTY_VALUE_LIST,
                    {v_property_value(85, v_real(21.5f)), v_property_value(111, v_bits({0, 0, 0, 0}))});
  return r;
}

EventSummaryEntry* event_summary(BACnetValue& value)
{
  value = v_record<EventSummaryEntry>([](EventSummaryEntry& e) {
    e.object = {0, 1};
    e.event_state = 3;
    e.acked_transitions = bits_of({0, 1, 1});
    e.timestamps = v_list(TAG_TIMESTAMP_LIST,
                          {v_record<BACnetTimeStamp>([](BACnetTimeStamp& s) { s = stamp_datetime(kMorning); }),
                           v_record<BACnetTimeStamp>([](BACnetTimeStamp& s) { s = stamp_sequence(0); }),
                           v_record<BACnetTimeStamp>([](BACnetTimeStamp& s) { s = stamp_time(18, 0, 0, 0); })});
    e.notify_type = 0;
    e.event_enable = bits_of({1, 1, 1});
    e.priorities = v_list(TAG_UNSIGNED_LIST, {v_unsigned(100), v_unsigned(200), v_unsigned(250)});
  });
  return value_record<EventSummaryEntry>(&value);
}

BACnetLogRecord log_record(uint8_t minute, float value)
{
  BACnetLogRecord r{};
  r.timestamp = datetime_of(124, 5, 10, 5, 10, minute);
  r.choice = 2;
  r.datum.real = value;
  r.status_flags = bits_of({0, 0, 0, 0});
  return r;
}

}  // namespace

std::vector<Sample> service_samples()
{
  std::vector<Sample> out;

  // ---- Alarm and event services
  AcknowledgeAlarmRequest acknowledge;
  acknowledge.process_id = 1;
  acknowledge.event_object = {0, 1};
  acknowledge.event_state = 3;
  acknowledge.timestamp = stamp_datetime(kMorning);
  acknowledge.source = v_text("Bediener");
  acknowledge.ack_timestamp = stamp_sequence(7);
  out.push_back(make("acknowledge-alarm", PduKind::Confirmed, SERVICE_ACKNOWLEDGE_ALARM, acknowledge, kAcknowledgeAlarm));
  add_notifications(out);
  out.push_back({"get-alarm-summary", PduKind::Confirmed, SERVICE_GET_ALARM_SUMMARY, {}});

  GetEnrollmentSummaryRequest enrollment;
  enrollment.acknowledgment_filter = 1;
  enrollment.enrollment_filter = {1, {0, {8, 5}, {}}, 3};
  enrollment.event_state_filter = 1;
  enrollment.event_type_filter = 5;
  enrollment.min_priority = 1;
  enrollment.max_priority = 100;
  enrollment.notification_class = 7;
  out.push_back(make("get-enrollment-summary", PduKind::Confirmed, SERVICE_GET_ENROLLMENT_SUMMARY, enrollment,
                     kEnrollmentSummary));
  GetEnrollmentSummaryRequest only_filter;
  only_filter.acknowledgment_filter = 2;
  out.push_back(make("get-enrollment-summary-unfiltered", PduKind::Confirmed, SERVICE_GET_ENROLLMENT_SUMMARY,
                     only_filter, kEnrollmentSummary));
  out.push_back(make("get-event-information", PduKind::Confirmed, SERVICE_GET_EVENT_INFORMATION,
                     GetEventInformationRequest{{0, 1}}, kEventInformation));
  out.push_back(make("get-event-information-first", PduKind::Confirmed, SERVICE_GET_EVENT_INFORMATION,
                     GetEventInformationRequest{}, kEventInformation));

  GetAlarmSummaryAck alarms;
  alarms.summaries = v_list(TAG_ALARM_SUMMARY_LIST,
                            {v_record<AlarmSummaryEntry>([](AlarmSummaryEntry& e) {
                               e.object = {0, 1};
                               e.alarm_state = 3;
                               e.acked_transitions = bits_of({0, 1, 1});
                             }),
                             v_record<AlarmSummaryEntry>([](AlarmSummaryEntry& e) {
                               e.object = {3, 2};
                               e.alarm_state = 2;
                               e.acked_transitions = bits_of({1, 1, 1});
                             })});
  out.push_back(make("get-alarm-summary-ack", PduKind::ComplexAck, SERVICE_GET_ALARM_SUMMARY, alarms, kAlarmSummaryAck));
  GetEnrollmentSummaryAck enrollments;
  enrollments.summaries = v_list(TAG_ENROLLMENT_SUMMARY_LIST,
                                 {v_record<EnrollmentSummaryEntry>([](EnrollmentSummaryEntry& e) {
                                    e = {{0, 1}, 5, 3, 100, 7};
                                  }),
                                  v_record<EnrollmentSummaryEntry>([](EnrollmentSummaryEntry& e) {
                                    e = {{19, 2}, 1, 0, 200, 8};
                                  })});
  out.push_back(make("get-enrollment-summary-ack", PduKind::ComplexAck, SERVICE_GET_ENROLLMENT_SUMMARY, enrollments,
                     kEnrollmentSummaryAck));
  GetEventInformationAck events;
  event_summary(events.summaries);
  out.push_back(make("get-event-information-ack", PduKind::ComplexAck, SERVICE_GET_EVENT_INFORMATION, events,
                     kEventInformationAck));

  // ---- COV
  out.push_back(make("subscribe-cov", PduKind::Confirmed, SERVICE_SUBSCRIBE_COV, SubscribeCovRequest{1, {0, 1}, true, 60},
                     kSubscribeCov));
  out.push_back(make("subscribe-cov-cancel", PduKind::Confirmed, SERVICE_SUBSCRIBE_COV,
                     SubscribeCovRequest{1, {0, 1}, false, -1}, kSubscribeCov));
  out.push_back(make("confirmed-cov-notification", PduKind::Confirmed, SERVICE_CONFIRMED_COV_NOTIFICATION,
                     cov_notification(), kCovNotification));
  out.push_back(make("unconfirmed-cov-notification", PduKind::Unconfirmed, SERVICE_UNCONFIRMED_COV_NOTIFICATION,
                     cov_notification(), kUnconfirmedCovNotification));

  // ---- Objects and lists
  ListElementRequest add;
  add.object = {8, 1234};
  add.property = 76;
  add.elements = v_any({v_object(10, 6), v_object(10, 7)});
  out.push_back(make("add-list-element", PduKind::Confirmed, SERVICE_ADD_LIST_ELEMENT, add, kListElement));
  ListElementRequest remove;
  remove.object = {8, 1234};
  remove.property = 76;
  remove.elements = v_object(10, 6);
  out.push_back(make("remove-list-element", PduKind::Confirmed, SERVICE_REMOVE_LIST_ELEMENT, remove, kListElement));

  CreateObjectRequest create;
  create.choice = 0;
  create.object_type = 10;
  create.initial_values = v_list(TAG_PROPERTY_VALUE_LIST,
                                 {v_property_value(77, v_text("Datei 6")), v_property_value(43, v_text("BIN"))});
  out.push_back(make("create-object-by-type", PduKind::Confirmed, SERVICE_CREATE_OBJECT, create, kCreateObject));
  CreateObjectRequest create_id;
  create_id.choice = 1;
  create_id.object = {10, 6};
  out.push_back(make("create-object-by-identifier", PduKind::Confirmed, SERVICE_CREATE_OBJECT, create_id, kCreateObject));
  out.push_back(make("create-object-ack", PduKind::ComplexAck, SERVICE_CREATE_OBJECT, BACnetObjectId{10, 6}, kCreateObjectAck));
  out.push_back(make("delete-object", PduKind::Confirmed, SERVICE_DELETE_OBJECT, BACnetObjectId{10, 6}, kDeleteObject));

  ReadPropertyConditionalRequest conditional;
  conditional.selection_logic = 0;
  conditional.criteria = v_list(TAG_SELECTION_CRITERIA_LIST,
                                {v_record<PropertyCondition>([](PropertyCondition& c) {
                                   c.property = 85;
                                   c.relation = 3;  // greater-than
                                   c.comparison = v_real(20.0f);
                                 }),
                                 v_record<PropertyCondition>([](PropertyCondition& c) {
                                   c.property = 36;
                                   c.relation = 0;  // equal
                                   c.comparison = v_enum(3);
                                 })});
  BACnetPropertyReference name{77, -1}, value{85, -1};
  inline_list_add(&conditional.references, &name);
  inline_list_add(&conditional.references, &value);
  out.push_back(make("read-property-conditional", PduKind::Confirmed, SERVICE_READ_PROPERTY_CONDITIONAL, conditional,
                     kReadConditional));
  ReadPropertyConditionalAck conditional_ack;
  ReadAccessResult result{};
  result.object = {0, 1};
  ReadAccessResultElement present{};
  present.property = 85;
  present.array_index = -1;
  present.value = v_real(23.5f);
  inline_list_add(&result.results, &present);
  inline_list_add(&conditional_ack.results, &result);
  out.push_back(make("read-property-conditional-ack", PduKind::ComplexAck, SERVICE_READ_PROPERTY_CONDITIONAL,
                     conditional_ack, kReadConditionalAck));

  WritePropertyMultipleRequest write_multiple;
  write_multiple.specifications = v_list(
      TAG_WRITE_ACCESS_SPECIFICATION_LIST,
      {v_record<WriteAccessSpecification>([](WriteAccessSpecification& w) {
         w.object = {2, 3};
         w.properties = v_property_value(85, v_real(21.5f), -1, 8);
       }),
       v_record<WriteAccessSpecification>([](WriteAccessSpecification& w) {
         w.object = {8, 1234};
         w.properties = v_list(TAG_PROPERTY_VALUE_LIST,
                               {v_property_value(77, v_text("Raum 1")), v_property_value(28, v_text("Flur"))});
       })});
  out.push_back(make("write-property-multiple", PduKind::Confirmed, SERVICE_WRITE_PROPERTY_MULTIPLE, write_multiple,
                     kWriteMultiple));

  ReadRangeRequest by_position{{20, 1}, 131, -1, RANGE_BY_POSITION, 1, {}, {}, 10};
  out.push_back(make("read-range-position", PduKind::Confirmed, SERVICE_READ_RANGE, by_position, kReadRange));
  ReadRangeRequest by_sequence{{20, 1}, 131, -1, RANGE_BY_SEQUENCE, 5, {}, {}, -3};
  out.push_back(make("read-range-sequence", PduKind::Confirmed, SERVICE_READ_RANGE, by_sequence, kReadRange));
  ReadRangeRequest by_time{{20, 1}, 131, -1, RANGE_BY_TIME, 0, kMorning, {}, 4};
  out.push_back(make("read-range-time", PduKind::Confirmed, SERVICE_READ_RANGE, by_time, kReadRange));
  ReadRangeRequest by_time_tag4{{20, 1}, 131, -1, RANGE_BY_TIME_TAG4, 0, kMorning, {}, 4};
  out.push_back(make("read-range-time-tag4", PduKind::Confirmed, SERVICE_READ_RANGE, by_time_tag4, kReadRange));
  ReadRangeRequest time_range{{20, 1}, 131, -1, RANGE_TIME_RANGE, 0, kMorning, kEvening, 0};
  out.push_back(make("read-range-time-range", PduKind::Confirmed, SERVICE_READ_RANGE, time_range, kReadRange));
  ReadRangeRequest all_items{{20, 1}, 131, -1, RANGE_NONE, 0, {}, {}, 0};
  out.push_back(make("read-range-all", PduKind::Confirmed, SERVICE_READ_RANGE, all_items, kReadRange));
  ReadRangeAck range_ack;
  range_ack.object = {20, 1};
  range_ack.property = 131;
  range_ack.result_flags = {1, 0, 1};
  range_ack.item_count = 2;
  range_ack.items = v_list(TAG_LOG_BUFFER, {v_record<BACnetLogRecord>([](BACnetLogRecord& r) { r = log_record(0, 21.5f); }),
                                            v_record<BACnetLogRecord>([](BACnetLogRecord& r) { r = log_record(15, 22.0f); })});
  range_ack.first_sequence = 5;
  out.push_back(make("read-range-ack", PduKind::ComplexAck, SERVICE_READ_RANGE, range_ack, kReadRangeAck));

  // ---- Device management and messages
  DeviceCommunicationControlRequest disable;
  disable.duration = 5;
  disable.enable_disable = 1;
  disable.password = v_text("KELDOR");
  out.push_back(make("device-communication-control", PduKind::Confirmed, SERVICE_DEVICE_COMMUNICATION_CONTROL, disable,
                     kCommunicationControl));
  DeviceCommunicationControlRequest enable;
  out.push_back(make("device-communication-control-plain", PduKind::Confirmed, SERVICE_DEVICE_COMMUNICATION_CONTROL,
                     enable, kCommunicationControl));
  ReinitializeDeviceRequest warmstart;
  warmstart.state = 1;
  warmstart.password = v_text("KELDOR");
  out.push_back(make("reinitialize-device", PduKind::Confirmed, SERVICE_REINITIALIZE_DEVICE, warmstart, kReinitialize));

  PrivateTransferRequest transfer;
  transfer.vendor_id = 260;
  transfer.service_number = 1;
  transfer.parameters = v_any({v_unsigned(5), v_text("x")});
  out.push_back(make("confirmed-private-transfer", PduKind::Confirmed, SERVICE_CONFIRMED_PRIVATE_TRANSFER, transfer,
                     kPrivateTransfer));
  PrivateTransferRequest unconfirmed_transfer;
  unconfirmed_transfer.vendor_id = 260;
  unconfirmed_transfer.service_number = 2;
  unconfirmed_transfer.parameters = v_octets({0xDE, 0xAD});
  out.push_back(make("unconfirmed-private-transfer", PduKind::Unconfirmed, SERVICE_UNCONFIRMED_PRIVATE_TRANSFER,
                     unconfirmed_transfer, kPrivateTransfer));
  PrivateTransferAck transfer_ack;
  transfer_ack.vendor_id = 260;
  transfer_ack.service_number = 1;
  transfer_ack.parameters = v_real(1.25f);
  out.push_back(make("confirmed-private-transfer-ack", PduKind::ComplexAck, SERVICE_CONFIRMED_PRIVATE_TRANSFER,
                     transfer_ack, kPrivateTransfer));

  TextMessageRequest numeric;
  numeric.source = {8, 1234};
  numeric.class_choice = MESSAGE_CLASS_NUMERIC;
  numeric.message_class = v_unsigned(5);
  numeric.message = v_text("Hallo");
  out.push_back(make("confirmed-text-message", PduKind::Confirmed, SERVICE_CONFIRMED_TEXT_MESSAGE, numeric, kTextMessage));
  TextMessageRequest text_class;
  text_class.source = {8, 1234};
  text_class.class_choice = MESSAGE_CLASS_TEXT;
  text_class.message_class = v_text("Info");
  text_class.priority = 1;
  text_class.message = v_text("Filter tauschen");
  out.push_back(make("unconfirmed-text-message", PduKind::Unconfirmed, SERVICE_UNCONFIRMED_TEXT_MESSAGE, text_class,
                     kTextMessage));
  TextMessageRequest no_class;
  no_class.source = {8, 1234};
  no_class.message = v_text("Ohne Klasse");
  out.push_back(make("confirmed-text-message-no-class", PduKind::Confirmed, SERVICE_CONFIRMED_TEXT_MESSAGE, no_class,
                     kTextMessage));

  AuthenticateRequest authenticate;
  authenticate.pseudo_random = 12345;
  authenticate.expected_invoke_id = 7;
  authenticate.operator_name = v_text("admin");
  authenticate.operator_password = v_text("KELDOR");
  out.push_back(make("authenticate", PduKind::Confirmed, SERVICE_AUTHENTICATE, authenticate, kAuthenticate));
  out.push_back(make("authenticate-ack", PduKind::ComplexAck, SERVICE_AUTHENTICATE, AuthenticateAck{12346}, kAuthenticateAck));
  RequestKeyRequest key;
  key.requesting_device = {8, 1234};
  key.requesting_address = address_of(1, {0x0A, 0x6F, 0x00, 0x01, 0xBA, 0xC0});
  key.remote_device = {8, 5};
  key.remote_address = address_of(2, {0x05});
  out.push_back(make("request-key", PduKind::Confirmed, SERVICE_REQUEST_KEY, key, kRequestKey));

  out.push_back(make("time-synchronization", PduKind::Unconfirmed, SERVICE_TIME_SYNCHRONIZATION, kMorning,
                     kTimeSynchronization));
  out.push_back(make("utc-time-synchronization", PduKind::Unconfirmed, SERVICE_UTC_TIME_SYNCHRONIZATION, kEvening,
                     kTimeSynchronization));

  // ---- Error forms
  ErrorParameters change_list{SERVICE_ADD_LIST_ELEMENT, {2, 37}};
  change_list.first_failed_element = 2;
  out.push_back(make("error-add-list-element", PduKind::Error, SERVICE_ADD_LIST_ELEMENT, change_list,
                     error_codec(SERVICE_ADD_LIST_ELEMENT)));
  ErrorParameters create_error{SERVICE_CREATE_OBJECT, {1, 36}};
  create_error.first_failed_element = 1;
  out.push_back(make("error-create-object", PduKind::Error, SERVICE_CREATE_OBJECT, create_error,
                     error_codec(SERVICE_CREATE_OBJECT)));
  ErrorParameters wpm_error{SERVICE_WRITE_PROPERTY_MULTIPLE, {2, 40}};
  wpm_error.failed_write = {{2, 3}, 85, -1};
  out.push_back(make("error-write-property-multiple", PduKind::Error, SERVICE_WRITE_PROPERTY_MULTIPLE, wpm_error,
                     error_codec(SERVICE_WRITE_PROPERTY_MULTIPLE)));
  ErrorParameters transfer_error{SERVICE_CONFIRMED_PRIVATE_TRANSFER, {5, 0}};
  transfer_error.vendor_id = 260;
  transfer_error.service_number = 1;
  transfer_error.parameters = v_unsigned(9);
  out.push_back(make("error-private-transfer", PduKind::Error, SERVICE_CONFIRMED_PRIVATE_TRANSFER, transfer_error,
                     error_codec(SERVICE_CONFIRMED_PRIVATE_TRANSFER)));
  ErrorParameters vt_error{SERVICE_VT_CLOSE, {6, 0}};
  vt_error.vt_sessions = {3, 4};
  out.push_back(make("error-vt-close", PduKind::Error, SERVICE_VT_CLOSE, vt_error, error_codec(SERVICE_VT_CLOSE)));
  out.push_back(make("error-get-event-information", PduKind::Error, SERVICE_GET_EVENT_INFORMATION,
                     ErrorParameters{SERVICE_GET_EVENT_INFORMATION, {5, 0}}, error_codec(SERVICE_GET_EVENT_INFORMATION)));
  out.push_back(make("error-subscribe-cov", PduKind::Error, SERVICE_SUBSCRIBE_COV,
                     ErrorParameters{SERVICE_SUBSCRIBE_COV, {5, 43}}, error_codec(SERVICE_SUBSCRIBE_COV)));
  return out;
}

// ---- Datatypes in ReadProperty acknowledgements --------------------------------------------

namespace {

Sample property_sample(const std::string& name, BACnetObjectId object, uint32_t property, BACnetValue value)
{
  ReadPropertyAck ack;
  ack.object = object;
  ack.property = property;
  ack.value = value;
  return make("rp-ack-" + name, PduKind::ComplexAck, SERVICE_READ_PROPERTY, ack, kReadPropertyAck);
}

template <class Fill>
BACnetValue event_parameter(uint32_t choice, Fill fill)
{
  return v_record<BACnetEventParameter>([&](BACnetEventParameter& p) {
    p.choice = choice;
    p.time_delay = 5;
    fill(p);
  });
}

BACnetValue destination(BACnetRecipient recipient, uint32_t process)
{
  return v_record<BACnetDestination>([&](BACnetDestination& d) {
    d.valid_days = bits_of({1, 1, 1, 1, 1, 1, 1});
    d.from = {0, 0, 0, 0};
    d.to = {23, 59, 59, 99};
    d.recipient = recipient;
    d.process_id = process;
    d.issue_confirmed = 1;
    d.transitions = bits_of({1, 1, 1});
  });
}

}  // namespace

std::vector<Sample> datatype_samples()
{
  const BACnetObjectId device{8, 1234};
  std::vector<Sample> out;
  out.push_back(property_sample(
      "address-binding", device, 30,
      v_list(TAG_ADDRESS_BINDING_LIST, {v_record<BACnetAddressBinding>([](BACnetAddressBinding& b) {
               b.device = {8, 5};
               b.address = address_of(1, {0x0A, 0x6F, 0x00, 0x02, 0xBA, 0xC0});
             })})));
  out.push_back(property_sample("datetime", {10, 1}, 71,
                                v_record<BACnetDateTime>([](BACnetDateTime& d) { d = kMorning; })));
  out.push_back(property_sample(
      "calendar-entries", {6, 1}, 23,
      v_list(TAG_CALENDAR_ENTRY_LIST,
             {v_record<BACnetCalendarEntry>([](BACnetCalendarEntry& e) {
                e.choice = 0;
                e.date = {124, 12, 24, 2};
              }),
              v_record<BACnetCalendarEntry>([](BACnetCalendarEntry& e) {
                e.choice = 1;
                e.range = {{124, 7, 1, 1}, {124, 8, 31, 6}};
              }),
              v_record<BACnetCalendarEntry>([](BACnetCalendarEntry& e) {
                e.choice = 2;
                e.weeknday = {255, 255, 7};
              })})));
  out.push_back(property_sample("date-range", {17, 1}, 32,
                                v_record<BACnetDateRange>([](BACnetDateRange& r) { r = {{124, 1, 1, 1}, {124, 12, 31, 2}}; })));
  out.push_back(property_sample("weeknday", {0, 1}, 85,
                                v_record<BACnetWeekNDay>([](BACnetWeekNDay& w) { w = {5, 1, 255}; })));
  out.push_back(property_sample(
      "weekly-schedule", {17, 1}, 123,
      v_list(TAG_DAILY_SCHEDULE_LIST,
             {v_record<BACnetDailySchedule>([](BACnetDailySchedule& s) {
                s.day_schedule = v_list(TAG_TIME_VALUE_LIST,
                                        {v_record<BACnetTimeValue>([](BACnetTimeValue& t) {
                                           t.time = {8, 0, 0, 0};
                                           t.value = v_enum(1);
                                         }),
                                         v_record<BACnetTimeValue>([](BACnetTimeValue& t) {
                                           t.time = {17, 0, 0, 0};
                                           t.value = v_enum(0);
                                         })});
              }),
              v_record<BACnetDailySchedule>([](BACnetDailySchedule& s) { s.day_schedule = v_list(TAG_TIME_VALUE_LIST, {}); })})));
  out.push_back(property_sample(
      "event-time-stamps", {0, 1}, 130,
      v_list(TAG_TIMESTAMP_LIST, {v_record<BACnetTimeStamp>([](BACnetTimeStamp& s) { s = stamp_time(10, 30, 0, 0); }),
                                  v_record<BACnetTimeStamp>([](BACnetTimeStamp& s) { s = stamp_sequence(42); }),
                                  v_record<BACnetTimeStamp>([](BACnetTimeStamp& s) { s = stamp_datetime(kMorning); })})));
  out.push_back(property_sample(
      "action", {7, 1}, 2,
      v_list(TAG_ACTION_LIST_LIST,
             {v_list(TAG_ACTION_COMMAND_LIST, {v_record<BACnetActionCommand>([](BACnetActionCommand& c) {
                       c.device = {8, 1234};
                       c.object = {1, 3};
                       c.property = 85;
                       c.array_index = -1;
                       c.value = v_real(50.0f);
                       c.priority = 8;
                       c.post_delay = 0;
                       c.quit_on_failure = 0;
                       c.write_successful = 1;
                     })})})));
  out.push_back(property_sample("session-keys", device, 55,
                                v_list(TAG_SESSION_KEY_LIST, {v_record<BACnetSessionKey>([](BACnetSessionKey& k) {
                                         k.key = octets_of({1, 2, 3, 4, 5, 6, 7, 8});
                                         k.peer = address_of(1, {0x0A, 0x6F, 0x00, 0x02, 0xBA, 0xC0});
                                       })})));
  out.push_back(property_sample(
      "recipients", device, 116,
      v_list(TAG_RECIPIENT_LIST, {v_record<BACnetRecipient>([](BACnetRecipient& r) {
                                    r.choice = 0;
                                    r.device = {8, 5};
                                  }),
                                  v_record<BACnetRecipient>([](BACnetRecipient& r) {
                                    r.choice = 1;
                                    r.address = address_of(65535, {});
                                  })})));
  out.push_back(property_sample(
      "cov-subscriptions", device, 152,
      v_list(TAG_COV_SUBSCRIPTION_LIST, {v_record<CovSubscription>([](CovSubscription& s) {
               s.recipient.not_empty = 1;
               s.recipient.recipient.choice = 1;
               s.recipient.recipient.address = address_of(1, {0x0A, 0x6F, 0x00, 0x02, 0xBA, 0xC0});
               s.recipient.process_id = 3;
               s.monitored = {{0, 1}, 85, -1};
               s.issue_confirmed = 1;
               s.time_remaining = 300;
             })})));
  out.push_back(property_sample(
      "object-property-references", {17, 1}, 54,
      v_list(TAG_REFERENCE_LIST,
             {v_record<BACnetDeviceObjectPropertyReference>(
                  [](BACnetDeviceObjectPropertyReference& r) { r = reference_of(1, 1, 85); }),
              v_record<BACnetDeviceObjectPropertyReference>(
                  [](BACnetDeviceObjectPropertyReference& r) { r = reference_of(1, 2, 87, {8, 5}); })})));
  out.push_back(property_sample("object-property-reference", {0, 1}, 999 /* read generically */,
                                v_record<BACnetObjectPropertyReference>([](BACnetObjectPropertyReference& r) {
                                  r = {{0, 2}, 87, 8};
                                })));
  out.push_back(property_sample(
      "log-buffer", {20, 1}, 131,
      v_list(TAG_LOG_BUFFER, {v_record<BACnetLogRecord>([](BACnetLogRecord& r) { r = log_record(0, 21.5f); }),
                              v_record<BACnetLogRecord>([](BACnetLogRecord& r) {
                                r = log_record(5, 0);
                                r.choice = 0;
                                r.bits = bits_of({0, 1, 0});
                              }),
                              v_record<BACnetLogRecord>([](BACnetLogRecord& r) {
                                r = log_record(10, 0);
                                r.choice = 4;
                                r.datum.unsigned_value = 17;
                              }),
                              v_record<BACnetLogRecord>([](BACnetLogRecord& r) {
                                r = log_record(20, 0);
                                r.choice = 8;
                                r.error_class = 2;
                                r.error_code = 32;
                              })})));
  out.push_back(property_sample(
      "recipient-list", {15, 1}, 102,
      v_list(TAG_DESTINATION_LIST, {destination(BACnetRecipient{0, {8, 5}, {}}, 1)})));
  out.push_back(property_sample(
      "exception-schedule", {17, 1}, 38,
      v_list(TAG_SPECIAL_EVENT_LIST, {v_record<BACnetSpecialEvent>([](BACnetSpecialEvent& e) {
               e.period_choice = 0;
               e.calendar_entry.choice = 0;
               e.calendar_entry.date = {124, 12, 25, 3};
               e.time_values = v_list(TAG_TIME_VALUE_LIST, {v_record<BACnetTimeValue>([](BACnetTimeValue& t) {
                                        t.time = {0, 0, 0, 0};
                                        t.value = v_enum(0);
                                      })});
               e.priority = 10;
             }),
                                      v_record<BACnetSpecialEvent>([](BACnetSpecialEvent& e) {
                                        e.period_choice = 1;
                                        e.calendar_reference = {6, 1};
                                        e.time_values = v_list(TAG_TIME_VALUE_LIST, {});
                                        e.priority = 16;
                                      })})));
  out.push_back(property_sample(
      "priority-array", {1, 3}, 87,
      v_list(TAG_PRIORITY_ARRAY, {v_record<BACnetPriorityValue>([](BACnetPriorityValue& p) { p.choice = 0; }),
                                  v_record<BACnetPriorityValue>([](BACnetPriorityValue& p) {
                                    p.choice = 1;
                                    p.real = 50.0f;
                                  })})));
  out.push_back(property_sample("client-cov-increment", {1, 3}, 127,
                                v_record<BACnetCOVIncrement>([](BACnetCOVIncrement& c) {
                                  c.choice = 0;
                                  c.real = 0.5f;
                                })));
  out.push_back(property_sample("object-property-value", device, 999 /* read generically */,
                                v_record<BACnetObjectPropertyValue>([](BACnetObjectPropertyValue& v) {
                                  v.object = {0, 1};
                                  v.property = 85;
                                  v.value = v_real(21.5f);
                                  v.priority = 0;
                                })));

  const std::pair<const char*, BACnetValue> event_parameters[] = {
      {"bitstring", event_parameter(0, [](BACnetEventParameter& p) {
         p.bitmask = bits_of({1, 1});
         p.values = v_list(TAG_BIT_STRING_LIST, {v_bits({1, 0}), v_bits({0, 1})});
       })},
      {"state", event_parameter(1, [](BACnetEventParameter& p) {
         p.values = v_list(TAG_PROPERTY_STATES_LIST, {v_record<BACnetPropertyStates>([](BACnetPropertyStates& s) { s = {1, 1}; }),
                                                      v_record<BACnetPropertyStates>([](BACnetPropertyStates& s) { s = {7, 2}; })});
       })},
      {"value-bitmask", event_parameter(2, [](BACnetEventParameter& p) {
         p.increment_choice = 0;
         p.bitmask = bits_of({1, 0, 1});
       })},
      {"value-increment", event_parameter(2, [](BACnetEventParameter& p) {
         p.increment_choice = 1;
         p.increment = 0.5f;
       })},
      {"command-failure", event_parameter(3, [](BACnetEventParameter& p) { p.reference = reference_of(4, 1, 85); })},
      {"floating-limit", event_parameter(4, [](BACnetEventParameter& p) {
         p.reference = reference_of(2, 1, 85);
         p.low_limit = 1.0f;
         p.high_limit = 2.0f;
         p.deadband = 0.5f;
       })},
      {"out-of-range", event_parameter(5, [](BACnetEventParameter& p) {
         p.low_limit = 10.0f;
         p.high_limit = 30.0f;
         p.deadband = 1.0f;
       })},
      {"buffer-ready", event_parameter(10, [](BACnetEventParameter& p) {
         p.notification_threshold = 10;
         p.previous_count = 2;
       })},
  };
  for (const auto& [name, value] : event_parameters)
    out.push_back(property_sample(std::string("event-parameters-") + name, {9, 1}, 83, value));
  return out;
}

}  // namespace codectest
