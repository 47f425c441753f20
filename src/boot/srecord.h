// The S-record readers of appMain.mot that feed the boot-mode run's flash
// write, the flash areas they fill, and their module state.
#pragma once

#include <cstdint>
#include <cstdio>

// The flash areas appMain.mot fills and the readers' buffers.
const unsigned HEAD_BLOCK_SIZE = 128;      // one programming block
const unsigned HEAD_BLOCK_BUFFER = 129;    // Data: the block and one spare
const unsigned HEAD_AREA_SIZE = 1024;      // flash 0x000-0x3FF
const uint32_t BODY_BUFFER_SIZE = 262144;  // DataBlock, 256 KiB
const uint32_t BODY_FLASH_ADDRESS = 0x800; // first address of the body

// The S-record line: at most 219 characters and the terminator.
const unsigned RECORD_LINE_SIZE = 220;
const unsigned RECORD_MAX_CHARS = RECORD_LINE_SIZE - 1;

// Module state, kept for the life of the process.
// 1 when a reader has a block ready: readHeadRecord has gathered 128 bytes,
// or readBodyRecord has met the stop record. The flash write clears it.
extern int blockReady;
// 1 once either reader has read an S7 record.
extern int endRecordRead;

// Reads one record of `fd`; an S3 record's data goes to Data[k...], k being
// this reader's own position. When 128 bytes are gathered, k returns to 0
// and blockReady becomes 1. Data beyond the 128th byte of a block is
// dropped. The result has no meaning.
int readHeadRecord(FILE *fd, unsigned char *Data);

// Reads one record of `fd`; an S3 record's data is appended to
// DataBlock[k...] (262144 bytes) and counted in *BlockLength. The stop
// record (address beginning FF FF) contributes nothing, returns k to 0 and
// raises blockReady. Data past the end of the buffer is dropped and not
// counted. The result has no meaning.
int readBodyRecord(FILE *fd, unsigned char *DataBlock, uint32_t *BlockLength);

// One record as the readers see it.
struct SRecord {
  char type;                 // the character after 'S'
  unsigned char bytes[128];  // decoded pairs: count, address, data, sum
  unsigned decoded;          // how many pairs the line held
  unsigned dataLength;       // data bytes the count announces and the line holds
  const unsigned char *data; // first data byte (bytes + 5)
  bool stopRecord;           // address bytes 1 and 2 are FF FF
};

// Reads the next whitespace-delimited word of `fd` into `line`
// (RECORD_LINE_SIZE). A longer word is consumed whole and left out: the
// result is then false with `*tooLong` set. At end of file the line is
// empty. `*lineNo`, when given, counts the line breaks passed.
bool readRecordWord(FILE *fd, char *line, bool *tooLong, unsigned long *lineNo);

// Decodes a record line that starts with 'S' into `record`.
void decodeRecord(const char *line, SRecord *record);
