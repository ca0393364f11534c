// Property values, priority values, property states, COV increments, selection criteria,
// object property values and action commands on the wire.
#include "bacnet/codec/codec_constructed.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_property_values.h"
#include "bacnet/codec/codec_records.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

using namespace pdu_fields;

// ---- Property values ---------------------------------------------------------------------

int pdu_encode_property_value(pdu_buffer* b, const BACnetPropertyValue* r) { return write_record(b, *r); }

int pdu_decode_property_value_field(pdu_buffer* buffer, BACnetPropertyValue* property_value)
{
  property_value->priority = 0;
  bool has_priority = false;
  int result = all([&] { return pdu_read_enumerated(buffer, 0, &property_value->property); },
                   [&] { return read_index(buffer, 1, &property_value->array_index); },
                   [&] {
                     return pdu_decode_property_value(buffer, &property_value->value, 2, property_value->property,
                                                      property_value->array_index);
                   },
                   [&] {
                     has_priority = pdu_next_is_context(buffer, 3);
                     return has_priority ? pdu_read_unsigned(buffer, 3, &property_value->priority) : 0;
                   });
  // A priority outside 1 to 16 is malformed input like any other.
  if (result == 0 && has_priority && (property_value->priority < 1 || property_value->priority > 16))
    return PDU_MALFORMED;
  return result;
}

int pdu_encode_priority_value(pdu_buffer* buffer, const BACnetPriorityValue* priority_value)
{
  switch (priority_value->choice) {
    case 0: return encoded(pdu_write_null(buffer, -1));
    case 1: return encoded(pdu_write_real(buffer, -1, priority_value->real));
    case 2: return encoded(pdu_write_enumerated(buffer, -1, priority_value->enumerated));
    case 3: return encoded(pdu_write_unsigned(buffer, -1, priority_value->unsigned_value));
    case 4: return encoded(pdu_encode_constructed_value(buffer, &priority_value->value, 0));
    default: return PDU_ENCODE_FAILED;
  }
}

int pdu_decode_priority_value(pdu_buffer* buffer, BACnetPriorityValue* priority_value)
{
  if (!pdu_has_data(buffer))
    return PDU_MALFORMED;
  uint8_t first = buffer->data[buffer->pos];
  if (!pdu_is_context(first)) {
    switch (pdu_tag_number(first)) {
      case PDU_NULL: {
        int result = pdu_read_null(buffer, -1);
        if (result == 0)
          priority_value->choice = 0;
        return result;
      }
      case PDU_REAL: {
        int result = pdu_read_real(buffer, -1, &priority_value->real);
        if (result == 0)
          priority_value->choice = 1;
        return result;
      }
      case PDU_ENUMERATED: {
        int result = pdu_read_enumerated(buffer, -1, &priority_value->enumerated);
        if (result == 0)
          priority_value->choice = 2;
        return result;
      }
      case PDU_UNSIGNED: {
        int result = pdu_read_unsigned(buffer, -1, &priority_value->unsigned_value);
        if (result == 0)
          priority_value->choice = 3;
        return result;
      }
      default:
        break;
    }
  }
  int result = pdu_decode_property_value(buffer, &priority_value->value, 0, PROP_PRESENT_VALUE, -1);
  if (result == 0)
    priority_value->choice = 4;
  return result;
}

int pdu_encode_property_states(pdu_buffer* buffer, const BACnetPropertyStates* states)
{
  if (states->choice == 0)
    return encoded(pdu_write_boolean(buffer, 0, states->value != 0));
  if (states->choice <= 10)
    return encoded(pdu_write_enumerated(buffer, int(states->choice), states->value));
  if (states->choice == 11)
    return encoded(pdu_write_unsigned(buffer, 11, states->value));
  return PDU_ENCODE_FAILED;
}

int pdu_decode_property_states(pdu_buffer* buffer, BACnetPropertyStates* states)
{
  PduElement element;
  if (pdu_peek_element(buffer, &element) != 0 || !element.context || element.tag_number > 11)
    return PDU_MALFORMED;
  int result;
  if (element.tag_number == 0) {
    bool flag = false;
    result = pdu_read_boolean(buffer, 0, &flag);
    states->value = flag ? 1 : 0;
  } else if (element.tag_number == 11) {
    result = pdu_read_unsigned(buffer, 11, &states->value);
  } else {
    result = pdu_read_enumerated(buffer, element.tag_number, &states->value);
  }
  if (result == 0)
    states->choice = element.tag_number;
  return result;
}

int pdu_encode_client_cov(pdu_buffer* buffer, const BACnetCOVIncrement* increment)
{
  if (increment->choice == 0)
    return encoded(pdu_write_real(buffer, -1, increment->real));
  if (increment->choice == 1)
    return encoded(pdu_write_null(buffer, -1));
  return PDU_ENCODE_FAILED;
}

int pdu_decode_client_cov(pdu_buffer* buffer, BACnetCOVIncrement* increment)
{
  if (pdu_next_is(buffer, 0x00)) {
    buffer->pos++;
    increment->choice = 1;
    return 0;
  }
  int result = pdu_read_real(buffer, -1, &increment->real);
  if (result == 0)
    increment->choice = 0;
  return result;
}

int pdu_encode_selection_criterion(pdu_buffer* b, const PropertyCondition* r) { return write_record(b, *r); }

int pdu_encode_object_property_value(pdu_buffer* b, const BACnetObjectPropertyValue* r) { return write_record(b, *r); }

// ---- Action commands ---------------------------------------------------------------------

// Absent fields stay out: no device (object type 999), no priority, no post delay.
int pdu_encode_action_command(pdu_buffer* b, const BACnetActionCommand* r) { return write_record(b, *r); }
int pdu_decode_action_command(pdu_buffer* b, BACnetActionCommand* r) { return read_record(b, *r); }

int pdu_decode_action_list(pdu_buffer* buffer, BACnetValue* list)
{
  auto command = [&](BACnetValue* element) {
    int result = value_init(element, TAG_ACTION_COMMAND);
    return result ? result : decode_into<BACnetActionCommand, pdu_decode_action_command>(buffer, element);
  };
  return enclosed_read(buffer, 0, [&] { return read_list_until(buffer, 0, list, TAG_ACTION_COMMAND_LIST, command); });
}
