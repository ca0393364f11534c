// Arbitrary payloads of API frames into the payload dispatch and the binary protocol, on one
// connection record without a socket. Every input is one sequence of messages: two octets of
// length (big-endian), then that many octets, repeated. The cache and the object API run but
// end their waits at once and the device set-up queue is closed (no stack thread answers), so
// no command blocks; BACnet calls of text commands are refused at once. Every reply is taken
// from the out-queue and checked to be one whole binary message; every text answer is read
// from the connection's socket and checked to be one whole frame holding a text.
#include "backend/api/api_calls.h"
#include "backend/api/api_client.h"
#include "backend/api/api_codec.h"
#include "backend/api/api_dispatch.h"
#include "backend/api/api_pending.h"
#include "bacnet/cache/cache.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/objects/device_object.h"
#include "bacnet/objects/object_api.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include <sys/socket.h>

namespace {

bool started = false;
// The connection's socket and the client's end, where text answers arrive.
int answer_pair[2] = {-1, -1};

int refuse_call(ClientCallRecord*) { return -1; }
const ApiCallTable kRefusedCalls = {
    refuse_call, refuse_call, refuse_call, refuse_call, refuse_call, refuse_call, refuse_call, refuse_call,
    refuse_call, [](const WhoIsRequest*) { return -1; }, [](int32_t, const char*, char**) { return -1; },
    [](const char*) { return -1; },
};

// The cache and the object API start empty for every input and are emptied after it: the
// clients and registrations an input makes would otherwise stay, so that the registries grew
// to their limits (later inputs were refused what earlier ones got) and every input looked
// like a leak to the fuzzer, which then stopped looking for leaks. Only the numbers they hand
// out go on counting from input to input; nothing short of a new process resets those.
void start_registries()
{
  cache_init(nullptr, nullptr);
  cache_stop_waits();
  object_api_destroy();
  object_api_init(nullptr, nullptr, nullptr);
  object_api_stop_waits();
}

void start_once()
{
  if (started)
    return;
  started = true;
  object_DeviceSetupShutdown();
  api_set_calls(&kRefusedCalls);
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, answer_pair) != 0)
    std::abort();
}

void take_replies(ApiClient& client)
{
  DRIVER_LOCK_SCOPE();
  pdu_buffer m;
  while (api_client_queue_pop(&client, &m) == 0) {
    if (m.pos < kApiMessageHeaderLength || m.data[0] != 0)
      std::abort();
    pdu_buffer_free(&m);
  }
}

void take_text_answer()
{
  std::string got;
  char chunk[4096];
  for (ssize_t n; (n = recv(answer_pair[1], chunk, sizeof chunk, 0)) > 0;)
    got.append(chunk, std::size_t(n));
  uint32_t length = 0;
  if (got.size() <= kApiFrameHeaderLength ||
      api_frame_length(reinterpret_cast<const uint8_t*>(got.data()), &length) != 0 ||
      got.size() != kApiFrameHeaderLength + length || got[kApiFrameHeaderLength] == 0)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  start_once();
  start_registries();
  ApiClient client;
  client.socket = answer_pair[0];
  std::span<const uint8_t> rest(data, size);
  while (rest.size() >= 2) {
    std::size_t length = std::min<std::size_t>(std::size_t(rest[0]) << 8 | rest[1], rest.size() - 2);
    std::span<const uint8_t> payload = rest.subspan(2, length);
    api_dispatch_payload(&client, payload);
    take_replies(client);
    if (!payload.empty() && payload[0] != 0)
      take_text_answer();
    rest = rest.subspan(2 + length);
  }
  api_pending_clear();
  cache_destroy();
  object_api_destroy();
  return 0;
}
