// The once-a-second object behaviour: the tick takes the time, sends the midnight time
// synchronisation and walks the object table; object_Timer runs one object's timer by its
// type from a table of per-type timers (reporting, Calendar, Schedule, Trend Log, Device).
// Stack thread only; a timer must return quickly and never block: properties of other
// devices are read and written through the remote-property cache, which only queues.
#pragma once

#include <cstdint>
#include <ctime>

#include "bacnet/value/value_types.h"

struct ObjectRecord;

// Runs the timer of the object's type; types without one do nothing. The tick flag is 1
// from the table walk and 0 when a write or an acknowledgment runs it out of turn.
void object_Timer(uint32_t owner, ObjectRecord* object, int tick_flag);

// Called by the stack thread whenever the wall-clock second changes: stores the tick time,
// runs the midnight check and every object's timer with the tick flag 1.
void object_second_tick();

// The system time in whole seconds taken at the start of the last tick (0 before the first).
time_t object_tick_time();

// At local 00:00:00 one UTCTimeSynchronization goes out as a global broadcast when the own
// Device's time-synchronization-recipients hold an address recipient on network 65535.
void device_time_sync_at_midnight();

// Where the behaviour reaches other devices. Empty seams: the remote-property cache and the
// client layer. Properties of a local device never go through them: the database serves them.
struct BehaviourSeams {
  int (*get_value)(const BACnetDeviceObjectPropertyReference* reference, BACnetValue* value) = nullptr;
  int (*set_value)(const BACnetDeviceObjectPropertyReference* reference, const BACnetValue* value,
                   uint8_t priority) = nullptr;
  // 0 when the last write was acknowledged.
  int (*get_write_status)(const BACnetDeviceObjectPropertyReference* reference) = nullptr;
  int (*utc_time_synchronization)(const BACnetDateTime* utc) = nullptr;
};
// Installs the seams (copied); null restores the cache and the client layer.
void object_set_behaviour_seams(const BehaviourSeams* seams);

// A property a schedule writes or a trend log reads, by its reference; a reference without
// device (type 999) stands for `owner`. Results as the cache's: 0, or non-zero for failure.
int behaviour_read_reference(uint32_t owner, const BACnetDeviceObjectPropertyReference& reference,
                             BACnetValue* value);
int behaviour_write_reference(uint32_t owner, const BACnetDeviceObjectPropertyReference& reference,
                              const BACnetValue* value, uint8_t priority);
// True when the last write through the reference failed or (for another device) was not
// acknowledged yet.
bool behaviour_write_failed(uint32_t owner, const BACnetDeviceObjectPropertyReference& reference);
// Forgets the outcome of every write to a property of a local device: a database that starts
// has written nothing yet.
void behaviour_forget_local_writes();

// The Device timer: counts the backup down on tick runs; while the device is not
// operational it prints the time left and returns to operational when it is over.
void object_DeviceTimer(uint32_t owner, ObjectRecord* object, int tick_flag);
