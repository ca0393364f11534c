// Dates, times, calendar entries, time stamps and the schedule datatypes on the wire.
#include "bacnet/codec/codec_constructed.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_records.h"
#include "bacnet/value/tagged_value.h"

using namespace pdu_fields;

// ---- Dates, times, calendar entries and time stamps --------------------------------------

int pdu_encode_datetime(pdu_buffer* b, const BACnetDateTime* r) { return write_record(b, *r); }
int pdu_decode_datetime(pdu_buffer* buffer, BACnetDateTime* datetime)
{
  if (pdu_has_data(buffer) && pdu_is_context(buffer->data[buffer->pos])) {
    // Some peers send the pair context-tagged; the time follows under the same tag.
    return all([&] { return read_date(buffer, 0, &datetime->date); },
               [&] {
                 return read_time(buffer, pdu_next_is_context(buffer, 1) ? 1 : 0, &datetime->time);
               });
  }
  return all([&] { return read_date(buffer, -1, &datetime->date); },
             [&] { return read_time(buffer, -1, &datetime->time); });
}

int pdu_encode_date_range(pdu_buffer* b, const BACnetDateRange* r) { return write_record(b, *r); }
int pdu_decode_date_range(pdu_buffer* b, BACnetDateRange* r) { return read_record(b, *r); }

int pdu_encode_weeknday(pdu_buffer* buffer, const BACnetWeekNDay* weeknday)
{
  return encoded(write_weeknday(buffer, -1, *weeknday));
}

// Any other choice writes nothing as if it were an entry: the encoding fails.
int pdu_encode_calendar_entry(pdu_buffer* b, const BACnetCalendarEntry* r) { return write_record(b, *r); }
int pdu_decode_calendar_entry(pdu_buffer* b, BACnetCalendarEntry* r) { return read_record(b, *r); }

int pdu_encode_time_value(pdu_buffer* b, const BACnetTimeValue* r) { return write_record(b, *r); }
int pdu_decode_time_value(pdu_buffer* b, BACnetTimeValue* r) { return read_record(b, *r); }

int pdu_encode_timestamp(pdu_buffer* b, const BACnetTimeStamp* r) { return write_record(b, *r); }

// Where no time stamp starts, nothing is read and the choice stays as it was.
int pdu_decode_timestamp(pdu_buffer* b, BACnetTimeStamp* r) { return read_record(b, *r); }

// ---- Schedule datatypes ------------------------------------------------------------------

namespace {

// TimeValues until the closing tag n, into a TimeValue list.
int decode_time_values(pdu_buffer* buffer, uint8_t n, BACnetValue* list)
{
  auto time_value = [&](BACnetValue* element) {
    int result = value_init(element, TAG_TIME_VALUE);
    return result ? result : decode_into<BACnetTimeValue, pdu_decode_time_value>(buffer, element);
  };
  return enclosed_read(buffer, n, [&] { return read_list_until(buffer, n, list, TAG_TIME_VALUE_LIST, time_value); });
}

// One TimeValue or every TimeValue of a list, inside [n]{ }.
int encode_time_values(pdu_buffer* buffer, uint8_t n, const BACnetValue* values, bool single_allowed)
{
  if (pdu_write_opening_tag(buffer, n) != 0)
    return PDU_ENCODE_FAILED;
  if (values->tag == TAG_TIME_VALUE && single_allowed) {
    if (pdu_encode_value(buffer, values, -1) != 0)
      return PDU_ENCODE_FAILED;
  } else if (values->tag == TAG_TIME_VALUE_LIST) {
    BACnetValueArray* array = value_array(values);
    if (!array)
      return PDU_ENCODE_FAILED;
    for (uint32_t i = 0; i < array->used; ++i) {
      if (array->elements[i].tag != TAG_TIME_VALUE || pdu_encode_value(buffer, &array->elements[i], -1) != 0)
        return PDU_ENCODE_FAILED;
    }
  } else if (values->tag != TAG_NULL) {
    return PDU_ENCODE_FAILED;
  }
  return pdu_write_closing_tag(buffer, n);
}

}  // namespace

int pdu_encode_daily_schedule(pdu_buffer* buffer, const BACnetDailySchedule* schedule)
{
  return encoded(encode_time_values(buffer, 0, &schedule->day_schedule, false));
}

int pdu_decode_daily_schedule(pdu_buffer* buffer, BACnetDailySchedule* schedule)
{
  return decode_time_values(buffer, 0, &schedule->day_schedule);
}

int pdu_encode_special_event(pdu_buffer* buffer, const BACnetSpecialEvent* event)
{
  int period = PDU_ENCODE_FAILED;
  if (event->period_choice == 0)
    period = all([&] { return pdu_write_opening_tag(buffer, 0); },
                 [&] { return pdu_encode_calendar_entry(buffer, &event->calendar_entry); },
                 [&] { return pdu_write_closing_tag(buffer, 0); });
  else if (event->period_choice == 1)
    period = write_object(buffer, 1, event->calendar_reference);
  return encoded(all([&] { return period; },
                     [&] { return encode_time_values(buffer, 2, &event->time_values, true); },
                     [&] { return pdu_write_unsigned(buffer, 3, event->priority); }));
}

int pdu_decode_special_event(pdu_buffer* buffer, BACnetSpecialEvent* event)
{
  int result;
  if (pdu_next_is(buffer, pdu_opening_tag(0))) {
    event->period_choice = 0;
    result = all([&] { return pdu_decode_opening_tag(buffer, 0); },
                 [&] { return pdu_decode_calendar_entry(buffer, &event->calendar_entry); },
                 [&] { return pdu_decode_closing_tag(buffer, 0); });
  } else {
    event->period_choice = 1;
    result = read_object(buffer, 1, &event->calendar_reference);
  }
  return all([&] { return result; },
             [&] { return decode_time_values(buffer, 2, &event->time_values); },
             [&] { return pdu_read_unsigned(buffer, 3, &event->priority); });
}
