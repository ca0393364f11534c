#include "bacnet/objects/object_api.h"

#include "bacnet/binding/address_binding.h"
#include "bacnet/cache/cache.h"
#include "bacnet/client/client_call.h"
#include "bacnet/codec/codec_acks.h"
#include "bacnet/codec/codec_requests.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/os_wake.h"
#include "bacnet/objects/object_database.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/value/value.h"
#include "bacnet/value/value_records.h"

#include <libiberty/hashtab.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kLastPutType = OBJECT_BINARY_VALUE;  // analog and binary inputs, outputs and values
constexpr auto kRegistrationRetry = std::chrono::milliseconds(10);
constexpr auto kWriteRetry = std::chrono::milliseconds(1);
// A queued entry wakes the stack thread, whose verdict on a put then comes within microseconds:
// the connection thread looks for it for a moment before it sleeps (an OsLook, which leaves the
// processor to the stack thread when that needs it).
constexpr int kVerdictLookUs = 100;

enum RegistrationKind : uint32_t {
  kValueRegistration = 0,
  kClientObject = 1,
  kClient = 2,
};

// The data of every kind: a value registration uses all of it, a client object only the
// reference, a client only the client id.
struct RegistrationData {
  BACnetDeviceObjectPropertyReference reference{};
  uint32_t client_id = 0;
  uint32_t handle = 0;
  uint8_t notify = 0;
};

struct ObjectApiRegistration {
  uint32_t kind = 0;
  char* key = nullptr;
  RegistrationData* data = nullptr;
};

struct ObjectApiState {
  htab_t registry = nullptr;
  std::size_t counted = 0;  // value registrations and clients
  uint32_t last_number = 0;
  DriverLogFunction log = nullptr;
  ObjectApiValueChangeFunction value_change = nullptr;
  ObjectApiEventFunction event = nullptr;
};

ObjectApiState g;
std::atomic<ObjectApiValueChangeFunction> g_value_broadcast{nullptr};
std::atomic<ObjectApiEventFunction> g_event_broadcast{nullptr};
std::atomic<ObjectApiHandleGoneFunction> g_handle_gone{nullptr};

// Queue waits sleep here; a stop ends them at once.
std::mutex g_wait_mutex;
std::condition_variable g_wait_signal;
bool g_stopping = false;
std::size_t g_full_queue_finds = 0;

hashval_t hash_registration(const void* entry)
{
  return htab_hash_string(static_cast<const ObjectApiRegistration*>(entry)->key);
}

int object_api_compare_keys(const void* a, const void* b)
{
  return std::strcmp(static_cast<const ObjectApiRegistration*>(a)->key,
                     static_cast<const ObjectApiRegistration*>(b)->key) == 0
             ? 1
             : 0;
}

void object_api_free_registration(void* p)
{
  auto* entry = static_cast<ObjectApiRegistration*>(p);
  if (entry->data && (entry->kind == kValueRegistration || entry->kind == kClient) && g.counted > 0)
    --g.counted;
  if (ObjectApiHandleGoneFunction gone = g_handle_gone.load(); gone && entry->data && entry->kind == kValueRegistration)
    gone(entry->data->client_id, entry->data->handle);
  delete entry->data;
  std::free(entry->key);
  delete entry;
}

std::string object_key(uint32_t client_id, uint32_t handle)
{
  return std::to_string(int(client_id)) + "|" + std::to_string(int(handle));
}

std::string client_key(uint32_t client_id) { return std::to_string(int(client_id)); }

BACnetDeviceObjectPropertyReference present_value_of(uint32_t device, BACnetObjectId object)
{
  return cache_reference(device, object.type, object.instance, PROP_PRESENT_VALUE);
}

// ---- Registry (the caller holds the lock) --------------------------------------------------

ObjectApiRegistration* find(const std::string& key)
{
  if (!g.registry)
    return nullptr;
  ObjectApiRegistration probe{0, const_cast<char*>(key.c_str()), nullptr};
  return static_cast<ObjectApiRegistration*>(htab_find(g.registry, &probe));
}

RegistrationData* find_data(const std::string& key, uint32_t kind)
{
  ObjectApiRegistration* entry = find(key);
  return entry && entry->kind == kind ? entry->data : nullptr;
}

// Inserts the data under the key; an entry that exists keeps its data, takes the new kind and
// gives its data back (the caller frees what it brought). Null without memory.
RegistrationData* insert(const std::string& key, uint32_t kind, RegistrationData* data, bool* existed)
{
  *existed = false;
  if (!g.registry)
    return nullptr;
  ObjectApiRegistration probe{0, const_cast<char*>(key.c_str()), nullptr};
  void** slot = htab_find_slot(g.registry, &probe, INSERT);
  if (!slot)
    return nullptr;
  if (*slot) {
    auto* entry = static_cast<ObjectApiRegistration*>(*slot);
    entry->kind = kind;
    *existed = true;
    return entry->data;
  }
  auto* entry = new (std::nothrow) ObjectApiRegistration{kind, strdup(key.c_str()), data};
  if (!entry || !entry->key) {
    if (entry)
      std::free(entry->key);
    delete entry;
    htab_clear_slot(g.registry, slot);
    return nullptr;
  }
  *slot = entry;
  if (kind == kValueRegistration || kind == kClient)
    ++g.counted;
  return data;
}

void remove(const std::string& key)
{
  if (!g.registry)
    return;
  ObjectApiRegistration probe{0, const_cast<char*>(key.c_str()), nullptr};
  htab_remove_elt(g.registry, &probe);
}

bool at_limit() { return g.counted > kObjectApiRegistrationLimit; }

// A number not in use by any live client id or system-made handle of this kind of key.
uint32_t new_number(const std::function<std::string(uint32_t)>& key_of)
{
  for (;;) {
    uint32_t n = ++g.last_number;
    if (n != 0 && !find(key_of(n)))
      return n;
  }
}

// The reference bound to a client's handle, copied; false when unknown.
bool client_object(uint32_t client_id, uint32_t handle, BACnetDeviceObjectPropertyReference* reference)
{
  DRIVER_LOCK_SCOPE();
  RegistrationData* data = find_data(object_key(client_id, handle), kClientObject);
  if (!data)
    return false;
  *reference = data->reference;
  return true;
}

// Makes the client-object entry; false without memory.
bool bind_handle(uint32_t client_id, uint32_t handle, const BACnetDeviceObjectPropertyReference& reference)
{
  auto* data = new (std::nothrow) RegistrationData{reference, 0, 0, 0};
  if (!data)
    return false;
  bool existed = false;
  RegistrationData* kept = insert(object_key(client_id, handle), kClientObject, data, &existed);
  if (kept != data)
    delete data;
  return kept != nullptr;
}

// ---- The object database's queues --------------------------------------------------------

constexpr uint32_t kLastAnalogType = OBJECT_ANALOG_VALUE;

// One try: the entry with a private copy of the name goes to the analog (types 0-2) or the
// binary queue (3-5), which then owns the copy. -1 when full (or without memory).
int queue_registration(uint32_t owner, BACnetObjectId object, const char* name,
                       const std::shared_ptr<std::promise<int>>& made)
{
  ObjectRegistration entry;
  entry.owner = owner;
  entry.type = object.type;
  entry.instance = object.instance;
  entry.unused[1] = 1;
  entry.made = made;
  if (name && !(entry.name = strdup(name)))
    return -1;
  int rc = object.type <= kLastAnalogType ? object_QueueAnalogUpdate(&entry) : object_QueueBinaryUpdate(&entry);
  if (rc != 0)
    std::free(entry.name);
  return rc;
}

// ---- Waiting for room in the object database's queues ---------------------------------------

template <typename Attempt>
int until_room(Attempt attempt, std::chrono::milliseconds pause)
{
  for (;;) {
    if (attempt() == 0)
      return 0;
    std::unique_lock<std::mutex> held(g_wait_mutex);
    ++g_full_queue_finds;
    if (g_stopping)
      return -1;
    g_wait_signal.wait_for(held, pause, [] { return g_stopping; });
    if (g_stopping)
      return -1;
  }
}

// Whether the stack thread made the object; a stop of the stack ends the wait.
int await_made(std::future<int>& made)
{
  if (os_look_for(kVerdictLookUs, [&] { return made.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }))
    return made.get();
  while (made.wait_for(kRegistrationRetry) != std::future_status::ready) {
    std::lock_guard<std::mutex> held(g_wait_mutex);
    if (g_stopping)
      return -1;
  }
  return made.get();
}

// A put must not make an object that another device at a station of its device holds, and only
// the stack thread, which owns the objects, can tell: while devices other than the own one are
// set up, a put waits for its verdict. That is decided once the entry is queued, so that a
// device set up later, and whatever it puts, comes behind it; a put of the own device alone
// returns once queued, and the object is made later.
int queue_object(uint32_t device, BACnetObjectId object, const char* name)
{
  std::shared_ptr<std::promise<int>> made;
  std::future<int> outcome;
  try {
    made = std::make_shared<std::promise<int>>();
    outcome = made->get_future();
  } catch (const std::exception&) {
    return -1;
  }
  if (until_room([&] { return queue_registration(device, object, name, made); }, kRegistrationRetry) != 0)
    return -1;
  return address_binding_has_other_local_devices() ? await_made(outcome) : 0;
}

bool may_put(uint32_t device, BACnetObjectId object)
{
  return object.type <= kLastPutType && object.instance <= OBJECT_LARGEST_INSTANCE &&
         address_binding_is_local_device(int32_t(device));
}

}  // namespace

int object_api_init(const DriverContext* context, ObjectApiValueChangeFunction value_change,
                    ObjectApiEventFunction event)
{
  DRIVER_LOCK_SCOPE();
  g.value_change = value_change;
  g.event = event;
  g.log = (context && context->options[kObjectApiTraceOption]) ? context->log : nullptr;
  {
    std::lock_guard<std::mutex> held(g_wait_mutex);
    g_stopping = false;
  }
  if (!g.registry)
    g.registry = htab_create_alloc(0, hash_registration, object_api_compare_keys, object_api_free_registration,
                                   calloc, free);
  return g.registry ? 0 : -1;
}

int object_api_destroy()
{
  DRIVER_LOCK_SCOPE();
  if (g.registry)
    htab_delete(g.registry);
  g.registry = nullptr;
  g.counted = 0;
  return 0;
}

void object_api_set_broadcasters(ObjectApiValueChangeFunction value_event, ObjectApiEventFunction object_event)
{
  g_value_broadcast.store(value_event);
  g_event_broadcast.store(object_event);
}

void object_api_set_handle_gone_hook(ObjectApiHandleGoneFunction gone) { g_handle_gone.store(gone); }

void object_api_stop_waits()
{
  {
    std::lock_guard<std::mutex> held(g_wait_mutex);
    g_stopping = true;
  }
  g_wait_signal.notify_all();
}

int object_api_register_client(uint32_t* client_id)
{
  if (!client_id)
    return -1;
  DRIVER_LOCK_SCOPE();
  if (!g.registry || at_limit())
    return -1;
  uint32_t id = new_number(client_key);
  auto* data = new (std::nothrow) RegistrationData{};
  if (!data)
    return -1;
  data->client_id = id;
  bool existed = false;
  if (insert(client_key(id), kClient, data, &existed) != data) {
    delete data;
    return -1;
  }
  *client_id = id;
  return 0;
}

int object_api_unregister_client(uint32_t client_id)
{
  DRIVER_LOCK_SCOPE();
  // A put accepts any client id: the id's registrations go whether it has a client entry or not.
  bool registered = find_data(client_key(client_id), kClient) != nullptr;
  struct Bound {
    CacheHandle pair;
    std::string value_key;  // empty for a handle without its own value registration
  };
  std::vector<Bound> bound;
  std::string prefix = client_key(client_id) + "|";
  auto collect = [&](void** slot) {
    auto* entry = static_cast<ObjectApiRegistration*>(*slot);
    if (entry->kind == kValueRegistration && entry->data->client_id == client_id)
      bound.push_back({{client_id, entry->data->handle}, entry->key});
    else if (entry->kind == kClientObject && std::strncmp(entry->key, prefix.c_str(), prefix.size()) == 0)
      bound.push_back({{client_id, uint32_t(std::strtoul(entry->key + prefix.size(), nullptr, 10))}, {}});
  };
  htab_traverse_noresize(
      g.registry,
      [](void** slot, void* visit) {
        (*static_cast<decltype(collect)*>(visit))(slot);
        return 1;
      },
      &collect);
  std::sort(bound.begin(), bound.end(),
            [](const Bound& a, const Bound& b) { return cache_compare_handles(a.pair, b.pair) < 0; });
  for (const Bound& b : bound) {
    if (!b.value_key.empty())
      remove(b.value_key);
    remove(object_key(b.pair.client, b.pair.handle));
  }
  remove(client_key(client_id));
  return registered || !bound.empty() ? 0 : -1;
}

int object_api_put_object(uint32_t device, BACnetObjectId object, const char* name, uint32_t client_id,
                          uint32_t handle)
{
  if (!may_put(device, object) || queue_object(device, object, name) != 0)
    return -1;
  DRIVER_LOCK_SCOPE();
  return bind_handle(client_id, handle, present_value_of(device, object)) ? 0 : -1;
}

int object_api_put_object_ex(const char* name, BACnetObjectId object, uint32_t device, uint32_t* handle,
                             uint8_t option, uint32_t client_id)
{
  if (!handle || !may_put(device, object) || queue_object(device, object, name) != 0)
    return -1;
  DRIVER_LOCK_SCOPE();
  BACnetDeviceObjectPropertyReference reference = present_value_of(device, object);
  std::string key = cache_key(reference);
  if (!g.registry || find(key) || at_limit())
    return -1;
  uint32_t chosen = *handle;
  if (option == kObjectApiNewHandle)
    chosen = new_number([client_id](uint32_t n) { return object_key(client_id, n); });
  auto* data = new (std::nothrow) RegistrationData{reference, client_id, chosen, 0};
  bool existed = false;
  if (!data || insert(key, kValueRegistration, data, &existed) != data) {
    delete data;
    return -1;
  }
  if (!bind_handle(client_id, chosen, reference)) {
    remove(key);
    return -1;
  }
  *handle = chosen;
  return 0;
}

int object_api_put_object_call(uint32_t* handle, uint32_t device, BACnetObjectId object, const char* name,
                               uint32_t client_id)
{
  return object_api_put_object_ex(name, object, device, handle, kObjectApiNewHandle, client_id);
}

int object_api_delete_object(uint32_t client_id, uint32_t handle)
{
  DRIVER_LOCK_SCOPE();
  std::string key = object_key(client_id, handle);
  RegistrationData* bound = find_data(key, kClientObject);
  if (!bound)
    return -1;
  // Only this handle's own registration goes; another client's registration of the same
  // object stays.
  std::string registration = cache_key(bound->reference);
  RegistrationData* value = find_data(registration, kValueRegistration);
  if (value && value->client_id == client_id && value->handle == handle)
    remove(registration);
  remove(key);
  return 0;
}

int object_api_read_object(uint32_t client_id, uint32_t handle, BACnetValue* value, uint32_t* status)
{
  if (status)
    *status = kObjectApiReadPending;
  BACnetDeviceObjectPropertyReference reference;
  if (!client_object(client_id, handle, &reference))
    return -1;
  client_calls::ReadPropertyRequest call;
  call.device_instance = int32_t(reference.device.instance);
  call.request.object = reference.object;
  call.request.property = reference.property;
  call.request.array_index = reference.array_index;
  call.Call();
  int result = kObjectApiReadFailed;
  if (call.succeeded() && value && value_copy_fresh(value, &call.answer.value) == VALUE_OK)
    result = 0;
  if (status)
    *status = result == 0 ? 0 : kObjectApiReadFailed;
  return result;
}

int object_api_write_object(uint32_t client_id, uint32_t handle, uint32_t reliability, const BACnetValue* value)
{
  BACnetDeviceObjectPropertyReference reference;
  if (!client_object(client_id, handle, &reference))
    return -1;
  uint32_t device = reference.device.instance;
  return until_room(
      [&] { return object_RequestWrite(device, reference.object.type, reference.object.instance, reliability, value); },
      kWriteRetry);
}

int object_api_set_notify(uint32_t client_id, uint32_t handle, uint8_t flag)
{
  DRIVER_LOCK_SCOPE();
  RegistrationData* bound = find_data(object_key(client_id, handle), kClientObject);
  if (!bound)
    return -1;
  RegistrationData* value = find_data(cache_key(bound->reference), kValueRegistration);
  if (!value)
    return -1;
  value->notify = flag;
  return 0;
}

void object_api_notify_change(uint32_t device, BACnetObjectId object, const BACnetValue* property_value,
                              uint32_t priority)
{
  // The clients are told of the new value itself, not of the property-value record around it.
  const BACnetValue* changed = property_value;
  if (property_value && property_value->tag == TAG_PROPERTY_VALUE)
    if (auto* record = value_record<BACnetPropertyValue>(property_value))
      changed = &record->value;
  const std::string key = cache_key(present_value_of(device, object));
  uint32_t client_id = 0;
  uint32_t handle = 0;
  ObjectApiValueChangeFunction host = nullptr;
  {
    DRIVER_LOCK_SCOPE();
    if (RegistrationData* value = find_data(key, kValueRegistration)) {
      client_id = value->client_id;
      handle = value->handle;
    }
    host = g.value_change;
  }
  if (host)
    host(client_id, handle, device, object.type, object.instance, changed, priority);
  // The remote API's clients are told under the lock that finds the registration, so that no
  // event of it can follow its end (which takes what the clients are owed of it).
  ObjectApiValueChangeFunction broadcast = g_value_broadcast.load();
  if (!broadcast)
    return;
  DRIVER_LOCK_SCOPE();
  if (RegistrationData* value = find_data(key, kValueRegistration))
    broadcast(value->client_id, value->handle, device, object.type, object.instance, changed, priority);
}

void object_api_notify_event(uint32_t device, BACnetObjectId object)
{
  uint32_t client_id = 0;
  uint32_t handle = 0;
  ObjectApiEventFunction host = nullptr;
  {
    DRIVER_LOCK_SCOPE();
    RegistrationData* value = find_data(cache_key(present_value_of(device, object)), kValueRegistration);
    if (!value || !value->notify)
      return;
    client_id = value->client_id;
    handle = value->handle;
    host = g.event;
  }
  if (ObjectApiEventFunction broadcast = g_event_broadcast.load())
    broadcast(client_id, handle, device, object.type, object.instance);
  if (host)
    host(client_id, handle, device, object.type, object.instance);
}

std::size_t object_api_registration_count()
{
  DRIVER_LOCK_SCOPE();
  return g.counted;
}

std::size_t object_api_full_queue_finds()
{
  std::lock_guard<std::mutex> held(g_wait_mutex);
  return g_full_queue_finds;
}

std::size_t object_api_entry_count()
{
  DRIVER_LOCK_SCOPE();
  return g.registry ? htab_elements(g.registry) : 0;
}
