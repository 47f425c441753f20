// The S-record readers of the boot-mode run over any appMain.mot: the head
// reader into its 129-byte block, the body reader into its 256 KiB buffer,
// both until the file ends.
#include "boot/FDT.h"

#include <cstdio>
#include <memory>

namespace {

FILE *openBytes(const uint8_t *data, size_t size) {
  // fmemopen wants a buffer it may keep; an empty input is an empty file.
  static unsigned char empty = 0;
  return fmemopen(size ? const_cast<uint8_t *>(data) : &empty, size ? size : 1,
                  "rb");
}

void readHead(const uint8_t *data, size_t size) {
  FILE *fd = openBytes(data, size);
  if (!fd)
    return;
  std::unique_ptr<unsigned char[]> block(new unsigned char[HEAD_BLOCK_BUFFER]);
  while (!EndReading && !std::feof(fd) && std::ftell(fd) < static_cast<long>(size)) {
    checkReadLine = 0;
    readline16(fd, block.get());
  }
  std::fclose(fd);
}

void readBody(const uint8_t *data, size_t size) {
  FILE *fd = openBytes(data, size);
  if (!fd)
    return;
  std::unique_ptr<unsigned char[]> body(new unsigned char[BODY_BUFFER_SIZE]);
  uint32_t length = 0;
  while (!EndReading && !std::feof(fd) && std::ftell(fd) < static_cast<long>(size)) {
    readblock(fd, body.get(), &length);
    if (length > BODY_BUFFER_SIZE)
      __builtin_trap();
  }
  std::fclose(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  EndReading = 0;
  readHead(data, size);
  EndReading = 0;
  readBody(data, size);
  return 0;
}
