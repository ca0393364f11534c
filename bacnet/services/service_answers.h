// What every confirmed handler shares: the local device a request is for, the origin its
// property accesses carry, the view of its parameters, and the answers it fills (SimpleACK,
// ComplexACK, Reject and every Error form). Stack thread only, inside a handler. Builds
// answers only; must not send anything or keep the answer after the handler returns.
#pragma once

#include "bacnet/application/server_tsm.h"
#include "bacnet/codec/codec_errors.h"
#include "bacnet/codec/pdu_buffer.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/network/bacnet_address.h"
#include "bacnet/value/tagged_value.h"
#include "bacnet/value/value_types.h"

#include <cstdint>

// The instance of the local device the request was addressed to; a request that reached the
// stack at an address no local device owns is for the device itself.
uint32_t services_request_owner(const BACnetAddress& local);
// The network the request came in on (the requester's, or the one of the router it came
// through), which the object database takes as the access origin and the station's network.
int32_t services_access_origin(const ServiceRequest& request);
// A decoding view of the request's parameters.
pdu_buffer services_request_view(const ServiceRequest& request);
// A request counts as decoded only when its parameters decoded and nothing follows them.
bool services_decoded(int result, const pdu_buffer& buffer);

// The answers. Each returns 0, or -1 when not even the answer could be built (the server
// transaction then has nothing to send).
int services_answer_simple_ack(ServiceAnswer* answer);
int services_answer_reject(ServiceAnswer* answer, uint8_t reason);
// A ComplexACK of the encoded parameters; the buffer is released in every case.
int services_answer_encoded(ServiceAnswer* answer, pdu_buffer* encoded, uint8_t service_choice);
// An Error of the service's form with nothing but class and code (a ChangeList form names
// no element, 0).
int services_answer_error(ServiceAnswer* answer, uint8_t service_choice, uint32_t error_class, uint32_t error_code);
int services_answer_error_parameters(ServiceAnswer* answer, const ErrorParameters& parameters);
// A failed property access: the class of the last access and the result minus one as code.
int services_answer_property_error(ServiceAnswer* answer, uint8_t service_choice, int result);
// The error code of an object-database result (the code plus one). A result that carries no
// code of BACnet's own range (an internal failure, a negative value) goes out as other.
uint32_t services_error_code(int result);
