// The client side of the stack under test, without sockets: one in-memory port on network 1
// at 10.0.0.1 registered with the real network layer, the communication modules (the dispatch,
// the client layer, address binding, the application layer) started, run and stopped through
// the stack host's own tables, and a manual clock.
// Blocking calls run on a thread of their own while the test thread plays the stack thread.
// Shared by the client, binding and services tests (header only: each folder is its own program).
#pragma once

#include "backend/stack_modules.h"
#include "bacnet/application/application_layer.h"
#include "bacnet/client/client_call.h"
#include "bacnet/client/client_request.h"
#include "bacnet/client/device_discovery.h"
#include "bacnet/codec/pdu_buffer.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/foundation/stack_wake.h"
#include "bacnet/network/network_main.h"
#include "bacnet/network/npdu.h"
#include "bacnet/services/service_dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace clienttest {

inline std::vector<uint8_t> hex(const std::string& text)
{
  std::vector<uint8_t> out;
  int digits = 0;
  unsigned value = 0;
  for (char c : text) {
    int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    if (v < 0)
      continue;
    value = value << 4 | unsigned(v);
    if (++digits == 2) {
      out.push_back(uint8_t(value));
      digits = 0;
      value = 0;
    }
  }
  return out;
}

inline std::string hex(std::span<const uint8_t> bytes)
{
  std::string out;
  char octet[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(octet, sizeof octet, i ? " %02X" : "%02X", bytes[i]);
    out += octet;
  }
  return out;
}

inline BACnetAddress ip_address(uint8_t last_octet, uint32_t network = 1)
{
  BACnetAddress a{};
  a.network = network;
  a.mac_len = 6;
  const uint8_t mac[6] = {10, 0, 0, last_octet, 0xBA, 0xC0};
  std::memcpy(a.mac, mac, sizeof mac);
  return a;
}

// One NPDU the stack sent through the in-memory port.
struct Frame {
  BACnetAddress destination{};
  NpduHeader header{};  // apdu pointer cleared
  std::vector<uint8_t> apdu;
  bool broadcast() const { return header.dnet_present && header.dnet == kGlobalBroadcastNetwork; }
};

// Encoded service data of a codec record.
template <class Record>
std::vector<uint8_t> encoded(int (*encode)(pdu_buffer*, const Record*), const Record& record)
{
  pdu_buffer buffer{};
  EXPECT_EQ(encode(&buffer, &record), 0);
  std::vector<uint8_t> out(buffer.data, buffer.data + buffer.pos);
  pdu_buffer_free(&buffer);
  return out;
}

class ClientStack : public ::testing::Test {
public:
  static constexpr int32_t kOwn = 4711;
  static constexpr StackModules kModules = kCommunicationModules;
  static inline const BACnetAddress own = ip_address(1);
  static inline const BACnetAddress peer = ip_address(2);

  void SetUp() override
  {
    current() = this;
    os_set_clock(&clock);
    clock.set_wall(1700000000);
    NetworkPort port;
    port.address = own;
    port.send = send;
    port.max_apdu_code = 5;
    ASSERT_EQ(network_init_port(&port), 0);
    StackConfig config;
    config.device_instance = kOwn;
    config.identity.apdu_retries = 3;  // the client layer's
    config.application_apdu_timeout = 3000;
    config.application_segment_timeout = 3000;
    config.application_retries = 1;
    config.service_hooks = hooks;
    stack_modules_start(config, &context, kModules, nullptr);  // no port to load, no seams
    noted_second = os_wall_seconds();
    address_binding_add_local_port(5, -1, &own);
    application_layer_periodic();
    frames_.clear();
  }

  void TearDown() override
  {
    stack_modules_stop(kModules);
    client_set_communication_state(kCommunicationEnabled);
    address_binding_set_table_limit(0);
    os_set_clock(nullptr);
    current() = nullptr;
  }

  // A received APDU, handed through the network layer; runs one step.
  void receive(const std::vector<uint8_t>& apdu, const BACnetAddress& source, const NpduHeader& header = {})
  {
    std::vector<uint8_t> npdu;
    ASSERT_EQ(npdu_encode(header, apdu, &npdu), 0);
    ASSERT_EQ(network_receive(source, own, npdu, 0, 0), 0);
    application_layer_periodic();
  }
  void receive(const std::string& apdu_hex, const BACnetAddress& source) { receive(hex(apdu_hex), source); }

  // The I-Am APDU of `instance` (max APDU 1476, segmented both, vendor 999).
  static std::vector<uint8_t> i_am_apdu(uint32_t instance, uint32_t max_apdu = 1476)
  {
    IAmRequest r;
    r.device = {8, instance};
    r.max_apdu = max_apdu;
    r.vendor_id = 999;
    std::vector<uint8_t> apdu = {0x10, 0x00};
    std::vector<uint8_t> data = encoded(pdu_encode_iam_request, r);
    apdu.insert(apdu.end(), data.begin(), data.end());
    return apdu;
  }
  void i_am(uint32_t instance, const BACnetAddress& source, uint32_t max_apdu = 1476)
  {
    receive(i_am_apdu(instance, max_apdu), source);
  }

  void step() { application_layer_periodic(); }
  // Moves the clock and runs one pass (the once-a-second work when the second changed).
  void advance(int64_t ms)
  {
    clock.advance_ms(ms);
    stack_modules_pass(kModules, noted_second);
  }
  void seconds(int n)
  {
    for (int i = 0; i < n; ++i)
      advance(1000);
  }

  std::vector<Frame> take()
  {
    std::vector<Frame> out;
    out.swap(frames_);
    return out;
  }
  std::vector<std::string> take_hex()
  {
    std::vector<std::string> out;
    for (const Frame& f : take())
      out.push_back(hex(f.apdu));
    return out;
  }

  // Runs `call` on a thread of its own while this thread plays the stack thread: each pass
  // hands every sent frame to `respond`, whose answer (if any) is received from the peer.
  // `per_pass` runs once per pass (a test may move the clock there).
  void run_call(const std::function<void()>& call,
                const std::function<std::optional<std::vector<uint8_t>>(const Frame&)>& respond,
                const std::function<void()>& per_pass = {})
  {
    std::atomic<bool> done{false};
    std::thread caller([&] {
      call();
      done = true;
    });
    for (int pass = 0; !done; ++pass) {
      step();
      for (const Frame& f : take()) {
        sent.push_back(f);
        if (respond)
          if (auto answer = respond(f))
            receive(*answer, f.destination.mac_len ? f.destination : peer);
      }
      if (per_pass)
        per_pass();
      // As the stack thread waits: a request the call queued ends the wait at once.
      stack_wait(1);
      if (pass == 60000) {
        ADD_FAILURE() << "the call did not end; ending it through its safety time-out";
        clock.advance_ms(10 * client_call_safety_timeout_ms());
      }
    }
    caller.join();
  }

  ManualClock clock;
  uint32_t noted_second = 0;  // the wall-clock second of the last pass
  DriverContext context;      // no trace
  ServiceHooks hooks;
  std::vector<Frame> sent;  // what run_call saw

  static ClientStack*& current()
  {
    static ClientStack* fixture = nullptr;
    return fixture;
  }

private:
  static int send(DatalinkPort*, const BACnetAddress&, const BACnetAddress& destination, std::span<const uint8_t> npdu,
                  uint8_t, uint8_t)
  {
    Frame f;
    f.destination = destination;
    std::vector<uint8_t> copy(npdu.begin(), npdu.end());
    EXPECT_EQ(npdu_decode(copy, &f.header), 0);
    f.apdu.assign(f.header.apdu, f.header.apdu + f.header.apdu_length);
    f.header.apdu = nullptr;
    current()->frames_.push_back(std::move(f));
    return 0;
  }

  std::vector<Frame> frames_;
};

}  // namespace clienttest
