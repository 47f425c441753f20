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

} // namespace
