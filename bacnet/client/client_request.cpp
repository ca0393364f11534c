#include "bacnet/client/client_request.h"

#include "bacnet/application/application_layer.h"
#include "bacnet/binding/address_binding.h"
#include "bacnet/client/client_call.h"
#include "bacnet/client/device_discovery.h"
#include "bacnet/codec/pdu.h"
#include "bacnet/codec/pdu_buffer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <deque>
#include <vector>

namespace {

constexpr int32_t kTimeoutMin = 3000;
constexpr int32_t kTimeoutMax = 30000;
constexpr int32_t kRetriesMax = 10;

// How the service data of one choice is made: by an encoder of the codec, not at all (the
// service has no parameters), or never (the terminal services are not offered).
enum class Coding { Refused, Empty, Encode };
using Encoder = int (*)(pdu_buffer* buffer, const void* request);
struct ServiceCoding {
  Coding coding = Coding::Refused;
  Encoder encoder = nullptr;
};

template <class Record, int (*Encode)(pdu_buffer*, const Record*)>
int encode_as(pdu_buffer* buffer, const void* request)
{
  return request ? Encode(buffer, static_cast<const Record*>(request)) : PDU_ENCODE_FAILED;
}

constexpr ServiceCoding encode(Encoder encoder) { return {Coding::Encode, encoder}; }
constexpr ServiceCoding kEmpty{Coding::Empty, nullptr};
constexpr ServiceCoding kRefused{Coding::Refused, nullptr};

// Confirmed services by choice; choices from 30 on go without service data.
constexpr std::array<ServiceCoding, 30> kConfirmedCoding = {
    encode(encode_as<AcknowledgeAlarmRequest, pdu_encode_acknowledge_alarm_request>),  // 0
    encode(encode_as<CovNotificationRequest, pdu_encode_confirmed_cov_notification_request>),  // 1
    encode(encode_as<EventNotificationRequest, pdu_encode_event_notification_request>),  // 2
    kEmpty,    // 3 GetAlarmSummary
    encode(encode_as<GetEnrollmentSummaryRequest, pdu_encode_get_enrollment_summary_request>),  // 4
    encode(encode_as<SubscribeCovRequest, pdu_encode_subscribe_cov_request>),  // 5
    encode(encode_as<AtomicReadFileRequest, pdu_encode_atomic_read_file_request>),
    encode(encode_as<AtomicWriteFileRequest, pdu_encode_atomic_write_file_request>),
    encode(encode_as<ListElementRequest, pdu_encode_list_element_request>),  // 8 AddListElement
    encode(encode_as<ListElementRequest, pdu_encode_list_element_request>),  // 9 RemoveListElement
    encode(encode_as<CreateObjectRequest, pdu_encode_create_object_request>),  // 10
    encode(encode_as<BACnetObjectId, pdu_encode_object_identifier>),  // 11 DeleteObject
    encode(encode_as<ReadPropertyRequest, pdu_encode_read_property_request>),
    encode(encode_as<ReadPropertyConditionalRequest, pdu_encode_read_property_conditional_request>),  // 13
    encode(encode_as<ReadPropertyMultipleRequest, pdu_encode_read_property_multiple_request>),
    encode(encode_as<WritePropertyRequest, pdu_encode_write_property_request>),
    encode(encode_as<WritePropertyMultipleRequest, pdu_encode_write_property_multiple_request>),  // 16
    encode(encode_as<DeviceCommunicationControlRequest, pdu_encode_device_communication_control_request>),  // 17
    encode(encode_as<PrivateTransferRequest, pdu_encode_private_transfer_request>),  // 18
    encode(encode_as<TextMessageRequest, pdu_encode_text_message_request>),  // 19
    encode(encode_as<ReinitializeDeviceRequest, pdu_encode_reinitialize_device_request>),  // 20
    kRefused,  // 21 VT-Open: the terminal services are not offered
    kRefused,  // 22 VT-Close
    kRefused,  // 23 VT-Data
    encode(encode_as<AuthenticateRequest, pdu_encode_authenticate_request>),  // 24
    encode(encode_as<RequestKeyRequest, pdu_encode_request_key_request>),  // 25
    encode(encode_as<ReadRangeRequest, pdu_encode_read_range_request>),  // 26
    kEmpty,    // 27
    kEmpty,    // 28
    encode(encode_as<GetEventInformationRequest, pdu_encode_get_event_information_request>),  // 29
};

// Unconfirmed services by choice; choices from 10 on go without service data.
constexpr std::array<ServiceCoding, 10> kUnconfirmedCoding = {
    encode(encode_as<IAmRequest, pdu_encode_iam_request>),
    encode(encode_as<IHaveRequest, pdu_encode_ihave_request>),
    encode(encode_as<CovNotificationRequest, pdu_encode_unconfirmed_cov_notification_request>),  // 2
    encode(encode_as<EventNotificationRequest, pdu_encode_event_notification_request>),  // 3
    encode(encode_as<PrivateTransferRequest, pdu_encode_private_transfer_request>),  // 4
    encode(encode_as<TextMessageRequest, pdu_encode_text_message_request>),  // 5
    encode(encode_as<BACnetDateTime, pdu_encode_datetime>),
    encode(encode_as<WhoHasRequest, pdu_encode_who_has_request>),
    encode(encode_as<WhoIsRequest, pdu_encode_who_is_request>),
    encode(encode_as<BACnetDateTime, pdu_encode_datetime>),
};

// The encoded service data, released with its owner.
class Encoded {
public:
  Encoded() = default;
  Encoded(const Encoded&) = delete;
  Encoded& operator=(const Encoded&) = delete;
  ~Encoded() { pdu_buffer_free(&buffer_); }
  pdu_buffer* buffer() { return &buffer_; }
  std::span<const uint8_t> bytes() const { return {buffer_.data, buffer_.pos}; }

private:
  pdu_buffer buffer_{};
};

template <std::size_t N>
bool encode_request(const std::array<ServiceCoding, N>& table, uint8_t choice, const void* request, Encoded* out)
{
  ServiceCoding coding = choice < table.size() ? table[choice] : kEmpty;
  switch (coding.coding) {
  case Coding::Empty: return true;
  case Coding::Encode: return coding.encoder(out->buffer(), request) == 0;
  case Coding::Refused: break;
  }
  return false;
}

struct ParkedRequest {
  int32_t countdown = 0;  // 0: free
  int32_t device = -1;
  ApduRequest request;    // its data span is set when it is sent
  std::vector<uint8_t> data;
  void* user_data = nullptr;
  ClientRequestCallback callback = nullptr;
};

// A confirmed notification that found every client transaction taken, encoded.
struct WaitingNotification {
  ClientRequestCallback callback = nullptr;
  void* user_data = nullptr;
  int32_t device = -1;
  bool has_address = false;
  BACnetAddress address{};
  uint8_t service_choice = 0;
  std::vector<uint8_t> data;
};

struct ClientState {
  DriverLogFunction log = nullptr;
  int32_t apdu_timeout = kTimeoutMin;
  int32_t retries = 0;
  uint8_t invoke_id = 0;                              // under the lock
  std::array<ParkedRequest, kClientParkedRequests> parked;  // under the lock
  std::deque<WaitingNotification> waiting;                  // under the lock; oldest first
};

ClientState g;
std::atomic<int> g_communication_state{kCommunicationEnabled};

// A request that cannot be completed any more: its requester learns it at once.
struct Failure {
  ClientRequestCallback callback;
  void* user_data;
};

void fail(const Failure& f)
{
  if (f.callback)
    f.callback(f.user_data, 0, BACnetAddress{}, ClientResult{});
}

int send_unconfirmed_wrapper(int port_index, int32_t address_device, uint8_t choice, const void* request)
{
  return client_send_unconfirmed(port_index, address_device, -1, nullptr, choice, request);
}

// Parks a request for a device without an address. The device's I-Am may come back between
// the look-up that asked for it and the parking: the request then leaves at once, not with
// the next second's look at the parked requests.
int park_until_bound(int32_t device, const ApduRequest& request, std::span<const uint8_t> data, void* user_data,
                     ClientRequestCallback callback)
{
  if (client_park_request(device, request, data, user_data, callback) != 0)
    return -1;
  BACnetAddress address{};
  if (address_binding_get_device_address(device, &address) == 0 && address.mac_len != 0)
    client_send_bound_parked();
  return 0;
}

// Communication lets the device send confirmed requests of its own, and the request encodes.
bool encode_confirmed(uint8_t service_choice, const void* request, Encoded* out)
{
  return client_get_communication_state() == kCommunicationEnabled &&
         encode_request(kConfirmedCoding, service_choice, request, out);
}

// The encoded request to its address, or to the bound address of `device` (parked while
// it has none).
int send_encoded(ClientRequestCallback callback, void* user_data, int32_t device, const BACnetAddress* address,
                 uint8_t service_choice, std::span<const uint8_t> data)
{
  ApduRequest r;
  r.kind = kRequestConfirmed;
  r.service_choice = service_choice;
  r.data = data;
  if (address) {
    r.destination = *address;
    r.max_apdu_code = kClientDefaultMaxApduCode;
    r.invoke_id = client_next_invoke_id();
  } else {
    DeviceBinding binding;
    int bound = address_binding_use_device(device, &binding);
    // No record can exist for this device (no instance, or the table is full): it could
    // never be bound, so waiting for it would only delay the failure.
    if (bound < 0)
      return -1;
    if (bound == 0) {
      r.destination = binding.address;
      r.max_apdu_code = binding.max_apdu_code;
      r.invoke_id = uint8_t(binding.use_count);
    }
  }
  if (r.destination.mac_len == 0)
    return park_until_bound(device, r, data, user_data, callback);
  return application_layer_send_request(-1, callback, user_data, r);
}

// A notification goes out now only when none waits before it and a transaction is free for
// it; otherwise it waits its turn, so that a burst beyond the transactions is not dropped.
int send_notification(ClientRequestCallback callback, void* user_data, int32_t device, const BACnetAddress* address,
                      uint8_t service_choice, const void* request)
{
  Encoded encoded;
  if (!encode_confirmed(service_choice, request, &encoded))
    return -1;
  // Asked before the lock is taken: the application layer takes it itself.
  bool transaction_free = client_free_transactions() > 0;
  {
    DRIVER_LOCK_SCOPE();
    if (!g.waiting.empty() || !transaction_free) {
      if (g.waiting.size() >= kClientWaitingNotifications) {
        if (g.log)
          g.log(kClientTsmLogLevel, "Confirmed notification dropped: too many wait for a transaction");
        return -1;
      }
      WaitingNotification& w = g.waiting.emplace_back();
      w.callback = callback;
      w.user_data = user_data;
      w.device = device;
      w.has_address = address != nullptr;
      if (address)
        w.address = *address;
      w.service_choice = service_choice;
      w.data.assign(encoded.bytes().begin(), encoded.bytes().end());
      return 0;
    }
  }
  return send_encoded(callback, user_data, device, address, service_choice, encoded.bytes());
}

}  // namespace

int client_init(const DriverContext* context, int32_t retries, int32_t timeout_ms)
{
  {
    DRIVER_LOCK_SCOPE();
    g.log = (context && context->options[kClientTraceOption]) ? context->log : nullptr;
    g.apdu_timeout = std::clamp(timeout_ms, kTimeoutMin, kTimeoutMax);
    g.retries = std::clamp(retries, 0, kRetriesMax);
    for (ParkedRequest& p : g.parked)
      p = ParkedRequest{};
    g.waiting.clear();
    application_layer_set_communication_state_function(client_get_communication_state);
    application_layer_set_room_function(client_send_waiting);
  }
  client_call_resume();
  return 0;
}

int32_t client_get_apdu_timeout() { return g.apdu_timeout; }
int32_t client_get_apdu_retries() { return g.retries; }

uint8_t client_next_invoke_id()
{
  DRIVER_LOCK_SCOPE();
  return g.invoke_id++;
}

int client_get_communication_state() { return g_communication_state.load(); }

void client_set_communication_state(int state) { g_communication_state = state; }

int client_send_confirmed(ClientRequestCallback callback, void* user_data, int32_t device, const BACnetAddress* address,
                          uint8_t service_choice, const void* request)
{
  Encoded encoded;
  if (!encode_confirmed(service_choice, request, &encoded))
    return -1;
  return send_encoded(callback, user_data, device, address, service_choice, encoded.bytes());
}

int client_send_unconfirmed(int port_index, int32_t address_device, int32_t park_device, const BACnetAddress* address,
                            uint8_t service_choice, const void* request)
{
  int state = client_get_communication_state();
  if (state == kCommunicationDisabled || (state == kCommunicationInitiationDisabled && service_choice != SERVICE_I_AM))
    return -1;
  Encoded encoded;
  if (!encode_request(kUnconfirmedCoding, service_choice, request, &encoded))
    return -1;

  ApduRequest r;
  r.kind = kRequestUnconfirmed;
  r.service_choice = service_choice;
  r.data = encoded.bytes();
  if (address_device >= 0) {
    // Meant for one device: never broadcast in its place.
    if (address_binding_get_device_address(address_device, &r.destination) != 0 || r.destination.mac_len == 0)
      return -1;
  } else if (address) {
    r.destination = *address;
  } else if (park_device >= 0) {
    DeviceBinding binding;
    if (address_binding_use_device(park_device, &binding) == 0)
      r.destination = binding.address;
  }
  if (r.destination.mac_len == 0 && park_device >= 0)
    return park_until_bound(park_device, r, encoded.bytes(), nullptr, nullptr);
  return application_layer_send_request(port_index, nullptr, nullptr, r);
}

int client_park_request(int32_t device, const ApduRequest& request, std::span<const uint8_t> data, void* user_data,
                        ClientRequestCallback callback)
{
  DRIVER_LOCK_SCOPE();
  auto free_entry = std::find_if(g.parked.begin(), g.parked.end(), [](const ParkedRequest& p) { return p.countdown < 1; });
  if (free_entry == g.parked.end())
    return -1;
  ParkedRequest& p = *free_entry;
  p.device = device;
  p.request = request;
  p.request.destination = BACnetAddress{};
  p.request.data = {};
  p.data.assign(data.begin(), data.end());
  p.user_data = user_data;
  p.callback = callback;
  p.countdown = kClientParkCountdown;
  return 0;
}

int client_pending_tick()
{
  client_resend_parked();
  return 0;
}

void client_send_bound_parked() { client_resend_parked(false); }

void client_resend_parked(bool count_down)
{
  // Only this function empties an entry, so a waiting entry stays where it is while its
  // device is looked up without the lock (the lookup takes it itself).
  std::vector<std::pair<std::size_t, int32_t>> waiting;
  {
    DRIVER_LOCK_SCOPE();
    for (std::size_t i = 0; i < g.parked.size(); ++i)
      if (g.parked[i].countdown > 0)
        waiting.emplace_back(i, g.parked[i].device);
  }
  std::vector<ParkedRequest> ready;
  std::vector<Failure> failures;
  for (auto [index, device] : waiting) {
    BACnetAddress address{};
    address_binding_get_device_address(device, &address);
    DRIVER_LOCK_SCOPE();
    ParkedRequest& p = g.parked[index];
    // Another thread's look (a request parked just as its device answered) took it meanwhile.
    if (p.countdown < 1 || p.device != device)
      continue;
    if (address.mac_len == 0) {
      if (!count_down)
        continue;
      std::printf("waitPDU Device %d wait: %d\n", p.device, p.countdown);
      std::fflush(stdout);
      if (--p.countdown > 0)
        continue;
      // Nobody answered for the device: the request cannot reach it, and a broadcast in
      // its place would reach everybody else.
      failures.push_back({p.callback, p.user_data});
    } else {
      ready.push_back(std::move(p));
      ready.back().request.destination = address;
    }
    p = ParkedRequest{};
  }
  for (ParkedRequest& p : ready) {
    ApduRequest r = p.request;
    r.max_apdu_code = kClientDefaultMaxApduCode;
    if (r.kind == kRequestConfirmed)
      r.invoke_id = client_next_invoke_id();
    r.data = p.data;
    if (application_layer_send_request(-1, p.callback, p.user_data, r) != 0)
      failures.push_back({p.callback, p.user_data});
  }
  for (const Failure& f : failures)
    fail(f);
}

void client_fail_parked()
{
  std::vector<Failure> failures;
  {
    DRIVER_LOCK_SCOPE();
    for (ParkedRequest& p : g.parked) {
      if (p.countdown > 0)
        failures.push_back({p.callback, p.user_data});
      p = ParkedRequest{};
    }
    for (const WaitingNotification& w : g.waiting)
      failures.push_back({w.callback, w.user_data});
    g.waiting.clear();
  }
  for (const Failure& f : failures)
    fail(f);
}

std::size_t client_parked_count()
{
  DRIVER_LOCK_SCOPE();
  return std::size_t(std::count_if(g.parked.begin(), g.parked.end(), [](const ParkedRequest& p) { return p.countdown > 0; }));
}

std::size_t client_free_transactions()
{
  std::size_t taken = application_layer_client_count() + application_layer_queued_requests();
  return taken < kTransactionTableSize ? kTransactionTableSize - taken : 0;
}

void client_send_waiting()
{
  while (client_free_transactions() > 0) {
    WaitingNotification w;
    {
      DRIVER_LOCK_SCOPE();
      if (g.waiting.empty())
        break;
      w = std::move(g.waiting.front());
      g.waiting.pop_front();
    }
    const BACnetAddress* address = w.has_address ? &w.address : nullptr;
    if (client_get_communication_state() != kCommunicationEnabled ||
        send_encoded(w.callback, w.user_data, w.device, address, w.service_choice, w.data) != 0)
      fail({w.callback, w.user_data});
  }
  address_binding_send_waiting_answers();
}

std::size_t client_waiting_notifications()
{
  DRIVER_LOCK_SCOPE();
  return g.waiting.size();
}

int client_confirmed_cov_notification(ClientRequestCallback callback, void* user_data, int32_t device,
                                      const BACnetAddress* address, const void* request)
{
  return send_notification(callback, user_data, device, address, SERVICE_CONFIRMED_COV_NOTIFICATION, request);
}

int client_confirmed_event_notification(ClientRequestCallback callback, void* user_data, int32_t device,
                                        const BACnetAddress* address, const void* request)
{
  return send_notification(callback, user_data, device, address, SERVICE_CONFIRMED_EVENT_NOTIFICATION, request);
}

int client_read_property(ClientRequestCallback callback, void* user_data, int32_t device, const BACnetAddress* address,
                         const ReadPropertyRequest* request)
{
  return client_send_confirmed(callback, user_data, device, address, SERVICE_READ_PROPERTY, request);
}

int client_read_property_multiple(ClientRequestCallback callback, void* user_data, int32_t device,
                                  const BACnetAddress* address, const ReadPropertyMultipleRequest* request)
{
  return client_send_confirmed(callback, user_data, device, address, SERVICE_READ_PROPERTY_MULTIPLE, request);
}

int client_write_property(ClientRequestCallback callback, void* user_data, int32_t device,
                          const BACnetAddress* address, const WritePropertyRequest* request)
{
  return client_send_confirmed(callback, user_data, device, address, SERVICE_WRITE_PROPERTY, request);
}

int client_send_i_am(int port_index, int32_t address_device, const IAmRequest* request)
{
  return send_unconfirmed_wrapper(port_index, address_device, SERVICE_I_AM, request);
}

int client_send_i_have(int port_index, int32_t address_device, const IHaveRequest* request)
{
  return send_unconfirmed_wrapper(port_index, address_device, SERVICE_I_HAVE, request);
}

int client_unconfirmed_cov_notification(int port_index, int32_t address_device, int32_t park_device,
                                        const BACnetAddress* address, const void* request)
{
  return client_send_unconfirmed(port_index, address_device, park_device, address,
                                 SERVICE_UNCONFIRMED_COV_NOTIFICATION, request);
}

int client_unconfirmed_event_notification(int port_index, int32_t address_device, int32_t park_device,
                                          const BACnetAddress* address, const void* request)
{
  return client_send_unconfirmed(port_index, address_device, park_device, address,
                                 SERVICE_UNCONFIRMED_EVENT_NOTIFICATION, request);
}

int client_who_is(int port_index, int32_t address_device, const WhoIsRequest* request)
{
  return send_unconfirmed_wrapper(port_index, address_device, SERVICE_WHO_IS, request);
}

int client_utc_time_synchronization(int port_index, int32_t address_device, const BACnetDateTime* request)
{
  return send_unconfirmed_wrapper(port_index, address_device, SERVICE_UTC_TIME_SYNCHRONIZATION, request);
}

int client_broadcast_i_am(BACnetObjectId device, uint32_t max_apdu, uint32_t segmentation)
{
  IAmRequest request;
  request.device = device;
  request.max_apdu = max_apdu;
  request.segmentation = segmentation;
  request.vendor_id = kMakerVendorIdentifier;
  return client_send_i_am(-1, -1, &request);
}
