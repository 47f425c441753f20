#include "Options.h"

#include "Line.h"
#include "Timing.h"
#include "Uploads.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>

namespace cardsim {

namespace {

constexpr long MAX_ANSWER_BYTES = 1000;
constexpr long MAX_CARD_TIME_MS = 10000;
// An FTDI chip's latency timer runs from 1 to 255 ms.
constexpr long MAX_ADAPTER_LATENCY_MS = 255;
constexpr long MAX_ADAPTER_PACKET = 4096;
constexpr size_t HELP_COLUMN = 27;

// Our checks print no type in the help: each option's help says what it takes.
CLI::Validator rule(std::function<std::string(std::string &)> problem) {
  return {std::move(problem), ""};
}

// The number `text` holds; NaN when it holds none.
double numberIn(const std::string &text) {
  char *end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return text.empty() || *end != '\0' ? std::nan("") : value;
}

CLI::Validator numberFrom(long low, long high) {
  return rule([low, high](const std::string &text) {
    const double value = numberIn(text);
    return value >= static_cast<double>(low) && value <= static_cast<double>(high)
               ? std::string()
               : "needs a number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", got \"" + text + "\"";
  });
}

CLI::Validator positiveSeconds() {
  return rule([](const std::string &text) {
    const double value = numberIn(text);
    return value > 0 && std::isfinite(value)
               ? std::string()
               : "needs a positive number of seconds, got \"" + text + "\"";
  });
}

CLI::Validator printableWord() {
  return rule([](const std::string &text) {
    const auto printable = [](unsigned char c) { return c > ' ' && c < 0x7F; };
    if (text.empty()) {
      return std::string("needs a non-empty word");
    }
    return std::all_of(text.begin(), text.end(), printable)
               ? std::string()
               : "takes printable characters without blanks, got \"" + text + "\"";
  });
}

CLI::Validator nonEmpty() {
  return rule(
      [](const std::string &text) { return text.empty() ? "needs a directory" : std::string(); });
}

// A 16-bit word written in hex, with or without "0x"; handed on in decimal.
CLI::Validator hexWord() {
  return rule([](std::string &text) -> std::string {
    const bool prefixed = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
    const std::string digits = prefixed ? text.substr(2) : text;
    char *end = nullptr;
    const long value = std::strtol(digits.c_str(), &end, 16);
    if (digits.empty() || *end != '\0' || value < 0 || value > 0xFFFF) {
      return "needs a 16-bit hex word such as 0x1234, got \"" + text + "\"";
    }
    text = std::to_string(value);
    return {};
  });
}

// "N=FILE": flash device N starts with FILE's content.
void addFlashFile(VideoProcessorSetup &videoProcessor, const std::string &text) {
  const size_t eq = text.find('=');
  char *end = nullptr;
  const long device = std::strtol(text.c_str(), &end, 10);
  if (eq == std::string::npos || end != &text[eq] || eq + 1 == text.size() || device < 1 ||
      device > VideoProcessor::DEVICES) {
    throw CLI::ValidationError("--flash", "needs N=FILE with N from 1 to " +
                                              std::to_string(VideoProcessor::DEVICES) + ", got \"" +
                                              text + "\"");
  }
  videoProcessor.flashFiles[static_cast<int>(device)] = text.substr(eq + 1);
}

const char *const HEAD =
    "Usage: cardsim [OPTIONS] [-- COMMAND [ARGS...]]\n"
    "\n"
    "A virtual video-converter card on a pseudo-terminal. With a COMMAND, runs it\n"
    "with UPDATER_PORT_DIR set to the port directory, serves the card until it\n"
    "exits and exits with its status (128+signal if killed, 124 after\n"
    "--kill-after). Without one, prints the port and serves until SIGINT/SIGTERM.\n"
    "\n";

// The help's layout, which the manual page is made from: the usage line
// with "-- COMMAND" first, one blank line between groups, and a flag that
// takes a value ("--boot-reboot=N") shown as "--boot-reboot[=N]".
class HelpLayout : public CLI::Formatter {
public:
  HelpLayout() { column_width(HELP_COLUMN); }
  std::string make_usage(const CLI::App * /*app*/, std::string /*name*/) const override {
    return HEAD;
  }
  std::string make_group(std::string group, bool isPositional,
                         std::vector<const CLI::Option *> opts) const override {
    return CLI::Formatter::make_group(std::move(group), isPositional, std::move(opts)).substr(1);
  }
  std::string make_option_name(const CLI::Option *opt, bool isPositional) const override {
    const std::string name = CLI::Formatter::make_option_name(opt, isPositional);
    const size_t brace = name.find('{');
    return brace == std::string::npos ? name : name.substr(0, brace) + "[=N]";
  }
};

// An option given once for each value.
CLI::Option *repeatable(CLI::Option *option) {
  return option->expected(1)->allow_extra_args(false)->multi_option_policy(
      CLI::MultiOptionPolicy::TakeAll);
}

void lineOptions(CLI::App &app, Options &o) {
  const auto portName = [](const std::string &name) {
    return name.find('/') == std::string::npos ? std::string() : "takes a name, not a path";
  };
  app.add_option("--port", o.port, "name of the port link in the port dir (default COM1)")
      ->type_name("NAME")
      ->check(printableWord())
      ->check(rule(portName));
  app.add_option("--port-dir", o.portDir,
                 "port directory (default: a fresh temporary one,\nremoved at exit)")
      ->type_name("DIR");
  repeatable(app.add_option("--link", o.links, "one more link to the port (repeatable)"))
      ->type_name("PATH");
  app.add_option("--initial-rate", o.initialRate,
                 "bit rate of the port before the host sets one\n(default 9600)")
      ->type_name("BAUD")
      ->check(numberFrom(1, 4000000));
  app.add_option("--state", o.stateDir, "write the record there at exit (created if missing)")
      ->type_name("DIR");
  app.add_option("--resume", o.card.resumeDir,
                 "the card starts with what an earlier run's --state DIR\n"
                 "holds (flash devices, micro flash, FPGA, EDID, gamma),\n"
                 "as after a power cycle; a micro flash left blank or\n"
                 "partly written starts the micro in its boot program")
      ->type_name("DIR")
      ->check(nonEmpty());
  app.add_option_function<std::string>(
         "--power-cut", [&o](const std::string &when) { o.powerCut = PowerCut::parse(when); },
         "the card loses power and the line drops after WHEN:\n"
         "N host bytes, or STEP[@K][+N], N host bytes after\n"
         "the K-th time (default 1st) of a step (below)")
      ->type_name("WHEN");
  app.add_option("--kill-after", o.killAfter,
                 "kill COMMAND's process group after that long, exit 124")
      ->type_name("SECONDS")
      ->check(positiveSeconds());
  app.add_flag("--pace", o.pacing.wire,
               "wire pacing: every byte takes its wire time (10 bits\nat the host's rate) both "
               "ways, as on a real line");
  app.add_option_function<double>(
         "--card-time",
         [&o](double ms) { o.pacing.cardTime = std::chrono::nanoseconds(std::llround(ms * 1e6)); },
         "the card's own time before each answer (default 0;\nfractions allowed, e.g. 0.2)")
      ->type_name("MS")
      ->check(numberFrom(0, MAX_CARD_TIME_MS));
  app.add_option_function<int>(
         "--adapter-latency", [&o](int ms) { o.pacing.adapterLatency = Millis(ms); },
         "a USB-serial adapter (FTDI) in the line: the card's\n"
         "bytes wait in it until a packet is full or MS (1-255)\n"
         "have passed since the oldest; the host's bytes leave\n"
         "on 1 ms USB frames. With --pace or without")
      ->type_name("MS")
      ->check(numberFrom(1, MAX_ADAPTER_LATENCY_MS));
  app.add_option("--adapter-packet", o.pacing.adapterPacket,
                 "the adapter's packet: N bytes (default 62)")
      ->type_name("N")
      ->check(numberFrom(1, MAX_ADAPTER_PACKET));
}

void cardOptions(CLI::App &app, Options &o) {
  FirmwareSetup &firmware = o.card.firmware;
  const auto timing = [&o](const std::string &profile) {
    try {
      o.card.timing = Timing(profile, Timing::timeScaleFromEnvironment());
    } catch (const TimingError &e) {
      throw CLI::ValidationError("--timing", e.what());
    }
  };
  app.add_option_function<std::string>("--timing", timing,
                                       "how long the card takes to answer: instant (default),\n"
                                       "real, edge, beyond or jitter[:SEED] (below)")
      ->type_name("PROFILE");
  app.add_option("--model", firmware.model,
                 "answer to \"#DEVTYPE\" (default DVITOSDI); known:\n"
                 "DVITOSDI SDITODVI SL-SDITODVI HDMITOSDI SDITOHDMI SL-SDITOHDMI\n"
                 "any other NAME is answered as given")
      ->type_name("NAME")
      ->check(printableWord());
  app.add_option("--edition", firmware.edition, "edition digit of \"#DEVERSION\" (0-9, default 1)")
      ->type_name("N")
      ->check(numberFrom(0, 9));
  app.add_option("--version", firmware.version, "firmware version word (default 2.05)")
      ->type_name("WORD")
      ->check(printableWord());
  app.add_option("--unknown-model-first", firmware.unknownModelFirst,
                 "the first N \"#DEVTYPE\" answers name model UNKNOWN")
      ->type_name("N")
      ->check(numberFrom(0, 1000000));
  app.add_flag("--old-firmware", firmware.oldFirmware,
               "an old firmware: no \"#DEVTYPE\"/\"#DEVERSION\", answers\nthe key bytes, the last "
               "one enters boot mode");
  const auto oldFirmwareReply = [&firmware](int bytes) {
    firmware.oldFirmware = true;
    firmware.oldFirmwareReply = bytes;
  };
  app.add_option_function<int>(
         "--old-firmware-reply", oldFirmwareReply,
         "old firmware; N bytes in all for the first three\nkey bytes, shared in turn (default 6)")
      ->type_name("N")
      ->check(numberFrom(0, MAX_ANSWER_BYTES));
  app.add_flag_callback(
      "--boot-mode", [&o] { o.card.startMode = CardMode::Boot; },
      "the micro starts in boot mode (silent at 115200)");
  const auto bootReboot = [&o](std::int64_t bytes) {
    o.card.startMode = CardMode::Boot;
    o.card.bootRebootReply = static_cast<int>(bytes);
  };
  app.add_flag_function("--boot-reboot{" + std::to_string(DEFAULT_BOOT_REBOOT_REPLY) + "}",
                        bootReboot,
                        "boot mode, its boot program waits for a reboot and\n"
                        "answers each 0x00 with N bytes (1-10, default 3)")
      ->check(numberFrom(1, 10));
  const auto scriptCommands = [&o](const std::string &list) {
    try {
      o.card.uploads.scriptCommands = parseScriptCommands(list);
    } catch (const std::invalid_argument &e) {
      throw CLI::ValidationError("--script-commands", e.what());
    }
  };
  app.add_option_function<std::string>("--script-commands", scriptCommands,
                                       "script commands answered \"#ACK\", comma-separated,\n"
                                       "or none (default BRIGHTNESS,CONTRAST,SATURATION,\n"
                                       "HUE,SHARPNESS,INPUT,OUTPUT,SAVE); others get \"#NACK\";\n"
                                       "a lone CR gets an empty line (one CR)")
      ->type_name("LIST");
}

void videoProcessorOptions(CLI::App &app, Options &o) {
  VideoProcessorSetup &vp = o.card.videoProcessor;
  const auto shortName = [](const std::string &name) {
    return name.size() <= 12 ? std::string() : "takes at most 12 characters";
  };
  app.add_option("--vxp-name", vp.name, "answer to the Device Name Query (up to 12 chars)")
      ->type_name("TEXT")
      ->check(rule(shortName));
  const auto hexOption = [&app](const std::string &name, Word &word, const std::string &help) {
    app.add_option(name, word, help)->type_name("HEX")->transform(hexWord());
  };
  hexOption("--vxp-status", vp.status,
            "VXP Status word 1: OSD load status (high byte),\nconfiguration status (low byte); "
            "default 0x0002");
  hexOption("--vxp-type", vp.type, "VXP Status word 2, the device type (default 0x2300)");
  hexOption(
      "--vxp-memory", vp.memory,
      "VXP Status word 14: memories (bits 14..8), flash\nchip selects (bits 7..0); default 0x7FFF");
  hexOption("--vxp-osd-cal", vp.osdCalibration, "OSD calibration bits (default 0x000F)");
  hexOption("--vxp-video-cal", vp.videoCalibration, "video calibration bits (default 0x03FF)");
  app.add_flag_callback(
      "--vxp-no-driver", [&vp] { vp.driverRunning = false; },
      "no ISP driver runs until one is loaded and called");
  const auto flash = [&vp](const std::vector<std::string> &files) {
    for (const std::string &file : files) {
      addFlashFile(vp, file);
    }
  };
  repeatable(
      app.add_option_function<std::vector<std::string>>(
          "--flash", flash, "flash device N (1-7) starts with FILE's content\n(otherwise erased)"))
      ->type_name("N=FILE");
}

void otherOptions(CLI::App &app, Options &o) {
  const auto faults = [&o](const std::vector<std::string> &names) {
    for (const std::string &name : names) {
      o.faults.add(name);
    }
  };
  repeatable(app.add_option_function<std::vector<std::string>>(
                 "--fault", faults,
                 "show a fault (repeatable); CMD is a command word\n"
                 "such as DEVTYPE, DEVERSION, MP; PROBE names the\n"
                 "0x00 probe, KEY the old-firmware key bytes"))
      ->type_name("NAME[=ARG]");
  app.add_option("--write-samples", o.samplesDir,
                 "write a complete, valid set of update files into DIR\n"
                 "(Device1.bin, Device5.bin, FDriver.bin, SFDriver.bin,\n"
                 "fpga.xsvf, EDID.bin, gamma.csv, remote.txt) and exit")
      ->type_name("DIR")
      ->check(nonEmpty());
  app.add_flag("--help", o.help, "this text");
}

std::string footer() {
  return "Bit rates: the card's UART runs at 115200 bit/s while the firmware runs and\n"
         "at 9600 in boot mode. While the host's rate differs, the card takes what it\n"
         "receives as noise, and each byte it sends reaches the host as a fixed\n"
         "scramble of itself that is never \"#\", \"=\", \"*\", \"~\", \"$\", \".\" or CR.\n"
         "\nTiming profiles (--timing):\n" +
         Timing::helpText() + "\nFaults:\n" + Faults::helpText() + "\nPower cut steps:\n" +
         PowerCut::stepsHelp() +
         "\n"
         "Record (--state DIR): received.bin, events.log, timeline.log, card.txt,\n"
         "measure.txt (bytes and wire time each way, fixed pauses, host turnaround), and\n"
         "files of the card's parts (isp-frames.txt, flash-device<N>.bin for each\n"
         "flash device used, vxp-driver.bin with the driver memory from 0x0800;\n"
         "edid.bin, gamma.bin, gamma.csv and fpga.bin for the uploads, with\n"
         "edid_result, gamma_result, fpga_result in card.txt;\n"
         "micro-flash.bin, the micro's flash after a boot-mode run, and\n"
         "micro-kernel.bin, main-kernel.bin, write-kernel.bin, the kernels as received).";
}

// The command line's options, each writing into `options`; a repeated
// option's last value counts, except for the repeatable ones.
void describe(CLI::App &app, Options &options) {
  app.footer(footer());
  app.formatter(std::make_shared<HelpLayout>());
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.set_help_flag();
  app.add_flag("-h", options.help)->group(""); // the short form of --help, not listed
  const std::pair<const char *, void (*)(CLI::App &, Options &)> groups[] = {
      {"Line", lineOptions},
      {"Card", cardOptions},
      {"Video processor", videoProcessorOptions},
      {"Other", otherOptions}};
  for (const auto &[name, add] : groups) {
    app.option_defaults()->group(name);
    add(app, options);
  }
}

// Checks of what was read as a whole: a bit rate the line supports, and an
// adapter's packet only with an adapter.
void checkCombination(const Options &options) {
  if (speedFromBaud(options.initialRate) == 0) {
    throw OptionError("--initial-rate: unsupported bit rate " +
                      std::to_string(options.initialRate));
  }
  if (options.pacing.adapterPacket != Pacing::FTDI_PACKET &&
      options.pacing.adapterLatency.count() == 0) {
    throw OptionError("--adapter-packet needs --adapter-latency");
  }
}

} // namespace

Options parseOptions(const std::vector<std::string> &args) {
  Options options;
  CLI::App app;
  describe(app, options);
  const auto separator = std::find(args.begin(), args.end(), "--");
  if (separator != args.end()) {
    options.command.assign(separator + 1, args.end());
    if (options.command.empty()) {
      throw OptionError("-- needs a command to run");
    }
  }
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(std::make_reverse_iterator(separator), args.rend());
  try {
    app.parse(reversed);
  } catch (const std::exception &e) {
    // CLI11's errors, and our readers' of power cuts and faults
    throw OptionError(e.what());
  }
  checkCombination(options);
  return options;
}

std::string usageText() {
  Options unused;
  CLI::App app;
  describe(app, unused);
  return app.help();
}

} // namespace cardsim
