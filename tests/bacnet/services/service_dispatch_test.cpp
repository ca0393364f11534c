#include "bacnet/client/client_fixture.h"

#include "bacnet/services/unconfirmed_services.h"
#include "support/tshark.h"

#include <gmock/gmock.h>

using namespace clienttest;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

namespace {

const std::string kOwnIAm = "10 00 C4 02 00 12 67 22 01 E0 91 00 22 05 89";

std::vector<std::string> g_log;
void keep_log(int level, const char* text) { g_log.push_back(std::to_string(level) + " " + text); }

std::vector<IAmRequest> g_hooked;
int hook_i_am(const void* request)
{
  g_hooked.push_back(*static_cast<const IAmRequest*>(request));
  return 0;
}

struct ClockCall {
  BACnetDateTime time;
  bool utc;
};
std::vector<ClockCall> g_clock;
int fake_clock(const BACnetDateTime& time, bool utc)
{
  g_clock.push_back({time, utc});
  return 0;
}

std::vector<WhoHasRequest> g_who_has;
int fake_objects(const WhoHasRequest& request, int32_t, std::vector<IHaveMatch>* matches)
{
  g_who_has.push_back(request);
  if (request.choice == 1 && request.object_name == "Raumtemperatur")
    matches->push_back({uint32_t(ClientStack::kOwn), {0, 3}, "Raumtemperatur"});
  return 0;
}

int g_events = 0;
void count_event(const ServiceRequest&) { ++g_events; }

std::vector<uint8_t> unconfirmed(uint8_t choice, const std::vector<uint8_t>& data)
{
  std::vector<uint8_t> apdu(data.size() + 2);
  apdu[0] = 0x10;
  apdu[1] = choice;
  std::copy(data.begin(), data.end(), apdu.begin() + 2);
  return apdu;
}

std::vector<uint8_t> datetime(int year, int month, int day, int hour, int minute, int second, int hundredths = 0)
{
  BACnetDateTime t{{uint8_t(year - 1900), uint8_t(month), uint8_t(day), 255},
                   {uint8_t(hour), uint8_t(minute), uint8_t(second), uint8_t(hundredths)}};
  return encoded(pdu_encode_datetime, t);
}

class Services : public ClientStack {
protected:
  void SetUp() override
  {
    ClientStack::SetUp();
    g_log.clear();
    g_hooked.clear();
    g_clock.clear();
    g_who_has.clear();
    g_events = 0;
    ServicesSeams seams;
    seams.set_clock = fake_clock;
    seams.who_has = fake_objects;
    seams.broadcast_event = count_event;
    services_set_seams(&seams);
  }
};

TEST_F(Services, WhoIsWithoutLimitsIsAnsweredWithTheOwnIAm)
{
  receive("10 08", peer);
  step();
  std::vector<Frame> frames = take();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(frames[0].broadcast());
  EXPECT_EQ(hex(frames[0].apdu), kOwnIAm);

  testsupport::TsharkResult t = testsupport::dissect(
      "services_i_am", {{testsupport::wrap_apdu(frames[0].apdu)}},
      {"bacapp.unconfirmed_service", "bacapp.instance_number", "bacapp.vendor_identifier"});
  ASSERT_TRUE(t.ran);
  EXPECT_EQ(t.malformed, 0) << t.diagnostics;
  ASSERT_EQ(t.fields.size(), 1u);
  EXPECT_EQ(t.fields[0], "0\t4711\t1417");

  // Devices set up on the port's network without a station of their own answer as well.
  BACnetAddress no_mac{};
  no_mac.network = own.network;
  for (int32_t instance : {5000, 6000})
    ASSERT_EQ(address_binding_add_local_port(3, instance, &no_mac), 0);
  receive("10 08", peer);
  step();
  EXPECT_THAT(take_hex(), UnorderedElementsAre(kOwnIAm, "10 00 C4 02 00 13 88 22 01 E0 91 00 22 05 89",
                                               "10 00 C4 02 00 17 70 22 01 E0 91 00 22 05 89"));
}

TEST_F(Services, WhoIsRangeDecidesWhetherTheDeviceAnswers)
{
  receive("10 08 09 01 19 0A", peer);  // 1..10
  step();
  EXPECT_TRUE(take().empty());
  receive("10 08 0A 12 67 1A 12 67", peer);  // 4711..4711
  step();
  EXPECT_THAT(take_hex(), ElementsAre(kOwnIAm));
}

TEST_F(Services, IAmBindsTheSenderWithTheCodeOfItsMaxApdu)
{
  i_am(1000, ip_address(10), 1476);
  i_am(1001, ip_address(11), 480);
  i_am(1002, ip_address(12), 50);
  DeviceBinding d;
  ASSERT_EQ(address_binding_get_device(1000, &d), 0);
  EXPECT_EQ(d.max_apdu_code, 5);
  EXPECT_EQ(d.address, ip_address(10));
  ASSERT_EQ(address_binding_get_device(1001, &d), 0);
  EXPECT_EQ(d.max_apdu_code, 3);
  ASSERT_EQ(address_binding_get_device(1002, &d), 0);
  EXPECT_EQ(d.max_apdu_code, 0);
  EXPECT_EQ(services_max_apdu_code(1024), 4);
  EXPECT_EQ(services_max_apdu_code(5000), 5);
}

TEST_F(Services, OwnBroadcastHeardBackBindsNothing)
{
  i_am(1234, own);
  DeviceBinding d;
  EXPECT_EQ(address_binding_get_device(1234, &d), -1);
}

TEST_F(Services, RoutedIAmBindsTheRoutedAddress)
{
  IAmRequest r;
  r.device = {8, 1234};
  r.max_apdu = 480;
  NpduHeader header;
  header.snet_present = 1;
  header.snet = 7;
  header.slen = 1;
  header.sadr[0] = 0x21;
  std::vector<uint8_t> apdu = unconfirmed(0, encoded(pdu_encode_iam_request, r));
  receive(apdu, peer, header);
  DeviceBinding d;
  ASSERT_EQ(address_binding_get_device(1234, &d), 0);
  EXPECT_EQ(d.address.network, 7u);
  EXPECT_EQ(d.address.mac_len, 1);
  EXPECT_EQ(d.address.mac[0], 0x21);
}

TEST_F(Services, IAmHookAndTraceOnPortZero)
{
  DriverContext context;
  context.log = keep_log;
  context.options[kServicesTraceOption] = 1;
  ServiceHooks hooks;
  hooks.slots[0] = hook_i_am;
  services_init(&context, &hooks);
  i_am(1234, peer);
  ASSERT_EQ(g_hooked.size(), 1u);
  EXPECT_EQ(g_hooked[0].device.instance, 1234u);
  EXPECT_EQ(g_hooked[0].max_apdu, 1476u);
  EXPECT_THAT(g_log, ElementsAre("4 Iam recieved from device 1234"));

  // The same I-Am on another port binds as well, without hook or trace.
  ServiceRequest request;
  request.type = kApduUnconfirmedRequest;
  request.service_choice = 0;
  request.source = ip_address(5, 2);
  IAmRequest r;
  r.device = {8, 2222};
  std::vector<uint8_t> data = encoded(pdu_encode_iam_request, r);
  request.data = data;
  EXPECT_EQ(services_unconfirmed_indication(1, false, BACnetAddress{}, request), -1);  // no port 1 here
  EXPECT_EQ(g_hooked.size(), 1u);
  EXPECT_EQ(g_log.size(), 1u);
}

TEST_F(Services, MalformedOrUnknownRequestsAreDropped)
{
  ServiceRequest request;
  request.type = kApduUnconfirmedRequest;
  request.source = peer;
  std::vector<uint8_t> garbage = hex("C4 02");
  request.data = garbage;
  for (uint8_t choice = 0; choice < 10; ++choice) {
    request.service_choice = choice;
    EXPECT_EQ(services_unconfirmed_indication(0, false, BACnetAddress{}, request), -1) << int(choice);
  }
  request.service_choice = 10;
  EXPECT_EQ(services_unconfirmed_indication(0, false, BACnetAddress{}, request), -1);
  EXPECT_EQ(g_events, 11);  // every one was offered to the API clients first
  request.type = kApduConfirmedRequest;
  EXPECT_EQ(services_unconfirmed_indication(0, false, BACnetAddress{}, request), -1);
  EXPECT_EQ(g_events, 11);
  step();
  EXPECT_TRUE(take().empty());
}

TEST_F(Services, UnhandledConfirmedServicesAreRejectedAsUnrecognised)
{
  for (uint8_t choice : {12, 13, 18, 28}) {
    std::vector<uint8_t> apdu = {0x00, 0x05, 0x07, choice, 0x0C, 0x02, 0x00, 0x04, 0xD2, 0x19, 0x4D};
    receive(apdu, peer);
    EXPECT_THAT(take_hex(), ElementsAre("60 07 09")) << int(choice);
  }
  EXPECT_EQ(g_events, 0);
  receive("00 05 08 01 09 01", peer);  // ConfirmedCOVNotification: offered to the API first
  EXPECT_EQ(g_events, 1);
}

TEST_F(Services, InstalledConfirmedHandlerAnswers)
{
  services_set_confirmed_handler(12, [](const BACnetAddress&, const ServiceRequest& request, ServiceAnswer* answer,
                                        bool, const BACnetAddress&) {
    std::vector<uint8_t> data(request.data.begin(), request.data.end());
    return services_reply_complex_ack(answer, data, request.service_choice);
  });
  receive("00 05 07 0C 0C 02 00 04 D2 19 4D", peer);
  services_set_confirmed_handler(12, nullptr);
  EXPECT_THAT(take_hex(), ElementsAre("30 07 0C 0C 02 00 04 D2 19 4D"));
}

TEST_F(Services, TimeSynchronizationSetsTheClockThroughItsSeam)
{
  receive(unconfirmed(6, datetime(2036, 12, 31, 23, 59, 59, 255)), peer);
  receive(unconfirmed(9, datetime(2026, 2, 28, 12, 0, 0, 50)), peer);
  ASSERT_EQ(g_clock.size(), 2u);
  EXPECT_FALSE(g_clock[0].utc);
  EXPECT_EQ(g_clock[0].time.date.year, 136);
  EXPECT_EQ(g_clock[0].time.time.second, 59);
  EXPECT_EQ(g_clock[0].time.time.hundredths, 0);  // "any" hundredths count as 0
  EXPECT_TRUE(g_clock[1].utc);
  EXPECT_EQ(g_clock[1].time.time.hundredths, 50);
}

TEST_F(Services, TimeSynchronizationRefusesInvalidTimes)
{
  const std::vector<std::vector<uint8_t>> refused = {
      datetime(2037, 1, 1, 0, 0, 0),    datetime(2026, 13, 1, 0, 0, 0), datetime(2026, 0, 1, 0, 0, 0),
      datetime(2026, 5, 0, 0, 0, 0),    datetime(2026, 2, 29, 0, 0, 0), datetime(2026, 5, 4, 255, 0, 0),
      datetime(2026, 5, 4, 24, 0, 0),   datetime(2026, 5, 4, 0, 60, 0), datetime(2026, 5, 4, 0, 0, 60),
      datetime(2026, 5, 4, 0, 0, 0, 100), datetime(2026, 255, 4, 0, 0, 0),
  };
  for (const auto& data : refused)
    receive(unconfirmed(6, data), peer);
  EXPECT_TRUE(g_clock.empty());
  receive(unconfirmed(6, datetime(2024, 2, 29, 0, 0, 0)), peer);
  EXPECT_EQ(g_clock.size(), 1u);
}

TEST_F(Services, WhoHasIsAnsweredFromTheObjectSource)
{
  WhoHasRequest r;
  r.choice = 1;
  r.object_name = "Raumtemperatur";
  receive(unconfirmed(7, encoded(pdu_encode_who_has_request, r)), peer);
  step();
  std::vector<Frame> frames = take();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(frames[0].broadcast());
  IHaveRequest expected;
  expected.device = {8, uint32_t(kOwn)};
  expected.object = {0, 3};
  expected.object_name = "Raumtemperatur";
  EXPECT_EQ(hex(frames[0].apdu), hex(unconfirmed(1, encoded(pdu_encode_ihave_request, expected))));
  ASSERT_EQ(g_who_has.size(), 1u);
  EXPECT_EQ(g_who_has[0].low_limit, 0u);
  EXPECT_EQ(g_who_has[0].high_limit, 4194303u);

  r.object_name = "Fehlt";
  receive(unconfirmed(7, encoded(pdu_encode_who_has_request, r)), peer);
  step();
  EXPECT_TRUE(take().empty());

  testsupport::TsharkResult t =
      testsupport::dissect("services_i_have", {{testsupport::wrap_apdu(frames[0].apdu)}},
                           {"bacapp.unconfirmed_service", "bacapp.instance_number"});
  ASSERT_TRUE(t.ran);
  EXPECT_EQ(t.malformed, 0) << t.diagnostics;
  ASSERT_EQ(t.fields.size(), 1u);
  EXPECT_EQ(t.fields[0], "1\t4711,3");
}

TEST_F(Services, IHaveGoesToTheHookOnly)
{
  IHaveRequest r;
  r.device = {8, 1234};
  r.object = {2, 1};
  r.object_name = "x";
  receive(unconfirmed(1, encoded(pdu_encode_ihave_request, r)), peer);
  step();
  EXPECT_TRUE(take().empty());
  EXPECT_EQ(g_events, 1);
}

}  // namespace
