#include "Options.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

TEST(Options, ValuesReachTheCard) {
  const Options o = parseOptions({"--vxp-status", "302", "--vxp-type=0xab12", "--boot-reboot", "--old-firmware-reply=1",
                           "--flash", "3=a.bin", "--flash=7=b.bin", "--card-time=0.5", "--adapter-latency", "16",
                           "--adapter-packet=8", "--", "updater", "--fault", "COM1"});
  EXPECT_EQ(o.card.videoProcessor.status, 0x302);
  EXPECT_EQ(o.card.videoProcessor.type, 0xAB12);
  EXPECT_EQ(o.card.startMode, CardMode::Boot);
  EXPECT_EQ(o.card.bootRebootReply, DEFAULT_BOOT_REBOOT_REPLY);
  EXPECT_TRUE(o.card.firmware.oldFirmware);
  EXPECT_EQ(o.card.firmware.oldFirmwareReply, 1);
  EXPECT_EQ(o.card.videoProcessor.flashFiles, (std::map<int, std::string>{{3, "a.bin"}, {7, "b.bin"}}));
  EXPECT_EQ(o.pacing.cardTime, std::chrono::microseconds(500));
  EXPECT_EQ(o.pacing.adapterLatency, Millis(16));
  EXPECT_EQ(o.command, (std::vector<std::string>{"updater", "--fault", "COM1"}));
  EXPECT_EQ(parseOptions({"--boot-reboot=10"}).card.bootRebootReply, 10);
}

TEST(Options, PowerCutStepIsAWholeEvent) {
  PowerCut erase = *parseOptions({"--power-cut=micro-erase@2+40"}).powerCut;
  EXPECT_FALSE(erase.onEvent("boot erase"));
  EXPECT_FALSE(erase.onEvent("boot erase failed"));
  EXPECT_EQ(erase.onEvent("boot erase"), 40);
}

TEST(Options, RejectsWhatCannotWork) {
  const std::vector<std::vector<std::string>> bad = {
      {"--boot-reboot=0"},     {"--boot-reboot=11"},   {"--edition=10"},       {"--version", "1 2"},
      {"--model="},            {"--port", "a/b"},      {"--kill-after=0"},     {"--kill-after=nan"},
      {"--fault", "nope"},     {"--fault=delay"},      {"--"},                 {"--initial-rate=1234"},
      {"--resume="},           {"--power-cut=nope"},   {"--vxp-osd-cal=10000"}, {"--vxp-name=ABCDEFGHIJKLM"},
      {"--flash=8=a.bin"},     {"--flash=1="},         {"--script-commands=A,,B"}, {"--adapter-packet=8"},
  };
  for (const auto& args : bad) EXPECT_THROW(parseOptions(args), OptionError) << args[0];
}

}  // namespace
}  // namespace cardsim
