// The MICRO job on a card whose firmware runs, the flag that says the card
// was found in boot mode already, and the note of what the job changed.
#pragma once

#include "link/recovery.h"

// 0 once the flash is written, -1 otherwise.
int runMicroJob();

// Notes what the MICRO job has changed on the card (`state`, a clause), for
// the advice after a failure.
void noteMicroChange(CardAdvice advice, const char *state);

// Set by main when it programs a card that was found in boot mode.
extern int boot_on;
