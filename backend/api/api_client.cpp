#include "backend/api/api_client.h"

#include "bacnet/foundation/driver.h"

#include <algorithm>
#include <new>

namespace {

void free_all(ApiClient* client)
{
  for (ApiQueuedMessage& queued : client->out_queue)
    pdu_buffer_free(&queued.message);
  client->out_queue.clear();
  for (auto& [key, message] : client->owed.latest)
    pdu_buffer_free(&message);
  client->owed.latest.clear();
  client->owed.order.clear();
}

int push(ApiClient* client, const ApiHandleKey& key, pdu_buffer* message)
{
  if (!client || !message || client->out_queue.size() > kApiQueueRefuseAbove)
    return -1;
  try {
    client->out_queue.push_front({*message, key});
  } catch (const std::bad_alloc&) {
    return -1;
  }
  *message = pdu_buffer{};
  client->wake.signal();
  return 0;
}

// The newer state takes the place of the handle's newest one still queued: it goes out no
// later than that one would have, and no older state can follow it.
bool replace_queued(ApiClient* client, const ApiHandleKey& key, pdu_buffer* message)
{
  for (ApiQueuedMessage& queued : client->out_queue) {  // newest first
    if (queued.key == key) {
      pdu_buffer_free(&queued.message);
      queued.message = *message;
      *message = pdu_buffer{};
      return true;
    }
  }
  return false;
}

}  // namespace

ApiClient::~ApiClient()
{
  free_all(this);
  pdu_buffer_free(&sending.message);
}

int api_client_queue_push(ApiClient* client, pdu_buffer* message) { return push(client, {}, message); }

int api_client_queue_push_state(ApiClient* client, const ApiHandleKey& key, pdu_buffer* message)
{
  if (!client || !message)
    return -1;
  ApiOwedEvents& owed = client->owed;
  // Once a handle is owed, every later state goes the same way: none may overtake an older one.
  auto it = owed.latest.find(key);
  if (it == owed.latest.end()) {
    if (owed.order.empty() && client->out_queue.size() <= kApiQueueRefuseAbove)
      return push(client, key, message);
    if (replace_queued(client, key, message))
      return 0;
    bool ordered = false;
    try {
      owed.order.push_back(key);
      ordered = true;
      it = owed.latest.emplace(key, pdu_buffer{}).first;
    } catch (const std::bad_alloc&) {
      if (ordered)
        owed.order.pop_back();
      return -1;
    }
  }
  pdu_buffer_free(&it->second);
  it->second = *message;
  *message = pdu_buffer{};
  client->wake.signal();
  return 0;
}

int api_client_queue_pop(ApiClient* client, pdu_buffer* message)
{
  if (!client)
    return -1;
  ApiOwedEvents& owed = client->owed;
  bool from_queue = !client->out_queue.empty() && (owed.order.empty() || !owed.owed_turn);
  owed.owed_turn = !owed.owed_turn;
  if (from_queue) {
    *message = client->out_queue.back().message;
    client->out_queue.pop_back();
    return 0;
  }
  if (owed.order.empty())
    return -1;
  auto it = owed.latest.find(owed.order.front());
  owed.order.pop_front();
  *message = it->second;
  owed.latest.erase(it);
  return 0;
}

void api_client_forget_handle(ApiClient* client, const ApiHandleKey& key)
{
  if (!client)
    return;
  ApiOwedEvents& owed = client->owed;
  auto it = owed.latest.find(key);
  if (it == owed.latest.end())
    return;
  pdu_buffer_free(&it->second);
  owed.latest.erase(it);
  owed.order.erase(std::find(owed.order.begin(), owed.order.end(), key));
}

bool api_client_queue_waiting(const ApiClient* client)
{
  return client && (!client->out_queue.empty() || !client->owed.order.empty());
}

void api_client_queue_clear(ApiClient* client)
{
  if (!client)
    return;
  DRIVER_LOCK_SCOPE();
  free_all(client);
}
