#include "Card.h"

#include "MicroMode.h"

#include <filesystem>
#include <stdexcept>

namespace cardsim {

namespace {

VideoProcessorSetup videoProcessorAtStart(const CardSetup &setup) {
  VideoProcessorSetup start = setup.videoProcessor;
  if (setup.resumeDir.empty())
    return start;
  for (int device = 1; device <= VideoProcessor::DEVICES; ++device) {
    const std::string path = setup.resumeDir + "/" + VideoProcessor::flashFile(device);
    if (std::filesystem::exists(path))
      start.flashFiles.emplace(device, path);
  }
  return start;
}

// A fresh card started in boot mode has no firmware that can start.
MicroFlash microFlashAtStart(const CardSetup &setup) {
  MicroFlash start{{}, setup.startMode != CardMode::Boot};
  if (setup.resumeDir.empty())
    return start;
  const auto summary = Record::readSummary(setup.resumeDir);
  if (summary.empty())
    throw std::runtime_error("--resume: no card.txt in " + setup.resumeDir);
  start.content = Record::readFrom(setup.resumeDir, BootProgram::FLASH_FILE).value_or(Bytes{});
  const auto runs = summary.find(BootProgram::FIRMWARE_KEY);
  if (runs != summary.end())
    start.runs = runs->second == BootProgram::FIRMWARE_RUNS;
  return start;
}

} // namespace

const char *modeName(CardMode mode) {
  switch (mode) {
  case CardMode::Firmware:
    return "firmware";
  case CardMode::Boot:
    return "boot";
  }
  return "?";
}

Card::Card(const CardSetup &setup, Transmitter &line, const Faults &faults, Record &record)
    : record_(record), faults_(faults), timing_(setup.timing),
      outbox_(line, faults, record, timing_),
      videoProcessor_(videoProcessorAtStart(setup), outbox_, faults, record),
      firmware_(setup.firmware, outbox_, faults, record, videoProcessor_, *this),
      bootProgram_(outbox_, faults, record, setup.bootRebootReply, microFlashAtStart(setup)),
      mode_(bootProgram_.firmwareRuns() ? setup.startMode : CardMode::Boot) {
  installUploads(firmware_, setup.uploads, outbox_, line, faults_, record_);
  if (!setup.resumeDir.empty())
    keepUploads(setup.resumeDir, record_);
  record_.event(std::string("start ") + modeName(mode_) +
                (setup.bootRebootReply > 0 ? " (awaiting reboot)" : ""));
  for (const std::string &fault : faults_.describe())
    record_.event("fault " + fault);
  addMicroModeCommands(firmware_, *this);
}

Peer &Card::activePeer() {
  return mode_ == CardMode::Firmware ? static_cast<Peer &>(firmware_) : bootProgram_;
}

const Peer &Card::activePeer() const {
  return mode_ == CardMode::Firmware ? static_cast<const Peer &>(firmware_) : bootProgram_;
}

void Card::receive(const Bytes &bytes, bool garbled) {
  // Byte by byte: a byte may switch the mode, and the next one then goes to
  // the other peer.
  for (Byte b : bytes)
    activePeer().receive(b, garbled);
}

void Card::enterBootMode(const std::string &reason) { switchTo(CardMode::Boot, reason); }

void Card::enterFirmwareMode(const std::string &reason) { switchTo(CardMode::Firmware, reason); }

void Card::switchTo(CardMode mode, const std::string &reason) {
  if (mode == mode_)
    return;
  mode_ = mode;
  record_.event(std::string("mode ") + modeName(mode));
  record_.set("mode_reason", reason);
  if (mode == CardMode::Boot)
    bootProgram_.restart();
}

void Card::summarize(Record &record) const {
  record.set("mode", modeName(mode_));
  record.set("card_rate", cardRate());
  firmware_.summarize(record);
  videoProcessor_.summarize(record);
  bootProgram_.summarize(record);
  std::string faults;
  for (const std::string &fault : faults_.describe())
    faults += (faults.empty() ? "" : " ") + fault;
  record.set("faults", faults);
}

} // namespace cardsim
