#include "channel/command.h"

#include "link/port.h"

#include <cstdio>

namespace {

const DWORD SENDCMD_DRAIN_MS = 1000;
const DWORD MICROCMD_DRAIN_MS = 5000;
const DWORD DRAIN_READ_SIZE = 300;

const DWORD READCMD_DEADLINE_MS = 2000;
const DWORD READCMD_READ_SIZE = 50;
const int READCMD_LIMIT = 40; // characters before the CR, "#" included
const int SENDCMD_ATTEMPTS = 4;

const DWORD MICRO_DEADLINE_MS = 10000;
const DWORD MICRO_READ_SIZE = 10;
const int MICRO_RETRIES = 5;

const BYTE ANSWER_START = '#';
const BYTE LINE_END = '\r';
const BYTE ACK_START = '=';
const BYTE ACK_MICRO = 'M';
const BYTE ACK_ACCEPTED = '*';
const BYTE ACK_REFUSED = '~';

// Reads and throws away input for as long as it keeps arriving, until the
// deadline.
void drainInput(DWORD waitMs) {
  BYTE scratch[DRAIN_READ_SIZE];
  DWORD deadline = GetTickCount() + waitMs;
  DWORD got = 0;
  while (portRead(scratch, DRAIN_READ_SIZE, got) && got > 0 && !pastDeadline(deadline)) {
  }
}

} // namespace

void cmdReceiverStart(CmdReceiver *r) {
  r->state = CmdReceiverState::WAITING_FOR_START;
  r->count = 0;
}

int cmdReceiverFeed(CmdReceiver *r, char *answer, const BYTE *bytes, DWORD count, bool *full) {
  *full = false;
  for (DWORD k = 0; k < count; ++k) {
    const BYTE b = bytes[k];
    if (r->state == CmdReceiverState::WAITING_FOR_START) {
      if (b != ANSWER_START)
        continue;
      answer[r->count++] = static_cast<char>(b);
      r->state = CmdReceiverState::WAITING_FOR_END;
    } else if (b == LINE_END) {
      answer[r->count++] = static_cast<char>(b);
      answer[r->count] = '\0';
      return CMD_COMPLETE;
    } else if (b != ANSWER_START) {
      answer[r->count++] = static_cast<char>(b);
    }
    if (r->count >= READCMD_LIMIT) {
      *full = true;
      return CMD_COLLECTING;
    }
  }
  return CMD_COLLECTING;
}

int ReadCmd(char *answer) {
  BYTE chunk[READCMD_READ_SIZE];
  CmdReceiver receiver;
  cmdReceiverStart(&receiver);
  const DWORD deadline = GetTickCount() + READCMD_DEADLINE_MS;
  int result = CMD_COLLECTING;
  while (result == CMD_COLLECTING) {
    DWORD got = 0;
    const bool read = portRead(chunk, READCMD_READ_SIZE, got);
    if (!read)
      result = CMD_READ_FAILED;
    if (pastDeadline(deadline))
      result = CMD_TIMEOUT;
    bool full = false;
    if (cmdReceiverFeed(&receiver, answer, chunk, read ? got : 0, &full) == CMD_COMPLETE)
      return CMD_COMPLETE;
    if (full)
      return CMD_COLLECTING;
  }
  return result;
}

bool SendCmd(const char *msg, int length, char *answer) {
  drainInput(SENDCMD_DRAIN_MS);
  for (int k = 0; k < length; ++k) {
    DWORD sent = 0;
    if (!portWrite(msg + k, 1, sent) || sent != 1)
      return false;
  }
  for (int attempt = 0; attempt < SENDCMD_ATTEMPTS; ++attempt) {
    int result = ReadCmd(answer);
    if (result == CMD_COMPLETE)
      return true;
    if (result == CMD_COLLECTING)
      return false;
  }
  return false;
}

void microReceiverStart(MicroReceiver *r) { r->state = MicroReceiverState::WAITING_FOR_START; }

int microReceiverFeed(MicroReceiver *r, const BYTE *bytes, DWORD count) {
  for (DWORD k = 0; k < count; ++k) {
    const BYTE b = bytes[k];
    switch (r->state) {
    case MicroReceiverState::WAITING_FOR_START:
      if (b == ACK_START)
        r->state = MicroReceiverState::WAITING_FOR_MICRO;
      break;
    case MicroReceiverState::WAITING_FOR_MICRO:
      if (b == ACK_MICRO)
        r->state = MicroReceiverState::WAITING_FOR_STATUS;
      else if (b != ACK_START)
        r->state = MicroReceiverState::WAITING_FOR_START;
      break;
    case MicroReceiverState::WAITING_FOR_STATUS:
      if (b == ACK_ACCEPTED)
        return MICRO_ACCEPTED;
      if (b == ACK_REFUSED) {
        std::printf("Invalid command from micro ...\n");
        return MICRO_REFUSED;
      }
      std::printf("Invalid answer from micro ... %c\n", b);
      return MICRO_INVALID;
    }
  }
  return 0;
}

int ReadMicroResponse() {
  BYTE chunk[MICRO_READ_SIZE];
  MicroReceiver receiver;
  microReceiverStart(&receiver);
  const DWORD deadline = GetTickCount() + MICRO_DEADLINE_MS;
  for (;;) {
    DWORD got = 0;
    bool failed = !portRead(chunk, MICRO_READ_SIZE, got);
    const DWORD fed = failed ? 0 : got;
    if (pastDeadline(deadline))
      failed = true;
    int status = microReceiverFeed(&receiver, chunk, fed);
    if (status != 0)
      return status;
    if (failed)
      return MICRO_TIMEOUT;
  }
}

bool sendMicroCmd(const char *msg, unsigned short length) {
  drainInput(MICROCMD_DRAIN_MS);
  if (!portWriteAll(msg, length))
    return false;
  for (int retries = 0;; ++retries) {
    int result = ReadMicroResponse();
    if (result == MICRO_ACCEPTED)
      return true;
    if (result == MICRO_REFUSED || result == MICRO_INVALID) {
      std::printf("\n%s\n", msg);
      return false;
    }
    if (retries >= MICRO_RETRIES) {
      std::printf("Unable to send command. Exit. SendMicro\n");
      return false;
    }
    std::printf("Timeout. Retry...SEndMicro\n");
  }
}
