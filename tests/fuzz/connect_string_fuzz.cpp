// Arbitrary text as a connect string: the pairs are walked without reading past the text,
// each name finds the first pair of that name, and a value that reads as a number or an IPv4
// address reads as exactly that text.
#include "bacnet/datalink/datalink_port.h"

#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
  char name[kDatalinkParamLength];
  char value[kDatalinkParamLength];
  std::set<std::string> seen;
  for (size_t at = 0; at <= text.size();) {
    std::memset(name, 0, sizeof name);
    std::memset(value, 0, sizeof value);
    int consumed = datalink_next_param(text.c_str() + at, name, value);
    if (std::strlen(name) >= kDatalinkParamLength || std::strlen(value) >= kDatalinkParamLength)
      __builtin_trap();
    if (name[0] && seen.insert(name).second) {
      // The first pair of a name is the one every lookup finds.
      char found_name[kDatalinkParamLength];
      char found[kDatalinkParamLength];
      if (datalink_get_param(text.c_str(), name, found_name, found) != 0 || std::strcmp(found, value) != 0)
        __builtin_trap();
    }
    const std::string v = value;
    long number = 0;
    if (datalink_parse_number(v, -100000, 100000, &number)) {
      if (number < -100000 || number > 100000 || std::strtol(v.c_str(), nullptr, 10) != number)
        __builtin_trap();
    }
    uint32_t address = 0;
    if (datalink_parse_ipv4(v, &address)) {
      in_addr a{htonl(address)};
      char back[INET_ADDRSTRLEN];
      if (!inet_ntop(AF_INET, &a, back, sizeof back) || v != back)
        __builtin_trap();
    }
    if (consumed <= 0)
      break;
    if (size_t(consumed) > text.size() - at)
      __builtin_trap();
    at += size_t(consumed);
  }
  return 0;
}
