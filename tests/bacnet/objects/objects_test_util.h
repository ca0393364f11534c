// Shared pieces of the object database tests: a fixture with a fresh object table and no
// hooks, and small builders of values that release themselves.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/objects/device_object.h"
#include "bacnet/objects/object_hooks.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"
#include "support/scoped_time_zone.h"

namespace objtest {

using Value = OwnedValue;

inline void set_real(Value& out, float f) { value_set_real(&f, out.get()); }
inline void set_unsigned(Value& out, uint32_t n) { value_set_unsigned(&n, out.get()); }
inline void set_enumerated(Value& out, uint32_t n) { value_set_enumerated(&n, out.get()); }
inline void set_boolean(Value& out, bool b)
{
  uint8_t byte = b ? 1 : 0;
  value_set_boolean(&byte, out.get());
}
inline void set_text(Value& out, const char* text) { value_set_charstring(text, out.get()); }
inline void set_bits(Value& out, std::vector<uint8_t> bits)
{
  Owned<BitString, bitstring_free> b;
  bitstring_set(b.get(), bits.data(), static_cast<uint32_t>(bits.size()));
  value_set_bitstring(b.get(), out.get());
}
// A list of `tag` holding the given elements (moved in).
inline void make_list(Value& out, uint32_t tag, std::vector<BACnetValue> elements)
{
  out.reset();
  value_init(out.get(), tag);
  for (BACnetValue& e : elements)
    value_array_append(out->payload.array, &e);
}
inline BACnetValue unsigned_element(uint32_t n)
{
  BACnetValue v{};
  value_set_unsigned(&n, &v);
  return v;
}

inline std::vector<uint8_t> bits_of(const BACnetValue& v)
{
  if (v.tag != TAG_BIT_STRING)
    return {};
  return std::vector<uint8_t>(v.payload.bits.bits, v.payload.bits.bits + v.payload.bits.count);
}
inline std::string text_of(const BACnetValue& v)
{
  return v.tag == TAG_CHARACTER_STRING && v.payload.text ? v.payload.text : "";
}
inline const BACnetValueArray& array_of(const BACnetValue& v) { return *value_array(&v); }

// Reads through the network door; the test fails on a non-zero result.
inline int read(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, Value& out, int32_t index = -1)
{
  return object_ReadObjectProperty(0, owner, type, instance, property, index, out.get());
}
inline int write(uint32_t owner, uint32_t type, uint32_t instance, uint32_t property, Value& in, uint32_t priority = 0,
                 int32_t index = -1)
{
  return object_WriteObjectProperty(0, owner, type, instance, property, index, in.get(), priority);
}

class ObjectsTest : public ::testing::Test {
protected:
  static constexpr uint32_t kOwner = 1234;
  // The local times of the tests are Berlin's, wherever the tests run.
  ScopedTimeZone berlin_{"Europe/Berlin"};

  void SetUp() override
  {
    object_set_hooks(nullptr);
    object_set_log(nullptr);
    object_ClearChanged();
    object_SetLoopEventSwitch(1);
    ASSERT_EQ(objtable_create(), 0);
  }
  void TearDown() override
  {
    objtable_destroy();
    object_set_hooks(nullptr);
    object_set_log(nullptr);
    os_set_clock(nullptr);
  }
  ObjectRecord* create(uint32_t type, uint32_t instance, uint32_t owner = kOwner)
  {
    ObjectRecord* r = object_CreateObject(owner, type, instance);
    EXPECT_NE(r, nullptr) << "type " << type << " instance " << instance;
    return r;
  }
};

}  // namespace objtest
