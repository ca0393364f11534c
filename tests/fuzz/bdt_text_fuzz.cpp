// Arbitrary text as the broadcast distribution table file that a BBMD reads at start-up.
#include "bacnet/datalink/bbmd_tables.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  std::vector<BdtEntry> table = {{0x0A6F0101, 47808, 0xFFFFFFFF}};
  bdt_parse_text(std::string_view(reinterpret_cast<const char*>(data), size), &table);
  // Every entry read back is distinct and survives a round trip through its octets.
  for (std::size_t i = 0; i < table.size(); ++i) {
    uint8_t octets[kBdtEntryLength];
    bdt_entry_encode(table[i], octets);
    if (!(bdt_entry_decode(octets) == table[i]))
      __builtin_trap();
    for (std::size_t k = 0; k < i; ++k)
      if (table[k] == table[i])
        __builtin_trap();
  }
  return 0;
}
