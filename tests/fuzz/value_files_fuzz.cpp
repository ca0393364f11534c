// Arbitrary value files through the configuration program's loader: the five files come from
// the input (a length octet, then that many octets, for files 1 to 5; a length of 255 means
// the file is missing). Every loaded value lies within what 16 bits can show, every bit is 0
// or 1, and the entries a short or missing file does not hold keep their values. The files'
// contents go to the loader as they would come from the disk: reading them is Qt's.
#include "gui/core/program_state.h"
#include "gui/core/register_image.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

constexpr double kUntouched = 12345.5;
constexpr uint8_t kMissing = 255;

bool shown_by_16_bits(double v) { return std::isfinite(v) && std::fabs(v) <= 65535; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size == 0)
    return 0;
  const bool conf = data[0] & 1, reg = data[0] & 2;
  size_t at = 1;
  global::ResultFiles files;
  qsizetype lengths[6] = {};
  for (int n = 1; n <= 5; ++n) {
    uint8_t length = at < size ? data[at++] : kMissing;
    lengths[n] = -1;
    if (length == kMissing)
      continue;
    size_t take = std::min<size_t>(length, size - at);
    // In place: the file ends where the input's octets end, as the sanitizer sees it.
    files[size_t(n)] = QByteArray::fromRawData(reinterpret_cast<const char*>(data + at), qsizetype(take));
    lengths[n] = qsizetype(take);
    at += take;
  }

  global::ConfigRegisters.fill(kUntouched);
  global::InputRegisters.fill(kUntouched);
  global::OutputRegisters.fill(QStringLiteral("x"));
  global::ConfigBits.fill(7);
  global::InputBits.fill(7);
  global::TakeResultFiles(files, conf, reg, nullptr);

  auto held = [&](int n, size_t index) { return lengths[n] >= 0 && qsizetype(index * 2 + 1) < lengths[n]; };
  for (size_t i = 0; i < global::ConfigRegisters.size(); ++i) {
    double v = global::ConfigRegisters[i];
    if (conf && held(1, i) ? !shown_by_16_bits(v) : v != kUntouched)
      __builtin_trap();
  }
  for (size_t i = 0; i < global::OutputRegisters.size(); ++i) {
    const QString& t = global::OutputRegisters[i];
    if ((conf || reg) && held(2, i) ? !shown_by_16_bits(global::TextNumber(t)) : t != QStringLiteral("x"))
      __builtin_trap();
  }
  for (size_t i = 0; i < global::InputRegisters.size(); ++i) {
    double v = global::InputRegisters[i];
    // A clock value whose hex digits are no decimal number is skipped and keeps its value.
    if (reg && held(3, i) ? !(shown_by_16_bits(v) || v == kUntouched) : v != kUntouched)
      __builtin_trap();
  }
  auto bit_held = [&](bool loaded, int n, size_t bit) { return loaded && lengths[n] >= 0 && qsizetype(bit / 8) < lengths[n]; };
  for (size_t b = 0; b < global::ConfigBits.size(); ++b)
    if (bit_held(conf, 4, b) ? global::ConfigBits[b] > 1 || global::ConfigBits[b] < 0 : global::ConfigBits[b] != 7)
      __builtin_trap();
  for (size_t b = 0; b < global::InputBits.size(); ++b)
    if (bit_held(reg, 5, b) ? global::InputBits[b] > 1 || global::InputBits[b] < 0 : global::InputBits[b] != 7)
      __builtin_trap();
  // The texts the loader made go within the input: libFuzzer runs an input that ends with more
  // allocations than it began with a second time, looking for a leak.
  global::OutputRegisters.fill(QStringLiteral("x"));
  return 0;
}
