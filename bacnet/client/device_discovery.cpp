#include "bacnet/client/device_discovery.h"

#include "bacnet/application/application_layer.h"
#include "bacnet/client/client_request.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/foundation/stack_wake.h"
#include "bacnet/network/network_main.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>
#include <new>
#include <set>
#include <tuple>
#include <vector>

namespace {

// Results of the object database's property doors: the BACnet error code plus one.
constexpr int kResultOther = kErrorOther + 1;

constexpr uint32_t kPollWindow = 600;  // s after the last use in which silent devices are polled
constexpr uint32_t kScanQuiet = 2;     // s between scan steps and after the last I-Am
constexpr uint32_t kBackoffUnit = 30;
constexpr std::array<uint32_t, 4> kBackoffFactor = {0, 1, 2, 4};
constexpr uint32_t kIAmMaxApdu = 480;
// A port's send queue holds at most this many frames before more I-Ams join them: the rest of
// the queue stays free for the answers to other peers, and the port thread reads back the
// echoes of its broadcasts before the next ones come.
constexpr std::size_t kAnswersInFlight = 16;

struct ScanState {
  int32_t low = 0;
  int32_t high = kScanUpperBound;
  int32_t upper = kScanUpperBound;
  uint32_t who_is_count = 0;
  bool i_am_seen = false;
  bool running = false;
  bool enabled = false;
  uint32_t last_activity = 0;
  int status = kScanNotUpdated;
};

// One answer that waits for room in its port's send queue: an I-Am, or an I-Have of `object`;
// the device it speaks for, and the device whose address it goes to (-1: a broadcast).
struct OwedAnswer {
  int32_t device = -1;
  int32_t address_device = -1;
  bool i_have = false;
  BACnetObjectId object{};
  std::string name;

  auto key() const { return std::tuple(device, i_have, object.type, object.instance); }
};

OwedAnswer i_am_of(int32_t device, int32_t address_device)
{
  OwedAnswer answer;
  answer.device = device;
  answer.address_device = address_device;
  return answer;
}

// The answers a port owes, oldest first; each is owed once, however many requests asked.
struct OwedAnswers {
  std::deque<OwedAnswer> order;
  std::set<std::tuple<int32_t, bool, uint32_t, uint32_t>> owed;

  void owe(OwedAnswer answer)
  {
    if (!owed.insert(answer.key()).second)
      return;
    order.push_back(std::move(answer));
    // Answers go out at the start of a pass: the next one starts at once, not after the
    // idle wait.
    stack_wake();
  }
};

struct DiscoveryState {
  DriverLogFunction log = nullptr;
  ScanState scan;
  std::vector<OwedAnswers> owed;  // by port index; stack thread only
};

DiscoveryState g;

void log_text(int level, const char* text)
{
  if (g.log)
    g.log(level, text);
}

bool in_skip(const std::vector<int32_t>& skip, int32_t instance)
{
  return std::find(skip.begin(), skip.end(), instance) != skip.end();
}

// The window below the next bound device, starting from the current low limit.
void scan_set_min_max(const std::vector<int32_t>& skip)
{
  ScanState& s = g.scan;
  // Each round either ends or moves low past one bound device, so the skip list bounds it.
  for (std::size_t round = 0; round <= skip.size() + 1; ++round) {
    int32_t low = s.low - 1;
    int32_t high = s.high + 1;
    for (int32_t i : skip)
      if (i > low && i < high)
        high = i;
    for (int32_t i : skip)
      if (i > low && i < high)
        low = i;
    s.low = low + 1;
    s.high = high;
    if (s.low == s.upper)
      return;
    if (s.low != s.high) {
      s.high = high - 1;
      return;
    }
    // The window starts on a bound device: step past every bound device in a row.
    do
      ++s.low;
    while (in_skip(skip, s.low));
    s.high = s.upper;
  }
}

// Under the lock: moves the scan to the window it asks next; true when the scan is done.
bool scan_next_window(const std::vector<int32_t>& skip)
{
  ScanState& s = g.scan;
  if (s.i_am_seen) {
    // Answers came: ask again below the lowest device that answered.
    scan_set_min_max(skip);
    if (s.high == s.upper && in_skip(skip, s.upper))
      return true;
    s.i_am_seen = false;
    s.who_is_count = 0;
    return false;
  }
  if (s.who_is_count > 0) {
    // The window was asked and stayed quiet: move on to the next one.
    if (s.high == s.upper && in_skip(skip, s.high))
      return true;
    s.low = s.high + 1;
    s.high = s.upper;
    s.who_is_count = 0;
    scan_set_min_max(skip);
    if (s.low == s.upper && in_skip(skip, s.high))
      return true;
  }
  return s.low > s.high;
}

void scan_restart()
{
  ScanState& s = g.scan;
  s.low = 0;
  s.high = kScanUpperBound;
  s.upper = kScanUpperBound;
  s.i_am_seen = false;
  // A finished scan leaves its count of asked windows; a new scan starts by asking.
  s.who_is_count = 0;
  s.status = kScanScanning;
}

uint32_t backoff_wait(uint8_t step)
{
  return kBackoffUnit * kBackoffFactor[std::min<std::size_t>(step, kBackoffFactor.size() - 1)];
}

void locate_device(const DeviceBinding& d, uint32_t now)
{
  if (now - d.backoff_time <= backoff_wait(d.backoff_step))
    return;
  char text[64];
  std::snprintf(text, sizeof text, "Attempting to locate device %d", d.instance);
  log_text(kBindingLogLevel, text);
  WhoIsRequest request;
  request.low_limit = d.instance;
  request.high_limit = d.instance;
  client_who_is(-1, -1, &request);
  address_binding_advance_backoff(d.instance, now);
}

void poll_status(const DeviceBinding& d, uint32_t now)
{
  if (now - d.backoff_time <= backoff_wait(d.backoff_step))
    return;
  char text[64];
  std::snprintf(text, sizeof text, "Attempting to read status of device %d", d.instance);
  log_text(kBindingLogLevel, text);
  ReadPropertyRequest request;
  request.object = {OBJECT_DEVICE, uint32_t(d.instance)};
  request.property = PROP_SYSTEM_STATUS;
  request.array_index = -1;
  // Any answer ends the transaction, and heard-from marks the device online again.
  client_read_property(nullptr, nullptr, d.instance, nullptr, &request);
  address_binding_advance_backoff(d.instance, now);
}

// The answers owed by the port at `index`; null for a port the network layer does not know.
OwedAnswers* owed_by(int port_index, BACnetAddress* port)
{
  if (network_get_port(port_index, port) != 0)
    return nullptr;
  if (g.owed.size() <= std::size_t(port_index))
    g.owed.resize(std::size_t(port_index) + 1);
  return &g.owed[std::size_t(port_index)];
}

}  // namespace

int address_binding_init(const DriverContext* context, int32_t own_instance)
{
  address_binding_init_tables(context, own_instance);
  address_binding_set_locate_hook(locate_device);
  g.owed.clear();
  DRIVER_LOCK_SCOPE();
  g.log = (context && context->options[kBindingTraceOption]) ? context->log : nullptr;
  scan_restart();
  g.scan.running = true;
  return 0;
}

void address_binding_note_i_am()
{
  DRIVER_LOCK_SCOPE();
  g.scan.last_activity = os_wall_seconds();
  g.scan.i_am_seen = true;
}

// ---- Answers on behalf of the local devices ----------------------------------------------

int address_binding_send_i_am(int port_index, int32_t low, int32_t high)
{
  BACnetAddress port{};
  OwedAnswers* owed = owed_by(port_index, &port);
  if (!owed)
    return -1;
  if (low >= 0 && high < 0)
    high = kScanUpperBound - 1;
  std::vector<AddressBindingEntry> entries;
  if (address_binding_copy_addresses(&entries) != 0)
    return -1;
  int32_t own = address_binding_get_local_instance(nullptr);
  for (const AddressBindingEntry& e : entries) {
    if (!e.local || (low != -1 && (e.instance < low || e.instance > high)))
      continue;
    if (e.instance == own || e.address.mac_len == 0) {
      // The own device, and a local device without a station of its own, answer once per
      // port: from the entry of the port's own network.
      if (e.address.network == port.network)
        owed->owe(i_am_of(e.instance, -1));
    } else {
      owed->owe(i_am_of(e.instance, e.instance));
    }
  }
  return 0;
}

int address_binding_send_i_have(int port_index, const IHaveMatch& match)
{
  BACnetAddress port{};
  OwedAnswers* owed = owed_by(port_index, &port);
  AddressBindingEntry entry;
  int32_t own = address_binding_get_local_instance(nullptr);
  int32_t device = int32_t(match.device);
  // The own device's first address that names a station decides: a set-up of its instance on a
  // network where it has no station adds an entry without one, which answers on no port.
  int found = device == own ? address_binding_get_local_station(device, &entry)
                            : address_binding_get_local_entry(device, &entry);
  if (!owed || found != 0)
    return -1;
  OwedAnswer answer{entry.instance, entry.instance, true, match.object, match.name};
  if (entry.instance == own) {
    // The own device answers from the port of its first address's network.
    if (entry.address.network != port.network)
      return 0;
    answer.address_device = -1;
  } else if (entry.address.mac_len == 0) {
    // Like its I-Am: from the port's station, where the device is set up on the port's network.
    if (address_binding_get_local_entry_on(entry.instance, port.network, &entry) != 0)
      return 0;
    answer.address_device = -1;
  }
  owed->owe(std::move(answer));
  return 0;
}

int address_binding_announce_device(BACnetObjectId device, uint32_t network, uint32_t max_apdu, uint32_t segmentation)
{
  NetworkPort port;
  if (network_find_port(network, &port) != 0)
    return -1;
  IAmRequest request;
  request.device = device;
  request.max_apdu = max_apdu;
  request.segmentation = segmentation;
  request.vendor_id = kMakerVendorIdentifier;
  return client_send_i_am(int(port.index), -1, &request);
}

void address_binding_send_waiting_answers()
{
  for (std::size_t port = 0; port < g.owed.size(); ++port) {
    OwedAnswers& owed = g.owed[port];
    std::size_t queued = network_port_queued(int(port));
    for (; !owed.order.empty() && queued < kAnswersInFlight; ++queued) {
      const OwedAnswer& a = owed.order.front();
      int sent;
      if (a.i_have) {
        IHaveRequest request;
        request.device = {OBJECT_DEVICE, uint32_t(a.device)};
        request.object = a.object;
        request.object_name = a.name;
        sent = client_send_i_have(int(port), a.address_device, &request);
      } else {
        IAmRequest request;
        request.device = {OBJECT_DEVICE, uint32_t(a.device)};
        request.max_apdu = kIAmMaxApdu;
        request.segmentation = 0;
        request.vendor_id = kMakerVendorIdentifier;
        sent = client_send_i_am(int(port), a.address_device, &request);
      }
      // A full request ring keeps the answer owed for the next step.
      if (sent != 0 && application_layer_queued_requests() >= kApduRequestRingSize)
        break;
      owed.owed.erase(a.key());
      owed.order.pop_front();
    }
  }
}

// ---- The local Device object's scan properties -------------------------------------------

int address_binding_scan_control(BACnetValue* value, uint8_t write_flag)
{
  if (!value)
    return kResultOther;
  DRIVER_LOCK_SCOPE();
  if (write_flag && value->tag == TAG_BOOLEAN) {
    scan_restart();
    g.scan.running = value->payload.boolean != 0;
    g.scan.enabled = true;
    return 0;
  }
  uint8_t enabled = g.scan.enabled ? 1 : 0;
  value_set_boolean(&enabled, value);
  return 0;
}

int address_binding_get_scan_status_text(BACnetValue* value, uint8_t write_flag)
{
  if (write_flag)
    return 0;
  if (!value)
    return kResultOther;
  char text[96];
  {
    DRIVER_LOCK_SCOPE();
    switch (g.scan.status) {
    case kScanScanning:
      std::snprintf(text, sizeof text, "Scanning Devices : Low Limit = %d High Limit = %d", g.scan.low, g.scan.high);
      break;
    case kScanDone: std::snprintf(text, sizeof text, "Device Scan Done"); break;
    default: std::snprintf(text, sizeof text, "Device Scan Not Updated"); break;
    }
  }
  return value_set_charstring(text, value) == 0 ? 0 : kResultOther;
}

// ---- Periodic work -----------------------------------------------------------------------

int address_binding_periodic()
{
  uint32_t now = os_wall_seconds();
  bool step;
  {
    DRIVER_LOCK_SCOPE();
    step = g.scan.running && now - g.scan.last_activity >= kScanQuiet;
  }
  if (step)
    address_binding_device_scan_step();

  std::vector<DeviceBinding> devices;
  if (address_binding_copy_devices(&devices) != 0)
    return -1;
  for (const DeviceBinding& d : devices) {
    if (!d.address_known) {
      locate_device(d, now);
      address_binding_expire_unlocated(d.instance, now);
    } else if (!d.online && now - d.last_use < kPollWindow) {
      poll_status(d, now);
    }
  }
  return 0;
}

int address_binding_device_scan_step()
{
  {
    DRIVER_LOCK_SCOPE();
    g.scan.running = false;
    if (!g.scan.enabled)
      return 0;
  }
  // Every bound device is skipped, the local ones among them: read from the table itself, not
  // from the binding list built for the network, which takes two copies of every entry.
  std::vector<AddressBindingEntry> bound;
  if (address_binding_copy_addresses(&bound) != 0)
    return -1;
  std::vector<int32_t> skip;
  skip.reserve(bound.size());
  for (const AddressBindingEntry& entry : bound)
    skip.push_back(entry.instance);

  // Decided under the lock, sent and logged after it.
  bool finished = false;
  WhoIsRequest window;
  {
    DRIVER_LOCK_SCOPE();
    ScanState& s = g.scan;
    s.last_activity = os_wall_seconds();
    finished = scan_next_window(skip);
    if (finished) {
      s.status = kScanDone;
    } else {
      ++s.who_is_count;
      s.running = true;
      // The scan counts up to one past the last instance; a Who-Is may only name instances,
      // and a peer that checks its limits would ignore one that names more.
      window.low_limit = s.low;
      window.high_limit = std::min(s.high, kScanUpperBound - 1);
    }
  }
  if (finished) {
    log_text(kBindingLogLevel, "Device Discovery finished");
    return 0;
  }
  client_who_is(-1, -1, &window);
  return 0;
}

ScanWindow address_binding_scan_window()
{
  DRIVER_LOCK_SCOPE();
  return {g.scan.low, g.scan.high, g.scan.status, g.scan.running, g.scan.enabled};
}
