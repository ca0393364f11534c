// Arbitrary octets through every decoder of the codec: service requests, acknowledgements,
// error forms, property values and the constructed datatypes. The input is an APDU: its
// header picks the decoder (an unknown service choice tries them all of its group). PDU
// type 8, which no peer sends, feeds the property-value decoder with the property
// identifier and array index taken from the header; type 9 feeds the datatype named by the
// second octet (event and notification parameters among them). Whatever decodes is encoded
// again, so the encoders meet odd records too.
#include "bacnet/codec/pdu.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace {

pdu_buffer view(const uint8_t* data, size_t size)
{
  return pdu_buffer_view(data, uint32_t(size));
}

// Decodes the service data with one decoder, re-encodes on success and releases the record.
template <class Record, class Decode, class Encode>
void run(const uint8_t* data, size_t size, Decode decode, Encode encode, void (*release)(Record*) = nullptr)
{
  Record record{};
  pdu_buffer in = view(data, size);
  int result = decode(&in, &record);
  if (in.pos > in.size)
    __builtin_trap();
  if (result == 0) {
    pdu_buffer out;
    encode(&out, &record);
    pdu_buffer_free(&out);
  }
  if (release)
    release(&record);
}

using Runner = void (*)(const uint8_t*, size_t);

void who_is(const uint8_t* d, size_t n) { run<WhoIsRequest>(d, n, pdu_decode_who_is_request, pdu_encode_who_is_request); }
void iam(const uint8_t* d, size_t n) { run<IAmRequest>(d, n, pdu_decode_iam_request, pdu_encode_iam_request); }
void who_has(const uint8_t* d, size_t n) { run<WhoHasRequest>(d, n, pdu_decode_who_has_request, pdu_encode_who_has_request); }
void ihave(const uint8_t* d, size_t n) { run<IHaveRequest>(d, n, pdu_decode_ihave_request, pdu_encode_ihave_request); }
void read_property(const uint8_t* d, size_t n)
{
  run<ReadPropertyRequest>(d, n, pdu_decode_read_property_request, pdu_encode_read_property_request);
}
void read_property_multiple(const uint8_t* d, size_t n)
{
  run<ReadPropertyMultipleRequest>(d, n, pdu_decode_read_property_multiple_request,
                                   pdu_encode_read_property_multiple_request, pdu_free_read_property_multiple_request);
}
void write_property(const uint8_t* d, size_t n)
{
  run<WritePropertyRequest>(d, n, pdu_decode_write_property_request, pdu_encode_write_property_request,
                            pdu_free_write_property_request);
}
void atomic_read_file(const uint8_t* d, size_t n)
{
  run<AtomicReadFileRequest>(d, n, pdu_decode_atomic_read_file_request, pdu_encode_atomic_read_file_request);
}
void atomic_write_file(const uint8_t* d, size_t n)
{
  run<AtomicWriteFileRequest>(d, n, pdu_decode_atomic_write_file_request, pdu_encode_atomic_write_file_request);
}
void read_property_ack(const uint8_t* d, size_t n)
{
  run<ReadPropertyAck>(d, n, pdu_decode_read_property_ack, pdu_encode_read_property_ack, pdu_free_read_property_ack);
}
void read_property_multiple_ack(const uint8_t* d, size_t n)
{
  run<ReadPropertyMultipleAck>(d, n, pdu_decode_read_property_multiple_ack, pdu_encode_read_property_multiple_ack,
                               pdu_free_read_property_multiple_ack);
}
void atomic_read_file_ack(const uint8_t* d, size_t n)
{
  run<AtomicReadFileAck>(d, n, pdu_decode_atomic_read_file_ack, pdu_encode_atomic_read_file_ack);
}
void atomic_write_file_ack(const uint8_t* d, size_t n)
{
  run<AtomicWriteFileAck>(d, n, pdu_decode_atomic_write_file_ack, pdu_encode_atomic_write_file_ack);
}

void acknowledge_alarm(const uint8_t* d, size_t n)
{
  run<AcknowledgeAlarmRequest>(d, n, pdu_decode_acknowledge_alarm_request, pdu_encode_acknowledge_alarm_request,
                               pdu_free_acknowledge_alarm_request);
}
void cov_notification(const uint8_t* d, size_t n)
{
  run<CovNotificationRequest>(d, n, pdu_decode_cov_notification_request, pdu_encode_confirmed_cov_notification_request,
                              pdu_free_cov_notification_request);
}
void event_notification(const uint8_t* d, size_t n)
{
  run<EventNotificationRequest>(d, n, pdu_decode_event_notification_request, pdu_encode_event_notification_request,
                                pdu_free_event_notification_request);
}
void enrollment_summary(const uint8_t* d, size_t n)
{
  run<GetEnrollmentSummaryRequest>(d, n, pdu_decode_get_enrollment_summary_request,
                                   pdu_encode_get_enrollment_summary_request, pdu_free_get_enrollment_summary_request);
}
void subscribe_cov(const uint8_t* d, size_t n)
{
  run<SubscribeCovRequest>(d, n, pdu_decode_subscribe_cov_request, pdu_encode_subscribe_cov_request);
}
void list_element(const uint8_t* d, size_t n)
{
  run<ListElementRequest>(d, n, pdu_decode_list_element_request, pdu_encode_list_element_request,
                          pdu_free_list_element_request);
}
void create_object(const uint8_t* d, size_t n)
{
  run<CreateObjectRequest>(d, n, pdu_decode_create_object_request, pdu_encode_create_object_request,
                           pdu_free_create_object_request);
}
void delete_object(const uint8_t* d, size_t n)
{
  run<BACnetObjectId>(d, n, pdu_decode_delete_object_request, pdu_encode_object_identifier);
}
void write_property_multiple(const uint8_t* d, size_t n)
{
  run<WritePropertyMultipleRequest>(d, n, pdu_decode_write_property_multiple_request,
                                    pdu_encode_write_property_multiple_request, pdu_free_write_property_multiple_request);
}
void communication_control(const uint8_t* d, size_t n)
{
  run<DeviceCommunicationControlRequest>(d, n, pdu_decode_device_communication_control_request,
                                         pdu_encode_device_communication_control_request,
                                         pdu_free_device_communication_control_request);
}
void private_transfer(const uint8_t* d, size_t n)
{
  run<PrivateTransferRequest>(d, n, pdu_decode_private_transfer, pdu_encode_private_transfer_request,
                              pdu_free_private_transfer);
}
void text_message(const uint8_t* d, size_t n)
{
  run<TextMessageRequest>(d, n, pdu_decode_text_message_request, pdu_encode_text_message_request,
                          pdu_free_text_message_request);
}
void reinitialize_device(const uint8_t* d, size_t n)
{
  run<ReinitializeDeviceRequest>(d, n, pdu_decode_reinitialize_device_request, pdu_encode_reinitialize_device_request,
                                 pdu_free_reinitialize_device_request);
}
void read_range(const uint8_t* d, size_t n)
{
  run<ReadRangeRequest>(d, n, pdu_decode_read_range_request, pdu_encode_read_range_request);
}
void event_information(const uint8_t* d, size_t n)
{
  run<GetEventInformationRequest>(d, n, pdu_decode_get_event_information_request,
                                  pdu_encode_get_event_information_request);
}
void time_synchronization(const uint8_t* d, size_t n)
{
  run<BACnetDateTime>(d, n, pdu_decode_time_synchronization_request, pdu_encode_time_synchronization_request);
}
void alarm_summary_ack(const uint8_t* d, size_t n)
{
  run<GetAlarmSummaryAck>(d, n, pdu_decode_get_alarm_summary_ack, pdu_encode_get_alarm_summary_ack,
                          pdu_free_get_alarm_summary_ack);
}
void enrollment_summary_ack(const uint8_t* d, size_t n)
{
  run<GetEnrollmentSummaryAck>(d, n, pdu_decode_get_enrollment_summary_ack, pdu_encode_get_enrollment_summary_ack,
                               pdu_free_get_enrollment_summary_ack);
}
void create_object_ack(const uint8_t* d, size_t n)
{
  run<BACnetObjectId>(d, n, pdu_decode_create_object_ack, pdu_encode_object_identifier);
}
void read_property_conditional_ack(const uint8_t* d, size_t n)
{
  run<ReadPropertyConditionalAck>(d, n, pdu_decode_read_property_conditional_ack,
                                  pdu_encode_read_property_multiple_ack, pdu_free_read_property_multiple_ack);
}
void authenticate_ack(const uint8_t* d, size_t n)
{
  // The local device never answers an Authenticate: the acknowledgement is written here.
  run<AuthenticateAck>(d, n, pdu_decode_authenticate_ack, [](pdu_buffer* out, const AuthenticateAck* ack) {
    return pdu_write_unsigned(out, -1, ack->modified_random);
  });
}
void read_range_ack(const uint8_t* d, size_t n)
{
  run<ReadRangeAck>(d, n, pdu_decode_read_range_ack, pdu_encode_read_range_ack, pdu_free_read_range_ack);
}
void event_information_ack(const uint8_t* d, size_t n)
{
  run<GetEventInformationAck>(d, n, pdu_decode_get_event_information_ack, pdu_encode_get_event_information_ack,
                              pdu_free_get_event_information_ack);
}

struct Route {
  uint8_t service;
  Runner runner;
};

constexpr Route kConfirmed[] = {
    {SERVICE_ACKNOWLEDGE_ALARM, acknowledge_alarm},
    {SERVICE_CONFIRMED_COV_NOTIFICATION, cov_notification},
    {SERVICE_CONFIRMED_EVENT_NOTIFICATION, event_notification},
    {SERVICE_GET_ENROLLMENT_SUMMARY, enrollment_summary},
    {SERVICE_SUBSCRIBE_COV, subscribe_cov},
    {SERVICE_ATOMIC_READ_FILE, atomic_read_file},
    {SERVICE_ATOMIC_WRITE_FILE, atomic_write_file},
    {SERVICE_ADD_LIST_ELEMENT, list_element},
    {SERVICE_REMOVE_LIST_ELEMENT, list_element},
    {SERVICE_CREATE_OBJECT, create_object},
    {SERVICE_DELETE_OBJECT, delete_object},
    {SERVICE_READ_PROPERTY, read_property},
    {SERVICE_READ_PROPERTY_MULTIPLE, read_property_multiple},
    {SERVICE_WRITE_PROPERTY, write_property},
    {SERVICE_WRITE_PROPERTY_MULTIPLE, write_property_multiple},
    {SERVICE_DEVICE_COMMUNICATION_CONTROL, communication_control},
    {SERVICE_CONFIRMED_PRIVATE_TRANSFER, private_transfer},
    {SERVICE_CONFIRMED_TEXT_MESSAGE, text_message},
    {SERVICE_REINITIALIZE_DEVICE, reinitialize_device},
    {SERVICE_READ_RANGE, read_range},
    {SERVICE_GET_EVENT_INFORMATION, event_information},
};
constexpr Route kUnconfirmed[] = {
    {SERVICE_I_AM, iam},
    {SERVICE_I_HAVE, ihave},
    {SERVICE_UNCONFIRMED_COV_NOTIFICATION, cov_notification},
    {SERVICE_UNCONFIRMED_EVENT_NOTIFICATION, event_notification},
    {SERVICE_UNCONFIRMED_PRIVATE_TRANSFER, private_transfer},
    {SERVICE_UNCONFIRMED_TEXT_MESSAGE, text_message},
    {SERVICE_TIME_SYNCHRONIZATION, time_synchronization},
    {SERVICE_WHO_HAS, who_has},
    {SERVICE_WHO_IS, who_is},
    {SERVICE_UTC_TIME_SYNCHRONIZATION, time_synchronization},
};
constexpr Route kAcks[] = {
    {SERVICE_GET_ALARM_SUMMARY, alarm_summary_ack},
    {SERVICE_GET_ENROLLMENT_SUMMARY, enrollment_summary_ack},
    {SERVICE_ATOMIC_READ_FILE, atomic_read_file_ack},
    {SERVICE_ATOMIC_WRITE_FILE, atomic_write_file_ack},
    {SERVICE_CREATE_OBJECT, create_object_ack},
    {SERVICE_READ_PROPERTY, read_property_ack},
    {SERVICE_READ_PROPERTY_CONDITIONAL, read_property_conditional_ack},
    {SERVICE_READ_PROPERTY_MULTIPLE, read_property_multiple_ack},
    {SERVICE_CONFIRMED_PRIVATE_TRANSFER, private_transfer},
    {SERVICE_AUTHENTICATE, authenticate_ack},
    {SERVICE_READ_RANGE, read_range_ack},
    {SERVICE_GET_EVENT_INFORMATION, event_information_ack},
};

template <size_t N>
void dispatch(const Route (&routes)[N], uint8_t service, const uint8_t* d, size_t n)
{
  for (const Route& route : routes) {
    if (route.service == service) {
      route.runner(d, n);
      return;
    }
  }
  // An unknown choice: every decoder of the group gets the octets.
  for (const Route& route : routes)
    route.runner(d, n);
}

void property_value(const uint8_t* data, size_t size)
{
  if (size < 4)
    return;
  uint32_t property = (uint32_t(data[1]) << 8) | data[2];
  int32_t index = int8_t(data[3]);
  OwnedValue value;
  pdu_buffer in = view(data + 4, size - 4);
  if (pdu_decode_property_value(&in, value.get(), data[0] & 0x0F, property, index) == 0) {
    pdu_buffer out;
    pdu_encode_value(&out, value.get(), -1);
    pdu_buffer_free(&out);
  }
}

void error_pdu(uint8_t service, const uint8_t* d, size_t n)
{
  Owned<ErrorParameters, pdu_free_error> parameters(ErrorParameters{service, {}});
  pdu_buffer in = view(d, n);
  if (pdu_decode_error(&in, parameters.get()) == 0) {
    pdu_buffer out;
    pdu_encode_error(&out, parameters.get());
    pdu_buffer_free(&out);
  }
}

// ---- Datatypes by their own decoders ---------------------------------------------------------

// Decodes one datatype into a value of its tag and writes it again.
template <class Record>
void datatype(const uint8_t* d, size_t n, int (*decode)(pdu_buffer*, Record*), int (*encode)(pdu_buffer*, const Record*))
{
  OwnedValue value;
  if (value_init(value.get(), Record::kTag) == 0) {
    pdu_buffer in = view(d, n);
    if (decode(&in, value_record<Record>(value.get())) == 0) {
      pdu_buffer out;
      encode(&out, value_record<Record>(value.get()));
      pdu_buffer_free(&out);
    }
  }
}

// The recipient process has no value of its own: a plain record, released by hand.
void recipient_process(const uint8_t* d, size_t n)
{
  BACnetRecipientProcess process{};
  process.recipient.choice = -1;
  pdu_buffer in = view(d, n);
  if (pdu_decode_recipient_process(&in, &process) == 0) {
    pdu_buffer out;
    pdu_encode_recipient_process(&out, &process);
    pdu_buffer_free(&out);
  }
  recipient_free(&process.recipient);
}

void any_element(const uint8_t* d, size_t n)
{
  OwnedValue value;
  pdu_buffer in = view(d, n);
  if (pdu_decode_any_element(&in, value.get()) == 0) {
    pdu_buffer out;
    pdu_encode_value(&out, value.get(), -1);
    pdu_buffer_free(&out);
  }
}

void action_list(const uint8_t* d, size_t n)
{
  OwnedValue value;
  pdu_buffer in = view(d, n);
  if (pdu_decode_action_list(&in, value.get()) == 0) {
    pdu_buffer out;
    pdu_encode_value(&out, value.get(), -1);
    pdu_buffer_free(&out);
  }
}

constexpr Runner kDatatypes[] = {
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_event_parameter, pdu_encode_event_parameter); },
    [](const uint8_t* d, size_t n) {
      datatype(d, n, pdu_decode_notification_parameters, pdu_encode_notification_parameters);
    },
    recipient_process,
    [](const uint8_t* d, size_t n) {
      datatype(d, n, pdu_decode_write_access_specification, pdu_encode_write_access_specification);
    },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_alarm_summary, pdu_encode_alarm_summary); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_enrollment_summary, pdu_encode_enrollment_summary); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_event_summary, pdu_encode_event_summary); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_action_command, pdu_encode_action_command); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_log_record, pdu_encode_log_record); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_destination, pdu_encode_destination); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_special_event, pdu_encode_special_event); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_calendar_entry, pdu_encode_calendar_entry); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_timestamp, pdu_encode_timestamp); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_recipient, pdu_encode_recipient); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_address_binding, pdu_encode_address_binding); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_priority_value, pdu_encode_priority_value); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_property_states, pdu_encode_property_states); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_client_cov, pdu_encode_client_cov); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_daily_schedule, pdu_encode_daily_schedule); },
    [](const uint8_t* d, size_t n) {
      datatype(d, n, pdu_decode_device_object_property_reference, pdu_encode_device_object_property_reference);
    },
    [](const uint8_t* d, size_t n) {
      datatype(d, n, pdu_decode_object_property_reference, pdu_encode_object_property_reference);
    },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_time_value, pdu_encode_time_value); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_datetime, pdu_encode_datetime); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_address, pdu_encode_address); },
    [](const uint8_t* d, size_t n) {
      datatype(d, n, pdu_decode_read_access_specification, pdu_encode_read_access_specification);
    },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_read_access_result, pdu_encode_read_access_result); },
    [](const uint8_t* d, size_t n) { datatype(d, n, pdu_decode_property_value_field, pdu_encode_property_value); },
    any_element,
    action_list,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1)
    return 0;
  uint8_t type = data[0] >> 4;
  switch (type) {
    case 0:
      if (size >= 4)
        dispatch(kConfirmed, data[3], data + 4, size - 4);
      break;
    case 1:
      if (size >= 2)
        dispatch(kUnconfirmed, data[1], data + 2, size - 2);
      break;
    case 3:
      if (size >= 3)
        dispatch(kAcks, data[2], data + 3, size - 3);
      break;
    case 5:
      if (size >= 3)
        error_pdu(data[2], data + 3, size - 3);
      break;
    case 8:
      property_value(data, size);
      break;
    case 9:
      if (size >= 2)
        kDatatypes[data[1] % std::size(kDatatypes)](data + 2, size - 2);
      break;
    default:
      break;
  }
  return 0;
}
