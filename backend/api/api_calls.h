// The BACnet calls the text and XML APIs make: the blocking calls of the client request layer,
// the raw hex calls and the Who-Is broadcast, reached through one table so that tests and fuzz
// targets answer them without a stack. Callers are the API's connection threads; the table is
// replaced only while no connection runs. Must not: be called from the stack thread.
#pragma once

#include "bacnet/client/client_call.h"
#include "bacnet/codec/codec_requests.h"

#include <cstdint>

struct ApiCallTable {
  int (*read_property)(ClientCallRecord* record);
  int (*read_property_multiple)(ClientCallRecord* record);
  int (*write_property)(ClientCallRecord* record);
  int (*write_property_multiple)(ClientCallRecord* record);
  int (*add_list_element)(ClientCallRecord* record);
  int (*remove_list_element)(ClientCallRecord* record);
  int (*create_object)(ClientCallRecord* record);
  int (*delete_object)(ClientCallRecord* record);
  int (*read_range)(ClientCallRecord* record);
  int (*who_is)(const WhoIsRequest* request);  // broadcast on every port
  int (*raw_confirmed_hex)(int32_t device_instance, const char* request_hex, char** answer_hex);
  int (*raw_unconfirmed_hex)(const char* request_hex);
};

const ApiCallTable& api_calls();
// Tests: answers come from `table` until called with null, which restores the stack's calls.
void api_set_calls(const ApiCallTable* table);

// The record of one blocking call on `device`; the outcome lands in `error` and `answer`.
inline ClientCallRecord api_call_record(int32_t device, const void* request, void* answer, ClientCallError* error)
{
  return {.device_instance = device, .request = request, .answer = answer, .error = error};
}
