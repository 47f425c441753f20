// What the POSIX console layer needs from the port's own code.
#pragma once

// Removes the lock file this run holds, if it is still this run's. Called
// from a stop signal's handler: async-signal-safe.
void releaseHeldLockFromSignal();
