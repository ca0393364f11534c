// Encoding and decoding of service data: the main-road PDUs and the notifications and
// answers a busy device sends most (COV and event notifications, ReadRange), and typical
// constructed values as property values on the wire and in the API's XML form. Time per PDU
// or value. Figures only.
#include "backend/api/xml_values.h"
#include "bacnet/codec/pdu.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <benchmark/benchmark.h>

#include <iterator>
#include <string>
#include <vector>

#include "bench_records.h"

namespace {

template <class Record, class Encode>
std::vector<uint8_t> encoded(const Record& record, Encode encode)
{
  pdu_buffer buffer;
  encode(&buffer, &record);
  std::vector<uint8_t> out(buffer.data, buffer.data + buffer.pos);
  pdu_buffer_free(&buffer);
  return out;
}

template <class Record, class Encode>
void encode_loop(benchmark::State& state, const Record& record, Encode encode)
{
  pdu_buffer buffer;
  for (auto _ : state) {
    buffer.pos = 0;  // reuse the storage, as a sender with one buffer does
    benchmark::DoNotOptimize(encode(&buffer, &record));
  }
  pdu_buffer_free(&buffer);
}

template <class Record, class Decode>
void decode_loop(benchmark::State& state, const std::vector<uint8_t>& octets, Decode decode, void (*release)(Record*) = nullptr)
{
  for (auto _ : state) {
    Record record{};
    pdu_buffer in = pdu_buffer_view(octets.data(), uint32_t(octets.size()));
    benchmark::DoNotOptimize(decode(&in, &record));
    if (release)
      release(&record);
  }
}

const WhoIsRequest kWhoIs{1000, 1999};
const IAmRequest kIAm{{8, 1234}, 480, 3, 260};
const ReadPropertyRequest kReadProperty{{8, 1234}, 70, -1};
const AtomicReadFileRequest kReadFile{{10, 1}, FILE_ACCESS_STREAM, 0, 146};

AtomicReadFileAck read_file_ack()
{
  AtomicReadFileAck ack;
  ack.end_of_file = true;
  ack.data.assign(146, 0x5A);
  return ack;
}

AtomicWriteFileRequest write_file()
{
  AtomicWriteFileRequest request;
  request.file = {10, 4};
  request.data.assign(146, 0x5A);
  return request;
}

void BM_EncodeWhoIs(benchmark::State& s) { encode_loop(s, kWhoIs, pdu_encode_who_is_request); }
void BM_DecodeWhoIs(benchmark::State& s)
{
  decode_loop<WhoIsRequest>(s, encoded(kWhoIs, pdu_encode_who_is_request), pdu_decode_who_is_request);
}
void BM_EncodeIAm(benchmark::State& s) { encode_loop(s, kIAm, pdu_encode_iam_request); }
void BM_DecodeIAm(benchmark::State& s)
{
  decode_loop<IAmRequest>(s, encoded(kIAm, pdu_encode_iam_request), pdu_decode_iam_request);
}
void BM_EncodeReadProperty(benchmark::State& s) { encode_loop(s, kReadProperty, pdu_encode_read_property_request); }
void BM_DecodeReadProperty(benchmark::State& s)
{
  decode_loop<ReadPropertyRequest>(s, encoded(kReadProperty, pdu_encode_read_property_request),
                                   pdu_decode_read_property_request);
}
void BM_EncodeReadPropertyAck(benchmark::State& s)
{
  Owned<ReadPropertyAck, pdu_free_read_property_ack> ack;
  ack->object = {8, 1234};
  ack->property = 70;
  value_set_charstring("ZOR17_BACnet", &ack->value);
  encode_loop(s, *ack, pdu_encode_read_property_ack);
}
void BM_DecodeReadPropertyAck(benchmark::State& s)
{
  Owned<ReadPropertyAck, pdu_free_read_property_ack> ack;
  ack->object = {8, 1234};
  ack->property = 70;
  value_set_charstring("ZOR17_BACnet", &ack->value);
  std::vector<uint8_t> octets = encoded(*ack, pdu_encode_read_property_ack);
  decode_loop<ReadPropertyAck>(s, octets, pdu_decode_read_property_ack, pdu_free_read_property_ack);
}
void BM_EncodeReadPropertyMultiple(benchmark::State& s)
{
  Owned<ReadPropertyMultipleRequest, pdu_free_read_property_multiple_request> request;
  ReadAccessSpecification spec{};
  spec.object = {8, 1234};
  BACnetPropertyReference refs[] = {{77, -1}, {70, -1}, {12, -1}};
  for (auto& ref : refs)
    inline_list_add(&spec.references, &ref);
  inline_list_add(&request->specifications, &spec);
  encode_loop(s, *request, pdu_encode_read_property_multiple_request);
}
void BM_DecodeReadPropertyMultipleAck(benchmark::State& s)
{
  const std::vector<uint8_t> octets = {0x0C, 0x02, 0x00, 0x04, 0xD2, 0x1E, 0x29, 0x4D, 0x4E, 0x75, 0x06, 0x00, 0x5A,
                                       0x4F, 0x52, 0x31, 0x37, 0x4F, 0x29, 0x2C, 0x5E, 0x91, 0x02, 0x91, 0x20, 0x5F, 0x1F};
  decode_loop<ReadPropertyMultipleAck>(s, octets, pdu_decode_read_property_multiple_ack, pdu_free_read_property_multiple_ack);
}
void BM_EncodeWriteProperty(benchmark::State& s)
{
  Owned<WritePropertyRequest, pdu_free_write_property_request> request;
  request->object = {2, 3};
  request->property = 85;
  float value = 21.5f;
  value_set_real(&value, &request->value);
  request->priority = 8;
  encode_loop(s, *request, pdu_encode_write_property_request);
}
void BM_EncodeAtomicReadFile(benchmark::State& s) { encode_loop(s, kReadFile, pdu_encode_atomic_read_file_request); }
void BM_DecodeAtomicReadFile(benchmark::State& s)
{
  decode_loop<AtomicReadFileRequest>(s, encoded(kReadFile, pdu_encode_atomic_read_file_request),
                                     pdu_decode_atomic_read_file_request);
}
void BM_EncodeAtomicReadFileAck(benchmark::State& s) { encode_loop(s, read_file_ack(), pdu_encode_atomic_read_file_ack); }
void BM_DecodeAtomicReadFileAck(benchmark::State& s)
{
  decode_loop<AtomicReadFileAck>(s, encoded(read_file_ack(), pdu_encode_atomic_read_file_ack),
                                 pdu_decode_atomic_read_file_ack);
}
void BM_EncodeAtomicWriteFile(benchmark::State& s) { encode_loop(s, write_file(), pdu_encode_atomic_write_file_request); }
void BM_DecodeAtomicWriteFile(benchmark::State& s)
{
  decode_loop<AtomicWriteFileRequest>(s, encoded(write_file(), pdu_encode_atomic_write_file_request),
                                      pdu_decode_atomic_write_file_request);
}
void BM_DecodeAtomicWriteFileAck(benchmark::State& s)
{
  decode_loop<AtomicWriteFileAck>(s, {0x09, 0x00}, pdu_decode_atomic_write_file_ack);
}

// A COV notification of present value and status flags.
CovNotificationRequest cov_notification()
{
  CovNotificationRequest request;
  request.process_id = 1;
  request.device = {8, 1234};
  request.object = {0, 1};
  request.time_remaining = 300;
  BACnetValue list{};
  value_init(&list, TAG_PROPERTY_VALUE_LIST);
  for (uint32_t property : {85u, 111u}) {
    BACnetValue pv{};
    value_init(&pv, TAG_PROPERTY_VALUE);
    auto* record = value_record<BACnetPropertyValue>(&pv);
    record->property = property;
    if (property == 85) {
      float value = 21.5f;
      value_set_real(&value, &record->value);
    } else {
      uint8_t bits[4] = {0, 0, 0, 0};
      BitString flags{4, 4, bits};
      value_set_bitstring(&flags, &record->value);
    }
    value_array_append(value_array(&list), &pv);
  }
  request.values = list;
  return request;
}

void BM_EncodeCovNotification(benchmark::State& s)
{
  Owned<CovNotificationRequest, pdu_free_cov_notification_request> request(cov_notification());
  encode_loop(s, *request, pdu_encode_unconfirmed_cov_notification_request);
}
void BM_DecodeCovNotification(benchmark::State& s)
{
  Owned<CovNotificationRequest, pdu_free_cov_notification_request> request(cov_notification());
  std::vector<uint8_t> octets = encoded(*request, pdu_encode_unconfirmed_cov_notification_request);
  decode_loop<CovNotificationRequest>(s, octets, pdu_decode_cov_notification_request, pdu_free_cov_notification_request);
}
void BM_DecodeEventNotification(benchmark::State& s)
{
  // An out-of-range alarm with a message text.
  const std::vector<uint8_t> octets = {
      0x09, 0x01, 0x1C, 0x02, 0x00, 0x04, 0xD2, 0x2C, 0x00, 0x00, 0x00, 0x01, 0x3E, 0x2E, 0xA4, 0x7C, 0x05, 0x0A,
      0x05, 0xB4, 0x08, 0x1E, 0x00, 0x00, 0x2F, 0x3F, 0x49, 0x07, 0x59, 0x64, 0x69, 0x05, 0x7D, 0x0A, 0x00, 0x47,
      0x72, 0x65, 0x6E, 0x7A, 0x77, 0x65, 0x72, 0x74, 0x89, 0x00, 0x99, 0x01, 0xA9, 0x00, 0xB9, 0x03, 0xCE, 0x5E,
      0x0C, 0x41, 0xFC, 0x00, 0x00, 0x1A, 0x04, 0x00, 0x2C, 0x3F, 0x00, 0x00, 0x00, 0x3C, 0x41, 0xF0, 0x00, 0x00,
      0x5F, 0xCF};
  decode_loop<EventNotificationRequest>(s, octets, pdu_decode_event_notification_request,
                                        pdu_free_event_notification_request);
}
void BM_DecodeReadRangeAck(benchmark::State& s)
{
  // Sixteen REAL log records, as many as a 480-octet answer carries.
  std::vector<uint8_t> octets = {0x0C, 0x05, 0x00, 0x00, 0x01, 0x19, 0x83, 0x3A, 0x05, 0xA0, 0x49, 0x10, 0x5E};
  for (uint8_t minute = 0; minute < 16; ++minute) {
    const uint8_t record[] = {0x0E, 0xA4, 0x7C, 0x05, 0x0A, 0x05, 0xB4, 0x0A, minute, 0x00, 0x00, 0x0F, 0x1E,
                              0x2C, 0x41, 0xAC, 0x00, 0x00, 0x1F, 0x2A, 0x04, 0x00};
    octets.insert(octets.end(), std::begin(record), std::end(record));
  }
  octets.insert(octets.end(), {0x5F, 0x69, 0x01});
  decode_loop<ReadRangeAck>(s, octets, pdu_decode_read_range_ack, pdu_free_read_range_ack);
}

using bench_records::action_commands;
using bench_records::destination_list;
using bench_records::event_parameter;
using bench_records::property_values;

// A recipient list and event parameters as the value of a property, under context tag 3 as
// ReadProperty-ACK carries it.
void BM_EncodeRecords(benchmark::State& s, BACnetValue (*make)())
{
  OwnedValue value(make());
  pdu_buffer buffer;
  if (pdu_encode_constructed_value(&buffer, value.get(), 3) != 0)
    s.SkipWithError("not encoded");
  for (auto _ : s) {
    buffer.pos = 0;
    benchmark::DoNotOptimize(pdu_encode_constructed_value(&buffer, value.get(), 3));
  }
  pdu_buffer_free(&buffer);
}
void BM_DecodeRecords(benchmark::State& s, BACnetValue (*make)(), uint32_t property)
{
  OwnedValue value(make());
  pdu_buffer buffer;
  pdu_encode_constructed_value(&buffer, value.get(), 3);
  auto decode = [&](BACnetValue* read) {
    pdu_buffer in = pdu_buffer_view(buffer.data, buffer.pos);
    return pdu_decode_property_value(&in, read, 3, property, -1);
  };
  OwnedValue check;
  if (decode(check.get()) != 0 || value_order(check.get(), value.get()) != 0)
    s.SkipWithError("no round trip");
  for (auto _ : s) {
    OwnedValue read;
    benchmark::DoNotOptimize(decode(read.get()));
  }
  pdu_buffer_free(&buffer);
}

void BM_XmlPutRecords(benchmark::State& s, BACnetValue (*make)())
{
  OwnedValue value(make());
  std::string out;
  if (xml_encode_value(&out, value.get()) != 0)
    s.SkipWithError("not written");
  for (auto _ : s) {
    out.clear();
    benchmark::DoNotOptimize(xml_encode_value(&out, value.get()));
  }
}
void BM_XmlGetRecords(benchmark::State& s, BACnetValue (*make)())
{
  OwnedValue value(make());
  std::string text;
  xml_encode_value(&text, value.get());
  auto get = [&](BACnetValue* read) {
    XmlFields fields(text.data(), text.size());
    return xml_decode_value(read, &fields);
  };
  OwnedValue check;
  if (get(check.get()) != 0 || value_order(check.get(), value.get()) != 0)
    s.SkipWithError("no round trip");
  for (auto _ : s) {
    OwnedValue read;
    benchmark::DoNotOptimize(get(read.get()));
  }
}

}  // namespace

BENCHMARK(BM_EncodeWhoIs);
BENCHMARK(BM_DecodeWhoIs);
BENCHMARK(BM_EncodeIAm);
BENCHMARK(BM_DecodeIAm);
BENCHMARK(BM_EncodeReadProperty);
BENCHMARK(BM_DecodeReadProperty);
BENCHMARK(BM_EncodeReadPropertyAck);
BENCHMARK(BM_DecodeReadPropertyAck);
BENCHMARK(BM_EncodeReadPropertyMultiple);
BENCHMARK(BM_DecodeReadPropertyMultipleAck);
BENCHMARK(BM_EncodeWriteProperty);
BENCHMARK(BM_EncodeAtomicReadFile);
BENCHMARK(BM_DecodeAtomicReadFile);
BENCHMARK(BM_EncodeAtomicReadFileAck);
BENCHMARK(BM_DecodeAtomicReadFileAck);
BENCHMARK(BM_EncodeAtomicWriteFile);
BENCHMARK(BM_DecodeAtomicWriteFile);
BENCHMARK(BM_DecodeAtomicWriteFileAck);
BENCHMARK(BM_EncodeCovNotification);
BENCHMARK(BM_DecodeCovNotification);
BENCHMARK(BM_DecodeEventNotification);
BENCHMARK(BM_DecodeReadRangeAck);
BENCHMARK_CAPTURE(BM_EncodeRecords, DestinationList, destination_list);
BENCHMARK_CAPTURE(BM_DecodeRecords, DestinationList, destination_list, PROP_RECIPIENT_LIST);
BENCHMARK_CAPTURE(BM_EncodeRecords, EventParameter, event_parameter);
BENCHMARK_CAPTURE(BM_DecodeRecords, EventParameter, event_parameter, PROP_EVENT_PARAMETERS);
BENCHMARK_CAPTURE(BM_XmlPutRecords, DestinationList, destination_list);
BENCHMARK_CAPTURE(BM_XmlGetRecords, DestinationList, destination_list);
BENCHMARK_CAPTURE(BM_XmlPutRecords, EventParameter, event_parameter);
BENCHMARK_CAPTURE(BM_XmlGetRecords, EventParameter, event_parameter);
BENCHMARK_CAPTURE(BM_XmlPutRecords, PropertyValueList, property_values);
BENCHMARK_CAPTURE(BM_XmlGetRecords, PropertyValueList, property_values);
BENCHMARK_CAPTURE(BM_XmlPutRecords, ActionCommandList, action_commands);
BENCHMARK_CAPTURE(BM_XmlGetRecords, ActionCommandList, action_commands);
