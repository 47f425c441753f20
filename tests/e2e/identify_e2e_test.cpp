// The job spine against the virtual card: command line, port, probe,
// identification, banner, usage and the refusals before a job starts.
#include "harness.h"
#include "microSet.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <unistd.h>

namespace {

using namespace e2e;

// The updater's version in the banner, which --version names too.
const std::string BANNER_VERSION = "1.11";

std::string banner(const std::string &model, const std::string &version) {
  return "\r\n" + STARS + "\t\t\t\t\t\t\t*\r*\t\t\t" + model +
         "\n*\t\t\t\t\t\t\t*\n\t\t\t\t\t\t\t*\r*\tUpdater Version   -> " + BANNER_VERSION +
         "\n*\t\t\t\t\t\t\t*\n\t\t\t\t\t\t\t*\r*\tSoftware Version  -> " + version + "\n" +
         STARS;
}

std::string usage(bool edid) {
  return std::string("Error: Usage is\n"
                     "  updater [COMXX] [FPGA/VIPER] Filename.xxx\n"
                     "e.g. updater COM1 FPGA fpga.xsvf\n"
                     "e.g. updater COM1 VIPER Device5.bin\n"
                     "e.g. updater COM1 MICRO\n") +
         (edid ? "e.g. updater COM1 EDID\n" : "e.g. updater COM1 ALL\n");
}

// The console of a run that stops after the banner with `tail`.
std::string identified(const std::string &model, const std::string &version,
                       const std::string &tail) {
  return ASKING + "OK" + banner(model, version) + tail + EXIT;
}

std::string dviToSdi(const std::string &tail) { return identified("DVI TO SDI", "2.05", tail); }

const std::string OLD_FIRMWARE = ASKING + "\nYou are using an old firmware version...";

// A run that ends before its job's work: console, exit status, card.
struct Spine {
  const char *name;
  Scenario run;
  std::string out;
  int status;
  // An event the card records `times` times; "" when not a byte may reach
  // the card, nullptr when neither matters.
  const char *event = nullptr;
  bool microFiles = false; // the MICRO job's files, made when the row runs
  unsigned times = 1;
  const char *err = ""; // a line on standard error
};

std::ostream &operator<<(std::ostream &os, const Spine &s) { return os << s.name; }

Scenario on(std::vector<std::string> card, std::vector<std::string> args) {
  return Scenario{.card = std::move(card), .args = std::move(args)};
}

// The updater started by `shell`, with its command line as "$@".
Scenario shellRun(std::string shell, std::vector<std::string> args) {
  Scenario s = on({}, std::move(args));
  s.shell = std::move(shell);
  return s;
}

// `s` with a time limit on the identification.
Scenario connectLimit(Scenario s, const char *seconds) {
  s.env = {{"UPDATER_CONNECT_TIMEOUT", seconds}};
  return s;
}

// A run refused with `text` before the port opens.
Spine refused(const char *name, std::vector<std::string> args, const std::string &text) {
  return {name, on({}, std::move(args)), text + EXIT, 2, ""};
}

// A card of `card` that shows `shown` and `version`, asked for no job.
Spine model(const char *name, std::vector<std::string> card, const std::string &shown,
            const std::string &version, bool edid) {
  return {name, on(std::move(card), {"COM1"}), identified(shown, version, usage(edid)), 2,
          "cmd #DEVTYPE"};
}

const Spine SPINE[] = {
    {"NoArguments", on({}, {}), "", 0, ""},
    // The release is CMake's project version.
    {"Version", on({}, {"--version"}),
     "updater " UPDATER_RELEASE_VERSION "\nbanner version " + BANNER_VERSION + "\n", 0, ""},
    refused("PortWordNotCom", {"XYZ1", "STATUS"}, "Must be COMXX\n"),
    refused("PortWordTooLong", {"COM" + std::string(200, '1'), "STATUS"},
            "The port word is too long (at most 99 characters).\n"),
    refused("JobWordTooLong", {"COM1", std::string(100, 'J')},
            "The job word is too long (at most 99 characters).\n"),
    {"MissingPort", on({}, {"COM9", "STATUS"}),
     std::string("Failed to open COM9 :  The COM port selected don't exist!\n") + EXIT, 3, ""},
    {"PortThatIsNoSerialDevice",
     shellRun("d=$(mktemp -d); ln -s /dev/null \"$d/COM3\"; UPDATER_PORT_DIR=$d \"$@\"; s=$?; rm -r \"$d\"; exit $s",
              {"COM3", "STATUS"}),
     std::string("Failed to get port status : error 1  \n") + EXIT, 3, ""},
    refused("MicroWithoutItsFile", {"COM1", "MICRO"}, "File appMain.mot doesn't exist.\n"),
    {"MicroFileOfTheRefusedSize",
     {.args = {"COM1", "MICRO"}, .files = {{"appMain.mot", std::string(510718, 'S')}}},
     std::string("Bad appMain.mot file. Exit.\n") + EXIT, 2, ""},
    // One byte, the fewest that still tells a boot program from silence.
    {.name = "BootProgramWaitingForReboot", .run = on({"--boot-reboot=1"}, {"COM1", "MICRO"}),
     .out = std::string("\nThe BOOT program needs to be reboot  -> Please reboot the card and "
                        "try again") + EXIT,
     .status = 1, .microFiles = true},
    {.name = "OldFirmwareHandsMicroToBootMode",
     .run = {.card = {"--old-firmware"}, .args = {"COM1", "MICRO"}, .timeScale = 20},
     .out = OLD_FIRMWARE + EXIT, .status = 1, .event = "mode boot", .microFiles = true,
     .err = "updater: after this failure, the micro waits in its boot program, its old firmware "
            "still in flash. Run the job again, which takes the boot-mode path: "
            "updater COM1 MICRO\n"},
    // Five bytes in answer to the key bytes, the fewest an old firmware is
    // known by. (On the fast clock a probe answer could come after the
    // probe's pause and be read as the version's: the probe goes unanswered.)
    {"OldFirmwareRefusesOtherJobs",
     {.card = {"--old-firmware-reply", "5", "--fault", "silent-cmd=PROBE"},
      .args = {"COM1", "STATUS"}, .timeScale = 20},
     OLD_FIRMWARE + std::string("\nUnsupported feature...Update the firmware version") + EXIT, 1,
     "old-firmware key 3"},
    // Every model's banner, then the usage of its group (after the probe's two 0x00).
    {.name = "DviToSdi", .run = on({"--model", "DVITOSDI", "--version", "2.05"}, {"com1"}),
     .out = dviToSdi(usage(true)), .status = 2, .event = "probe", .times = 2},
    model("SdiToDvi", {"--model", "SDITODVI", "--version", "2.05"}, "DL-SDI TO DVI", "2.05", false),
    model("SlSdiToDvi", {"--model", "SL-SDITODVI"}, "SL-SDI TO DVI", "2.05", false),
    model("HdmiToSdi", {"--model", "HDMITOSDI"}, "HDMI TO SDI", "2.05", true),
    model("SdiToHdmi", {"--model", "SDITOHDMI"}, "DL-SDI TO HDMI", "2.05", false),
    model("SlSdiToHdmi", {"--model", "SL-SDITOHDMI"}, "SL-SDI TO HDMI", "2.05", false),
    model("PlusEdition", {"--model", "HDMITOSDI", "--edition", "2", "--version", "3.07"},
          "HDMI TO SDI PLUS", "3.07", true),
    model("UnknownVersionWord", {"--model", "SDITODVI", "--version", "E1.0"}, "DL-SDI TO DVI",
          "Unknown", false),
    // A version word longer than the banner's nine characters keeps nine.
    model("LongVersionWord", {"--model", "SDITODVI", "--version", "1234567890AB"}, "DL-SDI TO DVI",
          "123456789", false),
    // An unanswered version question is asked fifteen times.
    {.name = "UnansweredVersionAskedFifteenTimes",
     .run = {.card = {"--fault", "silent-cmd=DEVERSION", "--fault", "silent-cmd=PROBE"},
             .args = {"COM1"}, .timeScale = 20},
     .out = identified("DVI TO SDI", "Unknown", usage(true)), .status = 2,
     .event = "cmd #DEVERSION", .times = 15},
    // The time limit is checked between questions: the first one's 8 s end the run.
    {"SilentCardTimeLimit",
     connectLimit({.card = {"--fault", "silent"}, .args = {"COM1", "STATUS"}, .timeScale = 20},
                  "3"),
     ASKING + EXIT, 3, nullptr},
    {"UnknownModelAskedAgain", on({"--model", "DVITOSDI", "--unknown-model-first", "2"}, {"COM1"}),
     ASKING + "\nERROR CARD MODEL UNKNOWN" + ASKING + "\nERROR CARD MODEL UNKNOWN" +
         dviToSdi(usage(true)),
     2, nullptr},
    // What no card can make valid is refused before the port opens, with the
    // texts that hold on every model: not a byte reaches the card.
    refused("FileNameTooLong", {"com1", "fpga", std::string(256, 'f') + ".xsvf"},
            "The file name is too long (at most 255 characters).\n"),
    refused("FpgaWithoutFile", {"COM1", "FPGA"}, usage(false)),
    refused("UnknownJobWord", {"COM1", "CMD", "x"}, "Must be FPGA, VIPER, MICRO, CMD, GAMMA or ALL\n"),
    refused("DeviceFileNotOneFiveOrSeven", {"COM1", "viper", "device5.bin"},
            "Bad device file. (Device 1 or 5 only)\n"),
    refused("UpperCaseFpgaFile", {"COM1", "FPGA", "FPGA.XSVF"}, "Bad fpga file\n"),
    refused("MissingFpgaFile", {"COM1", "FPGA", "fpga.xsvf"},
            "File fpga.xsvf doesn't exist.\nPress any key to continue . . . \n"),
    refused("MissingDevice7File", {"COM1", "VERIFY", "Device7.bin"},
            "File Device7.bin doesn't exist.\n"),
    // What needs the card is refused after the identification.
    {"EdidOnAModelWithoutOne",
     {.card = {"--model", "SDITODVI"}, .args = {"COM1", "EDID", "e.bin"},
      .files = {{"e.bin", std::string(128, 'e')}}},
     identified("DL-SDI TO DVI", "2.05", "Must be FPGA, VIPER, MICRO, CMD, GAMMA or ALL\n"), 2,
     "cmd #DEVTYPE"},
};

class Spines : public ::testing::TestWithParam<Spine> {};

TEST_P(Spines, ConsoleStatusAndCard) {
  const Spine &s = GetParam();
  Scenario scenario = s.run;
  if (s.microFiles)
    scenario.files = microFiles();
  const Result r = run(scenario);
  EXPECT_EQ(r.out, s.out);
  EXPECT_EQ(r.status, s.status);
  EXPECT_TRUE(has(r.err, s.err)) << r.err;
  if (!s.event)
    return;
  const std::string event = *s.event ? std::string(s.event) + "\n" : "";
  EXPECT_EQ(*s.event ? count(r.events(), event) : r.state("received.bin").size(),
            *s.event ? s.times : 0u)
      << event;
}

INSTANTIATE_TEST_SUITE_P(Runs, Spines, ::testing::ValuesIn(SPINE),
                         [](const ::testing::TestParamInfo<Spine> &info) {
                           return std::string(info.param.name);
                         });

// The usage text needs no card: its three words print the same text, which
// names each job with its file and the manual; a run without arguments
// points to it on standard error.
TEST(NoCard, UsageText) {
  const Result help = run(on({}, {"--help"}));
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(firstMissing(help.out, {"\n  FPGA NAME.xsvf ", "\n  VIPER DeviceN.bin ", "\n  MICRO ",
                                    "\n  EDID NAME.bin ", "\n  ALL ", "\n  REMOTE NAME.txt ",
                                    "\n  VERIFY DeviceN.bin ", "\n  STATUS ", "\n  GAMMA NAME.csv ",
                                    windowsDriver() ? "README.txt" : "man updater"}),
            "");
  EXPECT_EQ(help.state("received.bin"), "");
  for (const char *word : {"-h", "/?"})
    EXPECT_EQ(run(on({}, {word})).out, help.out) << word;
  EXPECT_EQ(run(on({}, {})).err, "updater: no port given; updater --help tells how to run it\n");
}

const std::string PORT_IN_USE =
    "Failed to open COM1 :  The COM port selected is already open by an other program!\n";
// The shell's name for the lock file of the card's port (the real node's).
const std::string LOCK_FILE = "lock=\"$UPDATER_LOCK_DIR/LCK..$(basename \"$(readlink -f "
                              "\"$UPDATER_PORT_DIR/COM1\")\")\"\n";
const std::string UPDATER = "\n\"$@\"; exit $?";
const std::string OPEN_PORT = "exec 3<>\"$UPDATER_PORT_DIR/COM1\"";
// The shell's own PID written into the lock file, as a live holder's.
const std::string SHELL_PID_LOCK = "printf '%10d\\n' $$ >\"$lock\"";

size_t filesIn(const std::string &dir) {
  const std::filesystem::directory_iterator files(dir);
  return static_cast<size_t>(std::distance(begin(files), end(files)));
}

// Each way a Linux program shows that it uses a port refuses the port, and
// another program's lock file stays; so does a file at the lock's name that
// is no lock file (named on standard error, never opened in a way that may
// block, a link there never followed), and a lock still being written. A
// dead process's lock file, or an unfinished one long left, is taken over;
// one that may not be removed leaves the run without a lock file. The
// updater's own holds its PID and goes at the end, also on a signal, but
// only while it is still its own.
TEST(PortOpening, HoldersLockFilesAndTheirRemoval) {
  if (windowsDriver())
    GTEST_SKIP() << "native build only: Wine does not refuse a second open of "
                    "a serial device (its share-mode check leaves character "
                    "devices out), so no Windows run can meet a port in use; "
                    "lock files are the Linux build's";
  // No process has a PID at the kernel's upper limit.
  const std::string deadPid = "printf '%10d\\n' 4194304";
  // The updater runs to its STATUS key wait, holding the lock that names it.
  const std::string duringRun =
      LOCK_FILE + "mkfifo keys; \"$@\" <keys & pid=$!; exec 4>keys\n"
                  "until printf '%10d\\n' $pid | cmp -s - \"$lock\"; do sleep 0.1; done\n";
  const std::string quit = "\necho q >&4; wait $pid";
  const std::string stop = "\nkill -TERM $pid; wait $pid";
  const struct {
    const char *holder;
    std::string shell;
    int status;              // 3: refused as a port in use
    size_t lockFiles = 0;    // left in the lock directory after the run
    bool namesLock = false;  // standard error names the lock file
    std::string target = ""; // the work directory's file "target" after the run
  } holders[] = {
      // The updater itself inherits the locked descriptor: only the lock tells.
      {.holder = "a flock", .shell = OPEN_PORT + "; flock -n 3 && exec \"$@\"", .status = 3},
      {.holder = "an open descriptor, no lock", .shell = OPEN_PORT + UPDATER, .status = 3},
      {.holder = "a live process's lock file", .shell = LOCK_FILE + SHELL_PID_LOCK + UPDATER,
       .status = 3, .lockFiles = 1},
      {.holder = "a FIFO", .shell = LOCK_FILE + "mkfifo \"$lock\"" + UPDATER, .status = 3,
       .lockFiles = 1, .namesLock = true},
      {.holder = "a link to a dead process's lock file",
       .shell = LOCK_FILE + deadPid + " >target; ln -s \"$PWD/target\" \"$lock\"" + UPDATER,
       .status = 3, .lockFiles = 1, .namesLock = true, .target = "   4194304\n"},
      {.holder = "a directory", .shell = LOCK_FILE + "mkdir \"$lock\"" + UPDATER, .status = 3,
       .lockFiles = 1, .namesLock = true},
      {.holder = "an empty lock file being written", .shell = LOCK_FILE + ": >\"$lock\"" + UPDATER,
       .status = 3, .lockFiles = 1},
      {.holder = "an empty lock file long left",
       .shell = LOCK_FILE + "touch -d '1 minute ago' \"$lock\"" + UPDATER, .status = 0},
      {.holder = "a dead process's lock file",
       .shell = LOCK_FILE + deadPid + " >\"$lock\"" + UPDATER, .status = 0},
      // The tests run as root: the updater runs as nobody, in a sticky lock
      // directory where root's stale lock may not be removed.
      {.holder = "a stale lock of another user",
       .shell = LOCK_FILE + deadPid + " >\"$lock\"; chmod 711 \"${UPDATER_LOCK_DIR%/*}\" "
                            "\"$UPDATER_PORT_DIR\"; chmod 1777 \"$UPDATER_LOCK_DIR\"\n"
                            "chown nobody \"$(readlink -f \"$UPDATER_PORT_DIR/COM1\")\"\n"
                            "setpriv --reuid=nobody --regid=nogroup --clear-groups \"$@\"",
       .status = 0, .lockFiles = 1, .namesLock = true},
      {.holder = "its own lock, at the end", .shell = duringRun + quit, .status = 0},
      {.holder = "its own lock, on SIGTERM", .shell = duringRun + stop, .status = 128 + 15},
      {.holder = "its lock rewritten with another PID", .shell = duringRun + SHELL_PID_LOCK + quit,
       .status = 0, .lockFiles = 1},
      {.holder = "its lock replaced, on SIGTERM",
       .shell = duringRun + "printf '%10d\\n' $pid >new; mv new \"$lock\"" + stop,
       .status = 128 + 15, .lockFiles = 1},
  };
  for (const auto &h : holders) {
    if (has(h.shell, "setpriv") && getuid() != 0)
      continue; // runs the updater as another user, which needs root
    Scenario s{{}, {"COM1", "STATUS"}};
    s.shell = h.shell;
    s.killAfter = 20; // a run that hangs fails in seconds
    const Result r = run(s);
    if (h.status == 3) {
      EXPECT_EQ(r.out, PORT_IN_USE + EXIT) << h.holder;
      EXPECT_EQ(r.state("received.bin"), "") << h.holder;
    } else if (h.status == 0) { // a stopped run may not have got that far
      EXPECT_TRUE(has(r.out, "END OF VXP STATUS")) << h.holder << "\n" << r.out;
    }
    EXPECT_EQ(r.status, h.status) << h.holder;
    EXPECT_EQ(filesIn(r.lockDir), h.lockFiles) << h.holder;
    EXPECT_EQ(has(r.err, r.lockDir + "/LCK.."), h.namesLock) << h.holder << r.err;
    EXPECT_EQ(r.file("target"), h.target) << h.holder;
  }
}

// The port list holds the card's pseudo-terminal under the word that opens
// it, and tells who holds it; nothing reaches the card. Under Wine it holds
// the COM ports of Wine's registry, COM1 among them.
TEST(NoCard, PortListNamesTheCardsPortAndItsHolder) {
  if (windowsDriver()) {
    const Result r = run(on({}, {"--list-ports"}));
    EXPECT_TRUE(has("\n" + r.out, "\nCOM1\n")) << r.out;
    EXPECT_EQ(r.status, 0);
    return;
  }
  const std::string tellPort = "readlink -f \"$UPDATER_PORT_DIR/COM1\" >&2\n";
  const struct {
    std::string shell;
    std::string use;
  } holders[] = {
      {"exec \"$@\"", "free  you may open it\n"},
      {OPEN_PORT + UPDATER, "in use by sh (process "},
      {LOCK_FILE + SHELL_PID_LOCK + UPDATER, "locked by sh (process "},
      {LOCK_FILE + "mkfifo \"$lock\"" + UPDATER, "foreign lock file "},
  };
  for (const auto &h : holders) {
    const Result r = run(shellRun(tellPort + h.shell, {"--list-ports"}));
    const std::string device = r.err.substr(0, r.err.find('\n'));
    EXPECT_TRUE(has("\n" + r.out, "\n" + device + "  COM1  pseudo-terminal  " + h.use)) << r.out;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.state("received.bin"), "");
  }
}

// With no port directory set, COMn is /dev/ttyS<n-1> on Linux. In a mount
// namespace of its own, the card's pseudo-terminal stands in for /dev/ttyS0.
TEST(PortOpening, ComWordIsTheSerialPortOneLower) {
  if (windowsDriver() || geteuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
    GTEST_SKIP() << "native build as root only: the run mounts the card's port as /dev/ttyS0";
  Scenario s{{}, {"COM1"}};
  s.shell = "pts=$(readlink -f \"$UPDATER_PORT_DIR/COM1\"); unset UPDATER_PORT_DIR; "
            "exec unshare -m sh -c 'mount --bind /dev/pts /mnt && mount -t tmpfs none /dev && "
            "touch /dev/ttyS0 && mount --bind \"/mnt/${0##*/}\" /dev/ttyS0 && exec \"$@\"' "
            "\"$pts\" \"$@\"";
  EXPECT_EQ(run(s).out, dviToSdi(usage(true)));
}

// A port word with a "/" names the device by its path on Linux, as typed:
// a by-id name keeps its case and may pass 99 characters.
TEST(PortOpening, DevicePathPortWord) {
  if (windowsDriver())
    GTEST_SKIP() << "device paths are the Linux build's";
  const std::string dir = testing::TempDir() + "/updater-ports-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  const std::string link = dir + "/usb-Silicon_Labs_CP2102N_USB_to_UART_Bridge_Controller_"
                                 "d0f3f5a9e5b3ec11b8d3a1b1e4c3a2b1-if00-port0";
  const Result r = run({{"--link", link}, {link, "STATUS"}});
  std::filesystem::remove_all(dir);
  EXPECT_TRUE(has(r.out, "END OF VXP STATUS")) << r.out;
  EXPECT_EQ(r.status, 0);
}

// No permission on the device: the console keeps the refusal's text, and
// standard error names the remedy: the device's group when that group may
// read and write it, otherwise a udev rule (the group of a pseudo-terminal,
// mode 0620, may only write to it).
TEST(PortOpening, NoPermissionNamesTheGroupThatMayUseTheDevice) {
  if (windowsDriver() || getuid() != 0)
    GTEST_SKIP() << "runs the Linux build as another user, which needs root";
  const struct {
    const char *mode;
    std::string remedy; // after "; ", with the device's group as GROUP
  } devices[] = {
      {"0660", "it belongs to group GROUP: add your user to it (sudo usermod -aG GROUP $USER) "
               "and log in again"},
      {"0620", "it is open to no group (mode 0620, group GROUP): ask the administrator for a "
               "udev rule that gives it to a group of yours, such as dialout, with "
               "MODE=\"0660\""},
  };
  for (const auto &d : devices) {
    Scenario s{{}, {"COM1", "STATUS"}};
    // The shell says the device's group first: the device is gone after the run.
    s.shell = "dev=$(readlink -f \"$UPDATER_PORT_DIR/COM1\"); chmod " + std::string(d.mode) +
              " \"$dev\"; stat -c %G \"$dev\" >&2\n"
              "exec setpriv --reuid=nobody --regid=nogroup --clear-groups \"$1\" \"$dev\" STATUS";
    const Result r = run(s);
    EXPECT_TRUE(has(r.out, " :  The COM port selected is already open by an other program!\n"))
        << r.out;
    const size_t start = sizeof "Failed to open " - 1;
    const std::string device = r.out.substr(start, r.out.find(" :  ") - start);
    const std::string group = r.err.substr(0, r.err.find('\n'));
    std::string remedy = d.remedy;
    for (size_t at; (at = remedy.find("GROUP")) != std::string::npos;)
      remedy.replace(at, 5, group);
    // A line before it says that the lock directory refuses nobody a lock.
    EXPECT_EQ(from(r.err, "\nupdater: no permission"),
              "\nupdater: no permission to use " + device + "; " + remedy + "\n");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.state("received.bin"), "");
  }
}

// A model answer without its carriage return is read through four windows
// of 2 s; then the old firmware's key bytes, and the question again.
TEST(Identification, UnansweredModelQuestionTriesTheKeyBytes) {
  if (windowsDriver())
    GTEST_SKIP() << "native build only: each identification of a silent card "
                    "takes over two minutes of real time, and the Windows build "
                    "has no test clock to shorten it";
  const unsigned scale = 5;
  Scenario s{{"--model", "DVITOSDI", "--fault", "no-cr=DEVTYPE"}, {"COM1", "STATUS"}};
  // The first round's texts come after 10 s of protocol time, 2 s here.
  s.timeScale = scale;
  s.killAfter = 6;
  const Result r = run(s);
  EXPECT_TRUE(r.killed());
  EXPECT_TRUE(has(r.out, ASKING + "\nError no communication with the device")) << r.out;
  EXPECT_FALSE(has(r.out, "Software Version"));
  // A load only lengthens the wait; one window would be a third of this.
  const std::string timeline = r.state("timeline.log");
  const size_t asked = timeline.find(" cmd #DEVTYPE\n");
  const size_t key = timeline.find(" old-firmware key 1\n", asked);
  ASSERT_NE(key, std::string::npos) << timeline;
  EXPECT_GE(lineStamp(timeline, key) - lineStamp(timeline, asked), static_cast<long>(6000 / scale))
      << timeline;
}

} // namespace
