// Port names on POSIX systems (portNames.cpp): where a port word leads,
// shared by the port's opening, its adapter's latency and the port list.
#pragma once

#include <string>

// The directory where COMn is looked up, when the operator sets one.
extern const char PORT_DIR_VARIABLE[];

// Where the kernel shows each tty's device, driver and settings.
extern const char TTY_CLASS_DIR[];

// The path a port word opens: the word itself when it is a device path,
// $UPDATER_PORT_DIR/word when that variable is set, /dev/ttyS<n-1> for
// COMn otherwise.
std::string portPath(const std::string &port);

// True when a name given to CreateFileA names a port ("\\.\COM1"), not a
// file.
bool isDeviceName(const char *name);

// The path the port name `name` ("\\.\COM1") opens: portPath() of its word.
std::string devicePortPath(const char *name);
