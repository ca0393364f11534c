// The two event datatypes: the parameters of an event algorithm (the event-parameters
// property) and the values an event notification reports, each choice between its own
// opening and closing tag. Any thread; no state.
// Must not: write an event type it does not know as if it were one (the encoder fails), or
// read past the buffer.
#pragma once

#include "bacnet/codec/codec_constructed.h"

// Event types 0-5 and 10 (buffer-ready, written under [7] and read under [7] or [10]).
// Change-of-bitstring carries its bit-string values (one Bit String or a list of them)
// in [2]{ }, read back into a list of bit strings.
int pdu_encode_event_parameter(pdu_buffer* buffer, const BACnetEventParameter* parameter);
// An opening tag of another event type is consumed and nothing more is read (0; the record
// keeps event type 999); no octet at all is malformed.
int pdu_decode_event_parameter(pdu_buffer* buffer, BACnetEventParameter* parameter);

// Event types 0-6 and 10, status flags and values as each type reports them.
int pdu_encode_notification_parameters(pdu_buffer* buffer, const BACnetNotificationParameters* parameters);
// Reads one choice; another opening octet is consumed and nothing more is read (0).
int pdu_decode_notification_parameters(pdu_buffer* buffer, BACnetNotificationParameters* parameters);
