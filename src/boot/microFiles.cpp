#include "boot/microFiles.h"

#include "boot/FDT.h"
#include "boot/srecord.h"
#include "boot/util.h"
#include "link/updateFile.h"

#include <cstdio>
#include <cstring>

namespace {

const char *const KERNEL_FILES[] = {MICRO_KERNEL, MAIN_KERNEL, WRITE_KERNEL};
const unsigned char RECORD_SUM = 0xFF; // count, address, data and sum add up to this

bool isUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// Address bytes of a record type; 0 for a type the run cannot use.
unsigned addressBytes(char type) {
  switch (type) {
  case '0':
  case '5':
  case '9':
    return 2;
  case '6':
  case '8':
    return 3;
  case '3':
  case '7':
    return 4;
  default:
    return 0;
  }
}

// The record's own form: characters, length, count and checksum.
const char *checkForm(const char *word, bool tooLong) {
  if (tooLong)
    return "record longer than 219 characters";
  if (word[0] != 'S')
    return "record does not start with S";
  const size_t length = std::strlen(word);
  if (length % 2 != 0)
    return "record has an odd number of characters";
  for (size_t n = 2; n < length; ++n)
    if (!isUpperHex(word[n]))
      return "character other than 0-9 or A-F";
  if (word[1] == '1' || word[1] == '2')
    return "S1 or S2 data record (only S3 data is written to the flash)";
  const unsigned address = addressBytes(word[1]);
  if (address == 0)
    return "unknown record type";
  SRecord record;
  decodeRecord(word, &record);
  const unsigned count = record.bytes[0];
  if (length < 4 || count + 1 != record.decoded)
    return "record count does not match its length";
  if (count < address + 1)
    return "record shorter than its address";
  unsigned sum = 0;
  for (unsigned n = 0; n < record.decoded; ++n)
    sum += record.bytes[n];
  if (static_cast<unsigned char>(sum) != RECORD_SUM)
    return "record checksum is wrong";
  return nullptr;
}

// Where an S3 record's data goes: the head's 128-byte blocks, the body,
// or nowhere after the stop record.
const char *placeData(MotCheck &check, const SRecord &record) {
  switch (check.stage) {
  case MotCheck::HEAD:
    if (record.stopRecord)
      return "stop record before the first 1024 bytes are complete";
    if (check.headBytes % HEAD_BLOCK_SIZE + record.dataLength > HEAD_BLOCK_SIZE)
      return "record crosses a 128-byte block of the first 1024 bytes";
    check.headBytes += record.dataLength;
    if (check.headBytes == HEAD_AREA_SIZE)
      check.stage = MotCheck::BODY;
    return nullptr;
  case MotCheck::BODY:
    if (record.stopRecord) {
      check.stage = MotCheck::AFTER_STOP;
      return nullptr;
    }
    if (record.dataLength > BODY_BUFFER_SIZE - check.bodyBytes)
      return "data after the first 1024 bytes exceeds 262144 bytes";
    check.bodyBytes += record.dataLength;
    return nullptr;
  default:
    return nullptr;
  }
}

// A kernel file must be there and hold 1 to 4000 bytes.
const char *checkKernel(const char *name) {
  FILE *file = openUpdateFile(name);
  if (!file)
    return "missing or unreadable";
  long size = -1;
  if (std::fseek(file, 0, SEEK_END) == 0)
    size = std::ftell(file);
  std::fclose(file);
  if (size < 0)
    return "unreadable";
  if (size == 0)
    return "empty";
  if (static_cast<unsigned long>(size) > KERNEL_MAX_SIZE)
    return "larger than 4000 bytes";
  return nullptr;
}

bool motFileUsable() {
  FILE *file = openUpdateFile(MICRO_FILE);
  if (!file) {
    std::printf("\nBad %s file: cannot be opened. Nothing was sent to the card.\n", MICRO_FILE);
    return false;
  }
  MotCheck check;
  char line[RECORD_LINE_SIZE];
  unsigned long lineNo = 1;
  const char *reason = nullptr;
  for (;;) {
    bool tooLong = false;
    readRecordWord(file, line, &tooLong, &lineNo);
    if (!tooLong && line[0] == '\0')
      break;
    reason = checkMotRecord(check, line, tooLong);
    if (reason)
      break;
  }
  std::fclose(file);
  if (reason) {
    std::printf("\nBad %s file, line %lu: %s. Nothing was sent to the card.\n", MICRO_FILE, lineNo,
                reason);
    return false;
  }
  reason = checkMotEnd(check);
  if (reason) {
    std::printf("\nBad %s file: %s. Nothing was sent to the card.\n", MICRO_FILE, reason);
    return false;
  }
  return true;
}

} // namespace

const char *checkMotRecord(MotCheck &check, const char *word, bool tooLong) {
  if (const char *reason = checkForm(word, tooLong))
    return reason;
  if (word[1] != '3')
    return nullptr;
  SRecord record;
  decodeRecord(word, &record);
  return placeData(check, record);
}

const char *checkMotEnd(const MotCheck &check) {
  if (check.stage == MotCheck::HEAD)
    return "the S3 data does not fill the first 1024 bytes";
  if (check.stage == MotCheck::BODY)
    return "no stop record (an S3 record at address FFFFxxxx)";
  return nullptr;
}

bool microFilesUsable() {
  if (!motFileUsable())
    return false;
  for (const char *name : KERNEL_FILES)
    if (const char *reason = checkKernel(name)) {
      std::printf("\nBad kernel file %s: %s. Nothing was sent to the card.\n", name, reason);
      return false;
    }
  return true;
}
