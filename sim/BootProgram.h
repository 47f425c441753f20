// The micro's boot program, which owns the line while the card is in boot
// mode, and the three kernels the updater downloads through it. The
// protocol, step by step from the host's side, is described in
// src/boot/FDT.h; this is the card's side of it.
//
// The model follows the run in stages (Stage below), at RATE until the new
// bit rate command is acknowledged, and at KERNEL_RATE from then on:
//   - it answers 0x00 with 0x00 once, then 0x55 with 0xAA;
//   - it echoes the micro kernel's length and bytes, then sends 0xAA and
//     the erase result. Loading the micro kernel erases the model's flash;
//   - it acknowledges a kernel command, or a kernel download, with 0x06
//     only when its bytes and sum byte are right; otherwise it records the
//     refusal and stays silent. The kernels are opaque: only their length
//     and sum are checked;
//   - it answers the status inquiry with the reply of the kernel loaded
//     last, and writes each programming block into its model of the
//     micro's flash.
// The faults of Faults.h make it answer wrongly or not at all at a chosen
// step.
//
// Every byte that arrives at a bit rate other than the UART's is taken as
// the scramble garbleByte() of itself, so a missing or early rate change
// breaks the dialogue as on a real line.
//
// A boot program that waits for the card to be rebooted (--boot-reboot)
// answers each 0x00 with a short burst (1 to 10 bytes) and nothing else.
#pragma once

#include "Faults.h"
#include "Outbox.h"
#include "Peer.h"

namespace cardsim {

// The micro's flash as a run finds it.
struct MicroFlash {
  Bytes content;    // empty: the firmware the card was made with (not modelled)
  bool runs = true; // its firmware can start; false when blank or partly written
};

class BootProgram : public Peer {
public:
  static constexpr int RATE = 9600;
  static constexpr int KERNEL_RATE = 115200; // after the new bit rate command
  // Byte of the burst sent by a boot program that waits for a reboot.
  static constexpr Byte REBOOT_REPLY_BYTE = 0xFF;
  // The micro's flash as the updater can write it: up to 0x800 + 256 KiB.
  static constexpr size_t FLASH_SIZE = 0x800 + 0x40000;
  static constexpr size_t BLOCK_SIZE = 128;
  // Record: the micro's flash, and in card.txt whether its firmware can
  // start (FIRMWARE_KEY=runs or missing).
  static const char *const FLASH_FILE;
  static const char *const FIRMWARE_KEY;
  static const char *const FIRMWARE_RUNS;
  static const char *const FIRMWARE_MISSING;

  // `rebootReply` > 0: the boot program waits for a reboot and answers each
  // 0x00 with that many bytes. `flash` is what the micro's flash holds.
  BootProgram(Outbox &outbox, const Faults &faults, Record &record, int rebootReply,
              MicroFlash flash = {});

  int lineRate() const override;
  void receive(Byte b, bool garbled) override;
  void summarize(Record &record) const override;

  // The micro restarts in boot mode: the boot program listens afresh at
  // 9600 bit/s (the flash keeps what was written).
  void restart();

  const Bytes &flash() const { return flash_; }
  // Whether the firmware in the micro's flash can start at the next power-up.
  // Once the kernel has erased the flash, only a write that the host saw
  // through can: its last command was a block, written and acknowledged,
  // and the line stayed up to the end of the run.
  bool firmwareRuns() const;
  // The line dropped or the host was stopped before the end of its run.
  void lineLost() { lineLost_ = true; }

private:
  enum class Stage {
    Sync,          // 0x00 / 0x55
    MicroLength,   // two length bytes, echoed
    MicroKernel,   // kernel bytes, echoed
    MicroCommands, // 0x27, 0x10, 0x11, 0x3F, 0x40
    RateConfirm,   // 0x06 at 115200
    MainLength,    // four length bytes
    MainKernel,    // kernel bytes, then the sum byte
    MainCommands,  // 0x4F, 0x43
    WriteLength,
    WriteKernel,
    WriteCommands, // 0x4F, 0x50 blocks
  };
  struct Download {
    Bytes lengthBytes;
    size_t length = 0;
    Bytes bytes;
  };

  void sync(Byte b);
  void microKernelByte(Byte b);
  void command(Byte b, bool garbled);
  void microCommand();
  void mainCommand();
  void writeCommand();
  bool download(Download &kernel, Byte b, size_t lengthBytes, Byte sumBase, const char *step);
  bool commandComplete() const;
  // The kind of answer a 0x06 for `step` is, for the timing profile.
  static Answer ackKind(const std::string &step);
  bool acknowledge(const char *step);
  void refuse(const std::string &why);
  void status(Byte phase);
  void program();
  void enter(Stage stage);
  void send(const Bytes &bytes, Answer kind, BulkPosition position = {}) {
    outbox_.answer(bytes, kind, position);
  }
  bool fault(const char *name) const { return faults_.has(name); }

  Outbox &outbox_;
  const Faults &faults_;
  Record &record_;
  int rebootReply_;

  Stage stage_ = Stage::Sync;
  bool inStep_ = false; // 0x00 answered, waiting for 0x55
  mutable bool rateSwitchPending_ = false;
  mutable int rate_ = RATE;
  Download micro_, main_, write_;
  Bytes frame_; // the kernel command being received
  long statusInquiries_ = 0;
  long blocksProgrammed_ = 0;
  long blocksSeen_ = 0;
  long erases_ = 0;
  long received_ = 0;
  Bytes flash_;
  bool firmwareRan_;       // at power-up
  bool blockLast_ = false; // the last kernel command was a block, acknowledged
  bool lineLost_ = false;
};

} // namespace cardsim
