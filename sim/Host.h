// The card's place on the host: its pseudo-terminal, the links that publish
// it as a serial port, and the program that is run against it.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace cardsim {

// A pseudo-terminal in raw mode. The card keeps the slave open itself, so
// the master never sees a hang-up while the host closes and reopens its
// port.
class PseudoTerminal {
public:
  // Throws std::runtime_error.
  explicit PseudoTerminal(int initialRate);
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal &) = delete;
  PseudoTerminal &operator=(const PseudoTerminal &) = delete;

  // Hands the master descriptor over; the caller closes it.
  int releaseMaster();
  // A new pseudo-terminal in place of the old one (whose slave must be
  // closed already): the port of an adapter plugged in again.
  void reopen(int initialRate);
  void closeSlave();
  const std::string &slavePath() const { return slavePath_; }

private:
  void open(int initialRate);
  void parkSlave(int slave);

  int master_ = -1;
  int slave_ = -1; // the socket that holds the slave
  std::string slavePath_;
};

// The port directory with the link named after the port, plus extra links.
class PortLinks {
public:
  // `dir` empty: a fresh temporary directory, removed again at the end.
  // Throws std::runtime_error.
  PortLinks(const std::string &dir, const std::string &port,
            const std::vector<std::string> &extraLinks, const std::string &target);
  ~PortLinks();
  PortLinks(const PortLinks &) = delete;
  PortLinks &operator=(const PortLinks &) = delete;

  const std::string &dir() const { return dir_; }
  const std::string &portPath() const { return links_.front(); }
  // Removes every link (the card vanished); the directory stays until the end.
  void removeLinks();
  // Every link made again, to `target`.
  void pointAt(const std::string &target);

private:
  void makeLink(const std::string &path, const std::string &target);

  std::string dir_;
  bool ownDir_ = false;
  std::vector<std::string> links_;
};

// The program run against the card, in a process group of its own.
class ChildProcess {
public:
  // Throws std::runtime_error when it cannot be started; a command that
  // cannot be executed exits with 127.
  ChildProcess(const std::vector<std::string> &argv, const std::string &portDir);
  ~ChildProcess();
  ChildProcess(const ChildProcess &) = delete;
  ChildProcess &operator=(const ChildProcess &) = delete;

  void signalGroup(int signal) const;
  // The exit status as a shell reports it (128+signal when killed), once
  // the child has ended; reaps it. `wait`: blocks until it ends.
  std::optional<int> poll(bool wait = false);

private:
  void takeTerminal();
  void giveTerminalBack();

  pid_t pid_ = -1;
  bool ownsTerminal_ = false;
  std::optional<int> status_;
};

} // namespace cardsim
