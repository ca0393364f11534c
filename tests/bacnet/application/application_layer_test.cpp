#include "fake_port.h"

#include "bacnet/network/network_routes.h"

namespace apptest {
namespace {

using ApplicationLayer = StackFixture;

int communication = 0;
int communication_state() { return communication; }

TEST_F(ApplicationLayer, SettingsAreClampedAtInit)
{
  restart(1000, 50000, 12);
  EXPECT_EQ(application_layer_get_segment_timeout(), 3000);
  EXPECT_EQ(application_layer_get_apdu_timeout(), 30000);
  EXPECT_EQ(application_layer_get_apdu_retries(), 10);

  EXPECT_EQ(application_layer_set_apdu_timeout(2999), -1);
  EXPECT_EQ(application_layer_get_apdu_timeout(), 30000);
  EXPECT_EQ(application_layer_set_apdu_timeout(3000), 0);
  EXPECT_EQ(application_layer_set_apdu_timeout(30000), 0);
  EXPECT_EQ(application_layer_set_apdu_timeout(30001), -1);
  EXPECT_EQ(application_layer_set_apdu_retries(11), -1);
  EXPECT_EQ(application_layer_set_apdu_retries(0), 0);
  EXPECT_EQ(application_layer_get_apdu_retries(), 0);
}

TEST_F(ApplicationLayer, NewTimeoutReachesLaterTransactions)
{
  ASSERT_EQ(application_layer_set_apdu_timeout(5000), 0);
  ASSERT_EQ(application_layer_set_apdu_retries(0), 0);
  request(7, hex("01"));
  advance(4999);
  EXPECT_TRUE(completions.empty());
  advance(1);
  EXPECT_EQ(completions.size(), 1u);
}

TEST_F(ApplicationLayer, RingHolds256Requests)
{
  ApduRequest r;
  r.destination = peer;
  r.kind = kRequestUnconfirmed;
  for (int i = 0; i < 256; ++i)
    ASSERT_EQ(application_layer_send_request(-1, nullptr, nullptr, r), 0) << i;
  EXPECT_EQ(application_layer_send_request(-1, nullptr, nullptr, r), -1);
  step();
  EXPECT_EQ(application_layer_queued_requests(), 0u);
  EXPECT_EQ(take_sent().size(), 256u);
}

TEST_F(ApplicationLayer, UnconfirmedRequestWithoutMacIsAGlobalBroadcast)
{
  ApduRequest r;
  r.kind = kRequestUnconfirmed;
  r.service_choice = 8;
  ASSERT_EQ(application_layer_send_request(-1, nullptr, nullptr, r), 0);
  step();
  auto frames = take_frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(hex(frames[0].npdu), "01 20 FF FF 00 FF 10 08");
  EXPECT_EQ(frames[0].destination.network, kGlobalBroadcastNetwork);

  std::vector<uint8_t> data = hex("09 01");
  r.destination = peer;
  r.data = data;
  ASSERT_EQ(application_layer_send_request(0, nullptr, nullptr, r), 0);
  step();
  frames = take_frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(hex(frames[0].npdu), "01 00 10 08 09 01");
  EXPECT_EQ(frames[0].destination, peer);
}

TEST_F(ApplicationLayer, ShortConfirmedRequestIsRejectedUnread)
{
  receive("00 05", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"60 00 02"});
  receive("00 05 07", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"60 07 02"});
  receive("0E 05 07 00 02", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"60 07 02"});
  EXPECT_TRUE(requests_seen.empty());
  EXPECT_EQ(application_layer_server_count(), 0u);

  on_request = [](const ServiceRequest&, ServiceAnswer* a) {
    a->kind = kAnswerSimpleAck;
    return 0;
  };
  receive("00 05 07 0C", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"20 07 0C"});
}

TEST_F(ApplicationLayer, ShortAnswersAreDropped)
{
  request(7, hex("01"));
  take_sent();
  for (const char* pdu : {"20 07", "30", "38 07 00 02", "40 07 00", "50 07", "60", "70", "F0 07 00"})
    receive(pdu, peer);
  EXPECT_TRUE(completions.empty());
  EXPECT_TRUE(take_sent().empty());
  EXPECT_EQ(application_layer_client_count(), 1u);
}

TEST_F(ApplicationLayer, AbortEndsOnlyThePeersTransaction)
{
  request(7, hex("01"));
  request(8, hex("01"));
  receive("71 07 05", ip_address(3));
  EXPECT_TRUE(completions.empty());
  receive("71 07 05", peer);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 0);
  EXPECT_EQ(completions[0].result.type, kApduAbort);
  EXPECT_EQ(completions[0].result.invoke_id, 7);
  EXPECT_EQ(hex(completions[0].result.data), "05");
  EXPECT_EQ(application_layer_client_count(), 1u);
  EXPECT_NE(application_layer_find_client(peer, 8), nullptr);
}

TEST_F(ApplicationLayer, BusyInvokeIdEndsTheNewRequestThroughItsCallback)
{
  request(7, hex("01"));
  take_sent();
  request(7, hex("02"));
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 0);
  EXPECT_FALSE(completions[0].result.present);
  EXPECT_TRUE(take_sent().empty());
  // The same invoke id to another device is no conflict.
  request(7, hex("03"), 3, ip_address(3));
  EXPECT_EQ(take_sent().size(), 1u);
  receive("20 07 0C", peer);
  ASSERT_EQ(completions.size(), 2u);
  EXPECT_EQ(completions[1].success, 1);
}

TEST_F(ApplicationLayer, The129thTransactionEndsThroughItsCallback)
{
  for (int i = 0; i < 128; ++i)
    request(uint8_t(i), hex("01"));
  EXPECT_EQ(application_layer_client_count(), 128u);
  EXPECT_EQ(take_sent().size(), 128u);
  EXPECT_TRUE(completions.empty());
  request(200, hex("01"));
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 0);
  EXPECT_TRUE(take_sent().empty());
  // Every transaction is still found by its key, and a freed place is taken again.
  for (int i = 0; i < 128; ++i)
    ASSERT_NE(application_layer_find_client(peer, uint8_t(i)), nullptr) << i;
  receive("20 40 0C", peer);
  request(200, hex("01"));
  EXPECT_EQ(take_sent().size(), 1u);
  EXPECT_EQ(application_layer_client_count(), 128u);
}

TEST_F(ApplicationLayer, TransactionsAreFoundAmongManyPeers)
{
  // Peers that differ only in the MAC length or in octets behind it.
  BACnetAddress short_mac = peer;
  short_mac.mac_len = 1;
  BACnetAddress short_mac_noise = short_mac;
  short_mac_noise.mac[3] = 0x77;  // behind the MAC length: the same device
  std::vector<BACnetAddress> peers = {peer, ip_address(3), short_mac, ip_address(200)};
  for (int invoke = 0; invoke < 30; ++invoke)
    for (const BACnetAddress& p : peers)
      request(uint8_t(invoke), hex("01"), 3, p);
  EXPECT_EQ(application_layer_client_count(), 120u);
  EXPECT_TRUE(completions.empty());
  EXPECT_NE(application_layer_find_client(short_mac_noise, 5), nullptr);
  EXPECT_EQ(application_layer_find_client(ip_address(4), 5), nullptr);
  // Answered in another order than asked; each answer ends exactly its own transaction.
  for (int invoke = 29; invoke >= 0; --invoke)
    for (const BACnetAddress& p : {peer, ip_address(3)})
      receive(std::vector<uint8_t>{0x20, uint8_t(invoke), 0x0C}, p);
  EXPECT_EQ(completions.size(), 60u);
  EXPECT_EQ(application_layer_client_count(), 60u);
  for (const Completion& c : completions)
    EXPECT_EQ(c.success, 1);
  EXPECT_NE(application_layer_find_client(short_mac, 0), nullptr);
  EXPECT_EQ(application_layer_find_client(peer, 0), nullptr);
}

TEST_F(ApplicationLayer, ShutdownEndsQueuedAndRunningRequests)
{
  request(7, hex("01"));
  ApduRequest r;
  r.destination = peer;
  r.invoke_id = 8;
  ASSERT_EQ(application_layer_send_request(-1, [](void* list, int success, const BACnetAddress& d,
                                                  const ClientResult& result) {
    static_cast<std::vector<Completion>*>(list)->push_back({success, d, result});
  }, &completions, r), 0);
  application_layer_destroy();
  ASSERT_EQ(completions.size(), 2u);
  EXPECT_EQ(completions[0].success, 0);
  EXPECT_EQ(completions[1].success, 0);
  EXPECT_EQ(application_layer_send_request(-1, nullptr, nullptr, r), -1);
  restart(3000, 3000, 3);
}

TEST_F(ApplicationLayer, CommunicationStateFiltersReceivedRequests)
{
  application_layer_set_communication_state_function(communication_state);
  on_request = [](const ServiceRequest&, ServiceAnswer* a) {
    a->kind = kAnswerSimpleAck;
    return 0;
  };
  communication = 1;
  receive("00 05 01 0C", peer);
  receive("00 05 02 11", peer);  // DeviceCommunicationControl
  receive("00 05 03 14", peer);  // ReinitializeDevice
  EXPECT_EQ(take_sent(), (std::vector<std::string>{"20 02 11", "20 03 14"}));
  receive("10 08", peer);
  EXPECT_TRUE(unconfirmed_seen.empty());

  communication = 2;
  receive("10 00 C4 02 00 00 01", peer);
  receive("10 08", peer);
  ASSERT_EQ(unconfirmed_seen.size(), 1u);
  EXPECT_EQ(unconfirmed_seen[0].service_choice, 8);
  communication = 0;
}

TEST_F(ApplicationLayer, RoutedDevicesAreAnsweredAndMatchedByTheirNetworkAddress)
{
  BACnetAddress router = ip_address(9);
  BACnetAddress remote{};
  remote.network = 5;
  remote.mac_len = 1;
  remote.mac[0] = 0x22;
  NpduHeader from_remote;
  from_remote.snet_present = 1;
  from_remote.snet = 5;
  from_remote.slen = 1;
  from_remote.sadr[0] = 0x22;

  // An unconfirmed request through the router makes network 5 reachable.
  receive(hex("10 08"), router, from_remote);
  ASSERT_EQ(unconfirmed_seen.size(), 1u);
  EXPECT_EQ(unconfirmed_seen[0].source, router);

  request(7, hex("01"), 3, remote);
  auto frames = take_frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].destination, router);
  EXPECT_EQ(hex(frames[0].npdu), "01 24 00 05 01 22 FF 02 43 07 0C 01");

  receive(hex("20 07 0C"), router);  // without SNET it is the router's own answer
  EXPECT_TRUE(completions.empty());
  receive(hex("20 07 0C"), router, from_remote);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 1);
  EXPECT_EQ(completions[0].destination, remote);

  // A request from the remote device is answered through the router.
  on_request = [](const ServiceRequest&, ServiceAnswer* a) {
    a->kind = kAnswerSimpleAck;
    return 0;
  };
  receive(hex("00 05 09 0C"), router, from_remote);
  ASSERT_EQ(routed_seen.size(), 1u);
  EXPECT_TRUE(routed_seen[0].first);
  EXPECT_EQ(routed_seen[0].second, remote);
  frames = take_frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].destination, router);
  EXPECT_EQ(hex(frames[0].npdu), "01 20 00 05 01 22 FF 20 09 0C");

  // So does a confirmed request from another network: no router is sought for it.
  from_remote.snet = remote.network = 6;
  receive(hex("00 05 0A 0C"), router, from_remote);
  take_frames();
  request(8, hex("01"), 3, remote);
  frames = take_frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(hex(frames[0].npdu), "01 24 00 06 01 22 FF 02 43 08 0C 01");
}

TEST_F(ApplicationLayer, RequestToNetworkZeroMatchesTheAnswerFromThePort)
{
  BACnetAddress local = peer;
  local.network = 0;
  request(7, hex("01"), 3, local);
  EXPECT_EQ(take_sent().size(), 1u);
  receive("20 07 0C", peer);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 1);
}

}  // namespace
}  // namespace apptest
