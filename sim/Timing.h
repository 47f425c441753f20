// How long the card takes to answer: the timing profile (--timing).
//
// Every answer the card makes has a kind (Answer). For each kind the card
// keeps its own table (Timing.cpp): how long the host is allowed to wait for
// it, and how long a real card's parts take. A profile turns the kind into
// the card's time before that answer:
//
//   instant      no time (the card's parts take none)
//   real         the real parts' device times
//   edge         90% of the host's limit, the last moment the host still waits
//   beyond       110% of the host's limit: the host must have given up
//   jitter:SEED  a random, heavy-tailed time, mostly short, never past half
//                the limit
//
// Some parts of the card also need time after a command before they take
// the host's next bytes (Start): the video processor after its reset, the
// ISP driver after its call, the firmware after an upload's start. The
// host promises each a quiet time; the profile gives the part its start
// time within (edge), beyond (beyond) or far inside (real, jitter) that
// promise, and the part drops what comes before it has started.
//
// In long runs of one kind of answer (a bulk transfer) edge and beyond make
// only the first, one in the middle and the last answer late, so that a run
// stays short; where the card cannot know how many will come, the first and
// the BULK_MIDDLE-th. An answer the host waits for without end is never
// late under edge and beyond. All times run on the updater's test clock:
// with UPDATER_TIME_SCALE=K in the card's environment they last 1/K as long.
#pragma once

#include "Link.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace cardsim {

enum class Answer {
  ProbeAnswer,        // the running firmware's answer to a 0x00
  TextLine,           // the firmware's answer line to a text command
  MicroModeAnswer,    // the firmware's line to "#MICROMODE"
  MicroAck,           // "=M*" or "=M~" to a micro command
  IspAnswer,          // the video processor's answer frame
  IspDriverCall,      // the answer to Call Driver
  IspWriteWindow,     // the answer to a write window on devices 1 to 4
  IspErase,           // the answer to a write window that erases device 5 or 7
  IspBlock,           // the answer to a Data Block or Read Block (bulk)
  IspDriverBlock,     // the answer to a Driver Block (bulk, count unknown)
  EepromByteAck,      // "." after an EDID byte (bulk)
  GammaValueAck,      // "." after a gamma value (bulk)
  UploadVerdict,      // "~S" or "~E" after an EDID or gamma sum byte
  FpgaRequest,        // the FPGA player's request for bytes, and its verdict
  ScriptAnswer,       // "#ACK" to a script command
  BlankLineAnswer,    // the empty line to a lone CR
  BootSyncAnswer,     // the boot program's 0x00 to the host's 0x00
  BootConfirmAnswer,  // the boot program's 0xAA to the host's 0x55
  BootEcho,           // the echo of a micro kernel byte (bulk)
  BootEraseDone,      // 0xAA once the micro kernel has erased the flash
  BootUnitReply,      // the 5-byte reply to the unit inquiry
  BootStatusReply,    // the 5-byte reply to a status inquiry
  BootCommandAck,     // 0x06 to a kernel command
  BootMainKernelAck,  // 0x06 to the main kernel
  BootWriteKernelAck, // 0x06 to the write kernel
  BootBlockAck,       // 0x06 to a programming block (bulk, count unknown)
};

enum class Start {
  ProcessorReset, // the video processor after "=MR"
  DriverStart,    // the ISP driver after its answer to Call Driver
  EdidStart,      // the firmware after "#EDID 1" or "#EDID 2"
};

// A part's start after its command. Bytes that came in the same read as the
// command cannot be told apart from it in time (the card was busy, not the
// host quick): the part takes them.
class StartWindow {
public:
  // The command came in the read of `commandRead`; the part starts `after` it.
  void open(Clock::time_point commandRead, Millis after) {
    commandRead_ = commandRead;
    startedAt_ = commandRead + after;
  }
  // True (and counted) for bytes of a later read that came before the part
  // had started.
  bool drop(Clock::time_point readAt) {
    const bool early = readAt > commandRead_ && readAt < startedAt_;
    dropped_ += early ? 1 : 0;
    return early;
  }
  long dropped() const { return dropped_; }

private:
  Clock::time_point commandRead_{};
  Clock::time_point startedAt_{};
  long dropped_ = 0;
};

enum class Profile { Instant, Real, Edge, Beyond, Jitter };

struct TimingError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Where an answer stands in its bulk transfer; total 0 when unknown.
struct BulkPosition {
  long index = 0;
  long total = 0;
};

class Timing {
public:
  static constexpr long BULK_MIDDLE = 8;

  Timing() = default;
  // "instant", "real", "edge", "beyond", "jitter" or "jitter:SEED"; throws
  // TimingError for anything else. `timeScale` is the test clock's factor.
  Timing(const std::string &profile, unsigned timeScale);
  // The factor of UPDATER_TIME_SCALE in this process's environment (1 when unset).
  static unsigned timeScaleFromEnvironment();
  // Text for --help: the profiles.
  static std::string helpText();

  Profile profile() const { return profile_; }
  // The card's time before an answer of `kind`.
  Millis before(Answer kind, BulkPosition position = {});
  // The time a part of the card takes to start, from its command (or, for
  // the ISP driver, from its answer to the call).
  Millis startTime(Start kind);

private:
  // The profile's time for a part whose real time is `real`, whose host
  // allows `limit` (none: it waits without end), jitter within `jitterCap`.
  Millis profileTime(double real, std::optional<double> limit, double jitterCap);
  Millis jitter(double cap);
  Millis onTestClock(double ms) const;
  // The next number of the seeded sequence, from 0 up to below 1: a
  // splitmix64 generator, so that a seed gives the same run everywhere.
  double nextRandom();

  Profile profile_ = Profile::Instant;
  unsigned timeScale_ = 1;
  std::uint64_t random_ = 1;
};

} // namespace cardsim
