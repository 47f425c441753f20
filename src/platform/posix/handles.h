// The handles of the POSIX layer and the last error, shared by its rooms: a
// handle is an open serial port (serialPort.cpp) or an open plain file
// (files.cpp), and every call that fails leaves a Windows error code for
// GetLastError() with the system's errno behind it.
#pragma once

#include "platform/platform.h"

// What a handle stands for: an open serial port or an open plain file.
struct Handle {
  int fd;
  bool serial;
  COMMTIMEOUTS timeouts;
  DWORD rtsControl;
  bool lowLatencySet; // the driver's low-latency mode was off and we set it
};

// Records the system error `err` as the last error; returns FALSE, for the
// failing call to return.
BOOL fail(int err);

// Records that the last call succeeded; the errno of an earlier failure
// stays behind it.
void reportSuccess();

// The handle behind a HANDLE; null, with the last error set, for a null or
// invalid one.
Handle *asHandle(HANDLE h);
