// The local Device object: its identity at start, the File object that stands for the
// objects file, the Device properties that are computed rather than stored, and the device
// set-up request with which a remote-API client re-identifies the device.
// The Device object lives on the stack thread; object_RequestDeviceSetup is the one call
// made from another thread (an API connection), which queues under the global lock and
// then waits until the stack thread has applied its own entry (object_ApplyDeviceSetups) or
// the shut-down has dropped it.
#pragma once

#include <cstdint>
#include <future>
#include <memory>

#include "bacnet/value/value_types.h"

// Identity of the local device, as the stack's start and the set-up request give it.
struct DeviceIdentity {
  const char* objects_file = nullptr;
  const char* application_software_version = nullptr;
  const char* firmware_revision = nullptr;
  const char* model_name = nullptr;
  const char* object_name = nullptr;
  const char* vendor_name = nullptr;
  const char* description = nullptr;
  const char* location = nullptr;
  uint32_t vendor_identifier = 0;
  uint32_t apdu_timeout = 0;
  uint32_t apdu_segment_timeout = 0;
  uint32_t apdu_retries = 0;
  uint8_t loop_event_properties = 1;  // Loop objects list their event properties
};

// Fills (creating when missing) the Device object of `instance` from the identity, then the
// protocol version, revision and conformance class and the two protocol bit strings.
// 0, or the value library's error when a bit string cannot be made.
int object_InitDevice(uint32_t instance, const DeviceIdentity* identity);
// The File object (10, instance) standing for the objects file: description "Bacnet Objects
// File" and the file's name as property 555. 0 or the first failing write's result.
int object_InitObjectsFile(uint32_t instance, const char* file_name);

// A queued device set-up: the device's instance and address and its seven identity texts
// (private copies or null, in identity order); the numbers are always 0. `done`, when a
// requester waits, receives the entry's outcome: 0 applied, -1 dropped at shut-down.
struct DeviceSetupEntry {
  uint32_t instance = 0;
  uint32_t network = 0;
  uint8_t mac[6] = {};
  uint8_t mac_length = 0;
  char* texts[7] = {};
  uint32_t numbers[4] = {};
  std::shared_ptr<std::promise<int>> done;
};

// Opens the set-up queue (it is open until the first shut-down). 0.
int object_DeviceSetupInit();
// Closes the queue: every entry still queued completes with -1 (its texts released) and new
// requests are refused until the next init.
void object_DeviceSetupShutdown();
// Copies the entry into the queue (64 entries) under the global lock; ownership of the
// texts passes to the queue. 0, or -1 when the queue is full or closed.
int object_QueueDeviceSetup(const DeviceSetupEntry* entry);
// API thread: copies the texts, queues the set-up and waits until the stack thread has
// applied this very entry. 0; -1 for an instance that no object identifier of a device can
// carry (the wildcard or above), when a text cannot be copied, the queue is full or closed, or
// the stack shut down before the entry was applied.
int object_RequestDeviceSetup(uint32_t network, uint32_t instance, const uint8_t* mac, uint8_t mac_length,
                              const char* application_software_version, const char* firmware_revision,
                              const char* model_name, const char* object_name, const char* vendor_name,
                              const char* description, const char* location);
// Stack thread: applies every queued set-up, oldest first (Device identity, local port
// address, I-Am), completing each entry's requester. Number of entries applied.
int object_ApplyDeviceSetups();
