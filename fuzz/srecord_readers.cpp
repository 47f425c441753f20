// The boot-mode run's head and body readers over any appMain.mot, each into
// a buffer of its exact size, until the file ends.
#include "boot/srecord.h"
#include "chunks.h"

#include <vector>

// Calls `read` on the input as a file until the file or its data ends.
template <typename Read> static void readAll(const uint8_t *data, size_t size, Read read) {
  fuzz::withFile(data, size, [&](FILE *fd) {
    for (endRecordRead = 0;
         !endRecordRead && !std::feof(fd) && std::ftell(fd) < static_cast<long>(size);)
      read(fd);
  });
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<unsigned char> block(HEAD_BLOCK_BUFFER), body(BODY_BUFFER_SIZE);
  readAll(data, size, [&](FILE *fd) {
    blockReady = 0;
    readHeadRecord(fd, block.data());
  });
  uint32_t length = 0;
  readAll(data, size, [&](FILE *fd) {
    readBodyRecord(fd, body.data(), &length);
    fuzz::require(length <= BODY_BUFFER_SIZE);
  });
  return 0;
}
