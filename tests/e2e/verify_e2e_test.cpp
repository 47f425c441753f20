// The VERIFY job against the virtual card: read-back windows, the count of
// differing words, and recovery from refused, strange and short answers.
#include "harness.h"
#include "isp_e2e.h"

#include <gtest/gtest.h>

namespace {

using e2e::count;
using e2e::run;
using e2e::Scenario;
using isp_e2e::image;

const char PRESS_KEY[] = "Press a key to continue ... ";
const char EXIT[] = "\nExit updater\n";

std::string closing(int mismatches) {
  return "\rJob at 100% ----- Mismatch Total " + std::to_string(mismatches) +
         " \t\t\t\t\n\nTotal Time : ";
}

// VERIFY of `fileName` against a card whose device holds `device`.
Scenario verify(const std::string &fileName, const std::string &file, int deviceNumber,
                const std::string &device) {
  Scenario s{{"--flash", std::to_string(deviceNumber) + "=flash.bin"},
             {"COM1", "VERIFY", fileName}};
  s.files = {{fileName, file}, {"flash.bin", device}};
  s.timeScale = 10;
  return s;
}

TEST(Verify, IdenticalDeviceHasNoMismatch) {
  const std::string data = image(0x3000, 21);
  auto r = run(verify("Device5.bin", data, 5, data));
  EXPECT_NE(r.out.find("File Size : 12288 bytes\nSetting ISP Mode...\n\rJob at 0.26 % --- "
                       "Mismatch Total 0"),
            std::string::npos);
  EXPECT_NE(r.out.find(closing(0)), std::string::npos) << r.out.substr(r.out.size() - 200);
  EXPECT_NE(r.events().find("vxp window read device 5 start 0x0 count 0x3000"),
            std::string::npos);
  EXPECT_EQ(count(r.events(), "cmd ="), 0u) << "no micro commands";
  EXPECT_EQ(count(r.events(), "vxp nack"), 0u);
  EXPECT_EQ(r.status, 0);
}

TEST(Verify, CountsDifferingWords) {
  const std::string data = image(0x1000, 22);
  std::string device = data;
  device[0x401] ^= 0x01;   // one byte of a word
  device[0x500] ^= 0x10;   // both bytes of another word: still one
  device[0x501] ^= 0x10;
  Scenario s = verify("Device1.bin", data, 1, device);
  s.card.insert(s.card.end(), {"--fault", "vxp-differ=7", "--fault", "vxp-differ=2047"});
  auto r = run(s);
  EXPECT_NE(r.out.find(closing(4)), std::string::npos);
  EXPECT_EQ(r.status, 1) << "a device that differs fails, as cmp does";
  // The running total shows on the progress line.
  EXPECT_NE(r.out.find("Mismatch Total 1"), std::string::npos);
}

TEST(Verify, OddLengthFileComparesOnlyItsLastByte) {
  const std::string data = image(101, 23);
  auto r = run(verify("Device7.bin", data, 7, data + "\xAA"));
  EXPECT_NE(r.out.find(closing(0)), std::string::npos);
  std::string changed = data;
  changed[100] ^= 0x40;
  r = run(verify("Device7.bin", data, 7, changed + "\xAA"));
  EXPECT_NE(r.out.find(closing(1)), std::string::npos);
}

TEST(Verify, EmptyFileComparesNothing) {
  auto r = run(verify("Device1.bin", "", 1, image(64, 1)));
  EXPECT_NE(r.out.find("File Size : 0 bytes\nSetting ISP Mode...\n" + closing(0)),
            std::string::npos);
}

TEST(VerifyRecovery, StrangeRefusedAndShortAnswersDoNotShiftTheComparison) {
  const std::string data = image(0x400, 24);
  Scenario s = verify("Device5.bin", data, 5, data);
  // Frames: 1 window, 2 status, 3.. Read Blocks. Read 2 answers with
  // another code, read 4 is short, frame 12 refused.
  s.card.insert(s.card.end(), {"--fault", "vxp-wrong-read=2", "--fault", "vxp-short-read=4",
                               "--fault", "vxp-nack-other=12"});
  auto r = run(s);
  EXPECT_NE(r.out.find("\nBad Response - 073b "), std::string::npos);
  EXPECT_NE(r.out.find("\nShort Response - 8 words "), std::string::npos);
  EXPECT_NE(r.out.find("\nNACK on unknown command. 0x0fff != 0x0639\n"), std::string::npos);
  EXPECT_EQ(count(r.out, "ISP Mode Status Request ...\nSetting ISP Mode...\n"), 2u);
  EXPECT_NE(r.out.find(closing(0)), std::string::npos) << r.out;
}

TEST(VerifyRecovery, AnswersThatStayShortEndTheJob) {
  const std::string data = image(0x100, 25);
  Scenario s = verify("Device1.bin", data, 1, data);
  s.card.insert(s.card.end(), {"--fault", "vxp-short-reads-from=2"});
  auto r = run(s);
  // Seven reads of the block, six new windows between them.
  EXPECT_EQ(count(r.out, "\nShort Response - 8 words "), 7u);
  EXPECT_EQ(count(r.events(), "vxp window read"), 1u + 6u);
  EXPECT_NE(r.out.find(std::string(PRESS_KEY) + EXIT), std::string::npos);
  EXPECT_EQ(r.out.find("Total Time"), std::string::npos);
}

TEST(VerifyRecovery, RefusedWindowEndsTheJob) {
  const std::string data = image(0x100, 26);
  Scenario s = verify("Device1.bin", data, 1, data);
  s.card.insert(s.card.end(), {"--vxp-no-driver"});
  auto r = run(s);
  EXPECT_NE(r.out.find("\nNACK received. Retry ... \n0x5502 0x0200 0x0001 "), std::string::npos);
  EXPECT_NE(r.out.find(std::string("Unable to send cmd.\n") + PRESS_KEY + EXIT),
            std::string::npos);
}

// A USB adapter at its default latency timer holds every short answer for
// 16 ms: after 256 exchanges the run says so once, on standard error; at
// 1 ms it says nothing. The console is the same either way.
TEST(VerifyLine, SlowAdapterIsAdvisedOnStandardErrorOnly) {
  const std::string data = image(260 * 32, 27);
  const char *const latencies[] = {"16", "1"};
  std::string consoles[2];
  for (int k = 0; k < 2; ++k) {
    Scenario s = verify("Device1.bin", data, 1, data);
    s.card.insert(s.card.end(), {"--adapter-latency", latencies[k]});
    auto r = run(s);
    EXPECT_EQ(count(r.err, "The exchanges with the card are slow: each answer comes "),
              k == 0 ? 1u : 0u)
        << latencies[k] << " ms: " << r.err;
    consoles[k] = r.out.substr(0, r.out.find("\nTotal Time"));
  }
  EXPECT_NE(consoles[0].find("Mismatch Total 0 \t\t\t\t\n"), std::string::npos) << consoles[0];
  EXPECT_EQ(consoles[0], consoles[1]);
}

TEST(VerifyFile, LongerThanTwoMebibytesIsRefused) {
  auto r = run(verify("Device1.bin", std::string(2097153, 'x'), 1, "x"));
  EXPECT_NE(r.out.find("File Device1.bin is longer than 2097152 bytes: refused, nothing was "
                       "sent.\n" + std::string(PRESS_KEY) + EXIT),
            std::string::npos);
  EXPECT_EQ(r.state("isp-frames.txt"), "");
}

} // namespace
