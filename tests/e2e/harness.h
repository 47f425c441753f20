// Runs the updater against the virtual card and hands back what the
// operator saw and what the card recorded.
//
// The same tests drive either build: E2E_DRIVER=windows runs updater.exe
// under Wine instead of the native program (the suite registers the e2e
// binary once per driver).
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct Scenario {
  std::vector<std::string> card; // cardsim options, e.g. {"--model", "DVITOSDI"}
  std::vector<std::string> args; // updater words after the program name
  std::string input;             // standard input (keys for waits)
  std::vector<std::pair<std::string, std::string>> files; // working directory
  unsigned timeScale = 1;  // the updater's clock runs this many times fast
  unsigned killAfter = 60; // seconds before cardsim stops the updater
  bool holdPort = false;   // another program holds the port locked
  // A shell script run in the updater's place, with the updater's command
  // line as "$@"; native runs only.
  std::string shell;
  bool trace = false; // the updater writes its wire trace to trace.txt
};

struct Result {
  std::string out; // the updater's standard output
  std::string err; // standard error of cardsim and the updater
  int status = -1; // exit status; 124 when cardsim had to stop the updater
  std::string workDir;
  std::string stateDir;
  std::string lockDir; // the run's UPDATER_LOCK_DIR

  // A file of the card's record ("" when it does not exist).
  std::string state(const std::string &name) const;
  std::string events() const { return state("events.log"); }
  // The working directory's file `name` ("" when it does not exist).
  std::string file(const std::string &name) const;
  bool killed() const { return status == 124; }
};

Result run(const Scenario &r);

// The lines of a wire trace without their time stamps: "open \\.\COM1",
// "rate 9600 rts off", "> 00 ...", "< 06 ...".
std::vector<std::string> traceLines(const std::string &trace);

// The milliseconds that start the line holding `at`: a line of the wire
// trace, or of the card's timeline.log ("21 cmd #DEVTYPE").
long lineStamp(const std::string &text, size_t at);

// The trace.txt of the run holds exactly the bytes that the card received
// and sent, each way in order.
void expectTraceMatchesCard(const Result &r);

// Why a scenario runs on the native build only: the Windows build has no
// test clock, so its protocol pauses would take minutes of real time. The
// scenarios that run under Wine, in real time, are listed in
// tests/CMakeLists.txt.
extern const char *const NEEDS_TEST_CLOCK;

// True when the runs go to the Windows build under Wine.
bool windowsDriver();

// The console with the seconds of every elapsed-time line replaced by "S":
// a run at the real pace takes a second longer on a loaded machine.
std::string anySeconds(const std::string &out);

// Counts the occurrences of `what` in `text`.
size_t count(const std::string &text, const std::string &what);

inline bool has(const std::string &text, const std::string &what) {
  return text.find(what) != std::string::npos;
}

// The first of `marks` that `text` lacks, each looked for after the one
// before; "" when all occur in that order.
std::string firstMissing(const std::string &text, const std::vector<std::string> &marks);

// `text` from the first `marker` on; "" when it does not occur.
std::string from(const std::string &text, const std::string &marker);

// What the job printed after the identification banner (the whole console
// when there is none).
std::string afterBanner(const std::string &out);

// The card options that plant `names` as faults.
std::vector<std::string> faults(std::initializer_list<const char *> names);

// Console texts that several jobs print.
inline const char EXIT[] = "\nExit updater\n";
inline const char PRESS_KEY[] = "Press a key to continue ... "; // the ISP jobs' key wait
inline const std::string ASKING =
    "\nNow communicating with the card to obtain version information...";
inline const std::string STARS =
    "* * * * * * * * * * * * * * * * * * * * * * * * * * * * *\n";

std::string readFile(const std::string &path);

// The data file `name` of tests/data.
std::string testData(const std::string &name);

} // namespace e2e
