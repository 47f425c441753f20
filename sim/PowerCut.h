// A power cut: the card loses its power and the host its line, either after
// a number of host bytes or at a step of a protocol the card goes through
// (the flash erase, the header window, the micro kernel download...).
//
// A step is recognised by the card's own event for it; "STEP@K" waits for
// the K-th time the step comes, "STEP+N" lets N more host bytes in before
// the cut. What the card had written until then stays written: a flash
// being written holds its erased bytes and the blocks that had arrived.
#pragma once

#include <optional>
#include <string>

namespace cardsim {

class PowerCut {
public:
  // WHEN is N (after N host bytes) or STEP[@K][+N]; throws
  // std::invalid_argument with a message for the user.
  static PowerCut parse(const std::string &when);
  // One line per step, for --help.
  static std::string stepsHelp();

  // The host bytes after which the power goes, when the cut is at a fixed
  // count; nothing when it waits for a step.
  std::optional<long> afterBytes() const {
    return step_ < 0 ? std::optional<long>(bytes_) : std::nullopt;
  }
  // Called with every event of the card. Once the step has come its K-th
  // time, gives the host bytes still let in before the cut.
  std::optional<long> onEvent(const std::string &event);

private:
  int step_ = -1; // index in the step table, or -1 for a fixed count
  long occurrence_ = 1;
  long seen_ = 0;
  long bytes_ = 0;
};

} // namespace cardsim
