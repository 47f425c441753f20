// What the files of the boot-mode run share: the run's state, the helpers
// several steps use, and the step groups that FDT calls in turn. The
// protocol itself is described in FDT.h.
#pragma once

#include "boot/FDT.h"
#include "boot/bootLink.h"

#include <cstdio>

const DWORD WRITE_BUF_SIZE = 5000;
// The micro kernel's echo of byte i lands in ReadBuf[i]: the largest kernel
// must fit the read buffer, as it must fit the write buffer it is sent from.
static_assert(KERNEL_MAX_SIZE <= READ_BUF_SIZE, "a kernel's echo overruns the read buffer");
static_assert(KERNEL_MAX_SIZE <= WRITE_BUF_SIZE, "a kernel overruns the write buffer");

// The boot program's answer to 0x55, and again after the micro kernel.
const BYTE CONFIRM_REPLY = 0xAA;
const DWORD ACK_WAIT_MS = 7000;
const DWORD COMMAND_PAUSE_MS = 1000; // before most kernel commands

struct BootRun {
  BootLink link;
  BYTE WriteBuf[WRITE_BUF_SIZE];
  DWORD kernelLength;
  FILE *microKernel;
  FILE *mainKernel;
  FILE *writeKernel;
  int retry;
};

// The receive slot, ReadBuf[0].
inline BYTE &slot(BootRun &run) { return run.link.ReadBuf[0]; }

// Opens a kernel and reads up to 4000 bytes of it into WriteBuf.
bool loadKernel(BootRun &run, const char *name, FILE **kernel);
void closeKernel(FILE **kernel);

// Sends a kernel command, byte after byte; `failText` (may be null) for a
// failed write, `pauseMs` after each byte.
bool sendCommand(const BYTE *bytes, size_t count, const char *failText, DWORD pauseMs);
// Waits for 0x06 within `waitMs`; prints `failText` when it does not come.
bool acknowledged(BootRun &run, DWORD waitMs, const char *failText);

enum class SyncResult { Reached, Retry, Failed, NoBootProgram };

// Steps 1 and 2 (bootSync.cpp): Reached when the boot program is in step;
// Failed or NoBootProgram end the run.
SyncResult synchronise(BootRun &run);

// Steps 3 to 7 (kernelDownloads.cpp): the micro kernel, every byte echoed,
// then 0xAA and the erase result.
bool sendMicroKernel(BootRun &run);

// Steps 8 to 14 (kernelSetup.cpp): programming unit, device, clock mode,
// bit rate and the programming state.
bool setParameters(BootRun &run);

// Steps 15 to 18 (kernelDownloads.cpp): the main kernel, the kernel's
// status, user area programming and the write kernel.
bool sendMainKernel(BootRun &run);
bool checkMainKernelStatus(BootRun &run);
bool sendWriteKernel(BootRun &run);
