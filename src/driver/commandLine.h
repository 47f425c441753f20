// The command line's words: upper-casing, the job table, the usage text and
// the update file's name rules.
#pragma once

#include <cstddef>

enum Job : unsigned short {
  JOB_FPGA,
  JOB_VIPER,
  JOB_MICRO,
  JOB_EDID,
  JOB_ALL,
  JOB_REMOTE,
  JOB_VERIFY,
  JOB_STATUS,
  JOB_GAMMA,
  JOB_NONE
};

// Copies `text` upper-cased into `data`, with its terminating zero. The
// caller provides room for the whole text.
void caseSensitive(const char *text, char *data);

// True when the job word goes on to the job table with `argc` words.
bool wordCountRunsJob(int argc, const char *jobWord);

void printUsage(int DVITOSDI);

// The job code of an upper-cased job word, any of the nine, or JOB_NONE.
unsigned short jobOfWord(const char *jobWord);

// "Must be FPGA, VIPER, ...": the job-word error, which names EDID on models
// that accept one.
void printJobWordError(int DVITOSDI);

// The job code of an upper-cased job word, or JOB_NONE after printing the
// job-word error. EDID counts only on models that accept one.
unsigned short lookupJob(const char *jobWord, int DVITOSDI);

// False for the jobs whose fourth word is ignored (MICRO, ALL, STATUS).
bool jobTakesFile(unsigned short update);

// The update file's name rule and presence for `update`; prints what is
// wrong. For VIPER and VERIFY `device` receives the device number.
bool fileTest(unsigned short update, const char *fileName,
              unsigned short *device);
