#include "channel/fpga.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What the job does for a stream of request bytes, one word per event.
std::string events(const std::string &bytes) {
  FpgaRequests r;
  fpgaRequestsStart(&r);
  std::string out;
  for (char c : bytes) {
    switch (fpgaRequestsFeed(&r, static_cast<BYTE>(c))) {
    case FPGA_SEND_BYTE:
      out += "byte ";
      break;
    case FPGA_SEND_BLOCK:
      out += "block" + std::to_string(r.count) + " ";
      break;
    case FPGA_MALFORMED:
      out += std::string("bad") + static_cast<char>(r.byte) + " ";
      break;
    case FPGA_DONE:
      out += std::string("end") + static_cast<char>(r.byte) + " ";
      break;
    case FPGA_NOTHING:
      break;
    }
  }
  return out;
}

TEST(FpgaRequests, SingleBytesAndBlocks) {
  EXPECT_EQ(events("***"), "byte byte byte ");
  EXPECT_EQ(events(std::string("$$\x01\x02", 4)), "block258 ");
  EXPECT_EQ(events(std::string("$$\x00\x00*", 5)), "block0 byte ");
  EXPECT_EQ(events(std::string("$$\xFF\xFF", 4)), "block65535 ");
}

TEST(FpgaRequests, CountBytesAreNeverTakenAsRequests) {
  // The count's bytes may be any value, "*", "$" and "~" included.
  EXPECT_EQ(events("$$*$*"), "block10788 byte ");
  EXPECT_EQ(events("$$~~~S"), "block32382 endS ");
}

TEST(FpgaRequests, MalformedBlockRequestAndNoise) {
  EXPECT_EQ(events("$x*"), "badx byte ");
  // The byte after a lone "$" is consumed, even when it is a request.
  EXPECT_EQ(events("$**"), "bad* byte ");
  EXPECT_EQ(events("hello\r\n*"), "byte ");
}

TEST(FpgaRequests, EndReport) {
  EXPECT_EQ(events("*~S"), "byte endS ");
  EXPECT_EQ(events("~E"), "endE ");
  EXPECT_EQ(events("~*"), "end* ");
}

TEST(FpgaProgress, PercentShowsTwoTenthsHighAndIsCapped) {
  EXPECT_FLOAT_EQ(fpgaPercent(0, 1000), 0.2f);
  EXPECT_FLOAT_EQ(fpgaPercent(500, 1000), 50.2f);
  EXPECT_FLOAT_EQ(fpgaPercent(999, 1000), 100.0f);
  EXPECT_FLOAT_EQ(fpgaPercent(1000, 1000), 100.0f);
  // A file far beyond 700000 bytes is measured at its true size.
  EXPECT_FLOAT_EQ(fpgaPercent(700000, 1400000), 50.2f);
  EXPECT_FLOAT_EQ(fpgaPercent(0, 0), 100.0f);
}

TEST(FpgaProgress, AboutFiveThousandLinesOverTheFile) {
  // Below 5000 bytes the step is 0: a line on every pass once a byte went.
  EXPECT_FALSE(fpgaProgressDue(4999, 0, 0));
  EXPECT_TRUE(fpgaProgressDue(4999, 0, 1));
  EXPECT_TRUE(fpgaProgressDue(4999, 300, 1));
  // 152618 bytes: a line every 30 bytes.
  int lines = 0;
  for (unsigned size = 0; size <= 152618; ++size)
    while (fpgaProgressDue(152618, lines, size))
      ++lines;
  EXPECT_EQ(lines, 152618 / 30 + 1);
}

} // namespace
