// The wire trace (trace.cpp) and the port-gone check: the port's own
// functions (port.cpp) call these right after each serial call on `h`,
// with the call's result `ok`. The trace follows the port opened last;
// other handles are left out. None of them changes the call's last error.
#pragma once

#include "platform/platform.h"

// CreateFileA of `name` gave `h`; a port name ("\\.\COM1") is traced.
void traceOpen(LPCSTR name, HANDLE h);
void traceClose(HANDLE h, BOOL ok);
// The bit rate and the RTS line of `line`, as applied.
void traceLineSettings(HANDLE h, const DCB &line, BOOL ok);
void traceTimeouts(HANDLE h, const COMMTIMEOUTS &timeouts, BOOL ok);
// The `moved` bytes at `data` that a read ('<') or write ('>') moved.
void traceRead(HANDLE h, const void *data, DWORD moved, BOOL ok);
void traceWrite(HANDLE h, const void *data, DWORD moved, BOOL ok);

// A failed call on the traced port that says the port has gone calls the
// handler set by onPortGone (port.h), once.
void checkPortGone(HANDLE h, BOOL ok);
