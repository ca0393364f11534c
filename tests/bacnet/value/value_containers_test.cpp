#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bacnet/value/value.h"
#include "bacnet/value/value_memory.h"
#include "value_samples.h"

using namespace valuetest;

namespace {

struct MemoryGuard {
  ~MemoryGuard() { value_mem_fail_after(-1); }
};

TEST(OctetString, SetCopiesAndEmptySetReleases)
{
  OctetString s{};
  const uint8_t bytes[] = {1, 2, 3};
  ASSERT_EQ(octetstring_set(&s, bytes, 3), VALUE_OK);
  EXPECT_EQ(s.length, 3u);
  EXPECT_NE(s.data, bytes);
  EXPECT_EQ(std::memcmp(s.data, bytes, 3), 0);
  ASSERT_EQ(octetstring_set(&s, s.data + 1, 2), VALUE_OK);  // from its own octets
  EXPECT_EQ(s.length, 2u);
  EXPECT_EQ(s.data[0], 2);
  ASSERT_EQ(octetstring_set(&s, nullptr, 0), VALUE_OK);
  EXPECT_EQ(s.length, 0u);
  EXPECT_EQ(s.data, nullptr);
  ASSERT_EQ(octetstring_alloc(&s, 5), VALUE_OK);
  EXPECT_EQ(s.length, 5u);
  octetstring_free(&s);
}

TEST(OctetString, OutOfMemoryEmptiesTheString)
{
  MemoryGuard guard;
  OctetString s{};
  const uint8_t bytes[] = {9, 9};
  octetstring_set(&s, bytes, 2);
  value_mem_fail_after(0);
  EXPECT_EQ(octetstring_set(&s, bytes, 2), VALUE_NO_MEMORY);
  EXPECT_EQ(s.length, 0u);
  EXPECT_EQ(s.data, nullptr);
  EXPECT_EQ(octetstring_alloc(&s, 4), VALUE_NO_MEMORY);
  EXPECT_EQ(s.length, 0u);
}

TEST(OctetString, GrowAddsExactlyWhatIsMissing)
{
  MemoryGuard guard;
  ByteBuffer b{};
  ASSERT_EQ(octetstring_grow(&b, 4), VALUE_OK);
  EXPECT_EQ(b.capacity, 4u);
  b.used = 3;
  ASSERT_EQ(octetstring_grow(&b, 1), VALUE_OK);
  EXPECT_EQ(b.capacity, 4u);
  ASSERT_EQ(octetstring_grow(&b, 2), VALUE_OK);
  EXPECT_EQ(b.capacity, 6u);
  value_mem_fail_after(0);
  EXPECT_EQ(octetstring_grow(&b, 10), VALUE_NO_MEMORY);
  EXPECT_EQ(b.capacity, 0u);
  EXPECT_EQ(b.data, nullptr);
}

TEST(BitString, SetCopyAppendAndIndexChecks)
{
  BitString b{};
  ASSERT_EQ(bitstring_set(&b, nullptr, 0), VALUE_OK);
  EXPECT_EQ(b.capacity, 0u);
  EXPECT_EQ(b.bits, nullptr);
  EXPECT_EQ(bitstring_set_bit(&b, 0, 1), VALUE_BAD_ARGUMENT);  // holds no bits

  for (uint8_t bit : {1, 0, 1})
    ASSERT_EQ(bitstring_append_bit(&b, bit), VALUE_OK);
  EXPECT_EQ(b.capacity, 3u);  // one slot at a time
  EXPECT_EQ(b.count, 3u);
  EXPECT_EQ(bitstring_get_bit(&b, 2), 1);
  EXPECT_EQ(bitstring_get_bit(&b, 3), 0);  // at capacity
  EXPECT_EQ(bitstring_set_bit(&b, 3, 1), VALUE_BAD_ARGUMENT);
  EXPECT_EQ(bitstring_set_bit(&b, 1, 1), VALUE_OK);
  bitstring_put_bit(&b, 40, 1);  // ignored, not written
  EXPECT_EQ(bitstring_get_bit(&b, 1), 1);

  BitString c{};
  ASSERT_EQ(bitstring_copy(&c, &b), VALUE_OK);
  EXPECT_NE(c.bits, b.bits);
  EXPECT_EQ(c.capacity, 3u);
  EXPECT_EQ(c.count, 3u);
  EXPECT_EQ(std::memcmp(c.bits, b.bits, 3), 0);
  EXPECT_EQ(bitstring_copy(nullptr, &b), VALUE_BAD_ARGUMENT);
  bitstring_free(&b);
  bitstring_free(&c);
  EXPECT_EQ(b.bits, nullptr);
}

TEST(ValueArray, GrowsBySixteenWheneverFewerAreFree)
{
  Holder list;
  value_init(list.get(), TAG_UNSIGNED_LIST);
  BACnetValueArray* a = value_array(list.get());
  std::vector<uint32_t> capacity_after;
  for (uint32_t i = 1; i <= 18; ++i) {
    BACnetValue e = unsigned_value(i);
    ASSERT_EQ(value_array_append(a, &e), VALUE_OK);
    EXPECT_EQ(e.tag, TAG_NULL);  // moved in
    capacity_after.push_back(a->capacity);
  }
  EXPECT_EQ(capacity_after[0], 16u);
  EXPECT_EQ(capacity_after[1], 32u);
  EXPECT_EQ(capacity_after[16], 32u);
  EXPECT_EQ(capacity_after[17], 48u);
  EXPECT_EQ(a->used, 18u);
  EXPECT_EQ(a->count, 18u);
  for (uint32_t i = a->used; i < a->capacity; ++i)
    EXPECT_EQ(a->elements[i].tag, TAG_NULL);
}

TEST(ValueArray, ReserveFailureLeavesTheArrayAsItWas)
{
  MemoryGuard guard;
  Holder list(make_sample(TAG_CHARACTER_STRING_LIST));
  BACnetValueArray* a = value_array(list.get());
  BACnetValueArray before = *a;
  value_mem_fail_after(0);
  EXPECT_EQ(value_array_reserve(a, 100), VALUE_NO_MEMORY);
  EXPECT_EQ(std::memcmp(&before, a, sizeof before), 0);
}

TEST(ValueListRemove, RemovesTheEqualElementAndCompacts)
{
  Holder list;
  value_init(list.get(), TAG_UNSIGNED_LIST);
  BACnetValueArray* a = value_array(list.get());
  for (uint32_t n : {3u, 7u, 11u, 20u}) {
    BACnetValue e = unsigned_value(n);
    value_array_append(a, &e);
  }
  Holder key(unsigned_value(11));
  ASSERT_EQ(value_list_remove(a, key.get()), VALUE_OK);
  ASSERT_EQ(a->used, 3u);
  EXPECT_EQ(a->capacity, 3u);
  EXPECT_EQ(a->count, 3u);
  EXPECT_EQ(a->elements[2].payload.unsigned_value, 20u);
  EXPECT_EQ(value_list_remove(a, key.get()), VALUE_BAD_ARGUMENT);  // not present

  for (uint32_t n : {3u, 7u, 20u}) {
    Holder k(unsigned_value(n));
    ASSERT_EQ(value_list_remove(a, k.get()), VALUE_OK) << n;
  }
  EXPECT_EQ(a->capacity, 0u);
  EXPECT_EQ(a->count, 0u);
  EXPECT_EQ(a->used, 0u);
  EXPECT_EQ(a->elements, nullptr);
  EXPECT_EQ(value_list_remove(a, key.get()), VALUE_BAD_ARGUMENT);  // empty
  EXPECT_EQ(value_list_remove(nullptr, key.get()), VALUE_BAD_ARGUMENT);
}

TEST(ValueListRemove, FindsOwnedRecordsInASortedList)
{
  Holder list;
  value_init(list.get(), TAG_ADDRESS_BINDING_LIST);
  BACnetValueArray* a = value_array(list.get());
  for (int k = 0; k < 5; ++k) {
    BACnetValue e = make_sample(TAG_ADDRESS_BINDING, k);
    value_array_append(a, &e);
  }
  Holder key(make_sample(TAG_ADDRESS_BINDING, 3));
  ASSERT_EQ(value_list_remove(a, key.get()), VALUE_OK);
  ASSERT_EQ(a->used, 4u);
  for (uint32_t i = 0; i < a->used; ++i)
    EXPECT_NE(value_record<BACnetAddressBinding>(&a->elements[i])->device.instance, 1237u);
}

TEST(InlineList, SeventeenthEntryMovesTheOverflowToThirtyTwoSlots)
{
  PropertyReferenceList list{};
  EXPECT_EQ(inline_list_get(&list, 0), nullptr);
  for (uint32_t i = 0; i < 17; ++i) {
    BACnetPropertyReference ref{i, -1};
    BACnetPropertyReference* stored = inline_list_add(&list, &ref);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->property, i);
    if (i == 15) {
      // 16 entries: position 0 inline, 1-15 in an overflow of 16 slots.
      EXPECT_EQ(list.count, 16u);
    }
  }
  EXPECT_EQ(list.count, 17u);
  EXPECT_EQ(inline_list_get(&list, 0), &list.first);
  EXPECT_EQ(inline_list_get(&list, 16)->property, 16u);
  EXPECT_EQ(inline_list_get(&list, 17), nullptr);
  inline_list_free(&list);
  EXPECT_EQ(list.count, 0u);
  EXPECT_EQ(list.overflow, nullptr);
}

TEST(InlineList, CopyIsDeepAndReplacesTheOldEntries)
{
  Holder result(make_sample(TAG_READ_ACCESS_RESULT));
  auto* source = value_record<ReadAccessResult>(result.get());
  ResultElementList copy{};
  ReadAccessResultElement old{};
  old.value = text_value("alt");
  inline_list_add(&copy, &old);

  ASSERT_EQ(inline_list_copy(&copy, &source->results), VALUE_OK);
  ASSERT_EQ(copy.count, source->results.count);
  for (uint32_t i = 0; i < copy.count; ++i) {
    ReadAccessResultElement* a = inline_list_get(&copy, i);
    ReadAccessResultElement* b = inline_list_get(&source->results, i);
    EXPECT_EQ(describe(a->value), describe(b->value));
    if (a->value.tag == TAG_CHARACTER_STRING) {
      EXPECT_NE(a->value.payload.text, b->value.payload.text);
    }
  }
  ResultElementList empty{};
  ASSERT_EQ(inline_list_copy(&copy, &empty), VALUE_OK);
  EXPECT_EQ(copy.count, 0u);
  EXPECT_EQ(inline_list_copy(nullptr, &empty), VALUE_BAD_ARGUMENT);
}

TEST(InlineList, CopyOutOfMemoryLeavesAnEmptyReleasableList)
{
  MemoryGuard guard;
  Holder spec(make_sample(TAG_READ_ACCESS_SPECIFICATION));
  auto* source = value_record<ReadAccessSpecification>(spec.get());
  PropertyReferenceList copy{};
  value_mem_fail_after(0);
  EXPECT_EQ(inline_list_copy(&copy, &source->references), VALUE_BAD_ARGUMENT);
  value_mem_fail_after(-1);
  EXPECT_EQ(copy.count, 0u);
  EXPECT_EQ(copy.overflow, nullptr);
}

}  // namespace
