// The check of the MICRO job's file set before anything goes to the card.
#include "boot/microFiles.h"

#include "../support/motFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace {

using motfiles::HEAD_SIZE;

class MicroFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = motfiles::makeTempDir();
    ASSERT_NE(getcwd(home, sizeof home), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    motfiles::writeKernels(".");
  }
  void TearDown() override {
    ASSERT_EQ(chdir(home), 0);
    motfiles::shell("rm -rf " + dir);
  }
  void writeMot(const std::string &text) { motfiles::writeFile("appMain.mot", text); }
  // microFilesUsable's verdict; `said` receives what it printed.
  bool usable(std::string *said) {
    testing::internal::CaptureStdout();
    const bool ok = microFilesUsable();
    *said = testing::internal::GetCapturedStdout();
    return ok;
  }
  std::string refusal() {
    std::string said;
    EXPECT_FALSE(usable(&said));
    return said;
  }
  std::string goodMot(size_t bodySize = 1000) {
    return motfiles::objcopyMot(dir, motfiles::pattern(HEAD_SIZE, 1),
                                motfiles::pattern(bodySize, 2));
  }
  std::string dir;
  char home[4096];
};

// Replaces character `column` of line `line` (both from 1) of `text`.
std::string withChar(std::string text, int line, size_t column, char c) {
  size_t at = 0;
  for (int n = 1; n < line; ++n)
    at = text.find('\n', at) + 1;
  text[at + column - 1] = c;
  return text;
}

TEST_F(MicroFiles, FilesFromObjcopyAndSrecCatAreAccepted) {
  std::string said;
  writeMot(goodMot());
  EXPECT_TRUE(usable(&said));
  EXPECT_EQ(said, "");
  writeMot(motfiles::srecCatMot(dir, motfiles::pattern(HEAD_SIZE, 3),
                                motfiles::pattern(262144, 4)));
  EXPECT_TRUE(usable(&said)) << said;
  // Records of 32 bytes also fill the head's blocks exactly.
  writeMot(motfiles::objcopyMot(dir, motfiles::pattern(HEAD_SIZE, 1),
                                motfiles::pattern(77, 2), 32));
  EXPECT_TRUE(usable(&said)) << said;
}

TEST_F(MicroFiles, MalformedRecordsAreRefusedWithTheirLine) {
  const std::string good = goodMot();
  // Line 1 is objcopy's S0 header; line 3 is the second head record.
  writeMot(withChar(good, 3, 20, good[good.find('\n', good.find('\n') + 1) + 20] == '0' ? '1' : '0'));
  EXPECT_EQ(refusal(), "\nBad appMain.mot file, line 3: record checksum is wrong. "
                       "Nothing was sent to the card.\n");
  writeMot(withChar(good, 5, 1, 'X'));
  EXPECT_NE(refusal().find("line 5: record does not start with S"), std::string::npos);
  writeMot(withChar(good, 4, 12, 'a'));
  EXPECT_NE(refusal().find("line 4: character other than 0-9 or A-F"), std::string::npos);
  const size_t end = good.find_first_of("\r\n");
  writeMot(good.substr(0, end) + "0" + good.substr(end));
  EXPECT_NE(refusal().find("line 1: record has an odd number"), std::string::npos);
  writeMot("S3" + std::string(240, '0') + "\n" + good);
  EXPECT_NE(refusal().find("line 1: record longer than 219 characters"), std::string::npos);
  // A count that does not match the record's length.
  writeMot("S3070000000000F8\n" + good);
  EXPECT_NE(refusal().find("line 1: record count does not match"), std::string::npos);
  // objcopy writes S1 records for low addresses without --srec-forceS3:
  // their data would be skipped.
  writeMot(motfiles::objcopySrec(dir, motfiles::pattern(HEAD_SIZE, 1), 0, 16, false) + good);
  EXPECT_NE(refusal().find("line 2: S1 or S2 data record"), std::string::npos);
}

TEST_F(MicroFiles, TheHeadMustFillItsBlocksAndTheBodyNeedsAStopRecordAndRoom) {
  // 24-byte records cross the head's 128-byte blocks.
  writeMot(motfiles::objcopyMot(dir, motfiles::pattern(HEAD_SIZE, 1),
                                motfiles::pattern(100, 2), 24));
  EXPECT_NE(refusal().find("line 7: record crosses a 128-byte block"), std::string::npos);
  // A head of 1008 bytes: the stop record comes first.
  writeMot(motfiles::objcopySrec(dir, motfiles::pattern(HEAD_SIZE - 16, 1), 0, 16) +
           motfiles::objcopySrec(dir, std::string(4, '\0'), motfiles::STOP_ADDRESS, 16));
  EXPECT_NE(refusal().find("stop record before the first 1024 bytes"), std::string::npos);
  // Only a head.
  writeMot(motfiles::objcopySrec(dir, motfiles::pattern(512, 1), 0, 16));
  EXPECT_EQ(refusal(), "\nBad appMain.mot file: the S3 data does not fill the first 1024 bytes. "
                       "Nothing was sent to the card.\n");
  // No stop record.
  const std::string good = goodMot();
  writeMot(good.substr(0, good.rfind("S0")));
  EXPECT_NE(refusal().find("no stop record"), std::string::npos);
  // A body of 256 KiB and 16 bytes.
  writeMot(goodMot(262144 + 16));
  EXPECT_NE(refusal().find("exceeds 262144 bytes"), std::string::npos);
}

TEST_F(MicroFiles, KernelsMustBePresentAndAtMost4000Bytes) {
  writeMot(goodMot());
  std::string said;
  motfiles::writeFile("Genm7144.cde", std::string(4000, 'k'));
  EXPECT_TRUE(usable(&said)) << said;
  motfiles::writeFile("Genm7144.cde", std::string(4001, 'k'));
  EXPECT_EQ(refusal(), "\nBad kernel file Genm7144.cde: larger than 4000 bytes. "
                       "Nothing was sent to the card.\n");
  motfiles::writeFile("Genm7144.cde", "");
  EXPECT_NE(refusal().find("Genm7144.cde: empty"), std::string::npos);
  motfiles::writeFile("Genm7144.cde", "k");
  unlink("Genw7144.cde");
  EXPECT_NE(refusal().find("Genw7144.cde: missing"), std::string::npos);
  unlink("appMain.mot");
  EXPECT_NE(refusal().find("appMain.mot file: cannot be opened"), std::string::npos);
}

TEST(MotCheck, StopRecordInsideTheBodyEndsIt) {
  MotCheck check;
  check.stage = MotCheck::BODY;
  EXPECT_EQ(checkMotRecord(check, "S309FFFF000000000000F8", false), nullptr);
  EXPECT_EQ(check.stage, MotCheck::AFTER_STOP);
  EXPECT_EQ(checkMotEnd(check), nullptr);
  // Records after the stop record are still checked for their form.
  EXPECT_NE(checkMotRecord(check, "S309FFFF000000000000F9", false), nullptr);
}

} // namespace
