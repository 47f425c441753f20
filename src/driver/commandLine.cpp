#include "driver/commandLine.h"

#include "platform/platform.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

const char *const JOB_WORDS[] = {"FPGA",   "VIPER",  "MICRO",
                                 "EDID",   "ALL",    "REMOTE",
                                 "VERIFY", "STATUS", "GAMMA"};

const char DEVICE_PREFIX[] = "Device";
const size_t DEVICE_DIGIT_POS = 6;
const char DEVICE_ENDING[] = ".bin";

bool isPresent(const char *name) {
  return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

bool endsWith(const char *name, const char *ending) {
  size_t n = std::strlen(name), e = std::strlen(ending);
  return n >= e && std::strcmp(name + n - e, ending) == 0;
}

// A file that must end in `ending` and be present; a missing one waits
// for the operator's key.
bool namedFileUsable(const char *fileName, const char *ending,
                     const char *badMessage) {
  if (!endsWith(fileName, ending)) {
    std::printf("%s", badMessage);
    return false;
  }
  if (!isPresent(fileName)) {
    std::printf("File %s doesn't exist.\n", fileName);
    systemPause();
    return false;
  }
  return true;
}

// "Device", one digit (1, 5 or 7), ".bin"; anything after is not tested.
bool deviceFileUsable(const char *fileName, unsigned short *device) {
  if (std::strncmp(fileName, DEVICE_PREFIX, DEVICE_DIGIT_POS) != 0) {
    std::printf("Bad device file. (Device 1 or 5 only)\n");
    return false;
  }
  const char digit = fileName[DEVICE_DIGIT_POS];
  if (digit != '1' && digit != '5' && digit != '7') {
    std::printf("Bad device file. (Device 1,5  or 7 only)\n");
    return false;
  }
  *device = static_cast<unsigned short>(digit - '0');
  if (std::strncmp(fileName + DEVICE_DIGIT_POS + 1, DEVICE_ENDING, 4) != 0) {
    std::printf("Bad device file. (Device 1, 5 or 7 only)\n");
    return false;
  }
  if (!isPresent(fileName)) {
    std::printf("File %s doesn't exist.\n", fileName);
    return false;
  }
  return true;
}

} // namespace

void caseSensitive(const char *text, char *data) {
  while (*text) {
    *data++ = static_cast<char>(std::toupper(static_cast<unsigned char>(*text)));
    ++text;
  }
  *data = '\0';
}

bool wordCountRunsJob(int argc, const char *jobWord) {
  if (argc >= 4)
    return true;
  return argc == 3 && (std::strcmp(jobWord, "MICRO") == 0 ||
                       std::strcmp(jobWord, "ALL") == 0 ||
                       std::strcmp(jobWord, "STATUS") == 0);
}

void printUsage(int DVITOSDI) {
  std::printf("Error: Usage is\n");
  std::printf("  updater [COMXX] [FPGA/VIPER] Filename.xxx\n");
  std::printf("e.g. updater COM1 FPGA fpga.xsvf\n");
  std::printf("e.g. updater COM1 VIPER Device5.bin\n");
  std::printf("e.g. updater COM1 MICRO\n");
  if (DVITOSDI)
    std::printf("e.g. updater COM1 EDID\n");
  else
    std::printf("e.g. updater COM1 ALL\n");
}

unsigned short jobOfWord(const char *jobWord) {
  for (unsigned short job = JOB_FPGA; job < JOB_NONE; ++job)
    if (std::strcmp(jobWord, JOB_WORDS[job]) == 0)
      return job;
  return JOB_NONE;
}

void printJobWordError(int DVITOSDI) {
  if (DVITOSDI)
    std::printf("Must be FPGA, VIPER, MICRO, EDID, CMD , GAMMA or ALL\n");
  else
    std::printf("Must be FPGA, VIPER, MICRO, CMD, GAMMA or ALL\n");
}

unsigned short lookupJob(const char *jobWord, int DVITOSDI) {
  unsigned short job = jobOfWord(jobWord);
  if (job == JOB_EDID && !DVITOSDI)
    job = JOB_NONE;
  if (job == JOB_NONE)
    printJobWordError(DVITOSDI);
  return job;
}

bool jobTakesFile(unsigned short update) {
  return update != JOB_MICRO && update != JOB_ALL && update != JOB_STATUS;
}

bool fileTest(unsigned short update, const char *fileName,
              unsigned short *device) {
  switch (update) {
  case JOB_FPGA:
    return namedFileUsable(fileName, ".xsvf", "Bad fpga file\n");
  case JOB_EDID:
    return namedFileUsable(fileName, ".bin", "Bad EDID file\n");
  case JOB_GAMMA:
    return namedFileUsable(fileName, ".csv", "Bad GAMMA file\n");
  case JOB_REMOTE:
    return namedFileUsable(fileName, ".txt", "Bad REMOTE file\n");
  case JOB_VIPER:
  case JOB_VERIFY:
    return deviceFileUsable(fileName, device);
  default:
    return true;
  }
}
