// The virtual card: its micro in one of two modes and the parts around it.
//
// In firmware mode the Firmware owns the line (115200 bit/s); in boot mode
// the micro's BootProgram does (9600 bit/s). The card takes the bytes from
// the Line and hands each to the peer of its current mode; the video
// processor hangs behind the firmware, which relays ISP frames to it.
//
// A card whose micro flash holds no firmware that can start (blank, or left
// partly written) powers up in its boot program.
#pragma once

#include "BootProgram.h"
#include "Faults.h"
#include "Firmware.h"
#include "Link.h"
#include "Outbox.h"
#include "Peer.h"
#include "Record.h"
#include "Timing.h"
#include "Uploads.h"
#include "VideoProcessor.h"

namespace cardsim {

enum class CardMode { Firmware, Boot };
const char *modeName(CardMode mode);

struct CardSetup {
  FirmwareSetup firmware;
  CardMode startMode = CardMode::Firmware;
  int bootRebootReply = 0; // > 0: the boot program waits for a reboot
  UploadSetup uploads;
  VideoProcessorSetup videoProcessor;
  // A state directory of an earlier run: the card starts with the contents
  // that run left (flash devices, micro flash, FPGA, EDID, gamma table), as
  // after a power cycle. Flash devices given with --flash take precedence.
  std::string resumeDir;
  // How long the card's parts take to answer (--timing).
  Timing timing;
};

class Card : public LineClient, public ModeSwitch {
public:
  Card(const CardSetup &setup, Transmitter &line, const Faults &faults, Record &record);

  int cardRate() const override { return activePeer().lineRate(); }
  void receive(const Bytes &bytes, bool garbled) override;

  void enterBootMode(const std::string &reason) override;
  void enterFirmwareMode(const std::string &reason) override;
  // The line dropped or the host was stopped before the end of its run.
  void lineLost() { bootProgram_.lineLost(); }

  CardMode mode() const { return mode_; }
  Firmware &firmware() { return firmware_; }
  BootProgram &bootProgram() { return bootProgram_; }
  VideoProcessor &videoProcessor() { return videoProcessor_; }

  // Puts the card's values and files into the record.
  void summarize(Record &record) const;

private:
  Peer &activePeer();
  const Peer &activePeer() const;
  void switchTo(CardMode mode, const std::string &reason);

  Record &record_;
  const Faults &faults_;
  Timing timing_;
  Outbox outbox_;
  VideoProcessor videoProcessor_;
  Firmware firmware_;
  BootProgram bootProgram_;
  CardMode mode_;
};

} // namespace cardsim
