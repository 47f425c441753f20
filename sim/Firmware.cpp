#include "Firmware.h"

#include "driver/oldFirmwareKey.h"

#include <algorithm>

namespace cardsim {

namespace {

constexpr Byte NUL = 0x00;
constexpr Byte CR = 0x0D;
constexpr Byte TEXT_START = '#';
constexpr Byte CONTROL_START = '=';
constexpr Byte MICRO_MARK = 'M';
constexpr Byte FRAME_MARK = 'G';
constexpr Byte ACCEPTED = '*';
constexpr Byte REFUSED = '~';

const char *const ACK_PREFIX = "=M";
const char *const REPEATED_ACK_PREFIX = "==M";
const char *const KEY_COMMAND = "KEY";
// How faults and counters name the lone CR.
const char *const EMPTY_LINE_KEY = "EMPTY";
// What an old firmware answers to each of the first key bytes, repeated to
// the configured length.
const char *const OLD_FIRMWARE_REPLY = "OK";

const char *const DEVERSION = "DEVERSION";
const char *const DEVTYPE = "DEVTYPE";

// The micro commands the firmware accepts.
const char *const MICRO_COMMANDS[] = {"MP", "MR", "MA", "ME"};

Command parseCommand(const std::string &line) {
  Command command;
  command.line = line;
  const size_t blank = line.find(' ');
  command.key = commandKey(line.substr(0, blank));
  if (blank != std::string::npos)
    command.args = line.substr(blank + 1);
  return command;
}

} // namespace

const char *const Firmware::PROBE_ANSWER = "#ERR UNKNOWN";
const char *const Firmware::NACK_ANSWER = "#NACK";
const char *const Firmware::UNKNOWN_MODEL = "UNKNOWN";

int Firmware::lineRate() const {
  const std::optional<long> rate = faults_.number("firmware-rate");
  return rate ? static_cast<int>(*rate) : RATE;
}

Firmware::Firmware(const FirmwareSetup &setup, Outbox &outbox, const Faults &faults, Record &record,
                   VideoProcessor &videoProcessor, ModeSwitch &modes)
    : setup_(setup), outbox_(outbox), faults_(faults), record_(record),
      videoProcessor_(videoProcessor), modes_(modes) {
  addTextCommand(DEVERSION, [this](const Command &c) { deviceVersion(c); });
  addTextCommand(DEVTYPE, [this](const Command &c) { deviceType(c); });
  for (const char *key : MICRO_COMMANDS)
    addMicroCommand(key);
}

Firmware::TextHandler Firmware::addTextCommand(const std::string &key, TextHandler handler) {
  TextHandler &slot = textCommands_[commandKey(key)];
  TextHandler previous = std::move(slot);
  slot = std::move(handler);
  return previous;
}

void Firmware::addMicroCommand(const std::string &key) { microCommands_.insert(commandKey(key)); }

void Firmware::startReceiver(std::unique_ptr<Receiver> receiver) {
  receiver_ = std::move(receiver);
}

void Firmware::receive(Byte b, bool garbled) {
  if (receiver_) {
    if (!receiver_->receive(b, garbled)) {
      receiver_->finish(record_);
      receiver_.reset();
    }
    return;
  }
  if (garbled) {
    // A byte sent at the wrong rate spoils any command it falls into.
    if (state_ != State::Idle)
      drop("garbled");
    ++droppedBytes_;
    lineJunk_ = true;
    keyProgress_ = 0;
    previous_ = NUL;
    return;
  }
  switch (state_) {
  case State::Idle:
    idle(b);
    break;
  case State::Equals:
    equals(b);
    break;
  case State::Command:
    command(b);
    break;
  case State::Frame:
    frame(b);
    break;
  }
  previous_ = b;
}

void Firmware::idle(Byte b) {
  if (b == NUL) {
    keyProgress_ = 0;
    probe();
  } else if (keyByte(b)) {
    // one of the old-firmware key bytes, sent alone
  } else if (b == TEXT_START) {
    startCommand("#");
  } else if (b == CONTROL_START) {
    state_ = State::Equals;
  } else if (b == CR) {
    if (!lineJunk_)
      emptyLine();
    lineJunk_ = false;
  } else {
    ++droppedBytes_;
    lineJunk_ = true;
  }
}

void Firmware::equals(Byte b) {
  if (b == MICRO_MARK) {
    startCommand("=M");
  } else if (b == FRAME_MARK) {
    startFrame();
  } else if (b == CONTROL_START || b == NUL) {
    // still waiting for what follows the "="
  } else if (b == TEXT_START) {
    startCommand("#");
  } else {
    ++droppedBytes_;
    state_ = State::Idle;
  }
}

void Firmware::command(Byte b) {
  if (b == CR) {
    dispatch();
  } else if (b == NUL) {
    // ignored inside a command
  } else if (b == TEXT_START) {
    drop("restarted");
    startCommand("#");
  } else if (b == FRAME_MARK && previous_ == CONTROL_START) {
    buffer_.pop_back();
    drop("frame start");
    startFrame();
  } else {
    buffer_.push_back(b);
    if (buffer_.size() > MAX_COMMAND)
      drop("too long");
  }
}

void Firmware::frame(Byte b) {
  if (b == CR) {
    buffer_.push_back(b);
    Bytes frame;
    frame.swap(buffer_);
    state_ = State::Idle;
    lineJunk_ = false;
    videoProcessor_.frame(frame);
  } else if (b == FRAME_MARK && previous_ == CONTROL_START) {
    buffer_.pop_back();
    drop("frame restarted");
    startFrame();
  } else if (b == NUL) {
    // a frame body never holds 0x00: line noise
  } else {
    buffer_.push_back(b);
    if (buffer_.size() > MAX_FRAME)
      drop("frame too long");
  }
}

void Firmware::startCommand(const char *start) {
  buffer_ = toBytes(start);
  state_ = State::Command;
}

void Firmware::startFrame() {
  buffer_ = {CONTROL_START, FRAME_MARK};
  state_ = State::Frame;
}

void Firmware::drop(const char *why) {
  if (!buffer_.empty()) {
    record_.event("dropped " + escape(buffer_) + " (" + why + ")");
    droppedBytes_ += static_cast<long>(buffer_.size());
  }
  buffer_.clear();
  state_ = State::Idle;
  lineJunk_ = true;
}

void Firmware::dispatch() {
  const Command command = parseCommand(std::string(buffer_.begin(), buffer_.end()));
  buffer_.clear();
  state_ = State::Idle;
  lineJunk_ = false;

  record_.event("cmd " + escape(command.line));
  record_.count(command.key.empty() ? "EMPTY" : escape(command.key));
  if (command.line[0] == TEXT_START) {
    textCommand(command);
  } else {
    microCommand(command);
  }
}

void Firmware::textCommand(const Command &command) {
  // An old firmware knows its version but not the model question.
  if (setup_.oldFirmware && command.key == DEVTYPE) {
    record_.event("ignored " + escape(command.line) + " (old firmware)");
    return;
  }
  auto handler = textCommands_.find(command.key);
  if (handler != textCommands_.end()) {
    handler->second(command);
  } else {
    answerLine(command, NACK_ANSWER);
  }
}

void Firmware::microCommand(const Command &command) {
  ++microCommandsSeen_;
  const long withheld = faults_.number("ack-silent").value_or(0);
  if (microCommandsSeen_ <= withheld) {
    record_.event("ack-withheld " + escape(command.line));
    return;
  }
  if (muted(command))
    return;

  Byte status = microCommands_.count(command.key) != 0 ? ACCEPTED : REFUSED;
  if (faults_.hasFor("refuse", command.key))
    status = REFUSED;
  if (auto bad = faults_.charFor("bad-status", command.key))
    status = *bad;

  record_.event("ack " + escape(command.line) + " " + escape(Bytes{status}));
  Bytes ack = toBytes(faults_.has("repeat-eq") ? REPEATED_ACK_PREFIX : ACK_PREFIX);
  ack.push_back(status);
  const Millis held = outbox_.answer(ack, Answer::MicroAck);
  if (status == ACCEPTED)
    videoProcessor_.microCommand(command.key, held);
}

void Firmware::answerLine(const Command &command, const std::string &text, Answer kind) {
  if (muted(command))
    return;
  if (faults_.hasFor("long-line", command.key)) {
    std::string line = text + " ";
    line.resize(std::max(LONG_LINE_LENGTH, line.size()), 'X');
    outbox_.answer(line, kind);
  } else if (faults_.hasFor("no-cr", command.key)) {
    outbox_.answer(text, kind);
  } else {
    outbox_.answer(text + "\r", kind);
  }
}

bool Firmware::muted(const Command &command) {
  if (!faults_.has("silent") && !faults_.hasFor("silent-cmd", command.key))
    return false;
  record_.event("withheld " + escape(command.line));
  return true;
}

void Firmware::probe() {
  record_.event("probe");
  record_.count(PROBE_KEY);
  answerLine(Command{"\\x00", PROBE_KEY, ""}, PROBE_ANSWER, Answer::ProbeAnswer);
}

// A lone CR (not one that ends dropped junk) is an empty command line: the
// firmware answers it with an empty line, a single CR, and does nothing.
// (Answering "#NACK" would leave a refusal on the line that the next
// command's answer would be taken for.)
void Firmware::emptyLine() {
  record_.event("empty-line");
  record_.count(EMPTY_LINE_KEY);
  answerLine(Command{"", EMPTY_LINE_KEY, ""}, "", Answer::BlankLineAnswer);
}

bool Firmware::keyByte(Byte b) {
  if (b == OLD_FIRMWARE_KEY[keyProgress_]) {
    ++keyProgress_;
  } else if (b == OLD_FIRMWARE_KEY[0]) {
    keyProgress_ = 1;
  } else {
    keyProgress_ = 0;
    return false;
  }
  const int position = keyProgress_;
  if (position > OLD_FIRMWARE_TEST_BYTES)
    keyProgress_ = 0;
  // Logged by every firmware, so the record shows that the host sent it.
  record_.event("old-firmware key " + std::to_string(position));
  record_.count(KEY_COMMAND);
  if (!setup_.oldFirmware)
    return true; // a current firmware takes it as noise

  if (position <= OLD_FIRMWARE_TEST_BYTES) {
    const Command key{hexByte(b), KEY_COMMAND, ""};
    if (muted(key))
      return true;
    // The first three key bytes share the reply's bytes in turn.
    const auto total = static_cast<size_t>(setup_.oldFirmwareReply);
    const auto keys = static_cast<size_t>(OLD_FIRMWARE_TEST_BYTES);
    const size_t from = total * static_cast<size_t>(position - 1) / keys;
    const size_t to = total * static_cast<size_t>(position) / keys;
    std::string reply;
    while (reply.size() < to)
      reply += OLD_FIRMWARE_REPLY;
    outbox_.answer(reply.substr(from, to - from), Answer::TextLine);
  } else {
    modes_.enterBootMode("old-firmware key");
  }
  return true;
}

void Firmware::deviceVersion(const Command &command) {
  answerLine(command, std::string("#DEVERSION ") + static_cast<char>('0' + setup_.edition) + " " +
                          setup_.version);
}

void Firmware::deviceType(const Command &command) {
  ++deviceTypeAnswers_;
  const bool unknownFirst = deviceTypeAnswers_ <= setup_.unknownModelFirst;
  answerLine(command, std::string("#DEVTYPE ") + (unknownFirst ? UNKNOWN_MODEL : setup_.model));
}

void Firmware::summarize(Record &record) const {
  record.set("model", setup_.model);
  record.set("edition", setup_.edition);
  record.set("version", setup_.version);
  record.set("old_firmware", setup_.oldFirmware ? "yes" : "no");
  record.set("firmware_bytes_dropped", droppedBytes_);
  if (receiver_)
    receiver_->finish(record);
}

} // namespace cardsim
