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

std::vector<std::string> g_files;  // saves and loads of the objects file, in order
bool g_save_fails = false;
int note_save(uint32_t)
{
  g_files.push_back("save");
  return g_save_fails ? -1 : 0;
}
int note_load(uint32_t) { g_files.push_back("load"); return 0; }

class DeviceManagement : public Server {
protected:
  void SetUp() override
  {
    g_reinitialized.clear();
    g_files.clear();
    g_save_fails = false;
    seams.save_device = note_save;
    seams.load_device = note_load;
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
  EXPECT_EQ(ask(20, "09 01 1D 0B 00 " + text_hex("KELDOR") + " 00 " + text_hex("xyz")), answer("50", "14 91 04 91 1A"));
  EXPECT_EQ(ask(20, "09 01"), answer("50", "14 91 04 91 1A"));
  EXPECT_EQ(g_reinitialized.size(), 2u);
}

TEST_F(DeviceManagement, ReinitializeDeviceStates)
{
  ObjectRecord* device = object_Find(kOwn, 8, kOwn);
  uint32_t& status = *object_word(device, 112);
  uint32_t& countdown = *object_word(device, FIELD_BACKUP_COUNTDOWN);
  *object_word(device, 153) = 40;  // backup-failure-timeout
  uint32_t revision = *object_word(device, 155);
  const struct {
    std::string state, answer;
    uint32_t status, countdown;
    bool save_fails = false;
  } steps[] = {
      {"02", "50 II 14 91 00 91 00", 0, 0, true},  // startbackup whose file cannot be saved
      {"02", "20 II 14", 5, 40},            // startbackup saves the objects file
      {"02", "50 II 14 91 00 91 02", 5, 40},  // a second one waits for the first
      {"04", "50 II 14 91 00 91 02", 5, 40},
      {"03", "20 II 14", 0, 0},             // endbackup
      {"04", "20 II 14", 3, 40},            // startrestore
      {"05", "20 II 14", 0, 0},             // endrestore reloads it
      {"04", "20 II 14", 3, 40},
      {"06", "20 II 14", 0, 0},             // abortrestore
      {"07", "20 II 14", 0, 0},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE("state " + step.state);
    g_save_fails = step.save_fails;
    EXPECT_EQ(ask(20, "09 " + step.state + " " + kPassword), step.answer);
    EXPECT_EQ(status, step.status);
    EXPECT_EQ(countdown, step.countdown);
  }
  EXPECT_THAT(g_files, ElementsAre("save", "save", "load"));
  EXPECT_EQ(*object_word(device, 155), revision + 1);
  BACnetDateTime now{};
  time_now_to_bacnet(&now);
  const BACnetTimeStamp& restored = *object_timestamp(device, 157);
  EXPECT_EQ(restored.choice, 2u);
  EXPECT_EQ(value_compare_datetime(&restored.datetime, &now), 0);
  // A restart waits while the device is being configured.
  *object_word(object_Find(kOwn, 8, kOwn), 112) = 3;
  EXPECT_EQ(ask(20, "09 01 " + kPassword), answer("50", "14 91 00 91 02"));
  EXPECT_TRUE(g_reinitialized.empty());
  EXPECT_EQ(ask(20, "19 01"), answer("50", "14 91 05 91 07"));
}

}  // namespace
