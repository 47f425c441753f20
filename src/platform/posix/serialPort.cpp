// The serial port on POSIX systems, on termios: its opening for exclusive
// use, its closing, and its line settings (bit rate, byte format, RTS).
// Reads and writes: serialReadWrite.cpp; where port words lead:
// portNames.cpp.
//
// Port locks: a port is refused ("access denied") when another program uses
// it by any of the signs Linux serial programs agree on: a UUCP lock file
// of a live process, a flock, TIOCEXCL, or the device open in another
// process as far as /proc/<pid>/fd shows. The updater takes the lock file
// "LCK..<device>" (the real node's name, links resolved), holding its PID
// as "%10d\n", in /var/lock, or /run/lock when /var/lock cannot take it;
// UPDATER_LOCK_DIR names another directory (the test suite uses it). A lock
// file of a dead process is taken over; ours is removed when the port is
// closed, and on a stop signal (console.cpp), if it is still ours.
// The lock files: lock.cpp; the /proc holders: portAccess.cpp.
#include "platform/platform.h"

#include "files.h"
#include "handles.h"
#include "latency.h"
#include "lock.h"
#include "portAccess.h"
#include "portNames.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// True when another process holds the open device too.
bool heldByAnotherProcess(int fd) {
  struct stat device {};
  return fstat(fd, &device) == 0 && processHolding(device) != 0;
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

HANDLE openPort(const char *name) {
  char real[PATH_MAX];
  if (realpath(devicePortPath(name).c_str(), real) == nullptr) {
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
  reportSuccess();
  // Reads never block with no time-out set until the updater sets its own.
  COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
  return new Handle{fd, true, immediate, RTS_CONTROL_DISABLE, lowLatencySet};
}

struct RateEntry {
  DWORD rate;
  speed_t speed;
};
const RateEntry kRates[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
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

} // namespace

HANDLE CreateFileA(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
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
