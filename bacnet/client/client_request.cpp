#include "bacnet/client/client_request.h"

#include "bacnet/application/application_layer.h"
#include "bacnet/binding/address_binding.h"
#include "bacnet/client/client_call.h"
#include "bacnet/client/device_discovery.h"
#include "bacnet/codec/pdu.h"
#include "bacnet/codec/pdu_buffer.h"
#include "bacnet/foundation/stack_wake.h"
#include "bacnet/network/network_main.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <utility>
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

// Who a notification is owed to: the device instance, or the address when one is given.
struct RecipientKey {
  int32_t device = -1;
  uint32_t network = 0;
  std::array<uint8_t, 6> mac{};
  uint8_t mac_len = 0;
  auto operator<=>(const RecipientKey&) const = default;
};

RecipientKey recipient_of(int32_t device, const BACnetAddress* address)
{
  RecipientKey key;
  if (!address) {
    key.device = device;
    return key;
  }
  key.network = address->network;
  std::copy(std::begin(address->mac), std::end(address->mac), key.mac.begin());
  key.mac_len = address->mac_len;
  return key;
}

// The subscription a COV notification reports on: subscriber process, initiating device and
// monitored object. Event notifications have none: each of them is owed in its order.
using Subscription = std::array<uint32_t, 4>;

std::optional<Subscription> subscription_of(uint8_t service_choice, const void* request)
{
  if (service_choice != SERVICE_CONFIRMED_COV_NOTIFICATION && service_choice != SERVICE_UNCONFIRMED_COV_NOTIFICATION)
    return std::nullopt;
  const auto* n = static_cast<const CovNotificationRequest*>(request);
  return Subscription{n->process_id, n->device.instance, n->object.type, n->object.instance};
}

// A notification that waits for its recipient's turn, encoded, addressed as its sender gave it.
struct OwedNotification {
  ClientRequestCallback callback = nullptr;  // confirmed ones
  void* user_data = nullptr;
  int port_index = -1;  // unconfirmed ones
  int32_t address_device = -1;
  int32_t device = -1;  // confirmed: the recipient; unconfirmed: the park device
  bool has_address = false;
  BACnetAddress address{};
  uint8_t service_choice = 0;
  std::optional<Subscription> subscription;
  std::vector<uint8_t> data;
  const BACnetAddress* address_or_null() const { return has_address ? &address : nullptr; }
};

// What one recipient is owed, and what it holds.
struct RecipientQueue {
  std::deque<OwedNotification> confirmed;    // oldest first
  std::deque<OwedNotification> unconfirmed;  // oldest first
  std::size_t in_flight = 0;                 // confirmed ones sent and not yet ended
  // The subscriptions of those in flight: a newer state of one waits until the older one has
  // ended, so that it cannot arrive before it.
  std::vector<Subscription> covs_in_flight;
  bool idle() const { return confirmed.empty() && unconfirmed.empty() && in_flight == 0; }
};

// A confirmed notification on its way: it gives its recipient's share back when it ends.
struct InFlight {
  uint64_t epoch = 0;
  RecipientKey recipient;
  std::optional<Subscription> subscription;
  ClientRequestCallback callback = nullptr;
  void* user_data = nullptr;
};

struct ClientState {
  int32_t apdu_timeout = kTimeoutMin;
  int32_t retries = 0;
  uint8_t invoke_id = 0;                              // under the lock
  std::array<ParkedRequest, kClientParkedRequests> parked;  // under the lock
  // Told of every notification dropped at a bound, whatever the trace option.
  DriverLogFunction notice = nullptr;
  // Under the lock: what is owed, per recipient; the recipient whose turn comes next; the
  // start-up an in-flight notification belongs to.
  std::map<RecipientKey, RecipientQueue> recipients;
  RecipientKey next_turn;
  uint64_t epoch = 0;
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

// Communication lets the device send the unconfirmed request, and it encodes.
bool encode_unconfirmed(uint8_t service_choice, const void* request, Encoded* out)
{
  int state = client_get_communication_state();
  if (state == kCommunicationDisabled || (state == kCommunicationInitiationDisabled && service_choice != SERVICE_I_AM))
    return false;
  return encode_request(kUnconfirmedCoding, service_choice, request, out);
}

// The encoded unconfirmed request, addressed as `client_send_unconfirmed` says.
int send_unconfirmed_encoded(int port_index, int32_t address_device, int32_t park_device, const BACnetAddress* address,
                             uint8_t service_choice, std::span<const uint8_t> data)
{
  ApduRequest r;
  r.kind = kRequestUnconfirmed;
  r.service_choice = service_choice;
  r.data = data;
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
    return park_until_bound(park_device, r, data, nullptr, nullptr);
  return application_layer_send_request(port_index, nullptr, nullptr, r);
}

// ---- Notifications owed per recipient ----------------------------------------------------

constexpr int kDroppedLogLevel = 1;

void log_dropped(DriverLogFunction log, const char* text)
{
  if (log)
    log(kDroppedLogLevel, text);
}

OwedNotification owed_notification(int32_t device, const BACnetAddress* address, uint8_t service_choice,
                                   const void* request, const Encoded& encoded)
{
  OwedNotification n;
  n.device = device;
  n.has_address = address != nullptr;
  if (address)
    n.address = *address;
  n.service_choice = service_choice;
  n.subscription = subscription_of(service_choice, request);
  n.data.assign(encoded.bytes().begin(), encoded.bytes().end());
  return n;
}

enum class Owing { Added, Replaced, Refused };

// Owes `n` in `queue`: in the place of the one that waits for the same subscription (handed
// back in `replaced`), else last; refused at the bound.
Owing owe(std::deque<OwedNotification>& queue, OwedNotification&& n, OwedNotification* replaced)
{
  if (n.subscription) {
    auto same = std::find_if(queue.begin(), queue.end(),
                             [&](const OwedNotification& w) { return w.subscription == n.subscription; });
    if (same != queue.end()) {
      *replaced = std::exchange(*same, std::move(n));
      return Owing::Replaced;
    }
  }
  if (queue.size() >= kClientWaitingNotifications)
    return Owing::Refused;
  queue.push_back(std::move(n));
  return Owing::Added;
}

bool cov_in_flight(const RecipientQueue& q, const std::optional<Subscription>& subscription)
{
  return subscription &&
         std::find(q.covs_in_flight.begin(), q.covs_in_flight.end(), *subscription) != q.covs_in_flight.end();
}

// Client transactions the confirmed notifications may take now: the free ones beyond the
// reserve.
std::size_t transactions_for_notifications()
{
  std::size_t free = client_free_transactions();
  return free > kClientReservedTransactions ? free - kClientReservedTransactions : 0;
}

// Unconfirmed notifications that may be queued now: each goes through the request ring into a
// port's send queue, so the ring's requests and the busiest port's frames count.
std::size_t room_for_unconfirmed()
{
  std::size_t busiest = 0;
  for (std::size_t port = 0; port < network_port_count(); ++port)
    busiest = std::max(busiest, network_port_queued(int(port)));
  std::size_t queued = application_layer_queued_requests() + busiest;
  return queued < kClientUnconfirmedQueued ? kClientUnconfirmedQueued - queued : 0;
}

std::unique_ptr<InFlight> start_in_flight(const RecipientKey& key, RecipientQueue& q, const OwedNotification& n)
{
  ++q.in_flight;
  if (n.subscription)
    q.covs_in_flight.push_back(*n.subscription);
  return std::make_unique<InFlight>(InFlight{g.epoch, key, n.subscription, n.callback, n.user_data});
}

// Gives the share back to its recipient (under the lock).
void end_in_flight(const InFlight& f)
{
  auto it = g.recipients.find(f.recipient);
  if (f.epoch != g.epoch || it == g.recipients.end())
    return;
  RecipientQueue& q = it->second;
  --q.in_flight;
  if (f.subscription) {
    auto s = std::find(q.covs_in_flight.begin(), q.covs_in_flight.end(), *f.subscription);
    if (s != q.covs_in_flight.end())
      q.covs_in_flight.erase(s);
  }
  // The recipient's next one may go now: the next pass starts at once, not after the idle wait.
  if (!q.confirmed.empty())
    stack_wake();
  if (q.idle())
    g.recipients.erase(it);
}

// The completion of every confirmed notification, before its sender's own.
void notification_ended(void* user_data, int success, const BACnetAddress& destination, const ClientResult& result)
{
  std::unique_ptr<InFlight> f(static_cast<InFlight*>(user_data));
  {
    DRIVER_LOCK_SCOPE();
    end_in_flight(*f);
  }
  if (f->callback)
    f->callback(f->user_data, success, destination, result);
}

// Sends a confirmed notification that was given its share. 0, or -1 (the share is given back;
// no callback follows).
int send_in_flight(std::unique_ptr<InFlight> flight, const OwedNotification& n)
{
  if (client_get_communication_state() == kCommunicationEnabled) {
    // From here on its completion owns the record.
    if (send_encoded(notification_ended, flight.get(), n.device, n.address_or_null(), n.service_choice, n.data) == 0) {
      flight.release();
      return 0;
    }
  }
  DRIVER_LOCK_SCOPE();
  end_in_flight(*flight);
  return -1;
}

// A confirmed notification goes out now only when none waits before it for its recipient,
// the recipient holds less than its share and a transaction beyond the reserve is free;
// otherwise it waits its turn, so that a burst beyond the transactions is not dropped.
int send_notification(ClientRequestCallback callback, void* user_data, int32_t device, const BACnetAddress* address,
                      uint8_t service_choice, const void* request)
{
  Encoded encoded;
  if (!encode_confirmed(service_choice, request, &encoded))
    return -1;
  OwedNotification n = owed_notification(device, address, service_choice, request, encoded);
  n.callback = callback;
  n.user_data = user_data;
  RecipientKey key = recipient_of(device, address);
  // Asked before the lock is taken: the application layer takes it itself.
  bool transaction_free = transactions_for_notifications() > 0;
  std::unique_ptr<InFlight> flight;
  OwedNotification replaced;
  Owing owing = Owing::Added;
  DriverLogFunction log;
  {
    DRIVER_LOCK_SCOPE();
    log = g.notice;
    RecipientQueue& q = g.recipients[key];
    if (q.confirmed.empty() && q.in_flight < kClientNotificationsPerRecipient && !cov_in_flight(q, n.subscription) &&
        transaction_free)
      flight = start_in_flight(key, q, n);
    else
      owing = owe(q.confirmed, std::move(n), &replaced);
    if (q.idle())
      g.recipients.erase(key);
  }
  if (flight)
    return send_in_flight(std::move(flight), n);
  if (owing == Owing::Replaced)
    fail({replaced.callback, replaced.user_data});  // its newer state goes in its place
  if (owing != Owing::Refused)
    return 0;
  log_dropped(log, "Confirmed notification dropped: too many wait for its recipient");
  return -1;
}

// An unconfirmed notification goes out now only when none waits before it for its recipient
// and the ring and the ports have room; otherwise it waits its turn.
int send_unconfirmed_notification(int port_index, int32_t address_device, int32_t park_device,
                                  const BACnetAddress* address, uint8_t service_choice, const void* request)
{
  Encoded encoded;
  if (!encode_unconfirmed(service_choice, request, &encoded))
    return -1;
  OwedNotification n = owed_notification(park_device, address, service_choice, request, encoded);
  n.port_index = port_index;
  n.address_device = address_device;
  RecipientKey key = address_device >= 0 ? recipient_of(address_device, nullptr) : recipient_of(park_device, address);
  bool room = room_for_unconfirmed() > 0;  // before the lock, as above
  bool now = false;
  OwedNotification replaced;
  Owing owing = Owing::Added;
  DriverLogFunction log;
  {
    DRIVER_LOCK_SCOPE();
    log = g.notice;
    RecipientQueue& q = g.recipients[key];
    now = q.unconfirmed.empty() && room;
    if (!now)
      owing = owe(q.unconfirmed, std::move(n), &replaced);
    if (q.idle())
      g.recipients.erase(key);
  }
  if (now)
    return send_unconfirmed_encoded(port_index, address_device, park_device, address, service_choice, n.data);
  if (owing != Owing::Refused)
    return 0;
  log_dropped(log, "Unconfirmed notification dropped: too many wait for its recipient");
  return -1;
}

// One pass over the recipients in turn, from the one whose turn it is: `take` takes at most
// one notification of each while `room` lasts. Under the lock.
template <class Take>
void serve_in_turn(std::size_t room, Take take)
{
  auto it = g.recipients.lower_bound(g.next_turn);
  for (std::size_t visits = g.recipients.size(); visits > 0 && room > 0; --visits) {
    if (it == g.recipients.end())
      it = g.recipients.begin();
    if (take(it->first, it->second))
      --room;
    ++it;
  }
  if (it == g.recipients.end())
    it = g.recipients.begin();
  if (it != g.recipients.end())
    g.next_turn = it->first;
}

struct Started {
  std::unique_ptr<InFlight> flight;
  OwedNotification n;
};

void send_waiting_confirmed()
{
  for (;;) {
    std::vector<Started> started;
    std::size_t room = transactions_for_notifications();
    {
      DRIVER_LOCK_SCOPE();
      serve_in_turn(room, [&](const RecipientKey& key, RecipientQueue& q) {
        if (q.in_flight >= kClientNotificationsPerRecipient)
          return false;
        // The oldest whose subscription has no older state in flight.
        auto next = std::find_if(q.confirmed.begin(), q.confirmed.end(),
                                 [&](const OwedNotification& w) { return !cov_in_flight(q, w.subscription); });
        if (next == q.confirmed.end())
          return false;
        Started& s = started.emplace_back();
        s.flight = start_in_flight(key, q, *next);
        s.n = std::move(*next);
        q.confirmed.erase(next);
        return true;
      });
    }
    if (started.empty())
      return;
    for (Started& s : started)
      if (send_in_flight(std::move(s.flight), s.n) != 0)
        fail({s.n.callback, s.n.user_data});
  }
}

void send_waiting_unconfirmed()
{
  for (;;) {
    std::vector<OwedNotification> taken;
    DriverLogFunction log;
    std::size_t room = room_for_unconfirmed();
    {
      DRIVER_LOCK_SCOPE();
      log = g.notice;
      serve_in_turn(room, [&](const RecipientKey&, RecipientQueue& q) {
        if (q.unconfirmed.empty())
          return false;
        taken.push_back(std::move(q.unconfirmed.front()));
        q.unconfirmed.pop_front();
        return true;
      });
      std::erase_if(g.recipients, [](const auto& r) { return r.second.idle(); });
    }
    if (taken.empty())
      return;
    for (const OwedNotification& n : taken)
      if (send_unconfirmed_encoded(n.port_index, n.address_device, n.device, n.address_or_null(), n.service_choice,
                                   n.data) != 0)
        log_dropped(log, "Unconfirmed notification dropped: it could not be queued");
  }
}

}  // namespace

int client_init(const DriverContext* context, int32_t retries, int32_t timeout_ms)
{
  {
    DRIVER_LOCK_SCOPE();
    g.apdu_timeout = std::clamp(timeout_ms, kTimeoutMin, kTimeoutMax);
    g.retries = std::clamp(retries, 0, kRetriesMax);
    for (ParkedRequest& p : g.parked)
      p = ParkedRequest{};
    g.notice = context ? context->log : nullptr;
    g.recipients.clear();
    g.next_turn = RecipientKey{};
    ++g.epoch;  // a notification still in flight from before ends without giving back a share
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
  Encoded encoded;
  if (!encode_unconfirmed(service_choice, request, &encoded))
    return -1;
  return send_unconfirmed_encoded(port_index, address_device, park_device, address, service_choice, encoded.bytes());
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
    for (auto& [key, q] : g.recipients) {
      for (const OwedNotification& n : q.confirmed)
        failures.push_back({n.callback, n.user_data});
      q.confirmed.clear();
      q.unconfirmed.clear();
    }
    std::erase_if(g.recipients, [](const auto& r) { return r.second.idle(); });
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
  send_waiting_confirmed();
  send_waiting_unconfirmed();
  address_binding_send_waiting_answers();
}

std::size_t client_waiting_notifications()
{
  DRIVER_LOCK_SCOPE();
  std::size_t waiting = 0;
  for (const auto& [key, q] : g.recipients)
    waiting += q.confirmed.size() + q.unconfirmed.size();
  return waiting;
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
  return send_unconfirmed_notification(port_index, address_device, park_device, address,
                                       SERVICE_UNCONFIRMED_COV_NOTIFICATION, request);
}

int client_unconfirmed_event_notification(int port_index, int32_t address_device, int32_t park_device,
                                          const BACnetAddress* address, const void* request)
{
  return send_unconfirmed_notification(port_index, address_device, park_device, address,
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
