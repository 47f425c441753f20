// The text answer (into DevType's 60-byte buffer, then the version taken
// from it) and the "=M" acknowledgement.
#include "channel/command.h"
#include "chunks.h"
#include "driver/identify.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<char> answer(60); // DevType's answer buffer, exactly
  CmdReceiver receiver;
  cmdReceiverStart(&receiver);
  bool done = false;
  fuzz::forEachRead(data, size, [&](const uint8_t *bytes, size_t length) {
    bool full = false;
    done = done || cmdReceiverFeed(&receiver, answer.data(), bytes, static_cast<DWORD>(length),
                                   &full) == CMD_COMPLETE || full;
  });
  answer.back() = '\0';
  parseVersion(answer.data());
  if (std::strlen(RDVersion) >= sizeof RDVersion)
    __builtin_trap();

  MicroReceiver micro;
  microReceiverStart(&micro);
  int result = 0;
  fuzz::forEachRead(data, size, [&](const uint8_t *bytes, size_t length) {
    if (result == 0)
      result = microReceiverFeed(&micro, bytes, static_cast<DWORD>(length));
  });
  if (result != 0 && result != MICRO_ACCEPTED && result != MICRO_REFUSED && result != MICRO_INVALID)
    __builtin_trap();
  return 0;
}
