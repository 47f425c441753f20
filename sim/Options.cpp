#include "Options.h"

#include "Line.h"
#include "Uploads.h"

#include <cctype>
#include <cstdlib>

namespace cardsim {

const char* const KNOWN_MODELS[6] = {"DVITOSDI",  "SDITODVI",  "SL-SDITODVI",
                                     "HDMITOSDI", "SDITOHDMI", "SL-SDITOHDMI"};

namespace {

constexpr int MAX_ANSWER_BYTES = 1000;
constexpr long MAX_CARD_TIME_MS = 10000;

long toNumber(const std::string& option, const std::string& text, long low, long high) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < low || value > high) {
    throw OptionError(option + " needs a whole number from " + std::to_string(low) + " to " +
                      std::to_string(high) + ", got \"" + text + "\"");
  }
  return value;
}

// A 16-bit word written in hex, with or without "0x".
Word hexWord(const std::string& option, const std::string& text) {
  const std::string digits = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 ? text.substr(2) : text;
  char* end = nullptr;
  const long value = std::strtol(digits.c_str(), &end, 16);
  if (digits.empty() || *end != '\0' || value < 0 || value > 0xFFFF) {
    throw OptionError(option + " needs a 16-bit hex word such as 0x1234, got \"" + text + "\"");
  }
  return static_cast<Word>(value);
}

std::string word(const std::string& option, const std::string& text) {
  if (text.empty()) throw OptionError(option + " needs a non-empty word");
  for (unsigned char c : text) {
    if (c <= ' ' || c >= 0x7F) {
      throw OptionError(option + " takes printable characters without blanks, got \"" + text +
                        "\"");
    }
  }
  return text;
}

// Walks the arguments; an option's value is either "--opt=VALUE" or the
// next argument.
class ArgReader {
 public:
  explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}

  bool next() {
    if (index_ >= args_.size()) return false;
    const std::string& arg = args_[index_++];
    const size_t eq = arg.find('=');
    name_ = arg.substr(0, eq);
    inlineValue_.reset();
    if (eq != std::string::npos && arg.rfind("--", 0) == 0) inlineValue_ = arg.substr(eq + 1);
    return true;
  }
  const std::string& name() const { return name_; }
  bool hasInlineValue() const { return inlineValue_.has_value(); }
  std::string value() {
    if (inlineValue_) return *inlineValue_;
    if (index_ >= args_.size()) throw OptionError(name_ + " needs a value");
    return args_[index_++];
  }
  void noValue() const {
    if (inlineValue_) throw OptionError(name_ + " takes no value");
  }
  std::vector<std::string> rest() {
    std::vector<std::string> rest(args_.begin() + static_cast<long>(index_), args_.end());
    index_ = args_.size();
    return rest;
  }

 private:
  const std::vector<std::string>& args_;
  size_t index_ = 0;
  std::string name_;
  std::optional<std::string> inlineValue_;
};

}  // namespace

Options parseOptions(const std::vector<std::string>& args) {
  Options options;
  FirmwareSetup& firmware = options.card.firmware;
  ArgReader reader(args);
  while (reader.next()) {
    const std::string& name = reader.name();
    if (name == "--") {
      options.command = reader.rest();
      if (options.command.empty()) throw OptionError("-- needs a command to run");
    } else if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--port") {
      options.port = word(name, reader.value());
      if (options.port.find('/') != std::string::npos) throw OptionError("--port takes a name, not a path");
    } else if (name == "--port-dir") {
      options.portDir = reader.value();
    } else if (name == "--link") {
      options.links.push_back(reader.value());
    } else if (name == "--state") {
      options.stateDir = reader.value();
    } else if (name == "--kill-after") {
      const std::string text = reader.value();
      char* end = nullptr;
      const double seconds = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !(seconds > 0)) {
        throw OptionError("--kill-after needs a positive number of seconds, got \"" + text + "\"");
      }
      options.killAfter = seconds;
    } else if (name == "--initial-rate") {
      options.initialRate = static_cast<int>(toNumber(name, reader.value(), 1, 4000000));
      if (speedFromBaud(options.initialRate) == 0) {
        throw OptionError("--initial-rate: unsupported bit rate " + std::to_string(options.initialRate));
      }
    } else if (name == "--pace") {
      reader.noValue();
      options.pacing.wire = true;
    } else if (name == "--card-time") {
      const std::string text = reader.value();
      char* end = nullptr;
      const double ms = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !(ms >= 0) || ms > MAX_CARD_TIME_MS) {
        throw OptionError("--card-time needs milliseconds from 0 to " + std::to_string(MAX_CARD_TIME_MS) +
                          ", got \"" + text + "\"");
      }
      options.pacing.cardTime = std::chrono::nanoseconds(static_cast<long long>(ms * 1e6));
    } else if (name == "--model") {
      firmware.model = word(name, reader.value());
    } else if (name == "--edition") {
      firmware.edition = static_cast<int>(toNumber(name, reader.value(), 0, 9));
    } else if (name == "--version") {
      firmware.version = word(name, reader.value());
    } else if (name == "--unknown-model-first") {
      firmware.unknownModelFirst = static_cast<int>(toNumber(name, reader.value(), 0, 1000000));
    } else if (name == "--old-firmware") {
      reader.noValue();
      firmware.oldFirmware = true;
    } else if (name == "--old-firmware-reply") {
      firmware.oldFirmware = true;
      firmware.oldFirmwareReply = static_cast<int>(toNumber(name, reader.value(), 0, MAX_ANSWER_BYTES));
    } else if (name == "--boot-mode") {
      reader.noValue();
      options.card.startMode = CardMode::Boot;
    } else if (name == "--boot-reboot") {
      options.card.startMode = CardMode::Boot;
      options.card.bootRebootReply =
          reader.hasInlineValue() ? static_cast<int>(toNumber(name, reader.value(), 1, 10))
                                  : DEFAULT_BOOT_REBOOT_REPLY;
    } else if (name == "--script-commands") {
      const std::string list = reader.value();
      try {
        options.card.uploads.scriptCommands = parseScriptCommands(list);
      } catch (const std::invalid_argument& e) {
        throw OptionError(std::string("--script-commands: ") + e.what());
      }
    } else if (name == "--write-samples") {
      options.samplesDir = reader.value();
      if (options.samplesDir.empty()) throw OptionError("--write-samples needs a directory");
    } else if (name == "--vxp-name") {
      options.card.videoProcessor.name = reader.value();
      if (options.card.videoProcessor.name.size() > 12) throw OptionError("--vxp-name takes at most 12 characters");
    } else if (name == "--vxp-status") {
      options.card.videoProcessor.status = hexWord(name, reader.value());
    } else if (name == "--vxp-type") {
      options.card.videoProcessor.type = hexWord(name, reader.value());
    } else if (name == "--vxp-memory") {
      options.card.videoProcessor.memory = hexWord(name, reader.value());
    } else if (name == "--vxp-osd-cal") {
      options.card.videoProcessor.osdCalibration = hexWord(name, reader.value());
    } else if (name == "--vxp-video-cal") {
      options.card.videoProcessor.videoCalibration = hexWord(name, reader.value());
    } else if (name == "--vxp-no-driver") {
      reader.noValue();
      options.card.videoProcessor.driverRunning = false;
    } else if (name == "--flash") {
      const std::string text = reader.value();
      const size_t eq = text.find('=');
      if (eq == std::string::npos || eq + 1 == text.size()) throw OptionError("--flash needs N=FILE");
      const int device = static_cast<int>(toNumber(name, text.substr(0, eq), 1, VideoProcessor::DEVICES));
      options.card.videoProcessor.flashFiles[device] = text.substr(eq + 1);
    } else if (name == "--fault") {
      try {
        options.faults.add(reader.value());
      } catch (const FaultError& e) {
        throw OptionError(e.what());
      }
    } else {
      throw OptionError("unknown option \"" + name + "\" (see --help)");
    }
  }
  return options;
}

std::string usageText() {
  std::string models;
  for (const char* model : KNOWN_MODELS) models += std::string(" ") + model;
  return "Usage: cardsim [OPTIONS] [-- COMMAND [ARGS...]]\n"
         "\n"
         "A virtual video-converter card on a pseudo-terminal. With a COMMAND, runs it\n"
         "with UPDATER_PORT_DIR set to the port directory, serves the card until it\n"
         "exits and exits with its status (128+signal if killed, 124 after\n"
         "--kill-after). Without one, prints the port and serves until SIGINT/SIGTERM.\n"
         "\n"
         "Line:\n"
         "  --port NAME              name of the port link in the port dir (default COM1)\n"
         "  --port-dir DIR           port directory (default: a fresh temporary one,\n"
         "                           removed at exit)\n"
         "  --link PATH              one more link to the port (repeatable)\n"
         "  --initial-rate BAUD      bit rate of the port before the host sets one\n"
         "                           (default 9600)\n"
         "  --state DIR              write the record there at exit (created if missing)\n"
         "  --kill-after SECONDS     kill COMMAND's process group after that long, exit 124\n"
         "  --pace                   wire pacing: every byte takes its wire time (10 bits\n"
         "                           at the host's rate) both ways, as on a real line\n"
         "  --card-time MS           the card's own time before each answer (default 0;\n"
         "                           fractions allowed, e.g. 0.2)\n"
         "\n"
         "Card:\n"
         "  --model NAME             answer to \"#DEVTYPE\" (default DVITOSDI); known:\n"
         "                          " + models + "\n"
         "                           any other NAME is answered as given\n"
         "  --edition N              edition digit of \"#DEVERSION\" (0-9, default 1)\n"
         "  --version WORD           firmware version word (default 2.05)\n"
         "  --unknown-model-first N  the first N \"#DEVTYPE\" answers name model UNKNOWN\n"
         "  --old-firmware           an old firmware: no \"#DEVTYPE\"/\"#DEVERSION\", answers\n"
         "                           the key bytes, the last one enters boot mode\n"
         "  --old-firmware-reply=N   old firmware; N bytes for each of the first three\n"
         "                           key bytes (default 2)\n"
         "  --boot-mode              the micro starts in boot mode (silent at 115200)\n"
         "  --boot-reboot[=N]        boot mode, its boot program waits for a reboot and\n"
         "                           answers each 0x00 with N bytes (1-10, default 3)\n"
         "  --script-commands LIST   script commands answered \"#ACK\", comma-separated,\n"
         "                           or none (default BRIGHTNESS,CONTRAST,SATURATION,\n"
         "                           HUE,SHARPNESS,INPUT,OUTPUT,SAVE); others get \"#NACK\";\n"
         "                           a lone CR gets an empty line (one CR)\n"
         "\n"
         "Video processor:\n"
         "  --vxp-name TEXT          answer to the Device Name Query (up to 12 chars)\n"
         "  --vxp-status HEX         VXP Status word 1: OSD load status (high byte),\n"
         "                           configuration status (low byte); default 0x0002\n"
         "  --vxp-type HEX           VXP Status word 2, the device type (default 0x2300)\n"
         "  --vxp-memory HEX         VXP Status word 14: memories (bits 14..8), flash\n"
         "                           chip selects (bits 7..0); default 0x7FFF\n"
         "  --vxp-osd-cal HEX        OSD calibration bits (default 0x000F)\n"
         "  --vxp-video-cal HEX      video calibration bits (default 0x03FF)\n"
         "  --vxp-no-driver          no ISP driver runs until one is loaded and called\n"
         "  --flash N=FILE           flash device N (1-7) starts with FILE's content\n"
         "                           (otherwise erased)\n"
         "\n"
         "Other:\n"
         "  --fault NAME[=ARG]       show a fault (repeatable); CMD is a command word\n"
         "                           such as DEVTYPE, DEVERSION, MP; PROBE names the\n"
         "                           0x00 probe, KEY the old-firmware key bytes\n"
         "  --write-samples DIR      write a complete, valid set of update files into DIR\n"
         "                           (Device1.bin, Device5.bin, FDriver.bin, SFDriver.bin,\n"
         "                           fpga.xsvf, EDID.bin, gamma.csv, remote.txt) and exit\n"
         "  --help                   this text\n"
         "\n"
         "Bit rates: the card's UART runs at 115200 bit/s while the firmware runs and\n"
         "at 9600 in boot mode. While the host's rate differs, the card takes what it\n"
         "receives as noise, and each byte it sends reaches the host as a fixed\n"
         "scramble of itself that is never \"#\", \"=\", \"*\", \"~\", \"$\", \".\" or CR.\n"
         "\n"
         "Faults:\n" +
         Faults::helpText() +
         "\n"
         "Record (--state DIR): received.bin, events.log, timeline.log, card.txt,\n"
         "measure.txt (bytes and wire time each way, fixed pauses, host turnaround), and\n"
         "files of the card's parts (isp-frames.txt, flash-device<N>.bin for each\n"
         "flash device used, vxp-driver.bin with the driver memory from 0x0800;\n"
         "edid.bin, gamma.bin, gamma.csv and fpga.bin for the uploads, with\n"
         "edid_result, gamma_result, fpga_result in card.txt;\n"
         "micro-flash.bin, the micro's flash after a boot-mode run, and\n"
         "micro-kernel.bin, main-kernel.bin, write-kernel.bin, the kernels as received).\n";
}

}  // namespace cardsim
