#include "link/notice.h"

#include <cstdarg>
#include <cstdio>

void notice(const char *format, ...) {
  std::fflush(stdout);
  // Console texts mostly end without a line feed: a notice starts a line
  // of its own.
  std::fputs("\nupdater: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}
