// Arbitrary confirmed requests into the service dispatch and its handlers, with an object
// database of every creatable and commandable kind, an Analog Value in alarm with its
// Notification Class, and File objects over real files behind them, and the application
// layer (server transactions, segmentation) in front. A second passes after every request and
// the behaviour engine runs, so subscriptions, acknowledgments and list changes meet the
// reporting timers.
//
// The input is a script of requests, each a header of four octets and its parameters:
//   [0] service choice; [1] max-segments/max-APDU octet; [2] bit 0: through the network and
//   application layer (else straight into the dispatcher), bit 1: segmented response accepted,
//   bit 2: the next request comes within the same second (no tick in between);
//   [3] length of the parameters that follow.
// Every input starts from a fresh clock, a fresh stack and object database (the stack host's
// modules without the object API and the cache, started through its own tables) and ends with
// their shutdown; the files are rewritten first. So no input meets what an earlier one left
// behind, and a finding reproduces from its one input. Building the database is most of what an
// input costs, but it cannot be kept and repaired instead: a request or a tick may change any
// record, the database cannot tell which (every field is reached through a writable pointer),
// and the tick walks the table in slot order, which deleting and re-creating an object changes.
#include "backend/stack_modules.h"
#include "bacnet/application/application_layer.h"
#include "bacnet/binding/address_binding.h"
#include "bacnet/client/client_request.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/network/network_main.h"
#include "bacnet/network/npdu.h"
#include "bacnet/objects/object_behaviour.h"
#include "bacnet/objects/object_lists.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/services/service_dispatch.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kOwn = 4711;
constexpr StackModules kModules = kWholeStack & ~(kModuleObjectApi | kModuleCache);

// On tmpfs: the files are rewritten for every input, and on disk that cost more than the
// requests.
std::string files_dir()
{
  static const std::string dir = [] {
    std::string d = "/dev/shm/zor17-fuzz-services-" + std::to_string(getpid());
    std::filesystem::create_directories(d);
    std::atexit([] { std::filesystem::remove_all("/dev/shm/zor17-fuzz-services-" + std::to_string(getpid())); });
    return d;
  }();
  return dir;
}

int discard(DatalinkPort*, const BACnetAddress&, const BACnetAddress&, std::span<const uint8_t>, uint8_t, uint8_t)
{
  return 0;
}

BACnetAddress station(uint8_t last)
{
  BACnetAddress a{};
  a.network = 1;
  a.mac_len = 6;
  const uint8_t mac[6] = {10, 0, 0, last, 0xBA, 0xC0};
  std::memcpy(a.mac, mac, sizeof mac);
  return a;
}

// A Notification Class with a recipient on the port, and an Analog Value that goes to
// high-limit with the first second and waits for its acknowledgment.
void populate_alarm()
{
  ObjectRecord* nc = object_CreateObject(kOwn, 15, 10);
  const uint8_t all[7] = {1, 1, 1, 1, 1, 1, 1};
  bitstring_set(object_bits(nc, 1), all, 3);
  OwnedValue recipient;
  value_init(recipient.get(), TAG_DESTINATION);
  auto* d = value_record<BACnetDestination>(recipient.get());
  bitstring_set(&d->valid_days, all, 7);
  bitstring_set(&d->transitions, all, 3);
  d->from = d->to = {255, 255, 255, 255};
  d->recipient.choice = 1;
  d->recipient.address.network = 1;
  const uint8_t mac[6] = {10, 0, 0, 2, 0xBA, 0xC0};
  octetstring_set(&d->recipient.address.mac, mac, 6);
  d->issue_confirmed = 1;
  object_AddListElements(kOwn, 15, 10, 102, -1, 0, recipient.get());
  ObjectRecord* av = object_CreateObject(kOwn, 2, 2);
  *object_real(av, 45) = 50;
  *object_word(av, 113) = 0;
  bitstring_set(object_bits(av, 52), all, 2);
  bitstring_set(object_bits(av, 35), all, 3);
  *object_real(av, 104) = 60;
}

// Octets 0, 1, 2, ... as the file's whole contents.
void write_file(const std::string& path, std::size_t length)
{
  static const std::vector<uint8_t> counting = [] {
    std::vector<uint8_t> bytes(4096);
    for (std::size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = uint8_t(i);
    return bytes;
  }();
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0)
    return;
  if (::write(fd, counting.data(), std::min(length, counting.size())) < 0)
    std::abort();
  ::close(fd);
}

// Beside the Device object the start made: one object of every other kind, File objects over
// files and the alarm.
void populate()
{
  for (uint32_t type : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 9u, 13u, 14u, 15u, 17u, 19u, 20u, 128u})
    object_CreateObject(kOwn, type, 1);
  const std::string dir = files_dir();
  write_file(dir + "/one.bin", 64);
  write_file(dir + "/two.bin", 2000);
  const std::string paths[] = {dir + "/one.bin", dir + "/two.bin", dir + "/none/three.bin"};
  for (uint32_t i = 0; i < 3; ++i) {
    object_CreateObject(kOwn, 10, i + 1);
    object_SetString(kOwn, 10, i + 1, 555, paths[i].c_str());
  }
  object_CreateObject(kOwn, 10, 4);  // no path
  populate_alarm();
}

void dispatch_directly(uint8_t choice, uint8_t max, bool segmented, std::span<const uint8_t> parameters,
                       const BACnetAddress& own)
{
  // A copy of exactly the parameters, so that reading past them is caught.
  std::vector<uint8_t> data(parameters.begin(), parameters.end());
  ServiceRequest request;
  request.type = kApduConfirmedRequest;
  request.service_choice = choice;
  request.max_segments_apdu = max;
  request.segmented_response_accepted = segmented ? 1 : 0;
  request.source = station(2);
  request.data = data;
  ServiceAnswer answer;
  services_confirmed_indication(own, request, &answer, false, BACnetAddress{});
}

void dispatch_through_network(uint8_t choice, uint8_t max, bool segmented, uint8_t invoke,
                              std::span<const uint8_t> parameters, const BACnetAddress& own)
{
  std::vector<uint8_t> apdu = {uint8_t(segmented ? 0x02 : 0x00), max, invoke, choice};
  apdu.insert(apdu.end(), parameters.begin(), parameters.end());
  std::vector<uint8_t> npdu;
  NpduHeader header;
  if (npdu_encode(header, apdu, &npdu) != 0)
    return;
  network_receive(station(2), own, npdu, 1, 0);
  application_layer_periodic();
}

// The start-up record, made once: the start reads it and (without ports) writes nothing into it.
StackConfig& stack_config()
{
  static StackConfig config = [] {
    StackConfig c;
    c.device_instance = int32_t(kOwn);
    c.object_name = "ZOR17";
    c.model_name = "ZOR17_BACnet";
    c.vendor_identifier = 1417;
    c.apdu_retries = 3;  // the client layer's
    return c;
  }();
  return config;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  ManualClock clock_source;
  clock_source.set_wall(1767610800);
  os_set_clock(&clock_source);
  NetworkPort port;
  port.address = station(1);
  port.send = discard;
  port.max_apdu_code = 5;
  network_init_port(&port);
  static const DriverContext context;  // no trace
  stack_modules_start(stack_config(), &context, kModules, nullptr);
  address_binding_add_local_port(5, -1, &port.address);
  populate();
  object_second_tick();

  std::size_t at = 0;
  uint8_t invoke = 0;
  while (at + 4 <= size) {
    uint8_t choice = data[at], max = data[at + 1], flags = data[at + 2];
    std::size_t length = std::min<std::size_t>(data[at + 3], size - at - 4);
    std::span<const uint8_t> parameters(data + at + 4, length);
    at += 4 + length;
    if (flags & 0x01)
      dispatch_through_network(choice, max, flags & 0x02, invoke++, parameters, port.address);
    else
      dispatch_directly(choice, max, flags & 0x02, parameters, port.address);
    clock_source.advance_ms(100);
    if (!(flags & 0x04)) {
      clock_source.set_wall(clock_source.wall().seconds + 1);
      object_second_tick();
    }
  }

  stack_modules_stop(kModules);
  client_set_communication_state(kCommunicationEnabled);
  os_set_clock(nullptr);
  return 0;
}
