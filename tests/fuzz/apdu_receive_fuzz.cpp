// Arbitrary APDUs into the application layer's receive path, with the client and server
// transactions behind it and time moving between them.
//
// The input is a script of steps, each an operation octet, a length octet and that many
// octets of payload:
//   op % 6 == 0, 1: the payload arrives as an APDU from device A or B;
//   op % 6 == 2:    the same from a device behind a router (SNET 5);
//   op % 6 == 3:    the clock moves payload[0] * 100 ms and the layer takes a step;
//   op % 6 == 4:    a confirmed request to A: invoke id, size / 16, max-APDU code;
//   op % 6 == 5:    the payload sets the handlers' next answer: kind, size / 16, reject reason.
// Every input starts from a fresh layer and ends with its shutdown, which must end every
// request through its callback.
#include "bacnet/application/application_layer.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/network/network_main.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

ManualClock clock_source;
uint32_t next_kind = kAnswerComplexAck;
std::size_t next_size = 600;
uint8_t next_reason = 0;
int started = 0;
int completed = 0;

int discard(DatalinkPort*, const BACnetAddress&, const BACnetAddress&, std::span<const uint8_t>, uint8_t, uint8_t)
{
  return 0;
}

int answer(const BACnetAddress&, const ServiceRequest&, ServiceAnswer* a, bool, const BACnetAddress&)
{
  a->kind = next_kind;
  a->reject_reason = next_reason;
  a->data.assign(next_size, 0x5A);
  return next_kind == 0xFF ? 1 : 0;
}

int unconfirmed(uint8_t, bool, const BACnetAddress&, const ServiceRequest&) { return 0; }

void done(void*, int, const BACnetAddress&, const ClientResult&) { ++completed; }

BACnetAddress device(uint8_t last)
{
  BACnetAddress a{};
  a.network = 1;
  a.mac_len = 6;
  const uint8_t mac[6] = {10, 0, 0, last, 0xBA, 0xC0};
  std::memcpy(a.mac, mac, sizeof mac);
  return a;
}

void start_layer()
{
  NetworkPort port;
  port.address = device(1);
  port.send = discard;
  network_init_port(&port);
  application_layer_init(answer, unconfirmed, nullptr, nullptr, driver_lock, driver_unlock, 3000, 3000, 2);
}

void deliver(std::span<const uint8_t> apdu, const BACnetAddress& source, bool routed)
{
  NpduHeader header;
  if (routed) {
    header.snet_present = 1;
    header.snet = 5;
    header.slen = 1;
    header.sadr[0] = 0x22;
  }
  // A copy of exactly the payload, so that reading past it is caught.
  std::vector<uint8_t> copy(apdu.begin(), apdu.end());
  header.apdu = copy.data();
  header.apdu_length = uint32_t(copy.size());
  application_layer_receive_apdu(0, source, device(1), header);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  os_set_clock(&clock_source);
  next_kind = kAnswerComplexAck;
  next_size = 600;
  next_reason = 0;
  started = completed = 0;
  start_layer();

  std::size_t at = 0;
  while (at + 2 <= size) {
    uint8_t op = data[at];
    std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
    std::span<const uint8_t> payload(data + at + 2, length);
    at += 2 + length;
    auto octet = [&](std::size_t i) { return i < payload.size() ? payload[i] : uint8_t(0); };
    switch (op % 6) {
    case 0:
    case 1:
      if (!payload.empty())
        deliver(payload, device(op % 6 == 0 ? 2 : 3), false);
      break;
    case 2:
      if (!payload.empty())
        deliver(payload, device(9), true);
      break;
    case 3:
      clock_source.advance_ms(int64_t(octet(0)) * 100);
      application_layer_periodic();
      break;
    case 4: {
      std::vector<uint8_t> service(std::size_t(octet(1)) * 16, 0xA5);
      ApduRequest r;
      r.destination = device(2);
      r.invoke_id = octet(0);
      r.max_apdu_code = octet(2) & 0x0F;
      r.service_choice = 12;
      r.data = service;
      if (application_layer_send_request(-1, done, nullptr, r) == 0)
        ++started;
      application_layer_periodic();
      break;
    }
    case 5:
      next_kind = octet(0);
      next_size = std::size_t(octet(1)) * 16;
      next_reason = octet(2);
      break;
    }
  }

  application_layer_destroy();
  os_set_clock(nullptr);
  // Every confirmed request that was taken ends exactly once.
  if (completed != started)
    __builtin_trap();
  return 0;
}
