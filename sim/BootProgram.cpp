#include "BootProgram.h"

#include "Line.h"

#include <algorithm>

namespace cardsim {

namespace {

constexpr Byte SYNC = 0x00;
constexpr Byte SYNC_CONFIRM = 0x55;
constexpr Byte SYNC_CONFIRMED = 0xAA;
constexpr Byte ERASE_OK = 0xAA;
constexpr Byte ERASE_FAILED = 0xFF;
constexpr Byte ACK = 0x06;
constexpr Byte WRONG_ECHO_MASK = 0xFF;

// Kernel commands.
constexpr Byte UNIT_INQUIRY = 0x27;
constexpr Byte DEVICE_SELECTION = 0x10;
constexpr Byte CLOCK_MODE = 0x11;
constexpr Byte NEW_BIT_RATE = 0x3F;
constexpr Byte PROGRAMMING_STATE = 0x40;
constexpr Byte USER_AREA = 0x43;
constexpr Byte STATUS_INQUIRY = 0x4F;
constexpr Byte PROGRAM_BLOCK = 0x50;

// Replies: the programming unit is 128 bytes. The wrong reply differs in
// its last byte only (a sum that does not add up), so a host that checks
// fewer than all five bytes takes it.
const Bytes UNIT_REPLY = {0x37, 0x02, 0x00, 0x80, 0x47};
const Bytes WRONG_UNIT_REPLY = {0x37, 0x02, 0x00, 0x80, 0x48};
constexpr Byte STATUS_REPLY = 0x5F;
constexpr Byte STATUS_MAIN_LOADED = 0x03;
constexpr Byte STATUS_WRITE_LOADED = 0x04;

// The commands the kernel accepts, without their sum byte: device "0410",
// clock mode 3, 115200 bit/s from an 11.06 MHz clock with ratios 4 and 2.
const Bytes DEVICE_COMMAND = {DEVICE_SELECTION, 0x04, '0', '4', '1', '0'};
const Bytes CLOCK_COMMAND = {CLOCK_MODE, 0x01, 0x03};
const Bytes RATE_COMMAND = {NEW_BIT_RATE, 0x07, 0x04, 0x80, 0x04, 0x52, 0x02, 0x04, 0x02};

constexpr Byte MAIN_SUM_BASE = 0x75;
constexpr Byte WRITE_SUM_BASE = 0x9A;
constexpr size_t MICRO_LENGTH_BYTES = 2;
constexpr size_t KERNEL_LENGTH_BYTES = 4;
constexpr size_t BLOCK_FRAME = 1 + 4 + BootProgram::BLOCK_SIZE + 1;
constexpr Byte ERASED = 0xFF;

Byte sumOf(const Bytes &bytes) {
  unsigned sum = 0;
  for (Byte b : bytes)
    sum += b;
  return static_cast<Byte>(sum);
}

size_t bigEndian(const Bytes &bytes) {
  size_t value = 0;
  for (Byte b : bytes)
    value = value << 8 | b;
  return value;
}

// True when `frame` is `command` followed by its sum byte.
bool isCommand(const Bytes &frame, const Bytes &command) {
  return frame.size() == command.size() + 1 &&
         std::equal(command.begin(), command.end(), frame.begin()) && sumOf(frame) == 0;
}

} // namespace

const char *const BootProgram::FLASH_FILE = "micro-flash.bin";
const char *const BootProgram::FIRMWARE_KEY = "micro_firmware";
const char *const BootProgram::FIRMWARE_RUNS = "runs";
const char *const BootProgram::FIRMWARE_MISSING = "missing";

BootProgram::BootProgram(Outbox &outbox, const Faults &faults, Record &record, int rebootReply,
                         MicroFlash flash)
    : outbox_(outbox), faults_(faults), record_(record), rebootReply_(rebootReply),
      flash_(std::move(flash.content)), firmwareRan_(flash.runs) {}

bool BootProgram::firmwareRuns() const {
  if (erases_ == 0)
    return firmwareRan_;
  return blockLast_ && frame_.empty() && !lineLost_;
}

int BootProgram::lineRate() const {
  // The UART moves to the new rate once its acknowledgement has left.
  if (rateSwitchPending_ && !outbox_.sending()) {
    rate_ = KERNEL_RATE;
    rateSwitchPending_ = false;
    record_.event("boot rate " + std::to_string(KERNEL_RATE));
  }
  return rate_;
}

void BootProgram::restart() {
  stage_ = Stage::Sync;
  inStep_ = false;
  rateSwitchPending_ = false;
  rate_ = RATE;
  micro_ = main_ = write_ = Download{};
  frame_.clear();
  record_.event("boot restart");
}

void BootProgram::enter(Stage stage) { stage_ = stage; }

void BootProgram::receive(Byte b, bool garbled) {
  ++received_;
  if (rebootReply_ > 0) {
    // A 0x00 sent at any rate is a long low stretch on the wire that the
    // waiting boot program takes as a byte, so it answers it garbled or not.
    if (b == SYNC) {
      record_.count("boot_reboot_probe");
      send(Bytes(static_cast<size_t>(rebootReply_), REBOOT_REPLY_BYTE), Answer::BootSyncAnswer);
    }
    return;
  }
  if (garbled)
    b = garbleByte(b);
  switch (stage_) {
  case Stage::Sync:
    sync(b);
    break;
  case Stage::MicroLength:
  case Stage::MicroKernel:
    microKernelByte(b);
    break;
  case Stage::MainLength:
  case Stage::MainKernel:
    if (download(main_, b, KERNEL_LENGTH_BYTES, MAIN_SUM_BASE, "MAIN"))
      enter(Stage::MainCommands);
    break;
  case Stage::WriteLength:
  case Stage::WriteKernel:
    if (download(write_, b, KERNEL_LENGTH_BYTES, WRITE_SUM_BASE, "WRITE"))
      enter(Stage::WriteCommands);
    break;
  default:
    command(b, garbled);
    break;
  }
}

void BootProgram::sync(Byte b) {
  if (b == SYNC && !inStep_ && !fault("boot-no-sync")) {
    inStep_ = true;
    record_.event("boot sync");
    send({SYNC}, Answer::BootSyncAnswer);
  } else if (b == SYNC_CONFIRM && inStep_) {
    inStep_ = false;
    if (fault("boot-no-aa")) {
      record_.event("boot withheld 0xAA");
      return;
    }
    send({SYNC_CONFIRMED}, Answer::BootConfirmAnswer);
    enter(Stage::MicroLength);
  }
}

void BootProgram::microKernelByte(Byte b) {
  Byte echo = b;
  if (stage_ == Stage::MicroLength) {
    send({echo}, Answer::BootEcho, {static_cast<long>(micro_.lengthBytes.size()), 0});
    micro_.lengthBytes.push_back(b);
    if (micro_.lengthBytes.size() == MICRO_LENGTH_BYTES) {
      micro_.length = bigEndian(micro_.lengthBytes);
      record_.event("boot micro kernel download " + std::to_string(micro_.length) + " bytes");
      enter(Stage::MicroKernel);
    }
  } else {
    const long index = static_cast<long>(micro_.bytes.size());
    if (faults_.number("boot-bad-echo") == index)
      echo = static_cast<Byte>(b ^ WRONG_ECHO_MASK);
    send({echo}, Answer::BootEcho, {index, static_cast<long>(micro_.length)});
    micro_.bytes.push_back(b);
  }
  if (stage_ != Stage::MicroKernel || micro_.bytes.size() < micro_.length)
    return;

  // The micro kernel is in: it erases the flash and reports.
  record_.event("boot micro kernel " + std::to_string(micro_.length) + " bytes");
  if (fault("boot-erase-fail")) {
    record_.event("boot erase failed");
    send({SYNC_CONFIRMED, ERASE_FAILED}, Answer::BootEraseDone);
  } else {
    flash_.assign(FLASH_SIZE, ERASED);
    ++erases_;
    record_.event("boot erase");
    send({SYNC_CONFIRMED, ERASE_OK}, Answer::BootEraseDone);
  }
  enter(Stage::MicroCommands);
}

bool BootProgram::commandComplete() const {
  switch (frame_[0]) {
  case DEVICE_SELECTION:
  case CLOCK_MODE:
  case NEW_BIT_RATE:
    return frame_.size() >= 2 && frame_.size() == static_cast<size_t>(frame_[1]) + 3;
  case PROGRAM_BLOCK:
    return frame_.size() == BLOCK_FRAME;
  default:
    return true;
  }
}

void BootProgram::command(Byte b, bool garbled) {
  if (stage_ == Stage::RateConfirm) {
    if (b != ACK) {
      refuse(std::string("expected 0x06 at ") + std::to_string(rate_) +
             (garbled ? " (garbled)" : ""));
      return;
    }
    acknowledge("CONFIRM");
    enter(Stage::MicroCommands);
    return;
  }
  frame_.push_back(b);
  if (!commandComplete())
    return;
  blockLast_ = false;
  switch (stage_) {
  case Stage::MicroCommands:
    microCommand();
    break;
  case Stage::MainCommands:
    mainCommand();
    break;
  default:
    writeCommand();
    break;
  }
  frame_.clear();
}

void BootProgram::microCommand() {
  switch (frame_[0]) {
  case UNIT_INQUIRY:
    send(fault("boot-bad-inquiry") ? WRONG_UNIT_REPLY : UNIT_REPLY, Answer::BootUnitReply);
    return;
  case DEVICE_SELECTION:
    if (!isCommand(frame_, DEVICE_COMMAND))
      return refuse("device selection " + escape(frame_));
    acknowledge("DEVICE");
    return;
  case CLOCK_MODE:
    if (!isCommand(frame_, CLOCK_COMMAND))
      return refuse("clock mode " + escape(frame_));
    acknowledge("CLOCK");
    return;
  case NEW_BIT_RATE:
    if (!isCommand(frame_, RATE_COMMAND))
      return refuse("new bit rate " + escape(frame_));
    acknowledge("RATE");
    if (!faults_.hasFor("boot-no-ack", "RATE")) {
      rateSwitchPending_ = true;
      enter(Stage::RateConfirm);
    }
    return;
  case PROGRAMMING_STATE:
    acknowledge("PROGRAM");
    enter(Stage::MainLength);
    return;
  default:
    refuse("command " + hexByte(frame_[0]) + " before the main kernel");
  }
}

void BootProgram::mainCommand() {
  if (frame_[0] == STATUS_INQUIRY)
    return status(STATUS_MAIN_LOADED);
  if (frame_[0] != USER_AREA)
    return refuse("command " + hexByte(frame_[0]) + " after the main kernel");
  acknowledge("USER");
  enter(Stage::WriteLength);
}

void BootProgram::writeCommand() {
  if (frame_[0] == STATUS_INQUIRY)
    return status(STATUS_WRITE_LOADED);
  if (frame_[0] != PROGRAM_BLOCK)
    return refuse("command " + hexByte(frame_[0]) + " after the write kernel");
  program();
}

// Length bytes, kernel bytes and the sum byte; true once the kernel is in
// and acknowledged.
bool BootProgram::download(Download &kernel, Byte b, size_t lengthBytes, Byte sumBase,
                           const char *step) {
  if (kernel.lengthBytes.size() < lengthBytes) {
    kernel.lengthBytes.push_back(b);
    if (kernel.lengthBytes.size() == lengthBytes)
      kernel.length = bigEndian(kernel.lengthBytes);
    return false;
  }
  if (kernel.bytes.size() < kernel.length) {
    kernel.bytes.push_back(b);
    return false;
  }
  const Byte sum = static_cast<Byte>(sumBase + sumOf(kernel.bytes) + b);
  const std::string what =
      std::string("boot ") + step + " kernel " + std::to_string(kernel.length) + " bytes";
  if (sum != 0) {
    refuse(std::string(step) + " kernel sum " + hexByte(b));
    kernel = Download{}; // a new download starts with its length
    return false;
  }
  record_.event(what);
  acknowledge(step);
  return true;
}

void BootProgram::status(Byte phase) {
  ++statusInquiries_;
  Bytes reply = {STATUS_REPLY, 0x02, phase, 0x00};
  if (faults_.number("boot-bad-status") == statusInquiries_)
    reply[2] = 0x01;
  reply.push_back(static_cast<Byte>(0 - sumOf(reply)));
  if (faults_.number("boot-bad-status-sum") == statusInquiries_)
    ++reply[4];
  send(reply, Answer::BootStatusReply);
}

void BootProgram::program() {
  ++blocksSeen_;
  const size_t address = bigEndian(Bytes(frame_.begin() + 1, frame_.begin() + 5));
  if (sumOf(frame_) != 0)
    return refuse("block at " + std::to_string(address) + ": sum");
  if (address % BLOCK_SIZE != 0 || address + BLOCK_SIZE > FLASH_SIZE || flash_.empty()) {
    return refuse("block at " + std::to_string(address) + ": outside the flash");
  }
  auto target = flash_.begin() + static_cast<long>(address);
  if (!std::all_of(target, target + BLOCK_SIZE, [](Byte b) { return b == ERASED; })) {
    return refuse("block at " + std::to_string(address) + ": not erased");
  }
  std::copy(frame_.begin() + 5, frame_.begin() + 5 + BLOCK_SIZE, target);
  ++blocksProgrammed_;
  record_.event("boot block at " + std::to_string(address));
  if (faults_.number("boot-no-ack-block") == blocksSeen_) {
    record_.event("boot withheld ack BLOCK " + std::to_string(blocksSeen_));
    return;
  }
  blockLast_ = acknowledge("BLOCK");
}

Answer BootProgram::ackKind(const std::string &step) {
  if (step == "BLOCK")
    return Answer::BootBlockAck;
  if (step == "MAIN")
    return Answer::BootMainKernelAck;
  return step == "WRITE" ? Answer::BootWriteKernelAck : Answer::BootCommandAck;
}

// True when the 0x06 went out.
bool BootProgram::acknowledge(const char *step) {
  if (faults_.hasFor("boot-no-ack", step)) {
    record_.event(std::string("boot withheld ack ") + step);
    return false;
  }
  send({ACK}, ackKind(step), {blocksSeen_ - 1, 0});
  return true;
}

void BootProgram::refuse(const std::string &why) {
  record_.event("boot refused " + why);
  record_.count("boot_refused");
}

void BootProgram::summarize(Record &record) const {
  static const char *const STAGES[] = {"sync",           "micro-length",  "micro-kernel",
                                       "micro-commands", "rate-confirm",  "main-length",
                                       "main-kernel",    "main-commands", "write-length",
                                       "write-kernel",   "write-commands"};
  record.set("boot_state", rebootReply_ > 0 ? "awaiting-reboot" : STAGES[static_cast<int>(stage_)]);
  record.set("boot_bytes_received", received_);
  record.set("boot_rate", rate_);
  record.set("boot_erases", erases_);
  record.set("boot_blocks_programmed", blocksProgrammed_);
  if (!micro_.bytes.empty())
    record.setFile("micro-kernel.bin", micro_.bytes);
  if (!main_.bytes.empty())
    record.setFile("main-kernel.bin", main_.bytes);
  if (!write_.bytes.empty())
    record.setFile("write-kernel.bin", write_.bytes);
  if (!flash_.empty())
    record.setFile(FLASH_FILE, flash_);
  record.set(FIRMWARE_KEY, firmwareRuns() ? FIRMWARE_RUNS : FIRMWARE_MISSING);
}

} // namespace cardsim
