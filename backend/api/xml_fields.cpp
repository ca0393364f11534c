#include "backend/api/xml_fields.h"

#include "backend/api/api_codec.h"
#include "bacnet/codec/codec_primitives.h"
#include "bacnet/foundation/hex_digit.h"
#include "bacnet/value/value_containers.h"
#include "bacnet/value/value_memory.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace {

constexpr uint32_t kYearBase = 1900;
constexpr int32_t kNoIndex = -1;
constexpr uint32_t kMaxPriority = 16;

// Numbers are read whole, as the text commands read them: decimal digits, with a "-" before
// them only where the field may be negative. What "%d" would also take (blanks, "+", or the
// digits before "e3", "x10", ".9" or any other text) would make a request act on another
// number than the one its client wrote.
bool whole_integer(std::string_view text, bool may_be_negative, long long* out)
{
  bool negative = may_be_negative && !text.empty() && text.front() == '-';
  if (negative)
    text.remove_prefix(1);
  uint32_t digits = 0;
  if (!api_decimal(text, &digits))
    return false;
  *out = negative ? -static_cast<long long>(digits) : digits;
  return true;
}

// The numbers of a date or a time, each in digits alone, between the separators they are
// written with.
class NumberParts {
public:
  explicit NumberParts(std::string_view text) : rest_(text) {}

  // The digits up to `separator`, or up to the end when it is 0.
  bool number(char separator, uint32_t* out)
  {
    std::size_t end = separator ? rest_.find(separator) : rest_.size();
    if (end == std::string_view::npos || !api_decimal(rest_.substr(0, end), out))
      return false;
    rest_.remove_prefix(separator ? end + 1 : end);
    return true;
  }

  bool byte(char separator, uint8_t* out)
  {
    uint32_t v = 0;
    if (!number(separator, &v) || v > 255)
      return false;
    *out = uint8_t(v);
    return true;
  }

private:
  std::string_view rest_;
};

// A float or double as strtof or strtod reads it, but only when the number is the whole text.
template <class T>
bool floating(std::string_view view, T* out)
{
  if (view.empty() || std::isspace(static_cast<unsigned char>(view.front())))
    return false;
  std::string text(view);
  char* end = nullptr;
  T v = std::is_same_v<T, float> ? std::strtof(text.c_str(), &end) : std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size())
    return false;
  *out = v;
  return true;
}

void put_number(std::string* out, const char* name, const char* format, auto value)
{
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  xml_open(out, name);
  out->append(text);
  xml_close(out, name);
}

}  // namespace

// ---- Reader ------------------------------------------------------------------------------

bool XmlFields::take(const char* name, XmlFields* content)
{
  XmlElement element;
  if (xml_expect_element(&element, name, text_, length_) != 0)
    return false;
  *content = XmlFields(element.content, element.content_length, depth_);
  text_ += element.length;
  length_ -= element.length;
  return true;
}

bool XmlFields::begins_with(const char* name) const
{
  std::string tag = std::string("<") + name + ">";
  return view().substr(0, tag.size()) == tag;
}

bool XmlFields::next_name(std::string* name) const
{
  char found[kXmlNameCapacity] = {};
  if (!xml_find_start_tag(text_, length_, found))
    return false;
  *name = found;
  return true;
}

bool XmlFields::as_u32(uint32_t* out) const
{
  long long v = 0;
  if (!whole_integer(view(), false, &v) || v > UINT32_MAX)
    return false;
  *out = uint32_t(v);
  return true;
}

bool XmlFields::as_i32(int32_t* out) const
{
  long long v = 0;
  if (!whole_integer(view(), true, &v) || v < INT32_MIN || v > INT32_MAX)
    return false;
  *out = int32_t(v);
  return true;
}

bool XmlFields::as_index(int32_t* out) const
{
  int32_t v = 0;
  if (!as_i32(&v) || v < kNoIndex)
    return false;
  *out = v;
  return true;
}

bool XmlFields::as_priority(uint32_t* out) const
{
  uint32_t v = 0;
  if (!as_u32(&v) || v > kMaxPriority)
    return false;
  *out = v;
  return true;
}

bool XmlFields::as_u8(uint8_t* out) const { return NumberParts(view()).byte(0, out); }

bool XmlFields::as_real(float* out) const { return floating(view(), out); }
bool XmlFields::as_double(double* out) const { return floating(view(), out); }

bool XmlFields::as_octets(OctetString* out) const
{
  std::string_view text = view();
  std::string bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    int high = hex_digit(text[i]), low = hex_digit(text[i + 1]);
    if (high < 0 || low < 0)
      return false;
    bytes.push_back(char(high << 4 | low));
  }
  return octetstring_set(out, reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size())) == 0;
}

bool XmlFields::as_bits(BitString* out) const
{
  std::string bits;
  for (char c : view())
    bits.push_back(c == '1' ? 1 : 0);
  return bitstring_set(out, reinterpret_cast<const uint8_t*>(bits.data()), uint32_t(bits.size())) == 0;
}

bool XmlFields::as_date(BACnetDate* out) const
{
  NumberParts parts(view());
  BACnetDate date{};
  uint32_t year = 0;
  if (!parts.byte('/', &date.month) || !parts.byte('/', &date.day) || !parts.number(0, &year) || year < kYearBase ||
      year > kYearBase + 255)
    return false;
  date.year = uint8_t(year - kYearBase);
  date.weekday = VALUE_ANY;
  *out = date;
  return true;
}

bool XmlFields::as_time(BACnetTime* out) const
{
  NumberParts parts(view());
  BACnetTime time{};
  if (!parts.byte(':', &time.hour) || !parts.byte(' ', &time.minute) || !parts.byte('.', &time.second) ||
      !parts.byte(0, &time.hundredths))
    return false;
  *out = time;
  return true;
}

bool XmlFields::as_text(char** out) const
{
  static constexpr struct {
    std::string_view entity;
    char c;
  } kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}};
  std::string_view text = view();
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool decoded = false;
    for (const auto& e : kEntities)
      if (text.substr(i, e.entity.size()) == e.entity) {
        plain.push_back(e.c);
        i += e.entity.size() - 1;
        decoded = true;
        break;
      }
    if (!decoded)
      plain.push_back(text[i]);
  }
  value_mem_free(*out);
  *out = nullptr;
  if (plain.empty())
    return true;
  *out = value_mem_strdup(plain.c_str());
  return *out != nullptr;
}

// take(name) and one of the readers of the whole content.
template <class T>
bool XmlFields::field(const char* name, T* out, bool (XmlFields::*as)(T*) const)
{
  XmlFields f;
  return take(name, &f) && (f.*as)(out);
}

bool XmlFields::u32(const char* name, uint32_t* out) { return field(name, out, &XmlFields::as_u32); }
bool XmlFields::i32(const char* name, int32_t* out) { return field(name, out, &XmlFields::as_i32); }
bool XmlFields::u8(const char* name, uint8_t* out) { return field(name, out, &XmlFields::as_u8); }
bool XmlFields::priority(const char* name, uint32_t* out) { return field(name, out, &XmlFields::as_priority); }
bool XmlFields::real(const char* name, float* out) { return field(name, out, &XmlFields::as_real); }
bool XmlFields::bits(const char* name, BitString* out) { return field(name, out, &XmlFields::as_bits); }
bool XmlFields::octets(const char* name, OctetString* out) { return field(name, out, &XmlFields::as_octets); }
bool XmlFields::date(const char* name, BACnetDate* out) { return field(name, out, &XmlFields::as_date); }
bool XmlFields::time(const char* name, BACnetTime* out) { return field(name, out, &XmlFields::as_time); }

bool XmlFields::object_id(const char* name, BACnetObjectId* out)
{
  XmlFields f;
  return take(name, &f) && f.object_id_fields(out);
}

bool XmlFields::object_id_fields(BACnetObjectId* out)
{
  // The encoder keeps only the identifier's low bits: a larger number would name another object.
  BACnetObjectId id{};
  if (!u32("OBJECTTYPE", &id.type) || !u32("INSTANCE", &id.instance) || id.type > PDU_MAX_OBJECT_TYPE ||
      id.instance > PDU_MAX_INSTANCE)
    return false;
  *out = id;
  return true;
}

bool XmlFields::optional_index(const char* name, int32_t* out)
{
  *out = kNoIndex;
  return !begins_with(name) || field(name, out, &XmlFields::as_index);
}

bool XmlFields::error_pair(uint32_t* error_class, uint32_t* error_code)
{
  return u32("ERRORCLASS", error_class) && u32("ERRORCODE", error_code);
}

// ---- Writers -----------------------------------------------------------------------------

void xml_open(std::string* out, const char* name)
{
  out->push_back('<');
  out->append(name);
  out->push_back('>');
}

void xml_close(std::string* out, const char* name)
{
  out->append("</");
  out->append(name);
  out->push_back('>');
}

void xml_put_u32(std::string* out, const char* name, uint32_t v) { put_number(out, name, "%u", v); }
void xml_put_i32(std::string* out, const char* name, int32_t v) { put_number(out, name, "%d", v); }
void xml_put_real(std::string* out, const char* name, float v) { put_number(out, name, "%f", double(v)); }

void xml_put_bits_content(std::string* out, const BitString& bits)
{
  for (uint32_t i = 0; i < bits.count; ++i)
    out->push_back(bitstring_get_bit(&bits, i) ? '1' : '0');
}

void xml_put_octets_content(std::string* out, const OctetString& octets)
{
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (uint32_t i = 0; i < octets.length && octets.data; ++i) {
    out->push_back(kDigits[octets.data[i] >> 4]);
    out->push_back(kDigits[octets.data[i] & 15]);
  }
}

void xml_put_bits(std::string* out, const char* name, const BitString& bits)
{
  xml_open(out, name);
  xml_put_bits_content(out, bits);
  xml_close(out, name);
}

void xml_put_octets(std::string* out, const char* name, const OctetString& octets)
{
  xml_open(out, name);
  xml_put_octets_content(out, octets);
  xml_close(out, name);
}

void xml_put_date_content(std::string* out, const BACnetDate& date)
{
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", date.month, date.day, date.year + int(kYearBase));
  out->append(text);
}

void xml_put_time_content(std::string* out, const BACnetTime& time)
{
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d %d.%02d", time.hour, time.minute, time.second, time.hundredths);
  out->append(text);
}

void xml_put_date(std::string* out, const char* name, const BACnetDate& date)
{
  xml_open(out, name);
  xml_put_date_content(out, date);
  xml_close(out, name);
}

void xml_put_time(std::string* out, const char* name, const BACnetTime& time)
{
  xml_open(out, name);
  xml_put_time_content(out, time);
  xml_close(out, name);
}

void xml_put_object_id(std::string* out, const char* name, const BACnetObjectId& id)
{
  xml_open(out, name);
  xml_put_u32(out, "OBJECTTYPE", id.type);
  xml_put_u32(out, "INSTANCE", id.instance);
  xml_close(out, name);
}

void xml_put_index(std::string* out, const char* name, int32_t index)
{
  if (index >= 0)
    xml_put_i32(out, name, index);
}

void xml_put_error_pair(std::string* out, uint32_t error_class, uint32_t error_code)
{
  xml_put_u32(out, "ERRORCLASS", error_class);
  xml_put_u32(out, "ERRORCODE", error_code);
}

void xml_put_text_content(std::string* out, const char* text)
{
  for (const char* c = text ? text : ""; *c; ++c) {
    switch (*c) {
      case '&': out->append("&amp;"); break;
      case '<': out->append("&lt;"); break;
      case '>': out->append("&gt;"); break;
      default: out->push_back(*c);
    }
  }
}
