// The card command channel's readers: the text answer (into DevType's
// 60-byte answer buffer, then the version and model taken from it) and the
// "=M" acknowledgement.
#include "channel/command.h"
#include "chunks.h"
#include "driver/identify.h"

#include <cstring>
#include <memory>

namespace {

const int ANSWER_SIZE = 60; // DevType's answer buffer

void textAnswer(const uint8_t *data, size_t size) {
  std::unique_ptr<char[]> answer(new char[ANSWER_SIZE]);
  std::memset(answer.get(), 0, ANSWER_SIZE);
  CmdReceiver receiver;
  cmdReceiverStart(&receiver);
  bool done = false;
  fuzz::forEachRead(data, size, [&](const uint8_t *bytes, size_t length) {
    if (done)
      return;
    bool full = false;
    if (cmdReceiverFeed(&receiver, answer.get(), bytes,
                        static_cast<DWORD>(length), &full) == CMD_COMPLETE ||
        full)
      done = true;
  });
  answer[ANSWER_SIZE - 1] = '\0';
  parseVersion(answer.get());
  if (std::strlen(RDVersion) >= sizeof RDVersion)
    __builtin_trap();
}

void acknowledgement(const uint8_t *data, size_t size) {
  MicroReceiver receiver;
  microReceiverStart(&receiver);
  int result = 0;
  fuzz::forEachRead(data, size, [&](const uint8_t *bytes, size_t length) {
    if (result == 0)
      result = microReceiverFeed(&receiver, bytes, static_cast<DWORD>(length));
  });
  if (result != 0 && result != MICRO_ACCEPTED && result != MICRO_REFUSED &&
      result != MICRO_INVALID)
    __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  textAnswer(data, size);
  acknowledgement(data, size);
  return 0;
}
