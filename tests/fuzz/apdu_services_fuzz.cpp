// Arbitrary octets through the service decoders of the main road and the property-value
// decoder. The input is an APDU: its header picks the decoder (an unknown service choice
// tries them all); PDU type 8, which no peer sends, feeds the property-value decoder with
// the property identifier and array index taken from the header. Whatever decodes is
// encoded again, so the encoders meet odd records too.
#include "bacnet/codec/codec_acks.h"
#include "bacnet/codec/codec_property_values.h"
#include "bacnet/value/value.h"

#include <cstddef>
#include <cstdint>

namespace {

pdu_buffer view(const uint8_t* data, size_t size)
{
  return pdu_buffer_view(data, uint32_t(size));
}

// Decodes the service data with one decoder, re-encodes on success and releases the record.
template <class Record, class Decode, class Encode>
void run(const uint8_t* data, size_t size, Decode decode, Encode encode, void (*release)(Record*) = nullptr)
{
  Record record{};
  pdu_buffer in = view(data, size);
  int result = decode(&in, &record);
  if (in.pos > in.size)
    __builtin_trap();
  if (result == 0) {
    pdu_buffer out;
    encode(&out, &record);
    pdu_buffer_free(&out);
  }
  if (release)
    release(&record);
}

using Runner = void (*)(const uint8_t*, size_t);

void who_is(const uint8_t* d, size_t n) { run<WhoIsRequest>(d, n, pdu_decode_who_is_request, pdu_encode_who_is_request); }
void iam(const uint8_t* d, size_t n) { run<IAmRequest>(d, n, pdu_decode_iam_request, pdu_encode_iam_request); }
void who_has(const uint8_t* d, size_t n) { run<WhoHasRequest>(d, n, pdu_decode_who_has_request, pdu_encode_who_has_request); }
void ihave(const uint8_t* d, size_t n) { run<IHaveRequest>(d, n, pdu_decode_ihave_request, pdu_encode_ihave_request); }
void read_property(const uint8_t* d, size_t n)
{
  run<ReadPropertyRequest>(d, n, pdu_decode_read_property_request, pdu_encode_read_property_request);
}
void read_property_multiple(const uint8_t* d, size_t n)
{
  run<ReadPropertyMultipleRequest>(d, n, pdu_decode_read_property_multiple_request,
                                   pdu_encode_read_property_multiple_request, pdu_free_read_property_multiple_request);
}
void write_property(const uint8_t* d, size_t n)
{
  run<WritePropertyRequest>(d, n, pdu_decode_write_property_request, pdu_encode_write_property_request,
                            pdu_free_write_property_request);
}
void atomic_read_file(const uint8_t* d, size_t n)
{
  run<AtomicReadFileRequest>(d, n, pdu_decode_atomic_read_file_request, pdu_encode_atomic_read_file_request);
}
void atomic_write_file(const uint8_t* d, size_t n)
{
  run<AtomicWriteFileRequest>(d, n, pdu_decode_atomic_write_file_request, pdu_encode_atomic_write_file_request);
}
void read_property_ack(const uint8_t* d, size_t n)
{
  run<ReadPropertyAck>(d, n, pdu_decode_read_property_ack, pdu_encode_read_property_ack, pdu_free_read_property_ack);
}
void read_property_multiple_ack(const uint8_t* d, size_t n)
{
  run<ReadPropertyMultipleAck>(d, n, pdu_decode_read_property_multiple_ack, pdu_encode_read_property_multiple_ack,
                               pdu_free_read_property_multiple_ack);
}
void atomic_read_file_ack(const uint8_t* d, size_t n)
{
  run<AtomicReadFileAck>(d, n, pdu_decode_atomic_read_file_ack, pdu_encode_atomic_read_file_ack);
}
void atomic_write_file_ack(const uint8_t* d, size_t n)
{
  run<AtomicWriteFileAck>(d, n, pdu_decode_atomic_write_file_ack, pdu_encode_atomic_write_file_ack);
}

struct Route {
  uint8_t service;
  Runner runner;
};

constexpr Route kConfirmed[] = {
    {SERVICE_ATOMIC_READ_FILE, atomic_read_file},     {SERVICE_ATOMIC_WRITE_FILE, atomic_write_file},
    {SERVICE_READ_PROPERTY, read_property},           {SERVICE_READ_PROPERTY_MULTIPLE, read_property_multiple},
    {SERVICE_WRITE_PROPERTY, write_property},
};
constexpr Route kUnconfirmed[] = {
    {SERVICE_I_AM, iam}, {SERVICE_I_HAVE, ihave}, {SERVICE_WHO_HAS, who_has}, {SERVICE_WHO_IS, who_is}};
constexpr Route kAcks[] = {
    {SERVICE_ATOMIC_READ_FILE, atomic_read_file_ack},
    {SERVICE_ATOMIC_WRITE_FILE, atomic_write_file_ack},
    {SERVICE_READ_PROPERTY, read_property_ack},
    {SERVICE_READ_PROPERTY_MULTIPLE, read_property_multiple_ack},
};

template <size_t N>
void dispatch(const Route (&routes)[N], uint8_t service, const uint8_t* d, size_t n)
{
  for (const Route& route : routes) {
    if (route.service == service) {
      route.runner(d, n);
      return;
    }
  }
  // An unknown choice: every decoder of the group gets the octets.
  for (const Route& route : routes)
    route.runner(d, n);
}

void property_value(const uint8_t* data, size_t size)
{
  if (size < 4)
    return;
  uint32_t property = (uint32_t(data[1]) << 8) | data[2];
  int32_t index = int8_t(data[3]);
  BACnetValue value{};
  pdu_buffer in = view(data + 4, size - 4);
  if (pdu_decode_property_value(&in, &value, data[0] & 0x0F, property, index) == 0) {
    pdu_buffer out;
    pdu_encode_value(&out, &value, -1);
    pdu_buffer_free(&out);
  }
  value_free(&value);
}

void error_pdu(uint8_t service, const uint8_t* d, size_t n)
{
  ErrorParameters parameters;
  parameters.service_choice = service;
  pdu_buffer in = view(d, n);
  if (pdu_decode_error(&in, &parameters) == 0) {
    pdu_buffer out;
    pdu_encode_error(&out, &parameters);
    pdu_buffer_free(&out);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1)
    return 0;
  uint8_t type = data[0] >> 4;
  switch (type) {
    case 0:
      if (size >= 4)
        dispatch(kConfirmed, data[3], data + 4, size - 4);
      break;
    case 1:
      if (size >= 2)
        dispatch(kUnconfirmed, data[1], data + 2, size - 2);
      break;
    case 3:
      if (size >= 3)
        dispatch(kAcks, data[2], data + 3, size - 3);
      break;
    case 5:
      if (size >= 3)
        error_pdu(data[2], data + 3, size - 3);
      break;
    case 6: {
      RejectPdu reject;
      pdu_buffer in = view(data, size);
      pdu_decode_reject(&in, &reject);
      break;
    }
    case 7: {
      AbortPdu abort;
      pdu_buffer in = view(data, size);
      pdu_decode_abort(&in, &abort);
      break;
    }
    case 8:
      property_value(data, size);
      break;
    default:
      break;
  }
  return 0;
}
