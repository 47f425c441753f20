#include "MicroMode.h"

namespace cardsim {

const char *const MICROMODE_ANSWER = "#MICROMODE OK";

void addMicroModeCommands(Firmware &firmware, ModeSwitch &modes) {
  firmware.addTextCommand("MICROMODE", [&firmware](const Command &command) {
    firmware.answerLine(command, MICROMODE_ANSWER, Answer::MicroModeAnswer);
  });
  firmware.addTextCommand("MICRO", [&modes](const Command &) { modes.enterBootMode("#MICRO"); });
}

} // namespace cardsim
