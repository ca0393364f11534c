// Addresses, recipients, address bindings, session keys, recipient processes, COV
// subscriptions and destinations on the wire.
#include "bacnet/codec/codec_constructed.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_records.h"

using namespace pdu_fields;

int pdu_encode_address(pdu_buffer* b, const BACnetAddressValue* r) { return write_record(b, *r); }
int pdu_decode_address(pdu_buffer* b, BACnetAddressValue* r) { return read_record(b, *r); }

// A choice other than the device or the address fails, both ways.
int pdu_encode_recipient(pdu_buffer* b, const BACnetRecipient* r) { return write_record(b, *r); }
int pdu_decode_recipient(pdu_buffer* b, BACnetRecipient* r) { return read_record(b, *r); }

int pdu_encode_address_binding(pdu_buffer* b, const BACnetAddressBinding* r) { return write_record(b, *r); }
int pdu_decode_address_binding(pdu_buffer* buffer, BACnetAddressBinding* binding)
{
  // An empty binding list entry is sent as a NULL.
  if (pdu_next_is(buffer, 0x00)) {
    buffer->pos++;
    return 0;
  }
  return read_record(buffer, *binding);
}

int pdu_encode_session_key(pdu_buffer* b, const BACnetSessionKey* r) { return write_record(b, *r); }

int pdu_encode_recipient_process(pdu_buffer* b, const BACnetRecipientProcess* r) { return write_record(b, *r); }
int pdu_decode_recipient_process(pdu_buffer* buffer, BACnetRecipientProcess* process)
{
  int result = read_record(buffer, *process);
  if (result == 0)
    process->not_empty = 1;
  return result;
}

int pdu_encode_cov_subscription(pdu_buffer* b, const CovSubscription* r) { return write_record(b, *r); }

int pdu_encode_destination(pdu_buffer* b, const BACnetDestination* r) { return write_record(b, *r); }
int pdu_decode_destination(pdu_buffer* b, BACnetDestination* r) { return read_record(b, *r); }
