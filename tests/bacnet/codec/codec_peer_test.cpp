// The main-road services against an independent stack (@bacnet-js/client through
// tests/peers/codec_peer.js): what we encode it decodes to the same values, and what it
// encodes we decode to the same values. Both sides write the values in one canonical JSON
// form, so they compare as text.
#include "bacnet/codec/codec_acks.h"
#include "bacnet/value/value.h"
#include "codec_test_util.h"
#include "support/tshark.h"

#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <functional>
#include <sstream>

using namespace codectest;

namespace {

// ---- Canonical text of our records -------------------------------------------------------

std::string number(double v)
{
  char text[64];
  auto end = std::to_chars(text, text + sizeof text, v).ptr;
  return std::string(text, end);
}

std::string quoted(const std::string& s)
{
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\')
      out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string hex_lower(const uint8_t* data, size_t n)
{
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
  return out;
}

std::string pair(const BACnetObjectId& id)
{
  return "[" + std::to_string(id.type) + "," + std::to_string(id.instance) + "]";
}

std::string quad(const uint8_t* four)
{
  return "[" + std::to_string(four[0]) + "," + std::to_string(four[1]) + "," + std::to_string(four[2]) + "," +
         std::to_string(four[3]) + "]";
}

std::string value_text(const BACnetValue& v)
{
  const BACnetValue::Payload& p = v.payload;
  std::string t = "{\"t\":" + std::to_string(v.tag) + ",\"v\":";
  switch (v.tag) {
    case TAG_NULL: return t + "null}";
    case TAG_BOOLEAN: return t + (p.boolean ? "true}" : "false}");
    case TAG_UNSIGNED: return t + std::to_string(p.unsigned_value) + "}";
    case TAG_SIGNED: return t + std::to_string(p.signed_value) + "}";
    case TAG_REAL: return t + number(double(p.real)) + "}";
    case TAG_DOUBLE: return t + number(p.double_value) + "}";
    case TAG_OCTET_STRING: return t + quoted(hex_lower(p.octets.data, p.octets.length)) + "}";
    case TAG_CHARACTER_STRING: return t + quoted(p.text ? p.text : "") + "}";
    case TAG_BIT_STRING: {
      std::string bits = "[";
      for (uint32_t i = 0; i < p.bits.count; ++i)
        bits += (i ? "," : "") + std::to_string(p.bits.bits[i] ? 1 : 0);
      return t + bits + "]}";
    }
    case TAG_ENUMERATED: return t + std::to_string(p.enumerated) + "}";
    case TAG_DATE: return t + quad(&p.date.year) + "}";
    case TAG_TIME: return t + quad(&p.time.hour) + "}";
    case TAG_OBJECT_ID: return t + pair(p.object_id) + "}";
    default: return "{\"unexpected tag\":" + std::to_string(v.tag) + "}";
  }
}

// A property value as the list of its application-tagged values.
std::string values_text(const BACnetValue& v)
{
  std::vector<const BACnetValue*> items;
  if (BACnetValueArray* array = value_array(&v)) {
    for (uint32_t i = 0; i < array->used; ++i) {
      const BACnetValue* element = &array->elements[i];
      if (const AnyValue* any = value_record<AnyValue>(element))
        element = &any->value;
      items.push_back(element);
    }
  } else {
    items.push_back(&v);
  }
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i)
    out += (i ? "," : "") + value_text(*items[i]);
  return out + "]";
}

// Values written as one value, or as a list of any-value entries when there are several.
void set_values(BACnetValue* target, const std::vector<std::function<void(BACnetValue*)>>& makers)
{
  value_free(target);
  if (makers.size() == 1) {
    makers[0](target);
    return;
  }
  value_init(target, TAG_ANY_VALUE_LIST);
  for (const auto& make : makers) {
    BACnetValue entry{};
    value_init(&entry, TAG_ANY_VALUE);
    make(&value_record<AnyValue>(&entry)->value);
    value_array_append(value_array(target), &entry);
  }
}

std::string index_text(int32_t index)
{
  return std::to_string(index);
}

// ---- One check per service and value -----------------------------------------------------

using Bytes = std::vector<uint8_t>;

struct Case {
  std::string service;  // the peer's name of the service
  std::string json;     // canonical values of the case
  std::function<Bytes()> encode;                               // our encoder on the case's record
  std::function<std::string(const Bytes&)> decode;             // our decoder, back to canonical text
  std::string peer_reads = {};  // what the peer decodes from our octets, when it differs from `json`
  bool peer_decodes = true;
  bool peer_encodes = true;
};

template <class Record, class Encode>
std::function<Bytes()> encoder(std::function<void(Record&)> fill, Encode encode, void (*release)(Record*) = nullptr)
{
  return [fill, encode, release] {
    Record record{};
    fill(record);
    pdu_buffer buffer;
    int result = encode(&buffer, &record);
    Bytes out = result == 0 ? Bytes(buffer.data, buffer.data + buffer.pos) : Bytes{0xEE, 0xEE};
    pdu_buffer_free(&buffer);
    if (release)
      release(&record);
    return out;
  };
}

template <class Record, class Decode>
std::function<std::string(const Bytes&)> decoder(Decode decode, std::function<std::string(const Record&)> text,
                                                 void (*release)(Record*) = nullptr)
{
  return [decode, text, release](const Bytes& bytes) {
    Record record{};
    pdu_buffer buffer = pdu_buffer_view(bytes.data(), uint32_t(bytes.size()));
    int result = decode(&buffer, &record);
    std::string out = result == 0 ? text(record) : "decode failed: " + std::to_string(result);
    if (result == 0 && buffer.pos != buffer.size)
      out += " (octets left)";
    if (release)
      release(&record);
    return out;
  };
}

std::string who_is_text(const WhoIsRequest& r)
{
  return "{\"low\":" + std::to_string(r.low_limit) + ",\"high\":" + std::to_string(r.high_limit) + "}";
}

std::string iam_text(const IAmRequest& r)
{
  return "{\"device\":" + pair(r.device) + ",\"maxApdu\":" + std::to_string(r.max_apdu) +
         ",\"segmentation\":" + std::to_string(r.segmentation) + ",\"vendor\":" + std::to_string(r.vendor_id) + "}";
}

std::string who_has_text(const WhoHasRequest& r)
{
  std::string out = "{\"low\":" + std::to_string(r.low_limit) + ",\"high\":" + std::to_string(r.high_limit);
  if (r.choice == 0)
    out += ",\"object\":" + pair(r.object);
  if (r.choice == 1)
    out += ",\"name\":" + quoted(r.object_name);
  return out + "}";
}

std::string ihave_text(const IHaveRequest& r)
{
  return "{\"device\":" + pair(r.device) + ",\"object\":" + pair(r.object) + ",\"name\":" + quoted(r.object_name) + "}";
}

std::string read_property_text(const ReadPropertyRequest& r)
{
  return "{\"object\":" + pair(r.object) + ",\"property\":" + std::to_string(r.property) +
         ",\"index\":" + index_text(r.array_index) + "}";
}

std::string read_property_ack_text(const ReadPropertyAck& r)
{
  return "{\"object\":" + pair(r.object) + ",\"property\":" + std::to_string(r.property) +
         ",\"index\":" + index_text(r.array_index) + ",\"values\":" + values_text(r.value) + "}";
}

std::string rpm_text(const ReadPropertyMultipleRequest& r)
{
  std::string out = "{\"specs\":[";
  for (uint32_t i = 0; i < r.specifications.count; ++i) {
    const ReadAccessSpecification* spec = inline_list_get(&r.specifications, i);
    out += std::string(i ? "," : "") + "{\"object\":" + pair(spec->object) + ",\"refs\":[";
    for (uint32_t j = 0; j < spec->references.count; ++j) {
      const BACnetPropertyReference* ref = inline_list_get(&spec->references, j);
      out += std::string(j ? "," : "") + "[" + std::to_string(ref->property) + "," + index_text(ref->array_index) + "]";
    }
    out += "]}";
  }
  return out + "]}";
}

std::string rpm_ack_text(const ReadPropertyMultipleAck& r)
{
  std::string out = "{\"results\":[";
  for (uint32_t i = 0; i < r.results.count; ++i) {
    const ReadAccessResult* result = inline_list_get(&r.results, i);
    out += std::string(i ? "," : "") + "{\"object\":" + pair(result->object) + ",\"items\":[";
    for (uint32_t j = 0; j < result->results.count; ++j) {
      const ReadAccessResultElement* e = inline_list_get(&result->results, j);
      out += std::string(j ? "," : "") + "{\"property\":" + std::to_string(e->property) +
             ",\"index\":" + index_text(e->array_index);
      if (e->choice == 1)
        out += ",\"error\":[" + std::to_string(e->error_class) + "," + std::to_string(e->error_code) + "]}";
      else
        out += ",\"values\":" + values_text(e->value) + "}";
    }
    out += "]}";
  }
  return out + "]}";
}

std::string write_property_text(const WritePropertyRequest& r)
{
  return "{\"object\":" + pair(r.object) + ",\"property\":" + std::to_string(r.property) +
         ",\"index\":" + index_text(r.array_index) + ",\"priority\":" + std::to_string(r.priority) +
         ",\"values\":" + values_text(r.value) + "}";
}

std::string stream_text(uint32_t access)
{
  return access == FILE_ACCESS_STREAM ? "true" : "false";
}

std::string arf_text(const AtomicReadFileRequest& r)
{
  return "{\"object\":" + pair(r.file) + ",\"stream\":" + stream_text(r.access) + ",\"start\":" + std::to_string(r.start) +
         ",\"count\":" + std::to_string(r.count) + "}";
}

std::string arf_ack_text(const AtomicReadFileAck& r)
{
  return std::string("{\"eof\":") + (r.end_of_file ? "true" : "false") + ",\"stream\":" + stream_text(r.access) +
         ",\"start\":" + std::to_string(r.start) + ",\"data\":" + quoted(hex_lower(r.data.data(), r.data.size())) + "}";
}

std::string awf_text(const AtomicWriteFileRequest& r)
{
  return "{\"object\":" + pair(r.file) + ",\"stream\":" + stream_text(r.access) + ",\"start\":" + std::to_string(r.start) +
         ",\"data\":" + quoted(hex_lower(r.data.data(), r.data.size())) + "}";
}

std::string awf_ack_text(const AtomicWriteFileAck& r)
{
  return "{\"stream\":" + stream_text(r.access) + ",\"start\":" + std::to_string(r.start) + "}";
}

std::string error_text(const ErrorParameters& r)
{
  return "{\"errorClass\":" + std::to_string(r.error.error_class) + ",\"errorCode\":" + std::to_string(r.error.error_code) + "}";
}

std::string reject_text(const RejectPdu& r)
{
  return "{\"invokeId\":" + std::to_string(r.invoke_id) + ",\"reason\":" + std::to_string(r.reason) + "}";
}

std::string abort_text(const AbortPdu& r)
{
  return std::string("{\"server\":") + (r.server ? "true" : "false") + ",\"invokeId\":" + std::to_string(r.invoke_id) +
         ",\"reason\":" + std::to_string(r.reason) + "}";
}

// Value makers for the property-value cases.
std::function<void(BACnetValue*)> real(float f) { return [f](BACnetValue* v) { value_set_real(&f, v); }; }
std::function<void(BACnetValue*)> text(const char* s) { return [s](BACnetValue* v) { value_set_charstring(s, v); }; }
std::function<void(BACnetValue*)> object(uint32_t type, uint32_t instance)
{
  return [=](BACnetValue* v) {
    BACnetObjectId id{type, instance};
    value_set_objectid(&id, v);
  };
}
template <class F>
std::function<void(BACnetValue*)> maker(F f) { return f; }

std::vector<Case> cases()
{
  auto who_is = decoder<WhoIsRequest>(pdu_decode_who_is_request, who_is_text);
  auto iam = decoder<IAmRequest>(pdu_decode_iam_request, iam_text);
  auto who_has = decoder<WhoHasRequest>(pdu_decode_who_has_request, who_has_text);
  auto ihave = decoder<IHaveRequest>(pdu_decode_ihave_request, ihave_text);
  auto rp = decoder<ReadPropertyRequest>(pdu_decode_read_property_request, read_property_text);
  auto rp_ack = decoder<ReadPropertyAck>(pdu_decode_read_property_ack, read_property_ack_text, pdu_free_read_property_ack);
  auto rpm = decoder<ReadPropertyMultipleRequest>(pdu_decode_read_property_multiple_request, rpm_text,
                                                  pdu_free_read_property_multiple_request);
  auto rpm_ack = decoder<ReadPropertyMultipleAck>(pdu_decode_read_property_multiple_ack, rpm_ack_text,
                                                  pdu_free_read_property_multiple_ack);
  auto wp = decoder<WritePropertyRequest>(pdu_decode_write_property_request, write_property_text,
                                          pdu_free_write_property_request);
  auto arf = decoder<AtomicReadFileRequest>(pdu_decode_atomic_read_file_request, arf_text);
  auto arf_ack = decoder<AtomicReadFileAck>(pdu_decode_atomic_read_file_ack, arf_ack_text);
  auto awf = decoder<AtomicWriteFileRequest>(pdu_decode_atomic_write_file_request, awf_text);
  auto awf_ack = decoder<AtomicWriteFileAck>(pdu_decode_atomic_write_file_ack, awf_ack_text);
  auto error = decoder<ErrorParameters>(
      [](pdu_buffer* b, ErrorParameters* r) {
        r->service_choice = SERVICE_READ_PROPERTY;
        return pdu_decode_error(b, r);
      },
      error_text);
  auto reject = decoder<RejectPdu>(pdu_decode_reject, reject_text);
  auto abort = decoder<AbortPdu>(pdu_decode_abort, abort_text);

  auto rp_ack_case = [&](std::string json, uint32_t property, std::vector<std::function<void(BACnetValue*)>> makers) {
    return Case{"readPropertyAck", json,
                encoder<ReadPropertyAck>(
                    [property, makers](ReadPropertyAck& r) {
                      r.object = {8, 1234};
                      r.property = property;
                      r.array_index = -1;
                      set_values(&r.value, makers);
                    },
                    pdu_encode_read_property_ack, pdu_free_read_property_ack),
                rp_ack};
  };

  std::vector<Case> all;
  all.push_back({"whoIs", R"({"low":-1,"high":-1})",
                 encoder<WhoIsRequest>([](WhoIsRequest& r) { r = {-1, -1}; }, pdu_encode_who_is_request), who_is});
  all.push_back({"whoIs", R"({"low":5,"high":10})",
                 encoder<WhoIsRequest>([](WhoIsRequest& r) { r = {5, 10}; }, pdu_encode_who_is_request), who_is});
  Case lone_low{"whoIs", R"({"low":5,"high":-1})",
                encoder<WhoIsRequest>([](WhoIsRequest& r) { r = {5, -1}; }, pdu_encode_who_is_request), who_is};
  lone_low.peer_reads = R"({"low":5,"high":4194303})";
  lone_low.peer_encodes = false;  // the peer never sends a lone low limit
  all.push_back(lone_low);
  all.push_back({"iAm", R"({"device":[8,1234],"maxApdu":480,"segmentation":3,"vendor":260})",
                 encoder<IAmRequest>([](IAmRequest& r) { r = {{8, 1234}, 480, 3, 260}; }, pdu_encode_iam_request), iam});
  all.push_back({"whoHas", R"({"low":0,"high":4194303,"object":[10,1]})",
                 encoder<WhoHasRequest>(
                     [](WhoHasRequest& r) {
                       r.choice = 0;
                       r.object = {10, 1};
                     },
                     pdu_encode_who_has_request),
                 who_has});
  all.push_back({"whoHas", R"({"low":1,"high":4000,"name":"Parameter"})",
                 encoder<WhoHasRequest>(
                     [](WhoHasRequest& r) {
                       r.low_limit = 1;
                       r.high_limit = 4000;
                       r.choice = 1;
                       r.object_name = "Parameter";
                     },
                     pdu_encode_who_has_request),
                 who_has});
  all.push_back({"iHave", R"({"device":[8,1234],"object":[10,1],"name":"Parameter"})",
                 encoder<IHaveRequest>([](IHaveRequest& r) { r = {{8, 1234}, {10, 1}, "Parameter"}; }, pdu_encode_ihave_request),
                 ihave});
  all.push_back({"readProperty", R"({"object":[8,1234],"property":76,"index":-1})",
                 encoder<ReadPropertyRequest>([](ReadPropertyRequest& r) { r = {{8, 1234}, 76, -1}; },
                                              pdu_encode_read_property_request),
                 rp});
  all.push_back({"readProperty", R"({"object":[10,2],"property":76,"index":2})",
                 encoder<ReadPropertyRequest>([](ReadPropertyRequest& r) { r = {{10, 2}, 76, 2}; },
                                              pdu_encode_read_property_request),
                 rp});
  all.push_back(rp_ack_case(R"({"object":[8,1234],"property":70,"index":-1,"values":[{"t":7,"v":"ZOR17_BACnet"}]})", 70,
                            {text("ZOR17_BACnet")}));
  all.push_back(rp_ack_case(
      R"({"object":[8,1234],"property":76,"index":-1,"values":[{"t":12,"v":[8,1234]},{"t":12,"v":[10,1]},{"t":12,"v":[10,5]}]})",
      76, {object(8, 1234), object(10, 1), object(10, 5)}));
  all.push_back(rp_ack_case(
      R"({"object":[8,1234],"property":85,"index":-1,"values":[{"t":4,"v":21.5},{"t":0,"v":null},{"t":1,"v":true},{"t":2,"v":4294967295},{"t":3,"v":-129},{"t":9,"v":3}]})",
      85,
      {real(21.5f), maker([](BACnetValue* v) { value_clear(v); }),
       maker([](BACnetValue* v) { uint8_t b = 1; value_set_boolean(&b, v); }),
       maker([](BACnetValue* v) { uint32_t u = 4294967295u; value_set_unsigned(&u, v); }),
       maker([](BACnetValue* v) { int32_t s = -129; value_set_signed(&s, v); }),
       maker([](BACnetValue* v) { uint32_t e = 3; value_set_enumerated(&e, v); })}));
  all.push_back(rp_ack_case(
      R"({"object":[8,1234],"property":85,"index":-1,"values":[{"t":6,"v":"0102ff"},{"t":8,"v":[1,0,0,0,0,0,1,1,0]},{"t":10,"v":[124,5,10,5]},{"t":11,"v":[10,30,15,50]},{"t":5,"v":3.25}]})",
      85,
      {maker([](BACnetValue* v) {
         const uint8_t octets[] = {1, 2, 0xFF};
         OctetString s{3, const_cast<uint8_t*>(octets)};
         value_set_octetstring(&s, v);
       }),
       maker([](BACnetValue* v) {
         uint8_t bits[] = {1, 0, 0, 0, 0, 0, 1, 1, 0};
         BitString b{9, 9, bits};
         value_set_bitstring(&b, v);
       }),
       maker([](BACnetValue* v) { BACnetDate d{124, 5, 10, 5}; value_set_date(&d, v); }),
       maker([](BACnetValue* v) { BACnetTime t{10, 30, 15, 50}; value_set_time(&t, v); }),
       maker([](BACnetValue* v) { double d = 3.25; value_set_double(&d, v); })}));

  all.push_back({"readPropertyMultiple", R"({"specs":[{"object":[8,1234],"refs":[[77,-1],[76,2]]},{"object":[10,1],"refs":[[85,-1]]}]})",
                 encoder<ReadPropertyMultipleRequest>(
                     [](ReadPropertyMultipleRequest& r) {
                       ReadAccessSpecification a{}, b{};
                       a.object = {8, 1234};
                       BACnetPropertyReference name{77, -1}, list{76, 2}, pv{85, -1};
                       inline_list_add(&a.references, &name);
                       inline_list_add(&a.references, &list);
                       b.object = {10, 1};
                       inline_list_add(&b.references, &pv);
                       inline_list_add(&r.specifications, &a);
                       inline_list_add(&r.specifications, &b);
                     },
                     pdu_encode_read_property_multiple_request, pdu_free_read_property_multiple_request),
                 rpm});
  all.push_back({"readPropertyMultipleAck",
                 R"({"results":[{"object":[8,1234],"items":[{"property":77,"index":-1,"values":[{"t":7,"v":"ZOR17"}]},{"property":44,"index":-1,"error":[2,32]}]},{"object":[2,3],"items":[{"property":85,"index":-1,"values":[{"t":4,"v":21.5}]}]}]})",
                 encoder<ReadPropertyMultipleAck>(
                     [](ReadPropertyMultipleAck& r) {
                       ReadAccessResult device{}, value{};
                       device.object = {8, 1234};
                       ReadAccessResultElement name{}, missing{}, pv{};
                       name.property = 77;
                       name.array_index = -1;
                       value_set_charstring("ZOR17", &name.value);
                       missing.property = 44;
                       missing.array_index = -1;
                       missing.choice = 1;
                       missing.error_class = 2;
                       missing.error_code = 32;
                       inline_list_add(&device.results, &name);
                       inline_list_add(&device.results, &missing);
                       value.object = {2, 3};
                       pv.property = 85;
                       pv.array_index = -1;
                       float f = 21.5f;
                       value_set_real(&f, &pv.value);
                       inline_list_add(&value.results, &pv);
                       inline_list_add(&r.results, &device);
                       inline_list_add(&r.results, &value);
                     },
                     pdu_encode_read_property_multiple_ack, pdu_free_read_property_multiple_ack),
                 rpm_ack});
  all.push_back({"writeProperty", R"({"object":[2,3],"property":85,"index":-1,"priority":8,"values":[{"t":4,"v":21.5}]})",
                 encoder<WritePropertyRequest>(
                     [](WritePropertyRequest& r) {
                       r.object = {2, 3};
                       r.property = 85;
                       float f = 21.5f;
                       value_set_real(&f, &r.value);
                       r.priority = 8;
                     },
                     pdu_encode_write_property_request, pdu_free_write_property_request),
                 wp});
  all.push_back({"writeProperty", R"({"object":[8,1234],"property":77,"index":-1,"priority":0,"values":[{"t":7,"v":"Raum 1"}]})",
                 encoder<WritePropertyRequest>(
                     [](WritePropertyRequest& r) {
                       r.object = {8, 1234};
                       r.property = 77;
                       value_set_charstring("Raum 1", &r.value);
                     },
                     pdu_encode_write_property_request, pdu_free_write_property_request),
                 wp});
  all.push_back({"atomicReadFile", R"({"object":[10,1],"stream":true,"start":0,"count":146})",
                 encoder<AtomicReadFileRequest>([](AtomicReadFileRequest& r) { r = {{10, 1}, FILE_ACCESS_STREAM, 0, 146}; },
                                                pdu_encode_atomic_read_file_request),
                 arf});
  all.push_back({"atomicReadFile", R"({"object":[10,2],"stream":false,"start":3,"count":1})",
                 encoder<AtomicReadFileRequest>([](AtomicReadFileRequest& r) { r = {{10, 2}, FILE_ACCESS_RECORD, 3, 1}; },
                                                pdu_encode_atomic_read_file_request),
                 arf});
  all.push_back({"atomicReadFileAck", R"({"eof":true,"stream":true,"start":0,"data":"100020003000"})",
                 encoder<AtomicReadFileAck>(
                     [](AtomicReadFileAck& r) {
                       r.end_of_file = true;
                       r.data = {0x10, 0, 0x20, 0, 0x30, 0};
                     },
                     pdu_encode_atomic_read_file_ack),
                 arf_ack});
  Case record_ack{"atomicReadFileAck", R"({"eof":false,"stream":false,"start":3,"data":"0a0b"})", nullptr, arf_ack};
  record_ack.peer_decodes = false;  // the peer has no decoder for record access answers
  all.push_back(record_ack);
  all.push_back({"atomicWriteFile", R"({"object":[10,4],"stream":true,"start":0,"data":"49002c01"})",
                 encoder<AtomicWriteFileRequest>(
                     [](AtomicWriteFileRequest& r) {
                       r.file = {10, 4};
                       r.data = {0x49, 0, 0x2C, 1};
                     },
                     pdu_encode_atomic_write_file_request),
                 awf});
  all.push_back({"atomicWriteFile", R"({"object":[10,4],"stream":false,"start":2,"data":"49002c01"})",
                 encoder<AtomicWriteFileRequest>(
                     [](AtomicWriteFileRequest& r) {
                       r.file = {10, 4};
                       r.access = FILE_ACCESS_RECORD;
                       r.start = 2;
                       r.record_count = 1;
                       r.data = {0x49, 0, 0x2C, 1};
                     },
                     pdu_encode_atomic_write_file_request),
                 awf});
  all.push_back({"atomicWriteFileAck", R"({"stream":true,"start":146})",
                 encoder<AtomicWriteFileAck>([](AtomicWriteFileAck& r) { r = {FILE_ACCESS_STREAM, 146}; },
                                             pdu_encode_atomic_write_file_ack),
                 awf_ack});
  all.push_back({"atomicWriteFileAck", R"({"stream":false,"start":5})",
                 encoder<AtomicWriteFileAck>([](AtomicWriteFileAck& r) { r = {FILE_ACCESS_RECORD, 5}; },
                                             pdu_encode_atomic_write_file_ack),
                 awf_ack});
  all.push_back({"error", R"({"errorClass":2,"errorCode":32})",
                 encoder<ErrorParameters>([](ErrorParameters& r) { r = {SERVICE_READ_PROPERTY, {2, 32}}; }, pdu_encode_error),
                 error});
  all.push_back({"reject", R"({"invokeId":42,"reason":9})",
                 encoder<RejectPdu>([](RejectPdu& r) { r = {42, 9}; }, pdu_encode_reject), reject});
  all.push_back({"abort", R"({"server":true,"invokeId":42,"reason":4})",
                 encoder<AbortPdu>([](AbortPdu& r) { r = {true, 42, 4}; }, pdu_encode_abort), abort});
  return all;
}

// ---- Talking to the peer -----------------------------------------------------------------

std::vector<std::string> ask_peer(const std::vector<std::string>& requests)
{
  std::string input;
  for (const std::string& line : requests)
    input += line + "\n";
  std::string script = testsupport::tests_dir() + "/peers/codec_peer.js";
  int status = -1;
  std::string output = testsupport::run_command("node '" + script + "'", &status, input);
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// The part of an answer line after `key`, up to the closing brace.
std::string answer_part(const std::string& line, const std::string& key)
{
  std::string prefix = "{\"" + key + "\":";
  if (line.rfind(prefix, 0) != 0 || line.back() != '}')
    return "peer said: " + line;
  std::string part = line.substr(prefix.size(), line.size() - prefix.size() - 1);
  if (key == "hex" && part.size() >= 2)
    part = part.substr(1, part.size() - 2);
  return part;
}

class PeerTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    if (!std::filesystem::exists(testsupport::tests_dir() + "/node_modules/@bacnet-js/client"))
      GTEST_FAIL() << "the peer is not installed: run npm ci in tests/";
  }
};

TEST_F(PeerTest, PeerDecodesWhatWeEncode)
{
  std::vector<Case> all = cases();
  std::vector<std::string> requests;
  std::vector<const Case*> asked;
  for (const Case& c : all) {
    if (!c.peer_decodes || !c.encode)
      continue;
    Bytes ours = c.encode();
    requests.push_back("{\"op\":\"decode\",\"service\":\"" + c.service + "\",\"hex\":\"" + hex_lower(ours.data(), ours.size()) + "\"}");
    asked.push_back(&c);
  }
  std::vector<std::string> answers = ask_peer(requests);
  ASSERT_EQ(answers.size(), asked.size());
  for (size_t i = 0; i < asked.size(); ++i) {
    const Case& c = *asked[i];
    EXPECT_EQ(answer_part(answers[i], "value"), c.peer_reads.empty() ? c.json : c.peer_reads) << c.service;
  }
}

TEST_F(PeerTest, WeDecodeWhatThePeerEncodes)
{
  std::vector<Case> all = cases();
  std::vector<std::string> requests;
  std::vector<const Case*> asked;
  for (const Case& c : all) {
    if (!c.peer_encodes)
      continue;
    requests.push_back("{\"op\":\"encode\",\"service\":\"" + c.service + "\",\"value\":" + c.json + "}");
    asked.push_back(&c);
  }
  std::vector<std::string> answers = ask_peer(requests);
  ASSERT_EQ(answers.size(), asked.size());
  for (size_t i = 0; i < asked.size(); ++i) {
    const Case& c = *asked[i];
    std::string hex = answer_part(answers[i], "hex");
    EXPECT_EQ(c.decode(bytes_of(hex)), c.json) << c.service << " from " << hex;
  }
}

}  // namespace
