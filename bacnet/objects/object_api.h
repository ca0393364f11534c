// The object API: client programs of the remote API keep analog and binary objects of their
// own in the local device. Owns the registry of clients, their objects and the value
// registrations that ask for change events, and turns each request into an entry of the
// object database's queues. Requests run on API connection threads and take the global lock
// for registry work only; the change events run on the stack thread. Must not: touch an
// object itself (only the stack thread does), or wait on a queue while holding the lock.
#pragma once

#include "bacnet/foundation/driver.h"
#include "bacnet/value/value_types.h"

#include <cstddef>
#include <cstdint>

// The option byte of the driver context that switches on the object API's trace.
inline constexpr int kObjectApiTraceOption = 19;
// Value registrations and clients together; a new one is refused while more exist.
inline constexpr std::size_t kObjectApiRegistrationLimit = 10000;
// put_object_ex's option that asks for a handle made by the system.
inline constexpr uint8_t kObjectApiNewHandle = 255;
// The status of a read before it is answered, and after a read that failed.
inline constexpr uint32_t kObjectApiReadPending = 501;
inline constexpr uint32_t kObjectApiReadFailed = 1;

// The host program's callbacks: a present value of a local object changed (client id and
// handle of its value registration, 0 without one); a registered object's present value was
// read by another device while its client asked to be told.
using ObjectApiValueChangeFunction = void (*)(uint32_t client_id, uint32_t handle, uint32_t owner,
                                              uint32_t object_type, uint32_t instance, const BACnetValue* value,
                                              uint32_t priority);
using ObjectApiEventFunction = void (*)(uint32_t client_id, uint32_t handle, uint32_t owner, uint32_t object_type,
                                        uint32_t instance);

// Start-up (after the application layer): keeps the callbacks (each may be null) and the
// trace, creates the registry. 0, or -1 without memory.
int object_api_init(const DriverContext* context, ObjectApiValueChangeFunction value_change,
                    ObjectApiEventFunction event);
// Shut-down: every registration goes. 0.
int object_api_destroy();
// The remote API's broadcasts of the events 703 and 706; null sends none. The broadcast of
// 703 is called with the lock held.
void object_api_set_broadcasters(ObjectApiValueChangeFunction value_event, ObjectApiEventFunction object_event);
// Told under the lock as a value registration goes (its handle deleted, its client
// unregistered, or the registry destroyed), after its last event 703: the remote API forgets
// what its clients are owed of it. Null tells none.
using ObjectApiHandleGoneFunction = void (*)(uint32_t client_id, uint32_t handle);
void object_api_set_handle_gone_hook(ObjectApiHandleGoneFunction gone);
// Ends the waits for room in the object database's queues and for a put's object: every
// waiting and later put or write gives -1 until the next init. Called when the stack stops.
void object_api_stop_waits();

// ---- Clients -------------------------------------------------------------------------------
// A new client id, unique while it is registered. 0, or -1 at the limit or without memory.
int object_api_register_client(uint32_t* client_id);
// Ends the client's value registrations and client objects (the local objects stay), then
// the client, whether the id has a client entry or only registrations. 0, or -1 when the id
// has neither.
int object_api_unregister_client(uint32_t client_id);

// ---- Objects -------------------------------------------------------------------------------
// Queues the object (types 0-5 of a local device) for the stack thread, which creates it when
// missing and names it, and binds the client's handle to it. 0, or -1 (before anything is
// queued when the device is not local, the type above 5 or the instance above 4194302). A
// device that shares a station with others (set up on a port's network without a station of
// its own, or the own device beside such) waits until the stack thread has made the object,
// and gets -1, with nothing bound, when another device at that station holds one of that
// identifier: at a station one identifier names one object.
int object_api_put_object(uint32_t device, BACnetObjectId object, const char* name, uint32_t client_id,
                          uint32_t handle);
// The same, and the client's value registration of the object's present value, under a new
// handle (option 255, written back) or the caller's. -1 when the object has a value
// registration already (it stays).
int object_api_put_object_ex(const char* name, BACnetObjectId object, uint32_t device, uint32_t* handle,
                             uint8_t option, uint32_t client_id);
int object_api_put_object_call(uint32_t* handle, uint32_t device, BACnetObjectId object, const char* name,
                               uint32_t client_id);
// Unbinds the handle and ends its value registration; the local object stays. 0, or -1.
int object_api_delete_object(uint32_t client_id, uint32_t handle);
// The object's present value, read from its device with a blocking ReadProperty: 0 with the
// value and status 0; 1 with status 1 when the read failed; -1 (status 501) for an unknown
// handle.
int object_api_read_object(uint32_t client_id, uint32_t handle, BACnetValue* value, uint32_t* status);
// Queues an update of the object: reliability 0 writes the value, any other number becomes
// the object's reliability. 0, or -1 for an unknown handle.
int object_api_write_object(uint32_t client_id, uint32_t handle, uint32_t reliability, const BACnetValue* value);
// Whether reads of the object's present value are told (event 706). 0, or -1.
int object_api_set_notify(uint32_t client_id, uint32_t handle, uint8_t flag);

// ---- Events (stack thread) -------------------------------------------------------------------
// A present value changed: `property_value` is the written property value (or the bare value).
void object_api_notify_change(uint32_t device, BACnetObjectId object, const BACnetValue* property_value,
                              uint32_t priority);
// A present value of an Analog Output or a Multi-state Output or Value was read.
void object_api_notify_event(uint32_t device, BACnetObjectId object);

// ---- Inspection (tests) -------------------------------------------------------------------
std::size_t object_api_registration_count();  // value registrations and clients
std::size_t object_api_entry_count();         // every registry entry
// How often a put or a write found its queue full and waited for room.
std::size_t object_api_full_queue_finds();
