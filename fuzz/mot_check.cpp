// The MICRO job's check of appMain.mot: any file it accepts, the boot-mode
// run's readers must then read whole (the eight head blocks, then the body
// up to its stop record, holding exactly the bytes the check counted).
#include "boot/FDT.h"
#include "boot/microFiles.h"
#include "chunks.h"

#include <memory>

namespace {

bool accepted(FILE *fd, MotCheck &check) {
  char line[RECORD_LINE_SIZE];
  unsigned long lineNo = 1;
  for (;;) {
    bool tooLong = false;
    readRecordWord(fd, line, &tooLong, &lineNo);
    if (!tooLong && line[0] == '\0')
      break;
    if (checkMotRecord(check, line, tooLong))
      return false;
  }
  return checkMotEnd(check) == nullptr;
}

// Calls `read` until the reader has its block ready: the file was accepted,
// so it must not end first.
template <typename Read> void readUntilReady(FILE *fd, Read read) {
  for (checkReadLine = 0; checkReadLine != 1; read())
    if (std::feof(fd))
      __builtin_trap();
}

void readAsTheRunDoes(FILE *fd, const MotCheck &check) {
  EndReading = 0;
  std::unique_ptr<unsigned char[]> head(new unsigned char[HEAD_BLOCK_BUFFER]);
  for (unsigned block = 0; block < HEAD_AREA_SIZE / HEAD_BLOCK_SIZE; ++block)
    readUntilReady(fd, [&] { readline16(fd, head.get()); });
  std::unique_ptr<unsigned char[]> body(new unsigned char[BODY_BUFFER_SIZE]);
  uint32_t length = 0;
  readUntilReady(fd, [&] { readblock(fd, body.get(), &length); });
  if (length != check.bodyBytes)
    __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FILE *fd = fuzz::openBytes(data, size);
  if (!fd)
    return 0;
  MotCheck check;
  if (accepted(fd, check)) {
    std::rewind(fd);
    readAsTheRunDoes(fd, check);
  }
  std::fclose(fd);
  return 0;
}
