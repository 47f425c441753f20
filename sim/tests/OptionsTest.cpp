#include "Options.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

// Our own conversions and checks; the options the end-to-end runs give show
// their effect there.
TEST(Options, ValuesReachTheCardAndWhatCannotWorkIsRefused) {
  const Options o = parseOptions({"--boot-reboot", "--old-firmware-reply=1", "--adapter-latency", "16",
                                  "--adapter-packet=8"});
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
