// Reads and writes on POSIX systems, with the meaning the updater relies on
// from the Windows API: a serial port's read waits by its COMMTIMEOUTS
// (platform.h spells out the rules), a write waits up to its write time-out
// and reports the bytes that moved, and a read that returns fewer bytes
// than asked timed out, which is no failure. The waits are poll()s on the
// port, which never blocks otherwise.
#include "platform/platform.h"

#include "clock.h"
#include "handles.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace {

// Waits until fd is ready for `events` or `deadlineNs` (real time) passes;
// deadlineNs < 0 waits without end. True when ready (or hung up). With
// `lastLook`, a deadline already past still looks once, without waiting.
bool waitReady(int fd, short events, int64_t deadlineNs, bool lastLook = false) {
  for (;;) {
    timespec timeout{};
    timespec *limit = nullptr;
    if (deadlineNs >= 0) {
      const int64_t left = std::max<int64_t>(0, deadlineNs - nowNs());
      if (left == 0 && !lastLook)
        return false;
      timeout.tv_sec = static_cast<time_t>(left / 1000000000);
      timeout.tv_nsec = static_cast<long>(left % 1000000000);
      limit = &timeout;
    }
    pollfd p{fd, events, 0};
    const int n = ppoll(&p, 1, limit, nullptr);
    if (n > 0)
      return true;
    if (n == 0)
      return false; // the time is up
    if (errno != EINTR)
      return true; // let the read or write report the error
  }
}

// Bytes to wait for, and how long: the Windows read time-out rules.
struct ReadPlan {
  bool returnWhenAny; // return as soon as anything has arrived
  int64_t totalNs;    // whole read, -1 = no limit
  int64_t intervalNs; // between bytes once one came, -1 = no limit
};

ReadPlan readPlan(const COMMTIMEOUTS &t, DWORD count) {
  const DWORD ri = t.ReadIntervalTimeout, rm = t.ReadTotalTimeoutMultiplier,
              rc = t.ReadTotalTimeoutConstant;
  if (ri == MAXDWORD && rm == 0 && rc == 0)
    return {true, 0, -1};
  if (ri == MAXDWORD && rm == MAXDWORD && rc != 0 && rc != MAXDWORD)
    return {true, realNs(rc), -1};
  ReadPlan plan{false, -1, -1};
  if (rm != 0 || rc != 0)
    plan.totalNs = realNs(static_cast<uint64_t>(rm) * count + rc);
  if (ri != 0)
    plan.intervalNs = realNs(ri);
  return plan;
}

// Reads what is waiting, without blocking. -1 on a failed or hung-up line.
ssize_t readAvailable(int fd, BYTE *into, DWORD room) {
  ssize_t n = read(fd, into, room);
  if (n > 0)
    return n;
  if (n < 0 && (errno == EAGAIN || errno == EINTR))
    return 0;
  if (n == 0)
    errno = EIO; // end of file on a terminal: the other end has gone
  return -1;
}

// Waits first and reads what has come: a read that finds nothing costs one
// poll, one whose bytes are there a poll and a read (a serial line's bytes
// come a few at a time, so each call counts).
BOOL readSerial(Handle *h, BYTE *buffer, DWORD count, DWORD *got) {
  const ReadPlan plan = readPlan(h->timeouts, count);
  const int64_t totalDeadline = plan.totalNs < 0 ? -1 : nowNs() + plan.totalNs;
  int64_t deadline = totalDeadline;
  DWORD have = 0;
  while (have < count && waitReady(h->fd, POLLIN, deadline, true)) {
    const ssize_t n = readAvailable(h->fd, buffer + have, count - have);
    if (n < 0) {
      *got = have;
      return fail(errno);
    }
    have += static_cast<DWORD>(n);
    if (plan.returnWhenAny && have > 0)
      break;
    if (have > 0 && plan.intervalNs >= 0) {
      const int64_t interval = nowNs() + plan.intervalNs;
      deadline = totalDeadline < 0 ? interval : std::min(totalDeadline, interval);
    }
  }
  *got = have;
  return TRUE;
}

BOOL writeSerial(Handle *h, const BYTE *data, DWORD count, DWORD *written) {
  const COMMTIMEOUTS &t = h->timeouts;
  const uint64_t totalMs =
      static_cast<uint64_t>(t.WriteTotalTimeoutMultiplier) * count + t.WriteTotalTimeoutConstant;
  const int64_t deadline = totalMs == 0 ? -1 : nowNs() + realNs(totalMs);
  DWORD done = 0;
  while (done < count) {
    ssize_t n = write(h->fd, data + done, count - done);
    if (n > 0) {
      done += static_cast<DWORD>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      *written = done;
      return fail(errno);
    }
    if (!waitReady(h->fd, POLLOUT, deadline))
      break; // write time-out: report the bytes that moved
  }
  *written = done;
  return TRUE;
}

} // namespace

BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
  Handle *h = asHandle(handle);
  if (!h)
    return FALSE;
  if (!h->serial)
    return fail(ENOTTY);
  h->timeouts = *timeouts;
  return TRUE;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED) {
  Handle *h = asHandle(handle);
  *got = 0;
  if (!h)
    return FALSE;
  BYTE *into = static_cast<BYTE *>(buffer);
  if (h->serial)
    return readSerial(h, into, count, got);
  ssize_t n = read(h->fd, into, count);
  if (n < 0)
    return fail(errno);
  *got = static_cast<DWORD>(n);
  return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED) {
  Handle *h = asHandle(handle);
  *written = 0;
  if (!h)
    return FALSE;
  if (!h->serial)
    return fail(EBADF);
  return writeSerial(h, static_cast<const BYTE *>(buffer), count, written);
}
