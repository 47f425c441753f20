// The REMOTE job: plays a script of card commands, pauses, messages and key
// waits, and tallies the card's answers.
#include "channel/remote.h"

#include "channel/upload.h"
#include "link/jobResult.h"
#include "link/notice.h"
#include "link/port.h"
#include "link/recovery.h"
#include "link/updateFile.h"

#include <cstdio>

namespace {

const BYTE reset = '\r'; // sent alone before each command, and after it
const DWORD SETTLE_MS = 10;
const DWORD RESET_ANSWER_MS = 1000; // one byte of the answer to the lone CR
const DWORD COMMAND_ANSWER_MS = 4000;
const int KEY_PROMPT_WIDTH = 53; // blanks that clear "Press a key to continue!"
const size_t STATE_SIZE = 64;

// Where a command stands in the script, for the messages that name it.
struct ScriptPlace {
  const char *fileName;
  int line;
};

// Takes away the first byte the card sends after the lone CR, if one
// comes within the second.
void takeResetAnswer() {
  const DWORD deadline = GetTickCount() + RESET_ANSWER_MS;
  BYTE b = 0;
  DWORD n = 0;
  while (!(portRead(&b, 1, n) && n == 1) && !pastDeadline(deadline)) {
  }
}

// Reads the answer to one command into the tally: ANSWER_ACK, ANSWER_NACK,
// or ANSWER_PENDING when the card gave no "#A" or "#N" in time.
AnswerProgress readAnswer(AnswerTally *tally) {
  answerTallyNextAnswer(tally);
  const DWORD deadline = GetTickCount() + COMMAND_ANSWER_MS;
  for (;;) {
    BYTE b = 0;
    DWORD n = 0;
    const bool got = portRead(&b, 1, n) && n == 1;
    if (pastDeadline(deadline))
      return ANSWER_PENDING;
    if (!got)
      continue;
    const AnswerProgress answer = answerTallyFeed(tally, b);
    if (answer != ANSWER_PENDING)
      return answer;
  }
}

// Names on standard error a command that the card did not acknowledge.
void reportCommand(const ScriptPlace &place, const char *what, const char *CommandLine) {
  notice("%s, line %d: %s %.*s\n", place.fileName, place.line, what,
         static_cast<int>(scriptCommandLength(CommandLine)), CommandLine);
}

// The card applies each command it acknowledges.
void noteCommandsTaken(int taken) {
  char state[STATE_SIZE];
  std::snprintf(state, sizeof state, "%d of the script's commands took effect on the card", taken);
  noteCardChange(ADVICE_RUN_AGAIN, state);
}

// The console line for the answer; an acknowledged command is noted as
// taken, a refused or unanswered one named on standard error.
void reportAnswer(AnswerProgress answer, const ScriptPlace &place, const char *CommandLine,
                  const AnswerTally &tally) {
  if (answer == ANSWER_ACK) {
    std::printf("\nACK received...\n");
    noteCommandsTaken(tally.ack);
    return;
  }
  std::printf("\nNACK received...\n");
  reportCommand(place, answer == ANSWER_NACK ? "the card refused" : "no answer to", CommandLine);
}

// One command line: lone CR, the command one byte per write, CR, answer.
// False when a command byte could not be written.
bool playCommand(const char *CommandLine, const ScriptPlace &place, AnswerTally *tally) {
  DWORD sent = 0;
  portWrite(&reset, 1, sent);
  Sleep(SETTLE_MS);
  takeResetAnswer();
  Sleep(SETTLE_MS);
  const size_t length = scriptCommandLength(CommandLine);
  for (size_t k = 0; k < length; ++k) {
    if (!portWrite(&CommandLine[k], 1, sent))
      return false;
  }
  portWrite(&reset, 1, sent);
  Sleep(SETTLE_MS);
  reportAnswer(readAnswer(tally), place, CommandLine, *tally);
  return true;
}

void keyWait() {
  std::printf("Press a key to continue!");
  readKey();
  std::printf("%c%*s", 13, KEY_PROMPT_WIDTH, "");
}

} // namespace

int runRemoteJob(const char *fileName) {
  FILE *file = openUpdateFile(fileName);
  if (!file) {
    std::printf("/nFile load error\n");
    return JOB_REFUSED;
  }
  noteRerunCommand("REMOTE", fileName);
  std::printf("\n->Remote Function...Now executing the function in the "
              "remote.txt file...\n");
  char CommandLine[SCRIPT_LINE_SIZE];
  AnswerTally tally;
  answerTallyStart(&tally);
  DWORD wait = 0;
  int played = 0;
  ScriptPlace place = {fileName, 1};
  for (; std::fgets(CommandLine, sizeof CommandLine, file);
       place.line = nextLineNumber(place.line, CommandLine)) {
    switch (scriptLineKind(CommandLine)) {
    case SCRIPT_COMMAND:
      if (!playCommand(CommandLine, place, &tally)) {
        std::fclose(file);
        return -1;
      }
      ++played;
      break;
    case SCRIPT_PAUSE:
      wait = scriptPause(CommandLine, wait);
      Sleep(wait);
      break;
    case SCRIPT_MESSAGE:
      std::printf("\n%s", CommandLine + 1);
      break;
    case SCRIPT_KEY_WAIT:
      keyWait();
      break;
    case SCRIPT_IGNORED:
      break;
    }
  }
  std::printf("\n->ACK : %d / %d  ", tally.ack, tally.function);
  std::printf("\n->NACK : %d / %d  ", tally.nack, tally.function);
  std::printf("\nEnd of remote.txt");
  std::fclose(file);
  return tally.ack == played ? 0 : -1;
}
