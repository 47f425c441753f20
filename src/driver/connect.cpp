#include "driver/connect.h"

#include "link/notice.h"
#include "link/port.h"

#include <cerrno>
#include <cstdlib>

namespace {

const char CONNECT_TIMEOUT_VARIABLE[] = "UPDATER_CONNECT_TIMEOUT";
// Up to three weeks: a deadline on the 32-bit millisecond tick stays
// comparable for 24 days.
const long CONNECT_TIMEOUT_MAX_S = 21L * 24 * 3600;
const DWORD PORT_RETRY_PAUSE_MS = 1000;

long connectTimeoutS = 0; // 0: identification waits for ever
DWORD connectDeadline = 0;
char deviceName[300] = "";
bool silentCardReported = false;

} // namespace

bool readConnectTimeout() {
  const char *text = std::getenv(CONNECT_TIMEOUT_VARIABLE);
  if (text == nullptr || *text == '\0')
    return true;
  char *end = nullptr;
  errno = 0;
  const long seconds = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || seconds < 1 || seconds > CONNECT_TIMEOUT_MAX_S) {
    notice("%s=%s is not a number of seconds from 1 to %ld\n", CONNECT_TIMEOUT_VARIABLE, text,
           CONNECT_TIMEOUT_MAX_S);
    return false;
  }
  connectTimeoutS = seconds;
  return true;
}

void startConnectWait() {
  portDevice(thePort().fullName, deviceName, sizeof deviceName);
  connectDeadline = GetTickCount() + static_cast<DWORD>(connectTimeoutS * 1000);
}

const char *connectedDevice() { return deviceName; }

bool connectTimeUp() { return connectTimeoutS > 0 && pastDeadline(connectDeadline); }

void reportSilentCard() {
  if (silentCardReported)
    return;
  silentCardReported = true;
  notice("no answer from a card on %s (%s). Check that this is the card's port, that the "
         "card has power, the serial cable, and that no other program uses the port. Still "
         "asking; Ctrl-C stops.\n",
         thePort().name, deviceName);
}

void reportConnectTimeUp() {
  reportSilentCard();
  notice("gave up after %ld s without a card (%s)\n", connectTimeoutS, CONNECT_TIMEOUT_VARIABLE);
}

bool reopenOrWaitForPort() {
  closePort();
  if (openPort(true) || thePort().handle != INVALID_HANDLE_VALUE)
    return true;
  notice("%s (%s) has gone; waiting for it to come back, trying once a second. Ctrl-C "
         "stops.\n",
         thePort().name, deviceName);
  while (!connectTimeUp()) {
    Sleep(PORT_RETRY_PAUSE_MS);
    if (openPortQuietly()) {
      notice("%s is back; asking the card again\n", thePort().name);
      return true;
    }
  }
  return false;
}
