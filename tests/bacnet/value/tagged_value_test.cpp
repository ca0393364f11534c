#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bacnet/value/value.h"
#include "bacnet/value/value_memory.h"
#include "value_samples.h"

using namespace valuetest;

namespace {

bool all_zero(const BACnetValue& v)
{
  static const BACnetValue zero{};
  return std::memcmp(&v, &zero, sizeof v) == 0;
}

// Stops the allocation seam from leaking into the next test.
struct MemoryGuard {
  ~MemoryGuard() { value_mem_fail_after(-1); }
};

std::vector<std::pair<int, std::string>> logged;
void capture_log(int level, const char* text)
{
  logged.emplace_back(level, text);
}

TEST(ValueInit, RefusesTagsNoOperationCreatesAndLeavesNull)
{
  for (uint32_t tag : {13u, 20u, 31u, 34u, 35u, 59u, 66u, 99u, 109u, 111u, 114u, 500u}) {
    BACnetValue v{};
    v.tag = 7;  // stale contents must not survive
    EXPECT_EQ(value_init(&v, tag), VALUE_BAD_ARGUMENT) << tag;
    EXPECT_TRUE(all_zero(v)) << tag;
  }
  EXPECT_EQ(value_init(nullptr, TAG_REAL), VALUE_BAD_ARGUMENT);
}

TEST(ValueInit, PreparesRecordsWithTheirInitialContents)
{
  Holder summary;
  ASSERT_EQ(value_init(summary.get(), TAG_EVENT_SUMMARY), VALUE_OK);
  ASSERT_NE(value_record<EventSummaryEntry>(summary.get()), nullptr);

  for (uint32_t tag : {28u, 33u, 36u, 43u, 44u, 49u, 53u, 55u}) {
    Holder h;
    ASSERT_EQ(value_init(h.get(), tag), VALUE_OK);
    // The array index sits at the same place in none of these records: look by type.
    int32_t index = 0;
    switch (tag) {
    case 28: index = value_record<BACnetActionCommand>(h.get())->array_index; break;
    case 33: index = value_record<BACnetObjectPropertyReference>(h.get())->array_index; break;
    case 36: index = value_record<BACnetDeviceObjectPropertyReference>(h.get())->array_index; break;
    case 43: index = value_record<ReadAccessResultElement>(h.get())->array_index; break;
    case 44: index = value_record<BACnetPropertyReference>(h.get())->array_index; break;
    case 49: index = value_record<BACnetPropertyValue>(h.get())->array_index; break;
    case 53: index = value_record<PropertyCondition>(h.get())->array_index; break;
    case 55: index = value_record<BACnetObjectPropertyValue>(h.get())->array_index; break;
    }
    EXPECT_EQ(index, -1) << tag;
  }
  Holder recipient, parameter, tagged, list;
  value_init(recipient.get(), TAG_RECIPIENT);
  value_init(parameter.get(), TAG_EVENT_PARAMETER);
  value_init(tagged.get(), TAG_TAGGED_DATA);
  value_init(list.get(), TAG_OBJECT_ID_LIST);
  EXPECT_EQ(value_record<BACnetRecipient>(recipient.get())->choice, -1);
  EXPECT_EQ(value_record<BACnetEventParameter>(parameter.get())->choice, EVENT_PARAMETER_NONE);
  EXPECT_EQ(value_record<TaggedData>(tagged.get())->tag_number, -1);
  BACnetValueArray* a = value_array(list.get());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->capacity, 16u);
  EXPECT_EQ(a->used, 0u);
  EXPECT_EQ(a->count, 0u);
  for (uint32_t i = 0; i < a->capacity; ++i)
    EXPECT_TRUE(all_zero(a->elements[i]));
}

TEST(ValueInit, OutOfMemoryKeepsTheTagWithoutRecordAndFreesSafely)
{
  MemoryGuard guard;
  BACnetValue v{};
  value_mem_fail_after(0);
  EXPECT_EQ(value_init(&v, TAG_DATETIME), VALUE_NO_MEMORY);
  EXPECT_EQ(v.tag, TAG_DATETIME);
  EXPECT_EQ(v.payload.record, nullptr);
  value_mem_fail_after(-1);
  EXPECT_EQ(value_free(&v), VALUE_OK);
  EXPECT_TRUE(all_zero(v));
}

TEST(ValueFree, NullUnknownAndRepeatedFreesLeaveZero)
{
  BACnetValue v{};
  EXPECT_EQ(value_free(&v), VALUE_OK);
  v.tag = 20;
  v.payload.unsigned_value = 77;
  EXPECT_EQ(value_free(&v), VALUE_OK);
  EXPECT_TRUE(all_zero(v));
  v = make_sample(TAG_READ_ACCESS_RESULT);
  EXPECT_EQ(value_free(&v), VALUE_OK);
  EXPECT_EQ(value_free(&v), VALUE_OK);
  EXPECT_TRUE(all_zero(v));
  EXPECT_EQ(value_free(nullptr), VALUE_OK);
}

// For every tag: the copy equals the source field by field, shares no heap block with it,
// and outlives it (the sanitizer build sees any use after free or double free).
TEST(ValueCopy, EveryTagCopiesDeeplyWithoutSharedMemory)
{
  for (uint32_t tag : creatable_tags()) {
    SCOPED_TRACE("tag " + std::to_string(tag));
    Holder source(make_sample(tag));
    Holder copy;
    ASSERT_EQ(value_init(copy.get(), tag), VALUE_OK);
    ASSERT_EQ(value_copy(copy.get(), source.get()), VALUE_OK);
    std::string expected = describe(*source);
    EXPECT_EQ(describe(*copy), expected);

    std::set<const void*> a = owned_blocks(*source);
    std::set<const void*> b = owned_blocks(*copy);
    std::vector<const void*> shared;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(shared));
    EXPECT_TRUE(shared.empty()) << shared.size() << " shared blocks";

    value_free(source.get());
    EXPECT_EQ(describe(*copy), expected);
  }
}

TEST(ValueCopy, OverwritesAnEarlierCopyWithoutLeakingIt)
{
  for (uint32_t tag : creatable_tags()) {
    SCOPED_TRACE("tag " + std::to_string(tag));
    Holder source(make_sample(tag, 0));
    Holder destination(make_sample(tag, 1));
    ASSERT_EQ(value_copy(destination.get(), source.get()), VALUE_OK);
    EXPECT_EQ(describe(*destination), describe(*source));
    EXPECT_EQ(value_copy(destination.get(), destination.get()), VALUE_OK);
  }
}

TEST(ValueCopy, RefusesNullArgumentsDifferingTagsAndUnknownContents)
{
  Holder real(real_value(1.0f));
  Holder text(text_value("x"));
  EXPECT_EQ(value_copy(nullptr, real.get()), VALUE_BAD_ARGUMENT);
  EXPECT_EQ(value_copy(real.get(), nullptr), VALUE_BAD_ARGUMENT);
  EXPECT_EQ(value_copy(text.get(), real.get()), VALUE_BAD_ARGUMENT);
  BACnetValue a{20, {}};
  BACnetValue b{20, {}};
  EXPECT_EQ(value_copy(&a, &b), VALUE_BAD_ARGUMENT);
}

TEST(ValueCopy, LogRecordKeepsTheDatumOfEveryChoice)
{
  for (uint32_t choice = 0; choice <= 10; ++choice) {
    SCOPED_TRACE("choice " + std::to_string(choice));
    Holder source;
    value_init(source.get(), TAG_LOG_RECORD);
    auto* r = value_record<BACnetLogRecord>(source.get());
    r->timestamp = {{124, 7, 1, 1}, {8, 0, 0, 0}};
    r->choice = choice;
    switch (choice) {
    case 0:
    case 6: r->bits = bits_of({1, 0, 1}); break;
    case 1: r->datum.boolean = 1; break;
    case 2: r->datum.real = 21.25f; break;
    case 3: r->datum.enumerated = 4; break;
    case 4: r->datum.unsigned_value = 123456; break;
    case 5: r->datum.signed_value = -40; break;
    case 8: r->error_class = 2; r->error_code = 31; break;
    case 9: r->datum.time_change = -3.5f; break;
    case 10: r->any = text_value("beliebig"); break;
    }
    Holder copy;
    value_init(copy.get(), TAG_LOG_RECORD);
    ASSERT_EQ(value_copy(copy.get(), source.get()), VALUE_OK);
    auto* c = value_record<BACnetLogRecord>(copy.get());
    EXPECT_EQ(c->choice, choice);
    EXPECT_EQ(describe(*copy), describe(*source));
    if (choice == 2) {
      EXPECT_EQ(c->datum.real, 21.25f);
    } else if (choice == 5) {
      EXPECT_EQ(c->datum.signed_value, -40);
    } else if (choice == 10) {
      EXPECT_STREQ(c->any.payload.text, "beliebig");
    }
  }
}

TEST(ValueCopy, EventSummariesAndTheirListsAreCopiedNotSkipped)
{
  Holder source(make_sample(TAG_EVENT_SUMMARY_LIST));
  Holder copy;
  value_init(copy.get(), TAG_EVENT_SUMMARY_LIST);
  ASSERT_EQ(value_copy(copy.get(), source.get()), VALUE_OK);
  ASSERT_EQ(value_array(copy.get())->used, 3u);
  EXPECT_EQ(describe(*copy), describe(*source));
}

TEST(ValueCopy, ChoicesARecordDoesNotKnowAreRefused)
{
  Holder event;
  value_init(event.get(), TAG_SPECIAL_EVENT);
  value_record<BACnetSpecialEvent>(event.get())->period_choice = 5;
  Holder copy;
  value_init(copy.get(), TAG_SPECIAL_EVENT);
  EXPECT_EQ(value_copy(copy.get(), event.get()), VALUE_BAD_ARGUMENT);

  Holder priority;
  value_init(priority.get(), TAG_PRIORITY_VALUE);
  value_record<BACnetPriorityValue>(priority.get())->choice = 9;
  Holder pcopy;
  value_init(pcopy.get(), TAG_PRIORITY_VALUE);
  EXPECT_EQ(value_copy(pcopy.get(), priority.get()), VALUE_BAD_ARGUMENT);

  Holder parameter;
  value_init(parameter.get(), TAG_EVENT_PARAMETER);
  value_record<BACnetEventParameter>(parameter.get())->choice = 2;
  value_record<BACnetEventParameter>(parameter.get())->increment_choice = 7;
  Holder ecopy;
  value_init(ecopy.get(), TAG_EVENT_PARAMETER);
  EXPECT_EQ(value_copy(ecopy.get(), parameter.get()), VALUE_BAD_ARGUMENT);
  EXPECT_EQ(value_record<BACnetEventParameter>(ecopy.get())->choice, 2u);
}

// Runs every copy out of memory at each allocation in turn: the result says so, the
// destination stays releasable and the source untouched.
TEST(ValueCopy, OutOfMemoryAtAnyStepLeavesBothValuesSound)
{
  MemoryGuard guard;
  for (uint32_t tag : creatable_tags()) {
    SCOPED_TRACE("tag " + std::to_string(tag));
    Holder source(make_sample(tag));
    std::string expected = describe(*source);
    for (long allowed = 0;; ++allowed) {
      Holder copy;
      value_init(copy.get(), tag);
      value_mem_fail_after(allowed);
      int rc = value_copy(copy.get(), source.get());
      value_mem_fail_after(-1);
      EXPECT_EQ(describe(*source), expected);
      if (rc == VALUE_OK) {
        EXPECT_EQ(describe(*copy), expected);
        break;
      }
      EXPECT_TRUE(rc == VALUE_BAD_ARGUMENT || rc == VALUE_NO_MEMORY) << rc;
      ASSERT_LT(allowed, 200) << "copy never succeeds";
    }
  }
}

TEST(ValueAssign, NullDestinationTakesTheSourceTag)
{
  Holder source(make_sample(TAG_DESTINATION));
  Holder destination;
  ASSERT_EQ(value_assign(destination.get(), source.get(), -1), VALUE_OK);
  EXPECT_EQ(destination->tag, TAG_DESTINATION);
  EXPECT_EQ(describe(*destination), describe(*source));
}

TEST(ValueAssign, UnsignedIntoRealIsRefused)
{
  Holder real(real_value(2.0f));
  Holder number(unsigned_value(3));
  EXPECT_EQ(value_assign(real.get(), number.get(), -1), VALUE_BAD_ARGUMENT);
  EXPECT_EQ(real->payload.real, 2.0f);
}

TEST(ValueAssign, ArrayIndexAnswersCountElementOrFailure)
{
  Holder list(make_sample(TAG_CHARACTER_STRING_LIST));
  Holder out;
  ASSERT_EQ(value_assign(out.get(), list.get(), 0), VALUE_OK);
  EXPECT_EQ(out->tag, TAG_UNSIGNED);
  EXPECT_EQ(out->payload.unsigned_value, 3u);

  ASSERT_EQ(value_assign(out.get(), list.get(), 2), VALUE_OK);
  EXPECT_EQ(out->tag, TAG_CHARACTER_STRING);
  EXPECT_STREQ(out->payload.text, value_array(list.get())->elements[1].payload.text);
  EXPECT_NE(out->payload.text, value_array(list.get())->elements[1].payload.text);

  EXPECT_EQ(value_assign(out.get(), list.get(), 4), VALUE_INVALID_ARRAY_INDEX);
  EXPECT_EQ(value_assign(out.get(), list.get(), -2), VALUE_BAD_ARGUMENT);
  EXPECT_EQ(value_assign(nullptr, list.get(), -1), VALUE_BAD_ARGUMENT);
}

TEST(ValueAssign, WholeListIntoNullIsADeepCopy)
{
  Holder list(make_sample(TAG_TIME_VALUE_LIST));
  Holder copy;
  ASSERT_EQ(value_assign(copy.get(), list.get(), -1), VALUE_OK);
  EXPECT_EQ(describe(*copy), describe(*list));
  value_free(list.get());
  EXPECT_EQ(value_array(copy.get())->used, 3u);

  Holder other(make_sample(TAG_UNSIGNED_LIST));
  EXPECT_EQ(value_assign(copy.get(), other.get(), -1), VALUE_BAD_ARGUMENT);
}

TEST(ValueAssign, ElementAssignmentReplacesAppendsOrEmpties)
{
  Holder list;
  value_init(list.get(), TAG_OBJECT_ID_LIST);
  BACnetObjectId ids[] = {{0, 1}, {0, 2}, {0, 3}};
  for (int i = 0; i < 3; ++i) {
    Holder id;
    value_set_objectid(&ids[i], id.get());
    ASSERT_EQ(value_assign(list.get(), id.get(), i + 1), VALUE_OK);
  }
  BACnetValueArray* a = value_array(list.get());
  ASSERT_EQ(a->used, 3u);
  EXPECT_EQ(a->elements[2].payload.object_id.instance, 3u);

  Holder replacement;
  BACnetObjectId changed{1, 99};
  value_set_objectid(&changed, replacement.get());
  ASSERT_EQ(value_assign(list.get(), replacement.get(), 2), VALUE_OK);
  EXPECT_EQ(a->elements[1].payload.object_id.instance, 99u);
  EXPECT_EQ(a->used, 3u);

  EXPECT_EQ(value_assign(list.get(), replacement.get(), 5), VALUE_BAD_ARGUMENT);  // used + 2
  EXPECT_EQ(value_assign(list.get(), replacement.get(), 0), VALUE_BAD_ARGUMENT);
  Holder wrong(unsigned_value(1));
  EXPECT_EQ(value_assign(list.get(), wrong.get(), 1), VALUE_BAD_ARGUMENT);

  Holder null;
  ASSERT_EQ(value_assign(list.get(), null.get(), 1), VALUE_OK);
  EXPECT_EQ(list->tag, TAG_OBJECT_ID_LIST);
  EXPECT_EQ(a->used, 0u);
  EXPECT_EQ(a->elements, nullptr);
  ASSERT_EQ(value_assign(list.get(), replacement.get(), 1), VALUE_OK);  // usable again
  EXPECT_EQ(a->used, 1u);
}

// Every list with a fixed element kind takes its elements by index and hands them back.
TEST(ValueAssign, EveryElementKindGoesInAndOutByArrayIndex)
{
  for (uint32_t list_tag = 0; list_tag < 128; ++list_tag) {
    uint32_t element_tag = value_list_element_tag(list_tag);
    // Result elements (43) are not assignable on their own; their lists are built by append.
    if (element_tag == 0 || !value_tag_is_creatable(element_tag) || element_tag == TAG_READ_ACCESS_RESULT_ELEMENT)
      continue;
    SCOPED_TRACE("list " + std::to_string(list_tag));
    Holder list;
    ASSERT_EQ(value_init(list.get(), list_tag), VALUE_OK);
    Holder first(make_sample(element_tag, 0));
    Holder second(make_sample(element_tag, 1));
    Holder third(make_sample(element_tag, 2));
    std::string second_text = describe(*second);
    ASSERT_EQ(value_assign(list.get(), first.get(), 1), VALUE_OK);
    ASSERT_EQ(value_assign(list.get(), second.get(), 2), VALUE_OK);
    ASSERT_EQ(value_assign(list.get(), third.get(), 1), VALUE_OK);  // replace
    EXPECT_EQ(value_assign(list.get(), first.get(), 4), VALUE_BAD_ARGUMENT);
    value_free(second.get());  // the list holds its own copy

    Holder count, element;
    ASSERT_EQ(value_assign(count.get(), list.get(), 0), VALUE_OK);
    EXPECT_EQ(count->payload.unsigned_value, 2u);
    ASSERT_EQ(value_assign(element.get(), list.get(), 1), VALUE_OK);
    EXPECT_EQ(describe(*element), describe(*third));
    ASSERT_EQ(value_assign(element.get(), list.get(), 2), VALUE_OK);
    EXPECT_EQ(describe(*element), second_text);
  }
}

TEST(ValueAssign, CollectionsCopyWholeAndUnsupportedSourcesFail)
{
  Holder collection(make_sample(TAG_PROPERTY_VALUE_LIST));
  Holder copy;
  ASSERT_EQ(value_assign(copy.get(), collection.get(), 7), VALUE_OK);  // index ignored
  EXPECT_EQ(describe(*copy), describe(*collection));

  Holder summary(make_sample(TAG_EVENT_SUMMARY));
  Holder out;
  EXPECT_EQ(value_assign(out.get(), summary.get(), -1), VALUE_BAD_ARGUMENT);
  Holder alarm(make_sample(TAG_ALARM_SUMMARY));
  EXPECT_EQ(value_assign(out.get(), alarm.get(), -1), VALUE_BAD_ARGUMENT);
}

TEST(ValueGetElement, CopiesOneElementOrTheWholeList)
{
  Holder list(make_sample(TAG_DESTINATION_LIST));
  Holder plain(real_value(1.0f));
  Holder out;
  EXPECT_EQ(value_get_element(out.get(), plain.get(), 1), VALUE_BAD_ARGUMENT);
  EXPECT_EQ(value_get_element(out.get(), list.get(), 4), VALUE_INVALID_ARRAY_INDEX);

  ASSERT_EQ(value_get_element(out.get(), list.get(), 3), VALUE_OK);
  EXPECT_EQ(describe(*out), describe(value_array(list.get())->elements[2]));

  ASSERT_EQ(value_get_element(out.get(), list.get(), -1), VALUE_OK);
  EXPECT_EQ(describe(*out), describe(*list));
  EXPECT_EQ(value_array(list.get())->count, value_array(list.get())->used);

  // Into a slot of the very list it reads from.
  BACnetValue* first = &value_array(list.get())->elements[0];
  std::string third = describe(value_array(list.get())->elements[2]);
  ASSERT_EQ(value_get_element(first, list.get(), 3), VALUE_OK);
  EXPECT_EQ(describe(*first), third);
}

TEST(ValueAppendElement, CollectsRecordsIntoAList)
{
  Holder target;
  BACnetValue first = make_sample(TAG_PROPERTY_VALUE, 0);
  void* first_record = first.payload.record;
  ASSERT_EQ(value_append_element(target.get(), TAG_PROPERTY_VALUE_LIST, &first), VALUE_OK);
  EXPECT_EQ(target->tag, TAG_PROPERTY_VALUE);
  EXPECT_EQ(target->payload.record, first_record);  // moved, not copied
  EXPECT_TRUE(all_zero(first));

  BACnetValue second = make_sample(TAG_PROPERTY_VALUE, 1);
  ASSERT_EQ(value_append_element(target.get(), TAG_PROPERTY_VALUE_LIST, &second), VALUE_OK);
  ASSERT_EQ(target->tag, TAG_PROPERTY_VALUE_LIST);
  BACnetValueArray* a = value_array(target.get());
  ASSERT_EQ(a->used, 2u);
  EXPECT_EQ(a->elements[0].payload.record, first_record);

  BACnetValue third = make_sample(TAG_PROPERTY_VALUE, 1);
  ASSERT_EQ(value_append_element(target.get(), TAG_PROPERTY_VALUE_LIST, &third), VALUE_OK);
  EXPECT_EQ(a->used, 3u);

  Holder real(real_value(1.0f));
  Holder element(make_sample(TAG_PROPERTY_VALUE));
  EXPECT_EQ(value_append_element(real.get(), TAG_PROPERTY_VALUE_LIST, element.get()), VALUE_BAD_ARGUMENT);
  BACnetValue odd{114, {}};
  EXPECT_EQ(value_append_element(&odd, TAG_PROPERTY_VALUE_LIST, element.get()), VALUE_BAD_ARGUMENT);
  EXPECT_NE(element->payload.record, nullptr);  // a refused element stays with its owner
}

TEST(ValueLog, OutOfMemoryIsReportedAtLevel14OnlyWhenSwitchedOn)
{
  MemoryGuard guard;
  DriverContext context{};
  context.log = capture_log;
  logged.clear();
  value_set_log_callback(&context);  // option byte off: nothing kept
  BitString b{};
  value_mem_fail_after(0);
  EXPECT_EQ(bitstring_append_bit(&b, 1), VALUE_NO_MEMORY);
  EXPECT_TRUE(logged.empty());

  context.options[13] = 1;
  value_set_log_callback(&context);
  EXPECT_EQ(bitstring_append_bit(&b, 1), VALUE_NO_MEMORY);
  BACnetValueArray array{};
  BACnetValue element{};
  EXPECT_EQ(value_array_append(&array, &element), VALUE_NO_MEMORY);
  value_mem_fail_after(-1);
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[0], std::make_pair(14, std::string("Set Bit Error - Insufficient resource")));
  EXPECT_EQ(logged[1], std::make_pair(14, std::string("Set Array Error - Insufficient resource")));
  context.log = nullptr;
  value_set_log_callback(&context);
}

}  // namespace
