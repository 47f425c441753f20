// Plain files on POSIX systems (files.cpp), as CreateFileA opens them.
#pragma once

#include "platform/platform.h"

// A plain file, for reading: anything else (a FIFO, a device) is refused,
// and opening it never waits.
HANDLE openFile(const char *name);
