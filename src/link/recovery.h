// What the running job has changed on the card, and the one line on
// standard error that says, after a failed job, what the card likely holds
// and which command brings it back. The jobs note each change as they make
// it (an erase, the first block written, a receiver started); the driver
// prints the line once the job has failed.
#pragma once

#include <cstddef>

// What brings the card back; the job's command follows each.
enum CardAdvice {
  ADVICE_RUN_AGAIN,                // the same command mends it
  ADVICE_RUN_AGAIN_IN_BOOT_MODE,   // the same command, which finds the micro in boot mode
  ADVICE_POWER_CYCLE_OR_RUN_AGAIN, // a power cycle undoes the change, a new run does the job
};

// Names the command that runs the job again: its job word and its file
// word ("" for a job without one), on the port of this run. The first call
// of a run stands, so that the full update's steps, which are jobs of their
// own, leave the ALL command in place.
void noteRerunCommand(const char *jobWord, const char *fileName);

// What the card likely holds if the job ends now, as a clause ("flash
// device 5 is erased"), and what brings it back. Replaces the earlier note.
void noteCardChange(CardAdvice advice, const char *state);

// Hands the noted clause over to `state` (`size` bytes; "" when nothing was
// noted) and forgets the note: the full update reports its steps together.
void takeCardChange(char *state, size_t size);

// After a failed job: one line on standard error with the noted state and
// the command that brings the card back, when the job changed the card;
// nothing otherwise. Prints at most once, however often it is called.
void printCardStateAfterFailure();
