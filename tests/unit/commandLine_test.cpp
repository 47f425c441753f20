#include "driver/commandLine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The job words' texts and case and the file names' refusals are checked end
// to end (Files/BadInputCatalogue, Identification).
TEST(CommandLineWords, WordCountAndJobNames) {
  for (const auto &[count, job, runs] :
       {std::tuple{3, "MICRO", true}, {3, "FPGA", false}, {2, "", false}, {4, "ANYTHING", true}})
    EXPECT_EQ(wordCountRunsJob(count, job), runs) << count << job;
  // EDID only on models that accept one.
  for (const auto &[dvi, job, said] : {std::tuple{1, JOB_EDID, ""},
                                       {0, JOB_NONE, "Must be FPGA, VIPER, MICRO, CMD, GAMMA or ALL\n"}}) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(lookupJob("EDID", dvi), job) << dvi;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), said) << dvi;
  }
}

// Names the refusals leave through: device 7, an ending as long as the name,
// and whatever follows ".bin".
TEST(FileRules, NamesEndingsAndPresence) {
  const fs::path home = fs::current_path();
  char pattern[] = "/tmp/updater-rules-XXXXXX";
  fs::current_path(mkdtemp(pattern));
  const std::tuple<unsigned short, const char *, unsigned short> cases[] = {
      {JOB_VIPER, "Device7.bin", 7}, {JOB_VERIFY, "Device5.binary", 5}, {JOB_FPGA, ".xsvf", 0}};
  for (const auto &[job, name, device] : cases) {
    std::ofstream(name) << "x";
    unsigned short found = 0;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(fileTest(job, name, &found)) << name;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(found, device) << name;
  }
  fs::remove_all(fs::current_path());
  fs::current_path(home);
}

} // namespace
