// The XML API's methods against answers the test gives: what each request decodes into, and
// the exact ACK, ERROR or failure it answers with. readProperty's answer and error, and a
// request missing a field, are checked end to end.
#include "backend/api/xml_methods.h"
#include "bacnet/codec/codec_object_services.h"
#include "bacnet/value/value.h"
#include "tests/backend/api/api_fake_calls.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using api_fake::Calls;

const std::string kObject = "<OBJECTIDENTIFIER><OBJECTTYPE>0</OBJECTTYPE><INSTANCE>1</INSTANCE></OBJECTIDENTIFIER>";
const std::string kReal = "<TYPE>4</TYPE><DATA>21.500000</DATA>";
const std::string kAcknowledged = "<ACK><DEVICE>7</DEVICE><ACKNOWLEDGE>1</ACKNOWLEDGE></ACK>";

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

void acknowledge(ClientCallRecord* r) { r->acknowledged = 1; }

TEST(XmlMethods, AnswerEachMethodAsTheDeviceAnswered)
{
  struct Case {
    std::string name;
    std::string request;
    api_fake::Answer Calls::*call;  // the call the method makes
    api_fake::Answer answer;        // the device's answer (and checks of the decoded request)
    std::string expected;           // empty: the request fails
  };
  const Case cases[] = {
      // An index element elsewhere than right behind PROPERTY is no index.
      {"readProperty stray index",
       request("readProperty",
               "<DEVICE>1</DEVICE>" + kObject + "<PROPERTY>85</PROPERTY><X><ARRAYINDEX>3</ARRAYINDEX></X>"),
       &Calls::read_property,
       [](ClientCallRecord* r) {
         EXPECT_EQ(as<ReadPropertyRequest>(r->request)->array_index, -1);
         error(r, 12, 2, 32);
       },
       "<ERROR><READPROPERTY><ERRORCLASS>2</ERRORCLASS><ERRORCODE>32</ERRORCODE></READPROPERTY></ERROR>"},
      {"readPropertyMultiple",
       request("readPropertyMultiple",
               "<DEVICE>5</DEVICE><LISTOFSPECS><SPEC>" + kObject +
                   "<PROPERTYREFERENCES><PROPERTYREFERENCE><PROPERTYIDENTIFIER>85</PROPERTYIDENTIFIER>"
                   "</PROPERTYREFERENCE></PROPERTYREFERENCES></SPEC><SPEC>" +
                   kObject + "<PROPERTYREFERENCES></PROPERTYREFERENCES></SPEC></LISTOFSPECS>"),
       &Calls::read_property_multiple,
       [](ClientCallRecord* r) {
         EXPECT_EQ(as<ReadPropertyMultipleRequest>(r->request)->specifications.count, 2u);
         ReadAccessResult* result = inline_list_add(&as<ReadPropertyMultipleAck>(r->answer)->results, nullptr);
         result->object = {0, 1};
         *inline_list_add(&result->results, nullptr) = {85, -1, 1, {}, 1, 31};
       },
       "<ACK><DEVICE>5</DEVICE><LISTOFRESULTS><RESULT>" + kObject +
           "<RESULTS><PROPERTYVALUE><PROPERTYIDENTIFIER>85</PROPERTYIDENTIFIER><PROPERTYACCESSERROR>"
           "<ERRORCLASS>1</ERRORCLASS><ERRORCODE>31</ERRORCODE></PROPERTYACCESSERROR></PROPERTYVALUE></RESULTS>"
           "</RESULT></LISTOFRESULTS></ACK>"},
      {"writeProperty",
       request("writeProperty", "<DEVICE>7</DEVICE>" + kObject +
                                    "<PROPERTY>85</PROPERTY><ARRAYINDEX>3</ARRAYINDEX><VALUE>" + kReal +
                                    "</VALUE><PRIORITY>8</PRIORITY>"),
       &Calls::write_property,
       [](ClientCallRecord* r) {
         auto* q = as<WritePropertyRequest>(r->request);
         EXPECT_EQ((std::tuple{q->array_index, q->priority, q->value.payload.real}), (std::tuple{3, 8u, 21.5f}));
         acknowledge(r);
       },
       kAcknowledged},
      {"writePropertyMultiple error",
       request("writePropertyMultiple", "<DEVICE>7</DEVICE><LISTOFSPECS><SPEC>" + kObject +
                                            "<PROPERTIES><PROPERTY><PROPERTYIDENTIFIER>85</PROPERTYIDENTIFIER>"
                                            "<VALUE>" + kReal + "</VALUE><PRIORITY>0</PRIORITY></PROPERTY>"
                                            "</PROPERTIES></SPEC></LISTOFSPECS>"),
       &Calls::write_property_multiple,
       [](ClientCallRecord* r) {
         EXPECT_EQ(as<WritePropertyMultipleRequest>(r->request)->specifications.tag, TAG_WRITE_ACCESS_SPECIFICATION);
         error(r, 16, 2, 40);
         r->error->failed_write = {{0, 1}, 85, -1};
       },
       "<ERROR><WRITEPROPERTYMULTIPLE><ERRORTYPE><ERRORCLASS>2</ERRORCLASS><ERRORCODE>40</ERRORCODE></ERRORTYPE>"
       "<FIRSTFAILEDELEMENT>" + kObject + "<PROPERTY>85</PROPERTY></FIRSTFAILEDELEMENT>"
       "</WRITEPROPERTYMULTIPLE></ERROR>"},
      {"addListElement error",
       request("addListElement", "<DEVICE>7</DEVICE>" + kObject +
                                     "<PROPERTY>53</PROPERTY><LISTOFELEMENTS><ELEMENT>" + kReal +
                                     "</ELEMENT><ELEMENT>" + kReal + "</ELEMENT></LISTOFELEMENTS>"),
       &Calls::add_list_element,
       [](ClientCallRecord* r) {
         EXPECT_EQ(value_array(&as<ListElementRequest>(r->request)->elements)->used, 2u);
         error(r, 8, 2, 37);
         r->error->first_failed_element = 2;
       },
       "<ERROR><ADDLISTELEMENT><ERRORTYPE><ERRORCLASS>2</ERRORCLASS><ERRORCODE>37</ERRORCODE></ERRORTYPE>"
       "<FIRSTFAILEDELEMENT>2</FIRSTFAILEDELEMENT></ADDLISTELEMENT></ERROR>"},
      {"removeListElement",
       request("removeListElement", "<DEVICE>7</DEVICE>" + kObject +
                                        "<PROPERTY>53</PROPERTY><LISTOFELEMENTS></LISTOFELEMENTS>"),
       &Calls::remove_list_element, acknowledge, kAcknowledged},
      {"createObject",
       request("createObject", "<DEVICE>7</DEVICE><OBJECTTYPE>2</OBJECTTYPE><LISTOFINITIALVALUES><PROPERTY>"
                               "<PROPERTYIDENTIFIER>77</PROPERTYIDENTIFIER><VALUE><TYPE>7</TYPE><DATA>Neu</DATA>"
                               "</VALUE><PRIORITY>0</PRIORITY></PROPERTY></LISTOFINITIALVALUES>"),
       &Calls::create_object,
       [](ClientCallRecord* r) {
         auto* q = as<CreateObjectRequest>(r->request);
         EXPECT_EQ((std::tuple{q->choice, q->object_type, q->initial_values.tag}),
                   (std::tuple{0, 2u, uint32_t(TAG_PROPERTY_VALUE)}));
         *as<BACnetObjectId>(r->answer) = {2, 7};
       },
       "<ACK><DEVICE>7</DEVICE><OBJECTIDENTIFIER><OBJECTTYPE>2</OBJECTTYPE><INSTANCE>7</INSTANCE>"
       "</OBJECTIDENTIFIER></ACK>"},
      // createObject and deleteObject have no error form: an error fails the request.
      {"createObject error",
       request("createObject", "<DEVICE>7</DEVICE>" + kObject + "<LISTOFINITIALVALUES></LISTOFINITIALVALUES>"),
       &Calls::create_object, [](ClientCallRecord* r) { error(r, 10, 5, 4); }, ""},
      {"deleteObject", request("deleteObject", "<DEVICE>7</DEVICE>" + kObject), &Calls::delete_object, acknowledge,
       kAcknowledged},
      {"readRange",
       request("readRange", "<DEVICE>7</DEVICE>" + kObject +
                                "<PROPERTY>131</PROPERTY><REFERENCEDINDEX>1</REFERENCEDINDEX><COUNT>-2</COUNT>"),
       &Calls::read_range,
       [](ClientCallRecord* r) {
         auto* q = as<ReadRangeRequest>(r->request);
         EXPECT_EQ((std::tuple{q->range, q->count}), (std::tuple{RANGE_BY_POSITION, -2}));
         auto* a = as<ReadRangeAck>(r->answer);
         a->object = q->object;
         a->property = 131;
         a->item_count = 0;
         a->result_flags = {1, 1, 0};
       },
       "<ACK><DEVICE>7</DEVICE>" + kObject +
           "<PROPERTY>131</PROPERTY><ITEMCOUNT>0</ITEMCOUNT><RESULTFLAGS>110</RESULTFLAGS><ITEMDATA><TYPE>0</TYPE>"
           "<DATA></DATA></ITEMDATA></ACK>"},
      {"whoIs", request("whoIs", "<LOWLIMIT>10</LOWLIMIT><HIGHLIMIT>20</HIGHLIMIT>"), nullptr, {},
       "<ACK><NETWORK>0</NETWORK></ACK>"},
      {"getRecordset", request("getRecordset", ""), nullptr, {}, ""},
      {"unknown method", request("readSomething", ""), nullptr, {}, ""},
      {"device out of range",
       request("readProperty", "<DEVICE>4194304</DEVICE>" + kObject + "<PROPERTY>85</PROPERTY>"), nullptr, {}, ""},
      {"object identifier value out of range",  // the encoder would cut it to another object's
       request("writeProperty", "<DEVICE>7</DEVICE>" + kObject +
                                    "<PROPERTY>85</PROPERTY><VALUE><TYPE>12</TYPE><DATA><OBJECTTYPE>8</OBJECTTYPE>"
                                    "<INSTANCE>-1</INSTANCE></DATA></VALUE><PRIORITY>8</PRIORITY>"),
       &Calls::write_property, acknowledge, ""},
  };
  // A number is read whole: no field's leading digits reach the device.
  std::vector<Case> all(std::begin(cases), std::end(cases));
  for (std::string bad : {"1e3", "0x10", "12abc", "+5", " 7", "7 ", "1.9", "-1", "-2"}) {
    auto write = [&](int field) {
      std::string n[6] = {"7", "1", "1", "85", "3", "8"};
      n[field] = bad;
      return request("writeProperty",
                     "<DEVICE>" + n[0] + "</DEVICE><OBJECTIDENTIFIER><OBJECTTYPE>" + n[1] + "</OBJECTTYPE><INSTANCE>" +
                         n[2] + "</INSTANCE></OBJECTIDENTIFIER><PROPERTY>" + n[3] + "</PROPERTY><ARRAYINDEX>" + n[4] +
                         "</ARRAYINDEX><VALUE>" + kReal + "</VALUE><PRIORITY>" + n[5] + "</PRIORITY>");
    };
    for (int field = 0; field < 6; ++field)
      all.push_back({"writeProperty field " + std::to_string(field) + " '" + bad + "'", write(field),
                     &Calls::write_property, acknowledge, bad == "-1" && field == 4 ? kAcknowledged : ""});
    all.push_back({"deleteObject instance '" + bad + "'",
                   request("deleteObject", "<DEVICE>7</DEVICE><OBJECTIDENTIFIER><OBJECTTYPE>2</OBJECTTYPE><INSTANCE>" +
                                               bad + "</INSTANCE></OBJECTIDENTIFIER>"),
                   &Calls::delete_object, acknowledge, ""});
  }
  // No "-" in an unsigned field; a PRIORITY inside a list of property values is at most 16 too.
  const std::string d7 = "<DEVICE>7</DEVICE>", value = "<PROPERTY><PROPERTYIDENTIFIER>85</PROPERTYIDENTIFIER><VALUE>" +
                                                       kReal + "</VALUE><PRIORITY>17</PRIORITY></PROPERTY>";
  const std::tuple<std::string, api_fake::Answer Calls::*, std::string> refused[] = {
      {"writeProperty", &Calls::write_property,
       d7 + kObject + "<PROPERTY>85</PROPERTY><VALUE><TYPE>2</TYPE><DATA>-1</DATA></VALUE><PRIORITY>8</PRIORITY>"},
      {"readRange", &Calls::read_range,
       d7 + kObject + "<PROPERTY>131</PROPERTY><REFERENCEDINDEX>-1</REFERENCEDINDEX><COUNT>2</COUNT>"},
      {"writePropertyMultiple", &Calls::write_property_multiple,
       d7 + "<LISTOFSPECS><SPEC>" + kObject + "<PROPERTIES>" + value + "</PROPERTIES></SPEC></LISTOFSPECS>"},
      {"createObject", &Calls::create_object,
       d7 + "<OBJECTTYPE>2</OBJECTTYPE><LISTOFINITIALVALUES>" + value + "</LISTOFINITIALVALUES>"}};
  for (const auto& [method, call, fields] : refused)
    all.push_back({method + " refused", request(method, fields), call, acknowledge, ""});
  for (const Case& k : all) {
    api_fake::Installed fake;
    if (k.call)
      api_fake::calls().*k.call = k.answer;
    std::string answer = "untouched";
    int rc = xml_execute(k.request.data(), k.request.size(), &answer);
    EXPECT_EQ(rc, k.expected.empty() ? -1 : 0) << k.name;
    EXPECT_EQ(answer, k.expected.empty() ? "untouched" : k.expected) << k.name;
    if (k.name == "whoIs") {
      EXPECT_EQ((std::tuple{api_fake::calls().who_is_count, api_fake::calls().who_is.high_limit}), (std::tuple{1, 20}));
    }
  }
}

}  // namespace
