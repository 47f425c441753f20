#include "driver/jobs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The names the refusals leave through: device 7, an ending as long as the
// name, and whatever follows ".bin".
TEST(FileRules, NamesEndingsAndPresence) {
  const fs::path home = fs::current_path();
  char pattern[] = "/tmp/updater-rules-XXXXXX";
  fs::current_path(mkdtemp(pattern));
  const std::tuple<Job, const char *, unsigned short> cases[] = {
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

// The job table's facts as the command line sees them: three words run
// exactly the jobs without a file word, and EDID counts only on a model
// that accepts one.
TEST(JobTable, WordsFileWordsAndEdidModels) {
  struct Row {
    const char *word;
    Job job;
    bool takesFile;
  };
  const Row rows[] = {{"FPGA", JOB_FPGA, true},     {"VIPER", JOB_VIPER, true},
                      {"MICRO", JOB_MICRO, false},  {"EDID", JOB_EDID, true},
                      {"ALL", JOB_ALL, false},      {"REMOTE", JOB_REMOTE, true},
                      {"VERIFY", JOB_VERIFY, true}, {"STATUS", JOB_STATUS, false},
                      {"GAMMA", JOB_GAMMA, true}};
  for (const Row &row : rows) {
    EXPECT_EQ(jobOfWord(row.word), row.job) << row.word;
    EXPECT_EQ(jobTakesFile(row.job), row.takesFile) << row.word;
    EXPECT_EQ(wordCountRunsJob(3, row.word), !row.takesFile) << row.word;
  }
  EXPECT_FALSE(wordCountRunsJob(3, "XYZ"));
  testing::internal::CaptureStdout();
  EXPECT_EQ(lookupJob("EDID", false), JOB_NONE);
  EXPECT_EQ(lookupJob("EDID", true), JOB_EDID);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Must be FPGA, VIPER, MICRO, CMD, GAMMA or ALL\n");
}

} // namespace
