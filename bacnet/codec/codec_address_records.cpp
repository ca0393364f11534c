// Addresses, recipients, address bindings, session keys, recipient processes, COV
// subscriptions and destinations on the wire.
#include "bacnet/codec/codec_constructed.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

using namespace pdu_fields;

// ---- Addresses, recipients ----------------------------------------------------------

int pdu_encode_address(pdu_buffer* buffer, const BACnetAddressValue* address)
{
  return encoded(all([&] { return pdu_write_unsigned(buffer, -1, address->network); },
                     [&] { return pdu_write_octets(buffer, -1, address->mac.data, address->mac.length); }));
}

int pdu_decode_address(pdu_buffer* buffer, BACnetAddressValue* address)
{
  const uint8_t* mac = nullptr;
  uint32_t length = 0;
  int result = all([&] { return pdu_read_unsigned(buffer, -1, &address->network); },
                   [&] { return pdu_read_octets(buffer, -1, &mac, &length); });
  if (result != 0)
    return result;
  return octetstring_set(&address->mac, mac, length);
}

int pdu_encode_recipient(pdu_buffer* buffer, const BACnetRecipient* recipient)
{
  switch (recipient->choice) {
    case 0:
      return encoded(write_object(buffer, 0, recipient->device));
    case 1:
      return encoded(all([&] { return pdu_write_opening_tag(buffer, 1); },
                         [&] { return pdu_encode_address(buffer, &recipient->address); },
                         [&] { return pdu_write_closing_tag(buffer, 1); }));
    default:
      return PDU_ENCODE_FAILED;
  }
}

int pdu_decode_recipient(pdu_buffer* buffer, BACnetRecipient* recipient)
{
  if (!pdu_has_data(buffer))
    return PDU_MALFORMED;
  switch (buffer->data[buffer->pos] & 0xF0) {
    case 0x00: {
      int result = read_object(buffer, 0, &recipient->device);
      if (result == 0)
        recipient->choice = 0;
      return result;
    }
    case 0x10: {
      recipient_free(recipient);
      recipient->choice = 1;
      return all([&] { return pdu_decode_opening_tag(buffer, 1); },
                 [&] { return pdu_decode_address(buffer, &recipient->address); },
                 [&] { return pdu_decode_closing_tag(buffer, 1); });
    }
    default:
      return PDU_MALFORMED;
  }
}

int pdu_encode_address_binding(pdu_buffer* buffer, const BACnetAddressBinding* binding)
{
  return encoded(all([&] { return write_object(buffer, -1, binding->device); },
                     [&] { return pdu_encode_address(buffer, &binding->address); }));
}

int pdu_decode_address_binding(pdu_buffer* buffer, BACnetAddressBinding* binding)
{
  // An empty binding list entry is sent as a NULL.
  if (pdu_next_is(buffer, 0x00)) {
    buffer->pos++;
    return 0;
  }
  return all([&] { return read_object(buffer, -1, &binding->device); },
             [&] { return pdu_decode_address(buffer, &binding->address); });
}

// ---- Session keys, recipient processes and subscriptions ---------------------------------

int pdu_encode_session_key(pdu_buffer* buffer, const BACnetSessionKey* key)
{
  return encoded(all([&] { return pdu_write_octets(buffer, -1, key->key.data, key->key.length); },
                     [&] { return pdu_encode_address(buffer, &key->peer); }));
}

int pdu_encode_recipient_process(pdu_buffer* buffer, const BACnetRecipientProcess* process)
{
  return encoded(all([&] { return enclosed_write(buffer, 0, [&] { return pdu_encode_recipient(buffer, &process->recipient); }); },
                     [&] { return pdu_write_unsigned(buffer, 1, process->process_id); }));
}

int pdu_decode_recipient_process(pdu_buffer* buffer, BACnetRecipientProcess* process)
{
  int result = all([&] { return enclosed_read(buffer, 0, [&] { return pdu_decode_recipient(buffer, &process->recipient); }); },
                   [&] { return pdu_read_unsigned(buffer, 1, &process->process_id); });
  if (result == 0)
    process->not_empty = 1;
  return result;
}

int pdu_encode_cov_subscription(pdu_buffer* buffer, const CovSubscription* subscription)
{
  return encoded(all(
      [&] { return enclosed_write(buffer, 0, [&] { return pdu_encode_recipient_process(buffer, &subscription->recipient); }); },
      [&] { return enclosed_write(buffer, 1, [&] { return pdu_encode_object_property_reference(buffer, &subscription->monitored); }); },
      [&] { return pdu_write_boolean(buffer, 2, subscription->issue_confirmed != 0); },
      [&] { return pdu_write_unsigned(buffer, 3, subscription->time_remaining); }));
}

// ---- Destinations ------------------------------------------------------------------------

int pdu_encode_destination(pdu_buffer* buffer, const BACnetDestination* destination)
{
  return encoded(all([&] { return write_bits(buffer, -1, destination->valid_days); },
                     [&] { return pdu_write_time(buffer, -1, &destination->from.hour); },
                     [&] { return pdu_write_time(buffer, -1, &destination->to.hour); },
                     [&] { return pdu_encode_recipient(buffer, &destination->recipient); },
                     [&] { return pdu_write_unsigned(buffer, -1, destination->process_id); },
                     [&] { return pdu_write_boolean(buffer, -1, destination->issue_confirmed != 0); },
                     [&] { return write_bits(buffer, -1, destination->transitions); }));
}

int pdu_decode_destination(pdu_buffer* buffer, BACnetDestination* destination)
{
  bool confirmed = false;
  int result = all([&] { return read_bits(buffer, -1, &destination->valid_days); },
                   [&] { return read_time(buffer, -1, &destination->from); },
                   [&] { return read_time(buffer, -1, &destination->to); },
                   [&] { return pdu_decode_recipient(buffer, &destination->recipient); },
                   [&] { return pdu_read_unsigned(buffer, -1, &destination->process_id); },
                   [&] { return pdu_read_boolean(buffer, -1, &confirmed); },
                   [&] { return read_bits(buffer, -1, &destination->transitions); });
  destination->issue_confirmed = confirmed ? 1 : 0;
  return result;
}
