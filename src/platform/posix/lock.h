// The UUCP lock files of serial ports on POSIX systems, kept as lockdev and
// minicom keep them: "LCK..<device>" in /var/lock or /run/lock, holding the
// owner's PID as "%10d\n". Those directories are world-writable and the
// updater often runs as root, so nothing found there is followed, opened
// in a way that may block, or removed unless it is still the file judged.
#pragma once

#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

// The lock files of a device (its real path), in the directories to look
// for and make them in: "/var/lock/LCK..ttyUSB0", "/run/lock/LCK..ttyUSB0";
// with UPDATER_LOCK_DIR set, the one in that directory.
std::vector<std::string> lockPaths(const std::string &device);

// What the lock file at a path says of its port.
enum class LockSign {
  NONE,          // there is none
  STALE,         // its process is gone (or is this one), or it was left unfinished
  LIVE,          // a live process holds it
  BEING_WRITTEN, // no complete PID line yet, and recent: a program is writing it
  FOREIGN,       // not a regular file, or unreadable: no lock file to judge
};

struct LockJudgement {
  LockSign sign;
  pid_t pid;        // the PID it holds, 0 when it holds none
  struct stat file; // the file judged (lstat for a FOREIGN one)
};

LockJudgement judgeLock(const std::string &path);

// Takes the lock file of `device` (its real path) in the first lock
// directory that gives one. EBUSY when another program holds the port by a
// lock file, or when a foreign file sits at a lock's name (standard error
// names it); 0 otherwise, also when no directory lets the updater make its
// lock (standard error says so when one refuses): a lock file is a
// courtesy between programs, and the port's flock, exclusive mode and the
// /proc scan still guard it.
int takeLockFile(const std::string &device);

// Removes the lock file this run holds, when it is still the one it made
// and still holds this run's PID. Async-signal-safe: the stop signals'
// handler calls it.
void releaseHeldLock();
