// Address binding's tables: which device lives at which address and whether it answers; the
// local devices' own addresses; the Device object's binding list and remote devices as type
// 1001. What sends (the device scan, locating and status polls, I-Am and I-Have) sits above
// the client layer in client/device_discovery.h, which also holds the module's start-up.
// Lookups come from every sending thread. Tables only under the global lock, which is never
// held while sending; lookups hand out copies.
#pragma once

#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/network/bacnet_address.h"
#include "bacnet/value/value_types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The option byte of the driver context that switches on address binding's trace.
inline constexpr int kBindingTraceOption = 5;
inline constexpr int kBindingLogLevel = 6;
// Each table holds at most this many entries by default, so that a flood of I-Ams cannot
// take the memory of the process.
inline constexpr std::size_t kBindingTableLimit = 65536;
// The max-APDU code of requests to an explicit address and of parked requests, and of a
// device whose address was written by hand: 480 octets.
inline constexpr uint8_t kClientDefaultMaxApduCode = 3;

// What the stack knows of one device.
struct DeviceBinding {
  int32_t instance = -1;
  BACnetAddress address{};
  uint32_t use_count = 0;
  uint8_t max_apdu_code = 0;  // 0..5; an update with 0 keeps the stored code
  uint8_t online = 0;
  uint8_t address_known = 0;
  uint32_t backoff_time = 0;  // wall-clock seconds of the last locate or status attempt
  uint8_t backoff_step = 0;   // 0..3
  uint32_t last_use = 0;
  uint32_t last_heard = 0;
  uint32_t created = 0;
  uint8_t services_probed = 0;
  uint8_t supports_rpm = 0;
  uint8_t supports_wpm = 0;
  uint8_t segmentation_probed = 0;
  uint32_t segmentation = 0;
};

// One address and the device it belongs to; `local` for the own addresses of local devices.
struct AddressBindingEntry {
  uint8_t local = 0;
  int32_t instance = -1;
  BACnetAddress address{};
};

// Kinds of address_binding_set_device_flag.
enum DeviceFlagKind : int {
  kFlagOnline = 0,
  kFlagBackoffStep = 1,
  kFlagBackoffTime = 2,
  kFlagSegmentation = 3,
  kFlagSupportsRpm = 4,
  kFlagSupportsWpm = 5,
};

// ---- Set-up and tables -------------------------------------------------------------------
// The tables' part of address_binding_init: keeps the trace (option byte 5) and the own
// instance, empties every table and forgets the local network. 0.
int address_binding_init_tables(const DriverContext* context, int32_t own_instance);
void address_binding_clear();
// Tests: lowers the size every table may grow to (0 restores the default).
void address_binding_set_table_limit(std::size_t entries);

// A local device's own address (instance -1: the own device). The first call fixes the local
// network. 0, or -1 when a table cannot grow (what it held stays).
int address_binding_add_local_port(uint8_t max_apdu_code, int32_t instance, const BACnetAddress* address);
// The same in the shapes of the datalink's and the object database's hooks.
int address_binding_local_port_hook(uint8_t max_apdu_code, int32_t instance, const BACnetAddress& address);
int address_binding_add_local_port_value(uint8_t max_apdu_code, int32_t instance, const BACnetAddressValue* address);
// A received I-Am (not for a local device). 0 or -1.
int address_binding_add_from_i_am(int32_t instance, uint8_t max_apdu_code, const BACnetAddress& address);
// An element added to or removed from the Device object's binding list.
int address_binding_add_from_binding(const BACnetAddressBinding* binding);
int address_binding_remove_device(const BACnetAddressBinding* binding);
// The network address an address record names; MAC octets beyond six are not kept.
BACnetAddress address_binding_from_value(const BACnetAddressValue& value);

// ---- Lookups (copies) --------------------------------------------------------------------
// Counts one use; an unknown instance >= 0 gets a bare record first, and is looked for at once
// through the locate hook. The copy shows the record as it stood before this use. -1 no record,
// 2 offline, 1 online without address, 0 bound.
int address_binding_use_device(int32_t instance, DeviceBinding* out);
// Device discovery, which sends the Who-Is, installs the locate hook; without one a new record
// waits for the periodic work. `now`: wall-clock seconds.
using AddressBindingLocateHook = void (*)(const DeviceBinding& device, uint32_t now);
void address_binding_set_locate_hook(AddressBindingLocateHook hook);
// Without counting and without creating a record: 0 found, -1 not.
int address_binding_get_device(int32_t instance, DeviceBinding* out);
int address_binding_get_device_address(int32_t instance, BACnetAddress* out);
// Null: the own instance; else the local device owning that address, or -1.
int32_t address_binding_get_local_instance(const BACnetAddress* address);
int32_t address_binding_get_local_instance_value(const BACnetAddressValue* address);
int address_binding_is_local_device(int32_t instance);
// The devices set up on a network without a station of their own share the own device's
// station there. One member per device and network, in the order they came.
struct StationMember {
  uint32_t network = 0;
  int32_t instance = -1;
};
// What a reader of the members has taken so far, and since which clearing of the tables.
struct StationMembersSeen {
  uint64_t clearings = 0;
  std::size_t taken = 0;
};
// The members that came after those `seen` has taken, and `seen` moved past them: 0. When the
// tables were cleared since, every member there is now, and 1: those taken before are gone.
// -1 without memory (`seen` stays).
int address_binding_station_members(std::vector<StationMember>* out, StationMembersSeen* seen);
// Moves whenever the members change (and when the tables are cleared); any thread, no lock.
uint64_t address_binding_station_changes();
// Whether any local device other than the own one is registered.
bool address_binding_has_other_local_devices();
int32_t address_binding_get_local_network();
int address_binding_set_device_flag(int32_t instance, int kind, uint32_t value);
// Waiting for a binding on another thread: the count of device-record changes so far, and a
// wait of at most `milliseconds` for the count to move past `seen`. Any thread.
uint64_t address_binding_changes();
void address_binding_wait_change(uint64_t seen, int milliseconds);
// The client transactions' completion callback: notes who answered and forgets the address of
// a device silent for 31 s or more. 0 when the address and its device were found.
int address_binding_heard_from(uint8_t replied, const BACnetAddress& address);

std::size_t address_binding_device_count();
std::size_t address_binding_address_count();

// ---- For device discovery ------------------------------------------------------------------
// Copies of the device table and of the address table; -1 when there is no memory for them.
int address_binding_copy_devices(std::vector<DeviceBinding>* out);
int address_binding_copy_addresses(std::vector<AddressBindingEntry>* out);
// The first own address of a local device: 0, or -1 when it has none.
int address_binding_get_local_entry(int32_t instance, AddressBindingEntry* out);
// The first own address of a local device that names a station: 0, or -1 when it has none.
int address_binding_get_local_station(int32_t instance, AddressBindingEntry* out);
// Its own address on `network`: 0, or -1 when it has none there.
int address_binding_get_local_entry_on(int32_t instance, uint32_t network, AddressBindingEntry* out);
// One more locate or status attempt made at `now`: the next waits longer (steps 0..3).
void address_binding_advance_backoff(int32_t instance, uint32_t now);
// A record still without an address stays online for 21 s after it was made; then it goes
// offline. `now`: wall-clock seconds.
void address_binding_expire_unlocated(int32_t instance, uint32_t now);

// ---- The local Device object's properties and remote devices (object database hooks) -----
// Property 30: the binding list (tag 71) of every address entry; writing gives 41.
int address_binding_encode_binding_list(uint32_t device, BACnetValue* value, int32_t index, uint8_t write_flag);
// Every property of a remote device seen as object (1001, instance).
int address_binding_read_device_property(uint32_t instance, uint32_t property, int32_t index, uint8_t write_flag,
                                         BACnetValue* value, uint32_t extra);
