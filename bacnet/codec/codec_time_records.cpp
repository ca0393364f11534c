// Dates, times, calendar entries, time stamps and the schedule datatypes on the wire.
#include "bacnet/codec/codec_constructed.h"

#include "bacnet/codec/codec_fields.h"
#include "bacnet/value/tagged_value.h"

using namespace pdu_fields;

// ---- Addresses, dates and times ----------------------------------------------------------

int pdu_encode_datetime(pdu_buffer* buffer, const BACnetDateTime* datetime)
{
  return encoded(all([&] { return pdu_write_date(buffer, -1, &datetime->date.year); },
                     [&] { return pdu_write_time(buffer, -1, &datetime->time.hour); }));
}

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

int pdu_encode_date_range(pdu_buffer* buffer, const BACnetDateRange* range)
{
  return encoded(all([&] { return pdu_write_date(buffer, -1, &range->start.year); },
                     [&] { return pdu_write_date(buffer, -1, &range->end.year); }));
}

int pdu_decode_date_range(pdu_buffer* buffer, BACnetDateRange* range)
{
  return all([&] { return read_date(buffer, -1, &range->start); },
             [&] { return read_date(buffer, -1, &range->end); });
}

int pdu_encode_weeknday(pdu_buffer* buffer, const BACnetWeekNDay* weeknday)
{
  const uint8_t octets[3] = {weeknday->month, weeknday->week, weeknday->weekday};
  return encoded(pdu_write_octets(buffer, -1, octets, 3));
}

int pdu_encode_calendar_entry(pdu_buffer* buffer, const BACnetCalendarEntry* entry)
{
  switch (entry->choice) {
    case 0:
      return encoded(pdu_write_date(buffer, 0, &entry->date.year));
    case 1:
      return encoded(all([&] { return pdu_write_opening_tag(buffer, 1); },
                         [&] { return pdu_encode_date_range(buffer, &entry->range); },
                         [&] { return pdu_write_closing_tag(buffer, 1); }));
    case 2: {
      const uint8_t octets[3] = {entry->weeknday.month, entry->weeknday.week, entry->weeknday.weekday};
      return encoded(pdu_write_octets(buffer, 2, octets, 3));
    }
    default:
      return PDU_ENCODE_FAILED;  // no entry to write: nothing may go out as if it were one
  }
}

int pdu_decode_calendar_entry(pdu_buffer* buffer, BACnetCalendarEntry* entry)
{
  if (!pdu_has_data(buffer))
    return PDU_MALFORMED;
  if (pdu_next_is(buffer, pdu_opening_tag(1))) {
    entry->choice = 1;
    buffer->pos++;
    return all([&] { return pdu_decode_date_range(buffer, &entry->range); },
               [&] { return pdu_decode_closing_tag(buffer, 1); });
  }
  if (pdu_next_is_context(buffer, 0)) {
    entry->choice = 0;
    return read_date(buffer, 0, &entry->date);
  }
  if (pdu_next_is_context(buffer, 2)) {
    const uint8_t* octets = nullptr;
    uint32_t length = 0;
    uint32_t start = buffer->pos;
    int result = pdu_read_octets(buffer, 2, &octets, &length);
    if (result != 0)
      return result;
    if (length != 3) {
      buffer->pos = start;
      return PDU_MALFORMED;
    }
    entry->choice = 2;
    entry->weeknday = BACnetWeekNDay{octets[0], octets[1], octets[2]};
    return 0;
  }
  return PDU_MALFORMED;
}

int pdu_encode_time_value(pdu_buffer* buffer, const BACnetTimeValue* time_value)
{
  return encoded(all([&] { return pdu_write_time(buffer, -1, &time_value->time.hour); },
                     [&] { return pdu_encode_value(buffer, &time_value->value, -1); }));
}

int pdu_decode_time_value(pdu_buffer* buffer, BACnetTimeValue* time_value)
{
  return all([&] { return read_time(buffer, -1, &time_value->time); },
             [&] {
               // The value carries its own application tag; a context tag is no value here.
               if (!pdu_has_data(buffer) || pdu_is_context(buffer->data[buffer->pos]))
                 return PDU_MALFORMED;
               return pdu_decode_value(buffer, &time_value->value, -1);
             });
}

int pdu_encode_timestamp(pdu_buffer* buffer, const BACnetTimeStamp* stamp)
{
  switch (stamp->choice) {
    case 0:
      return encoded(pdu_write_time(buffer, 0, &stamp->time.hour));
    case 1:
      return encoded(pdu_write_unsigned(buffer, 1, stamp->sequence));
    case 2:
      return encoded(all([&] { return pdu_write_opening_tag(buffer, 2); },
                         [&] { return pdu_encode_datetime(buffer, &stamp->datetime); },
                         [&] { return pdu_write_closing_tag(buffer, 2); }));
    default:
      return PDU_ENCODE_FAILED;
  }
}

int pdu_decode_timestamp(pdu_buffer* buffer, BACnetTimeStamp* stamp)
{
  if (!pdu_has_data(buffer))
    return PDU_MALFORMED;
  switch (pdu_tag_number(buffer->data[buffer->pos])) {
    case 0: {
      int result = read_time(buffer, 0, &stamp->time);
      if (result == 0)
        stamp->choice = 0;
      return result;
    }
    case 1: {
      int result = pdu_read_unsigned(buffer, 1, &stamp->sequence);
      if (result == 0)
        stamp->choice = 1;
      return result;
    }
    case 2: {
      int result = all([&] { return pdu_decode_opening_tag(buffer, 2); },
                       [&] { return pdu_decode_datetime(buffer, &stamp->datetime); },
                       [&] { return pdu_decode_closing_tag(buffer, 2); });
      if (result == 0)
        stamp->choice = 2;
      return result;
    }
    default:
      // No time stamp starts here: nothing is read and the choice stays as it was.
      return 0;
  }
}

// ---- Schedule datatypes ------------------------------------------------------------------

namespace {

// TimeValues until the closing tag n, into a TimeValue list.
int decode_time_values(pdu_buffer* buffer, uint8_t n, BACnetValue* list)
{
  int result = pdu_decode_opening_tag(buffer, n);
  if (result != 0)
    return result;
  value_free(list);
  if ((result = value_init(list, TAG_TIME_VALUE_LIST)) != 0)
    return result;
  while (!pdu_next_is(buffer, pdu_closing_tag(n))) {
    if (!pdu_has_data(buffer))
      return PDU_MALFORMED;
    Scratch element;
    if ((result = value_init(&element, TAG_TIME_VALUE)) != 0)
      return result;
    if ((result = decode_into<BACnetTimeValue, pdu_decode_time_value>(buffer, &element)) != 0)
      return result;
    if ((result = value_array_append(value_array(list), &element)) != 0)
      return result;
  }
  return pdu_decode_closing_tag(buffer, n);
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
