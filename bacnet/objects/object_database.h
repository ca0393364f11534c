// The object database's life and its doors for other threads: start and stop, the three
// request queues of 64 (analog and binary registrations of API objects, the write ring of
// their updates) beside the device set-up queue, and object_Poll, which the stack thread runs
// on every pass to apply what the queues hold and to decide when the objects file is saved.
// Queue operations take the global lock for the copy only and may run on any thread; every
// other function runs on the stack thread, which owns the objects.
#pragma once

#include <cstdint>
#include <future>
#include <memory>

#include "bacnet/foundation/driver.h"
#include "bacnet/objects/device_object.h"
#include "bacnet/value/value_types.h"

inline constexpr uint32_t kObjectQueueCapacity = 64;
// The option byte that gives the object database its log output.
inline constexpr int kObjectLogOption = 16;

// A registration of an API client's object: created when missing; for the analog and binary
// types the present texts become its object name and description. The texts are private
// copies (or null) that the queue takes over. An object that another device at a station of
// the owner holds is not made: at a station one identifier names one object.
// `made`, when a requester waits, receives the outcome: 0 the object is there, -1 it is not.
struct ObjectRegistration {
  uint32_t owner = 0;
  uint32_t type = 0;
  uint32_t instance = 0;
  uint32_t unused[2] = {};
  char* name = nullptr;
  char* description = nullptr;
  std::shared_ptr<std::promise<int>> made;
};

// An update of an API client's object: a non-zero reliability, or else the value.
struct ObjectWriteEntry {
  uint32_t owner = 0;
  uint32_t type = 0;
  uint32_t instance = 0;
  uint32_t reliability = 0;
  BACnetValue value{};
};

// Start-up: the Loop event switch, the empty queues, the log output (option byte 16), no
// outcome of earlier local writes, the object table, the set-up queue, the Device object from
// the identity and the File object of the objects file. 0.
int object_Init(uint32_t instance, const DriverContext* context, const DeviceIdentity* identity);
// Shut-down: every waiting set-up request completes with -1, the queues are emptied, the
// address-binding tables cleared, the objects file saved whatever the change flag says, and
// the table with every object destroyed. 0.
int object_Shutdown();

// Every pass of the stack thread: the registrations (analog, then binary), the write ring,
// the set-up requests, then the daily save check. 0.
int object_Poll();

// Any thread. 0, or -1 when 64 entries wait (the caller retries).
int object_QueueAnalogUpdate(const ObjectRegistration* entry);
int object_QueueBinaryUpdate(const ObjectRegistration* entry);
// The ring keeps a deep copy of the value. 0 or -1 (full).
int object_QueueWrite(const ObjectWriteEntry* entry);
// The oldest entry (its value now the caller's). 0 or -1 (empty).
int object_DequeueWrite(ObjectWriteEntry* out);
int object_RequestWrite(uint32_t owner, uint32_t type, uint32_t instance, uint32_t reliability,
                        const BACnetValue* value);

// Applies one update to an analog, binary or multi-state object and runs its timer once;
// a Meter takes nothing. 0, or -1 when the object is missing or of another type.
int object_ApplyUpdate(uint32_t owner, uint32_t type, uint32_t instance, uint32_t reliability,
                       const BACnetValue* value);
// Asks for a COV notification on the object's next timer run (a new subscription). 0, or -1
// for a missing object or a type without subscriptions.
int object_SetEventFlag(uint32_t owner, uint32_t type, uint32_t instance);

// The objects file's saver, 0 when saved (null: none; the change flag then waits for one, as
// it waits after a failed save).
void object_set_save_function(int (*save)(uint32_t owner));
// The device whose objects file the save writes.
uint32_t object_LocalInstance();
