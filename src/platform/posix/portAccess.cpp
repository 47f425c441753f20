// Who holds a serial device and who may use it, on POSIX systems
// (portAccess.h).
#include "portAccess.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <grp.h>
#include <unistd.h>

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
  return std::strncmp(target, kDeviceDir, sizeof kDeviceDir - 1) == 0 && stat(target, &node) == 0 &&
         sameDevice(node, device);
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

// The permission bits that open a device to the members of its group.
const mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;

} // namespace

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
  tellOnStandardError("no permission to use " + path + "; it is open to no group (mode " + mode +
                      ", group " + name +
                      "): ask the administrator for a udev rule that gives it to a group "
                      "of yours, such as dialout, with MODE=\"0660\"");
}
