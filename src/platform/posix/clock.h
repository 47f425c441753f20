// The clock of the POSIX layer, for the serial port's waits (clock.cpp).
#pragma once

#include <cstdint>

// Real monotonic time in nanoseconds.
int64_t nowNs();

// A wait of `ms` protocol milliseconds, in real nanoseconds: shorter under
// UPDATER_TIME_SCALE.
int64_t realNs(uint64_t ms);
