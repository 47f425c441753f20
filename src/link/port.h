// The serial port shared by the whole run: its globals, the time-out
// profiles, opening, and the elapsed-time line.
#pragma once

#include "platform/platform.h"

extern HANDLE lport;
extern DCB lDCB;
extern COMMTIMEOUTS ct;
extern char lportname[256];
extern char lfullportname[256];
extern BOOL lrc;
extern DWORD lnumbytes;

// Where the EDID and gamma jobs drain and discard the card's waiting input.
const DWORD BUFFER_SIZE = 262144;
extern unsigned char buffer[BUFFER_SIZE];

const DWORD LINE_BAUD_RATE = 115200;
const DWORD BOOT_BAUD_RATE = 9600;

// Time-out profiles, in milliseconds. Standard: a read returns at once with
// what has arrived, or with the first byte within 1 ms; a write may take
// 100 ms a byte. Stream: reads and writes end after 1 ms. EDID: 50 ms.
const COMMTIMEOUTS STANDARD_TIMEOUTS = {MAXDWORD, MAXDWORD, 1, 100, 0};
const COMMTIMEOUTS STREAM_TIMEOUTS = {0, 0, 1, 0, 1};
const COMMTIMEOUTS EDID_TIMEOUTS = {0, 0, 50, 0, 50};

// Writes the text for the last open failure into `error` (256 characters).
void errorCheck(char *error);

// Opens `lfullportname` and applies 115200 bit/s, 8N1, RTS off and the
// standard profile, printing the message of each failing step. With
// `keepGoing` the remaining steps still run after a failure (identification
// reopens the port that way). Returns 0 when every step succeeded.
int openPort(bool keepGoing);

// The same opening without a message: true when every step succeeded; the
// port is left closed otherwise.
bool openPortQuietly();

// Fills `ct` with `profile` and applies it. The result goes to `lrc`.
BOOL setTimeoutProfile(const COMMTIMEOUTS &profile);

// Puts `rate` into `lDCB` and applies the whole record; result in `lrc`.
BOOL setBaudRate(DWORD rate);

// Milliseconds from `begin` to `now` on the wrapping 32-bit tick counter.
DWORD elapsedMs(DWORD begin, DWORD now);

// True once the tick counter has passed `deadline` (unsigned comparison).
bool pastDeadline(DWORD deadline);

// "\nTotal Time : %d minutes %d seconds\n" when `all`, else "\nTime : ...".
void printTime(DWORD begin, int all);
