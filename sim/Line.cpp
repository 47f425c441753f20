#include "Line.h"

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace cardsim {

namespace {

constexpr size_t READ_CHUNK = 4096;

struct RateCode {
  int baud;
  speed_t code;
};

const RateCode RATES[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};

// Bytes the card must never appear to send when the line is garbled.
const Byte MARKERS[] = {'#', '=', '*', '~', '$', '.', '\r'};

}  // namespace

bool isMarkerByte(Byte b) {
  for (Byte marker : MARKERS) {
    if (b == marker) return true;
  }
  return false;
}

Byte garbleByte(Byte b) {
  // An odd multiplier makes the scramble one-to-one; a marker that comes out
  // has its top bit flipped, and no marker has its top bit set, so the
  // result is never a marker.
  Byte scrambled = static_cast<Byte>(b * 167u + 0x6Bu);
  if (isMarkerByte(scrambled)) scrambled ^= 0x80;
  return scrambled;
}

int baudFromSpeed(unsigned speedCode) {
  for (const RateCode& rate : RATES) {
    if (rate.code == speedCode) return rate.baud;
  }
  return 0;
}

unsigned speedFromBaud(int baud) {
  for (const RateCode& rate : RATES) {
    if (rate.baud == baud) return rate.code;
  }
  return 0;
}

Line::Line(int masterFd, Record& record, const Faults& faults)
    : fd_(masterFd), record_(record), disconnectAfter_(faults.number("disconnect-after")) {
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

Line::~Line() {
  if (fd_ >= 0) ::close(fd_);
}

int Line::hostRate() const {
  if (fd_ < 0) return 0;
  termios tio{};
  if (::tcgetattr(fd_, &tio) != 0) return 0;
  return baudFromSpeed(::cfgetospeed(&tio));
}

void Line::checkRate() {
  const int rate = hostRate();
  if (fd_ >= 0 && rate != loggedRate_) {
    record_.event((loggedRate_ < 0 ? "initial-rate " : "rate ") + std::to_string(rate));
    loggedRate_ = rate;
  }
}

std::optional<Clock::time_point> Line::nextDue() const {
  if (queue_.empty()) return std::nullopt;
  return queue_.front().due;
}

void Line::readAvailable() {
  if (fd_ < 0) return;
  Byte buffer[READ_CHUNK];
  const ssize_t n = ::read(fd_, buffer, sizeof buffer);
  if (n <= 0) return;  // EAGAIN or nothing: the poll loop tries again
  checkRate();

  size_t count = static_cast<size_t>(n);
  bool vanish = false;
  if (disconnectAfter_) {
    const long left = *disconnectAfter_ - receivedCount_;
    if (static_cast<long>(count) >= left) {
      count = static_cast<size_t>(left);
      vanish = true;
    }
  }
  receivedCount_ += static_cast<long>(count);
  const Bytes bytes(buffer, buffer + count);
  if (!bytes.empty()) deliver(bytes);
  if (vanish) disconnect();
}

void Line::deliver(const Bytes& bytes) {
  record_.received(bytes);
  const bool garbled = client_ != nullptr && hostRate() != client_->cardRate();
  if (garbled) record_.event("garbled-rx " + std::to_string(bytes.size()));
  if (client_ != nullptr) client_->receive(bytes, garbled);
}

void Line::transmit(const Bytes& bytes, Millis delay, Millis gap) {
  if (fd_ < 0) return;
  Clock::time_point due = Clock::now() + delay;
  if (!queue_.empty() && queue_.back().due > due) due = queue_.back().due;
  for (Byte b : bytes) {
    queue_.push_back({due, b});
    due += gap;
  }
}

void Line::writeDue() {
  if (fd_ < 0) return;
  const Clock::time_point now = Clock::now();
  if (!queue_.empty() && queue_.front().due <= now) {
    checkRate();
    const bool garbled = client_ != nullptr && hostRate() != client_->cardRate();
    size_t moved = 0;
    while (!queue_.empty() && queue_.front().due <= now) {
      const Byte b = queue_.front().byte;
      ready_.push_back(garbled ? garbleByte(b) : b);
      queue_.pop_front();
      ++moved;
    }
    if (garbled) record_.event("garbled-tx " + std::to_string(moved));
  }
  if (ready_.empty()) return;
  const ssize_t n = ::write(fd_, ready_.data(), ready_.size());
  if (n > 0) ready_.erase(ready_.begin(), ready_.begin() + n);
  // EAGAIN: the host is not reading; poll waits for room.
}

void Line::disconnect() {
  ::close(fd_);
  fd_ = -1;
  queue_.clear();
  ready_.clear();
  record_.event("disconnect");
  if (onDisconnect_) onDisconnect_();
}

void Line::summarize(Record& record) const {
  record.set("host_rate", loggedRate_ < 0 ? 0 : loggedRate_);
  record.set("bytes_received", static_cast<long>(record.receivedBytes().size()));
  record.set("connected", connected() ? "yes" : "no");
}

}  // namespace cardsim
