// appMain.mot: the boot-mode run's S-record readers, and the check of the
// MICRO job's file set made before anything goes to the card.
#include "boot/srecord.h"
#include "boot/microFiles.h"

#include "../support/motFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

namespace {

// An S3 record of `data` at `address`, with its count and checksum.
std::string s3(uint32_t address, const std::vector<unsigned> &data) {
  std::vector<unsigned> bytes = {static_cast<unsigned>(data.size() + 5), address >> 24,
                                 address >> 16, address >> 8, address};
  bytes.insert(bytes.end(), data.begin(), data.end());
  bytes.push_back(~std::accumulate(bytes.begin(), bytes.end(), 0u));
  std::string line = "S3";
  char pair[3];
  for (unsigned b : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", b & 0xFF);
    line += pair;
  }
  return line + "\n";
}

std::vector<unsigned> run(unsigned first, unsigned n) {
  std::vector<unsigned> v(n);
  std::iota(v.begin(), v.end(), first);
  return v;
}

// `n` bytes (0, 1, 2, ...) from `address` in records of `size` bytes.
std::string records(uint32_t address, unsigned n, unsigned size = 16) {
  std::string text;
  for (unsigned at = 0; at < n; at += size)
    text += s3(address + at, run(at, std::min(size, n - at)));
  return text;
}

const std::string STOP = s3(0xFFFF0000, {0, 0, 0, 0});

std::string mot(unsigned bodyBytes, unsigned size = 16) {
  return records(0, HEAD_AREA_SIZE, size) + records(0x800, bodyBytes, size) + STOP;
}

TEST(Readers, S3RecordsFillTheHeadBlockInFileOrderWhateverTheAddresses) {
  // The S0 header, S1 and S2 data records, S5, S9 and an empty S3 record
  // (count 5) give no data and no message; then eight records of 16 with
  // addresses out of order; then S7, which only marks the end.
  std::string text = "S00600004844521B\nS1130000000102030405060708090A0B0C0D0E0F74\n"
                     "S214000000000102030405060708090A0B0C0D0E0F73\nS5030001FB\nS9030000FC\n" +
                     s3(0, {});
  const uint32_t addresses[] = {0x100, 0x000, 0x7770, 0x10, 0x20, 0x30, 0x40, 0x50};
  for (unsigned r = 0; r < 8; ++r)
    text += s3(addresses[r], run(r * 16, 16));
  FILE *fd = std::tmpfile();
  std::fputs((text + "S70500000000FA\nX3150000\n").c_str(), fd);
  std::rewind(fd);
  unsigned char Data[HEAD_BLOCK_BUFFER] = {};
  // Calls readHeadRecord `calls` times, returning what it printed.
  const auto head = [&](int calls) {
    testing::internal::CaptureStdout();
    while (calls-- > 0)
      readHeadRecord(fd, Data);
    return testing::internal::GetCapturedStdout();
  };
  blockReady = endRecordRead = 0;
  EXPECT_EQ(head(13), "");
  EXPECT_EQ(blockReady, 0);
  head(1);
  EXPECT_EQ(blockReady, 1);
  for (unsigned i = 0; i < HEAD_BLOCK_SIZE; ++i)
    ASSERT_EQ(Data[i], i) << i;
  EXPECT_EQ(head(1), "");
  EXPECT_EQ(endRecordRead, 1);
  // A word not starting with S, and the end of the file, every time.
  EXPECT_EQ(head(2), "Error...File .mot corruptedError...File .mot corrupted");
  std::fclose(fd);
}

std::string refused(const std::string &where, const std::string &reason) {
  return "\nBad appMain.mot file" + where + ": " + reason + ". Nothing was sent to the card.\n";
}

std::string atLine(int line, const std::string &reason) {
  return refused(", line " + std::to_string(line), reason);
}

std::string verdict(const std::string &mot) {
  motfiles::writeFile("appMain.mot", mot);
  testing::internal::CaptureStdout();
  const bool usable = microFilesUsable();
  const std::string said = testing::internal::GetCapturedStdout();
  EXPECT_EQ(usable, said.empty()) << said;
  return said;
}

// The MICRO job's check, in a fresh working directory holding the kernels.
TEST(MicroFiles, RecordsAndKernelsAreCheckedAsTheRunWillReadThem) {
  const std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path(motfiles::makeTempDir());
  const std::string head = records(0, HEAD_AREA_SIZE);
  for (const char *name : motfiles::KERNEL_NAMES)
    motfiles::writeFile(name, "k");
  const std::pair<std::string, std::string> cases[] = {
      {mot(1000), ""},
      {mot(77, 32), ""}, // records of 32 bytes also fill the head's blocks
      {"S30500000000fa\n", atLine(1, "character other than 0-9 or A-F")},
      {"S30500000000FA0\n", atLine(1, "record has an odd number of characters")},
      {"\nS3" + std::string(240, '0') + "\n", atLine(2, "record longer than 219 characters")},
      {"S3070000000000F8\n", atLine(1, "record count does not match its length")},
      {"S1130000000102030405060708090A0B0C0D0E0F74\n",
       atLine(1, "S1 or S2 data record (only S3 data is written to the flash)")},
      {mot(16) + "S30500000000FB\n", atLine(67, "record checksum is wrong")},
      {mot(100, 24), atLine(6, "record crosses a 128-byte block of the first 1024 bytes")},
      {records(0, HEAD_AREA_SIZE - 16) + STOP,
       atLine(64, "stop record before the first 1024 bytes are complete")},
      {head + records(0x800, 100),
       refused("", "no stop record (an S3 record at address FFFFxxxx)")},
      {head + records(0x800, BODY_BUFFER_SIZE, 100) + STOP, ""},
      {head + records(0x800, BODY_BUFFER_SIZE + 16, 100) + STOP, // record 2622 is too many
       atLine(64 + 2622, "data after the first 1024 bytes exceeds 262144 bytes")},
  };
  for (const auto &[text, expected] : cases)
    EXPECT_EQ(verdict(text), expected) << text.substr(0, 80);
  // A kernel of any size up to its limit.
  motfiles::writeFile("Genm7144.cde", std::string(4000, 'k'));
  EXPECT_EQ(verdict(mot(1000)), "");
  std::filesystem::remove_all(std::filesystem::current_path());
  std::filesystem::current_path(home);
}

} // namespace
