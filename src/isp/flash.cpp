#include "isp/flash.h"

#include "channel/command.h"
#include "isp/exchange.h"
#include "isp/flashio.h"
#include "link/jobResult.h"
#include "link/port.h"
#include "link/recovery.h"

#include <cstdio>

namespace {

const char FAST_DRIVER_FILE[] = "FDriver.bin";    // devices 5 and 7
const char SERIAL_DRIVER_FILE[] = "SFDriver.bin"; // device 1
const DWORD AFTER_DRIVER_MS = 1000;

const char MICRO_PROGRAM[] = "=MP\r";
const char MICRO_RESET[] = "=MR\r";
const char MICRO_APPLY[] = "=MA\r";
const char MICRO_END[] = "=ME\r";
const unsigned short MICRO_COMMAND_LENGTH = 4;

// The ISP driver goes to video processor memory 0x0800 up to 0x2000 and is
// started at 0x0800 with Call Driver.
const DWORD DRIVER_BASE = 0x0800;
const DWORD DRIVER_MAX_SIZE = 0x1800;
const DWORD DRIVER_BLOCK_SIZE = 16;
const DWORD DRIVER_RESET_WAIT_MS = 5000;
const DWORD CALL_DRIVER_WAIT_MS = 1000;
const IspWord CALL_DRIVER_ENTRY = 0x3300;

const DWORD DATA_BLOCK_SIZE = 32;
const int DATA_BLOCK_WORDS = 16;
const DWORD WRITE_WINDOW_WAIT_MS = 5000;
// Devices 5 and 7: the data goes first behind the 256-byte header; opening
// that window erases the device.
const DWORD ERASE_WAIT_MS = 10000;
const DWORD AFTER_DEVICE_CHECK_MS = 500;
// Re-synchronisations of one block before the job gives up.
const short MAX_RESYNC = 5;
const DWORD PROGRESS_LINES = 5000;
const int CHAR_CR = 13;
const int CHAR_PERCENT = 37;
const size_t STATE_SIZE = 64;

// One run of Data Blocks inside a write window that ends at `end`.
struct BlockPhase {
  int device;
  DWORD first; // address of the first block
  DWORD end;   // end of the window and of the blocks
  DWORD progressStep;
  DWORD progressBase; // the percentage runs from here ...
  DWORD progressSpan; // ... over this many bytes
  ResyncReport report;
};

void printProgress(DWORD addr, DWORD base, DWORD span) {
  std::printf("%cJob at %0.2f %c", CHAR_CR, static_cast<double>(addr - base) / span * 100,
              CHAR_PERCENT);
}

void printClosingProgress() { std::printf("%cJob at 100%c\t\t\t\t", CHAR_CR, CHAR_PERCENT); }

bool sendMicro(const char *command) { return sendMicroCmd(command, MICRO_COMMAND_LENGTH); }

// Notes what flash device `device` holds from here on: "flash device 5 is
// erased", when `what` is "erased".
void noteDeviceChange(int device, const char *what) {
  char state[STATE_SIZE];
  std::snprintf(state, sizeof state, "flash device %d is %s", device, what);
  noteCardChange(ADVICE_RUN_AGAIN, state);
}

bool sendDataBlock(const unsigned char *image, DWORD addr) {
  IspWord msg[ISP_MAX_WORDS] = {ISP_DATA_BLOCK};
  IspWord answer[ISP_MAX_WORDS] = {};
  packWords(msg + 1, image + addr, DATA_BLOCK_WORDS);
  return sendISPCmd(msg, answer, 0);
}

// Sends the phase's blocks in rising order; `*lines` counts progress lines.
bool writeBlocks(const unsigned char *image, const BlockPhase &phase, DWORD *lines) {
  const IspWindow window = {ISP_MODE_WRITE, phase.device, phase.end};
  for (DWORD addr = phase.first; addr < phase.end; addr += DATA_BLOCK_SIZE) {
    short retryValue = 0;
    while (!sendDataBlock(image, addr)) {
      if (!resynchronise(window, addr, phase.report, retryValue > MAX_RESYNC))
        return false;
      ++retryValue;
    }
    if (progressDue(phase.progressStep, addr, lines))
      printProgress(addr, phase.progressBase, phase.progressSpan);
  }
  return true;
}

bool loadDriver(const FlashImage &image) {
  std::printf("Soft Reset...\n");
  if (!sendMicro(MICRO_PROGRAM))
    return false;
  noteCardChange(ADVICE_POWER_CYCLE_OR_RUN_AGAIN,
                 "the video processor is stopped for programming and its flash is unchanged");
  if (!sendMicro(MICRO_RESET))
    return false;
  std::printf("Waiting 5 sec...\n");
  Sleep(DRIVER_RESET_WAIT_MS);
  DWORD lines = 0;
  std::printf("Begin Job...\n");
  const DWORD step = DRIVER_MAX_SIZE / PROGRESS_LINES;
  for (DWORD addr = DRIVER_BASE;
       addr < DRIVER_BASE + DRIVER_MAX_SIZE && addr + DRIVER_BLOCK_SIZE <= image.size;
       addr += DRIVER_BLOCK_SIZE) {
    IspWord msg[ISP_MAX_WORDS] = {ISP_DRIVER_BLOCK, static_cast<IspWord>((addr >> 4) & 0xF000),
                                  static_cast<IspWord>(addr & 0xFFFF)};
    IspWord answer[ISP_MAX_WORDS] = {};
    packWords(msg + 3, image.data + addr, DRIVER_BLOCK_SIZE / 2);
    if (!sendISPCmd(msg, answer, 0))
      return false;
    if (progressDue(step, addr, &lines))
      printProgress(addr, DRIVER_BASE, DRIVER_MAX_SIZE);
  }
  printClosingProgress();
  IspWord call[ISP_MAX_WORDS] = {ISP_CALL_DRIVER, static_cast<IspWord>(DRIVER_BASE >> 4), 0,
                                 CALL_DRIVER_ENTRY, 0};
  IspWord answer[ISP_MAX_WORDS] = {};
  std::printf("\nCalling ISP Driver...\n");
  return sendISPCmd(call, answer, CALL_DRIVER_WAIT_MS);
}

bool finishDevice() { return sendMicro(MICRO_APPLY) && sendMicro(MICRO_RESET); }

bool loadDevice(const FlashImage &image, int device) {
  std::printf("Setting ISP Mode...\n");
  if (!sendSetIspMode(ISP_MODE_WRITE, device, 0, image.size, WRITE_WINDOW_WAIT_MS))
    return false;
  DWORD lines = 0;
  std::printf("Begin Job...\n");
  noteDeviceChange(device, "partly written");
  const BlockPhase phase = {
      device, 0, image.size, image.size / PROGRESS_LINES, 0, image.size, ResyncReport::MESSAGES};
  if (!writeBlocks(image.data, phase, &lines))
    return false;
  printClosingProgress();
  return finishDevice();
}

bool loadDeviceWithHeader(const FlashImage &image, int device) {
  const DWORD dataSpan = image.size - HEADER_SIZE;
  std::printf("Setting ISP Mode...\n");
  std::printf("Erasing device...\n");
  noteDeviceChange(device, "erased");
  if (!sendSetIspMode(ISP_MODE_WRITE, device, HEADER_SIZE, dataSpan, ERASE_WAIT_MS))
    return false;
  IspWord request[ISP_MAX_WORDS];
  IspWord answer[ISP_MAX_WORDS] = {};
  if (!askDeviceStatus(request, answer))
    return false;
  if (deviceInForce(answer) != device) {
    std::printf("Device not setted !\n");
    return false;
  }
  Sleep(AFTER_DEVICE_CHECK_MS);
  DWORD lines = 0;
  std::printf("Begin Job... Data ..\n");
  noteDeviceChange(device, "erased and partly written");
  const BlockPhase data = {device,
                           HEADER_SIZE,
                           image.size,
                           dataSpan / PROGRESS_LINES,
                           HEADER_SIZE,
                           dataSpan,
                           ResyncReport::MESSAGES_AND_ADDRESS};
  if (!writeBlocks(image.data, data, &lines))
    return false;
  printClosingProgress();
  std::printf("\n");

  std::printf("Setting ISP Mode...\n");
  if (!sendSetIspMode(ISP_MODE_WRITE, device, 0, HEADER_SIZE, 0))
    return false;
  std::printf("Begin Job... Header...\n");
  const BlockPhase header = {device, 0,           HEADER_SIZE,        HEADER_SIZE / PROGRESS_LINES,
                             0,      HEADER_SIZE, ResyncReport::BRIEF};
  if (!writeBlocks(image.data, header, &lines))
    return false;
  printClosingProgress();
  std::printf("\nSoft Reset.");
  return finishDevice();
}

} // namespace

int loadFile(const char *filename, int device) {
  FlashImage image;
  if (!openImage(&image, filename, device))
    return -1;
  drainPort();
  const DWORD begin = GetTickCount();
  bool done = true;
  if (device == DRIVER_DEVICE)
    done = loadDriver(image);
  else if (device >= 1 && device <= 4)
    done = loadDevice(image, device);
  else if (hasHeader(device))
    done = loadDeviceWithHeader(image, device);
  if (done)
    std::printf("\n");
  printTime(begin, 0);
  closeImage(&image);
  return done ? 0 : -1;
}

int runViperJob(int device, const char *fileName) {
  if (!setTimeoutProfile(STANDARD_TIMEOUTS)) {
    pressAKey();
    return -1;
  }
  // An image that cannot be written whole is refused before the driver load
  // resets the video processor.
  if (!imageFileAcceptable(fileName, device)) {
    pressAKey();
    return JOB_REFUSED;
  }
  noteRerunCommand("VIPER", fileName);
  const DWORD begin = GetTickCount();
  const char *driver = hasHeader(device) ? FAST_DRIVER_FILE
                       : device == 1     ? SERIAL_DRIVER_FILE
                                         : nullptr;
  if (driver) {
    std::printf("Loading ISP Driver...\n");
    if (loadFile(driver, DRIVER_DEVICE) == -1) {
      pressAKey();
      return -1;
    }
    Sleep(AFTER_DRIVER_MS);
  }
  std::printf("Programm %s ...\n", fileName);
  if (loadFile(fileName, device) == -1) {
    pressAKey();
    return -1;
  }
  sendMicro(MICRO_END);
  printTime(begin, 1);
  return 0;
}
