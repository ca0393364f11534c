// The client request layer: encodes the local device's own requests, finds their destination
// (given, or a device's binding) and queues them; requests to unbound devices wait in the
// parked table until bound or failed. Any thread sends; the stack thread works the parked table
// once a second. Counter and table only under the global lock. Must not call the callback of a
// refused request (the caller has the -1).
#pragma once

#include "bacnet/application/client_tsm.h"
#include "bacnet/codec/codec_acks.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/network/bacnet_address.h"

#include <cstdint>
#include <span>

// The option byte of the driver context that switches on the client layer's trace.
inline constexpr int kClientTraceOption = 4;
inline constexpr std::size_t kClientParkedRequests = 20;
// Seconds a parked request waits for its device's address.
inline constexpr int32_t kClientParkCountdown = 10;
// Notifications of one kind (confirmed, unconfirmed) that may wait for one recipient. A COV
// notification replaces the one that still waits for the same subscription, so what waits
// is bounded by the recipient's subscriptions; the bound holds its event notifications.
inline constexpr std::size_t kClientWaitingNotifications = 4096;
// Confirmed notifications one recipient may have in flight: a recipient that stops
// answering holds only these, each for the APDU timeout times the tries.
inline constexpr std::size_t kClientNotificationsPerRecipient = 4;
// Client transactions the notifications leave free for the client's own calls.
inline constexpr std::size_t kClientReservedTransactions = 16;
// Requests in the application layer's ring, and frames in a port's send queue (256 each),
// up to which unconfirmed notifications are queued: the rest stays free for every other
// request and answer.
inline constexpr std::size_t kClientUnconfirmedQueued = 128;
// The maker's BACnet vendor identifier, sent in every I-Am of the local devices.
inline constexpr uint32_t kMakerVendorIdentifier = 1417;

// The communication states a DeviceCommunicationControl may set.
inline constexpr int kCommunicationEnabled = 0;
inline constexpr int kCommunicationDisabled = 1;
inline constexpr int kCommunicationInitiationDisabled = 2;

// Start-up: keeps the trace when option byte 4 is set, clamps the timeout into 3000..30000 ms
// and the retries into 0..10, empties the parked table, hands the communication state to
// the application layer and lets blocking calls wait again after a stop. 0.
int client_init(const DriverContext* context, int32_t retries, int32_t timeout_ms);
int32_t client_get_apdu_timeout();
int32_t client_get_apdu_retries();

// The counter's value, then advanced by one (255 wraps to 0).
uint8_t client_next_invoke_id();

int client_get_communication_state();
// Nothing in the stack changes it yet; a received DeviceCommunicationControl will.
void client_set_communication_state(int state);

// Sends a confirmed request; `request` points to the codec record of the service. With an
// address it goes there; otherwise to the bound address of `device`, or it is parked while the
// device has none. 0 queued or parked, -1 refused (no callback follows).
int client_send_confirmed(ClientRequestCallback callback, void* user_data, int32_t device, const BACnetAddress* address,
                          uint8_t service_choice, const void* request);
// Sends an unconfirmed request: to the address of `address_device` (>= 0), else to `address`,
// else to the bound address of `park_device` (parked while unbound), else as a broadcast.
int client_send_unconfirmed(int port_index, int32_t address_device, int32_t park_device, const BACnetAddress* address,
                            uint8_t service_choice, const void* request);

// Takes over the encoded data in a free entry with a countdown of 10. 0, or -1 when all 20
// wait (the data is then the caller's to drop).
int client_park_request(int32_t device, const ApduRequest& request, std::span<const uint8_t> data, void* user_data,
                        ClientRequestCallback callback);
// Once a second (stack thread): sends the parked requests whose device is now bound; one whose
// countdown ran out ends through its callback as failed. 0.
int client_pending_tick();
// Sends the parked requests whose device is bound by now; with `count_down` (the
// once-a-second tick) the others wait one second less and fail when their time is up.
void client_resend_parked(bool count_down = true);
// Right after a device was bound: its parked requests go out at once instead of with the
// next second. Also a sending thread that parked a request just as its device was bound.
void client_send_bound_parked();
// Shut-down: every parked request and waiting notification ends at once as failed, like the
// queued ones.
void client_fail_parked();
// Entries waiting (tests, status).
std::size_t client_parked_count();

// Client transactions a request queued now would find free: those not in use, less the
// requests queued before it.
std::size_t client_free_transactions();
// The application layer's room function (each step, before its ring is drained): the
// notifications that wait go out, one recipient after the other in turn, the confirmed ones
// while transactions are free beyond the reserve and their recipient is below its share, the
// unconfirmed ones while the ring and the ports' send queues hold few; then the local
// devices' answers that wait for room in their port's send queue (device discovery).
void client_send_waiting();
// Notifications of both kinds that wait (tests, status).
std::size_t client_waiting_notifications();

// Fixed-service wrappers. The notifications are owed per recipient (the device instance, or
// the address when one is given) and wait there, in order, while their recipient holds its
// share of the transactions or the notifications leave only the reserve free: 0 queued,
// parked or waiting; -1 refused, also when too many wait for the recipient (logged).
int client_confirmed_cov_notification(ClientRequestCallback callback, void* user_data, int32_t device,
                                      const BACnetAddress* address, const void* request);
int client_confirmed_event_notification(ClientRequestCallback callback, void* user_data, int32_t device,
                                        const BACnetAddress* address, const void* request);
int client_read_property(ClientRequestCallback callback, void* user_data, int32_t device, const BACnetAddress* address,
                         const ReadPropertyRequest* request);
int client_read_property_multiple(ClientRequestCallback callback, void* user_data, int32_t device,
                                  const BACnetAddress* address, const ReadPropertyMultipleRequest* request);
int client_write_property(ClientRequestCallback callback, void* user_data, int32_t device,
                          const BACnetAddress* address, const WritePropertyRequest* request);

// To the bound address of `address_device` when it is >= 0 (-1 when it has none), else as a
// broadcast; never parked. All but I-Am are refused while initiation is disabled.
int client_send_i_am(int port_index, int32_t address_device, const IAmRequest* request);
int client_send_i_have(int port_index, int32_t address_device, const IHaveRequest* request);
// Addressed as `client_send_unconfirmed`. They wait likewise, per recipient (a COV notification
// in the place of its subscription's older one), while the request ring or a port's send queue
// holds many.
int client_unconfirmed_cov_notification(int port_index, int32_t address_device, int32_t park_device,
                                        const BACnetAddress* address, const void* request);
int client_unconfirmed_event_notification(int port_index, int32_t address_device, int32_t park_device,
                                          const BACnetAddress* address, const void* request);
int client_who_is(int port_index, int32_t address_device, const WhoIsRequest* request);
int client_utc_time_synchronization(int port_index, int32_t address_device, const BACnetDateTime* request);

// The object database's I-Am sender: a broadcast I-Am of `device` with the maker's vendor
// identifier.
int client_broadcast_i_am(BACnetObjectId device, uint32_t max_apdu, uint32_t segmentation);
