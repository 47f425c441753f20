// The clock on POSIX systems: GetTickCount, Sleep and timeGetTime on the
// monotonic clock, and the waits of the serial port (clock.h).
//
// Time scale: when UPDATER_TIME_SCALE is set to a whole number k above 1,
// the tick counter runs k times faster than real time and every sleep and
// time-out lasts 1/k of its real length. The test suite uses it to run the
// long protocol waits (up to a minute) in a few seconds. Nothing else
// changes, and the Windows build has no such knob.
#include "clock.h"

#include "platform/platform.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace {

const char kTimeScaleVariable[] = "UPDATER_TIME_SCALE";

unsigned timeScale() {
  static const unsigned scale = [] {
    const char *text = std::getenv(kTimeScaleVariable);
    long value = text ? std::strtol(text, nullptr, 10) : 1;
    return value > 1 ? static_cast<unsigned>(value) : 1u;
  }();
  return scale;
}

} // namespace

int64_t nowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t realNs(uint64_t ms) { return static_cast<int64_t>(ms * 1000000u / timeScale()); }

DWORD GetTickCount() {
  return static_cast<DWORD>(static_cast<uint64_t>(nowNs()) / 1000000u * timeScale());
}

DWORD timeGetTime() { return static_cast<DWORD>(nowNs() / 1000000); }

void Sleep(DWORD ms) {
  int64_t left = realNs(ms);
  timespec ts{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}
