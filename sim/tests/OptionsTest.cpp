#include "Options.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

Options parse(std::vector<std::string> args) { return parseOptions(args); }

TEST(Options, Defaults) {
  const Options o = parse({});
  EXPECT_EQ(o.port, "COM1");
  EXPECT_EQ(o.card.firmware.model, "DVITOSDI");
  EXPECT_EQ(o.card.firmware.edition, 1);
  EXPECT_EQ(o.card.startMode, CardMode::Firmware);
  EXPECT_TRUE(o.command.empty());
  EXPECT_FALSE(o.killAfter.has_value());
}

TEST(Options, ValuesInlineOrSeparate) {
  const Options o = parse({"--port=COM3", "--model", "HDMITOSDI", "--edition=2", "--version",
                           "1.07", "--link", "/a", "--link=/b", "--kill-after", "2.5"});
  EXPECT_EQ(o.port, "COM3");
  EXPECT_EQ(o.card.firmware.model, "HDMITOSDI");
  EXPECT_EQ(o.card.firmware.edition, 2);
  EXPECT_EQ(o.card.firmware.version, "1.07");
  EXPECT_EQ(o.links, (std::vector<std::string>{"/a", "/b"}));
  EXPECT_DOUBLE_EQ(*o.killAfter, 2.5);
  EXPECT_EQ(o.pacing.adapterLatency.count(), 0);
  const Options adapter = parse({"--adapter-latency", "16", "--adapter-packet=8"});
  EXPECT_EQ(adapter.pacing.adapterLatency, Millis(16));
  EXPECT_EQ(adapter.pacing.adapterPacket, 8u);
}

TEST(Options, EverythingAfterTheSeparatorIsTheCommand) {
  const Options o = parse({"--fault", "noise", "--", "updater", "--fault", "COM1"});
  EXPECT_EQ(o.command, (std::vector<std::string>{"updater", "--fault", "COM1"}));
  EXPECT_EQ(o.faults.describe(), (std::vector<std::string>{"noise"}));
}

TEST(Options, BootStates) {
  EXPECT_EQ(parse({"--boot-mode"}).card.startMode, CardMode::Boot);
  EXPECT_EQ(parse({"--boot-mode"}).card.bootRebootReply, 0);
  EXPECT_EQ(parse({"--boot-reboot"}).card.bootRebootReply, DEFAULT_BOOT_REBOOT_REPLY);
  EXPECT_EQ(parse({"--boot-reboot=10"}).card.bootRebootReply, 10);
  EXPECT_EQ(parse({"--boot-reboot=1"}).card.startMode, CardMode::Boot);
}

TEST(Options, OldFirmwareReplyImpliesOldFirmware) {
  const Options o = parse({"--old-firmware-reply=1"});
  EXPECT_TRUE(o.card.firmware.oldFirmware);
  EXPECT_EQ(o.card.firmware.oldFirmwareReply, 1);
}

TEST(Options, PowerCutAfterACountOrAtAStep) {
  EXPECT_EQ(parse({"--power-cut=1200"}).powerCut->afterBytes(), 1200);
  PowerCut header = *parse({"--power-cut", "header@2+40"}).powerCut;
  EXPECT_FALSE(header.afterBytes());
  const std::string device5 = "vxp window write device 5 start 0x0 count 0x100";
  EXPECT_FALSE(header.onEvent(device5));
  EXPECT_FALSE(header.onEvent("vxp window write device 1 start 0x0 count 0x100"));
  EXPECT_EQ(header.onEvent(device5), 40);
  EXPECT_FALSE(header.onEvent(device5));
  // A step named by a whole event is not taken for a longer one.
  PowerCut erase = *parse({"--power-cut=micro-erase"}).powerCut;
  EXPECT_FALSE(erase.onEvent("boot erase failed"));
  EXPECT_EQ(erase.onEvent("boot erase"), 0);
}

TEST(Options, RejectsWhatCannotWork) {
  const std::vector<std::vector<std::string>> bad = {
      {"--boot-reboot=0"},  {"--boot-reboot=11"}, {"--edition=10"},   {"--edition", "x"},
      {"--version", "1 2"}, {"--model="},         {"--port", "a/b"},  {"--kill-after=0"},
      {"--fault", "nope"},  {"--fault=delay"},    {"--old-firmware=1"}, {"--frob"},
      {"--"},               {"--state"},          {"--initial-rate=1234"},
      {"--resume="},        {"--power-cut=nope"}, {"--power-cut=erase+"}, {"--power-cut=12+3"},
      {"--power-cut=erase@x"},
      {"--adapter-latency=0"}, {"--adapter-latency=256"}, {"--adapter-packet=8"},
  };
  for (const auto& args : bad) {
    EXPECT_THROW(parse(args), OptionError) << args[0];
  }
}

}  // namespace
}  // namespace cardsim
