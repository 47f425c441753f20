// The full update (ALL) from the fixed update files that the scan found.
#pragma once

// 0 when every step ran and succeeded, JOB_REFUSED for a device image that
// cannot be written whole (nothing was sent), else -1.
int runAllJob(unsigned char device1Present, unsigned char device5Present, unsigned char fpgaPresent,
              unsigned char edidPresent);
