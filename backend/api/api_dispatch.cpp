#include "backend/api/api_dispatch.h"

#include "backend/api/api_binary.h"
#include "backend/api/api_text.h"

namespace {

bool is_binary(std::span<const uint8_t> payload) { return payload[0] == 0; }

const ApiPayloadProtocol kProtocols[] = {
    {"binary", is_binary, api_handle_binary_message},
    {"text", api_is_text_command, api_answer_text_command},
};

}  // namespace

bool api_dispatch_payload(ApiClient* client, std::span<const uint8_t> payload)
{
  if (payload.empty())
    return false;
  for (const ApiPayloadProtocol& protocol : kProtocols) {
    if (protocol.accepts(payload)) {
      protocol.handle(client, payload);
      return true;
    }
  }
  return false;
}
