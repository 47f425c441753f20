// The fault matrix: each job against the card faults that take it down a
// path of its own, its console texts in order, its outcome judged on the
// card's record. The interruption set cuts the power and runs the job again.
#include "isp_e2e.h"
#include "jobVerdict.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace {

using e2e::Job;
using e2e::Scenario;

const char NO_COMMUNICATION[] = "\nError no communication with the device";
const char NACK_RETRY[] = "\nNACK received. Retry ... \n";
const char STATUS_REQUEST[] = "ISP Mode Status Request ...\n";
const char ISP_GIVES_UP[] = "Timeout. Retry...SendISP\nTimeout. Retry...SendISP\n"
                            "Timeout. Retry...SendISP\nTimeout. Retry...SendISP\n"
                            "Timeout. Retry...SendISP\nUnable to send command. Exit.SendISP\n";
// The micro's unacknowledged command: read again five times, then given up.
const char MICRO_GIVES_UP[] = "Soft Reset...\nTimeout. Retry...SEndMicro\nTimeout. Retry...SEndMicro\n"
                              "Timeout. Retry...SEndMicro\nTimeout. Retry...SEndMicro\n"
                              "Timeout. Retry...SEndMicro\nUnable to send command. Exit. SendMicro\n";
const char EDID_UNWRITTEN[] = "Unable to write EDID information ";
const char GAMMA_SILENT[] = "->Sending Gamma Data...ERROR 1\nPress any key to continue\n";
const char NO_BOOT_PROGRAM[] = "Time Out...No communication with Boot Program...Maybe there's an old firmware...";
const char UNANSWERED[] = "\nNACK received...\n";

// The line on standard error after a failed job that changed the card: what
// the card likely holds, and the command that brings it back.
const char WHAT_NOW[] = "updater: after this failure, ";
const char RUN_AGAIN[] = "Run the job again";
const char POWER_CYCLE[] = "Power the card off and on to leave it as it was, or run the job again";
std::string whatNow(const std::string &state, const std::string &job, const char *advice = RUN_AGAIN) {
  return WHAT_NOW + state + ". " + advice + ": updater COM1 " + job + "\n";
}
const std::string VXP_STOPPED = whatNow(
    "the video processor is stopped for programming and its flash is unchanged", "VIPER Device1.bin", POWER_CYCLE);
const std::string DEVICE1_PARTLY = whatNow("flash device 1 is partly written", "VIPER Device1.bin");
const std::string DEVICE5_PARTLY = whatNow("flash device 5 is erased and partly written", "VIPER Device5.bin");
const std::string MICRO_IN_BOOT_PROGRAM =
    whatNow("the micro waits in its boot program, its firmware still in flash", "MICRO", POWER_CYCLE);
const char IN_BOOT_MODE[] = "Run the job again, which takes the boot-mode path";
const std::string MICRO_ERASED =
    whatNow("the micro's flash is erased, so the card starts in its boot program", "MICRO", IN_BOOT_MODE);
const std::string MICRO_PARTLY = whatNow(
    "the micro's flash is erased and partly written, so the card starts in its boot program", "MICRO", IN_BOOT_MODE);
const std::string FPGA_PARTLY = whatNow("the FPGA is partly programmed", "FPGA fpga.xsvf");
const std::string EDID_UNCONFIRMED = whatNow("the EDID went whole but the card did not confirm it", "EDID EDID.bin");
const std::string GAMMA_PARTLY = whatNow("the gamma table is partly written", "GAMMA gamma.csv");
const std::string GAMMA_UNCONFIRMED =
    whatNow("the gamma table went whole but the card did not confirm it", "GAMMA gamma.csv");

// Protocol clock speed-ups; a card that never answers is stopped after its
// texts. Answers byte by byte (split) and chatter keep the real clock: sped
// up, a late probe answer is read as the next command's, and chatter
// outlasts the pauses meant to let it pass.
const unsigned SCALE = 20, ENDLESS_SCALE = 50, MICRO_SCALE = 5, INTERRUPTION_SCALE = 10;
const unsigned ENDLESS_SECONDS = 10;
const unsigned KILL_AFTER = 60; // catches only a run that would not end

enum class Outcome {
  Done,        // the job's success line, and the card holds exactly the file
  Failed,      // no success line; the card does not hold the file
  Unconfirmed, // no success line: the card's verdict never came, the file may be there
  Refused,     // failed, and nothing was erased on the card
  Endless,     // the program waits for the operator: stopped from outside
};

struct Cell {
  const char *name;
  Job job;
  const char *faults;              // cardsim --fault values, space-separated
  std::vector<std::string> expect; // console texts, in this order
  Outcome outcome;
  std::string whatNow = ""; // the line on standard error after the failure, "" for none
  int status = -1; // the exit status: 0 for Done, 1 otherwise, unless given
  const char *counted = nullptr; // a console text that comes exactly `times` times
  size_t times = 0;
};

const std::string VIPER_IMAGE = isp_e2e::image(3000, 41);
const std::string VIPER5_IMAGE = isp_e2e::image(0x600, 42);
// Odd-length: the last block is filled with erased flash beyond the file.
const std::string VIPER7_IMAGE = isp_e2e::image(0x1234 + 7, 44);
const std::string DRIVER = isp_e2e::image(0x820, 43);
const e2e::MicroSet &micro() {
  static const e2e::MicroSet set = e2e::microSet(1000, 64);
  return set;
}
const std::string EDID_IMAGE = e2e::testData("monitor_128_a.bin");
const std::string XSVF = e2e::testData("erase_cpld.xsvf");
// 1024 lines written as the card records the table it took (gamma.csv).
const std::string GAMMA_TABLE = [] {
  std::string csv;
  for (int i = 0; i < 1024; ++i)
    csv += std::to_string(i) + "," + std::to_string(1023 - i) + "," + std::to_string(i / 3) + "\n";
  return csv;
}();
const char SCRIPT[] = "@Picture set-up\r\n#BRIGHTNESS 50\r\n#CONTRAST 60\n&20\n#SAVE\n";
const char SCRIPT_COMMANDS[] = "#BRIGHTNESS 50\n#CONTRAST 60\n#SAVE\n";

// The job's run, and what a successful run leaves on the card.
Scenario jobScenario(Job job, e2e::Written &w) {
  Scenario s;
  s.timeScale = job == Job::Micro || job == Job::MicroBootMode ? MICRO_SCALE : SCALE;
  s.killAfter = KILL_AFTER;
  s.input = "q";
  // A job that sends one file: its command line and file.
  const auto oneFile = [&s](const char *word, const char *name, const std::string &content) {
    s.args = {"COM1", word, name};
    s.files = {{name, content}};
    return content;
  };
  switch (job) {
  case Job::Viper1:
    w.device1 = VIPER_IMAGE;
    [[fallthrough]];
  case Job::Verify:
    s.args = {"COM1", job == Job::Verify ? "VERIFY" : "VIPER", "Device1.bin"};
    s.files = {{"Device1.bin", VIPER_IMAGE}, {"SFDriver.bin", DRIVER}};
    if (job == Job::Verify)
      s.card = {"--flash", "1=Device1.bin"};
    break;
  case Job::Viper5:
  case Job::Viper7: {
    const bool five = job == Job::Viper5;
    const std::string name = five ? "Device5.bin" : "Device7.bin";
    const std::string &image = five ? VIPER5_IMAGE : VIPER7_IMAGE;
    s.args = {"COM1", "VIPER", name};
    s.files = {{name, image}, {"FDriver.bin", DRIVER}};
    (five ? w.device5 : w.device7) = image;
    break;
  }
  case Job::Status: // a fourth word, however long, is ignored
    s.args = {"COM1", "STATUS", std::string(300, 'x')};
    break;
  case Job::MicroBootMode:
    s.card = {"--boot-mode"};
    [[fallthrough]];
  case Job::Micro:
    s.args = {"COM1", "MICRO"};
    s.files = micro().files;
    w.microFlash = e2e::expectedFlash(micro(), e2e::MICRO_FLASH_SIZE);
    break;
  case Job::Fpga:
    w.fpga = oneFile("FPGA", "fpga.xsvf", XSVF);
    break;
  case Job::Edid:
    w.edid = oneFile("EDID", "EDID.bin", EDID_IMAGE);
    break;
  case Job::Gamma:
    w.gamma = oneFile("GAMMA", "gamma.csv", GAMMA_TABLE);
    break;
  case Job::Remote:
    oneFile("REMOTE", "remote.txt", SCRIPT);
    w.commands = SCRIPT_COMMANDS;
    break;
  case Job::All:
    s.args = {"COM1", "ALL"};
    s.files = {{"EDID.bin", EDID_IMAGE}, {"Device1.bin", VIPER_IMAGE}, {"SFDriver.bin", DRIVER},
               {"fpga.xsvf", XSVF}};
    w.fpga = XSVF;
    w.edid = EDID_IMAGE;
    w.device1 = VIPER_IMAGE;
    break;
  }
  return s;
}

const std::string SCRIPT_DONE = e2e::allAcknowledged(3);

const Cell CELLS[] = {
    // VIPER, device 1: the firmware's micro commands, then ISP frames.
    {"ViperSilentCard", Job::Viper1, "silent", {NO_COMMUNICATION}, Outcome::Endless},
    {"ViperMicroRefusesMP", Job::Viper1, "refuse=MP", {"Soft Reset...\n", "\nTime : ", e2e::PRESS_KEY},
     Outcome::Refused},
    {"ViperMicroSilentOnce", Job::Viper1, "ack-silent=1", {MICRO_GIVES_UP, e2e::PRESS_KEY},
     Outcome::Refused},
    {"ViperAnswersInPieces", Job::Viper1, "noise split repeat-eq",
     {"Calling ISP Driver...", e2e::TOTAL_TIME}, Outcome::Done},
    // Junk and a stale "=M~" waiting when "=MA" goes out.
    {"ViperStaleRefusalBeforeApply", Job::Viper1, "vxp-trailer=98", {e2e::TOTAL_TIME}, Outcome::Done},
    // The refused block's window starts again at its address.
    {"ViperGspiTimeout", Job::Viper1, "vxp-gspi vxp-refuse-block=3",
     {"GSPI Timeout\n\nNACK received. Retry ... \n0xf501 ", "0x1002 0x0501 0x1234 ",
      "ISP Mode Status Request ...\n0x0632 0x0000 0xf9ce \n0x1632 0x0001 ", "Setting ISP Mode...\n\rJob at ",
      e2e::TOTAL_TIME}, Outcome::Done},
    {"ViperFramesMended", Job::Viper1, "vxp-late-frame=5 vxp-late-ms=400 vxp-bad-checksum=7 "
     "vxp-bad-length=9 vxp-noise vxp-restart=11",
     {"Timeout. Retry...SendISP\n", "Bad checksum\n", "Incompatible reception with command.\n",
      e2e::TOTAL_TIME}, Outcome::Done},
    // Six new windows for a block refused again and again; the seventh
    // refusal ends the job.
    {.name = "ViperBlocksRefusedForGood", .job = Job::Viper1, .faults = "vxp-refuse-blocks-from=3",
     .expect = {NACK_RETRY, e2e::PRESS_KEY}, .outcome = Outcome::Failed, .whatNow = DEVICE1_PARTLY,
     .counted = NACK_RETRY, .times = 7},
    {"ViperEchoedFrame", Job::Viper1, "vxp-echo=3", {"Calling ISP Driver...\n", NACK_RETRY, e2e::PRESS_KEY},
     Outcome::Refused, VXP_STOPPED},
    {"ViperNackNamesOtherCommand", Job::Viper1, "vxp-nack-other=3",
     {"\nNACK on unknown command. 0x0fff != 0x0802\n", e2e::PRESS_KEY}, Outcome::Refused, VXP_STOPPED},
    // Call Driver, the third frame, goes unanswered: the flash is untouched.
    {"ViperSilentFrame", Job::Viper1, "vxp-silent-frame=3", {ISP_GIVES_UP, e2e::PRESS_KEY}, Outcome::Refused,
     VXP_STOPPED},
    {"ViperEndlessFrame", Job::Viper1, "vxp-endless=3", {ISP_GIVES_UP, e2e::PRESS_KEY}, Outcome::Refused,
     VXP_STOPPED},
    {"ViperDisconnectMidTransfer", Job::Viper1, "disconnect-after=3000", {"Job at"}, Outcome::Failed, DEVICE1_PARTLY},
    // VIPER, devices 7 and 5: data window, then the header window.
    {"Viper7Clean", Job::Viper7, "", {"Begin Job... Header...\n", "Soft Reset."}, Outcome::Done},
    // A data block refused (its address shown), then the header's third
    // (block 44, resends counted): only the status request shows.
    {"Viper5RefusedInBothWindows", Job::Viper5, "vxp-refuse-block=3 vxp-refuse-block=44",
     {"Addr - 0x00000140\nSetting ISP Mode...\n", "ISP Mode Status Request ...\n\rJob at 25.00 %", e2e::TOTAL_TIME},
     Outcome::Done},
    // An erase that takes 8 s of its 13 s window (on this clock).
    {"Viper5SlowErase", Job::Viper5, "vxp-slow-erase=400",
     {"Erasing device...\nBegin Job... Data ..\n", e2e::TOTAL_TIME}, Outcome::Done},
    {.name = "Viper5BlocksRefusedForGood", .job = Job::Viper5, .faults = "vxp-refuse-blocks-from=3",
     .expect = {NACK_RETRY, e2e::PRESS_KEY}, .outcome = Outcome::Failed, .whatNow = DEVICE5_PARTLY,
     .counted = STATUS_REQUEST, .times = 7},
    {"Viper5DisconnectInHeader", Job::Viper5, "disconnect-after=1800", {"Begin Job... Header"}, Outcome::Failed,
     DEVICE5_PARTLY},

    // VERIFY of device 1 against the same image.
    {"VerifyShortRead", Job::Verify, "vxp-short-read=3", {e2e::VERIFY_SUCCESS}, Outcome::Done},
    {"VerifyWrongReadAnswer", Job::Verify, "vxp-wrong-read=3", {"\nBad Response - 073b ", e2e::VERIFY_SUCCESS},
     Outcome::Done},
    {"VerifyReadRefused", Job::Verify, "vxp-nack-other=4", {STATUS_REQUEST, "Setting ISP Mode...\n", e2e::VERIFY_SUCCESS},
     Outcome::Done},
    {"VerifySilentFrame", Job::Verify, "vxp-silent-frame=3", {ISP_GIVES_UP, STATUS_REQUEST, e2e::VERIFY_SUCCESS},
     Outcome::Done},
    {"VerifyDiffers", Job::Verify, "vxp-differ=5", {"Job at 100% ----- Mismatch Total 1 "}, Outcome::Failed},
    // Seven reads of the block, six new windows between them, then the end.
    {.name = "VerifyShortReadsForGood", .job = Job::Verify, .faults = "vxp-short-reads-from=3",
     .expect = {"Short Response - 8 words", e2e::PRESS_KEY}, .outcome = Outcome::Failed,
     .counted = "Short Response - 8 words", .times = 7},
    {"VerifyDisconnect", Job::Verify, "disconnect-after=300", {}, Outcome::Failed},

    // STATUS: a report with an unanswered query is shown, and the run fails.
    {"StatusWrongChecksum", Job::Status, "vxp-bad-checksum=2", {"Bad checksum\n", e2e::STATUS_END}, Outcome::Done},
    {.name = "StatusEndlessFrame", .job = Job::Status, .faults = "vxp-endless=1",
     .expect = {"Timeout. Retry...SendISP\n", e2e::STATUS_END}, .outcome = Outcome::Done, .status = 1},
    {.name = "StatusQueryRefused", .job = Job::Status, .faults = "vxp-nack-other=2",
     .expect = {"\nNACK on unknown command. 0x0fff != 0x062f\n",
                "\nDevice Type         -> KZ0\nOSD Load Status     -> Error Unknown"
                "\nConfig Status       -> Error Unknown",
                e2e::STATUS_END},
     .outcome = Outcome::Done, .status = 1},
    {"StatusDisconnect", Job::Status, "disconnect-after=60", {}, Outcome::Failed},

    // MICRO from running firmware: micro mode entry, then the boot program.
    {"MicroNoSync", Job::Micro, "boot-no-sync", {NO_BOOT_PROGRAM}, Outcome::Refused,
     MICRO_IN_BOOT_PROGRAM},
    {"MicroNoSyncAnswer", Job::Micro, "boot-no-aa", {"Time Out...Retry..."}, Outcome::Refused, MICRO_IN_BOOT_PROGRAM},
    // The boot program's faults, with the micro waiting in boot mode.
    {"MicroWrongEcho", Job::MicroBootMode, "boot-bad-echo=5", {"Error during  validation  byte"}, Outcome::Refused},
    {"MicroEraseFails", Job::MicroBootMode, "boot-erase-fail", {"Error during erasing of the flash"}, Outcome::Failed,
     MICRO_ERASED},
    {"MicroWrongInquiry", Job::MicroBootMode, "boot-bad-inquiry", {"->SET PARAMETERS...\nError 2"}, Outcome::Failed,
     MICRO_ERASED},
    {"MicroWrongStatus", Job::MicroBootMode, "boot-bad-status=1", {"Error 3"}, Outcome::Failed, MICRO_ERASED},
    // The write kernel's status and acknowledgement are not examined.
    {"MicroWriteKernelUnchecked", Job::MicroBootMode, "boot-bad-status-sum=2 boot-no-ack=WRITE",
     {e2e::MICRO_SUCCESS, "\nTime : "}, Outcome::Done},
    {"MicroBlockNotAcknowledged", Job::MicroBootMode, "boot-no-ack-block=3",
     {"->WRITING .MOT FILE  TO FLASH MEMORY...", "ACK NOT received  :( "}, Outcome::Failed, MICRO_PARTLY},
    {"MicroDisconnectMidTransfer", Job::MicroBootMode, "disconnect-after=400", {}, Outcome::Failed, MICRO_PARTLY},

    // FPGA: the card asks for the stream's bytes and gives its verdict.
    {"FpgaRequestsInPieces", Job::Fpga, "fpga-block-limit=7 noise split fpga-bad-request",
     {"\n->Programming FPGA...\n", "\nerror : $x", e2e::FPGA_SUCCESS}, Outcome::Done},
    {"FpgaCardFails", Job::Fpga, "upload-fail=FPGA",
     {"\nFPGA programming failed : the card ended with ~E (0x45)\n"}, Outcome::Failed, FPGA_PARTLY},
    // A request for more bytes than are left, or a one-byte request ("*")
    // once all were sent.
    {"FpgaRequestsPastTheEnd", Job::Fpga, "fpga-past-end=5",
     {"Taille du fichier : 630\n", "\n/**********************************/\n"}, Outcome::Failed, FPGA_PARTLY},
    {"FpgaByteRequestedPastTheEnd", Job::Fpga, "fpga-past-end=0",
     {"Taille du fichier : 630\n\n/**********************************/\n"}, Outcome::Failed, FPGA_PARTLY},
    // The job waits for the card's requests as long as they take.
    {"FpgaSilentMidStream", Job::Fpga, "upload-silent-after=20", {"\n->Programming FPGA...\n"}, Outcome::Endless},
    {"FpgaDisconnectMidStream", Job::Fpga, "disconnect-after=200", {"\n->Programming FPGA...\n"}, Outcome::Failed,
     FPGA_PARTLY},

    // EDID: one "." per byte, the sum, "~" and the verdict.
    {"EdidAnswersInPieces", Job::Edid, "ack-noise split",
     {"\n->Program EDID with  128 bytes...\n", e2e::UPLOAD_SUCCESS}, Outcome::Done},
    {"EdidCardFails", Job::Edid, "upload-fail=EDID", {"Failed\n", e2e::TOTAL_TIME}, Outcome::Failed,
     EDID_UNCONFIRMED},
    // Input that goes on past the start's five seconds of drain.
    {"EdidChatterAtTheStart", Job::Edid, "chatter=8000", {EDID_UNWRITTEN}, Outcome::Failed},
    {"EdidNoEnd", Job::Edid, "no-end=EDID", {EDID_UNWRITTEN}, Outcome::Unconfirmed, EDID_UNCONFIRMED},
    {"EdidNoVerdict", Job::Edid, "no-verdict=EDID", {EDID_UNWRITTEN}, Outcome::Unconfirmed, EDID_UNCONFIRMED},

    // GAMMA: one "." per value, the sum and the verdict; chatter after the
    // start's drain is passed over while the job waits for ".".
    {"GammaAnswersAmidChatter", Job::Gamma, "ack-noise chatter=300",
     {"\n->Analysing Gamma File...OK\n->Sending Gamma Data...Sucess\n"}, Outcome::Done},
    {"GammaCardFails", Job::Gamma, "upload-fail=GAMMA", {"->Sending Gamma Data...Failed\n"}, Outcome::Failed,
     GAMMA_UNCONFIRMED},
    {"GammaSilentMidTable", Job::Gamma, "upload-silent-after=100", {GAMMA_SILENT}, Outcome::Failed, GAMMA_PARTLY},
    {"GammaNoEnd", Job::Gamma, "no-end=GAMMA", {"\nERROR 2\nPress any key to continue\n"}, Outcome::Unconfirmed,
     GAMMA_UNCONFIRMED},
    {"GammaNoVerdict", Job::Gamma, "no-verdict=GAMMA", {"\nERROR 3\nPress any key to continue\n"},
     Outcome::Unconfirmed, GAMMA_UNCONFIRMED},
    // Gone after a value's second byte: every write succeeded, no "." comes.
    {"GammaDisconnectMidTable", Job::Gamma, "disconnect-after=2001", {"->Sending Gamma Data..."}, Outcome::Failed,
     GAMMA_PARTLY},

    // REMOTE: each command answered "#ACK" or "#NACK".
    {"RemoteNoiseBeforeAnswers", Job::Remote, "noise", {"\nPicture set-up\r\n", SCRIPT_DONE}, Outcome::Done},
    {"RemoteChatterAfterIdentification", Job::Remote, "chatter=100", {SCRIPT_DONE}, Outcome::Done},
    {"RemoteDisconnectMidScript", Job::Remote, "disconnect-after=45", {"\nACK received...\n"}, Outcome::Failed,
     whatNow("1 of the script's commands took effect on the card", "REMOTE remote.txt")},

    // ALL: EDID, the devices, FPGA; only a failed device load stops it. Its
    // advice names each step's end.
    {"AllEdidFails", Job::All, "upload-fail=EDID", {"Failed\n", "Programm Device1.bin ...\n", "\nSuccess\nTotal Time : "},
     Outcome::Failed,
     whatNow("the EDID went whole but the card did not confirm it; the flash device 1 step succeeded; "
             "the FPGA step succeeded", "ALL")},
    {"AllFpgaFails", Job::All, "upload-fail=FPGA",
     {e2e::UPLOAD_SUCCESS, "the card ended with ~E (0x45)\n", e2e::TOTAL_TIME}, Outcome::Failed,
     whatNow("the EDID step succeeded; the flash device 1 step succeeded; the FPGA is partly programmed", "ALL")},
    // An EDID the card stopped acknowledging: the card still takes EDID
    // bytes, so the driver load's commands must not follow.
    {.name = "AllEdidLeftOpen", .job = Job::All, .faults = "upload-silent-after=5", .expect = {EDID_UNWRITTEN},
     .outcome = Outcome::Failed,
     .whatNow = whatNow("the EDID is partly written; the flash device 1 step did not run; the FPGA step did not run",
                        "ALL"),
     .counted = "Loading ISP Driver...", .times = 0},
    {"AllDeviceRefused", Job::All, "vxp-refuse-blocks-from=3", {e2e::UPLOAD_SUCCESS, NACK_RETRY, e2e::PRESS_KEY},
     Outcome::Failed,
     whatNow("the EDID step succeeded; flash device 1 is partly written; the FPGA step did not run", "ALL")},
};

// The verdicts the judge may give a cell's run.
bool judgedAs(Outcome outcome, const std::string &verdict) {
  switch (outcome) {
  case Outcome::Done:
    return verdict == "done";
  case Outcome::Unconfirmed:
    return verdict != "done";
  default:
    return verdict == "failed";
  }
}

class FaultMatrix : public ::testing::TestWithParam<Cell> {};

TEST_P(FaultMatrix, Cell) {
  const Cell &c = GetParam();
  if (e2e::windowsDriver())
    GTEST_SKIP() << e2e::NEEDS_TEST_CLOCK;
  e2e::Written written;
  Scenario s = jobScenario(c.job, written);
  std::istringstream faults(c.faults);
  for (std::string fault; faults >> fault;)
    s.card.insert(s.card.end(), {"--fault", fault});
  const std::string named = c.faults;
  if (named.find("split") != std::string::npos || named.find("chatter") != std::string::npos)
    s.timeScale = 1;
  // On the fast clock a late probe answer would be read as the version's:
  // only the MICRO job weighs it; the other jobs' cards leave it out.
  if (s.timeScale > 1 && c.job != Job::Micro && c.job != Job::MicroBootMode)
    s.card.insert(s.card.end(), {"--fault", "silent-cmd=PROBE"});
  if (c.outcome == Outcome::Endless) {
    s.timeScale = ENDLESS_SCALE;
    s.killAfter = ENDLESS_SECONDS;
  }
  const e2e::Result r = e2e::runUnraced(s);
  SCOPED_TRACE(r.out.size() > 1500 ? r.out.substr(r.out.size() - 1500) : r.out);

  size_t at = 0;
  for (const std::string &text : c.expect) {
    at = isp_e2e::after(r.out, text, at);
    ASSERT_NE(at, std::string::npos) << "missing: " << text;
    at += text.size();
  }
  if (c.counted) {
    EXPECT_EQ(e2e::count(r.out, c.counted), c.times) << c.counted;
  }
  // A line that drops under a job ends it at once, said once.
  EXPECT_EQ(e2e::count(r.err, "has gone (EIO): the job stopped there\n"),
            named.find("disconnect-after") != std::string::npos ? 1u : 0u)
      << r.err;
  EXPECT_EQ(r.killed(), c.outcome == Outcome::Endless);
  if (c.outcome != Outcome::Endless) {
    EXPECT_EQ(r.status, c.status >= 0 ? c.status : c.outcome == Outcome::Done ? 0 : 1);
    EXPECT_TRUE(e2e::endsOnExit(r.out));
    EXPECT_PRED2(judgedAs, c.outcome, e2e::judge(c.job, written, r));
  }
  // The advice after a failure: once, exactly when the job changed the card.
  EXPECT_EQ(e2e::count(r.err, WHAT_NOW), c.whatNow.empty() ? 0u : 1u) << r.err;
  EXPECT_TRUE(e2e::has(r.err, c.whatNow)) << r.err;
  if (c.outcome == Outcome::Refused || c.outcome == Outcome::Endless) {
    EXPECT_FALSE(e2e::has(r.events(), "vxp erase device")) << "a flash device was erased";
    EXPECT_FALSE(e2e::has(r.events(), "boot erase")) << "the micro's flash was erased";
  }
}

INSTANTIATE_TEST_SUITE_P(Jobs, FaultMatrix, ::testing::ValuesIn(CELLS),
                         [](const auto &info) { return std::string(info.param.name); });

// The card at the edge of its time limits: each job against each timing
// profile of cardsim. Under real, edge and jitter the job succeeds; under
// beyond the host gives up at the first late answer, with its failure text,
// and a rerun against an instant card that kept what the run left mends
// it. Parts of the card that start after a command (the video processor,
// the ISP driver, the EDID upload) take their time too, and drop what
// comes before. FPGA waits for its answers without end, so
// beyond makes none of them late and it succeeds.
// The micro's jobs keep a slower clock: their 50 ms pauses around the
// switch into boot mode must outlast the card's reading of the line.
const unsigned TIMING_SCALE = 50, MICRO_TIMING_SCALE = 20;
const char *const SUCCEEDS = "";

struct TimingCell {
  const char *name;
  Job job;
  const char *beyondText; // the failure under beyond; SUCCEEDS when none is late
};

const char ECHO_LATE[] = "\nTime Out1";
const TimingCell TIMING_CELLS[] = {
    {"Viper1", Job::Viper1, MICRO_GIVES_UP},
    {"Viper5", Job::Viper5, MICRO_GIVES_UP},
    {"Viper7", Job::Viper7, MICRO_GIVES_UP},
    {"Verify", Job::Verify, ISP_GIVES_UP},
    {"Status", Job::Status, ISP_GIVES_UP},
    {"Micro", Job::Micro, ECHO_LATE},
    {"MicroBootMode", Job::MicroBootMode, ECHO_LATE},
    {"Fpga", Job::Fpga, SUCCEEDS},
    {"Edid", Job::Edid, EDID_UNWRITTEN},
    {"Gamma", Job::Gamma, GAMMA_SILENT},
    {"Remote", Job::Remote, UNANSWERED},
    {"All", Job::All, EDID_UNWRITTEN},
};
const char *const PROFILES[] = {"real", "edge", "jitter:7", "beyond"};

class TimingMatrix : public ::testing::TestWithParam<std::tuple<TimingCell, const char *>> {};

TEST_P(TimingMatrix, JobMeetsTheCardsTiming) {
  const auto &[c, profile] = GetParam();
  if (e2e::windowsDriver())
    GTEST_SKIP() << e2e::NEEDS_TEST_CLOCK;
  e2e::Written written;
  Scenario s = jobScenario(c.job, written);
  const bool micro = c.job == Job::Micro || c.job == Job::MicroBootMode;
  s.timeScale = micro ? MICRO_TIMING_SCALE : TIMING_SCALE;
  if (!micro)
    s.card.insert(s.card.end(), {"--fault", "silent-cmd=PROBE"});
  Scenario timed = s;
  timed.card.insert(timed.card.end(), {"--timing", profile});
  const bool fails = std::string(profile) == "beyond" && c.beyondText != SUCCEEDS;
  e2e::Result r = e2e::runUnraced(timed);
  // A loaded machine can hold the card or the updater up for longer than
  // the fast clock's margin (a tenth of an 18 s limit is 36 ms at 50 times
  // fast): a run that ends otherwise than its profile says goes once more
  // on a clock four times slower, and that verdict stands. A wrong time
  // limit fails on every clock.
  if ((r.status == 0) == fails) {
    timed.timeScale = std::max(1u, timed.timeScale / 4);
    r = e2e::runUnraced(timed);
  }
  SCOPED_TRACE(r.out.size() > 1500 ? r.out.substr(r.out.size() - 1500) : r.out);
  EXPECT_TRUE(e2e::endsOnExit(r.out));
  if (!fails) {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(e2e::judge(c.job, written, r), "done");
    return;
  }
  EXPECT_TRUE(e2e::has(r.out, c.beyondText)) << "missing: " << c.beyondText;
  EXPECT_EQ(r.status, 1);
  if (c.job != Job::Status) { // its report is shown all the same
    EXPECT_NE(e2e::judge(c.job, written, r), "done");
  }
  s.card.insert(s.card.end(), {"--resume", r.stateDir});
  const e2e::Result again = e2e::runUnraced(s);
  EXPECT_EQ(e2e::judge(c.job, written, again), "done") << again.out;
}

INSTANTIATE_TEST_SUITE_P(Jobs, TimingMatrix, ::testing::Combine(::testing::ValuesIn(TIMING_CELLS),
                                                                ::testing::ValuesIn(PROFILES)),
                         [](const auto &info) {
                           std::string profile = std::get<1>(info.param);
                           profile = profile.substr(0, profile.find(':'));
                           return std::string(std::get<0>(info.param).name) + "_" + profile;
                         });

// Interruption and rerun: each writing job's power is cut at chosen points,
// then the job runs again on the card the cut left, and must leave it as a
// clean run does. The points: steps that leave a state of their own,
// "middle" (of the host's bytes after the identification) and "last" (the
// last host byte, or in boot mode the last programming block).
struct Interruption {
  const char *name;
  Job job;
  std::vector<std::string> points; // --power-cut steps, "middle" or "last"
};

const Interruption INTERRUPTIONS[] = {
    {"Viper1", Job::Viper1, {"driver+30", "middle", "last"}},
    {"Viper5", Job::Viper5, {"erase+60", "header+120", "last"}},
    {"Viper7", Job::Viper7, {"header+120"}},
    {"Micro", Job::Micro, {"micro-kernel+40", "last"}},
    {"MicroBootMode", Job::MicroBootMode, {"micro-erase+3", "write-kernel+300", "last"}},
    {"Fpga", Job::Fpga, {"fpga+500", "last"}},
    {"Edid", Job::Edid, {"edid+64", "last"}},
    {"Gamma", Job::Gamma, {"middle", "last"}},
    {"All", Job::All, {"edid", "erase", "last-block@2", "driver@2", "fpga"}},
};

// What the card keeps across a power cycle.
const char *const KEPT_FILES[] = {"flash-device1.bin", "flash-device5.bin", "flash-device7.bin",
                                  "micro-flash.bin", "edid.bin", "gamma.bin", "fpga.bin"};
const char *const KEPT_VALUES[] = {"micro_firmware", "edid_result", "gamma_result", "fpga_result"};

std::string summaryValue(const e2e::Result &r, const std::string &key) {
  const std::string summary = "\n" + r.state("card.txt");
  const size_t at = summary.find("\n" + key + "=");
  if (at == std::string::npos)
    return "";
  const size_t from = at + key.size() + 2;
  return summary.substr(from, summary.find('\n', from) - from);
}

std::map<std::string, std::string> keptCard(const e2e::Result &r) {
  std::map<std::string, std::string> card;
  for (const char *file : KEPT_FILES)
    card[file] = r.state(file);
  for (const char *key : KEPT_VALUES)
    card[key] = summaryValue(r, key);
  return card;
}

// The last event of the cut run that tells where in the job the cut fell.
std::string whereCut(const std::string &events) {
  static const char *const LANDMARKS[] = {"cmd ", "vxp window ", "vxp erase", "vxp driver", "vxp reset",
                                          "boot ", "mode ", "fpga ", "edid ", "gamma "};
  std::istringstream lines(events);
  std::string line, where;
  while (std::getline(lines, line) && line != "power cut")
    for (const char *mark : LANDMARKS)
      if (line.rfind(mark, 0) == 0)
        where = line;
  return where;
}

// The --power-cut value of a point, from the clean run's record.
std::string cutPoint(const std::string &point, const e2e::Result &reference) {
  const long hostBytes = std::stol(summaryValue(reference, "bytes_received"));
  if (point == "middle") {
    const std::string identification = "#DEVTYPE\r";
    const size_t lastQuestion = reference.state("received.bin").rfind(identification);
    const long from = lastQuestion == std::string::npos ? 0 : static_cast<long>(lastQuestion + identification.size());
    return std::to_string((from + hostBytes) / 2);
  }
  if (point != "last")
    return point;
  // Boot mode synchronises in a varying number of bytes: its last block.
  const std::string microBlocks = summaryValue(reference, "boot_blocks_programmed");
  return microBlocks != "0" ? "micro-block@" + microBlocks : std::to_string(hostBytes - 1);
}

class InterruptionSet : public ::testing::TestWithParam<Interruption> {};

TEST_P(InterruptionSet, EveryCutIsMendedByARerun) {
  const Interruption &job = GetParam();
  if (e2e::windowsDriver())
    GTEST_SKIP() << e2e::NEEDS_TEST_CLOCK;
  e2e::Written written;
  Scenario clean = jobScenario(job.job, written);
  // Three whole runs a cut: a slower clock for a busy machine.
  clean.timeScale = std::min(clean.timeScale, INTERRUPTION_SCALE);
  if (job.job == Job::All)
    clean.files.insert(clean.files.end(), {{"Device5.bin", VIPER5_IMAGE}, {"FDriver.bin", DRIVER}});
  const e2e::Result reference = e2e::runUnraced(clean);
  ASSERT_EQ(e2e::judge(job.job, written, reference), "done") << reference.out;
  const std::map<std::string, std::string> cleanCard = keptCard(reference);
  const char *table = std::getenv("INTERRUPTION_TABLE");
  std::ofstream rows(table ? table : "/dev/null", std::ios::app);
  for (const std::string &name : job.points) {
    std::string point;
    e2e::Result cut = reference;
    // A byte count from a run that retried more may lie past this run's end:
    // such a run is whole, and gives the point again.
    for (int attempt = 0; attempt < 3 && !e2e::has(cut.events(), "\npower cut\n"); ++attempt) {
      point = cutPoint(name, cut);
      Scenario cutRun = clean;
      cutRun.card.insert(cutRun.card.end(), {"--power-cut", point});
      cut = e2e::runUnraced(cutRun);
    }
    SCOPED_TRACE("cut at " + point);
    const bool cutCame = e2e::has(cut.events(), "\npower cut\n");
    EXPECT_TRUE(cutCame) << "the run ended before the cut";
    Scenario rerun = clean;
    rerun.card = {"--resume", cut.stateDir};
    const e2e::Result again = e2e::runUnraced(rerun);
    const bool succeeded = e2e::judge(job.job, written, again) == "done";
    EXPECT_TRUE(succeeded) << again.out;
    const bool same = keptCard(again) == cleanCard;
    EXPECT_TRUE(same) << "the card differs from a clean run's";
    rows << "| " << job.name << " | " << point << " | "
         << (cutCame ? whereCut(cut.events()) : "no cut: the run ended first") << " | "
         << (succeeded ? "success" : "FAILED") << " | " << (same ? "equal" : "DIFFERS") << " |\n"
         << std::flush; // one write a row: the jobs' tests share the file
  }
}

INSTANTIATE_TEST_SUITE_P(Jobs, InterruptionSet, ::testing::ValuesIn(INTERRUPTIONS),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
