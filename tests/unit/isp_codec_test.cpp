#include "isp/codec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes messageBytes(const std::vector<IspWord> &words) {
  Bytes out;
  for (IspWord w : words) {
    out.push_back(static_cast<unsigned char>(w & 0xFF));
    out.push_back(static_cast<unsigned char>(w >> 8));
  }
  return out;
}

Bytes encode(const Bytes &data) {
  Bytes out(2 * data.size() + 4, 0xAA);
  const int n = yEncode(out.data(), data.data(), static_cast<int>(data.size()));
  EXPECT_EQ(out[n], 0) << "the uncounted NUL follows the frame";
  out.resize(n);
  return out;
}

Bytes decodeFrame(const Bytes &frame) {
  Bytes out(frame.size(), 0);
  const int n = yDecode(out.data(), frame.data() + 2,
                        static_cast<int>(frame.size()) - 3);
  out.resize(n);
  return out;
}

TEST(IspChecksum, WorkedExamples) {
  IspWord status[3] = {0x0632, 0x0000, 0};
  createChecksum(status);
  EXPECT_EQ(status[2], 0xF9CE);
  IspWord callMsg[6] = {0x3802, 0x0080, 0x0000, 0x3300, 0x0000, 0};
  createChecksum(callMsg);
  EXPECT_EQ(callMsg[5], 0x947E);
  EXPECT_TRUE(checksumOK(callMsg));
}

TEST(IspChecksum, SizesFromParameterCountAndZeroSum) {
  // Parameter count 0: three words; 15: eighteen.
  IspWord small[4] = {0x0001, 0xFFFF, 0x1234, 0x5555};
  createChecksum(small);
  EXPECT_EQ(small[2], 0x0000) << "words summing to 0 get checksum 0";
  EXPECT_EQ(small[3], 0x5555) << "nothing written past the checksum";
  IspWord big[19] = {0xF501};
  for (int k = 1; k <= 16; ++k)
    big[k] = static_cast<IspWord>(k * 0x1111);
  big[18] = 0xBEEF;
  createChecksum(big);
  EXPECT_TRUE(checksumOK(big));
  EXPECT_EQ(big[18], 0xBEEF);
  EXPECT_EQ(ispWordCount(big[0]), 18);
}

TEST(IspChecksum, AnySingleChangedWordIsDetected) {
  IspWord msg[9] = {0x6123, 1, 2, 3, 4, 5, 6, 7, 0};
  createChecksum(msg);
  for (int k = 0; k < 9; ++k) {
    IspWord changed[9];
    std::copy(msg, msg + 9, changed);
    changed[k] ^= 0x0100;
    if (k == 0) // keep the count: change only the code bits
      changed[0] = msg[0] ^ 0x0010;
    EXPECT_FALSE(checksumOK(changed)) << "word " << k;
  }
}

TEST(IspStuffing, WorkedFrames) {
  EXPECT_EQ(encode(messageBytes({0x0632, 0x0000, 0xF9CE})),
            (Bytes{0x3D, 0x47, 0x5C, 0x30, 0x2A, 0x2A, 0xF8, 0x23, 0x0D}));
  EXPECT_EQ(encode(messageBytes({0x3802, 0x0080, 0x0000, 0x3300, 0x0000,
                                 0x947E})),
            (Bytes{0x3D, 0x47, 0x2C, 0x62, 0xAA, 0x2A, 0x2A, 0x2A, 0x2A, 0x5D,
                   0x2A, 0x2A, 0xA8, 0xBE, 0x0D}));
}

TEST(IspStuffing, OnlyFiveBytesAreEscaped) {
  const std::pair<unsigned char, Bytes> cases[] = {
      {0x00, {0x2A}},       {0xFF, {0x29}},       {0x13, {0x3D, 0x7D}},
      {0xD6, {0x3D, 0x40}}, {0xDF, {0x3D, 0x49}}, {0xE0, {0x3D, 0x4A}},
      {0xE3, {0x3D, 0x4D}}};
  for (const auto &c : cases) {
    Bytes frame = encode({c.first});
    EXPECT_EQ(Bytes(frame.begin() + 2, frame.end() - 1), c.second)
        << std::hex << int(c.first);
  }
  int escaped = 0;
  for (int b = 0; b < 256; ++b)
    escaped += encode({static_cast<unsigned char>(b)}).size() == 5;
  EXPECT_EQ(escaped, 5);
}

TEST(IspStuffing, AllEscapedBodyDoublesAndNoMarkerInside) {
  const Bytes data = {0x13, 0xD6, 0xDF, 0xE0, 0xE3, 0x13};
  const Bytes frame = encode(data);
  EXPECT_EQ(frame.size(), 2 * data.size() + 3);
  for (size_t k = 2; k + 1 < frame.size(); ++k) {
    EXPECT_NE(frame[k], 0x0D);
    if (frame[k] == 0x3D) {
      EXPECT_NE(frame[k + 1], 0x47);
    }
  }
}

TEST(IspStuffing, RoundTripsRandomBodies) {
  std::mt19937 rng(7);
  for (int round = 0; round < 500; ++round) {
    Bytes data(rng() % 80);
    for (auto &b : data)
      b = static_cast<unsigned char>(rng());
    const Bytes frame = encode(data);
    ASSERT_EQ(decodeFrame(frame), data);
  }
}

TEST(IspStuffing, TrailingEscapeDecodesWithoutReadingPastTheBody) {
  // The body's last byte is an escape: its partner would be the end marker.
  const Bytes body = {0x5C, 0x3D};
  Bytes out(4, 0xAA);
  EXPECT_EQ(yDecode(out.data(), body.data(), 2), 2);
  EXPECT_EQ(out[0], 0x32);
  EXPECT_EQ(out[1], static_cast<unsigned char>(0x0D - 64 - 42));
  EXPECT_EQ(out[2], 0xAA);
}

TEST(IspPrint, WordsWithTrailingBlanks) {
  IspWord msg[3] = {0x0632, 0x0000, 0xF9CE};
  testing::internal::CaptureStdout();
  printMsg(msg);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "0x0632 0x0000 0xf9ce \n");
}

} // namespace
