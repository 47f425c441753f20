// The fuzz input as the program meets it: a port's reads, or a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace fuzz {

// The first byte of each piece gives the piece's length (0 to 63 bytes, an
// empty read included), the bytes after it are the read.
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

// The input as a file; null for an empty input, which fmemopen refuses.
inline FILE *openBytes(const uint8_t *data, size_t size) {
  return size ? fmemopen(const_cast<uint8_t *>(data), size, "rb") : nullptr;
}

// Each line as fgets reads it into a job's `Size` buffer, while `line` is true.
template <size_t Size, typename Line>
void forEachLine(const uint8_t *data, size_t size, Line line) {
  FILE *file = openBytes(data, size);
  if (!file)
    return;
  char buffer[Size];
  while (std::fgets(buffer, Size, file) && line(buffer))
    continue;
  std::fclose(file);
}

} // namespace fuzz
