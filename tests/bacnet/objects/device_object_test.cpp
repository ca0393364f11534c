#include "objects_test_util.h"

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace objtest;

namespace {

uint32_t g_timeout = 3000;
uint32_t g_retries = 3;
uint32_t get_timeout() { return g_timeout; }
int set_timeout(uint32_t ms)
{
  if (ms < 3000 || ms > 30000)
    return -1;
  g_timeout = ms;
  return 0;
}
uint32_t get_retries() { return g_retries; }
int set_retries(uint32_t n)
{
  g_retries = n;
  return 0;
}

struct PortCall {
  uint8_t code;
  int32_t instance;
  uint32_t network;
  std::vector<uint8_t> mac;
};
std::vector<PortCall> g_ports;
std::vector<std::pair<BACnetObjectId, uint32_t>> g_i_ams;  // device, network
int g_port_result = 0;
int add_port(uint8_t code, int32_t instance, const BACnetAddressValue* address)
{
  g_ports.push_back({code, instance, address->network,
                     std::vector<uint8_t>(address->mac.data, address->mac.data + address->mac.length)});
  return g_port_result;
}
int send_i_am(BACnetObjectId device, uint32_t network, uint32_t max_apdu, uint32_t segmentation)
{
  EXPECT_EQ(max_apdu, 480u);
  EXPECT_EQ(segmentation, 0u);
  g_i_ams.emplace_back(device, network);
  return 0;
}

constexpr uint32_t kDevice = 4711;

std::vector<uint32_t> set_bits(const BACnetValue& v)
{
  std::vector<uint32_t> out;
  std::vector<uint8_t> bits = bits_of(v);
  for (uint32_t i = 0; i < bits.size(); ++i)
    if (bits[i])
      out.push_back(i);
  return out;
}

}  // namespace

class DeviceObjectTest : public ObjectsTest {
protected:
  void SetUp() override
  {
    ObjectsTest::SetUp();
    g_timeout = 3000;
    g_retries = 3;
    g_ports.clear();
    g_i_ams.clear();
    g_port_result = 0;
    ObjectHooks hooks;
    hooks.get_apdu_timeout = get_timeout;
    hooks.set_apdu_timeout = set_timeout;
    hooks.get_apdu_retries = get_retries;
    hooks.set_apdu_retries = set_retries;
    hooks.add_local_port = add_port;
    hooks.send_i_am = send_i_am;
    object_set_hooks(&hooks);
    clock_.set_wall(1718000000);  // Monday 10 June 2024, 08:13:20 in Berlin (summer time)
    os_set_clock(&clock_);
    DeviceIdentity id;
    id.objects_file = "bacobj.bbu";
    id.application_software_version = "1.0.0.2";
    id.firmware_revision = "1.0.0.2";
    id.model_name = "ZOR17-Server";
    id.object_name = "ZOR17-Server";
    id.vendor_name = "Ambrel";
    id.description = "ZOR17-Server";
    id.location = "localhost";
    id.vendor_identifier = 555;
    id.apdu_timeout = 5000;
    id.apdu_retries = 4;
    ASSERT_EQ(object_InitDevice(kDevice, &id), 0);
    ASSERT_EQ(object_InitObjectsFile(kDevice, id.objects_file), 0);
  }
  int dev_read(uint32_t property, Value& v, int32_t index = -1)
  {
    return object_ReadObjectProperty(0, kDevice, OBJECT_DEVICE, kDevice, property, index, v.get());
  }
  ManualClock clock_;
};

TEST_F(DeviceObjectTest, IdentityAndStartValuesRead)
{
  const std::pair<uint32_t, const char*> texts[] = {
      {PROP_APPLICATION_SOFTWARE_VERSION, "1.0.0.2"}, {PROP_FIRMWARE_REVISION, "1.0.0.2"},
      {PROP_MODEL_NAME, "ZOR17-Server"}, {PROP_OBJECT_NAME, "ZOR17-Server"}, {PROP_VENDOR_NAME, "Ambrel"},
      {PROP_DESCRIPTION, "ZOR17-Server"}, {PROP_LOCATION, "localhost"}};
  for (auto [property, text] : texts) {
    Value v;
    ASSERT_EQ(dev_read(property, v), 0) << property;
    EXPECT_EQ(text_of(*v), text);
  }
  const std::pair<uint32_t, uint32_t> numbers[] = {
      {PROP_VENDOR_IDENTIFIER, 555}, {PROP_PROTOCOL_VERSION, 1}, {PROP_PROTOCOL_REVISION, 4},
      {PROP_APDU_TIMEOUT, 5000}, {PROP_APDU_SEGMENT_TIMEOUT, 5000}, {PROP_NUMBER_OF_APDU_RETRIES, 4},
      {PROP_BACKUP_FAILURE_TIMEOUT, 15}, {PROP_DATABASE_REVISION, 0}, {PROP_MAX_SEGMENTS_ACCEPTED, 16}};
  for (auto [property, number] : numbers) {
    Value v;
    ASSERT_EQ(dev_read(property, v), 0) << property;
    EXPECT_EQ(v->tag, TAG_UNSIGNED) << property;
    EXPECT_EQ(v->payload.unsigned_value, number) << property;
  }
  Value v;
  ASSERT_EQ(dev_read(PROP_SYSTEM_STATUS, v), 0);
  EXPECT_EQ(v->tag, TAG_ENUMERATED);
  ASSERT_EQ(dev_read(PROP_SEGMENTATION_SUPPORTED, v), 0);
  EXPECT_EQ(v->payload.enumerated, 0u);
  ASSERT_EQ(object_GetObjectProperty(-1, kDevice, OBJECT_DEVICE, kDevice, PROP_PROTOCOL_CONFORMANCE_CLASS, -1, v.get()),
            0);
  EXPECT_EQ(v->payload.unsigned_value, 6u);
  ASSERT_EQ(dev_read(PROP_CONFIGURATION_FILES, v, 1), 0);
  EXPECT_EQ(v->tag, TAG_OBJECT_ID);
  EXPECT_EQ(v->payload.object_id.type, OBJECT_FILE);
  EXPECT_EQ(v->payload.object_id.instance, kDevice);
  ASSERT_EQ(dev_read(PROP_LAST_RESTORE_TIME, v), 0);
  auto* restored = value_record<BACnetTimeStamp>(v.get());
  ASSERT_NE(restored, nullptr);
  EXPECT_EQ(restored->choice, 2u);
  EXPECT_EQ(restored->datetime.date.day, 10);
  EXPECT_EQ(restored->datetime.time.hour, 8);

  // The objects file's own File object.
  Value description, name;
  ASSERT_EQ(read(kDevice, OBJECT_FILE, kDevice, PROP_DESCRIPTION, description), 0);
  EXPECT_EQ(text_of(*description), "Bacnet Objects File");
  ASSERT_EQ(read(kDevice, OBJECT_FILE, kDevice, PROP_FILE_NAME, name), 0);
  EXPECT_EQ(text_of(*name), "bacobj.bbu");
}

// Kept as the numbers say: 96 carries the string of 25 bits, 97 the one of 40.
TEST_F(DeviceObjectTest, ProtocolBitStringsByPropertyNumber)
{
  Value v96, v97;
  ASSERT_EQ(dev_read(PROP_PROTOCOL_OBJECT_TYPES_SUPPORTED, v96), 0);
  ASSERT_EQ(dev_read(PROP_PROTOCOL_SERVICES_SUPPORTED, v97), 0);
  EXPECT_EQ(bits_of(*v96).size(), 25u);
  EXPECT_EQ(set_bits(*v96), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 8, 10, 13, 14, 15, 17, 19, 20}));
  EXPECT_EQ(bits_of(*v97).size(), 40u);
  std::vector<uint32_t> set97;
  for (uint32_t i = 0; i < 40; ++i)
    if (i != 13 && i != 18 && i != 19 && !(i >= 21 && i <= 25) && i != 37 && i != 38)
      set97.push_back(i);
  EXPECT_EQ(set_bits(*v97), set97);
}

TEST_F(DeviceObjectTest, ObjectListIsSortedAndOnlyTheDevicesOwn)
{
  create(OBJECT_ANALOG_VALUE, 3, kDevice);
  create(OBJECT_ANALOG_INPUT, 9, kDevice);
  create(OBJECT_ANALOG_INPUT, 2, kDevice);
  create(OBJECT_CALENDAR, 0, kDevice);
  create(OBJECT_ANALOG_INPUT, 1, kDevice + 1);  // another local device's object
  Value list;
  ASSERT_EQ(dev_read(PROP_OBJECT_LIST, list), 0);
  ASSERT_EQ(list->tag, TAG_OBJECT_ID_LIST);
  std::vector<std::pair<uint32_t, uint32_t>> ids;
  for (uint32_t i = 0; i < array_of(*list).used; ++i) {
    const BACnetObjectId& id = array_of(*list).elements[i].payload.object_id;
    ids.push_back({id.type, id.instance});
  }
  EXPECT_EQ(ids, (std::vector<std::pair<uint32_t, uint32_t>>{
                     {0, 2}, {0, 9}, {2, 3}, {6, 0}, {8, kDevice}, {10, kDevice}}));
  Value count, third;
  ASSERT_EQ(dev_read(PROP_OBJECT_LIST, count, 0), 0);
  EXPECT_EQ(count->payload.unsigned_value, 6u);
  ASSERT_EQ(dev_read(PROP_OBJECT_LIST, third, 3), 0);
  EXPECT_EQ(third->payload.object_id.type, 2u);
  EXPECT_EQ(dev_read(PROP_OBJECT_LIST, third, 7), PROPERTY_INVALID_ARRAY_INDEX);
}

TEST_F(DeviceObjectTest, LocalTimeDateAndZoneComeFromTheClock)
{
  Value date, time, dst, offset;
  ASSERT_EQ(dev_read(PROP_LOCAL_DATE, date), 0);
  ASSERT_EQ(date->tag, TAG_DATE);
  EXPECT_EQ(date->payload.date.year, 124);
  EXPECT_EQ(date->payload.date.month, 6);
  EXPECT_EQ(date->payload.date.day, 10);
  EXPECT_EQ(date->payload.date.weekday, 1);
  ASSERT_EQ(dev_read(PROP_LOCAL_TIME, time), 0);
  ASSERT_EQ(time->tag, TAG_TIME);
  EXPECT_EQ(time->payload.time.hour, 8);
  EXPECT_EQ(time->payload.time.minute, 13);
  EXPECT_EQ(time->payload.time.second, 20);
  ASSERT_EQ(dev_read(PROP_DAYLIGHT_SAVINGS_STATUS, dst), 0);
  EXPECT_EQ(dst->tag, TAG_BOOLEAN);
  EXPECT_EQ(dst->payload.boolean, 1);
  ASSERT_EQ(dev_read(PROP_UTC_OFFSET, offset), 0);
  EXPECT_EQ(offset->tag, TAG_SIGNED);
  EXPECT_EQ(offset->payload.signed_value, -60);

  clock_.set_wall(1704063599);  // Sunday 31 December 2023, 23:59:59 in Berlin (winter time)
  ASSERT_EQ(dev_read(PROP_DAYLIGHT_SAVINGS_STATUS, dst), 0);
  EXPECT_EQ(dst->payload.boolean, 0);
  ASSERT_EQ(dev_read(PROP_LOCAL_DATE, date), 0);
  EXPECT_EQ(date->payload.date.weekday, 7);
  EXPECT_EQ(date->payload.date.day, 31);

  // West of UTC the offset is positive; zones off the full hour keep their minutes.
  for (auto [zone, minutes] : {std::pair{"America/New_York", 300}, std::pair{"Asia/Kolkata", -330}}) {
    ScopedTimeZone here(zone);
    ASSERT_EQ(dev_read(PROP_UTC_OFFSET, offset), 0);
    EXPECT_EQ(offset->payload.signed_value, minutes) << zone;
  }
}

TEST_F(DeviceObjectTest, NetworkWritesReachOnlyTwoProperties)
{
  Value v;
  set_unsigned(v, 6000);
  EXPECT_EQ(object_WriteObjectProperty(0, kDevice, 8, kDevice, PROP_APDU_TIMEOUT, -1, v.get(), 0), 41);
  EXPECT_EQ(g_timeout, 5000u);
  set_unsigned(v, 65535);
  EXPECT_EQ(object_WriteObjectProperty(0, kDevice, 8, kDevice, PROP_BACKUP_FAILURE_TIMEOUT, -1, v.get(), 0), 0);
  set_unsigned(v, 65536);
  EXPECT_EQ(object_WriteObjectProperty(0, kDevice, 8, kDevice, PROP_BACKUP_FAILURE_TIMEOUT, -1, v.get(), 0), 38);
  set_real(v, 1);
  EXPECT_EQ(object_WriteObjectProperty(0, kDevice, 8, kDevice, PROP_BACKUP_FAILURE_TIMEOUT, -1, v.get(), 0), 10);
  for (uint32_t ro : {10u, 12u, 24u, 28u, 55u, 56u, 57u, 76u, 95u, 96u, 97u, 107u, 119u, 152u, 562u, 563u, 570u}) {
    set_unsigned(v, 1);
    EXPECT_EQ(object_WriteObjectProperty(0, kDevice, 8, kDevice, ro, -1, v.get(), 0), 41) << ro;
  }
  EXPECT_EQ(object_WriteObjectProperty(0, kDevice, 8, kDevice, PROP_VT_CLASSES_SUPPORTED, -1, v.get(), 0), 33);

  // Time synchronisation recipients: a list of recipients, written whole.
  EXPECT_EQ(object_WriteObjectProperty(0, kDevice, 8, kDevice, PROP_TIME_SYNCHRONIZATION_RECIPIENTS, -1, v.get(), 0),
            10);
  BACnetValue recipient{};
  value_init(&recipient, TAG_RECIPIENT);
  value_record<BACnetRecipient>(&recipient)->choice = 1;
  value_record<BACnetRecipient>(&recipient)->address.network = 65535;
  Value list;
  make_list(list, TAG_RECIPIENT_LIST, {recipient});
  ASSERT_EQ(object_WriteObjectProperty(0, kDevice, 8, kDevice, PROP_TIME_SYNCHRONIZATION_RECIPIENTS, -1, list.get(), 0),
            0);
  ASSERT_EQ(object_GetObjectProperty(-1, kDevice, 8, kDevice, PROP_TIME_SYNCHRONIZATION_RECIPIENTS, -1, v.get()), 0);
  EXPECT_EQ(v->tag, TAG_RECIPIENT_LIST);
  EXPECT_EQ(array_of(*v).used, 1u);

  // The stack itself sets the APDU settings through the inner door, by their own rules.
  EXPECT_EQ(object_SetNumber(kDevice, 8, kDevice, PROP_APDU_TIMEOUT, 2999), -1);
  EXPECT_EQ(object_SetNumber(kDevice, 8, kDevice, PROP_APDU_TIMEOUT, 9000), 0);
  ASSERT_EQ(dev_read(PROP_APDU_SEGMENT_TIMEOUT, v), 0);
  EXPECT_EQ(v->payload.unsigned_value, 9000u);
}

TEST_F(DeviceObjectTest, WildcardInstanceNamesTheLocalDevice)
{
  Value v;
  ASSERT_EQ(object_ReadObjectProperty(0, kDevice, OBJECT_DEVICE, DEVICE_WILDCARD_INSTANCE, PROP_OBJECT_IDENTIFIER, -1,
                                      v.get()),
            0);
  EXPECT_EQ(v->payload.object_id.instance, kDevice);
  ASSERT_EQ(dev_read(PROP_LOCAL_INSTANCE, v), 0);
  EXPECT_EQ(v->payload.unsigned_value, kDevice);
}

TEST_F(DeviceObjectTest, SetupRequestReidentifiesTheDevice)
{
  ASSERT_EQ(object_DeviceSetupInit(), 0);
  const uint8_t mac[6] = {10, 111, 1, 2, 0xBA, 0xC0};
  int wildcard = -2, result = -2;
  std::atomic<bool> answered{false};
  std::thread api([&] {
    wildcard = object_RequestDeviceSetup(7, DEVICE_WILDCARD_INSTANCE, mac, 6, "x", "x", "x", "x", "x", "x", "x");
    result = object_RequestDeviceSetup(7, 815, mac, 6, "2.0", "2.1", "Model", "Room 12", "Vendor", nullptr, "Floor 3");
    answered = true;
  });
  // The stack thread's poll applies each entry once it is queued.
  while (!answered) {
    object_ApplyDeviceSetups();
    std::this_thread::yield();
  }
  api.join();
  EXPECT_EQ(wildcard, -1);
  EXPECT_EQ(result, 0);

  Value v;
  ASSERT_EQ(read(815, OBJECT_DEVICE, 815, PROP_OBJECT_NAME, v), 0);
  EXPECT_EQ(text_of(*v), "Room 12");
  ASSERT_EQ(read(815, OBJECT_DEVICE, 815, PROP_LOCATION, v), 0);
  EXPECT_EQ(text_of(*v), "Floor 3");
  ASSERT_EQ(read(815, OBJECT_DEVICE, 815, PROP_DESCRIPTION, v), 0);
  EXPECT_EQ(v->tag, TAG_CHARACTER_STRING);
  EXPECT_EQ(text_of(*v), "");
  ASSERT_EQ(read(815, OBJECT_DEVICE, 815, PROP_VENDOR_IDENTIFIER, v), 0);
  EXPECT_EQ(v->payload.unsigned_value, 0u);
  ASSERT_EQ(g_ports.size(), 1u);
  EXPECT_EQ(g_ports[0].code, 3);
  EXPECT_EQ(g_ports[0].instance, 815);
  EXPECT_EQ(g_ports[0].network, 7u);
  EXPECT_EQ(g_ports[0].mac, std::vector<uint8_t>(mac, mac + 6));
  ASSERT_EQ(g_i_ams.size(), 1u);
  EXPECT_EQ(g_i_ams[0].first.type, OBJECT_DEVICE);
  EXPECT_EQ(g_i_ams[0].first.instance, 815u);
  EXPECT_EQ(g_i_ams[0].second, 7u);  // announced on the set-up's network
  object_DeviceSetupShutdown();
}

TEST_F(DeviceObjectTest, SetupWhoseAddressIsNotRegisteredAnswersMinusOneAndAnnouncesNothing)
{
  ASSERT_EQ(object_DeviceSetupInit(), 0);
  g_port_result = -1;
  DeviceSetupEntry e;
  e.done = std::make_shared<std::promise<int>>();
  std::future<int> outcome = e.done->get_future();
  ASSERT_EQ(object_QueueDeviceSetup(&e), 0);
  object_ApplyDeviceSetups();
  EXPECT_EQ(outcome.get(), -1);
  EXPECT_TRUE(g_i_ams.empty());
  object_DeviceSetupShutdown();
}

TEST_F(DeviceObjectTest, SetupQueueHoldsSixtyFourOldestFirst)
{
  ASSERT_EQ(object_DeviceSetupInit(), 0);
  for (uint32_t i = 0; i < 64; ++i) {
    DeviceSetupEntry e;
    e.instance = 100 + i;
    e.texts[3] = strdup("queued");
    ASSERT_EQ(object_QueueDeviceSetup(&e), 0);
  }
  DeviceSetupEntry full;
  EXPECT_EQ(object_QueueDeviceSetup(&full), -1);
  EXPECT_EQ(object_ApplyDeviceSetups(), 64);
  ASSERT_EQ(g_i_ams.size(), 64u);
  for (uint32_t i = 0; i < 64; ++i)
    EXPECT_EQ(g_i_ams[i].first.instance, 100 + i);
  object_DeviceSetupShutdown();
}
