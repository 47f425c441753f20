// The Windows program's clock: Sleep(1) and a 1 ms read time-out last a
// whole clock tick (about 15.6 ms) on a default system. The run raises the
// timer resolution to 1 ms from its start to its exit.
#include "platform/platform.h"

namespace {

const UINT TIMER_RESOLUTION_MS = 1;

struct TimerResolution {
  TimerResolution() { timeBeginPeriod(TIMER_RESOLUTION_MS); }
  ~TimerResolution() { timeEndPeriod(TIMER_RESOLUTION_MS); }
} timerResolution;

} // namespace
