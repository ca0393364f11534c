#include "bacnet/services/service_dispatch.h"

#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/network/network_main.h"
#include "bacnet/services/unconfirmed_services.h"

#include <algorithm>
#include <new>

namespace {

constexpr std::size_t kConfirmedChoices = 32;

using UnconfirmedHandler = int (*)(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source,
                                   const ServiceRequest& request);

// By service choice.
constexpr std::array<UnconfirmedHandler, 10> kUnconfirmedHandlers = {
    services_i_am,
    services_i_have,
    services_unconfirmed_cov_notification,
    services_unconfirmed_event_notification,
    services_unconfirmed_private_transfer,
    services_unconfirmed_text_message,
    services_time_synchronization,
    services_who_has,
    services_who_is,
    services_utc_time_synchronization,
};

struct ServicesState {
  DriverLogFunction trace = nullptr;
  ServiceHooks hooks;
  ServicesSeams seams;
  FailedWrite failed_write;
  std::array<ConfirmedServiceHandler, kConfirmedChoices> confirmed{};
};

ServicesState g;

void broadcast(const ServiceRequest& request)
{
  if (g.seams.broadcast_event)
    g.seams.broadcast_event(request);
}

int copy_into(std::vector<uint8_t>* data, std::span<const uint8_t> encoded)
{
  try {
    data->assign(encoded.begin(), encoded.end());
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

}  // namespace

int services_init(const DriverContext* context, const ServiceHooks* hooks)
{
  g.trace = (context && context->options[kServicesTraceOption]) ? context->log : nullptr;
  g.hooks = hooks ? *hooks : ServiceHooks{};
  g.failed_write = FailedWrite{};
  return 0;
}

void services_set_seams(const ServicesSeams* seams) { g.seams = seams ? *seams : ServicesSeams{}; }

const ServicesSeams& services_seams() { return g.seams; }

void services_set_confirmed_handler(uint8_t service_choice, ConfirmedServiceHandler handler)
{
  if (service_choice < g.confirmed.size())
    g.confirmed[service_choice] = handler;
}

uint8_t services_max_apdu_code(uint32_t length) { return datalink_max_apdu_code(length); }

int services_unconfirmed_indication(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source,
                                    const ServiceRequest& request)
{
  if (request.type != kApduUnconfirmedRequest)
    return -1;
  broadcast(request);
  if (request.service_choice >= kUnconfirmedHandlers.size())
    return -1;
  return kUnconfirmedHandlers[request.service_choice](port_index, snet_present, routed_source, request);
}

int services_confirmed_indication(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                                  bool snet_present, const BACnetAddress& routed_source)
{
  if (request.type != kApduConfirmedRequest || !answer)
    return -1;
  if (request.service_choice == SERVICE_CONFIRMED_COV_NOTIFICATION ||
      request.service_choice == SERVICE_CONFIRMED_EVENT_NOTIFICATION)
    broadcast(request);
  ConfirmedServiceHandler handler =
      request.service_choice < g.confirmed.size() ? g.confirmed[request.service_choice] : nullptr;
  if (handler)
    return handler(local, request, answer, snet_present, routed_source);
  answer->kind = kAnswerReject;
  answer->reject_reason = kRejectUnrecognizedService;
  return 0;
}

int services_reply_complex_ack(ServiceAnswer* answer, std::span<const uint8_t> encoded, uint8_t service_choice)
{
  if (!answer || copy_into(&answer->data, encoded) != 0)
    return -1;
  answer->kind = kAnswerComplexAck;
  answer->service_choice = service_choice;
  return 0;
}

int services_reply_data(ServiceAnswer* answer, std::span<const uint8_t> encoded)
{
  if (!answer || encoded.empty() || copy_into(&answer->data, encoded) != 0)
    return -1;
  answer->kind = kAnswerError;
  return 0;
}

void services_call_hook(std::size_t slot, uint8_t port_index, const void* request)
{
  // Only the first port's requests reach the host program.
  if (port_index != 0 || slot >= g.hooks.slots.size() || !g.hooks.slots[slot])
    return;
  g.hooks.slots[slot](request);
}

int services_call_confirmed_hook(std::size_t slot, const void* request)
{
  if (slot >= g.hooks.slots.size() || !g.hooks.slots[slot])
    return 0;
  return g.hooks.slots[slot](request);
}

DriverLogFunction services_trace() { return g.trace; }

FailedWrite& services_failed_write() { return g.failed_write; }
