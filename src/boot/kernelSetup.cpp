// Steps 8 to 14 of the boot-mode run: the micro kernel's command protocol
// sets the programming unit, device, clock mode and bit rate, moves both
// ends to 115200 bit/s and enters the programming state.
#include "boot/bootRun.h"

#include "link/port.h"

#include <cstdio>

namespace {

const BYTE UNIT_INQUIRY = 0x27;
const BYTE UNIT_REPLY[REPLY_SIZE] = {0x37, 0x02, 0x00, 0x80, 0x47}; // 128 bytes
const BYTE DEVICE_SELECTION[] = {0x10, 0x04, 0x30, 0x34, 0x31, 0x30, 0x27};
const BYTE CLOCK_MODE_SELECTION[] = {0x11, 0x01, 0x03, 0xEB};
// New bit rate: 1152 x 100 bit/s, input clock 11.06 MHz, ratios 4 and 2.
const BYTE NEW_BIT_RATE[] = {0x3F, 0x07, 0x04, 0x80, 0x04, 0x52, 0x02, 0x04, 0x02, 0xD8};
const BYTE PROGRAMMING_STATE = 0x40;

// Waits and pauses, in ms.
const DWORD UNIT_REPLY_WAIT_MS = 5000;
const DWORD DRAIN_WAIT_MS = 5000;
const DWORD CLOCK_BYTE_PAUSE_MS = 1000; // after each clock mode byte
const DWORD RATE_SWITCH_PAUSE_MS = 50;
const DWORD DRAIN_READ_SIZE = 100;

// Reads and throws away whatever the kernel still sends, until a read of
// up to 100 bytes delivers nothing.
bool drain(BootRun &run) {
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
bool changeBitRate(BootRun &run) {
  if (!setBaudRate(LINE_BAUD_RATE)) {
    std::printf("Failed to change baud rate : error %ld\n", static_cast<long>(GetLastError()));
    return false;
  }
  Sleep(RATE_SWITCH_PAUSE_MS);
  return sendTested(ACK, "\nError doesn't write9") &&
         acknowledged(run, ACK_WAIT_MS, "\nACK NOT  received  Baud Rate !!!!");
}

// Steps 8 and 9: the programming unit must be the 128-byte block, and
// nothing more may follow its reply.
bool checkProgrammingUnit(BootRun &run) {
  if (!sendTested(UNIT_INQUIRY, "\nError doesn't write6"))
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
  return drain(run);
}

} // namespace

bool setParameters(BootRun &run) {
  std::printf("\n->SET PARAMETERS...");
  if (!checkProgrammingUnit(run))
    return false;
  sendCommand(DEVICE_SELECTION, sizeof DEVICE_SELECTION, nullptr, 0);
  if (!acknowledged(run, ACK_WAIT_MS, "\nACK NOT received  DEVICE!!"))
    return false;
  Sleep(COMMAND_PAUSE_MS);
  if (!sendCommand(CLOCK_MODE_SELECTION, sizeof CLOCK_MODE_SELECTION, "\nError doesn't write7",
                   CLOCK_BYTE_PAUSE_MS) ||
      !acknowledged(run, ACK_WAIT_MS, "\nACK NOT received  SElect CLOCK MODE!!"))
    return false;
  Sleep(COMMAND_PAUSE_MS);
  if (!sendCommand(NEW_BIT_RATE, sizeof NEW_BIT_RATE, "\nError doesn't write8", 0) ||
      !acknowledged(run, ACK_WAIT_MS, "\nACK NOT received  Changing Baud RAte!!"))
    return false;
  if (!changeBitRate(run))
    return false;
  Sleep(COMMAND_PAUSE_MS);
  if (!sendTested(PROGRAMMING_STATE, "\nError doesn't write10") ||
      !acknowledged(run, ACK_WAIT_MS, "\nACK NOT  received   Finish Data Set !!!!"))
    return false;
  closeKernel(&run.microKernel);
  std::printf("OK");
  return true;
}
