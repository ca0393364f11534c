// Arbitrary parameter files through the reader: a file is taken or refused with a reason,
// never half; a value left out is named in the message; what it gives back is written out
// and read back unchanged.
#include "gui/core/parameter_file.h"
#include "gui/core/program_state.h"

#include <QLocale>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  // The program reads files with the decimal separator its start-up settled on (the user's,
  // else the locale's); left empty, every number would look the locale up twice.
  static const QString separator = QLocale().decimalPoint();
  global::DecimalSeparator = separator;
  const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
  const params::ReadResult read = params::Read(input);
  if (!read.values) {
    if (read.message.isEmpty())
      __builtin_trap();
    return 0;
  }

  bool all_loaded = true;
  params::ParameterSet set;
  for (int i = params::kFirstLoadedRegister; i < ConfigRegisterCount; ++i) {
    all_loaded &= read.values->register_texts[size_t(i)].has_value();
    set.register_texts[size_t(i)] = read.values->register_texts[size_t(i)].value_or(QString());
  }
  for (int i = 0; i < params::kBitCount; ++i) {
    const std::optional<int>& bit = read.values->bit_values[size_t(i)];
    if (bit && (*bit < 0 || *bit > 2))
      __builtin_trap();
    all_loaded &= bit.has_value();
    set.bit_values[size_t(i)] = bit.value_or(0);
  }
  if (all_loaded != read.message.isEmpty())
    __builtin_trap();

  const params::ReadResult again = params::Read(params::Write(params::Header{}, set));
  if (!again.values)
    __builtin_trap();
  for (int i = params::kFirstLoadedRegister; i < ConfigRegisterCount; ++i)
    if (read.values->register_texts[size_t(i)] &&
        again.values->register_texts[size_t(i)] != read.values->register_texts[size_t(i)])
      __builtin_trap();
  for (int i = 0; i < params::kBitCount; ++i)
    if (read.values->bit_values[size_t(i)] && again.values->bit_values[size_t(i)] != read.values->bit_values[size_t(i)])
      __builtin_trap();
  return 0;
}
