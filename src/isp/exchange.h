// One ISP exchange with the video processor, through the micro: send a
// message as a frame, wait for the answer frame, judge it.
#pragma once

#include "isp/codec.h"
#include "platform/platform.h"

// The answer frame's buffer: "=" through the closing carriage return.
const int ISP_RECEIVE_BUFFER = 256;

// The frame receiver, fed what each read brought. It skips bytes until
// "=G", restarts on a second "=G" inside a frame, and completes on the
// carriage return. A frame that fills the buffer without one overflows.
enum class IspReceiverState {
  WAITING_FOR_START,  // for the frame's "="
  WAITING_FOR_START2, // "=" seen: for the "G"
  WAITING_FOR_END,    // "=G" seen: for the closing carriage return
};
struct IspReceiver {
  int i; // bytes stored
  IspReceiverState state;
  bool complete;
  bool overflow;
};
void ispReceiverStart(IspReceiver *r);
// Stores into `frame` (ISP_RECEIVE_BUFFER bytes). Bytes after the closing
// carriage return, or after an overflow, are dropped.
void ispReceiverFeed(IspReceiver *r, unsigned char *frame, const unsigned char *bytes, DWORD count);

// Un-stuffs a complete answer frame of `n` bytes ("=G" through the closing
// carriage return) into `response` (ISP_MAX_WORDS words), as many words as
// its count announces; words the frame did not carry are zero. Prints the
// length and checksum complaints of a spoiled answer.
void takeAnswerApart(const unsigned char *frame, int n, IspWord *response);

// Collects one answer frame into `tempMsg` (ISP_RECEIVE_BUFFER bytes)
// within 3 s of the call. Returns its length, or 0 when a read failed, the
// time ran out or the frame was too long.
int ReadISPResponse(unsigned char *tempMsg);

// Checksums `msg` (in place), sends it, sleeps `wait` ms, and receives the
// answer into `response` (at least ISP_MAX_WORDS words), listening again
// after each failed receive, six receives at most. True when the answer
// is neither a NACK nor an echo of the command.
bool sendISPCmd(IspWord *msg, IspWord *response, DWORD wait);
