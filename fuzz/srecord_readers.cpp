// The boot-mode run's head and body readers over any appMain.mot, each into
// a buffer of its exact size, until the file ends.
#include "boot/FDT.h"
#include "chunks.h"

#include <memory>

namespace {

// Calls `read` on the input as a file until the file or its data ends.
template <typename Read> void readAll(const uint8_t *data, size_t size, Read read) {
  FILE *fd = fuzz::openBytes(data, size);
  if (!fd)
    return;
  EndReading = 0;
  while (!EndReading && !std::feof(fd) && std::ftell(fd) < static_cast<long>(size))
    read(fd);
  std::fclose(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::unique_ptr<unsigned char[]> block(new unsigned char[HEAD_BLOCK_BUFFER]);
  readAll(data, size, [&](FILE *fd) {
    checkReadLine = 0;
    readline16(fd, block.get());
  });
  std::unique_ptr<unsigned char[]> body(new unsigned char[BODY_BUFFER_SIZE]);
  uint32_t length = 0;
  readAll(data, size, [&](FILE *fd) {
    readblock(fd, body.get(), &length);
    if (length > BODY_BUFFER_SIZE)
      __builtin_trap();
  });
  return 0;
}
