// Opening an update file (image, driver, kernel, XSVF, EDID, gamma table,
// script) for reading.
#pragma once

#include <cstdio>

// The update file `name`, opened "rb"; null when it cannot be opened. A
// name that is no plain file (a FIFO, a device such as /dev/zero, a
// directory) is refused, and standard error says why.
FILE *openUpdateFile(const char *name);
