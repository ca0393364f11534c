#include "bacnet/cache/cache.h"

#include "bacnet/cache/cache_internal.h"
#include "bacnet/client/client_request.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/foundation/stack_tick.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"
#include "bacnet/value/value_records.h"

#include <libiberty/hashtab.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>

namespace {

constexpr uint8_t kDefaultRefresh = 60;
constexpr auto kWaitPoll = std::chrono::milliseconds(10);

enum ElementKind : uint32_t {
  kEntryElement = 0,
  kHandleElement = 1,
  kClientElement = 2,
};

// One dictionary element; `data` is a CacheEntry, a HandleData or a ClientData by kind.
struct Element {
  uint32_t kind;
  char* key;
  void* data;
};

struct HandleData {
  uint32_t client;
  uint32_t handle;
  CacheReference reference;
};

struct ClientData {
  uint32_t id;
  uint32_t reserved;
};

struct CacheState {
  htab_t table = nullptr;
  std::size_t entries = 0;
  DriverLogFunction log = nullptr;
  CacheEventFunction event = nullptr;
  CacheSeams seams;
  uint32_t next_client = 1;
  uint32_t next_handle = 1;
};

CacheState g;
std::atomic<CacheEventFunction> g_broadcaster{nullptr};
std::atomic<CacheHandleGoneFunction> g_handle_gone{nullptr};
// Changes with every init and destroy, so a wait that began before either ends.
std::atomic<uint64_t> g_epoch{0};
// Set when the stack stops: waits end at once until the next init.
std::atomic<bool> g_waits_stopped{false};

// The waiting helpers sleep here between looks; every result, write end and destroy wakes them.
std::mutex g_wait_mutex;
std::condition_variable g_wait_signal;
uint64_t g_wakes = 0;

uint32_t stack_tick() { return clock_get_tick(); }

int send_read_property(ClientRequestCallback callback, void* user_data, int32_t device,
                       const ReadPropertyRequest* request)
{
  return client_read_property(callback, user_data, device, nullptr, request);
}

int send_read_property_multiple(ClientRequestCallback callback, void* user_data, int32_t device,
                                const ReadPropertyMultipleRequest* request)
{
  return client_read_property_multiple(callback, user_data, device, nullptr, request);
}

int send_write_property(ClientRequestCallback callback, void* user_data, int32_t device,
                        const WritePropertyRequest* request)
{
  return client_write_property(callback, user_data, device, nullptr, request);
}

CacheSeams real_seams()
{
  CacheSeams s;
  s.read_property = send_read_property;
  s.read_property_multiple = send_read_property_multiple;
  s.write_property = send_write_property;
  s.tick = stack_tick;
  s.free_transactions = client_free_transactions;
  return s;
}

// ---- The dictionary (under the lock) ------------------------------------------------------

hashval_t hash_element(const void* element) { return htab_hash_string(static_cast<const Element*>(element)->key); }

int equal_elements(const void* a, const void* b)
{
  return std::strcmp(static_cast<const Element*>(a)->key, static_cast<const Element*>(b)->key) == 0;
}

void delete_element(void* p)
{
  auto* element = static_cast<Element*>(p);
  switch (element->kind) {
  case kEntryElement: {
    auto* entry = static_cast<CacheEntry*>(element->data);
    value_free(&entry->value);
    value_free(&entry->write_value);
    delete entry;
    --g.entries;
    break;
  }
  case kHandleElement: {
    auto* bound = static_cast<HandleData*>(element->data);
    if (CacheHandleGoneFunction gone = g_handle_gone.load())
      gone(bound->client, bound->handle);
    delete bound;
    break;
  }
  default:
    delete static_cast<ClientData*>(element->data);
    break;
  }
  std::free(element->key);
  std::free(element);
}

Element* find_element(const std::string& key)
{
  if (!g.table)
    return nullptr;
  Element probe{0, const_cast<char*>(key.c_str()), nullptr};
  return static_cast<Element*>(htab_find(g.table, &probe));
}

// Stores `data` under a key that is not there yet; false (the data stays the caller's) when
// the key exists or memory runs out.
bool insert_element(const std::string& key, uint32_t kind, void* data)
{
  if (!g.table)
    return false;
  Element probe{0, const_cast<char*>(key.c_str()), nullptr};
  void** slot = htab_find_slot(g.table, &probe, INSERT);
  if (!slot || *slot)
    return false;
  auto* element = static_cast<Element*>(std::malloc(sizeof(Element)));
  char* copy = strdup(key.c_str());
  if (!element || !copy) {
    std::free(element);
    std::free(copy);
    htab_clear_slot(g.table, slot);
    return false;
  }
  *element = Element{kind, copy, data};
  *slot = element;
  return true;
}

void remove_element(const std::string& key)
{
  if (!g.table)
    return;
  Element probe{0, const_cast<char*>(key.c_str()), nullptr};
  htab_remove_elt(g.table, &probe);
}

void walk(const std::function<void(Element&)>& visit)
{
  if (!g.table)
    return;
  htab_traverse_noresize(
      g.table,
      [](void** slot, void* state) {
        (*static_cast<const std::function<void(Element&)>*>(state))(*static_cast<Element*>(*slot));
        return 1;
      },
      const_cast<std::function<void(Element&)>*>(&visit));
}

std::string client_key(uint32_t client) { return std::to_string(client); }

std::string handle_key(uint32_t client, uint32_t handle)
{
  return std::to_string(client) + "|" + std::to_string(handle);
}

HandleData* find_handle(uint32_t client, uint32_t handle)
{
  Element* element = find_element(handle_key(client, handle));
  return element && element->kind == kHandleElement ? static_cast<HandleData*>(element->data) : nullptr;
}

// The entry of the reference, made (never read, accessed now) when missing; null when the
// limit is reached or memory runs out.
CacheEntry* find_or_create_entry(const CacheReference& reference, bool* created = nullptr)
{
  if (created)
    *created = false;
  std::string key = cache_key(reference);
  if (CacheEntry* entry = cache_detail::find_entry(key))
    return entry;
  if (!g.table || g.entries >= kCacheEntryLimit)
    return nullptr;
  auto* entry = new (std::nothrow) CacheEntry;
  if (!entry)
    return nullptr;
  entry->reference = reference;
  entry->reference.device.type = OBJECT_DEVICE;
  entry->last_access = cache_detail::now();
  if (!insert_element(key, kEntryElement, entry)) {
    delete entry;
    return nullptr;
  }
  ++g.entries;
  if (created)
    *created = true;
  return entry;
}

bool same_subscriber(const CacheSubscriber& s, uint32_t client, uint32_t handle)
{
  return s.client == client && s.handle == handle;
}

bool subscribe(CacheEntry& entry, uint32_t client, uint32_t handle, uint8_t refresh)
{
  entry.announce = true;
  CacheHandle wanted{client, handle};
  auto at = std::lower_bound(entry.subscribers.begin(), entry.subscribers.end(), wanted,
                             [](const CacheSubscriber& s, const CacheHandle& h) {
                               return cache_compare_handles({s.client, s.handle}, h) < 0;
                             });
  if (at != entry.subscribers.end() && same_subscriber(*at, client, handle)) {
    at->refresh = refresh;
    return true;
  }
  try {
    entry.subscribers.insert(at, CacheSubscriber{client, handle, refresh});
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void unsubscribe(const CacheReference& reference, uint32_t client, uint32_t handle)
{
  if (CacheEntry* entry = cache_detail::find_entry(cache_key(reference)))
    std::erase_if(entry->subscribers, [&](const CacheSubscriber& s) { return same_subscriber(s, client, handle); });
}

// Binds the handle to the reference and subscribes it; a handle bound before leaves its old
// entry. On failure nothing made here stays.
int bind_handle(uint32_t client, uint32_t handle, const CacheReference& reference, uint8_t refresh)
{
  bool created = false;
  CacheEntry* entry = find_or_create_entry(reference, &created);
  if (!entry)
    return -1;
  std::string key = handle_key(client, handle);
  HandleData* bound = find_handle(client, handle);
  bool new_handle = !bound;
  if (bound) {
    unsubscribe(bound->reference, client, handle);
    bound->reference = entry->reference;
  } else {
    bound = new (std::nothrow) HandleData{client, handle, entry->reference};
    if (!bound || !insert_element(key, kHandleElement, bound)) {
      delete bound;
      if (created)
        remove_element(cache_key(reference));
      return -1;
    }
  }
  if (!subscribe(*entry, client, handle, refresh)) {
    if (new_handle)
      remove_element(key);
    if (created)
      remove_element(cache_key(reference));
    return -1;
  }
  return 0;
}

// ---- Events ------------------------------------------------------------------------------

struct Event {
  CacheReference reference;
  OwnedValue value;
  int error;
  uint32_t client;
  uint32_t handle;
};

// The remote API's clients are told under the lock that found the subscribers, so that no
// event of a handle can follow the handle's end (which takes what the clients are owed of it).
void tell_api_clients(std::vector<Event>& events)
{
  if (CacheEventFunction broadcaster = g_broadcaster.load())
    for (Event& e : events)
      broadcaster(&e.reference, e.value.get(), e.error, e.client, e.handle);
}

// Told outside the lock.
void tell_host(std::vector<Event>& events, CacheEventFunction callback)
{
  if (callback)
    for (Event& e : events)
      callback(&e.reference, e.value.get(), e.error, e.client, e.handle);
}

// Stores one result; true when the subscribers are to be told. A value that cannot be
// copied is stored as an error of the device (`error` tells what was stored).
bool store_result(CacheEntry& entry, int& error, const BACnetValue* value)
{
  bool changed = entry.announce;
  if (error == 0) {
    OwnedValue copy;
    if (!value || value_copy_fresh(copy.get(), value) != VALUE_OK) {
      error = 1;
    } else {
      changed = changed || entry.status != kCacheValid || value_order(copy.get(), &entry.value) != 0;
      value_free(&entry.value);
      entry.value = copy.release();
      entry.status = kCacheValid;
    }
  }
  if (error == kCacheNoAnswer) {
    changed = changed || entry.status != kCacheUnknown;
    entry.status = kCacheUnknown;
  } else if (error != 0) {
    changed = changed || entry.status != kCacheDeviceError;
    entry.status = kCacheDeviceError;
  }
  entry.last_update = entry.last_read = cache_detail::now();
  entry.announce = false;
  ++entry.results;
  return changed;
}

// ---- Waiting helpers ---------------------------------------------------------------------

enum class Look { kPending, kDone, kGone };

// Looks (under the lock) every 10 ms and at every wake-up until the look is done; false when
// the cache, or what the look needs, went first.
bool wait_until(const std::function<Look()>& look)
{
  uint64_t epoch = g_epoch.load();
  for (;;) {
    uint64_t seen;
    {
      std::lock_guard<std::mutex> held(g_wait_mutex);
      seen = g_wakes;
    }
    Look now;
    {
      DRIVER_LOCK_SCOPE();
      now = (!cache_detail::alive() || g_epoch.load() != epoch || g_waits_stopped) ? Look::kGone : look();
    }
    if (now != Look::kPending)
      return now == Look::kDone;
    std::unique_lock<std::mutex> held(g_wait_mutex);
    g_wait_signal.wait_for(held, kWaitPoll, [&] { return g_wakes != seen; });
  }
}

int set_value(const CacheReference& reference, const BACnetValue* value, uint8_t priority, uint64_t* request)
{
  DRIVER_LOCK_SCOPE();
  CacheEntry* entry = find_or_create_entry(reference);
  if (!entry)
    return kCacheSetMissing;
  uint32_t now = cache_detail::now();
  entry->last_access = now;
  int rc = value ? value_copy_fresh(&entry->write_value, value) : VALUE_BAD_ARGUMENT;
  // A value that could not be copied is not sent.
  if (rc != VALUE_OK)
    return rc;
  entry->write_requested = now;
  entry->write_taken = now - 1;
  entry->write_priority = priority;
  if (request)
    *request = ++entry->writes_requested;
  else
    ++entry->writes_requested;
  return VALUE_OK;
}

}  // namespace

// ---- Internal interface -------------------------------------------------------------------

std::string cache_key(const CacheReference& reference)
{
  // The five numbers in decimal between "|", as "%d" writes them, without the formatter: a
  // key is made for every look-up.
  const int32_t numbers[] = {int32_t(reference.device.instance), int32_t(reference.object.type),
                             int32_t(reference.object.instance), int32_t(reference.property), reference.array_index};
  char key[80];
  char* end = key;
  for (int32_t n : numbers) {
    if (end != key)
      *end++ = '|';
    end = std::to_chars(end, key + sizeof key, n).ptr;
  }
  return std::string(key, end);
}

namespace cache_detail {

uint32_t now() { return g.seams.tick ? g.seams.tick() : clock_get_tick(); }

CacheEntry* find_entry(const std::string& key)
{
  Element* element = find_element(key);
  return element && element->kind == kEntryElement ? static_cast<CacheEntry*>(element->data) : nullptr;
}

void each_entry(void (*visit)(CacheEntry& entry, void* state), void* state)
{
  walk([&](Element& e) {
    if (e.kind == kEntryElement)
      visit(*static_cast<CacheEntry*>(e.data), state);
  });
}

void remove_entry(const std::string& key)
{
  if (find_entry(key))
    remove_element(key);
}

bool alive() { return g.table != nullptr; }

void wake_waiters()
{
  {
    std::lock_guard<std::mutex> held(g_wait_mutex);
    ++g_wakes;
  }
  g_wait_signal.notify_all();
}

const CacheSeams& seams() { return g.seams; }

void trace(const char* text)
{
  if (g.log)
    g.log(kCacheLogLevel, text);
}

}  // namespace cache_detail

// ---- Public interface ---------------------------------------------------------------------

CacheReference cache_reference(uint32_t device, uint32_t object_type, uint32_t object_instance, uint32_t property,
                               int32_t array_index)
{
  return CacheReference{{object_type, object_instance}, property, array_index, {OBJECT_DEVICE, device}};
}

int cache_compare_handles(const CacheHandle& a, const CacheHandle& b)
{
  if (a.client != b.client)
    return a.client < b.client ? -1 : 1;
  if (a.handle != b.handle)
    return a.handle < b.handle ? -1 : 1;
  return 0;
}

void cache_set_seams(const CacheSeams* seams)
{
  CacheSeams chosen = seams ? *seams : CacheSeams{};
  CacheSeams real = real_seams();
  if (!chosen.read_property)
    chosen.read_property = real.read_property;
  if (!chosen.read_property_multiple)
    chosen.read_property_multiple = real.read_property_multiple;
  if (!chosen.write_property)
    chosen.write_property = real.write_property;
  if (!chosen.tick)
    chosen.tick = real.tick;
  if (!chosen.free_transactions)
    chosen.free_transactions = real.free_transactions;
  DRIVER_LOCK_SCOPE();
  g.seams = chosen;
}

int cache_init(const DriverContext* context, CacheEventFunction event)
{
  cache_destroy();
  DRIVER_LOCK_SCOPE();
  if (!g.seams.tick)
    g.seams = real_seams();
  g.log = (context && context->options[kCacheTraceOption]) ? context->log : nullptr;
  g.event = event;
  g.entries = 0;
  // calloc/free keep libiberty's own allocator (which aborts) out of the way.
  g.table = htab_create_alloc(0, hash_element, equal_elements, delete_element, calloc, free);
  ++g_epoch;
  g_waits_stopped = false;
  cache_detail::refresh_reset();
  return g.table ? 0 : -1;
}

void cache_destroy()
{
  {
    DRIVER_LOCK_SCOPE();
    cache_detail::refresh_reset();
    if (g.table)
      htab_delete(g.table);
    g.table = nullptr;
    g.entries = 0;
    ++g_epoch;
  }
  cache_detail::wake_waiters();
}

void cache_set_event_broadcaster(CacheEventFunction broadcaster) { g_broadcaster.store(broadcaster); }

void cache_set_handle_gone_hook(CacheHandleGoneFunction gone) { g_handle_gone.store(gone); }

void cache_stop_waits()
{
  g_waits_stopped = true;
  cache_detail::wake_waiters();
}

int cache_register_client(uint32_t* id)
{
  if (!id)
    return -1;
  DRIVER_LOCK_SCOPE();
  if (!g.table)
    return -1;
  // The next id that no living client holds (0 is never handed out).
  for (uint32_t tries = 0; tries < 1000; ++tries) {
    uint32_t candidate = g.next_client++;
    if (candidate == 0 || find_element(client_key(candidate)))
      continue;
    auto* client = new (std::nothrow) ClientData{candidate, 0};
    if (!client || !insert_element(client_key(candidate), kClientElement, client)) {
      delete client;
      return -1;
    }
    *id = candidate;
    return 0;
  }
  return -1;
}

int cache_unregister_client(uint32_t id)
{
  DRIVER_LOCK_SCOPE();
  if (!find_element(client_key(id)))
    return -1;
  std::vector<CacheHandle> handles;
  walk([&](Element& e) {
    if (e.kind == kEntryElement) {
      auto& subscribers = static_cast<CacheEntry*>(e.data)->subscribers;
      std::erase_if(subscribers, [id](const CacheSubscriber& s) { return s.client == id; });
    } else if (e.kind == kHandleElement && static_cast<HandleData*>(e.data)->client == id) {
      handles.push_back({id, static_cast<HandleData*>(e.data)->handle});
    }
  });
  for (const CacheHandle& h : handles)
    remove_element(handle_key(h.client, h.handle));
  remove_element(client_key(id));
  return 0;
}

int cache_add_property(uint32_t* handle, const CacheReference* reference, uint8_t refresh, uint32_t client)
{
  if (!handle || !reference)
    return -1;
  DRIVER_LOCK_SCOPE();
  if (!g.table)
    return -1;
  uint32_t id = 0;
  do {
    id = g.next_handle++;
  } while (id == 0 || find_element(handle_key(client, id)));
  if (bind_handle(client, id, *reference, refresh) != 0)
    return -1;
  *handle = id;
  return 0;
}

int cache_add_property_default(const CacheReference* reference, uint32_t client, uint32_t handle)
{
  if (!reference)
    return -1;
  DRIVER_LOCK_SCOPE();
  return bind_handle(client, handle, *reference, reference->property == PROP_PRESENT_VALUE ? 0 : kDefaultRefresh);
}

int cache_remove_handle(uint32_t client, uint32_t handle)
{
  DRIVER_LOCK_SCOPE();
  HandleData* bound = find_handle(client, handle);
  if (!bound)
    return -1;
  unsubscribe(bound->reference, client, handle);
  remove_element(handle_key(client, handle));
  return 0;
}

int cache_read_by_handle(uint32_t client, uint32_t handle, uint8_t no_wait, BACnetValue* value,
                         CacheReadResult* result)
{
  CacheReference reference;
  uint64_t results_before = 0;
  {
    DRIVER_LOCK_SCOPE();
    HandleData* bound = find_handle(client, handle);
    if (!bound)
      return -1;
    reference = bound->reference;
    if (CacheEntry* entry = cache_detail::find_entry(cache_key(reference)))
      results_before = entry->results;
  }
  int r = cache_get_value(&reference, value);
  if (!no_wait) {
    std::string key = cache_key(reference);
    bool stored = wait_until([&] {
      CacheEntry* entry = cache_detail::find_entry(key);
      if (!entry || !find_handle(client, handle))
        return Look::kGone;
      return entry->results != results_before ? Look::kDone : Look::kPending;
    });
    if (!stored)
      return -1;
    r = cache_get_value(&reference, value);
  }
  if (result) {
    result->result = r;
    result->error_class = r ? 5 : 0;
    result->error_code = r ? uint32_t(r - 1) : 0;
  }
  return 0;
}

int cache_write_by_handle(uint32_t client, uint32_t handle, uint8_t no_wait, const BACnetValue* value,
                          uint8_t priority)
{
  CacheReference reference;
  {
    DRIVER_LOCK_SCOPE();
    HandleData* bound = find_handle(client, handle);
    if (!bound)
      return -1;
    reference = bound->reference;
  }
  uint64_t request = 0;
  if (set_value(reference, value, priority, &request) != VALUE_OK)
    return -1;
  if (no_wait)
    return 0;
  std::string key = cache_key(reference);
  bool ended = wait_until([&] {
    CacheEntry* entry = cache_detail::find_entry(key);
    if (!entry || !find_handle(client, handle))
      return Look::kGone;
    return entry->writes_ended >= request ? Look::kDone : Look::kPending;
  });
  return ended ? 0 : -1;
}

int cache_get_value(const CacheReference* reference, BACnetValue* value)
{
  if (!reference || !value)
    return kCacheGetMissing;
  DRIVER_LOCK_SCOPE();
  CacheEntry* entry = find_or_create_entry(*reference);
  if (!entry)
    return kCacheGetMissing;
  entry->last_access = cache_detail::now();
  switch (entry->status) {
  case kCacheUnknown:
    return kCacheNoAnswer;
  case kCacheNeverRead:
    return kCacheNotRead;
  case kCacheValid:
    return value_copy_fresh(value, &entry->value);
  default:
    return 1;
  }
}

int cache_get_write_status(const CacheReference* reference)
{
  if (!reference)
    return kCacheWriteStatusMissing;
  DRIVER_LOCK_SCOPE();
  CacheEntry* entry = find_or_create_entry(*reference);
  if (!entry) {
    std::printf("%d %d %d %d %d not found \n", int32_t(reference->device.instance), int32_t(reference->object.type),
                int32_t(reference->object.instance), int32_t(reference->property), reference->array_index);
    std::fflush(stdout);
    return kCacheWriteStatusMissing;
  }
  return entry->write_result;
}

int cache_set_value(const CacheReference* reference, const BACnetValue* value, uint8_t priority)
{
  if (!reference)
    return kCacheSetMissing;
  return set_value(*reference, value, priority, nullptr);
}

void cache_update_property(int error, const CacheReference* reference, const BACnetValue* value)
{
  if (!reference)
    return;
  std::vector<Event> events;
  CacheEventFunction host = nullptr;
  {
    DRIVER_LOCK_SCOPE();
    host = g.event;
    CacheEntry* entry = cache_detail::find_entry(cache_key(*reference));
    if (!entry)
      return;
    if (store_result(*entry, error, value)) {
      try {
        events.reserve(entry->subscribers.size());
      } catch (const std::bad_alloc&) {
      }
      for (const CacheSubscriber& s : entry->subscribers) {
        if (events.size() == events.capacity())
          break;
        Event e{entry->reference, {}, error, s.client, s.handle};
        if (error == 0)
          value_copy_fresh(e.value.get(), &entry->value);
        events.push_back(std::move(e));
      }
      tell_api_clients(events);
    }
  }
  cache_detail::wake_waiters();
  tell_host(events, host);
}

int cache_inspect(const CacheReference* reference, CacheEntryView* view)
{
  if (!reference || !view)
    return -1;
  DRIVER_LOCK_SCOPE();
  const CacheEntry* e = cache_detail::find_entry(cache_key(*reference));
  if (!e)
    return -1;
  *view = CacheEntryView{e->status,       e->last_read,      e->last_access,    e->last_update,
                         e->write_requested, e->write_taken, e->write_sent,     e->write_result,
                         e->write_priority,  e->subscribers.size()};
  return 0;
}

std::size_t cache_entry_count()
{
  DRIVER_LOCK_SCOPE();
  return g.entries;
}
