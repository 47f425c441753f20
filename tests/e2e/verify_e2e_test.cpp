// The VERIFY job: read-back windows, differing words, refused read-backs.
#include "harness.h"
#include "isp_e2e.h"

#include <gtest/gtest.h>

namespace {

using namespace e2e;
using isp_e2e::image;

std::string closing(int mismatches) {
  return "\rJob at 100% ----- Mismatch Total " + std::to_string(mismatches) +
         " \t\t\t\t\n\nTotal Time : ";
}

// VERIFY of `fileName` against a card whose device holds `device`.
Scenario verify(const std::string &fileName, const std::string &file, const std::string &device,
                std::vector<std::string> card = {}) {
  card.insert(card.begin(), {"--flash", fileName.substr(6, 1) + "=flash.bin"});
  Scenario s{card, {"COM1", "VERIFY", fileName}};
  s.files = {{fileName, file}, {"flash.bin", device}};
  s.timeScale = 10;
  return s;
}

std::string changed(std::string bytes, size_t at, char mask) {
  bytes[at] ^= mask;
  return bytes;
}

struct Check {
  const char *name;
  Scenario run;
  std::vector<std::string> out; // console texts, in this order
  int status;
  std::string event; // an event of the card, and how often it comes
  size_t times;
  std::string err = ""; // the count and the first differing word on standard error, "" for none
};

std::ostream &operator<<(std::ostream &os, const Check &c) { return os << c.name; }

const std::string DATA = image(0x1000, 22);
const std::string ODD = image(101, 23);
const std::string SHORT = image(0x100, 25);

// The line that names how many words differ and the first of them: its
// byte address, the file's value and the card's (`digits` hex digits).
std::string firstDiffers(const char *count, unsigned address, unsigned file, unsigned card, int digits) {
  char line[160];
  std::snprintf(line, sizeof line, "updater: %s; the first at byte 0x%06X: 0x%0*X in the file, 0x%0*X on the card\n",
                count, address, digits, file, digits, card);
  return line;
}
unsigned wordAt(const std::string &bytes, size_t at) {
  return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}

const Check CHECKS[] = {
    {.name = "IdenticalDevice", .run = verify("Device5.bin", image(0x3000, 21), image(0x3000, 21)),
     .out = {"File Size : 12288 bytes\nSetting ISP Mode...\n\rJob at 0.26 % --- Mismatch Total 0",
             closing(0)},
     .status = 0, .event = "vxp window read device 5 start 0x0 count 0x3000", .times = 1},
    // One byte of a word, both bytes of another, and two words read back wrong.
    {.name = "CountsDifferingWords",
     .run = verify("Device1.bin", DATA,
                   changed(changed(changed(DATA, 0x401, 1), 0x500, 0x10), 0x501, 0x10),
                   faults({"vxp-differ=7", "vxp-differ=2047"})),
     .out = {"Mismatch Total 1", closing(4)}, .status = 1, .event = "vxp window read", .times = 1,
     .err = firstDiffers("4 words differ", 14, wordAt(DATA, 14), wordAt(DATA, 14) ^ 0x0100, 4)},
    // An odd-length file compares only its last byte of the last word.
    {.name = "OddLengthFile", .run = verify("Device7.bin", ODD, ODD + "\xAA"), .out = {closing(0)},
     .status = 0, .event = "vxp window read", .times = 1},
    {.name = "OddLengthFileLastByteDiffers",
     .run = verify("Device7.bin", ODD, changed(ODD, 100, 0x40) + "\xAA"), .out = {closing(1)},
     .status = 1, .event = "vxp window read", .times = 1,
     .err = firstDiffers("1 word differs", 100, static_cast<unsigned char>(ODD[100]),
                         static_cast<unsigned char>(ODD[100] ^ 0x40), 2)},
    {.name = "EmptyFile", .run = verify("Device1.bin", "", image(64, 1)),
     .out = {"File Size : 0 bytes\nSetting ISP Mode...\n" + closing(0)}, .status = 0,
     .event = "vxp window read", .times = 1},
    {.name = "RefusedWindow", .run = verify("Device1.bin", SHORT, SHORT, {"--vxp-no-driver"}),
     .out = {"\nNACK received. Retry ... \n0x5502 0x0200 0x0001 ",
             "Unable to send cmd.\n" + std::string(PRESS_KEY) + EXIT},
     .status = 1, .event = "vxp window read", .times = 0},
};

class Verify : public ::testing::TestWithParam<Check> {};

TEST_P(Verify, ConsoleStatusAndReadBack) {
  const Check &c = GetParam();
  const Result r = run(c.run);
  ASSERT_EQ(firstMissing(r.out, c.out), "") << r.out;
  EXPECT_EQ(r.status, c.status);
  const std::string events = r.events();
  EXPECT_EQ(count(events + r.out, c.event), c.times) << c.event;
  EXPECT_FALSE(has(events, "cmd =")) << "no micro commands";
  EXPECT_FALSE(c.status == 0 && has(events, "vxp nack"));
  EXPECT_FALSE(has(r.out, PRESS_KEY) && has(r.out, "Total Time"));
  EXPECT_EQ(has(r.err, "differ"), !c.err.empty()) << r.err;
  EXPECT_TRUE(has(r.err, c.err)) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Files, Verify, ::testing::ValuesIn(CHECKS),
                         [](const ::testing::TestParamInfo<Check> &info) {
                           return std::string(info.param.name);
                         });

// A USB adapter's default 16 ms latency timer is advised once, on standard
// error only, after 256 exchanges.
TEST(VerifyLine, SlowAdapterIsAdvisedOnStandardErrorOnly) {
  const std::string data = image(260 * 32, 27);
  const Result r = run(verify("Device1.bin", data, data, {"--adapter-latency", "16"}));
  EXPECT_EQ(count(r.err, "The exchanges with the card are slow: each answer comes "), 1u) << r.err;
  EXPECT_TRUE(has(r.out, "Mismatch Total 0 \t\t\t\t\n")) << r.out;
  EXPECT_FALSE(has(r.out, "slow")) << r.out;
}

} // namespace
