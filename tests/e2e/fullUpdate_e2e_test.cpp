// The full update (ALL) with the virtual card's sample files: the scan of
// the update files and the order of work; and the sample script.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>

namespace {

using namespace e2e;

const std::string LOOKING = "\nLooking for update files ... \n\n";

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
      out[entry.path().filename().string()] = readFile(entry.path().string());
    std::filesystem::remove_all(dir);
    return out;
  }();
  return files;
}

Scenario allRun(const std::string &model, std::initializer_list<const char *> names) {
  Scenario s{.card = {"--model", model}, .args = {"COM1", "ALL"}, .input = "k"};
  for (const char *name : names)
    s.files.emplace_back(name, samples().at(name));
  // Tenfold: an ISP receive of 3 s stays 300 ms, a micro command's drain 100 ms.
  s.timeScale = 10;
  return s;
}

TEST(FullUpdate, EverythingOnAnEdidModelInItsOrder) {
  auto r = run(allRun("DVITOSDI", {"Device1.bin", "Device5.bin", "FDriver.bin", "SFDriver.bin",
                                   "fpga.xsvf", "EDID.bin"}));
  EXPECT_TRUE(has(r.out, LOOKING + "Device1.bin : \tYES\nDevice5.bin : \tYES\nSFDriver.bin : \tYES"
                                   "\nFDriver.bin : \tYES\nfpga.xsvf : \tYES\nEDID.bin : \tYES\n"));
  EXPECT_EQ(firstMissing(r.out, {"->Program EDID with  256 bytes...\nSucess\n",
                                  "Loading ISP Driver...\n", "Programm Device5.bin ...\n",
                                  "Loading ISP Driver...\n", "Programm Device1.bin ...\n",
                                  "\n->Programming FPGA...\n", "\nSuccess", "\nTotal Time : ",
                                  std::string(" seconds\n") + EXIT}),
            "");
  // The card saw the same order.
  EXPECT_EQ(firstMissing(r.events(), {"cmd #EDID 2", "cmd =MP", "cmd =ME", "cmd =MP", "cmd =ME",
                                       "cmd #FPGA 1"}),
            "");
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

// The scan drops a device without its driver, and an EDID on a model that
// takes none; the other steps run. Device 5 goes alone with its driver.
TEST(FullUpdate, ScanDropsWhatCannotBeDone) {
  if (windowsDriver())
    GTEST_SKIP() << NEEDS_TEST_CLOCK;
  const std::string noDriver =
      "SFDriver.bin : \tNO  (ERROR - You need a driver to update device1.)\n";
  const struct {
    const char *model;
    std::initializer_list<const char *> files;
    std::string scan; // the console from the scan on
    int status;
  } scans[] = {
      {.model = "DVITOSDI", .files = {"Device1.bin"},
       .scan = LOOKING + "Device1.bin : \tYES\nDevice5.bin : \tNO\n" + noDriver +
               std::string("fpga.xsvf : \tNO\nEDID.bin : \tNO\nNo update available.") + EXIT,
       .status = 2},
      {.model = "SDITODVI", .files = {"Device1.bin", "EDID.bin", "fpga.xsvf"},
       .scan =
           LOOKING + "Device1.bin : \tYES\nDevice5.bin : \tNO\n" + noDriver + "fpga.xsvf : \tYES\n",
       .status = 1},
      {.model = "HDMITOSDI", .files = {"Device5.bin", "FDriver.bin"},
       .scan = LOOKING + "Device1.bin : \tNO\nDevice5.bin : \tYES\nFDriver.bin : \tYES\n"
                         "fpga.xsvf : \tNO\nEDID.bin : \tNO\nLoading ISP Driver...\n",
       .status = 0},
  };
  for (const auto &c : scans) {
    const Result r = run(allRun(c.model, c.files));
    EXPECT_EQ(from(r.out, LOOKING).substr(0, c.scan.size()), c.scan) << c.model;
    EXPECT_EQ(r.status, c.status) << c.model;
    EXPECT_FALSE(has(r.events(), "cmd #EDID")) << c.model;
    EXPECT_EQ(count(r.events(), "cmd =ME"), has(c.scan, "Device5.bin : \tYES") ? 1u : 0u);
    const bool fpga = has(c.scan, "fpga.xsvf : \tYES");
    EXPECT_EQ(has(r.out, "\nSuccess\nTotal Time : "), fpga) << c.model;
    EXPECT_EQ(has(r.out, std::string(" seconds\n") + EXIT), c.status != 2) << c.model;
  }
}

// The sample script holds only commands the virtual card acknowledges.
TEST(Samples, RemoteScriptRunsClean) {
  const Result r = run({.args = {"COM1", "REMOTE", "remote.txt"},
                        .files = {{"remote.txt", samples().at("remote.txt")}}});
  EXPECT_TRUE(has(r.out, "\n->ACK : 4 / 4  \n->NACK : 0 / 4  ")) << r.out;
  EXPECT_EQ(r.status, 0);
}

} // namespace
