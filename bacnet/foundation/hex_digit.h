// The value of one hexadecimal digit, for every reader of octets written as hex text (the
// API's octet strings, raw client calls, the broadcast distribution table file). Either case
// counts. No state.
#pragma once

// 0 to 15, or -1 when `c` is no hexadecimal digit.
constexpr int hex_digit(char c)
{
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}
