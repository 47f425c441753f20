// The REMOTE job's script reader (line kinds, command length, pauses, read
// line by line as the job reads them) and the tally of the card's answers.
#include "channel/remote.h"
#include "chunks.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  DWORD pause = 0;
  fuzz::forEachLine<SCRIPT_LINE_SIZE>(data, size, [&](const char *line) {
    const ScriptLine kind = scriptLineKind(line);
    if (kind == SCRIPT_COMMAND && scriptCommandLength(line) > std::strlen(line))
      __builtin_trap();
    if (kind == SCRIPT_PAUSE)
      pause = scriptPause(line, pause);
    return true;
  });
  AnswerTally tally;
  answerTallyStart(&tally);
  fuzz::forEachRead(data, size, [&](const uint8_t *bytes, size_t length) {
    answerTallyNextAnswer(&tally);
    for (size_t k = 0; k < length; ++k)
      if (answerTallyFeed(&tally, bytes[k]) != ANSWER_PENDING)
        break;
  });
  if (tally.ack + tally.nack > tally.function)
    __builtin_trap();
  return 0;
}
