// Faults the virtual card can be asked to show.
//
// A fault is written NAME or NAME=ARG on the command line (--fault, repeatable).
// Every fault is listed once in the catalogue with the kind of argument it
// takes and the part of the card that shows it; a part of the card asks the
// Faults object whether its faults are active. A new part of the card adds
// its rows to the catalogue in Faults.cpp and asks with has()/hasFor()/number().
#pragma once

#include "Bytes.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cardsim {

enum class FaultArg {
  None,        // NAME
  Count,       // NAME=N, N >= 0
  Millis,      // NAME=MS, MS >= 0
  Command,     // NAME=CMD
  CommandChar, // NAME=CMD:CHAR (CHAR one character or 0xNN)
};

struct FaultKind {
  const char *name;
  FaultArg arg;
  const char *owner; // the part of the card that shows it
  const char *help;
};

struct FaultError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The key of a card command as faults and counters name it: the command word
// without its leading "#" or "=" and upper-cased ("#DEVTYPE" and "devtype"
// give "DEVTYPE", "=MP" gives "MP"). The 0x00 probe is named "PROBE".
std::string commandKey(const std::string &command);
extern const char *const PROBE_KEY;

class Faults {
public:
  static const std::vector<FaultKind> &catalogue();
  // Text for --help: one line per fault.
  static std::string helpText();

  // Adds one fault given as NAME or NAME=ARG; throws FaultError when the name
  // is unknown or the argument does not fit.
  void add(const std::string &option);

  bool has(const std::string &name) const;
  // True when the fault NAME is active for the command with key `command`.
  bool hasFor(const std::string &name, const std::string &command) const;
  // The numeric argument of a Count or Millis fault (the last one given).
  std::optional<long> number(const std::string &name) const;
  // Every numeric argument given to a Count fault, in the order given.
  std::vector<long> numbers(const std::string &name) const;
  // The character of a CommandChar fault for `command`.
  std::optional<Byte> charFor(const std::string &name, const std::string &command) const;

  // Active faults in their normalised NAME[=ARG] form, in the order given.
  std::vector<std::string> describe() const;
  bool empty() const { return active_.empty(); }

private:
  struct Active {
    std::string name;
    std::string command; // Command, CommandChar
    long number = 0;     // Count, Millis
    Byte character = 0;  // CommandChar
  };
  std::vector<Active> active_;
};

} // namespace cardsim
