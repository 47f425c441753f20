// The comparison at the heart of the VERIFY job.
#pragma once

#include "isp/codec.h"
#include "platform/platform.h"

// Data words a Read Block answer carries: its parameter count + 1.
int blockWords(IspWord word0);
// Words a Read Block answer at `addr` must carry to cover the file: 16, or
// fewer for the file's last block.
int wordsNeeded(DWORD addr, DWORD maxAddr);
// Words of the answer (words 1..) that differ from the image at `addr`;
// words that begin at or past `maxAddr` are not compared, and a last word
// with only one byte in the file is compared on that byte.
DWORD countMismatches(const IspWord *answer, const unsigned char *image,
                      DWORD addr, DWORD maxAddr);

// The VERIFY job: compares flash device `device` with the image file. 0
// when every word is the same, -1 when one differs or the job failed,
// JOB_REFUSED for an image file that cannot be compared.
int verify(const char *fileName, int device);
