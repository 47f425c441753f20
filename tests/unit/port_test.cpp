#include "link/port.h"

#include <gtest/gtest.h>

namespace {

std::string printedTime(DWORD begin, int all) {
  testing::internal::CaptureStdout();
  printTime(begin, all);
  return testing::internal::GetCapturedStdout();
}

TEST(ElapsedTime, MinutesAndSecondsAtTheirBoundaries) {
  const DWORD now = GetTickCount();
  EXPECT_EQ(printedTime(now - 61000, 1), "\nTotal Time : 1 minutes 1 seconds\n");
  EXPECT_EQ(printedTime(now - 60000, 0), "\nTime : 1 minutes 0 seconds\n");
  EXPECT_EQ(printedTime(now - 59999 + 500, 0), "\nTime : 0 minutes 59 seconds\n");
}

TEST(ElapsedTime, CountsAcrossTheWrapOfTheTickCounter) {
  EXPECT_EQ(elapsedMs(0xFFFFFF00u, 0x00000100u), 0x200u);
  EXPECT_EQ(elapsedMs(0xFFFFFFFFu, 59999u), 60000u);
  EXPECT_EQ(elapsedMs(5u, 5u), 0u);
}

TEST(Deadline, PassedOnlyAfterItsTick) {
  EXPECT_TRUE(pastDeadline(GetTickCount() - 1));
  EXPECT_FALSE(pastDeadline(GetTickCount() + 1000));
  // A deadline far ahead stays ahead even when its number is smaller than
  // the tick (it wrapped when it was taken).
  EXPECT_FALSE(pastDeadline(GetTickCount() + 0x70000000u));
}

} // namespace
