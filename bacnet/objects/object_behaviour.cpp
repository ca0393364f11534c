#include "bacnet/objects/object_behaviour.h"

#include <cstdio>
#include <map>
#include <string>

#include "bacnet/cache/cache.h"
#include "bacnet/client/client_request.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/network/bacnet_address.h"
#include "bacnet/objects/intrinsic_reporting.h"
#include "bacnet/objects/object_database.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/objects/schedule_timers.h"
#include "bacnet/objects/trend_log.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace {

time_t g_tick_time = 0;

int send_time_sync(const BACnetDateTime* utc) { return client_utc_time_synchronization(-1, -1, utc); }

const BehaviourSeams kCacheSeams{cache_get_value, cache_set_value, cache_get_write_status, send_time_sync};
BehaviourSeams g_seams = kCacheSeams;

// Outcome of the last write to each property of a local device, by cache key.
std::map<std::string, bool> g_local_write_failed;

using ObjectTimer = void (*)(uint32_t owner, ObjectRecord* object, int tick_flag);

struct TimerRow {
  uint32_t type;
  ObjectTimer run;
};

void event_enrollment(uint32_t owner, ObjectRecord* object, int) { object_EventEnrollmentTimer(owner, object); }
void calendar(uint32_t owner, ObjectRecord* object, int) { object_CalendarTimer(owner, object); }
void schedule(uint32_t owner, ObjectRecord* object, int) { object_ScheduleTimer(owner, object); }
void trend_log(uint32_t owner, ObjectRecord* object, int) { object_TrendLogTimer(owner, object); }

template <void (*Timer)(uint32_t, int, ObjectRecord*)>
void reporting(uint32_t owner, ObjectRecord* object, int tick_flag)
{
  Timer(owner, tick_flag, object);
}

// One row per type that has a timer.
constexpr TimerRow kTimers[] = {
    {OBJECT_ANALOG_INPUT, reporting<object_AnalogInputTimer>},
    {OBJECT_ANALOG_OUTPUT, reporting<object_AnalogOutputTimer>},
    {OBJECT_ANALOG_VALUE, reporting<object_AnalogValueTimer>},
    {OBJECT_BINARY_INPUT, reporting<object_BinaryInputTimer>},
    {OBJECT_BINARY_OUTPUT, reporting<object_BinaryOutputTimer>},
    {OBJECT_BINARY_VALUE, reporting<object_BinaryValueTimer>},
    {OBJECT_CALENDAR, calendar},
    {OBJECT_DEVICE, object_DeviceTimer},
    {OBJECT_EVENT_ENROLLMENT, event_enrollment},
    {OBJECT_MULTI_STATE_INPUT, reporting<object_MultiStateInputTimer>},
    {OBJECT_MULTI_STATE_OUTPUT, reporting<object_MultiStateOutputTimer>},
    {OBJECT_SCHEDULE, schedule},
    {OBJECT_MULTI_STATE_VALUE, reporting<object_MultiStateValueTimer>},
    {OBJECT_TREND_LOG, trend_log},
};

constexpr uint32_t kRecipientAddress = 1;
constexpr uint32_t kSystemOperational = 0;

// The device a reference names, and whether it is one of the local devices.
uint32_t device_of(uint32_t owner, const BACnetDeviceObjectPropertyReference& reference)
{
  return object_ReferenceOwner(&reference, owner);
}
bool local_device(uint32_t device) { return object_Find(device, OBJECT_DEVICE, device) != nullptr; }

CacheReference cache_reference_of(uint32_t device, const BACnetDeviceObjectPropertyReference& reference)
{
  return cache_reference(device, reference.object.type, reference.object.instance, reference.property,
                         reference.array_index);
}

}  // namespace

void object_set_behaviour_seams(const BehaviourSeams* seams) { g_seams = seams ? *seams : kCacheSeams; }

int behaviour_read_reference(uint32_t owner, const BACnetDeviceObjectPropertyReference& reference, BACnetValue* value)
{
  uint32_t device = device_of(owner, reference);
  // A local device is never bound to an address of its own, so the cache could not reach it.
  if (local_device(device))
    return object_GetObjectProperty(-1, device, reference.object.type, reference.object.instance, reference.property,
                                    reference.array_index, value);
  CacheReference ref = cache_reference_of(device, reference);
  return g_seams.get_value ? g_seams.get_value(&ref, value) : -1;
}

int behaviour_write_reference(uint32_t owner, const BACnetDeviceObjectPropertyReference& reference,
                              const BACnetValue* value, uint8_t priority)
{
  uint32_t device = device_of(owner, reference);
  CacheReference ref = cache_reference_of(device, reference);
  if (local_device(device)) {
    OwnedValue copy;
    int rc = value_assign(copy.get(), value, -1);
    if (rc == 0)
      rc = object_WriteObjectProperty(-1, device, reference.object.type, reference.object.instance, reference.property,
                                      reference.array_index, copy.get(), priority);
    g_local_write_failed[cache_key(ref)] = rc != 0;
    return rc;
  }
  return g_seams.set_value ? g_seams.set_value(&ref, value, priority) : -1;
}

bool behaviour_write_failed(uint32_t owner, const BACnetDeviceObjectPropertyReference& reference)
{
  uint32_t device = device_of(owner, reference);
  CacheReference ref = cache_reference_of(device, reference);
  if (local_device(device)) {
    auto it = g_local_write_failed.find(cache_key(ref));
    return it != g_local_write_failed.end() && it->second;
  }
  return !g_seams.get_write_status || g_seams.get_write_status(&ref) != 0;
}

void object_DeviceTimer(uint32_t, ObjectRecord* object, int tick_flag)
{
  uint32_t* countdown = object_word(object, FIELD_BACKUP_COUNTDOWN);
  uint32_t* status = object_word(object, PROP_SYSTEM_STATUS);
  if (!countdown || !status)
    return;
  if (tick_flag && *countdown > 0)
    --*countdown;
  if (*status == kSystemOperational)
    return;
  std::printf("BackupTimeLeft: %d\n", int(*countdown));
  std::fflush(stdout);
  if (*countdown == 0)
    *status = kSystemOperational;
}

void device_time_sync_at_midnight()
{
  std::tm local{};
  time_t tick = g_tick_time;
  if (!localtime_r(&tick, &local) || local.tm_hour != 0 || local.tm_min != 0 || local.tm_sec != 0)
    return;
  uint32_t device = object_LocalInstance();
  OwnedValue recipients;
  object_GetObjectProperty(-1, device, OBJECT_DEVICE, device, PROP_TIME_SYNCHRONIZATION_RECIPIENTS, -1,
                           recipients.get());
  bool broadcast = false;
  if (const BACnetValueArray* list = recipients->tag == TAG_RECIPIENT_LIST ? value_array(recipients.get()) : nullptr)
    for (uint32_t i = 0; i < list->used && !broadcast; ++i)
      if (const auto* r = value_record<BACnetRecipient>(&list->elements[i]))
        broadcast = r->choice == int32_t(kRecipientAddress) && r->address.network == kGlobalBroadcastNetwork;
  if (!broadcast || !g_seams.utc_time_synchronization)
    return;
  BACnetDateTime utc{};
  time_utc_now_to_bacnet(&utc);
  g_seams.utc_time_synchronization(&utc);
}

void object_Timer(uint32_t owner, ObjectRecord* object, int tick_flag)
{
  if (!object)
    return;
  for (const TimerRow& row : kTimers)
    if (row.type == object->type) {
      row.run(owner, object, tick_flag);
      return;
    }
}

void object_second_tick()
{
  g_tick_time = time_t(os_wall_seconds());
  device_time_sync_at_midnight();
  objtable_walk([](const ObjectTableEntry& e) {
    object_Timer(e.owner, e.object, 1);
    return true;
  });
}

time_t object_tick_time() { return g_tick_time; }

void behaviour_forget_local_writes() { g_local_write_failed.clear(); }
