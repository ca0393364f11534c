// The services against an independent stack (@bacnet-js/client through
// tests/peers/codec_peer.js): what we encode it decodes to the same values, and what it
// encodes we decode to the same values. Both sides write the values in one canonical JSON
// form, so they compare as text. The peer has no codec for ReadPropertyConditional,
// Authenticate, RequestKey, the text messages and the error forms beyond the plain one.
#include "bacnet/codec/pdu.h"
#include "codec_builders.h"
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


// ---- Canonical text of the further services ----------------------------------------------

std::string bits_text(const BitString& bits)
{
  std::string out = "[";
  for (uint32_t i = 0; i < bits.count; ++i)
    out += (i ? "," : "") + std::to_string(bits.bits[i] ? 1 : 0);
  return out + "]";
}

std::string datetime_text(const BACnetDateTime& d)
{
  const uint8_t* date = &d.date.year;
  const uint8_t* time = &d.time.hour;
  std::string out = "[";
  for (int i = 0; i < 4; ++i)
    out += std::to_string(date[i]) + ",";
  for (int i = 0; i < 4; ++i)
    out += std::to_string(time[i]) + (i < 3 ? "," : "]");
  return out;
}

std::string stamp_text(const BACnetTimeStamp& s)
{
  if (s.choice == 1)
    return "{\"seq\":" + std::to_string(s.sequence) + "}";
  if (s.choice == 0)
    return "{\"time\":" + quad(&s.time.hour) + "}";
  return "{\"datetime\":" + datetime_text(s.datetime) + "}";
}

std::string text_of(const BACnetValue& v)
{
  return quoted(v.tag == TAG_CHARACTER_STRING && v.payload.text ? v.payload.text : "");
}

// One PropertyValue or a list of them.
template <class Each>
std::string property_values_text(const BACnetValue& values, Each each)
{
  std::string out = "[";
  if (const BACnetPropertyValue* one = value_record<BACnetPropertyValue>(&values)) {
    out += each(*one);
  } else if (BACnetValueArray* array = value_array(&values)) {
    for (uint32_t i = 0; i < array->used; ++i)
      out += std::string(i ? "," : "") + each(*value_record<BACnetPropertyValue>(&array->elements[i]));
  }
  return out + "]";
}

std::string short_pv_text(const BACnetPropertyValue& pv)
{
  return "{\"property\":" + std::to_string(pv.property) + ",\"values\":" + values_text(pv.value) + "}";
}

std::string full_pv_text(const BACnetPropertyValue& pv)
{
  return "{\"property\":" + std::to_string(pv.property) + ",\"index\":" + index_text(pv.array_index) +
         ",\"priority\":" + std::to_string(pv.priority) + ",\"values\":" + values_text(pv.value) + "}";
}

std::string encoded_hex(const BACnetValue& value)
{
  pdu_buffer buffer;
  std::string out = pdu_encode_value(&buffer, &value, -1) == 0 ? hex_lower(buffer.data, buffer.pos) : "failed";
  pdu_buffer_free(&buffer);
  return out;
}

std::string acknowledge_alarm_text(const AcknowledgeAlarmRequest& r)
{
  return "{\"process\":" + std::to_string(r.process_id) + ",\"object\":" + pair(r.event_object) +
         ",\"state\":" + std::to_string(r.event_state) + ",\"stamp\":" + stamp_text(r.timestamp) +
         ",\"source\":" + text_of(r.source) + ",\"ackStamp\":" + stamp_text(r.ack_timestamp) + "}";
}

std::string cov_notification_text(const CovNotificationRequest& r)
{
  return "{\"process\":" + std::to_string(r.process_id) + ",\"device\":" + pair(r.device) + ",\"object\":" + pair(r.object) +
         ",\"remaining\":" + std::to_string(r.time_remaining) + ",\"values\":" + property_values_text(r.values, short_pv_text) +
         "}";
}

std::string notification_parameters_text(const BACnetNotificationParameters& p)
{
  std::string status = ",\"status\":" + bits_text(p.status_flags);
  auto real = [](float f) { return number(double(f)); };
  switch (p.choice) {
    case 0: return "{\"bits\":" + bits_text(p.bits) + status + "}";
    case 1:
      return "{\"state\":[" + std::to_string(p.new_state.choice) + "," + std::to_string(p.new_state.value) + "]" + status + "}";
    case 2:
      return (p.changed_choice == 0 ? "{\"bits\":" + bits_text(p.bits) : "{\"value\":" + real(p.changed_value)) + status + "}";
    case 4:
      return "{\"reference\":" + real(p.reals[0]) + status + ",\"setpoint\":" + real(p.reals[1]) + ",\"error\":" + real(p.reals[2]) + "}";
    case 5:
      return "{\"exceeding\":" + real(p.reals[0]) + status + ",\"deadband\":" + real(p.reals[1]) + ",\"exceeded\":" + real(p.reals[2]) + "}";
    case 10:
      return "{\"buffer\":{\"object\":" + pair(p.buffer_property.object) + ",\"property\":" +
             std::to_string(p.buffer_property.property) + ",\"device\":" + pair(p.buffer_property.device) +
             "},\"previous\":" + std::to_string(p.previous_notification) + ",\"current\":" +
             std::to_string(p.current_notification) + "}";
    default: return "{\"choice\":" + std::to_string(p.choice) + "}";
  }
}

std::string event_notification_text(const EventNotificationRequest& r)
{
  std::string out = "{\"process\":" + std::to_string(r.process_id) + ",\"device\":" + pair(r.device) +
                    ",\"object\":" + pair(r.object) + ",\"stamp\":" + stamp_text(r.timestamp) +
                    ",\"class\":" + std::to_string(r.notification_class) + ",\"priority\":" + std::to_string(r.priority) +
                    ",\"eventType\":" + std::to_string(r.event_type);
  if (r.message.tag == TAG_CHARACTER_STRING)
    out += ",\"message\":" + text_of(r.message);
  out += ",\"notifyType\":" + std::to_string(r.notify_type);
  if (r.notify_type != NOTIFY_ACK_NOTIFICATION)
    out += std::string(",\"ackRequired\":") + (r.ack_required ? "true" : "false") +
           ",\"fromState\":" + std::to_string(r.from_state);
  out += ",\"toState\":" + std::to_string(r.to_state);
  if (const BACnetNotificationParameters* p = value_record<BACnetNotificationParameters>(&r.parameters))
    out += ",\"params\":" + notification_parameters_text(*p);
  return out + "}";
}

template <class Record, class Each>
std::string records_text(const BACnetValue& value, Each each)
{
  std::string out = "[";
  if (const Record* one = value_record<Record>(&value)) {
    out += each(*one);
  } else if (BACnetValueArray* array = value_array(&value)) {
    for (uint32_t i = 0; i < array->used; ++i)
      out += std::string(i ? "," : "") + each(*value_record<Record>(&array->elements[i]));
  }
  return out + "]";
}

std::string alarm_summary_ack_text(const GetAlarmSummaryAck& r)
{
  return "{\"alarms\":" + records_text<AlarmSummaryEntry>(r.summaries, [](const AlarmSummaryEntry& e) {
           return "{\"object\":" + pair(e.object) + ",\"state\":" + std::to_string(e.alarm_state) +
                  ",\"acked\":" + bits_text(e.acked_transitions) + "}";
         }) + "}";
}

std::string enrollment_summary_text(const GetEnrollmentSummaryRequest& r)
{
  std::string out = "{\"ackFilter\":" + std::to_string(r.acknowledgment_filter);
  if (r.enrollment_filter.not_empty)
    out += ",\"enrollment\":{\"device\":" + pair(r.enrollment_filter.recipient.device) +
           ",\"process\":" + std::to_string(r.enrollment_filter.process_id) + "}";
  if (r.event_state_filter != EVENT_STATE_FILTER_ALL)
    out += ",\"stateFilter\":" + std::to_string(r.event_state_filter);
  if (r.event_type_filter != EVENT_TYPE_FILTER_NONE)
    out += ",\"typeFilter\":" + std::to_string(r.event_type_filter);
  if (r.min_priority >= 0)
    out += ",\"priorities\":[" + std::to_string(r.min_priority) + "," + std::to_string(r.max_priority) + "]";
  if (r.notification_class >= 0)
    out += ",\"classFilter\":" + std::to_string(r.notification_class);
  return out + "}";
}

std::string enrollment_summary_ack_text(const GetEnrollmentSummaryAck& r)
{
  return "{\"summaries\":" + records_text<EnrollmentSummaryEntry>(r.summaries, [](const EnrollmentSummaryEntry& e) {
           return "{\"object\":" + pair(e.object) + ",\"eventType\":" + std::to_string(e.event_type) +
                  ",\"eventState\":" + std::to_string(e.event_state) + ",\"priority\":" + std::to_string(e.priority) +
                  ",\"class\":" + std::to_string(e.notification_class) + "}";
         }) + "}";
}

std::string event_information_text(const GetEventInformationRequest& r)
{
  return "{\"last\":" + pair(r.last_received) + "}";
}

std::string event_information_ack_text(const GetEventInformationAck& r)
{
  return "{\"events\":" + records_text<EventSummaryEntry>(r.summaries, [](const EventSummaryEntry& e) {
           std::string stamps = records_text<BACnetTimeStamp>(e.timestamps, stamp_text);
           std::string priorities = "[";
           if (BACnetValueArray* array = value_array(&e.priorities))
             for (uint32_t i = 0; i < array->used; ++i)
               priorities += (i ? "," : "") + std::to_string(array->elements[i].payload.unsigned_value);
           return "{\"object\":" + pair(e.object) + ",\"state\":" + std::to_string(e.event_state) +
                  ",\"acked\":" + bits_text(e.acked_transitions) + ",\"stamps\":" + stamps +
                  ",\"notifyType\":" + std::to_string(e.notify_type) + ",\"enable\":" + bits_text(e.event_enable) +
                  ",\"priorities\":" + priorities + "]}";
         }) + ",\"more\":" + (r.more_events ? "true" : "false") + "}";
}

std::string subscribe_cov_text(const SubscribeCovRequest& r)
{
  std::string out = "{\"process\":" + std::to_string(r.process_id) + ",\"object\":" + pair(r.object);
  if (r.lifetime < 0)
    return out + ",\"cancel\":true}";
  return out + ",\"cancel\":false,\"confirmed\":" + (r.issue_confirmed ? "true" : "false") +
         ",\"lifetime\":" + std::to_string(r.lifetime) + "}";
}

std::string list_element_text(const ListElementRequest& r)
{
  return "{\"object\":" + pair(r.object) + ",\"property\":" + std::to_string(r.property) +
         ",\"index\":" + index_text(r.array_index) + ",\"values\":" + values_text(r.elements) + "}";
}

std::string create_object_text(const CreateObjectRequest& r)
{
  return "{\"object\":" + pair(r.object) + ",\"values\":" + property_values_text(r.initial_values, full_pv_text) + "}";
}

std::string object_text(const BACnetObjectId& r)
{
  return "{\"object\":" + pair(r) + "}";
}

std::string write_multiple_text(const WritePropertyMultipleRequest& r)
{
  return "{\"specs\":" + records_text<WriteAccessSpecification>(r.specifications, [](const WriteAccessSpecification& w) {
           return "{\"object\":" + pair(w.object) + ",\"values\":" + property_values_text(w.properties, full_pv_text) + "}";
         }) + "}";
}

std::string communication_control_text(const DeviceCommunicationControlRequest& r)
{
  std::string out = "{";
  if (r.duration >= 0)
    out += "\"duration\":" + std::to_string(r.duration) + ",";
  out += "\"enable\":" + std::to_string(r.enable_disable);
  if (r.password.tag == TAG_CHARACTER_STRING)
    out += ",\"password\":" + text_of(r.password);
  return out + "}";
}

std::string private_transfer_text(const PrivateTransferRequest& r)
{
  return "{\"vendor\":" + std::to_string(r.vendor_id) + ",\"service\":" + std::to_string(r.service_number) +
         ",\"data\":" + quoted(encoded_hex(r.parameters)) + "}";
}

std::string reinitialize_text(const ReinitializeDeviceRequest& r)
{
  std::string out = "{\"state\":" + std::to_string(r.state);
  if (r.password.tag == TAG_CHARACTER_STRING)
    out += ",\"password\":" + text_of(r.password);
  return out + "}";
}

std::string read_range_text(const ReadRangeRequest& r)
{
  std::string range;
  if (r.range == RANGE_BY_POSITION)
    range = "{\"position\":[" + std::to_string(r.reference) + "," + std::to_string(r.count) + "]}";
  else if (r.range == RANGE_BY_SEQUENCE)
    range = "{\"sequence\":[" + std::to_string(r.reference) + "," + std::to_string(r.count) + "]}";
  else
    range = "{\"time\":[" + datetime_text(r.time) + "," + std::to_string(r.count) + "]}";
  return "{\"object\":" + pair(r.object) + ",\"property\":" + std::to_string(r.property) +
         ",\"index\":" + index_text(r.array_index) + ",\"range\":" + range + "}";
}

std::string read_range_ack_text(const ReadRangeAck& r)
{
  BitString flags{uint32_t(r.result_flags.size()), uint32_t(r.result_flags.size()), const_cast<uint8_t*>(r.result_flags.data())};
  std::string out = "{\"object\":" + pair(r.object) + ",\"property\":" + std::to_string(r.property) +
                    ",\"index\":" + index_text(r.array_index) + ",\"flags\":" + bits_text(flags) +
                    ",\"count\":" + std::to_string(r.item_count) + ",\"items\":" + quoted(encoded_hex(r.items));
  if (r.first_sequence)
    out += ",\"first\":" + std::to_string(r.first_sequence);
  return out + "}";
}

std::string time_sync_text(const BACnetDateTime& r)
{
  return "{\"datetime\":" + datetime_text(r) + "}";
}

void add_further_cases(std::vector<Case>& all)
{
  const BACnetDateTime morning = datetime_of(124, 5, 10, 5, 8, 30);

  all.push_back({"acknowledgeAlarm",
                 R"({"process":1,"object":[0,1],"state":3,"stamp":{"datetime":[124,5,10,5,8,30,0,0]},"source":"Bediener","ackStamp":{"seq":7}})",
                 encoder<AcknowledgeAlarmRequest>(
                     [=](AcknowledgeAlarmRequest& r) {
                       r.process_id = 1;
                       r.event_object = {0, 1};
                       r.event_state = 3;
                       r.timestamp = stamp_datetime(morning);
                       r.source = v_text("Bediener");
                       r.ack_timestamp = stamp_sequence(7);
                     },
                     pdu_encode_acknowledge_alarm_request, pdu_free_acknowledge_alarm_request),
                 decoder<AcknowledgeAlarmRequest>(pdu_decode_acknowledge_alarm_request, acknowledge_alarm_text,
                                                  pdu_free_acknowledge_alarm_request)});

  auto cov = decoder<CovNotificationRequest>(pdu_decode_cov_notification_request, cov_notification_text,
                                             pdu_free_cov_notification_request);
  for (auto encode : {pdu_encode_confirmed_cov_notification_request, pdu_encode_unconfirmed_cov_notification_request}) {
    all.push_back({"covNotification",
                   R"({"process":1,"device":[8,1234],"object":[0,1],"remaining":60,"values":[{"property":85,"values":[{"t":4,"v":21.5}]},{"property":111,"values":[{"t":8,"v":[0,1,0,0]}]}]})",
                   encoder<CovNotificationRequest>(
                       [](CovNotificationRequest& r) {
                         r.process_id = 1;
                         r.device = {8, 1234};
                         r.object = {0, 1};
                         r.time_remaining = 60;
                         r.values = v_list(TAG_PROPERTY_VALUE_LIST, {v_property_value(85, v_real(21.5f)),
                                                                     v_property_value(111, v_bits({0, 1, 0, 0}))});
                       },
                       encode, pdu_free_cov_notification_request),
                   cov});
  }

  // Event notifications: the peer reads everything but the notification parameters.
  auto event = decoder<EventNotificationRequest>(pdu_decode_event_notification_request, event_notification_text,
                                                 pdu_free_event_notification_request);
  const std::string head =
      R"({"process":1,"device":[8,1234],"object":[0,1],"stamp":{"datetime":[124,5,10,5,8,30,0,0]},"class":7,"priority":100,)";
  struct EventCase {
    uint32_t event_type;
    std::string params;
    std::function<void(BACnetNotificationParameters&)> fill;
  };
  const std::vector<EventCase> events = {
      {0, R"({"bits":[1,0],"status":[0,0,0,0]})", [](BACnetNotificationParameters& p) { p.bits = bits_of({1, 0}); }},
      {1, R"({"state":[1,1],"status":[0,0,0,0]})", [](BACnetNotificationParameters& p) { p.new_state = {1, 1}; }},
      {2, R"({"value":1.5,"status":[0,0,0,0]})",
       [](BACnetNotificationParameters& p) {
         p.changed_choice = 1;
         p.changed_value = 1.5f;
       }},
      {2, R"({"bits":[0,1,1],"status":[0,0,0,0]})",
       [](BACnetNotificationParameters& p) {
         p.changed_choice = 0;
         p.bits = bits_of({0, 1, 1});
       }},
      {4, R"({"reference":23.5,"status":[0,0,0,0],"setpoint":21,"error":2})",
       [](BACnetNotificationParameters& p) {
         p.reals[0] = 23.5f;
         p.reals[1] = 21.0f;
         p.reals[2] = 2.0f;
       }},
      {5, R"({"exceeding":31.5,"status":[0,0,0,0],"deadband":0.5,"exceeded":30})",
       [](BACnetNotificationParameters& p) {
         p.reals[0] = 31.5f;
         p.reals[1] = 0.5f;
         p.reals[2] = 30.0f;
       }},
      {10, R"({"buffer":{"object":[20,1],"property":131,"device":[8,1234]},"previous":10,"current":20})",
       [](BACnetNotificationParameters& p) {
         p.buffer_property = {{20, 1}, 131, -1, {8, 1234}};
         p.previous_notification = 10;
         p.current_notification = 20;
       }},
  };
  for (const EventCase& e : events) {
    std::string fields = "\"eventType\":" + std::to_string(e.event_type) +
                         R"(,"message":"Grenzwert","notifyType":0,"ackRequired":true,"fromState":0,"toState":3)";
    Case c{"eventNotification", head + fields + ",\"params\":" + e.params + "}",
           encoder<EventNotificationRequest>(
               [=](EventNotificationRequest& r) {
                 r.process_id = 1;
                 r.device = {8, 1234};
                 r.object = {0, 1};
                 r.timestamp = stamp_datetime(morning);
                 r.notification_class = 7;
                 r.priority = 100;
                 r.event_type = e.event_type;
                 r.message = v_text("Grenzwert");
                 r.notify_type = 0;
                 r.ack_required = true;
                 r.to_state = 3;
                 r.parameters = v_record<BACnetNotificationParameters>([&](BACnetNotificationParameters& p) {
                   p.choice = e.event_type;
                   p.status_flags = bits_of({0, 0, 0, 0});
                   e.fill(p);
                 });
               },
               pdu_encode_event_notification_request, pdu_free_event_notification_request),
           event};
    c.peer_reads = head + fields + "}";
    all.push_back(c);
  }

  Case alarms{"getAlarmSummaryAck",
              R"({"alarms":[{"object":[0,1],"state":3,"acked":[0,1,1]},{"object":[3,2],"state":2,"acked":[1,1,1]}]})",
              encoder<GetAlarmSummaryAck>(
                  [](GetAlarmSummaryAck& r) {
                    r.summaries = v_list(TAG_ALARM_SUMMARY_LIST, {v_record<AlarmSummaryEntry>([](AlarmSummaryEntry& e) {
                                                                    e.object = {0, 1};
                                                                    e.alarm_state = 3;
                                                                    e.acked_transitions = bits_of({0, 1, 1});
                                                                  }),
                                                                  v_record<AlarmSummaryEntry>([](AlarmSummaryEntry& e) {
                                                                    e.object = {3, 2};
                                                                    e.alarm_state = 2;
                                                                    e.acked_transitions = bits_of({1, 1, 1});
                                                                  })});
                  },
                  pdu_encode_get_alarm_summary_ack, pdu_free_get_alarm_summary_ack),
              decoder<GetAlarmSummaryAck>(pdu_decode_get_alarm_summary_ack, alarm_summary_ack_text,
                                          pdu_free_get_alarm_summary_ack)};
  alarms.peer_encodes = false;  // the peer writes the entries with context tags
  all.push_back(alarms);

  auto enrollment = decoder<GetEnrollmentSummaryRequest>(pdu_decode_get_enrollment_summary_request,
                                                         enrollment_summary_text, pdu_free_get_enrollment_summary_request);
  all.push_back({"getEnrollmentSummary", R"({"ackFilter":2})",
                 encoder<GetEnrollmentSummaryRequest>([](GetEnrollmentSummaryRequest& r) { r.acknowledgment_filter = 2; },
                                                      pdu_encode_get_enrollment_summary_request,
                                                      pdu_free_get_enrollment_summary_request),
                 enrollment});
  all.push_back({"getEnrollmentSummary", R"({"ackFilter":1,"enrollment":{"device":[8,5],"process":3},"priorities":[1,100]})",
                 encoder<GetEnrollmentSummaryRequest>(
                     [](GetEnrollmentSummaryRequest& r) {
                       r.acknowledgment_filter = 1;
                       r.enrollment_filter = {1, {0, {8, 5}, {}}, 3};
                       r.min_priority = 1;
                       r.max_priority = 100;
                     },
                     pdu_encode_get_enrollment_summary_request, pdu_free_get_enrollment_summary_request),
                 enrollment});
  all.push_back(
      {"getEnrollmentSummaryAck",
       R"({"summaries":[{"object":[0,1],"eventType":5,"eventState":3,"priority":100,"class":7},{"object":[19,2],"eventType":1,"eventState":0,"priority":200,"class":8}]})",
       encoder<GetEnrollmentSummaryAck>(
           [](GetEnrollmentSummaryAck& r) {
             r.summaries = v_list(TAG_ENROLLMENT_SUMMARY_LIST,
                                  {v_record<EnrollmentSummaryEntry>([](EnrollmentSummaryEntry& e) { e = {{0, 1}, 5, 3, 100, 7}; }),
                                   v_record<EnrollmentSummaryEntry>([](EnrollmentSummaryEntry& e) { e = {{19, 2}, 1, 0, 200, 8}; })});
           },
           pdu_encode_get_enrollment_summary_ack, pdu_free_get_enrollment_summary_ack),
       decoder<GetEnrollmentSummaryAck>(pdu_decode_get_enrollment_summary_ack, enrollment_summary_ack_text,
                                        pdu_free_get_enrollment_summary_ack)});
  all.push_back({"getEventInformation", R"({"last":[0,1]})",
                 encoder<GetEventInformationRequest>([](GetEventInformationRequest& r) { r.last_received = {0, 1}; },
                                                     pdu_encode_get_event_information_request),
                 decoder<GetEventInformationRequest>(pdu_decode_get_event_information_request, event_information_text)});
  all.push_back(
      {"getEventInformationAck",
       R"({"events":[{"object":[0,1],"state":3,"acked":[0,1,1],"stamps":[{"datetime":[124,5,10,5,8,30,0,0]},{"seq":0},{"time":[18,0,0,0]}],"notifyType":0,"enable":[1,1,1],"priorities":[100,200,250]}],"more":true})",
       encoder<GetEventInformationAck>(
           [=](GetEventInformationAck& r) {
             r.summaries = v_record<EventSummaryEntry>([&](EventSummaryEntry& e) {
               e.object = {0, 1};
               e.event_state = 3;
               e.acked_transitions = bits_of({0, 1, 1});
               e.timestamps = v_list(TAG_TIMESTAMP_LIST,
                                     {v_record<BACnetTimeStamp>([&](BACnetTimeStamp& s) { s = stamp_datetime(morning); }),
                                      v_record<BACnetTimeStamp>([](BACnetTimeStamp& s) { s = stamp_sequence(0); }),
                                      v_record<BACnetTimeStamp>([](BACnetTimeStamp& s) { s = stamp_time(18, 0, 0, 0); })});
               e.event_enable = bits_of({1, 1, 1});
               e.priorities = v_list(TAG_UNSIGNED_LIST, {v_unsigned(100), v_unsigned(200), v_unsigned(250)});
             });
             r.more_events = true;
           },
           pdu_encode_get_event_information_ack, pdu_free_get_event_information_ack),
       decoder<GetEventInformationAck>(pdu_decode_get_event_information_ack, event_information_ack_text,
                                       pdu_free_get_event_information_ack)});

  auto subscribe = decoder<SubscribeCovRequest>(pdu_decode_subscribe_cov_request, subscribe_cov_text);
  all.push_back({"subscribeCov", R"({"process":1,"object":[0,1],"cancel":false,"confirmed":true,"lifetime":60})",
                 encoder<SubscribeCovRequest>([](SubscribeCovRequest& r) { r = {1, {0, 1}, true, 60}; },
                                              pdu_encode_subscribe_cov_request),
                 subscribe});
  all.push_back({"subscribeCov", R"({"process":4,"object":[3,2],"cancel":true})",
                 encoder<SubscribeCovRequest>([](SubscribeCovRequest& r) { r = {4, {3, 2}, false, -1}; },
                                              pdu_encode_subscribe_cov_request),
                 subscribe});

  auto list_element = decoder<ListElementRequest>(pdu_decode_list_element_request, list_element_text,
                                                  pdu_free_list_element_request);
  all.push_back({"listElement", R"({"object":[8,1234],"property":76,"index":-1,"values":[{"t":12,"v":[10,6]},{"t":12,"v":[10,7]}]})",
                 encoder<ListElementRequest>(
                     [](ListElementRequest& r) {
                       r.object = {8, 1234};
                       r.property = 76;
                       r.elements = v_any({v_object(10, 6), v_object(10, 7)});
                     },
                     pdu_encode_list_element_request, pdu_free_list_element_request),
                 list_element});
  all.push_back({"listElement", R"({"object":[15,1],"property":85,"index":2,"values":[{"t":2,"v":5}]})",
                 encoder<ListElementRequest>(
                     [](ListElementRequest& r) {
                       r.object = {15, 1};
                       r.property = 85;
                       r.array_index = 2;
                       r.elements = v_unsigned(5);
                     },
                     pdu_encode_list_element_request, pdu_free_list_element_request),
                 list_element});

  all.push_back({"createObject",
                 R"({"object":[10,6],"values":[{"property":77,"index":-1,"priority":0,"values":[{"t":7,"v":"Datei 6"}]},{"property":43,"index":-1,"priority":0,"values":[{"t":7,"v":"BIN"}]}]})",
                 encoder<CreateObjectRequest>(
                     [](CreateObjectRequest& r) {
                       r.choice = 1;
                       r.object = {10, 6};
                       r.initial_values = v_list(TAG_PROPERTY_VALUE_LIST, {v_property_value(77, v_text("Datei 6")),
                                                                           v_property_value(43, v_text("BIN"))});
                     },
                     pdu_encode_create_object_request, pdu_free_create_object_request),
                 decoder<CreateObjectRequest>(pdu_decode_create_object_request, create_object_text,
                                              pdu_free_create_object_request)});
  Case created{"createObjectAck", R"({"object":[10,6]})",
               encoder<BACnetObjectId>([](BACnetObjectId& r) { r = {10, 6}; }, pdu_encode_object_identifier),
               decoder<BACnetObjectId>(pdu_decode_create_object_ack, object_text)};
  created.peer_decodes = false;  // the peer has no decoder for it
  all.push_back(created);
  all.push_back({"deleteObject", R"({"object":[10,6]})",
                 encoder<BACnetObjectId>([](BACnetObjectId& r) { r = {10, 6}; }, pdu_encode_object_identifier),
                 decoder<BACnetObjectId>(pdu_decode_delete_object_request, object_text)});

  auto write_multiple = decoder<WritePropertyMultipleRequest>(pdu_decode_write_property_multiple_request,
                                                              write_multiple_text, pdu_free_write_property_multiple_request);
  all.push_back({"writePropertyMultiple",
                 R"({"specs":[{"object":[2,3],"values":[{"property":85,"index":-1,"priority":8,"values":[{"t":4,"v":21.5}]},{"property":28,"index":-1,"priority":0,"values":[{"t":7,"v":"Flur"}]}]}]})",
                 encoder<WritePropertyMultipleRequest>(
                     [](WritePropertyMultipleRequest& r) {
                       r.specifications = v_record<WriteAccessSpecification>([](WriteAccessSpecification& w) {
                         w.object = {2, 3};
                         w.properties = v_list(TAG_PROPERTY_VALUE_LIST, {v_property_value(85, v_real(21.5f), -1, 8),
                                                                         v_property_value(28, v_text("Flur"))});
                       });
                     },
                     pdu_encode_write_property_multiple_request, pdu_free_write_property_multiple_request),
                 write_multiple});
  Case two_specs{"writePropertyMultiple",
                 R"({"specs":[{"object":[2,3],"values":[{"property":85,"index":-1,"priority":8,"values":[{"t":4,"v":21.5}]}]},{"object":[8,1234],"values":[{"property":77,"index":-1,"priority":0,"values":[{"t":7,"v":"Raum 1"}]}]}]})",
                 nullptr, write_multiple};
  two_specs.peer_decodes = false;  // the peer reads one specification only
  all.push_back(two_specs);

  auto control = decoder<DeviceCommunicationControlRequest>(pdu_decode_device_communication_control_request,
                                                            communication_control_text,
                                                            pdu_free_device_communication_control_request);
  all.push_back({"deviceCommunicationControl", R"({"duration":5,"enable":1,"password":"KELDOR"})",
                 encoder<DeviceCommunicationControlRequest>(
                     [](DeviceCommunicationControlRequest& r) {
                       r.duration = 5;
                       r.enable_disable = 1;
                       r.password = v_text("KELDOR");
                     },
                     pdu_encode_device_communication_control_request, pdu_free_device_communication_control_request),
                 control});
  all.push_back({"deviceCommunicationControl", R"({"enable":0})",
                 encoder<DeviceCommunicationControlRequest>([](DeviceCommunicationControlRequest&) {},
                                                            pdu_encode_device_communication_control_request,
                                                            pdu_free_device_communication_control_request),
                 control});

  auto transfer = decoder<PrivateTransferRequest>(pdu_decode_private_transfer, private_transfer_text, pdu_free_private_transfer);
  all.push_back({"privateTransfer", R"({"vendor":260,"service":1,"data":"2105720078"})",
                 encoder<PrivateTransferRequest>(
                     [](PrivateTransferRequest& r) {
                       r.vendor_id = 260;
                       r.service_number = 1;
                       r.parameters = v_any({v_unsigned(5), v_text("x")});
                     },
                     pdu_encode_private_transfer_request, pdu_free_private_transfer),
                 transfer});
  all.push_back({"privateTransfer", R"({"vendor":7,"service":300,"data":"443fa00000"})",
                 encoder<PrivateTransferAck>(
                     [](PrivateTransferAck& r) {
                       r.vendor_id = 7;
                       r.service_number = 300;
                       r.parameters = v_real(1.25f);
                     },
                     pdu_encode_private_transfer_request, pdu_free_private_transfer),
                 transfer});

  auto reinitialize = decoder<ReinitializeDeviceRequest>(pdu_decode_reinitialize_device_request, reinitialize_text,
                                                         pdu_free_reinitialize_device_request);
  all.push_back({"reinitializeDevice", R"({"state":1,"password":"KELDOR"})",
                 encoder<ReinitializeDeviceRequest>(
                     [](ReinitializeDeviceRequest& r) {
                       r.state = 1;
                       r.password = v_text("KELDOR");
                     },
                     pdu_encode_reinitialize_device_request, pdu_free_reinitialize_device_request),
                 reinitialize});
  all.push_back({"reinitializeDevice", R"({"state":0})",
                 encoder<ReinitializeDeviceRequest>([](ReinitializeDeviceRequest&) {}, pdu_encode_reinitialize_device_request,
                                                    pdu_free_reinitialize_device_request),
                 reinitialize});

  auto range = decoder<ReadRangeRequest>(pdu_decode_read_range_request, read_range_text);
  all.push_back({"readRange", R"({"object":[20,1],"property":131,"index":-1,"range":{"position":[1,10]}})",
                 encoder<ReadRangeRequest>([](ReadRangeRequest& r) { r = {{20, 1}, 131, -1, RANGE_BY_POSITION, 1, {}, {}, 10}; },
                                           pdu_encode_read_range_request),
                 range});
  all.push_back({"readRange", R"({"object":[20,1],"property":131,"index":-1,"range":{"sequence":[5,-3]}})",
                 encoder<ReadRangeRequest>([](ReadRangeRequest& r) { r = {{20, 1}, 131, -1, RANGE_BY_SEQUENCE, 5, {}, {}, -3}; },
                                           pdu_encode_read_range_request),
                 range});
  all.push_back({"readRange", R"({"object":[20,1],"property":131,"index":-1,"range":{"time":[[124,5,10,5,8,30,0,0],4]}})",
                 encoder<ReadRangeRequest>([=](ReadRangeRequest& r) { r = {{20, 1}, 131, -1, RANGE_BY_TIME, 0, morning, {}, 4}; },
                                           pdu_encode_read_range_request),
                 range});
  all.push_back(
      {"readRangeAck",
       R"({"object":[20,1],"property":131,"index":-1,"flags":[1,0,1],"count":2,"items":"0ea47c050a05b40a0000000f1e2c41ac00001f2a04000ea47c050a05b40a0f00000f1e2c41b000001f2a0400"})",
       encoder<ReadRangeAck>(
           [](ReadRangeAck& r) {
             r.object = {20, 1};
             r.property = 131;
             r.result_flags = {1, 0, 1};
             r.item_count = 2;
             r.items = v_list(TAG_LOG_BUFFER, {v_record<BACnetLogRecord>([](BACnetLogRecord& l) {
                                                 l.timestamp = datetime_of(124, 5, 10, 5, 10, 0);
                                                 l.choice = 2;
                                                 l.datum.real = 21.5f;
                                                 l.status_flags = bits_of({0, 0, 0, 0});
                                               }),
                                               v_record<BACnetLogRecord>([](BACnetLogRecord& l) {
                                                 l.timestamp = datetime_of(124, 5, 10, 5, 10, 15);
                                                 l.choice = 2;
                                                 l.datum.real = 22.0f;
                                                 l.status_flags = bits_of({0, 0, 0, 0});
                                               })});
           },
           pdu_encode_read_range_ack, pdu_free_read_range_ack),
       decoder<ReadRangeAck>(pdu_decode_read_range_ack, read_range_ack_text, pdu_free_read_range_ack)});

  auto time_sync = decoder<BACnetDateTime>(pdu_decode_time_synchronization_request, time_sync_text);
  all.push_back({"timeSync", R"({"datetime":[124,5,10,5,8,30,0,0]})",
                 encoder<BACnetDateTime>([=](BACnetDateTime& r) { r = morning; }, pdu_encode_time_synchronization_request),
                 time_sync});
  all.push_back({"timeSync", R"({"datetime":[125,1,1,3,0,0,0,0]})",
                 encoder<BACnetDateTime>([](BACnetDateTime& r) { r = datetime_of(125, 1, 1, 3, 0, 0); },
                                         pdu_encode_time_synchronization_request),
                 time_sync});
}

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
       maker([](BACnetValue* v) {
         value_free(v);
         v->tag = TAG_DOUBLE;
         v->payload.double_value = 3.25;
       })}));

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
  add_further_cases(all);
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
