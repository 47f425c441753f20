// Timing of the exchanges with the card, and the slow-line advice.
//
// Each exchange is timed from its command's last byte to its answer, and
// set against what the wire needs to carry both at the line's rate. When,
// after the first SLOW_LINE_SAMPLES exchanges of the run, the median delay
// beyond the wire's time exceeds SLOW_LINE_EXCESS_US, something between the
// port and the card holds the bytes back (almost always a USB adapter at
// its default latency timer of 16 ms): one line on standard error says so,
// by how much the job is longer, and where to lower the timer. It is said
// once; standard output is left alone. Each exchange costs two clock reads.
#pragma once

#include "platform/platform.h"

const int SLOW_LINE_SAMPLES = 256;
const long SLOW_LINE_EXCESS_US = 4000;

// The clock the exchanges are timed with, in milliseconds.
DWORD exchangeClock();

// An exchange that began at `sentAt` (its command's last byte written) has
// its answer now; `bytes` crossed the wire, both ways, at `rate` bit/s.
void exchangeDone(DWORD sentAt, DWORD bytes, DWORD rate);

// Judges a full set of samples (microseconds beyond the wire's time, and
// the wire's time) and prints the advice when the line is slow. True when
// it printed. Both arrays are reordered.
bool adviseSlowLine(long *excessUs, long *wireUs, int count);
