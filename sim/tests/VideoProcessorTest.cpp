#include "CardRig.h"
#include "IspFrame.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

// Sends one ISP message and returns the answer's words.
Words exchange(CardRig& rig, Word word0, const Words& parameters) {
  const Bytes frame = encodeFrame(makeMessage(word0, parameters));
  const auto answer = decodeFrame(toBytes(rig.feed(std::string(frame.begin(), frame.end()))));
  EXPECT_TRUE(answer && answer->checksumOk);
  return answer ? answer->words : Words{0, 0, 0};
}

// True when the answer is a NACK of the message with code `code`.
bool refused(const Words& answer, Word code) { return messageCode(answer[0]) == 0x002 && answer[1] == code; }

bool setModeRefused(CardRig& rig, Word mode, Word device, Word start, Word count) {
  return refused(exchange(rig, 0x5502, {mode, device, start, 0, count, 0}), 0x502);
}

bool dataBlockRefused(CardRig& rig, Byte fill) {
  return refused(exchange(rig, 0xF501, Words(16, static_cast<Word>(fill | fill << 8))), 0x501);
}

TEST(IspFrame, MatchesTheWorkedExampleAndRejectsDamage) {
  Bytes frame = encodeFrame(makeMessage(0x0632, {0}));
  EXPECT_EQ(frame, (Bytes{0x3D, 0x47, 0x5C, 0x30, 0x2A, 0x2A, 0xF8, 0x23, 0x0D}));
  frame[4] = 0x2B;
  EXPECT_FALSE(decodeFrame(frame)->checksumOk);
  EXPECT_FALSE(decodeFrame(toBytes("=G\x3D\r")).has_value());
}

TEST(VideoProcessor, FlashCommandsNeedADriverCalledAfterItsBlocksUntilAReset) {
  CardRig rig;
  rig.setup.videoProcessor.driverRunning = false;
  EXPECT_TRUE(setModeRefused(rig, 0x0100, 1, 0, 64));
  EXPECT_TRUE(refused(exchange(rig, 0x0632, {0}), 0x632));
  // Driver Blocks to 0x0800 and up only, then Call Driver at its one entry.
  EXPECT_FALSE(refused(exchange(rig, 0x950D, {0, 0x0800, 1, 2, 3, 4, 5, 6, 7, 8}), 0x50D));
  EXPECT_TRUE(refused(exchange(rig, 0x950D, {0, 0x07F0, 0, 0, 0, 0, 0, 0, 0, 0}), 0x50D));
  EXPECT_TRUE(refused(exchange(rig, 0x3802, {0x0080, 0, 0x3301, 0}), 0x802));
  EXPECT_FALSE(refused(exchange(rig, 0x3802, {0x0080, 0, 0x3300, 0}), 0x802));
  EXPECT_FALSE(setModeRefused(rig, 0x0100, 1, 0, 64));
  EXPECT_EQ(rig.feed("=MP\r"), "=M*");
  EXPECT_TRUE(setModeRefused(rig, 0x0100, 1, 0, 64));
}

TEST(VideoProcessor, WindowsTakeTheirCountAndNoMoreAndTheHeaderWindowErases) {
  CardRig rig;
  EXPECT_TRUE(dataBlockRefused(rig, 0x11)) << "no window open";
  setModeRefused(rig, 0x0100, 7, 0x40, 40);
  EXPECT_FALSE(dataBlockRefused(rig, 0x11));
  EXPECT_FALSE(dataBlockRefused(rig, 0x22));  // 8 bytes left: written
  EXPECT_TRUE(dataBlockRefused(rig, 0x33)) << "past the count";
  const Bytes& flash = rig.built().videoProcessor().flash(7);
  ASSERT_EQ(flash.size(), 0x40u + 40);
  EXPECT_EQ(std::vector<int>({flash[0x3F], flash[0x40], flash[0x67]}), std::vector<int>({0xFF, 0x11, 0x22}));
  EXPECT_TRUE(refused(exchange(rig, 0x0639, {0}), 0x639)) << "a write window";
  setModeRefused(rig, 0x0200, 7, 0x60, 0x20);
  const Words read = exchange(rig, 0x0639, {0});
  ASSERT_EQ(read.size(), 18u);
  EXPECT_EQ(std::vector<Word>({read[0], read[1], read[4], read[5]}), std::vector<Word>({0xF73A, 0x2222, 0x2222, 0xFFFF}));
  EXPECT_TRUE(refused(exchange(rig, 0x0639, {0}), 0x639)) << "window used up";
  setModeRefused(rig, 0x0100, 1, 0x100, 32);  // the header's end on device 1: kept
  setModeRefused(rig, 0x0100, 7, 0x20, 32);   // not at the header's end: kept
  EXPECT_EQ(rig.built().videoProcessor().flash(7).size(), 0x40u + 40);
  setModeRefused(rig, 0x0100, 7, 0x100, 32);
  EXPECT_TRUE(rig.built().videoProcessor().flash(7).empty());
  EXPECT_FALSE(rig.record.hasEvent("vxp erase device 1"));
}

}  // namespace
}  // namespace cardsim
