#include "server_fixture.h"

#include "bacnet/codec/codec_alarm_services.h"
#include "bacnet/codec/codec_device_services.h"
#include "bacnet/objects/reporting_test_util.h"
#include "bacnet/value/owned.h"

#include <gmock/gmock.h>

using namespace servertest;

namespace {

const std::string kAnalogValue1 = "00 80 00 01";

std::vector<std::string> g_log;
void keep_log(int level, const char* text) { g_log.push_back(std::to_string(level) + " " + text); }

// What the hooks of the notifications and services that only the host program takes were given.
std::vector<std::string> g_hooked;

class AlarmServices : public Server {
protected:
  void SetUp() override
  {
    g_log.clear();
    g_hooked.clear();
    hooks.slots[3] = hooks.slots[11] = [](const void* r) {
      g_hooked.push_back("event " + std::to_string(static_cast<const EventNotificationRequest*>(r)->to_state));
      return 0;
    };
    hooks.slots[4] = [](const void* r) {
      g_hooked.push_back("transfer " + std::to_string(static_cast<const PrivateTransferRequest*>(r)->service_number));
      return 0;
    };
    hooks.slots[5] = [](const void* r) {
      g_hooked.push_back("text " + objtest::text_of(static_cast<const TextMessageRequest*>(r)->message));
      return 0;
    };
    Server::SetUp();
    objtest::sent().clear();
    NotificationSender sender{objtest::record_event, objtest::record_cov};
    event_set_sender(&sender);
    driver_set_log_callback(keep_log);
    ObjectRecord* nc = object_CreateObject(kOwn, OBJECT_NOTIFICATION_CLASS, 10);
    bitstring_set(object_bits(nc, PROP_ACK_REQUIRED), std::vector<uint8_t>{1, 1, 1}.data(), 3);
    OwnedValue recipient(objtest::destination(4712, 5, false));
    ASSERT_EQ(object_AddListElements(kOwn, OBJECT_NOTIFICATION_CLASS, 10, PROP_RECIPIENT_LIST, -1, 0, recipient.get()),
              0);
    av = in_high_limit(1);
  }
  void TearDown() override
  {
    driver_set_log_callback(nullptr);
    event_set_sender(nullptr);
    Server::TearDown();
  }

  // An Analog Value that has just gone to high-limit and waits for its acknowledgment.
  ObjectRecord* in_high_limit(uint32_t instance)
  {
    ObjectRecord* r = object_CreateObject(kOwn, OBJECT_ANALOG_VALUE, instance);
    *object_real(r, PROP_HIGH_LIMIT) = 50;
    *object_word(r, PROP_TIME_DELAY) = 0;
    bitstring_set(object_bits(r, PROP_LIMIT_ENABLE), std::vector<uint8_t>{0, 1}.data(), 2);
    bitstring_set(object_bits(r, PROP_EVENT_ENABLE), std::vector<uint8_t>{1, 1, 1}.data(), 3);
    *object_real(r, PROP_RELINQUISH_DEFAULT) = 60;
    object_Timer(kOwn, r, 1);
    EXPECT_EQ(*object_word(r, PROP_EVENT_STATE), 3u);
    return r;
  }

  std::string acknowledgment(uint32_t state, const BACnetTimeStamp& stamp)
  {
    Owned<AcknowledgeAlarmRequest, pdu_free_acknowledge_alarm_request> r;
    r->process_id = 1;
    r->event_object = {OBJECT_ANALOG_VALUE, 1};
    r->event_state = state;
    r->timestamp = stamp;
    value_set_charstring("Leitstand", &r->source);
    r->ack_timestamp = stamp;
    std::string out = hex(encoded(pdu_encode_acknowledge_alarm_request, *r));
    return out;
  }

  ObjectRecord* av = nullptr;
};

TEST_F(AlarmServices, AcknowledgeAlarmRefusesWhatItCannotAcknowledge)
{
  BACnetTimeStamp stamp =
      *value_record<BACnetTimeStamp>(&objtest::array_of(*object_value(av, PROP_EVENT_TIME_STAMPS)).elements[0]);
  const std::pair<std::string, std::string> cases[] = {
      {acknowledgment(9, stamp), "00 91 05 91 07"},  // no such state
      {acknowledgment(1, stamp), "00 91 05 91 07"},  // to-fault is acknowledged
      {acknowledgment(3, stamp).replace(6, 14, "1C 00 80 00 09"), "00 91 05 91 07"},  // no Analog Value 9
      {"09 01", "00 91 01 91 FF"},
  };
  for (const auto& [request, error] : cases)
    EXPECT_EQ(ask(0, request), answer("50", error)) << request;
  EXPECT_EQ(objtest::events().size(), 1u);  // only the alarm itself was notified
}

TEST_F(AlarmServices, EventInformationIsLimitedByWhatTheRequesterTakes)
{
  for (uint32_t i = 2; i <= 40; ++i)
    in_high_limit(i);
  // Max-segments/max-APDU octet, segmented response accepted, summaries, more events.
  const std::tuple<uint8_t, bool, uint32_t, bool> cases[] = {
      {0x03, false, 7, true}, {0x23, true, 28, true}, {0x05, false, 21, true}, {0x74, true, 40, false}};
  for (const auto& [max, segmented, summaries, more] : cases) {
    // Straight to the handler: the longer answers would leave in segments.
    ServiceRequest request;
    request.type = kApduConfirmedRequest;
    request.service_choice = 29;
    request.max_segments_apdu = max;
    request.segmented_response_accepted = segmented;
    request.source = peer;
    ServiceAnswer out;
    ASSERT_EQ(services_confirmed_indication(own, request, &out, false, BACnetAddress{}), 0);
    ASSERT_EQ(out.kind, kAnswerComplexAck);
    pdu_buffer view = pdu_buffer_view(out.data.data(), uint32_t(out.data.size()));
    Owned<GetEventInformationAck, pdu_free_get_event_information_ack> ack;
    ASSERT_EQ(pdu_decode_get_event_information_ack(&view, ack.get()), 0);
    const BACnetValueArray* list = value_array(&ack->summaries);
    EXPECT_EQ(list ? list->used : 1u, summaries) << int(max);
    EXPECT_EQ(ack->more_events, more) << int(max);
  }
}

TEST_F(AlarmServices, SubscribeCovAddsRenewsAndCancelsTheRequestersSubscription)
{
  EXPECT_EQ(ask(5, "09 07 1C " + kAnalogValue1 + " 29 00 39 3C"), answer("20", "05"));
  EXPECT_EQ(ask(5, "09 07 1C " + kAnalogValue1 + " 29 01 39 78"), answer("20", "05"));
  BACnetValue* list = object_value(av, PROP_COV_SUBSCRIBERS);
  ASSERT_EQ(objtest::array_of(*list).used, 1u);
  auto* d = value_record<BACnetDestination>(&objtest::array_of(*list).elements[0]);
  EXPECT_EQ((std::vector<uint32_t>{d->process_id, d->issue_confirmed, d->lifetime, d->stamp}),
            (std::vector<uint32_t>{7, 1, 120, 1700000000}));

  // The first notification goes out with the next second, with the status flags of the alarm.
  object_second_tick();
  ASSERT_EQ(objtest::covs().size(), 1u);
  EXPECT_FLOAT_EQ(objtest::covs()[0].present.payload.real, 60.0f);
  EXPECT_EQ(objtest::covs()[0].cov_flags, (std::vector<uint8_t>{1, 0, 0, 0}));

  EXPECT_EQ(ask(5, "09 07 1C " + kAnalogValue1), answer("20", "05"));  // cancelled
  EXPECT_EQ(objtest::array_of(*list).used, 0u);
  EXPECT_EQ(ask(5, "09 07 1C " + kAnalogValue1), answer("20", "05"));  // nothing left to cancel
  EXPECT_EQ(ask(5, "09 07 1C 01 80 00 00 29 00 39 3C"), answer("50", "05 91 05 91 2B"));  // a Calendar
  EXPECT_EQ(ask(5, "09 07"), answer("50", "05 91 05 91 07"));
  EXPECT_THAT(g_log, ::testing::ElementsAre("1 ERROR Sub 6 0", "1 ERROR Sub 999 0"));
}

TEST_F(AlarmServices, NotificationsAndMessagesReachTheirHooks)
{
  EventNotificationRequest event;
  event.device = {OBJECT_DEVICE, 5};
  event.object = {OBJECT_ANALOG_VALUE, 1};
  event.timestamp.choice = 1;
  event.to_state = 3;
  std::string event_hex = hex(encoded(pdu_encode_event_notification_request, event));
  EXPECT_EQ(ask(2, event_hex), answer("20", "02"));
  EXPECT_EQ(ask(2, "09 01"), answer("50", "02 91 01 91 FF"));
  receive(hex("10 03 " + event_hex), peer);
  PrivateTransferRequest transfer;
  transfer.vendor_id = 1417;
  transfer.service_number = 12;
  receive(hex("10 04 " + hex(encoded(pdu_encode_private_transfer_request, transfer))), peer);
  Owned<TextMessageRequest, pdu_free_text_message_request> text;
  text->source = {OBJECT_DEVICE, 5};
  value_set_charstring("Hallo", &text->message);
  receive(hex("10 05 " + hex(encoded(pdu_encode_text_message_request, *text))), peer);
  receive(hex("10 05 09"), peer);  // does not decode: no hook
  EXPECT_THAT(g_hooked, ::testing::ElementsAre("event 3", "event 3", "transfer 12", "text Hallo"));
}

}  // namespace
