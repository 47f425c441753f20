// A serial adapter's latency on POSIX systems (latency.cpp), as the port's
// opening and closing use it.
#pragma once

#include <string>

// Sets or clears the serial driver's low-latency mode; true when the driver
// took the change.
bool setLowLatency(int fd, bool on);

// When a USB adapter still holds bytes longer than 1 ms, says how to lower
// its latency timer, once a run (identification reopens the port).
void hintLatencyTimer(const std::string &path);
