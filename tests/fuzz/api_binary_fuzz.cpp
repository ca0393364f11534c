// Arbitrary payloads of API frames into the payload dispatch and the binary protocol, on one
// connection record without a socket. Every input is one sequence of messages: two octets of
// length (big-endian), then that many octets, repeated. The cache and the object API run but
// end their waits at once and the device set-up queue is closed (no stack thread answers), so
// no command blocks; every reply is taken from the out-queue and checked to be one whole
// binary message.
#include "backend/api/api_client.h"
#include "backend/api/api_codec.h"
#include "backend/api/api_dispatch.h"
#include "backend/api/api_pending.h"
#include "bacnet/binding/cache.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/objects/device_object.h"
#include "bacnet/objects/object_api.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

bool started = false;

void start_once()
{
  if (started)
    return;
  started = true;
  cache_init(nullptr, nullptr);
  cache_stop_waits();
  object_api_init(nullptr, nullptr, nullptr);
  object_api_stop_waits();
  object_DeviceSetupShutdown();
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  start_once();
  ApiClient client;
  std::span<const uint8_t> rest(data, size);
  while (rest.size() >= 2) {
    std::size_t length = std::min<std::size_t>(std::size_t(rest[0]) << 8 | rest[1], rest.size() - 2);
    api_dispatch_payload(&client, rest.subspan(2, length));
    take_replies(client);
    rest = rest.subspan(2 + length);
  }
  api_pending_clear();
  return 0;
}
