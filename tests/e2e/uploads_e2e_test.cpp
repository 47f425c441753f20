// The upload jobs against the virtual card: EDID, gamma table, command
// script and FPGA image, with real EDIDs and XSVF streams.
#include "harness.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using e2e::count;
using e2e::run;
using e2e::Scenario;
using e2e::testData;

const char EXIT[] = "\nExit updater\n";
const char BANNER_END[] = "Software Version  -> 2.05\n* * * * * * * * * * * * * * * * * * * * * * * * * * * * *\n";
const char EDID_FAILURE_END[] =
    "Unable to write EDID information \n\nPress any key to continue\n";
const char GAMMA_FAILURE_END[] = "\nPress any key to continue\n";

// What the job printed after the banner.
std::string afterBanner(const std::string &out) {
  const size_t at = out.find(BANNER_END);
  return at == std::string::npos ? out : out.substr(at + std::string(BANNER_END).size());
}

bool has(const std::string &text, const std::string &what) {
  return text.find(what) != std::string::npos;
}

// ---- EDID ----

Scenario edidRun(const std::string &image, std::vector<std::string> card = {}) {
  return Scenario{card, {"COM1", "EDID", "EDID.bin"}, "k", {{"EDID.bin", image}}};
}

TEST(EdidJob, WritesRealImagesOfBothSizes) {
  for (const char *name : {"tv_256_cta_a.bin", "monitor_128_a.bin"}) {
    const std::string image = testData(name);
    auto r = run(edidRun(image));
    EXPECT_EQ(afterBanner(r.out),
              "\n->Program EDID with  " + std::to_string(image.size()) +
                  " bytes...\nSucess\n\nTotal Time : 0 minutes 0 seconds\n\n" + EXIT)
        << name;
    EXPECT_EQ(r.state("edid.bin"), image) << name;
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_NE(r.state("card.txt").find("edid_result=programmed"), std::string::npos);
    // Every image byte went alone, then the sum (0 for valid EDID blocks).
    const std::string start = image.size() == 128 ? "#EDID 1\r" : "#EDID 2\r";
    EXPECT_TRUE(has(r.state("received.bin"), start + image + std::string(1, '\0')));
  }
}

TEST(EdidJob, CardReportsFailureWithoutKeyWait) {
  auto r = run(edidRun(testData("monitor_128_a.bin"), {"--fault", "upload-fail=EDID"}));
  EXPECT_TRUE(has(r.out, "bytes...\nFailed\n\nTotal Time : 0 minutes 0 seconds\n\n" +
                             std::string(EXIT)));
  EXPECT_FALSE(has(r.out, "Press any key"));
  EXPECT_EQ(r.status, 1);
}

TEST(EdidJob, AcknowledgementsAmongNoiseStillCount) {
  auto r = run(edidRun(testData("tv_256_cta_a.bin"), {"--fault", "ack-noise"}));
  EXPECT_TRUE(has(r.out, "Sucess\n"));
}

TEST(EdidJob, OnlyImagesOf128Or256Bytes) {
  for (size_t size : {127u, 129u, 257u, 300u}) {
    auto r = run(edidRun(std::string(size, '\x01')));
    EXPECT_EQ(afterBanner(r.out), "\nError only file of 128 or 256 bytes can be read\n" +
                                      std::string(EDID_FAILURE_END) + EXIT)
        << size;
    EXPECT_FALSE(has(r.events(), "cmd #EDID")) << size;
    EXPECT_EQ(r.status, 2) << size;
  }
}

TEST(EdidJob, EveryBrokenExchangeEndsAtTheKeyWait) {
  const std::string image = testData("monitor_128_a.bin");
  for (const char *fault : {"upload-silent-after=10", "no-end=EDID", "no-verdict=EDID"}) {
    Scenario s = edidRun(image, {"--fault", fault});
    s.timeScale = 10;
    auto r = run(s);
    EXPECT_EQ(afterBanner(r.out), "\n->Program EDID with  128 bytes...\n" +
                                      std::string(EDID_FAILURE_END) + EXIT)
        << fault;
    EXPECT_EQ(r.status, 1) << fault;
  }
}

TEST(EdidJob, InputStillArrivingAtTheStartStopsTheJob) {
  // Longer than the five seconds even where the updater's clock runs at
  // its real pace.
  Scenario busy = edidRun(testData("monitor_128_a.bin"), {"--fault", "chatter=8000"});
  busy.timeScale = 10;
  auto r = run(busy);
  EXPECT_EQ(afterBanner(r.out), std::string(EDID_FAILURE_END) + EXIT);
  EXPECT_FALSE(has(r.events(), "cmd #EDID"));

  // Chatter that ends within the five seconds is drained and the job goes on.
  Scenario brief = edidRun(testData("monitor_128_a.bin"), {"--fault", "chatter=150"});
  brief.timeScale = 10;
  EXPECT_TRUE(has(run(brief).out, "Sucess\n"));
}

// ---- Gamma table ----

// 1024 table lines; `lines` can override single lines by index.
std::string gammaTable(const std::string &head = "% R,G,B\n",
                       const std::string &tail = "") {
  std::string csv = head;
  for (int i = 0; i < 1024; ++i) {
    const std::string separators[] = {",", ";", ", ", " "};
    const std::string &sep = separators[i % 4];
    csv += std::to_string(i) + sep + std::to_string(1023 - i) + sep + std::to_string(i / 2) +
           (i % 3 == 0 ? "\r\n" : "\n");
    if (i == 500)
      csv += "% a comment in the middle\n";
  }
  return csv + tail;
}

std::string gammaRecord() {
  std::string csv;
  for (int i = 0; i < 1024; ++i)
    csv += std::to_string(i) + "," + std::to_string(1023 - i) + "," + std::to_string(i / 2) + "\n";
  return csv;
}

Scenario gammaRun(const std::string &csv, std::vector<std::string> card = {}) {
  return Scenario{card, {"COM1", "GAMMA", "table.csv"}, "k", {{"table.csv", csv}}};
}

TEST(GammaJob, SendsTheTableAndTheCardKeepsIt) {
  auto r = run(gammaRun(gammaTable()));
  EXPECT_EQ(afterBanner(r.out),
            "\n->Analysing Gamma File...OK\n->Sending Gamma Data...Sucess\n\n" + std::string(EXIT));
  EXPECT_EQ(r.state("gamma.csv"), gammaRecord());
  EXPECT_TRUE(has(r.state("card.txt"), "gamma_result=programmed"));
  EXPECT_EQ(r.status, 0);
}

TEST(GammaJob, BadTablesAreRefusedBeforeAnythingIsSent) {
  struct Case {
    std::string csv, message;
  } cases[] = {
      {gammaTable("% R,G,B\n", "\n"),
       "Gamma File error -> The file contains 1025 lines (only 1024 lines are accepted)"},
      {gammaTable("1024,0,0\n"), "\nError, the RGB value must be between 0 and 1023."},
      {gammaTable("0,-1,0\n"), "\nError, the RGB value must be between 0 and 1023."},
      {gammaTable("0,0,65536\n"), "\nError, the RGB value must be between 0 and 1023."},
  };
  for (const Case &c : cases) {
    auto r = run(gammaRun(c.csv));
    EXPECT_EQ(afterBanner(r.out), "\n->Analysing Gamma File..." + c.message +
                                      GAMMA_FAILURE_END + EXIT);
    EXPECT_FALSE(has(r.events(), "cmd #GAMMA"));
    EXPECT_EQ(r.status, 2);
  }
}

TEST(GammaJob, CardReportsFailure) {
  auto r = run(gammaRun(gammaTable(), {"--fault", "upload-fail=GAMMA"}));
  EXPECT_TRUE(has(r.out, "->Sending Gamma Data...Failed\n\n" + std::string(EXIT)));
  EXPECT_EQ(r.status, 1);
}

TEST(GammaJob, BrokenExchangesNameTheirStep) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << e2e::NEEDS_TEST_CLOCK;
  struct Case {
    const char *fault, *message;
  } cases[] = {{"upload-silent-after=100", "ERROR 1"},
               {"no-end=GAMMA", "\nERROR 2"},
               {"no-verdict=GAMMA", "\nERROR 3"}};
  for (const Case &c : cases) {
    Scenario s = gammaRun(gammaTable(), {"--fault", c.fault});
    s.timeScale = 100;
    auto r = run(s);
    EXPECT_EQ(afterBanner(r.out), std::string("\n->Analysing Gamma File...OK\n->Sending Gamma Data...") +
                                      c.message + GAMMA_FAILURE_END + EXIT)
        << c.fault;
  }
}

// ---- Command script ----

TEST(RemoteJob, PlaysEveryLineKindAndTalliesTheAnswers) {
  const std::string script = "; settings\r\n"
                             "@Setting up\r\n"
                             "#BRIGHTNESS 50\r\n"
                             "&20\n"
                             " #CONTRAST 1\n"
                             "#FROB 2\n"
                             "&\n"
                             "$\n"
                             "#SAVE";
  Scenario s{{}, {"COM1", "REMOTE", "remote.txt"}, "k", {{"remote.txt", script}}};
  auto r = run(s);
  EXPECT_EQ(afterBanner(r.out),
            "\n->Remote Function...Now executing the function in the remote.txt file...\n"
            "\nSetting up\r\n"
            "\nACK received...\n"
            "\nNACK received...\n"
            "Press a key to continue!\r" + std::string(53, ' ') +
                "\nACK received...\n"
                "\n->ACK : 2 / 3  \n->NACK : 1 / 3  \nEnd of remote.txt" + EXIT);
  // Each command goes alone between two CRs, without its line feed.
  EXPECT_TRUE(has(r.state("received.bin"), "\r#BRIGHTNESS 50\r\r#FROB 2\r\r#SAVE\r"));
  EXPECT_FALSE(has(r.events(), "CONTRAST"));
  EXPECT_EQ(r.status, 1) << "a refused command fails the script";
}

TEST(RemoteJob, UnansweredCommandIsReportedButNotCounted) {
  Scenario s{{"--fault", "silent-cmd=BRIGHTNESS"},
             {"COM1", "REMOTE", "remote.txt"},
             "",
             {{"remote.txt", "#BRIGHTNESS 1\n#SAVE\n"}}};
  s.timeScale = 10;
  auto r = run(s);
  EXPECT_TRUE(has(r.out, "\nNACK received...\n\nACK received...\n"
                         "\n->ACK : 1 / 1  \n->NACK : 0 / 1  \nEnd of remote.txt"));
  EXPECT_EQ(r.status, 1);
}

// ---- FPGA ----

Scenario fpgaRun(const std::string &stream, std::vector<std::string> card = {}) {
  Scenario s{card, {"COM1", "FPGA", "fpga.xsvf"}, "", {{"fpga.xsvf", stream}}};
  s.timeScale = 10;
  return s;
}

const char CLOSING_REPORT_TAIL[] = "\n/**********************************/\n";

TEST(FpgaJob, StreamsARealConverterStream) {
  const std::string stream = testData("erase_cpld.xsvf");
  auto r = run(fpgaRun(stream));
  const std::string out = afterBanner(r.out);
  EXPECT_EQ(out.rfind("\n->Programming FPGA...\n\rJob at ", 0), 0u);
  EXPECT_TRUE(has(out, "\rJob at 100.00 %\nSuccess" + std::string(EXIT)));
  EXPECT_EQ(r.state("fpga.bin"), stream);
  EXPECT_TRUE(has(r.state("card.txt"), "fpga_result=programmed"));
}

TEST(FpgaJob, LargeStreamWithThinnedProgress) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << e2e::NEEDS_TEST_CLOCK;
  const std::string stream = testData("program_cpld.xsvf");
  Scenario s = fpgaRun(stream);
  s.timeScale = 100; // about 23000 requests, each drained for a millisecond
  auto r = run(s);
  EXPECT_TRUE(has(r.out, "\nSuccess" + std::string(EXIT)));
  EXPECT_EQ(r.state("fpga.bin"), stream);
  EXPECT_LE(count(r.out, "Job at"), 5100u);
  EXPECT_GE(count(r.out, "Job at"), 4900u);
}

TEST(FpgaJob, BlocksLongerThanTheChunkAreServedInPieces) {
  // A stream with one 3000-byte scan: XSDRSIZE 24000 bits, XSDR, XCOMPLETE.
  std::string stream("\x08\x00\x00\x5D\xC0\x03", 6);
  for (int i = 0; i < 3000; ++i)
    stream += static_cast<char>(i * 7);
  stream += '\0';
  auto r = run(fpgaRun(stream, {"--fault", "fpga-block-limit=4000"}));
  EXPECT_TRUE(has(r.out, "\nSuccess" + std::string(EXIT)));
  EXPECT_EQ(r.state("fpga.bin"), stream);
}

TEST(FpgaJob, RequestsPastTheEndOfTheFileEndTheJob) {
  const std::string stream = testData("erase_cpld.xsvf");
  for (const char *fault : {"fpga-past-end=5", "fpga-past-end=0"}) {
    auto r = run(fpgaRun(stream, {"--fault", fault}));
    EXPECT_TRUE(has(r.out, "Taille du fichier : 630\n" + std::string(CLOSING_REPORT_TAIL) + EXIT))
        << fault;
    EXPECT_TRUE(has(r.err, "File read error")) << fault;
    EXPECT_EQ(r.state("fpga.bin"), stream) << fault;
  }
}

TEST(FpgaJob, MalformedBlockRequestIsReportedAndServingGoesOn) {
  auto r = run(fpgaRun(testData("erase_cpld.xsvf"), {"--fault", "fpga-bad-request"}));
  EXPECT_EQ(count(r.out, "\nerror : $x"), 1u);
  EXPECT_TRUE(has(r.out, "\nSuccess" + std::string(EXIT)));
}

TEST(FpgaJob, CardFailureIsReported) {
  auto failing = run(fpgaRun(testData("erase_cpld.xsvf"), {"--fault", "upload-fail=FPGA"}));
  EXPECT_TRUE(has(failing.out,
                  "\nFPGA programming failed : the card ended with ~E (0x45)\n" + std::string(EXIT)));
  EXPECT_FALSE(has(failing.out, "Success"));
  // A stream the player cannot play: unassigned opcode 0x05.
  auto malformed = run(fpgaRun(std::string("\x07\x00\x05\x00", 4)));
  EXPECT_TRUE(has(malformed.out, "the card ended with ~E"));
  EXPECT_TRUE(has(malformed.state("card.txt"), "fpga_result=failed"));
}

TEST(FpgaJob, ASilentCardIsWaitedFor) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << "proving the wait takes the whole (there tenfold) kill deadline";
  Scenario s = fpgaRun(testData("erase_cpld.xsvf"), {"--fault", "upload-silent-after=20"});
  s.killAfter = 3;
  auto r = run(s);
  EXPECT_TRUE(r.killed());
  EXPECT_FALSE(has(r.out, "Taille du fichier"));
}

TEST(FpgaJob, AVanishedPortEndsTheJob) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << "Wine's serial reads keep succeeding with no bytes once the "
                    "pseudo-terminal is gone, so the port never reports a failure";
  // The card disappears in the middle of the transfer.
  Scenario s = fpgaRun(testData("erase_cpld.xsvf"), {"--fault", "disconnect-after=200"});
  s.killAfter = 20;
  auto r = run(s);
  EXPECT_FALSE(r.killed());
  EXPECT_TRUE(has(r.out, "\nThe port cannot be read any more : error "));
  EXPECT_TRUE(has(r.out, std::string(CLOSING_REPORT_TAIL) + EXIT));
}

} // namespace
