#include "Timing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace cardsim {

namespace {

struct Limit {
  Answer kind;
  // How long after its command the host gives up on this answer, in ms;
  // empty when it waits without end or goes on without it.
  std::optional<double> givesUp;
  // How long the host listens for it in one try, in ms (jitter stays
  // within half of it).
  double oneTry;
  // How long a real card takes before it, in ms.
  double real;
  bool bulk;
};

// The card's table of limits, one line an answer. givesUp and oneTry are
// what the host allows; real names the part whose datasheet gives the time.
const Limit LIMITS[] = {
    // The running firmware's answer to a 0x00: the host reads once, 100 ms
    // after it, and tries a second time; a late answer meets the next
    // question. Real: the firmware answers from its main loop, about 2 ms.
    {Answer::ProbeAnswer, std::nullopt, 100, 2, false},
    // A text command's answer line: the host reads it for 2 s a try, then
    // asks again and takes a late line for the next question's answer, so
    // it never gives up at a time of its own. Real: about 2 ms, as above.
    {Answer::TextLine, std::nullopt, 2000, 2, false},
    // "#MICROMODE OK": the host reads once, 50 ms after the command, and
    // sends "#MICRO" only when something came. Never late: a tenth of 50 ms
    // is a margin no fast test clock keeps on a busy machine. Real: about
    // 2 ms, as above.
    {Answer::MicroModeAnswer, std::nullopt, 50, 2, false},
    // "=M*": the host listens six times 10 s after a micro command. Real:
    // the micro's firmware answers from its main loop, about 2 ms.
    {Answer::MicroAck, 60000, 10000, 2, false},
    // An ISP answer frame: six listens of 3 s. Real: the ISP driver
    // answers a query in about 1 ms.
    {Answer::IspAnswer, 18000, 3000, 1, false},
    // Call Driver: the host pauses 1 s, then listens six times 3 s. Real:
    // the video processor answers before it jumps into the driver, about
    // 1 ms (the driver's own start is DriverStart below).
    {Answer::IspDriverCall, 19000, 3000, 1, false},
    // A write window at 0 on devices 1 to 4: the host pauses 5 s, then six
    // listens of 3 s. Real: the window's first sector is erased; an
    // M25P40-class SPI flash erases a 64 KiB sector in 0.6 s typical, 3 s
    // maximum (ST M25P40 datasheet, tSE).
    {Answer::IspWriteWindow, 23000, 3000, 3000, false},
    // The write window that erases device 5 or 7 whole: the host pauses
    // 10 s, then six listens of 3 s. Real: bulk erase of an M25P40-class
    // flash, 4.5 s typical, 10 s maximum (ST M25P40 datasheet, tBE).
    {Answer::IspErase, 28000, 3000, 10000, false},
    // A Data Block (32 bytes programmed) or a Read Block: six listens of
    // 3 s. Real: page program of an M25P40-class flash, 1.4 ms typical,
    // 5 ms maximum (ST M25P40 datasheet, tPP).
    {Answer::IspBlock, 18000, 3000, 5, true},
    // A Driver Block (16 bytes into the video processor's RAM): six listens
    // of 3 s. Real: a RAM write, about 1 ms.
    {Answer::IspDriverBlock, 18000, 3000, 1, true},
    // "." after an EDID byte: the host waits 5 s. Real: the byte goes into
    // a 24C02-class serial EEPROM, write cycle tWR 5 ms maximum (Microchip
    // 24LC02B datasheet).
    {Answer::EepromByteAck, 5000, 5000, 5, true},
    // "." after a gamma value: the host waits 60 s. Real: two bytes into a
    // 24C02-class EEPROM, a write cycle each, 2 x 5 ms maximum.
    {Answer::GammaValueAck, 60000, 60000, 10, true},
    // "~" and then "S" or "E" after the sum byte: 5 s for each. Real: the
    // firmware compares the sum, about 2 ms.
    {Answer::UploadVerdict, 5000, 5000, 2, false},
    // The FPGA player's requests and verdict: the host serves the card as
    // long as it takes. Real: an XC9500-class CPLD's program pulse per
    // XSVF instruction, about 1 ms.
    {Answer::FpgaRequest, std::nullopt, 2000, 1, true},
    // "#ACK" to a script command: the host waits 4 s, then counts the
    // command unanswered and goes on. Real: about 2 ms.
    {Answer::ScriptAnswer, 4000, 4000, 2, false},
    // The empty line to a lone CR: the host takes its first byte within 1 s
    // or goes on without it. Real: about 2 ms.
    {Answer::BlankLineAnswer, 1000, 1000, 2, false},
    // The boot program's 0x00 to the host's: the host keeps sending 0x00 in
    // a 10 s window, so a late answer meets a later try. Real: the micro's
    // reset into its boot program, about 10 ms (H8S-class reset and clock
    // settling).
    {Answer::BootSyncAnswer, std::nullopt, 2000, 10, false},
    // 0xAA to the host's 0x55: 2 s, then the host synchronises again.
    // Real: the boot program answers from its receive loop, about 1 ms.
    {Answer::BootConfirmAnswer, 2000, 2000, 1, false},
    // The echo of a micro kernel byte or length byte: 5 s each. Real: the
    // boot program echoes from its receive loop, at once.
    {Answer::BootEcho, 5000, 5000, 0, true},
    // 0xAA once the micro kernel has erased the flash: 5 s. Real: erase of
    // all blocks of an H8S-class on-chip flash, about 1 s (block erase
    // 100 ms to 1 s typical by block size, the micro's hardware manual).
    {Answer::BootEraseDone, 5000, 5000, 1000, false},
    // The 5-byte reply to the unit inquiry: 5 s. Real: the kernel answers
    // at once, about 1 ms.
    {Answer::BootUnitReply, 5000, 5000, 1, false},
    // The 5-byte reply to a status inquiry: 10 s. Real: about 1 ms.
    {Answer::BootStatusReply, 10000, 10000, 1, false},
    // 0x06 to a kernel command (device, clock mode, bit rate and its
    // confirmation, programming state, user area): 7 s. Real: the kernel
    // checks and answers, about 1 ms.
    {Answer::BootCommandAck, 7000, 7000, 1, false},
    // 0x06 to the main kernel's sum byte: 3 s. Real: the boot program sums
    // the kernel as it comes, so about 1 ms.
    {Answer::BootMainKernelAck, 3000, 3000, 1, false},
    // 0x06 to the write kernel: the host waits 7 s, then goes on without
    // it. Real: about 1 ms.
    {Answer::BootWriteKernelAck, std::nullopt, 7000, 1, false},
    // 0x06 to a programming block (128 bytes): 7 s. Real: H8S-class flash
    // programming of 128 bytes, 1 ms typical, 10 ms maximum (the micro's
    // hardware manual).
    {Answer::BootBlockAck, 7000, 7000, 10, true},
};

const Limit &limitOf(Answer kind) {
  return *std::find_if(std::begin(LIMITS), std::end(LIMITS),
                       [kind](const Limit &l) { return l.kind == kind; });
}

struct StartLimit {
  Start kind;
  // How long the host keeps quiet after the command, in ms: the part's
  // promised time to start.
  double quiet;
  // How long a real card's part takes, in ms.
  double real;
};

// The card's table of start times, one line a part.
const StartLimit STARTS[] = {
    // The video processor after "=MR": the host waits 5 s after the
    // firmware's "=M*" before the first Driver Block. Real: reset and the
    // boot into its ISP monitor, about 100 ms (an estimate; the part has
    // no public datasheet).
    {Start::ProcessorReset, 5000, 100},
    // The ISP driver after its answer to Call Driver: the host waits 1 s
    // before the first frame to it. Real: the driver copies itself and
    // sets up the flash interface, about 50 ms (an estimate, as above).
    {Start::DriverStart, 1000, 50},
    // The firmware after "#EDID n": 500 ms before the first EDID byte.
    // Real: it readies the EEPROM's write from its main loop, about 2 ms.
    {Start::EdidStart, 500, 2},
};

const StartLimit &startOf(Start kind) {
  return *std::find_if(std::begin(STARTS), std::end(STARTS),
                       [kind](const StartLimit &l) { return l.kind == kind; });
}

constexpr double EDGE_SHARE = 0.9;
// Under edge a part that starts after a command takes 90% of the host's
// quiet time, but ends at least START_MARGIN_MS (real time) before it: a
// tenth of 500 ms is 1 ms on a clock 50 times fast, less than a busy
// machine keeps.
constexpr double START_MARGIN_MS = 5;
constexpr double BEYOND_SHARE = 1.1;
// Jitter: a Pareto-distributed time, shape 1.2, from a 1 ms scale, cut at
// half of one try.
constexpr double JITTER_SCALE_MS = 1;
constexpr double JITTER_SHAPE = 1.2;
const char TIME_SCALE_VARIABLE[] = "UPDATER_TIME_SCALE";

// True for the answers of a bulk transfer that edge and beyond make late.
bool lateInBulk(BulkPosition p) {
  if (p.total <= 0)
    return p.index == 0 || p.index == Timing::BULK_MIDDLE;
  return p.index == 0 || p.index == p.total / 2 || p.index == p.total - 1;
}

} // namespace

Timing::Timing(const std::string &profile, unsigned timeScale)
    : timeScale_(std::max(1u, timeScale)) {
  const std::string name = profile.substr(0, profile.find(':'));
  const bool seeded = name.size() < profile.size();
  if (name == "instant" && !seeded) {
    profile_ = Profile::Instant;
  } else if (name == "real" && !seeded) {
    profile_ = Profile::Real;
  } else if (name == "edge" && !seeded) {
    profile_ = Profile::Edge;
  } else if (name == "beyond" && !seeded) {
    profile_ = Profile::Beyond;
  } else if (name == "jitter") {
    profile_ = Profile::Jitter;
    const std::string seed = seeded ? profile.substr(name.size() + 1) : "1";
    char *end = nullptr;
    const unsigned long value = std::strtoul(seed.c_str(), &end, 10);
    if (seed.empty() || *end != '\0')
      throw TimingError("jitter:SEED needs a whole number, got \"" + seed + "\"");
    random_ = value;
  } else {
    throw TimingError("unknown timing profile \"" + profile + "\"");
  }
}

unsigned Timing::timeScaleFromEnvironment() {
  const char *text = std::getenv(TIME_SCALE_VARIABLE);
  const long value = text ? std::strtol(text, nullptr, 10) : 1;
  return value > 1 ? static_cast<unsigned>(value) : 1u;
}

std::string Timing::helpText() {
  return "  instant        no time before any answer (the default)\n"
         "  real           the device times of real parts: EEPROM byte writes,\n"
         "                 flash erase and programming, the ISP driver's start,\n"
         "                 the video processor's and the micro's reset, the\n"
         "                 firmware's answers\n"
         "  edge           each answer at 90% of the time the host allows it, in\n"
         "                 bulk transfers only the first, middle and last; each\n"
         "                 part that starts after a command takes 90% of the\n"
         "                 host's quiet time (ending 5 ms before it at least),\n"
         "                 and drops what comes earlier\n"
         "  beyond         answers and starts at 110%: the host must give up\n"
         "  jitter[:SEED]  a random, heavy-tailed time, mostly short, never past\n"
         "                 half of what the host allows (SEED a whole number,\n"
         "                 default 1)\n"
         "Answers the host waits for without end are never late under edge and\n"
         "beyond. With UPDATER_TIME_SCALE=K in the environment (the updater's\n"
         "test clock) every time lasts 1/K as long.\n";
}

Millis Timing::before(Answer kind, BulkPosition position) {
  const Limit &limit = limitOf(kind);
  const bool late = limit.givesUp && (!limit.bulk || lateInBulk(position));
  return profileTime(limit.real, late ? limit.givesUp : std::nullopt, limit.oneTry / 2);
}

Millis Timing::startTime(Start kind) {
  const StartLimit &limit = startOf(kind);
  if (profile_ != Profile::Edge)
    return profileTime(limit.real, limit.quiet, limit.quiet / 2);
  const double quiet = limit.quiet / timeScale_;
  return Millis(
      std::llround(std::max(0.0, quiet - std::max(quiet * (1 - EDGE_SHARE), START_MARGIN_MS))));
}

Millis Timing::profileTime(double real, std::optional<double> limit, double jitterCap) {
  switch (profile_) {
  case Profile::Instant:
    return Millis{0};
  case Profile::Real:
    return onTestClock(real);
  case Profile::Edge:
    return limit ? onTestClock(*limit * EDGE_SHARE) : Millis{0};
  case Profile::Beyond:
    return limit ? onTestClock(*limit * BEYOND_SHARE) : Millis{0};
  case Profile::Jitter:
    return jitter(jitterCap);
  }
  return Millis{0};
}

Millis Timing::jitter(double cap) {
  const double u = nextRandom();
  const double pareto = JITTER_SCALE_MS * (std::pow(1.0 - u, -1.0 / JITTER_SHAPE) - 1.0);
  return onTestClock(std::min(pareto, cap));
}

double Timing::nextRandom() {
  random_ += 0x9E3779B97F4A7C15ULL;
  std::uint64_t z = random_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1.0p-53;
}

Millis Timing::onTestClock(double ms) const { return Millis(std::llround(ms / timeScale_)); }

} // namespace cardsim
