#include "link/recovery.h"

#include "link/notice.h"
#include "link/port.h"

#include <cstdio>
#include <cstring>

namespace {

const size_t STATE_SIZE = 512;   // the full update's clause names four steps
const size_t COMMAND_SIZE = 800; // the program, port, job and file words

// In the order of CardAdvice.
const char *const ADVICE_TEXTS[] = {
    "Run the job again",
    "Run the job again, which takes the boot-mode path",
    "Power the card off and on to leave it as it was, or run the job again",
};

struct CardNote {
  char command[COMMAND_SIZE]; // "" until a job names it
  char state[STATE_SIZE];     // "" while the card is unchanged
  CardAdvice advice;
  bool printed;
};

CardNote note;

// Appends a blank and `word`, in double quotes when it holds a blank, so
// that the command can be typed again as printed.
void appendWord(char *line, const char *word) {
  const size_t used = std::strlen(line);
  const char *quote = std::strchr(word, ' ') ? "\"" : "";
  std::snprintf(line + used, COMMAND_SIZE - used, " %s%s%s", quote, word, quote);
}

} // namespace

void noteRerunCommand(const char *jobWord, const char *fileName) {
  if (note.command[0] != '\0')
    return;
  std::strcpy(note.command, "updater");
  appendWord(note.command, thePort().name);
  appendWord(note.command, jobWord);
  if (fileName[0] != '\0')
    appendWord(note.command, fileName);
}

void noteCardChange(CardAdvice advice, const char *state) {
  std::snprintf(note.state, sizeof note.state, "%s", state);
  note.advice = advice;
}

void takeCardChange(char *state, size_t size) {
  std::snprintf(state, size, "%s", note.state);
  note.state[0] = '\0';
}

void printCardStateAfterFailure() {
  if (note.printed || note.state[0] == '\0')
    return;
  note.printed = true;
  notice("after this failure, %s. %s: %s\n", note.state, ADVICE_TEXTS[note.advice], note.command);
}
