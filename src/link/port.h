// The serial port shared by the whole run: its state, the time-out
// profiles, opening, reading and writing, and the elapsed-time line.
#pragma once

#include "platform/platform.h"

// The run's one serial port: the card's line. Only link/ calls the serial
// API on it; the jobs read and write it through the functions below.
struct Port {
  HANDLE handle = INVALID_HANDLE_VALUE;
  DCB line = {};              // the line settings, as last read or applied
  COMMTIMEOUTS timeouts = {}; // the time-out profile in force
  char name[256] = "";        // as the operator typed it: "COM1"
  char fullName[256] = "";    // the name it opens by: "\\.\COM1"
};

// The port of the run.
Port &thePort();

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

// Opens the port's full name and applies 115200 bit/s, 8N1, RTS off and the
// standard profile, printing the message of each failing step. With
// `keepGoing` the remaining steps still run after a failure (identification
// reopens the port that way). True when every step succeeded.
bool openPort(bool keepGoing);

// The same opening without a message: true when every step succeeded; the
// port is left closed otherwise.
bool openPortQuietly();

// Closes the port; its handle is kept, no longer valid.
void closePort();

// Makes `profile` the port's time-out profile; true when it applied, else
// false after "Failed to set timeout : error N".
bool setTimeoutProfile(const COMMTIMEOUTS &profile);

// Puts `rate` into the line settings and applies them whole; true when
// they applied.
bool setBaudRate(DWORD rate);

// One read of up to `count` bytes into `into`, with the meaning of the
// time-out profile in force (platform.h); `got` is the count delivered.
// False when the call failed; a read that brings fewer bytes timed out.
bool portRead(void *into, DWORD count, DWORD &got);

// One write of the `count` bytes at `data`; `sent` is the count that went
// out before the write time-out. False when the call failed.
bool portWrite(const void *data, DWORD count, DWORD &sent);

// Writes all `count` bytes at `data`, calling portWrite again with the rest
// after a write that moved only part of them. False when a call failed, or
// when five calls in a row moved nothing.
bool portWriteAll(const void *data, DWORD count);

// While a handler is set, a call on the port that fails because the port
// has gone calls it; the driver sets one for the length of a job, which
// ends the run there instead of letting the job wait out its time limits
// on a port that cannot come back under it. Null removes it.
void onPortGone(void (*handler)());

// Milliseconds from `begin` to `now` on the wrapping 32-bit tick counter.
DWORD elapsedMs(DWORD begin, DWORD now);

// True once the tick counter has passed `deadline` (unsigned comparison).
bool pastDeadline(DWORD deadline);

// "\nTotal Time : %d minutes %d seconds\n" when `all`, else "\nTime : ...".
void printTime(DWORD begin, int all);
