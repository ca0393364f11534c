// Hands each complete frame's payload to the protocol it belongs to, chosen by how it begins:
// a first octet 0 is a binary message; the other protocols join the table with their own test.
// Runs on the client's connection thread. Must not: answer anything itself.
#pragma once

#include "backend/api/api_client.h"

#include <cstdint>
#include <span>

// One protocol: whether a payload is its own, and its handler.
struct ApiPayloadProtocol {
  const char* name;
  bool (*accepts)(std::span<const uint8_t> payload);
  void (*handle)(ApiClient* client, std::span<const uint8_t> payload);
};

// The first protocol that accepts the payload handles it; a payload that none accepts (and
// an empty one) is dropped. True when one handled it.
bool api_dispatch_payload(ApiClient* client, std::span<const uint8_t> payload);
