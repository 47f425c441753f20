// The check of the MICRO job's whole file set, made before the first byte
// goes to the card: loading the micro kernel erases the micro's flash, so a
// set that cannot complete the run must be refused beforehand.
#pragma once

#include <cstdint>

// What the check knows of appMain.mot after the records seen so far.
struct MotCheck {
  enum Stage { HEAD, BODY, AFTER_STOP };
  Stage stage = HEAD;
  unsigned headBytes = 0; // S3 data gathered for flash 0x000-0x3FF
  uint32_t bodyBytes = 0; // S3 data before the stop record
};

// Checks one record word of appMain.mot as the readers will see it
// (`tooLong`: the word did not fit a record line). Returns null when it is
// fine, else the reason it is refused.
const char *checkMotRecord(MotCheck &check, const char *word, bool tooLong);

// After the last record: null when the file completes the run, else why not.
const char *checkMotEnd(const MotCheck &check);

// Checks appMain.mot record by record and the three kernel files (present,
// 1 to 4000 bytes). Prints the file, the line and the reason of the first
// fault and returns false for a set that must not be used.
bool microFilesUsable();
