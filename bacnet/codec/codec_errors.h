// Error PDU parameters of a failed confirmed request: the plain error class and code, and
// the richer forms of the services that report more (list elements and CreateObject, the
// first failed write of WritePropertyMultiple, private transfer, VT-Close). Encoder and
// decoder of each form side by side. Any thread; no state. Must not: read outside the
// buffer, or answer a choice with an empty parameter list.
#pragma once

#include "bacnet/codec/codec_constructed.h"

#include <vector>

// One record for every form; the service choice says which fields count. The private
// transfer parameters are owned by the record: release with pdu_free_error.
struct ErrorParameters {
  ErrorParameters(uint8_t choice = 0, BACnetError plain = {}) : service_choice(choice), error(plain) {}
  uint8_t service_choice = 0;
  BACnetError error;
  uint32_t first_failed_element = 0;  // AddListElement, RemoveListElement, CreateObject
  BACnetObjectPropertyReference failed_write{{999, 0}, 0, -1};  // WritePropertyMultiple
  uint32_t vendor_id = 0;  // ConfirmedPrivateTransfer
  uint32_t service_number = 0;
  BACnetValue parameters{};
  std::vector<uint32_t> vt_sessions;  // VT-Close
};
void pdu_free_error(ErrorParameters* parameters);

// The form a service choice's error takes.
enum class PduErrorForm : uint8_t { Plain, ChangeList, WritePropertyMultiple, PrivateTransfer, VtClose };
PduErrorForm pdu_error_form(uint8_t service_choice);

// By the record's service choice; every choice has a form (choices beyond the known
// services carry the plain class and code).
int pdu_encode_error(pdu_buffer* buffer, const ErrorParameters* parameters);
int pdu_decode_error(pdu_buffer* buffer, ErrorParameters* parameters);

// [0]{ Error }, [1] Unsigned first failed element number.
int pdu_encode_change_list_error(pdu_buffer* buffer, const ErrorParameters* parameters);
int pdu_decode_change_list_error(pdu_buffer* buffer, ErrorParameters* parameters);
// [0]{ Error }, [1]{ BACnetObjectPropertyReference of the first failed write }.
int pdu_encode_write_property_multiple_error(pdu_buffer* buffer, const ErrorParameters* parameters);
int pdu_decode_write_property_multiple_error(pdu_buffer* buffer, ErrorParameters* parameters);
// [0]{ Error }, [1] vendor, [2] service number, [3]{ parameters } (always written, required
// when read; its content is read without knowing its datatype).
int pdu_encode_private_transfer_error(pdu_buffer* buffer, const ErrorParameters* parameters);
int pdu_decode_private_transfer_error(pdu_buffer* buffer, ErrorParameters* parameters);
// [0]{ Error }, [1]{ the VT session identifiers, application-tagged } ([1] optional when read).
int pdu_encode_vtclose_error(pdu_buffer* buffer, const ErrorParameters* parameters);
int pdu_decode_vtclose_error(pdu_buffer* buffer, ErrorParameters* parameters);
