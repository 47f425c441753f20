// Port names on POSIX systems. "\\.\COMn" opens $UPDATER_PORT_DIR/COMn when
// that variable is set (usually a symbolic link to /dev/ttyUSB0 or a
// pseudo-terminal), and /dev/ttyS<n-1> otherwise. A name with a "/"
// ("\\.\/dev/ttyUSB0") is the device's path.
#include "portNames.h"

#include "platform/platform.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char PORT_DIR_VARIABLE[] = "UPDATER_PORT_DIR";
const char TTY_CLASS_DIR[] = "/sys/class/tty/";

namespace {

const char kDevicePrefix[] = "\\\\.\\";

} // namespace

std::string portPath(const std::string &port) {
  if (isDevicePath(port.c_str()))
    return port;
  if (const char *dir = std::getenv(PORT_DIR_VARIABLE))
    return std::string(dir) + "/" + port;
  if (port.size() > 3 && port.compare(0, 3, "COM") == 0) {
    char *end = nullptr;
    long n = std::strtol(port.c_str() + 3, &end, 10);
    if (*end == '\0' && n >= 1)
      return "/dev/ttyS" + std::to_string(n - 1);
  }
  return "/nonexistent/" + port;
}

bool isDeviceName(const char *name) {
  return std::strncmp(name, kDevicePrefix, std::strlen(kDevicePrefix)) == 0;
}

std::string devicePortPath(const char *name) { return portPath(name + std::strlen(kDevicePrefix)); }

bool isDevicePath(const char *word) { return std::strchr(word, '/') != nullptr; }

void portDevice(LPCSTR name, char *into, size_t size) {
  const std::string path = devicePortPath(name);
  char real[PATH_MAX];
  std::snprintf(into, size, "%s", realpath(path.c_str(), real) ? real : path.c_str());
}
