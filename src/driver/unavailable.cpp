// Jobs that this build does not carry yet. Each says so in one line.
#include "driver/jobs.h"

#include <cstdio>

namespace {
int unavailable(const char *job) {
  std::printf("\nThe %s job is not available in this build.\n", job);
  return -1;
}
} // namespace

int boot_on = 0;

void ProgramMicro() { unavailable("MICRO"); }
int FDT(HANDLE, DCB, COMMTIMEOUTS, const char *) { return unavailable("MICRO"); }
bool microFilesUsable() { return true; }
