// The value records of the objects file. One description per tag serves both directions
// (io_payload), so that what the writer puts down the reader takes up field for field.
// The reader checks every count and length against the bytes left before it allocates.
#include <cstring>
#include <limits>

#include "bacnet/objects/serialize.h"
#include "bacnet/value/value.h"
#include "bacnet/value/value_memory.h"

namespace {

// Nesting of value records: a log record of a remote weekly schedule is the deepest value
// the database holds (about 7); more than this cannot come from the writer.
constexpr int kMaxDepth = 16;
// A MAC address has at most this many octets in a record of the file.
constexpr uint32_t kMaxMacOctets = 8;
constexpr size_t kNoLimit = std::numeric_limits<size_t>::max();

class Writer {
public:
  static constexpr bool kReading = false;
  explicit Writer(std::vector<uint8_t>& out) : out_(out) {}

  bool ok = true;
  void fail() { ok = false; }
  void u32(uint32_t& w) { serialize_put_word(out_, w); }
  void i32(int32_t& w)
  {
    uint32_t u = uint32_t(w);
    u32(u);
  }
  void f32(float& f)
  {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    u32(u);
  }
  void u8(uint8_t& b) { out_.push_back(b); }
  void flag(uint32_t& w)  // a word kept as one byte
  {
    uint8_t b = uint8_t(w);
    u8(b);
  }
  void raw(void* p, size_t n) { out_.insert(out_.end(), static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + n); }
  void pad(size_t n) { out_.insert(out_.end(), n, 0); }
  void octets(OctetString& s, size_t limit)
  {
    if (s.length > limit)
      return fail();
    u32(s.length);
    if (s.length)
      raw(s.data, s.length);
  }
  void text(char*& t)
  {
    uint32_t n = t ? uint32_t(std::strlen(t)) : 0;
    u32(n);
    if (n)
      raw(t, n);
  }
  void bits(BitString& b)
  {
    u32(b.capacity);
    if (b.capacity)
      raw(b.bits, b.capacity);
  }
  bool enter() { return ++depth_ <= kMaxDepth || (fail(), false); }
  void leave() { --depth_; }

private:
  std::vector<uint8_t>& out_;
  int depth_ = 0;
};

class Reader {
public:
  static constexpr bool kReading = true;
  explicit Reader(SerializeReader& r) : r_(r) {}

  bool ok = true;
  void fail() { ok = false; }
  size_t left() const { return r_.left(); }
  bool take(void* p, size_t n)
  {
    if (!ok || r_.left() < n)
      return ok = false;
    std::memcpy(p, r_.data + r_.pos, n);
    r_.pos += n;
    return true;
  }
  void u32(uint32_t& w)
  {
    uint8_t b[4] = {};
    if (take(b, 4))
      w = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  }
  void i32(int32_t& w)
  {
    uint32_t u = 0;
    u32(u);
    w = int32_t(u);
  }
  void f32(float& f)
  {
    uint32_t u = 0;
    u32(u);
    std::memcpy(&f, &u, 4);
  }
  void u8(uint8_t& b) { take(&b, 1); }
  void flag(uint32_t& w)
  {
    uint8_t b = 0;
    u8(b);
    w = b;
  }
  void raw(void* p, size_t n) { take(p, n); }
  void pad(size_t n)
  {
    if (!ok || r_.left() < n)
      return fail();
    r_.pos += n;
  }
  // The length word, checked against the bytes left and the limit.
  uint32_t length(size_t limit)
  {
    uint32_t n = 0;
    u32(n);
    if (ok && (n > r_.left() || n > limit))
      fail();
    return ok ? n : 0;
  }
  void octets(OctetString& s, size_t limit)
  {
    uint32_t n = length(limit);
    if (ok && octetstring_set(&s, r_.data + r_.pos, n) != VALUE_OK)
      fail();
    r_.pos += n;
  }
  void text(char*& t)
  {
    value_mem_free(t);
    t = nullptr;
    uint32_t n = length(kNoLimit);
    if (!ok || n == 0)
      return;
    t = static_cast<char*>(value_mem_alloc(n + 1));
    if (!t)
      return fail();
    std::memcpy(t, r_.data + r_.pos, n);
    t[n] = 0;
    r_.pos += n;
  }
  void bits(BitString& b)
  {
    bitstring_free(&b);
    uint32_t n = length(kNoLimit);
    if (ok && bitstring_set(&b, r_.data + r_.pos, n) != VALUE_OK)
      fail();
    r_.pos += n;
  }
  bool enter() { return ++r_.depth <= kMaxDepth || (fail(), false); }
  void leave() { --r_.depth; }

private:
  SerializeReader& r_;
};

template <class IO>
void io_object(IO& io, BACnetObjectId& id)
{
  io.u32(id.type);
  io.u32(id.instance);
}

template <class IO>
void io_date(IO& io, BACnetDate& d)
{
  io.raw(&d, 4);
}

template <class IO>
void io_time(IO& io, BACnetTime& t)
{
  io.raw(&t, 4);
}

template <class IO>
void io_address(IO& io, BACnetAddressValue& a)
{
  io.u32(a.network);
  io.octets(a.mac, kMaxMacOctets);
}

template <class IO>
void io_reference(IO& io, BACnetDeviceObjectPropertyReference& r)
{
  io_object(io, r.device);
  io_object(io, r.object);
  io.u32(r.property);
  io.i32(r.array_index);
}

template <class IO>
void io_calendar_entry(IO& io, BACnetCalendarEntry& e)
{
  io.u32(e.choice);
  io_date(io, e.date);
  io_date(io, e.range.start);
  io_date(io, e.range.end);
  io.raw(&e.weeknday, 3);
  io.pad(1);
}

template <class IO>
void io_value(IO& io, BACnetValue& v);

template <class IO>
void io_recipient(IO& io, BACnetRecipient& r)
{
  if constexpr (IO::kReading)
    recipient_free(&r);
  io.i32(r.choice);
  switch (r.choice) {
  case -1: break;
  case 0: io_object(io, r.device); break;
  case 1: io_address(io, r.address); break;
  default: io.fail();
  }
}

template <class IO>
void io_event_parameter(IO& io, BACnetEventParameter& p)
{
  if constexpr (IO::kReading)
    value_free_tag51(&p);
  io.u32(p.choice);
  switch (p.choice) {
  case 0:
    io.bits(p.bitmask);
    io_value(io, p.values);
    break;
  case 1: io_value(io, p.values); break;
  case 2: {
    io.u32(p.increment_choice);
    if (p.increment_choice == 0) {
      io.bits(p.bitmask);
      uint32_t capacity = p.bitmask.capacity;  // the word the record keeps there
      io.u32(capacity);
    } else if (p.increment_choice == 1) {
      io.f32(p.increment);
    } else {
      io.fail();
    }
    break;
  }
  case 3: io_reference(io, p.reference); break;
  case 4:
    io.f32(p.deadband);
    io.f32(p.high_limit);
    io.f32(p.low_limit);
    io_reference(io, p.reference);
    break;
  case 5:
    io.f32(p.deadband);
    io.f32(p.high_limit);
    io.f32(p.low_limit);
    break;
  case 10:
    io.u32(p.notification_threshold);
    io.u32(p.previous_count);
    return;
  default: return io.fail();
  }
  io.u32(p.time_delay);
}

template <class IO>
void io_log_record(IO& io, BACnetLogRecord& r)
{
  io.bits(r.status_flags);
  io_date(io, r.timestamp.date);
  io_time(io, r.timestamp.time);
  io.u32(r.choice);
  switch (r.choice) {
  case 0:
  case 6: io.bits(r.bits); break;
  case 1: io.u8(r.datum.boolean); break;
  case 2:
  case 3:
  case 4:
  case 5:
  case 9: io.u32(r.datum.unsigned_value); break;
  case 7: break;
  case 8:
    io.u32(r.error_class);
    io.u32(r.error_code);
    break;
  case 10: io_value(io, r.any); break;
  default: io.fail();
  }
}

template <class Record>
Record& record_of(BACnetValue& v)
{
  return *value_record<Record>(&v);
}

bool stored_list(uint32_t tag)
{
  return tag == TAG_LIST || tag == TAG_PRIORITY_ARRAY || (tag >= 60 && tag <= 65) || (tag >= 67 && tag <= 84) ||
         tag == TAG_TAGGED_DATA_LIST;
}

template <class IO>
void io_list(IO& io, BACnetValue& v)
{
  BACnetValueArray* a = value_array(&v);
  uint32_t n = a ? a->used : 0;
  io.u32(n);
  if constexpr (IO::kReading) {
    // Every element takes at least its tag word.
    if (!io.ok || !a || n > io.left() / 4 || value_array_reserve(a, n) != VALUE_OK)
      return io.fail();
    a->used = a->count = n;
  }
  for (uint32_t i = 0; i < n && io.ok; ++i)
    io_value(io, a->elements[i]);
}

// The payload of a value whose tag is known and whose record (if any) exists.
template <class IO>
void io_payload(IO& io, BACnetValue& v)
{
  BACnetValue::Payload& p = v.payload;
  switch (v.tag) {
  case TAG_NULL: return;
  case TAG_BOOLEAN: return io.u8(p.boolean);
  case TAG_UNSIGNED:
  case TAG_SIGNED:
  case TAG_REAL:
  case TAG_ENUMERATED: return io.u32(p.unsigned_value);
  case TAG_DOUBLE: {
    uint32_t words[2];
    std::memcpy(words, &p.double_value, 8);
    io.u32(words[0]);
    io.u32(words[1]);
    std::memcpy(&p.double_value, words, 8);
    return;
  }
  case TAG_OCTET_STRING: return io.octets(p.octets, kNoLimit);
  case TAG_CHARACTER_STRING: return io.text(p.text);
  case TAG_BIT_STRING: return io.bits(p.bits);
  case TAG_DATE: return io_date(io, p.date);
  case TAG_TIME: return io_time(io, p.time);
  case TAG_OBJECT_ID: return io_object(io, p.object_id);
  case TAG_ADDRESS: return io_address(io, record_of<BACnetAddressValue>(v));
  case TAG_DATETIME: {
    auto& r = record_of<BACnetDateTime>(v);
    io_date(io, r.date);
    return io_time(io, r.time);
  }
  case TAG_CALENDAR_ENTRY: return io_calendar_entry(io, record_of<BACnetCalendarEntry>(v));
  case TAG_DATE_RANGE: {
    auto& r = record_of<BACnetDateRange>(v);
    io_date(io, r.start);
    return io_date(io, r.end);
  }
  case TAG_WEEKNDAY: return io.raw(&record_of<BACnetWeekNDay>(v), 3);
  case TAG_TIME_VALUE: {
    auto& r = record_of<BACnetTimeValue>(v);
    io_time(io, r.time);
    return io_value(io, r.value);
  }
  case TAG_TIMESTAMP: {
    auto& r = record_of<BACnetTimeStamp>(v);
    io.u32(r.choice);
    if (r.choice == 0)
      return io_time(io, r.time);
    if (r.choice == 1)
      return io.u32(r.sequence);
    if (r.choice == 2) {
      io_date(io, r.datetime.date);
      return io_time(io, r.datetime.time);
    }
    return io.fail();
  }
  case TAG_ACTION_COMMAND: {
    auto& r = record_of<BACnetActionCommand>(v);
    io_object(io, r.device);
    io_object(io, r.object);
    io.u32(r.post_delay);
    io.u32(r.priority);
    io.i32(r.array_index);
    io.u32(r.property);
    io_value(io, r.value);
    io.u8(r.quit_on_failure);
    return io.u8(r.write_successful);
  }
  case TAG_SESSION_KEY: {
    auto& r = record_of<BACnetSessionKey>(v);
    io.octets(r.key, kNoLimit);
    return io_address(io, r.peer);
  }
  case TAG_RECIPIENT: return io_recipient(io, record_of<BACnetRecipient>(v));
  case TAG_RECIPIENT_PROCESS: {
    auto& r = record_of<BACnetRecipientProcess>(v);
    io.flag(r.not_empty);
    io.u32(r.process_id);
    return io_recipient(io, r.recipient);
  }
  case TAG_ADDRESS_BINDING: {
    auto& r = record_of<BACnetAddressBinding>(v);
    io_address(io, r.address);
    return io_object(io, r.device);
  }
  case TAG_OBJECT_PROPERTY_REFERENCE: {
    auto& r = record_of<BACnetObjectPropertyReference>(v);
    io_object(io, r.object);
    io.u32(r.property);
    return io.i32(r.array_index);
  }
  case TAG_DEVICE_OBJECT_PROPERTY_REFERENCE: return io_reference(io, record_of<BACnetDeviceObjectPropertyReference>(v));
  case TAG_LOG_RECORD: return io_log_record(io, record_of<BACnetLogRecord>(v));
  case TAG_WRITE_ACCESS_SPECIFICATION: {
    auto& r = record_of<WriteAccessSpecification>(v);
    io_value(io, r.properties);
    return io_object(io, r.object);
  }
  case TAG_READ_ACCESS_RESULT_ELEMENT: {
    auto& r = record_of<ReadAccessResultElement>(v);
    io.u32(r.property);
    io.i32(r.array_index);
    io.u32(r.choice);
    io_value(io, r.value);
    io.u32(r.error_class);
    return io.u32(r.error_code);
  }
  case TAG_PROPERTY_REFERENCE: {
    auto& r = record_of<BACnetPropertyReference>(v);
    io.u32(r.property);
    return io.i32(r.array_index);
  }
  case TAG_DESTINATION: {
    auto& r = record_of<BACnetDestination>(v);
    io.bits(r.transitions);
    io.bits(r.valid_days);
    io_time(io, r.from);
    io_time(io, r.to);
    io_recipient(io, r.recipient);
    io.u32(r.process_id);
    io.u8(r.issue_confirmed);
    return io.u32(r.lifetime);
  }
  case TAG_DAILY_SCHEDULE: return io_value(io, record_of<BACnetDailySchedule>(v).day_schedule);
  case TAG_SPECIAL_EVENT: {
    auto& r = record_of<BACnetSpecialEvent>(v);
    io.u32(r.priority);
    io_value(io, r.time_values);
    io.u32(r.period_choice);
    if (r.period_choice == 0)
      return io_calendar_entry(io, r.calendar_entry);
    if (r.period_choice == 1)
      return io_object(io, r.calendar_reference);
    return io.fail();
  }
  case TAG_PRIORITY_VALUE: {
    auto& r = record_of<BACnetPriorityValue>(v);
    io.u32(r.choice);
    if (r.choice >= 1 && r.choice <= 3)
      return io.u32(r.unsigned_value);
    if (r.choice == 4)
      return io_value(io, r.value);
    return r.choice == 0 ? void() : io.fail();
  }
  case TAG_PROPERTY_VALUE: {
    auto& r = record_of<BACnetPropertyValue>(v);
    io.u32(r.priority);
    io.i32(r.array_index);
    io.u32(r.property);
    return io_value(io, r.value);
  }
  case TAG_PROPERTY_STATES: {
    auto& r = record_of<BACnetPropertyStates>(v);
    io.u32(r.choice);
    if (r.choice > 11)
      return io.fail();
    return r.choice == 0 ? io.flag(r.value) : io.u32(r.value);
  }
  case TAG_EVENT_PARAMETER: return io_event_parameter(io, record_of<BACnetEventParameter>(v));
  case TAG_PROPERTY_CONDITION: {
    auto& r = record_of<PropertyCondition>(v);
    io_value(io, r.comparison);
    io.i32(r.array_index);
    io.u32(r.property);
    return io.u32(r.relation);
  }
  case TAG_COV_INCREMENT: {
    auto& r = record_of<BACnetCOVIncrement>(v);
    io.u32(r.choice);
    return r.choice == 0 ? io.f32(r.real) : void();
  }
  case TAG_OBJECT_PROPERTY_VALUE: {
    auto& r = record_of<BACnetObjectPropertyValue>(v);
    io_object(io, r.object);
    io.u32(r.property);
    io.i32(r.array_index);
    io_value(io, r.value);
    return io.u32(r.priority);
  }
  case TAG_TAGGED_DATA: {
    auto& r = record_of<TaggedData>(v);
    io.i32(r.tag_number);
    return io_value(io, r.value);
  }
  default:
    if (stored_list(v.tag))
      return io_list(io, v);
    return io.fail();
  }
}

bool known_tag(uint32_t tag)
{
  return tag <= TAG_OBJECT_ID || (tag >= TAG_ADDRESS && tag <= TAG_RECIPIENT_PROCESS) ||
         tag == TAG_ADDRESS_BINDING || tag == TAG_OBJECT_PROPERTY_REFERENCE ||
         tag == TAG_DEVICE_OBJECT_PROPERTY_REFERENCE || tag == TAG_LOG_RECORD ||
         tag == TAG_WRITE_ACCESS_SPECIFICATION || tag == TAG_READ_ACCESS_RESULT_ELEMENT ||
         tag == TAG_PROPERTY_REFERENCE || (tag >= TAG_DESTINATION && tag <= TAG_EVENT_PARAMETER) ||
         tag == TAG_PROPERTY_CONDITION || tag == TAG_COV_INCREMENT || tag == TAG_OBJECT_PROPERTY_VALUE ||
         tag == TAG_TAGGED_DATA || stored_list(tag);
}

template <class IO>
void io_value(IO& io, BACnetValue& v)
{
  if constexpr (IO::kReading)
    value_free(&v);
  if (!io.ok || !io.enter())
    return;
  uint32_t tag = v.tag;
  io.u32(tag);
  if (io.ok && !known_tag(tag))
    io.fail();
  if constexpr (IO::kReading) {
    if (io.ok && value_init(&v, tag) != VALUE_OK)
      io.fail();
    // A record that could not be made leaves nothing to fill.
    if (io.ok && value_tag_is_record(tag) && !v.payload.record)
      io.fail();
  }
  if (io.ok)
    io_payload(io, v);
  io.leave();
}

}  // namespace

void serialize_put_word(std::vector<uint8_t>& out, uint32_t word)
{
  for (int i = 0; i < 4; ++i)
    out.push_back(uint8_t(word >> (8 * i)));
}

bool serialize_get_word(SerializeReader& reader, uint32_t* word)
{
  Reader io(reader);
  uint32_t w = 0;
  io.u32(w);
  if (io.ok && word)
    *word = w;
  return io.ok;
}

bool serialize_WriteValue(std::vector<uint8_t>& out, const BACnetValue* value)
{
  if (!value)
    return false;
  Writer io(out);
  io_value(io, const_cast<BACnetValue&>(*value));
  return io.ok;
}

bool serialize_WriteBitString(std::vector<uint8_t>& out, const BitString* bits)
{
  if (!bits)
    return false;
  Writer io(out);
  io.bits(const_cast<BitString&>(*bits));
  return io.ok;
}

bool serialize_WriteRecipient(std::vector<uint8_t>& out, const BACnetRecipient* recipient)
{
  Writer io(out);
  io_recipient(io, const_cast<BACnetRecipient&>(*recipient));
  return io.ok;
}

bool serialize_WriteEventParameter(std::vector<uint8_t>& out, const BACnetEventParameter* parameter)
{
  Writer io(out);
  io_event_parameter(io, const_cast<BACnetEventParameter&>(*parameter));
  return io.ok;
}

int serialize_ReadValue(SerializeReader& reader, BACnetValue* value)
{
  if (!value)
    return 1;
  Reader io(reader);
  io_value(io, *value);
  return io.ok ? 0 : 1;
}

int serialize_ReadBitString(SerializeReader& reader, BitString* bits)
{
  if (!bits)
    return 1;
  Reader io(reader);
  io.bits(*bits);
  return io.ok ? 0 : 1;
}

int serialize_ReadRecipient(SerializeReader& reader, BACnetRecipient* recipient)
{
  Reader io(reader);
  io_recipient(io, *recipient);
  return io.ok ? 0 : 1;
}

int serialize_ReadEventParameter(SerializeReader& reader, BACnetEventParameter* parameter)
{
  Reader io(reader);
  io_event_parameter(io, *parameter);
  return io.ok ? 0 : 1;
}
