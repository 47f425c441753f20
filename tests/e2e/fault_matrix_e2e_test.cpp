// The fault matrix: every job against each fault of the virtual card that
// reaches it. Each cell names the console text the run must show, the real
// time it must end within, and what the card must hold afterwards: a job
// that prints its success line has put exactly the file on the card, and a
// job that failed never prints it.
#include "harness.h"
#include "isp_e2e.h"
#include "microSet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

namespace {

using e2e::run;
using e2e::Scenario;

const char EXIT[] = "\nExit updater\n";
const char PRESS_KEY[] = "Press a key to continue ... ";
const char NO_COMMUNICATION[] = "\nError no communication with the device";
const size_t MICRO_FLASH_SIZE = 0x800 + 0x40000;

// The protocol clock runs this many times fast in every cell.
const unsigned SCALE = 20;
const unsigned ENDLESS_SCALE = 50;
// The micro mode entry and the boot program's restart take real time on
// the card's side: the boot-mode cells keep more of the sync window.
const unsigned BOOT_SCALE = 10;

enum class Job { Viper1, Viper5, Verify, Status, Micro, MicroBootMode, Fpga, Edid, Gamma, Remote, All };

// What the card must hold at the end.
enum class Outcome {
  Done,     // the job's success line, and the card holds exactly the file
  Failed,   // no success line; the card does not hold the file
  // No success line, though the card may hold the file: its verdict never
  // came, so the job cannot know and reports the failure.
  Unconfirmed,
  Refused,  // no success line, and nothing was written to the card's flash
  Endless,  // the program waits for the operator: stopped from outside
};

struct Cell {
  const char *name;
  Job job;
  std::vector<std::string> faults; // cardsim options
  std::vector<std::string> expect; // console texts, in this order
  Outcome outcome;
  unsigned boundSeconds; // real time the run must end within
  // The exit status: 0 for Done, 1 for a job that failed, unless given.
  int status = -1;
};

int expectedStatus(const Cell &c) {
  if (c.status >= 0)
    return c.status;
  return c.outcome == Outcome::Done ? 0 : 1;
}

std::ostream &operator<<(std::ostream &os, const Cell &c) { return os << c.name; }

const std::string &viperImage() {
  static const std::string data = isp_e2e::image(3000, 41);
  return data;
}
const std::string &viper5Image() {
  static const std::string data = isp_e2e::image(0x600, 42);
  return data;
}
const std::string &driver() {
  static const std::string data = isp_e2e::image(0x820, 43);
  return data;
}
const e2e::MicroSet &micro() {
  static const e2e::MicroSet set = e2e::microSet(1000, 64);
  return set;
}

const std::string &edidImage() {
  static const std::string data = e2e::testData("monitor_128_a.bin");
  return data;
}
const std::string &xsvfStream() {
  static const std::string data = e2e::testData("erase_cpld.xsvf");
  return data;
}
// 1024 lines written as the card records the table it took (gamma.csv).
const std::string &gammaTable() {
  static const std::string data = [] {
    std::string csv;
    for (int i = 0; i < 1024; ++i)
      csv += std::to_string(i) + "," + std::to_string(1023 - i) + "," + std::to_string(i / 3) + "\n";
    return csv;
  }();
  return data;
}
const char SCRIPT[] = "@Picture set-up\r\n#BRIGHTNESS 50\r\n#CONTRAST 60\n&20\n#SAVE\n";
// The script's commands, as the card records those it acknowledged.
const char SCRIPT_COMMANDS[] = "#BRIGHTNESS 50\n#CONTRAST 60\n#SAVE\n";
const char SCRIPT_ALL_ACKNOWLEDGED[] = "\n->ACK : 3 / 3  \n->NACK : 0 / 3  \nEnd of remote.txt";

// The job's success line: printed only once the card took the whole file.
std::string successLine(Job job) {
  switch (job) {
  case Job::Fpga:
    return "\nSuccess";
  case Job::Edid:
  case Job::Gamma:
    return "Sucess\n";
  case Job::Remote:
    return SCRIPT_ALL_ACKNOWLEDGED;
  case Job::All:
    return "\nSuccess\nTotal Time : ";
  case Job::Viper1:
  case Job::Viper5:
    return "\nTotal Time : ";
  case Job::Verify:
    return "Job at 100% ----- Mismatch Total 0 ";
  case Job::Status:
    return "/******** END OF VXP STATUS ********/";
  case Job::Micro:
  case Job::MicroBootMode:
    return "END...REBOOT THE DEVICE!";
  }
  return "";
}

Scenario scenarioOf(const Cell &c) {
  Scenario s;
  // A card that never answers is asked again without end: the clock runs
  // faster still so that the stopped run has shown two rounds.
  s.timeScale = c.outcome == Outcome::Endless                         ? ENDLESS_SCALE
                : c.job == Job::Micro || c.job == Job::MicroBootMode ? BOOT_SCALE
                                                                     : SCALE;
  s.killAfter = c.outcome == Outcome::Endless ? c.boundSeconds : c.boundSeconds + 5;
  switch (c.job) {
  case Job::Viper1:
    s.args = {"COM1", "VIPER", "Device1.bin"};
    s.files = {{"Device1.bin", viperImage()}, {"SFDriver.bin", driver()}};
    break;
  case Job::Viper5:
    s.args = {"COM1", "VIPER", "Device5.bin"};
    s.files = {{"Device5.bin", viper5Image()}, {"FDriver.bin", driver()}};
    break;
  case Job::Verify:
    s.args = {"COM1", "VERIFY", "Device1.bin"};
    s.files = {{"Device1.bin", viperImage()}};
    s.card = {"--flash", "1=Device1.bin"};
    break;
  case Job::Status:
    s.args = {"COM1", "STATUS"};
    s.input = "q";
    break;
  case Job::Micro:
  case Job::MicroBootMode:
    s.args = {"COM1", "MICRO"};
    s.files = micro().files;
    if (c.job == Job::MicroBootMode)
      s.card = {"--boot-mode"};
    break;
  case Job::Fpga:
    s.args = {"COM1", "FPGA", "fpga.xsvf"};
    s.files = {{"fpga.xsvf", xsvfStream()}};
    break;
  case Job::Edid:
    s.args = {"COM1", "EDID", "EDID.bin"};
    s.files = {{"EDID.bin", edidImage()}};
    break;
  case Job::Gamma:
    s.args = {"COM1", "GAMMA", "gamma.csv"};
    s.files = {{"gamma.csv", gammaTable()}};
    break;
  case Job::Remote:
    s.args = {"COM1", "REMOTE", "remote.txt"};
    s.files = {{"remote.txt", SCRIPT}};
    break;
  case Job::All:
    s.args = {"COM1", "ALL"};
    s.files = {{"EDID.bin", edidImage()},
               {"Device1.bin", viperImage()},
               {"SFDriver.bin", driver()},
               {"fpga.xsvf", xsvfStream()}};
    break;
  }
  s.card.insert(s.card.end(), c.faults.begin(), c.faults.end());
  return s;
}

// An upload the card took whole and reports programmed ("" otherwise).
std::string programmed(const e2e::Result &r, const std::string &name, const char *file) {
  const bool done = r.state("card.txt").find(name + "_result=programmed") != std::string::npos;
  return done ? r.state(file) : "";
}

// The script commands the card acknowledged, one a line.
std::string acknowledgedCommands(const e2e::Result &r) {
  std::istringstream events(r.events());
  std::string line, command, out;
  while (std::getline(events, line)) {
    if (!command.empty() && line == "send #ACK\\r")
      out += command + "\n";
    command = line.rfind("cmd #", 0) == 0 ? line.substr(4) : "";
  }
  return out;
}

// What a job writes, piece by piece: the text printed once the card took
// the piece whole, the card's copy of it and what that copy must be.
struct Piece {
  std::string successLine;
  std::string held;
  std::string file;
};

std::vector<Piece> piecesOf(Job job, const e2e::Result &r) {
  switch (job) {
  case Job::Viper1:
  case Job::Verify:
    return {{successLine(job), r.state("flash-device1.bin"), viperImage()}};
  case Job::Viper5:
    return {{successLine(job), r.state("flash-device5.bin"), viper5Image()}};
  case Job::Micro:
  case Job::MicroBootMode:
    return {{successLine(job), r.state("micro-flash.bin"),
             e2e::expectedFlash(micro(), MICRO_FLASH_SIZE)}};
  case Job::Fpga:
    return {{successLine(job), programmed(r, "fpga", "fpga.bin"), xsvfStream()}};
  case Job::Edid:
    return {{successLine(job), programmed(r, "edid", "edid.bin"), edidImage()}};
  case Job::Gamma:
    return {{successLine(job), programmed(r, "gamma", "gamma.csv"), gammaTable()}};
  case Job::Remote:
    return {{successLine(job), acknowledgedCommands(r), SCRIPT_COMMANDS}};
  case Job::All:
    // The FPGA step is reached only once the device loads succeeded.
    return {{"Sucess\n", programmed(r, "edid", "edid.bin"), edidImage()},
            {"\n->Programming FPGA...\n", r.state("flash-device1.bin"), viperImage()},
            {"\nSuccess", programmed(r, "fpga", "fpga.bin"), xsvfStream()}};
  case Job::Status:
    return {};
  }
  return {};
}

bool writes(Job job) { return job != Job::Verify && job != Job::Status; }

std::vector<std::string> f(std::initializer_list<const char *> faults) {
  std::vector<std::string> out;
  for (const char *fault : faults)
    out.insert(out.end(), {"--fault", fault});
  return out;
}

const char ISP_GIVES_UP[] = "Timeout. Retry...SendISP\nTimeout. Retry...SendISP\n"
                            "Timeout. Retry...SendISP\nTimeout. Retry...SendISP\n"
                            "Timeout. Retry...SendISP\nUnable to send command. Exit.SendISP\n";

const Cell CELLS[] = {
    // VIPER, device 1 (one window for the whole file).
    {"ViperClean", Job::Viper1, {}, {"Calling ISP Driver...", "\nTotal Time : "}, Outcome::Done, 10},
    {"ViperSilentCard", Job::Viper1, f({"silent"}), {NO_COMMUNICATION, NO_COMMUNICATION},
     Outcome::Endless, 7},
    {"ViperWrongBitRate", Job::Viper1, f({"firmware-rate=9600"}),
     {NO_COMMUNICATION, NO_COMMUNICATION}, Outcome::Endless, 7},
    {"ViperMicroRefusesMP", Job::Viper1, f({"refuse=MP"}),
     {"Soft Reset...\n", "\nTime : ", PRESS_KEY}, Outcome::Refused, 10},
    {"ViperMicroSilentOnce", Job::Viper1, f({"ack-silent=1"}),
     {"Timeout. Retry...SEndMicro", "Unable to send command. Exit. SendMicro", PRESS_KEY},
     Outcome::Refused, 15},
    {"ViperNoiseBeforeAnswers", Job::Viper1, f({"noise"}), {"\nTotal Time : "}, Outcome::Done, 15},
    {"ViperSplitAnswers", Job::Viper1, f({"split"}), {"\nTotal Time : "}, Outcome::Done, 15},
    {"ViperRepeatedMarkers", Job::Viper1, f({"repeat-eq"}), {"\nTotal Time : "}, Outcome::Done, 15},
    {"ViperBlockRefusedOnce", Job::Viper1, f({"vxp-refuse-block=3"}),
     {"\nNACK received. Retry ... \n", "ISP Mode Status Request ...\n", "\nTotal Time : "},
     Outcome::Done, 10},
    {"ViperGspiTimeout", Job::Viper1, f({"vxp-gspi", "vxp-refuse-block=2"}),
     {"GSPI Timeout\n", "\nTotal Time : "}, Outcome::Done, 10},
    {"ViperBlocksRefusedForGood", Job::Viper1, f({"vxp-refuse-blocks-from=3"}),
     {"\nNACK received. Retry ... \n", PRESS_KEY}, Outcome::Failed, 10},
    {"ViperEchoedFrame", Job::Viper1, f({"vxp-echo=3"}),
     {"Calling ISP Driver...\n", "\nNACK received. Retry ... \n", PRESS_KEY}, Outcome::Refused, 10},
    {"ViperNackNamesOtherCommand", Job::Viper1, f({"vxp-nack-other=3"}),
     {"\nNACK on unknown command. 0x0fff != 0x0802\n", PRESS_KEY}, Outcome::Refused, 10},
    {"ViperSilentFrame", Job::Viper1, f({"vxp-silent-frame=3"}),
     {"Calling ISP Driver...\n", ISP_GIVES_UP, PRESS_KEY}, Outcome::Refused, 10},
    {"ViperLateAnswer", Job::Viper1, f({"vxp-late-frame=5", "vxp-late-ms=400"}),
     {"Timeout. Retry...SendISP\n", "\nTotal Time : "}, Outcome::Done, 10},
    {"ViperWrongChecksum", Job::Viper1, f({"vxp-bad-checksum=5"}), {"Bad checksum\n", "\nTotal Time : "},
     Outcome::Done, 10},
    {"ViperShortAnswer", Job::Viper1, f({"vxp-bad-length=5"}),
     {"Incompatible reception with command.\n", "\nTotal Time : "}, Outcome::Done, 10},
    {"ViperNoiseWithMarkers", Job::Viper1, f({"vxp-noise"}), {"\nTotal Time : "}, Outcome::Done, 10},
    {"ViperBrokenOffFrame", Job::Viper1, f({"vxp-restart=5"}), {"\nTotal Time : "}, Outcome::Done, 10},
    {"ViperEndlessFrame", Job::Viper1, f({"vxp-endless=3"}), {ISP_GIVES_UP, PRESS_KEY},
     Outcome::Refused, 10},
    {"ViperDisconnectMidTransfer", Job::Viper1, f({"disconnect-after=3000"}),
     {"Job at", ISP_GIVES_UP, PRESS_KEY}, Outcome::Failed, 10},

    // VIPER, device 5: data window, then the header window.
    {"Viper5Clean", Job::Viper5, {}, {"Begin Job... Header...\n", "Soft Reset."}, Outcome::Done, 10},
    {"Viper5BlocksRefusedForGood", Job::Viper5, f({"vxp-refuse-blocks-from=3"}),
     {"\nNACK received. Retry ... \n", PRESS_KEY}, Outcome::Failed, 10},
    {"Viper5DisconnectInHeader", Job::Viper5, f({"disconnect-after=1800"}),
     {ISP_GIVES_UP, PRESS_KEY}, Outcome::Failed, 10},

    // VERIFY of device 1 against the same image.
    {"VerifyClean", Job::Verify, {}, {"Job at 100% ----- Mismatch Total 0 "}, Outcome::Done, 5},
    {"VerifyDiffers", Job::Verify, f({"vxp-differ=5"}), {"Job at 100% ----- Mismatch Total 1 "},
     Outcome::Failed, 5},
    {"VerifyShortRead", Job::Verify, f({"vxp-short-read=3"}), {"Mismatch Total 0 "}, Outcome::Done, 5},
    {"VerifyShortReadsForGood", Job::Verify, f({"vxp-short-reads-from=3"}),
     {"Short Response - 8 words", PRESS_KEY}, Outcome::Failed, 5},
    {"VerifyWrongReadAnswer", Job::Verify, f({"vxp-wrong-read=3"}),
     {"\nBad Response - 073b ", "Mismatch Total 0 "}, Outcome::Done, 5},
    {"VerifyReadRefused", Job::Verify, f({"vxp-nack-other=4"}),
     {"ISP Mode Status Request ...\nSetting ISP Mode...\n", "Mismatch Total 0 "}, Outcome::Done, 5},
    {"VerifySilentFrame", Job::Verify, f({"vxp-silent-frame=3"}),
     {ISP_GIVES_UP, "ISP Mode Status Request ...\n", "Mismatch Total 0 "}, Outcome::Done, 5},
    {"VerifyDisconnect", Job::Verify, f({"disconnect-after=300"}),
     {ISP_GIVES_UP, "Unable to send cmd.\n", PRESS_KEY}, Outcome::Failed, 5},

    // STATUS: four queries, a report per key.
    {"StatusClean", Job::Status, {}, {"/******** END OF VXP STATUS ********/"}, Outcome::Done, 5},
    // A report with an unanswered query is still shown; such runs fail.
    {"StatusSilentQuery", Job::Status, f({"vxp-silent-frame=1"}),
     {ISP_GIVES_UP, "/******** END OF VXP STATUS ********/"}, Outcome::Done, 5, 1},
    {"StatusWrongChecksum", Job::Status, f({"vxp-bad-checksum=2"}),
     {"Bad checksum\n", "/******** END OF VXP STATUS ********/"}, Outcome::Done, 5},
    {"StatusEndlessFrame", Job::Status, f({"vxp-endless=1"}),
     {"Timeout. Retry...SendISP\n", "/******** END OF VXP STATUS ********/"}, Outcome::Done, 5, 1},
    {"StatusDisconnect", Job::Status, f({"disconnect-after=60"}),
     {ISP_GIVES_UP, "/******** END OF VXP STATUS ********/"}, Outcome::Done, 10, 1},

    // MICRO from running firmware: micro mode entry, then the boot-mode run.
    {"MicroClean", Job::Micro, {}, {"->WRITING .MOT FILE  TO FLASH MEMORY...", "END...REBOOT THE DEVICE!"},
     Outcome::Done, 10},
    // The probe counts only its last read: a firmware whose answer trickles
    // in is taken for a boot program that waits for a reboot. The run stops
    // before anything is sent beyond the probe.
    {"MicroSplitAnswers", Job::Micro, f({"split"}),
     {"\nThe BOOT program needs to be reboot  -> Please reboot the card and try again"},
     Outcome::Refused, 5},
    {"MicroNoSync", Job::Micro, f({"boot-no-sync"}),
     {"Time Out...No communication with Boot Program...Maybe there's an old firmware..."},
     Outcome::Refused, 10},
    {"MicroNoSyncAnswer", Job::Micro, f({"boot-no-aa"}), {"Time Out...Retry..."}, Outcome::Refused, 10},
    {"MicroWrongEcho", Job::Micro, f({"boot-bad-echo=5"}), {"Error during  validation  byte"},
     Outcome::Refused, 10},
    {"MicroEraseFails", Job::Micro, f({"boot-erase-fail"}), {"Error during erasing of the flash"},
     Outcome::Failed, 10},
    {"MicroWrongInquiry", Job::Micro, f({"boot-bad-inquiry"}), {"->SET PARAMETERS...\nError 2"},
     Outcome::Failed, 10},
    {"MicroWrongStatus", Job::Micro, f({"boot-bad-status=1"}), {"Error 3"}, Outcome::Failed, 10},
    // The write kernel's status and acknowledgement are not examined; the
    // blocks that follow are, and the flash ends up whole.
    {"MicroWrongStatusSum", Job::Micro, f({"boot-bad-status-sum=2"}), {"END...REBOOT THE DEVICE!"},
     Outcome::Done, 10},
    {"MicroBlockNotAcknowledged", Job::Micro, f({"boot-no-ack-block=3"}),
     {"->WRITING .MOT FILE  TO FLASH MEMORY...", "ACK NOT received  :( "}, Outcome::Failed, 10},
    {"MicroWriteNotAcknowledged", Job::Micro, f({"boot-no-ack=WRITE"}), {"END...REBOOT THE DEVICE!"},
     Outcome::Done, 10},
    {"MicroDisconnectMidTransfer", Job::Micro, f({"disconnect-after=400"}), {}, Outcome::Failed, 10},

    // MICRO with the micro waiting in boot mode (the 0x00 probe unanswered).
    {"MicroBootModeClean", Job::MicroBootMode, {}, {"END...REBOOT THE DEVICE!", "\nTime : "},
     Outcome::Done, 10},

    // FPGA: the card asks for the stream's bytes and gives its verdict.
    {"FpgaClean", Job::Fpga, {}, {"\n->Programming FPGA...\n", "\nSuccess"}, Outcome::Done, 5},
    {"FpgaCardFails", Job::Fpga, f({"upload-fail=FPGA"}),
     {"\nFPGA programming failed : the card ended with ~E (0x45)\n"}, Outcome::Failed, 5},
    {"FpgaSmallBlocks", Job::Fpga, f({"fpga-block-limit=7"}), {"\nSuccess"}, Outcome::Done, 5},
    {"FpgaNoiseBeforeRequests", Job::Fpga, f({"noise"}), {"\nSuccess"}, Outcome::Done, 5},
    {"FpgaSplitRequests", Job::Fpga, f({"split"}), {"\nSuccess"}, Outcome::Done, 5},
    {"FpgaMalformedRequest", Job::Fpga, f({"fpga-bad-request"}), {"\nerror : $x", "\nSuccess"},
     Outcome::Done, 5},
    {"FpgaRequestsPastTheEnd", Job::Fpga, f({"fpga-past-end=5"}),
     {"Taille du fichier : 630\n", "\n/**********************************/\n"}, Outcome::Failed, 5},
    // The job waits for the card's requests as long as they take.
    {"FpgaSilentMidStream", Job::Fpga, f({"upload-silent-after=20"}), {"\n->Programming FPGA...\n"},
     Outcome::Endless, 3},
    {"FpgaDisconnectMidStream", Job::Fpga, f({"disconnect-after=200"}),
     {"\nThe port cannot be read any more : error ", "Taille du fichier : "}, Outcome::Failed, 5},

    // EDID: one "." per byte, the sum, "~" and the verdict.
    {"EdidClean", Job::Edid, {}, {"\n->Program EDID with  128 bytes...\n", "Sucess\n"}, Outcome::Done,
     5},
    {"EdidCardFails", Job::Edid, f({"upload-fail=EDID"}), {"Failed\n", "\nTotal Time : "},
     Outcome::Failed, 5},
    {"EdidAckNoise", Job::Edid, f({"ack-noise"}), {"Sucess\n"}, Outcome::Done, 5},
    {"EdidSplitAnswers", Job::Edid, f({"split"}), {"Sucess\n"}, Outcome::Done, 5},
    {"EdidSilentMidImage", Job::Edid, f({"upload-silent-after=10"}),
     {"bytes...\n", "Unable to write EDID information \n\nPress any key to continue\n"},
     Outcome::Failed, 5},
    {"EdidNoEnd", Job::Edid, f({"no-end=EDID"}), {"Unable to write EDID information "},
     Outcome::Unconfirmed, 5},
    {"EdidNoVerdict", Job::Edid, f({"no-verdict=EDID"}), {"Unable to write EDID information "},
     Outcome::Unconfirmed, 5},
    {"EdidDisconnectMidImage", Job::Edid, f({"disconnect-after=90"}),
     {"bytes...\n", "Unable to write EDID information "}, Outcome::Failed, 5},

    // GAMMA: the table checked, then one "." per value, the sum and the verdict.
    {"GammaClean", Job::Gamma, {}, {"\n->Analysing Gamma File...OK\n->Sending Gamma Data...Sucess\n"},
     Outcome::Done, 5},
    {"GammaCardFails", Job::Gamma, f({"upload-fail=GAMMA"}), {"->Sending Gamma Data...Failed\n"},
     Outcome::Failed, 5},
    {"GammaAckNoise", Job::Gamma, f({"ack-noise"}), {"Sucess\n"}, Outcome::Done, 5},
    {"GammaSilentMidTable", Job::Gamma, f({"upload-silent-after=100"}),
     {"->Sending Gamma Data...ERROR 1\nPress any key to continue\n"}, Outcome::Failed, 8},
    {"GammaNoEnd", Job::Gamma, f({"no-end=GAMMA"}), {"\nERROR 2\nPress any key to continue\n"},
     Outcome::Unconfirmed, 5},
    {"GammaNoVerdict", Job::Gamma, f({"no-verdict=GAMMA"}), {"\nERROR 3\nPress any key to continue\n"},
     Outcome::Unconfirmed, 5},
    // The drain ends at the first pause in the card's output (a read waits
    // about 1 ms); what follows is passed over while the job waits for ".".
    {"GammaChatterDuringTable", Job::Gamma, f({"chatter=300"}), {"Sucess\n"}, Outcome::Done, 5},
    // The value's bytes were written before the card vanished: no "." comes.
    {"GammaDisconnectMidTable", Job::Gamma, f({"disconnect-after=2000"}),
     {"->Sending Gamma Data...ERROR 1\nPress any key to continue\n"}, Outcome::Failed, 8},

    // REMOTE: each command answered "#ACK" or "#NACK".
    {"RemoteClean", Job::Remote, {}, {"\nPicture set-up\r\n", SCRIPT_ALL_ACKNOWLEDGED}, Outcome::Done,
     5},
    {"RemoteNoiseBeforeAnswers", Job::Remote, f({"noise"}), {SCRIPT_ALL_ACKNOWLEDGED}, Outcome::Done, 5},
    {"RemoteSplitAnswers", Job::Remote, f({"split"}), {SCRIPT_ALL_ACKNOWLEDGED}, Outcome::Done, 5},
    {"RemoteChatterAfterIdentification", Job::Remote, f({"chatter=100"}), {SCRIPT_ALL_ACKNOWLEDGED},
     Outcome::Done, 5},
    // An unanswered command is reported but not counted.
    {"RemoteCommandUnanswered", Job::Remote, f({"silent-cmd=CONTRAST"}),
     {"\nACK received...\n\nNACK received...\n", "\n->ACK : 2 / 2  \n->NACK : 0 / 2  "},
     Outcome::Failed, 5},
    {"RemoteDisconnectMidScript", Job::Remote, f({"disconnect-after=45"}), {"\nACK received...\n"},
     Outcome::Failed, 5},

    // ALL: EDID, driver and device 1, FPGA; only a failed device load stops it.
    {"AllClean", Job::All, {}, {"Sucess\n", "Programm Device1.bin ...\n", "\nSuccess\nTotal Time : "},
     Outcome::Done, 10},
    {"AllEdidFails", Job::All, f({"upload-fail=EDID"}), {"Failed\n", "\nSuccess\nTotal Time : "},
     Outcome::Failed, 10},
    {"AllFpgaFails", Job::All, f({"upload-fail=FPGA"}),
     {"Sucess\n", "the card ended with ~E (0x45)\n", "\nTotal Time : "}, Outcome::Failed, 10},
    {"AllDeviceRefused", Job::All, f({"vxp-refuse-blocks-from=3"}),
     {"Sucess\n", "\nNACK received. Retry ... \n", PRESS_KEY}, Outcome::Failed, 10},
};

class FaultMatrix : public ::testing::TestWithParam<Cell> {};

TEST_P(FaultMatrix, Cell) {
  const Cell &c = GetParam();
  if (e2e::windowsDriver())
    GTEST_SKIP() << "the cells shorten the protocol's waits with the time "
                    "scale, which the Windows build does not have";
  const auto start = std::chrono::steady_clock::now();
  const e2e::Result r = run(scenarioOf(c));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  SCOPED_TRACE(r.out.size() > 1500 ? r.out.substr(r.out.size() - 1500) : r.out);

  // The console text, in order.
  size_t at = 0;
  for (const std::string &text : c.expect) {
    at = isp_e2e::after(r.out, text, at);
    ASSERT_NE(at, std::string::npos) << "missing: " << text;
    at += text.size();
  }

  // The bound: the run ends by itself in time, or, where the program waits
  // for the operator, is still waiting when stopped.
  if (c.outcome == Outcome::Endless) {
    EXPECT_TRUE(r.killed());
  } else {
    EXPECT_FALSE(r.killed());
    EXPECT_LT(seconds, c.boundSeconds);
    EXPECT_EQ(r.status, expectedStatus(c));
    ASSERT_GE(r.out.size(), sizeof EXIT - 1);
    EXPECT_EQ(r.out.substr(r.out.size() - (sizeof EXIT - 1)), EXIT);
  }

  // The card's record: the job succeeded when it reported every piece.
  const std::vector<Piece> pieces = piecesOf(c.job, r);
  const auto reported = [&r](const std::string &line) {
    return r.out.find(line) != std::string::npos;
  };
  bool success = reported(successLine(c.job));
  for (const Piece &piece : pieces)
    success = success && reported(piece.successLine);
  EXPECT_EQ(success, c.outcome == Outcome::Done);
  if (writes(c.job)) {
    for (const Piece &piece : pieces) {
      if (reported(piece.successLine)) {
        EXPECT_TRUE(piece.held == piece.file)
            << "the success line without the file on the card: " << piece.successLine;
      } else if (c.outcome != Outcome::Unconfirmed) {
        EXPECT_FALSE(piece.held == piece.file)
            << "the file on the card without the success line: " << piece.successLine;
      }
    }
  }
  const std::string events = r.events();
  if (c.outcome == Outcome::Refused || c.outcome == Outcome::Endless) {
    EXPECT_EQ(events.find("vxp erase device"), std::string::npos) << "a flash device was erased";
    EXPECT_EQ(events.find("boot erase"), std::string::npos) << "the micro's flash was erased";
  }
}

INSTANTIATE_TEST_SUITE_P(Jobs, FaultMatrix, ::testing::ValuesIn(CELLS),
                         [](const ::testing::TestParamInfo<Cell> &info) {
                           return std::string(info.param.name);
                         });

} // namespace
