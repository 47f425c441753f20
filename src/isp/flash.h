// Writing the video processor's flash devices: the ISP driver load and the
// image load of one file (loadFile), used by the VIPER job and the full
// update.
#pragma once

#include "isp/flashio.h"

// Loads one file: device 0 an ISP driver, devices 1 to 4 an image written in
// place, devices 5 and 7 an image whose 256-byte header is written last.
// Other IDs send nothing. Needs the open port under a profile whose reads
// return within about a millisecond. Returns 0 on success, -1 on failure.
int loadFile(const char *filename, int device);

// The VIPER job: loads the ISP driver, then writes flash device `device`.
// 0, -1, or JOB_REFUSED for an image that cannot be written whole.
int runViperJob(int device, const char *fileName);
