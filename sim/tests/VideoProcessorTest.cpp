#include "CardRig.h"
#include "IspFrame.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

constexpr Word NACK_CODE = 0x002;

// Sends one ISP message and returns the answer's words.
Words exchange(CardRig& rig, Word word0, const Words& parameters) {
  const Bytes frame = encodeFrame(makeMessage(word0, parameters));
  const std::string answer = rig.feed(std::string(frame.begin(), frame.end()));
  const auto decoded = decodeFrame(toBytes(answer));
  EXPECT_TRUE(decoded && decoded->checksumOk) << escape(answer);
  return decoded ? decoded->words : Words{0, 0, 0};
}

bool refused(const Words& answer, Word code) {
  return messageCode(answer[0]) == NACK_CODE && answer[1] == code;
}

Words setMode(CardRig& rig, Word mode, Word device, std::uint32_t start, std::uint32_t count) {
  return exchange(rig, 0x5502,
                  {mode, device, static_cast<Word>(start), static_cast<Word>(start >> 16),
                   static_cast<Word>(count), static_cast<Word>(count >> 16)});
}

Words dataBlock(CardRig& rig, Byte fill) {
  return exchange(rig, 0xF501, Words(16, static_cast<Word>(fill | fill << 8)));
}

TEST(IspFrame, MatchesTheWorkedExampleAndRejectsDamage) {
  const Bytes frame = encodeFrame(makeMessage(0x0632, {0}));
  EXPECT_EQ(frame, (Bytes{0x3D, 0x47, 0x5C, 0x30, 0x2A, 0x2A, 0xF8, 0x23, 0x0D}));
  Bytes damaged = frame;
  damaged[4] = 0x2B;
  EXPECT_FALSE(decodeFrame(damaged)->checksumOk);
  EXPECT_FALSE(decodeFrame(toBytes("=G\x3D\r")).has_value());
}

TEST(VideoProcessor, FlashCommandsNeedARunningDriverThatResetsStop) {
  CardRig rig;
  rig.setup.videoProcessor.driverRunning = false;
  EXPECT_TRUE(refused(setMode(rig, 0x0100, 1, 0, 64), 0x502));
  EXPECT_TRUE(refused(exchange(rig, 0x0632, {0}), 0x632));
  // Driver Blocks to 0x0800 and 0x0810, then Call Driver.
  EXPECT_FALSE(refused(exchange(rig, 0x950D, {0, 0x0800, 1, 2, 3, 4, 5, 6, 7, 8}), 0x50D));
  EXPECT_FALSE(refused(exchange(rig, 0x950D, {0, 0x0810, 9, 9, 9, 9, 9, 9, 9, 9}), 0x50D));
  EXPECT_TRUE(refused(exchange(rig, 0x950D, {0, 0x07F0, 0, 0, 0, 0, 0, 0, 0, 0}), 0x50D));
  EXPECT_TRUE(refused(exchange(rig, 0x3802, {0x0080, 0, 0x3301, 0}), 0x802));
  const Words called = exchange(rig, 0x3802, {0x0080, 0, 0x3300, 0});
  EXPECT_NE(messageCode(called[0]), NACK_CODE);
  EXPECT_NE(called[0], 0x3802);
  EXPECT_FALSE(refused(setMode(rig, 0x0100, 1, 0, 64), 0x502));
  EXPECT_EQ(rig.feed("=MP\r"), "=M*");
  EXPECT_TRUE(refused(setMode(rig, 0x0100, 1, 0, 64), 0x502));
  rig.built().summarize(rig.record);
  EXPECT_EQ(rig.record.value("vxp_driver_blocks"), "2");
}

TEST(VideoProcessor, DataBlocksFillTheWindowAndNoFurther) {
  CardRig rig;
  EXPECT_TRUE(refused(dataBlock(rig, 0x11), 0x501)) << "no window open";
  setMode(rig, 0x0100, 1, 0x40, 40);
  EXPECT_FALSE(refused(dataBlock(rig, 0x11), 0x501));
  EXPECT_FALSE(refused(dataBlock(rig, 0x22), 0x501));  // 8 bytes left: written
  EXPECT_TRUE(refused(dataBlock(rig, 0x33), 0x501)) << "past the count";
  const Bytes& flash = rig.built().videoProcessor().flash(1);
  ASSERT_EQ(flash.size(), 0x40u + 40);
  EXPECT_EQ(flash[0x3F], 0xFF);
  EXPECT_EQ(flash[0x40], 0x11);
  EXPECT_EQ(flash[0x60], 0x22);
  EXPECT_EQ(flash[0x67], 0x22);
  EXPECT_EQ(exchange(rig, 0x0632, {0})[1] & 0xFF, 1);
}

TEST(VideoProcessor, WriteWindowAtTheHeaderEndErasesDevicesFiveAndSeven) {
  CardRig rig;
  setMode(rig, 0x0100, 5, 0, 32);
  dataBlock(rig, 0x44);
  setMode(rig, 0x0100, 5, 0x20, 32);  // not at 0x100: no erase
  EXPECT_EQ(rig.built().videoProcessor().flash(5).size(), 32u);
  setMode(rig, 0x0100, 5, 0x100, 32);
  EXPECT_TRUE(rig.built().videoProcessor().flash(5).empty());
  EXPECT_TRUE(rig.record.hasEvent("vxp erase device 5"));
  setMode(rig, 0x0100, 1, 0x100, 32);
  EXPECT_FALSE(rig.record.hasEvent("vxp erase device 1"));
}

TEST(VideoProcessor, ReadBlocksCarryTheNextSixteenWords) {
  CardRig rig;
  setMode(rig, 0x0100, 7, 0, 64);
  dataBlock(rig, 0x12);
  dataBlock(rig, 0x34);
  EXPECT_TRUE(refused(exchange(rig, 0x0639, {0}), 0x639)) << "write window";
  setMode(rig, 0x0200, 7, 0x20, 0x20);
  const Words read = exchange(rig, 0x0639, {0});
  ASSERT_EQ(read.size(), 18u);
  EXPECT_EQ(read[0], 0xF73A);
  EXPECT_EQ(read[1], 0x3434);
  EXPECT_EQ(read[16], 0x3434);
  EXPECT_TRUE(refused(exchange(rig, 0x0639, {0}), 0x639)) << "window used up";
}

TEST(VideoProcessor, QueriesAnswerFromTheSetup) {
  CardRig rig;
  rig.setup.videoProcessor.name = "VXP-NAME";
  rig.setup.videoProcessor.status = 0x0301;
  rig.setup.videoProcessor.type = 0xAB12;
  rig.setup.videoProcessor.memory = 0x2A5A;
  rig.setup.videoProcessor.videoCalibration = 0x0200;
  const Words name = exchange(rig, 0x0633, {0});
  EXPECT_EQ(name[1], 0x5658);  // "VX"
  EXPECT_EQ(name[6], 0x2020);
  const Words status = exchange(rig, 0x062F, {0});
  ASSERT_EQ(status.size(), 16u);
  EXPECT_EQ(status[1], 0x0301);
  EXPECT_EQ(status[2], 0xAB12);
  EXPECT_EQ(status[14], 0x2A5A);
  EXPECT_EQ(exchange(rig, 0x161A, {0x007C, 0x0005})[3], 0x0200);
  EXPECT_EQ(exchange(rig, 0x161A, {0x005E, 0x0B06})[3], 0x000F);
  EXPECT_TRUE(refused(exchange(rig, 0x161A, {1, 2}), 0x61A));
}

TEST(VideoProcessorFaults, RefusalsEchoAndGspi) {
  CardRig rig;
  rig.fault("vxp-refuse-block=2");
  rig.fault("vxp-gspi");
  rig.fault("vxp-echo=5");
  setMode(rig, 0x0100, 1, 0, 128);
  EXPECT_FALSE(refused(dataBlock(rig, 1), 0x501));
  const Words nack = dataBlock(rig, 2);
  EXPECT_TRUE(refused(nack, 0x501));
  EXPECT_EQ(nack[2], 0x1234);
  EXPECT_FALSE(refused(dataBlock(rig, 2), 0x501));  // once only
  EXPECT_EQ(dataBlock(rig, 3)[0], 0xF501);            // frame 5 echoed
}

}  // namespace
}  // namespace cardsim
