// What the card makes of the host's uploads: EDID and gamma tables, the
// FPGA's XSVF stream, and the video processor's flash over ISP frames.
#include "Uploads.h"
#include "CardRig.h"
#include "IspFrame.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

// A sum that is off, or a unit that crossed at a wrong rate, fails the
// upload: the card acknowledges every unit, then answers "~E".
TEST(AckedUploads, WrongSumOrGarbledUnitFails) {
  const struct {
    std::string command;
    size_t units, unitSize;
    int sumError;       // added to the sum the host sends
    size_t garbledUnit; // the unit that crosses at a wrong rate (none: past the end)
    const char *result;
  } cases[] = {
      {.command = "#EDID 1\r",
       .units = 128,
       .unitSize = 1,
       .sumError = 1,
       .garbledUnit = 99999,
       .result = "edid_result"},
      {.command = "#GAMMA 3 0\r",
       .units = GAMMA_VALUES,
       .unitSize = 2,
       .sumError = 0,
       .garbledUnit = 5,
       .result = "gamma_result"},
  };
  for (const auto &c : cases) {
    CardRig rig;
    const std::string data(c.units * c.unitSize, '\x03');
    std::string acks = rig.feed(c.command);
    for (size_t i = 0; i < c.units; ++i)
      acks += rig.feed(data.substr(i * c.unitSize, c.unitSize), i == c.garbledUnit);
    EXPECT_EQ(acks, std::string(c.units, '.')) << c.command;
    EXPECT_EQ(rig.feed(bytes({static_cast<int>(data.size()) * 3 + c.sumError})), "~E") << c.command;
    EXPECT_EQ(rig.record.value(c.result), "failed") << c.command;
  }
}

// Answers every request of the card's XSVF player from `stream`; returns its end report.
std::string playFpga(const std::string &stream) {
  CardRig rig;
  std::string pending = rig.feed("#FPGA 1\r");
  size_t position = 0;
  while (!pending.empty() && pending[0] != '~') {
    size_t count = 1;
    if (pending.compare(0, 2, "$$") == 0 && pending.size() >= 4) {
      count = static_cast<unsigned char>(pending[2]) << 8 | static_cast<unsigned char>(pending[3]);
      pending.erase(0, 3);
    } else if (pending[0] != '*') {
      return "unexpected " + pending;
    }
    pending.erase(0, 1);
    if (position + count > stream.size())
      return "past end";
    pending += rig.feed(stream.substr(position, count));
    position += count;
  }
  return pending + rig.record.value("fpga_result");
}

TEST(XsvfPlayer, PlaysWellFormedStreamsAndRefusesMalformedOnes) {
  // XSDRSIZE 0, XSDR of no bytes, XSIR of 0 bits, XCOMMENT "hi", XCOMPLETE.
  EXPECT_EQ(playFpga(std::string("\x08\x00\x00\x00\x00\x03\x02\x00\x16hi\x00\x00", 13)),
            "~Sprogrammed");
  for (const std::string malformed :
       {"\x05", "\x1D", "\x12\x10", "\x1C\x04", "\x13\x02", "\x08\x7F\xFF\xFF\xFF"})
    EXPECT_EQ(playFpga(malformed + std::string(1, '\0')), "~Efailed") << escape(malformed);
}

Words exchange(CardRig &rig, Word word0, const Words &parameters) {
  const Bytes frame = encodeFrame(makeMessage(word0, parameters));
  const auto answer = decodeFrame(toBytes(rig.feed(std::string(frame.begin(), frame.end()))));
  EXPECT_TRUE(answer && answer->checksumOk);
  return answer ? answer->words : Words{0, 0, 0};
}

// True when the video processor answers the message with a NACK naming it.
bool refused(CardRig &rig, Word word0, const Words &parameters) {
  const Words answer = exchange(rig, word0, parameters);
  return messageCode(answer[0]) == 0x002 && answer[1] == messageCode(word0);
}

bool setModeRefused(CardRig &rig, Word mode, Word device, Word start, Word count) {
  return refused(rig, 0x5502, {mode, device, start, 0, count, 0});
}

bool dataBlockRefused(CardRig &rig, Byte fill) {
  return refused(rig, 0xF501, Words(16, static_cast<Word>(fill | fill << 8)));
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
  EXPECT_TRUE(refused(rig, 0x0632, {0}));
  // Driver Blocks from 0x0800 up only, then Call Driver at its one entry.
  EXPECT_FALSE(refused(rig, 0x950D, {0, 0x0800, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_TRUE(refused(rig, 0x950D, {0, 0x07F0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(refused(rig, 0x3802, {0x0080, 0, 0x3301, 0}));
  EXPECT_FALSE(refused(rig, 0x3802, {0x0080, 0, 0x3300, 0}));
  EXPECT_FALSE(setModeRefused(rig, 0x0100, 1, 0, 64));
  EXPECT_EQ(rig.feed("=MP\r"), "=M*");
  EXPECT_TRUE(setModeRefused(rig, 0x0100, 1, 0, 64));
}

// Under edge the video processor takes 4.5 s to start after "=MR" (whose
// answer is held 54 s), the driver 0.9 s after its answer to Call Driver
// (held 17.1 s), the firmware 450 ms after "#EDID 1": what comes earlier
// gets no answer.
TEST(StartWindow, PartsDropWhatComesBeforeTheyHaveStarted) {
  CardRig rig;
  rig.setup.timing = Timing("edge", 1);
  rig.setup.videoProcessor.driverRunning = false;
  const Bytes call = encodeFrame(makeMessage(0x3802, {0x0080, 0, 0x3300, 0}));
  const std::string callFrame(call.begin(), call.end());
  EXPECT_EQ(rig.feed("=MR\r"), "=M*");
  EXPECT_EQ(rig.feedAfter(Millis(54000 + 4400), callFrame), "");
  EXPECT_NE(rig.feedAfter(Millis(200), callFrame), "");
  EXPECT_EQ(rig.feedAfter(Millis(17100 + 800), callFrame), "");
  EXPECT_NE(rig.feedAfter(Millis(200), callFrame), "");
  rig.card->summarize(rig.record);
  EXPECT_EQ(rig.record.value("isp_frames_while_starting"), "2");
  rig.feed("#EDID 1\r");
  EXPECT_EQ(rig.feedAfter(Millis(400), "\x01"), "");
  EXPECT_EQ(rig.feedAfter(Millis(100), "\x01"), ".");
}

TEST(VideoProcessor, WindowsTakeTheirCountAndNoMore) {
  CardRig rig;
  EXPECT_TRUE(dataBlockRefused(rig, 0x11)) << "no window open";
  EXPECT_FALSE(setModeRefused(rig, 0x0100, 7, 0x40, 40));
  EXPECT_FALSE(dataBlockRefused(rig, 0x11));
  EXPECT_FALSE(dataBlockRefused(rig, 0x22)); // 8 bytes left: written
  EXPECT_TRUE(dataBlockRefused(rig, 0x33)) << "past the count";
  EXPECT_TRUE(refused(rig, 0x0639, {0})) << "a write window";
  EXPECT_FALSE(setModeRefused(rig, 0x0200, 7, 0x60, 0x20));
  EXPECT_FALSE(refused(rig, 0x0639, {0}));
  EXPECT_TRUE(refused(rig, 0x0639, {0})) << "window used up";
}

} // namespace
} // namespace cardsim
