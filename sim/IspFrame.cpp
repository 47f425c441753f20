#include "IspFrame.h"

namespace cardsim {

namespace {
constexpr Byte START = '=';
constexpr Byte START2 = 'G';
constexpr Byte END = 0x0D;
constexpr Byte OFFSET = 42;
constexpr Byte ESCAPE = 0x3D;
constexpr Byte SHIFT = 64;

bool escaped(Byte t) { return t == 0x00 || t == 0x09 || t == 0x0A || t == 0x0D || t == ESCAPE; }
} // namespace

Word checksumOf(const Words &words, size_t count) {
  Word sum = 0;
  for (size_t k = 0; k < count && k < words.size(); ++k)
    sum = static_cast<Word>(sum + words[k]);
  return static_cast<Word>(0x10000 - sum);
}

Words makeMessage(Word word0, const Words &parameters) {
  Words words{word0};
  words.insert(words.end(), parameters.begin(), parameters.end());
  words.push_back(checksumOf(words, words.size()));
  return words;
}

Bytes encodeFrame(const Words &words) {
  Bytes frame{START, START2};
  for (Word w : words) {
    for (Byte b : {static_cast<Byte>(w & 0xFF), static_cast<Byte>(w >> 8)}) {
      const Byte t = static_cast<Byte>(b + OFFSET);
      if (escaped(t)) {
        frame.push_back(ESCAPE);
        frame.push_back(static_cast<Byte>(t + SHIFT));
      } else {
        frame.push_back(t);
      }
    }
  }
  frame.push_back(END);
  return frame;
}

std::optional<DecodedFrame> decodeFrame(const Bytes &frame) {
  if (frame.size() < 3 || frame[0] != START || frame[1] != START2 || frame.back() != END) {
    return std::nullopt;
  }
  Bytes body;
  for (size_t k = 2; k + 1 < frame.size(); ++k) {
    Byte b = frame[k];
    if (b == ESCAPE) {
      if (k + 2 >= frame.size())
        return std::nullopt; // escape without partner
      b = static_cast<Byte>(frame[++k] - SHIFT);
    }
    body.push_back(static_cast<Byte>(b - OFFSET));
  }
  DecodedFrame decoded;
  for (size_t k = 0; k + 1 < body.size(); k += 2) {
    decoded.words.push_back(static_cast<Word>(body[k] | body[k + 1] << 8));
  }
  if (decoded.words.empty())
    return std::nullopt;
  const size_t expected = static_cast<size_t>(parameterCount(decoded.words[0])) + 3;
  decoded.lengthOk = body.size() == 2 * expected;
  decoded.checksumOk =
      decoded.lengthOk && decoded.words[expected - 1] == checksumOf(decoded.words, expected - 1);
  return decoded;
}

} // namespace cardsim
