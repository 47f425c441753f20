// The MICRO job on a card whose firmware runs, and the note of what the job
// changed. (A card found in boot mode already is programmed by the driver's
// fallback, which runs the boot-mode run itself.)
#pragma once

#include "link/recovery.h"

// 0 once the flash is written, -1 otherwise.
int runMicroJob();

// Notes what the MICRO job has changed on the card (`state`, a clause), for
// the advice after a failure.
void noteMicroChange(CardAdvice advice, const char *state);
