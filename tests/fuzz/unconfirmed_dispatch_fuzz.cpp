// Arbitrary unconfirmed requests into the service dispatch, with address binding, the client
// layer and the application layer behind it and time moving between them.
//
// The input is a script of steps, each an operation octet, a length octet and that many
// octets of payload:
//   op % 5 == 0: an Unconfirmed-Request from device A: payload[0] is the service choice, the
//                rest its parameters (I-Am, Who-Is, Who-Has, TimeSynchronization, ...);
//   op % 5 == 1: the same from a device behind a router (SNET 5);
//   op % 5 == 2: the same heard back from the device's own address;
//   op % 5 == 3: the clock moves payload[0] seconds and the once-a-second work runs;
//   op % 5 == 4: the device scan is switched on (property 562 written).
// Every input starts from a fresh clock and a fresh stack (the stack host's communication
// modules, started through its own tables) and ends with the stack's shutdown, so that no input
// meets what an earlier one left behind and a finding reproduces from its one input.
#include "backend/stack_modules.h"
#include "bacnet/application/application_layer.h"
#include "bacnet/client/device_discovery.h"
#include "bacnet/codec/codec_alarm_services.h"
#include "bacnet/codec/codec_device_services.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/network/network_main.h"
#include "bacnet/services/service_dispatch.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr StackModules kModules = kCommunicationModules;

int discard(DatalinkPort*, const BACnetAddress&, const BACnetAddress&, std::span<const uint8_t>, uint8_t, uint8_t)
{
  return 0;
}

int some_objects(const WhoHasRequest& request, int32_t, std::vector<IHaveMatch>* matches)
{
  if (request.choice == 1 || (request.choice == 0 && request.object.type == 2))
    matches->push_back({4711, {2, 1}, request.object_name});
  return 0;
}

int keep_clock(const BACnetDateTime&, bool) { return 0; }

// Host hooks that read what they are handed, so that a record released too early shows.
volatile uint32_t g_seen = 0;
int see_event(const void* r)
{
  const auto* n = static_cast<const EventNotificationRequest*>(r);
  g_seen = g_seen + n->to_state + n->message.tag + n->parameters.tag;
  return 0;
}
int see_transfer(const void* r)
{
  g_seen = g_seen + static_cast<const PrivateTransferRequest*>(r)->parameters.tag;
  return 0;
}
int see_text(const void* r)
{
  const auto* t = static_cast<const TextMessageRequest*>(r);
  g_seen = g_seen + (t->message.payload.text ? uint8_t(t->message.payload.text[0]) : 0);
  return 0;
}

BACnetAddress device(uint8_t last)
{
  BACnetAddress a{};
  a.network = 1;
  a.mac_len = 6;
  const uint8_t mac[6] = {10, 0, 0, last, 0xBA, 0xC0};
  std::memcpy(a.mac, mac, sizeof mac);
  return a;
}

void deliver(std::span<const uint8_t> payload, const BACnetAddress& source, bool routed)
{
  // A copy of exactly the parameters, so that reading past them is caught.
  std::vector<uint8_t> parameters(payload.begin() + 1, payload.end());
  ServiceRequest request;
  request.type = kApduUnconfirmedRequest;
  request.service_choice = payload[0];
  request.source = source;
  request.data = parameters;
  BACnetAddress routed_source{};
  if (routed) {
    routed_source.network = 5;
    routed_source.mac_len = 1;
    routed_source.mac[0] = 0x22;
  }
  services_unconfirmed_indication(0, routed, routed_source, request);
  application_layer_periodic();
}

// The start-up record, made once: the start reads it and (without ports) writes nothing into it.
StackConfig& stack_config()
{
  static StackConfig config = [] {
    StackConfig c;
    c.device_instance = 4711;
    c.identity.apdu_retries = 3;  // the client layer's
    c.service_hooks.slots[3] = see_event;
    c.service_hooks.slots[4] = see_transfer;
    c.service_hooks.slots[5] = see_text;
    return c;
  }();
  return config;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  ManualClock clock_source;
  os_set_clock(&clock_source);
  NetworkPort port;
  port.address = device(1);
  port.send = discard;
  network_init_port(&port);
  ServicesSeams seams;
  seams.who_has = some_objects;
  seams.set_clock = keep_clock;
  static const DriverContext context;  // no trace
  stack_modules_start(stack_config(), &context, kModules, &seams);
  address_binding_add_local_port(5, -1, &port.address);

  std::size_t at = 0;
  while (at + 2 <= size) {
    uint8_t op = data[at];
    std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
    std::span<const uint8_t> payload(data + at + 2, length);
    at += 2 + length;
    switch (op % 5) {
    case 0:
    case 1:
    case 2:
      if (!payload.empty())
        deliver(payload, device(op % 5 == 2 ? 1 : 2), op % 5 == 1);
      break;
    case 3:
      clock_source.advance_ms(int64_t(payload.empty() ? 1 : payload[0]) * 1000);
      stack_modules_second(kModules);
      application_layer_periodic();
      break;
    case 4: {
      OwnedValue on;
      uint8_t yes = 1;
      value_set_boolean(&yes, on.get());
      address_binding_scan_control(on.get(), 0xFF);
      break;
    }
    }
  }

  stack_modules_stop(kModules);
  os_set_clock(nullptr);
  return 0;
}
