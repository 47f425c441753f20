// The upload jobs against the virtual card: EDID, command script and FPGA
// stream, with real EDIDs and XSVF streams.
#include "harness.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace e2e;

Scenario edidRun(const std::string &image, std::vector<std::string> card = {}) {
  return Scenario{std::move(card), {"COM1", "EDID", "EDID.bin"}, "k", {{"EDID.bin", image}}};
}

// A hand-edited image whose bytes no longer sum to 0 goes with its own sum.
TEST(EdidJob, EditedImageGoesWithItsOwnSum) {
  std::string image = testData("monitor_128_a.bin");
  image[127] = static_cast<char>(image[127] + 1);
  Scenario s = edidRun(image);
  s.trace = true;
  const Result r = run(s);
  // Reads and writes of the job wait 50 ms at most, as the wire trace shows.
  EXPECT_TRUE(has(r.file("trace.txt"), "timeouts 0 0 50 0 50\n"));
  EXPECT_EQ(anySeconds(afterBanner(r.out)), anySeconds("\n->Program EDID with  128 bytes...\nSucess\n\nTotal Time : "
                                                       "0 minutes 0 seconds\n\n" + std::string(EXIT)));
  EXPECT_EQ(r.state("edid.bin"), image);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(has(r.state("card.txt"), "edid_result=programmed"));
  char sum = 0;
  for (char byte : image)
    sum = static_cast<char>(sum + byte);
  EXPECT_TRUE(has(r.state("received.bin"), "#EDID 1\r" + image + sum));
}

// The card stops acknowledging, at the real pace: each byte's wait runs out.
TEST(EdidJob, SilentCardEndsAtTheKeyWait) {
  const Result r = run(edidRun(testData("monitor_128_a.bin"), faults({"upload-silent-after=10"})));
  EXPECT_EQ(afterBanner(r.out), "\n->Program EDID with  128 bytes...\nUnable to write EDID information \n\n"
                                "Press any key to continue\n" + std::string(EXIT));
  EXPECT_EQ(r.status, 1);
  // (Without its line end, which the Windows build writes as CR LF.)
  EXPECT_TRUE(has(r.err, "updater: after this failure, the EDID is partly written. Run the job again: "
                         "updater COM1 EDID EDID.bin"))
      << r.err;
}

// Every line kind of a script; an unanswered command is reported, not counted.
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
  // Standard error names the refused and the unanswered command by line.
  EXPECT_EQ(firstMissing(r.err, {"updater: remote.txt, line 6: the card refused #FROB 2",
                                  "updater: remote.txt, line 7: no answer to #MUTE 1"}),
            "")
      << r.err;
}

Scenario fpgaRun(const std::string &stream, std::vector<std::string> card = {}) {
  Scenario s{std::move(card), {"COM1", "FPGA", "fpga.xsvf"}, "", {{"fpga.xsvf", stream}}};
  s.timeScale = 10;
  return s;
}

// One 3000-byte XSDR, asked for in one request whose count takes both bytes.
TEST(FpgaJob, ScanLongerThanAByteCount) {
  std::string stream("\x08\x00\x00\x5D\xC0\x03", 6); // XSDRSIZE 24000 bits, XSDR
  for (int i = 0; i < 3000; ++i)
    stream += static_cast<char>(i * 7);
  stream += '\0'; // XCOMPLETE
  const Result r = run(fpgaRun(stream, faults({"fpga-block-limit=4000"})));
  const std::string out = afterBanner(r.out);
  EXPECT_EQ(out.rfind("\n->Programming FPGA...\n\rJob at ", 0), 0u) << out;
  EXPECT_TRUE(has(out, std::string("\rJob at 100.00 %\nSuccess") + EXIT)) << out;
  EXPECT_EQ(r.state("fpga.bin"), stream);
  EXPECT_TRUE(has(r.state("card.txt"), "fpga_result=programmed"));
  EXPECT_EQ(r.status, 0);
}

} // namespace
