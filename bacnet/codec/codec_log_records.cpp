// Log records on the wire.
#include "bacnet/codec/codec_constructed.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_property_values.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

using namespace pdu_fields;

// ---- Log records -------------------------------------------------------------------------

namespace {

// A primitive field of a known datatype: the datatype's application tag (tag -1) or context
// tag `tag`, nothing else.
int decode_field(pdu_buffer* buffer, int tag, uint32_t datatype, BACnetValue* value)
{
  PduElement element;
  if (pdu_peek_element(buffer, &element) != 0)
    return PDU_MALFORMED;
  if (tag < 0 ? (element.context || element.tag_number != datatype) : (!element.context || element.tag_number != tag))
    return PDU_MALFORMED;
  value_free(value);
  value->tag = datatype;
  return pdu_decode_value(buffer, value, tag);
}

// A primitive with context tag n, or the same datatype application-tagged inside [n]{ }.
int decode_maybe_wrapped(pdu_buffer* buffer, uint8_t n, uint32_t datatype, BACnetValue* value)
{
  if (pdu_next_is(buffer, pdu_opening_tag(n))) {
    buffer->pos++;
    int result = decode_field(buffer, -1, datatype, value);
    if (result != 0)
      return result;
    return pdu_decode_closing_tag(buffer, n);
  }
  return decode_field(buffer, n, datatype, value);
}

// The datatype of each log datum choice that is a single primitive.
constexpr uint32_t kLogDatumType[11] = {
    TAG_BIT_STRING, TAG_BOOLEAN, TAG_REAL, TAG_ENUMERATED, TAG_UNSIGNED, TAG_SIGNED,
    TAG_BIT_STRING, TAG_NULL, 0 /* error */, TAG_REAL, 0 /* any value */,
};

int encode_log_datum(pdu_buffer* buffer, const BACnetLogRecord* record)
{
  int tag = int(record->choice);
  switch (record->choice) {
    case 0:
    case 6: return write_bits(buffer, tag, record->bits);
    case 1: return pdu_write_boolean(buffer, tag, record->datum.boolean != 0);
    case 2: return pdu_write_real(buffer, tag, record->datum.real);
    case 3: return pdu_write_enumerated(buffer, tag, record->datum.enumerated);
    case 4: return pdu_write_unsigned(buffer, tag, record->datum.unsigned_value);
    case 5: return pdu_write_signed(buffer, tag, record->datum.signed_value);
    case 7: return pdu_write_null(buffer, tag);
    case 8: {
      BACnetError error{record->error_class, record->error_code};
      return all([&] { return pdu_write_opening_tag(buffer, 8); },
                 [&] { return pdu_encode_bacnet_error(buffer, &error); },
                 [&] { return pdu_write_closing_tag(buffer, 8); });
    }
    case 9: return pdu_write_real(buffer, tag, record->datum.time_change);
    case 10: return pdu_encode_constructed_value(buffer, &record->any, 10);
    default: return PDU_ENCODE_FAILED;  // an empty datum would read back as a malformed record
  }
}

int decode_log_datum(pdu_buffer* buffer, BACnetLogRecord* record)
{
  if (!pdu_has_data(buffer))
    return PDU_MALFORMED;
  uint8_t choice = pdu_tag_number(buffer->data[buffer->pos]);
  if (!pdu_is_context(buffer->data[buffer->pos]) || choice > 10)
    return PDU_MALFORMED;
  if (choice == 8) {
    BACnetError error;
    int result = all([&] { return pdu_decode_opening_tag(buffer, 8); },
                     [&] { return pdu_decode_bacnet_error(buffer, &error); },
                     [&] { return pdu_decode_closing_tag(buffer, 8); });
    record->error_class = error.error_class;
    record->error_code = error.error_code;
    record->choice = 8;
    return result;
  }
  if (choice == 10) {
    record->choice = 10;
    return pdu_decode_property_value(buffer, &record->any, 10, 0, -1);
  }
  OwnedValue datum;
  int result = decode_maybe_wrapped(buffer, choice, kLogDatumType[choice], datum.get());
  if (result != 0)
    return result;
  record->choice = choice;
  const BACnetValue::Payload& p = datum->payload;
  switch (choice) {
    case 0:
    case 6:
      bitstring_free(&record->bits);
      record->bits = datum.release().payload.bits;
      break;
    case 1: record->datum.boolean = p.boolean; break;
    case 2: record->datum.real = p.real; break;
    case 3: record->datum.enumerated = p.enumerated; break;
    case 4: record->datum.unsigned_value = p.unsigned_value; break;
    case 5: record->datum.signed_value = p.signed_value; break;
    case 9: record->datum.time_change = p.real; break;
    default: break;
  }
  return 0;
}

}  // namespace

int pdu_encode_log_record(pdu_buffer* buffer, const BACnetLogRecord* record)
{
  return encoded(all([&] { return pdu_write_opening_tag(buffer, 0); },
                     [&] { return pdu_encode_datetime(buffer, &record->timestamp); },
                     [&] { return pdu_write_closing_tag(buffer, 0); },
                     [&] { return pdu_write_opening_tag(buffer, 1); },
                     [&] { return encode_log_datum(buffer, record); },
                     [&] { return pdu_write_closing_tag(buffer, 1); },
                     // Status flags are optional; a record without them sends none.
                     [&] { return record->status_flags.count ? write_bits(buffer, 2, record->status_flags) : 0; }));
}

int pdu_decode_log_record(pdu_buffer* buffer, BACnetLogRecord* record)
{
  return all([&] { return pdu_decode_opening_tag(buffer, 0); },
             [&] { return pdu_decode_datetime(buffer, &record->timestamp); },
             [&] { return pdu_decode_closing_tag(buffer, 0); },
             [&] { return pdu_decode_opening_tag(buffer, 1); },
             [&] { return decode_log_datum(buffer, record); },
             [&] { return pdu_decode_closing_tag(buffer, 1); },
             [&] { return pdu_next_is_context(buffer, 2) ? read_bits(buffer, 2, &record->status_flags) : 0; });
}
