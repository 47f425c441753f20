// Waiting for a card: how long identification may go unanswered
// (UPDATER_CONNECT_TIMEOUT), what the technician is told when the card stays
// silent, and the wait for a port that has gone (a USB adapter pulled out)
// to come back. Everything said here goes to standard error.
#pragma once

// Reads UPDATER_CONNECT_TIMEOUT. False, with a line on standard error, when
// it is set but is no whole number of seconds in range.
bool readConnectTimeout();

// Starts the identification's clock on the port just opened, and notes the
// device it opened.
void startConnectWait();

// The device the port opened ("/dev/ttyUSB0"; "\\.\COM3" on Windows).
const char *connectedDevice();

// True once UPDATER_CONNECT_TIMEOUT has run out since startConnectWait().
bool connectTimeUp();

// Once a run: the card gave no answer; names the device and the usual causes.
void reportSilentCard();

// The identification gives up: the silent-card line, then why it stopped.
void reportConnectTimeUp();

// Closes the port and opens it again as identification does after a failed
// question. A port that does not open (it has gone) is waited for: reopened
// about once a second, quietly, until it comes back (true) or the connect
// time runs out (false). Ctrl-C ends the wait as it ends the run.
bool reopenOrWaitForPort();
