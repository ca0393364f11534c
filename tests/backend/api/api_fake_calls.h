// Answers the text and XML APIs' BACnet calls without a stack: each call hands its record to a
// function the test sets (none set: the call reports a BACnet error of class 5, code 0).
#pragma once

#include "backend/api/api_calls.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace api_fake {

using Answer = std::function<void(ClientCallRecord*)>;

struct Calls {
  Answer read_property, read_property_multiple, write_property, write_property_multiple, add_list_element,
      remove_list_element, create_object, delete_object, read_range;
  int who_is_count = 0;
  WhoIsRequest who_is;
  std::string raw_request;  // the last hex text
};

inline Calls& calls()
{
  static Calls c;
  return c;
}

inline int answer(const Answer& a, ClientCallRecord* record)
{
  if (a)
    a(record);
  else
    client_call_set_error(record->error, 0, 5, 0);
  return 0;
}

inline const ApiCallTable kTable = {
    [](ClientCallRecord* r) { return answer(calls().read_property, r); },
    [](ClientCallRecord* r) { return answer(calls().read_property_multiple, r); },
    [](ClientCallRecord* r) { return answer(calls().write_property, r); },
    [](ClientCallRecord* r) { return answer(calls().write_property_multiple, r); },
    [](ClientCallRecord* r) { return answer(calls().add_list_element, r); },
    [](ClientCallRecord* r) { return answer(calls().remove_list_element, r); },
    [](ClientCallRecord* r) { return answer(calls().create_object, r); },
    [](ClientCallRecord* r) { return answer(calls().delete_object, r); },
    [](ClientCallRecord* r) { return answer(calls().read_range, r); },
    [](const WhoIsRequest* w) {
      calls().who_is = *w;
      calls().who_is_count++;
      return 0;
    },
    // Confirmed: a SimpleACK of the request's service; hex that is not hex fails as the stack's does.
    [](int32_t, const char* hex, char** answer_hex) {
      calls().raw_request = hex;
      std::string h(hex);
      if (h.size() < 8 || h.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return -1;
      *answer_hex = strdup(("20" + h.substr(4, 4)).c_str());
      return 0;
    },
    [](const char* hex) {
      calls().raw_request = hex;
      std::string h(hex);
      return h.size() >= 4 && h.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos ? 0 : -1;
    },
};

// Installs the table for one test with every answer unset.
struct Installed {
  Installed()
  {
    calls() = Calls{};
    api_set_calls(&kTable);
  }
  ~Installed() { api_set_calls(nullptr); }
};

}  // namespace api_fake
