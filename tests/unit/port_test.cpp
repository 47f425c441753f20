#include "link/port.h"
#include "link/slowLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

TEST(ElapsedTime, MinutesSecondsTheTickCounterWrapAndDeadlines) {
  const DWORD now = GetTickCount();
  for (const auto &[ago, all, said] : {std::tuple{61000u, 1, "\nTotal Time : 1 minutes 1 seconds\n"},
                                       {60000u, 0, "\nTime : 1 minutes 0 seconds\n"},
                                       {59499u, 0, "\nTime : 0 minutes 59 seconds\n"}}) {
    testing::internal::CaptureStdout();
    printTime(now - ago, all);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), said);
  }
  EXPECT_EQ(elapsedMs(0xFFFFFF00u, 0x00000100u), 0x200u);
  EXPECT_EQ(elapsedMs(0xFFFFFFFFu, 59999u), 60000u);
  EXPECT_TRUE(pastDeadline(GetTickCount() - 1));
  // A deadline far ahead stays ahead though its number wrapped below the tick.
  EXPECT_FALSE(pastDeadline(GetTickCount() + 0x70000000u));
}

// The advice judges the median: a few slow exchanges (retries, a busy host)
// do not trigger it, and the threshold is strict.
TEST(SlowLineAdvice, MedianDelayBeyondFourMillisecondsOnly) {
  // Half the exchanges less one are `outlierUs` late (0: as late as the rest).
  const struct {
    long typicalUs;
    long outlierUs = 0;
    bool advised = false;
    std::string said;
  } cases[] = {
      {.typicalUs = 1500, .outlierUs = 900000, .said = ""},
      {.typicalUs = SLOW_LINE_EXCESS_US, .said = ""},
      {.typicalUs = 16000,
       .advised = true,
       .said = "each answer comes 16 ms later than the line needs, which makes this job about "
               "320% longer."},
  };
  for (const auto &[typicalUs, outlierUs, advised, said] : cases) {
    std::vector<long> excess(SLOW_LINE_SAMPLES, typicalUs), wire(SLOW_LINE_SAMPLES, 5000);
    std::fill_n(excess.begin(), SLOW_LINE_SAMPLES / 2 - 1, outlierUs ? outlierUs : typicalUs);
    testing::internal::CaptureStderr();
    EXPECT_EQ(adviseSlowLine(excess.data(), wire.data(), SLOW_LINE_SAMPLES), advised) << typicalUs;
    EXPECT_NE(testing::internal::GetCapturedStderr().find(said), std::string::npos) << typicalUs;
  }
}

// A read under the standard profile (interval and multiplier MAXDWORD) returns
// as soon as anything has arrived: else every exchange waits out its budget.
TEST(PortReads, StandardProfileReturnsWhatHasArrivedAtOnce) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  char locks[] = "/tmp/port_test.XXXXXX";
  ASSERT_NE(mkdtemp(locks), nullptr);
  setenv("UPDATER_LOCK_DIR", locks, 1);
  const std::string name = std::string("\\\\.\\") + ptsname(master);
  HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  DCB line{};
  ASSERT_TRUE(GetCommState(port, &line)); // raw bytes, as the updater sets them
  ASSERT_TRUE(SetCommState(port, &line));
  COMMTIMEOUTS profile = STANDARD_TIMEOUTS;
  profile.ReadTotalTimeoutConstant = 3000;
  ASSERT_TRUE(SetCommTimeouts(port, &profile));
  ASSERT_EQ(write(master, "#", 1), 1);
  BYTE got[10];
  DWORD n = 0;
  const DWORD begin = GetTickCount();
  EXPECT_TRUE(ReadFile(port, got, sizeof got, &n, nullptr));
  // A third of the time-out: a loaded machine keeps that margin.
  EXPECT_LT(GetTickCount() - begin, 1000u);
  EXPECT_EQ(n, 1u);
  // Nothing comes: the read waits out its total time, and returns none.
  profile.ReadTotalTimeoutConstant = 50;
  ASSERT_TRUE(SetCommTimeouts(port, &profile));
  const DWORD idle = GetTickCount();
  EXPECT_TRUE(ReadFile(port, got, sizeof got, &n, nullptr));
  EXPECT_GE(GetTickCount() - idle, 49u);
  EXPECT_EQ(n, 0u);
  // Interval MAXDWORD alone: at once, with all that is waiting.
  COMMTIMEOUTS atOnce = {MAXDWORD, 0, 0, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port, &atOnce));
  EXPECT_TRUE(ReadFile(port, got, sizeof got, &n, nullptr));
  EXPECT_EQ(n, 0u);
  ASSERT_EQ(write(master, "abc", 3), 3);
  usleep(20000);
  EXPECT_TRUE(ReadFile(port, got, sizeof got, &n, nullptr));
  EXPECT_EQ(n, 3u);
  CloseHandle(port);
  close(master);
  rmdir(locks);
}

} // namespace
