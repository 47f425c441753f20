#include "driver/commandLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(CaseSensitive, UpperCasesLettersOnly) {
  char out[100];
  caseSensitive("com12", out);
  EXPECT_STREQ(out, "COM12");
  caseSensitive("sTaTuS-9_\xe9", out);
  EXPECT_STREQ(out, "STATUS-9_\xe9");
  caseSensitive("", out);
  EXPECT_STREQ(out, "");
}

TEST(JobTable, WordCountNeededByEachJob) {
  EXPECT_TRUE(wordCountRunsJob(3, "MICRO"));
  EXPECT_TRUE(wordCountRunsJob(3, "ALL"));
  EXPECT_TRUE(wordCountRunsJob(3, "STATUS"));
  EXPECT_FALSE(wordCountRunsJob(3, "FPGA"));
  EXPECT_FALSE(wordCountRunsJob(2, ""));
  EXPECT_TRUE(wordCountRunsJob(4, "ANYTHING"));
}

std::string lookupPrints(const char *word, int dvi, unsigned short *job) {
  testing::internal::CaptureStdout();
  *job = lookupJob(word, dvi);
  return testing::internal::GetCapturedStdout();
}

TEST(JobTable, EdidOnlyOnModelsThatAcceptOne) {
  unsigned short job;
  EXPECT_EQ(lookupPrints("EDID", 1, &job), "");
  EXPECT_EQ(job, JOB_EDID);
  EXPECT_EQ(lookupPrints("EDID", 0, &job),
            "Must be FPGA, VIPER, MICRO, CMD, GAMMA or ALL\n");
  EXPECT_EQ(job, JOB_NONE);
  EXPECT_EQ(lookupPrints("CMD", 1, &job),
            "Must be FPGA, VIPER, MICRO, EDID, CMD , GAMMA or ALL\n");
  EXPECT_EQ(lookupPrints("GAMMA", 0, &job), "");
  EXPECT_EQ(job, JOB_GAMMA);
}

// Runs the file test in a fresh working directory holding `present`.
class FileRules : public testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/updater-rules-XXXXXX";
    dir_ = mkdtemp(pattern);
    old_ = fs::current_path();
    fs::current_path(dir_);
    for (const char *name : {"Device7.bin", "Device5.binary", "fpga.xsvf",
                             "FPGA.XSVF", "edid.bin", "g.csv", "r.txt"})
      std::ofstream(name) << "x";
  }
  void TearDown() override {
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  std::string check(unsigned short job, const char *name, bool *ok,
                    unsigned short *device = nullptr) {
    unsigned short scratch = 0;
    testing::internal::CaptureStdout();
    // A missing file's PAUSE reads its key from an empty input.
    if (!std::freopen("/dev/null", "r", stdin))
      ADD_FAILURE();
    *ok = fileTest(job, name, device ? device : &scratch);
    return testing::internal::GetCapturedStdout();
  }
  fs::path dir_, old_;
};

TEST_F(FileRules, DeviceFileNames) {
  bool ok;
  unsigned short device = 0;
  EXPECT_EQ(check(JOB_VIPER, "device5.bin", &ok), "Bad device file. (Device 1 or 5 only)\n");
  EXPECT_EQ(check(JOB_VIPER, "Device3.bin", &ok), "Bad device file. (Device 1,5  or 7 only)\n");
  EXPECT_EQ(check(JOB_VERIFY, "Device5.hex", &ok), "Bad device file. (Device 1, 5 or 7 only)\n");
  EXPECT_EQ(check(JOB_VIPER, "Dev", &ok), "Bad device file. (Device 1 or 5 only)\n");
  EXPECT_EQ(check(JOB_VIPER, "Device", &ok), "Bad device file. (Device 1,5  or 7 only)\n");
  EXPECT_EQ(check(JOB_VIPER, "Device1.bin", &ok), "File Device1.bin doesn't exist.\n");
  EXPECT_FALSE(ok);
  EXPECT_EQ(check(JOB_VIPER, "Device7.bin", &ok, &device), "");
  EXPECT_TRUE(ok);
  EXPECT_EQ(device, 7);
  // Whatever follows ".bin" is not tested.
  EXPECT_EQ(check(JOB_VERIFY, "Device5.binary", &ok, &device), "");
  EXPECT_TRUE(ok);
  EXPECT_EQ(device, 5);
}

TEST_F(FileRules, EndingsAreCaseSensitiveAndLongerThanTheName) {
  bool ok;
  EXPECT_EQ(check(JOB_FPGA, "FPGA.XSVF", &ok), "Bad fpga file\n");
  EXPECT_EQ(check(JOB_FPGA, "svf", &ok), "Bad fpga file\n");
  EXPECT_EQ(check(JOB_EDID, "in", &ok), "Bad EDID file\n");
  EXPECT_EQ(check(JOB_GAMMA, "g.CSV", &ok), "Bad GAMMA file\n");
  EXPECT_EQ(check(JOB_REMOTE, "r.text", &ok), "Bad REMOTE file\n");
  EXPECT_FALSE(ok);
  EXPECT_EQ(check(JOB_FPGA, "fpga.xsvf", &ok), "");
  EXPECT_TRUE(ok);
  EXPECT_EQ(check(JOB_REMOTE, "r.txt", &ok), "");
  EXPECT_TRUE(ok);
}

TEST_F(FileRules, MissingFileWaitsForAKey) {
  bool ok;
  EXPECT_EQ(check(JOB_GAMMA, "none.csv", &ok),
            "File none.csv doesn't exist.\nPress any key to continue . . . \n");
  EXPECT_FALSE(ok);
}

} // namespace
