// The three kernel downloads of the boot-mode run: the micro kernel through
// the boot program, every byte echoed (steps 3 to 7), then, through the
// kernel's command protocol, the main kernel with the status it reports
// and the write kernel (steps 15 to 18).
#include "boot/bootRun.h"

#include "boot/flashWrite.h"
#include "boot/microMode.h"
#include "link/port.h"

#include <cstdio>

namespace {

const BYTE ERASE_FAILED = 0xFF;
const BYTE USER_AREA_PROGRAMMING = 0x43;
const BYTE MAIN_KERNEL_STATUS[4] = {0x5F, 0x02, 0x03, 0x00};
// Constants that enter the kernels' sums besides their bytes.
const BYTE MAIN_KERNEL_SUM_BASE = 0x75;
const BYTE WRITE_KERNEL_SUM_BASE = 0x9A;

// Waits and pauses, in ms.
const DWORD ECHO_WAIT_MS = 5000;
const DWORD ERASE_WAIT_MS = 5000;
const DWORD ERASE_RESULT_WAIT_MS = 100; // no result at all lets the run go on
const DWORD MAIN_KERNEL_ACK_WAIT_MS = 3000;
const DWORD STATUS_WAIT_MS = 10000;
const DWORD LENGTH_BYTE_PAUSE_MS = 10;
const DWORD MAIN_KERNEL_PAUSE_MS = 100;
const DWORD MAIN_KERNEL_SUM_PAUSE_MS = 2000;
const DWORD WRITE_KERNEL_SUM_PAUSE_MS = 10;

void printByteProgress(DWORD i, DWORD length) {
  std::printf("%cJob at %0.2f %c", 13, static_cast<double>(i) / length * 100 + 0.05, 37);
}

bool sendEchoed(BootRun &run, BYTE b, const char *writeText, const char *timeText) {
  if (!sendTested(b, writeText))
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
bool readEraseResult(BootRun &run) {
  const DWORD deadline = GetTickCount() + ERASE_RESULT_WAIT_MS;
  while (readSlot(run.link) == 0)
    if (pastDeadline(deadline))
      return false;
  return true;
}

// Sends the kernel in WriteBuf; `*sum` becomes the 8-bit sum of its bytes.
bool sendKernelBytes(BootRun &run, const char *failText, BYTE *sum) {
  *sum = 0;
  for (DWORD n = 0; n < run.kernelLength; ++n) {
    if (!sendTested(run.WriteBuf[n], failText))
      return false;
    *sum = static_cast<BYTE>(*sum + run.WriteBuf[n]);
  }
  return true;
}

// Sends four length bytes, most significant first, 10 ms apart.
bool sendLength(uint32_t length, const char *failText) {
  const BYTE bytes[4] = {static_cast<BYTE>(length >> 24), static_cast<BYTE>(length >> 16),
                         static_cast<BYTE>(length >> 8), static_cast<BYTE>(length)};
  return sendCommand(bytes, sizeof bytes, failText, LENGTH_BYTE_PAUSE_MS);
}

} // namespace

bool sendMicroKernel(BootRun &run) {
  std::printf("\n->SENDING MICRO KERNEL...\n");
  if (!loadKernel(run, MICRO_KERNEL, &run.microKernel))
    return false;
  const uint16_t maxAddr = static_cast<uint16_t>(run.kernelLength);
  if (!sendEchoed(run, static_cast<BYTE>(maxAddr >> 8), "\nError doesn't write3", "\nTime Out1") ||
      !sendEchoed(run, static_cast<BYTE>(maxAddr & 0xFF), "\nError doesn't write4", "\nTime Out 2"))
    return false;
  for (DWORD i = 0; i < maxAddr; ++i) {
    const DWORD deadline = GetTickCount() + ECHO_WAIT_MS;
    if (!sendTested(run.WriteBuf[i], "\nError doesn't write5"))
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

// Step 15: the main kernel, without echo, closed by its sum byte.
bool sendMainKernel(BootRun &run) {
  std::printf("\n->SENDING MAIN KERNEL...");
  if (!loadKernel(run, MAIN_KERNEL, &run.mainKernel))
    return false;
  const uint16_t maxAddr = static_cast<uint16_t>(run.kernelLength);
  if (!sendLength(maxAddr, "\nError doesn't write11"))
    return false;
  Sleep(MAIN_KERNEL_PAUSE_MS);
  BYTE checksum = 0;
  if (!sendKernelBytes(run, "\nError doesn't write12", &checksum))
    return false;
  const BYTE sum = static_cast<BYTE>(0 - (MAIN_KERNEL_SUM_BASE + checksum));
  Sleep(MAIN_KERNEL_SUM_PAUSE_MS);
  if (!sendTested(sum, "\nError doesn't write13"))
    return false;
  if (!ackWait(run.link, MAIN_KERNEL_ACK_WAIT_MS)) {
    std::printf("\nACK NOT received MAIN KERNEL ..%x", slot(run));
    return false;
  }
  std::printf("OK");
  return true;
}

// Step 16: the kernel's status after the main kernel.
bool checkMainKernelStatus(BootRun &run) {
  std::printf("\n->Set PARAMETERS...");
  Sleep(COMMAND_PAUSE_MS);
  if (!sendTested(STATUS_INQUIRY, "\nError doesn't write14"))
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
bool sendWriteKernel(BootRun &run) {
  Sleep(COMMAND_PAUSE_MS);
  if (!sendTested(USER_AREA_PROGRAMMING, "\nError doesn't write15") ||
      !acknowledged(run, ACK_WAIT_MS, "\nACK NOT RECEIVE PrepareUser"))
    return false;
  closeKernel(&run.mainKernel);
  std::printf("OK");
  if (!loadKernel(run, WRITE_KERNEL, &run.writeKernel))
    return false;
  const uint32_t sizeBinary = run.kernelLength;
  sendLength(sizeBinary, nullptr);
  BYTE checksum = 0;
  if (!sendKernelBytes(run, "\nError doesn't write16", &checksum))
    return false;
  const BYTE sum = static_cast<BYTE>(0 - (WRITE_KERNEL_SUM_BASE + checksum));
  Sleep(WRITE_KERNEL_SUM_PAUSE_MS);
  if (!sendTested(sum, "\nError doesn't write17"))
    return false;
  acknowledged(run, ACK_WAIT_MS, "\nACK NOT received  FDTWrite ");
  closeKernel(&run.writeKernel);
  return true;
}
