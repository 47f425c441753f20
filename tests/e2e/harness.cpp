#include "harness.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace e2e {

namespace {

// Every run's folders, removed at the end (kept when E2E_KEEP is set).
struct TempDirs {
  std::vector<fs::path> made;
  ~TempDirs() {
    if (std::getenv("E2E_KEEP"))
      return;
    std::error_code ignored;
    for (const fs::path &p : made)
      fs::remove_all(p, ignored);
  }
} tempDirs;

fs::path makeTempDir() {
  std::string pattern = (fs::temp_directory_path() / "updater-e2e-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("mkdtemp failed");
  tempDirs.made.push_back(pattern);
  return pattern;
}

// Windows runs use Wine slots: a prefix of its own whose COM1 is a link that
// cardsim points at its pseudo-terminal. A run holds its slot's lock to the
// end, so parallel runs never share a COM1. The suite's first test makes the
// slots (made here when the binary runs by itself).
struct WineSlot {
  int lock = -1;
  fs::path dir; // holds prefix/ and the link com1
  ~WineSlot() {
    if (lock >= 0)
      close(lock); // releases the flock
  }
};

void makeSlot(const fs::path &dir) {
  std::string cmd = std::string(WINE_PREFIX_SCRIPT) + " '" + (dir / "prefix").string() +
                    "' '" + (dir / "com1").string() + "'";
  if (!fs::exists(dir / "prefix" / "system.reg") && std::system(cmd.c_str()) != 0)
    throw std::runtime_error("wineboot failed");
}

// Takes a free slot, or waits for the first one.
void takeWineSlot(WineSlot *slot) {
  for (int pass = 0; pass < 2 && slot->lock < 0; ++pass)
    for (int k = 0; k < WINE_SLOT_COUNT && slot->lock < 0; ++k) {
      const fs::path dir = fs::path(WINE_SLOTS_DIR) / ("slot" + std::to_string(k));
      fs::create_directories(dir);
      int fd = open((dir / "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
      const bool last = pass == 1 && k == 0;
      if (fd >= 0 && flock(fd, last ? LOCK_EX : LOCK_EX | LOCK_NB) == 0) {
        slot->lock = fd;
        slot->dir = dir;
        makeSlot(dir);
      } else if (fd >= 0) {
        close(fd);
      }
    }
  if (slot->lock < 0)
    throw std::runtime_error("no Wine slot");
}

// A sanitizer's report in the run's standard error fails the test, whatever it checks.
void failOnSanitizerReport(const std::string &err) {
  for (const char *mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                           "runtime error:", "ERROR: UndefinedBehaviorSanitizer"})
    if (err.find(mark) != std::string::npos)
      ADD_FAILURE() << "sanitizer report in the run:\n" << err;
}

// The build's program, or the one `variable` names (the sanitizer build's).
std::string program(const char *variable, const char *built) {
  const char *chosen = std::getenv(variable);
  return chosen && *chosen ? chosen : built;
}

std::vector<std::string> commandLine(const Scenario &r, const fs::path &stateDir, const WineSlot &slot) {
  std::vector<std::string> argv{program("E2E_CARDSIM", CARDSIM_PATH), "--state", stateDir.string(),
                                "--kill-after", std::to_string(r.killAfter)};
  if (windowsDriver())
    argv.insert(argv.end(), {"--link", (slot.dir / "com1").string()});
  argv.insert(argv.end(), r.card.begin(), r.card.end());
  argv.push_back("--");
  if (!r.shell.empty())
    argv.insert(argv.end(), {"/bin/sh", "-c", r.shell, "sh"});
  if (windowsDriver())
    argv.insert(argv.end(), {"wine", WINDOWS_UPDATER_PATH});
  else
    argv.push_back(program("E2E_UPDATER", UPDATER_PATH));
  argv.insert(argv.end(), r.args.begin(), r.args.end());
  return argv;
}

// Runs `argv` in `base`/work with the files stdin, stdout and stderr of `base` as its streams.
int spawn(const std::vector<std::string> &argv, const fs::path &base, const Scenario &r, const WineSlot &slot) {
  pid_t pid = fork();
  if (pid < 0)
    throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (chdir((base / "work").c_str()) != 0)
      _exit(126);
    dup2(open((base / "stdin").c_str(), O_RDONLY), 0);
    dup2(open((base / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    dup2(open((base / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    setenv("UPDATER_LOCK_DIR", (base / "lock").c_str(), 1);
    if (r.timeScale > 1)
      setenv("UPDATER_TIME_SCALE", std::to_string(r.timeScale).c_str(), 1);
    if (r.trace)
      setenv("UPDATER_TRACE", "trace.txt", 1);
    for (const auto &variable : r.env)
      setenv(variable.first.c_str(), variable.second.c_str(), 1);
    if (windowsDriver()) {
      setenv("WINEPREFIX", (slot.dir / "prefix").c_str(), 1);
      setenv("WINEDEBUG", "-all", 1);
    }
    std::vector<char *> args;
    for (const std::string &a : argv)
      args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void replaceAll(std::string &text, const std::string &from, const std::string &to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// The Windows program's standard output or error as it printed it: text
// mode wrote "\r\n" for "\n", and Wine's command interpreter words PAUSE
// its own way.
std::string windowsConsole(std::string out) {
  replaceAll(out, "\r\n", "\n");
  replaceAll(out, "Press any key to continue... ", "Press any key to continue . . . \n");
  return out;
}

} // namespace

const char *const NEEDS_TEST_CLOCK =
    "native build only: without the Linux test clock this scenario's "
    "protocol pauses take minutes of real time under Wine";

bool windowsDriver() {
  const char *driver = std::getenv("E2E_DRIVER");
  return driver && std::string(driver) == "windows";
}

std::string testData(const std::string &name) {
  return readFile(std::string(TEST_DATA_DIR) + "/" + name);
}

// (No std::regex: GCC 12 warns inside <regex> in the sanitizer build.)
std::string anySeconds(const std::string &out) {
  const std::string minutes = " minutes ";
  std::string result;
  size_t from = 0;
  for (size_t at; (at = out.find(minutes, from)) != std::string::npos;) {
    size_t digits = at + minutes.size();
    size_t end = digits;
    while (end < out.size() && std::isdigit(static_cast<unsigned char>(out[end])))
      ++end;
    result += out.substr(from, digits - from);
    if (end > digits && out.compare(end, 8, " seconds") == 0) {
      result += "S";
      from = end;
    } else {
      from = digits;
    }
  }
  return result + out.substr(from);
}

size_t count(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
    ++n;
  return n;
}

std::string firstMissing(const std::string &text, const std::vector<std::string> &marks) {
  size_t at = 0;
  for (const std::string &mark : marks) {
    at = text.find(mark, at);
    if (at == std::string::npos)
      return mark;
    at += mark.size();
  }
  return "";
}

std::string from(const std::string &text, const std::string &marker) {
  const size_t at = text.find(marker);
  return at == std::string::npos ? "" : text.substr(at);
}

std::string afterBanner(const std::string &out) {
  const size_t version = out.find("Software Version  -> ");
  const size_t at = version == std::string::npos ? version : out.find(STARS, version);
  return at == std::string::npos ? out : out.substr(at + STARS.size());
}

std::vector<std::string> faults(std::initializer_list<const char *> names) {
  std::vector<std::string> options;
  for (const char *name : names)
    options.insert(options.end(), {"--fault", name});
  return options;
}

Result run(const Scenario &r) {
  const fs::path base = makeTempDir();
  const fs::path work = base / "work", state = base / "state", lock = base / "lock";
  fs::create_directories(work);
  fs::create_directories(lock);
  for (const auto &f : r.files)
    motfiles::writeFile(work / f.first, f.second);
  motfiles::writeFile(base / "stdin", r.input);
  Result result;
  result.workDir = work.string();
  result.stateDir = state.string();
  result.lockDir = lock.string();
  // The Windows program has no test clock: its waits take their real time.
  Scenario scenario = r;
  WineSlot slot;
  if (windowsDriver()) {
    scenario.killAfter *= r.timeScale;
    takeWineSlot(&slot);
  }
  result.status = spawn(commandLine(scenario, state, slot), base, r, slot);
  result.out = readFile((base / "stdout").string());
  result.err = readFile((base / "stderr").string());
  if (windowsDriver()) {
    result.out = windowsConsole(result.out);
    result.err = windowsConsole(result.err);
  }
  failOnSanitizerReport(result.err);
  return result;
}

std::vector<std::string> traceLines(const std::string &trace) {
  const size_t STAMP = 11; // ten digits of milliseconds and a blank
  std::vector<std::string> lines;
  std::istringstream in(trace);
  std::string line;
  while (std::getline(in, line))
    if (line.size() > STAMP && line[0] != '#')
      lines.push_back(line.substr(STAMP));
  return lines;
}

long lineStamp(const std::string &text, size_t at) {
  const size_t start = at == 0 ? 0 : text.rfind('\n', at - 1);
  return std::stol(text.substr(start == std::string::npos ? 0 : start + 1));
}

// The bytes of the trace's lines that go one way ('>' or '<').
std::string traceBytes(const std::vector<std::string> &lines, char direction) {
  std::string bytes;
  for (const std::string &line : lines)
    if (line[0] == direction) {
      std::istringstream hex(line.substr(2, line.find('|') - 2));
      unsigned value = 0;
      while (hex >> std::hex >> value)
        bytes += static_cast<char>(value);
    }
  return bytes;
}

void expectTraceMatchesCard(const Result &r) {
  const std::vector<std::string> lines = traceLines(r.file("trace.txt"));
  EXPECT_EQ(traceBytes(lines, '>'), r.state("received.bin")) << "to the card";
  EXPECT_EQ(traceBytes(lines, '<'), r.state("sent.bin")) << "from the card";
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front().rfind("open ", 0), 0u) << lines.front();
  EXPECT_EQ(lines.back(), "close");
}

} // namespace e2e
