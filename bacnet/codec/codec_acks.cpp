#include "bacnet/codec/codec_acks.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_property_values.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

using namespace pdu_fields;

// ---- ReadProperty-ACK --------------------------------------------------------------------

int pdu_encode_read_property_ack(pdu_buffer* buffer, const ReadPropertyAck* ack)
{
  if (!buffer || !ack)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return write_object(buffer, 0, ack->object); },
                     [&] { return pdu_write_enumerated(buffer, 1, ack->property); },
                     [&] { return write_index(buffer, 2, ack->array_index); },
                     [&] { return pdu_encode_constructed_value(buffer, &ack->value, 3); }));
}

int pdu_decode_read_property_ack(pdu_buffer* buffer, ReadPropertyAck* ack)
{
  if (!buffer || !ack)
    return PDU_MALFORMED;
  return all([&] { return read_object(buffer, 0, &ack->object); },
             [&] { return pdu_read_enumerated(buffer, 1, &ack->property); },
             [&] { return read_index(buffer, 2, &ack->array_index); },
             [&] { return pdu_decode_property_value(buffer, &ack->value, 3, ack->property, ack->array_index); });
}

void pdu_free_read_property_ack(ReadPropertyAck* ack)
{
  if (ack)
    value_free(&ack->value);
}

// ---- ReadPropertyMultiple-ACK ------------------------------------------------------------

int pdu_encode_read_property_multiple_ack(pdu_buffer* buffer, const ReadPropertyMultipleAck* ack)
{
  if (!buffer || !ack)
    return PDU_ENCODE_FAILED;
  for (uint32_t i = 0; i < ack->results.count; ++i)
    if (pdu_encode_read_access_result(buffer, inline_list_get(&ack->results, i)) != 0)
      return PDU_ENCODE_FAILED;
  return 0;
}

int pdu_decode_read_property_multiple_ack(pdu_buffer* buffer, ReadPropertyMultipleAck* ack)
{
  if (!buffer || !ack || !pdu_has_data(buffer))
    return PDU_MALFORMED;
  while (pdu_has_data(buffer)) {
    if (!pdu_next_is(buffer, 0x0C))
      return PDU_MALFORMED;
    ReadAccessResult* result = inline_list_add(&ack->results, nullptr);
    if (!result)
      return VALUE_BAD_ARGUMENT;
    int status = pdu_decode_read_access_result(buffer, result);
    if (status != 0)
      return status;
  }
  return 0;
}

void pdu_free_read_property_multiple_ack(ReadPropertyMultipleAck* ack)
{
  if (ack)
    inline_list_free(&ack->results);
}

// ---- AtomicReadFile-ACK and AtomicWriteFile-ACK ------------------------------------------

int pdu_encode_atomic_read_file_ack(pdu_buffer* buffer, const AtomicReadFileAck* ack)
{
  if (!buffer || !ack || !valid_access(ack->access) || ack->data.size() >= UINT32_MAX)
    return PDU_ENCODE_FAILED;
  uint8_t n = access_tag(ack->access);
  bool record = ack->access == FILE_ACCESS_RECORD;
  return encoded(all([&] { return pdu_write_boolean(buffer, -1, ack->end_of_file); },
                     [&] { return pdu_write_opening_tag(buffer, n); },
                     [&] { return pdu_write_signed(buffer, -1, ack->start); },
                     [&] { return record ? pdu_write_unsigned(buffer, -1, ack->record_count) : 0; },
                     [&] { return pdu_write_octets(buffer, -1, ack->data.data(), uint32_t(ack->data.size())); },
                     [&] { return pdu_write_closing_tag(buffer, n); }));
}

int pdu_decode_atomic_read_file_ack(pdu_buffer* buffer, AtomicReadFileAck* ack)
{
  if (!buffer || !ack)
    return PDU_MALFORMED;
  const uint8_t* data = nullptr;
  uint32_t length = 0;
  int result = all([&] { return pdu_read_boolean(buffer, -1, &ack->end_of_file); },
                   [&] { return read_access(buffer, &ack->access); },
                   [&] { return pdu_read_signed(buffer, -1, &ack->start); },
                   [&] {
                     return ack->access == FILE_ACCESS_RECORD ? pdu_read_unsigned(buffer, -1, &ack->record_count) : 0;
                   },
                   [&] { return pdu_read_octets(buffer, -1, &data, &length); });
  if (result == 0)
    ack->data.assign(data, data + length);
  return all([&] { return result; }, [&] { return pdu_decode_closing_tag(buffer, access_tag(ack->access)); });
}

int pdu_encode_atomic_write_file_ack(pdu_buffer* buffer, const AtomicWriteFileAck* ack)
{
  if (!buffer || !ack || !valid_access(ack->access))
    return PDU_ENCODE_FAILED;
  return encoded(pdu_write_signed(buffer, access_tag(ack->access), ack->start));
}

int pdu_decode_atomic_write_file_ack(pdu_buffer* buffer, AtomicWriteFileAck* ack)
{
  if (!buffer || !ack || !pdu_has_data(buffer))
    return PDU_MALFORMED;
  uint8_t n = pdu_tag_number(buffer->data[buffer->pos]);
  if (n > 1)
    return PDU_MALFORMED;
  int result = pdu_read_signed(buffer, n, &ack->start);
  if (result == 0)
    ack->access = n == 0 ? FILE_ACCESS_STREAM : FILE_ACCESS_RECORD;
  return result;
}
