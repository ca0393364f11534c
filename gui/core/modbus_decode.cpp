#include "gui/core/modbus_decode.h"

#include "gui/core/register_rows.h"

namespace modbus {
namespace {

// Value of the hex digits in text from the 0-based position, at most `width` of them.
int digits_value(const QString& text, qsizetype position, int width)
{
  int value = 0;
  for (qsizetype i = position; i < position + width && i < text.size(); ++i) {
    const ushort c = text[i].unicode();
    int d = 0;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    value = value * 16 + d;
  }
  return value;
}

qsizetype register_position(int n) { return 6 + 4 * qsizetype(n); }

}  // namespace

int answer_register_unsigned(const QString& answer_hex, int n)
{
  return digits_value(answer_hex, register_position(n), 4);
}

int answer_register(const QString& answer_hex, int n)
{
  const int value = answer_register_unsigned(answer_hex, n);
  // Only four digits make a sign; fewer are what they say.
  const bool full = answer_hex.size() >= register_position(n) + 4;
  return full && value >= 0x8000 ? value - 0x10000 : value;
}

int answer_byte(const QString& answer_hex, int m) { return digits_value(answer_hex, 6 + 2 * qsizetype(m), 2); }

std::vector<RegisterValue> config_block(const QString& answer_hex, int start)
{
  std::vector<RegisterValue> values;
  values.reserve(kConfigBlockSize);
  for (int n = 0; n < kConfigBlockSize; ++n) {
    const int r = start + n;
    if (r >= ConfigRegisterCount || r < 0)
      break;
    double v = answer_register(answer_hex, n);
    if (r >= 34 && r <= 42)
      v /= 10;
    values.push_back({r, v});
  }
  return values;
}

std::array<double, 17> output_registers(const QString& answer_hex)
{
  std::array<double, 17> values{};
  for (int n = 0; n < 17; ++n) {
    if (n <= 1)
      values[size_t(n)] = answer_register_unsigned(answer_hex, n);
    else if (n <= 6)
      values[size_t(n)] = answer_register(answer_hex, n) / 10.0;
    else
      values[size_t(n)] = answer_register(answer_hex, n);
  }
  return values;
}

bool input_in_tenths(int index)
{
  switch (index) {
  case 7: case 8: case 9: case 12: case 13: case 14: case 15: case 20: case 21:
    return true;
  default:
    return false;
  }
}

std::vector<RegisterValue> input_registers(const QString& answer_hex)
{
  std::vector<RegisterValue> values;
  values.reserve(21);
  for (int n = 0; n <= 20; ++n) {
    const int i = n + 7;
    double v = answer_register(answer_hex, n);
    if (input_in_tenths(i))
      v /= 10;
    values.push_back({i, v});
  }
  return values;
}

std::vector<int> coil_bits(const QString& answer_hex, int count)
{
  std::vector<int> bits(size_t(count > 0 ? count : 0), 0);
  int byte = 0;
  for (int k = 0; k < count; ++k) {
    if (k % 8 == 0)
      byte = answer_byte(answer_hex, k / 8);
    bits[size_t(k)] = (byte >> (k % 8)) & 1;
  }
  return bits;
}

std::array<bool, 12> button_indicators(int64_t output_register0)
{
  std::array<bool, 12> lit{};
  int64_t w = output_register0 - 0xF000;
  for (int j = 0; j < 12; ++j) {
    const int64_t weight = int64_t(1) << (11 - j);
    if (w >= weight) {
      lit[size_t(j)] = true;
      w -= weight;
    }
  }
  return lit;
}

}  // namespace modbus
