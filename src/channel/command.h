// The card command channel: text queries answered by one "#...\r" line
// (SendCmd), and "=M" control commands acknowledged by "=M*" (sendMicroCmd).
#pragma once

#include "platform/platform.h"

// ReadCmd results.
const int CMD_COLLECTING = 0; // also: 40 characters came without a CR
const int CMD_READ_FAILED = 1;
const int CMD_TIMEOUT = 2;
const int CMD_COMPLETE = 4;

// ReadMicroResponse results.
const int MICRO_ACCEPTED = 1;
const int MICRO_REFUSED = 2;
const int MICRO_INVALID = 3;
const int MICRO_TIMEOUT = 4;

// The text-answer receiver, fed the bytes of one read at a time: waits for
// "#", then stores the answer up to and including its CR, then a NUL.
enum class CmdReceiverState {
  WAITING_FOR_START, // for the answer's "#"
  WAITING_FOR_END,   // "#" seen: storing up to the CR
};
struct CmdReceiver {
  CmdReceiverState state;
  int count; // characters stored
};
void cmdReceiverStart(CmdReceiver *r);
// CMD_COMPLETE when the CR arrived, CMD_COLLECTING (0) with `*full` set
// when 40 characters came without one, else CMD_COLLECTING.
int cmdReceiverFeed(CmdReceiver *r, char *answer, const BYTE *bytes, DWORD count, bool *full);

// The acknowledgement receiver: "=" (repeats allowed), "M", status byte.
enum class MicroReceiverState {
  WAITING_FOR_START,  // for the "="
  WAITING_FOR_MICRO,  // "=" seen: for the "M"
  WAITING_FOR_STATUS, // "=M" seen: for the status byte
};
struct MicroReceiver {
  MicroReceiverState state;
};
void microReceiverStart(MicroReceiver *r);
// 0 while no status byte has come, else MICRO_ACCEPTED, MICRO_REFUSED or
// MICRO_INVALID (printing the refusal or invalid-answer line).
int microReceiverFeed(MicroReceiver *r, const BYTE *bytes, DWORD count);

// True when the command went out and a "#..." answer came back whole.
bool SendCmd(const char *msg, int length, char *answer);
int ReadCmd(char *answer);
// True when the command went out and the micro accepted it ("=M*").
bool sendMicroCmd(const char *msg, unsigned short length);
int ReadMicroResponse();
