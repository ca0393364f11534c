#include "server_fixture.h"

#include "bacnet/codec/codec_device_services.h"

#include <gmock/gmock.h>

using namespace servertest;
using ::testing::ElementsAre;

namespace {

const std::string kReadName = "0C 02 00 12 67 19 4D";
const std::string kPassword = "1D 07 00 " + text_hex("KELDOR");

std::vector<uint32_t> g_reinitialized;
int note_reinitialize(const void* request)
{
  g_reinitialized.push_back(static_cast<const ReinitializeDeviceRequest*>(request)->state);
  return 0;
}

// Refuses every request with a password with password-failure (26 + 1).
int refuse_with_password(const void* request)
{
  return static_cast<const DeviceCommunicationControlRequest*>(request)->password.tag == TAG_NULL ? 0 : 27;
}

class DeviceManagement : public Server {
protected:
  void SetUp() override
  {
    g_reinitialized.clear();
    hooks.slots[14] = note_reinitialize;
    hooks.slots[15] = refuse_with_password;
    Server::SetUp();
  }
};

TEST_F(DeviceManagement, CommunicationControlIsAcknowledgedAndTheDeviceKeepsAnswering)
{
  // Disable, disable for two minutes, disable initiation, enable: none of them silences the
  // device, whose communication state belongs to the host.
  for (std::string request : {"19 01", "09 02 19 01", "19 02", "19 00"}) {
    EXPECT_EQ(ask(17, request), answer("20", "11")) << request;
    EXPECT_EQ(client_get_communication_state(), kCommunicationEnabled) << request;
    EXPECT_EQ(ask(12, kReadName).substr(0, 8), "30 II 0C") << request;
  }
}

TEST_F(DeviceManagement, CommunicationControlRefusals)
{
  EXPECT_EQ(ask(17, "19 01 2B 00 61 62"), answer("50", "11 91 04 91 1A"));  // the host's hook refuses
  EXPECT_EQ(ask(17, "19 03"), answer("50", "11 91 05 91 07"));                 // no such state
  EXPECT_EQ(ask(17, "09 01"), answer("50", "11 91 05 91 07"));
  EXPECT_EQ(ask(17, "19 01 00"), answer("50", "11 91 05 91 07"));
  EXPECT_EQ(client_get_communication_state(), kCommunicationEnabled);
}

TEST_F(DeviceManagement, ReinitializeDeviceWantsTheExactPassword)
{
  EXPECT_EQ(ask(20, "09 01 " + kPassword), answer("20", "14"));
  EXPECT_EQ(ask(20, "09 00 " + kPassword), answer("20", "14"));
  EXPECT_THAT(g_reinitialized, ElementsAre(1u, 0u));
  EXPECT_EQ(ask(20, "09 01 1D 07 00 " + text_hex("keldor")), answer("50", "14 91 04 91 1A"));
  EXPECT_EQ(ask(20, "09 01 1D 08 00 " + text_hex("KELDOR2")), answer("50", "14 91 04 91 1A"));
  EXPECT_EQ(ask(20, "09 01"), answer("50", "14 91 04 91 1A"));
  EXPECT_EQ(g_reinitialized.size(), 2u);
}

TEST_F(DeviceManagement, ReinitializeDeviceStates)
{
  // Backup and restore are not offered while the objects file cannot be saved or loaded.
  for (std::string state : {"02", "03", "04", "05", "06"})
    EXPECT_EQ(ask(20, "09 " + state + " " + kPassword), answer("50", "14 91 05 91 2D")) << state;
  EXPECT_EQ(ask(20, "09 07 " + kPassword), answer("20", "14"));
  // A restart waits while the device is being configured.
  *object_word(object_Find(kOwn, 8, kOwn), 112) = 3;
  EXPECT_EQ(ask(20, "09 01 " + kPassword), answer("50", "14 91 00 91 02"));
  EXPECT_TRUE(g_reinitialized.empty());
  EXPECT_EQ(ask(20, "19 01"), answer("50", "14 91 05 91 07"));
}

}  // namespace
