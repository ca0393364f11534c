#include "bacnet/objects/object_database.h"

#include <cstdlib>

#include "bacnet/binding/address_binding.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/foundation/ring.h"
#include "bacnet/foundation/stack_wake.h"
#include "bacnet/objects/object_behaviour.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/objects/station_index.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

namespace {

constexpr uint32_t kSecondsPerDay = 86400;
constexpr uint32_t kReliabilityUnreliableOther = 7;

using RegistrationQueue = Ring<ObjectRegistration, kObjectQueueCapacity>;

struct DatabaseState {
  RegistrationQueue analog;
  RegistrationQueue binary;
  Ring<ObjectWriteEntry, kObjectQueueCapacity> writes;
  uint32_t last_save = 0;
  uint32_t local_instance = 0;
  int (*save)(uint32_t owner) = nullptr;
};

DatabaseState g;

void free_texts(ObjectRegistration& entry)
{
  std::free(entry.name);
  std::free(entry.description);
  entry.name = entry.description = nullptr;
}

int queue_registration(RegistrationQueue& queue, const ObjectRegistration* entry)
{
  if (!entry)
    return -1;
  ObjectRegistration copy = *entry;
  {
    DRIVER_LOCK_SCOPE();
    if (!queue.put(std::move(copy)))
      return -1;
  }
  stack_wake();
  return 0;
}

bool take_registration(RegistrationQueue& queue, ObjectRegistration* out)
{
  DRIVER_LOCK_SCOPE();
  return queue.get(*out);
}

void set_text(ObjectRecord* record, uint32_t property, const char* text)
{
  if (!text)
    return;
  OwnedValue v;
  if (value_set_charstring(text, v.get()) == VALUE_OK)
    object_PropertyFunction(-1, 0, record, property, -1, PROPERTY_WRITE, v.get(), 0);
}

void tell(ObjectRegistration& entry, int outcome)
{
  if (entry.made)
    entry.made->set_value(outcome);
  entry.made.reset();
}

// At a station one identifier names one object: a request there finds the one device that
// holds it. An object that another device at a station of the owner holds is not made, in
// whatever order the two came; the owner's own object is.
bool taken_at_station(const ObjectRegistration& entry)
{
  if (object_Find(entry.owner, entry.type, entry.instance))
    return false;
  for (uint32_t network : station_index_networks(entry.owner))
    if (station_index_holder(int32_t(network), entry.owner, entry.type, entry.instance) >= 0)
      return true;
  return false;
}

// Applies the registrations, oldest first; one whose object cannot be made ends the drain
// until the next pass.
void drain_registrations(RegistrationQueue& queue, uint32_t first_type, uint32_t last_type)
{
  ObjectRegistration entry;
  while (take_registration(queue, &entry)) {
    ObjectRecord* record = nullptr;
    bool refused = taken_at_station(entry);
    if (!refused) {
      record = object_Find(entry.owner, entry.type, entry.instance);
      if (!record)
        record = object_CreateObject(entry.owner, entry.type, entry.instance);
    }
    if (record && entry.type >= first_type && entry.type <= last_type) {
      set_text(record, PROP_OBJECT_NAME, entry.name);
      set_text(record, PROP_DESCRIPTION, entry.description);
    }
    free_texts(entry);
    tell(entry, record ? 0 : -1);
    if (!record && !refused)
      return;
  }
}

bool updatable_type(uint32_t type)
{
  return type <= OBJECT_BINARY_VALUE || type == OBJECT_MULTI_STATE_INPUT || type == OBJECT_MULTI_STATE_OUTPUT ||
         type == OBJECT_MULTI_STATE_VALUE || type == OBJECT_METER;
}

// The value kind an update of the type carries.
uint32_t update_tag(uint32_t type)
{
  if (type <= OBJECT_ANALOG_VALUE)
    return TAG_REAL;
  if (type <= OBJECT_BINARY_VALUE)
    return TAG_ENUMERATED;
  return TAG_UNSIGNED;
}

void save_check()
{
  // The first change after the start is saved at once, later ones at most once a day. The
  // clock is read only when there is something to save.
  if (!g.save || !object_IsChanged())
    return;
  uint32_t now = os_wall_seconds();
  if (now - g.last_save <= kSecondsPerDay)
    return;
  // A save that failed keeps the change for the next one; it waits its day all the same, so
  // that a full disk is not written to on every pass.
  if (g.save(g.local_instance) == 0)
    object_ClearChanged();
  g.last_save = now;
}

}  // namespace

int object_Init(uint32_t instance, const DriverContext* context, const DeviceIdentity* identity)
{
  object_SetLoopEventSwitch(identity ? identity->loop_event_properties : 1);
  {
    DRIVER_LOCK_SCOPE();
    g.writes.clear();
    g.last_save = 0;
    g.local_instance = instance;
  }
  object_set_log(context && context->options[kObjectLogOption] ? context->log : nullptr);
  behaviour_forget_local_writes();
  objtable_create();
  object_DeviceSetupInit();
  object_InitDevice(instance, identity);
  object_InitObjectsFile(instance, identity ? identity->objects_file : nullptr);
  return 0;
}

int object_Shutdown()
{
  object_DeviceSetupShutdown();
  ObjectWriteEntry write;
  while (object_DequeueWrite(&write) == 0)
    value_free(&write.value);
  ObjectRegistration entry;
  while (take_registration(g.analog, &entry) || take_registration(g.binary, &entry)) {
    free_texts(entry);
    tell(entry, -1);
  }
  address_binding_clear();
  if (g.save)
    g.save(g.local_instance);
  object_ClearChanged();
  objtable_destroy();
  return 0;
}

int object_Poll()
{
  drain_registrations(g.analog, OBJECT_ANALOG_INPUT, OBJECT_ANALOG_VALUE);
  drain_registrations(g.binary, OBJECT_BINARY_INPUT, OBJECT_BINARY_VALUE);
  ObjectWriteEntry write;
  while (object_DequeueWrite(&write) == 0) {
    object_ApplyUpdate(write.owner, write.type, write.instance, write.reliability, &write.value);
    value_free(&write.value);
  }
  object_ApplyDeviceSetups();
  save_check();
  return 0;
}

int object_QueueAnalogUpdate(const ObjectRegistration* entry) { return queue_registration(g.analog, entry); }
int object_QueueBinaryUpdate(const ObjectRegistration* entry) { return queue_registration(g.binary, entry); }

int object_QueueWrite(const ObjectWriteEntry* entry)
{
  if (!entry)
    return -1;
  {
    DRIVER_LOCK_SCOPE();
    if (g.writes.full())
      return -1;
    ObjectWriteEntry copy{entry->owner, entry->type, entry->instance, entry->reliability, BACnetValue{}};
    // Out of memory leaves the entry with what could be copied.
    value_assign(&copy.value, &entry->value, -1);
    g.writes.put(std::move(copy));
  }
  stack_wake();
  return 0;
}

int object_DequeueWrite(ObjectWriteEntry* out)
{
  if (!out)
    return -1;
  DRIVER_LOCK_SCOPE();
  return g.writes.get(*out) ? 0 : -1;
}

int object_RequestWrite(uint32_t owner, uint32_t type, uint32_t instance, uint32_t reliability,
                        const BACnetValue* value)
{
  ObjectWriteEntry entry;
  entry.owner = owner;
  entry.type = type;
  entry.instance = instance;
  entry.reliability = reliability;
  if (value)
    entry.value = *value;  // borrowed: the ring copies it
  return object_QueueWrite(&entry);
}

int object_ApplyUpdate(uint32_t owner, uint32_t type, uint32_t instance, uint32_t reliability,
                       const BACnetValue* value)
{
  ObjectRecord* record = object_Find(owner, type, instance);
  if (!record || !updatable_type(type))
    return -1;
  if (type == OBJECT_METER)
    return 0;
  uint32_t* stored_reliability = object_word(record, PROP_RELIABILITY);
  if (reliability != 0) {
    if (stored_reliability)
      *stored_reliability = reliability;
  } else if (value && value->tag == update_tag(type)) {
    // An input holds its present value; a commandable object takes it as its relinquish
    // default, from which its present value follows while no priority is set.
    bool input = type == OBJECT_ANALOG_INPUT || type == OBJECT_BINARY_INPUT || type == OBJECT_MULTI_STATE_INPUT;
    uint32_t property = input ? PROP_PRESENT_VALUE : PROP_RELINQUISH_DEFAULT;
    if (float* real = object_real(record, property))
      *real = value->payload.real;
    else if (uint32_t* word = object_word(record, property))
      *word = value->payload.unsigned_value;
    if (stored_reliability)
      *stored_reliability = 0;
  } else if (stored_reliability) {
    *stored_reliability = kReliabilityUnreliableOther;
  }
  object_Timer(owner, record, 0);
  return 0;
}

int object_SetEventFlag(uint32_t owner, uint32_t type, uint32_t instance)
{
  ObjectRecord* record = object_Find(owner, type, instance);
  ObjectEngineState* engine = record ? object_engine(record) : nullptr;
  if (!engine)
    return -1;
  engine->force_flags |= kEngineForceCov;
  return 0;
}

void object_set_save_function(int (*save)(uint32_t owner)) { g.save = save; }

uint32_t object_LocalInstance() { return g.local_instance; }
