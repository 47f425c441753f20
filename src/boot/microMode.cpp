// The MICRO job on a card whose firmware runs: the firmware is asked to
// restart the micro in boot mode, then the boot-mode run rewrites its flash.
#include "boot/microMode.h"
#include "boot/FDT.h"
#include "link/port.h"

#include <cstdio>
#include <cstring>

namespace {

const char MICRO_MODE_COMMAND[] = "#MICROMODE\r";
const char MICRO_RESTART_COMMAND[] = "#MICRO\r";
const DWORD COMMAND_PAUSE_MS = 50;
const DWORD ANSWER_READ_SIZE = 50;

bool sendText(const char *text) {
  const DWORD length = static_cast<DWORD>(std::strlen(text));
  DWORD sent = 0;
  return portWrite(text, length, sent) && sent == length;
}

// "#MICROMODE\r"; any answer at all is followed by "#MICRO\r". Then the
// link drops to the boot program's 9600 bit/s. False when the job ends.
bool enterBootMode() {
  if (!sendText(MICRO_MODE_COMMAND))
    return false;
  Sleep(COMMAND_PAUSE_MS);
  BYTE ReadBuf[ANSWER_READ_SIZE];
  DWORD ret = 0;
  if (!portRead(ReadBuf, ANSWER_READ_SIZE, ret))
    ret = 0;
  if (ret > 0) {
    if (!sendText(MICRO_RESTART_COMMAND))
      return false;
    noteMicroChange(ADVICE_POWER_CYCLE_OR_RUN_AGAIN,
                    "the micro waits in its boot program, its firmware still in flash");
    Sleep(COMMAND_PAUSE_MS);
  }
  if (!setBaudRate(BOOT_BAUD_RATE)) {
    std::printf("Failed to set port state : error %ld\n", static_cast<long>(GetLastError()));
    return false;
  }
  return true;
}

} // namespace

void noteMicroChange(CardAdvice advice, const char *state) {
  noteRerunCommand("MICRO", "");
  noteCardChange(advice, state);
}

int runMicroJob() {
  const DWORD begin = GetTickCount();
  if (!enterBootMode())
    return -1;
  const BootRunResult result = FDT();
  printTime(begin, 1);
  return result == BootRunResult::FlashWritten ? 0 : -1;
}
