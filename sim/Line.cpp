#include "Line.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace cardsim {

namespace {

constexpr size_t READ_CHUNK = 4096;
// Paced host bytes the card reads ahead of the wire at most; beyond it they
// wait in the pseudo-terminal and the host's writes block as on a full line.
constexpr size_t PACED_RECEIVE_BUFFER = 4096;

struct RateCode {
  int baud;
  speed_t code;
};

const RateCode RATES[] = {
    {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};

// Bytes the card must never appear to send when the line is garbled.
const Byte MARKERS[] = {'#', '=', '*', '~', '$', '.', '\r'};

} // namespace

bool isMarkerByte(Byte b) {
  for (Byte marker : MARKERS) {
    if (b == marker)
      return true;
  }
  return false;
}

Byte garbleByte(Byte b) {
  // An odd multiplier makes the scramble one-to-one; a marker that comes out
  // has its top bit flipped, and no marker has its top bit set, so the
  // result is never a marker.
  Byte scrambled = static_cast<Byte>(b * 167u + 0x6Bu);
  if (isMarkerByte(scrambled))
    scrambled ^= 0x80;
  return scrambled;
}

int baudFromSpeed(unsigned speedCode) {
  for (const RateCode &rate : RATES) {
    if (rate.code == speedCode)
      return rate.baud;
  }
  return 0;
}

unsigned speedFromBaud(int baud) {
  for (const RateCode &rate : RATES) {
    if (rate.baud == baud)
      return rate.code;
  }
  return 0;
}

Line::Line(int masterFd, Record &record, const Faults &faults, const Pacing &pacing)
    : fd_(-1), record_(record), cutAt_(faults.number("disconnect-after")), pacing_(pacing),
      measure_(pacing.wire, pacing.cardTime) {
  if (pacing.adapterLatency.count() > 0)
    adapter_.emplace(pacing.adapterLatency, pacing.adapterPacket);
  takeMaster(masterFd);
}

void Line::takeMaster(int masterFd) {
  fd_ = masterFd;
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0)
    ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

void Line::reconnect(int masterFd) {
  takeMaster(masterFd);
  cutAt_.reset();
  record_.event("reconnect");
}

Line::~Line() {
  if (fd_ >= 0)
    ::close(fd_);
}

int Line::hostRate() const {
  if (fd_ < 0)
    return 0;
  termios tio{};
  if (::tcgetattr(fd_, &tio) != 0)
    return 0;
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
  std::optional<Clock::time_point> due;
  if (!queue_.empty())
    due = queue_.front().due;
  if (!incoming_.empty() && (!due || incoming_.front().due < *due))
    due = incoming_.front().due;
  return due;
}

bool Line::wantsRead() const { return fd_ >= 0 && incoming_.size() < PACED_RECEIVE_BUFFER; }

// The rate the wire runs at: the host's setting, or the card's while the
// host's is unknown.
int Line::wireRate() const {
  const int rate = hostRate();
  return rate > 0 || client_ == nullptr ? rate : client_->cardRate();
}

void Line::readAvailable() {
  if (fd_ < 0)
    return;
  if (wantsRead())
    readChunk();
  deliverDue(Clock::now());
}

void Line::deliverAll() { deliverDue(Clock::time_point::max()); }

void Line::readChunk() {
  Byte buffer[READ_CHUNK];
  const size_t room = holdsIncoming() ? PACED_RECEIVE_BUFFER - incoming_.size() : sizeof buffer;
  const ssize_t n = ::read(fd_, buffer, std::min(room, sizeof buffer));
  if (n <= 0)
    return; // EAGAIN or nothing: the poll loop tries again
  const Clock::time_point now = Clock::now();
  checkRate();
  measure_.hostBurst(now, sending());
  const Bytes bytes(buffer, buffer + n);
  if (holdsIncoming()) {
    stampIncoming(bytes, now);
  } else {
    readAt_ = now;
    deliver(bytes);
  }
}

// Each byte leaves the host's end (through an adapter: on the next USB frame)
// when the wire is free and reaches the card one byte time later (at once
// when unpaced).
void Line::stampIncoming(const Bytes &bytes, Clock::time_point now) {
  const Clock::duration byteTime =
      pacing_.wire ? Measure::byteTime(wireRate()) : Clock::duration{0};
  Clock::time_point due = std::max(adapter_ ? UsbAdapter::nextFrame(now) : now, rxWireFree_);
  for (Byte b : bytes) {
    due += byteTime;
    incoming_.push_back({due, b, now});
  }
  rxWireFree_ = due;
}

void Line::deliverDue(Clock::time_point now) {
  while (fd_ >= 0 && !incoming_.empty() && incoming_.front().due <= now) {
    const Incoming next = incoming_.front();
    incoming_.pop_front();
    readAt_ = next.read;
    deliver(Bytes{next.byte}, next.due);
  }
}

void Line::deliver(const Bytes &received, std::optional<Clock::time_point> at) {
  for (auto next = received.begin(); fd_ >= 0;) {
    if (cutAt_ && receivedCount_ >= *cutAt_)
      return disconnect();
    if (next == received.end())
      return;
    long n = singly_ ? 1 : received.end() - next;
    if (cutAt_)
      n = std::min(n, *cutAt_ - receivedCount_);
    take(Bytes(next, next + n), at);
    next += n;
  }
}

void Line::take(const Bytes &bytes, std::optional<Clock::time_point> at) {
  receivedCount_ += static_cast<long>(bytes.size());
  const int rate = hostRate();
  measure_.hostBytes(bytes.size(), rate > 0 ? rate : wireRate());
  record_.received(bytes);
  const bool garbled = client_ != nullptr && rate != client_->cardRate();
  if (garbled)
    record_.event("garbled-rx " + std::to_string(bytes.size()));
  deliveredAt_ = at;
  if (client_ != nullptr)
    client_->receive(bytes, garbled);
  deliveredAt_.reset();
}

void Line::cutPowerAfter(long bytes) {
  const long at = receivedCount_ + bytes;
  if (cutAt_ && *cutAt_ <= at)
    return;
  cutAt_ = at;
  powerCut_ = true;
}

void Line::transmit(const Bytes &bytes, Millis delay, Millis gap) {
  if (fd_ < 0)
    return;
  measure_.cardAnswered(delay);
  const Clock::time_point base = deliveredAt_ ? *deliveredAt_ : Clock::now();
  Clock::time_point due = std::max(base + delay + pacing_.cardTime, txWireFree_);
  // Paced, each byte is due when its bits have crossed the wire.
  const Clock::duration byteTime =
      pacing_.wire ? Measure::byteTime(wireRate()) : Clock::duration{0};
  for (Byte b : bytes) {
    due += byteTime;
    queueByte(due, b);
    txWireFree_ = due;
    due += gap;
  }
}

// Through an adapter the byte leaves when the chip sends its packet; bytes
// queued before it that the same packet carries leave with it.
void Line::queueByte(Clock::time_point due, Byte b) {
  if (adapter_) {
    size_t joined = 0;
    due = adapter_->hold(due, Clock::now(), &joined);
    for (auto it = queue_.rbegin(); joined > 0 && it != queue_.rend(); ++it, --joined)
      it->due = due;
  }
  queue_.push_back({due, b});
}

void Line::writeDue() {
  if (fd_ < 0)
    return;
  const Clock::time_point now = Clock::now();
  if (!queue_.empty() && queue_.front().due <= now) {
    checkRate();
    const bool garbled = client_ != nullptr && hostRate() != client_->cardRate();
    size_t moved = 0;
    while (!queue_.empty() && queue_.front().due <= now) {
      const Byte b = queue_.front().byte;
      lastDue_ = queue_.front().due;
      ready_.push_back(garbled ? garbleByte(b) : b);
      queue_.pop_front();
      ++moved;
    }
    if (garbled)
      record_.event("garbled-tx " + std::to_string(moved));
  }
  if (ready_.empty())
    return;
  const ssize_t n = ::write(fd_, ready_.data(), ready_.size());
  if (n > 0) {
    record_.appendFile("sent.bin", Bytes(ready_.begin(), ready_.begin() + n));
    ready_.erase(ready_.begin(), ready_.begin() + n);
    measure_.cardBytes(static_cast<size_t>(n), wireRate());
    if (!sending())
      measure_.cardWritten(Clock::now(), lastDue_);
  }
  // EAGAIN: the host is not reading; poll waits for room.
}

void Line::disconnect() {
  ::close(fd_);
  fd_ = -1;
  queue_.clear();
  ready_.clear();
  incoming_.clear();
  if (powerCut_)
    record_.event("power cut");
  record_.event("disconnect");
  if (onDisconnect_)
    onDisconnect_();
}

void Line::summarize(Record &record) const {
  record.set("host_rate", loggedRate_ < 0 ? 0 : loggedRate_);
  record.set("bytes_received", static_cast<long>(record.receivedBytes().size()));
  record.set("connected", connected() ? "yes" : "no");
  record.setFile("measure.txt", toBytes(measure_.report()));
}

} // namespace cardsim
