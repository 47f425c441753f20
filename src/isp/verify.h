// The comparison at the heart of the VERIFY job.
#pragma once

#include "isp/codec.h"
#include "platform/platform.h"

// Data words a Read Block answer carries: its parameter count + 1.
int blockWords(IspWord word0);
// Words a Read Block answer at `addr` must carry to cover the file: 16, or
// fewer for the file's last block.
int wordsNeeded(DWORD addr, DWORD maxAddr);
// The first word that differs, as the job names it.
struct FirstMismatch {
  bool found;
  DWORD address; // of its first byte in the device
  IspWord file;  // the compared value in the file, and on the card
  IspWord card;
  int digits; // hex digits of the values: 4, or 2 for a lone last byte
};

// Words of the answer (words 1..) that differ from the image at `addr`;
// words that begin at or past `maxAddr` are not compared, and a last word
// with only one byte in the file is compared on that byte. The first
// difference goes to `*first` unless it holds one already.
DWORD countMismatches(const IspWord *answer, const unsigned char *image, DWORD addr, DWORD maxAddr,
                      FirstMismatch *first);

// The VERIFY job: compares flash device `device` with the image file. 0
// when every word is the same, -1 when one differs or the job failed,
// JOB_REFUSED for an image file that cannot be compared.
int runVerifyJob(const char *fileName, int device);
