#include "channel/upload.h"

#include "link/jobResult.h"
#include "link/port.h"
#include "link/recovery.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {
// The drain reads this much at a time.
const DWORD DRAIN_READ_SIZE = 2048;
const size_t STATE_SIZE = 96;

// What the card holds at each UploadStage, in its order: the words before
// and after the upload's name.
const char *const STAGE_STATES[][2] = {
    {"the card keeps its previous ", ""},
    {"the ", " is partly written"},
    {"the ", " went whole but the card did not confirm it"},
};
} // namespace

BYTE byteSum(BYTE sum, const BYTE *data, size_t count) {
  for (size_t k = 0; k < count; ++k)
    sum = static_cast<BYTE>(sum + data[k]);
  return sum;
}

bool drainUntil(DWORD deadline) {
  BYTE scratch[DRAIN_READ_SIZE];
  for (;;) {
    DWORD got = 0;
    if (!portRead(scratch, DRAIN_READ_SIZE, got) || got == 0)
      return true;
    if (pastDeadline(deadline))
      return false;
  }
}

bool waitForOneOf(const char *wanted, DWORD deadline, BYTE *got) {
  BYTE b = 0;
  for (;;) {
    DWORD n = 0;
    if (portRead(&b, 1, n) && n == 1 && b != '\0' && std::strchr(wanted, b) != nullptr) {
      *got = b;
      return true;
    }
    if (pastDeadline(deadline))
      return false;
  }
}

void noteUploadStage(const char *what, UploadStage stage) {
  char state[STATE_SIZE];
  std::snprintf(state, sizeof state, "%s%s%s", STAGE_STATES[stage][0], what,
                STAGE_STATES[stage][1]);
  noteCardChange(ADVICE_RUN_AGAIN, state);
}

int endUploadJob(FILE *file, const UploadOutcome &outcome, const UploadEnding &ending) {
  if (file)
    std::fclose(file);
  if (outcome.verdict != 0) {
    std::printf(outcome.verdict == UPLOAD_SUCCESS ? "Sucess\n" : "Failed\n");
    if (ending.timed)
      printTime(ending.begin, 1);
    std::printf("\n");
    return outcome.verdict == UPLOAD_SUCCESS ? 0 : -1;
  }
  if (ending.noVerdict)
    std::printf("%s\n", ending.noVerdict);
  std::printf("\nPress any key to continue\n");
  readKey();
  return outcome.refused ? JOB_REFUSED : outcome.leftOpen ? JOB_LEFT_OPEN : -1;
}

int nextLineNumber(int line, const char *piece) {
  // A file of billions of lines stops counting rather than overflow.
  return std::strchr(piece, '\n') && line < INT_MAX ? line + 1 : line;
}

bool scanDecimal(const char **text, long *value) {
  const char *p = *text;
  while (std::isspace(static_cast<unsigned char>(*p)))
    ++p;
  bool negative = false;
  if (*p == '+' || *p == '-')
    negative = *p++ == '-';
  if (!std::isdigit(static_cast<unsigned char>(*p)))
    return false;
  long v = 0;
  for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
    const int digit = *p - '0';
    if (v <= (LONG_MAX - digit) / 10)
      v = v * 10 + digit;
    else
      v = LONG_MAX;
  }
  *value = negative ? (v == LONG_MAX ? LONG_MIN : -v) : v;
  *text = p;
  return true;
}
