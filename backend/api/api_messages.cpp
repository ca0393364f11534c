#include "backend/api/api_messages.h"

#include "backend/api/api_codec.h"
#include "bacnet/codec/codec_constructed.h"
#include "bacnet/codec/codec_primitives.h"
#include "bacnet/foundation/driver.h"

namespace {

std::span<const uint8_t> contents(const pdu_buffer& buffer) { return {buffer.data, buffer.pos}; }

// Runs the writers on a fresh payload; on any failure the payload is freed and -1 returned.
template <typename Writers>
int build(pdu_buffer* payload, Writers writers)
{
  *payload = pdu_buffer{};
  if (writers(payload))
    return 0;
  pdu_buffer_free(payload);
  return -1;
}

bool subscribed(const ApiClient* client, uint32_t event)
{
  return client && event >= kApiFirstEvent && event < kApiFirstEvent + kApiEventKinds &&
         client->subscriptions[event - kApiFirstEvent];
}

// A message whose payload is one 32-bit value.
int send_word(ApiClient* client, uint8_t flag, uint32_t code, uint32_t request_id, uint32_t value)
{
  const uint8_t octets[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
  return api_send_message(client, flag, code, request_id, octets);
}

}  // namespace

int api_send_message(ApiClient* client, uint8_t flag, uint32_t code, uint32_t request_id,
                     std::span<const uint8_t> payload)
{
  if (!client)
    return -1;
  pdu_buffer message;
  if (api_encode_message(&message, flag, code, request_id, payload) != 0)
    return -1;
  int rc;
  {
    DRIVER_LOCK_SCOPE();
    rc = api_client_queue_push(client, &message);
  }
  pdu_buffer_free(&message);  // empty when the queue took it
  return rc;
}

int api_reply(ApiClient* client, uint32_t request_id, uint32_t code, const pdu_buffer& payload)
{
  return api_send_message(client, kApiFlagReply, code, request_id, contents(payload));
}

int api_reply_value(ApiClient* client, uint32_t request_id, uint32_t code, uint32_t value)
{
  return send_word(client, kApiFlagReply, code, request_id, value);
}

int api_reply_error(ApiClient* client, uint32_t request_id, uint32_t error_number)
{
  return send_word(client, kApiFlagErrorOrEvent, kApiErrorReplyCode, request_id, error_number);
}

int api_encode_value(pdu_buffer* buffer, const BACnetValue* value)
{
  BACnetValue empty{};
  return pdu_encode_constructed_value(buffer, value ? value : &empty, 0) == 0 ? 0 : -1;
}

int api_event_log_payload(pdu_buffer* payload, int level, const char* text)
{
  return build(payload, [&](pdu_buffer* p) { return api_put_u32(p, uint32_t(level)) == 0 && api_put_string(p, text) == 0; });
}

int api_event_pdu_payload(pdu_buffer* payload, uint32_t kind, uint8_t service_choice,
                          std::span<const uint8_t> request)
{
  return build(payload, [&](pdu_buffer* p) {
    return api_put_u32(p, kind) == 0 && api_put_u8(p, service_choice) == 0 &&
           api_put_blob(p, request.data(), uint32_t(request.size())) == 0;
  });
}

int api_event_object_value_payload(pdu_buffer* payload, uint32_t client_id, uint32_t handle, uint32_t owner,
                                   uint32_t object_type, uint32_t instance, const BACnetValue* value,
                                   uint32_t priority)
{
  return build(payload, [&](pdu_buffer* p) {
    pdu_buffer encoded{};
    bool ok = api_encode_value(&encoded, value) == 0 && api_put_u32(p, client_id) == 0 && api_put_u32(p, handle) == 0 &&
              api_put_u32(p, owner) == 0 && api_put_u32(p, object_type) == 0 && api_put_u32(p, instance) == 0 &&
              api_put_blob(p, encoded.data, encoded.pos) == 0 && api_put_u32(p, priority) == 0;
    pdu_buffer_free(&encoded);
    return ok;
  });
}

int api_event_cache_payload(pdu_buffer* payload, const CacheReference* reference, const BACnetValue* value,
                            uint32_t error, uint32_t client_id, uint32_t handle)
{
  return build(payload, [&](pdu_buffer* p) {
    pdu_buffer block{};
    bool ok = reference && pdu_encode_device_object_property_reference(&block, reference) == 0 &&
              api_encode_value(&block, value) == 0 && api_put_blob(p, block.data, block.pos) == 0 &&
              api_put_u32(p, error) == 0 && api_put_u32(p, client_id) == 0 && api_put_u32(p, handle) == 0;
    pdu_buffer_free(&block);
    return ok;
  });
}

int api_event_object_payload(pdu_buffer* payload, uint32_t client_id, uint32_t handle, uint32_t owner,
                             uint32_t object_type, uint32_t instance)
{
  return build(payload, [&](pdu_buffer* p) {
    return api_put_u32(p, client_id) == 0 && api_put_u32(p, handle) == 0 && api_put_u32(p, owner) == 0 &&
           api_put_u32(p, object_type) == 0 && api_put_u32(p, instance) == 0;
  });
}

int api_queue_event(ApiClient* client, uint32_t event, std::span<const uint8_t> payload)
{
  if (!subscribed(client, event) || client->out_queue.size() > kApiQueueRefuseAbove)
    return -1;
  pdu_buffer message;
  if (api_encode_message(&message, kApiFlagErrorOrEvent, event, 0, payload) != 0)
    return -1;
  int rc = api_client_queue_push(client, &message);
  pdu_buffer_free(&message);
  return rc;
}

int api_queue_handle_event(ApiClient* client, uint32_t event, uint32_t client_id, uint32_t handle,
                           std::span<const uint8_t> payload)
{
  if (!subscribed(client, event))
    return -1;
  pdu_buffer message;
  if (api_encode_message(&message, kApiFlagErrorOrEvent, event, 0, payload) != 0)
    return -1;
  int rc = api_client_queue_push_state(client, {event, client_id, handle}, &message);
  pdu_buffer_free(&message);
  return rc;
}
