// The text answer (into DevType's 60-byte buffer, then the version taken
// from it) and the "=M" acknowledgement, fed the same reads.
#include "channel/command.h"
#include "chunks.h"
#include "driver/identify.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<char> answer(60); // DevType's answer buffer, exactly
  CmdReceiver receiver;
  cmdReceiverStart(&receiver);
  MicroReceiver micro;
  microReceiverStart(&micro);
  bool done = false, full = false;
  int verdict = 0;
  fuzz::forEachRead(data, size, [&](const uint8_t *bytes, size_t length) {
    done = done || full ||
           cmdReceiverFeed(&receiver, answer.data(), bytes, length, &full) == CMD_COMPLETE;
    verdict = verdict ? verdict : microReceiverFeed(&micro, bytes, length);
  });
  answer.back() = '\0';
  parseVersion(answer.data());
  fuzz::require(std::strlen(RDVersion) < sizeof RDVersion);
  fuzz::require(verdict == 0 || verdict == MICRO_ACCEPTED || verdict == MICRO_REFUSED ||
                verdict == MICRO_INVALID);
  return 0;
}
