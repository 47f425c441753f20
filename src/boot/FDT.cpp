// The boot-mode run of the micro: synchronisation with the chip's boot
// program at 9600 bit/s, the micro kernel download, the kernel's command
// protocol up to 115200 bit/s, the main and write kernels, then the flash
// write of appMain.mot.
#include "boot/FDT.h"

#include "boot/bootLink.h"
#include "boot/flashWrite.h"
#include "boot/microMode.h"
#include "link/port.h"
#include "link/updateFile.h"

#include <cstdio>

int flag = 0;

namespace {

const DWORD WRITE_BUF_SIZE = 5000;
// The micro kernel's echo of byte i lands in ReadBuf[i]: the largest kernel
// must fit the read buffer, as it must fit the write buffer it is sent from.
static_assert(KERNEL_MAX_SIZE <= READ_BUF_SIZE, "a kernel's echo overruns the read buffer");
static_assert(KERNEL_MAX_SIZE <= WRITE_BUF_SIZE, "a kernel overruns the write buffer");

// Boot program synchronisation.
const BYTE SYNC_BYTE = 0x00;
const BYTE CONFIRM_BYTE = 0x55;
const BYTE CONFIRM_REPLY = 0xAA;
const BYTE ERASE_FAILED = 0xFF;
const DWORD SYNC_WINDOW_MS = 10000;
const DWORD CONFIRM_WAIT_MS = 2000;
const int CONFIRM_RETRIES = 4; // after five expired waits the run ends

// Kernel commands and their fixed replies.
const BYTE UNIT_INQUIRY = 0x27;
const BYTE UNIT_REPLY[REPLY_SIZE] = {0x37, 0x02, 0x00, 0x80, 0x47}; // 128 bytes
const BYTE DEVICE_SELECTION[] = {0x10, 0x04, 0x30, 0x34, 0x31, 0x30, 0x27};
const BYTE CLOCK_MODE_SELECTION[] = {0x11, 0x01, 0x03, 0xEB};
// New bit rate: 1152 x 100 bit/s, input clock 11.06 MHz, ratios 4 and 2.
const BYTE NEW_BIT_RATE[] = {0x3F, 0x07, 0x04, 0x80, 0x04, 0x52, 0x02, 0x04, 0x02, 0xD8};
const BYTE PROGRAMMING_STATE = 0x40;
const BYTE USER_AREA_PROGRAMMING = 0x43;
const BYTE MAIN_KERNEL_STATUS[4] = {0x5F, 0x02, 0x03, 0x00};
// Constants that enter the kernels' sums besides their bytes.
const BYTE MAIN_KERNEL_SUM_BASE = 0x75;
const BYTE WRITE_KERNEL_SUM_BASE = 0x9A;

// Waits and pauses, in ms.
const DWORD ECHO_WAIT_MS = 5000;
const DWORD ERASE_WAIT_MS = 5000;
const DWORD ERASE_RESULT_WAIT_MS = 100; // no result at all lets the run go on
const DWORD UNIT_REPLY_WAIT_MS = 5000;
const DWORD DRAIN_WAIT_MS = 5000;
const DWORD ACK_WAIT_MS = 7000;
const DWORD MAIN_KERNEL_ACK_WAIT_MS = 3000;
const DWORD STATUS_WAIT_MS = 10000;
const DWORD COMMAND_PAUSE_MS = 1000;    // before most kernel commands
const DWORD CLOCK_BYTE_PAUSE_MS = 1000; // after each clock mode byte
const DWORD RATE_SWITCH_PAUSE_MS = 50;
const DWORD LENGTH_BYTE_PAUSE_MS = 10;
const DWORD MAIN_KERNEL_PAUSE_MS = 100;
const DWORD MAIN_KERNEL_SUM_PAUSE_MS = 2000;
const DWORD WRITE_KERNEL_SUM_PAUSE_MS = 10;
const DWORD DRAIN_READ_SIZE = 100;

const int RESULT_END = 1; // the run ended without a whole flash write

struct FdtRun {
  BootLink link;
  BYTE WriteBuf[WRITE_BUF_SIZE];
  DWORD kernelLength;
  FILE *microKernel;
  FILE *mainKernel;
  FILE *writeKernel;
  int retry;
};

BYTE &slot(FdtRun &run) { return run.link.ReadBuf[0]; }

void closeKernel(FILE **kernel) {
  if (*kernel)
    std::fclose(*kernel);
  *kernel = nullptr;
}

// Opens a kernel and reads up to 4000 bytes of it into WriteBuf.
bool loadKernel(FdtRun &run, const char *name, FILE **kernel) {
  *kernel = openUpdateFile(name);
  if (!*kernel) {
    std::printf("/nFile load error\n");
    return false;
  }
  std::rewind(*kernel);
  run.kernelLength = static_cast<DWORD>(
      std::fread(run.WriteBuf, 1, KERNEL_MAX_SIZE, *kernel));
  return true;
}

void printByteProgress(DWORD i, DWORD length) {
  std::printf("%cJob at %0.2f %c", 13, static_cast<double>(i) / length * 100 + 0.05, 37);
}

enum SyncResult { SYNC_REACHED, SYNC_RETRY, SYNC_FAILED };

// Sends 0x00 until the boot program answers 0x00. The first window that
// expires in the process ends the run with 55; later windows print their
// advice once each and go on.
int waitForSync(FdtRun &run) {
  DWORD deadline = GetTickCount() + SYNC_WINDOW_MS;
  slot(run) = SLOT_PRESET;
  for (;;) {
    if (!sendTested(run.link, SYNC_BYTE,
                    "\nUnable to write on the COM port\nCheck if the jumpers are at the right place"))
      return RESULT_END;
    if (readSlot(run.link) == 1 && slot(run) == SYNC_BYTE)
      return 0;
    if (pastDeadline(deadline)) {
      if (flag == 0) {
        std::printf("\nTime Out...No communication with Boot Program...Maybe there's an old firmware...");
        std::printf("\nNow Calling the function to check the version of the firmware...");
        flag = 1;
        return FDT_NO_BOOT_PROGRAM;
      }
      std::printf("\nTime out...No old firmware...No communication..Reboot the card and try again...");
      std::printf("\nBe sure that the jumpers for the RS-232 commmunications are at the right place");
      deadline = GetTickCount() + SYNC_WINDOW_MS;
    }
  }
}

SyncResult confirmSync(FdtRun &run) {
  if (!sendTested(run.link, CONFIRM_BYTE, "\nError doesn't write2"))
    return SYNC_FAILED;
  const DWORD deadline = GetTickCount() + CONFIRM_WAIT_MS;
  readSlot(run.link);
  while (slot(run) != CONFIRM_REPLY) {
    if (pastDeadline(deadline)) {
      std::printf("\nTime Out...Retry...");
      ++run.retry;
      return SYNC_RETRY;
    }
    if (run.retry > CONFIRM_RETRIES)
      return SYNC_FAILED;
    readSlot(run.link);
  }
  std::printf("OK");
  return SYNC_REACHED;
}

// Steps 1 and 2: 0 when the boot program is in step, else the run's result.
int synchronise(FdtRun &run) {
  std::printf("\n->CHECKING COMMUNICATION WITH SH2...");
  for (;;) {
    const int waited = waitForSync(run);
    if (waited != 0)
      return waited;
    const SyncResult confirmed = confirmSync(run);
    if (confirmed == SYNC_REACHED)
      return 0;
    if (confirmed == SYNC_FAILED)
      return RESULT_END;
  }
}

bool sendEchoed(FdtRun &run, BYTE b, const char *writeText, const char *timeText) {
  if (!sendTested(run.link, b, writeText))
    return false;
  if (!echoWait(run.link, b, ECHO_WAIT_MS)) {
    std::printf("%s", timeText);
    return false;
  }
  return true;
}

// The erase result follows 0xAA on the wire, a byte time (1.04 ms at 9600
// bit/s) later: one read of about a millisecond may come too early and
// leave the result to spoil the next reply. True when it arrived.
bool readEraseResult(FdtRun &run) {
  const DWORD deadline = GetTickCount() + ERASE_RESULT_WAIT_MS;
  while (readSlot(run.link) == 0)
    if (pastDeadline(deadline))
      return false;
  return true;
}

// Steps 3 to 7: the micro kernel, every byte echoed, then 0xAA and the
// erase result.
bool sendMicroKernel(FdtRun &run) {
  std::printf("\n->SENDING MICRO KERNEL...\n");
  if (!loadKernel(run, MICRO_KERNEL, &run.microKernel))
    return false;
  const uint16_t maxAddr = static_cast<uint16_t>(run.kernelLength);
  if (!sendEchoed(run, static_cast<BYTE>(maxAddr >> 8), "\nError doesn't write3", "\nTime Out1") ||
      !sendEchoed(run, static_cast<BYTE>(maxAddr & 0xFF), "\nError doesn't write4", "\nTime Out 2"))
    return false;
  for (DWORD i = 0; i < maxAddr; ++i) {
    const DWORD deadline = GetTickCount() + ECHO_WAIT_MS;
    if (!sendTested(run.link, run.WriteBuf[i], "\nError doesn't write5"))
      return false;
    while (readInto(run.link, i, 1) != 1)
      if (pastDeadline(deadline)) {
        std::printf("\nTime Out 3");
        return false;
      }
    if (run.link.ReadBuf[i] != run.WriteBuf[i]) {
      std::printf("Error during  validation  byte");
      return false;
    }
    printByteProgress(i, maxAddr);
  }
  std::printf("%cJob at 100 %c     ", 13, 37);
  // The whole micro kernel erases the flash: the card starts in its boot
  // program until the flash is written whole.
  noteMicroChange(ADVICE_RUN_AGAIN_IN_BOOT_MODE,
                  "the micro's flash is erased, so the card starts in its boot program");

  slot(run) = SLOT_PRESET;
  readSlot(run.link);
  const DWORD deadline = GetTickCount() + ERASE_WAIT_MS;
  while (slot(run) != CONFIRM_REPLY) {
    if (pastDeadline(deadline)) {
      std::printf("\nTime Out 4");
      return false;
    }
    readSlot(run.link);
  }
  std::printf("\n%cOK", 13);
  if (readEraseResult(run) && slot(run) == ERASE_FAILED) {
    std::printf("Error during erasing of the flash");
    return false;
  }
  return true;
}

// Sends a kernel command, byte after byte; `failText` (may be null) for a
// failed write, `pauseMs` after each byte.
bool sendCommand(FdtRun &run, const BYTE *bytes, size_t count,
                 const char *failText, DWORD pauseMs) {
  for (size_t n = 0; n < count; ++n) {
    const bool sent = sendByte(run.link, bytes[n]);
    if (!sent && failText) {
      std::printf("%s", failText);
      return false;
    }
    if (pauseMs)
      Sleep(pauseMs);
  }
  return true;
}

bool acknowledged(FdtRun &run, DWORD waitMs, const char *failText) {
  if (ackWait(run.link, waitMs))
    return true;
  std::printf("%s", failText);
  return false;
}

// Reads and throws away whatever the kernel still sends, until a read of
// up to 100 bytes delivers nothing.
bool drain(FdtRun &run) {
  Sleep(COMMAND_PAUSE_MS);
  DWORD got = readInto(run.link, 0, DRAIN_READ_SIZE);
  const DWORD deadline = GetTickCount() + DRAIN_WAIT_MS;
  while (got > 0) {
    if (pastDeadline(deadline)) {
      std::printf("\nTime Out 6");
      return false;
    }
    got = readInto(run.link, 0, DRAIN_READ_SIZE);
  }
  return true;
}

// Both ends move to 115200 bit/s and confirm it with 0x06 each way.
bool changeBitRate(FdtRun &run) {
  if (!setBaudRate(LINE_BAUD_RATE)) {
    std::printf("Failed to change baud rate : error %ld\n",
                static_cast<long>(GetLastError()));
    return false;
  }
  Sleep(RATE_SWITCH_PAUSE_MS);
  return sendTested(run.link, ACK, "\nError doesn't write9") &&
         acknowledged(run, ACK_WAIT_MS, "\nACK NOT  received  Baud Rate !!!!");
}

// Steps 8 to 14: programming unit, device, clock mode, bit rate and the
// programming state.
bool setParameters(FdtRun &run) {
  std::printf("\n->SET PARAMETERS...");
  if (!sendTested(run.link, UNIT_INQUIRY, "\nError doesn't write6"))
    return false;
  if (!replyRead(run.link, UNIT_REPLY_WAIT_MS)) {
    std::printf("\nTime Out 5");
    return false;
  }
  for (DWORD n = 0; n < REPLY_SIZE; ++n)
    if (run.link.ReadBuf[n] != UNIT_REPLY[n]) {
      std::printf("\nError 2");
      return false;
    }
  if (!drain(run))
    return false;
  sendCommand(run, DEVICE_SELECTION, sizeof DEVICE_SELECTION, nullptr, 0);
  if (!acknowledged(run, ACK_WAIT_MS, "\nACK NOT received  DEVICE!!"))
    return false;
  Sleep(COMMAND_PAUSE_MS);
  if (!sendCommand(run, CLOCK_MODE_SELECTION, sizeof CLOCK_MODE_SELECTION,
                   "\nError doesn't write7", CLOCK_BYTE_PAUSE_MS) ||
      !acknowledged(run, ACK_WAIT_MS, "\nACK NOT received  SElect CLOCK MODE!!"))
    return false;
  Sleep(COMMAND_PAUSE_MS);
  if (!sendCommand(run, NEW_BIT_RATE, sizeof NEW_BIT_RATE, "\nError doesn't write8", 0) ||
      !acknowledged(run, ACK_WAIT_MS, "\nACK NOT received  Changing Baud RAte!!"))
    return false;
  if (!changeBitRate(run))
    return false;
  Sleep(COMMAND_PAUSE_MS);
  if (!sendTested(run.link, PROGRAMMING_STATE, "\nError doesn't write10") ||
      !acknowledged(run, ACK_WAIT_MS, "\nACK NOT  received   Finish Data Set !!!!"))
    return false;
  closeKernel(&run.microKernel);
  std::printf("OK");
  return true;
}

// Sends the kernel in WriteBuf; `*sum` becomes the 8-bit sum of its bytes.
bool sendKernelBytes(FdtRun &run, const char *failText, BYTE *sum) {
  *sum = 0;
  for (DWORD n = 0; n < run.kernelLength; ++n) {
    if (!sendTested(run.link, run.WriteBuf[n], failText))
      return false;
    *sum = static_cast<BYTE>(*sum + run.WriteBuf[n]);
  }
  return true;
}

// Sends four length bytes, most significant first, 10 ms apart.
bool sendLength(FdtRun &run, uint32_t length, const char *failText) {
  const BYTE bytes[4] = {static_cast<BYTE>(length >> 24), static_cast<BYTE>(length >> 16),
                         static_cast<BYTE>(length >> 8), static_cast<BYTE>(length)};
  return sendCommand(run, bytes, sizeof bytes, failText, LENGTH_BYTE_PAUSE_MS);
}

// Step 15: the main kernel, without echo, closed by its sum byte.
bool sendMainKernel(FdtRun &run) {
  std::printf("\n->SENDING MAIN KERNEL...");
  if (!loadKernel(run, MAIN_KERNEL, &run.mainKernel))
    return false;
  const uint16_t maxAddr = static_cast<uint16_t>(run.kernelLength);
  if (!sendLength(run, maxAddr, "\nError doesn't write11"))
    return false;
  Sleep(MAIN_KERNEL_PAUSE_MS);
  BYTE checksum = 0;
  if (!sendKernelBytes(run, "\nError doesn't write12", &checksum))
    return false;
  const BYTE sum = static_cast<BYTE>(0 - (MAIN_KERNEL_SUM_BASE + checksum));
  Sleep(MAIN_KERNEL_SUM_PAUSE_MS);
  if (!sendTested(run.link, sum, "\nError doesn't write13"))
    return false;
  if (!ackWait(run.link, MAIN_KERNEL_ACK_WAIT_MS)) {
    std::printf("\nACK NOT received MAIN KERNEL ..%x", slot(run));
    return false;
  }
  std::printf("OK");
  return true;
}

// Step 16: the kernel's status after the main kernel.
bool checkMainKernelStatus(FdtRun &run) {
  std::printf("\n->Set PARAMETERS...");
  Sleep(COMMAND_PAUSE_MS);
  if (!sendTested(run.link, STATUS_INQUIRY, "\nError doesn't write14"))
    return false;
  if (!replyRead(run.link, STATUS_WAIT_MS)) {
    std::printf("\nTime Out 7");
    return false;
  }
  const BYTE *reply = run.link.ReadBuf;
  const BYTE expected = expectedReplySum(reply);
  if (reply[4] != expected) {
    std::printf("Error checking sum %02x ....%02x", reply[4], expected);
    return false;
  }
  for (int n = 0; n < 4; ++n)
    if (reply[n] != MAIN_KERNEL_STATUS[n]) {
      std::printf("\nError 3");
      return false;
    }
  return true;
}

// Steps 17 and 18: user area programming and the write kernel. A missing
// acknowledgement of the write kernel is only a warning.
bool sendWriteKernel(FdtRun &run) {
  Sleep(COMMAND_PAUSE_MS);
  if (!sendTested(run.link, USER_AREA_PROGRAMMING, "\nError doesn't write15") ||
      !acknowledged(run, ACK_WAIT_MS, "\nACK NOT RECEIVE PrepareUser"))
    return false;
  closeKernel(&run.mainKernel);
  std::printf("OK");
  if (!loadKernel(run, WRITE_KERNEL, &run.writeKernel))
    return false;
  const uint32_t sizeBinary = run.kernelLength;
  sendLength(run, sizeBinary, nullptr);
  BYTE checksum = 0;
  if (!sendKernelBytes(run, "\nError doesn't write16", &checksum))
    return false;
  const BYTE sum = static_cast<BYTE>(0 - (WRITE_KERNEL_SUM_BASE + checksum));
  Sleep(WRITE_KERNEL_SUM_PAUSE_MS);
  if (!sendTested(run.link, sum, "\nError doesn't write17"))
    return false;
  acknowledged(run, ACK_WAIT_MS, "\nACK NOT received  FDTWrite ");
  closeKernel(&run.writeKernel);
  return true;
}

int runBootMode(FdtRun &run) {
  const int synced = synchronise(run);
  if (synced != 0)
    return synced;
  if (!sendMicroKernel(run) || !setParameters(run) || !sendMainKernel(run) ||
      !checkMainKernelStatus(run) || !sendWriteKernel(run))
    return RESULT_END;
  return writeFlashImage(run.link) ? FDT_DONE : RESULT_END;
}

} // namespace

int FDT() {
  static FdtRun run;
  run.microKernel = run.mainKernel = run.writeKernel = nullptr;
  run.retry = 0;
  const int result = runBootMode(run);
  closeKernel(&run.microKernel);
  closeKernel(&run.mainKernel);
  closeKernel(&run.writeKernel);
  return result;
}
