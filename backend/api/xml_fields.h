// Reading and writing the fields of one XML element: a reader over an element's content that
// takes field elements in order, and writers of the field forms every value format shares
// (numbers, bits, octets, dates, times, object identifiers, error pairs). Any thread; no state.
// Must not: read outside the content it was given, or let nesting grow without a bound.
#pragma once

#include "backend/api/xml_scanner.h"
#include "bacnet/value/value_types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Nested typed values deeper than this fail, so hostile input cannot exhaust the stack.
inline constexpr int kXmlMaxDepth = 32;

// The remaining content of one element. Each field element must begin where the previous one
// ended; text between elements is skipped over by the scanner.
class XmlFields {
public:
  XmlFields() = default;
  XmlFields(const char* text, std::size_t length, int depth = 0) : text_(text), length_(length), depth_(depth) {}

  // The next element must bear `name`; `content` becomes its content and the reader moves past it.
  bool take(const char* name, XmlFields* content);
  // The text at the position begins with "<name>".
  bool begins_with(const char* name) const;
  // The name of the next element; false when none follows.
  bool next_name(std::string* name) const;
  std::string_view view() const { return {text_, length_}; }
  int depth() const { return depth_; }

  // The whole content as one datum. A number is the whole content: decimal digits, and a "-"
  // before them where the field may be negative.
  bool as_u32(uint32_t* out) const;  // no "-": -1 would reach the device as 4294967295
  bool as_i32(int32_t* out) const;
  bool as_index(int32_t* out) const;      // an array index, or -1 for none
  bool as_priority(uint32_t* out) const;  // 1 to 16, or 0 for none
  bool as_u8(uint8_t* out) const;    // 0 to 255
  bool as_real(float* out) const;
  bool as_double(double* out) const;
  bool as_octets(OctetString* out) const;  // pairs of hex digits
  bool as_bits(BitString* out) const;      // one "1" or "0" a bit
  bool as_date(BACnetDate* out) const;     // month/day/year
  bool as_time(BACnetTime* out) const;     // hour:minute second.hundredths, one blank
  bool as_text(char** out) const;          // &amp; &lt; &gt; decoded; value-library memory

  // take(name) and the datum in one step.
  bool u32(const char* name, uint32_t* out);
  bool i32(const char* name, int32_t* out);
  bool u8(const char* name, uint8_t* out);
  bool priority(const char* name, uint32_t* out);
  bool real(const char* name, float* out);
  bool bits(const char* name, BitString* out);
  bool octets(const char* name, OctetString* out);
  bool date(const char* name, BACnetDate* out);
  bool time(const char* name, BACnetTime* out);
  bool object_id(const char* name, BACnetObjectId* out);  // OBJECTTYPE, INSTANCE inside
  // OBJECTTYPE and INSTANCE right here; false when either lies outside what BACnet encodes.
  bool object_id_fields(BACnetObjectId* out);
  // An index element read only when it begins right here; otherwise -1 and nothing is taken.
  bool optional_index(const char* name, int32_t* out);
  // ERRORCLASS and ERRORCODE.
  bool error_pair(uint32_t* error_class, uint32_t* error_code);
  // Every element that follows must bear `name`; each one's content is handed to `one` in turn.
  template <class One>
  bool each(const char* name, One one)
  {
    std::string next;
    while (next_name(&next)) {
      XmlFields content;
      if (!take(name, &content) || !one(content))
        return false;
    }
    return true;
  }

private:
  template <class T>
  bool field(const char* name, T* out, bool (XmlFields::*as)(T*) const);

  const char* text_ = "";
  std::size_t length_ = 0;
  int depth_ = 0;
};

// Writers: "<name>", the datum, "</name>".
void xml_open(std::string* out, const char* name);
void xml_close(std::string* out, const char* name);
void xml_put_u32(std::string* out, const char* name, uint32_t v);
void xml_put_i32(std::string* out, const char* name, int32_t v);
void xml_put_real(std::string* out, const char* name, float v);
void xml_put_bits(std::string* out, const char* name, const BitString& bits);
void xml_put_octets(std::string* out, const char* name, const OctetString& octets);
void xml_put_date(std::string* out, const char* name, const BACnetDate& date);
void xml_put_time(std::string* out, const char* name, const BACnetTime& time);
void xml_put_object_id(std::string* out, const char* name, const BACnetObjectId& id);
// Written only when the index is not negative.
void xml_put_index(std::string* out, const char* name, int32_t index);
void xml_put_error_pair(std::string* out, uint32_t error_class, uint32_t error_code);
// The contents alone.
void xml_put_date_content(std::string* out, const BACnetDate& date);
void xml_put_time_content(std::string* out, const BACnetTime& time);
void xml_put_text_content(std::string* out, const char* text);  // & < > escaped
void xml_put_bits_content(std::string* out, const BitString& bits);
void xml_put_octets_content(std::string* out, const OctetString& octets);
