#include "boot/bootLink.h"

#include "link/port.h"

#include <cstdio>

namespace {
// Base of the reply sum: the sum byte makes the five bytes add up to 256.
const unsigned SUM = 256;
} // namespace

bool sendByte(BYTE b) {
  DWORD sent = 0;
  return portWrite(&b, 1, sent) && sent == 1;
}

bool sendTested(BYTE b, const char *failText) {
  if (sendByte(b))
    return true;
  std::printf("%s", failText);
  return false;
}

DWORD readInto(BootLink &link, DWORD at, DWORD count) {
  DWORD got = 0;
  if (!portRead(link.ReadBuf + at, count, got))
    return 0;
  return got;
}

DWORD readSlot(BootLink &link) { return readInto(link, 0, 1); }

bool echoWait(BootLink &link, BYTE b, DWORD waitMs) {
  // The slot may still hold the echo of the byte before, equal to `b`:
  // preset it to a value that is not `b`, so that only a new echo counts.
  link.ReadBuf[0] = static_cast<BYTE>(~b);
  readSlot(link);
  const DWORD deadline = GetTickCount() + waitMs;
  while (link.ReadBuf[0] != b) {
    if (pastDeadline(deadline))
      return false;
    readSlot(link);
  }
  return true;
}

bool ackWait(BootLink &link, DWORD waitMs) {
  link.ReadBuf[0] = SLOT_PRESET;
  readSlot(link);
  const DWORD deadline = GetTickCount() + waitMs;
  while (!pastDeadline(deadline) && link.ReadBuf[0] != ACK)
    readSlot(link);
  return link.ReadBuf[0] == ACK;
}

bool replyRead(BootLink &link, DWORD waitMs) {
  const DWORD deadline = GetTickCount() + waitMs;
  DWORD count = 0;
  while (count < REPLY_SIZE) {
    if (pastDeadline(deadline))
      return false;
    count += readInto(link, count, REPLY_SIZE - count);
  }
  return true;
}

BYTE expectedReplySum(const BYTE *reply) {
  return static_cast<BYTE>(SUM - (reply[0] + reply[1] + reply[2] + reply[3]));
}
