#include "channel/remote.h"

#include "channel/upload.h"

#include <climits>
#include <cstring>

namespace {
const char COMMAND_START = '#';
const char PAUSE_START = '&';
const char MESSAGE_START = '@';
const char KEY_WAIT_START = '$';
const BYTE ANSWER_START = '#';
const BYTE ACK_LETTER = 'A';
const BYTE NACK_LETTER = 'N';
} // namespace

ScriptLine scriptLineKind(const char *line) {
  switch (line[0]) {
  case COMMAND_START:
    return SCRIPT_COMMAND;
  case PAUSE_START:
    return SCRIPT_PAUSE;
  case MESSAGE_START:
    return SCRIPT_MESSAGE;
  case KEY_WAIT_START:
    return SCRIPT_KEY_WAIT;
  default:
    return SCRIPT_IGNORED;
  }
}

size_t scriptCommandLength(const char *line) { return std::strcspn(line, "\r\n"); }

DWORD scriptPause(const char *line, DWORD previous) {
  const char *p = line + 1;
  long value = 0;
  if (!scanDecimal(&p, &value))
    return previous;
  if (value < 0)
    return 0;
  return value > static_cast<long>(INT_MAX) ? static_cast<DWORD>(INT_MAX)
                                            : static_cast<DWORD>(value);
}

void answerTallyStart(AnswerTally *tally) {
  tally->function = 0;
  tally->ack = 0;
  tally->nack = 0;
  tally->afterHash = false;
}

void answerTallyNextAnswer(AnswerTally *tally) { tally->afterHash = false; }

AnswerProgress answerTallyFeed(AnswerTally *tally, BYTE b) {
  if (!tally->afterHash) {
    if (b == ANSWER_START) {
      ++tally->function;
      tally->afterHash = true;
    }
    return ANSWER_PENDING;
  }
  tally->afterHash = false;
  if (b == ACK_LETTER) {
    ++tally->ack;
    return ANSWER_ACK;
  }
  if (b == NACK_LETTER) {
    ++tally->nack;
    return ANSWER_NACK;
  }
  return ANSWER_PENDING;
}
