#include "codec_samples.h"

#include "bacnet/codec/codec_acks.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <stdexcept>

namespace codectest {
namespace {

template <class Record, class Encode>
std::vector<uint8_t> encode(const Record& record, Encode encoder)
{
  pdu_buffer buffer;
  if (encoder(&buffer, &record) != 0) {
    pdu_buffer_free(&buffer);
    throw std::runtime_error("sample does not encode");
  }
  std::vector<uint8_t> out(buffer.data, buffer.data + buffer.pos);
  pdu_buffer_free(&buffer);
  return out;
}

}  // namespace

std::vector<Sample> main_road_samples()
{
  std::vector<Sample> samples;
  samples.push_back({"who-is-all", PduKind::Unconfirmed, SERVICE_WHO_IS, encode(WhoIsRequest{}, pdu_encode_who_is_request)});
  samples.push_back({"who-is-range", PduKind::Unconfirmed, SERVICE_WHO_IS,
                     encode(WhoIsRequest{1000, 1999}, pdu_encode_who_is_request)});
  samples.push_back({"i-am", PduKind::Unconfirmed, SERVICE_I_AM,
                     encode(IAmRequest{{8, 1234}, 480, 3, 260}, pdu_encode_iam_request)});
  WhoHasRequest who_has_id;
  who_has_id.choice = 0;
  who_has_id.object = {10, 1};
  samples.push_back({"who-has-object", PduKind::Unconfirmed, SERVICE_WHO_HAS, encode(who_has_id, pdu_encode_who_has_request)});
  WhoHasRequest who_has_name;
  who_has_name.low_limit = 1;
  who_has_name.high_limit = 4000;
  who_has_name.choice = 1;
  who_has_name.object_name = "Parameter";
  samples.push_back({"who-has-name", PduKind::Unconfirmed, SERVICE_WHO_HAS, encode(who_has_name, pdu_encode_who_has_request)});
  samples.push_back({"i-have", PduKind::Unconfirmed, SERVICE_I_HAVE,
                     encode(IHaveRequest{{8, 1234}, {10, 1}, "Parameter"}, pdu_encode_ihave_request)});
  samples.push_back({"read-property", PduKind::Confirmed, SERVICE_READ_PROPERTY,
                     encode(ReadPropertyRequest{{8, 1234}, 70, -1}, pdu_encode_read_property_request)});

  Owned<ReadPropertyMultipleRequest, pdu_free_read_property_multiple_request> rpm;
  ReadAccessSpecification spec{};
  spec.object = {8, 1234};
  BACnetPropertyReference refs[] = {{77, -1}, {44, -1}, {76, 1}};
  for (auto& ref : refs)
    inline_list_add(&spec.references, &ref);
  inline_list_add(&rpm->specifications, &spec);
  samples.push_back({"read-property-multiple", PduKind::Confirmed, SERVICE_READ_PROPERTY_MULTIPLE,
                     encode(*rpm, pdu_encode_read_property_multiple_request)});

  WritePropertyRequest wp;
  wp.object = {2, 3};
  wp.property = 85;
  wp.value.tag = TAG_REAL;
  wp.value.payload.real = 21.5f;
  wp.priority = 8;
  samples.push_back({"write-property", PduKind::Confirmed, SERVICE_WRITE_PROPERTY, encode(wp, pdu_encode_write_property_request)});

  samples.push_back({"atomic-read-file-stream", PduKind::Confirmed, SERVICE_ATOMIC_READ_FILE,
                     encode(AtomicReadFileRequest{{10, 1}, FILE_ACCESS_STREAM, 0, 146}, pdu_encode_atomic_read_file_request)});
  samples.push_back({"atomic-read-file-record", PduKind::Confirmed, SERVICE_ATOMIC_READ_FILE,
                     encode(AtomicReadFileRequest{{10, 2}, FILE_ACCESS_RECORD, 3, 1}, pdu_encode_atomic_read_file_request)});
  AtomicWriteFileRequest awf;
  awf.file = {10, 4};
  awf.start = 0;
  awf.data = {0x49, 0x00, 0x2C, 0x01};
  samples.push_back({"atomic-write-file-stream", PduKind::Confirmed, SERVICE_ATOMIC_WRITE_FILE,
                     encode(awf, pdu_encode_atomic_write_file_request)});
  awf.access = FILE_ACCESS_RECORD;
  awf.start = 2;
  awf.record_count = 1;
  samples.push_back({"atomic-write-file-record", PduKind::Confirmed, SERVICE_ATOMIC_WRITE_FILE,
                     encode(awf, pdu_encode_atomic_write_file_request)});

  Owned<ReadPropertyAck, pdu_free_read_property_ack> rp_ack;
  rp_ack->object = {8, 1234};
  rp_ack->property = 70;
  value_set_charstring("ZOR17_BACnet", &rp_ack->value);
  samples.push_back(
      {"read-property-ack", PduKind::ComplexAck, SERVICE_READ_PROPERTY, encode(*rp_ack, pdu_encode_read_property_ack)});

  Owned<ReadPropertyMultipleAck, pdu_free_read_property_multiple_ack> rpm_ack;
  ReadAccessResult result{};
  result.object = {8, 1234};
  ReadAccessResultElement name{};
  name.property = 77;
  name.array_index = -1;
  value_set_charstring("ZOR17", &name.value);
  ReadAccessResultElement missing{};
  missing.property = 44;
  missing.array_index = -1;
  missing.choice = 1;
  missing.error_class = 2;
  missing.error_code = 32;
  inline_list_add(&result.results, &name);
  inline_list_add(&result.results, &missing);
  inline_list_add(&rpm_ack->results, &result);
  samples.push_back({"read-property-multiple-ack", PduKind::ComplexAck, SERVICE_READ_PROPERTY_MULTIPLE,
                     encode(*rpm_ack, pdu_encode_read_property_multiple_ack)});

  AtomicReadFileAck arf_ack;
  arf_ack.end_of_file = true;
  arf_ack.data = {0x10, 0x00, 0x20, 0x00, 0x30, 0x00};
  samples.push_back({"atomic-read-file-ack", PduKind::ComplexAck, SERVICE_ATOMIC_READ_FILE,
                     encode(arf_ack, pdu_encode_atomic_read_file_ack)});
  arf_ack.access = FILE_ACCESS_RECORD;
  arf_ack.end_of_file = false;
  arf_ack.start = 3;
  arf_ack.record_count = 1;
  samples.push_back({"atomic-read-file-ack-record", PduKind::ComplexAck, SERVICE_ATOMIC_READ_FILE,
                     encode(arf_ack, pdu_encode_atomic_read_file_ack)});
  samples.push_back({"atomic-write-file-ack", PduKind::ComplexAck, SERVICE_ATOMIC_WRITE_FILE,
                     encode(AtomicWriteFileAck{FILE_ACCESS_STREAM, 146}, pdu_encode_atomic_write_file_ack)});
  samples.push_back({"error", PduKind::Error, SERVICE_READ_PROPERTY,
                     encode(ErrorParameters{SERVICE_READ_PROPERTY, {2, 32}}, pdu_encode_error)});
  return samples;
}

std::vector<uint8_t> apdu_of(const Sample& sample)
{
  std::vector<uint8_t> header;
  switch (sample.kind) {
    case PduKind::Unconfirmed: header = {0x10, sample.service}; break;
    case PduKind::Confirmed: header = {0x00, 0x05, kInvokeId, sample.service}; break;
    case PduKind::ComplexAck: header = {0x30, kInvokeId, sample.service}; break;
    case PduKind::Error: header = {0x50, kInvokeId, sample.service}; break;
  }
  header.insert(header.end(), sample.data.begin(), sample.data.end());
  return header;
}

}  // namespace codectest
