// Who else uses a serial device on POSIX systems, and who may (portAccess.cpp):
// the processes that hold it open, the group it belongs to, and the line
// that tells the operator, shared by the port's opening, its lock file and
// the port list.
#pragma once

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

// A process other than this one that holds `device` open, as far as /proc
// shows it (a terminal program or a shell's "exec 3<>" takes no lock at
// all); 0 when there is none. Only descriptors on /dev are looked at: a
// file on a hung network mount is never touched.
pid_t processHolding(const struct stat &device);

// The name of the group that owns a file, or its number when it has none.
std::string groupName(const struct stat &file);

// Prints `line` on standard error, on a line of its own that starts
// "updater: ", after everything standard output holds so far.
void tellOnStandardError(const std::string &line);

// No permission on the device: the console says what Windows says, and
// standard error names the group that may use it, or says that none may.
void explainNoPermission(const std::string &path);
