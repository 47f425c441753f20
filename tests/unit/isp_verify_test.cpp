#include "isp/verify.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A Read Block answer carrying `words`.
std::vector<IspWord> answer(const std::vector<IspWord> &words) {
  std::vector<IspWord> a(30, 0);
  a[0] = static_cast<IspWord>(((words.size() - 1) << 12) | 0x73A);
  for (size_t k = 0; k < words.size(); ++k)
    a[k + 1] = words[k];
  return a;
}

TEST(VerifyCompare, CountsDifferingWordsNotBytes) {
  std::vector<unsigned char> image(32);
  for (int k = 0; k < 32; ++k)
    image[k] = static_cast<unsigned char>(k);
  std::vector<IspWord> same;
  for (int k = 0; k < 16; ++k)
    same.push_back(static_cast<IspWord>(image[2 * k] | image[2 * k + 1] << 8));
  EXPECT_EQ(countMismatches(answer(same).data(), image.data(), 0, 32), 0u);

  auto oneByte = same;
  oneByte[3] ^= 0x0100;
  EXPECT_EQ(countMismatches(answer(oneByte).data(), image.data(), 0, 32), 1u);
  auto bothBytes = same;
  bothBytes[3] ^= 0xFFFF;
  bothBytes[15] ^= 0x0001;
  EXPECT_EQ(countMismatches(answer(bothBytes).data(), image.data(), 0, 32), 2u);
}

TEST(VerifyCompare, WordsPastTheFileAreNotComparedAndOddTailUsesItsOneByte) {
  // 5-byte file: words at 0, 2 whole; word at 4 has only its low byte.
  std::vector<unsigned char> image = {1, 2, 3, 4, 5, 0xFF, 0xFF, 0xFF};
  std::vector<IspWord> read(16, 0xABCD);
  read[0] = 0x0201;
  read[1] = 0x0403;
  read[2] = 0x7705; // high byte lies past the file
  EXPECT_EQ(countMismatches(answer(read).data(), image.data(), 0, 5), 0u);
  read[2] = 0x7706;
  EXPECT_EQ(countMismatches(answer(read).data(), image.data(), 0, 5), 1u);
}

TEST(VerifyCompare, WordsNeededCoversOnlyTheFile) {
  EXPECT_EQ(wordsNeeded(0, 64), 16);
  EXPECT_EQ(wordsNeeded(32, 64), 16);
  EXPECT_EQ(wordsNeeded(32, 37), 3);
  EXPECT_EQ(wordsNeeded(32, 38), 3);
  EXPECT_EQ(blockWords(0xF73A), 16);
  EXPECT_EQ(blockWords(0x073A), 1);
}

} // namespace
