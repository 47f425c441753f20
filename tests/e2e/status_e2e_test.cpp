// The STATUS job: the report from the video processor's words, refreshed until Q.
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace e2e;

const char HEAD[] = "\n/********** VXP STATUS ***********/ \n";
const char PROMPT[] = "\n/******** END OF VXP STATUS ********/ \nPress Enter to refresh or 'Q' "
                      "to quit ";

TEST(Status, ReportFromChosenWordsRefreshedUntilQ) {
  Scenario s{{"--vxp-name", "KZ2310-AB", "--vxp-status", "0x0302", "--vxp-type", "0xAB12",
              "--vxp-memory", "0xA95A", "--vxp-osd-cal", "0x5", "--vxp-video-cal", "0x200"},
             {"COM1", "STATUS"}};
  s.input = "\nxq";
  auto r = run(s);
  // Under Wine the key read meets the console's end: one pass.
  const size_t passes = windowsDriver() ? 1 : 3;
  EXPECT_EQ(count(r.out, HEAD), passes);
  EXPECT_EQ(count(r.out, PROMPT), passes);
  const std::string end = std::string(PROMPT) + EXIT;
  EXPECT_EQ(r.out.substr(r.out.size() - std::min(end.size(), r.out.size())), end);
  EXPECT_EQ(count(r.events(), "isp-frame"), 4 * passes);
  const std::string report =
      std::string(HEAD) +
      "\nDevice Name         -> KZ2310-AB   "
      "\nDevice Type         -> KZab12"
      "\nOSD Load Status     -> Load table empty"
      "\nConfig Status       -> Configuration complete"
      "\nMemory Devices      ->\n\r"
      "    Video Memory:  \n"
      "           SDRAM 1 Detected           SDRAM 4 Detected \n"
      "           SDRAM 2 Not Detected           SDRAM 5 Not Detected\n"
      "           SDRAM 3 Not Detected\n"
      "    OSD Memory:  \n"
      "           SDRAM 1 Detected           SDRAM 2 Not Detected\n"
      "    Flash Memory:  \n"
      "           CS0 Not Detected           CS4 Detected\n"
      "           CS1 Detected           CS5 Not Detected\n"
      "           CS2 Not Detected               CS6 Detected\n"
      "           CS3 Detected               CS7 Not Detected\n"
      "SDRAM Calibration   ->\n\r"
      "    OSD : \n"
      "           Byte 0 : Passed            Byte 2 : Passed\n"
      "           Byte 1 : Not Passed            Byte 3 : Not Passed\n"
      "    Video: \n"
      "           Byte 0 : Not Passed            Byte 5 : Not Passed\n"
      "           Byte 1 : Not Passed            Byte 6 : Not Passed\n"
      "           Byte 2 : Not Passed            Byte 7 : Not Passed\n"
      "           Byte 3 : Not Passed            Byte 8 : Not Passed\n"
      "           Byte 4 : Not Passed            Byte 9 : Passed\n" +
      PROMPT;
  EXPECT_EQ(count(r.out, report), passes) << r.out;
  EXPECT_EQ(r.status, 0);
}

} // namespace
