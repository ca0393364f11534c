// The XML API's methods against answers the test gives: what each request decodes into, and
// the exact ACK, ERROR or failure it answers with.
#include "backend/api/xml_methods.h"
#include "bacnet/codec/codec_object_services.h"
#include "bacnet/value/value.h"
#include "tests/backend/api/api_fake_calls.h"

#include <gtest/gtest.h>

#include <functional>

#include <string>
#include <vector>

namespace {

const std::string kObject = "<OBJECTIDENTIFIER><OBJECTTYPE>0</OBJECTTYPE><INSTANCE>1</INSTANCE></OBJECTIDENTIFIER>";
const std::string kReal = "<TYPE>4</TYPE><DATA>21.500000</DATA>";

std::string request(const std::string& method, const std::string& fields)
{
  return method + "<REQUEST>" + fields + "</REQUEST>";
}

template <class T>
T* as(const void* p)
{
  return static_cast<T*>(const_cast<void*>(p));
}

void error(ClientCallRecord* r, uint8_t service, uint32_t error_class, uint32_t error_code)
{
  client_call_set_error(r->error, service, error_class, error_code);
}

struct Case {
  std::string name;
  std::string request;
  std::function<void()> answers;  // sets the fake's answers (and checks the decoded request)
  std::string answer;             // empty: the request fails
};

TEST(XmlMethods, AnswerEachMethodAsTheDeviceAnswered)
{
  auto& c = api_fake::calls();
  std::vector<Case> cases = {
      {"readProperty", request("readProperty", "<DEVICE>1234</DEVICE>" + kObject + "<PROPERTY>85</PROPERTY>"),
       [&] {
         c.read_property = [](ClientCallRecord* r) {
           auto* q = as<ReadPropertyRequest>(r->request);
           EXPECT_EQ(r->device_instance, 1234);
           EXPECT_EQ(q->array_index, -1);
           auto* a = as<ReadPropertyAck>(r->answer);
           *a = {q->object, q->property, -1, {TAG_REAL, {}}};
           a->value.payload.real = 21.5f;
         };
       },
       "<ACK><DEVICE>1234</DEVICE>" + kObject + "<PROPERTY>85</PROPERTY><VALUE>" + kReal + "</VALUE></ACK>"},
      {"readProperty error",
       request("readProperty", "<DEVICE>1234</DEVICE>" + kObject + "<PROPERTY>85</PROPERTY>"),
       [&] { c.read_property = [](ClientCallRecord* r) { error(r, 12, 1, 31); }; },
       "<ERROR><READPROPERTY><ERRORCLASS>1</ERRORCLASS><ERRORCODE>31</ERRORCODE></READPROPERTY></ERROR>"},
      // An index element elsewhere than right behind PROPERTY is no index.
      {"readProperty stray index",
       request("readProperty",
               "<DEVICE>1</DEVICE>" + kObject + "<PROPERTY>85</PROPERTY><X><ARRAYINDEX>3</ARRAYINDEX></X>"),
       [&] {
         c.read_property = [](ClientCallRecord* r) {
           EXPECT_EQ(as<ReadPropertyRequest>(r->request)->array_index, -1);
           error(r, 12, 2, 32);
         };
       },
       "<ERROR><READPROPERTY><ERRORCLASS>2</ERRORCLASS><ERRORCODE>32</ERRORCODE></READPROPERTY></ERROR>"},
      {"readPropertyMultiple",
       request("readPropertyMultiple",
               "<DEVICE>5</DEVICE><LISTOFSPECS><SPEC>" + kObject +
                   "<PROPERTYREFERENCES><PROPERTYREFERENCE><PROPERTYIDENTIFIER>85</PROPERTYIDENTIFIER>"
                   "</PROPERTYREFERENCE></PROPERTYREFERENCES></SPEC><SPEC>" +
                   kObject + "<PROPERTYREFERENCES></PROPERTYREFERENCES></SPEC></LISTOFSPECS>"),
       [&] {
         c.read_property_multiple = [](ClientCallRecord* r) {
           auto* q = as<ReadPropertyMultipleRequest>(r->request);
           EXPECT_EQ(q->specifications.count, 2u);
           auto* a = as<ReadPropertyMultipleAck>(r->answer);
           ReadAccessResult* result = inline_list_add(&a->results, nullptr);
           result->object = {0, 1};
           ReadAccessResultElement* e = inline_list_add(&result->results, nullptr);
           *e = {85, -1, 1, {}, 1, 31};
         };
       },
       "<ACK><DEVICE>5</DEVICE><LISTOFRESULTS><RESULT>" + kObject +
           "<RESULTS><PROPERTYVALUE><PROPERTYIDENTIFIER>85</PROPERTYIDENTIFIER><PROPERTYACCESSERROR>"
           "<ERRORCLASS>1</ERRORCLASS><ERRORCODE>31</ERRORCODE></PROPERTYACCESSERROR></PROPERTYVALUE></RESULTS>"
           "</RESULT></LISTOFRESULTS></ACK>"},
      {"writeProperty",
       request("writeProperty", "<DEVICE>7</DEVICE>" + kObject +
                                    "<PROPERTY>85</PROPERTY><ARRAYINDEX>3</ARRAYINDEX><VALUE>" + kReal +
                                    "</VALUE><PRIORITY>8</PRIORITY>"),
       [&] {
         c.write_property = [](ClientCallRecord* r) {
           auto* q = as<WritePropertyRequest>(r->request);
           EXPECT_EQ(q->array_index, 3);
           EXPECT_EQ(q->priority, 8u);
           EXPECT_EQ(q->value.payload.real, 21.5f);
           r->acknowledged = 1;
         };
       },
       "<ACK><DEVICE>7</DEVICE><ACKNOWLEDGE>1</ACKNOWLEDGE></ACK>"},
      {"writePropertyMultiple error",
       request("writePropertyMultiple", "<DEVICE>7</DEVICE><LISTOFSPECS><SPEC>" + kObject +
                                            "<PROPERTIES><PROPERTY><PROPERTYIDENTIFIER>85</PROPERTYIDENTIFIER>"
                                            "<VALUE>" + kReal + "</VALUE><PRIORITY>0</PRIORITY></PROPERTY>"
                                            "</PROPERTIES></SPEC></LISTOFSPECS>"),
       [&] {
         c.write_property_multiple = [](ClientCallRecord* r) {
           EXPECT_EQ(as<WritePropertyMultipleRequest>(r->request)->specifications.tag, TAG_WRITE_ACCESS_SPECIFICATION);
           error(r, 16, 2, 40);
           r->error->failed_write = {{0, 1}, 85, -1};
         };
       },
       "<ERROR><WRITEPROPERTYMULTIPLE><ERRORTYPE><ERRORCLASS>2</ERRORCLASS><ERRORCODE>40</ERRORCODE></ERRORTYPE>"
       "<FIRSTFAILEDELEMENT>" + kObject + "<PROPERTY>85</PROPERTY></FIRSTFAILEDELEMENT>"
       "</WRITEPROPERTYMULTIPLE></ERROR>"},
      {"addListElement error",
       request("addListElement", "<DEVICE>7</DEVICE>" + kObject +
                                     "<PROPERTY>53</PROPERTY><LISTOFELEMENTS><ELEMENT>" + kReal +
                                     "</ELEMENT><ELEMENT>" + kReal + "</ELEMENT></LISTOFELEMENTS>"),
       [&] {
         c.add_list_element = [](ClientCallRecord* r) {
           EXPECT_EQ(value_array(&as<ListElementRequest>(r->request)->elements)->used, 2u);
           error(r, 8, 2, 37);
           r->error->first_failed_element = 2;
         };
       },
       "<ERROR><ADDLISTELEMENT><ERRORTYPE><ERRORCLASS>2</ERRORCLASS><ERRORCODE>37</ERRORCODE></ERRORTYPE>"
       "<FIRSTFAILEDELEMENT>2</FIRSTFAILEDELEMENT></ADDLISTELEMENT></ERROR>"},
      {"removeListElement",
       request("removeListElement", "<DEVICE>7</DEVICE>" + kObject +
                                        "<PROPERTY>53</PROPERTY><LISTOFELEMENTS></LISTOFELEMENTS>"),
       [&] { c.remove_list_element = [](ClientCallRecord* r) { r->acknowledged = 1; }; },
       "<ACK><DEVICE>7</DEVICE><ACKNOWLEDGE>1</ACKNOWLEDGE></ACK>"},
      {"createObject",
       request("createObject", "<DEVICE>7</DEVICE><OBJECTTYPE>2</OBJECTTYPE><LISTOFINITIALVALUES><PROPERTY>"
                               "<PROPERTYIDENTIFIER>77</PROPERTYIDENTIFIER><VALUE><TYPE>7</TYPE><DATA>Neu</DATA>"
                               "</VALUE><PRIORITY>0</PRIORITY></PROPERTY></LISTOFINITIALVALUES>"),
       [&] {
         c.create_object = [](ClientCallRecord* r) {
           auto* q = as<CreateObjectRequest>(r->request);
           EXPECT_EQ(q->choice, 0);
           EXPECT_EQ(q->object_type, 2u);
           EXPECT_EQ(q->initial_values.tag, TAG_PROPERTY_VALUE);
           *as<BACnetObjectId>(r->answer) = {2, 7};
         };
       },
       "<ACK><DEVICE>7</DEVICE><OBJECTIDENTIFIER><OBJECTTYPE>2</OBJECTTYPE><INSTANCE>7</INSTANCE>"
       "</OBJECTIDENTIFIER></ACK>"},
      // createObject and deleteObject have no error form: an error fails the request.
      {"createObject error",
       request("createObject", "<DEVICE>7</DEVICE>" + kObject + "<LISTOFINITIALVALUES></LISTOFINITIALVALUES>"),
       [&] { c.create_object = [](ClientCallRecord* r) { error(r, 10, 5, 4); }; }, ""},
      {"deleteObject", request("deleteObject", "<DEVICE>7</DEVICE>" + kObject),
       [&] { c.delete_object = [](ClientCallRecord* r) { r->acknowledged = 1; }; },
       "<ACK><DEVICE>7</DEVICE><ACKNOWLEDGE>1</ACKNOWLEDGE></ACK>"},
      {"readRange",
       request("readRange", "<DEVICE>7</DEVICE>" + kObject +
                                "<PROPERTY>131</PROPERTY><REFERENCEDINDEX>1</REFERENCEDINDEX><COUNT>-2</COUNT>"),
       [&] {
         c.read_range = [](ClientCallRecord* r) {
           auto* q = as<ReadRangeRequest>(r->request);
           EXPECT_EQ(q->range, RANGE_BY_POSITION);
           EXPECT_EQ(q->count, -2);
           auto* a = as<ReadRangeAck>(r->answer);
           a->object = q->object;
           a->property = 131;
           a->item_count = 0;
           a->result_flags = {1, 1, 0};
         };
       },
       "<ACK><DEVICE>7</DEVICE>" + kObject +
           "<PROPERTY>131</PROPERTY><ITEMCOUNT>0</ITEMCOUNT><RESULTFLAGS>110</RESULTFLAGS><ITEMDATA><TYPE>0</TYPE>"
           "<DATA></DATA></ITEMDATA></ACK>"},
      {"whoIs", request("whoIs", "<LOWLIMIT>10</LOWLIMIT><HIGHLIMIT>20</HIGHLIMIT>"), [] {},
       "<ACK><NETWORK>0</NETWORK></ACK>"},
      {"executeQuery", "executeQuery", [] {}, "success"},
      {"getRecordset", request("getRecordset", ""), [] {}, ""},
      {"unknown method", request("readSomething", ""), [] {}, ""},
      {"missing field", request("readProperty", "<DEVICE>1234</DEVICE><PROPERTY>85</PROPERTY>"), [] {}, ""},
      {"device out of range",
       request("readProperty", "<DEVICE>4194304</DEVICE>" + kObject + "<PROPERTY>85</PROPERTY>"), [] {}, ""},
  };
  for (const Case& k : cases) {
    api_fake::Installed fake;
    k.answers();
    std::string answer = "untouched";
    int rc = xml_execute(k.request.data(), k.request.size(), &answer);
    if (k.answer.empty()) {
      EXPECT_EQ(rc, -1) << k.name;
      EXPECT_EQ(answer, "untouched") << k.name;
    } else {
      EXPECT_EQ(rc, 0) << k.name;
      EXPECT_EQ(answer, k.answer) << k.name;
    }
    if (k.name == "whoIs") {
      EXPECT_EQ(c.who_is_count, 1);
      EXPECT_EQ(c.who_is.high_limit, 20);
    }
  }
}

}  // namespace
