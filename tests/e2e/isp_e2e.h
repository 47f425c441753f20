// Shared by the end-to-end tests of the video processor jobs: image contents.
#pragma once

#include <cstdint>
#include <string>

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

// Position of `what` in `text` at or after `from`; npos when missing.
inline size_t after(const std::string &text, const std::string &what, size_t from) {
  return from == std::string::npos ? from : text.find(what, from);
}

} // namespace isp_e2e
