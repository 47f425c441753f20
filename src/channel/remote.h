// The command script of the REMOTE job: its line kinds and the tally of the
// card's answers.
#pragma once

#include "platform/platform.h"

#include <cstddef>

const size_t SCRIPT_LINE_SIZE = 254; // lines are read up to 253 characters

enum ScriptLine {
  SCRIPT_COMMAND,  // "#": sent to the card, the answer awaited
  SCRIPT_PAUSE,    // "&": a pause in milliseconds
  SCRIPT_MESSAGE,  // "@": the rest of the line printed
  SCRIPT_KEY_WAIT, // "$": the operator presses a key
  SCRIPT_IGNORED   // anything else
};

ScriptLine scriptLineKind(const char *line);

// How many characters of a command line go to the card: from the "#" up to
// its first CR or LF, or the end of the line.
size_t scriptCommandLength(const char *line);

// The pause of a "&" line. A line without a number keeps `previous`; a
// negative number is no pause.
DWORD scriptPause(const char *line, DWORD previous);

// The card's answers to the commands of one script, sorted by the byte
// after each "#": "A" acknowledged, "N" refused; either ends the answer.
struct AnswerTally {
  int function; // answers seen: every "#" received while an answer is awaited
  int ack;
  int nack;
  bool afterHash; // the last byte examined was a "#"
};

enum AnswerProgress { ANSWER_PENDING, ANSWER_ACK, ANSWER_NACK };

void answerTallyStart(AnswerTally *tally);
// Before each command's answer.
void answerTallyNextAnswer(AnswerTally *tally);
// One received byte of the answer.
AnswerProgress answerTallyFeed(AnswerTally *tally, BYTE b);

// The REMOTE job: plays a script of card commands. 0 when the card
// acknowledged every command, JOB_REFUSED for a file that does not open,
// else -1.
int runRemoteJob(const char *fileName);
