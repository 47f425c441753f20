#include "driver/jobs.h"

#include "boot/FDT.h"
#include "boot/microFiles.h"
#include "boot/microMode.h"
#include "channel/edid.h"
#include "channel/fpga.h"
#include "channel/gamma.h"
#include "channel/remote.h"
#include "driver/commandLine.h"
#include "driver/fullUpdate.h"
#include "isp/flash.h"
#include "isp/status.h"
#include "isp/verify.h"
#include "link/jobResult.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>

namespace {

// What a job asks of its file word.
enum class FileRule {
  NONE,        // no file word
  MICRO_FILES, // no file word; appMain.mot and the kernels are tested instead
  NAMED,       // a name with the job's ending, present
  DEVICE,      // the device file rule: "Device", 1, 5 or 7, ".bin", present
};

// How the entry function's result becomes the job's result.
enum class Ending {
  ENTRY_RESULT,       // the entry's result stands
  DROPPED_STEP_FAILS, // a device step the scan dropped for want of its driver
                      // fails the job, unless the entry refused its files
};

struct JobEntry {
  const char *word;
  FileRule fileRule;
  const char *fileEnding;  // NAMED: what the name must end in
  const char *badFileText; // NAMED: printed for a name without that ending
  bool needsEdidModel;     // the word counts only on models that accept an EDID
  int (*run)(const JobInput &input);
  Ending ending;
};

const JobEntry JOBS[JOB_NONE] = {
    {"FPGA", FileRule::NAMED, ".xsvf", "Bad fpga file\n", false,
     [](const JobInput &in) { return runFpgaJob(in.fileName); }, Ending::ENTRY_RESULT},
    {"VIPER", FileRule::DEVICE, nullptr, nullptr, false,
     [](const JobInput &in) { return runViperJob(in.device, in.fileName); }, Ending::ENTRY_RESULT},
    {"MICRO", FileRule::MICRO_FILES, nullptr, nullptr, false,
     [](const JobInput &) { return runMicroJob(); }, Ending::ENTRY_RESULT},
    {"EDID", FileRule::NAMED, ".bin", "Bad EDID file\n", true,
     [](const JobInput &in) { return runEdidJob(in.fileName); }, Ending::ENTRY_RESULT},
    {"ALL", FileRule::NONE, nullptr, nullptr, false,
     [](const JobInput &in) {
       return runAllJob(in.found.device1Present, in.found.device5Present, in.found.fpgaPresent,
                        in.found.edidPresent);
     },
     Ending::DROPPED_STEP_FAILS},
    {"REMOTE", FileRule::NAMED, ".txt", "Bad REMOTE file\n", false,
     [](const JobInput &in) { return runRemoteJob(in.fileName); }, Ending::ENTRY_RESULT},
    {"VERIFY", FileRule::DEVICE, nullptr, nullptr, false,
     [](const JobInput &in) { return runVerifyJob(in.fileName, in.device); }, Ending::ENTRY_RESULT},
    {"STATUS", FileRule::NONE, nullptr, nullptr, false,
     [](const JobInput &) { return runStatusJob(); }, Ending::ENTRY_RESULT},
    {"GAMMA", FileRule::NAMED, ".csv", "Bad GAMMA file\n", false,
     [](const JobInput &in) { return runGammaJob(in.fileName); }, Ending::ENTRY_RESULT},
};

const char DEVICE_PREFIX[] = "Device";
const size_t DEVICE_DIGIT_POS = 6;
const char DEVICE_ENDING[] = ".bin";

// Sizes of appMain.mot files that must never be written to a card.
const DWORD BAD_MICRO_SIZES[] = {570422, 570974, 510718, 510526, 511446, 511070};

bool isPresent(const char *name) { return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; }

bool endsWith(const char *name, const char *ending) {
  size_t n = std::strlen(name), e = std::strlen(ending);
  return n >= e && std::strcmp(name + n - e, ending) == 0;
}

// A file that must end in `ending` and be present; a missing one waits
// for the operator's key.
bool namedFileUsable(const char *fileName, const char *ending, const char *badMessage) {
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

// The size test of appMain.mot. False when the job must not go on.
bool microFileSizeAllowed() {
  HANDLE file = CreateFileA(MICRO_FILE, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::printf("File %s doesn't exist.\n", MICRO_FILE);
    return false;
  }
  DWORD size = GetFileSize(file, nullptr);
  CloseHandle(file);
  if (size == INVALID_FILE_SIZE)
    return true;
  for (DWORD bad : BAD_MICRO_SIZES)
    if (size == bad) {
      std::printf("Bad appMain.mot file. Exit.\n");
      return false;
    }
  return true;
}

} // namespace

Job jobOfWord(const char *jobWord) {
  for (unsigned short job = JOB_FPGA; job < JOB_NONE; ++job)
    if (std::strcmp(jobWord, JOBS[job].word) == 0)
      return static_cast<Job>(job);
  return JOB_NONE;
}

Job lookupJob(const char *jobWord, bool acceptsEdid) {
  Job job = jobOfWord(jobWord);
  if (job != JOB_NONE && JOBS[job].needsEdidModel && !acceptsEdid)
    job = JOB_NONE;
  if (job == JOB_NONE)
    printJobWordError(acceptsEdid);
  return job;
}

bool wordCountRunsJob(int argc, const char *jobWord) {
  if (argc >= 4)
    return true;
  const Job job = jobOfWord(jobWord);
  return argc == 3 && job != JOB_NONE && !jobTakesFile(job);
}

bool jobTakesFile(Job job) {
  const FileRule rule = JOBS[job].fileRule;
  return rule == FileRule::NAMED || rule == FileRule::DEVICE;
}

bool fileTest(Job job, const char *fileName, unsigned short *device) {
  const JobEntry &entry = JOBS[job];
  switch (entry.fileRule) {
  case FileRule::NAMED:
    return namedFileUsable(fileName, entry.fileEnding, entry.badFileText);
  case FileRule::DEVICE:
    return deviceFileUsable(fileName, device);
  case FileRule::MICRO_FILES:
    return microFileSizeAllowed() && microFilesUsable();
  case FileRule::NONE:
    break;
  }
  return true;
}

int runJob(Job job, const JobInput &input) {
  const JobEntry &entry = JOBS[job];
  const int result = entry.run(input);
  // A device dropped for want of its driver is a step that never ran; an
  // image refused before anything was sent stays a refusal.
  if (entry.ending == Ending::DROPPED_STEP_FAILS && input.found.driverMissing &&
      result != JOB_REFUSED)
    return -1;
  return result;
}
