// The parts of the card that take bytes from the line.
//
// The card routes every received byte to the peer that owns the line in the
// card's current mode: the firmware while it runs, the micro's boot program
// in boot mode. The firmware in turn hands bytes to a Receiver while an
// upload it accepted is in progress, and ISP frames to the video processor.
#pragma once

#include "Bytes.h"
#include "Record.h"

#include <string>

namespace cardsim {

class Peer {
public:
  virtual ~Peer() = default;
  // The bit rate of the micro's UART while this peer owns the line.
  virtual int lineRate() const = 0;
  // One byte from the line; `garbled` when the host sent it at another rate.
  virtual void receive(Byte b, bool garbled) = 0;
  // Adds the peer's values and files to the record at exit.
  virtual void summarize(Record &record) const = 0;
};

// A byte-level upload that the firmware accepted with a command (FPGA, EDID,
// gamma table...): while it runs it takes every received byte instead of the
// command parser.
class Receiver {
public:
  virtual ~Receiver() = default;
  // Returns false once the upload is over; the firmware then reads commands
  // again, starting with the next byte.
  virtual bool receive(Byte b, bool garbled) = 0;
  // Adds what was uploaded to the record when the upload ends or at exit.
  virtual void finish(Record &record) = 0;
};

// Switching the micro between running its firmware and its boot program.
class ModeSwitch {
public:
  virtual ~ModeSwitch() = default;
  virtual void enterBootMode(const std::string &reason) = 0;
  virtual void enterFirmwareMode(const std::string &reason) = 0;
};

} // namespace cardsim
