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

int ProgramViper(int, const char *) { return unavailable("VIPER"); }
void ProgramMicro() { unavailable("MICRO"); }
void ProgramALL(unsigned char, unsigned char, unsigned char, unsigned char) {
  unavailable("ALL");
}
int verify(const char *, int) { return unavailable("VERIFY"); }
int vxpStatus() { return unavailable("STATUS"); }
int FDT(HANDLE, DCB, COMMTIMEOUTS, const char *) { return unavailable("MICRO"); }
bool microFilesUsable() { return true; }
