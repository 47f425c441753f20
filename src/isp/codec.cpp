#include "isp/codec.h"

#include <cstdio>

namespace {

// Every body byte is the message byte plus this offset; the five results
// that would look like a marker or a line control are escaped.
const unsigned char STUFF_OFFSET = 42;
const unsigned char ESCAPE = 0x3D;
const unsigned char ESCAPE_SHIFT = 64;

bool needsEscape(unsigned char t) {
  return t == 0x00 || t == 0x09 || t == 0x0A || t == 0x0D || t == ESCAPE;
}

// The 16-bit sum of words 0..N+1; returns the index of the checksum word.
IspWord wordSum(const IspWord *msg, int *checksumIndex) {
  const int numWords = (msg[0] >> 12) + 2;
  IspWord sum = 0;
  for (int k = 0; k < numWords; ++k)
    sum = static_cast<IspWord>(sum + msg[k]);
  *checksumIndex = numWords;
  return sum;
}

} // namespace

void createChecksum(IspWord *msg) {
  int index = 0;
  IspWord sum = wordSum(msg, &index);
  msg[index] = static_cast<IspWord>(0x10000 - sum);
}

bool checksumOK(const IspWord *msg) {
  int index = 0;
  IspWord sum = wordSum(msg, &index);
  return msg[index] == static_cast<IspWord>(0x10000 - sum);
}

int yEncode(unsigned char *encoded, const unsigned char *data, int length) {
  int n = 0;
  encoded[n++] = ISP_FRAME_START;
  encoded[n++] = ISP_FRAME_START2;
  for (int k = 0; k < length; ++k) {
    const unsigned char t = static_cast<unsigned char>(data[k] + STUFF_OFFSET);
    if (needsEscape(t)) {
      encoded[n++] = ESCAPE;
      encoded[n++] = static_cast<unsigned char>(t + ESCAPE_SHIFT);
    } else {
      encoded[n++] = t;
    }
  }
  encoded[n++] = ISP_FRAME_END;
  encoded[n] = 0;
  return n;
}

int yDecode(unsigned char *decoded, const unsigned char *data, int length) {
  int n = 0;
  for (int k = 0; k < length; ++k) {
    unsigned char b = data[k];
    if (b == ESCAPE) {
      // An escape as the last body byte pairs with the frame's end marker,
      // which the caller did not pass: use its value without reading it.
      const unsigned char partner = k + 1 < length ? data[k + 1] : ISP_FRAME_END;
      ++k;
      b = static_cast<unsigned char>(partner - ESCAPE_SHIFT);
    }
    decoded[n++] = static_cast<unsigned char>(b - STUFF_OFFSET);
  }
  return n;
}

void printMsg(const IspWord *msg) {
  const int numWords = ispWordCount(msg[0]);
  for (int k = 0; k < numWords; ++k)
    std::printf("0x%04x ", msg[k]);
  std::printf("\n");
}
