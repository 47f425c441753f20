// The job table: per job its word, its file rule, whether it needs a model
// that accepts an EDID, its entry function and its ending. The word lookup,
// the word-count rule, the file tests and the dispatch all read it.
#pragma once

#include "driver/scan.h"

// The jobs in the order their words are looked up; the index of the table.
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

// What the entry functions take: the file word, the device number the
// device file rule read from it, and what the full update's scan found.
struct JobInput {
  const char *fileName;
  unsigned short device;
  const UpdateSet &found;
};

// The job code of an upper-cased job word, any of the nine, or JOB_NONE.
Job jobOfWord(const char *jobWord);

// The job code of an upper-cased job word, or JOB_NONE after printing the
// job-word error. EDID counts only on models that accept one.
Job lookupJob(const char *jobWord, bool acceptsEdid);

// True when the job word goes on to the job table with `argc` words: four
// words run any job, three a job without a file word.
bool wordCountRunsJob(int argc, const char *jobWord);

// False for the jobs whose fourth word is ignored (MICRO, ALL, STATUS).
bool jobTakesFile(Job job);

// The job's file rule: the update file's name rule and presence, or for
// MICRO its fixed files; prints what is wrong. For VIPER and VERIFY
// `device` receives the device number.
bool fileTest(Job job, const char *fileName, unsigned short *device);

// Runs the job's entry function once and judges its result by the job's
// ending: 0 when the job reached its success ending, JOB_REFUSED when its
// file was refused before anything was sent, -1 otherwise.
int runJob(Job job, const JobInput &input);
