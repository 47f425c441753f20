#include "Line.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <set>
#include <termios.h>
#include <unistd.h>

namespace cardsim {
namespace {

TEST(Garbling, NeverProducesAProtocolMarker) {
  for (int b = 0; b < 256; ++b) {
    const Byte g = garbleByte(static_cast<Byte>(b));
    EXPECT_FALSE(isMarkerByte(g)) << b;
    for (char marker : {'#', '=', '*', '~', '\r', '.'}) EXPECT_NE(g, Byte(marker)) << b;
  }
}

TEST(Garbling, IsAFixedScrambleThatChangesTheAnswers) {
  std::set<Byte> images;
  int unchanged = 0;
  for (int b = 0; b < 256; ++b) {
    images.insert(garbleByte(static_cast<Byte>(b)));
    if (garbleByte(static_cast<Byte>(b)) == b) ++unchanged;
    EXPECT_EQ(garbleByte(static_cast<Byte>(b)), garbleByte(static_cast<Byte>(b)));
  }
  EXPECT_GT(images.size(), 200u);
  EXPECT_LT(unchanged, 4);
}

TEST(Rates, TermiosCodesRoundTrip) {
  for (int baud : {9600, 19200, 38400, 57600, 115200}) EXPECT_EQ(baudFromSpeed(speedFromBaud(baud)), baud);
  EXPECT_EQ(speedFromBaud(12345), 0u);
}

TEST(UsbAdapter, HoldsTheCardsBytesUntilAPacketIsFullOrTheTimerRunsOut) {
  using namespace std::chrono;
  const Clock::time_point t0{};
  UsbAdapter chip(Millis(16), 4);
  size_t joined = 9;
  // A lone answer waits for the timer, counted from its first byte.
  EXPECT_EQ(chip.hold(t0, t0, &joined), t0 + Millis(16));
  EXPECT_EQ(joined, 0u);
  EXPECT_EQ(chip.hold(t0 + Millis(3), t0, &joined), t0 + Millis(16));
  EXPECT_EQ(joined, 1u);
  // The fourth byte fills the packet: it and the three before it go at once.
  EXPECT_EQ(chip.hold(t0 + Millis(4), t0, &joined), t0 + Millis(16));
  EXPECT_EQ(chip.hold(t0 + Millis(5), t0, &joined), t0 + Millis(5));
  EXPECT_EQ(joined, 3u);
  // A byte after the timer ran out starts a new packet.
  EXPECT_EQ(chip.hold(t0 + Millis(6), t0, &joined), t0 + Millis(22));
  EXPECT_EQ(chip.hold(t0 + Millis(30), t0, &joined), t0 + Millis(46));
  EXPECT_EQ(joined, 0u);
  // USB frames start on whole milliseconds.
  EXPECT_EQ(UsbAdapter::nextFrame(t0 + microseconds(2300)), t0 + Millis(3));
  EXPECT_EQ(UsbAdapter::nextFrame(t0 + Millis(3)), t0 + Millis(3));
}

struct FakeCard : LineClient {
  int rate = 115200;
  Bytes got;
  std::vector<bool> garbled;
  int cardRate() const override { return rate; }
  void receive(const Bytes& bytes, bool isGarbled) override {
    got.insert(got.end(), bytes.begin(), bytes.end());
    garbled.push_back(isGarbled);
  }
};

// A real pseudo-terminal: the test plays the host on the slave side.
class LineOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
    setHostRate(115200);
  }
  void TearDown() override {
    line_.reset();
    if (slave_ >= 0) ::close(slave_);
  }
  void makeLine() {
    line_ = std::make_unique<Line>(master_, record_, faults_, pacing_);
    line_->attach(card_);
    line_->checkRate();
  }
  void setHostRate(int baud) {
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfsetispeed(&tio, speedFromBaud(baud));
    ::cfsetospeed(&tio, speedFromBaud(baud));
    ::tcsetattr(slave_, TCSANOW, &tio);
  }
  void hostWrites(const std::string& text) {
    ASSERT_EQ(::write(slave_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    pollfd fd{line_->fd(), POLLIN, 0};
    ::poll(&fd, 1, 1000);
    line_->readAvailable();
  }
  std::string hostReads() {
    std::string out;
    for (int i = 0; i < 100 && line_->nextDue(); ++i) {
      ::usleep(2000);
      line_->writeDue();
    }
    line_->writeDue();
    pollfd fd{slave_, POLLIN, 0};
    while (::poll(&fd, 1, 50) > 0) {
      char buffer[256];
      const ssize_t n = ::read(slave_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<size_t>(n));
    }
    return out;
  }

  int master_ = -1;
  int slave_ = -1;
  Faults faults_;
  Pacing pacing_;
  Record record_;
  FakeCard card_;
  std::unique_ptr<Line> line_;
};

TEST_F(LineOnPty, MatchingRatesPassBytesUntouched) {
  makeLine();
  hostWrites("#DEVTYPE\r");
  EXPECT_EQ(std::string(card_.got.begin(), card_.got.end()), "#DEVTYPE\r");
  ASSERT_FALSE(card_.garbled.empty());
  EXPECT_FALSE(card_.garbled.back());
  line_->transmit(toBytes("=M*"), Millis(0), Millis(0));
  EXPECT_EQ(hostReads(), "=M*");
  EXPECT_TRUE(record_.hasEvent("initial-rate 115200"));
  EXPECT_FALSE(record_.hasEvent("rate 115200"));  // no change, nothing more
}

TEST_F(LineOnPty, OtherHostRateGarblesBothWays) {
  makeLine();
  setHostRate(9600);
  hostWrites("#DEVTYPE\r");
  ASSERT_FALSE(card_.garbled.empty());
  EXPECT_TRUE(card_.garbled.back());
  EXPECT_EQ(record_.receivedBytes(), toBytes("#DEVTYPE\r"));  // the record keeps what was sent

  line_->transmit(toBytes("#DEVTYPE DVITOSDI\r"), Millis(0), Millis(0));
  const std::string seen = hostReads();
  ASSERT_EQ(seen.size(), 18u);
  EXPECT_EQ(seen.find_first_of("#=*~.\r"), std::string::npos);
  EXPECT_TRUE(record_.hasEvent("rate 9600"));

  // Once the card runs at the host's rate, the bytes are clean again.
  card_.rate = 9600;
  line_->transmit(toBytes("#OK\r"), Millis(0), Millis(0));
  EXPECT_EQ(hostReads(), "#OK\r");
}

TEST_F(LineOnPty, DelayedBytesLeaveInOrderAndNotEarly) {
  makeLine();
  line_->transmit(toBytes("ab"), Millis(60), Millis(0));
  line_->transmit(toBytes("cd"), Millis(0), Millis(0));  // queued behind, not before
  line_->writeDue();
  pollfd fd{slave_, POLLIN, 0};
  EXPECT_EQ(::poll(&fd, 1, 20), 0);
  EXPECT_EQ(hostReads(), "abcd");
}

TEST_F(LineOnPty, DisconnectAfterCutsTheLineAndTheHostWriteFails) {
  faults_.add("disconnect-after=3");
  bool vanished = false;
  makeLine();
  line_->onDisconnect([&] { vanished = true; });
  hostWrites("#DEVTYPE\r");
  EXPECT_TRUE(vanished);
  EXPECT_FALSE(line_->connected());
  EXPECT_EQ(std::string(card_.got.begin(), card_.got.end()), "#DE");
  EXPECT_EQ(record_.receivedBytes().size(), 3u);
  EXPECT_TRUE(record_.hasEvent("disconnect"));
  errno = 0;
  EXPECT_EQ(::write(slave_, "x", 1), -1);
  EXPECT_EQ(errno, EIO);
  line_->transmit(toBytes("late"), Millis(0), Millis(0));  // goes nowhere, no crash
}

TEST_F(LineOnPty, PacedBytesWaitForTheirWireTimeBothWays) {
  pacing_.wire = true;
  pacing_.cardTime = Millis(2);
  makeLine();
  const std::string command(115, 'x');  // 10 ms of wire at 115200 bit/s
  const auto written = Clock::now();
  hostWrites(command);
  // Stamped and held: the last byte is due one wire time after the write.
  ASSERT_TRUE(line_->nextDue().has_value());
  EXPECT_GE(*line_->nextDue(), written + Measure::byteTime(115200));
  line_->deliverAll();
  EXPECT_EQ(std::string(card_.got.begin(), card_.got.end()), command);
  EXPECT_FALSE(line_->nextDue().has_value());

  // An answer leaves after the card's time plus its own wire time.
  const auto asked = Clock::now();
  line_->transmit(toBytes("#OK\r"), Millis(0), Millis(0));
  ASSERT_TRUE(line_->nextDue().has_value());
  EXPECT_GE(*line_->nextDue(), asked + Millis(2) + Measure::byteTime(115200));
  EXPECT_EQ(hostReads(), "#OK\r");

  line_->summarize(record_);
  const double wireMs = std::chrono::duration<double, std::milli>(line_->measure().wireTime()).count();
  EXPECT_NEAR(wireMs, 119 * 0.0868, 0.01);
}

TEST_F(LineOnPty, AdapterHoldsBothWays) {
  pacing_.adapterLatency = Millis(40);
  makeLine();
  const auto written = Clock::now();
  ASSERT_EQ(::write(slave_, "#", 1), 1);
  pollfd fd{line_->fd(), POLLIN, 0};
  ::poll(&fd, 1, 1000);
  line_->readAvailable();
  ASSERT_TRUE(line_->nextDue().has_value());  // waits for its USB frame
  EXPECT_LE(*line_->nextDue(), written + Millis(2));
  line_->deliverAll();
  EXPECT_EQ(std::string(card_.got.begin(), card_.got.end()), "#");

  const auto asked = Clock::now();
  line_->transmit(toBytes("=M*"), Millis(0), Millis(0));
  EXPECT_GE(*line_->nextDue(), asked + Millis(40));
  EXPECT_EQ(hostReads(), "=M*");
}

TEST_F(LineOnPty, UnpacedLineMeasuresTooAndDisconnectStillCounts) {
  faults_.add("disconnect-after=5");
  makeLine();
  hostWrites("#DEVTYPE\r");
  EXPECT_FALSE(line_->connected());
  line_->summarize(record_);
  EXPECT_NE(line_->measure().report().find("host_bytes=5\n"), std::string::npos)
      << line_->measure().report();
  EXPECT_NE(line_->measure().report().find("paced=no\n"), std::string::npos);
}

}  // namespace
}  // namespace cardsim
