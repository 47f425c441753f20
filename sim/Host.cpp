#include "Host.h"

#include "Line.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace cardsim {

namespace {

[[noreturn]] void fail(const std::string &what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

void closeOnExec(int fd) { ::fcntl(fd, F_SETFD, FD_CLOEXEC); }

const char *const UPDATER_PORT_DIR = "UPDATER_PORT_DIR";
constexpr int EXEC_FAILED = 127;

} // namespace

// ---- PseudoTerminal ----

PseudoTerminal::PseudoTerminal(int initialRate) { open(initialRate); }

void PseudoTerminal::reopen(int initialRate) {
  if (master_ >= 0)
    ::close(master_);
  closeSlave();
  open(initialRate);
}

void PseudoTerminal::open(int initialRate) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0)
    fail("posix_openpt");
  closeOnExec(master_);
  if (::grantpt(master_) != 0)
    fail("grantpt");
  if (::unlockpt(master_) != 0)
    fail("unlockpt");
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0)
    fail("ptsname");
  slavePath_ = name;

  termios tio{};
  if (::tcgetattr(master_, &tio) != 0)
    fail("tcgetattr");
  ::cfmakeraw(&tio);
  const speed_t speed = speedFromBaud(initialRate);
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  if (::tcsetattr(master_, TCSANOW, &tio) != 0)
    fail("tcsetattr");

  const int slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
  if (slave < 0)
    fail("open " + slavePath_);
  parkSlave(slave);
}

// The slave travels into a socket of the card's own and stays there, in
// flight: still open, but in no process's descriptor table, so a host that
// refuses ports that other processes hold open (as /proc shows them) does
// not take the card for one.
void PseudoTerminal::parkSlave(int slave) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair) != 0)
    fail("socketpair");
  char byte = 0;
  iovec data{&byte, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof slave)] = {};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr *header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof slave);
  std::memcpy(CMSG_DATA(header), &slave, sizeof slave);
  const bool sent = ::sendmsg(pair[0], &message, 0) == 1;
  ::close(slave);
  ::close(pair[0]);
  slave_ = pair[1];
  if (!sent)
    fail("sendmsg");
}

PseudoTerminal::~PseudoTerminal() {
  closeSlave();
  if (master_ >= 0)
    ::close(master_);
}

int PseudoTerminal::releaseMaster() {
  const int fd = master_;
  master_ = -1;
  return fd;
}

void PseudoTerminal::closeSlave() {
  if (slave_ >= 0)
    ::close(slave_);
  slave_ = -1;
}

// ---- PortLinks ----

PortLinks::PortLinks(const std::string &dir, const std::string &port,
                     const std::vector<std::string> &extraLinks, const std::string &target) {
  if (dir.empty()) {
    const char *tmp = std::getenv("TMPDIR");
    std::string templ =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/cardsim.XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr)
      fail("mkdtemp");
    dir_ = templ;
    ownDir_ = true;
  } else {
    dir_ = dir;
    if (::mkdir(dir_.c_str(), 0777) != 0 && errno != EEXIST)
      fail("mkdir " + dir_);
  }
  makeLink(dir_ + "/" + port, target);
  for (const std::string &link : extraLinks)
    makeLink(link, target);
}

PortLinks::~PortLinks() {
  removeLinks();
  if (ownDir_)
    ::rmdir(dir_.c_str());
}

void PortLinks::makeLink(const std::string &path, const std::string &target) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    // A link left behind by an earlier run is replaced; anything else is not ours.
    if (!S_ISLNK(st.st_mode)) {
      errno = EEXIST;
      fail("cannot make link " + path);
    }
    ::unlink(path.c_str());
  }
  if (::symlink(target.c_str(), path.c_str()) != 0)
    fail("symlink " + path);
  links_.push_back(path);
}

void PortLinks::removeLinks() {
  for (const std::string &link : links_)
    ::unlink(link.c_str());
}

void PortLinks::pointAt(const std::string &target) {
  const std::vector<std::string> links = std::move(links_);
  links_.clear();
  for (const std::string &link : links)
    makeLink(link, target);
}

// ---- ChildProcess ----

ChildProcess::ChildProcess(const std::vector<std::string> &argv, const std::string &portDir) {
  std::vector<char *> args;
  args.reserve(argv.size() + 1);
  for (const std::string &arg : argv)
    args.push_back(const_cast<char *>(arg.c_str()));
  args.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0)
    fail("fork");
  if (pid_ == 0) {
    ::setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGCHLD, SIGPIPE, SIGTTOU})
      ::signal(sig, SIG_DFL);
    ::setenv(UPDATER_PORT_DIR, portDir.c_str(), 1);
    ::execvp(args[0], args.data());
    std::fprintf(stderr, "cardsim: cannot run %s: %s\n", args[0], std::strerror(errno));
    ::_exit(EXEC_FAILED);
  }
  ::setpgid(pid_, pid_);
  takeTerminal();
}

ChildProcess::~ChildProcess() {
  if (!status_) {
    signalGroup(SIGKILL);
    poll(true);
  }
  giveTerminalBack();
}

// A program that reads keys from the terminal must be in its foreground
// process group, as a shell would place it.
void ChildProcess::takeTerminal() {
  if (::isatty(STDIN_FILENO) == 0 || ::tcgetpgrp(STDIN_FILENO) != ::getpgrp())
    return;
  ::signal(SIGTTOU, SIG_IGN);
  ownsTerminal_ = ::tcsetpgrp(STDIN_FILENO, pid_) == 0;
}

void ChildProcess::giveTerminalBack() {
  if (!ownsTerminal_)
    return;
  ::tcsetpgrp(STDIN_FILENO, ::getpgrp());
  ownsTerminal_ = false;
}

void ChildProcess::signalGroup(int signal) const {
  if (pid_ > 0 && !status_)
    ::kill(-pid_, signal);
}

std::optional<int> ChildProcess::poll(bool wait) {
  if (status_ || pid_ <= 0)
    return status_;
  int raw = 0;
  const pid_t done = ::waitpid(pid_, &raw, wait ? 0 : WNOHANG);
  if (done != pid_)
    return std::nullopt;
  if (WIFEXITED(raw)) {
    status_ = WEXITSTATUS(raw);
  } else if (WIFSIGNALED(raw)) {
    status_ = 128 + WTERMSIG(raw);
  } else {
    return std::nullopt;
  }
  giveTerminalBack();
  return status_;
}

} // namespace cardsim
