#include "driver/information.h"

#include "driver/identify.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>

namespace {

const char USAGE[] = "Usage: updater PORT JOB [FILE]\n"
                     "       updater --list-ports | --version | --help\n"
                     "\n"
                     "Brings new firmware and configuration into a video-converter card over\n"
                     "RS-232, one job per run. Files are read from the working directory.\n"
                     "\n"
                     "Jobs and the files they need:\n"
                     "  FPGA NAME.xsvf      streams the XSVF file into the card's FPGA\n"
                     "  VIPER DeviceN.bin   writes flash device N (1, 5 or 7) of the video\n"
                     "                      processor, with its driver SFDriver.bin (device 1)\n"
                     "                      or FDriver.bin (devices 5 and 7)\n"
                     "  MICRO               writes the micro's firmware appMain.mot, with the\n"
                     "                      kernels uGen7144.cde, Genm7144.cde and Genw7144.cde\n"
                     "  EDID NAME.bin       writes a 128- or 256-byte EDID (DVI TO SDI and\n"
                     "                      HDMI TO SDI cards)\n"
                     "  ALL                 every update found: EDID.bin, Device5.bin with\n"
                     "                      FDriver.bin, Device1.bin with SFDriver.bin, fpga.xsvf\n"
                     "  REMOTE NAME.txt     plays a script of card commands\n"
                     "  VERIFY DeviceN.bin  compares flash device N with the file; writes nothing\n"
                     "  STATUS              shows the video processor's status report (Q ends it)\n"
                     "  GAMMA NAME.csv      sends a gamma table of 1024 lines\n"
                     "\n"
                     "Options, which need no card:\n"
                     "  --list-ports        lists the serial ports, the word that opens each,\n"
                     "                      and whether it is free\n"
                     "  --version           prints the updater's version\n"
                     "  --help, -h, /?      prints this text\n"
                     "\n"
                     "Environment:\n"
                     "  UPDATER_TRACE=FILE  writes what goes over the wire to FILE\n"
                     "  UPDATER_CONNECT_TIMEOUT=SECONDS\n"
                     "                      stops asking a silent card after SECONDS (status 3)\n"
                     "\n"
                     "Exit status:\n"
                     "  0  the job reached its success ending\n"
                     "  1  the job ran and failed, or the card reported failure\n"
                     "  2  refused before anything was sent to the card: a word, a file name,\n"
                     "     a missing file or one the job will not send\n"
                     "  3  the port could not be opened or set up, or the card stayed silent\n"
                     "     for UPDATER_CONNECT_TIMEOUT\n"
                     "\n";

const char *const HELP_WORDS[] = {"--help", "-h", "/?"};
const char VERSION_WORD[] = "--version";
const char LIST_PORTS_WORD[] = "--list-ports";

bool isHelpWord(const char *word) {
  for (const char *help : HELP_WORDS)
    if (std::strcmp(word, help) == 0)
      return true;
  return false;
}

void printHelp() {
  std::fputs(USAGE, stdout);
  std::fputs(portHelp(), stdout);
}

// The release (CMake's project version) and the version the banner shows.
void printVersion() {
  std::printf("updater %s\nbanner version %d.%d\n", UPDATER_RELEASE_VERSION, UPDATER_MAJOR,
              UPDATER_MINOR);
}

// One line a port: the port, then what is known of it, two blanks apart.
void printPort(const SerialPortEntry &port) {
  std::string line = port.device;
  for (const std::string &field :
       {port.portWords, port.kind, port.usb.empty() ? "" : "usb " + port.usb,
        port.stableName.empty() ? "" : "by-id " + port.stableName, port.use, port.access})
    if (!field.empty())
      line += "  " + field;
  std::printf("%s\n", line.c_str());
}

void listPorts() {
  const std::vector<SerialPortEntry> ports = serialPorts();
  if (ports.empty())
    std::printf("No serial port found.\n");
  for (const SerialPortEntry &port : ports)
    printPort(port);
}

} // namespace

bool answeredWithoutCard(int argc, char *argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "updater: no port given; updater --help tells how to run it\n");
    return true;
  }
  const char *word = argv[1];
  if (isHelpWord(word))
    printHelp();
  else if (std::strcmp(word, VERSION_WORD) == 0)
    printVersion();
  else if (std::strcmp(word, LIST_PORTS_WORD) == 0)
    listPorts();
  else
    return false;
  return true;
}
