// The command line's words: upper-casing, the usage text and the job-word
// error. The job table itself is in driver/jobs.h.
#pragma once

// Copies `text` upper-cased into `data`, with its terminating zero. The
// caller provides room for the whole text.
void copyUpperCased(const char *text, char *data);

// "Error: Usage is" and its examples; the last names EDID on models that
// accept one, ALL on the others.
void printUsage(bool acceptsEdid);

// "Must be FPGA, VIPER, ...": the job-word error, which names EDID on models
// that accept one.
void printJobWordError(bool acceptsEdid);
