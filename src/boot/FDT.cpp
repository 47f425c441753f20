// The boot-mode run of the micro: the steps of FDT.h in turn, each group in
// its own file, and what they share: the kernel files and the kernel
// command's bytes and acknowledgement.
#include "boot/FDT.h"

#include "boot/bootRun.h"
#include "boot/flashWrite.h"
#include "link/updateFile.h"

#include <cstdio>

void closeKernel(FILE **kernel) {
  if (*kernel)
    std::fclose(*kernel);
  *kernel = nullptr;
}

bool loadKernel(BootRun &run, const char *name, FILE **kernel) {
  *kernel = openUpdateFile(name);
  if (!*kernel) {
    std::printf("/nFile load error\n");
    return false;
  }
  std::rewind(*kernel);
  run.kernelLength = static_cast<DWORD>(std::fread(run.WriteBuf, 1, KERNEL_MAX_SIZE, *kernel));
  return true;
}

bool sendCommand(const BYTE *bytes, size_t count, const char *failText, DWORD pauseMs) {
  for (size_t n = 0; n < count; ++n) {
    const bool sent = sendByte(bytes[n]);
    if (!sent && failText) {
      std::printf("%s", failText);
      return false;
    }
    if (pauseMs)
      Sleep(pauseMs);
  }
  return true;
}

bool acknowledged(BootRun &run, DWORD waitMs, const char *failText) {
  if (ackWait(run.link, waitMs))
    return true;
  std::printf("%s", failText);
  return false;
}

namespace {

BootRunResult runBootMode(BootRun &run) {
  const SyncResult synced = synchronise(run);
  if (synced == SyncResult::NoBootProgram)
    return BootRunResult::NoBootProgram;
  if (synced != SyncResult::Reached)
    return BootRunResult::Failed;
  if (!sendMicroKernel(run) || !setParameters(run) || !sendMainKernel(run) ||
      !checkMainKernelStatus(run) || !sendWriteKernel(run))
    return BootRunResult::Failed;
  return writeFlashImage(run.link) ? BootRunResult::FlashWritten : BootRunResult::Failed;
}

} // namespace

BootRunResult FDT() {
  static BootRun run;
  run.microKernel = run.mainKernel = run.writeKernel = nullptr;
  run.retry = 0;
  const BootRunResult result = runBootMode(run);
  closeKernel(&run.microKernel);
  closeKernel(&run.mainKernel);
  closeKernel(&run.writeKernel);
  return result;
}
