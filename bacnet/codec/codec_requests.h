// Service request parameters: one record per service, its encoder (used by the client side
// to build the service data behind the APDU header) next to its decoder (used by the
// service handlers on received service data). Any thread; no state. The buffer of a
// decoder holds exactly the service data. Must not: read outside it.
#pragma once

#include "bacnet/codec/codec_constructed.h"
#include "bacnet/foundation/bacnet_numbers.h"

#include <string>
#include <vector>

// File access of AtomicReadFile and AtomicWriteFile.
enum PduFileAccess : uint32_t {
  FILE_ACCESS_RECORD = 0,
  FILE_ACCESS_STREAM = 1,
};

// Who-Is: -1 for no range. A low limit alone goes out with the high limit 4194303, since
// peers ignore a lone low limit.
struct WhoIsRequest {
  int32_t low_limit = -1;
  int32_t high_limit = -1;
};
int pdu_encode_who_is_request(pdu_buffer* buffer, const WhoIsRequest* request);
int pdu_decode_who_is_request(pdu_buffer* buffer, WhoIsRequest* request);

struct IAmRequest {
  BACnetObjectId device{8, 0};
  uint32_t max_apdu = 0;
  uint32_t segmentation = 0;
  uint32_t vendor_id = 0;
};
int pdu_encode_iam_request(pdu_buffer* buffer, const IAmRequest* request);
int pdu_decode_iam_request(pdu_buffer* buffer, IAmRequest* request);

// Who-Has: the object by identifier (choice 0) or by name (choice 1); a record with
// neither does not encode.
struct WhoHasRequest {
  uint32_t low_limit = 0;
  uint32_t high_limit = PDU_MAX_INSTANCE;
  int32_t choice = -1;
  BACnetObjectId object{999, 0};
  std::string object_name;
};
int pdu_encode_who_has_request(pdu_buffer* buffer, const WhoHasRequest* request);
int pdu_decode_who_has_request(pdu_buffer* buffer, WhoHasRequest* request);

struct IHaveRequest {
  BACnetObjectId device{8, 0};
  BACnetObjectId object{999, 0};
  std::string object_name;
};
int pdu_encode_ihave_request(pdu_buffer* buffer, const IHaveRequest* request);
int pdu_decode_ihave_request(pdu_buffer* buffer, IHaveRequest* request);

struct ReadPropertyRequest {
  BACnetObjectId object{999, 0};
  uint32_t property = 0;
  int32_t array_index = -1;
};
int pdu_encode_read_property_request(pdu_buffer* buffer, const ReadPropertyRequest* request);
// 1 when octets follow the last parameter (too many arguments).
int pdu_decode_read_property_request(pdu_buffer* buffer, ReadPropertyRequest* request);

// The specifications are owned by the record: release with pdu_free_read_property_multiple_request.
struct ReadPropertyMultipleRequest {
  ReadAccessSpecificationList specifications{};
};
int pdu_encode_read_property_multiple_request(pdu_buffer* buffer, const ReadPropertyMultipleRequest* request);
int pdu_decode_read_property_multiple_request(pdu_buffer* buffer, ReadPropertyMultipleRequest* request);
void pdu_free_read_property_multiple_request(ReadPropertyMultipleRequest* request);

// The value is owned by the record: release with pdu_free_write_property_request.
struct WritePropertyRequest {
  BACnetObjectId object{999, 0};
  uint32_t property = 0;
  int32_t array_index = -1;
  BACnetValue value{};
  uint32_t priority = 0;  // 0 none
};
int pdu_encode_write_property_request(pdu_buffer* buffer, const WritePropertyRequest* request);
// A priority outside 1 to 16 is malformed.
int pdu_decode_write_property_request(pdu_buffer* buffer, WritePropertyRequest* request);
void pdu_free_write_property_request(WritePropertyRequest* request);

struct AtomicReadFileRequest {
  BACnetObjectId file{10, 0};
  uint32_t access = FILE_ACCESS_STREAM;
  int32_t start = 0;   // position or record
  uint32_t count = 0;  // octets or records
};
int pdu_encode_atomic_read_file_request(pdu_buffer* buffer, const AtomicReadFileRequest* request);
// An access choice other than stream or record is malformed.
int pdu_decode_atomic_read_file_request(pdu_buffer* buffer, AtomicReadFileRequest* request);

struct AtomicWriteFileRequest {
  BACnetObjectId file{10, 0};
  uint32_t access = FILE_ACCESS_STREAM;
  int32_t start = 0;
  uint32_t record_count = 0;  // record access only; the data is one record
  std::vector<uint8_t> data;
};
int pdu_encode_atomic_write_file_request(pdu_buffer* buffer, const AtomicWriteFileRequest* request);
int pdu_decode_atomic_write_file_request(pdu_buffer* buffer, AtomicWriteFileRequest* request);
