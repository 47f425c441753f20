// The full update's look for its fixed update files in the working directory.
#pragma once

struct UpdateSet {
  unsigned char device1Present;
  unsigned char device5Present;
  unsigned char fpgaPresent;
  unsigned char edidPresent;
  unsigned char driverMissing; // a device was dropped for want of its driver
};

// Prints what is found and fills `found`; EDID.bin only on a model that
// accepts an EDID. False (after "No update available.") when there is
// nothing to do.
bool scanUpdateFiles(bool acceptsEdid, UpdateSet *found);
