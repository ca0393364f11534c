#include "bacnet/codec/codec_alarm_services.h"
#include "bacnet/codec/codec_cov_services.h"
#include "bacnet/codec/codec_device_services.h"
#include "client_fixture.h"

#include <gmock/gmock.h>

using namespace clienttest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

struct Ended {
  int success = -1;
  ClientResult result;
  int calls = 0;
};

void ended(void* user_data, int success, const BACnetAddress&, const ClientResult& result)
{
  auto* e = static_cast<Ended*>(user_data);
  e->success = success;
  e->result = result;
  ++e->calls;
}

ReadPropertyRequest object_name_of(uint32_t device)
{
  ReadPropertyRequest r;
  r.object = {8, device};
  r.property = 77;
  return r;
}

// The Confirmed-Request header that the client transactions put in front of the data.
std::string confirmed(uint8_t code, uint8_t invoke, const std::string& rest)
{
  char head[16];
  std::snprintf(head, sizeof head, "02 %02X %02X ", 0x40 | code, invoke);
  return head + rest;
}

// The callback record outlives the test body: shutting the stack down ends what is left.
class ClientRequestLayer : public ClientStack {
protected:
  Ended e;
};

TEST_F(ClientRequestLayer, InvokeIdAfter255Is0)
{
  int steps = 0;
  while (client_next_invoke_id() != 255 && steps < 256)
    ++steps;
  EXPECT_EQ(client_next_invoke_id(), 0);
  EXPECT_EQ(client_next_invoke_id(), 1);
}

TEST_F(ClientRequestLayer, InitClampsTimeoutAndRetries)
{
  client_init(nullptr, -5, 100000);
  EXPECT_EQ(client_get_apdu_retries(), 0);
  EXPECT_EQ(client_get_apdu_timeout(), 30000);
  client_init(nullptr, 12, 1000);
  EXPECT_EQ(client_get_apdu_retries(), 10);
  EXPECT_EQ(client_get_apdu_timeout(), 3000);
}

TEST_F(ClientRequestLayer, ExplicitAddressGoesWithCode3AndTheCounter)
{
  ReadPropertyRequest r = object_name_of(1234);
  uint8_t invoke = client_next_invoke_id();
  ASSERT_EQ(client_read_property(ended, &e, -1, &peer, &r), 0);
  step();
  std::vector<Frame> frames = take();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].destination, peer);
  EXPECT_EQ(hex(frames[0].apdu), confirmed(3, uint8_t(invoke + 1), "0C 0C 02 00 04 D2 19 4D"));
}

TEST_F(ClientRequestLayer, BoundDeviceGivesItsCodeAndUseCountAsInvokeId)
{
  i_am(1234, peer, 1024);
  take();
  DeviceBinding before;
  ASSERT_EQ(address_binding_get_device(1234, &before), 0);
  ReadPropertyRequest r = object_name_of(1234);
  ASSERT_EQ(client_read_property(ended, &e, 1234, nullptr, &r), 0);
  step();
  std::vector<Frame> frames = take();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].destination, peer);
  EXPECT_EQ(hex(frames[0].apdu), confirmed(4, uint8_t(before.use_count), "0C 0C 02 00 04 D2 19 4D"));
}

TEST_F(ClientRequestLayer, DeviceManagementRequestsCarryTheirParameters)
{
  DeviceCommunicationControlRequest dcc;
  dcc.duration = 5;
  dcc.enable_disable = 1;  // disable
  ASSERT_EQ(client_send_confirmed(ended, &e, -1, &peer, 17, &dcc), 0);
  step();
  std::vector<Frame> frames = take();
  ASSERT_EQ(frames.size(), 1u);
  // Service choice 17, then [0] 5 minutes and [1] disable; no password is sent.
  ASSERT_GE(frames[0].apdu.size(), 4u);
  EXPECT_EQ(hex(std::span<const uint8_t>(frames[0].apdu).subspan(3)), "11 09 05 19 01");
}

TEST_F(ClientRequestLayer, TerminalServicesAreRefusedAndServicesWithoutParametersGoEmpty)
{
  for (uint8_t choice : {21, 22, 23})
    EXPECT_EQ(client_send_confirmed(ended, &e, -1, &peer, choice, nullptr), -1) << int(choice);
  EXPECT_EQ(client_send_confirmed(ended, &e, -1, &peer, 27, nullptr), 0);
  step();
  std::vector<Frame> frames = take();
  ASSERT_EQ(frames.size(), 1u);
  ASSERT_EQ(frames[0].apdu.size(), 4u);
  EXPECT_EQ(frames[0].apdu[3], 27);
  EXPECT_EQ(e.calls, 0);
}

TEST_F(ClientRequestLayer, ParkedRequestGoesOutOnceTheDeviceIsBound)
{
  ReadPropertyRequest r = object_name_of(1234);
  ASSERT_EQ(client_read_property(ended, &e, 1234, nullptr, &r), 0);
  EXPECT_EQ(client_parked_count(), 1u);
  step();
  // Only the Who-Is that looks for the device goes out; the request waits.
  for (const Frame& f : take())
    EXPECT_EQ(f.apdu[0], 0x10);

  i_am(1234, peer);
  testing::internal::CaptureStdout();
  seconds(1);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(client_parked_count(), 0u);
  step();
  bool request_seen = false;
  for (const Frame& f : take())
    if (!f.apdu.empty() && f.apdu[0] == 0x02) {
      request_seen = true;
      EXPECT_EQ(f.destination, peer);
      EXPECT_EQ(f.apdu[1], 0x43);  // parked requests go with 480 octets
      EXPECT_EQ(f.apdu[3], 12);
    }
  EXPECT_TRUE(request_seen);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(e.calls, 0);
}

TEST_F(ClientRequestLayer, ParkedRequestOfADeviceThatNeverAnswersFailsAfterTenSeconds)
{
  ReadPropertyRequest r = object_name_of(999);
  ASSERT_EQ(client_read_property(ended, &e, 999, nullptr, &r), 0);
  testing::internal::CaptureStdout();
  seconds(9);
  EXPECT_EQ(e.calls, 0);
  seconds(1);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(e.calls, 1);
  EXPECT_EQ(e.success, 0);
  EXPECT_FALSE(e.result.present);
  std::string expected;
  for (int countdown = 10; countdown >= 1; --countdown)
    expected += "waitPDU Device 999 wait: " + std::to_string(countdown) + "\n";
  EXPECT_EQ(printed, expected);
  // Only the locating Who-Is went out: nothing was sent to an empty address in its place.
  for (const Frame& f : take())
    EXPECT_EQ(f.apdu[0], 0x10) << hex(f.apdu);
  EXPECT_EQ(client_parked_count(), 0u);
}

TEST_F(ClientRequestLayer, ParkedRequestEndsAsFailedWhenTheStackStops)
{
  ReadPropertyRequest r = object_name_of(999);
  ASSERT_EQ(client_read_property(ended, &e, 999, nullptr, &r), 0);
  ASSERT_EQ(client_parked_count(), 1u);
  stack_modules_stop(kModules);
  EXPECT_EQ(e.calls, 1);
  EXPECT_EQ(e.success, 0);
  EXPECT_EQ(client_parked_count(), 0u);
}

TEST_F(ClientRequestLayer, TwentyFirstParkedRequestIsRefused)
{
  ReadPropertyRequest r = object_name_of(1234);
  for (int i = 0; i < 20; ++i)
    ASSERT_EQ(client_read_property(nullptr, nullptr, 1000 + i, nullptr, &r), 0);
  EXPECT_EQ(client_read_property(nullptr, nullptr, 2000, nullptr, &r), -1);
  EXPECT_EQ(client_parked_count(), 20u);
}

TEST_F(ClientRequestLayer, NegativeDeviceWithoutAddressIsRefusedAtOnce)
{
  ReadPropertyRequest r = object_name_of(1234);
  EXPECT_EQ(client_read_property(nullptr, nullptr, -1, nullptr, &r), -1);
  EXPECT_EQ(client_parked_count(), 0u);
}

TEST_F(ClientRequestLayer, InitiationDisabledLetsOnlyIAmOut)
{
  IAmRequest iam;
  iam.device = {8, kOwn};
  WhoIsRequest whois;
  client_set_communication_state(kCommunicationInitiationDisabled);
  EXPECT_EQ(client_send_i_am(-1, -1, &iam), 0);
  EXPECT_EQ(client_who_is(-1, -1, &whois), -1);
  ReadPropertyRequest r = object_name_of(1234);
  EXPECT_EQ(client_read_property(nullptr, nullptr, -1, &peer, &r), -1);
  step();
  EXPECT_EQ(take().size(), 1u);
  client_set_communication_state(kCommunicationDisabled);
  EXPECT_EQ(client_send_i_am(-1, -1, &iam), -1);
}

TEST_F(ClientRequestLayer, WhoIsGoesOutAsGlobalBroadcast)
{
  WhoIsRequest whois;
  whois.low_limit = 5;
  whois.high_limit = 10;
  ASSERT_EQ(client_who_is(-1, -1, &whois), 0);
  step();
  std::vector<Frame> frames = take();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(frames[0].broadcast());
  EXPECT_EQ(hex(frames[0].apdu), "10 08 09 05 19 0A");
}

TEST_F(ClientRequestLayer, UnconfirmedToADeviceWithoutAddressIsRefused)
{
  IHaveRequest ihave;
  ihave.device = {8, kOwn};
  ihave.object = {2, 1};
  ihave.object_name = "x";
  EXPECT_EQ(client_send_i_have(-1, 1234, &ihave), -1);
  i_am(1234, peer);
  take();
  EXPECT_EQ(client_send_i_have(-1, 1234, &ihave), 0);
  step();
  std::vector<Frame> frames = take();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].destination, peer);
  EXPECT_EQ(frames[0].apdu[1], 1);
}

TEST_F(ClientRequestLayer, ParkedUnconfirmedRequestIsDroppedWhenTheCountdownRunsOut)
{
  BACnetDateTime now{{126, 5, 4, 1}, {10, 0, 0, 0}};
  ASSERT_EQ(client_send_unconfirmed(-1, -1, 999, nullptr, SERVICE_UTC_TIME_SYNCHRONIZATION, &now), 0);
  testing::internal::CaptureStdout();
  seconds(10);
  testing::internal::GetCapturedStdout();
  for (const Frame& f : take())
    EXPECT_NE(f.apdu[1], SERVICE_UTC_TIME_SYNCHRONIZATION) << hex(f.apdu);
  EXPECT_EQ(client_parked_count(), 0u);
}

TEST_F(ClientRequestLayer, ConfirmedNotificationsBeyondTheTransactionsWaitAndGoOutInOrder)
{
  // Two hundred at once, each its own process, to a peer that acknowledges every one.
  std::vector<std::string> expected;
  for (uint32_t process = 0; process < 200; ++process) {
    CovNotificationRequest n;
    n.process_id = process;
    n.device = {8, kOwn};
    n.object = {2, 1};
    ASSERT_EQ(client_confirmed_cov_notification(nullptr, nullptr, -1, &peer, &n), 0) << process;
    expected.push_back(hex(encoded(pdu_encode_confirmed_cov_notification_request, n)));
  }
  EXPECT_EQ(client_waiting_notifications(), 200u - kClientNotificationsPerRecipient);
  std::vector<std::string> sent;
  for (int steps = 0; steps < 400 && sent.size() < 200; ++steps) {
    step();
    for (const Frame& f : take()) {
      ASSERT_GE(f.apdu.size(), 4u);
      EXPECT_EQ(f.apdu[3], SERVICE_CONFIRMED_COV_NOTIFICATION);
      sent.push_back(hex(std::span<const uint8_t>(f.apdu).subspan(4)));
      receive(std::vector<uint8_t>{0x20, f.apdu[2], SERVICE_CONFIRMED_COV_NOTIFICATION}, peer);
    }
    EXPECT_LE(application_layer_client_count(), kTransactionTableSize);
  }
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(client_waiting_notifications(), 0u);
}

CovNotificationRequest cov_of(uint32_t process, uint32_t time_remaining = 0)
{
  CovNotificationRequest n;
  n.process_id = process;
  n.device = {8, ClientStack::kOwn};
  n.object = {2, 1};
  n.time_remaining = time_remaining;  // tells the states of one subscription apart
  return n;
}

int owe_cov(const BACnetAddress& to, uint32_t process, uint32_t time_remaining = 0, Ended* end = nullptr)
{
  CovNotificationRequest n = cov_of(process, time_remaining);
  return client_confirmed_cov_notification(end ? ended : nullptr, end, -1, &to, &n);
}

std::string cov_hex(const CovNotificationRequest& n)
{
  return "01 " + hex(encoded(pdu_encode_confirmed_cov_notification_request, n));
}

std::vector<std::string> g_logged;
void log_to_test(int, const char* text) { g_logged.push_back(text); }

TEST_F(ClientRequestLayer, SilentRecipientsHoldTheirShareWhileALiveOneAndTheClientsOwnCallsGoOut)
{
  DriverContext logged;  // no trace, yet drops are told
  logged.log = log_to_test;
  client_init(&logged, 3, 3000);
  // A recipient that never answers, owed as many as may wait, beside the peer, owed ten.
  const BACnetAddress silent = ip_address(10);
  for (uint32_t process = 0; process < kClientNotificationsPerRecipient + kClientWaitingNotifications; ++process)
    ASSERT_EQ(owe_cov(silent, process), 0);
  g_logged.clear();
  EXPECT_EQ(owe_cov(silent, 99999), -1);
  EXPECT_THAT(g_logged, ElementsAre("Confirmed notification dropped: too many wait for its recipient"));
  std::vector<Ended> live(10);
  for (uint32_t process = 0; process < 10; ++process)
    ASSERT_EQ(owe_cov(peer, process, 0, &live[process]), 0);
  std::size_t to_silent = 0;
  auto run = [&] {
    for (int steps = 0; steps < 20; ++steps) {
      step();
      for (const Frame& f : take())
        f.destination == peer ? receive(std::vector<uint8_t>{0x20, f.apdu[2], f.apdu[3]}, peer) : void(++to_silent);
    }
  };
  run();
  for (const Ended& l : live)
    EXPECT_EQ(l.success, 1);
  EXPECT_EQ(to_silent, kClientNotificationsPerRecipient);
  // Thirty more take what the notifications may; the client's own read still finds one.
  for (uint8_t more = 11; more <= 40; ++more)
    for (uint32_t process = 0; process < kClientNotificationsPerRecipient; ++process)
      ASSERT_EQ(owe_cov(ip_address(more), process), 0);
  ReadPropertyRequest r = object_name_of(1234);
  ASSERT_EQ(client_read_property(ended, &e, -1, &peer, &r), 0);
  run();
  EXPECT_EQ(e.success, 1);
  EXPECT_EQ(application_layer_client_count(), kTransactionTableSize - kClientReservedTransactions);
}

TEST_F(ClientRequestLayer, NewerCovStateReplacesTheWaitingOneAndWaitsForItsOlderInFlight)
{
  for (uint32_t process = 1; process <= kClientNotificationsPerRecipient; ++process)
    ASSERT_EQ(owe_cov(peer, process), 0);
  step();
  std::vector<Frame> in_flight = take();
  ASSERT_EQ(in_flight.size(), kClientNotificationsPerRecipient);
  Ended replaced;
  EventNotificationRequest event;
  ASSERT_EQ(owe_cov(peer, 1, 9), 0);
  ASSERT_EQ(owe_cov(peer, 5, 1, &replaced), 0);
  ASSERT_EQ(owe_cov(peer, 5, 2), 0);
  ASSERT_EQ(client_confirmed_event_notification(nullptr, nullptr, -1, &peer, &event), 0);
  EXPECT_EQ(client_waiting_notifications(), 3u);
  EXPECT_EQ(replaced.calls, 1);
  EXPECT_EQ(replaced.success, 0);
  // Each acknowledgement frees one place: process 1's newer state waits for its older one.
  std::vector<std::string> sent;
  for (std::size_t acked : {1, 2, 0}) {
    receive(std::vector<uint8_t>{0x20, in_flight[acked].apdu[2], 1}, peer);
    step();
    for (const Frame& f : take())
      sent.push_back(hex(std::span<const uint8_t>(f.apdu).subspan(3)));
  }
  EXPECT_THAT(sent,
              ElementsAre(cov_hex(cov_of(5, 2)), "02 " + hex(encoded(pdu_encode_event_notification_request, event)),
                          cov_hex(cov_of(1, 9))));
}

TEST_F(ClientRequestLayer, UnconfirmedNotificationsBeyondTheRequestRingWaitAndAllGoOutInOrder)
{
  std::vector<std::string> expected, sent;
  for (uint32_t process = 0; process < 301; ++process) {
    // The last is the newest state of the last subscription, which still waits: in its place.
    CovNotificationRequest n = process < 300 ? cov_of(process) : cov_of(299, 7);
    ASSERT_EQ(client_unconfirmed_cov_notification(-1, -1, -1, &peer, &n), 0) << process;
    (process < 300 ? expected.emplace_back()
                   : expected.back()) = "10 02 " + hex(encoded(pdu_encode_unconfirmed_cov_notification_request, n));
  }
  for (int steps = 0; steps < 5; ++steps) {
    step();
    for (const std::string& frame : take_hex())
      sent.push_back(frame);
  }
  EXPECT_EQ(sent, expected);
}

TEST_F(ClientRequestLayer, BroadcastIAmCarriesTheMakersVendor)
{
  ASSERT_EQ(client_broadcast_i_am({8, kOwn}, 480, 0), 0);
  step();
  EXPECT_THAT(take_hex(), ElementsAre("10 00 C4 02 00 12 67 22 01 E0 91 00 22 05 89"));
}

}  // namespace
