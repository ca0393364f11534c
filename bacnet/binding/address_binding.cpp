#include "bacnet/binding/address_binding.h"

#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace {

constexpr uint32_t kStatusOperational = 0;
constexpr uint32_t kStatusNonOperational = 4;
constexpr int kPropertyLogLevel = 17;
// Results of the object database's property doors: the BACnet error code plus one.
constexpr int kResultOther = kErrorOther + 1;
constexpr int kResultUnknownObject = kErrorUnknownObject + 1;
constexpr int kResultWriteAccessDenied = kErrorWriteAccessDenied + 1;

constexpr uint32_t kSilenceBeforeOffline = 31;     // s without answer before a failure forgets the address
constexpr uint32_t kUnlocatedOnline = 21;          // s a record without address stays online
constexpr uint8_t kBackoffStepMax = 3;

// The properties a remote device object lists under property 8.
constexpr std::array<uint32_t, 9> kRemoteDeviceProperties = {77, 79, 112, 120, 107, 75, 571, 573, 574};

struct BindingState {
  int32_t own = -1;
  int32_t local_network = -1;
  DriverLogFunction log = nullptr;
  std::size_t limit = kBindingTableLimit;
  std::vector<DeviceBinding> devices;        // sorted by instance
  std::vector<AddressBindingEntry> addresses;  // sorted by address bytes
  std::vector<int32_t> local_ports;          // in registration order
  std::vector<StationMember> members;        // the markers' devices, in the order they came
  uint64_t clearings = 0;
  AddressBindingLocateHook locate = nullptr;
};

BindingState g;
// Counts the changes of the shared stations' members, so that an index built from them can
// tell that it is out of date without taking the lock.
std::atomic<uint64_t> g_station_changes{0};

void log_text(int level, const char* text)
{
  if (g.log)
    g.log(level, text);
}

// MAC octets beyond the MAC length carry no meaning and must not split equal addresses.
BACnetAddress normalised(const BACnetAddress& a)
{
  BACnetAddress n = a;
  n.mac_len = std::min<uint8_t>(n.mac_len, sizeof n.mac);
  std::memset(n.mac + n.mac_len, 0, sizeof n.mac - n.mac_len);
  return n;
}

// Network number from its lowest-order byte up, then the six MAC octets, then the length.
std::array<uint8_t, 11> address_key(const BACnetAddress& a)
{
  std::array<uint8_t, 11> k{};
  for (int i = 0; i < 4; ++i)
    k[std::size_t(i)] = uint8_t(a.network >> (8 * i));
  std::memcpy(&k[4], a.mac, 6);
  k[10] = a.mac_len;
  return k;
}

bool address_less(const BACnetAddress& a, const BACnetAddress& b) { return address_key(a) < address_key(b); }

std::vector<DeviceBinding>::iterator find_device(int32_t instance)
{
  auto it = std::lower_bound(g.devices.begin(), g.devices.end(), instance,
                             [](const DeviceBinding& d, int32_t i) { return d.instance < i; });
  return it != g.devices.end() && it->instance == instance ? it : g.devices.end();
}

std::vector<AddressBindingEntry>::iterator find_address(const BACnetAddress& address)
{
  BACnetAddress key = normalised(address);
  auto it = std::lower_bound(g.addresses.begin(), g.addresses.end(), key,
                             [](const AddressBindingEntry& e, const BACnetAddress& k) { return address_less(e.address, k); });
  return it != g.addresses.end() && it->address == key ? it : g.addresses.end();
}

bool is_local(int32_t instance)
{
  return std::find(g.local_ports.begin(), g.local_ports.end(), instance) != g.local_ports.end();
}

// Grows a table by one entry at `position`; what the table held stays when it cannot.
template <class T>
bool insert_entry(std::vector<T>& table, typename std::vector<T>::iterator position, const T& entry)
{
  if (table.size() >= g.limit)
    return false;
  try {
    table.insert(position, entry);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Callers waiting for a device to be bound sleep here, woken by every change of a record.
struct ChangeNotice {
  std::mutex mutex;
  std::condition_variable changed;
  uint64_t count = 0;
};
ChangeNotice g_changes;

void note_change()
{
  {
    std::lock_guard<std::mutex> held(g_changes.mutex);
    ++g_changes.count;
  }
  g_changes.changed.notify_all();
}

void fill_device(DeviceBinding& d, const BACnetAddress* address, uint8_t max_apdu_code, uint8_t online)
{
  note_change();
  if (address) {
    d.address = normalised(*address);
    d.address_known = 1;
  }
  d.online = online;
  if (max_apdu_code != 0)
    d.max_apdu_code = max_apdu_code;
}

// Inserts or updates a device record; null when the table cannot grow.
DeviceBinding* upsert_device(int32_t instance, const BACnetAddress* address, uint8_t max_apdu_code, uint8_t online)
{
  auto it = find_device(instance);
  if (it != g.devices.end()) {
    fill_device(*it, address, max_apdu_code, online);
    return &*it;
  }
  DeviceBinding d;
  d.instance = instance;
  fill_device(d, address, max_apdu_code, online);
  d.created = os_wall_seconds();
  auto position = std::lower_bound(g.devices.begin(), g.devices.end(), instance,
                                   [](const DeviceBinding& e, int32_t i) { return e.instance < i; });
  auto index = position - g.devices.begin();
  if (!insert_entry(g.devices, position, d))
    return nullptr;
  return &g.devices[std::size_t(index)];
}

int upsert_address(const BACnetAddress& address, int32_t instance, uint8_t local)
{
  BACnetAddress key = normalised(address);
  auto it = find_address(key);
  if (it != g.addresses.end()) {
    // The own device's addresses are never taken over by a device learnt from the network.
    if (it->instance == g.own)
      return -1;
    it->instance = instance;
    it->local = local;
    return 0;
  }
  AddressBindingEntry e;
  e.local = local;
  e.instance = instance;
  e.address = key;
  auto position = std::lower_bound(g.addresses.begin(), g.addresses.end(), key,
                                   [](const AddressBindingEntry& x, const BACnetAddress& k) { return address_less(x.address, k); });
  return insert_entry(g.addresses, position, e) ? 0 : -1;
}

// The station of the own device on a network: the address its port registered there.
const AddressBindingEntry* port_station(uint32_t network)
{
  auto it = std::find_if(g.addresses.begin(), g.addresses.end(), [&](const AddressBindingEntry& e) {
    return e.local && e.instance == g.own && e.address.network == network && e.address.mac_len > 0;
  });
  return it != g.addresses.end() ? &*it : nullptr;
}

bool has_local_entry(int32_t instance, uint32_t network)
{
  return std::any_of(g.addresses.begin(), g.addresses.end(), [&](const AddressBindingEntry& e) {
    return e.local && e.instance == instance && e.address.network == network;
  });
}

// The marker of a device set up on a network without a MAC of its own. An empty MAC names no
// station, so several devices set up on one network each keep a marker of their own, in the
// order they came; none takes another's place. That order is the order of the network's station.
int add_marker(uint32_t network, int32_t instance)
{
  AddressBindingEntry e;
  e.local = 1;
  e.instance = instance;
  e.address.network = network;
  if (!insert_entry(g.members, g.members.end(), StationMember{network, instance}))
    return -1;
  auto after = [](const BACnetAddress& k, const AddressBindingEntry& x) { return address_less(k, x.address); };
  auto position = std::upper_bound(g.addresses.begin(), g.addresses.end(), e.address, after);
  if (!insert_entry(g.addresses, position, e)) {
    g.members.pop_back();
    return -1;
  }
  ++g_station_changes;
  return 0;
}

// Whether a device's record holds an address of a local port, where requests reach the local
// device; an address learnt from the network belongs to a remote device of that instance.
bool at_local_station(const DeviceBinding& d)
{
  if (!d.address_known || d.address.mac_len == 0)
    return false;
  auto entry = find_address(d.address);
  return entry != g.addresses.end() && entry->local;
}

// A local device set up on a network without a MAC of its own (the remote API's device
// set-up) lives on the port of that network. Its record keeps an address requests can go to:
// the station it has where it was set up already, else the port's station; an empty MAC names
// no station, and requests to it would wait for a binding that never comes. The instance is
// local from now on: a remote device known under it is forgotten, so that nothing meant for the
// local device goes there. The empty-MAC entry marks the device for Who-Is, unless the device
// already answers on that network.
int add_local_device_without_station(uint8_t max_apdu_code, int32_t instance, uint32_t network)
{
  auto it = find_device(instance);
  if (it != g.devices.end() && !at_local_station(*it)) {
    g.devices.erase(it);
    std::erase_if(g.addresses, [&](const AddressBindingEntry& e) { return e.instance == instance && !e.local; });
    it = g.devices.end();
  }
  const AddressBindingEntry* station = it != g.devices.end() ? nullptr : port_station(network);
  BACnetAddress reach = station ? station->address : BACnetAddress{};
  if (!upsert_device(instance, station ? &reach : nullptr, max_apdu_code, 1))
    return -1;
  if (has_local_entry(instance, network))
    return 0;
  return add_marker(network, instance);
}

int set_enumerated(BACnetValue* value, uint32_t n) { return value_set_enumerated(&n, value) == 0 ? 0 : kResultOther; }

int remote_property_list(BACnetValue* value)
{
  value_free(value);
  if (value_init(value, TAG_LIST) != VALUE_OK)
    return kResultOther;
  for (uint32_t p : kRemoteDeviceProperties) {
    OwnedValue e;
    value_set_enumerated(&p, e.get());
    if (value_array_append(value->payload.array, e.get()) != VALUE_OK)
      return kResultOther;
  }
  return 0;
}

int write_remote_address(int32_t instance, const BACnetValue* value)
{
  if (!value || value->tag != TAG_ADDRESS || !value->payload.record)
    return kResultOther;
  const auto& written = *static_cast<const BACnetAddressValue*>(value->payload.record);
  // Six octets is the longest MAC of any datalink; an empty one names nobody.
  if (written.mac.length < 1 || written.mac.length > 6)
    return kResultOther;
  BACnetAddress address = address_binding_from_value(written);
  DRIVER_LOCK_SCOPE();
  if (is_local(instance))
    return kResultOther;
  if (!upsert_device(instance, &address, kClientDefaultMaxApduCode, 1))
    return kResultOther;
  return upsert_address(address, instance, 0) == 0 ? 0 : kResultOther;
}

int read_remote_address(const DeviceBinding& d, BACnetValue* value)
{
  if (!d.address_known || d.address.mac_len == 0)
    return kResultOther;
  BACnetAddressValue a{};
  a.network = d.address.network;
  if (octetstring_set(&a.mac, d.address.mac, d.address.mac_len) != VALUE_OK)
    return kResultOther;
  int rc = value_set_address(&a, value);
  octetstring_free(&a.mac);
  return rc == 0 ? 0 : kResultOther;
}

}  // namespace

// ---- Set-up and tables ---------------------------------------------------------------------

int address_binding_init_tables(const DriverContext* context, int32_t own_instance)
{
  address_binding_clear();
  DRIVER_LOCK_SCOPE();
  g.log = (context && context->options[kBindingTraceOption]) ? context->log : nullptr;
  g.own = own_instance;
  g.local_network = -1;
  return 0;
}

void address_binding_clear()
{
  DRIVER_LOCK_SCOPE();
  g.devices = {};
  g.addresses = {};
  g.local_ports = {};
  g.members = {};
  ++g.clearings;
  ++g_station_changes;
}

void address_binding_set_table_limit(std::size_t entries)
{
  DRIVER_LOCK_SCOPE();
  g.limit = entries ? entries : kBindingTableLimit;
}

int address_binding_add_local_port(uint8_t max_apdu_code, int32_t instance, const BACnetAddress* address)
{
  DRIVER_LOCK_SCOPE();
  if (instance == -1)
    instance = g.own;
  if (g.local_network == -1 && address)
    g.local_network = int32_t(address->network);
  // The list answers whether an instance is local: an instance joins it once, or a device set
  // up again after every reconnect would fill it up and stop every later set-up.
  if (!is_local(instance) && !insert_entry(g.local_ports, g.local_ports.end(), instance))
    return -1;
  if (instance < 0)
    return 0;
  if (address && address->mac_len == 0)
    return add_local_device_without_station(max_apdu_code, instance, address->network);
  if (!upsert_device(instance, address, max_apdu_code, 1))
    return -1;
  return address ? upsert_address(*address, instance, 1) : 0;
}

int address_binding_local_port_hook(uint8_t max_apdu_code, int32_t instance, const BACnetAddress& address)
{
  return address_binding_add_local_port(max_apdu_code, instance, &address);
}

BACnetAddress address_binding_from_value(const BACnetAddressValue& value)
{
  BACnetAddress a{};
  a.network = value.network;
  a.mac_len = uint8_t(std::min<uint32_t>(value.mac.length, sizeof a.mac));
  if (value.mac.data)
    std::memcpy(a.mac, value.mac.data, a.mac_len);
  return a;
}

int address_binding_add_local_port_value(uint8_t max_apdu_code, int32_t instance, const BACnetAddressValue* address)
{
  if (!address)
    return address_binding_add_local_port(max_apdu_code, instance, nullptr);
  BACnetAddress a = address_binding_from_value(*address);
  return address_binding_add_local_port(max_apdu_code, instance, &a);
}

int address_binding_add_from_i_am(int32_t instance, uint8_t max_apdu_code, const BACnetAddress& address)
{
  DRIVER_LOCK_SCOPE();
  if (is_local(instance))
    return 0;
  DeviceBinding* d = upsert_device(instance, &address, max_apdu_code, 1);
  if (!d)
    return -1;
  // The device has just spoken: a failed request right after must not count it as silent.
  d->last_heard = os_wall_seconds();
  return upsert_address(address, instance, 0);
}

int address_binding_add_from_binding(const BACnetAddressBinding* binding)
{
  if (!binding || binding->address.mac.length < 1 || binding->address.mac.length > 6)
    return -1;
  int32_t instance = int32_t(binding->device.instance);
  BACnetAddress address = address_binding_from_value(binding->address);
  DRIVER_LOCK_SCOPE();
  if (is_local(instance) || find_device(instance) != g.devices.end())
    return -1;
  if (!upsert_device(instance, &address, 0, 1))
    return -1;
  return upsert_address(address, instance, 0);
}

int address_binding_remove_device(const BACnetAddressBinding* binding)
{
  if (!binding)
    return -1;
  int32_t instance = int32_t(binding->device.instance);
  DRIVER_LOCK_SCOPE();
  auto it = find_device(instance);
  if (is_local(instance) || it == g.devices.end())
    return -1;
  g.devices.erase(it);
  // Every learnt address of the device goes with it, so none can route a request to a device
  // that is no longer known.
  std::erase_if(g.addresses, [&](const AddressBindingEntry& e) { return e.instance == instance && !e.local; });
  return 0;
}

// ---- Lookups -----------------------------------------------------------------------------

int address_binding_use_device(int32_t instance, DeviceBinding* out)
{
  DeviceBinding found;
  bool created = false;
  int result;
  AddressBindingLocateHook locate;
  {
    DRIVER_LOCK_SCOPE();
    locate = g.locate;
    auto it = find_device(instance);
    DeviceBinding* d = it != g.devices.end() ? &*it : nullptr;
    if (!d) {
      if (instance < 0 || !(d = upsert_device(instance, nullptr, 0, 1)))
        return -1;
      created = true;
    }
    found = *d;
    ++d->use_count;
    d->last_use = os_wall_seconds();
    result = !d->online ? 2 : d->address_known ? 0 : 1;
  }
  if (out)
    *out = found;
  // A device asked for the first time is looked for at once, not with the next second, so
  // the request parked for it waits one round trip instead of up to a second.
  if (created && !found.address_known && locate)
    locate(found, os_wall_seconds());
  return result;
}

void address_binding_set_locate_hook(AddressBindingLocateHook hook)
{
  DRIVER_LOCK_SCOPE();
  g.locate = hook;
}

uint64_t address_binding_changes()
{
  std::lock_guard<std::mutex> held(g_changes.mutex);
  return g_changes.count;
}

void address_binding_wait_change(uint64_t seen, int milliseconds)
{
  std::unique_lock<std::mutex> held(g_changes.mutex);
  g_changes.changed.wait_for(held, std::chrono::milliseconds(milliseconds), [&] { return g_changes.count != seen; });
}

int address_binding_get_device(int32_t instance, DeviceBinding* out)
{
  DRIVER_LOCK_SCOPE();
  auto it = find_device(instance);
  if (it == g.devices.end())
    return -1;
  if (out)
    *out = *it;
  return 0;
}

int address_binding_get_device_address(int32_t instance, BACnetAddress* out)
{
  DeviceBinding d;
  if (address_binding_get_device(instance, &d) != 0)
    return -1;
  // A forgotten address is no address: requests wait for the device to be located again.
  if (out)
    *out = d.address_known ? d.address : BACnetAddress{};
  return 0;
}

int32_t address_binding_get_local_instance(const BACnetAddress* address)
{
  DRIVER_LOCK_SCOPE();
  if (!address)
    return g.own;
  auto it = find_address(*address);
  return it != g.addresses.end() && it->local ? it->instance : -1;
}

int32_t address_binding_get_local_instance_value(const BACnetAddressValue* address)
{
  if (!address)
    return address_binding_get_local_instance(nullptr);
  BACnetAddress a = address_binding_from_value(*address);
  return address_binding_get_local_instance(&a);
}

int address_binding_station_members(std::vector<StationMember>* out, StationMembersSeen* seen)
{
  out->clear();
  DRIVER_LOCK_SCOPE();
  bool cleared = seen->clearings != g.clearings;
  std::size_t from = cleared ? 0 : std::min(seen->taken, g.members.size());
  try {
    for (std::size_t i = from; i < g.members.size(); ++i)
      if (g.members[i].instance != g.own)
        out->push_back(g.members[i]);
  } catch (const std::bad_alloc&) {
    out->clear();
    return -1;
  }
  *seen = {g.clearings, g.members.size()};
  return cleared ? 1 : 0;
}

uint64_t address_binding_station_changes() { return g_station_changes.load(); }

bool address_binding_has_other_local_devices()
{
  DRIVER_LOCK_SCOPE();
  return std::any_of(g.local_ports.begin(), g.local_ports.end(), [](int32_t device) { return device != g.own; });
}

int address_binding_is_local_device(int32_t instance)
{
  DRIVER_LOCK_SCOPE();
  return is_local(instance) ? 1 : 0;
}

int32_t address_binding_get_local_network()
{
  DRIVER_LOCK_SCOPE();
  return g.local_network;
}

int address_binding_set_device_flag(int32_t instance, int kind, uint32_t value)
{
  DRIVER_LOCK_SCOPE();
  auto it = find_device(instance);
  if (it == g.devices.end())
    return -1;
  DeviceBinding& d = *it;
  switch (kind) {
  case kFlagOnline:
    d.online = value != 0;
    note_change();
    break;
  case kFlagBackoffStep:
    d.backoff_step = uint8_t(std::min<int>(d.backoff_step + 1, kBackoffStepMax));
    d.backoff_time = os_wall_seconds();
    break;
  case kFlagBackoffTime: d.backoff_time = os_wall_seconds(); break;
  case kFlagSegmentation:
    d.segmentation = value;
    d.segmentation_probed = 1;
    break;
  case kFlagSupportsRpm:
    d.supports_rpm = value != 0;
    d.services_probed = 1;
    break;
  case kFlagSupportsWpm:
    d.supports_wpm = value != 0;
    d.services_probed = 1;
    break;
  default: break;
  }
  return 0;
}

int address_binding_heard_from(uint8_t replied, const BACnetAddress& address)
{
  DRIVER_LOCK_SCOPE();
  auto entry = find_address(address);
  if (entry == g.addresses.end())
    return -1;
  auto it = find_device(entry->instance);
  if (it == g.devices.end())
    return -1;
  uint32_t now = os_wall_seconds();
  if (replied) {
    it->online = 1;
    it->last_heard = now;
  } else if (it->instance != g.own && now - it->last_heard >= kSilenceBeforeOffline) {
    it->online = 0;
    it->address_known = 0;
  }
  return 0;
}

std::size_t address_binding_device_count()
{
  DRIVER_LOCK_SCOPE();
  return g.devices.size();
}

std::size_t address_binding_address_count()
{
  DRIVER_LOCK_SCOPE();
  return g.addresses.size();
}

// ---- For device discovery ------------------------------------------------------------------

int address_binding_copy_devices(std::vector<DeviceBinding>* out)
{
  try {
    DRIVER_LOCK_SCOPE();
    *out = g.devices;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

int address_binding_copy_addresses(std::vector<AddressBindingEntry>* out)
{
  try {
    DRIVER_LOCK_SCOPE();
    *out = g.addresses;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

int address_binding_get_local_entry(int32_t instance, AddressBindingEntry* out)
{
  DRIVER_LOCK_SCOPE();
  auto it = std::find_if(g.addresses.begin(), g.addresses.end(),
                         [&](const AddressBindingEntry& e) { return e.local && e.instance == instance; });
  if (it == g.addresses.end())
    return -1;
  *out = *it;
  return 0;
}

int address_binding_get_local_station(int32_t instance, AddressBindingEntry* out)
{
  DRIVER_LOCK_SCOPE();
  auto it = std::find_if(g.addresses.begin(), g.addresses.end(), [&](const AddressBindingEntry& e) {
    return e.local && e.instance == instance && e.address.mac_len > 0;
  });
  if (it == g.addresses.end())
    return -1;
  *out = *it;
  return 0;
}

int address_binding_get_local_entry_on(int32_t instance, uint32_t network, AddressBindingEntry* out)
{
  DRIVER_LOCK_SCOPE();
  auto it = std::find_if(g.addresses.begin(), g.addresses.end(), [&](const AddressBindingEntry& e) {
    return e.local && e.instance == instance && e.address.network == network;
  });
  if (it == g.addresses.end())
    return -1;
  *out = *it;
  return 0;
}

void address_binding_advance_backoff(int32_t instance, uint32_t now)
{
  DRIVER_LOCK_SCOPE();
  auto it = find_device(instance);
  if (it == g.devices.end())
    return;
  it->backoff_step = uint8_t(std::min<int>(it->backoff_step + 1, kBackoffStepMax));
  it->backoff_time = now;
}

void address_binding_expire_unlocated(int32_t instance, uint32_t now)
{
  DRIVER_LOCK_SCOPE();
  auto it = find_device(instance);
  if (it != g.devices.end() && it->online && now - it->created >= kUnlocatedOnline)
    it->online = 0;
}

// ---- The local Device object's properties and remote devices -----------------------------

int address_binding_encode_binding_list(uint32_t, BACnetValue* value, int32_t index, uint8_t write_flag)
{
  if (write_flag)
    return kResultWriteAccessDenied;
  if (!value)
    return kResultOther;
  OwnedValue list;
  if (value_init(list.get(), TAG_ADDRESS_BINDING_LIST) != VALUE_OK)
    return kResultOther;
  std::vector<AddressBindingEntry> entries;
  try {
    DRIVER_LOCK_SCOPE();
    entries = g.addresses;
  } catch (const std::bad_alloc&) {
    return kResultOther;
  }
  for (const AddressBindingEntry& e : entries) {
    OwnedValue element;
    if (value_init(element.get(), TAG_ADDRESS_BINDING) != VALUE_OK || !element->payload.record)
      return kResultOther;
    auto* b = static_cast<BACnetAddressBinding*>(element->payload.record);
    b->device = {OBJECT_DEVICE, uint32_t(e.instance)};
    b->address.network = e.address.network;
    if (octetstring_set(&b->address.mac, e.address.mac, e.address.mac_len) != VALUE_OK ||
        value_array_append(list->payload.array, element.get()) != VALUE_OK)
      return kResultOther;
  }
  value_free(value);
  return value_transfer(list.get(), value, index, 0) == VALUE_OK ? 0 : kResultOther;
}

int address_binding_read_device_property(uint32_t instance, uint32_t property, int32_t, uint8_t write_flag,
                                         BACnetValue* value, uint32_t)
{
  if (!value)
    return kResultOther;
  int32_t device = int32_t(instance);
  // Writing the address is how a device gets bound by hand, so it may name a new device.
  if (property == PROP_NETWORK_ADDRESS && write_flag)
    return write_remote_address(device, value);
  DeviceBinding d;
  // Only known devices exist as objects: asking about others must not fill the table.
  if (address_binding_get_device(device, &d) != 0)
    return kResultUnknownObject;
  if (property == PROP_ALL)
    return remote_property_list(value);
  if (write_flag && property != PROP_NETWORK_ADDRESS) {
    bool known = property == PROP_OBJECT_IDENTIFIER || property == PROP_OBJECT_TYPE ||
                 property == PROP_SYSTEM_STATUS || property == PROP_SEGMENTATION_SUPPORTED ||
                 property == PROP_VENDOR_IDENTIFIER;
    if (!known)
      log_text(kPropertyLogLevel, "Property not found");
    return kResultOther;
  }
  switch (property) {
  case PROP_OBJECT_IDENTIFIER: {
    BACnetObjectId id{OBJECT_REMOTE_DEVICE, instance};
    return value_set_objectid(&id, value) == 0 ? 0 : kResultOther;
  }
  case PROP_OBJECT_TYPE: return set_enumerated(value, OBJECT_REMOTE_DEVICE);
  case PROP_SYSTEM_STATUS: return set_enumerated(value, d.online ? kStatusOperational : kStatusNonOperational);
  case PROP_SEGMENTATION_SUPPORTED: return set_enumerated(value, d.segmentation);
  case PROP_VENDOR_IDENTIFIER: return kResultOther;
  case PROP_NETWORK_ADDRESS: return read_remote_address(d, value);
  default: log_text(kPropertyLogLevel, "Property not found"); return kResultOther;
  }
}
