// Runs the updater against the virtual card and hands back what the operator
// saw and what the card recorded; with E2E_DRIVER=windows the same tests run
// updater.exe under Wine.
#pragma once

#include "../support/motFiles.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

using motfiles::readFile;

struct Scenario {
  std::vector<std::string> card; // cardsim options, e.g. {"--model", "DVITOSDI"}
  std::vector<std::string> args; // updater words after the program name
  std::string input;             // standard input (keys for waits)
  std::vector<std::pair<std::string, std::string>> files; // working directory
  unsigned timeScale = 1;  // the updater's clock runs this many times fast
  unsigned killAfter = 60; // seconds before cardsim stops the updater
  std::string shell;       // a script run in the updater's place, "$@" its command line (native only)
  bool trace = false;      // the updater writes its wire trace to trace.txt
  std::vector<std::pair<std::string, std::string>> env; // more environment for the run
};

struct Result {
  std::string out; // the updater's standard output
  std::string err; // standard error of cardsim and the updater
  int status = -1; // exit status; 124 when cardsim had to stop the updater
  std::string workDir;
  std::string stateDir;
  std::string lockDir; // the run's UPDATER_LOCK_DIR

  // A file of the card's record, or of the working directory ("" when absent).
  std::string state(const std::string &name) const { return readFile(stateDir + "/" + name); }
  std::string events() const { return state("events.log"); }
  std::string file(const std::string &name) const { return readFile(workDir + "/" + name); }
  bool killed() const { return status == 124; }
};

Result run(const Scenario &r);

// A wire trace's lines without their time stamps: "open \\.\COM1", "> 00 ...".
std::vector<std::string> traceLines(const std::string &trace);

// The milliseconds that start the line holding `at`, in a wire trace or the
// card's timeline.log ("21 cmd #DEVTYPE").
long lineStamp(const std::string &text, size_t at);

// The run's trace.txt holds exactly the bytes the card received and sent.
void expectTraceMatchesCard(const Result &r);

// Why a scenario skips Wine: the Windows build has no test clock, so its protocol
// pauses would take minutes (tests/CMakeLists.txt lists the scenarios run under Wine).
extern const char *const NEEDS_TEST_CLOCK;

bool windowsDriver(); // the runs go to the Windows build under Wine

// The console with the seconds of every elapsed-time line replaced by "S":
// a run at the real pace takes a second longer on a loaded machine.
std::string anySeconds(const std::string &out);

size_t count(const std::string &text, const std::string &what);

inline bool has(const std::string &text, const std::string &what) {
  return text.find(what) != std::string::npos;
}

// The first of `marks` missing from `text` in that order; "" when all occur.
std::string firstMissing(const std::string &text, const std::vector<std::string> &marks);

// `text` from the first `marker` on; "" when it does not occur.
std::string from(const std::string &text, const std::string &marker);

// What the job printed after the identification banner (all when there is none).
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

std::string testData(const std::string &name); // the data file `name` of tests/data

} // namespace e2e
