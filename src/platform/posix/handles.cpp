// The last error of the POSIX layer (handles.h): the Windows error code that
// GetLastError() gives, the errno behind it for the wire trace and for
// telling a port that has gone from other failures, and the handles' check.
#include "handles.h"

#include <cerrno>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;
// The system's own error number behind `lastError`, for the trace and for
// telling a port that has gone from other failures.
thread_local int lastErrno = 0;

DWORD windowsError(int err) {
  switch (err) {
  case 0:
    return ERROR_SUCCESS;
  case ENOENT:
  case ENXIO:
  case ENODEV:
  case ENOTDIR:
    return ERROR_FILE_NOT_FOUND;
  case EACCES:
  case EPERM:
  case EBUSY:
  case EWOULDBLOCK:
    return ERROR_ACCESS_DENIED;
  case ENOTTY:
  case EINVAL:
    return ERROR_INVALID_FUNCTION;
  case EBADF:
    return ERROR_INVALID_HANDLE;
  default:
    return ERROR_GEN_FAILURE;
  }
}

} // namespace

BOOL fail(int err) {
  lastErrno = err;
  lastError = windowsError(err);
  return FALSE;
}

void reportSuccess() { lastError = ERROR_SUCCESS; }

Handle *asHandle(HANDLE h) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) {
    fail(EBADF);
    return nullptr;
  }
  return static_cast<Handle *>(h);
}

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) {
  lastError = code;
  if (code == ERROR_SUCCESS)
    lastErrno = 0;
}

bool portHasGone() {
  // EIO: the line hung up under an open descriptor (a USB adapter pulled
  // out, the far end of a pseudo-terminal closed); ENXIO and ENODEV: the
  // device behind the node is no more.
  return lastErrno == EIO || lastErrno == ENXIO || lastErrno == ENODEV;
}

const char *lastErrorName() {
  static const struct {
    int number;
    const char *name;
  } kNames[] = {{EIO, "EIO"},       {ENXIO, "ENXIO"}, {ENODEV, "ENODEV"},   {ENOENT, "ENOENT"},
                {EACCES, "EACCES"}, {EPERM, "EPERM"}, {EBUSY, "EBUSY"},     {ENOTTY, "ENOTTY"},
                {EINVAL, "EINVAL"}, {EBADF, "EBADF"}, {ENOTDIR, "ENOTDIR"}, {EAGAIN, "EAGAIN"}};
  for (const auto &entry : kNames)
    if (entry.number == lastErrno)
      return entry.name;
  return "";
}
