#include "backend/api/api_binary.h"

#include "backend/api/api_codec.h"
#include "backend/api/api_messages.h"
#include "backend/api/api_pending.h"
#include "backend/api/api_server.h"
#include "bacnet/application/application_layer.h"
#include "bacnet/binding/address_binding.h"
#include "bacnet/cache/cache.h"
#include "bacnet/client/client_call.h"
#include "bacnet/client/client_request.h"
#include "bacnet/codec/codec_constructed.h"
#include "bacnet/codec/codec_property_values.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/objects/device_object.h"
#include "bacnet/objects/object_api.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

constexpr uint8_t kMaxApduCodeOfGivenAddress = 3;
constexpr uint32_t kBacnetMacLength = 6;

// One request as its handler sees it: the bytes after the 11-octet header.
struct ApiRequest {
  ApiClient* client;
  uint32_t id;
  uint32_t code;
  ApiReader in;

  void error(uint32_t number) const { api_reply_error(client, id, number); }
  void value(uint32_t v) const { api_reply_value(client, id, code, v); }
  void reply(const pdu_buffer& payload) const { api_reply(client, id, code, payload); }
  void empty() const { api_send_message(client, kApiFlagReply, code, id, {}); }
};

// One field of a request payload.
bool read_one(ApiReader& in, uint32_t* v) { return api_get_u32(&in, v) == 0; }
bool read_one(ApiReader& in, uint8_t* v) { return api_get_u8(&in, v) == 0; }
bool read_one(ApiReader& in, std::vector<uint8_t>* v) { return api_get_blob(&in, v) == 0; }
bool read_one(ApiReader& in, std::string* v) { return api_get_string(&in, v) == 0; }

// Reads every field in order; false (nothing more is read) when the payload ends early.
template <typename... Fields>
bool read(ApiReader& in, Fields... fields)
{
  return (read_one(in, fields) && ...);
}

// A reference from its blob; false when the blob holds no whole reference.
bool decode_reference(const std::vector<uint8_t>& blob, CacheReference* reference)
{
  pdu_buffer view = pdu_buffer_view(blob.data(), uint32_t(blob.size()));
  *reference = CacheReference{};
  return !blob.empty() && pdu_decode_device_object_property_reference(&view, reference) == 0;
}

// A value in context tag 0 from its blob; false when it does not decode.
bool decode_value(const std::vector<uint8_t>& blob, BACnetValue* value)
{
  pdu_buffer view = pdu_buffer_view(blob.data(), uint32_t(blob.size()));
  return !blob.empty() && pdu_decode_property_value(&view, value, 0, 0, -1) == 0;
}

// Replies with the fields the writer adds; a payload that cannot be built is dropped.
template <typename Writer>
void reply_with(const ApiRequest& r, Writer writer)
{
  pdu_buffer payload{};
  if (writer(&payload))
    r.reply(payload);
  pdu_buffer_free(&payload);
}

// A value reply followed by the result, as 304 and 203 answer.
bool put_value_blob(pdu_buffer* payload, const BACnetValue& value, const BACnetError* error)
{
  pdu_buffer block{};
  bool ok = api_encode_value(&block, &value) == 0 && (!error || pdu_encode_bacnet_error(&block, error) == 0) &&
            api_put_blob(payload, block.data, block.pos) == 0;
  pdu_buffer_free(&block);
  return ok;
}

// ---- Raw BACnet requests -------------------------------------------------------------------

void api_cmd_send_unconfirmed(ApiRequest& r)
{
  uint8_t choice = 0;
  uint32_t length = 0;
  std::span<const uint8_t> data;
  if (!read(r.in, &choice, &length) || api_get_view(&r.in, length, &data) != 0)
    return r.error(kApiErrorBadRequest);
  ApduRequest request;
  request.kind = kRequestUnconfirmed;
  request.service_choice = choice;
  request.data = data;
  if (application_layer_send_request(-1, nullptr, nullptr, request) != 0)
    return r.error(kApiErrorBadRequest);
  r.empty();
}

void api_cmd_send_confirmed(ApiRequest& r)
{
  uint8_t mode = 0;
  uint32_t device = 0;
  uint32_t network = 0;
  uint8_t mac_length = 0;
  std::span<const uint8_t> mac;
  if (!read(r.in, &mode))
    return r.error(kApiErrorBadRequest);
  if (mode != 0 ? !read(r.in, &device)
                : !read(r.in, &network, &mac_length) || api_get_view(&r.in, kBacnetMacLength, &mac) != 0)
    return r.error(kApiErrorBadRequest);
  uint8_t choice = 0;
  uint32_t length = 0;
  std::span<const uint8_t> data;
  if (!read(r.in, &choice, &length) || api_get_view(&r.in, length, &data) != 0 || mac_length > kBacnetMacLength)
    return r.error(kApiErrorBadRequest);

  uint64_t token = api_pending_take(r.client->serial, r.id);
  if (token == 0)
    return r.error(kApiErrorBadRequest);
  ApduRequest request;
  request.kind = kRequestConfirmed;
  request.service_choice = choice;
  request.data = data;
  if (mode != 0) {
    DeviceBinding binding;
    if (address_binding_use_device(int32_t(device), &binding) != 0) {
      api_pending_remove(token, nullptr, nullptr);
      return r.error(kApiErrorBadRequest);
    }
    request.destination = binding.address;
    request.max_apdu_code = binding.max_apdu_code;
  } else {
    request.destination.network = network;
    std::copy(mac.begin(), mac.end(), request.destination.mac);
    request.destination.mac_len = mac_length;
    request.max_apdu_code = kMaxApduCodeOfGivenAddress;
  }
  request.invoke_id = client_next_invoke_id();
  if (application_layer_send_request(-1, api_forward_answer, reinterpret_cast<void*>(uintptr_t(token)), request) != 0) {
    api_pending_remove(token, nullptr, nullptr);
    return r.error(kApiErrorBadRequest);
  }
}

// ---- Remote-property cache -----------------------------------------------------------------

void api_cmd_cache_add_default(ApiRequest& r)
{
  std::vector<uint8_t> blob;
  uint32_t client = 0, handle = 0;
  CacheReference reference;
  if (!read(r.in, &blob, &client, &handle) || !decode_reference(blob, &reference))
    return r.error(kApiErrorBadRequest);
  r.value(uint32_t(cache_add_property_default(&reference, client, handle)));
}

void api_cmd_cache_remove(ApiRequest& r)
{
  uint32_t client = 0, handle = 0;
  if (!read(r.in, &client, &handle))
    return r.error(kApiErrorBadRequest);
  r.value(uint32_t(cache_remove_handle(client, handle)));
}

void api_cmd_cache_read(ApiRequest& r)
{
  uint32_t client = 0, handle = 0;
  uint8_t no_wait = 0;
  if (!read(r.in, &client, &handle, &no_wait))
    return r.error(kApiErrorBadRequest);
  OwnedValue value;
  CacheReadResult outcome;
  int rc = cache_read_by_handle(client, handle, no_wait, value.get(), &outcome);
  BACnetError error{outcome.error_class, outcome.error_code};
  reply_with(r, [&](pdu_buffer* p) { return put_value_blob(p, *value, &error) && api_put_u32(p, uint32_t(rc)) == 0; });
}

void api_cmd_cache_write(ApiRequest& r)
{
  std::vector<uint8_t> blob;
  uint32_t client = 0, handle = 0;
  uint8_t no_wait = 0, priority = 0;
  OwnedValue value;
  if (!read(r.in, &blob, &client, &handle, &no_wait, &priority) || !decode_value(blob, value.get()))
    return r.error(kApiErrorBadRequest);
  int rc = cache_write_by_handle(client, handle, no_wait, value.get(), priority);
  r.value(uint32_t(rc));
}

void api_cmd_cache_register(ApiRequest& r)
{
  uint32_t id = 0;
  int rc = cache_register_client(&id);
  reply_with(r, [&](pdu_buffer* p) { return api_put_u32(p, id) == 0 && api_put_u32(p, uint32_t(rc)) == 0; });
}

void api_cmd_cache_unregister(ApiRequest& r)
{
  uint32_t client = 0;
  if (!read(r.in, &client))
    return r.error(kApiErrorBadRequest);
  r.value(uint32_t(cache_unregister_client(client)));
}

void api_cmd_cache_add_property(ApiRequest& r)
{
  uint32_t client = 0;
  std::vector<uint8_t> blob;
  uint8_t refresh = 0, option = 0;
  CacheReference reference;
  if (!read(r.in, &client, &blob, &refresh, &option) || !decode_reference(blob, &reference))
    return r.error(kApiErrorBadRequest);
  uint32_t handle = 0;
  int rc = cache_add_property(&handle, &reference, refresh, client);
  reply_with(r, [&](pdu_buffer* p) { return api_put_u32(p, handle) == 0 && api_put_u32(p, uint32_t(rc)) == 0; });
}

// ---- Device set-up and the object API ------------------------------------------------------

void api_cmd_device_setup(ApiRequest& r)
{
  uint32_t network = 0, device = 0;
  std::array<std::string, 7> texts;
  if (!read(r.in, &network, &device, &texts[0], &texts[1], &texts[2], &texts[3], &texts[4], &texts[5], &texts[6]))
    return r.error(kApiErrorBadRequest);
  r.value(uint32_t(object_RequestDeviceSetup(network, device, nullptr, 0, texts[0].c_str(), texts[1].c_str(),
                                             texts[2].c_str(), texts[3].c_str(), texts[4].c_str(),
                                             texts[5].c_str(), texts[6].c_str())));
}

void api_cmd_object_put(ApiRequest& r)
{
  uint32_t device = 0, type = 0, instance = 0, client = 0, handle = 0;
  std::string name;
  if (!read(r.in, &device, &type, &instance, &name, &client, &handle))
    return r.error(kApiErrorBadRequest);
  r.value(uint32_t(object_api_put_object(device, BACnetObjectId{type, instance}, name.c_str(), client, handle)));
}

void api_cmd_object_delete(ApiRequest& r)
{
  uint32_t client = 0, handle = 0;
  if (!read(r.in, &client, &handle))
    return r.error(kApiErrorBadRequest);
  r.value(uint32_t(object_api_delete_object(client, handle)));
}

void api_cmd_object_read(ApiRequest& r)
{
  uint32_t client = 0, handle = 0;
  uint8_t unused = 0;
  if (!read(r.in, &client, &handle, &unused))
    return r.error(kApiErrorBadRequest);
  OwnedValue value;
  uint32_t status = 0;
  int rc = object_api_read_object(client, handle, value.get(), &status);
  reply_with(r, [&](pdu_buffer* p) {
    return put_value_blob(p, *value, nullptr) && api_put_u32(p, status) == 0 && api_put_u32(p, uint32_t(rc)) == 0;
  });
}

void api_cmd_object_write(ApiRequest& r)
{
  uint32_t client = 0, handle = 0, reliability = 0;
  std::vector<uint8_t> blob;
  OwnedValue value;
  if (!read(r.in, &client, &handle, &reliability, &blob) || !decode_value(blob, value.get()))
    return r.error(kApiErrorBadRequest);
  int rc = object_api_write_object(client, handle, reliability, value.get());
  r.value(uint32_t(rc));
}

void api_cmd_object_register(ApiRequest& r)
{
  uint32_t id = 0;
  int rc = object_api_register_client(&id);
  reply_with(r, [&](pdu_buffer* p) { return api_put_u32(p, id) == 0 && api_put_u32(p, uint32_t(rc)) == 0; });
}

void api_cmd_object_unregister(ApiRequest& r)
{
  uint32_t client = 0;
  if (!read(r.in, &client))
    return r.error(kApiErrorBadRequest);
  r.value(uint32_t(object_api_unregister_client(client)));
}

void api_cmd_object_put_ex(ApiRequest& r)
{
  uint32_t device = 0, type = 0, instance = 0, client = 0;
  std::string name;
  if (!read(r.in, &device, &type, &instance, &name, &client))
    return r.error(kApiErrorBadRequest);
  uint32_t handle = 0;  // also the reply of a put that failed before a handle was made
  int rc = object_api_put_object_call(&handle, device, BACnetObjectId{type, instance}, name.c_str(), client);
  if (rc != 0)
    handle = 0;
  reply_with(r, [&](pdu_buffer* p) { return api_put_u32(p, handle) == 0 && api_put_u32(p, uint32_t(rc)) == 0; });
}

void api_cmd_object_set_notify(ApiRequest& r)
{
  uint32_t client = 0, handle = 0;
  uint8_t flag = 0;
  if (!read(r.in, &client, &handle, &flag))
    return r.error(kApiErrorBadRequest);
  r.value(uint32_t(object_api_set_notify(client, handle, flag)));
}

// ---- The local device, client state and subscriptions ---------------------------------------

void api_cmd_local_instance(ApiRequest& r) { r.value(uint32_t(address_binding_get_local_instance(nullptr))); }

void api_cmd_local_network(ApiRequest& r) { r.value(uint32_t(address_binding_get_local_network())); }

void api_cmd_keep_client(ApiRequest& r)
{
  r.client->state = kApiClientKept;
  r.empty();
}

void api_cmd_release_client(ApiRequest& r)
{
  r.client->state = kApiClientDone;
  r.empty();
}

void api_cmd_subscribe(ApiRequest& r)
{
  uint8_t flag = 0;
  if (!read(r.in, &flag))
    return r.error(kApiErrorBadRequest);
  r.client->subscriptions[r.code - kApiSubscribeFirst] = flag;
  r.empty();
}

struct ApiCommand {
  uint32_t code;
  void (*handler)(ApiRequest& request);
};

const ApiCommand kCommands[] = {
    {kApiSendUnconfirmed, api_cmd_send_unconfirmed},
    {kApiSendConfirmed, api_cmd_send_confirmed},
    {kApiCacheAddDefault, api_cmd_cache_add_default},
    {kApiCacheRemove, api_cmd_cache_remove},
    {kApiCacheRead, api_cmd_cache_read},
    {kApiCacheWrite, api_cmd_cache_write},
    {kApiCacheRegister, api_cmd_cache_register},
    {kApiCacheUnregister, api_cmd_cache_unregister},
    {kApiCacheAddProperty, api_cmd_cache_add_property},
    {kApiDeviceSetup, api_cmd_device_setup},
    {kApiObjectPut, api_cmd_object_put},
    {kApiObjectDelete, api_cmd_object_delete},
    {kApiObjectRead, api_cmd_object_read},
    {kApiObjectWrite, api_cmd_object_write},
    {kApiObjectRegister, api_cmd_object_register},
    {kApiObjectUnregister, api_cmd_object_unregister},
    {kApiObjectPutEx, api_cmd_object_put_ex},
    {kApiObjectSetNotify, api_cmd_object_set_notify},
    {kApiLocalInstance, api_cmd_local_instance},
    {kApiLocalNetwork, api_cmd_local_network},
    {kApiKeepClient, api_cmd_keep_client},
    {kApiReleaseClient, api_cmd_release_client},
    {601, api_cmd_subscribe},
    {602, api_cmd_subscribe},
    {603, api_cmd_subscribe},
    {604, api_cmd_subscribe},
    {605, api_cmd_subscribe},
    {kApiSubscribeLast, api_cmd_subscribe},
};

}  // namespace

void api_handle_binary_message(ApiClient* client, std::span<const uint8_t> payload)
{
  ApiReader in{payload, 0};
  // The three leading octets are not checked: the first has chosen this handler.
  if (api_get_view(&in, 3, nullptr) != 0)
    return;
  ApiRequest request{client, 0, 0, {}};
  if (api_get_u32(&in, &request.id) != 0 || api_get_u32(&in, &request.code) != 0)
    return request.error(kApiErrorBadRequest);
  request.in = ApiReader{in.rest(), 0};
  for (const ApiCommand& command : kCommands)
    if (command.code == request.code)
      return command.handler(request);
  request.error(kApiErrorUnknownCommand);
}

void api_forward_answer(void* user_data, int, const BACnetAddress&, const ClientResult& result)
{
  uint32_t request_id = 0;
  uint64_t serial = 0;
  if (!api_pending_remove(uint64_t(reinterpret_cast<uintptr_t>(user_data)), &request_id, &serial))
    return;
  uint32_t kind = result.present ? result.type : 0;
  pdu_buffer payload{};
  bool ok = api_put_u32(&payload, kind) == 0;
  if (ok && (kind == kApduSimpleAck || kind == kApduComplexAck || kind == kApduError))
    ok = api_put_u8(&payload, result.service_choice) == 0;
  if (ok && (kind == kApduComplexAck || kind == kApduError))
    ok = api_put_blob(&payload, result.data.data(), uint32_t(result.data.size())) == 0;
  pdu_buffer message{};
  if (ok && api_encode_message(&message, kApiFlagReply, kApiSendConfirmed, request_id, {payload.data, payload.pos}) == 0) {
    DRIVER_LOCK_SCOPE();
    api_client_queue_push(api_client_by_serial(serial), &message);
  }
  pdu_buffer_free(&message);
  pdu_buffer_free(&payload);
}

int64_t api_pending_timeout_ms() { return client_call_safety_timeout_ms(); }
