#include "channel/upload.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

TEST(ByteSum, PlainSumModulo256) {
  std::vector<BYTE> ones(128, 1);
  EXPECT_EQ(byteSum(0, ones.data(), ones.size()), 0x80);
  std::vector<BYTE> block(128, 0x10);
  block[127] = static_cast<BYTE>(0x100 - (127 * 0x10) % 0x100);
  EXPECT_EQ(byteSum(0, block.data(), block.size()), 0x00);
  const BYTE pair[] = {0xFF, 0x02};
  EXPECT_EQ(byteSum(0x10, pair, 2), 0x11);
  EXPECT_EQ(byteSum(0x42, pair, 0), 0x42);
}

long scan(const char *text, bool *ok, const char **rest = nullptr) {
  long v = -7;
  const char *p = text;
  *ok = scanDecimal(&p, &v);
  if (rest)
    *rest = p;
  return v;
}

TEST(ScanDecimal, ReadsLikeThePercentDConversion) {
  bool ok = false;
  const char *rest = nullptr;
  EXPECT_EQ(scan("  42,7", &ok, &rest), 42);
  EXPECT_TRUE(ok);
  EXPECT_STREQ(rest, ",7");
  EXPECT_EQ(scan("-15x", &ok), -15);
  EXPECT_EQ(scan("+0", &ok), 0);
  EXPECT_TRUE(ok);
}

TEST(ScanDecimal, NoNumberLeavesValueAndPosition) {
  for (const char *text : {"", "   ", "x1", "-", "+ 3", "--3"}) {
    bool ok = true;
    const char *rest = nullptr;
    EXPECT_EQ(scan(text, &ok, &rest), -7) << text;
    EXPECT_FALSE(ok) << text;
    EXPECT_EQ(rest, text) << text;
  }
}

TEST(ScanDecimal, HugeNumbersAreHeldAtTheLimits) {
  bool ok = false;
  EXPECT_EQ(scan("123456789012345678901234567890", &ok), LONG_MAX);
  EXPECT_EQ(scan("-123456789012345678901234567890", &ok), LONG_MIN);
}

} // namespace
