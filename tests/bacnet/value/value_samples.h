// Test helpers for the value library: fully populated values of every tag, a deep text
// description of a value (every field and every owned byte, no pointers) and the set of heap
// blocks a value owns, so that tests can tell a deep copy from an aliasing one.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace valuetest {

// Every tag value_init accepts.
std::vector<uint32_t> creatable_tags();

// A value of `tag` with every owned part present (strings, bits, nested values, lists).
// `variant` changes the contents so that two samples of one tag differ.
BACnetValue make_sample(uint32_t tag, int variant = 0);

std::string describe(const BACnetValue& value);

// Every heap block the value owns, recursively.
std::set<const void*> owned_blocks(const BACnetValue& value);

using Holder = OwnedValue;

// The text describe() gives the field `name` of a record value (every alternative's fields
// are found), or "" when the record has none of that name.
std::string field_text(const BACnetValue& value, const char* name);

// One value for each kind of field the record descriptions hold, the field `name` set to a
// value that stands out: every form that carries the record must bring it back.
struct FieldCase {
  const char* kind;
  uint32_t tag;
  const char* name;
  void (*set)(BACnetValue& value);
};
std::vector<FieldCase> field_cases();

BACnetValue unsigned_value(uint32_t n);
BACnetValue real_value(float f);
BACnetValue text_value(const char* text);
BACnetValue date_value(uint8_t year, uint8_t month, uint8_t day, uint8_t weekday = 255);
BACnetValue time_value(uint8_t h, uint8_t m, uint8_t s, uint8_t hundredths = 0);
BitString bits_of(std::initializer_list<uint8_t> bits);  // caller releases

}  // namespace valuetest
