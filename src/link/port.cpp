#include "link/port.h"
#include "link/trace.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

Port &thePort() {
  static Port port;
  return port;
}

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
  Port &port = thePort();
  port.handle = CreateFileA(port.fullName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  traceOpen(port.fullName, port.handle);
  return port.handle != INVALID_HANDLE_VALUE;
}

bool readLineSettings() {
  Port &port = thePort();
  port.line.DCBlength = sizeof(DCB);
  return GetCommState(port.handle, &port.line) != FALSE;
}

// Sends the line settings to the port as they stand.
bool sendLineSettings() {
  Port &port = thePort();
  const BOOL ok = SetCommState(port.handle, &port.line);
  traceLineSettings(port.handle, port.line, ok);
  checkPortGone(port.handle, ok);
  return ok != FALSE;
}

// 115200 bit/s, 8 data bits, no parity, one stop bit, RTS held off.
bool applyLineSettings() {
  DCB &line = thePort().line;
  line.BaudRate = LINE_BAUD_RATE;
  line.ByteSize = 8;
  line.Parity = NOPARITY;
  line.StopBits = ONESTOPBIT;
  line.fRtsControl = RTS_CONTROL_DISABLE;
  return sendLineSettings();
}

const char SET_TIMEOUT_FAILURE[] = "Failed to set timeout : error %ld\n";

// Makes `profile` the port's time-out profile, silently.
bool applyTimeouts(const COMMTIMEOUTS &profile) {
  Port &port = thePort();
  port.timeouts = profile;
  const BOOL ok = SetCommTimeouts(port.handle, &port.timeouts);
  traceTimeouts(port.handle, port.timeouts, ok);
  return ok != FALSE;
}

bool applyStandardTimeouts() { return applyTimeouts(STANDARD_TIMEOUTS); }

void reportOpenFailure() {
  char error[256];
  errorCheck(error);
  std::printf("Failed to open %s :  %s\n", thePort().name, error);
}

// The opening's steps in order, each with the message of its failure: the
// device's own, or a text that the system's error code completes.
struct OpenStep {
  bool (*run)();
  const char *failure; // a printf format for the error code; null: the device's message
};
const OpenStep OPEN_STEPS[] = {{openDevice, nullptr},
                               {readLineSettings, "Failed to get port status : error %ld  \n"},
                               {applyLineSettings, "Failed to set port state : error %ld\n"},
                               {applyStandardTimeouts, SET_TIMEOUT_FAILURE}};

void reportStepFailure(const OpenStep &step) {
  if (step.failure)
    std::printf(step.failure, static_cast<long>(GetLastError()));
  else
    reportOpenFailure();
}

} // namespace

bool openPort(bool keepGoing) {
  bool opened = true;
  for (const OpenStep &step : OPEN_STEPS) {
    if (step.run())
      continue;
    reportStepFailure(step);
    opened = false;
    if (!keepGoing)
      break;
  }
  return opened;
}

bool openPortQuietly() {
  for (const OpenStep &step : OPEN_STEPS)
    if (!step.run()) {
      closePort();
      thePort().handle = INVALID_HANDLE_VALUE;
      return false;
    }
  return true;
}

void closePort() {
  const HANDLE handle = thePort().handle;
  traceClose(handle, CloseHandle(handle));
}

bool setTimeoutProfile(const COMMTIMEOUTS &profile) {
  if (applyTimeouts(profile))
    return true;
  std::printf(SET_TIMEOUT_FAILURE, static_cast<long>(GetLastError()));
  return false;
}

bool setBaudRate(DWORD rate) {
  thePort().line.BaudRate = rate;
  return sendLineSettings();
}

bool portRead(void *into, DWORD count, DWORD &got) {
  const HANDLE handle = thePort().handle;
  const BOOL ok = ReadFile(handle, into, count, &got, nullptr);
  traceRead(handle, into, got, ok);
  checkPortGone(handle, ok);
  return ok != FALSE;
}

bool portWrite(const void *data, DWORD count, DWORD &sent) {
  const HANDLE handle = thePort().handle;
  const BOOL ok = WriteFile(handle, data, count, &sent, nullptr);
  traceWrite(handle, data, sent, ok);
  checkPortGone(handle, ok);
  return ok != FALSE;
}

namespace {
// A write that succeeds without moving a byte is repeated at most this
// often before the bytes count as not written.
const int EMPTY_WRITES = 5;
} // namespace

bool portWriteAll(const void *data, DWORD count) {
  const BYTE *bytes = static_cast<const BYTE *>(data);
  DWORD sent = 0;
  int emptyWrites = 0;
  while (sent < count) {
    DWORD moved = 0;
    if (!portWrite(bytes + sent, count - sent, moved))
      return false;
    emptyWrites = moved == 0 ? emptyWrites + 1 : 0;
    if (emptyWrites >= EMPTY_WRITES)
      return false;
    sent += moved;
  }
  return true;
}

DWORD elapsedMs(DWORD begin, DWORD now) { return now - begin; }

// The signed difference keeps a deadline right when the counter wraps
// between taking it and testing it.
bool pastDeadline(DWORD deadline) { return static_cast<int32_t>(GetTickCount() - deadline) > 0; }

void printTime(DWORD begin, int all) {
  DWORD seconds = elapsedMs(begin, GetTickCount()) / 1000;
  int minutes = static_cast<int>(seconds / 60);
  int rest = static_cast<int>(seconds % 60);
  if (all)
    std::printf("\nTotal Time : %d minutes %d seconds\n", minutes, rest);
  else
    std::printf("\nTime : %d minutes %d seconds\n", minutes, rest);
}
