// The line: what crosses it at a wrong rate, how a USB adapter holds the
// card's bytes, and what the measurements make of the line's timing.
#include "Adapter.h"
#include "Line.h"
#include "Measure.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <sstream>

namespace cardsim {
namespace {

using std::chrono::microseconds;
using std::chrono::nanoseconds;

// Bytes crossing at a wrong rate are scrambled, never into a protocol marker.
TEST(Garbling, ScramblesEveryByteAndNeverMakesAMarker) {
  std::set<Byte> images;
  for (int b = 0; b < 256; ++b) {
    const Byte g = garbleByte(static_cast<Byte>(b));
    images.insert(g);
    for (char marker : std::string("#=*~$.\r")) EXPECT_NE(g, Byte(marker)) << b;
  }
  EXPECT_GT(images.size(), 200u);
}

// A chip with a 16 ms timer and 4-byte packets holds the card's bytes until a
// packet is full or the timer, counted from its first byte, runs out.
TEST(UsbAdapter, HoldsTheCardsBytesUntilAPacketIsFullOrTheTimerRunsOut) {
  const Clock::time_point t0{};
  UsbAdapter chip(Millis(16), 4);
  const std::vector<std::array<int, 3>> bytes = {
      // arrival ms, release ms, bytes already waiting that it joins
      {0, 16, 0}, {3, 16, 1}, {4, 16, 2}, {5, 5, 3}, {6, 22, 0}, {30, 46, 0},
  };
  for (const auto& [at, release, waiting] : bytes) {
    size_t joined = 99;
    EXPECT_EQ(chip.hold(t0 + Millis(at), t0, &joined), t0 + Millis(release)) << at;
    EXPECT_EQ(joined, static_cast<size_t>(waiting)) << at;
  }
  // The host's bytes leave on the next 1 ms USB frame.
  EXPECT_EQ(UsbAdapter::nextFrame(t0 + microseconds(2300)), t0 + Millis(3));
  EXPECT_EQ(UsbAdapter::nextFrame(t0 + Millis(3)), t0 + Millis(3));
}

TEST(MeasureWire, TenBitsPerByteAtTheHostsRate) {
  EXPECT_EQ(Measure::byteTime(115200), nanoseconds(86805));
  EXPECT_EQ(Measure::byteTime(9600), nanoseconds(1041666));
  Measure measure(true, microseconds(200));
  measure.hostBytes(11520, 115200);  // one second at 115200
  measure.cardBytes(960, 9600);      // one second at 9600
  measure.cardAnswered();
  measure.cardAnswered();
  const std::string report = measure.report();
  EXPECT_EQ(report.rfind("paced=yes\n", 0), 0u) << report;
  EXPECT_NE(report.find("host_bytes=11520\ncard_bytes=960\n"), std::string::npos);
  EXPECT_NE(report.find("card_ms=0.4\n"), std::string::npos);  // two answers of 0.2 ms
  EXPECT_NE(report.find("wire_limit_ms=2000.4\n"), std::string::npos);
}

// Plays `timeline` on an invented clock: "hN" the host writes N us after the
// step before, "HN" while the card is still sending, "cN" the card's answer ends.
Measure played(const std::string& timeline) {
  Measure measure(true, nanoseconds{0});
  Measure::Clock::time_point now{};
  std::istringstream steps(timeline);
  for (std::string step; steps >> step;) {
    now += microseconds(std::stol(step.substr(1)));
    if (step[0] == 'c') measure.cardWritten(now, now);
    else measure.hostBurst(now, step[0] == 'H');
  }
  return measure;
}

struct GapCase {
  const char* timeline;
  long pauseCount, pauseUs, overrunMaxUs, spanUs;
  std::vector<long> turnaroundsUs;
};

// Which gaps count as the host's turnaround and which as its protocol pauses.
TEST(MeasureGaps, TurnaroundsAndPausesOfTheHost) {
  const std::vector<GapCase> cases = {
      {"h0 c4000 h150 c4000 h50", 0, 0, 0, 8200, {150, 50}},
      // A head block's 5 ms, a length byte's 10 ms, an answer inside 1000 ms, a sleep a little short.
      {"h0 h5030 h10020 c2000 h998100 h999500", 4, 2015000, 100, 2014650, {}},
      // 5.2 ms after the command is no 5 ms pause; an answer longer than any pause hides none.
      {"h0 c4500 h700 c9000 h100", 0, 0, 0, 14300, {700, 100}},
      // The host did not wait for the rest of the answer, then wrote again without one.
      {"h0 c300 H100 h200", 0, 0, 0, 600, {}},
  };
  for (const GapCase& c : cases) {
    const Measure measure = played(c.timeline);
    std::vector<long> turnarounds;
    for (auto t : measure.turnarounds()) turnarounds.push_back(std::chrono::duration_cast<microseconds>(t).count());
    EXPECT_EQ(turnarounds, c.turnaroundsUs) << c.timeline;
    EXPECT_EQ(measure.pauseCount(), c.pauseCount) << c.timeline;
    EXPECT_EQ(measure.pauses(), microseconds(c.pauseUs)) << c.timeline;
    EXPECT_EQ(measure.pauseOverrunMax(), microseconds(c.overrunMaxUs)) << c.timeline;
    EXPECT_EQ(measure.lineSpan(), microseconds(c.spanUs)) << c.timeline;
  }
  std::string timeline = "h0";
  for (int i = 1; i <= 200; ++i) timeline += " c1000 h" + std::to_string(i == 200 ? 2000 : i);
  const Measure measure = played(timeline);
  EXPECT_EQ(measure.turnaroundPercentile(0.5), microseconds(101));
  EXPECT_EQ(measure.turnaroundPercentile(0.99), microseconds(198));
  EXPECT_EQ(measure.turnaroundPercentile(1.0), microseconds(2000));
  EXPECT_EQ(played("").turnaroundPercentile(0.5), nanoseconds(0));
}

}  // namespace
}  // namespace cardsim
