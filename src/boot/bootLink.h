// The byte-level procedures of the boot-mode run: single-byte sends, the
// receive slot, echo and acknowledgement waits and the 5-byte reply read.
#pragma once

#include "platform/platform.h"

const BYTE ACK = 0x06;
// Preset of the receive slot before a wait: no valid answer has this value,
// so a byte left from an earlier step never counts.
const BYTE SLOT_PRESET = 0x66;
const DWORD REPLY_SIZE = 5;
const DWORD READ_BUF_SIZE = 4000;

// The boot-mode run's side of the port (link/port.h).
struct BootLink {
  BYTE ReadBuf[READ_BUF_SIZE]; // ReadBuf[0] is the receive slot
};

// Writes the single byte `b` to the port; true when it went out. (A send
// needs only the port; the link holds what the run reads.)
bool sendByte(BYTE b);
// As sendByte; a failed write prints `failText`.
bool sendTested(BYTE b, const char *failText);
// One read of up to `count` bytes into ReadBuf + `at`; the count delivered.
DWORD readInto(BootLink &link, DWORD at, DWORD count);
// One read of a single byte into the slot; the count delivered.
DWORD readSlot(BootLink &link);
// Presets the slot and reads until it holds `b`, within `waitMs` of the
// first read.
bool echoWait(BootLink &link, BYTE b, DWORD waitMs);
// Presets the slot and reads until it holds 0x06, within `waitMs`.
bool ackWait(BootLink &link, DWORD waitMs);
// Reads a 5-byte reply into ReadBuf[0..4] within `waitMs`.
bool replyRead(BootLink &link, DWORD waitMs);
// The sum byte that makes a 5-byte reply add up to 0 modulo 256.
BYTE expectedReplySum(const BYTE *reply);
