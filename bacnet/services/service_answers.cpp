#include "bacnet/services/service_answers.h"

#include "bacnet/binding/address_binding.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/services/service_dispatch.h"

uint32_t services_request_owner(const BACnetAddress& local)
{
  int32_t owner = address_binding_get_local_instance(&local);
  if (owner < 0)
    owner = address_binding_get_local_instance(nullptr);
  return uint32_t(owner);
}

int32_t services_access_origin(const ServiceRequest& request) { return int32_t(request.source.network); }

pdu_buffer services_request_view(const ServiceRequest& request)
{
  return pdu_buffer_view(request.data.data(), uint32_t(request.data.size()));
}

bool services_decoded(int result, const pdu_buffer& buffer) { return result == 0 && buffer.pos == buffer.size; }

int services_answer_simple_ack(ServiceAnswer* answer)
{
  if (!answer)
    return -1;
  answer->data.clear();
  answer->kind = kAnswerSimpleAck;
  return 0;
}

int services_answer_reject(ServiceAnswer* answer, uint8_t reason)
{
  if (!answer)
    return -1;
  answer->data.clear();
  answer->kind = kAnswerReject;
  answer->reject_reason = reason;
  return 0;
}

int services_answer_encoded(ServiceAnswer* answer, pdu_buffer* encoded, uint8_t service_choice)
{
  int rc = services_reply_complex_ack(answer, std::span<const uint8_t>(encoded->data, encoded->pos), service_choice);
  pdu_buffer_free(encoded);
  return rc;
}

int services_answer_error_parameters(ServiceAnswer* answer, const ErrorParameters& parameters)
{
  pdu_buffer encoded{};
  int rc = pdu_encode_error(&encoded, &parameters);
  if (rc == 0)
    rc = services_reply_data(answer, std::span<const uint8_t>(encoded.data, encoded.pos));
  pdu_buffer_free(&encoded);
  return rc == 0 ? 0 : -1;
}

int services_answer_error(ServiceAnswer* answer, uint8_t service_choice, uint32_t error_class, uint32_t error_code)
{
  return services_answer_error_parameters(answer, ErrorParameters(service_choice, {error_class, error_code}));
}

int services_answer_property_error(ServiceAnswer* answer, uint8_t service_choice, int result)
{
  return services_answer_error(answer, service_choice, object_GetErrorClass(), services_error_code(result));
}

uint32_t services_error_code(int result)
{
  // Codes above 255 are for vendors' own use; this device defines none.
  constexpr int kLastStandardCode = 255;
  return result >= 1 && result - 1 <= kLastStandardCode ? uint32_t(result - 1) : kErrorOther;
}
