// Arbitrary text as an INI job file: sections and keys are read without crashing, and every
// section the reader returns has a name and only non-empty values.
#include "backend/job_file.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const JobFileSection& section : parse_job_file(text)) {
    KeyMap map;
    map.reserve(section.lines.size() + 1);
    map.set("NAME", section.name);
    for (const auto& [key, value] : section.lines) {
      if (value.empty())
        __builtin_trap();
      map.set(key, value);
    }
    if (map.entries().size() != map.size())
      __builtin_trap();
  }
  return 0;
}
