// The stack host: starts the BACnet stack from one StackConfig, runs every module's periodic
// work on the one stack thread, and shuts the modules down in a fixed order (the tables of
// stack_modules.h, run for every module).
// The caller's thread runs Start and Stop and blocks on the start semaphore; the stack thread
// runs every module init, every periodic task and the whole shut-down.
// Must not: call a module outside those orders, or block inside a pass of the loop.
#pragma once

#include "bacnet/cache/cache.h"
#include "bacnet/client/client_call.h"
#include "bacnet/datalink/datalink_port.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/objects/device_object.h"
#include "bacnet/objects/object_api.h"
#include "bacnet/services/service_dispatch.h"

#include <cstdint>

// The stack's start-up record, filled by the stack client.
struct StackConfig {
  int32_t device_instance = 0;
  DriverLogFunction log_callback = nullptr;
  const char* log_file_name = nullptr;
  uint8_t options[24] = {};
  // The objects file and the local Device object; the client layer takes its APDU timeout and
  // retries from here as well.
  DeviceIdentity identity;
  ConnectStringTable ports;  // the byte behind the records is the ports' max-APDU code
  int32_t application_segment_timeout = 0;
  int32_t application_apdu_timeout = 0;
  int32_t application_retries = 0;
  // The service handlers' host callbacks; the first is called for every received I-Am.
  ServiceHooks service_hooks;
  // Told of every change of a cached remote property, once per subscriber; none when null.
  CacheEventFunction cache_event = nullptr;
  // Told of present-value changes of local objects and of reads of registered ones; none when null.
  ObjectApiValueChangeFunction object_value_change = nullptr;
  ObjectApiEventFunction object_event = nullptr;
};

// Who-Is request record of BACnet_Driver_Request.
struct WhoIsRange {
  int32_t low = -1;
  int32_t high = -1;
};

// 0 running; -1 when the device instance is negative or a port failed to load.
int BACnet_Driver_Start(StackConfig* config);
int BACnet_Driver_Stop();
int BACnet_Driver_Request(const WhoIsRange* range);

// The blocking calls the stack client makes, forwarded unchanged.
int driver_forward_1(ClientCallRecord* record);  // AtomicReadFile
int driver_forward_2(ClientCallRecord* record);  // AtomicWriteFile
int driver_forward_3(ClientCallRecord* record);  // ReadProperty
