#include "driver/commandLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(CommandLineWords, UpperCaseWordCountAndJobNames) {
  char out[100];
  for (const auto &[word, upper] : {std::pair{"com12", "COM12"},
                                    {"sTaTuS-9_\xe9", "STATUS-9_\xe9"}, {"", ""}}) {
    caseSensitive(word, out);
    EXPECT_STREQ(out, upper);
  }
  for (const auto &[count, job, runs] :
       {std::tuple{3, "MICRO", true}, {3, "ALL", true}, {3, "STATUS", true}, {3, "FPGA", false},
        {2, "", false}, {4, "ANYTHING", true}})
    EXPECT_EQ(wordCountRunsJob(count, job), runs) << count << job;
  // EDID only on models that accept one.
  for (const auto &[word, dvi, job, said] :
       {std::tuple{"EDID", 1, JOB_EDID, ""},
        {"EDID", 0, JOB_NONE, "Must be FPGA, VIPER, MICRO, CMD, GAMMA or ALL\n"},
        {"CMD", 1, JOB_NONE, "Must be FPGA, VIPER, MICRO, EDID, CMD , GAMMA or ALL\n"},
        {"GAMMA", 0, JOB_GAMMA, ""}}) {
    testing::internal::CaptureStdout();
    const unsigned short found = lookupJob(word, dvi);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), said) << word;
    EXPECT_EQ(found, job) << word;
  }
}

// The file test in a fresh working directory holding a few files. A
// missing file's PAUSE reads its key from an empty input.
TEST(FileRules, NamesEndingsAndPresence) {
  const fs::path home = fs::current_path();
  char pattern[] = "/tmp/updater-rules-XXXXXX";
  fs::current_path(mkdtemp(pattern));
  for (const char *name : {"Device7.bin", "Device5.binary", "fpga.xsvf", "FPGA.XSVF", "edid.bin",
                           "g.csv", "r.txt", ".xsvf"})
    std::ofstream(name) << "x";
  ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
  // Endings are case-sensitive and must be longer than the name; whatever
  // follows ".bin" is not tested.
  const std::tuple<unsigned short, const char *, std::string, unsigned short> cases[] = {
      {JOB_VIPER, "device5.bin", "Bad device file. (Device 1 or 5 only)\n", 0},
      {JOB_VIPER, "Device3.bin", "Bad device file. (Device 1,5  or 7 only)\n", 0},
      {JOB_VERIFY, "Device5.hex", "Bad device file. (Device 1, 5 or 7 only)\n", 5},
      {JOB_VIPER, "Device1.bin", "File Device1.bin doesn't exist.\n", 1},
      {JOB_VIPER, "Device7.bin", "", 7},
      {JOB_VERIFY, "Device5.binary", "", 5},
      {JOB_FPGA, "FPGA.XSVF", "Bad fpga file\n", 0},
      {JOB_FPGA, "svf", "Bad fpga file\n", 0},
      {JOB_EDID, "in", "Bad EDID file\n", 0},
      {JOB_GAMMA, "g.CSV", "Bad GAMMA file\n", 0},
      {JOB_REMOTE, "r.text", "Bad REMOTE file\n", 0},
      {JOB_FPGA, "fpga.xsvf", "", 0}, {JOB_FPGA, ".xsvf", "", 0},
      {JOB_REMOTE, "r.txt", "", 0},
      {JOB_GAMMA, "none.csv", "File none.csv doesn't exist.\nPress any key to continue . . . \n", 0},
  };
  for (const auto &[job, name, said, device] : cases) {
    unsigned short found = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(fileTest(job, name, &found), said.empty()) << name;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), said);
    EXPECT_EQ(found, device) << name;
  }
  fs::remove_all(fs::current_path());
  fs::current_path(home);
}

} // namespace
