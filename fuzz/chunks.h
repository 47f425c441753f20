// Splits a fuzz input into the reads a port would have delivered: the first
// byte of each piece gives the piece's length (0 to 63 bytes, an empty read
// included), the bytes after it are the read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

template <typename Feed>
void forEachRead(const uint8_t *data, size_t size, Feed feed) {
  size_t at = 0;
  while (at < size) {
    size_t length = data[at++] & 0x3F;
    if (length > size - at)
      length = size - at;
    feed(data + at, length);
    at += length;
  }
}

} // namespace fuzz
