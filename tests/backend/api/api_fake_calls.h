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
};

inline Calls& calls()
{
  static Calls c;
  return c;
}

// The call of `slot`: the answer set there, or an error of class 5, code 0.
template <Answer Calls::*slot>
int answer(ClientCallRecord* record)
{
  if (calls().*slot)
    (calls().*slot)(record);
  else
    client_call_set_error(record->error, 0, 5, 0);
  return 0;
}

inline const ApiCallTable kTable = {
    answer<&Calls::read_property>, answer<&Calls::read_property_multiple>, answer<&Calls::write_property>,
    answer<&Calls::write_property_multiple>, answer<&Calls::add_list_element>, answer<&Calls::remove_list_element>,
    answer<&Calls::create_object>, answer<&Calls::delete_object>, answer<&Calls::read_range>,
    [](const WhoIsRequest* w) {
      calls().who_is = *w;
      calls().who_is_count++;
      return 0;
    },
    // Confirmed: a SimpleACK of the request's service; hex that is not hex fails as the stack's does.
    [](int32_t, const char* hex, char** answer_hex) {
      std::string h(hex);
      if (h.size() < 8 || h.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return -1;
      *answer_hex = strdup(("20" + h.substr(4, 4)).c_str());
      return 0;
    },
    [](const char* hex) {
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
