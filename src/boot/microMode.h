// The MICRO job on a card whose firmware runs, and the flag that says the
// card was found in boot mode already.
#pragma once

// 0 once the flash is written, -1 otherwise.
int ProgramMicro();

// Set by main when it programs a card that was found in boot mode.
extern int boot_on;
