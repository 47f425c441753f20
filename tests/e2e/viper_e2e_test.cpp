// The VIPER job against the virtual card's video processor: driver load,
// windows and blocks, the flash, and recovery from refused and lost answers.
#include "harness.h"
#include "isp_e2e.h"

#include <gtest/gtest.h>

namespace {

using namespace e2e;
using isp_e2e::image;

// Ten times fast: a 3 s receive takes 300 ms, which a loaded machine keeps.
const unsigned FAST = 10;

Scenario viper(const std::string &fileName, const std::string &content,
               const std::string &driverName, const std::string &driver) {
  Scenario s{{}, {"COM1", "VIPER", fileName}};
  s.files = {{fileName, content}, {driverName, driver}};
  s.timeScale = FAST;
  return s;
}

std::string flash(const Result &r, int device) {
  return r.state("flash-device" + std::to_string(device) + ".bin");
}

// The micro commands the card saw, in order, as "MP MR ...".
std::string microCommands(const std::string &events) {
  std::string out;
  for (size_t at = events.find("cmd ="); at != std::string::npos;
       at = events.find("cmd =", at + 1))
    out += (out.empty() ? "" : " ") + events.substr(at + 5, 2);
  return out;
}

TEST(ViperDevice5, DataAfterTheEraseThenTheHeaderLast) {
  const std::string driver = image(0x1000, 1), data = image(0x10000, 2);
  Scenario s = viper("Device5.bin", data, "FDriver.bin", driver);
  // The device holds older, longer content: the erase must clear all of it.
  s.files.push_back({"old5.bin", std::string(0x12000, '\x5A')});
  s.card = {"--vxp-no-driver", "--flash", "5=old5.bin"};
  s.trace = true;
  auto r = run(s);

  EXPECT_EQ(flash(r, 5), data);
  expectTraceMatchesCard(r);
  EXPECT_EQ(r.state("vxp-driver.bin"), driver.substr(0x800));
  EXPECT_EQ(microCommands(r.events()), "MP MR MA MR ME");
  EXPECT_EQ(firstMissing(r.events(),
                         {"vxp driver started after 128 blocks",
                          "vxp window write device 5 start 0x100 count 0xFF00\nvxp erase device 5",
                          "vxp window done 2040 blocks",
                          "vxp window write device 5 start 0x0 count 0x100",
                          "vxp window done 8 blocks"}),
            "");
  const std::string &out = r.out;
  EXPECT_EQ(firstMissing(out, {"Loading ISP Driver...\nFile Size : 4096 bytes\nSoft Reset...\n"
                               "Waiting 5 sec...\nBegin Job...\n\rJob at 0.00 %\rJob at 0.26 %",
                               "\rJob at 100%\t\t\t\t\nCalling ISP Driver...\n\n\nTime : ",
                               "Programm Device5.bin ...\nFile Size : 65536 bytes\n"
                               "Setting ISP Mode...\nErasing device...\nBegin Job... Data ..\n"
                               "\rJob at 0.00 %",
                               "\rJob at 100%\t\t\t\t\nSetting ISP Mode...\nBegin Job... Header...\n"
                               "\rJob at 12.50 %",
                               "\rJob at 87.50 %\rJob at 100%\t\t\t\t\nSoft Reset.\n\nTime : ",
                               "\nTotal Time : "}),
            "");
  EXPECT_EQ(count(out, "Job at 0.00 %"), 2u);  // driver and data
  EXPECT_EQ(out.substr(out.size() - 14), EXIT);
}

TEST(ViperDriver, OnlyWholeBlocksFrom0x800UpTo0x2000AreSent) {
  if (windowsDriver())
    GTEST_SKIP() << NEEDS_TEST_CLOCK;
  // A driver over 2 MiB is cut there, not refused.
  const struct {
    size_t size;
    size_t blocks; // the driver's 16-byte blocks sent
  } cases[] = {{.size = 0x80F, .blocks = 0},    {.size = 0x810, .blocks = 1},
               {.size = 0x1008, .blocks = 128}, {.size = 0x2100, .blocks = 384},
               {.size = 0x200001, .blocks = 384}};
  for (const auto &c : cases) {
    const std::string driver = image(c.size, 7);
    auto r = run(viper("Device1.bin", image(64, 8), "SFDriver.bin", driver));
    // The card starts the driver only when it is called at its one entry.
    const std::string events = r.events();
    EXPECT_TRUE(has(events, "vxp driver started after " + std::to_string(c.blocks) + " blocks\n")) << c.size;
    EXPECT_EQ(r.state("vxp-driver.bin"), driver.substr(0x800, 16 * c.blocks));
    // Device 1 takes the whole file in one window.
    EXPECT_EQ(count(events, "vxp window write"), 1u);
    EXPECT_TRUE(has(events, "vxp window write device 1 start 0x0 count 0x40\n"));
    const std::string driverPart = r.out.substr(0, r.out.find("Calling ISP Driver"));
    EXPECT_EQ(count(driverPart, "\rJob at "), c.blocks + 1) << "one line a block and the last";
    EXPECT_EQ(flash(r, 1), image(64, 8));
  }
}

TEST(ViperExchange, LostAnswersAndStrangeRefusalsRecover) {
  if (windowsDriver())
    GTEST_SKIP() << NEEDS_TEST_CLOCK;
  const std::string data = image(0x200, 13);
  Scenario s = viper("Device1.bin", data, "SFDriver.bin", image(0x810, 1));
  // Frame 4 unanswered, 7 endless, 10 a NACK naming another command, 13 echoed.
  s.card = {"--fault", "vxp-silent-frame=4", "--fault", "vxp-endless=7",
            "--fault", "vxp-nack-other=10",  "--fault", "vxp-echo=13"};
  auto r = run(s);
  EXPECT_EQ(flash(r, 1), data);
  EXPECT_EQ(count(r.out, "Timeout. Retry...SendISP\n"), 10u);
  EXPECT_EQ(count(r.out, "Unable to send command. Exit.SendISP\n"), 2u);
  EXPECT_TRUE(has(r.out, "\nNACK on unknown command. 0x0fff != 0x0501\n"));
  EXPECT_EQ(count(r.out, "\nNACK received. Retry ... \n"), 2u);
  EXPECT_EQ(count(r.out, "ISP Mode Status Request ...\n"), 4u);
  EXPECT_TRUE(has(r.out, "\nTotal Time : "));
}

} // namespace
