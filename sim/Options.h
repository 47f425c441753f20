// Command line of cardsim.
#pragma once

#include "Card.h"
#include "Faults.h"
#include "PowerCut.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cardsim {

struct OptionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Options {
  std::string port = "COM1";
  std::string portDir; // empty: a fresh temporary directory
  std::vector<std::string> links;
  std::string stateDir;            // empty: no record is written
  std::optional<double> killAfter; // seconds
  int initialRate = 9600;
  Pacing pacing;
  CardSetup card;
  Faults faults;
  std::optional<PowerCut> powerCut;
  bool help = false;
  std::string samplesDir;           // --write-samples: write the sample set there and exit
  std::vector<std::string> command; // after "--"
};

constexpr int DEFAULT_BOOT_REBOOT_REPLY = 3;

// Throws OptionError with a message for the user.
Options parseOptions(const std::vector<std::string> &args);
std::string usageText();

} // namespace cardsim
