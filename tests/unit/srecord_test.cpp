// The S-record readers of appMain.mot and the two-digit hex conversion.
#include "boot/FDT.h"
#include "boot/util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

unsigned char hexOf(const char *text) {
  unsigned char value = 0xAB;
  strHexTolong(&value, text);
  return value;
}

TEST(StrHexTolong, UpperCaseDigitsOnlyAndAtMostTwo) {
  EXPECT_EQ(hexOf("F0"), 240);
  EXPECT_EQ(hexOf("FF"), 255);
  EXPECT_EQ(hexOf("09"), 9);
  EXPECT_EQ(hexOf("123"), 0x12);
  // Lower case, the terminator and the characters between 9 and A end the
  // conversion; the value reached so far stands.
  EXPECT_EQ(hexOf("1f"), 1);
  EXPECT_EQ(hexOf("a5"), 0);
  EXPECT_EQ(hexOf("7"), 7);
  EXPECT_EQ(hexOf(""), 0);
  EXPECT_EQ(hexOf("9:"), 9);
  EXPECT_EQ(hexOf("@1"), 0);
  EXPECT_EQ(hexOf("G1"), 0);
}

// An S3 record of `data` at `address`, with its count and checksum.
std::string s3(uint32_t address, const std::vector<unsigned> &data) {
  std::vector<unsigned> bytes = {static_cast<unsigned>(data.size() + 5), address >> 24,
                                 (address >> 16) & 0xFF, (address >> 8) & 0xFF, address & 0xFF};
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  std::string line = "S3";
  char pair[3];
  for (unsigned b : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", b & 0xFF);
    line += pair;
    sum += b;
  }
  std::snprintf(pair, sizeof pair, "%02X", ~sum & 0xFF);
  return line + pair + "\n";
}

std::vector<unsigned> run(unsigned first, unsigned n) {
  std::vector<unsigned> v;
  for (unsigned i = 0; i < n; ++i)
    v.push_back((first + i) & 0xFF);
  return v;
}

// A stream over `text`, as the flash write opens appMain.mot.
struct TextFile {
  FILE *fd;
  explicit TextFile(const std::string &text) : fd(std::tmpfile()) {
    std::fputs(text.c_str(), fd);
    std::rewind(fd);
  }
  ~TextFile() { std::fclose(fd); }
};

class Readers : public ::testing::Test {
 protected:
  void SetUp() override {
    checkReadLine = 0;
    EndReading = 0;
  }
  // Calls readline16 `calls` times, returning what it printed.
  std::string head(FILE *fd, unsigned char *Data, int calls) {
    testing::internal::CaptureStdout();
    for (int n = 0; n < calls; ++n)
      readline16(fd, Data);
    return testing::internal::GetCapturedStdout();
  }
  std::string body(FILE *fd, unsigned char *DataBlock, uint32_t *length, int calls) {
    testing::internal::CaptureStdout();
    for (int n = 0; n < calls; ++n)
      readblock(fd, DataBlock, length);
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(Readers, EightRecordsOfSixteenMakeABlockInFileOrderWhateverTheAddresses) {
  std::string text = "S00600004844521B\n";
  // Addresses out of order and jumping: only the file order counts.
  const uint32_t addresses[] = {0x100, 0x000, 0x7770, 0x10, 0x20, 0x30, 0x40, 0x50};
  for (unsigned r = 0; r < 8; ++r)
    text += s3(addresses[r], run(r * 16, 16));
  TextFile file(text);
  unsigned char Data[HEAD_BLOCK_BUFFER] = {};
  EXPECT_EQ(head(file.fd, Data, 8), ""); // the S0 header is skipped silently
  EXPECT_EQ(checkReadLine, 0);
  EXPECT_EQ(head(file.fd, Data, 1), "");
  EXPECT_EQ(checkReadLine, 1);
  for (unsigned i = 0; i < 128; ++i)
    ASSERT_EQ(Data[i], i) << i;
}

TEST_F(Readers, FourRecordsOfThirtyTwoAndEmptyRecordsMakeABlock) {
  std::string text;
  for (unsigned r = 0; r < 4; ++r)
    text += s3(0, {}) + s3(r * 32, run(200 + r * 32, 32)); // count 5: no data
  TextFile file(text);
  unsigned char Data[HEAD_BLOCK_BUFFER] = {};
  head(file.fd, Data, 7);
  EXPECT_EQ(checkReadLine, 0);
  head(file.fd, Data, 1);
  EXPECT_EQ(checkReadLine, 1);
  EXPECT_EQ(Data[0], 200);
  EXPECT_EQ(Data[127], (200 + 127) & 0xFF);
}

TEST_F(Readers, OtherRecordTypesGiveNoDataAndS7OnlyMarksTheEnd) {
  // S1 and S2 data records, S5 and S9: no data, no message.
  TextFile file("S1130000000102030405060708090A0B0C0D0E0F74\n"
                "S214000000000102030405060708090A0B0C0D0E0F73\n"
                "S5030001FB\nS9030000FC\nS70500000000FA\n");
  unsigned char Data[HEAD_BLOCK_BUFFER] = {};
  EXPECT_EQ(head(file.fd, Data, 4), "");
  EXPECT_EQ(EndReading, 0);
  head(file.fd, Data, 1);
  EXPECT_EQ(EndReading, 1);
  EXPECT_EQ(checkReadLine, 0);
  for (unsigned i = 0; i < 128; ++i)
    ASSERT_EQ(Data[i], 0) << i;
}

TEST_F(Readers, WordsNotStartingWithSAndTheEndOfTheFileAreReportedEveryTime) {
  TextFile file("X3150000\n");
  unsigned char Data[HEAD_BLOCK_BUFFER] = {};
  EXPECT_EQ(head(file.fd, Data, 3), "Error...File .mot corrupted"
                                    "Error...File .mot corrupted"
                                    "Error...File .mot corrupted");
  EXPECT_EQ(checkReadLine, 0);
}

TEST_F(Readers, LongLinesAndOverfullRecordsStayInsideTheBlock) {
  // A 300-character line is refused whole; nothing of it reaches the block.
  std::string text = "S315" + std::string(298, 'A') + "\n";
  // 100 + 100 data bytes: the block takes 128 and nothing past it.
  text += s3(0, run(0, 100)) + s3(0, run(100, 100));
  // A count that claims more bytes than the line holds.
  text += "S3FF00000000112233\n";
  TextFile file(text);
  unsigned char Data[HEAD_BLOCK_BUFFER + 64];
  std::fill(std::begin(Data), std::end(Data), 0xEE);
  EXPECT_EQ(head(file.fd, Data, 1), "Error...File .mot corrupted");
  EXPECT_EQ(Data[0], 0xEE);
  head(file.fd, Data, 2);
  EXPECT_EQ(checkReadLine, 1);
  EXPECT_EQ(Data[127], 127);
  for (size_t i = HEAD_BLOCK_SIZE; i < sizeof Data; ++i)
    ASSERT_EQ(Data[i], 0xEE) << i;
  // The block started afresh: the short record gives only its own bytes.
  checkReadLine = 0;
  std::fill(std::begin(Data), std::end(Data), 0xEE);
  head(file.fd, Data, 1);
  EXPECT_EQ(Data[0], 0x11);
  EXPECT_EQ(Data[2], 0x33);
  EXPECT_EQ(Data[3], 0xEE); // nothing beyond what the line held
  // Complete the block so the next test starts at position 0.
  TextFile rest(s3(0, run(0, 96)) + s3(0, run(0, 30)));
  head(rest.fd, Data, 2);
  EXPECT_EQ(checkReadLine, 1);
}

TEST_F(Readers, StopRecordEndsTheBodyWithoutItsData) {
  std::string text;
  for (unsigned r = 0; r < 62; ++r)
    text += s3(0x800 + r * 16, run(r, 16));
  text += s3(0xBE0, run(7, 8));                          // 1000 bytes in all
  text += "S70500000000FA\n";                            // does not end the body
  text += s3(0xFFFF8000, {0xA1, 0xA2, 0xA3, 0xA4});      // stop record
  TextFile file(text);
  std::vector<unsigned char> DataBlock(BODY_BUFFER_SIZE, 0xEE);
  uint32_t BlockLength = 0;
  EXPECT_EQ(body(file.fd, DataBlock.data(), &BlockLength, 64), "");
  EXPECT_EQ(checkReadLine, 0);
  EXPECT_EQ(EndReading, 1);
  body(file.fd, DataBlock.data(), &BlockLength, 1);
  EXPECT_EQ(checkReadLine, 1);
  EXPECT_EQ(BlockLength, 1000u);
  EXPECT_EQ(DataBlock[999], 14);
  EXPECT_EQ(DataBlock[1000], 0xEE);
}

TEST_F(Readers, ShortRecordsAndOversizedBodiesNeitherCountNorOverflow) {
  // Count 3 (below the address length) and count 5: no data, no change.
  TextFile small("S30300FC\n" + s3(0x800, {}) + s3(0xFFFF0000, {}));
  std::vector<unsigned char> DataBlock(BODY_BUFFER_SIZE + 64, 0xEE);
  uint32_t BlockLength = 0;
  body(small.fd, DataBlock.data(), &BlockLength, 3);
  EXPECT_EQ(BlockLength, 0u);
  EXPECT_EQ(checkReadLine, 1);

  // 256 KiB and 16 bytes before the stop record: the buffer takes 256 KiB.
  checkReadLine = 0;
  FILE *fd = std::tmpfile();
  for (uint32_t r = 0; r < BODY_BUFFER_SIZE / 16 + 1; ++r)
    std::fputs(s3(0x800 + r * 16, run(r, 16)).c_str(), fd);
  std::fputs(s3(0xFFFF0000, {0}).c_str(), fd);
  std::rewind(fd);
  while (checkReadLine != 1)
    readblock(fd, DataBlock.data(), &BlockLength);
  std::fclose(fd);
  EXPECT_EQ(BlockLength, BODY_BUFFER_SIZE);
  for (size_t i = BODY_BUFFER_SIZE; i < DataBlock.size(); ++i)
    ASSERT_EQ(DataBlock[i], 0xEE) << i;
}

} // namespace
