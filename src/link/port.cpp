#include "link/port.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

HANDLE lport = INVALID_HANDLE_VALUE;
DCB lDCB;
COMMTIMEOUTS ct;
char lportname[256];
char lfullportname[256];
BOOL lrc;
DWORD lnumbytes;
unsigned char buffer[BUFFER_SIZE];

void errorCheck(char *error) {
  switch (GetLastError()) {
  case ERROR_FILE_NOT_FOUND:
    std::strcpy(error, "The COM port selected don't exist!");
    break;
  case ERROR_ACCESS_DENIED:
    std::strcpy(error, "The COM port selected is already open by an other program!");
    break;
  default:
    error[0] = '\0';
  }
}

namespace {

bool openDevice() {
  lport = CreateFileA(lfullportname, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                      OPEN_EXISTING, 0, nullptr);
  return lport != INVALID_HANDLE_VALUE;
}

bool readLineSettings() {
  lDCB.DCBlength = sizeof(DCB);
  lrc = GetCommState(lport, &lDCB);
  return lrc != FALSE;
}

// 115200 bit/s, 8 data bits, no parity, one stop bit, RTS held off.
bool applyLineSettings() {
  lDCB.BaudRate = LINE_BAUD_RATE;
  lDCB.ByteSize = 8;
  lDCB.Parity = NOPARITY;
  lDCB.StopBits = ONESTOPBIT;
  lDCB.fRtsControl = RTS_CONTROL_DISABLE;
  lrc = SetCommState(lport, &lDCB);
  return lrc != FALSE;
}

bool applyStandardTimeouts() { return setTimeoutProfile(STANDARD_TIMEOUTS) != FALSE; }

void reportOpenFailure() {
  char error[256];
  errorCheck(error);
  std::printf("Failed to open %s :  %s\n", lportname, error);
}

void reportGetStateFailure() {
  std::printf("Failed to get port status : error %ld  \n", static_cast<long>(GetLastError()));
}

void reportSetStateFailure() {
  std::printf("Failed to set port state : error %ld\n", static_cast<long>(GetLastError()));
}

void reportTimeoutFailure() {
  std::printf("Failed to set timeout : error %ld\n", static_cast<long>(GetLastError()));
}

// The opening's steps in order, each with the message of its failure.
struct OpenStep {
  bool (*run)();
  void (*report)();
};
const OpenStep OPEN_STEPS[] = {{openDevice, reportOpenFailure},
                               {readLineSettings, reportGetStateFailure},
                               {applyLineSettings, reportSetStateFailure},
                               {applyStandardTimeouts, reportTimeoutFailure}};

} // namespace

int openPort(bool keepGoing) {
  int failed = 0;
  for (const OpenStep &step : OPEN_STEPS) {
    if (step.run())
      continue;
    step.report();
    failed = 1;
    if (!keepGoing)
      break;
  }
  return failed;
}

bool openPortQuietly() {
  for (const OpenStep &step : OPEN_STEPS)
    if (!step.run()) {
      CloseHandle(lport);
      lport = INVALID_HANDLE_VALUE;
      return false;
    }
  return true;
}

BOOL setTimeoutProfile(const COMMTIMEOUTS &profile) {
  ct = profile;
  lrc = SetCommTimeouts(lport, &ct);
  return lrc;
}

BOOL setBaudRate(DWORD rate) {
  lDCB.BaudRate = rate;
  lrc = SetCommState(lport, &lDCB);
  return lrc;
}

DWORD elapsedMs(DWORD begin, DWORD now) { return now - begin; }

// The signed difference keeps a deadline right when the counter wraps
// between taking it and testing it.
bool pastDeadline(DWORD deadline) {
  return static_cast<int32_t>(GetTickCount() - deadline) > 0;
}

void printTime(DWORD begin, int all) {
  DWORD seconds = elapsedMs(begin, GetTickCount()) / 1000;
  int minutes = static_cast<int>(seconds / 60);
  int rest = static_cast<int>(seconds % 60);
  if (all)
    std::printf("\nTotal Time : %d minutes %d seconds\n", minutes, rest);
  else
    std::printf("\nTime : %d minutes %d seconds\n", minutes, rest);
}
