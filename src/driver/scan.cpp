#include "driver/scan.h"

#include "platform/platform.h"

#include <cstdio>

namespace {

bool present(const char *name) { return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; }

// Prints "name : " and YES or NO; returns presence.
unsigned char reportFile(const char *name) {
  std::printf("%s : ", name);
  const bool found = present(name);
  std::printf(found ? "\tYES\n" : "\tNO\n");
  return found ? 1 : 0;
}

// A device needs its ISP driver; without it the device step is dropped.
void requireDriver(const char *driver, int deviceNumber, unsigned char *devicePresent,
                   unsigned char *driverMissing) {
  if (!*devicePresent)
    return;
  std::printf("%s : ", driver);
  if (present(driver)) {
    std::printf("\tYES\n");
  } else {
    std::printf("\tNO  (ERROR - You need a driver to update device%d.)\n", deviceNumber);
    *devicePresent = 0;
    *driverMissing = 1;
  }
}

} // namespace

bool scanUpdateFiles(bool acceptsEdid, UpdateSet *found) {
  std::printf("\nLooking for update files ... \n\n");
  found->device1Present = reportFile("Device1.bin");
  found->device5Present = reportFile("Device5.bin");
  found->driverMissing = 0;
  requireDriver("SFDriver.bin", 1, &found->device1Present, &found->driverMissing);
  requireDriver("FDriver.bin", 5, &found->device5Present, &found->driverMissing);
  found->fpgaPresent = reportFile("fpga.xsvf");
  if (acceptsEdid)
    found->edidPresent = reportFile("EDID.bin");
  if (!found->device1Present && !found->device5Present && !found->fpgaPresent &&
      !found->edidPresent) {
    std::printf("No update available.");
    return false;
  }
  return true;
}
