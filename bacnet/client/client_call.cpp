#include "bacnet/client/client_call.h"

#include "bacnet/application/application_layer.h"
#include "bacnet/binding/address_binding.h"
#include "bacnet/client/client_request.h"
#include "bacnet/codec/codec_object_services.h"
#include "bacnet/codec/pdu_buffer.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/foundation/hex_digit.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/value/owned.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

// The caller looks at the clock between slices, so that a clock a test moves ends it too;
// the completion or a new binding ends a slice at once.
constexpr int64_t kWaitSliceMs = 20;
constexpr int64_t kSafetyMarginMs = 5000;
constexpr int64_t kSegmentedAnswerFactor = 4;

// One call in flight, shared between the waiting caller and the completion on the stack
// thread only through the table below and the semaphore.
struct CallContext {
  uint8_t service_choice = 0;
  int32_t device = -1;
  ClientCallRecord* record = nullptr;
  ClientCallError* error = nullptr;
  OsSemaphoreHandle semaphore = nullptr;
  // Raw calls.
  std::vector<uint8_t>* answer = nullptr;
  uint8_t invoke_id = 0;
};

// The calls still waiting, by the number handed to the transaction as user data. A call that
// gave up is removed, so a late completion finds nothing and touches nothing. Under the lock.
std::map<uintptr_t, CallContext*> g_calls;
uintptr_t g_next_call = 1;
// Set when the stack stops: no transaction will end a call any more. Under the lock.
bool g_stopped = false;

// Null once the stack stopped: the call fails at once.
void* register_call(CallContext* context)
{
  DRIVER_LOCK_SCOPE();
  if (g_stopped)
    return nullptr;
  uintptr_t id = g_next_call++;
  g_calls[id] = context;
  return reinterpret_cast<void*>(id);
}

bool still_waiting(void* id)
{
  DRIVER_LOCK_SCOPE();
  return g_calls.count(reinterpret_cast<uintptr_t>(id)) != 0;
}

// Under the lock: the waiting call of `user_data`, taken out of the table; null when it gave up.
CallContext* take_call(void* user_data)
{
  auto it = g_calls.find(reinterpret_cast<uintptr_t>(user_data));
  if (it == g_calls.end())
    return nullptr;
  CallContext* context = it->second;
  g_calls.erase(it);
  return context;
}

CallContext* take_call_locked(void* user_data)
{
  DRIVER_LOCK_SCOPE();
  return take_call(user_data);
}

// Waits for the completion; false when the safety time-out ended the wait first (the call
// is then out of the table and no completion will touch it any more).
bool wait_for_completion(void* id, CallContext* context)
{
  int64_t deadline = os_monotonic_ms() + client_call_safety_timeout_ms();
  for (;;) {
    if (os_semaphore_wait_for(&context->semaphore, kWaitSliceMs) == 0)
      return true;
    if (os_monotonic_ms() < deadline)
      continue;
    if (take_call_locked(id))
      return false;
    // The completion has taken the call and releases the semaphore when it is done with it.
    os_semaphore_wait(&context->semaphore);
    return true;
  }
}

// The completion releases the semaphore under the lock; taking the lock once before closing
// makes sure that release has returned before the semaphore goes.
class Semaphore {
public:
  Semaphore() { os_semaphore_create(&handle); }
  ~Semaphore()
  {
    { DRIVER_LOCK_SCOPE(); }
    os_semaphore_close(&handle);
  }
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;
  OsSemaphoreHandle handle = nullptr;
};

void set_failure(const CallContext& c) { client_call_set_error(c.error, c.service_choice, kErrorClassServices, kErrorOther); }

// The services whose SimpleACK acknowledges a call.
constexpr std::array<uint8_t, 10> kAcknowledgedBySimpleAck = {0, 5, 8, 9, 11, 15, 16, 17, 20, 25};

using AckDecoder = int (*)(pdu_buffer* buffer, void* answer);
template <class Record, int (*Decode)(pdu_buffer*, Record*)>
int decode_as(pdu_buffer* buffer, void* answer)
{
  return Decode(buffer, static_cast<Record*>(answer));
}
struct AckRow {
  uint8_t service_choice;
  AckDecoder decode;
};
// ComplexACKs decoded into the call's answer record; the other services join as their
// acknowledgements get a codec.
constexpr std::array<AckRow, 6> kAckDecoders = {{
    {SERVICE_ATOMIC_READ_FILE, decode_as<AtomicReadFileAck, pdu_decode_atomic_read_file_ack>},
    {SERVICE_ATOMIC_WRITE_FILE, decode_as<AtomicWriteFileAck, pdu_decode_atomic_write_file_ack>},
    {SERVICE_CREATE_OBJECT, decode_as<BACnetObjectId, pdu_decode_create_object_ack>},
    {SERVICE_READ_PROPERTY, decode_as<ReadPropertyAck, pdu_decode_read_property_ack>},
    {SERVICE_READ_PROPERTY_MULTIPLE, decode_as<ReadPropertyMultipleAck, pdu_decode_read_property_multiple_ack>},
    {SERVICE_READ_RANGE, decode_as<ReadRangeAck, pdu_decode_read_range_ack>},
}};

void confirm_simple_ack(const CallContext& c)
{
  if (c.service_choice == SERVICE_CONFIRMED_TEXT_MESSAGE)
    return;
  bool acknowledges = std::find(kAcknowledgedBySimpleAck.begin(), kAcknowledgedBySimpleAck.end(), c.service_choice) !=
                      kAcknowledgedBySimpleAck.end();
  if (!acknowledges || !c.record) {
    set_failure(c);
    return;
  }
  c.record->acknowledged = 1;
}

void confirm_complex_ack(const CallContext& c, const ClientResult& result)
{
  auto row = std::find_if(kAckDecoders.begin(), kAckDecoders.end(),
                          [&](const AckRow& r) { return r.service_choice == c.service_choice; });
  if (row == kAckDecoders.end() || !c.record || !c.record->answer) {
    set_failure(c);
    return;
  }
  pdu_buffer view = pdu_buffer_view(result.data.data(), uint32_t(result.data.size()));
  if (row->decode(&view, c.record->answer) != 0)
    set_failure(c);
}

void confirm_error(const CallContext& c, const ClientResult& result)
{
  // A private transfer's error parameters are decoded along; nobody reads them.
  Owned<ErrorParameters, pdu_free_error> parameters;
  parameters->service_choice = result.service_choice;
  pdu_buffer view = pdu_buffer_view(result.data.data(), uint32_t(result.data.size()));
  if (pdu_decode_error(&view, parameters.get()) != 0) {
    set_failure(c);
  } else if (c.error) {
    c.error->status = result.service_choice;
    c.error->error_class = parameters->error.error_class;
    c.error->error_code = parameters->error.error_code;
    c.error->first_failed_element = parameters->first_failed_element;
    c.error->failed_write = parameters->failed_write;
  }
}

// An Error APDU made here for a raw call that got no answer of its own.
void local_error_apdu(uint8_t invoke_id, uint8_t service_choice, uint32_t error_code, std::vector<uint8_t>* answer)
{
  answer->assign({0x50, invoke_id, service_choice});
  pdu_buffer buffer{};
  BACnetError error{kErrorClassServices, error_code};
  if (pdu_encode_bacnet_error(&buffer, &error) == 0)
    answer->insert(answer->end(), buffer.data, buffer.data + buffer.pos);
  pdu_buffer_free(&buffer);
}

}  // namespace

int64_t client_call_safety_timeout_ms()
{
  // The transaction's own limits govern; this only has to lie beyond all of them.
  int64_t parking = int64_t(kClientParkCountdown + 2) * 1000;
  int64_t transaction = int64_t(application_layer_get_apdu_retries() + 1) * application_layer_get_apdu_timeout();
  int64_t segmented = kSegmentedAnswerFactor * application_layer_get_segment_timeout();
  return parking + transaction + segmented + kSafetyMarginMs;
}

void client_call_stop_waits()
{
  DRIVER_LOCK_SCOPE();
  g_stopped = true;
  for (auto& [id, c] : g_calls) {
    set_failure(*c);
    if (c->answer)
      local_error_apdu(c->invoke_id, c->service_choice, kErrorOther, c->answer);
    os_semaphore_release(&c->semaphore);
  }
  g_calls.clear();
}

void client_call_resume()
{
  DRIVER_LOCK_SCOPE();
  g_stopped = false;
}

int client_call_set_error(ClientCallError* error, uint8_t service_choice, uint32_t error_class, uint32_t error_code)
{
  if (!error)
    return -1;
  error->status = service_choice;
  if (service_choice <= 20 || service_choice == 24 || service_choice == 26) {
    error->error_class = error_class;
    error->error_code = error_code;
    return 0;
  }
  return service_choice <= 23 ? 0 : -1;
}

int client_call(uint8_t service_choice, int32_t device_instance, ClientCallRecord* record, const void* request,
                ClientCallError* error)
{
  ClientCallError unused;
  if (!error)
    error = &unused;
  Semaphore semaphore;
  CallContext context;
  context.service_choice = service_choice;
  context.device = device_instance;
  context.record = record;
  context.error = error;
  context.semaphore = semaphore.handle;

  // Set before sending: the completion may come before client_send_confirmed returns.
  error->status = -1;
  void* id = register_call(&context);
  if (!id) {
    set_failure(context);
    return 0;
  }
  if (client_send_confirmed(client_call_confirm, id, device_instance, nullptr, service_choice, request) != 0) {
    take_call_locked(id);
    set_failure(context);
    return 0;
  }
  if (!wait_for_completion(id, &context))
    set_failure(context);
  return 0;
}

void client_call_confirm(void* user_data, int success, const BACnetAddress&, const ClientResult& result)
{
  // Once taken, the call is this callback's alone: its caller waits for the semaphore.
  CallContext* c = take_call_locked(user_data);
  if (!c)
    return;
  // An acknowledgement counts only for the service asked; anything else would be read into a
  // record of another shape.
  bool own_service = result.service_choice == c->service_choice;
  if (result.present && success && own_service && result.type == kApduSimpleAck)
    confirm_simple_ack(*c);
  else if (result.present && success && own_service && result.type == kApduComplexAck)
    confirm_complex_ack(*c, result);
  else if (result.present && result.type == kApduError)
    confirm_error(*c, result);
  else
    set_failure(*c);
  DRIVER_LOCK_SCOPE();
  os_semaphore_release(&c->semaphore);
}

int client_call_atomic_read_file(ClientCallRecord* r)
{
  return client_call(SERVICE_ATOMIC_READ_FILE, r->device_instance, r, r->request, r->error);
}
int client_call_atomic_write_file(ClientCallRecord* r)
{
  return client_call(SERVICE_ATOMIC_WRITE_FILE, r->device_instance, r, r->request, r->error);
}
int client_call_add_list_element(ClientCallRecord* r)
{
  return client_call(SERVICE_ADD_LIST_ELEMENT, r->device_instance, r, r->request, r->error);
}
int client_call_remove_list_element(ClientCallRecord* r)
{
  return client_call(SERVICE_REMOVE_LIST_ELEMENT, r->device_instance, r, r->request, r->error);
}
int client_call_create_object(ClientCallRecord* r)
{
  return client_call(SERVICE_CREATE_OBJECT, r->device_instance, r, r->request, r->error);
}
int client_call_delete_object(ClientCallRecord* r)
{
  return client_call(SERVICE_DELETE_OBJECT, r->device_instance, r, r->request, r->error);
}
int client_call_read_property(ClientCallRecord* r)
{
  return client_call(SERVICE_READ_PROPERTY, r->device_instance, r, r->request, r->error);
}
int client_call_read_property_multiple(ClientCallRecord* r)
{
  return client_call(SERVICE_READ_PROPERTY_MULTIPLE, r->device_instance, r, r->request, r->error);
}
int client_call_write_property(ClientCallRecord* r)
{
  return client_call(SERVICE_WRITE_PROPERTY, r->device_instance, r, r->request, r->error);
}
int client_call_write_property_multiple(ClientCallRecord* r)
{
  return client_call(SERVICE_WRITE_PROPERTY_MULTIPLE, r->device_instance, r, r->request, r->error);
}
int client_call_read_range(ClientCallRecord* r)
{
  return client_call(SERVICE_READ_RANGE, r->device_instance, r, r->request, r->error);
}

// ---- Raw calls ---------------------------------------------------------------------------

int client_raw_confirmed(int32_t device_instance, std::span<const uint8_t> request, std::vector<uint8_t>* answer)
{
  if (!answer || request.empty() || (request[0] >> 4) != kApduConfirmedRequest)
    return -1;
  std::size_t choice_at = (request[0] & kApduSegmented) ? 5 : 3;
  if (request.size() <= choice_at)
    return -1;
  ClientCallError error;
  return client_raw_call(device_instance, request[choice_at], request[2], request.subspan(choice_at + 1), answer,
                         &error);
}

int client_raw_call(int32_t device_instance, uint8_t service_choice, uint8_t invoke_id, std::span<const uint8_t> data,
                    std::vector<uint8_t>* answer, ClientCallError* error)
{
  if (!answer || !error)
    return -1;
  Semaphore semaphore;
  CallContext context;
  context.service_choice = service_choice;
  context.device = device_instance;
  context.error = error;
  context.semaphore = semaphore.handle;
  context.answer = answer;
  context.invoke_id = invoke_id;
  error->status = -1;
  void* id = register_call(&context);
  if (!id) {
    set_failure(context);
    local_error_apdu(invoke_id, service_choice, kErrorOther, answer);
    return 0;
  }

  int64_t deadline =
      os_monotonic_ms() + int64_t(application_layer_get_apdu_retries() + 1) * application_layer_get_apdu_timeout();
  uint32_t code = kErrorOther;
  for (;;) {
    // A stop has answered the call already.
    if (!still_waiting(id))
      return 0;
    // Noted before the look-up: a binding made in between ends the wait below at once.
    uint64_t changes = address_binding_changes();
    DeviceBinding binding;
    int bound = address_binding_use_device(device_instance, &binding);
    if (bound == 0) {
      ApduRequest r;
      r.destination = binding.address;
      r.kind = kRequestConfirmed;
      r.service_choice = service_choice;
      r.max_apdu_code = binding.max_apdu_code;
      r.invoke_id = uint8_t(binding.use_count);
      r.data = data;
      if (application_layer_send_request(-1, client_raw_call_confirm, id, r) == 0) {
        if (!wait_for_completion(id, &context)) {
          set_failure(context);
          local_error_apdu(invoke_id, service_choice, kErrorOther, answer);
        }
        return 0;
      }
      break;
    }
    if (bound == 2 || (bound == 1 && os_monotonic_ms() >= deadline)) {
      code = kErrorTimeout;
      break;
    }
    if (bound != 1)
      break;
    address_binding_wait_change(changes, int(std::clamp<int64_t>(deadline - os_monotonic_ms(), 1, kWaitSliceMs)));
  }
  take_call_locked(id);
  client_call_set_error(error, service_choice, kErrorClassServices, code);
  local_error_apdu(invoke_id, service_choice, code, answer);
  return 0;
}

void client_raw_call_confirm(void* user_data, int success, const BACnetAddress&, const ClientResult& result)
{
  CallContext* c = take_call_locked(user_data);
  if (!c)
    return;
  std::vector<uint8_t>& answer = *c->answer;
  if (result.present && success && result.type == kApduSimpleAck) {
    answer.assign({0x20, result.invoke_id, result.service_choice});
  } else if (result.present && success && result.type == kApduComplexAck) {
    answer.assign({0x30, result.invoke_id, result.service_choice});
    answer.insert(answer.end(), result.data.begin(), result.data.end());
  } else if (result.present && result.type == kApduError) {
    answer.assign({0x50, result.invoke_id, result.service_choice});
    answer.insert(answer.end(), result.data.begin(), result.data.end());
    confirm_error(*c, result);
  } else {
    set_failure(*c);
    local_error_apdu(c->invoke_id, c->service_choice, kErrorOther, &answer);
  }
  DRIVER_LOCK_SCOPE();
  os_semaphore_release(&c->semaphore);
}

int client_raw_unconfirmed(std::span<const uint8_t> request)
{
  if (request.size() < 2 || (request[0] >> 4) != kApduUnconfirmedRequest)
    return -1;
  ApduRequest r;
  r.kind = kRequestUnconfirmed;
  r.service_choice = request[1];
  r.data = request.subspan(2);
  return application_layer_send_request(-1, nullptr, nullptr, r);
}

int client_hex_to_bytes(const char* text, std::vector<uint8_t>* out)
{
  if (!text || !out)
    return -1;
  std::size_t length = std::strlen(text);
  if (length < 2)
    return -1;
  for (std::size_t i = 0; i < length; ++i)
    if (hex_digit(text[i]) < 0)
      return -1;
  out->clear();
  for (std::size_t i = 0; i + 1 < length; i += 2)
    out->push_back(uint8_t(hex_digit(text[i]) << 4 | hex_digit(text[i + 1])));
  return 0;
}

char* client_bytes_to_hex(std::span<const uint8_t> bytes)
{
  char* text = static_cast<char*>(std::malloc(2 * bytes.size() + 1));
  if (!text)
    return nullptr;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    std::snprintf(text + 2 * i, 3, "%02X", bytes[i]);
  text[2 * bytes.size()] = '\0';
  return text;
}

int client_raw_confirmed_hex(int32_t device_instance, const char* request_hex, char** answer_hex)
{
  std::vector<uint8_t> request, answer;
  if (!answer_hex || client_hex_to_bytes(request_hex, &request) != 0)
    return -1;
  if (client_raw_confirmed(device_instance, request, &answer) != 0 || answer.empty())
    return -1;
  *answer_hex = client_bytes_to_hex(answer);
  return *answer_hex ? 0 : -1;
}

int client_raw_unconfirmed_hex(const char* request_hex)
{
  std::vector<uint8_t> request;
  if (client_hex_to_bytes(request_hex, &request) != 0)
    return -1;
  return client_raw_unconfirmed(request);
}

// ---- Request classes ---------------------------------------------------------------------

namespace client_calls {

AtomicReadFileRequest::AtomicReadFileRequest()
{
  record.request = &request;
  record.answer = &answer;
  record.error = &error;
}

int AtomicReadFileRequest::Call()
{
  record.device_instance = device_instance;
  return client_call_atomic_read_file(&record);
}

AtomicWriteFileRequest::AtomicWriteFileRequest()
{
  record.request = &request;
  record.answer = &answer;
  record.error = &error;
}

int AtomicWriteFileRequest::Call()
{
  record.device_instance = device_instance;
  return client_call_atomic_write_file(&record);
}

ReadPropertyRequest::ReadPropertyRequest()
{
  record.request = &request;
  record.answer = &answer;
  record.error = &error;
}

ReadPropertyRequest::~ReadPropertyRequest() { pdu_free_read_property_ack(&answer); }

int ReadPropertyRequest::Call()
{
  record.device_instance = device_instance;
  return client_call_read_property(&record);
}

}  // namespace client_calls
