// The server side under test: the client-side stack of the client tests with an object
// database behind it (Device 4711 "ZOR17", model "ZOR17_BACnet"), every confirmed handler
// installed, and File objects over files in a fresh folder. A request goes in from the peer
// through the network layer; the answer APDU comes back as hex. Every answer is also kept for
// one tshark dissection.
#pragma once

#include "bacnet/client/client_fixture.h"

#include "bacnet/objects/device_object.h"
#include "bacnet/objects/object_hooks.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/services/confirmed_services.h"
#include "bacnet/services/device_management_services.h"
#include "bacnet/value/value.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace servertest {

using namespace clienttest;

inline std::string text_hex(const std::string& text) { return hex(std::span<const uint8_t>(
    reinterpret_cast<const uint8_t*>(text.data()), text.size())); }

inline std::vector<uint8_t> counting(std::size_t n, uint8_t first = 0)
{
  std::vector<uint8_t> out(n);
  for (std::size_t i = 0; i < n; ++i)
    out[i] = uint8_t(first + i);
  return out;
}

class Server : public ClientStack {
public:
  // The File objects: 1 over a 60-octet file, 2 without a path, 3 over a path that cannot be
  // opened, 4 read-only, 5 over a 5000-octet file.
  static constexpr uint32_t kFile = 1, kNoPath = 2, kBadPath = 3, kReadOnly = 4, kLarge = 5;

  void SetUp() override
  {
    ClientStack::SetUp();
    char pattern[] = "/tmp/zor17-services-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    ASSERT_EQ(objtable_create(), 0);
    DeviceIdentity identity;
    identity.object_name = "ZOR17";
    identity.model_name = "ZOR17_BACnet";
    identity.vendor_name = "Ambrel";
    identity.application_software_version = "1.0.0.2";
    identity.firmware_revision = "1.0";
    identity.vendor_identifier = 1417;
    ASSERT_EQ(object_InitDevice(kOwn, &identity), 0);
    ObjectHooks object_hooks;
    object_hooks.get_local_instance = address_binding_get_local_instance_value;
    object_set_hooks(&object_hooks);
    ASSERT_EQ(services_register_confirmed_handlers(&seams), 0);

    write_file("file1.bin", counting(60));
    write_file("file4.bin", counting(8));
    write_file("file5.bin", counting(5000));
    add_file(kFile, path("file1.bin"));
    add_file(kNoPath, "");
    add_file(kBadPath, dir + "/missing/file3.bin");
    add_file(kReadOnly, path("file4.bin"));
    *object_boolean(object_Find(kOwn, 10, kReadOnly), 99) = 1;
    add_file(kLarge, path("file5.bin"));
  }

  void TearDown() override
  {
    // The dispatcher outlives the test; the next program in this process finds it empty.
    for (int choice = 0; choice < 32; ++choice)
      services_set_confirmed_handler(uint8_t(choice), nullptr);
    objtable_destroy();
    object_set_hooks(nullptr);
    std::filesystem::remove_all(dir);
    ClientStack::TearDown();
  }

  std::string path(const std::string& name) const { return dir + "/" + name; }

  void write_file(const std::string& name, const std::vector<uint8_t>& bytes)
  {
    std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }

  std::vector<uint8_t> file_bytes(const std::string& name)
  {
    std::ifstream in(path(name), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  void add_file(uint32_t instance, const std::string& file_path)
  {
    ASSERT_NE(object_CreateObject(kOwn, 10, instance), nullptr);
    if (!file_path.empty()) {
      ASSERT_EQ(object_SetString(kOwn, 10, instance, 555, file_path.c_str()), 0);
    }
  }

  // A confirmed request from the peer (invoke id counting up from 1); the answer APDU with its
  // invoke id as II, or "" when nothing came back. `max` is the max-segments/max-APDU octet, `flags` the first
  // octet's low bits (2: segmented response accepted).
  std::string ask(uint8_t choice, const std::string& data, uint8_t max = 0x05, uint8_t flags = 0)
  {
    std::vector<uint8_t> apdu = {flags, max, ++invoke, choice};
    std::vector<uint8_t> parameters = hex(data);
    apdu.insert(apdu.end(), parameters.begin(), parameters.end());
    receive(apdu, peer);
    std::vector<Frame> frames = take();
    if (frames.empty())
      return "";
    EXPECT_EQ(frames.size(), 1u);
    answers.push_back(frames[0].apdu);
    std::string text = hex(frames[0].apdu);
    // The invoke id must be the request's; it stands as II in the expected answers.
    EXPECT_EQ(frames[0].apdu.size() > 1 ? frames[0].apdu[1] : -1, invoke);
    return text.size() >= 5 ? text.replace(3, 2, "II") : text;
  }

  // A whole answer: the PDU type octet, the invoke id, then the rest.
  static std::string answer(const std::string& type, const std::string& rest)
  {
    return type + " II" + (rest.empty() ? "" : " " + rest);
  }

  // Reads a property through the network door; 0 or the result.
  int read(uint32_t type, uint32_t instance, uint32_t property, BACnetValue* out, int32_t index = -1)
  {
    return object_ReadObjectProperty(-1, kOwn, type, instance, property, index, out);
  }

  std::string dir;
  ConfirmedServicesSeams seams;
  uint8_t invoke = 0;
  std::vector<std::vector<uint8_t>> answers;
};

}  // namespace servertest
