// Address binding's half that sends: the module's start-up, the device scan (Who-Is windows
// around the bound devices), locating unbound devices and polling silent ones, I-Am and I-Have
// on behalf of the local devices, and the Device object's scan properties. The tables it works
// on are in binding/address_binding.h, which callers of the whole module get from here.
// The periodic task runs on the stack thread once a second; the answers on the stack thread.
// Scan state only under the global lock, which is never held while sending.
#pragma once

#include "bacnet/binding/address_binding.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/value/value_types.h"

#include <cstdint>
#include <string>

// The scan's upper bound: one past the largest device instance.
inline constexpr int32_t kScanUpperBound = 4194304;

// Scan status (property 570).
enum ScanStatus : int {
  kScanNotUpdated = 0,
  kScanScanning = 1,
  kScanDone = 2,
};

// Start-up, before the ports open: keeps the trace (option byte 5), the own instance, empties
// every table, installs the locate hook and restarts the scan window (the scan stays disabled
// until property 562 is written). 0.
int address_binding_init(const DriverContext* context, int32_t own_instance);

// Every I-Am stamps the scan's last activity.
void address_binding_note_i_am();

// ---- Answers on behalf of the local devices ----------------------------------------------
// The answers to a Who-Is or Who-Has received on a port are owed by the port until its send
// queue has room for them; each answer once, however many requests asked for it.
// I-Ams for a Who-Is (low -1: no range). 0, or -1 for an unknown port.
int address_binding_send_i_am(int port_index, int32_t low, int32_t high);
// One object found by Who-Has: the local device that owns it, the object and its name.
struct IHaveMatch {
  uint32_t device = 0;
  BACnetObjectId object{999, 0};
  std::string name;
};
// Its I-Have, as the device's I-Am goes: from the port's station when the device is set up on
// the port's network without a station of its own. 0, or -1 for an unknown port or device.
int address_binding_send_i_have(int port_index, const IHaveMatch& match);
// The I-Am of a device set up on `network`, broadcast on that network's port alone: where the
// device answers Who-Is. 0, or -1 when no port is on the network or the I-Am is not sent.
int address_binding_announce_device(BACnetObjectId device, uint32_t network, uint32_t max_apdu, uint32_t segmentation);
// At the start of every step of the application layer (stack thread): the owed answers go
// out, each port's oldest first, while the port's send queue holds few frames.
void address_binding_send_waiting_answers();

// ---- The local Device object's scan properties (object database hooks) -------------------
// Property 562: a written BOOLEAN restarts the scan and enables it; reads give the enable flag.
int address_binding_scan_control(BACnetValue* value, uint8_t write_flag);
// Property 570: the scan status text; read-only.
int address_binding_get_scan_status_text(BACnetValue* value, uint8_t write_flag);

// ---- Periodic work (stack thread, once a second) ------------------------------------------
int address_binding_periodic();
int address_binding_device_scan_step();

// The scan window for tests and traces.
struct ScanWindow {
  int32_t low = 0;
  int32_t high = 0;
  int status = kScanNotUpdated;
  bool running = false;
  bool enabled = false;
};
ScanWindow address_binding_scan_window();
