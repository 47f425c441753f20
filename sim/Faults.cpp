#include "Faults.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace cardsim {

const char *const PROBE_KEY = "PROBE";

namespace {

const char *const LINE = "line";
const char *const ANSWERS = "answers";
const char *const FIRMWARE = "firmware";
const char *const UPLOADS = "uploads";
const char *const VIDEO_PROCESSOR = "video processor";
const char *const BOOT = "boot";

// The whole vocabulary. A part of the card that gets faults of its own adds
// its rows here, with its own owner name.
const std::vector<FaultKind> CATALOGUE = {
    {"silent", FaultArg::None, FIRMWARE,
     "the firmware answers nothing at all, the 0x00 probe included"},
    {"silent-cmd", FaultArg::Command, FIRMWARE,
     "no answer to that command (e.g. DEVTYPE, DEVERSION, MP, PROBE)"},
    {"refuse", FaultArg::Command, FIRMWARE, "acknowledge that =M command with \"=M~\""},
    {"bad-status", FaultArg::CommandChar, FIRMWARE,
     "acknowledge that =M command with \"=M\" and CHAR (CMD:CHAR, CHAR or 0xNN)"},
    {"no-cr", FaultArg::Command, FIRMWARE, "that command's answer line never reaches its CR"},
    {"long-line", FaultArg::Command, FIRMWARE,
     "answer that command with a line of 60+ characters and no CR"},
    {"repeat-eq", FaultArg::None, FIRMWARE, "acknowledgements are sent as \"==M\" and status"},
    {"firmware-rate", FaultArg::Count, FIRMWARE,
     "the firmware's UART runs at N bit/s instead of 115200 (both ways garbled)"},
    {"ack-silent", FaultArg::Count, FIRMWARE, "the first N =M commands get no acknowledgement"},
    {"noise", FaultArg::None, ANSWERS,
     "a few junk bytes (never \"#\" or \"=\") before every answer"},
    {"split", FaultArg::None, ANSWERS, "every answer is sent byte by byte, a few ms apart"},
    {"delay", FaultArg::Millis, ANSWERS, "every answer is delayed by MS milliseconds"},
    {"upload-fail", FaultArg::Command, UPLOADS,
     "that upload (EDID, GAMMA, FPGA) ends with \"~E\" whatever it received"},
    {"upload-silent-after", FaultArg::Count, UPLOADS,
     "an upload sends nothing more after N acknowledgements or FPGA requests"},
    {"no-end", FaultArg::Command, UPLOADS, "no \"~\" after that upload's (EDID, GAMMA) sum byte"},
    {"no-verdict", FaultArg::Command, UPLOADS,
     "\"~\" after that upload's (EDID, GAMMA) sum byte, but no \"S\" or \"E\""},
    {"ack-noise", FaultArg::None, UPLOADS, "junk with \"~\", \"E\" and \"S\" before every \".\""},
    {"fpga-block-limit", FaultArg::Count, UPLOADS,
     "the XSVF player asks for blocks of up to N bytes (default 1000)"},
    {"fpga-past-end", FaultArg::Count, UPLOADS,
     "at XCOMPLETE the player asks for N more bytes (\"*\" for 0 or 1)"},
    {"fpga-bad-request", FaultArg::None, UPLOADS, "\"$x\" once, before the first block request"},
    {"chatter", FaultArg::Millis, UPLOADS,
     "junk bytes for MS milliseconds right after the \"#DEVTYPE\" answer"},
    {"vxp-refuse-block", FaultArg::Count, VIDEO_PROCESSOR,
     "the N-th Data Block is refused once (repeatable, as are the other\n"
     "                          vxp- faults that name the N-th frame or block)"},
    {"vxp-refuse-blocks-from", FaultArg::Count, VIDEO_PROCESSOR,
     "the N-th Data Block and every later one are refused"},
    {"vxp-gspi", FaultArg::None, VIDEO_PROCESSOR,
     "every NACK reports a GSPI time-out (word 2 0x1234)"},
    {"vxp-nack-other", FaultArg::Count, VIDEO_PROCESSOR,
     "the N-th ISP frame gets a NACK naming another command (0xfff)"},
    {"vxp-echo", FaultArg::Count, VIDEO_PROCESSOR, "the N-th ISP frame is answered with itself"},
    {"vxp-silent-frame", FaultArg::Count, VIDEO_PROCESSOR, "the N-th ISP frame gets no answer"},
    {"vxp-late-frame", FaultArg::Count, VIDEO_PROCESSOR,
     "the answer to the N-th ISP frame leaves late (vxp-late-ms, default 3500)"},
    {"vxp-late-ms", FaultArg::Millis, VIDEO_PROCESSOR, "how late vxp-late-frame's answer leaves"},
    {"vxp-slow-erase", FaultArg::Millis, VIDEO_PROCESSOR,
     "erasing device 5 or 7 takes MS milliseconds before its window is acknowledged"},
    {"vxp-bad-checksum", FaultArg::Count, VIDEO_PROCESSOR,
     "the answer to the N-th ISP frame has a wrong checksum"},
    {"vxp-bad-length", FaultArg::Count, VIDEO_PROCESSOR,
     "the answer to the N-th ISP frame carries one word more than its count"},
    {"vxp-noise", FaultArg::None, VIDEO_PROCESSOR,
     "junk with lone \"=\" and CR before every ISP answer"},
    {"vxp-restart", FaultArg::Count, VIDEO_PROCESSOR,
     "a broken-off \"=G\" frame before the answer to the N-th ISP frame"},
    {"vxp-trailer", FaultArg::Count, VIDEO_PROCESSOR,
     "the answer to the N-th ISP frame is followed by 60 junk bytes and \"=M~\""},
    {"vxp-endless", FaultArg::Count, VIDEO_PROCESSOR,
     "the answer to the N-th ISP frame is \"=G\" and 400 bytes without CR"},
    {"vxp-short-read", FaultArg::Count, VIDEO_PROCESSOR,
     "the N-th Read Block answer carries 8 words (the device moves on 16 bytes)"},
    {"vxp-short-reads-from", FaultArg::Count, VIDEO_PROCESSOR,
     "the N-th Read Block answer and every later one carry 8 words"},
    {"vxp-wrong-read", FaultArg::Count, VIDEO_PROCESSOR,
     "the N-th Read Block is answered with code 0x73b (the device stays put)"},
    {"vxp-differ", FaultArg::Count, VIDEO_PROCESSOR,
     "word N of a device reads back changed (0x0100 flipped); repeatable"},
    {"boot-no-sync", FaultArg::None, BOOT,
     "the boot program never answers the 0x00 synchronisation"},
    {"boot-no-aa", FaultArg::None, BOOT, "the boot program answers 0x00 but never 0x55 with 0xAA"},
    {"boot-bad-echo", FaultArg::Count, BOOT, "micro kernel byte N (from 0) is echoed wrong"},
    {"boot-erase-fail", FaultArg::None, BOOT, "the flash erase fails: 0xAA, then 0xFF"},
    {"boot-bad-inquiry", FaultArg::None, BOOT,
     "the programming unit inquiry 0x27 gets a reply with a wrong sum"},
    {"boot-bad-status", FaultArg::Count, BOOT,
     "status reply N (1 after the main kernel, 2 after the write kernel) is wrong"},
    {"boot-bad-status-sum", FaultArg::Count, BOOT, "status reply N carries a wrong sum byte"},
    {"boot-no-ack", FaultArg::Command, BOOT,
     "no 0x06 at that step: DEVICE, CLOCK, RATE, CONFIRM, PROGRAM, MAIN, USER, WRITE or BLOCK"},
    {"boot-no-ack-block", FaultArg::Count, BOOT,
     "programming block N (from 1) is written but not acknowledged"},
    {"disconnect-after", FaultArg::Count, LINE,
     "after N received bytes the card vanishes: port closed, links removed"},
    {"replug-after", FaultArg::Millis, LINE,
     "MS milliseconds after the card vanished its port comes back on a new pseudo-terminal behind "
     "the same links, "
     "the card as it was (an adapter plugged in again)"},
};

const FaultKind *findKind(const std::string &name) {
  for (const FaultKind &kind : CATALOGUE) {
    if (name == kind.name)
      return &kind;
  }
  return nullptr;
}

// A part of the card that asks for a fault the catalogue does not hold has
// its name wrong: the fault would never show, and no test would say so.
void requireKnown(const std::string &name) {
  if (findKind(name) == nullptr)
    throw std::logic_error("cardsim asks for an unknown fault \"" + name + "\"");
}

const char *argSyntax(FaultArg arg) {
  switch (arg) {
  case FaultArg::None:
    return "";
  case FaultArg::Count:
    return "=N";
  case FaultArg::Millis:
    return "=MS";
  case FaultArg::Command:
    return "=CMD";
  case FaultArg::CommandChar:
    return "=CMD:CHAR";
  }
  return "";
}

long parseNumber(const std::string &fault, const std::string &text) {
  if (text.empty() || !std::all_of(text.begin(), text.end(),
                                   [](unsigned char c) { return std::isdigit(c) != 0; })) {
    throw FaultError("fault " + fault + " needs a non-negative whole number, got \"" + text + "\"");
  }
  errno = 0;
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (errno == ERANGE)
    throw FaultError("fault " + fault + ": number too large");
  return value;
}

Byte parseChar(const std::string &fault, const std::string &text) {
  if (text.size() == 1)
    return static_cast<Byte>(text[0]);
  if (text.size() == 4 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
      std::isxdigit(static_cast<unsigned char>(text[2])) &&
      std::isxdigit(static_cast<unsigned char>(text[3]))) {
    return static_cast<Byte>(std::strtol(text.c_str() + 2, nullptr, 16));
  }
  throw FaultError("fault " + fault + " needs one character or 0xNN after the colon, got \"" +
                   text + "\"");
}

std::string parseCommand(const std::string &fault, const std::string &text) {
  std::string key = commandKey(text);
  if (key.empty())
    throw FaultError("fault " + fault + " needs a command name");
  return key;
}

} // namespace

std::string commandKey(const std::string &command) {
  std::string key = command;
  if (!key.empty() && (key[0] == '#' || key[0] == '='))
    key.erase(0, 1);
  for (char &c : key)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

const std::vector<FaultKind> &Faults::catalogue() { return CATALOGUE; }

std::string Faults::helpText() {
  std::string text;
  for (const FaultKind &kind : CATALOGUE) {
    std::string head = std::string("  ") + kind.name + argSyntax(kind.arg);
    head.resize(std::max<size_t>(head.size() + 1, 26), ' ');
    text += head + "[" + kind.owner + "] " + kind.help + "\n";
  }
  return text;
}

void Faults::add(const std::string &option) {
  const size_t eq = option.find('=');
  const std::string name = option.substr(0, eq);
  const bool hasArg = eq != std::string::npos;
  const std::string arg = hasArg ? option.substr(eq + 1) : std::string();

  const FaultKind *kind = findKind(name);
  if (kind == nullptr)
    throw FaultError("unknown fault \"" + name + "\" (see --help)");
  if ((kind->arg == FaultArg::None) == hasArg) {
    throw FaultError(kind->arg == FaultArg::None
                         ? "fault " + name + " takes no argument"
                         : "fault " + name + " needs an argument: " + name + argSyntax(kind->arg));
  }

  Active active;
  active.name = name;
  switch (kind->arg) {
  case FaultArg::None:
    break;
  case FaultArg::Count:
  case FaultArg::Millis:
    active.number = parseNumber(name, arg);
    break;
  case FaultArg::Command:
    active.command = parseCommand(name, arg);
    break;
  case FaultArg::CommandChar: {
    const size_t colon = arg.rfind(':');
    if (colon == std::string::npos || colon == 0) {
      throw FaultError("fault " + name + " needs CMD:CHAR, got \"" + arg + "\"");
    }
    active.command = parseCommand(name, arg.substr(0, colon));
    active.character = parseChar(name, arg.substr(colon + 1));
    break;
  }
  }
  active_.push_back(active);
}

bool Faults::has(const std::string &name) const {
  requireKnown(name);
  return std::any_of(active_.begin(), active_.end(),
                     [&](const Active &a) { return a.name == name; });
}

bool Faults::hasFor(const std::string &name, const std::string &command) const {
  requireKnown(name);
  const std::string key = commandKey(command);
  return std::any_of(active_.begin(), active_.end(),
                     [&](const Active &a) { return a.name == name && a.command == key; });
}

std::optional<long> Faults::number(const std::string &name) const {
  requireKnown(name);
  std::optional<long> value;
  for (const Active &a : active_) {
    if (a.name == name)
      value = a.number;
  }
  return value;
}

std::vector<long> Faults::numbers(const std::string &name) const {
  requireKnown(name);
  std::vector<long> values;
  for (const Active &a : active_) {
    if (a.name == name)
      values.push_back(a.number);
  }
  return values;
}

std::optional<Byte> Faults::charFor(const std::string &name, const std::string &command) const {
  requireKnown(name);
  const std::string key = commandKey(command);
  std::optional<Byte> value;
  for (const Active &a : active_) {
    if (a.name == name && a.command == key)
      value = a.character;
  }
  return value;
}

std::vector<std::string> Faults::describe() const {
  std::vector<std::string> lines;
  for (const Active &a : active_) {
    const FaultKind *kind = findKind(a.name);
    std::string line = a.name;
    switch (kind->arg) {
    case FaultArg::None:
      break;
    case FaultArg::Count:
    case FaultArg::Millis:
      line += "=" + std::to_string(a.number);
      break;
    case FaultArg::Command:
      line += "=" + a.command;
      break;
    case FaultArg::CommandChar:
      line += "=" + a.command + ":" + escape(Bytes{a.character});
      break;
    }
    lines.push_back(line);
  }
  return lines;
}

} // namespace cardsim
