// The boot-mode run of the micro (FDT) and the
// S-record readers that feed its flash write, with their module state.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <cstdio>

// Module state, kept for the life of the process.
// 1 when a reader has a block ready: readline16 has gathered 128 bytes, or
// readblock has met the stop record. The flash write clears it.
extern int checkReadLine;
// 1 once either reader has read an S7 record.
extern int EndReading;
// 1 once a synchronisation window of FDT has expired in this process; FDT
// returns 55 only while it is 0.
extern int flag;

// The MICRO job's files in the working directory: the firmware and the
// three kernels the boot program and its kernels download.
const char MICRO_FILE[] = "appMain.mot";
const char MICRO_KERNEL[] = "uGen7144.cde";
const char MAIN_KERNEL[] = "Genm7144.cde";
const char WRITE_KERNEL[] = "Genw7144.cde";
// The most of a kernel file that is sent; a longer kernel is refused.
const unsigned long KERNEL_MAX_SIZE = 4000;

// The flash write's blocks and buffers.
const unsigned HEAD_BLOCK_SIZE = 128;          // one programming block
const unsigned HEAD_BLOCK_BUFFER = 129;        // Data: the block and one spare
const unsigned HEAD_AREA_SIZE = 1024;          // flash 0x000-0x3FF
const uint32_t BODY_BUFFER_SIZE = 262144;      // DataBlock, 256 KiB
const uint32_t BODY_FLASH_ADDRESS = 0x800;     // first address of the body

// The S-record line: at most 219 characters and the terminator.
const unsigned RECORD_LINE_SIZE = 220;
const unsigned RECORD_MAX_CHARS = RECORD_LINE_SIZE - 1;

// Reads one record of `fd`; an S3 record's data goes to Data[k...], k being
// this reader's own position. When 128 bytes are gathered, k returns to 0
// and checkReadLine becomes 1. Data beyond the 128th byte of a block is
// dropped. The result has no meaning.
int readline16(FILE *fd, unsigned char *Data);

// Reads one record of `fd`; an S3 record's data is appended to
// DataBlock[k...] (262144 bytes) and counted in *BlockLength. The stop
// record (address beginning FF FF) contributes nothing, returns k to 0 and
// raises checkReadLine. Data past the end of the buffer is dropped and not
// counted. The result has no meaning.
int readblock(FILE *fd, unsigned char *DataBlock, uint32_t *BlockLength);

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

// Boot-mode flash programming on the port, set to the boot rate before:
// FDT_DONE once appMain.mot is written whole, 55 when the boot program
// never answered the first synchronisation (a card that still runs an old
// firmware), 1 for every other failure.
const int FDT_DONE = 0;
const int FDT_NO_BOOT_PROGRAM = 55;
int FDT();
