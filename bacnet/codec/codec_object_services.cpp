#include "bacnet/codec/codec_object_services.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_property_values.h"

using namespace pdu_fields;

// ---- AddListElement and RemoveListElement ------------------------------------------------

int pdu_encode_list_element_request(pdu_buffer* buffer, const ListElementRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  const BACnetValue& elements = request->elements;
  return encoded(all([&] { return write_object(buffer, 0, request->object); },
                     [&] { return pdu_write_enumerated(buffer, 1, request->property); },
                     [&] { return write_index(buffer, 2, request->array_index); },
                     [&] {
                       return enclosed_write(buffer, 3, [&] {
                         return elements.tag == TAG_NULL ? 0 : pdu_encode_value(buffer, &elements, -1);
                       });
                     }));
}

int pdu_decode_list_element_request(pdu_buffer* buffer, ListElementRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  return all([&] { return read_object(buffer, 0, &request->object); },
             [&] { return pdu_read_enumerated(buffer, 1, &request->property); },
             [&] { return read_index(buffer, 2, &request->array_index); },
             [&] {
               return pdu_decode_list_elements(buffer, &request->elements, 3, request->property, request->array_index);
             });
}

void pdu_free_list_element_request(ListElementRequest* request)
{
  if (request)
    value_free(&request->elements);
}

// ---- CreateObject and DeleteObject -------------------------------------------------------

int pdu_encode_create_object_request(pdu_buffer* buffer, const CreateObjectRequest* request)
{
  if (!buffer || !request || (request->choice != 0 && request->choice != 1))
    return PDU_ENCODE_FAILED;
  const BACnetValue& values = request->initial_values;
  if (values.tag != TAG_NULL && values.tag != TAG_PROPERTY_VALUE && values.tag != TAG_PROPERTY_VALUE_LIST)
    return PDU_ENCODE_FAILED;
  return encoded(all(
      [&] {
        return enclosed_write(buffer, 0, [&] {
          return request->choice == 0 ? pdu_write_enumerated(buffer, 0, request->object_type)
                                      : write_object(buffer, 1, request->object);
        });
      },
      [&] {
        if (values.tag == TAG_NULL)
          return 0;
        return enclosed_write(buffer, 1, [&] {
          return write_one_or_list(buffer, values, TAG_PROPERTY_VALUE, TAG_PROPERTY_VALUE_LIST);
        });
      }));
}

int pdu_decode_create_object_request(pdu_buffer* buffer, CreateObjectRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  int result = enclosed_read(buffer, 0, [&] {
    if (!pdu_has_data(buffer))
      return PDU_MALFORMED;
    switch (buffer->data[buffer->pos] & 0xF0) {
      case 0x00:
        request->choice = 0;
        return pdu_read_enumerated(buffer, 0, &request->object_type);
      case 0x10:
        request->choice = 1;
        return read_object(buffer, 1, &request->object);
      default:
        return 0;  // no specifier the closing tag could follow
    }
  });
  if (result != 0 || !pdu_has_data(buffer))
    return result;
  value_free(&request->initial_values);
  return enclosed_read(buffer, 1, [&] {
    return collect_until<BACnetPropertyValue>(buffer, pdu_closing_tag(1), &request->initial_values, TAG_PROPERTY_VALUE,
                                              TAG_PROPERTY_VALUE_LIST, pdu_decode_property_value_field);
  });
}

void pdu_free_create_object_request(CreateObjectRequest* request)
{
  if (request)
    value_free(&request->initial_values);
}

int pdu_decode_create_object_ack(pdu_buffer* buffer, BACnetObjectId* object)
{
  if (!buffer || !object)
    return PDU_MALFORMED;
  return read_object(buffer, pdu_next_is_context(buffer, 0) ? 0 : -1, object);
}

int pdu_decode_delete_object_request(pdu_buffer* buffer, BACnetObjectId* object)
{
  if (!buffer || !object)
    return PDU_MALFORMED;
  return read_object(buffer, -1, object);
}

// ---- WritePropertyMultiple ---------------------------------------------------------------

int pdu_encode_write_property_multiple_request(pdu_buffer* buffer, const WritePropertyMultipleRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  const BACnetValue& specifications = request->specifications;
  if (specifications.tag != TAG_WRITE_ACCESS_SPECIFICATION && specifications.tag != TAG_WRITE_ACCESS_SPECIFICATION_LIST)
    return PDU_ENCODE_FAILED;
  return encoded(
      write_one_or_list(buffer, specifications, TAG_WRITE_ACCESS_SPECIFICATION, TAG_WRITE_ACCESS_SPECIFICATION_LIST));
}

int pdu_decode_write_property_multiple_request(pdu_buffer* buffer, WritePropertyMultipleRequest* request)
{
  if (!buffer || !request || !pdu_has_data(buffer))
    return PDU_MALFORMED;
  value_free(&request->specifications);
  int result = 0;
  while (result == 0 && pdu_has_data(buffer)) {
    // Every specification starts with its object identifier, [0] of four octets.
    if (!pdu_next_is(buffer, 0x0C))
      return PDU_MALFORMED;
    result = collect_one<WriteAccessSpecification>(buffer, &request->specifications, TAG_WRITE_ACCESS_SPECIFICATION,
                                                   TAG_WRITE_ACCESS_SPECIFICATION_LIST,
                                                   pdu_decode_write_access_specification);
  }
  return result;
}

void pdu_free_write_property_multiple_request(WritePropertyMultipleRequest* request)
{
  if (request)
    value_free(&request->specifications);
}

// ---- ReadPropertyConditional -------------------------------------------------------------

int pdu_encode_read_property_conditional_request(pdu_buffer* buffer, const ReadPropertyConditionalRequest* request)
{
  if (!buffer || !request)
    return PDU_ENCODE_FAILED;
  const BACnetValue& criteria = request->criteria;
  if (criteria.tag != TAG_NULL && criteria.tag != TAG_PROPERTY_CONDITION && criteria.tag != TAG_SELECTION_CRITERIA_LIST)
    return PDU_ENCODE_FAILED;
  return encoded(all(
      [&] {
        return enclosed_write(buffer, 0, [&] { return pdu_write_enumerated(buffer, 0, request->selection_logic); },
                              [&] {
                                if (criteria.tag == TAG_NULL)
                                  return 0;
                                return enclosed_write(buffer, 1, [&] {
                                  return write_one_or_list(buffer, criteria, TAG_PROPERTY_CONDITION,
                                                           TAG_SELECTION_CRITERIA_LIST);
                                });
                              });
      },
      [&] {
        if (request->references.count == 0)
          return 0;
        return enclosed_write(buffer, 1, [&] {
          for (uint32_t i = 0; i < request->references.count; ++i)
            if (pdu_encode_property_reference(buffer, inline_list_get(&request->references, i)) != 0)
              return PDU_ENCODE_FAILED;
          return 0;
        });
      }));
}

void pdu_free_read_property_conditional_request(ReadPropertyConditionalRequest* request)
{
  if (!request)
    return;
  value_free(&request->criteria);
  inline_list_free(&request->references);
}

int pdu_decode_read_property_conditional_ack(pdu_buffer* buffer, ReadPropertyConditionalAck* ack)
{
  if (!buffer || !ack)
    return PDU_MALFORMED;
  // No object met the conditions: nothing follows the header.
  return pdu_has_data(buffer) ? pdu_decode_read_property_multiple_ack(buffer, ack) : 0;
}

// ---- ReadRange ---------------------------------------------------------------------------

namespace {

// The opening tag of each range kind, indexed by PduReadRange.
constexpr uint8_t kRangeTag[] = {0, 3, 4, 5, 6, 7};
constexpr uint32_t kRangeKinds = sizeof kRangeTag;

int write_datetime(pdu_buffer* buffer, const BACnetDateTime& datetime)
{
  return pdu_encode_datetime(buffer, &datetime);
}

int read_datetime(pdu_buffer* buffer, BACnetDateTime* datetime)
{
  return all([&] { return pdu_read_date(buffer, -1, &datetime->date.year); },
             [&] { return pdu_read_time(buffer, -1, &datetime->time.hour); });
}

int write_range(pdu_buffer* buffer, const ReadRangeRequest* r)
{
  auto count = [&] { return pdu_write_signed(buffer, -1, r->count); };
  auto time = [&] { return write_datetime(buffer, r->time); };
  switch (r->range) {
    case RANGE_BY_POSITION:
    case RANGE_BY_SEQUENCE:
      return all([&] { return pdu_write_unsigned(buffer, -1, r->reference); }, count);
    case RANGE_BY_TIME_TAG4:
    case RANGE_BY_TIME:
      return all(time, count);
    case RANGE_TIME_RANGE:
      return all(time, [&] { return write_datetime(buffer, r->end_time); });
    default:
      return PDU_ENCODE_FAILED;
  }
}

int read_range(pdu_buffer* buffer, ReadRangeRequest* r)
{
  auto count = [&] { return pdu_read_signed(buffer, -1, &r->count); };
  auto time = [&] { return read_datetime(buffer, &r->time); };
  switch (r->range) {
    case RANGE_BY_POSITION:
    case RANGE_BY_SEQUENCE:
      return all([&] { return pdu_read_unsigned(buffer, -1, &r->reference); }, count);
    case RANGE_BY_TIME_TAG4:
    case RANGE_BY_TIME:
      return all(time, count);
    default:
      return all(time, [&] { return read_datetime(buffer, &r->end_time); });
  }
}

}  // namespace

int pdu_encode_read_range_request(pdu_buffer* buffer, const ReadRangeRequest* request)
{
  if (!buffer || !request || request->range >= kRangeKinds)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return write_object(buffer, 0, request->object); },
                     [&] { return pdu_write_enumerated(buffer, 1, request->property); },
                     [&] { return write_index(buffer, 2, request->array_index); },
                     [&] {
                       if (request->range == RANGE_NONE)
                         return 0;
                       return enclosed_write(buffer, kRangeTag[request->range], [&] { return write_range(buffer, request); });
                     }));
}

int pdu_decode_read_range_request(pdu_buffer* buffer, ReadRangeRequest* request)
{
  if (!buffer || !request)
    return PDU_MALFORMED;
  request->range = RANGE_NONE;
  int result = all([&] { return read_object(buffer, 0, &request->object); },
                   [&] { return pdu_read_enumerated(buffer, 1, &request->property); },
                   [&] { return read_index(buffer, 2, &request->array_index); });
  if (result != 0 || !pdu_has_data(buffer))
    return result;
  uint8_t opening = buffer->data[buffer->pos++];
  for (uint32_t kind = RANGE_BY_POSITION; kind < kRangeKinds; ++kind) {
    if (opening == pdu_opening_tag(kRangeTag[kind])) {
      request->range = kind;
      return all([&] { return read_range(buffer, request); },
                 [&] { return pdu_decode_closing_tag(buffer, kRangeTag[kind]); });
    }
  }
  return 0;
}

int pdu_encode_read_range_ack(pdu_buffer* buffer, const ReadRangeAck* ack)
{
  if (!buffer || !ack)
    return PDU_ENCODE_FAILED;
  const std::vector<uint8_t>& flags = ack->result_flags;
  return encoded(all(
      [&] { return write_object(buffer, 0, ack->object); },
      [&] { return pdu_write_enumerated(buffer, 1, ack->property); },
      [&] { return write_index(buffer, 2, ack->array_index); },
      [&] { return pdu_write_bits(buffer, 3, flags.data(), uint32_t(flags.size())); },
      [&] { return pdu_write_unsigned(buffer, 4, ack->item_count); },
      [&] {
        // No items is an empty list, not a NULL item.
        return enclosed_write(buffer, 5, [&] { return ack->items.tag == TAG_NULL ? 0 : pdu_encode_value(buffer, &ack->items, -1); });
      },
      [&] {
        return ack->item_count && ack->first_sequence ? pdu_write_unsigned(buffer, 6, ack->first_sequence) : 0;
      }));
}

int pdu_decode_read_range_ack(pdu_buffer* buffer, ReadRangeAck* ack)
{
  if (!buffer || !ack)
    return PDU_MALFORMED;
  ack->first_sequence = 0;
  BitString flags{};
  int result = all(
      [&] { return read_object(buffer, 0, &ack->object); },
      [&] { return pdu_read_enumerated(buffer, 1, &ack->property); },
      [&] { return read_index(buffer, 2, &ack->array_index); },
      [&] { return read_bits(buffer, 3, &flags); },
      [&] { return pdu_read_unsigned(buffer, 4, &ack->item_count); },
      // The items are read as log records whatever property was asked for.
      [&] { return pdu_decode_property_value(buffer, &ack->items, 5, PROP_LOG_BUFFER, ack->array_index); },
      [&] { return pdu_next_is_context(buffer, 6) ? pdu_read_unsigned(buffer, 6, &ack->first_sequence) : 0; });
  ack->result_flags.assign(flags.bits, flags.bits + flags.count);
  bitstring_free(&flags);
  return result;
}

void pdu_free_read_range_ack(ReadRangeAck* ack)
{
  if (ack)
    value_free(&ack->items);
}
