// The job spine against the virtual card: command line, port, probe,
// identification, banner, usage and file checks.
#include "harness.h"
#include "microSet.h"

#include <gtest/gtest.h>

namespace {

using e2e::count;
using e2e::run;
using e2e::Scenario;

const char STARS[] = "* * * * * * * * * * * * * * * * * * * * * * * * * * * * *\n";
const char ASKING[] =
    "\nNow communicating with the card to obtain version information...";
const char EXIT[] = "\nExit updater\n";

std::string banner(const std::string &model, const std::string &version) {
  return std::string("\r\n") + STARS + "\t\t\t\t\t\t\t*\r*\t\t\t" + model +
         "\n*\t\t\t\t\t\t\t*\n\t\t\t\t\t\t\t*\r*\tUpdater Version   -> 1.11\n"
         "*\t\t\t\t\t\t\t*\n\t\t\t\t\t\t\t*\r*\tSoftware Version  -> " +
         version + "\n" + STARS;
}

std::string usage(bool edid) {
  return std::string("Error: Usage is\n"
                     "  updater [COMXX] [FPGA/VIPER] Filename.xxx\n"
                     "e.g. updater COM1 FPGA fpga.xsvf\n"
                     "e.g. updater COM1 VIPER Device5.bin\n"
                     "e.g. updater COM1 MICRO\n") +
         (edid ? "e.g. updater COM1 EDID\n" : "e.g. updater COM1 ALL\n");
}

// The console of a run that identifies the card and stops after the banner
// with `tail`.
std::string identified(const std::string &model, const std::string &version,
                       const std::string &tail) {
  return std::string(ASKING) + "OK" + banner(model, version) + tail + EXIT;
}

TEST(CommandLine, NoArgumentsPrintsNothingAndOpensNoPort) {
  auto r = run({{}, {}});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.state("received.bin"), "");
}

TEST(CommandLine, PortWordMustStartWithCom) {
  auto r = run({{}, {"XYZ1", "STATUS"}});
  EXPECT_EQ(r.out, std::string("Must be COMXX\n") + EXIT);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.state("received.bin"), "");
}

TEST(CommandLine, OverlongWordsAreRefusedWithoutTouchingTheCard) {
  auto port = run({{}, {"COM" + std::string(200, '1'), "STATUS"}});
  EXPECT_EQ(port.out, std::string("The port word is too long (at most 99 characters).\n") + EXIT);
  auto job = run({{}, {"COM1", std::string(100, 'J')}});
  EXPECT_EQ(job.out, std::string("The job word is too long (at most 99 characters).\n") + EXIT);
  auto file = run({{}, {"com1", "fpga", std::string(256, 'f') + ".xsvf"}});
  EXPECT_NE(file.out.find("The file name is too long (at most 255 characters).\n"),
            std::string::npos);
  EXPECT_EQ(count(file.events(), "cmd #FPGA"), 0u);
  for (const auto *refused : {&port, &job, &file})
    EXPECT_EQ(refused->status, 2);
}

TEST(PortOpening, MissingPortNamesIt) {
  auto r = run({{}, {"COM9", "STATUS"}});
  EXPECT_EQ(r.out, std::string("Failed to open COM9 :  The COM port selected don't exist!\n") + EXIT);
  EXPECT_EQ(r.status, 3);
}

TEST(PortOpening, PortHeldByAnotherProgram) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << "native build only: Wine does not refuse a second open of "
                    "a serial device (its share-mode check leaves character "
                    "devices out), so no Windows run can meet a port in use";
  Scenario r{{}, {"COM1", "STATUS"}};
  r.holdPort = true;
  auto result = run(r);
  EXPECT_EQ(result.out, std::string("Failed to open COM1 :  The COM port selected is "
                                    "already open by an other program!\n") + EXIT);
  EXPECT_EQ(result.status, 3);
}

TEST(Identification, EveryModelGetsItsBanner) {
  const std::pair<const char *, const char *> models[] = {
      {"DVITOSDI", "DVI TO SDI"},      {"SDITODVI", "DL-SDI TO DVI"},
      {"SL-SDITODVI", "SL-SDI TO DVI"}, {"HDMITOSDI", "HDMI TO SDI"},
      {"SDITOHDMI", "DL-SDI TO HDMI"}, {"SL-SDITOHDMI", "SL-SDI TO HDMI"}};
  for (const auto &m : models) {
    const bool edid = std::string(m.first) == "DVITOSDI" || std::string(m.first) == "HDMITOSDI";
    auto r = run({{"--model", m.first, "--version", "2.05"}, {"com1"}});
    EXPECT_EQ(r.out, identified(m.second, "2.05", usage(edid))) << m.first;
    EXPECT_EQ(r.status, 2) << m.first;
  }
}

TEST(Identification, PlusEditionAndVersionWords) {
  auto plus = run({{"--model", "HDMITOSDI", "--edition", "2", "--version", "3.07"}, {"COM1"}});
  EXPECT_EQ(plus.out, identified("HDMI TO SDI PLUS", "3.07", usage(true)));
  auto unknown = run({{"--model", "SDITODVI", "--version", "E1.0"}, {"COM1"}});
  EXPECT_EQ(unknown.out, identified("DL-SDI TO DVI", "Unknown", usage(false)));
  // A version word longer than the banner's nine characters keeps nine.
  auto longWord = run({{"--model", "SDITODVI", "--version", "1234567890AB"}, {"COM1"}});
  EXPECT_EQ(longWord.out, identified("DL-SDI TO DVI", "123456789", usage(false)));
}

TEST(Identification, UnknownModelIsAskedAgainUntilRecognised) {
  auto r = run({{"--model", "DVITOSDI", "--unknown-model-first", "2"}, {"COM1"}});
  EXPECT_EQ(count(r.out, "\nERROR CARD MODEL UNKNOWN"), 2u);
  EXPECT_EQ(count(r.out, ASKING), 3u);
  EXPECT_NE(r.out.find(banner("DVI TO SDI", "2.05")), std::string::npos);
}

TEST(Identification, SilentCardIsAskedAgainWithoutEnd) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << "native build only: each identification of a silent card "
                    "takes over two minutes of real time, and the Windows build "
                    "has no test clock to shorten it";
  Scenario r{{"--fault", "silent"}, {"COM1", "STATUS"}};
  r.timeScale = 50;
  r.killAfter = 8;
  auto result = run(r);
  EXPECT_TRUE(result.killed());
  EXPECT_GE(count(result.out, "\nError no communication with the device"), 2u);
  EXPECT_EQ(result.out.find("Software Version"), std::string::npos);
}

TEST(Identification, UnansweredModelQuestionTriesTheKeyBytes) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << "native build only: each identification of a silent card "
                    "takes over two minutes of real time, and the Windows build "
                    "has no test clock to shorten it";
  // A model answer that never reaches its carriage return is no answer.
  Scenario r{{"--model", "DVITOSDI", "--fault", "no-cr=DEVTYPE"}, {"COM1", "STATUS"}};
  r.timeScale = 20;
  r.killAfter = 6;
  auto result = run(r);
  EXPECT_TRUE(result.killed());
  EXPECT_GE(count(result.out, std::string(ASKING) + "\nError no communication with the device"), 1u);
  EXPECT_GE(count(result.events(), "old-firmware key 1"), 1u);
}

TEST(Identification, AnswersThroughNoiseAndSplitReads) {
  for (const char *fault : {"noise", "split"}) {
    auto r = run({{"--model", "SDITOHDMI", "--fault", fault}, {"COM1"}});
    EXPECT_EQ(r.out, identified("DL-SDI TO HDMI", "2.05", usage(false))) << fault;
  }
}

TEST(OldFirmware, MicroHandsTheCardOverToBootMode) {
  Scenario r{{"--old-firmware"}, {"COM1", "MICRO"}, "", e2e::microFiles()};
  r.timeScale = 20;
  auto result = run(r);
  EXPECT_EQ(result.out, std::string(ASKING) + "\nYou are using an old firmware version..." + EXIT);
  EXPECT_EQ(result.status, 1) << "the flash is written by the next run";
  EXPECT_EQ(count(result.events(), "mode boot"), 1u);
}

TEST(OldFirmware, OtherJobsAreUnsupported) {
  Scenario r{{"--old-firmware"}, {"COM1", "STATUS"}};
  r.timeScale = 20;
  auto result = run(r);
  EXPECT_EQ(result.out, std::string(ASKING) + "\nYou are using an old firmware version..."
                            "\nUnsupported feature...Update the firmware version" + EXIT);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(count(result.events(), "mode boot"), 0u);
}

TEST(Probe, BootProgramWaitingForRebootStopsMicro) {
  auto r = run({{"--boot-reboot"}, {"COM1", "MICRO"}, "", e2e::microFiles()});
  EXPECT_EQ(r.out, "\nThe BOOT program needs to be reboot  -> Please reboot the card "
                   "and try again" + std::string(EXIT));
  EXPECT_EQ(r.status, 1);
}

TEST(Probe, SilentMicroStartsTheBootModeRun) {
  Scenario r{{"--boot-mode"}, {"COM1", "MICRO"}, "", e2e::microFiles()};
  r.timeScale = 20;
  auto result = run(r);
  EXPECT_EQ(result.out.rfind("\nFlash is not programmed (BOOT MODE) or using old firmware "
                             "version\nMICRO Mode OK...Now starting the FDT programm...\n", 0),
            0u);
  EXPECT_NE(result.events().find("rate 9600"), std::string::npos);
  EXPECT_EQ(result.status, 0);
}

TEST(Probe, MicroWithoutItsFileNamesIt) {
  auto r = run({{}, {"COM1", "MICRO"}});
  EXPECT_EQ(r.out, std::string("File appMain.mot doesn't exist.\n") + EXIT);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.state("received.bin"), "");
}

TEST(Probe, RefusedMicroFileSizeSendsNothing) {
  auto r = run({{}, {"COM1", "MICRO"}, "", {{"appMain.mot", std::string(510718, 'S')}}});
  EXPECT_EQ(r.out, std::string("Bad appMain.mot file. Exit.\n") + EXIT);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.state("received.bin"), "");
}

TEST(JobWord, UsageAndJobWordErrorsForBothModelGroups) {
  auto fpgaNoFile = run({{"--model", "SDITODVI"}, {"COM1", "FPGA"}});
  EXPECT_EQ(fpgaNoFile.out, identified("DL-SDI TO DVI", "2.05", usage(false)));
  auto edidWrongModel = run({{"--model", "SDITODVI"}, {"COM1", "EDID", "e.bin"}});
  EXPECT_EQ(edidWrongModel.out, identified("DL-SDI TO DVI", "2.05",
                                           "Must be FPGA, VIPER, MICRO, CMD, GAMMA or ALL\n"));
  auto unknownWord = run({{"--model", "DVITOSDI"}, {"COM1", "CMD", "x"}});
  EXPECT_EQ(unknownWord.out, identified("DVI TO SDI", "2.05",
                                        "Must be FPGA, VIPER, MICRO, EDID, CMD , GAMMA or ALL\n"));
  for (const auto *refused : {&fpgaNoFile, &edidWrongModel, &unknownWord})
    EXPECT_EQ(refused->status, 2);
}

TEST(FileChecks, NameRulesAndMissingFiles) {
  auto bad = run({{"--model", "DVITOSDI"}, {"COM1", "viper", "device5.bin"}});
  EXPECT_EQ(bad.out, identified("DVI TO SDI", "2.05", "Bad device file. (Device 1 or 5 only)\n"));
  auto upper = run({{"--model", "DVITOSDI"}, {"COM1", "FPGA", "FPGA.XSVF"}});
  EXPECT_EQ(upper.out, identified("DVI TO SDI", "2.05", "Bad fpga file\n"));
  auto missing = run({{"--model", "DVITOSDI"}, {"COM1", "FPGA", "fpga.xsvf"}});
  EXPECT_EQ(missing.out, identified("DVI TO SDI", "2.05",
                                    "File fpga.xsvf doesn't exist.\n"
                                    "Press any key to continue . . . \n"));
  auto noDevice = run({{"--model", "DVITOSDI"}, {"COM1", "VERIFY", "Device7.bin"}});
  EXPECT_EQ(noDevice.out, identified("DVI TO SDI", "2.05", "File Device7.bin doesn't exist.\n"));
  for (const auto *refused : {&bad, &upper, &missing, &noDevice})
    EXPECT_EQ(refused->status, 2);
}

} // namespace
