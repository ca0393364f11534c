#include "bacnet/objects/device_object.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>

#include "bacnet/foundation/driver.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/foundation/stack_wake.h"
#include "bacnet/objects/object_hooks.h"
#include "bacnet/objects/object_summaries.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/property_internal.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"
#include "bacnet/value/value_memory.h"

namespace {

uint32_t g_segmentation = 0;  // segmented both
constexpr uint32_t kMaxSegmentsAccepted = 16;
constexpr size_t kSetupQueueSize = 64;

std::deque<DeviceSetupEntry> g_setups;  // front: newest; back: oldest
bool g_setups_open = true;                // false from a shut-down to the next init

// Bits set in the two protocol bit strings at start-up, by property number. 97 names only
// the services the dispatcher answers (no private transfer or text message, 18 and 19).
constexpr uint8_t kBitsOf97[40] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 0, 0,
                                   1, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1};
constexpr uint8_t kBitsOf96[25] = {1, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 0, 0, 1, 1, 1, 0, 1, 0, 1, 1, 0, 0, 0, 0};

int unsigned_in(PropertyCall& call, uint32_t number) { return value_set_unsigned(&number, call.value); }

int apdu_timeout(PropertyCall& call)
{
  const ObjectHooks& h = object_hooks();
  if (call.reading())
    return h.get_apdu_timeout ? unsigned_in(call, h.get_apdu_timeout()) : 1;
  if (call.value->tag != TAG_UNSIGNED || !h.set_apdu_timeout)
    return -1;
  return h.set_apdu_timeout(call.value->payload.unsigned_value);
}

int apdu_retries(PropertyCall& call)
{
  const ObjectHooks& h = object_hooks();
  if (call.reading())
    return h.get_apdu_retries ? unsigned_in(call, h.get_apdu_retries()) : 1;
  if (call.value->tag != TAG_UNSIGNED || !h.set_apdu_retries)
    return -1;
  return h.set_apdu_retries(call.value->payload.unsigned_value);
}

int daylight_saving(PropertyCall& call)
{
  if (!call.reading())
    return PROPERTY_WRITE_ACCESS_DENIED;
  uint8_t dst;
  {
    DRIVER_LOCK_SCOPE();
    dst = os_local_time()->tm_isdst > 0 ? 1 : 0;
  }
  return value_set_boolean(&dst, call.value);
}

int utc_offset(PropertyCall& call)
{
  if (!call.reading())
    return PROPERTY_WRITE_ACCESS_DENIED;
  tzset();
  // Seconds west of UTC of the standard time; daylight saving is property 24.
  int32_t minutes = static_cast<int32_t>(timezone / 60);
  return value_set_signed(&minutes, call.value);
}

// A list built for the call, then taken with the call's array index.
int transfer_built(PropertyCall& call, int (*build)(uint32_t owner, BACnetValue* result))
{
  if (!call.reading())
    return -1;
  OwnedValue list;
  int rc = build(call.owner, list.get());
  if (rc == 0)
    rc = value_transfer(list.get(), call.value, call.index, 0);
  else
    rc = 1;
  return rc;
}

int segmentation(PropertyCall& call)
{
  return value_put_enumerated(&g_segmentation, call.value, call.reading() ? 0 : 1);
}

int local_instance(PropertyCall& call)
{
  if (!call.reading())
    return call.value->tag == TAG_UNSIGNED ? 0 : 1;
  auto local = object_hooks().get_local_instance;
  uint32_t instance = local ? static_cast<uint32_t>(local(nullptr)) : call.owner;
  return unsigned_in(call, instance);
}

void free_texts(DeviceSetupEntry& entry)
{
  for (char*& text : entry.texts) {
    std::free(text);
    text = nullptr;
  }
}

void complete(DeviceSetupEntry& entry, int result)
{
  free_texts(entry);
  if (entry.done)
    entry.done->set_value(result);
  entry.done.reset();
}

// 0 applied, -1 when the device or its address could not be set up: then nothing announces it.
int apply_setup(DeviceSetupEntry& entry)
{
  DeviceIdentity identity;
  identity.application_software_version = entry.texts[0];
  identity.firmware_revision = entry.texts[1];
  identity.model_name = entry.texts[2];
  identity.object_name = entry.texts[3];
  identity.vendor_name = entry.texts[4];
  identity.description = entry.texts[5];
  identity.location = entry.texts[6];
  identity.vendor_identifier = entry.numbers[0];
  identity.apdu_timeout = entry.numbers[1];
  identity.apdu_segment_timeout = entry.numbers[2];
  identity.apdu_retries = entry.numbers[3];
  int rc = object_InitDevice(entry.instance, &identity);
  free_texts(entry);
  if (rc != 0)
    return -1;

  const ObjectHooks& hooks = object_hooks();
  if (hooks.add_local_port) {
    BACnetAddressValue address{};
    address.network = entry.network;
    address.mac.length = entry.mac_length;
    address.mac.data = entry.mac;
    if (hooks.add_local_port(3, static_cast<int32_t>(entry.instance), &address) != 0)
      return -1;
  }
  if (hooks.send_i_am)
    hooks.send_i_am(BACnetObjectId{OBJECT_DEVICE, entry.instance}, entry.network, 480, 0);
  return 0;
}

bool take_oldest(DeviceSetupEntry* out)
{
  DRIVER_LOCK_SCOPE();
  if (g_setups.empty())
    return false;
  *out = std::move(g_setups.back());
  g_setups.pop_back();
  return true;
}

}  // namespace

int device_handler(Handler handler, PropertyCall& call)
{
  const ObjectHooks& h = object_hooks();
  switch (handler) {
  case Handler::DeviceApduTimeout: return apdu_timeout(call);
  case Handler::DeviceApduRetries: return apdu_retries(call);
  case Handler::DeviceDaylightSaving: return daylight_saving(call);
  case Handler::DeviceUtcOffset: return utc_offset(call);
  case Handler::DeviceLocalDate: return value_set_local_date(call.value, call.direction);
  case Handler::DeviceLocalTime: return value_set_local_time(call.value, call.direction);
  case Handler::DeviceAddressBinding:
    return h.encode_binding_list ? h.encode_binding_list(call.record->id.instance, call.value, call.index, call.direction) : 1;
  case Handler::DeviceMaxApdu:
    return h.read_max_apdu ? h.read_max_apdu(static_cast<uint32_t>(call.network), call.value, call.direction) : 1;
  case Handler::DeviceMstpSetting:
    return h.read_mstp_setting ? h.read_mstp_setting(call.property, call.value, call.direction) : 1;
  case Handler::DeviceObjectList: return transfer_built(call, objtable_object_list);
  case Handler::DeviceCovSubscriptions: return transfer_built(call, objtable_cov_subscriptions);
  case Handler::DeviceSegmentation: return segmentation(call);
  case Handler::DeviceMaxSegments: return call.reading() ? unsigned_in(call, kMaxSegmentsAccepted) : -1;
  case Handler::DeviceScanControl: return h.scan_control ? h.scan_control(call.value, call.direction) : 1;
  case Handler::DeviceLocalInstance: return local_instance(call);
  case Handler::DeviceScanStatus: return h.scan_status_text ? h.scan_status_text(call.value, call.direction) : 1;
  default: return 1;
  }
}

int object_InitDevice(uint32_t instance, const DeviceIdentity* identity)
{
  DeviceIdentity none;
  const DeviceIdentity& id = identity ? *identity : none;
  const struct {
    uint32_t property;
    const char* text;
  } texts[] = {
      {PROP_APPLICATION_SOFTWARE_VERSION, id.application_software_version},
      {PROP_FIRMWARE_REVISION, id.firmware_revision},
      {PROP_MODEL_NAME, id.model_name},
      {PROP_OBJECT_NAME, id.object_name},
      {PROP_VENDOR_NAME, id.vendor_name},
      {PROP_DESCRIPTION, id.description},
      {PROP_LOCATION, id.location},
  };
  for (const auto& t : texts)
    object_SetString(instance, OBJECT_DEVICE, instance, t.property, t.text);
  const struct {
    uint32_t property;
    uint32_t number;
  } numbers[] = {
      {PROP_NUMBER_OF_APDU_RETRIES, id.apdu_retries},
      {PROP_APDU_SEGMENT_TIMEOUT, id.apdu_segment_timeout},
      {PROP_APDU_TIMEOUT, id.apdu_timeout},
      {PROP_VENDOR_IDENTIFIER, id.vendor_identifier},
      {PROP_PROTOCOL_VERSION, 1},
      {PROP_PROTOCOL_REVISION, 4},
      {PROP_PROTOCOL_CONFORMANCE_CLASS, 6},
  };
  for (const auto& n : numbers)
    object_SetNumber(instance, OBJECT_DEVICE, instance, n.property, n.number);

  Owned<BitString, bitstring_free> bits;
  int rc = bitstring_set(bits.get(), kBitsOf97, sizeof kBitsOf97);
  if (rc == 0)
    object_SetBitString(instance, OBJECT_DEVICE, instance, PROP_PROTOCOL_SERVICES_SUPPORTED, bits.get());
  if (rc == 0)
    rc = bitstring_set(bits.get(), kBitsOf96, sizeof kBitsOf96);
  if (rc == 0)
    object_SetBitString(instance, OBJECT_DEVICE, instance, PROP_PROTOCOL_OBJECT_TYPES_SUPPORTED, bits.get());
  return rc;
}

int object_InitObjectsFile(uint32_t instance, const char* file_name)
{
  int rc = object_SetString(instance, OBJECT_FILE, instance, PROP_DESCRIPTION, "Bacnet Objects File");
  if (rc == 0)
    rc = object_SetString(instance, OBJECT_FILE, instance, PROP_FILE_NAME, file_name);
  return rc;
}

// ---- Device set-up -----------------------------------------------------------------------

int object_DeviceSetupInit()
{
  DRIVER_LOCK_SCOPE();
  g_setups_open = true;
  return 0;
}

void object_DeviceSetupShutdown()
{
  std::deque<DeviceSetupEntry> dropped;
  {
    DRIVER_LOCK_SCOPE();
    g_setups_open = false;
    dropped.swap(g_setups);
  }
  // A requester must never wait for an entry that nobody will apply.
  for (DeviceSetupEntry& entry : dropped)
    complete(entry, -1);
}

int object_QueueDeviceSetup(const DeviceSetupEntry* entry)
{
  if (!entry)
    return -1;
  {
    DRIVER_LOCK_SCOPE();
    if (!g_setups_open || g_setups.size() >= kSetupQueueSize)
      return -1;
    g_setups.push_front(*entry);
  }
  stack_wake();
  return 0;
}

int object_RequestDeviceSetup(uint32_t network, uint32_t instance, const uint8_t* mac, uint8_t mac_length,
                              const char* application_software_version, const char* firmware_revision,
                              const char* model_name, const char* object_name, const char* vendor_name,
                              const char* description, const char* location)
{
  if (instance > OBJECT_LARGEST_INSTANCE)
    return -1;
  DeviceSetupEntry entry;
  entry.instance = instance;
  entry.network = network;
  entry.mac_length = mac_length > 6 ? 6 : mac_length;
  if (mac && entry.mac_length)
    std::memcpy(entry.mac, mac, entry.mac_length);
  const char* texts[7] = {application_software_version, firmware_revision, model_name, object_name,
                          vendor_name, description, location};
  for (int i = 0; i < 7; ++i) {
    if (texts[i] && !(entry.texts[i] = strdup(texts[i]))) {
      free_texts(entry);
      return -1;
    }
  }
  std::future<int> outcome;
  try {
    entry.done = std::make_shared<std::promise<int>>();
    outcome = entry.done->get_future();
  } catch (const std::exception&) {
    free_texts(entry);
    return -1;
  }
  if (object_QueueDeviceSetup(&entry) != 0) {
    free_texts(entry);
    return -1;
  }
  return outcome.get();
}

int object_ApplyDeviceSetups()
{
  int applied = 0;
  DeviceSetupEntry entry;
  while (take_oldest(&entry)) {
    complete(entry, apply_setup(entry));
    ++applied;
  }
  return applied;
}
