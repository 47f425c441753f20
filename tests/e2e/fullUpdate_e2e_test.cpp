// The full update (ALL) against the virtual card: the scan of the fixed
// update files, the order of work, and the stop after a failed load. The
// update files are the virtual card's sample set.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

namespace {

using e2e::count;
using e2e::run;
using e2e::Scenario;

const char EXIT[] = "\nExit updater\n";
const char LOOKING[] = "\nLooking for update files ... \n\n";

// The sample set of `cardsim --write-samples`, by file name.
const std::map<std::string, std::string> &samples() {
  static const std::map<std::string, std::string> files = [] {
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("samples-" + std::to_string(::getpid())))
            .string();
    const std::string command = std::string(CARDSIM_PATH) + " --write-samples '" + dir + "'";
    std::map<std::string, std::string> out;
    if (std::system(command.c_str()) != 0)
      return out;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
      out[entry.path().filename().string()] = e2e::readFile(entry.path().string());
    std::filesystem::remove_all(dir);
    return out;
  }();
  return files;
}

Scenario allRun(const std::string &model, std::initializer_list<const char *> names) {
  Scenario s{{"--model", model}, {"COM1", "ALL"}, "k", {}};
  for (const char *name : names)
    s.files.emplace_back(name, samples().at(name));
  s.timeScale = 50; // the loads wait out seconds of reset and erase pauses
  return s;
}

bool has(const std::string &text, const std::string &what) {
  return text.find(what) != std::string::npos;
}

// Positions of `marks` in `text`, each searched after the one before; npos
// for the first one missing.
bool inOrder(const std::string &text, std::initializer_list<std::string> marks,
             std::string *missing) {
  size_t at = 0;
  for (const std::string &mark : marks) {
    at = text.find(mark, at);
    if (at == std::string::npos) {
      *missing = mark;
      return false;
    }
    at += mark.size();
  }
  return true;
}

TEST(SampleSet, EdidPassesConformityChecks) {
  if (std::system("command -v edid-decode >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "edid-decode is not installed";
  const std::string path =
      (std::filesystem::temp_directory_path() / ("EDID-" + std::to_string(::getpid()) + ".bin"))
          .string();
  {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const std::string &edid = samples().at("EDID.bin");
    std::fwrite(edid.data(), 1, edid.size(), f);
    std::fclose(f);
  }
  const int status = std::system(("edid-decode -c '" + path + "' >/dev/null").c_str());
  std::remove(path.c_str());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(samples().size(), 8u);
}

TEST(FullUpdate, EverythingOnAnEdidModelInItsOrder) {
  // Under Wine this runs in real time: about 35 s of reset and erase pauses.
  auto r = run(allRun("DVITOSDI", {"Device1.bin", "Device5.bin", "FDriver.bin", "SFDriver.bin",
                                   "fpga.xsvf", "EDID.bin"}));
  EXPECT_TRUE(has(r.out, std::string(LOOKING) + "Device1.bin : \tYES\nDevice5.bin : \tYES\n"
                                                "SFDriver.bin : \tYES\nFDriver.bin : \tYES\n"
                                                "fpga.xsvf : \tYES\nEDID.bin : \tYES\n"));
  std::string missing;
  EXPECT_TRUE(inOrder(r.out,
                      {"->Program EDID with  256 bytes...\nSucess\n", "Loading ISP Driver...\n",
                       "Programm Device5.bin ...\n", "Loading ISP Driver...\n",
                       "Programm Device1.bin ...\n", "\n->Programming FPGA...\n", "\nSuccess",
                       "\nTotal Time : 0 minutes ", std::string(" seconds\n") + EXIT},
                      &missing))
      << missing;
  // The card saw the same order: EDID, driver and device 5, "=ME", driver
  // and device 1, "=ME", FPGA.
  EXPECT_TRUE(inOrder(r.events(),
                      {"cmd #EDID 2", "cmd =MP", "cmd =ME", "cmd =MP", "cmd =ME", "cmd #FPGA 1"},
                      &missing))
      << missing;
  EXPECT_EQ(count(r.events(), "cmd =ME"), 2u);
  for (const char *device : {"1", "5"}) {
    const std::string image = samples().at(std::string("Device") + device + ".bin");
    EXPECT_EQ(r.state(std::string("flash-device") + device + ".bin").substr(0, image.size()), image)
        << device;
  }
  EXPECT_EQ(r.state("edid.bin"), samples().at("EDID.bin"));
  EXPECT_EQ(r.state("fpga.bin"), samples().at("fpga.xsvf"));
  EXPECT_EQ(r.status, 0);
}

TEST(FullUpdate, OnlyDevice5WithItsDriver) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << e2e::NEEDS_TEST_CLOCK;
  auto r = run(allRun("HDMITOSDI", {"Device5.bin", "FDriver.bin"}));
  EXPECT_TRUE(has(r.out, std::string(LOOKING) + "Device1.bin : \tNO\nDevice5.bin : \tYES\n"
                                                "FDriver.bin : \tYES\nfpga.xsvf : \tNO\n"
                                                "EDID.bin : \tNO\nLoading ISP Driver...\n"));
  EXPECT_FALSE(has(r.out, "SFDriver.bin : "));
  EXPECT_EQ(count(r.out, "Loading ISP Driver...\n"), 1u);
  EXPECT_FALSE(has(r.out, "Programming FPGA"));
  EXPECT_TRUE(has(r.out, "\nTotal Time : "));
  EXPECT_EQ(count(r.events(), "cmd =ME"), 1u);
}

TEST(FullUpdate, ScanWithoutUsableFiles) {
  // A device without its driver is dropped with an error line.
  auto r = run(allRun("DVITOSDI", {"Device1.bin"}));
  EXPECT_TRUE(has(r.out, std::string(LOOKING) + "Device1.bin : \tYES\nDevice5.bin : \tNO\n"
                                                "SFDriver.bin : \tNO  (ERROR - You need a driver "
                                                "to update device1.)\nfpga.xsvf : \tNO\n"
                                                "EDID.bin : \tNO\nNo update available." + EXIT));
  // An EDID on a model that takes none is not even looked for.
  auto other = run(allRun("SDITODVI", {"EDID.bin"}));
  EXPECT_TRUE(has(other.out, std::string(LOOKING) + "Device1.bin : \tNO\nDevice5.bin : \tNO\n"
                                                    "fpga.xsvf : \tNO\nNo update available." + EXIT));
  EXPECT_FALSE(has(other.events(), "cmd #EDID"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(other.status, 2);
  // With something else to do, the other steps run, and the run fails.
  auto dropped = run(allRun("SDITODVI", {"Device1.bin", "fpga.xsvf"}));
  EXPECT_TRUE(has(dropped.out, "to update device1.)\nfpga.xsvf : \tYES\n"));
  EXPECT_TRUE(has(dropped.out, "\nSuccess\nTotal Time : "));
  EXPECT_EQ(dropped.status, 1);
}

TEST(FullUpdate, EdidIsSkippedOnModelsWithoutOne) {
  auto r = run(allRun("SDITODVI", {"EDID.bin", "fpga.xsvf"}));
  EXPECT_FALSE(has(r.out, "EDID.bin : "));
  EXPECT_FALSE(has(r.events(), "cmd #EDID"));
  EXPECT_TRUE(has(r.out, "\nSuccess\nTotal Time : 0 minutes "));
  EXPECT_EQ(r.out.substr(r.out.size() - std::string(EXIT).size()), EXIT);
  EXPECT_EQ(r.status, 0);
}

TEST(FullUpdate, FailedDriverLoadStopsEverythingAfterTheKey) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << e2e::NEEDS_TEST_CLOCK;
  Scenario s = allRun("DVITOSDI", {"Device1.bin", "Device5.bin", "FDriver.bin", "SFDriver.bin",
                                   "fpga.xsvf", "EDID.bin"});
  s.card.insert(s.card.end(), {"--fault", "refuse=MP"});
  auto r = run(s);
  EXPECT_TRUE(has(r.out, "Sucess\n"));  // the EDID went first and stays
  EXPECT_TRUE(has(r.out, "Press a key to continue ... " + std::string(EXIT)));
  EXPECT_EQ(count(r.out, "Loading ISP Driver...\n"), 1u);
  EXPECT_FALSE(has(r.out, "Programm Device"));
  // Only the EDID job's own total time: the full update's is skipped.
  EXPECT_EQ(count(r.out, "Total Time"), 1u);
  EXPECT_FALSE(has(r.events(), "cmd #FPGA"));
  EXPECT_EQ(r.state("edid.bin"), samples().at("EDID.bin"));
  EXPECT_EQ(r.status, 1);
}

} // namespace
