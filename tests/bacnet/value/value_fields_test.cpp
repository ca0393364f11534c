// The descriptions of the records: each one names every byte of its record, so that no walk
// over it misses a field, and tells the alternatives of its choices in order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bacnet/value/value.h"
#include "bacnet/value/value_fields.h"
#include "value_samples.h"

namespace {

// Zeroes every field the description names, in every alternative.
class Clear : public FieldVisitor<Clear, true> {
public:
  template <class T>
  void visit(const char*, Role, T& f)
  {
    if constexpr (DescribedRecord<T>)
      fields(*this, f);
    else
      std::memset(static_cast<void*>(&f), 0, sizeof f);
  }
};

template <class Check, class... R>
void each_record(std::tuple<R...>*, Check check)
{
  (check(std::type_identity<R>{}), ...);
}

TEST(RecordDescriptions, NameEveryByteOfTheirRecord)
{
  each_record(static_cast<ValueRecords*>(nullptr), []<class R>(std::type_identity<R>) {
    alignas(R) unsigned char raw[sizeof(R)];
    std::memset(raw, 0xA5, sizeof raw);
    R* record = reinterpret_cast<R*>(raw);
    __builtin_clear_padding(record);
    Clear clear;
    fields(clear, *record);
    for (size_t i = 0; i < sizeof raw; ++i)
      if (raw[i] != 0)
        return ADD_FAILURE() << "tag " << R::kTag << ": no field names byte " << i;
  });
}

TEST(RecordDescriptions, NameTheAlternativesOfTheirChoicesInOrder)
{
  auto listed = [](auto& record, const auto& choice) {
    FieldAlternative alternatives[8];
    int count = field_alternatives(record, choice, alternatives, 8);
    std::string text;
    for (int i = 0; i < count; ++i)
      text += std::to_string(alternatives[i].number) + " " + alternatives[i].name + ";";
    return text;
  };
  BACnetRecipient recipient{};
  BACnetCalendarEntry entry{};
  BACnetTimeStamp stamp{};
  BACnetSpecialEvent event{};
  BACnetPriorityValue priority{};
  EXPECT_EQ(listed(recipient, recipient.choice), "0 DEVICE;1 ADDRESS;");
  EXPECT_EQ(listed(entry, entry.choice), "0 DATE;1 DATERANGE;2 WEEKNDAY;");
  EXPECT_EQ(listed(stamp, stamp.choice), "0 TIME;1 SEQUENCENUMBER;2 DATETIME;");
  EXPECT_EQ(listed(event, event.period_choice), "0 CALENDARENTRY;1 CALENDARREFERENCE;");
  EXPECT_EQ(listed(priority, priority.choice), "1 REAL;2 BINARY;3 UNSIGNEDINTEGER;4 VALUE;");
}

// Each kind of field comes through a copy, and the copy orders equal to its source.
TEST(RecordDescriptions, EveryKindOfFieldIsCopied)
{
  for (const valuetest::FieldCase& c : valuetest::field_cases()) {
    SCOPED_TRACE(c.kind);
    valuetest::Holder source(valuetest::make_sample(c.tag));
    c.set(*source);
    valuetest::Holder copy;
    ASSERT_EQ(value_init(copy.get(), c.tag), VALUE_OK);
    ASSERT_EQ(value_copy(copy.get(), source.get()), VALUE_OK);
    EXPECT_NE(valuetest::field_text(*source, c.name), "");
    EXPECT_EQ(valuetest::field_text(*copy, c.name), valuetest::field_text(*source, c.name));
    EXPECT_EQ(valuetest::describe(*copy), valuetest::describe(*source));
    EXPECT_EQ(value_order(copy.get(), source.get()), 0);
  }
}

}  // namespace
