// Device management and messaging services: DeviceCommunicationControl,
// ReinitializeDevice, private transfer, text messages, Authenticate, RequestKey and time
// synchronization, each request next to its acknowledgement. Any thread; no state. The
// buffer of a decoder holds exactly the service data. Must not: read outside it, or write
// an absent text parameter in place of a present one.
#pragma once

#include "bacnet/codec/codec_requests.h"

// Text parameters of these requests are values: a Character String is written, a NULL (or
// any other datatype) counts as absent and is left out.

// ---- DeviceCommunicationControl (confirmed 17) -------------------------------------------

// The password is owned by the record: release with
// pdu_free_device_communication_control_request.
struct DeviceCommunicationControlRequest {
  int32_t duration = -1;  // minutes; -1 without a limit (left out)
  uint32_t enable_disable = 0;
  BACnetValue password{};
};
int pdu_encode_device_communication_control_request(pdu_buffer* buffer,
                                                    const DeviceCommunicationControlRequest* request);
// An absent duration leaves the field as the caller set it.
int pdu_decode_device_communication_control_request(pdu_buffer* buffer, DeviceCommunicationControlRequest* request);
void pdu_free_device_communication_control_request(DeviceCommunicationControlRequest* request);

// ---- ReinitializeDevice (confirmed 20) ---------------------------------------------------

struct ReinitializeDeviceRequest {
  uint32_t state = 0;
  BACnetValue password{};
};
int pdu_encode_reinitialize_device_request(pdu_buffer* buffer, const ReinitializeDeviceRequest* request);
int pdu_decode_reinitialize_device_request(pdu_buffer* buffer, ReinitializeDeviceRequest* request);
void pdu_free_reinitialize_device_request(ReinitializeDeviceRequest* request);

// ---- ConfirmedPrivateTransfer (18, and its acknowledgement), UnconfirmedPrivateTransfer (4)

// The parameters are owned by the record: release with pdu_free_private_transfer.
struct PrivateTransferRequest {
  uint32_t vendor_id = 0;
  uint32_t service_number = 0;
  BACnetValue parameters{};  // always written inside [2]{ }; read back generically
};
using PrivateTransferAck = PrivateTransferRequest;
int pdu_encode_private_transfer_request(pdu_buffer* buffer, const PrivateTransferRequest* request);
int pdu_decode_private_transfer(pdu_buffer* buffer, PrivateTransferRequest* request);
void pdu_free_private_transfer(PrivateTransferRequest* request);

// ---- ConfirmedTextMessage (19), UnconfirmedTextMessage (unconfirmed 5) --------------------

inline constexpr int32_t MESSAGE_CLASS_NONE = -1;
inline constexpr int32_t MESSAGE_CLASS_NUMERIC = 0;
inline constexpr int32_t MESSAGE_CLASS_TEXT = 1;

// Class and message are owned by the record: release with pdu_free_text_message_request.
struct TextMessageRequest {
  BACnetObjectId source{8, 0};
  int32_t class_choice = MESSAGE_CLASS_NONE;
  BACnetValue message_class{};  // an Unsigned (numeric) or a Character String (text)
  uint32_t priority = 0;        // 0 normal, 1 urgent
  BACnetValue message{};        // a Character String
};
// Without a class choice [1] is left out; a class value of another datatype than its choice
// names, an unknown choice or a message that is no Character String fails.
int pdu_encode_text_message_request(pdu_buffer* buffer, const TextMessageRequest* request);
int pdu_decode_text_message_request(pdu_buffer* buffer, TextMessageRequest* request);
void pdu_free_text_message_request(TextMessageRequest* request);

// ---- Authenticate (confirmed 24; the local device only asks) ------------------------------

struct AuthenticateRequest {
  uint32_t pseudo_random = 0;
  uint32_t expected_invoke_id = 0;
  BACnetValue operator_name{};
  BACnetValue operator_password{};
  bool start_enciphered_session = false;
};
int pdu_encode_authenticate_request(pdu_buffer* buffer, const AuthenticateRequest* request);
void pdu_free_authenticate_request(AuthenticateRequest* request);

struct AuthenticateAck {
  uint32_t modified_random = 0;
};
int pdu_decode_authenticate_ack(pdu_buffer* buffer, AuthenticateAck* ack);

// ---- RequestKey (confirmed 25; the local device only asks) --------------------------------

// The addresses are owned by the record: release with pdu_free_request_key_request.
struct RequestKeyRequest {
  BACnetObjectId requesting_device{8, 0};
  BACnetAddressValue requesting_address{};
  BACnetObjectId remote_device{8, 0};
  BACnetAddressValue remote_address{};
};
int pdu_encode_request_key_request(pdu_buffer* buffer, const RequestKeyRequest* request);
void pdu_free_request_key_request(RequestKeyRequest* request);

// ---- TimeSynchronization (unconfirmed 6), UTCTimeSynchronization (unconfirmed 9) ----------

int pdu_encode_time_synchronization_request(pdu_buffer* buffer, const BACnetDateTime* request);
int pdu_decode_time_synchronization_request(pdu_buffer* buffer, BACnetDateTime* request);
