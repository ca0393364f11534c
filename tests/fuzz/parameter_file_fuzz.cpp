// Arbitrary parameter files through the reader: a file is taken whole or refused with a
// reason, never half; what it gives back is written out and read back unchanged.
#include "gui/core/parameter_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
  const params::ReadResult read = params::Read(input);
  if (read.values.has_value() == !read.error.isEmpty())
    __builtin_trap();
  if (!read.values)
    return 0;
  for (int bit : read.values->bit_values)
    if (bit < 0 || bit > 2)
      __builtin_trap();

  const params::ReadResult again = params::Read(params::Write(params::Header{}, *read.values));
  if (!again.values)
    __builtin_trap();
  for (int i = params::kFirstLoadedRegister; i < params::kRegisterCount; ++i)
    if (again.values->register_texts[size_t(i)] != read.values->register_texts[size_t(i)])
      __builtin_trap();
  if (again.values->bit_values != read.values->bit_values)
    __builtin_trap();
  return 0;
}
