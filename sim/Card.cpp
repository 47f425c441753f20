#include "Card.h"

#include "MicroMode.h"

namespace cardsim {

const char* modeName(CardMode mode) {
  switch (mode) {
    case CardMode::Firmware: return "firmware";
    case CardMode::Boot: return "boot";
  }
  return "?";
}

Card::Card(const CardSetup& setup, Transmitter& line, const Faults& faults, Record& record)
    : record_(record),
      faults_(faults),
      outbox_(line, faults, record),
      videoProcessor_(setup.videoProcessor, outbox_, faults, record),
      firmware_(setup.firmware, outbox_, faults, record, videoProcessor_, *this),
      bootProgram_(outbox_, faults, record, setup.bootRebootReply),
      mode_(setup.startMode) {
  installUploads(firmware_, setup.uploads, outbox_, line, faults_, record_);
  record_.event(std::string("start ") + modeName(mode_) +
                (setup.bootRebootReply > 0 ? " (awaiting reboot)" : ""));
  for (const std::string& fault : faults_.describe()) record_.event("fault " + fault);
  addMicroModeCommands(firmware_, *this);
}

Peer& Card::activePeer() {
  return mode_ == CardMode::Firmware ? static_cast<Peer&>(firmware_) : bootProgram_;
}

const Peer& Card::activePeer() const {
  return mode_ == CardMode::Firmware ? static_cast<const Peer&>(firmware_) : bootProgram_;
}

void Card::receive(const Bytes& bytes, bool garbled) {
  // Byte by byte: a byte may switch the mode, and the next one then goes to
  // the other peer.
  for (Byte b : bytes) activePeer().receive(b, garbled);
}

void Card::enterBootMode(const std::string& reason) { switchTo(CardMode::Boot, reason); }

void Card::enterFirmwareMode(const std::string& reason) { switchTo(CardMode::Firmware, reason); }

void Card::switchTo(CardMode mode, const std::string& reason) {
  if (mode == mode_) return;
  mode_ = mode;
  record_.event(std::string("mode ") + modeName(mode));
  record_.set("mode_reason", reason);
  if (mode == CardMode::Boot) bootProgram_.restart();
}

void Card::summarize(Record& record) const {
  record.set("mode", modeName(mode_));
  record.set("card_rate", cardRate());
  firmware_.summarize(record);
  videoProcessor_.summarize(record);
  bootProgram_.summarize(record);
  std::string faults;
  for (const std::string& fault : faults_.describe()) faults += (faults.empty() ? "" : " ") + fault;
  record.set("faults", faults);
}

}  // namespace cardsim
