#include "backend/api/api_pending.h"

#include "bacnet/foundation/driver.h"
#include "bacnet/foundation/os_wrappers.h"

namespace {

struct ApiPendingRequest {
  bool in_use = false;
  uint64_t token = 0;
  uint32_t request_id = 0;
  uint64_t client_serial = 0;
  int64_t taken_ms = 0;
};

ApiPendingRequest g_pending[kApiPendingEntries];
uint64_t g_last_token = 0;

}  // namespace

uint64_t api_pending_take(uint64_t client_serial, uint32_t request_id)
{
  DRIVER_LOCK_SCOPE();
  for (ApiPendingRequest& entry : g_pending) {
    if (entry.in_use)
      continue;
    entry = ApiPendingRequest{true, ++g_last_token, request_id, client_serial, os_monotonic_ms()};
    return entry.token;
  }
  return 0;
}

bool api_pending_remove(uint64_t token, uint32_t* request_id, uint64_t* client_serial)
{
  DRIVER_LOCK_SCOPE();
  for (ApiPendingRequest& entry : g_pending) {
    if (!entry.in_use || entry.token != token)
      continue;
    if (request_id)
      *request_id = entry.request_id;
    if (client_serial)
      *client_serial = entry.client_serial;
    entry = ApiPendingRequest{};
    return true;
  }
  return false;
}

void api_pending_drop_client(uint64_t client_serial)
{
  DRIVER_LOCK_SCOPE();
  for (ApiPendingRequest& entry : g_pending)
    if (entry.in_use && entry.client_serial == client_serial)
      entry = ApiPendingRequest{};
}

std::size_t api_pending_expire(int64_t now_ms, int64_t timeout_ms)
{
  DRIVER_LOCK_SCOPE();
  std::size_t ended = 0;
  for (ApiPendingRequest& entry : g_pending) {
    if (entry.in_use && now_ms - entry.taken_ms >= timeout_ms) {
      entry = ApiPendingRequest{};
      ++ended;
    }
  }
  return ended;
}

std::size_t api_pending_count()
{
  DRIVER_LOCK_SCOPE();
  std::size_t n = 0;
  for (const ApiPendingRequest& entry : g_pending)
    n += entry.in_use ? 1 : 0;
  return n;
}

void api_pending_clear()
{
  DRIVER_LOCK_SCOPE();
  for (ApiPendingRequest& entry : g_pending)
    entry = ApiPendingRequest{};
}
