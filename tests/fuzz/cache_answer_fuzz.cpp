// Arbitrary answers of remote devices into the remote-property cache: the probes of a device's
// services and segmentation, ReadProperty and ReadPropertyMultiple of its properties, and
// WriteProperty, over a few refresh cycles on a fake client layer.
//
// Set-up of every input: device 100 bound and known to take ReadPropertyMultiple, device 101
// bound but never probed; Analog Values 1-3 of device 100 (one with a write waiting) and 1 of
// device 101 are cached, two of them subscribed. Each cycle sends its requests; the input then
// answers them in order, each answer three octets and its data:
//   [0] PDU type (0, 1 and 4: no answer), [1] service choice, [2] length of the data.
// A request beyond the input's end gets no answer; a cycle after the first runs only while the
// input has answers left (types 0, 1 and 4 reach the paths of requests nobody answers).
// Every input ends with the cache's shutdown.
#include "bacnet/cache/cache.h"
#include "bacnet/client/device_discovery.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kCycles = 3;

ManualClock clock_source;
uint32_t g_tick = 0;

struct Sent {
  ClientRequestCallback callback;
  void* user_data;
};
std::vector<Sent> g_sent;

int keep_read(ClientRequestCallback callback, void* user_data, int32_t, const ReadPropertyRequest*)
{
  g_sent.push_back({callback, user_data});
  return 0;
}

int keep_read_multiple(ClientRequestCallback callback, void* user_data, int32_t, const ReadPropertyMultipleRequest*)
{
  g_sent.push_back({callback, user_data});
  return 0;
}

int keep_write(ClientRequestCallback callback, void* user_data, int32_t, const WritePropertyRequest*)
{
  g_sent.push_back({callback, user_data});
  return 0;
}

uint32_t tick() { return g_tick; }

void ignore_event(const CacheReference*, const BACnetValue*, int, uint32_t, uint32_t) {}

void bind(int32_t device)
{
  BACnetAddress a{};
  a.network = 1;
  a.mac_len = 6;
  a.mac[3] = uint8_t(device);
  address_binding_add_from_i_am(device, 5, a);
}

void run_cycle()
{
  g_sent.clear();
  g_tick += 101;
  cache_execute();
  bool waiting = false;
  for (int pass = 0; pass < 2000 && cache_cycle_state() != 0; ++pass) {
    // A pass that sent nothing and left the cycle where it was waits for the quiet time after
    // the last activity; the passes until it ends would change nothing, so the clock skips
    // them (one pass a tick, they were most of an input's time).
    g_tick += waiting ? kCacheQuietTicks : 1;
    const size_t sent = g_sent.size();
    const int state = cache_cycle_state();
    cache_execute();
    waiting = g_sent.size() == sent && cache_cycle_state() == state;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  os_set_clock(&clock_source);
  clock_source.set_wall(1700000000);
  address_binding_init(nullptr, 4711);
  bind(100);
  address_binding_set_device_flag(100, kFlagSupportsRpm, 1);
  address_binding_set_device_flag(100, kFlagSegmentation, 0);
  bind(101);
  CacheSeams seams;
  seams.read_property = keep_read;
  seams.read_property_multiple = keep_read_multiple;
  seams.write_property = keep_write;
  seams.tick = tick;
  cache_set_seams(&seams);
  g_tick = 1000;
  cache_init(nullptr, ignore_event);

  uint32_t client = 0, handle = 0;
  cache_register_client(&client);
  for (uint32_t instance = 1; instance <= 3; ++instance) {
    CacheReference r = cache_reference(100, 2, instance, 85);
    OwnedValue v;
    cache_get_value(&r, v.get());
  }
  CacheReference first = cache_reference(100, 2, 1, 85);
  CacheReference other = cache_reference(101, 2, 1, 85);
  cache_add_property(&handle, &first, 0, client);
  cache_add_property(&handle, &other, 0, client);
  float written = 5.0f;
  OwnedValue v;
  value_set_real(&written, v.get());
  cache_set_value(&first, v.get(), 8);

  size_t at = 0;
  for (int cycle = 0; cycle < kCycles && (cycle == 0 || at < size); ++cycle) {
    run_cycle();
    std::vector<Sent> sent = g_sent;
    for (const Sent& s : sent) {
      ClientResult result;
      if (at + 3 <= size) {
        uint8_t type = data[at] & 7;
        size_t length = std::min<size_t>(data[at + 2], size - at - 3);
        result.present = type != 0 && type != 1 && type != 4;
        result.type = type;
        result.service_choice = data[at + 1];
        result.data.assign(data + at + 3, data + at + 3 + length);
        at += 3 + length;
      }
      s.callback(s.user_data, result.present && (result.type == 2 || result.type == 3), BACnetAddress{}, result);
    }
    cache_get_write_status(&first);
  }

  cache_destroy();
  cache_set_seams(nullptr);
  address_binding_clear();
  os_set_clock(nullptr);
  return 0;
}
