// The MICRO job's check of appMain.mot, word by word as the check reads the
// file. Any file is either refused with a reason, or the boot-mode run's
// readers must then complete with it: the eight head blocks, then the body
// up to its stop record, holding exactly the bytes the check counted.
#include "boot/FDT.h"
#include "boot/microFiles.h"

#include <cstdio>
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

// Calls `read` until the reader has its block ready; false at end of file.
template <typename Read> bool readUntilReady(FILE *fd, Read read) {
  checkReadLine = 0;
  while (checkReadLine != 1) {
    if (std::feof(fd))
      return false;
    read();
  }
  return true;
}

void readAsTheRunDoes(FILE *fd, const MotCheck &check) {
  checkReadLine = 0;
  EndReading = 0;
  std::unique_ptr<unsigned char[]> head(new unsigned char[HEAD_BLOCK_BUFFER]);
  for (unsigned block = 0; block < HEAD_AREA_SIZE / HEAD_BLOCK_SIZE; ++block)
    if (!readUntilReady(fd, [&] { readline16(fd, head.get()); }))
      __builtin_trap(); // accepted, yet the head ends early
  std::unique_ptr<unsigned char[]> body(new unsigned char[BODY_BUFFER_SIZE]);
  uint32_t length = 0;
  if (!readUntilReady(fd, [&] { readblock(fd, body.get(), &length); }))
    __builtin_trap(); // accepted, yet no stop record reached
  if (length != check.bodyBytes)
    __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  FILE *fd = fmemopen(const_cast<uint8_t *>(data), size, "rb");
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
