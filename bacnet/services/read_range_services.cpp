#include "bacnet/services/read_range_services.h"

#include <algorithm>

#include "bacnet/objects/object_record.h"
#include "bacnet/services/service_answers.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace {

constexpr uint32_t kItemsPerApduCode[] = {1, 4, 6, 16, 34, 49};
// Results of the selection: 0, or the BACnet error code plus one.
constexpr uint32_t kNoError = 0;
constexpr uint32_t kRefusedOther = kErrorOther + 1;
constexpr uint32_t kRefusedInconsistent = kErrorInconsistentParameters + 1;
constexpr uint32_t kRefusedOutOfRange = kErrorValueOutOfRange + 1;

using OwnedAck = Owned<ReadRangeAck, pdu_free_read_range_ack>;

const BACnetDateTime* stamp_of(const BACnetValueArray& log, int64_t position)
{
  const auto* record = value_record<BACnetLogRecord>(&log.elements[position - 1]);
  return record ? &record->timestamp : nullptr;
}

bool later(const BACnetDateTime* a, const BACnetDateTime& b) { return a && value_compare_time_stamp(a, &b) == 1; }
bool earlier(const BACnetDateTime* a, const BACnetDateTime& b) { return a && value_compare_time_stamp(&b, a) == 1; }

void select(int64_t first, int64_t last, RangeSelection* s)
{
  s->first = uint32_t(first);
  s->last = uint32_t(last);
}

uint32_t by_position(int64_t reference, int64_t count, int64_t used, RangeSelection* s)
{
  if (reference == 0 || count == 0 || reference > used)
    return kRefusedInconsistent;
  if (count > 0)
    select(reference, std::min(used, reference + count - 1) + 1, s);
  else
    select(std::max<int64_t>(1, reference + count + 1), reference + 1, s);
  return kNoError;
}

uint32_t by_time(const BACnetDateTime& time, int64_t count, const BACnetValueArray& log, RangeSelection* s)
{
  int64_t used = log.used;
  if (count == 0)
    return kRefusedOutOfRange;
  s->sequence_reported = true;
  if (count > 0) {
    int64_t first = 1;
    while (first <= used && !later(stamp_of(log, first), time))
      ++first;
    select(first, std::min(used + 1, first + count), s);
    return kNoError;
  }
  int64_t last = used;
  while (last >= 1 && !earlier(stamp_of(log, last), time))
    --last;
  if (last < 1)
    return kRefusedOther;
  select(std::max<int64_t>(1, last + count + 1), last + 1, s);
  return kNoError;
}

uint32_t time_range(const BACnetDateTime& begin, const BACnetDateTime& end, const BACnetValueArray& log,
                    RangeSelection* s)
{
  int64_t used = log.used;
  int64_t first = 1;
  while (first <= used && !later(stamp_of(log, first), begin))
    ++first;
  int64_t last = used;
  while (last >= 1 && !earlier(stamp_of(log, last), end))
    --last;
  if (first > used || last < first)
    return kRefusedOther;
  select(first, last + 1, s);
  return kNoError;
}

uint32_t by_sequence(int64_t sequence, int64_t count, int64_t used, int64_t total, RangeSelection* s)
{
  s->sequence_reported = true;
  int64_t oldest = total - used + 1;
  if ((sequence > total && sequence + count > total) || (sequence < oldest && sequence + count < oldest))
    return kNoError;
  if (count == 0)
    return kRefusedInconsistent;
  int64_t position = sequence - (total - used);
  if (position < 1) {
    // The records before the buffer are gone: the count shrinks by them.
    count -= 1 - position;
    position = 1;
    if (count <= 0)
      return kNoError;
  }
  if (position > used)
    return kRefusedOutOfRange;
  return by_position(position, count, used, s);
}

}  // namespace

uint32_t services_read_range_limit(uint8_t max_segments_apdu)
{
  uint32_t code = max_segments_apdu & 0x0F;
  return code < std::size(kItemsPerApduCode) ? kItemsPerApduCode[code] : 1;
}

uint32_t services_select_range(const ReadRangeRequest& r, const BACnetValueArray* log, uint32_t total_records,
                               uint32_t limit, RangeSelection* s)
{
  static const BACnetValueArray kEmpty{};
  const BACnetValueArray& buffer = log ? *log : kEmpty;
  *s = RangeSelection{};
  uint32_t error = kNoError;
  switch (r.range) {
  case RANGE_BY_POSITION: error = by_position(r.reference, r.count, buffer.used, s); break;
  case RANGE_BY_TIME_TAG4:
  case RANGE_BY_TIME: error = by_time(r.time, r.count, buffer, s); break;
  case RANGE_TIME_RANGE: error = time_range(r.time, r.end_time, buffer, s); break;
  case RANGE_BY_SEQUENCE: error = by_sequence(r.reference, r.count, buffer.used, total_records, s); break;
  default: select(1, int64_t(buffer.used) + 1, s); break;
  }
  if (error == kNoError && s->last - s->first > limit) {
    s->last = s->first + limit;
    s->more_items = true;
  }
  return error;
}

int services_read_range(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer, bool,
                        const BACnetAddress&)
{
  auto refuse = [&](uint32_t code) { return services_answer_error(answer, SERVICE_READ_RANGE, kErrorClassObject, code); };
  ReadRangeRequest r;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_read_range_request(&view, &r), view))
    return refuse(kErrorOther);
  if (r.object.type < OBJECT_TREND_LOG || r.object.type == OBJECT_METER)
    return refuse(kErrorUnsupportedObjectType);
  ObjectRecord* log = r.object.type == OBJECT_TREND_LOG
                          ? object_Find(services_request_owner(local), r.object.type, r.object.instance)
                          : nullptr;
  if (!log)
    return refuse(kErrorUnknownObject);
  if (r.property != PROP_LOG_BUFFER)
    return refuse(kErrorOther);

  const BACnetValueArray* buffer = value_array(object_value(log, PROP_LOG_BUFFER));
  uint32_t used = buffer ? buffer->used : 0;
  uint32_t total = *object_word(log, PROP_TOTAL_RECORD_COUNT);
  RangeSelection s;
  if (uint32_t refused = services_select_range(r, buffer, total, services_read_range_limit(request.max_segments_apdu), &s))
    return refuse(refused - 1);

  OwnedAck ack;
  ReadRangeAck& a = *ack;
  a.object = r.object;
  a.property = r.property;
  a.array_index = r.array_index;
  bool any = s.last > s.first;
  a.result_flags = {uint8_t(any && s.first == 1), uint8_t(any && s.last - 1 == used), uint8_t(s.more_items)};
  a.item_count = s.last - s.first;
  if (any && value_init(&a.items, TAG_LOG_BUFFER) != VALUE_OK)
    return refuse(kErrorUnspecified);
  for (uint32_t p = s.first; p < s.last; ++p) {
    OwnedValue copy;
    if (value_assign(copy.get(), &buffer->elements[p - 1], -1) != VALUE_OK ||
        value_array_append(a.items.payload.array, copy.get()) != VALUE_OK)
      return refuse(kErrorUnspecified);
  }
  if (s.sequence_reported)
    a.first_sequence = total - used + s.first;
  pdu_buffer encoded{};
  if (pdu_encode_read_range_ack(&encoded, &a) != 0) {
    pdu_buffer_free(&encoded);
    return refuse(kErrorUnspecified);
  }
  return services_answer_encoded(answer, &encoded, SERVICE_READ_RANGE);
}
