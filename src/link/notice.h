// Lines for the technician on standard error: what standard output's
// console texts leave unsaid (a silent card, a port that went away).
#pragma once

// Prints `format` on standard error, on a line of its own that starts
// "updater: ", after everything
// standard output holds so far: a log that takes both streams keeps them in
// order.
#ifdef __GNUC__
__attribute__((format(printf, 1, 2)))
#endif
void notice(const char *format, ...);
