// The cache's refresh cycle: collect what to read and write, probe each device named for
// its services and segmentation, read (one ReadProperty, or ReadPropertyMultiple of up to 41
// properties per device), write, and store every answer. Stack thread only: the work lists
// and the requests in flight belong to it; entries are reached under the lock, by key.
#include "bacnet/binding/address_binding.h"
#include "bacnet/cache/cache.h"
#include "bacnet/cache/cache_internal.h"
#include "bacnet/codec/codec_acks.h"
#include "bacnet/codec/pdu_buffer.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"
#include "bacnet/value/value_records.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <new>
#include <span>
#include <tuple>

using namespace cache_detail;

namespace {

constexpr uint32_t kReadPropertyMultipleBit = 14;
constexpr uint32_t kWritePropertyMultipleBit = 16;
constexpr std::size_t kListGrowth = 100;
constexpr int kDeviceError = 1;

enum CycleState : int {
  kCollect = 0,
  kProbe = 1,
  kRead = 2,
  kWrite = 3,
};

// Probe sub-states, kept in the list index while probing.
enum ProbeStep : std::size_t {
  kProbeStart = 0,
  kProbeServices = 1,
  kProbeSegmentation = 2,
};

struct CycleDevice {
  int32_t instance = -1;
  DeviceBinding binding{};
  bool known = false;  // address binding has a record of it
};

enum class Asked { kServices, kSegmentation, kRead, kReadMultiple, kWrite };

// What one request in flight asked, found again by the number handed to the client layer.
struct InFlight {
  Asked asked = Asked::kRead;
  int32_t device = -1;
  std::vector<CacheReference> references;
  uint64_t write = 0;  // the write request it carries
};

struct Cycle {
  int state = kCollect;
  std::size_t list_index = 0;
  std::size_t device_index = 0;
  uint32_t last_activity = 0;
  std::vector<CacheReference> reads;
  std::vector<CacheReference> writes;
  std::vector<CycleDevice> devices;
  std::map<uintptr_t, InFlight> in_flight;
  uintptr_t next_request = 1;
  std::size_t list_limit = 0;  // 0: as far as memory goes
};

Cycle g_cycle;

template <class T>
void release(std::vector<T>& list)
{
  std::vector<T>().swap(list);
}

// Grows a work list by 100 at a time; false (the list keeps what it holds) when it cannot.
template <class T>
bool append(std::vector<T>& list, const T& item)
{
  if (list.size() == list.capacity()) {
    std::size_t next = list.capacity() + kListGrowth;
    if (g_cycle.list_limit)
      next = std::min(next, g_cycle.list_limit);
    if (next <= list.size())
      return false;
    try {
      list.reserve(next);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  list.push_back(item);
  return true;
}

auto order_key(const CacheReference& r)
{
  return std::tuple(int32_t(r.device.instance), r.object.type, r.object.instance, r.property, r.array_index);
}

bool same_device(const CacheReference& a, const CacheReference& b) { return a.device.instance == b.device.instance; }

bool same_property(const CacheReference& a, const CacheReference& b)
{
  return same_device(a, b) && a.object.type == b.object.type && a.object.instance == b.object.instance &&
         a.property == b.property && a.array_index == b.array_index;
}

CycleDevice* find_device(uint32_t instance)
{
  auto it = std::lower_bound(g_cycle.devices.begin(), g_cycle.devices.end(), int32_t(instance),
                             [](const CycleDevice& d, int32_t i) { return d.instance < i; });
  return it != g_cycle.devices.end() && it->instance == int32_t(instance) ? &*it : nullptr;
}

// ---- Requests in flight -------------------------------------------------------------------

uintptr_t remember(InFlight request)
{
  uintptr_t id = g_cycle.next_request++;
  try {
    g_cycle.in_flight.emplace(id, std::move(request));
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return id;
}

void forget(uintptr_t id) { g_cycle.in_flight.erase(id); }

void on_answer(void* user_data, int success, const BACnetAddress& destination, const ClientResult& result);

// Hands a request to the client layer (through the seam `send`) with what it asked kept in
// flight; false, with nothing kept, when the request cannot be remembered or is refused.
template <class Request>
bool send_tracked(InFlight asked, int (*send)(ClientRequestCallback, void*, int32_t, const Request*),
                  const Request& request)
{
  const int32_t device = asked.device;
  uintptr_t id = remember(std::move(asked));
  if (!id)
    return false;
  if (send(on_answer, reinterpret_cast<void*>(id), device, &request) == 0)
    return true;
  forget(id);
  return false;
}

// A request goes out only when it will get a transaction, so that none ends unsent as if the
// device had not answered, and only while the cache holds fewer than its share of them.
bool room_for_request()
{
  return g_cycle.in_flight.size() < kCacheRequestsInFlight && seams().free_transactions() > 0;
}

bool take(void* user_data, InFlight* out)
{
  auto it = g_cycle.in_flight.find(reinterpret_cast<uintptr_t>(user_data));
  if (it == g_cycle.in_flight.end())
    return false;
  *out = std::move(it->second);
  g_cycle.in_flight.erase(it);
  return true;
}

// ---- Collect ------------------------------------------------------------------------------

struct Collection {
  uint32_t now = 0;
  std::vector<std::string> idle;
};

void collect_entry(CacheEntry& e, void* state)
{
  auto& c = *static_cast<Collection*>(state);
  if (e.subscribers.empty() && int32_t(c.now - e.last_access) > int32_t(kCacheIdleTicks)) {
    try {
      c.idle.push_back(cache_key(e.reference));
    } catch (const std::bad_alloc&) {
    }
    return;
  }
  // Read again once the last read was answered, or when an unanswered one (refused by the
  // client layer) is 15 s old. A full list leaves the entry to the next cycle.
  if (e.last_update == e.last_read || int32_t(c.now - e.last_read) >= int32_t(kCacheRereadTicks))
    append(g_cycle.reads, e.reference);
  // A write is taken only when it found room, so a full list loses none.
  if (int32_t(e.write_requested - e.write_taken) > 0 && append(g_cycle.writes, e.reference)) {
    e.write_taken = e.write_requested;
    e.write_in_cycle = e.writes_requested;
  }
}

void collect(uint32_t now)
{
  release(g_cycle.reads);
  release(g_cycle.writes);
  release(g_cycle.devices);
  Collection c;
  c.now = now;
  {
    DRIVER_LOCK_SCOPE();
    each_entry(collect_entry, &c);
    for (const std::string& key : c.idle)
      remove_entry(key);
  }
  auto by_order = [](const CacheReference& a, const CacheReference& b) { return order_key(a) < order_key(b); };
  std::sort(g_cycle.reads.begin(), g_cycle.reads.end(), by_order);
  std::sort(g_cycle.writes.begin(), g_cycle.writes.end(), by_order);
  std::vector<int32_t> named;
  try {
    named.reserve(g_cycle.reads.size() + g_cycle.writes.size());
    for (const auto* list : {&g_cycle.reads, &g_cycle.writes})
      for (const CacheReference& r : *list)
        named.push_back(int32_t(r.device.instance));
  } catch (const std::bad_alloc&) {
  }
  std::sort(named.begin(), named.end());
  named.erase(std::unique(named.begin(), named.end()), named.end());
  for (int32_t instance : named) {
    CycleDevice d;
    d.instance = instance;
    if (!append(g_cycle.devices, d))
      break;
  }
}

// ---- Probe --------------------------------------------------------------------------------

// A device address binding has never heard of gets a bare record, so that it is located.
void refresh_binding(CycleDevice& d)
{
  d.known = address_binding_get_device(d.instance, &d.binding) == 0;
  if (!d.known)
    d.known = address_binding_use_device(d.instance, &d.binding) != -1;
}

void next_device()
{
  ++g_cycle.device_index;
  g_cycle.list_index = kProbeStart;
}

void probe(int32_t device, uint32_t property, Asked asked, const char* text)
{
  trace(text);
  ReadPropertyRequest request;
  request.object = {OBJECT_DEVICE, uint32_t(device)};
  request.property = property;
  request.array_index = -1;
  send_tracked({asked, device, {}, 0}, seams().read_property, request);
  address_binding_set_device_flag(device, kFlagBackoffTime, 0);
}

void probe_step(uint32_t now)
{
  // Devices known in full need nothing and cost no pass.
  while (g_cycle.device_index < g_cycle.devices.size()) {
    CycleDevice& d = g_cycle.devices[g_cycle.device_index];
    refresh_binding(d);
    if (!(d.binding.address_known && d.binding.services_probed && d.binding.segmentation_probed))
      break;
    next_device();
  }
  if (g_cycle.device_index >= g_cycle.devices.size() || int32_t(now - g_cycle.last_activity) <= int32_t(kCacheQuietTicks))
    return;
  CycleDevice& d = g_cycle.devices[g_cycle.device_index];
  switch (g_cycle.list_index) {
  case kProbeStart:
    if (!d.known || !d.binding.online || !d.binding.address_known)
      next_device();
    else
      g_cycle.list_index = kProbeServices;
    break;
  case kProbeServices:
    if (!d.binding.services_probed)
      probe(d.instance, PROP_PROTOCOL_SERVICES_SUPPORTED, Asked::kServices, "cache_read_services_supported");
    g_cycle.list_index = kProbeSegmentation;
    break;
  default:
    if (!d.binding.segmentation_probed)
      probe(d.instance, PROP_SEGMENTATION_SUPPORTED, Asked::kSegmentation, "cache_read_segmentation_supported");
    next_device();
    break;
  }
}

// ---- Read ---------------------------------------------------------------------------------

// Marks the entries as asked for, all under one lock.
void stamp_reads(std::span<const CacheReference> references, uint32_t stamp)
{
  DRIVER_LOCK_SCOPE();
  for (const CacheReference& reference : references)
    if (CacheEntry* e = find_entry(cache_key(reference)))
      e->last_read = stamp;
}

void read_single(const CacheReference& reference, uint32_t now)
{
  ++g_cycle.list_index;
  trace("cache_read_property");
  stamp_reads({&reference, 1}, now + 1);
  ReadPropertyRequest request;
  request.object = reference.object;
  request.property = reference.property;
  request.array_index = reference.array_index;
  int32_t device = int32_t(reference.device.instance);
  // A refused request stays unanswered; the collection's retry rule takes it up again.
  send_tracked({Asked::kRead, device, {reference}, 0}, seams().read_property, request);
  address_binding_set_device_flag(device, kFlagBackoffTime, 0);
}

bool add_specification(ReadPropertyMultipleRequest& request, const CacheReference& reference)
{
  ReadAccessSpecification* specification = inline_list_add(&request.specifications, nullptr);
  if (!specification)
    return false;
  specification->object = reference.object;
  BACnetPropertyReference* property = inline_list_add(&specification->references, nullptr);
  if (!property)
    return false;
  property->property = reference.property;
  property->array_index = reference.array_index;
  return true;
}

void read_multiple(uint32_t now)
{
  std::vector<CacheReference> batch;
  batch.reserve(std::min(kCacheReadBatch, g_cycle.reads.size() - g_cycle.list_index));
  const CacheReference first = g_cycle.reads[g_cycle.list_index];
  while (g_cycle.list_index < g_cycle.reads.size() && batch.size() < kCacheReadBatch &&
         same_device(g_cycle.reads[g_cycle.list_index], first)) {
    batch.push_back(g_cycle.reads[g_cycle.list_index]);
    ++g_cycle.list_index;
  }
  stamp_reads(batch, now + 1);
  Owned<ReadPropertyMultipleRequest, pdu_free_read_property_multiple_request> request;
  bool built = true;
  for (const CacheReference& r : batch)
    built = built && add_specification(*request, r);
  int32_t device = int32_t(first.device.instance);
  if (built)
    send_tracked({Asked::kReadMultiple, device, std::move(batch), 0}, seams().read_property_multiple, *request);
  address_binding_set_device_flag(device, kFlagBackoffTime, 0);
  trace("cache execute_read_property_multiple");
}

void read_step(uint32_t now)
{
  const CacheReference reference = g_cycle.reads[g_cycle.list_index];
  CycleDevice* d = find_device(reference.device.instance);
  if (!d || !d->known) {
    ++g_cycle.list_index;
    return;
  }
  if (!d->binding.online) {
    while (g_cycle.list_index < g_cycle.reads.size() && same_device(g_cycle.reads[g_cycle.list_index], reference)) {
      CacheReference offline = g_cycle.reads[g_cycle.list_index++];
      cache_update_property(kCacheNoAnswer, &offline, nullptr);
    }
    return;
  }
  if (!d->binding.supports_rpm)
    read_single(reference, now);
  else
    read_multiple(now);
}

// ---- Write --------------------------------------------------------------------------------

// The write the cycle took has ended without an answer (the device is offline or unknown, or
// the client layer refused it).
void write_dropped(const CacheReference& reference)
{
  {
    DRIVER_LOCK_SCOPE();
    if (CacheEntry* e = find_entry(cache_key(reference)))
      e->writes_ended = std::max(e->writes_ended, e->write_in_cycle);
  }
  wake_waiters();
}

void write_step(uint32_t now)
{
  const CacheReference reference = g_cycle.writes[g_cycle.list_index++];
  CycleDevice* d = find_device(reference.device.instance);
  if (!d || !d->known || !d->binding.online) {
    write_dropped(reference);
    return;
  }
  Owned<WritePropertyRequest, pdu_free_write_property_request> request;
  request->object = reference.object;
  request->property = reference.property;
  request->array_index = reference.array_index;
  uint64_t write = 0;
  {
    DRIVER_LOCK_SCOPE();
    CacheEntry* e = find_entry(cache_key(reference));
    if (!e)
      return;
    if (value_copy_fresh(&request->value, &e->write_value) != VALUE_OK) {
      e->writes_ended = std::max(e->writes_ended, e->write_in_cycle);
      return;
    }
    request->priority = e->write_priority;
    write = e->write_in_cycle;
  }
  char text[96];
  std::snprintf(text, sizeof text, "cache_write_property Device=%d Object=%d Instance=%d", int32_t(reference.device.instance),
                int32_t(reference.object.type), int32_t(reference.object.instance));
  trace(text);
  int32_t device = int32_t(reference.device.instance);
  bool sent = send_tracked({Asked::kWrite, device, {reference}, write}, seams().write_property, *request);
  if (sent) {
    DRIVER_LOCK_SCOPE();
    if (CacheEntry* e = find_entry(cache_key(reference)))
      e->write_sent = now;
  } else {
    write_dropped(reference);
  }
  address_binding_set_device_flag(device, kFlagBackoffTime, 0);
}

// ---- Answers ------------------------------------------------------------------------------

bool complex_ack(const ClientResult& result, uint8_t service)
{
  return result.present && result.type == kApduComplexAck && result.service_choice == service;
}

using OwnedReadPropertyAck = Owned<ReadPropertyAck, pdu_free_read_property_ack>;

// The value of a ReadProperty answer, decoded into `ack`; false for any other answer.
bool read_property_ack(const ClientResult& result, ReadPropertyAck* ack)
{
  if (!complex_ack(result, SERVICE_READ_PROPERTY))
    return false;
  pdu_buffer view = pdu_buffer_view(result.data.data(), uint32_t(result.data.size()));
  return pdu_decode_read_property_ack(&view, ack) == 0;
}

void services_answer(int32_t device, const ClientResult& result)
{
  OwnedReadPropertyAck ack;
  bool rpm = false, wpm = false;
  if (read_property_ack(result, ack.get()) && ack->value.tag == TAG_BIT_STRING) {
    const BitString& bits = ack->value.payload.bits;
    auto bit = [&](uint32_t n) { return bits.bits && n < bits.count && bits.bits[n] != 0; };
    rpm = bit(kReadPropertyMultipleBit);
    wpm = bit(kWritePropertyMultipleBit);
  }
  address_binding_set_device_flag(device, kFlagSupportsRpm, rpm);
  address_binding_set_device_flag(device, kFlagSupportsWpm, wpm);
}

void segmentation_answer(int32_t device, const ClientResult& result)
{
  OwnedReadPropertyAck ack;
  uint32_t segmentation = 0;
  if (read_property_ack(result, ack.get()) && ack->value.tag == TAG_ENUMERATED)
    segmentation = ack->value.payload.enumerated;
  address_binding_set_device_flag(device, kFlagSegmentation, segmentation);
}

void read_answer(const InFlight& asked, const ClientResult& result)
{
  if (asked.references.empty())
    return;
  OwnedReadPropertyAck ack;
  if (read_property_ack(result, ack.get()))
    cache_update_property(0, &asked.references[0], &ack->value);
  else
    cache_update_property(result.present ? kDeviceError : kCacheNoAnswer, &asked.references[0], nullptr);
}

void read_multiple_answer(const InFlight& asked, const ClientResult& result)
{
  if (!complex_ack(result, SERVICE_READ_PROPERTY_MULTIPLE)) {
    int error = result.present ? kDeviceError : kCacheNoAnswer;
    for (const CacheReference& r : asked.references)
      cache_update_property(error, &r, nullptr);
    if (result.present && result.type == kApduReject && !result.data.empty() &&
        result.data[0] == kRejectUnrecognizedService)
      address_binding_set_device_flag(asked.device, kFlagSupportsRpm, 0);
    return;
  }
  trace("read_multiple_cache_indication");
  // What the answer holds is stored for the property it names; a property asked for that the
  // answer left out (or that did not decode) counts as an error of the device.
  Owned<ReadPropertyMultipleAck, pdu_free_read_property_multiple_ack> ack;
  pdu_buffer view = pdu_buffer_view(result.data.data(), uint32_t(result.data.size()));
  pdu_decode_read_property_multiple_ack(&view, ack.get());
  std::vector<bool> stored(asked.references.size(), false);
  for (uint32_t i = 0; i < ack->results.count; ++i) {
    const ReadAccessResult* object = inline_list_get(&ack->results, i);
    for (uint32_t j = 0; object && j < object->results.count; ++j) {
      const ReadAccessResultElement* element = inline_list_get(&object->results, j);
      if (!element)
        continue;
      CacheReference named = cache_reference(uint32_t(asked.device), object->object.type, object->object.instance,
                                             element->property, element->array_index);
      for (std::size_t k = 0; k < asked.references.size(); ++k) {
        if (stored[k] || !same_property(asked.references[k], named))
          continue;
        stored[k] = true;
        if (element->choice == 0)
          cache_update_property(0, &asked.references[k], &element->value);
        else
          cache_update_property(kDeviceError, &asked.references[k], nullptr);
        break;
      }
    }
  }
  for (std::size_t k = 0; k < asked.references.size(); ++k)
    if (!stored[k])
      cache_update_property(kDeviceError, &asked.references[k], nullptr);
}

void write_answer(const InFlight& asked, const ClientResult& result, uint32_t now)
{
  if (asked.references.empty())
    return;
  {
    DRIVER_LOCK_SCOPE();
    if (CacheEntry* e = find_entry(cache_key(asked.references[0]))) {
      e->write_result = result.present && result.type == kApduSimpleAck ? 0 : 1;
      e->write_sent = now;
      // A write requested while this one was under way stays pending for the next cycle.
      if (!(int32_t(e->write_requested - e->write_taken) > 0))
        e->write_taken = now;
      e->writes_ended = std::max(e->writes_ended, asked.write);
    }
  }
  wake_waiters();
}

void on_answer(void* user_data, int, const BACnetAddress&, const ClientResult& result)
{
  InFlight asked;
  if (!take(user_data, &asked))
    return;
  uint32_t now = cache_detail::now();
  g_cycle.last_activity = now;
  switch (asked.asked) {
  case Asked::kServices:
    services_answer(asked.device, result);
    break;
  case Asked::kSegmentation:
    segmentation_answer(asked.device, result);
    break;
  case Asked::kRead:
    read_answer(asked, result);
    break;
  case Asked::kReadMultiple:
    read_multiple_answer(asked, result);
    break;
  case Asked::kWrite:
    write_answer(asked, result, now);
    break;
  }
}

}  // namespace

namespace cache_detail {

void refresh_reset()
{
  std::size_t limit = g_cycle.list_limit;
  g_cycle = Cycle{};
  g_cycle.list_limit = limit;
  g_cycle.last_activity = now();
}

}  // namespace cache_detail

void cache_execute()
{
  {
    DRIVER_LOCK_SCOPE();
    if (!alive())
      return;
  }
  uint32_t now = cache_detail::now();
  switch (g_cycle.state) {
  case kCollect:
    if (int32_t(now - g_cycle.last_activity) > int32_t(kCacheQuietTicks)) {
      g_cycle.last_activity = now;
      collect(now);
      g_cycle.list_index = 0;
      g_cycle.device_index = 0;
      g_cycle.state = kProbe;
    }
    break;
  case kProbe:
    if (g_cycle.device_index >= g_cycle.devices.size()) {
      g_cycle.list_index = 0;
      g_cycle.device_index = 0;
      g_cycle.state = kRead;
    } else if (room_for_request()) {
      probe_step(now);
    }
    break;
  case kRead:
    if (g_cycle.list_index >= g_cycle.reads.size()) {
      release(g_cycle.reads);
      g_cycle.list_index = 0;
      g_cycle.state = kWrite;
    } else if (room_for_request()) {
      read_step(now);
    }
    break;
  default:
    if (g_cycle.list_index >= g_cycle.writes.size()) {
      release(g_cycle.devices);
      release(g_cycle.writes);
      g_cycle.list_index = 0;
      g_cycle.device_index = 0;
      g_cycle.state = kCollect;
    } else if (room_for_request()) {
      write_step(now);
    }
    break;
  }
}

int cache_cycle_state() { return g_cycle.state; }

void cache_set_list_limit(std::size_t references) { g_cycle.list_limit = references; }
