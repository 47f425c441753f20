#include "Faults.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

TEST(Faults, OptionsAreNormalisedOrRefusedWhole) {
  Faults faults;
  for (const char* option : {"noise", "silent-cmd=#devtype", "refuse==mp", "delay=40", "bad-status=MR:0x7e"})
    faults.add(option);
  EXPECT_EQ(faults.describe(), (std::vector<std::string>{"noise", "silent-cmd=DEVTYPE", "refuse=MP",
                                                         "delay=40", "bad-status=MR:~"}));
  EXPECT_TRUE(faults.hasFor("silent-cmd", "#DEVTYPE"));
  EXPECT_FALSE(faults.hasFor("silent-cmd", "DEVERSION"));
  EXPECT_EQ(faults.number("delay"), 40);
  EXPECT_EQ(faults.charFor("bad-status", "mr"), Byte('~'));
  EXPECT_FALSE(faults.charFor("bad-status", "MA").has_value());
  for (const char* option : {"frobnicate", "silent=1", "silent-cmd", "silent-cmd=", "delay=-5", "delay=5ms",
                             "ack-silent=", "bad-status=MP", "bad-status=MP:ab", "bad-status=:q"}) {
    Faults refused;
    EXPECT_THROW(refused.add(option), FaultError) << option;
    EXPECT_TRUE(refused.empty()) << option;
  }
}

}  // namespace
}  // namespace cardsim
