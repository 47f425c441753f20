// UUCP lock files of serial ports (lock.h).
//
// A lock is made whole before it appears: its PID is written into a file of
// our own beside it, which link() then puts in place, or fails with EEXIST
// when another program was quicker. A stale lock is removed under its
// flock, and only while its name still leads to the file judged stale and
// it still is. At release the lock goes only while it is the file we
// linked and it still holds our PID.
#include "lock.h"
#include "portAccess.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const char kLockDirVariable[] = "UPDATER_LOCK_DIR";
const char *const kLockDirs[] = {"/var/lock", "/run/lock"};
const char kLockPrefix[] = "LCK..";
const char kPidLineFormat[] = "%10d\n";
const mode_t kLockFileMode = 0644;
// A lock file without a complete PID line counts as one another program is
// still writing (between its creation and its write) for this long after
// its last change; older, it was left unfinished and is stale.
const time_t kLockWritingSeconds = 10;
// Room for the first line of a lock file: lockdev's "%10d\n", or minicom's,
// which adds its name and the user's after the PID.
const size_t kLockLineRoom = 128;
// The flags every existing lock file is opened with: a link there is not
// followed, and a FIFO or a device does not block or become our terminal.
const int kLockOpenFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// The lock this run holds, in fixed buffers: the signal handler reads it.
struct HeldLock {
  char path[PATH_MAX + 16]; // "" when none
  dev_t device;
  ino_t inode;
  char pidLine[16]; // this run's PID line
  size_t pidLength;
} held;

bool sameFile(const struct stat &a, const struct stat &b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The PID of a lock file's first line; 0 until a whole line is there, or
// when it starts with no number.
pid_t pidOfLine(const char *text) {
  if (std::strchr(text, '\n') == nullptr)
    return 0;
  char *end = nullptr;
  const long pid = std::strtol(text, &end, 10);
  return end != text && pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

bool isRecent(const struct stat &file) {
  return std::labs(static_cast<long>(std::time(nullptr) - file.st_mtime)) <= kLockWritingSeconds;
}

bool isLive(pid_t pid) { return pid != getpid() && (kill(pid, 0) == 0 || errno == EPERM); }

LockSign signOfPid(pid_t pid, const struct stat &file) {
  if (pid == 0)
    return isRecent(file) ? LockSign::BEING_WRITTEN : LockSign::STALE;
  return isLive(pid) ? LockSign::LIVE : LockSign::STALE;
}

// Judges the lock file open as `fd` (just opened, or FOREIGN is kept when it
// is no regular file) into `judged`.
void judgeOpenLock(int fd, LockJudgement *judged) {
  if (fstat(fd, &judged->file) != 0 || !S_ISREG(judged->file.st_mode))
    return;
  char line[kLockLineRoom];
  const ssize_t n = read(fd, line, sizeof line - 1);
  line[n > 0 ? n : 0] = '\0';
  judged->pid = pidOfLine(line);
  judged->sign = signOfPid(judged->pid, judged->file);
}

// Says `line` on standard error the first time a run meets it: the port is
// opened again while the card is sought.
void tellOnce(const std::string &line) {
  static std::vector<std::string> told;
  if (std::find(told.begin(), told.end(), line) != told.end())
    return;
  told.push_back(line);
  tellOnStandardError(line);
}

std::string kindOf(const struct stat &file) {
  if (S_ISLNK(file.st_mode))
    return "a symbolic link";
  if (S_ISFIFO(file.st_mode))
    return "a FIFO";
  if (S_ISDIR(file.st_mode))
    return "a directory";
  if (S_ISCHR(file.st_mode) || S_ISBLK(file.st_mode))
    return "a device";
  if (S_ISSOCK(file.st_mode))
    return "a socket";
  return "an unreadable file";
}

void tellForeignLock(const std::string &path, const struct stat &file) {
  tellOnce(path + " is " + kindOf(file) +
           ", not a lock file: the port counts as in use while it is there");
}

// Tells that no lock file could be taken at `path`, for the reason `err`,
// and that the run goes on without one.
void tellNoLockFile(const std::string &path, const LockJudgement &there, int err) {
  const std::string what = there.sign == LockSign::STALE
                               ? "the stale lock file " + path + " (PID " +
                                     std::to_string(there.pid) + ") may not be removed"
                               : "the lock file " + path + " may not be made";
  tellOnce(what + " (" + std::strerror(err) +
           "): going on without a lock file; the port's flock and exclusive mode still "
           "guard it");
}

// Makes an empty file of ours with a unique name beside `path`
// ("<dir>/.LCK..ttyUSB0.XXXXXX"). Its descriptor, or -1 with errno.
int makeBeside(const std::string &path, std::string *name) {
  const size_t slash = path.rfind('/');
  *name = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".XXXXXX";
  return mkostemp(name->data(), O_CLOEXEC);
}

// Whether the lock at `path`, open as `fd` under its flock, is still the
// stale file judged: 0 when it is, at that name, and still stale; ENOENT
// when the name is gone; EBUSY when it changed.
int recheckStale(int fd, const std::string &path, const LockJudgement &stale) {
  struct stat there {};
  if (lstat(path.c_str(), &there) != 0)
    return errno == ENOENT ? ENOENT : EBUSY;
  LockJudgement now{LockSign::FOREIGN, 0, {}};
  judgeOpenLock(fd, &now);
  const bool unchanged =
      sameFile(there, stale.file) && sameFile(now.file, stale.file) && now.sign == LockSign::STALE;
  return unchanged ? 0 : EBUSY;
}

// Removes the stale lock judged at `path`. Its remover holds the file's
// flock while it checks that the name still leads to that file and that it
// is still stale, then removes it: of two updaters that judged the same
// file stale, the second never removes the lock the first made after it.
// 0 once it is gone; EBUSY when it changed, or another updater is removing
// it; otherwise the errno of the refusal.
int removeStaleLock(const std::string &path, const LockJudgement &stale) {
  const int fd = open(path.c_str(), kLockOpenFlags);
  if (fd < 0)
    return errno == ENOENT ? 0 : EBUSY;
  int err = flock(fd, LOCK_EX | LOCK_NB) == 0 ? recheckStale(fd, path, stale) : EBUSY;
  if (err == 0 && unlink(path.c_str()) != 0)
    err = errno;
  close(fd);
  return err == ENOENT ? 0 : err;
}

// Notes the lock at `path` as this run's: the file `file`, holding
// this run's PID line.
void hold(const std::string &path, const struct stat &file) {
  std::snprintf(held.path, sizeof held.path, "%s", path.c_str());
  held.device = file.st_dev;
  held.inode = file.st_ino;
}

// Writes this run's PID into a file beside `path` and links it into
// place. 0 when the lock is ours; otherwise the errno (EEXIST: another
// program holds it). The lock is noted as held before it is linked, so
// that a stop signal in between still removes it; the release leaves any
// other file alone.
int linkLockFile(const std::string &path) {
  if (path.size() >= sizeof held.path)
    return ENAMETOOLONG;
  const int length =
      std::snprintf(held.pidLine, sizeof held.pidLine, kPidLineFormat, static_cast<int>(getpid()));
  held.pidLength = static_cast<size_t>(length);
  std::string temporary;
  const int fd = makeBeside(path, &temporary);
  if (fd < 0)
    return errno;
  struct stat file {};
  int err = 0;
  if (fchmod(fd, kLockFileMode) != 0 || fstat(fd, &file) != 0 ||
      write(fd, held.pidLine, held.pidLength) != length)
    err = errno;
  close(fd);
  if (err == 0) {
    hold(path, file);
    if (link(temporary.c_str(), path.c_str()) != 0) {
      err = errno;
      held.path[0] = '\0';
    }
  }
  unlink(temporary.c_str());
  return err;
}

// Takes the lock at `path`, where `there` was judged. 0 when it is ours,
// EBUSY when another program holds it, otherwise the errno of the refusal.
int takeLockAt(const std::string &path, const LockJudgement &there) {
  if (there.sign == LockSign::STALE)
    if (const int err = removeStaleLock(path, there))
      return err;
  const int err = linkLockFile(path);
  return err == EEXIST ? EBUSY : err;
}

// Judges the lock files at `paths` into `judged`. False as soon as one
// holds the port; a foreign file is named on standard error.
bool judgeAllFree(const std::vector<std::string> &paths, std::vector<LockJudgement> *judged) {
  for (const std::string &path : paths) {
    judged->push_back(judgeLock(path));
    const LockJudgement &there = judged->back();
    if (there.sign == LockSign::FOREIGN)
      tellForeignLock(path, there.file);
    if (there.sign != LockSign::NONE && there.sign != LockSign::STALE)
      return false;
  }
  return true;
}

// A directory refuses the updater its lock file for lack of permission, or
// as a read-only file system.
bool isRefusal(int err) { return err == EACCES || err == EPERM || err == EROFS; }

} // namespace

std::vector<std::string> lockPaths(const std::string &device) {
  const std::string name = kLockPrefix + device.substr(device.rfind('/') + 1);
  if (const char *dir = std::getenv(kLockDirVariable))
    return {dir + ("/" + name)};
  return {std::string(kLockDirs[0]) + "/" + name, std::string(kLockDirs[1]) + "/" + name};
}

LockJudgement judgeLock(const std::string &path) {
  LockJudgement judged{LockSign::NONE, 0, {}};
  if (lstat(path.c_str(), &judged.file) != 0)
    return judged;
  judged.sign = LockSign::FOREIGN;
  if (!S_ISREG(judged.file.st_mode))
    return judged;
  const int fd = open(path.c_str(), kLockOpenFlags);
  if (fd < 0) {
    if (errno == ENOENT)
      judged.sign = LockSign::NONE;
    return judged;
  }
  judgeOpenLock(fd, &judged);
  close(fd);
  return judged;
}

int takeLockFile(const std::string &device) {
  const std::vector<std::string> paths = lockPaths(device);
  std::vector<LockJudgement> judged;
  if (!judgeAllFree(paths, &judged))
    return EBUSY;
  size_t refused = paths.size();
  int refusal = 0;
  for (size_t k = 0; k < paths.size(); ++k) {
    const int err = takeLockAt(paths[k], judged[k]);
    if (err == 0 || err == EBUSY)
      return err;
    if (refusal == 0 && isRefusal(err)) {
      refused = k;
      refusal = err;
    }
  }
  if (refusal != 0)
    tellNoLockFile(paths[refused], judged[refused], refusal);
  return 0;
}

void releaseHeldLock() {
  if (held.path[0] == '\0')
    return;
  const int fd = open(held.path, kLockOpenFlags);
  if (fd >= 0) {
    struct stat file {};
    char text[sizeof held.pidLine];
    const bool ours = fstat(fd, &file) == 0 && file.st_dev == held.device &&
                      file.st_ino == held.inode &&
                      read(fd, text, sizeof text) == static_cast<ssize_t>(held.pidLength) &&
                      std::memcmp(text, held.pidLine, held.pidLength) == 0;
    close(fd);
    if (ours)
      unlink(held.path);
  }
  held.path[0] = '\0';
}
