#include "driver/commandLine.h"

#include <cctype>
#include <cstdio>

void copyUpperCased(const char *text, char *data) {
  while (*text) {
    *data++ = static_cast<char>(std::toupper(static_cast<unsigned char>(*text)));
    ++text;
  }
  *data = '\0';
}

void printUsage(bool acceptsEdid) {
  std::printf("Error: Usage is\n");
  std::printf("  updater [COMXX] [FPGA/VIPER] Filename.xxx\n");
  std::printf("e.g. updater COM1 FPGA fpga.xsvf\n");
  std::printf("e.g. updater COM1 VIPER Device5.bin\n");
  std::printf("e.g. updater COM1 MICRO\n");
  if (acceptsEdid)
    std::printf("e.g. updater COM1 EDID\n");
  else
    std::printf("e.g. updater COM1 ALL\n");
}

void printJobWordError(bool acceptsEdid) {
  if (acceptsEdid)
    std::printf("Must be FPGA, VIPER, MICRO, EDID, CMD , GAMMA or ALL\n");
  else
    std::printf("Must be FPGA, VIPER, MICRO, CMD, GAMMA or ALL\n");
}
