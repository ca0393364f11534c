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

std::string listed(const FieldAlternatives& alternatives)
{
  std::string text;
  for (int i = 0; i < alternatives.count; ++i)
    text += std::to_string(alternatives.list[i].number) + " " + alternatives.list[i].name + ";";
  return text;
}

TEST(RecordDescriptions, NameTheAlternativesOfTheirChoicesInOrder)
{
  EXPECT_EQ(listed(kFieldAlternatives<BACnetRecipient, "CHOICE">), "0 DEVICE;1 ADDRESS;");
  EXPECT_EQ(listed(kFieldAlternatives<BACnetCalendarEntry, "CHOICE">), "0 DATE;1 DATERANGE;2 WEEKNDAY;");
  EXPECT_EQ(listed(kFieldAlternatives<BACnetTimeStamp, "CHOICE">), "0 TIME;1 SEQUENCENUMBER;2 DATETIME;");
  EXPECT_EQ(listed(kFieldAlternatives<BACnetSpecialEvent, "CHOICE">), "0 CALENDARENTRY;1 CALENDARREFERENCE;");
  EXPECT_EQ(listed(kFieldAlternatives<BACnetPriorityValue, "CHOICE">), "1 REAL;2 BINARY;3 UNSIGNEDINTEGER;4 VALUE;");
  EXPECT_EQ(listed(kFieldAlternatives<BACnetPriorityValue, "REAL">), "");
}

// The names of the fields a walk visits, in its order.
class Names : public FieldVisitor<Names> {
public:
  std::string text;

  template <class T>
  void visit(const char* name, Role, T&)
  {
    text += std::string(name) + " ";
  }
};

// A walk puts the fields of its front list first, in the list's order, then the others in
// the order of the description, without those of its skip list; alternatives the record
// does not hold stay out wherever they are named.
TEST(RecordDescriptions, WalksTakeTheirFrontFieldsFirstAndLeaveTheirSkippedFieldsOut)
{
  BACnetPropertyValue value{};
  BACnetDestination destination{};
  BACnetRecipient recipient{};
  recipient.choice = 1;
  auto walked = [](auto walk) {
    Names names;
    walk(names);
    return names.text;
  };
  EXPECT_EQ(walked([&](Names& n) { n.walk(value); }), "PROPERTYIDENTIFIER ARRAYINDEX VALUE PRIORITY ");
  EXPECT_EQ(walked([&](Names& n) { n.walk<"PRIORITY ARRAYINDEX PROPERTYIDENTIFIER">(value); }),
            "PRIORITY ARRAYINDEX PROPERTYIDENTIFIER VALUE ");
  EXPECT_EQ(walked([&](Names& n) { n.walk<"", "LIFETIME STAMP">(destination); }),
            "VALIDDAYS FROMTIME TOTIME RECIPIENT PROCESSIDENTIFIER ISSUECONFIRMEDNOTIFICATIONS TRANSITIONS ");
  EXPECT_EQ(walked([&](Names& n) { n.walk<"TRANSITIONS", "LIFETIME">(destination); }),
            "TRANSITIONS VALIDDAYS FROMTIME TOTIME RECIPIENT PROCESSIDENTIFIER ISSUECONFIRMEDNOTIFICATIONS STAMP ");
  EXPECT_EQ(walked([&](Names& n) { n.walk<"DEVICE ADDRESS">(recipient); }), "ADDRESS CHOICE ");
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
