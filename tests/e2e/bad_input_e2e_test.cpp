// The bad input catalogue: each bad input a technician can hand the updater
// (files missing, empty, cut short, too long, of the wrong form or name;
// over-long command-line words; a port that is no serial device, is held or
// vanishes), with its message and what the card may have received by then.
#include "isp_e2e.h"
#include "jobVerdict.h"

#include <filesystem>
#include <unistd.h>

namespace {

using e2e::FileList;
using e2e::Scenario;

const char PAUSE[] = "Press any key to continue . . . \n";
// A refused image file: its time since it was opened, then the key wait.
const char REFUSED_FILE_END[] = "\nTime : 0 minutes 0 seconds\nPress a key to continue ... ";
const char NOTHING_SENT[] = "Nothing was sent to the card.\n";
const char EDID_SIZE[] = "\nError only file of 128 or 256 bytes can be read\nUnable to write EDID "
                         "information \n\nPress any key to continue\n";
const char GAMMA_RANGE[] = "\n->Analysing Gamma File...\nError, the RGB value must be between 0 "
                           "and 1023.\nPress any key to continue\n";
const char EMPTY_TALLY[] = "\n->ACK : 0 / 0  \n->NACK : 0 / 0  \nEnd of remote.txt";
const char FPGA_CLOSING[] = "\n/**********************************/\n";
const char NO_PORT[] = "Failed to open COM9 :  The COM port selected don't exist!\n";

// How far the run may have talked to the card.
enum class Sent {
  Nothing,        // not a byte: refused before the port was used
  Identification, // the probe and the identification, no job traffic
  // The FPGA job passes the stream on without reading it: the card got the
  // start of the file, never a byte past its end, and did not program it.
  StreamStart,
};

struct BadInput {
  const char *name;
  std::vector<std::string> args;
  FileList files;
  std::string message; // printed as it is
  Sent sent = Sent::Identification;
  int status = 2; // exit status: refused
  // The MICRO job's files, made when the row runs: appMain.mot comes from
  // objcopy, too slow for every start of the test program.
  FileList (*microFiles)() = nullptr;
  bool holdPort = false; // another program holds the port
};

const std::string DRIVER = isp_e2e::image(0x820, 7);
const std::string LONG_WORD(120, 'X');
const std::string LONG_NAME(300, 'D');
const std::vector<std::string> VIPER1 = {"COM1", "VIPER", "Device1.bin"};
const std::vector<std::string> MICRO = {"COM1", "MICRO"};
const std::vector<std::string> EDID = {"COM1", "EDID", "EDID.bin"};
const std::vector<std::string> GAMMA = {"COM1", "GAMMA", "gamma.csv"};
const std::vector<std::string> FPGA = {"COM1", "FPGA", "fpga.xsvf"};
const std::vector<std::string> REMOTE = {"COM1", "REMOTE", "remote.txt"};

FileList viperFiles(const std::string &image, const char *name = "Device1.bin",
                    const char *driver = "SFDriver.bin") {
  return {{name, image}, {driver, DRIVER}};
}

const e2e::MicroSet &microSet() {
  static const e2e::MicroSet set = e2e::microSet();
  return set;
}

// The MICRO job's files with `name` replaced by `content`, or left out.
FileList microWith(const std::string &name, const std::string *content) {
  FileList files;
  for (const auto &file : microSet().files)
    if (file.first != name)
      files.push_back(file);
    else if (content)
      files.push_back({name, *content});
  return files;
}
FileList microWith(const std::string &name, const std::string &content) { return microWith(name, &content); }

// appMain.mot without its last lines (the stop record among them).
std::string cutMot() {
  const std::string &mot = microSet().mot;
  return mot.substr(0, mot.rfind("S3", mot.size() - 60));
}

std::string refusedImage(const std::string &name, const std::string &why) {
  return "File " + name + " " + why + ": refused, nothing was sent.\n" + REFUSED_FILE_END;
}

std::string badKernel(const std::string &name, const std::string &why) {
  return "\nBad kernel file " + name + ": " + why + ". " + NOTHING_SENT;
}

// A gamma table of `lines` lines, with `bad` in place of line `at` (from 0).
std::string gammaTable(int lines, int at = -1, const char *bad = "") {
  std::string csv = "% R,G,B\n";
  for (int i = 0; i < lines; ++i)
    csv += i == at ? std::string(bad) + "\n" : std::to_string(i % 1024) + ",5,7\n";
  return csv;
}

std::string gammaLines(int count) {
  return "\n->Analysing Gamma File...Gamma File error -> The file contains " + std::to_string(count) +
         " lines (only 1024 lines are accepted)\nPress any key to continue\n";
}

const BadInput CATALOGUE[] = {
    // VIPER and VERIFY: the device file.
    {"ViperMissingImage", VIPER1, {}, "File Device1.bin doesn't exist.\n"},
    {"ViperEmptyImage", VIPER1, viperFiles(""), refusedImage("Device1.bin", "is empty")},
    {"ViperOversizeImage", VIPER1, viperFiles(std::string(2097153, '\x11')),
     refusedImage("Device1.bin", "is longer than 2097152 bytes")},
    {"ViperTruncatedHeaderImage", {"COM1", "VIPER", "Device5.bin"},
     viperFiles(std::string(200, '\x22'), "Device5.bin", "FDriver.bin"),
     refusedImage("Device5.bin", "is shorter than its 256-byte header")},
    {"ViperMissingDriver", {"COM1", "VIPER", "Device5.bin"}, {{"Device5.bin", std::string(0x400, '\x33')}},
     "Loading ISP Driver...\nUnable to open file : FDriver.bin\n", Sent::Identification, 1},
    {"ViperLowerCaseName", {"COM1", "VIPER", "device1.bin"}, viperFiles("x", "device1.bin"),
     "Bad device file. (Device 1 or 5 only)\n"},
    {"ViperWrongDevice", {"COM1", "VIPER", "Device3.bin"}, viperFiles("x", "Device3.bin"),
     "Bad device file. (Device 1,5  or 7 only)\n"},
    {"ViperWrongExtension", {"COM1", "VIPER", "Device5.hex"}, viperFiles("x", "Device5.hex"),
     "Bad device file. (Device 1, 5 or 7 only)\n"},
    {"ViperNameTooLong", {"COM1", "VIPER", LONG_NAME}, {}, "The file name is too long (at most 255 characters).\n"},
    {"VerifyWrongName", {"COM1", "VERIFY", "Dev1.bin"}, {{"Dev1.bin", "x"}}, "Bad device file. (Device 1 or 5 only)\n"},

    // MICRO: appMain.mot and the kernels, checked before the first byte.
    {"MicroMissingMot", MICRO, {}, "File appMain.mot doesn't exist.\n", Sent::Nothing, 2,
     [] { return microWith("appMain.mot", nullptr); }},
    {"MicroListedBadSize", MICRO, {}, "Bad appMain.mot file. Exit.\n", Sent::Nothing, 2,
     [] { return microWith("appMain.mot", std::string(510718, 'S')); }},
    {"MicroEmptyMot", MICRO, {},
     std::string("\nBad appMain.mot file: the S3 data does not fill the first 1024 bytes. ") + NOTHING_SENT,
     Sent::Nothing, 2, [] { return microWith("appMain.mot", ""); }},
    {"MicroTruncatedMot", MICRO, {}, NOTHING_SENT, Sent::Nothing, 2, [] { return microWith("appMain.mot", cutMot()); }},
    {"MicroWrongFormatMot", MICRO, {},
     std::string("\nBad appMain.mot file, line 1: record does not start with S. ") + NOTHING_SENT, Sent::Nothing, 2,
     [] { return microWith("appMain.mot", "hello world\n"); }},
    {"MicroMissingKernel", MICRO, {}, badKernel("Genm7144.cde", "missing or unreadable"), Sent::Nothing, 2,
     [] { return microWith("Genm7144.cde", nullptr); }},
    {"MicroEmptyKernel", MICRO, {}, badKernel("Genw7144.cde", "empty"), Sent::Nothing, 2,
     [] { return microWith("Genw7144.cde", ""); }},
    {"MicroOversizeKernel", MICRO, {}, badKernel("uGen7144.cde", "larger than 4000 bytes"), Sent::Nothing, 2,
     [] { return microWith("uGen7144.cde", std::string(4001, '\0')); }},

    // The upload jobs' file names, tested before their jobs run.
    {"FpgaMissingFile", FPGA, {}, std::string("File fpga.xsvf doesn't exist.\n") + PAUSE},
    {"FpgaUpperCaseExtension", {"COM1", "FPGA", "FPGA.XSVF"}, {{"FPGA.XSVF", "x"}}, "Bad fpga file\n"},
    {"EdidWrongExtension", {"COM1", "EDID", "edid.hex"}, {{"edid.hex", "x"}}, "Bad EDID file\n"},
    {"GammaWrongExtension", {"COM1", "GAMMA", "gamma.txt"}, {{"gamma.txt", "1"}}, "Bad GAMMA file\n"},
    {"RemoteWrongExtension", {"COM1", "REMOTE", "script.csv"}, {{"script.csv", "#X\n"}}, "Bad REMOTE file\n"},
    {"RemoteNameShorterThanExtension", {"COM1", "REMOTE", "tx"}, {{"tx", ""}}, "Bad REMOTE file\n"},
    // ALL tests its device images as VIPER does, before the EDID goes; a
    // fourth word is ignored, however long.
    {"AllNothingToDo", {"COM1", "ALL", LONG_NAME}, {{"Device1.bin", "x"}},
     "SFDriver.bin : \tNO  (ERROR - You need a driver to update device1.)\n"},
    {"AllTruncatedHeaderDevice5", {"COM1", "ALL"},
     {{"Device5.bin", std::string(0xFF, '\x22')}, {"FDriver.bin", DRIVER}, {"Device1.bin", std::string(0x40, '\x44')},
      {"SFDriver.bin", DRIVER}, {"EDID.bin", e2e::testData("monitor_128_a.bin")}},
     refusedImage("Device5.bin", "is shorter than its 256-byte header")},

    // The upload files' contents: EDID images and gamma tables are checked
    // before their start command, scripts send only their command lines.
    {"EdidEmptyImage", EDID, {{"EDID.bin", ""}}, EDID_SIZE},
    {"EdidBetweenSizes", EDID, {{"EDID.bin", e2e::testData("tv_256_cta_a.bin").substr(0, 200)}}, EDID_SIZE},
    {"GammaEmptyTable", GAMMA, {{"gamma.csv", ""}}, gammaLines(0)},
    {"GammaOversizeTable", GAMMA, {{"gamma.csv", gammaTable(2048)}}, gammaLines(2048)},
    {"GammaValueOutOfRange", GAMMA, {{"gamma.csv", gammaTable(1024, 700, "5,1024,5")}}, GAMMA_RANGE},
    {"GammaOverflowingValue", GAMMA, {{"gamma.csv", gammaTable(1024, 3, "0,0,99999999999999999999999")}}, GAMMA_RANGE},
    {"RemoteOnlyLinesThatAreNoCommands", REMOTE,
     {{"remote.txt", " #SAVE\n\t#BRIGHTNESS 1\nSAVE\n;#SAVE\n%#SAVE\n&-500\n&x\n\n"}}, EMPTY_TALLY,
     Sent::Identification, 0},
    {"FpgaCutStream", FPGA, {{"fpga.xsvf", e2e::testData("erase_cpld.xsvf").substr(0, 300)}},
     std::string("Taille du fichier : 300\n") + FPGA_CLOSING, Sent::StreamStart, 1},
    {"FpgaNotXsvf", FPGA, {{"fpga.xsvf", "hello world\n"}},
     "\nFPGA programming failed : the card ended with ~E (0x45)\n", Sent::StreamStart, 1},

    // Command-line words.
    {"PortWordTooLong", {"COM" + LONG_WORD, "STATUS"}, {}, "The port word is too long (at most 99 characters).\n",
     Sent::Nothing},
    {"JobWordTooLong", {"COM1", LONG_WORD}, {}, "The job word is too long (at most 99 characters).\n", Sent::Nothing},
    {"PortWordNotCom", {"XYZ1", "STATUS"}, {}, "Must be COMXX\n", Sent::Nothing},
    {"PortThatDoesNotExist", {"COM9", "STATUS"}, {}, NO_PORT, Sent::Nothing, 3},
    {"PortHeldByAnotherProgram", {"COM1", "STATUS"}, {},
     "Failed to open COM1 :  The COM port selected is already open by an other program!\n", Sent::Nothing, 3, nullptr,
     true},
    {"UnknownJobWord", {"COM1", "FLASH", "x.bin"}, {}, "Must be FPGA, VIPER, MICRO, EDID, CMD , GAMMA or ALL\n"},
};

// Nothing of a job went to the card: no ISP frame, micro command, boot-mode
// traffic or card command beyond the identification.
void expectNoJobTraffic(const e2e::Result &r) {
  const std::string events = r.events();
  for (const char *mark : {"isp-frame", "cmd =", "boot sync", "boot erase"})
    EXPECT_FALSE(e2e::has(events, mark)) << mark << " in\n" << events.substr(0, 1500);
  std::istringstream lines(events);
  for (std::string line; std::getline(lines, line);)
    EXPECT_FALSE(line.rfind("cmd #", 0) == 0 && line != "cmd #DEVERSION" && line != "cmd #DEVTYPE") << line;
}

class BadInputCatalogue : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputCatalogue, Input) {
  const BadInput &b = GetParam();
  if (e2e::windowsDriver())
    GTEST_SKIP() << "the checks are the same code in both builds; the catalogue "
                    "runs once, natively, to keep the Wine scenarios short";
  Scenario s{{}, b.args};
  s.files = b.microFiles ? b.microFiles() : b.files;
  s.input = "\n";
  s.holdPort = b.holdPort;
  s.timeScale = 20; // the identification's pauses; the checks take no time
  s.killAfter = 30;
  const e2e::Result r = e2e::run(s);
  EXPECT_TRUE(e2e::has(e2e::anySeconds(r.out), e2e::anySeconds(b.message))) << r.out;
  EXPECT_EQ(r.status, b.status);
  EXPECT_TRUE(e2e::endsOnExit(r.out));
  if (b.sent == Sent::Nothing) {
    EXPECT_EQ(r.state("received.bin"), "");
  }
  if (b.sent != Sent::StreamStart) {
    expectNoJobTraffic(r);
    return;
  }
  // The card took the start of the stream, nothing past its end, and did
  // not program it.
  const std::string &stream = b.files.front().second;
  const std::string held = r.state("fpga.bin");
  EXPECT_LE(held.size(), stream.size());
  EXPECT_EQ(stream.compare(0, held.size(), held), 0) << "bytes the file does not hold";
  EXPECT_FALSE(e2e::has(r.state("card.txt"), "fpga_result=programmed"));
}

INSTANTIATE_TEST_SUITE_P(Files, BadInputCatalogue, ::testing::ValuesIn(CATALOGUE),
                         [](const auto &info) { return std::string(info.param.name); });

// A port name that is no serial device.
TEST(BadInputPort, PortThatIsNoSerialDevice) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << "the port directory is the Linux build's own";
  const std::string dir = testing::TempDir() + "/updater-ports-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  std::filesystem::remove(dir + "/COM3");
  std::filesystem::create_symlink("/dev/null", dir + "/COM3");
  const e2e::Result r = e2e::run({{"--port-dir", dir}, {"COM3", "STATUS"}});
  std::filesystem::remove_all(dir);
  EXPECT_TRUE(e2e::has(r.out, "Failed to ")) << r.out;
  EXPECT_FALSE(e2e::has(r.out, "Now communicating")) << r.out;
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(e2e::endsOnExit(r.out));
}

// The port vanishes (an unplugged adapter) while the card is identified.
// The identification is asked again without end, as for a silent card, so
// that a plugged-in adapter is found again; but a port that cannot be
// reopened is tried again once a second, not thousands of times.
TEST(BadInputPort, PortThatVanishes) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << "a vanished port is asked again without end; the time scale shortens it";
  Scenario s{{"--fault", "disconnect-after=12"}, {"COM1", "STATUS"}};
  s.timeScale = 50; // a second's pause takes 20 ms
  s.killAfter = 3;
  const e2e::Result r = e2e::run(s);
  EXPECT_TRUE(r.killed());
  EXPECT_TRUE(e2e::has(r.out, "Failed to open COM1 :  The COM port selected don't exist!\n"));
  const size_t rounds = e2e::count(r.out, "Now communicating with the card");
  EXPECT_GE(rounds, 2u);
  EXPECT_LE(rounds, 200u) << "rounds without a pause";
  EXPECT_FALSE(e2e::has(r.out, e2e::STATUS_END));
  expectNoJobTraffic(r);
}

} // namespace
