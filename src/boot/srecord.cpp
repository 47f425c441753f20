// The S-record readers of appMain.mot and their module state.
#include "boot/srecord.h"
#include "boot/util.h"

#include <cctype>
#include <cstring>

int blockReady = 0;
int endRecordRead = 0;

namespace {

const unsigned RECORD_HEADER = 5; // count byte and four address bytes
const unsigned char STOP_ADDRESS_BYTE = 0xFF;

// Write positions of the two readers; each reader has its own.
uint32_t headK = 0;
uint32_t bodyK = 0;

// Reads one record; false (with the corruption message) when the word does
// not start with 'S' (end of file included) or does not fit the line.
bool readRecord(FILE *fd, SRecord *record) {
  char line[RECORD_LINE_SIZE];
  bool tooLong = false;
  if (!readRecordWord(fd, line, &tooLong, nullptr) || line[0] != 'S') {
    std::printf("Error...File .mot corrupted");
    return false;
  }
  decodeRecord(line, record);
  return true;
}

// Reads the next record; true for an S3 data record. An S7 record marks the
// end of the file's data.
bool readDataRecord(FILE *fd, SRecord *record) {
  if (!readRecord(fd, record))
    return false;
  if (record->type == '7') {
    endRecordRead = 1;
    return false;
  }
  return record->type == '3';
}

} // namespace

bool readRecordWord(FILE *fd, char *line, bool *tooLong, unsigned long *lineNo) {
  *tooLong = false;
  line[0] = '\0';
  int c = std::getc(fd);
  while (c != EOF && std::isspace(c)) {
    if (c == '\n' && lineNo)
      ++*lineNo;
    c = std::getc(fd);
  }
  unsigned length = 0;
  while (c != EOF && !std::isspace(c)) {
    if (length < RECORD_MAX_CHARS)
      line[length] = static_cast<char>(c);
    else
      *tooLong = true;
    ++length;
    c = std::getc(fd);
  }
  if (c != EOF)
    std::ungetc(c, fd); // the line break is counted by the next word
  if (*tooLong) {
    line[0] = '\0';
    return false;
  }
  line[length] = '\0';
  return true;
}

void decodeRecord(const char *line, SRecord *record) {
  std::memset(record->bytes, 0, sizeof record->bytes);
  record->type = line[1];
  const size_t length = std::strlen(line);
  unsigned i = 0;
  for (; 2 * i + 2 < length && i < sizeof record->bytes; ++i)
    hexByte(&record->bytes[i], line + 2 * i + 2);
  record->decoded = i;
  // Data runs from byte 5 up to the count; never past what the line held.
  const unsigned count = record->bytes[0];
  const unsigned end = count < i ? count : i;
  record->dataLength = end > RECORD_HEADER ? end - RECORD_HEADER : 0;
  record->data = record->bytes + RECORD_HEADER;
  record->stopRecord =
      record->bytes[1] == STOP_ADDRESS_BYTE && record->bytes[2] == STOP_ADDRESS_BYTE;
}

int readHeadRecord(FILE *fd, unsigned char *Data) {
  SRecord record;
  if (!readDataRecord(fd, &record))
    return 0;
  for (unsigned n = 0; n < record.dataLength && headK < HEAD_BLOCK_SIZE; ++n)
    Data[headK++] = record.data[n];
  if (headK >= HEAD_BLOCK_SIZE) {
    headK = 0;
    blockReady = 1;
  }
  return 1;
}

int readBodyRecord(FILE *fd, unsigned char *DataBlock, uint32_t *BlockLength) {
  SRecord record;
  if (!readDataRecord(fd, &record))
    return 0;
  if (record.stopRecord) {
    bodyK = 0;
    blockReady = 1;
    return 1;
  }
  for (unsigned n = 0; n < record.dataLength && bodyK < BODY_BUFFER_SIZE; ++n) {
    DataBlock[bodyK++] = record.data[n];
    ++*BlockLength;
  }
  return 1;
}
