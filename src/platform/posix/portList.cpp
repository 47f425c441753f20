// The serial ports of a POSIX system, as `updater --list-ports` shows them:
// the devices the kernel shows in sysfs, with their drivers, USB identities
// and stable names, the COMn words that open them, and whether they are
// free and open to this user; then the ports of $UPDATER_PORT_DIR that lead
// elsewhere, such as the virtual card's pseudo-terminal.
#include "lock.h"
#include "platform/platform.h"
#include "portAccess.h"
#include "portNames.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <limits.h>
#include <string.h>
#include <unistd.h>

namespace {

const char kByIdDir[] = "/dev/serial/by-id/";
const char kPseudoTerminals[] = "/dev/pts/";
const char kBuiltInPort[] = "/dev/ttyS";
const char kComWord[] = "COM";
// Kernels from 6.5 put a port device (bus serial-base) between a tty and
// the hardware that drives it.
const char kSerialBaseBus[] = "serial-base";
// The bus of the 8250 ports the kernel reserves whether or not a UART is
// there, and the serial core's type of a port with no UART (PORT_UNKNOWN).
const char kPlatformBus[] = "platform";
const long kPortUnknown = 0;

std::string realPath(const std::string &path) {
  char real[PATH_MAX];
  return realpath(path.c_str(), real) ? real : "";
}

std::string baseName(const std::string &path) { return path.substr(path.rfind('/') + 1); }

std::string parentOf(const std::string &path) { return path.substr(0, path.rfind('/')); }

bool startsWith(const std::string &text, const char *start) {
  return text.compare(0, std::strlen(start), start) == 0;
}

// The first line of a small sysfs or /proc file; "" when it cannot be read.
std::string firstLine(const std::string &path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The names in a directory, in the order of their numbers (ttyUSB2 before
// ttyUSB10); none when it cannot be read.
std::vector<std::string> namesIn(const std::string &dir) {
  std::vector<std::string> names;
  if (DIR *entries = opendir(dir.c_str())) {
    while (const dirent *entry = readdir(entries))
      if (entry->d_name[0] != '.')
        names.emplace_back(entry->d_name);
    closedir(entries);
  }
  std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
    return strverscmp(a.c_str(), b.c_str()) < 0;
  });
  return names;
}

// The hardware that drives a tty's sysfs device.
std::string hardwareOf(std::string device) {
  while (baseName(realPath(device + "/subsystem")) == kSerialBaseBus)
    device = parentOf(device);
  return device;
}

// An 8250 port that the kernel reserves on the platform bus with no UART
// found behind it (pyserial's list_ports leaves them out too).
bool isPlaceholder(const std::string &tty, const std::string &hardware) {
  if (baseName(realPath(hardware + "/subsystem")) != kPlatformBus)
    return false;
  const std::string type = firstLine(tty + "/type");
  return type.empty() || std::strtol(type.c_str(), nullptr, 10) == kPortUnknown;
}

// "0403:6001 serial A50285BI" for hardware on USB; "" otherwise.
std::string usbIdentity(std::string dir) {
  for (; !dir.empty(); dir = parentOf(dir)) {
    const std::string vendor = firstLine(dir + "/idVendor");
    if (vendor.empty())
      continue;
    std::string id = vendor + ":" + firstLine(dir + "/idProduct");
    const std::string serial = firstLine(dir + "/serial");
    if (!serial.empty())
      id.append(" serial ").append(serial);
    return id;
  }
  return "";
}

// The ttys with hardware behind them that have a device node.
std::vector<SerialPortEntry> kernelPorts() {
  std::vector<SerialPortEntry> ports;
  for (const std::string &name : namesIn(TTY_CLASS_DIR)) {
    const std::string tty = TTY_CLASS_DIR + name;
    const std::string device = realPath(tty + "/device");
    const std::string node = "/dev/" + name;
    if (device.empty() || access(node.c_str(), F_OK) != 0)
      continue;
    const std::string hardware = hardwareOf(device);
    if (isPlaceholder(tty, hardware))
      continue;
    SerialPortEntry port;
    port.device = node;
    port.kind = baseName(realPath(hardware + "/driver"));
    port.usb = usbIdentity(hardware);
    ports.push_back(port);
  }
  return ports;
}

// The words that may open a port: the COM entries of $UPDATER_PORT_DIR, or
// without it COM<n+1> for each /dev/ttyS<n>.
std::vector<std::string> candidateWords(const std::vector<SerialPortEntry> &ports) {
  std::vector<std::string> words;
  if (const char *dir = std::getenv(PORT_DIR_VARIABLE)) {
    for (const std::string &name : namesIn(dir))
      if (startsWith(name, kComWord))
        words.push_back(name);
    return words;
  }
  for (const SerialPortEntry &port : ports)
    if (startsWith(port.device, kBuiltInPort)) {
      const long n = std::strtol(port.device.c_str() + std::strlen(kBuiltInPort), nullptr, 10);
      words.push_back(kComWord + std::to_string(n + 1));
    }
  return words;
}

void addWord(SerialPortEntry *port, const std::string &word) {
  port->portWords += (port->portWords.empty() ? "" : " ") + word;
}

// A port of the port directory that no tty above is: a pseudo-terminal, or
// a link to a device that is not there.
SerialPortEntry portOfWord(const std::string &word, const std::string &device) {
  SerialPortEntry port;
  port.portWords = word;
  if (device.empty()) {
    port.device = portPath(word);
    port.kind = "no such device";
    return port;
  }
  port.device = device;
  if (startsWith(device, kPseudoTerminals))
    port.kind = "pseudo-terminal";
  return port;
}

// Gives each port the words that open it, and adds the ports that only a
// word of the port directory leads to.
void addPortWords(std::vector<SerialPortEntry> *ports) {
  for (const std::string &word : candidateWords(*ports)) {
    const std::string device = realPath(portPath(word));
    const auto found = std::find_if(ports->begin(), ports->end(),
                                    [&](const SerialPortEntry &p) { return p.device == device; });
    if (found != ports->end())
      addWord(&*found, word);
    else
      ports->push_back(portOfWord(word, device));
  }
}

// The process's name and number: "minicom (process 1234)".
std::string processName(pid_t pid) {
  const std::string number = std::to_string(pid);
  const std::string name = firstLine("/proc/" + number + "/comm");
  return (name.empty() ? "a process" : name) + " (process " + number + ")";
}

// What the lock file at `lock` says of its port: "" when it holds nothing.
std::string lockUse(const std::string &lock) {
  const LockJudgement judged = judgeLock(lock);
  switch (judged.sign) {
  case LockSign::LIVE:
    return "locked by " + processName(judged.pid) + " in " + lock;
  case LockSign::BEING_WRITTEN:
    return "locked in " + lock + " (being written)";
  case LockSign::FOREIGN:
    return "foreign lock file " + lock;
  default:
    return "";
  }
}

// "free", or what holds the port: a lock file or a process with it open.
std::string useOf(const SerialPortEntry &port, const struct stat &node) {
  for (const std::string &lock : lockPaths(port.device)) {
    std::string use = lockUse(lock);
    if (!use.empty())
      return use;
  }
  if (const pid_t holder = processHolding(node))
    return "in use by " + processName(holder);
  return "free";
}

void describeUse(SerialPortEntry *port) {
  struct stat node {};
  if (stat(port->device.c_str(), &node) != 0)
    return;
  port->use = useOf(*port, node);
  port->access = access(port->device.c_str(), R_OK | W_OK) == 0
                     ? "you may open it"
                     : "no permission (group " + groupName(node) + ")";
}

void addStableNames(std::vector<SerialPortEntry> *ports) {
  for (const std::string &name : namesIn(kByIdDir)) {
    const std::string link = kByIdDir + name;
    const std::string device = realPath(link);
    for (SerialPortEntry &port : *ports)
      if (port.device == device && port.stableName.empty())
        port.stableName = link;
  }
}

} // namespace

std::vector<SerialPortEntry> serialPorts() {
  std::vector<SerialPortEntry> ports = kernelPorts();
  addPortWords(&ports);
  addStableNames(&ports);
  for (SerialPortEntry &port : ports)
    describeUse(&port);
  return ports;
}

const char *portHelp() {
  return "Ports on Linux:\n"
         "  COMn                /dev/ttyS<n-1> (COM1 is /dev/ttyS0); with\n"
         "                      UPDATER_PORT_DIR=DIR set, DIR/COMn instead, usually\n"
         "                      a link to the device. The word is upper-cased first.\n"
         "  a word with a \"/\"   the device's path, as typed: /dev/ttyUSB0,\n"
         "                      /dev/serial/by-id/...\n"
         "  A port that another program uses is refused. The updater takes the\n"
         "  lock file LCK..<device> in /var/lock or /run/lock for the run;\n"
         "  UPDATER_LOCK_DIR=DIR puts it in DIR instead.\n"
         "\n"
         "More in the manual: man updater\n";
}
