// What the POSIX layer knows about serial ports, shared by the port's
// opening (posix.cpp) and the port list (portList.cpp): where a port word
// leads, and the processes that hold a device open. The UUCP lock files
// are posixLock.h's.
#pragma once

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

// The directory where COMn is looked up, when the operator sets one.
extern const char PORT_DIR_VARIABLE[];

// Where the kernel shows each tty's device, driver and settings.
extern const char TTY_CLASS_DIR[];

// The path a port word opens: the word itself when it is a device path,
// $UPDATER_PORT_DIR/word when that variable is set, /dev/ttyS<n-1> for
// COMn otherwise.
std::string portPath(const std::string &port);

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
