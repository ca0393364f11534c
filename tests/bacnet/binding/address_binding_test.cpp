#include "bacnet/client/client_fixture.h"

#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <gmock/gmock.h>

using namespace clienttest;
using ::testing::ElementsAre;

namespace {

using Value = OwnedValue;

std::vector<std::string> g_log;
void keep_log(int level, const char* text) { g_log.push_back(std::to_string(level) + " " + text); }

class AddressBinding : public ClientStack {
protected:
  void SetUp() override
  {
    ClientStack::SetUp();
    g_log.clear();
    context.log = keep_log;
    context.options[kBindingTraceOption] = 1;
    // Again with the trace on; the in-memory port registers its address as a datalink would.
    address_binding_init(&context, kOwn);
    address_binding_add_local_port(5, -1, &own);
  }

  // The limits of every Who-Is sent since the last look, in order.
  std::vector<std::pair<int32_t, int32_t>> who_is_sent()
  {
    std::vector<std::pair<int32_t, int32_t>> out;
    for (const Frame& f : take()) {
      if (f.apdu.size() < 2 || f.apdu[0] != 0x10 || f.apdu[1] != 8)
        continue;
      EXPECT_TRUE(f.broadcast());
      pdu_buffer view = pdu_buffer_view(f.apdu.data() + 2, uint32_t(f.apdu.size() - 2));
      WhoIsRequest r;
      EXPECT_EQ(pdu_decode_who_is_request(&view, &r), 0);
      out.emplace_back(r.low_limit, r.high_limit);
    }
    return out;
  }

  std::string status_text()
  {
    Value v;
    EXPECT_EQ(address_binding_get_scan_status_text(v.get(), 0), 0);
    return v->tag == TAG_CHARACTER_STRING && v->payload.text ? v->payload.text : "";
  }

  DriverContext context;
};

TEST_F(AddressBinding, UnknownDeviceIsLocatedAndGoesOfflineAfter21Seconds)
{
  DeviceBinding d;
  EXPECT_EQ(address_binding_use_device(1234, &d), 1);
  EXPECT_EQ(d.online, 1);
  EXPECT_EQ(d.address_known, 0);
  seconds(1);
  EXPECT_THAT(who_is_sent(), ElementsAre(std::pair(1234, 1234)));
  EXPECT_THAT(g_log, ElementsAre("6 Attempting to locate device 1234"));
  seconds(19);
  EXPECT_EQ(address_binding_use_device(1234, &d), 1);
  seconds(1);
  EXPECT_EQ(address_binding_use_device(1234, &d), 2);
}

TEST_F(AddressBinding, LocatingBacksOffTo30And60And120Seconds)
{
  DeviceBinding d;
  address_binding_use_device(1234, &d);
  std::vector<int> sent_at;
  for (int t = 1; t <= 400; ++t) {
    seconds(1);
    if (!who_is_sent().empty())
      sent_at.push_back(t);
  }
  ASSERT_GE(sent_at.size(), 5u);
  std::vector<int> gaps;
  for (std::size_t i = 1; i < 5; ++i)
    gaps.push_back(sent_at[i] - sent_at[i - 1]);
  // A device asked for the first time is looked for at once (the Who-Is leaves with the
  // first pass), then after 30, 60 and 120 seconds of silence.
  EXPECT_EQ(sent_at[0], 1);
  EXPECT_THAT(gaps, ElementsAre(30, 61, 121, 121));
}

TEST_F(AddressBinding, FailedTransactionForgetsTheAddressOnlyAfter31SilentSeconds)
{
  i_am(1234, peer);
  clock.advance_ms(30000);
  EXPECT_EQ(address_binding_heard_from(0, peer), 0);
  DeviceBinding d;
  EXPECT_EQ(address_binding_get_device(1234, &d), 0);
  EXPECT_EQ(d.online, 1);
  EXPECT_EQ(d.address_known, 1);

  clock.advance_ms(1000);
  EXPECT_EQ(address_binding_heard_from(0, peer), 0);
  EXPECT_EQ(address_binding_get_device(1234, &d), 0);
  EXPECT_EQ(d.online, 0);
  EXPECT_EQ(d.address_known, 0);

  EXPECT_EQ(address_binding_heard_from(1, peer), 0);
  EXPECT_EQ(address_binding_get_device(1234, &d), 0);
  EXPECT_EQ(d.online, 1);
  EXPECT_EQ(address_binding_heard_from(1, ip_address(9)), -1);
}

TEST_F(AddressBinding, IAmOfALocalInstanceChangesNothing)
{
  i_am(kOwn, peer);
  DeviceBinding d;
  ASSERT_EQ(address_binding_get_device(kOwn, &d), 0);
  EXPECT_EQ(d.address, own);
  EXPECT_EQ(address_binding_get_local_instance(&peer), -1);
  EXPECT_EQ(address_binding_address_count(), 1u);
}

TEST_F(AddressBinding, LocalInstanceByAddress)
{
  i_am(1234, peer);
  EXPECT_EQ(address_binding_get_local_instance(nullptr), kOwn);
  EXPECT_EQ(address_binding_get_local_instance(&own), kOwn);
  EXPECT_EQ(address_binding_get_local_instance(&peer), -1);
  EXPECT_EQ(address_binding_is_local_device(kOwn), 1);
  EXPECT_EQ(address_binding_is_local_device(1234), 0);
  EXPECT_EQ(address_binding_get_local_network(), 1);
}

TEST_F(AddressBinding, BindingListOfOnePortHoldsTheOwnEntry)
{
  Value list;
  ASSERT_EQ(address_binding_encode_binding_list(kOwn, list.get(), -1, 0), 0);
  ASSERT_EQ(list->tag, TAG_ADDRESS_BINDING_LIST);
  ASSERT_EQ(list->payload.array->used, 1u);
  auto* b = static_cast<BACnetAddressBinding*>(list->payload.array->elements[0].payload.record);
  EXPECT_EQ(b->device.type, 8u);
  EXPECT_EQ(b->device.instance, uint32_t(kOwn));
  EXPECT_EQ(b->address.network, 1u);
  EXPECT_EQ(hex(std::span(b->address.mac.data, b->address.mac.length)), "0A 00 00 01 BA C0");
  Value count;
  ASSERT_EQ(address_binding_encode_binding_list(kOwn, count.get(), 0, 0), 0);
  EXPECT_EQ(count->payload.unsigned_value, 1u);
  EXPECT_EQ(address_binding_encode_binding_list(kOwn, count.get(), -1, 0xFF), 41);
}

TEST_F(AddressBinding, ScanRunsItsWindowsAroundTheBoundDevices)
{
  Value on;
  uint8_t yes = 1;
  value_set_boolean(&yes, on.get());
  ASSERT_EQ(address_binding_scan_control(on.get(), 0xFF), 0);
  Value read;
  ASSERT_EQ(address_binding_scan_control(read.get(), 0), 0);
  EXPECT_EQ(read->tag, TAG_BOOLEAN);
  EXPECT_EQ(read->payload.boolean, 1);

  seconds(2);
  EXPECT_THAT(who_is_sent(), ElementsAre(std::pair(0, kScanUpperBound - 1)));
  EXPECT_EQ(status_text(), "Scanning Devices : Low Limit = 0 High Limit = 4194304");
  i_am(100, ip_address(100));
  i_am(5000, ip_address(50));

  // One window per quiet step; the own device (4711) is bound too and splits its window.
  std::vector<std::pair<int32_t, int32_t>> windows;
  for (int t = 0; t < 30 && address_binding_scan_window().status != kScanDone; ++t) {
    seconds(1);
    for (auto w : who_is_sent())
      windows.push_back(w);
  }
  EXPECT_THAT(windows, ElementsAre(std::pair(0, 99), std::pair(101, 4710), std::pair(4712, 4999),
                                   std::pair(5001, kScanUpperBound - 1)));
  EXPECT_EQ(status_text(), "Device Scan Done");
  EXPECT_THAT(g_log, testing::Contains("6 Device Discovery finished"));
}

TEST_F(AddressBinding, AnswersDuringAWindowAskItAgainBelowTheNewDevice)
{
  Value on;
  uint8_t yes = 1;
  value_set_boolean(&yes, on.get());
  address_binding_scan_control(on.get(), 0xFF);
  seconds(2);
  who_is_sent();
  i_am(100, ip_address(100));
  seconds(2);
  EXPECT_THAT(who_is_sent(), ElementsAre(std::pair(0, 99)));
  EXPECT_EQ(status_text(), "Scanning Devices : Low Limit = 0 High Limit = 99");
  i_am(50, ip_address(50));  // a late answer to the first window
  seconds(2);
  EXPECT_THAT(who_is_sent(), ElementsAre(std::pair(0, 49)));
}

TEST_F(AddressBinding, RemoteDeviceObjectAnswersFromItsRecord)
{
  i_am(1234, peer);
  Value v;
  EXPECT_EQ(address_binding_read_device_property(1234, 75, -1, 0, v.get(), 0), 0);
  EXPECT_EQ(v->payload.object_id.type, OBJECT_REMOTE_DEVICE);
  EXPECT_EQ(v->payload.object_id.instance, 1234u);
  EXPECT_EQ(address_binding_read_device_property(1234, 79, -1, 0, v.get(), 0), 0);
  EXPECT_EQ(v->payload.enumerated, 1001u);
  EXPECT_EQ(address_binding_read_device_property(1234, 112, -1, 0, v.get(), 0), 0);
  EXPECT_EQ(v->payload.enumerated, 0u);
  address_binding_set_device_flag(1234, kFlagOnline, 0);
  EXPECT_EQ(address_binding_read_device_property(1234, 112, -1, 0, v.get(), 0), 0);
  EXPECT_EQ(v->payload.enumerated, 4u);
  EXPECT_EQ(address_binding_read_device_property(1234, 571, -1, 0, v.get(), 0), 0);
  ASSERT_EQ(v->tag, TAG_ADDRESS);
  EXPECT_EQ(static_cast<BACnetAddressValue*>(v->payload.record)->mac.length, 6u);

  Value vendor;
  EXPECT_EQ(address_binding_read_device_property(1234, 120, -1, 0, vendor.get(), 0), 1);
  EXPECT_EQ(vendor->tag, TAG_NULL);
  EXPECT_EQ(address_binding_read_device_property(1234, 77, -1, 0, vendor.get(), 0), 1);
  EXPECT_EQ(address_binding_read_device_property(1234, 75, -1, 0xFF, vendor.get(), 0), 1);
  EXPECT_THAT(g_log, ElementsAre("17 Property not found"));

  Value all;
  ASSERT_EQ(address_binding_read_device_property(1234, 8, -1, 0, all.get(), 0), 0);
  std::vector<uint32_t> properties;
  for (uint32_t i = 0; i < all->payload.array->used; ++i)
    properties.push_back(all->payload.array->elements[i].payload.enumerated);
  EXPECT_THAT(properties, ElementsAre(77, 79, 112, 120, 107, 75, 571, 573, 574));
}

TEST_F(AddressBinding, ReadingAnUnknownRemoteDeviceCreatesNothing)
{
  std::size_t before = address_binding_device_count();
  Value v;
  EXPECT_EQ(address_binding_read_device_property(777, 112, -1, 0, v.get(), 0), 32);
  EXPECT_EQ(address_binding_read_device_property(777, 8, -1, 0, v.get(), 0), 32);
  EXPECT_EQ(address_binding_device_count(), before);
}

TEST_F(AddressBinding, WritingTheAddressNeedsOneToSixOctets)
{
  auto address_value = [](uint32_t length) {
    BACnetAddressValue a{};
    a.network = 1;
    std::vector<uint8_t> mac(length, 0x44);
    octetstring_set(&a.mac, mac.data(), length);
    BACnetValue v{};
    value_set_address(&a, &v);
    octetstring_free(&a.mac);
    return v;
  };
  for (uint32_t length : {0u, 7u}) {
    Value v;
    *v = address_value(length);
    EXPECT_EQ(address_binding_read_device_property(300, 571, -1, 0xFF, v.get(), 0), 1) << length;
  }
  Value wrong;
  uint32_t n = 5;
  value_set_unsigned(&n, wrong.get());
  EXPECT_EQ(address_binding_read_device_property(300, 571, -1, 0xFF, wrong.get(), 0), 1);
  DeviceBinding d;
  EXPECT_EQ(address_binding_get_device(300, &d), -1);

  Value good;
  *good = address_value(1);
  EXPECT_EQ(address_binding_read_device_property(300, 571, -1, 0xFF, good.get(), 0), 0);
  EXPECT_EQ(address_binding_use_device(300, &d), 0);
  EXPECT_EQ(d.address.mac_len, 1);
  EXPECT_EQ(d.max_apdu_code, 3);
  Value own_device;
  *own_device = address_value(6);
  EXPECT_EQ(address_binding_read_device_property(uint32_t(kOwn), 571, -1, 0xFF, own_device.get(), 0), 1);
}

TEST_F(AddressBinding, RemovingADeviceRemovesEveryLearntAddressOfIt)
{
  i_am(1234, peer);
  i_am(1234, ip_address(3));
  EXPECT_EQ(address_binding_address_count(), 3u);
  BACnetAddressBinding b{};
  b.device = {8, 1234};
  EXPECT_EQ(address_binding_remove_device(&b), 0);
  EXPECT_EQ(address_binding_address_count(), 1u);
  DeviceBinding d;
  EXPECT_EQ(address_binding_get_device(1234, &d), -1);
  EXPECT_EQ(address_binding_remove_device(&b), -1);
  b.device.instance = kOwn;
  EXPECT_EQ(address_binding_remove_device(&b), -1);
}

TEST_F(AddressBinding, BindingFromTheListRefusesLocalKnownAndEmptyAddresses)
{
  BACnetAddressBinding b{};
  b.device = {8, 600};
  b.address.network = 1;
  uint8_t mac[7] = {1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(address_binding_add_from_binding(&b), -1);  // no MAC
  octetstring_set(&b.address.mac, mac, 7);
  EXPECT_EQ(address_binding_add_from_binding(&b), -1);
  octetstring_set(&b.address.mac, mac, 2);
  EXPECT_EQ(address_binding_add_from_binding(&b), 0);
  EXPECT_EQ(address_binding_add_from_binding(&b), -1);  // already known
  b.device.instance = kOwn;
  EXPECT_EQ(address_binding_add_from_binding(&b), -1);
  octetstring_free(&b.address.mac);
  DeviceBinding d;
  EXPECT_EQ(address_binding_use_device(600, &d), 0);
  EXPECT_EQ(d.address.mac_len, 2);
}

TEST_F(AddressBinding, TableThatCannotGrowKeepsWhatItHeld)
{
  address_binding_set_table_limit(3);
  EXPECT_EQ(address_binding_add_from_i_am(100, 5, ip_address(10)), 0);
  EXPECT_EQ(address_binding_add_from_i_am(200, 5, ip_address(20)), 0);
  EXPECT_EQ(address_binding_add_from_i_am(300, 5, ip_address(30)), -1);
  EXPECT_EQ(address_binding_device_count(), 3u);
  DeviceBinding d;
  EXPECT_EQ(address_binding_use_device(100, &d), 0);
  EXPECT_EQ(address_binding_use_device(200, &d), 0);
  EXPECT_EQ(address_binding_use_device(kOwn, &d), 0);
  EXPECT_EQ(address_binding_use_device(300, &d), -1);
  // A local device set up again and again takes no more room.
  const BACnetAddress at_100 = ip_address(10);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(address_binding_add_local_port(3, 100, &at_100), 0);
}

TEST_F(AddressBinding, DeviceSetUpWithoutAMacStaysReachableAndAnswersWhoIsFromThePort)
{
  const BACnetAddress none{};
  const BACnetAddress remote{own.network, {10, 111, 1, 9, 0xBA, 0xC0}, 6};
  ASSERT_EQ(address_binding_add_from_i_am(kOwn + 3, 5, remote), 0);
  // (instance set up, its network, the address requests go to, the I-Ams a Who-Is of it gets,
  // and the I-Haves a Who-Has of its object)
  const std::tuple<int32_t, uint32_t, BACnetAddress, std::vector<uint32_t>> rows[] = {
      {kOwn, 1, own, {kOwn}},          // the own device keeps its port's address
      {kOwn, 0, own, {kOwn}},          // and its station where it is set up on a network before it
      {kOwn + 1, 1, own, {kOwn + 1}},  // a new one lives at the port's station
      {kOwn + 2, 9, none, {}},         // a network without a port gives nothing to reach
      {kOwn + 3, 1, own, {kOwn + 3}},  // a remote device of that instance is forgotten
  };
  for (const auto& [instance, network, reach, answered] : rows) {
    BACnetAddress no_mac{};
    no_mac.network = network;
    ASSERT_EQ(address_binding_add_local_port(3, instance, &no_mac), 0) << instance;
    DeviceBinding d;
    ASSERT_EQ(address_binding_get_device(instance, &d), 0);
    EXPECT_EQ(d.address_known ? d.address : none, reach) << instance;
    EXPECT_EQ(address_binding_use_device(instance, &d), reach.mac_len ? 0 : 1) << instance;
    take();
    ASSERT_EQ(address_binding_send_i_am(0, instance, instance), 0);
    step();
    std::vector<uint32_t> i_ams;
    for (const Frame& f : take()) {
      ASSERT_TRUE(f.apdu.size() > 2 && f.apdu[0] == 0x10 && f.apdu[1] == 0) << hex(f.apdu);
      EXPECT_TRUE(f.broadcast());
      pdu_buffer view = pdu_buffer_view(f.apdu.data() + 2, uint32_t(f.apdu.size() - 2));
      IAmRequest r;
      ASSERT_EQ(pdu_decode_iam_request(&view, &r), 0);
      i_ams.push_back(r.device.instance);
    }
    EXPECT_EQ(i_ams, answered) << instance;
    ASSERT_EQ(address_binding_send_i_have(0, IHaveMatch{uint32_t(instance), {OBJECT_ANALOG_VALUE, 1}, "av"}), 0);
    step();
    std::vector<uint32_t> i_haves;
    for (const Frame& f : take()) {
      pdu_buffer view = pdu_buffer_view(f.apdu.data() + 2, uint32_t(f.apdu.size() - 2));
      IHaveRequest r;
      ASSERT_EQ(pdu_decode_ihave_request(&view, &r), 0) << hex(f.apdu);
      i_haves.push_back(r.device.instance);
    }
    EXPECT_EQ(i_haves, answered) << instance;
  }
  // The remote device's I-Ams change nothing now, and its address names nobody.
  ASSERT_EQ(address_binding_add_from_i_am(kOwn + 3, 5, remote), 0);
  DeviceBinding d;
  ASSERT_EQ(address_binding_get_device(kOwn + 3, &d), 0);
  EXPECT_EQ(d.address, own);
  EXPECT_EQ(address_binding_heard_from(1, remote), -1);
}

std::size_t g_port_queue = 0;
std::size_t port_queue(DatalinkPort*) { return g_port_queue; }

TEST_F(AddressBinding, AWhoIsOfManyLocalDevicesGetsEveryI_AmOnceAsThePortHasRoom)
{
  for (int32_t instance = 5000; instance < 5300; ++instance) {
    BACnetAddress no_mac{};
    no_mac.network = own.network;
    ASSERT_EQ(address_binding_add_local_port(3, instance, &no_mac), 0);
  }
  network_port_at(0)->queued = port_queue;
  g_port_queue = 16;  // the port's send queue already holds enough
  ASSERT_EQ(address_binding_send_i_am(0, -1, -1), 0);
  ASSERT_EQ(address_binding_send_i_am(0, 5000, 5001), 0);  // owed already: no second copy
  step();
  EXPECT_TRUE(take().empty());
  g_port_queue = 0;
  std::vector<uint32_t> i_ams;
  for (int steps = 0; steps < 100 && i_ams.size() < 301; ++steps) {
    step();
    std::vector<Frame> frames = take();
    EXPECT_LE(frames.size(), 16u);
    for (const Frame& f : frames) {
      pdu_buffer view = pdu_buffer_view(f.apdu.data() + 2, uint32_t(f.apdu.size() - 2));
      IAmRequest r;
      ASSERT_EQ(pdu_decode_iam_request(&view, &r), 0);
      i_ams.push_back(r.device.instance);
    }
  }
  std::sort(i_ams.begin(), i_ams.end());
  std::vector<uint32_t> every = {kOwn};
  for (uint32_t instance = 5000; instance < 5300; ++instance)
    every.push_back(instance);
  EXPECT_EQ(i_ams, every);
  step();
  EXPECT_TRUE(take().empty());
}

TEST_F(AddressBinding, SilentBoundDeviceIsPolledForItsStatus)
{
  i_am(1234, peer);
  DeviceBinding d;
  address_binding_use_device(1234, &d);
  address_binding_set_device_flag(1234, kFlagOnline, 0);
  testing::internal::CaptureStdout();
  seconds(2);
  testing::internal::GetCapturedStdout();
  step();
  EXPECT_THAT(g_log, testing::Contains("6 Attempting to read status of device 1234"));
  bool polled = false;
  for (const Frame& f : take())
    if (f.apdu.size() > 3 && f.apdu[0] == 0x02 && f.apdu[3] == 12) {
      polled = true;
      EXPECT_EQ(f.destination, peer);
      EXPECT_EQ(hex(std::span(f.apdu).subspan(4)), "0C 02 00 04 D2 19 70");
    }
  EXPECT_TRUE(polled);
}

}  // namespace
