// The binary protocol of the TCP API: reads a request's header, runs the command of its code
// (raw BACnet requests, the remote-property cache, the object API, device set-up, the local
// device's identity, client state and event subscriptions) and answers with exactly one reply
// or error reply; the answers of forwarded confirmed requests follow later.
// Runs on the client's connection thread (api_forward_answer on the stack thread). Commands
// may block that thread, never another. Must not: answer a request twice.
#pragma once

#include "backend/api/api_client.h"
#include "bacnet/application/client_tsm.h"

#include <cstdint>
#include <span>

// Command codes.
enum ApiCommandCode : uint32_t {
  kApiSendUnconfirmed = 101,
  kApiSendConfirmed = 102,
  kApiCacheAddDefault = 201,
  kApiCacheRemove = 202,
  kApiCacheRead = 203,
  kApiCacheWrite = 204,
  kApiCacheRegister = 205,
  kApiCacheUnregister = 206,
  kApiCacheAddProperty = 207,
  kApiDeviceSetup = 301,
  kApiObjectPut = 302,
  kApiObjectDelete = 303,
  kApiObjectRead = 304,
  kApiObjectWrite = 305,
  kApiObjectRegister = 306,
  kApiObjectUnregister = 307,
  kApiObjectPutEx = 308,
  kApiObjectSetNotify = 309,
  kApiLocalInstance = 401,
  kApiLocalNetwork = 402,
  kApiKeepClient = 501,
  kApiReleaseClient = 502,
  kApiSubscribeFirst = 601,  // 601-606 subscribe to the events 701-706
  kApiSubscribeLast = 606,
};

// One binary payload (first octet 0): fewer than 3 octets are dropped without a reply; a
// missing request id or code gets error 0; an unknown code error 3.
void api_handle_binary_message(ApiClient* client, std::span<const uint8_t> payload);

// The completion of a command 102's request (stack thread): its answer goes to the client as
// reply 102 when the client and its pending entry are still there, and is dropped otherwise.
void api_forward_answer(void* user_data, int success, const BACnetAddress& destination, const ClientResult& result);
// How long a forwarded request may wait for its answer before its entry is given up: beyond
// every retry of the transaction.
int64_t api_pending_timeout_ms();
