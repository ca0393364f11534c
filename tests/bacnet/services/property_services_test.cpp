#include "server_fixture.h"

#include "bacnet/codec/codec_acks.h"
#include "bacnet/services/service_dispatch.h"
#include "bacnet/value/owned.h"

#include <gmock/gmock.h>

using namespace servertest;
using ::testing::ElementsAre;

namespace {

// Device 4711 and Analog Value 1 as they stand in requests and answers.
const std::string kDevice = "02 00 12 67";
const std::string kAnalogValue1 = "00 80 00 01";

std::vector<std::string> g_trace;
void keep_trace(int level, const char* text) { g_trace.push_back(std::to_string(level) + " " + text); }

class PropertyServices : public Server {
protected:
  void SetUp() override
  {
    Server::SetUp();
    ASSERT_NE(object_CreateObject(kOwn, 2, 1), nullptr);
    ASSERT_NE(object_CreateObject(kOwn, 6, 0), nullptr);
    g_trace.clear();
  }
};

TEST_F(PropertyServices, ReadPropertyAnswersTheValue)
{
  EXPECT_EQ(ask(12, "0C " + kDevice + " 19 4D"),
            answer("30", "0C 0C " + kDevice + " 19 4D 3E 75 06 00 " + text_hex("ZOR17") + " 3F"));
  EXPECT_EQ(ask(12, "0C " + kDevice + " 19 46"),
            answer("30", "0C 0C " + kDevice + " 19 46 3E 75 0D 00 " + text_hex("ZOR17_BACnet") + " 3F"));
  EXPECT_EQ(ask(12, "0C " + kDevice + " 19 78"), answer("30", "0C 0C " + kDevice + " 19 78 3E 22 05 89 3F"));
  // The wildcard instance stands for the device itself, and the answer names it.
  EXPECT_EQ(ask(12, "0C 02 3F FF FF 19 4B"), answer("30", "0C 0C " + kDevice + " 19 4B 3E C4 " + kDevice + " 3F"));
  // A device set up at the same station answers under its own instance.
  DeviceIdentity set_up;
  set_up.object_name = "Raum 12";
  BACnetAddress no_mac{};
  no_mac.network = own.network;
  ASSERT_EQ(object_InitDevice(815, &set_up), 0);
  ASSERT_EQ(address_binding_add_local_port(3, 815, &no_mac), 0);
  EXPECT_EQ(ask(12, "0C 02 00 03 2F 19 4D"),
            answer("30", "0C 0C 02 00 03 2F 19 4D 3E 75 08 00 " + text_hex("Raum 12") + " 3F"));
  // So do its other objects, where the own device holds none of that identifier.
  ASSERT_EQ(object_SetString(815, OBJECT_ANALOG_VALUE, 2, PROP_OBJECT_NAME, "Zuluft"), 0);
  EXPECT_EQ(ask(12, "0C 00 80 00 02 19 4D"),
            answer("30", "0C 0C 00 80 00 02 19 4D 3E 75 07 00 " + text_hex("Zuluft") + " 3F"));
  // A station is one network: a device set up on another network is not found at this one.
  no_mac.network = own.network + 1;
  ASSERT_EQ(object_InitDevice(816, &set_up), 0);
  ASSERT_EQ(address_binding_add_local_port(3, 816, &no_mac), 0);
  ASSERT_EQ(object_SetString(816, OBJECT_ANALOG_VALUE, 3, PROP_OBJECT_NAME, "Abluft"), 0);
  EXPECT_EQ(ask(12, "0C 00 80 00 03 19 4D"), answer("50", "0C 91 01 91 1F"));
  EXPECT_EQ(ask(12, "0C 02 00 03 30 19 4D"), answer("50", "0C 91 01 91 1F"));
  // A device that comes to this network later does not take over here an identifier that one
  // already here holds.
  ASSERT_EQ(address_binding_add_local_port(3, 817, &no_mac), 0);
  ASSERT_EQ(object_SetString(817, OBJECT_ANALOG_VALUE, 4, PROP_OBJECT_NAME, "Vorlauf"), 0);
  no_mac.network = own.network;
  ASSERT_EQ(address_binding_add_local_port(3, 818, &no_mac), 0);
  ASSERT_EQ(object_SetString(818, OBJECT_ANALOG_VALUE, 4, PROP_OBJECT_NAME, "Ruecklauf"), 0);
  ASSERT_EQ(address_binding_add_local_port(3, 817, &no_mac), 0);
  EXPECT_EQ(ask(12, "0C 00 80 00 04 19 4D"),
            answer("30", "0C 0C 00 80 00 04 19 4D 3E 75 0A 00 " + text_hex("Ruecklauf") + " 3F"));
  // The newcomer's object answers here once the first one is gone.
  ASSERT_EQ(object_DeleteObject(818, OBJECT_ANALOG_VALUE, 4), 0);
  EXPECT_EQ(ask(12, "0C 00 80 00 04 19 4D"),
            answer("30", "0C 0C 00 80 00 04 19 4D 3E 75 08 00 " + text_hex("Vorlauf") + " 3F"));
  // Made again, the first one's object answers again.
  ASSERT_EQ(object_SetString(818, OBJECT_ANALOG_VALUE, 4, PROP_OBJECT_NAME, "Ruecklauf"), 0);
  EXPECT_EQ(ask(12, "0C 00 80 00 04 19 4D"),
            answer("30", "0C 0C 00 80 00 04 19 4D 3E 75 0A 00 " + text_hex("Ruecklauf") + " 3F"));
  // Cleared tables forget the order: the two set up again, 817 first, 817's object answers.
  address_binding_clear();
  ASSERT_EQ(address_binding_add_local_port(5, -1, &own), 0);
  for (uint32_t device : {817, 818})
    ASSERT_EQ(address_binding_add_local_port(3, device, &no_mac), 0);
  EXPECT_EQ(ask(12, "0C 00 80 00 04 19 4D"),
            answer("30", "0C 0C 00 80 00 04 19 4D 3E 75 08 00 " + text_hex("Vorlauf") + " 3F"));
  // An element of an array property: the object list's length.
  // The Device, AV 1, Calendar 0 and the five Files.
  EXPECT_EQ(ask(12, "0C " + kDevice + " 19 4C 29 00"), answer("30", "0C 0C " + kDevice + " 19 4C 29 00 3E 21 08 3F"));
}

TEST_F(PropertyServices, ReadPropertyFailuresCarryTheObjectDatabasesClassAndCode)
{
  EXPECT_EQ(ask(12, "0C " + kDevice + " 19 55"), answer("50", "0C 91 02 91 20"));   // unknown property
  EXPECT_EQ(ask(12, "0C 00 00 00 63 19 55"), answer("50", "0C 91 01 91 1F"));       // unknown object
  EXPECT_EQ(ask(12, "0C " + kDevice + " 19 4D 29 01"), answer("50", "0C 91 02 91 32"));  // not an array
  // A File object without a file has neither size nor modification date: other.
  EXPECT_EQ(ask(12, "0C 02 80 00 02 19 2A"), answer("50", "0C 91 02 91 00"));
  EXPECT_EQ(ask(12, "0C 02 80 00 02 19 47"), answer("50", "0C 91 02 91 00"));
}

TEST_F(PropertyServices, ReadPropertyArgumentErrorsAreRejectedAsInvalidTag)
{
  EXPECT_EQ(ask(12, "0C " + kDevice + " 19 4D 00"), answer("60", "04"));  // an octet too many
  EXPECT_EQ(ask(12, "0C " + kDevice), answer("60", "04"));                // property missing
  EXPECT_EQ(ask(12, ""), answer("60", "04"));
  EXPECT_EQ(ask(12, "1C " + kDevice + " 19 4D"), answer("60", "04"));     // wrong tag
}

TEST_F(PropertyServices, ReadPropertyMultipleAnswersEachReference)
{
  EXPECT_EQ(ask(14, "0C " + kDevice + " 1E 09 4D 09 46 09 78 09 55 1F"),
            answer("30", "0E 0C " + kDevice + " 1E 29 4D 4E 75 06 00 " + text_hex("ZOR17") + " 4F 29 46 4E 75 0D 00 " +
                             text_hex("ZOR17_BACnet") + " 4F 29 78 4E 22 05 89 4F 29 55 5E 91 02 91 20 5F 1F"));
}

TEST_F(PropertyServices, ReadPropertyMultipleAllOfAMissingObjectIsAResultNotAnError)
{
  EXPECT_EQ(ask(14, "0C 00 00 00 63 1E 09 08 1F"), answer("30", "0E 0C 00 00 00 63 1E 29 08 5E 91 01 91 1F 5F 1F"));
}

TEST_F(PropertyServices, ReadPropertyMultipleAllListsEveryPropertyOfTheObject)
{
  std::string reply = ask(14, "0C 01 80 00 00 1E 09 08 1F 0C " + kDevice + " 1E 09 69 1F");
  ASSERT_EQ(reply.substr(0, 2), "30");
  std::vector<uint8_t> parameters = hex(reply.substr(9));
  pdu_buffer view = pdu_buffer_view(parameters.data(), uint32_t(parameters.size()));
  Owned<ReadPropertyMultipleAck, pdu_free_read_property_multiple_ack> ack;
  ASSERT_EQ(pdu_decode_read_property_multiple_ack(&view, ack.get()), 0);
  ASSERT_EQ(ack->results.count, 2u);
  const ReadAccessResult* calendar = inline_list_get(&ack->results, 0);
  std::vector<uint32_t> properties;
  for (uint32_t i = 0; i < calendar->results.count; ++i) {
    const ReadAccessResultElement* e = inline_list_get(&calendar->results, i);
    EXPECT_EQ(e->choice, 0u) << e->property;
    EXPECT_EQ(e->array_index, -1);
    properties.push_back(e->property);
  }
  EXPECT_THAT(properties, ElementsAre(75, 77, 79, 28, 85, 23));
  // The required properties of the Device: those the object database cannot give here are
  // error results within the answer.
  const ReadAccessResult* device = inline_list_get(&ack->results, 1);
  EXPECT_GT(device->results.count, 10u);
  bool object_list_seen = false;
  for (uint32_t i = 0; i < device->results.count; ++i) {
    const ReadAccessResultElement* e = inline_list_get(&device->results, i);
    if (e->property == 76) {
      object_list_seen = true;
      EXPECT_EQ(e->choice, 0u);
      EXPECT_EQ(value_array(&e->value)->used, 8u);
    }
  }
  EXPECT_TRUE(object_list_seen);
}

TEST_F(PropertyServices, ReadPropertyMultipleThatDoesNotDecodeIsAnError)
{
  EXPECT_EQ(ask(14, "09 4D"), answer("50", "0E 91 01 91 FF"));
  EXPECT_EQ(ask(14, ""), answer("50", "0E 91 01 91 FF"));
  EXPECT_EQ(ask(14, "0C " + kDevice + " 1E 09 4D"), answer("50", "0E 91 01 91 FF"));
}

TEST_F(PropertyServices, WritePropertyWritesAndAnswersSimpleAck)
{
  EXPECT_EQ(ask(15, "0C " + kDevice + " 19 99 3E 22 01 2C 3F"), answer("20", "0F"));
  OwnedValue v;
  ASSERT_EQ(read(8, kOwn, 153, v.get()), 0);
  EXPECT_EQ(v->payload.unsigned_value, 300u);
  // A commandable present value at priority 8.
  EXPECT_EQ(ask(15, "0C " + kAnalogValue1 + " 19 55 3E 44 41 48 00 00 3F 49 08"), answer("20", "0F"));
  ASSERT_EQ(read(2, 1, 85, v.get()), 0);
  EXPECT_EQ(v->payload.real, 12.5f);
}

TEST_F(PropertyServices, WritePropertyFailuresCarryTheExactClassAndCode)
{
  EXPECT_EQ(ask(15, "0C " + kDevice + " 19 4D 3E 74 00 61 62 63 3F"), answer("50", "0F 91 02 91 28"));  // read only
  EXPECT_EQ(ask(15, "0C " + kDevice + " 19 99 3E 44 41 48 00 00 3F"), answer("50", "0F 91 02 91 09"));     // a REAL
  EXPECT_EQ(ask(15, "0C " + kDevice + " 19 99 3E 23 01 11 70 3F"), answer("50", "0F 91 02 91 25"));        // 70000
  EXPECT_EQ(ask(15, "0C 00 00 00 63 19 55 3E 44 41 48 00 00 3F"), answer("50", "0F 91 01 91 1F"));         // no object
}

TEST_F(PropertyServices, WritePropertyThatDoesNotDecodeIsInconsistent)
{
  EXPECT_EQ(ask(15, "0C " + kDevice + " 19 99"), answer("50", "0F 91 05 91 07"));
  EXPECT_EQ(ask(15, "0C " + kDevice + " 19 99 3E 22 01 2C 3F 49 11"), answer("50", "0F 91 05 91 07"));  // priority 17
  EXPECT_EQ(ask(15, "0C " + kDevice + " 19 99 3E 22 01 2C 3F 00"), answer("50", "0F 91 05 91 07"));
}

TEST_F(PropertyServices, WritePropertyTracesWhenSwitchedOn)
{
  DriverContext context;
  context.log = keep_trace;
  context.options[kServicesTraceOption] = 1;
  services_init(&context, &hooks);
  ask(15, "0C " + kDevice + " 19 99 3E 22 01 2C 3F");
  ask(15, "0C 02 40 00 01 19 25 3E 91 00 3F");
  EXPECT_THAT(g_trace, ElementsAre("4 Write Property Request : - ObjectType=8 Instance=4711 Property=153 Index=-1",
                                   "4 got it", "4 Write Property Request : - ObjectType=9 Instance=1 Property=37 Index=-1"));
}

TEST_F(PropertyServices, WritePropertyMultipleStopsAtTheFirstFailureAndKeepsEarlierWrites)
{
  // Present value 12.5, then the read-only object name.
  EXPECT_EQ(ask(16, "0C " + kAnalogValue1 + " 1E 09 55 2E 44 41 48 00 00 2F 09 4D 2E 74 00 61 62 63 2F 1F"),
            answer("50", "10 0E 91 02 91 28 0F 1E 0C " + kAnalogValue1 + " 19 4D 1F"));
  OwnedValue v;
  ASSERT_EQ(read(2, 1, 85, v.get()), 0);
  EXPECT_EQ(v->payload.real, 12.5f);
  const FailedWrite& failed = services_failed_write();
  EXPECT_EQ(failed.object_type, 2u);
  EXPECT_EQ(failed.object_instance, 1u);
  EXPECT_EQ(failed.property, 77u);
  EXPECT_EQ(failed.array_index, -1);

  // Two specifications that both succeed.
  EXPECT_EQ(ask(16, "0C " + kAnalogValue1 + " 1E 09 55 2E 44 41 20 00 00 2F 1F 0C " + kDevice +
                        " 1E 09 99 2E 21 3C 2F 1F"),
            answer("20", "10"));
  ASSERT_EQ(read(8, kOwn, 153, v.get()), 0);
  EXPECT_EQ(v->payload.unsigned_value, 60u);
}

TEST_F(PropertyServices, WritePropertyMultipleThatDoesNotDecodeIsRejected)
{
  EXPECT_EQ(ask(16, ""), answer("60", "04"));
  EXPECT_EQ(ask(16, "09 55"), answer("60", "04"));
  EXPECT_EQ(ask(16, "0C " + kAnalogValue1 + " 1E 09 55 2E 44 41 48 00 00 2F"), answer("60", "04"));
}

TEST_F(PropertyServices, UnhandledChoicesAreRejectedAsUnrecognised)
{
  for (uint8_t choice : {13, 18, 28})
    EXPECT_EQ(ask(choice, "0C " + kDevice + " 19 4D"), answer("60", "09")) << int(choice);
}

}  // namespace
