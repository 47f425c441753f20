// The upload jobs against the virtual card: EDID, gamma table, command
// script and FPGA image, with real EDIDs and XSVF streams. (Each job's
// faults are cells of the fault matrix; its bad files are rows of the bad
// input catalogue.)
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using namespace e2e;

const std::string EDID_FAILURE_END =
    std::string("Unable to write EDID information \n\nPress any key to continue\n") + EXIT;

Scenario edidRun(const std::string &image, std::vector<std::string> card = {}) {
  return Scenario{std::move(card), {"COM1", "EDID", "EDID.bin"}, "k", {{"EDID.bin", image}}};
}

TEST(EdidJob, WritesRealImagesOfBothSizes) {
  // A hand-edited image whose bytes no longer sum to 0 still goes with its
  // own sum.
  std::string edited = testData("monitor_128_a.bin");
  edited[127] = static_cast<char>(edited[127] + 1);
  for (const std::string &image : {testData("tv_256_cta_a.bin"), testData("monitor_128_a.bin"), edited}) {
    const Result r = run(edidRun(image));
    const std::string job = "\n->Program EDID with  " + std::to_string(image.size()) +
                            " bytes...\nSucess\n\nTotal Time : 0 minutes ";
    EXPECT_EQ(afterBanner(r.out).substr(0, job.size()), job) << r.out;
    EXPECT_EQ(from(from(r.out, job), " seconds"), std::string(" seconds\n\n") + EXIT) << r.out;
    EXPECT_EQ(r.state("edid.bin"), image);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r.state("card.txt"), "edid_result=programmed"));
    // Every image byte went alone, then their sum.
    char sum = 0;
    for (char byte : image)
      sum = static_cast<char>(sum + byte);
    const std::string start = image.size() == 128 ? "#EDID 1\r" : "#EDID 2\r";
    EXPECT_TRUE(has(r.state("received.bin"), start + image + sum));
  }
}

// The card stops acknowledging, at the real pace: each byte's wait runs out.
TEST(EdidJob, SilentCardEndsAtTheKeyWait) {
  const Result r = run(edidRun(testData("monitor_128_a.bin"), faults({"upload-silent-after=10"})));
  EXPECT_EQ(afterBanner(r.out), "\n->Program EDID with  128 bytes...\n" + EDID_FAILURE_END);
  EXPECT_EQ(r.status, 1);
}

// Input that goes on past the five seconds of the start's drain stops the
// job. The drain's end is 50 ms without a byte at the real pace; should a
// loaded machine hold the card's bytes back that long, the job starts and
// meets the chatter instead: it fails at the same end either way.
TEST(EdidJob, InputStillArrivingAtTheStartStopsTheJob) {
  const Result r = run(edidRun(testData("monitor_128_a.bin"), faults({"chatter=8000"})));
  EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), EDID_FAILURE_END.size())),
            EDID_FAILURE_END);
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(has(r.state("card.txt"), "edid_result=programmed"));
}

// 1024 table lines in every separator, comment and line end the reader
// takes, and the card's record of the same values.
std::string gammaTable(bool asRecorded) {
  std::string csv = asRecorded ? "" : "% R,G,B\n";
  for (int i = 0; i < 1024; ++i) {
    const std::string separators[] = {",", ";", ", ", " "};
    const std::string &sep = asRecorded ? separators[0] : separators[i % 4];
    csv += std::to_string(i) + sep + std::to_string(1023 - i) + sep + std::to_string(i / 2) +
           (i % 3 == 0 && !asRecorded ? "\r\n" : "\n");
    if (i == 500 && !asRecorded)
      csv += "% a comment in the middle\n";
  }
  return csv;
}

TEST(GammaJob, SendsTheTableAndTheCardKeepsIt) {
  const Result r =
      run({{}, {"COM1", "GAMMA", "table.csv"}, "k", {{"table.csv", gammaTable(false)}}});
  EXPECT_EQ(afterBanner(r.out),
            std::string("\n->Analysing Gamma File...OK\n->Sending Gamma Data...Sucess\n\n") + EXIT);
  EXPECT_EQ(r.state("gamma.csv"), gammaTable(true));
  EXPECT_TRUE(has(r.state("card.txt"), "gamma_result=programmed"));
  EXPECT_EQ(r.status, 0);
}

// Every line kind of a script; a command the card leaves unanswered is
// reported but not counted.
TEST(RemoteJob, PlaysEveryLineKindAndTalliesTheAnswers) {
  const std::string script = "; settings\r\n"
                             "@Setting up\r\n"
                             "#BRIGHTNESS 50\r\n"
                             "&20\n"
                             " #CONTRAST 1\n"
                             "#FROB 2\n"
                             "#MUTE 1\n"
                             "&\n"
                             "$\n"
                             "#SAVE";
  Scenario s{faults({"silent-cmd=MUTE"}), {"COM1", "REMOTE", "remote.txt"}, "k",
             {{"remote.txt", script}}};
  const Result r = run(s);
  EXPECT_EQ(afterBanner(r.out),
            "\n->Remote Function...Now executing the function in the remote.txt file...\n"
            "\nSetting up\r\n"
            "\nACK received...\n"
            "\nNACK received...\n"
            "\nNACK received...\n"
            "Press a key to continue!\r" + std::string(53, ' ') +
                std::string("\nACK received...\n"
                "\n->ACK : 2 / 3  \n->NACK : 1 / 3  \nEnd of remote.txt") + EXIT);
  // Each command goes alone between two CRs, without its line feed.
  EXPECT_TRUE(has(r.state("received.bin"), "\r#BRIGHTNESS 50\r\r#FROB 2\r\r#MUTE 1\r\r#SAVE\r"));
  EXPECT_FALSE(has(r.events(), "CONTRAST"));
  EXPECT_EQ(r.status, 1) << "a refused command fails the script";
}

Scenario fpgaRun(const std::string &stream, std::vector<std::string> card = {}) {
  Scenario s{std::move(card), {"COM1", "FPGA", "fpga.xsvf"}, "", {{"fpga.xsvf", stream}}};
  s.timeScale = 10;
  return s;
}

// A real converter's stream, and a scan longer than the card's chunk.
TEST(FpgaJob, StreamsTheWholeFileInChunks) {
  // One 3000-byte scan: XSDRSIZE 24000 bits, XSDR, XCOMPLETE.
  std::string scan("\x08\x00\x00\x5D\xC0\x03", 6);
  for (int i = 0; i < 3000; ++i)
    scan += static_cast<char>(i * 7);
  scan += '\0';
  const std::pair<std::string, std::vector<std::string>> streams[] = {
      {testData("erase_cpld.xsvf"), {}}, {scan, faults({"fpga-block-limit=4000"})}};
  for (const auto &[stream, card] : streams) {
    const Result r = run(fpgaRun(stream, card));
    const std::string out = afterBanner(r.out);
    EXPECT_EQ(out.rfind("\n->Programming FPGA...\n\rJob at ", 0), 0u) << out;
    EXPECT_TRUE(has(out, std::string("\rJob at 100.00 %\nSuccess") + EXIT)) << out;
    EXPECT_EQ(r.state("fpga.bin"), stream);
    EXPECT_TRUE(has(r.state("card.txt"), "fpga_result=programmed"));
    EXPECT_EQ(r.status, 0);
  }
}

TEST(FpgaJob, LargeStreamWithThinnedProgress) {
  if (windowsDriver())
    GTEST_SKIP() << NEEDS_TEST_CLOCK;
  const std::string stream = testData("program_cpld.xsvf");
  Scenario s = fpgaRun(stream);
  s.timeScale = 100; // about 23000 requests, each drained for a millisecond
  s.killAfter = 110;  // the requests' round trips take real time on a loaded machine
  const Result r = run(s);
  EXPECT_TRUE(has(r.out, std::string("\nSuccess") + EXIT));
  EXPECT_EQ(r.state("fpga.bin"), stream);
  EXPECT_LE(count(r.out, "Job at"), 5100u);
  EXPECT_GE(count(r.out, "Job at"), 4900u);
}

// Requests past the end, and one that ends just at it.
TEST(FpgaJob, RequestsPastTheEndOfTheFileEndTheJob) {
  const std::string stream = testData("erase_cpld.xsvf");
  for (const char *fault : {"fpga-past-end=5", "fpga-past-end=0"}) {
    const Result r = run(fpgaRun(stream, faults({fault})));
    EXPECT_TRUE(has(r.out, "Taille du fichier : 630\n\n/" + std::string(34, '*') + "/\n" + EXIT))
        << fault;
    EXPECT_TRUE(has(r.err, "File read error")) << fault;
    EXPECT_EQ(r.state("fpga.bin"), stream) << fault;
    EXPECT_EQ(r.status, 1) << fault;
  }
}

} // namespace
