#include "XsvfPlayer.h"

#include <algorithm>

namespace cardsim {

namespace {

constexpr Byte BYTE_REQUEST = '*';
constexpr Byte BLOCK_REQUEST = '$';
constexpr Byte MALFORMED_SECOND = 'x';
constexpr size_t MAX_BLOCK = 0xFFFF; // a block count is 16 bits

// Opcodes.
constexpr Byte XCOMPLETE = 0x00, XTDOMASK = 0x01, XSIR = 0x02, XSDR = 0x03, XRUNTEST = 0x04,
               XREPEAT = 0x07, XSDRSIZE = 0x08, XSDRTDO = 0x09, XSETSDRMASKS = 0x0A, XSDRINC = 0x0B,
               XSDRB = 0x0C, XSDRC = 0x0D, XSDRE = 0x0E, XSDRTDOB = 0x0F, XSDRTDOC = 0x10,
               XSDRTDOE = 0x11, XSTATE = 0x12, XENDIR = 0x13, XENDDR = 0x14, XSIR2 = 0x15,
               XCOMMENT = 0x16, XWAIT = 0x17, XWAITSTATE = 0x18, LCOUNT = 0x19, LDELAY = 0x1A,
               LSDR = 0x1B, XTRST = 0x1C;

constexpr Byte LAST_TAP_STATE = 15;
constexpr Byte LAST_END_STATE = 1; // XENDIR/XENDDR: 0 Run-Test/Idle, 1 Pause
constexpr Byte LAST_TRST_MODE = 3; // ON, OFF, Z, ABSENT

unsigned long bigEndian(const Bytes &bytes, size_t from, size_t count) {
  unsigned long value = 0;
  for (size_t i = from; i < from + count; ++i)
    value = (value << 8) | bytes[i];
  return value;
}

int bitsSet(const Bytes &bytes) {
  int n = 0;
  for (Byte b : bytes) {
    for (; b != 0; b = static_cast<Byte>(b & (b - 1)))
      ++n;
  }
  return n;
}

} // namespace

const char *const XsvfPlayer::FILE_NAME = "fpga.bin";

XsvfPlayer::XsvfPlayer(Outbox &outbox, const Faults &faults, Record &record)
    : outbox_(outbox), faults_(faults), record_(record),
      blockLimit_(static_cast<size_t>(
          std::clamp<long>(faults.number("fpga-block-limit").value_or(BLOCK_LIMIT), 1,
                           static_cast<long>(MAX_BLOCK)))) {}

void XsvfPlayer::start() {
  record_.event("fpga start");
  expect(Field::Opcode, 1);
}

void XsvfPlayer::expect(Field field, size_t count) {
  field_ = field;
  collected_.clear();
  wanted_ = count;
  asked_ = 0;
  if (count > 0)
    ask(std::min(count, field == Field::PastEnd ? MAX_BLOCK : blockLimit_));
}

void XsvfPlayer::ask(size_t count) {
  if (silent_)
    return;
  ++requests_;
  const auto silentAfter = faults_.number("upload-silent-after");
  if (silentAfter && requests_ > *silentAfter) {
    silent_ = true;
    record_.event("fpga silent after " + std::to_string(*silentAfter) + " requests");
    return;
  }
  asked_ += count;
  if (count == 1) {
    outbox_.answer(Bytes{BYTE_REQUEST}, Answer::FpgaRequest);
    return;
  }
  Bytes request;
  if (faults_.has("fpga-bad-request") && !badRequestSent_) {
    badRequestSent_ = true;
    request = {BLOCK_REQUEST, MALFORMED_SECOND};
  }
  request.insert(request.end(), {BLOCK_REQUEST, BLOCK_REQUEST, static_cast<Byte>(count >> 8),
                                 static_cast<Byte>(count & 0xFF)});
  outbox_.answer(request, Answer::FpgaRequest);
}

bool XsvfPlayer::receive(Byte b, bool garbled) {
  if (over_)
    return false;
  stream_.push_back(b);
  if (garbled)
    return done(false, "garbled byte");
  collected_.push_back(b);
  if (field_ == Field::CommentByte) {
    if (b == 0)
      return fieldComplete();
    ask(1);
    return true;
  }
  if (collected_.size() < wanted_) {
    if (collected_.size() == asked_)
      ask(std::min(wanted_ - asked_, blockLimit_));
    return true;
  }
  return fieldComplete();
}

bool XsvfPlayer::done(bool success, const std::string &why) {
  over_ = true;
  if (success && faults_.hasFor("upload-fail", "FPGA")) {
    success = false;
  }
  result_ = success ? "programmed" : "failed";
  record_.event("fpga " + result_ + " (" + why + ")");
  if (!silent_)
    outbox_.answer(std::string("~") + (success ? "S" : "E"), Answer::FpgaRequest);
  return false;
}

bool XsvfPlayer::opcode(Byte op) {
  op_ = op;
  ++instructions_;
  switch (op) {
  case XCOMPLETE:
    if (auto extra = faults_.number("fpga-past-end")) {
      expect(Field::PastEnd, static_cast<size_t>(std::max(*extra, 1L)));
      return true;
    }
    return done(true, "XCOMPLETE");
  case XSIR:
    expect(Field::SirLength, 1);
    return true;
  case XSIR2:
    expect(Field::SirLength, 2);
    return true;
  case XCOMMENT:
    expect(Field::CommentByte, 1);
    return true;
  case XSDRINC:
    expect(Field::IncStart, sdrBytes() + 1);
    return true;
  case XRUNTEST:
  case XSDRSIZE:
  case LCOUNT:
    expect(Field::Fixed, 4);
    return true;
  case XREPEAT:
  case XSTATE:
  case XENDIR:
  case XENDDR:
  case XTRST:
    expect(Field::Fixed, 1);
    return true;
  case XWAIT:
    expect(Field::Fixed, 6);
    return true;
  case LDELAY:
    expect(Field::Fixed, 9);
    return true;
  case XWAITSTATE:
    expect(Field::Fixed, 10);
    return true;
  case XTDOMASK:
  case XSDR:
  case XSDRB:
  case XSDRC:
  case XSDRE:
    expect(Field::Fixed, sdrBytes());
    break;
  case XSDRTDO:
  case XSETSDRMASKS:
  case XSDRTDOB:
  case XSDRTDOC:
  case XSDRTDOE:
  case LSDR:
    expect(Field::Fixed, 2 * sdrBytes());
    break;
  default:
    return done(false, "unknown opcode " + hexByte(op));
  }
  // A scan of 0 bits has no argument bytes: the instruction is complete.
  return wanted_ == 0 ? fixedComplete() : true;
}

size_t XsvfPlayer::maskedDataBytes() const {
  return static_cast<size_t>((bitsSet(dataMask_) + 7) / 8);
}

bool XsvfPlayer::fieldComplete() {
  switch (field_) {
  case Field::Opcode:
    return opcode(collected_[0]);
  case Field::Fixed:
    return fixedComplete();
  case Field::SirLength: {
    const size_t bits = bigEndian(collected_, 0, collected_.size());
    expect(Field::SirBits, (bits + 7) / 8);
    if (wanted_ == 0)
      expect(Field::Opcode, 1);
    return true;
  }
  case Field::IncStart:
    incLeft_ = collected_.back();
    if (incLeft_ == 0 || maskedDataBytes() == 0)
      break;
    expect(Field::IncData, maskedDataBytes());
    return true;
  case Field::IncData:
    if (--incLeft_ > 0) {
      expect(Field::IncData, maskedDataBytes());
      return true;
    }
    break;
  case Field::PastEnd:
    return done(false, "bytes after XCOMPLETE");
  case Field::SirBits:
  case Field::CommentByte:
    break;
  }
  expect(Field::Opcode, 1);
  return true;
}

bool XsvfPlayer::fixedComplete() {
  const Byte first = collected_.empty() ? 0 : collected_[0];
  switch (op_) {
  case XSDRSIZE:
    sdrBits_ = static_cast<long>(bigEndian(collected_, 0, 4));
    if (sdrBits_ > MAX_SDR_BITS)
      return done(false, "XSDRSIZE too large");
    break;
  case XSETSDRMASKS:
    dataMask_.assign(collected_.begin() + static_cast<long>(sdrBytes()), collected_.end());
    break;
  case XSTATE:
    if (first > LAST_TAP_STATE)
      return done(false, "bad TAP state");
    break;
  case XENDIR:
  case XENDDR:
    if (first > LAST_END_STATE)
      return done(false, "bad end state");
    break;
  case XTRST:
    if (first > LAST_TRST_MODE)
      return done(false, "bad TRST mode");
    break;
  case XWAIT:
  case XWAITSTATE:
  case LDELAY:
    if (first > LAST_TAP_STATE || (op_ != LDELAY && collected_[1] > LAST_TAP_STATE)) {
      return done(false, "bad TAP state");
    }
    break;
  default:
    break;
  }
  expect(Field::Opcode, 1);
  return true;
}

void XsvfPlayer::finish(Record &record) {
  if (finished_)
    return;
  finished_ = true;
  record.setFile(FILE_NAME, stream_);
  record.set("fpga_result", result_);
  record.set("fpga_bytes", static_cast<long>(stream_.size()));
  record.set("fpga_instructions", instructions_);
  record.set("fpga_requests", requests_);
}

} // namespace cardsim
