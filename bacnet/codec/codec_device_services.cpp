#include "bacnet/codec/codec_device_services.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_property_values.h"

using namespace pdu_fields;

// ---- DeviceCommunicationControl ----------------------------------------------------------

int pdu_encode_device_communication_control_request(pdu_buffer* buffer,
                                                    const DeviceCommunicationControlRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return request->duration >= 0 ? pdu_write_unsigned(buffer, 0, uint32_t(request->duration)) : 0; },
                     [&] { return pdu_write_enumerated(buffer, 1, request->enable_disable); },
                     [&] { return write_optional_text(buffer, 2, request->password); }));
}

int pdu_decode_device_communication_control_request(pdu_buffer* buffer, DeviceCommunicationControlRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  uint32_t duration = 0;
  value_free(&request->password);
  return all(
      [&] {
        if (!pdu_has_data(buffer) || buffer->data[buffer->pos] >= 0x10)
          return 0;
        int result = pdu_read_unsigned(buffer, 0, &duration);
        if (result == 0)
          request->duration = int32_t(duration);
        return result;
      },
      [&] { return pdu_read_enumerated(buffer, 1, &request->enable_disable); },
      [&] { return read_optional_text(buffer, 2, &request->password); });
}

void pdu_free_device_communication_control_request(DeviceCommunicationControlRequest* request)
{
  if (request)
    value_free(&request->password);
}

// ---- ReinitializeDevice ------------------------------------------------------------------

int pdu_encode_reinitialize_device_request(pdu_buffer* buffer, const ReinitializeDeviceRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return pdu_write_enumerated(buffer, 0, request->state); },
                     [&] { return write_optional_text(buffer, 1, request->password); }));
}

int pdu_decode_reinitialize_device_request(pdu_buffer* buffer, ReinitializeDeviceRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  value_free(&request->password);
  return all([&] { return pdu_read_enumerated(buffer, 0, &request->state); },
             [&] { return read_optional_text(buffer, 1, &request->password); });
}

void pdu_free_reinitialize_device_request(ReinitializeDeviceRequest* request)
{
  if (request)
    value_free(&request->password);
}

// ---- Private transfer --------------------------------------------------------------------

int pdu_encode_private_transfer_request(pdu_buffer* buffer, const PrivateTransferRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return pdu_write_unsigned(buffer, 0, request->vendor_id); },
                     [&] { return pdu_write_unsigned(buffer, 1, request->service_number); },
                     [&] { return pdu_encode_constructed_value(buffer, &request->parameters, 2); }));
}

int pdu_decode_private_transfer(pdu_buffer* buffer, PrivateTransferRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  return all([&] { return pdu_read_unsigned(buffer, 0, &request->vendor_id); },
             [&] { return pdu_read_unsigned(buffer, 1, &request->service_number); },
             [&] {
               if (!pdu_has_data(buffer) || pdu_tag_number(buffer->data[buffer->pos]) != 2)
                 return 0;
               // Property 0 has no decoder of its own: the content is read generically.
               return pdu_decode_property_value(buffer, &request->parameters, 2, 0, -1);
             });
}

void pdu_free_private_transfer(PrivateTransferRequest* request)
{
  if (request)
    value_free(&request->parameters);
}

// ---- Text messages -----------------------------------------------------------------------

namespace {

// The class value must be of the datatype its choice names.
bool class_fits(const TextMessageRequest* request)
{
  switch (request->class_choice) {
    case MESSAGE_CLASS_NONE: return true;
    case MESSAGE_CLASS_NUMERIC: return request->message_class.tag == TAG_UNSIGNED;
    case MESSAGE_CLASS_TEXT: return is_text(request->message_class);
    default: return false;
  }
}

}  // namespace

int pdu_encode_text_message_request(pdu_buffer* buffer, const TextMessageRequest* request)
{
  if (!buffer || !request || !is_text(request->message) || !class_fits(request))
    return PDU_ENCODE_FAILED;
  return encoded(all(
      [&] { return write_object(buffer, 0, request->source); },
      [&] {
        if (request->class_choice == MESSAGE_CLASS_NONE)
          return 0;
        return enclosed_write(buffer, 1, [&] {
          return pdu_encode_value(buffer, &request->message_class, request->class_choice);
        });
      },
      [&] { return pdu_write_enumerated(buffer, 2, request->priority); },
      [&] { return pdu_encode_value(buffer, &request->message, 3); }));
}

int pdu_decode_text_message_request(pdu_buffer* buffer, TextMessageRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  request->class_choice = MESSAGE_CLASS_NONE;
  value_free(&request->message_class);
  return all(
      [&] { return read_object(buffer, 0, &request->source); },
      [&] {
        if (!pdu_next_is(buffer, pdu_opening_tag(1)))
          return 0;
        return enclosed_read(buffer, 1, [&] {
          if (pdu_next_is_context(buffer, 0)) {
            request->class_choice = MESSAGE_CLASS_NUMERIC;
            return pdu_decode_context_value(buffer, &request->message_class, TAG_UNSIGNED, 0);
          }
          if (pdu_next_is_context(buffer, 1)) {
            request->class_choice = MESSAGE_CLASS_TEXT;
            return read_text_value(buffer, 1, &request->message_class);
          }
          return 0;
        });
      },
      [&] { return pdu_read_enumerated(buffer, 2, &request->priority); },
      [&] { return read_text_value(buffer, 3, &request->message); });
}

void pdu_free_text_message_request(TextMessageRequest* request)
{
  if (!request)
    return;
  value_free(&request->message_class);
  value_free(&request->message);
}

// ---- Authenticate ------------------------------------------------------------------------

int pdu_encode_authenticate_request(pdu_buffer* buffer, const AuthenticateRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return pdu_write_unsigned(buffer, 0, request->pseudo_random); },
                     [&] { return pdu_write_unsigned(buffer, 1, request->expected_invoke_id); },
                     [&] { return write_optional_text(buffer, 2, request->operator_name); },
                     [&] { return write_optional_text(buffer, 3, request->operator_password); },
                     [&] { return pdu_write_boolean(buffer, 4, request->start_enciphered_session); }));
}

void pdu_free_authenticate_request(AuthenticateRequest* request)
{
  if (!request)
    return;
  value_free(&request->operator_name);
  value_free(&request->operator_password);
}

int pdu_decode_authenticate_ack(pdu_buffer* buffer, AuthenticateAck* ack)
{
  if (!buffer || !ack)
    return PDU_MALFORMED;
  return pdu_read_unsigned(buffer, -1, &ack->modified_random);
}

// ---- RequestKey --------------------------------------------------------------------------

int pdu_encode_request_key_request(pdu_buffer* buffer, const RequestKeyRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return write_object(buffer, -1, request->requesting_device); },
                     [&] { return pdu_encode_address(buffer, &request->requesting_address); },
                     [&] { return write_object(buffer, -1, request->remote_device); },
                     [&] { return pdu_encode_address(buffer, &request->remote_address); }));
}

void pdu_free_request_key_request(RequestKeyRequest* request)
{
  if (!request)
    return;
  octetstring_free(&request->requesting_address.mac);
  octetstring_free(&request->remote_address.mac);
}

// ---- Time synchronization ----------------------------------------------------------------

int pdu_encode_time_synchronization_request(pdu_buffer* buffer, const BACnetDateTime* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return pdu_encode_datetime(buffer, request);
}

int pdu_decode_time_synchronization_request(pdu_buffer* buffer, BACnetDateTime* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  return pdu_decode_datetime(buffer, request);
}
