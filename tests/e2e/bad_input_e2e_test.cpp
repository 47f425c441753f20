// The bad input catalogue: each kind of bad input a technician can hand the
// updater (files missing, empty, cut short, too long, of the wrong form or
// name; over-long command-line words; a port that is no serial device or
// that vanishes), with the message it must print and what the card may
// have received by then.
#include "harness.h"
#include "isp_e2e.h"
#include "microSet.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <unistd.h>

namespace {

using e2e::FileList;
using e2e::run;
using e2e::Scenario;

const char EXIT[] = "\nExit updater\n";
const char PAUSE[] = "Press any key to continue . . . \n";
// A refused image file: its time since it was opened, then the key wait.
const char REFUSED_FILE_END[] = "\nTime : 0 minutes 0 seconds\nPress a key to continue ... ";

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
  Sent sent;
  int status = 2; // exit status: refused
};

std::ostream &operator<<(std::ostream &os, const BadInput &b) { return os << b.name; }

const std::string DRIVER = isp_e2e::image(0x820, 7);

FileList viperFiles(const std::string &image, const char *name = "Device1.bin",
                    const char *driver = "SFDriver.bin") {
  return {{name, image}, {driver, DRIVER}};
}

FileList microWith(const std::string &name, const std::string &content) {
  FileList files = e2e::microSet().files;
  bool replaced = false;
  for (auto &file : files)
    if (file.first == name) {
      file.second = content;
      replaced = true;
    }
  if (!replaced)
    files.push_back({name, content});
  return files;
}

FileList microWithout(const std::string &name) {
  FileList files = e2e::microSet().files;
  for (auto it = files.begin(); it != files.end(); ++it)
    if (it->first == name) {
      files.erase(it);
      break;
    }
  return files;
}

const std::string &mot() {
  static const std::string text = e2e::microSet().mot;
  return text;
}

// appMain.mot without its last lines (the stop record among them).
std::string cutMot() { return mot().substr(0, mot().rfind("S3", mot().size() - 60)); }

const std::string LONG_WORD(120, 'X');
const std::string LONG_NAME(300, 'D');

const char BAD_MOT[] = "Nothing was sent to the card.\n";

// A gamma table of `lines` lines, with `bad` in place of line `at` (from 0).
std::string gammaTable(int lines, int at = -1, const char *bad = "") {
  std::string csv = "% R,G,B\n";
  for (int i = 0; i < lines; ++i)
    csv += i == at ? std::string(bad) + "\n" : std::to_string(i % 1024) + ",5,7\n";
  return csv;
}

// Bytes of no text kind: no line starts with a script line's first character.
std::string binaryScript() {
  std::string data;
  for (int i = 0; i < 3000; ++i)
    data += i % 50 == 49 ? '\n' : static_cast<char>(0x80 + i % 0x80);
  return data;
}

std::string xsvfStart(size_t length) { return e2e::testData("erase_cpld.xsvf").substr(0, length); }

const char EDID_SIZE[] = "\nError only file of 128 or 256 bytes can be read\nUnable to write EDID "
                         "information \n\nPress any key to continue\n";
const char GAMMA_RANGE[] = "\n->Analysing Gamma File...\nError, the RGB value must be between 0 "
                           "and 1023.\nPress any key to continue\n";
const char EMPTY_TALLY[] = "\n->ACK : 0 / 0  \n->NACK : 0 / 0  \nEnd of remote.txt";
const char FPGA_CLOSING[] = "\n/**********************************/\n";

std::string gammaLines(int count) {
  return "\n->Analysing Gamma File...Gamma File error -> The file contains " + std::to_string(count) +
         " lines (only 1024 lines are accepted)\nPress any key to continue\n";
}

const BadInput CATALOGUE[] = {
    // VIPER and VERIFY: the device file.
    {"ViperMissingImage", {"COM1", "VIPER", "Device1.bin"}, {}, "File Device1.bin doesn't exist.\n",
     Sent::Identification},
    {"ViperEmptyImage", {"COM1", "VIPER", "Device1.bin"}, viperFiles(""),
     std::string("File Device1.bin is empty: refused, nothing was sent.\n") + REFUSED_FILE_END,
     Sent::Identification},
    {"ViperOversizeImage", {"COM1", "VIPER", "Device1.bin"},
     viperFiles(std::string(2097153, '\x11')),
     std::string("File Device1.bin is longer than 2097152 bytes: refused, nothing was sent.\n") +
         REFUSED_FILE_END,
     Sent::Identification},
    {"ViperTruncatedHeaderImage", {"COM1", "VIPER", "Device5.bin"},
     viperFiles(std::string(200, '\x22'), "Device5.bin", "FDriver.bin"),
     std::string("File Device5.bin is shorter than its 256-byte header: refused, nothing was "
                 "sent.\n") +
         REFUSED_FILE_END,
     Sent::Identification},
    {"ViperMissingDriver", {"COM1", "VIPER", "Device5.bin"},
     {{"Device5.bin", std::string(0x400, '\x33')}},
     "Loading ISP Driver...\nUnable to open file : FDriver.bin\n", Sent::Identification, 1},
    {"ViperLowerCaseName", {"COM1", "VIPER", "device1.bin"}, viperFiles("x", "device1.bin"),
     "Bad device file. (Device 1 or 5 only)\n", Sent::Identification},
    {"ViperWrongDevice", {"COM1", "VIPER", "Device3.bin"}, viperFiles("x", "Device3.bin"),
     "Bad device file. (Device 1,5  or 7 only)\n", Sent::Identification},
    {"ViperWrongExtension", {"COM1", "VIPER", "Device5.hex"}, viperFiles("x", "Device5.hex"),
     "Bad device file. (Device 1, 5 or 7 only)\n", Sent::Identification},
    {"ViperNameTooLong", {"COM1", "VIPER", LONG_NAME}, {},
     "The file name is too long (at most 255 characters).\n", Sent::Identification},
    {"VerifyMissingImage", {"COM1", "VERIFY", "Device7.bin"}, {}, "File Device7.bin doesn't exist.\n",
     Sent::Identification},
    {"VerifyWrongName", {"COM1", "VERIFY", "Dev1.bin"}, {{"Dev1.bin", "x"}},
     "Bad device file. (Device 1 or 5 only)\n", Sent::Identification},

    // MICRO: appMain.mot and the kernels, checked before the first byte.
    {"MicroMissingMot", {"COM1", "MICRO"}, microWithout("appMain.mot"),
     "File appMain.mot doesn't exist.\n", Sent::Nothing},
    {"MicroListedBadSize", {"COM1", "MICRO"}, microWith("appMain.mot", std::string(510718, 'S')),
     "Bad appMain.mot file. Exit.\n", Sent::Nothing},
    {"MicroEmptyMot", {"COM1", "MICRO"}, microWith("appMain.mot", ""),
     "\nBad appMain.mot file: the S3 data does not fill the first 1024 bytes. Nothing was sent "
     "to the card.\n",
     Sent::Nothing},
    {"MicroTruncatedMot", {"COM1", "MICRO"}, microWith("appMain.mot", cutMot()), BAD_MOT,
     Sent::Nothing},
    {"MicroWrongFormatMot", {"COM1", "MICRO"}, microWith("appMain.mot", "hello world\n"),
     "\nBad appMain.mot file, line 1: record does not start with S. Nothing was sent to the "
     "card.\n",
     Sent::Nothing},
    {"MicroBinaryAsMot", {"COM1", "MICRO"},
     microWith("appMain.mot", isp_e2e::image(5000, 9)), BAD_MOT, Sent::Nothing},
    {"MicroMissingKernel", {"COM1", "MICRO"}, microWithout("Genm7144.cde"),
     "\nBad kernel file Genm7144.cde: missing or unreadable. Nothing was sent to the card.\n",
     Sent::Nothing},
    {"MicroEmptyKernel", {"COM1", "MICRO"}, microWith("Genw7144.cde", ""),
     "\nBad kernel file Genw7144.cde: empty. Nothing was sent to the card.\n", Sent::Nothing},
    {"MicroOversizeKernel", {"COM1", "MICRO"}, microWith("uGen7144.cde", std::string(4001, '\0')),
     "\nBad kernel file uGen7144.cde: larger than 4000 bytes. Nothing was sent to the card.\n",
     Sent::Nothing},

    // The upload jobs' file names, tested before their jobs run.
    {"FpgaMissingFile", {"COM1", "FPGA", "fpga.xsvf"}, {},
     std::string("File fpga.xsvf doesn't exist.\n") + PAUSE, Sent::Identification},
    {"FpgaUpperCaseExtension", {"COM1", "FPGA", "FPGA.XSVF"}, {{"FPGA.XSVF", "x"}},
     "Bad fpga file\n", Sent::Identification},
    {"EdidWrongExtension", {"COM1", "EDID", "edid.hex"}, {{"edid.hex", "x"}}, "Bad EDID file\n",
     Sent::Identification},
    {"EdidMissingFile", {"COM1", "EDID", "EDID.bin"}, {},
     std::string("File EDID.bin doesn't exist.\n") + PAUSE, Sent::Identification},
    {"GammaWrongExtension", {"COM1", "GAMMA", "gamma.txt"}, {{"gamma.txt", "1"}},
     "Bad GAMMA file\n", Sent::Identification},
    {"GammaMissingFile", {"COM1", "GAMMA", "gamma.csv"}, {},
     std::string("File gamma.csv doesn't exist.\n") + PAUSE, Sent::Identification},
    {"RemoteWrongExtension", {"COM1", "REMOTE", "script.csv"}, {{"script.csv", "#X\n"}},
     "Bad REMOTE file\n", Sent::Identification},
    {"RemoteNameShorterThanExtension", {"COM1", "REMOTE", "tx"}, {{"tx", ""}}, "Bad REMOTE file\n",
     Sent::Identification},
    // ALL tests its device images as VIPER does, before the EDID goes; a
    // fourth word is ignored, however long.
    {"AllNothingToDo", {"COM1", "ALL", LONG_NAME}, {{"Device1.bin", "x"}},
     "SFDriver.bin : \tNO  (ERROR - You need a driver to update device1.)\n", Sent::Identification},
    {"AllEmptyDevice1", {"COM1", "ALL"},
     {{"Device1.bin", ""}, {"SFDriver.bin", DRIVER}, {"EDID.bin", e2e::testData("monitor_128_a.bin")}},
     std::string("File Device1.bin is empty: refused, nothing was sent.\n") + REFUSED_FILE_END,
     Sent::Identification},
    {"AllOversizeDevice5", {"COM1", "ALL"},
     viperFiles(std::string(2097153, '\x11'), "Device5.bin", "FDriver.bin"),
     std::string("File Device5.bin is longer than 2097152 bytes: refused, nothing was sent.\n") +
         REFUSED_FILE_END,
     Sent::Identification},
    {"AllTruncatedHeaderDevice5", {"COM1", "ALL"},
     {{"Device5.bin", std::string(0xFF, '\x22')}, {"FDriver.bin", DRIVER},
      {"Device1.bin", std::string(0x40, '\x44')}, {"SFDriver.bin", DRIVER}},
     std::string("File Device5.bin is shorter than its 256-byte header: refused, nothing was "
                 "sent.\n") +
         REFUSED_FILE_END,
     Sent::Identification},

    // The upload files' contents: EDID images and gamma tables are checked
    // before their start command, scripts send only their command lines.
    {"EdidEmptyImage", {"COM1", "EDID", "EDID.bin"}, {{"EDID.bin", ""}}, EDID_SIZE,
     Sent::Identification},
    {"EdidCutImage", {"COM1", "EDID", "EDID.bin"},
     {{"EDID.bin", e2e::testData("monitor_128_a.bin").substr(0, 100)}}, EDID_SIZE,
     Sent::Identification},
    {"EdidBetweenSizes", {"COM1", "EDID", "EDID.bin"},
     {{"EDID.bin", e2e::testData("tv_256_cta_a.bin").substr(0, 200)}}, EDID_SIZE,
     Sent::Identification},
    {"EdidOversizeImage", {"COM1", "EDID", "EDID.bin"},
     {{"EDID.bin", e2e::testData("tv_256_cta_a.bin") + e2e::testData("tv_256_cta_a.bin")}},
     EDID_SIZE, Sent::Identification},
    {"GammaEmptyTable", {"COM1", "GAMMA", "gamma.csv"}, {{"gamma.csv", ""}}, gammaLines(0),
     Sent::Identification},
    {"GammaCutTable", {"COM1", "GAMMA", "gamma.csv"}, {{"gamma.csv", gammaTable(600)}},
     gammaLines(600), Sent::Identification},
    {"GammaOversizeTable", {"COM1", "GAMMA", "gamma.csv"}, {{"gamma.csv", gammaTable(2048)}},
     gammaLines(2048), Sent::Identification},
    {"GammaValueOutOfRange", {"COM1", "GAMMA", "gamma.csv"},
     {{"gamma.csv", gammaTable(1024, 700, "5,1024,5")}}, GAMMA_RANGE, Sent::Identification},
    {"GammaOverflowingValue", {"COM1", "GAMMA", "gamma.csv"},
     {{"gamma.csv", gammaTable(1024, 3, "0,0,99999999999999999999999")}}, GAMMA_RANGE,
     Sent::Identification},
    {"GammaBinaryFile", {"COM1", "GAMMA", "gamma.csv"}, {{"gamma.csv", std::string(5000, '\xff')}},
     gammaLines(20), Sent::Identification},
    {"RemoteEmptyScript", {"COM1", "REMOTE", "remote.txt"}, {{"remote.txt", ""}}, EMPTY_TALLY,
     Sent::Identification, 0},
    {"RemoteOnlyLinesThatAreNoCommands", {"COM1", "REMOTE", "remote.txt"},
     {{"remote.txt", " #SAVE\n\t#BRIGHTNESS 1\nSAVE\n;#SAVE\n%#SAVE\n&-500\n&x\n\n"}},
     EMPTY_TALLY, Sent::Identification, 0},
    {"RemoteBinaryScript", {"COM1", "REMOTE", "remote.txt"}, {{"remote.txt", binaryScript()}},
     EMPTY_TALLY, Sent::Identification, 0},
    {"FpgaEmptyStream", {"COM1", "FPGA", "fpga.xsvf"}, {{"fpga.xsvf", ""}},
     std::string("Taille du fichier : 0\n") + FPGA_CLOSING, Sent::StreamStart, 1},
    {"FpgaCutStream", {"COM1", "FPGA", "fpga.xsvf"}, {{"fpga.xsvf", xsvfStart(300)}},
     std::string("Taille du fichier : 300\n") + FPGA_CLOSING, Sent::StreamStart, 1},
    {"FpgaNotXsvf", {"COM1", "FPGA", "fpga.xsvf"}, {{"fpga.xsvf", "hello world\n"}},
     "\nFPGA programming failed : the card ended with ~E (0x45)\n", Sent::StreamStart, 1},

    // Command-line words.
    {"PortWordTooLong", {"COM" + LONG_WORD, "STATUS"}, {},
     "The port word is too long (at most 99 characters).\n", Sent::Nothing},
    {"JobWordTooLong", {"COM1", LONG_WORD}, {}, "The job word is too long (at most 99 characters).\n",
     Sent::Nothing},
    {"PortWordNotCom", {"XYZ1", "STATUS"}, {}, "Must be COMXX\n", Sent::Nothing},
    {"PortThatDoesNotExist", {"COM9", "STATUS"}, {},
     "Failed to open COM9 :  The COM port selected don't exist!\n", Sent::Nothing, 3},
    {"UnknownJobWord", {"COM1", "FLASH", "x.bin"}, {},
     "Must be FPGA, VIPER, MICRO, EDID, CMD , GAMMA or ALL\n", Sent::Identification},
};

class BadInputCatalogue : public ::testing::TestWithParam<BadInput> {};

// Nothing of a job went to the card: no ISP frame, no micro command, no
// card command beyond the identification (micro mode entry, uploads and
// script commands), no boot-mode traffic.
void expectNoJobTraffic(const e2e::Result &r) {
  const std::string events = r.events();
  for (const char *mark : {"isp-frame", "cmd =", "boot sync", "boot erase"})
    EXPECT_EQ(events.find(mark), std::string::npos) << mark << " in\n" << events.substr(0, 1500);
  std::istringstream lines(events);
  std::string line;
  while (std::getline(lines, line)) {
    const bool jobCommand = line.rfind("cmd #", 0) == 0 && line != "cmd #DEVERSION" &&
                            line != "cmd #DEVTYPE";
    EXPECT_FALSE(jobCommand) << line;
  }
}

// The card took the start of the named stream and nothing past its end,
// and did not program it.
void expectStreamStartOnly(const BadInput &b, const e2e::Result &r) {
  const std::string &stream = b.files.front().second;
  const std::string held = r.state("fpga.bin");
  EXPECT_EQ(stream.compare(0, held.size(), held), 0) << "bytes the file does not hold";
  EXPECT_LE(held.size(), stream.size());
  EXPECT_EQ(r.state("card.txt").find("fpga_result=programmed"), std::string::npos);
}

TEST_P(BadInputCatalogue, Input) {
  const BadInput &b = GetParam();
  if (e2e::windowsDriver())
    GTEST_SKIP() << "the checks are the same code in both builds; the catalogue "
                    "runs once, natively, to keep the Wine scenarios short";
  Scenario s{{}, b.args};
  s.files = b.files;
  s.input = "\n";
  s.killAfter = 30;
  const e2e::Result r = run(s);
  EXPECT_NE(r.out.find(b.message), std::string::npos) << r.out;
  EXPECT_EQ(r.status, b.status);
  ASSERT_GE(r.out.size(), sizeof EXIT - 1);
  EXPECT_EQ(r.out.substr(r.out.size() - (sizeof EXIT - 1)), EXIT);
  if (b.sent == Sent::Nothing) {
    EXPECT_EQ(r.state("received.bin"), "");
  }
  if (b.sent == Sent::StreamStart)
    expectStreamStartOnly(b, r);
  else
    expectNoJobTraffic(r);
}

INSTANTIATE_TEST_SUITE_P(Files, BadInputCatalogue, ::testing::ValuesIn(CATALOGUE),
                         [](const ::testing::TestParamInfo<BadInput> &info) {
                           return std::string(info.param.name);
                         });

// A port name that is no serial device.
TEST(BadInputPort, PortThatIsNoSerialDevice) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << "the port directory is the Linux build's own";
  const std::string dir = testing::TempDir() + "/updater-ports-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  std::filesystem::remove(dir + "/COM3");
  std::filesystem::create_symlink("/dev/null", dir + "/COM3");
  Scenario s{{"--port-dir", dir}, {"COM3", "STATUS"}};
  const e2e::Result r = run(s);
  std::filesystem::remove_all(dir);
  EXPECT_NE(r.out.find("Failed to "), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Now communicating"), std::string::npos) << r.out;
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out.substr(r.out.size() - (sizeof EXIT - 1)), EXIT);
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
  const e2e::Result r = run(s);
  EXPECT_TRUE(r.killed());
  EXPECT_NE(r.out.find("Failed to open COM1 :  The COM port selected don't exist!\n"),
            std::string::npos);
  const size_t rounds = e2e::count(r.out, "Now communicating with the card");
  EXPECT_GE(rounds, 2u);
  EXPECT_LE(rounds, 200u) << "rounds without a pause";
  EXPECT_EQ(r.out.find("END OF VXP STATUS"), std::string::npos);
  expectNoJobTraffic(r);
}

// Another program holds the port.
TEST(BadInputPort, PortHeldByAnotherProgram) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << "the lock is taken by a Linux shell";
  Scenario s{{}, {"COM1", "STATUS"}};
  s.holdPort = true;
  const e2e::Result r = run(s);
  EXPECT_NE(r.out.find("Failed to open COM1 :  The COM port selected is already open by an "
                       "other program!\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.state("received.bin"), "");
}

} // namespace
