// How long a serial adapter holds the bytes it receives before it hands
// them on, on POSIX systems: the driver's low-latency mode, which the port
// takes while it is open, and a USB adapter's latency timer, which only the
// operator may lower: the updater says how, on standard error and in
// latencyTimerPlace() for the slow-line advice.
#include "latency.h"

#include "platform/platform.h"
#include "portNames.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#ifdef __linux__
#include <linux/serial.h>
#endif
#include <sys/ioctl.h>

namespace {

// A USB adapter's latency timer: where the kernel shows it, the value that
// makes short answers wait no longer than they must, and the command.
const char kLatencyTimerFile[] = "/device/latency_timer";
const char kAnyLatencyTimerNode[] = "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer";
const long kLowLatencyTimerMs = 1;
const char kLowerLatencyCommand[] = "echo 1 | sudo tee %s";
char latencyCommand[PATH_MAX + 32];

void setLatencyCommand(const char *node) {
  std::snprintf(latencyCommand, sizeof latencyCommand, kLowerLatencyCommand, node);
}

} // namespace

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

const char *latencyTimerPlace() {
  if (latencyCommand[0] == '\0')
    setLatencyCommand(kAnyLatencyTimerNode);
  return latencyCommand;
}
