#include "backend/api/api_calls.h"

#include "bacnet/client/client_request.h"

namespace {

int who_is_everywhere(const WhoIsRequest* request) { return client_who_is(-1, -1, request); }

constexpr ApiCallTable kStackCalls = {
    client_call_read_property,     client_call_read_property_multiple,
    client_call_write_property,    client_call_write_property_multiple,
    client_call_add_list_element,  client_call_remove_list_element,
    client_call_create_object,     client_call_delete_object,
    client_call_read_range,        who_is_everywhere,
    client_raw_confirmed_hex,      client_raw_unconfirmed_hex,
};

const ApiCallTable* g_calls = &kStackCalls;

}  // namespace

const ApiCallTable& api_calls() { return *g_calls; }

void api_set_calls(const ApiCallTable* table) { g_calls = table ? table : &kStackCalls; }
