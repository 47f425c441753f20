// The platform interfaces on POSIX systems: serial ports on termios, waits on
// poll(), with the meaning the updater relies on from the Windows API.
//
// Port names: "\\.\COMn" opens $UPDATER_PORT_DIR/COMn when that variable is
// set (usually a symbolic link to /dev/ttyUSB0 or a pseudo-terminal), and
// /dev/ttyS<n-1> otherwise. A name with a "/" ("\\.\/dev/ttyUSB0") is the
// device's path.
//
// Port locks: a port is refused ("access denied") when another program uses
// it by any of the signs Linux serial programs agree on: a UUCP lock file
// of a live process, a flock, TIOCEXCL, or the device open in another
// process as far as /proc/<pid>/fd shows. The updater takes the lock file
// "LCK..<device>" (the real node's name, links resolved), holding its PID
// as "%10d\n", in /var/lock, or /run/lock when /var/lock cannot take it;
// UPDATER_LOCK_DIR names another directory (the test suite uses it). A lock
// file of a dead process is taken over; ours is removed when the port is
// closed, and on a stop signal (posixConsole.cpp), if it is still ours.
// The lock files: posixLock.cpp; where port words lead and the /proc
// holders: posixPorts.cpp.
//
// Time scale: when UPDATER_TIME_SCALE is set to a whole number k above 1,
// the tick counter runs k times faster than real time and every sleep and
// time-out lasts 1/k of its real length. The test suite uses it to run the
// long protocol waits (up to a minute) in a few seconds. Nothing else
// changes, and the Windows build has no such knob.
#define PLATFORM_IMPLEMENTATION
#include "platform.h"
#include "posixLock.h"
#include "posixPorts.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <limits.h>
#ifdef __linux__
#include <linux/serial.h>
#endif
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;
// The system's own error number behind `lastError`, for the trace and for
// telling a port that has gone from other failures.
thread_local int lastErrno = 0;

// What a handle stands for: an open serial port or an open plain file.
struct Handle {
  int fd;
  bool serial;
  COMMTIMEOUTS timeouts;
  DWORD rtsControl;
  bool lowLatencySet; // the driver's low-latency mode was off and we set it
};

const char kDevicePrefix[] = "\\\\.\\";
const char kTimeScaleVariable[] = "UPDATER_TIME_SCALE";
// A USB adapter's latency timer: where the kernel shows it, the value that
// makes short answers wait no longer than they must, and the command.
const char kLatencyTimerFile[] = "/device/latency_timer";
const char kAnyLatencyTimerNode[] = "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer";
const long kLowLatencyTimerMs = 1;
const char kLowerLatencyCommand[] = "echo 1 | sudo tee %s";
char latencyCommand[PATH_MAX + 32];

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

BOOL fail(int err) {
  lastErrno = err;
  lastError = windowsError(err);
  return FALSE;
}

unsigned timeScale() {
  static const unsigned scale = [] {
    const char *text = std::getenv(kTimeScaleVariable);
    long value = text ? std::strtol(text, nullptr, 10) : 1;
    return value > 1 ? static_cast<unsigned>(value) : 1u;
  }();
  return scale;
}

// Real monotonic time in nanoseconds.
int64_t nowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// A wait of `ms` protocol milliseconds, in real nanoseconds.
int64_t realNs(uint64_t ms) {
  return static_cast<int64_t>(ms * 1000000u / timeScale());
}

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

bool isDeviceName(const char *name) {
  return std::strncmp(name, kDevicePrefix, std::strlen(kDevicePrefix)) == 0;
}

// ---- Port locks ----

// True when another process holds the open device too.
bool heldByAnotherProcess(int fd) {
  struct stat device {};
  return fstat(fd, &device) == 0 && processHolding(device) != 0;
}

// The permission bits that open a device to the members of its group.
const mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;

// No permission on the device: the console says what Windows says, and
// standard error names the group that may use it, or says that none may.
void explainNoPermission(const std::string &path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0)
    return;
  const std::string name = groupName(st);
  if ((st.st_mode & kGroupReadWrite) == kGroupReadWrite) {
    tellOnStandardError("no permission to use " + path + "; it belongs to group " + name +
                        ": add your user to it (sudo usermod -aG " + name +
                        " $USER) and log in again");
    return;
  }
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
  tellOnStandardError("no permission to use " + path + "; it is open to no group (mode " +
                      mode + ", group " + name +
                      "): ask the administrator for a udev rule that gives it to a group "
                      "of yours, such as dialout, with MODE=\"0660\"");
}

// Opens the device for exclusive use. 0, or the errno of the refusal.
int openExclusive(const std::string &path, int *fd) {
  *fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (*fd < 0) {
    int err = errno;
    if (err == EACCES || err == EPERM)
      explainNoPermission(path);
    return err;
  }
  int err = 0;
  // Exclusive use: a second program on the same port is refused, as Windows
  // refuses a second open of a COM port.
  if (flock(*fd, LOCK_EX | LOCK_NB) != 0)
    err = errno == EWOULDBLOCK ? EBUSY : errno;
  else if (isatty(*fd) && heldByAnotherProcess(*fd))
    err = EBUSY;
  if (err != 0) {
    close(*fd);
    return err;
  }
  if (isatty(*fd))
    ioctl(*fd, TIOCEXCL);
  return 0;
}

void setLatencyCommand(const char *node) {
  std::snprintf(latencyCommand, sizeof latencyCommand, kLowerLatencyCommand, node);
}

// Sets or clears the serial driver's low-latency mode; true when the driver
// took the change.
bool setLowLatency(int fd, bool on) {
#ifdef TIOCGSERIAL
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || ((serial.flags & ASYNC_LOW_LATENCY) != 0) == on)
    return false;
  const int lowLatency = static_cast<int>(ASYNC_LOW_LATENCY);
  serial.flags = on ? (serial.flags | lowLatency) : (serial.flags & ~lowLatency);
  return ioctl(fd, TIOCSSERIAL, &serial) == 0;
#else
  (void)fd;
  (void)on;
  return false;
#endif
}

// When a USB adapter still holds bytes longer than 1 ms, says how to lower
// its latency timer, once a run (identification reopens the port).
void hintLatencyTimer(const std::string &path) {
  char device[PATH_MAX];
  if (!realpath(path.c_str(), device))
    return;
  const char *slash = std::strrchr(device, '/');
  const std::string node =
      TTY_CLASS_DIR + std::string(slash ? slash + 1 : device) + kLatencyTimerFile;
  long timerMs = 0;
  if (!(std::ifstream(node) >> timerMs))
    return;
  setLatencyCommand(node.c_str());
  static bool hinted = false;
  if (timerMs > kLowLatencyTimerMs && !hinted) {
    hinted = true;
    std::fprintf(stderr,
                 "The serial adapter's latency timer is %ld ms; lower it to 1 ms with: %s\n",
                 timerMs, latencyCommand);
  }
}

HANDLE openPort(const char *name) {
  char real[PATH_MAX];
  if (realpath(portPath(name + std::strlen(kDevicePrefix)).c_str(), real) == nullptr) {
    fail(errno);
    return INVALID_HANDLE_VALUE;
  }
  int err = takeLockFile(real);
  int fd = -1;
  if (err == 0)
    err = openExclusive(real, &fd);
  if (err != 0) {
    releaseHeldLock();
    fail(err);
    return INVALID_HANDLE_VALUE;
  }
  // Low-latency mode (best effort: drivers without it, a pseudo-terminal
  // among them, refuse in silence), given back as it was at close.
  bool lowLatencySet = false;
  if (isatty(fd)) {
    lowLatencySet = setLowLatency(fd, true);
    hintLatencyTimer(real);
  }
  lastError = ERROR_SUCCESS;
  // Reads never block with no time-out set until the updater sets its own.
  COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
  return new Handle{fd, true, immediate, RTS_CONTROL_DISABLE, lowLatencySet};
}

// A plain file, for reading: anything else (a FIFO, a device) is refused,
// and opening it never waits.
HANDLE openFile(const char *name) {
  int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    close(fd);
    fd = -1;
    errno = EINVAL;
  }
  if (fd < 0) {
    fail(errno);
    return INVALID_HANDLE_VALUE;
  }
  lastError = ERROR_SUCCESS;
  return new Handle{fd, false, {}, 0, false};
}

Handle *asHandle(HANDLE h) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) {
    fail(EBADF);
    return nullptr;
  }
  return static_cast<Handle *>(h);
}

struct RateEntry {
  DWORD rate;
  speed_t speed;
};
const RateEntry kRates[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},   {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600}, {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool speedOf(DWORD rate, speed_t *speed) {
  for (const RateEntry &e : kRates)
    if (e.rate == rate) {
      *speed = e.speed;
      return true;
    }
  return false;
}

DWORD rateOf(speed_t speed) {
  for (const RateEntry &e : kRates)
    if (e.speed == speed)
      return e.rate;
  return 0;
}

tcflag_t byteSizeFlag(BYTE size) {
  switch (size) {
  case 5:
    return CS5;
  case 6:
    return CS6;
  case 7:
    return CS7;
  default:
    return CS8;
  }
}

// RTS held on or off. Pseudo-terminals have no modem lines: that is no
// failure, there is simply nothing to hold.
void applyRts(int fd, DWORD control) {
  int rts = TIOCM_RTS;
  ioctl(fd, control == RTS_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &rts);
}

// Bytes to wait for, and how long: the Windows read time-out rules.
struct ReadPlan {
  bool returnWhenAny;    // return as soon as anything has arrived
  int64_t totalNs;       // whole read, -1 = no limit
  int64_t intervalNs;    // between bytes once one came, -1 = no limit
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
      static_cast<uint64_t>(t.WriteTotalTimeoutMultiplier) * count +
      t.WriteTotalTimeoutConstant;
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

namespace {

// `fd`, open without blocking, as a stream in `mode` when it is a regular
// file; closed, with errno set, otherwise.
FILE *regularFileStream(int fd, const char *mode) {
  if (fd < 0)
    return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = S_ISREG(st.st_mode) ? errno : EINVAL;
    close(fd);
    errno = err;
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FILE *file = fdopen(fd, mode);
  if (file == nullptr)
    close(fd);
  return file;
}

} // namespace

FILE *openInputFile(const char *name) {
  // Non-blocking: opening a FIFO must not wait for a writer.
  return regularFileStream(open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC), "rb");
}

FILE *createRegularFile(const char *name) {
  // Non-blocking: a FIFO without a reader must not hold the run. Emptied
  // only once it is known to be a regular file.
  FILE *file = regularFileStream(
      open(name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644), "wb");
  if (file != nullptr && ftruncate(fileno(file), 0) != 0) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

HANDLE CreateFileA(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD,
                   DWORD, HANDLE) {
  return isDeviceName(name) ? openPort(name) : openFile(name);
}

BOOL CloseHandle(HANDLE handle) {
  Handle *h = asHandle(handle);
  if (!h)
    return FALSE;
  if (h->lowLatencySet)
    setLowLatency(h->fd, false);
  if (h->serial && isatty(h->fd))
    ioctl(h->fd, TIOCNXCL);
  int rc = close(h->fd);
  if (h->serial)
    releaseHeldLock();
  delete h;
  return rc == 0 ? TRUE : fail(errno);
}

BOOL GetCommState(HANDLE handle, LPDCB dcb) {
  Handle *h = asHandle(handle);
  if (!h)
    return FALSE;
  termios tio{};
  if (!h->serial)
    return fail(ENOTTY);
  if (tcgetattr(h->fd, &tio) != 0)
    return fail(errno);
  dcb->BaudRate = rateOf(cfgetospeed(&tio));
  switch (tio.c_cflag & CSIZE) {
  case CS5:
    dcb->ByteSize = 5;
    break;
  case CS6:
    dcb->ByteSize = 6;
    break;
  case CS7:
    dcb->ByteSize = 7;
    break;
  default:
    dcb->ByteSize = 8;
  }
  dcb->Parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? 1 : 2) : 0;
  dcb->StopBits = (tio.c_cflag & CSTOPB) ? 2 : 0;
  dcb->fRtsControl = h->rtsControl;
  return TRUE;
}

BOOL SetCommState(HANDLE handle, LPDCB dcb) {
  Handle *h = asHandle(handle);
  if (!h)
    return FALSE;
  speed_t speed{};
  if (!h->serial || !speedOf(dcb->BaudRate, &speed))
    return fail(EINVAL);
  termios tio{};
  if (tcgetattr(h->fd, &tio) != 0)
    return fail(errno);
  cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD | byteSizeFlag(dcb->ByteSize);
  if (dcb->Parity != NOPARITY)
    tio.c_cflag |= PARENB | (dcb->Parity == 1 ? PARODD : 0);
  if (dcb->StopBits != ONESTOPBIT)
    tio.c_cflag |= CSTOPB;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  // One byte makes a read ready; with O_NONBLOCK an empty line gives EAGAIN
  // and a line whose other end has gone gives end of file.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  if (tcsetattr(h->fd, TCSANOW, &tio) != 0)
    return fail(errno);
  termios check{};
  if (tcgetattr(h->fd, &check) != 0)
    return fail(errno);
  if (cfgetospeed(&check) != speed)
    return fail(EINVAL);
  h->rtsControl = dcb->fRtsControl;
  applyRts(h->fd, h->rtsControl);
  return TRUE;
}

BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
  Handle *h = asHandle(handle);
  if (!h)
    return FALSE;
  if (!h->serial)
    return fail(ENOTTY);
  h->timeouts = *timeouts;
  return TRUE;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD got,
              LPOVERLAPPED) {
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

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD count, LPDWORD written,
               LPOVERLAPPED) {
  Handle *h = asHandle(handle);
  *written = 0;
  if (!h)
    return FALSE;
  if (!h->serial)
    return fail(EBADF);
  return writeSerial(h, static_cast<const BYTE *>(buffer), count, written);
}

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) {
  lastError = code;
  if (code == ERROR_SUCCESS)
    lastErrno = 0;
}

DWORD GetFileAttributesA(LPCSTR name) {
  struct stat st {};
  if (stat(name, &st) != 0) {
    fail(errno);
    return INVALID_FILE_ATTRIBUTES;
  }
  return S_ISDIR(st.st_mode) ? 0x10u : FILE_ATTRIBUTE_NORMAL;
}

DWORD GetFileSize(HANDLE handle, LPDWORD high) {
  Handle *h = asHandle(handle);
  struct stat st {};
  if (!h || fstat(h->fd, &st) != 0) {
    if (h)
      fail(errno);
    return INVALID_FILE_SIZE;
  }
  uint64_t size = static_cast<uint64_t>(st.st_size);
  if (high)
    *high = static_cast<DWORD>(size >> 32);
  return static_cast<DWORD>(size);
}

DWORD GetTickCount() {
  return static_cast<DWORD>(static_cast<uint64_t>(nowNs()) / 1000000u *
                            timeScale());
}

DWORD timeGetTime() { return static_cast<DWORD>(nowNs() / 1000000); }

const char *latencyTimerPlace() {
  if (latencyCommand[0] == '\0')
    setLatencyCommand(kAnyLatencyTimerNode);
  return latencyCommand;
}

void Sleep(DWORD ms) {
  int64_t left = realNs(ms);
  timespec ts{static_cast<time_t>(left / 1000000000),
              static_cast<long>(left % 1000000000)};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

bool isDevicePath(const char *word) { return std::strchr(word, '/') != nullptr; }

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
  } kNames[] = {{EIO, "EIO"},       {ENXIO, "ENXIO"},   {ENODEV, "ENODEV"},
                {ENOENT, "ENOENT"}, {EACCES, "EACCES"}, {EPERM, "EPERM"},
                {EBUSY, "EBUSY"},   {ENOTTY, "ENOTTY"}, {EINVAL, "EINVAL"},
                {EBADF, "EBADF"},   {ENOTDIR, "ENOTDIR"}, {EAGAIN, "EAGAIN"}};
  for (const auto &entry : kNames)
    if (entry.number == lastErrno)
      return entry.name;
  return "";
}

void portDevice(LPCSTR name, char *into, size_t size) {
  const std::string path = portPath(name + std::strlen(kDevicePrefix));
  char real[PATH_MAX];
  std::snprintf(into, size, "%s", realpath(path.c_str(), real) ? real : path.c_str());
}

