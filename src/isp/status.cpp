// The STATUS job: four queries to the video processor and a fixed-layout
// report, repeated on every key until Q.
#include "isp/status.h"

#include "isp/exchange.h"

#include <cstdio>
#include <cstring>

namespace {

const int STATUS_WORDS = 256; // message and answer arrays
const int CLEARED_WORDS = 15; // cleared before each query

const IspWord OSD_MEMORY[2] = {0x005E, 0x0B06};
const IspWord VIDEO_MEMORY[2] = {0x007C, 0x0005};

// One line of a bit list: the text when the bit is set and when clear.
struct BitLine {
  int bit;
  const char *set;
  const char *clear;
};

const char *const OSD_LOAD_TEXTS[] = {
    "OSD Load Table OK",
    "No load data table entry in configuration info",
    "Load table corrupted or absent",
    "Load table empty",
    "Load table too big",
    "Memory overflow",
    "Awaiting trigger of manual OSD bulk load",
};
const char *const CONFIG_TEXTS[] = {
    "Insystem program mode",
    "Configuration in progress",
    "Configuration complete",
    "Configuration error",
    "Firmware incompatible with device type",
};
const char UNKNOWN_TEXT[] = "Error Unknown";

const BitLine VIDEO_MEMORY_LINES[] = {
    {0, "           SDRAM 1 Detected", "           SDRAM 1 Not Detected"},
    {3, "           SDRAM 4 Detected \n", "           SDRAM 4 Not Detected \n"},
    {1, "           SDRAM 2 Detected", "           SDRAM 2 Not Detected"},
    {4, "           SDRAM 5 Detected \n", "           SDRAM 5 Not Detected\n"},
    {2, "           SDRAM 3 Detected\n", "           SDRAM 3 Not Detected\n"},
};
const BitLine OSD_MEMORY_LINES[] = {
    {5, "           SDRAM 1 Detected", "           SDRAM 1 Not Detected"},
    {6, "           SDRAM 2 Detected \n", "           SDRAM 2 Not Detected\n"},
};
const BitLine CHIP_SELECT_LINES[] = {
    {0, "           CS0 Detected", "           CS0 Not Detected"},
    {4, "           CS4 Detected\n", "           CS4 Not Detected\n"},
    {1, "           CS1 Detected", "           CS1 Not Detected"},
    {5, "           CS5 Detected\n", "           CS5 Not Detected\n"},
    {2, "           CS2 Detected", "           CS2 Not Detected"},
    {6, "               CS6 Detected\n", "               CS6 Not Detected\n"},
    {3, "           CS3 Detected", "           CS3 Not Detected"},
    {7, "               CS7 Detected \n", "               CS7 Not Detected\n"},
};
const BitLine OSD_CALIBRATION_LINES[] = {
    {0, "           Byte 0 : Passed", "           Byte 0 : Not Passed"},
    {2, "            Byte 2 : Passed\n", "            Byte 2 : Not Passed\n"},
    {1, "           Byte 1 : Passed", "           Byte 1 : Not Passed"},
    {3, "            Byte 3 : Passed\n", "            Byte 3 : Not Passed\n"},
};
const BitLine VIDEO_CALIBRATION_LINES[] = {
    {0, "           Byte 0 : Passed", "           Byte 0 : Not Passed"},
    {5, "            Byte 5 : Passed\n", "            Byte 5 : Not Passed\n"},
    {1, "           Byte 1 : Passed", "           Byte 1 : Not Passed"},
    {6, "            Byte 6 : Passed\n", "            Byte 6 : Not Passed\n"},
    {2, "           Byte 2 : Passed", "           Byte 2 : Not Passed"},
    {7, "            Byte 7 : Passed\n", "            Byte 7 : Not Passed\n"},
    {3, "           Byte 3 : Passed", "           Byte 3 : Not Passed"},
    {8, "            Byte 8 : Passed\n", "            Byte 8 : Not Passed\n"},
    {4, "           Byte 4 : Passed", "           Byte 4 : Not Passed"},
    {9, "            Byte 9 : Passed\n", "            Byte 9 : Not Passed\n"},
};

template <size_t N> const char *codeText(const char *const (&texts)[N], int code) {
  return code >= 0 && code < static_cast<int>(N) ? texts[code] : UNKNOWN_TEXT;
}

template <size_t N> void printBitLines(const BitLine (&lines)[N], unsigned bits) {
  for (const BitLine &line : lines)
    std::printf("%s", (bits >> line.bit) & 1 ? line.set : line.clear);
}

// Clears the head of both arrays, sends the query, leaves the answer.
// False when the video processor gave none.
bool query(IspWord *msg, IspWord *answer, IspWord word0, IspWord w1, IspWord w2) {
  std::memset(msg, 0, CLEARED_WORDS * sizeof(IspWord));
  std::memset(answer, 0, CLEARED_WORDS * sizeof(IspWord));
  msg[0] = word0;
  msg[1] = w1;
  msg[2] = w2;
  return sendISPCmd(msg, answer, 0);
}

bool isQuit(int key) { return key == 'Q' || key == 'q' || key == EOF; }

} // namespace

void takeDeviceName(VxpStatusReport *report, const IspWord *answer) {
  for (int k = 0; k < VXP_NAME_LENGTH / 2; ++k) {
    report->name[2 * k] = static_cast<char>(answer[k + 1] >> 8);
    report->name[2 * k + 1] = static_cast<char>(answer[k + 1] & 0xFF);
  }
}

void takeVxpStatus(VxpStatusReport *report, const IspWord *answer) {
  report->osdLoadStatus = answer[1] >> 8;
  report->configStatus = answer[1] & 0xFF;
  report->deviceType = answer[2];
  report->memoryBits = (answer[14] >> 8) & 0x7F;
  report->chipSelectBits = answer[14] & 0xFF;
}

void takeOsdCalibration(VxpStatusReport *report, const IspWord *answer) {
  report->osdCalibration = answer[3] & 0xFF;
}

void takeVideoCalibration(VxpStatusReport *report, const IspWord *answer) {
  report->videoCalibration = answer[3];
}

void printVxpStatus(const VxpStatusReport &r) {
  std::printf("\n/********** VXP STATUS ***********/ \n");
  std::printf("\nDevice Name         -> %c%c%c%c%c%c%c%c%c%c%c%c", r.name[0], r.name[1], r.name[2],
              r.name[3], r.name[4], r.name[5], r.name[6], r.name[7], r.name[8], r.name[9],
              r.name[10], r.name[11]);
  std::printf("\nDevice Type         -> KZ%x", r.deviceType);
  std::printf("\nOSD Load Status     -> %s", codeText(OSD_LOAD_TEXTS, r.osdLoadStatus));
  std::printf("\nConfig Status       -> %s", codeText(CONFIG_TEXTS, r.configStatus));
  std::printf("\nMemory Devices      ->\n\r");
  std::printf("    Video Memory:  \n");
  printBitLines(VIDEO_MEMORY_LINES, r.memoryBits);
  std::printf("    OSD Memory:  \n");
  printBitLines(OSD_MEMORY_LINES, r.memoryBits);
  std::printf("    Flash Memory:  \n");
  printBitLines(CHIP_SELECT_LINES, r.chipSelectBits);
  std::printf("SDRAM Calibration   ->\n\r");
  std::printf("    OSD : \n");
  printBitLines(OSD_CALIBRATION_LINES, r.osdCalibration);
  std::printf("    Video: \n");
  printBitLines(VIDEO_CALIBRATION_LINES, r.videoCalibration);
  std::printf("\n/******** END OF VXP STATUS ********/ ");
  std::printf("\nPress Enter to refresh or 'Q' to quit ");
}

int runStatusJob() {
  IspWord msg[STATUS_WORDS] = {};
  IspWord answer[STATUS_WORDS] = {};
  bool answered;
  do {
    VxpStatusReport report = {};
    answered = query(msg, answer, ISP_DEVICE_NAME_QUERY, 0, 0);
    takeDeviceName(&report, answer);
    answered &= query(msg, answer, ISP_VXP_STATUS_QUERY, 0, 0);
    takeVxpStatus(&report, answer);
    answered &= query(msg, answer, ISP_CALIBRATION_QUERY, OSD_MEMORY[0], OSD_MEMORY[1]);
    takeOsdCalibration(&report, answer);
    answered &= query(msg, answer, ISP_CALIBRATION_QUERY, VIDEO_MEMORY[0], VIDEO_MEMORY[1]);
    takeVideoCalibration(&report, answer);
    printVxpStatus(report);
  } while (!isQuit(readKey()));
  return answered ? 0 : -1;
}
