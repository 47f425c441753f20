#include "channel/gamma.h"
#include "channel/upload.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Fed {
  GammaLine kind;
  short r, g, b;
};

// Feeds one line to a fresh table and returns what it stored.
Fed feedOne(const char *line) {
  static GammaTable table;
  gammaTableStart(&table);
  GammaLine kind = gammaTableFeedLine(&table, line);
  return {kind, table.vecteur_binaire[0], table.vecteur_binaire[1],
          table.vecteur_binaire[2]};
}

void expectValues(const char *line, short r, short g, short b) {
  Fed f = feedOne(line);
  EXPECT_EQ(f.kind, GAMMA_LINE_STORED) << line;
  EXPECT_EQ(f.r, r) << line;
  EXPECT_EQ(f.g, g) << line;
  EXPECT_EQ(f.b, b) << line;
}

TEST(GammaTableLine, AnyOneSeparatorBetweenTheValues) {
  expectValues("12,34,56\n", 12, 34, 56);
  expectValues("12;34;56\r\n", 12, 34, 56);
  expectValues("12, 34, 56\n", 12, 34, 56);
  expectValues("12 34 56", 12, 34, 56);
  expectValues("  12,\t34,   56\n", 12, 34, 56);
  expectValues("+12,0,1023\n", 12, 0, 1023);
}

TEST(GammaTableLine, MissingOrUnreadableFieldsAreZero) {
  expectValues("12,34\n", 12, 34, 0);
  expectValues("12\n", 12, 0, 0);
  expectValues("\n", 0, 0, 0);
  expectValues("", 0, 0, 0);
  expectValues("red,green,blue\n", 0, 0, 0);
  // Two separators in a row: the second is no number, so the rest is 0.
  expectValues("12,,34,56\n", 12, 0, 0);
  // Exactly one character is skipped after a number, a blank included.
  expectValues("12 ,34,56\n", 12, 0, 0);
}

TEST(GammaTableLine, OnlyALeadingPercentMakesAComment) {
  EXPECT_EQ(feedOne("% red green blue\n").kind, GAMMA_LINE_COMMENT);
  EXPECT_EQ(feedOne("%\n").kind, GAMMA_LINE_COMMENT);
  expectValues(" % 1,2,3\n", 0, 0, 0);
}

TEST(GammaTableLine, ValuesOutsideTenBitsAreRefused) {
  for (const char *line : {"1024,0,0\n", "0,-1,0\n", "0,0,65536\n",
                           "0,0,99999999999999999999999\n",
                           "-99999999999999999999999,0,0\n"})
    EXPECT_EQ(feedOne(line).kind, GAMMA_LINE_OUT_OF_RANGE) << line;
  expectValues("1023,1023,1023\n", 1023, 1023, 1023);
}

TEST(GammaTable, FillsInFileOrderAndCountsBeyondTheTable) {
  GammaTable table;
  gammaTableStart(&table);
  EXPECT_EQ(gammaTableFeedLine(&table, "%header\n"), GAMMA_LINE_COMMENT);
  for (int k = 0; k < GAMMA_LINES + 3; ++k) {
    std::string line = std::to_string(k % 1024) + "," + std::to_string(1) + "," +
                       std::to_string(1023 - k % 1024) + "\n";
    ASSERT_EQ(gammaTableFeedLine(&table, line.c_str()), GAMMA_LINE_STORED);
  }
  EXPECT_EQ(table.lines, GAMMA_LINES + 3);
  EXPECT_EQ(table.vecteur_binaire[0], 0);
  EXPECT_EQ(table.vecteur_binaire[2], 1023);
  EXPECT_EQ(table.vecteur_binaire[3 * 1023], 1023);
  EXPECT_EQ(table.vecteur_binaire[3 * 1023 + 2], 0);
}

TEST(GammaTable, ValuesGoOutHighByteFirst) {
  BYTE b[2];
  gammaValueBytes(1023, b);
  EXPECT_EQ(b[0], 0x03);
  EXPECT_EQ(b[1], 0xFF);
  gammaValueBytes(256, b);
  EXPECT_EQ(b[0], 0x01);
  EXPECT_EQ(b[1], 0x00);
}

// The sum of the 6144 data bytes, as the job computes it.
BYTE tableSum(const std::vector<short> &values) {
  BYTE sum = 0;
  for (short v : values) {
    BYTE b[2];
    gammaValueBytes(v, b);
    sum = byteSum(sum, b, 2);
  }
  return sum;
}

TEST(GammaTable, SumWrapsOverTheDataBytes) {
  EXPECT_EQ(tableSum(std::vector<short>(GAMMA_VALUES, 0)), 0x00);
  EXPECT_EQ(tableSum(std::vector<short>(GAMMA_VALUES, 1)), 0x00);
  std::vector<short> one(GAMMA_VALUES, 0);
  one[1234] = 1023;
  EXPECT_EQ(tableSum(one), 0x02);
}

} // namespace
