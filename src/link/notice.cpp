#include "link/notice.h"

#include <cstdarg>
#include <cstdio>

// C-style variadic on purpose: the printf format attribute in the header
// lets the compiler check every call's arguments against its format.
void notice(const char *format, ...) { // NOLINT(cert-dcl50-cpp)
  std::fflush(stdout);
  // Console texts mostly end without a line feed: a notice starts a line
  // of its own.
  std::fputs("\nupdater: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}
