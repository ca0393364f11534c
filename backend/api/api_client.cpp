#include "backend/api/api_client.h"

#include "bacnet/foundation/driver.h"

#include <new>

namespace {

void free_all(ApiClient* client)
{
  for (pdu_buffer& message : client->out_queue)
    pdu_buffer_free(&message);
  client->out_queue.clear();
  for (auto& [key, message] : client->owed.latest)
    pdu_buffer_free(&message);
  client->owed.latest.clear();
  client->owed.order.clear();
}

}  // namespace

ApiClient::~ApiClient()
{
  free_all(this);
  pdu_buffer_free(&sending.message);
}

int api_client_queue_push(ApiClient* client, pdu_buffer* message)
{
  if (!client || !message || client->out_queue.size() > kApiQueueRefuseAbove)
    return -1;
  try {
    client->out_queue.push_front(*message);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  *message = pdu_buffer{};
  client->wake.signal();
  return 0;
}

int api_client_queue_push_state(ApiClient* client, const ApiHandleKey& key, pdu_buffer* message)
{
  if (!client || !message)
    return -1;
  ApiOwedEvents& owed = client->owed;
  // Once a handle is owed, every later state goes the same way: none may overtake an older one.
  if (owed.order.empty() && client->out_queue.size() <= kApiQueueRefuseAbove)
    return api_client_queue_push(client, message);
  auto it = owed.latest.find(key);
  if (it == owed.latest.end()) {
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
    *message = client->out_queue.back();
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
