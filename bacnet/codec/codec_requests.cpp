#include "bacnet/codec/codec_requests.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_property_values.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

using namespace pdu_fields;

namespace {

int read_text(pdu_buffer* buffer, int tag, std::string* text)
{
  const uint8_t* data = nullptr;
  uint32_t length = 0;
  int result = pdu_read_charstring(buffer, tag, &data, &length);
  if (result == 0)
    text->assign(reinterpret_cast<const char*>(data), length);
  return result;
}

int write_text(pdu_buffer* buffer, int tag, const std::string& text)
{
  return pdu_write_charstring(buffer, tag, text.data(), uint32_t(text.size()));
}

int read_octets(pdu_buffer* buffer, std::vector<uint8_t>* data)
{
  const uint8_t* octets = nullptr;
  uint32_t length = 0;
  int result = pdu_read_octets(buffer, -1, &octets, &length);
  if (result == 0)
    data->assign(octets, octets + length);
  return result;
}

}  // namespace

// ---- Who-Is ------------------------------------------------------------------------------

int pdu_encode_who_is_request(pdu_buffer* buffer, const WhoIsRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  if (request->low_limit < 0)
    return 0;
  uint32_t high = request->high_limit >= 0 ? uint32_t(request->high_limit) : PDU_MAX_INSTANCE;
  return encoded(all([&] { return pdu_write_unsigned(buffer, 0, uint32_t(request->low_limit)); },
                     [&] { return pdu_write_unsigned(buffer, 1, high); }));
}

int pdu_decode_who_is_request(pdu_buffer* buffer, WhoIsRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  request->low_limit = -1;
  request->high_limit = -1;
  if (!pdu_next_is_context(buffer, 0))
    return 0;
  uint32_t low = 0;
  int result = pdu_read_unsigned(buffer, 0, &low);
  if (result != 0)
    return result;
  request->low_limit = int32_t(low);
  if (pdu_next_is_context(buffer, 1)) {
    uint32_t high = 0;
    if ((result = pdu_read_unsigned(buffer, 1, &high)) != 0)
      return result;
    request->high_limit = int32_t(high);
  }
  return 0;
}

// ---- I-Am --------------------------------------------------------------------------------

int pdu_encode_iam_request(pdu_buffer* buffer, const IAmRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return write_object(buffer, -1, request->device); },
                     [&] { return pdu_write_unsigned(buffer, -1, request->max_apdu); },
                     [&] { return pdu_write_enumerated(buffer, -1, request->segmentation); },
                     [&] { return pdu_write_unsigned(buffer, -1, request->vendor_id); }));
}

int pdu_decode_iam_request(pdu_buffer* buffer, IAmRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  return all([&] { return read_object(buffer, -1, &request->device); },
             [&] { return pdu_read_unsigned(buffer, -1, &request->max_apdu); },
             [&] { return pdu_read_enumerated(buffer, -1, &request->segmentation); },
             [&] { return pdu_read_unsigned(buffer, -1, &request->vendor_id); });
}

// ---- Who-Has and I-Have ------------------------------------------------------------------

int pdu_encode_who_has_request(pdu_buffer* buffer, const WhoHasRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return pdu_write_unsigned(buffer, 0, request->low_limit); },
                     [&] { return pdu_write_unsigned(buffer, 1, request->high_limit); },
                     [&] {
                       // A Who-Has names its object one way or the other; without either there is
                       // nothing to ask for.
                       if (request->choice == 0)
                         return write_object(buffer, 2, request->object);
                       return request->choice == 1 ? write_text(buffer, 3, request->object_name) : PDU_ENCODE_FAILED;
                     }));
}

int pdu_decode_who_has_request(pdu_buffer* buffer, WhoHasRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  request->low_limit = 0;
  request->high_limit = PDU_MAX_INSTANCE;
  request->choice = -1;
  if (pdu_has_data(buffer) && buffer->data[buffer->pos] <= 0x0F) {
    int result = all([&] { return pdu_read_unsigned(buffer, 0, &request->low_limit); },
                     [&] { return pdu_read_unsigned(buffer, 1, &request->high_limit); });
    if (result != 0)
      return result;
  }
  if (pdu_next_is_context(buffer, 2)) {
    int result = read_object(buffer, 2, &request->object);
    if (result == 0)
      request->choice = 0;
    return result;
  }
  if (pdu_next_is_context(buffer, 3)) {
    int result = read_text(buffer, 3, &request->object_name);
    if (result == 0)
      request->choice = 1;
    return result;
  }
  return 0;
}

int pdu_encode_ihave_request(pdu_buffer* buffer, const IHaveRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return write_object(buffer, -1, request->device); },
                     [&] { return write_object(buffer, -1, request->object); },
                     [&] { return write_text(buffer, -1, request->object_name); }));
}

int pdu_decode_ihave_request(pdu_buffer* buffer, IHaveRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  return all([&] { return read_object(buffer, -1, &request->device); },
             [&] { return read_object(buffer, -1, &request->object); },
             [&] { return read_text(buffer, -1, &request->object_name); });
}

// ---- ReadProperty ------------------------------------------------------------------------

int pdu_encode_read_property_request(pdu_buffer* buffer, const ReadPropertyRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return write_object(buffer, 0, request->object); },
                     [&] { return pdu_write_enumerated(buffer, 1, request->property); },
                     [&] {
                       return request->array_index >= 0 ? pdu_write_unsigned(buffer, 2, uint32_t(request->array_index)) : 0;
                     }));
}

int pdu_decode_read_property_request(pdu_buffer* buffer, ReadPropertyRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  int result = all([&] { return read_object(buffer, 0, &request->object); },
                   [&] { return pdu_read_enumerated(buffer, 1, &request->property); },
                   [&] { return read_index(buffer, 2, &request->array_index); });
  if (result != 0)
    return result;
  // The handler answers octets beyond the last parameter as too many arguments.
  return pdu_has_data(buffer) ? VALUE_BAD_ARGUMENT : 0;
}

// ---- ReadPropertyMultiple ----------------------------------------------------------------

int pdu_encode_read_property_multiple_request(pdu_buffer* buffer, const ReadPropertyMultipleRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  for (uint32_t i = 0; i < request->specifications.count; ++i)
    if (pdu_encode_read_access_specification(buffer, inline_list_get(&request->specifications, i)) != 0)
      return PDU_ENCODE_FAILED;
  return 0;
}

int pdu_decode_read_property_multiple_request(pdu_buffer* buffer, ReadPropertyMultipleRequest* request)
{
  if (!buffer || !request || !pdu_has_data(buffer))
    return PDU_MALFORMED;
  while (pdu_has_data(buffer)) {
    // Every specification starts with its object identifier, [0] of four octets.
    if (!pdu_next_is(buffer, 0x0C))
      return PDU_MALFORMED;
    ReadAccessSpecification* specification = inline_list_add(&request->specifications, nullptr);
    if (!specification)
      return VALUE_NO_MEMORY;
    int result = pdu_decode_read_access_specification(buffer, specification);
    if (result != 0)
      return result;
  }
  return 0;
}

void pdu_free_read_property_multiple_request(ReadPropertyMultipleRequest* request)
{
  if (request)
    inline_list_free(&request->specifications);
}

// ---- WriteProperty -----------------------------------------------------------------------

int pdu_encode_write_property_request(pdu_buffer* buffer, const WritePropertyRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return write_object(buffer, 0, request->object); },
                     [&] { return pdu_write_enumerated(buffer, 1, request->property); },
                     [&] {
                       return request->array_index >= 0 ? pdu_write_unsigned(buffer, 2, uint32_t(request->array_index)) : 0;
                     },
                     [&] { return pdu_encode_constructed_value(buffer, &request->value, 3); },
                     [&] { return request->priority ? pdu_write_unsigned(buffer, 4, request->priority) : 0; }));
}

int pdu_decode_write_property_request(pdu_buffer* buffer, WritePropertyRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  request->priority = 0;
  bool has_priority = false;
  int result = all([&] { return read_object(buffer, 0, &request->object); },
                   [&] { return pdu_read_enumerated(buffer, 1, &request->property); },
                   [&] { return read_index(buffer, 2, &request->array_index); },
                   [&] {
                     return pdu_decode_property_value(buffer, &request->value, 3, request->property, request->array_index);
                   },
                   [&] {
                     has_priority = pdu_next_is_context(buffer, 4);
                     return has_priority ? pdu_read_unsigned(buffer, 4, &request->priority) : 0;
                   });
  // A priority outside 1 to 16 is malformed input like any other.
  if (result == 0 && has_priority && (request->priority < 1 || request->priority > 16))
    return PDU_MALFORMED;
  return result;
}

void pdu_free_write_property_request(WritePropertyRequest* request)
{
  if (request)
    value_free(&request->value);
}

// ---- AtomicReadFile and AtomicWriteFile --------------------------------------------------

int pdu_encode_atomic_read_file_request(pdu_buffer* buffer, const AtomicReadFileRequest* request)
{
  if (!buffer || !request || !valid_access(request->access))
    return PDU_ENCODE_FAILED;
  uint8_t n = access_tag(request->access);
  return encoded(all([&] { return write_object(buffer, -1, request->file); },
                     [&] { return pdu_write_opening_tag(buffer, n); },
                     [&] { return pdu_write_signed(buffer, -1, request->start); },
                     [&] { return pdu_write_unsigned(buffer, -1, request->count); },
                     [&] { return pdu_write_closing_tag(buffer, n); }));
}

int pdu_decode_atomic_read_file_request(pdu_buffer* buffer, AtomicReadFileRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  return all([&] { return read_object(buffer, -1, &request->file); },
             [&] { return read_access(buffer, &request->access); },
             [&] { return pdu_read_signed(buffer, -1, &request->start); },
             [&] { return pdu_read_unsigned(buffer, -1, &request->count); },
             [&] { return pdu_decode_closing_tag(buffer, access_tag(request->access)); });
}

int pdu_encode_atomic_write_file_request(pdu_buffer* buffer, const AtomicWriteFileRequest* request)
{
  if (!buffer || !request || !valid_access(request->access) || request->data.size() >= UINT32_MAX)
    return PDU_ENCODE_FAILED;
  uint8_t n = access_tag(request->access);
  bool record = request->access == FILE_ACCESS_RECORD;
  return encoded(all([&] { return write_object(buffer, -1, request->file); },
                     [&] { return pdu_write_opening_tag(buffer, n); },
                     [&] { return pdu_write_signed(buffer, -1, request->start); },
                     [&] { return record ? pdu_write_unsigned(buffer, -1, request->record_count) : 0; },
                     [&] { return pdu_write_octets(buffer, -1, request->data.data(), uint32_t(request->data.size())); },
                     [&] { return pdu_write_closing_tag(buffer, n); }));
}

int pdu_decode_atomic_write_file_request(pdu_buffer* buffer, AtomicWriteFileRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  return all([&] { return read_object(buffer, -1, &request->file); },
             [&] { return read_access(buffer, &request->access); },
             [&] { return pdu_read_signed(buffer, -1, &request->start); },
             [&] {
               return request->access == FILE_ACCESS_RECORD ? pdu_read_unsigned(buffer, -1, &request->record_count) : 0;
             },
             [&] { return read_octets(buffer, &request->data); },
             [&] { return pdu_decode_closing_tag(buffer, access_tag(request->access)); });
}
