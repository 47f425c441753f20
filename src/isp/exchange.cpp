#include "isp/exchange.h"

#include "link/port.h"
#include "link/slowLine.h"

#include <cstdio>
#include <cstring>

namespace {

const DWORD RECEIVE_DEADLINE_MS = 3000;
const DWORD RECEIVE_READ_SIZE = 50;
const DWORD RECEIVE_CHUNK_SIZE = 55;
// Failed receives after which the exchange gives up: the sixth fails it.
const short RECEIVE_RETRIES = 4;
// Lays the message's words out low byte first; returns the byte count.
int messageBytes(const IspWord *msg, unsigned char *raw) {
  const int numWords = ispWordCount(msg[0]);
  for (int k = 0; k < numWords; ++k) {
    raw[2 * k] = static_cast<unsigned char>(msg[k] & 0xFF);
    raw[2 * k + 1] = static_cast<unsigned char>(msg[k] >> 8);
  }
  return 2 * numWords;
}

bool isRefusal(const IspWord *command, const IspWord *answer) {
  return ispCode(answer[0]) == ISP_NACK || answer[0] == command[0];
}

} // namespace

void takeAnswerApart(const unsigned char *frame, int n, IspWord *response) {
  unsigned char decoded[ISP_RECEIVE_BUFFER];
  std::memset(decoded, 0, sizeof decoded);
  const int m = yDecode(decoded, frame + 2, n - 3);
  const int expected = (decoded[1] >> 4) + 3;
  if (m != 2 * expected || m <= 5)
    std::printf("\n%d - %d , Incompatible reception with command.\n", m, 2 * expected);
  for (int k = 0; k < expected; ++k)
    response[k] = static_cast<IspWord>(decoded[2 * k] | decoded[2 * k + 1] << 8);
  if (!checksumOK(response))
    std::printf("Bad checksum\n");
}

void ispReceiverStart(IspReceiver *r) {
  r->i = 0;
  r->state = IspReceiverState::WAITING_FOR_START;
  r->complete = false;
  r->overflow = false;
}

void ispReceiverFeed(IspReceiver *r, unsigned char *frame, const unsigned char *bytes,
                     DWORD count) {
  for (DWORD k = 0; k < count && !r->complete && !r->overflow; ++k) {
    const unsigned char b = bytes[k];
    switch (r->state) {
    case IspReceiverState::WAITING_FOR_START:
      if (b == ISP_FRAME_START) {
        frame[r->i++] = b;
        r->state = IspReceiverState::WAITING_FOR_START2;
      }
      break;
    case IspReceiverState::WAITING_FOR_START2:
      if (b == ISP_FRAME_START2) {
        frame[r->i++] = b;
        r->state = IspReceiverState::WAITING_FOR_END;
      } else if (b != ISP_FRAME_START) {
        --r->i;
        r->state = IspReceiverState::WAITING_FOR_START;
      }
      break;
    case IspReceiverState::WAITING_FOR_END:
      if (r->i >= ISP_RECEIVE_BUFFER) {
        r->overflow = true;
        break;
      }
      frame[r->i] = b;
      if (b == ISP_FRAME_START2 && frame[r->i - 1] == ISP_FRAME_START) {
        // A new frame begins inside this one: start over from its "=G".
        frame[0] = ISP_FRAME_START;
        frame[1] = ISP_FRAME_START2;
        r->i = 1;
      }
      ++r->i;
      if (b == ISP_FRAME_END)
        r->complete = true;
    }
  }
}

int ReadISPResponse(unsigned char *tempMsg) {
  unsigned char chunk[RECEIVE_CHUNK_SIZE];
  IspReceiver receiver;
  ispReceiverStart(&receiver);
  bool error = false;
  const DWORD deadline = GetTickCount() + RECEIVE_DEADLINE_MS;
  while (!receiver.complete && !error) {
    DWORD got = 0;
    const bool read = portRead(chunk, RECEIVE_READ_SIZE, got);
    if (!read)
      error = true;
    if (pastDeadline(deadline))
      error = true;
    ispReceiverFeed(&receiver, tempMsg, chunk, read ? got : 0);
    if (receiver.overflow)
      error = true;
  }
  return error ? 0 : receiver.i;
}

bool sendISPCmd(IspWord *msg, IspWord *response, DWORD wait) {
  unsigned char raw[ISP_RECEIVE_BUFFER];
  unsigned char frame[ISP_RECEIVE_BUFFER];
  short valRetry = 0;

  createChecksum(msg);
  const int messageLength = messageBytes(msg, raw);
  const int length = yEncode(frame, raw, messageLength);
  if (!portWriteAll(frame, static_cast<DWORD>(length)))
    return false;
  const DWORD sentAt = exchangeClock();
  if (wait != 0)
    Sleep(wait);

  int n = ReadISPResponse(raw);
  // A prompt answer times the line; a paused or retried one would not.
  if (n > 0 && wait == 0)
    exchangeDone(sentAt, static_cast<DWORD>(length + n), thePort().line.BaudRate);
  while (n <= 0) {
    if (valRetry > RECEIVE_RETRIES) {
      std::printf("Unable to send command. Exit.SendISP\n");
      return false;
    }
    std::printf("Timeout. Retry...SendISP\n");
    ++valRetry;
    n = ReadISPResponse(raw);
  }
  takeAnswerApart(raw, n, response);
  if (!isRefusal(msg, response))
    return true;

  if (response[2] == ISP_GSPI_TIMEOUT)
    std::printf("GSPI Timeout\n");
  if (valRetry > RECEIVE_RETRIES) {
    std::printf("\nUnable to send command. Exit.\n");
    printMsg(response);
    return false;
  }
  std::printf("\nNACK received. Retry ... \n");
  printMsg(msg);
  printMsg(response);
  if (ispCode(response[1]) != ispCode(msg[0]))
    std::printf("\nNACK on unknown command. 0x%04x != 0x%04x\n", ispCode(response[1]),
                ispCode(msg[0]));
  return false;
}
