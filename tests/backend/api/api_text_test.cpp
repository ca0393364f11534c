// The text commands without a socket: value and error texts, item parsing, how items are
// grouped into one request, and which keyword a payload names.
#include "backend/api/api_text.h"
#include "bacnet/codec/codec_object_services.h"
#include "bacnet/value/value.h"
#include "tests/backend/api/api_fake_calls.h"
#include "tests/bacnet/value/value_samples.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

TEST(ApiText, ValuesAndErrorsHaveTheirTexts)
{
  valuetest::Holder text(valuetest::text_value("Raum 1")), date(valuetest::date_value(124, 1, 2));
  const std::pair<BACnetValue, std::string> values[] = {
      {{}, "bacnetDT_Null"},
      {{TAG_BOOLEAN, {.boolean = 1}}, "1"},
      {{TAG_UNSIGNED, {.unsigned_value = 4000000000u}}, "4000000000"},
      {{TAG_SIGNED, {.signed_value = -7}}, "-7"},
      {{TAG_ENUMERATED, {.enumerated = 1}}, "1"},
      {{TAG_REAL, {.real = 21.5f}}, "21.500000"},
      {{TAG_DOUBLE, {.double_value = 1234.5}}, "1.234500e+03"},
      {{TAG_OBJECT_ID, {.object_id = {8, 1234}}}, "8,1234"},
      {*text, "Raum 1"},
      {*date, "Not Implemented"},
  };
  for (const auto& [value, expected] : values)
    EXPECT_EQ(api_value_to_text(&value), expected) << value.tag;

  // Object, Services and Property texts are checked end to end.
  const std::tuple<uint32_t, uint32_t, const char*> errors[] = {
      {2, 22, "Error Class : Property - Error Code : Property is not a list"},
      {0xFFFFFFFF, 0xFFFFFFFF, "Error Class : None - Error Code : None"},
      {1000, 30, "Error Class : No Response - Error Code : Timeout"},
      {6, 10, "Error Class : VT - Error Code : 10"},
      {7, 45, "Error Class : 7 - Error Code : 45"},
  };
  for (const auto& [error_class, error_code, expected] : errors)
    EXPECT_EQ(api_error_to_text(error_class, error_code), expected);
}

TEST(ApiText, ItemsAreParsedAndChecked)
{
  // -1 invalid, 0 last, else where the next item begins
  const std::tuple<const char*, bool, int> cases[] = {
      {"0.1.85", false, 0},
      {"5.4194303.85 0.2.85", false, 13},
      {"6.1.85", false, -1},         // type above 5
      {"0.4194304.85", false, -1},   // instance too large to encode
      {"0.1", false, -1},
      {"0.-1.85", false, -1},
      {"1.1.85.8 22.5", true, 0},
      {"1.1.85.5 -3 4.1.85.8 1", true, 12},
      {"1.1.85.8", true, -1},  // no value
      {"1.1.85.8 2x", true, -1},
  };
  for (const auto& [text, set, result] : cases) {
    ApiTextItem item;
    EXPECT_EQ(set ? api_parse_set_item(text, &item) : api_parse_get_item(text, &item), result) << text;
  }
}

// Reads are grouped by consecutive objects; writes too, and binary objects take 0 or 1.
TEST(ApiText, ConsecutiveItemsOfOneObjectShareASpecification)
{
  api_fake::Installed fake;
  std::vector<std::vector<uint32_t>> read_specs;  // object type, instance, references
  api_fake::calls().read_property_multiple = [&](ClientCallRecord* r) {
    auto* q = static_cast<const ReadPropertyMultipleRequest*>(r->request);
    for (uint32_t i = 0; i < q->specifications.count; ++i) {
      auto* s = inline_list_get(&q->specifications, i);
      read_specs.push_back({s->object.type, s->object.instance, s->references.count});
    }
    auto* a = static_cast<ReadPropertyMultipleAck*>(r->answer);
    ReadAccessResult* result = inline_list_add(&a->results, nullptr);
    ReadAccessResultElement* ok = inline_list_add(&result->results, nullptr);
    *ok = {85, -1, 0, {TAG_REAL, {}}, 0, 0};
    ok->value.payload.real = 1.5f;
    ReadAccessResultElement* bad = inline_list_add(&result->results, nullptr);
    *bad = {85, -1, 1, {}, 1, 31};
  };
  std::string answer;
  ASSERT_EQ(api_text_get(9, "0.1.85 0.1.85 0.2.85 0.1.85", &answer), 0);
  EXPECT_EQ(read_specs, (std::vector<std::vector<uint32_t>>{{0, 1, 2}, {0, 2, 1}, {0, 1, 1}}));
  EXPECT_EQ(answer, "1.500000 (Error)");

  std::vector<std::vector<float>> written;  // one line a write access entry: instance, then value and priority pairs
  api_fake::calls().write_property_multiple = [&](ClientCallRecord* r) {
    auto* q = static_cast<const WritePropertyMultipleRequest*>(r->request);
    const BACnetValueArray* specs = value_array(&q->specifications);
    ASSERT_NE(specs, nullptr);
    for (uint32_t i = 0; i < specs->used; ++i) {
      auto* s = value_record<WriteAccessSpecification>(&specs->elements[i]);
      std::vector<float> line{float(s->object.instance)};
      auto add = [&](const BACnetValue& v) {
        auto* p = value_record<BACnetPropertyValue>(&v);
        line.push_back(p->value.tag == TAG_REAL ? p->value.payload.real : float(p->value.payload.enumerated));
        line.push_back(float(p->priority));
      };
      if (const BACnetValueArray* list = value_array(&s->properties))
        for (uint32_t k = 0; k < list->used; ++k)
          add(list->elements[k]);
      else
        add(s->properties);
      written.push_back(line);
    }
  };
  ASSERT_EQ(api_text_set(9, "4.1.85.5 7 4.1.85.8 0 1.3.85.8 -22.5", &answer), 0);
  EXPECT_EQ(written, (std::vector<std::vector<float>>{{1, 1, 5, 0, 8}, {3, -22.5f, 8}}));
  EXPECT_EQ(answer, "1 0 -22.500000");
}

TEST(ApiText, TheEarliestKeywordNamesTheCommand)
{
  api_fake::Installed fake;
  api_fake::calls().read_property = [](ClientCallRecord* r) {
    auto* a = static_cast<ReadPropertyAck*>(r->answer);
    a->value.tag = TAG_ENUMERATED;
    a->value.payload.enumerated = r->device_instance;
  };
  struct Case {
    std::string payload;
    std::string answer;
  };
  const std::string xml_with_get = "xml:writeProperty<REQUEST><DEVICE>1</DEVICE><OBJECTIDENTIFIER><OBJECTTYPE>"
                                   "2</OBJECTTYPE><INSTANCE>1</INSTANCE></OBJECTIDENTIFIER><PROPERTY>77</PROPERTY>"
                                   "<VALUE><TYPE>7</TYPE><DATA>1 get:0.1.85</DATA></VALUE><PRIORITY>0</PRIORITY>"
                                   "</REQUEST>";
  const Case cases[] = {
      {"4711 get:0.1.85\r\n", "4711"},
      {xml_with_get, "<ERROR><WRITEPROPERTY><ERRORCLASS>5</ERRORCLASS><ERRORCODE>0</ERRORCODE></WRITEPROPERTY></ERROR>"},
      {"get:0.1.85", "Error : Internal Error"},  // no device number
      {"4194304 get:0.1.85", "Error : Internal Error"},
      {"xml:executeQuery", "success"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(api_handle_text_command(c.payload.data(), c.payload.size()), c.answer) << c.payload;
  // A read of several items whose answer holds no result leaves nothing to send.
  api_fake::calls().read_property_multiple = [](ClientCallRecord*) {};
  const std::string empty = "1 get:0.1.85 0.2.85";
  EXPECT_EQ(api_text_answer(empty.data(), empty.size()), "Error : - Internal");
}

}  // namespace
