// The REMOTE job's script reader (line kinds, command length, pauses, read
// line by line as the job reads them) and the tally of the card's answers.
#include "channel/remote.h"
#include "chunks.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  DWORD pause = 0;
  fuzz::forEachLine<SCRIPT_LINE_SIZE>(data, size, [&](const char *line) {
    const ScriptLine kind = scriptLineKind(line);
    fuzz::require(kind != SCRIPT_COMMAND || scriptCommandLength(line) <= std::strlen(line));
    pause = kind == SCRIPT_PAUSE ? scriptPause(line, pause) : pause;
    return true;
  });
  AnswerTally tally;
  answerTallyStart(&tally);
  fuzz::forEachRead(data, size, [&](const uint8_t *bytes, size_t length) {
    answerTallyNextAnswer(&tally);
    for (size_t k = 0; k < length && answerTallyFeed(&tally, bytes[k]) == ANSWER_PENDING; ++k)
      continue;
  });
  fuzz::require(tally.ack + tally.nack <= tally.function);
  return 0;
}
