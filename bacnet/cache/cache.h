// The remote-property cache: copies of other devices' properties that API clients and the
// local object behaviour ask for, kept fresh by a refresh cycle on every stack pass (probe
// each device, read in batches, carry writes), with an event to every subscriber when a
// value or its status changes. The dictionary is touched only under the global lock; the
// refresh cycle, the answers and the COV handlers run on the stack thread, clients call in
// from any thread. Must not: hold the lock while sending or while telling the host's
// callback, or wait on the stack thread (the waiting helpers are for API threads only).
#pragma once

#include "bacnet/application/client_tsm.h"
#include "bacnet/codec/codec_requests.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/value/value_types.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The option byte of the driver context that switches on the cache's trace.
inline constexpr int kCacheTraceOption = 17;
inline constexpr int kCacheLogLevel = 18;
// At most this many cached properties exist at a time.
inline constexpr std::size_t kCacheEntryLimit = 10001;
// The most properties one ReadPropertyMultiple asks for.
inline constexpr std::size_t kCacheReadBatch = 41;
// The cache's requests waiting for their answers at most: half of the process's client
// transactions, so that the other callers keep theirs.
inline constexpr std::size_t kCacheRequestsInFlight = 64;
// Centisecond ticks: the pause after any activity, the age of an unanswered read that is
// asked again, and the time an entry without subscribers outlives its last access.
inline constexpr uint32_t kCacheQuietTicks = 100;
inline constexpr uint32_t kCacheRereadTicks = 1501;
inline constexpr uint32_t kCacheIdleTicks = 90000;

// Status of an entry.
enum CacheStatus : int32_t {
  kCacheValid = 0,
  kCacheDeviceError = 7,  // the device answered with an error
  kCacheUnknown = 501,    // no answer, or the device is offline
  kCacheNeverRead = 502,
};

// Results of the lookups (the BACnet error code plus one where they are errors).
inline constexpr int kCacheNoAnswer = 31;  // stored for a read without answer; get of an unknown status
inline constexpr int kCacheNotRead = 501;  // get of an entry never read
inline constexpr int kCacheWriteStatusMissing = 18;
inline constexpr int kCacheGetMissing = 19;
inline constexpr int kCacheSetMissing = 21;

// A cached property: object, property, array index (-1 none) and device (type 8, instance).
using CacheReference = BACnetDeviceObjectPropertyReference;
CacheReference cache_reference(uint32_t device, uint32_t object_type, uint32_t object_instance, uint32_t property,
                               int32_t array_index = -1);
// The dictionary key of a reference: "device|type|instance|property|index".
std::string cache_key(const CacheReference& reference);

// Told of every change of an entry, once per subscriber: the entry's reference, the stored
// value (NULL for an error), the stored error (0 value, 31 no answer, other: the device's
// error) and the subscriber's client and handle. The host's callback is called without the
// lock held, the remote API's broadcast with it held.
using CacheEventFunction = void (*)(const CacheReference* reference, const BACnetValue* value, int error,
                                    uint32_t client, uint32_t handle);

// One subscription: client and handle, with the refresh the client asked for (kept, unused).
struct CacheHandle {
  uint32_t client = 0;
  uint32_t handle = 0;
};
// Orders (client, handle) pairs by client, then handle, unsigned: -1, 0 or 1.
int cache_compare_handles(const CacheHandle& a, const CacheHandle& b);

// Where the cache reaches the client layer and the clock. Empty seams: the client request
// layer's senders, the stack's centisecond tick and the application layer's free client
// transactions (those not in use, less the requests queued for one).
struct CacheSeams {
  int (*read_property)(ClientRequestCallback callback, void* user_data, int32_t device,
                       const ReadPropertyRequest* request) = nullptr;
  int (*read_property_multiple)(ClientRequestCallback callback, void* user_data, int32_t device,
                                const ReadPropertyMultipleRequest* request) = nullptr;
  int (*write_property)(ClientRequestCallback callback, void* user_data, int32_t device,
                        const WritePropertyRequest* request) = nullptr;
  uint32_t (*tick)() = nullptr;
  std::size_t (*free_transactions)() = nullptr;
};
void cache_set_seams(const CacheSeams* seams);

// ---- Life --------------------------------------------------------------------------------
// Start-up (after the object API): keeps the trace (option byte 17) and the event callback,
// creates the dictionary and notes now as the last activity. 0, or -1 without memory.
int cache_init(const DriverContext* context, CacheEventFunction event);
// Shut-down: every element, the work lists and the requests in flight go; waiting helpers
// end with failure; answers that come later find nothing.
void cache_destroy();
// One step of the refresh cycle (stack thread, every pass).
void cache_execute();
// The remote API's broadcast of cache events to its clients; null (the start) sends none.
void cache_set_event_broadcaster(CacheEventFunction broadcaster);
// Told under the lock as a handle goes (removed, with its client, or with the cache), after
// its last event: the remote API forgets what its clients are owed of it. Null tells none.
using CacheHandleGoneFunction = void (*)(uint32_t client, uint32_t handle);
void cache_set_handle_gone_hook(CacheHandleGoneFunction gone);
// The stack stops: waiting reads and writes end with failure now and until the next init, as
// no refresh cycle will answer them.
void cache_stop_waits();

// ---- Clients and handles -----------------------------------------------------------------
// A new client id, unique while the client exists. 0, or -1.
int cache_register_client(uint32_t* id);
// Ends every subscription and handle of the client, then the client. 0, or -1 when unknown.
int cache_unregister_client(uint32_t id);
// Binds a new handle of the client to the reference (its entry is made when missing) and
// subscribes it; the entry is read in the next cycle and its next result is told to the new
// subscriber even when unchanged. 0 with the handle id, or -1 (nothing is left behind).
int cache_add_property(uint32_t* handle, const CacheReference* reference, uint8_t refresh, uint32_t client);
// The same with the caller's handle id (a handle bound before moves to the new reference),
// refresh 60, or 0 for present-value.
int cache_add_property_default(const CacheReference* reference, uint32_t client, uint32_t handle);
// Ends the handle's subscription and the handle. 0, or -1 when unknown.
int cache_remove_handle(uint32_t client, uint32_t handle);

// The outcome of a read by handle: the get's result, and for a non-zero result class 5 with
// the result minus one as code.
struct CacheReadResult {
  int result = 0;
  uint32_t error_class = 0;
  uint32_t error_code = 0;
};
// The handle's value; unless `no_wait`, after the next result stored for it. 0, or -1 for an
// unknown handle, or when the cache, the handle or its entry goes during the wait.
int cache_read_by_handle(uint32_t client, uint32_t handle, uint8_t no_wait, BACnetValue* value,
                         CacheReadResult* result);
// Stores a value to write through the handle; unless `no_wait`, waits until that write was
// answered or dropped (cache_get_write_status then tells its outcome). The value is stored
// once. 0, or -1 as for the read, or when the value cannot be stored.
int cache_write_by_handle(uint32_t client, uint32_t handle, uint8_t no_wait, const BACnetValue* value,
                          uint8_t priority);

// ---- Entries -----------------------------------------------------------------------------
// The cached value (the entry is made when missing): 0 with the value, 501 never read, 31 no
// answer, 1 the device answered with an error, 19 when no entry can be had.
int cache_get_value(const CacheReference* reference, BACnetValue* value);
// 0 when the last write was acknowledged, 1 otherwise; 18 (and a line on standard output)
// when no entry can be had.
int cache_get_write_status(const CacheReference* reference);
// A value to write with the next cycle at that priority (0 none). 0, the copy's failure, or
// 21 when no entry can be had.
int cache_set_value(const CacheReference* reference, const BACnetValue* value, uint8_t priority);
// Stores a result into the entry of the reference when one exists: error 0 the value, 31 no
// answer, any other an error of the device. Subscribers are told when it changed.
void cache_update_property(int error, const CacheReference* reference, const BACnetValue* value);

// ---- Inspection (tests, traces) -----------------------------------------------------------
struct CacheEntryView {
  int32_t status = kCacheNeverRead;
  uint32_t last_read = 0;
  uint32_t last_access = 0;
  uint32_t last_update = 0;
  uint32_t write_requested = 0;
  uint32_t write_taken = 0;
  uint32_t write_sent = 0;
  uint8_t write_result = 0;
  uint8_t write_priority = 0;
  std::size_t subscribers = 0;
};
// 0 with a copy of the entry's bookkeeping, -1 when there is no such entry.
int cache_inspect(const CacheReference* reference, CacheEntryView* view);
std::size_t cache_entry_count();
// The refresh cycle's state: 0 collect, 1 probe, 2 read, 3 write.
int cache_cycle_state();
// Tests: the references each work list may hold (0 restores no limit).
void cache_set_list_limit(std::size_t references);
