// Shared by the video processor jobs' end-to-end tests: image contents and the frames the card recorded.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace isp_e2e {

// `size` bytes of a fixed pseudo-random pattern (never all 0xFF).
inline std::string image(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t k = 0; k < size; ++k) {
    x = x * 1103515245u + 12345u;
    bytes[k] = static_cast<char>(x >> 16);
  }
  return bytes;
}

// The messages of the card's isp-frames.txt whose word 0 is `word0`, as 16-bit words.
inline std::vector<std::vector<uint16_t>> messagesOf(const std::string &framesText,
                                                     uint16_t word0) {
  std::vector<std::vector<uint16_t>> messages;
  std::istringstream lines(framesText);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream cells(line);
    std::vector<unsigned> frame;
    std::string cell;
    while (cells >> cell)
      frame.push_back(static_cast<unsigned>(std::stoul(cell, nullptr, 16)));
    std::vector<unsigned char> body;
    for (size_t k = 2; k + 1 < frame.size(); ++k) {
      unsigned b = frame[k];
      if (b == 0x3D)
        b = frame[++k] - 64;
      body.push_back(static_cast<unsigned char>(b - 42));
    }
    std::vector<uint16_t> words;
    for (size_t k = 0; k + 1 < body.size(); k += 2)
      words.push_back(static_cast<uint16_t>(body[k] | body[k + 1] << 8));
    if (!words.empty() && words[0] == word0)
      messages.push_back(words);
  }
  return messages;
}

// Position of `what` in `text` at or after `from`; npos when missing.
inline size_t after(const std::string &text, const std::string &what, size_t from) {
  return from == std::string::npos ? from : text.find(what, from);
}

} // namespace isp_e2e
