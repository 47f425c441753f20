#include "Measure.h"

#include <gtest/gtest.h>

#include <sstream>

namespace cardsim {
namespace {

using std::chrono::microseconds;
using std::chrono::nanoseconds;

TEST(MeasureWire, TenBitsPerByteAtTheHostsRate) {
  EXPECT_EQ(Measure::byteTime(115200), nanoseconds(86805));
  EXPECT_EQ(Measure::byteTime(9600), nanoseconds(1041666));
  EXPECT_EQ(Measure::byteTime(0), nanoseconds(0));
  Measure measure(true, microseconds(200));
  measure.hostBytes(11520, 115200);  // one second at 115200
  measure.cardBytes(960, 9600);      // one second at 9600
  measure.cardAnswered();
  measure.cardAnswered();
  const std::string report = measure.report();
  EXPECT_NE(report.find("host_bytes=11520\ncard_bytes=960\n"), std::string::npos) << report;
  EXPECT_NE(report.find("card_ms=0.4\n"), std::string::npos) << report;  // two answers of 0.2 ms
  EXPECT_EQ(report.rfind("paced=yes\n", 0), 0u);
  EXPECT_NE(report.find("wire_limit_ms=2000.4\n"), std::string::npos) << report;
}

struct GapCase {
  const char* timeline;  // h: a host burst, H: one while the card still sends, c: an answer; after N us
  long pauseCount;
  long pauseUs;
  long overrunMaxUs;
  long spanUs;
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
    Measure measure(true, nanoseconds{0});
    Measure::Clock::time_point now{};
    std::istringstream steps(c.timeline);
    for (std::string step; steps >> step;) {
      now += microseconds(std::stol(step.substr(1)));
      if (step[0] == 'c') measure.cardWritten(now, now);
      else measure.hostBurst(now, step[0] == 'H');
    }
    EXPECT_EQ(measure.pauseCount(), c.pauseCount) << c.timeline;
    EXPECT_EQ(measure.pauses(), microseconds(c.pauseUs)) << c.timeline;
    EXPECT_EQ(measure.pauseOverrunMax(), microseconds(c.overrunMaxUs)) << c.timeline;
    EXPECT_EQ(measure.lineSpan(), microseconds(c.spanUs)) << c.timeline;
    std::vector<long> turnarounds;
    for (auto t : measure.turnarounds()) turnarounds.push_back(std::chrono::duration_cast<microseconds>(t).count());
    EXPECT_EQ(turnarounds, c.turnaroundsUs) << c.timeline;
  }
}

TEST(MeasureGaps, MedianPercentileAndMaximum) {
  Measure measure(true, nanoseconds{0});
  Measure::Clock::time_point now{};
  measure.hostBurst(now, false);
  for (int i = 1; i <= 200; ++i) {
    now += microseconds(1000);
    measure.cardWritten(now, now);
    now += microseconds(i == 200 ? 2000 : i);
    measure.hostBurst(now, false);
  }
  EXPECT_EQ(measure.turnaroundPercentile(0.5), microseconds(101));
  EXPECT_EQ(measure.turnaroundPercentile(0.99), microseconds(198));
  EXPECT_EQ(measure.turnaroundPercentile(1.0), microseconds(2000));
  EXPECT_EQ(Measure(false, nanoseconds{0}).turnaroundPercentile(0.5), nanoseconds(0));
}

}  // namespace
}  // namespace cardsim
