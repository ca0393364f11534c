// The local device's server side: the two dispatchers the application layer calls for every
// received request, the host program's sixteen hooks, the answer helpers of the confirmed
// handlers, and the seams through which the handlers reach the object database, the remote
// API and the host clock. Stack thread only; hooks must not block. Nothing here takes the
// global lock: address binding and the object database guard themselves.
#pragma once

#include "bacnet/application/server_tsm.h"
#include "bacnet/client/device_discovery.h"
#include "bacnet/codec/codec_requests.h"
#include "bacnet/foundation/driver.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

// The option byte of the driver context that switches on the handlers' trace.
inline constexpr int kServicesTraceOption = 4;
inline constexpr int kServicesLogLevel = 4;

// Host callbacks, each given the decoded request record of its service (slot 0 I-Am ...
// 9 UTCTimeSynchronization, 10 and 11 the confirmed notifications, 14 ReinitializeDevice,
// 15 DeviceCommunicationControl, whose result is the BACnet error code plus one or 0 to
// accept). An empty slot is skipped.
using ServiceHook = int (*)(const void* request);
inline constexpr std::size_t kServiceHookSlots = 16;
struct ServiceHooks {
  std::array<ServiceHook, kServiceHookSlots> slots{};
};

// Where the handlers reach beyond the communication layers. Empty seams: no API events, no
// objects found by Who-Has, and time synchronisation leaves every clock alone.
struct ServicesSeams {
  // The remote API's broadcast of a received request to its clients.
  void (*broadcast_event)(const ServiceRequest& request) = nullptr;
  // The local objects that match a Who-Has (device range, identifier or name) received on
  // `network`: those its station answers.
  int (*who_has)(const WhoHasRequest& request, int32_t network, std::vector<IHaveMatch>* matches) = nullptr;
  // Sets the host clock to a checked date and time (local, or UTC when `utc`).
  int (*set_clock)(const BACnetDateTime& time, bool utc) = nullptr;
};

// A confirmed service handler: fills the answer; 0, or -1 when not even an error answer could
// be built.
using ConfirmedServiceHandler = int (*)(const BACnetAddress& local, const ServiceRequest& request,
                                        ServiceAnswer* answer, bool snet_present, const BACnetAddress& routed_source);

// The first failed write of the last WritePropertyMultiple.
struct FailedWrite {
  uint32_t object_type = 0;
  uint32_t object_instance = 0;
  uint32_t property = 0;
  int32_t array_index = 0;
};

// Start-up, before the application layer: keeps the trace (option byte 4) and the hooks,
// zeroes the failed-write record. 0.
int services_init(const DriverContext* context, const ServiceHooks* hooks);
// Installs the seams (copied); null empties them.
void services_set_seams(const ServicesSeams* seams);
const ServicesSeams& services_seams();
// Installs the handler of a confirmed service (null removes it); choices without one are
// rejected as unrecognised.
void services_set_confirmed_handler(uint8_t service_choice, ConfirmedServiceHandler handler);

// The max-APDU code 0..5 of a maximum APDU length.
uint8_t services_max_apdu_code(uint32_t length);

// The application layer's entries. 0 handled, -1 otherwise.
int services_unconfirmed_indication(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source,
                                    const ServiceRequest& request);
int services_confirmed_indication(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                                  bool snet_present, const BACnetAddress& routed_source);

// A ComplexACK with a copy of the encoded parameters. 0, or -1 when the copy cannot be made.
int services_reply_complex_ack(ServiceAnswer* answer, std::span<const uint8_t> encoded, uint8_t service_choice);
// An Error with a copy of the encoded class and code. -1 for no data or no memory.
int services_reply_data(ServiceAnswer* answer, std::span<const uint8_t> encoded);

// For the handlers: the hook of a slot, called only for requests received on port 0, and the
// trace (null while off).
void services_call_hook(std::size_t slot, uint8_t port_index, const void* request);
// For the confirmed handlers, whatever port the request came on: the hook's result, 0 for an
// empty slot.
int services_call_confirmed_hook(std::size_t slot, const void* request);
DriverLogFunction services_trace();
FailedWrite& services_failed_write();
