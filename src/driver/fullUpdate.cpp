// The full update (ALL): the EDID, video processor flash devices 5 and 1
// with their ISP drivers, and the FPGA, from the fixed update files, in
// that order.
#include "channel/command.h"
#include "channel/edid.h"
#include "channel/fpga.h"
#include "driver/fullUpdate.h"
#include "link/jobResult.h"
#include "link/port.h"
#include "isp/flash.h"

#include <cstdio>

namespace {

const int LOAD_FAILED = -1;
const DWORD DRIVER_PAUSE_MS = 1000;
const char END_ISP[] = "=ME\r";
const unsigned short END_ISP_LENGTH = 4;
const char DEVICE5_IMAGE[] = "Device5.bin";
const char DEVICE1_IMAGE[] = "Device1.bin";

// The device images are tested as the VIPER job tests its image, before
// anything is sent: an image that cannot be written whole stops the full
// update (after the key wait) before the EDID and the driver loads.
bool imagesAcceptable(unsigned char device1Present, unsigned char device5Present) {
  const bool acceptable = (device5Present == 0 || imageFileAcceptable(DEVICE5_IMAGE, 5)) &&
                          (device1Present == 0 || imageFileAcceptable(DEVICE1_IMAGE, 1));
  if (!acceptable)
    pressAKey();
  return acceptable;
}

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
    pressAKey();
    return false;
  }
  sendMicroCmd(END_ISP, END_ISP_LENGTH);
  return true;
}

} // namespace

int ProgramALL(unsigned char device1Present, unsigned char device5Present,
               unsigned char fpgaPresent, unsigned char edidPresent) {
  if (!imagesAcceptable(device1Present, device5Present))
    return JOB_REFUSED;
  const DWORD begin = GetTickCount();
  // A failed EDID or FPGA step lets the others run; the result remembers it.
  bool allDone = edidPresent == 0 || ProgramEDID("EDID.bin") == 0;
  if (!setTimeoutProfile(STREAM_TIMEOUTS)) {
    std::printf("Failed to set timeout : error %ld\n",
                static_cast<long>(GetLastError()));
    return -1;
  }
  if (device5Present &&
      !loadDevice("FDriver.bin", DEVICE5_IMAGE, 5, "Programm Device5.bin ...\n"))
    return -1;
  if (device1Present &&
      !loadDevice("SFDriver.bin", DEVICE1_IMAGE, 1, "Programm Device1.bin ...\n"))
    return -1;
  if (fpgaPresent && ProgramFPGA("fpga.xsvf") != 0)
    allDone = false;
  printTime(begin, 1);
  return allDone ? 0 : -1;
}
