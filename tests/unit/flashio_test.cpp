// The VIPER job's test of the image file before anything goes to the card:
// a file the job could not write whole is refused before the driver load.
#include "isp/flashio.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// A refusal of the opened file ends with its elapsed time.
const char TIME_LINE[] = "\nTime : 0 minutes 0 seconds\n";

class ImageFileTest : public ::testing::Test {
protected:
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("flashio-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string write(const std::string &name, size_t size) {
    const fs::path p = dir / name;
    std::ofstream(p, std::ios::binary) << std::string(size, '\x5A');
    return p.string();
  }
  // Runs the test and returns what it printed.
  std::string accepts(const std::string &name, int device, bool *accepted) {
    ::testing::internal::CaptureStdout();
    *accepted = imageFileAcceptable(name.c_str(), device);
    return ::testing::internal::GetCapturedStdout();
  }
};

TEST_F(ImageFileTest, SizesThatCanBeWrittenWholeAreAccepted) {
  bool ok = false;
  EXPECT_EQ(accepts(write("Device1.bin", 1), 1, &ok), "");
  EXPECT_TRUE(ok);
  EXPECT_EQ(accepts(write("Device5.bin", 0x100), 5, &ok), "");
  EXPECT_TRUE(ok);
  EXPECT_EQ(accepts(write("Device7.bin", IMAGE_MAX_SIZE), 7, &ok), "");
  EXPECT_TRUE(ok);
}

TEST_F(ImageFileTest, TooLongOrShorterThanTheHeaderIsRefused) {
  bool ok = true;
  const std::string longer = write("Device1.bin", IMAGE_MAX_SIZE + 1);
  EXPECT_EQ(accepts(longer, 1, &ok),
            "File " + longer + " is longer than 2097152 bytes: refused, nothing was sent.\n" +
                TIME_LINE);
  EXPECT_FALSE(ok);
  const std::string shorter = write("Device5.bin", 0xFF);
  EXPECT_EQ(accepts(shorter, 5, &ok),
            "File " + shorter + " is shorter than its 256-byte header: refused, nothing was sent.\n" +
                TIME_LINE);
  EXPECT_FALSE(ok);
}

// An empty image would have the device erased and nothing written to it.
TEST_F(ImageFileTest, EmptyImageIsRefused) {
  bool ok = true;
  const std::string empty = write("Device1.bin", 0);
  EXPECT_EQ(accepts(empty, 1, &ok), "File " + empty + " is empty: refused, nothing was sent.\n" + TIME_LINE);
  EXPECT_FALSE(ok);
}

// A directory passes the presence test; it was taken for an image longer
// than 2 MiB.
TEST_F(ImageFileTest, UnreadableNameIsRefusedAsSuch) {
  bool ok = true;
  const fs::path folder = dir / "Device1.bin";
  fs::create_directories(folder);
  EXPECT_EQ(accepts(folder.string(), 1, &ok),
            "File " + folder.string() + " cannot be read: refused, nothing was sent.\n" + TIME_LINE);
  EXPECT_FALSE(ok);
  const std::string missing = (dir / "Device5.bin").string();
  EXPECT_EQ(accepts(missing, 5, &ok), "Unable to open file : " + missing + "\n");
  EXPECT_FALSE(ok);
}

} // namespace
