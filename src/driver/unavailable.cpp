// Jobs that this build does not carry yet. Each says so in one line.
#include "driver/jobs.h"

#include <cstdio>

namespace {
int unavailable(const char *job) {
  std::printf("\nThe %s job is not available in this build.\n", job);
  return -1;
}
} // namespace

int ProgramFPGA(const char *) { return unavailable("FPGA"); }
int ProgramEDID(const char *) { return unavailable("EDID"); }
void ProgramALL(unsigned char, unsigned char, unsigned char, unsigned char) {
  unavailable("ALL");
}
int Remote(const char *) { return unavailable("REMOTE"); }
int ProgramGamma(const char *) { return unavailable("GAMMA"); }
