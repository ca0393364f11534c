#include "bacnet/codec/codec_events.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_property_values.h"

using namespace pdu_fields;

namespace {

// ---- Shared pieces -----------------------------------------------------------------------

int encode_reference_in(pdu_buffer* buffer, uint8_t n, const BACnetDeviceObjectPropertyReference* reference)
{
  return enclosed_write(buffer, n, [&] { return pdu_encode_device_object_property_reference(buffer, reference); });
}

int decode_reference_in(pdu_buffer* buffer, uint8_t n, BACnetDeviceObjectPropertyReference* reference)
{
  return enclosed_read(buffer, n, [&] { return pdu_decode_device_object_property_reference(buffer, reference); });
}

// ---- Event parameters --------------------------------------------------------------------

constexpr uint32_t kBufferReady = 10;
// Buffer-ready goes out under [7], as the devices this stack serves expect; [10] is read too.
constexpr uint8_t kBufferReadyWritten = 7;

// The bit-string values of change-of-bitstring: one Bit String or a list of them.
int encode_bitstring_values(pdu_buffer* buffer, const BACnetValue& values)
{
  switch (values.tag) {
    case TAG_NULL:
      return 0;
    case TAG_BIT_STRING:
    case TAG_BIT_STRING_LIST:
    case TAG_LIST:
      return pdu_encode_value(buffer, &values, -1);
    default:
      return PDU_ENCODE_FAILED;
  }
}

int decode_bitstring_values(pdu_buffer* buffer, BACnetValue* values)
{
  return read_list_until(buffer, 2, values, TAG_BIT_STRING_LIST, [&](BACnetValue* element) {
    if (!pdu_has_data(buffer) || buffer->data[buffer->pos] >> 4 != PDU_BIT_STRING || pdu_is_context(buffer->data[buffer->pos]))
      return PDU_MALFORMED;
    return pdu_decode_value(buffer, element, -1);
  });
}

int encode_event_body(pdu_buffer* buffer, const BACnetEventParameter* p)
{
  auto delay = [&] { return pdu_write_unsigned(buffer, 0, p->time_delay); };
  switch (p->choice) {
    case 0:
      return all(delay, [&] { return write_bits(buffer, 1, p->bitmask); },
                 [&] { return enclosed_write(buffer, 2, [&] { return encode_bitstring_values(buffer, p->values); }); });
    case 1:
      return all(delay, [&] {
        return enclosed_write(buffer, 1, [&] { return p->values.tag == TAG_NULL ? 0 : pdu_encode_value(buffer, &p->values, -1); });
      });
    case 2:
      return all(delay, [&] {
        return enclosed_write(buffer, 1, [&] {
          if (p->increment_choice == 0)
            return write_bits(buffer, 0, p->bitmask);
          return p->increment_choice == 1 ? pdu_write_real(buffer, 1, p->increment) : PDU_ENCODE_FAILED;
        });
      });
    case 3:
      return all(delay, [&] { return encode_reference_in(buffer, 1, &p->reference); });
    case 4:
      return all(delay, [&] { return encode_reference_in(buffer, 1, &p->reference); },
                 [&] { return pdu_write_real(buffer, 2, p->low_limit); },
                 [&] { return pdu_write_real(buffer, 3, p->high_limit); },
                 [&] { return pdu_write_real(buffer, 4, p->deadband); });
    case 5:
      return all(delay, [&] { return pdu_write_real(buffer, 1, p->low_limit); },
                 [&] { return pdu_write_real(buffer, 2, p->high_limit); },
                 [&] { return pdu_write_real(buffer, 3, p->deadband); });
    case kBufferReady:
      return all([&] { return pdu_write_unsigned(buffer, 0, p->notification_threshold); },
                 [&] { return pdu_write_unsigned(buffer, 1, p->previous_count); });
    default:
      return PDU_ENCODE_FAILED;
  }
}

int decode_property_states_list(pdu_buffer* buffer, BACnetValue* list)
{
  return enclosed_read(buffer, 1, [&] {
    return read_list_until(buffer, 1, list, TAG_PROPERTY_STATES_LIST, [&](BACnetValue* element) {
      int result = value_init(element, TAG_PROPERTY_STATES);
      return result != 0 ? result : decode_record<BACnetPropertyStates>(buffer, element, pdu_decode_property_states);
    });
  });
}

int decode_event_body(pdu_buffer* buffer, uint32_t choice, BACnetEventParameter* p)
{
  auto delay = [&] { return pdu_read_unsigned(buffer, 0, &p->time_delay); };
  auto real = [&](uint8_t tag, float* out) { return [=] { return pdu_read_real(buffer, tag, out); }; };
  switch (choice) {
    case 0:
      return all(delay, [&] { return read_bits(buffer, 1, &p->bitmask); },
                 [&] {
                   // The values stand in [2]{ }; parameters written without them still read.
                   if (!pdu_next_is(buffer, pdu_opening_tag(2)))
                     return 0;
                   return enclosed_read(buffer, 2, [&] { return decode_bitstring_values(buffer, &p->values); });
                 });
    case 1:
      return all(delay, [&] { return decode_property_states_list(buffer, &p->values); });
    case 2:
      return all(delay, [&] {
        return enclosed_read(buffer, 1, [&] {
          if (pdu_next_is_context(buffer, 0)) {
            p->increment_choice = 0;
            return read_bits(buffer, 0, &p->bitmask);
          }
          p->increment_choice = 1;
          return pdu_read_real(buffer, 1, &p->increment);
        });
      });
    case 3:
      return all(delay, [&] { return decode_reference_in(buffer, 1, &p->reference); });
    case 4:
      return all(delay, [&] { return decode_reference_in(buffer, 1, &p->reference); }, real(2, &p->low_limit),
                 real(3, &p->high_limit), real(4, &p->deadband));
    case 5:
      return all(delay, real(1, &p->low_limit), real(2, &p->high_limit), real(3, &p->deadband));
    case kBufferReady:
      return all([&] { return pdu_read_unsigned(buffer, 0, &p->notification_threshold); },
                 [&] { return pdu_read_unsigned(buffer, 1, &p->previous_count); });
    default:
      return 0;
  }
}

// ---- Notification parameters -------------------------------------------------------------

constexpr uint32_t kComplexEvent = 6;

int encode_notification_body(pdu_buffer* buffer, const BACnetNotificationParameters* p)
{
  auto status = [&] { return write_bits(buffer, 1, p->status_flags); };
  auto real = [&](uint8_t tag, float value) { return [=] { return pdu_write_real(buffer, tag, value); }; };
  switch (p->choice) {
    case 0:
      return all([&] { return write_bits(buffer, 0, p->bits); }, status);
    case 1:
      return all([&] { return enclosed_write(buffer, 0, [&] { return pdu_encode_property_states(buffer, &p->new_state); }); },
                 status);
    case 2:
      return all(
          [&] {
            return enclosed_write(buffer, 0, [&] {
              if (p->changed_choice == 0)
                return write_bits(buffer, 0, p->bits);
              return p->changed_choice == 1 ? pdu_write_real(buffer, 1, p->changed_value) : PDU_ENCODE_FAILED;
            });
          },
          status);
    case 3:
      return all([&] { return pdu_encode_constructed_value(buffer, &p->command_value, 0); }, status,
                 [&] { return pdu_encode_constructed_value(buffer, &p->feedback_value, 2); });
    case 4:
    case 5:
      return all(real(0, p->reals[0]), status, real(2, p->reals[1]), real(3, p->reals[2]));
    case kComplexEvent:
      return write_one_or_list(buffer, p->property_values, TAG_PROPERTY_VALUE, TAG_PROPERTY_VALUE_LIST);
    case kBufferReady:
      return all([&] { return encode_reference_in(buffer, 0, &p->buffer_property); },
                 [&] { return pdu_write_unsigned(buffer, 1, p->previous_notification); },
                 [&] { return pdu_write_unsigned(buffer, 2, p->current_notification); });
    default:
      return PDU_ENCODE_FAILED;
  }
}

int decode_notification_body(pdu_buffer* buffer, uint32_t choice, BACnetNotificationParameters* p)
{
  auto status = [&] { return read_bits(buffer, 1, &p->status_flags); };
  auto real = [&](uint8_t tag, float* out) { return [=] { return pdu_read_real(buffer, tag, out); }; };
  // The values a command-failure reports are read as present values.
  auto command_value = [&](uint8_t tag, BACnetValue* value) {
    return [=] { return pdu_decode_property_value(buffer, value, tag, PROP_PRESENT_VALUE, -1); };
  };
  switch (choice) {
    case 0:
      return all([&] { return read_bits(buffer, 0, &p->bits); }, status);
    case 1:
      return all([&] { return enclosed_read(buffer, 0, [&] { return pdu_decode_property_states(buffer, &p->new_state); }); },
                 status);
    case 2:
      return all(
          [&] {
            return enclosed_read(buffer, 0, [&] {
              if (pdu_next_is_context(buffer, 0)) {
                p->changed_choice = 0;
                return read_bits(buffer, 0, &p->bits);
              }
              p->changed_choice = 1;
              return pdu_read_real(buffer, 1, &p->changed_value);
            });
          },
          status);
    case 3:
      return all(command_value(0, &p->command_value), status, command_value(2, &p->feedback_value));
    case 4:
    case 5:
      return all(real(0, &p->reals[0]), status, real(2, &p->reals[1]), real(3, &p->reals[2]));
    case kComplexEvent:
      value_free(&p->property_values);
      return collect_until<BACnetPropertyValue>(buffer, pdu_closing_tag(6), &p->property_values, TAG_PROPERTY_VALUE,
                                                TAG_PROPERTY_VALUE_LIST, pdu_decode_property_value_field);
    case kBufferReady:
      return all([&] { return decode_reference_in(buffer, 0, &p->buffer_property); },
                 [&] { return pdu_read_unsigned(buffer, 1, &p->previous_notification); },
                 [&] { return pdu_read_unsigned(buffer, 2, &p->current_notification); });
    default:
      return 0;
  }
}

bool known_notification(uint32_t choice)
{
  return choice <= kComplexEvent || choice == kBufferReady;
}

}  // namespace

int pdu_encode_event_parameter(pdu_buffer* buffer, const BACnetEventParameter* parameter)
{
  if (!buffer || !parameter || (parameter->choice > 5 && parameter->choice != kBufferReady))
    return PDU_ENCODE_FAILED;
  uint8_t n = parameter->choice == kBufferReady ? kBufferReadyWritten : uint8_t(parameter->choice);
  return encoded(enclosed_write(buffer, n, [&] { return encode_event_body(buffer, parameter); }));
}

int pdu_decode_event_parameter(pdu_buffer* buffer, BACnetEventParameter* parameter)
{
  if (!parameter)
    return PDU_MALFORMED;
  uint8_t opening = 0;
  int result = pdu_read_byte(buffer, &opening);
  if (result != 0)
    return result;
  uint8_t n = pdu_tag_number(opening);
  if (pdu_lvt(opening) != PDU_LVT_OPENING || !pdu_is_context(opening) || (n > 5 && n != kBufferReadyWritten && n != kBufferReady))
    return 0;  // an event type without parameters here: nothing more is read
  uint32_t choice = n > 5 ? kBufferReady : n;
  parameter->choice = choice;
  return all([&] { return decode_event_body(buffer, choice, parameter); },
             [&] { return pdu_decode_closing_tag(buffer, n); });
}

int pdu_encode_notification_parameters(pdu_buffer* buffer, const BACnetNotificationParameters* parameters)
{
  if (!buffer || !parameters || !known_notification(parameters->choice))
    return PDU_ENCODE_FAILED;
  uint8_t n = uint8_t(parameters->choice);
  return encoded(enclosed_write(buffer, n, [&] { return encode_notification_body(buffer, parameters); }));
}

int pdu_decode_notification_parameters(pdu_buffer* buffer, BACnetNotificationParameters* parameters)
{
  if (!parameters)
    return PDU_MALFORMED;
  uint8_t opening = 0;
  int result = pdu_read_byte(buffer, &opening);
  if (result != 0)
    return result;
  uint8_t n = pdu_tag_number(opening);
  if (pdu_lvt(opening) != PDU_LVT_OPENING || !pdu_is_context(opening) || !known_notification(n))
    return 0;  // an event type whose values are not read here
  parameters->choice = n;
  return all([&] { return decode_notification_body(buffer, n, parameters); },
             [&] { return pdu_decode_closing_tag(buffer, n); });
}
