// ISP messages as the video processor sees them: 16-bit words (count and
// code, parameters, checksum) carried low byte first inside a stuffed frame
// "=G" ... CR. The card's own implementation, written from the frame format,
// so that the updater's encoder is checked against an independent decoder.
#pragma once

#include "Bytes.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace cardsim {

using Word = std::uint16_t;
using Words = std::vector<Word>;

// Parameter count N of a message from its word 0; the message has N + 3 words.
inline int parameterCount(Word word0) { return word0 >> 12; }
inline Word messageCode(Word word0) { return word0 & 0x0FFF; }

// The checksum that makes words[0 .. N+1] plus it sum to 0 modulo 65536.
Word checksumOf(const Words &words, size_t count);

// A message built from word 0 and its parameters, checksum appended.
Words makeMessage(Word word0, const Words &parameters);

// The whole frame for `words`: "=G", stuffed bytes, CR.
Bytes encodeFrame(const Words &words);

struct DecodedFrame {
  Words words;   // the words the body carried (an odd last byte dropped)
  bool lengthOk; // the body carried exactly N + 3 words
  bool checksumOk;
};
// Takes a frame from "=G" through CR apart; nullopt when it is not one.
std::optional<DecodedFrame> decodeFrame(const Bytes &frame);

} // namespace cardsim
