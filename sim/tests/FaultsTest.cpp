#include "Faults.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

TEST(Faults, CommandNamesAreNormalised) {
  Faults faults;
  faults.add("silent-cmd=#devtype");
  faults.add("refuse==MP");
  EXPECT_TRUE(faults.hasFor("silent-cmd", "DEVTYPE"));
  EXPECT_TRUE(faults.hasFor("silent-cmd", "#DEVTYPE"));
  EXPECT_FALSE(faults.hasFor("silent-cmd", "DEVERSION"));
  EXPECT_TRUE(faults.hasFor("refuse", "mp"));
  EXPECT_FALSE(faults.hasFor("refuse", "MR"));
}

TEST(Faults, NumbersAndCharacters) {
  Faults faults;
  faults.add("delay=40");
  faults.add("bad-status=MP:q");
  faults.add("bad-status=MR:0x7e");
  EXPECT_EQ(faults.number("delay"), 40);
  EXPECT_FALSE(faults.number("ack-silent").has_value());
  EXPECT_EQ(faults.charFor("bad-status", "MP"), Byte('q'));
  EXPECT_EQ(faults.charFor("bad-status", "MR"), Byte('~'));
  EXPECT_FALSE(faults.charFor("bad-status", "MA").has_value());
}

TEST(Faults, DescribeGivesTheNormalisedForms) {
  Faults faults;
  faults.add("noise");
  faults.add("silent-cmd=devtype");
  faults.add("bad-status=mp:0x71");
  EXPECT_EQ(faults.describe(),
            (std::vector<std::string>{"noise", "silent-cmd=DEVTYPE", "bad-status=MP:q"}));
}

TEST(Faults, MalformedFaultsAreRejected) {
  const char* const bad[] = {
      "frobnicate",        // unknown
      "silent=1",          // takes no argument
      "silent-cmd",        // needs one
      "silent-cmd=",       // empty command
      "delay=-5",          // negative
      "delay=5ms",         // not a number
      "ack-silent=",       // empty number
      "bad-status=MP",     // no character
      "bad-status=MP:ab",  // two characters
      "bad-status=:q",     // no command
  };
  for (const char* option : bad) {
    Faults faults;
    EXPECT_THROW(faults.add(option), FaultError) << option;
    EXPECT_TRUE(faults.empty()) << option;
  }
}

TEST(Faults, HelpListsEveryFault) {
  const std::string help = Faults::helpText();
  for (const FaultKind& kind : Faults::catalogue()) {
    EXPECT_NE(help.find(kind.name), std::string::npos) << kind.name;
  }
}

}  // namespace
}  // namespace cardsim
