// The constructed records on the wire as walks over their descriptions (value_fields.h):
// the fields go in the order of the description, each with the context tag of its place (or
// of its alternative) or, for the records BACnet writes that way, its application tag; what
// each field is tells how it is written and read. Not for use outside bacnet/codec.
#pragma once

#include "bacnet/codec/codec_constructed.h"
#include "bacnet/codec/codec_events.h"
#include "bacnet/codec/codec_fields.h"
#include "bacnet/codec/codec_property_values.h"
#include "bacnet/value/value_fields.h"

namespace pdu_fields {

// How a record goes on the wire, where it is not every field with the context tag of its
// place among the fields that travel.
struct WireForm {
  bool application = false;       // every field with its application tag
  FieldList off = {};             // fields BACnet's encoding of the record does not carry
  bool unknown_is_empty = false;  // an alternative the record does not know reads as nothing
};

constexpr WireForm wire_form(const void*) { return {}; }
constexpr WireForm wire_form(const BACnetAddressValue*) { return {true}; }
constexpr WireForm wire_form(const BACnetDateTime*) { return {true}; }
constexpr WireForm wire_form(const BACnetDateRange*) { return {true}; }
constexpr WireForm wire_form(const BACnetTimeValue*) { return {true}; }
constexpr WireForm wire_form(const BACnetSessionKey*) { return {true}; }
constexpr WireForm wire_form(const BACnetAddressBinding*) { return {true}; }
constexpr WireForm wire_form(const AlarmSummaryEntry*) { return {true}; }
constexpr WireForm wire_form(const EnrollmentSummaryEntry*) { return {true}; }
constexpr WireForm wire_form(const BACnetDestination*) { return {true, "LIFETIME"}; }
constexpr WireForm wire_form(const BACnetRecipientProcess*) { return {false, "NOTEMPTY"}; }
constexpr WireForm wire_form(const CovSubscription*) { return {false, "COVINCREMENT"}; }
constexpr WireForm wire_form(const BACnetTimeStamp*) { return {false, "", true}; }

template <class R>
inline constexpr WireForm kWireForm = wire_form(static_cast<const R*>(nullptr));

template <class R>
int write_record(pdu_buffer* buffer, const R& record);
template <class R>
int read_record(pdu_buffer* buffer, R& record);

// The week-n-day travels as one Octet String of its three octets, under the tag of the field
// that holds it.
inline int write_weeknday(pdu_buffer* buffer, int tag, const BACnetWeekNDay& w)
{
  const uint8_t octets[3] = {w.month, w.week, w.weekday};
  return pdu_write_octets(buffer, tag, octets, 3);
}
inline int read_weeknday(pdu_buffer* buffer, int tag, BACnetWeekNDay& w)
{
  const uint8_t* octets = nullptr;
  uint32_t length = 0;
  uint32_t start = buffer->pos;
  int result = pdu_read_octets(buffer, tag, &octets, &length);
  if (result != 0)
    return result;
  if (length != 3) {
    buffer->pos = start;
    return PDU_MALFORMED;
  }
  w = BACnetWeekNDay{octets[0], octets[1], octets[2]};
  return 0;
}

// The records written their own way.
inline int write_record(pdu_buffer* b, const BACnetWeekNDay& r) { return write_weeknday(b, -1, r); }
inline int write_record(pdu_buffer* b, const BACnetLogRecord& r) { return pdu_encode_log_record(b, &r); }
inline int write_record(pdu_buffer* b, const WriteAccessSpecification& r)
{
  return pdu_encode_write_access_specification(b, &r);
}
inline int write_record(pdu_buffer* b, const ReadAccessResultElement& r)
{
  return pdu_encode_read_access_result_element(b, &r);
}
inline int write_record(pdu_buffer* b, const BACnetDailySchedule& r) { return pdu_encode_daily_schedule(b, &r); }
inline int write_record(pdu_buffer* b, const BACnetSpecialEvent& r) { return pdu_encode_special_event(b, &r); }
inline int write_record(pdu_buffer* b, const BACnetPriorityValue& r) { return pdu_encode_priority_value(b, &r); }
inline int write_record(pdu_buffer* b, const BACnetPropertyStates& r) { return pdu_encode_property_states(b, &r); }
inline int write_record(pdu_buffer* b, const BACnetEventParameter& r) { return pdu_encode_event_parameter(b, &r); }
inline int write_record(pdu_buffer* b, const BACnetNotificationParameters& r)
{
  return pdu_encode_notification_parameters(b, &r);
}
inline int write_record(pdu_buffer* b, const BACnetCOVIncrement& r) { return pdu_encode_client_cov(b, &r); }
inline int write_record(pdu_buffer* b, const TaggedData& r) { return pdu_encode_tagged_data(b, &r); }
inline int read_record(pdu_buffer* b, ReadAccessResultElement& r)
{
  return pdu_decode_read_access_result_element(b, &r);
}
inline int read_record(pdu_buffer* b, BACnetDateTime& r) { return pdu_decode_datetime(b, &r); }

// The tag each field of an R travels with: the application tag, the alternative it holds, or
// its place among the fields that travel.
template <class Walk, class R>
class WireTags : public FieldVisitor<Walk> {
public:
  static constexpr const WireForm& kForm = kWireForm<R>;

  // Whether the field travels at all (the form's `off` fields are not even walked).
  static bool travels(Role role) { return role != Role::local && !is_choice(role); }
  int next_tag()
  {
    int tag = kForm.application ? -1 : (alternative_ >= 0 ? alternative_ : position_++);
    alternative_ = -1;
    return tag;
  }
  // Walks the record in the order of its description, without the fields the form leaves off.
  void walk_record(R& r) { this->template walk<FieldList{}, kForm.off>(r); }

protected:
  int alternative_ = -1;
  int position_ = 0;
};

// Writes the fields; stops at the first failure. A choice that holds no alternative fails.
template <class R>
class WireWrite : public WireTags<WireWrite<R>, R> {
public:
  explicit WireWrite(pdu_buffer* buffer) : buffer_(buffer) {}

  template <class T>
  void visit(const char*, Role role, T& f)
  {
    choice_.met(role);
    if (result_ == 0 && this->travels(role))
      result_ = write(this->next_tag(), role, f);
  }
  template <class C>
  bool holds(C& choice, int n)
  {
    bool held = choice_.holds(choice, n);
    if (held)
      this->alternative_ = n;
    return held;
  }
  int result() const { return result_ != 0 || !choice_.known() ? PDU_ENCODE_FAILED : 0; }

private:
  int write(int tag, Role role, const uint32_t& f)
  {
    switch (role) {
    case Role::enumerated: return pdu_write_enumerated(buffer_, tag, f);
    case Role::optional: return f ? pdu_write_unsigned(buffer_, tag, f) : 0;
    case Role::flag: return pdu_write_boolean(buffer_, tag, f != 0);
    default: return pdu_write_unsigned(buffer_, tag, f);
    }
  }
  int write(int tag, Role, const uint8_t& f) { return pdu_write_boolean(buffer_, tag, f != 0); }
  int write(int tag, Role role, const int32_t& f)
  {
    return role == Role::index ? write_index(buffer_, uint8_t(tag), f) : pdu_write_signed(buffer_, tag, f);
  }
  int write(int tag, Role, const float& f) { return pdu_write_real(buffer_, tag, f); }
  int write(int tag, Role, const BACnetDate& f) { return pdu_write_date(buffer_, tag, &f.year); }
  int write(int tag, Role, const BACnetTime& f) { return pdu_write_time(buffer_, tag, &f.hour); }
  int write(int tag, Role role, const BACnetObjectId& f)
  {
    return role == Role::device && f.type == kNoObject ? 0 : write_object(buffer_, tag, f);
  }
  int write(int tag, Role, const OctetString& f) { return pdu_write_octets(buffer_, tag, f.data, f.length); }
  int write(int tag, Role, const BitString& f) { return write_bits(buffer_, tag, f); }
  int write(int tag, Role, const BACnetValue& f)
  {
    return tag < 0 ? pdu_encode_value(buffer_, &f, -1) : pdu_encode_constructed_value(buffer_, &f, uint8_t(tag));
  }
  int write(int tag, Role, const BACnetWeekNDay& f) { return write_weeknday(buffer_, tag, f); }
  template <class E>
  int write(int tag, Role, const InlineList<E>& f)
  {
    return enclosed_write(buffer_, uint8_t(tag), [&] {
      int result = 0;
      for (uint32_t i = 0; i < f.count && result == 0; ++i)
        result = write_record(buffer_, *inline_list_get(&f, i));
      return result;
    });
  }
  template <DescribedRecord N>
  int write(int tag, Role, const N& f)
  {
    if (tag < 0)
      return write_record(buffer_, f);
    return enclosed_write(buffer_, uint8_t(tag), [&] { return write_record(buffer_, f); });
  }

  pdu_buffer* buffer_;
  int result_ = 0;
  HeldChoice choice_;
};

// Reads the fields; stops at the first failure. A choice takes the alternative whose number is
// the tag number of the next element; a value field is read by the property identifier and
// array index read before it.
template <class R>
class WireRead : public WireTags<WireRead<R>, R> {
public:
  explicit WireRead(pdu_buffer* buffer) : buffer_(buffer) {}

  template <FieldName name, class T>
  void visit(Named<name>, Role role, T& f)
  {
    if (result_ != 0 || ended_)
      return;
    if constexpr (std::is_same_v<T, uint32_t> || std::is_same_v<T, int32_t>) {
      if (is_choice(role))
        return choose(kFieldAlternatives<R, name>, f);
    }
    if (!this->travels(role))
      return;
    bool alternative = this->alternative_ >= 0;
    result_ = read(this->next_tag(), role, f);
    if (alternative && result_ == 0)
      *chosen_ = int32_t(number_);
  }
  template <class C>
  bool holds(C& choice, int n)
  {
    bool held = static_cast<const void*>(&choice) == chosen_ ? number_ == n : static_cast<int64_t>(choice) == n;
    if (held)
      this->alternative_ = n;
    return held;
  }
  int result() const { return result_; }

private:
  template <class C>
  void choose(const FieldAlternatives& alternatives, C& choice)
  {
    if (!pdu_has_data(buffer_)) {
      result_ = PDU_MALFORMED;
      return;
    }
    int tag = pdu_tag_number(buffer_->data[buffer_->pos]);
    if (alternatives.has(tag)) {
      chosen_ = reinterpret_cast<int32_t*>(&choice);
      number_ = tag;
      return;
    }
    ended_ = true;
    if (!this->kForm.unknown_is_empty)
      result_ = PDU_MALFORMED;
  }

  int read(int tag, Role role, uint32_t& f)
  {
    switch (role) {
    case Role::enumerated: {
      int result = pdu_read_enumerated(buffer_, tag, &f);
      property_ = f;
      return result;
    }
    case Role::optional:
      f = 0;
      return pdu_next_is_context(buffer_, uint8_t(tag)) ? pdu_read_unsigned(buffer_, tag, &f) : 0;
    case Role::flag: return read_flag(tag, f);
    default: return pdu_read_unsigned(buffer_, tag, &f);
    }
  }
  int read(int tag, Role, uint8_t& f) { return read_flag(tag, f); }
  int read(int tag, Role role, int32_t& f)
  {
    if (role != Role::index)
      return pdu_read_signed(buffer_, tag, &f);
    int result = read_index(buffer_, uint8_t(tag), &f);
    index_ = f;
    return result;
  }
  int read(int tag, Role, float& f) { return pdu_read_real(buffer_, tag, &f); }
  int read(int tag, Role, BACnetDate& f) { return read_date(buffer_, tag, &f); }
  int read(int tag, Role, BACnetTime& f) { return read_time(buffer_, tag, &f); }
  int read(int tag, Role role, BACnetObjectId& f)
  {
    if (role != Role::device)
      return read_object(buffer_, tag, &f);
    f = BACnetObjectId{kNoObject, 0};
    return pdu_next_is_context(buffer_, uint8_t(tag)) ? read_object(buffer_, tag, &f) : 0;
  }
  int read(int tag, Role, OctetString& f)
  {
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    int result = pdu_read_octets(buffer_, tag, &data, &length);
    return result != 0 ? result : octetstring_set(&f, data, length);
  }
  int read(int tag, Role, BitString& f) { return read_bits(buffer_, tag, &f); }
  int read(int tag, Role, BACnetValue& f)
  {
    if (tag >= 0)
      return pdu_decode_property_value(buffer_, &f, uint8_t(tag), property_, index_);
    // The value carries its own application tag; a context tag is no value here.
    if (!pdu_has_data(buffer_) || pdu_is_context(buffer_->data[buffer_->pos]))
      return PDU_MALFORMED;
    return pdu_decode_value(buffer_, &f, -1);
  }
  int read(int tag, Role, BACnetWeekNDay& f) { return read_weeknday(buffer_, tag, f); }
  // Entries until the closing tag.
  template <class E>
  int read(int tag, Role, InlineList<E>& f)
  {
    int result = pdu_decode_opening_tag(buffer_, uint8_t(tag));
    while (result == 0 && !pdu_next_is(buffer_, pdu_closing_tag(uint8_t(tag)))) {
      if (!pdu_has_data(buffer_))
        return PDU_MALFORMED;
      E* entry = inline_list_add(&f, nullptr);
      if (!entry)
        return VALUE_NO_MEMORY;
      fields_init(*entry);
      result = read_record(buffer_, *entry);
    }
    return result == 0 ? pdu_decode_closing_tag(buffer_, uint8_t(tag)) : result;
  }
  template <DescribedRecord N>
  int read(int tag, Role, N& f)
  {
    if (tag < 0)
      return read_record(buffer_, f);
    return enclosed_read(buffer_, uint8_t(tag), [&] { return read_record(buffer_, f); });
  }
  template <class T>
  int read_flag(int tag, T& f)
  {
    bool flag = false;
    int result = pdu_read_boolean(buffer_, tag, &flag);
    f = flag ? 1 : 0;
    return result;
  }

  pdu_buffer* buffer_;
  int result_ = 0;
  bool ended_ = false;
  int32_t* chosen_ = nullptr;  // the choice field whose alternative the next element names
  int number_ = 0;
  uint32_t property_ = 0;
  int32_t index_ = -1;
};

template <class R>
int write_record(pdu_buffer* buffer, const R& record)
{
  WireWrite<R> walk(buffer);
  walk.walk_record(const_cast<R&>(record));
  return walk.result();
}

template <class R>
int read_record(pdu_buffer* buffer, R& record)
{
  WireRead<R> walk(buffer);
  walk.walk_record(record);
  return walk.result();
}

}  // namespace pdu_fields
