// The bad input catalogue: bad files a technician can hand the updater, with
// their message, exit status, and no job traffic to the card.
#include "isp_e2e.h"
#include "jobVerdict.h"

#include <cstdio>

namespace {

using e2e::FileList;
using e2e::Scenario;

const char NOTHING_SENT[] = "Nothing was sent to the card.\n";
const char GAMMA_RANGE[] = "\n->Analysing Gamma File...\nError, the RGB value must be between 0 "
                           "and 1023.\nPress any key to continue\n";
// The line of the first value out of range, counted in the file (comments too).
std::string gammaRangeAt(int line) {
  return "updater: gamma.csv, line " + std::to_string(line) + ": a value is not between 0 and 1023\n";
}

struct BadInput {
  const char *name;
  std::vector<std::string> args;
  FileList files;
  std::string message; // printed as it is
  int status = 2;      // exit status: refused
  // The MICRO job's files, made by objcopy when the row runs; they are
  // checked before the first byte, other jobs' after the identification.
  FileList (*microFiles)() = nullptr;
  std::string err = ""; // on standard error as well, "" for nothing asked
};

const std::string DRIVER = isp_e2e::image(0x820, 7);
const std::vector<std::string> GAMMA = {"COM1", "GAMMA", "gamma.csv"};

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
  return "File " + name + " " + why + ": refused, nothing was sent.\n\nTime : 0 minutes 0 seconds\n" +
         "Press a key to continue ... ";
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

const BadInput CATALOGUE[] = {
    {"ViperEmptyImage", {"COM1", "VIPER", "Device1.bin"}, {{"Device1.bin", ""}, {"SFDriver.bin", DRIVER}},
     refusedImage("Device1.bin", "is empty")},
    {.name = "ViperMissingDriver", .args = {"COM1", "VIPER", "Device5.bin"},
     .files = {{"Device5.bin", std::string(0x400, '\x33')}},
     .message = "Loading ISP Driver...\nUnable to open file : FDriver.bin\n", .status = 1},
    // ALL tests its device images as VIPER does, before the EDID goes; a
    // refusal stays one when device 1 is dropped for want of its driver.
    {"AllTruncatedHeaderDevice5", {"COM1", "ALL"},
     {{"Device5.bin", std::string(0xFF, '\x22')}, {"FDriver.bin", DRIVER}, {"Device1.bin", std::string(0x40, '\x44')},
      {"EDID.bin", e2e::testData("monitor_128_a.bin")}},
     refusedImage("Device5.bin", "is shorter than its 256-byte header")},

    // MICRO: appMain.mot and the kernels.
    {.name = "MicroTruncatedMot", .args = {"COM1", "MICRO"}, .message = NOTHING_SENT,
     .microFiles = [] { return microWith("appMain.mot", cutMot()); }},
    {.name = "MicroMissingKernel", .args = {"COM1", "MICRO"},
     .message = badKernel("Genm7144.cde", "missing or unreadable"),
     .microFiles = [] { return microWith("Genm7144.cde", nullptr); }},
    {.name = "MicroEmptyKernel", .args = {"COM1", "MICRO"}, .message = badKernel("Genw7144.cde", "empty"),
     .microFiles = [] { return microWith("Genw7144.cde", ""); }},

    // Checked before the start command; a script sends only its commands.
    {"EdidBetweenSizes", {"COM1", "EDID", "EDID.bin"}, {{"EDID.bin", e2e::testData("tv_256_cta_a.bin").substr(0, 200)}},
     "\nError only file of 128 or 256 bytes can be read\nUnable to write EDID information \n\nPress any key to "
     "continue\n"},
    {"GammaOversizeTable", GAMMA, {{"gamma.csv", gammaTable(2048)}},
     "\n->Analysing Gamma File...Gamma File error -> The file contains 1025 lines (only 1024 lines are "
     "accepted)\nPress any key to continue\n"},
    {.name = "GammaValueOutOfRange", .args = GAMMA, .files = {{"gamma.csv", gammaTable(1024, 700, "5,1024,5")}},
     .message = GAMMA_RANGE, .err = gammaRangeAt(702)},
    {.name = "GammaOverflowingValue", .args = GAMMA,
     .files = {{"gamma.csv", gammaTable(1024, 3, "0,0,99999999999999999999999")}}, .message = GAMMA_RANGE,
     .err = gammaRangeAt(5)},
    {.name = "RemoteOnlyLinesThatAreNoCommands", .args = {"COM1", "REMOTE", "remote.txt"},
     .files = {{"remote.txt", " #SAVE\n\t#BRIGHTNESS 1\nSAVE\n;#SAVE\n%#SAVE\n&-500\n&x\n\n"}},
     .message = "\n->ACK : 0 / 0  \n->NACK : 0 / 0  \nEnd of remote.txt", .status = 0},
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
  s.timeScale = 20; // the identification's pauses; the checks take no time
  s.killAfter = 30;
  const e2e::Result r = e2e::run(s);
  EXPECT_TRUE(e2e::has(e2e::anySeconds(r.out), e2e::anySeconds(b.message))) << r.out;
  EXPECT_EQ(r.status, b.status);
  EXPECT_TRUE(e2e::has(r.err, b.err)) << r.err;
  EXPECT_TRUE(e2e::endsOnExit(r.out));
  if (b.microFiles) {
    EXPECT_EQ(r.state("received.bin"), "");
  }
  expectNoJobTraffic(r);
}

INSTANTIATE_TEST_SUITE_P(Files, BadInputCatalogue, ::testing::ValuesIn(CATALOGUE),
                         [](const auto &info) { return std::string(info.param.name); });

// The CPU seconds the updater used, from the times its shell printed last
// (children's user and system time, "0m0.010000s 0m0.020000s").
double updaterCpuSeconds(const std::string &err) {
  const size_t line = err.rfind('m', err.rfind('m') - 1);
  double total = 0;
  for (size_t at = err.rfind('\n', line) + 1; at < err.size();) {
    double minutes = 0, seconds = 0;
    if (std::sscanf(err.c_str() + at, "%lfm%lfs", &minutes, &seconds) == 2)
      total += minutes * 60 + seconds;
    at = err.find(' ', at);
    at = at == std::string::npos ? err.size() : at + 1;
  }
  return total;
}

const char CPU_TIMES[] = "\"$@\"; s=$?; times >&2; exit $s";
const std::string GONE_ON_OPEN = "Failed to open COM1 :  The COM port selected don't exist!\n";

// A technician's bad days: a silent card, an adapter pulled out while the
// card is asked or while a job runs. Each run ends, or goes on, as it
// should, says so once on standard error, and spins neither the console
// nor the CPU.
TEST(BadInputPort, SilentCardAndUnpluggedAdapter) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << "native build only: the card's silence takes minutes without the test "
                    "clock, and Wine keeps reading from a vanished pseudo-terminal";
  const struct {
    const char *name;
    std::vector<std::string> card;
    std::vector<std::string> args;
    unsigned timeScale = 1; // the real pace unless given
    int status;
    std::vector<std::string> out; // in this order
    std::vector<std::string> err; // notices, each said once
  } days[] = {
      // The first round's 129 s end with the notice; the time limit ends the second round.
      {.name = "SilentCardAndATimeLimit", .card = {"--fault", "silent"}, .args = {"COM1", "STATUS"},
       .timeScale = 40, .status = 3,
       .out = {e2e::ASKING + "\nError no communication with the device" + e2e::ASKING + e2e::EXIT},
       .err = {"updater: no answer from a card on COM1 (/dev/pts/",
               "updater: gave up after 150 s without a card (UPDATER_CONNECT_TIMEOUT)\n"}},
      // Gone in the middle of the version question, back two seconds later.
      {.name = "UnpluggedWhileAsked", .card = {"--fault", "disconnect-after=5", "--fault", "replug-after=2000"},
       .args = {"COM1", "STATUS"}, .status = 0, .out = {e2e::ASKING + GONE_ON_OPEN, "OK\r\n", e2e::STATUS_END},
       .err = {"has gone; waiting for it to come back, trying once a second. Ctrl-C stops.\n",
               "updater: COM1 is back; asking the card again\n"}},
      {.name = "UnpluggedForGood", .card = {"--fault", "disconnect-after=5"}, .args = {"COM1", "STATUS"},
       .status = 3, .out = {e2e::ASKING + GONE_ON_OPEN, e2e::EXIT},
       .err = {"has gone; waiting for it to come back", "gave up after 4 s"}},
      // The job ends at once, not at its time limits, and the trace stays short.
      {.name = "UnpluggedDuringEdid", .card = {"--fault", "disconnect-after=100", "--fault", "replug-after=5000"},
       .args = {"COM1", "EDID", "EDID.bin"}, .status = 1, .out = {"->Program EDID with  256 bytes...", e2e::EXIT},
       .err = {"has gone (EIO): the job stopped there\n"}},
  };
  for (const auto &day : days) {
    Scenario s{day.card, day.args};
    s.shell = CPU_TIMES;
    s.timeScale = day.timeScale;
    s.trace = true;
    s.env = {{"UPDATER_CONNECT_TIMEOUT", day.timeScale > 1 ? "150" : "4"}};
    s.files = {{"EDID.bin", e2e::testData("tv_256_cta_a.bin")}};
    const e2e::Result r = e2e::run(s);
    EXPECT_EQ(r.status, day.status) << day.name;
    EXPECT_EQ(e2e::firstMissing(r.out, day.out), "") << day.name << "\n" << r.out;
    for (const std::string &notice : day.err)
      EXPECT_EQ(e2e::count(r.err, notice), 1u) << day.name << ": " << notice << "\n" << r.err;
    EXPECT_LE(e2e::count(r.out, GONE_ON_OPEN), 1u) << day.name;
    EXPECT_LT(e2e::count(r.out, "\n"), 80u) << day.name;
    // (On the test clock every 1 ms read wait is shorter, and polls more often.)
    if (day.timeScale == 1) {
      EXPECT_LT(updaterCpuSeconds(r.err), 0.5) << day.name << "\n" << r.err;
    }
    EXPECT_LT(r.file("trace.txt").size(), 100000u) << day.name;
  }
}

// Waits for the updater's key wait on a pseudo-terminal (echo turned off),
// stops it with Ctrl-C, and says on standard error whether the terminal's
// settings are as they were.
const char CTRL_C_AT_KEY_WAIT[] = R"(python3 - "$@" <<'PY'
import os, pty, signal, subprocess, sys, termios, time
master, slave = pty.openpty()
before = termios.tcgetattr(slave)
p = subprocess.Popen(sys.argv[1:], stdin=slave)
for _ in range(400):
    if not termios.tcgetattr(slave)[3] & termios.ECHO:
        break
    time.sleep(0.05)
p.send_signal(signal.SIGINT)
p.wait()
print("terminal " + ("as it was" if termios.tcgetattr(slave) == before else "changed"), file=sys.stderr)
sys.exit(128 - p.returncode)
PY)";

// Files and streams a hostile or careless set-up hands the updater: a link
// or a FIFO as the trace, one trace per port, standard output closed or
// piped into a program that quits, an update file that is a link to
// /dev/zero, Ctrl-C at a key wait. None hangs, touches a link's target,
// sends console text to the card or stops a job on the card.
TEST(BadInputPort, HostileFilesAndStreams) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << "the Linux build's files, descriptors and signals";
  const std::string image = isp_e2e::image(3000, 41);
  const struct {
    const char *name;
    std::vector<std::string> args;
    std::string shell;
    int status;
    std::string err = "";       // on standard error
    const char *file = nullptr; // a file of the working directory...
    std::string content = "";   // ...and its content
  } rows[] = {
      {.name = "TraceOnALink", .args = {"COM1", "STATUS"},
       .shell = "echo keep >target; ln -s target trace.txt; UPDATER_TRACE=trace.txt exec \"$@\"", .status = 0,
       .err = "cannot create the trace file trace.txt: it is no regular file", .file = "target", .content = "keep\n"},
      {.name = "TraceOnAFifo", .args = {"COM1", "STATUS"},
       .shell = "mkfifo trace.txt; UPDATER_TRACE=trace.txt exec \"$@\"", .status = 0,
       .err = "cannot create the trace file trace.txt: it is no regular file"},
      {.name = "TracePerPort", .args = {"COM1", "STATUS"}, .shell = "UPDATER_TRACE=t-%p.txt exec \"$@\"",
       .status = 0, .file = "t-COM1.txt", .content = "# updater wire trace"},
      {.name = "StandardOutputClosed", .args = {"COM1", "STATUS"}, .shell = "exec \"$@\" >&-", .status = 0},
      {.name = "OutputReaderQuits", .args = {"COM1", "VIPER", "Device1.bin"},
       .shell = "{ \"$@\"; echo $? >status; } | head -c 10 >/dev/null; exit $(cat status)", .status = 0},
      {.name = "FpgaFileIsDevZero", .args = {"COM1", "FPGA", "fpga.xsvf"},
       .shell = "ln -s /dev/zero fpga.xsvf; exec \"$@\"", .status = 2,
       .err = "fpga.xsvf is no plain file (a FIFO, a device or a directory): it is not read\n"},
      {.name = "CtrlCAtTheKeyWait", .args = {"COM1", "STATUS"}, .shell = CTRL_C_AT_KEY_WAIT, .status = 128 + 2,
       .err = "terminal as it was\n"},
  };
  for (const auto &row : rows) {
    // The job's pauses on the fast clock, with the probe unanswered (a late
    // probe answer would be read as the version's).
    Scenario s{{"--fault", "silent-cmd=PROBE"}, row.args};
    s.shell = row.shell;
    s.input = "q";
    s.timeScale = 20;
    s.killAfter = 30;
    s.files = {{"Device1.bin", image}, {"SFDriver.bin", DRIVER}};
    const e2e::Result r = e2e::run(s);
    EXPECT_EQ(r.status, row.status) << row.name << "\n" << r.out << r.err;
    EXPECT_TRUE(e2e::has(r.err, row.err)) << row.name << "\n" << r.err;
    if (row.file) {
      EXPECT_EQ(r.file(row.file).substr(0, row.content.size()), row.content) << row.name;
    }
    // Not a byte of console text reaches the card.
    EXPECT_FALSE(e2e::has(r.state("received.bin"), "Now communicating")) << row.name;
  }
}

} // namespace
