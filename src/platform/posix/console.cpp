// The console on POSIX systems: standard output as a Windows console shows
// it, the key wait without echo, the standard descriptors, and the signals
// that stop a run.
//
// A run stopped by SIGINT, SIGTERM, SIGHUP or SIGQUIT gives the terminal
// back as it found it (a key wait turns echo and line editing off), removes
// its lock file while it is still its own, and then ends by the signal
// itself, so that its exit status says which. SIGPIPE is ignored: when whatever reads standard
// output goes away (`| head`), the console is lost but the job on the card goes on.
#include "lock.h"
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal's settings while a key wait has changed them; the stop
// handler puts them back.
termios keyWaitSaved{};
volatile sig_atomic_t keyWaitActive = 0;

void onStopSignal(int signal) {
  if (keyWaitActive)
    tcsetattr(STDIN_FILENO, TCSANOW, &keyWaitSaved);
  releaseHeldLock();
  struct sigaction original {};
  original.sa_handler = SIG_DFL;
  sigemptyset(&original.sa_mask);
  sigaction(signal, &original, nullptr);
  raise(signal);
}

void handleStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigfillset(&action.sa_mask); // one stop at a time
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    struct sigaction before {};
    sigaction(signal, nullptr, &before);
    if (before.sa_handler != SIG_IGN) // e.g. SIGINT of a background job
      sigaction(signal, &action, nullptr);
  }
  std::signal(SIGPIPE, SIG_IGN);
}

// A closed standard descriptor would be the next one open() hands out: the
// serial port could become standard output, and console text go to the
// card. Each one closed at the start gets /dev/null.
void openClosedStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      const int opened = open("/dev/null", O_RDWR);
      if (opened >= 0 && opened != fd) {
        dup2(opened, fd);
        close(opened);
      }
    }
}

// Standard output behaves as on a Windows console: unbuffered on a
// terminal, so that progress lines show at once; line-buffered into a pipe.
struct ConsoleSetup {
  ConsoleSetup() {
    openClosedStandardDescriptors();
    handleStopSignals();
    if (isatty(STDOUT_FILENO))
      std::setvbuf(stdout, nullptr, _IONBF, 0);
    else
      std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  }
} consoleSetup;

} // namespace

int _getch() {
  std::fflush(stdout);
  unsigned char key = 0;
  termios saved{};
  const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios raw = saved;
    raw.c_lflag &= ~(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    keyWaitSaved = saved;
    keyWaitActive = 1;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  ssize_t n;
  do {
    n = read(STDIN_FILENO, &key, 1);
  } while (n < 0 && errno == EINTR);
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    keyWaitActive = 0;
  }
  return n == 1 ? key : EOF;
}

void systemPause() {
  std::printf("Press any key to continue . . . ");
  _getch();
  std::printf("\n");
}
