// How a USB adapter holds the card's bytes, and what the measurements make
// of the line's timing.
#include "Line.h"
#include "Adapter.h"
#include "Measure.h"

#include <gtest/gtest.h>

#include <sstream>

namespace cardsim {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// A chip with a 16 ms timer and 4-byte packets holds the card's bytes until a
// packet is full or the timer, counted from its first byte, runs out.
TEST(UsbAdapter, HoldsTheCardsBytesUntilAPacketIsFullOrTheTimerRunsOut) {
  const Clock::time_point t0{};
  UsbAdapter chip(Millis(16), 4);
  const struct {
    int at, release; // the byte's arrival and its release, ms
    size_t waiting;  // bytes already waiting that it joins
  } bytes[] = {
      {.at = 0, .release = 16, .waiting = 0}, {.at = 3, .release = 16, .waiting = 1},
      {.at = 4, .release = 16, .waiting = 2}, {.at = 5, .release = 5, .waiting = 3},
      {.at = 6, .release = 22, .waiting = 0}, {.at = 30, .release = 46, .waiting = 0},
  };
  for (const auto &[at, release, waiting] : bytes) {
    size_t joined = 99;
    EXPECT_EQ(chip.hold(t0 + Millis(at), t0, &joined), t0 + Millis(release)) << at;
    EXPECT_EQ(joined, waiting) << at;
  }
  EXPECT_EQ(UsbAdapter::nextFrame(t0 + microseconds(2300)), t0 + Millis(3));
  EXPECT_EQ(UsbAdapter::nextFrame(t0 + Millis(3)), t0 + Millis(3));
}

// Every "key=value" line of `lines` is a line of the measurements' report.
void expectReportHas(const Measure &measure, const std::string &lines) {
  const std::string report = "\n" + measure.report();
  std::istringstream expected(lines);
  for (std::string line; std::getline(expected, line);)
    EXPECT_NE(report.find("\n" + line + "\n"), std::string::npos) << line << report;
}

TEST(MeasureWire, TenBitsPerByteAtTheHostsRate) {
  Measure measure(true, microseconds(200));
  measure.hostBytes(11520, 115200); // one second at 115200
  measure.cardBytes(960, 9600);     // one second at 9600
  measure.cardAnswered(nanoseconds{0});
  measure.cardAnswered(milliseconds(5)); // an EEPROM's write cycle, say
  expectReportHas(measure,
                  "paced=yes\nhost_bytes=11520\ncard_bytes=960\nwire_ms=2000.0\ncard_delay_ms=5.0\n"
                  "card_ms=5.4\nwire_limit_ms=2005.4");
}

// Plays `timeline` on an invented clock: "hN" the host writes N us after the
// step before, "HN" while the card is still sending, "cN" the card's answer ends.
Measure played(const std::string &timeline) {
  Measure measure(true, nanoseconds{0});
  Measure::Clock::time_point now{};
  std::istringstream steps(timeline);
  for (std::string step; steps >> step;) {
    now += microseconds(std::stol(step.substr(1)));
    if (step[0] == 'c')
      measure.cardWritten(now, now);
    else
      measure.hostBurst(now, step[0] == 'H');
  }
  return measure;
}

TEST(MeasureGaps, TurnaroundsAndPausesOfTheHost) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"h0 c4000 h150 c4000 h50",
       "pauses=0\nline_span_ms=8.2\nexchanges=2\nturnaround_mean_us=100.0\n"
       "turnaround_max_us=150.0"},
      // A head block's 5 ms, a length byte's 10 ms, an answer inside 1000 ms, a sleep a little
      // short.
      {"h0 h5030 h10020 c2000 h998100 h999500",
       "pauses=4\npause_ms=2015\npause_overrun_max_ms=0.10\nexchanges=0"},
      // 5.2 ms after the command is no 5 ms pause; an answer longer than any pause hides none.
      {"h0 c4500 h700 c9000 h100",
       "pauses=0\nline_span_ms=14.3\nexchanges=2\nturnaround_mean_us=400.0"},
      // The host did not wait for the rest of the answer, then wrote again without one.
      {"h0 c300 H100 h200", "pauses=0\nline_span_ms=0.6\nexchanges=0"},
      {"", "turnaround_median_us=0.0"},
  };
  for (const auto &[timeline, lines] : cases)
    expectReportHas(played(timeline), lines);
  std::string timeline = "h0";
  for (int i = 1; i <= 200; ++i)
    timeline += " c1000 h" + std::to_string(i == 200 ? 2000 : i);
  expectReportHas(played(timeline),
                  "turnaround_median_us=101.0\nturnaround_p99_us=198.0\nturnaround_max_us=2000.0");
}

} // namespace
} // namespace cardsim
