#include "PowerCut.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <vector>

namespace cardsim {

namespace {

// A step and the events that mark it: an event written with a trailing
// blank is a prefix, any other is matched whole.
struct Step {
  const char *name;
  std::vector<const char *> events;
  const char *help;
};

const std::vector<Step> STEPS = {
    {"driver", {"vxp driver started "}, "the video processor started an ISP driver"},
    {"erase", {"vxp erase device "}, "the video processor erased flash device 5 or 7"},
    {"header",
     {"vxp window write device 5 start 0x0 ", "vxp window write device 7 start 0x0 "},
     "the header window of device 5 or 7 opened"},
    {"last-block", {"vxp window filled "}, "a write window took its last Data Block"},
    {"micro-mode", {"mode boot"}, "the micro restarted in its boot program"},
    {"micro-kernel", {"boot micro kernel download "}, "the micro kernel's download began"},
    {"micro-erase", {"boot erase"}, "the micro kernel erased the micro's flash"},
    {"main-kernel", {"boot MAIN kernel "}, "the main kernel is in"},
    {"write-kernel", {"boot WRITE kernel "}, "the write kernel is in"},
    {"micro-block", {"boot block at "}, "a programming block was written into the micro's flash"},
    {"fpga", {"fpga start"}, "the FPGA upload began"},
    {"edid", {"edid start "}, "the EDID upload began"},
    {"gamma", {"gamma start "}, "the gamma table upload began"},
};

bool marks(const char *pattern, const std::string &event) {
  const std::string text = pattern;
  return text.back() == ' ' ? event.rfind(text, 0) == 0 : event == text;
}

long count(const std::string &text, const std::string &when) {
  if (text.empty() || text.size() > 9 ||
      !std::all_of(text.begin(), text.end(),
                   [](unsigned char c) { return std::isdigit(c) != 0; })) {
    throw std::invalid_argument("--power-cut needs N or STEP[@K][+N] with whole numbers, got \"" +
                                when + "\"");
  }
  return std::stol(text);
}

} // namespace

PowerCut PowerCut::parse(const std::string &when) {
  PowerCut cut;
  const size_t plus = when.find('+');
  const std::string head = when.substr(0, plus);
  if (plus != std::string::npos)
    cut.bytes_ = count(when.substr(plus + 1), when);
  if (!head.empty() && std::isdigit(static_cast<unsigned char>(head[0]))) {
    if (plus != std::string::npos)
      throw std::invalid_argument("--power-cut: N+N is not a step");
    cut.bytes_ = count(head, when);
    return cut;
  }
  const size_t at = head.find('@');
  const std::string name = head.substr(0, at);
  if (at != std::string::npos)
    cut.occurrence_ = std::max(1L, count(head.substr(at + 1), when));
  for (size_t k = 0; k < STEPS.size(); ++k) {
    if (name == STEPS[k].name)
      cut.step_ = static_cast<int>(k);
  }
  if (cut.step_ < 0)
    throw std::invalid_argument("--power-cut: unknown step \"" + name + "\" (see --help)");
  return cut;
}

std::string PowerCut::stepsHelp() {
  std::string text;
  for (const Step &step : STEPS) {
    std::string head = std::string("  ") + step.name;
    head.resize(26, ' ');
    text += head + step.help + "\n";
  }
  return text;
}

std::optional<long> PowerCut::onEvent(const std::string &event) {
  if (step_ < 0 || seen_ >= occurrence_)
    return std::nullopt;
  for (const char *pattern : STEPS[static_cast<size_t>(step_)].events) {
    if (marks(pattern, event) && ++seen_ == occurrence_)
      return bytes_;
  }
  return std::nullopt;
}

} // namespace cardsim
