// The flash write of the boot-mode run: the head of appMain.mot into flash
// 0x000-0x3FF, a status check, then the body from 0x800 upwards, in
// 128-byte programming blocks that the write kernel acknowledges.
#include "boot/flashWrite.h"

#include "boot/FDT.h"
#include "boot/microMode.h"
#include "boot/srecord.h"
#include "link/port.h"
#include "link/slowLine.h"
#include "link/updateFile.h"

#include <cstdio>

namespace {

const BYTE PROGRAMMING_BLOCK = 0x50;
const BYTE WRITE_KERNEL_STATUS[4] = {0x5F, 0x02, 0x04, 0x00};
// Fill of the last body block beyond the file's data: erased flash.
const BYTE ERASED_BYTE = 0xFF;
// A block on the wire: command, four address bytes, data, sum; then the ACK.
const DWORD BLOCK_EXCHANGE_BYTES = 1 + 4 + HEAD_BLOCK_SIZE + 1 + 1;

const DWORD READ_LINE_WAIT_MS = 5000;
const DWORD BLOCK_ACK_WAIT_MS = 7000;
const DWORD STATUS_WAIT_MS = 10000;
const DWORD STATUS_PAUSE_MS = 1000;
const DWORD HEAD_HEADER_PAUSE_MS = 5; // after each command and address byte

// The body of appMain.mot, up to 256 KiB.
unsigned char DataBlock[BODY_BUFFER_SIZE];

// The 0x50 command and the four address bytes, most significant first;
// returns their sum. A head block pauses after each byte.
BYTE sendBlockHeader(uint32_t adress, DWORD pauseMs) {
  const BYTE header[5] = {PROGRAMMING_BLOCK, static_cast<BYTE>(adress >> 24),
                          static_cast<BYTE>(adress >> 16), static_cast<BYTE>(adress >> 8),
                          static_cast<BYTE>(adress)};
  BYTE sum = 0;
  for (BYTE b : header) {
    sendByte(b);
    sum = static_cast<BYTE>(sum + b);
    if (pauseMs)
      Sleep(pauseMs);
  }
  return sum;
}

// Called right after a block's sum byte went out: the block and its
// acknowledgement are timed as one exchange at the write kernel's rate.
bool blockAcknowledged(BootLink &link) {
  const DWORD sentAt = exchangeClock();
  if (ackWait(link, BLOCK_ACK_WAIT_MS)) {
    exchangeDone(sentAt, BLOCK_EXCHANGE_BYTES, LINE_BAUD_RATE);
    return true;
  }
  std::printf("\nACK NOT received  :( ");
  return false;
}

// Calls `reader` until a block is ready, within 5 s.
template <typename Reader> bool readUntilReady(Reader reader) {
  const DWORD deadline = GetTickCount() + READ_LINE_WAIT_MS;
  while (blockReady != 1) {
    reader();
    if (blockReady != 1 && pastDeadline(deadline)) {
      std::printf("ErrorReading line");
      return false;
    }
  }
  blockReady = 0;
  return true;
}

// Eight blocks at 0x000 ... 0x380, each filled by readHeadRecord.
bool writeHead(BootLink &link, FILE *file) {
  unsigned char Data[HEAD_BLOCK_BUFFER];
  for (uint32_t adress = 0; adress < HEAD_AREA_SIZE; adress += HEAD_BLOCK_SIZE) {
    if (!readUntilReady([&] { readHeadRecord(file, Data); }))
      return false;
    BYTE sum = 0;
    for (unsigned j = 0; j < HEAD_BLOCK_SIZE; ++j)
      sum = static_cast<BYTE>(sum + Data[j]);
    sum = static_cast<BYTE>(sum + sendBlockHeader(adress, HEAD_HEADER_PAUSE_MS));
    for (unsigned j = 0; j < HEAD_BLOCK_SIZE; ++j)
      if (!sendTested(Data[j], "\nError doesn't write18"))
        return false;
    if (!sendTested(static_cast<BYTE>(0 - sum), "\nError doesn't write19") ||
        !blockAcknowledged(link))
      return false;
  }
  return true;
}

// The write kernel's status between the passes; a wrong sum byte is only
// a warning here.
bool checkWriteKernelStatus(BootLink &link) {
  Sleep(STATUS_PAUSE_MS);
  if (!sendTested(STATUS_INQUIRY, "\nError doesn't write20"))
    return false;
  if (!replyRead(link, STATUS_WAIT_MS)) {
    std::printf("\nTime Out 8");
    return false;
  }
  const BYTE *reply = link.ReadBuf;
  const BYTE expected = expectedReplySum(reply);
  if (reply[4] != expected)
    std::printf("Error checking sum BINARY%02x ....%02x", reply[4], expected);
  for (int n = 0; n < 4; ++n)
    if (reply[n] != WRITE_KERNEL_STATUS[n]) {
      std::printf("\nError 4");
      return false;
    }
  return true;
}

// The whole body up to the stop record, then its blocks back to back from
// 0x800, with a progress line after every byte.
bool writeBody(BootLink &link, FILE *file) {
  uint32_t BlockLength = 0;
  if (!readUntilReady([&] { readBodyRecord(file, DataBlock, &BlockLength); }))
    return false;
  uint32_t i = 0;
  for (uint32_t adress = BODY_FLASH_ADDRESS; adress < BlockLength + BODY_FLASH_ADDRESS;
       adress += HEAD_BLOCK_SIZE) {
    BYTE sum = sendBlockHeader(adress, 0);
    for (unsigned j = 0; j < HEAD_BLOCK_SIZE; ++j) {
      const BYTE b = i < BlockLength ? DataBlock[i] : ERASED_BYTE;
      if (!sendTested(b, "\nError doesn't write21"))
        return false;
      sum = static_cast<BYTE>(sum + b);
      ++i;
      std::printf(" %cJob at %0.2f %c", 13, static_cast<double>(i) / BlockLength * 100 - 0.05, 37);
    }
    if (!sendTested(static_cast<BYTE>(0 - sum), "\nError doesn't write9") ||
        !blockAcknowledged(link))
      return false;
  }
  std::printf("%cJob at 100 %c      ", 13, 37);
  std::printf("\n%cOK", 13);
  std::printf("\nEND...REBOOT THE DEVICE!\n");
  return true;
}

} // namespace

bool writeFlashImage(BootLink &link) {
  std::printf("\n->WRITING .MOT FILE  TO FLASH MEMORY...\n");
  FILE *file = openUpdateFile(MICRO_FILE);
  if (!file) {
    std::printf("/nFile load error\n");
    return false;
  }
  std::rewind(file);
  noteMicroChange(ADVICE_RUN_AGAIN_IN_BOOT_MODE, "the micro's flash is erased and partly written, "
                                                 "so the card starts in its boot program");
  const bool written =
      writeHead(link, file) && checkWriteKernelStatus(link) && writeBody(link, file);
  std::fclose(file);
  return written;
}
