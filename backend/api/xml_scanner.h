// The small XML element scanner of the XML API and the growing text it answers in. The format
// knows elements and text only: no declaration, no attributes in use, no entities in names.
// Pure functions on the caller's text; any thread. Must not: read a character outside the
// length it is given, or accept an element name longer than its record holds.
#pragma once

#include <cstddef>
#include <string>

inline constexpr std::size_t kXmlNameCapacity = 256;  // names are shorter than this

// One element found by the scanner.
struct XmlElement {
  const char* text = nullptr;     // where the search began
  std::size_t length = 0;         // characters from `text` to just after the end tag
  const char* content = nullptr;  // just after the start tag's ">"
  std::size_t content_length = 0;
  char name[kXmlNameCapacity] = {};
};

// The position just after the start tag, or null. A non-empty `name` finds "<name>" or, failing
// that, "<name " anywhere in the text; an empty name (name[0] == 0) finds the first "<" and
// copies the tag's name into `name` (a buffer of kXmlNameCapacity). The whole tag lies within
// `length`.
const char* xml_find_start_tag(const char* text, std::size_t length, char* name);
// The position just after the "</name>" that closes the element whose content starts at
// `position`, counting nested elements of the same name; null when there is none.
const char* xml_find_end_tag(const char* position, std::size_t length, const char* name);
// The next element of any name. 0 or -1.
int xml_next_element(XmlElement* record, const char* text, std::size_t length);
// The next element, which must bear `name` exactly. 0 or -1.
int xml_expect_element(XmlElement* record, const char* name, const char* text, std::size_t length);

// Appends text to the answer. 0 or -1.
int xml_append(std::string* out, const char* text);
