#include "boot/util.h"

namespace {
const int DIGITS_PER_BYTE = 2;

// The value of one upper-case hex digit, or -1 for any other character.
int hexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}
} // namespace

void hexByte(unsigned char *value, const char *str) {
  unsigned result = 0;
  for (int n = 0; n < DIGITS_PER_BYTE; ++n) {
    const int digit = hexDigit(str[n]);
    if (digit < 0)
      break;
    result = result * 16 + static_cast<unsigned>(digit);
  }
  *value = static_cast<unsigned char>(result);
}
