// Messages to one API client: replies and error replies of the binary protocol, and the
// event messages 701-706 with their payloads. Everything is encoded into a buffer that the
// client's out-queue then owns; the connection thread sends it. Replies run on connection
// threads (and the stack thread for forwarded answers) and take the global lock for the push;
// event queueing runs inside a broadcast, which holds it. Must not: write to a socket.
#pragma once

#include "backend/api/api_client.h"
#include "bacnet/cache/cache.h"
#include "bacnet/value/value_types.h"

#include <cstdint>
#include <span>

// Event codes, each sent only to the clients that subscribed with 600 + (code - 700).
enum ApiEvent : uint32_t {
  kApiEventLog = 701,
  kApiEventPdu = 702,
  kApiEventObjectValue = 703,
  kApiEventUnused = 704,
  kApiEventCache = 705,
  kApiEventObject = 706,
};

// Encodes the header and payload and queues the message under the lock. 0, or -1 (dropped).
int api_send_message(ApiClient* client, uint8_t flag, uint32_t code, uint32_t request_id,
                     std::span<const uint8_t> payload);
// Flag 0, the command's code, the payload as built.
int api_reply(ApiClient* client, uint32_t request_id, uint32_t code, const pdu_buffer& payload);
// Flag 0, the command's code, one 32-bit value.
int api_reply_value(ApiClient* client, uint32_t request_id, uint32_t code, uint32_t value);
// Flag 255, code 1, the error number (0 bad request, 3 unknown command).
int api_reply_error(ApiClient* client, uint32_t request_id, uint32_t error_number);

// ---- Events: payloads are built once per broadcast, then queued per client ------------------
// 701: level, text.
int api_event_log_payload(pdu_buffer* payload, int level, const char* text);
// 702: request kind (0 confirmed, 1 unconfirmed), service choice, the request's bytes.
int api_event_pdu_payload(pdu_buffer* payload, uint32_t kind, uint8_t service_choice,
                          std::span<const uint8_t> request);
// 703: client id, handle, owner, object type, instance, the value in context tag 0, priority.
int api_event_object_value_payload(pdu_buffer* payload, uint32_t client_id, uint32_t handle, uint32_t owner,
                                   uint32_t object_type, uint32_t instance, const BACnetValue* value,
                                   uint32_t priority);
// 705: one blob of the reference and the value in context tag 0, then error, client, handle.
int api_event_cache_payload(pdu_buffer* payload, const CacheReference* reference, const BACnetValue* value,
                            uint32_t error, uint32_t client_id, uint32_t handle);
// 706: client id, handle, owner, object type, instance.
int api_event_object_payload(pdu_buffer* payload, uint32_t client_id, uint32_t handle, uint32_t owner,
                             uint32_t object_type, uint32_t instance);
// The caller holds the lock. Queues the event for one client: -1 (nothing queued) without a
// client, when it did not subscribe to the event, or when its queue is full. For the monitor
// streams (701, 702, 706), where a lost message leaves no wrong state behind.
int api_queue_event(ApiClient* client, uint32_t event, std::span<const uint8_t> payload);
// The caller holds the lock. Queues an event that tells the state of the client's handle
// `handle` (703, 705): a full queue does not drop it, the client is owed the handle's latest
// one (api_client_queue_push_state). -1 without a client or a subscription, or without memory.
int api_queue_handle_event(ApiClient* client, uint32_t event, uint32_t client_id, uint32_t handle,
                           std::span<const uint8_t> payload);

// A value enclosed in context tag 0, as commands and events carry values inside their blobs.
int api_encode_value(pdu_buffer* buffer, const BACnetValue* value);
