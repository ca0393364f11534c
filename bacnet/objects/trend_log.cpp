#include "bacnet/objects/trend_log.h"

#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/objects/event_notify.h"
#include "bacnet/objects/object_behaviour.h"
#include "bacnet/objects/object_lists.h"
#include "bacnet/objects/property_internal.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace {

constexpr uint32_t kBufferPurgedBit = 1;
constexpr uint32_t kWrapAllowance = 34;
constexpr int64_t kHundredthsPerSecond = 100;  // the log interval counts hundredths
constexpr uint32_t kMillisecondsPerHundredth = 10;

// Log datum choices by the tag of the value read.
uint32_t datum_choice(uint32_t tag)
{
  switch (tag) {
  case TAG_NULL: return 7;
  case TAG_BOOLEAN: return 1;
  case TAG_UNSIGNED: return 4;
  case TAG_SIGNED: return 5;
  case TAG_REAL: return 2;
  case TAG_BIT_STRING: return 6;
  case TAG_ENUMERATED: return 3;
  default: return 10;
  }
}

// A LogRecord of the value read, stamped now; the value's contents move into it.
int make_log_record(BACnetValue* read, BACnetValue* out)
{
  int rc = value_init(out, TAG_LOG_RECORD);
  auto* log = value_record<BACnetLogRecord>(out);
  if (rc != VALUE_OK || !log)
    return rc ? rc : VALUE_NO_MEMORY;
  time_now_to_bacnet(&log->timestamp);
  log->choice = datum_choice(read->tag);
  const BACnetValue::Payload& p = read->payload;
  switch (log->choice) {
  case 1: log->datum.boolean = p.boolean; break;
  case 2: log->datum.real = p.real; break;
  case 3: log->datum.enumerated = p.enumerated; break;
  case 4: log->datum.unsigned_value = p.unsigned_value; break;
  case 5: log->datum.signed_value = p.signed_value; break;
  case 6:
    log->bits = p.bits;
    value_clear(read);
    break;
  case 10:
    log->any = *read;
    value_clear(read);
    break;
  default: break;
  }
  const uint8_t no_flags[4] = {0, 0, 0, 0};
  return bitstring_set(&log->status_flags, no_flags, 4);
}

uint32_t& word(ObjectRecord* object, uint32_t property) { return *object_word(object, property); }

uint32_t buffered(ObjectRecord* object)
{
  const BACnetValueArray* buffer = value_array(object_value(object, PROP_LOG_BUFFER));
  return buffer ? buffer->used : 0;
}

bool within_log_window(ObjectRecord* object)
{
  BACnetDateTime now{};
  time_now_to_bacnet(&now);
  return value_compare_datetime(object_datetime(object, PROP_START_TIME), &now) <= 0 &&
         value_compare_datetime(&now, object_datetime(object, PROP_STOP_TIME)) <= 0;
}

int64_t last_record_time(ObjectRecord* object)
{
  return int64_t(word(object, FIELD_LOG_LAST_SECONDS)) * kHundredthsPerSecond +
         word(object, FIELD_LOG_LAST_MILLISECONDS) / kMillisecondsPerHundredth;
}

// Logs one record when the interval (in hundredths) has passed since the last record's time;
// a failed read logs nothing and leaves that time as it was. Only the tick's second counts:
// the tick runs once a second, a few milliseconds into it as the load has it, and a tick
// earlier in its second than the last one would otherwise find the interval not yet over.
void log_when_due(uint32_t owner, ObjectRecord* object)
{
  int64_t now = int64_t(os_wall_seconds()) * kHundredthsPerSecond;
  int64_t last = last_record_time(object);
  int64_t interval = word(object, PROP_LOG_INTERVAL);
  bool clock_went_back = now < last;
  if (!clock_went_back && now < last + interval)
    return;
  OwnedValue read;
  if (behaviour_read_reference(owner, *object_reference(object, PROP_LOG_DEVICE_OBJECT_PROPERTY), read.get()) != 0)
    return;
  // One interval on, so that the records keep their pace without drifting; the first record,
  // one after a whole interval was missed and one after the clock went back start at now.
  int64_t next = last + interval;
  if (clock_went_back || now >= next + interval)
    next = now;
  word(object, FIELD_LOG_LAST_SECONDS) = uint32_t(next / kHundredthsPerSecond);
  word(object, FIELD_LOG_LAST_MILLISECONDS) = uint32_t(next % kHundredthsPerSecond) * kMillisecondsPerHundredth;

  OwnedValue record;
  if (make_log_record(read.get(), record.get()) == VALUE_OK) {
    uint8_t ring = buffered(object) >= word(object, PROP_BUFFER_SIZE) ? 1 : 0;
    object_AddListElements(owner, OBJECT_TREND_LOG, object->id.instance, PROP_LOG_BUFFER, -1, ring, record.get());
  }
}

void notify_buffer_ready(uint32_t owner, ObjectRecord* object)
{
  uint32_t total = word(object, PROP_TOTAL_RECORD_COUNT);
  uint32_t& notified = word(object, FIELD_LOG_NOTIFIED_COUNT);
  uint32_t threshold = word(object, PROP_NOTIFICATION_THRESHOLD);
  // A threshold of 0 would notify on every run, records or not: it notifies never.
  if (threshold == 0 || trendlog_records_since_notified(total, notified) < threshold ||
      !bitstring_get_bit(object_bits(object, PROP_EVENT_ENABLE), TRANSITION_TO_NORMAL))
    return;
  OwnedValue values;
  if (value_init(values.get(), TAG_NOTIFICATION_PARAMETERS) == VALUE_OK) {
    auto* p = value_record<BACnetNotificationParameters>(values.get());
    p->choice = 10;
    p->buffer_property = {object->id, PROP_LOG_BUFFER, -1, {OBJECT_DEVICE, owner}};
    p->previous_notification = notified;
    p->current_notification = total;
    event_generate(owner, OBJECT_TREND_LOG, object, EVENT_STATE_NORMAL, EVENT_STATE_NORMAL, values.get(),
                   word(object, PROP_NOTIFY_TYPE));
  }
  notified = total;
  word(object, PROP_LAST_NOTIFY_RECORD) = total;
  word(object, PROP_RECORDS_SINCE_NOTIFICATION) = 0;
}

}  // namespace

uint32_t trendlog_records_since_notified(uint32_t total, uint32_t notified)
{
  uint32_t since = total - notified;
  return total < notified ? since + kWrapAllowance : since;
}

void object_TrendLogTimer(uint32_t owner, ObjectRecord* object)
{
  event_settle_acknowledgments(owner, object);

  uint32_t buffer_size = word(object, PROP_BUFFER_SIZE);
  if (buffered(object) == 0 && buffer_size > 0)
    trendlog_add_status_record(object, kBufferPurgedBit, 1, false);

  if (*object_boolean(object, PROP_LOG_ENABLE)) {
    // Signed: buffer sizes 0 and 1 have no room to log into and stop at once.
    if (*object_boolean(object, PROP_STOP_WHEN_FULL) && int64_t(buffered(object)) + 2 > int64_t(buffer_size)) {
      BACnetValue off{};
      uint8_t no = 0;
      value_set_boolean(&no, &off);
      object_PropertyFunction(-1, owner, object, PROP_LOG_ENABLE, -1, PROPERTY_WRITE, &off, 0);
    } else if (within_log_window(object)) {
      log_when_due(owner, object);
    }
  }
  notify_buffer_ready(owner, object);
}
