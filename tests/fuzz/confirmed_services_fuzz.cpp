// Arbitrary confirmed requests into the service dispatch and its handlers, with an object
// database of every creatable and commandable kind, an Analog Value in alarm with its
// Notification Class, and File objects over real files behind them, and the application
// layer (server transactions, segmentation) in front. Seconds pass where the input says, and
// the behaviour engine runs in each, so subscriptions, acknowledgments and list changes meet
// the reporting timers.
//
// The input is a script of records, each a header of four octets and its parameters:
//   [0] service choice; [1] max-segments/max-APDU octet; [2] bit 0: through the network and
//   application layer (else straight into the dispatcher), bit 1: segmented response accepted;
//   [3] length of the parameters that follow.
// A record whose service choice is 255 is no request: the clock moves on by [1] + 1 seconds and
// the behaviour engine runs once, as the stack's pass runs it once for any change of the second
// (its parameters are skipped). A run walks every object: one after every request was most of
// what an input cost.
// A script ends after four records: that holds each sequence the services answer differently
// (subscribe, change, a second, the notification; create, write, delete; an event and its
// acknowledgment), and longer scripts halved the inputs a run tries without reaching more code.
//
// Every input starts from a fresh clock, freshly started communication modules and the object
// database as its first second left it, and ends with the communication modules' shutdown.
// The database is built once (the stack host's modules without the object API and the cache,
// started through its own tables, then the objects and the first second); after every input a
// snapshot brings it back (database_snapshot.h: every field of every record compared, the
// differing ones written back, the table's layout checked) or, where that cannot be shown, it is
// built anew. The two files are read back and rewritten where they differ. So no input meets
// what an earlier one left behind, and a finding reproduces from its one input.
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
#include "database_snapshot.h"

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
// Started and shut down around every input; the database stays.
constexpr StackModules kCommunication = kModules & ~kModuleObjects;
constexpr uint8_t kSecondsPass = 255;
constexpr int kMaxRecords = 4;

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

// The files behind File objects 1 and 2, and a path in a folder that does not exist for 3.
const std::string& file_path(int i)
{
  static const std::string paths[] = {files_dir() + "/one.bin", files_dir() + "/two.bin",
                                      files_dir() + "/none/three.bin"};
  return paths[i];
}

// Octets 0, 1, 2, ... as every input finds the two files. Only AtomicWriteFile changes them,
// and in place: each is read back after an input through a descriptor kept open (one read)
// and written anew only when it differs.
class Files {
public:
  Files()
  {
    for (std::size_t i = 0; i < sizeof counting_; ++i)
      counting_[i] = uint8_t(i);
    for (int i = 0; i < 2; ++i) {
      write(i);
      read_back_[i] = ::open(file_path(i).c_str(), O_RDONLY);
    }
  }
  void restore()
  {
    uint8_t now[sizeof counting_ + 1];
    for (int i = 0; i < 2; ++i) {
      ssize_t n = ::pread(read_back_[i], now, sizeof now, 0);
      if (n != ssize_t(kLengths[i]) || std::memcmp(now, counting_, kLengths[i]) != 0)
        write(i);
    }
  }

private:
  static constexpr std::size_t kLengths[2] = {64, 2000};

  void write(int i)
  {
    int fd = ::open(file_path(i).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, counting_, kLengths[i]) != ssize_t(kLengths[i]))
      std::abort();
    ::close(fd);
  }

  uint8_t counting_[2000];
  int read_back_[2];
};

// Beside the Device object the start made: one object of every other kind, File objects over
// files and the alarm.
void populate()
{
  for (uint32_t type : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 9u, 13u, 14u, 15u, 17u, 19u, 20u, 128u})
    object_CreateObject(kOwn, type, 1);
  for (uint32_t i = 0; i < 3; ++i) {
    object_CreateObject(kOwn, 10, i + 1);
    object_SetString(kOwn, 10, i + 1, 555, file_path(int(i)).c_str());
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
    c.identity.object_name = "ZOR17";
    c.identity.model_name = "ZOR17_BACnet";
    c.identity.vendor_identifier = 1417;
    c.identity.apdu_retries = 3;  // the client layer's
    return c;
  }();
  return config;
}

const DriverContext kContext{};  // no trace

constexpr uint32_t kStartSeconds = 1767610800;

// The port the requests arrive on; what it sends is dropped.
NetworkPort& port()
{
  static NetworkPort p = [] {
    NetworkPort n;
    n.address = station(1);
    n.send = discard;
    n.max_apdu_code = 5;
    return n;
  }();
  return p;
}

void start(StackModules modules)
{
  network_init_port(&port());
  stack_modules_start(stack_config(), &kContext, modules, nullptr);
  address_binding_add_local_port(5, -1, &port().address);
}

void stop_communication()
{
  stack_modules_stop(kCommunication);
  client_set_communication_state(kCommunicationEnabled);
}

// The database as the stack's start, `populate` and the first second leave it; the
// communication modules are shut down again.
void build_database()
{
  ManualClock clock_source;
  clock_source.set_wall(kStartSeconds);
  os_set_clock(&clock_source);
  start(kModules);
  populate();
  object_second_tick();
  stop_communication();
  os_set_clock(nullptr);
}

// Built once per process.
DatabaseSnapshot& database()
{
  static DatabaseSnapshot& snapshot = *[] {
    build_database();
    auto* taken = new DatabaseSnapshot;
    taken->take();
    return taken;
  }();
  return snapshot;
}

// After every input: the database as it was taken, or built anew.
void reset_database()
{
  if (database().restore())
    return;
  stack_modules_stop(kModuleObjects);
  build_database();
  if (!database().restore()) {
    std::fprintf(stderr, "confirmed_services_fuzz: a database built anew differs from the first\n");
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static Files files;
  database();
  ManualClock clock_source;
  clock_source.set_wall(kStartSeconds);
  os_set_clock(&clock_source);
  start(kCommunication);

  std::size_t at = 0;
  uint8_t invoke = 0;
  for (int record = 0; record < kMaxRecords && at + 4 <= size; ++record) {
    uint8_t choice = data[at], max = data[at + 1], flags = data[at + 2];
    std::size_t length = std::min<std::size_t>(data[at + 3], size - at - 4);
    std::span<const uint8_t> parameters(data + at + 4, length);
    at += 4 + length;
    if (choice == kSecondsPass) {
      clock_source.set_wall(clock_source.wall().seconds + 1 + max);
      object_second_tick();
      continue;
    }
    if (flags & 0x01)
      dispatch_through_network(choice, max, flags & 0x02, invoke++, parameters, port().address);
    else
      dispatch_directly(choice, max, flags & 0x02, parameters, port().address);
    clock_source.advance_ms(100);
  }

  stop_communication();
  os_set_clock(nullptr);
  files.restore();
  reset_database();
  return 0;
}
