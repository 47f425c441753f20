// cardsim: a virtual video-converter card on a pseudo-terminal.
//
// One thread, one poll loop: the line's master descriptor, a self-pipe for
// signals, and a time-out taken from the earliest due byte either way, the
// kill deadline and the periodic bit-rate check.

#include "Card.h"
#include "Host.h"
#include "Line.h"
#include "Options.h"
#include "Record.h"
#include "Samples.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace cardsim {
namespace {

constexpr Millis RATE_CHECK_INTERVAL{20};
constexpr int TIMED_OUT = 124;
constexpr int USAGE_ERROR = 2;
constexpr int RUN_ERROR = 1;

int signalPipe[2] = {-1, -1};

void onSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
  errno = saved;
}

void installSignals() {
  if (::pipe2(signalPipe, O_NONBLOCK | O_CLOEXEC) != 0)
    throw std::runtime_error("pipe2 failed");
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGCHLD, SIGINT, SIGTERM, SIGHUP})
    ::sigaction(sig, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

class Server {
public:
  explicit Server(const Options &options)
      : options_(options), pty_(options.initialRate),
        links_(options.portDir, options.port, options.links, pty_.slavePath()),
        line_(pty_.releaseMaster(), record_, options.faults, options.pacing),
        card_(options.card, line_, options.faults, record_) {
    line_.attach(card_);
    line_.onDisconnect([this] {
      pty_.closeSlave();
      links_.removeLinks();
      card_.lineLost();
      if (auto ms = options_.faults.number("replug-after"))
        replugAt_ = Clock::now() + Millis(*ms);
    });
    if (options.powerCut)
      armPowerCut(*options.powerCut);
    line_.checkRate();
  }

  int run() {
    if (options_.command.empty()) {
      std::cout << "slave " << pty_.slavePath() << "\n"
                << "port-dir " << links_.dir() << "\n"
                << "port " << links_.portPath() << std::endl;
    } else {
      child_ = std::make_unique<ChildProcess>(options_.command, links_.dir());
      if (options_.killAfter) {
        killAt_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(*options_.killAfter));
      }
    }
    const int status = serve();
    finish();
    return status;
  }

private:
  void armPowerCut(const PowerCut &cut) {
    if (auto bytes = cut.afterBytes())
      return line_.cutPowerAfter(*bytes);
    powerCut_ = cut;
    line_.deliverSingly();
    record_.onEvent([this](const std::string &event) {
      if (auto bytes = powerCut_.onEvent(event))
        line_.cutPowerAfter(*bytes);
    });
  }

  int serve() {
    for (;;) {
      waitForWork();
      if (auto status = handleSignals())
        return *status;
      line_.readAvailable();
      line_.writeDue();
      line_.checkRate();
      if (replugAt_ && Clock::now() >= *replugAt_)
        replug();
      if (killAt_ && Clock::now() >= *killAt_) {
        killAt_.reset();
        timedOut_ = true;
        record_.event("kill-after");
        card_.lineLost();
        child_->signalGroup(SIGKILL);
      }
    }
  }

  // The adapter is plugged in again: a new pseudo-terminal behind the links.
  void replug() {
    replugAt_.reset();
    pty_.reopen(options_.initialRate);
    links_.pointAt(pty_.slavePath());
    line_.reconnect(pty_.releaseMaster());
  }

  void waitForWork() {
    pollfd fds[2];
    fds[0] = {signalPipe[0], POLLIN, 0};
    nfds_t count = 1;
    if (line_.connected()) {
      const short events =
          static_cast<short>((line_.wantsRead() ? POLLIN : 0) | (line_.wantsWrite() ? POLLOUT : 0));
      fds[1] = {line_.fd(), events, 0};
      count = 2;
    }
    const timespec wait = timeout();
    ::ppoll(fds, count, &wait, nullptr);
  }

  // Wakes at the next due byte to the microsecond: a paced byte lasts
  // 87 us at 115200 bit/s.
  timespec timeout() const {
    const Clock::time_point now = Clock::now();
    Clock::time_point wake = now + RATE_CHECK_INTERVAL;
    if (auto due = line_.nextDue())
      wake = std::min(wake, *due);
    if (killAt_)
      wake = std::min(wake, *killAt_);
    if (replugAt_)
      wake = std::min(wake, *replugAt_);
    const long long ns =
        wake <= now ? 0 : std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now).count();
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  }

  // The exit status once the run is over.
  std::optional<int> handleSignals() {
    unsigned char signal = 0;
    while (::read(signalPipe[0], &signal, 1) == 1) {
      if (signal == SIGCHLD)
        continue;
      record_.event("signal " + std::to_string(signal));
      if (!child_)
        return 0;
      child_->signalGroup(signal); // the child decides; we wait for it
    }
    if (child_) {
      if (auto status = child_->poll()) {
        record_.event("child-exit " + std::to_string(*status));
        return timedOut_ ? TIMED_OUT : *status;
      }
    }
    return std::nullopt;
  }

  void finish() {
    // Bytes the child wrote just before it ended still belong to the record.
    for (size_t before = SIZE_MAX; record_.receivedBytes().size() != before;) {
      before = record_.receivedBytes().size();
      line_.readAvailable();
      line_.deliverAll();
    }
    line_.checkRate();
    card_.summarize(record_);
    line_.summarize(record_);
    if (!options_.stateDir.empty()) {
      try {
        record_.writeTo(options_.stateDir);
      } catch (const std::exception &e) {
        std::cerr << "cardsim: " << e.what() << std::endl;
      }
    }
  }

  const Options &options_;
  Record record_;
  PseudoTerminal pty_;
  PortLinks links_;
  Line line_;
  Card card_;
  PowerCut powerCut_;
  std::unique_ptr<ChildProcess> child_;
  std::optional<Clock::time_point> killAt_;
  std::optional<Clock::time_point> replugAt_;
  bool timedOut_ = false;
};

} // namespace
} // namespace cardsim

int main(int argc, char **argv) {
  using namespace cardsim;
  Options options;
  try {
    options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const OptionError &e) {
    std::cerr << "cardsim: " << e.what() << "\n";
    return USAGE_ERROR;
  }
  if (options.help) {
    std::cout << usageText();
    return 0;
  }
  if (!options.samplesDir.empty()) {
    try {
      writeSamples(options.samplesDir);
    } catch (const std::exception &e) {
      std::cerr << "cardsim: " << e.what() << std::endl;
      return RUN_ERROR;
    }
    return 0;
  }
  try {
    installSignals();
    // Paced bytes are due every 87 us: wake on time, not up to the default
    // 50 us timer slack late.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    Server server(options);
    return server.run();
  } catch (const std::exception &e) {
    std::cerr << "cardsim: " << e.what() << std::endl;
    return RUN_ERROR;
  }
}
