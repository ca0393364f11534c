// Blocking client calls: one confirmed service for a thread other than the stack thread, which
// waits until the transaction ends or a safety time-out does; raw calls on APDU bytes and hex
// text; the request classes of the stack client. Callers block; completions run on the stack
// thread. Must never be called from the stack thread, which would wait for itself.
#pragma once

#include "bacnet/application/client_tsm.h"
#include "bacnet/codec/codec_acks.h"
#include "bacnet/foundation/bacnet_numbers.h"

#include <cstdint>
#include <span>
#include <vector>

// The error part of a call. status -1: no error; otherwise the service choice of the failed
// call with the BACnet error class and code. Failures found locally (refused sending, reject,
// abort, time-out, an answer that cannot be decoded) are class 5 (services), code 0 (other).
struct ClientCallError {
  int32_t status = -1;
  uint32_t error_class = 0;
  uint32_t error_code = 0;
  // What the richer error forms add: AddListElement, RemoveListElement and CreateObject name
  // the first failed element, WritePropertyMultiple the first failed write.
  uint32_t first_failed_element = 0;
  BACnetObjectPropertyReference failed_write{{999, 0}, 0, -1};
};

// One blocking call as its caller describes it. `request` points to the codec record of the
// service; services answered with data decode into `answer` (the codec's ack record of the
// service); services answered with a SimpleACK set `acknowledged`.
struct ClientCallRecord {
  int32_t device_instance = -1;
  const void* request = nullptr;
  void* answer = nullptr;
  uint8_t acknowledged = 0;
  ClientCallError* error = nullptr;
};

// Sends and waits; always 0, the outcome is in the error part and the answer.
int client_call(uint8_t service_choice, int32_t device_instance, ClientCallRecord* record, const void* request,
                ClientCallError* error);
// The completion callback of client_call (stack thread).
void client_call_confirm(void* context, int success, const BACnetAddress& destination, const ClientResult& result);
// status = the service choice; class and code for the choices that carry them. 0, or -1 for
// choices above 26 and for 25.
int client_call_set_error(ClientCallError* error, uint8_t service_choice, uint32_t error_class, uint32_t error_code);

// The stack stops: every call waiting now ends with failure (class 5, code 0; a raw call with
// an Error APDU of it), and later calls fail at once until client_call_resume runs at the next start.
void client_call_stop_waits();
void client_call_resume();

// The longest any blocking call waits: parking, every retry of the transaction, a segmented
// answer and a margin. In milliseconds of the stack's monotonic clock.
int64_t client_call_safety_timeout_ms();

int client_call_atomic_read_file(ClientCallRecord* record);
int client_call_atomic_write_file(ClientCallRecord* record);
int client_call_add_list_element(ClientCallRecord* record);
int client_call_remove_list_element(ClientCallRecord* record);
int client_call_create_object(ClientCallRecord* record);
int client_call_delete_object(ClientCallRecord* record);
int client_call_read_property(ClientCallRecord* record);
int client_call_read_property_multiple(ClientCallRecord* record);
int client_call_write_property(ClientCallRecord* record);
int client_call_write_property_multiple(ClientCallRecord* record);
int client_call_read_range(ClientCallRecord* record);

// ---- Raw calls ---------------------------------------------------------------------------
// A Confirmed-Request APDU (its invoke id and max-APDU octet are replaced by the binding's)
// sent to the device; the answer APDU (SimpleACK, ComplexACK or Error; an Error of class 5
// when the call failed) lands in `answer`. 0, or -1 for a request that is not a whole
// Confirmed-Request.
int client_raw_confirmed(int32_t device_instance, std::span<const uint8_t> request, std::vector<uint8_t>* answer);
int client_raw_call(int32_t device_instance, uint8_t service_choice, uint8_t invoke_id, std::span<const uint8_t> data,
                    std::vector<uint8_t>* answer, ClientCallError* error);
void client_raw_call_confirm(void* context, int success, const BACnetAddress& destination, const ClientResult& result);
// An Unconfirmed-Request APDU broadcast on every port. 0 or -1.
int client_raw_unconfirmed(std::span<const uint8_t> request);
// The same from hex text; the confirmed call hands back the answer as new hex text, which the
// caller releases with free(). Text with anything but hex digits is refused.
int client_raw_confirmed_hex(int32_t device_instance, const char* request_hex, char** answer_hex);
int client_raw_unconfirmed_hex(const char* request_hex);
// strlen / 2 octets (a trailing odd digit is ignored). -1 for empty text or a non-hex digit.
int client_hex_to_bytes(const char* text, std::vector<uint8_t>* out);
// Upper-case hex of the octets, malloc'ed (2n + 1 characters); null when memory runs out.
char* client_bytes_to_hex(std::span<const uint8_t> bytes);

// ---- Request classes of the stack client -------------------------------------------------
namespace client_calls {

// One blocking call with its request, answer and error parts; the record points at them.
class CallRequest {
public:
  CallRequest() = default;
  CallRequest(const CallRequest&) = delete;
  CallRequest& operator=(const CallRequest&) = delete;
  virtual ~CallRequest() = default;

  ClientCallError error;
  int32_t device_instance = -1;
  ClientCallRecord record;
  bool succeeded() const { return error.status == -1; }
};

class AtomicReadFileRequest : public CallRequest {
public:
  AtomicReadFileRequest();
  ::AtomicReadFileRequest request;
  AtomicReadFileAck answer;
  int Call();
};

class AtomicWriteFileRequest : public CallRequest {
public:
  AtomicWriteFileRequest();
  ::AtomicWriteFileRequest request;
  AtomicWriteFileAck answer;
  int Call();
};

class ReadPropertyRequest : public CallRequest {
public:
  ReadPropertyRequest();
  ~ReadPropertyRequest() override;
  ::ReadPropertyRequest request;
  ReadPropertyAck answer;
  int Call();
};

}  // namespace client_calls
