// Any appMain.mot the MICRO job's check accepts, the boot-mode run's readers
// read whole: the eight head blocks, then exactly the body bytes it counted.
#include "boot/srecord.h"
#include "boot/microFiles.h"
#include "chunks.h"

#include <vector>

static bool accepted(FILE *fd, MotCheck &check) {
  char line[RECORD_LINE_SIZE];
  unsigned long lineNo = 1;
  for (bool tooLong = false; readRecordWord(fd, line, &tooLong, &lineNo), tooLong || line[0];)
    if (checkMotRecord(check, line, tooLong))
      return false;
  return checkMotEnd(check) == nullptr;
}

// Calls `read` until the reader has its block ready: the file was accepted,
// so it must not end first.
template <typename Read> static void readUntilReady(FILE *fd, Read read) {
  for (blockReady = 0; blockReady != 1; read())
    fuzz::require(!std::feof(fd));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::withFile(data, size, [](FILE *fd) {
    MotCheck check;
    if (!accepted(fd, check))
      return;
    std::rewind(fd);
    endRecordRead = 0;
    std::vector<unsigned char> head(HEAD_BLOCK_BUFFER), body(BODY_BUFFER_SIZE);
    for (unsigned block = 0; block < HEAD_AREA_SIZE / HEAD_BLOCK_SIZE; ++block)
      readUntilReady(fd, [&] { readHeadRecord(fd, head.data()); });
    uint32_t length = 0;
    readUntilReady(fd, [&] { readBodyRecord(fd, body.data(), &length); });
    fuzz::require(length == check.bodyBytes);
  });
  return 0;
}
