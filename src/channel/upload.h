// What the upload jobs (FPGA, EDID, gamma table, command script) share: the
// 8-bit sum, the drain of the card's waiting input, waits for single answer
// bytes against a deadline, the ending of the acknowledged uploads (EDID,
// gamma table), and the decimal reader of their text files.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdio>

// The acknowledged byte transfer: "." after each unit of data, then "~" and
// "S" (programmed) or "E" (failed) after the sum byte.
const BYTE UPLOAD_ACK = '.';
const BYTE UPLOAD_END = '~';
const BYTE UPLOAD_SUCCESS = 'S';
const BYTE UPLOAD_FAILURE = 'E';

// Adds `count` bytes to `sum`, wrapping modulo 256; nothing is complemented.
BYTE byteSum(BYTE sum, const BYTE *data, size_t count);

// Reads the card's waiting input and throws it away for as
// long as reads deliver bytes. False when bytes are still arriving once
// `deadline` has passed.
bool drainUntil(DWORD deadline);

// Reads single bytes until one of the characters in `wanted` arrives (the
// others are thrown away) and stores it in `*got`. False when `deadline`
// passes first. Only bytes actually received count.
bool waitForOneOf(const char *wanted, DWORD deadline, BYTE *got);

// How far an acknowledged transfer has gone, for the advice after a failure.
enum UploadStage {
  UPLOAD_STARTED,     // the start command went, no data yet
  UPLOAD_PARTLY_SENT, // data went
  UPLOAD_SENT_WHOLE,  // all data and the sum went, the verdict awaited
};

// Notes what the card holds of `what` ("EDID", "gamma table") at `stage`.
void noteUploadStage(const char *what, UploadStage stage);

// How an upload job came out: the card's verdict ("S" or "E"), or 0 when
// none came, and then whether the file was refused before anything was sent
// and whether the card was left waiting for more of the upload.
struct UploadOutcome {
  BYTE verdict;
  bool refused;
  bool leftOpen;
};

// What an upload job's ending shows besides the lines every upload shows.
struct UploadEnding {
  bool timed; // after a verdict: the total time since `begin`
  DWORD begin;
  const char *noVerdict; // without one: this and a line end first, unless null
};

// Closes `file` when it is open and ends the job. After a verdict: "Sucess"
// or "Failed", then a blank line; 0 for "S", -1 for "E". Without one:
// "Press any key to continue" and a key; JOB_REFUSED, JOB_LEFT_OPEN or -1.
int endUploadJob(FILE *file, const UploadOutcome &outcome, const UploadEnding &ending);

// The number of the file's line after a piece that a line reader (fgets)
// took from line `line`: the next one when the piece ended the line, else
// the same (a line longer than the reader's buffer comes in pieces).
int nextLineNumber(int line, const char *piece);

// Reads a decimal integer as the "%d" conversion does: blanks skipped, an
// optional sign, then digits. On success stores the value (held at
// LONG_MAX or LONG_MIN when it does not fit) in `*value`, moves `*text`
// past the number and returns true; otherwise leaves both alone.
bool scanDecimal(const char **text, long *value);
