#include "Measure.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// A host and a card trading bytes on an invented clock.
struct Timeline {
  Measure measure{true, nanoseconds{0}};
  Measure::Clock::time_point now{};

  void host(microseconds after, bool cardSending = false) {
    now += after;
    measure.hostBurst(now, cardSending);
  }
  void card(microseconds after) {
    now += after;
    measure.cardWritten(now, now);
  }
};

TEST(MeasureWire, TenBitsPerByteAtTheHostsRate) {
  EXPECT_EQ(Measure::byteTime(115200), nanoseconds(86805));
  EXPECT_EQ(Measure::byteTime(9600), nanoseconds(1041666));
  EXPECT_EQ(Measure::byteTime(0), nanoseconds(0));

  Measure measure(true, microseconds(200));
  measure.hostBytes(11520, 115200);  // one second at 115200
  measure.cardBytes(960, 9600);      // one second at 9600
  EXPECT_NEAR(std::chrono::duration<double>(measure.wireTime()).count(), 2.0, 1e-4);
  measure.cardAnswered();
  measure.cardAnswered();
  const std::string report = measure.report();
  EXPECT_NE(report.find("paced=yes\n"), std::string::npos);
  EXPECT_NE(report.find("host_bytes=11520\ncard_bytes=960\n"), std::string::npos);
  EXPECT_NE(report.find("card_ms=0.4\n"), std::string::npos);  // two answers of 0.2 ms
  EXPECT_NE(report.find("wire_limit_ms=2000.4\n"), std::string::npos) << report;
}

TEST(MeasureGaps, TurnaroundRunsFromTheAnswersLastByteToTheNextCommand) {
  Timeline t;
  t.host(microseconds(0));
  t.card(microseconds(4000));  // the command's and the answer's wire time
  t.host(microseconds(150));
  t.card(microseconds(4000));
  t.host(microseconds(50));
  ASSERT_EQ(t.measure.turnarounds().size(), 2u);
  EXPECT_EQ(t.measure.turnarounds()[0], microseconds(150));
  EXPECT_EQ(t.measure.turnarounds()[1], microseconds(50));
  EXPECT_EQ(t.measure.pauseCount(), 0);
  EXPECT_EQ(t.measure.lineSpan(), microseconds(8200));
}

TEST(MeasureGaps, PausesBetweenTheHostsOwnBytesAndAfterShortAnswers) {
  Timeline t;
  t.host(microseconds(0));
  t.host(microseconds(5030));  // a head block's 5 ms pause, no answer between
  t.host(microseconds(10020));  // a kernel length byte's 10 ms
  t.card(microseconds(2000));   // an answer within a 1000 ms pause
  t.host(microseconds(998100));
  t.host(microseconds(999500));  // a sleep that ended a little early
  EXPECT_EQ(t.measure.pauseCount(), 4);
  EXPECT_EQ(t.measure.pauses(), milliseconds(2015));
  EXPECT_EQ(t.measure.pauseOverrunMax(), microseconds(100));
  EXPECT_TRUE(t.measure.turnarounds().empty());
}

TEST(MeasureGaps, ASlowExchangeIsNoPauseAndAPauseHiddenByTheAnswerIsNone) {
  Timeline t;
  t.host(microseconds(0));
  t.card(microseconds(4500));  // answer done 4.5 ms after the command
  t.host(microseconds(700));   // 5.2 ms after the command: not a 5 ms pause
  t.card(microseconds(9000));  // an answer longer than any pause that fits
  t.host(microseconds(100));
  EXPECT_EQ(t.measure.pauseCount(), 0);
  ASSERT_EQ(t.measure.turnarounds().size(), 2u);
  EXPECT_EQ(t.measure.turnarounds()[0], microseconds(700));
  EXPECT_EQ(t.measure.turnarounds()[1], microseconds(100));
}

TEST(MeasureGaps, NoSampleWhileTheCardIsStillSendingOrWithoutAnAnswer) {
  Timeline t;
  t.host(microseconds(0));
  t.card(microseconds(300));
  t.host(microseconds(100), true);  // the host did not wait for the rest
  t.host(microseconds(200));        // and wrote again without an answer
  EXPECT_TRUE(t.measure.turnarounds().empty());
  EXPECT_EQ(t.measure.pauseCount(), 0);
}

TEST(MeasureGaps, MedianPercentileAndMaximum) {
  Timeline t;
  t.host(microseconds(0));
  for (int i = 1; i <= 200; ++i) {
    t.card(microseconds(1000));
    t.host(microseconds(i == 200 ? 2000 : i));
  }
  EXPECT_EQ(t.measure.turnaroundPercentile(0.5), microseconds(101));
  EXPECT_EQ(t.measure.turnaroundPercentile(0.99), microseconds(198));
  EXPECT_EQ(t.measure.turnaroundPercentile(1.0), microseconds(2000));
  EXPECT_EQ(Measure(false, nanoseconds{0}).turnaroundPercentile(0.5), nanoseconds(0));
}

}  // namespace
}  // namespace cardsim
