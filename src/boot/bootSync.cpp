// Steps 1 and 2 of the boot-mode run: 0x00 until the boot program answers
// it at the same bit rate, then 0x55 and its 0xAA.
#include "boot/bootRun.h"

#include "link/port.h"

#include <cstdio>

namespace {

const BYTE SYNC_BYTE = 0x00;
const BYTE CONFIRM_BYTE = 0x55;
const DWORD SYNC_WINDOW_MS = 10000;
const DWORD CONFIRM_WAIT_MS = 2000;
const int CONFIRM_RETRIES = 4; // after five expired waits the run ends

// True once a synchronisation window has expired in this process: only the
// first expired window ends a run with NoBootProgram.
bool syncWindowExpired = false;

// Sends 0x00 until the boot program answers 0x00. The first window that
// expires in the process ends the run with NoBootProgram; later windows
// print their advice once each and go on.
SyncResult waitForSync(BootRun &run) {
  DWORD deadline = GetTickCount() + SYNC_WINDOW_MS;
  slot(run) = SLOT_PRESET;
  for (;;) {
    if (!sendTested(
            SYNC_BYTE,
            "\nUnable to write on the COM port\nCheck if the jumpers are at the right place"))
      return SyncResult::Failed;
    if (readSlot(run.link) == 1 && slot(run) == SYNC_BYTE)
      return SyncResult::Reached;
    if (pastDeadline(deadline)) {
      if (!syncWindowExpired) {
        std::printf(
            "\nTime Out...No communication with Boot Program...Maybe there's an old firmware...");
        std::printf("\nNow Calling the function to check the version of the firmware...");
        syncWindowExpired = true;
        return SyncResult::NoBootProgram;
      }
      std::printf(
          "\nTime out...No old firmware...No communication..Reboot the card and try again...");
      std::printf(
          "\nBe sure that the jumpers for the RS-232 commmunications are at the right place");
      deadline = GetTickCount() + SYNC_WINDOW_MS;
    }
  }
}

SyncResult confirmSync(BootRun &run) {
  if (!sendTested(CONFIRM_BYTE, "\nError doesn't write2"))
    return SyncResult::Failed;
  const DWORD deadline = GetTickCount() + CONFIRM_WAIT_MS;
  readSlot(run.link);
  while (slot(run) != CONFIRM_REPLY) {
    if (pastDeadline(deadline)) {
      std::printf("\nTime Out...Retry...");
      ++run.retry;
      return SyncResult::Retry;
    }
    if (run.retry > CONFIRM_RETRIES)
      return SyncResult::Failed;
    readSlot(run.link);
  }
  std::printf("OK");
  return SyncResult::Reached;
}

} // namespace

SyncResult synchronise(BootRun &run) {
  std::printf("\n->CHECKING COMMUNICATION WITH SH2...");
  for (;;) {
    const SyncResult waited = waitForSync(run);
    if (waited != SyncResult::Reached)
      return waited;
    const SyncResult confirmed = confirmSync(run);
    if (confirmed != SyncResult::Retry)
      return confirmed;
  }
}
