// The video processor (VXP) behind the micro.
//
// The firmware relays every ISP frame ("=G", stuffed body, CR) to it and
// tells it about the micro commands that reset it ("=MP", "=MR"). It answers
// every frame with one ISP frame through the Outbox:
//   - the ISP driver: Driver Blocks fill driver memory (0x0800 up to
//     0x2000), Call Driver (base 0x0080, entry 0x3300) starts it; until then
//     the flash commands are refused;
//   - after "=MR" and after its answer to Call Driver it takes the timing
//     profile's start time, and drops (does not answer) the frames that
//     come before it has started;
//   - windows: Set ISP Mode opens a write (0x0100) or read-back (0x0200)
//     window on a device; Data Blocks write and Read Blocks read 32 bytes at
//     the window's running address, within its count; a write window at
//     0x0100 on devices 5 and 7 erases the device first;
//   - ISP Mode Status Request names the device in force (word 1, low byte);
//   - Device Name, VXP Status and Calibration Queries answer from the setup.
// Accepted commands get an ACK (code 0x001) naming the command, refusals a
// NACK (code 0x002) naming the refused code. Faults "vxp-..." spoil answers.
#pragma once

#include "Faults.h"
#include "IspFrame.h"
#include "Outbox.h"
#include "Record.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace cardsim {

struct VideoProcessorSetup {
  std::string name = "KZ2300"; // Device Name Query, up to 12 characters
  Word status = 0x0002;        // VXP Status word 1: OSD load (high), config (low)
  Word type = 0x2300;          // VXP Status word 2
  Word memory = 0x7FFF;        // VXP Status word 14: memories (high), chip selects (low)
  Word osdCalibration = 0x000F;
  Word videoCalibration = 0x03FF;
  bool driverRunning = true;             // an ISP driver left running since power-up
  std::map<int, std::string> flashFiles; // device -> file with its content
};

class VideoProcessor {
public:
  // File of the record with one line per frame: its bytes in hex.
  static const char *const FRAMES_FILE;
  // Record files: "flash-device<N>.bin" for each device used, and the
  // driver memory from 0x0800 as far as it was written.
  static const char *const DRIVER_FILE;
  static std::string flashFile(int device);

  static constexpr std::uint32_t FLASH_SIZE = 0x200000;
  static constexpr int DEVICES = 7;
  static constexpr Byte ERASED = 0xFF;

  // Throws std::runtime_error when a flash file cannot be read.
  VideoProcessor(const VideoProcessorSetup &setup, Outbox &outbox, const Faults &faults,
                 Record &record);

  // A complete frame, from its "=G" to its CR inclusive.
  void frame(const Bytes &frame);
  // An accepted micro command ("MP", "MR", ...), whose answer the firmware
  // holds back `answerHeld`.
  void microCommand(const std::string &key, Millis answerHeld);
  void summarize(Record &record) const;

  bool driverRunning() const { return driverRunning_; }
  const Bytes &flash(int device) const { return flash_.at(static_cast<size_t>(device)); }

private:
  struct Window {
    bool open = false;
    Word mode = 0;
    int device = 0;
    std::uint32_t address = 0;
    std::uint32_t remaining = 0;
    long blocks = 0;
  };

  Words handle(const Words &msg);
  // The next block's place in the open window, as the card's answer to it.
  void answerAsBlock();
  Words driverBlock(const Words &msg);
  Words callDriver(const Words &msg);
  Words setIspMode(const Words &msg);
  Words statusRequest(const Words &msg) const;
  Words dataBlock(const Words &msg);
  Words readBlock(const Words &msg);
  Words deviceName() const;
  Words vxpStatus() const;
  Words calibration(const Words &msg);
  Words ack(Word code) const;
  Words nack(Word code, const char *why);
  void closeWindow();
  void send(const Words &answer, long frameNumber);
  // The answer on its way; returns how long it is held back.
  Millis transmit(const Words &answer, long frameNumber, Millis wait, Answer kind,
                  BulkPosition position);
  bool faultAt(const char *name, long count) const;

  VideoProcessorSetup setup_;
  Outbox &outbox_;
  const Faults &faults_;
  Record &record_;
  std::array<Bytes, DEVICES + 1> flash_;
  std::set<int> used_; // devices whose content goes to the record
  std::set<long> differingWords_;
  Bytes driverMemory_;
  std::uint32_t driverEnd_ = 0;
  bool driverRunning_;
  Window window_;
  int deviceInForce_ = 0;
  long frames_ = 0;
  long driverBlocks_ = 0;
  long dataBlocks_ = 0;
  long readBlocks_ = 0;
  long nacks_ = 0;
  long resets_ = 0;
  long erases_ = 0;
  // Frames in it are dropped: the processor or its driver is starting.
  StartWindow starting_;
  // The answer being made starts the ISP driver once it has left.
  std::optional<Start> startsAfterAnswer_;
  // How long the answer being made waits beyond the line's own delay: an
  // erase under vxp-slow-erase.
  Millis answerWait_{0};
  // What the answer being made follows, for the timing profile.
  Answer answerKind_ = Answer::IspAnswer;
  BulkPosition answerPosition_;
};

} // namespace cardsim
