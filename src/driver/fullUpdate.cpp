// The full update (ALL): the EDID, video processor flash devices 5 and 1
// with their ISP drivers, and the FPGA, from the fixed update files, in
// that order.
#include "channel/command.h"
#include "channel/edid.h"
#include "channel/fpga.h"
#include "driver/fullUpdate.h"
#include "link/port.h"
#include "isp/flash.h"

#include <cstdio>

namespace {

const int LOAD_FAILED = -1;
const DWORD DRIVER_PAUSE_MS = 1000;
const char END_ISP[] = "=ME\r";
const unsigned short END_ISP_LENGTH = 4;

// The driver, a pause, then the device image and "=ME\r". False (after the
// key wait) when a load failed.
bool loadDevice(const char *driver, const char *image, int device,
                const char *announce) {
  std::printf("Loading ISP Driver...\n");
  bool loaded = loadFile(driver, DRIVER_DEVICE) != LOAD_FAILED;
  if (loaded) {
    Sleep(DRIVER_PAUSE_MS);
    std::printf("%s", announce);
    loaded = loadFile(image, device) != LOAD_FAILED;
  }
  if (!loaded) {
    std::printf("Press a key to continue ... ");
    readKey();
    return false;
  }
  sendMicroCmd(END_ISP, END_ISP_LENGTH);
  return true;
}

} // namespace

int ProgramALL(unsigned char device1Present, unsigned char device5Present,
               unsigned char fpgaPresent, unsigned char edidPresent) {
  const DWORD begin = GetTickCount();
  // A failed EDID or FPGA step lets the others run; the result remembers it.
  bool allDone = !edidPresent || ProgramEDID("EDID.bin") == 0;
  if (!setTimeoutProfile(STREAM_TIMEOUTS)) {
    std::printf("Failed to set timeout : error %ld\n",
                static_cast<long>(GetLastError()));
    return -1;
  }
  if (device5Present &&
      !loadDevice("FDriver.bin", "Device5.bin", 5, "Programm Device5.bin ...\n"))
    return -1;
  if (device1Present &&
      !loadDevice("SFDriver.bin", "Device1.bin", 1, "Programm Device1.bin ...\n"))
    return -1;
  if (fpgaPresent && ProgramFPGA("fpga.xsvf") != 0)
    allDone = false;
  printTime(begin, 1);
  return allDone ? 0 : -1;
}
