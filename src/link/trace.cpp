// The wire trace: with UPDATER_TRACE=FILE, what the run did on its serial
// port goes to FILE as it happens, for support to see why a card failed.
//
//   # updater wire trace: ms since start; > to the card, < from the card
//          0 open \\.\COM1 /dev/pts/3
//          1 rate 115200 rts off
//          1 timeouts MAX MAX 1 100 0
//          2 > 00                                              |.|
//        104 < 23 4F 4B 0D                                     |#OK.|
//
// Each line starts with the milliseconds since the program started. Bytes
// go 16 to a line, one direction to a line; the bytes of calls that follow
// each other in the same direction and the same millisecond share a line.
// The trace is flushed after every call that moved bytes (one write of the
// file per call, never one per byte; a line that grows is written again in
// place), so a run that is killed keeps everything it did. Lines end in a
// bare line feed on both builds. A failed call names its error number and,
// on Linux, the errno's name ("read failed, error 31 (EIO)"); the same
// event again with no byte between is written once, then as one line
// "repeated N times" that is rewritten as N grows, so a call failing over
// and over cannot fill the disk.
//
// Platform-independent: the port's own functions (port.cpp) call the hooks
// below after each serial call.
#include "link/trace.h"
#include "link/port.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

const char kTraceVariable[] = "UPDATER_TRACE";
const char kPortPrefix[] = "\\\\.\\";
const DWORD kBytesPerLine = 16;

const std::chrono::steady_clock::time_point runStart = std::chrono::steady_clock::now();

// The serial port the trace follows (other handles are plain files).
HANDLE tracedPort = INVALID_HANDLE_VALUE;

long traceEnd = 0; // the file's length, as written

void writeText(FILE *f, const char *text) {
  std::fputs(text, f);
  traceEnd += static_cast<long>(std::strlen(text));
}

// The port the run opened first ("COM3", "/dev/ttyUSB0"): the trace
// file's name takes it in place of "%p".
char firstPort[260] = "";

// `pattern` with every "%p" replaced by the port's name, its slashes made
// underscores ("dev_ttyUSB0"), so that updaters run side by side on one
// UPDATER_TRACE keep a trace each.
void traceFileName(const char *pattern, char *into, size_t size) {
  const char *port = firstPort;
  while (*port == '/')
    ++port;
  size_t n = 0;
  for (const char *c = pattern; *c != '\0' && n + 1 < size; ++c) {
    if (c[0] != '%' || c[1] != 'p') {
      into[n++] = *c;
      continue;
    }
    for (const char *p = port; *p != '\0' && n + 1 < size; ++p)
      into[n++] = *p == '/' ? '_' : *p;
    ++c;
  }
  into[n] = '\0';
}

// The trace file, opened at the first port opening; null when no trace was
// asked for or it could not be created (said once on standard error). It
// must be a regular file: a link is not followed, a FIFO not waited on.
FILE *traceFile() {
  static FILE *const file = []() -> FILE * {
    const char *pattern = std::getenv(kTraceVariable);
    if (pattern == nullptr || *pattern == '\0')
      return nullptr;
    char name[1024];
    traceFileName(pattern, name, sizeof name);
    FILE *f = createRegularFile(name);
    if (f == nullptr) {
      std::fflush(stdout);
      std::fprintf(stderr, "\nupdater: cannot create the trace file %s: %s\n", name,
                   errno == EINVAL || errno == ELOOP || errno == ENXIO
                       ? "it is no regular file (links are not followed)"
                       : std::strerror(errno));
      return nullptr;
    }
    writeText(f, "# updater wire trace: ms since start; > to the card, < from the card\n");
    return f;
  }();
  return file;
}

unsigned long msSinceStart() {
  return static_cast<unsigned long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - runStart)
                                        .count());
}

// The trace's own calls (the environment, the file) must not change the
// error the caller is about to read for its serial call.
struct KeepLastError {
  DWORD code = GetLastError();
  ~KeepLastError() { SetLastError(code); }
};

// The last byte line, which bytes of the same direction and millisecond
// still join; `offset` is where it starts in the file.
struct ByteLine {
  char direction = 0;
  unsigned long ms = 0;
  DWORD count = 0;
  BYTE bytes[kBytesPerLine] = {};
  long offset = 0;
};
ByteLine lastLine;
// The last event line, which the same event coming again does not repeat:
// a failed call made over and over (a port that has gone) shows as its
// first line and a count, rewritten in place as it grows.
struct EventRepeat {
  char what[400] = "";
  unsigned long times = 0; // repeats after the first line
  long offset = 0;         // where the count's line starts
};
EventRepeat lastEvent;

// One event line: "<ms> <what>[ failed, error N[ (ENAME)]]".
void traceEvent(const char *what, BOOL ok, DWORD error) {
  FILE *f = traceFile();
  if (f == nullptr)
    return;
  char event[400];
  int n = std::snprintf(event, sizeof event, "%s", what);
  if (!ok && n > 0 && static_cast<size_t>(n) < sizeof event) {
    const char *name = lastErrorName();
    std::snprintf(event + n, sizeof event - n,
                  *name ? " failed, error %lu (%s)" : " failed, error %lu",
                  static_cast<unsigned long>(error), name);
  }
  char line[420];
  if (lastEvent.what[0] != '\0' && std::strcmp(event, lastEvent.what) == 0) {
    if (++lastEvent.times == 1)
      lastEvent.offset = traceEnd;
    std::fseek(f, lastEvent.offset, SEEK_SET);
    traceEnd = lastEvent.offset;
    std::snprintf(line, sizeof line, "%10lu repeated %lu times\n", msSinceStart(), lastEvent.times);
  } else {
    std::snprintf(lastEvent.what, sizeof lastEvent.what, "%s", event);
    lastEvent.times = 0;
    std::snprintf(line, sizeof line, "%10lu %s\n", msSinceStart(), event);
  }
  writeText(f, line);
  std::fflush(f);
  lastLine.count = 0;
}

// (Re)writes `lastLine` at its offset: a line that grows overwrites itself.
void writeByteLine(FILE *f) {
  char hex[kBytesPerLine * 3 + 1] = "";
  char text[kBytesPerLine + 1] = "";
  for (DWORD k = 0; k < lastLine.count; ++k) {
    const BYTE b = lastLine.bytes[k];
    std::snprintf(hex + 3 * k, 4, "%02X ", b);
    text[k] = b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
  }
  char line[120];
  std::snprintf(line, sizeof line, "%10lu %c %-48s|%s|\n", lastLine.ms, lastLine.direction, hex,
                text);
  if (lastLine.offset != traceEnd)
    std::fseek(f, lastLine.offset, SEEK_SET);
  traceEnd = lastLine.offset;
  writeText(f, line);
}

void traceBytes(char direction, const void *data, DWORD count) {
  FILE *f = traceFile();
  if (f == nullptr || count == 0)
    return;
  const unsigned long ms = msSinceStart();
  const BYTE *bytes = static_cast<const BYTE *>(data);
  for (DWORD at = 0; at < count;) {
    const bool joins = lastLine.count > 0 && lastLine.count < kBytesPerLine &&
                       lastLine.direction == direction && lastLine.ms == ms;
    if (!joins)
      lastLine = ByteLine{direction, ms, 0, {}, traceEnd};
    lastEvent.what[0] = '\0';
    while (at < count && lastLine.count < kBytesPerLine)
      lastLine.bytes[lastLine.count++] = bytes[at++];
    writeByteLine(f);
  }
  std::fflush(f);
}

bool isTraced(HANDLE h) { return h != INVALID_HANDLE_VALUE && h == tracedPort; }

void (*portGoneHandler)() = nullptr;

// The bytes a read or write on `h` moved, and its failure.
void traceTransfer(HANDLE h, char direction, const void *data, DWORD moved, BOOL ok,
                   const char *call) {
  const KeepLastError keep;
  if (!isTraced(h))
    return;
  traceBytes(direction, data, moved);
  if (!ok)
    traceEvent(call, ok, keep.code);
}

void appendNumber(char *into, size_t size, DWORD value) {
  const size_t used = std::strlen(into);
  if (value == MAXDWORD)
    std::snprintf(into + used, size - used, " MAX");
  else
    std::snprintf(into + used, size - used, " %lu", static_cast<unsigned long>(value));
}

} // namespace

void onPortGone(void (*handler)()) { portGoneHandler = handler; }

// A failed call on the port that says the port has gone ends the job
// through the driver's handler, once.
void checkPortGone(HANDLE h, BOOL ok) {
  if (ok || !isTraced(h) || portGoneHandler == nullptr || !portHasGone())
    return;
  void (*handler)() = portGoneHandler;
  portGoneHandler = nullptr;
  handler();
}

void traceOpen(LPCSTR name, HANDLE h) {
  const KeepLastError keep;
  if (std::strncmp(name, kPortPrefix, std::strlen(kPortPrefix)) != 0)
    return;
  tracedPort = h;
  if (firstPort[0] == '\0')
    std::snprintf(firstPort, sizeof firstPort, "%s", name + std::strlen(kPortPrefix));
  // The device the name stands for, where it is another name (Linux).
  char device[300];
  portDevice(name, device, sizeof device);
  char what[400];
  if (std::strcmp(device, name) == 0)
    std::snprintf(what, sizeof what, "open %.280s", name);
  else
    std::snprintf(what, sizeof what, "open %.180s %.180s", name, device);
  traceEvent(what, h != INVALID_HANDLE_VALUE ? TRUE : FALSE, keep.code);
}

void traceClose(HANDLE h, BOOL ok) {
  const KeepLastError keep;
  if (!isTraced(h))
    return;
  tracedPort = INVALID_HANDLE_VALUE;
  traceEvent("close", ok, keep.code);
}

void traceLineSettings(HANDLE h, const DCB &line, BOOL ok) {
  const KeepLastError keep;
  if (!isTraced(h))
    return;
  // The RTS line as well: an adapter or card may react to it.
  char what[40];
  std::snprintf(what, sizeof what, "rate %lu rts %s", static_cast<unsigned long>(line.BaudRate),
                line.fRtsControl == RTS_CONTROL_DISABLE ? "off" : "on");
  traceEvent(what, ok, keep.code);
}

void traceTimeouts(HANDLE h, const COMMTIMEOUTS &timeouts, BOOL ok) {
  const KeepLastError keep;
  if (!isTraced(h))
    return;
  char what[80] = "timeouts";
  for (DWORD value : {timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                      timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
                      timeouts.WriteTotalTimeoutConstant})
    appendNumber(what, sizeof what, value);
  traceEvent(what, ok, keep.code);
}

void traceRead(HANDLE h, const void *data, DWORD moved, BOOL ok) {
  traceTransfer(h, '<', data, moved, ok, "read");
}

void traceWrite(HANDLE h, const void *data, DWORD moved, BOOL ok) {
  traceTransfer(h, '>', data, moved, ok, "write");
}
