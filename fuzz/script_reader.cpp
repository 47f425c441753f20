// The REMOTE job's script reader (line kinds, command length, pauses, read
// line by line as the job reads them) and the tally of the card's answers.
#include "channel/remote.h"
#include "chunks.h"

#include <cstdio>
#include <cstring>

namespace {

void readScript(const uint8_t *data, size_t size) {
  FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
  if (!file)
    return;
  char line[SCRIPT_LINE_SIZE];
  DWORD pause = 0;
  while (std::fgets(line, sizeof line, file)) {
    switch (scriptLineKind(line)) {
    case SCRIPT_COMMAND:
      if (scriptCommandLength(line) > std::strlen(line))
        __builtin_trap();
      break;
    case SCRIPT_PAUSE:
      pause = scriptPause(line, pause);
      break;
    default:
      break;
    }
  }
  std::fclose(file);
}

void tallyAnswers(const uint8_t *data, size_t size) {
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
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 0)
    readScript(data, size);
  tallyAnswers(data, size);
  return 0;
}
