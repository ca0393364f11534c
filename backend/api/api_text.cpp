#include "backend/api/api_text.h"

#include "backend/api/api_calls.h"
#include "backend/api/api_codec.h"
#include "backend/api/api_server.h"
#include "backend/api/xml_methods.h"
#include "bacnet/codec/codec_object_services.h"
#include "bacnet/codec/codec_primitives.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_containers.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kUnknownCommand = "Error : Unknown Command";
constexpr const char* kInternalError = "Error : Internal Error";
constexpr const char* kNoAnswer = "Error : - Internal";
constexpr const char* kErrorResult = "(Error)";

constexpr uint32_t kLastItemType = OBJECT_BINARY_VALUE;
constexpr uint32_t kLastRealType = OBJECT_ANALOG_VALUE;
// The encoder keeps only an instance's low bits: a larger one would name another object.
constexpr uint32_t kMaxItemInstance = PDU_MAX_INSTANCE;

struct ClassText {
  int32_t error_class;
  const char* text;
};
constexpr ClassText kClassTexts[] = {
    {-1, "Error Class : None"},      {0, "Error Class : Device"},   {1, "Error Class : Object"},
    {2, "Error Class : Property"},   {3, "Error Class : Resources"}, {4, "Error Class : Security"},
    {5, "Error Class : Services"},   {6, "Error Class : VT"},       {1000, "Error Class : No Response"},
};

// Code texts by code; null where the code has no name.
constexpr std::array<const char*, 45> kCodeTexts = {
    "Other",                          "Authentication Failed",      "Configuration In Progress",
    "Device Busy",                    "Dynamic Creation Not Supported", "Access Denied",
    "Incompatible Security Levels",   "Inconsistent Parameters",    "Inconsistent Selection Criteria",
    "Invalid Data Type",              nullptr,                      "Invalid File Start Position",
    "Operator Name",                  "Invalid Parameter Data Type", "Invalid Time Stamp",
    "Key Generation Error",           "Missing Required Parameter", "No Objects Of Specified Type",
    "No Space For Object",            "No Space To Add List Element", "No Space To Write Property",
    "No VT Sessions Available",       "Property is not a list",     "Object Deletion Not Permitted",
    "Object Identifier Already Exists", "Object Operational Problem", "Password Failure",
    "Read Access Denied",             "Security Not Supported",     "Service Request Denied",
    "Timeout",                        "Unknown Object",             "Unknown Property",
    nullptr,                          "Unknown VT Class",           "Unknown VT Session",
    "Unsupported Object Type",        "Value Out Of Range",         "VT Session Already Closed",
    "VT Session Termination Failure", "Write Access Denied",        "Character Set Not Supported",
    "Invalid Array Index",            "COV Subscription Failed",    "Not COV Property",
};

// The first text as it is, every further one after a single blank.
void append_text(std::string* answer, const std::string& text)
{
  if (!answer->empty())
    answer->push_back(' ');
  answer->append(text);
}

std::string_view trimmed(std::string_view text)
{
  constexpr const char* kBlanks = " \t\r\n";
  std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// "a.b.c" (or "a.b.c.d") into its numbers.
bool dotted(std::string_view text, std::vector<uint32_t>* numbers, std::size_t count)
{
  numbers->clear();
  while (numbers->size() < count) {
    std::size_t dot = text.find('.');
    bool last = numbers->size() + 1 == count;
    std::string_view part = last ? text : text.substr(0, dot);
    uint32_t n = 0;
    if ((!last && dot == std::string_view::npos) || !api_decimal(part, &n))
      return false;
    numbers->push_back(n);
    if (!last)
      text.remove_prefix(dot + 1);
  }
  return true;
}

bool valid_item(const ApiTextItem& item)
{
  return item.type <= kLastItemType && item.property == PROP_PRESENT_VALUE && item.instance <= kMaxItemInstance;
}

// The next blank-separated word: its text and where the one after it begins (0: none).
std::string_view word(std::string_view text, std::size_t* next)
{
  std::size_t blank = text.find(' ');
  *next = blank == std::string_view::npos ? 0 : blank + 1;
  return text.substr(0, blank);
}

// Walks the items; `one` gets each. false when an item is invalid.
template <class Parse, class One>
bool each_item(std::string_view items, Parse parse, One one)
{
  for (;;) {
    ApiTextItem item;
    int next = parse(items, &item);
    if (next < 0)
      return false;
    one(item);
    if (next == 0)
      return true;
    items.remove_prefix(std::size_t(next));
  }
}

// The value a set item writes: REAL for the analog types, ENUMERATED 0 or 1 for the binary ones.
BACnetValue written_value(const ApiTextItem& item)
{
  BACnetValue value{};
  if (item.type <= kLastRealType) {
    value.tag = TAG_REAL;
    value.payload.real = item.value;
  } else {
    value.tag = TAG_ENUMERATED;
    value.payload.enumerated = item.value != 0 ? 1 : 0;
  }
  return value;
}

bool same_object(const BACnetObjectId& a, const ApiTextItem& item)
{
  return a.type == item.type && a.instance == item.instance;
}

bool add_written_property(WriteAccessSpecification* spec, const ApiTextItem& item)
{
  OwnedValue property;
  auto* p = value_init(property.get(), TAG_PROPERTY_VALUE) == 0 ? value_record<BACnetPropertyValue>(property.get())
                                                                : nullptr;
  if (p) {
    p->property = PROP_PRESENT_VALUE;
    p->array_index = -1;
    p->value = written_value(item);
    p->priority = item.priority;
  }
  return p && value_append_element(&spec->properties, TAG_PROPERTY_VALUE_LIST, property.get()) == 0;
}

std::string error_text(const ClientCallError& error) { return api_error_to_text(error.error_class, error.error_code); }

// A keyword and where it stands in the payload.
struct Command {
  const char* keyword;
  std::size_t at = std::string_view::npos;
};

bool device_before(std::string_view text, int32_t* device)
{
  uint32_t n = 0;
  if (!api_decimal(trimmed(text), &n) || n > PDU_MAX_INSTANCE)
    return false;
  *device = int32_t(n);
  return true;
}

int run_command(const char* keyword, std::string_view before, std::string_view rest, std::string* answer)
{
  int32_t device = -1;
  std::string_view keyword_view(keyword);
  bool numbered = keyword_view != "xml:" && keyword_view != "unc:";
  if (numbered && !device_before(before, &device))
    return -1;
  if (keyword_view == "get:")
    return api_text_get(device, trimmed(rest), answer);
  if (keyword_view == "set:")
    return api_text_set(device, trimmed(rest), answer);
  if (keyword_view == "xml:") {
    std::string_view request = rest.substr(std::min(rest.size(), rest.find_first_not_of(" \t\r\n")));
    return xml_execute(request.data(), request.size(), answer);
  }
  std::string hex(trimmed(rest));
  if (keyword_view == "unc:") {
    if (api_calls().raw_unconfirmed_hex(hex.c_str()) != 0)
      return -1;
    *answer = "success";
    return 0;
  }
  char* answer_hex = nullptr;
  if (api_calls().raw_confirmed_hex(device, hex.c_str(), &answer_hex) != 0)
    return -1;
  *answer = answer_hex ? answer_hex : "";
  std::free(answer_hex);
  return 0;
}

}  // namespace

int api_parse_get_item(std::string_view text, ApiTextItem* item)
{
  std::size_t next = 0;
  std::vector<uint32_t> n;
  if (!dotted(word(text, &next), &n, 3))
    return -1;
  *item = ApiTextItem{n[0], n[1], n[2], 0, 0};
  return valid_item(*item) ? int(next) : -1;
}

int api_parse_set_item(std::string_view text, ApiTextItem* item)
{
  std::size_t at_value = 0, next = 0;
  std::vector<uint32_t> n;
  if (!dotted(word(text, &at_value), &n, 4) || at_value == 0)
    return -1;
  std::string value(word(text.substr(at_value), &next));
  char* end = nullptr;
  float v = std::strtof(value.c_str(), &end);
  if (value.empty() || *end != '\0')
    return -1;
  *item = ApiTextItem{n[0], n[1], n[2], n[3], v};
  if (!valid_item(*item) || (item->priority != 5 && item->priority != 8))
    return -1;
  return next == 0 ? 0 : int(at_value + next);
}

int api_text_get(int32_t device, std::string_view items, std::string* answer)
{
  std::vector<ApiTextItem> list;
  if (!each_item(items, api_parse_get_item, [&](const ApiTextItem& i) { list.push_back(i); }))
    return -1;
  ClientCallError error;
  if (list.size() == 1) {
    ReadPropertyRequest request{{list[0].type, list[0].instance}, PROP_PRESENT_VALUE, -1};
    Owned<ReadPropertyAck, pdu_free_read_property_ack> ack;
    ClientCallRecord record = api_call_record(device, &request, ack.get(), &error);
    int rc = api_calls().read_property(&record);
    if (rc == 0)
      *answer = error.status != -1 ? error_text(error) : api_value_to_text(&ack->value);
    return rc == 0 ? 0 : -1;
  }
  Owned<ReadPropertyMultipleRequest, pdu_free_read_property_multiple_request> request;
  Owned<ReadPropertyMultipleAck, pdu_free_read_property_multiple_ack> ack;
  ReadAccessSpecification* spec = nullptr;
  bool built = true;
  for (const ApiTextItem& item : list) {
    if (!spec || !same_object(spec->object, item)) {
      spec = inline_list_add(&request->specifications, nullptr);
      if (!spec) {
        built = false;
        break;
      }
      spec->object = {item.type, item.instance};
    }
    BACnetPropertyReference reference{PROP_PRESENT_VALUE, -1};
    built = built && inline_list_add(&spec->references, &reference) != nullptr;
  }
  ClientCallRecord record = api_call_record(device, request.get(), ack.get(), &error);
  int rc = built ? api_calls().read_property_multiple(&record) : -1;
  if (rc == 0 && error.status != -1) {
    *answer = error_text(error);
  } else if (rc == 0) {
    std::string texts;
    for (uint32_t r = 0; r < ack->results.count; ++r) {
      const ReadAccessResult* result = inline_list_get(&ack->results, r);
      for (uint32_t e = 0; e < result->results.count; ++e) {
        const ReadAccessResultElement* element = inline_list_get(&result->results, e);
        append_text(&texts, element->choice == 0 ? api_value_to_text(&element->value) : kErrorResult);
      }
    }
    *answer = texts;
  }
  return rc == 0 ? 0 : -1;
}

int api_text_set(int32_t device, std::string_view items, std::string* answer)
{
  std::vector<ApiTextItem> list;
  if (!each_item(items, api_parse_set_item, [&](const ApiTextItem& i) { list.push_back(i); }))
    return -1;
  std::string written;
  for (const ApiTextItem& item : list) {
    BACnetValue value = written_value(item);
    append_text(&written, api_value_to_text(&value));
  }
  ClientCallError error;
  int rc = -1;
  if (list.size() == 1) {
    Owned<WritePropertyRequest, pdu_free_write_property_request> request;
    request->object = {list[0].type, list[0].instance};
    request->property = PROP_PRESENT_VALUE;
    request->value = written_value(list[0]);
    request->priority = list[0].priority;
    ClientCallRecord record = api_call_record(device, request.get(), nullptr, &error);
    rc = api_calls().write_property(&record);
  } else {
    Owned<WritePropertyMultipleRequest, pdu_free_write_property_multiple_request> request;
    bool built = true;
    // Consecutive items of one object share one specification.
    for (std::size_t i = 0; built && i < list.size();) {
      BACnetObjectId object{list[i].type, list[i].instance};
      OwnedValue spec_value;
      auto* spec = value_init(spec_value.get(), TAG_WRITE_ACCESS_SPECIFICATION) == 0
                       ? value_record<WriteAccessSpecification>(spec_value.get())
                       : nullptr;
      built = spec != nullptr;
      if (spec)
        spec->object = object;
      for (; built && i < list.size() && same_object(object, list[i]); ++i)
        built = add_written_property(spec, list[i]);
      built = built && value_append_element(&request->specifications, TAG_WRITE_ACCESS_SPECIFICATION_LIST,
                                            spec_value.get()) == 0;
    }
    ClientCallRecord record = api_call_record(device, request.get(), nullptr, &error);
    rc = built ? api_calls().write_property_multiple(&record) : -1;
  }
  if (rc != 0)
    return -1;
  *answer = error.status != -1 ? error_text(error) : written;
  return 0;
}

std::string api_value_to_text(const BACnetValue* value)
{
  char text[64];
  const auto& p = value->payload;
  switch (value->tag) {
    case TAG_NULL: return "bacnetDT_Null";
    case TAG_BOOLEAN: return p.boolean ? "1" : "0";
    case TAG_UNSIGNED: std::snprintf(text, sizeof text, "%u", p.unsigned_value); break;
    case TAG_SIGNED: std::snprintf(text, sizeof text, "%d", p.signed_value); break;
    case TAG_ENUMERATED: std::snprintf(text, sizeof text, "%u", p.enumerated); break;
    case TAG_REAL: return std::to_string(p.real);
    case TAG_DOUBLE: std::snprintf(text, sizeof text, "%e", p.double_value); break;
    case TAG_CHARACTER_STRING: return p.text ? p.text : "";
    case TAG_OBJECT_ID: std::snprintf(text, sizeof text, "%u,%u", p.object_id.type, p.object_id.instance); break;
    default: return "Not Implemented";
  }
  return text;
}

std::string api_error_to_text(uint32_t error_class, uint32_t error_code)
{
  std::string text;
  for (const ClassText& c : kClassTexts)
    if (c.error_class == int32_t(error_class))
      text = c.text;
  if (text.empty())
    text = "Error Class : " + std::to_string(int32_t(error_class));
  text += " - Error Code : ";
  if (int32_t(error_code) == -1)
    return text + "None";
  if (error_code < kCodeTexts.size() && kCodeTexts[error_code])
    return text + kCodeTexts[error_code];
  return text + std::to_string(int32_t(error_code));
}

std::string api_handle_text_command(const char* payload, std::size_t length)
{
  std::string_view text(payload, payload ? strnlen(payload, length) : 0);
  // The earliest keyword counts, so a keyword inside an XML value cannot take over a request.
  Command earliest{nullptr};
  for (const char* keyword : {"get:", "set:", "xml:", "con:", "unc:"}) {
    std::size_t at = text.find(keyword);
    if (at < earliest.at)
      earliest = {keyword, at};
  }
  if (!earliest.keyword)
    return kUnknownCommand;
  std::string answer;
  if (run_command(earliest.keyword, text.substr(0, earliest.at), text.substr(earliest.at + 4), &answer) != 0)
    return kInternalError;
  return answer;
}

std::string api_text_answer(const char* payload, std::size_t length)
{
  std::string answer = api_handle_text_command(payload, length);
  return answer.empty() ? kNoAnswer : answer;
}

bool api_is_text_command(std::span<const uint8_t> payload) { return !payload.empty() && payload[0] != 0; }

void api_answer_text_command(ApiClient* client, std::span<const uint8_t> payload)
{
  std::string answer = api_text_answer(reinterpret_cast<const char*>(payload.data()), payload.size());
  pdu_buffer message;
  if (api_put_bytes(&message, answer.data(), uint32_t(answer.size())) == 0)
    api_client_send_now(client, &message);
  pdu_buffer_free(&message);  // empty when the socket's writer took it
}
