#include "backend/api/api_client.h"

#include "bacnet/foundation/driver.h"

#include <new>

ApiClient::~ApiClient()
{
  for (pdu_buffer& message : out_queue)
    pdu_buffer_free(&message);
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

int api_client_queue_pop(ApiClient* client, pdu_buffer* message)
{
  if (!client || client->out_queue.empty())
    return -1;
  *message = client->out_queue.back();
  client->out_queue.pop_back();
  return 0;
}

void api_client_queue_clear(ApiClient* client)
{
  if (!client)
    return;
  DRIVER_LOCK_SCOPE();
  for (pdu_buffer& message : client->out_queue)
    pdu_buffer_free(&message);
  client->out_queue.clear();
}
