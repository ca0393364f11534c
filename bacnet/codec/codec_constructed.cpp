#include "bacnet/codec/codec_constructed.h"

#include "bacnet/codec/codec_events.h"
#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_records.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

using namespace pdu_fields;

namespace {

// ---- Dispatch of pdu_encode_value over constructed tags ----------------------------------

// Each action list of the action property stands in its own [0]{ }.
int encode_action_lists(pdu_buffer* buffer, const BACnetValue* value)
{
  BACnetValueArray* array = value_array(value);
  if (!array)
    return PDU_ENCODE_FAILED;
  for (uint32_t i = 0; i < array->used; ++i) {
    if (pdu_write_opening_tag(buffer, 0) != 0 || pdu_encode_value(buffer, &array->elements[i], -1) != 0 ||
        pdu_write_closing_tag(buffer, 0) != 0)
      return PDU_ENCODE_FAILED;
  }
  return 0;
}

bool written_as_list(uint32_t tag)
{
  return tag == TAG_LIST || tag == TAG_PRIORITY_ARRAY || (tag >= 60 && tag <= 65 && tag != TAG_ACTION_LIST_LIST) ||
         (tag >= 67 && tag <= 85) || tag == TAG_ANY_VALUE_LIST || tag == TAG_TAGGED_DATA_LIST;
}

// The summaries of the alarm services have no datatype of their own; any value stands for the
// value it holds.
constexpr bool written_as_record(uint32_t tag)
{
  return tag != TAG_ALARM_SUMMARY && tag != TAG_ENROLLMENT_SUMMARY && tag != TAG_EVENT_SUMMARY && tag != TAG_ANY_VALUE;
}

}  // namespace

int pdu_encode_constructed_datatype(pdu_buffer* buffer, const BACnetValue* value, int tag)
{
  if (!buffer || !value)
    return PDU_ENCODE_FAILED;
  if (value->tag == TAG_ANY_VALUE) {
    const AnyValue* any = value_record<AnyValue>(value);
    return any ? encoded(pdu_encode_value(buffer, &any->value, tag)) : PDU_ENCODE_FAILED;
  }
  if (value->tag == TAG_ACTION_LIST_LIST)
    return encoded(encode_action_lists(buffer, value));
  if (written_as_list(value->tag))
    return encoded(pdu_encode_list(buffer, value));
  int result = PDU_ENCODE_FAILED;
  with_record_type(value->tag, [&]<class R>(std::type_identity<R>) {
    if constexpr (written_as_record(R::kTag))
      if (const R* record = value_record<R>(value))
        result = encoded(write_record(buffer, *record));
  });
  return result;
}

// ---- Error -------------------------------------------------------------------------------

int pdu_encode_bacnet_error(pdu_buffer* buffer, const BACnetError* error)
{
  if (!error)
    return PDU_ENCODE_FAILED;
  return encoded(all([&] { return pdu_write_enumerated(buffer, -1, error->error_class); },
                     [&] { return pdu_write_enumerated(buffer, -1, error->error_code); }));
}

int pdu_decode_bacnet_error(pdu_buffer* buffer, BACnetError* error)
{
  if (!error)
    return PDU_MALFORMED;
  return all([&] { return pdu_read_enumerated(buffer, -1, &error->error_class); },
             [&] { return pdu_read_enumerated(buffer, -1, &error->error_code); });
}

int pdu_encode_object_identifier(pdu_buffer* buffer, const BACnetObjectId* object)
{
  return object ? encoded(write_object(buffer, -1, *object)) : PDU_ENCODE_FAILED;
}
