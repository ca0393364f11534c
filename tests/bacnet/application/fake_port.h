// A datalink port that exists only in memory, registered with the real network layer: it
// records every NPDU the stack sends and lets a test hand NPDUs to the stack as if they had
// arrived. Together with a ManualClock the application layer runs without sockets or sleeps.
#pragma once

#include "bacnet/application/application_layer.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/network/network_main.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace apptest {

std::vector<uint8_t> hex(const std::string& text);
std::string hex(std::span<const uint8_t> bytes);

BACnetAddress ip_address(uint8_t last_octet, uint32_t network = 1);

struct SentFrame {
  BACnetAddress destination{};
  std::vector<uint8_t> npdu;
  NpduHeader header{};            // apdu pointer cleared; see `apdu`
  std::vector<uint8_t> apdu;      // empty for network-layer messages
  uint8_t expecting_reply = 0;
};

// The stack under test: one fake port on network 1 at 10.0.0.1, the application layer on top,
// a manual clock. Only one may exist at a time.
class StackFixture : public ::testing::Test {
public:
  void SetUp() override;
  void TearDown() override;

  // Re-initialises the layer with other settings (the fake port stays registered).
  void restart(int32_t segment_timeout, int32_t apdu_timeout, int32_t retries);

  // A received NPDU carrying `apdu` from `source`; runs one periodic step.
  void receive(const std::string& apdu_hex, const BACnetAddress& source);
  void receive(const std::vector<uint8_t>& apdu, const BACnetAddress& source, const NpduHeader& npdu = {});
  void step() { application_layer_periodic(); }
  void advance(int64_t ms)
  {
    clock.advance_ms(ms);
    application_layer_periodic();
  }

  // The APDUs sent since the last call, as hex text, network-layer messages left out.
  std::vector<std::string> take_sent();
  std::vector<SentFrame> take_frames();

  // Queues a confirmed request and runs one step.
  int request(uint8_t invoke_id, const std::vector<uint8_t>& data, uint8_t max_apdu_code = 3,
              const BACnetAddress& destination = peer, uint8_t service_choice = 12);

  struct Completion {
    int success = -1;
    BACnetAddress destination{};
    ClientResult result;
  };
  std::vector<Completion> completions;
  std::vector<std::pair<uint8_t, BACnetAddress>> heard;  // the module completion callback

  // The handlers' side: called for each complete confirmed request.
  std::function<int(const ServiceRequest&, ServiceAnswer*)> on_request;
  std::vector<ServiceRequest> requests_seen;
  std::vector<std::vector<uint8_t>> request_data_seen;
  std::vector<std::pair<bool, BACnetAddress>> routed_seen;
  std::vector<BACnetAddress> local_seen;
  std::vector<ServiceRequest> unconfirmed_seen;

  ManualClock clock;
  bool refuse_sends = false;

  static const BACnetAddress own;
  static const BACnetAddress peer;

private:
  friend struct FixtureAccess;
  std::vector<SentFrame> frames_;
  void init_layer(int32_t segment_timeout, int32_t apdu_timeout, int32_t retries);
};

}  // namespace apptest
