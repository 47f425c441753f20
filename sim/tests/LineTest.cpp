#include "Adapter.h"
#include "Line.h"

#include <gtest/gtest.h>

#include <set>

namespace cardsim {
namespace {

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

TEST(UsbAdapter, HoldsTheCardsBytesUntilAPacketIsFullOrTheTimerRunsOut) {
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
  EXPECT_EQ(UsbAdapter::nextFrame(t0 + std::chrono::microseconds(2300)), t0 + Millis(3));
  EXPECT_EQ(UsbAdapter::nextFrame(t0 + Millis(3)), t0 + Millis(3));
}

}  // namespace
}  // namespace cardsim
