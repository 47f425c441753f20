#include "Options.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

// Our own conversions and checks; the options the end-to-end runs give show
// their effect there.
TEST(Options, ValuesReachTheCardAndWhatCannotWorkIsRefused) {
  const Options o = parseOptions(
      {"--boot-reboot", "--old-firmware-reply=1", "--adapter-latency", "16", "--adapter-packet=8"});
  EXPECT_EQ(o.card.bootRebootReply, DEFAULT_BOOT_REBOOT_REPLY);
  EXPECT_TRUE(o.card.firmware.oldFirmware);
  EXPECT_EQ(o.card.firmware.oldFirmwareReply, 1);
  EXPECT_EQ(o.pacing.adapterPacket, 8u);
  EXPECT_EQ(parseOptions({"--boot-reboot=10"}).card.bootRebootReply, 10);
  // A power cut's step is a whole event: "boot erase failed" is no erase.
  PowerCut erase = *parseOptions({"--power-cut=micro-erase@2+40"}).powerCut;
  EXPECT_FALSE(erase.onEvent("boot erase"));
  EXPECT_FALSE(erase.onEvent("boot erase failed"));
  EXPECT_EQ(erase.onEvent("boot erase"), 40);
  const std::vector<std::vector<std::string>> bad = {
      {"--boot-reboot=0"},
      {"--boot-reboot=11"},
      {"--edition=10"},
      {"--version", "1 2"},
      {"--model="},
      {"--port", "a/b"},
      {"--kill-after=0"},
      {"--kill-after=nan"},
      {"--fault", "nope"},
      {"--fault=delay"},
      {"--"},
      {"--initial-rate=1234"},
      {"--resume="},
      {"--power-cut=nope"},
      {"--vxp-osd-cal=10000"},
      {"--vxp-name=ABCDEFGHIJKLM"},
      {"--flash=8=a.bin"},
      {"--flash=1="},
      {"--script-commands=A,,B"},
      {"--adapter-packet=8"},
      {"--timing=slow"},
      {"--timing=edge:3"},
      {"--timing=jitter:x"},
  };
  for (const auto &args : bad)
    EXPECT_THROW(parseOptions(args), OptionError) << args[0];
}

// The profiles' rules: a bulk transfer late at its first, middle and last
// answer; nothing late that the host waits for without end; jitter the same
// for a seed and within half of one listen; all on the test clock.
TEST(Options, TimingProfilesFollowTheCardsTable) {
  Timing edge = parseOptions({"--timing", "edge"}).card.timing;
  const auto gammaAck = [&edge](long index) {
    return edge.before(Answer::GammaValueAck, {index, 3072}).count();
  };
  EXPECT_EQ(gammaAck(0), 54000);
  EXPECT_EQ(gammaAck(1), 0);
  EXPECT_EQ(gammaAck(1536), 54000);
  EXPECT_EQ(gammaAck(3071), 54000);
  EXPECT_EQ(Timing("beyond", 1).before(Answer::FpgaRequest).count(), 0);
  EXPECT_EQ(Timing("beyond", 20).before(Answer::IspAnswer).count(), 990);
  EXPECT_EQ(edge.startTime(Start::ProcessorReset).count(), 4500);
  EXPECT_EQ(Timing("edge", 50).startTime(Start::EdidStart).count(), 5);
  EXPECT_EQ(Timing("beyond", 10).startTime(Start::EdidStart).count(), 55);
  EXPECT_EQ(Timing("real", 1).startTime(Start::DriverStart).count(), 50);
  Timing a("jitter:5", 1), b("jitter:5", 1);
  for (int i = 0; i < 1000; ++i) {
    const Millis wait = a.before(Answer::IspAnswer);
    EXPECT_EQ(wait, b.before(Answer::IspAnswer));
    EXPECT_LE(wait.count(), 1500);
  }
}

} // namespace
} // namespace cardsim
