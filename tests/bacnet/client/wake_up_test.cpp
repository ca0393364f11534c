// Work handed to the stack thread wakes it, and a new binding wakes a caller waiting for it.
#include "client_fixture.h"

#include "bacnet/codec/codec_cov_services.h"
#include "bacnet/foundation/stack_wake.h"

#include <future>

using namespace clienttest;

namespace {

class WakeUps : public ClientStack {};

TEST_F(WakeUps, WorkHandedToTheStackThreadWakesIt)
{
  // Five owed to one recipient, one acknowledged: the fifth may go in the next pass.
  auto acknowledge_one_of_five = [&] {
    for (uint32_t process = 0; process <= kClientNotificationsPerRecipient; ++process) {
      CovNotificationRequest n;
      n.process_id = process;
      ASSERT_EQ(client_confirmed_cov_notification(nullptr, nullptr, -1, &peer, &n), 0);
    }
    step();
    std::vector<uint8_t> npdu;
    ASSERT_EQ(npdu_encode({}, std::vector<uint8_t>{0x20, take().back().apdu[2], 1}, &npdu), 0);
    ASSERT_EQ(network_receive(peer, own, npdu, 0, 0), 0);
    stack_wait(0);  // what the requests and the frame signalled
    step();
  };
  const std::pair<const char*, std::function<void()>> work[] = {
      {"a received NPDU", [] { ASSERT_EQ(network_receive(peer, own, hex("01 00 10 08"), 0, 0), 0); }},
      {"a queued request", [] { ASSERT_EQ(client_raw_unconfirmed_hex("1008"), 0); }},
      {"an owed I-Am", [] { ASSERT_EQ(address_binding_send_i_am(0, -1, -1), 0); }},
      {"an acknowledgement while its recipient is owed more", acknowledge_one_of_five},
  };
  for (const auto& [what, hand_over] : work) {
    step();
    stack_wait(0);
    EXPECT_EQ(stack_wait(0), OsWake::kTimeout) << what;
    hand_over();
    EXPECT_EQ(stack_wait(0), OsWake::kSignalled) << what;
  }
}

TEST_F(WakeUps, ABindingEndsTheWaitForItAtOnce)
{
  uint64_t seen = address_binding_changes();
  auto waited = std::async(std::launch::async, [seen] { address_binding_wait_change(seen, 60000); });
  i_am(1234, peer);
  EXPECT_EQ(waited.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_NE(address_binding_changes(), seen);
}

TEST_F(WakeUps, ARawCallToAnUnboundDeviceLeavesOnceTheDeviceAnswersItsWhoIs)
{
  std::vector<uint8_t> answer;
  run_call([&] { client_raw_confirmed(555, hex("00 05 21 0C 0C 02 00 02 2B 19 4D"), &answer); },
           [](const Frame& f) -> std::optional<std::vector<uint8_t>> {
             if (f.apdu.size() >= 2 && f.apdu[0] == 0x10 && f.apdu[1] == 8)
               return i_am_apdu(555);
             if (f.apdu.size() >= 4 && f.apdu[0] >> 4 == 0)
               return std::vector<uint8_t>{0x50, f.apdu[2], f.apdu[3], 0x91, 0x02, 0x91, 0x20};
             return std::nullopt;
           });
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(hex(sent[0].apdu), "10 08 0A 02 2B 1A 02 2B");
  EXPECT_EQ(sent[1].destination, peer);
  EXPECT_EQ(hex(answer).erase(2, 3), "50 0C 91 02 91 20");  // without the invoke id, which is the stack's
}

}  // namespace
