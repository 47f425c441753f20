#include "CardRig.h"
#include "driver/oldFirmwareKey.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

std::string keyByte(int i) { return std::string(1, static_cast<char>(OLD_FIRMWARE_KEY[i])); }

TEST(Firmware, VersionAnswerPutsEditionAt11AndVersionWordAt13) {
  CardRig rig;
  rig.setup.firmware.edition = 2;
  rig.setup.firmware.version = "3.10";
  const std::string answer = rig.feed("#DEVERSION\r");
  ASSERT_EQ(answer, "#DEVERSION 2 3.10\r");
  EXPECT_EQ(answer.substr(0, 10), "#DEVERSION");
  EXPECT_EQ(answer[11], '2');
  EXPECT_EQ(answer.substr(13), "3.10\r");
}

TEST(Firmware, TypeAnswerNamesTheModelAfterTheUnknownOnes) {
  CardRig rig;
  rig.setup.firmware.model = "SL-SDITOHDMI";
  rig.setup.firmware.unknownModelFirst = 2;
  EXPECT_EQ(rig.feed("#DEVTYPE\r"), "#DEVTYPE UNKNOWN\r");
  EXPECT_EQ(rig.feed("#DEVTYPE\r"), "#DEVTYPE UNKNOWN\r");
  EXPECT_EQ(rig.feed("#DEVTYPE\r"), "#DEVTYPE SL-SDITOHDMI\r");
  EXPECT_EQ(rig.record.counter("DEVTYPE"), 3);
}

TEST(Firmware, CommandSurvivesLeadingJunkSplitChunksAndNulInside) {
  CardRig rig;
  EXPECT_EQ(rig.feed("xy\x7f#DEV"), "");
  EXPECT_EQ(rig.feed(std::string("TY\0PE", 5)), "");
  EXPECT_EQ(rig.feed("\r"), "#DEVTYPE DVITOSDI\r");
  EXPECT_TRUE(rig.record.hasEvent("cmd #DEVTYPE"));
}

TEST(Firmware, NewHashRestartsAnUnfinishedCommand) {
  CardRig rig;
  EXPECT_EQ(rig.feed("#DEV#DEVERSION\r"), "#DEVERSION 1 2.05\r");
}

TEST(Firmware, EachProbeByteGetsAnElevenByteOrLongerAnswer) {
  CardRig rig;
  rig.feed(std::string("\0", 1));
  rig.feed(std::string("\0", 1));
  ASSERT_EQ(rig.line.sends.size(), 2u);
  for (const auto& send : rig.line.sends) EXPECT_GE(send.bytes.size(), 11u);
  EXPECT_EQ(rig.record.counter("PROBE"), 2);
}

TEST(Firmware, UnknownTextCommandIsNacked) {
  CardRig rig;
  EXPECT_EQ(rig.feed("#FROB 1 2\r"), "#NACK\r");
  EXPECT_EQ(rig.record.counter("FROB"), 1);
}

TEST(Firmware, MicroCommandsAcceptedAndUnknownRefused) {
  CardRig rig;
  EXPECT_EQ(rig.feed("=MP\r=MR\r=MA\r=ME\r"), "=M*=M*=M*=M*");
  EXPECT_EQ(rig.feed("=MQ\r"), "=M~");
  EXPECT_EQ(rig.feed("=M\r"), "=M~");
  EXPECT_TRUE(rig.record.hasEvent("ack =MP *"));
  EXPECT_TRUE(rig.record.hasEvent("ack =MQ ~"));
}

TEST(Firmware, GarbledByteSpoilsTheCommandItFallsInto) {
  CardRig rig;
  EXPECT_EQ(rig.feed("#DEVTYPE\r", true), "");
  EXPECT_EQ(rig.feed("#DEV"), "");
  EXPECT_EQ(rig.feed("T", true), "");
  EXPECT_EQ(rig.feed("YPE\r"), "");
  EXPECT_EQ(rig.feed(std::string("\0", 1), true), "");  // a garbled probe is noise too
  EXPECT_EQ(rig.feed("#DEVTYPE\r"), "#DEVTYPE DVITOSDI\r");
}

// The video processor answers every frame with one frame (a NACK for these,
// which are not ISP messages).
bool isFrame(const std::string& answer) {
  return answer.size() >= 3 && answer.compare(0, 2, "=G") == 0 && answer.back() == '\r';
}

TEST(Firmware, IspFramesGoToTheVideoProcessor) {
  CardRig rig;
  EXPECT_TRUE(isFrame(rig.feed("=Gab=@c\r")));
  EXPECT_TRUE(isFrame(rig.feed("=Gxx=Gyz\r")));  // a second start marker restarts the frame
  EXPECT_EQ(rig.record.value("isp_frames"), "");
  rig.built().summarize(rig.record);
  EXPECT_EQ(rig.record.value("isp_frames"), "2");
  EXPECT_TRUE(rig.record.hasEvent("isp-frame 8"));
  EXPECT_TRUE(rig.record.hasEvent("isp-frame 5"));
  EXPECT_EQ(rig.feed("#DEVTYPE\r"), "#DEVTYPE DVITOSDI\r");  // back to commands
}

TEST(Firmware, FrameStartInsideACommandAbandonsTheCommand) {
  CardRig rig;
  EXPECT_TRUE(isFrame(rig.feed("#DEVT=G12\r")));
  EXPECT_TRUE(rig.record.hasEvent("isp-frame 5"));
}

TEST(OldFirmware, IgnoresTheModelQuestionAnswersKeyBytesThenEntersBootMode) {
  CardRig rig;
  rig.setup.firmware.oldFirmware = true;
  EXPECT_EQ(rig.feed("#DEVERSION\r"), "#DEVERSION 1 2.05\r");
  EXPECT_EQ(rig.feed("#DEVTYPE\r"), "");
  EXPECT_GE(rig.feed(std::string("\0", 1)).size(), 11u);

  size_t total = 0;
  for (int i = 0; i < OLD_FIRMWARE_TEST_BYTES; ++i) total += rig.feed(keyByte(i)).size();
  EXPECT_GE(total, 5u);
  EXPECT_EQ(rig.built().mode(), CardMode::Firmware);

  EXPECT_EQ(rig.feed(keyByte(3)), "");
  EXPECT_EQ(rig.built().mode(), CardMode::Boot);
  EXPECT_EQ(rig.built().cardRate(), 9600);
  EXPECT_TRUE(rig.record.hasEvent("old-firmware key 4"));
  EXPECT_TRUE(rig.record.hasEvent("mode boot"));
  // The boot program now owns the line: at the firmware's rate it takes
  // nothing, not even 0x00.
  EXPECT_EQ(rig.feed(std::string("\0#DEVTYPE\r", 10), true), "");
}

TEST(OldFirmware, KeyBytesCountOnlyInOrderAndOutsideCommands) {
  CardRig rig;
  rig.setup.firmware.oldFirmware = true;
  rig.setup.firmware.oldFirmwareReply = 3;
  EXPECT_EQ(rig.feed("#X" + keyByte(0) + "\r"), "#NACK\r");
  EXPECT_FALSE(rig.record.hasEvent("old-firmware key 1"));
  EXPECT_EQ(rig.feed(keyByte(0)).size(), 3u);
  EXPECT_EQ(rig.feed("x"), "");  // anything else between them breaks the sequence
  EXPECT_EQ(rig.feed(keyByte(1)), "");
  EXPECT_EQ(rig.feed(keyByte(3)), "");  // the handover byte alone does nothing
  EXPECT_EQ(rig.built().mode(), CardMode::Firmware);
  EXPECT_EQ(rig.feed(keyByte(0)).size(), 3u);
  EXPECT_EQ(rig.feed(keyByte(1)).size(), 3u);
  EXPECT_EQ(rig.feed(keyByte(0)).size(), 3u);  // out of order: starts over
  EXPECT_EQ(rig.feed(keyByte(1)).size(), 3u);
  EXPECT_EQ(rig.feed(keyByte(2)).size(), 3u);
  rig.feed(keyByte(3));
  EXPECT_EQ(rig.built().mode(), CardMode::Boot);
}

TEST(CurrentFirmware, KeyBytesAreNoise) {
  CardRig rig;
  std::string all;
  for (int i = 0; i < 4; ++i) all += keyByte(i);
  EXPECT_EQ(rig.feed(all), "");
  EXPECT_EQ(rig.built().mode(), CardMode::Firmware);
  EXPECT_TRUE(rig.record.hasEvent("old-firmware key 4"));  // seen, not obeyed
  EXPECT_EQ(rig.feed("#DEVTYPE\r"), "#DEVTYPE DVITOSDI\r");
}

TEST(BootProgram, WaitingForRebootAnswersEachProbeWithItsBurst) {
  CardRig rig;
  rig.setup.startMode = CardMode::Boot;
  rig.setup.bootRebootReply = 4;
  EXPECT_EQ(rig.feed(std::string("\0", 1), true).size(), 4u);
  EXPECT_EQ(rig.feed("#DEVTYPE\r", true), "");
}

TEST(BootProgram, InBootModeItStaysSilent) {
  CardRig rig;
  rig.setup.startMode = CardMode::Boot;
  EXPECT_EQ(rig.feed(std::string("\0\0", 2), true), "");
  EXPECT_EQ(rig.built().cardRate(), 9600);
}

TEST(FirmwareFaults, SilentAnswersNothingEvenTheProbe) {
  CardRig rig;
  rig.fault("silent");
  EXPECT_EQ(rig.feed(std::string("\0#DEVTYPE\r=MP\r", 14)), "");
  EXPECT_EQ(rig.record.counter("DEVTYPE"), 1);
}

TEST(FirmwareFaults, SilentCommandMutesOnlyThatCommand) {
  CardRig rig;
  rig.fault("silent-cmd=devtype");
  rig.fault("silent-cmd=MA");
  EXPECT_EQ(rig.feed("#DEVTYPE\r"), "");
  EXPECT_EQ(rig.feed("=MA\r"), "");
  EXPECT_EQ(rig.feed("=MP\r"), "=M*");
  EXPECT_EQ(rig.feed("#DEVERSION\r"), "#DEVERSION 1 2.05\r");
}

TEST(FirmwareFaults, RefuseAndBadStatusChangeTheAcknowledgement) {
  CardRig rig;
  rig.fault("refuse=MP");
  rig.fault("bad-status=MR:q");
  rig.fault("bad-status==ME:0x21");
  EXPECT_EQ(rig.feed("=MP\r"), "=M~");
  EXPECT_EQ(rig.feed("=MR\r"), "=Mq");
  EXPECT_EQ(rig.feed("=ME\r"), "=M!");
  EXPECT_EQ(rig.feed("=MA\r"), "=M*");
}

TEST(FirmwareFaults, RepeatEqDoublesTheEqualsSign) {
  CardRig rig;
  rig.fault("repeat-eq");
  EXPECT_EQ(rig.feed("=MP\r"), "==M*");
}

TEST(FirmwareFaults, AckSilentWithholdsTheFirstAcknowledgements) {
  CardRig rig;
  rig.fault("ack-silent=2");
  EXPECT_EQ(rig.feed("=MP\r"), "");
  EXPECT_EQ(rig.feed("=MR\r"), "");
  EXPECT_EQ(rig.feed("=MA\r"), "=M*");
  EXPECT_TRUE(rig.record.hasEvent("ack-withheld =MP"));
}

TEST(FirmwareFaults, NoCrAndLongLine) {
  CardRig rig;
  rig.fault("no-cr=DEVTYPE");
  rig.fault("long-line=DEVERSION");
  EXPECT_EQ(rig.feed("#DEVTYPE\r"), "#DEVTYPE DVITOSDI");
  const std::string long_line = rig.feed("#DEVERSION\r");
  EXPECT_GE(long_line.size(), 60u);
  EXPECT_EQ(long_line.find('\r'), std::string::npos);
  EXPECT_EQ(long_line[0], '#');
}

TEST(AnswerFaults, NoiseSplitAndDelayShapeEveryAnswer) {
  CardRig rig;
  rig.fault("noise");
  rig.fault("split");
  rig.fault("delay=250");
  const std::string answer = rig.feed("#DEVTYPE\r");
  ASSERT_GT(answer.size(), Outbox::NOISE.size());
  const std::string junk = answer.substr(0, answer.find('#'));
  EXPECT_FALSE(junk.empty());
  EXPECT_EQ(junk.find('='), std::string::npos);
  EXPECT_EQ(answer.substr(junk.size()), "#DEVTYPE DVITOSDI\r");
  ASSERT_EQ(rig.line.sends.size(), 1u);
  EXPECT_EQ(rig.line.sends[0].delay, Millis(250));
  EXPECT_GT(rig.line.sends[0].gap, Millis(0));
}

}  // namespace
}  // namespace cardsim
