#include "bacnet/codec/codec_errors.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_property_values.h"

using namespace pdu_fields;

namespace {

// Choices whose error is not the plain pair.
struct FormOfChoice {
  uint8_t service_choice;
  PduErrorForm form;
};

constexpr FormOfChoice kForms[] = {
    {8, PduErrorForm::ChangeList},  // AddListElement
    {9, PduErrorForm::ChangeList},  // RemoveListElement
    {10, PduErrorForm::ChangeList},  // CreateObject
    {16, PduErrorForm::WritePropertyMultiple},
    {18, PduErrorForm::PrivateTransfer},
    {22, PduErrorForm::VtClose},
};

using Encoder = int (*)(pdu_buffer*, const ErrorParameters*);
using Decoder = int (*)(pdu_buffer*, ErrorParameters*);

int encode_plain(pdu_buffer* buffer, const ErrorParameters* parameters)
{
  return pdu_encode_bacnet_error(buffer, &parameters->error);
}

int decode_plain(pdu_buffer* buffer, ErrorParameters* parameters)
{
  return pdu_decode_bacnet_error(buffer, &parameters->error);
}

struct FormCodec {
  Encoder encode;
  Decoder decode;
};

// Indexed by PduErrorForm.
constexpr FormCodec kCodecs[] = {
    {encode_plain, decode_plain},
    {pdu_encode_change_list_error, pdu_decode_change_list_error},
    {pdu_encode_write_property_multiple_error, pdu_decode_write_property_multiple_error},
    {pdu_encode_private_transfer_error, pdu_decode_private_transfer_error},
    {pdu_encode_vtclose_error, pdu_decode_vtclose_error},
};

int write_error_in_0(pdu_buffer* buffer, const ErrorParameters* parameters)
{
  return enclosed_write(buffer, 0, [&] { return pdu_encode_bacnet_error(buffer, &parameters->error); });
}

int read_error_in_0(pdu_buffer* buffer, ErrorParameters* parameters)
{
  return enclosed_read(buffer, 0, [&] { return pdu_decode_bacnet_error(buffer, &parameters->error); });
}

}  // namespace

void pdu_free_error(ErrorParameters* parameters)
{
  if (!parameters)
    return;
  value_free(&parameters->parameters);
  parameters->vt_sessions.clear();
}

PduErrorForm pdu_error_form(uint8_t service_choice)
{
  for (const FormOfChoice& entry : kForms)
    if (entry.service_choice == service_choice)
      return entry.form;
  return PduErrorForm::Plain;
}

int pdu_encode_error(pdu_buffer* buffer, const ErrorParameters* parameters)
{
  if (!buffer || !parameters)
    return PDU_ENCODE_FAILED;
  return encoded(kCodecs[size_t(pdu_error_form(parameters->service_choice))].encode(buffer, parameters));
}

int pdu_decode_error(pdu_buffer* buffer, ErrorParameters* parameters)
{
  if (!buffer || !parameters)
    return PDU_MALFORMED;
  return kCodecs[size_t(pdu_error_form(parameters->service_choice))].decode(buffer, parameters);
}

// ---- AddListElement, RemoveListElement and CreateObject ----------------------------------

int pdu_encode_change_list_error(pdu_buffer* buffer, const ErrorParameters* parameters)
{
  return encoded(all([&] { return write_error_in_0(buffer, parameters); },
                     [&] { return pdu_write_unsigned(buffer, 1, parameters->first_failed_element); }));
}

int pdu_decode_change_list_error(pdu_buffer* buffer, ErrorParameters* parameters)
{
  return all([&] { return read_error_in_0(buffer, parameters); },
             [&] { return pdu_read_unsigned(buffer, 1, &parameters->first_failed_element); });
}

// ---- WritePropertyMultiple ---------------------------------------------------------------

int pdu_encode_write_property_multiple_error(pdu_buffer* buffer, const ErrorParameters* parameters)
{
  return encoded(all([&] { return write_error_in_0(buffer, parameters); },
                     [&] {
                       return enclosed_write(buffer, 1, [&] {
                         return pdu_encode_object_property_reference(buffer, &parameters->failed_write);
                       });
                     }));
}

int pdu_decode_write_property_multiple_error(pdu_buffer* buffer, ErrorParameters* parameters)
{
  return all([&] { return read_error_in_0(buffer, parameters); },
             [&] {
               return enclosed_read(buffer, 1, [&] {
                 return pdu_decode_object_property_reference(buffer, &parameters->failed_write);
               });
             });
}

// ---- ConfirmedPrivateTransfer ------------------------------------------------------------

int pdu_encode_private_transfer_error(pdu_buffer* buffer, const ErrorParameters* parameters)
{
  return encoded(all([&] { return write_error_in_0(buffer, parameters); },
                     [&] { return pdu_write_unsigned(buffer, 1, parameters->vendor_id); },
                     [&] { return pdu_write_unsigned(buffer, 2, parameters->service_number); },
                     [&] { return pdu_encode_constructed_value(buffer, &parameters->parameters, 3); }));
}

int pdu_decode_private_transfer_error(pdu_buffer* buffer, ErrorParameters* parameters)
{
  return all([&] { return read_error_in_0(buffer, parameters); },
             [&] { return pdu_read_unsigned(buffer, 1, &parameters->vendor_id); },
             [&] { return pdu_read_unsigned(buffer, 2, &parameters->service_number); },
             // Property 0 has no decoder of its own: the content is read generically.
             [&] { return pdu_decode_property_value(buffer, &parameters->parameters, 3, 0, -1); });
}

// ---- VT-Close ----------------------------------------------------------------------------

int pdu_encode_vtclose_error(pdu_buffer* buffer, const ErrorParameters* parameters)
{
  return encoded(all([&] { return write_error_in_0(buffer, parameters); },
                     [&] {
                       return enclosed_write(buffer, 1, [&] {
                         for (uint32_t session : parameters->vt_sessions)
                           if (pdu_write_unsigned(buffer, -1, session) != 0)
                             return PDU_ENCODE_FAILED;
                         return 0;
                       });
                     }));
}

int pdu_decode_vtclose_error(pdu_buffer* buffer, ErrorParameters* parameters)
{
  parameters->vt_sessions.clear();
  int result = read_error_in_0(buffer, parameters);
  if (result != 0 || !pdu_next_is(buffer, pdu_opening_tag(1)))
    return result;
  return enclosed_read(buffer, 1, [&] {
    while (!pdu_next_is(buffer, pdu_closing_tag(1))) {
      uint32_t session = 0;
      if (int status = pdu_read_unsigned(buffer, -1, &session); status != 0)
        return status;
      parameters->vt_sessions.push_back(session);
    }
    return 0;
  });
}
