// Port words and the holders of a device on POSIX systems (posixPorts.h).
#define PLATFORM_IMPLEMENTATION
#include "posixPorts.h"

#include "platform.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <grp.h>
#include <unistd.h>

const char PORT_DIR_VARIABLE[] = "UPDATER_PORT_DIR";
const char TTY_CLASS_DIR[] = "/sys/class/tty/";

namespace {

// Where device nodes are: the only descriptors the holder scan stats.
const char kDeviceDir[] = "/dev/";

bool sameDevice(const struct stat &a, const struct stat &b) {
  if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode))
    return a.st_rdev == b.st_rdev;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when the descriptor `fd` of a process's fd directory is open on
// `device`. The link is read first, and only a target under /dev is
// stat()ed: stat() through the link of a file on a hung NFS or FUSE mount
// would hang with it.
bool descriptorIsOn(DIR *fds, const char *fd, const struct stat &device) {
  char target[PATH_MAX];
  const ssize_t n = readlinkat(dirfd(fds), fd, target, sizeof target - 1);
  if (n <= 0)
    return false;
  target[n] = '\0';
  struct stat node {};
  return std::strncmp(target, kDeviceDir, sizeof kDeviceDir - 1) == 0 &&
         stat(target, &node) == 0 && sameDevice(node, device);
}

bool processHolds(const char *pid, const struct stat &device) {
  const std::string dir = std::string("/proc/") + pid + "/fd";
  DIR *fds = opendir(dir.c_str());
  if (fds == nullptr)
    return false; // gone, or another user's and hidden from us
  bool held = false;
  while (const dirent *entry = readdir(fds)) {
    if (entry->d_name[0] != '.' && descriptorIsOn(fds, entry->d_name, device)) {
      held = true;
      break;
    }
  }
  closedir(fds);
  return held;
}

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

pid_t processHolding(const struct stat &device) {
  DIR *proc = opendir("/proc");
  if (proc == nullptr)
    return 0;
  const long self = getpid();
  pid_t holder = 0;
  while (const dirent *entry = readdir(proc)) {
    char *end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (*end == '\0' && pid > 0 && pid != self && processHolds(entry->d_name, device)) {
      holder = static_cast<pid_t>(pid);
      break;
    }
  }
  closedir(proc);
  return holder;
}

std::string groupName(const struct stat &file) {
  const group *owner = getgrgid(file.st_gid);
  return owner ? owner->gr_name : std::to_string(file.st_gid);
}

void tellOnStandardError(const std::string &line) {
  std::fflush(stdout);
  // Console texts mostly end without a line feed: this line starts one of
  // its own.
  std::fprintf(stderr, "\nupdater: %s\n", line.c_str());
}
