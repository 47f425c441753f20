// The firmware's side of the MICRO job: "#MICROMODE" is answered, and
// "#MICRO" restarts the micro in boot mode, its boot program listening at
// 9600 bit/s.
#pragma once

#include "Firmware.h"

namespace cardsim {

// Answer line of "#MICROMODE", without its CR.
extern const char *const MICROMODE_ANSWER;

void addMicroModeCommands(Firmware &firmware, ModeSwitch &modes);

} // namespace cardsim
